// The two bases of the resampling machinery: a sampler, which answers a
// colour for a position given as integers, 16.16 fixed point or floats, and
// a resampler, a sampler that reads one bitmap and belongs to it.
#include <cmath>
#include <limits>

#include "graphics/Raster.h"
#include "graphics/Raster_Containers.h"

namespace velkor {

namespace {

const std::string_view kPixelAccessModeNames[] = {"pamUnsafe", "pamSafe", "pamWrap", "pamTransparentEdge"};

}  // namespace

// --- TCustomSampler ------------------------------------------------------------------

const TClassInfo& TCustomSampler::StaticClass() {
  static const TClassInfo info{"TCustomSampler", &TNotifiablePersistent::StaticClass(), {}, {}};
  return info;
}

TColor32 TCustomSampler::GetSampleInt(int X, int Y) {
  return GetSampleFixed(TFixed(std::uint32_t(X) << 16), TFixed(std::uint32_t(Y) << 16));
}

TColor32 TCustomSampler::GetSampleFixed(TFixed X, TFixed Y) {
  return GetSampleFloat(float(X) / 65536.0f, float(Y) / 65536.0f);
}

TColor32 TCustomSampler::GetSampleFloat(float X, float Y) {
  return GetSampleFixed(FloatToFixed(X), FloatToFixed(Y));
}

void TCustomSampler::PrepareSampling() {}

void TCustomSampler::FinalizeSampling() {}

bool TCustomSampler::HasBounds() const { return false; }

TFloatRect TCustomSampler::GetSampleBounds() const {
  constexpr float inf = std::numeric_limits<float>::infinity();
  return {-inf, -inf, inf, inf};
}

// --- TCustomResampler ----------------------------------------------------------------

TCustomResampler::TCustomResampler() { FPixelAccessMode = pamSafe; }

TCustomResampler::TCustomResampler(TCustomBitmap32* ABitmap) : TCustomResampler() { FBitmap = ABitmap; }

const TClassInfo& TCustomResampler::StaticClass() {
  using C = TCustomResampler;
  static const TClassInfo info{
      "TCustomResampler",
      &TCustomSampler::StaticClass(),
      {},
      {EnumProperty<C, TPixelAccessMode>("PixelAccessMode", kPixelAccessModeNames, &C::PixelAccessMode,
                                         &C::SetPixelAccessMode)}};
  return info;
}

void TCustomResampler::AfterConstruction() {
  TCustomSampler::AfterConstruction();
  // The bitmap frees its previous resampler and owns this one from now on.
  if (FBitmap) FBitmap->SetResampler(this);
}

void TCustomResampler::Changed() {
  if (FBitmap) FBitmap->Changed();
}

void TCustomResampler::AssignTo(TPersistent* Dest) const {
  if (dynamic_cast<TCustomResampler*>(Dest)) {
    Raster_Containers::CopyPublishedProperties(this, Dest, tkProperties);
    return;
  }
  TCustomSampler::AssignTo(Dest);
}

void TCustomResampler::PrepareSampling() {
  if (FBitmap) FClipRect = FBitmap->ClipRect();
}

bool TCustomResampler::HasBounds() const { return FPixelAccessMode != pamWrap; }

TFloatRect TCustomResampler::GetSampleBounds() const {
  TFloatRect bounds = FBitmap ? RectToFloatRect(FBitmap->ClipRect()) : TFloatRect{};
  if (FPixelAccessMode == pamTransparentEdge) InflateFloatRect(bounds, 1, 1);
  return bounds;
}

float TCustomResampler::GetWidth() const { return 0; }

void TCustomResampler::SetPixelAccessMode(TPixelAccessMode Value) {
  if (Value == FPixelAccessMode) return;
  FPixelAccessMode = Value;
  Changed();
}

}  // namespace velkor
