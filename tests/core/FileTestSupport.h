// Temporary folders and an unprivileged helper for the file tests.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace velkor::testing {

namespace fs = std::filesystem;

// A fresh folder under TMPDIR, removed afterwards whatever its permissions.
class TempFolder {
 public:
  TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/velkor-test-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    // Reachable by the unprivileged child of RunUnprivileged.
    ::chmod(path_.c_str(), 0755);
  }
  ~TempFolder() {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
      if (it->is_directory(ec) && !it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

 private:
  std::string path_;
};

inline void WriteText(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

inline mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// Runs work in a child process under an account without privileges (nobody
// when the tests run as root, the test's own account otherwise) and returns
// the text work produced (an exception's text too); nullopt when no such
// child can be started, so the caller can skip.
inline std::optional<std::string> RunUnprivileged(const std::function<std::string()>& work,
                                                  const char* account = "nobody") {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return std::nullopt;
  const passwd* pw = ::geteuid() == 0 ? ::getpwnam(account) : nullptr;
  if (::geteuid() == 0 && !pw) return std::nullopt;
  const uid_t uid = pw ? pw->pw_uid : 0;
  const gid_t gid = pw ? pw->pw_gid : 0;
  const pid_t pid = ::fork();
  if (pid < 0) return std::nullopt;
  if (pid == 0) {
    ::close(pipeFds[0]);
    if (pw && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) ::_exit(2);
    std::string out;
    try {
      out = work();
    } catch (const std::exception& e) {
      out = std::string("exception: ") + e.what();
    }
    const ssize_t written = ::write(pipeFds[1], out.data(), out.size());
    ::_exit(written == static_cast<ssize_t>(out.size()) ? 0 : 3);
  }
  ::close(pipeFds[1]);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 2) return std::nullopt;  // could not drop privileges
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed with status " + std::to_string(status);
  return out;
}

}  // namespace velkor::testing
