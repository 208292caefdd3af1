// maskjpeg from C++: each result is owned by a std::unique_ptr whose deleter
// is the library's release function, so it is released on every path.
#include <maskjpeg.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {

struct Release {
  void operator()(uint8_t *buffer) const { free_mask_buffer(buffer); }
};

// One result of the library: its bytes and their count.
struct Result {
  std::unique_ptr<uint8_t, Release> data;
  int32_t size = 0;
  const uint8_t *begin() const { return data.get(); }
  const uint8_t *end() const { return data.get() + size; }
};

std::optional<Result> decode(const std::vector<uint8_t> &payload, int32_t width,
                             int32_t height) {
  Result result;
  result.data.reset(decode_mask(payload.data(), static_cast<int32_t>(payload.size()), width,
                                height, &result.size));
  if (!result.data) return std::nullopt;
  return result;
}

std::optional<Result> repair(const std::vector<uint8_t> &stored) {
  Result result;
  result.data.reset(
      repair_jpeg(stored.data(), static_cast<int32_t>(stored.size()), &result.size));
  if (!result.data) return std::nullopt;
  return result;
}

}  // namespace

int main() {
  const std::vector<uint8_t> mask_5x3{0x17, 0xE4, 0x03, 0x1B, 0x02, 0xFF, 0xFE, 0x11, 0x00, 0x00};
  const std::vector<uint8_t> stored_jpeg{0xFF, 0xD8, 0xFF, 0xA0, 0xFF, 0xDA, 0x00,
                                         0x09, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03,
                                         0x11, 0x12, 0xFF, 0x34, 0xFF, 0xD9};
  const std::vector<uint8_t> not_a_jpeg{0x00, 0x01, 0x02};

  const auto rgba = decode(mask_5x3, 5, 3);
  if (!rgba) return 1;
  std::printf("decode_mask 5x3: %d bytes, alpha", static_cast<int>(rgba->size));
  for (int32_t i = 3; i < rgba->size; i += 4) std::printf(" %d", rgba->data.get()[i]);
  std::printf("\n");

  const auto jpeg = repair(stored_jpeg);
  if (!jpeg) return 1;
  std::printf("repair_jpeg: %zu bytes in, %d bytes out:", stored_jpeg.size(),
              static_cast<int>(jpeg->size));
  for (uint8_t byte : *jpeg) std::printf(" %02X", byte);
  std::printf("\n");

  int32_t size = -1;
  std::unique_ptr<uint8_t, Release> none(
      repair_jpeg(not_a_jpeg.data(), static_cast<int32_t>(not_a_jpeg.size()), &size));
  if (none) return 1;
  std::printf("rejected: %zu bytes that are not a JPEG give no result, size %d\n",
              not_a_jpeg.size(), static_cast<int>(size));
  return 0;
}
