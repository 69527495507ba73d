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
// killed first) when the run ends. <pid>-<start> names the Velkor that made
// a group: groups of a Velkor that no longer lives (killed, say) are swept
// from Velkor's own group when the first run is prepared.
#pragma once

#include <cstdint>
#include <memory>
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

// The groups of one run. Made empty; the limits are set before the program
// starts.
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

  // True when the kernel killed a process of the run for want of memory.
  bool OutOfMemoryKill() const;

  // Kills whatever is left in the groups and removes them. Idempotent;
  // never throws.
  void Remove() noexcept;

 private:
  struct Group;
  std::vector<Group> groups_;
};

}  // namespace velkor::platform
