// The expansion kernels: every one this CPU can run within the build's
// kernel cap (not only the one it picks) is checked against a plain
// pixel-by-pixel expansion, at every run length around their step sizes.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "mask/expand_mask.h"

namespace {

std::vector<uint8_t> reference_run(const std::vector<uint8_t>& packed) {
  static const uint8_t kAlpha[4] = {0, 1, 1, 128};
  std::vector<uint8_t> out;
  for (uint8_t byte : packed) {
    for (int p = 0; p < 4; ++p)
      out.insert(out.end(), {0xFF, 0xFF, 0xFF, kAlpha[(byte >> (2 * p)) & 3]});
  }
  return out;
}

TEST(ExpandRun, EveryKernelMatchesTheReference) {
  std::mt19937 rng(42);
  maskjpeg::ExpandRun kernels[maskjpeg::kMaxExpandRuns];
  const size_t supported = maskjpeg::supported_expand_runs(kernels);
  for (size_t which = 0; which < supported; ++which) {
    const maskjpeg::ExpandRun kernel = kernels[which];
    for (size_t count = 0; count <= 70; ++count) {
      std::vector<uint8_t> packed(count);
      for (auto& b : packed) b = static_cast<uint8_t>(rng());
      if (count == 64) {
        for (size_t i = 0; i < count; ++i) packed[i] = static_cast<uint8_t>(i * 4 + 3);
      }
      // One guard byte on each side catches a write outside the run.
      std::vector<uint8_t> out(count * 16 + 2, 0xA5);
      kernel(packed.data(), count, out.data() + 1);
      EXPECT_EQ(out.front(), 0xA5);
      EXPECT_EQ(out.back(), 0xA5);
      EXPECT_EQ(std::vector<uint8_t>(out.begin() + 1, out.end() - 1), reference_run(packed))
          << "kernel " << which << ", count " << count;
    }
  }
}

TEST(ExpandRun, AllByteValues) {
  std::vector<uint8_t> packed(256);
  for (size_t i = 0; i < 256; ++i) packed[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> out(256 * 16);
  maskjpeg::best_expand_run()(packed.data(), packed.size(), out.data());
  EXPECT_EQ(out, reference_run(packed));
}

}  // namespace
