#include "judging/FolderLocks.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>

#include "core/SystemInfo.h"
#include "judging/EnvConfig.h"
#include "platform/FileLocks.h"
#include "platform/SpecialFolders.h"

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
                           "\": " + std::strerror(fresh.Error()) + ".");
}

void HoldPlace(const std::string& Folder, const char* LockName, const char* Use) {
  THeldLocks& locks = Held();
  const std::lock_guard guard(locks.Mutex);
  const std::string path = WithDelimiter(Folder) + LockName;
  Hold(locks, locks.Places[path], Folder, path, Use);
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

void ReleaseFolderLocks() {
  THeldLocks& locks = Held();
  const std::lock_guard guard(locks.Mutex);
  locks.Places.clear();
  locks.Submission.Release();
  locks.SubmissionPath.clear();
}

}  // namespace velkor
