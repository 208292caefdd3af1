// The rewrite behind repair_jpeg: the compact stored JPEG variant (an
// extra FF A0, a scan header without its last three bytes, scan data
// without byte stuffing) becomes a standard baseline stream; standard
// streams pass as they are.
//
// One pass over the input writes straight into the result. The result is
// allocated up front with room for the input, the few bytes the rewrite
// adds, and one stuffing byte in 64 scan bytes (four times what
// entropy-coded data needs), so the scan is read once. A scan with more FF
// bytes than that is counted from where the room ran out and the buffer
// grown once. Every write is checked against the buffer's capacity, so no
// write depends on an earlier look at the input: should the host change its
// bytes during the call, the call fails or returns some stream, but never
// writes outside the result.
//
// The buffer is not shrunk to the written size afterwards: glibc raises its
// mmap threshold to the size of the blocks it frees, so a shrunk result
// leaves every later, slightly larger first allocation above the threshold,
// and each call would map and fault in fresh pages (13x slower at 16 MiB).
// The slack (at most 1/64 of the input, plus 69 bytes) stays unused.
#include "rewrite.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "../frame.h"
#include "markers.h"
#include "scan_kernels.h"

namespace maskjpeg {
namespace {

// Inputs of 2^30 bytes or more could have results past the 32-bit size.
constexpr size_t kInputLimit = size_t{1} << 30;

using Stop = RewriteTrace::Stop;

// The closing bytes of a baseline scan header that the stored form leaves
// out: spectral selection 0 to 63, successive approximation 0.
constexpr uint8_t kScanHeaderTail[3] = {0x00, 0x3F, 0x00};
constexpr uint8_t kEndOfImage[2] = {kMarkerPrefix, kEOI};

// The largest stored scan-header length whose rewritten length (+3) fits.
constexpr size_t kMaxStoredScanHeader = 0xFFFF - 3;

inline size_t read_be16(const uint8_t* p) { return size_t{p[0]} << 8 | p[1]; }

// Room for stuffing bytes in the first allocation: one FF in 64 bytes,
// four times what entropy-coded data holds on average.
inline size_t stuffing_allowance(size_t n) { return n / 64 + 64; }

// Records where and why the rewrite ended, when a trace is asked for;
// returns whether that end is a success.
inline bool end_at(RewriteTrace* trace, Stop stop, size_t at) noexcept {
  if (trace != nullptr) {
    trace->stop = stop;
    trace->at = at;
  }
  return stop <= Stop::kRepairedScan;
}

// A write that did not fit: out of memory, or input that changed after it
// was measured.
inline bool no_room(RewriteTrace* trace, size_t at) noexcept {
  return end_at(trace, Stop::kNoRoom, at);
}

// The scan, entered with in[at] on the SOS marker byte (its FF already
// written). Returns false for a header that does not fit the input, or when
// the output runs out of room.
bool rewrite_scan(const uint8_t* in, size_t n, size_t at, Output& out, const ScanKernels& k,
                  RewriteTrace* trace) {
  if (trace != nullptr) trace->scan_at = at;
  if (n - at < 3) return end_at(trace, Stop::kLengthCut, at);
  const size_t length = read_be16(in + at + 1);
  if (length < 2) return end_at(trace, Stop::kLengthBelowTwo, at);
  // A standard header (length 6 + 2 * components) means the stream is
  // standard already: it and everything after it stay as they are.
  if (length > 2 && n - at > 3 && length == 6 + 2 * size_t{in[at + 3]}) {
    return out.put(in + at, n - at) ? end_at(trace, Stop::kStandardScan, at) : no_room(trace, at);
  }
  if (length > kMaxStoredScanHeader) return end_at(trace, Stop::kScanHeaderTooLong, at);
  if (n - at - 1 < length) return end_at(trace, Stop::kSegmentPastEnd, at);

  const size_t fixed_length = length + sizeof kScanHeaderTail;
  const uint8_t head[3] = {kSOS, static_cast<uint8_t>(fixed_length >> 8),
                           static_cast<uint8_t>(fixed_length & 0xFF)};
  if (!out.put(head, sizeof head) || !out.put(in + at + 3, length - 2) ||
      !out.put(kScanHeaderTail, sizeof kScanHeaderTail)) {
    return no_room(trace, at);
  }

  // The scan data is everything after the header, less a closing FF D9.
  const size_t begin = at + 1 + length;
  size_t end = n;
  if (n - begin >= 2 && in[n - 2] == kMarkerPrefix && in[n - 1] == kEOI) end = n - 2;
  if (trace != nullptr) {
    trace->scan_begin = begin;
    trace->scan_end = end;
    trace->scan_ff = k.count_ff(in + begin, end - begin);
  }
  if (!out.put_stuffed(in + begin, end - begin, sizeof kEndOfImage, k) ||
      !out.put(kEndOfImage, sizeof kEndOfImage)) {
    return no_room(trace, at);
  }
  return end_at(trace, Stop::kRepairedScan, at);
}

}  // namespace

Output::Output(size_t capacity) noexcept : buffer_(allocate_result(capacity)), capacity_(capacity) {
  if (!buffer_) capacity_ = 0;
}

bool Output::put(uint8_t b) noexcept {
  if (size_ == capacity_) return false;
  buffer_[size_++] = b;
  return true;
}

bool Output::put(const uint8_t* p, size_t n) noexcept {
  if (n > capacity_ - size_) return false;
  std::memcpy(buffer_.get() + size_, p, n);
  size_ += n;
  return true;
}

bool Output::put_stuffed(const uint8_t* in, size_t n, size_t reserve,
                         const ScanKernels& k) noexcept {
  if (reserve > capacity_ - size_) return false;
  // The kernel writes at most the room it is given, so size_ stays within
  // capacity_ - reserve.
  const StuffProgress done = k.stuff(in, n, buffer_.get() + size_, capacity_ - size_ - reserve);
  size_ += done.written;
  if (done.consumed == n) return true;

  // More FF bytes than room: make room for the rest as it reads now. Should
  // the bytes change before they are stuffed, the kernel stops at the room
  // and the call fails.
  const uint8_t* rest = in + done.consumed;
  const size_t rest_n = n - done.consumed;
  const size_t capacity = size_ + rest_n + k.count_ff(rest, rest_n) + reserve;
  if (!grow_result(buffer_, size_, capacity)) return false;
  capacity_ = capacity;
  const StuffProgress more =
      k.stuff(rest, rest_n, buffer_.get() + size_, capacity_ - size_ - reserve);
  size_ += more.written;
  return more.consumed == rest_n;
}

// The main loop. Fill bytes (FF before a marker's FF) go with the marker
// they precede: they are written only if the marker is.
bool rewrite(const uint8_t* in, size_t n, Output& out, const ScanKernels& k,
             RewriteTrace* trace) noexcept {
  size_t r = 0;
  while (r < n) {
    if (in[r] != kMarkerPrefix) return end_at(trace, Stop::kNotMarker, r);
    const size_t first = r;
    while (r < n && in[r] == kMarkerPrefix) ++r;
    // FF bytes with no marker byte after them
    if (r == n) return end_at(trace, Stop::kNoMarkerByte, first);
    const size_t at = r;  // the marker byte
    const uint8_t m = in[at];
    if (m == kStoredMarker) {
      if (trace != nullptr) ++trace->stored_markers;
      r = at + 1;
      continue;
    }
    if (!out.put(in + first, at - first)) return no_room(trace, at);  // fill bytes and the FF
    switch (m) {
      case kSOI:
        if (!out.put(m)) return no_room(trace, at);
        r = at + 1;
        continue;
      case kEOI:  // the end of the image; nothing after it belongs to it
        return out.put(m) ? end_at(trace, Stop::kEndOfImage, at) : no_room(trace, at);
      case kAPP0:  // a JFIF stream is standard: the rest passes unchanged
        return out.put(in + at, n - at) ? end_at(trace, Stop::kStandardRest, at)
                                        : no_room(trace, at);
      case kSOS:
        return rewrite_scan(in, n, at, out, k, trace);
      default:
        break;
    }
    if (!has_length_field(m)) return end_at(trace, Stop::kUnknownMarker, at);
    if (n - at < 3) return end_at(trace, Stop::kLengthCut, at);
    const size_t length = read_be16(in + at + 1);
    if (length < 2) return end_at(trace, Stop::kLengthBelowTwo, at);
    if (n - at - 1 < length) return end_at(trace, Stop::kSegmentPastEnd, at);
    if (!out.put(m) || !out.put(in + at + 1, length)) return no_room(trace, at);
    if (trace != nullptr && trace->frame_at == RewriteTrace::kNone && is_frame_marker(m)) {
      trace->frame_at = at;
    }
    r = at + 1 + length;
  }
  return end_at(trace, Stop::kEndOfInput, n);
}

Buffer repair(const uint8_t* in, size_t n, const ScanKernels& k, size_t& size,
              RewriteTrace* trace) noexcept {
  size = 0;
  if (n >= kInputLimit) {
    end_at(trace, Stop::kTooLarge, 0);
    return nullptr;
  }
  // Not a marker stream at all: fail before allocating for it.
  if (in[0] != kMarkerPrefix) {
    end_at(trace, Stop::kNotMarker, 0);
    return nullptr;
  }
  if (n < 2) {
    end_at(trace, Stop::kNoMarkerByte, 0);
    return nullptr;
  }
  Output out(n + kMaxGrowthBeforeStuffing + stuffing_allowance(n));
  if (!out.ok()) {
    no_room(trace, 0);
    return nullptr;
  }
  if (!rewrite(in, n, out, k, trace)) return nullptr;
  // An input of nothing but FF A0 markers writes nothing: no stream at all.
  if (out.size() == 0) {
    end_at(trace, Stop::kNothingWritten, n);
    return nullptr;
  }
  // The rewrite never writes more than 2n + 1 bytes (every scan byte FF,
  // plus an FF D9 the input lacks), and n < 2^30, so the size fits in 32
  // bits; the check keeps that true by construction.
  if (out.size() > size_t{INT32_MAX}) {
    no_room(trace, 0);
    return nullptr;
  }
  size = out.size();
  return out.take();
}

}  // namespace maskjpeg
