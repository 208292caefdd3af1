// What an x86-64 CPU and its operating system let the kernels use: CPUID's
// feature bits, and XGETBV's record of the register state the OS saves on a
// context switch (a CPU can have AVX-512 while its OS, or a VM, leaves the
// registers off). Read by the library's own code on every call that
// dispatches, so it keeps no state and relies on no compiler runtime.
#ifndef MASKJPEG_SRC_X86_CPU_FEATURES_H
#define MASKJPEG_SRC_X86_CPU_FEATURES_H

#include "../kernel_families.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MASKJPEG_X86_SIMD 1
#include <cpuid.h>
#include <immintrin.h>
#else
#define MASKJPEG_X86_SIMD 0
#endif

namespace maskjpeg {

struct X86Features {
  bool popcnt = false;
  bool bmi = false;
  bool bmi2 = false;
  bool avx2 = false;
  bool avx512f = false;
  bool avx512bw = false;
  bool avx512vbmi = false;
  bool os_avx = false;     // XCR0 bits 1-2: XMM and YMM state saved
  bool os_avx512 = false;  // XCR0 bits 5-7 too: opmask and ZMM state saved
};

#if MASKJPEG_X86_SIMD
inline X86Features detect_x86_features() {
  X86Features f;
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return f;
  f.popcnt = (c >> 23 & 1) != 0;
  const bool osxsave = (c >> 27 & 1) != 0;
  const bool avx = (c >> 28 & 1) != 0;
  if (osxsave && avx) {
    // XGETBV with ECX = 0 reads XCR0; OSXSAVE says the OS allows it.
    unsigned xcr0 = 0, xcr0_high = 0;
    __asm__ volatile("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
    (void)xcr0_high;
    f.os_avx = (xcr0 & 0x6) == 0x6;
    f.os_avx512 = f.os_avx && (xcr0 & 0xE0) == 0xE0;
  }
  if (__get_cpuid_max(0, nullptr) >= 7) {
    __cpuid_count(7, 0, a, b, c, d);
    f.bmi = (b >> 3 & 1) != 0;
    f.avx2 = (b >> 5 & 1) != 0;
    f.bmi2 = (b >> 8 & 1) != 0;
    f.avx512f = (b >> 16 & 1) != 0;
    f.avx512bw = (b >> 30 & 1) != 0;
    f.avx512vbmi = (c >> 1 & 1) != 0;
  }
  return f;
}
#else
inline X86Features detect_x86_features() { return {}; }
#endif

// Each family's predicate tests every feature that the target attributes
// of its kernels name, the OS state of the registers they use, and the
// build's cap.

// AVX2 kernels: target("avx2"), ("avx2,bmi"), ("avx2,popcnt").
inline bool x86_avx2_family(const X86Features& f) {
  return MASKJPEG_KERNEL_CAP >= MASKJPEG_KERNELS_AVX2 && f.os_avx && f.avx2 && f.bmi && f.popcnt;
}

// AVX-512BW kernels: target("avx512f,avx512bw,popcnt,bmi2"), beside the
// AVX2 ones they share work with.
inline bool x86_avx512bw_family(const X86Features& f) {
  return MASKJPEG_KERNEL_CAP >= MASKJPEG_KERNELS_AVX512 && x86_avx2_family(f) && f.os_avx512 &&
         f.avx512f && f.avx512bw && f.bmi2;
}

// AVX-512 VBMI kernels: target("avx512f,avx512bw,avx512vbmi"), and
// ("avx512f,avx512bw,avx512vbmi,avx2,bmi").
inline bool x86_avx512vbmi_family(const X86Features& f) {
  return x86_avx512bw_family(f) && f.avx512vbmi;
}

}  // namespace maskjpeg

// GCC 12's AVX-512 headers seed some intrinsics with a deliberately
// undefined vector, which trips its own uninitialised-use warnings; these
// bracket the AVX-512 kernels.
#if MASKJPEG_X86_SIMD
#if defined(__clang__)
#define MASKJPEG_AVX512_BEGIN \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wuninitialized\"")
#else
#define MASKJPEG_AVX512_BEGIN                                                          \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wuninitialized\"") \
      _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")
#endif
#define MASKJPEG_AVX512_END _Pragma("GCC diagnostic pop")
#endif

#endif  // MASKJPEG_SRC_X86_CPU_FEATURES_H
