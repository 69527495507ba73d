// The vector variants of the block average and the 2 x 2 interpolator, in
// SSE2 intrinsics (one pixel = four 16-bit lanes: blue, green, red, alpha).
#if defined(__x86_64__)

#include <emmintrin.h>

#include <algorithm>

#include "graphics/Raster_ResamplersVariants.h"

namespace velkor::Raster_Resamplers::variants {

namespace {

[[gnu::always_inline]] inline __m128i Load2(const TColor32* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

// (a * 256 + (b - a) * w) shr 8 per lane, no rounding term. The signed
// product wraps in 16 bits, but the true value lies in 0..65280 for
// 0 <= w <= 256, so the logical shift gives it exactly.
[[gnu::always_inline]] inline __m128i Mix(__m128i a, __m128i b, __m128i w) {
  return _mm_srli_epi16(_mm_add_epi16(_mm_slli_epi16(a, 8), _mm_mullo_epi16(_mm_sub_epi16(b, a), w)), 8);
}

}  // namespace

TColor32 Interpolate2x2_SSE2(std::uint32_t WX, std::uint32_t WY, const TColor32* C11, const TColor32* C21) {
  const __m128i zero = _mm_setzero_si128();
  // [C11[0], C21[0], C11[1], C21[1]] as 32-bit elements, then the left
  // pair and the right pair as words.
  const __m128i both = _mm_unpacklo_epi32(Load2(C11), Load2(C21));
  const __m128i lefts = _mm_unpacklo_epi8(both, zero);
  const __m128i rights = _mm_unpackhi_epi8(both, zero);
  // Upper row in the low four lanes, lower row in the high four.
  const __m128i rows = Mix(rights, lefts, _mm_set1_epi16(short(std::min<std::uint32_t>(WX, 256))));
  const __m128i lower = _mm_unpackhi_epi64(rows, rows);
  const __m128i mixed = Mix(lower, rows, _mm_set1_epi16(short(std::min<std::uint32_t>(WY, 256))));
  return TColor32(_mm_cvtsi128_si32(_mm_packus_epi16(mixed, mixed)));
}

std::uint64_t InterpolateWeightWords(std::uint32_t W) {
  return 0x0001000100010001ull * std::min<std::uint32_t>(W, 256);
}

// Two destination pixels per step: the left and right pixels of both upper
// pairs side by side in one register, likewise the lower pairs, so each
// Mix handles two outputs.
void InterpolateRow_SSE2(const std::int32_t* Pos, const std::uint64_t* WXWords, int Count, std::uint32_t WY,
                         const TColor32* Upper, const TColor32* Lower, TColor32* Out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i wy = _mm_set1_epi16(short(std::min<std::uint32_t>(WY, 256)));
  int i = 0;
  for (; i + 2 <= Count; i += 2) {
    const int p = Pos[i], q = Pos[i + 1];
    const __m128i up = _mm_unpacklo_epi32(Load2(Upper + p), Load2(Upper + q));  // Lp, Lq, Rp, Rq
    const __m128i lo = _mm_unpacklo_epi32(Load2(Lower + p), Load2(Lower + q));
    const __m128i wx = _mm_loadu_si128(reinterpret_cast<const __m128i*>(WXWords + i));
    const __m128i upper = Mix(_mm_unpackhi_epi8(up, zero), _mm_unpacklo_epi8(up, zero), wx);
    const __m128i lower = Mix(_mm_unpackhi_epi8(lo, zero), _mm_unpacklo_epi8(lo, zero), wx);
    const __m128i mixed = Mix(lower, upper, wy);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(Out + i), _mm_packus_epi16(mixed, mixed));
  }
  for (; i < Count; ++i) {
    const int p = Pos[i];
    const __m128i both = _mm_unpacklo_epi32(Load2(Upper + p), Load2(Lower + p));
    const __m128i wx = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(WXWords + i));
    const __m128i rows = Mix(_mm_unpackhi_epi8(both, zero), _mm_unpacklo_epi8(both, zero), _mm_unpacklo_epi64(wx, wx));
    const __m128i mixed = Mix(_mm_unpackhi_epi64(rows, rows), rows, wy);
    Out[i] = TColor32(_mm_cvtsi128_si32(_mm_packus_epi16(mixed, mixed)));
  }
}

// Sums each channel in 16-bit lanes (two pixels per register) and empties
// them into 32-bit lanes before any word lane could hold more than 256
// values of 255. Rows are taken in chunks of at most 500 pixels, so blocks of
// any width give exact sums. Above 2^24 pixels the 32-bit sums could
// overflow; such blocks go to the portable form.
TColor32 AverageBlock_SSE2(std::uint32_t Dlx, std::uint32_t Dly, const TColor32* RowSrc, std::uint32_t OffSrc) {
  if (Dlx == 0 || Dly == 0) return 0;
  if (std::uint64_t(Dlx) * Dly > (1u << 24)) return AverageBlock_Portable(Dlx, Dly, RowSrc, OffSrc);
  constexpr std::uint32_t kChunk = 500;
  // The most values one word lane takes from one chunk: half the vector
  // part plus up to three single pixels of the tail.
  const std::uint32_t perChunk = std::min(Dlx, kChunk) / 2 + 3;
  const __m128i zero = _mm_setzero_si128();
  __m128i total = zero;  // B, G, R, A as 32-bit lanes
  __m128i words = zero;
  std::uint32_t inWords = 0;
  const auto* row = reinterpret_cast<const std::uint8_t*>(RowSrc);
  for (std::uint32_t y = 0; y < Dly; ++y, row += OffSrc) {
    const auto* p = reinterpret_cast<const TColor32*>(row);
    std::uint32_t x = 0;
    while (x < Dlx) {
      if (inWords + perChunk > 256) {
        total = _mm_add_epi32(total, _mm_add_epi32(_mm_unpacklo_epi16(words, zero), _mm_unpackhi_epi16(words, zero)));
        words = zero;
        inWords = 0;
      }
      const std::uint32_t chunkEnd = std::min(Dlx, x + kChunk);
      for (; x + 4 <= chunkEnd; x += 4) {
        const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x));
        words = _mm_add_epi16(words, _mm_add_epi16(_mm_unpacklo_epi8(px, zero), _mm_unpackhi_epi8(px, zero)));
      }
      for (; x < chunkEnd; ++x)
        words = _mm_add_epi16(words, _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p[x])), zero));
      inWords += perChunk;
    }
  }
  total = _mm_add_epi32(total, _mm_add_epi32(_mm_unpacklo_epi16(words, zero), _mm_unpackhi_epi16(words, zero)));
  alignas(16) std::uint32_t sums[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(sums), total);
  return AverageOfSums(sums[3], sums[2], sums[1], sums[0], std::uint64_t(Dlx) * Dly);
}

}  // namespace velkor::Raster_Resamplers::variants

#endif
