// The common frame of the producing functions: the argument check, the
// buffers a call owns, and the hand-over of the result to the caller.
#ifndef MASKJPEG_SRC_FRAME_H
#define MASKJPEG_SRC_FRAME_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

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

#if defined(__linux__) && defined(MADV_HUGEPAGE)
// From this size on the allocator gives every block fresh pages of its own
// (glibc maps each block of 32 MiB or more separately, however far its
// dynamic threshold has grown; measured in bench/). Writing such a result
// costs one page fault per 4 KiB, which for a large result takes longer
// than the transform itself.
constexpr size_t kFreshMappingSize = size_t{32} << 20;
constexpr size_t kHugePage = size_t{2} << 20;

// A result buffer of `size` bytes. A large one is aligned to a huge page and
// advised for transparent huge pages, so it faults in 2 MiB at a time; it is
// still one malloc block, and free() (the release operation) returns it.
// Smaller ones come from the heap, whose pages are often warm already.
inline Buffer allocate_result(size_t size) noexcept {
  if (size < kFreshMappingSize) return allocate(size);
  const size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
  void* p = std::aligned_alloc(kHugePage, rounded);
  // Only advice: where the kernel has no huge pages the buffer works as is.
  if (p != nullptr) madvise(p, rounded, MADV_HUGEPAGE);
  return Buffer(static_cast<uint8_t*>(p));
}
#else
inline Buffer allocate_result(size_t size) noexcept { return allocate(size); }
#endif

// Grows the result `buffer` to `size` bytes, keeping its first `used`
// bytes. A size that allocate_result() would advise for huge pages gets a
// new buffer from it and a copy of the used part: realloc would extend the
// old mapping with 4 KiB pages, whose faults cost far more than the copy.
// On failure the buffer is left as it was.
inline bool grow_result(Buffer& buffer, size_t used, size_t size) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (size >= kFreshMappingSize) {
    Buffer larger = allocate_result(size);
    if (!larger) return false;
    std::memcpy(larger.get(), buffer.get(), used);
    buffer = std::move(larger);
    return true;
  }
#else
  (void)used;
#endif
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
