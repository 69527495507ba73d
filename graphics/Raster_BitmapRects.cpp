// TCustomBitmap32: filled and framed rectangles, bevels, drawing onto other
// bitmaps, scrolling and the mirror and quarter-turn transforms.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "graphics/Raster.h"
#include "graphics/Raster_Backends_Generic.h"
#include "graphics/Raster_Blend.h"
#include "graphics/Raster_LowLevel.h"
#include "graphics/Raster_Resamplers.h"

namespace velkor {

namespace {

bool Overlaps(const TRect& Clip, int X1, int Y1, int X2, int Y2) {
  return X1 < Clip.Right && Y1 < Clip.Bottom && Clip.Left < X2 && Clip.Top < Y2;
}

std::size_t PixelCount(const TCustomBitmap32& B) { return std::size_t(B.Width()) * std::size_t(B.Height()); }

// Runs Fill on Dst between BeginUpdate and EndUpdate, then reports the
// change, also when Fill raises.
template <class Fill>
void UpdateThenChanged(TCustomBitmap32& Dst, Fill fill) {
  Dst.BeginUpdate();
  try {
    fill();
  } catch (...) {
    Dst.EndUpdate();
    Dst.Changed();
    throw;
  }
  Dst.EndUpdate();
  Dst.Changed();
}

}  // namespace

// --- filled rectangles -------------------------------------------------------------

void TCustomBitmap32::FillRect(int X1, int Y1, int X2, int Y2, TColor32 Value) {
  if (FBits && X2 > X1) {
    for (int y = Y1; y < Y2; ++y) Raster_LowLevel::FillLongwords(PixelPtr(X1, y), std::uint32_t(X2 - X1), Value);
  }
  Changed(MakeRect(X1, Y1, X2, Y2));
}

void TCustomBitmap32::FillRectS(int X1, int Y1, int X2, int Y2, TColor32 Value) {
  if (!FMeasuringMode && X1 < X2 && Y1 < Y2 && Overlaps(FClipRect, X1, Y1, X2, Y2)) {
    X1 = std::max(X1, FClipRect.Left);
    Y1 = std::max(Y1, FClipRect.Top);
    X2 = std::min(X2, FClipRect.Right);
    Y2 = std::min(Y2, FClipRect.Bottom);
    FillRect(X1, Y1, X2, Y2, Value);
  }
  Changed(MakeRect(X1, Y1, X2, Y2));
}

void TCustomBitmap32::FillRectS(const TRect& ARect, TColor32 Value) {
  if (FMeasuringMode) {
    Changed(ARect);
  } else {
    FillRectS(ARect.Left, ARect.Top, ARect.Right, ARect.Bottom, Value);
  }
}

void TCustomBitmap32::FillRectT(int X1, int Y1, int X2, int Y2, TColor32 Value) {
  const std::uint32_t alpha = Value >> 24;
  if (alpha == 255) {
    FillRect(X1, Y1, X2, Y2, Value);
    return;
  }
  if (alpha == 0) return;
  if (FBits && X2 > X1) {
    for (int y = Y1; y < Y2; ++y) {
      TColor32* p = PixelPtr(X1, y);
      for (int x = X1; x < X2; ++x, ++p) {
        if (FCombineMode == cmMerge) {
          Raster_Blend::MergeColorInto(Value, *p);
        } else {
          Raster_Blend::CombineColorInto(Value, *p, int(alpha));
        }
      }
    }
    Raster_Blend::ClearMMXState();
  }
  Changed(MakeRect(X1, Y1, X2, Y2));
}

void TCustomBitmap32::FillRectTS(int X1, int Y1, int X2, int Y2, TColor32 Value) {
  if (!FMeasuringMode && X1 < X2 && Y1 < Y2 && Overlaps(FClipRect, X1, Y1, X2, Y2)) {
    X1 = std::max(X1, FClipRect.Left);
    Y1 = std::max(Y1, FClipRect.Top);
    X2 = std::min(X2, FClipRect.Right);
    Y2 = std::min(Y2, FClipRect.Bottom);
    FillRectT(X1, Y1, X2, Y2, Value);
  }
  Changed(MakeRect(X1, Y1, X2, Y2));
}

void TCustomBitmap32::FillRectTS(const TRect& ARect, TColor32 Value) {
  if (FMeasuringMode) {
    Changed(ARect);
  } else {
    FillRectTS(ARect.Left, ARect.Top, ARect.Right, ARect.Bottom, Value);
  }
}

// --- frames --------------------------------------------------------------------------

// No pixel twice: the top and bottom rows span the width, the columns only
// the rows between them.
void TCustomBitmap32::FrameRectS(int X1, int Y1, int X2, int Y2, TColor32 Value) {
  if (X1 >= X2 || Y1 >= Y2 || !Overlaps(FClipRect, X1, Y1, X2, Y2)) return;
  X2 -= 1;
  HorzLineS(X1, Y1, X2, Value);
  if (Y1 < Y2 - 1) HorzLineS(X1, Y2 - 1, X2, Value);
  if (Y1 + 1 < Y2 - 1) {
    VertLineS(X1, Y1 + 1, Y2 - 2, Value);
    if (X1 < X2) VertLineS(X2, Y1 + 1, Y2 - 2, Value);
  }
}

void TCustomBitmap32::FrameRectS(const TRect& ARect, TColor32 Value) {
  FrameRectS(ARect.Left, ARect.Top, ARect.Right, ARect.Bottom, Value);
}

void TCustomBitmap32::FrameRectTS(int X1, int Y1, int X2, int Y2, TColor32 Value) {
  if (X1 >= X2 || Y1 >= Y2 || !Overlaps(FClipRect, X1, Y1, X2, Y2)) return;
  X2 -= 1;
  HorzLineTS(X1, Y1, X2, Value);
  if (Y1 < Y2 - 1) HorzLineTS(X1, Y2 - 1, X2, Value);
  if (Y1 + 1 < Y2 - 1) {
    VertLineTS(X1, Y1 + 1, Y2 - 2, Value);
    if (X1 < X2) VertLineTS(X2, Y1 + 1, Y2 - 2, Value);
  }
}

void TCustomBitmap32::FrameRectTS(const TRect& ARect, TColor32 Value) {
  FrameRectTS(ARect.Left, ARect.Top, ARect.Right, ARect.Bottom, Value);
}

// Clockwise, each side without its last pixel, so the pattern runs on
// around the corners without repeating a colour.
void TCustomBitmap32::FrameRectTSP(int X1, int Y1, int X2, int Y2) {
  if (X1 >= X2 || Y1 >= Y2 || X1 >= FWidth || Y1 >= FHeight || X2 <= 0 || Y2 <= 0) return;
  if (X2 - X1 == 1 && Y2 - Y1 == 1) {
    SetPixelT(X1, Y1, GetStippleColor());
    Changed(MakeRect(X1, Y1, X1 + 1, Y1 + 1));
  } else if (X2 - X1 == 1) {
    VertLineTSP(X1, Y1, Y2 - 1);
  } else if (Y2 - Y1 == 1) {
    HorzLineTSP(X1, Y1, X2 - 1);
  } else {
    HorzLineTSP(X1, Y1, X2 - 2);
    VertLineTSP(X2 - 1, Y1, Y2 - 2);
    HorzLineTSP(X2 - 1, Y2 - 1, X1 + 1);
    VertLineTSP(X1, Y2 - 1, Y1 + 1);
  }
}

// --- bevel ---------------------------------------------------------------------------

void TCustomBitmap32::RaiseRectTS(int X1, int Y1, int X2, int Y2, int Contrast) {
  if (X1 >= X2 || Y1 >= Y2 || !Overlaps(FClipRect, X1, Y1, X2, Y2) || Contrast == 0) return;
  auto c = [Contrast](int k) { return TColor32(std::clamp<std::int64_t>(std::int64_t(Contrast) * k / 100, 0, 255)); };
  TColor32 first, second;
  if (Contrast > 0) {
    first = 0x00FFFFFFu | (c(512) << 24);
    second = c(255) << 24;
  } else {
    first = c(-255) << 24;
    second = 0x00FFFFFFu | (c(-512) << 24);
  }
  HorzLineTS(X1, Y1, X2 - 1, first);
  VertLineTS(X1, Y1 + 1, Y2 - 2, first);
  HorzLineTS(X1, Y2 - 1, X2 - 1, second);
  VertLineTS(X2 - 1, Y1 + 1, Y2 - 2, second);
}

void TCustomBitmap32::RaiseRectTS(const TRect& ARect, int Contrast) {
  RaiseRectTS(ARect.Left, ARect.Top, ARect.Right, ARect.Bottom, Contrast);
}

// --- transfers -------------------------------------------------------------------------

// The transfer routines raise for a nil destination; the destination's clip
// rectangle is read only when there is one.
static TRect ClipOf(const TCustomBitmap32* Dst) { return Dst ? Dst->ClipRect() : TRect{}; }

void TCustomBitmap32::DrawTo(TCustomBitmap32* Dst) { DrawTo(Dst, 0, 0); }

void TCustomBitmap32::DrawTo(TCustomBitmap32* Dst, int DstX, int DstY) { DrawTo(Dst, DstX, DstY, BoundsRect()); }

void TCustomBitmap32::DrawTo(TCustomBitmap32* Dst, int DstX, int DstY, const TRect& SrcRect) {
  Raster_Resamplers::TransferBlock(Dst, DstX, DstY, ClipOf(Dst), this, SrcRect, FDrawMode, OnPixelCombine);
}

void TCustomBitmap32::DrawTo(TCustomBitmap32* Dst, const TRect& DstRect) { DrawTo(Dst, DstRect, BoundsRect()); }

void TCustomBitmap32::DrawTo(TCustomBitmap32* Dst, const TRect& DstRect, const TRect& SrcRect) {
  Raster_Resamplers::TransferStretched(Dst, DstRect, ClipOf(Dst), this, SrcRect, FResampler, FDrawMode,
                                       OnPixelCombine);
}

void TCustomBitmap32::Draw(int DstX, int DstY, TCustomBitmap32* Src) {
  if (Src) Src->DrawTo(this, DstX, DstY);
}

void TCustomBitmap32::Draw(int DstX, int DstY, const TRect& SrcRect, TCustomBitmap32* Src) {
  if (Src) Src->DrawTo(this, DstX, DstY, SrcRect);
}

void TCustomBitmap32::Draw(const TRect& DstRect, const TRect& SrcRect, TCustomBitmap32* Src) {
  if (Src) Src->DrawTo(this, DstRect, SrcRect);
}

// --- whole-image operations -------------------------------------------------------------

void TCustomBitmap32::Roll(int Dx, int Dy, bool FillBack, TColor32 FillColor) {
  if (Empty() || (Dx == 0 && Dy == 0)) return;
  const std::int64_t w = FWidth, h = FHeight;
  if (std::llabs(std::int64_t(Dx)) < w && std::llabs(std::int64_t(Dy)) < h) {
    // One linear shift of the whole store: pixels leaving a row's end enter
    // the next row's start.
    const std::int64_t s = Dx + std::int64_t(Dy) * w;
    const std::size_t n = std::size_t(w * h - std::llabs(s));
    if (s <= 0) {
      std::memmove(FBits, FBits - s, n * sizeof(TColor32));
    } else {
      std::memmove(FBits + s, FBits, n * sizeof(TColor32));
    }
    if (FillBack) {
      TRect r;
      IntersectRects(r, MakeRect(Dx, Dy, Dx + FWidth, Dy + FHeight), BoundsRect());
      if (r.Top > 0) {
        FillRect(0, 0, FWidth, r.Top, FillColor);
      } else if (r.Top == 0) {
        FillRect(0, r.Bottom, FWidth, FHeight, FillColor);
      }
      if (r.Left > 0) {
        FillRect(0, r.Top, r.Left, r.Bottom, FillColor);
      } else if (r.Left == 0) {
        FillRect(r.Right, r.Top, FWidth, r.Bottom, FillColor);
      }
    }
    Changed();
  } else if (FillBack) {
    Clear(FillColor);
  }
}

void TCustomBitmap32::FlipHorz(TCustomBitmap32* Dst) {
  if (!Dst || Dst == this) {
    if (FBits) {
      for (int y = 0; y < FHeight; ++y) std::reverse(ScanLine(y), ScanLine(y) + FWidth);
    }
    Changed();
    return;
  }
  UpdateThenChanged(*Dst, [&] {
    Dst->SetSize(FWidth, FHeight);
    if (Empty() || Dst->Empty()) return;
    for (int y = 0; y < FHeight; ++y) std::reverse_copy(ScanLine(y), ScanLine(y) + FWidth, Dst->ScanLine(y));
  });
}

void TCustomBitmap32::FlipVert(TCustomBitmap32* Dst) {
  if (!Dst || Dst == this) {
    if (FBits) {
      std::vector<TColor32> row(FWidth);
      for (int y = 0; y < FHeight / 2; ++y) {
        TColor32* a = ScanLine(y);
        TColor32* b = ScanLine(FHeight - 1 - y);
        std::copy_n(a, FWidth, row.data());
        std::copy_n(b, FWidth, a);
        std::copy_n(row.data(), FWidth, b);
      }
    }
    Changed();
    return;
  }
  Dst->SetSize(FWidth, FHeight);
  if (!Empty() && !Dst->Empty()) {
    for (int y = 0; y < FHeight; ++y) std::copy_n(ScanLine(y), FWidth, Dst->ScanLine(FHeight - 1 - y));
  }
  Dst->Changed();
}

namespace {

// A quarter turn of Src into Dst (resized to Src's height x width); Map gives
// the target position of source pixel (x, y).
template <class Map>
void QuarterTurn(const TCustomBitmap32& Src, TCustomBitmap32& Dst, Map map) {
  Dst.SetSize(Src.Height(), Src.Width());
  if (Src.Empty() || Dst.Empty()) return;
  for (int y = 0; y < Src.Height(); ++y) {
    const TColor32* s = Src.ScanLine(y);
    for (int x = 0; x < Src.Width(); ++x) {
      int tx, ty;
      map(x, y, tx, ty);
      Dst.SetPixel(tx, ty, s[x]);
    }
  }
}

// In place (Dst nil or the bitmap itself, which must not be resized before
// it is read): through a temporary, copied back.
template <class Map>
void QuarterTurnInPlace(TCustomBitmap32& B, Map map) {
  auto temp = New<TCustomBitmap32>(&TMemoryBackend::StaticClass());
  QuarterTurn(B, *temp, map);
  temp->CopyPixelsTo(&B);
  B.Changed();
}

}  // namespace

void TCustomBitmap32::Rotate90(TCustomBitmap32* Dst) {
  const int h = FHeight;
  auto map = [h](int x, int y, int& tx, int& ty) { tx = h - 1 - y, ty = x; };
  if (!Dst || Dst == this) {
    QuarterTurnInPlace(*this, map);
  } else {
    UpdateThenChanged(*Dst, [&] { QuarterTurn(*this, *Dst, map); });
  }
}

void TCustomBitmap32::Rotate270(TCustomBitmap32* Dst) {
  const int w = FWidth;
  auto map = [w](int x, int y, int& tx, int& ty) { tx = y, ty = w - 1 - x; };
  if (!Dst || Dst == this) {
    QuarterTurnInPlace(*this, map);
  } else {
    UpdateThenChanged(*Dst, [&] { QuarterTurn(*this, *Dst, map); });
  }
}

void TCustomBitmap32::Rotate180(TCustomBitmap32* Dst) {
  const std::size_t n = PixelCount(*this);
  if (!Dst || Dst == this) {
    if (FBits) std::reverse(FBits, FBits + n);
    Changed();
    return;
  }
  Dst->SetSize(FWidth, FHeight);
  if (!Empty() && !Dst->Empty()) std::reverse_copy(FBits, FBits + n, Dst->Bits());
  Dst->Changed();
}

}  // namespace velkor
