// The security mode's ACL routines over POSIX ACLs. The access checks run
// in children, when the tests run as root, under two unprivileged accounts:
// "nobody" as the denied account and "daemon" as anybody else.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include <gtest/gtest.h>

#include "FileTestSupport.h"
#include "core/FileUtils.h"

namespace velkor {
namespace {

using platform::DENY_ACCESS;
using platform::GENERIC_ALL;
using platform::GENERIC_READ;
using platform::NO_INHERITANCE;
using platform::SET_ACCESS;
using platform::SUB_CONTAINERS_AND_OBJECTS_INHERIT;
using testing::RunUnprivileged;
using testing::TempFolder;
using testing::WriteText;

const TExplicitAccess kEveryone =
    BuildExplicitAccessWithName("Everyone", GENERIC_ALL, SET_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
// The denied account is never the one running the test, which has to work
// in the folders it protects.
std::string DeniedAccount() {
  const passwd* nobody = ::getpwnam("nobody");
  return nobody && nobody->pw_uid == ::geteuid() ? "daemon" : "nobody";
}
const TExplicitAccess kDenyNobody =
    BuildExplicitAccessWithName("HOST\\" + DeniedAccount(), GENERIC_ALL, DENY_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT);

class Acls : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!VolumeHasACLs(tmp.Path())) GTEST_SKIP() << "the test folder's file system keeps no ACLs";
  }

  // "y" when account can open path (a file for reading, a folder for
  // listing), "n" when it is refused; "?" when no such check can run.
  static std::string CanOpen(const std::string& path, const char* account) {
    if (::geteuid() != 0) return "?";
    return RunUnprivileged(
               [&] {
                 if (DIR* d = ::opendir(path.c_str())) return ::closedir(d), std::string("y");
                 if (errno == ENOTDIR) {
                   const int fd = ::open(path.c_str(), O_RDONLY);
                   if (fd >= 0) return ::close(fd), std::string("y");
                 }
                 return std::string(errno == EACCES ? "n" : "error");
               },
               account)
        .value_or("?");
  }

  TempFolder tmp;
};

TEST_F(Acls, ExplicitEntriesRoundTripAndProtect) {
  WriteText(tmp / "tasks/bai1/test1/input.txt", "1 2");
  const std::string tasks = tmp / "tasks";
  const std::vector<TExplicitAccess> deny = {kEveryone, kDenyNobody};
  ASSERT_TRUE(SetExplicitACL(tasks, deny, 0));

  std::vector<TExplicitAccess> read;
  ASSERT_TRUE(GetExplicitACL(tasks, read));
  std::vector<TExplicitAccess> expected = deny;
  expected[1].TrusteeName = DeniedAccount();  // read back without the domain
  EXPECT_EQ(read, expected);

  // Breadth-first, each item copies what its parent just received.
  for (const TFindData& item : ScanDirectory(tasks, 15)) EXPECT_TRUE(CopyParentACL(item.Name)) << item.Name;
  const std::string input = tmp / "tasks/bai1/test1/input.txt";
  ASSERT_TRUE(GetExplicitACL(input, read));
  for (TExplicitAccess& e : expected) e.Inheritance = NO_INHERITANCE;  // a file passes nothing on
  EXPECT_EQ(read, expected);

  if (::geteuid() != 0) GTEST_SKIP() << "access checks need root to switch accounts";
  EXPECT_EQ(CanOpen(tasks, "nobody"), "n");
  EXPECT_EQ(CanOpen(input, "daemon"), "y");
  // Opening the top folder again leaves what lies below it closed.
  ASSERT_TRUE(SetExplicitACL(tasks, {&kEveryone, 1}, 0));
  EXPECT_EQ(CanOpen(tasks, "nobody"), "y");
  EXPECT_EQ(CanOpen(tmp / "tasks/bai1", "nobody"), "n");
}

TEST_F(Acls, CopyParentWithoutEntriesRestoresOrdinaryInheritance) {
  WriteText(tmp / "work/room/f.txt", "x");
  const std::string room = tmp / "work/room";
  ASSERT_TRUE(SetExplicitACL(room, std::vector<TExplicitAccess>{kEveryone, kDenyNobody}, 0));
  ASSERT_EQ(CanOpen(room, "nobody"), ::geteuid() == 0 ? "n" : "?");
  // "work" has no explicit entries: the room goes back to what it inherits.
  ASSERT_TRUE(CopyParentACL(room + "/"));
  std::vector<TExplicitAccess> read = {kEveryone};
  ASSERT_TRUE(GetExplicitACL(room, read));
  EXPECT_TRUE(read.empty());
  EXPECT_EQ(CanOpen(room, "nobody"), ::geteuid() == 0 ? "y" : "?");
}

TEST_F(Acls, UnprotectedItemsTakeOverTheParentsInheritableEntries) {
  WriteText(tmp / "contest/file.txt", "x");
  const std::string contest = tmp / "contest";
  ASSERT_TRUE(SetExplicitACL(contest, std::vector<TExplicitAccess>{kEveryone, kDenyNobody}, 0));
  const TExplicitAccess readOnly = BuildExplicitAccessWithName("daemon", GENERIC_READ, SET_ACCESS, NO_INHERITANCE);
  ASSERT_TRUE(SetExplicitACL(contest + "/file.txt", {&readOnly, 1}, 1));
  std::vector<TExplicitAccess> read;
  ASSERT_TRUE(GetExplicitACL(contest + "/file.txt", read));
  ASSERT_FALSE(read.empty());
  EXPECT_EQ(read.back().TrusteeName, DeniedAccount());
  EXPECT_EQ(read.back().AccessMode, DENY_ACCESS);
  ASSERT_TRUE(SetExplicitACL(contest, {&kEveryone, 1}, 0));  // the folder no longer stands in the way
  EXPECT_EQ(CanOpen(contest + "/file.txt", "nobody"), ::geteuid() == 0 ? "n" : "?");
  EXPECT_EQ(CanOpen(contest + "/file.txt", "daemon"), ::geteuid() == 0 ? "y" : "?");
}

TEST_F(Acls, FailuresReportFalse) {
  WriteText(tmp / "f", "x");
  const TExplicitAccess unknown =
      BuildExplicitAccessWithName("no-such-account-here", GENERIC_ALL, SET_ACCESS, NO_INHERITANCE);
  EXPECT_FALSE(SetExplicitACL(tmp / "f", {&unknown, 1}, 0));
  EXPECT_FALSE(SetExplicitACL(tmp / "missing", {&kEveryone, 1}, 0));
  std::vector<TExplicitAccess> read;
  EXPECT_FALSE(GetExplicitACL(tmp / "missing", read));
  ::symlink((tmp / "f").c_str(), (tmp / "link").c_str());
  EXPECT_FALSE(SetExplicitACL(tmp / "link", {&kEveryone, 1}, 0));  // never through a link
  EXPECT_TRUE(VolumeHasACLs(tmp / "not/yet/created"));               // judged by the folder that exists
}

}  // namespace
}  // namespace velkor
