// Internal to Raster_Blend: the variants the registry chooses between, and
// the small channel helpers they share. Nothing outside Raster_Blend*.cpp
// includes this; everyone else calls the bound pointers.
#pragma once

#include <cstdint>

#include "graphics/Raster_Blend.h"

namespace velkor::Raster_Blend::variants {

// Channel n of a colour: 0 blue, 1 green, 2 red, 3 alpha.
constexpr std::uint32_t Channel(TColor32 c, int n) { return (c >> (8 * n)) & 0xFF; }
constexpr TColor32 Pack(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}
constexpr std::uint32_t AlphaOf(TColor32 c) { return c >> 24; }
// Weights and master alphas outside 0..255 are clamped before any table
// look-up.
constexpr int ClampWeight(int w) { return w < 0 ? 0 : (w > 255 ? 255 : w); }

inline std::uint32_t Mul(std::uint32_t j, std::uint32_t i) { return ProductTable[j][i]; }
inline std::uint32_t Div(std::uint32_t j, std::uint32_t i) { return QuotientTable[j][i]; }

#if defined(__x86_64__)
// Vector variants (Raster_BlendSSE2.cpp). Written with SSE2 intrinsics; the
// ones registered at the MMX level compute what their MMX form computes, on
// the low 64 bits of an SSE register, since x86-64 always has SSE2 and the
// MMX registers would alias the x87 stack the library computes on.
void ClearMMXState_MMX();
void ClearMMXState_SSE2();

TColor32 CombineColor_Vec(TColor32 X, TColor32 Y, int W);
void CombineColorInto_Vec(TColor32 X, TColor32& Y, int W);
void CombineRow_Vec(const TColor32* Src, TColor32* Dst, int Count, int W);

TColor32 BlendColor_Vec(TColor32 F, TColor32 B);
void BlendColorInto_Vec(TColor32 F, TColor32& B);
void BlendColorOverRun_SSE2(TColor32 F, TColor32* Dst, int Count);
void BlendRow_MMX(const TColor32* Src, TColor32* Dst, int Count);
void BlendRow_SSE2(const TColor32* Src, TColor32* Dst, int Count);
TColor32 BlendColorMasked_Vec(TColor32 F, TColor32 B, int M);
void BlendColorIntoMasked_Vec(TColor32 F, TColor32& B, int M);
void BlendRowMasked_Vec(const TColor32* Src, TColor32* Dst, int Count, int M);

TColor32 MaxColors_Vec(TColor32 C1, TColor32 C2);
TColor32 MinColors_Vec(TColor32 C1, TColor32 C2);
TColor32 AddColors_Vec(TColor32 C1, TColor32 C2);
TColor32 SubtractColors_Vec(TColor32 C1, TColor32 C2);
TColor32 ModulateColors_Vec(TColor32 C1, TColor32 C2);
TColor32 DifferenceColors_Vec(TColor32 C1, TColor32 C2);
TColor32 ExcludeColors_Vec(TColor32 C1, TColor32 C2);
TColor32 ScaleColor_Vec(TColor32 C, int W);
TColor32 LightenColor_Vec(TColor32 C, int Amount);
TColor32 BlendColorPerChannel_Vec(TColor32 F, TColor32 B, TColor32 Weights);
void BlendColorPerChannelInto_Vec(TColor32 F, TColor32& B, TColor32 Weights);
#endif

// The portable ScaleColor; the vector form hands weights above 255 to it.
TColor32 ScaleColor_Portable(TColor32 C, int W);

}  // namespace velkor::Raster_Blend::variants
