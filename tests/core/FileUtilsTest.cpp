#include "core/FileUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "FileTestSupport.h"
#include "platform/ShellFileOps.h"

namespace velkor {
namespace {

using testing::Exists;
using testing::ModeOf;
using testing::ReadText;
using testing::RunUnprivileged;
using testing::TempFolder;
using testing::WriteText;

std::vector<std::string> Names(const TQueue<TFindData>& q) {
  std::vector<std::string> names;
  for (const TFindData& d : q) names.push_back(d.Name);
  return names;
}

std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Records every wait instead of sleeping.
class FakeClock {
 public:
  FakeClock() {
    previous_ = SetRetrySleep([this](std::uint32_t ms) { Waits.push_back(ms); });
  }
  ~FakeClock() { SetRetrySleep(previous_); }
  std::uint64_t Total() const {
    std::uint64_t t = 0;
    for (auto w : Waits) t += w;
    return t;
  }
  std::vector<std::uint32_t> Waits;

 private:
  TSleepProc previous_;
};

// root{A.txt, b.txt, link-to-sub -> sub, sub{c.txt, deep{d.txt}}, Zed{e.txt}}
class ScanTree : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteText(tmp / "A.txt", "aaaa");
    WriteText(tmp / "b.txt", "b");
    WriteText(tmp / "sub/c.txt", "c");
    WriteText(tmp / "sub/deep/d.txt", "d");
    WriteText(tmp / "Zed/e.txt", "e");
    ::symlink("sub", (tmp / "link-to-sub").c_str());
  }
  TempFolder tmp;
};

TEST_F(ScanTree, EveryFlagCombinationListsBreadthFirstInNameOrder) {
  struct Case {
    std::uint32_t flags;
    std::vector<std::string> names;  // relative to the root
  };
  const std::vector<Case> cases = {
      {0, {}},
      {sdFiles, {"A.txt", "b.txt"}},
      {sdFolders, {"link-to-sub", "sub", "Zed"}},
      {sdFiles | sdFolders, {"A.txt", "b.txt", "link-to-sub", "sub", "Zed"}},
      {sdRecursive, {}},
      {sdFiles | sdRecursive, {"A.txt", "b.txt", "sub/c.txt", "Zed/e.txt", "sub/deep/d.txt"}},
      {sdFolders | sdRecursive, {"link-to-sub", "sub", "Zed", "sub/deep"}},
      {sdFiles | sdFolders | sdRecursive,
       {"A.txt", "b.txt", "link-to-sub", "sub", "Zed", "sub/c.txt", "sub/deep", "Zed/e.txt", "sub/deep/d.txt"}},
  };
  for (const Case& c : cases) {
    for (std::uint32_t absolute : {0u, sdAbsoluteNames}) {
      std::vector<std::string> expected;
      for (const std::string& n : c.names) expected.push_back(absolute ? tmp / n : n);
      EXPECT_EQ(Names(ScanDirectory(tmp.Path(), c.flags | absolute)), expected) << "flags " << (c.flags | absolute);
    }
  }
  // A trailing delimiter on the root changes nothing.
  EXPECT_EQ(Names(ScanDirectory(tmp.Path() + "/", sdFiles | sdAbsoluteNames)),
            (std::vector<std::string>{tmp / "A.txt", tmp / "b.txt"}));
}

TEST_F(ScanTree, RecordsCarryAttributesAndSizes) {
  ASSERT_EQ(::chmod((tmp / "b.txt").c_str(), 0444), 0);
  std::map<std::string, TFindData> byName;
  for (const TFindData& d : ScanDirectory(tmp.Path(), sdFiles | sdFolders)) byName[d.Name] = d;
  EXPECT_EQ(byName["A.txt"].Attr, faArchive);
  EXPECT_EQ(byName["A.txt"].Size, 4u);
  EXPECT_EQ(byName["b.txt"].Attr, faArchive | faReadOnly);
  EXPECT_EQ(byName["sub"].Attr, faDirectory);
  EXPECT_EQ(byName["sub"].Size, 0u);
  EXPECT_EQ(byName["link-to-sub"].Attr, faDirectory | faSymLink);
}

TEST_F(ScanTree, TimesAreLocalDateTimesWithMilliseconds) {
  // 2020-01-02 03:04:05.678 UTC; the zone is fixed at UTC+7 without rules.
  const timespec when[2] = {{1577934245, 678000000}, {1577934245, 678000000}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (tmp / "A.txt").c_str(), when, 0), 0);
  const std::string oldTz = std::getenv("TZ") ? std::getenv("TZ") : "";
  ::setenv("TZ", "ICT-7", 1);
  ::tzset();
  const TFindData a = ScanDirectory(tmp.Path(), sdFiles, "A.txt").Get();
  oldTz.empty() ? ::unsetenv("TZ") : ::setenv("TZ", oldTz.c_str(), 1);
  ::tzset();
  // 2020-01-02 is day 43832; 10:04:05.678 local.
  const double expected = 43832 + (10 * 3600 + 4 * 60 + 5.678) / 86400.0;
  EXPECT_NEAR(a.LastWriteTime, expected, 1e-9);
  EXPECT_NEAR(a.LastAccessTime, expected, 1e-9);
  EXPECT_GT(a.CreationTime, 40000);
}

TEST_F(ScanTree, MaskSelectsEntriesAndTheFoldersEntered) {
  WriteText(tmp / "BAI1$1.class", "");
  WriteText(tmp / "BAI1.class", "");
  WriteText(tmp / "x/BAI1$2.class", "");
  EXPECT_EQ(Names(ScanDirectory(tmp.Path(), sdFiles | sdAbsoluteNames, "BAI1$*.CLASS")),
            (std::vector<std::string>{tmp / "BAI1$1.class"}));
  // Only sub-folders matching the mask are entered.
  EXPECT_EQ(Names(ScanDirectory(tmp.Path(), sdFiles | sdFolders | sdRecursive, "s*")),
            (std::vector<std::string>{"sub"}));
  EXPECT_EQ(Names(ScanDirectory(tmp.Path(), sdFiles | sdRecursive, "*.txt")), (std::vector<std::string>{"A.txt", "b.txt"}));
}

TEST(ScanDirectory, MissingOrNonFolderRootGivesAnEmptyQueue) {
  TempFolder tmp;
  WriteText(tmp / "file", "x");
  EXPECT_TRUE(ScanDirectory(tmp / "missing", 15).Empty());
  EXPECT_TRUE(ScanDirectory(tmp / "file", 15).Empty());
  EXPECT_TRUE(ScanDirectory("", 15).Empty());
}

TEST(ScanDirectory, FoldersACopyLeftBehindAreNotListed) {
  TempFolder tmp;
  WriteText(tmp / ".velkor-a1B2c3/new/Bai1.cpp", "x");  // a copy cut short
  WriteText(tmp / ".velkor-x/kept.txt", "y");          // a name of the user's
  WriteText(tmp / "An/Bai1.cpp", "z");
  EXPECT_EQ(Names(ScanDirectory(tmp.Path(), sdFiles | sdFolders | sdRecursive)),
            (std::vector<std::string>{".velkor-x", "An", ".velkor-x/kept.txt", "An/Bai1.cpp"}));
}

TEST(ScanDirectory, BadNamesAndBrokenLinksAreListed) {
  TempFolder tmp;
  WriteText(tmp / "Bài làm [An] (1).cpp", "x");
  ::symlink("nowhere", (tmp / "broken").c_str());
  const TQueue<TFindData> q = ScanDirectory(tmp.Path(), sdFiles);
  // "R" sorts before "à": only ASCII letters fold, the rest go by code.
  EXPECT_EQ(Names(q), (std::vector<std::string>{"broken", "Bài làm [An] (1).cpp"}));
  EXPECT_EQ(q.Get().Attr, faArchive | faSymLink);
}

TEST(ScanDirectory, UnreadableFolderRaisesOrIsReported) {
  TempFolder tmp;
  WriteText(tmp / "a/locked/secret", "x");
  WriteText(tmp / "b/visible", "x");
  ASSERT_EQ(::chmod((tmp / "a/locked").c_str(), 0), 0);
  const auto out = RunUnprivileged([&] {
    std::string r;
    try {
      ScanDirectory(tmp.Path(), 15);
      r = "no error;";
    } catch (const EFileError& e) {
      r = std::string(e.what()) + ";";
    }
    std::vector<std::string> errors;
    for (const std::string& n : Names(ScanDirectory(tmp.Path(), sdFiles | sdRecursive, "*", &errors))) r += n + ",";
    for (const std::string& e : errors) r += "|" + e;
    return r;
  });
  if (!out) GTEST_SKIP() << "cannot run a child without privileges";
  const std::string message = "Không liệt kê được thư mục \"" + (tmp / "a/locked/") + "\": Truy cập bị từ chối.";
  EXPECT_EQ(*out, message + ";b/visible,|" + message);
}

TEST(MatchesMask, FollowsWindowsRules) {
  struct Case {
    const char* name;
    const char* mask;
    bool match;
  };
  const Case cases[] = {
      {"BAI1$1.class", "BAI1$*.CLASS", true},  // javac's inner-class files
      {"BAI1.class", "BAI1$*.CLASS", false},
      {"A", "A.*", true},  // a name without extension matches "X.*"
      {"A.txt", "A.*", true},
      {"AB", "A.*", false},
      {"readme", "*.*", true},
      {"a.b.c", "*.c", true},
      {"x.cpp", "*.CPP", true},
      {"x.cppx", "*.cpp", false},
      {"a1b", "a?b", true},
      {"ab", "a?b", false},
      {"tiếng", "?iếng", true},  // "?" is one character, not one byte
      {"bài1", "BÀI1", false},  // only ASCII letters fold
      {"bài1", "BàI1", true},
      {"noext", "*.", true},
      {"a.b", "*.", false},
      {"anything", "", true},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchesMask(c.name, c.mask), c.match) << c.name << " ~ " << c.mask;
}

TEST(NameResolver, FindsNamesIgnoringAsciiCase) {
  TempFolder tmp;
  WriteText(tmp / "Sub/Bai1.CPP", "1");
  WriteText(tmp / "Sub/bai1.cpp", "2");
  WriteText(tmp / "Sub/bài2.pas", "3");
  EXPECT_EQ(FindNameIgnoreCase(tmp / "Sub", "bai1.cpp"), "bai1.cpp");  // exact wins
  EXPECT_EQ(FindNameIgnoreCase(tmp / "Sub", "BAI1.cpp"), "Bai1.CPP");  // then name order
  EXPECT_EQ(FindNameIgnoreCase(tmp / "Sub", "BÀI2.PAS"), "");
  EXPECT_EQ(FindNameIgnoreCase(tmp / "Sub", "BàI2.PAS"), "bài2.pas");
  EXPECT_EQ(FindNameIgnoreCase(tmp / "none", "x"), "");
  EXPECT_EQ(ResolvePathIgnoreCase(tmp / "SUB/BàI2.PAS"), tmp / "Sub/bài2.pas");
  EXPECT_EQ(ResolvePathIgnoreCase(tmp / "sub/missing.txt"), tmp / "sub/missing.txt");
  EXPECT_EQ(ResolvePathIgnoreCase(tmp / "sub/"), tmp / "Sub/");
}

// --- shell routines -------------------------------------------------------

class ShellOps : public ::testing::Test {
 protected:
  FakeClock clock;
  TempFolder tmp;
};

TEST_F(ShellOps, CopyKeepsContentModeAndWriteTime) {
  WriteText(tmp / "src/Bài [1].txt", "hello");
  ASSERT_EQ(::chmod((tmp / "src/Bài [1].txt").c_str(), 0444), 0);
  const timespec when[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (tmp / "src/Bài [1].txt").c_str(), when, 0), 0);
  ASSERT_TRUE(CopyWithRetry(tmp / "src/Bài [1].txt", tmp / "a/b/c", ""));
  const std::string copy = tmp / "a/b/c/Bài [1].txt";
  EXPECT_EQ(ReadText(copy), "hello");
  EXPECT_EQ(ModeOf(copy), 0444);
  struct stat st {};
  ::stat(copy.c_str(), &st);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(Listing(tmp / "a/b/c"), (std::vector<std::string>{"Bài [1].txt"}));  // nothing left behind
  EXPECT_TRUE(clock.Waits.empty());

  // A contestant's set-user-ID, world-writable file copied by Velkor (by
  // root, often) keeps neither: the copy would run as Velkor, or be
  // changed by anyone before it is judged.
  WriteText(tmp / "src/dir/prog", "#!/bin/sh\n");
  ASSERT_EQ(::chmod((tmp / "src/dir/prog").c_str(), 06777), 0);
  ASSERT_EQ(::chmod((tmp / "src/dir").c_str(), 01777), 0);
  ASSERT_TRUE(CopyWithRetry(tmp / "src/dir", tmp / "d", ""));
  EXPECT_EQ(ModeOf(tmp / "d/dir/prog"), 0755);
  EXPECT_EQ(ModeOf(tmp / "d/dir"), 0755);
}

TEST_F(ShellOps, CopyAndMoveReplaceAnyKindOfExistingTarget) {
  struct Case {
    const char* what;
    bool sourceIsFolder;
    bool targetIsFolder;
    bool move;
  };
  const Case cases[] = {
      {"file over file", false, false, false},      {"folder over folder", true, true, false},
      {"file over folder", false, true, false},     {"folder over file", true, false, false},
      {"move file over file", false, false, true},  {"move folder over folder", true, true, true},
      {"move file over folder", false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder t;
    const std::string src = c.sourceIsFolder ? t / "src/item/new.txt" : t / "src/item";
    WriteText(src, "new");
    const std::string old = c.targetIsFolder ? t / "dst/renamed/old.txt" : t / "dst/renamed";
    WriteText(old, "old");
    ASSERT_EQ(::chmod(old.c_str(), 0444), 0);
    const bool ok = c.move ? MoveWithRetry(t / "src/item", t / "dst", "renamed")
                           : CopyWithRetry(t / "src/item", t / "dst", "renamed");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ReadText(c.sourceIsFolder ? t / "dst/renamed/new.txt" : t / "dst/renamed"), "new");
    EXPECT_FALSE(c.targetIsFolder && c.sourceIsFolder && Exists(t / "dst/renamed/old.txt"));
    EXPECT_EQ(Listing(t / "dst"), (std::vector<std::string>{"renamed"}));
    EXPECT_EQ(Exists(t / "src/item"), !c.move);
  }
}

TEST_F(ShellOps, FailedCopyLeavesTheOldTargetIntact) {
  // A pipe inside the source cannot be copied, so the copy fails half-way.
  WriteText(tmp / "src/item/a.txt", "new");
  ASSERT_EQ(::mkfifo((tmp / "src/item/pipe").c_str(), 0644), 0);
  WriteText(tmp / "dst/item/old.txt", "old");
  EXPECT_FALSE(CopyWithRetry(tmp / "src/item", tmp / "dst", ""));
  EXPECT_EQ(ReadText(tmp / "dst/item/old.txt"), "old");
  EXPECT_EQ(Listing(tmp / "dst"), (std::vector<std::string>{"item"}));
  EXPECT_EQ(Listing(tmp / "dst/item"), (std::vector<std::string>{"old.txt"}));
  EXPECT_EQ(clock.Waits, std::vector<std::uint32_t>(20, 500));
  // A missing source fails the same way.
  EXPECT_FALSE(MoveWithRetry(tmp / "src/none", tmp / "dst", "item"));
  EXPECT_EQ(ReadText(tmp / "dst/item/old.txt"), "old");
}

TEST_F(ShellOps, TargetThatIsTheSourceIsLeftIntact) {
  WriteText(tmp / "d/f.txt", "keep");
  WriteText(tmp / "d/sub/g.txt", "keep too");
  for (const char* item : {"f.txt", "sub"}) {
    EXPECT_TRUE(CopyWithRetry(tmp / "d" + "/" + item, tmp / "d", ""));
    EXPECT_TRUE(MoveWithRetry(tmp / "d" + "/" + item, tmp / "d/", item));
  }
  EXPECT_EQ(ReadText(tmp / "d/f.txt"), "keep");
  EXPECT_EQ(ReadText(tmp / "d/sub/g.txt"), "keep too");
  EXPECT_EQ(Listing(tmp / "d"), (std::vector<std::string>{"f.txt", "sub"}));
  EXPECT_TRUE(clock.Waits.empty());
}

TEST_F(ShellOps, FolderCannotBeCopiedOrMovedIntoItself) {
  WriteText(tmp / "d/f.txt", "x");
  EXPECT_FALSE(CopyWithRetry(tmp / "d", tmp / "d/inner", ""));
  EXPECT_FALSE(MoveWithRetry(tmp / "d", tmp / "d", "again"));
  EXPECT_EQ(Listing(tmp / "d"), (std::vector<std::string>{"f.txt", "inner"}));
  EXPECT_TRUE(Listing(tmp / "d/inner").empty());
}

TEST_F(ShellOps, MoveClearsReadOnlyAndMovesProtectedFolders) {
  WriteText(tmp / "ro.txt", "r");
  ASSERT_EQ(::chmod((tmp / "ro.txt").c_str(), 0444), 0);
  WriteText(tmp / "tree/in/f.txt", "f");
  ASSERT_EQ(::chmod((tmp / "tree/in").c_str(), 0555), 0);
  ASSERT_EQ(::chmod((tmp / "tree").c_str(), 0555), 0);
  ASSERT_TRUE(MoveWithRetry(tmp / "ro.txt", tmp / "out", ""));
  EXPECT_EQ(ModeOf(tmp / "out/ro.txt") & S_IWUSR, S_IWUSR);
  ASSERT_TRUE(MoveWithRetry(tmp / "tree", tmp / "out", ""));
  EXPECT_EQ(ReadText(tmp / "out/tree/in/f.txt"), "f");
  EXPECT_FALSE(Exists(tmp / "tree"));
}

// Linux moves a folder to another parent only when the folder is writable,
// and root is exempt, so this runs under an ordinary account: the account
// the jury runs the judge under.
TEST_F(ShellOps, ReadOnlyFoldersAreCopiedAndReplacedWithoutPrivileges) {
  WriteText(tmp / "work/src/ro/f.txt", "new");
  WriteText(tmp / "work/dst/old/g.txt", "old");
  WriteText(tmp / "work/moved/old/h.txt", "old");
  for (const char* folder : {"work/src/ro", "work/dst/old", "work/moved/old"})
    ASSERT_EQ(::chmod((tmp / folder).c_str(), 0555), 0);
  if (::geteuid() == 0) {
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody) GTEST_SKIP() << "no unprivileged account";
    for (const auto& e : std::filesystem::recursive_directory_iterator(tmp / "work"))
      ASSERT_EQ(::lchown(e.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ASSERT_EQ(::chown((tmp / "work").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  }
  const auto out = RunUnprivileged([&] {
    std::string r = std::to_string(CopyWithRetry(tmp / "work/src/ro", tmp / "work/dst", "fresh"));
    r += std::to_string(CopyWithRetry(tmp / "work/src/ro", tmp / "work/dst", "old"));
    r += std::to_string(MoveWithRetry(tmp / "work/dst/fresh", tmp / "work/moved", "old"));
    return r;
  });
  if (!out) GTEST_SKIP() << "cannot run a child without privileges";
  EXPECT_EQ(*out, "111");
  // The copy replaced the old folder and kept the source's permissions.
  EXPECT_EQ(ReadText(tmp / "work/dst/old/f.txt"), "new");
  EXPECT_FALSE(Exists(tmp / "work/dst/old/g.txt"));
  EXPECT_EQ(ModeOf(tmp / "work/dst/old"), 0555);
  // The move replaced a read-only folder as well.
  EXPECT_EQ(ReadText(tmp / "work/moved/old/f.txt"), "new");
  EXPECT_FALSE(Exists(tmp / "work/moved/old/h.txt"));
  // Nothing is left beside the targets, and the source is untouched.
  EXPECT_EQ(Listing(tmp / "work/dst"), (std::vector<std::string>{"old"}));
  EXPECT_EQ(Listing(tmp / "work/moved"), (std::vector<std::string>{"old"}));
  EXPECT_EQ(ReadText(tmp / "work/src/ro/f.txt"), "new");
  EXPECT_EQ(ModeOf(tmp / "work/src/ro"), 0555);
}

TEST_F(ShellOps, MoveAcrossFileSystemsCopiesThenDeletes) {
  struct stat a {}, b {};
  if (::stat("/dev/shm", &b) != 0 || ::stat(tmp.Path().c_str(), &a) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system at /dev/shm";
  char other[] = "/dev/shm/velkor-test-XXXXXX";
  ASSERT_NE(::mkdtemp(other), nullptr);
  WriteText(tmp / "tree/in/f.txt", "f");
  WriteText(std::string(other) + "/tree/old.txt", "old");
  EXPECT_TRUE(MoveWithRetry(tmp / "tree", other, ""));
  EXPECT_EQ(ReadText(std::string(other) + "/tree/in/f.txt"), "f");
  EXPECT_FALSE(Exists(std::string(other) + "/tree/old.txt"));
  EXPECT_FALSE(Exists(tmp / "tree"));
  EXPECT_EQ(Listing(other), (std::vector<std::string>{"tree"}));
  EXPECT_TRUE(DeleteWithRetry(other));
}

// The source's deletion stops at a folder its account cannot empty, after
// other parts of it are gone; the retries must not copy those remains over
// the complete copy.
TEST_F(ShellOps, MoveAcrossFileSystemsLosesNothingWhenTheSourceResists) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand one folder to another account";
  const passwd* nobody = ::getpwnam("nobody");
  if (!nobody) GTEST_SKIP() << "no unprivileged account";
  struct stat a {}, b {};
  if (::stat("/dev/shm", &b) != 0 || ::stat(tmp.Path().c_str(), &a) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system at /dev/shm";
  char other[] = "/dev/shm/velkor-test-XXXXXX";
  ASSERT_NE(::mkdtemp(other), nullptr);
  const std::string target = other;
  ASSERT_EQ(::chown(other, nobody->pw_uid, nobody->pw_gid), 0);
  WriteText(tmp / "work/tree/a.txt", "a");
  WriteText(tmp / "work/tree/m/keep.txt", "m");
  WriteText(tmp / "work/tree/z/stuck.txt", "z");
  for (const auto& e : std::filesystem::recursive_directory_iterator(tmp / "work"))
    ASSERT_EQ(::lchown(e.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  ASSERT_EQ(::chown((tmp / "work").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  ASSERT_EQ(::chown((tmp / "work/tree/z").c_str(), 0, 0), 0);  // nobody cannot empty it

  const auto out = RunUnprivileged([&] { return std::to_string(MoveWithRetry(tmp / "work/tree", target, "")); });
  if (!out) GTEST_SKIP() << "cannot run a child without privileges";
  EXPECT_EQ(*out, "0");  // the source could not be removed
  EXPECT_EQ(ReadText(target + "/tree/a.txt"), "a");
  EXPECT_EQ(ReadText(target + "/tree/m/keep.txt"), "m");
  EXPECT_EQ(ReadText(target + "/tree/z/stuck.txt"), "z");
  EXPECT_EQ(Listing(target), (std::vector<std::string>{"tree"}));
  EXPECT_TRUE(DeleteWithRetry(target));
}

TEST_F(ShellOps, DeleteRemovesProtectedTreesButNeverFollowsLinks) {
  WriteText(tmp / "tree/in/f.txt", "f");
  ASSERT_EQ(::chmod((tmp / "tree/in/f.txt").c_str(), 0444), 0);
  ASSERT_EQ(::chmod((tmp / "tree/in").c_str(), 0500), 0);
  WriteText(tmp / "target/keep.txt", "k");
  ::symlink((tmp / "target").c_str(), (tmp / "tree/link").c_str());
  ::symlink((tmp / "target").c_str(), (tmp / "link").c_str());
  ::symlink("nowhere", (tmp / "broken").c_str());
  EXPECT_TRUE(DeleteWithRetry(tmp / "tree"));
  EXPECT_TRUE(DeleteWithRetry(tmp / "link/"));  // the link, not the folder it names
  EXPECT_TRUE(DeleteWithRetry(tmp / "broken"));
  EXPECT_EQ(Listing(tmp.Path()), (std::vector<std::string>{"target"}));
  EXPECT_EQ(ReadText(tmp / "target/keep.txt"), "k");
  EXPECT_TRUE(clock.Waits.empty());
}

// A judged program can leave a tree in its room far deeper than a path may
// be long; the room must still go.
TEST_F(ShellOps, DeleteRemovesTreesDeeperThanAPathMayBeLong) {
  constexpr int kDepth = 1000;  // about 11 KB of path, PATH_MAX is 4 KB
  WriteText(tmp / "outside.txt", "keep");
  int fd = ::open(tmp.Path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int i = 0; i < kDepth; ++i) {
    ASSERT_EQ(::mkdirat(fd, "deep-level", 0755), 0) << i;
    const int next = ::openat(fd, "deep-level", O_RDONLY | O_DIRECTORY);
    if (i == kDepth / 2) {
      ASSERT_EQ(::fchmod(fd, 0500), 0);  // a write-protected folder half-way
    }
    ::close(fd);
    ASSERT_GE(fd = next, 0) << i;
    if (i % 250 == 0) {
      ASSERT_EQ(::symlinkat(tmp.Path().c_str(), fd, "link"), 0);
    }
  }
  const int file = ::openat(fd, "out.txt", O_WRONLY | O_CREAT, 0444);
  ASSERT_GE(file, 0);
  ::close(file);
  ::close(fd);

  EXPECT_TRUE(DeleteWithRetry(tmp / "deep-level"));
  EXPECT_FALSE(Exists(tmp / "deep-level"));
  EXPECT_EQ(Listing(tmp.Path()), (std::vector<std::string>{"outside.txt"}));  // links were not followed
  EXPECT_EQ(ReadText(tmp / "outside.txt"), "keep");
  EXPECT_TRUE(clock.Waits.empty());
}

TEST_F(ShellOps, DeletingWhatDoesNotExistSucceedsAtOnce) {
  EXPECT_TRUE(DeleteWithRetry(tmp / "missing"));
  EXPECT_TRUE(DeleteWithRetry(tmp / "missing/below"));
  EXPECT_TRUE(clock.Waits.empty());
}

TEST_F(ShellOps, DotsInADeletedPathAreResolvedByName) {
  WriteText(tmp / "keep/d/f.txt", "x");
  WriteText(tmp / "a/g.txt", "y");
  WriteText(tmp / "stay.txt", "z");
  EXPECT_TRUE(DeleteWithRetry(tmp / "keep/d/.."));  // "keep" itself, as a whole
  EXPECT_FALSE(PathExists(tmp / "keep"));
  EXPECT_TRUE(DeleteWithRetry(tmp / "a/."));
  EXPECT_FALSE(PathExists(tmp / "a"));
  EXPECT_TRUE(PathExists(tmp / "stay.txt"));
  // A path that resolves to the current folder is refused, not emptied.
  WriteText(tmp / "x/h.txt", "w");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(tmp.Path());
  const int status = platform::ShellDelete("x/..");
  std::filesystem::current_path(before);
  EXPECT_NE(status, 0);
  EXPECT_TRUE(PathExists(tmp / "x/h.txt"));
  EXPECT_TRUE(PathExists(tmp / "stay.txt"));
}

TEST_F(ShellOps, ANewNameIsOneNameInsideTheTargetFolder) {
  WriteText(tmp / "src/f.txt", "x");
  for (const char* name : {"../escaped.txt", "sub/f.txt", ".", ".."}) {
    EXPECT_NE(platform::ShellCopy(tmp / "src/f.txt", tmp / "dest", name), 0) << name;
    EXPECT_NE(platform::ShellMove(tmp / "src/f.txt", tmp / "dest", name), 0) << name;
  }
  EXPECT_FALSE(PathExists(tmp / "escaped.txt"));
  EXPECT_TRUE(PathExists(tmp / "src/f.txt"));
}

TEST_F(ShellOps, RetryWrappersTryTwentyTimesHalfASecondApart) {
  TShellDeleteProc savedDelete = ShellDeleteProc;
  TShellTransferProc savedCopy = ShellCopyProc;
  int deletes = 0, copies = 0;
  ShellDeleteProc = [&](const std::string&) { return ++deletes, -5; };
  ShellCopyProc = [&](const std::string&, const std::string&, const std::string&) { return ++copies < 3 ? -32 : 0; };
  EXPECT_FALSE(DeleteWithRetry("x"));
  EXPECT_EQ(deletes, 20);
  EXPECT_EQ(clock.Waits, std::vector<std::uint32_t>(20, 500));
  clock.Waits.clear();
  EXPECT_TRUE(CopyWithRetry("x", "y", ""));
  EXPECT_EQ(copies, 3);
  EXPECT_EQ(clock.Waits, std::vector<std::uint32_t>(2, 500));
  ShellDeleteProc = savedDelete;
  ShellCopyProc = savedCopy;
}

TEST_F(ShellOps, DeleteFailsWhereThePermissionsForbidIt) {
  WriteText(tmp / "guarded/f.txt", "f");
  ASSERT_EQ(::chmod((tmp / "guarded").c_str(), 0555), 0);
  const auto out = RunUnprivileged([&] {
    SetRetrySleep([](std::uint32_t) {});
    return std::to_string(ShellDeleteProc(tmp / "guarded/f.txt")) + " " +
           std::to_string(DeleteWithRetry(tmp / "guarded/f.txt"));
  });
  if (!out) GTEST_SKIP() << "cannot run a child without privileges";
  EXPECT_EQ(*out, "-5 0");  // access denied
  EXPECT_TRUE(Exists(tmp / "guarded/f.txt"));
}

// --- attributes and locks -------------------------------------------------

TEST(Attributes, SetRecursivelyNeverThroughLinks) {
  TempFolder tmp;
  WriteText(tmp / "tree/a.txt", "a");
  WriteText(tmp / "tree/sub/b.txt", "b");
  WriteText(tmp / "outside.txt", "o");
  ::symlink((tmp / "outside.txt").c_str(), (tmp / "tree/sub/link").c_str());
  EXPECT_TRUE(SetAttributesRecursive(tmp / "tree", faReadOnly));
  EXPECT_EQ(ModeOf(tmp / "tree/a.txt") & 0222, 0);
  EXPECT_EQ(ModeOf(tmp / "tree/sub/b.txt") & 0222, 0);
  EXPECT_NE(ModeOf(tmp / "outside.txt") & S_IWUSR, 0u);
  EXPECT_NE(ModeOf(tmp / "tree/sub") & S_IWUSR, 0u);  // folders stay usable
  EXPECT_TRUE(SetAttributesRecursive(tmp / "tree", faNormal));
  EXPECT_NE(ModeOf(tmp / "tree/sub/b.txt") & S_IWUSR, 0u);
  EXPECT_TRUE(SetAttributesRecursive(tmp / "outside.txt", faReadOnly));
  EXPECT_EQ(ModeOf(tmp / "outside.txt") & 0222, 0);
  EXPECT_FALSE(SetAttributesRecursive(tmp / "missing", faNormal));
}

TEST(Attributes, SetRecursivelyReportsFailuresButTriesEverything) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand one file to another account";
  TempFolder tmp;
  WriteText(tmp / "tree/a-theirs.txt", "t");  // listed first, cannot be changed by nobody
  WriteText(tmp / "tree/b-mine.txt", "m");
  const passwd* nobody = ::getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  ASSERT_EQ(::chown((tmp / "tree/b-mine.txt").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  const auto out = RunUnprivileged([&] { return std::to_string(SetAttributesRecursive(tmp / "tree", faReadOnly)); });
  if (!out) GTEST_SKIP() << "cannot run a child without privileges";
  EXPECT_EQ(*out, "0");
  EXPECT_EQ(ModeOf(tmp / "tree/b-mine.txt") & 0222, 0);
  EXPECT_NE(ModeOf(tmp / "tree/a-theirs.txt") & S_IWUSR, 0u);
}

TEST(IsFileLocked, OpensReadOnlyFilesAndRestoresThem) {
  TempFolder tmp;
  const std::string f = tmp / "ro.txt";
  WriteText(f, "x");
  ASSERT_EQ(::chmod(f.c_str(), 0444), 0);
  EXPECT_FALSE(IsFileLocked(f, false));
  EXPECT_EQ(ModeOf(f), 0444);
  EXPECT_FALSE(IsFileLocked(f, true));
  EXPECT_NE(ModeOf(f) & S_IWUSR, 0u);
  EXPECT_FALSE(IsFileLocked(tmp / "missing", false));
  EXPECT_FALSE(IsFileLocked(tmp.Path(), false));
}

TEST(IsFileLocked, FileHeldOpenElsewhereIsLocked) {
  TempFolder tmp;
  const std::string f = tmp / "held.txt";
  WriteText(f, "x");
  const int fd = ::open(f.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(IsFileLocked(f, false));
  ::close(fd);
  EXPECT_FALSE(IsFileLocked(f, false));
}

// --- folder picker --------------------------------------------------------

TEST(SelectDirectory, AsksThePickerAndKeepsTheFolderOnCancel) {
  std::string seenTitle, seenStart;
  void* seenOwner = nullptr;
  bool confirm = false;
  const TFolderPicker previous = SetFolderPicker([&](void* owner, const std::string& title, std::string& dir) {
    seenOwner = owner;
    seenTitle = title;
    seenStart = dir;
    if (confirm) dir = "/chosen";
    return confirm;
  });
  int owner = 0;
  TSelectDirectory picker(&owner);
  picker.SetTitle("Chọn thư mục chứa bài thi");
  picker.SetDirectory("/start");
  EXPECT_FALSE(picker.Execute());
  EXPECT_EQ(picker.Directory(), "/start");
  EXPECT_EQ(seenStart, "/start");
  EXPECT_EQ(seenTitle, "Chọn thư mục chứa bài thi");
  EXPECT_EQ(seenOwner, &owner);
  confirm = true;
  EXPECT_TRUE(picker.Execute());
  EXPECT_EQ(picker.Directory(), "/chosen");
  SetFolderPicker(previous);
  // Without a GUI nobody can choose.
  SetFolderPicker(nullptr);
  EXPECT_FALSE(picker.Execute());
  EXPECT_EQ(picker.Directory(), "/chosen");
  SetFolderPicker(previous);
}

}  // namespace
}  // namespace velkor
