// What a contained run sees of the file system, planned as the steps its
// init takes (ProcessJobs.h, "the run's view", tells how the view is made).
#pragma once

#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/RunProtocol.h"

namespace velkor::platform {

// Where the init mounts the new root while it builds it: a folder every
// machine has. Whatever lies there stays reachable for the copies taken
// before, and the root's file system leaves it when the root is switched.
inline constexpr const char* kViewStaging = "/tmp";

// Where every run sees its room, whichever folder of the machine the room
// is: no path of the jury's machine (the contest's house, the jury's home
// folder) shows in a run's view of its files or its mount table.
inline constexpr const char* kRunRoom = "/room";

// The scratch file system's folders: the room, /tmp and /var/tmp of the run.
inline constexpr const char* kScratchRoom = "room";
inline constexpr const char* kScratchTmp = "tmp";
inline constexpr const char* kScratchVarTmp = "vartmp";

// The machine's folders every run sees read-only, as far as the machine has
// them: what compilers and interpreters need to start and find their files.
// A top-level name that is a symbolic link here (merged /usr) becomes the
// same link in the view.
std::vector<std::string> SystemFolders();

// The device nodes a run gets; nothing else of /dev.
std::vector<std::string> RunDevices();

// Whether name can name a file directly in a room: not empty, not "." or
// "..", no "/".
bool IsPlainName(const std::string& name);

struct PlannedViewStep {
  run::ViewStepKind Kind;
  std::string Path;
  std::string Target;

  friend bool operator==(const PlannedViewStep&, const PlannedViewStep&) = default;
};

struct RunViewRequest {
  // Machine folders shown read-only at their own paths.
  std::vector<std::string> ReadOnly;
  // The machine's folder the run has as its room ("" for none), shown at
  // kRunRoom: the scratch's room, filled from it. A folder shown read-only
  // inside it is there already.
  std::string Room;
  // Names of files directly in the room the run sees read-only: the room's
  // copies, each shown over itself, so that the run can neither change nor
  // delete them.
  std::vector<std::string> RoomFiles;
  // Top-level symbolic links (name without "/", target).
  std::vector<std::pair<std::string, std::string>> RootLinks;
  // Device nodes shown in /dev.
  std::vector<std::string> Devices;
};

// A view in two parts, each with the copies it takes first. The skeleton is
// the same for every run given the same request, whatever its room holds:
// the new root with the machine's folders and device nodes, the links, and
// every folder made on it, sealed read-only. The run's part is each run's
// own: its scratch file system and what is shown of it, whatever lies below
// those, its /proc and /dev/shm, the room's files; it ends with the switch
// to the new root.
struct PlannedView {
  std::vector<PlannedViewStep> Skeleton, Run;
  // The whole view built from nothing: the skeleton, then the run's part.
  std::vector<PlannedViewStep> Steps() const;
};

// The steps for folders given as absolute paths without "." or ".." or
// links (as ResolveRunView gives them). A folder inside another one shown
// read-only, or inside the room, needs nothing of its own. Throws
// std::system_error: EINVAL for the root shown whole, the room being the
// root, a folder inside /proc or where the room is shown, or a room file
// that is not a plain name; E2BIG for more folders than a run takes.
PlannedView PlanRunView(const RunViewRequest& request);

// The path of an existing file or folder with every link followed and no
// "." or "..", as std::filesystem::canonical gives it, in a few system calls
// however deep it lies (the kernel names what a descriptor opened). Sets ec
// and returns "" when it cannot be resolved.
std::string ResolvePath(const std::string& path, std::error_code& ec);

// Whether folder is, or holds, one of the others, all as they lie now
// (links followed); a folder that is not there neither holds nor is held.
bool HoldsAnyOf(const std::string& folder, const std::vector<std::string>& others);

// Resolves the folders as they are now (links followed), adds the system
// folders, their links and the devices, then plans. A read-only folder that
// does not exist is left out, and so is one that is, or holds, one of the
// hidden folders (a compiler installed above the contest must not show the
// contest); the room must exist. roomFiles: names of files directly in the
// room, shown read-only. Throws std::system_error when a folder cannot be
// resolved.
PlannedView ResolveRunView(const std::vector<std::string>& readOnly, const std::string& room,
                           const std::vector<std::string>& roomFiles = {},
                           const std::vector<std::string>& hidden = {});

}  // namespace velkor::platform
