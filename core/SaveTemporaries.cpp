#include "core/SaveTemporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "core/NameCompare.h"
#include "platform/FileLocks.h"

namespace velkor {
namespace {

constexpr std::size_t kRandomPartLength = 6;

// How often MakeHeldTemporary makes a new file when a clean-up took the
// one it had just made; one retry is all a real race ever needs.
constexpr int kHeldTemporaryTries = 16;

bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool SameFile(const struct stat& A, const struct stat& B) { return A.st_dev == B.st_dev && A.st_ino == B.st_ino; }

// Whether the file Fd is what Name in the folder DirFd (or, with DirFd
// AT_FDCWD, the path Name) stands for.
bool StillNamed(int DirFd, const char* Name, int Fd) {
  struct stat named {}, open {};
  return ::fstatat(DirFd, Name, &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(Fd, &open) == 0 && SameFile(named, open);
}

}  // namespace

std::string SaveTemporaryTemplate(std::string_view Name) { return "." + std::string(Name) + ".XXXXXX"; }

bool IsTemporaryOf(std::string_view FileName, std::string_view Stem, bool ExactCase) {
  if (FileName.size() != Stem.size() + 1 + kRandomPartLength) return false;
  const std::string_view stem = FileName.substr(0, Stem.size());
  if (ExactCase ? stem != Stem : !SameText(stem, Stem)) return false;
  if (FileName[Stem.size()] != '.') return false;
  for (const char c : FileName.substr(Stem.size() + 1))
    if (!IsAsciiAlnum(c)) return false;
  return true;
}

bool IsSaveTemporaryOf(std::string_view FileName, std::string_view Name, bool ExactCase) {
  return FileName.starts_with('.') && IsTemporaryOf(FileName.substr(1), Name, ExactCase);
}

void RemoveStaleTemporaries(const std::string& Folder, const std::function<bool(std::string_view)>& Matches) {
  DIR* dir = ::opendir(Folder.empty() ? "." : Folder.c_str());
  if (dir == nullptr) return;
  const int dirFd = ::dirfd(dir);
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (!Matches(name)) continue;
    struct stat st {};
    if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (now - st.st_mtime < kStaleTemporaryAge.count()) continue;
    ::unlinkat(dirFd, entry->d_name, 0);
  }
  ::closedir(dir);
}

platform::UniqueFd MakeHeldTemporary(std::string& Path) {
  const std::string pattern = Path;
  for (int attempt = 0; attempt < kHeldTemporaryTries; ++attempt) {
    std::string path = pattern;
    platform::UniqueFd fd(::mkostemp(path.data(), O_CLOEXEC));
    if (!fd.Valid()) return fd;
    // Between mkostemp and the lock, another save's clean-up may take the
    // file for a crash's leftover and delete it: the file made is kept
    // only when it still stands under its name once it is locked.
    if (platform::TryLockExclusive(fd.Get()) && StillNamed(AT_FDCWD, path.c_str(), fd.Get())) {
      Path = std::move(path);
      return fd;
    }
  }
  errno = EAGAIN;
  return {};
}

void RemoveUnheldTemporaries(const std::string& Folder, const std::function<bool(std::string_view)>& Matches) {
  DIR* dir = ::opendir(Folder.empty() ? "." : Folder.c_str());
  if (dir == nullptr) return;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (!Matches(entry->d_name)) continue;
    const platform::UniqueFd fd(
        ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    // Held: a save in progress writes it. Removed while we hold the lock,
    // and only when the name still stands for the file we locked.
    if (platform::TryLockExclusive(fd.Get()) && StillNamed(dirFd, entry->d_name, fd.Get()))
      ::unlinkat(dirFd, entry->d_name, 0);
  }
  ::closedir(dir);
}

}  // namespace velkor
