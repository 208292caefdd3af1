// The kernels of the scan stuffing, family by family, for the dispatch
// (scan_kernels.cpp) and the tests. The portable kernels are the reference
// every other family is tested against; each SIMD family lives in its
// architecture's folder and is compiled only where that architecture is.
#ifndef MASKJPEG_SRC_JPEG_SCAN_KERNEL_FAMILIES_H
#define MASKJPEG_SRC_JPEG_SCAN_KERNEL_FAMILIES_H

#include <cstddef>
#include <cstdint>

#include "../cpu_features.h"
#include "scan_kernels.h"

namespace maskjpeg {

constexpr uint8_t kFF = 0xFF;
constexpr uint64_t kAllFF = ~uint64_t{0};

// stuff_portable.cpp
size_t count_ff_portable(const uint8_t* in, size_t n);
StuffProgress stuff_portable(const uint8_t* in, size_t n, uint8_t* out, size_t capacity);

// A SIMD kernel stops where its margins run out, at in + p and out + o;
// the portable kernel, which checks every run against the room, does the
// rest. Returns the progress of the whole call.
inline StuffProgress finish_portably(const uint8_t* in, size_t n, uint8_t* out, size_t capacity,
                                     const uint8_t* p, uint8_t* o) {
  const size_t consumed = static_cast<size_t>(p - in);
  const size_t written = static_cast<size_t>(o - out);
  const StuffProgress rest = stuff_portable(p, n - consumed, o, capacity - written);
  return {consumed + rest.consumed, written + rest.written};
}

#if MASKJPEG_X86_SIMD
// x86/stuff_avx2.cpp
size_t count_ff_avx2(const uint8_t* in, size_t n);
StuffProgress stuff_avx2(const uint8_t* in, size_t n, uint8_t* out, size_t capacity);
// x86/stuff_avx512.cpp
size_t count_ff_avx512(const uint8_t* in, size_t n);
StuffProgress stuff_avx512(const uint8_t* in, size_t n, uint8_t* out, size_t capacity);
#endif

#if MASKJPEG_ARM_NEON
// arm/stuff_neon.cpp
size_t count_ff_neon(const uint8_t* in, size_t n);
StuffProgress stuff_neon(const uint8_t* in, size_t n, uint8_t* out, size_t capacity);
#endif

}  // namespace maskjpeg

#endif  // MASKJPEG_SRC_JPEG_SCAN_KERNEL_FAMILIES_H
