// 16.16 fixed-point operations, trigonometry and distances, a rounded
// multiply-divide and a running sum over 32-bit floats.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "graphics/Raster_System.h"

namespace velkor {

// Signed 16.16 fixed point: 1.0 = 65536. One of the main unit's value types
// (graphics/Raster.h); declared here, in the lowest header that computes
// with it.
using TFixed = std::int32_t;

// A division whose divisor is zero or whose quotient does not fit in 32 bits.
class EDivisionError : public std::domain_error {
 public:
  using std::domain_error::domain_error;
};

}  // namespace velkor

namespace velkor::Raster_Math {

// Toward minus infinity.
constexpr int FixedToIntFloor(TFixed A) { return A >> 16; }
// Toward plus infinity; computed in 64 bits so the largest values do not wrap.
constexpr int FixedToIntCeil(TFixed A) { return static_cast<int>((std::int64_t(A) + 0xFFFF) >> 16); }
// Adds $7FFF, not $8000: an exact half rounds down (0.5 to 0, -0.5 to -1).
constexpr int FixedToIntRound(TFixed A) { return static_cast<int>((std::int64_t(A) + 0x7FFF) >> 16); }

// The 64-bit product shifted right by 16, low 32 bits kept.
constexpr TFixed FixedMultiply(TFixed A, TFixed B) {
  return static_cast<TFixed>(static_cast<std::uint32_t>((std::int64_t(A) * B) >> 16));
}
// A * 65536 / B truncated toward zero. Throws EDivisionError when B is 0 or
// the quotient does not fit in 32 bits.
TFixed FixedDivide(TFixed A, TFixed B);

// Both from one extended-precision evaluation, stored as 32-bit floats.
void SinCosSingle(float Theta, float& Sin, float& Cos);
void SinCosScaled(float Theta, float Radius, float& Sin, float& Cos);
// sqrt(X*X + Y*Y) in extended precision.
float HypotFloat(float X, float Y);
// The hypotenuse of X and Y (as floats), rounded to nearest with ties to even;
// INT_MAX when it does not fit.
int HypotInt(int X, int Y);

// Multiplicand * Multiplier / Divisor on a 64-bit product, an exact half
// rounded away from zero. Returns -1 when Divisor is 0 or the quotient does
// not fit in a signed 32-bit value.
int MulDivRounded(int Multiplicand, int Multiplier, int Divisor);

// Quotient truncated toward zero; Remainder takes the dividend's sign.
// Throws EDivisionError for a zero divisor and for INT_MIN / -1.
int DivideWithRemainder(int Dividend, int Divisor, int& Remainder);

// Turns Values[0..Count) into its running sums (32-bit float additions).
using TCumulativeSum = void (*)(float* Values, int Count);
extern TCumulativeSum CumulativeSum;

// Binds CumulativeSum as a processor with `features` would: the SSE2
// variant when ciSSE2 is in the set, else the portable one. Start-up passes
// the processor's own set; tests pass others to reach each variant.
void BindCumulativeSum(Raster_System::TCPUFeatures features);

void Startup();
void Shutdown();

}  // namespace velkor::Raster_Math
