#include "core/FileUtils.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <utility>

#include "core/NameCompare.h"
#include "platform/ShellFileOps.h"
#include "platform/SystemErrors.h"

namespace velkor {

TShellDeleteProc ShellDeleteProc = platform::ShellDelete;
TShellTransferProc ShellCopyProc = platform::ShellCopy;
TShellTransferProc ShellMoveProc = platform::ShellMove;

namespace {

namespace fs = std::filesystem;

TSleepProc gSleep;
TFolderPicker gFolderPicker;

// Each folder's entries in name order; readdir's own order is that of a
// hash table and would make scans, archives and "first match" results
// differ from machine to machine.
bool NameBefore(const std::string& a, const std::string& b) {
  const int c = CompareText(a, b);
  return c != 0 ? c < 0 : a < b;
}

// The entries of folder in name order; false with err set when the folder
// cannot be read.
bool ListFolder(const std::string& folder, std::vector<std::string>& names, int& err) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  err = ec.value();
  std::sort(names.begin(), names.end(), NameBefore);
  return !ec;
}

std::string ListError(const std::string& folder, int err) {
  return "Không liệt kê được thư mục \"" + folder + "\": " + platform::ErrnoMessage(err);
}

// Decodes s into code points with the ASCII letters folded to upper case.
std::vector<std::uint32_t> FoldedCodePoints(std::string_view s) {
  std::vector<std::uint32_t> out;
  for (std::size_t i = 0; i < s.size();) {
    std::uint32_t cp = detail::NextCodePoint(s, i);
    if (cp >= 'a' && cp <= 'z') cp -= 32;
    out.push_back(cp);
  }
  return out;
}

bool WildcardMatch(const std::vector<std::uint32_t>& s, const std::vector<std::uint32_t>& p) {
  std::size_t i = 0, j = 0, star = std::string::npos, mark = 0;
  while (i < s.size()) {
    if (j < p.size() && (p[j] == '?' || p[j] == s[i])) {
      ++i;
      ++j;
    } else if (j < p.size() && p[j] == '*') {
      star = j++;
      mark = i;
    } else if (star != std::string::npos) {
      j = star + 1;
      i = ++mark;
    } else {
      return false;
    }
  }
  while (j < p.size() && p[j] == '*') ++j;
  return j == p.size();
}

template <class Attempt>
bool Retry(Attempt attempt) {
  for (int i = 0; i < kRetryAttempts; ++i) {
    if (attempt() >= 0) return true;
    RetrySleep(kRetryPauseMs);
  }
  return false;
}

}  // namespace

TQueue<TFindData> ScanDirectory(const std::string& Root, std::uint32_t Flags, const std::string& Mask,
                                std::vector<std::string>* Errors) {
  TQueue<TFindData> result;
  if (Root.empty()) return result;
  const std::string root = Root.back() == '/' ? Root : Root + "/";
  TQueue<std::string> folders;
  folders.Push(root);
  while (!folders.Empty()) {
    std::string folder = folders.Pop();
    if (folder.back() != '/') folder += '/';
    std::vector<std::string> names;
    int err = 0;
    if (!ListFolder(folder, names, err)) {
      if (folder == root && (err == ENOENT || err == ENOTDIR)) break;  // no root, nothing found
      if (!Errors) throw EFileError(ListError(folder, err));
      Errors->push_back(ListError(folder, err));
      continue;
    }
    for (const std::string& name : names) {
      if (!MatchesMask(name, Mask) || platform::IsStagingFolderName(name)) continue;
      const std::string path = folder + name;
      platform::FileRecord record;
      if (int e = platform::ReadFileRecord(path, record)) {
        if (e == ENOENT) continue;  // removed while we looked
        const std::string message = "Cannot read \"" + path + "\" (statx): " + platform::ErrnoMessage(e);
        if (!Errors) throw EFileError(message);
        Errors->push_back(message);
        continue;
      }
      TFindData item;
      item.Attr = record.Attr;
      item.CreationTime = FileTimeToLocalDateTime(record.CreationTime);
      item.LastAccessTime = FileTimeToLocalDateTime(record.LastAccessTime);
      item.LastWriteTime = FileTimeToLocalDateTime(record.LastWriteTime);
      item.Size = record.Size;
      item.Name = (Flags & sdAbsoluteNames) ? path : path.substr(root.size());
      if (record.Attr & faDirectory) {
        if ((Flags & sdRecursive) && !(record.Attr & faSymLink)) folders.Push(path);
        if (Flags & sdFolders) result.Push(item);
      } else if (Flags & sdFiles) {
        result.Push(item);
      }
    }
  }
  return result;
}

bool MatchesMask(std::string_view Name, std::string_view Mask) {
  if (Mask.empty() || Mask == "*" || Mask == "*.*") return true;
  const std::vector<std::uint32_t> mask = FoldedCodePoints(Mask);
  std::vector<std::uint32_t> name = FoldedCodePoints(Name);
  if (WildcardMatch(name, mask)) return true;
  if (std::find(name.begin(), name.end(), '.') != name.end()) return false;
  name.push_back('.');
  return WildcardMatch(name, mask);
}

std::string FindNameIgnoreCase(const std::string& Folder, const std::string& Name) {
  const std::string folder = Folder.empty() ? "." : Folder;
  if (PathExists((fs::path(folder) / Name).string())) return Name;
  std::vector<std::string> names;
  int err = 0;
  ListFolder(folder, names, err);
  for (const std::string& n : names)
    if (SameText(n, Name)) return n;
  return "";
}

std::string ResolvePathIgnoreCase(const std::string& Path) {
  if (Path.empty() || PathExists(Path)) return Path;
  const fs::path path(Path);
  fs::path resolved = path.root_path();
  for (const fs::path& part : path.relative_path()) {
    const std::string name = part.string();
    if (name.empty() || name == "." || name == "..") {
      resolved /= part;
      continue;
    }
    const std::string found = FindNameIgnoreCase(resolved.string(), name);
    if (found.empty()) return Path;
    resolved /= found;
  }
  std::string out = resolved.string();
  if (Path.back() == '/' && out.back() != '/') out += '/';
  return out;
}

TSleepProc SetRetrySleep(TSleepProc Sleep) { return std::exchange(gSleep, std::move(Sleep)); }

void RetrySleep(std::uint32_t Milliseconds) {
  if (gSleep)
    gSleep(Milliseconds);
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
}

bool DeleteWithRetry(const std::string& Path) {
  return Retry([&] { return ShellDeleteProc(Path); });
}

bool CopyWithRetry(const std::string& Source, const std::string& DestDir, const std::string& NewName) {
  return Retry([&] { return ShellCopyProc(Source, DestDir, NewName); });
}

bool MoveWithRetry(const std::string& Source, const std::string& DestDir, const std::string& NewName) {
  // A write-protected folder cannot be renamed into another one, and a
  // move across file systems must delete everything it copied.
  SetAttributesRecursive(Source, faNormal);
  return Retry([&] { return ShellMoveProc(Source, DestDir, NewName); });
}

int RenameNoReplace(const std::string& From, const std::string& To) {
  if (::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::link(From.c_str(), To.c_str()) != 0) return errno;
  ::unlink(From.c_str());
  return 0;
}

bool SetAttributesRecursive(const std::string& Path, std::uint32_t Attr) {
  struct stat st {};
  if (::lstat(Path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return platform::SetFileAttributes(Path, Attr) == 0;
  std::vector<std::string> errors;
  const TQueue<TFindData> items = ScanDirectory(Path, sdFiles | sdFolders | sdRecursive | sdAbsoluteNames, "*", &errors);
  bool ok = errors.empty();
  for (const TFindData& item : items) ok = platform::SetFileAttributes(item.Name, Attr) == 0 && ok;
  return platform::SetFileAttributes(Path, Attr) == 0 && ok;
}

bool IsFileLocked(const std::string& FileName, bool KeepCleared) {
  struct stat st {};
  if (::stat(FileName.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;  // no such file
  std::uint32_t attr = 0;
  if (platform::GetFileAttributes(FileName, attr) != 0) return false;
  const bool clear = attr & (faReadOnly | faHidden | faSysFile);
  if (clear && platform::SetFileAttributes(FileName, faNormal) != 0) return true;
  const bool locked = platform::TryOpenExclusively(FileName) != 0;
  if (clear && !KeepCleared) platform::SetFileAttributes(FileName, attr);
  return locked;
}

bool VolumeHasACLs(const std::string& Path) { return platform::FileSystemKeepsAcls(Path); }

bool SetExplicitACL(const std::string& Path, std::span<const TExplicitAccess> Entries, int Mode) {
  const platform::AclProtection protection = Mode == 0   ? platform::AclProtection::Protected
                                             : Mode == 1 ? platform::AclProtection::Unprotected
                                                         : platform::AclProtection::Unchanged;
  return platform::SetExplicitAccess(Path, {Entries.begin(), Entries.end()}, protection) == 0;
}

bool GetExplicitACL(const std::string& Path, std::vector<TExplicitAccess>& Entries) {
  return platform::GetExplicitAccess(Path, Entries) == 0;
}

bool CopyParentACL(const std::string& Path) {
  std::string path = Path;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::string parent = fs::path(path).parent_path().string();
  std::vector<TExplicitAccess> entries;
  if (!parent.empty()) GetExplicitACL(parent, entries);
  if (!entries.empty()) return SetExplicitACL(Path, entries, 2);
  const TExplicitAccess system = BuildExplicitAccessWithName("System", platform::GENERIC_ALL, platform::SET_ACCESS,
                                                             platform::SUB_CONTAINERS_AND_OBJECTS_INHERIT);
  return SetExplicitACL(Path, {&system, 1}, 1);
}

TFolderPicker SetFolderPicker(TFolderPicker Picker) { return std::exchange(gFolderPicker, std::move(Picker)); }

bool TSelectDirectory::Execute() {
  if (!gFolderPicker) return false;  // no GUI, nobody to choose
  std::string chosen = FDirectory;
  if (!gFolderPicker(FWnd, FTitle, chosen)) return false;
  FDirectory = chosen;
  return true;
}

void FileUtilsInit() {
  // One implementation serves every platform version.
  ShellDeleteProc = platform::ShellDelete;
  ShellCopyProc = platform::ShellCopy;
  ShellMoveProc = platform::ShellMove;
}

void FileUtilsFinalize() {}

bool PathExists(const std::string& Path) {
  struct stat st {};
  return ::lstat(Path.c_str(), &st) == 0;
}

bool IsPlainFile(const std::string& Path) {
  struct stat st {};
  return ::lstat(Path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ExtractFileExt(const std::string& Path) {
  const std::size_t slash = Path.rfind('/');
  const std::size_t dot = Path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return Path.substr(dot);
}

}  // namespace velkor
