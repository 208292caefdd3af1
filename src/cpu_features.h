// What this CPU lets the kernels use, per architecture (x86/, arm/), read
// afresh by every call that dispatches: the library keeps no state.
#ifndef MASKJPEG_SRC_CPU_FEATURES_H
#define MASKJPEG_SRC_CPU_FEATURES_H

#include "arm/cpu_features.h"
#include "x86/cpu_features.h"

namespace maskjpeg {

struct CpuFeatures {
  X86Features x86;
  ArmFeatures arm;
};

inline CpuFeatures detect_cpu_features() { return {detect_x86_features(), detect_arm_features()}; }

}  // namespace maskjpeg

#endif  // MASKJPEG_SRC_CPU_FEATURES_H
