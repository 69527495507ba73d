// The system's file and folder routines: breadth-first folder scans, the
// shell's copy, move and delete with retries, attributes, a lock test, the
// folder ACLs of the security mode, the folder picker, and the two pieces
// of Windows name semantics the judge depends on: masks and names found
// regardless of letter case.
//
// Nothing here raises for a failed file operation: the shell routines return
// a status, the retry wrappers and the ACL routines return False. The one
// exception is a scan that cannot read a folder, which raises unless the
// caller collects the failures itself (see ScanDirectory). The guarded
// operations of FileUtilsWrap.h turn failures into errors with messages.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/LinkedLists.h"
#include "platform/Acls.h"
#include "platform/FileAttributes.h"

namespace velkor {

using platform::faArchive;
using platform::faDirectory;
using platform::faHidden;
using platform::faNormal;
using platform::faReadOnly;
using platform::faSymLink;
using platform::faSysFile;

using platform::BuildExplicitAccessWithName;
using platform::DENY_ACCESS;
using platform::GENERIC_ALL;
using platform::GENERIC_EXECUTE;
using platform::GENERIC_READ;
using platform::GENERIC_WRITE;
using platform::GRANT_ACCESS;
using platform::NO_INHERITANCE;
using platform::SET_ACCESS;
using platform::SUB_CONTAINERS_AND_OBJECTS_INHERIT;
using platform::TAccessMode;
using platform::TExplicitAccess;

// Days since 1899-12-30, the time of day as the fraction.
using TDateTime = double;

using platform::FileTimeToLocalDateTime;

// One entry found by a scan.
struct TFindData {
  std::uint32_t Attr = 0;
  TDateTime CreationTime = 0;  // local time, as the other two
  TDateTime LastAccessTime = 0;
  TDateTime LastWriteTime = 0;
  std::uint64_t Size = 0;
  std::string Name;  // absolute, or relative to the scan's root
};

// ScanDirectory flags, to be combined.
inline constexpr std::uint32_t sdFiles = 1;
inline constexpr std::uint32_t sdFolders = 2;  // never "." and ".."
inline constexpr std::uint32_t sdRecursive = 4;
inline constexpr std::uint32_t sdAbsoluteNames = 8;

class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Lists Root breadth-first: the matching entries of Root, then those of each
// sub-folder in the order the sub-folders were listed. Each folder's entries
// come in name order (CompareText). Only sub-folders whose names match Mask
// are entered, and symbolic links to folders are listed but never entered.
// Names are Root's path plus the entry's path below it, or with
// sdAbsoluteNames cleared the path below Root alone.
// A Root that does not exist (or is no folder) gives an empty queue. A
// folder that cannot be read raises EFileError naming it; with Errors given,
// its message is appended there instead and the scan goes on.
TQueue<TFindData> ScanDirectory(const std::string& Root, std::uint32_t Flags, const std::string& Mask = "*",
                                std::vector<std::string>* Errors = nullptr);

// Windows file-mask matching: ASCII letters match either case, "*" any run
// of characters, "?" one character; a name without a dot also matches as if
// it ended in one, so "A.*" finds "A" and "*.*" finds everything.
bool MatchesMask(std::string_view Name, std::string_view Mask);

// True when something (a file, a folder, a link, a dangling link too)
// stands at Path.
bool PathExists(const std::string& Path);

// True when Path is a regular file itself: not a link, a folder, a pipe, a
// socket or a device. Only such files are a contestant's work: the others
// would block, fail or lead elsewhere when copied or packed.
bool IsPlainFile(const std::string& Path);

// The extension of the name part of Path, from its last "." on ("" when it
// has none): ".cpp" of "a/b/E.cpp".
std::string ExtractFileExt(const std::string& Path);

// The name of the entry of Folder that equals Name ignoring the case of
// ASCII letters: Name itself when it exists as written, otherwise the first
// such entry in name order; "" when there is none.
std::string FindNameIgnoreCase(const std::string& Folder, const std::string& Name);

// Path with every component that does not exist as written replaced by the
// entry that FindNameIgnoreCase finds; Path unchanged when it exists or when
// a component has no such entry. Windows finds "Bai1.CPP" as "bai1.cpp";
// this is the one place where Velkor does the same.
std::string ResolvePathIgnoreCase(const std::string& Path);

// The shell routines: status >= 0 exactly on success (platform/ShellFileOps.h
// describes what they do). Bound at start-up; tests may replace them.
using TShellDeleteProc = std::function<int(const std::string& Path)>;
using TShellTransferProc =
    std::function<int(const std::string& Source, const std::string& DestDir, const std::string& NewName)>;
extern TShellDeleteProc ShellDeleteProc;
extern TShellTransferProc ShellCopyProc;
extern TShellTransferProc ShellMoveProc;

// The retry wrappers try up to kRetryAttempts times and wait kRetryPauseMs
// after every failed attempt, the last one included.
inline constexpr int kRetryAttempts = 20;
inline constexpr std::uint32_t kRetryPauseMs = 500;

// Every wait of the file routines goes through this, so tests can run them
// on a fake clock. Installing an empty function restores the real sleep; the
// previous one is returned.
using TSleepProc = std::function<void(std::uint32_t Milliseconds)>;
TSleepProc SetRetrySleep(TSleepProc Sleep);
void RetrySleep(std::uint32_t Milliseconds);

bool DeleteWithRetry(const std::string& Path);
// DestDir receives Source; an empty NewName keeps Source's name.
bool CopyWithRetry(const std::string& Source, const std::string& DestDir, const std::string& NewName);
// Clears the attributes of Source and everything below it first.
bool MoveWithRetry(const std::string& Source, const std::string& DestDir, const std::string& NewName);

// Renames the file From to To unless something stands at To: 0, or the
// errno of the failure (EEXIST when To is taken). Nothing is ever replaced,
// also on file systems without a rename that refuses to replace (a hard
// link there takes the free name first). For keeping files aside under
// names of their own.
int RenameNoReplace(const std::string& From, const std::string& To);

// Sets Attr on a file, or on a folder and everything below it (never
// through a symbolic link). True when every single change succeeded; every
// change is tried even after a failure.
bool SetAttributesRecursive(const std::string& Path, std::uint32_t Attr);

// True when the existing file FileName cannot be opened for reading and
// writing without sharing. A read-only file is made writable for the test
// and, unless KeepCleared, read-only again afterwards.
bool IsFileLocked(const std::string& FileName, bool KeepCleared);

// The ACL routines of the security mode (platform/Acls.h gives the mapping
// onto POSIX ACLs).
bool VolumeHasACLs(const std::string& Path);
// Mode 0: protected, 1: inherits from the parent again, other: as it was.
bool SetExplicitACL(const std::string& Path, std::span<const TExplicitAccess> Entries, int Mode);
bool GetExplicitACL(const std::string& Path, std::vector<TExplicitAccess>& Entries);
// Gives Path the explicit entries of its parent folder, or, when that has
// none, full control for "System" and inheritance from the parent.
bool CopyParentACL(const std::string& Path);

// The folder picker. The application installs one that shows a dialog; the
// default, without a GUI, always cancels. It returns True and the chosen
// folder in Directory when the user confirmed, else False with Directory
// untouched. Owner is the owning window, opaque here.
using TFolderPicker = std::function<bool(void* Owner, const std::string& Title, std::string& Directory)>;
TFolderPicker SetFolderPicker(TFolderPicker Picker);

class TSelectDirectory {
 public:
  explicit TSelectDirectory(void* wnd = nullptr) : FWnd(wnd) {}

  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }
  const std::string& Directory() const { return FDirectory; }
  void SetDirectory(const std::string& Value) { FDirectory = Value; }

  // Shows the picker opened at Directory; True and the chosen folder in
  // Directory when the user confirmed, False with Directory unchanged.
  bool Execute();

 private:
  std::string FTitle;
  std::string FDirectory;
  void* FWnd;
};

// Start-up: binds the shell routines. Clean-up: nothing to release.
void FileUtilsInit();
void FileUtilsFinalize();

}  // namespace velkor
