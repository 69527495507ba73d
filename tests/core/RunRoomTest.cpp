// The copies between a room and a run's scratch folder, without a run: the
// scratch folder is a plain folder here. What a hostile program leaves is
// judged end to end in tests/judging/ContainmentTest.cpp.
#include "platform/RunRoom.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "FileTestSupport.h"
#include "platform/UniqueFd.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using platform::RoomRefused;
using platform::UniqueFd;
using testing::TempFolder;
using testing::WriteText;

// A chain of Levels folders "d" below Top, made one level at a time.
void MakeChain(const std::string& Top, int Levels) {
  UniqueFd folder(::open(Top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  ASSERT_TRUE(folder.Valid());
  for (int i = 0; i < Levels; ++i) {
    ASSERT_TRUE(::mkdirat(folder.Get(), "d", 0755) == 0 || errno == EEXIST);
    folder.Reset(::openat(folder.Get(), "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(folder.Valid());
  }
}

UniqueFd OpenFolder(const std::string& Path) {
  return UniqueFd(::open(Path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

std::string Chain(int Levels) {
  std::string path;
  for (int i = 0; i < Levels; ++i) path += "/d";
  return path;
}

class RunRoomTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(room);
    fs::create_directories(scratch);
    scratchFd = OpenFolder(scratch);
    ASSERT_TRUE(scratchFd.Valid());
  }
  void Return() { platform::ReturnRoom(scratchFd.Get(), room, {}); }

  TempFolder dir;
  std::string room = dir / "room", scratch = dir / "scratch";
  UniqueFd scratchFd;
};

// Every walk takes a tree kMaxRoomDepth deep, and refuses one level more.
TEST_F(RunRoomTest, FoldersComeAndGoToTheDepthBoundAndNoDeeper) {
  const int deepest = platform::kMaxRoomDepth;
  MakeChain(scratch, deepest);
  Return();
  EXPECT_TRUE(fs::is_directory(room + Chain(deepest)));
  EXPECT_EQ(platform::MeasureRoom(room).Entries, static_cast<std::uint64_t>(deepest));
  TempFolder filled;
  platform::FillRoom(room, OpenFolder(filled.Path()).Get(), -1, -1);
  EXPECT_TRUE(fs::is_directory(filled.Path() + Chain(deepest)));

  // One more level: refused on the way back, with the room left as it was,
  // and refused on the way in.
  MakeChain(scratch + Chain(deepest), 1);
  WriteText(scratch + "/new.txt", "new");
  EXPECT_THROW(Return(), RoomRefused);
  EXPECT_FALSE(fs::exists(room + "/new.txt"));
  EXPECT_FALSE(fs::exists(room + Chain(deepest + 1)));
  MakeChain(room + Chain(deepest), 1);
  EXPECT_THROW(platform::MeasureRoom(room), RoomRefused);
  TempFolder refused;
  EXPECT_THROW(platform::FillRoom(room, OpenFolder(refused.Path()).Get(), -1, -1), RoomRefused);
}

// Holes stay holes both ways; only the permission bits cross, and nobody
// but the owner may write.
TEST_F(RunRoomTest, CopiesKeepHolesAndPermissionBitsOnly) {
  constexpr off_t kSize = off_t{64} << 20;
  const std::string left = scratch + "/sparse";
  {
    UniqueFd fd(::open(left.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_EQ(::pwrite(fd.Get(), "x", 1, kSize - 1), 1);
  }
  ASSERT_EQ(::chmod(left.c_str(), 06777), 0);
  Return();
  TempFolder filled;
  platform::FillRoom(room, OpenFolder(filled.Path()).Get(), -1, -1);
  for (const std::string& copy : {room + "/sparse", filled / "sparse"}) {
    SCOPED_TRACE(copy);
    struct stat st {};
    ASSERT_EQ(::stat(copy.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, kSize);
    EXPECT_LT(st.st_blocks * 512, kSize / 16) << "the holes were filled";
    EXPECT_EQ(st.st_mode & 07777, 0755u) << std::oct << (st.st_mode & 07777);
  }
}

// What could not have been written within the run's bound is refused
// before anything comes back.
TEST_F(RunRoomTest, WhatTheRunCouldNotHaveWrittenIsRefused) {
  struct statfs volume {};
  ASSERT_EQ(::statfs(scratch.c_str(), &volume), 0);
  const off_t beyond = static_cast<off_t>(volume.f_blocks * volume.f_bsize) + (off_t{1} << 30);
  struct Case {
    const char* Name;
    std::function<void()> Leave;
    const char* Said;
  };
  const Case cases[] = {
      {"a file larger than the scratch",
       [&] { ASSERT_EQ(::truncate((scratch + "/huge").c_str(), beyond), 0); }, "quá giới hạn"},
      {"a file with two names",
       [&] { ASSERT_EQ(::link((scratch + "/one").c_str(), (scratch + "/two").c_str()), 0); }, "liên kết cứng"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    scratchFd = OpenFolder(scratch);
    WriteText(scratch + "/one", "1");
    WriteText(scratch + "/huge", "");
    c.Leave();
    try {
      Return();
      ADD_FAILURE() << "not refused";
    } catch (const RoomRefused& e) {
      EXPECT_NE(std::string(e.what()).find(c.Said), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs::is_empty(room));
  }
}

}  // namespace
}  // namespace velkor
