// The handles and records of the platform's device contexts, as far as
// layers without Qt pass them around: a device context (HDC), a 32-bit
// surface (HBITMAP), the surface's description (BITMAPINFO) and the flag
// values of text output and pixel transfers. The objects behind the handles
// live in the toolkit (toolkit/ToolkitGraphics), which draws with Qt; here
// they are opaque.
#pragma once

#include <cstdint>

namespace velkor {

class TDeviceContext;
struct TDIBSection;

// A device context: a memory context holding a surface, or a painter's.
using HDC = TDeviceContext*;
// A 32-bit top-down surface with its pixel memory.
using HBITMAP = TDIBSection*;

// The platform's width and height pair.
struct TSize {
  std::int32_t cx = 0, cy = 0;
  friend constexpr bool operator==(const TSize&, const TSize&) = default;
};

// The header of a device-independent bitmap, all fields as the BMP format
// stores them.
struct BITMAPINFOHEADER {
  std::uint32_t biSize = 40;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;  // negative: rows top-down
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 32;
  std::uint32_t biCompression = 0;  // BI_RGB
  std::uint32_t biSizeImage = 0;
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;
};

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  std::uint32_t bmiColors[1] = {0};
};

inline constexpr std::uint32_t BI_RGB = 0;

// Raster operation of the transfers: the only one the library uses.
inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;

// ExtTextOut options.
inline constexpr std::uint32_t ETO_OPAQUE = 2;
inline constexpr std::uint32_t ETO_CLIPPED = 4;

// Background modes.
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;

// DrawText flags.
inline constexpr std::uint32_t DT_LEFT = 0x0;
inline constexpr std::uint32_t DT_TOP = 0x0;
inline constexpr std::uint32_t DT_CENTER = 0x1;
inline constexpr std::uint32_t DT_RIGHT = 0x2;
inline constexpr std::uint32_t DT_VCENTER = 0x4;
inline constexpr std::uint32_t DT_BOTTOM = 0x8;
inline constexpr std::uint32_t DT_WORDBREAK = 0x10;
inline constexpr std::uint32_t DT_SINGLELINE = 0x20;
inline constexpr std::uint32_t DT_EXPANDTABS = 0x40;
inline constexpr std::uint32_t DT_NOCLIP = 0x100;
inline constexpr std::uint32_t DT_CALCRECT = 0x400;
inline constexpr std::uint32_t DT_NOPREFIX = 0x800;
inline constexpr std::uint32_t DT_EDITCONTROL = 0x2000;
inline constexpr std::uint32_t DT_END_ELLIPSIS = 0x8000;
inline constexpr std::uint32_t DT_RTLREADING = 0x20000;

}  // namespace velkor
