#include "platform/ShellFileOps.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/SystemErrors.h"
#include "platform/UniqueFd.h"

namespace velkor::platform {
namespace {

namespace fs = std::filesystem;

int StatusFromErrno(int err) { return err == 0 ? 0 : -static_cast<int>(ErrorCodeFromErrno(err)); }

// "dir/" names the folder a link points to, "dir" the link itself: every
// routine here works on the entry, never through a link.
std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool SameEntry(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when folder `inner` is `outer` or lies below it.
bool IsWithin(const fs::path& inner, const fs::path& outer) {
  std::error_code ec1, ec2;
  const fs::path in = fs::weakly_canonical(inner, ec1);
  const fs::path out = fs::canonical(outer, ec2);
  if (ec1 || ec2) return false;
  auto [o, i] = std::mismatch(out.begin(), out.end(), in.begin(), in.end());
  return o == out.end();
}

std::vector<std::string> EntryNames(const fs::path& folder, int& err) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  err = ec ? ec.value() : 0;
  return names;
}

// Opens the folder Name of the folder Parent for emptying, never through a
// link. Windows deletes read-only folders without asking; on Linux their
// entries can only be removed once the folder is writable again, so its
// owner permissions are completed first. -1 with errno set on failure.
int OpenFolderToEmpty(int Parent, const char* Name) {
  struct stat st {};
  if (::fstatat(Parent, Name, &st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return -1;
  }
  if ((st.st_mode & S_IRWXU) != S_IRWXU) ::fchmodat(Parent, Name, (st.st_mode & 07777) | S_IRWXU, 0);
  return ::openat(Parent, Name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Deletes everything but the sub-folders in the open folder Folder and
// gives their names in SubFolders; 0 or the errno of the first failure.
int DeleteFilesIn(int Folder, std::vector<std::string>& SubFolders) {
  const int listFd = ::openat(Folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return errno;
  DIR* dir = ::fdopendir(listFd);
  if (dir == nullptr) {
    const int err = errno;
    ::close(listFd);
    return err;
  }
  std::vector<std::string> files;
  int err = 0;
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(dir);
    if (e == nullptr) {
      err = errno;
      break;
    }
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    bool isFolder = e->d_type == DT_DIR;
    if (e->d_type == DT_UNKNOWN) {
      struct stat st {};
      isFolder = ::fstatat(Folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    }
    (isFolder ? SubFolders : files).push_back(name);
  }
  ::closedir(dir);
  if (err) return err;
  for (const std::string& name : files)
    if (::unlinkat(Folder, name.c_str(), 0) != 0 && errno != ENOENT) return errno;
  return 0;
}

// Removes path and everything below it; 0 or the errno of the first failure.
//
// A judged program can leave a tree behind in its room that is far deeper
// than a path may be long (PATH_MAX) or a recursion may go. So the tree is
// walked through folder handles, one folder open at a time, going down by
// name and back up through "..", which must be the very folder we came
// from; no path longer than the one given is ever formed.
int DeleteTree(const fs::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return (errno == ENOENT || errno == ENOTDIR) ? 0 : errno;
  if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0 ? 0 : errno;
  if ((st.st_mode & S_IRWXU) != S_IRWXU) ::chmod(path.c_str(), (st.st_mode & 07777) | S_IRWXU);

  struct Level {
    std::string Name;                  // in the folder above
    dev_t Dev = 0;                     // identity of the folder, to check the way back up
    ino_t Ino = 0;
    std::vector<std::string> Pending;  // sub-folders still to delete
  };
  auto enter = [](UniqueFd& folder, std::string name, std::vector<Level>& levels) {
    Level level;
    level.Name = std::move(name);
    struct stat self {};
    if (::fstat(folder.Get(), &self) != 0) return errno;
    level.Dev = self.st_dev;
    level.Ino = self.st_ino;
    if (int err = DeleteFilesIn(folder.Get(), level.Pending)) return err;
    levels.push_back(std::move(level));
    return 0;
  };

  UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folder.Valid()) return errno;
  std::vector<Level> levels;
  if (int err = enter(folder, "", levels)) return err;
  while (!levels.back().Pending.empty() || levels.size() > 1) {
    if (!levels.back().Pending.empty()) {
      std::string name = std::move(levels.back().Pending.back());
      levels.back().Pending.pop_back();
      UniqueFd child(OpenFolderToEmpty(folder.Get(), name.c_str()));
      if (!child.Valid()) {
        if (errno == ENOENT) continue;
        return errno;
      }
      folder = std::move(child);
      if (int err = enter(folder, std::move(name), levels)) return err;
      continue;
    }
    // This folder is empty: back up to its parent and remove it there.
    UniqueFd parent(::openat(folder.Get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.Valid()) return errno;
    struct stat up {};
    if (::fstat(parent.Get(), &up) != 0) return errno;
    const Level& above = levels[levels.size() - 2];
    if (up.st_dev != above.Dev || up.st_ino != above.Ino) return EBUSY;  // moved while we worked
    const std::string name = std::move(levels.back().Name);
    levels.pop_back();
    folder = std::move(parent);
    if (::unlinkat(folder.Get(), name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) return errno;
  }
  folder.Reset();
  return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

void CopyTimes(const fs::path& to, const struct stat& from) {
  // Like the Windows copy: the last write time travels, access is "now".
  const timespec times[2] = {{0, UTIME_OMIT}, from.st_mtim};
  ::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// What a copy keeps of its original's mode: no set-ID or sticky bit, no
// write for group or others.
constexpr mode_t kCopyModeBits = 0755;

// Copies from to a new path to; 0 or the errno of the first failure.
int CopyTree(const fs::path& from, const fs::path& to) {
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0) return errno;
  std::error_code ec;
  if (S_ISLNK(st.st_mode)) {
    fs::copy_symlink(from, to, ec);
    return ec.value();
  }
  if (S_ISREG(st.st_mode)) {
    fs::copy_file(from, to, ec);
    if (ec) return ec.value();
  } else if (S_ISDIR(st.st_mode)) {
    // Filled while still writable; its own permissions come last.
    if (::mkdir(to.c_str(), S_IRWXU) != 0) return errno;
    int err = 0;
    for (const std::string& name : EntryNames(from, err))
      if (int e = CopyTree(from / name, to / name)) return e;
    if (err) return err;
  } else {
    return EINVAL;  // devices, pipes and sockets are no files to copy
  }
  // A copy is Velkor's own file (root's, for a root Velkor): a set-user-ID
  // bit would let the contestant's program run with Velkor's rights, and a
  // write bit for others would let any account change what is judged.
  if (::chmod(to.c_str(), st.st_mode & kCopyModeBits) != 0) return errno;
  CopyTimes(to, st);
  return 0;
}

}  // namespace

std::string MakeStagingFolder(const std::string& folder) {
  std::string pattern = (fs::path(folder) / ".velkor-XXXXXX").string();
  return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

namespace {

// A private folder beside the target, on its file system, where the new item
// is built and where a replaced target is put aside until it is deleted.
class StagingFolder {
 public:
  explicit StagingFolder(const fs::path& folder) {
    path_ = MakeStagingFolder(folder.string());
    if (path_.empty()) err_ = errno;
  }
  ~StagingFolder() {
    if (!path_.empty()) DeleteTree(path_);
  }
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;

  int Error() const { return err_; }
  fs::path NewItem() const { return path_ / "new"; }
  fs::path Replaced() const { return path_ / "replaced"; }

 private:
  fs::path path_;
  int err_ = 0;
};

// rename(2), also for a write-protected folder. Linux lets a folder move to
// another parent only when the folder itself is writable (its ".." entry
// changes); Windows has no such rule, so a read-only folder copied here, or
// an existing one being replaced, would otherwise be refused to everyone but
// root. Such a folder is opened for its owner just for the rename and gets
// its own permissions back at once. 0 or the errno of the rename.
int RenameEntry(const fs::path& from, const fs::path& to) {
  if (::rename(from.c_str(), to.c_str()) == 0) return 0;
  const int err = errno;
  struct stat st {};
  if (err != EACCES || ::lstat(from.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || (st.st_mode & S_IWUSR))
    return err;
  const mode_t mode = st.st_mode & 07777;
  if (::chmod(from.c_str(), mode | S_IWUSR) != 0) return err;
  if (::rename(from.c_str(), to.c_str()) == 0) {
    ::chmod(to.c_str(), mode);
    return 0;
  }
  const int again = errno;
  ::chmod(from.c_str(), mode);
  return again;
}

// Renames the finished item over target. rename(2) replaces a file or an
// empty folder atomically; any other existing target is first put aside and
// comes back if the item cannot take its place.
int PlaceOver(const fs::path& item, const fs::path& target, const fs::path& aside) {
  const int err = RenameEntry(item, target);
  if (err == 0) return 0;
  if (err != EISDIR && err != ENOTDIR && err != ENOTEMPTY && err != EEXIST) return err;
  if (int e = RenameEntry(target, aside)) return e;
  if (int e = RenameEntry(item, target)) {
    RenameEntry(aside, target);
    return e;
  }
  return 0;
}

// What copy and move have in common: the resolved source and target.
struct Transfer {
  fs::path Source;
  fs::path Target;
  struct stat SourceStat {};
  bool TargetIsSource = false;
  bool SameFileOtherName = false;  // a second hard link of the source
};

int PrepareTransfer(const std::string& source, const std::string& destDir, const std::string& newName,
                    Transfer& t) {
  t.Source = WithoutTrailingSlashes(source);
  const fs::path name = newName.empty() ? t.Source.filename() : fs::path(newName);
  // The new name is one name inside destDir, never a way out of it.
  if (t.Source.empty() || destDir.empty() || name.empty() || name == "." || name == ".." ||
      newName.find('/') != std::string::npos)
    return EINVAL;
  if (::lstat(t.Source.c_str(), &t.SourceStat) != 0) return errno;
  t.Target = fs::path(destDir) / name;
  std::error_code ec;
  fs::create_directories(t.Target.parent_path(), ec);
  if (ec) return ec.value();
  struct stat target {};
  if (::lstat(t.Target.c_str(), &target) == 0 && SameEntry(target, t.SourceStat)) {
    const fs::path a = fs::canonical(t.Source.parent_path().empty() ? "." : t.Source.parent_path(), ec);
    const fs::path b = fs::canonical(t.Target.parent_path(), ec);
    t.TargetIsSource = a / t.Source.filename() == b / t.Target.filename();
    t.SameFileOtherName = !t.TargetIsSource;
  }
  // A folder cannot take itself in, at any depth.
  if (S_ISDIR(t.SourceStat.st_mode) && !t.TargetIsSource && IsWithin(t.Target.parent_path(), t.Source))
    return EINVAL;
  return 0;
}

}  // namespace

int ShellDelete(const std::string& path) {
  // "." and ".." are resolved by name first, as Windows does: "a/b/.." is
  // "a" itself, and whatever resolves to the root or the current folder is
  // refused.
  const std::string p = WithoutTrailingSlashes(fs::path(path).lexically_normal().string());
  if (p.empty() || p == "/" || p == "." || p == "..") return StatusFromErrno(EINVAL);
  return StatusFromErrno(DeleteTree(p));
}

int ShellCopy(const std::string& source, const std::string& destDir, const std::string& newName) {
  Transfer t;
  if (int err = PrepareTransfer(source, destDir, newName, t)) return StatusFromErrno(err);
  if (t.TargetIsSource || t.SameFileOtherName) return 0;  // the target already is this content
  StagingFolder stage(t.Target.parent_path());
  if (stage.Error()) return StatusFromErrno(stage.Error());
  int err = CopyTree(t.Source, stage.NewItem());
  if (!err) err = PlaceOver(stage.NewItem(), t.Target, stage.Replaced());
  return StatusFromErrno(err);
}

int ShellMove(const std::string& source, const std::string& destDir, const std::string& newName) {
  Transfer t;
  if (int err = PrepareTransfer(source, destDir, newName, t)) return StatusFromErrno(err);
  if (t.TargetIsSource) return 0;
  if (t.SameFileOtherName) return StatusFromErrno(::unlink(t.Source.c_str()) == 0 ? 0 : errno);
  // On one file system a plain rename is the whole move when the target is
  // missing, a file, or an empty folder: it replaces the target atomically,
  // so nothing is lost either way. Everything else takes the staged path.
  if (::rename(t.Source.c_str(), t.Target.c_str()) == 0) return 0;
  StagingFolder stage(t.Target.parent_path());
  if (stage.Error()) return StatusFromErrno(stage.Error());
  bool copied = false;
  if (int e = RenameEntry(t.Source, stage.NewItem())) {
    if (e != EXDEV) return StatusFromErrno(e);
    if (int err = CopyTree(t.Source, stage.NewItem())) return StatusFromErrno(err);
    copied = true;
  }
  int err = PlaceOver(stage.NewItem(), t.Target, stage.Replaced());
  if (err && !copied) RenameEntry(stage.NewItem(), t.Source);  // give the source back
  // Across file systems the source goes only after its copy is in place. A
  // source that then resists deletion makes the move fail, as it did not
  // complete; the target already holds the full copy. The source leaves its
  // place whole, by a rename on its own file system, before anything in it
  // is deleted: a deletion that stopped half-way where the source stands
  // would leave part of it, and the retry that follows would copy that part
  // over the full copy. What cannot be deleted stays in a hidden folder
  // beside the source.
  if (!err && copied) {
    StagingFolder old(t.Source.parent_path().empty() ? fs::path(".") : t.Source.parent_path());
    err = old.Error();
    if (!err) err = RenameEntry(t.Source, old.Replaced());
    if (!err) err = DeleteTree(old.Replaced());
  }
  return StatusFromErrno(err);
}

}  // namespace velkor::platform
