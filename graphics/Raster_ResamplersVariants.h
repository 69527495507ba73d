// Internal to Raster_Resamplers: the variants of the two bound routines.
// Everyone else calls the bound pointers AverageBlock and Interpolate2x2.
#pragma once

#include <cstdint>

#include "graphics/Raster_Resamplers.h"

namespace velkor::Raster_Resamplers::variants {

TColor32 AverageBlock_Portable(std::uint32_t Dlx, std::uint32_t Dly, const TColor32* RowSrc, std::uint32_t OffSrc);
TColor32 Interpolate2x2_Portable(std::uint32_t WX, std::uint32_t WY, const TColor32* C11, const TColor32* C21);

// Averages channel sums over Count pixels the way every variant does:
// Scale = $1000000 div Count and (sum * Scale) shr 24 (truncating), or the
// 64-bit quotient once Count exceeds 2^24 and Scale would be 0.
TColor32 AverageOfSums(std::uint64_t A, std::uint64_t R, std::uint64_t G, std::uint64_t B, std::uint64_t Count);

#if defined(__x86_64__)
// SSE2 intrinsics; registered at the MMX and at the SSE2 level, since the
// MMX forms compute the same result.
TColor32 AverageBlock_SSE2(std::uint32_t Dlx, std::uint32_t Dly, const TColor32* RowSrc, std::uint32_t OffSrc);
TColor32 Interpolate2x2_SSE2(std::uint32_t WX, std::uint32_t WY, const TColor32* C11, const TColor32* C21);
// Interpolate2x2_SSE2 along a row: Out[i] from the pixels at Pos[i] and
// Pos[i] + 1 of Upper and Lower, weighted by WY and by the horizontal weight
// of column i, given as four 16-bit copies (InterpolateWeightWords). The
// bilinear scaler calls it in place of the bound routine when that is
// Interpolate2x2_SSE2, saving a call per pixel.
std::uint64_t InterpolateWeightWords(std::uint32_t W);
void InterpolateRow_SSE2(const std::int32_t* Pos, const std::uint64_t* WXWords, int Count, std::uint32_t WY,
                         const TColor32* Upper, const TColor32* Lower, TColor32* Out);
#endif

}  // namespace velkor::Raster_Resamplers::variants
