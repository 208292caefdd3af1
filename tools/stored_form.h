// Turns a standard single-scan baseline JPEG into the
// compact stored variant that repair_jpeg reads: APPn and COM segments
// dropped, FF A0 after SOI, the scan header's last three bytes cut and its
// length lowered by 3, and the 00 after every FF of the scan data removed.
// Used by the tests and by the demo's sample generator; header-only.
#ifndef MASKJPEG_TOOLS_STORED_FORM_H
#define MASKJPEG_TOOLS_STORED_FORM_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace stored_form {

using Bytes = std::vector<uint8_t>;

inline bool is_app_or_comment(uint8_t marker) {
  return (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
}

inline size_t segment_length(const Bytes& jpeg, size_t at) {
  return size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
}

// The stream without its APPn and COM segments: what repairing its stored
// form must give back. Empty if the stream is not SOI + segments + SOS.
inline Bytes without_app_segments(const Bytes& jpeg) {
  if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return {};
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
    const uint8_t marker = jpeg[at + 1];
    if (marker == 0xDA) {
      out.insert(out.end(), jpeg.begin() + static_cast<ptrdiff_t>(at), jpeg.end());
      return out;
    }
    const size_t next = at + 2 + segment_length(jpeg, at);
    if (next > jpeg.size()) return {};
    if (!is_app_or_comment(marker)) {
      out.insert(out.end(), jpeg.begin() + static_cast<ptrdiff_t>(at),
                 jpeg.begin() + static_cast<ptrdiff_t>(next));
    }
    at = next;
  }
  return {};
}

// The stored variant of a standard stream; empty if it is not one that the
// variant can hold. With `keep_restart_markers`, restart markers (FF D0 to
// FF D7) in the scan are kept as they are, as a writer of the stored form
// that only drops stuffing bytes would leave them.
inline Bytes to_stored_form(const Bytes& jpeg, bool keep_restart_markers = false) {
  const Bytes plain = without_app_segments(jpeg);
  if (plain.size() < 6 || plain[plain.size() - 2] != 0xFF || plain.back() != 0xD9) return {};
  Bytes out = {0xFF, 0xD8, 0xFF, 0xA0};
  size_t at = 2;
  while (plain[at + 1] != 0xDA) {
    const size_t next = at + 2 + segment_length(plain, at);
    out.insert(out.end(), plain.begin() + static_cast<ptrdiff_t>(at),
               plain.begin() + static_cast<ptrdiff_t>(next));
    at = next;
  }
  const size_t length = segment_length(plain, at);
  const size_t stored_length = length - 3;
  out.insert(out.end(), {0xFF, 0xDA, static_cast<uint8_t>(stored_length >> 8),
                         static_cast<uint8_t>(stored_length & 0xFF)});
  out.insert(out.end(), plain.begin() + static_cast<ptrdiff_t>(at + 4),
             plain.begin() + static_cast<ptrdiff_t>(at + 2 + stored_length));
  // Scan data up to the closing FF D9: drop the stuffing byte after each FF.
  for (size_t i = at + 2 + length; i + 2 < plain.size(); ++i) {
    out.push_back(plain[i]);
    if (plain[i] == 0xFF) {
      const uint8_t next = plain[i + 1];
      if (keep_restart_markers && next >= 0xD0 && next <= 0xD7) continue;
      if (next != 0x00) return {};  // a marker inside the scan
      ++i;
    }
  }
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

}  // namespace stored_form

#endif  // MASKJPEG_TOOLS_STORED_FORM_H
