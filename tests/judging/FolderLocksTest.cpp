// The folders one Velkor keeps to itself, against other processes: a
// forked child stands for a Velkor of another account or home.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "judging/Checkers.h"
#include "judging/Compilers.h"
#include "judging/ContestArchive.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/FolderLocks.h"
#include "judging/JudgeEngines.h"
#include "platform/FileLocks.h"
#include "tests/core/FileTestSupport.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::Exists;
using testing::TempFolder;
using testing::WriteText;

// A child process that runs Take and then holds on until it is killed.
class THoldingProcess {
 public:
  explicit THoldingProcess(const std::function<void()>& Take) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    FPid = ::fork();
    if (FPid == 0) {
      ::close(ready[0]);
      try {
        Take();
      } catch (...) {
        ::_exit(1);
      }
      if (::write(ready[1], "h", 1) != 1) ::_exit(1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    FHolding = FPid > 0 && ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
  }
  ~THoldingProcess() { Kill(); }
  bool Holding() const { return FHolding; }
  pid_t Pid() const { return FPid; }
  void Kill() {
    if (FPid <= 0) return;
    ::kill(FPid, SIGKILL);
    ::waitpid(FPid, nullptr, 0);
    FPid = -1;
  }

 private:
  pid_t FPid = -1;
  bool FHolding = false;
};

class FolderLocks : public ::testing::Test {
 protected:
  FolderLocks() {
    previousEnv_ = std::move(EnvConfig);
    EnvConfig = std::make_unique<TEnvConfig>();
    EnvConfig->ContestHouse = House();
    EnvConfig->DecompressDir = UnpackBase();
    fs::create_directories(House());
  }
  ~FolderLocks() override {
    ReleaseFolderLocks();
    EnvConfig = std::move(previousEnv_);
  }

  std::string House() const { return root_ / "house"; }
  std::string UnpackBase() const { return root_ / "unpack/"; }

  // A contest of one exam and one contestant saved as an archive; its
  // path, or "" (with the failure recorded) when it could not be saved.
  std::string SaveSmallArchive() {
    testing::TContestTree tree;
    tree.AddExam("Bai1", {"01"});
    tree.AddContestant("An", {{"Bai1.cpp", "int main(){}\n"}});
    TContestInfo contest;
    contest.ExamSet().SetDir(tree.TasksDir());
    contest.ResultSet().SetDir(tree.ContestantsDir());
    const std::string archive = root_ / "c.contest";
    if (contest.FileSave(archive)) return archive;
    ADD_FAILURE() << contest.ErrorMsg();
    return "";
  }

  // Whether another open of the lock file Path finds it held.
  static bool HeldByAnother(const std::string& Path) {
    platform::TFileLock probe;
    return probe.Take(Path) == platform::TFileLock::flHeldByOther;
  }

  TempFolder root_;

 private:
  std::unique_ptr<TEnvConfig> previousEnv_;
};

TEST_F(FolderLocks, AnotherProcessKeepsTheWorkFolderUntilItDies) {
  THoldingProcess other([this] { HoldWorkFolderHouse(House()); });
  ASSERT_TRUE(other.Holding());

  try {
    HoldWorkFolderHouse(House());
    FAIL() << "a held work folder was taken";
  } catch (const EFolderHeld& e) {
    const std::string text = e.what();
    EXPECT_NE(text.find("thư mục làm việc"), std::string::npos) << text;
    EXPECT_NE(text.find("\"" + House() + "\""), std::string::npos) << text;
    EXPECT_NE(text.find("tiến trình " + std::to_string(other.Pid())), std::string::npos) << text;
  }
  const std::string refused = HoldWorkFolders();
  EXPECT_NE(refused.find(House()), std::string::npos) << refused;
  EXPECT_EQ(refused.find("giải nén"), std::string::npos) << "the unpack place is free: " << refused;

  // However it died, its lock died with it.
  other.Kill();
  EXPECT_NO_THROW(HoldWorkFolderHouse(House()));
  EXPECT_EQ(HoldWorkFolders(), "");
  EXPECT_TRUE(HeldByAnother(House() + "/" + kWorkFolderLockName));
}

// A jury's umask of 077 would make the lock file unreadable to other
// accounts, whose copies could then not tell it is held and would start.
TEST_F(FolderLocks, ALockFileIsReadableByOtherAccountsWhateverTheUmask) {
  const mode_t previous = ::umask(077);
  HoldWorkFolderHouse(House());
  ::umask(previous);
  struct stat st {};
  ASSERT_EQ(::stat((House() + "/" + kWorkFolderLockName).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

// The contest another process unpacked there is neither deleted nor
// replaced: the archive is not opened, and the jury is told why.
TEST_F(FolderLocks, AnArchiveIsNotUnpackedWhereAnotherProcessUnpacks) {
  const std::string archive = SaveSmallArchive();
  ASSERT_FALSE(archive.empty());

  const std::string theirs = UnpackBase() + kUnpackFolderName + "/Tasks/theirs.txt";
  WriteText(theirs, "the other process's contest");
  THoldingProcess other([this] { HoldUnpackFolderBase(UnpackBase()); });
  ASSERT_TRUE(other.Holding());

  TContestInfo opened;
  EXPECT_FALSE(opened.FileLoad(archive));
  EXPECT_NE(opened.ErrorMsg().find("thư mục giải nén kỳ thi"), std::string::npos) << opened.ErrorMsg();
  EXPECT_TRUE(Exists(theirs));
  EXPECT_FALSE(Exists(UnpackBase() + kUnpackFolderName + "1"));

  other.Kill();
  ASSERT_TRUE(opened.FileLoad(archive)) << opened.ErrorMsg();
  EXPECT_EQ(opened.ExamSet().Dir(), UnpackBase() + kUnpackFolderName + "/Tasks/");
}

// A lock file that somebody deleted or replaced no longer keeps anyone
// out: the next use takes the folder again.
TEST_F(FolderLocks, ALockFileDeletedIsTakenAgain) {
  const std::string lockFile = House() + "/" + kWorkFolderLockName;
  HoldWorkFolderHouse(House());
  ASSERT_TRUE(HeldByAnother(lockFile));
  ASSERT_TRUE(fs::remove(lockFile));
  WriteText(lockFile, "planted\n");
  EXPECT_FALSE(HeldByAnother(lockFile));

  HoldWorkFolderHouse(House());
  EXPECT_TRUE(HeldByAnother(lockFile));
}

TEST_F(FolderLocks, OneFolderUnderTwoNamesIsStillOurs) {
  HoldWorkFolderHouse(House());
  const std::string link = root_ / "link";
  fs::create_directory_symlink(House(), link);
  EXPECT_NO_THROW(HoldWorkFolderHouse(link));
  EXPECT_NO_THROW(HoldWorkFolderHouse(House() + "/"));
}

TEST_F(FolderLocks, TheSubmissionFolderLeftIsFreeForAnother) {
  const std::string first = root_ / "submit1", second = root_ / "submit2";
  fs::create_directories(first);
  fs::create_directories(second);
  HoldSubmissionFolder(first);
  EXPECT_TRUE(HeldByAnother(first + "/" + kSubmissionFolderLockName));
  HoldSubmissionFolder(second);
  EXPECT_FALSE(HeldByAnother(first + "/" + kSubmissionFolderLockName));
  EXPECT_TRUE(HeldByAnother(second + "/" + kSubmissionFolderLockName));

  THoldingProcess other([&] {
    ReleaseFolderLocks();
    HoldSubmissionFolder(first);
  });
  ASSERT_TRUE(other.Holding());
  EXPECT_THROW(HoldSubmissionFolder(first), EFolderHeld);
}

// A place that cannot be made is no reason to stop at start-up; its use
// tells the jury what failed.
TEST_F(FolderLocks, APlaceThatCannotBeMadeIsToldWhenUsed) {
  WriteText(root_ / "file", "not a folder");
  EnvConfig->ContestHouse = root_ / "file/house";
  EnvConfig->DecompressDir = root_ / "file/unpack/";
  EXPECT_EQ(HoldWorkFolders(), "");
  try {
    HoldWorkFolderHouse(EnvConfig->ContestHouse);
    FAIL() << "a lock file was made where no folder can be";
  } catch (const EFolderHeld&) {
    FAIL() << "a folder that cannot be made is held by nobody";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(kWorkFolderLockName), std::string::npos) << e.what();
  }
}

// Another Velkor whose unpack base (and contest house, the same folder by
// default) lies inside our unpack folder, e.g. a jury that chose
// ".../VelkorContest" as its unpack folder. Opening an archive here must
// not delete that process's contest and lock files.
TEST_F(FolderLocks, AnotherProcessesPlaceInsideOurUnpackFolderIsNotDeleted) {
  const std::string archive = SaveSmallArchive();
  ASSERT_FALSE(archive.empty());

  const std::string nestedBase = UnpackBase() + kUnpackFolderName + "/";
  const std::string theirs = nestedBase + kUnpackFolderName + "/Contestants/An/Bai1.cpp";
  THoldingProcess other([&] {
    HoldUnpackFolderBase(nestedBase);
    HoldWorkFolderHouse(nestedBase);
    WriteText(theirs, "the other process's contest");
  });
  ASSERT_TRUE(other.Holding());

  TContestInfo opened;
  opened.FileLoad(archive);  // refusing is fine; deleting the other's place is not
  EXPECT_TRUE(Exists(theirs)) << "the other process's unpacked contest was deleted";
  EXPECT_TRUE(HeldByAnother(nestedBase + kUnpackFolderLockName)) << "the other's lock file was deleted";
  EXPECT_TRUE(HeldByAnother(nestedBase + kWorkFolderLockName)) << "the other's lock file was deleted";
  EXPECT_EQ(opened.ExamSet().Dir(), UnpackBase() + kUnpackFolderName + "1/Tasks/") << "opened elsewhere";

  // Once the other is gone, nothing stands in the way any more.
  other.Kill();
  TContestInfo again;
  ASSERT_TRUE(again.FileLoad(archive)) << again.ErrorMsg();
  EXPECT_FALSE(Exists(theirs));
  EXPECT_EQ(again.ExamSet().Dir(), UnpackBase() + kUnpackFolderName + "/Tasks/");
}

// The same for the work folder, made again for every judging run and
// deleted when the run's engine goes: the run takes another name and
// leaves the other's place alone.
TEST_F(FolderLocks, AnotherProcessesPlaceInsideOurWorkFolderIsNotDeleted) {
  const std::string nestedHouse = House() + "/" + kWorkFolderName;
  const std::string theirs = nestedHouse + "/" + kWorkFolderName + "/" + kContestRoomName + "/theirs.txt";
  THoldingProcess other([&] {
    fs::create_directories(nestedHouse);
    HoldWorkFolderHouse(nestedHouse);
    WriteText(theirs, "the other process's run");
  });
  ASSERT_TRUE(other.Holding());

  {
    TContestInfo contest;
    TCompilerConfig compilers;
    TCheckerSet checkers;
    const TJudgeEngine engine(contest, compilers, checkers);
    EXPECT_TRUE(Exists(theirs)) << "deleted when the run began";
  }
  EXPECT_TRUE(Exists(theirs)) << "deleted when the run ended";
  EXPECT_TRUE(HeldByAnother(nestedHouse + "/" + kWorkFolderLockName));
}

}  // namespace
}  // namespace velkor
