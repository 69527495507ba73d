// What the keeper (ProcessJobs.cpp) and the run's own first process
// (RunInit.cpp) agree on.
//
// The init is not a program of its own: it is RunInit(), started by clone()
// in Velkor's memory and never exec'ed. The keeper prepares an InitPlan
// before clone() and keeps it, with the stacks it names, until the init has
// been reaped.
//
// Descriptors of the init once it has arranged them:
//   0, 1, 2  the program's standard streams
//   3        the "go" channel: the init writes one byte once the run's
//            scratch file system is ready; the keeper then writes one
//            GoMessage and closes
//   4        start failures: a StartReport when the program cannot be started;
//            end of file once it has been exec'ed
//   5        the program's wait status (an int), written when it ends
//   6, 7     cgroup.procs of the run's control groups (closed when there
//            are fewer): the program's process writes "0" to each before
//            its exec
//   8        the empty network namespace the run enters (closed when the run
//            makes one of its own)
//   9        the skeleton of the run's view, when the keeper has one
//            (kViewSkeleton), until the view is made
//   10       the room on the run's scratch file system, until "go": the
//            keeper takes a copy of it (pidfd_getfd) to fill the room
//   11       the scratch file system itself, until the view is made
#pragma once

#include <linux/filter.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace velkor::platform::run {

inline constexpr int kGoFd = 3;
inline constexpr int kErrorsFd = 4;
inline constexpr int kStatusFd = 5;
inline constexpr int kFirstJoinFd = 6;
inline constexpr int kNetworkFd = 8;
inline constexpr int kSkeletonFd = 9;
inline constexpr int kSourceFds = 10;  // 0..9 come from the plan
inline constexpr int kRoomFd = 10;
inline constexpr int kScratchFd = 11;
inline constexpr int kInitFds = 12;

enum StartStage : std::int32_t { kStageInit = 1, kStageFork, kStageChdir, kStageExec };

struct StartReport {
  std::int32_t Stage;
  std::int32_t Errno;
};

// One step of the run's own view of the file system (ProcessJobs.h, "the
// run's view"), planned by the keeper (RunView.h) and carried out by the
// init in order, after "go". Paths below kViewRoot's lie on the new root
// being made; the others are the machine's.
enum ViewStepKind : std::int32_t {
  kViewEnd = 0,      // ends the list
  kViewTakeTree,     // a copy of the machine's folder Path, with what is mounted below it, made read-only
  kViewTakeNode,     // a copy of the machine's device node Path
  kViewTakeRoomFile, // a copy of the scratch file system's regular file Path (relative to it), made read-only
  kViewRoot,         // the new root's empty file system, mounted at Path for now
  kViewFolder,       // a folder made at Path, to pass through only
  kViewFile,         // an empty file made at Path: where a device node goes
  kViewLink,         // a symbolic link made at Path, pointing at Target
  kViewAttach,       // the next copy taken attached at Path
  kViewScratch,      // the run's scratch file system attached at Path, a machine folder
  kViewBind,         // the scratch's folder Target shown at Path
  kViewDevices,      // the device folder made at Path, to be listed
  kViewProc,         // the run's own /proc at Path (best effort), listing no keys
  kViewShm,          // the run's /dev/shm at Path, with the GoMessage's options
  kViewSeal,         // the file system mounted at Path becomes read-only
  kViewPivot,        // Path becomes the root; the machine's root goes
  kViewSkeleton,     // a copy of the skeleton (kSkeletonFd) attached at Path: the new root as every such run has it
};

struct ViewStep {
  ViewStepKind Kind;
  const char* Path;
  const char* Target;  // kViewLink, kViewBind; nullptr otherwise
};

// At most this many machine folders and device nodes are copied into a view.
inline constexpr int kMaxTakenTrees = 32;

// Limits of the program, sent with "go"; 0 = none.
struct GoMessage {
  std::uint64_t ProcessMemoryLimit;  // bytes of data per process
  std::uint64_t AddressSpaceLimit;   // bytes per process (without a memory group)
  std::uint64_t FileSizeLimit;       // bytes per file written
  std::uint64_t TaskLimit;           // tasks of the run's user (without a pids group)
  // Mount options of the run's private /dev/shm.
  char ShmOptions[64];
};

// Everything the run's processes read from the keeper's memory.
struct InitPlan {
  const char* Program;     // absolute, or "" for none
  char* const* Argv;
  char* const* Envp;
  const char* WorkingDir;  // "" keeps Velkor's own
  const ViewStep* View;    // ends with kViewEnd; empty: the machine's view
  // Options of the run's scratch file system (its room, /tmp, /var/tmp),
  // "" for a run without one.
  const char* ScratchOptions;
  int NiceIncrement;
  int Sources[kSourceFds];  // become descriptors 0..9 of the init; -1: closed
  // Files of the run's view the program's standard streams (0, 1, 2) are
  // opened on, as the program's account, in place of Sources 0..2; null
  // keeps the source. Input is read only; output is made anew.
  const char* StreamFiles[3];
  // The account the program runs as (a root Velkor's runs); -1 keeps the
  // init's.
  int RunUid;
  int RunGid;
  // In a user namespace of its own, the run keeps Velkor's identity: these
  // maps, written by the init itself ("" when no user namespace is made).
  const char* UidMap;
  const char* GidMap;
  // The init has a memory of its own (Velkor is not dumpable) and may make
  // itself dumpable so that it can write its maps.
  bool OwnMemory;
  // Where the program's process runs until it execs: 16-byte aligned top.
  char* ProgramStackTop;
  // The program gets a session keyring of its own, empty, which goes with
  // the run, in place of the thread's that made the run.
  bool OwnKeyring;
  // The system-call filter the program execs under (SyscallFilter.h);
  // null for none.
  const sock_fprog* SyscallFilter;
};

// pid 1 of a run: arranges its descriptors, waits for "go", starts the
// program, reaps every process of the namespace, and reports the program's
// wait status when it ends. Runs in Velkor's memory next to Velkor's own
// threads, so it calls no C library function at all: no errno, no thread
// storage, no lock, only system calls on the plan.
int RunInit(void* plan);

// Builds a view's skeleton (RunView.h) in no namespace: its new root, with
// the steps carried out inside it, sealed. The steps leave out the root and
// the seal, and name the places on the new root relative to it. Changes the
// calling thread's working folder: the thread must have its own. The
// skeleton's descriptor, which each run that uses it copies (kViewSkeleton),
// or a negative errno. Makes system calls only, like RunInit.
long MakeViewSkeleton(const ViewStep* steps);

// Whole-record reads and writes for the keeper, retried when a signal
// interrupts them. ReadFull is false at end of file.
inline bool ReadFull(int fd, void* buf, std::size_t size) {
  auto* p = static_cast<char*>(buf);
  while (size > 0) {
    const ssize_t n = read(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace velkor::platform::run
