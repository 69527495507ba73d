#include "platform/Registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/AccountFolders.h"
#include "platform/SystemErrors.h"

namespace velkor::platform {
namespace {

constexpr const char* kStoreFolder = "velkor-registry";
constexpr std::string_view kString = "sz";
constexpr std::string_view kInteger = "dword";

bool SameAsciiText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// A key or value name must stay one entry of its folder.
void CheckName(std::string_view name, std::string_view what) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos)
    throw ERegistryError("Tên " + std::string(what) + " registry không hợp lệ: \"" + std::string(name) + "\"");
}

std::vector<std::string_view> KeyComponents(std::string_view key) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= key.size()) {
    std::size_t end = key.find('\\', start);
    if (end == std::string_view::npos) end = key.size();
    if (end > start) {
      parts.push_back(key.substr(start, end - start));
      CheckName(parts.back(), "khóa");
    }
    start = end + 1;
  }
  return parts;
}

bool IsType(const std::string& path, mode_t type) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

// The entry of folder called name: as written when it exists with the
// wanted type, else the first such entry equal ignoring ASCII case (in byte
// order, so the choice does not depend on the folder's listing order).
std::string FindEntry(const std::string& folder, std::string_view name, mode_t type) {
  std::string exact = folder + "/" + std::string(name);
  if (IsType(exact, type)) return exact;
  std::string best;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(dir)) {
      std::string_view entry(e->d_name);
      if (!SameAsciiText(entry, name)) continue;
      std::string path = folder + "/" + std::string(entry);
      if (IsType(path, type) && (best.empty() || path < best)) best = path;
    }
    ::closedir(dir);
  }
  return best;
}

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  throw ERegistryError(what + " \"" + path + "\": " + ErrnoMessage(err));
}

void MakeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) Fail("Không tạo được khóa registry", path, errno);
}

std::string HiveFolderName(RegistryHive hive) {
  return hive == RegistryHive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

}  // namespace

std::string RegistryFolder() {
  const std::string config = SpecialFolderPath(kFolderRoamingAppData | kFolderFlagCreate);
  if (config.empty()) throw ERegistryError("Registry không có thư mục: không biết thư mục cấu hình của người dùng");
  const std::string folder = config + "/" + kStoreFolder;
  MakeFolder(folder);
  return folder;
}

Registry::Registry(RegistryHive Hive) : FHiveDir(RegistryFolder() + "/" + HiveFolderName(Hive)) {
  MakeFolder(FHiveDir);
}

bool Registry::KeyExists(std::string_view Key) const {
  std::string dir = FHiveDir;
  for (std::string_view part : KeyComponents(Key)) {
    dir = FindEntry(dir, part, S_IFDIR);
    if (dir.empty()) return false;
  }
  return true;
}

bool Registry::OpenKey(std::string_view Key, bool CanCreate) {
  std::string dir = FHiveDir;
  for (std::string_view part : KeyComponents(Key)) {
    std::string next = FindEntry(dir, part, S_IFDIR);
    if (next.empty()) {
      if (!CanCreate) return false;
      next = dir + "/" + std::string(part);
      MakeFolder(next);
    }
    dir = std::move(next);
  }
  FKeyDir = std::move(dir);
  FKeyName = std::string(Key);
  return true;
}

void Registry::CloseKey() {
  FKeyDir.clear();
  FKeyName.clear();
}

std::string Registry::ValueFile(std::string_view Name) const {
  if (FKeyDir.empty()) throw ERegistryError("Chưa mở khóa registry nào cho giá trị \"" + std::string(Name) + "\"");
  CheckName(Name, "giá trị");
  return FindEntry(FKeyDir, Name, S_IFREG);
}

bool Registry::ValueExists(std::string_view Name) const { return !ValueFile(Name).empty(); }

std::string Registry::ReadValue(std::string_view Name, std::string_view Type) const {
  const std::string file = ValueFile(Name);
  if (file.empty()) return {};
  std::ifstream in(file, std::ios::binary);
  if (!in) Fail("Không đọc được giá trị registry", file, errno);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::size_t eol = text.find('\n');
  if (eol == std::string::npos || std::string_view(text).substr(0, eol) != Type)
    throw ERegistryError("Giá trị registry \"" + FKeyName + "\\" + std::string(Name) + "\" bị hỏng: không phải kiểu " +
                         std::string(Type));
  return text.substr(eol + 1);
}

std::string Registry::ReadString(std::string_view Name) const { return ReadValue(Name, kString); }

std::uint32_t Registry::ReadInteger(std::string_view Name) const {
  if (!ValueExists(Name))
    throw ERegistryError("Không có giá trị registry \"" + FKeyName + "\\" + std::string(Name) + "\"");
  const std::string data = ReadValue(Name, kInteger);
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(data.data(), data.data() + data.size(), value);
  if (ec != std::errc() || end != data.data() + data.size())
    throw ERegistryError("Giá trị registry \"" + FKeyName + "\\" + std::string(Name) + "\" bị hỏng: không phải số");
  return value;
}

void Registry::WriteValue(std::string_view Name, std::string_view Type, std::string_view Data) {
  std::string target = ValueFile(Name);
  if (target.empty()) target = FKeyDir + "/" + std::string(Name);
  std::string temp = FKeyDir + "/.value-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) Fail("Không ghi được giá trị registry", target, errno);
  std::string bytes = std::string(Type) + "\n" + std::string(Data);
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  int err = 0;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temp.c_str());
    Fail("Không ghi được giá trị registry", target, err);
  }
}

void Registry::WriteString(std::string_view Name, std::string_view Value) { WriteValue(Name, kString, Value); }

void Registry::WriteInteger(std::string_view Name, std::uint32_t Value) {
  WriteValue(Name, kInteger, std::to_string(Value));
}

bool Registry::DeleteValue(std::string_view Name) {
  const std::string file = ValueFile(Name);
  if (file.empty()) return false;
  if (::unlink(file.c_str()) != 0) Fail("Không xóa được giá trị registry", file, errno);
  return true;
}

}  // namespace velkor::platform
