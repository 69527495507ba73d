// What the tests of the application's windows share: pictures for a person
// to look at, a recording main-window link, a recording desktop opener, and
// a way to reach a modal window once its own event loop runs
// (GuiTestSupport.h).
#pragma once

#include <QImage>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "GuiTestSupport.h"
#include "app/MainFormLink.h"
#include "judging/SubmitU.h"
#include "toolkit/DesktopOpen.h"

namespace velkor::test {

// What the program starts before its windows: system information as for
// a program named ProgramName (a literal), the file routines and the
// process-wide objects (FinalizeGlobals ends them).
void StartProgramModel(const char* ProgramName);

// Contestants' programs for contests on standard input and output: one
// adds the two numbers it reads, the other always answers 0.
inline constexpr const char* kRightCpp = R"(#include <iostream>
int main() { long long a, b; std::cin >> a >> b; std::cout << a + b << "\n"; })";
inline constexpr const char* kWrongCpp = R"(#include <iostream>
int main() { std::cout << 0 << "\n"; })";

// Installed for its lifetime: the online intake's clock runs Seconds ahead
// of the real one (Seconds may be changed meanwhile), so that files written
// a moment ago count as long quiet, and waits of a minute pass at once.
class TShiftedSubmitClock {
 public:
  explicit TShiftedSubmitClock(double Seconds = 5);
  ~TShiftedSubmitClock();
  TShiftedSubmitClock(const TShiftedSubmitClock&) = delete;
  TShiftedSubmitClock& operator=(const TShiftedSubmitClock&) = delete;

  double Seconds;

 private:
  TLocalClock FPrevious;
};

// <build>/gui-shots/app, created on first use.
std::filesystem::path AppShotsFolder();
// Saves Image (or what Widget paints, grabbed) as <Name>.png there.
void SaveShot(const QImage& Image, const std::string& Name);
void SaveShot(QWidget* Widget, const std::string& Name);

// Installed for its lifetime; records every call as a short text
// ("help:TaskConfig", "row:<contestant>", "row+focus:<contestant>", "grid").
class TRecordingLink : public IMainFormLink {
 public:
  explicit TRecordingLink(QWidget* Window = nullptr);
  ~TRecordingLink() override;
  TRecordingLink(const TRecordingLink&) = delete;
  TRecordingLink& operator=(const TRecordingLink&) = delete;

  QWidget* Window() override { return FWindow; }
  void ShowHelp(const std::string& Topic) override;
  void UpdateMainTableC(TResultC* C, bool Focus) override;
  void ShowGridPage() override;

  std::vector<std::string> Calls;

 private:
  QWidget* FWindow;
};

// Installed for its lifetime: records the paths instead of opening them and
// answers Result.
class TRecordingOpener {
 public:
  explicit TRecordingOpener(bool Result = true);
  ~TRecordingOpener();
  TRecordingOpener(const TRecordingOpener&) = delete;
  TRecordingOpener& operator=(const TRecordingOpener&) = delete;

  std::vector<std::string> Opened;
  bool Result;

 private:
  TDesktopOpener FPrevious;
};

}  // namespace velkor::test
