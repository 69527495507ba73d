// Start-up and clean-up of the judging core's process-wide objects.
#include "judging/Globals.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
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

// A marker nobody can read, or a registry that cannot be opened, used to
// end every start with an uncaught error. Start-up now completes, keeps the
// file as a ".bak", and clean-up leaves a marker the next start accepts.
TEST_F(GlobalsTest, StartUpCompletesWithADamagedMarker) {
  const fs::path key = home / "config/velkor-registry/HKEY_CURRENT_USER/SOFTWARE/Velkor";
  struct Case {
    const char* what;
    std::function<void()> damage;
    bool repairedAtCleanUp;
  } cases[] = {
      {"empty value", [&] { testing::WriteText((key / "Signature").string(), ""); }, true},
      {"another type", [&] { testing::WriteText((key / "Signature").string(), "dword\n1"); }, true},
      {"garbage", [&] { testing::WriteText((key / "Signature").string(), std::string("\x01\xfe\x00zz", 5)); }, true},
      // The key is a file: the registry cannot be opened at all; the save
      // at clean-up reports it, and the file is still written.
      {"key not a folder",
       [&] {
         fs::remove_all(key);
         testing::WriteText(key.string(), "");
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::create_directories(home / "config");
    for (const auto& e : fs::directory_iterator(home / "config")) fs::remove_all(e.path());
    InitializeGlobals();
    EnvConfig->SubmitDir = "/srv/submit";
    FinalizeGlobals();
    const std::string bytes = testing::ReadText(home / "config/Velkor.cfg");
    c.damage();

    auto dialog = std::make_shared<TScriptedMessageDialog>(std::initializer_list<int>{mrOk});
    SetMessageDialog(dialog);
    EXPECT_NO_THROW(InitializeGlobals());
    EXPECT_EQ(EnvConfig->SubmitDir, "") << "a file nobody can vouch for is not read";
    EXPECT_FALSE(Exists(home / "config/Velkor.cfg"));
    EXPECT_EQ(testing::ReadText(home / "config/Velkor.cfg.bak"), bytes);
    EXPECT_NE(ConfigurationNotice().find("Velkor.cfg.bak"), std::string::npos) << ConfigurationNotice();
    EnvConfig->SubmitDir = "/srv/again";
    FinalizeGlobals();
    EXPECT_EQ(dialog->Requests().size(), c.repairedAtCleanUp ? 0u : 1u);
    SetMessageDialog(nullptr);

    if (!c.repairedAtCleanUp) continue;
    EXPECT_EQ(Marker(), kVersionSignature);
    InitializeGlobals();
    EXPECT_EQ(EnvConfig->SubmitDir, "/srv/again");
    EXPECT_EQ(ConfigurationNotice(), "");
    FinalizeGlobals();
  }
}

}  // namespace
}  // namespace velkor
