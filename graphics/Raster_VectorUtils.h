// Point-list routines of the vector layer: clipping a polygon to a
// rectangle and an integer line to a box, closing a polygon, its bounds,
// scaling and transforming point arrays, and the outlines of curved shapes
// (arcs, circles, ellipses) with the offsetting of a polygon that the path
// builder uses for rounded rectangles.
//
// Angles are in radians from the positive X axis towards the positive Y axis
// (clockwise on a screen whose Y axis points down).
#pragma once

#include <cstdint>

#include "graphics/Raster.h"
#include "graphics/Raster_Transforms.h"

namespace velkor::Raster_VectorUtils {

// Clips the line (X1, Y1)-(X2, Y2) to the box MinX..MaxX x MinY..MaxY
// (inclusive), moving the end points onto its edges. False when no part of
// the line lies inside; a point may then already have moved onto the line
// of an edge (the box is tested again after the top and bottom). Intersections
// are rounded to the nearest integer. Differences of coordinates wrap like
// 32-bit integers.
bool ClipLine(int& X1, int& Y1, int& X2, int& Y2, int MinX, int MinY, int MaxX, int MaxY);

// Points clipped to ClipRect (edges included), one side after the other:
// left, right, top, bottom. A polygon wholly inside comes back unchanged; one
// that lies wholly outside a side comes back empty.
void ClipPolygon(const TArrayOfFloatPoint& Points, const TFloatRect& ClipRect, TArrayOfFloatPoint& Result);

// Points, with the first point appended when there are at least two and the
// last differs from the first.
void ClosePolygon(const TArrayOfFloatPoint& Points, TArrayOfFloatPoint& Result);

// The smallest and largest X and Y over all points; (0, 0, 0, 0) for none.
TFloatRect PolygonBounds(const TArrayOfFloatPoint& Points);

TArrayOfFloatPoint ScalePolygon(const TArrayOfFloatPoint& Points, float ScaleX, float ScaleY);
TArrayOfArrayOfFloatPoint ScalePolyPolygon(const TArrayOfArrayOfFloatPoint& Points, float ScaleX, float ScaleY);

// Every point through the transformation's float forward mapping; the
// transformation prepares itself once, before the first point.
TArrayOfFloatPoint TransformPolygon(const TArrayOfFloatPoint& Points,
                                    Raster_Transforms::TTransformation& Transformation);
TArrayOfArrayOfFloatPoint TransformPolyPolygon(const TArrayOfArrayOfFloatPoint& Points,
                                               Raster_Transforms::TTransformation& Transformation);

// ----- Shape outlines ------------------------------------------------------

// Automatic step counts (an arc's, a circle's for Steps < 1) are computed
// in double precision and never exceed this many points.
inline constexpr int kMaxAutoSteps = 1 << 20;

// Join styles of GrowPolygon.
inline constexpr std::uint8_t jsMiter = 0;
inline constexpr std::uint8_t jsBevel = 1;
inline constexpr std::uint8_t jsRound = 2;

// The arc around P from StartAngle to EndAngle, both ends included: 6
// points for short arcs, else about sqrt(|Radius|) x the angle.
TArrayOfFloatPoint BuildArc(TFloatPoint P, float StartAngle, float EndAngle, float Radius);
// Steps points around Center, starting at angle 0; the last lies one step
// before the start (the polygon closes itself). Steps < 1 picks the count
// that keeps each chord within about 1/8 pixel of the circle (radius 10:
// 19 points).
TArrayOfFloatPoint BuildCircle(TFloatPoint Center, int Steps, float Radius);
// As BuildCircle with radii R.X and R.Y; the automatic count follows the
// smaller radius.
TArrayOfFloatPoint BuildEllipse(TFloatPoint Center, TFloatPoint R, int Steps);

// One normal per edge of the closed polygon (edge j runs from point j to
// the next): (dy, -dx) / length, outward for a polygon listed clockwise on
// screen. An edge no longer than 0.0001 keeps (dy, -dx) unscaled, so
// coincident points give an exactly zero normal.
TArrayOfFloatPoint BuildNormals(const TArrayOfFloatPoint& Points);

// The outline of Points moved outward by Delta along the edge normals, with
// miter, bevel or round joins at the vertices. A miter longer than
// MiterLimit x Delta becomes two points. Empty for fewer than two points or
// when every normal is zero.
TArrayOfFloatPoint GrowPolygon(const TArrayOfFloatPoint& Points, std::uint8_t JoinStyle, bool Closed,
                               float MiterLimit, float Delta);

}  // namespace velkor::Raster_VectorUtils
