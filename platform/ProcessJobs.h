// Contained runs of one program: the Linux stand-in for a job object and a
// process created suspended.
//
// Theory of operation
// -------------------
// Every run gets a fresh PID namespace, mount namespace and IPC namespace
// (plus a user namespace when Velkor is not privileged). Three processes take part:
//
//   Velkor (keeper)   creates the run, sends the limits, waits with a
//                     timeout on a pidfd of the run's init, and kills it.
//   init (pid 1)      RunInit() (RunInit.cpp), started by clone() in
//                     Velkor's memory and never exec'ed: it waits for the
//                     "go" message, starts the program, reaps every process
//                     of the namespace, and when the program ends writes its
//                     wait status to Velkor and exits.
//   program (pid 2)   applies the limits, then execs the judged or compiled
//                     program.
//
// Why an init rather than the program as pid 1: the kernel drops signals
// that a namespace's own processes send to its init (a program could not
// even kill itself), and when pid 1 exits everything else in the namespace
// dies before its status could be collected.
//
// Containment follows from the namespace: when init exits or is killed, the
// kernel kills every process left in the namespace (also those that called
// setsid or forked twice), and the pidfd of init becomes readable only after
// they are all gone. From inside, kill(-1), getppid() and guessed pids reach
// only processes of the same run, so the program can neither signal nor stop
// Velkor or anything else of the jury's. The run also gets a /proc of its
// own, so it cannot read about the jury's processes either, and sees nothing
// of the machine's folders but what it needs (the run's view, below). Whatever Velkor's
// account, the program holds no capability. Its memory of every kind and
// its number of tasks are counted by control groups of its own, where the
// machine gives them (ControlGroups.h); where it does not, by per-process
// limits and a per-user task limit in the run's user namespace.
//
// Starting costs one thread-like clone for the init and one vfork-like
// clone and exec for the program: no page table of Velkor is copied and no
// helper program is exec'ed. Because the init and the program's process (until its exec) run
// in Velkor's memory beside Velkor's own threads, RunInit.cpp makes system
// calls only, on a plan and stacks prepared before and kept until the init
// has been reaped. (When Velkor is not dumpable and needs a user namespace,
// the init gets a copy of Velkor's memory instead; see CreateSuspended.)
//
// The run's view: a program sees only what it needs of the machine. Its init
// builds a new root in the run's own mount namespace before the program
// starts (RunView.h plans it, RunInit.cpp carries it out):
//   - the system folders (/usr, /etc, /bin, /sbin, /lib*; links where the
//     machine has links), the program's own folder, its working folder and
//     the caller's ReadOnlyFolders: copies of the machine's, read-only,
//     nosuid, nodev, at their own paths;
//   - /dev with null, zero, full, random and urandom only; /proc of the
//     run's own (best effort); a private /dev/shm;
//   - /tmp, /var/tmp and the room (the one folder the program may write) on
//     the run's scratch file system: one memory file system per run, limited
//     to DiskLimit bytes beyond what the room held, so everything a run
//     writes together is bounded; it goes when the run goes. The keeper fills
//     the room's copy before the program starts and brings back what the run
//     changed when it ends (RunRoom.h). The run sees its room at /room
//     (kRunRoom), whichever folder of the machine it is: the program's name,
//     its arguments and its working folder name it there. The program's own
//     file, when it lies in the room, is shown read-only over its copy.
// Everything else (home folders, /root, /run, /tmp/.X11-unix, the contest's
// folders, Velkor's own files) simply is not there, and no path of the
// machine's room shows in the run's mount table, nor in the names the
// kernel gives its redirected standard streams. Its /proc lists only the
// processes the program may trace: not the init, whose command line and
// environment are Velkor's. The machine's root is switched away
// (pivot_root), so the program, holding no capability, can reach nothing
// of it again. Whatever cannot be made stops the start. In a series of runs
// a root Velkor builds the part of the view that is the same from run to
// run once (RunViewSkeletons); each run attaches a copy of it, then adds
// its own part.
//
// The network: every run is in an empty network namespace, without even a
// loopback that is up, so it reaches no address and no abstract socket of
// the jury's session. A root Velkor keeps one such namespace and each init
// enters it (cheap); an unprivileged one cannot enter a namespace it did
// not make with the run, so each run makes its own.
//
// The account: a root Velkor's programs run as an account of their own
// (kRunAccountId, no supplementary groups), which owns nothing but the
// run's room; an unprivileged Velkor's run as Velkor's own account inside
// the run's user namespace.
//
// What passes from run to run besides files: nothing through the kernel's
// key store. The program gets an empty session keyring of its own, its
// /proc lists no keys, and a system-call filter (SyscallFilter.h) refuses
// every call that reaches a keyring, along with kernel interfaces no judged
// program needs and new namespaces. Its environment is the caller's (ProgramStart::Environment),
// with HOME and TMPDIR set to /tmp.
//
// The suspended start: the namespace exists from clone() on, but the init
// does not start the program before the keeper sends "go" with the limits.
// In a user namespace the init maps Velkor's own identity into it, so the
// program runs as Velkor's account. A start failure (missing file, bad
// working folder) comes back over a close-on-exec pipe: end of file means
// the exec happened.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

namespace velkor::platform {

class RunControlGroup;
class RunGroupPool;
class RunViewSkeletons;
struct PlannedViewStep;

// What a run may write in all unless told otherwise.
inline constexpr std::uint64_t kDefaultDiskLimit = std::uint64_t{1} << 30;

// The user and group id a root Velkor's programs run as: from the range
// (1879048192 to 2147483647) that the usual id allocation leaves unused.
inline constexpr unsigned kRunAccountId = 2147483392;

// What to start. AppName is run as it stands: no search on PATH, no
// extension added.
struct ProgramStart {
  std::string AppName;
  std::vector<std::string> Args;         // argv, the program name first
  std::vector<std::string> Environment;  // "NAME=value" entries
  std::string WorkingDir;                // "" keeps Velkor's own
  int StdInput = -1;                     // descriptors to give the program;
  int StdOutput = -1;                    // -1 gives it the null device
  int StdError = -1;
  int NiceIncrement = 0;                 // best effort
  // The run's view (see above). Folders shown read-only besides the system
  // folders and the program's own and working folders; one that does not
  // exist is skipped.
  std::vector<std::string> ReadOnlyFolders;
  // Folders no run may see: a folder to be shown read-only (the ones above,
  // the program's own, the working folder) that is one of these or holds
  // one is left out of the view.
  std::vector<std::string> HiddenFolders;
  // The one folder the program may write ("" for none); it must exist. The
  // run sees it at kRunRoom (RunView.h): where AppName, Args and WorkingDir
  // name it or anything in it, the run is given that path in its view.
  std::string Room;
  // Names of files directly in the Room that the standard streams (input,
  // output, error) are opened on inside the run, on its own copy of the
  // room, in place of StdInput, StdOutput, StdError ("" keeps the
  // descriptor): a program that owns the file it is handed (an unprivileged
  // Velkor's runs keep its account) can then change nothing of the
  // machine's through it. Only with the view.
  std::array<std::string, 3> RoomStreams;
  // Bytes the run may write in all, into its room, /tmp and /var/tmp
  // together (0 = as much as the machine's memory file systems take).
  std::uint64_t DiskLimit = kDefaultDiskLimit;
  // What an honest run may leave in its room. A room that holds more and
  // does not fit on the disk it comes back to fails the run (ReturnRoom
  // raises RoomRefused); a smaller one that does not fit is the jury's
  // full disk (std::system_error).
  std::uint64_t HonestRoomBytes = UINT64_MAX;
  // False leaves a piece of the containment out: only to measure what each
  // one costs. Without the view the run sees the machine's folders and
  // writes its room in place.
  bool UseControlGroups = true;
  // Where the run takes its control groups from and gives them back to
  // (ControlGroups.h); none: the run makes its own and removes them.
  std::shared_ptr<RunGroupPool> GroupPool;
  bool UseView = true;
  // Where the run finds the skeleton of its view, built by an earlier run
  // of the series or for it (RunViewSkeletons); none: the run builds its
  // whole view.
  std::shared_ptr<RunViewSkeletons> ViewSkeletons;
  bool UseNetworkNamespace = true;
  bool UseRunAccount = true;
  bool UseOwnKeyring = true;
  bool UseSyscallFilter = true;
};

// Limits of a run. The memory limit makes allocation fail in each process
// (data and stack), and holds for the memory of every kind the run uses
// together where the machine gives a memory control group: the kernel then
// kills the program when the run goes past it. Where it does not, each
// process also gets an address-space limit and the run's private /dev/shm
// holds no more than the limit (see RunLimitations). Every file the run
// writes stops at FileSizeLimit: writing past it fails, and ends the program
// with SIGXFSZ unless it handles that.
struct JobLimits {
  std::uint64_t ProcessMemoryLimit = 0;  // bytes; 0 = none
  std::uint64_t FileSizeLimit = 0;       // bytes per file; 0 = none
};

// The most tasks (threads count) a run may have at once: ample for every
// compiler and runtime, Java's included; a fork bomb meets failing forks.
inline constexpr std::uint32_t kRunTaskLimit = 256;

// A guarantee runs cannot get on this machine.
struct RunLimitation {
  enum Guarantee { MemoryGroup, TaskGroup, View, Network, Account, SyscallFilter } Missing;
  std::string Text;  // one sentence, with the reason
};

// Prepares what runs rely on (the first call does the work; it is made
// anyway by the first run) and returns the guarantees runs cannot get on
// this machine; empty when every one holds.
std::vector<RunLimitation> RunLimitations();

// Why a program could not be started: an error code from SystemErrors.h and
// its text.
struct StartFailure {
  std::uint32_t Code = 0;
  std::string Message;
};

class ContainedProcess {
 public:
  enum class WaitResult { Exited, TimedOut, Failed };
  static constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

  // Makes the contained run with the program not yet started. Throws
  // std::system_error when the namespaces cannot be created, RoomRefused
  // (RunRoom.h) when the room is too deep to copy.
  static std::shared_ptr<ContainedProcess> CreateSuspended(const ProgramStart& start);

  ContainedProcess(const ContainedProcess&) = delete;
  ContainedProcess& operator=(const ContainedProcess&) = delete;
  ~ContainedProcess();

  // Sets the limits the program starts with. Only before Resume.
  bool ApplyLimits(const JobLimits& limits);
  bool Resumed() const { return resumed_; }

  // Starts the program and waits until it has been exec'ed. False, with the
  // reason, when it could not be started; throws std::system_error when the
  // run's init or limits could not be set up.
  bool Resume(StartFailure& failure);

  // Waits at most timeoutMs (kInfinite: no limit) for the program to end.
  // Exited: status holds its wait status. Failed: status holds an errno.
  // A run in which the kernel killed a process for want of memory has
  // Exited as killed by SIGKILL, even when its program went on to exit or
  // to run out of time.
  WaitResult Wait(std::uint32_t timeoutMs, int& status);

  // Kills every process of the run and reaps the init. Idempotent; never
  // throws.
  void Terminate();

  // Once the run is over (it calls Terminate): brings back into the room
  // what the run changed there, once. Throws std::system_error when the
  // room cannot be updated, RoomRefused (RunRoom.h) when what the run left
  // may not come back.
  void ReturnRoom();

  pid_t Pid() const { return pid_; }

 private:
  ContainedProcess() = default;
  struct RoomState;
  // Fills the run's copy of the room once its init has made the scratch
  // file system.
  void FillRoom(std::unique_ptr<RoomState> room);
  // Whether the run has filled its scratch file system.
  bool ScratchFull() const;

  pid_t pid_ = -1;  // the run's init, in Velkor's namespace
  UniqueFd pidfd_;
  UniqueFd go_;      // keeper's end of the "go" channel
  UniqueFd errors_;  // start failures of the program
  UniqueFd status_;  // the program's wait status, from init
  struct Launch;
  std::unique_ptr<Launch> launch_;  // read by the run's processes
  std::unique_ptr<RunControlGroup> groups_;
  std::shared_ptr<RunGroupPool> groupPool_;  // where groups_ goes back; none: removed
  UniqueFd room_;  // the room on the run's scratch file system
  std::unique_ptr<RoomState> roomState_;
  JobLimits limits_;
  bool resumed_ = false;
  bool reaped_ = false;
  bool allGone_ = false;  // the run's end was confirmed: none of its processes is left
};

// The skeletons of the views (RunView.h, PlannedView) that a series of runs
// has needed, each built once, for a root Velkor: setting up a view's
// skeleton takes dozens of mount operations; attaching a copy of a built one
// takes two. A skeleton is built again when a folder it shows is no longer
// the one it was built from (deleted and made anew, say). Elsewhere, or
// where the kernel cannot copy a skeleton into a run, there are none and
// each run builds its whole view. Safe to use from several threads.
class RunViewSkeletons {
 public:
  RunViewSkeletons();
  ~RunViewSkeletons();
  RunViewSkeletons(const RunViewSkeletons&) = delete;
  RunViewSkeletons& operator=(const RunViewSkeletons&) = delete;

  // The built skeleton for these steps, kept alive for as long as a run
  // holds it; null when there is none.
  std::shared_ptr<const UniqueFd> Find(const std::vector<PlannedViewStep>& skeleton);

 private:
  struct Kept;
  std::mutex mutex_;
  std::vector<Kept> kept_;
  bool unavailable_ = false;
};

// A job: the limits of a run and the kill-on-close of everything assigned
// to it.
class Job {
 public:
  Job() = default;
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;
  ~Job();  // kills every process still assigned

  JobLimits Limits;

  // Puts a suspended process under this job's limits; false when it has
  // already been resumed.
  bool Assign(const std::shared_ptr<ContainedProcess>& process);

 private:
  std::vector<std::weak_ptr<ContainedProcess>> processes_;
};

// The exit code Velkor reports for a wait status: the program's own code, or
// 128 + the signal number for a program killed by a signal.
std::int64_t ExitCodeFromWaitStatus(int status);

// Whether runs can be given their view with this room, tried on a run that
// starts no program: 0, or the errno of what could not be made.
int CheckRunView(const std::string& room);

// Opens a file for a redirected standard stream. "NUL" (any case) is the
// null device; a missing folder of an output file is created. An output
// file is always made new: whatever lies at its name (a link, a folder, a
// file) is removed first, never written through. Sets err to an errno and
// returns an invalid descriptor on failure.
UniqueFd OpenRedirection(const std::string& name, bool forWriting, int& err);

}  // namespace velkor::platform
