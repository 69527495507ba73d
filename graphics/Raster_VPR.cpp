#include "graphics/Raster_VPR.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "graphics/Raster_LowLevel.h"
#include "graphics/Raster_Math.h"
#include "graphics/Raster_VectorUtils.h"

namespace velkor::Raster_VPR {

namespace {

// Beyond this many pixels from the origin a 32-bit float cannot hold a
// fraction of a pixel; the clip is limited to it, which also keeps every
// floor inside the integer range.
constexpr float kCoordinateLimit = float(1 << 22);

// floor for values well inside the integer range: the explicit form of
// "every conversion rounds down".
inline int Floor(float X) {
  const int i = static_cast<int>(X);
  return X < static_cast<float>(i) ? i - 1 : i;
}

bool AllFinite(const TArrayOfFloatPoint& Polygon) {
  for (const TFloatPoint& P : Polygon)
    if (!std::isfinite(P.X) || !std::isfinite(P.Y)) return false;
  return true;
}

// The scan lines of all polygons of one call: every row's segments lie in
// one pool, sized exactly from the per-row edge counts before any edge is
// cut. A row lists the segments of later polygons before those of earlier
// ones, which is the order that merging each polygon's rows into those
// gathered so far gives.
struct TScanLineSet {
  int RowMin = 0;
  std::vector<TScanLine> Rows;
  std::unique_ptr<TLineSegment[]> Pool;
};

inline void Push(TScanLineSet& Set, int Row, TFloatPoint A, TFloatPoint B) {
  TScanLine& Line = Set.Rows[Row - Set.RowMin];
  Line.Segments[Line.Count++] = {A, B};
}

// Cuts the edge P-Q into per-row segments. The X where the edge crosses a
// row line advances by the slope from row to row; the sum drifts, so each
// crossing is held inside the edge's own X range (the coverage buffer is
// sized from the polygons' points).
void AddEdgeToScanLines(TScanLineSet& Set, TFloatPoint P, TFloatPoint Q) {
  const int a = Floor(P.Y), b = Floor(Q.Y);
  const float fa = P.Y - float(a), fb = Q.Y - float(b);
  if (a == b) {
    // A horizontal edge exactly on the row's top line covers nothing.
    if (fa == 0 && fb == 0) return;
    Push(Set, a, {P.X, fa}, {Q.X, fb});
    return;
  }
  const float d = (Q.X - P.X) / (Q.Y - P.Y);
  const float Lo = std::min(P.X, Q.X), Hi = std::max(P.X, Q.X);
  const auto In = [Lo, Hi](float x) { return std::clamp(x, Lo, Hi); };
  if (a < b) {
    float x = P.X + (float(a + 1) - P.Y) * d;
    Push(Set, a, {P.X, fa}, {In(x), 1});
    for (int Row = a + 1; Row < b; ++Row) {
      Push(Set, Row, {In(x), 0}, {In(x + d), 1});
      x += d;
    }
    if (fb != 0) Push(Set, b, {In(x), 0}, {Q.X, fb});
  } else {
    float x = P.X + (float(a) - P.Y) * d;
    if (fa != 0) Push(Set, a, {P.X, fa}, {In(x), 0});
    for (int Row = a - 1; Row > b; --Row) {
      Push(Set, Row, {In(x), 1}, {In(x - d), 0});
      x -= d;
    }
    Push(Set, b, {In(x), 1}, {Q.X, fb});
  }
}

// Closed polygons (each ends on its first point) to scan lines.
void BuildScanLines(const std::vector<TArrayOfFloatPoint>& Polygons, TScanLineSet& Set) {
  int RowMin = INT_MAX, RowMax = INT_MIN;
  for (const auto& Polygon : Polygons)
    for (const TFloatPoint& P : Polygon) {
      const int Row = Floor(P.Y);
      RowMin = std::min(RowMin, Row);
      RowMax = std::max(RowMax, Row);
    }
  if (RowMin > RowMax) return;
  const int RowCount = RowMax - RowMin + 2;
  Set.RowMin = RowMin;
  Set.Rows.assign(RowCount, TScanLine{});

  // A difference array: +1 on an edge's first row, -1 after its last; the
  // running sum is each row's capacity.
  std::vector<int> Diff(RowCount + 1, 0);
  for (const auto& Polygon : Polygons)
    for (std::size_t i = 0; i + 1 < Polygon.size(); ++i) {
      const int a = Floor(Polygon[i].Y) - RowMin, b = Floor(Polygon[i + 1].Y) - RowMin;
      ++Diff[std::min(a, b)];
      --Diff[std::max(a, b) + 1];
    }
  std::size_t Total = 0;
  std::vector<std::size_t> Offsets(RowCount);
  for (int k = 0, Running = 0; k < RowCount; ++k) {
    Running += Diff[k];
    Offsets[k] = Total;
    Total += static_cast<std::size_t>(Running);
  }
  Set.Pool.reset(new TLineSegment[std::max<std::size_t>(Total, 1)]);
  for (int k = 0; k < RowCount; ++k) {
    Set.Rows[k].Y = RowMin + k;
    Set.Rows[k].Segments = Set.Pool.get() + Offsets[k];
  }

  for (auto It = Polygons.rbegin(); It != Polygons.rend(); ++It)
    for (std::size_t i = 0; i + 1 < It->size(); ++i) AddEdgeToScanLines(Set, (*It)[i], (*It)[i + 1]);
}

// The coverage buffer, indexed by pixel X: it starts at pixel Lo.
struct TCoverage {
  float* Base;
  int Lo;
  float& operator[](int X) const { return Base[X - Lo]; }
  float* At(int X) const { return Base + (X - Lo); }
};

// Adds the signed area between the segment and the row's top line to the
// cells it passes.
void AddSegmentArea(const TCoverage& V, TFloatPoint P0, TFloatPoint P1) {
  const float x0 = P0.X, y0 = P0.Y, x1 = P1.X, y1 = P1.Y;
  const int i0 = Floor(x0), i1 = Floor(x1);
  if (i0 == i1) {
    V[i0] += (x1 - x0) * (y0 + y1) / 2;
    return;
  }
  const float k = (y1 - y0) / (x1 - x0);
  if (i0 < i1) {
    const float w = 1 - (x0 - float(i0));
    float g = y0 + k * w;
    V[i0] += w * (y0 + g) / 2;
    for (int i = i0 + 1; i < i1; ++i) {
      V[i] += g + k / 2;
      g += k;
    }
    V[i1] += (x1 - float(i1)) * (g + y1) / 2;
  } else {
    const float w = x0 - float(i0);
    float g = y0 - w * k;
    V[i0] -= w * (y0 + g) / 2;
    for (int i = i0 - 1; i > i1; --i) {
      V[i] -= g - k / 2;
      g -= k;
    }
    V[i1] -= (g + y1) / 2 * (1 - (x1 - float(i1)));
  }
}

// Winding of the points on the row's bottom line, spread by a running sum,
// then the segments' areas. Returns the touched range in SpanX1..SpanX2.
void AccumulateScanLine(const TScanLine& Line, const TCoverage& V, int& SpanX1, int& SpanX2) {
  SpanX1 = INT_MAX;
  SpanX2 = INT_MIN;
  const auto Visit = [&](TFloatPoint P, float Sign) {
    int j = Floor(P.X);
    SpanX1 = std::min(SpanX1, j);
    if (P.Y == 1) {
      const float f = P.X - float(j);
      V[j] += Sign * (1 - f);
      V[j + 1] += Sign * f;
      ++j;
    }
    SpanX2 = std::max(SpanX2, j);
  };
  for (int s = 0; s < Line.Count; ++s) {
    Visit(Line.Segments[s][0], -1);
    Visit(Line.Segments[s][1], 1);
  }
  Raster_Math::CumulativeSum(V.At(SpanX1), SpanX2 - SpanX1 + 1);
  for (int s = 0; s < Line.Count; ++s) AddSegmentArea(V, Line.Segments[s][0], Line.Segments[s][1]);
}

void RenderScanLine(const TScanLine& Line, const TCoverage& V, int MinX, int MaxX, TRenderSpanProc RenderProc,
                    void* Data) {
  if (Line.Count == 0) return;
  int X1, X2;
  AccumulateScanLine(Line, V, X1, X2);
  const int SpanX1 = std::max(X1, MinX), SpanX2 = std::min(X2, MaxX);
  // The whole accumulated range is cleared, not only the rendered part:
  // float residue in the unrendered cells beside the clip must not carry
  // into the next row.
  const auto Clear = [&] {
    Raster_LowLevel::FillLongwords(reinterpret_cast<std::uint32_t*>(V.At(X1)), std::uint32_t(X2 - X1 + 1), 0);
  };
  if (SpanX2 >= SpanX1) {
    try {
      RenderProc(Data, TValueSpan{SpanX1, SpanX2, V.At(SpanX1)}, Line.Y);
    } catch (...) {
      Clear();
      throw;
    }
  }
  Clear();
}

}  // namespace

void RasterizePolyPolygon(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect,
                          TRenderSpanProc RenderProc, void* Data) {
  if (Points.empty()) return;
  const auto Limit = [](float v) { return std::clamp(v, -kCoordinateLimit, kCoordinateLimit); };
  if (std::isnan(ClipRect.Left) || std::isnan(ClipRect.Top) || std::isnan(ClipRect.Right) ||
      std::isnan(ClipRect.Bottom))
    return;
  const TFloatRect Clip{Limit(ClipRect.Left), Limit(ClipRect.Top), Limit(ClipRect.Right), Limit(ClipRect.Bottom)};
  const int MinX = Floor(Clip.Left);
  const int MaxX = static_cast<int>(std::ceil(Clip.Right)) - 1;
  if (MaxX < MinX || Clip.Bottom <= Clip.Top) return;

  std::vector<TArrayOfFloatPoint> Closed;
  Closed.reserve(Points.size());
  float XLo = kCoordinateLimit, XHi = -kCoordinateLimit;
  for (const auto& Polygon : Points) {
    if (!AllFinite(Polygon)) continue;
    TArrayOfFloatPoint Clipped;
    Raster_VectorUtils::ClipPolygon(Polygon, Clip, Clipped);
    if (Clipped.size() < 3) continue;
    Raster_VectorUtils::ClosePolygon(Clipped, Clipped);
    for (const TFloatPoint& P : Clipped) {
      XLo = std::min(XLo, P.X);
      XHi = std::max(XHi, P.X);
    }
    Closed.push_back(std::move(Clipped));
  }
  if (Closed.empty()) return;

  TScanLineSet Set;
  BuildScanLines(Closed, Set);

  // The coverage buffer covers what the polygons touch: from the leftmost
  // point's pixel to two pixels right of the rightmost one (a point on a
  // row's bottom line writes one pixel further, and the running sum reads
  // it).
  const int BufLo = Floor(XLo), BufHi = Floor(XHi) + 2;
  std::vector<float> Buffer(static_cast<std::size_t>(BufHi - BufLo + 1), 0.0f);
  const TCoverage V{Buffer.data(), BufLo};

  for (const TScanLine& Line : Set.Rows) RenderScanLine(Line, V, MinX, MaxX, RenderProc, Data);
}

}  // namespace velkor::Raster_VPR
