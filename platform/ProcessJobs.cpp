#include "platform/ProcessJobs.h"

#include <fcntl.h>
#include <linux/sched.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/SystemErrors.h"

namespace velkor::platform {
namespace {

// What the program side reports when it cannot start.
enum StartStage : std::int32_t { kStageFork = 1, kStageChdir, kStageExec, kStageStreams };

struct StartReport {
  std::int32_t Stage;
  std::int32_t Errno;
};

struct GoMessage {
  std::uint64_t ProcessMemoryLimit;
};

// Everything the child side needs, prepared before clone().
struct ChildPlan {
  const char* App;
  char* const* Argv;
  char* const* Envp;
  const char* WorkingDir;  // nullptr: keep
  int Streams[3];          // sources for 0, 1, 2
  int GoRead;
  int ErrorsWrite;
  int StatusWrite;
  int NiceIncrement;
  void* ProgramStackTop;  // the program's stack until it execs
};

constexpr std::size_t kProgramStackSize = 256 * 1024;

// ---- child side: async-signal-safe calls only ----------------------------

bool ReadFull(int fd, void* buf, size_t size) {
  auto* p = static_cast<char*>(buf);
  while (size > 0) {
    ssize_t n = read(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void WriteFull(int fd, const void* buf, size_t size) {
  auto* p = static_cast<const char*>(buf);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    size -= static_cast<size_t>(n);
  }
}

[[noreturn]] void FailStart(int fd, StartStage stage, int err) {
  StartReport report{stage, err};
  WriteFull(fd, &report, sizeof report);
  _exit(127);
}

// Blocked and ignored signals survive exec; the program starts clean.
void ResetSignals() {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &dfl, nullptr);
}

// A /proc of the run's own namespace, so the program cannot even read about
// the jury's processes. Best effort: the mounts stay private to the run.
void MountPrivateProc() {
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return;
  mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr);
}

// Marks every descriptor above 2 close-on-exec, so the program inherits only
// its three standard streams.
void CloseOnExecFrom3() {
  if (syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) == 0) return;
  struct rlimit rl {};
  int max = (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < 65536) ? int(rl.rlim_cur) : 65536;
  for (int fd = 3; fd < max; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
}

[[noreturn]] void RunProgram(const ChildPlan& plan, const GoMessage& go) {
  prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
  struct rlimit noCore {0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  if (go.ProcessMemoryLimit != 0) {
    struct rlimit data {go.ProcessMemoryLimit, go.ProcessMemoryLimit};
    setrlimit(RLIMIT_DATA, &data);
  }
  if (plan.NiceIncrement != 0) {
    errno = 0;
    int current = getpriority(PRIO_PROCESS, 0);
    if (errno == 0) setpriority(PRIO_PROCESS, 0, current + plan.NiceIncrement);
  }
  // Lift the sources above 2 first, so a source that happens to be 0, 1 or 2
  // is not overwritten before it is used.
  int lifted[3];
  for (int i = 0; i < 3; ++i) {
    lifted[i] = fcntl(plan.Streams[i], F_DUPFD_CLOEXEC, 3);
    if (lifted[i] < 0) FailStart(plan.ErrorsWrite, kStageStreams, errno);
  }
  for (int i = 0; i < 3; ++i)
    if (dup2(lifted[i], i) < 0) FailStart(plan.ErrorsWrite, kStageStreams, errno);
  // A missing program is named as such, not as a bad working folder.
  if (access(plan.App, F_OK) != 0) FailStart(plan.ErrorsWrite, kStageExec, errno);
  if (plan.WorkingDir && chdir(plan.WorkingDir) != 0)
    FailStart(plan.ErrorsWrite, kStageChdir, errno);
  CloseOnExecFrom3();
  execve(plan.App, plan.Argv, plan.Envp);
  FailStart(plan.ErrorsWrite, kStageExec, errno);
}

struct ProgramArgs {
  const ChildPlan* Plan;
  const GoMessage* Go;
};

int StartProgram(void* arg) {
  auto* args = static_cast<ProgramArgs*>(arg);
  RunProgram(*args->Plan, *args->Go);
}

[[noreturn]] void RunInit(const ChildPlan& plan) {
  // If Velkor dies, the run dies with it: init's death empties the namespace.
  prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
  ResetSignals();
  GoMessage go{};
  if (!ReadFull(plan.GoRead, &go, sizeof go)) _exit(1);  // the keeper gave up
  close(plan.GoRead);
  MountPrivateProc();

  // The program shares init's memory until it execs (as vfork does), so
  // starting it copies no page tables; it runs on a stack of its own.
  ProgramArgs args{&plan, &go};
  pid_t program = clone(StartProgram, plan.ProgramStackTop, CLONE_VM | CLONE_VFORK | SIGCHLD, &args);
  if (program < 0) FailStart(plan.ErrorsWrite, kStageFork, errno);
  close(plan.ErrorsWrite);

  for (;;) {
    int status = 0;
    pid_t done = waitpid(-1, &status, 0);
    if (done == program) {
      WriteFull(plan.StatusWrite, &status, sizeof status);
      _exit(0);
    }
    if (done < 0 && errno != EINTR) _exit(2);
  }
}

// ---- keeper side ---------------------------------------------------------

std::system_error SystemError(int err, const std::string& what) {
  return std::system_error(err, std::generic_category(), what);
}

void WriteIdMap(pid_t pid, const char* file, const std::string& content) {
  std::string path = "/proc/" + std::to_string(pid) + "/" + file;
  int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) throw SystemError(errno, "cannot open " + path);
  ssize_t n = write(fd, content.data(), content.size());
  int err = errno;
  close(fd);
  if (n != static_cast<ssize_t>(content.size()))
    throw SystemError(err, "cannot write " + path);
}

// Inside its user namespace the program keeps Velkor's own identity.
void MapOwnIdentity(pid_t pid) {
  WriteIdMap(pid, "setgroups", "deny");
  WriteIdMap(pid, "uid_map", std::to_string(geteuid()) + " " + std::to_string(geteuid()) + " 1");
  WriteIdMap(pid, "gid_map", std::to_string(getegid()) + " " + std::to_string(getegid()) + " 1");
}

std::vector<char*> PointerArray(std::vector<std::string>& strings) {
  std::vector<char*> out;
  out.reserve(strings.size() + 1);
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

struct Pipe {
  UniqueFd Read, Write;
};

Pipe MakePipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw SystemError(errno, "cannot create a pipe");
  return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

// A socket pair rather than a pipe for "go": a keeper writing to a dead init
// must get EPIPE, not SIGPIPE.
Pipe MakeGoChannel() {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    throw SystemError(errno, "cannot create a socket pair");
  return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

std::int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

std::shared_ptr<ContainedProcess> ContainedProcess::CreateSuspended(const ProgramStart& start) {
  // A relative program name means the file beside Velkor, not one in the
  // program's working folder.
  std::error_code ec;
  const std::string app =
      start.AppName.empty() ? start.AppName : std::filesystem::absolute(start.AppName, ec).string();
  std::vector<std::string> args = start.Args;
  std::vector<std::string> env = start.Environment;
  std::vector<char*> argv = PointerArray(args);
  std::vector<char*> envp = PointerArray(env);

  UniqueFd null(open("/dev/null", O_RDWR | O_CLOEXEC));
  if (!null.Valid()) throw SystemError(errno, "cannot open /dev/null");
  Pipe go = MakeGoChannel();
  Pipe errors = MakePipe();
  Pipe status = MakePipe();

  ChildPlan plan{};
  plan.App = app.c_str();
  plan.Argv = argv.data();
  plan.Envp = envp.data();
  plan.WorkingDir = start.WorkingDir.empty() ? nullptr : start.WorkingDir.c_str();
  const int streams[3] = {start.StdInput, start.StdOutput, start.StdError};
  for (int i = 0; i < 3; ++i) plan.Streams[i] = streams[i] >= 0 ? streams[i] : null.Get();
  plan.GoRead = go.Read.Get();
  plan.ErrorsWrite = errors.Write.Get();
  plan.StatusWrite = status.Write.Get();
  plan.NiceIncrement = start.NiceIncrement;
  std::vector<char> programStack(kProgramStackSize);
  plan.ProgramStackTop = programStack.data() + programStack.size();  // stacks grow down

  const bool needUserNamespace = geteuid() != 0;
  unsigned long flags = CLONE_NEWPID | CLONE_NEWNS | CLONE_PIDFD | SIGCHLD;
  if (needUserNamespace) flags |= CLONE_NEWUSER;
  int pidfd = -1;
  // Raw clone: it returns in the child like fork() does, on a copy of this
  // stack, without running fork handlers that may take locks.
  long pid = syscall(SYS_clone, flags, 0, &pidfd, nullptr, 0);
  if (pid == 0) RunInit(plan);
  if (pid < 0) throw SystemError(errno, "cannot create an isolated run for the program");

  std::shared_ptr<ContainedProcess> process(new ContainedProcess);
  process->pid_ = static_cast<pid_t>(pid);
  process->pidfd_.Reset(pidfd);
  process->go_ = std::move(go.Write);
  process->errors_ = std::move(errors.Read);
  process->status_ = std::move(status.Read);
  // The child's copies are the only ones that should stay open; holding ours
  // would hide the end-of-file that reports a successful exec.
  errors.Write.Reset();
  status.Write.Reset();
  if (needUserNamespace) MapOwnIdentity(process->pid_);  // on failure the destructor kills it
  return process;
}

ContainedProcess::~ContainedProcess() { Terminate(); }

bool ContainedProcess::ApplyLimits(const JobLimits& limits) {
  if (resumed_) return false;
  limits_ = limits;
  return true;
}

bool ContainedProcess::Resume(StartFailure& failure) {
  GoMessage go{limits_.ProcessMemoryLimit};
  ssize_t sent;
  do sent = send(go_.Get(), &go, sizeof go, MSG_NOSIGNAL);
  while (sent < 0 && errno == EINTR);
  const int sendErrno = errno;
  go_.Reset();
  resumed_ = true;
  if (sent != static_cast<ssize_t>(sizeof go)) {
    failure.Code = ErrorCodeFromErrno(sent < 0 ? sendErrno : EPIPE);
    failure.Message = SystemErrorMessage(failure.Code);
    return false;
  }
  StartReport report{};
  if (!ReadFull(errors_.Get(), &report, sizeof report)) return true;  // exec'ed
  failure.Code = report.Stage == kStageChdir ? kErrorDirectory : ErrorCodeFromErrno(report.Errno);
  failure.Message = SystemErrorMessage(failure.Code);
  return false;
}

ContainedProcess::WaitResult ContainedProcess::Wait(std::uint32_t timeoutMs, int& status) {
  const bool infinite = timeoutMs == kInfinite;
  const std::int64_t deadline = MonotonicMs() + timeoutMs;
  for (;;) {
    int wait = -1;
    if (!infinite) {
      const std::int64_t left = deadline - MonotonicMs();
      if (left <= 0) wait = 0;
      else wait = left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }
    pollfd p{pidfd_.Get(), POLLIN, 0};
    int n = poll(&p, 1, wait);
    if (n < 0) {
      if (errno == EINTR) continue;
      status = errno;
      return WaitResult::Failed;
    }
    if (n > 0) break;
    if (!infinite && MonotonicMs() >= deadline) return WaitResult::TimedOut;
  }
  // Init exits right after it has written the program's status.
  if (!ReadFull(status_.Get(), &status, sizeof status)) {
    status = ECHILD;
    return WaitResult::Failed;
  }
  return WaitResult::Exited;
}

void ContainedProcess::Terminate() {
  if (pidfd_.Valid() && !reaped_) {
    syscall(SYS_pidfd_send_signal, pidfd_.Get(), SIGKILL, nullptr, 0);
    siginfo_t info{};
    // Returns once the whole namespace is gone. ECHILD: someone else reaped.
    while (waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd_.Get()), &info,
                  WEXITED) != 0 &&
           errno == EINTR) {
    }
    reaped_ = true;
  }
  pidfd_.Reset();
  go_.Reset();
  errors_.Reset();
  status_.Reset();
}

Job::~Job() {
  for (auto& weak : processes_)
    if (auto process = weak.lock()) process->Terminate();
}

bool Job::Assign(const std::shared_ptr<ContainedProcess>& process) {
  if (!process || !process->ApplyLimits(Limits)) return false;
  processes_.push_back(process);
  return true;
}

std::int64_t ExitCodeFromWaitStatus(int status) {
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

UniqueFd OpenRedirection(const std::string& name, bool forWriting, int& err) {
  err = 0;
  const bool isNull = name.size() == 3 && (name[0] | 32) == 'n' && (name[1] | 32) == 'u' &&
                      (name[2] | 32) == 'l';
  std::string path = isNull ? "/dev/null" : name;
  if (forWriting && !isNull) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
      std::filesystem::create_directories(folder, ec);
      if (ec) {
        err = ec.value();
        return UniqueFd();
      }
    }
  }
  const int flags = forWriting ? (O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC);
  UniqueFd fd(open(path.c_str(), flags, 0666));
  if (!fd.Valid()) err = errno;
  return fd;
}

}  // namespace velkor::platform
