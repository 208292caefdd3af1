// The portable scan stuffing: plain C++ that every CPU runs, and the
// reference the SIMD families are tested against. The count reads whole
// words while eight bytes remain and single bytes after; the stuffing
// checks every run it copies and every FF 00 it writes against the room
// left, so it never writes past out + capacity.
#include <algorithm>
#include <cstring>

#include "scan_kernel_families.h"

namespace maskjpeg {
namespace {

constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;

// Eight stuffed FF bytes, for whole words of FF.
constexpr uint8_t kStuffedWord[16] = {kFF, 0, kFF, 0, kFF, 0, kFF, 0,
                                      kFF, 0, kFF, 0, kFF, 0, kFF, 0};

inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// 1 in every byte of `word` that is FF, 0 in the others. The FF bytes are
// the zero bytes of ~word, and this zero-byte test carries nothing from one
// byte into the next, so every flag is exact.
inline uint64_t ff_byte_flags(uint64_t word) {
  const uint64_t y = ~word;
  return (~(((y & kLow7) + kLow7) | y | kLow7)) >> 7;
}

// The sum of the eight bytes of `lanes`.
inline size_t sum_bytes(uint64_t lanes) {
  constexpr uint64_t kEvenBytes = 0x00FF00FF00FF00FFULL;
  const uint64_t pairs = (lanes & kEvenBytes) + ((lanes >> 8) & kEvenBytes);  // 16-bit lanes
  return static_cast<size_t>((pairs * 0x0001000100010001ULL) >> 48);
}

// Stuffs a stretch dense in FF byte by byte, with no branch on the data:
// each byte is written with a 00 after it, and the output moves on past the
// 00 only when the byte is FF. Reads in[0, kDenseChunk); writes below
// out + 2 * kDenseChunk. Returns the number of FF bytes.
constexpr size_t kDenseChunk = 64;
inline size_t stuff_dense_chunk(const uint8_t* in, uint8_t*& out) {
  uint8_t* o = out;
  size_t ff_count = 0;
  for (size_t i = 0; i < kDenseChunk; ++i) {
    const uint8_t b = in[i];
    const size_t is_ff = b == kFF;
    o[0] = b;
    o[1] = 0;
    o += 1 + is_ff;
    ff_count += is_ff;
  }
  out = o;
  return ff_count;
}

}  // namespace

size_t count_ff_portable(const uint8_t* in, size_t n) {
  size_t count = 0;
  size_t i = 0;
  while (n - i >= 8) {
    // Flags add up per byte lane; 255 words at most, so no lane overflows.
    const size_t words = std::min((n - i) / 8, size_t{255});
    uint64_t lanes = 0;
    for (size_t w = 0; w < words; ++w, i += 8) lanes += ff_byte_flags(load64(in + i));
    count += sum_bytes(lanes);
  }
  for (; i < n; ++i) count += in[i] == kFF;
  return count;
}

// memchr finds the next FF and memcpy copies the run before it, which is
// fast while FF bytes are far apart (one in 256 in entropy-coded data). A
// call of each per FF would cost far more than the bytes where FF bytes are
// close together, so after two short runs the kernel goes byte by byte, 64
// bytes at a time, until a chunk holds fewer than four FF bytes.
StuffProgress stuff_portable(const uint8_t* in, size_t n, uint8_t* out, size_t capacity) {
  constexpr size_t kShortRun = 16;
  constexpr size_t kDenseChunkMinFF = 4;
  size_t short_runs = 0;
  const uint8_t* p = in;
  const uint8_t* const end = in + n;
  uint8_t* o = out;
  uint8_t* const out_end = out + capacity;
  while (p < end) {
    const auto* ff = static_cast<const uint8_t*>(std::memchr(p, kFF, static_cast<size_t>(end - p)));
    const size_t run = static_cast<size_t>((ff != nullptr ? ff : end) - p);
    const size_t room = static_cast<size_t>(out_end - o);
    if (run > room) {  // the output fills up inside this run
      std::memcpy(o, p, room);
      p += room;
      o += room;
      break;
    }
    std::memcpy(o, p, run);
    o += run;
    p += run;
    if (ff == nullptr) break;
    // A run of FF bytes: whole words at a time, then one by one.
    while (end - p >= 8 && out_end - o >= 16 && load64(p) == kAllFF) {
      std::memcpy(o, kStuffedWord, sizeof kStuffedWord);
      o += sizeof kStuffedWord;
      p += 8;
    }
    while (p < end && *p == kFF && out_end - o >= 2) {
      o[0] = kFF;
      o[1] = 0;
      o += 2;
      ++p;
    }
    if (p < end && *p == kFF) break;  // no room for the next FF 00
    // Two short runs in a row (rare in entropy-coded data) start a stretch
    // of chunks.
    short_runs = run < kShortRun ? short_runs + 1 : 0;
    if (short_runs < 2) continue;
    short_runs = 0;
    // The chunks need kDenseChunk bytes of input and twice that of room.
    while (static_cast<size_t>(end - p) >= kDenseChunk &&
           static_cast<size_t>(out_end - o) >= 2 * kDenseChunk) {
      const size_t ff_count = stuff_dense_chunk(p, o);
      p += kDenseChunk;
      if (ff_count < kDenseChunkMinFF) break;
    }
  }
  return {static_cast<size_t>(p - in), static_cast<size_t>(o - out)};
}

}  // namespace maskjpeg
