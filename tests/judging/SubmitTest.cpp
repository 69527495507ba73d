// Online submission intake: parsing submitted names, the arrival order of a
// submission folder, the history of earlier submissions, and the move into
// the contestant's folder, on real folders under a fixed clock.
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "judging/Results.h"
#include "judging/SubmitU.h"
#include "tests/core/FileTestSupport.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

using testing::Exists;
using testing::ReadText;
using testing::TContestTree;
using testing::TempFolder;
using testing::WriteText;
namespace fs = std::filesystem;

// 2024-03-05 14:07:09.123 and 2100-01-01 00:00:00 as local date-times.
constexpr TDateTime kNow = 45356 + (14 * 3600 + 7 * 60 + 9.123) / 86400;
constexpr TDateTime kYear2100 = 73051;

// Sets a file's last-write time to a local calendar time.
void SetWriteTime(const std::string& Path, int Year, int Month, int Day, int Hour = 0, int Minute = 0) {
  std::tm t{};
  t.tm_year = Year - 1900;
  t.tm_mon = Month - 1;
  t.tm_mday = Day;
  t.tm_hour = Hour;
  t.tm_min = Minute;
  t.tm_isdst = -1;
  const timespec times[2] = {{0, UTIME_OMIT}, {std::mktime(&t), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, Path.c_str(), times, 0), 0) << Path;
}

class FixedSubmitClock {
 public:
  explicit FixedSubmitClock(TDateTime Now) : previous_(SetSubmitClock([Now] { return Now; })) {}
  ~FixedSubmitClock() { SetSubmitClock(previous_); }

 private:
  TLocalClock previous_;
};

std::vector<std::string> FileNames(TQueue<TSubmitRec>& Queue) {
  std::vector<std::string> names;
  while (!Queue.Empty()) names.push_back(Queue.Pop().FileName);
  return names;
}

std::vector<std::string> FolderListing(const std::string& Dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(Dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ParseSubmitName, SplitsTheBracketedNames) {
  struct Case {
    const char* FullName;
    const char* Dir;
    const char* FileName;
    const char* Ext;
    const char* Other;
    const char* CName;
    const char* EName;
  };
  const Case cases[] = {
      {"/sub/abc[C1][A].cpp", "/sub/", "abc[C1][A].cpp", ".cpp", "abc", "C1", "A"},
      {"/sub/[C1][A].cpp", "/sub/", "[C1][A].cpp", ".cpp", "", "C1", "A"},
      {"/sub/x[A].cpp", "/sub/", "x[A].cpp", ".cpp", "", "", "A"},             // one name only
      {"/sub/[C1][A]zz.cpp", "/sub/", "[C1][A]zz.cpp", ".cpp", "", "C1", "A"},  // text after the exam ignored
      {"/sub/x[C1]yy[A].cpp", "/sub/", "x[C1]yy[A].cpp", ".cpp", "x", "C1", "A"},
      {"/sub/[C1][A]", "/sub/", "[C1][A]", "", "", "C1", "A"},                 // no extension
      {"/sub/a b[Nguyễn Văn A][Bài 1].PAS", "/sub/", "a b[Nguyễn Văn A][Bài 1].PAS", ".PAS", "a b",
       "Nguyễn Văn A", "Bài 1"},                                                 // taken as they stand
      {"/sub/[C1][A].tar.gz", "/sub/", "[C1][A].tar.gz", ".gz", "", "C1", "A"},  // the last dot starts the extension
      {"/sub/[C1][A.b]", "/sub/", "[C1][A.b]", ".b]", "", "", "C1"},            // ... even inside the brackets
      {"/sub/][C1][A].cpp", "/sub/", "][C1][A].cpp", ".cpp", "]", "C1", "A"},
      {"/sub/[][].cpp", "/sub/", "[][].cpp", ".cpp", "", "", ""},
      {"/sub/plain.cpp", "/sub/", "plain.cpp", ".cpp", "", "", ""},
      {"rel[C][E].c", "", "rel[C][E].c", ".c", "rel", "C", "E"},
      {"/a.b/[C][E]", "/a.b/", "[C][E]", "", "", "C", "E"},  // a dot in the folder is no extension
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.FullName);
    TSubmitRec rec{"stale", "stale", "stale", "stale", "stale", "stale"};
    ParseSubmitName(c.FullName, rec);
    EXPECT_EQ(rec.Dir, c.Dir);
    EXPECT_EQ(rec.FileName, c.FileName);
    EXPECT_EQ(rec.Ext, c.Ext);
    EXPECT_EQ(rec.Other, c.Other);
    EXPECT_EQ(rec.CName, c.CName);
    EXPECT_EQ(rec.EName, c.EName);
  }
}

TEST(HistoryFileName, StampsTheMoveAndTheFilesOwnTime) {
  // The file time in milliseconds since 0001-01-01: 2001-01-01 is day 36892.
  EXPECT_EQ(HistoryFileName(kNow, 36892, "C1", "A", ".cpp"), "20240305140709123_063113990400000[C1][A].cpp");
  EXPECT_EQ(HistoryFileName(kNow, 36892.5, "C1", "A", ""), "20240305140709123_063114033600000[C1][A]");
  // A time of day a fraction of a millisecond before midnight rounds into
  // the next day.
  EXPECT_EQ(HistoryFileName(45356 + (86400000 - 0.2) / 86400000, 36892, "C", "E", ".c").substr(0, 18),
            "20240306000000000_");
  // The first days of the calendar: 1900-01-01 and 1899-12-31.
  EXPECT_EQ(HistoryFileName(2, 1, "C", "E", "").substr(0, 33), "19000101000000000_059926608000000");
}

class SubmissionFolderTest : public ::testing::Test {
 protected:
  std::string Submit() const { return root_ / "submit"; }
  std::string Add(const std::string& Name, const std::string& Text = "x") {
    WriteText(Submit() + "/" + Name, Text);
    return Submit() + "/" + Name;
  }

  TempFolder root_;
};

TEST_F(SubmissionFolderTest, ListsSubmissionsOldestFirstAndLeavesTheRest) {
  // Names sort the other way round from the arrival times.
  SetWriteTime(Add("a[C][A].cpp"), 2100, 1, 1, 12);
  SetWriteTime(Add("b[C][A].cpp"), 2100, 1, 1, 11);
  SetWriteTime(Add("c[C][B].pas"), 2100, 1, 1, 10);
  const std::vector<std::string> ignored = {
      "x[C][A].LoG",  "readme.txt",   "x[A].cpp",       "x[..][A].cpp", "x[.][A].cpp",
      "x[C][..].cpp", "x[C][.].cpp",  "x[C\x01][A].c",  "x[C\\D][A].c",
      "x[ ][A].cpp",  "x[C ][A].cpp", "x[C.][A].cpp",   "x[C][A ].cpp",
  };
  for (const std::string& name : ignored) Add(name);
  Add("Logs/y[C][A].cpp");  // sub-folders are not entered
  ASSERT_EQ(::symlink((root_ / "elsewhere").c_str(), (Submit() + "/l[C][A].cpp").c_str()), 0);
  ASSERT_EQ(::mkfifo((Submit() + "/p[C][A].cpp").c_str(), 0644), 0);

  TQueue<TSubmitRec> queue = ScanSubmissionDir(Submit());
  ASSERT_EQ(queue.Count(), 3);
  const TSubmitRec first = queue.Get();
  EXPECT_EQ(first.Dir, Submit() + "/");
  EXPECT_EQ(first.CName, "C");
  EXPECT_EQ(first.EName, "B");
  EXPECT_EQ(FileNames(queue), (std::vector<std::string>{"c[C][B].pas", "b[C][A].cpp", "a[C][A].cpp"}));

  // Listing moves nothing: every file is still there.
  for (const std::string& name : ignored) EXPECT_TRUE(Exists(Submit() + "/" + name)) << name;
  EXPECT_TRUE(Exists(Submit() + "/Logs/y[C][A].cpp"));
}

TEST_F(SubmissionFolderTest, ArrivalIsTheLaterOfCreationAndLastWrite) {
  // z arrives first but carries a later last-write time than y (a file
  // copied in keeps its original's). Each arrived when it was created (or,
  // where the file system keeps no birth time, when its time was set), so
  // z still comes first. File times tick coarsely: wait a few ticks between.
  SetWriteTime(Add("z[C][A].cpp"), 2001, 1, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  SetWriteTime(Add("y[C][A].cpp"), 2000, 1, 1);
  TQueue<TSubmitRec> queue = ScanSubmissionDir(Submit());
  EXPECT_EQ(FileNames(queue), (std::vector<std::string>{"z[C][A].cpp", "y[C][A].cpp"}));
}

TEST_F(SubmissionFolderTest, MissingFolderListsNothing) {
  EXPECT_TRUE(ScanSubmissionDir(root_ / "none").Empty());
}

class IntakeTest : public ::testing::Test {
 protected:
  IntakeTest() { results_.SetDir(tree_.ContestantsDir()); }

  TContestTree tree_;
  TResultSet results_;
  FixedSubmitClock clock_{kNow};
};

TEST_F(IntakeTest, BackupMovesEveryFileOfTheExamIntoHistory) {
  const std::string dir = tree_.AddContestant("C1", {{"A.cpp", "cpp"}, {"a.PAS", "pas"}, {"A", "bare"},
                                                     {"AB.cpp", "other exam"}, {"B.cpp", "b"}});
  for (const char* name : {"A.cpp", "a.PAS", "A"}) SetWriteTime(dir + "/" + name, 2100, 1, 1);
  results_.Refresh();

  BackupSubmissionHistory(*results_.Obj("C1"), "A");

  EXPECT_EQ(FolderListing(dir), (std::vector<std::string>{"$History", "AB.cpp", "B.cpp"}));
  const std::string stamp = "20240305140709123_066238128000000[C1][A]";
  EXPECT_EQ(FolderListing(dir + "/$History"), (std::vector<std::string>{stamp, stamp + ".PAS", stamp + ".cpp"}));
  EXPECT_EQ(ReadText(dir + "/$History/" + stamp + ".PAS"), "pas");
}

TEST_F(IntakeTest, BackupWithoutEarlierFilesMakesNoHistory) {
  const std::string dir = tree_.AddContestant("C1", {{"AB.cpp", "x"}});
  results_.Refresh();
  BackupSubmissionHistory(*results_.Obj("C1"), "A");
  EXPECT_FALSE(Exists(dir + "/$History"));
  // An exam name is matched as a name, never as a mask.
  BackupSubmissionHistory(*results_.Obj("C1"), "A*");
  EXPECT_TRUE(Exists(dir + "/AB.cpp"));
  EXPECT_FALSE(Exists(dir + "/$History"));
}

TEST_F(IntakeTest, MoveTakesTheExamsNameAndReplaces) {
  const std::string submit = tree_.Path("submit");
  WriteText(submit + "/x[C1][A].CPP", "new");
  TSubmitRec rec;
  ParseSubmitName(submit + "/x[C1][A].CPP", rec);
  TResultC* rc = results_.ObjF("C1");  // no folder yet

  MoveSubmissionToContestant(rec, *rc);
  EXPECT_EQ(ReadText(tree_.ContestantsDir() + "/C1/A.CPP"), "new");
  EXPECT_FALSE(Exists(submit + "/x[C1][A].CPP"));

  WriteText(submit + "/y[C1][A].CPP", "newer");
  rec.Dir = submit;  // a folder without its delimiter works as well
  rec.FileName = "y[C1][A].CPP";
  MoveSubmissionToContestant(rec, *rc);
  EXPECT_EQ(ReadText(tree_.ContestantsDir() + "/C1/A.CPP"), "newer");
}

TEST_F(IntakeTest, UnsafeNamesAreRefusedAndLeftAlone) {
  const std::string submit = tree_.Path("submit");
  const std::string source = submit + "/x[C1][..].cpp";
  WriteText(source, "s");
  TSubmitRec rec;
  ParseSubmitName(source, rec);
  TResultC* rc = results_.ObjF("C1");
  EXPECT_THROW(MoveSubmissionToContestant(rec, *rc), std::runtime_error);
  EXPECT_THROW(BackupSubmissionHistory(*rc, ".."), std::runtime_error);
  EXPECT_TRUE(Exists(source));

  // A contestant whose name is no folder of the contestants folder, or who
  // belongs to no contestants folder at all.
  WriteText(tree_.Path("A.cpp"), "outside");
  for (const char* name : {"..", "."}) {
    TResultC* bad = results_.ObjF(name);
    ParseSubmitName(submit + "/x[C1][A].cpp", rec);
    EXPECT_THROW(MoveSubmissionToContestant(rec, *bad), std::runtime_error) << name;
    EXPECT_THROW(BackupSubmissionHistory(*bad, "A"), std::runtime_error) << name;
  }
  TResultC orphan;
  orphan.SetName("C1");
  EXPECT_THROW(BackupSubmissionHistory(orphan, "A"), std::runtime_error);
  EXPECT_EQ(ReadText(tree_.Path("A.cpp")), "outside");
  EXPECT_FALSE(Exists(tree_.Path("$History")));
}

TEST_F(IntakeTest, TakingInMovesTheEarlierFilesAsideAndTheNewOneIn) {
  const std::string dir = tree_.AddContestant("C1", {{"A.cpp", "old"}, {"a.PAS", "pas"}, {"B.cpp", "b"}});
  const std::string submit = tree_.Path("submit");
  WriteText(submit + "/x[C1][A].cpp", "new");
  results_.Refresh();
  TSubmitRec rec;
  ParseSubmitName(submit + "/x[C1][A].cpp", rec);

  TakeSubmissionIn(rec, *results_.Obj("C1"));
  EXPECT_EQ(FolderListing(dir), (std::vector<std::string>{"$History", "A.cpp", "B.cpp"}));
  EXPECT_EQ(ReadText(dir + "/A.cpp"), "new");
  EXPECT_EQ(FolderListing(dir + "/$History").size(), 2u);
  EXPECT_FALSE(Exists(submit + "/x[C1][A].cpp"));
}

// A step after the new file came in fails (here "$History" is a file):
// everything is as it was, the submission back where it came from.
TEST_F(IntakeTest, TakingInThatFailsLeavesEverythingAsItWas) {
  const std::string dir = tree_.AddContestant("C1", {{"A.cpp", "old"}, {"$History", "in the way"}});
  const std::string submit = tree_.Path("submit");
  WriteText(submit + "/x[C1][A].cpp", "new");
  results_.Refresh();
  TSubmitRec rec;
  ParseSubmitName(submit + "/x[C1][A].cpp", rec);

  try {
    TakeSubmissionIn(rec, *results_.Obj("C1"));
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(dir + "/A.cpp"), std::string::npos) << e.what();
  }
  EXPECT_EQ(FolderListing(dir), (std::vector<std::string>{"$History", "A.cpp"}));
  EXPECT_EQ(ReadText(dir + "/A.cpp"), "old");
  EXPECT_EQ(ReadText(dir + "/$History"), "in the way");
  EXPECT_EQ(ReadText(submit + "/x[C1][A].cpp"), "new");
}

// The submission is rewritten while it is copied in, found only after the
// earlier files had their history names and the copy took its place:
// every step is put back and the submission waits as it now stands. A
// staging folder a killed intake left is cleared by the next one.
TEST_F(IntakeTest, ASubmissionRewrittenWhileTakenInPutsEverythingBack) {
  const std::string dir = tree_.AddContestant("C1", {{"A.cpp", "old"}, {"a.PAS", "pas"}});
  WriteText(dir + "/.velkor-Ab12Cd/A.cpp", "left by a kill");
  const std::string submit = tree_.Path("submit");
  WriteText(submit + "/x[C1][A].cpp", "new");
  results_.Refresh();
  TSubmitRec rec;
  ParseSubmitName(submit + "/x[C1][A].cpp", rec);

  const TShellTransferProc copy = ShellCopyProc;
  ShellCopyProc = [copy](const std::string& Source, const std::string& DestDir, const std::string& NewName) {
    const int status = copy(Source, DestDir, NewName);
    WriteText(Source, "newer");
    return status;
  };
  EXPECT_THROW(TakeSubmissionIn(rec, *results_.Obj("C1")), std::runtime_error);
  ShellCopyProc = copy;
  EXPECT_EQ(FolderListing(dir), (std::vector<std::string>{"A.cpp", "a.PAS"}));
  EXPECT_EQ(ReadText(dir + "/A.cpp"), "old");
  EXPECT_EQ(ReadText(dir + "/a.PAS"), "pas");
  EXPECT_EQ(ReadText(submit + "/x[C1][A].cpp"), "newer");

  TakeSubmissionIn(rec, *results_.Obj("C1"));
  EXPECT_EQ(FolderListing(dir), (std::vector<std::string>{"$History", "A.cpp"}));
  EXPECT_EQ(ReadText(dir + "/A.cpp"), "newer");
  EXPECT_EQ(FolderListing(dir + "/$History").size(), 2u);
  EXPECT_FALSE(Exists(submit + "/x[C1][A].cpp"));
}

TEST(RefusedSubmissionReason, HoldsNamesToTheRulesOfTheSavedContest) {
  const struct {
    const char* File;
    bool Refused;
  } cases[] = {
      {"x[An][A].cpp", false},          {"x[Nguyễn Văn A][Bài 1].cpp", false}, {"x[a b:c][A].cpp", false},
      {"x[ Lead][A].cpp", true},        {"x[C:drive][A].cpp", true},           {"x[An][A].c\\pp", true},
      {"x[An\xE0][A].cpp", true},       {"x[An][A].\x7f", true},
  };
  for (const auto& c : cases) {
    TSubmitRec rec;
    ParseSubmitName(std::string("/submit/") + c.File, rec);
    EXPECT_EQ(!RefusedSubmissionReason(rec).empty(), c.Refused) << c.File;
  }
}

TEST_F(IntakeTest, FailedMoveRaisesTheGuardedMessage) {
  TSubmitRec rec;
  ParseSubmitName(tree_.Path("submit") + "/gone[C1][A].cpp", rec);
  const TSleepProc previous = SetRetrySleep([](std::uint32_t) {});
  try {
    MoveSubmissionToContestant(rec, *results_.ObjF("C1"));
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("gone[C1][A].cpp"), std::string::npos) << e.what();
  }
  SetRetrySleep(previous);
}

}  // namespace
}  // namespace velkor
