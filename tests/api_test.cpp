// The conventions every exported function shares: release, failure
// reporting, calls from many threads at once, and running out of memory.
#include <gtest/gtest.h>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "maskjpeg.h"
#include "test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kFiveByThree = {0x17, 0xE4, 0x03, 0x1B, 0x02, 0xFF, 0xFE, 0x11, 0x00, 0x00};

// Null is no result: releasing it, through either name, gives nothing back
// to the allocator (counted where glibc tells).
TEST(Release, NullIsAcceptedByBothNames) {
#if defined(__GLIBC__)
  const struct mallinfo2 before = mallinfo2();
#endif
  for (int i = 0; i < 1000; ++i) {
    free_mask_buffer(nullptr);
    free_jpeg_buffer(nullptr);
  }
#if defined(__GLIBC__)
  const struct mallinfo2 after = mallinfo2();
  EXPECT_EQ(before.uordblks, after.uordblks);
  EXPECT_EQ(before.fordblks, after.fordblks);
#endif
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

// A result a producing thread hands to another thread to check and release.
struct Handed {
  uint8_t* data;
  int32_t size;
  size_t job;
  int maker;
};

// Hand-over between threads: each thread has a box that the thread before
// it fills and that it empties.
class Boxes {
 public:
  explicit Boxes(int n) : boxes_(static_cast<size_t>(n)) {}
  void put(int to, const Handed& h) {
    Box& b = boxes_[static_cast<size_t>(to)];
    std::lock_guard<std::mutex> lock(b.mutex);
    b.items.push_back(h);
  }
  std::vector<Handed> take(int from) {
    Box& b = boxes_[static_cast<size_t>(from)];
    std::lock_guard<std::mutex> lock(b.mutex);
    return std::exchange(b.items, {});
  }

 private:
  struct Box {
    std::mutex mutex;
    std::vector<Handed> items;
  };
  std::vector<Box> boxes_;
};

// Calls share nothing but the allocator. Eight threads run both producing
// functions for two seconds over the same inputs, good and bad, each result
// is checked against the single-threaded answer by the thread that did not
// make it, and released there, through either name.
TEST(Concurrency, ParallelCallsAgreeAndReleaseAcrossThreads) {
  MASKJPEG_SKIP_UNDER_QEMU("pthread_create");
  Bytes stored = hex("FF D8 FF A0 FF DA 00 09 03 01 00 02 11 03 11");
  std::mt19937 rng(5);
  for (int i = 0; i < 20000; ++i)
    stored.push_back(static_cast<uint8_t>(rng() % 7 == 0 ? 0xFF : rng()));
  stored.insert(stored.end(), {0xFF, 0xD9});
  Bytes cut_mask = kFiveByThree;
  cut_mask.resize(6);
  const Bytes jfif = hex("FF D8 FF E0 00 10 4A 46 49 46 00 01 01 00 00 01 00 01 00 00 FF D9");

  struct Job {
    bool is_mask;
    Bytes input;
    int32_t width, height;
    Bytes want;  // empty: the call must fail
  };
  std::vector<Job> jobs = {
      {true, kFiveByThree, 5, 3, {}},     {true, kFiveByThree, 200, 100, {}},
      {true, cut_mask, 5, 3, {}},         {true, hex("12 03"), 1, 1, {}},
      {false, stored, 0, 0, {}},          {false, jfif, 0, 0, {}},
      {false, hex("00 01 02"), 0, 0, {}}, {false, hex("FF D8 FF DA 00"), 0, 0, {}},
  };
  for (Job& job : jobs)
    job.want = job.is_mask ? decode(job.input, job.width, job.height) : repair(job.input);
  ASSERT_FALSE(jobs[0].want.empty());
  ASSERT_FALSE(jobs[1].want.empty());
  ASSERT_TRUE(jobs[2].want.empty());
  ASSERT_FALSE(jobs[4].want.empty());

  constexpr int kThreads = 8;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  Boxes boxes(kThreads);
  std::atomic<long> calls{0}, wrong{0}, released_by_maker{0}, handed{0}, released{0};

  auto check_and_release = [&](const Handed& h, int self, bool by_mask_name) {
    const Bytes& want = jobs[h.job].want;
    if (static_cast<size_t>(h.size) != want.size() || !std::equal(want.begin(), want.end(), h.data))
      ++wrong;
    if (h.maker == self) ++released_by_maker;
    (by_mask_name ? free_mask_buffer : free_jpeg_buffer)(h.data);
    ++released;
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      size_t n = static_cast<size_t>(t);
      while (std::chrono::steady_clock::now() < deadline) {
        const size_t job_index = n++ % jobs.size();
        const Job& job = jobs[job_index];
        const int32_t len = static_cast<int32_t>(job.input.size());
        int32_t size = -1;
        uint8_t* out = job.is_mask
                           ? decode_mask(job.input.data(), len, job.width, job.height, &size)
                           : repair_jpeg(job.input.data(), len, &size);
        ++calls;
        if (out == nullptr) {
          if (size != 0 || !job.want.empty()) ++wrong;
        } else {
          boxes.put((t + 1) % kThreads, {out, size, job_index, t});
          ++handed;
        }
        bool by_mask_name = n % 2 == 0;
        for (const Handed& h : boxes.take(t)) {
          check_and_release(h, t, by_mask_name);
          by_mask_name = !by_mask_name;
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t)
    for (const Handed& h : boxes.take(t)) check_and_release(h, -1, true);

  EXPECT_EQ(wrong.load(), 0) << "of " << calls.load() << " calls";
  EXPECT_EQ(released_by_maker.load(), 0);
  EXPECT_EQ(released.load(), handed.load());
  EXPECT_GT(calls.load(), 8 * static_cast<long>(jobs.size()));
}

// Seconds the host-changes-input test runs: 2 by default, more when
// MASKJPEG_STRESS_SECONDS says so (minutes, under the sanitizer build).
int stress_seconds() {
  const char* text = std::getenv("MASKJPEG_STRESS_SECONDS");
  const int seconds = text != nullptr ? std::atoi(text) : 0;
  return seconds > 0 ? seconds : 2;
}

// A host thread keeps changing the input while the library reads it. The
// call may fail or return any stream, but every result it returns has a
// size within the documented bound and is released normally, and nothing is
// read or written outside the input and the call's own buffers (the
// sanitizer build and valgrind report any such access).
//
// The inputs change where it hurts most: an EOI that becomes a 4 KiB COM
// segment (the result is sized before the segment is copied), scan bytes
// that flip between 00 and FF (the stuffing outgrows its room), a scan
// header length and the closing FF D9, and LZO stream bytes.
TEST(HostChangesInput, CallsStayInBounds) {
  MASKJPEG_SKIP_UNDER_QEMU("pthread_create");
  Bytes segment = hex("FF D8 FF D9 10 00");
  segment.resize(segment.size() + 4094, 0x00);
  segment.insert(segment.end(), {0xFF, 0xD9});
  Bytes scan = hex("FF D8 FF A0 FF DA 00 05 01 01 00");
  scan.resize(scan.size() + 20000, 0x12);
  scan.insert(scan.end(), {0xFF, 0xD9});
  Bytes mask = kFiveByThree;
  mask.resize(64, 0x00);

  struct Flip {
    Bytes* input;
    size_t at, count;  // bytes [at, at + count) change
    uint8_t a, b;      // between these two values
  };
  const std::vector<Flip> flips = {
      {&segment, 3, 1, 0xD9, 0xFE}, {&scan, 11, scan.size() - 13, 0x12, 0xFF},
      {&scan, 7, 1, 0x05, 0xFF},    {&scan, scan.size() - 2, 2, 0xFF, 0xD9},
      {&mask, 0, 10, 0x11, 0xFF},
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(stress_seconds());
  std::atomic<bool> stop{false};
  std::atomic<long> calls{0}, bad{0};
  std::thread changer([&] {
    std::mt19937 rng(11);
    while (!stop.load(std::memory_order_relaxed)) {
      for (const Flip& f : flips) {
        volatile uint8_t* p = f.input->data() + f.at;
        const size_t n = rng() % 2 == 0 ? 1 : f.count;
        const size_t from = rng() % (f.count - n + 1);
        const uint8_t value = rng() % 2 == 0 ? f.a : f.b;
        for (size_t i = from; i < from + n; ++i) p[i] = value;
      }
    }
  });
  while (std::chrono::steady_clock::now() < deadline) {
    for (Bytes* in : {&segment, &scan}) {
      int32_t size = -1;
      uint8_t* out = repair_jpeg(in->data(), static_cast<int32_t>(in->size()), &size);
      if (out == nullptr ? size != 0 : size <= 0 || size > 2 * static_cast<int32_t>(in->size()) + 1)
        ++bad;
      free_jpeg_buffer(out);
      ++calls;
    }
    int32_t size = -1;
    uint8_t* out = decode_mask(mask.data(), static_cast<int32_t>(mask.size()), 40, 30, &size);
    if (out == nullptr ? size != 0 : size != 40 * 30 * 4) ++bad;
    free_mask_buffer(out);
    ++calls;
  }
  stop = true;
  changer.join();
  EXPECT_EQ(bad.load(), 0) << "of " << calls.load() << " calls";
}

#if defined(__linux__)
// The VmFlags line of the mapping that holds `p`, from /proc/self/smaps.
std::string vm_flags_of(const void* p) {
  FILE* smaps = std::fopen("/proc/self/smaps", "r");
  if (smaps == nullptr) return "";
  const auto at = reinterpret_cast<uintptr_t>(p);
  char line[512];
  bool inside = false;
  std::string flags;
  while (std::fgets(line, sizeof line, smaps) != nullptr) {
    unsigned long start = 0, end = 0;
    if (std::sscanf(line, "%lx-%lx ", &start, &end) == 2 &&
        std::strchr(line, '-') < std::strchr(line, ' ')) {
      inside = start <= at && at < end;
    } else if (inside && std::strncmp(line, "VmFlags:", 8) == 0) {
      flags = line + 8;
      break;
    }
  }
  std::fclose(smaps);
  return flags;
}

// A large result (32 MiB and more: always a fresh mapping) is advised for
// transparent huge pages, so it faults in 2 MiB at a time; a small one, from
// the heap, is not. Either way it is released normally.
TEST(Memory, LargeResultsAreAdvisedForHugePages) {
  if (test_emulator() == "qemu") GTEST_SKIP() << "qemu-user shows its own mappings, not the guest's";
  if (std::fopen("/sys/kernel/mm/transparent_hugepage/enabled", "r") == nullptr) {
    GTEST_SKIP() << "no transparent huge pages in this kernel";
  }
  const uint8_t stream[] = {0x11, 0x00, 0x00};
  struct Case {
    int32_t width, height;
    bool advised;
  };
  for (const Case& c : {Case{4096, 2048, true}, Case{4096, 2047, false}, Case{64, 64, false}}) {
    int32_t size = -1;
    uint8_t* out = decode_mask(stream, 3, c.width, c.height, &size);
    ASSERT_NE(out, nullptr);
    const std::string flags = vm_flags_of(out);
    ASSERT_FALSE(flags.empty());
    EXPECT_EQ(flags.find(" hg") != std::string::npos, c.advised)
        << c.width << "x" << c.height << ": " << flags;
    free_mask_buffer(out);
  }
  // A JPEG result that reaches the size only by growing (an all-FF scan
  // doubles) is advised too, like one sized so from the start.
  for (const size_t scan : {size_t{17} << 20, size_t{40} << 20}) {
    Bytes stored = hex("FF D8 FF A0 FF DA 00 05 01 01 00");
    stored.resize(stored.size() + scan, 0xFF);
    stored.insert(stored.end(), {0xFF, 0xD9});
    int32_t size = -1;
    uint8_t* out = repair_jpeg(stored.data(), static_cast<int32_t>(stored.size()), &size);
    ASSERT_NE(out, nullptr);
    EXPECT_NE(vm_flags_of(out).find(" hg"), std::string::npos) << (scan >> 20) << " MiB of FF";
    free_jpeg_buffer(out);
  }
}
#endif

#if !MASKJPEG_TEST_UNDER_SANITIZER && defined(__GLIBC__)
// Bytes the allocator has handed out and not got back.
size_t heap_in_use() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// Runs `body` in a child process whose address space is capped at what it
// uses now plus `headroom`, so that large allocations fail; the cap does not
// reach the test runner. Returns the child's exit status, which is 5 when
// `body` left memory allocated: a failure path that did not free all it took.
int with_address_space_cap(size_t headroom, int (*body)(void*), void* arg) {
  const pid_t child = fork();
  if (child == -1) return -1;
  if (child == 0) {
    long pages = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr || std::fscanf(statm, "%ld", &pages) != 1) _exit(3);
    std::fclose(statm);
    const rlim_t cap =
        static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom;
    const rlimit limit = {cap, cap};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
    const size_t before = heap_in_use();
    const int status = body(arg);
    _exit(status != 0 ? status : heap_in_use() != before ? 5 : 0);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// After each refused allocation the calls still work: a small mask decodes.
int small_call_works() {
  int32_t size = -1;
  uint8_t* out =
      decode_mask(kFiveByThree.data(), static_cast<int32_t>(kFiveByThree.size()), 5, 3, &size);
  const bool ok = out != nullptr && size == 60;
  free_mask_buffer(out);
  return ok ? 0 : 4;
}

// With too little address space left for a result or a work buffer, each
// call fails cleanly (null and 0), frees what it did allocate, and the
// process goes on working.
TEST(Memory, AllocationFailureFailsTheCall) {
  MASKJPEG_SKIP_UNDER_QEMU("a forked child (and it ignores RLIMIT_AS)");
  constexpr size_t kMiB = size_t{1} << 20;
  // A 65536 x 8191 mask is a 2 GiB result.
  EXPECT_EQ(with_address_space_cap(
                256 * kMiB,
                [](void*) {
                  const uint8_t stream[] = {0x11, 0x00, 0x00};
                  int32_t size = -1;
                  uint8_t* out = decode_mask(stream, 3, 1 << 16, (1 << 13) - 1, &size);
                  if (out != nullptr || size != 0) return 1;
                  return small_call_works();
                },
                nullptr),
            0);

  // A 64 MiB stored JPEG whose result (as large) cannot be allocated, and
  // one whose scan is all FF: its first buffer (the input's size and a
  // little) fits, but growing it to twice the input does not.
  struct Case {
    size_t scan_bytes;
    uint8_t scan_byte;
    size_t headroom;
  };
  for (const Case& c : {Case{64 * kMiB, 0x00, 32 * kMiB}, Case{64 * kMiB, 0xFF, 96 * kMiB}}) {
    Bytes stored = hex("FF D8 FF A0 FF DA 00 05 01 01 00");
    stored.resize(stored.size() + c.scan_bytes, c.scan_byte);
    stored.insert(stored.end(), {0xFF, 0xD9});
    EXPECT_EQ(with_address_space_cap(
                  c.headroom,
                  [](void* arg) {
                    const Bytes& in = *static_cast<const Bytes*>(arg);
                    int32_t size = -1;
                    uint8_t* out = repair_jpeg(in.data(), static_cast<int32_t>(in.size()), &size);
                    if (out != nullptr || size != 0) return 1;
                    return small_call_works();
                  },
                  &stored),
              0)
        << c.scan_bytes / kMiB << " MiB scan of " << int{c.scan_byte};
  }
}
#endif

}  // namespace
