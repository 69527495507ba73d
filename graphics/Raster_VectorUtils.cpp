#include "graphics/Raster_VectorUtils.h"

#include <algorithm>
#include <bit>

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
// is the boundary itself, the other one is interpolated.
TFloatPoint Intersect(TFloatPoint P0, TFloatPoint P1, int Side, const TFloatRect& R) {
  switch (Side) {
    case 0:
    case 1: {
      const float b = Side == 0 ? R.Left : R.Right;
      return {b, P0.Y + (P1.Y - P0.Y) * (b - P0.X) / (P1.X - P0.X)};
    }
    default: {
      const float b = Side == 2 ? R.Top : R.Bottom;
      return {P0.X + (P1.X - P0.X) * (b - P0.Y) / (P1.Y - P0.Y), b};
    }
  }
}

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

}  // namespace velkor::Raster_VectorUtils
