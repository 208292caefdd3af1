// decode_mask: LZO1X stream -> packed 2-bit mask -> white RGBA pixels whose
// alpha carries the mask code.
#include <lzo/lzo1x.h>

#include <cstring>
#include <utility>

#include "../frame.h"
#include "expand_mask.h"
#include "maskjpeg.h"

namespace maskjpeg {
namespace {

// width * height * 4 must fit the signed 32-bit size out-parameter.
constexpr int64_t kPixelLimit = int64_t{1} << 29;  // 536,870,912

constexpr size_t kPixelBytes = 4;

// Decompresses the stream into `packed`, `packed_size` bytes, zero-filling
// whatever an early end-of-stream leaves unwritten. Only a stream that ends
// cleanly inside the buffer is accepted: one cut short, one longer than the
// mask (the decompressor stops before the run that does not fit, so the tail
// could not be trusted) or a corrupt one fails. Trailing bytes after the end
// marker are ignored.
bool decompress_mask(const uint8_t* data, int32_t data_len, uint8_t* packed, size_t packed_size) {
  // No lzo_init(): it sets nothing up, only re-checks type sizes fixed by the
  // platform ABI, and at ~80 ns a call it would be a sixth of a 64x64 decode.
  lzo_uint written = packed_size;
  // The decompressor's prototype lacks const on its source; it only reads.
  const int status =
      lzo1x_decompress_safe(const_cast<uint8_t*>(data), static_cast<lzo_uint>(data_len), packed,
                            &written, /*wrkmem=*/nullptr);
  if (status != LZO_E_OK && status != LZO_E_INPUT_NOT_CONSUMED) return false;
  std::memset(packed + written, 0, packed_size - written);
  return true;
}

}  // namespace
}  // namespace maskjpeg

extern "C" MASKJPEG_API uint8_t* MASKJPEG_CALL decode_mask(const uint8_t* data, int32_t data_len,
                                                           int32_t width, int32_t height,
                                                           int32_t* out_size) {
  using namespace maskjpeg;
  if (!valid_input(data, data_len, out_size) || width <= 0 || height <= 0) {
    return fail(out_size);
  }
  const int64_t pixels = int64_t{width} * height;
  if (pixels >= kPixelLimit) return fail(out_size);

  // Within the limit every size below fits comfortably in size_t and int32.
  const size_t stride = (static_cast<size_t>(width) + 3) / 4;
  const size_t packed_size = stride * static_cast<size_t>(height);
  const int32_t result_size = static_cast<int32_t>(pixels * int64_t{kPixelBytes});

  Buffer packed = allocate(packed_size);
  if (!packed || !decompress_mask(data, data_len, packed.get(), packed_size)) {
    return fail(out_size);
  }
  Buffer result = allocate_result(static_cast<size_t>(result_size));
  if (!result) return fail(out_size);
  expand_mask(packed.get(), static_cast<size_t>(width), static_cast<size_t>(height), result.get(),
              best_expand_run());
  return hand_over(std::move(result), result_size, out_size);
}
