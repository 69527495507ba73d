// Text on a TBitmap32 through the toolkit backend: what the platform text
// does to the pixels, measuring with and without a surface, font changes,
// the DrawText flags and anti-aliased text with real alpha.
#include <gtest/gtest.h>

#include <QPainter>

#include <set>
#include <vector>

#include "ToolkitTestSupport.h"
#include "graphics/Fonts.h"
#include "graphics_toolkit/Raster_Backends_Toolkit.h"
#include "toolkit/ToolkitGraphics.h"

namespace velkor::test {
namespace {

constexpr TColor32 kGrey = 0xFF808080u;

TEST(BitmapText, TouchedPixelsLoseTheirAlphaOthersStay) {
  auto bmp = MakeTextBitmap(80, 30, kGrey, 12, clBlack);
  bmp->Textout(4, 4, "Hig");
  int touched = 0, black = 0;
  for (int y = 0; y < bmp->Height(); ++y) {
    for (int x = 0; x < bmp->Width(); ++x) {
      const TColor32 p = bmp->GetPixel(x, y);
      if (p == kGrey) continue;
      ++touched;
      EXPECT_EQ(p >> 24, 0u) << x << "," << y;
      // Moved from grey toward black, never past it.
      EXPECT_LE(p & 0xFF, 0x80u);
      black += (p & 0x00FFFFFFu) == 0;
    }
  }
  EXPECT_GT(touched, 20);
  EXPECT_GT(black, 0) << "fully covered pixels take the font colour";
}

TEST(BitmapText, BaselineLiesAscentBelowY) {
  auto bmp = MakeTextBitmap(60, 40, kGrey, 14, clBlack);
  TTextMetric tm;
  {
    // The ascent of the same font, from a context of its own.
    HDC dc = CreateCompatibleDC(nullptr);
    dc->SelectFont(bmp->Font()->Handle());
    ASSERT_TRUE(GetTextMetricsW(dc, tm));
    DeleteDC(dc);
  }
  bmp->Textout(5, 7, "H");
  const TRect ink = InkBounds(*bmp, kGrey);
  // "H" stands on the baseline: its last row is the one just above it.
  EXPECT_NEAR(ink.Bottom, 7 + tm.tmAscent, 1);
  EXPECT_GE(ink.Top, 7);
}

TEST(BitmapText, ReportsItsAreaAndDrawsNothingWhileMeasuring) {
  auto bmp = MakeTextBitmap(100, 30, kGrey);
  const TSize extent = bmp->TextExtent("Measure");
  std::vector<TRect> areas;
  bmp->BeginMeasuring([&](TPersistent*, const TRect& Area, std::uint32_t Info) {
    EXPECT_EQ(Info, AREAINFO_RECT);
    areas.push_back(Area);
  });
  bmp->Textout(3, 4, "Measure");
  bmp->EndMeasuring();
  EXPECT_EQ(CountDifferent(*bmp, kGrey), 0);
  ASSERT_EQ(areas.size(), 1u);
  EXPECT_EQ(areas[0], (TRect{3, 4, 3 + extent.cx + 1, 4 + extent.cy + 1}));
}

TEST(BitmapText, ExtentWithoutASurfaceEqualsTheOneWithIt) {
  struct Case {
    const char* text;
    int size;
    TFontStyles style;
  } cases[] = {{"Velkor", 8, {}}, {"Bảng điểm", 11, {fsBold}}, {"iiiWWW  ", 20, {fsItalic}}, {"", 9, {}}};
  for (const Case& c : cases) {
    auto sized = MakeTextBitmap(10, 10, 0, c.size);
    auto empty = New<TBitmap32>();
    empty->Font()->Assign(sized->Font());
    sized->Font()->SetStyle(c.style);
    empty->Font()->SetStyle(c.style);
    ASSERT_TRUE(empty->Empty());
    const TSize a = sized->TextExtent(c.text), b = empty->TextExtentW(c.text);
    EXPECT_EQ(a, b) << c.text;
    EXPECT_GT(a.cy, 0) << c.text;
  }
}

TEST(BitmapText, AFontChangedBetweenCallsTakesEffectAtTheNext) {
  auto bmp = MakeTextBitmap(200, 80, kGrey, 8, clBlack);
  bmp->TextoutW(2, 2, "Ag");
  const TRect small = InkBounds(*bmp, kGrey);
  bmp->Clear(kGrey);
  bmp->Font()->SetSize(24);
  bmp->TextoutW(2, 2, "Ag");
  const TRect large = InkBounds(*bmp, kGrey);
  EXPECT_GT(large.Bottom - large.Top, 2 * (small.Bottom - small.Top));
  // A resize gives the bitmap a new context; the font follows it.
  bmp->SetSize(220, 90);
  bmp->Clear(kGrey);
  bmp->TextoutW(2, 2, "Ag");
  EXPECT_EQ(InkBounds(*bmp, kGrey), large);
}

TEST(BitmapText, ClippedOutputStaysInsideItsRectangle) {
  auto bmp = MakeTextBitmap(120, 40, kGrey, 16, clBlack);
  const TRect clip{10, 8, 30, 20};
  bmp->Textout(0, 0, clip, "WWWWWW");
  const TRect ink = InkBounds(*bmp, kGrey);
  EXPECT_GT(CountDifferent(*bmp, kGrey), 0);
  EXPECT_GE(ink.Left, clip.Left);
  EXPECT_GE(ink.Top, clip.Top);
  EXPECT_LE(ink.Right, clip.Right);
  EXPECT_LE(ink.Bottom, clip.Bottom);
  // The bitmap's own clip rectangle limits the plain form.
  bmp->Clear(kGrey);
  bmp->SetClipRect({0, 0, 15, 40});
  bmp->Textout(0, 0, "WWWWWW");
  EXPECT_LE(InkBounds(*bmp, kGrey).Right, 15);
}

TEST(BitmapText, DrawTextFlags) {
  auto bmp = MakeTextBitmap(200, 60, kGrey, 10, clBlack);
  const TSize one = bmp->TextExtent("Centre");

  TRect calc{10, 10, 10, 10};
  bmp->Textout(calc, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX, "Centre");
  EXPECT_EQ(calc, (TRect{10, 10, 10 + one.cx, 10 + one.cy}));
  EXPECT_EQ(CountDifferent(*bmp, kGrey), 0) << "DT_CALCRECT draws nothing";

  TRect box{0, 0, 200, 60};
  bmp->Textout(box, DT_CENTER | DT_VCENTER | DT_SINGLELINE, "Centre");
  TRect ink = InkBounds(*bmp, kGrey);
  EXPECT_NEAR((ink.Left + ink.Right) / 2.0, 100, 3);
  EXPECT_NEAR((ink.Top + ink.Bottom) / 2.0, 30, 4);

  bmp->Clear(kGrey);
  box = {0, 0, 200, 60};
  bmp->Textout(box, DT_RIGHT | DT_BOTTOM | DT_SINGLELINE, "Right");
  ink = InkBounds(*bmp, kGrey);
  EXPECT_NEAR(ink.Right, 200, 3);
  EXPECT_GT(ink.Top, 40);

  // Word breaks wrap into lines; without them the text stays on one.
  TRect wrapped{0, 0, 60, 0}, single{0, 0, 60, 0};
  bmp->Textout(wrapped, DT_CALCRECT | DT_WORDBREAK, "one two three four");
  bmp->Textout(single, DT_CALCRECT | DT_SINGLELINE, "one two three four");
  EXPECT_GE(wrapped.Bottom, 3 * one.cy);
  EXPECT_EQ(single.Bottom, one.cy);
  EXPECT_GT(single.Right, 60);

  // "&" marks a mnemonic unless DT_NOPREFIX.
  TRect prefixed{0, 0, 0, 0}, plain{0, 0, 0, 0};
  bmp->Textout(prefixed, DT_CALCRECT | DT_SINGLELINE, "&File");
  bmp->Textout(plain, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX, "&File");
  EXPECT_EQ(prefixed.Right, bmp->TextWidth("File"));
  EXPECT_EQ(plain.Right, bmp->TextWidth("&File"));

  // An end ellipsis keeps a long line inside the rectangle.
  bmp->Clear(kGrey);
  box = {0, 0, 50, 30};
  bmp->Textout(box, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP, "a rather long caption");
  EXPECT_LE(InkBounds(*bmp, kGrey).Right, 50);
}

constexpr TColor32 kWhite = 0xFFFFFFFFu;
constexpr TColor32 kRed = 0xFFFF0000u;

TEST(BitmapText, RenderTextLevels) {
  auto render = [&](int level, TColor32 color) {
    auto bmp = MakeTextBitmap(160, 40, kWhite, 14);
    bmp->RenderTextW(4, 4, "Raster", level, color);
    return bmp;
  };
  QImage sheet(170, 6 * 40, QImage::Format_ARGB32);
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  for (int level = -1; level <= 4; ++level) {
    auto bmp = render(level, kRed);
    const int changed = CountDifferent(*bmp, kWhite);
    EXPECT_GT(changed, 30) << "level " << level;
    std::set<TColor32> inked;
    for (int y = 0; y < bmp->Height(); ++y) {
      for (int x = 0; x < bmp->Width(); ++x) {
        const TColor32 p = bmp->GetPixel(x, y);
        // Blended red over opaque white: opaque, red kept, the others equal.
        EXPECT_EQ(p >> 24, 0xFFu);
        EXPECT_EQ((p >> 16) & 0xFF, 0xFFu);
        EXPECT_EQ((p >> 8) & 0xFF, p & 0xFF);
        if (p != kWhite) inked.insert(p);
      }
    }
    // Without anti-aliasing every inked pixel is the one full blend.
    if (level == 0) {
      EXPECT_EQ(inked.size(), 1u);
    } else {
      EXPECT_GE(inked.size(), 3u) << "level " << level;
    }
    EXPECT_EQ(bmp->Font()->Handle()->Quality, DEFAULT_QUALITY) << "quality is restored";
    painter.drawImage(0, (level + 1) * 40, ToImage(*bmp));
  }
  painter.end();
  SaveShot(sheet.scaled(sheet.size() * 3), "render_text_levels");

  const auto four = render(4, kRed);
  const auto five = render(5, kRed);
  EXPECT_EQ(ToImage(*four), ToImage(*five)) << "levels above 4 act as 4";
  // Color's alpha is the master alpha: 0 draws nothing.
  EXPECT_EQ(CountDifferent(*render(2, 0x00FF0000u), kWhite), 0);
}

TEST(BitmapText, RenderTextKeepsTheDestinationWhereNoGlyphIs) {
  constexpr TColor32 kClear = 0x00000000u;
  auto bmp = MakeTextBitmap(120, 30, kClear, 12);
  bmp->RenderTextW(2, 2, "a b", 2, 0xFF0000FFu);
  const TRect ink = InkBounds(*bmp, kClear);
  ASSERT_GT(ink.Right, ink.Left);
  EXPECT_EQ(bmp->GetPixel(bmp->Width() - 1, bmp->Height() - 1), kClear);
  // Inked pixels carry real alpha now.
  bool opaque = false;
  for (int x = ink.Left; x < ink.Right; ++x) {
    for (int y = ink.Top; y < ink.Bottom; ++y) opaque |= (bmp->GetPixel(x, y) >> 24) == 0xFF;
  }
  EXPECT_TRUE(opaque);
}

TEST(BitmapText, ShotsOfTextLinesAndBevels) {
  auto bmp = MakeTextBitmap(240, 160, 0xFFF0F0F0u, 10, clBlack);
  bmp->Textout(8, 6, "Textout: alpha 0 where drawn");
  bmp->ResetAlpha(255);
  bmp->RenderTextW(8, 26, "RenderTextW level 3", 3, 0xFF2040C0u);
  for (int i = 0; i <= 8; ++i) {
    bmp->LineAS(10, 60, 10 + i * 12, 150, 0xFF000000u);
    bmp->LineS(130, 60, 130 + i * 12, 150, 0xFFC00000u);
  }
  bmp->FillRectS(200, 60, 236, 96, 0xFFC0C0C0u);
  bmp->RaiseRectTS(200, 60, 236, 96, 60);
  bmp->FillRectS(200, 104, 236, 140, 0xFFC0C0C0u);
  bmp->RaiseRectTS(200, 104, 236, 140, -60);
  SaveShot(ToImage(*bmp), "text_lines_bevels");
  EXPECT_GT(CountDifferent(*bmp, 0xFFF0F0F0u), 500);
}

}  // namespace
}  // namespace velkor::test
