// The capabilities a bitmap backend may offer beyond storage, and the
// routine that switches a bitmap to a backend offering the ones a caller
// needs.
//
// Each capability is an abstract class; a backend offers it by deriving from
// it, and a caller finds it with dynamic_cast (Supports<I> below). The
// memory backend offers none; the toolkit's surface backend offers all
// seven.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "graphics/Raster.h"
#include "graphics/Raster_Containers.h"

namespace velkor::Raster_Paths {
class TCustomPath;
}

namespace velkor {

// Text output and measurement on the backend's surface (UTF-8 text; see
// TBitmap32 for the plain and W forms).
class ITextSupport {
 public:
  virtual ~ITextSupport() = default;
  virtual void Textout(int X, int Y, std::string_view Text) = 0;
  virtual void Textout(int X, int Y, const TRect& ClipRect, std::string_view Text) = 0;
  virtual void Textout(TRect& DstRect, std::uint32_t Flags, std::string_view Text) = 0;
  virtual TSize TextExtent(std::string_view Text) = 0;
  virtual void TextoutW(int X, int Y, std::string_view Text) = 0;
  virtual void TextoutW(int X, int Y, const TRect& ClipRect, std::string_view Text) = 0;
  virtual void TextoutW(TRect& DstRect, std::uint32_t Flags, std::string_view Text) = 0;
  virtual TSize TextExtentW(std::string_view Text) = 0;
};

class IFontSupport {
 public:
  virtual ~IFontSupport() = default;
  virtual TNotifyEvent GetOnFontChange() = 0;
  virtual void SetOnFontChange(TNotifyEvent Handler) = 0;
  virtual TFont* GetFont() = 0;
  virtual void SetFont(const TFont* Font) = 0;
  virtual void UpdateFont() = 0;
};

class ITextToPathSupport {
 public:
  virtual ~ITextToPathSupport() = default;
  virtual void TextToPath(Raster_Paths::TCustomPath* Path, float X, float Y, std::string_view Text) = 0;
  virtual void TextToPath(Raster_Paths::TCustomPath* Path, const TFloatRect& DstRect, std::string_view Text,
                          std::uint32_t Flags) = 0;
  virtual TFloatRect MeasureText(const TFloatRect& DstRect, std::string_view Text, std::uint32_t Flags) = 0;
};

class ICanvasSupport {
 public:
  virtual ~ICanvasSupport() = default;
  virtual TNotifyEvent GetCanvasChange() = 0;
  virtual void SetCanvasChange(TNotifyEvent Handler) = 0;
  virtual TCanvas* GetCanvas() = 0;
  virtual void DeleteCanvas() = 0;
  virtual bool CanvasAllocated() const = 0;
};

class IDeviceContextSupport {
 public:
  virtual ~IDeviceContextSupport() = default;
  virtual HDC GetHandle() = 0;
  virtual void Draw(const TRect& DstRect, const TRect& SrcRect, HDC hSrc) = 0;
  virtual void DrawTo(HDC hDst, int DstX, int DstY) = 0;
  virtual void DrawTo(HDC hDst, const TRect& DstRect, const TRect& SrcRect) = 0;
};

class IBitmapContextSupport {
 public:
  virtual ~IBitmapContextSupport() = default;
  virtual BITMAPINFO GetBitmapInfo() = 0;
  virtual HBITMAP GetBitmapHandle() = 0;
};

// What the paint support needs of a paint box: the rectangle it shows.
class IPaintBoxViewport {
 public:
  virtual ~IPaintBoxViewport() = default;
  virtual TRect GetViewportRect() const = 0;
};

class IPaintSupport {
 public:
  virtual ~IPaintSupport() = default;
  virtual void ImageNeeded() = 0;
  virtual void CheckPixmap() = 0;
  // Copies the invalid rectangles of ABuffer (or, with none, the paint
  // box's viewport) onto ACanvas.
  virtual void DoPaint(TBitmap32* ABuffer, Raster_Containers::TRectList* AInvalidRects, TCanvas* ACanvas,
                       IPaintBoxViewport* APaintBox) = 0;
};

// A capability as a value: Supports<I> tells whether a backend offers I.
using TBackendInterface = bool (*)(const TCustomBackend* Backend);
template <class I>
bool Supports(const TCustomBackend* Backend) {
  return dynamic_cast<const I*>(Backend) != nullptr;
}
// The capability I of a backend, or nullptr.
template <class I>
I* BackendInterface(TCustomBackend* Backend) {
  return dynamic_cast<I*>(Backend);
}

// Makes sure TargetBitmap's backend offers the required capabilities: all
// of them (Mode 0) or any one (Mode 1); an empty list never suffices.
// When it does, ReleasedBackend is nullptr and nothing changes. Otherwise
// the current backend is kept alive in ReleasedBackend and a backend of the
// bitmap's platform class takes over its size and pixels (none when
// UseOptimizedDestructiveSwitchMethod: the bitmap is emptied first). Pair it
// with RestoreBackend, also when the work in between raises.
void RequireBackendInterfaces(TCustomBitmap32* TargetBitmap, std::span<const TBackendInterface> RequiredInterfaces,
                              int Mode, bool UseOptimizedDestructiveSwitchMethod,
                              TCustomBackend*& ReleasedBackend);
void RequireBackendInterfaces(TCustomBitmap32* TargetBitmap,
                              std::initializer_list<TBackendInterface> RequiredInterfaces, int Mode,
                              bool UseOptimizedDestructiveSwitchMethod, TCustomBackend*& ReleasedBackend);
// Gives TargetBitmap its released backend back (with the current size and
// pixels); nothing for nullptr.
void RestoreBackend(TCustomBitmap32* TargetBitmap, TCustomBackend* ReleasedBackend);

}  // namespace velkor
