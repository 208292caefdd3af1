// Which of the library's SIMD kernels this CPU can run. Asked per call from
// the compiler's CPU model, so the library keeps no state of its own.
#ifndef MASKJPEG_SRC_CPU_FEATURES_H
#define MASKJPEG_SRC_CPU_FEATURES_H

// The kernel families in the order of the build option MASKJPEG_KERNELS;
// MASKJPEG_KERNEL_CAP, set by the build, is the highest one a call may
// pick. Without it every family the CPU has may be picked.
#define MASKJPEG_KERNELS_PORTABLE 0
#define MASKJPEG_KERNELS_AVX2 1
#define MASKJPEG_KERNELS_AVX512 2
// On aarch64 the families are portable and neon.
#define MASKJPEG_KERNELS_NEON 1
#ifndef MASKJPEG_KERNEL_CAP
#define MASKJPEG_KERNEL_CAP MASKJPEG_KERNELS_AVX512
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MASKJPEG_X86_SIMD 1
#include <immintrin.h>
#else
#define MASKJPEG_X86_SIMD 0
#endif

#if MASKJPEG_X86_SIMD
// GCC 12's AVX-512 headers seed some intrinsics with a deliberately
// undefined vector, which trips its own uninitialised-use warnings; these
// bracket the AVX-512 kernels.
#if defined(__clang__)
#define MASKJPEG_AVX512_BEGIN \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wuninitialized\"")
#else
#define MASKJPEG_AVX512_BEGIN                                                          \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wuninitialized\"") \
      _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")
#endif
#define MASKJPEG_AVX512_END _Pragma("GCC diagnostic pop")

namespace maskjpeg {

// The build option MASKJPEG_KERNELS caps the dispatch: each family is picked
// only when the CPU has it and the cap allows it.
inline bool cpu_has_avx2() {
  return MASKJPEG_KERNEL_CAP >= MASKJPEG_KERNELS_AVX2 && __builtin_cpu_supports("avx2") &&
         __builtin_cpu_supports("bmi") && __builtin_cpu_supports("popcnt");
}

inline bool cpu_has_avx512bw() {
  return MASKJPEG_KERNEL_CAP >= MASKJPEG_KERNELS_AVX512 && __builtin_cpu_supports("avx512f") &&
         __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("bmi") &&
         __builtin_cpu_supports("bmi2");
}

inline bool cpu_has_avx512vbmi() {
  return cpu_has_avx512bw() && __builtin_cpu_supports("avx512vbmi");
}

}  // namespace maskjpeg
#endif  // MASKJPEG_X86_SIMD

// NEON is part of every aarch64 CPU, so it needs no runtime check. The
// kernels read lane masks out of vector registers as integers, which they
// do for little-endian lane order only; big-endian aarch64 keeps the
// portable kernels.
#if defined(__aarch64__) && defined(__ARM_NEON) && (defined(__GNUC__) || defined(__clang__)) && \
    defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define MASKJPEG_ARM_NEON 1
#include <arm_neon.h>
#else
#define MASKJPEG_ARM_NEON 0
#endif

namespace maskjpeg {

inline bool cpu_has_neon() {
  return MASKJPEG_ARM_NEON && MASKJPEG_KERNEL_CAP >= MASKJPEG_KERNELS_NEON;
}

}  // namespace maskjpeg

#endif  // MASKJPEG_SRC_CPU_FEATURES_H
