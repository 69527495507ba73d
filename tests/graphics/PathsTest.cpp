// Paths: flattening, the smooth and relative forms, the flattened path's
// polygons and events, and assignment.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "RasterTestSupport.h"
#include "graphics/Raster_Paths.h"

namespace velkor::Raster_Paths {
namespace {

// A base path that records what it appends.
class TRecordingPath : public TCustomPath {
 public:
  void AppendPoint(const TFloatPoint& P) override { Appended.push_back(P); }
  TArrayOfFloatPoint Appended;
};

class TInspectablePath : public TFlattenedPath {
 public:
  std::size_t Capacity() const { return FPoints.size(); }
};

TEST(Paths, StraightCubicAppendsOnlyItsEnds) {
  TRecordingPath Path;
  Path.MoveTo(0, 0);
  Path.CurveTo(1, 0, 2, 0, 3, 0);
  EXPECT_EQ(Path.Appended, (TArrayOfFloatPoint{{0, 0}, {3, 0}}));
}

TEST(Paths, CurvesAreFlatWithinTheTolerance) {
  TRecordingPath Path;
  Path.MoveTo(0, 0);
  Path.CurveTo(0, 100, 100, 100, 100, 0);
  ASSERT_GT(Path.Appended.size(), 10u);
  EXPECT_EQ(Path.Appended.front(), (TFloatPoint{0, 0}));  // the start again
  EXPECT_EQ(Path.Appended.back(), (TFloatPoint{100, 0}));
  // Every point lies on the curve x(t) = 300 t^2 - 200 t^3, y(t) = 300 t (1 - t)
  // at some t: check the chord midpoints stay close to it.
  for (std::size_t i = 0; i + 1 < Path.Appended.size(); ++i) {
    const TFloatPoint A = Path.Appended[i], B = Path.Appended[i + 1];
    const float MidY = (A.Y + B.Y) / 2, MidX = (A.X + B.X) / 2;
    float Best = 1e9f;
    for (int k = 0; k <= 4000; ++k) {
      const float t = k / 4000.0f;
      const float x = 300 * t * t - 200 * t * t * t, y = 300 * t * (1 - t);
      Best = std::min(Best, std::hypot(x - MidX, y - MidY));
    }
    EXPECT_LT(Best, 0.25f) << "chord " << i;
  }
  TRecordingPath Conic;
  Conic.MoveTo(0, 0);
  Conic.ConicTo(50, 100, 100, 0);
  EXPECT_GT(Conic.Appended.size(), 8u);
  EXPECT_EQ(Conic.Appended.back(), (TFloatPoint{100, 0}));
}

TEST(Paths, SmoothFormsMirrorOnlyTheirOwnKind) {
  using TStep = void (*)(TCustomPath&);
  // The smooth call must append exactly what the explicit call with the
  // expected control point appends.
  const struct {
    const char* Why;
    TStep Prefix, Smooth, Explicit;
  } Cases[] = {
      {"cubic after a line: the current point", [](TCustomPath& P) { P.LineTo(10, 0); },
       [](TCustomPath& P) { P.CurveTo(20, 10, 30, 0); }, [](TCustomPath& P) { P.CurveTo(10, 0, 20, 10, 30, 0); }},
      {"cubic after a cubic: mirrored", [](TCustomPath& P) { P.CurveTo(0, 10, 10, 10, 10, 0); },
       [](TCustomPath& P) { P.CurveTo(20, 10, 30, 0); }, [](TCustomPath& P) { P.CurveTo(10, -10, 20, 10, 30, 0); }},
      {"conic after a cubic: not mirrored", [](TCustomPath& P) { P.CurveTo(0, 10, 10, 10, 10, 0); },
       [](TCustomPath& P) { P.ConicTo(30, 0); }, [](TCustomPath& P) { P.ConicTo(10, 0, 30, 0); }},
      {"conic after a conic: mirrored", [](TCustomPath& P) { P.ConicTo(5, 10, 10, 0); },
       [](TCustomPath& P) { P.ConicTo(30, 0); }, [](TCustomPath& P) { P.ConicTo(15, -10, 30, 0); }},
      {"cubic after a conic: not mirrored", [](TCustomPath& P) { P.ConicTo(5, 10, 10, 0); },
       [](TCustomPath& P) { P.CurveTo(20, 10, 30, 0); }, [](TCustomPath& P) { P.CurveTo(10, 0, 20, 10, 30, 0); }},
  };
  for (const auto& C : Cases) {
    TRecordingPath Smooth, Explicit;
    C.Prefix(Smooth);
    C.Smooth(Smooth);
    C.Prefix(Explicit);
    C.Explicit(Explicit);
    EXPECT_EQ(Smooth.Appended, Explicit.Appended) << C.Why;
    EXPECT_GT(Smooth.Appended.size(), 4u) << C.Why;  // the curves really bend
  }
}

TEST(Paths, RelativeFormsOffsetByTheCurrentPoint) {
  TRecordingPath Path;
  Path.MoveTo(10, 20);
  Path.LineToRelative(5, 0);          // (15, 20)
  Path.HorizontalLineToRelative(-3);  // (12, 20)
  Path.VerticalLineToRelative(4);     // (12, 24)
  Path.VerticalLineTo(0);             // (12, 0)
  Path.HorizontalLineTo(1);           // (1, 0)
  Path.MoveToRelative(1, 1);          // (2, 1), appends nothing
  Path.CurveToRelative(1, 0, 2, 0, 3, 0);
  EXPECT_EQ(Path.Appended,
            (TArrayOfFloatPoint{{15, 20}, {12, 20}, {12, 24}, {12, 0}, {1, 0}, {2, 1}, {5, 1}}));
  EXPECT_EQ(Path.CurrentPoint(), (TFloatPoint{5, 1}));
}

TEST(Paths, NonFiniteCurvesEndWithoutRunningAway) {
  const float Inf = std::numeric_limits<float>::infinity(), NaN = std::numeric_limits<float>::quiet_NaN();
  for (float Bad : {Inf, NaN, 3e38f}) {
    TRecordingPath Path;
    Path.CurveTo(Bad, 0, 0, Bad, 10, 10);
    Path.ConicTo(Bad, Bad, 5, 5);
    EXPECT_LT(Path.Appended.size(), 1u << 17) << Bad;  // bounded by the depth limit
    EXPECT_EQ(Path.CurrentPoint(), (TFloatPoint{5, 5}));
  }
}

TEST(FlattenedPath, MoveToAndClosePathMakePolygons) {
  TFlattenedPath Path;
  Path.MoveTo(0, 0);
  Path.LineTo(10, 0);
  Path.LineTo(10, 10);
  Path.ClosePath();
  ASSERT_EQ(Path.Path().size(), 1u);
  EXPECT_EQ(Path.Path()[0], (TArrayOfFloatPoint{{0, 0}, {10, 0}, {10, 10}}));
  EXPECT_EQ(Path.CurrentPoint(), (TFloatPoint{0, 0}));
  EXPECT_TRUE(Path.Points().empty());

  Path.MoveTo(1, 1);
  Path.LineTo(2, 1);
  Path.MoveTo(5, 5);  // closes the open polygon first
  EXPECT_EQ(Path.Path().size(), 2u);
  EXPECT_EQ(Path.CurrentPoint(), (TFloatPoint{5, 5}));
  EXPECT_EQ(Path.Points(), (TArrayOfFloatPoint{{5, 5}}));
}

TEST(FlattenedPath, ShapesReplaceThePathAndRaiseEvents) {
  test::StartRaster();
  TFlattenedPath Path;
  std::string Events;
  Path.OnBeginPath = [&](TObject*) { Events += 'B'; };
  Path.OnClosePath = [&](TObject*) { Events += 'C'; };
  Path.OnEndPath = [&](TObject*) { Events += 'E'; };
  Path.Circle(0, 0, 5, 8);
  Path.Rectangle({0, 0, 4, 3});
  EXPECT_EQ(Events, "BCEBCE");
  ASSERT_EQ(Path.Path().size(), 1u);
  EXPECT_EQ(Path.Path()[0], (TArrayOfFloatPoint{{0, 0}, {4, 0}, {4, 3}, {0, 3}}));

  Path.MoveTo(50, 60);
  Path.Ellipse(10, 5);
  ASSERT_EQ(Path.Path().size(), 1u);
  ASSERT_EQ(Path.Path()[0].size(), 100u);
  EXPECT_EQ(Path.Path()[0][0], (TFloatPoint{60, 60}));  // centred on the old current point

  Path.RoundRect({0, 0, 20, 10}, 3);
  ASSERT_EQ(Path.Path().size(), 1u);
  const TFloatRect B{-1, -1, 21, 11};
  for (const TFloatPoint P : Path.Path()[0]) {
    EXPECT_GE(P.X, B.Left);
    EXPECT_LE(P.X, B.Right);
  }
  EXPECT_GT(Path.Path()[0].size(), 8u);

  Events.clear();
  Path.ClosePath();  // nothing open: the event still fires
  EXPECT_EQ(Events, "C");
  Path.Polygon({});  // nothing at all
  EXPECT_EQ(Events, "C");
}

TEST(FlattenedPath, PointStorageGrowsBy128) {
  TInspectablePath Path;
  EXPECT_TRUE(Path.Points().empty());
  for (int i = 0; i < 130; ++i) Path.AppendPoint({float(i), 0});
  EXPECT_EQ(Path.Capacity(), 256u);
  EXPECT_EQ(Path.Points().size(), 130u);
}

TEST(FlattenedPath, AssignCopiesClosedPolygonsOnly) {
  TFlattenedPath Source, Dest;
  Source.MoveTo(0, 0);
  Source.LineTo(1, 0);
  Source.LineTo(1, 1);
  Source.ClosePath();
  Source.MoveTo(7, 7);  // open, not copied
  Source.LineTo(8, 8);
  Dest.Assign(&Source);
  EXPECT_EQ(Dest.Path(), Source.Path());
  EXPECT_TRUE(Dest.Points().empty());
  EXPECT_EQ(Dest.CurrentPoint(), (TFloatPoint{8, 8}));

  TRecordingPath Plain;
  Plain.Assign(&Source);  // a plain path takes the points' state
  EXPECT_EQ(Plain.CurrentPoint(), (TFloatPoint{8, 8}));
  TNotifiablePersistent Other;
  EXPECT_THROW(Other.Assign(&Source), EConvertError);
}

}  // namespace
}  // namespace velkor::Raster_Paths
