#include "GuiTestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QFontDatabase>
#include <QTimer>

#include <memory>
#include <utility>

#include "graphics/RasterStartup.h"
#include "graphics_toolkit/RasterToolkitStartup.h"

namespace velkor::test {

TRasterTestEnvironment::TRasterTestEnvironment(std::string FontFile) : FFontFile(std::move(FontFile)) {}

void TRasterTestEnvironment::SetUp() {
  if (!FFontFile.empty()) QFontDatabase::addApplicationFont(QString::fromStdString(FFontFile));
  RasterStartup();
  RasterToolkitStartup();
}

void TRasterTestEnvironment::TearDown() {
  RasterToolkitShutdown();
  RasterShutdown();
}

void SaveShotIn(const std::filesystem::path& Folder, const QImage& Image, const std::string& Name) {
  std::filesystem::create_directories(Folder);
  const std::string file = (Folder / (Name + ".png")).string();
  EXPECT_TRUE(Image.save(QString::fromStdString(file), "PNG")) << file;
}

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
