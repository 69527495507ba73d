// The real program: velkor started as child processes, offscreen, each
// test with its own HOME and TMPDIR, so that the copies of one test share
// their lock and socket and nothing else does.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/RunOnceUtils.h"
#include "judging/Compilers.h"
#include "judging/ContestArchive.h"
#include "judging/EnvConfig.h"
#include "tests/core/FileTestSupport.h"
#include "toolkit/SingleInstance.h"

extern char** environ;

namespace velkor {
namespace {

namespace fs = std::filesystem;

// One user's world for the copies of a test: HOME, XDG folders, TMPDIR.
class TUserWorld {
 public:
  TUserWorld() {
    for (const char* sub : {"home/.config", "home/.local/share", "tmp"}) fs::create_directories(Root() / sub);
  }
  fs::path Root() const { return FFolder.Path(); }
  // The program's per-user temporary folder in this world.
  fs::path TempDir() const { return Root() / "tmp" / ("velkor-" + std::to_string(::geteuid())); }
  QString Socket() const { return QString::fromStdString((TempDir() / "VelkorApplication.socket").string()); }
  fs::path HandOverFile() const { return TempDir() / kParamsHandOverFileName; }

  std::vector<std::string> Environment() const {
    std::vector<std::string> env;
    const auto replaced = [](const std::string& Entry) {
      for (const char* name : {"HOME=", "TMPDIR=", "XDG_CONFIG_HOME=", "XDG_DATA_HOME=", "QT_QPA_PLATFORM="})
        if (Entry.rfind(name, 0) == 0) return true;
      return false;
    };
    for (char** e = environ; *e; ++e)
      if (!replaced(*e)) env.push_back(*e);
    env.push_back("HOME=" + (Root() / "home").string());
    env.push_back("XDG_CONFIG_HOME=" + (Root() / "home/.config").string());
    env.push_back("XDG_DATA_HOME=" + (Root() / "home/.local/share").string());
    env.push_back("TMPDIR=" + (Root() / "tmp").string());
    env.push_back("QT_QPA_PLATFORM=offscreen");
    return env;
  }

  // Every file named Name below HOME.
  std::vector<fs::path> FilesNamed(const std::string& Name) const {
    std::vector<fs::path> found;
    for (const auto& e : fs::recursive_directory_iterator(Root() / "home"))
      if (e.path().filename() == Name) found.push_back(e.path());
    return found;
  }

 private:
  testing::TempFolder FFolder;
};

// A velkor process, killed when the object goes.
class TVelkor {
 public:
  TVelkor(const TUserWorld& World, std::vector<std::string> Args, const std::string& WorkDir = "") {
    std::vector<std::string> argStore{VELKOR_PROGRAM};
    argStore.insert(argStore.end(), Args.begin(), Args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore = World.Environment();
    std::vector<char*> envp;
    for (std::string& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!WorkDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, WorkDir.c_str());
    if (posix_spawn(&FPid, VELKOR_PROGRAM, &actions, nullptr, argv.data(), envp.data()) != 0) FPid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~TVelkor() {
    if (FPid > 0 && !FStatus) {
      ::kill(FPid, SIGKILL);
      int status = 0;
      ::waitpid(FPid, &status, 0);
    }
  }
  bool Started() const { return FPid > 0; }

  // The exit code once the process has ended within TimeoutMs.
  std::optional<int> WaitForExit(int TimeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!FStatus && clock.elapsed() < TimeoutMs) {
      int status = 0;
      if (::waitpid(FPid, &status, WNOHANG) == FPid)
        FStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      else
        QThread::msleep(10);
    }
    return FStatus;
  }

 private:
  pid_t FPid = -1;
  std::optional<int> FStatus;
};

// The caption the running copy answers with, polled until Done accepts it
// or TimeoutMs passes; empty when nobody answered.
QString AskCaption(const QString& Socket, int TimeoutMs, const std::function<bool(const QString&)>& Done) {
  QElapsedTimer clock;
  clock.start();
  QString caption;
  while (clock.elapsed() < TimeoutMs) {
    TRunningInstance running;
    if (running.Connect(Socket, 1000)) {
      caption = running.Caption();
      if (Done(caption)) return caption;
    }
    QThread::msleep(20);
  }
  return caption;
}

// Whether some process holds the single-instance lock of World.
bool LockHeld(const TUserWorld& World) {
  TSingleInstanceLock probe;
  return probe.Take((World.TempDir() / "VelkorApplication.lock").string(), 0) == TSingleInstanceLock::lrHeldByOther;
}

TEST(Program, SecondCopyHandsItsLoadToTheFirstAndEnds) {
  TUserWorld world;
  TVelkor first(world, {"/GUIFONT", "DejaVu Sans"});  // a parameter: no splash
  ASSERT_TRUE(first.Started());
  const QString ready = AskCaption(world.Socket(), 20000, [](const QString& c) { return IsMainFormCaption(c); });
  ASSERT_TRUE(IsMainFormCaption(ready)) << ready.toStdString();

  // Started in the sample's folder with a relative name: the running copy
  // works elsewhere and still finds the file.
  const fs::path sample(VELKOR_SAMPLE_CONTEST);
  TVelkor second(world, {"/load", sample.filename().string()}, sample.parent_path().string());
  EXPECT_EQ(second.WaitForExit(10000), std::optional<int>(0));

  const QString loaded = AskCaption(world.Socket(), 20000, [](const QString& c) { return c.endsWith("Sample.contest"); });
  EXPECT_TRUE(loaded.endsWith(QString::fromStdString(sample.string()))) << loaded.toStdString();
  EXPECT_TRUE(IsMainFormCaption(loaded));
  EXPECT_FALSE(fs::exists(world.HandOverFile()));
  EXPECT_TRUE(fs::exists(world.Root() / "home/.local/share/VelkorContest/Tasks/TONG/Settings.cfg"));
  // The second copy ended before the data model started: it never saved
  // the configuration (the first saves it only when it ends).
  EXPECT_TRUE(world.FilesNamed("Velkor.cfg").empty());
}

TEST(Program, FirstCopyOpensTheContestOfItsOwnLoad) {
  // As scripts/run starts it: the load waits for the window to be shown.
  TUserWorld world;
  TVelkor first(world, {"/LOAD", VELKOR_SAMPLE_CONTEST});
  ASSERT_TRUE(first.Started());
  const QString loaded =
      AskCaption(world.Socket(), 20000, [](const QString& c) { return c.endsWith("Sample.contest"); });
  EXPECT_EQ(loaded, QString::fromUtf8(kMainFormCaption) + QString::fromUtf8(" ✓") + VELKOR_SAMPLE_CONTEST);
}

TEST(Program, CopyStartedDuringTheSplashLeavesItsFileBehind) {
  TUserWorld world;
  TVelkor first(world, {});  // no parameters: the splash comes first
  ASSERT_TRUE(first.Started());
  QElapsedTimer clock;
  clock.start();
  while (!LockHeld(world) && clock.elapsed() < 10000) QThread::msleep(5);
  ASSERT_TRUE(LockHeld(world));

  TVelkor second(world, {"/CLEAN"});
  EXPECT_EQ(second.WaitForExit(10000), std::optional<int>(0));
  std::vector<std::string> params;
  EXPECT_TRUE(ReadParamsHandOverFile(world.HandOverFile().string(), params));
  EXPECT_EQ(params, std::vector<std::string>{"/CLEAN"});
  // The first copy goes on to its main window.
  EXPECT_TRUE(IsMainFormCaption(
      AskCaption(world.Socket(), 20000, [](const QString& c) { return IsMainFormCaption(c); })));
}

// A registry marker nobody can read used to end every start with an
// uncaught error (exit code 134) until someone found the file by hand.
TEST(Program, StartsWithADamagedMarkerAndKeepsTheConfigurationAside) {
  TUserWorld world;
  const fs::path config = world.Root() / "home/.config";
  const fs::path key = config / "velkor-registry/HKEY_CURRENT_USER/SOFTWARE/Velkor";
  fs::create_directories(key);
  testing::WriteText((key / "Signature").string(), "");
  testing::WriteText((config / "Velkor.cfg").string(), "the jury's configuration");

  TVelkor first(world, {"/GUIFONT", "DejaVu Sans"});
  ASSERT_TRUE(first.Started());
  const QString ready = AskCaption(world.Socket(), 20000, [](const QString& c) { return IsMainFormCaption(c); });
  EXPECT_TRUE(IsMainFormCaption(ready)) << "the program did not come up";
  EXPECT_EQ(first.WaitForExit(0), std::nullopt) << "the program ended";
  EXPECT_EQ(testing::ReadText((config / "Velkor.cfg.bak").string()), "the jury's configuration");
  EXPECT_FALSE(fs::exists(config / "Velkor.cfg"));
  EXPECT_EQ(testing::ReadText((key / "Signature").string()), "sz\n" + std::string(kVersionSignature));
}

// Writes World's configuration file as the program keeps it, with online
// judging watching SubmitDir; everything else at its default.
void WriteConfiguration(const TUserWorld& World, const std::string& SubmitDir) {
  struct TSavedVariable {
    const char* Name;
    std::optional<std::string> Value;
  };
  std::vector<TSavedVariable> saved;
  const std::pair<const char*, const char*> folders[] = {{"XDG_CONFIG_HOME", "home/.config"},
                                                          {"XDG_DATA_HOME", "home/.local/share"}};
  for (const auto& [name, sub] : folders) {
    const char* value = std::getenv(name);
    saved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
    ::setenv(name, (World.Root() / sub).c_str(), 1);
  }
  ReleaseConfigurationTexts();
  auto compilers = std::exchange(CompilerConfig, std::make_unique<TCompilerConfig>());
  auto environment = std::exchange(EnvConfig, std::make_unique<TEnvConfig>());
  CompilerConfig->BuildDefault();
  EnvConfig->BuildDefault();
  EnvConfig->SubmitDir = SubmitDir;
  SaveConfiguration();
  CompilerConfig = std::move(compilers);
  EnvConfig = std::move(environment);
  for (const TSavedVariable& v : saved)
    if (v.Value) ::setenv(v.Name, v.Value->c_str(), 1);
    else ::unsetenv(v.Name);
  ReleaseConfigurationTexts();
}

// Polls Ready every 20 ms for up to TimeoutMs.
bool WaitUntil(int TimeoutMs, const std::function<bool()>& Ready) {
  QElapsedTimer clock;
  clock.start();
  while (!Ready()) {
    if (clock.elapsed() > TimeoutMs) return false;
    QThread::msleep(20);
  }
  return true;
}

// Killed while judging a submission online in a contest opened from an
// archive: the submission lives only in the unpack folder. The archive
// opened again by a new copy keeps that folder aside, with the submission.
TEST(Program, AKillDuringOnlineJudgingOfAnArchiveContestLosesNoSubmission) {
  TUserWorld world;
  const fs::path submit = world.Root() / "submit", archive = world.Root() / "thi.contest";
  fs::create_directories(submit);
  fs::copy_file(VELKOR_SAMPLE_CONTEST, archive);
  WriteConfiguration(world, submit.string());
  const fs::path unpack = world.Root() / "home/.local/share";
  const fs::path accepted = unpack / "VelkorContest/Contestants/Em/TONG.cpp";
  const std::string source = "int main() { for (;;) {} }\n";  // judged for as long as the limit lets it
  const QString loaded = QString::fromUtf8(kMainFormCaption) + QString::fromUtf8(" ✓") +
                         QString::fromStdString(archive.string());
  {
    TVelkor first(world, {"/LOAD", archive.string()});
    ASSERT_TRUE(first.Started());
    ASSERT_EQ(AskCaption(world.Socket(), 20000, [&](const QString& c) { return c == loaded; }), loaded);
    testing::WriteText((submit / "bai[Em][TONG].cpp").string(), source);
    ASSERT_TRUE(WaitUntil(60000, [&] { return fs::exists(accepted); })) << "never accepted";
  }  // killed

  TVelkor second(world, {"/LOAD", archive.string()});
  ASSERT_TRUE(second.Started());
  ASSERT_EQ(AskCaption(world.Socket(), 20000, [&](const QString& c) { return c == loaded; }), loaded);
  EXPECT_FALSE(fs::exists(accepted)) << "the archive opens as it was saved";
  std::vector<fs::path> kept;
  for (const auto& e : fs::directory_iterator(unpack))
    if (e.path().filename().string().starts_with(kKeptUnpackFolderName)) kept.push_back(e.path());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(testing::ReadText((kept[0] / "Contestants/Em/TONG.cpp").string()), source);
}

}  // namespace
}  // namespace velkor
