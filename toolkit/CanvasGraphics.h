// The canvas and the graphics drawn on it over Qt: the canvas on a device
// context (toolkit/Surfaces.h), and bitmaps, PNG images, icons and
// metafiles with their files and streams.
#pragma once

#include <QImage>
#include <QPainter>

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

#include "graphics/Fonts.h"
#include "graphics/Raster.h"
#include "graphics/StreamErrors.h"
#include "toolkit/Surfaces.h"

namespace velkor {

// A picture file or stream that no format reads, or of an unknown extension.
class EInvalidGraphic : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// --- canvas ---------------------------------------------------------------------

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

}  // namespace velkor
