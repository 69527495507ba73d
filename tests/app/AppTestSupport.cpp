#include "AppTestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <gtest/gtest.h>

#include <ctime>
#include <memory>

#include "components/LowLevel.h"
#include "components/TrueImages.h"
#include "core/FileUtils.h"
#include "core/SystemInfo.h"
#include "graphics/RasterStartup.h"
#include "graphics_toolkit/RasterToolkitStartup.h"
#include "judging/Globals.h"
#include "judging/Results.h"

namespace velkor::test {

namespace {

// The raster library and the true images, started as the program starts
// them once its QApplication exists: the windows' own controls draw
// through them.
class AppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    RasterStartup();
    RasterToolkitStartup();
    LowLevel::BindFillLongword();
    TrueImagesStartup();
  }
  void TearDown() override {
    TrueImagesShutdown();
    RasterToolkitShutdown();
    RasterShutdown();
  }
};

const ::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

std::filesystem::path AppShotsFolder() {
  const std::filesystem::path folder = std::filesystem::path(VELKOR_GUI_SHOTS_DIR) / "app";
  std::filesystem::create_directories(folder);
  return folder;
}

void SaveShot(const QImage& Image, const std::string& Name) {
  const std::string file = (AppShotsFolder() / (Name + ".png")).string();
  EXPECT_TRUE(Image.save(QString::fromStdString(file))) << file;
}

void SaveShot(QWidget* Widget, const std::string& Name) { SaveShot(Widget->grab().toImage(), Name); }

TRecordingLink::TRecordingLink(QWidget* Window) : FWindow(Window) { MainFormLink::Install(this); }

TRecordingLink::~TRecordingLink() { MainFormLink::Remove(this); }

void TRecordingLink::ShowHelp(const std::string& Topic) { Calls.push_back("help:" + Topic); }

void TRecordingLink::UpdateMainTableC(TResultC* C, bool Focus) {
  Calls.push_back(std::string(Focus ? "row+focus:" : "row:") + (C ? C->Name() : "<none>"));
}

void TRecordingLink::ShowGridPage() { Calls.push_back("grid"); }

TRecordingOpener::TRecordingOpener(bool aResult) : Result(aResult) {
  FPrevious = SetDesktopOpener([this](const std::string& Path) {
    Opened.push_back(Path);
    return Result;
  });
}

TRecordingOpener::~TRecordingOpener() { SetDesktopOpener(FPrevious); }

void StartProgramModel(const char* ProgramName) {
  static const char* argv[1];
  argv[0] = ProgramName;
  SystemInfoInit(1, argv);
  FileUtilsInit();
  InitializeGlobals();
}

TShiftedSubmitClock::TShiftedSubmitClock(double Seconds_) : Seconds(Seconds_) {
  FPrevious = SetSubmitClock([this] {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return FileTimeToLocalDateTime(now) + Seconds / 86400.0;
  });
}

TShiftedSubmitClock::~TShiftedSubmitClock() { SetSubmitClock(FPrevious); }

void WhenModal(std::function<void(QWidget* Dialog)> Action) {
  // Polls rather than relying on one queued call: some windows show
  // themselves only after a queued start-up step of their own.
  auto tries = std::make_shared<int>(0);
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [tries, poll, Action = std::move(Action)]() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal->isVisible()) {
      Action(modal);
      *poll = nullptr;  // breaks the cycle
      return;
    }
    if (++*tries > 500) {
      ADD_FAILURE() << "no modal window appeared";
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
      *poll = nullptr;
      return;
    }
    QTimer::singleShot(10, [poll] {
      if (*poll) (*poll)();
    });
  };
  QTimer::singleShot(0, [poll] {
    if (*poll) (*poll)();
  });
}

}  // namespace velkor::test
