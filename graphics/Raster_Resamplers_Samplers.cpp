// The four resamplers of Raster_Resamplers: how each reads its bitmap at a
// single position (by pixel access mode) and which scaling algorithm its
// Resample runs.
#include <algorithm>
#include <cmath>
#include <limits>

#include "graphics/Raster_Blend.h"
#include "graphics/Raster_Resamplers.h"

namespace velkor::Raster_Resamplers {

namespace {

constexpr int kMaxKernelRadius = 16;  // 33 taps per direction
// Sample positions are kept within +-2^30 so that Ceil and the 16.16
// conversions stay inside the integer range.
constexpr float kMaxCoordinate = 1073741824.0f;

// Round to nearest, ties to even, saturated to the integer range (NaN gives
// 0).
int RoundToInt(double V) {
  if (std::isnan(V)) return 0;
  if (V >= 2147483647.0) return std::numeric_limits<int>::max();
  if (V <= -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(std::nearbyint(V));
}

// Weight radius of a kernel: Ceil(width), within 0..16.
int KernelRadius(const TCustomKernel& Kernel) {
  const float w = Kernel.GetWidth();
  if (!(w > 0)) return 0;
  if (w >= kMaxKernelRadius) return kMaxKernelRadius;
  return static_cast<int>(std::ceil(w));
}

// Round(256 * Filter(i + T)) for i = -W..W into Weights[0 .. 2W], the centre
// tap then taking up the difference to 256.
void DynamicWeights(const TCustomKernel& Kernel, int W, float T, int* Weights) {
  int sum = 0;
  for (int i = -W; i <= W; ++i) {
    const int w = RoundToInt(256.0 * Kernel.Filter(static_cast<float>(i) + T));
    Weights[i + W] = w;
    sum += w;
  }
  Weights[W] -= sum - 256;
}

constexpr TColor32 WithAlpha0(TColor32 C) { return C & 0x00FFFFFFu; }

// The sum of an accumulator rounded back from 8.8 x 8.8: (v + $7FFF) shr 16
// taken as a signed 16-bit value.
constexpr int UnpackSum(std::int64_t V) {
  return static_cast<std::int16_t>(static_cast<std::uint32_t>(V + 0x7FFF) >> 16);
}

const std::string_view kKernelModeNames[] = {"kmDynamic", "kmTableNearest", "kmTableLinear"};

}  // namespace

// --- TNearestResampler ------------------------------------------------------------

const TClassInfo& TNearestResampler::StaticClass() {
  static const TClassInfo info{"TNearestResampler", &TCustomResampler::StaticClass(),
                               [] { return std::unique_ptr<TPersistent>(New<TNearestResampler>()); }, {}};
  return info;
}

TNearestResampler::TNearestResampler() = default;
TNearestResampler::TNearestResampler(TCustomBitmap32* ABitmap) : TCustomResampler(ABitmap) {}

TColor32 TNearestResampler::ReadUnsafe(int X, int Y) { return FBitmap->GetPixel(X, Y); }
TColor32 TNearestResampler::ReadSafe(int X, int Y) { return FBitmap ? FBitmap->GetPixelS(X, Y) : 0; }
TColor32 TNearestResampler::ReadWrap(int X, int Y) { return FBitmap->GetPixelW(X, Y); }

TColor32 TNearestResampler::ReadTransparentEdge(int X, int Y) {
  const TRect& c = FClipRect;
  if (c.Right <= c.Left || c.Bottom <= c.Top) return 0;  // nothing to clamp into
  const int x = std::clamp(X, c.Left, c.Right - 1), y = std::clamp(Y, c.Top, c.Bottom - 1);
  const TColor32 pixel = FBitmap->GetPixel(x, y);
  return x != X || y != Y ? WithAlpha0(pixel) : pixel;
}

void TNearestResampler::PrepareSampling() {
  TCustomResampler::PrepareSampling();
  switch (FPixelAccessMode) {
    case pamUnsafe: FGetSampleInt = &TNearestResampler::ReadUnsafe; break;
    case pamSafe: FGetSampleInt = &TNearestResampler::ReadSafe; break;
    case pamWrap: FGetSampleInt = &TNearestResampler::ReadWrap; break;
    case pamTransparentEdge: FGetSampleInt = &TNearestResampler::ReadTransparentEdge; break;
  }
  if (!FBitmap) FGetSampleInt = &TNearestResampler::ReadSafe;
}

TColor32 TNearestResampler::GetSampleInt(int X, int Y) { return (this->*FGetSampleInt)(X, Y); }

TColor32 TNearestResampler::GetSampleFixed(TFixed X, TFixed Y) {
  return (this->*FGetSampleInt)(Raster_Math::FixedToIntRound(X), Raster_Math::FixedToIntRound(Y));
}

TColor32 TNearestResampler::GetSampleFloat(float X, float Y) {
  return (this->*FGetSampleInt)(RoundToInt(X), RoundToInt(Y));
}

void TNearestResampler::Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                                 TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  ScaleNearest(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack);
}

// --- TLinearResampler ---------------------------------------------------------------

const TClassInfo& TLinearResampler::StaticClass() {
  static const TClassInfo info{"TLinearResampler", &TCustomResampler::StaticClass(),
                               [] { return std::unique_ptr<TPersistent>(New<TLinearResampler>()); }, {}};
  return info;
}

TLinearResampler::TLinearResampler() : FLinearKernel(New<TLinearKernel>()) {}
TLinearResampler::TLinearResampler(TCustomBitmap32* ABitmap)
    : TCustomResampler(ABitmap), FLinearKernel(New<TLinearKernel>()) {}
TLinearResampler::~TLinearResampler() = default;

TColor32 TLinearResampler::ReadUnsafe(TFixed X, TFixed Y) { return FBitmap->GetPixelX(X, Y); }
TColor32 TLinearResampler::ReadSafe(TFixed X, TFixed Y) { return FBitmap ? FBitmap->GetPixelXS(X, Y) : 0; }
TColor32 TLinearResampler::ReadWrap(TFixed X, TFixed Y) { return FBitmap->GetPixelXW(X, Y); }

// Inside the clip rectangle less its last row and column: the bilinear
// read. Within one pixel outside it: the four neighbours clamped to the
// edge, those that lie outside made transparent, mixed by the gamma-shaped
// weights. Further out: 0.
TColor32 TLinearResampler::ReadTransparentEdge(TFixed X, TFixed Y) {
  const TRect& c = FClipRect;
  if (c.Right <= c.Left || c.Bottom <= c.Top) return 0;
  const int xi = X >> 16, yi = Y >> 16;
  if (xi >= c.Left && xi < c.Right - 1 && yi >= c.Top && yi < c.Bottom - 1) {
    const TColor32 result = FBitmap->GetPixelInterpolated(X / 256, Y / 256);
    Raster_Blend::ClearMMXState();
    return result;
  }
  if (xi < c.Left - 1 || yi < c.Top - 1 || xi > c.Right - 1 || yi > c.Bottom - 1) return 0;

  const int sx = (X > 0) - (X < 0), sy = (Y > 0) - (Y < 0);
  const int x0 = std::clamp(xi, c.Left, c.Right - 1), x1 = std::clamp(xi + sx, c.Left, c.Right - 1);
  const int y0 = std::clamp(yi, c.Top, c.Bottom - 1), y1 = std::clamp(yi + sy, c.Top, c.Bottom - 1);
  const TColor32* row0 = FBitmap->ScanLine(y0);
  const TColor32* row1 = FBitmap->ScanLine(y1);
  TColor32 F = row0[x0], G = row0[x1], H = row1[x0], K = row1[x1];
  if (std::int64_t(X) <= std::int64_t(c.Left) * 65536) {
    F = WithAlpha0(F), H = WithAlpha0(H);
  } else if (xi == c.Right - 1) {
    G = WithAlpha0(G), K = WithAlpha0(K);
  }
  if (std::int64_t(Y) <= std::int64_t(c.Top) * 65536) {
    F = WithAlpha0(F), G = WithAlpha0(G);
  } else if (yi == c.Bottom - 1) {
    H = WithAlpha0(H), K = WithAlpha0(K);
  }
  const int wx = GammaTable[255 - ((std::uint32_t(X) >> 8) & 255)];
  const int wy = GammaTable[255 - ((std::uint32_t(Y) >> 8) & 255)];
  const TColor32 result = Raster_Blend::CombineColor(Raster_Blend::CombineColor(F, G, wx),
                                                     Raster_Blend::CombineColor(H, K, wx), wy);
  Raster_Blend::ClearMMXState();
  return result;
}

void TLinearResampler::PrepareSampling() {
  TCustomResampler::PrepareSampling();
  switch (FPixelAccessMode) {
    case pamUnsafe: FGetSampleFixed = &TLinearResampler::ReadUnsafe; break;
    case pamSafe: FGetSampleFixed = &TLinearResampler::ReadSafe; break;
    case pamWrap: FGetSampleFixed = &TLinearResampler::ReadWrap; break;
    case pamTransparentEdge: FGetSampleFixed = &TLinearResampler::ReadTransparentEdge; break;
  }
  if (!FBitmap) FGetSampleFixed = &TLinearResampler::ReadSafe;
}

TColor32 TLinearResampler::GetSampleFixed(TFixed X, TFixed Y) { return (this->*FGetSampleFixed)(X, Y); }

TColor32 TLinearResampler::GetSampleFloat(float X, float Y) {
  return (this->*FGetSampleFixed)(RoundToInt(double(X) * 65536), RoundToInt(double(Y) * 65536));
}

void TLinearResampler::Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                                TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  const int dstW = DstRect.Right - DstRect.Left, dstH = DstRect.Bottom - DstRect.Top;
  const int srcW = SrcRect.Right - SrcRect.Left, srcH = SrcRect.Bottom - SrcRect.Top;
  if (dstW > srcW && dstH > srcH && srcW > 1 && srcH > 1)
    ScaleBilinear(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack);
  else
    ResampleWithKernel(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack, FLinearKernel.get());
}

// --- TDraftResampler ------------------------------------------------------------------

const TClassInfo& TDraftResampler::StaticClass() {
  static const TClassInfo info{"TDraftResampler", &TLinearResampler::StaticClass(),
                               [] { return std::unique_ptr<TPersistent>(New<TDraftResampler>()); }, {}};
  return info;
}

void TDraftResampler::Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                               TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  ScaleByBlocks(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack, LinearKernel());
}

// --- TKernelResampler -------------------------------------------------------------------

const TClassInfo& TKernelResampler::StaticClass() {
  using C = TKernelResampler;
  static const TClassInfo info{
      "TKernelResampler",
      &TCustomResampler::StaticClass(),
      [] { return std::unique_ptr<TPersistent>(New<TKernelResampler>()); },
      {StringProperty<C>("KernelClassName", &C::KernelClassName,
                         [](C& r, const std::string& v) { r.SetKernelClassName(v); }),
       ObjectProperty<C>("Kernel", [](const C& r) -> TPersistent* { return r.Kernel(); }),
       EnumProperty<C, TKernelMode>("KernelMode", kKernelModeNames, &C::KernelMode, &C::SetKernelMode),
       IntegerProperty<C>("TableSize", &C::TableSize, [](C& r, std::int64_t v) {
         r.SetTableSize(int(std::clamp<std::int64_t>(v, 2, std::numeric_limits<int>::max())));
       })}};
  return info;
}

TKernelResampler::TKernelResampler() : FKernel(New<TBoxKernel>()) {}
TKernelResampler::TKernelResampler(TCustomBitmap32* ABitmap)
    : TCustomResampler(ABitmap), FKernel(New<TBoxKernel>()) {}
TKernelResampler::~TKernelResampler() = default;

float TKernelResampler::GetWidth() const { return FKernel->GetWidth(); }

std::string TKernelResampler::KernelClassName() const { return std::string(FKernel->ClassName()); }

void TKernelResampler::SetKernelClassName(std::string_view Value) {
  if (Value.empty() || Value == FKernel->ClassName() || !KernelClassList) return;
  const TClass cls = KernelClassList->Find(Value);
  if (!cls || !cls->Factory) return;
  std::unique_ptr<TPersistent> made = cls->Create();
  auto* kernel = dynamic_cast<TCustomKernel*>(made.get());
  if (!kernel) return;
  made.release();
  FKernel.reset(kernel);
  Changed();
}

void TKernelResampler::SetKernel(TCustomKernel* Value) {
  if (!Value || Value == FKernel.get()) return;
  FKernel.reset(Value);
  Changed();
}

void TKernelResampler::SetKernelMode(TKernelMode Value) {
  if (Value == FKernelMode) return;
  FKernelMode = Value;
  Changed();
}

void TKernelResampler::SetTableSize(int Value) {
  Value = std::max(Value, 2);
  if (Value == FTableSize) return;
  FTableSize = Value;
  Changed();
}

void TKernelResampler::Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                                TRect SrcRect, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  ResampleWithKernel(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack, FKernel.get());
}

// Row c of the table holds the weights for the fractional offset
// c / (TableSize - 1), each row normalised to 256 at its centre.
void TKernelResampler::PrepareSampling() {
  TCustomResampler::PrepareSampling();
  if (FBitmap) FOuterColor = FBitmap->OuterColor();
  FTableRadius = -1;
  if (FKernelMode != kmTableNearest && FKernelMode != kmTableLinear) return;
  const int W = KernelRadius(*FKernel);
  FWeightTable.SetSize(2 * W + 1, FTableSize + 1);
  for (int c = 0; c <= FTableSize; ++c) {
    const float t = static_cast<float>(c) / static_cast<float>(FTableSize - 1);
    DynamicWeights(*FKernel, W, t, FWeightTable.GetScanline(c));
  }
  FTableRadius = W;
}

void TKernelResampler::FinalizeSampling() {
  if (FKernelMode == kmTableNearest || FKernelMode == kmTableLinear) FWeightTable.SetSize(0, 0);
  FTableRadius = -1;
}

TColor32 TKernelResampler::GetSampleFloat(float X, float Y) {
  if (!FBitmap) return 0;
  const int W = KernelRadius(*FKernel);
  const TRect& clip = FClipRect;
  const TColor32 outside = FPixelAccessMode == pamTransparentEdge ? 0 : FOuterColor;
  if (std::isnan(X) || std::isnan(Y)) return outside;
  X = std::clamp(X, -kMaxCoordinate, kMaxCoordinate);
  Y = std::clamp(Y, -kMaxCoordinate, kMaxCoordinate);

  // 1. The taps (cx + i, cy + j), i and j in -W..W.
  const int cx = static_cast<int>(std::ceil(X)), cy = static_cast<int>(std::ceil(Y));
  const float tx = static_cast<float>(cx) - X, ty = static_cast<float>(cy) - Y;

  // 2. The part of the window that may be read.
  int colLo = -W, colHi = W, rowLo = -W, rowHi = W;
  bool cut = false;
  if (FPixelAccessMode == pamSafe || FPixelAccessMode == pamTransparentEdge) {
    if (cx < clip.Left || cx > clip.Right || cy < clip.Top || cy > clip.Bottom) return outside;
    colLo = std::max(-W, clip.Left - cx), colHi = std::min(W, clip.Right - cx - 1);
    rowLo = std::max(-W, clip.Top - cy), rowHi = std::min(W, clip.Bottom - cy - 1);
    cut = colLo != -W || colHi != W || rowLo != -W || rowHi != W;
  } else if (FPixelAccessMode == pamWrap && (clip.Right <= clip.Left || clip.Bottom <= clip.Top)) {
    return FOuterColor;  // nothing to wrap into
  }

  // 3. Weights per column and row. The table modes fall back to computed
  // weights when no table of this kernel's radius was prepared.
  int wx[2 * kMaxKernelRadius + 1], wy[2 * kMaxKernelRadius + 1];
  const bool haveTable = FTableRadius == W && !FWeightTable.Empty();
  auto weights = [&](float t, int* out) {
    if (FKernelMode == kmTableNearest && haveTable) {
      const int row = std::clamp(RoundToInt(double(t) * (FTableSize - 1)), 0, FTableSize);
      std::copy_n(FWeightTable.GetScanline(row), 2 * W + 1, out);
    } else if (FKernelMode == kmTableLinear && haveTable) {
      const int U = RoundToInt(double(t) * (FTableSize - 1) * 65536);
      const int r = std::clamp(U >> 16, 0, FTableSize - 1), f = U & 0xFFFF;
      const std::int32_t* row0 = FWeightTable.GetScanline(r);
      const std::int32_t* row1 = FWeightTable.GetScanline(r + 1);
      int sum = 0;
      for (int k = 0; k <= 2 * W; ++k) {
        out[k] = row0[k] + ((row1[k] - row0[k]) * f + 0x7FFF) / 65536;
        sum += out[k];
      }
      out[W] -= sum - 256;
    } else {
      DynamicWeights(*FKernel, W, t, out);
    }
  };
  weights(tx, wx);
  weights(ty, wy);

  // pamWrap maps the columns and rows into the clip rectangle once.
  int wrapCol[2 * kMaxKernelRadius + 1], wrapRow[2 * kMaxKernelRadius + 1];
  if (FPixelAccessMode == pamWrap) {
    const auto wrapX = Raster_LowLevel::SelectWrapProcEx(FBitmap->WrapMode(), clip.Left, clip.Right - 1);
    const auto wrapY = Raster_LowLevel::SelectWrapProcEx(FBitmap->WrapMode(), clip.Top, clip.Bottom - 1);
    for (int k = -W; k <= W; ++k) {
      wrapCol[k + W] = wrapX(cx + k, clip.Left, clip.Right - 1);
      wrapRow[k + W] = wrapY(cy + k, clip.Top, clip.Bottom - 1);
    }
  }

  // 5. (prepared here) The outer colour fills the taps cut off the window
  // under pamSafe, its colour weighted by its alpha.
  const std::uint32_t outerA = FOuterColor >> 24;
  const bool fillOuter = cut && FPixelAccessMode == pamSafe && outerA != 0;
  const int outerR = int((((FOuterColor >> 16) & 255) * outerA) / 255);
  const int outerG = int((((FOuterColor >> 8) & 255) * outerA) / 255);
  const int outerB = int(((FOuterColor & 255) * outerA) / 255);

  // 4. Accumulate, colour weighted by its own alpha.
  std::int64_t sumA = 0, sumR = 0, sumG = 0, sumB = 0;
  const int jLo = fillOuter ? -W : rowLo, jHi = fillOuter ? W : rowHi;
  const int iLo = fillOuter ? -W : colLo, iHi = fillOuter ? W : colHi;
  for (int j = jLo; j <= jHi; ++j) {
    const int wj = wy[j + W];
    if (wj == 0) continue;
    const bool rowInside = j >= rowLo && j <= rowHi;
    const TColor32* row = nullptr;
    if (rowInside) row = FBitmap->ScanLine(FPixelAccessMode == pamWrap ? wrapRow[j + W] : cy + j);
    std::int32_t a = 0, r = 0, g = 0, b = 0;
    for (int i = iLo; i <= iHi; ++i) {
      const int w = wx[i + W];
      if (rowInside && i >= colLo && i <= colHi) {
        const TColor32 C = row[FPixelAccessMode == pamWrap ? wrapCol[i + W] : cx + i];
        const std::uint32_t ca = C >> 24;
        if (ca == 0) continue;
        a += w * int(ca);
        if (ca == 255) {
          r += w * int((C >> 16) & 255), g += w * int((C >> 8) & 255), b += w * int(C & 255);
        } else {
          r += w * int((((C >> 16) & 255) * ca) / 255);
          g += w * int((((C >> 8) & 255) * ca) / 255);
          b += w * int(((C & 255) * ca) / 255);
        }
      } else if (fillOuter) {
        a += w * int(outerA), r += w * outerR, g += w * outerG, b += w * outerB;
      }
    }
    sumA += std::int64_t(wj) * a, sumR += std::int64_t(wj) * r;
    sumG += std::int64_t(wj) * g, sumB += std::int64_t(wj) * b;
  }

  // 6. Back from 16.16, the colours divided by the alpha again.
  int A = UnpackSum(sumA), R = UnpackSum(sumR), G = UnpackSum(sumG), B = UnpackSum(sumB);
  if (FKernel->NeedsClamping()) {
    auto clamp8 = [](int v) { return std::clamp(v, 0, 255); };
    A = clamp8(A);
    if (A == 0) return 0;
    if (A < 255) R = R * 255 / A, G = G * 255 / A, B = B * 255 / A;
    R = clamp8(R), G = clamp8(G), B = clamp8(B);
  } else {
    A &= 255;
    if (A == 0) return 0;
    if (A < 255) R = R * 255 / A, G = G * 255 / A, B = B * 255 / A;
    R &= 255, G &= 255, B &= 255;
  }
  return (TColor32(A) << 24) | (TColor32(R) << 16) | (TColor32(G) << 8) | TColor32(B);
}

}  // namespace velkor::Raster_Resamplers
