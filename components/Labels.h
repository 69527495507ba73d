// A caption label that keeps itself beside the control it labels (or, in
// the other mode, keeps that control beside itself, snapped to a grid).
// Placing runs after the label's own changes (size, enabled state,
// visibility, direction, parent, its settings), never from a timer; labels
// do not follow a control that moves on its own.
#pragma once

#include <QLabel>
#include <QPointer>

#include <string>

#include "components/AlignRoutines.h"

namespace velkor {

enum TAdjustMode { amAdjustFocusControl, amAdjustMyself };

class TCustomSmartLab : public QLabel {
 public:
  explicit TCustomSmartLab(QWidget* Parent = nullptr);
  ~TCustomSmartLab() override;

  int LabelSpacing() const { return FLabelSpacing; }
  void SetLabelSpacing(int Value);
  TControlPosition LabelPosition() const { return FLabelPosition; }
  void SetLabelPosition(TControlPosition Value);
  TAdjustMode AdjustMode() const { return FAdjustMode; }
  void SetAdjustMode(TAdjustMode Value);
  // 1..2147483647; smaller values become 1.
  int GridSize() const { return FGridSize; }
  void SetGridSize(int Value);
  // The labelled control; a deleted control reads as nullptr.
  QWidget* FocusControl() const { return FFocusControl.data(); }
  void SetFocusControl(QWidget* Value);

  // The text; with AutoSize the label takes its text's size and is placed
  // again. The text alone only repaints.
  void SetCaption(const std::string& Value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  void setVisible(bool Visible) override;

  virtual void Adjust();
  virtual void AdjustMyself();
  virtual void AdjustLinkedControl();

 protected:
  void changeEvent(QEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;

 private:
  void AdjustBounds();

  int FLabelSpacing = 4;
  TControlPosition FLabelPosition = atLeftofTop;
  bool FPosUpdating = false;
  TAdjustMode FAdjustMode = amAdjustMyself;
  int FGridSize = 8;
  QPointer<QWidget> FFocusControl;
  bool FAutoSize = true;
};

class TSmartLab : public TCustomSmartLab {
 public:
  using TCustomSmartLab::TCustomSmartLab;
};

}  // namespace velkor
