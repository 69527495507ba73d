// The smart combo box: its drop-down list may be wider than the control
// (DroppedWidth) and scroll horizontally over a wider extent
// (HorizontalExtent). Both are applied again every time the list drops
// down, so they survive a replaced view or popup.
#pragma once

#include <QComboBox>

namespace velkor {

class TExtentDelegate;

class TSmartCombobox : public QComboBox {
 public:
  explicit TSmartCombobox(QWidget* Parent = nullptr);

  // The width of the drop-down list in pixels; 0 leaves it to Qt.
  int DroppedWidth() const { return FDroppedWidth; }
  void SetDroppedWidth(int Value);
  // The scrollable width of the list: items are at least this wide, never
  // elided, and a horizontal scroll bar appears when they do not fit.
  int HorizontalExtent() const { return FHorizontalExtent; }
  void SetHorizontalExtent(int Value);

  // Drops the list down with both widths applied.
  void showPopup() override;

 private:
  void ApplyDroppedWidth();
  void ApplyHorizontalExtent();

  int FDroppedWidth = 0;
  int FHorizontalExtent = 0;
  TExtentDelegate* FDelegate = nullptr;  // a child of the combo
};

}  // namespace velkor
