// The progress window driven by the contest archive through the judging
// core's progress hooks. The judging headers and the component headers
// cannot share a unit (both name a TNotifyEvent and an EConvertError), so
// this unit sees the window only through its routines.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "components/SimpleProgressRoutines.h"
#include "core/FileUtils.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/ProgressHooks.h"
#include "tests/core/FileTestSupport.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

namespace SP = SimpleProgress;

const std::string ShotsFolder = VELKOR_GUI_SHOTS_DIR;

// Installs the window as the judging core's progress window, as the
// application does at start-up.
class TProgressAdapter : public IProgressWindow {
 public:
  void Create() override { SP::ProgressCreate(); }
  void Free() override { SP::ProgressFree(); }
  void SetValues(int Min, int Max, int Position) override { SP::ProgressSetValues(Min, Max, Position); }
  void SetPos(int Position) override { SP::ProgressSetPos(Position); }
  void SetCaption(const std::string& Text) override {
    SP::ProgressSetCaption(Text);
    Captions.push_back(Text);
  }
  void SetSubCaption(const std::string& Text) override { SP::ProgressSetSubCaption(Text); }
  void Show(bool Visible) override {
    SP::ProgressShow(Visible);
    if (!Visible) return;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && (w->windowFlags() & Qt::Tool)) Shown = w->grab().toImage();
  }
  std::vector<std::string> Captions;
  QImage Shown;
};

TEST(ProgressArchive, TheContestArchiveDrivesTheWindow) {
  auto adapter = std::make_shared<TProgressAdapter>();
  const auto previous = SetProgressWindow(adapter);
  const auto previousSleep = SetRetrySleep([](std::uint32_t) {});
  auto previousEnv = std::move(EnvConfig);
  testing::TempFolder work;
  EnvConfig = std::make_unique<TEnvConfig>();
  EnvConfig->DecompressDir = work.Path() + "/unpack/";

  testing::TContestTree tree;
  tree.AddExam("Bai1", {"01", "02"});
  tree.AddContestant("An", {{"Bai1.cpp", "int main(){}\n"}});
  TContestInfo contest;
  contest.ExamSet().SetDir(tree.TasksDir());
  contest.ResultSet().SetDir(tree.ContestantsDir());
  const std::string archive = work.Path() + "/c.contest";
  EXPECT_TRUE(contest.FileSave(archive));
  TContestInfo loaded;
  EXPECT_TRUE(loaded.FileLoad(archive));

  SP::ProgressFree();
  EXPECT_EQ(adapter->Captions, (std::vector<std::string>{"Nén kỳ thi...", "Giải nén kỳ thi..."}));
  EXPECT_FALSE(adapter->Shown.isNull()) << "the window was shown";
  if (!adapter->Shown.isNull()) adapter->Shown.save(QString::fromStdString(ShotsFolder + "/progress_window_archive.png"));

  EnvConfig = std::move(previousEnv);
  SetRetrySleep(previousSleep);
  SetProgressWindow(previous);
}

}  // namespace
}  // namespace velkor
