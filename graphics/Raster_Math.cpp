#include "graphics/Raster_Math.h"

#include <climits>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace velkor::Raster_Math {

namespace {

Raster_System::TUnitInitCounter gUnitCounter;

void CumulativeSumPortable(float* Values, int Count) {
  if (Count <= 1) return;
  float acc = Values[0];
  for (int i = 1; i < Count; ++i) {
    std::uint32_t bits;
    std::memcpy(&bits, &Values[i], sizeof bits);
    if (bits != 0) acc += Values[i];  // a +0.0 is skipped, as the vector form skips zero blocks
    Values[i] = acc;
  }
}

#if defined(__x86_64__)
// Adds every element to the running total `acc`, from `from` to `to`.
float PlainRunningSum(float* Values, int from, int to, float acc) {
  for (int i = from; i < to; ++i) {
    acc += Values[i];
    Values[i] = acc;
  }
  return acc;
}

void CumulativeSumSSE2(float* Values, int Count) {
  if (Count < 2) return;
  if (Count < 32) {
    PlainRunningSum(Values, 1, Count, Values[0]);
    return;
  }
  // Scalar head up to the first element on a 16-byte boundary.
  int i = 1;
  while (reinterpret_cast<std::uintptr_t>(Values + i) & 15) ++i;
  float acc = PlainRunningSum(Values, 1, i, Values[0]);
  __m128 total = _mm_set1_ps(acc);
  const __m128 zero = _mm_setzero_ps();
  for (; i + 4 <= Count; i += 4) {
    __m128 v = _mm_load_ps(Values + i);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_castps_si128(v), _mm_castps_si128(zero))) == 0xFFFF) {
      _mm_store_ps(Values + i, total);  // four zeros: the total four times
      continue;
    }
    // Prefix sum in two pairwise steps, then the running total.
    v = _mm_add_ps(v, _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(v), 4)));
    v = _mm_add_ps(v, _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(v), 8)));
    v = _mm_add_ps(v, total);
    _mm_store_ps(Values + i, v);
    total = _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3));
  }
  PlainRunningSum(Values, i, Count, _mm_cvtss_f32(total));
}
#endif

}  // namespace

TCumulativeSum CumulativeSum = CumulativeSumPortable;

TFixed FixedDivide(TFixed A, TFixed B) {
  if (B == 0) throw EDivisionError("Division by zero");
  const std::int64_t q = (std::int64_t(A) * 65536) / B;
  if (q < INT32_MIN || q > INT32_MAX) throw EDivisionError("Fixed-point quotient out of range");
  return static_cast<TFixed>(q);
}

void SinCosSingle(float Theta, float& Sin, float& Cos) {
  long double s, c;
  sincosl(Theta, &s, &c);
  Sin = static_cast<float>(s);
  Cos = static_cast<float>(c);
}

void SinCosScaled(float Theta, float Radius, float& Sin, float& Cos) {
  long double s, c;
  sincosl(Theta, &s, &c);
  Sin = static_cast<float>(s * Radius);
  Cos = static_cast<float>(c * Radius);
}

float HypotFloat(float X, float Y) {
  const long double x = X, y = Y;
  return static_cast<float>(std::sqrt(x * x + y * y));
}

int HypotInt(int X, int Y) {
  const float h = std::nearbyint(HypotFloat(static_cast<float>(X), static_cast<float>(Y)));
  // Up to |INT_MIN| * sqrt(2): a result beyond the int range saturates
  // rather than leaving the conversion undefined.
  return h >= 2147483648.0f ? INT_MAX : static_cast<int>(h);
}

int MulDivRounded(int Multiplicand, int Multiplier, int Divisor) {
  const std::uint32_t sign = std::uint32_t(Multiplicand) ^ std::uint32_t(Multiplier) ^ std::uint32_t(Divisor);
  const auto magnitude = [](int v) { return v < 0 ? 0u - std::uint32_t(v) : std::uint32_t(v); };
  const std::uint32_t a = magnitude(Multiplicand), b = magnitude(Multiplier), d = magnitude(Divisor);
  const std::uint64_t p = std::uint64_t(a) * b;
  // The quick overflow test on the high word (also catches d = 0) ...
  if (static_cast<std::uint32_t>((p >> 32) * 2) >= d) return -1;
  std::uint64_t q = p / d;
  const std::uint64_t r = p % d;
  if (r >= d - r) ++q;  // an exact half rounds away from zero
  // ... lets quotients up to 2^32 through for small divisors; those do not
  // fit either.
  if (q > INT32_MAX) return -1;
  return (sign & 0x80000000u) ? -static_cast<int>(q) : static_cast<int>(q);
}

int DivideWithRemainder(int Dividend, int Divisor, int& Remainder) {
  if (Divisor == 0) throw EDivisionError("Division by zero");
  if (Dividend == INT_MIN && Divisor == -1) throw EDivisionError("Integer quotient out of range");
  Remainder = Dividend % Divisor;
  return Dividend / Divisor;
}

void BindCumulativeSum(Raster_System::TCPUFeatures features) {
#if defined(__x86_64__)
  if (features.Contains(Raster_System::ciSSE2)) {
    CumulativeSum = CumulativeSumSSE2;
    return;
  }
#endif
  (void)features;
  CumulativeSum = CumulativeSumPortable;
}

void Startup() {
  if (gUnitCounter.Enter()) BindCumulativeSum(Raster_System::CPUFeatureMask());
}

void Shutdown() { gUnitCounter.Leave(); }

}  // namespace velkor::Raster_Math
