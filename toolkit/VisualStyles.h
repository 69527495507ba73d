// The visual styles and the style services of the toolkit.
//
// A visual style is one of 16 named looks compiled into the program, each a
// QPalette for the application and one for its popup menus, painted by
// Qt's Fusion style. Until the first ApplyStyle the application keeps Qt's
// own look, the "system style": no custom style is active then, and the
// styling layer leaves every window alone.
//
// The style services answer what the program's controls and the menu
// styling ask of the active style: colours (the system colours mapped to the
// style), the popup-menu elements, and whether styling is in force at all.
// Everything here runs on the GUI thread and needs a QApplication.
#pragma once

#include <QColor>
#include <QPalette>
#include <QRect>
#include <QSize>

#include <string>
#include <string_view>
#include <vector>

#include "toolkit/Colors.h"

class QPainter;
class QWidget;

namespace velkor {

// The 16 style names, "Default" first.
const std::vector<std::string>& StyleNames();

// Applies the named style (the name compares without ASCII case): Fusion,
// the style's application palette and its menu palette; every widget gets
// QEvent::StyleChange. An unknown or empty name changes nothing and gives
// false.
bool ApplyStyle(std::string_view Name);

// Goes back to Qt's own look as it was before the first ApplyStyle.
void RestoreSystemStyle();

// The name as StyleNames() spells it; empty under the system style.
std::string ActiveStyleName();
bool IsCustomStyleActive();
bool IsSystemStyle();

// The style services can be asked (a QApplication exists).
bool StyleServicesEnabled();

// Sends QEvent::StyleChange to every widget, so that controls which cache
// their face render it anew.
void NotifyStyleChanged();

// Under a custom style, a system-colour reference becomes the style's colour
// for it; every other colour, and every colour under the system style,
// passes unchanged.
TColor GetSystemColor(TColor Color);

// Converts between the toolkit's $00BBGGRR and QColor (opaque).
QColor TColorToQColor(TColor Color);
TColor QColorToTColor(const QColor& Color);

enum TStyleColor { scWindow, scBorder, scButtonNormal, scEdit, scPanel };
enum TStyleFont {
  sfPopupMenuItemTextNormal,
  sfPopupMenuItemTextHot,
  sfPopupMenuItemTextDisabled,
  sfWindowTextNormal,
  sfButtonTextNormal,
  sfButtonTextDisabled,
};

// The parts of a popup menu the styling layer draws.
enum TThemedMenu {
  tmPopupBorders,
  tmPopupItemNormal,
  tmPopupItemHot,
  tmPopupItemDisabled,
  tmPopupSeparator,
  tmPopupCheckNormal,
  tmPopupCheckDisabled,
  tmPopupBulletNormal,
  tmPopupBulletDisabled,
  tmPopupSubMenuNormal,
  tmPopupSubMenuDisabled,
};

class TStyleServices {
 public:
  bool Available() const;
  bool Enabled() const;
  bool IsSystemStyle() const;

  TColor GetSystemColor(TColor Color) const;
  QColor GetStyleColor(TStyleColor Color) const;
  QColor GetStyleFontColor(TStyleFont Font) const;

  // The palette popup menus are drawn with (the active style's menu palette).
  QPalette MenuPalette() const;

  // An element's natural size (check marks, bullets and arrows); the others
  // take the rectangle they are given.
  QSize GetElementSize(TThemedMenu Element) const;
  // The text colour that goes with an item element; false for the others.
  bool GetElementTextColor(TThemedMenu Element, const QPalette& Palette, QColor& Color) const;
  // Draws the element over R in the colours of Palette (a menu palette).
  // Hot marks an element drawn on a hot item, so that its ink stays
  // readable on the highlight. tmPopupItemNormal and tmPopupItemDisabled
  // draw nothing: those items show the menu's background.
  void DrawElement(QPainter& Painter, TThemedMenu Element, const QRect& R, const QPalette& Palette,
                   bool Hot = false) const;

  // Fills R (in Control's coordinates) with what Control's parent shows
  // behind it: the parent's background colour.
  void DrawParentBackground(const QWidget* Control, QPainter& Painter, const QRect& R) const;
};

const TStyleServices& StyleServices();

}  // namespace velkor
