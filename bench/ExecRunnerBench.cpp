// The process runner's overhead: a trivial static program started through
// TExecEngine (contained run, limits, control groups, redirection to NUL)
// against a bare posix_spawn + waitpid of the same program, measured in the
// same run; and the contained run with and without its control groups, to
// show what they cost.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <string>

#include "core/ExecRoutines.h"
#include "platform/ProcessJobs.h"

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

// The platform's contained run alone, with or without its control groups.
void ContainedRun(benchmark::State& state) {
  velkor::platform::ProgramStart start;
  start.AppName = kTrivial;
  start.Args = {kTrivial};
  start.UseControlGroups = state.range(0) != 0;
  velkor::platform::JobLimits limits{256u << 20, velkor::kDefaultOutputLimit};
  for (auto _ : state) {
    auto process = velkor::platform::ContainedProcess::CreateSuspended(start);
    process->ApplyLimits(limits);
    velkor::platform::StartFailure failure;
    int status = 0;
    if (!process->Resume(failure) ||
        process->Wait(velkor::platform::ContainedProcess::kInfinite, status) !=
            velkor::platform::ContainedProcess::WaitResult::Exited) {
      state.SkipWithError("the contained run failed");
      return;
    }
    process->Terminate();
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
        perRunUs[run.run_name.function_name + run.run_name.args] = run.GetAdjustedRealTime();  // in us, the unit set below
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> perRunUs;
};

}  // namespace

BENCHMARK(BareSpawn)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(ExecEngineRun)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(ContainedRun)->ArgName("groups")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& us = reporter.perRunUs;
  auto bare = us.find("BareSpawn");
  auto ours = us.find("ExecEngineRun");
  if (bare != us.end() && ours != us.end())
    std::printf("\nper run: bare spawn %.1f us, TExecEngine %.1f us, ratio %.2f\n", bare->second,
                ours->second, ours->second / bare->second);
  auto without = us.find("ContainedRungroups:0");
  auto with = us.find("ContainedRungroups:1");
  if (without != us.end() && with != us.end())
    std::printf("contained run: %.1f us without control groups, %.1f us with: they cost %.1f us\n",
                without->second, with->second, with->second - without->second);
  benchmark::Shutdown();
  return 0;
}
