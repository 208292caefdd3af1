// The conventions every exported function shares: release, failure
// reporting, and calls from many threads at once.
#include <gtest/gtest.h>

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
    uint8_t* out = decode_mask(kFiveByThree.data(), static_cast<int32_t>(kFiveByThree.size()),
                               5, 3, &size);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(size, 60);
    release(out);
  }
}

// Calls share nothing but the allocator: many threads decoding at once all
// get the single-threaded answer, and results may be released elsewhere.
TEST(Concurrency, ParallelCallsAgree) {
  const std::vector<uint8_t> expected = decode(kFiveByThree, 5, 3);
  ASSERT_FALSE(expected.empty());
  constexpr int kThreads = 8;
  constexpr int kCalls = 500;
  std::vector<std::vector<uint8_t*>> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        int32_t size = 0;
        results[t].push_back(decode_mask(kFiveByThree.data(),
                                         static_cast<int32_t>(kFiveByThree.size()), 5, 3, &size));
      }
    });
  }
  for (auto& th : threads) th.join();
  for (auto& per_thread : results) {
    for (uint8_t* out : per_thread) {
      ASSERT_NE(out, nullptr);
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out));
      free_jpeg_buffer(out);
    }
  }
}

}  // namespace
