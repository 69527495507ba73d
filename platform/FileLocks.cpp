#include "platform/FileLocks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace velkor::platform {

bool TryLockExclusive(int Fd) {
  for (;;) {
    if (::flock(Fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EINTR) return false;
  }
}

TFileLock::TResult TFileLock::Take(const std::string& Path) {
  Release();
  FError = 0;
  constexpr int kFlags = O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  UniqueFd fd(::open(Path.c_str(), O_RDWR | kFlags, 0644));
  // Another account's lock file opens for reading only; that is enough to
  // lock it.
  if (!fd.Valid() && errno == EACCES) fd.Reset(::open(Path.c_str(), O_RDONLY | kFlags));
  struct stat st {};
  if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) {
    FError = errno;
    return flFailed;
  }
  if (!S_ISREG(st.st_mode)) {
    FError = EINVAL;
    return flFailed;
  }
  if (!TryLockExclusive(fd.Get())) {
    if (errno == EWOULDBLOCK) return flHeldByOther;
    FError = errno;
    return flFailed;
  }
  // Another account must be able to open the file to find it held, whatever
  // the umask it was made under.
  if (st.st_uid == ::geteuid() && (st.st_mode & 07777) != 0644) static_cast<void>(::fchmod(fd.Get(), 0644));
  // The id serves messages only: a file that cannot take it still locks.
  const std::string pid = std::to_string(::getpid()) + "\n";
  const bool noted = ::ftruncate(fd.Get(), 0) == 0 && ::pwrite(fd.Get(), pid.data(), pid.size(), 0) > 0;
  static_cast<void>(noted);
  FFd = std::move(fd);
  return flAcquired;
}

bool TFileLock::SameFileAs(const struct stat& Other) const {
  struct stat mine {};
  return FFd.Valid() && ::fstat(FFd.Get(), &mine) == 0 && mine.st_dev == Other.st_dev && mine.st_ino == Other.st_ino;
}

bool TFileLock::StillAt(const std::string& Path) const {
  struct stat there {};
  return ::lstat(Path.c_str(), &there) == 0 && SameFileAs(there);
}

bool LockIsHeld(const std::string& Path) {
  const UniqueFd fd(::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!fd.Valid()) return errno != ENOENT;
  if (TryLockExclusive(fd.Get())) return false;  // closing the file lets it go
  return true;
}

pid_t LockHolder(const std::string& Path) {
  const UniqueFd fd(::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!fd.Valid()) return 0;
  char text[24] = {};
  const ssize_t n = ::pread(fd.Get(), text, sizeof text - 1, 0);
  if (n <= 0) return 0;
  pid_t pid = 0;
  for (const char c : std::string_view(text, static_cast<std::size_t>(n))) {
    if (c == '\n') break;
    if (c < '0' || c > '9' || pid > 100000000) return 0;
    pid = pid * 10 + (c - '0');
  }
  return pid;
}

}  // namespace velkor::platform
