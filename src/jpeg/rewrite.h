// The marker-level rewrite behind repair_jpeg, and the bounded output it
// writes into. Internal: the tests drive it with outputs and kernels of
// their own.
#ifndef MASKJPEG_SRC_JPEG_REWRITE_H
#define MASKJPEG_SRC_JPEG_REWRITE_H

#include <cstddef>
#include <cstdint>
#include <utility>

#include "../frame.h"
#include "scan_kernels.h"

namespace maskjpeg {

// A result being written. Every write is checked against the capacity of
// the buffer it goes into, whatever an earlier look at the input suggested:
// the host may change its bytes while the call reads them, and a write that
// would not fit fails the rewrite instead of passing the end.
class Output {
 public:
  // Allocates `capacity` bytes; ok() is false when memory ran out.
  explicit Output(size_t capacity) noexcept;

  bool ok() const noexcept { return buffer_ != nullptr; }
  size_t size() const noexcept { return size_; }
  size_t capacity() const noexcept { return capacity_; }
  const uint8_t* data() const noexcept { return buffer_.get(); }

  // Each returns false, and writes nothing, when the bytes do not fit.
  bool put(uint8_t b) noexcept;
  bool put(const uint8_t* p, size_t n) noexcept;

  // Writes in[0, n) with a 00 after every FF, keeping `reserve` bytes free
  // after it for what follows the scan. When the scan holds more FF bytes
  // than the buffer has room for, the rest of it is counted and the buffer
  // grown once to fit; returns false if it still does not fit (the input
  // changed after it was counted) or the buffer cannot grow.
  bool put_stuffed(const uint8_t* in, size_t n, size_t reserve, const ScanKernels& k) noexcept;

  // Gives up the buffer; size() bytes of it are the result.
  Buffer take() noexcept { return std::move(buffer_); }

 private:
  Buffer buffer_;
  size_t capacity_;
  size_t size_ = 0;  // always <= capacity_
};

// What the rewrite of an n-byte input writes at most before stuffing: every
// byte it copies stands for one byte of input, plus the three closing bytes
// of a scan header and an FF D9 added to a scan that has none.
constexpr size_t kMaxGrowthBeforeStuffing = 3 + 2;

// Rewrites in[0, n) into `out`. Returns false for input it cannot make a
// whole stream of (a byte that is not FF where a marker should start, a
// marker byte that is neither known nor followed by a length, a segment or
// length field that runs past the end), and when `out` runs out of room.
bool rewrite(const uint8_t* in, size_t n, Output& out, const ScanKernels& k) noexcept;

}  // namespace maskjpeg

#endif  // MASKJPEG_SRC_JPEG_REWRITE_H
