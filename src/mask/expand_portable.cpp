// The portable mask expansion: one 16-byte table copy per packed byte, so
// `count` packed bytes write exactly 16 * count bytes at `out`.
#include <cstring>

#include "expansion_table.h"

namespace maskjpeg {

// One 16-byte table copy per packed byte.
void expand_run_portable(const uint8_t* packed, size_t count, uint8_t* out) {
  size_t i = 0;
  // Four packed bytes per step, read as one word before any store: the
  // stores could alias `packed` as far as the compiler knows, and reading
  // between them would serialise the copies (twice as slow, measured).
  for (; i + 4 <= count; i += 4) {
    uint32_t word;
    std::memcpy(&word, packed + i, 4);
    uint8_t b[4];
    std::memcpy(b, &word, 4);
    std::memcpy(out + (i + 0) * kBytesPerPacked, kExpansion.rgba[b[0]], kBytesPerPacked);
    std::memcpy(out + (i + 1) * kBytesPerPacked, kExpansion.rgba[b[1]], kBytesPerPacked);
    std::memcpy(out + (i + 2) * kBytesPerPacked, kExpansion.rgba[b[2]], kBytesPerPacked);
    std::memcpy(out + (i + 3) * kBytesPerPacked, kExpansion.rgba[b[3]], kBytesPerPacked);
  }
  for (; i < count; ++i) {
    std::memcpy(out + i * kBytesPerPacked, kExpansion.rgba[packed[i]], kBytesPerPacked);
  }
}

}  // namespace maskjpeg
