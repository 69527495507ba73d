// Micro-tile grids: sizes, rectangles and lines into tiles, unions, merges
// and the rectangles that come back out.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <vector>

#include "BitmapTestSupport.h"
#include "graphics/Raster_MicroTiles.h"

namespace velkor {

namespace {

using namespace Raster_MicroTiles;
using Raster_Containers::TRectList;

class MicroTilesTest : public ::testing::Test {
 protected:
  void SetUp() override { test::StartRaster(); }

  static TMicroTiles Grid(int W, int H) {
    TMicroTiles t;
    ResizeMicroTiles(t, {0, 0, W, H});
    return t;
  }
  static std::vector<TRect> Rects(const TMicroTiles& t, bool wholeTiles = false) {
    TRectList list;
    const int n = MicroTilesToRects(t, &list, false, wholeTiles);
    std::vector<TRect> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(*list.Get(i));
    EXPECT_EQ(n, list.Count());
    return out;
  }
  // Every non-zero tile as "col,row=l,t,r,b".
  static std::vector<std::string> NonEmpty(const TMicroTiles& t) {
    std::vector<std::string> out;
    for (int r = 0; r < t.Rows; ++r) {
      for (int c = 0; c < t.Columns; ++c) {
        const TMicroTile v = t.Tile(c, r);
        if (v == 0) continue;
        out.push_back(std::to_string(c) + "," + std::to_string(r) + "=" + std::to_string(MicroTileLeft(v)) + "," +
                      std::to_string(MicroTileTop(v)) + "," + std::to_string(MicroTileRight(v)) + "," +
                      std::to_string(MicroTileBottom(v)));
      }
    }
    return out;
  }
};

TEST_F(MicroTilesTest, GridSizeCountsOneSpareColumnAndRow) {
  struct Case {
    TRect bounds;
    int columns, rows;
  } cases[] = {
      {{0, 0, 64, 64}, 3, 3},     // exact multiples still get an extra column and row
      {{0, 0, 100, 50}, 4, 2},    //
      {{0, 0, 0, 0}, 1, 1},       //
      {{0, 0, -40, -7}, 1, 1},    // a negative extent counts as 0
      {{10, 20, 41, 52}, 1, 2},   // only the extent matters
  };
  for (const Case& c : cases) {
    TMicroTiles t;
    ResizeMicroTiles(t, c.bounds);
    EXPECT_EQ(t.Columns, c.columns) << c.bounds;
    EXPECT_EQ(t.Rows, c.rows) << c.bounds;
    EXPECT_EQ(t.Count(), (c.columns + 1) * (c.rows + 1)) << c.bounds;
    EXPECT_EQ(t.BoundsUsedTiles, (TRect{c.columns, c.rows, 0, 0})) << c.bounds;
    EXPECT_TRUE(NonEmpty(t).empty());
  }
  TMicroTiles huge = Grid(100, 100);
  EXPECT_THROW(ResizeMicroTiles(huge, {0, 0, INT_MAX, INT_MAX}), std::bad_alloc);
  EXPECT_EQ(huge.Columns, 4) << "a failed resize leaves the grid as it was";
  EXPECT_EQ(huge.Count(), 25);
}

TEST_F(MicroTilesTest, RectanglesIntoTiles) {
  struct Case {
    const char* why;
    TRect rect;
    bool whole;
    std::vector<std::string> tiles;
    TRect used;
  } cases[] = {
      {"inside one tile", {10, 10, 20, 20}, false, {"0,0=10,10,20,20"}, {0, 0, 0, 0}},
      {"reversed", {20, 20, 10, 10}, false, {"0,0=10,10,20,20"}, {0, 0, 0, 0}},
      {"split across three columns", {30, 5, 70, 8}, false, {"0,0=30,5,32,8", "1,0=0,5,32,8", "2,0=0,5,6,8"},
       {0, 0, 2, 0}},
      {"right on a multiple of 32: degenerate last column", {0, 0, 64, 10}, false, {"0,0=0,0,32,10", "1,0=0,0,32,10"},
       {0, 0, 2, 0}},
      {"one column, three rows", {40, 10, 50, 70}, false, {"1,0=8,10,18,32", "1,1=8,0,18,32", "1,2=8,0,18,6"},
       {1, 0, 1, 2}},
      {"3 x 3 block, middle full", {20, 20, 70, 70}, false,
       {"0,0=20,20,32,32", "1,0=0,20,32,32", "2,0=0,20,6,32", "0,1=20,0,32,32", "1,1=0,0,32,32", "2,1=0,0,6,32",
        "0,2=20,0,32,6", "1,2=0,0,32,6", "2,2=0,0,6,6"},
       {0, 0, 2, 2}},
      {"whole tiles, zero width", {40, 40, 40, 50}, true, {"1,1=0,0,32,32"}, {1, 1, 1, 1}},
      {"whole tiles clamped to the far edge", {90, 0, 500, 10}, true, {"2,0=0,0,32,32", "3,0=0,0,32,32"},
       {2, 0, 4, 0}},
      {"wholly outside", {200, 200, 300, 300}, false, {}, {4, 4, 0, 0}},
      {"wholly left", {-50, 0, -1, 10}, false, {}, {4, 4, 0, 0}},
      {"ends at the left edge", {-50, 0, 0, 10}, false, {}, {0, 0, 0, 0}},
      {"huge", {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, false,
       {"0,0=0,0,32,32", "1,0=0,0,32,32", "2,0=0,0,32,32", "3,0=0,0,32,32", "0,1=0,0,32,32", "1,1=0,0,32,32",
        "2,1=0,0,32,32", "3,1=0,0,32,32", "0,2=0,0,32,32", "1,2=0,0,32,32", "2,2=0,0,32,32", "3,2=0,0,32,32",
        "0,3=0,0,32,32", "1,3=0,0,32,32", "2,3=0,0,32,32", "3,3=0,0,32,32"},
       {0, 0, 4, 4}},
  };
  for (const Case& c : cases) {
    TMicroTiles t = Grid(100, 100);
    AddRectToMicroTiles(t, c.rect, c.whole);
    EXPECT_EQ(NonEmpty(t), c.tiles) << c.why;
    EXPECT_EQ(t.BoundsUsedTiles, c.used) << c.why;
  }
}

TEST_F(MicroTilesTest, RectanglesOutJoinRunsAndStacks) {
  struct Case {
    const char* why;
    std::vector<TRect> added;
    bool whole;
    std::vector<TRect> out;
  } cases[] = {
      {"a split rectangle rejoins", {{30, 5, 70, 8}}, false, {{30, 5, 70, 8}}},
      {"stacked runs with equal edges join", {{10, 10, 50, 64}}, false, {{10, 10, 50, 64}}},
      {"stacked runs with other edges stay apart", {{10, 10, 50, 32}, {12, 32, 50, 40}}, false,
       {{10, 10, 50, 32}, {12, 32, 50, 40}}},
      {"a run stops at a tile with another top", {{0, 0, 32, 8}, {32, 4, 60, 8}}, false,
       {{0, 0, 32, 8}, {32, 4, 60, 8}}},
      {"a run needs the first tile's right at 32", {{0, 0, 20, 8}, {32, 0, 40, 8}}, false,
       {{0, 0, 20, 8}, {32, 0, 40, 8}}},
      {"a joined tile's right is not examined", {{20, 0, 40, 8}, {64, 0, 70, 8}}, false, {{20, 0, 70, 8}}},
      {"whole tiles, clamped to the bounds", {{10, 10, 20, 20}, {40, 90, 41, 91}}, true,
       {{0, 0, 32, 32}, {32, 64, 64, 96}}},
      {"whole tiles join down", {{0, 0, 40, 70}}, true, {{0, 0, 64, 96}}},
      {"everything", {{-5, -5, 500, 500}}, false, {{0, 0, 100, 100}}},
  };
  for (const Case& c : cases) {
    TMicroTiles t = Grid(100, 100);
    for (const TRect& r : c.added) AddRectToMicroTiles(t, r, c.whole);
    EXPECT_EQ(Rects(t, c.whole), c.out) << c.why;
  }

  TMicroTiles t = Grid(100, 100);
  AddRectToMicroTiles(t, {10, 10, 20, 20}, false);
  TRectList list;
  EXPECT_EQ(MicroTilesToRects(t, &list, {0, 0, 15, 100}, true, false), 1);
  EXPECT_EQ(list.Count(), 0) << "count only";
  EXPECT_EQ(MicroTilesToRects(t, &list, {0, 0, 15, 100}, false, false), 1);
  EXPECT_EQ(*list.Get(0), (TRect{10, 10, 15, 20})) << "clamped to the clip";
  EXPECT_EQ(MicroTilesToRects(TMicroTiles{}, &list), 0) << "no array";
  EXPECT_EQ(MicroTilesToRects(Grid(100, 100), &list), 0) << "nothing used";
}

TEST_F(MicroTilesTest, UnionRules) {
  const TMicroTile a = MakeMicroTile(4, 5, 10, 12), b = MakeMicroTile(2, 8, 6, 20);
  struct Case {
    TMicroTile dst, src, expected;
  } cases[] = {
      {MicroTileFull, a, MicroTileFull},                 // full stays full
      {a, MicroTileEmpty, a},                            //
      {a, MakeMicroTile(3, 3, 3, 9), a},                 // degenerate source ignored
      {a, MakeMicroTile(3, 9, 8, 9), a},                 //
      {MicroTileEmpty, a, a},                            //
      {a, MicroTileFull, MicroTileFull},                 //
      {a, b, MakeMicroTile(2, 5, 10, 20)},               // bounds
      {MicroTileEmpty, MakeMicroTile(0, 0, 0, 32), 0},   // never stores a degenerate value
  };
  for (const auto& variant : MicroTilesRegistry->Variants(FID_UNITEMICROTILE)) {
    test::ForcedVariant forced(*MicroTilesRegistry, FID_UNITEMICROTILE, variant);
    for (const Case& c : cases) {
      TMicroTile d = c.dst;
      UniteMicroTile(d, c.src);
      EXPECT_EQ(d, c.expected) << std::hex << c.dst << " + " << c.src;
    }
  }
}

// Random tiles (valid and not) in grids of different strides: every variant
// of both unions gives the portable result.
TEST_F(MicroTilesTest, VariantsMatchThePortableUnion) {
  ASSERT_NE(MicroTilesRegistry, nullptr);
  EXPECT_EQ(MicroTilesRegistry->Name(), "Raster_MicroTiles bindings");
  const auto tileVariants = MicroTilesRegistry->Variants(FID_UNITEMICROTILE);
  const auto setVariants = MicroTilesRegistry->Variants(FID_UNITEMICROTILESETS);
  ASSERT_GE(setVariants.size(), 1u);
  EXPECT_TRUE(setVariants[0]->CPUFeatures.Empty()) << "the portable variant comes first";
  for (std::size_t v = 1; v < setVariants.size(); ++v) {
    EXPECT_TRUE(setVariants[v]->CPUFeatures.Contains(Raster_System::ciEMMX));
  }
  std::mt19937 gen(11);
  auto randomTile = [&]() -> TMicroTile {
    switch (gen() % 6) {
      case 0: return 0;
      case 1: return MicroTileFull;
      case 2: return gen();
      default: {
        const int l = int(gen() % 33), t = int(gen() % 33);
        return MakeMicroTile(l, t, l + int(gen() % (33 - l)), t + int(gen() % (33 - t)));
      }
    }
  };
  for (int round = 0; round < 50; ++round) {
    TMicroTiles dst = Grid(200 + round, 150), src = Grid(300, 130 + round);
    for (TMicroTile& v : dst.Tiles) v = randomTile();
    for (TMicroTile& v : src.Tiles) v = randomTile();
    dst.BoundsUsedTiles = {0, 0, dst.Columns, dst.Rows};
    src.BoundsUsedTiles = {int(gen() % 3), int(gen() % 3), src.Columns - int(gen() % 3), src.Rows};

    std::vector<TMicroTileArray> results;
    for (std::size_t v = 0; v < setVariants.size(); ++v) {
      test::ForcedVariant forced(*MicroTilesRegistry, FID_UNITEMICROTILESETS, setVariants[v]);
      TMicroTiles d = dst;
      UniteMicroTileSets(d, src);
      results.push_back(d.Tiles);
    }
    for (std::size_t v = 1; v < results.size(); ++v) EXPECT_EQ(results[v], results[0]) << "set variant " << v;

    // Tile by tile over the pairs both grids hold.
    const std::size_t pairs = std::min(dst.Tiles.size(), src.Tiles.size());
    ASSERT_GE(pairs, 48u);
    for (std::size_t v = 1; v < tileVariants.size(); ++v) {
      for (std::size_t i = 0; i < pairs; ++i) {
        const TMicroTile d0 = dst.Tiles[i], s = src.Tiles[i];
        TMicroTile portable = d0, other = d0;
        reinterpret_cast<TUniteMicroTileProc>(tileVariants[0]->Proc)(portable, s);
        reinterpret_cast<TUniteMicroTileProc>(tileVariants[v]->Proc)(other, s);
        ASSERT_EQ(other, portable) << std::hex << d0 << " + " << s;
      }
    }
  }
}

TEST_F(MicroTilesTest, MergeCopyAndClear) {
  TMicroTiles a = Grid(100, 100), b = Grid(100, 100);
  AddRectToMicroTiles(a, {10, 10, 20, 20}, false);
  AddRectToMicroTiles(b, {15, 40, 25, 50}, false);

  TMicroTiles exact = a;
  MergeMicroTiles(exact, b, false);
  EXPECT_EQ(NonEmpty(exact), (std::vector<std::string>{"0,0=10,10,20,20", "0,1=15,8,25,18"}));
  EXPECT_EQ(exact.BoundsUsedTiles, (TRect{0, 0, 0, 1}));

  TMicroTiles whole = a;
  MergeMicroTiles(whole, b, true);
  EXPECT_EQ(NonEmpty(whole), (std::vector<std::string>{"0,0=10,10,20,20", "0,1=0,0,32,32"}));

  TMicroTiles bigger = Grid(400, 400);
  AddRectToMicroTiles(bigger, {0, 0, 400, 400}, false);
  TMicroTiles small = Grid(40, 40);
  MergeMicroTiles(small, bigger, false);  // only the shared positions; nothing beyond the array
  EXPECT_EQ(small.Count(), 9);
  EXPECT_EQ(NonEmpty(small).size(), 4u);

  TMicroTiles copy = Grid(500, 500);
  AddRectToMicroTiles(copy, {300, 300, 310, 310}, false);
  CopyMicroTiles(copy, a);
  EXPECT_EQ(copy.Count(), a.Count());
  EXPECT_EQ(copy.Columns, 4);
  EXPECT_EQ(copy.Tiles, a.Tiles) << "the old content is gone, the used block copied";

  ClearUsedMicroTiles(exact);
  EXPECT_TRUE(NonEmpty(exact).empty());
  EXPECT_EQ(exact.BoundsUsedTiles, (TRect{4, 4, 0, 0}));

  // A reset marks every entry and the used block reaches Columns and Rows;
  // clearing the used block stays inside the array.
  TMicroTiles reset = Grid(64, 64);
  ClearMicroTiles(reset, MicroTileFull);
  reset.BoundsUsedTiles = {0, 0, reset.Columns, reset.Rows};
  EXPECT_EQ(Rects(reset), (std::vector<TRect>{{0, 0, 64, 64}}));
  ClearUsedMicroTiles(reset);
  EXPECT_TRUE(NonEmpty(reset).empty());
}

TEST_F(MicroTilesTest, LinesIntoTiles) {
  struct Case {
    const char* why;
    int x1, y1, x2, y2, width;
    std::vector<TRect> out;
  } cases[] = {
      {"horizontal: one rectangle grown by twice the width", 0, 5, 100, 5, 1, {{0, 3, 100, 7}}},
      {"diagonal: 32-pixel segments", 0, 0, 40, 40, 0, {{0, 0, 32, 32}, {32, 32, 64, 64}}},
      {"steep, reversed", 10, 90, 12, 20, 0, {{11, 0, 13, 32}, {10, 32, 12, 64}, {10, 64, 11, 90}}},
  };
  for (const Case& c : cases) {
    TMicroTiles t = Grid(100, 100);
    AddLineToMicroTiles(t, c.x1, c.y1, c.x2, c.y2, c.width, false);
    EXPECT_EQ(Rects(t), c.out) << c.why;
  }

  // Ends far beyond the 16-bit range: no wrap and no division error; the
  // segment that crosses the grid is still one 32-pixel step of the line.
  TMicroTiles far = Grid(100, 100);
  AddLineToMicroTiles(far, -100000, 0, 100000, 10, 1, false);
  EXPECT_EQ(Rects(far), (std::vector<TRect>{{0, 3, 100, 7}}));

  TMicroTiles extreme = Grid(100, 100);
  AddLineToMicroTiles(extreme, INT_MIN, INT_MIN, INT_MAX, INT_MAX - 7, 3, true);
  AddLineToMicroTiles(extreme, INT_MAX, 0, INT_MIN, 1, INT_MAX, false);
  EXPECT_EQ(Rects(extreme), (std::vector<TRect>{{0, 0, 100, 100}}));
}

TEST_F(MicroTilesTest, ExpandAreaGrowsOutward) {
  TRect r{10, 10, 20, 20};
  ExpandArea(r, 2, 3);
  EXPECT_EQ(r, (TRect{8, 7, 22, 23}));
  TRect reversed{20, 20, 10, 10};
  ExpandArea(reversed, 2, 3);
  EXPECT_EQ(reversed, (TRect{22, 23, 8, 7}));
  TRect edge{INT_MIN, 0, INT_MAX, 0};
  ExpandArea(edge, 5, 0);
  EXPECT_EQ(edge, (TRect{INT_MIN, 0, INT_MAX, 0})) << "saturates";
}

}  // namespace
}  // namespace velkor
