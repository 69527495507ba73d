// The toolkit's surfaces and device contexts over Qt.
//
// A memory context (CreateCompatibleDC) draws into the 32-bit surface
// selected into it (CreateDIBSection: zeroed, top-down, 64-byte aligned,
// bytes blue, green, red, alpha). A painter context
// (TDeviceContext(QPainter*)) draws through a widget's or an image's
// QPainter. Text drawn into a surface is rasterised by Qt into a coverage
// mask first, which is then mixed into the pixels: a touched pixel's colour
// moves toward the text colour by its coverage and its alpha byte becomes 0,
// every other pixel stays as it was. Callers that want opaque or
// anti-aliased text with real alpha set it afterwards; the bitmaps above
// rely on exactly this. The first line's top is at Y, so its baseline lies
// at Y + ascent.
//
// Transfers between contexts copy whole pixels, alpha included, with a
// nearest-neighbour stretch; only a surface can be a source (Qt cannot read
// a window back). A painter context as the destination ignores the alpha
// byte, as a screen does.
//
// Fonts are logical fonts (HFONT, graphics/Fonts.h) that a context resolves
// to a QFont when they are selected: a negative height is the pixel size, a
// positive one the cell height (ascent + descent); quality 3 draws without
// anti-aliasing. Without a QGuiApplication there are no fonts: text draws
// nothing and measures 0 x 0.
#pragma once

#include <QImage>
#include <QPainter>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "graphics/Fonts.h"
#include "graphics/Raster.h"
#include "platform/DeviceContexts.h"

namespace velkor {

// A 32-bit top-down surface. Bits is nullptr only for a 0 x 0 surface.
struct TDIBSection {
  int Width = 0;
  int Height = 0;
  TColor32* Bits = nullptr;

  TDIBSection() = default;
  TDIBSection(const TDIBSection&) = delete;
  TDIBSection& operator=(const TDIBSection&) = delete;
  ~TDIBSection();
};

// A zeroed surface, or nullptr when its pixels would not fit in memory.
// Non-positive sizes give nullptr.
HBITMAP CreateDIBSection(int Width, int Height);
// The BITMAPINFO describing a top-down 32-bit surface of that size.
BITMAPINFO MakeBitmapInfo(int Width, int Height);

// A font's measurements in pixels.
struct TTextMetric {
  int tmHeight = 0;  // ascent + descent
  int tmAscent = 0;
  int tmDescent = 0;
  int tmAveCharWidth = 0;
  int tmMaxCharWidth = 0;
  int tmExternalLeading = 0;
};

class TDeviceContext {
 public:
  // A memory context with no surface.
  TDeviceContext();
  // A context that draws through Painter (not owned; it must outlive the
  // context). Transfers into it ignore alpha.
  explicit TDeviceContext(QPainter* Painter);
  ~TDeviceContext();
  TDeviceContext(const TDeviceContext&) = delete;
  TDeviceContext& operator=(const TDeviceContext&) = delete;

  HBITMAP Bitmap() const { return FBitmap; }
  QPainter* Painter() const { return FPainter; }
  const HFONT& Font() const { return FFont; }
  // $00BBGGRR.
  std::uint32_t TextColor() const { return FTextColor; }
  int BkMode() const { return FBkMode; }
  // $00BBGGRR; fills behind text in the OPAQUE mode and with ETO_OPAQUE.
  std::uint32_t BkColor() const { return FBkColor; }

  // Each returns the previous value.
  HBITMAP SelectBitmap(HBITMAP Value);
  HFONT SelectFont(HFONT Value);
  std::uint32_t SetTextColor(std::uint32_t Value);
  int SetBkMode(int Value);
  std::uint32_t SetBkColor(std::uint32_t Value);

  // The selected font as Qt resolves it; nullptr without a font or without a
  // QGuiApplication.
  const QFont* ResolvedFont();
  const QFontMetrics* Metrics();
  // The advance width of Text in the selected font (0 without one). The
  // last answer is kept: text is usually measured right after it is drawn.
  int TextAdvance(std::string_view Text);

  // The selected surface as an image sharing its pixels (Format_ARGB32), or
  // a null image without one.
  QImage SurfaceImage() const;

 private:
  HBITMAP FBitmap = nullptr;
  QPainter* FPainter = nullptr;
  HFONT FFont;
  std::uint32_t FTextColor = 0;
  int FBkMode = OPAQUE;
  std::uint32_t FBkColor = 0x00FFFFFF;
  // The font last resolved, kept until another is selected.
  HFONT FResolvedFrom;
  std::optional<QFont> FQFont;
  std::optional<QFontMetrics> FMetrics;
  HFONT FAdvanceFont;
  std::string FAdvanceText;
  int FAdvance = 0;
};

HDC CreateCompatibleDC(HDC Reference);
bool DeleteDC(HDC DC);
// A surface is deleted with its memory; it must not be selected anywhere.
bool DeleteObject(HBITMAP Bitmap);
// The stock system font: the toolkit's default face at its default size.
// Made by the toolkit start-up; before that a font of the default
// description.
HFONT GetStockSystemFont();
void SetStockSystemFont(HFONT Font);

bool GetTextExtentPoint32W(HDC DC, std::string_view Text, TSize& Size);
bool GetTextMetricsW(HDC DC, TTextMetric& Metric);
// Text at (X, Y), the top of its cell; with ETO_CLIPPED limited to *Rect.
// The background colour fills *Rect first with ETO_OPAQUE, else the text's
// cell in the OPAQUE background mode.
bool ExtTextOutW(HDC DC, int X, int Y, std::uint32_t Options, const TRect* Rect, std::string_view Text);
// Text formatted into Rect by the DT_ flags. DT_CALCRECT only measures and
// sets Rect's right and bottom edges. Returns the height of the text.
int DrawTextW(HDC DC, std::string_view Text, TRect& Rect, std::uint32_t Format);

// Copies (nearest-neighbour when the sizes differ) the source context's
// surface rectangle into the destination's. False when the source has no
// surface or a size is not positive.
bool StretchBlt(HDC Dst, int X, int Y, int W, int H, HDC Src, int SrcX, int SrcY, int SrcW, int SrcH,
                std::uint32_t Rop);
bool BitBlt(HDC Dst, int X, int Y, int W, int H, HDC Src, int SrcX, int SrcY, std::uint32_t Rop);
// The same from 32-bit pixels described by Info (top-down when its height
// is negative, bottom-up otherwise). Returns the rows copied.
int StretchDIBits(HDC Dst, int X, int Y, int W, int H, int SrcX, int SrcY, int SrcW, int SrcH,
                  const void* Bits, const BITMAPINFO& Info, std::uint32_t Rop);

// Rect in a colour ($00BBGGRR): alpha 0 on a surface, as the platform
// fills; through the painter of a painter context.
void FillSolidRect(HDC DC, const TRect& Rect, std::uint32_t ColorRef);

// Pixel-exact fills and copies into a painter context: images are drawn
// opaque (RGB32 view) or blended (SourceOver).
void DrawImageTo(HDC DC, const TRect& DstRect, const QImage& Image, bool KeepAlpha);

// True when a QGuiApplication exists: without one there are no fonts and
// no clipboard.
bool HaveGuiApplication();

}  // namespace velkor
