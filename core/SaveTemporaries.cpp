#include "core/SaveTemporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "core/NameCompare.h"

namespace velkor {
namespace {

constexpr std::size_t kRandomPartLength = 6;

bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

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

}  // namespace velkor
