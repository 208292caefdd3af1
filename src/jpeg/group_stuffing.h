// The table the SIMD stuffing kernels (AVX2, AVX-512, NEON) use for
// stretches dense in FF.
#ifndef MASKJPEG_SRC_JPEG_GROUP_STUFFING_H
#define MASKJPEG_SRC_JPEG_GROUP_STUFFING_H

#include <cstddef>
#include <cstdint>

namespace maskjpeg {

// Stuffing eight bytes at a time by table, for stretches dense in FF: for
// each pattern of FF bytes in a group of eight (bit i: byte i is FF), the
// byte shuffle that spreads the group over 8 to 16 output bytes with a 00
// after each FF. An index with its top bit set selects a zero both in an
// SSSE3 byte shuffle and in a NEON table lookup (any index past 15 does).
// The group's output length is 8 plus its pattern's popcount, kept in a
// table too, since aarch64 has no scalar popcount.
struct GroupStuffing {
  uint8_t index[256][16];
  uint8_t length[256];
};

constexpr GroupStuffing make_group_stuffing() {
  constexpr uint8_t kZero = 0x80;
  GroupStuffing t{};
  for (size_t ff = 0; ff < 256; ++ff) {
    size_t at = 0;
    for (size_t i = 0; i < 8; ++i) {
      t.index[ff][at++] = static_cast<uint8_t>(i);
      if ((ff >> i) & 1) t.index[ff][at++] = kZero;
    }
    t.length[ff] = static_cast<uint8_t>(at);
    for (; at < 16; ++at) t.index[ff][at] = kZero;
  }
  return t;
}

alignas(64) inline constexpr GroupStuffing kGroupStuffing = make_group_stuffing();

}  // namespace maskjpeg

#endif  // MASKJPEG_SRC_JPEG_GROUP_STUFFING_H
