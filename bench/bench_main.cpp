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

// Keeps each run's mean real time per iteration, in nanoseconds, by name.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        times_[run.benchmark_name()] = run.GetAdjustedRealTime() *
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

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const auto& t = reporter.times();
  std::printf("\n| case | time (us) | floor (us) | ratio | target |\n|---|---:|---:|---:|---:|\n");
  for (const RatioRow& row : ratio_rows()) {
    auto measured = t.find(row.measured);
    if (measured == t.end()) continue;  // filtered out
    double floor = 0;
    bool complete = true;
    for (const std::string& f : row.floors) {
      auto it = t.find(f);
      if (it == t.end())
        complete = false;
      else
        floor += it->second;
    }
    if (!complete) continue;
    const double ratio = measured->second / floor;
    char target[32] = "-";
    if (row.target > 0) {
      std::snprintf(target, sizeof target, "%s %.2f", ratio <= row.target ? "<=" : "MISSED",
                    row.target);
    }
    std::printf("| %s | %s | %s | %.2f | %s |\n", row.label.c_str(),
                micros(measured->second).c_str(), micros(floor).c_str(), ratio, target);
  }
  benchmark::Shutdown();
  return 0;
}
