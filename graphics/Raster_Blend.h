// Per-pixel compositing on TColor32 (straight ARGB): blending a colour over
// a background by its alpha (optionally with a master alpha), combining two
// colours with an explicit weight, merging alpha over alpha, per-channel
// colour arithmetic and per-channel weighted blends.
//
// Every operation is a routine pointer bound at start-up through the
// registry "Raster_Blend bindings" (see Raster_Bindings.h for how a variant
// is chosen). Callers fetch the pointer once per operation and call
// ClearMMXState after a run of calls.
//
// Weights (W), master alphas (M) and the per-channel weights are 0..255;
// values outside are clamped, so no variant reads outside its tables.
//
// Two arithmetic schemes recur, and variants differ by design within ±2 in
// the colour channels of the blend and combine families:
//   integer  S(c, w)    = (c * w + 128) >> 8
//   vector   V(f, b, w) = (f * w + b * (256 - w) + 128) >> 8
// (V with w = 255 does not reproduce f: 255 over 0 gives 254.)
#pragma once

#include <cstdint>

#include "graphics/Raster.h"
#include "graphics/Raster_Bindings.h"

namespace velkor::Raster_Blend {

using TBlendReg = TColor32 (*)(TColor32 F, TColor32 B);
using TBlendMem = void (*)(TColor32 F, TColor32& B);
using TBlendLine = void (*)(const TColor32* Src, TColor32* Dst, int Count);
using TBlendRegEx = TColor32 (*)(TColor32 F, TColor32 B, int M);
using TBlendMemEx = void (*)(TColor32 F, TColor32& B, int M);
using TBlendLineEx = void (*)(const TColor32* Src, TColor32* Dst, int Count, int M);
using TBlendOverRun = void (*)(TColor32 F, TColor32* Dst, int Count);
using TCombineReg = TColor32 (*)(TColor32 X, TColor32 Y, int W);
using TCombineMem = void (*)(TColor32 X, TColor32& Y, int W);
using TCombineLine = void (*)(const TColor32* Src, TColor32* Dst, int Count, int W);
using TColorArith = TColor32 (*)(TColor32 C1, TColor32 C2);
using TScaleReg = TColor32 (*)(TColor32 C, int W);
using TLightenReg = TColor32 (*)(TColor32 C, int Amount);
using TBlendPerChannelReg = TColor32 (*)(TColor32 F, TColor32 B, TColor32 Weights);
using TBlendPerChannelMem = void (*)(TColor32 F, TColor32& B, TColor32 Weights);
using TClearState = void (*)();

// Function ids of "Raster_Blend bindings".
enum TBlendFunctionID {
  FID_ClearMMXState, FID_MergeColor, FID_MergeColorInto, FID_MergeRow, FID_MergeColorMasked,
  FID_MergeColorIntoMasked, FID_MergeRowMasked, FID_CombineColor, FID_CombineColorInto, FID_CombineRow,
  FID_BlendColor, FID_BlendColorInto, FID_BlendColorOverRun, FID_BlendRow, FID_BlendColorMasked,
  FID_BlendColorIntoMasked, FID_BlendRowMasked, FID_MaxColors, FID_MinColors, FID_AverageColors,
  FID_AddColors, FID_SubtractColors, FID_DivideColors, FID_ModulateColors, FID_DifferenceColors,
  FID_ExcludeColors, FID_ScaleColor, FID_LightenColor, FID_BlendColorPerChannel,
  FID_BlendColorPerChannelInto,
  FID_BlendCount  // number of ids
};

// id 0: ends a run of vector calls (a no-op unless a variant needs it).
extern TClearState ClearMMXState;

// Merge (alpha over alpha: the result's alpha grows).
extern TBlendReg MergeColor;
extern TBlendMem MergeColorInto;
extern TBlendLine MergeRow;
extern TBlendRegEx MergeColorMasked;  // F's alpha scaled by M first
extern TBlendMemEx MergeColorIntoMasked;
extern TBlendLineEx MergeRowMasked;

// Combine: weight W for X, 255 - W for Y.
extern TCombineReg CombineColor;
extern TCombineMem CombineColorInto;
extern TCombineLine CombineRow;

// Blend: F over B with F's alpha as the weight.
extern TBlendReg BlendColor;
extern TBlendMem BlendColorInto;
extern TBlendOverRun BlendColorOverRun;  // one colour over Count pixels
extern TBlendLine BlendRow;
extern TBlendRegEx BlendColorMasked;  // weight ((M + 1) * Fa) >> 8
extern TBlendMemEx BlendColorIntoMasked;
extern TBlendLineEx BlendRowMasked;

// Per-channel colour arithmetic (all four channels unless noted).
extern TColorArith MaxColors;
extern TColorArith MinColors;
extern TColorArith AverageColors;     // (c1 + c2) >> 1
extern TColorArith AddColors;         // saturating
extern TColorArith SubtractColors;    // saturating at 0
extern TColorArith DivideColors;      // 255 where C1's channel is 0, else min(255, c2 * 256 / c1)
extern TColorArith ModulateColors;    // (c1 * c2) >> 8
extern TColorArith DifferenceColors;  // |c1 - c2|
extern TColorArith ExcludeColors;     // c1 + c2 - ((c1 * c2) >> 7)
extern TScaleReg ScaleColor;          // min(255, (c * W) >> 8), W clamped to 0..
extern TLightenReg LightenColor;      // colour channels + Amount, clamped; alpha kept

// Per-channel weights: red weighted by byte 0 of Weights, green by byte 1,
// blue by byte 2; each colour channel becomes b + (f - b) * w / 255
// (truncating toward zero). Alpha is B's.
extern TBlendPerChannelReg BlendColorPerChannel;
extern TBlendPerChannelMem BlendColorPerChannelInto;

// Per combine mode, the ADDRESSES of the routine pointers, so a rebind is
// seen through them: index by TCombineMode, then call (*Table[mode])(...).
extern TBlendMem* const BlendIntoByMode[2];
extern TBlendMemEx* const BlendIntoMaskedByMode[2];
extern TBlendLine* const BlendRowByMode[2];
extern TBlendLineEx* const BlendRowMaskedByMode[2];

// Lookup tables, built at start-up and then only read.
// ProductTable[j][i] = Round(i * j / 255) (row 0 all 0; symmetric).
extern std::uint8_t ProductTable[256][256];
// QuotientTable[j][i] = Round(i * 255 / j), ties to even, low byte kept
// (only entries with i <= j are meaningful; row 0 all 0).
extern std::uint8_t QuotientTable[256][256];
// Eight 16-bit copies of i per entry, 16-byte aligned; built when the
// processor has ciMMX or ciSSE2. RoundingBias is entry 128.
alignas(16) extern std::uint16_t AlphaWordTable[256][8];
extern const std::uint16_t* RoundingBias;
// Whether the processor has ciMMX (the bitmap code reads it).
extern bool HasMMX;

// The module's registry while the module runs, else nullptr.
extern Raster_Bindings::TFunctionRegistry* BlendRegistry;

// Start-up: register and bind the 30 routines, build the tables, set HasMMX.
void Startup();
void Shutdown();

}  // namespace velkor::Raster_Blend
