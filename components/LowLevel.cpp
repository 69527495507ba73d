#include "components/LowLevel.h"

#include <emmintrin.h>
#include <mmintrin.h>

#include <cstdlib>
#include <cstring>

#include "core/SystemInfo.h"

namespace velkor::LowLevel {

TFillLongwordProc FillLongword = FillLongwordPas;

void SetIfSmaller(int& X, int Value) {
  if (Value < X) X = Value;
}

void SetIfLarger(int& X, int Value) {
  if (Value > X) X = Value;
}

int MulDivRounded(int A, int B, int C) {
  const bool negative = ((A ^ B ^ C) < 0);
  const std::uint64_t a = std::uint64_t(std::llabs(std::int64_t(A)));
  const std::uint64_t b = std::uint64_t(std::llabs(std::int64_t(B)));
  const std::uint64_t c = std::uint64_t(std::llabs(std::int64_t(C)));
  if (c == 0) return -1;
  const std::uint64_t p = a * b;  // at most 2^62: no overflow
  std::uint64_t q = p / c;
  const std::uint64_t r = p % c;
  if (c - r <= r) ++q;
  // A quotient beyond the int range would wrap into a wrong sign or value.
  if (q > 2147483647u) return -1;
  return negative ? -int(q) : int(q);
}

void FillLongwordPas(std::uint32_t* Dest, std::uint32_t Count, std::uint32_t Value) {
  for (std::uint32_t i = 0; i < Count; ++i) Dest[i] = Value;
}

void FillLongwordMMX(std::uint32_t* Dest, std::uint32_t Count, std::uint32_t Value) {
  if (Count == 0) return;
  if (Count & 1) {
    *Dest++ = Value;
    if (Count == 1) return;
  }
  const __m64 pair = _mm_set1_pi32(int(Value));
  auto* d = reinterpret_cast<__m64*>(Dest);
  for (std::uint32_t i = Count / 2; i > 0; --i) *d++ = pair;
  _mm_empty();
}

void FillLongwordSSE2(std::uint32_t* Dest, std::uint32_t Count, std::uint32_t Value) {
  if (Count < 32 || (reinterpret_cast<std::uintptr_t>(Dest) & 3) != 0) {
    FillLongwordPas(Dest, Count, Value);
    return;
  }
  while ((reinterpret_cast<std::uintptr_t>(Dest) & 15) != 0) {
    *Dest++ = Value;
    --Count;
  }
  const __m128i quad = _mm_set1_epi32(int(Value));
  auto* d = reinterpret_cast<__m128i*>(Dest);
  std::uint32_t quads = Count / 4;
  // Four stores a round: one cache line of the destination per iteration.
  for (; quads >= 4; quads -= 4, d += 4) {
    _mm_store_si128(d, quad);
    _mm_store_si128(d + 1, quad);
    _mm_store_si128(d + 2, quad);
    _mm_store_si128(d + 3, quad);
  }
  for (; quads > 0; --quads) _mm_store_si128(d++, quad);
  FillLongwordPas(reinterpret_cast<std::uint32_t*>(d), Count & 3, Value);
}

void MoveLongwords(const std::uint32_t* Source, std::uint32_t* Dest, int Count) {
  if (Source == Dest || Count <= 0) return;
  std::memcpy(Dest, Source, std::size_t(Count) * sizeof(std::uint32_t));
}

void BindFillLongword() {
  if (HasCPUExt(ceSSE2))
    FillLongword = FillLongwordSSE2;
  else if (HasCPUExt(ceMMX))
    FillLongword = FillLongwordMMX;
  else
    FillLongword = FillLongwordPas;
}

}  // namespace velkor::LowLevel
