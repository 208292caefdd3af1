#include "payload_info.h"

#include <lzo/lzo1x.h>

#include <algorithm>

namespace payload_info {
namespace {

size_t be16(const Bytes& b, size_t at) { return size_t{b[at]} << 8 | b[at + 1]; }

std::string hex_byte(unsigned v) {
  static const char kDigits[] = "0123456789ABCDEF";
  return std::string{kDigits[v >> 4 & 15], kDigits[v & 15]};
}

std::string at_offset(size_t at) { return " at offset " + std::to_string(at); }

}  // namespace

JpegInfo read_jpeg(const Bytes& b) {
  JpegInfo info;
  const size_t n = b.size();
  size_t r = 0;
  while (r < n) {
    if (b[r] != 0xFF) {
      info.problem = "byte " + hex_byte(b[r]) + " where a marker should start" + at_offset(r);
      return info;
    }
    while (r < n && b[r] == 0xFF) ++r;  // fill bytes and the marker's FF
    if (r == n) {
      info.problem = "FF with no marker byte after it at the end";
      return info;
    }
    const unsigned m = b[r];
    const size_t at = r;
    if (m == 0xA0) {
      info.stored = true;
      r = at + 1;
      continue;
    }
    if (m == 0xD8) {
      r = at + 1;
      continue;
    }
    if (m == 0xD9) break;
    if (m < 0xC0 || (m >= 0xD0 && m <= 0xD7)) {
      info.problem = "marker byte " + hex_byte(m) + " that is no segment" + at_offset(at);
      return info;
    }
    if (n - at < 3) {
      info.problem = "length field of marker " + hex_byte(m) + " cut" + at_offset(at);
      return info;
    }
    const size_t length = be16(b, at + 1);
    if (length < 2 || n - at - 1 < length) {
      info.problem = "segment " + hex_byte(m) + " of length " + std::to_string(length) +
                     (length < 2 ? " (below 2)" : " runs past the end") + at_offset(at);
      return info;
    }
    if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC && length >= 8) {
      info.has_frame = true;
      info.frame_marker = static_cast<int>(m);
      info.height = static_cast<int>(be16(b, at + 4));
      info.width = static_cast<int>(be16(b, at + 6));
      info.components = b[at + 8];
    }
    if (m == 0xDA) {
      info.has_scan = true;
      const size_t components = length > 2 ? b[at + 3] : 0;
      if (length != 6 + 2 * components) info.stored = true;
      const size_t begin = at + 1 + length;
      size_t end = n;
      if (n - begin >= 2 && b[n - 2] == 0xFF && b[n - 1] == 0xD9) end = n - 2;
      info.scan_bytes = end - begin;
      info.scan_ff = static_cast<size_t>(std::count(b.begin() + static_cast<ptrdiff_t>(begin),
                                                    b.begin() + static_cast<ptrdiff_t>(end), 0xFF));
      break;
    }
    r = at + 1 + length;
  }
  info.marker_stream = n > 0;
  if (n == 0) info.problem = "empty";
  return info;
}

LzoInfo read_lzo(const Bytes& bytes, size_t limit) {
  LzoInfo info;
  // Grow the output until the stream fits: LZO1X has no size field.
  size_t capacity = std::min(limit, std::max<size_t>(bytes.size() * 4, 4096));
  for (;;) {
    Bytes out(capacity);
    lzo_uint written = out.size();
    const int status =
        lzo1x_decompress_safe(bytes.data(), bytes.size(), out.data(), &written, nullptr);
    if (status == LZO_E_OK || status == LZO_E_INPUT_NOT_CONSUMED) {
      info.status = LzoInfo::kOk;
      info.size = written;
      return info;
    }
    if (status == LZO_E_OUTPUT_OVERRUN) {
      if (capacity >= limit) {
        info.status = LzoInfo::kTooLarge;
        info.size = limit;
        return info;
      }
      capacity = std::min(limit, capacity * 4);
      continue;
    }
    if (status == LZO_E_INPUT_OVERRUN || status == LZO_E_EOF_NOT_FOUND) {
      info.status = LzoInfo::kCutShort;
      info.detail = status == LZO_E_EOF_NOT_FOUND ? "it has no end-of-stream marker"
                                                  : "it stops inside an instruction";
    } else {
      info.status = LzoInfo::kCorrupt;
      info.detail = status == LZO_E_LOOKBEHIND_OVERRUN ? "a back-reference points before the start"
                                                       : "liblzo2 error " + std::to_string(status);
    }
    return info;
  }
}

}  // namespace payload_info
