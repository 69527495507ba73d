#include "components/ListBoxes.h"

#include <QAbstractItemView>
#include <QListView>
#include <QPointer>
#include <QStyledItemDelegate>

#include <algorithm>

#include "components/CursorRoutines.h"

namespace velkor {

// Makes every item at least the combo's horizontal extent wide, so the
// list's contents are that wide and its scroll bar covers them. Painting
// stays with the delegate the style gave the list.
class TExtentDelegate : public QStyledItemDelegate {
 public:
  TExtentDelegate(const TSmartCombobox& Combo, QObject* Parent) : QStyledItemDelegate(Parent), FCombo(Combo) {}

  void Wrap(QAbstractItemDelegate* Inner) { FInner = Inner != this ? Inner : nullptr; }

  void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    if (FInner)
      FInner->paint(Painter, Option, Index);
    else
      QStyledItemDelegate::paint(Painter, Option, Index);
  }

  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    QSize size = FInner ? FInner->sizeHint(Option, Index) : QStyledItemDelegate::sizeHint(Option, Index);
    size.setWidth(std::max(size.width(), FCombo.HorizontalExtent()));
    return size;
  }

 private:
  const TSmartCombobox& FCombo;
  QPointer<QAbstractItemDelegate> FInner;
};


TSmartCombobox::TSmartCombobox(QWidget* Parent) : QComboBox(Parent) {
  setCursor(CursorOf(crHandPoint));
  // Qt's own list view of a combo keeps its contents as wide as the
  // viewport, which rules out horizontal scrolling; a plain list view
  // scrolls over its widest item.
  setView(new QListView);
}

void TSmartCombobox::SetDroppedWidth(int Value) {
  if (Value == FDroppedWidth) return;
  FDroppedWidth = Value;
  ApplyDroppedWidth();
}

void TSmartCombobox::SetHorizontalExtent(int Value) {
  if (Value == FHorizontalExtent) return;
  FHorizontalExtent = Value;
  ApplyHorizontalExtent();
}

void TSmartCombobox::ApplyDroppedWidth() {
  // The popup window holding the view: a view set later is moved into it.
  if (QWidget* popup = view()->window(); popup != this->window())
    popup->setMinimumWidth(std::max(FDroppedWidth, 0));
}

void TSmartCombobox::ApplyHorizontalExtent() {
  QAbstractItemView* list = view();
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list->setTextElideMode(Qt::ElideNone);
  // A view set since then comes with a delegate of its own: wrap that one.
  if (!FDelegate) FDelegate = new TExtentDelegate(*this, this);
  if (list->itemDelegate() != FDelegate) {
    FDelegate->Wrap(list->itemDelegate());
    list->setItemDelegate(FDelegate);
  }
  list->doItemsLayout();
}

void TSmartCombobox::showPopup() {
  ApplyDroppedWidth();
  ApplyHorizontalExtent();
  QComboBox::showPopup();
}

}  // namespace velkor
