#include "graphics/Raster_LowLevel.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "graphics/Raster_Math.h"

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

int WrapToRange(int Value, int Min, int Max) {
  if (Max < Min) return Min;
  const int n = Max - Min + 1;
  if (Value < Min) return Max + (Value - Max) % n;
  return Min + (Value - Min) % n;
}

int MirrorToRange(int Value, int Min, int Max) {
  if (Max < Min) return Min;
  const int n = Max - Min + 1;
  int r;
  int q, v;
  if (Value < Min) {
    q = Raster_Math::DivideWithRemainder(Value - Max, n, r);
    v = r + Max;
  } else {
    q = Raster_Math::DivideWithRemainder(Value - Min, n, r);
    v = r + Min;
  }
  return (q & 1) ? Min + Max - v : v;  // q & 1 is also right for negative q
}

int WrapToRangePow2(int Value, int Min, int Max) { return Min + ((Value - Min) & (Max - Min)); }

int MirrorToRangePow2(int Value, int Min, int Max) {
  const int d = (Value - Min) & (Max - Min);
  return ((Value - Min) & (Max - Min + 1)) ? Max - d : Min + d;
}

TWrapProcEx SelectWrapProc(TWrapMode Mode) {
  switch (Mode) {
    case wmRepeat: return WrapToRange;
    case wmMirror: return MirrorToRange;
    default: return ClampToRange;
  }
}

TWrapProcEx SelectWrapProcEx(TWrapMode Mode, int Min, int Max) {
  const bool pow2 = Min >= 0 && Min <= Max && ((Max - Min + 1) & (Max - Min)) == 0;
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
