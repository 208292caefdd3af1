// The marker-level rewrite behind repair_jpeg, and the bounded output it
// writes into. Internal: the tests drive it with outputs and kernels of
// their own, and the CLI asks it where and why it stopped, so that what the
// CLI says of a stream is what the library did with it.
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

// Where the rewrite stopped and what it met on the way, for a caller that
// explains a result. Offsets are into the input.
struct RewriteTrace {
  static constexpr size_t kNone = SIZE_MAX;
  enum class Stop : uint8_t {
    // Success: what ended the walk.
    kEndOfInput,    // the last segment ended the input, with no scan or EOI
    kEndOfImage,    // an EOI marker
    kStandardRest,  // an APP0 (JFIF) segment: the rest passes unchanged
    kStandardScan,  // a standard scan header: the rest passes unchanged
    kRepairedScan,  // a stored scan header: the scan was rewritten
    // Failure: why repair_jpeg returned null.
    kTooLarge,           // input of 2^30 bytes or more
    kNotMarker,          // `at` holds a byte that is not FF where a marker starts
    kNoMarkerByte,       // FF bytes from `at` to the end, with no marker byte
    kUnknownMarker,      // marker byte at `at` carries no length field
    kLengthCut,          // marker at `at` has no room for its length field
    kLengthBelowTwo,     // length field of the marker at `at` is below 2
    kSegmentPastEnd,     // segment at `at` runs past the end of the input
    kScanHeaderTooLong,  // stored scan header at `at` too long to grow by 3
    kNothingWritten,     // only FF A0 markers: no stream at all
    kNoRoom,             // out of memory, or the input changed during the call
  };
  Stop stop = Stop::kNoRoom;
  size_t at = kNone;          // the marker byte (or other byte) concerned
  size_t stored_markers = 0;  // FF A0 markers dropped
  size_t frame_at = kNone;    // marker byte of the first SOFn segment copied
  size_t scan_at = kNone;     // marker byte of the SOS
  size_t scan_begin = 0;      // the scan data after the SOS header ...
  size_t scan_end = 0;        // ... up to a closing FF D9, not included
  size_t scan_ff = 0;         // FF bytes in a stored scan: the stuffing added

  bool ok() const { return stop <= Stop::kRepairedScan; }
};

// What the rewrite of an n-byte input writes at most before stuffing: every
// byte it copies stands for one byte of input, plus the three closing bytes
// of a scan header and an FF D9 added to a scan that has none.
constexpr size_t kMaxGrowthBeforeStuffing = 3 + 2;

// Rewrites in[0, n) into `out`. Returns false for input it cannot make a
// whole stream of (a byte that is not FF where a marker should start, a
// marker byte that is neither known nor followed by a length, a segment or
// length field that runs past the end), and when `out` runs out of room.
// `trace`, when given, is filled with where and why it stopped.
bool rewrite(const uint8_t* in, size_t n, Output& out, const ScanKernels& k,
             RewriteTrace* trace = nullptr) noexcept;

// repair_jpeg past its argument check, for n > 0: the size limit, the
// rewrite into a result of its own and the refusal of an empty one. Returns
// the result and writes its length to `size`, or returns null (`trace`
// then says why).
Buffer repair(const uint8_t* in, size_t n, const ScanKernels& k, size_t& size,
              RewriteTrace* trace = nullptr) noexcept;

}  // namespace maskjpeg

#endif  // MASKJPEG_SRC_JPEG_REWRITE_H
