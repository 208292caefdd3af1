// Benchmarks register here which runs they compare: a measured call and the
// floors it is held against. After the runs, bench_main prints each
// measured time as a ratio to the sum of its floors, so the figure means
// the same on a fast or a slow machine.
//
// Two floors per case: the fresh floor does the same memory work into a
// newly allocated buffer, page faults included, as a caller's first call
// would; the warm floor does it into memory that is already faulted in,
// which is what the hardware can do. Targets apply to the fresh floor.
#ifndef MASKJPEG_BENCH_RATIO_TABLE_H
#define MASKJPEG_BENCH_RATIO_TABLE_H

#include <string>
#include <vector>

struct RatioRow {
  std::string label;                     // e.g. "decode_mask 512x512"
  std::string measured;                  // benchmark name of the measured call
  std::vector<std::string> fresh_floor;  // benchmark names whose times add up to it
  std::vector<std::string> warm_floor;
  double target;  // the ratio to the fresh floor to stay under; 0 for none
};

// The kernel family the library in this binary is capped at (the build
// option MASKJPEG_KERNELS); `auto` picks the best this CPU has.
#ifndef MASKJPEG_BENCH_FAMILY
#define MASKJPEG_BENCH_FAMILY "auto"
#endif

// Rows are added from static initialisers in each benchmark file.
std::vector<RatioRow>& ratio_rows();

#endif
