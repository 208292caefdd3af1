// The common frame of the producing functions: the argument check, the
// buffers a call owns, and the hand-over of the result to the caller.
#ifndef MASKJPEG_SRC_FRAME_H
#define MASKJPEG_SRC_FRAME_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace maskjpeg {

// Every buffer, work or result, comes from malloc so that one release
// operation (free) serves both result kinds.
struct FreeDeleter {
  void operator()(uint8_t* p) const noexcept { std::free(p); }
};

// A buffer owned by the running call. Whatever path the call leaves by, the
// buffer is freed unless hand_over() has given it to the caller.
using Buffer = std::unique_ptr<uint8_t[], FreeDeleter>;

// Uninitialised buffer of `size` (> 0) bytes; null when memory runs out.
inline Buffer allocate(size_t size) noexcept {
  return Buffer(static_cast<uint8_t*>(std::malloc(size)));
}

// Grows `buffer` to `size` bytes, keeping its contents. On failure the
// buffer is left as it was.
inline bool grow(Buffer& buffer, size_t size) noexcept {
  void* moved = std::realloc(buffer.get(), size);
  if (moved == nullptr) return false;
  buffer.release();
  buffer.reset(static_cast<uint8_t*>(moved));
  return true;
}

// The check every producing call starts with, before it allocates anything.
// A null out_size fails too: there would be nowhere to report the size.
inline bool valid_input(const uint8_t* data, int32_t data_len, const int32_t* out_size) noexcept {
  return out_size != nullptr && data != nullptr && data_len > 0;
}

// The one way a producing call fails: null, and 0 in *out_size if there is
// an *out_size to write.
inline uint8_t* fail(int32_t* out_size) noexcept {
  if (out_size != nullptr) *out_size = 0;
  return nullptr;
}

// Gives a completely filled result of `size` bytes to the caller.
inline uint8_t* hand_over(Buffer result, int32_t size, int32_t* out_size) noexcept {
  *out_size = size;
  return result.release();
}

}  // namespace maskjpeg

#endif  // MASKJPEG_SRC_FRAME_H
