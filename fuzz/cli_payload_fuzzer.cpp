// Fuzz target for the CLI's payload reading and explaining code, checked
// against the library: what the CLI says of a payload must agree with what
// the library did with it. The first two bytes choose a mask's width and
// height (1..128 each); the rest is the payload, read both as a JPEG and as
// an LZO1X mask stream.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "guarded_input.h"
#include "maskjpeg.h"
#include "payload_info.h"

namespace {

// Smaller than the CLI's own cap, to keep each run fast; still far past
// the largest packed mask the target asks for (32 x 128 bytes).
constexpr size_t kLzoLimit = size_t{1} << 16;

void check_jpeg(const GuardedInput& input) {
  const size_t n = static_cast<size_t>(input.size());
  int32_t size = -1;
  uint8_t* out = repair_jpeg(input.data(), input.size(), &size);
  const payload_info::JpegReport report = payload_info::read_jpeg(input.data(), n);
  if (out == nullptr) {
    if (report.verdict != payload_info::JpegReport::kRejected || report.reason.empty()) abort();
    return;
  }
  const bool unchanged = static_cast<size_t>(size) == n && std::memcmp(out, input.data(), n) == 0;
  free_jpeg_buffer(out);
  if (report.verdict == payload_info::JpegReport::kRejected) abort();
  if (report.size != static_cast<size_t>(size)) abort();
  if ((report.verdict == payload_info::JpegReport::kStandard) != unchanged) abort();
  if (report.scan_ff > report.scan_bytes || report.scan_bytes > n) abort();
  // The CLI says how many stuffing bytes a repair adds; the result must
  // hold at least that many more bytes than the scan it came from.
  if (report.verdict == payload_info::JpegReport::kRepaired &&
      static_cast<size_t>(size) < report.scan_bytes + report.scan_ff) {
    abort();
  }
}

void check_mask(const GuardedInput& input, int32_t width, int32_t height) {
  const size_t n = static_cast<size_t>(input.size());
  const size_t packed = (static_cast<size_t>(width) + 3) / 4 * static_cast<size_t>(height);
  int32_t size = -1;
  uint8_t* out = decode_mask(input.data(), input.size(), width, height, &size);
  free_mask_buffer(out);
  const payload_info::LzoReport lzo = payload_info::read_lzo(input.data(), n, kLzoLimit);
  // What info reports decides whether the mask fits: a stream that
  // decompresses whole to at most the packed size decodes, and no other.
  const bool fits = lzo.ok() && lzo.size <= packed;
  if ((out != nullptr) != fits) abort();
  if (out != nullptr) return;
  const std::string why = payload_info::explain_mask_refusal(input.data(), n, width, height);
  // A refusal is explained by the stream, never put on the library.
  if (why.empty() || why == "the library ran out of memory") abort();
  if (why.rfind("its LZO1X stream holds more data", 0) == 0) return;
  // Not too much data: the stream fails before it fills the mask, so info,
  // reading further, meets the same fault.
  if (lzo.status != payload_info::LzoReport::kCutShort &&
      lzo.status != payload_info::LzoReport::kCorrupt) {
    abort();
  }
  if (why.find(lzo.detail) == std::string::npos) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > (1u << 20)) return 0;
  const int32_t width = 1 + (data[0] & 127);
  const int32_t height = 1 + (data[1] & 127);
  const GuardedInput input(data + 2, size - 2);
  check_jpeg(input);
  check_mask(input, width, height);
  return 0;
}
