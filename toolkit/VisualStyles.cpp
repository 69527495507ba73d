#include "toolkit/VisualStyles.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include <array>

#include "core/NameCompare.h"
#include "graphics/Raster.h"

namespace velkor {

namespace {

// What a style is made of; the rest of its palettes is derived from these,
// so every style shades its bevels, disabled texts and separators alike.
struct TStyleSeed {
  const char* Name;
  QRgb Window, WindowText, Base, Button, Highlight, HighlightedText, Link, Menu, MenuBorder;
  bool Dark;
};

// Light and dark looks; every text colour keeps a contrast of at least 4.5:1
// against the surface it is drawn on (the tests hold the table to it).
constexpr std::array<TStyleSeed, 16> kStyles = {{
    {"Default", 0xEFEFEF, 0x1E1E1E, 0xFFFFFF, 0xE4E4E4, 0x2B6CC4, 0xFFFFFF, 0x1F5FB8, 0xFAFAFA, 0xA8A8A8, false},
    {"Graphite", 0x2B2D30, 0xE6E6E6, 0x1F2023, 0x3A3D41, 0x3270D6, 0xFFFFFF, 0x7AB0FF, 0x2F3135, 0x55585D, true},
    {"Midnight", 0x1E2233, 0xDDE3F0, 0x161A28, 0x2A3048, 0x4F6BE8, 0xFFFFFF, 0x8EA6FF, 0x23283B, 0x3F4763, true},
    {"Ocean", 0xE8F1F8, 0x13293D, 0xFFFFFF, 0xD5E5F2, 0x1B6CA8, 0xFFFFFF, 0x0F5C94, 0xF5FAFD, 0x8FB3D0, false},
    {"Forest", 0xECF2EA, 0x1D2B1F, 0xFFFFFF, 0xDCE7D8, 0x2E7D32, 0xFFFFFF, 0x1B5E20, 0xF7FAF6, 0x9DB899, false},
    {"Evergreen", 0x1F2A24, 0xDCE8DF, 0x17201B, 0x2C3A32, 0x287F44, 0xFFFFFF, 0x81C784, 0x24302A, 0x40564A, true},
    {"Sand", 0xF3EDE2, 0x2E261C, 0xFFFCF6, 0xE7DDCB, 0xA85A16, 0xFFFFFF, 0x8A4B12, 0xFBF7F0, 0xC2B196, false},
    {"Espresso", 0x2A221D, 0xEDE0D4, 0x201A16, 0x3A2F28, 0xD08C3C, 0x1A120C, 0xE8B07A, 0x30261F, 0x54443A, true},
    {"Plum", 0xF1ECF4, 0x2A1E33, 0xFFFFFF, 0xE3D9EA, 0x7B3FA0, 0xFFFFFF, 0x6A2C91, 0xFAF7FC, 0xB9A5C7, false},
    {"Aubergine", 0x261E2E, 0xE8DEF0, 0x1D1624, 0x362B41, 0x8E55C7, 0xFFFFFF, 0xC39BEA, 0x2B2234, 0x4C3F5A, true},
    {"Ruby", 0xF4EEEE, 0x2B1A1A, 0xFFFFFF, 0xE9DCDC, 0xB3261E, 0xFFFFFF, 0x9C1F18, 0xFCF8F8, 0xC9A9A7, false},
    {"Arctic", 0xF4F7FA, 0x1C2430, 0xFFFFFF, 0xE6ECF2, 0x0B6FA4, 0xFFFFFF, 0x0B6FA4, 0xFFFFFF, 0xB4C3D2, false},
    {"Carbon", 0x121212, 0xE0E0E0, 0x0A0A0A, 0x1E1E1E, 0x2A6EBB, 0xFFFFFF, 0x6CA8F0, 0x1A1A1A, 0x3A3A3A, true},
    {"Teal", 0x1B2B2E, 0xD8ECEE, 0x132023, 0x27393D, 0x2EC4B6, 0x06201E, 0x5FD8CC, 0x203235, 0x38504F, true},
    {"Amber", 0xFBF6E9, 0x2B2410, 0xFFFEF8, 0xF0E6C8, 0xE0A800, 0x221A00, 0x7A5A00, 0xFFFBF0, 0xCDBB8A, false},
    {"High Contrast", 0x000000, 0xFFFFFF, 0x000000, 0x101010, 0xFFD400, 0x000000, 0x7FDBFF, 0x000000, 0xFFFFFF, true},
}};

QColor Mix(const QColor& From, const QColor& To, double T) {
  auto channel = [T](int a, int b) { return int(a + (b - a) * T + 0.5); };
  return QColor(channel(From.red(), To.red()), channel(From.green(), To.green()), channel(From.blue(), To.blue()));
}

// A disabled text is the text colour halfway into its background.
QColor DisabledText(const QColor& Text, const QColor& Surface) { return Mix(Text, Surface, 0.55); }

QPalette BuildPalette(const TStyleSeed& S) {
  const QColor window(S.Window), text(S.WindowText), base(S.Base), button(S.Button);
  const QColor highlight(S.Highlight), highlightedText(S.HighlightedText), link(S.Link);
  const QColor white(Qt::white), black(Qt::black);
  QPalette p;
  auto set = [&p](QPalette::ColorRole Role, const QColor& C) { p.setColor(QPalette::All, Role, C); };
  set(QPalette::Window, window);
  set(QPalette::WindowText, text);
  set(QPalette::Base, base);
  set(QPalette::AlternateBase, Mix(base, text, 0.04));
  set(QPalette::ToolTipBase, Mix(base, highlight, 0.12));
  set(QPalette::ToolTipText, text);
  set(QPalette::PlaceholderText, Mix(text, base, 0.45));
  set(QPalette::Text, text);
  set(QPalette::Button, button);
  set(QPalette::ButtonText, text);
  set(QPalette::BrightText, S.Dark ? white : black);
  set(QPalette::Highlight, highlight);
  set(QPalette::HighlightedText, highlightedText);
  set(QPalette::Link, link);
  set(QPalette::LinkVisited, Mix(link, text, 0.3));
  // Bevels: lighter towards white, darker towards black, in both kinds of
  // style, so that Fusion's raised and sunken edges read the same way.
  set(QPalette::Light, Mix(button, white, S.Dark ? 0.12 : 0.6));
  set(QPalette::Midlight, Mix(button, white, S.Dark ? 0.06 : 0.3));
  set(QPalette::Mid, Mix(button, S.Dark ? white : black, S.Dark ? 0.1 : 0.2));
  set(QPalette::Dark, Mix(button, black, S.Dark ? 0.45 : 0.35));
  set(QPalette::Shadow, Mix(button, black, S.Dark ? 0.7 : 0.6));

  auto disable = [&p](QPalette::ColorRole Role, const QColor& C) { p.setColor(QPalette::Disabled, Role, C); };
  disable(QPalette::WindowText, DisabledText(text, window));
  disable(QPalette::Text, DisabledText(text, base));
  disable(QPalette::ButtonText, DisabledText(text, button));
  disable(QPalette::Base, window);
  disable(QPalette::Highlight, Mix(highlight, window, 0.5));
  disable(QPalette::HighlightedText, Mix(highlightedText, window, 0.3));
  return p;
}

QPalette BuildMenuPalette(const TStyleSeed& S) {
  QPalette p = BuildPalette(S);
  const QColor menu(S.Menu), text(S.WindowText);
  for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button}) p.setColor(QPalette::All, role, menu);
  p.setColor(QPalette::All, QPalette::Dark, QColor(S.MenuBorder));
  p.setColor(QPalette::All, QPalette::Mid, Mix(menu, text, S.Dark ? 0.22 : 0.18));  // separators
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, DisabledText(text, menu));
  p.setColor(QPalette::Disabled, QPalette::Base, menu);
  return p;
}

// The system colours a style stands for, by index (Colors.h).
std::array<QRgb, kSystemColorCount> BuildSystemColors(const QPalette& P, const QPalette& M) {
  auto c = [&P](QPalette::ColorRole Role) { return P.color(QPalette::Active, Role).rgb(); };
  auto m = [&M](QPalette::ColorRole Role) { return M.color(QPalette::Active, Role).rgb(); };
  return {
      c(QPalette::Button),     c(QPalette::Dark),        c(QPalette::Highlight),  c(QPalette::Mid),
      m(QPalette::Window),     c(QPalette::Base),        c(QPalette::Shadow),     m(QPalette::WindowText),
      c(QPalette::Text),       c(QPalette::HighlightedText), c(QPalette::Button), c(QPalette::Button),
      c(QPalette::Mid),        c(QPalette::Highlight),   c(QPalette::HighlightedText), c(QPalette::Button),
      c(QPalette::Dark),       P.color(QPalette::Disabled, QPalette::Text).rgb(), c(QPalette::ButtonText),
      c(QPalette::WindowText), c(QPalette::Light),       c(QPalette::Shadow),     c(QPalette::Midlight),
      c(QPalette::ToolTipText), c(QPalette::ToolTipBase), c(QPalette::Button),    c(QPalette::Link),
      Mix(P.color(QPalette::Highlight), P.color(QPalette::Base), 0.5).rgb(),
      Mix(P.color(QPalette::Mid), P.color(QPalette::Base), 0.5).rgb(),
      m(QPalette::Highlight),  c(QPalette::Window),
  };
}

int FindStyle(std::string_view Name) {
  for (std::size_t i = 0; i < kStyles.size(); ++i)
    if (SameText(Name, kStyles[i].Name)) return int(i);
  return -1;
}

struct TStyleState {
  int Active = -1;  // index into kStyles; -1 is the system style
  QString SystemStyleName;
  QPalette SystemPalette, SystemMenuPalette;
  std::array<QRgb, kSystemColorCount> SystemColors{};
};

TStyleState& State() {
  static TStyleState state;
  return state;
}

// Qt hands palette changes on to the widgets only once its event loop runs;
// the first style is applied before that, and tests run without it.
void ResolveWidgetPalettes() {
  for (QWidget* widget : QApplication::allWidgets()) {
    QEvent event(QEvent::ApplicationPaletteChange);
    QCoreApplication::sendEvent(widget, &event);
  }
}

}  // namespace

const std::vector<std::string>& StyleNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const auto& s : kStyles) list.emplace_back(s.Name);
    return list;
  }();
  return names;
}

bool ApplyStyle(std::string_view Name) {
  const int index = FindStyle(Name);
  if (index < 0 || !StyleServicesEnabled()) return false;
  TStyleState& state = State();
  const QPalette palette = BuildPalette(kStyles[index]);
  const QPalette menuPalette = BuildMenuPalette(kStyles[index]);
  const bool fromSystem = state.Active < 0;
  state.Active = index;
  state.SystemColors = BuildSystemColors(palette, menuPalette);
  if (fromSystem) {
    state.SystemStyleName = QApplication::style()->name();
    state.SystemPalette = QApplication::palette();
    state.SystemMenuPalette = QApplication::palette("QMenu");
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  }
  // Class palettes go in after the style: a new application style reloads
  // them from the platform theme.
  QApplication::setPalette(palette);
  QApplication::setPalette(menuPalette, "QMenu");
  ResolveWidgetPalettes();
  NotifyStyleChanged();
  return true;
}

void RestoreSystemStyle() {
  TStyleState& state = State();
  if (state.Active < 0 || !StyleServicesEnabled()) return;
  state.Active = -1;
  QStyle* style = QStyleFactory::create(state.SystemStyleName);
  QApplication::setStyle(style ? style : QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setPalette(state.SystemPalette);
  QApplication::setPalette(state.SystemMenuPalette, "QMenu");
  ResolveWidgetPalettes();
  NotifyStyleChanged();
}

std::string ActiveStyleName() {
  const int index = State().Active;
  return index < 0 ? std::string() : std::string(kStyles[index].Name);
}

bool IsCustomStyleActive() { return State().Active >= 0; }
bool IsSystemStyle() { return State().Active < 0; }
bool StyleServicesEnabled() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

void NotifyStyleChanged() {
  QList<QPointer<QWidget>> widgets;
  for (QWidget* w : QApplication::allWidgets()) widgets.append(w);
  // A handler may delete other widgets; the guards skip them.
  for (const QPointer<QWidget>& w : widgets) {
    if (!w) continue;
    QEvent event(QEvent::StyleChange);
    QCoreApplication::sendEvent(w, &event);
    if (w) w->update();
  }
}

TColor GetSystemColor(TColor Color) {
  const TStyleState& state = State();
  if (state.Active < 0 || !IsSystemColorRef(Color)) return Color;
  const int index = SystemColorIndex(Color);
  if (index >= kSystemColorCount) return Color;
  return QColorToTColor(QColor(state.SystemColors[index]));
}

QColor TColorToQColor(TColor Color) { return QColor::fromRgb(WinColorToColor32(GetSystemColor(Color))); }

TColor QColorToTColor(const QColor& Color) {
  return TColor(Color.red() | (Color.green() << 8) | (Color.blue() << 16));
}

bool TStyleServices::Available() const { return StyleServicesEnabled(); }
bool TStyleServices::Enabled() const { return StyleServicesEnabled(); }
bool TStyleServices::IsSystemStyle() const { return velkor::IsSystemStyle(); }
TColor TStyleServices::GetSystemColor(TColor Color) const { return velkor::GetSystemColor(Color); }

QColor TStyleServices::GetStyleColor(TStyleColor Color) const {
  const QPalette p = QApplication::palette();
  switch (Color) {
    case scWindow: return p.color(QPalette::Window);
    case scBorder: return p.color(QPalette::Dark);
    case scButtonNormal: return p.color(QPalette::Button);
    case scEdit: return p.color(QPalette::Base);
    case scPanel: return p.color(QPalette::Window);
  }
  return p.color(QPalette::Window);
}

QColor TStyleServices::GetStyleFontColor(TStyleFont Font) const {
  const QPalette p = QApplication::palette();
  const QPalette m = MenuPalette();
  switch (Font) {
    case sfPopupMenuItemTextNormal: return m.color(QPalette::Active, QPalette::WindowText);
    case sfPopupMenuItemTextHot: return m.color(QPalette::Active, QPalette::HighlightedText);
    case sfPopupMenuItemTextDisabled: return m.color(QPalette::Disabled, QPalette::WindowText);
    case sfWindowTextNormal: return p.color(QPalette::Active, QPalette::WindowText);
    case sfButtonTextNormal: return p.color(QPalette::Active, QPalette::ButtonText);
    case sfButtonTextDisabled: return p.color(QPalette::Disabled, QPalette::ButtonText);
  }
  return p.color(QPalette::WindowText);
}

QPalette TStyleServices::MenuPalette() const { return QApplication::palette("QMenu"); }

QSize TStyleServices::GetElementSize(TThemedMenu Element) const {
  switch (Element) {
    case tmPopupCheckNormal:
    case tmPopupCheckDisabled:
    case tmPopupBulletNormal:
    case tmPopupBulletDisabled: return {16, 16};
    case tmPopupSubMenuNormal:
    case tmPopupSubMenuDisabled: return {9, 16};
    default: return {0, 0};
  }
}

bool TStyleServices::GetElementTextColor(TThemedMenu Element, const QPalette& Palette, QColor& Color) const {
  switch (Element) {
    case tmPopupItemNormal: Color = Palette.color(QPalette::Active, QPalette::WindowText); return true;
    case tmPopupItemHot: Color = Palette.color(QPalette::Active, QPalette::HighlightedText); return true;
    case tmPopupItemDisabled: Color = Palette.color(QPalette::Disabled, QPalette::WindowText); return true;
    default: return false;
  }
}

void TStyleServices::DrawElement(QPainter& Painter, TThemedMenu Element, const QRect& R, const QPalette& Palette,
                                 bool Hot) const {
  const QColor ink = Palette.color(QPalette::Active, QPalette::WindowText);
  const QColor disabledInk = Palette.color(QPalette::Disabled, QPalette::WindowText);
  const QColor highlight = Palette.color(QPalette::Active, QPalette::Highlight);
  const QColor highlightedText = Palette.color(QPalette::Active, QPalette::HighlightedText);
  Painter.save();
  Painter.setRenderHint(QPainter::Antialiasing, true);
  const QPointF c = QRectF(R).center();
  switch (Element) {
    case tmPopupBorders:
      Painter.setRenderHint(QPainter::Antialiasing, false);
      Painter.fillRect(R, Palette.color(QPalette::Active, QPalette::Window));
      Painter.setPen(Palette.color(QPalette::Active, QPalette::Dark));
      Painter.setBrush(Qt::NoBrush);
      Painter.drawRect(R.adjusted(0, 0, -1, -1));
      break;
    case tmPopupItemHot:
      Painter.setPen(Qt::NoPen);
      Painter.setBrush(highlight);
      Painter.drawRoundedRect(QRectF(R), 3, 3);
      break;
    case tmPopupItemNormal:
    case tmPopupItemDisabled: break;
    case tmPopupSeparator: {
      Painter.setRenderHint(QPainter::Antialiasing, false);
      Painter.setPen(Palette.color(QPalette::Active, QPalette::Mid));
      const int y = R.top() + R.height() / 2;
      Painter.drawLine(R.left(), y, R.right(), y);
      break;
    }
    case tmPopupCheckNormal:
    case tmPopupCheckDisabled: {
      // A filled box with the tick cut into it, inverted on a hot item so it
      // stands out from the highlight either way.
      const bool disabled = Element == tmPopupCheckDisabled;
      const QColor box = disabled ? disabledInk : (Hot ? highlightedText : highlight);
      const QColor tick = disabled ? Palette.color(QPalette::Active, QPalette::Window) : (Hot ? highlight : highlightedText);
      Painter.setPen(Qt::NoPen);
      Painter.setBrush(box);
      Painter.drawRoundedRect(QRectF(c.x() - 7, c.y() - 7, 14, 14), 3, 3);
      Painter.setPen(QPen(tick, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      Painter.setBrush(Qt::NoBrush);
      const QPointF tickPoints[] = {{c.x() - 4, c.y()}, {c.x() - 1, c.y() + 3}, {c.x() + 4, c.y() - 3}};
      Painter.drawPolyline(tickPoints, 3);
      break;
    }
    case tmPopupBulletNormal:
    case tmPopupBulletDisabled:
      Painter.setPen(Qt::NoPen);
      Painter.setBrush(Element == tmPopupBulletDisabled ? disabledInk : (Hot ? highlightedText : highlight));
      Painter.drawEllipse(c, 4, 4);
      break;
    case tmPopupSubMenuNormal:
    case tmPopupSubMenuDisabled: {
      const QColor arrow = Element == tmPopupSubMenuDisabled ? disabledInk : (Hot ? highlightedText : ink);
      Painter.setPen(QPen(arrow, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      const QPointF chevron[] = {{c.x() - 2, c.y() - 4}, {c.x() + 2, c.y()}, {c.x() - 2, c.y() + 4}};
      Painter.drawPolyline(chevron, 3);
      break;
    }
  }
  Painter.restore();
}

void TStyleServices::DrawParentBackground(const QWidget* Control, QPainter& Painter, const QRect& R) const {
  const QWidget* parent = Control ? Control->parentWidget() : nullptr;
  const QWidget* source = parent ? parent : Control;
  if (!source) return;
  Painter.fillRect(R, source->palette().brush(source->backgroundRole()));
}

const TStyleServices& StyleServices() {
  static const TStyleServices services;
  return services;
}

}  // namespace velkor
