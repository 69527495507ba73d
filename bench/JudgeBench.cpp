// The judge engine's own cost: a generated contest (contestants × exams ×
// tests) of a fast, already compiled program, judged with the default
// checker. For each size it reports the time per test and the overhead per
// test (the run's total minus the programs' own running times, as their
// verdicts give them), beside a bare posix_spawn + waitpid of the same
// program in the same run. The overhead per test should stay flat as the
// number of tests grows.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "core/FileUtils.h"
#include "core/SystemInfo.h"
#include "judging/EnvConfig.h"
#include "judging/JudgeEngines.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace velkor;

const char* const kProgram = VELKOR_JUDGE_BENCH_PROGRAM;
constexpr int kContestants = 20;
constexpr int kExams = 3;

void WriteFile(const std::string& Path, const std::string& Text) { std::ofstream(Path, std::ios::binary) << Text; }

class TBenchFolder {
 public:
  TBenchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/velkor-bench-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
  }
  ~TBenchFolder() {
    std::error_code ec;
    fs::remove_all(FPath, ec);
  }
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

void StartOnce() {
  static bool started = false;
  if (started) return;
  started = true;
  static const char* argv[] = {"bench_judge"};
  SystemInfoInit(1, argv);
  FileUtilsInit();
  EnvConfig = std::make_unique<TEnvConfig>();
}

// kContestants × kExams pairs, Tests tests per exam; every contestant has
// the program for every exam.
struct TGeneratedContest {
  explicit TGeneratedContest(int Tests) {
    const std::string tasks = root.Path() + "/Tasks", contestants = root.Path() + "/Contestants";
    for (int e = 0; e < kExams; ++e) {
      const std::string exam = "E" + std::to_string(e);
      for (int t = 0; t < Tests; ++t) {
        const std::string dir = tasks + "/" + exam + "/" + std::to_string(100 + t);
        fs::create_directories(dir);
        const std::string data = std::to_string(t) + " " + std::to_string(e) + "\n";
        WriteFile(dir + "/E.INP", data);
        WriteFile(dir + "/E.OUT", data);
      }
    }
    for (int c = 0; c < kContestants; ++c) {
      const std::string dir = contestants + "/C" + std::to_string(10 + c);
      fs::create_directories(dir);
      for (int e = 0; e < kExams; ++e) fs::copy_file(kProgram, dir + "/E" + std::to_string(e) + ".exe");
    }
    contest.LoadExams(tasks);
    contest.LoadContestants(contestants);
    for (TExamInfo* exam : contest.ExamSet()) {
      // One program serves every exam: it reads E.INP and writes E.OUT.
      exam->InputFile = "E.INP";
      exam->OutputFile = "E.OUT";
      exam->EvaluatorName = "CompareTokens.dll";
    }
    for (const TResultC* c : contest.ResultSet())
      for (const TExamInfo* e : contest.ExamSet()) {
        TJudgePair p;
        MakeJudgePair(c->Name(), e->Name(), p);
        queue.Push(p);
      }
    checkers = std::make_unique<TCheckerSet>();
    LoadCheckers(*checkers, VELKOR_JUDGERS_DIR);
  }

  // The programs' own running times, from their verdicts.
  double ProgramSeconds(int& Judged) const {
    double sum = 0;
    Judged = 0;
    for (const TResultC* c : contest.ResultSet())
      for (const TResultE* e : *c)
        for (const TResultT* t : *e) {
          const std::size_t at = t->EvaluationText.find("≈ ");
          if (at == std::string::npos || t->Evaluation != 1) continue;
          sum += std::strtod(t->EvaluationText.c_str() + at + std::string("≈ ").size(), nullptr);
          ++Judged;
        }
    return sum;
  }

  TBenchFolder root;
  TContestInfo contest;
  TCompilerConfig compilers;
  std::unique_ptr<TCheckerSet> checkers;
  TQueue<TJudgePair> queue;
};

void JudgeContest(benchmark::State& state) {
  StartOnce();
  const int tests = static_cast<int>(state.range(0));
  TGeneratedContest g(tests);
  EnvConfig->ContestHouse = g.root.Path() + "/house";
  const int runs = kContestants * kExams * tests;
  double overheadSeconds = 0, totalSeconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    TJudgeEngine engine(g.contest, g.compilers, *g.checkers);
    const bool ok = engine.Run(g.queue);
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int judged = 0;
    const double programs = g.ProgramSeconds(judged);
    if (!ok || judged != runs) {
      state.SkipWithError(("judging failed: " + engine.ErrorMsg).c_str());
      return;
    }
    state.SetIterationTime(total);
    totalSeconds += total;
    overheadSeconds += total - programs;
  }
  const double n = static_cast<double>(state.iterations()) * runs;
  state.counters["tests"] = runs;
  state.counters["ms_per_test"] = 1e3 * totalSeconds / n;
  state.counters["overhead_ms_per_test"] = 1e3 * overheadSeconds / n;
}

void BareSpawn(benchmark::State& state) {
  TBenchFolder dir;
  WriteFile(dir.Path() + "/E.INP", "1 2\n");
  if (::chdir(dir.Path().c_str()) != 0) {
    state.SkipWithError("chdir failed");
    return;
  }
  char* argv[] = {const_cast<char*>(kProgram), nullptr};
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawn(&pid, kProgram, nullptr, nullptr, argv, environ) != 0) {
      state.SkipWithError("posix_spawn failed");
      return;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    benchmark::DoNotOptimize(status);
  }
  if (::chdir("/") != 0) state.SkipWithError("chdir back failed");
}

class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      if (run.run_name.function_name == "BareSpawn") {
        bareMs = run.GetAdjustedRealTime() / 1e3;
      } else if (run.counters.count("tests") != 0) {
        auto counter = [&](const char* name) { return run.counters.at(name).value; };
        lines.push_back(std::to_string(static_cast<int>(counter("tests"))) + " tests: " +
                        std::to_string(counter("ms_per_test")) + " ms per test, overhead " +
                        std::to_string(counter("overhead_ms_per_test")) + " ms per test");
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::vector<std::string> lines;
  double bareMs = 0;
};

}  // namespace

BENCHMARK(BareSpawn)->Unit(benchmark::kMicrosecond)->UseRealTime();
// 60 pairs with 1, 5 and 10 tests each.
BENCHMARK(JudgeContest)->Arg(1)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nbare spawn of the program: %.3f ms\n", reporter.bareMs);
  for (const std::string& line : reporter.lines) std::printf("judged, %s\n", line.c_str());
  benchmark::Shutdown();
  return 0;
}
