// The conventions every exported function shares: release, failure
// reporting, and calls from many threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>
#include <vector>

#include "maskjpeg.h"
#include "test_util.h"

namespace {

const std::vector<uint8_t> kFiveByThree = {0x17, 0xE4, 0x03, 0x1B, 0x02,
                                           0xFF, 0xFE, 0x11, 0x00, 0x00};

TEST(Release, NullIsAcceptedByBothNames) {
  free_mask_buffer(nullptr);
  free_jpeg_buffer(nullptr);
}

TEST(Release, EitherNameReleasesAMaskResult) {
  // Under the sanitizer build a wrong release would show as a leak or a bad
  // free; here both names must take a result.
  for (auto release : {free_mask_buffer, free_jpeg_buffer}) {
    int32_t size = 0;
    uint8_t* out =
        decode_mask(kFiveByThree.data(), static_cast<int32_t>(kFiveByThree.size()), 5, 3, &size);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(size, 60);
    release(out);
  }
}

// Calls share nothing but the allocator: many threads decoding masks and
// repairing JPEGs at once all get the single-threaded answers, and results
// may be released on another thread, through either name.
TEST(Concurrency, ParallelCallsAgree) {
  std::vector<uint8_t> stored = hex("FF D8 FF A0 FF DA 00 09 03 01 00 02 11 03 11");
  std::mt19937 rng(5);
  for (int i = 0; i < 5000; ++i)
    stored.push_back(static_cast<uint8_t>(rng() % 7 == 0 ? 0xFF : rng()));
  stored.insert(stored.end(), {0xFF, 0xD9});
  const std::vector<uint8_t> mask = decode(kFiveByThree, 5, 3);
  const std::vector<uint8_t> jpeg = repair(stored);
  ASSERT_FALSE(mask.empty());
  ASSERT_FALSE(jpeg.empty());

  constexpr int kThreads = 8;
  constexpr int kCalls = 300;
  struct Held {
    uint8_t* data;
    int32_t size;
    bool is_mask;
  };
  std::vector<std::vector<Held>> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        Held h{nullptr, 0, (i + t) % 2 == 0};
        h.data = h.is_mask
                     ? decode_mask(kFiveByThree.data(), static_cast<int32_t>(kFiveByThree.size()),
                                   5, 3, &h.size)
                     : repair_jpeg(stored.data(), static_cast<int32_t>(stored.size()), &h.size);
        results[t].push_back(h);
      }
    });
  }
  for (auto& th : threads) th.join();
  int released = 0;
  for (auto& per_thread : results) {
    for (const Held& h : per_thread) {
      const std::vector<uint8_t>& want = h.is_mask ? mask : jpeg;
      ASSERT_NE(h.data, nullptr);
      ASSERT_EQ(static_cast<size_t>(h.size), want.size());
      EXPECT_TRUE(std::equal(want.begin(), want.end(), h.data));
      (released++ % 2 == 0 ? free_jpeg_buffer : free_mask_buffer)(h.data);
    }
  }
}

}  // namespace
