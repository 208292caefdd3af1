// Expansion of a packed 2-bit mask into white RGBA pixels.
#ifndef MASKJPEG_SRC_MASK_EXPAND_MASK_H
#define MASKJPEG_SRC_MASK_EXPAND_MASK_H

#include <cstddef>
#include <cstdint>

namespace maskjpeg {

// Turns `count` packed bytes (four pixels each, first pixel in the lowest
// two bits) into 16 * count RGBA bytes at `out`.
using ExpandRun = void (*)(const uint8_t* packed, size_t count, uint8_t* out);

// Every expansion this CPU can run, fastest first and the portable
// table-driven one last: writes up to kMaxExpandRuns of them to `runs` and
// returns how many. Asked per call, so the library keeps no state.
constexpr size_t kMaxExpandRuns = 3;
size_t supported_expand_runs(ExpandRun runs[kMaxExpandRuns]);
// The same for a CPU with the given features (the tests take some away).
struct CpuFeatures;
size_t supported_expand_runs(const CpuFeatures& cpu, ExpandRun runs[kMaxExpandRuns]);

// The fastest of them.
ExpandRun best_expand_run();

// Expands a whole mask of `height` rows of (width + 3) / 4 packed bytes into
// width * height RGBA pixels with no gap between rows.
void expand_mask(const uint8_t* packed, size_t width, size_t height, uint8_t* out,
                 ExpandRun expand_run);

}  // namespace maskjpeg

#endif  // MASKJPEG_SRC_MASK_EXPAND_MASK_H
