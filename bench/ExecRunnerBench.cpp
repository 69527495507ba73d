// The process runner's overhead: a trivial static program started through
// TExecEngine (contained run, limits, redirection to NUL) against a bare
// posix_spawn + waitpid of the same program, measured in the same run.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <string>

#include "core/ExecRoutines.h"

extern char** environ;

namespace {

const char* const kTrivial = VELKOR_TRIVIAL_STATIC;

void BareSpawn(benchmark::State& state) {
  char* argv[] = {const_cast<char*>(kTrivial), nullptr};
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawn(&pid, kTrivial, nullptr, nullptr, argv, environ) != 0) {
      state.SkipWithError("posix_spawn failed");
      return;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    benchmark::DoNotOptimize(status);
  }
}

void ExecEngineRun(benchmark::State& state) {
  velkor::TExecEngine engine;
  engine.SetCmd(kTrivial);
  engine.SetMemLimit(256u << 20);
  engine.SetTimeLimit(10000);
  engine.FileInp = "NUL";
  engine.FileOut = "NUL";
  engine.FileErr = "NUL";
  for (auto _ : state) {
    engine.Execute();
    if (engine.ExitCode() != velkor::ExecOK) {
      state.SkipWithError(engine.ExitCodeMsg().c_str());
      return;
    }
  }
}

// Remembers each benchmark's time per run so the ratio can be printed.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // One figure per benchmark: the single run, or the median of repetitions.
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if ((run.run_type == Run::RT_Iteration && run.iterations > 0) || median)
        perRunUs[run.run_name.function_name] = run.GetAdjustedRealTime();  // in us, the unit set below
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> perRunUs;
};

}  // namespace

BENCHMARK(BareSpawn)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(ExecEngineRun)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto bare = reporter.perRunUs.find("BareSpawn");
  auto ours = reporter.perRunUs.find("ExecEngineRun");
  if (bare != reporter.perRunUs.end() && ours != reporter.perRunUs.end())
    std::printf("\nper run: bare spawn %.1f us, TExecEngine %.1f us, ratio %.2f\n", bare->second,
                ours->second, ours->second / bare->second);
  benchmark::Shutdown();
  return 0;
}
