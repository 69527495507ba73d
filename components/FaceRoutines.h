// Colour arithmetic and the soft ring that the cached controls (panel,
// group box, fast gauge) draw their faces with. Colours are TColor32
// ($AARRGGBB); a channel is blue, green, red or, where said, alpha.
#pragma once

#include "graphics/Raster.h"
#include "toolkit/Colors.h"

namespace velkor {

// C as a pixel: a system colour through the active style's colour for it,
// then through the classic system colours; alpha 255.
TColor32 ResolveColor(TColor C);
// Red, green and blue each moved by D and kept in 0..255; alpha unchanged.
TColor32 ShiftColor(TColor32 C, int D);
// Every channel, alpha too: (a*(d - n) + b*n) div d, integer division.
// D = 0 takes the midpoint (n = 1, d = 2).
TColor32 MixColor(TColor32 A, TColor32 B, int N, int D);
// Every channel, alpha too: Round(a*(1 - w) + b*w), with w and 1 - w single
// floats, the sum in double and halves rounded to even.
TColor32 WeightColor(TColor32 A, TColor32 B, float W);
// The same with both weights given: Round(a*wa + b*wb).
TColor32 WeighColors(TColor32 A, float WA, TColor32 B, float WB);

// One ring along the inside of R with plain clipped stores: C1 on the top
// and left, C2 on the bottom and right, shaded corners; then R shrinks by
// one on every side.
void DrawRing(TCustomBitmap32& Bitmap, TRect& R, TColor32 C1, TColor32 C2);

}  // namespace velkor
