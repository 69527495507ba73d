// The judge engine's run: the events, the work folder and its rooms, the
// progress count, and the order in which pairs and tests are judged. What
// happens inside one submission and one test (copy, compile, command line,
// verdict, score) is in JudgeEngines_TestRun.cpp; the security mode's steps
// and what each run sees of the machine are in JudgeEngines_Security.cpp.
//
// How a submission ends
// ---------------------
// JudgeSubmission ends in one of three ways, and each decides what the jury
// sees and whether the run goes on:
//
// 1. Completion. Every test ran (or the source did not compile, or there was
//    none); the exam result holds its state, scores and texts; the end event
//    of the pair is raised and the run goes on with the next pair. Only the
//    final deletion of the waiting room can still fail: the result then
//    becomes jsFailure with the deletion's message, and the run goes on.
// 2. A stop. A notify handler set UserCancel. The engine looks at it at
//    fixed points (before the submission's work, before and after each
//    test, after the scores) and leaves quietly: no end event for the test
//    or the pair, and the run ends with Run returning False, ErrorCode 0
//    (unless the waiting room then cannot be deleted: that is an error).
// 3. An error. Copying, compiling, moving, running, checking or deleting a
//    room raised. The end event of the pair is raised, the run ends with
//    Run returning False, and ErrorCode 1 with an ErrorMsg naming the pair
//    tells the jury why: a stop is something the jury asked for, a failure
//    is not. A full disk of the jury's is such an error wherever Velkor
//    wrote for the run (EJuryDiskFull): the program's output may not have
//    reached the contest room whole, so no verdict could be trusted. A room
//    the program left too deep or too large to bring back
//    (platform/RunRoom.h) is none of this: it is the program's failure,
//    that test scores 0 with the reason, and the run goes on.
//
// A pair whose contestant name cannot be a folder, or whose contestant's
// folder (or the contestants folder) is gone, is none of these: it is
// left out before its work begins, keeping its result, the run goes on
// with the next pair, and the run's last status names every pair left out
// (SkippedPairs). So is a pair whose exam has a test without its input
// file, the jury's fault that would stop every run: the pair ends as
// failed with the reason, before anything is compiled, and is named with
// those left out.
//
// In both 2 and 3 the pair's exam result is put back as it was before the
// run touched it (or removed when it had none), so a judged result from an
// earlier run is never lost to a run that did not finish that pair. The
// waiting room is deleted on every way out, and each test deletes its
// contest room, so every submission and every test starts with empty rooms.
//
// The run around the pairs always cleans up once it has started protecting
// the contest: the runner is freed, the work folder deleted, the protection
// lifted, the run's end event raised and the security account logged off,
// whatever failed before.
#include "judging/JudgeEngines.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "core/Dialogs.h"
#include "core/FileUtilsWrap.h"
#include "core/NumberFormat.h"
#include "core/SystemInfo.h"
#include "judging/EnvConfig.h"
#include "judging/FolderLocks.h"
#include "judging/JudgeEngines_Internal.h"
#include "judging/Security.h"
#include "platform/ProcessJobs.h"
#include "platform/SystemErrors.h"

namespace velkor {
namespace fs = std::filesystem;

namespace {

void CreateFolder(const std::string& Folder) {
  std::error_code ec;
  fs::create_directories(Folder, ec);
  if (!ec || fs::is_directory(Folder)) return;
  const std::string detail = "Không thể tạo thư mục \"" + Folder + "\": " + platform::ErrnoMessage(ec.value());
  if (ec.value() == ENOSPC || ec.value() == EDQUOT) throw EJuryDiskFull(fs::path(Folder).parent_path().string(), detail);
  throw std::runtime_error(detail);
}

bool OpenToOthers(const std::string& Folder) {
  struct stat st {};
  return ::stat(Folder.c_str(), &st) == 0 && (st.st_mode & S_IRWXO) != 0;
}

// Closes a new work folder to every other account: one that could reach it
// could swap a program before it runs, or run what a program left there as
// Velkor. A root Velkor's runs, under an account of their own, may pass
// through it (by its group), to a room their view shows inside a folder it
// shows whole, as a compiler's folder. A file system whose modes are fixed
// may refuse the change; its folder will do when it is closed already.
void CloseToOthers(const std::string& Folder) {
  const bool runsPass = ::geteuid() == 0 && ::chown(Folder.c_str(), -1, platform::kRunAccountId) == 0;
  if (::chmod(Folder.c_str(), runsPass ? 0710 : 0700) == 0) return;
  const int err = errno;
  struct stat st {};
  if (::stat(Folder.c_str(), &st) == 0 && (st.st_mode & 077) == 0) return;
  throw std::runtime_error("Không thể đóng thư mục làm việc \"" + Folder + "\" với các tài khoản khác: " +
                           platform::ErrnoMessage(err));
}

}  // namespace

namespace judgeengine {

bool KeepAccessLists(const std::string& Path, std::vector<std::pair<std::string, platform::TAccessListCopy>>& Saved) {
  platform::TAccessListCopy copy;
  if (platform::CopyAccessLists(Path, copy) != 0) return false;
  Saved.emplace_back(Path, std::move(copy));
  return true;
}

std::string WithoutTrailingDelimiter(std::string Path) {
  while (Path.size() > 1 && Path.back() == '/') Path.pop_back();
  return Path;
}

std::string RealPath(const std::string& Path) {
  std::error_code ec;
  const fs::path real = fs::canonical(Path, ec);
  return ec ? std::string() : real.string();
}

bool FolderGone(const std::string& Path) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(Path, ec);
  if (ec) return ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory;
  return !std::filesystem::is_directory(status);
}

bool InsideOrSame(const std::string& Path, const std::string& Folder) {
  if (Path.size() < Folder.size() || Path.compare(0, Folder.size(), Folder) != 0) return false;
  return Path.size() == Folder.size() || Folder.back() == '/' || Path[Folder.size()] == '/';
}

}  // namespace judgeengine

using judgeengine::FolderGone;
using judgeengine::InsideOrSame;
using judgeengine::KeepAccessLists;
using judgeengine::RealPath;
using judgeengine::WithoutTrailingDelimiter;

namespace {

// Velkor deletes its work folder after every run: one holding the tasks or
// the contestants would take them along.
void RefuseContestInside(const std::string& WorkDir, const std::string (&Roots)[2]) {
  const std::string work = RealPath(WorkDir);
  if (work.empty()) return;  // not made yet: nothing lies in it
  for (const std::string& root : Roots) {
    const std::string real = root.empty() ? std::string() : RealPath(root);
    if (!real.empty() && InsideOrSame(real, work))
      throw std::runtime_error("Không thể dùng thư mục làm việc \"" + WorkDir + "\": nó chứa thư mục \"" + root +
                               "\" của kỳ thi, trong khi thư mục làm việc bị xóa sau mỗi lần chấm.");
  }
}

// A name as the jury can read it in one line: control characters (a line
// break among them) are shown as escapes, everything else as it is.
std::string PrintableName(const std::string& Name) {
  std::string text;
  for (const char c : Name) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) {
      text += c;
      continue;
    }
    static const char kHex[] = "0123456789ABCDEF";
    text += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : c == '\t' ? std::string("\\t")
                      : std::string("\\x") + kHex[u >> 4] + kHex[u & 15];
  }
  return text;
}

std::string MessageOf(const std::exception_ptr& Error) {
  try {
    std::rethrow_exception(Error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Lỗi không xác định";
  }
}

// Runs each clean-up step even after an earlier one failed, and keeps the
// first error for the caller.
class TCleanUp {
 public:
  template <class F>
  void Step(F&& f) {
    try {
      f();
    } catch (...) {
      if (!FError) FError = std::current_exception();
    }
  }
  void Keep(std::exception_ptr Error) {
    if (!FError) FError = std::move(Error);
  }
  void RethrowIfFailed() {
    if (FError) std::rethrow_exception(FError);
  }

 private:
  std::exception_ptr FError;
};

}  // namespace

struct TJudgeEngine::TExamResultCopy {
  struct TTest {
    std::string Name;
    double Evaluation;
    std::string EvaluationText;
  };
  TJudgeState State;
  double Evaluation;
  std::string EvaluationText;
  std::string CompiledFile;
  std::vector<TTest> Tests;

  explicit TExamResultCopy(const TResultE& RE)
      : State(RE.state), Evaluation(RE.Evaluation), EvaluationText(RE.EvaluationText), CompiledFile(RE.CompiledFile) {
    for (const TResultT* t : RE) Tests.push_back({t->Name(), t->Evaluation, t->EvaluationText});
  }

  void RestoreInto(TResultE& RE) const {
    RE.Clear();
    RE.state = State;
    RE.Evaluation = Evaluation;
    RE.EvaluationText = EvaluationText;
    RE.CompiledFile = CompiledFile;
    for (const TTest& t : Tests) {
      TResultT* RT = RE.ObjF(t.Name);
      RT->Evaluation = t.Evaluation;
      RT->EvaluationText = t.EvaluationText;
    }
  }
};

// ---- The jury's disk -----------------------------------------------------------

std::string FreeSpaceText(const std::string& Folder) {
  fs::path folder = Folder.empty() ? fs::path(".") : fs::path(Folder);
  struct statvfs st {};
  while (::statvfs(folder.c_str(), &st) != 0) {
    if (!folder.has_relative_path()) return "không rõ";
    folder = folder.parent_path();
  }
  const double bytes = static_cast<double>(st.f_bavail) * static_cast<double>(st.f_frsize);
  const TNumberLocale& locale = TNumberLocale::Current();
  if (bytes >= 1024.0 * 1024 * 1024) return FormatNumber("%.1f", bytes / (1024.0 * 1024 * 1024), locale) + " GB";
  if (bytes >= 1024.0 * 1024) return FormatNumber("%.1f", bytes / (1024.0 * 1024), locale) + " MB";
  if (bytes >= 1024.0) return FormatNumber("%.1f", bytes / 1024.0, locale) + " KB";
  return std::to_string(static_cast<std::uint64_t>(bytes)) + " byte";
}

EJuryDiskFull::EJuryDiskFull(const std::string& Folder, const std::string& Detail)
    : std::runtime_error("Đĩa chứa thư mục \"" + Folder + "\" đã đầy (còn trống " + FreeSpaceText(Folder) +
                         "): Velkor không ghi được file cho bài làm nên ngừng chấm. Bài đang chấm không có kết quả "
                         "mới (kết quả trước đó, nếu có, được giữ nguyên); hãy giải phóng chỗ trống trên đĩa rồi "
                         "chấm lại.\r\n" + Detail),
      FFolder(Folder) {}

void MakeJudgePair(const std::string& CName, const std::string& EName, TJudgePair& Pair) {
  Pair.CName = CName;
  Pair.EName = EName;
}

// ---- Life of the engine ------------------------------------------------------

TJudgeEngine::TJudgeEngine(TContestInfo& aContestInfo, TCompilerConfig& aCompiler, TCheckerSet& aCheckerSet)
    : FResultSet(&aContestInfo.ResultSet()),
      FExamSet(&aContestInfo.ExamSet()),
      FCompiler(&aCompiler),
      FCheckerSet(&aCheckerSet) {
  // Looked up once: every run of the engine uses the same runtimes.
  FRuntimes = FindRuntimes();

  LimitedUser = GetCurrentDomainName() + "\\" + GetCurrentUserName();
  eaEveryoneAccess = BuildExplicitAccessWithName("Everyone", GENERIC_ALL, SET_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
  eaLimitedUserDeny = BuildExplicitAccessWithName(LimitedUser, GENERIC_ALL, DENY_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT);

  // Logon test: the jury hears now, before any run, when the security
  // account cannot log on, and the mode is off from here on. Made before
  // the work folder, which is opened to all only for a mode that works.
  SetAdminLogon(true);
  if (EnvConfig && EnvConfig->AdminToken != 0) SetAdminLogon(false);

  PrepareWorkDir(true);
}

TJudgeEngine::~TJudgeEngine() {
  try {
    // A place another Velkor made in it since stays (PrepareWorkDir).
    if (LockOfAnotherInside(WorkDir).empty()) ShellDeleteProc(WorkDir);
  } catch (...) {
  }
  try {
    if (EnvConfig && EnvConfig->ActiveSecurity) SetAdminLogon(false);
  } catch (...) {
  }
}

std::string RunLimitationNotice() {
  std::string notice;
  for (const platform::RunLimitation& limitation : platform::RunLimitations()) {
    notice += notice.empty() ? "Không bảo đảm được an toàn khi chấm: " : "; ";
    switch (limitation.Missing) {
      case platform::RunLimitation::MemoryGroup:
        notice += "giới hạn bộ nhớ chỉ áp cho từng tiến trình, không cho cả bài làm";
        break;
      case platform::RunLimitation::TaskGroup: notice += "số tiến trình của bài làm không bị giới hạn"; break;
      case platform::RunLimitation::View:
        notice += "không tạo được môi trường riêng cho bài làm, nên không bài nào được dịch hay chạy";
        break;
      case platform::RunLimitation::Network: notice += "bài làm có thể dùng mạng của máy"; break;
      case platform::RunLimitation::SyscallFilter:
        notice += "không chặn được các lời gọi hệ thống nguy hiểm của bài làm (khoá của nhân, io_uring, bpf)";
        break;
      case platform::RunLimitation::Account:
        notice += "mã tài khoản chạy bài làm (" + std::to_string(platform::kRunAccountId) +
                  ") đã thuộc về một tài khoản khác của máy";
        break;
    }
  }
  return notice.empty() ? notice : notice + ".";
}

bool TJudgeEngine::Run(const TSinglyLinkedList<TJudgePair>& List) {
  ErrorCode = 0;
  ErrorMsg.clear();
  SkippedPairs.clear();
  FSkippedNames.clear();
  FInputFaults.clear();
  RunInMainThread = MainThreadHandOff()->IsMainThread();
  DoInit();
  // What the machine cannot give the runs is the run's first word.
  if (const std::string notice = RunLimitationNotice(); !notice.empty()) DoStatus(notice);
  bool R = false;
  try {
    R = JudgeList(List);
  } catch (...) {
    ErrorCode = 1;
    ErrorMsg = MessageOf(std::current_exception());
    R = false;
  }
  DoFinish();
  return R && ErrorCode == 0;
}

// ---- Events ------------------------------------------------------------------

void TJudgeEngine::RaiseEvent(const std::function<void()>& Call) {
  if (RunInMainThread)
    Call();
  else
    MainThreadHandOff()->RunBlocking(Call);
}

void TJudgeEngine::DoInit() {
  if (FOnInit) RaiseEvent([this] { FOnInit(this); });
}

void TJudgeEngine::DoFinish() {
  if (FOnFinish) RaiseEvent([this] { FOnFinish(this); });
}

void TJudgeEngine::DoNotify(TJudgeAction action, const std::string& CName, const std::string& EName,
                            const std::string& tname) {
  if (FOnJudgeNotify) RaiseEvent([&] { FOnJudgeNotify(this, action, CName, EName, tname, UserCancel); });
}

void TJudgeEngine::DoProgress(double prg) {
  if (FOnProgressNotify) RaiseEvent([&] { FOnProgressNotify(this, prg); });
}

void TJudgeEngine::DoStatus(const std::string& status) {
  if (FOnStatusNotify) RaiseEvent([&] { FOnStatusNotify(this, status); });
}

void TJudgeEngine::UpdateProgress() {
  DoProgress(MaxProgress == 0 ? 0.0 : static_cast<double>(Progress) / static_cast<double>(MaxProgress));
}

// ---- The run -----------------------------------------------------------------

bool TJudgeEngine::JudgeList(const TSinglyLinkedList<TJudgePair>& List) {
  // However the run ends, the security account is logged off again.
  struct TLogoff {
    ~TLogoff() {
      try {
        SetAdminLogon(false);
      } catch (...) {
      }
    }
  } logoff;
  SetAdminLogon(true);

  UserCancel = false;
  DoNotify(jaBeginJudge, "", "", "");
  if (UserCancel) return false;

  // There is no desktop object to create: the contestants' programs are
  // kept off the jury's desktop by the runner, which starts every program
  // without the display and session variables (platform/Desktops.h).
  const bool desktopCreated = true;
  bool result = false;
  TCleanUp cleanUp;
  try {
    ProtectContestData(true);
    ExecEngine = std::make_unique<TExecEngine>();
    if (desktopCreated) ExecEngine->DesktopName = kContestRoomDesktop;
    // One run after another: each test's run takes over the groups of the
    // one before, when it left nothing in them, and the view's skeleton.
    ExecEngine->KeepRunSetUp();
    // Checked afresh at the start of every judging run, whatever an earlier
    // one that failed left here.
    FWorkDirChecked = false;
    PrepareWorkDir(false);
    FWorkDirChecked = true;

    MaxProgress = 0;
    for (const TJudgePair& pair : List) MaxProgress += 1 + FExamSet->ObjX(pair.EName)->Count();
    Progress = 0;
    UpdateProgress();

    result = true;
    for (const TJudgePair& pair : List) {
      // The name becomes the folder the submission is copied from. One that
      // could lead elsewhere is not judged, but it is the folder's fault,
      // not the run's: everybody after it is still judged, and the jury
      // hears at the end who was left out.
      if (!IsSafePathComponent(pair.CName)) {
        SkipPair(pair, "Tên thí sinh \"" + PrintableName(pair.CName) + "\" không hợp lệ");
        continue;
      }
      if (const std::string missing = MissingFolderReason(pair.CName); !missing.empty()) {
        SkipPair(pair, missing, true);
        continue;
      }
      TResultC* RC = FResultSet->ObjF(pair.CName);
      const TResultE* before = RC->Obj(pair.EName);
      FPrevious = before != nullptr ? std::make_unique<TExamResultCopy>(*before) : nullptr;
      TResultE* RE = RC->ObjF(pair.EName);
      if (!JudgeSubmission(RE)) {
        result = false;
        break;
      }
    }
  } catch (...) {
    cleanUp.Keep(std::current_exception());
  }
  if (!SkippedPairs.empty()) {
    result = false;
    // One line, as the window's status shows it; the names readable.
    cleanUp.Step([this] {
      std::string names;
      for (const std::string& name : FSkippedNames) names += (names.empty() ? "" : ", ") + name;
      DoStatus("Không chấm được " + std::to_string(SkippedPairs.size()) + " bài: " + names);
    });
  }
  FPrevious.reset();
  FWorkDirChecked = false;
  cleanUp.Step([this] { ExecEngine.reset(); });
  cleanUp.Step([this] { ShellDeleteProc(WorkDir); });
  cleanUp.Step([this] { ProtectContestData(false); });
  cleanUp.Step([this] { DoNotify(jaEndJudge, "", "", ""); });
  cleanUp.Step([] { SetAdminLogon(false); });
  cleanUp.RethrowIfFailed();
  return result;
}

std::string TJudgeEngine::MissingFolderReason(const std::string& CName) const {
  const std::string& contestants = FResultSet->Dir();
  if (FolderGone(contestants))
    return "Không tìm thấy thư mục bài làm \"" + WithoutTrailingDelimiter(contestants) +
           "\" (có thể đã bị đổi tên, chuyển đi hoặc xóa)";
  // A known contestant's folder has the letter case of its name in the set.
  const TResultC* known = FResultSet->Obj(CName);
  if (FolderGone(known != nullptr ? known->Dir() : JoinPath(contestants, CName)))
    return "Không tìm thấy thư mục của thí sinh";
  return "";
}

void TJudgeEngine::NoteSkippedPair(const std::string& CName, const std::string& EName, const std::string& Why,
                                   bool NameContestant) {
  const std::string contestant = NameContestant ? "thí sinh \"" + PrintableName(CName) + "\", " : "";
  SkippedPairs.push_back(Why + " (" + contestant + "bài " + PrintableName(EName) + ")");
  FSkippedNames.push_back("\"" + PrintableName(CName) + "\"" + "‣" + PrintableName(EName));
  DoStatus(SkippedPairs.back());
}

void TJudgeEngine::SkipPair(const TJudgePair& Pair, const std::string& Why, bool NameContestant) {
  NoteSkippedPair(Pair.CName, Pair.EName, Why, NameContestant);
  // Its share of the work counts as done, so that the gauge still ends full.
  Progress += 1 + FExamSet->ObjX(Pair.EName)->Count();
  UpdateProgress();
}

std::string TJudgeEngine::SkippedPairsMessage() const {
  if (SkippedPairs.empty()) return "";
  std::string text = "Không chấm được " + std::to_string(SkippedPairs.size()) + " bài:";
  for (const std::string& line : SkippedPairs) text += "\r\n" + line;
  return text;
}

void TJudgeEngine::RestoreExamResult(TResultC* RC, const std::string& EName) {
  if (FPrevious)
    FPrevious->RestoreInto(*RC->ObjF(EName));
  else
    RC->Exclude(EName);
  RC->UpdateScore();
}

bool TJudgeEngine::JudgeSubmission(TResultE* RE) {
  TResultC* RC = RE->Owner;
  RE->state = jsNotyetJudged;
  RC->UpdateScore();
  const std::string CName = RC->Name();
  const std::string EName = RE->Name();

  TSubmissionEnding ending;
  std::exception_ptr error;
  try {
    ending = JudgeSubmissionSteps(RE);
  } catch (...) {
    ending = TSubmissionEnding::Failed;
    error = std::current_exception();
  }

  // What the ending means for the result, the waiting room and the jury.
  std::string failure;  // ErrorMsg of a failed submission
  try {
    if (ending != TSubmissionEnding::Completed) {
      RestoreExamResult(RC, EName);
      RE = nullptr;  // it may be gone
    }
    std::exception_ptr roomError;
    try {
      DeleteOrFail(WaitRoomDir);
    } catch (...) {
      roomError = std::current_exception();
    }
    if (roomError) {
      switch (ending) {
        case TSubmissionEnding::Completed:
          // The result stands, marked as failed.
          RE->state = jsFailure;
          RE->Evaluation = 0;
          RE->EvaluationText = MessageOf(roomError);
          RC->UpdateScore();
          break;
        case TSubmissionEnding::Stopped:
          // The next pair cannot start in an empty room: an error, also
          // after a stop.
          ending = TSubmissionEnding::Failed;
          error = roomError;
          break;
        case TSubmissionEnding::Failed: break;  // the first error tells why
      }
    }
    if (ending == TSubmissionEnding::Failed)
      failure = "Lỗi khi chấm " + CName + "‣" + EName + ":\r\n" + MessageOf(error);
  } catch (...) {
    // Putting the earlier result back (or marking this one) failed; the
    // run stops with that message.
    ending = TSubmissionEnding::Failed;
    failure = MessageOf(std::current_exception());
  }

  if (ending == TSubmissionEnding::Stopped) return false;  // quietly: no end event
  if (ending == TSubmissionEnding::Failed) {
    ErrorCode = 1;
    ErrorMsg = failure;
  }
  DoNotify(jaEndJudge, CName, EName, "");
  return ending == TSubmissionEnding::Completed;
}

TJudgeEngine::TSubmissionEnding TJudgeEngine::JudgeSubmissionSteps(TResultE* RE) {
  TResultC* RC = RE->Owner;
  const std::string EName = RE->Name();
  DoNotify(jaBeginJudge, RC->Name(), EName, "");
  PrepareWaitRoom(true);  // whatever an earlier pair left must not be judged as this one
  UpdateProgress();

  ++Progress;
  UpdateProgress();
  if (UserCancel) return TSubmissionEnding::Stopped;
  const TExamInfo* Exam = FExamSet->Obj(EName);
  if (Exam == nullptr) throw std::runtime_error("Không có đề bài \"" + EName + "\" trong kỳ thi");
  // Tests the jury left without an input file can judge nobody: the pair
  // fails with the reason, nothing of it is compiled or run, and judging
  // goes on with the next pair.
  if (const std::string fault = InputFilesFault(*Exam); !fault.empty()) {
    Progress += Exam->Count();
    RE->Clear();
    RE->state = jsFailure;
    RE->Evaluation = 0;
    RE->EvaluationText = fault;
    RC->UpdateScore();
    NoteSkippedPair(RC->Name(), EName, fault, true);
    return TSubmissionEnding::Completed;
  }
  DoStatus("Chép bài...");
  CopySubmission(RE);

  DoStatus("Dịch bài...");
  if (CompileSubmission(RE) != TCompilerEngine::crOK) {
    Progress += Exam->Count();
    // Test results of an earlier program say nothing about this one.
    RE->Clear();
  } else {
    // Results of tests the exam no longer has must not count.
    const std::vector<std::string> tests = Exam->KeyExport();
    RE->DoFilter(tests);
    for (TTestInfo* test : *Exam)
      if (!JudgeTest(RE->ObjF(test->Name()))) return TSubmissionEnding::Stopped;
    RE->state = jsJudged;
  }
  RE->UpdateScore();
  RC->UpdateScore();
  return UserCancel ? TSubmissionEnding::Stopped : TSubmissionEnding::Completed;
}

bool TJudgeEngine::JudgeTest(TResultT* RT) {
  const TResultE* RE = RT->Owner;
  const TResultC* RC = RE->Owner;
  bool Result = false;
  PrepareContestRoom(true);
  std::exception_ptr error;
  try {
    DoNotify(jaBeginJudge, RC->Name(), RE->Name(), RT->Name());
    if (!UserCancel) {
      MoveCompiledFiles(RE->CompiledFile);
      RunTest(RT, ContestRoomDir + "/" + RE->CompiledFile);
      DoNotify(jaEndJudge, RC->Name(), RE->Name(), RT->Name());
      Result = !UserCancel;
    }
  } catch (...) {
    error = std::current_exception();
  }
  try {
    EmptyOrFail(ContestRoomDir);  // what the test left is gone before the next starts
  } catch (...) {
    if (!error) error = std::current_exception();
  }
  ++Progress;
  UpdateProgress();
  if (error) std::rethrow_exception(error);
  return Result;
}

// ---- Folders -----------------------------------------------------------------

void TJudgeEngine::PrepareWorkDir(bool Fresh) {
  if (!Fresh && FWorkDirChecked && PathExists(WorkDir)) return;
  const std::string house = WorkFolderHouse();
  if (!PathExists(house)) CreateFolder(house);
  // Another Velkor deletes and makes its work folder here too.
  HoldWorkFolderHouse(house);
  // Recomputed on every call: a run and its rooms always use the plain
  // name, also after the constructor had to choose another.
  const std::string plain = JoinPath(house, kWorkFolderName);
  RefuseContestInside(plain, {WithoutTrailingDelimiter(FExamSet->Dir()), WithoutTrailingDelimiter(FResultSet->Dir())});
  WorkDir = plain;
  if (Fresh && PathExists(WorkDir)) {
    // Another Velkor's place may lie inside (a jury that chose a folder
    // here for it): its files stay, and this run takes another name.
    if (LockOfAnotherInside(WorkDir).empty()) DeleteWithRetry(WorkDir);
    while (PathExists(WorkDir)) WorkDir = JoinPath(house, kWorkFolderName + std::to_string(Random(0x7FFFFFFF)));
  }
  if (PathExists(WorkDir)) {
    // One that could not be deleted (an older Velkor's) may be open to
    // every account; another Velkor's place inside keeps it as it is.
    if (OpenToOthers(WorkDir) && LockOfAnotherInside(WorkDir).empty()) CloseToOthers(WorkDir);
    return;
  }
  CreateFolder(WorkDir);
  CloseToOthers(WorkDir);
  WorkOnNTFS = VolumeHasACLs(WorkDir);
  // Opened to the security account too, for its file work in the rooms;
  // to no other account.
  if (WorkOnNTFS && EnvConfig && EnvConfig->ActiveSecurity) {
    FWorkDirAccess.clear();
    KeepAccessLists(WorkDir, FWorkDirAccess);
    SetExplicitACL(WorkDir, WorkDirAccess(false), 0);
  }
}

void TJudgeEngine::PrepareRoom(const char* Name, std::string& Room, bool Fresh) {
  PrepareWorkDir(false);
  Room = JoinPath(WorkDir, Name);
  // A room of Velkor's own is emptied rather than deleted and made again
  // (for every test); anything else under its name goes.
  std::error_code ec;
  if (Fresh && fs::is_directory(fs::symlink_status(Room, ec)))
    EmptyOrFail(Room);
  else if (Fresh && PathExists(Room))
    DeleteOrFail(Room);
  if (!PathExists(Room)) CreateFolder(Room);
  if (EnvConfig && EnvConfig->ActiveSecurity && VolumeHasACLs(Room))
    SetExplicitACL(Room, std::span(&eaEveryoneAccess, 1), 0);
}

void TJudgeEngine::PrepareWaitRoom(bool Fresh) { PrepareRoom(kWaitRoomName, WaitRoomDir, Fresh); }

void TJudgeEngine::PrepareContestRoom(bool Fresh) { PrepareRoom(kContestRoomName, ContestRoomDir, Fresh); }

// ---- TJudgeThread ------------------------------------------------------------

TJudgeThread::TJudgeThread(TContestInfo& aContestInfo, TCompilerConfig& aCompiler, TCheckerSet& aCheckerSet)
    : Engine(std::make_unique<TJudgeEngine>(aContestInfo, aCompiler, aCheckerSet)) {}

TJudgeThread::~TJudgeThread() {
  if (FThread.joinable()) FThread.join();
}

void TJudgeThread::Start() {
  if (FThread.joinable() || List == nullptr) throw std::logic_error("TJudgeThread: already started or no list");
  // An error that leaves the run (a handler's, the hand-off's) must reach
  // whoever waits for it, not end the process.
  FThread = std::thread([this] {
    try {
      FResult = Engine->Run(*List);
    } catch (...) {
      FResult = false;
      FError = std::current_exception();
    }
  });
}

bool TJudgeThread::WaitFor() {
  if (FThread.joinable()) FThread.join();
  if (FError) std::rethrow_exception(std::exchange(FError, nullptr));
  return FResult;
}

}  // namespace velkor
