// Fuzz target for repair_jpeg. Every result is compared with a plain,
// byte-at-a-time rewrite written from the rules alone, so the fast kernels
// and the bounded single-pass writer are checked, not merely survived. On top
// of that, the properties a caller relies on are checked directly: the size
// bound, the closing FF D9 of a rewritten scan, and that a repaired stream
// is standard (a second repair gives it back unchanged).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "guarded_input.h"
#include "maskjpeg.h"

namespace {

using Bytes = std::vector<uint8_t>;

void append(Bytes& out, const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); }

enum class Scan { kNone, kRewritten, kRewrittenFromBadHeader };

// Returns false where the call must fail; `scan` tells whether a stored scan
// header was rewritten, and whether its length matched its component count.
bool reference_repair(const uint8_t* in, size_t n, Bytes& out, Scan& scan) {
  scan = Scan::kNone;
  size_t r = 0;
  while (r < n) {
    if (in[r] != 0xFF || r + 1 >= n) return false;
    const uint8_t m = in[r + 1];
    if (m == 0xFF) {  // a fill byte, written only with the marker it precedes
      size_t marker = r + 1;
      while (marker < n && in[marker] == 0xFF) ++marker;
      if (marker == n) return false;
      if (in[marker] != 0xA0) out.insert(out.end(), marker - 1 - r, 0xFF);
      r = marker - 1;
      continue;
    }
    if (m == 0xA0) {
      r += 2;
      continue;
    }
    out.push_back(0xFF);
    if (m == 0xD8) {
      out.push_back(m);
      r += 2;
      continue;
    }
    if (m == 0xD9) {
      out.push_back(m);
      return true;
    }
    if (m == 0xE0) {
      append(out, in + r + 1, n - r - 1);
      return true;
    }
    if (m < 0xC0 && m != 0xDA) return false;
    if (m >= 0xD0 && m <= 0xD7) return false;
    if (r + 4 > n) return false;
    const size_t length = size_t{in[r + 2]} << 8 | in[r + 3];
    if (length < 2) return false;
    if (m == 0xDA) {
      if (length > 2 && r + 4 < n && length == 6 + 2 * size_t{in[r + 4]}) {
        append(out, in + r + 1, n - r - 1);
        return true;
      }
      if (length > 65532 || r + 2 + length > n) return false;
      const bool well_formed = length > 2 && length == 3 + 2 * size_t{in[r + 4]};
      scan = well_formed ? Scan::kRewritten : Scan::kRewrittenFromBadHeader;
      const size_t fixed = length + 3;
      out.push_back(0xDA);
      out.push_back(static_cast<uint8_t>(fixed >> 8));
      out.push_back(static_cast<uint8_t>(fixed));
      append(out, in + r + 4, length - 2);
      out.insert(out.end(), {0x00, 0x3F, 0x00});
      const size_t begin = r + 2 + length;
      size_t end = n;
      if (end - begin >= 2 && in[n - 2] == 0xFF && in[n - 1] == 0xD9) end -= 2;
      for (size_t i = begin; i < end; ++i) {
        out.push_back(in[i]);
        if (in[i] == 0xFF) out.push_back(0x00);
      }
      out.insert(out.end(), {0xFF, 0xD9});
      return true;
    }
    if (r + 2 + length > n) return false;
    append(out, in + r + 1, length + 1);
    r += 2 + length;
  }
  return true;
}

bool equal(const uint8_t* p, int32_t size, const Bytes& want) {
  return p != nullptr && static_cast<size_t>(size) == want.size() &&
         std::memcmp(p, want.data(), want.size()) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  const GuardedInput input(data, size);
  int32_t out_size = -1;
  uint8_t* out = repair_jpeg(input.data(), input.size(), &out_size);
  Bytes expected;
  Scan scan = Scan::kNone;
  const bool ok =
      size > 0 && reference_repair(input.data(), size, expected, scan) && !expected.empty();
  if (!ok) {
    if (out != nullptr || out_size != 0) abort();
    return 0;
  }
  if (!equal(out, out_size, expected)) abort();
  // Every FF of the scan may double, and a scan cut before its FF D9 gets one:
  // never more than 2n + 1 bytes (the extra one needs a stream that is all
  // scan, without SOI and without EOI).
  if (static_cast<size_t>(out_size) > 2 * size + 1) abort();
  if ((scan == Scan::kRewritten || scan == Scan::kRewrittenFromBadHeader) &&
      (out_size < 2 || out[out_size - 2] != 0xFF || out[out_size - 1] != 0xD9))
    abort();
  if (scan != Scan::kRewrittenFromBadHeader) {
    // A result is a marker stream that a second repair gives back unchanged,
    // unless a stored scan header had a length that did not match its
    // component count (the rewritten one then reads as stored again).
    const GuardedInput again(out, static_cast<size_t>(out_size));
    int32_t again_size = -1;
    uint8_t* twice = repair_jpeg(again.data(), again.size(), &again_size);
    if (!equal(twice, again_size, expected)) abort();
    free_mask_buffer(twice);
  }
  free_jpeg_buffer(out);
  return 0;
}
