// The filter kernels of Raster_Resamplers. Every formula is evaluated in
// long double; where a formula names an intermediate value (the sinc
// argument, each step of the Albrecht window) it is rounded to float there,
// and every result is rounded to float on return.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "graphics/Raster_Resamplers.h"

namespace velkor::Raster_Resamplers {

namespace {

using ld = long double;
constexpr ld kPi = std::numbers::pi_v<long double>;

// Rows of the Albrecht window's coefficients by number of terms (2..11),
// Coef[0] first.
constexpr double kAlbrechtCoefs[10][11] = {
    {0.5383553946707251, 0.4616446053292749},
    {0.346100822018625, 0.497340635096738, 0.156558542884637},
    {0.226982412792069, 0.457254070828427, 0.273199027957384, 0.0425644884221201},
    {0.14894260601583, 0.386001173639176, 0.340977403214053, 0.1139879604246, 0.0100908567063414},
    {0.0971676200107429, 0.308845222524055, 0.362623371437917, 0.188953325525116, 0.0402095714148751,
     0.0022008890872942},
    {0.0639644241143904, 0.239938645993528, 0.350159563238205, 0.247741118970808, 0.085438256055858,
     0.0123202033692932, 0.000437788257917735},
    {0.0421072107042137, 0.182076226633776, 0.317713781059942, 0.284438001373442, 0.136762237777383,
     0.0334038053504025, 0.00341677216705768, 0.0000819649337831348},
    {0.0276143731612611, 0.135382228758844, 0.275287234472237, 0.298843335317801, 0.185319330279284,
     0.0648884482549063, 0.0117641910285655, 0.000885987580106899, 0.0000148711469943406},
    {0.0179908225352538, 0.098795958606521, 0.229883817001211, 0.294113019095183, 0.224338977814325,
     0.103248806248099, 0.0275674109448523, 0.00383958622947123, 0.000218971708430106, 0.00000262981665347889},
    {0.0118717127796602, 0.0719533651951142, 0.187887160922585, 0.275808174097291, 0.248904243244464,
     0.141729867200712, 0.0502002976228256, 0.0104589649084984, 0.0011361511274166, 0.0000496285981703436,
     0.00000043430326268572},
};

// sin(t) / t with t = X * pi rounded to float; 1 at 0.
ld Sinc(float X) {
  if (X == 0) return 1;
  const float t = static_cast<float>(X * kPi);
  return std::sin(static_cast<ld>(t)) / t;
}

// The cosine term of the cosine windows: cos(pi * X / Width).
ld WindowCos(float X, float WidthReciprocal) { return std::cos(kPi * X * WidthReciprocal); }

// A width as the wide kernels accept it: above 16 (or not a number) gives
// 16; zero and negative widths are refused (false).
bool AcceptWidth(float& Value) {
  if (!(Value <= 16)) Value = 16;  // also NaN
  return Value > 0;
}

template <class C>
TClassInfo KernelClass(std::string_view Name, TClass Parent, std::vector<TPropInfo> Properties = {}) {
  return {Name, Parent, [] { return std::unique_ptr<TPersistent>(New<C>()); }, std::move(Properties)};
}

}  // namespace

// --- TCustomKernel ------------------------------------------------------------

const TClassInfo& TCustomKernel::StaticClass() {
  static const TClassInfo info{"TCustomKernel", &TPersistent::StaticClass(), {}, {}};
  return info;
}

void TCustomKernel::Changed() {
  if (FObserver) FObserver->Changed();
}

void TCustomKernel::AssignTo(TPersistent* Dest) const {
  if (auto* kernel = dynamic_cast<TCustomKernel*>(Dest)) {
    Raster_Containers::CopyPublishedProperties(this, kernel);
    return;
  }
  TPersistent::AssignTo(Dest);
}

// --- Simple kernels -------------------------------------------------------------

const TClassInfo& TBoxKernel::StaticClass() {
  static const TClassInfo info = KernelClass<TBoxKernel>("TBoxKernel", &TCustomKernel::StaticClass());
  return info;
}

float TBoxKernel::Filter(float Value) const { return Value >= -0.5f && Value <= 0.5f ? 1.0f : 0.0f; }

const TClassInfo& TLinearKernel::StaticClass() {
  static const TClassInfo info = KernelClass<TLinearKernel>("TLinearKernel", &TCustomKernel::StaticClass());
  return info;
}

float TLinearKernel::Filter(float Value) const {
  if (Value >= -1 && Value < 0) return static_cast<float>(1 + static_cast<ld>(Value));
  if (Value >= 0 && Value < 1) return static_cast<float>(1 - static_cast<ld>(Value));
  return 0;
}

const TClassInfo& TCosineKernel::StaticClass() {
  static const TClassInfo info = KernelClass<TCosineKernel>("TCosineKernel", &TCustomKernel::StaticClass());
  return info;
}

float TCosineKernel::Filter(float Value) const {
  if (std::fabs(Value) < 1) return static_cast<float>((std::cos(kPi * Value) + 1) * 0.5L);
  return 0;
}

const TClassInfo& TSplineKernel::StaticClass() {
  static const TClassInfo info = KernelClass<TSplineKernel>("TSplineKernel", &TCustomKernel::StaticClass());
  return info;
}

float TSplineKernel::Filter(float Value) const {
  const ld a = std::fabs(static_cast<ld>(Value));
  if (a < 1) return static_cast<float>(0.5L * a * a * a - a * a + 2.0L / 3);
  if (a < 2) {
    const ld t = 2 - a;
    return static_cast<float>(t * t * t / 6);
  }
  return 0;
}

const TClassInfo& TMitchellKernel::StaticClass() {
  static const TClassInfo info = KernelClass<TMitchellKernel>("TMitchellKernel", &TCustomKernel::StaticClass());
  return info;
}

float TMitchellKernel::Filter(float Value) const {
  const ld a = std::fabs(static_cast<ld>(Value));
  const ld a2 = a * a, a3 = a2 * a;
  if (a < 1) return static_cast<float>((21 * a3 - 36 * a2 + 16) / 18);
  if (a < 2) return static_cast<float>((-7 * a3 + 36 * a2 - 60 * a + 32) / 18);
  return 0;
}

// --- Cubic and Hermite ----------------------------------------------------------

const TClassInfo& TCubicKernel::StaticClass() {
  using C = TCubicKernel;
  static const TClassInfo info =
      KernelClass<C>("TCubicKernel", &TCustomKernel::StaticClass(),
                     {FloatProperty<C>("Coeff", &C::Coeff, [](C& k, double v) { k.SetCoeff(float(v)); })});
  return info;
}

void TCubicKernel::SetCoeff(float Value) {
  if (Value == FCoeff) return;
  FCoeff = Value;
  Changed();
}

float TCubicKernel::Filter(float Value) const {
  const ld a = std::fabs(static_cast<ld>(Value));
  const ld c = FCoeff, a2 = a * a, a3 = a2 * a;
  if (a < 1) return static_cast<float>((c + 2) * a3 - (c + 3) * a2 + 1);
  if (a < 2) return static_cast<float>((a3 - 5 * a2 + 8 * a - 4) * c);
  return 0;
}

const TClassInfo& THermiteKernel::StaticClass() {
  using C = THermiteKernel;
  static const TClassInfo info =
      KernelClass<C>("THermiteKernel", &TCustomKernel::StaticClass(),
                     {FloatProperty<C>("Bias", &C::Bias, [](C& k, double v) { k.SetBias(float(v)); }),
                      FloatProperty<C>("Tension", &C::Tension, [](C& k, double v) { k.SetTension(float(v)); })});
  return info;
}

void THermiteKernel::SetBias(float Value) {
  if (Value == FBias) return;
  FBias = Value;
  Changed();
}

void THermiteKernel::SetTension(float Value) {
  if (Value == FTension) return;
  FTension = Value;
  Changed();
}

float THermiteKernel::Filter(float Value) const {
  if (!std::isfinite(Value)) return 0;
  const ld T = (1 - static_cast<ld>(FTension)) * 0.5L;
  const ld P = (1 + static_cast<ld>(FBias)) * T;
  const ld Q = (1 - static_cast<ld>(FBias)) * T;
  const ld z = std::floor(static_cast<ld>(Value));
  const ld b = Value - z, b2 = b * b, b3 = b2 * b;
  const ld u = b3 - 2 * b2 + b, v = b3 - b2, w = 3 * b2 - 2 * b3;
  if (z == -2) return static_cast<float>(v * Q);
  if (z == -1) return static_cast<float>(u * Q + w + (P - Q) * v);
  if (z == 0) return static_cast<float>((P - Q) * u + (1 - w) - v * P);
  if (z == 1) return static_cast<float>(-u * P);
  return 0;
}

// --- Windowed sinc ------------------------------------------------------------------

const TClassInfo& TWindowedSincKernel::StaticClass() {
  using C = TWindowedSincKernel;
  static const TClassInfo info{
      "TWindowedSincKernel",
      &TCustomKernel::StaticClass(),
      {},
      {FloatProperty<C>("Width", &C::Width, [](C& k, double v) { k.SetWidth(float(v)); })}};
  return info;
}

void TWindowedSincKernel::SetWidth(float Value) {
  if (!AcceptWidth(Value) || Value == FWidth) return;
  FWidth = Value;
  FWidthReciprocal = static_cast<float>(1 / static_cast<ld>(Value));
  Changed();
}

float TWindowedSincKernel::Filter(float Value) const {
  const float a = std::fabs(Value);
  if (!(a < FWidth)) return 0;  // also NaN
  return static_cast<float>(Sinc(a) * WindowAt(a));
}

const TClassInfo& TAlbrechtKernel::StaticClass() {
  using C = TAlbrechtKernel;
  static const TClassInfo info =
      KernelClass<C>("TAlbrechtKernel", &TWindowedSincKernel::StaticClass(),
                     {IntegerProperty<C>("Terms", &C::Terms, [](C& k, std::int64_t v) {
                       k.SetTerms(int(std::clamp<std::int64_t>(v, 2, 11)));
                     })});
  return info;
}

TAlbrechtKernel::TAlbrechtKernel() { SetTerms(7); }

void TAlbrechtKernel::SetTerms(int Value) {
  Value = std::clamp(Value, 2, 11);
  if (Value == FTerms) return;
  FTerms = Value;
  for (int k = 0; k < 11; ++k) FCoefPointer[k] = k < Value ? kAlbrechtCoefs[Value - 2][k] : 0;
}

float TAlbrechtKernel::WindowAt(float X) const {
  const double c = static_cast<double>(WindowCos(X, FWidthReciprocal));
  float r = static_cast<float>(FCoefPointer[FTerms - 1]);
  for (int k = FTerms - 2; k >= 0; --k) r = static_cast<float>(static_cast<ld>(r) * c + FCoefPointer[k]);
  return r;
}

const TClassInfo& TLanczosKernel::StaticClass() {
  static const TClassInfo info =
      KernelClass<TLanczosKernel>("TLanczosKernel", &TWindowedSincKernel::StaticClass());
  return info;
}

float TLanczosKernel::WindowAt(float X) const {
  return static_cast<float>(Sinc(static_cast<float>(static_cast<ld>(X) * FWidthReciprocal)));
}

const TClassInfo& TGaussianKernel::StaticClass() {
  using C = TGaussianKernel;
  static const TClassInfo info =
      KernelClass<C>("TGaussianKernel", &TWindowedSincKernel::StaticClass(),
                     {FloatProperty<C>("Sigma", &C::Sigma, [](C& k, double v) { k.SetSigma(float(v)); })});
  return info;
}

TGaussianKernel::TGaussianKernel()
    : FSigmaReciprocalLn2(static_cast<float>(-std::log(2.0L) / static_cast<ld>(FSigma))) {}

void TGaussianKernel::SetSigma(float Value) {
  if (Value == FSigma || Value == 0 || std::isnan(Value)) return;
  FSigma = Value;
  FSigmaReciprocalLn2 = static_cast<float>(-std::log(2.0L) / static_cast<ld>(Value));
  Changed();
}

float TGaussianKernel::WindowAt(float X) const {
  return static_cast<float>(std::exp(static_cast<ld>(X) * X * FSigmaReciprocalLn2));
}

const TClassInfo& TBlackmanKernel::StaticClass() {
  static const TClassInfo info =
      KernelClass<TBlackmanKernel>("TBlackmanKernel", &TWindowedSincKernel::StaticClass());
  return info;
}

float TBlackmanKernel::WindowAt(float X) const {
  const ld c = WindowCos(X, FWidthReciprocal);
  return static_cast<float>(0.34L + 0.5L * c + 0.16L * c * c);
}

const TClassInfo& THannKernel::StaticClass() {
  static const TClassInfo info = KernelClass<THannKernel>("THannKernel", &TWindowedSincKernel::StaticClass());
  return info;
}

float THannKernel::WindowAt(float X) const {
  return static_cast<float>(0.5L * WindowCos(X, FWidthReciprocal) + 0.5L);
}

const TClassInfo& THammingKernel::StaticClass() {
  static const TClassInfo info =
      KernelClass<THammingKernel>("THammingKernel", &TWindowedSincKernel::StaticClass());
  return info;
}

float THammingKernel::WindowAt(float X) const {
  return static_cast<float>(0.46L * WindowCos(X, FWidthReciprocal) + 0.54L);
}

// --- Sinsh ----------------------------------------------------------------------------

const TClassInfo& TSinshKernel::StaticClass() {
  using C = TSinshKernel;
  static const TClassInfo info =
      KernelClass<C>("TSinshKernel", &TCustomKernel::StaticClass(),
                     {FloatProperty<C>("Width", &C::Width, [](C& k, double v) { k.SetWidth(float(v)); }),
                      FloatProperty<C>("Coeff", &C::Coeff, [](C& k, double v) { k.SetCoeff(float(v)); })});
  return info;
}

void TSinshKernel::SetWidth(float Value) {
  if (!AcceptWidth(Value) || Value == FWidth) return;
  FWidth = Value;
  Changed();
}

void TSinshKernel::SetCoeff(float Value) {
  if (Value == FCoeff || Value == 0 || std::isnan(Value)) return;
  FCoeff = Value;
  Changed();
}

float TSinshKernel::Filter(float Value) const {
  if (Value == 0) return 1;
  const ld v = Value, c = FCoeff;
  const ld d = std::sinh(kPi * c * v);
  if (d == 0 || !std::isfinite(d)) return 0;  // far out: sin / sinh vanishes
  return static_cast<float>(c * std::sin(kPi * v) / d);
}

}  // namespace velkor::Raster_Resamplers
