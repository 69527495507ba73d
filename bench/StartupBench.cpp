// Velkor's start-up, "velkor /CLEAN" from the spawn to a main window whose
// event loop answers, against a bare QApplication with a QMainWindow
// started and asked the same way. Both run offscreen as child processes
// with a private HOME, TMPDIR and runtime folder; each is killed once it
// has answered.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "toolkit/SingleInstance.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

fs::path gRoot;  // private HOME, TMPDIR and runtime folder of the children

std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> env;
  const auto replaced = [](const std::string& Entry) {
    for (const char* name :
         {"HOME=", "TMPDIR=", "XDG_CONFIG_HOME=", "XDG_DATA_HOME=", "XDG_RUNTIME_DIR=", "QT_QPA_PLATFORM="})
      if (Entry.rfind(name, 0) == 0) return true;
    return false;
  };
  for (char** e = environ; *e; ++e)
    if (!replaced(*e)) env.push_back(*e);
  env.push_back("HOME=" + (gRoot / "home").string());
  env.push_back("XDG_CONFIG_HOME=" + (gRoot / "home/.config").string());
  env.push_back("XDG_DATA_HOME=" + (gRoot / "home/.local/share").string());
  env.push_back("TMPDIR=" + (gRoot / "tmp").string());
  env.push_back("XDG_RUNTIME_DIR=" + (gRoot / "run").string());
  env.push_back("QT_QPA_PLATFORM=offscreen");
  return env;
}

// Starts Program with Args, waits until it answers on Socket, returns the
// seconds that took, and kills it.
double StartAndAsk(const std::string& Program, const std::vector<std::string>& Args, const QString& Socket) {
  std::vector<std::string> argStore{Program};
  argStore.insert(argStore.end(), Args.begin(), Args.end());
  std::vector<char*> argv;
  for (std::string& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStore = ChildEnvironment();
  std::vector<char*> envp;
  for (std::string& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, Program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
  bool answered = false;
  QElapsedTimer limit;
  limit.start();
  while (!answered && limit.elapsed() < 30000) {
    velkor::TRunningInstance running;
    answered = running.Connect(Socket, 1000);
    if (!answered) QThread::usleep(500);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return answered ? seconds : -1;
}

void Run(benchmark::State& State, const std::string& Program, const std::vector<std::string>& Args,
         const QString& Socket) {
  for (auto _ : State) {
    const double seconds = StartAndAsk(Program, Args, Socket);
    if (seconds < 0) {
      State.SkipWithError("the program did not answer");
      return;
    }
    State.SetIterationTime(seconds);
  }
}

void BM_VelkorStartup(benchmark::State& State) {
  const std::string socket = (gRoot / "run/velkor/VelkorApplication.socket").string();
  Run(State, VELKOR_PROGRAM, {"/CLEAN"}, QString::fromStdString(socket));
}
BENCHMARK(BM_VelkorStartup)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_BareWindowStartup(benchmark::State& State) {
  const std::string socket = (gRoot / "tmp" / "bare.socket").string();
  Run(State, VELKOR_BARE_WINDOW, {socket}, QString::fromStdString(socket));
}
BENCHMARK(BM_BareWindowStartup)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  char pattern[] = "/tmp/velkor-startup-bench-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  gRoot = pattern;
  for (const char* sub : {"home/.config", "home/.local/share", "tmp", "run"}) fs::create_directories(gRoot / sub);
  fs::permissions(gRoot / "run", fs::perms::owner_all);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double ours = reporter.perIteration["BM_VelkorStartup"];
  const double bare = reporter.perIteration["BM_BareWindowStartup"];
  if (ours > 0 && bare > 0)
    std::printf("start-up to the idle main window, velkor /CLEAN / bare QMainWindow: %.2fx (target <= 3x)\n",
                ours / bare);
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(gRoot, ec);
  return 0;
}
