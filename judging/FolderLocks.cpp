#include "judging/FolderLocks.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "core/SystemInfo.h"
#include "judging/ContestArchive.h"
#include "judging/EnvConfig.h"
#include "judging/JudgeEngines.h"
#include "platform/FileLocks.h"
#include "platform/AccountFolders.h"
#include "platform/SystemErrors.h"

namespace velkor {
namespace {

// The locks this process holds, by lock file. Work and unpack places stay
// held for the whole run, also after the jury chose others: an unpacked
// contest lives on in the old place until another one is opened. Only one
// submission folder is held at a time.
struct THeldLocks {
  std::mutex Mutex;
  std::map<std::string, platform::TFileLock> Places;
  std::string SubmissionPath;
  platform::TFileLock Submission;
};

THeldLocks& Held() {
  static THeldLocks held;
  return held;
}

std::string WithDelimiter(std::string Folder) {
  if (Folder.empty() || Folder.back() != '/') Folder += '/';
  return Folder;
}

// Whether Path is a lock file this process holds under another name (the
// same folder reached through a link, or spelt another way): an flock of
// ours on another open of the file would count as another holder's.
bool HeldHereAlready(const THeldLocks& Locks, const std::string& Path) {
  struct stat st {};
  if (::lstat(Path.c_str(), &st) != 0) return false;
  if (Locks.Submission.SameFileAs(st)) return true;
  for (const auto& [path, lock] : Locks.Places)
    if (lock.SameFileAs(st)) return true;
  return false;
}

std::string HeldText(const std::string& Folder, const char* Use, const std::string& LockFile) {
  const pid_t holder = platform::LockHolder(LockFile);
  const std::string who =
      holder > 0 ? "Một chương trình Velkor khác (tiến trình " + std::to_string(holder) + ")" : "Một chương trình Velkor khác";
  return who + " đang dùng " + Use + " \"" + Folder + "\" (file khóa \"" + LockFile +
         "\"). Hai chương trình Velkor dùng chung thư mục này sẽ làm hỏng bài và kết quả của nhau.";
}

// Takes or checks Lock on Path; raises as HoldWorkFolderHouse does.
void Hold(const THeldLocks& Locks, platform::TFileLock& Lock, const std::string& Folder, const std::string& Path,
          const char* Use) {
  if (Lock.Held() && Lock.StillAt(Path)) return;
  platform::TFileLock fresh;
  switch (fresh.Take(Path)) {
    case platform::TFileLock::flAcquired:
      Lock = std::move(fresh);
      return;
    case platform::TFileLock::flHeldByOther:
      if (HeldHereAlready(Locks, Path)) return;
      throw EFolderHeld(HeldText(Folder, Use, Path));
    case platform::TFileLock::flFailed:
      break;
  }
  throw std::runtime_error("Không tạo được file khóa \"" + Path + "\" cho " + Use + " \"" + Folder +
                           "\": " + platform::ErrnoMessage(fresh.Error()));
}

void HoldPlace(const std::string& Folder, const char* LockName, const char* Use) {
  THeldLocks& locks = Held();
  const std::lock_guard guard(locks.Mutex);
  const std::string path = WithDelimiter(Folder) + LockName;
  Hold(locks, locks.Places[path], Folder, path, Use);
}

bool IsLockFileName(const std::string& Name) {
  return Name == kWorkFolderLockName || Name == kUnpackFolderLockName || Name == kSubmissionFolderLockName;
}

// Whether Name is Plain followed by nothing but digits.
bool IsNumberedName(std::string_view Name, std::string_view Plain) {
  if (!Name.starts_with(Plain)) return false;
  for (const char c : Name.substr(Plain.size()))
    if (c < '0' || c > '9') return false;
  return true;
}

// A folder and the name (numbered or not) of the folders this process
// deletes and makes again in it.
using TReplacedPlace = std::pair<std::string, const char*>;

std::vector<TReplacedPlace> ReplacedPlaces() {
  std::vector<TReplacedPlace> places{{WorkFolderHouse(), kWorkFolderName}, {UnpackFolderBase(), kUnpackFolderName}};
  THeldLocks& locks = Held();
  const std::lock_guard guard(locks.Mutex);
  for (const auto& [path, lock] : locks.Places) {
    const std::filesystem::path file(path);
    places.emplace_back(file.parent_path().string(),
                        file.filename() == kWorkFolderLockName ? kWorkFolderName : kUnpackFolderName);
  }
  return places;
}

constexpr const char* kWorkFolderUse = "thư mục làm việc trong thư mục";
constexpr const char* kUnpackFolderUse = "thư mục giải nén kỳ thi trong thư mục";
constexpr const char* kSubmissionFolderUse = "thư mục nộp bài";

}  // namespace

std::string WorkFolderHouse() {
  if (EnvConfig && !EnvConfig->ContestHouse.empty()) return EnvConfig->ContestHouse;
  return TempDir;
}

std::string UnpackFolderBase() {
  std::string base = EnvConfig ? EnvConfig->DecompressDir : "";
  if (base.empty()) base = GetFolderLocation(platform::kFolderCommonAppData);
  if (base.empty()) base = TempDir;
  return WithDelimiter(base);
}

void HoldWorkFolderHouse(const std::string& House) { HoldPlace(House, kWorkFolderLockName, kWorkFolderUse); }

void HoldUnpackFolderBase(const std::string& Base) {
  std::error_code ec;
  std::filesystem::create_directories(Base, ec);  // a failure shows as the lock file's
  HoldPlace(Base, kUnpackFolderLockName, kUnpackFolderUse);
}

void HoldSubmissionFolder(const std::string& Dir) {
  THeldLocks& locks = Held();
  const std::lock_guard guard(locks.Mutex);
  const std::string path = WithDelimiter(Dir) + kSubmissionFolderLockName;
  // The folder the jury left is free for another copy from now on.
  if (path != locks.SubmissionPath) locks.Submission.Release();
  locks.SubmissionPath = path;
  Hold(locks, locks.Submission, Dir, path, kSubmissionFolderUse);
}

std::string HoldWorkFolders() {
  std::string refused;
  const auto hold = [&refused](const std::function<void()>& Take) {
    try {
      Take();
    } catch (const EFolderHeld& e) {
      refused += (refused.empty() ? "" : "\n") + std::string(e.what());
    } catch (const std::exception&) {
      // Told when the folder is used.
    }
  };
  hold([] {
    const std::string house = WorkFolderHouse();
    std::error_code ec;
    std::filesystem::create_directories(house, ec);
    HoldWorkFolderHouse(house);
  });
  hold([] { HoldUnpackFolderBase(UnpackFolderBase()); });
  return refused;
}

std::string LockOfAnotherInside(const std::string& Tree) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // Links are never followed: what one points at is not deleted with Tree.
  for (fs::recursive_directory_iterator it(Tree, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::error_code entryError;
    if (!IsLockFileName(it->path().filename().string()) ||
        it->symlink_status(entryError).type() != fs::file_type::regular)
      continue;
    const std::string path = it->path().string();
    if (!platform::LockIsHeld(path)) continue;
    THeldLocks& locks = Held();
    const std::lock_guard guard(locks.Mutex);
    if (!HeldHereAlready(locks, path)) return path;
  }
  return "";
}

std::string ReplacedFolderHolding(const std::string& Dir) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path dir = fs::weakly_canonical(fs::absolute(Dir, ec), ec);
  if (ec) return "";
  for (const auto& [folder, plain] : ReplacedPlaces()) {
    const fs::path base = fs::weakly_canonical(folder, ec);
    if (ec || base.empty()) continue;
    const fs::path rel = dir.lexically_relative(base);
    if (rel.empty() || *rel.begin() == "." || *rel.begin() == "..") continue;
    if (IsNumberedName(rel.begin()->string(), plain)) return (base / *rel.begin()).string();
  }
  return "";
}

void ReleaseFolderLocks() {
  THeldLocks& locks = Held();
  const std::lock_guard guard(locks.Mutex);
  locks.Places.clear();
  locks.Submission.Release();
  locks.SubmissionPath.clear();
}

}  // namespace velkor
