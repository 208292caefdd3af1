// repair_jpeg: rewrites the compact stored JPEG variant (an extra FF A0, a
// scan header without its last three bytes, scan data without byte
// stuffing) into a standard baseline stream; standard streams pass as they
// are.
//
// The rewrite runs twice over the input with the same code: first with a
// sink that only counts, so the result can be allocated at its exact size,
// then with a sink that writes into it. Both passes take the same path
// through the same input, so the second writes exactly what the first
// counted; the counting pass reads the scan once to count its FF bytes,
// which is cheaper than writing into an oversized work buffer and copying.
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

class CountingSink {
 public:
  void put(uint8_t) { ++size_; }
  void put(const uint8_t*, size_t n) { size_ += n; }
  void put_stuffed(const uint8_t* in, size_t n, const ScanKernels& k) {
    size_ += n + k.count_ff(in, n);
  }
  size_t size() const { return size_; }

 private:
  size_t size_ = 0;
};

class WritingSink {
 public:
  explicit WritingSink(uint8_t* out) : out_(out) {}
  void put(uint8_t b) { *out_++ = b; }
  void put(const uint8_t* p, size_t n) {
    std::memcpy(out_, p, n);
    out_ += n;
  }
  void put_stuffed(const uint8_t* in, size_t n, const ScanKernels& k) { out_ = k.stuff(in, n, out_); }

 private:
  uint8_t* out_;
};

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
  // At most 2n + 1 bytes are ever written, so the size fits in 32 bits.
  if (counter.size() == 0) return fail(out_size);
  const size_t size = counter.size();

  Buffer result = allocate(size);
  if (!result) return fail(out_size);
  WritingSink writer(result.get());
  rewrite(data, n, writer, kernels);
  return hand_over(std::move(result), static_cast<int32_t>(size), out_size);
}
