#include "graphics/Raster_VectorUtils.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace velkor::Raster_VectorUtils {

namespace {

// ----- Line clipping --------------------------------------------------------

enum : unsigned { kLeft = 1, kRight = 2, kAbove = 4, kBelow = 8 };

unsigned HorizontalCode(int X, int MinX, int MaxX) {
  return (X < MinX ? kLeft : 0u) | (X > MaxX ? kRight : 0u);
}

unsigned VerticalCode(int Y, int MinY, int MaxY) {
  return (Y < MinY ? kAbove : 0u) | (Y > MaxY ? kBelow : 0u);
}

// a - b and a + b as 32-bit integers wrap: far-apart coordinates must not
// make the arithmetic undefined.
int Sub(int a, int b) { return static_cast<int>(std::uint32_t(a) - std::uint32_t(b)); }
int Add(int a, int b) { return static_cast<int>(std::uint32_t(a) + std::uint32_t(b)); }

// ----- Polygon clipping -----------------------------------------------------

// One point of the clipping ring: the points stay where they are in the
// array and the ring is threaded through Next, so cutting a run of outside
// points out and linking two intersections in costs nothing.
struct TClipItem {
  TFloatPoint P;
  unsigned Code;  // bit set = inside that side; 0 once cut out of the ring
  int Next;
  bool Alive;
};

unsigned InsideCode(TFloatPoint P, const TFloatRect& R) {
  return (P.X >= R.Left ? 1u : 0u) | (P.X <= R.Right ? 2u : 0u) | (P.Y >= R.Top ? 4u : 0u) |
         (P.Y <= R.Bottom ? 8u : 0u);
}

// The point of P0-P1 on the side's boundary: the coordinate the side fixes
// is the boundary itself, the other one is interpolated (in double, so that
// coordinates near the float range do not overflow on the way).
TFloatPoint Intersect(TFloatPoint P0, TFloatPoint P1, int Side, const TFloatRect& R) {
  const double x0 = P0.X, y0 = P0.Y, x1 = P1.X, y1 = P1.Y;
  switch (Side) {
    case 0:
    case 1: {
      const float b = Side == 0 ? R.Left : R.Right;
      return {b, static_cast<float>(y0 + (y1 - y0) * (b - x0) / (x1 - x0))};
    }
    default: {
      const float b = Side == 2 ? R.Top : R.Bottom;
      return {static_cast<float>(x0 + (x1 - x0) * (b - y0) / (y1 - y0)), b};
    }
  }
}

// ----- Shape outlines -------------------------------------------------------

int ClampSteps(double Steps) {
  if (!(Steps >= 0)) return 0;  // NaN too
  return Steps > kMaxAutoSteps ? kMaxAutoSteps : static_cast<int>(Steps);
}

// The count whose chords stay within 1/8 pixel of a circle of radius R:
// pi / arccos(R / (R + 0.125)), truncated. Large radii make the cosine 1
// and the quotient infinite; the clamp catches that.
int AutoCircleSteps(float Radius) {
  const double R = std::fabs(double(Radius));
  if (!std::isfinite(R)) return 2;
  return std::max(ClampSteps(std::numbers::pi / std::acos(R / (R + 0.125))), 2);
}

bool IsZero(TFloatPoint P) { return P.X == 0 && P.Y == 0; }

// Rotates (x, y) by the angle whose cosine and sine are given.
inline void Rotate(float& X, float& Y, float Cos, float Sin) {
  const float x = X * Cos - Y * Sin;
  Y = Y * Cos + X * Sin;
  X = x;
}

struct TGrowState {
  TArrayOfFloatPoint& Out;
  float Delta;
  float RMinSq;
  float CosStep, SinStep, StepsPerRadian;

  void Add(TFloatPoint V, float dx, float dy) { Out.push_back({V.X + dx, V.Y + dy}); }

  void Miter(TFloatPoint V, TFloatPoint A, TFloatPoint B) {
    const float l = A.X * (A.X + B.X) + A.Y * (A.Y + B.Y);
    if (l >= RMinSq) {
      const float q = Delta / l;
      Add(V, (A.X + B.X) * q, (A.Y + B.Y) * q);
    } else {
      Add(V, A.X * Delta, A.Y * Delta);
      Add(V, B.X * Delta, B.Y * Delta);
    }
  }

  void Bevel(TFloatPoint V, TFloatPoint A, TFloatPoint B) {
    if ((A.X * B.Y - A.Y * B.X) * Delta <= 0) return Miter(V, A, B);
    Add(V, A.X * Delta, A.Y * Delta);
    Add(V, B.X * Delta, B.Y * Delta);
  }

  void Round(TFloatPoint V, TFloatPoint A, TFloatPoint B) {
    const float Cross = A.X * B.Y - A.Y * B.X;
    if (Cross * Delta <= 0) return Miter(V, A, B);
    const float Sin = Cross < 0 ? -SinStep : SinStep;
    const float dx = B.X - A.X, dy = B.Y - A.Y;
    const float m = 1 - (dx * dx + dy * dy) / 2;  // cosine of the turn
    // arccos(m) as pi/2 - arcsin(m), arcsin by its first two terms.
    const double Turn = std::fabs(std::numbers::pi / 2 - m * (m * m * 0.1667f + 1));
    const int n = ClampSteps(std::nearbyint(Turn * StepsPerRadian) - 1);
    float x = A.X * Delta, y = A.Y * Delta;
    Add(V, x, y);
    for (int i = 0; i < n; ++i) {
      Rotate(x, y, CosStep, Sin);
      Add(V, x, y);
    }
    Add(V, B.X * Delta, B.Y * Delta);
  }

  void Join(std::uint8_t Style, TFloatPoint V, TFloatPoint A, TFloatPoint B) {
    switch (Style) {
      case jsBevel: return Bevel(V, A, B);
      case jsRound: return Round(V, A, B);
      default: return Miter(V, A, B);
    }
  }
};

}  // namespace

bool ClipLine(int& X1, int& Y1, int& X2, int& Y2, int MinX, int MinY, int MaxX, int MaxY) {
  unsigned C1 = HorizontalCode(X1, MinX, MaxX) | VerticalCode(Y1, MinY, MaxY);
  unsigned C2 = HorizontalCode(X2, MinX, MaxX) | VerticalCode(Y2, MinY, MaxY);
  if ((C1 & C2) != 0 || (C1 | C2) == 0) return C1 == 0 && C2 == 0;

  // Onto the top or bottom edge first: that may already bring a point
  // inside horizontally as well.
  if (C1 & (kAbove | kBelow)) {
    const int Y = Y1 > MaxY ? MaxY : MinY;
    X1 = Add(X1, Raster_Math::MulDivRounded(Sub(Y, Y1), Sub(X2, X1), Sub(Y2, Y1)));
    Y1 = Y;
    C1 = HorizontalCode(X1, MinX, MaxX);
  }
  if (C2 & (kAbove | kBelow)) {
    const int Y = (C2 & kAbove) && !(C2 & kBelow) ? MinY : MaxY;
    X2 = Add(X2, Raster_Math::MulDivRounded(Sub(Y, Y2), Sub(X2, X1), Sub(Y2, Y1)));
    Y2 = Y;
    C2 = HorizontalCode(X2, MinX, MaxX);
  }
  if ((C1 & C2) != 0 || (C1 | C2) == 0) return C1 == 0 && C2 == 0;

  if (C1 != 0) {
    const int X = C1 == kLeft ? MinX : MaxX;
    Y1 = Add(Y1, Raster_Math::MulDivRounded(Sub(X, X1), Sub(Y2, Y1), Sub(X2, X1)));
    X1 = X;
  }
  if (C2 != 0) {
    const int X = C2 == kLeft ? MinX : MaxX;
    Y2 = Add(Y2, Raster_Math::MulDivRounded(Sub(X, X2), Sub(Y2, Y1), Sub(X2, X1)));
    X2 = X;
  }
  return true;
}

void ClipPolygon(const TArrayOfFloatPoint& Points, const TFloatRect& ClipRect, TArrayOfFloatPoint& Result) {
  const int Count = static_cast<int>(Points.size());
  if (Count == 0) {
    Result.clear();
    return;
  }

  std::vector<TClipItem> Items;
  unsigned AndCode = 15, OrCode = 0;
  for (const TFloatPoint& P : Points) {
    const unsigned Code = InsideCode(P, ClipRect);
    AndCode &= Code;
    OrCode |= Code;
  }
  if (AndCode == 15) {
    if (&Result != &Points) Result = Points;
    return;
  }
  if (OrCode != 15) {
    Result.clear();
    return;
  }

  // Each edge crosses at most as many boundaries as its end points' codes
  // differ in bits, and every crossing adds one point. The array may still
  // grow (the ring is index-linked), this only spares reallocations.
  std::size_t Capacity = Points.size();
  for (int i = 0; i < Count; ++i) {
    const unsigned a = InsideCode(Points[(i + Count - 1) % Count], ClipRect);
    const unsigned b = InsideCode(Points[i], ClipRect);
    Capacity += std::popcount(a ^ b);
  }
  Items.reserve(Capacity);
  for (int i = 0; i < Count; ++i)
    Items.push_back({Points[i], InsideCode(Points[i], ClipRect), i + 1 < Count ? i + 1 : 0, true});

  for (int Side = 0; Side < 4; ++Side) {
    const unsigned Bit = 1u << Side;
    if (AndCode & Bit) continue;

    int First = -1;
    for (int i = 0; i < static_cast<int>(Items.size()); ++i)
      if (Items[i].Alive && (Items[i].Code & Bit)) {
        First = i;
        break;
      }
    if (First < 0) {
      Result.clear();
      return;
    }

    int Cur = First;
    do {
      const int Next = Items[Cur].Next;
      if (Items[Next].Code & Bit) {
        Cur = Next;
        continue;
      }
      // Cur is inside, Next starts a run of outside points: replace the run
      // by its two crossings of the boundary.
      const TFloatPoint I1 = Intersect(Items[Cur].P, Items[Next].P, Side, ClipRect);
      int LastOut = Next;
      for (;;) {
        Items[LastOut].Code = 0;
        Items[LastOut].Alive = false;
        const int After = Items[LastOut].Next;
        if (Items[After].Code & Bit) break;
        LastOut = After;
      }
      const int R = Items[LastOut].Next;
      const TFloatPoint I2 = Intersect(Items[LastOut].P, Items[R].P, Side, ClipRect);
      const int i1 = static_cast<int>(Items.size());
      Items.push_back({I1, InsideCode(I1, ClipRect), i1 + 1, true});
      Items.push_back({I2, InsideCode(I2, ClipRect), R, true});
      Items[Cur].Next = i1;
      Cur = R;
    } while (Cur != First);
  }

  // Dead points still link forward, towards points that outlived them.
  int Start = 0;
  for (std::size_t Guard = 0; !Items[Start].Alive && Guard < Items.size(); ++Guard) Start = Items[Start].Next;
  TArrayOfFloatPoint Out;
  if (Items[Start].Alive) {
    int i = Start;
    do {
      Out.push_back(Items[i].P);
      i = Items[i].Next;
    } while (i != Start && Out.size() <= Items.size());
  }
  Result = std::move(Out);
}

void ClosePolygon(const TArrayOfFloatPoint& Points, TArrayOfFloatPoint& Result) {
  if (&Result != &Points) Result = Points;
  if (Result.size() >= 2) {
    const TFloatPoint First = Result.front(), Last = Result.back();
    if (Last.X != First.X || Last.Y != First.Y) Result.push_back(First);
  }
}

TFloatRect PolygonBounds(const TArrayOfFloatPoint& Points) {
  if (Points.empty()) return {};
  TFloatRect R{Points[0].X, Points[0].Y, Points[0].X, Points[0].Y};
  for (const TFloatPoint& P : Points) {
    if (P.X < R.Left) R.Left = P.X;
    if (P.X > R.Right) R.Right = P.X;
    if (P.Y < R.Top) R.Top = P.Y;
    if (P.Y > R.Bottom) R.Bottom = P.Y;
  }
  return R;
}

TArrayOfFloatPoint ScalePolygon(const TArrayOfFloatPoint& Points, float ScaleX, float ScaleY) {
  TArrayOfFloatPoint Result(Points.size());
  for (std::size_t i = 0; i < Points.size(); ++i) Result[i] = {Points[i].X * ScaleX, Points[i].Y * ScaleY};
  return Result;
}

TArrayOfArrayOfFloatPoint ScalePolyPolygon(const TArrayOfArrayOfFloatPoint& Points, float ScaleX, float ScaleY) {
  TArrayOfArrayOfFloatPoint Result;
  Result.reserve(Points.size());
  for (const auto& Polygon : Points) Result.push_back(ScalePolygon(Polygon, ScaleX, ScaleY));
  return Result;
}

TArrayOfFloatPoint TransformPolygon(const TArrayOfFloatPoint& Points,
                                    Raster_Transforms::TTransformation& Transformation) {
  // Transform prepares the transformation when its state is not current,
  // that is before the first point only.
  TArrayOfFloatPoint Result(Points.size());
  for (std::size_t i = 0; i < Points.size(); ++i) Result[i] = Transformation.Transform(Points[i]);
  return Result;
}

TArrayOfArrayOfFloatPoint TransformPolyPolygon(const TArrayOfArrayOfFloatPoint& Points,
                                               Raster_Transforms::TTransformation& Transformation) {
  TArrayOfArrayOfFloatPoint Result;
  Result.reserve(Points.size());
  for (const auto& Polygon : Points) Result.push_back(TransformPolygon(Polygon, Transformation));
  return Result;
}

TArrayOfFloatPoint BuildArc(TFloatPoint P, float StartAngle, float EndAngle, float Radius) {
  const double Sweep = double(EndAngle) - double(StartAngle);
  const double Q = std::fabs(double(Radius)) * Sweep * Sweep;
  const int Steps = Q >= 36 ? std::max(ClampSteps(std::nearbyint(std::sqrt(Q))), 6) : 6;

  TArrayOfFloatPoint Result(Steps);
  float x, y;
  Raster_Math::SinCosScaled(StartAngle, Radius, y, x);
  Result[0] = {P.X + x, P.Y + y};
  float Sin, Cos;
  Raster_Math::SinCosSingle((EndAngle - StartAngle) / float(Steps - 1), Sin, Cos);
  for (int i = 1; i < Steps; ++i) {
    Rotate(x, y, Cos, Sin);
    Result[i] = {P.X + x, P.Y + y};
  }
  return Result;
}

TArrayOfFloatPoint BuildCircle(TFloatPoint Center, int Steps, float Radius) {
  return BuildEllipse(Center, {Radius, Radius}, Steps);
}

TArrayOfFloatPoint BuildEllipse(TFloatPoint Center, TFloatPoint R, int Steps) {
  if (Steps < 1) Steps = AutoCircleSteps(std::min(std::fabs(R.X), std::fabs(R.Y)));
  TArrayOfFloatPoint Result(Steps);
  Result[0] = {Center.X + R.X, Center.Y};
  float Sin, Cos;
  Raster_Math::SinCosSingle(float(2 * std::numbers::pi / Steps), Sin, Cos);
  float x = Cos, y = Sin;  // the unit vector at angle i x step
  for (int i = 1; i < Steps; ++i) {
    Result[i] = {Center.X + R.X * x, Center.Y + R.Y * y};
    Rotate(x, y, Cos, Sin);
  }
  return Result;
}

TArrayOfFloatPoint BuildNormals(const TArrayOfFloatPoint& Points) {
  const std::size_t Count = Points.size();
  TArrayOfFloatPoint Result(Count);
  for (std::size_t j = 0; j < Count; ++j) {
    const std::size_t i = j + 1 < Count ? j + 1 : 0;
    const float dx = Points[i].X - Points[j].X, dy = Points[i].Y - Points[j].Y;
    const float len = Raster_Math::HypotFloat(dy, dx);
    Result[j] = len <= 0.0001f ? TFloatPoint{dy, -dx} : TFloatPoint{dy / len, -dx / len};
  }
  return Result;
}

TArrayOfFloatPoint GrowPolygon(const TArrayOfFloatPoint& Points, std::uint8_t JoinStyle, bool Closed,
                               float MiterLimit, float Delta) {
  TArrayOfFloatPoint Result;
  const int Count = static_cast<int>(Points.size());
  if (Count < 2) return Result;
  const TArrayOfFloatPoint N = BuildNormals(Points);

  int Last = Closed ? Count - 1 : Count - 2;
  while (Last >= 0 && IsZero(N[Last])) --Last;
  if (Last < 0) return Result;
  int First = 0;
  while (IsZero(N[First])) ++First;

  TGrowState G{Result, Delta, 2 / (MiterLimit * MiterLimit), 0, 0, 0};
  if (JoinStyle == jsRound) {
    float d = (1.414f / std::fabs(Delta)) * (1.414f / std::fabs(Delta));
    if (!(d <= 3)) d = 3;  // also for D = 0 and NaN
    G.CosStep = 1 - d / 2;
    G.SinStep = std::sqrt(1 - G.CosStep * G.CosStep);
    G.StepsPerRadian = 1 / std::acos(G.CosStep);
  }

  Result.reserve(128);
  TFloatPoint Prev = Closed ? N[Last] : N[First];
  for (int i = First; i <= Last; ++i) {
    if (IsZero(N[i])) continue;
    G.Join(JoinStyle, Points[i], Prev, N[i]);
    Prev = N[i];
  }
  if (!Closed) G.Join(JoinStyle, Points[Count - 1], Prev, Prev);
  Result.shrink_to_fit();
  return Result;
}

}  // namespace velkor::Raster_VectorUtils
