#include "styling/Menus.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>

#include <algorithm>

#include "styling/SysControls.h"

namespace velkor {

namespace {

constexpr int kGlyphInset = 4;        // image, check mark and arrow from the item's edge
constexpr int kNativeTextInset = 30;  // caption of an item without an image
constexpr int kGlyphTextGap = 8;      // caption behind an image
constexpr int kToolkitGlyph = 16;     // room a program item keeps for its image
constexpr int kShortcutInset = 14;    // shortcut's end from the item's far edge
constexpr int kSeparatorInset = 25;
constexpr int kCaptionShortcutGap = 24;
constexpr int kLargestGlyph = 48;     // the program's action images
constexpr int kSeparatorHeight = 9;
constexpr int kMinItemHeight = 22;

constexpr int kTextFlags = Qt::TextSingleLine | Qt::TextHideMnemonic | Qt::TextExpandTabs;

// Menus Qt makes for its own widgets (a line edit's context menu and the
// like) are named "qt_..."; their items are not the program's.
bool IsQtOwnMenu(const QWidget* Widget) { return Widget && Widget->objectName().startsWith(QLatin1String("qt_")); }

int GlyphWidth(const TMenuItemFacts& Item) {
  if (!Item.ToolkitItem) return 0;
  return Item.Glyph.isEmpty() ? kToolkitGlyph : Item.Glyph.width();
}

int TextInset(const TMenuItemFacts& Item) {
  const int glyph = GlyphWidth(Item);
  return glyph > 0 ? glyph + kGlyphTextGap : kNativeTextInset;
}

// A rectangle of size S at R's leading edge, centred vertically.
QRect PlaceAtLeadingEdge(const QSize& S, const QRect& R, bool RightToLeft) {
  QRect placed = CenterRectVertically(QRect(QPoint(0, 0), S), R);
  placed.moveLeft(RightToLeft ? R.left() + R.width() - S.width() - kGlyphInset : R.left() + kGlyphInset);
  return placed;
}

int TextWidth(const QFontMetrics& Metrics, const QString& Text) {
  return Text.isEmpty() ? 0 : Metrics.boundingRect(QRect(), kTextFlags, Text).width();
}

QFont ItemFont(const QStyleOptionMenuItem& Option) {
  QFont font = Option.font;
  if (Option.menuItemType == QStyleOptionMenuItem::DefaultItem) font.setBold(true);
  return font;
}

TMenuItemFacts FactsOf(const QStyleOptionMenuItem& Option, const QWidget* Widget) {
  TMenuItemFacts item;
  if (Option.menuItemType == QStyleOptionMenuItem::Separator)
    item.Kind = mikSeparator;
  else if (Option.menuItemType == QStyleOptionMenuItem::SubMenu)
    item.Kind = mikSubMenu;
  if (!(Option.state & QStyle::State_Enabled)) item.State |= misDisabled;
  if (Option.state & QStyle::State_Selected) item.State |= misHot;
  if (Option.checkType != QStyleOptionMenuItem::NotCheckable && Option.checked) item.State |= misChecked;
  if (Option.menuItemType == QStyleOptionMenuItem::DefaultItem) item.State |= misDefault;
  item.RadioCheck = Option.checkType == QStyleOptionMenuItem::Exclusive;
  item.RightToLeft = Option.direction == Qt::RightToLeft;
  item.ToolkitItem = !IsQtOwnMenu(Widget);
  if (!Option.icon.isNull()) item.Glyph = Option.icon.actualSize(QSize(kLargestGlyph, kLargestGlyph));
  const QString shortcut = SplitMenuItemText(Option.text).Shortcut;
  item.ShortcutWidth = TextWidth(QFontMetrics(ItemFont(Option)), shortcut);
  return item;
}

void DrawMenuItem(const QStyleOptionMenuItem& Option, QPainter& Painter, const QWidget* Widget) {
  const TMenuItemFacts item = FactsOf(Option, Widget);
  const TMenuItemLayout layout = LayoutMenuItem(item, Option.rect);
  const QPalette& palette = Option.palette;
  const TStyleServices& services = StyleServices();
  const bool hot = layout.ItemElement == tmPopupItemHot;
  if (layout.DrawItemElement) services.DrawElement(Painter, layout.ItemElement, layout.ElementRect, palette);
  if (item.Kind == mikSeparator) return;

  if (!layout.ArrowRect.isEmpty()) {
    Painter.save();
    if (item.RightToLeft) {  // the arrow turned half a turn
      const QPointF centre = QRectF(layout.ArrowRect).center();
      Painter.translate(centre);
      Painter.rotate(180);
      Painter.translate(-centre);
    }
    services.DrawElement(Painter, layout.ArrowElement, layout.ArrowRect, palette, hot);
    Painter.restore();
  }
  if (!layout.GlyphRect.isEmpty()) Option.icon.paint(&Painter, layout.GlyphRect, Qt::AlignCenter, QIcon::Normal);
  if (!layout.CheckRect.isEmpty()) services.DrawElement(Painter, layout.CheckElement, layout.CheckRect, palette, hot);

  QColor ink;
  services.GetElementTextColor(layout.TextElement, palette, ink);
  Painter.save();
  Painter.setFont(ItemFont(Option));
  Painter.setPen(ink);
  const TMenuItemText text = SplitMenuItemText(Option.text);
  Painter.drawText(layout.TextRect, kTextFlags | int(layout.TextAlignment), text.Caption);
  if (!layout.ShortcutRect.isEmpty())
    Painter.drawText(layout.ShortcutRect, kTextFlags | int(layout.TextAlignment), text.Shortcut);
  Painter.restore();
}

QSize MenuItemSize(const QStyleOptionMenuItem& Option, const QWidget* Widget) {
  if (Option.menuItemType == QStyleOptionMenuItem::Separator) return {kSeparatorInset + 8, kSeparatorHeight};
  const TMenuItemFacts item = FactsOf(Option, Widget);
  const QFontMetrics metrics(ItemFont(Option));
  const TMenuItemText text = SplitMenuItemText(Option.text);
  // Room behind the caption: the far inset, the gap before the shortcut
  // column (whose width QMenu adds to every item by itself), the arrow.
  int trailing = kShortcutInset;
  if (Option.reservedShortcutWidth > 0 || !text.Shortcut.isEmpty()) trailing += kCaptionShortcutGap;
  if (item.Kind == mikSubMenu) {
    const QSize arrow = StyleServices().GetElementSize(tmPopupSubMenuNormal);
    trailing = std::max(trailing, arrow.width() + kGlyphInset + kCaptionShortcutGap / 2);
  }
  const int width = TextInset(item) + TextWidth(metrics, text.Caption) + trailing;
  const int height = std::max({metrics.height() + 8, item.Glyph.height() + 6, kMinItemHeight});
  return {width, height};
}

// The proxy that paints hooked menus. Under the system style it leaves
// everything to Fusion.
class TMenuStyle : public QProxyStyle {
 public:
  TMenuStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

  void drawPrimitive(PrimitiveElement Element, const QStyleOption* Option, QPainter* Painter,
                     const QWidget* Widget) const override {
    if (!IsSystemStyle()) {
      if (Element == PE_PanelMenu) {
        StyleServices().DrawElement(*Painter, tmPopupBorders, Option->rect, Option->palette);
        return;
      }
      if (Element == PE_FrameMenu) return;  // the panel has drawn the border
    }
    QProxyStyle::drawPrimitive(Element, Option, Painter, Widget);
  }

  void drawControl(ControlElement Element, const QStyleOption* Option, QPainter* Painter,
                   const QWidget* Widget) const override {
    if (!IsSystemStyle()) {
      if (Element == CE_MenuEmptyArea) return;
      const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(Option);
      if (Element == CE_MenuItem && item && item->menuItemType != QStyleOptionMenuItem::EmptyArea &&
          item->menuItemType != QStyleOptionMenuItem::Scroller && item->menuItemType != QStyleOptionMenuItem::TearOff) {
        DrawMenuItem(*item, *Painter, Widget);
        return;
      }
    }
    QProxyStyle::drawControl(Element, Option, Painter, Widget);
  }

  QSize sizeFromContents(ContentsType Type, const QStyleOption* Option, const QSize& Size,
                         const QWidget* Widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(Option);
    if (Type == CT_MenuItem && item && !IsSystemStyle()) return MenuItemSize(*item, Widget);
    return QProxyStyle::sizeFromContents(Type, Option, Size, Widget);
  }

  int pixelMetric(PixelMetric Metric, const QStyleOption* Option, const QWidget* Widget) const override {
    if (!IsSystemStyle()) {
      switch (Metric) {
        case PM_SmallIconSize: return kLargestGlyph;  // the action images keep their size
        case PM_MenuPanelWidth: return 1;
        case PM_MenuHMargin: return 1;
        case PM_MenuVMargin: return 2;
        default: break;
      }
    }
    return QProxyStyle::pixelMetric(Metric, Option, Widget);
  }

  int styleHint(StyleHint Hint, const QStyleOption* Option, const QWidget* Widget,
                QStyleHintReturn* ReturnData) const override {
    // The keyboard reaches disabled items too; it skips separators only.
    if (Hint == SH_Menu_AllowActiveAndDisabled && !IsSystemStyle()) return 1;
    return QProxyStyle::styleHint(Hint, Option, Widget, ReturnData);
  }
};

std::shared_ptr<QStyle>& MenuStyleSlot() {
  static std::shared_ptr<QStyle> slot;
  return slot;
}

}  // namespace

TMenuItemText SplitMenuItemText(const QString& Text) {
  const qsizetype tab = Text.indexOf(QLatin1Char('\t'));
  if (tab < 1) return {Text, {}};
  return {Text.left(tab), Text.mid(tab + 1)};
}

TMenuItemLayout LayoutMenuItem(const TMenuItemFacts& Item, const QRect& R) {
  TMenuItemLayout layout;
  const bool rtl = Item.RightToLeft;
  const bool disabled = Item.State & misDisabled;
  const bool hot = (Item.State & misHot) && !disabled;
  const int left = R.left(), right = R.left() + R.width();  // right is exclusive

  layout.ItemElement = disabled ? tmPopupItemDisabled : hot ? tmPopupItemHot : tmPopupItemNormal;
  layout.TextElement = layout.ItemElement;
  layout.ElementRect = R;
  layout.Bold = Item.State & misDefault;
  if (Item.Kind == mikSeparator) {
    layout.ItemElement = tmPopupSeparator;
    layout.ElementRect = rtl ? R.adjusted(0, 0, -kSeparatorInset, 0) : R.adjusted(kSeparatorInset, 0, 0, 0);
  }
  layout.DrawItemElement = layout.ItemElement == tmPopupItemHot || layout.ItemElement == tmPopupSeparator;
  if (Item.Kind == mikSeparator) return layout;

  int textLeft = left, textRight = right;
  if (Item.Kind == mikSubMenu) {
    layout.ArrowElement = disabled ? tmPopupSubMenuDisabled : tmPopupSubMenuNormal;
    const QSize arrow = StyleServices().GetElementSize(layout.ArrowElement);
    layout.ArrowRect = CenterRectVertically(QRect(QPoint(0, 0), arrow), R);
    layout.ArrowRect.moveLeft(rtl ? left + kGlyphInset : right - arrow.width() - kGlyphInset);
    if (rtl)
      textLeft += arrow.width() + kGlyphInset;
    else
      textRight -= arrow.width() + kGlyphInset;
  }

  // An image takes the place of the check mark.
  bool checkAllowed = true;
  if (!Item.Glyph.isEmpty()) {
    layout.GlyphRect = PlaceAtLeadingEdge(Item.Glyph, R, rtl);
    checkAllowed = false;
  }
  if ((Item.State & misChecked) && checkAllowed) {
    layout.CheckElement = Item.RadioCheck ? (disabled ? tmPopupBulletDisabled : tmPopupBulletNormal)
                                          : (disabled ? tmPopupCheckDisabled : tmPopupCheckNormal);
    layout.CheckRect = PlaceAtLeadingEdge(StyleServices().GetElementSize(layout.CheckElement), R, rtl);
  }

  if (rtl) {
    textRight = right - TextInset(Item);
    layout.TextAlignment = Qt::AlignRight | Qt::AlignVCenter | Qt::AlignAbsolute;
  } else {
    textLeft = left + TextInset(Item);
    layout.TextAlignment = Qt::AlignLeft | Qt::AlignVCenter | Qt::AlignAbsolute;
  }
  layout.TextRect = QRect(textLeft, R.top(), std::max(0, textRight - textLeft), R.height());
  if (Item.ShortcutWidth > 0) {
    const int shortcutLeft = rtl ? left + kShortcutInset : right - kShortcutInset - Item.ShortcutWidth;
    layout.ShortcutRect = QRect(shortcutLeft, R.top(), Item.ShortcutWidth, R.height());
  }
  return layout;
}

std::shared_ptr<QStyle> MenuStyle() {
  std::shared_ptr<QStyle>& slot = MenuStyleSlot();
  if (!slot) slot = std::make_shared<TMenuStyle>();
  return slot;
}

TSysPopupStyleHook::TSysPopupStyleHook(QWidget* AHandle) : TSysStyleHook(AHandle) {
  SetStyleElements(seFont | seClient | seBorder);
  RefreshColors();
  if (!AHandle) return;
  FMenuStyle = MenuStyle();
  if (AHandle->testAttribute(Qt::WA_SetStyle)) FOwnStyle = AHandle->style();
  if (AHandle->testAttribute(Qt::WA_SetFont)) FOwnFont = AHandle->font();
  AHandle->setStyle(FMenuStyle.get());
  GiveMenuFont();
}

TSysPopupStyleHook::~TSysPopupStyleHook() {
  QWidget* menu = Handle();
  if (!menu) return;
  menu->setStyle(FOwnStyle);  // none: the application's style again
  menu->setFont(FOwnFont ? *FOwnFont : QFont());
}

// A menu without a font of its own shows the application's menu font, and
// keeps following it when the program changes it.
void TSysPopupStyleHook::GiveMenuFont() {
  if (QWidget* menu = Handle()) menu->setFont(QFont());
}

void TSysPopupStyleHook::FillBackground(QPainter& Painter) {
  if (QWidget* menu = Handle())
    StyleServices().DrawElement(Painter, tmPopupBorders, menu->rect(), StyleServices().MenuPalette());
}

bool TSysPopupStyleHook::HookWndProc(QEvent* Event) {
  switch (Event->type()) {
    case QEvent::Paint:
      return false;  // the menu paints itself, through the menu style
    default:
      return TSysStyleHook::HookWndProc(Event);
  }
}

void TSysPopupStyleHook::RefreshColors() {
  TSysStyleHook::RefreshColors();
  SetFont(QApplication::font("QMenu"));
}

void MenusStartup() {
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
  if (StyleServices().Available())
    TSysStyleManager::RegisterSysStyleHook("QMenu", &CreateStyleHook<TSysPopupStyleHook>);
}

void MenusCleanup() {
  TSysStyleManager::UnRegisterSysStyleHook("QMenu");
  MenuStyleSlot().reset();  // hooks still alive keep theirs until they go
}

}  // namespace velkor
