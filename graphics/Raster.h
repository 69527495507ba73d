// The raster library's value types and the free routines over them: the
// 32-bit pixel, 16.16 fixed point, points and rectangles in integer, fixed
// and float form, and the gamma table that shapes every anti-aliasing weight.
//
// Integer rectangles have exclusive Right and Bottom edges: (0, 0, W, H)
// covers W x H pixels. "Round" below is to nearest with ties to even.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iosfwd>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/RasterPersistents.h"
#include "graphics/Raster_LowLevel.h"
#include "graphics/Raster_Math.h"
#include "platform/DeviceContexts.h"

namespace velkor {

// $AARRGGBB, straight (not premultiplied) alpha; in memory the bytes lie
// blue, green, red, alpha. Alpha 255 is opaque.
using TColor32 = std::uint32_t;
using PColor32 = TColor32*;
using TColor32Array = std::span<TColor32>;  // a run of pixels addressed by index
using PColor32Array = TColor32*;
using TArrayOfColor32 = std::vector<TColor32>;

using TIntegerArray = std::span<std::int32_t>;
using PIntegerArray = std::int32_t*;
using TArrayOfInteger = std::vector<std::int32_t>;
using TSingleArray = std::span<float>;
using PSingleArray = float*;

// How a bitmap is drawn onto another, and how two colours are composed. The
// bitmap owns these; they sit here because the blending and transfer modules
// below the bitmap already need them.
enum TDrawMode { dmOpaque, dmBlend, dmCustom, dmTransparent };
enum TCombineMode { cmBlend, cmMerge };

// The platform's integer and float points and its integer rectangle.
struct TPoint {
  std::int32_t X = 0, Y = 0;
  friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
};
struct TPointF {
  float X = 0, Y = 0;
  friend constexpr bool operator==(const TPointF&, const TPointF&) = default;
};
struct TRect {
  std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

struct TFloatPoint {
  float X = 0, Y = 0;

  static constexpr TFloatPoint Create(TPoint P) { return {float(P.X), float(P.Y)}; }
  static constexpr TFloatPoint Create(TPointF P) { return {P.X, P.Y}; }
  static constexpr TFloatPoint Create(std::int32_t X, std::int32_t Y) { return {float(X), float(Y)}; }
  static constexpr TFloatPoint Create(float X, float Y) { return {X, Y}; }
  static constexpr TFloatPoint Zero() { return {0, 0}; }

  // Conversion from the platform's float point (a copy).
  static constexpr TFloatPoint FromPointF(TPointF A) { return {A.X, A.Y}; }

  friend constexpr bool operator==(TFloatPoint L, TFloatPoint R) { return L.X == R.X && L.Y == R.Y; }
  friend constexpr TFloatPoint operator+(TFloatPoint L, TFloatPoint R) { return {L.X + R.X, L.Y + R.Y}; }
  friend constexpr TFloatPoint operator-(TFloatPoint L, TFloatPoint R) { return {L.X - R.X, L.Y - R.Y}; }
};
using TArrayOfFloatPoint = std::vector<TFloatPoint>;
using TArrayOfArrayOfFloatPoint = std::vector<TArrayOfFloatPoint>;

// Round(S * 65536). Values beyond the 32-bit range saturate and NaN gives 0,
// where a bare float-to-integer conversion would be undefined.
TFixed FloatToFixed(float S);
// I shifted left by 16; wraps for |I| >= 32768.
constexpr TFixed IntToFixed(std::int32_t I) {
  return static_cast<TFixed>(static_cast<std::uint32_t>(I) << 16);
}

struct TFixedPoint {
  TFixed X = 0, Y = 0;

  static TFixedPoint Create(TPointF P) { return {FloatToFixed(P.X), FloatToFixed(P.Y)}; }
  static TFixedPoint Create(TFloatPoint P) { return {FloatToFixed(P.X), FloatToFixed(P.Y)}; }
  static TFixedPoint Create(float X, float Y) { return {FloatToFixed(X), FloatToFixed(Y)}; }
  // Plain integers: (X, Y) are whole units. Use CreateFixed for values that
  // are already 16.16.
  static constexpr TFixedPoint Create(std::int32_t X, std::int32_t Y) { return {IntToFixed(X), IntToFixed(Y)}; }
  static constexpr TFixedPoint CreateFixed(TFixed X, TFixed Y) { return {X, Y}; }
  static constexpr TFixedPoint Zero() { return {0, 0}; }

  friend constexpr bool operator==(TFixedPoint L, TFixedPoint R) { return L.X == R.X && L.Y == R.Y; }
  // Coordinate-wise, wrapping like the 32-bit integers they are.
  friend constexpr TFixedPoint operator+(TFixedPoint L, TFixedPoint R) {
    return {TFixed(std::uint32_t(L.X) + std::uint32_t(R.X)), TFixed(std::uint32_t(L.Y) + std::uint32_t(R.Y))};
  }
  friend constexpr TFixedPoint operator-(TFixedPoint L, TFixedPoint R) {
    return {TFixed(std::uint32_t(L.X) - std::uint32_t(R.X)), TFixed(std::uint32_t(L.Y) - std::uint32_t(R.Y))};
  }
};

struct TFloatRect {
  float Left = 0, Top = 0, Right = 0, Bottom = 0;

  // The two corners, over the same four values.
  constexpr TFloatPoint TopLeft() const { return {Left, Top}; }
  constexpr TFloatPoint BottomRight() const { return {Right, Bottom}; }
  constexpr void SetTopLeft(TFloatPoint P) { Left = P.X, Top = P.Y; }
  constexpr void SetBottomRight(TFloatPoint P) { Right = P.X, Bottom = P.Y; }
  friend constexpr bool operator==(const TFloatRect&, const TFloatRect&) = default;
};

struct TFixedRect {
  TFixed Left = 0, Top = 0, Right = 0, Bottom = 0;

  constexpr TFixedPoint TopLeft() const { return {Left, Top}; }
  constexpr TFixedPoint BottomRight() const { return {Right, Bottom}; }
  constexpr void SetTopLeft(TFixedPoint P) { Left = P.X, Top = P.Y; }
  constexpr void SetBottomRight(TFixedPoint P) { Right = P.X, Bottom = P.Y; }
  friend constexpr bool operator==(const TFixedRect&, const TFixedRect&) = default;
};

// The toolkit colour $00BBGGRR (or, when negative, a system-colour
// reference whose low byte is the index) as an opaque TColor32.
TColor32 WinColorToColor32(std::int32_t WinColor);

// The system colours a negative toolkit colour refers to, as $00BBGGRR by
// index. The default is a fixed classic palette, so results do not depend on
// the desktop; the styling layer installs the active style's palette.
using TSysColorProvider = std::uint32_t (*)(int Index);
void SetSysColorProvider(TSysColorProvider Provider);  // nullptr restores the default
std::uint32_t GetSysColor(int Index);

constexpr TFloatPoint MakeFloatPoint(float X, float Y) { return {X, Y}; }
constexpr TRect MakeRect(std::int32_t L, std::int32_t T, std::int32_t R, std::int32_t B) { return {L, T, R, B}; }
constexpr TFixedRect MakeFixedRect(TFixed L, TFixed T, TFixed R, TFixed B) { return {L, T, R, B}; }
constexpr TFloatRect MakeFloatRect(float L, float T, float R, float B) { return {L, T, R, B}; }
constexpr TFloatRect RectToFloatRect(const TRect& R) {
  return {float(R.Left), float(R.Top), float(R.Right), float(R.Bottom)};
}

// Rounding of the conversions to integer rectangles.
enum TRectRounding { rrNearest = 0, rrOutward = 1, rrInward = 2 };
// Inward rounding never gives an inverted rectangle: Right and Bottom are
// raised to Left and Top when they would lie before them.
TRect FloatRectToRect(const TFloatRect& FR, int Rounding);
TRect FixedRectToRect(const TFixedRect& FXR, int Rounding);

// The overlap of R1 and R2. Rectangles that only touch give True with an
// empty Dst; False sets Dst to (0, 0, 0, 0). Dst may alias R1 or R2.
bool IntersectRects(TRect& Dst, const TRect& R1, const TRect& R2);
bool EqualRects(const TRect& R1, const TRect& R2);
void InflateFloatRect(TFloatRect& FR, float Dx, float Dy);
void OffsetRectBy(TRect& R, std::int32_t Dx, std::int32_t Dy);
constexpr bool IsRectEmpty32(const TRect& R) { return R.Right <= R.Left || R.Bottom <= R.Top; }

// Entry i is Round((i / 255) ^ Gamma * 255). Start-up fills it with gamma
// 1.6; the anti-aliased routines pass every 8-bit coverage through it.
extern std::array<std::uint8_t, 256> GammaTable;
void BuildGammaTable(float Gamma);

}  // namespace velkor

// ---------------------------------------------------------------------------
// The bitmap, its storage backends and the sampler bases.
//
// A TCustomBitmap32 is Width x Height TColor32 pixels, row after row, in a
// surface that a reference-counted TCustomBackend allocates and frees. The
// bitmap holds one reference to its backend; a backend switch
// (SetBackend) hands size and pixels to the new backend. TBitmap32 is the
// bitmap the program makes: its platform backend is the toolkit's surface
// once the toolkit has started (it offers text, fonts, a canvas and a
// device context), the memory backend before.
//
// Construction is two-phase: make objects with New<T> (or NewBackend /
// NewResampler below). The constructor only stores its arguments;
// AfterConstruction creates the backend and the resampler, so that a
// descendant's GetPlatformBackendClass, SetBackend and BackendChanged
// overrides run. A backend or resampler made for a bitmap joins it in its
// own AfterConstruction.
//
// Name suffixes of the pixel, line and area routines: none = no bounds
// test (the caller keeps every touched pixel inside the bitmap); S = clipped
// to ClipRect; T = blended with the combine mode's routine instead of
// stored; W = coordinates wrapped into ClipRect; X = 16.16 fixed point;
// F = float (converted to fixed point); A = anti-aliased; P = colours from
// the stipple pattern; R = through the resampler. Only the S forms look at
// the measuring mode: they then change no pixel and only report.
//
// Every drawing routine reports what it touched through Changed(Area,
// Info): Info AREAINFO_RECT for a rectangle, AREAINFO_LINE | width for a
// line from (Area.Left, Area.Top) to (Area.Right, Area.Bottom).
namespace velkor {

class TCustomBitmap32;
class TBitmap32;
class TCustomBackend;
class TCustomResampler;

// The toolkit's graphics. The Qt-free library knows them by name only;
// they are defined in graphics/Fonts.h (TFont) and toolkit/ToolkitGraphics.
// Device-context handles: platform/DeviceContexts.h.
class TFont;
class TCanvas;
class TBitmap;
class TIcon;
class TMetafile;
class TPicture;
class TClipboard;

// Raised by the transfers for a nil bitmap and by the backends when a
// surface cannot be had.
class EBitmapException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A bitmap's Canvas, Font, Handle, BitmapHandle or BitmapInfo asked of a
// backend without that capability: "Interface not supported".
class EIntfCastError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using Raster_LowLevel::TWrapMode;
using Raster_LowLevel::wmClamp;
using Raster_LowLevel::wmMirror;
using Raster_LowLevel::wmRepeat;
using Raster_LowLevel::TWrapProcEx;

// Combines the foreground F into the background B with the master value M
// (dmCustom drawing).
using TPixelCombineEvent = std::function<void(TColor32 F, TColor32& B, TColor32 M)>;
// Reports a changed area; see AREAINFO_*.
using TAreaChangedEvent = std::function<void(TPersistent* Sender, const TRect& Area, std::uint32_t Info)>;
inline constexpr std::uint32_t AREAINFO_RECT = 0x80000000u;
inline constexpr std::uint32_t AREAINFO_LINE = 0x40000000u;  // plus the width in the low 24 bits
inline constexpr std::uint32_t AREAINFO_MASK = 0xFF000000u;

// How a resampler reads outside its bitmap's clip rectangle.
enum TPixelAccessMode { pamUnsafe, pamSafe, pamWrap, pamTransparentEdge };

// A backend class: a class reference whose virtual constructor makes a
// backend without owner (TClassInfo::Create, holding one reference).
using TCustomBackendClass = TClass;

// The blend-into-memory routine of a combine mode, as captured.
using TBlendMemProc = void (*)(TColor32 F, TColor32& B);

// --- Backend ----------------------------------------------------------------

class TCustomBackend : public TThreadPersistent {
 public:
  // Counted; the one reference taken here belongs to the owner (or, without
  // one, to the creator, who hands it to SetBackend). With an owner, the
  // backend installs itself there in AfterConstruction.
  TCustomBackend();
  explicit TCustomBackend(TCustomBitmap32* Owner);
  // Each descendant frees its own surface in its own destructor; this one
  // then only runs Clear's bookkeeping on an already empty backend.
  ~TCustomBackend() override;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  void AfterConstruction() override;

  // From another backend with an owner: this backend takes that owner's
  // size and pixels (this backend must have an owner).
  void Assign(const TPersistent* Source) override;

  // ChangeSize to 0 x 0 (ClearBuffer False), written into the owner's size
  // when there is an owner.
  virtual void Clear();
  virtual bool Empty() const;
  // NotifyChanging, FreeSurface, Width = Height = 0, AllocateSurface when
  // both new sizes are positive, then the new size; Changed always runs
  // (also when allocation raises), so the owner re-reads Bits.
  virtual void ChangeSize(int& Width, int& Height, int NewWidth, int NewHeight, bool ClearBuffer);

  PColor32Array Bits() const { return FBits; }
  TCustomBitmap32* Owner() const { return FOwner; }

  TNotifyEvent OnChanging;

 protected:
  virtual void NotifyChanging();
  virtual void AllocateSurface(int NewWidth, int NewHeight, bool ClearBuffer);
  virtual void FreeSurface();

  PColor32Array FBits = nullptr;
  TCustomBitmap32* FOwner = nullptr;

  friend class TCustomBitmap32;
};

// Makes a backend of class B for Owner (installed there; the owner holds its
// reference) or, with nullptr, without owner (the caller holds it).
template <class B, class... Args>
B* NewBackend(TCustomBitmap32* Owner, Args&&... args) {
  return New<B>(Owner, std::forward<Args>(args)...).release();
}

// --- Samplers ---------------------------------------------------------------

// A source of colours at integer, 16.16 and float positions. A descendant
// overrides at least one of GetSampleFixed and GetSampleFloat: the base pair
// calls each other.
class TCustomSampler : public TNotifiablePersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  virtual TColor32 GetSampleInt(int X, int Y);            // GetSampleFixed(X shl 16, Y shl 16)
  virtual TColor32 GetSampleFixed(TFixed X, TFixed Y);    // GetSampleFloat(X / 65536, Y / 65536)
  virtual TColor32 GetSampleFloat(float X, float Y);      // GetSampleFixed(Round(X * 65536), ...)
  virtual void PrepareSampling();
  virtual void FinalizeSampling();
  virtual bool HasBounds() const;                         // False
  virtual TFloatRect GetSampleBounds() const;             // (-inf, -inf, +inf, +inf)
};

// The base of the resamplers: a sampler reading one bitmap, which owns it.
class TCustomResampler : public TCustomSampler {
 public:
  TCustomResampler();
  // Joins ABitmap (which frees its previous resampler and owns this one) in
  // AfterConstruction; see NewResampler.
  explicit TCustomResampler(TCustomBitmap32* ABitmap);

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  void AfterConstruction() override;

  // The bitmap's Changed: a resampler change repaints its bitmap.
  void Changed() override;
  // Captures the bitmap's clip rectangle.
  void PrepareSampling() override;
  // True unless pamWrap.
  bool HasBounds() const override;
  // The bitmap's clip rectangle, grown by 1.0 each side with
  // pamTransparentEdge.
  TFloatRect GetSampleBounds() const override;

  virtual float GetWidth() const;  // 0 in the base
  float Width() const { return GetWidth(); }
  // Scales SrcRect of Src into DstRect of Dst, limited to DstClip.
  virtual void Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                        TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) = 0;

  TCustomBitmap32* Bitmap() const { return FBitmap; }
  TPixelAccessMode PixelAccessMode() const { return FPixelAccessMode; }
  void SetPixelAccessMode(TPixelAccessMode Value);

 protected:
  // Copies the published properties to another resampler.
  void AssignTo(TPersistent* Dest) const override;

  TCustomBitmap32* FBitmap = nullptr;
  TRect FClipRect;
  TPixelAccessMode FPixelAccessMode = pamSafe;

  friend class TCustomBitmap32;
};

// Makes a resampler of class R for Bitmap, which owns it from then on.
template <class R, class... Args>
R* NewResampler(TCustomBitmap32& Bitmap, Args&&... args) {
  return New<R>(&Bitmap, std::forward<Args>(args)...).release();
}

// --- Bitmap -----------------------------------------------------------------

class TCustomBitmap32 : public TCustomMap {
 public:
  // The platform backend (GetPlatformBackendClass) or the given class; the
  // backend and a nearest resampler are made in AfterConstruction.
  TCustomBitmap32();
  explicit TCustomBitmap32(TCustomBackendClass BackendClass);
  ~TCustomBitmap32() override;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  void AfterConstruction() override;

  // --- storage and life cycle
  TCustomBackend* Backend() const { return FBackend; }
  // Adopts Value (which takes over size and pixels from the current
  // backend); nothing for nil or the current backend.
  virtual void SetBackend(TCustomBackend* Value);
  // An extra reference on the current backend, for the caller to keep it
  // alive across a switch (give it back with SetBackend or Release).
  TCustomBackend* ReleaseBackend();
  // TMemoryBackend here.
  virtual TCustomBackendClass GetPlatformBackendClass() const;
  bool Empty() const override;
  void Delete() override;
  TRect BoundsRect() const { return {0, 0, FWidth, FHeight}; }
  PColor32Array Bits() const { return FBits; }

  // --- content
  void Clear();  // $FF000000
  void Clear(TColor32 FillColor);
  void ResetAlpha();  // 255
  void ResetAlpha(std::uint8_t AlphaValue);
  // nil empties the bitmap; another bitmap gives its pixels and settings;
  // a toolkit graphic, picture or the clipboard go through the toolkit's
  // hooks (ToolkitGraphicsHooks).
  void Assign(const TPersistent* Source) override;
  virtual void CopyPixelsTo(TCustomBitmap32* Dst) const;
  virtual void CopySettingsTo(TCustomBitmap32* Dst) const;

  // --- modes (setters notify only on a change)
  TDrawMode DrawMode() const { return FDrawMode; }
  void SetDrawMode(TDrawMode Value);
  TCombineMode CombineMode() const { return FCombineMode; }
  void SetCombineMode(TCombineMode Value);
  TWrapMode WrapMode() const { return FWrapMode; }
  void SetWrapMode(TWrapMode Value);
  std::uint32_t MasterAlpha() const { return FMasterAlpha; }
  void SetMasterAlpha(std::uint32_t Value);
  TColor32 OuterColor() const { return FOuterColor; }
  void SetOuterColor(TColor32 Value) { FOuterColor = Value; }
  TColor32 PenColor() const { return FPenColor; }
  void SetPenColor(TColor32 Value) { FPenColor = Value; }
  float StippleCounter() const { return FStippleCounter; }
  void SetStippleCounter(float Value) { FStippleCounter = Value; }
  float StippleStep() const { return FStippleStep; }
  void SetStippleStep(float Value) { FStippleStep = Value; }
  // The bitmap owns its resampler: a new one frees the old one.
  TCustomResampler* Resampler() const { return FResampler; }
  void SetResampler(TCustomResampler* Value);
  std::string ResamplerClassName() const;
  // An unregistered or empty name changes nothing and raises nothing.
  void SetResamplerClassName(std::string_view Value);

  TPixelCombineEvent OnPixelCombine;
  TAreaChangedEvent OnAreaChanged;

  // --- clip rectangle (always inside the bitmap; setting it reports nothing)
  const TRect& ClipRect() const { return FClipRect; }
  const TFixedRect& FixedClipRect() const { return FFixedClipRect; }
  void SetClipRect(const TRect& Value);
  void ResetClipRect();
  bool Clipping() const { return FClipping; }

  // --- notification
  // OnAreaChanged with the whole bitmap (when not updating, or measuring),
  // then, unless measuring, OnChange.
  void Changed() override;
  // The same for one area.
  virtual void Changed(const TRect& Area, std::uint32_t Info = AREAINFO_RECT);
  // OnChange only.
  virtual void PropertyChanged();
  void BeginMeasuring(TAreaChangedEvent Callback);
  void EndMeasuring();
  bool MeasuringMode() const { return FMeasuringMode; }

  // --- pixel access
  PColor32 ScanLine(int Y) const { return FBits + std::ptrdiff_t(Y) * FWidth; }
  PColor32 PixelPtr(int X, int Y) const { return FBits + X + std::ptrdiff_t(Y) * FWidth; }
  TColor32 GetPixel(int X, int Y) const { return *PixelPtr(X, Y); }
  void SetPixel(int X, int Y, TColor32 Value) { *PixelPtr(X, Y) = Value; }
  TColor32 GetPixelS(int X, int Y) const;
  void SetPixelS(int X, int Y, TColor32 Value);
  void SetPixelT(int X, int Y, TColor32 Value);
  void SetPixelT(PColor32& Ptr, TColor32 Value);
  void SetPixelTS(int X, int Y, TColor32 Value);
  TColor32 GetPixelW(int X, int Y) const;
  void SetPixelW(int X, int Y, TColor32 Value);
  void SetPixelX(TFixed X, TFixed Y, TColor32 Value);
  void SetPixelXS(TFixed X, TFixed Y, TColor32 Value);
  void SetPixelF(float X, float Y, TColor32 Value);
  void SetPixelFS(float X, float Y, TColor32 Value);
  void SetPixelXW(TFixed X, TFixed Y, TColor32 Value);
  void SetPixelFW(float X, float Y, TColor32 Value);
  TColor32 GetPixelX(TFixed X, TFixed Y) const;
  TColor32 GetPixelXS(TFixed X, TFixed Y) const;
  TColor32 GetPixelF(float X, float Y) const;
  TColor32 GetPixelFS(float X, float Y) const;
  TColor32 GetPixelXW(TFixed X, TFixed Y) const;
  TColor32 GetPixelFW(float X, float Y) const;
  TColor32 GetPixelXR(TFixed X, TFixed Y) const;
  TColor32 GetPixelFR(float X, float Y) const;
  // A colour at a 24.8 position spread over the 2 x 2 pixels it touches.
  void BlendPixel256(int X, int Y, TColor32 Value);
  void BlendPixel256S(int X, int Y, TColor32 Value);
  // The bilinear read at a 24.8 position.
  TColor32 GetPixelInterpolated(int X, int Y) const;
  TColor32 GetPixelInterpolatedS(int X, int Y) const;

  // --- runs (end points inclusive)
  void HorzLine(int X1, int Y, int X2, TColor32 Value);
  void HorzLineS(int X1, int Y, int X2, TColor32 Value);
  void HorzLineT(int X1, int Y, int X2, TColor32 Value);
  void HorzLineTS(int X1, int Y, int X2, TColor32 Value);
  void HorzLineTSP(int X1, int Y, int X2);
  void HorzLineX(TFixed X1, TFixed Y, TFixed X2, TColor32 Value);
  void HorzLineXS(TFixed X1, TFixed Y, TFixed X2, TColor32 Value);
  void VertLine(int X, int Y1, int Y2, TColor32 Value);
  void VertLineS(int X, int Y1, int Y2, TColor32 Value);
  void VertLineT(int X, int Y1, int Y2, TColor32 Value);
  void VertLineTS(int X, int Y1, int Y2, TColor32 Value);
  void VertLineTSP(int X, int Y1, int Y2);
  void VertLineX(TFixed X, TFixed Y1, TFixed Y2, TColor32 Value);
  void VertLineXS(TFixed X, TFixed Y1, TFixed Y2, TColor32 Value);

  // --- lines (L: include the end point)
  void Line(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L = false);
  void LineS(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L = false);
  void LineT(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L = false);
  void LineTS(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L = false);
  void LineA(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L = false);
  void LineAS(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L = false);
  void LineX(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, TColor32 Value, bool L = false);
  void LineF(float X1, float Y1, float X2, float Y2, TColor32 Value, bool L = false);
  void LineXS(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, TColor32 Value, bool L = false);
  void LineFS(float X1, float Y1, float X2, float Y2, TColor32 Value, bool L = false);
  void LineXP(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, bool L = false);
  void LineFP(float X1, float Y1, float X2, float Y2, bool L = false);
  void LineXSP(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, bool L = false);
  void LineFSP(float X1, float Y1, float X2, float Y2, bool L = false);

  // --- pen position (PenColor, end point excluded, then the pen moves)
  void MoveTo(int X, int Y);
  void LineToS(int X, int Y);
  void LineToTS(int X, int Y);
  void LineToAS(int X, int Y);
  void MoveToX(TFixed X, TFixed Y);
  void MoveToF(float X, float Y);
  void LineToXS(TFixed X, TFixed Y);
  void LineToFS(float X, float Y);
  void LineToXSP(TFixed X, TFixed Y);
  void LineToFSP(float X, float Y);

  // --- stipple
  void SetStipple(std::span<const TColor32> NewStipple);
  void SetStipple(std::initializer_list<TColor32> NewStipple) { SetStipple(std::span<const TColor32>(NewStipple)); }
  void AdvanceStippleCounter(float LengthPixels);
  TColor32 GetStippleColor();

  // --- rectangles (X2, Y2 exclusive)
  void FillRect(int X1, int Y1, int X2, int Y2, TColor32 Value);
  void FillRectS(int X1, int Y1, int X2, int Y2, TColor32 Value);
  void FillRectS(const TRect& ARect, TColor32 Value);
  void FillRectT(int X1, int Y1, int X2, int Y2, TColor32 Value);
  void FillRectTS(int X1, int Y1, int X2, int Y2, TColor32 Value);
  void FillRectTS(const TRect& ARect, TColor32 Value);
  void FrameRectS(int X1, int Y1, int X2, int Y2, TColor32 Value);
  void FrameRectS(const TRect& ARect, TColor32 Value);
  void FrameRectTS(int X1, int Y1, int X2, int Y2, TColor32 Value);
  void FrameRectTS(const TRect& ARect, TColor32 Value);
  void FrameRectTSP(int X1, int Y1, int X2, int Y2);
  void RaiseRectTS(int X1, int Y1, int X2, int Y2, int Contrast);
  void RaiseRectTS(const TRect& ARect, int Contrast);

  // --- transfers onto another bitmap, with this bitmap's (the source's)
  // draw mode, combine mode, master alpha, OnPixelCombine and resampler;
  // the destination's clip rectangle limits the target
  void DrawTo(TCustomBitmap32* Dst);
  void DrawTo(TCustomBitmap32* Dst, int DstX, int DstY);
  void DrawTo(TCustomBitmap32* Dst, int DstX, int DstY, const TRect& SrcRect);
  void DrawTo(TCustomBitmap32* Dst, const TRect& DstRect);
  void DrawTo(TCustomBitmap32* Dst, const TRect& DstRect, const TRect& SrcRect);
  // The mirror forms on the destination; nothing when Src is nil.
  void Draw(int DstX, int DstY, TCustomBitmap32* Src);
  void Draw(int DstX, int DstY, const TRect& SrcRect, TCustomBitmap32* Src);
  void Draw(const TRect& DstRect, const TRect& SrcRect, TCustomBitmap32* Src);

  // --- whole-image operations
  // Shifts the pixel store as one linear array by Dx + Dy * Width.
  void Roll(int Dx, int Dy, bool FillBack, TColor32 FillColor);
  // Dst nil or this bitmap: in place.
  void FlipHorz(TCustomBitmap32* Dst = nullptr);
  void FlipVert(TCustomBitmap32* Dst = nullptr);
  void Rotate90(TCustomBitmap32* Dst = nullptr);
  void Rotate180(TCustomBitmap32* Dst = nullptr);
  void Rotate270(TCustomBitmap32* Dst = nullptr);

  // --- BMP streams and files, the streamed "Data" property
  // The 54-byte header and 32-bit pixels; SaveTopDown True writes height
  // +Height with the bottom row first, False -Height with the top row first.
  virtual void SaveToStream(std::ostream& Stream, bool SaveTopDown = false) const;
  // A 32-bit BMP directly; anything else through the toolkit's loader.
  virtual void LoadFromStream(std::istream& Stream);
  virtual void SaveToFile(const std::string& FileName, bool SaveTopDown = false) const;
  virtual void LoadFromFile(const std::string& FileName);
  // A resource path of the toolkit (":/...").
  void LoadFromResourceName(const std::string& ResName);
  // Width and height (signed 32-bit little-endian), then the pixels.
  virtual void ReadPixelData(std::istream& Stream);
  virtual void WritePixelData(std::ostream& Stream) const;
  // Both empty, or the same class, size and bytes.
  bool SameContent(const TCustomBitmap32* Other) const;

 protected:
  // Copies into a toolkit picture, bitmap or the clipboard through the
  // toolkit's hooks; anything else is the inherited "cannot assign".
  void AssignTo(TPersistent* Dest) const override;
  // Resizes through the backend (ClearBuffer True).
  void ChangeSize(int& Width, int& Height, int NewWidth, int NewHeight) override;
  // Called by the backend before and after its storage changes.
  virtual void BackendChanging();
  virtual void BackendChanged();
  virtual void CreateBackend(TCustomBackendClass BackendClass);
  // Clears the backend's owner and callbacks and releases the reference.
  virtual void DropBackend();

  TCustomBackend* FBackend = nullptr;
  PColor32Array FBits = nullptr;
  TRect FClipRect;
  TFixedRect FFixedClipRect;
  TRect F256ClipRect;
  bool FClipping = false;
  TDrawMode FDrawMode = dmOpaque;
  TCombineMode FCombineMode = cmBlend;
  TWrapMode FWrapMode = wmClamp;
  std::uint32_t FMasterAlpha = 255;
  TColor32 FOuterColor = 0;
  TColor32 FPenColor = 0xFFFFFFFFu;
  float FStippleCounter = 0;
  TArrayOfColor32 FStipplePattern;
  float FStippleStep = 1.0f;
  TAreaChangedEvent FOldOnAreaChanged;
  bool FMeasuringMode = false;
  TCustomResampler* FResampler = nullptr;
  TWrapProcEx WrapProcHorz = nullptr;
  TWrapProcEx WrapProcVert = nullptr;
  TBlendMemProc BlendProc = nullptr;
  int RasterX = 0, RasterY = 0;
  TFixed RasterXF = 0, RasterYF = 0;

 private:
  void SelectWrapProcs();
  TCustomBackendClass FRequestedBackendClass = nullptr;

  friend class TCustomBackend;
};

// The exchange of pixels with the toolkit's graphics (pictures, icons,
// metafiles, the clipboard, non-32-bit image files) needs the toolkit; its
// start-up installs these. Unset, a graphic source raises the usual "cannot
// assign" and other image formats raise an EBitmapException naming the
// file or stream.
struct TToolkitGraphicsHooks {
  // Target from a toolkit graphic, picture or the clipboard; False when
  // Source is none of those.
  std::function<bool(TCustomBitmap32& Target, const TPersistent* Source)> AssignFrom;
  // Self into a toolkit picture, bitmap or the clipboard; False when Dest is
  // none of those.
  std::function<bool(const TCustomBitmap32& Self, TPersistent* Dest)> AssignTo;
  // Loads any image the toolkit reads from the stream (positioned at its
  // start) into Target.
  std::function<void(TCustomBitmap32& Target, std::istream& Stream)> LoadImage;
  // Loads a picture file of any registered format into Target.
  std::function<void(TCustomBitmap32& Target, const std::string& FileName)> LoadPicture;
};
TToolkitGraphicsHooks& ToolkitGraphicsHooks();

// The bitmap the program makes: the toolkit's surface as its platform
// backend once the toolkit has started, with a font, text output, a canvas
// and device-context transfers through the backend's interfaces.
class TBitmap32 : public TCustomBitmap32 {
 public:
  TBitmap32() = default;
  explicit TBitmap32(TCustomBackendClass BackendClass) : TCustomBitmap32(BackendClass) {}

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // The class the toolkit start-up registered (SetPlatformBackendClass),
  // TMemoryBackend until then.
  TCustomBackendClass GetPlatformBackendClass() const override;
  static void SetPlatformBackendClass(TCustomBackendClass BackendClass);
  // Hooks the font and canvas changes of Value, then adopts it.
  void SetBackend(TCustomBackend* Value) override;

  // Through the backend's interfaces; "Interface not supported"
  // (EIntfCastError) when it lacks the one asked for.
  TCanvas* Canvas() const;
  TFont* Font() const;
  void SetFont(const TFont* Value);
  HDC Handle() const;
  HBITMAP BitmapHandle() const;
  BITMAPINFO BitmapInfo() const;
  void UpdateFont();
  bool CanvasAllocated() const;
  void DeleteCanvas();

  // Text (UTF-8; the plain and W forms take the same text and differ only
  // where the sizing rules of RenderText differ).
  void Textout(int X, int Y, std::string_view Text);
  void Textout(int X, int Y, const TRect& ClipRect, std::string_view Text);
  void Textout(TRect& DstRect, std::uint32_t Flags, std::string_view Text);
  void TextoutW(int X, int Y, std::string_view Text);
  void TextoutW(int X, int Y, const TRect& ClipRect, std::string_view Text);
  void TextoutW(TRect& DstRect, std::uint32_t Flags, std::string_view Text);
  TSize TextExtent(std::string_view Text);
  TSize TextExtentW(std::string_view Text);
  int TextWidth(std::string_view Text);
  int TextHeight(std::string_view Text);
  int TextWidthW(std::string_view Text);
  int TextHeightW(std::string_view Text);
  // Anti-aliased text with real alpha: AALevel -1..4, Color's alpha as the
  // master alpha.
  void RenderText(int X, int Y, std::string_view Text, int AALevel, TColor32 Color);
  void RenderTextW(int X, int Y, std::string_view Text, int AALevel, TColor32 Color);

  // Device contexts.
  using TCustomBitmap32::Draw;
  using TCustomBitmap32::DrawTo;
  void Draw(const TRect& DstRect, const TRect& SrcRect, HDC hSrc);
  void DrawTo(HDC hDst, int DstX, int DstY);
  void DrawTo(HDC hDst, const TRect& DstRect, const TRect& SrcRect);
  // Stretches into hDst in tiles of at most 1024 x 1024 pixels.
  void TileTo(HDC hDst, const TRect& DstRect, const TRect& SrcRect);

  TNotifyEvent OnHandleChanged;

 protected:
  void BackendChanging() override;
  void BackendChanged() override;
  void CopySettingsTo(TCustomBitmap32* Dst) const override;
  void DropBackend() override;
  virtual void NotifyHandleChanged();
  void BackendFontChanged();
  void BackendCanvasChanged();
};

}  // namespace velkor

namespace velkor::Raster {
// Start-up of the value-type part of the main unit: fills the gamma table.
void Startup();
void Shutdown();
}  // namespace velkor::Raster
