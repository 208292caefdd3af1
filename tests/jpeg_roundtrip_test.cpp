// repair_jpeg checked by a real decoder: libjpeg encodes images in many
// settings, the test turns each into the stored form, repairs it, and
// requires the original stream back byte for byte (less APPn/COM) and the
// same pixels from libjpeg's decoder with no warning.
#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <ostream>
#include <random>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "maskjpeg.h"
#include "stored_form.h"
#include "test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct ErrorTrap {
  jpeg_error_mgr mgr;
  jmp_buf jump;
  int warnings = 0;
};

void trap_error(j_common_ptr cinfo) { longjmp(reinterpret_cast<ErrorTrap*>(cinfo->err)->jump, 1); }

// libjpeg reports recoverable damage (a premature end, a bad marker length)
// as warnings, level -1; count them instead of printing.
void count_warning(j_common_ptr cinfo, int level) {
  if (level < 0) ++reinterpret_cast<ErrorTrap*>(cinfo->err)->warnings;
}

enum class Sampling { k420, k422, k444, kGray };

struct Settings {
  int width, height;
  Sampling sampling;
  int quality;
  bool optimize;
};

std::string describe(const Settings& s) {
  static const char* const kNames[] = {"420", "422", "444", "gray"};
  return std::to_string(s.width) + "x" + std::to_string(s.height) + "_" +
         kNames[static_cast<int>(s.sampling)] + "_q" + std::to_string(s.quality) +
         (s.optimize ? "_opt" : "");
}

// gtest prints parameters; without this it would dump the struct's bytes,
// padding included.
std::ostream& operator<<(std::ostream& os, const Settings& s) { return os << describe(s); }

// A picture with smooth areas, edges and noise, so the scan holds plenty
// of FF bytes.
Bytes make_pixels(const Settings& s) {
  const int components = s.sampling == Sampling::kGray ? 1 : 3;
  std::mt19937 rng(static_cast<uint32_t>(s.width * 131 + s.height));
  Bytes pixels(static_cast<size_t>(s.width) * s.height * components);
  size_t i = 0;
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      for (int c = 0; c < components; ++c) {
        const int edge = ((x / 9 + y / 7) % 2) * 90;
        pixels[i++] = static_cast<uint8_t>(
            (x * (c + 1) + y * 2 + edge + static_cast<int>(rng() % 24)) & 0xFF);
      }
    }
  }
  return pixels;
}

struct EncodeOptions {
  bool jfif = true;
  bool adobe = false;
  bool progressive = false;
  bool exif = false;
  int restart_rows = 0;  // a restart marker every this many MCU rows
};

Bytes encode(const Settings& s, const Bytes& pixels, EncodeOptions opt = {}) {
  jpeg_compress_struct cinfo;
  ErrorTrap trap;
  cinfo.err = jpeg_std_error(&trap.mgr);
  trap.mgr.error_exit = trap_error;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(trap.jump)) {
    jpeg_destroy_compress(&cinfo);
    free(buffer);
    ADD_FAILURE() << "libjpeg could not encode " << describe(s);
    return {};
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(s.width);
  cinfo.image_height = static_cast<JDIMENSION>(s.height);
  const bool gray = s.sampling == Sampling::kGray;
  cinfo.input_components = gray ? 1 : 3;
  cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, s.quality, TRUE);
  cinfo.optimize_coding = s.optimize ? TRUE : FALSE;
  cinfo.write_JFIF_header = opt.jfif ? TRUE : FALSE;
  cinfo.write_Adobe_marker = opt.adobe ? TRUE : FALSE;
  if (!gray) {
    const int h = s.sampling == Sampling::k444 ? 1 : 2;
    const int v = s.sampling == Sampling::k420 ? 2 : 1;
    cinfo.comp_info[0].h_samp_factor = h;
    cinfo.comp_info[0].v_samp_factor = v;
  }
  if (opt.progressive) jpeg_simple_progression(&cinfo);
  cinfo.restart_in_rows = opt.restart_rows;
  jpeg_start_compress(&cinfo, TRUE);
  if (opt.exif) {
    static const JOCTET kExif[] = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, kExif, sizeof kExif);
  }
  jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>("maskjpeg test"), 13);
  const int row_bytes = s.width * cinfo.input_components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row =
        const_cast<JSAMPROW>(pixels.data() + static_cast<size_t>(cinfo.next_scanline) * row_bytes);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  free(buffer);
  return out;
}

struct Decoded {
  bool ok = false;
  int warnings = 0;
  Bytes pixels;
};

Decoded decode_jpeg(const Bytes& jpeg) {
  jpeg_decompress_struct cinfo;
  ErrorTrap trap;
  cinfo.err = jpeg_std_error(&trap.mgr);
  trap.mgr.error_exit = trap_error;
  trap.mgr.emit_message = count_warning;
  Decoded result;
  if (setjmp(trap.jump)) {
    jpeg_destroy_decompress(&cinfo);
    result.ok = false;
    return result;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  const size_t row_bytes = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
  result.pixels.resize(row_bytes * cinfo.output_height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = result.pixels.data() + cinfo.output_scanline * row_bytes;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  result.ok = true;
  result.warnings = trap.warnings;
  return result;
}

class JpegRoundTrip : public ::testing::TestWithParam<Settings> {};

TEST_P(JpegRoundTrip, StoredFormRepairsToTheOriginal) {
  const Settings s = GetParam();
  const Bytes original = encode(s, make_pixels(s));
  ASSERT_FALSE(original.empty());
  const Bytes stored = stored_form::to_stored_form(original);
  ASSERT_FALSE(stored.empty());
  ASSERT_NE(stored, original);

  const Bytes repaired = repair(stored);
  EXPECT_EQ(repaired, stored_form::without_app_segments(original));

  const Decoded want = decode_jpeg(original);
  const Decoded got = decode_jpeg(repaired);
  ASSERT_TRUE(want.ok);
  ASSERT_TRUE(got.ok);
  EXPECT_EQ(got.warnings, 0);
  EXPECT_EQ(got.pixels, want.pixels);
}

std::vector<Settings> round_trip_settings() {
  std::vector<Settings> all;
  const struct {
    int w, h;
  } sizes[] = {{1, 1}, {7, 5}, {16, 16}, {33, 17}, {640, 480}, {1024, 768}};
  for (auto size : sizes) {
    for (Sampling sampling : {Sampling::k420, Sampling::k422, Sampling::k444, Sampling::kGray}) {
      for (int quality : {30, 75, 100}) {
        for (bool optimize : {false, true}) {
          all.push_back({size.w, size.h, sampling, quality, optimize});
        }
      }
    }
  }
  return all;
}

INSTANTIATE_TEST_SUITE_P(Encoder, JpegRoundTrip, ::testing::ValuesIn(round_trip_settings()),
                         [](const auto& info) { return describe(info.param); });

// Standard streams of every common kind come back byte for byte, and stay
// decodable without warnings.
TEST(RepairJpeg, StandardStreamsPassUnchanged) {
  const Settings s = {97, 61, Sampling::k420, 85, false};
  const Bytes pixels = make_pixels(s);
  const struct {
    const char* what;
    EncodeOptions options;
  } kinds[] = {
      {"JFIF", {}},
      {"no APPn", {false, false, false, false}},
      {"Exif", {false, false, false, true}},
      {"Adobe", {false, true, false, false}},
      {"progressive JFIF", {true, false, true, false}},
      {"progressive without APPn", {false, false, true, false}},
  };
  for (const auto& kind : kinds) {
    const Bytes standard = encode(s, pixels, kind.options);
    ASSERT_FALSE(standard.empty()) << kind.what;
    EXPECT_EQ(repair(standard), standard) << kind.what;
  }
}

// Restart markers cannot be told apart from data in a stored scan: without
// byte stuffing, a data FF followed by a byte D0-D7 reads just like a
// restart marker. The repair treats them as data, as it must for every
// stream that has no DRI, so a stored image with a restart interval comes
// out with FF 00 Dn where its encoder wrote FF Dn. A decoder then finds no
// restart marker where it expects one: libjpeg warns, decodes the first
// interval exactly and the rest wrongly. This shows what a caller gets.
TEST(RepairJpeg, RestartMarkersInAStoredScanBecomeData) {
  const Settings s = {64, 64, Sampling::k444, 75, false};
  EncodeOptions with_restarts;
  with_restarts.restart_rows = 1;  // 8 pixel rows an interval
  const Bytes original = encode(s, make_pixels(s), with_restarts);
  const Bytes stored = stored_form::to_stored_form(original, /*keep_restart_markers=*/true);
  ASSERT_FALSE(stored.empty());
  const Bytes repaired = repair(stored);
  ASSERT_FALSE(repaired.empty());
  const Bytes rst0_as_data = hex("FF 00 D0");
  EXPECT_NE(std::search(repaired.begin(), repaired.end(), rst0_as_data.begin(), rst0_as_data.end()),
            repaired.end());

  const Decoded want = decode_jpeg(original);
  const Decoded got = decode_jpeg(repaired);
  ASSERT_TRUE(want.ok);
  ASSERT_TRUE(got.ok);  // decodes, with warnings
  EXPECT_GT(got.warnings, 0);
  const size_t interval_bytes = size_t{8} * 64 * 3;  // the first 8 rows
  EXPECT_TRUE(
      std::equal(want.pixels.begin(), want.pixels.begin() + interval_bytes, got.pixels.begin()));
  EXPECT_NE(got.pixels, want.pixels);
}

}  // namespace

namespace {

// The round trip's "no warning" would prove nothing if warnings went
// uncounted: a stream cut before its EOI must show one.
TEST(RepairJpeg, WarningCounterSeesACutStream) {
  const Settings s = {64, 64, Sampling::k444, 75, false};
  Bytes cut = encode(s, make_pixels(s));
  cut.resize(cut.size() - 2);
  const Decoded d = decode_jpeg(cut);
  ASSERT_TRUE(d.ok);
  EXPECT_GT(d.warnings, 0);
}

}  // namespace
