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
// the line lies inside; the points are then left as they are. Intersections
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

}  // namespace velkor::Raster_VectorUtils
