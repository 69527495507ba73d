// Integer helpers of the component library (bound updates, a rounded
// multiply-divide) and the fill and move of runs of 32-bit pixels.
//
// FillLongword is the one piece of state here: a routine pointer that
// BindFillLongword sets once at start-up to the best of three variants the
// processor supports (SSE2, MMX, plain). Everything else is stateless, takes
// no locks and allocates nothing.
#pragma once

#include <cstdint>

namespace velkor::LowLevel {

// X := Value when Value < X.
void SetIfSmaller(int& X, int Value);
// X := Value when Value > X.
void SetIfLarger(int& X, int Value);

// A * B / C on a 64-bit product, rounded half away from zero. -1 when C is 0
// or the rounded quotient does not fit in 31 bits and a sign.
int MulDivRounded(int A, int B, int C);

// Stores Value into Count consecutive words; Count 0 stores nothing.
using TFillLongwordProc = void (*)(std::uint32_t* Dest, std::uint32_t Count, std::uint32_t Value);
void FillLongwordPas(std::uint32_t* Dest, std::uint32_t Count, std::uint32_t Value);
// Odd Count: one word first; then 64-bit stores of Value twice.
void FillLongwordMMX(std::uint32_t* Dest, std::uint32_t Count, std::uint32_t Value);
// From 32 words on and for a 4-byte aligned Dest: single words up to the
// next 16-byte boundary, aligned 128-bit stores, then the last 0 to 3 words.
// Anything else is the plain store.
void FillLongwordSSE2(std::uint32_t* Dest, std::uint32_t Count, std::uint32_t Value);

// The bound variant; the plain one until BindFillLongword has run.
extern TFillLongwordProc FillLongword;

// Copies Count words from Source to Dest, first to last; nothing when Source
// and Dest are the same address or Count <= 0. The buffers must not overlap
// otherwise.
void MoveLongwords(const std::uint32_t* Source, std::uint32_t* Dest, int Count);

// Start-up: binds FillLongword by the processor's extensions. Nothing is
// undone at shut-down.
void BindFillLongword();

}  // namespace velkor::LowLevel
