// The true image: conversions, notifications, painting onto memory and
// widget contexts, exports, pixel operations and the clipboard.
#include "components/TrueImages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QPainter>
#include <QWidget>

#include <cmath>
#include <limits>

#include "ComponentsTestSupport.h"
#include "components/LowLevel.h"
#include "graphics/Raster_Blend.h"
#include "graphics/Raster_Resamplers.h"

namespace velkor {
namespace {

using test::GradientImage;
using test::SaveShot;

// A memory context with a W x H surface filled with Fill.
struct TMemoryTarget {
  HDC DC = CreateCompatibleDC(nullptr);
  HBITMAP Surface;
  TMemoryTarget(int W, int H, TColor32 Fill) : Surface(CreateDIBSection(W, H)) {
    DC->SelectBitmap(Surface);
    std::fill_n(Surface->Bits, std::size_t(W) * H, Fill);
  }
  ~TMemoryTarget() {
    DC->SelectBitmap(nullptr);
    DeleteDC(DC);
    DeleteObject(Surface);
  }
  TColor32 At(int X, int Y) const { return Surface->Bits[std::ptrdiff_t(Y) * Surface->Width + X]; }
  QImage Image() const {
    return QImage(reinterpret_cast<const uchar*>(Surface->Bits), Surface->Width, Surface->Height,
                  Surface->Width * 4, QImage::Format_ARGB32)
        .copy();
  }
};

TEST(TrueImagesTest, PremultiplyTables) {
  EXPECT_EQ(PremulTable[0][200], 0);
  EXPECT_EQ(PremulTable[255][200], 200);
  EXPECT_EQ(PremulTable[128][255], 128);
  EXPECT_EQ(PremulTable[128][1], 1);  // 0.502 rounds up
  EXPECT_EQ(UnpremulTable[0][77], 0);
  EXPECT_EQ(UnpremulTable[128][128], 255);
  EXPECT_EQ(UnpremulTable[100][200], 255);  // capped
  EXPECT_EQ(UnpremulTable[200][100], 128);  // 127.5 rounds up
  // Un-premultiplying a premultiplied value gives the original back
  // wherever alpha leaves enough precision.
  for (int a = 1; a < 256; ++a)
    for (int v = 0; v < 256; ++v)
      ASSERT_NEAR(UnpremulTable[a][PremulTable[a][v]], v, 255.0 / a / 2 + 1) << "a " << a << " v " << v;
}

TEST(TrueImagesTest, CreatedWithTheSpecifiedBitmap) {
  auto image = New<TTrueImage>();
  EXPECT_TRUE(image->Empty());
  EXPECT_EQ(image->BMP32().DrawMode(), dmBlend);
  EXPECT_EQ(image->BMP32().CombineMode(), cmBlend);
  EXPECT_EQ(image->BMP32().ResamplerClassName(), "TKernelResampler");
  EXPECT_EQ(image->ResampleMode(), rmLinear);
  auto* resampler = dynamic_cast<Raster_Resamplers::TKernelResampler*>(image->BMP32().Resampler());
  ASSERT_NE(resampler, nullptr);
  EXPECT_EQ(resampler->KernelClassName(), "TLinearKernel");
  EXPECT_TRUE(image->SupportsPartialTransparency());
  auto sized = TTrueImage::CreateSize(7, 3);
  EXPECT_EQ(sized->nPixels(), 21);
  EXPECT_EQ(sized->ScanLine(2), sized->PixelPtr(0, 2));
}

TEST(TrueImagesTest, ResamplingModesPickKernels) {
  auto image = New<TTrueImage>();
  auto* resampler = dynamic_cast<Raster_Resamplers::TKernelResampler*>(image->BMP32().Resampler());
  ASSERT_NE(resampler, nullptr);
  const std::pair<TResamplingMode, const char*> table[] = {
      {rmBox, "TBoxKernel"},         {rmCosine, "TCosineKernel"},     {rmSpline, "TSplineKernel"},
      {rmMitchell, "TMitchellKernel"}, {rmCubic, "TCubicKernel"},     {rmHermite, "THermiteKernel"},
      {rmLanczos, "TLanczosKernel"}, {rmGaussian, "TGaussianKernel"}, {rmBlackman, "TBlackmanKernel"},
      {rmHann, "THannKernel"},       {rmHamming, "THammingKernel"},   {rmSinsh, "TSinshKernel"},
      {TResamplingMode(13), "TLinearKernel"}, {rmLinear, "TLinearKernel"}};
  for (const auto& [mode, name] : table) {
    image->SetResampleMode(mode);
    EXPECT_EQ(resampler->KernelClassName(), name) << int(mode);
  }
  image->SetResampleMode(rmSinsh);
  auto* sinsh = dynamic_cast<Raster_Resamplers::TSinshKernel*>(resampler->Kernel());
  ASSERT_NE(sinsh, nullptr);
  EXPECT_EQ(sinsh->Coeff(), 0.0001f);
  sinsh->SetCoeff(0.25f);
  image->SetResampleMode(rmSinsh);  // unchanged: the kernel stays as it is
  EXPECT_EQ(resampler->Kernel(), sinsh);
  EXPECT_EQ(sinsh->Coeff(), 0.25f);
}

TEST(TrueImagesTest, AssignNotifiesOnceAndHandlesEverySource) {
  auto source = GradientImage(4, 3, 128);
  source->SetMasterAlpha(90);
  source->SetResampleMode(rmHermite);
  auto image = GradientImage(2, 2);
  int changes = 0;
  image->OnChange = [&](TObject*) { ++changes; };

  image->Assign(source.get());
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(image->Equals(source.get()));
  EXPECT_EQ(image->MasterAlpha(), 90);
  EXPECT_EQ(image->ResampleMode(), rmHermite);

  // An unsupported source: pixels and size stay, master alpha becomes 255.
  TCanvas canvas;
  changes = 0;
  image->Assign(&canvas);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(image->Equals(source.get()));
  EXPECT_EQ(image->MasterAlpha(), 255);

  // A raster bitmap, its master alpha included.
  auto bitmap = New<TBitmap32>();
  bitmap->SetSize(2, 1);
  bitmap->SetPixel(0, 0, 0x11223344u);
  bitmap->SetPixel(1, 0, 0x00FFFFFFu);
  bitmap->SetMasterAlpha(40);
  changes = 0;
  image->Assign(bitmap.get());
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(image->Width(), 2);
  EXPECT_EQ(image->PixelPtr(0, 0)->Value, 0x11223344u);
  EXPECT_EQ(image->PixelPtr(1, 0)->Value, 0x00FFFFFFu);
  EXPECT_EQ(image->MasterAlpha(), 40);

  // A picture without a graphic, then nil: both empty the image.
  image->Assign(source.get());
  TPicture empty;
  image->Assign(&empty);
  EXPECT_TRUE(image->Empty());
  image->Assign(source.get());
  changes = 0;
  image->Assign(nullptr);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(image->Width(), 0);
  EXPECT_EQ(image->Height(), 0);
}

TEST(TrueImagesTest, UpdateBlocksHoldNotifications) {
  auto image = GradientImage(3, 3);
  int changes = 0;
  image->OnChange = [&](TObject*) { ++changes; };
  int changedSlot = 0;
  image->OnChanged = [&](TObject*) { ++changedSlot; };
  image->BeginUpdate();
  image->BeginUpdate();
  image->Clear(TTrueColor(0xFF000000u));
  image->SetMasterAlpha(3);
  image->EndUpdate();
  EXPECT_EQ(changes, 0);
  image->EndUpdate();
  EXPECT_EQ(changes, 1);
  image->EndUpdate();  // unmatched: nothing
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(image->LockChange(), 0);
  image->SetMasterAlpha(4);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(changedSlot, 0);
}

TEST(TrueImagesTest, EqualsComparesPixelsOnly) {
  auto a = GradientImage(5, 5, 100);
  auto b = GradientImage(5, 5, 100);
  b->SetMasterAlpha(10);
  b->SetResampleMode(rmBox);
  EXPECT_TRUE(a->Equals(b.get()));
  b->PixelPtr(4, 4)->set_a(101);
  EXPECT_FALSE(a->Equals(b.get()));
  EXPECT_FALSE(a->Equals(GradientImage(5, 4, 100).get()));
  auto bitmap = a->ExportBitmap();
  EXPECT_FALSE(a->Equals(bitmap.get()));
  EXPECT_FALSE(a->Equals(nullptr));
  EXPECT_TRUE(New<TTrueImage>()->Equals(New<TTrueImage>().get()));
}

TEST(TrueImagesTest, PngAndDibConversions) {
  QImage png(3, 1, QImage::Format_ARGB32);
  png.setPixel(0, 0, 0x00FF8040u);  // transparent: colour discarded
  png.setPixel(1, 0, 0x80FF8040u);
  png.setPixel(2, 0, 0xFF010203u);
  auto image = New<TTrueImage>();
  image->AssignPngImage(png);
  EXPECT_EQ(image->PixelPtr(0, 0)->Value, 0u);
  EXPECT_EQ(image->PixelPtr(1, 0)->Value, 0x80FF8040u);
  EXPECT_EQ(image->PixelPtr(2, 0)->Value, 0xFF010203u);

  // Straight DIB: unchanged, colour under alpha 0 kept.
  image->AssignDIB32(png);
  EXPECT_EQ(image->PixelPtr(0, 0)->Value, 0x00FF8040u);
  // Premultiplied: through the table.
  QImage premul(1, 1, QImage::Format_ARGB32_Premultiplied);
  *reinterpret_cast<TColor32*>(premul.scanLine(0)) = 0x80402010u;
  image->AssignDIB32(premul);
  EXPECT_EQ(image->PixelPtr(0, 0)->Value,
            TTrueColor::FromBGRA(UnpremulTable[128][0x10], UnpremulTable[128][0x20], UnpremulTable[128][0x40], 128)
                .Value);
  // Alpha ignored: opaque.
  QImage rgb(1, 1, QImage::Format_RGB32);
  rgb.setPixel(0, 0, 0x123456u);
  image->AssignDIB32(rgb);
  EXPECT_EQ(image->PixelPtr(0, 0)->Value, 0xFF123456u);

  // A toolkit bitmap of 32 bits goes the DIB way, one of 24 bits is opaque.
  auto source = GradientImage(4, 4, 60);
  auto bitmap = source->ExportBitmap();
  EXPECT_EQ(bitmap->AlphaFormat(), afDefined);
  image->Assign(bitmap.get());
  EXPECT_TRUE(image->Equals(source.get()));
  bitmap->SetPixelFormat(pf24bit);
  image->Assign(bitmap.get());
  EXPECT_EQ(image->PixelPtr(1, 1)->a(), 255);
  EXPECT_EQ(image->PixelPtr(1, 1)->r(), source->PixelPtr(1, 1)->r());
}

TEST(TrueImagesTest, PremultipliedExportRoundTrips) {
  auto image = GradientImage(16, 16, 0);
  for (int i = 0; i < image->nPixels(); ++i) image->Bits()[i].set_a(std::uint8_t(i));
  image->SetMasterAlpha(255);
  auto premul = image->ExportBitmapPremul();
  ASSERT_EQ(premul->AlphaFormat(), afPremultiplied);
  const TTrueColor p(premul->ScanLine(3)[5]);
  const TTrueColor s = *image->PixelPtr(5, 3);
  EXPECT_EQ(p.a(), s.a());
  EXPECT_EQ(p.r(), PremulTable[s.a()][s.r()]);

  auto back = New<TTrueImage>();
  back->Assign(premul.get());
  for (int i = 0; i < image->nPixels(); ++i) {
    const TTrueColor o = image->Bits()[i], r = back->Bits()[i];
    ASSERT_EQ(r.a(), o.a());
    if (o.a() == 0) {
      ASSERT_EQ(r.Value, 0u) << i;
    } else {
      ASSERT_NEAR(r.r(), o.r(), 255.0 / o.a()) << i;
      ASSERT_NEAR(r.g(), o.g(), 255.0 / o.a()) << i;
    }
  }
  // The master alpha scales the exported alpha first.
  image->SetMasterAlpha(128);
  const TTrueColor half(image->ExportBitmapPremul()->ScanLine(15)[15]);
  EXPECT_EQ(half.a(), PremulTable[128][255]);
}

TEST(TrueImagesTest, PaintToMemoryContext) {
  auto image = GradientImage(8, 6, 160);
  image->SetMasterAlpha(200);
  const TRect src{0, 0, 8, 6};
  {  // Opacity 0 changes nothing.
    TMemoryTarget target(10, 10, 0xFF336699u);
    image->PaintTo(target.DC, {1, 1, 9, 7}, src, 0, false);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x) ASSERT_EQ(target.At(x, y), 0xFF336699u);
  }
  {  // Opaque at the same size: an exact copy, alpha and master alpha ignored.
    TMemoryTarget target(10, 10, 0xFF336699u);
    image->PaintTo(target.DC, {2, 3, 10, 9}, src, 17, true);
    EXPECT_EQ(target.At(2, 3), image->PixelPtr(0, 0)->Value);
    EXPECT_EQ(target.At(9, 8), image->PixelPtr(7, 5)->Value);
    EXPECT_EQ(target.At(1, 3), 0xFF336699u);
  }
  {  // Blended at opacity 128: the effective master alpha is 200 * 128 / 255.
    TMemoryTarget target(8, 6, 0xFF336699u);
    int changes = 0;
    image->OnChange = [&](TObject*) { ++changes; };
    image->PaintTo(target.DC, {0, 0, 8, 6}, src, 128, false);
    EXPECT_EQ(changes, 0);  // painting never notifies
    EXPECT_EQ(image->MasterAlpha(), 200);
    const int m = LowLevel::MulDivRounded(200, 128, 255);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x)
        ASSERT_EQ(target.At(x, y), Raster_Blend::BlendColorMasked(image->PixelPtr(x, y)->Value, 0xFF336699u, m))
            << x << "," << y;
  }
  {  // Partly outside the surface: the overlap only, rows and columns aligned.
    TMemoryTarget target(5, 4, 0xFF336699u);
    image->PaintTo(target.DC, {-2, -1, 6, 5}, src, 255, false);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x)
        ASSERT_EQ(target.At(x, y), Raster_Blend::BlendColorMasked(image->PixelPtr(x + 2, y + 1)->Value, 0xFF336699u, 200))
            << x << "," << y;
    // A source rectangle reaching past the image blends only what exists.
    TMemoryTarget wide(12, 8, 0xFF000000u);
    image->PaintTo(wide.DC, {0, 0, 12, 8}, {0, 0, 12, 8}, 255, false);
    EXPECT_EQ(wide.At(9, 2), 0xFF000000u);
    EXPECT_EQ(wide.At(2, 7), 0xFF000000u);
    EXPECT_NE(wide.At(7, 5), 0xFF000000u);
  }
  {  // Empty or inverted rectangles draw nothing.
    TMemoryTarget target(4, 4, 0xFF000000u);
    image->PaintTo(target.DC, {0, 0, 0, 4}, src, 255, true);
    image->PaintTo(target.DC, {0, 0, 4, 4}, {3, 3, 1, 1}, 255, true);
    image->PaintTo(nullptr, {0, 0, 4, 4}, src, 255, true);
    EXPECT_EQ(target.At(0, 0), 0xFF000000u);
  }
}

TEST(TrueImagesTest, PaintToStretchesAndShowsTheResult) {
  // A 16 x 16 badge with a soft edge, drawn at 1x, 3x and at half opacity
  // over a checkerboard.
  auto badge = TTrueImage::CreateSize(16, 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const double d = std::hypot(x - 7.5, y - 7.5);
      const auto a = std::uint8_t(std::clamp(255.0 * (8.0 - d), 0.0, 255.0));
      *badge->PixelPtr(x, y) = TTrueColor::FromBGRA(std::uint8_t(40 + 10 * y), 120, std::uint8_t(230 - 8 * x), a);
    }
  }
  badge->SetResampleMode(rmLanczos);
  auto checker = [](int x, int y) { return ((x / 8 + y / 8) % 2) ? 0xFFDDDDDDu : 0xFF999999u; };
  TMemoryTarget target(120, 56, 0);
  for (int y = 0; y < 56; ++y)
    for (int x = 0; x < 120; ++x) target.Surface->Bits[y * 120 + x] = checker(x, y);
  const TRect all{0, 0, 16, 16};
  badge->PaintTo(target.DC, {4, 4, 20, 20}, all, 255, false);
  badge->PaintTo(target.DC, {24, 4, 72, 52}, all, 255, false);
  badge->PaintTo(target.DC, {76, 4, 92, 20}, all, 128, false);
  badge->PaintTo(target.DC, {96, 4, 112, 20}, all, 255, true);
  // Centre of the 3x copy: the opaque middle of the badge.
  const TTrueColor mid(target.At(48, 28));
  EXPECT_EQ(mid.a(), 255);
  EXPECT_NEAR(mid.g(), 120, 2);
  // Corner of the 3x copy: transparent there, the checkerboard shows.
  EXPECT_EQ(target.At(24, 4), checker(24, 4));
  SaveShot(target.Image(), "true-image-paint");
}

TEST(TrueImagesTest, ResamplingModesShapeTheStretch) {
  // A 6 x 6 checker of red and blue enlarged 8 times in each mode.
  auto tile = TTrueImage::CreateSize(6, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) *tile->PixelPtr(x, y) = TTrueColor((x + y) % 2 ? 0xFFFF0000u : 0xFF0000FFu);
  const TResamplingMode modes[] = {rmBox, rmLinear, rmCubic, rmLanczos, rmGaussian, rmSinsh};
  TMemoryTarget target(6 * 52, 48, 0xFFFFFFFFu);
  for (int i = 0; i < 6; ++i) {
    tile->SetResampleMode(modes[i]);
    tile->PaintTo(target.DC, {i * 52, 0, i * 52 + 48, 48}, {0, 0, 6, 6}, 255, true);
  }
  SaveShot(target.Image(), "true-image-resampling-modes");
  // The box keeps hard edges; the linear kernel mixes across them.
  EXPECT_EQ(target.At(7, 20), 0xFF0000FFu);  // source (0, 2): blue
  EXPECT_EQ(target.At(8, 20), 0xFFFF0000u);  // source (1, 2): red
  const TTrueColor linear(target.At(52 + 8, 20));
  EXPECT_GT(linear.r(), 0);
  EXPECT_GT(linear.b(), 0);
}

TEST(TrueImagesTest, PaintToWidget) {
  auto image = GradientImage(20, 10, 255);
  for (int x = 0; x < 20; ++x) image->PixelPtr(x, 9)->set_a(0);  // last row transparent
  QWidget widget;
  widget.resize(60, 30);
  widget.setAutoFillBackground(false);
  struct TPainted : QWidget {
    TTrueImage* Image = nullptr;
    std::uint8_t Opacity = 255;
    bool Opaque = false;
    void paintEvent(QPaintEvent*) override {
      QPainter p(this);
      p.fillRect(rect(), QColor(0, 0, 255));
      TDeviceContext dc(&p);
      Image->PaintTo(&dc, {0, 0, 20, 10}, {0, 0, 20, 10}, Opacity, Opaque);
      Image->PaintTo(&dc, {30, 0, 50, 10}, {0, 0, 20, 10}, 128, false);
    }
  } painted;
  painted.Image = image.get();
  painted.resize(60, 30);
  painted.Opaque = true;
  const QImage opaque = painted.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  SaveShot(opaque, "true-image-widget");
  // Opaque: a copy ignoring alpha, the transparent row included.
  EXPECT_EQ(opaque.pixel(3, 2), image->PixelPtr(3, 2)->Value | 0xFF000000u);
  EXPECT_EQ(opaque.pixel(3, 9), image->PixelPtr(3, 9)->Value | 0xFF000000u);
  EXPECT_EQ(opaque.pixel(25, 5), 0xFF0000FFu);
  // Blended at 128 over blue.
  const QColor blended = opaque.pixelColor(33, 2);
  const TTrueColor src = *image->PixelPtr(3, 2);
  EXPECT_NEAR(blended.red(), src.r() * 128 / 255, 2);
  EXPECT_NEAR(blended.blue(), src.b() * 128 / 255 + 127, 2);
  // The transparent row leaves the background.
  EXPECT_EQ(opaque.pixel(33, 9), 0xFF0000FFu);
}

TEST(TrueImagesTest, FromHBitmapClipsTheRectangle) {
  QImage bitmap(6, 4, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) *reinterpret_cast<TColor32*>(bitmap.scanLine(y) + 4 * x) = 0x80000000u | (y << 8) | x;
  auto image = New<TTrueImage>();
  int changes = 0;
  image->OnChange = [&](TObject*) { ++changes; };
  image->AssignFromHBitmap(bitmap, {4, 2, 10, 10}, false);
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(image->Width(), 2);
  ASSERT_EQ(image->Height(), 2);
  EXPECT_EQ(image->PixelPtr(0, 0)->Value, 0x80000204u);
  image->AssignFromHBitmap(bitmap, {1, 1, 2, 2}, true);
  EXPECT_EQ(image->PixelPtr(0, 0)->Value,
            TTrueColor::FromBGRA(UnpremulTable[128][1], UnpremulTable[128][1], 0, 128).Value);
  for (const TRect r : {TRect{7, 0, 9, 3}, TRect{2, 2, 2, 3}, TRect{3, 3, 1, 1}}) {
    image->AssignFromHBitmap(bitmap, r, false);
    EXPECT_TRUE(image->Empty());
  }
}

TEST(TrueImagesTest, ExtractClearAndIntensity) {
  auto image = GradientImage(10, 8, 150);
  image->SetMasterAlpha(77);
  image->SetResampleMode(rmCubic);
  auto part = image->Extract({2, 3, 6, 8});
  ASSERT_EQ(part->Width(), 4);
  ASSERT_EQ(part->Height(), 5);
  EXPECT_EQ(part->PixelPtr(0, 0)->Value, image->PixelPtr(2, 3)->Value);
  EXPECT_EQ(part->PixelPtr(3, 4)->Value, image->PixelPtr(5, 7)->Value);
  EXPECT_EQ(part->MasterAlpha(), 77);
  EXPECT_EQ(part->ResampleMode(), rmCubic);

  const QImage png = image->ExportPNG();
  EXPECT_EQ(png.format(), QImage::Format_ARGB32);
  EXPECT_EQ(png.pixel(9, 7), image->PixelPtr(9, 7)->Value);  // master alpha not applied

  TIntensityMap invert;
  for (int i = 0; i < 256; ++i) invert[i] = std::uint8_t(255 - i);
  const TTrueColor before = *image->PixelPtr(4, 4);
  image->ChangeIntensity(invert);
  const TTrueColor after = *image->PixelPtr(4, 4);
  EXPECT_EQ(after.r(), 255 - before.r());
  EXPECT_EQ(after.b(), 255 - before.b());
  EXPECT_EQ(after.a(), before.a());

  image->Clear(TTrueColor(0x7F010203u));
  for (int i = 0; i < image->nPixels(); ++i) ASSERT_EQ(image->Bits()[i].Value, 0x7F010203u);
}

TEST(TrueImagesTest, GammaBrightnessContrast) {
  auto ramp = TTrueImage::CreateSize(256, 1);
  auto reset = [&] {
    for (int i = 0; i < 256; ++i) *ramp->PixelPtr(i, 0) = TTrueColor::FromBGRA(std::uint8_t(i), 0, 0, 9);
  };
  auto at = [&](int i) { return int(ramp->PixelPtr(i, 0)->b()); };
  reset();
  ramp->GammaBrightnessContrast(1, 0, 1);  // identity
  for (int i = 0; i < 256; ++i) ASSERT_EQ(at(i), i);
  EXPECT_EQ(ramp->PixelPtr(3, 0)->a(), 9);
  reset();
  ramp->GammaBrightnessContrast(1, 0, 0);  // all mid grey: 127.5 rounds to even
  EXPECT_EQ(at(0), 128);
  EXPECT_EQ(at(255), 128);
  reset();
  ramp->GammaBrightnessContrast(2, 0, 1);
  EXPECT_EQ(at(128), int(std::nearbyint(std::pow(128.0f / 255.0f, 2.0f) * 255.0f)));
  reset();
  ramp->GammaBrightnessContrast(1, 1, 1);  // clamped at white
  EXPECT_EQ(at(0), 255);
  reset();
  ramp->GammaBrightnessContrast(std::numeric_limits<float>::quiet_NaN(), 0, 1);
  EXPECT_EQ(at(200), 0);
}

TEST(TrueImagesTest, ClipboardRoundTrip) {
  auto image = GradientImage(9, 7, 190);
  image->SetMasterAlpha(130);
  image->CopyToClipboard();
  ASSERT_TRUE(Clipboard()->HasFormat(CF_ARGB));
  auto back = New<TTrueImage>();
  back->Assign(Clipboard());
  EXPECT_TRUE(back->Equals(image.get()));
  EXPECT_EQ(back->MasterAlpha(), 130);

  std::uint32_t format = 0;
  std::string data;
  image->SaveToClipboardFormat(format, data);
  EXPECT_EQ(format, 1112u);
  EXPECT_THROW(back->LoadFromClipboardFormat(1113, data), EInvalidGraphic);
  EXPECT_THROW(back->LoadFromClipboardFormat(CF_ARGB, "garbage"), EInvalidImage);
  EXPECT_TRUE(back->Equals(image.get()));

  // Pictures know the format both ways.
  TPicture picture;
  picture.Assign(Clipboard());
  auto* graphic = dynamic_cast<TTrueImage*>(picture.Graphic());
  ASSERT_NE(graphic, nullptr);
  EXPECT_TRUE(graphic->Equals(image.get()));
  auto other = GradientImage(3, 2, 10);
  picture.SetGraphic(std::move(other));
  Clipboard()->Assign(&picture);
  back->Assign(Clipboard());
  EXPECT_TRUE(back->Equals(picture.Graphic()));

  // A clipboard without the format: only the master alpha is reset.
  QApplication::clipboard()->setText("text");
  back->Assign(Clipboard());
  EXPECT_TRUE(back->Equals(picture.Graphic()));
  EXPECT_EQ(back->MasterAlpha(), 255);
}

}  // namespace
}  // namespace velkor
