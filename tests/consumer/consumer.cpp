// A C++ program using the installed library: results held in a unique_ptr
// whose deleter is the library's own release function.
#include <maskjpeg.h>

#include <cstdio>
#include <memory>
#include <vector>

struct MaskjpegDeleter {
  void operator()(uint8_t* p) const { free_jpeg_buffer(p); }
};
using MaskjpegResult = std::unique_ptr<uint8_t[], MaskjpegDeleter>;

// The repaired stream, or an empty vector when the input is rejected.
std::vector<uint8_t> repair(const std::vector<uint8_t>& stored) {
  int32_t size = 0;
  MaskjpegResult out(repair_jpeg(stored.data(), static_cast<int32_t>(stored.size()), &size));
  if (!out) return {};
  return std::vector<uint8_t>(out.get(), out.get() + size);
}

int main() {
  const std::vector<uint8_t> stored = {0xFF, 0xD8, 0xFF, 0xA0, 0xFF, 0xDA, 0x00, 0x05,
                                       0x01, 0x01, 0x00, 0x12, 0xFF, 0x34, 0xFF, 0xD9};
  const std::vector<uint8_t> jpeg = repair(stored);
  const uint8_t stream[] = {0x12, 0x03, 0x11, 0x00, 0x00};
  int32_t size = 0;
  MaskjpegResult rgba(decode_mask(stream, sizeof stream, 1, 1, &size));
  if (jpeg.size() != 18 || !rgba || size != 4 || rgba[3] != 0x80) {
    std::fprintf(stderr, "C++ consumer: wrong result\n");
    return 1;
  }
  std::printf("C++ consumer: ok\n");
  return 0;
}
