// What every GUI test program shares on top of its main (GuiTestMain.cpp,
// TestFolders.h: private folders, offscreen platform, locale): the raster
// library started as a program starts it once its QApplication exists,
// pictures for a person to look at, and reaching a modal window.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <string>

namespace velkor::test {

// Starts the raster library and its toolkit half before the first test and
// ends them after the last; FontFile, when given, is added to the
// application's fonts first so that text tests draw with a known face.
// A suite registers one with ::testing::AddGlobalTestEnvironment.
class TRasterTestEnvironment : public ::testing::Environment {
 public:
  explicit TRasterTestEnvironment(std::string FontFile = {});
  void SetUp() override;
  void TearDown() override;

 private:
  std::string FFontFile;
};

// The face the raster suites' text tests use, and its file
// (fonts-dejavu-core).
inline constexpr const char* kDejaVuSansFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Saves Image as <Folder>/<Name>.png (Folder created on first use); a
// failure to save fails the test.
void SaveShotIn(const std::filesystem::path& Folder, const QImage& Image, const std::string& Name);

// Runs Action on the first modal window that appears once the caller enters
// a modal loop (call this just before opening the dialog). Action receives
// the modal window; it should end the dialog (a click, a key, reject()).
// When no modal window appears within a few seconds, the test fails and
// whatever window is modal then is rejected, so the test cannot hang.
void WhenModal(std::function<void(QWidget* Dialog)> Action);

}  // namespace velkor::test
