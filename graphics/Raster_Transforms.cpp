#include "graphics/Raster_Transforms.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "graphics/Raster_Math.h"

namespace velkor::Raster_Transforms {

TDeterminant32 Determinant32 = nullptr;
TDeterminant64 Determinant64 = nullptr;
Raster_Bindings::TFunctionRegistry* TransformsRegistry = nullptr;

namespace {

Raster_System::TUnitInitCounter gUnitCounter;

// --- Determinants ---------------------------------------------------------------

// Both products and their difference in extended precision, one rounding to
// the result's type at the end: a nearly singular matrix keeps the digits
// that a computation in the type itself would cancel away.
template <class T>
T DeterminantExtended(T a, T b, T c, T d) {
  const long double det = static_cast<long double>(a) * d - static_cast<long double>(b) * c;
  return static_cast<T>(det);
}

float Determinant32Portable(float a, float b, float c, float d) {
  return DeterminantExtended(a, b, c, d);
}
double Determinant64Portable(double a, double b, double c, double d) {
  return DeterminantExtended(a, b, c, d);
}

#if defined(__x86_64__) || defined(__i386__)
// On x86 the extended type is the processor's own 80-bit format, so the
// formula runs on the floating-point unit without emulation. Registered
// after the portable form and needing no extension, it is the one bound.
float Determinant32X86(float a, float b, float c, float d) {
  return DeterminantExtended(a, b, c, d);
}
double Determinant64X86(double a, double b, double c, double d) {
  return DeterminantExtended(a, b, c, d);
}
#endif

void RegisterBindings() {
  TransformsRegistry = Raster_Bindings::CreateFunctionRegistry("Raster_Transforms bindings");
  TransformsRegistry->RegisterBinding(FID_DETERMINANT32, &Determinant32);
  TransformsRegistry->RegisterBinding(FID_DETERMINANT64, &Determinant64);

  TransformsRegistry->Add(FID_DETERMINANT32, &Determinant32Portable);
  TransformsRegistry->Add(FID_DETERMINANT64, &Determinant64Portable);
#if defined(__x86_64__) || defined(__i386__)
  TransformsRegistry->Add(FID_DETERMINANT32, &Determinant32X86);
  TransformsRegistry->Add(FID_DETERMINANT64, &Determinant64X86);
#endif
  TransformsRegistry->RebindAll();
}

// --- Rounding between the three coordinate forms ---------------------------------

constexpr double kFixedOne = 65536.0;

// Integers whose 16.16 form fits in a TFixed.
bool FitsFixed(int V) { return V >= -32768 && V <= 32767; }

// The exact value of a 16.16 number, rounded once to a 32-bit float.
float FixedToFloat(TFixed V) { return static_cast<float>(V / kFixedOne); }

// What FixedToIntRound(FloatToFixed(V)) gives, computed in 64 bits so it
// holds beyond the 16.16 range: Round(V * 65536) with ties to even, then
// the $7FFF rule (an exact half rounds down). Saturates to the int range;
// NaN gives 0.
int FloatToIntViaFixed(float V) {
  if (std::isnan(V)) return 0;
  constexpr double kLimit = 4.0e18;  // well inside int64 after the scaling
  const double scaled = std::fmax(-kLimit, std::fmin(kLimit, V * kFixedOne));
  const std::int64_t rounded = (std::llrint(scaled) + 0x7FFF) >> 16;
  if (rounded > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (rounded < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(rounded);
}

[[noreturn]] void NotImplemented(const char* direction, std::string_view className) {
  throw ETransformNotImplemented(std::string(direction) + " transformation is not implemented in " +
                                 std::string(className) + ".");
}

}  // namespace

// --- TTransformation ---------------------------------------------------------------

const TClassInfo& TTransformation::StaticClass() {
  static const TClassInfo info{"TTransformation", &TNotifiablePersistent::StaticClass(),
                               [] { return New<TTransformation>(); }, {}};
  return info;
}

void TTransformation::Changed() {
  TransformValid = false;
  TNotifiablePersistent::Changed();
}

void TTransformation::SetSrcRect(const TFloatRect& Value) {
  FSrcRect = Value;
  Changed();
}

bool TTransformation::HasTransformedBounds() const { return true; }

TFloatRect TTransformation::GetTransformedBounds(const TFloatRect& ASrcRect) { return ASrcRect; }

void TTransformation::PrepareForTransform() {}

void TTransformation::PrepareIfNeeded() {
  if (!TransformValid) PrepareForTransform();
}

TPoint TTransformation::Transform(TPoint P) {
  PrepareIfNeeded();
  TPoint result;
  TransformInteger(P.X, P.Y, result.X, result.Y);
  return result;
}

TFixedPoint TTransformation::Transform(TFixedPoint P) {
  PrepareIfNeeded();
  TFixedPoint result;
  TransformFixedPoint(P.X, P.Y, result.X, result.Y);
  return result;
}

TFloatPoint TTransformation::Transform(TFloatPoint P) {
  PrepareIfNeeded();
  TFloatPoint result;
  TransformFloatPoint(P.X, P.Y, result.X, result.Y);
  return result;
}

TPoint TTransformation::ReverseTransform(TPoint P) {
  PrepareIfNeeded();
  TPoint result;
  ReverseTransformInteger(P.X, P.Y, result.X, result.Y);
  return result;
}

TFixedPoint TTransformation::ReverseTransform(TFixedPoint P) {
  PrepareIfNeeded();
  TFixedPoint result;
  ReverseTransformFixedPoint(P.X, P.Y, result.X, result.Y);
  return result;
}

TFloatPoint TTransformation::ReverseTransform(TFloatPoint P) {
  PrepareIfNeeded();
  TFloatPoint result;
  ReverseTransformFloatPoint(P.X, P.Y, result.X, result.Y);
  return result;
}

void TTransformation::TransformInteger(int SrcX, int SrcY, int& DstX, int& DstY) {
  if (FitsFixed(SrcX) && FitsFixed(SrcY)) {
    TFixed x, y;
    TransformFixedPoint(IntToFixed(SrcX), IntToFixed(SrcY), x, y);
    DstX = Raster_Math::FixedToIntRound(x);
    DstY = Raster_Math::FixedToIntRound(y);
    return;
  }
  float x, y;
  TransformFloatPoint(static_cast<float>(SrcX), static_cast<float>(SrcY), x, y);
  DstX = FloatToIntViaFixed(x);
  DstY = FloatToIntViaFixed(y);
}

void TTransformation::TransformFixedPoint(TFixed SrcX, TFixed SrcY, TFixed& DstX, TFixed& DstY) {
  float x, y;
  TransformFloatPoint(FixedToFloat(SrcX), FixedToFloat(SrcY), x, y);
  DstX = FloatToFixed(x);
  DstY = FloatToFixed(y);
}

void TTransformation::TransformFloatPoint(float, float, float&, float&) {
  NotImplemented("Forward", ClassName());
}

void TTransformation::ReverseTransformInteger(int DstX, int DstY, int& SrcX, int& SrcY) {
  if (FitsFixed(DstX) && FitsFixed(DstY)) {
    TFixed x, y;
    ReverseTransformFixedPoint(IntToFixed(DstX), IntToFixed(DstY), x, y);
    SrcX = Raster_Math::FixedToIntRound(x);
    SrcY = Raster_Math::FixedToIntRound(y);
    return;
  }
  float x, y;
  ReverseTransformFloatPoint(static_cast<float>(DstX), static_cast<float>(DstY), x, y);
  SrcX = FloatToIntViaFixed(x);
  SrcY = FloatToIntViaFixed(y);
}

void TTransformation::ReverseTransformFixedPoint(TFixed DstX, TFixed DstY, TFixed& SrcX,
                                                 TFixed& SrcY) {
  float x, y;
  ReverseTransformFloatPoint(FixedToFloat(DstX), FixedToFloat(DstY), x, y);
  SrcX = FloatToFixed(x);
  SrcY = FloatToFixed(y);
}

void TTransformation::ReverseTransformFloatPoint(float, float, float&, float&) {
  NotImplemented("Reverse", ClassName());
}

// --- Module start-up ------------------------------------------------------------------

void Startup() {
  if (gUnitCounter.Enter()) RegisterBindings();
}

void Shutdown() {
  // The registry itself belongs to Raster_Bindings, which frees it later.
  if (gUnitCounter.Leave()) TransformsRegistry = nullptr;
}

}  // namespace velkor::Raster_Transforms
