// Writes the seed corpora of the fuzz targets: OUT/decode_mask/*,
// OUT/repair_jpeg/* and OUT/cli_payload/* (the other two again, in the
// CLI target's layout, and payloads that only the CLI's reading cares for). Small files, one per
// kind of input the targets should start from: mask streams made by liblzo2's compressors (good,
// ending early, cut, corrupt) and JPEGs encoded by libjpeg and turned into the stored variant,
// beside hand-made marker streams. usage: make_fuzz_seeds OUT
#include <lzo/lzo1x.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "stored_form.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

void write(const fs::path& dir, const std::string& name, const Bytes& bytes) {
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", (dir / name).string().c_str());
    std::exit(1);
  }
}

Bytes read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes hex(const char* text) {
  Bytes bytes;
  for (const char* p = text; p[0] != '\0' && p[1] != '\0'; p += p[2] == ' ' ? 3 : 2)
    bytes.push_back(static_cast<uint8_t>(std::stoul(std::string(p, 2), nullptr, 16)));
  return bytes;
}

// A packed mask of runs of the four codes, row after row.
Bytes run_mask(int width, int height) {
  const size_t stride = (static_cast<size_t>(width) + 3) / 4;
  Bytes packed(stride * static_cast<size_t>(height), 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int code = ((x / 6) ^ (y / 4)) & 3;
      packed[static_cast<size_t>(y) * stride + static_cast<size_t>(x) / 4] |=
          static_cast<uint8_t>(code << (2 * (x % 4)));
    }
  return packed;
}

Bytes compress(const Bytes& packed, bool best) {
  Bytes out(packed.size() + packed.size() / 16 + 64 + 3);
  std::vector<unsigned char> work(best ? LZO1X_999_MEM_COMPRESS : LZO1X_1_MEM_COMPRESS);
  lzo_uint size = out.size();
  const int status =
      best ? lzo1x_999_compress(packed.data(), packed.size(), out.data(), &size, work.data())
           : lzo1x_1_compress(packed.data(), packed.size(), out.data(), &size, work.data());
  if (status != LZO_E_OK) std::exit(1);
  out.resize(size);
  return out;
}

// The target's input: width - 1 and height - 1 as 16-bit little-endian
// numbers, then the stream.
Bytes mask_input(int width, int height, const Bytes& stream) {
  Bytes in(4 + stream.size());
  in[0] = static_cast<uint8_t>(width - 1);
  in[2] = static_cast<uint8_t>(height - 1);
  std::copy(stream.begin(), stream.end(), in.begin() + 4);
  return in;
}

Bytes encode_jpeg(int width, int height, int components) {
  Bytes pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c)
        pixels.push_back(static_cast<uint8_t>((x * 37 + y * 11 + c * 90) ^ (x * y)));
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = pixels.data() + static_cast<size_t>(cinfo.next_scanline) *
                                       static_cast<size_t>(width * components);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes jpeg(buffer, buffer + size);
  std::free(buffer);
  return jpeg;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds OUT\n");
    return 2;
  }
  if (lzo_init() != LZO_E_OK) return 1;
  const fs::path out(argv[1]);

  const fs::path masks = out / "decode_mask";
  write(masks, "one_pixel", mask_input(1, 1, hex("12 03 11 00 00")));
  write(masks, "five_by_three", mask_input(5, 3, hex("17 E4 03 1B 02 FF FE 11 00 00")));
  write(masks, "end_marker_only_64x64", mask_input(64, 64, hex("11 00 00")));
  for (int width : {3, 9}) {
    write(masks, "runs_" + std::to_string(width) + "x7_lzo1x_1",
          mask_input(width, 7, compress(run_mask(width, 7), false)));
  }
  const Bytes runs = compress(run_mask(33, 37), false);
  write(masks, "runs_33x37_lzo1x_1", mask_input(33, 37, runs));
  write(masks, "runs_64x100_lzo1x_999", mask_input(64, 100, compress(run_mask(64, 100), true)));
  // The 33x37 stream for a taller mask ends early; cut, it fails.
  write(masks, "ends_early_33x50", mask_input(33, 50, runs));
  write(masks, "cut_33x37", mask_input(33, 37, Bytes(runs.begin(), runs.begin() + 20)));
  Bytes corrupt = runs;
  corrupt[12] ^= 0x40;
  write(masks, "corrupt_33x37", mask_input(33, 37, corrupt));

  const fs::path jpegs = out / "repair_jpeg";
  write(jpegs, "soi_eoi", hex("FF D8 FF D9"));
  write(jpegs, "fill_bytes", hex("FF FF FF D8 FF D9"));
  write(jpegs, "not_jpeg", hex("00 01 02 03 04"));
  write(jpegs, "cut_segment", hex("FF D8 FF DB 00 10 01 02"));
  write(jpegs, "stored_three_components",
        hex("FF D8 FF A0 FF DA 00 09 03 01 00 02 11 03 11 12 FF 34 FF D9"));
  write(jpegs, "stored_no_a0", hex("FF D8 FF DA 00 09 03 01 00 02 11 03 11 12 FF 34"));
  write(jpegs, "stored_length_2", hex("FF D8 FF DA 00 02 12 FF 34 FF D9"));
  write(jpegs, "standard_scan",
        hex("FF D8 FF DA 00 0C 03 01 00 02 11 03 11 00 3F 00 12 FF 00 34 FF D9"));
  write(jpegs, "segments",
        hex("FF D8 FF A0 FF DB 00 04 01 02 FF C4 00 03 05 FF C0 00 05 08 00 FF FE 00 04 41 42 "
            "FF DA 00 05 01 01 00 FF FF 00 FF D9"));
  // Runs of FF of many lengths, up to a few blocks of the wide kernels.
  Bytes ff_runs = hex("FF D8 FF A0 FF DA 00 09 03 01 00 02 11 03 11");
  for (int run : {1, 2, 3, 7, 63, 64, 65, 130, 1, 200}) {
    ff_runs.insert(ff_runs.end(), static_cast<size_t>(run), 0xFF);
    for (int i = 0; i < run % 50 + 1; ++i) ff_runs.push_back(static_cast<uint8_t>(i * 29 + run));
  }
  ff_runs.insert(ff_runs.end(), {0xFF, 0xD9});
  write(jpegs, "stored_scan_ff_runs", ff_runs);
  // FF bytes close together (every second and third byte, then at even
  // odds): the kernels' paths that stuff several FF bytes a step.
  Bytes dense_ff = hex("FF D8 FF A0 FF DA 00 09 03 01 00 02 11 03 11");
  uint32_t state = 1;
  for (int i = 0; i < 600; ++i) {
    state = state * 1103515245u + 12345u;
    const bool ff = i < 200 ? i % 2 == 0 : i < 400 ? i % 3 == 0 : (state >> 16) % 2 == 0;
    dense_ff.push_back(ff ? 0xFF : static_cast<uint8_t>(state >> 24 & 0x7F));
  }
  dense_ff.insert(dense_ff.end(), {0xFF, 0xD9});
  write(jpegs, "stored_scan_dense_ff", dense_ff);
  const Bytes color = encode_jpeg(24, 16, 3);
  write(jpegs, "jfif_24x16", color);
  write(jpegs, "stored_24x16_color", stored_form::to_stored_form(color));
  write(jpegs, "stored_16x16_gray", stored_form::to_stored_form(encode_jpeg(16, 16, 1)));

  // The CLI target: width and height bytes, then the payload.
  const fs::path cli = out / "cli_payload";
  for (const auto& entry : fs::directory_iterator(masks)) {
    const Bytes seed = read(entry.path());
    if (seed.size() < 5) continue;
    Bytes cli_seed = {seed[0], seed[2]};
    cli_seed.insert(cli_seed.end(), seed.begin() + 4, seed.end());
    write(cli, "mask_" + entry.path().filename().string(), cli_seed);
  }
  for (const auto& entry : fs::directory_iterator(jpegs)) {
    Bytes cli_seed = {15, 15};
    const Bytes seed = read(entry.path());
    cli_seed.insert(cli_seed.end(), seed.begin(), seed.end());
    write(cli, "jpeg_" + entry.path().filename().string(), cli_seed);
  }
  write(cli, "app0_alone", hex("0F 0F FF E0"));
  // A JPEG (SOI, a DQT, EOI) that is an LZO1X stream too: FF opens a run
  // of 238 literals, and the DQT's payload holds the end-of-stream marker
  // right after them.
  Bytes both = hex("0F 0F FF D8 FF DB 00 F0");
  both.resize(2 + 239, 0x00);
  both.insert(both.end(), {0x11, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xD9});
  write(cli, "jpeg_and_lzo", both);
  return 0;
}
