// Watching a folder for changes, the stand-in for the shell's change
// notification: one inotify instance per watch, non-blocking, whose
// descriptor the caller polls (the GUI polls it with a socket notifier, so
// no thread of ours waits on it).
//
// The change kinds map onto inotify events as follows:
//
//   nfFileNameChange    IN_CREATE, IN_DELETE, IN_MOVED_FROM, IN_MOVED_TO
//                       of entries that are not folders
//   nfDirNameChange     the same events of folder entries (IN_ISDIR)
//   nfAttributeChange,
//   nfSecurityChange    IN_ATTRIB
//   nfSizeChange,
//   nfLastWrite         IN_MODIFY, IN_CLOSE_WRITE
//
// Whatever the kinds, the root itself vanishing (deleted, moved away, its
// file system unmounted) and a queue overflow count as a change: in both
// cases events may have been lost, and the receiver rescans anyway.
//
// With the sub-tree flag every folder below the root is watched too, and so
// is every folder that appears later (created or moved in); symbolic links
// below the root are never followed (a root that is a link to a folder is). A folder that cannot be watched (unreadable, beyond
// the per-user watch limit) is passed over silently, as is a root that does
// not exist or is not a folder: such a watch reports nothing.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/UniqueFd.h"

namespace velkor::platform {

enum TNotifyFilter : std::uint8_t {
  nfFileNameChange, nfDirNameChange, nfAttributeChange, nfSizeChange, nfLastWrite, nfSecurityChange
};

// A set of change kinds.
class TNotifyFilters {
 public:
  constexpr TNotifyFilters() = default;
  constexpr TNotifyFilters(std::initializer_list<TNotifyFilter> Filters) {
    for (TNotifyFilter f : Filters) FBits |= Bit(f);
  }
  constexpr bool Contains(TNotifyFilter f) const { return (FBits & Bit(f)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  friend constexpr bool operator==(TNotifyFilters, TNotifyFilters) = default;

 private:
  static constexpr std::uint8_t Bit(TNotifyFilter f) { return static_cast<std::uint8_t>(1u << f); }
  std::uint8_t FBits = 0;
};

class TFolderWatch {
 public:
  // Starts watching Root. Never fails: a root that cannot be watched gives a
  // watch that reports nothing (Active() false).
  TFolderWatch(const std::string& Root, TNotifyFilters Filters, bool WatchSubTree);
  TFolderWatch(const TFolderWatch&) = delete;
  TFolderWatch& operator=(const TFolderWatch&) = delete;

  // The descriptor to poll for reading; -1 when nothing is watched.
  int Fd() const { return FFd.Get(); }
  // Whether the root is being watched (it existed as a folder at the start
  // and has not vanished since).
  bool Active() const { return FRootWd >= 0; }
  // Number of folders watched, the root included.
  std::size_t WatchCount() const { return FPaths.size(); }

  // Reads every pending event without blocking; true when at least one of
  // them is a change of a watched kind. Sub-folders that appeared are
  // watched from here on.
  bool Drain();

 private:
  void AddTree(const std::string& Folder);
  int AddOne(const std::string& Folder);
  void ForgetTree(const std::string& Folder);
  bool Handle(int Wd, std::uint32_t Mask, const char* Name);

  UniqueFd FFd;
  TNotifyFilters FFilters;
  bool FWatchSubTree;
  std::uint32_t FMask = 0;
  int FRootWd = -1;
  std::unordered_map<int, std::string> FPaths;  // watch descriptor -> folder
};

// Whether a file that appeared in a watched folder is still being written.
//
// Windows refuses to move a file that another program holds open, so a
// submission that is still being written simply waits there. Linux moves it
// and the writer goes on writing into the moved file, so the reader must
// ask. Two ways are combined, because neither sees everything:
//
//   - a read lease (F_SETLEASE F_RDLCK) is refused while anyone at all has
//     the file open for writing: other users, other PID namespaces, a file
//     server working for a client. It needs the file to be ours (or
//     CAP_LEASE) and a file system with leases;
//   - otherwise every process whose descriptors we may inspect
//     (/proc/<pid>/fd, with the access mode from /proc/<pid>/fdinfo).
//     Processes of other users stay unseen; the caller's quiet window
//     (no change of size or times for a while) is the backstop for them.
enum class TWriteState : std::uint8_t {
  wsClosed,   // nobody we can see has it open for writing
  wsWriting,  // someone has it open for writing
};
TWriteState FileWriteState(const std::string& Path);

// A process seen holding a file open for writing.
struct TFileWriter {
  int Pid = 0;
  std::string Command;  // its name ("comm"), "" when unknown
};
// The processes we may inspect that hold Path open for writing, for telling
// the jury who keeps a file busy.
std::vector<TFileWriter> FileWriters(const std::string& Path);

}  // namespace velkor::platform
