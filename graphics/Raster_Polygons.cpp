#include "graphics/Raster_Polygons.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include <xmmintrin.h>

#include "graphics/Raster_Blend.h"
#include "graphics/Raster_System.h"
#include "graphics/Raster_VectorUtils.h"

namespace velkor::Raster_Polygons {

namespace {

using Raster_VectorUtils::PolygonBounds;

// |floor(c * Scale)| as an unsigned integer, saturating at Limit (NaN
// counts as 0).
std::uint32_t AbsFloor(float C, float Scale, std::uint32_t Limit) {
  const float a = std::fabs(std::floor(C * Scale));
  if (a < float(Limit)) return static_cast<std::uint32_t>(a);
  return a == a ? Limit : 0;
}

// The end of the run of values equal to Coverage[Start], four at a time
// while the whole group matches.
int RunEnd(const float* Coverage, int Start, int Count) {
  const __m128 c = _mm_set1_ps(Coverage[Start]);
  int end = Start + 1;
  while (end + 4 <= Count && _mm_movemask_ps(_mm_cmpeq_ps(_mm_loadu_ps(Coverage + end), c)) == 0xF) end += 4;
  while (end < Count && Coverage[end] == Coverage[Start]) ++end;
  return end;
}

template <std::uint32_t (*Weight)(float)>
void MakeColors(PSingleArray Coverage, PColor32Array Out, int Count, TColor32 Color) {
  const std::uint32_t A = Color >> 24;
  const TColor32 rgb = Color & 0x00FFFFFFu;
  int i = 0;
  while (i < Count) {
    // One conversion per run of equal coverage.
    const float c = Coverage[i];
    int end = RunEnd(Coverage, i, Count);
    // A * 257 * f reaches 255 * 257 * 65536 = 4 294 901 760: unsigned.
    const TColor32 value = (TColor32(GammaTable[(A * 257u * Weight(c)) >> 24]) << 24) | rgb;
    std::fill(Out + i, Out + end, value);
    i = end;
  }
}

std::uint32_t AlphaNonZero(float C) { return std::min<std::uint32_t>(AbsFloor(C, 256.0f, 255), 255); }

std::uint32_t AlphaEvenOdd(float C) {
  std::uint32_t a = AbsFloor(C, 256.0f, 0x7FFFFFFF);
  if (a & 0x100) a = ~a;
  return a & 0x1FF;  // below 256 either way
}

template <std::uint32_t (*Alpha)(float)>
void MakeAlpha(PSingleArray Coverage, PColor32Array Out, int Count, TColor32 /*Color*/) {
  for (int i = 0; i < Count; ++i) Out[i] = GammaTable[Alpha(Coverage[i])];
}

template <std::uint32_t (*Weight)(float)>
void MakeLCDWeights(PSingleArray Coverage, PColor32Array Out, int Count, TColor32 Color) {
  auto* o = reinterpret_cast<std::uint8_t*>(Out);
  const std::uint32_t A = Color >> 24;
  std::uint32_t b2 = 0, b1 = 0;  // b(i - 2), b(i - 1)
  float last = 0;
  std::uint32_t b = 0;
  for (int i = 0; i < Count; ++i) {
    const float c = Coverage[i];
    if (c != last) {
      last = c;
      b = (A * 86u * Weight(c)) >> 24;  // at most 85
    }
    o[i] = GammaTable[b2 + b1 + b];
    b2 = b1;
    b1 = b;
  }
  o[Count] = static_cast<std::uint8_t>(b2 + b1);
  o[Count + 1] = static_cast<std::uint8_t>(b1);
  o[Count + 2] = 0;
  o[Count + 3] = 0;
}

// The second box filter, over the first filter's values (not the ones it
// has already replaced).
void BoxFilterInPlace(std::uint8_t* o, int Count) {
  std::uint32_t p1 = 0, p2 = 0;
  for (int k = 0; k < Count; ++k) {
    const std::uint32_t cur = o[k];
    o[k] = static_cast<std::uint8_t>((cur + p1 + p2) / 3);
    p2 = p1;
    p1 = cur;
  }
}

template <std::uint32_t (*Weight)(float)>
void MakeLCD2Weights(PSingleArray Coverage, PColor32Array Out, int Count, TColor32 Color) {
  MakeLCDWeights<Weight>(Coverage, Out, Count, Color);
  BoxFilterInPlace(reinterpret_cast<std::uint8_t*>(Out), Count + 4);
}

std::unique_ptr<Raster_Containers::TClassList>& RendererListSlot() {
  static std::unique_ptr<Raster_Containers::TClassList> list;
  return list;
}

Raster_System::TUnitInitCounter Counter;

}  // namespace

// --- fill procedures ---------------------------------------------------------------------

std::uint32_t NonZeroWeight(float Coverage) { return AbsFloor(Coverage, 65536.0f, 65536); }

std::uint32_t EvenOddWeight(float Coverage) {
  const std::uint32_t v = AbsFloor(Coverage, 65536.0f, 0x7FFFFFFF);
  return ((v & 0x10000) ? ~v : v) & 0x1FFFF;
}

void MakeColorsNonZero(PSingleArray C, PColor32Array A, int N, TColor32 Color) {
  MakeColors<NonZeroWeight>(C, A, N, Color);
}
void MakeColorsEvenOdd(PSingleArray C, PColor32Array A, int N, TColor32 Color) {
  MakeColors<EvenOddWeight>(C, A, N, Color);
}
void MakeAlphaNonZero(PSingleArray C, PColor32Array A, int N, TColor32 Color) {
  MakeAlpha<AlphaNonZero>(C, A, N, Color);
}
void MakeAlphaEvenOdd(PSingleArray C, PColor32Array A, int N, TColor32 Color) {
  MakeAlpha<AlphaEvenOdd>(C, A, N, Color);
}
void MakeLCDWeightsNonZero(PSingleArray C, PColor32Array A, int N, TColor32 Color) {
  MakeLCDWeights<NonZeroWeight>(C, A, N, Color);
}
void MakeLCDWeightsEvenOdd(PSingleArray C, PColor32Array A, int N, TColor32 Color) {
  MakeLCDWeights<EvenOddWeight>(C, A, N, Color);
}
void MakeLCD2WeightsNonZero(PSingleArray C, PColor32Array A, int N, TColor32 Color) {
  MakeLCD2Weights<NonZeroWeight>(C, A, N, Color);
}
void MakeLCD2WeightsEvenOdd(PSingleArray C, PColor32Array A, int N, TColor32 Color) {
  MakeLCD2Weights<EvenOddWeight>(C, A, N, Color);
}

const TFillProc FillProcs[4][2] = {
    {MakeColorsEvenOdd, MakeColorsNonZero},
    {MakeAlphaEvenOdd, MakeAlphaNonZero},
    {MakeLCDWeightsEvenOdd, MakeLCDWeightsNonZero},
    {MakeLCD2WeightsEvenOdd, MakeLCD2WeightsNonZero},
};

void BlendLCDLine(const std::uint8_t* Weights, PColor32 Dst, TColor32 Color, int Count) {
  const auto blend = Raster_Blend::BlendColorPerChannelInto;
  for (int i = 0; i < Count; ++i) {
    std::uint32_t w;  // bytes 3i .. 3i + 3, little-endian
    std::memcpy(&w, Weights + 3 * i, 4);
    if (w == 0xFFFFFFFFu) {
      Dst[i] = Color;
    } else if (w & 0x00FFFFFFu) {
      blend(Color, Dst[i], w);
    }
  }
  Raster_Blend::ClearMMXState();
}

// --- TCustomPolygonRenderer --------------------------------------------------------------

const TClassInfo& TCustomPolygonRenderer::StaticClass() {
  static const TClassInfo info{"TCustomPolygonRenderer", &TThreadPersistent::StaticClass(),
                               [] { return New<TCustomPolygonRenderer>(); }, {}};
  return info;
}

void TCustomPolygonRenderer::PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect,
                                           Raster_Transforms::TTransformation* Transformation) {
  if (Transformation) {
    PolyPolygonFS(Raster_VectorUtils::TransformPolyPolygon(Points, *Transformation), ClipRect);
  } else {
    PolyPolygonFS(Points, ClipRect);
  }
}

void TCustomPolygonRenderer::PolyPolygonFS(const TArrayOfArrayOfFloatPoint&, const TFloatRect&) {}

void TCustomPolygonRenderer::PolygonFS(const TArrayOfFloatPoint& Points, const TFloatRect& ClipRect,
                                       Raster_Transforms::TTransformation* Transformation) {
  PolyPolygonFS(TArrayOfArrayOfFloatPoint{Points}, ClipRect, Transformation);
}

void TCustomPolygonRenderer::PolygonFS(const TArrayOfFloatPoint& Points, const TFloatRect& ClipRect) {
  PolyPolygonFS(TArrayOfArrayOfFloatPoint{Points}, ClipRect);
}

// --- TPolygonRenderer32 ------------------------------------------------------------------

TPolygonRenderer32::TPolygonRenderer32(TBitmap32* Bitmap, TPolyFillRule FillMode)
    : FBitmap(Bitmap), FFillMode(FillMode) {}

const TClassInfo& TPolygonRenderer32::StaticClass() {
  static const TClassInfo info{"TPolygonRenderer32", &TCustomPolygonRenderer::StaticClass(),
                               [] { return New<TPolygonRenderer32>(); }, {}};
  return info;
}

TBitmap32& TPolygonRenderer32::RequireBitmap() const {
  if (!FBitmap) throw EPolygonRendererError(std::string(ClassName()) + ": no bitmap to fill");
  return *FBitmap;
}

void TPolygonRenderer32::PolygonFS(const TArrayOfFloatPoint& Points) {
  PolyPolygonFS(TArrayOfArrayOfFloatPoint{Points}, RectToFloatRect(RequireBitmap().ClipRect()));
}

void TPolygonRenderer32::PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points) {
  PolyPolygonFS(Points, RectToFloatRect(RequireBitmap().ClipRect()));
}

void TPolygonRenderer32::SetBitmap(TBitmap32* Value) {
  if (FBitmap == Value) return;
  FBitmap = Value;
  Changed();
}

void TPolygonRenderer32::SetFillMode(TPolyFillRule Value) {
  if (FFillMode == Value) return;
  FFillMode = Value;
  Changed();
}

void TPolygonRenderer32::SetColor(TColor32 Value) {
  if (FColor == Value) return;
  FColor = Value;
  Changed();
}

void TPolygonRenderer32::SetFiller(TCustomPolygonFiller* Value) {
  if (FFiller == Value) return;
  FFiller = Value;
  Changed();
}

// --- TPolygonRenderer32VPR ---------------------------------------------------------------

const TClassInfo& TPolygonRenderer32VPR::StaticClass() {
  static const TClassInfo info{"TPolygonRenderer32VPR", &TPolygonRenderer32::StaticClass(),
                               [] { return New<TPolygonRenderer32VPR>(); }, {}};
  return info;
}

void TPolygonRenderer32VPR::UpdateFillProc() { FFillProc = FillProcs[FFiller ? 1 : 0][FFillMode ? 1 : 0]; }

bool TPolygonRenderer32VPR::LimitClipRect(const TFloatRect& ClipRect, TFloatRect& Result) const {
  // A clip beyond the bitmap would let spans run past its pixels.
  const TBitmap32& B = *FBitmap;
  if (std::isnan(ClipRect.Left) || std::isnan(ClipRect.Top) || std::isnan(ClipRect.Right) ||
      std::isnan(ClipRect.Bottom))
    return false;
  Result = {std::max(ClipRect.Left, 0.0f), std::max(ClipRect.Top, 0.0f),
            std::min(ClipRect.Right, float(B.Width())), std::min(ClipRect.Bottom, float(B.Height()))};
  return Result.Left < Result.Right && Result.Top < Result.Bottom;
}

void TPolygonRenderer32VPR::ReportChangedAreas(const TArrayOfArrayOfFloatPoint& Points) {
  TBitmap32& B = *FBitmap;
  if (B.UpdateCount() != 0 && !B.MeasuringMode()) return;
  for (const TArrayOfFloatPoint& P : Points) {
    if (!P.empty()) B.Changed(FloatRectToRect(PolygonBounds(P), rrNearest), AREAINFO_RECT);
  }
}

TColor32* TPolygonRenderer32VPR::Scratch(std::size_t Count) {
  if (FScratch.size() < Count) FScratch.resize(Count);
  return FScratch.data();
}

void TPolygonRenderer32VPR::PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect) {
  TBitmap32& B = RequireBitmap();
  UpdateFillProc();
  // Measuring: only the report below.
  if (!B.MeasuringMode()) {
    TFloatRect clip;
    const bool visible = LimitClipRect(ClipRect, clip);
    const TRenderSpanEvent span = GetRenderSpan();
    if (FFiller) FFiller->BeginRendering();
    try {
      if (visible) Raster_VPR::RasterizePolyPolygon(Points, clip, span.Proc, span.Data);
    } catch (...) {
      if (FFiller) FFiller->EndRendering();
      throw;
    }
    if (FFiller) FFiller->EndRendering();
  }
  ReportChangedAreas(Points);
}

void TPolygonRenderer32VPR::RenderSpan(const TValueSpan& Span, int DstY) {
  // Each run of equal coverage is one colour: converted once and blended
  // over the run's pixels at once (an opaque run is a plain fill), rather
  // than spread into an array of equal colours and blended pixel by pixel.
  const int N = Span.X2 - Span.X1 + 1;
  PColor32 dst = FBitmap->PixelPtr(Span.X1, DstY);
  const auto blendRun = Raster_Blend::BlendColorOverRun;
  for (int i = 0; i < N;) {
    const int end = RunEnd(Span.Values, i, N);
    TColor32 color;
    FFillProc(Span.Values + i, &color, 1, FColor);
    blendRun(color, dst + i, end - i);
    i = end;
  }
  Raster_Blend::ClearMMXState();
}

void TPolygonRenderer32VPR::FillSpan(const TValueSpan& Span, int DstY) {
  const int N = Span.X2 - Span.X1 + 1;
  TColor32* alpha = Scratch(std::size_t(N));
  FFillProc(Span.Values, alpha, N, FColor);
  FFiller->FillLine()(FBitmap->PixelPtr(Span.X1, DstY), Span.X1, DstY, N, alpha);
  Raster_Blend::ClearMMXState();
}

TRenderSpanEvent TPolygonRenderer32VPR::GetRenderSpan() {
  if (FFiller) {
    return {[](void* Self, const TValueSpan& Span, int DstY) {
              static_cast<TPolygonRenderer32VPR*>(Self)->FillSpan(Span, DstY);
            },
            this};
  }
  return {[](void* Self, const TValueSpan& Span, int DstY) {
            static_cast<TPolygonRenderer32VPR*>(Self)->RenderSpan(Span, DstY);
          },
          this};
}

// --- TPolygonRenderer32LCD ---------------------------------------------------------------

const TClassInfo& TPolygonRenderer32LCD::StaticClass() {
  static const TClassInfo info{"TPolygonRenderer32LCD", &TPolygonRenderer32VPR::StaticClass(),
                               [] { return New<TPolygonRenderer32LCD>(); }, {}};
  return info;
}

TRenderSpanEvent TPolygonRenderer32LCD::GetRenderSpan() {
  return {[](void* Self, const TValueSpan& Span, int DstY) {
            static_cast<TPolygonRenderer32LCD*>(Self)->RenderSpan(Span, DstY);
          },
          this};
}

void TPolygonRenderer32LCD::PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect) {
  TBitmap32& B = RequireBitmap();
  TFloatRect clip;
  if (!B.MeasuringMode() && LimitClipRect(ClipRect, clip)) {
    clip.Left *= 3;
    clip.Right *= 3;
    const TRenderSpanEvent span = GetRenderSpan();
    Raster_VPR::RasterizePolyPolygon(Raster_VectorUtils::ScalePolyPolygon(Points, 3, 1), clip, span.Proc,
                                     span.Data);
  }
  ReportChangedAreas(Points);
}

void TPolygonRenderer32LCD::MakeWeights(const TValueSpan& Span, std::uint8_t* Weights) {
  FillProcs[2][FFillMode ? 1 : 0](Span.Values, reinterpret_cast<PColor32Array>(Weights), Span.X2 - Span.X1 + 1,
                                  FColor);
}

void TPolygonRenderer32LCD::RenderSpan(const TValueSpan& Span, int DstY) {
  const int N = Span.X2 - Span.X1 + 1;
  int P = Span.X1 / 3;
  int S = Span.X1 % 3;
  // Bytes 0 .. 4 are zeros in front of the weights (byte 5 on); the
  // blend starts S bytes before byte 5, at pixel P's red sub-pixel, and
  // reads one byte past the last pixel's blue. The buffer is padded beyond
  // what the weights and that read need. Byte 0 of the buffer sits three
  // bytes into an aligned word, so the weights start on a word boundary.
  TColor32* words = Scratch(std::size_t(N + 16) / 4 + 2);
  std::uint8_t* buf = reinterpret_cast<std::uint8_t*>(words) + 3;
  std::memset(buf, 0, 5);
  if (P > 0) {
    --P;
    S += 3;
  }
  MakeWeights(Span, buf + 5);
  S -= ExtraLag();
  const int count = (N + S + 2 + ExtraLag()) / 3;
  BlendLCDLine(buf + 5 - S, FBitmap->PixelPtr(P, DstY), FColor, count);
}

// --- TPolygonRenderer32LCD2 --------------------------------------------------------------

const TClassInfo& TPolygonRenderer32LCD2::StaticClass() {
  static const TClassInfo info{"TPolygonRenderer32LCD2", &TPolygonRenderer32LCD::StaticClass(),
                               [] { return New<TPolygonRenderer32LCD2>(); }, {}};
  return info;
}

void TPolygonRenderer32LCD2::MakeWeights(const TValueSpan& Span, std::uint8_t* Weights) {
  FillProcs[3][FFillMode ? 1 : 0](Span.Values, reinterpret_cast<PColor32Array>(Weights), Span.X2 - Span.X1 + 1,
                                  FColor);
}

// --- registry ------------------------------------------------------------------------------

Raster_Containers::TClassList* PolygonRendererList() { return RendererListSlot().get(); }

void RegisterPolygonRenderer(TClass AClass) {
  auto& list = RendererListSlot();
  if (!list) list = std::make_unique<Raster_Containers::TClassList>();
  list->Add(AClass);
}

void Startup() {
  if (!Counter.Enter()) return;
  RegisterPolygonRenderer(&TPolygonRenderer32VPR::StaticClass());
  RegisterPolygonRenderer(&TPolygonRenderer32LCD::StaticClass());
  RegisterPolygonRenderer(&TPolygonRenderer32LCD2::StaticClass());
}

void Shutdown() {
  if (!Counter.Leave()) return;
  RendererListSlot().reset();
}

}  // namespace velkor::Raster_Polygons
