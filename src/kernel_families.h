// The kernel families, in the order of the build option MASKJPEG_KERNELS.
// MASKJPEG_KERNEL_CAP, set by the build, is the highest one a call may
// pick; without it every family the CPU has may be picked.
#ifndef MASKJPEG_SRC_KERNEL_FAMILIES_H
#define MASKJPEG_SRC_KERNEL_FAMILIES_H

#define MASKJPEG_KERNELS_PORTABLE 0
#define MASKJPEG_KERNELS_AVX2 1
#define MASKJPEG_KERNELS_AVX512 2
// On aarch64 the families are portable and neon.
#define MASKJPEG_KERNELS_NEON 1
#ifndef MASKJPEG_KERNEL_CAP
#define MASKJPEG_KERNEL_CAP MASKJPEG_KERNELS_AVX512
#endif

#endif  // MASKJPEG_SRC_KERNEL_FAMILIES_H
