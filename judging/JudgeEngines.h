// The judge engine: judges a queue of contestant-exam pairs over the open
// contest.
//
// For each pair the engine copies the contestant's files into a waiting
// room, compiles the exam's source there, and runs the compiled program
// once per test in a contest room, each run under the test's (or the
// exam's) time and memory limits; the exam's checker plug-in scores every
// program that ended normally, and the scores are summed into the results.
// It borrows the contest's exam and result sets, the compiler table and the
// checker set, and owns, for one run, a process runner and its folders:
//
//   <ContestHouse>/VelkorWorkSpace               the work folder
//   <ContestHouse>/VelkorWorkSpace/WaitRoom      one submission's files and its compile
//   <ContestHouse>/VelkorWorkSpace/ContestRoom   one test's run
//
// It reports only through its five events, in this order for one pair with
// one test whose program exits with 0:
//
//   OnInit
//   OnStatusNotify(what the machine cannot give the runs), only where the
//   machine lacks something (platform::RunLimitations)
//   OnJudgeNotify(jaBeginJudge, "", "", "")         the run begins; OnProgressNotify(0)
//   OnJudgeNotify(jaBeginJudge, C, E, "")           OnProgressNotify twice,
//                                                   "Chép bài...", "Dịch bài..."
//   OnJudgeNotify(jaBeginJudge, C, E, T)            "Chép input...", "Nạp bài làm",
//                                                   "Chạy bài làm", "Kết thúc bài làm", "Chấm..."
//   OnJudgeNotify(jaEndJudge, C, E, T)              OnProgressNotify
//   OnJudgeNotify(jaEndJudge, C, E, "")
//   OnJudgeNotify(jaEndJudge, "", "", "")
//   OnFinish
//
// A handler stops the run by setting its UserCancel argument. Events are
// raised on the calling thread when that is the GUI thread, and otherwise
// handed to the GUI thread through the core's main-thread hand-off
// (core/Dialogs.h), the caller waiting until the handler has run.
//
// The engine uses process-wide state (the compile step's PATH, the security
// account's impersonation), so only one run may be active in a process.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/ExecRoutines.h"
#include "core/FileUtils.h"
#include "core/LinkedLists.h"
#include "judging/Checkers.h"
#include "judging/Compilers.h"
#include "judging/Contests.h"

namespace velkor {

// One unit of judging work.
struct TJudgePair {
  std::string CName;  // the contestant
  std::string EName;  // the exam
};

void MakeJudgePair(const std::string& CName, const std::string& EName, TJudgePair& Pair);

// Unpacks a submitted ZIP file into Folder (the waiting room) as far as it
// goes; a damaged archive simply leaves its remaining contents out. Nothing
// in it is trusted: entries that would land outside Folder and symbolic
// links are skipped, and the unpacked bytes and entries are limited. A full
// disk is no damage of the archive: it raises EJuryDiskFull.
void UnpackSubmissionArchive(const std::string& ZipFile, const std::string& Folder);

// Raised when Velkor's own writes for a run (a submission or an input
// copied in, a redirected output, what a program or compile wrote brought
// back from its room) fail because the jury's disk is full: the run stops
// there, and the pair keeps the result it had before, as for any error of
// the jury's side. Its text, in Vietnamese, names the folder and the room
// left on its disk, and ends with Detail.
class EJuryDiskFull : public std::runtime_error {
 public:
  EJuryDiskFull(const std::string& Folder, const std::string& Detail);
  const std::string& Folder() const { return FFolder; }

 private:
  std::string FFolder;
};

// The room left for Velkor on the file system of Folder (or of the nearest
// folder above it that exists), as the jury reads it: "1,5 MB".
std::string FreeSpaceText(const std::string& Folder);

// What the machine cannot give the runs (platform::RunLimitations), as one
// Vietnamese sentence for the jury; "" when every guarantee holds.
std::string RunLimitationNotice();

enum TJudgeAction { jaBeginJudge, jaEndJudge, jaMessage /* never raised */ };

class TJudgeEngine;

// tname is empty for the begin and end of a submission; all three names are
// empty for the begin and end of the run.
using TJudgeNotifyEvent = std::function<void(TJudgeEngine* Sender, TJudgeAction action, const std::string& CName,
                                             const std::string& EName, const std::string& tname, bool& UserCancel)>;
// prg: the done fraction, 0 to 1.
using TProgressNotifyEvent = std::function<void(TJudgeEngine* Sender, double prg)>;
using TStatusNotifyEvent = std::function<void(TJudgeEngine* Sender, const std::string& status)>;
using TJudgeEngineEvent = std::function<void(TJudgeEngine* Sender)>;

// The name of the desktop the contestants' programs run on.
inline constexpr const char* kContestRoomDesktop = "VelkorContestRoom";
inline constexpr const char* kWorkFolderName = "VelkorWorkSpace";
inline constexpr const char* kWaitRoomName = "WaitRoom";
inline constexpr const char* kContestRoomName = "ContestRoom";

class TJudgeEngine {
 public:
  // Prepares the work folder and tests the security account's logon.
  TJudgeEngine(TContestInfo& aContestInfo, TCompilerConfig& aCompiler, TCheckerSet& aCheckerSet);
  // Deletes the work folder and ends the logon.
  ~TJudgeEngine();
  TJudgeEngine(const TJudgeEngine&) = delete;
  TJudgeEngine& operator=(const TJudgeEngine&) = delete;

  // One judging run over List, in its order; List is not changed. True when
  // every pair was judged; False when the run was stopped or failed, and
  // then ErrorCode tells the two apart.
  bool Run(const TSinglyLinkedList<TJudgePair>& List);

  const TJudgeEngineEvent& OnInit() const { return FOnInit; }
  void SetOnInit(TJudgeEngineEvent Value) { FOnInit = std::move(Value); }
  const TJudgeNotifyEvent& OnJudgeNotify() const { return FOnJudgeNotify; }
  void SetOnJudgeNotify(TJudgeNotifyEvent Value) { FOnJudgeNotify = std::move(Value); }
  const TProgressNotifyEvent& OnProgressNotify() const { return FOnProgressNotify; }
  void SetOnProgressNotify(TProgressNotifyEvent Value) { FOnProgressNotify = std::move(Value); }
  const TStatusNotifyEvent& OnStatusNotify() const { return FOnStatusNotify; }
  void SetOnStatusNotify(TStatusNotifyEvent Value) { FOnStatusNotify = std::move(Value); }
  const TJudgeEngineEvent& OnFinish() const { return FOnFinish; }
  void SetOnFinish(TJudgeEngineEvent Value) { FOnFinish = std::move(Value); }

  // 0, or 1 after a run that failed: an error in preparing or cleaning up
  // the run, or in judging one submission. ErrorMsg is its text.
  std::int64_t ErrorCode = 0;
  std::string ErrorMsg;
  // True when Run was called on the GUI thread.
  bool RunInMainThread = false;
  // The pairs the last run could not judge for a fault of the jury's
  // folders (a name that cannot be used, a test without its input file),
  // one Vietnamese line each naming the pair and why; the run judged the
  // others. A pair whose exam's tests lack an input file keeps that reason
  // as its failed result. Run returns False when there is any, with
  // ErrorCode 0 unless something else failed.
  std::vector<std::string> SkippedPairs;
  // SkippedPairs as one text for the jury, a line each; "" when there is
  // none. The run's last status names the same pairs on one line.
  std::string SkippedPairsMessage() const;

 private:
  // The exam result of a pair as it was before the run judged it again.
  struct TExamResultCopy;

  void DoInit();
  void DoFinish();
  void DoNotify(TJudgeAction action, const std::string& CName, const std::string& EName, const std::string& tname);
  void DoProgress(double prg);
  void DoStatus(const std::string& status);
  void RaiseEvent(const std::function<void()>& Call);
  void UpdateProgress();

  bool JudgeList(const TSinglyLinkedList<TJudgePair>& List);
  // Names a pair the run could not judge (SkippedPairs) and says why; the
  // line names the contestant too unless Why already does.
  void NoteSkippedPair(const std::string& CName, const std::string& EName, const std::string& Why,
                       bool NameContestant);
  // Why the contestant CName cannot be judged for want of a folder: the
  // contestants folder or the contestant's own one is gone (renamed, moved,
  // a disk unplugged). That says nothing of the contestant's source, so
  // the pair is left out with its result, never judged as "no source",
  // which only an existing folder without a source is. "" when it is there.
  std::string MissingFolderReason(const std::string& CName) const;
  // A pair left unjudged for its contestant's name or folder: noted, and
  // its share of the work counted done.
  void SkipPair(const TJudgePair& Pair, const std::string& Why, bool NameContestant = false);
  // How one submission ended (JudgeEngines.cpp tells what each means for
  // its result, its end event and the run).
  enum class TSubmissionEnding { Completed, Stopped, Failed };
  bool JudgeSubmission(TResultE* RE);
  // The submission's work up to its scores; raises on an error.
  TSubmissionEnding JudgeSubmissionSteps(TResultE* RE);
  bool JudgeTest(TResultT* RT);
  void PrepareWorkDir(bool Fresh);
  void PrepareWaitRoom(bool Fresh);
  void PrepareContestRoom(bool Fresh);
  void PrepareRoom(const char* Name, std::string& Room, bool Fresh);
  void RestoreExamResult(TResultC* RC, const std::string& EName);

  // The steps of one submission and one test (JudgeEngines_TestRun.cpp).
  void CopySubmission(TResultE* RE);
  TCompilerEngine::TCompileResult CompileSubmission(TResultE* RE);
  // The program's files, copied from the waiting room into the contest room.
  void MoveCompiledFiles(const std::string& FileName);
  // Why the exam's tests cannot be judged for want of an input file (a
  // missing file, an unusable name in the settings); "" when they can.
  // Found once per exam in a judging run.
  std::string InputFilesFault(const TExamInfo& Exam);
  void CopyInputFiles(const TExamInfo& Exam, const TTestInfo& Test);
  void PrepareExec(const TExamInfo& Exam, const TTestInfo& Test, const std::string& FileName);
  void RunTest(TResultT* RT, const std::string& FileName);
  void ExecNotify(TExecEngine& Sender, TExecEngineState state);

  // The security mode's steps around the run, a program and a checker
  // (judging/Security.h tells how they work together), and the view every
  // compile and program gets (JudgeEngines_Security.cpp).
  void ProtectContestData(bool Protect);
  void ProtectRooms(bool Lock);
  std::vector<TExplicitAccess> WorkDirAccess(bool Running) const;
  void GrantCheckerAccess(bool Grant, const TExamInfo& Exam, const TTestInfo& Test);
  void SwitchSecurityOff(const std::string& Reason);
  // Why the contest's folders cannot be kept from the programs; "" when
  // they can (Roots: the tasks and contestants folders to protect).
  std::string ContestLayoutFault(std::vector<std::string>& Roots) const;
  // The installations of the compiler table's programs and of the runtimes,
  // which every compile and run sees read-only.
  std::vector<std::string> ToolFolders() const;
  // The contest's folders, Velkor's own and the jury's home folder: no run
  // sees them, however a compiler or runtime is installed.
  std::vector<std::string> PrivateFolders() const;
  // Why a program that did not start could not: its folder holds one of the
  // private folders, so no run is shown it. "" for any other program.
  std::string HiddenProgramNotice(const TExecEngine& Engine) const;
  // With the security mode, raises when a protected folder is no longer
  // where it was, by its real path or by the name the contest gives it.
  void CheckProtectedFolders() const;
  // Gives a program or compile working in Room its view (Room writable,
  // the tools read-only); with the security mode, raises when a protected
  // folder is no longer where it was.
  void SetProgramView(TExecEngine& Engine, const std::string& Room) const;
  // Path, in a protected folder that may have been moved while judging,
  // where that folder is now.
  std::string WhereNow(const std::string& Path) const;

  TResultSet* FResultSet;
  TExamSet* FExamSet;
  TCompilerConfig* FCompiler;
  TCheckerSet* FCheckerSet;
  std::string WorkDir;
  std::string WaitRoomDir;
  std::string ContestRoomDir;
  TJudgeNotifyEvent FOnJudgeNotify;
  bool UserCancel = false;
  TProgressNotifyEvent FOnProgressNotify;
  TStatusNotifyEvent FOnStatusNotify;
  std::string LimitedUser;
  TExplicitAccess eaEveryoneAccess;
  TExplicitAccess eaLimitedUserDeny;
  bool WorkOnNTFS = false;
  // Access lists as they were before the security mode changed them, in the
  // order they are put back: the contest's for the run, the checker's for
  // one call.
  using TSavedAccessLists = std::vector<std::pair<std::string, platform::TAccessListCopy>>;
  TSavedAccessLists FContestAccess;
  TSavedAccessLists FCheckerAccess;
  // The folders the security mode closes to the programs' account for the
  // run (the tasks, the contestants and the work folder), as found when the
  // run began; empty with the mode off.
  struct TProtectedFolder {
    std::string Given;  // as the contest names it
    std::string Path;   // where it was found, links followed
    std::uint64_t Device = 0, Inode = 0;
    platform::UniqueFd Handle;  // follows the folder wherever it is moved
  };
  std::vector<TProtectedFolder> FProtectedFolders;
  // The work folder's lists before it was opened for the security account:
  // put back when the mode switches off, so it is not left open to all.
  TSavedAccessLists FWorkDirAccess;
  std::unique_ptr<TExecEngine> ExecEngine;
  // The languages' runtimes, where they were found when the engine was made.
  TRuntimePaths FRuntimes;
  std::int64_t MaxProgress = 0;
  std::int64_t Progress = 0;
  TJudgeEngineEvent FOnInit;
  TJudgeEngineEvent FOnFinish;
  // The pair being judged, before this run touched it; empty when it had
  // no exam result yet.
  std::unique_ptr<TExamResultCopy> FPrevious;
  // The work folder has been found and checked in this judging run: each
  // room only makes sure it is still there, without resolving the contest's
  // paths again.
  bool FWorkDirChecked = false;
  // The pairs in SkippedPairs as "contestant"‣exam, readable.
  std::vector<std::string> FSkippedNames;
  // InputFilesFault of each exam met in this judging run.
  std::map<std::string, std::string> FInputFaults;
};

// Runs one judging run on a thread of its own. The program judges on the
// GUI thread and never uses this; it exists for callers that judge in the
// background, whose engine events then reach the GUI thread through the
// hand-off.
class TJudgeThread {
 public:
  TJudgeThread(TContestInfo& aContestInfo, TCompilerConfig& aCompiler, TCheckerSet& aCheckerSet);
  // Waits for the run to end, then frees the engine.
  ~TJudgeThread();
  TJudgeThread(const TJudgeThread&) = delete;
  TJudgeThread& operator=(const TJudgeThread&) = delete;

  // Starts Engine->Run(*List) on the thread; List must outlive the run.
  void Start();
  // Waits for the run to end and returns its result; an error that left
  // the run is raised here.
  bool WaitFor();

  const TSinglyLinkedList<TJudgePair>* List = nullptr;
  std::unique_ptr<TJudgeEngine> Engine;

 private:
  std::thread FThread;
  bool FResult = false;
  std::exception_ptr FError;
};

}  // namespace velkor
