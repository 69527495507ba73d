#include "platform/RunRoom.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <set>
#include <system_error>
#include <vector>

#include "platform/SystemErrors.h"
#include "platform/UniqueFd.h"

namespace velkor::platform {
namespace {

constexpr std::uint64_t kPage = 4096;

// Told to the jury in a test's verdict, or when the jury's disk is full.
std::system_error RoomError(int err, const std::string& what) { return SystemError(err, what); }

std::string Join(const std::string& rel, const std::string& name) { return rel.empty() ? name : rel + "/" + name; }

std::uint64_t InPages(std::uint64_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

// The names in a folder (descriptor), "." and ".." left out.
std::vector<std::string> Names(int folder, const std::string& what) {
  const int copy = fcntl(folder, F_DUPFD_CLOEXEC, 0);
  DIR* dir = copy < 0 ? nullptr : fdopendir(copy);
  if (dir == nullptr) {
    const int err = errno;
    if (copy >= 0) close(copy);
    throw RoomError(err, "không đọc được danh sách file của " + what);
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
  if (err != 0) throw RoomError(err, "không đọc được danh sách file của " + what);
  return names;
}

UniqueFd OpenFolder(int parent, const std::string& name, const std::string& what) {
  UniqueFd fd(openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.Valid()) throw RoomError(errno, "không mở được " + what);
  return fd;
}

// A place in a folder tree, held by one descriptor however deep it lies:
// going up reopens the parent through "..", and makes sure it is the folder
// it came down from.
class FolderCursor {
 public:
  FolderCursor(int top, std::string what) : what_(std::move(what)) {
    fd_.Reset(fcntl(top, F_DUPFD_CLOEXEC, 0));
    if (!fd_.Valid()) throw RoomError(errno, "không mở được " + what_);
    here_ = Identify(fd_.Get());
  }

  int Fd() const { return fd_.Get(); }

  void Down(const std::string& name) {
    UniqueFd inner = OpenFolder(fd_.Get(), name, what_);
    above_.push_back(here_);
    here_ = Identify(inner.Get());
    fd_ = std::move(inner);
  }

  void Up() {
    UniqueFd parent = OpenFolder(fd_.Get(), "..", what_);
    const Id id = Identify(parent.Get());
    if (above_.empty() || id.Dev != above_.back().Dev || id.Ino != above_.back().Ino)
      throw RoomError(ESTALE, "một thư mục trong " + what_ + " bị chuyển đi trong lúc chép");
    here_ = id;
    above_.pop_back();
    fd_ = std::move(parent);
  }

 private:
  struct Id {
    dev_t Dev = 0;
    ino_t Ino = 0;
  };
  Id Identify(int fd) const {
    struct stat st {};
    if (fstat(fd, &st) != 0) throw RoomError(errno, "không mở được " + what_);
    return {st.st_dev, st.st_ino};
  }

  std::string what_;
  UniqueFd fd_;
  Id here_;
  std::vector<Id> above_;
};

// What a walk does with each entry of a tree.
class WalkVisitor {
 public:
  virtual ~WalkVisitor() = default;
  // Each entry of the folder the walk is in (descriptor), by its path from
  // the top (key); true takes the walk into it, when it is a folder.
  virtual bool Visit(int folder, const std::string& name, const struct stat& st, const std::string& key) = 0;
  // The walk went into the folder name, or came back from it into folder.
  virtual void Entered(const std::string& /*name*/) {}
  virtual void Left(int /*folder*/, const std::string& /*name*/) {}
};

// Walks the tree below top depth first, without recursion, each folder's
// names listed before its first entry is visited. A folder deeper than
// kMaxRoomDepth stops the walk with tooDeep.
void Walk(int top, const std::string& what, const std::string& tooDeep, WalkVisitor& visitor) {
  struct Level {
    std::vector<std::string> Names;
    std::size_t Next = 0;
    std::string Key;
  };
  FolderCursor cursor(top, what);
  std::vector<Level> levels;
  levels.push_back({Names(cursor.Fd(), what), 0, ""});
  for (;;) {
    Level& level = levels.back();
    if (level.Next == level.Names.size()) {
      if (levels.size() == 1) return;
      const std::string name = level.Key.substr(level.Key.find_last_of('/') + 1);
      levels.pop_back();
      cursor.Up();
      visitor.Left(cursor.Fd(), name);
      continue;
    }
    const std::string name = level.Names[level.Next++];
    struct stat st {};
    if (fstatat(cursor.Fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    const std::string key = Join(level.Key, name);
    if (!visitor.Visit(cursor.Fd(), name, st, key) || !S_ISDIR(st.st_mode)) continue;
    if (levels.size() > static_cast<std::size_t>(kMaxRoomDepth)) throw RoomRefused(tooDeep);
    cursor.Down(name);
    visitor.Entered(name);
    levels.push_back({Names(cursor.Fd(), what + "/" + key), 0, key});
  }
}

const std::string kRoomTooDeep = "Thư mục chạy có thư mục lồng quá " + std::to_string(kMaxRoomDepth) +
                                 " cấp: không chép vào lần chạy được";
const std::string kRunTooDeep = "Chương trình tạo thư mục lồng quá " + std::to_string(kMaxRoomDepth) +
                                " cấp trong thư mục chạy: không chép về";

// The mode of a copy: the permission bits only (no set-user-ID,
// set-group-ID or sticky bit), writable by its owner alone; always readable
// and writable by its owner, and runnable by its owner when anyone could
// run it (access lists that let the copier in are not copied). A folder is
// always open to its owner.
mode_t CopyMode(mode_t mode) { return (mode & 0755) | 0600 | ((mode & 0111) != 0 ? 0100 : 0); }
mode_t FolderMode(mode_t mode) { return (mode & 0755) | 0700; }

// Copies count bytes at offset between two files, at the same offset.
void CopyRange(int in, int out, off_t offset, off_t count, const std::string& what) {
  if (lseek(out, offset, SEEK_SET) != offset) throw RoomError(errno, "không chép được " + what);
  off_t at = offset;
  while (at < offset + count) {
    const ssize_t n = sendfile(out, in, &at, static_cast<std::size_t>(std::min<off_t>(offset + count - at, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw RoomError(errno, "không chép được " + what);
    // Neither side changes while it is copied (the run is over, or has not
    // begun): a copy that came out shorter lost the rest to a full disk,
    // and must not pass for the whole file.
    if (n == 0) throw RoomError(ENOSPC, "chép thiếu " + what);
  }
}

// Copies what a file holds, its holes left as holes: only the parts with
// data are written, and the size is set at the end.
void CopyContent(int in, int out, off_t size, const std::string& what) {
  off_t at = 0;
  while (at < size) {
    const off_t data = lseek(in, at, SEEK_DATA);
    if (data < 0 && errno == ENXIO) break;  // only a hole is left
    if (data < 0) {
      // A file system that cannot tell its holes: all of it is data.
      CopyRange(in, out, at, size - at, what);
      break;
    }
    off_t hole = lseek(in, data, SEEK_HOLE);
    if (hole < 0 || hole > size) hole = size;
    CopyRange(in, out, data, hole - data, what);
    at = hole;
  }
  if (ftruncate(out, size) != 0) throw RoomError(errno, "không chép được " + what);
}

// Copies a regular file between folders into a new file, with its mode and
// modification time; returns the new file's status.
struct stat CopyFile(int fromFolder, int toFolder, const std::string& name, const struct stat& from,
                     const std::string& what) {
  UniqueFd in(openat(fromFolder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!in.Valid()) throw RoomError(errno, "không đọc được " + what);
  UniqueFd out(openat(toFolder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!out.Valid()) throw RoomError(errno, "không tạo được " + what);
  CopyContent(in.Get(), out.Get(), from.st_size, what);
  // The mode as it was, whatever the copier's file-creation mask.
  const timespec times[2] = {from.st_atim, from.st_mtim};
  if (fchmod(out.Get(), CopyMode(from.st_mode)) != 0 || futimens(out.Get(), times) != 0)
    throw RoomError(errno, "không chép được " + what);
  struct stat made {};
  if (fstat(out.Get(), &made) != 0) throw RoomError(errno, "không chép được " + what);
  // A file system that reports the lack of room only when the file is
  // closed says so here.
  if (const int err = out.Close(); err != 0) throw RoomError(err, "không chép được " + what);
  return made;
}

// Removes name in folder (descriptor), a whole tree when it is a folder.
void RemoveEntry(int folder, const std::string& name, const std::string& what) {
  struct stat st {};
  if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return;
    throw RoomError(errno, "không thay được " + what);
  }
  if (S_ISDIR(st.st_mode)) {
    struct Remover : WalkVisitor {
      std::string What;
      bool Visit(int inner, const std::string& entry, const struct stat& s, const std::string&) override {
        if (S_ISDIR(s.st_mode)) return true;
        if (unlinkat(inner, entry.c_str(), 0) != 0) throw RoomError(errno, "không thay được " + What);
        return false;
      }
      void Left(int inner, const std::string& entry) override {
        if (unlinkat(inner, entry.c_str(), AT_REMOVEDIR) != 0) throw RoomError(errno, "không thay được " + What);
      }
    } remover;
    remover.What = what;
    Walk(OpenFolder(folder, name, what).Get(), what, kRoomTooDeep, remover);
  }
  if (unlinkat(folder, name.c_str(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) != 0)
    throw RoomError(errno, "không thay được " + what);
}

struct Measurer : WalkVisitor {
  RoomUsage Usage;
  bool Visit(int, const std::string&, const struct stat& st, const std::string&) override {
    if (S_ISDIR(st.st_mode)) {
      Usage.Bytes += kPage;
      ++Usage.Entries;
    } else if (S_ISREG(st.st_mode)) {
      Usage.Bytes += InPages(static_cast<std::uint64_t>(st.st_size));
      ++Usage.Entries;
    }
    return true;
  }
};

struct Filler : WalkVisitor {
  Filler(int scratch, int uid, int gid, const std::string& room)
      : Uid(uid), Gid(gid), Room(room), To(scratch, "bản sao của " + room + " trong lần chạy") {}

  int Uid, Gid;
  std::string Room;
  FolderCursor To;
  RoomSnapshot Snapshot;

  bool Visit(int from, const std::string& name, const struct stat& st, const std::string& key) override {
    const std::string path = Room + "/" + key;
    if (S_ISDIR(st.st_mode)) {
      if (mkdirat(To.Fd(), name.c_str(), 0700) != 0) throw RoomError(errno, "không tạo được " + path + " cho lần chạy");
      UniqueFd inner = OpenFolder(To.Fd(), name, path + " cho lần chạy");
      if (fchmod(inner.Get(), FolderMode(st.st_mode)) != 0 || !Own(inner.Get()))
        throw RoomError(errno, "không chuẩn bị được " + path + " cho lần chạy");
      return true;
    } else if (S_ISREG(st.st_mode)) {
      const struct stat made = CopyFile(from, To.Fd(), name, st, path);
      if (Uid >= 0 && fchownat(To.Fd(), name.c_str(), Uid, Gid, AT_SYMLINK_NOFOLLOW) != 0)
        throw RoomError(errno, "không chuẩn bị được " + path + " cho lần chạy");
      struct stat now = made;
      if (Uid >= 0) fstatat(To.Fd(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW);
      Snapshot.Files[key] = {now.st_ino, now.st_ctim.tv_sec, now.st_ctim.tv_nsec};
    }
    return false;
  }
  void Entered(const std::string& name) override { To.Down(name); }
  void Left(int, const std::string&) override { To.Up(); }

  bool Own(int fd) const { return Uid < 0 || fchown(fd, Uid, Gid) == 0; }
};

// Whether a file of the run's copy is still the one put there.
bool Unchanged(const RoomSnapshot& before, const std::string& key, const struct stat& st) {
  const auto was = before.Files.find(key);
  return was != before.Files.end() && was->second.Inode == st.st_ino && was->second.ChangeSec == st.st_ctim.tv_sec &&
         was->second.ChangeNsec == st.st_ctim.tv_nsec;
}

// What would come back, counted before anything is: the tree's depth, its
// files' full sizes and its folders, each in whole pages, and no file with
// several names.
struct Surveyor : WalkVisitor {
  explicit Surveyor(const RoomSnapshot& before) : Before(before) {}
  const RoomSnapshot& Before;
  std::uint64_t Bytes = 0;

  bool Visit(int, const std::string&, const struct stat& st, const std::string& key) override {
    if (S_ISDIR(st.st_mode)) {
      Bytes += kPage;
      return true;
    }
    if (!S_ISREG(st.st_mode) || Unchanged(Before, key, st)) return false;
    if (st.st_nlink > 1)
      throw RoomRefused("Chương trình tạo file có nhiều tên (liên kết cứng) trong thư mục chạy: không chép về");
    Bytes += InPages(static_cast<std::uint64_t>(st.st_size));
    return false;
  }
};

struct Returner : WalkVisitor {
  Returner(int room, const std::string& roomPath, const RoomSnapshot& before)
      : Before(before), Room(roomPath), To(room, roomPath) {}

  const RoomSnapshot& Before;
  std::string Room;
  FolderCursor To;
  std::set<std::string> Seen;

  bool Visit(int from, const std::string& name, const struct stat& st, const std::string& key) override {
    const std::string path = Room + "/" + key;
    Seen.insert(key);
    if (S_ISDIR(st.st_mode)) {
      struct stat there {};
      if (fstatat(To.Fd(), name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(there.st_mode))
        RemoveEntry(To.Fd(), name, path);
      // Velkor must be able to fill and later empty it, whatever mode the run gave it.
      if (mkdirat(To.Fd(), name.c_str(), FolderMode(st.st_mode)) != 0 && errno != EEXIST)
        throw RoomError(errno, "không tạo được " + path);
      return true;
    }
    if (S_ISREG(st.st_mode) && !Unchanged(Before, key, st)) {
      RemoveEntry(To.Fd(), name, path);
      CopyFile(from, To.Fd(), name, st, path);
    }
    // Anything else the run made stays with it.
    return false;
  }
  void Entered(const std::string& name) override { To.Down(name); }
  void Left(int, const std::string&) override { To.Up(); }
};

UniqueFd OpenRoom(const std::string& room) {
  UniqueFd folder(open(room.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.Valid()) throw RoomError(errno, "không mở được thư mục chạy " + room);
  return folder;
}

// The most the run could write: the size of its scratch file system.
std::uint64_t ScratchCapacity(int scratch) {
  struct statfs fs {};
  if (fstatfs(scratch, &fs) != 0) throw RoomError(errno, "không đo được bản sao thư mục chạy của lần chạy");
  return static_cast<std::uint64_t>(fs.f_blocks) * static_cast<std::uint64_t>(fs.f_bsize);
}

// The room left on the jury's disk (folder) for what comes back, beyond
// the file system's reserve; none known when it cannot be measured (the
// copy then tells).
std::uint64_t FreeSpace(int folder) {
  struct statvfs fs {};
  if (fstatvfs(folder, &fs) != 0) return UINT64_MAX;
  return static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_frsize);
}

}  // namespace

RoomUsage MeasureRoom(const std::string& room) {
  Measurer measurer;
  Walk(OpenRoom(room).Get(), room, kRoomTooDeep, measurer);
  return measurer.Usage;
}

RoomSnapshot FillRoom(const std::string& room, int scratch, int uid, int gid) {
  Filler filler(scratch, uid, gid, room);
  Walk(OpenRoom(room).Get(), room, kRoomTooDeep, filler);
  return std::move(filler.Snapshot);
}

void ReturnRoom(int scratch, const std::string& room, const RoomSnapshot& before, std::uint64_t honestBytes) {
  const UniqueFd folder = OpenRoom(room);
  const std::string copy = "bản sao của " + room + " trong lần chạy";
  Surveyor survey(before);
  Walk(scratch, copy, kRunTooDeep, survey);
  if (const std::uint64_t bound = ScratchCapacity(scratch); survey.Bytes > bound)
    throw RoomRefused("Chương trình để lại trong thư mục chạy " + std::to_string(survey.Bytes) +
                      " byte, quá giới hạn " + std::to_string(bound) + " byte của lần chạy: không chép về");
  // Within the run's bound, yet more than an honest run leaves and more
  // than the jury's disk can take: that fails this test, not the judging
  // of everyone after it.
  if (const std::uint64_t free = FreeSpace(folder.Get()); survey.Bytes > honestBytes && survey.Bytes > free)
    throw RoomRefused("Chương trình để lại trong thư mục chạy " + std::to_string(survey.Bytes) +
                      " byte, nhiều hơn " + std::to_string(free) +
                      " byte còn trống trên đĩa của thư mục làm việc: không chép về");

  Returner returner(folder.Get(), room, before);
  Walk(scratch, copy, kRunTooDeep, returner);
  for (const auto& [key, entry] : before.Files) {
    if (returner.Seen.count(key) != 0) continue;
    // Deleted by the run. A folder above it that the run deleted too has
    // no entry of its own: its files go one by one.
    const std::string path = room + "/" + key;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(path.c_str()) != 0)
      throw RoomError(errno, "không xóa được " + path);
  }
}

}  // namespace velkor::platform
