// AVX2 scan stuffing and FF count. A stuffing step reads below 64 bytes
// past its start and writes below 128 past the output's end, so it runs only
// while that much input and room remain (the bounds are spelt out above
// stuff_avx2); the portable kernel, which checks every run, does the rest.
#include "../scan_kernel_families.h"

#if MASKJPEG_X86_SIMD
#include "stuff_dense_avx2.h"

namespace maskjpeg {
namespace {

constexpr size_t kStep31 = 31;  // input bytes an AVX2 block; with a 00, one vector
constexpr uint32_t kStep31Lanes = (uint32_t{1} << kStep31) - 1;

// Stuffs one 31-byte block (in the low 31 lanes of `block`) holding at most
// one FF, at lane k (`ff_bits`), with no data-dependent branch: lanes above
// k take the byte before them (the vector shifted up one byte across its
// two halves) and lane k + 1 takes a zero. Without an FF, k is 31 and the
// block is stored as it is. One store writes the 31 or 32 bytes; returns the
// output's new end.
__attribute__((target("avx2,bmi"), always_inline)) inline uint8_t* stuff_sparse_block_avx2(
    __m256i block, uint32_t ff_bits, uint8_t* out) {
  const __m256i lane = _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                        17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
  const auto k = static_cast<char>(_tzcnt_u32(ff_bits | (uint32_t{1} << kStep31)));
  const __m256i k_lanes = _mm256_set1_epi8(k);
  const __m256i shifted_up =
      _mm256_alignr_epi8(block, _mm256_permute2x128_si256(block, block, 0x08), 15);
  const __m256i above_k = _mm256_cmpgt_epi8(lane, k_lanes);
  const __m256i after_k = _mm256_cmpeq_epi8(lane, _mm256_add_epi8(k_lanes, _mm256_set1_epi8(1)));
  const __m256i stuffed =
      _mm256_andnot_si256(after_k, _mm256_blendv_epi8(block, shifted_up, above_k));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), stuffed);
  return out + kStep31 + (ff_bits != 0);
}

}  // namespace

__attribute__((target("avx2,popcnt"))) size_t count_ff_avx2(const uint8_t* in, size_t n) {
  const __m256i ff = _mm256_set1_epi8(static_cast<char>(kFF));
  size_t count = 0;
  size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    const auto a = static_cast<uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i)), ff)));
    const auto b = static_cast<uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 32)), ff)));
    count += static_cast<size_t>(_mm_popcnt_u64(uint64_t{a} | uint64_t{b} << 32));
  }
  for (; i < n; ++i) count += in[i] == kFF;
  return count;
}

// AVX2: 31 input bytes a block, two blocks a step, so the loop's own
// compares and branches are shared. Blocks with at most one FF (99% of
// blocks in entropy-coded data) go through stuff_sparse_block_avx2 without a
// branch on the data, which costs less than a mispredicted branch per FF; a
// step that meets a denser block stuffs the 64 bytes from its start with
// stuff_dense_block_avx2 instead.
//
// Bounds: a step reads below in + 64 (its second block is loaded from
// in + 31, a dense step reads 64 bytes) and writes below out + 128 (a dense
// step; two sparse blocks write 32 + 32), so it runs only while 64 bytes of
// input and 128 of room remain; the rest is left to the portable kernel,
// which checks every run against the room.
__attribute__((target("avx2,bmi"))) StuffProgress stuff_avx2(const uint8_t* in, size_t n,
                                                             uint8_t* out, size_t capacity) {
  constexpr size_t kInputMargin = 64;
  constexpr size_t kOutputMargin = 128;
  const __m256i ff = _mm256_set1_epi8(static_cast<char>(kFF));
  auto several = [](uint32_t bits) { return (bits & (bits - 1)) != 0; };

  const uint8_t* p = in;
  uint8_t* o = out;
  if (n >= kInputMargin && capacity >= kOutputMargin) {
    const uint8_t* const p_last = in + (n - kInputMargin);
    uint8_t* const o_last = out + (capacity - kOutputMargin);
    while (p <= p_last && o <= o_last) {
      const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + kStep31));
      const auto first_bits =
          static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(first, ff)));
      const uint32_t ff_first = first_bits & kStep31Lanes;
      const uint32_t ff_second =
          static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(second, ff))) & kStep31Lanes;
      if (__builtin_expect(several(ff_first) || several(ff_second), 0)) {
        // The dense step takes the 64 bytes from p: the first 32 as compared
        // above, the next 32 loaded afresh.
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
        const uint64_t ff_bits =
            first_bits |
            uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, ff)))}
                << 32;
        o = stuff_dense_block_avx2(p, ff_bits, o);
        p += 64;
        continue;
      }
      o = stuff_sparse_block_avx2(first, ff_first, o);
      o = stuff_sparse_block_avx2(second, ff_second, o);
      p += 2 * kStep31;
    }
  }
  return finish_portably(in, n, out, capacity, p, o);
}

}  // namespace maskjpeg
#endif  // MASKJPEG_X86_SIMD
