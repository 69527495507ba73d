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
//   3        the "go" channel: the keeper writes one GoMessage, then closes
//   4        start failures: a StartReport when the program cannot be started;
//            end of file once it has been exec'ed
//   5        the program's wait status (an int), written when it ends
//   6, 7     cgroup.procs of the run's control groups (closed when there
//            are fewer): the program's process writes "0" to each before
//            its exec
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace velkor::platform::run {

inline constexpr int kGoFd = 3;
inline constexpr int kErrorsFd = 4;
inline constexpr int kStatusFd = 5;
inline constexpr int kFirstJoinFd = 6;
inline constexpr int kInitFds = 8;

enum StartStage : std::int32_t { kStageInit = 1, kStageFork, kStageChdir, kStageExec };

struct StartReport {
  std::int32_t Stage;
  std::int32_t Errno;
};

// One step of the run's own view of the folders (ProcessJobs.h, "the run's
// view"), planned by the keeper and carried out by the init in order.
enum ViewStepKind : std::int32_t {
  kViewEnd = 0,     // ends the list
  kViewHide,        // an empty file system over Path, listable and empty
  kViewPassage,     // the same, but only to pass through, to kept folders below
  kViewMakeFolder,  // a folder on a hidden file system: the way to a kept one
  kViewKeep,        // the folder that was at Path before anything was hidden
  kViewSeal,        // the hidden file system at Path becomes read-only
};

struct ViewStep {
  ViewStepKind Kind;
  const char* Path;
};

// At most this many folders are kept visible inside hidden ones.
inline constexpr int kMaxKeptFolders = 8;

// Limits of the program, sent with "go"; 0 = none.
struct GoMessage {
  std::uint64_t ProcessMemoryLimit;  // bytes of data per process
  std::uint64_t AddressSpaceLimit;   // bytes per process (without a memory group)
  std::uint64_t FileSizeLimit;       // bytes per file written
  std::uint64_t TaskLimit;           // tasks of the run's user (without a pids group)
  // Mount options of the run's private /dev/shm ("" keeps the machine's).
  char ShmOptions[64];
};

// Everything the run's processes read from the keeper's memory.
struct InitPlan {
  const char* Program;     // absolute, or "" for none
  char* const* Argv;
  char* const* Envp;
  const char* WorkingDir;  // "" keeps Velkor's own
  const ViewStep* View;    // ends with kViewEnd
  int NiceIncrement;
  int Sources[kInitFds];   // become descriptors 0..7 of the init; -1: closed
  // In a user namespace of its own, the run keeps Velkor's identity: these
  // maps, written by the init itself ("" when no user namespace is made).
  const char* UidMap;
  const char* GidMap;
  // The init has a memory of its own (Velkor is not dumpable) and may make
  // itself dumpable so that it can write its maps.
  bool OwnMemory;
  // Where the program's process runs until it execs: 16-byte aligned top.
  char* ProgramStackTop;
};

// pid 1 of a run: arranges its descriptors, waits for "go", starts the
// program, reaps every process of the namespace, and reports the program's
// wait status when it ends. Runs in Velkor's memory next to Velkor's own
// threads, so it calls no C library function at all: no errno, no thread
// storage, no lock, only system calls on the plan.
int RunInit(void* plan);

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
