// Which scan kernels a call uses: the first family in the table that this
// CPU runs (within the build's cap), asked afresh on every call.
#include "scan_kernels.h"

#include "../cpu_features.h"
#include "scan_kernel_families.h"

namespace maskjpeg {
namespace {

bool always(const CpuFeatures&) { return true; }
[[maybe_unused]] bool avx512vbmi(const CpuFeatures& cpu) { return x86_avx512vbmi_family(cpu.x86); }
[[maybe_unused]] bool avx512bw(const CpuFeatures& cpu) { return x86_avx512bw_family(cpu.x86); }
[[maybe_unused]] bool avx2(const CpuFeatures& cpu) { return x86_avx2_family(cpu.x86); }
[[maybe_unused]] bool neon(const CpuFeatures& cpu) { return arm_neon_family(cpu.arm); }

// Fastest first; the portable kernels, which need nothing, close it.
// AVX-512 CPUs without VBMI count with AVX-512BW and stuff with AVX2.
constexpr struct {
  bool (*supported)(const CpuFeatures&);
  ScanKernels kernels;
} kFamilies[] = {
#if MASKJPEG_X86_SIMD
    {avx512vbmi, {count_ff_avx512, stuff_avx512}}, {avx512bw, {count_ff_avx512, stuff_avx2}},
    {avx2, {count_ff_avx2, stuff_avx2}},
#endif
#if MASKJPEG_ARM_NEON
    {neon, {count_ff_neon, stuff_neon}},
#endif
    {always, {count_ff_portable, stuff_portable}},
};
static_assert(sizeof kFamilies / sizeof kFamilies[0] <= kMaxScanKernels, "room for every family");

}  // namespace

ScanKernels portable_scan_kernels() { return {count_ff_portable, stuff_portable}; }

size_t supported_scan_kernels(const CpuFeatures& cpu, ScanKernels kernels[kMaxScanKernels]) {
  size_t n = 0;
  for (const auto& family : kFamilies) {
    if (family.supported(cpu)) kernels[n++] = family.kernels;
  }
  return n;
}

size_t supported_scan_kernels(ScanKernels kernels[kMaxScanKernels]) {
  return supported_scan_kernels(detect_cpu_features(), kernels);
}

ScanKernels best_scan_kernels() {
  const CpuFeatures cpu = detect_cpu_features();
  for (const auto& family : kFamilies) {
    if (family.supported(cpu)) return family.kernels;
  }
  return portable_scan_kernels();
}

}  // namespace maskjpeg
