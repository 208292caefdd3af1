// The kernel dispatch: each family's predicate needs every CPU feature its
// kernels are compiled for and the OS state of their registers, and taking
// the best family's feature away makes the dispatch pick the next one.
#include "cpu_features.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "jpeg/scan_kernels.h"
#include "mask/expand_mask.h"

namespace {

using maskjpeg::CpuFeatures;
using maskjpeg::X86Features;
using Bit = bool X86Features::*;

X86Features every_x86_feature() {
  X86Features f;
  for (Bit bit : {&X86Features::popcnt, &X86Features::bmi, &X86Features::bmi2, &X86Features::avx2,
                  &X86Features::avx512f, &X86Features::avx512bw, &X86Features::avx512vbmi,
                  &X86Features::os_avx, &X86Features::os_avx512}) {
    f.*bit = true;
  }
  return f;
}

TEST(CpuFeatures, EachPredicateNeedsEveryFeatureOfItsKernels) {
  const struct {
    const char* family;
    bool (*predicate)(const X86Features&);
    std::vector<Bit> needs;
  } families[] = {
      {"avx2",
       maskjpeg::x86_avx2_family,
       {&X86Features::avx2, &X86Features::bmi, &X86Features::popcnt, &X86Features::os_avx}},
      {"avx512bw",
       maskjpeg::x86_avx512bw_family,
       {&X86Features::avx2, &X86Features::bmi, &X86Features::popcnt, &X86Features::os_avx,
        &X86Features::avx512f, &X86Features::avx512bw, &X86Features::bmi2,
        &X86Features::os_avx512}},
      {"avx512vbmi",
       maskjpeg::x86_avx512vbmi_family,
       {&X86Features::avx2, &X86Features::bmi, &X86Features::popcnt, &X86Features::os_avx,
        &X86Features::avx512f, &X86Features::avx512bw, &X86Features::bmi2, &X86Features::os_avx512,
        &X86Features::avx512vbmi}},
  };
  for (const auto& family : families) {
    const X86Features all = every_x86_feature();
    // A family above the build's kernel cap is never picked.
    if (!family.predicate(all)) continue;
    for (Bit bit : family.needs) {
      X86Features without = all;
      without.*bit = false;
      EXPECT_FALSE(family.predicate(without)) << family.family;
    }
  }
}

bool same(const maskjpeg::ScanKernels& a, const maskjpeg::ScanKernels& b) {
  return a.stuff == b.stuff && a.count_ff == b.count_ff;
}

// Taking away, one after the other, what the AVX-512 VBMI, AVX-512BW and
// AVX2 families need leaves the families after it, best first.
TEST(CpuFeatures, WithoutTheBestFamilyTheNextIsChosen) {
  CpuFeatures cpu;
  cpu.x86 = every_x86_feature();
  cpu.arm.neon = true;
  for (Bit bit : {&X86Features::avx512vbmi, &X86Features::os_avx512, &X86Features::os_avx}) {
    maskjpeg::ScanKernels scan[maskjpeg::kMaxScanKernels];
    maskjpeg::ExpandRun expand[maskjpeg::kMaxExpandRuns];
    const size_t scan_families = maskjpeg::supported_scan_kernels(cpu, scan);
    const size_t expand_families = maskjpeg::supported_expand_runs(cpu, expand);
    cpu.x86.*bit = false;
    maskjpeg::ScanKernels scan_after[maskjpeg::kMaxScanKernels];
    maskjpeg::ExpandRun expand_after[maskjpeg::kMaxExpandRuns];
    const size_t scan_left = maskjpeg::supported_scan_kernels(cpu, scan_after);
    const size_t expand_left = maskjpeg::supported_expand_runs(cpu, expand_after);
    // At most one family goes (none above the cap, or on another CPU
    // architecture), and what is left is what came after it.
    ASSERT_LE(scan_families - scan_left, 1u);
    ASSERT_LE(expand_families - expand_left, 1u);
    for (size_t i = 0; i < scan_left; ++i) {
      EXPECT_TRUE(same(scan_after[i], scan[i + scan_families - scan_left]));
    }
    for (size_t i = 0; i < expand_left; ++i) {
      EXPECT_EQ(expand_after[i], expand[i + expand_families - expand_left]);
    }
  }
  // Nothing but the portable kernels is left on x86; NEON goes the same way.
  cpu.arm.neon = false;
  maskjpeg::ScanKernels scan[maskjpeg::kMaxScanKernels];
  maskjpeg::ExpandRun expand[maskjpeg::kMaxExpandRuns];
  ASSERT_EQ(maskjpeg::supported_scan_kernels(cpu, scan), 1u);
  EXPECT_TRUE(same(scan[0], maskjpeg::portable_scan_kernels()));
  EXPECT_EQ(maskjpeg::supported_expand_runs(cpu, expand), 1u);
}

#if MASKJPEG_X86_SIMD && MASKJPEG_KERNEL_CAP >= MASKJPEG_KERNELS_AVX512
// With every feature, each step above takes one family away.
TEST(CpuFeatures, EveryX86FamilyIsInTheDispatch) {
  CpuFeatures cpu;
  cpu.x86 = every_x86_feature();
  maskjpeg::ScanKernels scan[maskjpeg::kMaxScanKernels];
  maskjpeg::ExpandRun expand[maskjpeg::kMaxExpandRuns];
  EXPECT_EQ(maskjpeg::supported_scan_kernels(cpu, scan), 4u);
  EXPECT_EQ(maskjpeg::supported_expand_runs(cpu, expand), 3u);
}
#endif

// What this machine's CPU reports is what the compiler's runtime reports.
#if MASKJPEG_X86_SIMD
TEST(CpuFeatures, DetectionAgreesWithTheCompilerRuntime) {
  const X86Features f = maskjpeg::detect_x86_features();
  EXPECT_EQ(f.avx2 && f.os_avx, __builtin_cpu_supports("avx2") != 0);
  EXPECT_EQ(f.avx512bw && f.os_avx512, __builtin_cpu_supports("avx512bw") != 0);
  EXPECT_EQ(f.avx512vbmi && f.os_avx512, __builtin_cpu_supports("avx512vbmi") != 0);
  EXPECT_EQ(f.popcnt, __builtin_cpu_supports("popcnt") != 0);
  EXPECT_EQ(f.bmi2, __builtin_cpu_supports("bmi2") != 0);
}
#endif

}  // namespace
