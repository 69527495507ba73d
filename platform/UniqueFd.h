// A file descriptor owned by one object and closed with it.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

namespace velkor::platform {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes the descriptor now and says whether the close succeeded: some
  // file systems report a failed write only then. 0, or an errno.
  int Close() {
    if (fd_ < 0) return 0;
    const int r = ::close(std::exchange(fd_, -1));
    return r == 0 || errno == EINTR ? 0 : errno;
  }

 private:
  int fd_ = -1;
};

// Writes all of Bytes to Fd, going on after short writes and interrupts;
// false when a write fails.
inline bool WriteAll(int Fd, std::string_view Bytes) {
  while (!Bytes.empty()) {
    const ssize_t n = ::write(Fd, Bytes.data(), Bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    Bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace velkor::platform
