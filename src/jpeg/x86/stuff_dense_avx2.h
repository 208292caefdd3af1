// The AVX2 stuffing of a 64-byte stretch dense in FF, shared by the AVX2
// and AVX-512 kernels (the AVX-512 family's predicate requires AVX2 too).
// Reads in[0, 64); writes below out + 128.
#ifndef MASKJPEG_SRC_JPEG_X86_STUFF_DENSE_AVX2_H
#define MASKJPEG_SRC_JPEG_X86_STUFF_DENSE_AVX2_H

#include "../group_stuffing.h"
#include "../scan_kernel_families.h"

#if MASKJPEG_X86_SIMD
namespace maskjpeg {

// Eight groups of eight bytes by table (kGroupStuffing): each group is
// shuffled into a 16-byte store at the output's end, which then moves on by
// the group's output length. Reads in[0, 64); writes below out + 128 (the
// last group starts at most 7 * 16 bytes in).
__attribute__((target("avx2"), always_inline)) inline uint8_t* stuff_groups_avx2(const uint8_t* in,
                                                                                 uint64_t ff_bits,
                                                                                 uint8_t* out) {
  for (unsigned g = 0; g < 8; ++g) {
    const auto ff = static_cast<uint8_t>(ff_bits >> (8 * g));
    const __m128i group = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + 8 * g));
    const __m128i index =
        _mm_load_si128(reinterpret_cast<const __m128i*>(kGroupStuffing.index[ff]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(group, index));
    out += kGroupStuffing.length[ff];
  }
  return out;
}

// A 64-byte stretch with two or more FF bytes in a block (rare in
// entropy-coded data, every block of an FF-dense scan), `ff_bits` its FF
// bytes: all FF becomes 128 bytes of FF 00, anything else goes by groups.
// Every input costs the same, so no pattern of FF bytes makes a step wait on
// the one before it. Reads in[0, 64); writes below out + 128.
__attribute__((target("avx2"), always_inline)) inline uint8_t* stuff_dense_block_avx2(
    const uint8_t* in, uint64_t ff_bits, uint8_t* out) {
  if (ff_bits != kAllFF) return stuff_groups_avx2(in, ff_bits, out);
  const __m256i pairs = _mm256_set1_epi16(0x00FF);  // FF 00 in memory order
  for (size_t i = 0; i < 128; i += 32)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), pairs);
  return out + 128;
}

}  // namespace maskjpeg
#endif  // MASKJPEG_X86_SIMD

#endif  // MASKJPEG_SRC_JPEG_X86_STUFF_DENSE_AVX2_H
