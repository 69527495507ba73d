// 32-bit word fill and move, and the routines that map an out-of-range
// coordinate back into a range (the edge modes of bitmaps and resamplers).
// Nothing here allocates.
#pragma once

#include <cstdint>

#include "graphics/Raster_Bindings.h"

namespace velkor::Raster_LowLevel {

// Writes Value into Count consecutive 32-bit words; Count 0 writes nothing.
// Bound at start-up through the registry "Raster_LowLevel bindings", id 0.
using TFillLongwords = void (*)(std::uint32_t* X, std::uint32_t Count, std::uint32_t Value);
extern TFillLongwords FillLongwords;

inline constexpr int FID_FillLongwords = 0;
// The module's registry while the module runs, else nullptr.
extern Raster_Bindings::TFunctionRegistry* LowLevelRegistry;

// Copies Count words from Source to Dest. Overlapping ranges are copied as
// if through a temporary; Count <= 0 copies nothing.
void MoveLongwords(const std::uint32_t* Source, std::uint32_t* Dest, int Count);

// Orders Lo and Hi, clips them to [Min, Max) and tells whether the span is
// not empty.
bool ClipSpan(int& Lo, int& Hi, int Min, int Max);
// Value limited to the range between the two bounds, in either order.
int ClampBetween(int Value, int Bound1, int Bound2);
constexpr int ShiftRight8(int A) { return A >> 8; }  // arithmetic
constexpr int ShiftRight9(int A) { return A >> 9; }  // arithmetic

enum TWrapMode { wmClamp, wmRepeat, wmMirror };

// Maps Value into [Min, Max]. The wrapping forms need Min <= Max; for an
// empty range (Max < Min) they return Min rather than divide by zero or by a
// negative length.
using TWrapProcEx = int (*)(int Value, int Min, int Max);

int ClampToRange(int Value, int Min, int Max);
int WrapToRange(int Value, int Min, int Max);
int MirrorToRange(int Value, int Min, int Max);
// For ranges whose length Max - Min + 1 is a power of two: no division.
int WrapToRangePow2(int Value, int Min, int Max);
int MirrorToRangePow2(int Value, int Min, int Max);

TWrapProcEx SelectWrapProc(TWrapMode Mode);
// As SelectWrapProc, but picks the power-of-two forms when the range allows.
TWrapProcEx SelectWrapProcEx(TWrapMode Mode, int Min, int Max);

// Start-up creates, fills and binds "Raster_LowLevel bindings".
void Startup();
void Shutdown();

}  // namespace velkor::Raster_LowLevel
