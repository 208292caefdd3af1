// Fuzz target for repair_jpeg. Every result is compared with a plain,
// byte-at-a-time rewrite written from the rules alone, so the fast kernels
// and the count-then-write passes are checked, not merely survived.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "maskjpeg.h"

namespace {

using Bytes = std::vector<uint8_t>;

void append(Bytes& out, const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); }

// Returns false where the call must fail.
bool reference_repair(const uint8_t* in, size_t n, Bytes& out) {
  size_t r = 0;
  while (r < n) {
    if (in[r] != 0xFF || r + 1 >= n) return false;
    const uint8_t m = in[r + 1];
    if (m == 0xA0) {
      r += 2;
      continue;
    }
    out.push_back(0xFF);
    if (m == 0xFF) {
      r += 1;
      continue;
    }
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  // An exactly sized heap copy, so any overread is caught by the sanitizer.
  const Bytes input(data, data + size);
  int32_t out_size = -1;
  uint8_t* out =
      repair_jpeg(input.empty() ? nullptr : input.data(), static_cast<int32_t>(size), &out_size);
  Bytes expected;
  const bool ok =
      !input.empty() && reference_repair(input.data(), input.size(), expected) && !expected.empty();
  if (!ok) {
    if (out != nullptr || out_size != 0) abort();
    return 0;
  }
  if (out == nullptr || static_cast<size_t>(out_size) != expected.size() ||
      std::memcmp(out, expected.data(), expected.size()) != 0) {
    abort();
  }
  free_jpeg_buffer(out);
  return 0;
}
