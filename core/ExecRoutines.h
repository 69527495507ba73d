// The process runner: runs one command line as a contained child process
// and reports how it ended. It is the only place where Velkor starts
// programs: compilers, contestants' programs, interpreters.
//
// One run redirects the three standard streams to files or to "NUL", limits
// the memory of each process, waits at most a time limit, measures the
// running time with a monotonic high-resolution clock, and leaves an exit
// code and a message behind. The runner never throws: every failure ends as
// an exit code and a message.
//
// Containment (see platform/ProcessJobs.h) is stronger than a plain job: a
// run is always contained, also without a memory limit, and when Finish
// returns every process the run started is dead. Every run is also held to
// a number of tasks and a largest file; where the machine allows, its memory
// limit counts the memory of every kind of the whole run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ProcessJobs.h"
#include "platform/UniqueFd.h"

namespace velkor {

// Exit codes the runner itself produces. Any other value is the program's
// own exit code, 128 + the signal that killed it, or the error code of a
// failed start (platform/SystemErrors.h).
inline constexpr std::int64_t ExecOK = 0;
inline constexpr std::int64_t ExecError = -1;    // preparing, starting, waiting or cleaning up failed
inline constexpr std::int64_t ExecTimeOut = -2;  // the time limit elapsed

inline constexpr std::uint32_t kInfiniteTime = 0xFFFFFFFFu;

// The largest file a run may write, its redirected output included, unless
// TExecEngine::OutputLimit says otherwise.
inline constexpr std::uint64_t kDefaultOutputLimit = std::uint64_t{1} << 30;

// Prepares what every run relies on and says on standard error, once per
// process, which guarantee runs cannot get on this machine. Called at
// start-up; runs work without it.
void PrepareExecRunner();

// Flags of the job limit records.
inline constexpr std::uint32_t kJobLimitProcessMemory = 0x100;
inline constexpr std::uint32_t kJobLimitKillOnJobClose = 0x2000;
inline constexpr std::uint32_t kJobUILimitExitWindows = 0x80;

// Start-up record flags.
inline constexpr std::uint32_t kStartfUseShowWindow = 0x1;
inline constexpr std::uint32_t kStartfUseStdHandles = 0x100;

// Process creation flags and priority classes.
inline constexpr std::uint32_t kCreateSuspended = 0x4;
inline constexpr std::uint32_t kCreateNewProcessGroup = 0x200;
inline constexpr std::uint32_t kCreateUnicodeEnvironment = 0x400;
inline constexpr std::uint32_t kNormalPriorityClass = 0x20;
inline constexpr std::uint32_t kIdlePriorityClass = 0x40;
inline constexpr std::uint32_t kHighPriorityClass = 0x80;
inline constexpr std::uint32_t kRealtimePriorityClass = 0x100;
inline constexpr std::uint32_t kBelowNormalPriorityClass = 0x4000;
inline constexpr std::uint32_t kAboveNormalPriorityClass = 0x8000;

enum TExecEngineState { eesStart, eesExecuting, eesFinish };

class TExecEngine;
using TExecEngineNotifyEvent = std::function<void(TExecEngine& Sender, TExecEngineState State)>;

struct TJobObjectBasicLimitInformation {
  std::int64_t PerProcessUserTimeLimit = 0;
  std::int64_t PerJobUserTimeLimit = 0;
  std::uint32_t LimitFlags = 0;
  std::uint64_t MinimumWorkingSetSize = 0;
  std::uint64_t MaximumWorkingSetSize = 0;
  std::uint32_t ActiveProcessLimit = 0;
  std::uint64_t Affinity = 0;
  std::uint32_t PriorityClass = 0;
  std::uint32_t SchedulingClass = 0;
};

struct TIOCounters {
  std::uint64_t ReadOperationCount = 0;
  std::uint64_t WriteOperationCount = 0;
  std::uint64_t OtherOperationCount = 0;
  std::uint64_t ReadTransferCount = 0;
  std::uint64_t WriteTransferCount = 0;
  std::uint64_t OtherTransferCount = 0;
};

struct TJobObjectExtendedLimitInformation {
  TJobObjectBasicLimitInformation BasicLimitInformation;
  TIOCounters IoInfo;
  std::uint64_t ProcessMemoryLimit = 0;
  std::uint64_t JobMemoryLimit = 0;
  std::uint64_t PeakProcessMemoryUsed = 0;
  std::uint64_t PeakJobMemoryUsed = 0;
};

struct TJobObjectSecurityLimitInformation {
  std::uint32_t SecurityLimitFlags = 0;
  std::uintptr_t JobToken = 0;
  std::uintptr_t SidsToDisable = 0;
  std::uintptr_t PrivilegesToDelete = 0;
  std::uintptr_t RestrictedSids = 0;
};

// One job of the runner: the limits of a run, and the end of every process
// assigned to it when the job is destroyed (kill on close, always).
class TJobObject {
 public:
  TJobObject();

  platform::Job& Handle() { return *FHandle; }
  TJobObjectExtendedLimitInformation LimitInfo() const { return FLimitInfo; }
  void SetLimitInfo(const TJobObjectExtendedLimitInformation& Info);
  // Kept for callers that read it back; nothing in a run depends on it.
  TJobObjectSecurityLimitInformation Security() const { return FSecurity; }
  void SetSecurity(const TJobObjectSecurityLimitInformation& Info) { FSecurity = Info; }
  std::uint32_t UILimits() const { return FUILimits; }

 private:
  std::unique_ptr<platform::Job> FHandle;
  TJobObjectExtendedLimitInformation FLimitInfo;
  TJobObjectSecurityLimitInformation FSecurity;
  std::uint32_t FUILimits = 0;
};

// The start-up record of a run: how the child is shown and its three
// standard streams (invalid: the null device).
struct TStartupInfo {
  std::uint16_t wShowWindow = 0;
  std::uint32_t dwFlags = 0;
  std::string lpDesktop;
  platform::UniqueFd hStdInput, hStdOutput, hStdError;
};

struct TProcessInformation {
  std::shared_ptr<platform::ContainedProcess> hProcess;
  int dwProcessId = 0;
};

class TExecEngine {
 public:
  TExecEngine();
  TExecEngine(const TExecEngine&) = delete;
  TExecEngine& operator=(const TExecEngine&) = delete;
  virtual ~TExecEngine();

  // One whole run: Init, then Launch and (when it started) Wait, then
  // Finish. Never throws; ExitCode, ExitCodeMsg and RunningTime describe the
  // run afterwards.
  virtual void Execute();

  const std::string& Cmd() const { return FCmd; }
  // Trims the command line and takes AppName and WorkingDir from it.
  void SetCmd(const std::string& Value);

  std::uint16_t ShowFlag() const { return FShowFlag; }
  void SetShowFlag(std::uint16_t Value) { FShowFlag = Value; }
  std::int64_t ExitCode() const { return FExitCode; }
  const std::string& ExitCodeMsg() const { return FExitCodeMsg; }
  // Bytes of memory per process; 0 = no limit. Runs are contained either way.
  std::uint64_t MemLimit() const { return FMemLimit; }
  void SetMemLimit(std::uint64_t Value) { FMemLimit = Value; }
  // Milliseconds; kInfiniteTime waits for ever.
  std::uint32_t TimeLimit() const { return FTimeLimit; }
  void SetTimeLimit(std::uint32_t Value) { FTimeLimit = Value; }
  // Bytes per file the run writes (0 = no limit): writing past it fails and
  // ends the program with SIGXFSZ, a failed run (exit code 153).
  std::uint64_t OutputLimit = kDefaultOutputLimit;
  const TExecEngineNotifyEvent& OnNotify() const { return FOnNotify; }
  void SetOnNotify(TExecEngineNotifyEvent Value) { FOnNotify = std::move(Value); }
  const TProcessInformation& ProcessInfo() const { return FProcessInfo; }
  // Why the last run could not be contained as asked (its namespaces, its
  // view of the folders), so that its program never started; "" when
  // nothing of that failed.
  const std::string& ContainmentError() const { return FContainmentError; }
  // The folder whose file system had no room left (ENOSPC, or the owner's
  // quota spent: EDQUOT) when the runner wrote there for the last run:
  // making a redirected output, or bringing back what the program wrote in
  // its room; or where a redirected output lies whose file system has at
  // most 64 KiB left once the run is over, so that the program's own writes
  // to it may have failed. "" when nothing of that happened. Such a run says
  // nothing about the program: its output may not have reached the folder
  // whole. A run filling its own scratch space or passing its own file
  // limit is not this: that is the program's failure (exit code 153).
  const std::string& DiskFullFolder() const { return FDiskFullFolder; }
  // What failed there, technically (path and system message).
  const std::string& DiskFullDetail() const { return FDiskFullDetail; }

  // Sets ExitCode to 0 and ExitCodeMsg to empty (and forgets the last
  // containment error and full disk).
  void Reset();

  bool ConsoleAllocated = false;   // only some streams were named: the others get the null device
  std::int64_t StartTime = 0;      // monotonic nanoseconds when the program started
  std::string AppName;             // the executable, as the command line names it
  std::string WorkingDir;          // "" keeps Velkor's own
  // A folder put in front of PATH for the program alone ("" = none). Velkor's
  // own environment never changes: its other threads read it meanwhile.
  std::string PathPrefix;
  // What the program sees of the machine (platform/ProcessJobs.h, "the
  // run's view"): the system folders, its own folder and working folder,
  // these folders read-only (one that does not exist is skipped), and Room,
  // the one folder it may write ("" = none), whose changes come back to it
  // when the run ends.
  std::vector<std::string> ReadOnlyFolders;
  std::string Room;
  // Folders the program never sees, nor any folder holding one: what would
  // show them (a read-only folder, its own or its working folder) is left
  // out of its view.
  std::vector<std::string> HiddenFolders;
  // Bytes the run may write in all (its room, /tmp and /var/tmp together;
  // 0 = no bound of its own): past it writing fails and the run is a
  // failed run, as with OutputLimit.
  std::uint64_t DiskLimit = platform::kDefaultDiskLimit;
  // What an honest run may leave in its Room (platform/ProcessJobs.h,
  // ProgramStart::HonestRoomBytes): a room holding more that the disk
  // cannot take back fails the run instead of raising the full disk.
  std::uint64_t HonestRoomBytes = UINT64_MAX;
  // For an engine that runs many programs one after another: each run takes
  // over the control groups of the one before (platform/ControlGroups.h,
  // RunGroupPool) and, where the machine allows, a copy of a view's skeleton
  // built for an earlier one (platform/ProcessJobs.h, RunViewSkeletons).
  // Both go with the engine.
  void KeepRunSetUp();
  std::uint32_t Priority = kNormalPriorityClass;  // read by the constructor only
  std::uint32_t WaitIdleTime = 1000;  // kept for callers; console programs never wait for idle
  bool InheritHandles = false;     // kept for callers; a run inherits only its three streams
  std::string FileInp, FileOut, FileErr;  // "" = not redirected
  long double RunningTime = 0;     // seconds from the start to the end of the wait
  std::string DesktopName;         // "" = the caller's desktop
  std::uint32_t CreationFlags = 0;

 protected:
  virtual void Init();
  virtual bool Launch();
  virtual void Wait();
  virtual void Finish();
  virtual void DoNotify(TExecEngineState State);

  std::string FCmd;
  std::uint16_t FShowFlag = 1;
  std::int64_t FExitCode = 0;
  std::string FExitCodeMsg;
  std::uint64_t FMemLimit = 0;
  std::uint32_t FTimeLimit = kInfiniteTime;
  TExecEngineNotifyEvent FOnNotify;
  TStartupInfo FStartupInfo;
  TProcessInformation FProcessInfo;
  std::unique_ptr<TJobObject> FJob;

 private:
  std::string FContainmentError;
  std::string FDiskFullFolder, FDiskFullDetail;
  std::shared_ptr<platform::RunGroupPool> FGroupPool;
  std::shared_ptr<platform::RunViewSkeletons> FViewSkeletons;
  // Opens a redirected stream; a full disk is also noted for DiskFullFolder.
  platform::UniqueFd OpenStream(const std::string& Name, bool ForWriting, const char* Stream);
  void ReleaseRun() noexcept;
  void FailStart(std::uint32_t Code, const std::string& SystemMessage);
};

}  // namespace velkor
