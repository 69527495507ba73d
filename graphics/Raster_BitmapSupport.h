// Helpers shared by the bitmap's source files (Raster_Bitmap*.cpp); not part
// of the library's interface.
#pragma once

#include <cstdint>

#include "graphics/Raster.h"

namespace velkor::RasterBitmap {

// Round to nearest, ties to even, saturated to the int range; NaN gives 0.
int RoundToInt(double V);

// 16.16 to 24.8: add 127, then drop 8 bits, logically or arithmetically.
// The addition wraps like the 32-bit integers the positions are.
constexpr int Shr8(TFixed V) { return int((std::uint32_t(V) + 127u) >> 8); }
constexpr int Sar8(TFixed V) { return std::int32_t(std::uint32_t(V) + 127u) >> 8; }

}  // namespace velkor::RasterBitmap
