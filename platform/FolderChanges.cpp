#include "platform/FolderChanges.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "platform/FileAttributes.h"

namespace velkor::platform {
namespace {

constexpr std::uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr std::uint32_t kWriteEvents = IN_MODIFY | IN_CLOSE_WRITE;
constexpr std::uint32_t kSelfEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

std::uint32_t MaskFor(TNotifyFilters Filters, bool WatchSubTree) {
  // IN_ONLYDIR makes a root that is a file fail like a missing one; events
  // of entries unlinked but still open would only be noise.
  std::uint32_t mask = kSelfEvents | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;
  if (Filters.Contains(nfFileNameChange) || Filters.Contains(nfDirNameChange)) mask |= kNameEvents;
  if (Filters.Contains(nfAttributeChange) || Filters.Contains(nfSecurityChange)) mask |= IN_ATTRIB;
  if (Filters.Contains(nfSizeChange) || Filters.Contains(nfLastWrite)) mask |= kWriteEvents;
  // Sub-folders coming and going must be seen whatever the kinds, so that
  // new ones are watched too.
  if (WatchSubTree) mask |= IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM;
  return mask;
}

std::string WithoutTrailingSlash(std::string Path) {
  while (Path.size() > 1 && Path.back() == '/') Path.pop_back();
  return Path;
}

std::string Join(const std::string& Folder, const char* Name) {
  return Folder == "/" ? "/" + std::string(Name) : Folder + "/" + Name;
}

bool IsBelow(const std::string& Path, const std::string& Folder) {
  return Path == Folder || (Path.size() > Folder.size() && Path.compare(0, Folder.size(), Folder) == 0 &&
                            Path[Folder.size()] == '/');
}

}  // namespace

TFolderWatch::TFolderWatch(const std::string& Root, TNotifyFilters Filters, bool WatchSubTree)
    : FFilters(Filters), FWatchSubTree(WatchSubTree), FMask(MaskFor(Filters, WatchSubTree)) {
  if (Root.empty()) return;
  FFd.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!FFd.Valid()) return;
  const std::string root = WithoutTrailingSlash(Root);
  // A root given as a link to a folder is followed; links below it never.
  FRootWd = ::inotify_add_watch(FFd.Get(), root.c_str(), FMask & ~IN_DONT_FOLLOW);
  if (FRootWd >= 0) FPaths.emplace(FRootWd, root);
  if (FRootWd < 0) {
    FFd.Reset();
    return;
  }
  if (FWatchSubTree) AddTree(root);
}

int TFolderWatch::AddOne(const std::string& Folder) {
  const int wd = ::inotify_add_watch(FFd.Get(), Folder.c_str(), FMask);
  if (wd >= 0) FPaths.try_emplace(wd, Folder);
  return wd;
}

// Watches every folder below Folder (already watched itself). A folder seen
// twice (a bind mount inside the tree) is not entered again, so the walk
// ends even on a looped mount.
void TFolderWatch::AddTree(const std::string& Folder) {
  std::vector<std::string> pending{Folder};
  while (!pending.empty()) {
    const std::string folder = std::move(pending.back());
    pending.pop_back();
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, std::filesystem::directory_options::skip_permission_denied, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
      std::error_code typeError;
      if (!it->is_directory(typeError) || it->is_symlink(typeError)) continue;
      const std::string child = it->path().string();
      const int wd = ::inotify_add_watch(FFd.Get(), child.c_str(), FMask);
      if (wd < 0 || FPaths.contains(wd)) continue;
      FPaths.emplace(wd, child);
      pending.push_back(child);
    }
  }
}

void TFolderWatch::ForgetTree(const std::string& Folder) {
  for (auto it = FPaths.begin(); it != FPaths.end();) {
    if (it->first != FRootWd && IsBelow(it->second, Folder)) {
      ::inotify_rm_watch(FFd.Get(), it->first);
      it = FPaths.erase(it);
    } else {
      ++it;
    }
  }
}

bool TFolderWatch::Handle(int Wd, std::uint32_t Mask, const char* Name) {
  if (Mask & IN_Q_OVERFLOW) return true;
  const auto watched = FPaths.find(Wd);
  if (watched == FPaths.end()) return false;  // a watch dropped while its events were queued
  if (Mask & IN_IGNORED) {
    FPaths.erase(watched);
    if (Wd != FRootWd) return false;
    FRootWd = -1;
    return true;
  }
  if (Mask & kSelfEvents) return Wd == FRootWd;

  const bool isDir = (Mask & IN_ISDIR) != 0;
  if (Mask & kNameEvents) {
    if (FWatchSubTree && isDir && Name[0] != '\0') {
      const std::string path = Join(watched->second, Name);
      if (Mask & (IN_CREATE | IN_MOVED_TO)) {
        if (const int wd = AddOne(path); wd >= 0) AddTree(path);
      } else if (Mask & IN_MOVED_FROM) {
        ForgetTree(path);
      }
    }
    return FFilters.Contains(isDir ? nfDirNameChange : nfFileNameChange);
  }
  if (Mask & IN_ATTRIB) return FFilters.Contains(nfAttributeChange) || FFilters.Contains(nfSecurityChange);
  if (Mask & kWriteEvents) return FFilters.Contains(nfSizeChange) || FFilters.Contains(nfLastWrite);
  return false;
}

bool TFolderWatch::Drain() {
  if (!FFd.Valid()) return false;
  bool changed = false;
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(FFd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // EAGAIN: the queue is empty
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (Handle(event->wd, event->mask, event->len > 0 ? event->name : "")) changed = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return changed;
}

namespace {

struct TDirCloser {
  void operator()(DIR* Dir) const { ::closedir(Dir); }
};
using TDir = std::unique_ptr<DIR, TDirCloser>;

bool IsNumber(const char* Text) {
  if (*Text == '\0') return false;
  for (; *Text != '\0'; ++Text)
    if (*Text < '0' || *Text > '9') return false;
  return true;
}

// Whether the descriptor described by the fdinfo file was opened for
// writing (O_WRONLY or O_RDWR in its "flags:" line, octal).
bool FdInfoWrites(const std::string& FdInfo) {
  std::ifstream in(FdInfo);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("flags:", 0) != 0) continue;
    const unsigned long flags = std::strtoul(line.c_str() + 6, nullptr, 8);
    return (flags & O_ACCMODE) != O_RDONLY;
  }
  return false;
}

std::string ProcessCommand(const std::string& Pid) {
  std::ifstream in("/proc/" + Pid + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

// The processes whose descriptor tables we may read that hold the file
// (Dev, Ino) open for writing; only the first one when FirstOnly.
std::vector<TFileWriter> ScanWriters(dev_t Dev, ino_t Ino, bool FirstOnly) {
  std::vector<TFileWriter> found;
  TDir proc(::opendir("/proc"));
  if (!proc) return found;
  while (const dirent* p = ::readdir(proc.get())) {
    if (!IsNumber(p->d_name)) continue;
    const std::string pid = p->d_name;
    const std::string fdDir = "/proc/" + pid + "/fd/";
    TDir fds(::opendir(fdDir.c_str()));
    if (!fds) continue;  // another user's process, or one that just ended
    while (const dirent* f = ::readdir(fds.get())) {
      if (!IsNumber(f->d_name)) continue;
      struct stat st {};
      // stat follows the descriptor's link to the open file itself, also
      // when its name has changed or it was moved since it was opened.
      if (::stat((fdDir + f->d_name).c_str(), &st) != 0 || st.st_dev != Dev || st.st_ino != Ino) continue;
      if (!FdInfoWrites("/proc/" + pid + "/fdinfo/" + f->d_name)) continue;
      found.push_back({std::atoi(pid.c_str()), ProcessCommand(pid)});
      break;
    }
    if (FirstOnly && !found.empty()) break;
  }
  return found;
}

}  // namespace

TWriteState FileWriteState(const std::string& Path) {
  // O_NONBLOCK: a lease someone else holds is not waited for (the open
  // fails, and the scan below answers instead).
  UniqueFd fd(::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
  struct stat st {};
  if (fd.Valid()) {
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return TWriteState::wsClosed;
    SurviveLeaseBreaks();
    if (::fcntl(fd.Get(), F_SETLEASE, F_RDLCK) == 0) {
      ::fcntl(fd.Get(), F_SETLEASE, F_UNLCK);
      return TWriteState::wsClosed;
    }
    if (errno == EAGAIN || errno == EBUSY) return TWriteState::wsWriting;
    fd.Reset();  // not ours, or no leases here: our own descriptor must not be counted
  } else if (::lstat(Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return TWriteState::wsClosed;
  }
  return ScanWriters(st.st_dev, st.st_ino, true).empty() ? TWriteState::wsClosed : TWriteState::wsWriting;
}

std::vector<TFileWriter> FileWriters(const std::string& Path) {
  struct stat st {};
  if (::lstat(Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return ScanWriters(st.st_dev, st.st_ino, false);
}

}  // namespace velkor::platform
