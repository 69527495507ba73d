// The velkor program as the jury starts it: a first copy runs, a second
// copy started with "/LOAD" hands the file over and ends at once, and the
// first opens the contest. Both run offscreen with this test's private
// folders.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/RunOnceUtils.h"
#include "core/SystemInfo.h"
#include "toolkit/SingleInstance.h"

namespace velkor {
namespace {

// Polls Ready until it holds or 60 s have passed (a loaded machine starts
// a Qt program slowly; a healthy run takes well under a second).
bool WaitFor(const std::function<bool()>& Ready) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 60000) {
    if (Ready()) return true;
    QCoreApplication::processEvents();
    QThread::msleep(20);
  }
  return false;
}

QString RunningCaption() {
  TRunningInstance running;
  return running.Connect(ParamsServerName(), 1000) ? running.Caption() : QString();
}

TEST(ProgramProcesses, SecondCopyHandsTheContestToTheFirst) {
  static const char* argv[] = {VELKOR_PROGRAM};
  SystemInfoInit(1, argv);
  ASSERT_TRUE(std::filesystem::exists(VELKOR_SAMPLE_CONTEST));

  QProcess first;
  first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  first.start(VELKOR_PROGRAM, {"/GUIFONT", "DejaVu Sans"});
  ASSERT_TRUE(first.waitForStarted());
  ASSERT_TRUE(WaitFor([] { return IsMainFormCaption(RunningCaption()); })) << "the first copy never answered";
  EXPECT_EQ(RunningCaption(), QString::fromUtf8("Βέλκο - Chương trình chấm bài tự động"));

  QProcess second;
  second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  second.start(VELKOR_PROGRAM, {"/load", VELKOR_SAMPLE_CONTEST});
  ASSERT_TRUE(second.waitForFinished(20000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);

  // The first copy opened the sample, and the hand-over file is gone.
  const QString loaded = QString::fromUtf8("Βέλκο - Chương trình chấm bài tự động ✓") + VELKOR_SAMPLE_CONTEST;
  EXPECT_TRUE(WaitFor([&] { return RunningCaption() == loaded; })) << RunningCaption().toStdString();
  EXPECT_FALSE(std::filesystem::exists(ParamsHandOverFile()));
  EXPECT_EQ(first.state(), QProcess::Running);

  first.kill();
  first.waitForFinished();
  SystemInfoFinalize();
}

}  // namespace
}  // namespace velkor
