// Which mask expansion a call uses, and the expansion of a whole mask, row
// by row.
#include "expand_mask.h"

#include <cstring>

#include "../cpu_features.h"
#include "expansion_table.h"

namespace maskjpeg {
namespace {

bool always(const CpuFeatures&) { return true; }
[[maybe_unused]] bool avx512vbmi(const CpuFeatures& cpu) { return x86_avx512vbmi_family(cpu.x86); }
[[maybe_unused]] bool avx2(const CpuFeatures& cpu) { return x86_avx2_family(cpu.x86); }

// Fastest first; the portable expansion, which needs nothing, closes it.
// (There is no NEON expansion: aarch64 runs the portable one.)
constexpr struct {
  bool (*supported)(const CpuFeatures&);
  ExpandRun run;
} kFamilies[] = {
#if MASKJPEG_X86_SIMD
    {avx512vbmi, expand_run_vbmi},
    {avx2, expand_run_avx2},
#endif
    {always, expand_run_portable},
};
static_assert(sizeof kFamilies / sizeof kFamilies[0] <= kMaxExpandRuns, "room for every family");

}  // namespace

size_t supported_expand_runs(const CpuFeatures& cpu, ExpandRun runs[kMaxExpandRuns]) {
  size_t n = 0;
  for (const auto& family : kFamilies) {
    if (family.supported(cpu)) runs[n++] = family.run;
  }
  return n;
}

size_t supported_expand_runs(ExpandRun runs[kMaxExpandRuns]) {
  return supported_expand_runs(detect_cpu_features(), runs);
}

ExpandRun best_expand_run() {
  const CpuFeatures cpu = detect_cpu_features();
  for (const auto& family : kFamilies) {
    if (family.supported(cpu)) return family.run;
  }
  return expand_run_portable;
}

void expand_mask(const uint8_t* packed, size_t width, size_t height, uint8_t* out,
                 ExpandRun expand_run) {
  const size_t whole = width / kPixelsPerByte;
  const size_t rest = width % kPixelsPerByte;
  if (rest == 0) {
    // Rows are contiguous in both buffers: the mask is one run.
    expand_run(packed, whole * height, out);
    return;
  }
  // Otherwise each row's last byte holds only width % 4 pixels; its other
  // bit pairs are ignored and the next row starts with the next byte.
  for (size_t y = 0; y < height; ++y) {
    expand_run(packed, whole, out);
    packed += whole;
    out += whole * kBytesPerPacked;
    std::memcpy(out, kExpansion.rgba[*packed], rest * kPixelBytes);
    packed += 1;
    out += rest * kPixelBytes;
  }
}

}  // namespace maskjpeg
