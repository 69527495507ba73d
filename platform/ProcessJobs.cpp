#include "platform/ProcessJobs.h"

#include <fcntl.h>
#include <pthread.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/ControlGroups.h"
#include "platform/RunProtocol.h"
#include "platform/RunView.h"
#include "platform/SystemErrors.h"

namespace velkor::platform {
namespace {

using run::GoMessage;
using run::InitPlan;
using run::ReadFull;
using run::StartReport;

// The two stacks the run's processes use in Velkor's memory, each above a
// guard page, so an overflow faults instead of writing over Velkor's data.
constexpr std::size_t kGuardSize = 4096;
constexpr std::size_t kInitStackSize = 60 * 1024;
constexpr std::size_t kProgramStackSize = 60 * 1024;

std::system_error SystemError(int err, const std::string& what) {
  return std::system_error(err, std::generic_category(), what);
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

// Without a memory group, each process's address space is limited instead:
// shared mappings count there. Twice the limit leaves room for what a
// program reserves without using it (the Java runtime is run with a limit
// of 4 GiB and holds its heap to its own).
std::uint64_t AddressSpaceLimitFor(std::uint64_t memoryLimit) {
  constexpr std::uint64_t kSlack = std::uint64_t{64} << 20;
  if (memoryLimit >= (std::uint64_t{1} << 60)) return 0;
  return 2 * memoryLimit + kSlack;
}

// Whether the run needs something below the machine's /dev/shm (its
// program, its working folder, a folder kept in its view): a private
// /dev/shm mounted over it would take that away.
bool NeedsMachineShm(const std::string& program, const std::string& workingDir,
                     const std::vector<std::string>& kept) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path shm = fs::canonical("/dev/shm", ec);
  if (ec) return false;
  auto below = [&](const std::string& path) {
    if (path.empty()) return false;
    std::error_code pathError;
    const std::string real = fs::weakly_canonical(path, pathError).string();
    const std::string folder = shm.string();
    return !pathError && real.starts_with(folder) && (real.size() == folder.size() || real[folder.size()] == '/');
  };
  if (below(program) || below(workingDir.empty() ? fs::current_path(ec).string() : workingDir)) return true;
  for (const std::string& k : kept)
    if (below(k)) return true;
  return false;
}

}  // namespace

std::vector<std::string> RunLimitations() {
  const ControlGroupSupport& support = PrepareControlGroups();
  std::vector<std::string> out;
  if (!support.Memory)
    out.push_back("no memory control group for the runs (" + support.MemoryProblem +
                  "): a program's memory limit holds for each of its processes (data, address space) "
                  "and for a private /dev/shm, not for the run as a whole, nor for files it writes "
                  "into other memory-backed folders");
  if (!support.Tasks && geteuid() == 0)
    out.push_back("no pids control group for the runs (" + support.TasksProblem +
                  "): the number of tasks of a run is not capped, so a fork bomb can fill the "
                  "process table until its time limit");
  return out;
}

// What the run's processes read from Velkor's memory: it lives as long as
// the run, and is freed only once its init has been reaped.
struct ContainedProcess::Launch {
  std::string Program, WorkingDir, UidMap, GidMap;
  std::vector<std::string> Args, Environment;
  std::vector<char*> Argv, Envp;
  std::vector<PlannedViewStep> PlannedView;
  std::vector<run::ViewStep> View;
  InitPlan Plan{};
  // The run keeps the machine's /dev/shm (see NeedsMachineShm).
  bool MachineShm = false;
  void* Stacks = MAP_FAILED;
  std::size_t StacksSize = 0;

  ~Launch() {
    if (Stacks != MAP_FAILED) munmap(Stacks, StacksSize);
  }

  // [guard][program stack][guard][init stack]; the init's top is returned.
  char* MapStacks() {
    StacksSize = 2 * kGuardSize + kProgramStackSize + kInitStackSize;
    Stacks = mmap(nullptr, StacksSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (Stacks == MAP_FAILED) throw SystemError(errno, "cannot map the stacks of a contained run");
    char* base = static_cast<char*>(Stacks);
    if (mprotect(base, kGuardSize, PROT_NONE) != 0 ||
        mprotect(base + kGuardSize + kProgramStackSize, kGuardSize, PROT_NONE) != 0)
      throw SystemError(errno, "cannot guard the stacks of a contained run");
    Plan.ProgramStackTop = base + kGuardSize + kProgramStackSize;
    return base + StacksSize;
  }
};

std::shared_ptr<ContainedProcess> ContainedProcess::CreateSuspended(const ProgramStart& start) {
  auto launch = std::make_unique<Launch>();
  // A relative program name means the file beside Velkor, not one in the
  // program's working folder.
  std::error_code ec;
  launch->Program =
      start.AppName.empty() ? start.AppName : std::filesystem::absolute(start.AppName, ec).string();
  launch->WorkingDir = start.WorkingDir;
  launch->Args = start.Args;
  launch->Environment = start.Environment;
  launch->Argv = PointerArray(launch->Args);
  launch->Envp = PointerArray(launch->Environment);
  // The groups are made before the run, so that the program's process can
  // join them; the cgroup file systems are hidden from the run.
  std::vector<std::string> hidden = start.HiddenFolders;
  std::unique_ptr<RunControlGroup> groups;
  if (start.UseControlGroups) {
    const ControlGroupSupport& support = PrepareControlGroups();
    hidden.insert(hidden.end(), support.Mounts.begin(), support.Mounts.end());
    if (!support.Folders.empty()) groups = std::make_unique<RunControlGroup>();
  }
  launch->PlannedView = ResolveRunView(hidden, start.KeptFolders);
  launch->MachineShm = NeedsMachineShm(launch->Program, start.WorkingDir, start.KeptFolders);
  for (const PlannedViewStep& step : launch->PlannedView) launch->View.push_back({step.Kind, step.Path.c_str()});
  launch->View.push_back({run::kViewEnd, nullptr});

  UniqueFd null(open("/dev/null", O_RDWR | O_CLOEXEC));
  if (!null.Valid()) throw SystemError(errno, "cannot open /dev/null");
  Pipe go = MakeGoChannel();
  Pipe errors = MakePipe();
  Pipe status = MakePipe();

  InitPlan& plan = launch->Plan;
  plan.Program = launch->Program.c_str();
  plan.Argv = launch->Argv.data();
  plan.Envp = launch->Envp.data();
  plan.WorkingDir = launch->WorkingDir.c_str();
  plan.View = launch->View.data();
  plan.NiceIncrement = start.NiceIncrement;
  const int streams[3] = {start.StdInput, start.StdOutput, start.StdError};
  for (int i = 0; i < 3; ++i) plan.Sources[i] = streams[i] >= 0 ? streams[i] : null.Get();
  plan.Sources[run::kGoFd] = go.Read.Get();
  plan.Sources[run::kErrorsFd] = errors.Write.Get();
  plan.Sources[run::kStatusFd] = status.Write.Get();
  const std::vector<int> joins = groups ? groups->JoinDescriptors() : std::vector<int>();
  for (int i = run::kFirstJoinFd; i < run::kInitFds; ++i) {
    const std::size_t at = static_cast<std::size_t>(i - run::kFirstJoinFd);
    plan.Sources[i] = at < joins.size() ? joins[at] : -1;
  }
  const bool needUserNamespace = geteuid() != 0;
  if (needUserNamespace) {
    launch->UidMap = IdMapLine(geteuid());
    launch->GidMap = IdMapLine(getegid());
  }
  plan.UidMap = launch->UidMap.c_str();
  plan.GidMap = launch->GidMap.c_str();
  char* initStackTop = launch->MapStacks();

  // An IPC namespace of its own too: System V shared memory and message
  // queues outlive their processes, and would hold the machine's memory
  // after the run; the namespace takes them along when the run ends.
  int flags = CLONE_NEWPID | CLONE_NEWNS | CLONE_NEWIPC | CLONE_PIDFD | SIGCHLD;
  if (needUserNamespace) flags |= CLONE_NEWUSER;
  // Like a thread: the init shares our memory, so starting it copies no
  // page table of Velkor however large Velkor is. Not when it must make
  // itself dumpable to map its identity: that flag belongs to the memory,
  // and Velkor's must stay as it is.
  plan.OwnMemory = needUserNamespace && prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 1;
  if (!plan.OwnMemory) flags |= CLONE_VM;
  // Made first: once the init runs, nothing may fail before the process
  // owns the memory the init reads.
  std::shared_ptr<ContainedProcess> process(new ContainedProcess);
  int pidfd = -1;
  pid_t pid;
  {
    AllSignalsBlocked blocked;
    pid = clone(run::RunInit, initStackTop, flags, &plan, &pidfd);
  }
  if (pid < 0) throw SystemError(errno, "cannot create an isolated run for the program");
  process->pid_ = pid;
  process->pidfd_.Reset(pidfd);
  process->launch_ = std::move(launch);
  process->go_ = std::move(go.Write);
  process->errors_ = std::move(errors.Read);
  process->status_ = std::move(status.Read);
  process->groups_ = std::move(groups);
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
  GoMessage go{};
  go.ProcessMemoryLimit = limits_.ProcessMemoryLimit;
  go.FileSizeLimit = limits_.FileSizeLimit;
  const ControlGroupSupport& support = PrepareControlGroups();
  const bool memoryGroup = groups_ && support.Memory, taskGroup = groups_ && support.Tasks;
  if (groups_) {
    try {
      groups_->SetLimits(limits_.ProcessMemoryLimit, kRunTaskLimit);
    } catch (...) {
      resumed_ = true;  // the init, never started, dies with the run
      throw;
    }
  }
  // A /dev/shm of the run's own: what the program leaves there goes with
  // the run, and it holds no more than the memory limit. Not for a run that
  // works below the machine's: there /dev/shm is one of the memory-backed
  // folders whose files only a memory group counts (RunLimitations).
  const std::uint64_t limit = limits_.ProcessMemoryLimit;
  if (limit != 0 && !memoryGroup) go.AddressSpaceLimit = AddressSpaceLimitFor(limit);
  if (launch_->MachineShm) {
    go.ShmOptions[0] = '\0';
  } else if (limit != 0) {
    std::snprintf(go.ShmOptions, sizeof go.ShmOptions, "size=%llu,nr_inodes=1024,mode=1777",
                  static_cast<unsigned long long>(limit));
  } else {
    std::snprintf(go.ShmOptions, sizeof go.ShmOptions, "mode=1777");
  }
  // The run's init counts too: it is of the same user in the same namespace.
  if (!taskGroup) go.TaskLimit = kRunTaskLimit + 1;
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
    throw SystemError(report.Errno, "cannot prepare the contained run of " + launch_->Program);
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
    if (!infinite && MonotonicMs() >= deadline) {
      if (!groups_ || !groups_->OutOfMemoryKill()) return WaitResult::TimedOut;
      status = SIGKILL;  // a process of the run went past the memory limit
      return WaitResult::Exited;
    }
  }
  // Init exits right after it has written the program's status.
  if (!ReadFull(status_.Get(), &status, sizeof status)) {
    status = ECHILD;
    return WaitResult::Failed;
  }
  // Whichever process the kernel killed for memory, the run failed.
  if (groups_ && groups_->OutOfMemoryKill() && !(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL))
    status = SIGKILL;
  return WaitResult::Exited;
}

void ContainedProcess::Terminate() {
  if (pidfd_.Valid() && !reaped_) {
    syscall(SYS_pidfd_send_signal, pidfd_.Get(), SIGKILL, nullptr, 0);
    siginfo_t info{};
    // Returns once the whole namespace is gone. ECHILD: someone else reaped.
    int r;
    while ((r = waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd_.Get()), &info, WEXITED)) != 0 &&
           errno == EINTR) {
    }
    // The run's processes may use the launch memory for as long as they
    // live: kept for good when their end could not be confirmed.
    if (r != 0 && errno != ECHILD) (void)launch_.release();
    reaped_ = true;
  }
  launch_.reset();
  if (groups_) groups_->Remove();
  groups_.reset();
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

int CheckRunView(const std::vector<std::string>& hiddenFolders, const std::vector<std::string>& keptFolders) {
  ProgramStart start;  // no program: the run ends where it would start one
  start.HiddenFolders = hiddenFolders;
  start.KeptFolders = keptFolders;
  try {
    const std::shared_ptr<ContainedProcess> run = ContainedProcess::CreateSuspended(start);
    StartFailure missingProgram;
    run->Resume(missingProgram);
  } catch (const std::system_error& e) {
    return e.code().value() != 0 ? e.code().value() : EIO;
  }
  return 0;
}

}  // namespace velkor::platform
