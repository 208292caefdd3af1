#include "scan_kernels.h"

#include <cstring>

#include "../cpu_features.h"

namespace maskjpeg {
namespace {

constexpr uint8_t kFF = 0xFF;
constexpr uint64_t kAllFF = ~uint64_t{0};
constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;

inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Exactly one high bit per FF byte of `word`: the FF bytes are the zero
// bytes of ~word, and this zero-byte test has no carries between bytes.
inline uint64_t ff_byte_flags(uint64_t word) {
  const uint64_t y = ~word;
  return ~(((y & kLow7) + kLow7) | y | kLow7);
}

size_t count_ff_portable(const uint8_t* in, size_t n) {
  size_t count = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) count += static_cast<size_t>(__builtin_popcountll(ff_byte_flags(load64(in + i))));
  for (; i < n; ++i) count += in[i] == kFF;
  return count;
}

uint8_t* stuff_portable(const uint8_t* in, size_t n, uint8_t* out) {
  // Eight stuffed FF bytes, for whole words of FF.
  static constexpr uint8_t kPairs[16] = {kFF, 0, kFF, 0, kFF, 0, kFF, 0,
                                         kFF, 0, kFF, 0, kFF, 0, kFF, 0};
  const uint8_t* const end = in + n;
  while (in < end) {
    const auto* ff = static_cast<const uint8_t*>(std::memchr(in, kFF, static_cast<size_t>(end - in)));
    const size_t run = static_cast<size_t>((ff != nullptr ? ff : end) - in);
    std::memcpy(out, in, run);
    out += run;
    in += run;
    if (ff == nullptr) break;
    // A run of FF bytes: whole words at a time, then the remnant.
    while (end - in >= 8 && load64(in) == kAllFF) {
      std::memcpy(out, kPairs, sizeof kPairs);
      out += sizeof kPairs;
      in += 8;
    }
    while (in < end && *in == kFF) {
      out[0] = kFF;
      out[1] = 0;
      out += 2;
      ++in;
    }
  }
  return out;
}

#if MASKJPEG_X86_SIMD
MASKJPEG_AVX512_BEGIN

__attribute__((target("avx512f,avx512bw,popcnt"))) size_t count_ff_avx512(const uint8_t* in,
                                                                           size_t n) {
  const __m512i ff = _mm512_set1_epi8(static_cast<char>(kFF));
  size_t count = 0;
  size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    count += static_cast<size_t>(
        _mm_popcnt_u64(_mm512_cmpeq_epi8_mask(_mm512_loadu_si512(in + i), ff)));
  }
  return count + count_ff_portable(in + i, n - i);
}

// Each step copies 64 bytes as they are, then, if they hold an FF, keeps
// only the bytes before the first FF and writes the run of FF bytes that
// starts there as FF 00 pairs; the next step starts right after the run.
// So a step consumes either 64 plain bytes or one plain run plus one FF run
// (up to 64 FF bytes), and all-FF data costs one step per 64 bytes.
//
// Why the stores stay in bounds: a step runs only while at least 192 input
// bytes remain, so at least 192 output bytes remain too (output never
// shrinks). Its stores reach at most 64 bytes (the copy) or 63 + 128 bytes
// (the pairs after up to 63 plain bytes) past `out`.
__attribute__((target("avx512f,avx512bw,bmi"))) uint8_t* stuff_avx512(const uint8_t* in,
                                                                       size_t n, uint8_t* out) {
  constexpr ptrdiff_t kMargin = 192;
  const __m512i ff = _mm512_set1_epi8(static_cast<char>(kFF));
  const __m512i pairs = _mm512_set1_epi16(0x00FF);  // FF 00 in memory order
  const uint8_t* const end = in + n;
  while (end - in >= kMargin) {
    const __m512i block = _mm512_loadu_si512(in);
    const uint64_t ff_bits = _mm512_cmpeq_epi8_mask(block, ff);
    _mm512_storeu_si512(out, block);
    if (ff_bits == 0) {
      in += 64;
      out += 64;
      continue;
    }
    const unsigned plain = static_cast<unsigned>(_tzcnt_u64(ff_bits));
    const uint64_t after = ~(ff_bits >> plain);  // zero bits: the FF run
    const unsigned ff_run = after == 0 ? 64u : static_cast<unsigned>(_tzcnt_u64(after));
    _mm512_storeu_si512(out + plain, pairs);
    if (ff_run > 32) _mm512_storeu_si512(out + plain + 64, pairs);
    in += plain + ff_run;
    out += plain + 2 * ff_run;
  }
  return stuff_portable(in, static_cast<size_t>(end - in), out);
}

MASKJPEG_AVX512_END
#endif

}  // namespace

ScanKernels portable_scan_kernels() { return {count_ff_portable, stuff_portable}; }

ScanKernels best_scan_kernels() {
#if MASKJPEG_X86_SIMD
  if (cpu_has_avx512bw()) return {count_ff_avx512, stuff_avx512};
#endif
  return portable_scan_kernels();
}

}  // namespace maskjpeg
