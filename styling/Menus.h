// Popup menus in the active visual style.
//
// Every QMenu is hooked by TSysPopupStyleHook (registered for "QMenu" at
// the unit's start-up). The hook gives its menu the menu style, a proxy over
// Fusion that paints the menu's panel and items with the style services'
// elements, and the application's menu font; removing the hook gives both
// back. QMenu itself keeps doing what a menu does: hot tracking, keys,
// sub-menus and the highlight of the item that opened a sub-menu.
//
// One layout function places every part of an item; the style paints with
// it and the tests check it.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QStyle>

#include <memory>
#include <optional>

#include "styling/SysStyleHook.h"
#include "toolkit/VisualStyles.h"

namespace velkor {

enum TMenuItemKind { mikNormal = 0, mikSeparator = 1, mikSubMenu = 2 };
enum TMenuItemState : unsigned { misHot = 1, misDisabled = 2, misChecked = 4, misDefault = 8 };

// What the layout needs to know of one item.
struct TMenuItemFacts {
  TMenuItemKind Kind = mikNormal;
  unsigned State = 0;  // TMenuItemState bits
  // An item of the program's own menus (as opposed to the menus Qt makes
  // for its widgets, such as a line edit's context menu).
  bool ToolkitItem = true;
  QSize Glyph = QSize();  // the item's image size; empty when it has none
  bool RadioCheck = false;
  bool RightToLeft = false;
  int ShortcutWidth = 0;  // 0 when there is no shortcut text
};

struct TMenuItemLayout {
  TThemedMenu ItemElement = tmPopupItemNormal;
  bool DrawItemElement = false;  // only hot items and separators have one
  QRect ElementRect;
  QRect GlyphRect;  // empty: no image drawn
  TThemedMenu CheckElement = tmPopupCheckNormal;
  QRect CheckRect;  // empty: no check mark or bullet
  TThemedMenu ArrowElement = tmPopupSubMenuNormal;
  QRect ArrowRect;  // empty: no sub-menu
  QRect TextRect;
  Qt::Alignment TextAlignment;
  QRect ShortcutRect;  // exactly the shortcut's width; empty without one
  TThemedMenu TextElement = tmPopupItemNormal;
  bool Bold = false;
};

TMenuItemLayout LayoutMenuItem(const TMenuItemFacts& Item, const QRect& R);

// An item's text is its caption, then a tab and the shortcut text. A text
// that begins with a tab is all caption.
struct TMenuItemText {
  QString Caption;
  QString Shortcut;
};
TMenuItemText SplitMenuItemText(const QString& Text);

// The style menus are painted with while hooked.
std::shared_ptr<QStyle> MenuStyle();

class TSysPopupStyleHook : public TSysStyleHook {
 public:
  explicit TSysPopupStyleHook(QWidget* AHandle);
  ~TSysPopupStyleHook() override;

  void FillBackground(QPainter& Painter) override;
  bool HookWndProc(QEvent* Event) override;
  void RefreshColors() override;

 private:
  void GiveMenuFont();

  std::shared_ptr<QStyle> FMenuStyle;
  QStyle* FOwnStyle = nullptr;     // the style the menu had set itself
  std::optional<QFont> FOwnFont;   // the font the menu had set itself
};

// The unit's start-up (the hook registered for menus, no native menu bar)
// and clean-up.
void MenusStartup();
void MenusCleanup();

}  // namespace velkor
