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

}  // namespace velkor::platform
