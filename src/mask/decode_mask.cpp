// decode_mask: LZO1X stream -> packed 2-bit mask -> white RGBA pixels whose
// alpha carries the mask code.
#include <lzo/lzo1x.h>

#include <cstring>
#include <utility>

#include "../frame.h"
#include "maskjpeg.h"

namespace maskjpeg {
namespace {

// width * height * 4 must fit the signed 32-bit size out-parameter.
constexpr int64_t kPixelLimit = int64_t{1} << 29;  // 536,870,912

constexpr int kPixelBytes = 4;
constexpr int kPixelsPerByte = 4;

// One packed byte holds four pixels, the first in its two lowest bits; the
// table gives the 16 RGBA bytes those four pixels expand to, so the hot loop
// is one 16-byte copy per packed byte with no branch per pixel.
struct ExpansionTable {
  uint8_t rgba[256][kPixelsPerByte * kPixelBytes];
};

constexpr ExpansionTable make_expansion_table() {
  constexpr uint8_t kAlphaOfCode[4] = {0, 1, 1, 128};
  ExpansionTable table{};
  for (int byte = 0; byte < 256; ++byte) {
    for (int pixel = 0; pixel < kPixelsPerByte; ++pixel) {
      uint8_t* out = &table.rgba[byte][pixel * kPixelBytes];
      out[0] = out[1] = out[2] = 0xFF;
      out[3] = kAlphaOfCode[(byte >> (2 * pixel)) & 3];
    }
  }
  return table;
}

constexpr ExpansionTable kExpansion = make_expansion_table();

// Expands `count` packed bytes into 4 * count pixels.
inline void expand_bytes(const uint8_t* packed, size_t count, uint8_t* out) {
  for (size_t i = 0; i < count; ++i) {
    std::memcpy(out + i * 16, kExpansion.rgba[packed[i]], 16);
  }
}

// Expands the packed mask into the RGBA image. When the width is a multiple
// of four, rows are contiguous in both buffers and the mask is one run;
// otherwise each row's last byte contributes only its first width % 4 pixels.
void expand_mask(const uint8_t* packed, size_t width, size_t height,
                 uint8_t* out) {
  const size_t whole = width / kPixelsPerByte;
  const size_t rest = width % kPixelsPerByte;
  if (rest == 0) {
    expand_bytes(packed, whole * height, out);
    return;
  }
  for (size_t y = 0; y < height; ++y) {
    expand_bytes(packed, whole, out);
    packed += whole;
    out += whole * 16;
    std::memcpy(out, kExpansion.rgba[*packed], rest * kPixelBytes);
    packed += 1;
    out += rest * kPixelBytes;
  }
}

// Decompresses the stream into `packed`, `packed_size` bytes, zero-filling
// whatever an early end-of-stream leaves unwritten. Only a stream that ends
// cleanly inside the buffer is accepted: one cut short, one longer than the
// mask (the decompressor stops before the run that does not fit, so the tail
// could not be trusted) or a corrupt one fails. Trailing bytes after the end
// marker are ignored.
bool decompress_mask(const uint8_t* data, int32_t data_len, uint8_t* packed,
                     size_t packed_size) {
  // lzo_init() only checks that this build's type sizes match the library's;
  // it writes no global state and costs a few compares.
  if (lzo_init() != LZO_E_OK) return false;
  lzo_uint written = packed_size;
  // The decompressor's prototype lacks const on its source; it only reads.
  const int status = lzo1x_decompress_safe(
      const_cast<uint8_t*>(data), static_cast<lzo_uint>(data_len), packed,
      &written, /*wrkmem=*/nullptr);
  if (status != LZO_E_OK && status != LZO_E_INPUT_NOT_CONSUMED) return false;
  std::memset(packed + written, 0, packed_size - written);
  return true;
}

}  // namespace
}  // namespace maskjpeg

extern "C" MASKJPEG_API uint8_t* decode_mask(const uint8_t* data,
                                             int32_t data_len, int32_t width,
                                             int32_t height,
                                             int32_t* out_size) {
  using namespace maskjpeg;
  if (!valid_input(data, data_len, out_size) || width <= 0 || height <= 0) {
    return fail(out_size);
  }
  const int64_t pixels = int64_t{width} * height;
  if (pixels >= kPixelLimit) return fail(out_size);

  // Within the limit every size below fits comfortably in size_t and int32.
  const size_t stride = (static_cast<size_t>(width) + 3) / kPixelsPerByte;
  const size_t packed_size = stride * static_cast<size_t>(height);
  const int32_t result_size = static_cast<int32_t>(pixels * kPixelBytes);

  Buffer packed = allocate(packed_size);
  if (!packed || !decompress_mask(data, data_len, packed.get(), packed_size)) {
    return fail(out_size);
  }
  Buffer result = allocate(static_cast<size_t>(result_size));
  if (!result) return fail(out_size);
  expand_mask(packed.get(), static_cast<size_t>(width),
              static_cast<size_t>(height), result.get());
  return hand_over(std::move(result), result_size, out_size);
}
