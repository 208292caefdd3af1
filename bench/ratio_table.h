// Benchmarks register here which runs they compare: a measured call and the
// floors it is held against. After the runs, bench_main prints each
// measured time as a ratio to the sum of its floors, so the figure means
// the same on a fast or a slow machine.
#ifndef MASKJPEG_BENCH_RATIO_TABLE_H
#define MASKJPEG_BENCH_RATIO_TABLE_H

#include <string>
#include <vector>

struct RatioRow {
  std::string label;                // e.g. "decode_mask 512x512"
  std::string measured;             // benchmark name of the measured call
  std::vector<std::string> floors;  // benchmark names whose times add up to the floor
  double target;                    // the ratio to stay under; 0 for none
};

// Rows are added from static initialisers in each benchmark file.
std::vector<RatioRow>& ratio_rows();

#endif
