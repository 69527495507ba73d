// The real program: velkor started as child processes, offscreen, each
// test with its own HOME, TMPDIR and runtime folder, so that the copies of
// one test share their lock and socket and nothing else does.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/RunOnceUtils.h"
#include "judging/Compilers.h"
#include "judging/ContestArchive.h"
#include "judging/EnvConfig.h"
#include "platform/FileLocks.h"
#include "tests/core/FileTestSupport.h"
#include "toolkit/SingleInstance.h"

extern char** environ;

namespace velkor {
namespace {

namespace fs = std::filesystem;

// One user's world for the copies of a test: HOME, XDG folders, TMPDIR and
// the runtime folder (what one account's sessions share).
class TUserWorld {
 public:
  TUserWorld() {
    for (const char* sub : {"home/.config", "home/.local/share", "tmp", "run"}) fs::create_directories(Root() / sub);
    fs::permissions(Root() / "run", fs::perms::owner_all);
  }
  fs::path Root() const { return FFolder.Path(); }
  // The program's per-account runtime folder in this world.
  fs::path RuntimeDir() const { return Root() / "run" / "velkor"; }
  QString Socket() const { return QString::fromStdString((RuntimeDir() / "VelkorApplication.socket").string()); }
  fs::path HandOverFile() const { return RuntimeDir() / kParamsHandOverFileName; }

  // This world's environment; Tmp, when given, is TMPDIR instead of the
  // world's own.
  std::vector<std::string> Environment(const fs::path& Tmp = {}) const {
    std::vector<std::string> env;
    const auto replaced = [](const std::string& Entry) {
      for (const char* name :
           {"HOME=", "TMPDIR=", "XDG_CONFIG_HOME=", "XDG_DATA_HOME=", "XDG_RUNTIME_DIR=", "QT_QPA_PLATFORM="})
        if (Entry.rfind(name, 0) == 0) return true;
      return false;
    };
    for (char** e = environ; *e; ++e)
      if (!replaced(*e)) env.push_back(*e);
    env.push_back("HOME=" + (Root() / "home").string());
    env.push_back("XDG_CONFIG_HOME=" + (Root() / "home/.config").string());
    env.push_back("XDG_DATA_HOME=" + (Root() / "home/.local/share").string());
    env.push_back("TMPDIR=" + (Tmp.empty() ? Root() / "tmp" : Tmp).string());
    env.push_back("XDG_RUNTIME_DIR=" + (Root() / "run").string());
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
  // Started in WorkDir (else here) with World's environment (else Env),
  // its standard error going to the file StdErr when one is named.
  TVelkor(const TUserWorld& World, std::vector<std::string> Args, const std::string& WorkDir = "",
          std::vector<std::string> Env = {}, const std::string& StdErr = "") {
    std::vector<std::string> argStore{VELKOR_PROGRAM};
    argStore.insert(argStore.end(), Args.begin(), Args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore = Env.empty() ? World.Environment() : std::move(Env);
    std::vector<char*> envp;
    for (std::string& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!WorkDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, WorkDir.c_str());
    if (!StdErr.empty())
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, StdErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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

// Sets environment variables for its own life and puts the old values back.
class TScopedEnvironment {
 public:
  explicit TScopedEnvironment(const std::vector<std::pair<std::string, std::string>>& Values) {
    for (const auto& [name, value] : Values) {
      const char* old = std::getenv(name.c_str());
      FSaved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      ::setenv(name.c_str(), value.c_str(), 1);
    }
  }
  ~TScopedEnvironment() {
    for (const auto& [name, value] : FSaved)
      if (value) ::setenv(name.c_str(), value->c_str(), 1);
      else ::unsetenv(name.c_str());
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> FSaved;
};

// Writes World's Velkor.cfg, and the marker that makes the program trust
// it, holding the defaults as Edit changes them.
void WriteConfiguration(const TUserWorld& World, const std::function<void(TEnvConfig&)>& Edit) {
  const TScopedEnvironment env({{"HOME", (World.Root() / "home").string()},
                                {"XDG_CONFIG_HOME", (World.Root() / "home/.config").string()},
                                {"XDG_DATA_HOME", (World.Root() / "home/.local/share").string()}});
  ReleaseConfigurationTexts();
  auto compilers = std::exchange(CompilerConfig, std::make_unique<TCompilerConfig>());
  auto environment = std::exchange(EnvConfig, std::make_unique<TEnvConfig>());
  Edit(*EnvConfig);
  SaveConfiguration();
  CompilerConfig = std::move(compilers);
  EnvConfig = std::move(environment);
  ReleaseConfigurationTexts();
}

// Polls Ready every 20 ms until it holds or TimeoutMs has passed.
bool WaitUntil(const std::function<bool()>& Ready, int TimeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!Ready()) {
    if (clock.elapsed() >= TimeoutMs) return false;
    QThread::msleep(20);
  }
  return true;
}

// Whether some process holds the lock file Path.
bool FileLockHeld(const fs::path& Path) {
  platform::TFileLock probe;
  return fs::exists(Path) && probe.Take(Path.string()) == platform::TFileLock::flHeldByOther;
}

// Whether some process holds the single-instance lock of World.
bool LockHeld(const TUserWorld& World) {
  TSingleInstanceLock probe;
  return probe.Take((World.RuntimeDir() / "VelkorApplication.lock").string(), 0) == TSingleInstanceLock::lrHeldByOther;
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


// The guard is the account's, whatever TMPDIR says: a copy started with
// another temporary folder hands its contest to the running one and ends,
// and never gets a work folder or an unpack folder of its own.
TEST(Program, ACopyWithAnotherTemporaryFolderIsStillTheSecond) {
  TUserWorld world;
  TVelkor first(world, {"/GUIFONT", "DejaVu Sans"});
  ASSERT_TRUE(first.Started());
  ASSERT_TRUE(IsMainFormCaption(
      AskCaption(world.Socket(), 20000, [](const QString& c) { return IsMainFormCaption(c); })));

  testing::TempFolder otherTmp;
  const std::string errors = otherTmp.Path() + "/stderr.txt";
  TVelkor second(world, {"/LOAD", VELKOR_SAMPLE_CONTEST}, "", world.Environment(otherTmp.Path()), errors);
  EXPECT_EQ(second.WaitForExit(20000), std::optional<int>(0));
  EXPECT_NE(testing::ReadText(errors).find("Velkor đang chạy trong tài khoản này"), std::string::npos)
      << testing::ReadText(errors);
  const QString loaded = AskCaption(world.Socket(), 20000, [](const QString& c) { return c.endsWith("Sample.contest"); });
  EXPECT_TRUE(loaded.endsWith(VELKOR_SAMPLE_CONTEST)) << loaded.toStdString();
  EXPECT_EQ(first.WaitForExit(0), std::nullopt);
  EXPECT_FALSE(fs::exists(otherTmp.Path() + "/velkor-" + std::to_string(::geteuid()) + "/VelkorApplication.lock"));
}

// Two copies that no single-instance guard keeps apart (another account,
// another home) but that were set to the same contest house and unpack
// folder: the second says so in Vietnamese and ends, and the first's
// unpacked contest stays as it is.
TEST(Program, ASecondCopyNeverSharesTheWorkAndUnpackFolders) {
  testing::TempFolder shared;
  const auto sameFolders = [&shared](TEnvConfig& Env) {
    Env.ContestHouse = shared.Path() + "/house";
    Env.DecompressDir = shared.Path() + "/unpack/";
  };
  TUserWorld firstWorld, secondWorld;
  WriteConfiguration(firstWorld, sameFolders);
  WriteConfiguration(secondWorld, sameFolders);

  // The stopped copy read settings it never used: it leaves them as they are.
  const auto secondSettings = [&secondWorld] {
    struct stat st {};
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(secondWorld.Root() / "home"))
      if (e.path().filename() == "Velkor.cfg" && ::stat(e.path().c_str(), &st) == 0)
        return std::make_pair(st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec);
    return std::make_pair(ino_t{0}, 0LL);
  };
  const auto settingsBefore = secondSettings();
  ASSERT_NE(settingsBefore.first, 0u) << "no Velkor.cfg in the second copy's home";

  TVelkor first(firstWorld, {"/LOAD", VELKOR_SAMPLE_CONTEST});
  ASSERT_TRUE(first.Started());
  ASSERT_TRUE(AskCaption(firstWorld.Socket(), 20000, [](const QString& c) { return c.endsWith("Sample.contest"); })
                  .endsWith("Sample.contest"));
  const fs::path unpacked = shared.Path() + "/unpack/VelkorContest/Tasks/TONG/Settings.cfg";
  ASSERT_TRUE(fs::exists(unpacked));
  const auto unpackedAt = fs::last_write_time(unpacked);

  const std::string errors = secondWorld.Root() / "stderr.txt";
  TVelkor second(secondWorld, {"/LOAD", VELKOR_SAMPLE_CONTEST}, "", {}, errors);
  EXPECT_EQ(second.WaitForExit(30000), std::optional<int>(kFoldersHeldExitCode));
  const std::string told = testing::ReadText(errors);
  EXPECT_NE(told.find("thư mục làm việc trong thư mục \"" + shared.Path() + "/house\""), std::string::npos) << told;
  EXPECT_NE(told.find("thư mục giải nén kỳ thi trong thư mục \"" + shared.Path() + "/unpack/\""),
            std::string::npos)
      << told;
  EXPECT_NE(told.find("sẽ dừng lại"), std::string::npos) << told;
  EXPECT_EQ(secondSettings(), settingsBefore) << "the stopped copy wrote its settings";

  EXPECT_EQ(first.WaitForExit(0), std::nullopt);
  EXPECT_EQ(fs::last_write_time(unpacked), unpackedAt);
  EXPECT_FALSE(fs::exists(shared.Path() + "/unpack/VelkorContest1"));
  EXPECT_TRUE(AskCaption(firstWorld.Socket(), 5000, [](const QString& c) { return c.endsWith("Sample.contest"); })
                  .endsWith("Sample.contest"));
}


// Two copies (two homes) set to one submission folder: the first takes it
// and judges what arrives; the second is told, in Vietnamese, and takes
// nothing, so no submission is judged in a contest that does not keep it.
TEST(Program, OnlyOneCopyJudgesASubmissionFolder) {
  testing::TempFolder submit;
  const auto sameSubmissions = [&submit](TEnvConfig& Env) { Env.SubmitDir = submit.Path(); };
  TUserWorld firstWorld, secondWorld;
  WriteConfiguration(firstWorld, sameSubmissions);
  WriteConfiguration(secondWorld, sameSubmissions);
  const auto loaded = [](const QString& c) { return c.endsWith("Sample.contest"); };

  TVelkor first(firstWorld, {"/LOAD", VELKOR_SAMPLE_CONTEST});
  ASSERT_TRUE(first.Started());
  ASSERT_TRUE(loaded(AskCaption(firstWorld.Socket(), 20000, loaded)));
  const fs::path lockFile = fs::path(submit.Path()) / "VelkorSubmit.lock";
  EXPECT_TRUE(WaitUntil([&] { return FileLockHeld(lockFile); }, 20000)) << "the first copy never took the folder";

  const std::string errors = secondWorld.Root() / "stderr.txt";
  TVelkor second(secondWorld, {"/LOAD", VELKOR_SAMPLE_CONTEST}, "", {}, errors);
  ASSERT_TRUE(second.Started());
  const auto told = [&] { return testing::ReadText(errors).find("thư mục nộp bài") != std::string::npos; };
  EXPECT_TRUE(WaitUntil(told, 30000)) << testing::ReadText(errors);
  EXPECT_NE(testing::ReadText(errors).find("\"" + submit.Path() + "\""), std::string::npos);
  EXPECT_EQ(second.WaitForExit(0), std::nullopt) << "the second copy ended";

  // Only the first copy takes what arrives.
  testing::WriteText(submit / "bai[Moi][TONG].py", "a, b = map(int, input().split())\nprint(a + b)\n");
  const fs::path log = fs::path(submit.Path()) / "Logs/bai[Moi][TONG].py.log";
  EXPECT_TRUE(WaitUntil([&] { return fs::exists(log); }, 60000)) << "the submission was never judged";
  const auto contestants = [](const TUserWorld& World) {
    return World.Root() / "home/.local/share/VelkorContest/Contestants";
  };
  EXPECT_TRUE(fs::exists(contestants(firstWorld) / "Moi/TONG.py"));
  EXPECT_FALSE(fs::exists(contestants(secondWorld) / "Moi"));
  EXPECT_EQ(first.WaitForExit(0), std::nullopt);
}

// Killed while judging a submission online in a contest opened from an
// archive: the submission lives only in the unpack folder. The archive
// opened again by a new copy keeps that folder aside, with the submission.
TEST(Program, AKillDuringOnlineJudgingOfAnArchiveContestLosesNoSubmission) {
  TUserWorld world;
  const fs::path submit = world.Root() / "submit", archive = world.Root() / "thi.contest";
  fs::create_directories(submit);
  fs::copy_file(VELKOR_SAMPLE_CONTEST, archive);
  WriteConfiguration(world, [&submit](TEnvConfig& Env) { Env.SubmitDir = submit.string(); });
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
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(accepted); }, 60000)) << "never accepted";
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
