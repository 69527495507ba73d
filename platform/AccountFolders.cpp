#include "platform/AccountFolders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace velkor::platform {
namespace {

std::string EnvOrEmpty(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Reads XDG_DOCUMENTS_DIR from user-dirs.dirs: a shell-style assignment whose
// value is "$HOME/..." or an absolute path.
std::string DocumentsFromUserDirs(const std::string& home) {
  std::string config = EnvOrEmpty("XDG_CONFIG_HOME");
  if (config.empty()) config = home + "/.config";
  std::ifstream in(config + "/user-dirs.dirs");
  std::string line;
  const std::string key = "XDG_DOCUMENTS_DIR=";
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    if (!value.empty() && value.front() == '/') return WithoutTrailingSlash(value);
  }
  return {};
}

std::string DataHome(const std::string& home) {
  std::string data = EnvOrEmpty("XDG_DATA_HOME");
  return data.empty() ? home + "/.local/share" : WithoutTrailingSlash(data);
}

// Base/Name, created with mode 0700 when missing; "" unless it is a real
// folder owned by this user with no access for others.
std::string PrivateFolder(const std::string& Base, const std::string& Name) {
  const std::string path = Base + "/" + Name;
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return {};
  struct stat st{};
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return {};
  if ((st.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0) return {};
  return path;
}

}  // namespace

std::string HomeFolder() {
  std::string home = EnvOrEmpty("HOME");
  if (!home.empty()) return WithoutTrailingSlash(home);
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
    return WithoutTrailingSlash(found->pw_dir);
  return {};
}

std::string SpecialFolderPath(int csidl) {
  const std::string home = HomeFolder();
  if (home.empty()) return {};
  std::string path;
  switch (csidl & 0xFF) {
    case kFolderDocuments:
      path = DocumentsFromUserDirs(home);
      if (path.empty()) path = home + "/Documents";
      break;
    case kFolderRoamingAppData: {
      std::string config = EnvOrEmpty("XDG_CONFIG_HOME");
      path = config.empty() ? home + "/.config" : WithoutTrailingSlash(config);
      break;
    }
    case kFolderLocalAppData:
    case kFolderCommonAppData:
      path = DataHome(home);
      break;
    default:
      return {};
  }
  if (csidl & kFolderFlagCreate) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) return {};
  }
  return path;
}

std::string TemporaryFolder() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir && !*tmpdir) return {};
  return PrivateFolder(tmpdir ? WithoutTrailingSlash(tmpdir) : std::string("/tmp"),
                       "velkor-" + std::to_string(geteuid()));
}

namespace {
bool IsOwnClosedFolder(const std::string& Path) {
  struct stat st{};
  return !Path.empty() && Path.front() == '/' && lstat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}
}  // namespace

std::string SessionRuntimeFolder() { return "/run/user/" + std::to_string(geteuid()); }

std::string RuntimeFolder() {
  const std::string runtime = EnvOrEmpty("XDG_RUNTIME_DIR");
  if (IsOwnClosedFolder(runtime)) return PrivateFolder(WithoutTrailingSlash(runtime), "velkor");
  // A terminal without the variable (su, a plain ssh login) while the
  // account's desktop session runs must still find that session's copy.
  if (IsOwnClosedFolder(SessionRuntimeFolder())) return PrivateFolder(SessionRuntimeFolder(), "velkor");
  return PrivateFolder("/tmp", "velkor-" + std::to_string(geteuid()));
}

}  // namespace velkor::platform
