// The scan stuffing kernels: each of them that this CPU can run, not only
// the one it picks, is checked against a plain
// byte-by-byte stuffing on data that reaches every branch: no FF, lone FF
// bytes, FF bytes close together, FF runs shorter and longer than a vector,
// all-FF, at every offset.
#include "jpeg/scan_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<maskjpeg::ScanKernels> supported() {
  maskjpeg::ScanKernels k[maskjpeg::kMaxScanKernels];
  return {k, k + maskjpeg::supported_scan_kernels(k)};
}

Bytes plain_stuff(const Bytes& in) {
  Bytes out;
  for (uint8_t b : in) {
    out.push_back(b);
    if (b == 0xFF) out.push_back(0x00);
  }
  return out;
}

std::vector<Bytes> scan_samples() {
  std::mt19937 rng(7);
  std::vector<Bytes> samples;
  for (size_t n : {0, 1, 7, 8, 9, 63, 64, 65, 191, 192, 193, 255, 256, 1000, 4099}) {
    Bytes random(n), sparse(n, 0x12), all_ff(n, 0xFF);
    for (auto& b : random) b = static_cast<uint8_t>(rng());
    for (size_t i = 3; i < n; i += 37) sparse[i] = 0xFF;
    samples.insert(samples.end(), {random, sparse, all_ff});
  }
  // FF runs of every length up to 140 at shifting offsets, in plain data.
  for (size_t run = 1; run <= 140; ++run) {
    Bytes b(600, 0x55);
    for (size_t start = run % 67; start + run < b.size(); start += run + 71) {
      for (size_t i = 0; i < run; ++i) b[start + i] = 0xFF;
    }
    samples.push_back(b);
  }
  // One FF per stride at every phase. Close together (every second to
  // eighth byte), they take the dense paths, which stuff several FF bytes a
  // step; farther apart, block edges of every kernel (31, 32, 63 and 64
  // bytes, and steps of two blocks) fall before, on and after each FF.
  for (size_t stride : {2, 3, 5, 8, 30, 31, 32, 33, 62, 63, 64, 65, 126}) {
    for (size_t phase = 0; phase < stride; ++phase) {
      Bytes b(700, 0x21);
      for (size_t i = phase; i < b.size(); i += stride) b[i] = 0xFF;
      samples.push_back(b);
    }
  }
  // One byte in eight, and one in two, FF at random: the kernels switch
  // between their sparse and dense paths at every kind of boundary.
  for (int seed = 0; seed < 20; ++seed) {
    for (uint32_t one_in : {8u, 2u}) {
      Bytes b(2000);
      for (auto& x : b) x = rng() % one_in == 0 ? 0xFF : static_cast<uint8_t>(rng() % 255);
      samples.push_back(b);
    }
  }
  return samples;
}

TEST(ScanKernels, MatchPlainStuffing) {
  const std::vector<Bytes> samples = scan_samples();
  for (const maskjpeg::ScanKernels& k : supported()) {
    for (const Bytes& in : samples) {
      const Bytes expected = plain_stuff(in);
      ASSERT_EQ(k.count_ff(in.data(), in.size()), expected.size() - in.size());
      // Sized exactly, plus a guard byte that must survive.
      Bytes out(expected.size() + 1, 0xA5);
      const maskjpeg::StuffProgress done =
          k.stuff(in.data(), in.size(), out.data(), expected.size());
      ASSERT_EQ(done.consumed, in.size());
      ASSERT_EQ(done.written, expected.size()) << in.size() << " bytes";
      EXPECT_EQ(out.back(), 0xA5);
      out.pop_back();
      ASSERT_EQ(out, expected) << in.size() << " bytes";
    }
  }
}

// With too little room a kernel stops where the next byte's output would
// not fit, has written exactly the stuffing of what it consumed, and has
// touched nothing past the room it was given.
TEST(ScanKernels, StopAtTheEndOfTheRoom) {
  const std::vector<Bytes> samples = scan_samples();
  for (const maskjpeg::ScanKernels& k : supported()) {
    for (const Bytes& in : samples) {
      const Bytes expected = plain_stuff(in);
      for (size_t room : {size_t{0}, size_t{1}, in.size() / 2, in.size(), expected.size() - 1}) {
        if (room >= expected.size()) continue;
        Bytes out(room + 1, 0xA5);
        const maskjpeg::StuffProgress done = k.stuff(in.data(), in.size(), out.data(), room);
        EXPECT_EQ(out.back(), 0xA5) << "wrote past the room";
        const Bytes head(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(done.consumed));
        const Bytes want = plain_stuff(head);
        ASSERT_EQ(done.written, want.size());
        EXPECT_TRUE(std::equal(want.begin(), want.end(), out.begin()));
        // Stopped only because the next byte's output did not fit.
        ASSERT_LT(done.consumed, in.size());
        EXPECT_GT(done.written + (in[done.consumed] == 0xFF ? 2 : 1), room);
      }
    }
  }
}

}  // namespace
