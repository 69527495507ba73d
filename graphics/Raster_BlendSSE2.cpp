// The vector variants of Raster_Blend, in SSE2 intrinsics. Colours are
// widened to 16-bit lanes (one pixel = four lanes: blue, green, red, alpha);
// single-pixel forms use the low 64 bits of a register, row forms four
// pixels per step. Every row form computes, per pixel, exactly what its
// single-pixel rule says; the width of a step never changes a result.
#if defined(__x86_64__)

#include <emmintrin.h>
#include <mmintrin.h>

#include <algorithm>

#include "graphics/Raster_BlendVariants.h"
#include "graphics/Raster_LowLevel.h"

namespace velkor::Raster_Blend::variants {

namespace {

// The helpers below are a few instructions each; a call per pixel block
// would cost more than their work, so they are always inlined.

[[gnu::always_inline]] inline __m128i Widen(TColor32 c) { return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(c)), _mm_setzero_si128()); }
[[gnu::always_inline]] inline TColor32 NarrowOne(__m128i w) { return TColor32(_mm_cvtsi128_si32(_mm_packus_epi16(w, w))); }

[[gnu::always_inline]] inline __m128i Load4(const TColor32* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
[[gnu::always_inline]] inline void Store4(TColor32* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
[[gnu::always_inline]] inline __m128i LowWords(__m128i px) { return _mm_unpacklo_epi8(px, _mm_setzero_si128()); }
[[gnu::always_inline]] inline __m128i HighWords(__m128i px) { return _mm_unpackhi_epi8(px, _mm_setzero_si128()); }

// Eight lanes of w, from the alpha word table (w is 0..255).
[[gnu::always_inline]] inline __m128i WeightWords(int w) { return _mm_load_si128(reinterpret_cast<const __m128i*>(AlphaWordTable[w])); }
[[gnu::always_inline]] inline __m128i Bias() { return _mm_load_si128(reinterpret_cast<const __m128i*>(RoundingBias)); }

// Each pixel's alpha word copied into its four lanes.
[[gnu::always_inline]] inline __m128i AlphaWords(__m128i words) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(words, 0xFF), 0xFF); }

// V(f, b, w) = ((f - b) * w + b * 256 + 128) >> 8 per lane. The signed
// product wraps in 16 bits, but the true sum, f * w + b * (256 - w) + 128,
// is at most 65408: it fits an unsigned lane, so the LOGICAL shift is exact.
[[gnu::always_inline]] inline __m128i Lerp(__m128i f, __m128i b, __m128i w, __m128i bias) {
  __m128i t = _mm_mullo_epi16(_mm_sub_epi16(f, b), w);
  t = _mm_add_epi16(t, _mm_slli_epi16(b, 8));
  return _mm_srli_epi16(_mm_add_epi16(t, bias), 8);
}

[[gnu::always_inline]] inline TColor32 LerpOne(TColor32 F, TColor32 B, int w) { return NarrowOne(Lerp(Widen(F), Widen(B), WeightWords(w), Bias())); }

// Four pixels of V with per-lane weights given per pixel by `weights`
// (a function of the source's words).
template <typename WeightOf>
[[gnu::always_inline]] inline __m128i Lerp4(__m128i s, __m128i d, __m128i bias, WeightOf weightOf) {
  const __m128i slo = LowWords(s), shi = HighWords(s);
  const __m128i lo = Lerp(slo, LowWords(d), weightOf(slo), bias);
  const __m128i hi = Lerp(shi, HighWords(d), weightOf(shi), bias);
  return _mm_packus_epi16(lo, hi);
}

// Masks of the pixels whose alpha is 0 / 255.
[[gnu::always_inline]] inline __m128i AlphaIs(__m128i px, int a) {
  return _mm_cmpeq_epi32(_mm_srli_epi32(px, 24), _mm_set1_epi32(a));
}

}  // namespace

void ClearMMXState_MMX() { _mm_empty(); }
void ClearMMXState_SSE2() {}

// ---- combine: weight W for X ----

TColor32 CombineColor_Vec(TColor32 X, TColor32 Y, int W) { return LerpOne(X, Y, ClampWeight(W)); }

void CombineColorInto_Vec(TColor32 X, TColor32& Y, int W) {
  W = ClampWeight(W);
  if (W == 0) return;
  Y = W == 255 ? X : LerpOne(X, Y, W);
}

void CombineRow_Vec(const TColor32* Src, TColor32* Dst, int Count, int W) {
  W = ClampWeight(W);
  if (Count <= 0 || W == 0) return;
  if (W == 255) {
    Raster_LowLevel::MoveLongwords(Src, Dst, Count);  // overlap-safe
    return;
  }
  const __m128i w = WeightWords(W), bias = Bias();
  int i = 0;
  for (; i + 4 <= Count; i += 4)
    Store4(Dst + i, Lerp4(Load4(Src + i), Load4(Dst + i), bias, [w](__m128i) { return w; }));
  for (; i < Count; ++i) Dst[i] = LerpOne(Src[i], Dst[i], W);
}

// ---- blend: F's alpha as the weight ----

TColor32 BlendColor_Vec(TColor32 F, TColor32 B) { return LerpOne(F, B, int(AlphaOf(F))); }

void BlendColorInto_Vec(TColor32 F, TColor32& B) {
  const int fa = int(AlphaOf(F));
  if (fa == 0) return;
  B = fa == 255 ? F : LerpOne(F, B, fa);
}

void BlendColorOverRun_SSE2(TColor32 F, TColor32* Dst, int Count) {
  const int fa = int(AlphaOf(F));
  if (Count <= 0 || fa == 0) return;
  if (fa == 255) {
    std::fill_n(Dst, Count, F);
    return;
  }
  // V with a constant foreground: (b * (256 - w) + (f * w + 128)) >> 8.
  const __m128i f = _mm_unpacklo_epi64(Widen(F), Widen(F));
  const __m128i fw = _mm_add_epi16(_mm_mullo_epi16(f, WeightWords(fa)), Bias());
  const __m128i iw = _mm_set1_epi16(short(256 - fa));
  auto blend = [&](__m128i b) { return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(b, iw), fw), 8); };
  int i = 0;
  for (; i + 4 <= Count; i += 4) {
    const __m128i d = Load4(Dst + i);
    Store4(Dst + i, _mm_packus_epi16(blend(LowWords(d)), blend(HighWords(d))));
  }
  for (; i < Count; ++i) Dst[i] = NarrowOne(blend(Widen(Dst[i])));
}

// Per pixel: alpha 0 leaves the destination, 255 copies, else V.
void BlendRow_MMX(const TColor32* Src, TColor32* Dst, int Count) {
  const __m128i bias = Bias();
  int i = 0;
  for (; i + 4 <= Count; i += 4) {
    const __m128i s = Load4(Src + i);
    const __m128i opaque = AlphaIs(s, 255);
    if (_mm_movemask_epi8(AlphaIs(s, 0)) == 0xFFFF) continue;
    if (_mm_movemask_epi8(opaque) == 0xFFFF) {
      Store4(Dst + i, s);
      continue;
    }
    // V with weight 0 reproduces the destination, so only 255 needs a pick.
    const __m128i v = Lerp4(s, Load4(Dst + i), bias, AlphaWords);
    Store4(Dst + i, _mm_or_si128(_mm_and_si128(opaque, s), _mm_andnot_si128(opaque, v)));
  }
  for (; i < Count; ++i) BlendColorInto_Vec(Src[i], Dst[i]);
}

namespace {

// S(f, Fa) + b - S(b, Fa) per colour lane, Fa + Ba - S(Ba, Fa) in the alpha
// lane (S(Fa, 256) = Fa). The sum reaches 256 only for alpha, when both
// alphas are 255; the pack saturates it to 255.
[[gnu::always_inline]] inline __m128i BlendRowWords(__m128i f, __m128i b, __m128i bias) {
  const __m128i a = AlphaWords(f);
  const __m128i colourLanes = _mm_setr_epi16(-1, -1, -1, 0, -1, -1, -1, 0);
  const __m128i alphaLane256 = _mm_setr_epi16(0, 0, 0, 256, 0, 0, 0, 256);
  const __m128i wf = _mm_or_si128(_mm_and_si128(a, colourLanes), alphaLane256);
  const __m128i sf = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(f, wf), bias), 8);
  const __m128i sb = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(b, a), bias), 8);
  return _mm_sub_epi16(_mm_add_epi16(sf, b), sb);
}

}  // namespace

namespace {
[[gnu::always_inline]] inline __m128i BlendRow4(__m128i s, __m128i d, __m128i bias) {
  const __m128i lo = BlendRowWords(LowWords(s), LowWords(d), bias);
  const __m128i hi = BlendRowWords(HighWords(s), HighWords(d), bias);
  return _mm_packus_epi16(lo, hi);
}
}  // namespace

void BlendRow_SSE2(const TColor32* Src, TColor32* Dst, int Count) {
  const __m128i bias = Bias();
  int i = 0;
  // Eight pixels per step: both blocks are loaded before either is stored,
  // which lets the two computations overlap.
  for (; i + 8 <= Count; i += 8) {
    const __m128i s0 = Load4(Src + i), s1 = Load4(Src + i + 4);
    // Alpha 0 gives back the destination exactly under this formula, so a
    // fully transparent block is skipped without changing any result.
    if (_mm_movemask_epi8(AlphaIs(_mm_or_si128(s0, s1), 0)) == 0xFFFF) continue;
    const __m128i d0 = Load4(Dst + i), d1 = Load4(Dst + i + 4);
    const __m128i r0 = BlendRow4(s0, d0, bias), r1 = BlendRow4(s1, d1, bias);
    Store4(Dst + i, r0);
    Store4(Dst + i + 4, r1);
  }
  for (; i + 4 <= Count; i += 4) Store4(Dst + i, BlendRow4(Load4(Src + i), Load4(Dst + i), bias));
  for (; i < Count; ++i) Dst[i] = NarrowOne(BlendRowWords(Widen(Src[i]), Widen(Dst[i]), bias));
}

// ---- masked blend: weight W = ((M + 1) * Fa) >> 8 ----

TColor32 BlendColorMasked_Vec(TColor32 F, TColor32 B, int M) {
  const std::uint32_t fa = AlphaOf(F);
  if (fa == 0) return B;
  const int w = int(((ClampWeight(M) + 1) * fa) >> 8);
  return w == 0 ? B : LerpOne(F, B, w);
}

void BlendColorIntoMasked_Vec(TColor32 F, TColor32& B, int M) { B = BlendColorMasked_Vec(F, B, M); }

// The same weight as the single-pixel form. (A row form weighting by
// ((Fa + 1) * M) >> 8 would disagree with it for a third of all pairs.)
void BlendRowMasked_Vec(const TColor32* Src, TColor32* Dst, int Count, int M) {
  M = ClampWeight(M);
  if (Count <= 0 || M == 0) return;
  const __m128i m1 = _mm_set1_epi16(short(M + 1)), bias = Bias();
  // (M + 1) * Fa <= 65280 fits an unsigned lane; weight 0 reproduces the
  // destination, so transparent pixels need no skip.
  auto weightOf = [m1](__m128i words) { return _mm_srli_epi16(_mm_mullo_epi16(AlphaWords(words), m1), 8); };
  int i = 0;
  for (; i + 4 <= Count; i += 4) {
    const __m128i s = Load4(Src + i);
    if (_mm_movemask_epi8(AlphaIs(s, 0)) == 0xFFFF) continue;
    Store4(Dst + i, Lerp4(s, Load4(Dst + i), bias, weightOf));
  }
  for (; i < Count; ++i) BlendColorIntoMasked_Vec(Src[i], Dst[i], M);
}

// ---- colour arithmetic ----

namespace {
[[gnu::always_inline]] inline __m128i Px(TColor32 c) { return _mm_cvtsi32_si128(int(c)); }
[[gnu::always_inline]] inline TColor32 Out(__m128i v) { return TColor32(_mm_cvtsi128_si32(v)); }
}  // namespace

TColor32 MaxColors_Vec(TColor32 C1, TColor32 C2) { return Out(_mm_max_epu8(Px(C1), Px(C2))); }
TColor32 MinColors_Vec(TColor32 C1, TColor32 C2) { return Out(_mm_min_epu8(Px(C1), Px(C2))); }
TColor32 AddColors_Vec(TColor32 C1, TColor32 C2) { return Out(_mm_adds_epu8(Px(C1), Px(C2))); }
TColor32 SubtractColors_Vec(TColor32 C1, TColor32 C2) { return Out(_mm_subs_epu8(Px(C1), Px(C2))); }

TColor32 ModulateColors_Vec(TColor32 C1, TColor32 C2) {
  return NarrowOne(_mm_srli_epi16(_mm_mullo_epi16(Widen(C1), Widen(C2)), 8));
}

TColor32 DifferenceColors_Vec(TColor32 C1, TColor32 C2) {
  const __m128i a = Px(C1), b = Px(C2);
  return Out(_mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a)));
}

TColor32 ExcludeColors_Vec(TColor32 C1, TColor32 C2) {
  const __m128i a = Widen(C1), b = Widen(C2);
  const __m128i prod = _mm_srli_epi16(_mm_mullo_epi16(a, b), 7);
  return NarrowOne(_mm_subs_epu16(_mm_add_epi16(a, b), prod));  // saturated at 0
}

TColor32 ScaleColor_Vec(TColor32 C, int W) {
  if (W > 255) return ScaleColor_Portable(C, W);  // beyond the word table: scale up
  return NarrowOne(_mm_srli_epi16(_mm_mullo_epi16(Widen(C), WeightWords(ClampWeight(W))), 8));
}

TColor32 LightenColor_Vec(TColor32 C, int Amount) {
  // Amount x $010101 in the colour bytes, alpha byte 0; beyond +-255 the
  // saturation is already complete.
  const int a = std::clamp(Amount, -255, 255);
  const __m128i delta = _mm_cvtsi32_si128((a >= 0 ? a : -a) * 0x010101);
  return Out(a >= 0 ? _mm_adds_epu8(Px(C), delta) : _mm_subs_epu8(Px(C), delta));
}

// b + (f - b) * w / 255 truncated toward zero, as the portable form: the
// positive and negative differences are scaled separately (|f - b| * w fits
// an unsigned lane) and divided by 255 with the exact multiply-high
// p / 255 = (p * $8081) >> 23 for every p below 65536. The alpha lane has
// weight 0, so alpha stays B's.
TColor32 BlendColorPerChannel_Vec(TColor32 F, TColor32 B, TColor32 Weights) {
  const __m128i w = _mm_setr_epi16(short((Weights >> 16) & 0xFF), short((Weights >> 8) & 0xFF),
                                   short(Weights & 0xFF), 0, 0, 0, 0, 0);
  const __m128i f = Px(F), b = Px(B);
  const __m128i zero = _mm_setzero_si128(), magic = _mm_set1_epi16(short(0x8081));
  auto scaled = [&](__m128i diff) {
    const __m128i p = _mm_mullo_epi16(_mm_unpacklo_epi8(diff, zero), w);
    return _mm_srli_epi16(_mm_mulhi_epu16(p, magic), 7);
  };
  const __m128i up = scaled(_mm_subs_epu8(f, b)), down = scaled(_mm_subs_epu8(b, f));
  return NarrowOne(_mm_sub_epi16(_mm_add_epi16(_mm_unpacklo_epi8(b, zero), up), down));
}

void BlendColorPerChannelInto_Vec(TColor32 F, TColor32& B, TColor32 Weights) {
  B = BlendColorPerChannel_Vec(F, B, Weights);
}

}  // namespace velkor::Raster_Blend::variants

#endif  // __x86_64__
