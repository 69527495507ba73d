// The GUI font: the font file beside the program, the "/GUIFONT" choice and
// the application's default fonts.
#include "components/DefaultFonts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/SystemInfo.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

// Restores the parameters, the application's fonts and the added font file.
class FontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FSavedParams = MyParams;
    FSavedFont = QApplication::font();
    FSavedMenuFont = QApplication::font("QMenu");
    FFolder = fs::temp_directory_path() / ("fonts-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(FFolder);
    fs::create_directories(FFolder);
    ASSERT_FALSE(FontFamilyAvailable(kGuiFontFamily)) << "the test machine has ZARIRA installed";
  }
  void TearDown() override {
    DefaultFontsShutdown();
    MyParams = FSavedParams;
    QApplication::setFont(FSavedFont);
    QApplication::setFont(FSavedMenuFont, "QMenu");
    fs::remove_all(FFolder);
  }
  std::string Folder() const { return FFolder.string() + "/"; }
  void CopyFontFile(const fs::path& To) const { fs::copy_file(VELKOR_GUI_FONT_FILE, To); }

  std::vector<std::string> FSavedParams;
  QFont FSavedFont, FSavedMenuFont;
  fs::path FFolder;
};

TEST_F(FontTest, TheSwitchChoosesNameAndSize) {
  const std::string longName(5000, 'A');
  struct Case {
    std::vector<std::string> params;
    std::string family;
    int size;
  } cases[] = {
      {{"/GUIFONT", "Tahoma:11"}, "Tahoma", 11},
      {{"/GUIFONT", "Tahoma"}, "Tahoma", 8},
      {{"/GUIFONT", "Tahoma:big"}, "Tahoma", 8},
      {{"/GUIFONT", "Tahoma:0"}, "Tahoma", 8},   // not passed on: Qt ignores sizes <= 0
      {{"/GUIFONT", "Tahoma:-3"}, "Tahoma", 8},
      {{"/GUIFONT", "Tahoma:99999999999"}, "Tahoma", 8},
      {{"/guiFont", "Tahoma:11"}, "Tahoma", 11},
      {{"/LOAD", "a.contest", "/GUIFONT", "Courier New:12"}, "Courier New", 12},
      {{"/GUIFONT", "Courier New:12:3"}, "Courier New", 8},  // the name ends at the first ":"
      {{"/GUIFONT", ":12"}, "", 12},
      {{"/GUIFONT", ":"}, "", 8},
      {{"/GUIFONT", longName}, longName, 8},
      // No parameter after the switch, or no switch: the fallback.
      {{"/GUIFONT"}, kFallbackGuiFontFamily, 9},
      {{"Tahoma:11", "/GUIFONT"}, kFallbackGuiFontFamily, 9},
      {{}, kFallbackGuiFontFamily, 9},
  };
  for (const Case& c : cases) {
    MyParams = c.params;
    ChooseGuiFont();
    const QFont& font = CurrentGuiFont().Font;
    const std::string shown = c.params.empty() ? "(none)" : c.params.back().substr(0, 40);
    EXPECT_EQ(font.family().toStdString(), c.family) << shown;
    EXPECT_EQ(font.pointSize(), c.size) << shown;
    EXPECT_FALSE(font.bold() || font.italic() || font.underline() || font.strikeOut()) << shown;
    EXPECT_EQ(CurrentGuiFont().Color, clBtnText);
  }
}

TEST_F(FontTest, TheFontFileIsAddedWhenMissingAndRemovedAtShutdown) {
  MyParams = {"/GUIFONT"};
  EXPECT_FALSE(LoadGuiFontFile(Folder()));  // no file there
  ChooseGuiFont();
  EXPECT_EQ(CurrentGuiFont().Font.family().toStdString(), kFallbackGuiFontFamily);

  CopyFontFile(FFolder / kGuiFontFile);
  ASSERT_TRUE(LoadGuiFontFile(Folder()));
  EXPECT_TRUE(GuiFontFileAdded());
  EXPECT_TRUE(FontFamilyAvailable("zarira"));
  ChooseGuiFont();
  EXPECT_EQ(CurrentGuiFont().Font.family().toStdString(), kGuiFontFamily);
  EXPECT_EQ(CurrentGuiFont().Font.pointSize(), 9);

  // Present now: another copy is not added.
  const fs::path other = FFolder / "other";
  fs::create_directory(other);
  CopyFontFile(other / kGuiFontFile);
  EXPECT_FALSE(LoadGuiFontFile(other.string() + "/"));

  // Removed at shutdown even when another font was chosen meanwhile.
  CreateGuiFont("Tahoma", 10);
  DefaultFontsShutdown();
  EXPECT_FALSE(GuiFontFileAdded());
  EXPECT_FALSE(FontFamilyAvailable(kGuiFontFamily));
}

TEST_F(FontTest, ALinkToTheFileIsFollowed) {
  const fs::path real = FFolder / "real.ttf";
  CopyFontFile(real);
  fs::create_symlink(real, FFolder / kGuiFontFile);
  EXPECT_TRUE(LoadGuiFontFile(Folder()));
  EXPECT_TRUE(FontFamilyAvailable(kGuiFontFamily));
}

TEST_F(FontTest, ACorruptFontFileIsNotAdded) {
  std::ofstream(FFolder / kGuiFontFile, std::ios::binary) << "not a font at all";
  EXPECT_FALSE(LoadGuiFontFile(Folder()));
  EXPECT_FALSE(GuiFontFileAdded());
  MyParams = {};
  ChooseGuiFont();
  EXPECT_EQ(CurrentGuiFont().Font.family().toStdString(), kFallbackGuiFontFamily);
}

TEST_F(FontTest, TheGuiFontBecomesTheApplicationsFonts) {
  CreateGuiFont("X", 12);
  ApplyDefaultFont(nullptr);
  CreateGuiFont("Y", 7);  // the application keeps its own copy
  for (const char* className : {static_cast<const char*>(nullptr), "QMenu", "QMenuBar", "QToolTip", "QMessageBox"}) {
    const QFont font = className ? QApplication::font(className) : QApplication::font();
    EXPECT_EQ(font.family(), "X") << (className ? className : "default");
    EXPECT_EQ(font.pointSize(), 12) << (className ? className : "default");
  }
  const QFont other("Z", 14);
  ApplyDefaultFont(&other);
  EXPECT_EQ(QApplication::font("QMenu").family(), "Z");
}

TEST_F(FontTest, StartUpAppliesTheChoice) {
  MyParams = {"/guifont", "Tahoma:11"};
  DefaultFontsStartup();
  EXPECT_EQ(QApplication::font().family(), "Tahoma");
  EXPECT_EQ(QApplication::font().pointSize(), 11);
}

}  // namespace
}  // namespace velkor
