// Filters that scale a bitmap and sample it at fractional positions, and the
// transfers that copy or stretch a rectangle of one bitmap into another.
//
// Kernels are filter functions of one variable (TCustomKernel.Filter); a
// resampler reads its bitmap through one, either a sample at a time
// (GetSampleFloat and its relatives, for transformations) or a whole
// rectangle at a time (Resample, which runs one of the scaling algorithms
// below). Bitmaps and images pick resamplers and kernels by class name from
// the two registries, filled at start-up.
//
// Weights are 8.8 fixed point (256 = 1.0) so that the inner loops are integer
// multiply-adds:
//  - a single sample (TKernelResampler.GetSampleFloat) takes (2W + 1)^2 taps
//    around the position, W = Ceil(kernel width) <= 16, each row's weights
//    normalised to 256 at the centre tap; colour is weighted by its own
//    alpha inside the loop and divided by the summed alpha at the end, so
//    transparent pixels do not bleed colour;
//  - a whole rectangle (ResampleWithKernel) uses one mapping table per axis:
//    for every destination column (row) a cluster of source taps whose
//    weights sum to 256, the rounding difference going to the tap at
//    (last index div 2). The filter is separated: one vertical pass per
//    source column of the used range, then one horizontal pass per
//    destination pixel. Channels are summed as stored (no alpha weighting).
//
// Kernel arithmetic is carried out in long double, with the intermediate
// values each formula names rounded to float, so that tables come out the
// same on every build.
//
// The module's two processor-specific routines, the block average and the
// 2 x 2 interpolator, are bound at start-up through the registry
// "Raster_Resamplers bindings" (see Raster_Bindings.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/Raster.h"
#include "graphics/Raster_Bindings.h"
#include "graphics/Raster_Containers.h"
#include "graphics/Raster_OrdinalMaps.h"

namespace velkor::Raster_Resamplers {

// --- Kernels ----------------------------------------------------------------

class TCustomKernel : public TPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // The weight at distance Value from the sample position.
  virtual float Filter(float Value) const = 0;
  // Half the support: Filter is 0 beyond +-GetWidth (except TSinshKernel).
  virtual float GetWidth() const = 0;
  // Whether negative lobes make sums leave 0..255, so results are clamped.
  virtual bool NeedsClamping() const { return false; }

  // Told of every property change, when set. Nothing sets it by default;
  // it is not published, so copying a kernel never copies it.
  TNotifiablePersistent* Observer() const { return FObserver; }
  void SetObserver(TNotifiablePersistent* Value) { FObserver = Value; }

 protected:
  void Changed();
  // Into another kernel: every published property (a property Dest lacks
  // raises EPropertyError); otherwise the inherited behaviour.
  void AssignTo(TPersistent* Dest) const override;

  TNotifiablePersistent* FObserver = nullptr;
};

// 1 on [-0.5, 0.5].
class TBoxKernel : public TCustomKernel {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float Filter(float Value) const override;
  float GetWidth() const override { return 1; }
};

// The triangle 1 - |V| on [-1, 1).
class TLinearKernel : public TCustomKernel {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float Filter(float Value) const override;
  float GetWidth() const override { return 1; }
};

class TCosineKernel : public TCustomKernel {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float Filter(float Value) const override;
  float GetWidth() const override { return 1; }
};

// The cubic B-spline.
class TSplineKernel : public TCustomKernel {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float Filter(float Value) const override;
  float GetWidth() const override { return 2; }
  bool NeedsClamping() const override { return true; }
};

class TMitchellKernel : public TCustomKernel {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float Filter(float Value) const override;
  float GetWidth() const override { return 2; }
  bool NeedsClamping() const override { return true; }
};

// The cubic convolution with a free coefficient (-0.5 by default).
class TCubicKernel : public TCustomKernel {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float Filter(float Value) const override;
  float GetWidth() const override { return 2; }
  bool NeedsClamping() const override { return true; }

  float Coeff() const { return FCoeff; }
  void SetCoeff(float Value);

 private:
  float FCoeff = -0.5f;
};

class THermiteKernel : public TCustomKernel {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float Filter(float Value) const override;
  float GetWidth() const override { return 2; }
  bool NeedsClamping() const override { return true; }

  float Bias() const { return FBias; }
  void SetBias(float Value);
  float Tension() const { return FTension; }
  void SetTension(float Value);

 private:
  float FBias = 0;
  float FTension = 0;
};

// Sinc(|V|) times a window, cut off at Width (at most 16).
class TWindowedSincKernel : public TCustomKernel {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float Filter(float Value) const override;
  float GetWidth() const override { return FWidth; }
  bool NeedsClamping() const override { return true; }
  virtual float WindowAt(float X) const = 0;

  float Width() const { return FWidth; }
  // Above 16 (or not a number) gives 16; zero and negative widths are
  // ignored, since the window divides by the width.
  void SetWidth(float Value);

 protected:
  float FWidth = 3;
  float FWidthReciprocal = 1.0f / 3;
};

class TAlbrechtKernel : public TWindowedSincKernel {
 public:
  TAlbrechtKernel();
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float WindowAt(float X) const override;

  int Terms() const { return FTerms; }
  // Clamped to 2..11; loads that row of the coefficient table. Reports no
  // change.
  void SetTerms(int Value);

 private:
  int FTerms = 0;
  double FCoefPointer[11] = {};
};

class TLanczosKernel : public TWindowedSincKernel {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float WindowAt(float X) const override;
};

class TGaussianKernel : public TWindowedSincKernel {
 public:
  TGaussianKernel();
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float WindowAt(float X) const override;

  float Sigma() const { return FSigma; }
  // 0 and the current value are ignored.
  void SetSigma(float Value);

 private:
  float FSigma = 1.33f;
  float FSigmaReciprocalLn2 = 0;
};

class TBlackmanKernel : public TWindowedSincKernel {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float WindowAt(float X) const override;
};

class THannKernel : public TWindowedSincKernel {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float WindowAt(float X) const override;
};

class THammingKernel : public TWindowedSincKernel {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float WindowAt(float X) const override;
};

// Coeff * sin(pi V) / sinh(pi Coeff V), without a cut-off at Width.
class TSinshKernel : public TCustomKernel {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  float Filter(float Value) const override;
  float GetWidth() const override { return FWidth; }
  bool NeedsClamping() const override { return true; }

  float Width() const { return FWidth; }
  // As TWindowedSincKernel: at most 16, zero and negative ignored.
  void SetWidth(float Value);
  float Coeff() const { return FCoeff; }
  // 0 and the current value are ignored.
  void SetCoeff(float Value);

 private:
  float FWidth = 3;
  float FCoeff = 0.5f;
};

// --- Resamplers ---------------------------------------------------------------

enum TKernelMode { kmDynamic, kmTableNearest, kmTableLinear };

class TNearestResampler : public TCustomResampler {
 public:
  TNearestResampler();
  explicit TNearestResampler(TCustomBitmap32* ABitmap);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  TColor32 GetSampleInt(int X, int Y) override;
  TColor32 GetSampleFixed(TFixed X, TFixed Y) override;
  TColor32 GetSampleFloat(float X, float Y) override;
  // Binds the pixel read of the access mode.
  void PrepareSampling() override;
  float GetWidth() const override { return 1; }
  void Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) override;

  using TGetSampleInt = TColor32 (TNearestResampler::*)(int X, int Y);

 private:
  TColor32 ReadUnsafe(int X, int Y);
  TColor32 ReadSafe(int X, int Y);
  TColor32 ReadWrap(int X, int Y);
  TColor32 ReadTransparentEdge(int X, int Y);

  // Until PrepareSampling binds the mode's read: the clipped read.
  TGetSampleInt FGetSampleInt = &TNearestResampler::ReadSafe;
};

class TLinearResampler : public TCustomResampler {
 public:
  TLinearResampler();
  explicit TLinearResampler(TCustomBitmap32* ABitmap);
  ~TLinearResampler() override;
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  TColor32 GetSampleFixed(TFixed X, TFixed Y) override;
  TColor32 GetSampleFloat(float X, float Y) override;
  // Binds the bilinear read of the access mode.
  void PrepareSampling() override;
  float GetWidth() const override { return 1; }
  // Bilinear when enlarging both ways from at least 2 x 2 pixels, else the
  // kernel resample with the linear kernel.
  void Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) override;

  using TGetSampleFixed = TColor32 (TLinearResampler::*)(TFixed X, TFixed Y);

 protected:
  TLinearKernel* LinearKernel() const { return FLinearKernel.get(); }

 private:
  TColor32 ReadUnsafe(TFixed X, TFixed Y);
  TColor32 ReadSafe(TFixed X, TFixed Y);
  TColor32 ReadWrap(TFixed X, TFixed Y);
  TColor32 ReadTransparentEdge(TFixed X, TFixed Y);

  std::unique_ptr<TLinearKernel> FLinearKernel;
  TGetSampleFixed FGetSampleFixed = &TLinearResampler::ReadSafe;
};

// Block averages when shrinking (a draft quality that is fast).
class TDraftResampler : public TLinearResampler {
 public:
  using TLinearResampler::TLinearResampler;
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  void Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) override;
};

class TKernelResampler : public TCustomResampler {
 public:
  TKernelResampler();
  explicit TKernelResampler(TCustomBitmap32* ABitmap);
  ~TKernelResampler() override;
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  TColor32 GetSampleFloat(float X, float Y) override;
  // Captures the outer colour and, in the table modes, builds the weight
  // table; FinalizeSampling frees it.
  void PrepareSampling() override;
  void FinalizeSampling() override;
  float GetWidth() const override;
  void Resample(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack) override;

  std::string KernelClassName() const;
  // A registered kernel class (exact name) replaces the kernel; an empty,
  // unchanged or unknown name changes nothing.
  void SetKernelClassName(std::string_view Value);
  TCustomKernel* Kernel() const { return FKernel.get(); }
  // Adopts Value (the resampler owns it from then on) and frees the old
  // kernel; nothing for nil or the current kernel.
  void SetKernel(TCustomKernel* Value);
  TKernelMode KernelMode() const { return FKernelMode; }
  void SetKernelMode(TKernelMode Value);
  int TableSize() const { return FTableSize; }
  // At least 2.
  void SetTableSize(int Value);
  // The table PrepareSampling built (empty outside a sampling run or in
  // kmDynamic): 2W + 1 columns and TableSize + 1 rows.
  const Raster_OrdinalMaps::TIntegerMap& WeightTable() const { return FWeightTable; }

 private:
  std::unique_ptr<TCustomKernel> FKernel;
  TKernelMode FKernelMode = kmDynamic;
  Raster_OrdinalMaps::TIntegerMap FWeightTable;
  int FTableSize = 32;
  int FTableRadius = -1;  // W of the built table, -1 when none
  TColor32 FOuterColor = 0;
};

// --- Registries -------------------------------------------------------------

// The resampler and kernel classes by name, created by their first
// registration and freed at shut-down.
extern Raster_Containers::TClassList* ResamplerClassList;
extern Raster_Containers::TClassList* KernelClassList;
void RegisterResampler(TClass AClass);
void RegisterKernel(TClass AClass);

// --- Transfers ----------------------------------------------------------------
//
// Each produced pixel C goes into its destination pixel D by CombineOp:
// dmOpaque stores it, dmBlend blends it with the source's CombineMode and
// MasterAlpha, dmCustom calls CombineCallBack(C, D, source MasterAlpha) (or
// stores, without a callback), dmTransparent stores it unless it equals the
// source's OuterColor. TransferBlock and TransferStretched within one bitmap
// read the source as it was before the call.

// Copies SrcRect of Src to (DstX, DstY) of Dst at the same size, limited to
// DstClip and both bitmaps, and reports the area written (also in measuring
// mode, where nothing is written). A nil bitmap raises EBitmapException.
void TransferBlock(TCustomBitmap32* Dst, int DstX, int DstY, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                   TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack = {});
// Scales SrcRect of Src into DstRect of Dst through Resampler (Src's own
// when nil), limited to DstClip; a SrcRect reaching outside Src moves
// DstRect's edges by the scaled overhang. Equal sizes are copied, never
// resampled. Reports DstRect.
void TransferStretched(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                       TCustomResampler* Resampler, TDrawMode CombineOp,
                       const TPixelCombineEvent& CombineCallBack = {});

// The same-size core: DstArea of Dst from Src starting at (SrcX, SrcY); both
// areas must lie inside their bitmaps.
void CopyBlockRows(TCustomBitmap32* Dst, TRect DstArea, TCustomBitmap32* Src, int SrcX, int SrcY,
                   TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack);

// The scaling algorithms the resamplers run. DstClip limits the pixels
// written inside DstRect; SrcRect must lie inside Src, else they raise
// std::runtime_error "Invalid SrcRect".
void ScaleNearest(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                  TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack);
void ScaleBilinear(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                   TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack);
void ResampleWithKernel(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                        TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack, const TCustomKernel* Kernel);
void ScaleByBlocks(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src, TRect SrcRect,
                   TDrawMode CombineOp, const TPixelCombineEvent& CombineCallBack, const TCustomKernel* Kernel);

// One source tap of a mapping table: a source coordinate and its 8.8 weight.
struct TPointRec {
  int Pos = 0;
  int Weight = 0;
  friend constexpr bool operator==(const TPointRec&, const TPointRec&) = default;
};
using TCluster = std::vector<TPointRec>;
using TMappingTable = std::vector<TCluster>;
// One column's weighted channel sums in the kernel resample.
struct TBufferEntry {
  std::int32_t B = 0, G = 0, R = 0, A = 0;
};

// The taps of every destination column (row) ClipLo..ClipHi - 1 of the
// destination range DstLo..DstHi scaled from the source range SrcLo..SrcHi
// through K. Empty when the source range or the clipped range is empty.
TMappingTable MakeMappingTable(int DstLo, int DstHi, int ClipLo, int ClipHi, int SrcLo, int SrcHi,
                               const TCustomKernel& K);

// --- Bound routines ("Raster_Resamplers bindings") ----------------------------

// The truncating average of a Dlx x Dly block whose first pixel is RowSrc,
// rows OffSrc bytes apart.
using TAverageBlock = TColor32 (*)(std::uint32_t Dlx, std::uint32_t Dly, const TColor32* RowSrc,
                                   std::uint32_t OffSrc);
// C11[0], C11[1] and the two pixels below them (C21) mixed bilinearly: WX
// weights the left pixels, WY the upper row (0..256).
using TInterpolate2x2 = TColor32 (*)(std::uint32_t WX, std::uint32_t WY, const TColor32* C11, const TColor32* C21);

enum TResamplersFunctionID { FID_AverageBlock = 0, FID_Interpolate2x2 = 1 };
extern TAverageBlock AverageBlock;
extern TInterpolate2x2 Interpolate2x2;
// The module's registry while the module runs, else nullptr.
extern Raster_Bindings::TFunctionRegistry* ResamplersRegistry;

// Creates and binds "Raster_Resamplers bindings".
void RegisterResamplersBindings();

// Start-up: the bindings, then the four resampler and fourteen kernel
// classes. Shut-down frees the two class lists.
void Startup();
void Shutdown();

}  // namespace velkor::Raster_Resamplers
