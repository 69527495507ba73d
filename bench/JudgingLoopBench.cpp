// The judging loop against the machine's floor: contests of a fast, already
// compiled program judged by the real engine (every run contained, every
// test scored by the default checker), beside a bare loop that does the
// least any judge must do per test: copy the input beside the program,
// fork and exec it, wait, and compare its output with the answer. For each
// contest it prints the wall time and the judge's own CPU time (getrusage
// of this process: the runs' processes are not counted) per test, the same
// for the bare loop (a C program of its own), and their ratios.
//
//   bench_judging_loop [scale]
//
// scale (default 1) divides both contests (1 exam × 1000 tests, 500
// contestants × 5 exams × 5 tests), for a quick look.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/FileUtils.h"
#include "core/SystemInfo.h"
#include "judging/EnvConfig.h"
#include "judging/JudgeEngines.h"

namespace {

namespace fs = std::filesystem;
using namespace velkor;

const char* const kProgram = VELKOR_JUDGE_BENCH_PROGRAM;

void WriteFile(const std::string& Path, const std::string& Text) { std::ofstream(Path, std::ios::binary) << Text; }

struct TCost {
  double Wall = 0, Cpu = 0;  // seconds
};

double CpuSeconds() {
  rusage u {};
  getrusage(RUSAGE_SELF, &u);
  auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return s(u.ru_utime) + s(u.ru_stime);
}

template <class F>
TCost Measure(F&& f) {
  const double cpu = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  f();
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), CpuSeconds() - cpu};
}

// Contestants × exams × tests; each contestant has the program for every
// exam (hard links: one copy on disk however many contestants).
struct TContest {
  TContest(const std::string& Root, int Contestants, int Exams, int Tests) {
    const std::string tasks = Root + "/Tasks", contestants = Root + "/Contestants";
    for (int e = 0; e < Exams; ++e)
      for (int t = 0; t < Tests; ++t) {
        const std::string dir = tasks + "/E" + std::to_string(e) + "/" + std::to_string(1000 + t);
        fs::create_directories(dir);
        const std::string data = std::to_string(t) + " " + std::to_string(e) + "\n";
        WriteFile(dir + "/E.INP", data);
        WriteFile(dir + "/E.OUT", data);
        TestDirs.push_back(dir);
      }
    const std::string program = Root + "/program.exe";
    fs::copy_file(kProgram, program);
    for (int c = 0; c < Contestants; ++c) {
      const std::string dir = contestants + "/C" + std::to_string(1000 + c);
      fs::create_directories(dir);
      for (int e = 0; e < Exams; ++e) fs::create_hard_link(program, dir + "/E" + std::to_string(e) + ".exe");
    }
    Contest.LoadExams(tasks);
    Contest.LoadContestants(contestants);
    for (TExamInfo* exam : Contest.ExamSet()) {
      exam->InputFile = "E.INP";
      exam->OutputFile = "E.OUT";
      exam->EvaluatorName = "CompareTokens.dll";
    }
    for (const TResultC* c : Contest.ResultSet())
      for (const TExamInfo* e : Contest.ExamSet()) {
        TJudgePair p;
        MakeJudgePair(c->Name(), e->Name(), p);
        Queue.Push(p);
      }
    Runs = Contestants * Exams * Tests;
    LoadCheckers(Checkers, VELKOR_JUDGERS_DIR);
  }

  // Tests that scored their full mark.
  int Passed() const {
    int n = 0;
    for (const TResultC* c : Contest.ResultSet())
      for (const TResultE* e : *c)
        for (const TResultT* t : *e) n += t->Evaluation == 1 ? 1 : 0;
    return n;
  }

  TContestInfo Contest;
  TCompilerConfig Compilers;
  TCheckerSet Checkers;
  TQueue<TJudgePair> Queue;
  std::vector<std::string> TestDirs;
  int Runs = 0;
};

// The floor, run by a small C program of its own (JudgingLoopBare.c), so
// that its forks copy no page table of this process. Returns the tests that
// passed and its cost.
int BareLoop(const std::vector<std::string>& TestDirs, int Runs, const std::string& Room, TCost& Cost) {
  fs::create_directories(Room);
  const std::string program = Room + "/program.exe";
  fs::copy_file(kProgram, program, fs::copy_options::overwrite_existing);
  std::string command = std::string(VELKOR_BARE_LOOP) + " '" + program + "' '" + Room + "' " + std::to_string(Runs);
  for (const std::string& dir : TestDirs) command += " '" + dir + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  int passed = -1;
  if (std::fscanf(pipe, "%d %lf %lf", &passed, &Cost.Wall, &Cost.Cpu) != 3) passed = -1;
  pclose(pipe);
  return passed;
}

void Report(const char* Name, int Runs, const TCost& Judge, const TCost& Bare) {
  const double n = Runs;
  std::printf("%s (%d tests):\n", Name, Runs);
  std::printf("  Velkor:    %.3f ms per test, own CPU %.3f ms per test\n", 1e3 * Judge.Wall / n, 1e3 * Judge.Cpu / n);
  std::printf("  bare loop: %.3f ms per test, own CPU %.3f ms per test\n", 1e3 * Bare.Wall / n, 1e3 * Bare.Cpu / n);
  std::printf("  ratio:     wall %.2f, own CPU %.2f\n", Judge.Wall / Bare.Wall, Judge.Cpu / Bare.Cpu);
  std::fflush(stdout);
}

bool JudgeAndCompare(const char* Name, const std::string& Base, int Contestants, int Exams, int Tests) {
  const std::string root = Base + "/" + Name;
  fs::create_directories(root);
  TContest contest(root, Contestants, Exams, Tests);
  EnvConfig->ContestHouse = root + "/house";
  bool ok = false;
  std::string error;
  const TCost judge = Measure([&] {
    TJudgeEngine engine(contest.Contest, contest.Compilers, contest.Checkers);
    ok = engine.Run(contest.Queue);
    error = engine.ErrorMsg;
  });
  if (!ok || contest.Passed() != contest.Runs) {
    std::fprintf(stderr, "%s: judging failed (%d of %d tests passed): %s\n", Name, contest.Passed(), contest.Runs,
                 error.c_str());
    return false;
  }
  TCost bare;
  const int passed = BareLoop(contest.TestDirs, contest.Runs, root + "/bare", bare);
  if (passed != contest.Runs) {
    std::fprintf(stderr, "%s: the bare loop failed (%d of %d tests passed)\n", Name, passed, contest.Runs);
    return false;
  }
  Report(Name, contest.Runs, judge, bare);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
  static const char* args[] = {"bench_judging_loop"};
  SystemInfoInit(1, args);
  FileUtilsInit();
  EnvConfig = std::make_unique<TEnvConfig>();
  const char* tmp = std::getenv("TMPDIR");
  std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/velkor-judging-loop-XXXXXX";
  if (!mkdtemp(base.data())) return 1;
  const std::string first = "1 exam x " + std::to_string(1000 / scale) + " tests";
  bool ok = JudgeAndCompare(first.c_str(), base, 1, 1, 1000 / scale);
  const int contestants = 500 / scale;
  const std::string second = std::to_string(contestants) + " contestants x 5 exams x 5 tests";
  ok = JudgeAndCompare(second.c_str(), base, contestants, 5, 5) && ok;
  std::error_code ec;
  fs::remove_all(base, ec);
  return ok ? 0 : 1;
}
