// The toolkit backend: a bitmap's pixels in a 32-bit top-down surface
// selected into a memory device context of its own, with a font, an
// optional canvas on that context, text output and measurement, transfers
// between device contexts and the copy onto a paint box. TBitmap32 uses it
// once the toolkit has started (RasterToolkitStartup).
//
// The font handle is selected lazily: FFontHandle remembers the handle last
// put into the context and is cleared whenever the font changes, so every
// text operation first re-selects the current handle (UpdateFont). A new
// surface comes with a new context, which gets the remembered handle at the
// next text operation.
#pragma once

#include <memory>
#include <string_view>

#include "graphics/Fonts.h"
#include "graphics/Raster.h"
#include "graphics/Raster_Backends.h"

namespace velkor {

class TBitmap;

class TGDIBackend : public TCustomBackend,
                    public ITextSupport,
                    public IFontSupport,
                    public ITextToPathSupport,
                    public ICanvasSupport,
                    public IDeviceContextSupport,
                    public IBitmapContextSupport,
                    public IPaintSupport {
 public:
  TGDIBackend();
  explicit TGDIBackend(TCustomBitmap32* Owner);
  ~TGDIBackend() override;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  bool Empty() const override;
  // Points an existing canvas at the current context, then reports.
  void Changed() override;

  // ITextSupport
  void Textout(int X, int Y, std::string_view Text) override;
  void Textout(int X, int Y, const TRect& ClipRect, std::string_view Text) override;
  void Textout(TRect& DstRect, std::uint32_t Flags, std::string_view Text) override;
  TSize TextExtent(std::string_view Text) override;
  void TextoutW(int X, int Y, std::string_view Text) override;
  void TextoutW(int X, int Y, const TRect& ClipRect, std::string_view Text) override;
  void TextoutW(TRect& DstRect, std::uint32_t Flags, std::string_view Text) override;
  TSize TextExtentW(std::string_view Text) override;

  // IFontSupport
  TNotifyEvent GetOnFontChange() override { return FOnFontChange; }
  void SetOnFontChange(TNotifyEvent Handler) override { FOnFontChange = std::move(Handler); }
  TFont* GetFont() override { return FFont.get(); }
  void SetFont(const TFont* Font) override;
  void UpdateFont() override;

  // ITextToPathSupport
  void TextToPath(Raster_Paths::TCustomPath* Path, float X, float Y, std::string_view Text) override;
  void TextToPath(Raster_Paths::TCustomPath* Path, const TFloatRect& DstRect, std::string_view Text,
                  std::uint32_t Flags) override;
  TFloatRect MeasureText(const TFloatRect& DstRect, std::string_view Text, std::uint32_t Flags) override;

  // ICanvasSupport
  TNotifyEvent GetCanvasChange() override { return FOnCanvasChange; }
  void SetCanvasChange(TNotifyEvent Handler) override { FOnCanvasChange = std::move(Handler); }
  TCanvas* GetCanvas() override;
  void DeleteCanvas() override;
  bool CanvasAllocated() const override { return FCanvas != nullptr; }

  // IDeviceContextSupport
  HDC GetHandle() override { return FHDC; }
  void Draw(const TRect& DstRect, const TRect& SrcRect, HDC hSrc) override;
  void DrawTo(HDC hDst, int DstX, int DstY) override;
  void DrawTo(HDC hDst, const TRect& DstRect, const TRect& SrcRect) override;

  // IBitmapContextSupport
  BITMAPINFO GetBitmapInfo() override { return FBitmapInfo; }
  HBITMAP GetBitmapHandle() override { return FBitmapHandle; }

  // IPaintSupport
  void ImageNeeded() override {}
  void CheckPixmap() override {}
  void DoPaint(TBitmap32* ABuffer, Raster_Containers::TRectList* AInvalidRects, TCanvas* ACanvas,
               IPaintBoxViewport* APaintBox) override;

 protected:
  // A zeroed surface (ClearBuffer is not needed) and its context; raises
  // "Can't allocate the DIB handle" when the pixels do not fit in memory.
  void AllocateSurface(int NewWidth, int NewHeight, bool ClearBuffer) override;
  void FreeSurface() override;
  // Called before a surface is made; the surface always comes from memory.
  virtual void PrepareMapping(int NewWidth, int NewHeight);
  // The font's change handler.
  void FontChanged();

 private:
  void Init();
  void OwnerChanged(const TRect& Area);
  bool OwnerMeasuring() const;

  BITMAPINFO FBitmapInfo;
  HBITMAP FBitmapHandle = nullptr;
  HDC FHDC = nullptr;
  std::unique_ptr<TFont> FFont;
  std::unique_ptr<TCanvas> FCanvas;
  HFONT FFontHandle;
  void* FMapHandle = nullptr;
  TNotifyEvent FOnFontChange;
  TNotifyEvent FOnCanvasChange;
};

}  // namespace velkor

namespace velkor::Raster_Backends_Toolkit {

// The shared 8 x 8 toolkit bitmap whose context measures text for
// backends without a surface; nullptr before the toolkit start-up.
TBitmap* StockBitmap();

// Order 15: takes the stock system font. Order 16 (the bitmap's part of the
// start-up) makes the shared measuring bitmap.
void Startup();
void StartupStockBitmap();
void Shutdown();

}  // namespace velkor::Raster_Backends_Toolkit
