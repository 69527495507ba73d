// The bitmap's rectangles, bevels, transfers and whole-image operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BitmapTestSupport.h"
#include "graphics/Raster_Blend.h"

namespace velkor::test {
namespace {

constexpr TColor32 kBlack = 0xFF000000u, kWhite = 0xFFFFFFFFu, kRed = 0xFFFF0000u;
using TRows = std::vector<std::vector<TColor32>>;

TEST_F(BitmapTest, ClippedFillsFillTheOverlapAndReportTwice) {
  auto b = MakeBitmap(6, 5);
  b->SetClipRect({1, 1, 5, 4});
  TReports r;
  r.Attach(*b);
  b->FillRectS(-2, 2, 3, 9, kWhite);
  EXPECT_EQ(SetOf(ChangedPixels(*b, kBlack)), (TPixelSet{{1, 2}, {2, 2}, {1, 3}, {2, 3}}));
  const std::vector<std::pair<TRect, std::uint32_t>> twice = {{{1, 2, 3, 4}, AREAINFO_RECT},
                                                               {{1, 2, 3, 4}, AREAINFO_RECT}};
  EXPECT_EQ(r.Areas, twice);

  struct Case {
    TRect rect;
    const char* why;
  } empties[] = {{{2, 1, 2, 4}, "X1 = X2"}, {{4, 3, 2, 1}, "inverted"}, {{5, 0, 9, 4}, "right of the clip"}};
  for (const Case& c : empties) {
    r.Clear();
    b->FillRectS(c.rect, kRed);
    b->FillRectTS(c.rect, 0x80FF0000u);
    EXPECT_EQ(ChangedPixels(*b, kBlack).size(), 4u) << c.why;
    ASSERT_EQ(r.Areas.size(), 2u) << c.why;
    EXPECT_EQ(r.Areas[0].first, c.rect) << "reported as given: " << c.why;
  }
}

TEST_F(BitmapTest, BlendedFillsByAlpha) {
  auto b = MakePatternBitmap(4, 3);
  TReports r;
  r.Attach(*b);
  b->FillRectT(0, 0, 4, 3, 0x00FFFFFFu);
  EXPECT_TRUE(SamePixels(*b, *MakePatternBitmap(4, 3), b->BoundsRect()));
  EXPECT_TRUE(r.Areas.empty()) << "alpha 0: nothing, not even a report";

  auto opaque = MakePatternBitmap(4, 3), plain = MakePatternBitmap(4, 3);
  opaque->FillRectT(1, 1, 3, 3, kRed);
  plain->FillRect(1, 1, 3, 3, kRed);
  EXPECT_EQ(RowsOf(*opaque), RowsOf(*plain));

  const TColor32 half = 0x80FF0000u;
  auto blend = MakePatternBitmap(4, 3);
  blend->FillRectT(0, 0, 2, 1, half);
  EXPECT_EQ(blend->GetPixel(1, 0), Raster_Blend::CombineColor(half, PatternPixel(1, 0), 0x80));
  EXPECT_EQ(blend->GetPixel(2, 0), PatternPixel(2, 0));
  auto merge = MakeBitmap(2, 1, 0x00000000u);
  merge->SetCombineMode(cmMerge);
  merge->FillRectT(0, 0, 2, 1, half);
  EXPECT_EQ(merge->GetPixel(0, 0), Raster_Blend::MergeColor(half, 0x00000000u));
}

TEST_F(BitmapTest, FramesDrawEachPixelOnce) {
  struct Case {
    TRect rect;
    std::size_t pixels;
  } cases[] = {{{1, 1, 2, 2}, 1}, {{1, 1, 3, 3}, 4}, {{2, 0, 3, 5}, 5}, {{0, 0, 5, 2}, 10}, {{0, 0, 5, 4}, 14}};
  for (const Case& c : cases) {
    // Blended at half alpha, a pixel drawn twice would differ from the rest.
    auto b = MakeBitmap(6, 6);
    b->FrameRectTS(c.rect, 0x80FFFFFFu);
    const std::vector<TPoint> changed = ChangedPixels(*b, kBlack);
    EXPECT_EQ(changed.size(), c.pixels) << c.rect;
    for (const TPoint& p : changed) EXPECT_EQ(b->GetPixel(p.X, p.Y), b->GetPixel(changed[0].X, changed[0].Y));
    auto s = MakeBitmap(6, 6);
    s->FrameRectS(c.rect, kWhite);
    EXPECT_EQ(ChangedPixels(*s, kBlack), changed) << c.rect;
  }
  auto b = MakeBitmap(6, 6);
  TReports r;
  r.Attach(*b);
  b->SetClipRect({0, 0, 3, 3});
  b->FrameRectS(3, 3, 6, 6, kWhite);
  EXPECT_TRUE(r.Areas.empty()) << "outside the clip rectangle: nothing at all";
}

TEST_F(BitmapTest, BevelAlphasFollowTheContrast) {
  // Merged over transparent black, each pixel shows the bevel's own colour.
  struct Case {
    int contrast;
    TColor32 topLeft, bottomRight;
  } cases[] = {
      {100, 0xFFFFFFFFu, 0xFF000000u},
      {20, 0x66FFFFFFu, 0x33000000u},
      {-20, 0x33000000u, 0x66FFFFFFu},
  };
  for (const Case& c : cases) {
    auto b = MakeBitmap(5, 4, 0u);
    b->SetCombineMode(cmMerge);
    b->RaiseRectTS(0, 0, 5, 4, c.contrast);
    EXPECT_EQ(Hex(b->GetPixel(0, 0)), Hex(c.topLeft)) << c.contrast;
    EXPECT_EQ(Hex(b->GetPixel(0, 2)), Hex(c.topLeft)) << c.contrast;
    EXPECT_EQ(Hex(b->GetPixel(4, 3)), Hex(c.bottomRight)) << c.contrast;
    EXPECT_EQ(Hex(b->GetPixel(4, 1)), Hex(c.bottomRight)) << c.contrast;
    EXPECT_EQ(b->GetPixel(2, 2), 0u) << "the inside is left alone";
  }
  auto b = MakeBitmap(3, 3, 0u);
  b->RaiseRectTS(0, 0, 3, 3, 0);
  EXPECT_TRUE(ChangedPixels(*b, 0u).empty());
}

TEST_F(BitmapTest, RollShiftsTheStoreLinearly) {
  const TColor32 c = 0xFF00FF00u;
  auto b = MakeBitmapFromRows({{1, 2, 3}, {4, 5, 6}});
  b->Roll(1, 0, true, c);
  EXPECT_EQ(RowsOf(*b), (TRows{{c, 1, 2}, {c, 4, 5}})) << "old (2, 0) went to (0, 1), then column 0 filled";

  b = MakeBitmapFromRows({{1, 2, 3}, {4, 5, 6}});
  b->Roll(-1, 0, false, c);
  EXPECT_EQ(RowsOf(*b), (TRows{{2, 3, 4}, {5, 6, 6}}));

  b = MakeBitmapFromRows({{1, 2, 3}, {4, 5, 6}});
  b->Roll(0, 1, true, c);
  EXPECT_EQ(RowsOf(*b), (TRows{{c, c, c}, {1, 2, 3}}));

  b = MakeBitmapFromRows({{1, 2, 3}, {4, 5, 6}});
  b->Roll(3, 0, false, c);
  EXPECT_EQ(RowsOf(*b), (TRows{{1, 2, 3}, {4, 5, 6}})) << "a full-width roll without fill changes nothing";
  b->Roll(0, -2, true, c);
  EXPECT_EQ(RowsOf(*b), (TRows{{c, c, c}, {c, c, c}}));
}

TEST_F(BitmapTest, FlipsAndQuarterTurns) {
  const TRows src = {{1, 2, 3}, {4, 5, 6}};
  struct Case {
    const char* name;
    void (TCustomBitmap32::*op)(TCustomBitmap32*);
    TRows expected;
  } cases[] = {
      {"FlipHorz", &TCustomBitmap32::FlipHorz, {{3, 2, 1}, {6, 5, 4}}},
      {"FlipVert", &TCustomBitmap32::FlipVert, {{4, 5, 6}, {1, 2, 3}}},
      {"Rotate90", &TCustomBitmap32::Rotate90, {{4, 1}, {5, 2}, {6, 3}}},
      {"Rotate180", &TCustomBitmap32::Rotate180, {{6, 5, 4}, {3, 2, 1}}},
      {"Rotate270", &TCustomBitmap32::Rotate270, {{3, 6}, {2, 5}, {1, 4}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto b = MakeBitmapFromRows(src);
    auto dst = MakeBitmap(1, 1);
    TReports r;
    r.Attach(*dst);
    (b.get()->*c.op)(dst.get());
    EXPECT_EQ(RowsOf(*dst), c.expected);
    EXPECT_EQ(RowsOf(*b), src) << "the source is untouched";
    EXPECT_GE(r.Changes, 1);

    (b.get()->*c.op)(nullptr);
    EXPECT_EQ(RowsOf(*b), c.expected) << "in place";
    auto self = MakeBitmapFromRows(src);
    (self.get()->*c.op)(self.get());
    EXPECT_EQ(RowsOf(*self), c.expected) << "the bitmap itself as target";
  }
  auto odd = MakeBitmapFromRows({{1, 2, 3, 4, 5}});
  odd->FlipHorz();
  EXPECT_EQ(RowsOf(*odd), (TRows{{5, 4, 3, 2, 1}}));
  auto empty = New<TCustomBitmap32>();
  empty->Rotate90();
  empty->FlipVert();
  EXPECT_TRUE(empty->Empty());
}

TEST_F(BitmapTest, DrawToTakesTheSourcesSettings) {
  auto src = MakeBitmap(2, 2, 0xFFFFFFFFu);
  auto dst = MakeBitmap(4, 4);
  dst->SetDrawMode(dmOpaque);
  src->SetDrawMode(dmBlend);
  src->SetMasterAlpha(0);
  src->DrawTo(dst.get(), 1, 1);
  EXPECT_TRUE(ChangedPixels(*dst, kBlack).empty()) << "the source's master alpha 0: nothing";
  src->SetMasterAlpha(128);
  src->DrawTo(dst.get(), 1, 1);
  const TColor32 blended = dst->GetPixel(1, 1);
  EXPECT_GT(blended & 0xFF, 0x60u);
  EXPECT_LT(blended & 0xFF, 0xA0u);
  EXPECT_EQ(dst->GetPixel(0, 0), kBlack);

  // Stretched into a larger rectangle, clipped by the destination.
  auto big = MakeBitmap(6, 6);
  big->SetClipRect({0, 0, 3, 6});
  src->SetDrawMode(dmOpaque);
  src->DrawTo(big.get(), MakeRect(0, 0, 6, 6));
  EXPECT_EQ(big->GetPixel(2, 5), kWhite);
  EXPECT_EQ(big->GetPixel(3, 0), kBlack);

  // The mirror forms on the destination; a nil source draws nothing.
  auto viaDraw = MakeBitmap(4, 4);
  viaDraw->Draw(2, 2, src.get());
  EXPECT_EQ(viaDraw->GetPixel(3, 3), kWhite);
  viaDraw->Draw(0, 0, nullptr);
  viaDraw->Draw(MakeRect(0, 0, 4, 4), MakeRect(0, 0, 2, 2), nullptr);

  try {
    src->DrawTo(nullptr, 0, 0);
    FAIL() << "no exception";
  } catch (const EBitmapException& e) {
    EXPECT_STREQ(e.what(), "Destination bitmap is nil");
  }
}

TEST_F(BitmapTest, DrawToWithinOneBitmapCopiesAsIfThroughACopy) {
  auto b = MakePatternBitmap(8, 5);
  auto expected = MakePatternBitmap(8, 5);
  auto copy = MakePatternBitmap(8, 5);
  copy->DrawTo(expected.get(), 2, 1, MakeRect(0, 0, 6, 4));
  b->DrawTo(b.get(), 2, 1, MakeRect(0, 0, 6, 4));
  EXPECT_TRUE(SamePixels(*b, *expected, b->BoundsRect()));

  b = MakePatternBitmap(8, 5);
  expected = MakePatternBitmap(8, 5);
  copy->DrawTo(expected.get(), -1, -2);
  b->DrawTo(b.get(), -1, -2);
  EXPECT_TRUE(SamePixels(*b, *expected, b->BoundsRect()));
}

}  // namespace
}  // namespace velkor::test
