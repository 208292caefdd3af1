// Build-time generator of the sample payloads embedded in the maskjpeg tool:
//  - a 256x256 smiley in the four mask codes, packed two bits a pixel and
//    compressed with lzo1x_999;
//  - a 320x240 landscape encoded by libjpeg and turned into the compact
//    stored JPEG variant.
// Both are written out as one C++ header.
#include <lzo/lzo1x.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "stored_form.h"

namespace {

constexpr int kSize = 256;

int smiley_code(int x, int y) {
  const int dx = x - 128, dy = y - 128;
  const int r2 = dx * dx + dy * dy;
  auto in_disc = [](int px, int py, int cx, int cy, int r) {
    return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= r * r;
  };
  if (r2 > 120 * 120) return 0;                                           // outside: transparent
  if (r2 > 110 * 110) return 1;                                           // rim
  if (in_disc(x, y, 88, 96, 16) || in_disc(x, y, 168, 96, 16)) return 0;  // eyes
  const int m2 = dx * dx + (y - 136) * (y - 136);
  if (y > 146 && m2 >= 54 * 54 && m2 <= 66 * 66) return 2;  // smile
  return 3;                                                 // face
}

constexpr int kPhotoWidth = 320;
constexpr int kPhotoHeight = 240;

struct Rgb {
  int r, g, b;
};

// A house on a green hill under a blue sky with a sun.
Rgb landscape(int x, int y) {
  const double hill = 165 + 18 * std::sin(x / 40.0) + 8 * std::sin(x / 13.0 + 1);
  const int sx = x - 250, sy = y - 55;
  if (sx * sx + sy * sy < 26 * 26) return {255, 214, 40};  // sun
  // House: walls, door, window and a triangular roof.
  if (x >= 70 && x < 150 && y >= 130 && y < 190) {
    if (x >= 100 && x < 120 && y >= 155) return {90, 50, 20};                // door
    if (x >= 125 && x < 142 && y >= 140 && y < 155) return {170, 220, 255};  // window
    return {200, 60, 45};                                                    // walls
  }
  if (y >= 95 && y < 130 && std::abs(x - 110) < (y - 95) * 50 / 35) return {110, 40, 30};  // roof
  if (y >= hill) {
    const int shade = static_cast<int>((y - hill) * 0.6);
    return {40, 150 - shade / 2, 50};
  }
  return {90 + y / 3, 150 + y / 4, 235};  // sky, lighter towards the horizon
}

std::vector<uint8_t> encode_landscape() {
  std::vector<uint8_t> rgb;
  rgb.reserve(kPhotoWidth * kPhotoHeight * 3);
  for (int y = 0; y < kPhotoHeight; ++y) {
    for (int x = 0; x < kPhotoWidth; ++x) {
      const Rgb c = landscape(x, y);
      rgb.insert(rgb.end(),
                 {static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.b)});
    }
  }
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);  // errors here end the build step
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = kPhotoWidth;
  cinfo.image_height = kPhotoHeight;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 85, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = rgb.data() + static_cast<size_t>(cinfo.next_scanline) * kPhotoWidth * 3;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> jpeg(buffer, buffer + size);
  std::free(buffer);
  return stored_form::to_stored_form(jpeg);
}

void write_array(FILE* out, const char* name, const std::vector<uint8_t>& bytes) {
  std::fprintf(out, "inline constexpr unsigned char %s[] = {", name);
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::fprintf(out, "%s0x%02X,", i % 16 == 0 ? "\n  " : " ", bytes[i]);
  }
  std::fprintf(out, "\n};\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_samples OUT.h\n");
    return 2;
  }
  const int stride = (kSize + 3) / 4;
  std::vector<uint8_t> packed(static_cast<size_t>(stride) * kSize, 0);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      packed[static_cast<size_t>(y * stride + x / 4)] |=
          static_cast<uint8_t>(smiley_code(x, y) << (2 * (x % 4)));
    }
  }
  std::vector<uint8_t> compressed(packed.size() + packed.size() / 16 + 67);
  std::vector<uint8_t> work(LZO1X_999_MEM_COMPRESS);
  lzo_uint len = compressed.size();
  if (lzo_init() != LZO_E_OK || lzo1x_999_compress(packed.data(), packed.size(), compressed.data(),
                                                   &len, work.data()) != LZO_E_OK) {
    std::fprintf(stderr, "make_demo_samples: compression failed\n");
    return 1;
  }
  compressed.resize(len);
  const std::vector<uint8_t> stored_photo = encode_landscape();
  if (stored_photo.empty()) {
    std::fprintf(stderr, "make_demo_samples: the sample JPEG has no stored form\n");
    return 1;
  }

  FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(out,
               "// Written by tools/make_demo_samples.cpp (make demo-samples); do not edit.\n"
               "#pragma once\n");
  std::fprintf(out, "inline constexpr int kDemoMaskWidth = %d;\n", kSize);
  std::fprintf(out, "inline constexpr int kDemoMaskHeight = %d;\n", kSize);
  write_array(out, "kDemoMask", compressed);
  std::fprintf(out, "inline constexpr int kDemoPhotoWidth = %d;\n", kPhotoWidth);
  std::fprintf(out, "inline constexpr int kDemoPhotoHeight = %d;\n", kPhotoHeight);
  write_array(out, "kDemoStoredPhoto", stored_photo);
  return std::fclose(out) == 0 ? 0 : 1;
}
