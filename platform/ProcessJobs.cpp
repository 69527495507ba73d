#include "platform/ProcessJobs.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <pthread.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/RunProtocol.h"
#include "platform/SystemErrors.h"

namespace velkor::platform {
namespace {

using run::GoMessage;
using run::ReadFull;
using run::StartReport;

constexpr const char* kRunInitName = "velkor-run-init";
constexpr std::size_t kSpawnStackSize = 64 * 1024;

// Everything the spawn child needs, prepared before clone().
struct SpawnPlan {
  const char* InitPath;
  char* const* Argv;
  char* const* Envp;
  int Sources[6];  // become descriptors 0..5 of the init
  int ErrorsWrite;
  // In a user namespace of its own, the run keeps Velkor's identity: these
  // maps, written by the child itself ("" when no user namespace is made).
  const char* UidMap;
  const char* GidMap;
  // The child has a memory of its own (Velkor is not dumpable, see below)
  // and may make itself dumpable so that it can write its maps.
  bool OwnMemory;
};

bool WriteProcSelf(const char* file, const char* content) {
  const int fd = open(file, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t size = static_cast<ssize_t>(strlen(content));
  const bool ok = write(fd, content, static_cast<size_t>(size)) == size;
  close(fd);
  return ok;
}

// A process may map its own identity into its new user namespace; doing it
// from the inside needs no access to the child from Velkor's side, which
// the kernel refuses while Velkor is not dumpable (started with file
// capabilities, or after an identity switch).
bool MapOwnIdentity(const SpawnPlan& plan) {
  if (!*plan.UidMap) return true;
  // The files of a process that is not dumpable belong to root, its own
  // map files included.
  if (plan.OwnMemory) prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
  return WriteProcSelf("/proc/self/setgroups", "deny") && WriteProcSelf("/proc/self/uid_map", plan.UidMap) &&
         WriteProcSelf("/proc/self/gid_map", plan.GidMap);
}

// A /proc of the run's own namespace, so the program cannot even read about
// the jury's processes. Mounted before the init is exec'ed: in a user
// namespace only this first process holds the capability to mount. Best
// effort; the mounts stay private to the run.
void MountPrivateProc() {
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return;
  mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr);
}

// Runs between clone() and exec in memory shared with Velkor (whose calling
// thread is suspended meanwhile, as with vfork): async-signal-safe calls on
// the plan only.
int SpawnInit(void* arg) {
  const auto& plan = *static_cast<const SpawnPlan*>(arg);
  // Handlers still point into Velkor; every signal is blocked until they are
  // reset. Ignored signals would survive exec, so they are reset too.
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &dfl, nullptr);
  // If Velkor dies, the run dies with it. Set here, before the exec, so
  // there is no moment when the init runs without it.
  prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
  if (!MapOwnIdentity(plan)) goto fail;
  MountPrivateProc();
  // Lift the sources above the targets first, so none is overwritten before
  // it is used.
  int lifted[6];
  for (int i = 0; i < 6; ++i) lifted[i] = fcntl(plan.Sources[i], F_DUPFD_CLOEXEC, 6);
  for (int i = 0; i < 6; ++i)
    if (lifted[i] < 0 || dup2(lifted[i], i) < 0) goto fail;
  syscall(SYS_close_range, 6u, ~0u, CLOSE_RANGE_CLOEXEC);
  {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
  }
  execve(plan.InitPath, plan.Argv, plan.Envp);
fail:
  StartReport report{run::kStageInit, errno};
  (void)!write(plan.ErrorsWrite, &report, sizeof report);
  _exit(127);
}

// ---- keeper side ---------------------------------------------------------

std::system_error SystemError(int err, const std::string& what) {
  return std::system_error(err, std::generic_category(), what);
}

// The init program lives beside the running executable.
std::string RunInitPath() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return (self.parent_path() / kRunInitName).string();
}

// One line of a user-namespace map: the id maps to itself.
std::string IdMapLine(unsigned id) { return std::to_string(id) + " " + std::to_string(id) + " 1"; }

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

// Blocks every signal of the calling thread for its lifetime.
class AllSignalsBlocked {
 public:
  AllSignalsBlocked() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old_);
  }
  ~AllSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

}  // namespace

std::shared_ptr<ContainedProcess> ContainedProcess::CreateSuspended(const ProgramStart& start) {
  const std::string initPath = RunInitPath();
  if (access(initPath.c_str(), X_OK) != 0)
    throw SystemError(errno, "cannot use the run helper " + initPath);

  // A relative program name means the file beside Velkor, not one in the
  // program's working folder.
  std::error_code ec;
  const std::string app =
      start.AppName.empty() ? start.AppName : std::filesystem::absolute(start.AppName, ec).string();
  std::vector<std::string> args{initPath, start.WorkingDir, std::to_string(start.NiceIncrement), app};
  args.insert(args.end(), start.Args.begin(), start.Args.end());
  std::vector<std::string> env = start.Environment;
  std::vector<char*> argv = PointerArray(args);
  std::vector<char*> envp = PointerArray(env);

  UniqueFd null(open("/dev/null", O_RDWR | O_CLOEXEC));
  if (!null.Valid()) throw SystemError(errno, "cannot open /dev/null");
  Pipe go = MakeGoChannel();
  Pipe errors = MakePipe();
  Pipe status = MakePipe();

  SpawnPlan plan{};
  plan.InitPath = initPath.c_str();
  plan.Argv = argv.data();
  plan.Envp = envp.data();
  const int streams[3] = {start.StdInput, start.StdOutput, start.StdError};
  for (int i = 0; i < 3; ++i) plan.Sources[i] = streams[i] >= 0 ? streams[i] : null.Get();
  plan.Sources[run::kGoFd] = go.Read.Get();
  plan.Sources[run::kErrorsFd] = errors.Write.Get();
  plan.Sources[run::kStatusFd] = status.Write.Get();
  plan.ErrorsWrite = errors.Write.Get();
  const bool needUserNamespace = geteuid() != 0;
  const std::string uidMap = needUserNamespace ? IdMapLine(geteuid()) : std::string();
  const std::string gidMap = needUserNamespace ? IdMapLine(getegid()) : std::string();
  plan.UidMap = uidMap.c_str();
  plan.GidMap = gidMap.c_str();

  int flags = CLONE_VFORK | CLONE_NEWPID | CLONE_NEWNS | CLONE_PIDFD | SIGCHLD;
  if (needUserNamespace) flags |= CLONE_NEWUSER;
  // Like posix_spawn: the child shares our memory until it execs the init,
  // so no page table of Velkor is copied however large Velkor is. Not when
  // the child must make itself dumpable to map its identity: that flag
  // belongs to the memory, and Velkor's must stay as it is.
  plan.OwnMemory = needUserNamespace && prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 1;
  if (!plan.OwnMemory) flags |= CLONE_VM;
  std::vector<char> stack(kSpawnStackSize);
  int pidfd = -1;
  pid_t pid;
  {
    AllSignalsBlocked blocked;
    pid = clone(SpawnInit, stack.data() + stack.size(), flags, &plan, &pidfd);
  }
  if (pid < 0) throw SystemError(errno, "cannot create an isolated run for the program");

  std::shared_ptr<ContainedProcess> process(new ContainedProcess);
  process->pid_ = pid;
  process->pidfd_.Reset(pidfd);
  process->go_ = std::move(go.Write);
  process->errors_ = std::move(errors.Read);
  process->status_ = std::move(status.Read);
  // Only the init's copies may stay open: ours would hide the end of file
  // that reports a successful exec.
  errors.Write.Reset();
  status.Write.Reset();
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
  StartReport report{};
  if (sent != static_cast<ssize_t>(sizeof go)) {
    // The init is gone; what it reported before says why.
    if (!ReadFull(errors_.Get(), &report, sizeof report)) report = {0, sent < 0 ? sendErrno : EPIPE};
  } else if (!ReadFull(errors_.Get(), &report, sizeof report)) {
    return true;  // exec'ed
  }
  if (report.Stage == run::kStageInit)
    throw SystemError(report.Errno, "cannot start the run helper " + RunInitPath());
  failure.Code = report.Stage == run::kStageChdir ? kErrorDirectory : ErrorCodeFromErrno(report.Errno);
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
