// Logical line filters: every pixel of a run combined with one 32-bit mask
// by AND, OR or XOR, in place or from a source run into a destination run.
// Bound through the registry "Raster_Filters bindings"; this module starts
// later than the rest of the raster library (see RasterStartup.h).
#pragma once

#include <cstdint>

#include "graphics/Raster.h"
#include "graphics/Raster_Bindings.h"

namespace velkor::Raster_Filters {

// Dst[i] := Dst[i] op Mask for i in [0, Count); Count <= 0 does nothing.
using TLogicalOp = void (*)(TColor32* Dst, std::uint32_t Mask, int Count);
// Dst[i] := Src[i] op Mask; Src and Dst may be the same run.
using TLogicalOpTo = void (*)(const TColor32* Src, TColor32* Dst, int Count, std::uint32_t Mask);

enum TFilterFunctionID { FID_AndWords, FID_OrWords, FID_XorWords, FID_AndWordsTo, FID_OrWordsTo, FID_XorWordsTo };

extern TLogicalOp AndWords;
extern TLogicalOp OrWords;
extern TLogicalOp XorWords;
extern TLogicalOpTo AndWordsTo;
extern TLogicalOpTo OrWordsTo;
extern TLogicalOpTo XorWordsTo;

// The module's registry while the module runs, else nullptr.
extern Raster_Bindings::TFunctionRegistry* FilterRegistry;

// Module start-up: creates "Raster_Filters bindings", registers the six
// routines and their variants, binds them.
void RegisterBindings();
void Startup();
void Shutdown();

}  // namespace velkor::Raster_Filters
