#include "components/Labels.h"

#include <QEvent>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>

namespace velkor {

namespace {

// Round(V / Grid) * Grid with halves to even.
int Snap(int V, int Grid) { return int(std::nearbyint(double(V) / Grid)) * Grid; }

// Sets Flag for the lifetime of the object, also when an exception passes.
class TGuard {
 public:
  explicit TGuard(bool& Flag) : FFlag(Flag) { FFlag = true; }
  ~TGuard() { FFlag = false; }
  TGuard(const TGuard&) = delete;
  TGuard& operator=(const TGuard&) = delete;

 private:
  bool& FFlag;
};

}  // namespace

TCustomSmartLab::TCustomSmartLab(QWidget* Parent) : QLabel(Parent) {
  setCursor(Qt::ArrowCursor);
  setAutoFillBackground(false);  // transparent
}

TCustomSmartLab::~TCustomSmartLab() { FFocusControl = nullptr; }

void TCustomSmartLab::SetLabelSpacing(int Value) {
  if (Value == FLabelSpacing) return;
  FLabelSpacing = Value;
  Adjust();
}

void TCustomSmartLab::SetLabelPosition(TControlPosition Value) {
  if (Value == FLabelPosition) return;
  FLabelPosition = Value;
  Adjust();
}

void TCustomSmartLab::SetAdjustMode(TAdjustMode Value) {
  if (Value == FAdjustMode) return;
  FAdjustMode = Value;
  Adjust();
}

void TCustomSmartLab::SetGridSize(int Value) {
  Value = std::max(Value, 1);
  if (Value == FGridSize) return;
  FGridSize = Value;
  Adjust();
}

void TCustomSmartLab::SetFocusControl(QWidget* Value) {
  FFocusControl = Value;
  setBuddy(Value);
  Adjust();
}

void TCustomSmartLab::SetCaption(const std::string& Value) {
  const QString text = QString::fromStdString(Value);
  if (text == this->text()) return;
  setText(text);
  AdjustBounds();
}

void TCustomSmartLab::SetAutoSize(bool Value) {
  if (Value == FAutoSize) return;
  FAutoSize = Value;
  AdjustBounds();
}

void TCustomSmartLab::AdjustBounds() {
  if (!FAutoSize) return;
  adjustSize();
  Adjust();
}

void TCustomSmartLab::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  setGeometry(ALeft, ATop, std::max(AWidth, 0), std::max(AHeight, 0));
  Adjust();
}

void TCustomSmartLab::setVisible(bool Visible) {
  QLabel::setVisible(Visible);
  Adjust();
}

void TCustomSmartLab::Adjust() {
  if (FAdjustMode == amAdjustFocusControl)
    AdjustLinkedControl();
  else
    AdjustMyself();
}

void TCustomSmartLab::AdjustMyself() {
  if (!FFocusControl || FPosUpdating) return;
  TGuard guard(FPosUpdating);
  PlaceControlBeside(this, FFocusControl, FLabelPosition, FLabelSpacing);
}

void TCustomSmartLab::AdjustLinkedControl() {
  if (!FFocusControl || FPosUpdating) return;
  TGuard guard(FPosUpdating);
  QWidget* control = FFocusControl;
  PlaceControlBeside(control, this, OppositePosition(FLabelPosition), FLabelSpacing);
  control->move(control->x(), Snap(control->y(), FGridSize));
  control->move(Snap(control->x(), FGridSize), control->y());
  PlaceControlBeside(this, control, FLabelPosition, FLabelSpacing);
}

void TCustomSmartLab::changeEvent(QEvent* Event) {
  QLabel::changeEvent(Event);
  switch (Event->type()) {
    case QEvent::EnabledChange:
    case QEvent::LayoutDirectionChange:
    case QEvent::ParentChange:
      Adjust();
      break;
    default:
      break;
  }
}

void TCustomSmartLab::mousePressEvent(QMouseEvent* Event) {
  QLabel::mousePressEvent(Event);
  SafeSetFocus(FFocusControl);
}

}  // namespace velkor
