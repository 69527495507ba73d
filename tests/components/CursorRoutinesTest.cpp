// The program's cursors: the lookup every control uses, and the three
// cursors installed from the resources.
#include "components/CursorRoutines.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QPixmap>

#include <filesystem>
#include <fstream>

#include "ComponentsTestSupport.h"

namespace velkor {
namespace {

TEST(CursorRoutinesTest, QtShapesStandInUntilCursorsAreInstalled) {
  struct Case {
    TCursor id;
    Qt::CursorShape shape;
  } cases[] = {
      {crIBeam, Qt::IBeamCursor}, {crSizeWE, Qt::SizeHorCursor}, {crNo, Qt::ForbiddenCursor},
      {crDefault, Qt::ArrowCursor}, {1234, Qt::ArrowCursor},
  };
  for (const Case& c : cases) EXPECT_EQ(CursorOf(c.id).shape(), c.shape) << c.id;
}

TEST(CursorRoutinesTest, LoadsTheThreeCursorsOnce) {
  LoadAppCursors();
  struct Case {
    TCursor id;
    QPoint hotSpot;
  } cases[] = {{crArrow, {2, 0}}, {crHandPoint, {11, 1}}, {crHourGlass, {15, 15}}};

  QImage sheet(3 * 32 * 4 + 2 * 8, 32 * 4, QImage::Format_ARGB32);
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  int left = 0;
  for (const Case& c : cases) {
    const QCursor cursor = CursorOf(c.id);
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor) << c.id;
    EXPECT_EQ(cursor.hotSpot(), c.hotSpot) << c.id;
    EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32)) << c.id;
    // The cursor's own pixels: opaque somewhere, transparent in a corner.
    const QImage image = cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(image.pixel(31, 31)), 0) << c.id;
    EXPECT_GT(qAlpha(image.pixel(c.hotSpot)), 127) << c.id << ": the hot spot is on the drawing";

    // Enlarged on a checkerboard, the hot spot marked in red.
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        painter.fillRect(left + x * 4, y * 4, 4, 4, (x + y) % 2 ? QColor(200, 200, 200) : QColor(240, 240, 240));
    painter.drawImage(QRect(left, 0, 128, 128), image);
    painter.setPen(Qt::red);
    painter.drawRect(left + c.hotSpot.x() * 4, c.hotSpot.y() * 4, 3, 3);
    left += 128 + 8;
  }
  painter.end();
  test::SaveShot(sheet, "cursors");

  // A second call installs nothing again.
  SetCursorOf(crArrow, QCursor(Qt::CrossCursor));
  LoadAppCursors();
  EXPECT_EQ(CursorOf(crArrow).shape(), Qt::CrossCursor);
}

TEST(CursorRoutinesTest, ABrokenResourceKeepsQtsCursor) {
  const std::filesystem::path broken = std::filesystem::temp_directory_path() / "broken.argb";
  std::ofstream(broken, std::ios::binary) << "ARGB True Image File Format.\r\nnot really";
  EXPECT_FALSE(LoadCursorResource(crHelp, QString::fromStdString(broken.string()), 0, 0));
  EXPECT_FALSE(LoadCursorResource(crHelp, ":/velkor/cursors/MISSING.argb", 0, 0));
  EXPECT_EQ(CursorOf(crHelp).shape(), Qt::WhatsThisCursor);
}

}  // namespace
}  // namespace velkor
