// repair_jpeg against its floor: malloc + memcpy + free of a buffer the
// result's size. Stored images with random scans (about one byte in 256 is
// FF) are held to 1.5x with the SIMD kernels (2x at 1 and 16 MiB with the
// portable ones), all-FF scans to 3x (4x). Scans where every byte is FF at
// even odds, the worst case for kernels that work FF by FF, are reported
// without a target.
//
// The SIMD kernels' speed depends on where the result lies relative to the
// input, modulo 4 KiB (loads of the input seem to wait on stores to the
// result that match them in their low address bits), and the slow
// placements are not the same from run to run. The plain cases take
// whatever the allocator gives; the half_page case places the input so
// that the two scans start half a page apart, most often a fast placement,
// and is reported without a target.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "maskjpeg.h"
#include "ratio_table.h"

namespace {

struct JpegCase {
  const char* label;
  size_t scan_bytes;
  enum { kRandom, kAllFF, kHalfFF } scan;
  bool half_page_apart;    // input placed half a page from the result
  double target;           // with SIMD kernels; 0: reported without a target
  double portable_target;  // with the portable ones
};
const JpegCase kCases[] = {
    {"64KiB", size_t{64} << 10, JpegCase::kRandom, false, 1.5, 0},
    {"64KiB_half_page_apart", size_t{64} << 10, JpegCase::kRandom, true, 0, 0},
    {"1MiB", size_t{1} << 20, JpegCase::kRandom, false, 1.5, 2.0},
    {"16MiB", size_t{16} << 20, JpegCase::kRandom, false, 1.5, 2.0},
    {"1MiB_all_FF", size_t{1} << 20, JpegCase::kAllFF, false, 3.0, 4.0},
    {"16MiB_all_FF", size_t{16} << 20, JpegCase::kAllFF, false, 3.0, 4.0},
    {"1MiB_half_FF", size_t{1} << 20, JpegCase::kHalfFF, false, 0, 0},
};

bool portable_kernels() {
#if defined(__x86_64__)
  return std::strcmp(MASKJPEG_BENCH_FAMILY, "portable") == 0;
#else
  return true;
#endif
}

// SOI, FF A0, a DQT-sized segment, the shortened three-component scan
// header, the unstuffed scan, EOI.
std::vector<uint8_t> make_stored(const JpegCase& c) {
  std::vector<uint8_t> s = {0xFF, 0xD8, 0xFF, 0xA0, 0xFF, 0xDB, 0x00, 0x43};
  s.resize(s.size() + 0x41, 0x10);
  const uint8_t sos[] = {0xFF, 0xDA, 0x00, 0x09, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11};
  s.insert(s.end(), sos, sos + sizeof sos);
  std::mt19937_64 rng(c.scan_bytes);
  const size_t start = s.size();
  s.resize(start + c.scan_bytes, 0xFF);
  if (c.scan == JpegCase::kRandom) {
    for (size_t i = start; i < s.size(); i += 8) {
      const uint64_t v = rng();
      std::memcpy(&s[i], &v, std::min<size_t>(8, s.size() - i));
    }
  } else if (c.scan == JpegCase::kHalfFF) {
    for (size_t i = start; i < s.size(); ++i) {
      const uint64_t v = rng();
      if (v & 1) s[i] = static_cast<uint8_t>(v >> 8 & 0x7F);  // anything but FF
    }
  }
  s.insert(s.end(), {0xFF, 0xD9});
  return s;
}

int32_t repaired_size(const std::vector<uint8_t>& stored) {
  int32_t size = 0;
  free_jpeg_buffer(repair_jpeg(stored.data(), static_cast<int32_t>(stored.size()), &size));
  return size;
}

constexpr size_t kPage = 4096;

// Where the scan starts in the stored image and in its repair: the repair
// drops the FF A0 and adds three bytes to the scan header.
constexpr size_t kStoredScanStart = 8 + 0x41 + 11;
constexpr size_t kRepairedScanStart = kStoredScanStart - 2 + 3;

void bm_repair_jpeg(benchmark::State& state, JpegCase c) {
  const std::vector<uint8_t> stored = make_stored(c);
  const auto n = static_cast<int32_t>(stored.size());
  std::vector<uint8_t> room;  // the placed copy of the input, if any
  const uint8_t* input = stored.data();
  if (c.half_page_apart) {
    room.resize(stored.size() + kPage);
    // The allocator hands the same block back on every call: find it, then
    // copy the input to where its scan starts half a page from the result's.
    int32_t size = 0;
    uint8_t* probe = repair_jpeg(input, n, &size);
    const auto result_scan = reinterpret_cast<uintptr_t>(probe) + kRepairedScanStart;
    free_jpeg_buffer(probe);
    const auto base = reinterpret_cast<uintptr_t>(room.data()) + kStoredScanStart;
    const size_t offset = (result_scan - kPage / 2 - base) % kPage;
    std::memcpy(room.data() + offset, stored.data(), stored.size());
    input = room.data() + offset;
    uint8_t* again = repair_jpeg(input, n, &size);
    free_jpeg_buffer(again);
    if (again != probe) state.SkipWithError("the result moved; the placement does not hold");
  }
  for (auto _ : state) {
    int32_t size = 0;
    uint8_t* out = repair_jpeg(input, n, &size);
    if (out == nullptr) state.SkipWithError("repair_jpeg failed");
    benchmark::DoNotOptimize(out);
    free_jpeg_buffer(out);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(stored.size()));
}

void bm_floor_memcpy(benchmark::State& state, JpegCase c) {
  const std::vector<uint8_t> source(static_cast<size_t>(repaired_size(make_stored(c))), 0x5A);
  for (auto _ : state) {
    auto* out = static_cast<uint8_t*>(std::malloc(source.size()));
    benchmark::DoNotOptimize(out);
    std::memcpy(out, source.data(), source.size());
    benchmark::ClobberMemory();
    std::free(out);
  }
}

// The same copy into a buffer faulted in once.
void bm_warm_memcpy(benchmark::State& state, JpegCase c) {
  const std::vector<uint8_t> source(static_cast<size_t>(repaired_size(make_stored(c))), 0x5A);
  std::vector<uint8_t> out(source.size(), 1);
  for (auto _ : state) {
    std::memcpy(out.data(), source.data(), source.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}

int register_jpeg_benchmarks() {
  for (const JpegCase& c : kCases) {
    const std::string repair = std::string("repair_jpeg/") + c.label;
    const std::string floor = std::string("floor_malloc_memcpy_free/") + c.label;
    benchmark::RegisterBenchmark(repair.c_str(), bm_repair_jpeg, c);
    benchmark::RegisterBenchmark(floor.c_str(), bm_floor_memcpy, c);
    const std::string warm = std::string("warm_memcpy/") + c.label;
    benchmark::RegisterBenchmark(warm.c_str(), bm_warm_memcpy, c);
    ratio_rows().push_back({std::string("repair_jpeg ") + c.label,
                            repair,
                            {floor},
                            {warm},
                            portable_kernels() ? c.portable_target : c.target});
  }
  return 0;
}

const int registered = register_jpeg_benchmarks();

}  // namespace
