#include "expand_mask.h"

#include <cstring>

#include "../cpu_features.h"

namespace maskjpeg {
namespace {

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

alignas(64) constexpr ExpansionTable kExpansion = make_expansion_table();

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

#if MASKJPEG_X86_SIMD
// AVX2: 4 packed bytes make 16 pixels, two 32-byte stores. Every dword lane
// holds the 4 bytes, shifted right by twice its pixel's index so that the
// pixel's code is in its low two bits; an in-lane byte shuffle turns the code
// into the alpha, which goes to the top byte over FF FF FF.
__attribute__((target("avx2"))) void expand_run_avx2(const uint8_t* packed, size_t count,
                                                     uint8_t* out) {
  const __m256i shifts_low = _mm256_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14);
  const __m256i shifts_high = _mm256_setr_epi32(16, 18, 20, 22, 24, 26, 28, 30);
  const __m256i three = _mm256_set1_epi32(3);
  const __m256i white = _mm256_set1_epi32(0x00FFFFFF);
  const __m256i alpha_of_code =
      _mm256_setr_epi8(0, 1, 1, static_cast<char>(128), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1,
                       static_cast<char>(128), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    uint32_t word;
    std::memcpy(&word, packed + i, 4);
    const __m256i v = _mm256_set1_epi32(static_cast<int>(word));
    for (int half = 0; half < 2; ++half) {
      const __m256i code =
          _mm256_and_si256(_mm256_srlv_epi32(v, half == 0 ? shifts_low : shifts_high), three);
      const __m256i rgba =
          _mm256_or_si256(_mm256_slli_epi32(_mm256_shuffle_epi8(alpha_of_code, code), 24), white);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i * kBytesPerPacked + 32 * half), rgba);
    }
  }
  expand_run_portable(packed + i, count - i, out + i * kBytesPerPacked);
}

// Per output byte of a 64-byte store (16 pixels): the bit offset of its
// pixel's code within the packed qword, and 4 for the R, G and B lanes.
struct VbmiLanes {
  uint8_t offset[64];
  uint8_t rgb_flag[64];
};

constexpr VbmiLanes make_vbmi_lanes() {
  VbmiLanes lanes{};
  for (size_t j = 0; j < 64; ++j) {
    lanes.offset[j] = static_cast<uint8_t>(2 * (j / kPixelBytes));
    lanes.rgb_flag[j] = j % kPixelBytes == 3 ? 0 : 4;
  }
  return lanes;
}

alignas(64) constexpr VbmiLanes kVbmiLanes = make_vbmi_lanes();

// AVX-512 VBMI: 8 packed bytes make 32 pixels, written as two 64-byte
// stores. vpmultishiftqb pulls, for every output byte, the 8 bits starting
// at its pixel's bit offset; the low two are the code. The code, or'ed with
// 4 in the R, G and B lanes, indexes a 16-entry in-lane table: 0, 1, 1, 128
// for alpha and FF for the rest.
MASKJPEG_AVX512_BEGIN
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void expand_run_vbmi(const uint8_t* packed,
                                                                            size_t count,
                                                                            uint8_t* out) {
  const __m512i low = _mm512_load_si512(kVbmiLanes.offset);         // pixels 0..15
  const __m512i high = _mm512_add_epi8(low, _mm512_set1_epi8(32));  // pixels 16..31
  const __m512i rgb = _mm512_load_si512(kVbmiLanes.rgb_flag);
  const __m512i three = _mm512_set1_epi8(3);
  const __m512i lut = _mm512_broadcast_i32x4(
      _mm_setr_epi8(0, 1, 1, static_cast<char>(128), -1, -1, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0));

  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    uint64_t word;
    std::memcpy(&word, packed + i, 8);
    const __m512i v = _mm512_set1_epi64(static_cast<long long>(word));
    // (bits & 3) | rgb, in one ternary-logic op: A & B | C.
    const __m512i idx_lo =
        _mm512_ternarylogic_epi32(_mm512_multishift_epi64_epi8(low, v), three, rgb, 0xEA);
    const __m512i idx_hi =
        _mm512_ternarylogic_epi32(_mm512_multishift_epi64_epi8(high, v), three, rgb, 0xEA);
    _mm512_storeu_si512(out + i * kBytesPerPacked, _mm512_shuffle_epi8(lut, idx_lo));
    _mm512_storeu_si512(out + i * kBytesPerPacked + 64, _mm512_shuffle_epi8(lut, idx_hi));
  }
  expand_run_portable(packed + i, count - i, out + i * kBytesPerPacked);
}
MASKJPEG_AVX512_END
#endif

}  // namespace

size_t supported_expand_runs(ExpandRun runs[kMaxExpandRuns]) {
  size_t n = 0;
#if MASKJPEG_X86_SIMD
  if (cpu_has_avx512vbmi()) runs[n++] = expand_run_vbmi;
  if (cpu_has_avx2()) runs[n++] = expand_run_avx2;
#endif
  runs[n++] = expand_run_portable;
  return n;
}

ExpandRun best_expand_run() {
  ExpandRun runs[kMaxExpandRuns];
  supported_expand_runs(runs);
  return runs[0];
}

void expand_mask(const uint8_t* packed, size_t width, size_t height, uint8_t* out,
                 ExpandRun expand_run) {
  const size_t whole = width / kPixelsPerByte;
  const size_t rest = width % kPixelsPerByte;
  if (rest == 0) {
    // Rows are contiguous in both buffers: the mask is one run.
    expand_run(packed, whole * height, out);
    return;
  }
  // Otherwise each row's last byte holds only width % 4 pixels; its other
  // bit pairs are ignored and the next row starts with the next byte.
  for (size_t y = 0; y < height; ++y) {
    expand_run(packed, whole, out);
    packed += whole;
    out += whole * kBytesPerPacked;
    std::memcpy(out, kExpansion.rgba[*packed], rest * kPixelBytes);
    packed += 1;
    out += rest * kPixelBytes;
  }
}

}  // namespace maskjpeg
