// Polygon renderers: polygons with float vertices filled into a TBitmap32
// through the polygon rasteriser (Raster_VPR).
//
// The rasteriser hands out signed coverage per pixel, one row at a time. A
// renderer turns each span of coverage into pixels by one of the fill
// procedures, chosen by what it outputs and by the fill rule:
//
//   colours   (no filler)   the renderer's Color with alpha from coverage,
//                           blended onto the row
//   alpha     (a filler)    8-bit alpha values that a filler object turns
//                           into pixels itself
//   LCD, LCD2               per-channel weights at three sub-pixels per
//                           pixel (red, green, blue), box-filtered once
//                           (LCD) or twice (LCD2)
//
// The fill rule acts when coverage becomes a weight: non-zero takes
// |coverage| up to 1; even-odd folds it (0, 1, 2, 3 -> off, on, off, on,
// linear in between). Every alpha passes through GammaTable. Conversions
// to integers are floors.
//
// A renderer in the colour and LCD modes blends with the bitmap's blend
// routines; it does not look at the bitmap's draw or combine mode. On a
// bitmap in measuring mode it draws nothing and only reports the bounds.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

#include "graphics/Raster.h"
#include "graphics/RasterPersistents.h"
#include "graphics/Raster_Containers.h"
#include "graphics/Raster_Transforms.h"
#include "graphics/Raster_VPR.h"

namespace velkor::Raster_Polygons {

using Raster_VPR::TValueSpan;

enum TPolyFillRule { frEvenOdd = 0, frNonZero = 1 };

// Count coverage values into Count 32-bit outputs (the LCD procedures write
// Count + 4 bytes instead; see MakeLCDWeightsNonZero).
using TFillProc = void (*)(PSingleArray Coverage, PColor32Array AlphaValues, int Count, TColor32 Color);

// A filler's line operation: Length pixels from Dst (pixel DstX of row
// DstY), with the alpha of each in AlphaValues (0..255).
using TFillLineEvent =
    std::function<void(PColor32 Dst, int DstX, int DstY, int Length, PColor32 AlphaValues)>;

// Produces the pixels of a fill itself from the alpha values the renderer
// computes. BeginRendering and EndRendering bracket every fill.
class TCustomPolygonFiller {
 public:
  virtual ~TCustomPolygonFiller() = default;
  virtual TFillLineEvent GetFillLine() = 0;
  virtual void BeginRendering() {}
  virtual void EndRendering() {}
  TFillLineEvent FillLine() { return GetFillLine(); }
};

class TCustomPolygonRenderer : public TThreadPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // Transformation (may be nil) maps the points first.
  virtual void PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect,
                             Raster_Transforms::TTransformation* Transformation);
  // Fills nothing in the base.
  virtual void PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect);
  virtual void PolygonFS(const TArrayOfFloatPoint& Points, const TFloatRect& ClipRect,
                         Raster_Transforms::TTransformation* Transformation);
  virtual void PolygonFS(const TArrayOfFloatPoint& Points, const TFloatRect& ClipRect);
};

// Raised when a renderer without a bitmap is asked to fill.
class EPolygonRendererError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TPolygonRenderer32 : public TCustomPolygonRenderer {
 public:
  // The fill rule defaults to non-zero: what outlines of glyphs and of
  // paths built from several shapes expect (inner contours run the other
  // way round).
  TPolygonRenderer32() = default;
  explicit TPolygonRenderer32(TBitmap32* Bitmap, TPolyFillRule FillMode = frNonZero);

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  using TCustomPolygonRenderer::PolygonFS;
  using TCustomPolygonRenderer::PolyPolygonFS;
  // Clipped to the bitmap's clip rectangle.
  virtual void PolygonFS(const TArrayOfFloatPoint& Points);
  virtual void PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points);

  // Each setter stores a different value and then calls Changed.
  TBitmap32* Bitmap() const { return FBitmap; }
  virtual void SetBitmap(TBitmap32* Value);
  TPolyFillRule FillMode() const { return FFillMode; }
  void SetFillMode(TPolyFillRule Value);
  TColor32 Color() const { return FColor; }
  void SetColor(TColor32 Value);
  // Borrowed; nil fills with Color.
  TCustomPolygonFiller* Filler() const { return FFiller; }
  void SetFiller(TCustomPolygonFiller* Value);

 protected:
  // The bitmap, or EPolygonRendererError naming the renderer's class.
  TBitmap32& RequireBitmap() const;

  TBitmap32* FBitmap = nullptr;
  TPolyFillRule FFillMode = frNonZero;
  TColor32 FColor = 0;
  TCustomPolygonFiller* FFiller = nullptr;
};

// The span callback a fill passes to the rasteriser.
struct TRenderSpanEvent {
  Raster_VPR::TRenderSpanProc Proc = nullptr;
  void* Data = nullptr;
};

class TPolygonRenderer32VPR : public TPolygonRenderer32 {
 public:
  using TPolygonRenderer32::TPolygonRenderer32;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  using TPolygonRenderer32::PolyPolygonFS;
  // The clip rectangle is limited to the bitmap. Reports one changed area
  // per polygon with points: its bounds rounded to the nearest integers
  // (unless the bitmap's updates are suspended).
  void PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect) override;

 protected:
  // Colours blended onto row DstY, one run of equal coverage at a time.
  virtual void RenderSpan(const TValueSpan& Span, int DstY);
  // Alpha values handed to the filler.
  virtual void FillSpan(const TValueSpan& Span, int DstY);
  // FillSpan with a filler, else RenderSpan.
  virtual TRenderSpanEvent GetRenderSpan();
  void UpdateFillProc();
  // Clip ∩ bitmap; False when nothing is left.
  bool LimitClipRect(const TFloatRect& ClipRect, TFloatRect& Result) const;
  void ReportChangedAreas(const TArrayOfArrayOfFloatPoint& Points);
  // A scratch array of at least Count 32-bit entries, kept between spans.
  TColor32* Scratch(std::size_t Count);

  TFillProc FFillProc = nullptr;

 private:
  std::vector<TColor32> FScratch;
};

// Sub-pixel text rendering: coverage at three times the horizontal
// resolution, one sub-pixel per colour channel. No filler is used.
class TPolygonRenderer32LCD : public TPolygonRenderer32VPR {
 public:
  using TPolygonRenderer32VPR::TPolygonRenderer32VPR;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  using TPolygonRenderer32VPR::PolyPolygonFS;
  void PolyPolygonFS(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect) override;

 protected:
  // Span in sub-pixels.
  void RenderSpan(const TValueSpan& Span, int DstY) override;
  TRenderSpanEvent GetRenderSpan() override;
  // The weights of Span from Weights[0] on (Count + 4 bytes).
  virtual void MakeWeights(const TValueSpan& Span, std::uint8_t* Weights);
  // Sub-pixels the weights lag behind the coverage beyond the first.
  virtual int ExtraLag() const { return 0; }
};

// As LCD with a second box filter: softer colour fringes.
class TPolygonRenderer32LCD2 : public TPolygonRenderer32LCD {
 public:
  using TPolygonRenderer32LCD::TPolygonRenderer32LCD;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

 protected:
  void MakeWeights(const TValueSpan& Span, std::uint8_t* Weights) override;
  int ExtraLag() const override { return 1; }
};

// --- fill procedures ---------------------------------------------------------

// 16-bit weights of one coverage value: non-zero |floor(c * 65536)| up to
// 65536; even-odd folded (0, 65535, 0, 65535 at coverage 0, 1, 2, 3).
std::uint32_t NonZeroWeight(float Coverage);
std::uint32_t EvenOddWeight(float Coverage);

// Color's RGB with alpha GAMMA[(A * 257 * f) >> 24], A = Color's alpha.
void MakeColorsNonZero(PSingleArray Coverage, PColor32Array AlphaValues, int Count, TColor32 Color);
void MakeColorsEvenOdd(PSingleArray Coverage, PColor32Array AlphaValues, int Count, TColor32 Color);
// GAMMA[a] with a = floor(|c| * 256): clamped to 255 (non-zero) or folded
// at every whole coverage (even-odd). Color is not used.
void MakeAlphaNonZero(PSingleArray Coverage, PColor32Array AlphaValues, int Count, TColor32 Color);
void MakeAlphaEvenOdd(PSingleArray Coverage, PColor32Array AlphaValues, int Count, TColor32 Color);
// Bytes o[0 .. Count + 3] from the address AlphaValues: per sub-pixel b =
// (A * 86 * f) >> 24 (a third of the alpha), o[i] = GAMMA[b(i-2) + b(i-1) +
// b(i)], then the filter's tail b(Count-2) + b(Count-1), b(Count-1), 0, 0.
void MakeLCDWeightsNonZero(PSingleArray Coverage, PColor32Array AlphaValues, int Count, TColor32 Color);
void MakeLCDWeightsEvenOdd(PSingleArray Coverage, PColor32Array AlphaValues, int Count, TColor32 Color);
// The LCD weights box-filtered once more: o'[k] = (o[k] + o[k-1] + o[k-2])
// div 3 over the original values, k = 0 .. Count + 3.
void MakeLCD2WeightsNonZero(PSingleArray Coverage, PColor32Array AlphaValues, int Count, TColor32 Color);
void MakeLCD2WeightsEvenOdd(PSingleArray Coverage, PColor32Array AlphaValues, int Count, TColor32 Color);

// Rows: colours, alpha values, LCD, LCD2; columns: TPolyFillRule.
extern const TFillProc FillProcs[4][2];

// Blends Color into Count pixels from Dst with three weights per pixel
// from Weights (red, green, blue: bytes 3i, 3i + 1, 3i + 2). A pixel whose
// weights and the byte after them are all 255 becomes Color. Reads
// 3 * Count + 1 bytes.
void BlendLCDLine(const std::uint8_t* Weights, PColor32 Dst, TColor32 Color, int Count);

// --- registry ------------------------------------------------------------------

// The renderer classes, in registration order; nullptr before the first.
Raster_Containers::TClassList* PolygonRendererList();
void RegisterPolygonRenderer(TClass AClass);

// Registers VPR, LCD and LCD2; Shutdown frees the list.
void Startup();
void Shutdown();

}  // namespace velkor::Raster_Polygons
