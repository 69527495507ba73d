// The judge engine's security mode and the view each compile and program
// gets of the machine: the contest's folders closed to the programs'
// account for a run, the rooms locked around a program, the test folder
// opened to a checker, and the folders every run sees read-only.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "core/SystemInfo.h"
#include "judging/EnvConfig.h"
#include "judging/JudgeEngines.h"
#include "judging/JudgeEngines_Internal.h"
#include "judging/Security.h"
#include "platform/CommandLines.h"
#include "platform/ProcessJobs.h"
#include "platform/RunView.h"
#include "platform/AccountFolders.h"
#include "platform/SystemErrors.h"

namespace velkor {
namespace fs = std::filesystem;

using judgeengine::InsideOrSame;
using judgeengine::KeepAccessLists;
using judgeengine::RealPath;
using judgeengine::WithoutTrailingDelimiter;

// ---- Security steps ----------------------------------------------------------
// judging/Security.h explains the identities and the lists. Each step does
// nothing with the mode off. No failure of an ACL call goes further: an item
// whose list cannot be changed keeps its list, and the run goes on.

namespace {

bool SecurityOn() { return EnvConfig && EnvConfig->ActiveSecurity; }

// The installation a program of the compiler table or a runtime belongs
// to: its folder, or the folder above a "bin" (where its libraries and
// headers lie beside it). Runs see it read-only, wherever the jury put it.
std::string InstallationOf(const std::string& Program) {
  if (Program.empty() || Program.front() != '/') return "";
  const fs::path folder = fs::path(Program).parent_path();
  if (folder.filename() == "bin" && folder.parent_path() != folder.root_path()) return folder.parent_path().string();
  return folder.string();
}

// Whether the security account can open Folder.
bool SecurityAccountReaches(const std::string& Folder) {
  SetImpersonation(true);
  DIR* dir = ::opendir(Folder.c_str());
  if (dir != nullptr) ::closedir(dir);
  SetImpersonation(false);
  return dir != nullptr;
}

}  // namespace

void TJudgeEngine::SwitchSecurityOff(const std::string& Reason) {
  VQRMsgDlg(Reason + "\r\nChế độ bảo mật sẽ tạm tắt", mtError, {mbOK});
  SetAdminLogon(false);
  EnvConfig->ActiveSecurity = false;
  FProtectedFolders.clear();
  for (const auto& [path, lists] : FWorkDirAccess) platform::RestoreAccessLists(path, lists);
  FWorkDirAccess.clear();
}

std::string TJudgeEngine::ContestLayoutFault(std::vector<std::string>& Roots) const {
  const std::string work = RealPath(WorkDir);
  std::vector<std::string> real;
  for (const std::string& root : Roots) real.push_back(RealPath(root));
  for (std::size_t k = 0; k < Roots.size(); ++k)
    if (!work.empty() && !real[k].empty() && InsideOrSame(work, real[k]))
      return "Chế độ bảo mật không thể bảo vệ dữ liệu kỳ thi: thư mục làm việc \"" + WorkDir + "\" nằm trong thư mục \"" +
             Roots[k] + "\".";
  // A folder inside the other is protected with it, and only once: its
  // lists would otherwise be kept a second time, already changed.
  if (Roots.size() == 2 && !real[0].empty() && !real[1].empty()) {
    const std::size_t inner = InsideOrSame(real[1], real[0]) ? 1 : InsideOrSame(real[0], real[1]) ? 0 : 2;
    if (inner < 2) {
      Roots.erase(Roots.begin() + static_cast<std::ptrdiff_t>(inner));
      real.erase(real.begin() + static_cast<std::ptrdiff_t>(inner));
    }
  }
  // What a link or a second name of a file leads to outside these folders
  // is neither hidden nor listed with them.
  auto protectedPath = [&](const std::string& Path) {
    for (const std::string& r : real)
      if (!r.empty() && InsideOrSame(Path, r)) return true;
    return false;
  };
  struct TNames {
    std::uint64_t Links = 0, Seen = 0;
    std::string Name;
  };
  std::map<std::pair<std::uint64_t, std::uint64_t>, TNames> files;
  for (const std::string& root : Roots) {
    TQueue<TFindData> items = ScanDirectory(root, sdFiles | sdFolders | sdRecursive | sdAbsoluteNames, "*");
    while (!items.Empty()) {
      const TFindData item = items.Pop();
      if (item.Attr & faSymLink) {
        const std::string target = RealPath(item.Name);
        if (!target.empty() && !protectedPath(target))
          return "Chế độ bảo mật không thể bảo vệ dữ liệu kỳ thi: liên kết \"" + item.Name +
                 "\" trỏ ra ngoài thư mục đề bài và thư mục bài làm.";
        continue;
      }
      struct stat st {};
      if (::lstat(item.Name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink < 2) continue;
      TNames& names = files[{st.st_dev, st.st_ino}];
      names.Links = st.st_nlink;
      ++names.Seen;
      names.Name = item.Name;
    }
  }
  for (const auto& [id, names] : files)
    if (names.Seen < names.Links)
      return "Chế độ bảo mật không thể bảo vệ dữ liệu kỳ thi: file \"" + names.Name +
             "\" còn có tên khác ở ngoài thư mục đề bài và thư mục bài làm.";
  return "";
}

std::vector<std::string> TJudgeEngine::ToolFolders() const {
  std::vector<std::string> folders;
  auto add = [&](const std::string& Program) {
    const std::string folder = InstallationOf(Program);
    if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
  };
  for (std::ptrdiff_t i = 0; i < FCompiler->Count(); ++i) {
    const std::string cmd = TrimControl(FCompiler->Items(i)->cmd);
    if (cmd.empty() || cmd.front() == ';') continue;
    const std::vector<std::string> args = platform::SplitCommandLine(cmd.substr(0, FindWorkDirMarker(cmd)));
    if (!args.empty()) add(args.front());
  }
  for (const auto& [name, path] : FRuntimes) add(path);
  return folders;
}

void TJudgeEngine::CheckProtectedFolders() const {
  // By the real path the access lists were set on, and by the name Velkor's own file work
  // (inputs, answers, the checker) goes through.
  for (const TProtectedFolder& folder : FProtectedFolders)
    for (const std::string& path : {folder.Path, folder.Given}) {
      struct stat st {};
      if (::stat(path.c_str(), &st) != 0 || st.st_dev != folder.Device || st.st_ino != folder.Inode)
        throw std::runtime_error("Thư mục \"" + path +
                                 "\" đã bị đổi tên, di chuyển hoặc xóa trong khi chấm: chế độ bảo mật không thể che nó "
                                 "khỏi chương trình của thí sinh.");
    }
}

void TJudgeEngine::SetProgramView(TExecEngine& Engine, const std::string& Room) const {
  // With the security mode the folders must still be where the run found
  // them: one moved since would have left the access lists behind.
  CheckProtectedFolders();
  Engine.Room = Room;
  Engine.HonestRoomBytes = UINT64_MAX;
  Engine.ReadOnlyFolders = ToolFolders();
  Engine.HiddenFolders = PrivateFolders();
}

std::vector<std::string> TJudgeEngine::PrivateFolders() const {
  std::vector<std::string> folders = {FExamSet->Dir(), FResultSet->Dir(), WorkDir, platform::HomeFolder()};
  if (EnvConfig)
    for (const std::string& folder : {EnvConfig->ContestHouse, EnvConfig->DecompressDir, EnvConfig->SubmitDir})
      folders.push_back(folder);
  std::erase_if(folders, [](const std::string& folder) { return folder.empty(); });
  return folders;
}

std::string TJudgeEngine::HiddenProgramNotice(const TExecEngine& Engine) const {
  if (Engine.AppName.empty() || Engine.AppName.front() != '/') return "";
  const std::string folder = fs::path(Engine.AppName).parent_path().string();
  if (!platform::HoldsAnyOf(folder, PrivateFolders())) return "";
  return "Chương trình \"" + Engine.AppName + "\" nằm trong thư mục \"" + folder +
         "\", nơi chứa dữ liệu kỳ thi, thư mục của Velkor hoặc thư mục nhà của giám khảo: bài làm không được "
         "thấy thư mục này nên không chạy được chương trình. Hãy cài nó ở thư mục khác.";
}

std::string TJudgeEngine::WhereNow(const std::string& Path) const {
  for (const TProtectedFolder& folder : FProtectedFolders) {
    if (Path != folder.Given && !Path.starts_with(folder.Given + "/")) continue;
    char now[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(folder.Handle.Get());
    const ssize_t n = ::readlink(link.c_str(), now, sizeof now);
    const std::string current = n > 0 && static_cast<std::size_t>(n) < sizeof now ? std::string(now, static_cast<std::size_t>(n)) : "";
    if (current.empty() || current == folder.Path || current.ends_with(" (deleted)")) return Path;
    return current + Path.substr(folder.Given.size());
  }
  return Path;
}

void TJudgeEngine::ProtectContestData(bool Protect) {
  if (!Protect) {
    // Whatever was changed is put back, top-down as it was kept: each
    // folder lets Velkor's own account through again before what lies
    // below it is restored. Nothing was kept with the mode off.
    for (const auto& [path, lists] : FContestAccess) platform::RestoreAccessLists(WhereNow(path), lists);
    FContestAccess.clear();
    FProtectedFolders.clear();
    return;
  }
  if (!SecurityOn()) return;
  // The work folder the run's rooms will be in, before anything is judged.
  PrepareWorkDir(false);
  std::vector<std::string> roots;
  for (const std::string& root : {WithoutTrailingDelimiter(FExamSet->Dir()), WithoutTrailingDelimiter(FResultSet->Dir())})
    if (!root.empty()) roots.push_back(root);

  // The security account does Velkor's file work in these folders: one it
  // cannot reach would fail every submission.
  for (const std::string& folder : roots)
    if (!SecurityAccountReaches(folder))
      return SwitchSecurityOff("Tài khoản bảo mật không truy cập được thư mục \"" + folder + "\".");
  // The work folder is opened to the security account by an access list:
  // without lists it could only be opened to every account.
  if (!WorkOnNTFS)
    return SwitchSecurityOff("Chế độ bảo mật không thể bảo vệ dữ liệu kỳ thi: thư mục làm việc \"" + WorkDir +
                             "\" nằm trên hệ thống file không có danh sách quyền truy cập (ACL).");
  if (!SecurityAccountReaches(WorkDir))
    return SwitchSecurityOff("Tài khoản bảo mật không truy cập được thư mục \"" + WorkDir + "\".");

  // Every program and compile of the run sees these folders hidden, all
  // but its own room (judging/Security.h): found out now, before any list
  // changes, whether that can be done here.
  if (const std::string fault = ContestLayoutFault(roots); !fault.empty()) return SwitchSecurityOff(fault);
  FProtectedFolders.clear();
  std::vector<std::string> protectedFolders = roots;
  protectedFolders.push_back(WorkDir);
  for (const std::string& folder : protectedFolders) {
    struct stat st {};
    const std::string real = RealPath(folder);
    platform::UniqueFd handle(::open(real.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (real.empty() || !handle.Valid() || ::fstat(handle.Get(), &st) != 0)
      return SwitchSecurityOff("Không tìm thấy thư mục \"" + folder + "\".");
    FProtectedFolders.push_back({folder, real, st.st_dev, st.st_ino, std::move(handle)});
  }
  PrepareContestRoom(false);
  if (const int err = platform::CheckRunView(ContestRoomDir); err != 0)
    return SwitchSecurityOff("Chế độ bảo mật không thể che dữ liệu kỳ thi khỏi chương trình của thí sinh: " +
                             platform::ErrnoMessage(err) + ".");

  FContestAccess.clear();
  const TExplicitAccess D[] = {eaEveryoneAccess, eaLimitedUserDeny};
  bool withAcls = false, protectedAny = false;
  for (const std::string& root : roots) {
    if (!VolumeHasACLs(root)) continue;
    withAcls = true;
    // The folder and everything below it, breadth-first, listed before any
    // of it is closed to this account. Links are left alone: their targets
    // may lie anywhere.
    const std::size_t first = FContestAccess.size();
    if (!KeepAccessLists(root, FContestAccess)) continue;
    std::vector<std::string> unreadable;
    TQueue<TFindData> items = ScanDirectory(root, sdFiles | sdFolders | sdRecursive | sdAbsoluteNames, "*", &unreadable);
    while (!items.Empty()) {
      const TFindData item = items.Pop();
      if (!(item.Attr & faSymLink)) KeepAccessLists(item.Name, FContestAccess);
    }
    // Bottom-up: the account must still pass through a folder to change
    // what lies in it. Every item ends with the folder's own entries, as
    // if it had copied them from its parent.
    for (std::size_t k = FContestAccess.size(); k-- > first;)
      if (SetExplicitACL(FContestAccess[k].first, D, k == first ? 0 : 2) && k == first) protectedAny = true;
  }
  if (!roots.empty() && !protectedAny)
    SwitchSecurityOff(withAcls ? "Chế độ bảo mật không thể bảo vệ dữ liệu kỳ thi: không đặt được danh sách quyền truy "
                                 "cập (ACL) cho thư mục đề bài và thư mục bài làm (tài khoản chạy Velkor phải là chủ "
                                 "sở hữu của chúng)."
                               : "Chế độ bảo mật không thể bảo vệ dữ liệu kỳ thi: thư mục đề bài và thư mục bài làm "
                                 "nằm trên hệ thống file không có danh sách quyền truy cập (ACL).");
}

void TJudgeEngine::ProtectRooms(bool Lock) {
  if (!SecurityOn() || !WorkOnNTFS) return;
  const TExplicitAccess D[] = {eaEveryoneAccess, eaLimitedUserDeny};
  const std::span E(&eaEveryoneAccess, 1);
  if (Lock) {
    // The program's way into the contest room leads through the work
    // folder: it may pass, not look.
    SetExplicitACL(WorkDir, WorkDirAccess(true), 0);
    platform::AllowPassingThrough(WorkDir, LimitedUser);
    SetExplicitACL(ContestRoomDir, E, 0);
    SetExplicitACL(WaitRoomDir, D, 0);
  } else {
    SetExplicitACL(WaitRoomDir, E, 0);
    SetExplicitACL(ContestRoomDir, E, 0);
    SetExplicitACL(WorkDir, WorkDirAccess(false), 0);
  }
}

// The work folder's list in the security mode: Velkor's own account and the
// security account, which does Velkor's file work in the rooms, and no other
// ("Everyone" would be every local account, who could then swap a program
// or run what one left in a room). While a program runs, Velkor's account,
// the program's, is denied. Nothing is inherited: each room gets a list of
// its own, and the closed work folder is the only way to it.
std::vector<TExplicitAccess> TJudgeEngine::WorkDirAccess(bool Running) const {
  const std::string security = EnvConfig->AdminDomain + "\\" + EnvConfig->AdminUserName;
  return {BuildExplicitAccessWithName(LimitedUser, GENERIC_ALL, Running ? DENY_ACCESS : SET_ACCESS, NO_INHERITANCE),
          BuildExplicitAccessWithName(security, GENERIC_ALL, SET_ACCESS, NO_INHERITANCE)};
}

void TJudgeEngine::GrantCheckerAccess(bool Grant, const TExamInfo& Exam, const TTestInfo& Test) {
  if (!Grant) {
    // In reverse: the folders above let the account through until the
    // last item below them is closed again.
    for (auto it = FCheckerAccess.rbegin(); it != FCheckerAccess.rend(); ++it)
      platform::RestoreAccessLists(it->first, it->second);
    FCheckerAccess.clear();
    return;
  }
  if (!SecurityOn()) return;
  const std::string testDir = WithoutTrailingDelimiter(Test.Dir());
  if (!VolumeHasACLs(testDir)) return;

  FCheckerAccess.clear();
  const std::span E(&eaEveryoneAccess, 1);
  // The way down from the tasks folder to the test folder.
  const std::string tasks = WithoutTrailingDelimiter(FExamSet->Dir());
  std::vector<std::string> way;
  for (fs::path p = fs::path(testDir).parent_path(); !tasks.empty(); p = p.parent_path()) {
    const std::string folder = p.string();
    if (folder.size() < tasks.size() || folder.compare(0, tasks.size(), tasks) != 0) {
      way.clear();  // the test lies elsewhere: nothing above it is ours
      break;
    }
    way.push_back(folder);
    if (folder.size() == tasks.size() || !p.has_relative_path()) break;
  }
  for (auto it = way.rbegin(); it != way.rend(); ++it)
    if (KeepAccessLists(*it, FCheckerAccess)) platform::AllowPassingThrough(*it, LimitedUser);

  // The test folder with its files (the answers are among them), and the
  // programs an exam may provide for its checker.
  std::vector<std::string> paths = {testDir};
  std::vector<std::string> unreadable;
  if (KeepAccessLists(testDir, FCheckerAccess)) {
    SetExplicitACL(testDir, E, 0);
    TQueue<TFindData> files = ScanDirectory(testDir, sdFiles | sdAbsoluteNames, "*", &unreadable);
    while (!files.Empty()) {
      const TFindData file = files.Pop();
      if (!(file.Attr & faSymLink)) paths.push_back(file.Name);
    }
  }
  const std::string examDir = WithoutTrailingDelimiter(Exam.Dir());
  paths.push_back(examDir + "/" + Exam.Name() + ".exe");
  paths.push_back(examDir + "/Check" + Exam.Name() + ".exe");
  for (std::size_t k = 1; k < paths.size(); ++k)
    if (KeepAccessLists(paths[k], FCheckerAccess)) SetExplicitACL(paths[k], E, 0);
}

}  // namespace velkor
