// The console reporter of the benchmarks that print ours against a
// reference: it keeps each benchmark's real time per iteration, so that a
// summary can divide one pair. With --benchmark_repetitions the median is
// kept, else the single run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        perIteration[name] = run.GetAdjustedRealTime();
        haveMedian[name] = true;
      } else if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !haveMedian[name]) {
        perIteration[name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // In the time unit each benchmark was registered with.
  std::map<std::string, double> perIteration;

 private:
  std::map<std::string, bool> haveMedian;
};
