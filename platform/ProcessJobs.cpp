#include "platform/ProcessJobs.h"

#include <fcntl.h>
#include <pthread.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <linux/mount.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "platform/ControlGroups.h"
#include "platform/RunProtocol.h"
#include "platform/RunRoom.h"
#include "platform/RunView.h"
#include "platform/SyscallFilter.h"
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

// What every run relies on beyond control groups, found out once.
struct RunSupport {
  // The empty network namespace a root Velkor's runs enter.
  UniqueFd SharedNetwork;
  // Whether a run can make a network namespace of its own instead.
  bool NetworkPerRun = false;
  std::string NetworkProblem;
  // The account a root Velkor's programs run as (-1: Velkor's own).
  int RunUid = -1, RunGid = -1;
  std::string AccountProblem;
};

// An empty network namespace for every run to enter: made by a thread of
// its own, which alone moves into it, and kept by a descriptor.
UniqueFd MakeEmptyNetwork(std::string& problem) {
  UniqueFd fd;
  int err = 0;
  std::thread maker([&] {
    if (unshare(CLONE_NEWNET) != 0) {
      err = errno;
      return;
    }
    fd.Reset(open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) err = errno;
  });
  maker.join();
  if (!fd.Valid()) problem = ErrnoMessage(err);
  return fd;
}

// Whether the system lets this account make a user namespace with a
// network namespace of its own, tried on a process that does nothing else.
bool CanMakeNetworkPerRun(std::string& problem) {
  alignas(16) static char stack[16 * 1024];
  const pid_t pid = clone([](void*) { return 0; }, stack + sizeof stack, CLONE_NEWUSER | CLONE_NEWNET | SIGCHLD, nullptr);
  if (pid < 0) {
    problem = ErrnoMessage(errno);
    return false;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

const RunSupport& PrepareRunSupport() {
  static RunSupport* support = [] {
    auto* s = new RunSupport;
    if (geteuid() == 0) {
      s->SharedNetwork = MakeEmptyNetwork(s->NetworkProblem);
      s->RunUid = static_cast<int>(kRunAccountId);
      s->RunGid = static_cast<int>(kRunAccountId);
      if (const passwd* user = getpwuid(kRunAccountId))
        s->AccountProblem = "tài khoản \"" + std::string(user->pw_name) + "\" đã dùng mã này";
      else if (const group* g = getgrgid(kRunAccountId))
        s->AccountProblem = "nhóm \"" + std::string(g->gr_name) + "\" đã dùng mã này";
    } else {
      s->NetworkPerRun = CanMakeNetworkPerRun(s->NetworkProblem);
    }
    return s;
  }();
  return *support;
}

std::vector<RunLimitation> FindRunLimitations() {
  const ControlGroupSupport& support = PrepareControlGroups();
  std::vector<RunLimitation> out;
  if (!support.Memory)
    out.push_back({RunLimitation::MemoryGroup,
                   "không có nhóm điều khiển memory cho các lần chạy (" + support.MemoryProblem +
                       "): giới hạn bộ nhớ chỉ áp cho từng tiến trình của bài làm (dữ liệu, không gian địa chỉ) "
                       "và cho một /dev/shm riêng, không cho cả lần chạy"});
  if (!support.Tasks && geteuid() == 0)
    out.push_back({RunLimitation::TaskGroup, "không có nhóm điều khiển pids cho các lần chạy (" + support.TasksProblem +
                                                 "): số tiến trình của một lần chạy không bị giới hạn, nên bài "
                                                 "làm có thể lấp đầy bảng tiến trình cho tới hết thời gian"});
  // A run that cannot be given its view is not started at all.
  if (const int err = CheckRunView(""); err != 0)
    out.push_back({RunLimitation::View, "không tạo được môi trường riêng cho các lần chạy (" +
                                            ErrnoMessage(err) +
                                            "): không bài nào được dịch hay chấm"});
  const RunSupport& runs = PrepareRunSupport();
  if (!runs.SharedNetwork.Valid() && !runs.NetworkPerRun)
    out.push_back({RunLimitation::Network, "không có không gian tên mạng cho các lần chạy (" + runs.NetworkProblem +
                                               "): bài làm có thể dùng mạng của máy và các socket trừu tượng "
                                               "của các phiên làm việc"});
  if (const RunSyscallFilter& filter = PrepareRunSyscallFilter(); !filter.Program)
    out.push_back({RunLimitation::SyscallFilter, "không có bộ lọc lời gọi hệ thống cho các lần chạy (" + filter.Problem +
                                                     "): bài làm có thể dùng kho khóa của nhân, io_uring, "
                                                     "bpf và không gian tên mới"});
  if (!runs.AccountProblem.empty())
    out.push_back({RunLimitation::Account, "bài làm chạy với mã tài khoản và nhóm " + std::to_string(kRunAccountId) +
                                               ", nhưng " + runs.AccountProblem +
                                               ": bài làm đọc được các file của tài khoản hay nhóm đó"});
  return out;
}

}  // namespace

std::vector<RunLimitation> RunLimitations() {
  // What the machine gives does not change while Velkor runs.
  static const std::vector<RunLimitation> limitations = FindRunLimitations();
  return limitations;
}

// What the run's processes read from Velkor's memory: it lives as long as
// the run, and is freed only once its init has been reaped.
struct ContainedProcess::Launch {
  std::string Program, WorkingDir, UidMap, GidMap, ScratchOptions;
  // The program and the working folder as the run names them: in its room
  // at kRunRoom when they lie in the room.
  std::string ProgramInView, WorkingDirInView;
  // The files the standard streams are opened on in the run ("" for none).
  std::array<std::string, 3> StreamsInView;
  std::uint64_t DiskLimit = 0;
  std::vector<std::string> Args, Environment;
  std::vector<char*> Argv, Envp;
  std::vector<PlannedViewStep> PlannedView;  // what the init carries out
  std::vector<run::ViewStep> View;
  std::shared_ptr<const UniqueFd> Skeleton;  // the view's skeleton, when it has one
  InitPlan Plan{};
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

// What the room held, and the run's copy of it.
struct ContainedProcess::RoomState {
  std::string Room;  // the machine's folder
  RoomSnapshot Before;
  std::uint64_t HonestBytes = UINT64_MAX;  // ProgramStart::HonestRoomBytes
  bool Returned = false;
};

namespace {

// Planned steps as the init reads them, ended: they point into planned.
std::vector<run::ViewStep> InitSteps(const std::vector<PlannedViewStep>& planned) {
  std::vector<run::ViewStep> steps;
  for (const PlannedViewStep& step : planned)
    steps.push_back({step.Kind, step.Path.c_str(), step.Target.empty() ? nullptr : step.Target.c_str()});
  steps.push_back({run::kViewEnd, nullptr, nullptr});
  return steps;
}

// Sets NAME=value in an environment, in place of what was there.
void SetVariable(std::vector<std::string>& env, const std::string& name, const std::string& value) {
  const std::string prefix = name + "=";
  std::erase_if(env, [&](const std::string& e) { return e.starts_with(prefix); });
  env.push_back(prefix + value);
}

// The scratch file system's mount options: room for what the room holds and
// for DiskLimit bytes more, in as many files as anyone needs.
std::string ScratchOptions(const RoomUsage& room, std::uint64_t diskLimit) {
  std::string options = "mode=0755,nr_inodes=" + std::to_string(room.Entries + 65536);
  if (diskLimit != 0) options += ",size=" + std::to_string(room.Bytes + diskLimit);
  return options;
}

// The program's own file, when it lies directly in the room, is shown to
// the run read-only over its copy: the run can neither change nor delete
// it, and so cannot carry a rewritten program into its next test. Its
// name, or "".
std::string ProgramKeptReadOnly(const std::string& program, const std::string& room) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (program.empty() || room.empty() || ResolvePath(fs::path(program).parent_path().string(), ec) != room || ec) return "";
  struct stat st {};
  if (lstat(program.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "";
  return fs::path(program).filename().string();
}

// The names the keeper may have been given the room by: as given, made
// absolute, and resolved; without a trailing "/", longest first.
std::vector<std::string> RoomNames(const std::string& given, const std::string& resolved) {
  std::error_code ec;
  std::vector<std::string> names = {given, std::filesystem::absolute(given, ec).string(), resolved};
  for (std::string& name : names)
    while (name.size() > 1 && name.back() == '/') name.pop_back();
  std::erase_if(names, [](const std::string& name) { return name.size() < 2 || name.front() != '/'; });
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

// text (a path, or an argument holding one, such as -o/path) with every
// path in the room named where the run sees it: each room name that ends
// text or is followed by "/" becomes kRunRoom. No name of the machine's
// room then reaches the run, and what the name leads to is the room the
// run has.
std::string AsTheRunSeesIt(std::string text, const std::vector<std::string>& roomNames) {
  const std::string shown = kRunRoom;
  for (const std::string& name : roomNames) {
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at)) {
      const std::size_t end = at + name.size();
      if (end < text.size() && text[end] != '/') {
        at = end;
        continue;
      }
      text.replace(at, name.size(), shown);
      at += shown.size();
    }
  }
  return text;
}

}  // namespace

std::shared_ptr<ContainedProcess> ContainedProcess::CreateSuspended(const ProgramStart& start) {
  auto launch = std::make_unique<Launch>();
  namespace fs = std::filesystem;
  // A relative program name means the file beside Velkor, not one in the
  // program's working folder.
  std::error_code ec;
  launch->Program = start.AppName.empty() ? start.AppName : fs::absolute(start.AppName, ec).string();
  launch->WorkingDir = start.WorkingDir;
  launch->DiskLimit = start.DiskLimit;
  launch->Args = start.Args;
  launch->Environment = start.Environment;
  const RunSupport& support = PrepareRunSupport();
  launch->ProgramInView = launch->Program;
  launch->WorkingDirInView = launch->WorkingDir;
  std::unique_ptr<RoomState> room;
  RoomUsage usage;
  std::vector<std::string> readOnlyRoomFiles;
  if (start.UseView) {
    // Velkor's working folder is not in the view: the keeper names it.
    if (launch->WorkingDir.empty()) launch->WorkingDir = launch->WorkingDirInView = fs::current_path(ec).string();
    std::vector<std::string> shown = start.ReadOnlyFolders;
    if (!launch->Program.empty()) shown.push_back(fs::path(launch->Program).parent_path().string());
    if (!launch->WorkingDir.empty()) shown.push_back(launch->WorkingDir);
    if (!start.Room.empty()) {
      room = std::make_unique<RoomState>();
      room->Room = ResolvePath(start.Room, ec);
      room->HonestBytes = start.HonestRoomBytes;
      if (ec) throw std::system_error(ec, "cannot find the room of a run: " + start.Room);
      usage = MeasureRoom(room->Room);
      if (const std::string name = ProgramKeptReadOnly(launch->Program, room->Room); !name.empty())
        readOnlyRoomFiles.push_back(name);
      const std::vector<std::string> names = RoomNames(start.Room, room->Room);
      launch->ProgramInView = AsTheRunSeesIt(launch->Program, names);
      launch->WorkingDirInView = AsTheRunSeesIt(launch->WorkingDir, names);
      for (std::string& arg : launch->Args) arg = AsTheRunSeesIt(arg, names);
      for (std::size_t i = 0; i < start.RoomStreams.size(); ++i)
        if (IsPlainName(start.RoomStreams[i])) launch->StreamsInView[i] = std::string(kRunRoom) + "/" + start.RoomStreams[i];
    }
    PlannedView view = ResolveRunView(shown, start.Room, readOnlyRoomFiles, start.HiddenFolders);
    if (start.ViewSkeletons) launch->Skeleton = start.ViewSkeletons->Find(view.Skeleton);
    if (launch->Skeleton) {
      launch->PlannedView = {{run::kViewSkeleton, kViewStaging, ""}};
      launch->PlannedView.insert(launch->PlannedView.end(), view.Run.begin(), view.Run.end());
    } else {
      launch->PlannedView = view.Steps();
    }
    // The jury's home and temporary folders are not there.
    SetVariable(launch->Environment, "HOME", "/tmp");
    SetVariable(launch->Environment, "TMPDIR", "/tmp");
    launch->ScratchOptions = ScratchOptions(usage, start.DiskLimit);
  }
  launch->Argv = PointerArray(launch->Args);
  launch->Envp = PointerArray(launch->Environment);
  // The groups are made before the run, so that the program's process can
  // join them.
  std::unique_ptr<RunControlGroup> groups;
  if (start.UseControlGroups && !PrepareControlGroups().Folders.empty())
    groups = start.GroupPool ? start.GroupPool->Take() : std::make_unique<RunControlGroup>();
  launch->View = InitSteps(launch->PlannedView);

  UniqueFd null(open("/dev/null", O_RDWR | O_CLOEXEC));
  if (!null.Valid()) throw SystemError(errno, "cannot open /dev/null");
  Pipe go = MakeGoChannel();
  Pipe errors = MakePipe();
  Pipe status = MakePipe();

  InitPlan& plan = launch->Plan;
  plan.Program = launch->ProgramInView.c_str();
  plan.Argv = launch->Argv.data();
  plan.Envp = launch->Envp.data();
  plan.WorkingDir = launch->WorkingDirInView.c_str();
  plan.View = launch->View.data();
  plan.ScratchOptions = launch->ScratchOptions.c_str();
  plan.NiceIncrement = start.NiceIncrement;
  const int streams[3] = {start.StdInput, start.StdOutput, start.StdError};
  for (int i = 0; i < 3; ++i) {
    const std::string& file = launch->StreamsInView[static_cast<std::size_t>(i)];
    plan.StreamFiles[i] = file.empty() ? nullptr : file.c_str();
    plan.Sources[i] = streams[i] >= 0 && file.empty() ? streams[i] : null.Get();
  }
  plan.Sources[run::kGoFd] = go.Read.Get();
  plan.Sources[run::kErrorsFd] = errors.Write.Get();
  plan.Sources[run::kStatusFd] = status.Write.Get();
  const std::vector<int> joins = groups ? groups->JoinDescriptors() : std::vector<int>();
  for (int i = run::kFirstJoinFd; i < run::kNetworkFd; ++i) {
    const std::size_t at = static_cast<std::size_t>(i - run::kFirstJoinFd);
    plan.Sources[i] = at < joins.size() ? joins[at] : -1;
  }
  plan.Sources[run::kNetworkFd] = start.UseNetworkNamespace ? support.SharedNetwork.Get() : -1;
  plan.Sources[run::kSkeletonFd] = launch->Skeleton ? launch->Skeleton->Get() : -1;
  plan.OwnKeyring = start.UseOwnKeyring;
  plan.SyscallFilter = start.UseSyscallFilter ? PrepareRunSyscallFilter().Program : nullptr;
  plan.RunUid = start.UseRunAccount ? support.RunUid : -1;
  plan.RunGid = start.UseRunAccount ? support.RunGid : -1;
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
  if (start.UseNetworkNamespace && !support.SharedNetwork.Valid() && support.NetworkPerRun) flags |= CLONE_NEWNET;
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
  process->groupPool_ = start.GroupPool;
  // Only the init's copies may stay open: ours would hide the end of file
  // that reports a successful exec.
  errors.Write.Reset();
  status.Write.Reset();
  if (start.UseView) process->FillRoom(std::move(room));
  return process;
}

void ContainedProcess::FillRoom(std::unique_ptr<RoomState> room) {
  // The init says when the scratch file system is ready; a run that ended
  // instead says why.
  char ready = 0;
  ssize_t n;
  while ((n = recv(go_.Get(), &ready, 1, 0)) < 0 && errno == EINTR) {
  }
  if (n != 1) {
    StartReport report{};
    if (!ReadFull(errors_.Get(), &report, sizeof report)) report = {run::kStageInit, EPIPE};
    throw SystemError(report.Errno, "cannot prepare the contained run of " + launch_->Program);
  }
  // Kept also without a room: it tells whether the run filled its scratch.
  room_.Reset(static_cast<int>(syscall(SYS_pidfd_getfd, pidfd_.Get(), run::kRoomFd, 0)));
  if (!room_.Valid()) throw SystemError(errno, "cannot reach the room of the run of " + launch_->Program);
  if (!room) return;
  room->Before = platform::FillRoom(room->Room, room_.Get(), launch_->Plan.RunUid, launch_->Plan.RunGid);
  roomState_ = std::move(room);
}

void ContainedProcess::ReturnRoom() {
  Terminate();
  if (!roomState_ || roomState_->Returned || !room_.Valid()) return;
  roomState_->Returned = true;
  platform::ReturnRoom(room_.Get(), roomState_->Room, roomState_->Before, roomState_->HonestBytes);
}

bool ContainedProcess::ScratchFull() const {
  if (!room_.Valid()) return false;
  struct statfs fs {};
  return fstatfs(room_.Get(), &fs) == 0 && (fs.f_bavail == 0 || fs.f_ffree == 0);
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
  // the run, and it holds no more than the memory limit (or, without one,
  // what the run may write in all).
  const std::uint64_t limit = limits_.ProcessMemoryLimit;
  if (limit != 0 && !memoryGroup) go.AddressSpaceLimit = AddressSpaceLimitFor(limit);
  const std::uint64_t shmSize = limit != 0 ? limit : launch_->DiskLimit;
  if (shmSize != 0) {
    std::snprintf(go.ShmOptions, sizeof go.ShmOptions, "size=%llu,nr_inodes=1024,mode=1777",
                  static_cast<unsigned long long>(shmSize));
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
  // A run that filled its scratch file system failed as one that wrote a
  // file past its limit, whatever the program made of the failed writes.
  else if (!WIFSIGNALED(status) && ScratchFull())
    status = SIGXFSZ;
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
    allGone_ = r == 0 || errno == ECHILD;
    if (!allGone_) (void)launch_.release();
    reaped_ = true;
  }
  launch_.reset();
  // Groups whose run may still have a process are never reused.
  if (groups_ && groupPool_ && allGone_)
    groupPool_->GiveBack(std::move(groups_));
  else if (groups_)
    groups_->Remove();
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
  namespace fs = std::filesystem;
  err = 0;
  const bool isNull = name.size() == 3 && (name[0] | 32) == 'n' && (name[1] | 32) == 'u' &&
                      (name[2] | 32) == 'l';
  if (isNull || !forWriting) {
    UniqueFd fd(open(isNull ? "/dev/null" : name.c_str(), (forWriting ? O_WRONLY : O_RDONLY) | O_CLOEXEC));
    if (!fd.Valid()) err = errno;
    return fd;
  }
  std::error_code ec;
  const fs::path folder = fs::path(name).parent_path();
  if (!folder.empty() && !fs::is_directory(folder, ec)) {
    fs::create_directories(folder, ec);
    if (ec) {
      err = ec.value();
      return UniqueFd();
    }
  }
  // Made new, so that nothing planted at the name (a link to another file,
  // a folder left by a crash) is written through or stops the run.
  for (int attempt = 0; attempt < 3; ++attempt) {
    UniqueFd fd(open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd.Valid() || errno != EEXIST) {
      if (!fd.Valid()) err = errno;
      return fd;
    }
    fs::remove_all(name, ec);  // never follows a link
    if (ec) {
      err = ec.value();
      return UniqueFd();
    }
  }
  err = EEXIST;
  return UniqueFd();
}

namespace {

// Which file each folder and device node a skeleton copies is now; false
// when one is missing.
bool IdentitiesOf(const std::vector<PlannedViewStep>& skeleton, std::vector<std::pair<dev_t, ino_t>>& out) {
  out.clear();
  for (const PlannedViewStep& step : skeleton) {
    if (step.Kind != run::kViewTakeTree && step.Kind != run::kViewTakeNode) continue;
    struct stat st {};
    if (stat(step.Path.c_str(), &st) != 0) return false;
    out.emplace_back(st.st_dev, st.st_ino);
  }
  return true;
}

// Builds a skeleton in a thread of its own, which alone works inside it.
// -errno on failure.
long BuildSkeleton(const std::vector<PlannedViewStep>& skeleton, UniqueFd& tree) {
  // Places on the new root are named relative to it; its own making and
  // sealing are the builder's.
  const std::string staging = std::string(kViewStaging) + "/";
  std::vector<PlannedViewStep> inside;
  for (const PlannedViewStep& step : skeleton) {
    if (step.Kind == run::kViewRoot || step.Kind == run::kViewSeal) continue;
    const bool onRoot = step.Path.starts_with(staging) && step.Kind != run::kViewTakeTree &&
                        step.Kind != run::kViewTakeNode && step.Kind != run::kViewTakeRoomFile;
    inside.push_back({step.Kind, onRoot ? "./" + step.Path.substr(staging.size()) : step.Path, step.Target});
  }
  const std::vector<run::ViewStep> steps = InitSteps(inside);
  long result = -EINVAL;
  std::thread builder([&] { result = unshare(CLONE_FS) != 0 ? -errno : run::MakeViewSkeleton(steps.data()); });
  builder.join();
  if (result < 0) return result;
  tree.Reset(static_cast<int>(result));
  // Each run copies the skeleton into its own namespace: a kernel that
  // cannot copy a tree that lies in no namespace has no use for one.
  const UniqueFd copy(static_cast<int>(syscall(SYS_open_tree, tree.Get(), "",
                                               OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC | AT_RECURSIVE | AT_EMPTY_PATH)));
  return copy.Valid() ? 0 : -errno;
}

// How many skeletons a series keeps: a judging run needs one for its
// compilations per language and one for its tests.
constexpr std::size_t kMostSkeletons = 4;

}  // namespace

struct RunViewSkeletons::Kept {
  std::vector<PlannedViewStep> Steps;
  std::vector<std::pair<dev_t, ino_t>> Identities;
  std::shared_ptr<const UniqueFd> Tree;
};

RunViewSkeletons::RunViewSkeletons() : unavailable_(geteuid() != 0) {}

RunViewSkeletons::~RunViewSkeletons() = default;

std::shared_ptr<const UniqueFd> RunViewSkeletons::Find(const std::vector<PlannedViewStep>& skeleton) {
  const std::lock_guard lock(mutex_);
  if (unavailable_) return nullptr;
  std::vector<std::pair<dev_t, ino_t>> identities;
  if (!IdentitiesOf(skeleton, identities)) return nullptr;  // a folder just went: the run says so itself
  auto kept = std::find_if(kept_.begin(), kept_.end(), [&](const Kept& k) { return k.Steps == skeleton; });
  if (kept != kept_.end() && kept->Identities == identities) return kept->Tree;
  if (kept != kept_.end()) kept_.erase(kept);
  auto tree = std::make_shared<UniqueFd>();
  if (const long r = BuildSkeleton(skeleton, *tree); r != 0) {
    // Not for want of a folder, which the run reports: this machine cannot
    // give runs a skeleton at all.
    if (r != -ENOENT && r != -ENOTDIR) unavailable_ = true;
    return nullptr;
  }
  if (kept_.size() == kMostSkeletons) kept_.erase(kept_.begin());
  kept_.push_back({skeleton, std::move(identities), tree});
  return tree;
}

int CheckRunView(const std::string& room) {
  ProgramStart start;  // no program: the run ends where it would start one
  start.Room = room;
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
