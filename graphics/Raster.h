// The raster library's value types and the free routines over them: the
// 32-bit pixel, 16.16 fixed point, points and rectangles in integer, fixed
// and float form, and the gamma table that shapes every anti-aliasing weight.
//
// Integer rectangles have exclusive Right and Bottom edges: (0, 0, W, H)
// covers W x H pixels. "Round" below is to nearest with ties to even.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "graphics/Raster_Math.h"

namespace velkor {

// $AARRGGBB, straight (not premultiplied) alpha; in memory the bytes lie
// blue, green, red, alpha. Alpha 255 is opaque.
using TColor32 = std::uint32_t;
using PColor32 = TColor32*;
using TColor32Array = std::span<TColor32>;  // a run of pixels addressed by index
using PColor32Array = TColor32*;
using TArrayOfColor32 = std::vector<TColor32>;

using TIntegerArray = std::span<std::int32_t>;
using PIntegerArray = std::int32_t*;
using TArrayOfInteger = std::vector<std::int32_t>;
using TSingleArray = std::span<float>;
using PSingleArray = float*;

// How a bitmap is drawn onto another, and how two colours are composed. The
// bitmap owns these; they sit here because the blending and transfer modules
// below the bitmap already need them.
enum TDrawMode { dmOpaque, dmBlend, dmCustom, dmTransparent };
enum TCombineMode { cmBlend, cmMerge };

// The platform's integer and float points and its integer rectangle.
struct TPoint {
  std::int32_t X = 0, Y = 0;
  friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
};
struct TPointF {
  float X = 0, Y = 0;
  friend constexpr bool operator==(const TPointF&, const TPointF&) = default;
};
struct TRect {
  std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

struct TFloatPoint {
  float X = 0, Y = 0;

  static constexpr TFloatPoint Create(TPoint P) { return {float(P.X), float(P.Y)}; }
  static constexpr TFloatPoint Create(TPointF P) { return {P.X, P.Y}; }
  static constexpr TFloatPoint Create(std::int32_t X, std::int32_t Y) { return {float(X), float(Y)}; }
  static constexpr TFloatPoint Create(float X, float Y) { return {X, Y}; }
  static constexpr TFloatPoint Zero() { return {0, 0}; }

  // Conversion from the platform's float point (a copy).
  static constexpr TFloatPoint FromPointF(TPointF A) { return {A.X, A.Y}; }

  friend constexpr bool operator==(TFloatPoint L, TFloatPoint R) { return L.X == R.X && L.Y == R.Y; }
  friend constexpr TFloatPoint operator+(TFloatPoint L, TFloatPoint R) { return {L.X + R.X, L.Y + R.Y}; }
  friend constexpr TFloatPoint operator-(TFloatPoint L, TFloatPoint R) { return {L.X - R.X, L.Y - R.Y}; }
};
using TArrayOfFloatPoint = std::vector<TFloatPoint>;
using TArrayOfArrayOfFloatPoint = std::vector<TArrayOfFloatPoint>;

// Round(S * 65536). Values beyond the 32-bit range saturate and NaN gives 0,
// where a bare float-to-integer conversion would be undefined.
TFixed FloatToFixed(float S);
// I shifted left by 16; wraps for |I| >= 32768.
constexpr TFixed IntToFixed(std::int32_t I) {
  return static_cast<TFixed>(static_cast<std::uint32_t>(I) << 16);
}

struct TFixedPoint {
  TFixed X = 0, Y = 0;

  static TFixedPoint Create(TPointF P) { return {FloatToFixed(P.X), FloatToFixed(P.Y)}; }
  static TFixedPoint Create(TFloatPoint P) { return {FloatToFixed(P.X), FloatToFixed(P.Y)}; }
  static TFixedPoint Create(float X, float Y) { return {FloatToFixed(X), FloatToFixed(Y)}; }
  // Plain integers: (X, Y) are whole units. Use CreateFixed for values that
  // are already 16.16.
  static constexpr TFixedPoint Create(std::int32_t X, std::int32_t Y) { return {IntToFixed(X), IntToFixed(Y)}; }
  static constexpr TFixedPoint CreateFixed(TFixed X, TFixed Y) { return {X, Y}; }
  static constexpr TFixedPoint Zero() { return {0, 0}; }

  friend constexpr bool operator==(TFixedPoint L, TFixedPoint R) { return L.X == R.X && L.Y == R.Y; }
  // Coordinate-wise, wrapping like the 32-bit integers they are.
  friend constexpr TFixedPoint operator+(TFixedPoint L, TFixedPoint R) {
    return {TFixed(std::uint32_t(L.X) + std::uint32_t(R.X)), TFixed(std::uint32_t(L.Y) + std::uint32_t(R.Y))};
  }
  friend constexpr TFixedPoint operator-(TFixedPoint L, TFixedPoint R) {
    return {TFixed(std::uint32_t(L.X) - std::uint32_t(R.X)), TFixed(std::uint32_t(L.Y) - std::uint32_t(R.Y))};
  }
};

struct TFloatRect {
  float Left = 0, Top = 0, Right = 0, Bottom = 0;

  // The two corners, over the same four values.
  constexpr TFloatPoint TopLeft() const { return {Left, Top}; }
  constexpr TFloatPoint BottomRight() const { return {Right, Bottom}; }
  constexpr void SetTopLeft(TFloatPoint P) { Left = P.X, Top = P.Y; }
  constexpr void SetBottomRight(TFloatPoint P) { Right = P.X, Bottom = P.Y; }
  friend constexpr bool operator==(const TFloatRect&, const TFloatRect&) = default;
};

struct TFixedRect {
  TFixed Left = 0, Top = 0, Right = 0, Bottom = 0;

  constexpr TFixedPoint TopLeft() const { return {Left, Top}; }
  constexpr TFixedPoint BottomRight() const { return {Right, Bottom}; }
  constexpr void SetTopLeft(TFixedPoint P) { Left = P.X, Top = P.Y; }
  constexpr void SetBottomRight(TFixedPoint P) { Right = P.X, Bottom = P.Y; }
  friend constexpr bool operator==(const TFixedRect&, const TFixedRect&) = default;
};

// The toolkit colour $00BBGGRR (or, when negative, a system-colour
// reference whose low byte is the index) as an opaque TColor32.
TColor32 WinColorToColor32(std::int32_t WinColor);

// The system colours a negative toolkit colour refers to, as $00BBGGRR by
// index. The default is a fixed classic palette, so results do not depend on
// the desktop; the styling layer installs the active style's palette.
using TSysColorProvider = std::uint32_t (*)(int Index);
void SetSysColorProvider(TSysColorProvider Provider);  // nullptr restores the default
std::uint32_t GetSysColor(int Index);

constexpr TFloatPoint MakeFloatPoint(float X, float Y) { return {X, Y}; }
constexpr TRect MakeRect(std::int32_t L, std::int32_t T, std::int32_t R, std::int32_t B) { return {L, T, R, B}; }
constexpr TFixedRect MakeFixedRect(TFixed L, TFixed T, TFixed R, TFixed B) { return {L, T, R, B}; }
constexpr TFloatRect MakeFloatRect(float L, float T, float R, float B) { return {L, T, R, B}; }
constexpr TFloatRect RectToFloatRect(const TRect& R) {
  return {float(R.Left), float(R.Top), float(R.Right), float(R.Bottom)};
}

// Rounding of the conversions to integer rectangles.
enum TRectRounding { rrNearest = 0, rrOutward = 1, rrInward = 2 };
// Inward rounding never gives an inverted rectangle: Right and Bottom are
// raised to Left and Top when they would lie before them.
TRect FloatRectToRect(const TFloatRect& FR, int Rounding);
TRect FixedRectToRect(const TFixedRect& FXR, int Rounding);

// The overlap of R1 and R2. Rectangles that only touch give True with an
// empty Dst; False sets Dst to (0, 0, 0, 0). Dst may alias R1 or R2.
bool IntersectRects(TRect& Dst, const TRect& R1, const TRect& R2);
bool EqualRects(const TRect& R1, const TRect& R2);
void InflateFloatRect(TFloatRect& FR, float Dx, float Dy);
void OffsetRectBy(TRect& R, std::int32_t Dx, std::int32_t Dy);
constexpr bool IsRectEmpty32(const TRect& R) { return R.Right <= R.Left || R.Bottom <= R.Top; }

// Entry i is Round((i / 255) ^ Gamma * 255). Start-up fills it with gamma
// 1.6; the anti-aliased routines pass every 8-bit coverage through it.
extern std::array<std::uint8_t, 256> GammaTable;
void BuildGammaTable(float Gamma);

}  // namespace velkor

namespace velkor::Raster {
// Start-up of the value-type part of the main unit: fills the gamma table.
void Startup();
void Shutdown();
}  // namespace velkor::Raster
