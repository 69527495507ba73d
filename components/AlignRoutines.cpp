#include "components/AlignRoutines.h"

#include <QWidget>

#include "components/LowLevel.h"

namespace velkor {

namespace {

int RectWidth(const TRect& R) { return R.Right - R.Left; }
int RectHeight(const TRect& R) { return R.Bottom - R.Top; }

// The All places, once stretched, act as the side's first place.
TControlPosition WithoutAll(TControlPosition P) {
  switch (P) {
    case atAllofTop: return atLeftofTop;
    case atAllofBottom: return atLeftofBottom;
    case atAllofLeft: return atTopofLeft;
    case atAllofRight: return atTopofRight;
    default: return P;
  }
}

TRect BoundsOf(const QWidget* W) { return {W->x(), W->y(), W->x() + W->width(), W->y() + W->height()}; }

}  // namespace

TControlPosition MirrorPosition(TControlPosition P, bool RightToLeft) {
  if (!RightToLeft) return P;
  switch (P) {
    case atLeftofTop: return atRightofTop;
    case atRightofTop: return atLeftofTop;
    case atLeftofBottom: return atRightofBottom;
    case atRightofBottom: return atLeftofBottom;
    default: break;
  }
  if (P >= atTopofLeft && P <= atAllofLeft) return TControlPosition(P + 4);
  if (P >= atTopofRight) return TControlPosition(P - 4);
  return P;
}

TControlPosition OppositePosition(TControlPosition P) {
  if (P <= atAllofTop) return TControlPosition(P + 4);
  if (P <= atAllofBottom) return TControlPosition(P - 4);
  if (P <= atAllofLeft) return TControlPosition(P + 4);
  return TControlPosition(P - 4);
}

void PlaceRectBeside(TRect& R, const TRect& Ref, TControlPosition P, int Spacing) {
  int w = RectWidth(R), h = RectHeight(R);
  if (P == atAllofTop || P == atAllofBottom) w = RectWidth(Ref);
  if (P == atAllofLeft || P == atAllofRight) h = RectHeight(Ref);
  P = WithoutAll(P);
  int top = R.Top, left = R.Left;
  switch (P) {
    case atLeftofTop: case atCenterofTop: case atRightofTop: top = Ref.Top - h - Spacing; break;
    case atLeftofBottom: case atCenterofBottom: case atRightofBottom: top = Ref.Bottom + Spacing; break;
    case atTopofLeft: case atTopofRight: top = Ref.Top; break;
    case atMiddleofLeft: case atMiddleofRight: top = Ref.Top + (RectHeight(Ref) - h) / 2; break;
    case atBottomofLeft: case atBottomofRight: top = Ref.Bottom - h; break;
    default: break;
  }
  switch (P) {
    case atLeftofTop: case atLeftofBottom: left = Ref.Left; break;
    case atCenterofTop: case atCenterofBottom: left = Ref.Left + (RectWidth(Ref) - w) / 2; break;
    case atRightofTop: case atRightofBottom: left = Ref.Right - w; break;
    case atTopofLeft: case atMiddleofLeft: case atBottomofLeft: left = Ref.Left - w - Spacing; break;
    case atTopofRight: case atMiddleofRight: case atBottomofRight: left = Ref.Right + Spacing; break;
    default: break;
  }
  R = {left, top, left + w, top + h};
}

void AlignRectInside(TRect& R, const TRect& Ref, TControlPosition P, int Margin) {
  if (P == atAllofTop || P == atAllofBottom) {
    R.Left = Ref.Left;
    R.Right = Ref.Right;
  }
  if (P == atAllofLeft || P == atAllofRight) {
    R.Top = Ref.Top;
    R.Bottom = Ref.Bottom;
  }
  P = WithoutAll(P);
  int dy = 0, dx = 0;
  switch (P) {
    case atLeftofTop: case atCenterofTop: case atRightofTop: dy = Ref.Top + Margin - R.Top; break;
    case atLeftofBottom: case atCenterofBottom: case atRightofBottom: dy = Ref.Bottom - Margin - R.Bottom; break;
    case atTopofLeft: case atTopofRight: dy = Ref.Top - R.Top; break;
    case atMiddleofLeft: case atMiddleofRight: dy = (Ref.Top + Ref.Bottom) / 2 - (R.Top + R.Bottom) / 2; break;
    case atBottomofLeft: case atBottomofRight: dy = Ref.Bottom - R.Bottom; break;
    default: break;
  }
  switch (P) {
    case atLeftofTop: case atLeftofBottom: dx = Ref.Left - R.Left; break;
    case atCenterofTop: case atCenterofBottom: dx = (Ref.Left + Ref.Right) / 2 - (R.Left + R.Right) / 2; break;
    case atRightofTop: case atRightofBottom: dx = Ref.Right - R.Right; break;
    case atTopofLeft: case atMiddleofLeft: case atBottomofLeft: dx = Ref.Left + Margin - R.Left; break;
    case atTopofRight: case atMiddleofRight: case atBottomofRight: dx = Ref.Right - Margin - R.Right; break;
    default: break;
  }
  R = {R.Left + dx, R.Top + dy, R.Right + dx, R.Bottom + dy};
}

void CenterRectIn(TRect& R, const TRect& Ref) {
  const int dx = (Ref.Left + Ref.Right - R.Left - R.Right) / 2;
  const int dy = (Ref.Top + Ref.Bottom - R.Top - R.Bottom) / 2;
  R = {R.Left + dx, R.Top + dy, R.Right + dx, R.Bottom + dy};
}

void UnionOfRects(std::span<const TRect> Rects, TRect& U) {
  U = {2147483647, 2147483647, -2147483647, -2147483647};
  for (const TRect& r : Rects) {
    LowLevel::SetIfSmaller(U.Left, r.Left);
    LowLevel::SetIfSmaller(U.Top, r.Top);
    LowLevel::SetIfLarger(U.Right, r.Right);
    LowLevel::SetIfLarger(U.Bottom, r.Bottom);
  }
}

void PlaceControlBeside(QWidget* Control, QWidget* Ref, TControlPosition P, int Spacing) {
  if (!Control || !Ref) return;
  QWidget* parent = Ref->parentWidget();
  if (parent && Control->parentWidget() != parent) Control->setParent(parent);
  Control->setEnabled(!Ref->testAttribute(Qt::WA_Disabled));
  Control->setHidden(Ref->isHidden());
  Control->setLayoutDirection(Ref->layoutDirection());
  P = MirrorPosition(P, Ref->layoutDirection() == Qt::RightToLeft);
  TRect r = BoundsOf(Control);
  PlaceRectBeside(r, BoundsOf(Ref), P, Spacing);
  Control->setGeometry(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

void SafeSetFocus(QWidget* Control) {
  if (!Control) return;
  const QWidget* form = Control->window();
  if (!form || !form->isVisible()) return;
  try {
    if (Control->isEnabled() && Control->isVisible() && Control->focusPolicy() != Qt::NoFocus) Control->setFocus();
  } catch (...) {
    // A focus handler that throws must not take the caller down with it.
  }
}

}  // namespace velkor
