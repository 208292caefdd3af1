#include "test_util.h"

#include <gtest/gtest.h>

std::vector<uint8_t> decode(const std::vector<uint8_t>& stream, int32_t width,
                            int32_t height) {
  int32_t size = -1;
  uint8_t* out = decode_mask(stream.data(), static_cast<int32_t>(stream.size()),
                             width, height, &size);
  if (out == nullptr) {
    EXPECT_EQ(size, 0);
    return {};
  }
  std::vector<uint8_t> copy(out, out + size);
  free_mask_buffer(out);
  return copy;
}
