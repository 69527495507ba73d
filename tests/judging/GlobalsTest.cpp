// Start-up and clean-up of the judging core's process-wide objects.
#include "judging/Globals.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "core/Dialogs.h"
#include "core/SystemInfo.h"
#include "judging/Checkers.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/NumberFormat.h"
#include "platform/Registry.h"
#include "tests/core/FileTestSupport.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::Exists;
using testing::TempFolder;

class GlobalsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static const char* argv[] = {"globals_test"};
    SystemInfoInit(1, argv);
  }
  void SetUp() override {
    const char* v = std::getenv("XDG_CONFIG_HOME");
    savedConfig_ = v ? std::optional<std::string>(v) : std::nullopt;
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    savedMyDirD_ = MyDirD;
  }
  void TearDown() override {
    FinalizeGlobals();
    SetMessageDialog(nullptr);
    MyDirD = savedMyDirD_;
    if (savedConfig_)
      ::setenv("XDG_CONFIG_HOME", savedConfig_->c_str(), 1);
    else
      ::unsetenv("XDG_CONFIG_HOME");
  }

  static std::optional<std::string> Marker() {
    platform::Registry reg;
    if (!reg.OpenKey("SOFTWARE\\Velkor", false) || !reg.ValueExists("Signature")) return std::nullopt;
    return reg.ReadString("Signature");
  }

  TempFolder home;

 private:
  std::optional<std::string> savedConfig_;
  std::string savedMyDirD_;
};

TEST_F(GlobalsTest, WithoutCheckerFolderTheSetIsEmptyAndExamsHaveNoChecker) {
  MyDirD = home.Path() + "/program/";
  InitializeGlobals();
  ASSERT_TRUE(Checkers && ContestInfo && CompilerConfig && EnvConfig);
  EXPECT_EQ(Checkers->Count(), 0);
  EXPECT_EQ(ContestInfo->ExamSet().Dummy()->EvaluatorName, "");
  EXPECT_EQ(CompilerConfig->Count(), 13);
}

TEST_F(GlobalsTest, CheckersAreLoadedBeforeTheContestIsMade) {
  MyDirD = fs::path(VELKOR_JUDGERS_DIR).parent_path().string() + "/";
  InitializeGlobals();
  ASSERT_GT(Checkers->Count(), 0);
  EXPECT_EQ(ContestInfo->ExamSet().Dummy()->EvaluatorName, Checkers->ObjI(0)->Name());
}

TEST_F(GlobalsTest, FirstRunLeavesTheFileAndTheMarkerAndTheNextReadsThem) {
  InitializeGlobals();
  EXPECT_FALSE(Exists(ConfigFileName()));
  EnvConfig->SubmitDir = "/srv/submit";
  EnvConfig->NumberFormat = "%.3f";
  EXPECT_EQ(FormatScore(7.5), "7.500");
  FinalizeGlobals();
  EXPECT_FALSE(EnvConfig || CompilerConfig || Checkers || ContestInfo);
  EXPECT_EQ(FormatScore(7.5), "7.50");
  EXPECT_TRUE(Exists(home / "config/Velkor.cfg"));
  EXPECT_EQ(Marker(), kVersionSignature);

  InitializeGlobals();
  EXPECT_EQ(EnvConfig->SubmitDir, "/srv/submit");
}

TEST_F(GlobalsTest, FailedSaveAtCleanUpIsReportedAndCleanUpGoesOn) {
  auto dialog = std::make_shared<TScriptedMessageDialog>(std::initializer_list<int>{mrOk});
  SetMessageDialog(dialog);
  InitializeGlobals();
  // A folder where the file should go: no account can replace it.
  fs::create_directories(ConfigFileName());
  FinalizeGlobals();
  EXPECT_FALSE(EnvConfig || CompilerConfig || Checkers || ContestInfo);
  ASSERT_EQ(dialog->Requests().size(), 1u);
  EXPECT_EQ(dialog->Requests()[0].DlgType, mtError);
  EXPECT_NE(dialog->Requests()[0].Msg.find("Velkor.cfg"), std::string::npos) << dialog->Requests()[0].Msg;
}

}  // namespace
}  // namespace velkor
