#include "payload_info.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <new>

#include "jpeg/markers.h"
#include "jpeg/rewrite.h"
#include "jpeg/scan_kernels.h"

namespace payload_info {
namespace {

using maskjpeg::RewriteTrace;
using Stop = RewriteTrace::Stop;

size_t be16(const uint8_t* p) { return size_t{p[0]} << 8 | p[1]; }

template <typename... Args>
std::string format(const char* pattern, Args... args) {
  char text[256];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

// The trace's reason in words, with the byte or segment it names.
std::string refusal(const RewriteTrace& t, const uint8_t* in, size_t n) {
  const size_t at = t.at;
  const unsigned m = at < n ? in[at] : 0;
  switch (t.stop) {
    case Stop::kTooLarge:
      return format("%zu bytes is past the library's limit (less than 1 GiB, 1073741824 bytes)", n);
    case Stop::kNotMarker:
      return format("byte %02X where a marker should start at offset %zu", m, at);
    case Stop::kNoMarkerByte:
      return format("FF with no marker byte after it at offset %zu, the end", at);
    case Stop::kUnknownMarker:
      return format(
          "marker byte %02X at offset %zu is neither one it knows nor one with a "
          "length field",
          m, at);
    case Stop::kLengthCut:
      return format("the length field of marker %02X at offset %zu is cut off by the end", m, at);
    case Stop::kLengthBelowTwo:
      return format("segment %02X at offset %zu has length %zu, below 2", m, at, be16(in + at + 1));
    case Stop::kSegmentPastEnd:
      return format("segment %02X at offset %zu of length %zu runs past the end (%zu bytes)", m, at,
                    be16(in + at + 1), n);
    case Stop::kScanHeaderTooLong:
      return format(
          "the stored scan header at offset %zu, of length %zu, has no room for its "
          "3 closing bytes",
          at, be16(in + at + 1));
    case Stop::kNothingWritten:
      return "it holds nothing but FF A0 markers";
    case Stop::kNoRoom:
      return "the library ran out of memory";
    default:
      return "";
  }
}

}  // namespace

JpegReport read_jpeg(const uint8_t* in, size_t n) {
  JpegReport report;
  if (n == 0) {
    report.reason = "empty";
    return report;
  }
  RewriteTrace trace;
  size_t size = 0;
  const maskjpeg::Buffer result =
      maskjpeg::repair(in, n, maskjpeg::best_scan_kernels(), size, &trace);
  if (!result) {
    report.reason = refusal(trace, in, n);
    return report;
  }
  report.size = size;
  report.verdict = size == n && std::equal(in, in + n, result.get()) ? JpegReport::kStandard
                                                                     : JpegReport::kRepaired;
  // The walk checked that the frame segment lies inside the input.
  if (trace.frame_at != RewriteTrace::kNone && be16(in + trace.frame_at + 1) >= 8) {
    const uint8_t* frame = in + trace.frame_at;
    report.has_frame = true;
    report.frame_marker = frame[0];
    report.height = static_cast<int>(be16(frame + 4));
    report.width = static_cast<int>(be16(frame + 6));
    report.components = frame[8];
  }
  if (trace.stop == Stop::kRepairedScan) {
    report.has_scan = true;
    report.scan_bytes = trace.scan_end - trace.scan_begin;
    report.scan_ff = trace.scan_ff;
  } else if (trace.stop == Stop::kStandardScan) {
    report.has_scan = true;
    // A standard scan passes unchanged, its header unchecked against the end.
    const size_t begin = trace.scan_at + 1 + be16(in + trace.scan_at + 1);
    size_t end = n;
    if (begin <= n && n - begin >= 2 && in[n - 2] == maskjpeg::kMarkerPrefix &&
        in[n - 1] == maskjpeg::kEOI) {
      end = n - 2;
    }
    report.scan_bytes = begin <= end ? end - begin : 0;
  }
  return report;
}

LzoReport read_lzo(const uint8_t* data, size_t size, size_t limit) {
  LzoReport report;
  // LZO1X has no size field: decompress into a buffer that grows fourfold
  // until the stream fits or `limit` is reached. The buffer is not
  // zero-filled, so its untouched pages cost no memory.
  size_t capacity = std::min(limit, std::max<size_t>(size * 4, 4096));
  for (;;) {
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[capacity]);
    if (!out) {
      report.status = LzoReport::kOutOfMemory;
      return report;
    }
    lzo_uint written = capacity;
    // The decompressor's prototype lacks const on its source; it only reads.
    const int status =
        lzo1x_decompress_safe(const_cast<uint8_t*>(data), size, out.get(), &written, nullptr);
    if (status == LZO_E_OK || status == LZO_E_INPUT_NOT_CONSUMED) {
      report.status = LzoReport::kOk;
      report.size = written;
      return report;
    }
    if (status == LZO_E_OUTPUT_OVERRUN) {
      if (capacity >= limit) {
        report.status = LzoReport::kTooLarge;
        report.size = limit;
        return report;
      }
      capacity = capacity > limit / 4 ? limit : capacity * 4;
      continue;
    }
    if (status == LZO_E_INPUT_OVERRUN || status == LZO_E_EOF_NOT_FOUND) {
      report.status = LzoReport::kCutShort;
      report.detail = status == LZO_E_EOF_NOT_FOUND ? "it has no end-of-stream marker"
                                                    : "it stops inside an instruction";
    } else {
      report.detail = status == LZO_E_LOOKBEHIND_OVERRUN
                          ? "a back-reference points before the start"
                          : "liblzo2 error " + std::to_string(status);
    }
    return report;
  }
}

std::string explain_mask_refusal(const uint8_t* data, size_t size, int32_t width, int32_t height) {
  const size_t packed = (static_cast<size_t>(width) + 3) / 4 * static_cast<size_t>(height);
  const LzoReport lzo = read_lzo(data, size, packed);
  const std::string mask = std::to_string(width) + "x" + std::to_string(height) + " mask";
  switch (lzo.status) {
    case LzoReport::kTooLarge:
      return "its LZO1X stream holds more data than a " + mask + " takes (" +
             std::to_string(packed) + " bytes; maskjpeg info lists the shapes it fits)";
    case LzoReport::kCutShort:
      return "the LZO1X stream is cut short: " + lzo.detail;
    case LzoReport::kCorrupt:
      return "not a valid LZO1X stream: " + lzo.detail;
    case LzoReport::kOutOfMemory:
      return "out of memory";
    case LzoReport::kOk:
      break;
  }
  // The stream fits, so only memory can have failed the library.
  return "the library ran out of memory";
}

}  // namespace payload_info
