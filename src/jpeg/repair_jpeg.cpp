// repair_jpeg: rewrites the compact stored JPEG variant (an extra FF A0, a
// scan header without its last three bytes, scan data without byte
// stuffing) into a standard baseline stream; standard streams pass as they
// are.
//
// The marker-level rewrite runs twice with the same code: first with a sink
// that only adds up sizes, then with one that writes. The first pass counts
// the scan at its unstuffed length, and the result is allocated with room
// for one stuffing byte in 64 (four times what entropy-coded data needs), so
// the writing pass reads the scan just once. Should the scan hold more FF
// bytes than that, the rest of it is counted and the buffer grown once to
// the exact size.
//
// The buffer is not shrunk to the written size afterwards: glibc raises its
// mmap threshold to the size of the blocks it frees, so a shrunk result
// leaves every later, slightly larger first allocation above the threshold,
// and each call would map and fault in fresh pages (13x slower at 16 MiB).
// The few bytes of slack (at most 1/64 of the scan, plus 64) stay unused.
#include <cstring>
#include <utility>

#include "../frame.h"
#include "maskjpeg.h"
#include "scan_kernels.h"

namespace maskjpeg {
namespace {

// Inputs of 2^30 bytes or more could have results past the 32-bit size.
constexpr int32_t kInputLimit = int32_t{1} << 30;

constexpr uint8_t kMarkerPrefix = 0xFF;  // also a fill byte before a marker
constexpr uint8_t kStoredMarker = 0xA0;  // the variant's own marker, dropped
constexpr uint8_t kSOI = 0xD8;
constexpr uint8_t kEOI = 0xD9;
constexpr uint8_t kSOS = 0xDA;
constexpr uint8_t kAPP0 = 0xE0;
constexpr uint8_t kRST0 = 0xD0;
constexpr uint8_t kRST7 = 0xD7;
constexpr uint8_t kFirstSegmentMarker = 0xC0;

// The closing bytes of a baseline scan header that the stored form leaves
// out: spectral selection 0 to 63, successive approximation 0.
constexpr uint8_t kScanHeaderTail[3] = {0x00, 0x3F, 0x00};
constexpr uint8_t kEndOfImage[2] = {kMarkerPrefix, kEOI};

// The largest stored scan-header length whose rewritten length (+3) fits.
constexpr size_t kMaxStoredScanHeader = 0xFFFF - 3;

// Markers from C0 up that carry a length field: all but RST0-RST7, SOI and
// EOI (SOS and APP0 have handling of their own).
inline bool has_length_field(uint8_t m) {
  return m >= kFirstSegmentMarker && m != kMarkerPrefix && !(m >= kRST0 && m <= kRST7) &&
         m != kSOI && m != kEOI;
}

inline size_t read_be16(const uint8_t* p) { return size_t{p[0]} << 8 | p[1]; }

// Adds up what the rewrite writes, counting a scan at its unstuffed length.
class CountingSink {
 public:
  void put(uint8_t) { ++size_; }
  void put(const uint8_t*, size_t n) { size_ += n; }
  void put_stuffed(const uint8_t*, size_t n, const ScanKernels&) {
    size_ += n;
    scan_bytes_ += n;
  }
  size_t size() const { return size_; }
  size_t scan_bytes() const { return scan_bytes_; }

 private:
  size_t size_ = 0;
  size_t scan_bytes_ = 0;
};

// Writes the rewrite into a buffer at least as large as the CountingSink's
// size, growing it only if the scan's stuffing bytes do not fit.
class WritingSink {
 public:
  WritingSink(Buffer& buffer, size_t capacity, size_t unstuffed_size)
      : buffer_(buffer), capacity_(capacity), unstuffed_size_(unstuffed_size) {}

  void put(uint8_t b) { buffer_[size_++] = b; }
  void put(const uint8_t* p, size_t n) {
    std::memcpy(buffer_.get() + size_, p, n);
    size_ += n;
  }
  void put_stuffed(const uint8_t* in, size_t n, const ScanKernels& k) {
    // What the stream writes after the scan (its EOI) keeps its room.
    const size_t after = unstuffed_size_ - size_ - n;
    StuffProgress done = k.stuff(in, n, buffer_.get() + size_, capacity_ - after - size_);
    if (done.consumed < n) {
      // More FF bytes than room: the exact size is known once the rest of
      // the scan is counted.
      const size_t exact = unstuffed_size_ + (done.written - done.consumed) +
                           k.count_ff(in + done.consumed, n - done.consumed);
      if (!grow(buffer_, exact)) {
        // The call fails. What the rewrite still puts (the EOI) lands at
        // size_, which has not moved, inside the unstuffed size.
        failed_ = true;
        return;
      }
      capacity_ = exact;
      const size_t at = size_ + done.written;
      done.written +=
          k.stuff(in + done.consumed, n - done.consumed, buffer_.get() + at, capacity_ - after - at)
              .written;
    }
    size_ += done.written;
  }

  bool failed() const { return failed_; }
  size_t size() const { return size_; }

 private:
  Buffer& buffer_;
  size_t capacity_;
  size_t unstuffed_size_;
  size_t size_ = 0;
  bool failed_ = false;
};

// Room for stuffing bytes in the first allocation: one FF in 64 scan
// bytes, four times what entropy-coded data holds on average.
inline size_t stuffing_allowance(size_t scan_bytes) { return scan_bytes / 64 + 64; }

// The scan, entered with in[at] on the SOS marker byte (its FF already
// written). Returns false for a header that does not fit the input.
template <class Sink>
bool rewrite_scan(const uint8_t* in, size_t n, size_t at, Sink& sink, const ScanKernels& k) {
  if (n - at < 3) return false;  // no room for the length field
  const size_t length = read_be16(in + at + 1);
  if (length < 2) return false;
  // A standard header (length 6 + 2 * components) means the stream is
  // standard already: it and everything after it stay as they are.
  if (length > 2 && n - at > 3 && length == 6 + 2 * size_t{in[at + 3]}) {
    sink.put(in + at, n - at);
    return true;
  }
  if (length > kMaxStoredScanHeader || n - at - 1 < length) return false;

  const size_t fixed_length = length + sizeof kScanHeaderTail;
  sink.put(kSOS);
  sink.put(static_cast<uint8_t>(fixed_length >> 8));
  sink.put(static_cast<uint8_t>(fixed_length & 0xFF));
  sink.put(in + at + 3, length - 2);
  sink.put(kScanHeaderTail, sizeof kScanHeaderTail);

  // The scan data is everything after the header, less a closing FF D9.
  const size_t begin = at + 1 + length;
  size_t end = n;
  if (n - begin >= 2 && in[n - 2] == kMarkerPrefix && in[n - 1] == kEOI) end = n - 2;
  sink.put_stuffed(in + begin, end - begin, k);
  sink.put(kEndOfImage, sizeof kEndOfImage);
  return true;
}

// The marker-level rewrite. Returns false for input it cannot make a whole
// stream of: a byte where a marker should start that is not FF, a marker
// byte that is neither known nor followed by a length, or a segment or
// length field that runs past the end.
template <class Sink>
bool rewrite(const uint8_t* in, size_t n, Sink& sink, const ScanKernels& k) {
  size_t r = 0;
  while (r < n) {
    if (in[r] != kMarkerPrefix || n - r < 2) return false;
    const uint8_t m = in[r + 1];
    if (m == kStoredMarker) {
      r += 2;
      continue;
    }
    sink.put(kMarkerPrefix);
    if (m == kMarkerPrefix) {  // fill byte: the next FF starts the marker
      r += 1;
      continue;
    }
    const size_t at = r + 1;  // the marker byte
    switch (m) {
      case kSOI:
        sink.put(m);
        r = at + 1;
        continue;
      case kEOI:  // the end of the image; nothing after it belongs to it
        sink.put(m);
        return true;
      case kAPP0:  // a JFIF stream is standard: the rest passes unchanged
        sink.put(in + at, n - at);
        return true;
      case kSOS:
        return rewrite_scan(in, n, at, sink, k);
      default:
        break;
    }
    if (!has_length_field(m) || n - at < 3) return false;
    const size_t length = read_be16(in + at + 1);
    if (length < 2 || n - at - 1 < length) return false;
    sink.put(m);
    sink.put(in + at + 1, length);
    r = at + 1 + length;
  }
  return true;
}

}  // namespace
}  // namespace maskjpeg

extern "C" MASKJPEG_API uint8_t* repair_jpeg(const uint8_t* data, int32_t data_len,
                                             int32_t* out_size) {
  using namespace maskjpeg;
  if (!valid_input(data, data_len, out_size) || data_len >= kInputLimit) return fail(out_size);
  const size_t n = static_cast<size_t>(data_len);
  const ScanKernels kernels = best_scan_kernels();

  CountingSink counter;
  if (!rewrite(data, n, counter, kernels)) return fail(out_size);
  // An input of nothing but FF A0 markers writes nothing: no stream at all.
  if (counter.size() == 0) return fail(out_size);

  const size_t capacity =
      counter.size() + (counter.scan_bytes() > 0 ? stuffing_allowance(counter.scan_bytes()) : 0);
  Buffer result = allocate(capacity);
  if (!result) return fail(out_size);
  WritingSink writer(result, capacity, counter.size());
  rewrite(data, n, writer, kernels);
  if (writer.failed()) return fail(out_size);
  // At most 2n + 1 bytes are ever written, so the size fits in 32 bits.
  const size_t size = writer.size();
  return hand_over(std::move(result), static_cast<int32_t>(size), out_size);
}
