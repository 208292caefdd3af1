// decode_mask against its floors: (a) bare lzo1x_decompress_safe of the same
// stream into a fresh buffer, (b) malloc + memset + free of a buffer the
// result's size. A whole call, release included, is held to 1.25x (a)+(b),
// and the 4096x4096 case, whose result gets huge pages, to 0.45x. The warm
// floor does (a) and (b) into buffers faulted in once.
#include <benchmark/benchmark.h>
#include <lzo/lzo1x.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "maskjpeg.h"
#include "ratio_table.h"

namespace {

struct MaskCase {
  int width;
  int height;
  double target;  // 0: reported without a target
};
const MaskCase kCases[] = {{64, 64, 0}, {512, 512, 1.25}, {4096, 4096, 0.45}, {4097, 1000, 0}};

size_t packed_size(int w, int h) { return (static_cast<size_t>(w) + 3) / 4 * h; }

// Pseudo-random runs of codes, compressed with lzo1x_1.
std::vector<uint8_t> make_stream(int width, int height) {
  std::mt19937 rng(static_cast<uint32_t>(width * 31 + height));
  std::vector<uint8_t> packed(packed_size(width, height));
  int code = 0, run = 0;
  for (size_t i = 0; i < packed.size(); ++i) {
    uint8_t byte = 0;
    for (int p = 0; p < 4; ++p) {
      if (run-- <= 0) {
        code = static_cast<int>(rng() % 4);
        run = static_cast<int>(rng() % 64);
      }
      byte = static_cast<uint8_t>(byte | code << (2 * p));
    }
    packed[i] = byte;
  }
  std::vector<uint8_t> stream(packed.size() + packed.size() / 16 + 67);
  std::vector<uint8_t> work(LZO1X_1_MEM_COMPRESS);
  lzo_uint len = stream.size();
  lzo1x_1_compress(packed.data(), packed.size(), stream.data(), &len, work.data());
  stream.resize(len);
  return stream;
}

void bm_decode_mask(benchmark::State& state, MaskCase c) {
  const std::vector<uint8_t> stream = make_stream(c.width, c.height);
  for (auto _ : state) {
    int32_t size = 0;
    uint8_t* out =
        decode_mask(stream.data(), static_cast<int32_t>(stream.size()), c.width, c.height, &size);
    if (out == nullptr) state.SkipWithError("decode_mask failed");
    benchmark::DoNotOptimize(out);
    free_mask_buffer(out);
  }
  state.SetBytesProcessed(state.iterations() * int64_t{c.width} * c.height * 4);
}

void bm_floor_lzo(benchmark::State& state, MaskCase c) {
  const std::vector<uint8_t> stream = make_stream(c.width, c.height);
  const size_t size = packed_size(c.width, c.height);
  for (auto _ : state) {
    auto* out = static_cast<uint8_t*>(std::malloc(size));
    lzo_uint len = size;
    lzo1x_decompress_safe(stream.data(), stream.size(), out, &len, nullptr);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
    std::free(out);
  }
}

// The same decompression into a buffer allocated (and faulted in) once.
void bm_warm_lzo(benchmark::State& state, MaskCase c) {
  const std::vector<uint8_t> stream = make_stream(c.width, c.height);
  std::vector<uint8_t> out(packed_size(c.width, c.height), 1);
  for (auto _ : state) {
    lzo_uint len = out.size();
    lzo1x_decompress_safe(stream.data(), stream.size(), out.data(), &len, nullptr);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}

// The same fill into a buffer faulted in once: memory bandwidth alone.
void bm_warm_memset(benchmark::State& state, MaskCase c) {
  std::vector<uint8_t> out(static_cast<size_t>(c.width) * c.height * 4, 1);
  for (auto _ : state) {
    std::memset(out.data(), 0xFF, out.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}

void bm_floor_memset(benchmark::State& state, MaskCase c) {
  const size_t size = static_cast<size_t>(c.width) * c.height * 4;
  for (auto _ : state) {
    auto* out = static_cast<uint8_t*>(std::malloc(size));
    benchmark::DoNotOptimize(out);
    std::memset(out, 0xFF, size);
    benchmark::ClobberMemory();
    std::free(out);
  }
}

int register_mask_benchmarks() {
  for (const MaskCase& c : kCases) {
    const std::string dims = std::to_string(c.width) + "x" + std::to_string(c.height);
    const std::string decode = "decode_mask/" + dims;
    const std::string lzo = "floor_lzo1x_decompress_safe/" + dims;
    const std::string fill = "floor_malloc_memset_free/" + dims;
    benchmark::RegisterBenchmark(decode.c_str(), bm_decode_mask, c);
    benchmark::RegisterBenchmark(lzo.c_str(), bm_floor_lzo, c);
    benchmark::RegisterBenchmark(fill.c_str(), bm_floor_memset, c);
    const std::string warm_lzo = "warm_lzo1x_decompress_safe/" + dims;
    const std::string warm_fill = "warm_memset/" + dims;
    benchmark::RegisterBenchmark(warm_lzo.c_str(), bm_warm_lzo, c);
    benchmark::RegisterBenchmark(warm_fill.c_str(), bm_warm_memset, c);
    ratio_rows().push_back(
        {"decode_mask " + dims, decode, {lzo, fill}, {warm_lzo, warm_fill}, c.target});
  }
  return 0;
}

const int registered = register_mask_benchmarks();

}  // namespace
