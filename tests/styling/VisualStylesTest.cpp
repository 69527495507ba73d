#include <QApplication>
#include <QStyle>
#include <QWidget>

#include <cmath>
#include <set>

#include "StylingFixture.h"
#include "graphics/Raster.h"

namespace velkor {
namespace {

using VisualStylesTest = StylingTest;

double Luminance(const QColor& C) {
  auto linear = [](int v) {
    const double s = v / 255.0;
    return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(C.red()) + 0.7152 * linear(C.green()) + 0.0722 * linear(C.blue());
}

double Contrast(const QColor& A, const QColor& B) {
  const double a = Luminance(A), b = Luminance(B);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

class StyleChangeCounter : public QWidget {
 public:
  int StyleChanges = 0;

 protected:
  void changeEvent(QEvent* Event) override {
    if (Event->type() == QEvent::StyleChange) ++StyleChanges;
    QWidget::changeEvent(Event);
  }
};

TEST_F(VisualStylesTest, SixteenNamesDefaultFirstNoTwoAlike) {
  const auto& names = StyleNames();
  ASSERT_EQ(names.size(), 16u);
  EXPECT_EQ(names.front(), "Default");
  std::set<QString> folded;
  for (const auto& name : names) folded.insert(QString::fromStdString(name).toLower());
  EXPECT_EQ(folded.size(), 16u);
}

TEST_F(VisualStylesTest, SystemStyleUntilTheFirstApply) {
  EXPECT_TRUE(IsSystemStyle());
  EXPECT_FALSE(IsCustomStyleActive());
  EXPECT_EQ(ActiveStyleName(), "");
  EXPECT_EQ(GetSystemColor(clWindow), clWindow);  // unchanged without a custom style

  ASSERT_TRUE(ApplyStyle("Default"));
  EXPECT_FALSE(IsSystemStyle());
  EXPECT_TRUE(IsCustomStyleActive());
  EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");

  RestoreSystemStyle();
  EXPECT_TRUE(IsSystemStyle());
  EXPECT_EQ(ActiveStyleName(), "");
}

TEST_F(VisualStylesTest, NamesCompareWithoutAsciiCaseAndUnknownNamesChangeNothing) {
  struct Case {
    const char* Name;
    bool Applied;
    const char* Active;  // the active style afterwards
  };
  const Case cases[] = {
      {"default", true, "Default"},
      {"HIGH CONTRAST", true, "High Contrast"},
      {"", false, "High Contrast"},         // empty: the previous style stays
      {"Nope", false, "High Contrast"},     // unknown
      {" Default", false, "High Contrast"}, // not trimmed
      {"graphite", true, "Graphite"},
  };
  for (const Case& c : cases) {
    const QPalette before = QApplication::palette();
    EXPECT_EQ(ApplyStyle(c.Name), c.Applied) << c.Name;
    EXPECT_EQ(ActiveStyleName(), c.Active) << c.Name;
    if (!c.Applied) {
      EXPECT_EQ(QApplication::palette(), before) << c.Name;
    }
  }
}

TEST_F(VisualStylesTest, EveryWidgetGetsTheStyleChangeEvent) {
  StyleChangeCounter widget;
  ASSERT_TRUE(ApplyStyle("Ocean"));
  const int afterFirst = widget.StyleChanges;
  EXPECT_GE(afterFirst, 1);
  ASSERT_TRUE(ApplyStyle("Forest"));
  EXPECT_EQ(widget.StyleChanges, afterFirst + 1);
  EXPECT_FALSE(ApplyStyle("no such style"));
  EXPECT_EQ(widget.StyleChanges, afterFirst + 1);
  NotifyStyleChanged();
  EXPECT_EQ(widget.StyleChanges, afterFirst + 2);
}

TEST_F(VisualStylesTest, SystemColoursMapToTheActivePalette) {
  ASSERT_TRUE(ApplyStyle("Default"));
  const QPalette p = QApplication::palette();
  const QPalette menu = QApplication::palette("QMenu");
  struct Case {
    TColor System;
    QColor Expected;
  };
  const Case cases[] = {
      {clWindow, p.color(QPalette::Base)},
      {clWindowText, p.color(QPalette::Text)},
      {clBtnFace, p.color(QPalette::Button)},
      {clHighlight, p.color(QPalette::Highlight)},
      {clHighlightText, p.color(QPalette::HighlightedText)},
      {clGrayText, p.color(QPalette::Disabled, QPalette::Text)},
      {clMenu, menu.color(QPalette::Window)},
      {clMenuText, menu.color(QPalette::WindowText)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TColorToQColor(GetSystemColor(c.System)), c.Expected) << std::hex << c.System;
    EXPECT_FALSE(IsSystemColorRef(GetSystemColor(c.System)));
  }
  EXPECT_EQ(GetSystemColor(clWindow), 0xFFFFFF);  // the grid's white rows
  // Plain colours and unknown indices pass unchanged.
  EXPECT_EQ(GetSystemColor(0x123456), 0x123456);
  EXPECT_EQ(GetSystemColor(SystemColorRef(200)), SystemColorRef(200));

  // Without a custom style a reference keeps its classic value.
  RestoreSystemStyle();
  EXPECT_EQ(TColorToQColor(clBtnFace), QColor::fromRgb(WinColorToColor32(clBtnFace)));
}

TEST_F(VisualStylesTest, EveryStyleIsReadable) {
  bool sawLight = false, sawDark = false;
  for (const auto& name : StyleNames()) {
    ASSERT_TRUE(ApplyStyle(name));
    const QPalette p = QApplication::palette();
    const QPalette m = StyleServices().MenuPalette();
    auto expectReadable = [&name](const QColor& Ink, const QColor& Surface, const char* What) {
      EXPECT_GE(Contrast(Ink, Surface), 4.5) << name << ": " << What;
    };
    expectReadable(p.color(QPalette::WindowText), p.color(QPalette::Window), "window text");
    expectReadable(p.color(QPalette::Text), p.color(QPalette::Base), "text");
    expectReadable(p.color(QPalette::ButtonText), p.color(QPalette::Button), "button text");
    expectReadable(p.color(QPalette::HighlightedText), p.color(QPalette::Highlight), "selection");
    expectReadable(m.color(QPalette::WindowText), m.color(QPalette::Window), "menu text");
    expectReadable(m.color(QPalette::HighlightedText), m.color(QPalette::Highlight), "hot menu item");
    // Disabled text is visibly weaker, yet still there.
    const double disabled = Contrast(m.color(QPalette::Disabled, QPalette::WindowText), m.color(QPalette::Window));
    EXPECT_LT(disabled, Contrast(m.color(QPalette::WindowText), m.color(QPalette::Window))) << name;
    EXPECT_GE(disabled, 2.0) << name;
    // Menus select with the style's own highlight.
    EXPECT_EQ(m.color(QPalette::Highlight), p.color(QPalette::Highlight)) << name;
    EXPECT_EQ(StyleServices().GetStyleFontColor(sfPopupMenuItemTextDisabled),
              m.color(QPalette::Disabled, QPalette::WindowText));
    const double window = Luminance(p.color(QPalette::Window));
    sawLight |= window > 0.6;
    sawDark |= window < 0.05;
  }
  EXPECT_TRUE(sawLight);
  EXPECT_TRUE(sawDark);
}

}  // namespace
}  // namespace velkor
