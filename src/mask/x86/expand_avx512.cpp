// AVX-512 VBMI mask expansion: 8 packed bytes a step make 128 output
// bytes; the steps stop while fewer than 8 packed bytes remain, and the
// portable kernel expands those, so `count` packed bytes write exactly
// 16 * count.
#include "../expansion_table.h"

#if MASKJPEG_X86_SIMD
#include <cstring>

namespace maskjpeg {
namespace {

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

}  // namespace

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

}  // namespace maskjpeg
#endif  // MASKJPEG_X86_SIMD
