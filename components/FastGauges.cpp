#include "components/FastGauges.h"

#include <algorithm>
#include <cmath>

#include "components/FaceRoutines.h"

namespace velkor {

namespace {

constexpr TColor32 kBlack = 0xFF000000u;
constexpr TColor32 kWhite = 0xFFFFFFFFu;

// A * B / C on 64 bits, rounded half away from zero. The callers keep the
// quotient within 0..B, so it always fits.
std::int64_t MulDiv64(std::int64_t A, std::int64_t B, std::int64_t C) {
  const std::int64_t p = A * B;
  const std::int64_t q = (p < 0) == (C < 0) ? (2 * p + C) / (2 * C) : (2 * p - C) / (2 * C);
  return q;
}

// Rows Top..Bottom-1 of R, each a plain line in the mix of Top and Bottom
// colours at the row's place.
void FillGradient(TCustomBitmap32& B, const TRect& R, TColor32 Top, TColor32 Bottom) {
  const int rows = R.Bottom - R.Top;
  for (int r = 0; r < rows; ++r) B.HorzLineS(R.Left, R.Top + r, R.Right - 1, MixColor(Top, Bottom, r, rows - 1));
}

}  // namespace

int GetBarSize(int AMin, int AMax, int APos, int AWidth) {
  if (AWidth - 4 < 0 || AMin == AMax) return 0;
  const std::int64_t pos = std::clamp(APos, std::min(AMin, AMax), std::max(AMin, AMax));
  return int(MulDiv64(pos - AMin, std::int64_t(AWidth) - 4, std::int64_t(AMax) - AMin));
}

TVQR_FastGauge::TVQR_FastGauge(QWidget* Parent) : TVQR_CustomControl(Parent) {
  SetColor(clBtnFace);
  setGeometry(0, 0, 120, 24);
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TVQR_FastGauge::Set3(int AVMin, int AVMax, int AVPos) {
  if (AVPos < AVMin || AVPos > AVMax) return;
  const int before = GetBarSize(FVMin, FVMax, FVPos, width());
  const int after = GetBarSize(AVMin, AVMax, AVPos, width());
  FVMin = AVMin;
  FVMax = AVMax;
  FVPos = AVPos;
  if (after != before) Invalidate();
}

void TVQR_FastGauge::Get3(int& AVMin, int& AVMax, int& AVPos) const {
  AVMin = FVMin;
  AVMax = FVMax;
  AVPos = FVPos;
}

void TVQR_FastGauge::SetVMin(int Value) {
  Value = std::min(Value, FVMax);
  Set3(Value, FVMax, std::clamp(FVPos, Value, FVMax));
}

void TVQR_FastGauge::SetVMax(int Value) {
  Value = std::max(Value, FVMin);
  Set3(FVMin, Value, std::clamp(FVPos, FVMin, Value));
}

void TVQR_FastGauge::SetVPos(int Value) { Set3(FVMin, FVMax, std::clamp(Value, FVMin, FVMax)); }

double TVQR_FastGauge::RealPos() const {
  if (FVMin == FVMax) return 0;
  return (double(FVPos) - FVMin) / (double(FVMax) - FVMin);
}

void TVQR_FastGauge::SetRealPos(double Value) {
  const double x = std::isnan(Value) ? 0.0 : std::clamp(Value, 0.0, 1.0);
  SetVPos(int(std::nearbyint((1 - x) * FVMin + x * FVMax)));
}

void TVQR_FastGauge::SetColorProgress(TColor Value) {
  if (Value == FColorProgress) return;
  FColorProgress = Value;
  Invalidate();
}

void TVQR_FastGauge::SetColorFrame(TColor Value) {
  if (Value == FColorFrame) return;
  FColorFrame = Value;
  Invalidate();
}

void TVQR_FastGauge::RenderCache(TTrueImage& Image) {
  TVQR_CustomControl::RenderCache(Image);
  const int W = width(), H = height();
  if (std::min(W, H) < 5) return;
  TBitmap32& b = Image.BMP32();

  const TColor32 fc = ResolveColor(FColorFrame), bc = ResolveColor(Color());
  const TColor32 outer = WeighColors(fc, 0.6f, bc, 0.4f);
  TRect r{0, 0, W, H};
  DrawRing(b, r, outer, outer);
  DrawRing(b, r, WeighColors(bc, 0.6f, kBlack, 0.4f), WeighColors(bc, 0.6f, kWhite, 0.4f));

  const int bar = GetBarSize(FVMin, FVMax, FVPos, W);
  const TRect trough{2 + bar, 2, W - 2, H - 2};
  if (trough.Left < trough.Right)
    FillGradient(b, trough, WeighColors(bc, 0.9f, kBlack, 0.1f), WeighColors(bc, 0.9f, kWhite, 0.1f));
  if (bar > 0) {
    const TColor32 pc = ResolveColor(FColorProgress);
    FillGradient(b, {2, 2, 2 + bar, H - 2}, WeighColors(pc, 0.6f, kWhite, 0.4f), WeighColors(pc, 0.6f, kBlack, 0.4f));
  }
}

}  // namespace velkor
