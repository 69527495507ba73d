// Block and stretch transfers of Raster_Resamplers, and the four scaling
// algorithms the resamplers run: nearest neighbour, bilinear, kernel
// convolution through mapping tables, and block averaging.
//
// Every destination pixel centre maps to the source coordinate
// SrcRect.Left - 0.5 + (SrcW / DstW) * (x - DstRect.Left + 0.5) (rows
// likewise). The algorithms produce one destination row at a time into a
// buffer and hand it to a row combiner, which applies the draw mode.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

#include "graphics/Raster_Blend.h"
#include "graphics/Raster_LowLevel.h"
#include "graphics/Raster_Resamplers.h"
#include "graphics/Raster_ResamplersVariants.h"

namespace velkor::Raster_Resamplers {

namespace {

// Calls ClearMMXState when a transfer ends, also by an exception.
struct TVectorStateGuard {
  ~TVectorStateGuard() { Raster_Blend::ClearMMXState(); }
};

// A float rounded toward -inf / +inf and saturated to the integer range.
int SaturatedInt(double V) {
  if (std::isnan(V)) return 0;
  if (V >= 2147483647.0) return std::numeric_limits<int>::max();
  if (V <= -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(V);
}
int FloorToInt(double V) { return SaturatedInt(std::floor(V)); }
int CeilToInt(double V) { return SaturatedInt(std::ceil(V)); }
int RoundToInt(double V) { return SaturatedInt(std::nearbyint(V)); }
int ClampToInt(std::int64_t V) {
  return int(std::clamp<std::int64_t>(V, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

TRect Intersection(const TRect& A, const TRect& B) {
  TRect r;
  IntersectRects(r, A, B);
  return r;
}

bool Inside(const TRect& R, const TCustomBitmap32& Bitmap) {
  return R.Left >= 0 && R.Top >= 0 && R.Right <= Bitmap.Width() && R.Bottom <= Bitmap.Height();
}

// The clipped destination area of a scaling call: DstClip within the
// destination and DstRect. SrcRect must lie inside the source.
TRect PrepareScaling(TCustomBitmap32* Dst, const TRect& DstRect, const TRect& DstClip, TCustomBitmap32* Src,
                     const TRect& SrcRect) {
  if (!Dst) throw EBitmapException("Destination bitmap is nil");
  if (!Src) throw EBitmapException("Source bitmap is nil");
  const TRect clip = Intersection(Intersection(DstClip, Dst->BoundsRect()), DstRect);
  if (IsRectEmpty32(clip)) return {};
  if (!Inside(SrcRect, *Src)) throw std::runtime_error("Invalid SrcRect");
  return clip;
}

// Applies a draw mode to rows of produced pixels. The row form (used by the
// same-size copy and the nearest stretch) blends whole rows with the
// combine mode's row routines, the pixel form with its masked
// blend-into-memory routine; the two agree wherever the masked forms are
// used.
class TRowCombiner {
 public:
  TRowCombiner(const TCustomBitmap32& Src, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack)
      : FOp(CombineOp == dmCustom && !CombineCallBack ? dmOpaque : CombineOp),
        FCallBack(CombineCallBack),
        FMasterAlpha(Src.MasterAlpha()),
        FOuterColor(Src.OuterColor()),
        FMode(Src.CombineMode()) {}

  TDrawMode Op() const { return FOp; }

  void Row(const TColor32* Src, TColor32* Dst, int Count) const {
    switch (FOp) {
      case dmOpaque: Raster_LowLevel::MoveLongwords(Src, Dst, Count); break;
      case dmBlend:
        if (FMasterAlpha < 255)
          (*Raster_Blend::BlendRowMaskedByMode[FMode])(Src, Dst, Count, int(FMasterAlpha));
        else
          (*Raster_Blend::BlendRowByMode[FMode])(Src, Dst, Count);
        break;
      default: PerPixel(Src, Dst, Count); break;
    }
  }

  void Pixels(const TColor32* Src, TColor32* Dst, int Count) const {
    switch (FOp) {
      case dmOpaque: Raster_LowLevel::MoveLongwords(Src, Dst, Count); break;
      case dmBlend: {
        const auto blend = *Raster_Blend::BlendIntoMaskedByMode[FMode];
        for (int i = 0; i < Count; ++i) blend(Src[i], Dst[i], int(FMasterAlpha));
        break;
      }
      default: PerPixel(Src, Dst, Count); break;
    }
  }

 private:
  void PerPixel(const TColor32* Src, TColor32* Dst, int Count) const {
    if (FOp == dmTransparent) {
      for (int i = 0; i < Count; ++i)
        if (Src[i] != FOuterColor) Dst[i] = Src[i];
    } else {
      for (int i = 0; i < Count; ++i) FCallBack(Src[i], Dst[i], FMasterAlpha);
    }
  }

  TDrawMode FOp;
  const TPixelCombineEvent& FCallBack;
  std::uint32_t FMasterAlpha;
  TColor32 FOuterColor;
  TCombineMode FMode;
};

// A copy of Area of Bitmap in a bitmap of its own, with the settings the
// transfers read from a source: for stretching a bitmap into itself.
std::unique_ptr<TCustomBitmap32> CopyOfArea(const TCustomBitmap32& Bitmap, const TRect& Area) {
  auto copy = New<TCustomBitmap32>();
  copy->SetSize(Area.Right - Area.Left, Area.Bottom - Area.Top);
  for (int y = Area.Top; y < Area.Bottom; ++y)
    Raster_LowLevel::MoveLongwords(Bitmap.PixelPtr(Area.Left, y), copy->ScanLine(y - Area.Top),
                                   Area.Right - Area.Left);
  copy->SetMasterAlpha(Bitmap.MasterAlpha());
  copy->SetCombineMode(Bitmap.CombineMode());
  copy->SetOuterColor(Bitmap.OuterColor());
  copy->SetWrapMode(Bitmap.WrapMode());
  return copy;
}

// Bilinear column (row) positions: for each clipped destination column the
// left source column and its weight (the one to its right gets 256 minus
// it), never reading past SrcHi - 1.
struct TLinearTap {
  int Pos;
  int Weight;
};

std::vector<TLinearTap> LinearTaps(int DstLo, int DstHi, int ClipLo, int ClipHi, int SrcLo, int SrcHi,
                                   int SrcSize) {
  std::vector<TLinearTap> taps(std::size_t(ClipHi - ClipLo));
  const float scale = float(SrcHi - SrcLo) / float(DstHi - DstLo);
  for (int x = ClipLo; x < ClipHi; ++x) {
    float p = float(SrcLo) - 0.5f + scale * (float(x - DstLo) + 0.5f);
    p = std::clamp(p, 0.0f, float(SrcSize - 1));
    const int pos = FloorToInt(p);
    taps[x - ClipLo] = {pos, 256 - RoundToInt((p - float(pos)) * 256.0f)};
  }
  for (auto it = taps.rbegin(); it != taps.rend() && it->Pos + 1 == SrcHi; ++it) {
    --it->Pos;
    it->Weight = 0;
  }
  return taps;
}

}  // namespace

// --- Same-size copies ---------------------------------------------------------------

// Within one bitmap the rows are walked bottom-up when the destination lies
// lower, each row is moved as if through a temporary, and the row combiners
// other than the copy read a copy of the source row, so no source pixel is
// overwritten before it is read.
void CopyBlockRows(TCustomBitmap32* Dst, TRect DstArea, TCustomBitmap32* Src, int SrcX, int SrcY,
                   TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  TVectorStateGuard guard;
  const int w = DstArea.Right - DstArea.Left, h = DstArea.Bottom - DstArea.Top;
  if (w <= 0 || h <= 0) return;
  const TRowCombiner combiner(*Src, CombineOp, CombineCallBack);
  const bool sameStore = Src->Bits() == Dst->Bits();
  const bool bottomUp = sameStore && DstArea.Top > SrcY;
  std::vector<TColor32> rowCopy(sameStore && combiner.Op() != dmOpaque ? std::size_t(w) : 0);
  for (int k = 0; k < h; ++k) {
    const int dy = bottomUp ? h - 1 - k : k;
    const TColor32* src = Src->PixelPtr(SrcX, SrcY + dy);
    if (!rowCopy.empty()) {
      std::copy_n(src, w, rowCopy.data());
      src = rowCopy.data();
    }
    combiner.Row(src, Dst->PixelPtr(DstArea.Left, DstArea.Top + dy), w);
  }
}

void TransferBlock(TCustomBitmap32* Dst, int DstX, int DstY, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                   TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  TVectorStateGuard guard;
  if (!Dst) throw EBitmapException("Destination bitmap is nil");
  if (!Src) throw EBitmapException("Source bitmap is nil");
  if (Dst->Empty() || Src->Empty() || (CombineOp == dmBlend && Src->MasterAlpha() == 0)) return;

  const int srcX = SrcRect.Left, srcY = SrcRect.Top;
  DstClip = Intersection(DstClip, Dst->BoundsRect());
  SrcRect = Intersection(SrcRect, Src->BoundsRect());
  if (IsRectEmpty32(SrcRect) || IsRectEmpty32(DstClip)) return;
  // Moved to the destination in 64 bits: the offsets may be far apart.
  const std::int64_t dx = std::int64_t(DstX) - srcX, dy = std::int64_t(DstY) - srcY;
  const TRect moved{ClampToInt(SrcRect.Left + dx), ClampToInt(SrcRect.Top + dy), ClampToInt(SrcRect.Right + dx),
                    ClampToInt(SrcRect.Bottom + dy)};
  const TRect area = Intersection(moved, DstClip);
  if (IsRectEmpty32(area)) return;

  if (!Dst->MeasuringMode())
    CopyBlockRows(Dst, area, Src, int(area.Left - dx), int(area.Top - dy), CombineOp, CombineCallBack);
  Dst->Changed(area, AREAINFO_RECT);
}

void TransferStretched(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                       TCustomResampler* Resampler, TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  TVectorStateGuard guard;
  if (!Dst) throw EBitmapException("Destination bitmap is nil");
  if (!Src) throw EBitmapException("Source bitmap is nil");
  // An empty SrcRect ends the call before its size is divided by.
  if (Src->Empty() || Dst->Empty() || (CombineOp == dmBlend && Src->MasterAlpha() == 0) ||
      IsRectEmpty32(SrcRect))
    return;

  // A SrcRect reaching outside the source moves DstRect's edges by the
  // overhang at the unclipped scale.
  const std::int64_t srcW = std::int64_t(SrcRect.Right) - SrcRect.Left;
  const std::int64_t srcH = std::int64_t(SrcRect.Bottom) - SrcRect.Top;
  const float sx = float(std::int64_t(DstRect.Right) - DstRect.Left) / float(srcW);
  const float sy = float(std::int64_t(DstRect.Bottom) - DstRect.Top) / float(srcH);
  if (SrcRect.Left < 0) {
    DstRect.Left = ClampToInt(DstRect.Left + std::int64_t(CeilToInt(-double(SrcRect.Left) * sx)));
    SrcRect.Left = 0;
  }
  if (SrcRect.Top < 0) {
    DstRect.Top = ClampToInt(DstRect.Top + std::int64_t(CeilToInt(-double(SrcRect.Top) * sy)));
    SrcRect.Top = 0;
  }
  if (SrcRect.Right > Src->Width()) {
    DstRect.Right =
        ClampToInt(DstRect.Right - std::int64_t(FloorToInt(double(SrcRect.Right - Src->Width()) * sx)));
    SrcRect.Right = Src->Width();
  }
  if (SrcRect.Bottom > Src->Height()) {
    DstRect.Bottom =
        ClampToInt(DstRect.Bottom - std::int64_t(FloorToInt(double(SrcRect.Bottom - Src->Height()) * sy)));
    SrcRect.Bottom = Src->Height();
  }
  if (IsRectEmpty32(SrcRect)) return;

  if (Dst->MeasuringMode()) {
    Dst->Changed(DstRect, AREAINFO_RECT);
    return;
  }

  DstClip = Intersection(Intersection(DstClip, Dst->BoundsRect()), DstRect);
  if (!IsRectEmpty32(DstClip)) {
    const bool sameSize = DstRect.Right - DstRect.Left == SrcRect.Right - SrcRect.Left &&
                          DstRect.Bottom - DstRect.Top == SrcRect.Bottom - SrcRect.Top;
    if (sameSize) {
      CopyBlockRows(Dst, DstClip, Src, SrcRect.Left + DstClip.Left - DstRect.Left,
                    SrcRect.Top + DstClip.Top - DstRect.Top, CombineOp, CombineCallBack);
    } else {
      // Stretching a bitmap into itself reads a copy of the source area.
      std::unique_ptr<TCustomBitmap32> copy;
      if (Src->Bits() == Dst->Bits() && !IsRectEmpty32(Intersection(SrcRect, DstClip))) {
        copy = CopyOfArea(*Src, SrcRect);
        Src = copy.get();
        SrcRect = Src->BoundsRect();
      }
      if (!Resampler) Resampler = Src->Resampler();
      if (Resampler)
        Resampler->Resample(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack);
      else
        ScaleNearest(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack);
    }
  }
  Dst->Changed(DstRect, AREAINFO_RECT);
}

// --- Nearest neighbour -------------------------------------------------------------------

void ScaleNearest(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                  TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  TVectorStateGuard guard;
  DstClip = PrepareScaling(Dst, DstRect, DstClip, Src, SrcRect);
  if (IsRectEmpty32(DstClip) || IsRectEmpty32(SrcRect)) return;
  const int dstW = DstRect.Right - DstRect.Left, dstH = DstRect.Bottom - DstRect.Top;
  const int srcW = SrcRect.Right - SrcRect.Left, srcH = SrcRect.Bottom - SrcRect.Top;
  if (dstW == srcW && dstH == srcH) {
    CopyBlockRows(Dst, DstClip, Src, SrcRect.Left + DstClip.Left - DstRect.Left,
                  SrcRect.Top + DstClip.Top - DstRect.Top, CombineOp, CombineCallBack);
    return;
  }

  const int w = DstClip.Right - DstClip.Left;
  std::vector<int> columns(static_cast<std::size_t>(w));
  for (int x = DstClip.Left; x < DstClip.Right; ++x)
    columns[x - DstClip.Left] = dstW < 2 ? (SrcRect.Left + SrcRect.Right - 1) / 2
                                         : SrcRect.Left + int(std::int64_t(x - DstRect.Left) * srcW / dstW);
  auto sourceRow = [&](int y) {
    return dstH < 2 ? (SrcRect.Top + SrcRect.Bottom - 1) / 2
                    : SrcRect.Top + int(std::int64_t(y - DstRect.Top) * srcH / dstH);
  };

  const TRowCombiner combiner(*Src, CombineOp, CombineCallBack);
  int lastSrcY = -1;
  TColor32* lastDstRow = nullptr;
  if (combiner.Op() == dmOpaque) {
    // A source row repeated copies the previous destination row.
    for (int y = DstClip.Top; y < DstClip.Bottom; ++y) {
      const int srcY = sourceRow(y);
      TColor32* dst = Dst->PixelPtr(DstClip.Left, y);
      if (lastDstRow && srcY == lastSrcY) {
        Raster_LowLevel::MoveLongwords(lastDstRow, dst, w);
      } else {
        const TColor32* src = Src->ScanLine(srcY);
        for (int i = 0; i < w; ++i) dst[i] = src[columns[i]];
      }
      lastSrcY = srcY;
      lastDstRow = dst;
    }
    return;
  }
  // Other modes refill a row buffer only when the source row changes.
  std::vector<TColor32> buffer(static_cast<std::size_t>(w));
  for (int y = DstClip.Top; y < DstClip.Bottom; ++y) {
    const int srcY = sourceRow(y);
    if (srcY != lastSrcY) {
      const TColor32* src = Src->ScanLine(srcY);
      for (int i = 0; i < w; ++i) buffer[i] = src[columns[i]];
      lastSrcY = srcY;
    }
    combiner.Row(buffer.data(), Dst->PixelPtr(DstClip.Left, y), w);
  }
}

// --- Bilinear ------------------------------------------------------------------------------

void ScaleBilinear(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                   TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) {
  TVectorStateGuard guard;
  DstClip = PrepareScaling(Dst, DstRect, DstClip, Src, SrcRect);
  if (IsRectEmpty32(DstClip) || IsRectEmpty32(SrcRect)) return;
  if (SrcRect.Right - SrcRect.Left < 2 || SrcRect.Bottom - SrcRect.Top < 2) {
    // No pair of columns (rows) to interpolate between: the linear kernel.
    const auto linear = New<TLinearKernel>();
    ResampleWithKernel(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack, linear.get());
    return;
  }
  const auto columns = LinearTaps(DstRect.Left, DstRect.Right, DstClip.Left, DstClip.Right, SrcRect.Left,
                                  SrcRect.Right, Src->Width());
  const auto rows = LinearTaps(DstRect.Top, DstRect.Bottom, DstClip.Top, DstClip.Bottom, SrcRect.Top,
                               SrcRect.Bottom, Src->Height());
  const TRowCombiner combiner(*Src, CombineOp, CombineCallBack);
  const int w = DstClip.Right - DstClip.Left;
  const int srcWidth = Src->Width();
  const TInterpolate2x2 interpolate = Interpolate2x2;
  std::vector<std::int32_t> pos(static_cast<std::size_t>(w)), weight(static_cast<std::size_t>(w));
  for (int i = 0; i < w; ++i) pos[i] = columns[i].Pos, weight[i] = columns[i].Weight;
#if defined(__x86_64__)
  const bool rowForm = interpolate == variants::Interpolate2x2_SSE2;
  std::vector<std::uint64_t> weightWords(rowForm ? std::size_t(w) : 0);
  for (std::size_t i = 0; i < weightWords.size(); ++i)
    weightWords[i] = variants::InterpolateWeightWords(std::uint32_t(weight[i]));
#endif
  std::vector<TColor32> buffer(combiner.Op() == dmOpaque ? 0 : std::size_t(w));
  for (int y = DstClip.Top; y < DstClip.Bottom; ++y) {
    const TLinearTap& row = rows[y - DstClip.Top];
    const TColor32* upper = Src->ScanLine(row.Pos);
    TColor32* out = buffer.empty() ? Dst->PixelPtr(DstClip.Left, y) : buffer.data();
#if defined(__x86_64__)
    if (rowForm) {
      variants::InterpolateRow_SSE2(pos.data(), weightWords.data(), w, std::uint32_t(row.Weight), upper,
                                    upper + srcWidth, out);
    } else
#endif
    {
      for (int i = 0; i < w; ++i)
        out[i] = interpolate(std::uint32_t(weight[i]), std::uint32_t(row.Weight), upper + pos[i],
                             upper + pos[i] + srcWidth);
    }
    if (!buffer.empty()) combiner.Pixels(buffer.data(), Dst->PixelPtr(DstClip.Left, y), w);
  }
}

// --- Kernel convolution --------------------------------------------------------------------

TMappingTable MakeMappingTable(int DstLo, int DstHi, int ClipLo, int ClipHi, int SrcLo, int SrcHi,
                               const TCustomKernel& K) {
  const int srcW = SrcHi - SrcLo, dstW = DstHi - DstLo;
  if (srcW <= 0 || dstW <= 0 || ClipHi <= ClipLo) return {};
  TMappingTable table(std::size_t(ClipHi - ClipLo));
  if (srcW == 1) {
    for (TCluster& cluster : table) cluster.assign(1, TPointRec{SrcLo, 256});
    return table;
  }
  const float scale = float(dstW) / float(srcW);
  const float s = 1.0f / scale;
  float fw = K.GetWidth();
  if (!(fw >= 0)) fw = 0;
  const bool shrinking = scale < 1;
  if (shrinking) fw *= s;
  for (int i = 0; i < ClipHi - ClipLo; ++i) {
    TCluster& cluster = table[i];
    const float center = float(SrcLo) - 0.5f + s * (float(i + ClipLo - DstLo) + 0.5f);
    const int jLo = FloorToInt(double(center) - fw), jHi = CeilToInt(double(center) + fw);
    int sum = 0;
    for (int j = jLo; j <= jHi; ++j) {
      const float d = center - float(j);
      const int w = shrinking ? RoundToInt(double(scale) * 256 * K.Filter(d * scale))
                              : RoundToInt(256.0 * K.Filter(d));
      if (w == 0) continue;
      cluster.push_back({std::clamp(j, SrcLo, SrcHi - 1), w});
      sum += w;
    }
    if (cluster.empty())
      cluster.push_back({std::clamp(FloorToInt(center), SrcLo, SrcHi - 1), 256});
    else if (sum != 256)
      cluster[(cluster.size() - 1) / 2].Weight += 256 - sum;
  }
  return table;
}

void ResampleWithKernel(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                        TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack, const TCustomKernel* Kernel) {
  TVectorStateGuard guard;
  if (!Kernel) throw std::invalid_argument("ResampleWithKernel: no kernel");
  DstClip = PrepareScaling(Dst, DstRect, DstClip, Src, SrcRect);
  if (IsRectEmpty32(DstClip) || (CombineOp == dmBlend && Src->MasterAlpha() == 0)) return;
  const TMappingTable columns = MakeMappingTable(DstRect.Left, DstRect.Right, DstClip.Left, DstClip.Right,
                                                 SrcRect.Left, SrcRect.Right, *Kernel);
  const TMappingTable rows = MakeMappingTable(DstRect.Top, DstRect.Bottom, DstClip.Top, DstClip.Bottom,
                                              SrcRect.Top, SrcRect.Bottom, *Kernel);
  if (columns.empty() || rows.empty()) return;

  // The source columns the taps use. With clamped positions the first
  // cluster's first tap and the last cluster's last tap bound them; the
  // extremes are taken over every tap all the same, so that no buffer
  // index can fall outside.
  int minX = columns.front().front().Pos, maxX = columns.back().back().Pos;
  for (const TCluster& cluster : columns)
    for (const TPointRec& tap : cluster) minX = std::min(minX, tap.Pos), maxX = std::max(maxX, tap.Pos);
  const int span = maxX - minX + 1;

  const TRowCombiner combiner(*Src, CombineOp, CombineCallBack);
  const bool clamp = Kernel->NeedsClamping();
  const int w = DstClip.Right - DstClip.Left;
  std::vector<TBufferEntry> buffer(static_cast<std::size_t>(span));
  std::vector<TColor32> out(static_cast<std::size_t>(w));
  for (int y = DstClip.Top; y < DstClip.Bottom; ++y) {
    // Vertical pass: each used source column weighted down the row's taps.
    std::fill(buffer.begin(), buffer.end(), TBufferEntry{});
    for (const TPointRec& tap : rows[y - DstClip.Top]) {
      const TColor32* src = Src->PixelPtr(minX, tap.Pos);
      const int wt = tap.Weight;
      for (int x = 0; x < span; ++x) {
        const TColor32 c = src[x];
        TBufferEntry& e = buffer[x];
        e.B += wt * int(c & 255);
        e.G += wt * int((c >> 8) & 255);
        e.R += wt * int((c >> 16) & 255);
        e.A += wt * int(c >> 24);
      }
    }
    // Horizontal pass, then back from 16.16.
    for (int i = 0; i < w; ++i) {
      std::int32_t b = 0, g = 0, r = 0, a = 0;
      for (const TPointRec& tap : columns[i]) {
        const TBufferEntry& e = buffer[tap.Pos - minX];
        b += tap.Weight * e.B, g += tap.Weight * e.G, r += tap.Weight * e.R, a += tap.Weight * e.A;
      }
      auto channel = [clamp](std::int32_t v) -> TColor32 {
        if (clamp) v = std::clamp(v, 0, 0xFF0000);
        return (std::uint32_t(v) >> 16) & 255;
      };
      out[i] = (channel(a) << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
    }
    combiner.Pixels(out.data(), Dst->PixelPtr(DstClip.Left, y), w);
  }
}

// --- Block averages ------------------------------------------------------------------------

void ScaleByBlocks(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                   TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack, const TCustomKernel* Kernel) {
  TVectorStateGuard guard;
  DstClip = PrepareScaling(Dst, DstRect, DstClip, Src, SrcRect);
  if (IsRectEmpty32(DstClip) || IsRectEmpty32(SrcRect)) return;
  const int dstW = DstRect.Right - DstRect.Left, dstH = DstRect.Bottom - DstRect.Top;
  const int srcW = SrcRect.Right - SrcRect.Left, srcH = SrcRect.Bottom - SrcRect.Top;
  if (srcW < dstW || srcH < dstH) {
    if (srcW < 2 || srcH < 2)
      ResampleWithKernel(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack, Kernel);
    else
      ScaleBilinear(Dst, DstRect, DstClip, Src, SrcRect, CombineOp, CombineCallBack);
    return;
  }

  // Block k of the clipped range spans source offsets bx(k - 1) ..
  // bx(k) - 1 from the clipped start, bx(k) = (k * step) shr 16. Blocks are
  // kept inside SrcRect, where float rounding of the scale could push the
  // last one a column past it.
  auto blocks = [](int dstSize, int srcSize, int clipOffset, int clipSize, int srcLo) {
    const float scale = float(srcSize) / float(dstSize);
    const std::int64_t step = std::int64_t(double(scale) * 65536);
    const int start = srcLo + SaturatedInt(double(clipOffset) * scale);
    const int srcHi = srcLo + srcSize;
    std::vector<std::pair<int, int>> out(static_cast<std::size_t>(clipSize));  // first, count
    for (int k = 1; k <= clipSize; ++k) {
      int first = start + int(((k - 1) * step) >> 16), last = start + int((k * step) >> 16);
      first = std::min(first, srcHi - 1);
      last = std::clamp(last, first + 1, srcHi);
      out[k - 1] = {first, last - first};
    }
    return out;
  };
  const auto cols = blocks(dstW, srcW, DstClip.Left - DstRect.Left, DstClip.Right - DstClip.Left, SrcRect.Left);
  const auto rows = blocks(dstH, srcH, DstClip.Top - DstRect.Top, DstClip.Bottom - DstClip.Top, SrcRect.Top);

  const TRowCombiner combiner(*Src, CombineOp, CombineCallBack);
  const int w = DstClip.Right - DstClip.Left;
  const std::uint32_t rowBytes = std::uint32_t(Src->Width()) * sizeof(TColor32);
  const TAverageBlock average = AverageBlock;
  std::vector<TColor32> buffer(combiner.Op() == dmOpaque ? 0 : std::size_t(w));
  for (int y = DstClip.Top; y < DstClip.Bottom; ++y) {
    const auto [rowFirst, rowCount] = rows[y - DstClip.Top];
    const TColor32* src = Src->ScanLine(rowFirst);
    TColor32* out = buffer.empty() ? Dst->PixelPtr(DstClip.Left, y) : buffer.data();
    for (int i = 0; i < w; ++i)
      out[i] = average(std::uint32_t(cols[i].second), std::uint32_t(rowCount), src + cols[i].first, rowBytes);
    if (!buffer.empty()) combiner.Pixels(buffer.data(), Dst->PixelPtr(DstClip.Left, y), w);
  }
}

}  // namespace velkor::Raster_Resamplers
