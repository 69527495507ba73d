#include "graphics/Raster_Paths.h"

#include <cmath>

#include "graphics/Raster_VectorUtils.h"

namespace velkor::Raster_Paths {

namespace {

constexpr float kCubicTolerance = 0.25f;
constexpr float kConicTolerance = 0.25f;
// Halving 64 times makes any finite curve flat long before; the limit only
// stops curves whose flatness never drops (far beyond the float range).
constexpr int kMaxFlattenDepth = 64;

TFloatPoint Mid(TFloatPoint A, TFloatPoint B) { return {(A.X + B.X) / 2, (A.Y + B.Y) / 2}; }

// Flat when below the tolerance, and also when the measure is not a number
// at all (a NaN or infinite control point would otherwise recurse forever).
bool IsFlat(float F, float Tolerance) { return F < Tolerance || !std::isfinite(F); }

}  // namespace

// ----- TCustomPath ----------------------------------------------------------

const TClassInfo& TCustomPath::StaticClass() {
  static const TClassInfo info{"TCustomPath", &TThreadPersistent::StaticClass(),
                               [] { return New<TCustomPath>(); }, {}};
  return info;
}

void TCustomPath::AppendPoint(const TFloatPoint&) {}

void TCustomPath::Clear() { FControlPointOrigin = cpNone; }

void TCustomPath::MoveTo(const TFloatPoint& P) {
  FCurrentPoint = P;
  FControlPointOrigin = cpNone;
}

void TCustomPath::LineTo(const TFloatPoint& P) {
  AppendPoint(P);
  FCurrentPoint = P;
  FControlPointOrigin = cpNone;
}

void TCustomPath::CurveTo(const TFloatPoint& C1, const TFloatPoint& C2, const TFloatPoint& P) {
  FlattenCubic(FCurrentPoint, C1, C2, P, 0);
  AppendPoint(P);
  FCurrentPoint = P;
  FLastControlPoint = C2;
  FControlPointOrigin = cpCubic;
}

void TCustomPath::CurveTo(const TFloatPoint& C2, const TFloatPoint& P) {
  const TFloatPoint C1 = FControlPointOrigin == cpCubic
                             ? TFloatPoint{2 * FCurrentPoint.X - FLastControlPoint.X,
                                           2 * FCurrentPoint.Y - FLastControlPoint.Y}
                             : FCurrentPoint;
  CurveTo(C1, C2, P);
}

void TCustomPath::ConicTo(const TFloatPoint& P1, const TFloatPoint& P) {
  FlattenConic(FCurrentPoint, P1, P, 0);
  AppendPoint(P);
  FCurrentPoint = P;
  FLastControlPoint = P1;
  FControlPointOrigin = cpConic;
}

void TCustomPath::ConicTo(const TFloatPoint& P) {
  const TFloatPoint P1 = FControlPointOrigin == cpConic
                             ? TFloatPoint{2 * FCurrentPoint.X - FLastControlPoint.X,
                                           2 * FCurrentPoint.Y - FLastControlPoint.Y}
                             : FCurrentPoint;
  ConicTo(P1, P);
}

void TCustomPath::BeginPath() {}
void TCustomPath::EndPath() {}
void TCustomPath::ClosePath() {}

void TCustomPath::Rectangle(const TFloatRect& Rect) {
  Polygon({{Rect.Left, Rect.Top}, {Rect.Right, Rect.Top}, {Rect.Right, Rect.Bottom}, {Rect.Left, Rect.Bottom}});
}

void TCustomPath::RoundRect(const TFloatRect& Rect, float Radius) {
  TFloatRect R = Rect;
  InflateFloatRect(R, -Radius, -Radius);
  const TArrayOfFloatPoint Corners{{R.Left, R.Top}, {R.Right, R.Top}, {R.Right, R.Bottom}, {R.Left, R.Bottom}};
  Polygon(Raster_VectorUtils::GrowPolygon(Corners, Raster_VectorUtils::jsRound, true, 4, Radius));
}

void TCustomPath::Arc(const TFloatPoint& P, float StartAngle, float EndAngle, float Radius) {
  Polygon(Raster_VectorUtils::BuildArc(P, StartAngle, EndAngle, Radius));
}

void TCustomPath::Ellipse(float Rx, float Ry) { Ellipse(FCurrentPoint.X, FCurrentPoint.Y, Rx, Ry, 100); }

void TCustomPath::Ellipse(float Cx, float Cy, float Rx, float Ry, int Steps) {
  Polygon(Raster_VectorUtils::BuildEllipse({Cx, Cy}, {Rx, Ry}, Steps));
}

void TCustomPath::Circle(float Cx, float Cy, float Radius, int Steps) {
  Polygon(Raster_VectorUtils::BuildCircle({Cx, Cy}, Steps, Radius));
}

void TCustomPath::Circle(const TFloatPoint& Center, float Radius, int Steps) {
  Polygon(Raster_VectorUtils::BuildCircle(Center, Steps, Radius));
}

void TCustomPath::Polygon(const TArrayOfFloatPoint& APoints) {
  if (APoints.empty()) return;
  BeginPath();
  MoveTo(APoints[0]);
  for (std::size_t i = 1; i < APoints.size(); ++i) LineTo(APoints[i]);
  ClosePath();
  EndPath();
}

void TCustomPath::CurveToRelative(const TFloatPoint& C1, const TFloatPoint& C2, const TFloatPoint& P) {
  const TFloatPoint O = FCurrentPoint;
  CurveTo(C1 + O, C2 + O, P + O);
}

void TCustomPath::CurveToRelative(const TFloatPoint& C2, const TFloatPoint& P) {
  const TFloatPoint O = FCurrentPoint;
  CurveTo(C2 + O, P + O);
}

void TCustomPath::ConicToRelative(const TFloatPoint& P1, const TFloatPoint& P) {
  const TFloatPoint O = FCurrentPoint;
  ConicTo(P1 + O, P + O);
}

void TCustomPath::ConicToRelative(const TFloatPoint& P) { ConicTo(P + FCurrentPoint); }

void TCustomPath::AssignTo(TPersistent* Dest) const {
  auto* Path = dynamic_cast<TCustomPath*>(Dest);
  if (!Path) return TThreadPersistent::AssignTo(Dest);
  Path->FCurrentPoint = FCurrentPoint;
  Path->FLastControlPoint = FLastControlPoint;
  Path->FControlPointOrigin = FControlPointOrigin;
}

void TCustomPath::FlattenCubic(TFloatPoint P1, TFloatPoint P2, TFloatPoint P3, TFloatPoint P4, int Depth) {
  const float F = std::fabs(P1.X + P3.X - 2 * P2.X) + std::fabs(P1.Y + P3.Y - 2 * P2.Y) +
                  std::fabs(P2.X + P4.X - 2 * P3.X) + std::fabs(P2.Y + P4.Y - 2 * P3.Y);
  if (IsFlat(F, kCubicTolerance) || Depth >= kMaxFlattenDepth) {
    AppendPoint(P1);
    return;
  }
  const TFloatPoint M12 = Mid(P1, P2), M23 = Mid(P2, P3), M34 = Mid(P3, P4);
  const TFloatPoint M123 = Mid(M12, M23), M234 = Mid(M23, M34), M = Mid(M123, M234);
  FlattenCubic(P1, M12, M123, M, Depth + 1);
  FlattenCubic(M, M234, M34, P4, Depth + 1);
}

void TCustomPath::FlattenConic(TFloatPoint P1, TFloatPoint P2, TFloatPoint P3, int Depth) {
  const float F = std::fabs(P1.X + P3.X - 2 * P2.X) + std::fabs(P1.Y + P3.Y - 2 * P2.Y);
  if (IsFlat(F, kConicTolerance) || Depth >= kMaxFlattenDepth) {
    AppendPoint(P1);
    return;
  }
  const TFloatPoint M12 = Mid(P1, P2), M23 = Mid(P2, P3), M = Mid(M12, M23);
  FlattenConic(P1, M12, M, Depth + 1);
  FlattenConic(M, M23, P3, Depth + 1);
}

// ----- TFlattenedPath -------------------------------------------------------

const TClassInfo& TFlattenedPath::StaticClass() {
  static const TClassInfo info{"TFlattenedPath", &TCustomPath::StaticClass(),
                               [] { return New<TFlattenedPath>(); }, {}};
  return info;
}

void TFlattenedPath::AppendPoint(const TFloatPoint& P) {
  if (FPointIndex >= static_cast<int>(FPoints.size())) FPoints.resize(FPoints.size() + 128);
  FPoints[FPointIndex++] = P;
}

void TFlattenedPath::Clear() {
  TCustomPath::Clear();
  FPath.clear();
  FPoints.clear();
  FPointIndex = 0;
}

void TFlattenedPath::MoveTo(const TFloatPoint& P) {
  if (!FPoints.empty()) ClosePath();
  FCurrentPoint = P;
  FControlPointOrigin = cpNone;
  AppendPoint(P);
}

void TFlattenedPath::BeginPath() {
  FPath.clear();
  FPoints.clear();
  FPointIndex = 0;
  if (OnBeginPath) OnBeginPath(this);
}

void TFlattenedPath::EndPath() {
  if (OnEndPath) OnEndPath(this);
}

void TFlattenedPath::ClosePath() {
  if (!FPoints.empty()) {
    FCurrentPoint = FPoints[0];
    FPath.emplace_back(FPoints.begin(), FPoints.begin() + FPointIndex);
    FPoints.clear();
    FPointIndex = 0;
  }
  if (OnClosePath) OnClosePath(this);
}

void TFlattenedPath::Polygon(const TArrayOfFloatPoint& APoints) {
  if (APoints.empty()) return;
  BeginPath();
  for (const TFloatPoint& P : APoints) AppendPoint(P);
  ClosePath();
  EndPath();
}

TArrayOfFloatPoint TFlattenedPath::Points() const {
  return TArrayOfFloatPoint(FPoints.begin(), FPoints.begin() + FPointIndex);
}

void TFlattenedPath::AssignTo(TPersistent* Dest) const {
  TCustomPath::AssignTo(Dest);
  if (auto* Path = dynamic_cast<TFlattenedPath*>(Dest)) {
    Path->BeginPath();
    Path->FPath = FPath;
    Path->EndPath();
  }
}

}  // namespace velkor::Raster_Paths
