// The polygon rasteriser: the exact spans of small squares, the clip, bad
// input, and random polygons against FreeType's anti-aliasing rasteriser as
// an independent oracle under both fill rules.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "RasterTestSupport.h"
#include "graphics/Raster_VPR.h"

namespace velkor::Raster_VPR {
namespace {

struct TRecordedSpan {
  int Y, X1, X2;
  std::vector<float> Values;
};

std::vector<TRecordedSpan> Rasterize(const TArrayOfArrayOfFloatPoint& Points, TFloatRect Clip) {
  test::StartRaster();
  std::vector<TRecordedSpan> Spans;
  RasterizePolyPolygon(Points, Clip, [&](const TValueSpan& Span, int Y) {
    Spans.push_back({Y, Span.X1, Span.X2, std::vector<float>(Span.Values, Span.Values + (Span.X2 - Span.X1 + 1))});
  });
  return Spans;
}

constexpr TFloatRect kClip10{0, 0, 10, 10};

void ExpectSpan(const TRecordedSpan& S, int Y, int X1, std::vector<float> Values) {
  EXPECT_EQ(S.Y, Y);
  EXPECT_EQ(S.X1, X1);
  ASSERT_EQ(S.X2 - S.X1 + 1, int(Values.size())) << "row " << Y;
  for (std::size_t i = 0; i < Values.size(); ++i) EXPECT_NEAR(S.Values[i], Values[i], 1e-6) << "row " << Y << " i " << i;
}

TEST(PolygonRasterizer, SquareCoverageIsSignedByOrientation) {
  const struct {
    TArrayOfFloatPoint Square;
    float Sign;
  } Cases[] = {
      {{{0, 0}, {0, 2}, {2, 2}, {2, 0}}, 1},   // down the left edge: positive
      {{{0, 0}, {2, 0}, {2, 2}, {0, 2}}, -1},  // the same square reversed
  };
  for (const auto& C : Cases) {
    const auto Spans = Rasterize({C.Square}, kClip10);
    ASSERT_EQ(Spans.size(), 2u);
    // The running sum touches two pixels right of the edge.
    ExpectSpan(Spans[0], 0, 0, {C.Sign, C.Sign, 0, 0});
    ExpectSpan(Spans[1], 1, 0, {C.Sign, C.Sign, 0, 0});
  }
}

TEST(PolygonRasterizer, OffsetSquareGivesQuarterCoverage) {
  const auto Spans = Rasterize({{{0.5f, 0.5f}, {0.5f, 1.5f}, {1.5f, 1.5f}, {1.5f, 0.5f}}}, kClip10);
  ASSERT_EQ(Spans.size(), 2u);
  ExpectSpan(Spans[0], 0, 0, {0.25f, 0.25f, 0});
  ExpectSpan(Spans[1], 1, 0, {0.25f, 0.25f});
}

TEST(PolygonRasterizer, OverlappingCopiesAddUp) {
  const TArrayOfFloatPoint Square{{0, 0}, {0, 2}, {2, 2}, {2, 0}};
  const auto Spans = Rasterize({Square, Square}, kClip10);
  ASSERT_EQ(Spans.size(), 2u);
  ExpectSpan(Spans[0], 0, 0, {2, 2, 0, 0});
}

TEST(PolygonRasterizer, ClipCutsAndDropsPolygons) {
  // Wholly left of the clip: nothing.
  EXPECT_TRUE(Rasterize({{{-5, 0}, {-5, 2}, {-3, 2}, {-3, 0}}}, kClip10).empty());
  // Crossing the left edge at 2.5: coverage starts at floor(2.5) with the
  // half pixel.
  const auto Spans = Rasterize({{{0, 0}, {0, 1}, {4, 1}, {4, 0}}}, {2.5f, 0, 10, 10});
  ASSERT_EQ(Spans.size(), 1u);
  EXPECT_EQ(Spans[0].X1, 2);
  EXPECT_NEAR(Spans[0].Values[0], 0.5f, 1e-6);
  EXPECT_NEAR(Spans[0].Values[1], 1.0f, 1e-6);
  // Rendered spans never leave the clip, even where the coverage runs on.
  const auto Right = Rasterize({{{0, 0}, {0, 1}, {20, 1}, {20, 0}}}, {0, 0, 5.5f, 10});
  ASSERT_EQ(Right.size(), 1u);
  EXPECT_EQ(Right[0].X2, 5);
}

TEST(PolygonRasterizer, HorizontalEdgeOnRowLineAddsNothing) {
  // The bottom edge y = 2 lies on the top line of row 2: no third row.
  const auto Spans = Rasterize({{{0, 0}, {0, 2}, {3, 2}, {3, 0}}}, kClip10);
  ASSERT_EQ(Spans.size(), 2u);
  EXPECT_EQ(Spans.back().Y, 1);
}

TEST(PolygonRasterizer, LongEdgesStayInsideTheirXRange) {
  // Adding the slope row by row drifts: along this edge the sum ends at
  // 4.9978 in the row above (5, 3216), left of every vertex. Coverage must
  // not reach pixel 4 (it would lie outside the buffer).
  const auto Spans = Rasterize({{{194.0049285888672f, 0.1179186999797821f}, {5, 3216}, {300, 3216}}}, {0, 0, 400, 4000});
  ASSERT_FALSE(Spans.empty());
  for (const auto& S : Spans) ASSERT_GE(S.X1, 5) << "row " << S.Y;
}

TEST(PolygonRasterizer, BadInputRendersNothingOrOnlyTheSoundPart) {
  const float Inf = std::numeric_limits<float>::infinity();
  const float NaN = std::numeric_limits<float>::quiet_NaN();
  const TArrayOfFloatPoint Square{{0, 0}, {0, 2}, {2, 2}, {2, 0}};
  const struct {
    const char* Why;
    TArrayOfArrayOfFloatPoint Points;
    TFloatRect Clip;
    std::size_t Rows;
  } Cases[] = {
      {"no polygons", {}, kClip10, 0},
      {"empty polygon", {{}}, kClip10, 0},
      {"two points", {{{0, 0}, {5, 5}}}, kClip10, 0},
      {"NaN vertex", {{{0, 0}, {0, NaN}, {2, 2}}}, kClip10, 0},
      {"infinite vertex", {{{0, 0}, {0, Inf}, {2, 2}}}, kClip10, 0},
      {"NaN beside a sound square", {{{NaN, 0}, {0, 1}, {1, 1}}, Square}, kClip10, 2},
      {"1e30 vertices clipped", {{{0, 0}, {0, 1e30f}, {1e30f, 1e30f}, {1e30f, 0}}}, kClip10, 10},
      {"huge clip, small polygon", {Square}, {-1e30f, -1e30f, 1e30f, 1e30f}, 2},
      {"NaN clip", {Square}, {NaN, 0, 10, 10}, 0},
      {"inverted clip", {Square}, {10, 10, 0, 0}, 0},
  };
  for (const auto& C : Cases) EXPECT_EQ(Rasterize(C.Points, C.Clip).size(), C.Rows) << C.Why;
}

TEST(PolygonRasterizer, CallbackErrorLeavesNoResidue) {
  test::StartRaster();
  const TArrayOfArrayOfFloatPoint Square{{{0, 0}, {0, 2}, {2, 2}, {2, 0}}};
  EXPECT_THROW(RasterizePolyPolygon(Square, kClip10, [](const TValueSpan&, int) { throw std::runtime_error("x"); }),
               std::runtime_error);
  // A later call starts from a clean buffer.
  EXPECT_NEAR(Rasterize(Square, kClip10)[0].Values[0], 1.0f, 1e-6);
}

// ----- FreeType as the oracle ----------------------------------------------

enum class TFillRule { NonZero, EvenOdd };

constexpr int kSize = 48;  // the oracle's image is kSize x kSize pixels

using TImage = std::vector<int>;  // coverage 0..255, row-major, y down

double ApplyRule(double c, TFillRule Rule) {
  c = std::fabs(c);
  if (Rule == TFillRule::NonZero) return std::min(c, 1.0);
  c = std::fmod(c, 2.0);
  return c > 1 ? 2 - c : c;
}

// The signed area of every polygon inside pixel (X, Y), summed: each
// polygon clipped to the pixel in double precision, then the shoelace.
double ExactSignedCoverage(const TArrayOfArrayOfFloatPoint& Polygons, int X, int Y) {
  struct P2 {
    double X, Y;
  };
  double Sum = 0;
  for (const auto& Polygon : Polygons) {
    std::vector<P2> Ring;
    for (const TFloatPoint& P : Polygon) Ring.push_back({P.X, P.Y});
    for (int Side = 0; Side < 4 && !Ring.empty(); ++Side) {
      const auto Value = [&](P2 P) {  // >= 0: inside this side
        switch (Side) {
          case 0: return P.X - X;
          case 1: return X + 1 - P.X;
          case 2: return P.Y - Y;
          default: return Y + 1 - P.Y;
        }
      };
      std::vector<P2> Out;
      for (std::size_t i = 0; i < Ring.size(); ++i) {
        const P2 A = Ring[i], B = Ring[(i + 1) % Ring.size()];
        const double va = Value(A), vb = Value(B);
        if (va >= 0) Out.push_back(A);
        if ((va >= 0) != (vb >= 0)) {
          const double t = va / (va - vb);
          Out.push_back({A.X + t * (B.X - A.X), A.Y + t * (B.Y - A.Y)});
        }
      }
      Ring = std::move(Out);
    }
    for (std::size_t i = 0; i < Ring.size(); ++i) {
      const P2 A = Ring[i], B = Ring[(i + 1) % Ring.size()];
      Sum += (A.X * B.Y - B.X * A.Y) / 2;
    }
  }
  return Sum;
}

// Our signed coverage after the fill rule, as 0..255.
TImage OurCoverage(const TArrayOfArrayOfFloatPoint& Polygons, TFillRule Rule) {
  TImage Image(kSize * kSize, 0);
  for (const auto& S : Rasterize(Polygons, {0, 0, float(kSize), float(kSize)}))
    for (int x = S.X1; x <= S.X2; ++x) {
      float c = std::fabs(S.Values[x - S.X1]);
      if (Rule == TFillRule::NonZero) {
        c = std::min(c, 1.0f);
      } else {
        c = std::fmod(c, 2.0f);
        if (c > 1) c = 2 - c;
      }
      Image[S.Y * kSize + x] = int(std::lround(c * 255));
    }
  return Image;
}

TImage FreeTypeCoverage(const TArrayOfArrayOfFloatPoint& Polygons, TFillRule Rule) {
  FT_Library Library;
  EXPECT_EQ(FT_Init_FreeType(&Library), 0);
  std::vector<FT_Vector> Points;
  std::vector<char> Tags;
  std::vector<short> Contours;
  for (const auto& Polygon : Polygons) {
    // 26.6 with y up: pixel row r of ours is FreeType's row -r - 1.
    for (const TFloatPoint& P : Polygon) {
      Points.push_back({FT_Pos(std::lround(P.X * 64)), FT_Pos(std::lround(-P.Y * 64))});
      Tags.push_back(FT_CURVE_TAG_ON);
    }
    Contours.push_back(short(Points.size() - 1));
  }
  FT_Outline Outline{};
  Outline.n_points = short(Points.size());
  Outline.n_contours = short(Contours.size());
  Outline.points = Points.data();
  Outline.tags = Tags.data();
  Outline.contours = Contours.data();
  Outline.flags = Rule == TFillRule::EvenOdd ? FT_OUTLINE_EVEN_ODD_FILL : 0;

  TImage Image(kSize * kSize, 0);
  FT_Raster_Params Params{};
  Params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
  Params.clip_box = {0, -kSize, kSize, 0};
  Params.user = &Image;
  Params.gray_spans = [](int Y, int Count, const FT_Span* Spans, void* User) {
    auto& Img = *static_cast<TImage*>(User);
    const int Row = -Y - 1;
    if (Row < 0 || Row >= kSize) return;
    for (int i = 0; i < Count; ++i)
      for (int x = Spans[i].x; x < Spans[i].x + Spans[i].len; ++x)
        if (x >= 0 && x < kSize) Img[Row * kSize + x] = Spans[i].coverage;
  };
  EXPECT_EQ(FT_Outline_Render(Library, &Outline, &Params), 0);
  FT_Done_FreeType(Library);
  return Image;
}

TEST(PolygonRasterizer, AgreesWithFreeTypeOnRandomPolygons) {
  std::mt19937 Random(20261210);
  std::uniform_int_distribution<int> Coordinate(-4 * 64, (kSize + 4) * 64);  // a little outside too
  std::uniform_int_distribution<int> VertexCount(3, 12), PolygonCount(1, 3);
  for (int Case = 0; Case < 200; ++Case) {
    TArrayOfArrayOfFloatPoint Polygons(PolygonCount(Random));
    for (auto& Polygon : Polygons) {
      Polygon.resize(VertexCount(Random));
      for (auto& P : Polygon) P = {Coordinate(Random) / 64.0f, Coordinate(Random) / 64.0f};
    }
    for (TFillRule Rule : {TFillRule::NonZero, TFillRule::EvenOdd}) {
      const TImage Ours = OurCoverage(Polygons, Rule);
      TImage Theirs = FreeTypeCoverage(Polygons, Rule);
      for (int i = 0; i < kSize * kSize; ++i) {
        if (std::abs(Ours[i] - Theirs[i]) <= 2) continue;
        // FreeType truncates per cell; where many edges cancel in one pixel
        // its error adds up. The exact area decides who is right.
        const double Exact = ApplyRule(ExactSignedCoverage(Polygons, i % kSize, i / kSize), Rule) * 255;
        EXPECT_LE(std::fabs(Ours[i] - Exact), 1.0)
            << "case " << Case << " at (" << i % kSize << ", " << i / kSize << "): ours " << Ours[i] << ", FreeType "
            << Theirs[i] << ", exact " << Exact;
        Theirs[i] = Ours[i];
      }
      int Worst = 0, At = 0;
      for (int i = 0; i < kSize * kSize; ++i)
        if (std::abs(Ours[i] - Theirs[i]) > Worst) Worst = std::abs(Ours[i] - Theirs[i]), At = i;
      ASSERT_LE(Worst, 2) << "case " << Case << (Rule == TFillRule::NonZero ? " non-zero" : " even-odd")
                          << " at (" << At % kSize << ", " << At / kSize << "): ours " << Ours[At] << ", FreeType "
                          << Theirs[At];
    }
  }
}

}  // namespace
}  // namespace velkor::Raster_VPR
