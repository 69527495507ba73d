// The bitmap's runs and lines: clipping, tie rules, reports, anti-aliasing
// and the stipple pattern.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "BitmapTestSupport.h"
#include "graphics/Raster_Blend.h"

namespace velkor::test {
namespace {

constexpr TColor32 kBlack = 0xFF000000u, kWhite = 0xFFFFFFFFu, kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu;

// The midpoint line the clipped forms follow, written independently: ties
// (|dx| = |dy|) go the x-major way, the error starts at 2 minor - major and
// a zero error steps the minor axis.
TPixelSet MidpointLine(int X1, int Y1, int X2, int Y2, bool L) {
  const long long dx = (long long)X2 - X1, dy = (long long)Y2 - Y1;
  const int sx = dx > 0 ? 1 : -1, sy = dy > 0 ? 1 : -1;
  const long long adx = std::llabs(dx), ady = std::llabs(dy);
  const bool xMajor = adx >= ady;
  const long long major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
  long long e = 2 * minor - major, x = X1, y = Y1;
  TPixelSet out;
  for (long long i = 0; i < major + (L ? 1 : 0); ++i) {
    out.insert({int(x), int(y)});
    if (xMajor) x += sx; else y += sy;
    if (e >= 0) {
      if (xMajor) y += sy; else x += sx;
      e -= 2 * major - 2 * minor;
    } else {
      e += 2 * minor;
    }
  }
  return out;
}

TPixelSet Inside(const TPixelSet& S, const TRect& R) {
  TPixelSet out;
  for (auto [x, y] : S)
    if (x >= R.Left && x < R.Right && y >= R.Top && y < R.Bottom) out.insert({x, y});
  return out;
}

struct TLine {
  int x1, y1, x2, y2;
};

// Random segments around a 40 x 30 bitmap, with fixed ones that hit the
// corners, run along the edges and are exact diagonals.
std::vector<TLine> SampleLines(int Count, int Lo, int Hi) {
  std::vector<TLine> lines = {{-100, -50, 100, 50}, {-10, -10, 50, 50}, {39, 0, 0, 29},  {5, 4, 34, 25},
                              {0, 29, 39, 0},       {-3, 26, 45, 3},    {20, -40, 21, 80}, {-40, 15, 80, 16},
                              {4, 3, 35, 26},       {35, 26, 4, 3},     {-1000000, -1, 1000000, 1}};
  std::mt19937 gen(15);
  std::uniform_int_distribution<int> coord(Lo, Hi);
  for (int i = 0; i < Count; ++i) lines.push_back({coord(gen), coord(gen), coord(gen), coord(gen)});
  return lines;
}

TEST_F(BitmapTest, ClippedLinesDrawExactlyTheUnclippedPixelsInside) {
  const TRect clip{5, 4, 35, 26};
  for (const TLine& l : SampleLines(400, -60, 100)) {
    if (l.x1 == l.x2 || l.y1 == l.y2) continue;
    for (bool L : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "(" << l.x1 << ", " << l.y1 << ")-(" << l.x2 << ", " << l.y2 << ") L=" << L);
      auto b = MakeBitmap(40, 30);
      b->SetClipRect(clip);
      TReports r;
      r.Attach(*b);
      b->LineS(l.x1, l.y1, l.x2, l.y2, kWhite, L);
      const TPixelSet expected = Inside(MidpointLine(l.x1, l.y1, l.x2, l.y2, L), clip);
      EXPECT_EQ(SetOf(ChangedPixels(*b, kBlack)), expected);
      // A line with no visible pixel reports nothing; a visible one its ends.
      if (expected.empty()) {
        EXPECT_TRUE(r.Areas.empty());
      } else {
        ASSERT_EQ(r.Areas.size(), 1u);
        EXPECT_EQ(r.Areas[0].first, (TRect{l.x1, l.y1, l.x2, l.y2}));
        EXPECT_EQ(r.Areas[0].second, AREAINFO_LINE + 2);
      }
    }
  }
}

TEST_F(BitmapTest, UnclippedLineOnALargerBitmapMatchesTheClippedOne) {
  // The same line, once clipped on a small bitmap and once wholly inside a
  // larger one (offset by 100): identical pixels and weights inside the
  // clip rectangle, for the stored, blended and anti-aliased forms.
  const TRect clip{5, 4, 35, 26};
  const TColor32 colour = 0xA0FFC040u;
  for (const TLine& l : SampleLines(300, -60, 100)) {
    SCOPED_TRACE(::testing::Message() << "(" << l.x1 << ", " << l.y1 << ")-(" << l.x2 << ", " << l.y2 << ")");
    if (std::abs(l.x1) > 1000) continue;
    for (int form = 0; form < 3; ++form) {
      auto small = MakeBitmap(40, 30);
      small->SetClipRect(clip);
      auto large = MakeBitmap(300, 300);
      auto draw = [&](TCustomBitmap32& b, int o) {
        if (form == 0) b.LineS(l.x1 + o, l.y1 + o, l.x2 + o, l.y2 + o, colour, true);
        if (form == 1) b.LineTS(l.x1 + o, l.y1 + o, l.x2 + o, l.y2 + o, colour, true);
        if (form == 2) b.LineAS(l.x1 + o, l.y1 + o, l.x2 + o, l.y2 + o, colour, true);
      };
      draw(*small, 0);
      draw(*large, 100);
      EXPECT_TRUE(SamePixels(*small, *large, clip, 100, 100)) << "form " << form;
      for (const TPoint& p : ChangedPixels(*small, kBlack)) {
        EXPECT_TRUE(p.X >= clip.Left && p.X < clip.Right && p.Y >= clip.Top && p.Y < clip.Bottom)
            << "form " << form << " touched " << p;
      }
    }
  }
}

TEST_F(BitmapTest, LinesFarOutsideCostNothingAndReportNothing) {
  struct Case {
    TLine l;
    const char* why;
  } cases[] = {
      {{-50, -5, -1, 20}, "left of the bitmap"},
      {{10, 31, 30, 90}, "below"},
      {{-40, 10, 10, -40}, "crossing the corner's outside"},
      {{-2000000000, -1000000000, -1900000000, 1000000000}, "far away, steep"},
      {{41, -2000000000, 60, 2000000000}, "far away, right"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    auto b = MakeBitmap(40, 30);
    TReports r;
    r.Attach(*b);
    b->LineS(c.l.x1, c.l.y1, c.l.x2, c.l.y2, kWhite, true);
    b->LineTS(c.l.x1, c.l.y1, c.l.x2, c.l.y2, kWhite, true);
    b->LineAS(c.l.x1, c.l.y1, c.l.x2, c.l.y2, kWhite, true);
    EXPECT_TRUE(ChangedPixels(*b, kBlack).empty());
    EXPECT_TRUE(r.Areas.empty());
    EXPECT_EQ(r.Changes, 0);
  }
}

TEST_F(BitmapTest, LinesBetweenTheEndsOfTheIntRangeClipExactly) {
  // Far too long to draw unclipped: each visible pixel is checked against
  // the midpoint rule directly, y = Y1 + floor((2 k dy + dx) / 2 dx) after
  // k steps (an exact half rounds up), computed in 128 bits.
  struct Case {
    TLine l;
  } cases[] = {{{-2000000000, -1500000000, 2000000000, 1500000000}},
               {{-2000000000, -1999999990, 2000000000, 2000000020}},
               {{2147483647, 15, -2147483647, 14}}};
  for (const Case& c : cases) {
    auto b = MakeBitmap(40, 30);
    b->LineS(c.l.x1, c.l.y1, c.l.x2, c.l.y2, kWhite);
    const std::vector<TPoint> drawn = ChangedPixels(*b, kBlack);
    ASSERT_FALSE(drawn.empty()) << c.l.x1;
    const __int128 dx = (__int128)c.l.x2 - c.l.x1, dy = (__int128)c.l.y2 - c.l.y1;
    const int sx = dx > 0 ? 1 : -1, sy = dy > 0 ? 1 : -1;
    const __int128 adx = dx * sx, ady = dy * sy;
    std::set<int> columns;
    for (const TPoint& p : drawn) {
      const __int128 k = ((__int128)p.X - c.l.x1) * sx;
      const __int128 expectY = c.l.y1 + sy * ((2 * k * ady + adx) / (2 * adx));
      EXPECT_EQ((long long)expectY, p.Y) << p;
      columns.insert(p.X);
    }
    EXPECT_EQ(columns.size(), drawn.size()) << "one pixel per column";
    EXPECT_EQ(int(columns.size()), *columns.rbegin() - *columns.begin() + 1) << "no gap";
  }
  auto b = MakeBitmap(40, 30);
  b->LineAS(-2000000000, -1500000000, 2000000000, 1500000000, kWhite);
  EXPECT_FALSE(ChangedPixels(*b, kBlack).empty());
}

TEST_F(BitmapTest, AxisAlignedClippedLinesUseTheRunsAndReportTheBitmap) {
  auto b = MakeBitmap(20, 20);
  TReports r;
  r.Attach(*b);
  b->LineS(0, 0, 10, 0, kWhite, false);
  TPixelSet row;
  for (int x = 0; x <= 9; ++x) row.insert({x, 0});
  EXPECT_EQ(SetOf(ChangedPixels(*b, kBlack)), row);
  const std::vector<std::pair<TRect, std::uint32_t>> expected = {{{0, 0, 9, 1}, AREAINFO_RECT},
                                                                  {{0, 0, 20, 20}, AREAINFO_RECT}};
  EXPECT_EQ(r.Areas, expected);

  // A run given backwards draws the same pixels; at the clip bottom nothing.
  auto fwd = MakeBitmap(20, 20), back = MakeBitmap(20, 20);
  fwd->HorzLineS(-5, 3, 12, kWhite);
  back->HorzLineS(12, 3, -5, kWhite);
  EXPECT_EQ(RowsOf(*fwd), RowsOf(*back));
  fwd->SetClipRect({0, 0, 20, 10});
  r.Attach(*fwd);
  r.Clear();
  fwd->HorzLineS(0, 10, 5, kRed);
  fwd->VertLineS(20, 0, 5, kRed);
  EXPECT_EQ(RowsOf(*fwd), RowsOf(*back));
  EXPECT_TRUE(r.Areas.empty());
}

TEST_F(BitmapTest, BresenhamStartsItsErrorAtHalfTheMajorLength) {
  struct Case {
    TLine l;
    bool L;
    std::vector<TPoint> pixels;
  } cases[] = {
      {{0, 0, 4, 1}, true, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}}},
      {{0, 0, 4, 1}, false, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
      {{0, 0, 0, 3}, false, {{0, 0}, {0, 1}, {0, 2}}},
      {{3, 3, 0, 0}, true, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
      {{2, 0, 0, 3}, true, {{2, 0}, {1, 1}, {1, 2}, {0, 3}}},
  };
  for (const Case& c : cases) {
    auto b = MakeBitmap(6, 6);
    TReports r;
    r.Attach(*b);
    b->Line(c.l.x1, c.l.y1, c.l.x2, c.l.y2, kWhite, c.L);
    EXPECT_EQ(SetOf(ChangedPixels(*b, kBlack)), SetOf(c.pixels)) << c.l.x2 << "," << c.l.y2;
    ASSERT_EQ(r.Areas.size(), 1u);
    EXPECT_EQ(r.Areas[0].second, AREAINFO_LINE + 2);
  }
}

TEST_F(BitmapTest, WuLines) {
  // On an axis the anti-aliased line is the blended one.
  auto a = MakeBitmap(12, 6), t = MakeBitmap(12, 6);
  a->LineA(1, 2, 10, 2, 0x80FF8000u, true);
  t->LineT(1, 2, 10, 2, 0x80FF8000u, true);
  EXPECT_EQ(RowsOf(*a), RowsOf(*t));

  // A 45-degree line steps both axes every pixel at full weight.
  auto d = MakeBitmap(8, 8);
  d->LineA(0, 0, 5, 5, kWhite, true);
  std::vector<TPoint> diagonal;
  for (int i = 0; i <= 5; ++i) diagonal.push_back({i, i});
  EXPECT_EQ(ChangedPixels(*d, kBlack), diagonal);
  EXPECT_GE(d->GetPixel(3, 3) & 0xFF, 0xFEu);

  // The clipped form agrees with the plain stepping loop of LineA wherever
  // both draw: they differ only at the start pixel, which LineA blends
  // with the plain routine before its loop.
  std::mt19937 gen(8);
  std::uniform_int_distribution<int> coord(2, 37);
  for (int i = 0; i < 200; ++i) {
    const int x1 = coord(gen), y1 = coord(gen), x2 = coord(gen), y2 = coord(gen);
    if (x1 == x2 || y1 == y2 || std::abs(x2 - x1) == std::abs(y2 - y1)) continue;
    for (bool L : {false, true}) {
      auto plain = MakeBitmap(40, 40), clipped = MakeBitmap(40, 40);
      plain->LineA(x1, y1, x2, y2, 0xC0FF8040u, L);
      clipped->LineAS(x1, y1, x2, y2, 0xC0FF8040u, L);
      plain->SetPixel(x1, y1, kBlack);
      clipped->SetPixel(x1, y1, kBlack);
      EXPECT_TRUE(SamePixels(*plain, *clipped, plain->BoundsRect()))
          << "(" << x1 << ", " << y1 << ")-(" << x2 << ", " << y2 << ") L=" << L;
    }
  }

  // Entering through the top edge beyond the right edge: only the lower
  // halves of the straddling pairs, reported as a change of the bitmap.
  auto top = MakeBitmap(10, 10);
  TReports r;
  r.Attach(*top);
  top->LineAS(0, -1, 40, 0, kWhite);
  for (const TPoint& p : ChangedPixels(*top, kBlack)) EXPECT_EQ(p.Y, 0) << p;
  EXPECT_NE(top->GetPixel(9, 0), kBlack);
  ASSERT_EQ(r.Areas.size(), 1u);
  EXPECT_EQ(r.Areas[0], std::make_pair(TRect{0, 0, 10, 10}, AREAINFO_RECT));

  // A shallow line's pixel pairs share the weight: each column's two
  // pixels together carry about the full colour.
  auto s = MakeBitmap(20, 6);
  s->LineAS(0, 1, 16, 4, kWhite, false);
  for (int x = 1; x < 16; ++x) {
    int sum = 0;
    for (int y = 0; y < 6; ++y) sum += int(s->GetPixel(x, y) & 0xFF);
    EXPECT_GE(sum, 160) << "column " << x;
    EXPECT_LE(sum, 300) << "column " << x;
  }
  EXPECT_GE(s->GetPixel(0, 1) & 0xFF, 0xFEu) << "the first pixel at full weight";
  EXPECT_EQ(s->GetPixel(16, 4), kBlack) << "end point excluded without L";
}

TEST_F(BitmapTest, SubPixelRunsStayInsideTheClipRectangle) {
  auto b = MakeBitmap(10, 3);
  b->SetClipRect({0, 0, 6, 3});
  b->HorzLineXS(98304, 81920, 9 * 65536, kWhite);  // 1.5 .. 9.0 at row 1.25
  b->HorzLineXS(20 * 65536, 0, -5 * 65536, kWhite);
  for (const TPoint& p : ChangedPixels(*b, kBlack)) EXPECT_LT(p.X, 6) << p;
  EXPECT_NE(b->GetPixel(4, 1), kBlack);

  // The report spans the row the run lies on (an exact half rounds down).
  TReports r;
  r.Attach(*b);
  b->HorzLineXS(98304, 2 * 65536, 5 * 65536, kWhite);
  ASSERT_FALSE(r.Areas.empty());
  EXPECT_EQ(r.Areas.back().first, (TRect{1, 2, 5, 3}));

  auto v = MakeBitmap(3, 10);
  v->SetClipRect({0, 2, 3, 8});
  v->VertLineXS(65536, -3 * 65536, 40 * 65536, kWhite);
  for (const TPoint& p : ChangedPixels(*v, kBlack)) EXPECT_TRUE(p.Y >= 2 && p.Y < 8) << p;
}

TEST_F(BitmapTest, SubPixelLines) {
  // A zero-length segment with its end point is one point.
  auto b = MakeBitmap(6, 6);
  b->LineX(2 * 65536, 2 * 65536, 2 * 65536, 2 * 65536, kWhite, true);
  b->LineXS(2 * 65536, 2 * 65536, 2 * 65536, 2 * 65536, kWhite, true);
  EXPECT_EQ(b->GetPixel(2, 2) & 0xFF, 0xFFu);

  // The clipped form never leaves the clip rectangle, whatever the ends.
  std::mt19937 gen(3);
  std::uniform_int_distribution<int> coord(-20 * 65536, 40 * 65536);
  for (int i = 0; i < 300; ++i) {
    auto c = MakeBitmap(20, 16);
    c->SetClipRect({2, 3, 17, 12});
    c->LineXS(coord(gen), coord(gen), coord(gen), coord(gen), kWhite, true);
    c->LineFS(-3.5f, 4.25f, 30.75f, 9.5f, kWhite, true);
    for (const TPoint& p : ChangedPixels(*c, kBlack)) {
      ASSERT_TRUE(p.X >= 2 && p.X < 17 && p.Y >= 3 && p.Y < 12) << p;
    }
  }

  // Inside, the line covers every column it crosses.
  auto d = MakeBitmap(20, 8);
  d->LineFS(2.0f, 3.0f, 15.0f, 4.0f, kWhite, true);
  for (int x = 3; x <= 14; ++x) {
    int sum = 0;
    for (int y = 0; y < 8; ++y) sum += int(d->GetPixel(x, y) & 0xFF);
    EXPECT_GT(sum, 100) << "column " << x;
  }
}

TEST_F(BitmapTest, StipplePattern) {
  auto b = MakeBitmap(4, 4);
  b->SetStipple({kRed, kBlue});
  b->SetStippleStep(0.5f);
  EXPECT_EQ(b->GetStippleColor(), kRed);
  EXPECT_EQ(b->GetStippleColor(), Raster_Blend::CombineColor(kRed, kBlue, 255 - 128));
  EXPECT_EQ(b->GetStippleColor(), kBlue);

  b->SetStipple({kRed, kBlue});
  b->SetStippleStep(1.0f);
  b->AdvanceStippleCounter(5);
  EXPECT_FLOAT_EQ(b->StippleCounter(), 1.0f);

  auto e = MakeBitmap(2, 2);
  EXPECT_EQ(e->GetStippleColor(), 0xFF000000u) << "no pattern";
  e->AdvanceStippleCounter(3);
  EXPECT_EQ(e->StippleCounter(), 0.0f);
}

TEST_F(BitmapTest, StippledRunsKeepTheirPhaseAcrossClippedParts) {
  auto b = MakeBitmap(6, 2);
  b->SetStipple({kRed, kBlue});
  b->HorzLineTSP(-3, 0, 4);  // three pixels clipped away first
  EXPECT_EQ(RowsOf(*b)[0], (std::vector<TColor32>{kBlue, kRed, kBlue, kRed, kBlue, kBlack}));

  b->SetStipple({kRed, kBlue});
  b->HorzLineTSP(2, 5, 4);  // a row outside: the counter advances by 3
  EXPECT_FLOAT_EQ(b->StippleCounter(), 1.0f);

  b->SetStipple({kRed, kBlue});
  b->LineXSP(-40 * 65536, -9 * 65536, -19 * 65536, -9 * 65536);  // wholly outside, 21 pixels
  EXPECT_FLOAT_EQ(b->StippleCounter(), 1.0f);

  // The stippled frame runs clockwise without repeating at the corners.
  auto f = MakeBitmap(4, 3);
  f->SetStipple({kRed, kBlue});
  f->FrameRectTSP(0, 0, 4, 3);
  EXPECT_EQ(RowsOf(*f), (std::vector<std::vector<TColor32>>{
                            {kRed, kBlue, kRed, kBlue}, {kBlue, kBlack, kBlack, kRed}, {kRed, kBlue, kRed, kBlue}}));
}

TEST_F(BitmapTest, PenPositionLinesLeaveTheEndPointOut) {
  auto b = MakeBitmap(8, 8);
  b->SetPenColor(kRed);
  b->MoveTo(1, 1);
  b->LineToS(5, 1);
  b->LineToS(5, 5);
  EXPECT_EQ(SetOf(ChangedPixels(*b, kBlack)),
            (TPixelSet{{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {5, 2}, {5, 3}, {5, 4}}));
  b->LineToAS(1, 1);
  EXPECT_EQ(b->GetPixel(5, 5), kRed) << "a diagonal through LineTS starts at the pen";
}

}  // namespace
}  // namespace velkor::test
