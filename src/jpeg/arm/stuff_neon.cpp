// NEON scan stuffing, for little-endian aarch64. A step reads 32 bytes and
// writes below 64 bytes past the output's end, so it runs only while that
// much input and room remain (the bounds are spelt out above stuff_neon);
// the portable kernel, which checks every run, does the rest.
#include "../scan_kernel_families.h"

#if MASKJPEG_ARM_NEON
#include <algorithm>

#include "../group_stuffing.h"

namespace maskjpeg {

size_t count_ff_neon(const uint8_t* in, size_t n) {
  const uint8x16_t ff = vdupq_n_u8(kFF);
  size_t count = 0;
  size_t i = 0;
  while (n - i >= 16) {
    // A match is all ones, so subtracting it adds one to its lane; 255
    // blocks at most, so no lane overflows.
    const size_t blocks = std::min((n - i) / 16, size_t{255});
    uint8x16_t lanes = vdupq_n_u8(0);
    for (size_t b = 0; b < blocks; ++b, i += 16) {
      lanes = vsubq_u8(lanes, vceqq_u8(vld1q_u8(in + i), ff));
    }
    count += vaddlvq_u8(lanes);
  }
  for (; i < n; ++i) count += in[i] == kFF;
  return count;
}

// Four bits per byte of `block`, byte i in bits 4i to 4i + 3: all set for
// an FF byte, clear for any other. (The narrowing shift keeps the middle
// byte of every 16-bit pair of compare results.)
inline uint64_t ff_nibbles(uint8x16_t block) {
  const uint8x16_t eq = vceqq_u8(block, vdupq_n_u8(kFF));
  return vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(eq), 4)), 0);
}

// The 8-bit FF pattern (bit i: byte i is FF) of each half of `block`.
inline void ff_group_patterns(uint8x16_t block, uint8_t& low, uint8_t& high) {
  const uint8x16_t bit = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
  const uint8x16_t flags = vandq_u8(vceqq_u8(block, vdupq_n_u8(kFF)), bit);
  low = vaddv_u8(vget_low_u8(flags));
  high = vaddv_u8(vget_high_u8(flags));
}

// A 16-byte block by table, as two groups of eight (kGroupStuffing): each
// group is looked up into a 16-byte store at the output's end, which then
// moves on by the group's output length. Writes below out + 32.
inline uint8_t* stuff_groups_neon(uint8x16_t block, uint8_t* out) {
  uint8_t low = 0;
  uint8_t high = 0;
  ff_group_patterns(block, low, high);
  const uint8x16_t low_index = vld1q_u8(kGroupStuffing.index[low]);
  // The high group's bytes are lanes 8 to 15; a zero's index stays past 15.
  const uint8x16_t high_index = vaddq_u8(vld1q_u8(kGroupStuffing.index[high]), vdupq_n_u8(8));
  vst1q_u8(out, vqtbl1q_u8(block, low_index));
  out += kGroupStuffing.length[low];
  vst1q_u8(out, vqtbl1q_u8(block, high_index));
  return out + kGroupStuffing.length[high];
}

// NEON: 32 input bytes a step, in two 16-byte blocks stored as they are. A
// step without FF (seven in eight in entropy-coded data) ends there. One
// with a single FF has written the bytes before it correctly; FF 00 follows
// in a 16-byte pattern store, and the next step starts after the FF. A step
// with more goes by table, eight bytes at a time, so that data dense in FF
// costs the same per byte as any other, and an all-FF step is four pattern
// stores.
//
// Bounds: a step reads 32 bytes from its start and writes below out + 64
// (the blocks end at 32; the pairs for an FF at k < 32 end at k + 16; the
// groups and the all-FF pairs at 64), so it runs only while 32 bytes of
// input and 64 of room remain; the rest is left to the portable kernel,
// which checks every run against the room.
StuffProgress stuff_neon(const uint8_t* in, size_t n, uint8_t* out, size_t capacity) {
  constexpr size_t kBlock = 16;
  constexpr size_t kInputMargin = 2 * kBlock;
  constexpr size_t kOutputMargin = 4 * kBlock;
  const uint8x16_t pairs = vreinterpretq_u8_u16(vdupq_n_u16(0x00FF));  // FF 00 in memory order

  const uint8_t* p = in;
  uint8_t* o = out;
  if (n >= kInputMargin && capacity >= kOutputMargin) {
    const uint8_t* const p_last = in + (n - kInputMargin);
    uint8_t* const o_last = out + (capacity - kOutputMargin);
    while (p <= p_last && o <= o_last) {
      const uint8x16_t first = vld1q_u8(p);
      const uint8x16_t second = vld1q_u8(p + kBlock);
      const uint64_t ff_first = ff_nibbles(first);
      const uint64_t ff_second = ff_nibbles(second);
      vst1q_u8(o, first);
      vst1q_u8(o + kBlock, second);
      if ((ff_first | ff_second) == 0) {
        p += kInputMargin;
        o += kInputMargin;
        continue;
      }
      // One bit per FF byte, to tell one FF from several.
      constexpr uint64_t kNibbleLowBits = 0x1111111111111111ULL;
      const uint64_t first_bits = ff_first & kNibbleLowBits;
      const uint64_t second_bits = ff_second & kNibbleLowBits;
      const bool single = (first_bits & (first_bits - 1)) == 0 &&
                          (second_bits & (second_bits - 1)) == 0 &&
                          (first_bits == 0 || second_bits == 0);
      if (single) {
        const bool in_first = ff_first != 0;
        const size_t plain =
            (in_first ? 0 : kBlock) +
            static_cast<size_t>(__builtin_ctzll(in_first ? ff_first : ff_second)) / 4;
        vst1q_u8(o + plain, pairs);
        p += plain + 1;
        o += plain + 2;
      } else if ((ff_first & ff_second) == ~uint64_t{0}) {  // all 32 bytes FF
        for (size_t i = 0; i < kOutputMargin; i += kBlock) vst1q_u8(o + i, pairs);
        p += kInputMargin;
        o += kOutputMargin;
      } else {
        o = stuff_groups_neon(second, stuff_groups_neon(first, o));
        p += kInputMargin;
      }
    }
  }
  return finish_portably(in, n, out, capacity, p, o);
}

}  // namespace maskjpeg
#endif  // MASKJPEG_ARM_NEON
