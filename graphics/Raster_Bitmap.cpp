// TCustomBitmap32: life cycle, backend hand-over, settings, the clip
// rectangles, notification and the pixel accessors. Lines, rectangles and
// whole-image operations are in Raster_BitmapLines.cpp and
// Raster_BitmapRects.cpp.
//
// Fixed-point positions: the 16.16 accessors drop 8 bits to reach 24.8 after
// adding 127 (not 128), so an exact half of a 24.8 step rounds down. The
// plain forms shift logically (the caller keeps positions inside the bitmap),
// the clipped S forms arithmetically, so that a position just left of or
// above the bitmap stays negative and is clipped instead of wrapping to a
// huge column.
#include <cmath>
#include <exception>

#include "graphics/Raster.h"
#include "graphics/Raster_Backends_Generic.h"
#include "graphics/Raster_Blend.h"
#include "graphics/Raster_BitmapSupport.h"
#include "graphics/Raster_Containers.h"
#include "graphics/Raster_LowLevel.h"
#include "graphics/Raster_Resamplers.h"

namespace velkor {

namespace {

constexpr std::string_view kDrawModeNames[] = {"dmOpaque", "dmBlend", "dmCustom", "dmTransparent"};
constexpr std::string_view kCombineModeNames[] = {"cmBlend", "cmMerge"};
constexpr std::string_view kWrapModeNames[] = {"wmClamp", "wmRepeat", "wmMirror"};

bool Inside(const TRect& R, int X, int Y) { return X >= R.Left && X < R.Right && Y >= R.Top && Y < R.Bottom; }

}  // namespace

namespace RasterBitmap {

int RoundToInt(double V) {
  if (std::isnan(V)) return 0;
  const double r = std::nearbyint(V);
  if (r <= double(INT32_MIN)) return INT32_MIN;
  if (r >= double(INT32_MAX)) return INT32_MAX;
  return static_cast<int>(r);
}

}  // namespace RasterBitmap

using RasterBitmap::RoundToInt;
using RasterBitmap::Shr8;
using RasterBitmap::Sar8;

TToolkitGraphicsHooks& ToolkitGraphicsHooks() {
  static TToolkitGraphicsHooks hooks;
  return hooks;
}

// --- life cycle ---------------------------------------------------------------

TCustomBitmap32::TCustomBitmap32() = default;

TCustomBitmap32::TCustomBitmap32(TCustomBackendClass BackendClass) : FRequestedBackendClass(BackendClass) {}

void TCustomBitmap32::AfterConstruction() {
  TCustomMap::AfterConstruction();
  CreateBackend(FRequestedBackendClass ? FRequestedBackendClass : GetPlatformBackendClass());
  FOuterColor = 0;
  FMasterAlpha = 255;
  FPenColor = 0xFFFFFFFFu;
  FStippleStep = 1.0f;
  FCombineMode = cmBlend;
  BlendProc = *Raster_Blend::BlendIntoByMode[cmBlend];
  SelectWrapProcs();
  NewResampler<Raster_Resamplers::TNearestResampler>(*this);
}

TCustomBitmap32::~TCustomBitmap32() {
  BeginUpdate();
  Lock();
  try {
    SetSize(0, 0);
  } catch (...) {
    // Emptying a surface allocates nothing; nothing sensible is left to do.
  }
  delete FResampler;
  FResampler = nullptr;
  DropBackend();
  Unlock();
}

const TClassInfo& TCustomBitmap32::StaticClass() {
  using C = TCustomBitmap32;
  static const TClassInfo info{
      "TCustomBitmap32",
      &TCustomMap::StaticClass(),
      [] { return New<TCustomBitmap32>(); },
      {EnumProperty<C, TDrawMode>("DrawMode", kDrawModeNames, &C::DrawMode, &C::SetDrawMode),
       EnumProperty<C, TCombineMode>("CombineMode", kCombineModeNames, &C::CombineMode, &C::SetCombineMode),
       EnumProperty<C, TWrapMode>("WrapMode", kWrapModeNames, &C::WrapMode, &C::SetWrapMode),
       IntegerProperty<C>("MasterAlpha", &C::MasterAlpha,
                          [](C& b, std::int64_t v) { b.SetMasterAlpha(std::uint32_t(v)); }),
       IntegerProperty<C>("OuterColor", &C::OuterColor,
                          [](C& b, std::int64_t v) { b.SetOuterColor(TColor32(v)); }),
       StringProperty<C>("ResamplerClassName", &C::ResamplerClassName,
                         [](C& b, const std::string& v) { b.SetResamplerClassName(v); }),
       ObjectProperty<C>("Resampler", [](const C& b) -> TPersistent* { return b.Resampler(); })}};
  return info;
}

void TCustomBitmap32::CreateBackend(TCustomBackendClass BackendClass) {
  if (!BackendClass) BackendClass = &TMemoryBackend::StaticClass();
  std::unique_ptr<TPersistent> made = BackendClass->Create();
  auto* backend = dynamic_cast<TCustomBackend*>(made.get());
  if (!backend) {
    throw EBitmapException("Class '" + std::string(BackendClass->Name) + "' is not a bitmap backend");
  }
  made.release();
  backend->FOwner = this;
  try {
    SetBackend(backend);
  } catch (...) {
    backend->Release();
    throw;
  }
}

TCustomBackendClass TCustomBitmap32::GetPlatformBackendClass() const { return &TMemoryBackend::StaticClass(); }

void TCustomBitmap32::SetBackend(TCustomBackend* Value) {
  if (!Value || Value == FBackend) return;
  BeginUpdate();
  const int oldWidth = FWidth, oldHeight = FHeight;
  try {
    Value->FOwner = this;
    if (FBackend) {
      Value->Assign(FBackend);
      DropBackend();
    }
  } catch (...) {
    // The new backend could not take the pixels over: keep the old one,
    // whose surface is untouched. The caller still holds Value's reference.
    FWidth = oldWidth;
    FHeight = oldHeight;
    Value->FOwner = nullptr;
    EndUpdate();
    throw;
  }
  FBackend = Value;
  Value->OnChange = [this](TObject*) { BackendChanged(); };
  Value->OnChanging = [this](TObject*) { BackendChanging(); };
  EndUpdate();
  FBackend->Changed();
  Changed();
}

void TCustomBitmap32::DropBackend() {
  if (!FBackend) return;
  TCustomBackend* backend = FBackend;
  backend->FOwner = nullptr;
  backend->OnChange = nullptr;
  backend->OnChanging = nullptr;
  FBackend = nullptr;
  backend->Release();
}

TCustomBackend* TCustomBitmap32::ReleaseBackend() {
  if (FBackend) FBackend->AddRef();
  return FBackend;
}

void TCustomBitmap32::ChangeSize(int& Width, int& Height, int NewWidth, int NewHeight) {
  if (!FBackend) {
    // Only a bitmap that never went through New<> (AfterConstruction makes
    // the backend) has none: a size without a pixel store would send every
    // pixel routine through a null pointer.
    if (NewWidth > 0 && NewHeight > 0)
      throw EBitmapException("The bitmap has no pixel store: make it with New<>");
    TCustomMap::ChangeSize(Width, Height, NewWidth, NewHeight);
    return;
  }
  FBackend->ChangeSize(Width, Height, NewWidth, NewHeight, true);
}

void TCustomBitmap32::BackendChanging() {}

void TCustomBitmap32::BackendChanged() {
  FBits = FBackend ? FBackend->Bits() : nullptr;
  ResetClipRect();
}

bool TCustomBitmap32::Empty() const {
  return !FBackend || FBackend->Empty() || !FBits || FWidth == 0 || FHeight == 0;
}

void TCustomBitmap32::Delete() { SetSize(0, 0); }

// --- content ------------------------------------------------------------------

void TCustomBitmap32::Clear() { Clear(0xFF000000u); }

void TCustomBitmap32::Clear(TColor32 FillColor) {
  if (Empty()) return;
  if (!FMeasuringMode) {
    if (FClipping) {
      FillRect(FClipRect.Left, FClipRect.Top, FClipRect.Right, FClipRect.Bottom, FillColor);
    } else {
      Raster_LowLevel::FillLongwords(FBits, std::uint32_t(FWidth) * std::uint32_t(FHeight), FillColor);
    }
  }
  Changed();
}

void TCustomBitmap32::ResetAlpha() { ResetAlpha(255); }

void TCustomBitmap32::ResetAlpha(std::uint8_t AlphaValue) {
  if (!FMeasuringMode && !Empty()) {
    const std::size_t count = std::size_t(FWidth) * std::size_t(FHeight);
    const TColor32 alpha = TColor32(AlphaValue) << 24;
    for (std::size_t i = 0; i < count; ++i) FBits[i] = (FBits[i] & 0x00FFFFFFu) | alpha;
  }
  Changed();
}

void TCustomBitmap32::Assign(const TPersistent* Source) {
  BeginUpdate();
  try {
    if (!Source) {
      SetSize(0, 0);
    } else if (auto* bitmap = dynamic_cast<const TCustomBitmap32*>(Source)) {
      bitmap->CopyPixelsTo(this);
      bitmap->CopySettingsTo(this);
    } else if (!(ToolkitGraphicsHooks().AssignFrom && ToolkitGraphicsHooks().AssignFrom(*this, Source))) {
      TCustomMap::Assign(Source);
    }
  } catch (...) {
    EndUpdate();
    Changed();
    throw;
  }
  EndUpdate();
  Changed();
}

void TCustomBitmap32::AssignTo(TPersistent* Dest) const {
  if (ToolkitGraphicsHooks().AssignTo && ToolkitGraphicsHooks().AssignTo(*this, Dest)) return;
  TCustomMap::AssignTo(Dest);
}

void TCustomBitmap32::CopyPixelsTo(TCustomBitmap32* Dst) const {
  if (!Dst) return;
  Dst->SetSize(FWidth, FHeight);
  if (Empty() || Dst->Empty() || Dst->Width() != FWidth || Dst->Height() != FHeight) return;
  Raster_LowLevel::MoveLongwords(FBits, Dst->FBits, FWidth * FHeight);
}

void TCustomBitmap32::CopySettingsTo(TCustomBitmap32* Dst) const {
  if (!Dst) return;
  Dst->SetDrawMode(FDrawMode);
  Dst->SetCombineMode(FCombineMode);
  Dst->SetWrapMode(FWrapMode);
  Dst->SetMasterAlpha(FMasterAlpha);
  Dst->FOuterColor = FOuterColor;
  Dst->SetResamplerClassName(ResamplerClassName());
  if (Dst->FResampler && FResampler) Dst->FResampler->Assign(FResampler);
}

// --- modes --------------------------------------------------------------------

void TCustomBitmap32::SetDrawMode(TDrawMode Value) {
  if (FDrawMode == Value) return;
  FDrawMode = Value;
  Changed();
}

void TCustomBitmap32::SetCombineMode(TCombineMode Value) {
  if (FCombineMode == Value) return;
  FCombineMode = Value;
  BlendProc = *Raster_Blend::BlendIntoByMode[Value];
  Changed();
}

void TCustomBitmap32::SetWrapMode(TWrapMode Value) {
  if (FWrapMode == Value) return;
  FWrapMode = Value;
  SelectWrapProcs();
  Changed();
}

void TCustomBitmap32::SetMasterAlpha(std::uint32_t Value) {
  if (FMasterAlpha == Value) return;
  FMasterAlpha = Value;
  Changed();
}

void TCustomBitmap32::SetResampler(TCustomResampler* Value) {
  if (!Value || Value == FResampler) return;
  delete FResampler;
  FResampler = Value;
  Value->FBitmap = this;
  Changed();
}

std::string TCustomBitmap32::ResamplerClassName() const {
  return FResampler ? std::string(FResampler->ClassName()) : std::string();
}

void TCustomBitmap32::SetResamplerClassName(std::string_view Value) {
  if (Value.empty() || Value == ResamplerClassName()) return;
  const Raster_Containers::TClassList* list = Raster_Resamplers::ResamplerClassList;
  if (!list) return;
  TClass cls = list->Find(Value);
  if (!cls || !cls->Factory) return;
  std::unique_ptr<TPersistent> made = cls->Create();
  auto* resampler = dynamic_cast<TCustomResampler*>(made.get());
  if (!resampler) return;
  made.release();
  SetResampler(resampler);
}

// --- clip rectangle ---------------------------------------------------------------

void TCustomBitmap32::SetClipRect(const TRect& Value) {
  IntersectRects(FClipRect, Value, BoundsRect());
  auto shl = [](int v, int n) { return std::int32_t(std::uint32_t(v) << n); };
  FFixedClipRect = {shl(FClipRect.Left, 16), shl(FClipRect.Top, 16), shl(FClipRect.Right, 16),
                    shl(FClipRect.Bottom, 16)};
  F256ClipRect = {shl(FClipRect.Left, 8), shl(FClipRect.Top, 8), shl(FClipRect.Right, 8),
                  shl(FClipRect.Bottom, 8)};
  FClipping = !EqualRects(FClipRect, BoundsRect());
  SelectWrapProcs();
}

void TCustomBitmap32::ResetClipRect() { SetClipRect(BoundsRect()); }

void TCustomBitmap32::SelectWrapProcs() {
  WrapProcHorz = Raster_LowLevel::SelectWrapProcEx(FWrapMode, FClipRect.Left, FClipRect.Right - 1);
  WrapProcVert = Raster_LowLevel::SelectWrapProcEx(FWrapMode, FClipRect.Top, FClipRect.Bottom - 1);
}

// --- notification -------------------------------------------------------------------

void TCustomBitmap32::Changed() { Changed(BoundsRect(), AREAINFO_RECT); }

void TCustomBitmap32::Changed(const TRect& Area, std::uint32_t Info) {
  if ((FUpdateCount == 0 || FMeasuringMode) && OnAreaChanged) OnAreaChanged(this, Area, Info);
  if (!FMeasuringMode) TCustomMap::Changed();
}

void TCustomBitmap32::PropertyChanged() { TCustomMap::Changed(); }

void TCustomBitmap32::BeginMeasuring(TAreaChangedEvent Callback) {
  FMeasuringMode = true;
  FOldOnAreaChanged = std::move(OnAreaChanged);
  OnAreaChanged = std::move(Callback);
}

void TCustomBitmap32::EndMeasuring() {
  FMeasuringMode = false;
  OnAreaChanged = std::move(FOldOnAreaChanged);
  FOldOnAreaChanged = nullptr;
}

// --- pixel access -----------------------------------------------------------------------

TColor32 TCustomBitmap32::GetPixelS(int X, int Y) const {
  return Inside(FClipRect, X, Y) ? GetPixel(X, Y) : FOuterColor;
}

void TCustomBitmap32::SetPixelS(int X, int Y, TColor32 Value) {
  if (Inside(FClipRect, X, Y)) SetPixel(X, Y, Value);
}

void TCustomBitmap32::SetPixelT(int X, int Y, TColor32 Value) {
  BlendProc(Value, *PixelPtr(X, Y));
  Raster_Blend::ClearMMXState();
}

void TCustomBitmap32::SetPixelT(PColor32& Ptr, TColor32 Value) {
  BlendProc(Value, *Ptr);
  ++Ptr;
  Raster_Blend::ClearMMXState();
}

void TCustomBitmap32::SetPixelTS(int X, int Y, TColor32 Value) {
  if (Inside(FClipRect, X, Y)) SetPixelT(X, Y, Value);
}

// The wrapped forms need a clip rectangle to wrap into; an empty one (an
// empty bitmap, or a clip rectangle set outside it) reads OuterColor and
// writes nothing instead of reaching for a pixel that does not exist.
TColor32 TCustomBitmap32::GetPixelW(int X, int Y) const {
  if (IsRectEmpty32(FClipRect)) return FOuterColor;
  return GetPixel(WrapProcHorz(X, FClipRect.Left, FClipRect.Right - 1),
                  WrapProcVert(Y, FClipRect.Top, FClipRect.Bottom - 1));
}

void TCustomBitmap32::SetPixelW(int X, int Y, TColor32 Value) {
  if (IsRectEmpty32(FClipRect)) return;
  SetPixel(WrapProcHorz(X, FClipRect.Left, FClipRect.Right - 1),
           WrapProcVert(Y, FClipRect.Top, FClipRect.Bottom - 1), Value);
}

void TCustomBitmap32::SetPixelX(TFixed X, TFixed Y, TColor32 Value) { BlendPixel256(Shr8(X), Shr8(Y), Value); }

void TCustomBitmap32::SetPixelXS(TFixed X, TFixed Y, TColor32 Value) { BlendPixel256S(Sar8(X), Sar8(Y), Value); }

void TCustomBitmap32::SetPixelF(float X, float Y, TColor32 Value) {
  BlendPixel256(RoundToInt(double(X) * 256), RoundToInt(double(Y) * 256), Value);
}

void TCustomBitmap32::SetPixelFS(float X, float Y, TColor32 Value) {
  BlendPixel256S(RoundToInt(double(X) * 256), RoundToInt(double(Y) * 256), Value);
}

// The position is wrapped so that its 2 x 2 footprint starts inside the clip
// rectangle; the footprint's right and lower neighbours are clipped like
// BlendPixel256S's, because at the last column or row they lie outside it
// (past the end of the pixel store at the bottom edge).
void TCustomBitmap32::SetPixelXW(TFixed X, TFixed Y, TColor32 Value) {
  if (IsRectEmpty32(FClipRect)) return;
  BlendPixel256S(WrapProcHorz(Shr8(X), F256ClipRect.Left, F256ClipRect.Right - 128),
                 WrapProcVert(Shr8(Y), F256ClipRect.Top, F256ClipRect.Bottom - 128), Value);
}

void TCustomBitmap32::SetPixelFW(float X, float Y, TColor32 Value) {
  SetPixelXW(RoundToInt(double(X) * 65536), RoundToInt(double(Y) * 65536), Value);
}

TColor32 TCustomBitmap32::GetPixelX(TFixed X, TFixed Y) const { return GetPixelInterpolated(Shr8(X), Shr8(Y)); }

TColor32 TCustomBitmap32::GetPixelXS(TFixed X, TFixed Y) const {
  return GetPixelInterpolatedS(Sar8(X), Sar8(Y));
}

TColor32 TCustomBitmap32::GetPixelF(float X, float Y) const {
  return GetPixelInterpolated(RoundToInt(double(X) * 256), RoundToInt(double(Y) * 256));
}

TColor32 TCustomBitmap32::GetPixelFS(float X, float Y) const {
  return GetPixelInterpolatedS(RoundToInt(double(X) * 256), RoundToInt(double(Y) * 256));
}

TColor32 TCustomBitmap32::GetPixelXW(TFixed X, TFixed Y) const {
  if (IsRectEmpty32(FClipRect)) return FOuterColor;
  const int xi = X >> 16, yi = Y >> 16;
  const int x0 = WrapProcHorz(xi, FClipRect.Left, FClipRect.Right - 1);
  const int x1 = WrapProcHorz(int(std::uint32_t(xi) + 1), FClipRect.Left, FClipRect.Right - 1);
  const int y0 = WrapProcVert(yi, FClipRect.Top, FClipRect.Bottom - 1);
  const int y1 = WrapProcVert(int(std::uint32_t(yi) + 1), FClipRect.Top, FClipRect.Bottom - 1);
  const int fx = int((std::uint32_t(X) >> 8) & 255), fy = int((std::uint32_t(Y) >> 8) & 255);
  const TColor32 top = Raster_Blend::CombineColor(GetPixel(x1, y0), GetPixel(x0, y0), fx);
  const TColor32 bottom = Raster_Blend::CombineColor(GetPixel(x1, y1), GetPixel(x0, y1), fx);
  const TColor32 result = Raster_Blend::CombineColor(bottom, top, fy);
  Raster_Blend::ClearMMXState();
  return result;
}

TColor32 TCustomBitmap32::GetPixelFW(float X, float Y) const {
  return GetPixelXW(RoundToInt(double(X) * 65536), RoundToInt(double(Y) * 65536));
}

TColor32 TCustomBitmap32::GetPixelXR(TFixed X, TFixed Y) const { return FResampler->GetSampleFixed(X, Y); }

TColor32 TCustomBitmap32::GetPixelFR(float X, float Y) const { return FResampler->GetSampleFloat(X, Y); }

namespace {

// The four weights of a 24.8 position's 2 x 2 footprint, in the order the
// pixels are written: (ix, iy), (ix + 1, iy), (ix + 1, iy + 1), (ix, iy + 1).
struct TFootprint {
  int ix, iy;
  int wx0, wx1, wy0, wy1;
};

TFootprint FootprintOf(int ix, int iy, int X, int Y) {
  const int fx = X & 255, fy = Y & 255;
  return {ix, iy, GammaTable[255 - fx], GammaTable[fx], GammaTable[255 - fy], GammaTable[fy]};
}

// Writes Value into the footprint's pixels whose flag is set; cmBlend
// scales Value's alpha by the weights, cmMerge merges Value over the pixel
// first and mixes the result in by the weights alone. Index00 is the store
// index of (ix, iy); only flagged pixels are addressed.
void BlendFootprint(TColor32* Bits, std::ptrdiff_t Index00, int Width, const TFootprint& f, TCombineMode Mode,
                    TColor32 Value, const bool (&Write)[4]) {
  const std::ptrdiff_t offsets[4] = {0, 1, std::ptrdiff_t(Width) + 1, Width};
  const int wx[4] = {f.wx0, f.wx1, f.wx1, f.wx0};
  const int wy[4] = {f.wy0, f.wy0, f.wy1, f.wy1};
  const std::uint32_t a = Value >> 24;
  for (int i = 0; i < 4; ++i) {
    if (!Write[i]) continue;
    TColor32& pixel = Bits[Index00 + offsets[i]];
    if (Mode == cmBlend) {
      Raster_Blend::CombineColorInto(Value, pixel, int((a * wx[i] * wy[i]) >> 16));
    } else {
      Raster_Blend::CombineColorInto(Raster_Blend::MergeColor(Value, pixel), pixel, (wx[i] * wy[i]) >> 8);
    }
  }
  Raster_Blend::ClearMMXState();
}

}  // namespace

void TCustomBitmap32::BlendPixel256(int X, int Y, TColor32 Value) {
  const int ix = int(std::uint32_t(X) >> 8), iy = int(std::uint32_t(Y) >> 8);
  static constexpr bool all[4] = {true, true, true, true};
  BlendFootprint(FBits, std::ptrdiff_t(iy) * FWidth + ix, FWidth, FootprintOf(ix, iy, X, Y), FCombineMode, Value,
                 all);
}

void TCustomBitmap32::BlendPixel256S(int X, int Y, TColor32 Value) {
  if (X < F256ClipRect.Left - 256 || X >= F256ClipRect.Right || Y < F256ClipRect.Top - 256 ||
      Y >= F256ClipRect.Bottom) {
    return;
  }
  const int ix = X >> 8, iy = Y >> 8;
  const bool left = ix >= FClipRect.Left, right = ix < FClipRect.Right - 1;
  const bool top = iy >= FClipRect.Top, bottom = iy < FClipRect.Bottom - 1;
  const bool write[4] = {left && top, right && top, right && bottom, left && bottom};
  BlendFootprint(FBits, std::ptrdiff_t(iy) * FWidth + ix, FWidth, FootprintOf(ix, iy, X, Y), FCombineMode, Value,
                 write);
}

TColor32 TCustomBitmap32::GetPixelInterpolated(int X, int Y) const {
  const TColor32* p = PixelPtr(int(std::uint32_t(X) >> 8), int(std::uint32_t(Y) >> 8));
  const TColor32 result = Raster_Resamplers::Interpolate2x2(GammaTable[255 - (X & 255)],
                                                            GammaTable[255 - (Y & 255)], p, p + FWidth);
  Raster_Blend::ClearMMXState();
  return result;
}

TColor32 TCustomBitmap32::GetPixelInterpolatedS(int X, int Y) const {
  if (X < F256ClipRect.Left || Y < F256ClipRect.Top) return FOuterColor;
  const int rx = (FClipRect.Right - 1) * 256, ry = (FClipRect.Bottom - 1) * 256;
  if (X < rx && Y < ry) return GetPixelInterpolated(X, Y);
  if (X == rx && Y <= ry) return GetPixel(FClipRect.Right - 1, Y / 256);
  if (X <= rx && Y == ry) return GetPixel(X / 256, FClipRect.Bottom - 1);
  return FOuterColor;
}

}  // namespace velkor
