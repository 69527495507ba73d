// The single-instance guard and the parameter hand-over, in process: the
// file's bytes both ways, the caption rule, the lock and one conversation
// over the local socket. Real second copies of the program are started in
// ProgramTest.cpp.
#include "app/RunOnceUtils.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "core/SystemInfo.h"
#include "toolkit/SingleInstance.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

std::string Bytes(std::initializer_list<int> Values) {
  std::string s;
  for (int v : Values) s += static_cast<char>(v);
  return s;
}

std::string ReadFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& Path, const std::string& Bytes) {
  std::ofstream(Path, std::ios::binary) << Bytes;
}

class RunOnceUtilsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static const char* argv[] = {"app_run_once_test"};
    SystemInfoInit(1, argv);
  }
  std::string Scratch(const std::string& Name) {
    const fs::path dir = fs::path(TempDirD) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(dir);
    return (dir / Name).string();
  }

  // What a later copy learns from the running one over the socket Name: the
  // caption it reads and whether its request went through. The later copy
  // blocks on its socket, so it talks from a thread of its own while this
  // one runs the server's events.
  struct TLaterCopy {
    QString Caption;
    bool Notified = false;
  };
  static TLaterCopy ReachFromLaterCopy(const QString& Name) {
    TLaterCopy seen;
    std::atomic<bool> done{false};
    std::thread client([&] {
      TRunningInstance running;
      if (running.Connect(Name, 3000)) {
        seen.Caption = running.Caption();
        seen.Notified = running.Notify(3000);
      }
      done = true;
    });
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < 5000) QTest::qWait(10);
    client.join();
    EXPECT_TRUE(done) << "the later copy was not answered in time";
    return seen;
  }
};

TEST_F(RunOnceUtilsTest, EncodesTheSpecifiedLayout) {
  EXPECT_EQ(EncodeHandOverParams({}), Bytes({0, 0, 0, 0}));
  EXPECT_EQ(EncodeHandOverParams({"/LOAD", "a.contest"}),
            Bytes({2, 0, 0, 0, 5, 0, 0, 0}) + std::string("/\0L\0O\0A\0D\0", 10) + Bytes({9, 0, 0, 0}) +
                std::string("a\0.\0c\0o\0n\0t\0e\0s\0t\0", 18));
  // Lengths count UTF-16 units: "ệ" is one, a character beyond the BMP two.
  EXPECT_EQ(EncodeHandOverParams({"ệ"}), Bytes({1, 0, 0, 0, 1, 0, 0, 0, 0xC7, 0x1E}));
  EXPECT_EQ(EncodeHandOverParams({"\xF0\x9F\x98\x80"}).substr(4, 4), Bytes({2, 0, 0, 0}));
}

TEST_F(RunOnceUtilsTest, DecodesOrRefusesTheWholeFile) {
  struct Case {
    const char* Why;
    std::string Input;
    bool Ok;
    std::vector<std::string> Expected;
  };
  const std::string twoParams = EncodeHandOverParams({"/CLEAN", "Bài thi 1.contest"});
  const Case cases[] = {
      {"count 0", Bytes({0, 0, 0, 0}), true, {}},
      {"an empty entry", Bytes({1, 0, 0, 0, 0, 0, 0, 0}), true, {""}},
      {"two entries, Vietnamese", twoParams, true, {"/CLEAN", "Bài thi 1.contest"}},
      {"bytes after the last entry are not read", twoParams + "xyz", true, {"/CLEAN", "Bài thi 1.contest"}},
      {"empty file", "", false, {}},
      {"short count", Bytes({1, 0}), false, {}},
      {"truncated text", twoParams.substr(0, twoParams.size() - 3), false, {}},
      {"second entry missing", Bytes({2, 0, 0, 0, 0, 0, 0, 0}), false, {}},
      {"negative count", Bytes({0xFF, 0xFF, 0xFF, 0xFF}), false, {}},
      {"negative length", Bytes({1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF}), false, {}},
      {"huge count, nothing behind", Bytes({0xFF, 0xFF, 0xFF, 0x7F}), false, {}},
      {"huge length", Bytes({1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 0}), false, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> params{"left over"};
    EXPECT_EQ(DecodeHandOverParams(c.Input, params), c.Ok) << c.Why;
    EXPECT_EQ(params, c.Expected) << c.Why;
  }
}

TEST_F(RunOnceUtilsTest, RecognisesTheMainWindowByItsFirst37Units) {
  const QString base = QString::fromUtf8(kMainFormCaption);
  ASSERT_EQ(base.size(), 37);
  struct Case {
    QString Caption;
    bool Matches;
  } cases[] = {
      {base, true},
      {base + QString::fromUtf8(" ✓/home/ban giam khao/a.contest"), true},
      {base + QString::fromUtf8("✓x.contest"), true},
      {QString::fromUtf8("Βέλκο - chương TRÌNH chấm bài tự động"), false},  // "Ì" is not folded
      {QString::fromUtf8("Βέλκο - chương trình chấm bài Tự động"), true},     // only ASCII letters differ
      {QString::fromUtf8("Βέλκο - Chương trình chấm bài tự độn"), false},      // 36 units
      {QString::fromUtf8(kApplicationTitle), false},
      {QString(), false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsMainFormCaption(c.Caption), c.Matches) << c.Caption.toStdString();
}

TEST_F(RunOnceUtilsTest, MakesTheLoadArgumentAbsoluteForTheRunningCopy) {
  EXPECT_EQ(ParamsForHandOver({"/load", "kt/../a.contest", "/CLEAN"}, "/home/u"),
            (std::vector<std::string>{"/load", "/home/u/a.contest", "/CLEAN"}));
  EXPECT_EQ(ParamsForHandOver({"/LOAD", "/abs/b.contest"}, "/home/u"),
            (std::vector<std::string>{"/LOAD", "/abs/b.contest"}));
  EXPECT_EQ(ParamsForHandOver({"x.contest", "/LOAD"}, "/home/u"), (std::vector<std::string>{"x.contest", "/LOAD"}));
}

TEST_F(RunOnceUtilsTest, HandOverFileRoundTripsAndRefusesWhatIsNotOne) {
  const std::string path = Scratch("VelkorParams");
  ASSERT_TRUE(WriteParamsHandOverFile(path, {"/LOAD", "/x/Kỳ thi.contest"}));
  struct stat st{};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::vector<std::string> params;
  EXPECT_TRUE(ReadParamsHandOverFile(path, params));
  EXPECT_EQ(params, (std::vector<std::string>{"/LOAD", "/x/Kỳ thi.contest"}));

  // A link at the file's name is neither read through nor written through.
  const std::string victim = Scratch("victim");
  WriteFile(victim, EncodeHandOverParams({"/CLEAN"}));
  fs::remove(path);
  fs::create_symlink(victim, path);
  EXPECT_FALSE(ReadParamsHandOverFile(path, params));
  EXPECT_TRUE(params.empty());
  ASSERT_TRUE(WriteParamsHandOverFile(path, {"/LOAD", "z"}));
  EXPECT_EQ(ReadFile(victim), EncodeHandOverParams({"/CLEAN"}));
  EXPECT_FALSE(fs::is_symlink(path));

  // Garbage, a huge file, a folder, nothing.
  WriteFile(path, "garbage, not a parameter list");
  EXPECT_FALSE(ReadParamsHandOverFile(path, params));
  fs::resize_file(path, std::uintmax_t{17} << 20);
  EXPECT_FALSE(ReadParamsHandOverFile(path, params));
  fs::remove(path);
  EXPECT_FALSE(ReadParamsHandOverFile(path, params));
  fs::create_directory(path);
  EXPECT_FALSE(ReadParamsHandOverFile(path, params));
}

TEST_F(RunOnceUtilsTest, LockIsHeldUntilReleased) {
  const std::string path = Scratch("guard.lock");
  TSingleInstanceLock first, second;
  ASSERT_EQ(first.Take(path, 100), TSingleInstanceLock::lrAcquired);
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(second.Take(path, 100), TSingleInstanceLock::lrHeldByOther);
  EXPECT_GE(clock.elapsed(), 100);  // it did retry for the whole time
  EXPECT_FALSE(second.Held());
  first.Release();
  EXPECT_EQ(second.Take(path, 100), TSingleInstanceLock::lrAcquired);
  EXPECT_EQ(first.Take(Scratch("no such folder") + "/x.lock", 100), TSingleInstanceLock::lrFailed);
}

TEST_F(RunOnceUtilsTest, ServerAnswersWithItsCaptionAndCountsRequests) {
  const QString name = QString::fromStdString(Scratch("s.socket"));
  int requests = 0;
  TSingleInstanceServer server([] { return QString::fromUtf8(kMainFormCaption) + "✓a.contest"; },
                               [&] { ++requests; });
  // A socket left behind by a copy that died does not stop the next one.
  WriteFile(name.toStdString(), "stale");
  ASSERT_TRUE(server.Listen(name));

  const TLaterCopy later = ReachFromLaterCopy(name);
  EXPECT_TRUE(IsMainFormCaption(later.Caption));
  EXPECT_TRUE(later.Notified);
  QTRY_COMPARE_WITH_TIMEOUT(requests, 1, 5000);

  server.Close();
  TRunningInstance nobody;
  EXPECT_FALSE(nobody.Connect(name, 200));
}

TEST_F(RunOnceUtilsTest, RequestIsNotActedOnByAPassThatRunsNoTimers) {
  // A save or a load looks for Esc in passes over the events that run no
  // timers; a request that arrives meanwhile must wait until it is done.
  const QString name = QString::fromStdString(Scratch("s.socket"));
  int requests = 0;
  TSingleInstanceServer server([] { return QString("running"); }, [&] { ++requests; });
  ASSERT_TRUE(server.Listen(name));
  std::atomic<bool> done{false};
  std::thread client([&] {
    TRunningInstance running;
    if (running.Connect(name, 3000)) running.Notify(3000);
    done = true;
  });
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 500 || !done)
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::X11ExcludeTimers);
  client.join();
  EXPECT_EQ(requests, 0);
  QTRY_COMPARE_WITH_TIMEOUT(requests, 1, 5000);
}

TEST_F(RunOnceUtilsTest, ACopyWithoutTheLockLeavesTheRunningCopysSocketAlone) {
  const QString name = QString::fromStdString(Scratch("s.socket"));
  int firstRequests = 0, secondRequests = 0;
  TSingleInstanceServer first([] { return QString("first"); }, [&] { ++firstRequests; });
  TSingleInstanceServer second([] { return QString("second"); }, [&] { ++secondRequests; });
  ASSERT_TRUE(first.Listen(name));
  EXPECT_FALSE(second.Listen(name));
  EXPECT_FALSE(second.Listening());

  // A later copy still reaches the first one.
  const TLaterCopy later = ReachFromLaterCopy(name);
  EXPECT_EQ(later.Caption, "first");
  EXPECT_TRUE(later.Notified);
  QTRY_COMPARE_WITH_TIMEOUT(firstRequests, 1, 5000);
  EXPECT_EQ(secondRequests, 0);

  // Once the first copy has gone, the socket is free again.
  first.Close();
  EXPECT_TRUE(second.Listen(name));
}

TEST_F(RunOnceUtilsTest, WithoutARunningWindowTheFileStaysBehind) {
  fs::remove(ParamsHandOverFile());
  MyParams = {"/LOAD", "rel.contest"};
  EXPECT_FALSE(SendParamsToRunningInstance());
  std::vector<std::string> params;
  ASSERT_TRUE(ReadParamsHandOverFile(ParamsHandOverFile(), params));
  EXPECT_EQ(params, (std::vector<std::string>{"/LOAD", (fs::current_path() / "rel.contest").string()}));
  MyParams.clear();
}

}  // namespace
}  // namespace velkor
