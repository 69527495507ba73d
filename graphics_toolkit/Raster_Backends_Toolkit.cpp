#include "graphics_toolkit/Raster_Backends_Toolkit.h"

#include "graphics/Raster_System.h"
#include "graphics/Raster_Text_Toolkit.h"
#include "toolkit/Colors.h"
#include "toolkit/ToolkitGraphics.h"

namespace velkor {

namespace {

TBitmap*& StockBitmapSlot() {
  static TBitmap* bitmap = nullptr;
  return bitmap;
}

}  // namespace

TGDIBackend::TGDIBackend() { Init(); }

TGDIBackend::TGDIBackend(TCustomBitmap32* Owner) : TCustomBackend(Owner) { Init(); }

void TGDIBackend::Init() {
  FBitmapInfo = MakeBitmapInfo(0, 0);
  FMapHandle = nullptr;
  FFont = std::make_unique<TFont>();
  FFont->OnChange = [this](TObject*) { FontChanged(); };
  FFont->SetOwnerLock(this);
}

TGDIBackend::~TGDIBackend() {
  DeleteCanvas();
  FreeSurface();
  FFont.reset();
}

const TClassInfo& TGDIBackend::StaticClass() {
  static const TClassInfo info{"TGDIBackend", &TCustomBackend::StaticClass(), [] { return New<TGDIBackend>(); }, {}};
  return info;
}

// --- surface ----------------------------------------------------------------------

void TGDIBackend::PrepareMapping(int, int) {}

void TGDIBackend::AllocateSurface(int NewWidth, int NewHeight, bool) {
  FBitmapInfo = MakeBitmapInfo(NewWidth, NewHeight);
  PrepareMapping(NewWidth, NewHeight);
  FBitmapHandle = CreateDIBSection(NewWidth, NewHeight);
  if (!FBitmapHandle) {
    FBitmapInfo = MakeBitmapInfo(0, 0);
    throw EBitmapException("Can't allocate the DIB handle");
  }
  FBits = FBitmapHandle->Bits;
  FHDC = CreateCompatibleDC(nullptr);
  FHDC->SelectBitmap(FBitmapHandle);
}

void TGDIBackend::FreeSurface() {
  if (FHDC) {
    DeleteDC(FHDC);
    FHDC = nullptr;
  }
  if (FBitmapHandle) {
    DeleteObject(FBitmapHandle);
    FBitmapHandle = nullptr;
  }
  FBits = nullptr;
}

bool TGDIBackend::Empty() const { return FBitmapHandle == nullptr; }

void TGDIBackend::Changed() {
  if (FCanvas) FCanvas->SetHandle(FHDC);
  TCustomBackend::Changed();
}

bool TGDIBackend::OwnerMeasuring() const { return FOwner && FOwner->MeasuringMode(); }

void TGDIBackend::OwnerChanged(const TRect& Area) {
  if (FOwner) FOwner->Changed(Area, AREAINFO_RECT);
}

// --- font -----------------------------------------------------------------------------

void TGDIBackend::SetFont(const TFont* Font) {
  FFont->Assign(Font);
  if (FOnFontChange) FOnFontChange(this);
}

void TGDIBackend::FontChanged() {
  if (FFontHandle) {
    if (FHDC) FHDC->SelectFont(GetStockSystemFont());
    FFontHandle.reset();
  }
  if (FOnFontChange) FOnFontChange(this);
}

void TGDIBackend::UpdateFont() {
  if (!FFontHandle && FHDC) FFontHandle = FFont->Handle();
  if (!FHDC) return;
  FHDC->SelectFont(FFontHandle);
  FHDC->SetTextColor(ColorToRGB(FFont->Color()));
  FHDC->SetBkMode(TRANSPARENT);
}

// --- text -------------------------------------------------------------------------------

TSize TGDIBackend::TextExtent(std::string_view Text) {
  UpdateFont();
  TSize size;
  if (FHDC) {
    GetTextExtentPoint32W(FHDC, Text, size);
    return size;
  }
  // No surface: measure on the shared bitmap's context with this font.
  TBitmap* stock = Raster_Backends_Toolkit::StockBitmap();
  if (!stock) return size;
  TCanvas& canvas = stock->Canvas();
  canvas.Lock();
  HDC dc = canvas.Handle();
  HFONT previous = dc->SelectFont(FFont->Handle());
  GetTextExtentPoint32W(dc, Text, size);
  dc->SelectFont(previous);
  canvas.Unlock();
  return size;
}

TSize TGDIBackend::TextExtentW(std::string_view Text) { return TextExtent(Text); }

void TGDIBackend::Textout(int X, int Y, std::string_view Text) {
  UpdateFont();
  if (!OwnerMeasuring() && FOwner) {
    const TRect clip = FOwner->ClipRect();
    if (FOwner->Clipping()) {
      ExtTextOutW(FHDC, X, Y, ETO_CLIPPED, &clip, Text);
    } else {
      ExtTextOutW(FHDC, X, Y, 0, nullptr, Text);
    }
  }
  const TSize extent = TextExtent(Text);
  OwnerChanged({X, Y, X + extent.cx + 1, Y + extent.cy + 1});
}

void TGDIBackend::Textout(int X, int Y, const TRect& ClipRect, std::string_view Text) {
  UpdateFont();
  if (!OwnerMeasuring()) ExtTextOutW(FHDC, X, Y, ETO_CLIPPED, &ClipRect, Text);
  const TSize extent = TextExtent(Text);
  OwnerChanged({X, Y, X + extent.cx + 1, Y + extent.cy + 1});
}

void TGDIBackend::Textout(TRect& DstRect, std::uint32_t Flags, std::string_view Text) {
  UpdateFont();
  if (!OwnerMeasuring()) DrawTextW(FHDC, Text, DstRect, Flags);
  OwnerChanged(DstRect);
}

void TGDIBackend::TextoutW(int X, int Y, std::string_view Text) { Textout(X, Y, Text); }

void TGDIBackend::TextoutW(int X, int Y, const TRect& ClipRect, std::string_view Text) {
  Textout(X, Y, ClipRect, Text);
}

void TGDIBackend::TextoutW(TRect& DstRect, std::uint32_t Flags, std::string_view Text) {
  Textout(DstRect, Flags, Text);
}

// --- text to path ----------------------------------------------------------------------

void TGDIBackend::TextToPath(Raster_Paths::TCustomPath* Path, float X, float Y, std::string_view Text) {
  Raster_Text_Toolkit::TextToPathOnDC(*FFont->Handle(), Path, {X, Y, X, Y}, 0, Text);
}

void TGDIBackend::TextToPath(Raster_Paths::TCustomPath* Path, const TFloatRect& DstRect, std::string_view Text,
                             std::uint32_t Flags) {
  Raster_Text_Toolkit::TextToPathOnDC(*FFont->Handle(), Path, DstRect, Flags, Text);
}

TFloatRect TGDIBackend::MeasureText(const TFloatRect& DstRect, std::string_view Text, std::uint32_t Flags) {
  return Raster_Text_Toolkit::MeasureTextOnDC(*FFont->Handle(), DstRect, Flags, Text);
}

// --- canvas -----------------------------------------------------------------------------

TCanvas* TGDIBackend::GetCanvas() {
  if (!FCanvas) {
    FCanvas = std::make_unique<TCanvas>();
    FCanvas->SetHandle(FHDC);
    FCanvas->OnChange = [this](TObject*) {
      if (FOnCanvasChange) FOnCanvasChange(this);
    };
  }
  return FCanvas.get();
}

void TGDIBackend::DeleteCanvas() {
  if (!FCanvas) return;
  FCanvas->OnChange = nullptr;
  FCanvas->SetHandle(nullptr);
  FCanvas.reset();
}

// --- device-context transfers -------------------------------------------------------------

void TGDIBackend::DrawTo(HDC hDst, int DstX, int DstY) {
  if (!FOwner) return;
  const int w = FOwner->Width(), h = FOwner->Height();
  StretchDIBits(hDst, DstX, DstY, w, h, 0, 0, w, h, FBits, FBitmapInfo, SRCCOPY);
}

void TGDIBackend::DrawTo(HDC hDst, const TRect& DstRect, const TRect& SrcRect) {
  StretchBlt(hDst, DstRect.Left, DstRect.Top, DstRect.Right - DstRect.Left, DstRect.Bottom - DstRect.Top, FHDC,
             SrcRect.Left, SrcRect.Top, SrcRect.Right - SrcRect.Left, SrcRect.Bottom - SrcRect.Top, SRCCOPY);
}

void TGDIBackend::Draw(const TRect& DstRect, const TRect& SrcRect, HDC hSrc) {
  if (!FOwner || FOwner->Empty()) return;
  if (!OwnerMeasuring()) {
    StretchBlt(FHDC, DstRect.Left, DstRect.Top, DstRect.Right - DstRect.Left, DstRect.Bottom - DstRect.Top, hSrc,
               SrcRect.Left, SrcRect.Top, SrcRect.Right - SrcRect.Left, SrcRect.Bottom - SrcRect.Top, SRCCOPY);
  }
  OwnerChanged(DstRect);
}

// --- paint support ---------------------------------------------------------------------------

void TGDIBackend::DoPaint(TBitmap32* ABuffer, Raster_Containers::TRectList* AInvalidRects, TCanvas* ACanvas,
                          IPaintBoxViewport* APaintBox) {
  if (!ABuffer || !ACanvas) return;
  auto copy = [&](const TRect& R) {
    BitBlt(ACanvas->Handle(), R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top, ABuffer->Handle(), R.Left, R.Top,
           SRCCOPY);
  };
  if (AInvalidRects && AInvalidRects->Count() > 0) {
    for (int i = 0; i < AInvalidRects->Count(); ++i) copy(*AInvalidRects->Get(i));
  } else if (APaintBox) {
    // Only the paint box's viewport is asked for.
    copy(APaintBox->GetViewportRect());
  }
}

}  // namespace velkor

namespace velkor::Raster_Backends_Toolkit {

namespace {
Raster_System::TUnitInitCounter Counter;
Raster_System::TUnitInitCounter StockBitmapCounter;
}  // namespace

TBitmap* StockBitmap() { return StockBitmapSlot(); }

void Startup() {
  if (!Counter.Enter()) return;
  SetStockSystemFont(TFont().Handle());
}

void StartupStockBitmap() {
  if (!StockBitmapCounter.Enter()) return;
  auto bitmap = New<TBitmap>();
  bitmap->SetSize(8, 8);
  StockBitmapSlot() = bitmap.release();
}

void Shutdown() {
  if (StockBitmapCounter.Leave()) {
    delete StockBitmapSlot();
    StockBitmapSlot() = nullptr;
  }
  if (Counter.Leave()) SetStockSystemFont(nullptr);
}

}  // namespace velkor::Raster_Backends_Toolkit
