#include "test_util.h"

#include <cstdlib>

#include <gtest/gtest.h>

namespace {

// Copies a result and releases it; a null result must come with size 0.
std::vector<uint8_t> take(uint8_t* out, int32_t size, void(MASKJPEG_CALL* release)(void*)) {
  if (out == nullptr) {
    EXPECT_EQ(size, 0);
    return {};
  }
  std::vector<uint8_t> copy(out, out + size);
  release(out);
  return copy;
}

}  // namespace

std::string test_emulator() {
  const char* name = std::getenv("MASKJPEG_TEST_EMULATOR");
  return name != nullptr ? name : "";
}

std::vector<uint8_t> decode(const std::vector<uint8_t>& stream, int32_t width, int32_t height) {
  int32_t size = -1;
  uint8_t* out =
      decode_mask(stream.data(), static_cast<int32_t>(stream.size()), width, height, &size);
  return take(out, size, free_mask_buffer);
}

std::vector<uint8_t> repair(const std::vector<uint8_t>& stored) {
  int32_t size = -1;
  uint8_t* out = repair_jpeg(stored.data(), static_cast<int32_t>(stored.size()), &size);
  return take(out, size, free_jpeg_buffer);
}

std::vector<uint8_t> hex(const char* text) {
  std::vector<uint8_t> bytes;
  unsigned value = 0;
  int digits = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    const char c = *p;
    if (c == ' ') continue;
    value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    if (++digits == 2) {
      bytes.push_back(static_cast<uint8_t>(value));
      value = 0;
      digits = 0;
    }
  }
  return bytes;
}
