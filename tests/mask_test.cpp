// decode_mask against hand-made streams, against liblzo2's own compressors
// with a plain reference expansion, and on streams that must fail.
#include <gtest/gtest.h>
#include <lzo/lzo1x.h>

#include <cstdint>
#include <random>
#include <vector>

#include "maskjpeg.h"
#include "test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The straightforward expansion, pixel by pixel, to compare against.
Bytes reference_expand(const Bytes& packed, int width, int height) {
  static const uint8_t kAlpha[4] = {0, 1, 1, 128};
  const size_t stride = (static_cast<size_t>(width) + 3) / 4;
  Bytes rgba;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t at = static_cast<size_t>(y) * stride + static_cast<size_t>(x) / 4;
      const uint8_t byte = at < packed.size() ? packed[at] : 0;
      const int code = (byte >> (2 * (x % 4))) & 3;
      rgba.insert(rgba.end(), {0xFF, 0xFF, 0xFF, kAlpha[code]});
    }
  }
  return rgba;
}

// Pseudo-random runs of codes, as real masks have, packed row by row.
Bytes random_packed_mask(int width, int height, uint32_t seed) {
  std::mt19937 rng(seed);
  const size_t stride = (static_cast<size_t>(width) + 3) / 4;
  Bytes packed(stride * static_cast<size_t>(height), 0);
  int code = 0;
  int run = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (run-- <= 0) {
        code = static_cast<int>(rng() % 4);
        run = static_cast<int>(rng() % 40);
      }
      packed[static_cast<size_t>(y) * stride + static_cast<size_t>(x) / 4] |=
          static_cast<uint8_t>(code << (2 * (x % 4)));
    }
  }
  // Unused bit pairs at the end of a row are garbage in real payloads.
  if (width % 4 != 0) {
    for (int y = 0; y < height; ++y) {
      packed[static_cast<size_t>(y) * stride + stride - 1] |=
          static_cast<uint8_t>(0xFF << (2 * (width % 4)));
    }
  }
  return packed;
}

enum class Compressor { kFast, kBest };

Bytes compress(const Bytes& raw, Compressor which) {
  Bytes out(raw.size() + raw.size() / 16 + 64 + 3);
  std::vector<uint8_t> work(LZO1X_999_MEM_COMPRESS);
  lzo_uint out_len = out.size();
  const int r = which == Compressor::kFast
                    ? lzo1x_1_compress(raw.data(), raw.size(), out.data(), &out_len, work.data())
                    : lzo1x_999_compress(raw.data(), raw.size(), out.data(), &out_len, work.data());
  EXPECT_EQ(r, LZO_E_OK);
  out.resize(out_len);
  return out;
}

TEST(DecodeMask, SinglePixelStream) {
  const Bytes stream = {0x12, 0x03, 0x11, 0x00, 0x00};
  const Bytes expected = {0xFF, 0xFF, 0xFF, 0x80};
  EXPECT_EQ(decode(stream, 1, 1), expected);
}

TEST(DecodeMask, FiveByThreeStream) {
  const Bytes stream = {0x17, 0xE4, 0x03, 0x1B, 0x02, 0xFF, 0xFE, 0x11, 0x00, 0x00};
  const uint8_t alphas[15] = {0, 1, 1, 128, 128, 128, 1, 1, 0, 1, 128, 128, 128, 128, 1};
  Bytes expected(4 * 15, 0xFF);
  for (size_t i = 0; i < 15; ++i) expected[4 * i + 3] = alphas[i];
  EXPECT_EQ(decode(stream, 5, 3), expected);
}

struct Shape {
  int width;
  int height;
};

class MaskRoundTrip : public ::testing::TestWithParam<Shape> {};

// Streams written by both of liblzo2's LZO1X compressors decode to exactly
// the reference expansion, for widths around every multiple-of-four edge.
TEST_P(MaskRoundTrip, MatchesReferenceExpansion) {
  const Shape s = GetParam();
  const Bytes packed =
      random_packed_mask(s.width, s.height, static_cast<uint32_t>(s.width * 7919 + s.height));
  const Bytes expected = reference_expand(packed, s.width, s.height);
  for (Compressor c : {Compressor::kFast, Compressor::kBest}) {
    EXPECT_EQ(decode(compress(packed, c), s.width, s.height), expected)
        << (c == Compressor::kFast ? "lzo1x_1" : "lzo1x_999");
  }
}

std::vector<Shape> round_trip_shapes() {
  std::vector<Shape> shapes;
  for (int w : {1, 2, 3, 4, 5, 6, 7, 8, 9, 63, 64, 65}) {
    for (int h : {1, 2, 3, 17}) shapes.push_back({w, h});
  }
  for (int w : {4095, 4096, 4097}) shapes.push_back({w, 5});
  shapes.push_back({3, 4099});
  shapes.push_back({1024, 768});
  return shapes;
}

INSTANTIATE_TEST_SUITE_P(Shapes, MaskRoundTrip, ::testing::ValuesIn(round_trip_shapes()),
                         [](const auto& info) {
                           return std::to_string(info.param.width) + "x" +
                                  std::to_string(info.param.height);
                         });

TEST(DecodeMask, EarlyEndLeavesTheRestTransparent) {
  const int w = 13, h = 9;
  Bytes packed = random_packed_mask(w, h, 5);
  packed.resize(packed.size() / 3);  // the stream covers only the first rows
  const Bytes out = decode(compress(packed, Compressor::kBest), w, h);
  ASSERT_EQ(out.size(), static_cast<size_t>(w * h * 4));
  EXPECT_EQ(out, reference_expand(packed, w, h));

  // The end-of-stream marker alone is an empty mask, not an error.
  EXPECT_EQ(decode({0x11, 0x00, 0x00}, w, h), reference_expand({}, w, h));
}

TEST(DecodeMask, BytesAfterTheEndMarkerAreIgnored) {
  const Bytes packed = random_packed_mask(30, 20, 11);
  Bytes stream = compress(packed, Compressor::kFast);
  const Bytes expected = decode(stream, 30, 20);
  ASSERT_FALSE(expected.empty());
  stream.insert(stream.end(), {0x11, 0x00, 0x00, 0xDE, 0xAD, 0xBE, 0xEF});
  EXPECT_EQ(decode(stream, 30, 20), expected);
}

// Every stream the decompressor does not accept as a clean, in-bounds
// stream fails the whole call: null and size 0.
TEST(DecodeMask, BadStreamsFail) {
  const Bytes packed = random_packed_mask(40, 40, 3);
  const Bytes good = compress(packed, Compressor::kBest);
  ASSERT_GT(good.size(), 8u);

  Bytes cut(good.begin(), good.end() - 4);
  Bytes garbage(64);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 37 + 11);

  struct Case {
    const char* what;
    Bytes stream;
    int width, height;
  } cases[] = {
      {"cut short", cut, 40, 40},
      {"longer than the mask", good, 40, 39},
      {"literal run longer than a one-byte mask", {0x13, 0x01, 0x02, 0x11, 0x00, 0x00}, 1, 1},
      {"back-reference before the start", {0x12, 0x03, 0x40, 0x10, 0x11, 0x00, 0x00}, 8, 8},
      {"no end marker after a full mask", {0x12, 0x03}, 1, 1},
      {"garbage", garbage, 40, 40},
  };
  for (const Case& c : cases) {
    int32_t size = -1;
    uint8_t* out = decode_mask(c.stream.data(), static_cast<int32_t>(c.stream.size()), c.width,
                               c.height, &size);
    EXPECT_EQ(out, nullptr) << c.what;
    EXPECT_EQ(size, 0) << c.what;
    free_mask_buffer(out);
  }
}

TEST(DecodeMask, ArgumentChecksAndSizeLimit) {
  const uint8_t stream[] = {0x11, 0x00, 0x00};
  struct Case {
    const uint8_t* data;
    int32_t len, width, height;
  } cases[] = {
      {nullptr, 3, 1, 1},
      {stream, 0, 1, 1},
      {stream, -1, 1, 1},
      {stream, 3, 0, 1},
      {stream, 3, 1, 0},
      {stream, 3, -5, 1},
      {stream, 3, 1, -5},
      {stream, 3, 1 << 15, 1 << 14},      // exactly 2^29 pixels
      {stream, 3, INT32_MAX, INT32_MAX},  // would overflow 32 bits
      {stream, 3, INT32_MIN, INT32_MIN},
  };
  for (const Case& c : cases) {
    int32_t size = -1;
    EXPECT_EQ(decode_mask(c.data, c.len, c.width, c.height, &size), nullptr)
        << c.len << " " << c.width << "x" << c.height;
    EXPECT_EQ(size, 0);
  }
  // A null out_size fails without being written through.
  EXPECT_EQ(decode_mask(stream, 3, 1, 1, nullptr), nullptr);
}

TEST(DecodeMask, LargestMaskBelowTheLimit) {
  if (sizeof(void*) < 8) GTEST_SKIP() << "a 32-bit process cannot allocate the 2 GiB mask";
  const uint8_t stream[] = {0x11, 0x00, 0x00};
  int32_t size = 0;
  uint8_t* out = decode_mask(stream, 3, (1 << 29) - 1, 1, &size);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(size, INT32_MAX - 3);
  EXPECT_EQ(out[size - 1], 0);
  EXPECT_EQ(out[size - 2], 0xFF);
  free_mask_buffer(out);
}


}  // namespace
