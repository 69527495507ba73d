#include "graphics/Raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velkor {

namespace {

// The classic desktop palette, $00BBGGRR by system-colour index.
constexpr std::uint32_t RGB(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r | (g << 8) | (b << 16); }
constexpr std::array<std::uint32_t, 31> kDefaultSysColors = {
    RGB(212, 208, 200), RGB(58, 110, 165),  RGB(10, 36, 106),   RGB(128, 128, 128),  // scroll bar .. inactive caption
    RGB(212, 208, 200), RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),        // menu .. menu text
    RGB(0, 0, 0),       RGB(255, 255, 255), RGB(212, 208, 200), RGB(212, 208, 200),  // window text .. inactive border
    RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255), RGB(212, 208, 200),  // app workspace .. button face
    RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(212, 208, 200),  // button shadow .. inactive caption text
    RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),        // button highlight .. info text
    RGB(255, 255, 225), RGB(181, 181, 181), RGB(0, 0, 128),     RGB(166, 202, 240),  // info background .. gradient active
    RGB(192, 192, 192), RGB(10, 36, 106),   RGB(212, 208, 200),                      // gradient inactive .. menu bar
};

std::uint32_t DefaultSysColor(int Index) {
  return Index >= 0 && Index < int(kDefaultSysColors.size()) ? kDefaultSysColors[Index] : 0;
}

TSysColorProvider gSysColorProvider = DefaultSysColor;
Raster_System::TUnitInitCounter gUnitCounter;

// Round to nearest, ties to even, saturated to the 32-bit range.
std::int32_t RoundToInt32(double v) {
  if (std::isnan(v)) return 0;
  const double r = std::nearbyint(v);
  if (r <= double(INT32_MIN)) return INT32_MIN;
  if (r >= double(INT32_MAX)) return INT32_MAX;
  return static_cast<std::int32_t>(r);
}

std::int32_t FloorToInt32(float v) { return RoundToInt32(std::floor(double(v))); }
std::int32_t CeilToInt32(float v) { return RoundToInt32(std::ceil(double(v))); }

// Inward rounding may cross the edges of a thin rectangle; never invert it.
void Uninvert(TRect& R) {
  if (R.Right < R.Left) R.Right = R.Left;
  if (R.Bottom < R.Top) R.Bottom = R.Top;
}

}  // namespace

std::array<std::uint8_t, 256> GammaTable{};

TFixed FloatToFixed(float S) { return RoundToInt32(double(S) * 65536.0); }

void SetSysColorProvider(TSysColorProvider Provider) {
  gSysColorProvider = Provider ? Provider : DefaultSysColor;
}

std::uint32_t GetSysColor(int Index) { return gSysColorProvider(Index); }

TColor32 WinColorToColor32(std::int32_t WinColor) {
  std::uint32_t c = static_cast<std::uint32_t>(WinColor);
  if (WinColor < 0) c = GetSysColor(int(c & 0xFF));
  c &= 0x00FFFFFF;  // a stray high byte must not leak into the alpha
  return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0x00FF00u) | ((c >> 16) & 0xFF);
}

TRect FloatRectToRect(const TFloatRect& FR, int Rounding) {
  TRect R;
  switch (Rounding) {
    case rrOutward:
      R = {FloorToInt32(FR.Left), FloorToInt32(FR.Top), CeilToInt32(FR.Right), CeilToInt32(FR.Bottom)};
      break;
    case rrInward:
      R = {CeilToInt32(FR.Left), CeilToInt32(FR.Top), FloorToInt32(FR.Right), FloorToInt32(FR.Bottom)};
      Uninvert(R);
      break;
    default:
      R = {RoundToInt32(FR.Left), RoundToInt32(FR.Top), RoundToInt32(FR.Right), RoundToInt32(FR.Bottom)};
  }
  return R;
}

TRect FixedRectToRect(const TFixedRect& FXR, int Rounding) {
  using namespace Raster_Math;
  TRect R;
  switch (Rounding) {
    case rrOutward:
      R = {FixedToIntFloor(FXR.Left), FixedToIntFloor(FXR.Top), FixedToIntCeil(FXR.Right),
           FixedToIntCeil(FXR.Bottom)};
      break;
    case rrInward:
      R = {FixedToIntCeil(FXR.Left), FixedToIntCeil(FXR.Top), FixedToIntFloor(FXR.Right),
           FixedToIntFloor(FXR.Bottom)};
      Uninvert(R);
      break;
    default:
      R = {FixedToIntRound(FXR.Left), FixedToIntRound(FXR.Top), FixedToIntRound(FXR.Right),
           FixedToIntRound(FXR.Bottom)};
  }
  return R;
}

bool IntersectRects(TRect& Dst, const TRect& R1, const TRect& R2) {
  const TRect r{std::max(R1.Left, R2.Left), std::max(R1.Top, R2.Top), std::min(R1.Right, R2.Right),
                std::min(R1.Bottom, R2.Bottom)};
  const bool overlap = r.Right >= r.Left && r.Bottom >= r.Top;
  Dst = overlap ? r : TRect{};
  return overlap;
}

bool EqualRects(const TRect& R1, const TRect& R2) { return std::memcmp(&R1, &R2, sizeof(TRect)) == 0; }

void InflateFloatRect(TFloatRect& FR, float Dx, float Dy) {
  FR.Left -= Dx;
  FR.Top -= Dy;
  FR.Right += Dx;
  FR.Bottom += Dy;
}

void OffsetRectBy(TRect& R, std::int32_t Dx, std::int32_t Dy) {
  R.Left += Dx;
  R.Right += Dx;
  R.Top += Dy;
  R.Bottom += Dy;
}

void BuildGammaTable(float Gamma) {
  for (int i = 0; i < 256; ++i) {
    const long double v = std::pow(static_cast<long double>(i) / 255, static_cast<long double>(Gamma)) * 255;
    // A gamma of zero or below is meaningless; keep the table in byte range.
    GammaTable[i] = static_cast<std::uint8_t>(std::nearbyint(std::clamp<long double>(v, 0, 255)));
  }
}

namespace Raster {

void Startup() {
  if (gUnitCounter.Enter()) BuildGammaTable(1.6f);
}

void Shutdown() { gUnitCounter.Leave(); }

}  // namespace Raster

}  // namespace velkor
