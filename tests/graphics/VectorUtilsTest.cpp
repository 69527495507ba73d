// Line and polygon clipping, closing and bounds, and the shape outlines.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <numbers>

#include "RasterTestSupport.h"
#include "graphics/Raster_VectorUtils.h"

namespace velkor::Raster_VectorUtils {
namespace {

TEST(ClipLine, Table) {
  const struct {
    const char* Why;
    int X1, Y1, X2, Y2;
    bool Visible;
    int RX1, RY1, RX2, RY2;
  } Cases[] = {
      {"both inside: unchanged", 1, 2, 15, 18, true, 1, 2, 15, 18},
      {"both left of MinX: unchanged", -5, 1, -1, 15, false, -5, 1, -1, 15},
      {"both below MaxY", 3, 25, 9, 30, false, 3, 25, 9, 30},
      {"horizontal through the left edge", -10, 5, 10, 5, true, 0, 5, 10, 5},
      {"horizontal through both edges", -10, 5, 30, 5, true, 0, 5, 20, 5},
      {"vertical through top and bottom", 4, -10, 4, 40, true, 4, 0, 4, 20},
      {"diagonal corner to corner, far out", -10, -10, 30, 30, true, 0, 0, 20, 20},
      {"second point above the box", 10, 10, 20, -10, true, 10, 10, 15, 0},
      {"misses the corner: the moved point stays moved", -10, 5, 5, -10, false, -10, 5, -5, 0},
      {"rounded intersection", 0, 0, 3, 30, true, 0, 0, 2, 20},
  };
  for (const auto& C : Cases) {
    int X1 = C.X1, Y1 = C.Y1, X2 = C.X2, Y2 = C.Y2;
    EXPECT_EQ(ClipLine(X1, Y1, X2, Y2, 0, 0, 20, 20), C.Visible) << C.Why;
    EXPECT_EQ((std::array{X1, Y1, X2, Y2}), (std::array{C.RX1, C.RY1, C.RX2, C.RY2})) << C.Why;
  }
}

TEST(ClipPolygon, Table) {
  const TFloatRect Clip{0, 0, 10, 10};
  const struct {
    const char* Why;
    TArrayOfFloatPoint In, Out;
  } Cases[] = {
      {"inside: unchanged", {{1, 1}, {9, 1}, {5, 9}}, {{1, 1}, {9, 1}, {5, 9}}},
      {"on the edges counts as inside", {{0, 0}, {10, 0}, {10, 10}}, {{0, 0}, {10, 0}, {10, 10}}},
      {"wholly left", {{-5, 1}, {-1, 1}, {-3, 9}}, {}},
      {"empty", {}, {}},
      {"cut at the left edge", {{-5, 2}, {5, 2}, {5, 8}, {-5, 8}}, {{0, 2}, {5, 2}, {5, 8}, {0, 8}}},
      {"around the whole clip", {{-5, -5}, {15, -5}, {15, 15}, {-5, 15}}, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}},
      {"corner cut off", {{5, 5}, {15, 5}, {5, 13}}, {{5, 5}, {10, 5}, {10, 9}, {8.75f, 10}, {5, 10}}},
      {"far vertices interpolate without overflow", {{5, 5}, {3e38f, 5}, {5, 3e38f}}, {{5, 5}, {10, 5}, {10, 10}, {5, 10}}},
      {"triangle round a corner, no vertex inside",
       {{-2, 5}, {5, -2}, {12, 12}},
       {{0, 3}, {3, 0}, {6, 0}, {10, 8}, {10, 10}, {8, 10}, {0, 6}}},
  };
  for (const auto& C : Cases) {
    TArrayOfFloatPoint Out;
    ClipPolygon(C.In, Clip, Out);
    ASSERT_EQ(Out.size(), C.Out.size()) << C.Why;
    // The clipped ring may start anywhere; find the expected first point.
    std::size_t Shift = 0;
    while (Shift < Out.size() && !(std::fabs(Out[Shift].X - C.Out[0].X) < 1e-4f &&
                                   std::fabs(Out[Shift].Y - C.Out[0].Y) < 1e-4f))
      ++Shift;
    ASSERT_LT(Shift, Out.size() + (Out.empty() ? 1 : 0)) << C.Why;
    for (std::size_t i = 0; i < Out.size(); ++i) {
      EXPECT_NEAR(Out[(i + Shift) % Out.size()].X, C.Out[i].X, 1e-4f) << C.Why << " point " << i;
      EXPECT_NEAR(Out[(i + Shift) % Out.size()].Y, C.Out[i].Y, 1e-4f) << C.Why << " point " << i;
    }
  }
}

TEST(ClosePolygon, AppendsTheFirstPointOnlyWhenOpen) {
  TArrayOfFloatPoint Out;
  ClosePolygon({{0, 0}, {1, 0}, {0, 0}}, Out);
  EXPECT_EQ(Out.size(), 3u);
  ClosePolygon({{0, 0}, {1, 0}}, Out);
  EXPECT_EQ(Out, (TArrayOfFloatPoint{{0, 0}, {1, 0}, {0, 0}}));
  ClosePolygon({{4, 4}}, Out);
  EXPECT_EQ(Out.size(), 1u);
}

TEST(PolygonBounds, SpansAllPoints) {
  EXPECT_EQ(PolygonBounds({{3, -1}, {-2, 5}, {1, 1}}), (TFloatRect{-2, -1, 3, 5}));
  EXPECT_EQ(PolygonBounds({}), TFloatRect{});
}

// Shifts by (10, 20) and counts its preparations.
class TShift : public Raster_Transforms::TTransformation {
 public:
  int Prepared = 0;

 protected:
  void PrepareForTransform() override {
    ++Prepared;
    TransformValid = true;
  }
  void TransformFloatPoint(float X, float Y, float& DX, float& DY) override {
    DX = X + 10;
    DY = Y + 20;
  }
};

TEST(ScaleAndTransform, MapEveryPoint) {
  EXPECT_EQ(ScalePolyPolygon({{{1, 2}, {3, 4}}}, 2, -1), (TArrayOfArrayOfFloatPoint{{{2, -2}, {6, -4}}}));
  test::StartRaster();
  TShift Shift;
  EXPECT_EQ(TransformPolyPolygon({{{1, 2}, {3, 4}}, {{0, 0}}}, Shift),
            (TArrayOfArrayOfFloatPoint{{{11, 22}, {13, 24}}, {{10, 20}}}));
  EXPECT_EQ(Shift.Prepared, 1);
}

// ----- Shape outlines -------------------------------------------------------

TEST(ShapeOutlines, PointCounts) {
  test::StartRaster();
  const float Pi = std::numbers::pi_v<float>;
  EXPECT_EQ(BuildArc({0, 0}, 0, 1, 1).size(), 6u);
  const auto Half = BuildArc({0, 0}, 0, Pi, 100);
  ASSERT_EQ(Half.size(), 31u);
  EXPECT_NEAR(Half.back().X, -100, 1e-3);  // the last point lies at EndAngle
  EXPECT_NEAR(Half.back().Y, 0, 1e-3);
  EXPECT_EQ(BuildCircle({0, 0}, 0, 10).size(), 19u);
  EXPECT_EQ(BuildEllipse({0, 0}, {10, 50}, 0).size(), 19u);  // the smaller radius decides
  EXPECT_EQ(BuildCircle({0, 0}, 1, 10).size(), 1u);         // Steps 1: one point, nothing beyond
  // Huge, zero, negative and non-finite radii stay bounded.
  for (float R : {0.0f, -10.0f, 1e30f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
    EXPECT_LE(BuildCircle({0, 0}, 0, R).size(), std::size_t(kMaxAutoSteps)) << R;
    EXPECT_GE(BuildCircle({0, 0}, 0, R).size(), 2u) << R;
    EXPECT_LE(BuildArc({0, 0}, 0, 6, R).size(), std::size_t(kMaxAutoSteps)) << R;
  }
}

TEST(ShapeOutlines, CircleOfFourSteps) {
  test::StartRaster();
  const auto C = BuildCircle({0, 0}, 4, 1);
  const TArrayOfFloatPoint Expected{{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
  ASSERT_EQ(C.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(C[i].X, Expected[i].X, 1e-6);
    EXPECT_NEAR(C[i].Y, Expected[i].Y, 1e-6);
  }
}

TEST(ShapeOutlines, NormalsOfASquare) {
  test::StartRaster();
  EXPECT_EQ(BuildNormals({{0, 0}, {10, 0}, {10, 10}, {0, 10}}),
            (TArrayOfFloatPoint{{0, -1}, {1, 0}, {0, 1}, {-1, 0}}));
  // Coincident points: an exactly zero normal.
  EXPECT_EQ(BuildNormals({{1, 1}, {1, 1}})[0], (TFloatPoint{0, 0}));
}

TEST(GrowPolygon, RoundSquareKeepsSidesAndRoundsCorners) {
  test::StartRaster();
  const TArrayOfFloatPoint Square{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  const auto Grown = GrowPolygon(Square, jsRound, true, 4, 2);
  ASSERT_GT(Grown.size(), 8u);  // every corner has more than its two ends
  const TFloatPoint Corners[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  for (const TFloatPoint P : Grown) {
    // Every point is 2 from the square: on a side's offset line or on a
    // corner's arc.
    const float dx = std::max({0.0f - P.X, 0.0f, P.X - 10}), dy = std::max({0.0f - P.Y, 0.0f, P.Y - 10});
    EXPECT_NEAR(std::hypot(dx, dy), 2, 1e-4) << P.X << ", " << P.Y;
    bool NearCorner = false;
    for (const TFloatPoint C : Corners) NearCorner |= std::hypot(P.X - C.X, P.Y - C.Y) < 2.0001f;
    EXPECT_TRUE(NearCorner) << "points lie only at the corners' arcs";
  }
  // The side ends are there: (0, -2) and (10, -2) on the top side.
  auto Has = [&](TFloatPoint Q) {
    for (const TFloatPoint P : Grown)
      if (std::fabs(P.X - Q.X) < 1e-4f && std::fabs(P.Y - Q.Y) < 1e-4f) return true;
    return false;
  };
  EXPECT_TRUE(Has({0, -2}) && Has({10, -2}) && Has({12, 10}) && Has({-2, 0}));
}

TEST(GrowPolygon, JoinsAndDegenerateInput) {
  test::StartRaster();
  const TArrayOfFloatPoint Square{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  // Miter: one tip per corner.
  EXPECT_EQ(GrowPolygon(Square, jsMiter, true, 4, 2),
            (TArrayOfFloatPoint{{-2, -2}, {12, -2}, {12, 12}, {-2, 12}}));
  // Bevel: both ends on the outside of every corner.
  EXPECT_EQ(GrowPolygon(Square, jsBevel, true, 4, 2).size(), 8u);
  // A turn of almost 180 degrees is beyond the miter limit: two points.
  const auto Spike = GrowPolygon({{0, 0}, {10, 0.01f}, {0, 0.02f}}, jsMiter, false, 4, 1);
  EXPECT_EQ(Spike.size(), 4u);  // the start, two at the spike, the end
  EXPECT_TRUE(GrowPolygon({{3, 3}, {3, 3}, {3, 3}}, jsRound, true, 4, 2).empty());
  EXPECT_TRUE(GrowPolygon({{3, 3}}, jsRound, true, 4, 2).empty());
  EXPECT_FALSE(GrowPolygon(Square, jsRound, true, 4, 0).empty());  // D = 0: no division by zero
  EXPECT_NO_THROW(GrowPolygon(Square, jsRound, true, 4, std::numeric_limits<float>::quiet_NaN()));
}

}  // namespace
}  // namespace velkor::Raster_VectorUtils
