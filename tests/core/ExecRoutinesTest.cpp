// The process runner, driven through small helper programs.
#include "core/ExecRoutines.h"

#include <fcntl.h>
#include <linux/keyctl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "FileTestSupport.h"
#include "platform/CommandLines.h"
#include "platform/ControlGroups.h"
#include "platform/ProcessJobs.h"
#include "platform/RunView.h"
#include "platform/SystemErrors.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

// The probe's path; VELKOR_RUNNER_PROBE in the environment overrides it
// (the unprivileged run uses a copy that its account can reach).
const std::string kProbe =
    std::getenv("VELKOR_RUNNER_PROBE") ? std::getenv("VELKOR_RUNNER_PROBE") : VELKOR_RUNNER_PROBE;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Pids of live processes whose command line contains token.
std::vector<int> ProcessesWithToken(const std::string& token) {
  std::vector<int> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string cmdline = ReadFile(entry.path() / "cmdline");
    for (char& c : cmdline)
      if (c == '\0') c = ' ';
    if (cmdline.find(token) != std::string::npos) found.push_back(std::stoi(name));
  }
  return found;
}

// Waits (at most a minute, however loaded the machine) until a process
// with token exists or, with present false, until none does.
bool AwaitProcesses(const std::string& token, bool present) {
  for (int i = 0; i < 30000; ++i) {
    if (ProcessesWithToken(token).empty() != present) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// A judge in a child process of its own, killed outright by Kill or, should
// the test stop early, when it goes.
class ForkedJudge {
 public:
  explicit ForkedJudge(const std::function<void()>& work) : pid_(fork()) {
    if (pid_ == 0) {
      work();
      _exit(0);
    }
  }
  ~ForkedJudge() { Kill(); }
  pid_t Pid() const { return pid_; }
  // Waits for the judge to end on its own: whether it exited with 0.
  bool Succeeded() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return false;
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_;
};

std::string UniqueToken() {
  static int n = 0;
  return "velkor-token-" + std::to_string(getpid()) + "-" + std::to_string(++n);
}

class ExecEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "exec-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    // Programs started from here run, under a root judge, as an account of
    // their own.
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
  }
  void TearDown() override { fs::remove_all(dir); }

  // Runs the probe with arguments through the engine.
  void Run(const std::string& args) {
    engine.SetCmd(kProbe + " " + args);
    engine.Execute();
  }
  // The same with Room as the run's room and working folder.
  void RunIn(const fs::path& room, const std::string& args) {
    engine.SetCmd(kProbe + " " + args);
    engine.Room = room.string();
    engine.WorkingDir = room.string();
    engine.Execute();
  }

  fs::path dir;
  TExecEngine engine;
};

TEST(CommandLineSplit, FollowsTheWindowsRules) {
  struct Case {
    const char* cmd;
    std::vector<std::string> args;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      {"/bin/prog a  b\tc", {"/bin/prog", "a", "b", "c"}},
      {"\"/x y/prog\" \"one two\" three", {"/x y/prog", "one two", "three"}},
      {"p a\\\\\\\"b", {"p", "a\\\"b"}},         // 2n+1 backslashes: literal quote
      {"p \"a\\\\\" b", {"p", "a\\", "b"}},      // 2n backslashes: quote closes
      {"p a\\b\\\\c", {"p", "a\\b\\\\c"}},       // no quote: backslashes stay
      {"p \"a\"\"b\"", {"p", "a\"b"}},           // doubled quote inside a group
      {"p \"\"", {"p", ""}},                     // empty argument
      {"c:\\dir\\prog.exe x", {"c:\\dir\\prog.exe", "x"}},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::SplitCommandLine(c.cmd), c.args) << c.cmd;
}

TEST(ExecEngineCmd, TakesProgramAndFolderFromTheCommandLine) {
  struct Case {
    const char* value;
    const char* cmd;
    const char* app;
    const char* dir;
  } cases[] = {
      {"  /usr/bin/prog -x  ", "/usr/bin/prog -x", "/usr/bin/prog", "/usr/bin/"},
      {"\"/tmp/a b/prog\" x", "\"/tmp/a b/prog\" x", "/tmp/a b/prog", "/tmp/a b/"},
      {"\"/tmp/a b/prog", "\"/tmp/a b/prog\"", "/tmp/a b/prog", "/tmp/a b/"},
      {"prog arg", "prog arg", "prog", ""},
      {" \t ", "", "", ""},
  };
  TExecEngine engine;
  for (const Case& c : cases) {
    engine.SetCmd(c.value);
    EXPECT_EQ(engine.Cmd(), c.cmd) << c.value;
    EXPECT_EQ(engine.AppName, c.app) << c.value;
    EXPECT_EQ(engine.WorkingDir, c.dir) << c.value;
  }
}

TEST(ExecEngineDefaults, MatchTheConstructor) {
  TExecEngine engine;
  EXPECT_EQ(engine.TimeLimit(), kInfiniteTime);
  EXPECT_EQ(engine.MemLimit(), 0u);
  EXPECT_EQ(engine.ShowFlag(), 1);
  EXPECT_EQ(engine.WaitIdleTime, 1000u);
  EXPECT_EQ(engine.CreationFlags, 0x624u);
  EXPECT_EQ(engine.ExitCode(), ExecOK);
  EXPECT_TRUE(engine.ExitCodeMsg().empty());
}

TEST_F(ExecEngineTest, NormalExitRaisesTheThreeEventsInOrder) {
  std::vector<TExecEngineState> events;
  engine.SetOnNotify([&](TExecEngine& sender, TExecEngineState s) {
    EXPECT_EQ(&sender, &engine);
    events.push_back(s);
  });
  Run("exit 0");
  EXPECT_EQ(engine.ExitCode(), ExecOK);
  EXPECT_EQ(engine.ExitCodeMsg(), "");
  EXPECT_EQ(events, (std::vector<TExecEngineState>{eesStart, eesExecuting, eesFinish}));
  EXPECT_GE(engine.RunningTime, 0.0L);
}

TEST_F(ExecEngineTest, ReportsTheProgramsExitCodeOrSignal) {
  Run("exit 3");
  EXPECT_EQ(engine.ExitCode(), 3);
  EXPECT_EQ(engine.ExitCodeMsg(), "Command: " + kProbe + " exit 3 terminated with exit code: 3");

  Run("segv");
  EXPECT_EQ(engine.ExitCode(), 128 + SIGSEGV);
  EXPECT_EQ(engine.ExitCodeMsg(), "Command: " + kProbe + " segv terminated with exit code: 139");

  Run("exit 0");  // the instance is reusable and a new run clears the message
  EXPECT_EQ(engine.ExitCode(), ExecOK);
  EXPECT_EQ(engine.ExitCodeMsg(), "");
}

TEST_F(ExecEngineTest, TimeLimitStopsBusyAndSleepingPrograms) {
  for (const char* mode : {"busy", "sleep"}) {
    const std::string token = UniqueToken();
    engine.SetTimeLimit(300);
    Run(std::string(mode) + " " + token);
    EXPECT_EQ(engine.ExitCode(), ExecTimeOut) << mode;
    EXPECT_EQ(engine.ExitCodeMsg(), "Time Limit Exceeded") << mode;
    EXPECT_GE(engine.RunningTime, 0.3L) << mode;
    EXPECT_TRUE(ProcessesWithToken(token).empty()) << mode;
  }
}

TEST_F(ExecEngineTest, ZeroAndHugeTimeLimits) {
  engine.SetTimeLimit(0);
  Run("sleep");
  EXPECT_EQ(engine.ExitCode(), ExecTimeOut);

  engine.SetTimeLimit(0xFFFFFFFEu);
  Run("exit 4");
  EXPECT_EQ(engine.ExitCode(), 4);
}

TEST_F(ExecEngineTest, MemoryLimitMakesAllocationFailPerProcess) {
  struct Case {
    std::uint64_t limit;
    int mib;
    std::int64_t expected;
  } cases[] = {
      {64u << 20, 256, 7},     // over the limit: malloc returns null
      {64u << 20, 16, 0},      // under it
      {0, 256, 0},             // no limit
      {0xFFFFFFFFu, 256, 0},   // 4 GiB - 1: practically none
  };
  for (const Case& c : cases) {
    engine.SetMemLimit(c.limit);
    Run("alloc " + std::to_string(c.mib));
    EXPECT_EQ(engine.ExitCode(), c.expected) << c.limit << " / " << c.mib;
  }
  engine.SetMemLimit(64u << 20);
  Run("limits");
  engine.FileOut = (dir / "limits.txt").string();
  Run("limits");
  // The stack's hard limit too: raising it would recurse past the limit.
  EXPECT_EQ(ReadFile(dir / "limits.txt"),
            "core=0 data=" + std::to_string(64u << 20) + " stack=" + std::to_string(64u << 20));
}

// What the kernel must count besides malloc: shared anonymous memory and
// files written into memory-backed folders. Over the limit, the run fails
// (the program is killed, or its mapping or write refused), never passes or
// runs out of time; under it, or with no limit, it passes.
TEST_F(ExecEngineTest, MemoryOfEveryKindCountsAgainstTheLimit) {
  struct Case {
    const char* mode;
    std::uint64_t limitMib;
    bool fails;
  } cases[] = {
      {"shared 256", 64, true},   {"shared 256", 512, false}, {"shared 256", 0, false},
      {"shm 256", 64, true},      {"shm 256", 512, false},
      {"cgescape 256", 64, true},  // leaving its groups or lifting their limits first
  };
  for (const Case& c : cases) {
    engine.SetMemLimit(c.limitMib << 20);
    engine.SetTimeLimit(60000);
    Run(c.mode);
    const std::string what = std::string(c.mode) + " under " + std::to_string(c.limitMib) + " MiB";
    if (!c.fails) {
      EXPECT_EQ(engine.ExitCode(), ExecOK) << what << ": " << engine.ExitCodeMsg();
      continue;
    }
    EXPECT_NE(engine.ExitCode(), ExecOK) << what;
    EXPECT_NE(engine.ExitCode(), ExecTimeOut) << what;
    EXPECT_EQ(engine.ExitCodeMsg(), "Command: " + engine.Cmd() + " terminated with exit code: " +
                                        std::to_string(engine.ExitCode()))
        << what;
  }
}

// Whichever process of the run the kernel kills for memory, the run failed,
// even when its program exits 0.
TEST_F(ExecEngineTest, AKillForMemoryFailsTheRun) {
  if (!platform::PrepareControlGroups().Memory) GTEST_SKIP() << "no memory control group here";
  engine.SetMemLimit(64u << 20);
  engine.SetTimeLimit(60000);
  Run("sharedchild 256");
  EXPECT_EQ(engine.ExitCode(), 128 + SIGKILL);
  EXPECT_EQ(engine.ExitCodeMsg(), "Command: " + engine.Cmd() + " terminated with exit code: 137");
}

// Tiny and huge limits: the run fails or passes as a run, nothing throws,
// nothing is left behind.
TEST_F(ExecEngineTest, ExtremeMemoryLimits) {
  engine.SetTimeLimit(60000);
  engine.SetMemLimit(8192);
  Run("exit 0");
  // Killed at its exec, or refused it, depending on the kernel: not a pass.
  EXPECT_NE(engine.ExitCode(), ExecOK) << "a program cannot live in 8 KiB";
  EXPECT_NE(engine.ExitCode(), ExecTimeOut);
  EXPECT_NE(engine.ExitCode(), ExecError) << engine.ExitCodeMsg();

  engine.SetMemLimit(std::uint64_t{1} << 50);  // more than any machine has
  Run("shared 64");
  EXPECT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
}

// A fork bomb meets failing forks: the run holds at most kRunTaskLimit
// tasks, the forking program included.
TEST_F(ExecEngineTest, TheTasksOfARunAreCapped) {
  if (geteuid() == 0 && !platform::PrepareControlGroups().Tasks)
    GTEST_SKIP() << "no pids control group here, and root is not held by a per-user task limit";
  engine.FileOut = (dir / "count.txt").string();
  engine.SetTimeLimit(60000);
  Run("forkcount");
  ASSERT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
  EXPECT_EQ(ReadFile(dir / "count.txt"), std::to_string(platform::kRunTaskLimit - 1));
}

// An endless writer stops at the output cap: the file is exactly the cap,
// and the run failed with SIGXFSZ.
TEST_F(ExecEngineTest, OutputStopsAtTheCap) {
  EXPECT_EQ(TExecEngine().OutputLimit, std::uint64_t{1} << 30);
  engine.OutputLimit = 8u << 20;
  engine.FileOut = (dir / "flood.txt").string();
  engine.SetTimeLimit(60000);
  Run("flood");
  EXPECT_EQ(engine.ExitCode(), 128 + SIGXFSZ);
  EXPECT_EQ(engine.ExitCodeMsg(), "Command: " + engine.Cmd() + " terminated with exit code: 153");
  EXPECT_EQ(fs::file_size(dir / "flood.txt"), 8u << 20);
}

// Names of the run groups in Velkor's own groups that belong to pid.
std::vector<std::string> GroupsOf(pid_t pid) {
  std::vector<std::string> found;
  const std::string prefix = "velkor-" + std::to_string(pid) + "-";
  for (const std::string& folder : platform::PrepareControlGroups().Folders)
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.path().filename().string().starts_with(prefix)) found.push_back(entry.path());
  return found;
}

// A run's groups are gone when it ends, and those of a judge killed in the
// middle of a run are swept at the next start.
TEST_F(ExecEngineTest, NoControlGroupIsLeftBehind) {
  if (platform::PrepareControlGroups().Folders.empty()) GTEST_SKIP() << "no control groups here";
  Run("exit 0");
  engine.SetMemLimit(64u << 20);
  Run("shared 256");
  EXPECT_TRUE(GroupsOf(getpid()).empty());

  const std::string token = UniqueToken();
  ForkedJudge judge([&] {
    TExecEngine inner;
    inner.SetCmd(kProbe + " sleep " + token);
    inner.Execute();
  });
  ASSERT_GT(judge.Pid(), 0);
  ASSERT_TRUE(AwaitProcesses(token, true));
  const pid_t killed = judge.Pid();
  EXPECT_FALSE(GroupsOf(killed).empty());
  judge.Kill();
  platform::SweepStaleControlGroups();
  EXPECT_TRUE(GroupsOf(killed).empty());
  EXPECT_TRUE(ProcessesWithToken(token).empty());
}

// An engine that hands each run's groups on to the next (a judging run's):
// every run is held by its own limits, whatever the one before did there,
// nothing of a run outlives it, and the groups go with the engine, or with
// the next start when the judge was killed.
TEST_F(ExecEngineTest, RunsThatTakeOverGroupsStartAfresh) {
  const platform::ControlGroupSupport& groups = platform::PrepareControlGroups();
  if (groups.Folders.empty()) GTEST_SKIP() << "no control groups here";
  {
    TExecEngine series;
    series.KeepRunSetUp();
    series.SetTimeLimit(60000);
    series.SetMemLimit(64u << 20);
    auto run = [&](const std::string& args) {
      series.SetCmd(kProbe + " " + args);
      series.Execute();
      return series.ExitCode();
    };
    if (groups.Memory) {
      // A kill for memory belongs to its run alone, and what it held is not
      // charged to the next.
      EXPECT_EQ(run("sharedchild 256"), 128 + SIGKILL);
      EXPECT_EQ(run("shared 48"), ExecOK) << series.ExitCodeMsg();
      EXPECT_EQ(run("sharedchild 256"), 128 + SIGKILL);
    }
    // A writer left behind dies with its run ...
    const std::string token = UniqueToken();
    const fs::path file = dir / (token + ".txt");
    EXPECT_EQ(run("grandchild " + file.string() + " " + token), ExecOK);
    EXPECT_TRUE(ProcessesWithToken(token).empty());
    // ... and takes nothing of the next run's tasks.
    series.FileOut = (dir / "count.txt").string();
    EXPECT_EQ(run("forkcount"), ExecOK) << series.ExitCodeMsg();
    if (groups.Tasks) {
      EXPECT_EQ(ReadFile(dir / "count.txt"), std::to_string(platform::kRunTaskLimit - 1));
    }
    // Without a limit the run has none, after runs that had one.
    series.FileOut.clear();
    series.SetMemLimit(0);
    std::size_t groupsWhileRunning = 0;
    series.SetOnNotify([&](TExecEngine&, TExecEngineState state) {
      if (state == eesExecuting) groupsWhileRunning = GroupsOf(getpid()).size();
    });
    EXPECT_EQ(run("shared 96"), ExecOK) << series.ExitCodeMsg();
    // Whether the run's groups are fit to be kept for the next one depends
    // on what the kernel still charges to them (kernel memory it frees
    // later, pages of files the run read), which the machine's load decides:
    // kept or not, no more than one run's groups are left, and they go with
    // the engine. RunGroupPool.KeepsFitGroupsUntilItGoes shows them kept.
    EXPECT_GT(groupsWhileRunning, 0u);
    EXPECT_LE(GroupsOf(getpid()).size(), groupsWhileRunning);
  }
  EXPECT_TRUE(GroupsOf(getpid()).empty());

  const std::string token = UniqueToken();
  ForkedJudge judge([&] {
    TExecEngine inner;
    inner.KeepRunSetUp();
    inner.SetCmd(kProbe + " exit 0");
    inner.Execute();
    inner.SetCmd(kProbe + " sleep " + token);
    inner.Execute();
  });
  ASSERT_GT(judge.Pid(), 0);
  ASSERT_TRUE(AwaitProcesses(token, true));
  const pid_t killed = judge.Pid();
  judge.Kill();
  platform::SweepStaleControlGroups();
  EXPECT_TRUE(GroupsOf(killed).empty());
  EXPECT_TRUE(ProcessesWithToken(token).empty());
}

// A pool keeps the groups given back fit for another run and hands them to
// the next run; they go with the pool. Groups no process ever joined hold
// no task and no memory, however busy the machine is.
TEST(RunGroupPool, KeepsFitGroupsUntilItGoes) {
  if (platform::PrepareControlGroups().Folders.empty()) GTEST_SKIP() << "no control groups here";
  std::vector<std::string> kept;
  {
    platform::RunGroupPool pool;
    std::unique_ptr<platform::RunControlGroup> groups = pool.Take();
    const platform::RunControlGroup* first = groups.get();
    groups->SetLimits(64u << 20, platform::kRunTaskLimit);
    pool.GiveBack(std::move(groups));
    kept = GroupsOf(getpid());
    EXPECT_FALSE(kept.empty()) << "the groups are kept for the next run";
    std::unique_ptr<platform::RunControlGroup> again = pool.Take();
    EXPECT_EQ(again.get(), first) << "the next run takes the kept groups";
    pool.GiveBack(std::move(again));
    EXPECT_EQ(GroupsOf(getpid()), kept);
  }
  EXPECT_TRUE(GroupsOf(getpid()).empty());
  for (const std::string& folder : kept) EXPECT_FALSE(fs::exists(folder)) << folder;
}

// Groups a program makes below its own, in a cgroup file system it mounts
// in namespaces of its own, go with its run, however deep it nests them.
TEST_F(ExecEngineTest, GroupsAProgramMakesGoWithItsRun) {
  if (platform::PrepareControlGroups().Folders.empty()) GTEST_SKIP() << "no control groups here";
  engine.FileOut = (dir / "nest.txt").string();
  engine.SetMemLimit(64u << 20);
  engine.SetTimeLimit(60000);
  Run("cgnest 40");
  EXPECT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
  EXPECT_TRUE(GroupsOf(getpid()).empty()) << ReadFile(dir / "nest.txt");

  // A kill for memory down there fails the run like any other, where the
  // program could make groups at all (runs may make no namespace, and a
  // root Velkor's programs run as an account of their own, which cannot
  // mount a cgroup file system).
  const std::string nested = ReadFile(dir / "nest.txt");
  if (!platform::PrepareControlGroups().Memory || nested.starts_with("no namespace") ||
      (nested.find("cgroup memory: 0\n") != std::string::npos && nested.find("cgroup2: 0\n") != std::string::npos))
    return;
  Run("cgnest 40 256");
  EXPECT_EQ(engine.ExitCode(), 128 + SIGKILL) << ReadFile(dir / "nest.txt");
  EXPECT_TRUE(GroupsOf(getpid()).empty());
}

// Shared memory that outlives its process (a System V segment) goes with
// the run: nothing of it stays in the machine, where it would hold memory
// until the next reboot.
TEST_F(ExecEngineTest, SharedMemorySegmentsGoWithTheRun) {
  const key_t key = static_cast<key_t>(0x5e000000 | (getpid() & 0xFFFFFF));
  engine.SetMemLimit(64u << 20);
  Run("sysvshm " + std::to_string(key) + " 16");
  EXPECT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
  const int left = shmget(key, 0, 0);
  EXPECT_LT(left, 0) << "the run's segment is still there";
  if (left >= 0) shmctl(left, IPC_RMID, nullptr);
}

TEST_F(ExecEngineTest, EveryProcessOfTheRunDiesWithIt) {
  // A grandchild in its own session, left behind by a program that exits 0,
  // with and without a memory limit.
  for (std::uint64_t limit : {std::uint64_t{64} << 20, std::uint64_t{0}}) {
    const std::string token = UniqueToken();
    const fs::path file = dir / (token + ".txt");
    engine.SetMemLimit(limit);
    Run("grandchild " + file.string() + " " + token);
    EXPECT_EQ(engine.ExitCode(), ExecOK);
    EXPECT_TRUE(ProcessesWithToken(token).empty()) << "limit " << limit;
    const auto sizeAfter = fs::exists(file) ? fs::file_size(file) : 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(fs::exists(file) ? fs::file_size(file) : 0, sizeAfter) << "the writer still runs";
  }
}

TEST_F(ExecEngineTest, AForkLoopEndsWithTheRun) {
  const std::string token = UniqueToken();
  engine.SetTimeLimit(300);
  Run("forkloop " + token);
  EXPECT_EQ(engine.ExitCode(), ExecTimeOut);
  EXPECT_TRUE(ProcessesWithToken(token).empty());
}

TEST_F(ExecEngineTest, TheProgramCannotReachProcessesOutsideItsRun) {
  pid_t sentinel = fork();
  ASSERT_GE(sentinel, 0);
  if (sentinel == 0) {
    setpgid(0, 0);
    for (;;) pause();
  }
  setpgid(sentinel, sentinel);
  Run("escape " + std::to_string(sentinel));
  EXPECT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
  int status = 0;
  EXPECT_EQ(waitpid(sentinel, &status, WNOHANG), 0) << "the sentinel was killed";
  kill(sentinel, SIGKILL);
  waitpid(sentinel, &status, 0);
}

// Whoever runs the judge, root included, the program holds no capability:
// it can neither reach the run's init (which shares the judge's memory) nor
// uncover the jury's /proc.
TEST_F(ExecEngineTest, TheProgramHoldsNoPowers) {
  engine.FileOut = (dir / "powers.txt").string();
  Run("powers");
  ASSERT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
  EXPECT_EQ(ReadFile(dir / "powers.txt"),
            "CapInh:\t0000000000000000\n"
            "CapPrm:\t0000000000000000\n"
            "CapEff:\t0000000000000000\n"
            "CapAmb:\t0000000000000000\n"
            "mem=denied\n"
            "trace=denied\n"
            "umount=denied\n");
}

// The program's session keyring is an empty one of its own, not the one of
// the thread that started it, where the jury's keys are: tried on the
// runner with the system-call filter left out, which would refuse the
// probe's calls before they reached a keyring.
TEST(ContainedProcessTest, TheProgramHasAKeyringOfItsOwn) {
  const std::string description = UniqueToken();
  std::thread judge([&] {
    const long ring = syscall(SYS_keyctl, KEYCTL_JOIN_SESSION_KEYRING, description.c_str());
    ASSERT_GE(ring, 0) << std::strerror(errno);
    const long key = syscall(SYS_add_key, "user", description.c_str(), "secret", 6, KEY_SPEC_SESSION_KEYRING);
    ASSERT_GE(key, 0) << std::strerror(errno);
    char pattern[] = "/tmp/keyring-XXXXXX";
    const int out = mkstemp(pattern);
    ASSERT_GE(out, 0);
    unlink(pattern);
    platform::ProgramStart start;
    start.AppName = kProbe;
    start.Args = {kProbe, "keyring", std::to_string(ring), description};
    start.StdOutput = out;
    start.UseSyscallFilter = false;
    const auto run = platform::ContainedProcess::CreateSuspended(start);
    platform::StartFailure failure;
    int status = 0;
    EXPECT_TRUE(run->Resume(failure)) << failure.Message;
    EXPECT_EQ(run->Wait(platform::ContainedProcess::kInfinite, status), platform::ContainedProcess::WaitResult::Exited);
    run->Terminate();
    syscall(SYS_keyctl, KEYCTL_INVALIDATE, key);
    char text[256] = {};
    EXPECT_GT(pread(out, text, sizeof text - 1, 0), 0);
    close(out);
    EXPECT_STREQ(text, "session keyring: its own\nthe judge's key: not found\n");
  });
  judge.join();  // a thread of its own: the session keyring it joins goes with it
}

// A run sees the system folders and its own folders read-only, its room
// writable, and nothing else of the machine: not Velkor's settings, not
// the folders around its room, not the machine's /tmp.
TEST_F(ExecEngineTest, TheProgramSeesOnlyItsRoomAndTheSystem) {
  fs::create_directories(dir / "secret");
  std::ofstream(dir / "secret/Velkor.cfg") << "password";
  const fs::path room = dir / "room";
  fs::create_directories(room);
  std::ofstream(room / "in.txt") << "visible";
  const fs::path planted = "/tmp/velkor-planted-" + std::to_string(getpid());
  std::ofstream(planted) << "planted";
  engine.FileOut = (dir / "out.txt").string();
  RunIn(room, "look in.txt " + room.string() + " " + (dir / "secret/Velkor.cfg").string() + " " + planted.string() +
      " /usr/bin /etc/passwd /tmp " + fs::path(kProbe).parent_path().string());
  fs::remove(planted);
  ASSERT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
  EXPECT_EQ(ReadFile(dir / "out.txt"),
            "file writable\nfolder writable\nmissing\nmissing\nfolder read-only\nfile read-only\n"
            "folder writable\nfolder read-only\n");

  // The folders around the room are not there at all (the run has its
  // room at /room); a namespace the program makes for itself unlocks none
  // of the machine's.
  Run("list " + dir.string());
  EXPECT_EQ(ReadFile(dir / "out.txt"), "missing\n");
  Run("remount /usr");
  const std::string remounted = ReadFile(dir / "out.txt");
  if (!remounted.starts_with("no namespace")) {
    EXPECT_EQ(remounted, "locked\n");
  }
  EXPECT_EQ(ReadFile(dir / "secret/Velkor.cfg"), "password");
}

// A run has its room at /room, wherever the room lies: the program finds
// its own file, its working folder and the paths in its arguments that lead
// into the room there (a compile command names them so, "-o" and all), and
// nothing that names the machine's room reaches it, not even its mount
// table, its redirected streams or the command line of its init, a copy of
// the judge.
TEST_F(ExecEngineTest, TheRunHasItsRoomAtAFixedPlace) {
  const fs::path room = dir / "house" / "room";
  fs::create_directories(room / "sub");
  fs::copy_file(kProbe, room / "prog.exe");
  std::ofstream(room / "in.txt") << "input";
  engine.FileInp = (room / "in.txt").string();
  engine.FileOut = (dir / "out.txt").string();
  engine.SetCmd("\"" + (room / "prog.exe").string() + "\" whereabouts -o" + (room / "a.exe").string() + " " +
                room.string() + "/ " + (dir / "house" / "roomy").string() + " " + (room / "sub").string() + "x");
  engine.Room = room.string();
  engine.WorkingDir = (room / "sub").string();
  engine.Execute();
  ASSERT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
  const std::string seen = ReadFile(dir / "out.txt");
  // The input, which lies in the room, is opened on the run's own copy.
  EXPECT_TRUE(seen.starts_with("argv0=/room/prog.exe\ncwd=/room/sub\nexe=/room/prog.exe\nstdin=/room/in.txt\n"
                               "stdout=/out.txt\narg=-o/room/a.exe\n"
                               "arg=/room/\narg=" + (dir / "house" / "roomy").string() + "\narg=/room/subx\n"
                               "/proc/1/cmdline: missing\n/proc/1/environ: missing\n"))
      << seen;
  const std::string mounts = seen.substr(seen.find("/proc/self/mountinfo: "));
  EXPECT_NE(mounts.find(" /room "), std::string::npos) << mounts;
  for (const std::string& house : {dir.string(), fs::canonical(dir).string()})
    EXPECT_EQ(mounts.find(house), std::string::npos) << mounts;
}

// The runs of a series (a judging run's) see what a single run sees, though
// they share the part of their view that does not change from run to run;
// a folder shown to them that is deleted and made anew is shown as it is
// now, not as it was when the series began.
TEST_F(ExecEngineTest, RunsOfASeriesSeeTheMachineAsItIsNow) {
  // Outside the machine's /tmp, which each run has of its own, where this
  // account may write there: a folder every run of the series is shown in
  // the same place.
  fs::path shown = fs::path(kProbe).parent_path().parent_path() / ("shown-" + UniqueToken());
  if (std::error_code ec; !fs::create_directories(shown, ec)) {
    shown = dir / "shown";
    fs::create_directories(shown);
  }
  struct Cleanup {
    fs::path Folder;
    ~Cleanup() { fs::remove_all(Folder); }
  } cleanup{shown};
  fs::permissions(shown, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  std::ofstream(shown / "marker.txt") << "first";
  fs::permissions(shown / "marker.txt", fs::perms::owner_all | fs::perms::others_read);
  const fs::path room = dir / "room";
  fs::create_directories(room);
  fs::create_directories(dir / "beside");
  std::ofstream(room / "in.txt") << "visible";
  const std::string look = "look in.txt " + room.string() + " /usr/bin /etc/passwd /tmp / " +
                           (shown / "marker.txt").string() + " " + (dir / "beside").string();
  const std::string seen = "file writable\nfolder writable\nfolder read-only\nfile read-only\nfolder writable\n"
                           "folder read-only\nfile read-only\nmissing\n";

  TExecEngine series;
  series.KeepRunSetUp();
  series.SetTimeLimit(60000);
  series.FileOut = (dir / "out.txt").string();
  series.ReadOnlyFolders = {shown.string()};
  auto run = [&](const std::string& args) {
    series.SetCmd(kProbe + " " + args);
    series.Room = room.string();
    series.WorkingDir = room.string();
    series.Execute();
    EXPECT_EQ(series.ExitCode(), ExecOK) << series.ExitCodeMsg();
    return ReadFile(dir / "out.txt");
  };
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(run(look), seen);
    EXPECT_EQ(run("read " + (shown / "marker.txt").string()), "first\nread-only\n");
  }
  fs::remove_all(shown);
  fs::create_directories(shown);
  fs::permissions(shown, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  std::ofstream(shown / "marker.txt") << "second";
  fs::permissions(shown / "marker.txt", fs::perms::owner_all | fs::perms::others_read);
  EXPECT_EQ(run("read " + (shown / "marker.txt").string()), "second\nread-only\n");
  EXPECT_EQ(run(look), seen);

  // No mount event passes between a run and the machine, whose folders may
  // share theirs (a machine started by systemd shares its root; made so
  // here for a judge of its own where the test may).
  const fs::path listed = dir / "mounts.txt";
  ForkedJudge judge([&] {
    if (unshare(CLONE_NEWNS) == 0) mount(nullptr, "/", nullptr, MS_REC | MS_SHARED, nullptr);
    TExecEngine inner;
    inner.KeepRunSetUp();
    inner.SetTimeLimit(60000);
    inner.FileOut = listed.string();
    inner.ReadOnlyFolders = {shown.string()};
    inner.SetCmd("/usr/bin/cat /proc/self/mountinfo");
    inner.Execute();
    _exit(inner.ExitCode() == ExecOK ? 0 : 1);
  });
  ASSERT_TRUE(judge.Succeeded());
  const std::string mounts = ReadFile(listed);
  EXPECT_NE(mounts.find(" / / "), std::string::npos) << mounts;
  EXPECT_EQ(mounts.find(" shared:"), std::string::npos) << mounts;
  EXPECT_EQ(mounts.find(" master:"), std::string::npos) << mounts;
}

// What the run did in its room comes back when it ends: files written,
// deleted and made, but never a link or a pipe; what it left as it was is
// not touched.
TEST_F(ExecEngineTest, TheRoomComesBackWithWhatTheRunChanged) {
  const fs::path room = dir / "room";
  fs::create_directories(room / "sub");
  std::ofstream(room / "a.txt") << "a";
  std::ofstream(room / "b.txt") << "b";
  std::ofstream(room / "sub/c.txt") << "c";
  const auto before = fs::last_write_time(room / "sub/c.txt");
  RunIn(room, "scribble");
  ASSERT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
  std::vector<std::string> left;
  for (const auto& e : fs::recursive_directory_iterator(room)) left.push_back(fs::relative(e.path(), room).string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"a.txt", "new", "new/n.txt", "sub", "sub/c.txt"}));
  EXPECT_EQ(ReadFile(room / "a.txt"), "changed");
  EXPECT_EQ(ReadFile(room / "new/n.txt"), "new");
  EXPECT_EQ(fs::last_write_time(room / "sub/c.txt"), before);
}

// Everything a run writes together is bounded, its room and /tmp alike;
// the run that reached the bound failed, and nothing of it is left.
TEST_F(ExecEngineTest, WritingPastTheDiskLimitFailsTheRun) {
  const fs::path room = dir / "room";
  fs::create_directories(room);
  engine.DiskLimit = std::uint64_t{8} << 20;
  engine.FileOut = (dir / "out.txt").string();
  for (const std::string folder : {".", "/tmp", "/var/tmp"}) {
    SCOPED_TRACE(folder);
    RunIn(room, "fill " + folder);
    EXPECT_EQ(engine.ExitCode(), 128 + SIGXFSZ) << engine.ExitCodeMsg();
    const std::string out = ReadFile(dir / "out.txt");
    EXPECT_TRUE(out.starts_with("7 ") || out.starts_with("8 ")) << out;
    EXPECT_NE(out.find("No space left"), std::string::npos) << out;
  }
  std::uint64_t kept = 0;
  for (const auto& e : fs::recursive_directory_iterator(room)) kept += e.is_regular_file() ? e.file_size() : 0;
  EXPECT_LE(kept, std::uint64_t{8} << 20);

  // The same bound for a program that lies in its room, as a judged one
  // does, and is shown to the run rather than copied: its own size (3 MiB
  // of padding after the code) is no room to write in.
  fs::remove_all(room);
  fs::create_directories(room);
  const fs::path program = room / "prog";
  fs::copy_file(kProbe, program);
  std::ofstream(program, std::ios::binary | std::ios::app) << std::string(std::size_t{3} << 20, '\0');
  fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  engine.SetCmd(program.string() + " fill .");
  engine.Room = engine.WorkingDir = room.string();
  engine.Execute();
  EXPECT_EQ(engine.ExitCode(), 128 + SIGXFSZ) << engine.ExitCodeMsg();
  const std::string out = ReadFile(dir / "out.txt");
  EXPECT_TRUE(out.starts_with("7 ") || out.starts_with("8 ")) << out;
}

// A room on a 2 MB file system of its own, as a jury's nearly full disk.
class SmallDiskExecTest : public ExecEngineTest {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    ExecEngineTest::SetUp();
    house = dir / "house";
    fs::create_directories(house);
    ASSERT_EQ(mount("velkor-small-disk", house.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=2m,nr_inodes=64,mode=0755"), 0)
        << std::strerror(errno);
    mounted = true;
    room = house / "room";
    fs::create_directories(room);
  }
  void TearDown() override {
    if (mounted) umount2(house.c_str(), MNT_DETACH);
    if (!dir.empty()) ExecEngineTest::TearDown();
  }
  void WriteInput(std::size_t Bytes) { std::ofstream(dir / "in.txt", std::ios::binary) << std::string(Bytes, 'x'); }

  fs::path house, room;
  bool mounted = false;
};

// A disk of the jury's too full to take what the program writes (its
// standard output, a file brought back from its room) is told apart from
// the run's own file limit, which stays the program's failure.
TEST_F(SmallDiskExecTest, AFullDiskOfTheJurysIsNotTheProgramsFailure) {
  struct Case {
    const char* Name;
    std::size_t Input;        // bytes echoed to the standard output
    std::uint64_t OutputLimit;  // the run's own, per file
    std::string Cmd;          // "" echoes
    std::int64_t Exit;
    bool JuryDiskFull;
  };
  const std::string writeFile = "/bin/sh -c \"head -c 3000000 /dev/zero > big.bin\"";
  const Case cases[] = {
      {"output that fits", 1 << 20, kDefaultOutputLimit, "", ExecOK, false},
      {"standard output past the jury's disk", 3000000, kDefaultOutputLimit, "", ExecError, true},  // as a file of the room
      {"a file past the jury's disk", 0, kDefaultOutputLimit, writeFile, ExecError, true},
      {"standard output past the run's own limit", 3000000, 1 << 20, "", 128 + SIGXFSZ, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(room);
    fs::create_directories(room);
    WriteInput(c.Input);
    engine.FileInp = (dir / "in.txt").string();
    engine.FileOut = (room / "out.txt").string();
    engine.OutputLimit = c.OutputLimit;
    engine.Room = room.string();
    engine.SetCmd(c.Cmd.empty() ? kProbe + " echo" : c.Cmd);
    engine.WorkingDir = room.string();
    engine.Execute();
    EXPECT_EQ(engine.ExitCode(), c.Exit) << engine.ExitCodeMsg();
    if (c.JuryDiskFull) {
      EXPECT_EQ(engine.DiskFullFolder(), room.string());
      EXPECT_NE(engine.DiskFullDetail().find(room.string() + "/"), std::string::npos) << engine.DiskFullDetail();
    } else {
      EXPECT_EQ(engine.DiskFullFolder(), "");
    }
    if (c.Exit == ExecOK) {
      EXPECT_EQ(ReadFile(room / "out.txt"), std::string(c.Input, 'x'));
    }
  }
  // A redirected output Velkor cannot even make is the jury's disk too.
  fs::remove_all(room);
  fs::create_directories(room);
  for (int k = 0; k < 100; ++k) {  // no file left to make
    std::error_code ec;
    if (!fs::create_directory(house / ("d" + std::to_string(k)), ec) && ec) break;
  }
  engine.FileOut = (room / "sub" / "out.txt").string();
  engine.SetCmd(kProbe + " echo");
  engine.Execute();
  EXPECT_EQ(engine.ExitCode(), ExecError);
  EXPECT_EQ(engine.DiskFullFolder(), (room / "sub").string()) << engine.ExitCodeMsg();
}

// Nothing a run writes outside its room outlives it: the next run finds
// /tmp, /var/tmp and /dev/shm empty, and the machine never held them.
TEST_F(ExecEngineTest, NothingOfARunOutsideItsRoomOutlivesIt) {
  const std::string marker = "velkor-marker-" + std::to_string(getpid());
  engine.FileOut = (dir / "out.txt").string();
  engine.SetCmd("/bin/sh -c \"echo x > /tmp/" + marker + " && echo x > /var/tmp/" + marker + " && echo x > /dev/shm/" +
                marker + "\"");
  engine.Execute();
  ASSERT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
  Run("look /tmp/" + marker + " /var/tmp/" + marker + " /dev/shm/" + marker);
  EXPECT_EQ(ReadFile(dir / "out.txt"), "missing\nmissing\nmissing\n");
  for (const char* folder : {"/tmp/", "/var/tmp/", "/dev/shm/"}) EXPECT_FALSE(fs::exists(folder + marker)) << folder;
}

// No address of the machine and no abstract socket of the jury's session
// is reachable from a run, not even the loopback.
TEST_F(ExecEngineTest, TheRunHasNoNetwork) {
  const int tcp = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof in;
  ASSERT_EQ(bind(tcp, reinterpret_cast<sockaddr*>(&in), sizeof in), 0);
  ASSERT_EQ(listen(tcp, 4), 0);
  ASSERT_EQ(getsockname(tcp, reinterpret_cast<sockaddr*>(&in), &length), 0);
  const std::string name = UniqueToken();
  const int local = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  std::memcpy(un.sun_path + 1, name.data(), name.size());
  const auto unLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  ASSERT_EQ(bind(local, reinterpret_cast<sockaddr*>(&un), unLength), 0);
  ASSERT_EQ(listen(local, 4), 0);
  engine.FileOut = (dir / "out.txt").string();
  Run("net " + std::to_string(ntohs(in.sin_port)) + " " + name);
  close(tcp);
  close(local);
  ASSERT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
  EXPECT_EQ(ReadFile(dir / "out.txt"), "unreachable\nunreachable\n");
}

// A root Velkor's programs run as an account of their own, never as root;
// an unprivileged one's as its own account.
TEST_F(ExecEngineTest, ProgramsNeverRunAsRoot) {
  engine.FileOut = (dir / "out.txt").string();
  Run("ids");
  ASSERT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
  const std::string expected = geteuid() == 0 ? std::to_string(platform::kRunAccountId) + " " +
                                                    std::to_string(platform::kRunAccountId) + " 0\n"
                                              : std::to_string(geteuid()) + " " + std::to_string(getegid()) + " 0\n";
  EXPECT_EQ(ReadFile(dir / "out.txt"), expected);
}

// A view that cannot be made stops the start, before the program runs,
// and says why; one that can be made is found so without a program.
TEST_F(ExecEngineTest, AViewThatCannotBeMadeStopsTheStart) {
  fs::create_directories(dir / "work/room");
  struct Case {
    const char* What;
    std::string Room;
    std::vector<std::string> ReadOnly;
  } cases[] = {
      {"room missing", (dir / "work/gone").string(), {}},
      {"room is the root", "/", {}},
      {"everything shown", (dir / "work/room").string(), {"/"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    engine.Room = c.Room;
    engine.ReadOnlyFolders = c.ReadOnly;
    engine.FileOut = (dir / "out.txt").string();
    Run("echo");
    EXPECT_NE(engine.ExitCode(), ExecOK);
    const std::string told = "không dựng được môi trường chạy riêng cho lệnh \"" + engine.Cmd() + "\": ";
    EXPECT_EQ(engine.ContainmentError().rfind(told, 0), 0u) << engine.ContainmentError();
    EXPECT_NE(engine.ExitCodeMsg().find("Cannot execute command"), std::string::npos) << engine.ExitCodeMsg();
    EXPECT_EQ(ReadFile(dir / "out.txt"), "");
  }
  EXPECT_NE(platform::CheckRunView((dir / "work/gone").string()), 0);
  EXPECT_EQ(platform::CheckRunView((dir / "work/room").string()), 0);
  engine.Room.clear();
  engine.ReadOnlyFolders.clear();
  Run("echo");
  EXPECT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
  EXPECT_EQ(engine.ContainmentError(), "");
}

// The steps a run's init takes: machine folders copied first, in the order
// they are attached, outer folders before inner ones, folders made only on
// the run's own file systems, and nothing for a folder already shown.
TEST(RunView, PlansTheNewRootOuterFoldersFirst) {
  using namespace platform::run;
  using Step = platform::PlannedViewStep;
  platform::RunViewRequest request;
  request.ReadOnly = {"/usr", "/usr/lib", "/opt/tool", "/tmp/probe", "/w/room/inner"};
  request.Room = "/w/room";
  request.RootLinks = {{"bin", "usr/bin"}};
  // What every such run shares: the machine's folders and every folder made
  // on the new root, which is then sealed ...
  const std::vector<Step> skeleton = {
      {kViewTakeTree, "/usr", ""},
      {kViewTakeTree, "/opt/tool", ""},
      {kViewRoot, "/tmp", ""},
      {kViewLink, "/tmp/bin", "usr/bin"},
      {kViewDevices, "/tmp/dev", ""},
      {kViewLink, "/tmp/dev/fd", "/proc/self/fd"},
      {kViewLink, "/tmp/dev/stdin", "/proc/self/fd/0"},
      {kViewLink, "/tmp/dev/stdout", "/proc/self/fd/1"},
      {kViewLink, "/tmp/dev/stderr", "/proc/self/fd/2"},
      {kViewFolder, "/tmp/proc", ""},
      {kViewFolder, "/tmp/room", ""},
      {kViewFolder, "/tmp/tmp", ""},
      {kViewFolder, "/tmp/usr", ""},
      {kViewAttach, "/tmp/usr", ""},
      {kViewFolder, "/tmp/dev/shm", ""},
      {kViewFolder, "/tmp/opt", ""},
      {kViewFolder, "/tmp/opt/tool", ""},
      {kViewAttach, "/tmp/opt/tool", ""},
      {kViewFolder, "/tmp/var", ""},
      {kViewFolder, "/tmp/var/tmp", ""},
      {kViewSeal, "/tmp", ""},
  };
  // ... and what each run has of its own: its file systems, and what lies
  // on one of them (a folder shown inside its /tmp).
  const std::vector<Step> own = {
      {kViewTakeTree, "/tmp/probe", ""},
      {kViewScratch, "/dev", ""},
      {kViewProc, "/tmp/proc", ""},
      {kViewBind, "/tmp/room", "/dev/room"},
      {kViewBind, "/tmp/tmp", "/dev/tmp"},
      {kViewShm, "/tmp/dev/shm", ""},
      {kViewFolder, "/tmp/tmp/probe", ""},
      {kViewAttach, "/tmp/tmp/probe", ""},
      {kViewBind, "/tmp/var/tmp", "/dev/vartmp"},
      {kViewPivot, "/tmp", ""},
  };
  const platform::PlannedView view = platform::PlanRunView(request);
  EXPECT_EQ(view.Skeleton, skeleton);
  EXPECT_EQ(view.Run, own);
  std::vector<Step> whole = skeleton;
  whole.insert(whole.end(), own.begin(), own.end());
  EXPECT_EQ(view.Steps(), whole);

  // Wherever the room lies on the machine, the run has it at /room, and
  // nothing is made where it lies.
  request = {};
  request.ReadOnly = {"/opt", "/var/x"};
  request.Room = "/opt/w/room";
  const std::vector<Step> plan = platform::PlanRunView(request).Steps();
  EXPECT_EQ(std::count(plan.begin(), plan.end(), Step{kViewBind, "/tmp/room", "/dev/room"}), 1);
  EXPECT_TRUE(std::none_of(plan.begin(), plan.end(), [](const Step& s) { return s.Path.find("/w") != std::string::npos; }));
  // A room that lies below the machine's own /room shows what is inside it
  // there too.
  platform::RunViewRequest elsewhere;
  elsewhere.Room = "/w";
  request = {};
  request.ReadOnly = {"/room/w/room", "/room/w/room/sub"};
  request.Room = "/room/w/room";
  EXPECT_EQ(platform::PlanRunView(request).Steps(), platform::PlanRunView(elsewhere).Steps());

  for (const auto& [readOnly, room] : std::vector<std::pair<std::string, std::string>>{
           {"/", "/w"}, {"/proc/1", "/w"}, {"/u", "/"}, {"/u", "/proc/x"}, {"/u", "/tmp"}, {"/room", "/w"},
           {"/room/tool", "/w"}}) {
    request = {};
    request.ReadOnly = {readOnly};
    request.Room = room;
    EXPECT_THROW(platform::PlanRunView(request), std::system_error) << readOnly << " " << room;
  }
  request = {};
  for (int i = 0; i <= platform::run::kMaxTakenTrees; ++i) request.ReadOnly.push_back("/w/" + std::to_string(i));
  EXPECT_THROW(platform::PlanRunView(request), std::system_error);

  // A file of the room shown read-only is its copy on the scratch, shown
  // over itself once the room is in place; only a file directly in the room.
  request = {};
  request.Room = "/w/room";
  request.RoomFiles = {"prog.exe"};
  const std::vector<Step> withFile = platform::PlanRunView(request).Run;
  const auto bound = std::find(withFile.begin(), withFile.end(), Step{kViewBind, "/tmp/room", "/dev/room"});
  EXPECT_EQ(withFile.front(), (Step{kViewTakeRoomFile, "room/prog.exe", ""}));
  EXPECT_NE(std::find(bound, withFile.end(), Step{kViewAttach, "/tmp/room/prog.exe", ""}), withFile.end());
  for (const std::string file : {"sub/prog.exe", "/w/room/prog.exe", "..", ""}) {
    request.RoomFiles = {file};
    EXPECT_THROW(platform::PlanRunView(request), std::system_error) << file;
  }
  request.Room.clear();
  request.RoomFiles = {"prog.exe"};
  EXPECT_THROW(platform::PlanRunView(request), std::system_error);
}

// Paths shown to a run are resolved as canonical() resolves them: links
// followed at any depth, "." and ".." gone; what is missing is an error.
TEST_F(ExecEngineTest, PathsAreResolvedAsTheyLie) {
  fs::create_directories(dir / "a/b");
  fs::create_directory_symlink(dir / "a", dir / "link");
  fs::create_symlink("../link/b", dir / "a/up");
  for (const fs::path& p : {dir / "link/b", dir / "a/up/../b/.", dir / "link/up", fs::path(dir)}) {
    std::error_code ec;
    EXPECT_EQ(platform::ResolvePath(p.string(), ec), fs::canonical(p).string()) << p;
    EXPECT_FALSE(ec) << p;
  }
  std::error_code ec;
  EXPECT_EQ(platform::ResolvePath((dir / "link/none").string(), ec), "");
  EXPECT_EQ(ec, std::errc::no_such_file_or_directory);
}

// A folder that is, or holds, a hidden one is never shown, by whatever name
// it is given; folders beside or inside a hidden one are.
TEST_F(ExecEngineTest, FoldersHoldingHiddenOnesAreLeftOutOfTheView) {
  fs::create_directories(dir / "tools/bin");
  fs::create_directories(dir / "tools/contest/tasks");
  fs::create_directories(dir / "beside");
  fs::create_directory_symlink(dir / "tools", dir / "alias");
  const std::vector<std::string> hidden = {(dir / "alias/contest").string(), (dir / "missing").string()};
  const auto shown = [&](const fs::path& folder) {
    const std::vector<platform::PlannedViewStep> steps =
        platform::ResolveRunView({folder.string()}, "", {}, hidden).Steps();
    return std::any_of(steps.begin(), steps.end(), [&](const platform::PlannedViewStep& s) {
      return s.Kind == platform::run::kViewTakeTree && s.Path == fs::canonical(folder).string();
    });
  };
  for (const fs::path& folder : {dir / "tools", dir / "alias", dir / "tools/contest", fs::path(dir)})
    EXPECT_FALSE(shown(folder)) << folder;
  for (const fs::path& folder : {dir / "tools/bin", dir / "beside", dir / "tools/contest/tasks"})
    EXPECT_TRUE(shown(folder)) << folder;
}

TEST_F(ExecEngineTest, ARunDoesNotOutliveAJudgeThatDies) {
  const std::string token = UniqueToken();
  const std::string sleeper = "sleep " + token;
  ForkedJudge judge([&] {
    TExecEngine inner;
    inner.SetCmd(kProbe + " grandchild " + (dir / "g.txt").string() + " " + token);
    inner.Execute();  // the grandchild stays until Finish...
    inner.SetCmd(kProbe + " " + sleeper);
    inner.Execute();  // ...and this run until the judge is killed
  });
  ASSERT_GT(judge.Pid(), 0);
  // Wait until the sleeping run is there, then kill the judge outright.
  ASSERT_TRUE(AwaitProcesses(sleeper, true));
  judge.Kill();
  EXPECT_TRUE(AwaitProcesses(token, false));
  platform::SweepStaleControlGroups();  // what the next start would do
}

TEST_F(ExecEngineTest, RunsWhileTheJudgeIsNotDumpable) {
  // A judge started with file capabilities, or one that has switched its
  // file-system identity, is not dumpable; its runs must work all the same
  // (the unprivileged rerun of this suite is where that matters).
  ASSERT_EQ(prctl(PR_SET_DUMPABLE, 0, 0, 0, 0), 0);
  Run("exit 5");
  prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
  EXPECT_EQ(engine.ExitCode(), 5) << engine.ExitCodeMsg();
}

TEST_F(ExecEngineTest, TheRunSeesOnlyItsOwnProcesses) {
  engine.FileOut = (dir / "proc.txt").string();
  Run("proc");
  ASSERT_EQ(engine.ExitCode(), ExecOK);
  EXPECT_LE(std::stoi(ReadFile(dir / "proc.txt")), 2);  // init and the program
}

TEST_F(ExecEngineTest, RedirectsStreamsToFilesAndNul) {
  std::ofstream(dir / "in.txt") << "hello judge";
  engine.FileInp = (dir / "in.txt").string();
  engine.FileOut = (dir / "new" / "deeper" / "out.txt").string();  // folders created
  engine.FileErr = (dir / "err.txt").string();
  Run("echo");
  ASSERT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
  EXPECT_EQ(ReadFile(dir / "new" / "deeper" / "out.txt"), "hello judge");
  EXPECT_EQ(ReadFile(dir / "err.txt"), "err");
  EXPECT_FALSE(engine.ConsoleAllocated);

  engine.FileOut = "nul";
  engine.FileErr = "NUL";
  Run("echo");
  EXPECT_EQ(engine.ExitCode(), ExecOK);

  // Only the output named: input is the null device, so echo ends at once.
  engine.FileInp.clear();
  engine.FileErr.clear();
  engine.FileOut = (dir / "only-out.txt").string();
  Run("echo");
  EXPECT_EQ(engine.ExitCode(), ExecOK);
  EXPECT_TRUE(engine.ConsoleAllocated);
  EXPECT_EQ(ReadFile(dir / "only-out.txt"), "");
}

TEST_F(ExecEngineTest, ProgramGetsOnlyItsStreamsAndNoDisplay) {
  int leaked = open("/dev/null", O_RDONLY);  // not close-on-exec on purpose
  ASSERT_GE(leaked, 0);
  setenv("DISPLAY", ":0", 1);
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nowhere", 1);
  Run("fds");
  EXPECT_EQ(engine.ExitCode(), ExecOK) << "a descriptor leaked";
  Run("env");
  EXPECT_EQ(engine.ExitCode(), ExecOK) << "display variables leaked";
  unsetenv("DISPLAY");
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  close(leaked);
}

TEST_F(ExecEngineTest, WorkingFolderIsTheProgramsUnlessSet) {
  engine.FileOut = (dir / "pwd.txt").string();
  Run("pwd");
  EXPECT_EQ(ReadFile(dir / "pwd.txt") + "/", engine.WorkingDir);
  EXPECT_EQ(engine.WorkingDir, fs::path(kProbe).parent_path().string() + "/");

  engine.SetCmd(kProbe + " pwd");
  engine.WorkingDir = dir.string();
  engine.Execute();
  EXPECT_EQ(ReadFile(dir / "pwd.txt"), dir.string());
}

// A run gets a /dev/shm of its own; one that works in a folder below the
// machine's /dev/shm still finds its program and its folder there.
TEST_F(ExecEngineTest, ARunWorksInAFolderBelowDevShm) {
  std::string pattern = "/dev/shm/exec-XXXXXX";
  if (!fs::is_directory("/dev/shm") || mkdtemp(pattern.data()) == nullptr) GTEST_SKIP() << "no /dev/shm here";
  const fs::path room = pattern;
  fs::permissions(room, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
  fs::copy_file(kProbe, room / "probe");
  for (const std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{64} << 20}) {
    engine.SetMemLimit(limit);
    engine.FileOut = (dir / "pwd.txt").string();
    engine.SetCmd((room / "probe").string() + " pwd");
    engine.Execute();
    EXPECT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
    EXPECT_EQ(ReadFile(dir / "pwd.txt") + "/", engine.WorkingDir);
  }
  fs::remove_all(room);
}

TEST_F(ExecEngineTest, ArgumentsArriveSplitByTheWindowsRules) {
  engine.FileOut = (dir / "args.txt").string();
  Run("args \"a b\" c\\d \"e\\\"f\"");
  EXPECT_EQ(ReadFile(dir / "args.txt"), "a b\nc\\d\ne\"f\n");
}

TEST_F(ExecEngineTest, StartFailuresGiveACodeAndTheCommandLine) {
  const fs::path plain = dir / "plain.txt";
  std::ofstream(plain) << "not a program";
  const fs::path script = dir / "noshebang";
  std::ofstream(script) << "garbage";
  fs::permissions(script, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                              fs::perms::others_exec);

  struct Case {
    std::string cmd;
    std::string workingDir;  // "" keeps the one SetCmd derived
    std::int64_t code;
  } cases[] = {
      {"/nonexistent/prog", "", 2},
      {"", "", 2},
      {dir.string(), "", 5},        // a folder
      {plain.string(), "", 5},      // not executable
      {script.string(), "", 193},   // executable, but no known format
      {kProbe + " exit 0", (dir / "missing").string(), 267},
  };
  engine.RunningTime = 42;
  for (const Case& c : cases) {
    std::vector<TExecEngineState> events;
    engine.SetOnNotify([&](TExecEngine&, TExecEngineState s) { events.push_back(s); });
    engine.SetCmd(c.cmd);
    if (!c.workingDir.empty()) engine.WorkingDir = c.workingDir;
    engine.Execute();
    EXPECT_EQ(engine.ExitCode(), c.code) << c.cmd;
    const std::string tail = "\r\nCannot execute command:\r\n" + engine.Cmd();
    const std::string& msg = engine.ExitCodeMsg();
    ASSERT_GE(msg.size(), tail.size()) << c.cmd;
    EXPECT_EQ(msg.substr(msg.size() - tail.size()), tail) << c.cmd;
    EXPECT_GT(msg.size(), tail.size()) << "no system text for " << c.cmd;
    EXPECT_EQ(events, std::vector<TExecEngineState>{eesStart}) << c.cmd;
    EXPECT_EQ(engine.RunningTime, 42) << "a failed start keeps the last running time";
  }
}

// No process may be added for the account: the run itself cannot be made.
TEST_F(ExecEngineTest, ARunTheSystemRefusesIsAStartFailure) {
  engine.SetCmd(kProbe + " exit 0");
  const auto report = testing::RunUnprivileged([&] {
    const rlimit none{0, 0};
    if (::setrlimit(RLIMIT_NPROC, &none) != 0) return std::string("cannot limit");
    engine.Execute();
    return std::to_string(engine.ExitCode()) + "\n" + engine.ExitCodeMsg();
  });
  ASSERT_TRUE(report.has_value());
  const std::string tail = "\r\nCannot execute command:\r\n" + engine.Cmd();
  // The account cannot make the run, or, where the judge's control groups
  // are used, not even its groups.
  const std::string code = report->substr(0, report->find('\n'));
  EXPECT_TRUE(code == std::to_string(platform::ErrorCodeFromErrno(EAGAIN)) ||
              (!platform::PrepareControlGroups().Folders.empty() &&
               code == std::to_string(platform::ErrorCodeFromErrno(EACCES))))
      << *report;
  EXPECT_TRUE(report->ends_with(tail)) << *report;
}

TEST_F(ExecEngineTest, AnUnusableRedirectionIsAnErrorNamingTheFile) {
  const fs::path blocker = dir / "file";
  std::ofstream(blocker) << "x";
  // The jury reads the message: in Vietnamese, the stream, the file, why.
  struct Case {
    std::string TExecEngine::*field;
    fs::path path;
    std::string says;
  } cases[] = {
      {&TExecEngine::FileOut, blocker / "sub" / "out.txt",  // folder under a file
       "Không mở được file làm đầu ra chuẩn: " + (blocker / "sub" / "out.txt").string() +
           "\r\nHệ thống không tìm thấy đường dẫn được chỉ định."},
      {&TExecEngine::FileInp, dir / "missing-input.txt",
       "Không mở được file làm đầu vào chuẩn: " + (dir / "missing-input.txt").string() +
           "\r\nHệ thống không tìm thấy file được chỉ định."},
  };
  for (const Case& c : cases) {
    engine.FileInp.clear();
    engine.FileOut.clear();
    engine.*c.field = c.path.string();
    Run("exit 0");
    EXPECT_EQ(engine.ExitCode(), ExecError) << c.path;
    EXPECT_EQ(engine.ExitCodeMsg(), c.says);
  }
}

}  // namespace
}  // namespace velkor
