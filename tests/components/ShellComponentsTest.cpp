// The folder-change notifier on real temporary folders, driven by the
// offscreen application's event loop.
#include "components/ShellComponents.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace velkor {
namespace {

namespace fs = std::filesystem;

// How long a test waits for an event that must come, and for one that must
// not: inotify delivers within milliseconds.
constexpr int kMustCome = 2000;
constexpr int kQuiet = 250;

void WriteFile(const fs::path& Path, const std::string& Text) {
  std::ofstream out(Path, std::ios::binary);
  out << Text;
}

class NotifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FRoot = fs::temp_directory_path() / ("notifier-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(FRoot);
    fs::create_directories(FRoot);
    FNotifier.SetOnChange([this](QObject* Sender) {
      EXPECT_EQ(Sender, &FNotifier);
      EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
      ++FChanges;
    });
  }
  void TearDown() override {
    FNotifier.StopMonitor();
    std::error_code ec;
    fs::remove_all(FRoot, ec);
  }

  // Lets pending events arrive, then forgets them.
  void Settle() {
    QTest::qWait(50);
    FChanges = 0;
  }
  bool ChangeComes() { return QTest::qWaitFor([this] { return FChanges > 0; }, kMustCome); }
  bool StaysQuiet() {
    QTest::qWait(kQuiet);
    return FChanges == 0;
  }

  fs::path FRoot;
  TVQRShellChangeNotifier FNotifier;
  int FChanges = 0;
};

TEST_F(NotifierTest, NameChangesInTheRootReachOnChange) {
  FNotifier.SetNotifyFilters({nfFileNameChange});
  FNotifier.StartMonitor(FRoot.string());
  ASSERT_TRUE(FNotifier.Monitoring());

  struct Step {
    const char* what;
    std::function<void()> act;
  } steps[] = {
      {"create", [&] { WriteFile(FRoot / "a.cpp", "int main() {}"); }},
      {"rename", [&] { fs::rename(FRoot / "a.cpp", FRoot / "b.cpp"); }},
      {"delete", [&] { fs::remove(FRoot / "b.cpp"); }},
  };
  for (const Step& step : steps) {
    Settle();
    step.act();
    EXPECT_TRUE(ChangeComes()) << step.what;
  }
}

TEST_F(NotifierTest, FiltersDecideWhichChangesCount) {
  WriteFile(FRoot / "old.txt", "x");
  fs::create_directory(FRoot / "dir");

  // A content write is not a name change.
  FNotifier.SetNotifyFilters({nfFileNameChange});
  FNotifier.StartMonitor(FRoot.string());
  Settle();
  WriteFile(FRoot / "old.txt", "longer content");
  EXPECT_TRUE(StaysQuiet());
  // Nor is a new folder under file names only.
  fs::create_directory(FRoot / "new-dir");
  EXPECT_TRUE(StaysQuiet());

  FNotifier.SetNotifyFilters({nfDirNameChange});
  FNotifier.StartMonitor();
  Settle();
  WriteFile(FRoot / "new.txt", "x");
  EXPECT_TRUE(StaysQuiet());
  fs::remove(FRoot / "new-dir");
  EXPECT_TRUE(ChangeComes());

  FNotifier.SetNotifyFilters({nfLastWrite});
  FNotifier.StartMonitor();
  Settle();
  WriteFile(FRoot / "old.txt", "written again");
  EXPECT_TRUE(ChangeComes());
}

TEST_F(NotifierTest, SubFoldersCountOnlyWithTheSubTreeFlag) {
  fs::create_directories(FRoot / "sub" / "deeper");
  FNotifier.SetNotifyFilters({nfFileNameChange});

  FNotifier.StartMonitor(FRoot.string());
  Settle();
  WriteFile(FRoot / "sub" / "deeper" / "x.txt", "x");
  EXPECT_TRUE(StaysQuiet());

  FNotifier.SetWatchSubTree(true);
  FNotifier.StartMonitor();
  Settle();
  WriteFile(FRoot / "sub" / "deeper" / "y.txt", "y");
  EXPECT_TRUE(ChangeComes());

  // A folder made after the start is watched as well, however deep.
  fs::create_directories(FRoot / "later" / "inner");
  Settle();
  WriteFile(FRoot / "later" / "inner" / "z.txt", "z");
  EXPECT_TRUE(ChangeComes());

  // A folder moved out of the tree is no longer watched.
  const fs::path outside = FRoot.string() + "-outside";
  fs::remove_all(outside);
  fs::rename(FRoot / "later", outside);
  Settle();
  WriteFile(outside / "inner" / "gone.txt", "x");
  EXPECT_TRUE(StaysQuiet());
  fs::remove_all(outside);
}

TEST_F(NotifierTest, TheIntervalTicksWhileMonitoring) {
  FNotifier.SetInterval(50);
  FNotifier.StartMonitor(FRoot.string());
  EXPECT_TRUE(QTest::qWaitFor([this] { return FChanges >= 3; }, kMustCome));

  FNotifier.StopMonitor();
  FChanges = 0;
  EXPECT_TRUE(StaysQuiet());
  EXPECT_FALSE(FNotifier.Monitoring());
  // OnChange was only detached while stopping.
  EXPECT_TRUE(FNotifier.OnChange());
}

TEST_F(NotifierTest, NothingAfterStopMonitorEvenWithQueuedEvents) {
  FNotifier.StartMonitor(FRoot.string());
  Settle();
  // The events are in the inotify queue, unread, when monitoring stops.
  WriteFile(FRoot / "a.txt", "x");
  fs::remove(FRoot / "a.txt");
  FNotifier.StopMonitor();
  EXPECT_TRUE(StaysQuiet());
}

TEST_F(NotifierTest, AnEmptyRootStaysIdleAlsoWithAnInterval) {
  FNotifier.SetInterval(50);
  FNotifier.StartMonitor("");
  EXPECT_FALSE(FNotifier.Monitoring());
  EXPECT_FALSE(FNotifier.TimerActive());
  EXPECT_TRUE(StaysQuiet());
  // The root setter with "" only stops.
  FNotifier.SetRoot(FRoot.string());
  EXPECT_TRUE(FNotifier.Monitoring());
  FNotifier.SetRoot("");
  EXPECT_FALSE(FNotifier.Monitoring());
  EXPECT_EQ(FNotifier.Root(), "");
}

TEST_F(NotifierTest, IntervalZeroStopsTheTicksAndKeepsTheWatch) {
  FNotifier.SetInterval(50);
  FNotifier.SetRoot(FRoot.string());
  EXPECT_EQ(FNotifier.Root(), FRoot.string());
  ASSERT_TRUE(ChangeComes());

  FNotifier.SetInterval(0);
  EXPECT_FALSE(FNotifier.TimerActive());
  Settle();
  EXPECT_TRUE(StaysQuiet());
  WriteFile(FRoot / "still-watched.txt", "x");
  EXPECT_TRUE(ChangeComes());

  // A non-zero interval does not start the stopped timer; the next start does.
  FNotifier.SetInterval(50);
  EXPECT_FALSE(FNotifier.TimerActive());
  FNotifier.StartMonitor();
  EXPECT_TRUE(FNotifier.TimerActive());
}

TEST_F(NotifierTest, AMissingOrOddRootStillTicks) {
  FNotifier.SetInterval(50);
  const std::string file = (FRoot / "plain-file").string();
  WriteFile(file, "x");
  for (const std::string& root : {(FRoot / "missing").string(), file}) {
    FNotifier.StartMonitor(root);
    EXPECT_TRUE(FNotifier.Monitoring()) << root;
    ASSERT_NE(FNotifier.ShellChange(), nullptr);
    EXPECT_FALSE(FNotifier.ShellChange()->Watch()->Active()) << root;
    FChanges = 0;
    EXPECT_TRUE(QTest::qWaitFor([this] { return FChanges >= 2; }, kMustCome)) << root;
  }
}

TEST_F(NotifierTest, TheRootVanishingIsAChange) {
  const fs::path root = FRoot / "watched";
  fs::create_directory(root);
  FNotifier.SetNotifyFilters({nfLastWrite});  // no name changes asked for
  FNotifier.StartMonitor(root.string());
  Settle();
  fs::remove_all(root);
  EXPECT_TRUE(ChangeComes());
  EXPECT_FALSE(FNotifier.ShellChange()->Watch()->Active());

  // The timer goes on without the folder.
  FNotifier.SetInterval(50);
  FNotifier.StartMonitor();
  FChanges = 0;
  EXPECT_TRUE(QTest::qWaitFor([this] { return FChanges >= 2; }, kMustCome));
}

TEST_F(NotifierTest, OnChangeMayStopOrRestartTheMonitor) {
  int calls = 0;
  FNotifier.SetOnChange([&](QObject*) {
    ++calls;
    if (calls == 1)
      FNotifier.StartMonitor();  // replaces the watch that is reporting
    else
      FNotifier.StopMonitor();
  });
  FNotifier.StartMonitor(FRoot.string());
  WriteFile(FRoot / "one.txt", "x");
  ASSERT_TRUE(QTest::qWaitFor([&] { return calls == 1; }, kMustCome));
  WriteFile(FRoot / "two.txt", "x");
  ASSERT_TRUE(QTest::qWaitFor([&] { return calls == 2; }, kMustCome));
  EXPECT_FALSE(FNotifier.Monitoring());
  WriteFile(FRoot / "three.txt", "x");
  QTest::qWait(kQuiet);
  EXPECT_EQ(calls, 2);
}

TEST(FolderWatchTest, ManyEventsInOneReadAreOneChange) {
  const fs::path root = fs::temp_directory_path() / "folder-watch-batch";
  fs::remove_all(root);
  fs::create_directories(root);
  platform::TFolderWatch watch(root.string(), {nfFileNameChange}, false);
  ASSERT_TRUE(watch.Active());
  EXPECT_FALSE(watch.Drain());
  for (int i = 0; i < 100; ++i) WriteFile(root / ("f" + std::to_string(i)), "x");
  EXPECT_TRUE(watch.Drain());
  EXPECT_FALSE(watch.Drain());  // all read at once
  fs::remove_all(root);
}

TEST(FolderWatchTest, SubTreeWatchesEveryFolderOnce) {
  const fs::path root = fs::temp_directory_path() / "folder-watch-tree";
  fs::remove_all(root);
  fs::create_directories(root / "a" / "b");
  fs::create_directories(root / "c");
  fs::create_directory_symlink(root / "a", root / "link-to-a");  // never followed
  platform::TFolderWatch flat(root.string(), {nfFileNameChange}, false);
  EXPECT_EQ(flat.WatchCount(), 1u);
  platform::TFolderWatch tree(root.string() + "/", {nfFileNameChange}, true);
  EXPECT_EQ(tree.WatchCount(), 4u);
  platform::TFolderWatch viaLink((root / "link-to-a").string(), {nfFileNameChange}, true);
  EXPECT_TRUE(viaLink.Active()) << "a root given as a link is followed";
  EXPECT_EQ(viaLink.WatchCount(), 2u);
  platform::TFolderWatch none("", {nfFileNameChange}, true);
  EXPECT_EQ(none.Fd(), -1);
  EXPECT_FALSE(none.Drain());
  fs::remove_all(root);
}

// Another process holds a file open: for writing it counts (the lease
// sees it, and so does the scan of the processes we may inspect), for
// reading it does not; once the process ends, nobody writes.
TEST(FileWriteStateTest, AnotherProcessWritingCountsAReaderDoesNot) {
  const fs::path root = fs::temp_directory_path() / "file-write-state";
  fs::remove_all(root);
  fs::create_directories(root);
  const std::string file = (root / "bai[C][A].cpp").string();
  WriteFile(file, "int main() {}");
  struct Case {
    int Flags;
    bool Writes;
  } cases[] = {{O_WRONLY | O_APPEND, true}, {O_RDWR, true}, {O_RDONLY, false}};
  for (const Case& c : cases) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const int fd = ::open(file.c_str(), c.Flags);
      const char opened = fd >= 0 ? '1' : '0';
      (void)!::write(ready[1], &opened, 1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char opened = 0;
    ASSERT_EQ(::read(ready[0], &opened, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(opened, '1');
    EXPECT_EQ(platform::FileWriteState(file), c.Writes ? platform::TWriteState::wsWriting : platform::TWriteState::wsClosed)
        << c.Flags;
    const std::vector<platform::TFileWriter> writers = platform::FileWriters(file);
    if (c.Writes) {
      ASSERT_EQ(writers.size(), 1u) << c.Flags;
      EXPECT_EQ(writers[0].Pid, child);
      EXPECT_FALSE(writers[0].Command.empty());
    } else {
      EXPECT_TRUE(writers.empty()) << c.Flags;
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(platform::FileWriteState(file), platform::TWriteState::wsClosed) << c.Flags;
  }
  EXPECT_EQ(platform::FileWriteState((root / "missing").string()), platform::TWriteState::wsClosed);
  fs::remove_all(root);
}

}  // namespace
}  // namespace velkor
