// Theme access: binding the entry points from a provider, opening and
// closing the two handles, and theme changes, with a scripted provider and
// with the default one over the application's QStyle.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "WidgetTestSupport.h"
#include "graphics_toolkit/Raster_XPThemes.h"

namespace velkor {
namespace {

using namespace Raster_XPThemes;

// A provider whose answers a test scripts and whose calls it counts. The
// entry points are plain functions, so the state is the fixture's static.
struct TScript {
  int AppThemed = 1;
  int ThemeActive = 1;
  std::set<std::string> Missing;
  std::vector<std::string> Calls;
  std::set<HTHEME> Open;
  HTHEME Next = 100;
};
TScript Script;

HTHEME FakeOpen(void*, const char* ClassList) {
  Script.Calls.push_back(std::string("Open ") + ClassList);
  Script.Open.insert(Script.Next);
  return Script.Next++;
}
HRESULT FakeClose(HTHEME Theme) {
  Script.Calls.push_back("Close " + std::to_string(Theme));
  return Script.Open.erase(Theme) ? 0 : E_INVALIDARG;
}
int FakeIsAppThemed() {
  Script.Calls.push_back("IsAppThemed");
  return Script.AppThemed;
}
int FakeIsThemeActive() {
  Script.Calls.push_back("IsThemeActive");
  return Script.ThemeActive;
}
HRESULT FakeEnable(int) { return 0; }
HRESULT FakeDraw(HTHEME, HDC, int, int, const TRect*, const TRect*) { return 0; }

class TFakeProvider : public TThemeProvider {
 public:
  int Loads = 0, Unloads = 0;
  bool Loaded = false;

  bool Load() override {
    ++Loads;
    Loaded = true;
    return true;
  }
  void Unload() override {
    ++Unloads;
    Loaded = false;
  }
  void* GetProcAddress(const char* Name) override {
    if (!Loaded || Script.Missing.count(Name)) return nullptr;
    const std::pair<const char*, void*> table[] = {
        {"OpenThemeData", reinterpret_cast<void*>(&FakeOpen)},
        {"CloseThemeData", reinterpret_cast<void*>(&FakeClose)},
        {"IsAppThemed", reinterpret_cast<void*>(&FakeIsAppThemed)},
        {"IsThemeActive", reinterpret_cast<void*>(&FakeIsThemeActive)},
        {"EnableTheming", reinterpret_cast<void*>(&FakeEnable)},
        {"DrawThemeBackground", reinterpret_cast<void*>(&FakeDraw)},
    };
    for (const auto& [name, address] : table)
      if (std::strcmp(name, Name) == 0) return address;
    return nullptr;
  }
};

class ThemesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Script = {};
    SetThemeProvider(&Fake);
  }
  void TearDown() override {
    SetThemeProvider(nullptr);
    OpenThemeHandles();
  }
  // What the application sends when the platform theme changes.
  static void SendThemeChange() {
    QEvent event(QEvent::ThemeChange);
    QApplication::sendEvent(qApp, &event);
    QApplication::processEvents();
  }

  TFakeProvider Fake;
};

TEST_F(ThemesTest, ThemesOffAskNoFurtherAndOpenNothing) {
  Script.AppThemed = 0;
  OpenThemeHandles();
  EXPECT_EQ(Script.Calls, std::vector<std::string>{"IsAppThemed"});
  EXPECT_FALSE(ThemesInUse);
  EXPECT_EQ(ScrollBarThemeHandle, 0u);
  EXPECT_EQ(GlobalsThemeHandle, 0u);
  EXPECT_EQ(ThemeLibraryHandle, &Fake) << "the library stays loaded";
}

TEST_F(ThemesTest, AProviderMissingARequiredEntryPointIsUnloaded) {
  for (const char* missing : {"OpenThemeData", "CloseThemeData", "IsThemeActive", "IsAppThemed", "EnableTheming"}) {
    SCOPED_TRACE(missing);
    Script.Missing = {missing};
    Fake.Unloads = 0;
    EXPECT_FALSE(LoadThemeLibrary());
    EXPECT_EQ(ThemeLibraryHandle, nullptr);
    EXPECT_EQ(Fake.Unloads, 1);
    EXPECT_EQ(OpenThemeData, nullptr);
    EXPECT_EQ(DrawThemeBackground, nullptr);
    EXPECT_EQ(EnableTheming, nullptr);
    OpenThemeHandles();
    EXPECT_FALSE(ThemesInUse);
    EXPECT_EQ(ScrollBarThemeHandle, 0u);
  }
  // The optional ones may be missing.
  Script.Missing = {"DrawThemeBackground", "GetThemeMargins"};
  EXPECT_TRUE(LoadThemeLibrary());
  EXPECT_EQ(DrawThemeBackground, nullptr);
  EXPECT_NE(OpenThemeData, nullptr);
}

TEST_F(ThemesTest, ThemeChangesReopenTheHandlesAndThemesOffEndAtZero) {
  OpenThemeHandles();
  ASSERT_TRUE(ThemesInUse);
  EXPECT_EQ(Script.Calls, (std::vector<std::string>{"IsAppThemed", "IsThemeActive", "Open SCROLLBAR", "Open GLOBALS"}));
  const HTHEME scrollBar = ScrollBarThemeHandle, globals = GlobalsThemeHandle;
  EXPECT_NE(scrollBar, 0u);

  // Several change events of one switch: one close-and-reopen.
  Script.Calls.clear();
  QEvent style(QEvent::StyleChange), palette(QEvent::ApplicationPaletteChange);
  QApplication::sendEvent(qApp, &style);
  QApplication::sendEvent(qApp, &palette);
  SendThemeChange();
  EXPECT_EQ(Script.Calls,
            (std::vector<std::string>{"Close " + std::to_string(scrollBar), "Close " + std::to_string(globals),
                                      "IsAppThemed", "IsThemeActive", "Open SCROLLBAR", "Open GLOBALS"}));
  EXPECT_EQ(Fake.Loads, 2);
  EXPECT_EQ(Fake.Unloads, 1);
  EXPECT_TRUE(ThemesInUse);
  EXPECT_EQ(Script.Open.size(), 2u);

  // The user switches the visual style off: the handles opened while it
  // was on are closed all the same and end at 0.
  Script.AppThemed = 0;
  SendThemeChange();
  EXPECT_FALSE(ThemesInUse);
  EXPECT_EQ(ScrollBarThemeHandle, 0u);
  EXPECT_EQ(GlobalsThemeHandle, 0u);
  EXPECT_TRUE(Script.Open.empty()) << "a handle leaked";
}

TEST_F(ThemesTest, UnloadAndCloseOnNothingDoNothingMore) {
  UnloadThemeLibrary();
  UnloadThemeLibrary();
  EXPECT_EQ(Fake.Unloads, 0);
  ASSERT_TRUE(LoadThemeLibrary());
  Script.Calls.clear();
  CloseThemeHandles();  // no handle open: only unloads
  EXPECT_TRUE(Script.Calls.empty());
  EXPECT_EQ(Fake.Unloads, 1);
  EXPECT_EQ(ThemeLibraryHandle, nullptr);
  // A theme change with nothing loaded or open.
  Script.AppThemed = 0;
  SendThemeChange();
  EXPECT_FALSE(ThemesInUse);
}

TEST(DefaultThemes, HandlesNameTheirClassAndTheCurrentStyle) {
  ASSERT_NE(ThemeNexus(), nullptr) << "made by the toolkit start-up";
  ASSERT_TRUE(ThemesInUse) << "a QApplication exists";
  EXPECT_EQ(ThemeClassName(ScrollBarThemeHandle), "SCROLLBAR");
  EXPECT_EQ(ThemeClassName(GlobalsThemeHandle), "GLOBALS");
  EXPECT_EQ(ThemeStyle(GlobalsThemeHandle), QApplication::style());
  EXPECT_EQ(DrawThemeBackground(GlobalsThemeHandle, nullptr, 1, 1, nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(ThemeClassName(12345), "") << "a foreign handle is not read";

  // A new application style reaches the handles (through the style change
  // its widgets receive).
  QWidget window;
  QStyle* before = QApplication::style();
  QApplication::setStyle(QStyleFactory::create(before->name() == "fusion" ? "Windows" : "Fusion"));
  QApplication::processEvents();
  EXPECT_NE(QApplication::style(), before);
  EXPECT_EQ(ThemeStyle(ScrollBarThemeHandle), QApplication::style());
  EXPECT_EQ(ThemeClassName(ScrollBarThemeHandle), "SCROLLBAR");
}

}  // namespace
}  // namespace velkor
