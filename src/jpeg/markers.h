// The marker bytes the JPEG repair knows: the byte after an FF. Shared by
// the rewrite and by the CLI that explains what the rewrite did.
#ifndef MASKJPEG_SRC_JPEG_MARKERS_H
#define MASKJPEG_SRC_JPEG_MARKERS_H

#include <cstdint>

namespace maskjpeg {

constexpr uint8_t kMarkerPrefix = 0xFF;  // also a fill byte before a marker
constexpr uint8_t kStoredMarker = 0xA0;  // the stored variant's own marker, dropped
constexpr uint8_t kSOF0 = 0xC0;          // first of the SOFn, DHT, JPG, DAC range
constexpr uint8_t kSOF15 = 0xCF;
constexpr uint8_t kDHT = 0xC4;
constexpr uint8_t kJPG = 0xC8;
constexpr uint8_t kDAC = 0xCC;
constexpr uint8_t kRST0 = 0xD0;
constexpr uint8_t kRST7 = 0xD7;
constexpr uint8_t kSOI = 0xD8;
constexpr uint8_t kEOI = 0xD9;
constexpr uint8_t kSOS = 0xDA;
constexpr uint8_t kAPP0 = 0xE0;

// Markers from C0 up that carry a length field: all but RST0-RST7, SOI and
// EOI (SOS and APP0 have handling of their own).
constexpr bool has_length_field(uint8_t m) {
  return m >= kSOF0 && m != kMarkerPrefix && !(m >= kRST0 && m <= kRST7) && m != kSOI && m != kEOI;
}

// A start-of-frame segment (SOF0 to SOF15): the image's size and components.
constexpr bool is_frame_marker(uint8_t m) {
  return m >= kSOF0 && m <= kSOF15 && m != kDHT && m != kJPG && m != kDAC;
}

}  // namespace maskjpeg

#endif  // MASKJPEG_SRC_JPEG_MARKERS_H
