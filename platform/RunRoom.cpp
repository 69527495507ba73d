#include "platform/RunRoom.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>
#include <system_error>
#include <vector>

#include "platform/UniqueFd.h"

namespace velkor::platform {
namespace {

constexpr std::uint64_t kPage = 4096;

std::system_error RoomError(int err, const std::string& what) {
  return std::system_error(err, std::generic_category(), what);
}

std::string Join(const std::string& rel, const std::string& name) { return rel.empty() ? name : rel + "/" + name; }

// The names in a folder (descriptor), "." and ".." left out.
std::vector<std::string> Names(int folder, const std::string& what) {
  const int copy = fcntl(folder, F_DUPFD_CLOEXEC, 0);
  DIR* dir = copy < 0 ? nullptr : fdopendir(copy);
  if (dir == nullptr) {
    const int err = errno;
    if (copy >= 0) close(copy);
    throw RoomError(err, "cannot list " + what);
  }
  rewinddir(dir);
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  const int err = errno;
  closedir(dir);
  if (err != 0) throw RoomError(err, "cannot list " + what);
  return names;
}

UniqueFd OpenFolder(int parent, const std::string& name, const std::string& what) {
  UniqueFd fd(openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.Valid()) throw RoomError(errno, "cannot open " + what);
  return fd;
}

// The mode of a copy: as it was, but always readable and writable by its
// owner, and runnable by its owner when anyone could run it (access lists
// that let the copier in are not copied).
mode_t CopyMode(mode_t mode) { return (mode & 07777) | 0600 | ((mode & 0111) != 0 ? 0100 : 0); }

// Copies a regular file between folders into a new file, with its mode and
// modification time; returns the new file's status.
struct stat CopyFile(int fromFolder, int toFolder, const std::string& name, const struct stat& from,
                     const std::string& what) {
  UniqueFd in(openat(fromFolder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!in.Valid()) throw RoomError(errno, "cannot read " + what);
  UniqueFd out(openat(toFolder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!out.Valid()) throw RoomError(errno, "cannot create " + what);
  for (;;) {
    const ssize_t n = sendfile(out.Get(), in.Get(), nullptr, 1 << 30);
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw RoomError(errno, "cannot copy " + what);
  }
  // The mode as it was, whatever the copier's file-creation mask.
  const timespec times[2] = {from.st_atim, from.st_mtim};
  if (fchmod(out.Get(), CopyMode(from.st_mode)) != 0 || futimens(out.Get(), times) != 0)
    throw RoomError(errno, "cannot copy " + what);
  struct stat made {};
  if (fstat(out.Get(), &made) != 0) throw RoomError(errno, "cannot copy " + what);
  // Neither side changes while it is copied (the run is over, or has not
  // begun): a copy that came out shorter lost the rest to a full disk, and
  // must not pass for the whole file. A file system that reports the lack
  // of room only when the file is closed says so here too.
  if (made.st_size != from.st_size) throw RoomError(ENOSPC, "short copy of " + what);
  if (const int err = out.Close(); err != 0) throw RoomError(err, "cannot copy " + what);
  return made;
}

void Measure(int folder, const std::string& what, RoomUsage& usage) {
  for (const std::string& name : Names(folder, what)) {
    struct stat st {};
    if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    if (S_ISDIR(st.st_mode)) {
      usage.Bytes += kPage;
      ++usage.Entries;
      Measure(OpenFolder(folder, name, what + "/" + name).Get(), what + "/" + name, usage);
    } else if (S_ISREG(st.st_mode)) {
      usage.Bytes += (static_cast<std::uint64_t>(st.st_size) + kPage - 1) / kPage * kPage;
      ++usage.Entries;
    }
  }
}

struct Filler {
  int Uid, Gid;
  const std::vector<std::string>& ShownAsIs;
  RoomSnapshot Snapshot;

  void Fill(int from, int to, const std::string& rel, const std::string& what) {
    for (const std::string& name : Names(from, what)) {
      struct stat st {};
      if (fstatat(from, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      const std::string path = what + "/" + name;
      if (rel.empty() && S_ISREG(st.st_mode) && std::find(ShownAsIs.begin(), ShownAsIs.end(), name) != ShownAsIs.end()) {
        StandIn(to, name, path);
      } else if (S_ISDIR(st.st_mode)) {
        if (mkdirat(to, name.c_str(), 0700) != 0) throw RoomError(errno, "cannot create " + path + " for a run");
        UniqueFd inner = OpenFolder(to, name, path + " for a run");
        if (fchmod(inner.Get(), (st.st_mode & 07777) | 0700) != 0 || !Own(inner.Get()))
          throw RoomError(errno, "cannot prepare " + path + " for a run");
        Fill(OpenFolder(from, name, path).Get(), inner.Get(), Join(rel, name), path);
      } else if (S_ISREG(st.st_mode)) {
        const struct stat made = CopyFile(from, to, name, st, path);
        if (Uid >= 0 && fchownat(to, name.c_str(), Uid, Gid, AT_SYMLINK_NOFOLLOW) != 0)
          throw RoomError(errno, "cannot prepare " + path + " for a run");
        struct stat now = made;
        if (Uid >= 0) fstatat(to, name.c_str(), &now, AT_SYMLINK_NOFOLLOW);
        Snapshot.Files[Join(rel, name)] = {now.st_ino, now.st_ctim.tv_sec, now.st_ctim.tv_nsec};
      }
    }
  }

  bool Own(int fd) const { return Uid < 0 || fchown(fd, Uid, Gid) == 0; }

  // The empty file the machine's file is shown over.
  void StandIn(int to, const std::string& name, const std::string& path) {
    UniqueFd fd(openat(to, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0444));
    struct stat made {};
    if (!fd.Valid() || fstat(fd.Get(), &made) != 0) throw RoomError(errno, "cannot prepare " + path + " for a run");
    Snapshot.Files[name] = {made.st_ino, made.st_ctim.tv_sec, made.st_ctim.tv_nsec};
  }
};

struct Returner {
  const RoomSnapshot& Before;
  std::string Room;
  std::set<std::string> Seen;

  void Return(int from, int to, const std::string& rel) {
    for (const std::string& name : Names(from, "the run's copy of " + Room)) {
      struct stat st {};
      if (fstatat(from, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      const std::string key = Join(rel, name);
      const std::string path = Room + "/" + key;
      Seen.insert(key);
      if (S_ISDIR(st.st_mode)) {
        struct stat there {};
        if (fstatat(to, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(there.st_mode)) Remove(path);
        // Velkor must be able to fill and later empty it, whatever mode the run gave it.
        if (mkdirat(to, name.c_str(), (st.st_mode & 0777) | 0700) != 0 && errno != EEXIST)
          throw RoomError(errno, "cannot create " + path);
        Return(OpenFolder(from, name, "the run's copy of " + path).Get(), OpenFolder(to, name, path).Get(), key);
      } else if (S_ISREG(st.st_mode)) {
        const auto was = Before.Files.find(key);
        if (was != Before.Files.end() && was->second.Inode == st.st_ino && was->second.ChangeSec == st.st_ctim.tv_sec &&
            was->second.ChangeNsec == st.st_ctim.tv_nsec)
          continue;  // as it was put there
        Remove(path);
        CopyFile(from, to, name, st, path);
      }
      // Anything else the run made stays with it.
    }
  }

  static void Remove(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);  // never follows a link
    if (ec) throw RoomError(ec.value(), "cannot replace " + path);
  }
};

}  // namespace

RoomUsage MeasureRoom(const std::string& room) {
  RoomUsage usage;
  UniqueFd folder(open(room.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.Valid()) throw RoomError(errno, "cannot open the room " + room);
  Measure(folder.Get(), room, usage);
  return usage;
}

RoomSnapshot FillRoom(const std::string& room, int scratch, int uid, int gid,
                      const std::vector<std::string>& shownAsIs) {
  UniqueFd folder(open(room.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.Valid()) throw RoomError(errno, "cannot open the room " + room);
  Filler filler{uid, gid, shownAsIs, {}};
  filler.Fill(folder.Get(), scratch, "", room);
  return std::move(filler.Snapshot);
}

void ReturnRoom(int scratch, const std::string& room, const RoomSnapshot& before) {
  UniqueFd folder(open(room.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.Valid()) throw RoomError(errno, "cannot open the room " + room);
  Returner returner{before, room, {}};
  returner.Return(scratch, folder.Get(), "");
  for (const auto& [key, entry] : before.Files) {
    if (returner.Seen.count(key) != 0) continue;
    // Deleted by the run. A folder above it that the run deleted too has
    // no entry of its own: its files go one by one.
    const std::string path = room + "/" + key;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(path.c_str()) != 0)
      throw RoomError(errno, "cannot remove " + path);
  }
}

}  // namespace velkor::platform
