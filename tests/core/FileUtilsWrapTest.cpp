#include "core/FileUtilsWrap.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "FileTestSupport.h"
#include "core/Dialogs.h"
#include "core/FileUtils.h"

namespace velkor {
namespace {

using testing::Exists;
using testing::ReadText;
using testing::RunUnprivileged;
using testing::TempFolder;
using testing::WriteText;

// Replaces the shell routines, the clock and the dialog for one test.
class GuardedOps : public ::testing::Test {
 protected:
  void SetUp() override {
    savedDelete_ = ShellDeleteProc;
    savedCopy_ = ShellCopyProc;
    savedMove_ = ShellMoveProc;
    savedSleep_ = SetRetrySleep([this](std::uint32_t ms) { waits.push_back(ms); });
    savedDialog_ = SetMessageDialog(dialog);
  }
  void TearDown() override {
    ShellDeleteProc = savedDelete_;
    ShellCopyProc = savedCopy_;
    ShellMoveProc = savedMove_;
    SetRetrySleep(savedSleep_);
    SetMessageDialog(savedDialog_);
  }

  // The waits of n failing series, each followed by one of the pauses.
  static std::vector<std::uint32_t> Series(std::initializer_list<std::uint32_t> pauses) {
    std::vector<std::uint32_t> w(kRetryAttempts, kRetryPauseMs);
    for (std::uint32_t p : pauses) {
      w.push_back(p);
      w.insert(w.end(), kRetryAttempts, kRetryPauseMs);
    }
    return w;
  }

  // A delete routine that fails `failures` times, then really deletes.
  void DeleteFailing(int failures) {
    ShellDeleteProc = [this, failures](const std::string& p) {
      if (++deleteAttempts <= failures) return -5;
      std::filesystem::remove_all(p);
      return 0;
    };
  }

  TempFolder tmp;
  std::vector<std::uint32_t> waits;
  int deleteAttempts = 0;
  std::shared_ptr<TScriptedMessageDialog> dialog = std::make_shared<TScriptedMessageDialog>();

 private:
  TShellDeleteProc savedDelete_;
  TShellTransferProc savedCopy_, savedMove_;
  TSleepProc savedSleep_;
  std::shared_ptr<IMessageDialog> savedDialog_;
};

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no error)";
}

TEST_F(GuardedOps, CopyAndMoveFailuresNameThePaths) {
  ShellCopyProc = ShellMoveProc = [](const std::string&, const std::string&, const std::string&) { return -5; };
  const std::string src = tmp / "Bài 1.cpp";
  const std::string dst = tmp / "dst";
  EXPECT_EQ(ErrorOf([&] { CopyOrFail(src, dst); }),
            "Không thể chép \"" + src + "\" vào \"" + dst + "\". Hãy kiểm tra lại!");
  EXPECT_EQ(ErrorOf([&] { CopyOrFail(src, dst, "BAI1.CPP"); }),
            "Không thể chép \"" + src + "\" vào \"" + dst + "\" với tên mới \"BAI1.CPP\". Hãy kiểm tra lại!");
  EXPECT_EQ(ErrorOf([&] { MoveOrFail(src, dst); }),
            "Không thể chuyển \"" + src + "\" vào \"" + dst + "\". Hãy kiểm tra lại!");
  EXPECT_EQ(ErrorOf([&] { MoveOrFail(src, dst, "x"); }),
            "Không thể chuyển \"" + src + "\" vào \"" + dst + "\" với tên mới \"x\". Hãy kiểm tra lại!");
  EXPECT_EQ(waits, std::vector<std::uint32_t>(4 * kRetryAttempts, kRetryPauseMs));
  EXPECT_TRUE(Exists(dst));  // the destination folder was made first
}

TEST_F(GuardedOps, CopyIntoMissingFoldersAndMoveOverAnExistingFile) {
  WriteText(tmp / "src.txt", "new");
  CopyOrFail(tmp / "src.txt", tmp / "a/b/c");
  EXPECT_EQ(ReadText(tmp / "a/b/c/src.txt"), "new");
  WriteText(tmp / "a/old.txt", "old");
  MoveOrFail(tmp / "src.txt", tmp / "a", "old.txt");
  EXPECT_EQ(ReadText(tmp / "a/old.txt"), "new");
  EXPECT_FALSE(Exists(tmp / "src.txt"));
  EXPECT_TRUE(waits.empty());
}

// Emptying a folder deletes all it holds, hidden names and links included
// (a link goes, never what it points at), and keeps the folder itself.
TEST_F(GuardedOps, EmptyOrFailKeepsOnlyTheFolder) {
  const std::string room = tmp / "room";
  WriteText(room + "/a.txt", "x");
  WriteText(room + "/.hidden", "x");
  WriteText(room + "/sub/deep/b.txt", "x");
  WriteText(tmp / "outside.txt", "kept");
  ASSERT_EQ(::symlink((tmp / "outside.txt").c_str(), (room + "/link").c_str()), 0);
  EmptyOrFail(room);
  EXPECT_TRUE(std::filesystem::is_directory(room));
  EXPECT_TRUE(std::filesystem::is_empty(room));
  EXPECT_EQ(ReadText(tmp / "outside.txt"), "kept");

  const std::string missing = tmp / "missing";
  EXPECT_EQ(ErrorOf([&] { EmptyOrFail(missing); }), DeleteFailedMessage(missing));
}

TEST_F(GuardedOps, DeleteOrFailWaitsOneThenFiveSecondsThenRaises) {
  const std::string path = tmp / "held [1]";
  WriteText(path, "x");
  DeleteFailing(1000);
  EXPECT_EQ(ErrorOf([&] { DeleteOrFail(path); }),
            "Không thể xóa thư mục/tập tin: \"" + path +
                "\", hãy thử lại hoặc xóa thư mục này bằng tay rồi tiếp tục");
  EXPECT_EQ(deleteAttempts, 3 * kRetryAttempts);
  EXPECT_EQ(waits, Series({1000, 5000}));
  EXPECT_EQ(std::accumulate(waits.begin(), waits.end(), 0u), 36000u);
}

TEST_F(GuardedOps, DeleteOrFailStopsAtTheFirstSuccess) {
  WriteText(tmp / "f", "x");
  DeleteFailing(0);
  DeleteOrFail(tmp / "f");
  EXPECT_TRUE(waits.empty());
  WriteText(tmp / "f", "x");
  deleteAttempts = 0;
  DeleteFailing(kRetryAttempts + 4);  // gives way in the second series
  DeleteOrFail(tmp / "f");
  std::vector<std::uint32_t> expected = Series({});
  expected.push_back(1000);
  expected.insert(expected.end(), 4, kRetryPauseMs);
  EXPECT_EQ(waits, expected);
  EXPECT_FALSE(Exists(tmp / "f"));
  waits.clear();
  DeleteOrFail(tmp / "never-there");  // nothing to delete: done at once
  EXPECT_TRUE(waits.empty());
}

TEST_F(GuardedOps, DeleteOrFailOnARealPermissionFailure) {
  WriteText(tmp / "guarded/f.txt", "f");
  ASSERT_EQ(::chmod((tmp / "guarded").c_str(), 0555), 0);
  const std::string path = tmp / "guarded/f.txt";
  const auto out = RunUnprivileged([&] {
    std::uint64_t total = 0;
    SetRetrySleep([&](std::uint32_t ms) { total += ms; });
    const std::string error = ErrorOf([&] { DeleteOrFail(path); });
    return error + "|" + std::to_string(total);
  });
  if (!out) GTEST_SKIP() << "cannot run a child without privileges";
  EXPECT_EQ(*out, DeleteFailedMessage(path) + "|36000");
  EXPECT_TRUE(Exists(path));
}

TEST_F(GuardedOps, DeleteOrAskUserAbortRaisesUserCancel) {
  WriteText(tmp / "f", "x");
  DeleteFailing(1000);
  dialog->AddAnswer(mrAbort);
  EXPECT_EQ(ErrorOf([&] { DeleteOrAskUser(tmp / "f"); }), "Người sử dụng hủy lệnh");
  ASSERT_EQ(dialog->Requests().size(), 1u);
  const TMsgDlgRequest asked = dialog->Requests()[0];
  EXPECT_EQ(asked.Msg, DeleteFailedMessage(tmp / "f"));
  EXPECT_EQ(asked.DlgType, mtError);
  EXPECT_EQ(asked.Buttons, (TMsgDlgButtons{mbAbort, mbRetry}));
  EXPECT_EQ(waits, Series({1000, 10000}));
}

TEST_F(GuardedOps, DeleteOrAskUserRetriesUntilThePathIsGone) {
  WriteText(tmp / "f", "x");
  DeleteFailing(3 * kRetryAttempts + 2);  // the first series fails, the second gets through
  dialog->AddAnswer(mrRetry);
  DeleteOrAskUser(tmp / "f");
  EXPECT_FALSE(Exists(tmp / "f"));
  EXPECT_EQ(dialog->Requests().size(), 1u);
  std::vector<std::uint32_t> expected = Series({1000, 10000});
  expected.insert(expected.end(), 2, kRetryPauseMs);
  EXPECT_EQ(waits, expected);
}

TEST_F(GuardedOps, DeleteOrAskUserOnAMissingPathAsksNothing) {
  DeleteFailing(1000);
  DeleteOrAskUser(tmp / "missing");
  EXPECT_EQ(deleteAttempts, 0);
  EXPECT_TRUE(dialog->Requests().empty());
}

}  // namespace
}  // namespace velkor
