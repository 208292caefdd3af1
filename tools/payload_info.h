// What a payload is, told for the CLI: what the library makes of it, and
// why it refuses one. The library itself only says whether it could use a
// payload, so the explanations come from its own code (the JPEG rewrite's
// trace) and from liblzo2 asked as the library asks it: what the CLI says
// of a payload always agrees with what the library did with it.
#ifndef MASKJPEG_TOOLS_PAYLOAD_INFO_H
#define MASKJPEG_TOOLS_PAYLOAD_INFO_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace payload_info {

// What repair_jpeg does with a stream.
struct JpegReport {
  enum Verdict { kRepaired, kStandard, kRejected } verdict = kRejected;
  std::string reason;  // kRejected: why, in words
  size_t size = 0;     // the result's size, unless kRejected
  bool has_frame = false;
  int width = 0, height = 0, components = 0;
  unsigned frame_marker = 0;  // C0 for baseline, C2 for progressive, ...
  bool has_scan = false;
  size_t scan_bytes = 0;  // entropy-coded data, without a closing FF D9
  size_t scan_ff = 0;     // FF bytes in a stored scan: the stuffing a repair adds
};
JpegReport read_jpeg(const uint8_t* data, size_t size);

// An LZO1X stream decompressed by liblzo2's bounded decompressor, the one
// decode_mask uses, into at most `limit` bytes.
struct LzoReport {
  enum Status { kOk, kCutShort, kCorrupt, kTooLarge, kOutOfMemory } status = kCorrupt;
  size_t size = 0;     // kOk: bytes it decompresses to
  std::string detail;  // kCutShort and kCorrupt: what is wrong
  bool ok() const { return status == kOk; }
};
// kTooLarge: the stream holds more than `limit` bytes. Memory taken is at
// most `limit` bytes, and only what the stream writes of it is touched.
LzoReport read_lzo(const uint8_t* data, size_t size, size_t limit);

// Why decode_mask refused `data` for a width x height mask, which must be
// within the library's size limit. The stream is decompressed into the
// mask's packed size and no more, as the library does, so liblzo2 gives the
// reason it gave the library.
std::string explain_mask_refusal(const uint8_t* data, size_t size, int32_t width, int32_t height);

}  // namespace payload_info

#endif  // MASKJPEG_TOOLS_PAYLOAD_INFO_H
