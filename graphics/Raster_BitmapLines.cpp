// TCustomBitmap32: runs, lines and the stipple pattern.
//
// Two Bresenham families with different tie rules: Line/LineT start their
// error at half the major length and put |dx| = |dy| on the y-major path;
// LineS/LineTS use the midpoint error and put it on the x-major path.
//
// Exact clipping (LineS, LineTS, LineAS): the line is mirrored so that it
// runs towards +x and +y, and its axes exchanged so that x is the major
// axis. Where it enters and leaves the clip rectangle is then computed
// from the midpoint error in 128-bit integer arithmetic (64 bits overflow
// for lines between the ends of the int range), so the pixels drawn are
// exactly those of the unclipped line that fall inside, and a long line far
// outside costs constant time. The anti-aliased LineAS computes the range of major
// steps whose pixel pairs can reach the clip rectangle the same way, jumps
// its accumulator there, and tests each pair's two pixels.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "graphics/Raster.h"
#include "graphics/Raster_BitmapSupport.h"
#include "graphics/Raster_Blend.h"
#include "graphics/Raster_LowLevel.h"
#include "graphics/Raster_Math.h"
#include "graphics/Raster_VectorUtils.h"

namespace velkor {

using RasterBitmap::RoundToInt;

namespace {

constexpr std::uint32_t kLineInfo = AREAINFO_LINE + 2;

int Sign(std::int64_t V) { return V > 0 ? 1 : (V < 0 ? -1 : 0); }

// Differences of 32-bit coordinates wrap like the integers they are.
constexpr int WrapSub(int A, int B) { return int(std::uint32_t(A) - std::uint32_t(B)); }
constexpr int WrapAdd(int A, int B) { return int(std::uint32_t(A) + std::uint32_t(B)); }

TRect FixedSegmentToRect(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2) {
  return FixedRectToRect(MakeFixedRect(X1, Y1, X2, Y2), rrNearest);
}

// A line in the frame where it runs towards +x and +y with x as the major
// axis, and the way back to bitmap coordinates.
struct TMirroredLine {
  std::int64_t X1, Y1, X2, Y2, dx, dy;
  std::int64_t cx1, cx2, cy1, cy2;  // clip bounds, inclusive
  int sx, sy;                       // the real directions of the major and minor axis
  bool swapped;                     // x is the real Y axis

  // False when the line lies wholly outside the clip bounds along an axis.
  bool Setup(int AX1, int AY1, int AX2, int AY2, const TRect& Clip, bool SwapWhenSteeper) {
    X1 = AX1, Y1 = AY1, X2 = AX2, Y2 = AY2;
    dx = X2 - X1, dy = Y2 - Y1;
    cx1 = Clip.Left, cx2 = std::int64_t(Clip.Right) - 1, cy1 = Clip.Top, cy2 = std::int64_t(Clip.Bottom) - 1;
    if (dx > 0) {
      if (X1 > cx2 || X2 < cx1) return false;
      sx = 1;
    } else {
      if (X2 > cx2 || X1 < cx1) return false;
      sx = -1;
      X1 = -X1, X2 = -X2, dx = -dx;
      std::swap(cx1, cx2);
      cx1 = -cx1, cx2 = -cx2;
    }
    if (dy > 0) {
      if (Y1 > cy2 || Y2 < cy1) return false;
      sy = 1;
    } else {
      if (Y2 > cy2 || Y1 < cy1) return false;
      sy = -1;
      Y1 = -Y1, Y2 = -Y2, dy = -dy;
      std::swap(cy1, cy2);
      cy1 = -cy1, cy2 = -cy2;
    }
    swapped = SwapWhenSteeper && dx < dy;
    if (swapped) {
      std::swap(X1, Y1), std::swap(X2, Y2), std::swap(dx, dy);
      std::swap(cx1, cy1), std::swap(cx2, cy2), std::swap(sx, sy);
    }
    return true;
  }

  // The bitmap position of the mirrored point (x, y).
  void ToBitmap(std::int64_t x, std::int64_t y, int& BX, int& BY) const {
    const std::int64_t major = sx * x, minor = sy * y;
    BX = int(swapped ? minor : major);
    BY = int(swapped ? major : minor);
  }
  std::ptrdiff_t MajorStep(int Width) const { return swapped ? std::ptrdiff_t(sx) * Width : sx; }
  std::ptrdiff_t MinorStep(int Width) const { return swapped ? sy : std::ptrdiff_t(sy) * Width; }
};

// The visible part of a midpoint line: the first pixel, its error, and the
// number of pixels to draw.
struct TClippedRun {
  std::int64_t x, y, e, count;
};

// Products of two coordinate differences: up to 2^33 x 2^32 for lines
// between the ends of the int range.
using TWide = __int128;

// Entry and exit of a mirrored midpoint line in its clip bounds. False when
// no pixel of it is visible.
bool ClipMidpointLine(const TMirroredLine& m, bool L, TClippedRun& run) {
  const std::int64_t dx2 = 2 * m.dx, dy2 = 2 * m.dy;
  std::int64_t e = dy2 - m.dx, x = m.X1, y = m.Y1, term = m.X2;
  bool testLeft = true;
  if (m.Y1 < m.cy1) {  // enters through the top edge
    const TWide t = TWide(dx2) * (m.cy1 - m.Y1) - m.dx;
    x = m.X1 + std::int64_t(t / dy2);
    const std::int64_t r = std::int64_t(t % dy2);
    if (x > m.cx2) return false;
    if (x >= m.cx1) {
      y = m.cy1;
      e -= r + m.dx;
      if (r > 0) {
        x += 1;
        e += dy2;
      }
      testLeft = false;
    }
  }
  if (testLeft && m.X1 < m.cx1) {  // enters through the left edge
    const TWide t = TWide(dy2) * (m.cx1 - m.X1);
    y = m.Y1 + std::int64_t(t / dx2);
    const std::int64_t r = std::int64_t(t % dx2);
    if (y > m.cy2 || (y == m.cy2 && r >= m.dx)) return false;
    x = m.cx1;
    e += r;
    if (r >= m.dx) {
      y += 1;
      e -= dx2;
    }
  }
  bool endClipped = false;
  if (m.Y2 > m.cy2) {  // leaves through the bottom edge
    const TWide t = TWide(dx2) * (m.cy2 - m.Y1) + m.dx;
    term = m.X1 + std::int64_t(t / dy2);
    if (t % dy2 == 0) term -= 1;
    endClipped = true;
  }
  if (term > m.cx2) {
    term = m.cx2;
    endClipped = true;
  }
  term += 1;
  if (!L && !endClipped) term -= 1;
  run = {x, y, e, term - x};
  return run.count > 0;
}

}  // namespace

// --- runs ---------------------------------------------------------------------------

void TCustomBitmap32::HorzLine(int X1, int Y, int X2, TColor32 Value) {
  if (X2 < X1) return;
  Raster_LowLevel::FillLongwords(PixelPtr(X1, Y), std::uint32_t(X2 - X1 + 1), Value);
}

void TCustomBitmap32::HorzLineS(int X1, int Y, int X2, TColor32 Value) {
  if (FMeasuringMode) {
    Changed(MakeRect(X1, Y, X2, Y + 1));
  } else if (Y >= FClipRect.Top && Y < FClipRect.Bottom &&
             Raster_LowLevel::ClipSpan(X1, X2, FClipRect.Left, FClipRect.Right)) {
    HorzLine(X1, Y, X2, Value);
    Changed(MakeRect(X1, Y, X2, Y + 1));
  }
}

void TCustomBitmap32::HorzLineT(int X1, int Y, int X2, TColor32 Value) {
  if (X2 < X1) return;
  TColor32* p = PixelPtr(X1, Y);
  for (int i = X2 - X1; i >= 0; --i) BlendProc(Value, *p++);
  Raster_Blend::ClearMMXState();
}

void TCustomBitmap32::HorzLineTS(int X1, int Y, int X2, TColor32 Value) {
  if (FMeasuringMode) {
    Changed(MakeRect(X1, Y, X2, Y + 1));
  } else if (Y >= FClipRect.Top && Y < FClipRect.Bottom &&
             Raster_LowLevel::ClipSpan(X1, X2, FClipRect.Left, FClipRect.Right)) {
    HorzLineT(X1, Y, X2, Value);
    Changed(MakeRect(X1, Y, X2, Y + 1));
  }
}

void TCustomBitmap32::VertLine(int X, int Y1, int Y2, TColor32 Value) {
  if (Y2 < Y1) return;
  TColor32* p = PixelPtr(X, Y1);
  for (int i = Y2 - Y1; i >= 0; --i, p += FWidth) *p = Value;
}

void TCustomBitmap32::VertLineS(int X, int Y1, int Y2, TColor32 Value) {
  if (FMeasuringMode) {
    Changed(MakeRect(X, Y1, X + 1, Y2));
  } else if (X >= FClipRect.Left && X < FClipRect.Right &&
             Raster_LowLevel::ClipSpan(Y1, Y2, FClipRect.Top, FClipRect.Bottom)) {
    VertLine(X, Y1, Y2, Value);
    Changed(MakeRect(X, Y1, X + 1, Y2));
  }
}

void TCustomBitmap32::VertLineT(int X, int Y1, int Y2, TColor32 Value) {
  if (Y2 < Y1) return;
  TColor32* p = PixelPtr(X, Y1);
  for (int i = Y2 - Y1; i >= 0; --i, p += FWidth) BlendProc(Value, *p);
  Raster_Blend::ClearMMXState();
}

void TCustomBitmap32::VertLineTS(int X, int Y1, int Y2, TColor32 Value) {
  if (FMeasuringMode) {
    Changed(MakeRect(X, Y1, X + 1, Y2));
  } else if (X >= FClipRect.Left && X < FClipRect.Right &&
             Raster_LowLevel::ClipSpan(Y1, Y2, FClipRect.Top, FClipRect.Bottom)) {
    VertLineT(X, Y1, Y2, Value);
    Changed(MakeRect(X, Y1, X + 1, Y2));
  }
}

// Stippled runs. Pixels outside the clip rectangle still advance the
// pattern, so a dashed outline stays in phase across clipped parts.
void TCustomBitmap32::HorzLineTSP(int X1, int Y, int X2) {
  if (FMeasuringMode) {
    Changed(MakeRect(X1, Y, X2, Y + 1));
    return;
  }
  if (Empty()) return;
  const TRect& c = FClipRect;
  if (Y < c.Top || Y >= c.Bottom || (X1 < c.Left && X2 < c.Left) || (X1 >= c.Right && X2 >= c.Right)) {
    AdvanceStippleCounter(float(std::llabs(std::int64_t(X2) - X1) + 1));
    return;
  }
  if (X1 < c.Left) {
    AdvanceStippleCounter(float(std::int64_t(c.Left) - X1));
    X1 = c.Left;
  } else if (X1 >= c.Right) {
    AdvanceStippleCounter(float(std::int64_t(X1) - (c.Right - 1)));
    X1 = c.Right - 1;
  }
  std::int64_t skippedEnd = 0;
  if (X2 < c.Left) {
    skippedEnd = std::int64_t(c.Left) - X2;
    X2 = c.Left;
  } else if (X2 >= c.Right) {
    skippedEnd = std::int64_t(X2) - (c.Right - 1);
    X2 = c.Right - 1;
  }
  const int step = X2 >= X1 ? 1 : -1;
  for (int x = X1;; x += step) {
    SetPixelT(x, Y, GetStippleColor());
    if (x == X2) break;
  }
  Changed(MakeRect(X1, Y, X2, Y + 1));
  if (skippedEnd > 0) AdvanceStippleCounter(float(skippedEnd));
}

void TCustomBitmap32::VertLineTSP(int X, int Y1, int Y2) {
  if (FMeasuringMode) {
    Changed(MakeRect(X, Y1, X + 1, Y2));
    return;
  }
  if (Empty()) return;
  const TRect& c = FClipRect;
  if (X < c.Left || X >= c.Right || (Y1 < c.Top && Y2 < c.Top) || (Y1 >= c.Bottom && Y2 >= c.Bottom)) {
    AdvanceStippleCounter(float(std::llabs(std::int64_t(Y2) - Y1) + 1));
    return;
  }
  if (Y1 < c.Top) {
    AdvanceStippleCounter(float(std::int64_t(c.Top) - Y1));
    Y1 = c.Top;
  } else if (Y1 >= c.Bottom) {
    AdvanceStippleCounter(float(std::int64_t(Y1) - (c.Bottom - 1)));
    Y1 = c.Bottom - 1;
  }
  std::int64_t skippedEnd = 0;
  if (Y2 < c.Top) {
    skippedEnd = std::int64_t(c.Top) - Y2;
    Y2 = c.Top;
  } else if (Y2 >= c.Bottom) {
    skippedEnd = std::int64_t(Y2) - (c.Bottom - 1);
    Y2 = c.Bottom - 1;
  }
  const int step = Y2 >= Y1 ? 1 : -1;
  for (int y = Y1;; y += step) {
    SetPixelT(X, y, GetStippleColor());
    if (y == Y2) break;
  }
  Changed(MakeRect(X, Y1, X + 1, Y2));
  if (skippedEnd > 0) AdvanceStippleCounter(float(skippedEnd));
}

// A sub-pixel run covers two rows (or columns): the first by the fraction
// of the position above the next pixel boundary, the second by the rest;
// its end pixels by their covered fractions. Its report spans one pixel
// across the run (Y to Y + 1.0), so that the row it touches is repainted.
namespace {

void SubPixelRun(TColor32* First, std::ptrdiff_t Step, int Middle, std::uint32_t f, std::uint32_t w1,
                 std::uint32_t w2, TColor32 Value) {
  TColor32* p = First;
  Raster_Blend::CombineColorInto(Value, *p, GammaTable[(f * w1) >> 24]);
  p += Step;
  for (int i = 0; i < Middle; ++i, p += Step) Raster_Blend::CombineColorInto(Value, *p, GammaTable[f >> 8]);
  Raster_Blend::CombineColorInto(Value, *p, GammaTable[(f * w2) >> 24]);
}

}  // namespace

void TCustomBitmap32::HorzLineX(TFixed X1, TFixed Y, TFixed X2, TColor32 Value) {
  if (X1 > X2) std::swap(X1, X2);
  const std::uint32_t fy = 65535 - (std::uint32_t(Y) & 65535);
  const std::uint32_t wx1 = 65535 - (std::uint32_t(X1) & 65535), wx2 = std::uint32_t(X2) & 65535;
  const int first = int(std::uint32_t(X1) >> 16), row = int(std::uint32_t(Y) >> 16);
  const int middle = int(std::uint32_t(X2) >> 16) - first - 1;
  if (fy != 0) SubPixelRun(PixelPtr(first, row), 1, middle, fy, wx1, wx2, Value);
  if (65535 - fy != 0) SubPixelRun(PixelPtr(first, row + 1), 1, middle, 65535 - fy, wx1, wx2, Value);
  Raster_Blend::ClearMMXState();
  Changed(FixedSegmentToRect(X1, Y, X2, WrapAdd(Y, 65536)));
}

void TCustomBitmap32::VertLineX(TFixed X, TFixed Y1, TFixed Y2, TColor32 Value) {
  if (Y1 > Y2) std::swap(Y1, Y2);
  const std::uint32_t fx = 65535 - (std::uint32_t(X) & 65535);
  const std::uint32_t wy1 = 65535 - (std::uint32_t(Y1) & 65535), wy2 = std::uint32_t(Y2) & 65535;
  const int first = int(std::uint32_t(Y1) >> 16), column = int(std::uint32_t(X) >> 16);
  const int middle = int(std::uint32_t(Y2) >> 16) - first - 1;
  if (fx != 0) SubPixelRun(PixelPtr(column, first), FWidth, middle, fx, wy1, wy2, Value);
  if (65535 - fx != 0) SubPixelRun(PixelPtr(column + 1, first), FWidth, middle, 65535 - fx, wy1, wy2, Value);
  Raster_Blend::ClearMMXState();
  Changed(FixedSegmentToRect(X, Y1, WrapAdd(X, 65536), Y2));
}

void TCustomBitmap32::HorzLineXS(TFixed X1, TFixed Y, TFixed X2, TColor32 Value) {
  if (X1 > X2) std::swap(X1, X2);
  if (!FMeasuringMode) {
    const TFixed lo = FFixedClipRect.Left, hi = WrapSub(FFixedClipRect.Right, 65536);
    const TFixed x1 = std::min(std::max(X1, lo), hi), x2 = std::min(std::max(X2, lo), hi);
    if (std::int64_t(x2) - x1 > 65536 && Y >= FFixedClipRect.Top && Y <= WrapSub(FFixedClipRect.Bottom, 65536)) {
      HorzLineX(x1, Y, x2, Value);
    } else {
      LineXS(x1, Y, x2, Y, Value, false);
    }
  }
  Changed(FixedSegmentToRect(X1, Y, X2, WrapAdd(Y, 65536)));
}

void TCustomBitmap32::VertLineXS(TFixed X, TFixed Y1, TFixed Y2, TColor32 Value) {
  if (Y1 > Y2) std::swap(Y1, Y2);
  if (!FMeasuringMode) {
    const TFixed lo = FFixedClipRect.Top, hi = WrapSub(FFixedClipRect.Bottom, 65536);
    const TFixed y1 = std::min(std::max(Y1, lo), hi), y2 = std::min(std::max(Y2, lo), hi);
    if (std::int64_t(y2) - y1 > 65536 && X >= FFixedClipRect.Left && X <= WrapSub(FFixedClipRect.Right, 65536)) {
      VertLineX(X, y1, y2, Value);
    } else {
      LineXS(X, y1, X, y2, Value, false);
    }
  }
  Changed(FixedSegmentToRect(X, Y1, WrapAdd(X, 65536), Y2));
}

// --- Bresenham --------------------------------------------------------------------------

namespace {

// Line and LineT: error from half the major length, ties y-major. Plot
// receives each pixel's address.
template <class Plot>
void BresenhamHalfError(TColor32* P, int Width, int dx, int dy, bool L, Plot plot) {
  const int sx = Sign(dx), sy = Sign(dy);
  const std::int64_t adx = std::llabs(std::int64_t(dx)), ady = std::llabs(std::int64_t(dy));
  const std::ptrdiff_t stepX = sx, stepY = std::ptrdiff_t(sy) * Width;
  const bool xMajor = ady < adx;
  const std::int64_t major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
  const std::ptrdiff_t majorStep = xMajor ? stepX : stepY, minorStep = xMajor ? stepY : stepX;
  std::int64_t e = major / 2;
  for (std::int64_t i = 0; i < major; ++i) {
    plot(P);
    e += minor;
    P += majorStep;
    if (e >= major) {
      P += minorStep;
      e -= major;
    }
  }
  if (L) plot(P);
}

}  // namespace

void TCustomBitmap32::Line(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L) {
  const int dx = WrapSub(X2, X1), dy = WrapSub(Y2, Y1);
  if (dx == 0 || dy == 0) {
    if (dx == 0 && dy > 0) VertLine(X1, Y1, Y2 - 1, Value);
    if (dx == 0 && dy < 0) VertLine(X1, Y2 + 1, Y1, Value);
    if (dy == 0 && dx > 0) HorzLine(X1, Y1, X2 - 1, Value);
    if (dy == 0 && dx < 0) HorzLine(X2 + 1, Y1, X1, Value);
    if (L) SetPixel(X2, Y2, Value);
  } else {
    BresenhamHalfError(PixelPtr(X1, Y1), FWidth, dx, dy, L, [Value](TColor32* p) { *p = Value; });
  }
  Changed(MakeRect(X1, Y1, X2, Y2), kLineInfo);
}

void TCustomBitmap32::LineT(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L) {
  const int dx = WrapSub(X2, X1), dy = WrapSub(Y2, Y1);
  if (dx == 0 || dy == 0) {
    if (dx == 0 && dy > 0) VertLineT(X1, Y1, Y2 - 1, Value);
    if (dx == 0 && dy < 0) VertLineT(X1, Y2 + 1, Y1, Value);
    if (dy == 0 && dx > 0) HorzLineT(X1, Y1, X2 - 1, Value);
    if (dy == 0 && dx < 0) HorzLineT(X2 + 1, Y1, X1, Value);
    if (L) SetPixelT(X2, Y2, Value);
  } else {
    const TBlendMemProc blend = BlendProc;
    BresenhamHalfError(PixelPtr(X1, Y1), FWidth, dx, dy, L, [Value, blend](TColor32* p) { blend(Value, *p); });
    Raster_Blend::ClearMMXState();
  }
  Changed(MakeRect(X1, Y1, X2, Y2), kLineInfo);
}

void TCustomBitmap32::LineS(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L) {
  if (FMeasuringMode) {
    Changed(MakeRect(X1, Y1, X2, Y2), kLineInfo);
    return;
  }
  const std::int64_t dx = std::int64_t(X2) - X1, dy = std::int64_t(Y2) - Y1;
  if (dx == 0 || dy == 0) {
    if (dx == 0 && dy != 0) VertLineS(X1, Y1, int(Y2 - Sign(dy)), Value);
    if (dy == 0 && dx != 0) HorzLineS(X1, Y1, int(X2 - Sign(dx)), Value);
    if (L) SetPixelS(X2, Y2, Value);
    Changed();
    return;
  }
  if (IsRectEmpty32(FClipRect)) return;
  TMirroredLine m;
  TClippedRun run;
  if (!m.Setup(X1, Y1, X2, Y2, FClipRect, true) || !ClipMidpointLine(m, L, run)) return;
  int bx, by;
  m.ToBitmap(run.x, run.y, bx, by);
  TColor32* p = PixelPtr(bx, by);
  const std::ptrdiff_t majorStep = m.MajorStep(FWidth), minorStep = m.MinorStep(FWidth);
  const std::int64_t dx2 = 2 * m.dx, dy2 = 2 * m.dy;
  std::int64_t e = run.e;
  for (std::int64_t i = 0; i < run.count; ++i) {
    *p = Value;
    p += majorStep;
    if (e >= 0) {
      p += minorStep;
      e -= dx2 - dy2;
    } else {
      e += dy2;
    }
  }
  Changed(MakeRect(X1, Y1, X2, Y2), kLineInfo);
}

void TCustomBitmap32::LineTS(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L) {
  if (FMeasuringMode) {
    Changed(MakeRect(X1, Y1, X2, Y2), kLineInfo);
    return;
  }
  const std::int64_t dx = std::int64_t(X2) - X1, dy = std::int64_t(Y2) - Y1;
  if (dx == 0 || dy == 0) {
    if (dx == 0 && dy != 0) VertLineTS(X1, Y1, int(Y2 - Sign(dy)), Value);
    if (dy == 0 && dx != 0) HorzLineTS(X1, Y1, int(X2 - Sign(dx)), Value);
    if (L) SetPixelTS(X2, Y2, Value);
    return;
  }
  if (IsRectEmpty32(FClipRect)) return;
  TMirroredLine m;
  TClippedRun run;
  if (!m.Setup(X1, Y1, X2, Y2, FClipRect, true) || !ClipMidpointLine(m, L, run)) return;
  int bx, by;
  m.ToBitmap(run.x, run.y, bx, by);
  TColor32* p = PixelPtr(bx, by);
  const std::ptrdiff_t majorStep = m.MajorStep(FWidth), minorStep = m.MinorStep(FWidth);
  const std::int64_t dx2 = 2 * m.dx, dy2 = 2 * m.dy;
  std::int64_t e = run.e;
  for (std::int64_t i = 0; i < run.count; ++i) {
    BlendProc(Value, *p);
    p += majorStep;
    if (e >= 0) {
      p += minorStep;
      e -= dx2 - dy2;
    } else {
      e += dy2;
    }
  }
  Raster_Blend::ClearMMXState();
  Changed(MakeRect(X1, Y1, X2, Y2), kLineInfo);
}

// --- Wu ----------------------------------------------------------------------------------

// The accumulator holds the minor position's fraction in 16 bits; a step of
// exactly one pixel (|dx| = |dy|) is kept as 65536 rather than truncated to
// 0, which would draw a 45-degree line flat along its major axis.
void TCustomBitmap32::LineA(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L) {
  if (X1 == X2 || Y1 == Y2) {
    LineT(X1, Y1, X2, Y2, Value, L);
    return;
  }
  const std::int64_t dx = std::int64_t(X2) - X1, dy = std::int64_t(Y2) - Y1;
  const std::int64_t ad = std::llabs(dx), bd = std::llabs(dy);
  const std::ptrdiff_t stepX = Sign(dx), stepY = std::ptrdiff_t(Sign(dy)) * FWidth;
  const bool yMajor = ad < bd;
  const std::int64_t major = yMajor ? bd : ad, minor = yMajor ? ad : bd;
  const std::ptrdiff_t majorStep = yMajor ? stepY : stepX, minorStep = yMajor ? stepX : stepY;
  const Raster_Blend::TBlendMemEx blend = *Raster_Blend::BlendIntoMaskedByMode[FCombineMode];
  TColor32* p = PixelPtr(X1, Y1);
  BlendProc(Value, *p);
  const std::uint32_t step = std::uint32_t((minor * 65536) / major);
  std::uint32_t a = 0;
  const std::int64_t count = L ? major : major - 1;
  for (std::int64_t i = 0; i < count; ++i) {
    a += step;
    if (a >= 65536) {
      a -= 65536;
      p += minorStep;
    }
    p += majorStep;
    const int w = int(a >> 8);
    blend(Value, *p, GammaTable[w ^ 255]);
    blend(Value, p[minorStep], GammaTable[w]);
  }
  Raster_Blend::ClearMMXState();
  Changed(MakeRect(X1, Y1, X2, Y2), kLineInfo);
}

void TCustomBitmap32::LineAS(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L) {
  if (IsRectEmpty32(FClipRect)) return;
  if (FMeasuringMode) {
    Changed(MakeRect(X1, Y1, X2, Y2), kLineInfo);
    return;
  }
  const std::int64_t dx = std::int64_t(X2) - X1, dy = std::int64_t(Y2) - Y1;
  if (std::llabs(dx) == std::llabs(dy) && dx != 0) {
    LineTS(X1, Y1, X2, Y2, Value, L);
    return;
  }
  if (dx == 0 || dy == 0) {
    if (dx == 0 && dy != 0) VertLineTS(X1, Y1, int(Y2 - Sign(dy)), Value);
    if (dy == 0 && dx != 0) HorzLineTS(X1, Y1, int(X2 - Sign(dx)), Value);
    if (L) SetPixelTS(X2, Y2, Value);
    return;
  }
  TMirroredLine m;
  if (!m.Setup(X1, Y1, X2, Y2, FClipRect, true)) return;
  // Position k (0 .. last) lies at major X1 + k and minor Y1 + floor(k *
  // step / 65536); it draws that pixel and the one below (minor + 1).
  const std::int64_t step = (m.dy * 65536) / m.dx;
  std::int64_t first = std::max<std::int64_t>(0, m.cx1 - m.X1);
  std::int64_t last = std::min<std::int64_t>(L ? m.dx : m.dx - 1, m.cx2 - m.X1);
  if (step > 0) {
    // minor + 1 >= cy1 and minor <= cy2.
    const std::int64_t lowMinor = m.cy1 - 1 - m.Y1, highMinor = m.cy2 - m.Y1;
    if (lowMinor > 0) first = std::max(first, (lowMinor * 65536 + step - 1) / step);
    if (highMinor < 0) return;
    last = std::min(last, ((highMinor + 1) * 65536 + step - 1) / step - 1);
  } else if (m.Y1 + 1 < m.cy1 || m.Y1 > m.cy2) {
    return;
  }
  if (first > last) return;
  const Raster_Blend::TBlendMemEx blend = *Raster_Blend::BlendIntoMaskedByMode[FCombineMode];
  bool onlyStraddling = true;  // every pair drawn had its upper pixel above the clip
  for (std::int64_t k = first; k <= last; ++k) {
    const std::int64_t acc = k * step;
    const std::int64_t major = m.X1 + k, minor = m.Y1 + (acc >> 16);
    const int w = int((acc & 65535) >> 8);
    int bx, by;
    if (minor >= m.cy1 && minor <= m.cy2) {
      m.ToBitmap(major, minor, bx, by);
      blend(Value, *PixelPtr(bx, by), GammaTable[w ^ 255]);
      onlyStraddling = false;
    }
    if (minor + 1 >= m.cy1 && minor + 1 <= m.cy2) {
      m.ToBitmap(major, minor + 1, bx, by);
      blend(Value, *PixelPtr(bx, by), GammaTable[w]);
    }
  }
  Raster_Blend::ClearMMXState();
  // A line entering through the top edge beyond the right edge leaves only
  // the lower halves of the pairs straddling the edge: that partial row is
  // reported as a change of the bitmap, not as the line.
  if (onlyStraddling) {
    Changed();
  } else {
    Changed(MakeRect(X1, Y1, X2, Y2), kLineInfo);
  }
}

// --- sub-pixel lines --------------------------------------------------------------------

namespace {

// How a sub-pixel line is stepped: k whole steps of (ex, ey) from the start
// (moved by 127 towards the 24.8 rounding), then a partial point midway
// between the last step and the end, with alpha scaled by the remainder.
struct TSubPixelSteps {
  std::uint32_t g = 0;  // length x 65536, plus 65536 with the end point
  int k = 0;
  int ex = 0, ey = 0;
  int x = 0, y = 0;      // the start, moved by 127
  std::uint32_t remainder() const { return g - std::uint32_t(k) * 65536u; }
};

TSubPixelSteps SubPixelSteps(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, bool L) {
  TSubPixelSteps s;
  const int n = Raster_Math::HypotInt(WrapSub(X2, X1), WrapSub(Y2, Y1));
  s.g = std::uint32_t(n) + (L ? 65536u : 0u);
  s.k = int(s.g >> 16);
  s.x = WrapAdd(X1, 127);
  s.y = WrapAdd(Y1, 127);
  // A zero-length segment drawn with its end point is one point: no step.
  if (s.k > 0 && n > 0) {
    const float scale = 65536.0f / float(n);
    s.ex = RoundToInt(double(WrapSub(X2, s.x)) * double(scale));
    s.ey = RoundToInt(double(WrapSub(Y2, s.y)) * double(scale));
  }
  return s;
}

TColor32 ScaleAlpha(TColor32 Color, std::uint32_t Remainder) {
  const std::uint32_t alpha = ((Remainder * (Color >> 24)) >> 16) & 255;
  return (Color & 0x00FFFFFFu) | (alpha << 24);
}

}  // namespace

// Draws the steps of a sub-pixel line; Clipped selects the clipped 2 x 2
// writes and arithmetic shifts. Colour gives each step's colour.
template <class ColorFn>
static void DrawSubPixelLine(TCustomBitmap32& B, TFixed X2, TFixed Y2, const TSubPixelSteps& s, bool Clipped,
                             ColorFn Colour) {
  int x = s.x, y = s.y;
  for (int i = 0; i < s.k; ++i) {
    if (Clipped) {
      B.BlendPixel256S(x >> 8, y >> 8, Colour());
    } else {
      B.BlendPixel256(int(std::uint32_t(x) >> 8), int(std::uint32_t(y) >> 8), Colour());
    }
    x = WrapAdd(x, s.ex);
    y = WrapAdd(y, s.ey);
  }
  const int px = WrapAdd(WrapSub(WrapAdd(x, X2), s.ex), 127), py = WrapAdd(WrapSub(WrapAdd(y, Y2), s.ey), 127);
  const TColor32 last = ScaleAlpha(Colour(), s.remainder());
  if (Clipped) {
    B.BlendPixel256S(px >> 9, py >> 9, last);
  } else {
    B.BlendPixel256(int(std::uint32_t(px) >> 9), int(std::uint32_t(py) >> 9), last);
  }
}

void TCustomBitmap32::LineX(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, TColor32 Value, bool L) {
  const TSubPixelSteps s = SubPixelSteps(X1, Y1, X2, Y2, L);
  if (s.g > 255) DrawSubPixelLine(*this, X2, Y2, s, false, [Value] { return Value; });
  Changed(FixedSegmentToRect(X1, Y1, X2, Y2), kLineInfo);
}

void TCustomBitmap32::LineF(float X1, float Y1, float X2, float Y2, TColor32 Value, bool L) {
  LineX(FloatToFixed(X1), FloatToFixed(Y1), FloatToFixed(X2), FloatToFixed(Y2), Value, L);
}

namespace {

// The clip box of the sub-pixel lines: one pixel wider to the left and top,
// because a 2 x 2 footprint starting there still reaches the clip rectangle.
bool ClipSubPixelLine(const TFixedRect& Clip, TFixed& X1, TFixed& Y1, TFixed& X2, TFixed& Y2, bool& L) {
  const TFixed ox2 = X2, oy2 = Y2;
  if (!Raster_VectorUtils::ClipLine(X1, Y1, X2, Y2, WrapSub(Clip.Left, 65536), WrapSub(Clip.Top, 65536), Clip.Right,
                                    Clip.Bottom)) {
    return false;
  }
  if (X2 != ox2 || Y2 != oy2) L = true;
  return true;
}

bool StrictlyInside(const TFixedRect& Clip, TFixed X, TFixed Y) {
  return X > Clip.Left && X < WrapSub(Clip.Right, 131072) && Y > Clip.Top && Y < WrapSub(Clip.Bottom, 131072);
}

}  // namespace

void TCustomBitmap32::LineXS(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, TColor32 Value, bool L) {
  if (!FMeasuringMode) {
    TFixed cx1 = X1, cy1 = Y1, cx2 = X2, cy2 = Y2;
    if (!ClipSubPixelLine(FFixedClipRect, cx1, cy1, cx2, cy2, L)) return;
    const TSubPixelSteps s = SubPixelSteps(cx1, cy1, cx2, cy2, L);
    const bool inside = StrictlyInside(FFixedClipRect, cx1, cy1) && StrictlyInside(FFixedClipRect, cx2, cy2);
    if (!inside && s.g < 256) return;
    if (s.g > 255) DrawSubPixelLine(*this, cx2, cy2, s, !inside, [Value] { return Value; });
  }
  Changed(FixedSegmentToRect(X1, Y1, X2, Y2), kLineInfo);
}

void TCustomBitmap32::LineFS(float X1, float Y1, float X2, float Y2, TColor32 Value, bool L) {
  LineXS(FloatToFixed(X1), FloatToFixed(Y1), FloatToFixed(X2), FloatToFixed(Y2), Value, L);
}

void TCustomBitmap32::LineXP(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, bool L) {
  const TSubPixelSteps s = SubPixelSteps(X1, Y1, X2, Y2, L);
  if (s.g > 255) DrawSubPixelLine(*this, X2, Y2, s, false, [this] { return GetStippleColor(); });
  Changed(FixedSegmentToRect(X1, Y1, X2, Y2), kLineInfo);
}

void TCustomBitmap32::LineFP(float X1, float Y1, float X2, float Y2, bool L) {
  LineXP(FloatToFixed(X1), FloatToFixed(Y1), FloatToFixed(X2), FloatToFixed(Y2), L);
}

// The pattern advances over the parts the clip removes, so a stippled
// polyline stays in phase across its invisible segments. The pixel lengths
// of those parts use arithmetic shifts, so that segments running left or up
// advance by their length too.
void TCustomBitmap32::LineXSP(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, bool L) {
  constexpr std::uint32_t kStippleLineInfo = AREAINFO_LINE + 4;
  if (!FMeasuringMode) {
    const float c = L ? 1.0f : 0.0f;
    TFixed cx1 = X1, cy1 = Y1, cx2 = X2, cy2 = Y2;
    bool drawL = L;
    if (!ClipSubPixelLine(FFixedClipRect, cx1, cy1, cx2, cy2, drawL)) {
      AdvanceStippleCounter(Raster_Math::HypotFloat(float(WrapSub(X2, X1) >> 16), float(WrapSub(Y2, Y1) >> 16) - c));
      return;
    }
    if (cx1 != X1 || cy1 != Y1) {
      AdvanceStippleCounter(float(Raster_Math::HypotInt(WrapSub(cx1, X1) >> 16, WrapSub(cy1, Y1) >> 16)));
    }
    const TSubPixelSteps s = SubPixelSteps(cx1, cy1, cx2, cy2, drawL);
    const bool inside = StrictlyInside(FFixedClipRect, cx1, cy1) && StrictlyInside(FFixedClipRect, cx2, cy2);
    if (s.g > 255) DrawSubPixelLine(*this, cx2, cy2, s, !inside, [this] { return GetStippleColor(); });
    if (cx2 != X2 || cy2 != Y2) {
      AdvanceStippleCounter(Raster_Math::HypotFloat(float(WrapSub(X2, cx2) >> 16), float(WrapSub(Y2, cy2) >> 16) - c));
    }
  }
  Changed(FixedSegmentToRect(X1, Y1, X2, Y2), kStippleLineInfo);
}

void TCustomBitmap32::LineFSP(float X1, float Y1, float X2, float Y2, bool L) {
  LineXSP(FloatToFixed(X1), FloatToFixed(Y1), FloatToFixed(X2), FloatToFixed(Y2), L);
}

// --- pen position -----------------------------------------------------------------------

void TCustomBitmap32::MoveTo(int X, int Y) {
  RasterX = X;
  RasterY = Y;
}

void TCustomBitmap32::LineToS(int X, int Y) {
  LineS(RasterX, RasterY, X, Y, FPenColor);
  MoveTo(X, Y);
}

void TCustomBitmap32::LineToTS(int X, int Y) {
  LineTS(RasterX, RasterY, X, Y, FPenColor);
  MoveTo(X, Y);
}

void TCustomBitmap32::LineToAS(int X, int Y) {
  LineAS(RasterX, RasterY, X, Y, FPenColor);
  MoveTo(X, Y);
}

void TCustomBitmap32::MoveToX(TFixed X, TFixed Y) {
  RasterXF = X;
  RasterYF = Y;
}

void TCustomBitmap32::MoveToF(float X, float Y) { MoveToX(FloatToFixed(X), FloatToFixed(Y)); }

void TCustomBitmap32::LineToXS(TFixed X, TFixed Y) {
  LineXS(RasterXF, RasterYF, X, Y, FPenColor);
  MoveToX(X, Y);
}

void TCustomBitmap32::LineToFS(float X, float Y) { LineToXS(FloatToFixed(X), FloatToFixed(Y)); }

void TCustomBitmap32::LineToXSP(TFixed X, TFixed Y) {
  LineXSP(RasterXF, RasterYF, X, Y);
  MoveToX(X, Y);
}

void TCustomBitmap32::LineToFSP(float X, float Y) { LineToXSP(FloatToFixed(X), FloatToFixed(Y)); }

// --- stipple -------------------------------------------------------------------------------

void TCustomBitmap32::SetStipple(std::span<const TColor32> NewStipple) {
  FStippleCounter = 0;
  FStipplePattern.assign(NewStipple.begin(), NewStipple.end());
}

void TCustomBitmap32::AdvanceStippleCounter(float LengthPixels) {
  if (FStipplePattern.empty()) return;
  const float d = LengthPixels * FStippleStep;
  if (d == 0 || !std::isfinite(d)) return;
  const float n = float(FStipplePattern.size());
  FStippleCounter += d;
  FStippleCounter -= n * std::floor(FStippleCounter / n);
}

// The counter picks a pattern entry and the weight of the next one; Round
// is banker's, so a counter of 0 gives entry 0 (not -1).
TColor32 TCustomBitmap32::GetStippleColor() {
  if (FStipplePattern.empty()) return 0xFF000000u;
  const int n = int(FStipplePattern.size());
  if (!std::isfinite(FStippleCounter)) FStippleCounter = 0;
  if (FStippleCounter < 0 || FStippleCounter >= float(n)) {
    FStippleCounter -= float(n) * std::floor(FStippleCounter / float(n));
    if (FStippleCounter >= float(n) || FStippleCounter < 0) FStippleCounter = 0;
  }
  const int i = std::clamp(RoundToInt(double(FStippleCounter) - 0.5), 0, n - 1);
  const int w = RoundToInt((double(FStippleCounter) - i) * 255);
  TColor32 result = FStipplePattern[i];
  if (w != 0) {
    result = Raster_Blend::CombineColor(FStipplePattern[i], FStipplePattern[(i + 1) % n], 255 - w);
    Raster_Blend::ClearMMXState();
  }
  FStippleCounter += FStippleStep;
  return result;
}

}  // namespace velkor
