// The visual-style entry points of the desktop, as a library that is looked
// up by name at run time: a provider loads, answers GetProcAddress for the
// eleven names below and unloads. The raster library binds them through
// Raster_XPThemes; tests install a provider of their own.
//
// The default provider stands on the toolkit's current QStyle. It answers
// IsAppThemed with "a QApplication exists" and IsThemeActive with true; a
// theme handle names the class it was opened for ("SCROLLBAR", "GLOBALS")
// and the QStyle in force then. The drawing and measuring entry points
// answer E_NOTIMPL: nothing in the program draws with the visual style
// through them.
#pragma once

#include <cstdint>
#include <string>

#include "graphics/Raster.h"
#include "platform/DeviceContexts.h"

class QStyle;

namespace velkor {

// A theme handle; 0 is none.
using HTHEME = std::uintptr_t;
using HRESULT = std::int32_t;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

// The four widths of a margin.
struct TMargins {
  int cxLeftWidth = 0, cxRightWidth = 0, cyTopHeight = 0, cyBottomHeight = 0;
};

// The entry points' signatures. Window is the object a handle is opened
// for (the theme nexus); ClassList the theme class name.
using TOpenThemeData = HTHEME (*)(void* Window, const char* ClassList);
using TCloseThemeData = HRESULT (*)(HTHEME Theme);
using TDrawThemeBackground = HRESULT (*)(HTHEME Theme, HDC DC, int PartId, int StateId, const TRect* Rect,
                                         const TRect* ClipRect);
using TDrawThemeEdge = HRESULT (*)(HTHEME Theme, HDC DC, int PartId, int StateId, const TRect* DestRect,
                                   std::uint32_t Edge, std::uint32_t Flags, TRect* ContentRect);
using TGetThemeColor = HRESULT (*)(HTHEME Theme, int PartId, int StateId, int PropId, std::uint32_t* Color);
using TGetThemeMetric = HRESULT (*)(HTHEME Theme, HDC DC, int PartId, int StateId, int PropId, int* Value);
using TGetThemeMargins = HRESULT (*)(HTHEME Theme, HDC DC, int PartId, int StateId, int PropId, const TRect* Rect,
                                     TMargins* Margins);
using TSetWindowTheme = HRESULT (*)(void* Window, const char* SubAppName, const char* SubIdList);
using TIsThemeActive = int (*)();
using TIsAppThemed = int (*)();
using TEnableTheming = HRESULT (*)(int Enable);

class TThemeProvider {
 public:
  virtual ~TThemeProvider() = default;
  // Makes the entry points available; False when the library is missing.
  virtual bool Load() = 0;
  virtual void Unload() = 0;
  // The entry point of that name, or nullptr (also while not loaded).
  virtual void* GetProcAddress(const char* Name) = 0;
};

// The provider over the toolkit's QStyle.
TThemeProvider& DefaultThemeProvider();

// What a handle of the default provider stands for; an empty class and
// nullptr for 0 or a handle of another provider.
std::string ThemeClassName(HTHEME Theme);
QStyle* ThemeStyle(HTHEME Theme);

}  // namespace velkor
