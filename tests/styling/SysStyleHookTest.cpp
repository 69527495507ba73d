#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QTest>

#include "StylingFixture.h"

namespace velkor {
namespace {

using SysStyleHookTest = StylingTest;

// Paints itself red and counts the events it sees.
class RedWidget : public QWidget {
 public:
  int Presses = 0;

 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Qt::red); }
  void mousePressEvent(QMouseEvent*) override { ++Presses; }
};

class ClientHook : public TSysStyleHook {
 public:
  explicit ClientHook(QWidget* AHandle) : TSysStyleHook(AHandle) { SetStyleElements(seClient); }
  void DrawClient(QPainter& Painter) override { Painter.fillRect(QRect(0, 0, 4, 4), Qt::blue); }
};

TEST_F(SysStyleHookTest, StyleElementsSetTheOverrides) {
  QWidget widget;
  TSysStyleHook hook(&widget);
  EXPECT_FALSE(hook.OverridePaint() || hook.OverridePaintNC() || hook.OverrideFont() || hook.OverrideEraseBkgnd());

  hook.SetStyleElements(TSysStyleHook::seClient);
  EXPECT_TRUE(hook.OverridePaint());
  EXPECT_TRUE(hook.OverrideEraseBkgnd());  // comes with the client
  EXPECT_FALSE(hook.OverridePaintNC());
  EXPECT_FALSE(hook.OverrideFont());

  hook.SetStyleElements(TSysStyleHook::seBorder | TSysStyleHook::seFont);
  EXPECT_FALSE(hook.OverridePaint());
  EXPECT_TRUE(hook.OverrideEraseBkgnd());  // switching the client off leaves it
  EXPECT_TRUE(hook.OverridePaintNC());
  EXPECT_TRUE(hook.OverrideFont());
}

TEST_F(SysStyleHookTest, PaintsOnlyWhileStylingIsActive) {
  RedWidget widget;
  widget.resize(20, 20);
  TSysStyleManager::HookToolkitControls = true;
  auto hook = std::make_unique<ClientHook>(&widget);

  // Qt's own look: the widget paints itself.
  EXPECT_EQ(widget.grab().toImage().pixelColor(10, 10), QColor(Qt::red));

  ASSERT_TRUE(ApplyStyle("Graphite"));
  const QImage styled = widget.grab().toImage();
  EXPECT_EQ(styled.pixelColor(10, 10), StyleServices().GetStyleColor(scWindow));  // the background
  EXPECT_EQ(styled.pixelColor(1, 1), QColor(Qt::blue));                         // DrawClient

  // A toolkit control is left alone unless the manager is told otherwise.
  TSysStyleManager::HookToolkitControls = false;
  EXPECT_EQ(widget.grab().toImage().pixelColor(10, 10), QColor(Qt::red));

  // Freed, the hook gives the widget back as it was.
  TSysStyleManager::HookToolkitControls = true;
  hook.reset();
  EXPECT_EQ(widget.grab().toImage().pixelColor(10, 10), QColor(Qt::red));
}

TEST_F(SysStyleHookTest, EventsTheHookLeavesReachTheWidget) {
  ASSERT_TRUE(ApplyStyle("Default"));
  TSysStyleManager::HookToolkitControls = true;
  RedWidget widget;
  widget.resize(20, 20);
  widget.show();
  ClientHook hook(&widget);
  QTest::mouseClick(&widget, Qt::LeftButton);
  EXPECT_EQ(widget.Presses, 1);
}

TEST_F(SysStyleHookTest, ColoursFollowTheOverrides) {
  ASSERT_TRUE(ApplyStyle("Midnight"));
  QWidget widget;
  TSysStyleHook hook(&widget);
  EXPECT_EQ(hook.Color(), TColorToQColor(clBtnFace));
  EXPECT_EQ(hook.FontColor(), QColor(Qt::black));
  hook.SetStyleElements(TSysStyleHook::seClient | TSysStyleHook::seFont);
  hook.RefreshColors();
  EXPECT_EQ(hook.Color(), QApplication::palette().color(QPalette::Window));
  EXPECT_EQ(hook.FontColor(), QApplication::palette().color(QPalette::Text));
}

TEST_F(SysStyleHookTest, BidiModeFlagsMirrorTheHorizontalAlignment) {
  QWidget widget;
  TSysControl control(&widget);
  struct Case {
    Qt::Alignment In, LeftToRight, RightToLeft;
  };
  const Case cases[] = {
      {Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignLeft | Qt::AlignVCenter,
       Qt::AlignRight | Qt::AlignVCenter | Qt::AlignAbsolute},
      {Qt::AlignRight, Qt::AlignRight, Qt::AlignLeft | Qt::AlignAbsolute},
      {Qt::AlignHCenter, Qt::AlignHCenter, Qt::AlignHCenter | Qt::AlignAbsolute},
      {Qt::AlignTop, Qt::AlignTop, Qt::AlignTop | Qt::AlignRight | Qt::AlignAbsolute},
  };
  for (const Case& c : cases) {
    widget.setLayoutDirection(Qt::LeftToRight);
    EXPECT_EQ(control.DrawTextBiDiModeFlags(c.In), c.LeftToRight) << int(c.In);
    widget.setLayoutDirection(Qt::RightToLeft);
    EXPECT_TRUE(control.UseRightToLeftAlignment());
    EXPECT_EQ(control.DrawTextBiDiModeFlags(c.In), c.RightToLeft) << int(c.In);
  }
}

TEST_F(SysStyleHookTest, SysControlReadsTheWidget) {
  QMenu menu;
  menu.setTitle("Kỳ thi");
  auto* child = new QWidget(&menu);
  TSysControl control(&menu);
  EXPECT_EQ(control.Text(), "Kỳ thi");
  EXPECT_EQ(control.ControlClassName(), "QMenu");
  EXPECT_FALSE(control.IsChild());
  EXPECT_EQ(control.Parent(), nullptr);
  TSysControl inner(child);
  EXPECT_TRUE(inner.IsChild());
  ASSERT_NE(inner.Parent(), nullptr);
  EXPECT_EQ(inner.Parent()->Handle(), &menu);
  delete child;
  EXPECT_TRUE(inner.Destroyed());
  EXPECT_EQ(inner.Text(), "");
}

}  // namespace
}  // namespace velkor
