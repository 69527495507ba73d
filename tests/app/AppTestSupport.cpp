#include "AppTestSupport.h"

#include <gtest/gtest.h>

#include <ctime>

#include "ComponentsTestEnvironment.h"
#include "core/FileUtils.h"
#include "core/SystemInfo.h"
#include "judging/Globals.h"
#include "judging/Results.h"

namespace velkor::test {

namespace {

// The windows' own controls draw through the raster library and the true
// images.
const ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TComponentsTestEnvironment);

}  // namespace

std::filesystem::path AppShotsFolder() {
  const std::filesystem::path folder = std::filesystem::path(VELKOR_GUI_SHOTS_DIR) / "app";
  std::filesystem::create_directories(folder);
  return folder;
}

void SaveShot(const QImage& Image, const std::string& Name) { SaveShotIn(AppShotsFolder(), Image, Name); }

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

}  // namespace velkor::test
