// The table of the mask expansion, and the kernels of each family for the
// dispatch (expand_mask.cpp) and the tests. The portable kernel is the
// reference every other family is tested against; each SIMD family lives in
// its architecture's folder and is compiled only where that architecture is.
#ifndef MASKJPEG_SRC_MASK_EXPANSION_TABLE_H
#define MASKJPEG_SRC_MASK_EXPANSION_TABLE_H

#include <cstddef>
#include <cstdint>

#include "../cpu_features.h"

namespace maskjpeg {

constexpr size_t kPixelBytes = 4;
constexpr size_t kPixelsPerByte = 4;
constexpr size_t kBytesPerPacked = kPixelBytes * kPixelsPerByte;  // 16

// The 16 RGBA bytes each packed byte value expands to: every pixel FF FF FF
// and the alpha of its code (0, 1, 1, 128). A constant, built at compile time.
struct ExpansionTable {
  uint8_t rgba[256][kBytesPerPacked];
};

constexpr ExpansionTable make_expansion_table() {
  constexpr uint8_t kAlphaOfCode[4] = {0, 1, 1, 128};
  ExpansionTable table{};
  for (size_t byte = 0; byte < 256; ++byte) {
    for (size_t pixel = 0; pixel < kPixelsPerByte; ++pixel) {
      uint8_t* px = &table.rgba[byte][pixel * kPixelBytes];
      px[0] = px[1] = px[2] = 0xFF;
      px[3] = kAlphaOfCode[(byte >> (2 * pixel)) & 3];
    }
  }
  return table;
}

alignas(64) inline constexpr ExpansionTable kExpansion = make_expansion_table();

// expand_portable.cpp
void expand_run_portable(const uint8_t* packed, size_t count, uint8_t* out);
#if MASKJPEG_X86_SIMD
// x86/expand_avx2.cpp
void expand_run_avx2(const uint8_t* packed, size_t count, uint8_t* out);
// x86/expand_avx512.cpp
void expand_run_vbmi(const uint8_t* packed, size_t count, uint8_t* out);
#endif

}  // namespace maskjpeg

#endif  // MASKJPEG_SRC_MASK_EXPANSION_TABLE_H
