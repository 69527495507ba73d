// The widget suite runs under one offscreen QApplication (widgets need one,
// not only a QGuiApplication), created before the first test and kept until
// the process ends, as a program's main() would create it before starting
// the raster library's toolkit half.
#include "WidgetTestSupport.h"

#include <QApplication>
#include <QFontDatabase>
#include <QScreen>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "graphics/RasterStartup.h"
#include "graphics_toolkit/RasterToolkitStartup.h"

namespace velkor::test {

namespace {

class WidgetEnvironment : public ::testing::Environment {
 public:
  // The QApplication comes from the shared widget test main.
  void SetUp() override {
    QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    RasterStartup();
    RasterToolkitStartup();
  }
  void TearDown() override {
    RasterToolkitShutdown();
    RasterShutdown();
  }
};

const ::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new WidgetEnvironment);

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

void SaveShot(const QImage& Image, const std::string& Name) {
  const std::filesystem::path dir = VELKOR_GUI_SHOTS_DIR;
  std::filesystem::create_directories(dir);
  ASSERT_TRUE(Image.save(QString::fromStdString((dir / (Name + ".png")).string()), "PNG")) << Name;
}

}  // namespace velkor::test
