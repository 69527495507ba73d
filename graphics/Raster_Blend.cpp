#include "graphics/Raster_Blend.h"

#include <algorithm>
#include <cstdlib>

#include "graphics/Raster_BlendVariants.h"

namespace velkor::Raster_Blend {

using Raster_System::ciEMMX;
using Raster_System::ciMMX;
using Raster_System::ciSSE;
using Raster_System::ciSSE2;

// ---------------------------------------------------------------------------
// Routine pointers, tables and state.

TClearState ClearMMXState = nullptr;
TBlendReg MergeColor = nullptr;
TBlendMem MergeColorInto = nullptr;
TBlendLine MergeRow = nullptr;
TBlendRegEx MergeColorMasked = nullptr;
TBlendMemEx MergeColorIntoMasked = nullptr;
TBlendLineEx MergeRowMasked = nullptr;
TCombineReg CombineColor = nullptr;
TCombineMem CombineColorInto = nullptr;
TCombineLine CombineRow = nullptr;
TBlendReg BlendColor = nullptr;
TBlendMem BlendColorInto = nullptr;
TBlendOverRun BlendColorOverRun = nullptr;
TBlendLine BlendRow = nullptr;
TBlendRegEx BlendColorMasked = nullptr;
TBlendMemEx BlendColorIntoMasked = nullptr;
TBlendLineEx BlendRowMasked = nullptr;
TColorArith MaxColors = nullptr;
TColorArith MinColors = nullptr;
TColorArith AverageColors = nullptr;
TColorArith AddColors = nullptr;
TColorArith SubtractColors = nullptr;
TColorArith DivideColors = nullptr;
TColorArith ModulateColors = nullptr;
TColorArith DifferenceColors = nullptr;
TColorArith ExcludeColors = nullptr;
TScaleReg ScaleColor = nullptr;
TLightenReg LightenColor = nullptr;
TBlendPerChannelReg BlendColorPerChannel = nullptr;
TBlendPerChannelMem BlendColorPerChannelInto = nullptr;

TBlendMem* const BlendIntoByMode[2] = {&BlendColorInto, &MergeColorInto};
TBlendMemEx* const BlendIntoMaskedByMode[2] = {&BlendColorIntoMasked, &MergeColorIntoMasked};
TBlendLine* const BlendRowByMode[2] = {&BlendRow, &MergeRow};
TBlendLineEx* const BlendRowMaskedByMode[2] = {&BlendRowMasked, &MergeRowMasked};

std::uint8_t ProductTable[256][256];
std::uint8_t QuotientTable[256][256];
// Static storage rather than a block freed at shut-down: a call through a
// vector variant after shut-down still reads valid memory.
alignas(16) std::uint16_t AlphaWordTable[256][8];
const std::uint16_t* RoundingBias = nullptr;
bool HasMMX = false;
Raster_Bindings::TFunctionRegistry* BlendRegistry = nullptr;

namespace variants {

namespace {

// Applies op to each of the four channels of C1 and C2.
template <typename Op>
TColor32 PerChannel(TColor32 C1, TColor32 C2, Op op) {
  TColor32 r = 0;
  for (int n = 0; n < 4; ++n) r |= (op(Channel(C1, n), Channel(C2, n)) & 0xFFu) << (8 * n);
  return r;
}

// Applies op to the red, green and blue channels; alpha comes from `alpha`.
template <typename Op>
TColor32 PerColorChannel(TColor32 C1, TColor32 C2, std::uint32_t alpha, Op op) {
  TColor32 r = alpha << 24;
  for (int n = 0; n < 3; ++n) r |= (op(Channel(C1, n), Channel(C2, n)) & 0xFFu) << (8 * n);
  return r;
}

// ---------------------------------------------------------------------------
// Portable (table) variants.

void Nothing() {}

TColor32 MergeColor_Portable(TColor32 F, TColor32 B) {
  const std::uint32_t fa = AlphaOf(F), ba = AlphaOf(B);
  if (fa == 255) return F;
  if (fa == 0) return B;
  if (ba == 0) return F;
  const std::uint32_t ra = 255 - Mul(255 - fa, 255 - ba);
  const std::uint32_t w = Div(ra, fa);
  return PerColorChannel(F, B, ra, [w](std::uint32_t f, std::uint32_t b) { return Mul(w, f) + Mul(255 - w, b); });
}

void MergeColorInto_Portable(TColor32 F, TColor32& B) { B = MergeColor(F, B); }

void MergeRow_Portable(const TColor32* Src, TColor32* Dst, int Count) {
  for (int i = 0; i < Count; ++i) Dst[i] = MergeColor(Src[i], Dst[i]);
}

// F with its alpha scaled by the master alpha M.
TColor32 WithMasterAlpha(TColor32 F, int M) {
  return (F & 0x00FFFFFF) | (Mul(ClampWeight(M), AlphaOf(F)) << 24);
}

TColor32 MergeColorMasked_Portable(TColor32 F, TColor32 B, int M) { return MergeColor(WithMasterAlpha(F, M), B); }

void MergeColorIntoMasked_Portable(TColor32 F, TColor32& B, int M) { B = MergeColor(WithMasterAlpha(F, M), B); }

void MergeRowMasked_Portable(const TColor32* Src, TColor32* Dst, int Count, int M) {
  for (int i = 0; i < Count; ++i) Dst[i] = MergeColor(WithMasterAlpha(Src[i], M), Dst[i]);
}

// Colour channels Mul[w][x] + Mul[255 - w][y], with the given alpha.
TColor32 TableLerp(TColor32 X, TColor32 Y, std::uint32_t w, std::uint32_t alpha) {
  return PerColorChannel(X, Y, alpha, [w](std::uint32_t x, std::uint32_t y) { return Mul(w, x) + Mul(255 - w, y); });
}

TColor32 CombineColor_Portable(TColor32 X, TColor32 Y, int W) {
  W = ClampWeight(W);
  if (W == 0) return Y;
  if (W == 255) return X;
  return TableLerp(X, Y, W, AlphaOf(X));
}

void CombineColorInto_Portable(TColor32 X, TColor32& Y, int W) { Y = CombineColor_Portable(X, Y, W); }

void CombineRow_Portable(const TColor32* Src, TColor32* Dst, int Count, int W) {
  for (int i = 0; i < Count; ++i) CombineColorInto(Src[i], Dst[i], W);
}

TColor32 BlendColor_Portable(TColor32 F, TColor32 B) {
  const std::uint32_t fa = AlphaOf(F);
  if (fa == 0) return B;
  if (fa == 255) return F;
  return TableLerp(F, B, fa, AlphaOf(B));
}

void BlendColorInto_Portable(TColor32 F, TColor32& B) {
  const std::uint32_t fa = AlphaOf(F);
  if (fa == 0) return;
  B = fa == 255 ? F : TableLerp(F, B, fa, AlphaOf(B));
}

void BlendColorOverRun_Portable(TColor32 F, TColor32* Dst, int Count) {
  for (int i = 0; i < Count; ++i) BlendColorInto(F, Dst[i]);
}

void BlendRow_Portable(const TColor32* Src, TColor32* Dst, int Count) {
  for (int i = 0; i < Count; ++i) BlendColorInto(Src[i], Dst[i]);
}

TColor32 BlendColorMasked_Portable(TColor32 F, TColor32 B, int M) {
  const std::uint32_t c = Mul(ClampWeight(M), AlphaOf(F));
  if (c == 0) return B;
  if (c == 255) return F;
  return TableLerp(F, B, c, AlphaOf(B));
}

void BlendColorIntoMasked_Portable(TColor32 F, TColor32& B, int M) { B = BlendColorMasked_Portable(F, B, M); }

void BlendRowMasked_Portable(const TColor32* Src, TColor32* Dst, int Count, int M) {
  for (int i = 0; i < Count; ++i) BlendColorIntoMasked(Src[i], Dst[i], M);
}

TColor32 MaxColors_Portable(TColor32 C1, TColor32 C2) {
  return PerChannel(C1, C2, [](std::uint32_t a, std::uint32_t b) { return std::max(a, b); });
}

TColor32 MinColors_Portable(TColor32 C1, TColor32 C2) {
  return PerChannel(C1, C2, [](std::uint32_t a, std::uint32_t b) { return std::min(a, b); });
}

TColor32 AverageColors_Portable(TColor32 C1, TColor32 C2) {
  return (((C1 ^ C2) >> 1) & 0x7F7F7F7Fu) + (C1 & C2);
}

TColor32 AddColors_Portable(TColor32 C1, TColor32 C2) {
  return PerChannel(C1, C2, [](std::uint32_t a, std::uint32_t b) { return std::min(255u, a + b); });
}

TColor32 SubtractColors_Portable(TColor32 C1, TColor32 C2) {
  return PerChannel(C1, C2, [](std::uint32_t a, std::uint32_t b) { return a > b ? a - b : 0u; });
}

TColor32 DivideColors_Portable(TColor32 C1, TColor32 C2) {
  // A zero channel in C1 gives 255 rather than a division by zero.
  return PerChannel(C1, C2, [](std::uint32_t a, std::uint32_t b) { return a == 0 ? 255u : std::min(255u, (b * 256) / a); });
}

TColor32 ModulateColors_Portable(TColor32 C1, TColor32 C2) {
  return PerChannel(C1, C2, [](std::uint32_t a, std::uint32_t b) { return (a * b) >> 8; });
}

TColor32 DifferenceColors_Portable(TColor32 C1, TColor32 C2) {
  return PerChannel(C1, C2, [](std::uint32_t a, std::uint32_t b) { return a > b ? a - b : b - a; });
}

TColor32 ExcludeColors_Portable(TColor32 C1, TColor32 C2) {
  // Never negative and never above 255 for bytes: the minimum is 2 (both 255).
  return PerChannel(C1, C2, [](std::uint32_t a, std::uint32_t b) { return a + b - ((a * b) >> 7); });
}

TColor32 LightenColor_Portable(TColor32 C, int Amount) {
  // Beyond +-255 every channel saturates anyway; limiting Amount first keeps
  // the sum inside int for any argument.
  Amount = std::clamp(Amount, -255, 255);
  TColor32 r = C & 0xFF000000u;
  for (int n = 0; n < 3; ++n) r |= std::uint32_t(std::clamp<int>(int(Channel(C, n)) + Amount, 0, 255)) << (8 * n);
  return r;
}

// b + (f - b) * w / 255, the division truncating toward zero.
std::uint32_t PerChannelLerp(std::uint32_t f, std::uint32_t b, std::uint32_t w) {
  return std::uint32_t(int(b) + (int(f) - int(b)) * int(w) / 255);
}

TColor32 BlendColorPerChannel_Portable(TColor32 F, TColor32 B, TColor32 Weights) {
  // Red with byte 0, green with byte 1, blue with byte 2 of Weights.
  return Pack(AlphaOf(B), PerChannelLerp(Channel(F, 2), Channel(B, 2), Channel(Weights, 0)),
              PerChannelLerp(Channel(F, 1), Channel(B, 1), Channel(Weights, 1)),
              PerChannelLerp(Channel(F, 0), Channel(B, 0), Channel(Weights, 2)));
}

void BlendColorPerChannelInto_Portable(TColor32 F, TColor32& B, TColor32 Weights) {
  B = BlendColorPerChannel_Portable(F, B, Weights);
}

// ---------------------------------------------------------------------------
// Integer variants: no tables, two channels per 32-bit multiply.

// S(c, w) = (c * w + 128) >> 8 on all four channels.
TColor32 ScaleChannels(TColor32 c, std::uint32_t w) {
  const std::uint32_t rb = (((c & 0x00FF00FFu) * w + 0x00800080u) >> 8) & 0x00FF00FFu;
  const std::uint32_t ag = ((((c >> 8) & 0x00FF00FFu) * w + 0x00800080u)) & 0xFF00FF00u;
  return rb | ag;
}

// S(x, w) + S(y, 255 - w) on all four channels; no channel exceeds 255.
TColor32 IntegerLerp(TColor32 X, TColor32 Y, std::uint32_t w) { return ScaleChannels(X, w) + ScaleChannels(Y, 255 - w); }

TColor32 MergeColor_Int(TColor32 F, TColor32 B) {
  const std::uint32_t fa = AlphaOf(F), ba = AlphaOf(B);
  if (fa == 0) return B;
  // An opaque foreground covers whatever lies below. Tested before the
  // opaque-background case, which goes through the bound BlendColor: its
  // vector form turns 255 into 254, and opaque over opaque must stay exact.
  if (fa == 255) return F;
  if (ba == 255) return BlendColor(F, B) | 0xFF000000u;
  if (ba == 0) return F;
  const std::uint32_t ra = (fa + ba - Mul(ba, fa)) & 0xFF;
  return PerColorChannel(F, B, ra, [fa, ba, ra](std::uint32_t f, std::uint32_t b) {
    const std::uint32_t p = Mul(ba, b);  // the background channel weighted by its alpha
    const std::uint32_t x = f >= p ? p + Mul(fa, f - p) : p - Mul(fa, p - f);
    return Div(ra, x);
  });
}

TColor32 CombineColor_Int(TColor32 X, TColor32 Y, int W) {
  W = ClampWeight(W);
  if (W == 0) return Y;
  if (W == 255) return X;
  return IntegerLerp(X, Y, W);
}

void CombineColorInto_Int(TColor32 X, TColor32& Y, int W) {
  W = ClampWeight(W);
  if (W == 0) return;
  Y = W == 255 ? X : IntegerLerp(X, Y, W);
}

TColor32 BlendColor_Int(TColor32 F, TColor32 B) {
  const std::uint32_t fa = AlphaOf(F);
  if (fa == 0) return B;
  if (fa == 255) return F;
  return IntegerLerp(F, B, fa);
}

void BlendColorInto_Int(TColor32 F, TColor32& B) {
  const std::uint32_t fa = AlphaOf(F);
  if (fa == 0) return;
  B = fa == 255 ? F : IntegerLerp(F, B, fa);
}

void BlendColorOverRun_Int(TColor32 F, TColor32* Dst, int Count) {
  for (int i = 0; i < Count; ++i) BlendColorInto_Int(F, Dst[i]);
}

void BlendRow_Int(const TColor32* Src, TColor32* Dst, int Count) {
  for (int i = 0; i < Count; ++i) BlendColorInto_Int(Src[i], Dst[i]);
}

// The masked integer forms blend the colour channels only and leave alpha
// 0. They are bound only on processors without MMX.
TColor32 BlendColorMasked_Int(TColor32 F, TColor32 B, int M) {
  const std::uint32_t fa = AlphaOf(F);
  if (fa == 0) return B;
  const std::uint32_t w = ((ClampWeight(M) + 1) * fa) >> 8;
  if (w == 0) return B;
  return IntegerLerp(F, B, w) & 0x00FFFFFFu;
}

void BlendColorIntoMasked_Int(TColor32 F, TColor32& B, int M) { B = BlendColorMasked_Int(F, B, M); }

}  // namespace

TColor32 ScaleColor_Portable(TColor32 C, int W) {
  const std::uint64_t w = std::uint64_t(std::max(W, 0));
  return PerChannel(C, C, [w](std::uint32_t c, std::uint32_t) {
    return std::uint32_t(std::min<std::uint64_t>(255, (c * w) >> 8));
  });
}

}  // namespace variants

// ---------------------------------------------------------------------------
// Start-up.

namespace {

Raster_System::TUnitInitCounter gUnitCounter;

void RegisterBindingVariables(Raster_Bindings::TFunctionRegistry& r) {
  r.RegisterBinding(FID_ClearMMXState, &ClearMMXState);
  r.RegisterBinding(FID_MergeColor, &MergeColor);
  r.RegisterBinding(FID_MergeColorInto, &MergeColorInto);
  r.RegisterBinding(FID_MergeRow, &MergeRow);
  r.RegisterBinding(FID_MergeColorMasked, &MergeColorMasked);
  r.RegisterBinding(FID_MergeColorIntoMasked, &MergeColorIntoMasked);
  r.RegisterBinding(FID_MergeRowMasked, &MergeRowMasked);
  r.RegisterBinding(FID_CombineColor, &CombineColor);
  r.RegisterBinding(FID_CombineColorInto, &CombineColorInto);
  r.RegisterBinding(FID_CombineRow, &CombineRow);
  r.RegisterBinding(FID_BlendColor, &BlendColor);
  r.RegisterBinding(FID_BlendColorInto, &BlendColorInto);
  r.RegisterBinding(FID_BlendColorOverRun, &BlendColorOverRun);
  r.RegisterBinding(FID_BlendRow, &BlendRow);
  r.RegisterBinding(FID_BlendColorMasked, &BlendColorMasked);
  r.RegisterBinding(FID_BlendColorIntoMasked, &BlendColorIntoMasked);
  r.RegisterBinding(FID_BlendRowMasked, &BlendRowMasked);
  r.RegisterBinding(FID_MaxColors, &MaxColors);
  r.RegisterBinding(FID_MinColors, &MinColors);
  r.RegisterBinding(FID_AverageColors, &AverageColors);
  r.RegisterBinding(FID_AddColors, &AddColors);
  r.RegisterBinding(FID_SubtractColors, &SubtractColors);
  r.RegisterBinding(FID_DivideColors, &DivideColors);
  r.RegisterBinding(FID_ModulateColors, &ModulateColors);
  r.RegisterBinding(FID_DifferenceColors, &DifferenceColors);
  r.RegisterBinding(FID_ExcludeColors, &ExcludeColors);
  r.RegisterBinding(FID_ScaleColor, &ScaleColor);
  r.RegisterBinding(FID_LightenColor, &LightenColor);
  r.RegisterBinding(FID_BlendColorPerChannel, &BlendColorPerChannel);
  r.RegisterBinding(FID_BlendColorPerChannelInto, &BlendColorPerChannelInto);
}

// Portable variants first: every id has one, needing nothing.
void RegisterPortable(Raster_Bindings::TFunctionRegistry& r) {
  using namespace variants;
  r.Add(FID_ClearMMXState, Nothing);
  r.Add(FID_MergeColor, MergeColor_Portable);
  r.Add(FID_MergeColorInto, MergeColorInto_Portable);
  r.Add(FID_MergeRow, MergeRow_Portable);
  r.Add(FID_MergeColorMasked, MergeColorMasked_Portable);
  r.Add(FID_MergeColorIntoMasked, MergeColorIntoMasked_Portable);
  r.Add(FID_MergeRowMasked, MergeRowMasked_Portable);
  r.Add(FID_CombineColor, CombineColor_Portable);
  r.Add(FID_CombineColorInto, CombineColorInto_Portable);
  r.Add(FID_CombineRow, CombineRow_Portable);
  r.Add(FID_BlendColor, BlendColor_Portable);
  r.Add(FID_BlendColorInto, BlendColorInto_Portable);
  r.Add(FID_BlendColorOverRun, BlendColorOverRun_Portable);
  r.Add(FID_BlendRow, BlendRow_Portable);
  r.Add(FID_BlendColorMasked, BlendColorMasked_Portable);
  r.Add(FID_BlendColorIntoMasked, BlendColorIntoMasked_Portable);
  r.Add(FID_BlendRowMasked, BlendRowMasked_Portable);
  r.Add(FID_MaxColors, MaxColors_Portable);
  r.Add(FID_MinColors, MinColors_Portable);
  r.Add(FID_AverageColors, AverageColors_Portable);
  r.Add(FID_AddColors, AddColors_Portable);
  r.Add(FID_SubtractColors, SubtractColors_Portable);
  r.Add(FID_DivideColors, DivideColors_Portable);
  r.Add(FID_ModulateColors, ModulateColors_Portable);
  r.Add(FID_DifferenceColors, DifferenceColors_Portable);
  r.Add(FID_ExcludeColors, ExcludeColors_Portable);
  r.Add(FID_ScaleColor, ScaleColor_Portable);
  r.Add(FID_LightenColor, LightenColor_Portable);
  r.Add(FID_BlendColorPerChannel, BlendColorPerChannel_Portable);
  r.Add(FID_BlendColorPerChannelInto, BlendColorPerChannelInto_Portable);
}

// Then the integer variants, which need no extension and beat the tables.
// MergeColor's is registered last of all (RegisterMergeOverride).
void RegisterInteger(Raster_Bindings::TFunctionRegistry& r) {
  using namespace variants;
  r.Add(FID_ClearMMXState, Nothing);
  r.Add(FID_CombineColor, CombineColor_Int);
  r.Add(FID_CombineColorInto, CombineColorInto_Int);
  r.Add(FID_BlendColor, BlendColor_Int);
  r.Add(FID_BlendColorInto, BlendColorInto_Int);
  r.Add(FID_BlendColorOverRun, BlendColorOverRun_Int);
  r.Add(FID_BlendRow, BlendRow_Int);
  r.Add(FID_BlendColorMasked, BlendColorMasked_Int);
  r.Add(FID_BlendColorIntoMasked, BlendColorIntoMasked_Int);
  r.Add(FID_LightenColor, LightenColor_Portable);  // the portable routine once more
}

#if defined(__x86_64__)
// MMX-class variants (see Raster_BlendVariants.h for how they are written).
void RegisterMMX(Raster_Bindings::TFunctionRegistry& r) {
  using namespace variants;
  r.Add(FID_ClearMMXState, ClearMMXState_MMX, {ciMMX});
  r.Add(FID_CombineColor, CombineColor_Vec, {ciMMX});
  r.Add(FID_CombineColorInto, CombineColorInto_Vec, {ciMMX});
  r.Add(FID_CombineRow, CombineRow_Vec, {ciMMX});
  r.Add(FID_BlendColor, BlendColor_Vec, {ciMMX});
  r.Add(FID_BlendColorInto, BlendColorInto_Vec, {ciMMX});
  r.Add(FID_BlendRow, BlendRow_MMX, {ciMMX});
  r.Add(FID_BlendColorMasked, BlendColorMasked_Vec, {ciMMX});
  r.Add(FID_BlendColorIntoMasked, BlendColorIntoMasked_Vec, {ciMMX});
  r.Add(FID_BlendRowMasked, BlendRowMasked_Vec, {ciMMX});
  r.Add(FID_MaxColors, MaxColors_Vec, {ciEMMX});
  r.Add(FID_MinColors, MinColors_Vec, {ciEMMX});
  r.Add(FID_AddColors, AddColors_Vec, {ciMMX});
  r.Add(FID_SubtractColors, SubtractColors_Vec, {ciMMX});
  r.Add(FID_ModulateColors, ModulateColors_Vec, {ciMMX});
  r.Add(FID_DifferenceColors, DifferenceColors_Vec, {ciMMX});
  r.Add(FID_ExcludeColors, ExcludeColors_Vec, {ciMMX});
  r.Add(FID_ScaleColor, ScaleColor_Vec, {ciMMX});
  r.Add(FID_LightenColor, LightenColor_Vec, {ciMMX});
  r.Add(FID_LightenColor, LightenColor_Vec, {ciSSE});  // the SSE-register form
  r.Add(FID_BlendColorPerChannel, BlendColorPerChannel_Vec, {ciMMX});
  r.Add(FID_BlendColorPerChannelInto, BlendColorPerChannelInto_Vec, {ciMMX});
}

// SSE2 variants: most compute exactly what the MMX-class form computes and
// are the same routine registered at this level; ids 0, 12 and 13 differ.
void RegisterSSE2(Raster_Bindings::TFunctionRegistry& r) {
  using namespace variants;
  r.Add(FID_ClearMMXState, ClearMMXState_SSE2, {ciSSE2});
  r.Add(FID_CombineColor, CombineColor_Vec, {ciSSE2});
  r.Add(FID_CombineColorInto, CombineColorInto_Vec, {ciSSE2});
  r.Add(FID_CombineRow, CombineRow_Vec, {ciSSE2});
  r.Add(FID_BlendColor, BlendColor_Vec, {ciSSE2});
  r.Add(FID_BlendColorInto, BlendColorInto_Vec, {ciSSE2});
  r.Add(FID_BlendColorOverRun, BlendColorOverRun_SSE2, {ciSSE2});
  r.Add(FID_BlendRow, BlendRow_SSE2, {ciSSE2});
  r.Add(FID_BlendColorMasked, BlendColorMasked_Vec, {ciSSE2});
  r.Add(FID_BlendColorIntoMasked, BlendColorIntoMasked_Vec, {ciSSE2});
  r.Add(FID_BlendRowMasked, BlendRowMasked_Vec, {ciSSE2});
  r.Add(FID_MaxColors, MaxColors_Vec, {ciSSE2});
  r.Add(FID_MinColors, MinColors_Vec, {ciSSE2});
  r.Add(FID_AddColors, AddColors_Vec, {ciSSE2});
  r.Add(FID_SubtractColors, SubtractColors_Vec, {ciSSE2});
  r.Add(FID_ModulateColors, ModulateColors_Vec, {ciSSE2});
  r.Add(FID_DifferenceColors, DifferenceColors_Vec, {ciSSE2});
  r.Add(FID_ExcludeColors, ExcludeColors_Vec, {ciSSE2});
  r.Add(FID_ScaleColor, ScaleColor_Vec, {ciSSE2});
  r.Add(FID_BlendColorPerChannel, BlendColorPerChannel_Vec, {ciSSE2});
  r.Add(FID_BlendColorPerChannelInto, BlendColorPerChannelInto_Vec, {ciSSE2});
}
#endif

// The integer MergeColor, registered after every other variant of its id,
// is bound on every processor.
void RegisterMergeOverride(Raster_Bindings::TFunctionRegistry& r) { r.Add(FID_MergeColor, variants::MergeColor_Int); }

void RegisterBlendBindings() {
  BlendRegistry = Raster_Bindings::CreateFunctionRegistry("Raster_Blend bindings");
  RegisterBindingVariables(*BlendRegistry);
  RegisterPortable(*BlendRegistry);
  RegisterInteger(*BlendRegistry);
#if defined(__x86_64__)
  RegisterMMX(*BlendRegistry);
  RegisterSSE2(*BlendRegistry);
#endif
  RegisterMergeOverride(*BlendRegistry);
  BlendRegistry->RebindAll();
}

// Round(x) with ties to even, for the non-negative n / d of the tables.
std::uint32_t RoundQuotient(std::uint32_t n, std::uint32_t d) {
  std::uint32_t q = n / d;
  const std::uint32_t r2 = 2 * (n % d);
  if (r2 > d || (r2 == d && (q & 1))) ++q;
  return q;
}

void InitBlendTables() {
  for (std::uint32_t j = 0; j < 256; ++j)
    for (std::uint32_t i = 0; i < 256; ++i) {
      // i * j / 255 is never an exact half, so the rounding mode of the
      // product table does not matter; the quotient table has 286 ties with
      // i <= j, which round to even (Div[6][1] = 42).
      ProductTable[j][i] = j == 0 ? 0 : std::uint8_t(RoundQuotient(i * j, 255));
      QuotientTable[j][i] = j == 0 ? 0 : std::uint8_t(RoundQuotient(i * 255, j) & 0xFF);
    }
}

void InitAlphaTable() {
  for (int i = 0; i < 256; ++i)
    for (int k = 0; k < 8; ++k) AlphaWordTable[i][k] = std::uint16_t(i);
  RoundingBias = AlphaWordTable[128];
}

}  // namespace

void Startup() {
  if (!gUnitCounter.Enter()) return;
  RegisterBlendBindings();
  InitBlendTables();
  const auto features = Raster_System::CPUFeatureMask();
  HasMMX = features.Contains(ciMMX);
  if (features.Contains(ciMMX) || features.Contains(ciSSE2)) InitAlphaTable();
}

void Shutdown() {
  // The alpha table is static storage and stays valid; the registry is freed
  // by Raster_Bindings, which shuts down after this module.
  if (gUnitCounter.Leave()) BlendRegistry = nullptr;
}

}  // namespace velkor::Raster_Blend
