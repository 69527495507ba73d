// Per-run control groups: the kernel counts all the memory a run uses
// (private, shared, POSIX shared memory, files in memory-backed folders)
// and all its tasks, whatever the program does.
//
// Where the groups live
// ---------------------
// Only below Velkor's own group, found at run time in /proc/self/cgroup and
// /proc/self/mountinfo: a controller bound to a version-1 hierarchy (the
// memory and pids controllers may sit in different ones) is used there,
// otherwise the unified (version-2) hierarchy, where Velkor's group must
// have been delegated to it (root, or a systemd scope with Delegate=yes).
// Under version 2 a group with processes cannot hand controllers to its
// children, so Velkor first moves itself into a leaf of its own group,
// "velkor-<pid>-<start>-main", then enables the controllers for the run
// groups beside it.
//
// One run
// -------
//   velkor-<pid>-<start>-run<N>        the limits (memory, no swap, tasks)
//   velkor-<pid>-<start>-run<N>/task   where the program lives
// The program's own process joins "task" just before its exec (it writes
// "0" to a cgroup.procs descriptor the keeper opened), so everything it
// starts is counted. The run's init stays outside: it shares Velkor's
// memory, and the kernel's out-of-memory killer also kills every process
// sharing its victim's memory. The program's process, until its exec,
// shares that memory too, but the killer never picks a process in the
// middle of a vfork; a charge it cannot satisfy then fails the exec.
// The limits sit one level above the program, so that a program that
// mounts a cgroup file system of its own (in a user and cgroup namespace
// it creates) sees only "task" and can neither raise them nor leave; the
// run's view of the machine holds no cgroup file system at all.
//
// Nothing left behind: a run's groups are removed (what is left in them
// killed first) when the run ends, or, in a series of runs, kept for the
// next run when the run left nothing in them (RunGroupPool) and removed
// when the series ends. <pid>-<start> names the Velkor that made
// a group: groups of a Velkor that no longer lives (killed, say) are swept
// from Velkor's own group when the first run is prepared.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/UniqueFd.h"

namespace velkor::platform {

// What the machine gives the runs, found once per process.
struct ControlGroupSupport {
  bool Memory = false;  // a memory controller below Velkor's group
  bool Tasks = false;   // a pids controller below Velkor's group
  // Why a controller cannot be had; "" when it can.
  std::string MemoryProblem, TasksProblem;
  // Velkor's own group in each hierarchy the run groups are made in.
  std::vector<std::string> Folders;
};

// Where the run groups of each controller would go, read from the texts of
// /proc/self/mountinfo and /proc/self/cgroup.
struct ControlGroupLayout {
  struct Place {
    std::string Folder;  // Velkor's own group; "" = none, and Problem says why
    bool Unified = false;
    std::string Problem;
  };
  Place Memory, Tasks;
};
ControlGroupLayout FindControlGroupLayout(std::string_view mountinfo, std::string_view cgroups);

// Looks for the controllers, sweeps the stale groups of dead Velkors and,
// under version 2, moves Velkor into its leaf. The first call does the
// work; later ones return the same. Never throws.
const ControlGroupSupport& PrepareControlGroups();

// Removes the groups of Velkors that no longer live from Velkor's own
// groups (PrepareControlGroups does it once). Never throws.
void SweepStaleControlGroups();

// The groups of one run. Made empty, or taken back from an earlier run
// (RunGroupPool); the limits are set before the program starts.
class RunControlGroup {
 public:
  // Makes the run's groups for the controllers PrepareControlGroups found.
  // Throws std::system_error naming the folder that could not be made.
  RunControlGroup();
  RunControlGroup(const RunControlGroup&) = delete;
  RunControlGroup& operator=(const RunControlGroup&) = delete;
  ~RunControlGroup();

  // memoryLimit 0 = no memory limit; the groups hold at least 1 MiB. Throws
  // std::system_error naming the file that could not be written.
  void SetLimits(std::uint64_t memoryLimit, std::uint32_t taskLimit);

  // cgroup.procs of each leaf, open for writing: a process that writes "0"
  // to each joins the run's groups.
  std::vector<int> JoinDescriptors() const;

  // True when the kernel killed a process of the run for want of memory
  // (since the groups were made or last made ready for a run).
  bool OutOfMemoryKill() const;

  // Kills whatever is left in the groups and removes them. Idempotent;
  // never throws.
  void Remove() noexcept;

  // Once the run is over and all its processes are gone: makes the groups
  // ready for another run if nothing of this one is left in them that the
  // next could meet (no task, no group below a leaf, at most
  // kMostLeftoverMemory still charged). False when they are not fit for
  // another run; they are then to be removed. Never throws.
  bool MakeReadyForNextRun() noexcept;

  // Memory still charged to reused groups (pages of the files an earlier
  // run read, which the kernel may reclaim): at most this much is carried
  // over, and each run gets it on top of its limit.
  static constexpr std::uint64_t kMostLeftoverMemory = std::uint64_t{4} << 20;

 private:
  struct Group;
  std::vector<Group> groups_;
};

// Run groups kept from one run to the next of a long series (a judging
// run): making and removing a memory and a task group at every run is most
// of what control groups cost. A run takes the kept groups when there are
// some, and gives them back when it is over; the pool keeps them only when
// they are fit for another run (RunControlGroup::MakeReadyForNextRun) and
// removes them otherwise. Whatever a pool keeps goes with it; a killed
// Velkor's are swept at the next start like any of its run groups.
class RunGroupPool {
 public:
  RunGroupPool() = default;
  RunGroupPool(const RunGroupPool&) = delete;
  RunGroupPool& operator=(const RunGroupPool&) = delete;
  ~RunGroupPool();

  // Kept groups, or new ones. Throws as RunControlGroup's constructor.
  std::unique_ptr<RunControlGroup> Take();
  // Only once every process of the run is gone. Never throws.
  void GiveBack(std::unique_ptr<RunControlGroup> groups) noexcept;

 private:
  std::mutex mutex_;
  std::unique_ptr<RunControlGroup> kept_;
};

}  // namespace velkor::platform
