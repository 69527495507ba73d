#include "styling/SysStyleHook.h"

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QPainter>
#include <QVariant>

#include "styling/SysControls.h"
#include "toolkit/VisualStyles.h"

namespace velkor {

bool IsToolkitControl(const QWidget* Widget) { return Widget && !qobject_cast<const QMenu*>(Widget); }

// ---- TSysControl ----

TSysControl::TSysControl(QWidget* AHandle) : FHandle(AHandle) {}

QWidget* TSysControl::ParentHandle() const { return FHandle ? FHandle->parentWidget() : nullptr; }

std::unique_ptr<TSysControl> TSysControl::Parent() const {
  QWidget* parent = ParentHandle();
  return parent ? std::make_unique<TSysControl>(parent) : nullptr;
}

Qt::WindowFlags TSysControl::Style() const { return FHandle ? FHandle->windowFlags() : Qt::WindowFlags(); }

QRect TSysControl::WindowRect() const {
  if (!FHandle) return {};
  if (FHandle->isWindow()) return FHandle->frameGeometry();
  return QRect(FHandle->mapToGlobal(QPoint(0, 0)), FHandle->size());
}

int TSysControl::Width() const { return WindowRect().width(); }
int TSysControl::Height() const { return WindowRect().height(); }
QRect TSysControl::ClientRect() const { return FHandle ? FHandle->rect() : QRect(); }
bool TSysControl::IsChild() const { return FHandle && !FHandle->isWindow(); }
bool TSysControl::Enabled() const { return FHandle && FHandle->isEnabled(); }
bool TSysControl::Visible() const { return FHandle && FHandle->isVisible(); }
bool TSysControl::Focused() const { return FHandle && QApplication::focusWidget() == FHandle; }

QString TSysControl::Text() const {
  if (!FHandle) return {};
  // What a native window shows as its text: a control's text, a menu's
  // title, else the window title.
  for (const char* property : {"text", "title"}) {
    const QVariant value = FHandle->property(property);
    if (value.isValid() && value.canConvert<QString>()) return value.toString();
  }
  return FHandle->windowTitle();
}

std::string TSysControl::ControlClassName() const {
  if (FWindowClassName.empty() && FHandle) FWindowClassName = GetWindowClassName(FHandle);
  return FWindowClassName;
}

QFont TSysControl::Font() const { return FHandle ? FHandle->font() : QFont(); }

Qt::LayoutDirection TSysControl::BidiMode() const {
  return FHandle ? FHandle->layoutDirection() : Qt::LeftToRight;
}

bool TSysControl::UseRightToLeftAlignment() const { return BidiMode() == Qt::RightToLeft; }
bool TSysControl::UseRightToLeftReading() const { return BidiMode() == Qt::RightToLeft; }

Qt::Alignment TSysControl::DrawTextBiDiModeFlags(Qt::Alignment Flags) const {
  if (!UseRightToLeftAlignment()) return Flags;
  const Qt::Alignment horizontal = Flags & Qt::AlignHorizontal_Mask;
  Qt::Alignment result = Flags & ~Qt::AlignHorizontal_Mask;
  if (horizontal & Qt::AlignRight)
    result |= Qt::AlignLeft;
  else if (horizontal & Qt::AlignHCenter)
    result |= horizontal;
  else
    result |= Qt::AlignRight;
  return result | Qt::AlignAbsolute;
}

// ---- TSysStyleHook ----

TSysStyleHook::TSysStyleHook(QWidget* AHandle) : FHandle(AHandle), FSysControl(AHandle) {
  if (AHandle) {
    AHandle->installEventFilter(this);
    RefreshColors();
  }
}

TSysStyleHook::~TSysStyleHook() {
  if (QWidget* widget = Handle()) widget->removeEventFilter(this);
}

void TSysStyleHook::WidgetDestroyed() {
  FWidgetGone = true;
  FMustRemove = true;
}

QWidget* TSysStyleHook::ParentHandle() const {
  QWidget* widget = Handle();
  return widget ? widget->parentWidget() : nullptr;
}

void TSysStyleHook::SetStyleElements(TStyleElements Value) {
  if (Value == FStyleElements) return;
  FStyleElements = Value;
  SetOverridePaint(Value & seClient);
  FOverridePaintNC = Value & seBorder;
  FOverrideFont = Value & seFont;
}

void TSysStyleHook::SetOverridePaint(bool Value) {
  FOverridePaint = Value;
  if (Value) FOverrideEraseBkgnd = true;
}

bool TSysStyleHook::Focused() const { return Handle() && QApplication::focusWidget() == Handle(); }

QString TSysStyleHook::Text() {
  FText = FSysControl.Text();
  return FText;
}

bool TSysStyleHook::StylingActive() const {
  return StyleServices().Available() && !StyleServices().IsSystemStyle() &&
         (TSysStyleManager::HookToolkitControls || !IsToolkitControl(Handle()));
}

void TSysStyleHook::RefreshColors() {
  if (FOverrideEraseBkgnd || FOverridePaint)
    FColor = StyleServices().GetStyleColor(scWindow);
  else
    FColor = TColorToQColor(clBtnFace);
  FFontColor = FOverrideFont ? TColorToQColor(StyleServices().GetSystemColor(clWindowText)) : QColor(Qt::black);
}

void TSysStyleHook::FillBackground(QPainter& Painter) {
  if (QWidget* widget = Handle()) Painter.fillRect(widget->rect(), FColor);
}

void TSysStyleHook::DrawFrameEdge(QPainter& Painter) {
  QMargins border;
  QueryBorderWidths(border);
  QWidget* widget = Handle();
  if (!widget || border.left() <= 0 || border.top() <= 0 || border.right() <= 0 || border.bottom() <= 0) return;
  const QRect outer = widget->rect();
  const QRegion strip = QRegion(outer).subtracted(QRegion(outer.marginsRemoved(border)));
  Painter.save();
  Painter.setClipRegion(strip);
  Painter.fillRect(outer, StyleServices().GetStyleColor(scBorder));
  Painter.restore();
}

bool TSysStyleHook::CallPreviousProc(QEvent* Event) {
  QObject* widget = Handle();
  return widget ? widget->event(Event) : false;
}

bool TSysStyleHook::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched != Handle()) return false;
  const bool handled = HookWndProc(Event);
  FHandled = false;
  return handled;
}

bool TSysStyleHook::HookWndProc(QEvent* Event) {
  switch (Event->type()) {
    case QEvent::Show:
      // The widget runs now: its recorded children get their hooks.
      TSysStyleManager::HookRecordedChildren(Handle());
      return false;
    case QEvent::Paint:
      FHandled = PaintHandler(Event);
      return FHandled;
    default:
      return false;
  }
}

// Background, client area and border, each only where the hook overrides
// it; the widget paints the parts the hook leaves alone.
bool TSysStyleHook::PaintHandler(QEvent* Event) {
  QWidget* widget = Handle();
  if (!widget || !StylingActive()) return false;
  if (!FOverrideEraseBkgnd && !FOverridePaint && !FOverridePaintNC) return false;
  RefreshColors();
  if (FOverrideEraseBkgnd) {
    QPainter painter(widget);
    painter.setFont(FFont);
    if (FParentColor && widget->parentWidget())
      StyleServices().DrawParentBackground(widget, painter, widget->rect());
    else
      FillBackground(painter);
  }
  if (FOverridePaint) {
    QPainter painter(widget);
    painter.setFont(FFont);
    if (!CustomPaint(painter)) DrawClient(painter);
  } else {
    CallPreviousProc(Event);
  }
  if (FOverridePaintNC) {
    QPainter painter(widget);
    painter.setFont(FFont);
    DrawFrameEdge(painter);
    DrawNonClient(painter);
  }
  return true;
}

void TSysStyleHook::Invalidate() {
  if (FOverridePaintNC) InvalidateNC();
  if (QWidget* widget = Handle()) widget->update();
}

void TSysStyleHook::InvalidateNC() {
  QMargins border;
  QueryBorderWidths(border);
  QWidget* widget = Handle();
  if (!widget) return;
  const QRect outer = widget->rect();
  widget->update(QRegion(outer).subtracted(QRegion(outer.marginsRemoved(border))));
}

void TSysStyleHook::Refresh() {
  if (QWidget* widget = Handle()) widget->repaint();
}

int TSysStyleHook::DrawText(QPainter& Painter, const QColor* ElementColor, const QString& S, const QRect& R,
                            int Flags) {
  Painter.save();
  Painter.setPen(FOverrideFont && ElementColor ? *ElementColor : FFontColor);
  QRect drawn;
  Painter.drawText(R, Flags, S, &drawn);
  Painter.restore();
  return drawn.height();
}

int TSysStyleHook::DrawTextCentered(QPainter& Painter, const QColor* ElementColor, const QRect& R, const QString& S,
                                    int Flags) {
  const int flags = Flags | Qt::AlignHCenter | Qt::TextWordWrap;
  const QRect measured = Painter.boundingRect(R, flags, S);
  QRect target(R.left(), R.top(), R.width(), measured.height());
  if (target.height() < R.height())
    target.translate(0, (R.height() - target.height()) / 2);
  else
    target.setBottom(R.bottom());
  Painter.save();
  Painter.setClipRect(R, Qt::IntersectClip);
  Painter.setPen(FOverrideFont && ElementColor ? *ElementColor : FFontColor);
  Painter.drawText(target, flags, S);
  Painter.restore();
  return int(S.size());
}

void TSysStyleHook::DrawControlText(QPainter& Painter, const QColor* ElementColor, const QString& S, const QRect& R,
                                   int Flags) {
  QWidget* widget = Handle();
  Painter.save();
  if (widget) Painter.setFont(widget->font());
  const QPalette palette = widget ? widget->palette() : QApplication::palette();
  Painter.setPen(ElementColor ? *ElementColor : palette.color(QPalette::WindowText));
  Painter.drawText(R, Flags, S);
  Painter.restore();
}

}  // namespace velkor
