// The folders one Velkor keeps to itself, whatever account or home another
// process runs with.
//
// The work folder ("VelkorWorkSpace" in the contest house) is deleted and
// made again by every judging run, the unpack folder ("VelkorContest",
// "VelkorContest1", ... under the unpack base) by every opened archive, and
// the submission folder gives each file it receives to one contest only.
// Two processes sharing one of them judge each other's programs, delete
// each other's contests and take each other's submissions. So each is held
// through a lock file (platform/FileLocks.h) for as long as this process
// runs:
//
//   <contest house>/VelkorWorkSpace.lock   the work folder
//   <unpack base>/VelkorContest.lock       every unpack folder made there
//   <submission folder>/VelkorSubmit.lock  the submission folder (its name
//                                          is no submission's: intake
//                                          leaves it alone)
//
// The first two lie beside the folders they guard, since those are deleted
// and made again. A lock is taken on the folder's first use (and by the
// program's start-up), checked on every later use, and taken again when
// its file was deleted or replaced meanwhile. A process that finds it held
// by another stays out of that folder.
#pragma once

#include <stdexcept>
#include <string>

namespace velkor {

// Another process holds the folder; the message, in Vietnamese, names the
// folder, what it is used for and the holder's process id.
class EFolderHeld : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kWorkFolderLockName = "VelkorWorkSpace.lock";
inline constexpr const char* kUnpackFolderLockName = "VelkorContest.lock";
inline constexpr const char* kSubmissionFolderLockName = "VelkorSubmit.lock";

// Where the work folder is made: the environment's contest house, or the
// temporary folder when no house is set (an empty house would put the work
// folder at the root of the file system).
std::string WorkFolderHouse();

// Where opened archives are unpacked, ending with "/": the environment's
// unpack folder, or, when that is not set, the shared application-data
// folder (and the temporary folder as the last resort), never the root.
std::string UnpackFolderBase();

// Hold House (an existing folder) for this process's work folder, Base
// (made when missing) for its unpack folders, Dir (an existing folder) as
// its submission folder. Raise EFolderHeld when another process holds it,
// std::runtime_error (Vietnamese, naming the file) when the lock file
// cannot be made or locked.
void HoldWorkFolderHouse(const std::string& House);
void HoldUnpackFolderBase(const std::string& Base);
void HoldSubmissionFolder(const std::string& Dir);

// Start-up: holds the work folder's and the unpack folder's places as the
// environment sets them. "" when this process may use them; otherwise the
// Vietnamese text that says which folder another process holds. A place
// that cannot be made or locked is no reason to stop: its first use tells
// the jury.
std::string HoldWorkFolders();

// Before this process deletes a folder tree (an unpack folder, the work
// folder): the first lock file at any depth inside Tree that another
// process holds, never looking through a symbolic link. Another Velkor's
// place lies there (a jury may choose any folder for it), and deleting
// Tree would delete that process's folders under it while it uses them.
// A lock file that cannot be opened counts as held. "" when there is none.
std::string LockOfAnotherInside(const std::string& Tree);

// The folder that this process deletes and makes again and that is or
// holds Dir: the work folder ("VelkorWorkSpace", or the numbered name it
// takes when that one is busy) in the contest house, an unpack folder
// ("VelkorContest", "VelkorContest1", ...) under the unpack base, for the
// places the environment names now and those this process still holds.
// "" when there is none.
std::string ReplacedFolderHolding(const std::string& Dir);

// Gives every lock up (the end of the process does the same).
void ReleaseFolderLocks();

}  // namespace velkor
