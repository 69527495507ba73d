#include "graphics/Raster_LowLevel.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace velkor::Raster_LowLevel {

using Raster_System::ciMMX;
using Raster_System::ciSSE2;

namespace {

Raster_System::TUnitInitCounter gUnitCounter;

// Portable: from the last word down to the first.
void FillLongwordsPortable(std::uint32_t* X, std::uint32_t Count, std::uint32_t Value) {
  while (Count > 0) X[--Count] = Value;
}

// Plain forward store, the string-store form.
void FillLongwordsPlain(std::uint32_t* X, std::uint32_t Count, std::uint32_t Value) {
  std::fill_n(X, Count, Value);
}

#if defined(__x86_64__)
// Pairs of words through a 64-bit store, one leading single word when Count
// is odd. (The 64-bit stores are SSE2's; x86-64 has no reason to touch the
// MMX registers, which alias the x87 stack the library computes on.)
void FillLongwordsMMX(std::uint32_t* X, std::uint32_t Count, std::uint32_t Value) {
  if (Count & 1) *X++ = Value;
  const __m128i v = _mm_set1_epi32(static_cast<int>(Value));
  for (std::uint32_t pairs = Count / 2; pairs > 0; --pairs, X += 2)
    _mm_storel_epi64(reinterpret_cast<__m128i*>(X), v);
}

// Single words up to the next 16-byte boundary, aligned 16-byte blocks, then
// the rest. Short or word-misaligned runs take the plain store.
void FillLongwordsSSE2(std::uint32_t* X, std::uint32_t Count, std::uint32_t Value) {
  if (Count < 32 || (reinterpret_cast<std::uintptr_t>(X) & 3)) {
    FillLongwordsPlain(X, Count, Value);
    return;
  }
  while (reinterpret_cast<std::uintptr_t>(X) & 15) {
    *X++ = Value;
    --Count;
  }
  const __m128i v = _mm_set1_epi32(static_cast<int>(Value));
  auto* p = reinterpret_cast<__m128i*>(X);
  for (; Count >= 16; Count -= 16, p += 4) {
    _mm_store_si128(p, v);
    _mm_store_si128(p + 1, v);
    _mm_store_si128(p + 2, v);
    _mm_store_si128(p + 3, v);
  }
  for (; Count >= 4; Count -= 4) _mm_store_si128(p++, v);
  X = reinterpret_cast<std::uint32_t*>(p);
  while (Count-- > 0) *X++ = Value;
}
#endif

void RegisterBindings() {
  LowLevelRegistry = Raster_Bindings::CreateFunctionRegistry("Raster_LowLevel bindings");
  LowLevelRegistry->RegisterBinding(FID_FillLongwords, &FillLongwords);
  LowLevelRegistry->Add(FID_FillLongwords, FillLongwordsPortable);
  LowLevelRegistry->Add(FID_FillLongwords, FillLongwordsPlain);
#if defined(__x86_64__)
  LowLevelRegistry->Add(FID_FillLongwords, FillLongwordsMMX, {ciMMX});
  LowLevelRegistry->Add(FID_FillLongwords, FillLongwordsSSE2, {ciSSE2});
#endif
  LowLevelRegistry->RebindAll();
}

}  // namespace

TFillLongwords FillLongwords = nullptr;
Raster_Bindings::TFunctionRegistry* LowLevelRegistry = nullptr;

void MoveLongwords(const std::uint32_t* Source, std::uint32_t* Dest, int Count) {
  if (Count <= 0 || Source == Dest) return;
  std::memmove(Dest, Source, std::size_t(Count) * sizeof(std::uint32_t));
}

bool ClipSpan(int& Lo, int& Hi, int Min, int Max) {
  if (Hi < Lo) std::swap(Lo, Hi);
  if (Lo < Min) Lo = Min;
  if (Hi >= Max) Hi = Max - 1;
  return Hi >= Lo;
}

int ClampBetween(int Value, int Bound1, int Bound2) {
  if (Bound2 < Bound1) std::swap(Bound1, Bound2);
  if (Value < Bound1) return Bound1;
  if (Value > Bound2) return Bound2;
  return Value;
}

int ClampToRange(int Value, int Min, int Max) {
  if (Value > Max) return Max;  // the Max test first: an inverted range gives Max
  if (Value < Min) return Min;
  return Value;
}

// The general forms compute in 64 bits: a coordinate far outside the range
// (or a range wider than half the int span) makes Value - Max, Value - Min
// and the length itself overflow an int. The result always lies in
// [Min, Max] and fits again.
int WrapToRange(int Value, int Min, int Max) {
  if (Max < Min) return Min;
  const std::int64_t n = std::int64_t(Max) - Min + 1;
  if (Value < Min) return static_cast<int>(Max + (std::int64_t(Value) - Max) % n);
  return static_cast<int>(Min + (std::int64_t(Value) - Min) % n);
}

int MirrorToRange(int Value, int Min, int Max) {
  if (Max < Min) return Min;
  const std::int64_t n = std::int64_t(Max) - Min + 1;
  // Truncating division, the remainder taking the dividend's sign.
  const std::int64_t from = Value < Min ? Max : Min;
  const std::int64_t q = (Value - from) / n;
  const std::int64_t v = (Value - from) % n + from;
  return static_cast<int>((q & 1) ? std::int64_t(Min) + Max - v : v);  // q & 1 is also right for negative q
}

// The power-of-two forms keep only the low bits of Value - Min, so they
// compute in unsigned arithmetic, where the difference cannot overflow.
int WrapToRangePow2(int Value, int Min, int Max) {
  const std::uint32_t mask = std::uint32_t(Max) - std::uint32_t(Min);
  return static_cast<int>(std::uint32_t(Min) + ((std::uint32_t(Value) - std::uint32_t(Min)) & mask));
}

int MirrorToRangePow2(int Value, int Min, int Max) {
  const std::uint32_t mask = std::uint32_t(Max) - std::uint32_t(Min);
  const std::uint32_t offset = std::uint32_t(Value) - std::uint32_t(Min);
  const std::uint32_t d = offset & mask;
  return static_cast<int>((offset & (mask + 1)) ? std::uint32_t(Max) - d : std::uint32_t(Min) + d);
}

TWrapProcEx SelectWrapProc(TWrapMode Mode) {
  switch (Mode) {
    case wmRepeat: return WrapToRange;
    case wmMirror: return MirrorToRange;
    default: return ClampToRange;
  }
}

TWrapProcEx SelectWrapProcEx(TWrapMode Mode, int Min, int Max) {
  // The length of [0, INT_MAX] is 2^31: unsigned, so it does not overflow.
  const std::uint32_t length = std::uint32_t(Max) - std::uint32_t(Min) + 1;
  const bool pow2 = Min >= 0 && Min <= Max && (length & (length - 1)) == 0;
  if (pow2 && Mode == wmRepeat) return WrapToRangePow2;
  if (pow2 && Mode == wmMirror) return MirrorToRangePow2;
  return SelectWrapProc(Mode);
}

void Startup() {
  if (gUnitCounter.Enter()) RegisterBindings();
}

void Shutdown() {
  // The registry itself belongs to Raster_Bindings, which frees it later.
  if (gUnitCounter.Leave()) LowLevelRegistry = nullptr;
}

}  // namespace velkor::Raster_LowLevel
