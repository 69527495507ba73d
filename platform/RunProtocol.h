// What the keeper (ProcessJobs.cpp) and the run's init (RunInit.cpp) agree
// on. The init is a program of its own, "velkor-run-init", installed beside
// Velkor.
//
// Descriptors when the init starts:
//   0, 1, 2  the program's standard streams
//   3        the "go" channel: the keeper writes one GoMessage, then closes
//   4        start failures: a StartReport when the program cannot be started;
//            end of file once it has been exec'ed
//   5        the program's wait status (an int), written when it ends
// Arguments: init-path, working folder ("" keeps it), nice increment, the
// program's path, then the program's argv. The environment is the program's.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace velkor::platform::run {

inline constexpr int kGoFd = 3;
inline constexpr int kErrorsFd = 4;
inline constexpr int kStatusFd = 5;

inline constexpr int kArgWorkingDir = 1;
inline constexpr int kArgNice = 2;
inline constexpr int kArgProgram = 3;
inline constexpr int kArgProgramArgv = 4;

enum StartStage : std::int32_t { kStageInit = 1, kStageFork, kStageChdir, kStageExec };

struct StartReport {
  std::int32_t Stage;
  std::int32_t Errno;
};

// Whole-record reads and writes over the run's pipes, retried when a signal
// interrupts them; async-signal-safe. ReadFull is false at end of file.
inline bool ReadFull(int fd, void* buf, std::size_t size) {
  auto* p = static_cast<char*>(buf);
  while (size > 0) {
    const ssize_t n = read(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

inline void WriteFull(int fd, const void* buf, std::size_t size) {
  auto* p = static_cast<const char*>(buf);
  while (size > 0) {
    const ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
}

struct GoMessage {
  std::uint64_t ProcessMemoryLimit;  // bytes of data per process; 0 = none
};

}  // namespace velkor::platform::run
