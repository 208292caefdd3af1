// What a payload is, told from its bytes by the CLI: the library only says
// whether it could use a payload, so the CLI looks again to explain why not,
// and to describe a payload for `maskjpeg info`.
#ifndef MASKJPEG_TOOLS_PAYLOAD_INFO_H
#define MASKJPEG_TOOLS_PAYLOAD_INFO_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace payload_info {

using Bytes = std::vector<uint8_t>;

// A marker stream read the way repair_jpeg reads it.
struct JpegInfo {
  bool marker_stream = false;  // false: `problem` says where it stops being one
  std::string problem;
  bool stored = false;  // FF A0 or a shortened scan header: the compact variant
  bool has_frame = false;
  int width = 0, height = 0, components = 0;
  int frame_marker = 0;  // C0 for baseline, C2 for progressive, ...
  bool has_scan = false;
  size_t scan_bytes = 0;  // entropy-coded data, without a closing FF D9
  size_t scan_ff = 0;     // FF bytes in it: the stuffing a repair adds
};
JpegInfo read_jpeg(const Bytes& bytes);

// An LZO1X stream decompressed with liblzo2 itself.
struct LzoInfo {
  enum Status { kOk, kCutShort, kCorrupt, kTooLarge } status = kCorrupt;
  size_t size = 0;     // bytes it decompresses to (kOk)
  std::string detail;  // what is wrong, for kCutShort and kCorrupt
};
// `limit` bounds the size tried; a stream that decompresses to more is
// kTooLarge.
LzoInfo read_lzo(const Bytes& bytes, size_t limit);

}  // namespace payload_info

#endif  // MASKJPEG_TOOLS_PAYLOAD_INFO_H
