// The toolkit font: sizes at 96 dpi, its logical font, handles set from
// outside, and how a bitmap's font travels and reaches the text outlines.
#include <gtest/gtest.h>

#include "ToolkitTestSupport.h"
#include "graphics/Fonts.h"
#include "graphics/Raster_Backends.h"
#include "graphics/Raster_Containers.h"
#include "graphics/Raster_Paths.h"
#include "toolkit/ToolkitGraphics.h"

namespace velkor::test {
namespace {

TEST(Fonts, PointsAndPixelsAt96Dpi) {
  struct Case {
    int size, height;
  } cases[] = {{8, -11}, {9, -12}, {10, -13}, {11, -15}, {12, -16}, {72, -96}};
  for (const Case& c : cases) {
    TFont font;
    font.SetSize(c.size);
    EXPECT_EQ(font.Height(), c.height) << c.size;
    EXPECT_EQ(font.Size(), c.size) << c.size;
  }
  TFont font;
  EXPECT_EQ(font.Size(), 8) << "the default";
}

TEST(Fonts, TheLogicalFontAndHandlesSetFromOutside) {
  TFont font;
  font.SetName("default");
  font.SetStyle({fsBold, fsUnderline});
  font.SetPitch(fpFixed);
  font.SetOrientation(900);
  const TLogFont lf = MakeLogFont(font, NONANTIALIASED_QUALITY);
  EXPECT_EQ(lf.FaceName, "MS Sans Serif");
  EXPECT_EQ(lf.Weight, FW_BOLD);
  EXPECT_TRUE(lf.Underline);
  EXPECT_FALSE(lf.Italic);
  EXPECT_EQ(lf.PitchAndFamily, FIXED_PITCH);
  EXPECT_EQ(lf.Escapement, 900);
  EXPECT_EQ(lf.OutPrecision, OUT_TT_ONLY_PRECIS);
  EXPECT_EQ(lf.Quality, NONANTIALIASED_QUALITY);

  int changes = 0;
  font.OnChange = [&](TObject*) { ++changes; };
  const HFONT before = font.Handle();
  font.SetColor(clRed);
  EXPECT_EQ(font.Handle(), before) << "the colour is no part of the handle";
  font.SetHandle(std::make_shared<const TLogFont>(lf));
  EXPECT_EQ(font.Handle()->Quality, NONANTIALIASED_QUALITY) << "kept as given";
  EXPECT_EQ(font.Name(), "MS Sans Serif");
  font.SetSize(20);
  EXPECT_EQ(font.Handle()->Quality, DEFAULT_QUALITY) << "a change makes a new one";
  EXPECT_EQ(changes, 3);
}

TEST(Fonts, ABitmapsFontTravelsWithItsSettings) {
  auto a = MakeTextBitmap(4, 4, 0, 15, clRed);
  auto b = New<TBitmap32>();
  b->Assign(a.get());
  EXPECT_EQ(b->Font()->Size(), 15);
  EXPECT_EQ(b->Font()->Color(), clRed);
  EXPECT_EQ(b->Font()->Name(), kTestFace);
}

TEST(Fonts, TextOutlinesUseTheBitmapsFont) {
  auto bmp = MakeTextBitmap(4, 4, 0, 20);
  auto* outlines = BackendInterface<ITextToPathSupport>(bmp->Backend());
  ASSERT_NE(outlines, nullptr);
  Raster_Paths::TFlattenedPath path;
  outlines->TextToPath(&path, 0, 0, "HI");
  ASSERT_FALSE(path.Path().empty());
  float top = 1e9f, bottom = -1e9f;
  for (const auto& polygon : path.Path()) {
    for (const TFloatPoint& p : polygon) top = std::min(top, p.Y), bottom = std::max(bottom, p.Y);
  }
  // Capitals of a 20-point (27 px) font stand about 19 px high.
  EXPECT_NEAR(bottom - top, 19, 3);
}

// A paint box of fixed viewport.
class Viewport : public IPaintBoxViewport {
 public:
  TRect GetViewportRect() const override { return {0, 0, 3, 2}; }
};

TEST(PaintSupport, CopiesTheInvalidRectanglesOrTheViewport) {
  auto buffer = New<TBitmap32>();
  buffer->SetSize(4, 4);
  buffer->Clear(0x80FF0000u);
  auto* paint = BackendInterface<IPaintSupport>(buffer->Backend());
  ASSERT_NE(paint, nullptr);
  Viewport viewport;

  TBitmap target;
  target.SetSize(4, 4);
  Raster_Containers::TRectList rects;
  rects.Add({3, 3, 4, 4});
  paint->DoPaint(buffer.get(), &rects, &target.Canvas(), &viewport);
  EXPECT_EQ(target.ScanLine(3)[3], 0x80FF0000u);
  EXPECT_EQ(target.ScanLine(0)[0], 0u) << "only the invalid rectangle";

  rects.Clear();
  paint->DoPaint(buffer.get(), &rects, &target.Canvas(), &viewport);
  EXPECT_EQ(target.ScanLine(1)[2], 0x80FF0000u);
  EXPECT_EQ(target.ScanLine(2)[0], 0u) << "only the viewport";
}

}  // namespace
}  // namespace velkor::test
