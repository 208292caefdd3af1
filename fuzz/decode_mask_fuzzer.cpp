// Fuzz target for decode_mask. The first four bytes choose the mask's width
// and height (1..128 each: small enough to run fast, and every row length
// modulo 4 is met); the rest is the LZO1X stream. Every result is checked
// against liblzo2 plus a plain expansion, not merely survived.
#include <lzo/lzo1x.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "guarded_input.h"
#include "maskjpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > (1u << 20)) return 0;
  const int32_t width = 1 + (data[0] & 127);
  const int32_t height = 1 + (data[2] & 127);
  const GuardedInput input(data + 4, size - 4);
  int32_t out_size = -1;
  uint8_t* out = decode_mask(input.data(), input.size(), width, height, &out_size);

  const size_t stride = (static_cast<size_t>(width) + 3) / 4;
  std::vector<uint8_t> packed(stride * static_cast<size_t>(height), 0);
  lzo_uint written = packed.size();
  const int status = input.size() == 0
                         ? LZO_E_INPUT_OVERRUN
                         : lzo1x_decompress_safe(input.data(), static_cast<lzo_uint>(input.size()),
                                                 packed.data(), &written, nullptr);
  const bool should_succeed = status == LZO_E_OK || status == LZO_E_INPUT_NOT_CONSUMED;
  if (!should_succeed) {
    if (out != nullptr || out_size != 0) abort();
    return 0;
  }
  if (out == nullptr || out_size != width * height * 4) abort();
  std::memset(packed.data() + written, 0, packed.size() - written);
  static const uint8_t kAlpha[4] = {0, 1, 1, 128};
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* px = out + (static_cast<size_t>(y) * width + x) * 4;
      const int code = (packed[y * stride + x / 4] >> (2 * (x % 4))) & 3;
      if (px[0] != 0xFF || px[1] != 0xFF || px[2] != 0xFF || px[3] != kAlpha[code]) abort();
    }
  }
  free_mask_buffer(out);
  return 0;
}
