// The image control: pictures kept as true images, the five placements and
// drawing with alpha over the parent.
#include "components/Images.h"

#include <gtest/gtest.h>

#include <QTest>

#include "ComponentsTestSupport.h"

namespace velkor {
namespace {

using TDrawMode = TVQR_Image::TDrawMode;

// A picture holding a true image W x H.
std::unique_ptr<TPicture> TruePicture(int W, int H, std::uint8_t Alpha = 255) {
  auto picture = std::make_unique<TPicture>();
  picture->SetGraphic(test::GradientImage(W, H, Alpha));
  return picture;
}

TEST(Image, Defaults) {
  TVQR_Image image;
  EXPECT_EQ(image.size(), QSize(32, 32));
  EXPECT_EQ(image.cursor().shape(), Qt::ArrowCursor);
  EXPECT_FALSE(image.autoFillBackground());
  EXPECT_FALSE(image.Opaque());
  EXPECT_EQ(image.DrawMode(), TDrawMode::dmNone);
  EXPECT_EQ(image.TrueImage(), nullptr);
}

TEST(Image, DestinationByMode) {
  struct {
    TDrawMode Mode;
    int PW, PH, W, H;
    TRect Want;
  } cases[] = {
      {TDrawMode::dmScale, 100, 50, 200, 200, {0, 50, 200, 150}},
      {TDrawMode::dmScale, 50, 100, 200, 200, {50, 0, 150, 200}},
      {TDrawMode::dmScale, 3, 7, 10, 10, {3, 0, 7, 10}},  // MulDiv(10, 3, 7) = 4 (4.29)
      {TDrawMode::dmCenter, 40, 40, 31, 31, {-4, -4, 36, 36}},
      {TDrawMode::dmCenter, 10, 10, 31, 31, {10, 10, 20, 20}},
      {TDrawMode::dmStretch, 10, 10, 31, 17, {0, 0, 31, 17}},
      {TDrawMode::dmNone, 10, 12, 31, 17, {0, 0, 10, 12}},
  };
  for (const auto& c : cases) {
    TVQR_Image image;
    image.SetDrawMode(c.Mode);
    image.resize(c.W, c.H);
    auto picture = TruePicture(c.PW, c.PH);
    image.SetPicture(picture.get());
    EXPECT_EQ(image.DestRect(), c.Want) << int(c.Mode) << " " << c.PW << "x" << c.PH << " in " << c.W << "x" << c.H;
  }
}

TEST(Image, AutoSizeTakesThePicturesSize) {
  TVQR_Image image;
  image.SetDrawMode(TDrawMode::dmAutoSize);
  EXPECT_EQ(image.size(), QSize(32, 32)) << "an empty picture keeps the size";
  image.SetDrawMode(TDrawMode::dmNone);
  auto picture = TruePicture(48, 20);
  image.SetPicture(picture.get());
  image.SetDrawMode(TDrawMode::dmAutoSize);
  EXPECT_EQ(image.size(), QSize(48, 20)) << "at once";
  image.SetBounds(5, 6, 100, 100);
  EXPECT_EQ(image.geometry(), QRect(5, 6, 48, 20));
}

TEST(Image, PicturesBecomeTrueImages) {
  TVQR_Image image;
  // A PNG file through the picture's format registry.
  const QString file = QString::fromStdString((std::filesystem::temp_directory_path() / "image_source.png").string());
  QImage png(6, 4, QImage::Format_ARGB32);
  png.fill(QColor(10, 20, 30, 0));
  png.setPixel(1, 1, qRgba(200, 100, 50, 255));
  ASSERT_TRUE(png.save(file));
  TPicture loaded;
  loaded.LoadFromFile(file.toStdString());
  image.SetPicture(&loaded);
  ASSERT_NE(image.TrueImage(), nullptr);
  EXPECT_EQ(image.TrueImage()->Width(), 6);
  EXPECT_EQ(*image.TrueImage()->PixelPtr(1, 1), 0xFFC86432u);

  auto picture = TruePicture(5, 5);
  auto* source = static_cast<TTrueImage*>(picture->Graphic());
  source->SetMasterAlpha(77);
  source->SetResampleMode(rmLanczos);
  image.SetPicture(picture.get());
  ASSERT_NE(image.TrueImage(), nullptr);
  EXPECT_EQ(image.TrueImage()->MasterAlpha(), 77);
  EXPECT_EQ(image.TrueImage()->ResampleMode(), rmLanczos);

  image.SetPicture(nullptr);
  EXPECT_EQ(image.TrueImage(), nullptr);
  TPicture empty;
  image.SetPicture(&empty);
  EXPECT_EQ(image.Picture().Graphic(), nullptr);
  (void)image.grab();  // draws nothing, raises nothing
}

TEST(Image, DrawsWithAlphaOverTheParent) {
  QWidget form;
  form.resize(220, 120);
  form.setStyleSheet("background: #3070b0");
  auto* blended = new TVQR_Image(&form);
  blended->setGeometry(10, 10, 100, 100);
  blended->SetDrawMode(TDrawMode::dmScale);
  auto half = TruePicture(40, 20, 128);
  blended->SetPicture(half.get());
  auto* opaque = new TVQR_Image(&form);
  opaque->setGeometry(110, 10, 100, 100);
  opaque->SetDrawMode(TDrawMode::dmCenter);
  opaque->SetOpaque(true);
  opaque->SetPicture(half.get());
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const QImage seen = form.grab().toImage();
  test::SaveShot(seen, "image_control");
  EXPECT_EQ(seen.pixel(15, 15), QColor("#3070b0").rgb()) << "outside the picture the parent shows";
  // Picture row 2 lands at y = 30 of the control (scaled 2.5 times from
  // y = 25); its first pixel has blue 10 at alpha 128.
  const QRgb mixed = seen.pixel(10, 40);
  EXPECT_NEAR(qBlue(mixed), (0xb0 + 10) / 2, 3) << "blended";
  EXPECT_EQ(seen.pixel(140, 50) & 0xFFFFFF, 0u) << "opaque: the picture's colour as it is";
}

}  // namespace
}  // namespace velkor
