#include "platform/FileAttributes.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>

#include "platform/UniqueFd.h"

namespace velkor::platform {
namespace {

timespec ToTimespec(const struct statx_timestamp& t) {
  timespec ts{};
  ts.tv_sec = t.tv_sec;
  ts.tv_nsec = t.tv_nsec;
  return ts;
}

int StatxNoFollow(const std::string& path, struct statx& st) {
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &st) != 0)
    return errno;
  return 0;
}

bool PointsToFolder(const std::string& path) {
  struct stat target {};
  return ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
}

}  // namespace

int ReadFileRecord(const std::string& path, FileRecord& record) {
  struct statx st {};
  if (int err = StatxNoFollow(path, st)) return err;
  const bool isLink = S_ISLNK(st.stx_mode);
  const bool isFolder = S_ISDIR(st.stx_mode) || (isLink && PointsToFolder(path));
  record.Attr = isFolder ? faDirectory : faArchive;
  if (isLink) record.Attr |= faSymLink;
  if (!isFolder && !isLink && !(st.stx_mode & S_IWUSR)) record.Attr |= faReadOnly;
  // The submission intake orders files by their creation time, so use the
  // birth time when the file system records one.
  record.CreationTime = (st.stx_mask & STATX_BTIME) ? ToTimespec(st.stx_btime) : ToTimespec(st.stx_ctime);
  record.LastAccessTime = ToTimespec(st.stx_atime);
  record.LastWriteTime = ToTimespec(st.stx_mtime);
  record.Size = isFolder ? 0 : st.stx_size;
  return 0;
}

int GetFileAttributes(const std::string& path, std::uint32_t& attr) {
  FileRecord record;
  if (int err = ReadFileRecord(path, record)) return err;
  attr = record.Attr;
  return 0;
}

int SetFileAttributes(const std::string& path, std::uint32_t attr) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno;
  if (S_ISLNK(st.st_mode)) return 0;
  mode_t mode = st.st_mode & 07777;
  if (S_ISDIR(st.st_mode))
    mode |= S_IRWXU;  // whatever the attributes, the owner may work inside
  else if (attr & faReadOnly)
    mode &= ~(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    mode |= S_IWUSR;
  if (mode == (st.st_mode & 07777)) return 0;
  return ::chmod(path.c_str(), mode) == 0 ? 0 : errno;
}

double FileTimeToLocalDateTime(const timespec& time) {
  constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 counted from 1899-12-30
  tm local{};
  const time_t seconds = time.tv_sec;
  if (!::localtime_r(&seconds, &local)) return 0;
  const double localSeconds = static_cast<double>(seconds) + static_cast<double>(local.tm_gmtoff);
  const double millis = static_cast<double>(time.tv_nsec / 1000000);
  return kUnixEpochDays + (localSeconds + millis / 1000.0) / 86400.0;
}

namespace {
void IgnoreSignal(int) {}
}  // namespace

// Our leases last two system calls, but a writer opening the file between
// them must not kill Velkor: SIGIO, unused otherwise, gets a handler that
// does nothing. A handler (not SIG_IGN) so that programs started later get
// the default again at exec. A handler someone else installed is left
// alone.
void SurviveLeaseBreaks() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction current {};
    if (::sigaction(SIGIO, nullptr, &current) != 0) return;
    if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) return;
    struct sigaction quiet {};
    quiet.sa_handler = IgnoreSignal;
    quiet.sa_flags = SA_RESTART;
    sigemptyset(&quiet.sa_mask);
    ::sigaction(SIGIO, &quiet, nullptr);
  });
}

int TryOpenExclusively(const std::string& path) {
  // O_NONBLOCK: neither wait for another holder's lease to be broken nor
  // hang on a named pipe.
  SurviveLeaseBreaks();
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.Valid()) return errno;
  // Linux opens files that others hold open without complaint. A write lease
  // is granted only while no other descriptor has the file open, so it is
  // the test for "opened without sharing".
  if (::fcntl(fd.Get(), F_SETLEASE, F_WRLCK) == 0) {
    ::fcntl(fd.Get(), F_SETLEASE, F_UNLCK);
    return 0;
  }
  if (errno == EAGAIN || errno == EBUSY) return EBUSY;
  // Leases need ownership (or CAP_LEASE) and a local file system; otherwise
  // at least honour advisory locks of cooperating programs.
  if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? EBUSY : 0;
  ::flock(fd.Get(), LOCK_UN);
  return 0;
}

mode_t CurrentUmask() {
  // umask() can only be read by setting it, which would race with other
  // threads creating files; the kernel reports it in the status file.
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  }
  return 022;
}

}  // namespace velkor::platform
