// The widget suite runs under one offscreen QApplication (widgets need one,
// not only a QGuiApplication), created before the first test and kept until
// the process ends, as a program's main() would create it before starting
// the raster library's toolkit half.
#include "WidgetTestSupport.h"

#include "GuiTestSupport.h"

#include <QApplication>
#include <QScreen>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <memory>


namespace velkor::test {

namespace {

// The text tests draw with DejaVu Sans whatever fonts the machine has.
const ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TRasterTestEnvironment(kDejaVuSansFile));

}  // namespace

QImage ScreenImage(QWidget& Widget) {
  QWidget* window = Widget.window();
  const QPoint at = Widget.mapTo(window, QPoint(0, 0));
  const QPixmap shot = window->screen()->grabWindow(window->winId(), at.x(), at.y(), Widget.width(), Widget.height());
  return shot.toImage().convertToFormat(QImage::Format_RGB32);
}

void ShowAndActivate(QWidget& Window) {
  Window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
  QApplication::setActiveWindow(&Window);
  Window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Window));
}

void SaveShot(const QImage& Image, const std::string& Name) { SaveShotIn(VELKOR_GUI_SHOTS_DIR, Image, Name); }

}  // namespace velkor::test
