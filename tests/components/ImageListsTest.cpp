// The 32-bit image list: drawing with alpha, disabled images at half
// opacity, and nothing for a missing image.
#include "components/ImageLists.h"

#include <gtest/gtest.h>

#include <QPainter>

#include "ComponentsTestSupport.h"

namespace velkor {
namespace {

QImage WhiteCanvas(int W, int H) {
  QImage canvas(W, H, QImage::Format_ARGB32);
  canvas.fill(Qt::white);
  return canvas;
}

std::unique_ptr<TTrueImage> Filled(int W, int H, TTrueColor Color) {
  auto image = TTrueImage::CreateSize(W, H);
  image->Clear(Color);
  return image;
}

TEST(ImageListTest, StartsAs32BitWithoutMaskOrColours) {
  TVQR_ImageList list(24, 24);
  EXPECT_EQ(list.ColorDepth(), cd32Bit);
  EXPECT_FALSE(list.Masked());
  EXPECT_EQ(list.BkColor(), clNone);
  EXPECT_EQ(list.BlendColor(), clNone);
  EXPECT_FALSE(list.HandleAllocated());
}

TEST(ImageListTest, NothingIsDrawnWithoutStorageOrForABadIndex) {
  TVQR_ImageList list(4, 4);
  QImage canvas = WhiteCanvas(8, 8);
  const QImage before = canvas;
  {
    QPainter painter(&canvas);
    list.DoDraw(0, painter, 0, 0, dsNormal, true);  // no storage yet
    list.Add(*Filled(4, 4, TTrueColor::FromBGRA(0, 0, 0, 255)));
    for (int index : {-1, 1, 1000}) list.DoDraw(index, painter, 0, 0, dsNormal, true);
  }
  EXPECT_EQ(canvas, before);
  EXPECT_EQ(list.Image(1), nullptr);
  EXPECT_TRUE(list.Icon(-1).isNull());
}

TEST(ImageListTest, DrawsWithAlphaAndHalfOpacityWhenDisabled) {
  TVQR_ImageList list(2, 2);
  list.Add(*Filled(2, 2, TTrueColor::FromBGRA(0, 0, 0, 255)));      // opaque black
  list.Add(*Filled(2, 2, TTrueColor::FromBGRA(0, 0, 255, 128)));    // half red
  QImage canvas = WhiteCanvas(6, 2);
  {
    QPainter painter(&canvas);
    list.DoDraw(0, painter, 0, 0, dsNormal, true);
    list.DoDraw(0, painter, 2, 0, dsNormal, false);
    list.DoDraw(1, painter, 4, 0, dsTransparent, true);
  }
  EXPECT_EQ(canvas.pixel(1, 1), qRgb(0, 0, 0));
  const int gray = qRed(canvas.pixel(3, 1));
  EXPECT_TRUE(gray == 127 || gray == 128) << gray;
  EXPECT_EQ(qGreen(canvas.pixel(3, 1)), gray);
  EXPECT_EQ(qRed(canvas.pixel(5, 1)), 255);
  EXPECT_NEAR(qGreen(canvas.pixel(5, 1)), 127, 1);
}

TEST(ImageListTest, AStripAddsOneImagePerCell) {
  TVQR_ImageList list(3, 3);
  auto strip = TTrueImage::CreateSize(8, 2);  // two whole cells and a part
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 2; ++y) *strip->PixelPtr(x, y) = TTrueColor::FromBGRA(std::uint8_t(x), 0, 0, 255);
  EXPECT_EQ(list.Add(*strip), 0);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Image(1)->PixelPtr(0, 0)->b(), 3);
  EXPECT_EQ(list.Image(2)->PixelPtr(1, 1)->b(), 7);
  EXPECT_EQ(list.Image(2)->PixelPtr(2, 0)->Value, 0u) << "beyond the strip: transparent";
  EXPECT_EQ(list.Image(0)->PixelPtr(0, 2)->Value, 0u) << "below the strip: transparent";
  EXPECT_EQ(list.Add(TTrueImage()), -1);

  list.SetWidth(4);  // a new size empties the list
  EXPECT_EQ(list.Count(), 0);
}

TEST(ImageListTest, PictureOfTheListEnabledAndDisabled) {
  TVQR_ImageList list(24, 24);
  list.Add(*test::GradientImage(24, 24));
  list.Add(*test::GradientImage(24, 24, 128));
  list.Add(*Filled(24, 24, TTrueColor::FromBGRA(40, 140, 220, 255)));
  const QIcon icon = list.Icon(0);
  EXPECT_EQ(icon.pixmap(24, 24).toImage().convertToFormat(QImage::Format_ARGB32).pixel(5, 7),
            list.Image(0)->ExportPNG().pixel(5, 7));

  QImage shot(3 * 28 + 4, 2 * 28 + 4, QImage::Format_ARGB32);
  shot.fill(Qt::white);
  QPainter painter(&shot);
  for (int i = 0; i < list.Count(); ++i) {
    list.DoDraw(i, painter, 4 + i * 28, 4, dsNormal, true);
    list.DoDraw(i, painter, 4 + i * 28, 32, dsNormal, false);
  }
  painter.end();
  test::SaveShot(shot, "image-list");
}

}  // namespace
}  // namespace velkor
