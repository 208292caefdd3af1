// What an ARM CPU lets the kernels use. NEON is part of every aarch64 CPU,
// so it needs no run-time check. The kernels read lane masks out of vector
// registers as integers, which they do for little-endian lane order only;
// big-endian aarch64 keeps the portable kernels.
#ifndef MASKJPEG_SRC_ARM_CPU_FEATURES_H
#define MASKJPEG_SRC_ARM_CPU_FEATURES_H

#include "../kernel_families.h"

#if defined(__aarch64__) && defined(__ARM_NEON) && (defined(__GNUC__) || defined(__clang__)) && \
    defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define MASKJPEG_ARM_NEON 1
#include <arm_neon.h>
#else
#define MASKJPEG_ARM_NEON 0
#endif

namespace maskjpeg {

struct ArmFeatures {
  bool neon = false;
};

inline ArmFeatures detect_arm_features() {
  ArmFeatures f;
  f.neon = MASKJPEG_ARM_NEON != 0;
  return f;
}

inline bool arm_neon_family(const ArmFeatures& f) {
  return MASKJPEG_KERNEL_CAP >= MASKJPEG_KERNELS_NEON && f.neon;
}

}  // namespace maskjpeg

#endif  // MASKJPEG_SRC_ARM_CPU_FEATURES_H
