// The toolkit's graphics over Qt: device contexts, the canvas, bitmaps,
// icons, metafiles, pictures with their file-format registry, and the
// clipboard.
//
// Device contexts. A memory context (CreateCompatibleDC) draws into the
// 32-bit surface selected into it (CreateDIBSection: zeroed, top-down,
// 64-byte aligned, bytes blue, green, red, alpha). A painter context
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
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/Fonts.h"
#include "graphics/Raster.h"
#include "graphics/StreamErrors.h"
#include "platform/DeviceContexts.h"

namespace velkor {

// --- errors -----------------------------------------------------------------

// A picture file or stream that no format reads, or of an unknown extension.
class EInvalidGraphic : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// --- surfaces and device contexts --------------------------------------------

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

// Pixel-exact fills and copies into a painter context: images are drawn
// opaque (RGB32 view) or blended (SourceOver).
void DrawImageTo(HDC DC, const TRect& DstRect, const QImage& Image, bool KeepAlpha);

// --- canvas -------------------------------------------------------------------

class TToolkitGraphic;

enum TBrushStyle : std::uint8_t { bsSolid, bsClear };
struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
};

// Drawing on a device context with a font and a brush. The canvas does not
// own its context.
class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  HDC Handle() const { return FHandle; }
  void SetHandle(HDC Value);
  TFont& Font() { return FFont; }
  TBrush& Brush() { return FBrush; }

  // A recursive lock for canvases shared between threads.
  void Lock();
  void Unlock();
  bool TryLock();
  int LockCount() const { return FLockCount; }

  void TextOut(int X, int Y, std::string_view Text);
  // Text at (X, Y) clipped to Rect.
  void TextRect(const TRect& Rect, int X, int Y, std::string_view Text);
  TSize TextExtent(std::string_view Text);
  int TextWidth(std::string_view Text) { return TextExtent(Text).cx; }
  int TextHeight(std::string_view Text) { return TextExtent(Text).cy; }
  // The brush colour (alpha 0, as the platform writes it) into Rect.
  void FillRect(const TRect& Rect);
  void Draw(int X, int Y, const TToolkitGraphic* Graphic);
  void StretchDraw(const TRect& Rect, const TToolkitGraphic* Graphic);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  virtual void Changing();
  virtual void Changed();

 private:
  void SelectFontIntoHandle();

  HDC FHandle = nullptr;
  TFont FFont;
  TBrush FBrush;
  std::recursive_mutex FLock;
  int FLockCount = 0;
};

// --- graphics ------------------------------------------------------------------

// A picture the toolkit can draw and load: the graphic base of
// graphics/Persistent.h with drawing, files and streams.
class TToolkitGraphic : public TGraphic {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // Draws the whole graphic into Rect of the canvas.
  virtual void Draw(TCanvas& ACanvas, const TRect& Rect) const = 0;
  virtual bool Empty() const { return Width() == 0 || Height() == 0; }
  virtual void LoadFromStream(std::istream& Stream) = 0;
  virtual void SaveToStream(std::ostream& Stream) const = 0;
  // Errors name the file.
  virtual void LoadFromFile(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName) const;
  // The graphic in a private clipboard format (RegisterClipboardFormat):
  // AData holds its bytes. Graphics without one raise EInvalidGraphic
  // "Unsupported clipboard format".
  virtual void LoadFromClipboardFormat(std::uint32_t AFormat, const std::string& AData);
  virtual void SaveToClipboardFormat(std::uint32_t& AFormat, std::string& AData) const;

  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value);

  TNotifyEvent OnChange;

 protected:
  virtual void Changed();
  bool FTransparent = false;
};

enum TPixelFormat : std::uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TBitmapHandleType : std::uint8_t { bmDIB, bmDDB };
// What the alpha bytes of a 32-bit bitmap mean: nothing (opaque), straight
// alpha, or alpha the colours are already multiplied by.
enum TAlphaFormat : std::uint8_t { afIgnored, afDefined, afPremultiplied };

// A bitmap: a 32-bit surface with a canvas on it, a pixel format telling
// whether its alpha bytes mean anything (pf32bit) and an optional
// transparent colour. Files of any format Qt reads load into it.
class TBitmap : public TToolkitGraphic {
 public:
  TBitmap();
  ~TBitmap() override;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  void Assign(const TPersistent* Source) override;

  int Width() const override { return FSection ? FSection->Width : 0; }
  int Height() const override { return FSection ? FSection->Height : 0; }
  void SetSize(int NewWidth, int NewHeight);
  TPixelFormat PixelFormat() const { return FPixelFormat; }
  void SetPixelFormat(TPixelFormat Value);
  TBitmapHandleType HandleType() const { return FHandleType; }
  void SetHandleType(TBitmapHandleType Value) { FHandleType = Value; }
  // Meaningful for pf32bit only; afDefined is what a pf32bit bitmap means
  // unless told otherwise.
  TAlphaFormat AlphaFormat() const { return FAlphaFormat; }
  void SetAlphaFormat(TAlphaFormat Value);
  // clDefault: the colour of the bottom-left pixel.
  TColor TransparentColor() const;
  void SetTransparentColor(TColor Value);

  // The canvas on the bitmap's own context.
  TCanvas& Canvas();
  // The pixels (nullptr when empty), rows top-down.
  TColor32* ScanLine(int Y) const { return FSection->Bits + std::ptrdiff_t(Y) * FSection->Width; }
  // A copy as a Qt image: Format_ARGB32 for pf32bit (ARGB32_Premultiplied
  // with afPremultiplied), else RGB32.
  QImage ToImage() const;
  // Takes an image's pixels; pf32bit when it has an alpha channel, else
  // pf24bit.
  void SetImage(const QImage& Image);

  void Draw(TCanvas& ACanvas, const TRect& Rect) const override;
  // A BMP (or any format Qt reads) from the stream's current position.
  void LoadFromStream(std::istream& Stream) override;
  // A BMP: 32-bit for pf32bit, else 24-bit.
  void SaveToStream(std::ostream& Stream) const override;
  // A Qt resource path (":/..."), or a name taken as ":/<name>".
  void LoadFromResourceName(const std::string& ResName);

 private:
  HBITMAP FSection = nullptr;
  HDC FDC = nullptr;
  std::unique_ptr<TCanvas> FCanvas;
  TPixelFormat FPixelFormat = pfDevice;
  TBitmapHandleType FHandleType = bmDIB;
  TAlphaFormat FAlphaFormat = afDefined;
  TColor FTransparentColor = clDefault;
};

// A PNG image: a bitmap that reads and writes the PNG format and knows the
// PNG colour type it has (6, RGB with alpha, for a 32-bit bitmap; 2, RGB,
// otherwise). Being a bitmap, it converts wherever a bitmap does.
class TPngImage : public TBitmap {
 public:
  static constexpr std::uint8_t COLOR_RGB = 2;
  static constexpr std::uint8_t COLOR_RGBALPHA = 6;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  std::uint8_t ColorType() const { return PixelFormat() == pf32bit ? COLOR_RGBALPHA : COLOR_RGB; }
  void SaveToStream(std::ostream& Stream) const override;
};

// An icon: an image with alpha, drawn with its alpha kept.
class TIcon : public TToolkitGraphic {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  void Assign(const TPersistent* Source) override;
  int Width() const override { return FImage.width(); }
  int Height() const override { return FImage.height(); }
  const QImage& Image() const { return FImage; }
  // Kept as Format_ARGB32.
  void SetImage(const QImage& Image);

  void Draw(TCanvas& ACanvas, const TRect& Rect) const override;
  void LoadFromStream(std::istream& Stream) override;
  void SaveToStream(std::ostream& Stream) const override;

 private:
  QImage FImage;
};

// A metafile: a recorded sequence of drawing commands played back at any
// size. Recorded with Qt's painter (Record); files in the platform's
// metafile formats are not read.
class TMetafile : public TToolkitGraphic {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  void Assign(const TPersistent* Source) override;
  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  void SetSize(int NewWidth, int NewHeight);
  // Replaces the recording with what Paint draws on a Width x Height area.
  void Record(const std::function<void(QPainter&)>& Paint);

  void Draw(TCanvas& ACanvas, const TRect& Rect) const override;
  void LoadFromStream(std::istream& Stream) override;
  void SaveToStream(std::ostream& Stream) const override;

 private:
  int FWidth = 0, FHeight = 0;
  std::function<void(QPainter&)> FPaint;
};

// --- pictures and the format registry -------------------------------------------

using TGraphicFactory = std::function<std::unique_ptr<TToolkitGraphic>()>;

// Registers the graphic class that loads files of an extension (without
// the dot, any letter case); a later registration of the same extension
// replaces the earlier one. The start-up registers bmp, png, jpg, jpeg,
// gif (TBitmap) and ico (TIcon).
void RegisterFileFormat(const std::string& Extension, const std::string& Description, TGraphicFactory Factory);
void UnregisterFileFormat(const std::string& Extension);
// The registered extensions in registration order.
std::vector<std::string> RegisteredFileFormats();

// Registers the graphic class that reads a private clipboard format; a
// picture assigned from the clipboard tries these first, in registration
// order, before an image.
void RegisterClipboardFormat(std::uint32_t Format, TGraphicFactory Factory);
void UnregisterClipboardFormat(std::uint32_t Format);

class TClipboard;

// A holder of one graphic of any registered class.
class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // From another picture, a graphic (copied), the clipboard, or nil (empty).
  void Assign(const TPersistent* Source) override;

  TToolkitGraphic* Graphic() const { return FGraphic.get(); }
  void SetGraphic(std::unique_ptr<TToolkitGraphic> Value);
  // The graphic as a bitmap; replaces any other graphic with an empty bitmap.
  TBitmap& Bitmap();
  int Width() const { return FGraphic ? FGraphic->Width() : 0; }
  int Height() const { return FGraphic ? FGraphic->Height() : 0; }

  // Chooses the graphic class by the file's extension. An unknown extension
  // or unreadable content raises EInvalidGraphic naming the file.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

  TNotifyEvent OnChange;

 private:
  std::unique_ptr<TToolkitGraphic> FGraphic;
};

// --- clipboard -----------------------------------------------------------------

// The platform clipboard: images, and private formats by number (mapped to
// MIME types of their own).
class TClipboard : public TPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // A bitmap or picture goes onto the clipboard as an image.
  void Assign(const TPersistent* Source) override;
  bool HasImage() const;
  QImage Image() const;
  void SetImage(const QImage& Image);
  // Private formats: Format is the program's number for the data.
  bool HasFormat(std::uint32_t Format) const;
  std::string GetAsFormat(std::uint32_t Format) const;
  void SetAsFormat(std::uint32_t Format, std::string_view Data);
};

// The process's clipboard (needs a QGuiApplication).
TClipboard* Clipboard();

// Registers the default file formats (png as TPngImage). Called by the
// toolkit start-up.
void ToolkitGraphicsStartup();
void ToolkitGraphicsShutdown();

}  // namespace velkor
