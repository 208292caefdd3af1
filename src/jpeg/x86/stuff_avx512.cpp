// AVX-512 scan stuffing (VBMI) and FF count (BW). A stuffing step reads
// below 127 bytes past its start and writes below 128 past the output's
// end, so it runs only while 128 bytes of input and of room remain (the
// bounds are spelt out above stuff_avx512); the portable kernel, which
// checks every run, does the rest.
#include "../scan_kernel_families.h"

#if MASKJPEG_X86_SIMD
#include "stuff_dense_avx2.h"

namespace maskjpeg {

MASKJPEG_AVX512_BEGIN

__attribute__((target("avx512f,avx512bw,popcnt,bmi2"))) size_t count_ff_avx512(const uint8_t* in,
                                                                               size_t n) {
  const __m512i ff = _mm512_set1_epi8(static_cast<char>(kFF));
  size_t count = 0;
  size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    count +=
        static_cast<size_t>(_mm_popcnt_u64(_mm512_cmpeq_epi8_mask(_mm512_loadu_si512(in + i), ff)));
  }
  // The last 0 to 63 bytes with a masked load, which reads none of the
  // lanes left out. (Calling the portable count here instead lets clang
  // inline and re-vectorise it for AVX-512, which its back end cannot
  // select.)
  const __mmask64 tail = _bzhi_u64(~uint64_t{0}, static_cast<unsigned>(n - i));
  const __m512i last = _mm512_maskz_loadu_epi8(tail, in + i);
  return count + static_cast<size_t>(_mm_popcnt_u64(_mm512_mask_cmpeq_epi8_mask(tail, last, ff)));
}

// Permute indexes that insert a 00 after lane k of a vector (entry 63:
// nothing inserted): lanes up to k stay, lane k + 1 takes index 64, which
// selects a zero from the permute's second source, and later lanes take the
// byte before them; the last lane's byte is pushed out.
struct InsertZeroTable {
  uint8_t index[64][64];
};

constexpr InsertZeroTable make_insert_zero_table() {
  InsertZeroTable t{};
  for (size_t k = 0; k < 64; ++k) {
    for (size_t j = 0; j < 64; ++j) {
      t.index[k][j] = static_cast<uint8_t>(k == 63 || j <= k ? j : j == k + 1 ? 64 : j - 1);
    }
  }
  return t;
}

alignas(64) constexpr InsertZeroTable kInsertZero = make_insert_zero_table();

constexpr size_t kStep = 63;  // input bytes a block; with a 00, one vector
constexpr uint64_t kStepLanes = (uint64_t{1} << kStep) - 1;
constexpr uint64_t kNoLane = uint64_t{1} << kStep;  // tzcnt sentinel: entry 63

// Stuffs one 63-byte block holding at most one FF (`ff_bits`) with no
// data-dependent branch: a table-driven permute inserts the 00 after the FF
// (a block without one gets the do-nothing entry), and one store writes the
// 63 or 64 bytes. Returns the output's new end.
__attribute__((target("avx512f,avx512bw,avx512vbmi,bmi"), always_inline)) inline uint8_t*
stuff_sparse_block(__m512i block, uint64_t ff_bits, uint8_t* out) {
  const size_t lane = _tzcnt_u64(ff_bits | kNoLane);
  const __m512i index = _mm512_load_si512(kInsertZero.index[lane]);
  _mm512_storeu_si512(out, _mm512_permutex2var_epi8(block, index, _mm512_setzero_si512()));
  return out + kStep + (ff_bits != 0);
}

// 63 input bytes a block, two blocks a step, so the loop's own compares and
// branches are shared. Blocks with at most one FF (about 97% of blocks in
// entropy-coded data) go through stuff_sparse_block; a step that meets a
// denser block stuffs the 64 bytes from its start with the AVX2 kernel's
// stuff_dense_block_avx2 instead.
//
// Bounds: a step reads below in + 127 (its second block ends at in + 63 +
// 64) and writes below out + 128 (a dense step; two sparse blocks write
// 64 + 64), so it runs only while 128 bytes of input and 128 of room
// remain; the rest is left to the portable kernel, which checks every run
// against the room.
__attribute__((target("avx512f,avx512bw,avx512vbmi,avx2,bmi"))) StuffProgress stuff_avx512(
    const uint8_t* in, size_t n, uint8_t* out, size_t capacity) {
  constexpr size_t kInputMargin = 128;
  constexpr size_t kOutputMargin = 128;
  const __m512i ff = _mm512_set1_epi8(static_cast<char>(kFF));
  auto several = [](uint64_t bits) { return (bits & (bits - 1)) != 0; };

  const uint8_t* p = in;
  uint8_t* o = out;
  if (n >= kInputMargin && capacity >= kOutputMargin) {
    const uint8_t* const p_last = in + (n - kInputMargin);
    uint8_t* const o_last = out + (capacity - kOutputMargin);
    while (p <= p_last && o <= o_last) {
      const __m512i first = _mm512_loadu_si512(p);
      const __m512i second = _mm512_loadu_si512(p + kStep);
      const uint64_t first_bits = _mm512_cmpeq_epi8_mask(first, ff);  // all 64 lanes
      const uint64_t ff_first = first_bits & kStepLanes;
      const uint64_t ff_second = _mm512_cmpeq_epi8_mask(second, ff) & kStepLanes;
      if (__builtin_expect(several(ff_first) || several(ff_second), 0)) {
        o = stuff_dense_block_avx2(p, first_bits, o);
        p += 64;
        continue;
      }
      o = stuff_sparse_block(first, ff_first, o);
      o = stuff_sparse_block(second, ff_second, o);
      p += 2 * kStep;
    }
  }
  return finish_portably(in, n, out, capacity, p, o);
}

MASKJPEG_AVX512_END

}  // namespace maskjpeg
#endif  // MASKJPEG_X86_SIMD
