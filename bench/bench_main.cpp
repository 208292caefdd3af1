// Runs every benchmark, then prints the ratio table of ratio_table.h.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

#include "ratio_table.h"

std::vector<RatioRow>& ratio_rows() {
  static std::vector<RatioRow> rows;
  return rows;
}

namespace {

// Keeps each benchmark's real time per iteration, in nanoseconds, by name:
// the median when it ran with repetitions, else its one run.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if ((single || median) && run.iterations > 0) {
        times_[run.run_name.str()] = run.GetAdjustedRealTime() *
                                     benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                                     benchmark::GetTimeUnitMultiplier(run.time_unit);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  const std::map<std::string, double>& times() const { return times_; }

 private:
  std::map<std::string, double> times_;
};

std::string micros(double ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", ns / 1000.0);
  return text;
}

// The sum of the named runs' times; false if any of them did not run.
bool sum_of(const std::map<std::string, double>& t, const std::vector<std::string>& names,
            double& sum) {
  sum = 0;
  for (const std::string& name : names) {
    auto it = t.find(name);
    if (it == t.end()) return false;
    sum += it->second;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const auto& t = reporter.times();
  std::printf(
      "\n| case | kernels | time (us) | fresh floor (us) | ratio | warm floor (us) | ratio | "
      "target |\n|---|---|---:|---:|---:|---:|---:|---:|\n");
  for (const RatioRow& row : ratio_rows()) {
    auto measured = t.find(row.measured);
    double fresh = 0, warm = 0;
    if (measured == t.end() || !sum_of(t, row.fresh_floor, fresh) ||
        !sum_of(t, row.warm_floor, warm)) {
      continue;  // filtered out
    }
    const double ratio = measured->second / fresh;
    char target[32] = "-";
    if (row.target > 0) {
      std::snprintf(target, sizeof target, "%s %.2f", ratio <= row.target ? "<=" : "MISSED",
                    row.target);
    }
    std::printf("| %s | %s | %s | %s | %.2f | %s | %.2f | %s |\n", row.label.c_str(),
                MASKJPEG_BENCH_FAMILY, micros(measured->second).c_str(), micros(fresh).c_str(),
                ratio, micros(warm).c_str(), measured->second / warm, target);
  }
  benchmark::Shutdown();
  return 0;
}
