// TBitmap32: the hook-up to its backend's font and canvas, text output and
// measurement, anti-aliased text with real alpha, and transfers between the
// bitmap and device contexts. Everything goes through the backend's
// capability interfaces, so this file needs no toolkit: on a backend
// without a capability the accessors raise "Interface not supported".
#include <algorithm>
#include <string>

#include "graphics/Fonts.h"
#include "graphics/Raster.h"
#include "graphics/Raster_Backends.h"
#include "graphics/Raster_Backends_Generic.h"
#include "graphics/Raster_Resamplers.h"

namespace velkor {

namespace {

template <class I>
I* Require(TCustomBackend* Backend) {
  I* intf = BackendInterface<I>(Backend);
  if (!intf) throw EIntfCastError("Interface not supported");
  return intf;
}

TCustomBackendClass& PlatformBackendClass() {
  static TCustomBackendClass backendClass = nullptr;
  return backendClass;
}

// Re-creates the font's handle with the given quality (0 default, 3 without
// anti-aliasing, 4 anti-aliased).
void ApplyFontQuality(TFont& Font, std::uint8_t Quality) {
  Font.SetHandle(std::make_shared<const TLogFont>(MakeLogFont(Font, Quality)));
}

}  // namespace

const TClassInfo& TBitmap32::StaticClass() {
  static const TClassInfo info{"TBitmap32", &TCustomBitmap32::StaticClass(), [] { return New<TBitmap32>(); }, {}};
  return info;
}

TCustomBackendClass TBitmap32::GetPlatformBackendClass() const {
  const TCustomBackendClass registered = PlatformBackendClass();
  return registered ? registered : &TMemoryBackend::StaticClass();
}

void TBitmap32::SetPlatformBackendClass(TCustomBackendClass BackendClass) { PlatformBackendClass() = BackendClass; }

// --- backend hook-up ---------------------------------------------------------------

void TBitmap32::SetBackend(TCustomBackend* Value) {
  if (!Value || Value == FBackend) return;
  // The callbacks answer only while Value still serves this bitmap: the
  // base destructor drops the backend without reaching DropBackend below,
  // and a backend kept alive elsewhere must not call a bitmap that is gone.
  if (auto* font = BackendInterface<IFontSupport>(Value)) {
    font->SetOnFontChange([this, Value](TObject*) {
      if (Value->Owner() == this) BackendFontChanged();
    });
  }
  if (auto* canvas = BackendInterface<ICanvasSupport>(Value)) {
    canvas->SetCanvasChange([this, Value](TObject*) {
      if (Value->Owner() == this) BackendCanvasChanged();
    });
  }
  TCustomBitmap32::SetBackend(Value);
}

void TBitmap32::DropBackend() {
  if (auto* font = BackendInterface<IFontSupport>(FBackend)) font->SetOnFontChange(nullptr);
  if (auto* canvas = BackendInterface<ICanvasSupport>(FBackend)) canvas->SetCanvasChange(nullptr);
  TCustomBitmap32::DropBackend();
}

void TBitmap32::BackendChanging() {
  TCustomBitmap32::BackendChanging();
  BackendFontChanged();
  // The canvas never outlives the surface it draws on.
  DeleteCanvas();
}

void TBitmap32::BackendChanged() {
  TCustomBitmap32::BackendChanged();
  NotifyHandleChanged();
}

void TBitmap32::NotifyHandleChanged() {
  if (OnHandleChanged) OnHandleChanged(this);
}

void TBitmap32::BackendFontChanged() {}

void TBitmap32::BackendCanvasChanged() { Changed(); }

void TBitmap32::CopySettingsTo(TCustomBitmap32* Dst) const {
  TCustomBitmap32::CopySettingsTo(Dst);
  auto* dst = dynamic_cast<TBitmap32*>(Dst);
  if (!dst) return;
  auto* mine = BackendInterface<IFontSupport>(FBackend);
  auto* theirs = BackendInterface<IFontSupport>(dst->FBackend);
  if (mine && theirs) theirs->GetFont()->Assign(mine->GetFont());
}

// --- capabilities -------------------------------------------------------------------

TCanvas* TBitmap32::Canvas() const { return Require<ICanvasSupport>(FBackend)->GetCanvas(); }

TFont* TBitmap32::Font() const { return Require<IFontSupport>(FBackend)->GetFont(); }

void TBitmap32::SetFont(const TFont* Value) { Require<IFontSupport>(FBackend)->SetFont(Value); }

HDC TBitmap32::Handle() const { return Require<IDeviceContextSupport>(FBackend)->GetHandle(); }

HBITMAP TBitmap32::BitmapHandle() const { return Require<IBitmapContextSupport>(FBackend)->GetBitmapHandle(); }

BITMAPINFO TBitmap32::BitmapInfo() const { return Require<IBitmapContextSupport>(FBackend)->GetBitmapInfo(); }

void TBitmap32::UpdateFont() { Require<IFontSupport>(FBackend)->UpdateFont(); }

bool TBitmap32::CanvasAllocated() const { return Require<ICanvasSupport>(FBackend)->CanvasAllocated(); }

void TBitmap32::DeleteCanvas() {
  if (auto* canvas = BackendInterface<ICanvasSupport>(FBackend)) canvas->DeleteCanvas();
}

// --- text ----------------------------------------------------------------------------

void TBitmap32::Textout(int X, int Y, std::string_view Text) { Require<ITextSupport>(FBackend)->Textout(X, Y, Text); }

void TBitmap32::Textout(int X, int Y, const TRect& ClipRect, std::string_view Text) {
  Require<ITextSupport>(FBackend)->Textout(X, Y, ClipRect, Text);
}

void TBitmap32::Textout(TRect& DstRect, std::uint32_t Flags, std::string_view Text) {
  Require<ITextSupport>(FBackend)->Textout(DstRect, Flags, Text);
}

void TBitmap32::TextoutW(int X, int Y, std::string_view Text) {
  Require<ITextSupport>(FBackend)->TextoutW(X, Y, Text);
}

void TBitmap32::TextoutW(int X, int Y, const TRect& ClipRect, std::string_view Text) {
  Require<ITextSupport>(FBackend)->TextoutW(X, Y, ClipRect, Text);
}

void TBitmap32::TextoutW(TRect& DstRect, std::uint32_t Flags, std::string_view Text) {
  Require<ITextSupport>(FBackend)->TextoutW(DstRect, Flags, Text);
}

TSize TBitmap32::TextExtent(std::string_view Text) { return Require<ITextSupport>(FBackend)->TextExtent(Text); }

TSize TBitmap32::TextExtentW(std::string_view Text) { return Require<ITextSupport>(FBackend)->TextExtentW(Text); }

int TBitmap32::TextWidth(std::string_view Text) { return TextExtent(Text).cx; }
int TBitmap32::TextHeight(std::string_view Text) { return TextExtent(Text).cy; }
int TBitmap32::TextWidthW(std::string_view Text) { return TextExtentW(Text).cx; }
int TBitmap32::TextHeightW(std::string_view Text) { return TextExtentW(Text).cy; }

// Anti-aliased text with real alpha. The text is drawn in white on a
// transparent black scratch bitmap, where the platform leaves each touched
// pixel's coverage in its colour channels; the blue channel then becomes
// the alpha of Color's RGB, and the result is blended onto this bitmap with
// Color's alpha as the master alpha.
//
// AALevel > 0 supersamples: the text is drawn without anti-aliasing with
// the font at 2^AALevel times its size, and each output pixel averages the
// blue channel over its 2^AALevel square. AALevel 0 draws without
// anti-aliasing, -1 with the platform's own smoothing.
//
// The two forms differ in their sizes only: the W form rounds the enlarged
// extent up to the next multiple of the factor above it, the plain form
// adds the factor, and without supersampling limits the scratch bitmap to
// this bitmap's size.
static void RenderTextImpl(TBitmap32& Self, int X, int Y, std::string_view Text, int AALevel, TColor32 Color,
                           bool WideForm) {
  if (Self.Empty()) return;
  AALevel = std::clamp(AALevel, -1, 4);
  const std::uint32_t alpha = Color >> 24;
  const TColor32 rgb = Color & 0x00FFFFFFu;
  const std::string padded = std::string(Text) + " ";
  TFont& font = *Self.Font();

  ApplyFontQuality(font, AALevel < 0 ? ANTIALIASED_QUALITY : NONANTIALIASED_QUALITY);
  try {
    auto result = New<TBitmap32>();
    if (AALevel > 0) {
      const int s = 1 << AALevel;
      auto big = New<TBitmap32>();
      big->Font()->Assign(&font);
      big->Font()->SetSize(font.Size() * s);
      ApplyFontQuality(*big->Font(), NONANTIALIASED_QUALITY);
      // Measured before the scratch bitmap has a surface: through the
      // shared measuring bitmap, as any empty bitmap measures.
      TSize sz = big->TextExtentW(padded);
      if (WideForm) {
        sz.cx = (sz.cx / s + 1) * s;
        sz.cy = (sz.cy / s + 1) * s;
      } else {
        sz.cx += s;
        sz.cy += s;
      }
      big->SetSize(sz.cx, sz.cy);
      big->Clear(0);
      big->Font()->SetColor(clWhite);
      big->Textout(0, 0, Text);
      result->SetSize(sz.cx / s, sz.cy / s);
      const int shift = 2 * AALevel;
      for (int y = 0; y < result->Height(); ++y) {
        TColor32* out = result->ScanLine(y);
        for (int x = 0; x < result->Width(); ++x) {
          std::uint32_t sum = 0;
          for (int j = 0; j < s; ++j) {
            const TColor32* in = big->ScanLine(y * s + j) + x * s;
            for (int i = 0; i < s; ++i) sum += in[i] & 0xFF;
          }
          out[x] = ((sum >> shift) << 24) | rgb;
        }
      }
    } else {
      TSize sz = Self.TextExtentW(padded);
      if (!WideForm) {
        sz.cx = std::min(sz.cx, Self.Width());
        sz.cy = std::min(sz.cy, Self.Height());
      }
      result->SetSize(sz.cx, sz.cy);
      result->Font()->Assign(&font);
      result->Clear(0);
      result->Font()->SetColor(clWhite);
      result->Textout(0, 0, Text);
      if (!result->Empty()) {
        TColor32* p = result->Bits();
        const std::size_t n = std::size_t(result->Width()) * std::size_t(result->Height());
        for (std::size_t i = 0; i < n; ++i) {
          if (p[i] != 0) p[i] = ((p[i] & 0xFF) << 24) | rgb;
        }
      }
    }
    result->SetDrawMode(dmBlend);
    result->SetMasterAlpha(alpha);
    result->SetCombineMode(Self.CombineMode());
    result->DrawTo(&Self, X, Y);
  } catch (...) {
    ApplyFontQuality(font, DEFAULT_QUALITY);
    throw;
  }
  ApplyFontQuality(font, DEFAULT_QUALITY);
}

void TBitmap32::RenderText(int X, int Y, std::string_view Text, int AALevel, TColor32 Color) {
  RenderTextImpl(*this, X, Y, Text, AALevel, Color, false);
}

void TBitmap32::RenderTextW(int X, int Y, std::string_view Text, int AALevel, TColor32 Color) {
  RenderTextImpl(*this, X, Y, Text, AALevel, Color, true);
}

// --- device contexts -------------------------------------------------------------------

void TBitmap32::Draw(const TRect& DstRect, const TRect& SrcRect, HDC hSrc) {
  Require<IDeviceContextSupport>(FBackend)->Draw(DstRect, SrcRect, hSrc);
}

void TBitmap32::DrawTo(HDC hDst, int DstX, int DstY) {
  if (Empty()) return;
  Require<IDeviceContextSupport>(FBackend)->DrawTo(hDst, DstX, DstY);
}

void TBitmap32::DrawTo(HDC hDst, const TRect& DstRect, const TRect& SrcRect) {
  if (Empty()) return;
  Require<IDeviceContextSupport>(FBackend)->DrawTo(hDst, DstRect, SrcRect);
}

// Stretching into a context in tiles of at most 1024 x 1024 destination
// pixels, so that the scratch bitmap never grows beyond that.
void TBitmap32::TileTo(HDC hDst, const TRect& DstRect, const TRect& SrcRect) {
  constexpr int kTile = 1024;
  const int w = DstRect.Right - DstRect.Left, h = DstRect.Bottom - DstRect.Top;
  const int cols = (w + kTile - 1) / kTile, rows = (h + kTile - 1) / kTile;
  if (rows <= 0 || cols <= 0) return;
  auto buffer = New<TBitmap32>();
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < cols; ++col) {
      const TRect tile{col * kTile, row * kTile, std::min((col + 1) * kTile, w), std::min((row + 1) * kTile, h)};
      buffer->SetSize(tile.Right - tile.Left, tile.Bottom - tile.Top);
      Raster_Resamplers::TransferStretched(buffer.get(), {-tile.Left, -tile.Top, w - tile.Left, h - tile.Top},
                                           buffer->BoundsRect(), this, SrcRect, Resampler(), DrawMode(),
                                           OnPixelCombine);
      buffer->DrawTo(hDst, DstRect.Left + tile.Left, DstRect.Top + tile.Top);
    }
  }
}

}  // namespace velkor
