#include "scan_kernels.h"

#include <algorithm>
#include <cstring>

#include "../cpu_features.h"

namespace maskjpeg {
namespace {

constexpr uint8_t kFF = 0xFF;
constexpr uint64_t kAllFF = ~uint64_t{0};
constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;

// Eight stuffed FF bytes, for whole words of FF.
constexpr uint8_t kStuffedWord[16] = {kFF, 0, kFF, 0, kFF, 0, kFF, 0,
                                      kFF, 0, kFF, 0, kFF, 0, kFF, 0};

// Stuffing eight bytes at a time by table, for stretches dense in FF: for
// each pattern of FF bytes in a group of eight (bit i: byte i is FF), the
// byte shuffle that spreads the group over 8 to 16 output bytes with a 00
// after each FF. An index with its top bit set selects a zero both in an
// SSSE3 byte shuffle and in a NEON table lookup (any index past 15 does).
// The group's output length is 8 plus its pattern's popcount, kept in a
// table too, since aarch64 has no scalar popcount.
struct GroupStuffing {
  uint8_t index[256][16];
  uint8_t length[256];
};

constexpr GroupStuffing make_group_stuffing() {
  constexpr uint8_t kZero = 0x80;
  GroupStuffing t{};
  for (size_t ff = 0; ff < 256; ++ff) {
    size_t at = 0;
    for (size_t i = 0; i < 8; ++i) {
      t.index[ff][at++] = static_cast<uint8_t>(i);
      if ((ff >> i) & 1) t.index[ff][at++] = kZero;
    }
    t.length[ff] = static_cast<uint8_t>(at);
    for (; at < 16; ++at) t.index[ff][at] = kZero;
  }
  return t;
}

[[maybe_unused]] alignas(64) constexpr GroupStuffing kGroupStuffing = make_group_stuffing();

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

// A SIMD kernel stops where its margins run out, at in + p and out + o;
// the portable kernel, which checks every run against the room, does the
// rest. Returns the progress of the whole call.
inline StuffProgress finish_portably(const uint8_t* in, size_t n, uint8_t* out, size_t capacity,
                                     const uint8_t* p, uint8_t* o) {
  const size_t consumed = static_cast<size_t>(p - in);
  const size_t written = static_cast<size_t>(o - out);
  const StuffProgress rest = stuff_portable(p, n - consumed, o, capacity - written);
  return {consumed + rest.consumed, written + rest.written};
}

#if MASKJPEG_ARM_NEON
size_t count_ff_neon(const uint8_t* in, size_t n) {
  const uint8x16_t ff = vdupq_n_u8(kFF);
  size_t count = 0;
  size_t i = 0;
  while (n - i >= 16) {
    // A match is all ones, so subtracting it adds one to its lane; 255
    // blocks at most, so no lane overflows.
    const size_t blocks = std::min((n - i) / 16, size_t{255});
    uint8x16_t lanes = vdupq_n_u8(0);
    for (size_t b = 0; b < blocks; ++b, i += 16) {
      lanes = vsubq_u8(lanes, vceqq_u8(vld1q_u8(in + i), ff));
    }
    count += vaddlvq_u8(lanes);
  }
  for (; i < n; ++i) count += in[i] == kFF;
  return count;
}

// Four bits per byte of `block`, byte i in bits 4i to 4i + 3: all set for
// an FF byte, clear for any other. (The narrowing shift keeps the middle
// byte of every 16-bit pair of compare results.)
inline uint64_t ff_nibbles(uint8x16_t block) {
  const uint8x16_t eq = vceqq_u8(block, vdupq_n_u8(kFF));
  return vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(eq), 4)), 0);
}

// The 8-bit FF pattern (bit i: byte i is FF) of each half of `block`.
inline void ff_group_patterns(uint8x16_t block, uint8_t& low, uint8_t& high) {
  const uint8x16_t bit = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
  const uint8x16_t flags = vandq_u8(vceqq_u8(block, vdupq_n_u8(kFF)), bit);
  low = vaddv_u8(vget_low_u8(flags));
  high = vaddv_u8(vget_high_u8(flags));
}

// A 16-byte block by table, as two groups of eight (kGroupStuffing): each
// group is looked up into a 16-byte store at the output's end, which then
// moves on by the group's output length. Writes below out + 32.
inline uint8_t* stuff_groups_neon(uint8x16_t block, uint8_t* out) {
  uint8_t low = 0;
  uint8_t high = 0;
  ff_group_patterns(block, low, high);
  const uint8x16_t low_index = vld1q_u8(kGroupStuffing.index[low]);
  // The high group's bytes are lanes 8 to 15; a zero's index stays past 15.
  const uint8x16_t high_index = vaddq_u8(vld1q_u8(kGroupStuffing.index[high]), vdupq_n_u8(8));
  vst1q_u8(out, vqtbl1q_u8(block, low_index));
  out += kGroupStuffing.length[low];
  vst1q_u8(out, vqtbl1q_u8(block, high_index));
  return out + kGroupStuffing.length[high];
}

// NEON: 32 input bytes a step, in two 16-byte blocks stored as they are. A
// step without FF (seven in eight in entropy-coded data) ends there. One
// with a single FF has written the bytes before it correctly; FF 00 follows
// in a 16-byte pattern store, and the next step starts after the FF. A step
// with more goes by table, eight bytes at a time, so that data dense in FF
// costs the same per byte as any other, and an all-FF step is four pattern
// stores.
//
// Bounds: a step reads 32 bytes from its start and writes below out + 64
// (the blocks end at 32; the pairs for an FF at k < 32 end at k + 16; the
// groups and the all-FF pairs at 64), so it runs only while 32 bytes of
// input and 64 of room remain; the rest is left to the portable kernel,
// which checks every run against the room.
StuffProgress stuff_neon(const uint8_t* in, size_t n, uint8_t* out, size_t capacity) {
  constexpr size_t kBlock = 16;
  constexpr size_t kInputMargin = 2 * kBlock;
  constexpr size_t kOutputMargin = 4 * kBlock;
  const uint8x16_t pairs = vreinterpretq_u8_u16(vdupq_n_u16(0x00FF));  // FF 00 in memory order

  const uint8_t* p = in;
  uint8_t* o = out;
  if (n >= kInputMargin && capacity >= kOutputMargin) {
    const uint8_t* const p_last = in + (n - kInputMargin);
    uint8_t* const o_last = out + (capacity - kOutputMargin);
    while (p <= p_last && o <= o_last) {
      const uint8x16_t first = vld1q_u8(p);
      const uint8x16_t second = vld1q_u8(p + kBlock);
      const uint64_t ff_first = ff_nibbles(first);
      const uint64_t ff_second = ff_nibbles(second);
      vst1q_u8(o, first);
      vst1q_u8(o + kBlock, second);
      if ((ff_first | ff_second) == 0) {
        p += kInputMargin;
        o += kInputMargin;
        continue;
      }
      // One bit per FF byte, to tell one FF from several.
      constexpr uint64_t kNibbleLowBits = 0x1111111111111111ULL;
      const uint64_t first_bits = ff_first & kNibbleLowBits;
      const uint64_t second_bits = ff_second & kNibbleLowBits;
      const bool single = (first_bits & (first_bits - 1)) == 0 &&
                          (second_bits & (second_bits - 1)) == 0 &&
                          (first_bits == 0 || second_bits == 0);
      if (single) {
        const bool in_first = ff_first != 0;
        const size_t plain = (in_first ? 0 : kBlock) +
                             static_cast<size_t>(__builtin_ctzll(in_first ? ff_first : ff_second)) / 4;
        vst1q_u8(o + plain, pairs);
        p += plain + 1;
        o += plain + 2;
      } else if ((ff_first & ff_second) == ~uint64_t{0}) {  // all 32 bytes FF
        for (size_t i = 0; i < kOutputMargin; i += kBlock) vst1q_u8(o + i, pairs);
        p += kInputMargin;
        o += kOutputMargin;
      } else {
        o = stuff_groups_neon(second, stuff_groups_neon(first, o));
        p += kInputMargin;
      }
    }
  }
  return finish_portably(in, n, out, capacity, p, o);
}
#endif

#if MASKJPEG_X86_SIMD
__attribute__((target("avx2,popcnt"))) size_t count_ff_avx2(const uint8_t* in, size_t n) {
  const __m256i ff = _mm256_set1_epi8(static_cast<char>(kFF));
  size_t count = 0;
  size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    const auto a = static_cast<uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i)), ff)));
    const auto b = static_cast<uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 32)), ff)));
    count += static_cast<size_t>(_mm_popcnt_u64(uint64_t{a} | uint64_t{b} << 32));
  }
  for (; i < n; ++i) count += in[i] == kFF;
  return count;
}

// Eight groups of eight bytes by table (kGroupStuffing): each group is
// shuffled into a 16-byte store at the output's end, which then moves on by
// the group's output length. Reads in[0, 64); writes below out + 128 (the
// last group starts at most 7 * 16 bytes in).
__attribute__((target("avx2"), always_inline)) inline uint8_t* stuff_groups_avx2(
    const uint8_t* in, uint64_t ff_bits, uint8_t* out) {
  for (unsigned g = 0; g < 8; ++g) {
    const auto ff = static_cast<uint8_t>(ff_bits >> (8 * g));
    const __m128i group = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + 8 * g));
    const __m128i index = _mm_load_si128(reinterpret_cast<const __m128i*>(kGroupStuffing.index[ff]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(group, index));
    out += kGroupStuffing.length[ff];
  }
  return out;
}

// A 64-byte stretch with two or more FF bytes in a block (rare in
// entropy-coded data, every block of an FF-dense scan), `ff_bits` its FF
// bytes: all FF becomes 128 bytes of FF 00, anything else goes by groups.
// Every input costs the same, so no pattern of FF bytes makes a step wait on
// the one before it. Reads in[0, 64); writes below out + 128.
__attribute__((target("avx2"), always_inline)) inline uint8_t* stuff_dense_block_avx2(
    const uint8_t* in, uint64_t ff_bits, uint8_t* out) {
  if (ff_bits != kAllFF) return stuff_groups_avx2(in, ff_bits, out);
  const __m256i pairs = _mm256_set1_epi16(0x00FF);  // FF 00 in memory order
  for (size_t i = 0; i < 128; i += 32) _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), pairs);
  return out + 128;
}

constexpr size_t kStep31 = 31;  // input bytes an AVX2 block; with a 00, one vector
constexpr uint32_t kStep31Lanes = (uint32_t{1} << kStep31) - 1;

// Stuffs one 31-byte block (in the low 31 lanes of `block`) holding at most
// one FF, at lane k (`ff_bits`), with no data-dependent branch: lanes above
// k take the byte before them (the vector shifted up one byte across its
// two halves) and lane k + 1 takes a zero. Without an FF, k is 31 and the
// block is stored as it is. One store writes the 31 or 32 bytes; returns the
// output's new end.
__attribute__((target("avx2,bmi"), always_inline)) inline uint8_t* stuff_sparse_block_avx2(
    __m256i block, uint32_t ff_bits, uint8_t* out) {
  const __m256i lane = _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                        17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
  const auto k = static_cast<char>(_tzcnt_u32(ff_bits | (uint32_t{1} << kStep31)));
  const __m256i k_lanes = _mm256_set1_epi8(k);
  const __m256i shifted_up =
      _mm256_alignr_epi8(block, _mm256_permute2x128_si256(block, block, 0x08), 15);
  const __m256i above_k = _mm256_cmpgt_epi8(lane, k_lanes);
  const __m256i after_k = _mm256_cmpeq_epi8(lane, _mm256_add_epi8(k_lanes, _mm256_set1_epi8(1)));
  const __m256i stuffed =
      _mm256_andnot_si256(after_k, _mm256_blendv_epi8(block, shifted_up, above_k));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), stuffed);
  return out + kStep31 + (ff_bits != 0);
}

// AVX2: 31 input bytes a block, two blocks a step, so the loop's own
// compares and branches are shared. Blocks with at most one FF (99% of
// blocks in entropy-coded data) go through stuff_sparse_block_avx2 without a
// branch on the data, which costs less than a mispredicted branch per FF; a
// step that meets a denser block stuffs the 64 bytes from its start with
// stuff_dense_block_avx2 instead.
//
// Bounds: a step reads below in + 64 (its second block is loaded from
// in + 31, a dense step reads 64 bytes) and writes below out + 128 (a dense
// step; two sparse blocks write 32 + 32), so it runs only while 64 bytes of
// input and 128 of room remain; the rest is left to the portable kernel,
// which checks every run against the room.
__attribute__((target("avx2,bmi"))) StuffProgress stuff_avx2(const uint8_t* in, size_t n,
                                                             uint8_t* out, size_t capacity) {
  constexpr size_t kInputMargin = 64;
  constexpr size_t kOutputMargin = 128;
  const __m256i ff = _mm256_set1_epi8(static_cast<char>(kFF));
  auto several = [](uint32_t bits) { return (bits & (bits - 1)) != 0; };

  const uint8_t* p = in;
  uint8_t* o = out;
  if (n >= kInputMargin && capacity >= kOutputMargin) {
    const uint8_t* const p_last = in + (n - kInputMargin);
    uint8_t* const o_last = out + (capacity - kOutputMargin);
    while (p <= p_last && o <= o_last) {
      const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + kStep31));
      const auto first_bits =
          static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(first, ff)));
      const uint32_t ff_first = first_bits & kStep31Lanes;
      const uint32_t ff_second =
          static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(second, ff))) & kStep31Lanes;
      if (__builtin_expect(several(ff_first) || several(ff_second), 0)) {
        // The dense step takes the 64 bytes from p: the first 32 as compared
        // above, the next 32 loaded afresh.
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
        const uint64_t ff_bits =
            first_bits |
            uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, ff)))}
                << 32;
        o = stuff_dense_block_avx2(p, ff_bits, o);
        p += 64;
        continue;
      }
      o = stuff_sparse_block_avx2(first, ff_first, o);
      o = stuff_sparse_block_avx2(second, ff_second, o);
      p += 2 * kStep31;
    }
  }
  return finish_portably(in, n, out, capacity, p, o);
}

MASKJPEG_AVX512_BEGIN

__attribute__((target("avx512f,avx512bw,popcnt,bmi2"))) size_t count_ff_avx512(const uint8_t* in,
                                                                               size_t n) {
  const __m512i ff = _mm512_set1_epi8(static_cast<char>(kFF));
  size_t count = 0;
  size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    count +=
        static_cast<size_t>(_mm_popcnt_u64(_mm512_cmpeq_epi8_mask(_mm512_loadu_si512(in + i), ff)));
  }
  // The last 0 to 63 bytes with a masked load, which reads none of the
  // lanes left out. (Calling the portable count here instead lets clang
  // inline and re-vectorise it for AVX-512, which its back end cannot
  // select.)
  const __mmask64 tail = _bzhi_u64(~uint64_t{0}, static_cast<unsigned>(n - i));
  const __m512i last = _mm512_maskz_loadu_epi8(tail, in + i);
  return count + static_cast<size_t>(_mm_popcnt_u64(_mm512_mask_cmpeq_epi8_mask(tail, last, ff)));
}

// Permute indexes that insert a 00 after lane k of a vector (entry 63:
// nothing inserted): lanes up to k stay, lane k + 1 takes index 64, which
// selects a zero from the permute's second source, and later lanes take the
// byte before them; the last lane's byte is pushed out.
struct InsertZeroTable {
  uint8_t index[64][64];
};

constexpr InsertZeroTable make_insert_zero_table() {
  InsertZeroTable t{};
  for (size_t k = 0; k < 64; ++k) {
    for (size_t j = 0; j < 64; ++j) {
      t.index[k][j] = static_cast<uint8_t>(k == 63 || j <= k ? j : j == k + 1 ? 64 : j - 1);
    }
  }
  return t;
}

alignas(64) constexpr InsertZeroTable kInsertZero = make_insert_zero_table();

constexpr size_t kStep = 63;  // input bytes a block; with a 00, one vector
constexpr uint64_t kStepLanes = (uint64_t{1} << kStep) - 1;
constexpr uint64_t kNoLane = uint64_t{1} << kStep;  // tzcnt sentinel: entry 63

// Stuffs one 63-byte block holding at most one FF (`ff_bits`) with no
// data-dependent branch: a table-driven permute inserts the 00 after the FF
// (a block without one gets the do-nothing entry), and one store writes the
// 63 or 64 bytes. Returns the output's new end.
__attribute__((target("avx512f,avx512bw,avx512vbmi,bmi"), always_inline)) inline uint8_t*
stuff_sparse_block(__m512i block, uint64_t ff_bits, uint8_t* out) {
  const size_t lane = _tzcnt_u64(ff_bits | kNoLane);
  const __m512i index = _mm512_load_si512(kInsertZero.index[lane]);
  _mm512_storeu_si512(out, _mm512_permutex2var_epi8(block, index, _mm512_setzero_si512()));
  return out + kStep + (ff_bits != 0);
}

// 63 input bytes a block, two blocks a step, so the loop's own compares and
// branches are shared. Blocks with at most one FF (about 97% of blocks in
// entropy-coded data) go through stuff_sparse_block; a step that meets a
// denser block stuffs the 64 bytes from its start with the AVX2 kernel's
// stuff_dense_block_avx2 instead.
//
// Bounds: a step reads below in + 127 (its second block ends at in + 63 +
// 64) and writes below out + 128 (a dense step; two sparse blocks write
// 64 + 64), so it runs only while 128 bytes of input and 128 of room
// remain; the rest is left to the portable kernel, which checks every run
// against the room.
__attribute__((target("avx512f,avx512bw,avx512vbmi,avx2,bmi"))) StuffProgress stuff_avx512(
    const uint8_t* in, size_t n, uint8_t* out, size_t capacity) {
  constexpr size_t kInputMargin = 128;
  constexpr size_t kOutputMargin = 128;
  const __m512i ff = _mm512_set1_epi8(static_cast<char>(kFF));
  auto several = [](uint64_t bits) { return (bits & (bits - 1)) != 0; };

  const uint8_t* p = in;
  uint8_t* o = out;
  if (n >= kInputMargin && capacity >= kOutputMargin) {
    const uint8_t* const p_last = in + (n - kInputMargin);
    uint8_t* const o_last = out + (capacity - kOutputMargin);
    while (p <= p_last && o <= o_last) {
      const __m512i first = _mm512_loadu_si512(p);
      const __m512i second = _mm512_loadu_si512(p + kStep);
      const uint64_t first_bits = _mm512_cmpeq_epi8_mask(first, ff);  // all 64 lanes
      const uint64_t ff_first = first_bits & kStepLanes;
      const uint64_t ff_second = _mm512_cmpeq_epi8_mask(second, ff) & kStepLanes;
      if (__builtin_expect(several(ff_first) || several(ff_second), 0)) {
        o = stuff_dense_block_avx2(p, first_bits, o);
        p += 64;
        continue;
      }
      o = stuff_sparse_block(first, ff_first, o);
      o = stuff_sparse_block(second, ff_second, o);
      p += 2 * kStep;
    }
  }
  return finish_portably(in, n, out, capacity, p, o);
}

MASKJPEG_AVX512_END
#endif

}  // namespace

ScanKernels portable_scan_kernels() { return {count_ff_portable, stuff_portable}; }

size_t supported_scan_kernels(ScanKernels kernels[kMaxScanKernels]) {
  size_t n = 0;
#if MASKJPEG_X86_SIMD
  if (cpu_has_avx512vbmi()) {
    kernels[n++] = {count_ff_avx512, stuff_avx512};
  } else if (cpu_has_avx512bw()) {
    kernels[n++] = {count_ff_avx512, stuff_avx2};
  }
  if (cpu_has_avx2()) kernels[n++] = {count_ff_avx2, stuff_avx2};
#endif
#if MASKJPEG_ARM_NEON
  if (cpu_has_neon()) kernels[n++] = {count_ff_neon, stuff_neon};
#endif
  kernels[n++] = portable_scan_kernels();
  return n;
}

ScanKernels best_scan_kernels() {
  ScanKernels kernels[kMaxScanKernels];
  supported_scan_kernels(kernels);
  return kernels[0];
}

}  // namespace maskjpeg
