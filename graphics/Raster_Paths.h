// Vector paths: a current point, straight lines, cubic and quadratic
// (conic) Bezier curves with their smooth and relative forms, and closed
// shapes. TCustomPath turns every curve into straight pieces by recursive
// halving (until the control polygon is flat within 0.25 pixel) and hands
// each resulting point to AppendPoint; TFlattenedPath collects those points
// into closed polygons for the polygon rasteriser.
//
// Every curve appends its start point (the current point) once more before
// its pieces, then its end point.
#pragma once

#include <cstdint>

#include "graphics/Raster.h"
#include "graphics/RasterPersistents.h"

namespace velkor::Raster_Paths {

// Which kind of curve set the last control point; the smooth forms mirror
// it only after a curve of their own kind.
enum TControlPointOrigin { cpNone, cpCubic, cpConic };

class TCustomPath : public TThreadPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  TFloatPoint CurrentPoint() const { return FCurrentPoint; }
  void SetCurrentPoint(TFloatPoint Value) { FCurrentPoint = Value; }

  // Receives every point the path produces; the base ignores it.
  virtual void AppendPoint(const TFloatPoint& P);
  virtual void Clear();
  virtual void MoveTo(const TFloatPoint& P);
  virtual void LineTo(const TFloatPoint& P);
  virtual void CurveTo(const TFloatPoint& C1, const TFloatPoint& C2, const TFloatPoint& P);
  // Smooth: the first control point mirrors the last one of a cubic curve
  // through the current point, else it is the current point.
  virtual void CurveTo(const TFloatPoint& C2, const TFloatPoint& P);
  virtual void ConicTo(const TFloatPoint& P1, const TFloatPoint& P);
  // Smooth: the control point mirrors the last one of a conic curve.
  virtual void ConicTo(const TFloatPoint& P);
  virtual void BeginPath();
  virtual void EndPath();
  virtual void ClosePath();
  // The shapes each run a whole BeginPath .. EndPath cycle.
  virtual void Rectangle(const TFloatRect& Rect);
  virtual void RoundRect(const TFloatRect& Rect, float Radius);
  // The arc closed by its chord.
  virtual void Arc(const TFloatPoint& P, float StartAngle, float EndAngle, float Radius);
  // Centred on the current point, 100 points.
  virtual void Ellipse(float Rx, float Ry);
  virtual void Ellipse(float Cx, float Cy, float Rx, float Ry, int Steps);
  virtual void Circle(float Cx, float Cy, float Radius, int Steps);
  virtual void Circle(const TFloatPoint& Center, float Radius, int Steps);
  virtual void Polygon(const TArrayOfFloatPoint& APoints);

  void MoveTo(float X, float Y) { MoveTo(TFloatPoint{X, Y}); }
  void LineTo(float X, float Y) { LineTo(TFloatPoint{X, Y}); }
  void CurveTo(float X1, float Y1, float X2, float Y2, float X, float Y) { CurveTo({X1, Y1}, {X2, Y2}, {X, Y}); }
  void CurveTo(float X2, float Y2, float X, float Y) { CurveTo(TFloatPoint{X2, Y2}, TFloatPoint{X, Y}); }
  void ConicTo(float X1, float Y1, float X, float Y) { ConicTo(TFloatPoint{X1, Y1}, TFloatPoint{X, Y}); }
  void ConicTo(float X, float Y) { ConicTo(TFloatPoint{X, Y}); }
  void HorizontalLineTo(float X) { LineTo(X, FCurrentPoint.Y); }
  void VerticalLineTo(float Y) { LineTo(FCurrentPoint.X, Y); }

  // Relative forms: every point is offset by the current point at the
  // start of the call.
  void MoveToRelative(const TFloatPoint& P) { MoveTo(FCurrentPoint + P); }
  void MoveToRelative(float X, float Y) { MoveToRelative(TFloatPoint{X, Y}); }
  void LineToRelative(const TFloatPoint& P) { LineTo(FCurrentPoint + P); }
  void LineToRelative(float X, float Y) { LineToRelative(TFloatPoint{X, Y}); }
  void HorizontalLineToRelative(float X) { HorizontalLineTo(FCurrentPoint.X + X); }
  void VerticalLineToRelative(float Y) { VerticalLineTo(FCurrentPoint.Y + Y); }
  void CurveToRelative(const TFloatPoint& C1, const TFloatPoint& C2, const TFloatPoint& P);
  void CurveToRelative(float X1, float Y1, float X2, float Y2, float X, float Y) {
    CurveToRelative({X1, Y1}, {X2, Y2}, {X, Y});
  }
  void CurveToRelative(const TFloatPoint& C2, const TFloatPoint& P);
  void CurveToRelative(float X2, float Y2, float X, float Y) {
    CurveToRelative(TFloatPoint{X2, Y2}, TFloatPoint{X, Y});
  }
  void ConicToRelative(const TFloatPoint& P1, const TFloatPoint& P);
  void ConicToRelative(float X1, float Y1, float X, float Y) {
    ConicToRelative(TFloatPoint{X1, Y1}, TFloatPoint{X, Y});
  }
  void ConicToRelative(const TFloatPoint& P);
  void ConicToRelative(float X, float Y) { ConicToRelative(TFloatPoint{X, Y}); }

 protected:
  // Copies the current point, the last control point and its origin to
  // another path; any other destination raises the assignment error.
  void AssignTo(TPersistent* Dest) const override;

  TFloatPoint FCurrentPoint;
  TFloatPoint FLastControlPoint;
  TControlPointOrigin FControlPointOrigin = cpNone;

 private:
  void FlattenCubic(TFloatPoint P1, TFloatPoint P2, TFloatPoint P3, TFloatPoint P4, int Depth);
  void FlattenConic(TFloatPoint P1, TFloatPoint P2, TFloatPoint P3, int Depth);
};

// Collects the path's points into closed polygons. Every shape replaces
// what the path held (it begins a new path).
class TFlattenedPath : public TCustomPath {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  using TCustomPath::MoveTo;

  void AppendPoint(const TFloatPoint& P) override;
  void Clear() override;
  // Closes an open polygon first, then starts a new one at P.
  void MoveTo(const TFloatPoint& P) override;
  void BeginPath() override;
  void EndPath() override;
  // Moves the open polygon into Path and sets the current point back to its
  // first point; OnClosePath follows even when no polygon was open.
  void ClosePath() override;
  void Polygon(const TArrayOfFloatPoint& APoints) override;
  // A hook for descendants that draw the path; nothing here.
  virtual void DrawPath() {}

  // The open polygon's points so far (a copy).
  TArrayOfFloatPoint Points() const;
  // The closed polygons. Their points may be moved in place.
  const TArrayOfArrayOfFloatPoint& Path() const { return FPath; }
  TArrayOfArrayOfFloatPoint& Path() { return FPath; }

  TNotifyEvent OnBeginPath;
  TNotifyEvent OnEndPath;
  TNotifyEvent OnClosePath;

 protected:
  // The inherited copy; a flattened destination also gets a deep copy of
  // the closed polygons (not the open one) in a BeginPath .. EndPath cycle.
  void AssignTo(TPersistent* Dest) const override;

  TArrayOfArrayOfFloatPoint FPath;
  TArrayOfFloatPoint FPoints;  // its length is a capacity: 128 more at a time
  int FPointIndex = 0;
};

}  // namespace velkor::Raster_Paths
