// The process runner's overhead: a trivial static program started through
// TExecEngine (contained run, limits, control groups, view, network,
// redirection to NUL) against a bare posix_spawn + waitpid of the same
// program, measured in the same run, and against the floor any run in its
// own namespaces has here; and the contained run with each piece of its
// containment left out in turn, to show what each one costs, and with a
// room holding the program, as a judged program runs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "core/ExecRoutines.h"
#include "platform/ControlGroups.h"
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

// The floor of a contained run on this machine: the program started in
// new PID, mount and IPC namespaces, inside an empty network namespace,
// with a /tmp and a /proc of its own, and nothing else (no view, groups,
// room, account or limits). Whatever a run of Velkor's adds costs on top.
struct FloorRun {
  int Network = -1;
  // The program, opened before the run's own /tmp hides a build that lies
  // below /tmp.
  int Program = -1;
  alignas(16) char ProgramStack[16 * 1024];
};

// Like posix_spawn's child: runs the program from its descriptor.
int ExecFloorProgram(void* arg) {
  const auto* floor = static_cast<const FloorRun*>(arg);
  char* argv[] = {const_cast<char*>(kTrivial), nullptr};
  syscall(SYS_execveat, floor->Program, "", argv, environ, AT_EMPTY_PATH);
  _exit(127);
}

int FloorInit(void* arg) {
  auto* floor = static_cast<FloorRun*>(arg);
  if (setns(floor->Network, CLONE_NEWNET) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("none", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "size=1m") != 0 ||
      mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0)
    return 1;
  const pid_t pid = clone(ExecFloorProgram, floor->ProgramStack + sizeof floor->ProgramStack,
                          CLONE_VM | CLONE_VFORK | SIGCHLD, floor);
  if (pid < 0) return 1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

void NamespaceFloor(benchmark::State& state) {
  if (geteuid() != 0) {
    state.SkipWithError("the floor of a contained run is measured as root");
    return;
  }
  FloorRun floor;
  std::thread([&] {
    if (unshare(CLONE_NEWNET) == 0) floor.Network = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  }).join();
  if (floor.Network < 0) {
    state.SkipWithError("no network namespace");
    return;
  }
  floor.Program = open(kTrivial, O_PATH | O_CLOEXEC);
  if (floor.Program < 0) {
    close(floor.Network);
    state.SkipWithError("cannot open the trivial program");
    return;
  }
  alignas(16) static char stack[64 * 1024];
  for (auto _ : state) {
    // Like Velkor's runs, the init copies no page table: it shares this
    // process's memory, which waits (vfork) until the init has ended.
    const pid_t pid = clone(FloorInit, stack + sizeof stack,
                            CLONE_VM | CLONE_VFORK | CLONE_NEWPID | CLONE_NEWNS | CLONE_NEWIPC | SIGCHLD, &floor);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("the floor run failed");
      break;
    }
  }
  close(floor.Network);
  close(floor.Program);
}

void ExecEngineRun(benchmark::State& state) {
  velkor::TExecEngine engine;
  engine.KeepRunSetUp();  // as a judging run's engine does
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

// What the contained run leaves out, by the benchmark's argument.
enum Piece { kNothing, kControlGroups, kView, kNetwork, kAccount, kSyscallFilter, kKeyring, kWithRoom, kPieces };
const char* const kPieceNames[kPieces] = {"nothing",          "control groups", "file-system view",
                                           "network namespace", "own account",    "system-call filter",
                                           "own keyring",       "nothing (room)"};

// The platform's contained run alone, with one piece left out, or with the
// program in a room of its own.
void ContainedRun(benchmark::State& state) {
  namespace fs = std::filesystem;
  const auto piece = static_cast<Piece>(state.range(0));
  velkor::platform::ProgramStart start;
  start.AppName = kTrivial;
  start.Args = {kTrivial};
  start.UseControlGroups = piece != kControlGroups;
  start.UseView = piece != kView;
  start.UseNetworkNamespace = piece != kNetwork;
  start.UseRunAccount = piece != kAccount;
  start.UseSyscallFilter = piece != kSyscallFilter;
  start.UseOwnKeyring = piece != kKeyring;
  start.GroupPool = std::make_shared<velkor::platform::RunGroupPool>();
  std::string room;
  if (piece == kWithRoom) {
    room = (fs::temp_directory_path() / ("bench-room-" + std::to_string(getpid()))).string();
    fs::create_directories(room);
    fs::copy_file(kTrivial, room + "/prog.exe", fs::copy_options::overwrite_existing);
    start.Room = room;
    start.WorkingDir = room;
    start.AppName = room + "/prog.exe";
  }
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
      break;
    }
    process->ReturnRoom();
  }
  if (!room.empty()) fs::remove_all(room);
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
BENCHMARK(NamespaceFloor)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(ExecEngineRun)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(ContainedRun)->ArgName("without")->DenseRange(0, kPieces - 1)->Unit(benchmark::kMicrosecond)->UseRealTime();

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
  if (auto floor = us.find("NamespaceFloor"); bare != us.end() && floor != us.end())
    std::printf("floor of a contained run (namespaces, /tmp and /proc only): %.1f us, ratio %.2f to a bare spawn\n",
                floor->second, floor->second / bare->second);
  auto full = us.find("ContainedRunwithout:0");
  for (int piece = kControlGroups; full != us.end() && piece < kPieces; ++piece) {
    auto other = us.find("ContainedRunwithout:" + std::to_string(piece));
    if (other == us.end()) continue;
    if (piece == kWithRoom)
      std::printf("contained run: %.1f us, %.1f us with the program in a room: the room costs %.1f us\n",
                  full->second, other->second, other->second - full->second);
    else
      std::printf("contained run: %.1f us, %.1f us without its %s: that costs %.1f us\n", full->second,
                  other->second, kPieceNames[piece], full->second - other->second);
  }
  if (bare != us.end() && full != us.end())
    std::printf("contained run against a bare spawn: ratio %.2f\n", full->second / bare->second);
  benchmark::Shutdown();
  return 0;
}
