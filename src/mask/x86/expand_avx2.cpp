// AVX2 mask expansion: 4 packed bytes a step make 64 output bytes; the
// steps stop while fewer than 4 packed bytes remain, and the portable
// kernel expands those, so `count` packed bytes write exactly 16 * count.
#include "../expansion_table.h"

#if MASKJPEG_X86_SIMD
#include <cstring>

namespace maskjpeg {

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

}  // namespace maskjpeg
#endif  // MASKJPEG_X86_SIMD
