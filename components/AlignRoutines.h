// Sixteen places of one rectangle beside or inside another, the geometry
// that puts a rectangle or a control there, and a focus call that never
// fails. Rectangles are left, top, right, bottom with exclusive right and
// bottom edges; a division by 2 truncates toward zero.
#pragma once

#include <cstdint>
#include <span>

#include "graphics/Raster.h"

class QWidget;

namespace velkor {

// The first word names where the rectangle sits along the reference's side,
// the last word the side of the reference. The ordinals are a contract.
enum TControlPosition : std::uint8_t {
  atLeftofTop, atCenterofTop, atRightofTop, atAllofTop,
  atLeftofBottom, atCenterofBottom, atRightofBottom, atAllofBottom,
  atTopofLeft, atMiddleofLeft, atBottomofLeft, atAllofLeft,
  atTopofRight, atMiddleofRight, atBottomofRight, atAllofRight,
};

// Left and right change places when RightToLeft.
TControlPosition MirrorPosition(TControlPosition P, bool RightToLeft);
// The place of the reference as seen from the rectangle.
TControlPosition OppositePosition(TControlPosition P);
// Puts R at P beside Ref, Spacing pixels away; R keeps its size except that
// the All places take Ref's width (top, bottom) or height (left, right).
void PlaceRectBeside(TRect& R, const TRect& Ref, TControlPosition P, int Spacing);
// Puts R at P inside Ref, Margin pixels from the side P names.
void AlignRectInside(TRect& R, const TRect& Ref, TControlPosition P, int Margin);
void CenterRectIn(TRect& R, const TRect& Ref);
// The smallest rectangle holding all of Rects; none gives the inverted start
// (2147483647, 2147483647, -2147483647, -2147483647).
void UnionOfRects(std::span<const TRect> Rects, TRect& U);

// Control takes Ref's parent, its enabled state, its visibility and its
// layout direction, and is placed at P beside Ref (P mirrored when Ref runs
// right to left).
void PlaceControlBeside(QWidget* Control, QWidget* Ref, TControlPosition P, int Spacing);
// Focuses Control when its window is shown and it can take the focus;
// nothing for nullptr, and nothing ever raised.
void SafeSetFocus(QWidget* Control);

}  // namespace velkor
