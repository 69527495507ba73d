// The polygon rasteriser: one or more closed polygons with float vertices
// become exact, signed area coverage, handed out one pixel row at a time.
//
// How it works. Every polygon is clipped to the clip rectangle and closed;
// its edges are cut at pixel-row boundaries into segments whose Y runs from
// 0 (the row's top) to 1 (its bottom). For one row, a segment that reaches
// the row's bottom line contributes a full unit of coverage ("winding") to
// every pixel to the right of where it crosses that line: it is written as
// a difference (1 - f and f around the crossing, f the fraction of the
// pixel) and a running sum over the row spreads it. Then each segment adds
// the exact signed area between itself and the row's top line, cell by cell.
// The result is a signed coverage per pixel: 1 for one covering in the
// positive orientation (an edge going down on the left), -1 for the
// reversed orientation, 2 where two coverings overlap, fractions at edges.
// The fill rule (non-zero, even-odd) is applied by the consumer.
//
// Pixel (x, y) covers [x, x + 1) x [y, y + 1). Every conversion to an integer
// is a floor; coverage arithmetic is in 32-bit floats.
#pragma once

#include <array>
#include <type_traits>
#include <utility>

#include "graphics/Raster.h"

namespace velkor::Raster_VPR {

// Coverage of the pixels X1..X2 (inclusive) of one row: Values[0] belongs
// to X1. Valid only during the callback.
struct TValueSpan {
  int X1 = 0;
  int X2 = 0;
  PSingleArray Values = nullptr;
};

// A piece of an edge inside one pixel row: start, then end. X in pixels, Y
// relative to the row's top (0..1).
using TLineSegment = std::array<TFloatPoint, 2>;
using PLineSegmentArray = TLineSegment*;

// The segments of one pixel row.
struct TScanLine {
  PLineSegmentArray Segments = nullptr;
  int Count = 0;
  int Y = 0;
};

// Called once per pixel row that has segments, from top to bottom.
using TRenderSpanProc = void (*)(void* Data, const TValueSpan& Span, int DstY);

// Rasterises the union of Points inside ClipRect. Polygons with fewer than
// three points after clipping, and polygons with a coordinate that is not a
// finite number, add nothing. Memory follows what the polygons span inside
// the clip, not the clip itself; the clip is limited to +-2^22 pixels (a
// 32-bit float has no fraction of a pixel left beyond that).
void RasterizePolyPolygon(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect,
                          TRenderSpanProc RenderProc, void* Data);

// The same with any callable taking (const TValueSpan&, int DstY).
template <class F>
  requires std::is_invocable_v<F&, const TValueSpan&, int>
void RasterizePolyPolygon(const TArrayOfArrayOfFloatPoint& Points, const TFloatRect& ClipRect, F&& Render) {
  using Fn = std::remove_reference_t<F>;
  RasterizePolyPolygon(
      Points, ClipRect,
      [](void* Data, const TValueSpan& Span, int DstY) { (*static_cast<Fn*>(Data))(Span, DstY); },
      const_cast<void*>(static_cast<const void*>(std::addressof(Render))));
}

}  // namespace velkor::Raster_VPR
