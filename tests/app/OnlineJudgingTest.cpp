// The online judging pass without a window: submissions dropped into a
// folder are moved into a real contest, judged by the real engine with the
// system's compiler, and their logs written. The main window's timers
// around the pass are tested in MainFormProgramTest.cpp.
#include "app/OnlineJudging.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "AppTestSupport.h"
#include "core/FileUtils.h"
#include "judging/Checkers.h"
#include "judging/ContestArchive.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/FolderLocks.h"
#include "judging/Globals.h"
#include "judging/SubmitU.h"
#include "platform/FileLocks.h"
#include "platform/FolderChanges.h"
#include "platform/ShellFileOps.h"
#include "platform/UniqueFd.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::TContestTree;
using testing::WriteText;
using test::kRightCpp;
using test::kWrongCpp;


// 2026-12-10 09:05:03.007 as a local date-time.
constexpr TDateTime kStampTime = 46366 + (9 * 3600 + 5 * 60 + 3.007) / 86400.0;

std::vector<std::string> Names(const std::string& Folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(Folder, ec)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string FirstLine(const std::string& Text) { return Text.substr(0, Text.find('\n') + 1); }

TEST(OnlineJudgingNames, TimeStampHas17Digits) {
  struct Case {
    TDateTime Time;
    const char* Expected;
  } cases[] = {
      {kStampTime, "20261210090503007"},
      {36585, "20000229000000000"},
      {36585 + 86399999.6 / 86400000, "20000301000000000"},  // 23:59:59.9996 rounds into the next day
  };
  for (const Case& c : cases) EXPECT_EQ(FormatTimeStamp(c.Time), c.Expected);
}

class LogNames : public ::testing::Test {
 protected:
  void SetUp() override {
    FileUtilsInit();
    fs::create_directories(logs);
    savedSleep = SetRetrySleep([this](std::uint32_t ms) { waits.push_back(ms); });
    savedClock = SetSubmitClock([this] { return kStampTime + (ticks++) / 86400000.0; });
  }
  void TearDown() override {
    SetRetrySleep(savedSleep);
    SetSubmitClock(savedClock);
  }
  // A log written at Seconds since the epoch, whose stamp is returned.
  std::string WriteLogAt(const std::string& Name, const std::string& Text, time_t Seconds) {
    WriteText(logs + Name, Text);
    const timespec times[2] = {{0, UTIME_OMIT}, {Seconds, 7000000}};
    EXPECT_EQ(::utimensat(AT_FDCWD, (logs + Name).c_str(), times, 0), 0);
    return FormatTimeStamp(FileTimeToLocalDateTime(times[1]));
  }

  testing::TempFolder folder;
  std::string logs = folder.Path() + "/Logs/";
  TSleepProc savedSleep;
  TLocalClock savedClock;
  std::vector<std::uint32_t> waits;
  int ticks = 0;
};

// A later log never deletes an earlier one: the earlier is set aside under
// the stamp of its own last write, and the plain name is the newest log.
TEST_F(LogNames, EarlierLogIsSetAsideUnderTheStampOfItsWrite) {
  EXPECT_EQ(GetLogFileName(logs, "x[C][A].cpp"), "x[C][A].cpp.log");
  EXPECT_TRUE(Names(logs).empty());

  const std::string stamp = WriteLogAt("x[C][A].cpp.log", "first", 1765443903);
  EXPECT_EQ(GetLogFileName(logs, "x[C][A].cpp"), "x[C][A].cpp.log");
  EXPECT_EQ(Names(logs), std::vector<std::string>{"x[C][A].cpp." + stamp + ".log"});
  EXPECT_EQ(ReadText(logs + "x[C][A].cpp." + stamp + ".log"), "first");

  // Written in the same millisecond: the next free one, nothing replaced.
  WriteLogAt("x[C][A].cpp.log", "second", 1765443903);
  EXPECT_EQ(GetLogFileName(logs, "x[C][A].cpp"), "x[C][A].cpp.log");
  const std::string next = FormatTimeStamp(FileTimeToLocalDateTime({1765443903, 8000000}));
  EXPECT_EQ(Names(logs), (std::vector<std::string>{"x[C][A].cpp." + stamp + ".log", "x[C][A].cpp." + next + ".log"}));
  EXPECT_EQ(ReadText(logs + "x[C][A].cpp." + stamp + ".log"), "first");
  EXPECT_EQ(ReadText(logs + "x[C][A].cpp." + next + ".log"), "second");
  EXPECT_TRUE(waits.empty());
}

TEST_F(LogNames, LogIsUtf8WithBomAndCrLfAndNeverFollowsALink) {
  WriteSubmissionLog(logs + "a.log", {"C9‣A: 2.00", "", "C9‣A‣1: 1.00"});
  EXPECT_EQ(ReadText(logs + "a.log"), "\xEF\xBB\xBF" "C9‣A: 2.00\r\n\r\nC9‣A‣1: 1.00\r\n");
  EXPECT_EQ(Names(logs), std::vector<std::string>{"a.log"});

  // Links planted at the temporary name and at the log's name are replaced,
  // and what they pointed at stays as it was.
  const std::string victim = folder.Path() + "/victim";
  WriteText(victim, "keep");
  fs::create_symlink(victim, logs + "b.log.tmp");
  fs::create_symlink(victim, logs + "b.log");
  WriteSubmissionLog(logs + "b.log", {"x"});
  EXPECT_EQ(ReadText(victim), "keep");
  EXPECT_FALSE(fs::is_symlink(logs + "b.log"));
  EXPECT_EQ(ReadText(logs + "b.log"), "\xEF\xBB\xBFx\r\n");
}

// A contest with one exam "A" (two tests on standard input and output, mark
// 1 each) and one contestant "OLD"; the process-wide objects as the program
// has them, and a submission folder.
class OnlinePass : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::StartProgramModel("app_program_test");
  }
  static void TearDownTestSuite() { FinalizeGlobals(); }

  void SetUp() override {
    savedSleep = SetRetrySleep([](std::uint32_t) {});
    savedUnpackDir = EnvConfig->DecompressDir;
    tree.AddExam("A");
    tree.AddTest("A", "1", {{"A.INP", "1 2\n"}, {"A.OUT", "3\n"}});
    tree.AddTest("A", "2", {{"A.INP", "20 22\n"}, {"A.OUT", "42\n"}});
    tree.AddContestant("OLD");
    ContestInfo->Reset();
    ContestInfo->LoadExams(tree.TasksDir());
    ContestInfo->LoadContestants(tree.ContestantsDir());
    TExamInfo* a = ContestInfo->ExamSet().Obj("A");
    a->UseStdIn = a->UseStdOut = true;
    a->EvaluatorName = "CompareTokens.dll";
    a->TimeLimit = 5;
    fs::create_directories(submit);
    hooks.Judge = [this](TQueue<TJudgePair>& Queue) {
      for (const TJudgePair& p : Queue) judged.push_back(p.CName + "/" + p.EName);
      TJudgeEngine engine(*ContestInfo, *CompilerConfig, *Checkers);
      engine.Run(Queue);
    };
    hooks.ContestantAdded = [this] { rows.push_back(ContestInfo->ResultSet().Count()); };
    hooks.ContestChanged = [this] { ++changes; };
  }
  void TearDown() override {
    ContestInfo->Reset();
    SetRetrySleep(savedSleep);
    EnvConfig->DecompressDir = savedUnpackDir;
  }
  void Submit(const std::string& Name, const std::string& Text) { WriteText(submit + "/" + Name, Text); }
  int Pass() { return JudgeSubmissionPass(*ContestInfo, submit, hooks); }
  // The fixture's contest saved as an archive and opened again from it,
  // unpacked under UnpackDir; returns the archive.
  std::string OpenFromArchive(const std::string& UnpackDir) {
    EnvConfig->DecompressDir = UnpackDir;
    const std::string archive = tree.Path("thi.contest");
    EXPECT_TRUE(ContestInfo->FileSave(archive)) << ContestInfo->ErrorMsg();
    EXPECT_TRUE(ContestInfo->FileLoad(archive)) << ContestInfo->ErrorMsg();
    ContestInfo->SetFileName(archive);
    return archive;
  }

  TContestTree tree;
  std::string submit = tree.Path("Submit");
  std::string logs = submit + "/Logs/";
  TOnlineJudgeHooks hooks;
  std::vector<std::string> judged;
  std::vector<int> rows;  // the set's size each time a contestant was added
  int changes = 0;
  TSleepProc savedSleep;
  std::string savedUnpackDir;
  // Files written a moment ago count as complete unless a test says not.
  test::TShiftedSubmitClock clock;
};

// A folder that another Velkor judges is not ours to take from: the pass
// refuses it whole, and the file waits there for the one that holds it.
TEST_F(OnlinePass, AFolderAnotherProcessHoldsIsLeftAlone) {
  Submit("x[C9][A].cpp", kRightCpp);
  platform::TFileLock other;
  ASSERT_EQ(other.Take(submit + "/" + kSubmissionFolderLockName), platform::TFileLock::flAcquired);
  EXPECT_THROW(Pass(), EFolderHeld);
  const std::string refusal = TakeSubmissionFolder(submit);
  EXPECT_NE(refusal.find("thư mục nộp bài \"" + submit + "\""), std::string::npos) << refusal;
  EXPECT_TRUE(judged.empty());
  EXPECT_TRUE(fs::exists(submit + "/x[C9][A].cpp"));
  EXPECT_FALSE(fs::exists(submit + "/$History"));

  other.Release();
  EXPECT_EQ(TakeSubmissionFolder(submit), "");
  EXPECT_EQ(Pass(), 1);
  EXPECT_EQ(judged, std::vector<std::string>{"C9/A"});
}

TEST_F(OnlinePass, NewContestantIsCreatedJudgedAndLogged) {
  Submit("x[C9][A].cpp", kRightCpp);
  Submit("notes.txt", "not a submission");
  Submit("z[C9][A].log", "a log is never a submission");
  Submit("[..][A].cpp", kRightCpp);  // not a safe contestant name

  EXPECT_EQ(Pass(), 1);
  EXPECT_EQ(judged, std::vector<std::string>{"C9/A"});
  EXPECT_EQ(rows, std::vector<int>{2});
  EXPECT_GE(changes, 1);
  EXPECT_TRUE(fs::exists(tree.ContestantsDir() + "/C9/A.cpp"));
  TResultE* r = ContestInfo->ResultSet().Obj("C9")->Obj("A");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->state, jsJudged);
  EXPECT_DOUBLE_EQ(r->Evaluation, 2);

  EXPECT_EQ(Names(logs), std::vector<std::string>{"x[C9][A].cpp.log"});
  const std::string log = ReadText(logs + "x[C9][A].cpp.log");
  EXPECT_EQ(FirstLine(log), "\xEF\xBB\xBF" "C9‣A: 2.00\r\n");
  EXPECT_NE(log.find("C9‣A‣2: 1.00\r\n"), std::string::npos) << log;
  EXPECT_EQ(Names(submit),
            (std::vector<std::string>{"$History", "Logs", "VelkorSubmit.lock", "[..][A].cpp", "notes.txt",
                                      "z[C9][A].log"}));
  // A copy of what was judged stays with the submissions.
  const std::vector<std::string> kept = Names(submit + "/$History");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].substr(17), "_x[C9][A].cpp");
  EXPECT_EQ(ReadText(submit + "/$History/" + kept[0]), kRightCpp);
  EXPECT_EQ(fs::status(submit + "/$History").permissions() & fs::perms::all, fs::perms::owner_all);
}

// Killed while judging online in a contest opened from an archive, where
// accepted submissions live only in the unpack folder: opening the archive
// again keeps every one of them and names the folder they are in.
TEST_F(OnlinePass, AKillDuringOnlineJudgingOfAnArchiveContestLosesNoSubmission) {
  testing::TempFolder unpack;
  const std::string archive = OpenFromArchive(unpack.Path());
  ASSERT_FALSE(HasFailure());
  Submit("x[C9][A].cpp", kRightCpp);
  Submit("y[OLD][A].cpp", kWrongCpp);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int judging = 0;
    hooks.Judge = [&judging](TQueue<TJudgePair>&) {
      if (++judging == 2) ::kill(::getpid(), SIGKILL);
    };
    Pass();
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  ASSERT_EQ(Names(submit + "/Logs").size(), 1u) << "one judged and logged, one killed while judged";

  TContestInfo reopened;
  ASSERT_TRUE(reopened.FileLoad(archive)) << reopened.ErrorMsg();
  EXPECT_EQ(reopened.ResultSet().Obj("C9"), nullptr) << "the archive as it was saved";
  std::vector<std::string> kept;
  for (const std::string& name : Names(unpack.Path()))
    if (name.starts_with(kKeptUnpackFolderName)) kept.push_back(unpack / name);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(ReadText(kept[0] + "/Contestants/C9/A.cpp"), kRightCpp);
  EXPECT_EQ(ReadText(kept[0] + "/Contestants/OLD/A.cpp"), kWrongCpp);
  ASSERT_EQ(reopened.KeptUnsaved().size(), 1u);
  EXPECT_NE(reopened.KeptUnsaved()[0].find("\"" + kept[0] + "\""), std::string::npos) << reopened.KeptUnsaved()[0];
}

TEST_F(OnlinePass, AFileForAnUnknownExamIsKeptAndLogged) {
  Submit("q[C9][NOPE].cpp", kRightCpp);
  Submit("q[C9][NOPE].cpp.log", "an old log of it");  // a log is never a submission, and is replaced
  EXPECT_EQ(Pass(), 0);
  EXPECT_TRUE(judged.empty());
  EXPECT_EQ(ContestInfo->ResultSet().Obj("C9"), nullptr);
  EXPECT_EQ(changes, 0);

  const std::vector<std::string> kept = Names(submit + "/$History");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].substr(17), "_q[C9][NOPE].cpp");
  EXPECT_EQ(ReadText(submit + "/$History/" + kept[0]), kRightCpp);
  EXPECT_FALSE(fs::exists(submit + "/q[C9][NOPE].cpp"));
  EXPECT_EQ(Names(logs), std::vector<std::string>{"q[C9][NOPE].cpp.log"});
  EXPECT_EQ(ReadText(logs + "q[C9][NOPE].cpp.log"),
            "\xEF\xBB\xBF" "Không có bài thi nào tên \"NOPE\" trong kỳ thi: bài nộp không được chấm, file được giữ lại tại \"" +
                submit + "/$History/" + kept[0] + "\".\r\n");

  // The same name again while the clock shows a stamp already taken: a
  // name of its own, nothing kept earlier is overwritten.
  Submit("q[C9][NOPE].cpp", "second");
  const TDateTime at = SubmitClockNow() + 10 / 86400.0;  // a stamp the first copy cannot have
  const TLocalClock previous = SetSubmitClock([at] { return at; });
  const std::string taken = DateTimeStamp(at) + "_q[C9][NOPE].cpp";
  WriteText(submit + "/$History/" + taken, "taken");
  EXPECT_EQ(Pass(), 0);
  SetSubmitClock(previous);
  EXPECT_EQ(Names(submit + "/$History"),
            (std::vector<std::string>{kept[0], DateTimeStamp(at) + "-1_q[C9][NOPE].cpp", taken}));
  EXPECT_EQ(ReadText(submit + "/$History/" + DateTimeStamp(at) + "-1_q[C9][NOPE].cpp"), "second");
  EXPECT_EQ(ReadText(submit + "/$History/" + taken), "taken");
}

// A submission written in pieces through one open file, with a pause of
// more than a second in the middle, while the real folder watch starts
// passes as the main window's timer would (here every 200 ms, more often
// than the window does). It is judged once, after its last write, whole.
TEST_F(OnlinePass, AFileStillBeingWrittenIsJudgedOnceWhenComplete) {
  clock.Seconds = 0;  // the real clock: the writer writes in real time
  using Clock = std::chrono::steady_clock;
  std::atomic<Clock::rep> lastWrite{0};
  std::atomic<bool> writing{true};
  const std::string path = submit + "/x[C9][A].cpp";
  const std::string source = kRightCpp;
  platform::TFolderWatch watch(submit, {platform::nfFileNameChange}, false);
  ASSERT_TRUE(watch.Active());

  std::thread writer([&] {
    platform::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    ASSERT_TRUE(fd.Valid());
    const std::size_t piece = source.size() / 6 + 1;
    for (std::size_t at = 0, n = 0; at < source.size(); at += piece, ++n) {
      if (n > 0) std::this_thread::sleep_for(std::chrono::milliseconds(n == 3 ? 1500 : 350));
      ASSERT_TRUE(platform::WriteAll(fd.Get(), std::string_view(source).substr(at, piece)));
      lastWrite = Clock::now().time_since_epoch().count();
    }
    fd.Reset();
    writing = false;
  });

  std::vector<Clock::rep> judgedAt;
  const auto judge = hooks.Judge;
  hooks.Judge = [&](TQueue<TJudgePair>& Queue) {
    judgedAt.push_back(Clock::now().time_since_epoch().count());
    judge(Queue);
  };
  bool watching = false;
  const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < giveUp && (writing || judged.empty())) {
    pollfd p{watch.Fd(), POLLIN, 0};
    ::poll(&p, 1, 200);
    if (watch.Drain()) watching = true;
    if (watching) Pass();
  }
  writer.join();
  for (int i = 0; i < 3; ++i) Pass();  // later passes find nothing more

  EXPECT_TRUE(watching);
  ASSERT_EQ(judged, std::vector<std::string>{"C9/A"});
  EXPECT_GT(judgedAt[0], lastWrite.load());
  EXPECT_EQ(ReadText(tree.ContestantsDir() + "/C9/A.cpp"), source);
  EXPECT_DOUBLE_EQ(ContestInfo->ResultSet().Obj("C9")->Obj("A")->Evaluation, 2);
  EXPECT_EQ(FirstLine(ReadText(logs + "x[C9][A].cpp.log")), "\xEF\xBB\xBF" "C9‣A: 2.00\r\n");
  EXPECT_EQ(Names(submit), (std::vector<std::string>{"$History", "Logs", "VelkorSubmit.lock"}));
}

// Two files that never settle: one held open for writing, one rewritten
// before every pass. Neither is judged; a minute after each was first seen
// its log says why, once. Once they settle, both are judged.
TEST_F(OnlinePass, AFileBusyForLongIsLoggedOnceAndJudgedWhenItSettles) {
  const std::string held = submit + "/h[C9][A].cpp", changing = submit + "/c[C8][A].cpp";
  Submit("h[C9][A].cpp", kRightCpp);
  Submit("c[C8][A].cpp", "");
  platform::UniqueFd fd(::open(held.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  ASSERT_TRUE(fd.Valid());
  const std::string source = kRightCpp;
  std::size_t written = 0;
  const auto passAt = [&](double Seconds) {
    clock.Seconds = Seconds;
    if (written < source.size()) WriteText(changing, source.substr(0, ++written));
    return Pass();
  };

  for (double at : {0.0, 20.0, 40.0, 59.0}) EXPECT_EQ(passAt(at), 0) << at;
  EXPECT_FALSE(fs::exists(logs));
  EXPECT_EQ(passAt(61), 0);
  ASSERT_EQ(Names(logs), (std::vector<std::string>{"c[C8][A].cpp.log", "h[C9][A].cpp.log"}));
  const std::string heldLog = ReadText(logs + "h[C9][A].cpp.log");
  EXPECT_EQ(heldLog.rfind("\xEF\xBB\xBF" "Bài nộp chưa được chấm: sau 60 giây file vẫn chưa ghi xong; "
                          "bài sẽ được chấm khi file ghi xong. Chi tiết: file \"h[C9][A].cpp\" đang được mở để ghi bởi tiến trình " +
                              std::to_string(::getpid()),
                          0),
            0u)
      << heldLog;
  EXPECT_NE(ReadText(logs + "c[C8][A].cpp.log").find("file \"c[C8][A].cpp\" vẫn đang thay đổi"), std::string::npos);

  // Told once: a log removed by the jury is not written again while the
  // files stay busy.
  fs::remove_all(logs);
  for (double at : {90.0, 200.0}) EXPECT_EQ(passAt(at), 0) << at;
  EXPECT_FALSE(fs::exists(logs));
  EXPECT_TRUE(judged.empty());
  EXPECT_TRUE(fs::exists(held) && fs::exists(changing));

  fd.Reset();
  written = source.size();
  WriteText(changing, source);
  EXPECT_EQ(passAt(201), 1);  // the held file, closed and long unchanged
  EXPECT_EQ(passAt(202), 1);  // the other, quiet for a second now
  EXPECT_EQ(judged, (std::vector<std::string>{"C9/A", "C8/A"}));
  EXPECT_DOUBLE_EQ(ContestInfo->ResultSet().Obj("C8")->Obj("A")->Evaluation, 2);
  EXPECT_DOUBLE_EQ(ContestInfo->ResultSet().Obj("C9")->Obj("A")->Evaluation, 2);
  EXPECT_EQ(FirstLine(ReadText(logs + "h[C9][A].cpp.log")), "\xEF\xBB\xBF" "C9‣A: 2.00\r\n");
}

TEST_F(OnlinePass, AFolderNotYetInTheSetIsFoundInAnyLetterCase) {
  tree.AddContestant("Lan");  // made after the set was loaded
  Submit("x[LAN][A].cpp", kRightCpp);
  EXPECT_EQ(Pass(), 1);
  EXPECT_EQ(Names(tree.ContestantsDir()), (std::vector<std::string>{"Lan", "OLD"}));
  EXPECT_TRUE(fs::exists(tree.ContestantsDir() + "/Lan/A.cpp"));
  ASSERT_NE(ContestInfo->ResultSet().Obj("Lan"), nullptr);
  EXPECT_EQ(ContestInfo->ResultSet().Obj("Lan")->Name(), "Lan");
  EXPECT_DOUBLE_EQ(ContestInfo->ResultSet().Obj("Lan")->Evaluation, 2);
}

TEST_F(OnlinePass, NamesInAnotherLetterCaseJudgeTheKnownContestantAndExam) {
  Submit("x[old][a].cpp", kRightCpp);
  EXPECT_EQ(Pass(), 1);
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(ContestInfo->ResultSet().Count(), 1);
  EXPECT_EQ(Names(tree.ContestantsDir()), std::vector<std::string>{"OLD"});
  TResultC* old = ContestInfo->ResultSet().Obj("OLD");
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->Count(), 1);  // no second result beside A's
  EXPECT_DOUBLE_EQ(old->Evaluation, 2);
  EXPECT_EQ(Names(tree.ContestantsDir() + "/OLD"), std::vector<std::string>{"a.cpp"});
  EXPECT_EQ(Names(logs), std::vector<std::string>{"x[old][a].cpp.log"});
}

TEST_F(OnlinePass, ResubmissionKeepsHistoryAndEveryLog) {
  Submit("x[OLD][A].cpp", kRightCpp);
  ASSERT_EQ(Pass(), 1);
  Submit("x[OLD][A].cpp", kWrongCpp);
  ASSERT_EQ(Pass(), 1);
  EXPECT_TRUE(rows.empty());  // a known contestant adds no row
  EXPECT_EQ(Names(tree.ContestantsDir() + "/OLD/$History").size(), 1u);
  EXPECT_EQ(ReadText(tree.ContestantsDir() + "/OLD/A.cpp"), kWrongCpp);
  // The plain name holds the newest report; the earlier one is kept under
  // the stamp of its own writing.
  const std::vector<std::string> names = Names(logs);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[1], "x[OLD][A].cpp.log");
  EXPECT_EQ(FirstLine(ReadText(logs + names[1])), "\xEF\xBB\xBF" "OLD‣A: 0.00\r\n");
  EXPECT_EQ(names[0].size(), std::string("x[OLD][A].cpp.20261210090503007.log").size()) << names[0];
  EXPECT_EQ(FirstLine(ReadText(logs + names[0])), "\xEF\xBB\xBF" "OLD‣A: 2.00\r\n");
}

// A writer that closes its file and pauses for more than a second before it
// appends the rest is taken twice: the rest comes as a file of its own.
// The report on the first part is not lost to the second's.
TEST_F(OnlinePass, APausedWriterKeepsTheReportOfEachPart) {
  const std::string path = submit + "/x[OLD][A].cpp", source = kRightCpp;
  const auto append = [&path](std::string_view Text) {
    platform::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    ASSERT_TRUE(fd.Valid() && platform::WriteAll(fd.Get(), Text));
  };
  append(std::string_view(source).substr(0, source.size() / 2));
  clock.Seconds = 0;
  EXPECT_EQ(Pass(), 0);  // written a moment ago
  clock.Seconds = 2.5;   // the writer's pause
  ASSERT_EQ(Pass(), 1);
  const std::string first = ReadText(logs + "x[OLD][A].cpp.log");

  append(std::string_view(source).substr(source.size() / 2));
  clock.Seconds = 5;
  ASSERT_EQ(Pass(), 1);
  EXPECT_EQ(judged, (std::vector<std::string>{"OLD/A", "OLD/A"}));
  const std::vector<std::string> names = Names(logs);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(ReadText(logs + names[0]), first);
  EXPECT_NE(ReadText(logs + names[1]), first);
}

// Names a saved contest could not give back: taken in, each would make
// every later save fail. Like a file for an unknown exam, each is kept
// with the submissions and its log says why; the contest still saves.
TEST_F(OnlinePass, NamesASavedContestCannotKeepAreSetAsideAndLogged) {
  struct Case {
    const char* File;
    const char* Says;
  } cases[] = {
      {"x[ Lead][A].cpp", "Tên \" Lead/A.cpp\" không lưu được vào file kỳ thi (có ký tự điều khiển"},
      {"x[C:drive][A].cpp", "Tên \"C:drive/A.cpp\" không lưu được vào file kỳ thi"},
      {"x[An][A].c\\pp", "Tên \"An/A.c\\pp\" không lưu được vào file kỳ thi"},
      {"x[An\xE0][A].cpp", "Tên thí sinh \"An\\xE0\" không phải UTF-8"},
  };
  for (const Case& c : cases) Submit(c.File, kRightCpp);
  EXPECT_EQ(Pass(), 0);
  EXPECT_TRUE(judged.empty());
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(Names(tree.ContestantsDir()), std::vector<std::string>{"OLD"});
  EXPECT_EQ(Names(submit), (std::vector<std::string>{"$History", "Logs", "VelkorSubmit.lock"}));
  EXPECT_EQ(Names(submit + "/$History").size(), std::size(cases));
  for (const Case& c : cases) {
    const std::string log = ReadText(logs + c.File + ".log");
    EXPECT_NE(log.find(c.Says), std::string::npos) << log;
    EXPECT_NE(log.find(": bài nộp không được chấm, file được giữ lại tại \"" + submit + "/$History/"), std::string::npos)
        << log;
  }
  EXPECT_TRUE(ContestInfo->FileSave(tree.Path("c.contest"))) << ContestInfo->ErrorMsg();
}

// The contestants' disk is full (a small memory file system): the new
// source cannot come in. The contestant keeps the source it had, the
// submission waits in its folder, and its log says why, once. With room
// again it is taken and judged.
TEST_F(OnlinePass, AFullContestantsDiskKeepsTheEarlierSource) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a memory file system needs root";
  const std::string disk = tree.ContestantsDir();
  if (::mount("tmpfs", disk.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0755") != 0)
    GTEST_SKIP() << "cannot mount a memory file system: " << std::strerror(errno);
  struct TUnmount {
    std::string Path;
    ~TUnmount() { ::umount2(Path.c_str(), MNT_DETACH); }
  } unmount{disk};
  tree.AddContestant("OLD", {{"A.cpp", kWrongCpp}});
  ContestInfo->LoadContestants(disk);
  {
    platform::UniqueFd filler(::open((disk + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    ASSERT_TRUE(filler.Valid());
    const std::string block(1024, 'x');
    while (::write(filler.Get(), block.data(), block.size()) > 0) {
    }
    while (::write(filler.Get(), "x", 1) > 0) {
    }
  }
  Submit("x[OLD][A].cpp", kRightCpp);

  for (int pass = 0; pass < 3; ++pass) EXPECT_EQ(Pass(), 0);
  EXPECT_TRUE(judged.empty());
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(Names(disk + "/OLD"), std::vector<std::string>{"A.cpp"});  // nothing half-made stays either
  EXPECT_EQ(ReadText(disk + "/OLD/A.cpp"), kWrongCpp);
  EXPECT_EQ(ReadText(submit + "/x[OLD][A].cpp"), kRightCpp);
  ASSERT_EQ(Names(logs), std::vector<std::string>{"x[OLD][A].cpp.log"});
  const std::string log = ReadText(logs + "x[OLD][A].cpp.log");
  EXPECT_EQ(log.rfind("\xEF\xBB\xBF" "Bài nộp chưa được nhận vào kỳ thi; bài nộp trước đó của thí sinh (nếu có) được giữ nguyên.",
                      0),
            0u)
      << log;
  EXPECT_NE(log.find("Chi tiết: Không chuyển được bài nộp \"" + submit + "/x[OLD][A].cpp\" vào thư mục thí sinh \"" +
                     disk + "/OLD\": Không đủ chỗ trống trên đĩa."),
            std::string::npos)
      << log;

  fs::remove(disk + "/filler");
  EXPECT_EQ(Pass(), 1);
  EXPECT_EQ(judged, std::vector<std::string>{"OLD/A"});
  EXPECT_EQ(ReadText(disk + "/OLD/A.cpp"), kRightCpp);
  const std::vector<std::string> history = Names(disk + "/OLD/$History");
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(ReadText(disk + "/OLD/$History/" + history[0]), kWrongCpp);
  EXPECT_FALSE(fs::exists(submit + "/x[OLD][A].cpp"));
  EXPECT_EQ(FirstLine(ReadText(logs + "x[OLD][A].cpp.log")), "\xEF\xBB\xBF" "OLD‣A: 2.00\r\n");
  EXPECT_EQ(Names(logs).size(), 2u);  // the first log is kept
}

TEST_F(OnlinePass, SubmissionThatCannotMoveWaitsForTheNextPass) {
  // "D1" names a file in the contestants folder, so its folder cannot be
  // made; the submission of E2 behind it is still judged.
  WriteText(tree.ContestantsDir() + "/D1", "in the way");
  Submit("a[D1][A].cpp", kRightCpp);
  Submit("b[E2][A].cpp", kRightCpp);
  EXPECT_EQ(Pass(), 1);
  EXPECT_EQ(judged, std::vector<std::string>{"E2/A"});
  EXPECT_TRUE(fs::exists(submit + "/a[D1][A].cpp"));
  EXPECT_EQ(Pass(), 0);
  fs::remove(tree.ContestantsDir() + "/D1");
  EXPECT_EQ(Pass(), 1);
  EXPECT_FALSE(fs::exists(submit + "/a[D1][A].cpp"));
  // One copy of each, however many passes it took.
  EXPECT_EQ(Names(submit + "/$History").size(), 2u);
}

TEST_F(OnlinePass, NothingHappensWithoutFoldersOrSubmissions) {
  Submit("x[C9][A].cpp", kRightCpp);
  EXPECT_EQ(JudgeSubmissionPass(*ContestInfo, "", hooks), 0);
  EXPECT_EQ(JudgeSubmissionPass(*ContestInfo, submit + "/gone", hooks), 0);
  ContestInfo->Reset();  // after New: no exams, nothing may be deleted
  EXPECT_EQ(Pass(), 0);
  EXPECT_TRUE(fs::exists(submit + "/x[C9][A].cpp"));
  EXPECT_TRUE(judged.empty());

}

TEST_F(OnlinePass, UnusableLogsFolderIsReportedAfterJudgingAndNeverWrittenThrough) {
  // A "Logs" that leads elsewhere, holding a log of the same name: nothing
  // there is deleted or written, the submission is judged all the same,
  // and the pass ends with the reason.
  const std::string elsewhere = tree.Path("elsewhere");
  fs::create_directories(elsewhere);
  WriteText(elsewhere + "/x[C9][A].cpp.log", "not ours");
  fs::create_directory_symlink(elsewhere, submit + "/Logs");
  Submit("x[C9][A].cpp", kRightCpp);
  Submit("y[C9][A].cpp", kRightCpp);
  try {
    Pass();
    ADD_FAILURE() << "the pass did not report the logs folder";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find(submit + "/Logs"), std::string::npos) << e.what();
  }
  EXPECT_EQ(judged.size(), 1u);
  EXPECT_EQ(Names(elsewhere), std::vector<std::string>{"x[C9][A].cpp.log"});
  EXPECT_EQ(ReadText(elsewhere + "/x[C9][A].cpp.log"), "not ours");

  // A real folder again: the next pass goes on with the file behind.
  fs::remove(submit + "/Logs");
  EXPECT_EQ(Pass(), 1);
  EXPECT_EQ(judged.size(), 2u);
  EXPECT_EQ(Names(logs).size(), 1u);
}

// ---- Crashes and a careless jury around the intake (failing: faults found) ----

// Every file name under Folder, at any depth.
std::vector<std::string> AllNames(const std::string& Folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(Folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    names.push_back(it->path().filename().string());
  return names;
}

// Killed right after the submission reached the contestant's hidden
// staging folder. After the restart the submission is in the contest or
// still waits to be taken; the contestant's earlier source must not
// silently stay the one judged, and nothing hidden stays behind.
TEST_F(OnlinePass, AKillWhileTakingInLeavesTheSubmissionToTakeAfterTheRestart) {
  tree.AddContestant("OLD", {{"A.cpp", kWrongCpp}});
  ContestInfo->LoadContestants(tree.ContestantsDir());
  Submit("x[OLD][A].cpp", kRightCpp);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const TShellTransferProc copy = ShellCopyProc;
    ShellCopyProc = [copy](const std::string& Source, const std::string& DestDir, const std::string& NewName) {
      const int status = copy(Source, DestDir, NewName);
      if (platform::IsStagingFolderName(fs::path(DestDir).filename().string())) ::kill(::getpid(), SIGKILL);
      return status;
    };
    Pass();
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

  // The restarted program passes over the same folders.
  const int judgedNow = Pass();
  const bool waiting = fs::exists(submit + "/x[OLD][A].cpp");
  std::string inFolder;
  for (const std::string& name : AllNames(tree.ContestantsDir() + "/OLD")) inFolder += " " + name;
  EXPECT_TRUE(judgedNow == 1 || waiting) << "the submission is neither judged nor waiting; OLD holds:" << inFolder;
  EXPECT_EQ(ReadText(tree.ContestantsDir() + "/OLD/A.cpp"), judgedNow == 1 ? kRightCpp : kWrongCpp);
  EXPECT_TRUE(judgedNow == 1 || !Names(logs).empty()) << "nobody is told";
  EXPECT_FALSE(inFolder.find(" .velkor-") != std::string::npos) << "OLD holds:" << inFolder;
}

// The jury set the submission folder inside the folder an archive is
// unpacked into. Online judging refuses it; should files be judged there
// all the same (a pass run by hand, a folder taken before it came to lie
// there), a file for an exam the contest does not have is the submitter's
// only copy, set aside into that folder's "$History", and opening the
// archive again (nothing changed in the contest, so nothing asks) keeps it.
TEST_F(OnlinePass, ASubmissionFolderInsideTheUnpackFolderKeepsWhatItWasGiven) {
  testing::TempFolder unpack;
  const std::string archive = OpenFromArchive(unpack.Path());
  ASSERT_FALSE(HasFailure());

  const std::string inside = unpack.Path() + "/" + kUnpackFolderName + "/Submit";
  fs::create_directories(inside);
  const std::string refusal = TakeSubmissionFolder(inside);
  EXPECT_NE(refusal.find("\"" + unpack.Path() + "/" + kUnpackFolderName + "\""), std::string::npos) << refusal;
  WriteText(inside + "/q[C9][NOPE].cpp", kRightCpp);
  EXPECT_EQ(JudgeSubmissionPass(*ContestInfo, inside, hooks), 0);
  ASSERT_EQ(Names(inside + "/$History").size(), 1u);

  ASSERT_TRUE(ContestInfo->FileLoad(archive)) << ContestInfo->ErrorMsg();
  const std::vector<std::string> names = AllNames(unpack.Path());
  EXPECT_TRUE(std::any_of(names.begin(), names.end(),
                          [](const std::string& n) { return n.ends_with("_q[C9][NOPE].cpp"); }))
      << "the submitter's only copy was deleted with the unpack folder";
  ASSERT_EQ(ContestInfo->KeptUnsaved().size(), 1u);
  EXPECT_NE(ContestInfo->KeptUnsaved()[0].find("thư mục nộp bài"), std::string::npos) << ContestInfo->KeptUnsaved()[0];
}

// The jury renamed the contestants folder, or the exams folder, while
// online judging was on. The pass must not make the old folder again and
// judge the submission there, alone, as if it were the contest (a save
// would pack that near-empty folder as the contest's contestants): the
// submission waits, its log says why, and once the folder is back it is
// taken and judged.
TEST_F(OnlinePass, AContestantsFolderRenamedWhileJudgingIsNotMadeAgain) {
  tree.AddContestant("OLD", {{"A.cpp", kWrongCpp}});
  ContestInfo->LoadContestants(tree.ContestantsDir());
  Submit("y[C9][A].cpp", kRightCpp);
  const struct {
    std::string Gone;
    std::string File;
  } cases[] = {{tree.ContestantsDir(), "x[OLD][A].cpp"}, {tree.TasksDir(), "z[OLD][A].cpp"}};
  for (const auto& c : cases) {
    const std::string moved = c.Gone + "-moved";
    fs::rename(c.Gone, moved);
    Submit(c.File, kRightCpp);
    Pass();
    EXPECT_FALSE(fs::exists(c.Gone)) << "made again: " << c.Gone;
    EXPECT_TRUE(judged.empty()) << c.Gone;
    EXPECT_TRUE(fs::exists(submit + "/" + c.File)) << c.Gone;
    EXPECT_TRUE(fs::exists(submit + "/y[C9][A].cpp")) << c.Gone;
    const std::string log = ReadText(logs + c.File + ".log");
    EXPECT_NE(log.find("Chi tiết: Không tìm thấy thư mục " + std::string(c.Gone == tree.TasksDir() ? "đề bài" : "bài làm") +
                       " \"" + c.Gone + "\""),
              std::string::npos)
        << log;
    fs::rename(moved, c.Gone);
  }
  EXPECT_EQ(ReadText(tree.ContestantsDir() + "/OLD/A.cpp"), kWrongCpp);
  EXPECT_FALSE(fs::exists(tree.ContestantsDir() + "/C9"));

  EXPECT_EQ(Pass(), 3);
  std::sort(judged.begin(), judged.end());
  EXPECT_EQ(judged, (std::vector<std::string>{"C9/A", "OLD/A", "OLD/A"}));
  EXPECT_EQ(ReadText(tree.ContestantsDir() + "/OLD/A.cpp"), kRightCpp);
}

// A judged pair is judged again after the contestants folder was renamed
// (or its disk unplugged), or the contestant's own folder was. That says
// nothing about the contestant's source: the pair keeps the result it had.
// Only a folder that is there without a source is "no source".
TEST_F(OnlinePass, JudgingAfterTheContestantsFolderWentKeepsTheResult) {
  tree.AddContestant("OLD", {{"A.cpp", kRightCpp}});
  tree.AddContestant("EMPTY");
  ContestInfo->LoadContestants(tree.ContestantsDir());
  const auto judge = [this](const std::string& CName) {
    TQueue<TJudgePair> queue;
    TJudgePair pair;
    MakeJudgePair(CName, "A", pair);
    queue.Push(pair);
    try {
      hooks.Judge(queue);
    } catch (const std::exception&) {
      // Refusing to judge is fine; changing the result is not.
    }
    return ContestInfo->ResultSet().Obj(CName)->Obj("A");
  };
  TResultE* r = judge("OLD");
  ASSERT_EQ(r->state, jsJudged);
  ASSERT_DOUBLE_EQ(r->Evaluation, 2);

  for (const std::string& gone : {tree.ContestantsDir(), tree.ContestantsDir() + "/OLD"}) {
    fs::rename(gone, gone + "-moved");
    r = judge("OLD");
    EXPECT_EQ(r->state, jsJudged) << gone;
    EXPECT_DOUBLE_EQ(r->Evaluation, 2) << gone;
    fs::rename(gone + "-moved", gone);
  }
  EXPECT_EQ(judge("EMPTY")->state, jsNoSource);
}

// Two Velkors (two homes, two unpack folders) opened one archive; the
// first took a submission in and saved. The second's save must not
// silently overwrite it.
TEST_F(OnlinePass, TwoCopiesSavingOneArchiveLoseNothingSilently) {
  testing::TempFolder unpackA, unpackB;
  const std::string archive = tree.Path("thi.contest");
  ASSERT_TRUE(ContestInfo->FileSave(archive)) << ContestInfo->ErrorMsg();
  TContestInfo first, second;
  EnvConfig->DecompressDir = unpackA.Path();
  ASSERT_TRUE(first.FileLoad(archive)) << first.ErrorMsg();
  EnvConfig->DecompressDir = unpackB.Path();
  ASSERT_TRUE(second.FileLoad(archive)) << second.ErrorMsg();

  fs::create_directories(first.ResultSet().Dir() + "/C9");
  WriteText(first.ResultSet().Dir() + "/C9/A.cpp", kRightCpp);
  ASSERT_TRUE(first.FileSave(archive)) << first.ErrorMsg();
  const bool secondSaved = second.FileSave(archive);

  TContestInfo reopened;
  ASSERT_TRUE(reopened.FileLoad(archive)) << reopened.ErrorMsg();
  EXPECT_TRUE(!secondSaved || fs::exists(reopened.ResultSet().Dir() + "/C9/A.cpp"))
      << "the second save silently dropped what the first saved";
}

}  // namespace
}  // namespace velkor
