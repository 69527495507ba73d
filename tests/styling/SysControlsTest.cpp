#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QTest>

#include <vector>

#include "StylingFixture.h"

namespace velkor {
namespace {

using SysControlsTest = StylingTest;

// A hook that only counts how many of its kind are alive.
class CountingHook : public TSysStyleHook {
 public:
  static inline int Alive = 0;
  explicit CountingHook(QWidget* AHandle) : TSysStyleHook(AHandle) { ++Alive; }
  ~CountingHook() override { --Alive; }
};

class OtherHook : public TSysStyleHook {
 public:
  using TSysStyleHook::TSysStyleHook;
};

std::vector<std::pair<int, QWidget*>> gNotifications;
void RecordNotification(int Kind, const TSysControlInfo& Info) { gNotifications.emplace_back(Kind, Info.Handle); }

TSysStyleHook* LiveHookOf(QWidget* Widget) {
  const auto it = TSysStyleManager::LiveHooks().find(Widget);
  return it == TSysStyleManager::LiveHooks().end() ? nullptr : it->second.get();
}

TEST_F(SysControlsTest, RegistrationIsByLowerCaseNameAndReplaces) {
  auto& registered = TSysStyleManager::RegisteredHooks();
  TSysStyleManager::RegisterSysStyleHook("#32768", &CreateStyleHook<CountingHook>);
  TSysStyleManager::RegisterSysStyleHook("#32768", &CreateStyleHook<OtherHook>);
  EXPECT_EQ(registered.at("#32768"), &CreateStyleHook<OtherHook>);

  // The menu hook is registered at start-up; another letter case is the
  // same key.
  ASSERT_EQ(registered.count("qmenu"), 1u);
  TSysStyleManager::RegisterSysStyleHook("QMENU", &CreateStyleHook<CountingHook>);
  EXPECT_EQ(registered.count("QMENU"), 0u);
  EXPECT_EQ(registered.at("qmenu"), &CreateStyleHook<CountingHook>);

  // Unregistering goes by the name alone, whatever class is passed.
  TSysStyleManager::UnRegisterSysStyleHook("QMenu", &CreateStyleHook<OtherHook>);
  EXPECT_EQ(registered.count("qmenu"), 0u);
  TSysStyleManager::UnRegisterSysStyleHook("never registered");
  EXPECT_EQ(registered.size(), 1u);
}

TEST_F(SysControlsTest, NothingIsHookedUnderTheSystemStyleOrWithHookingOff) {
  {
    QMenu menu;  // Qt's own look is active
    menu.ensurePolished();
    EXPECT_EQ(LiveHookOf(&menu), nullptr);
    EXPECT_EQ(menu.style(), QApplication::style());
  }
  ASSERT_TRUE(ApplyStyle("Default"));
  {
    TSysStyleManager::HookingEnabled = false;
    QMenu menu;
    menu.ensurePolished();
    EXPECT_EQ(LiveHookOf(&menu), nullptr);
    TSysStyleManager::HookingEnabled = true;
  }
  QMenu menu;
  menu.ensurePolished();
  TSysStyleHook* hook = LiveHookOf(&menu);
  ASSERT_NE(hook, nullptr);
  EXPECT_TRUE(hook->HookedDirectly());
  EXPECT_NE(dynamic_cast<TSysPopupStyleHook*>(hook), nullptr);
}

TEST_F(SysControlsTest, OnlyRegisteredClassesAndNoToolkitControlsUnlessAsked) {
  ASSERT_TRUE(ApplyStyle("Default"));
  TSysStyleManager::RegisterSysStyleHook("QLabel", &CreateStyleHook<CountingHook>);
  QFrame frame;  // not registered
  QLabel label;  // registered, but a toolkit control
  frame.ensurePolished();
  label.ensurePolished();
  EXPECT_TRUE(TSysStyleManager::LiveHooks().empty());

  TSysStyleManager::HookToolkitControls = true;
  QLabel second;
  second.ensurePolished();
  EXPECT_NE(LiveHookOf(&second), nullptr);
}

TEST_F(SysControlsTest, BeforeHookingCanRefuse) {
  ASSERT_TRUE(ApplyStyle("Default"));
  TSysStyleManager::OnBeforeHooking = [](const TSysControlInfo& Info) { return Info.ClassName != "qmenu"; };
  QMenu menu;
  menu.ensurePolished();
  EXPECT_EQ(LiveHookOf(&menu), nullptr);
}

TEST_F(SysControlsTest, AChildOfAHookedMenuWaitsUntilTheMenuShows) {
  ASSERT_TRUE(ApplyStyle("Default"));
  gNotifications.clear();
  TSysStyleManager::OnHookNotification = &RecordNotification;
  QMenu parent;
  parent.addAction("Item");
  auto* child = new QMenu(&parent);
  child->setWindowFlags(Qt::Widget);  // a plain child window, not a popup of its own
  parent.ensurePolished();
  child->ensurePolished();

  ASSERT_NE(LiveHookOf(&parent), nullptr);
  EXPECT_EQ(LiveHookOf(child), nullptr);
  ASSERT_EQ(TSysStyleManager::ChildControls().count(child), 1u);
  EXPECT_EQ(TSysStyleManager::ChildControls().at(child).Parent, &parent);
  EXPECT_EQ(gNotifications, (std::vector<std::pair<int, QWidget*>>{{0, &parent}, {0, child}}));

  parent.popup(QPoint(10, 10));
  ASSERT_NE(LiveHookOf(child), nullptr);
  EXPECT_FALSE(LiveHookOf(child)->HookedDirectly());
  EXPECT_EQ(TSysStyleManager::ChildControls().count(child), 0u);
  parent.close();
}

TEST_F(SysControlsTest, RehookingReplacesAndDestructionFreesAtOnce) {
  ASSERT_TRUE(ApplyStyle("Default"));
  TSysStyleManager::RegisterSysStyleHook("QMenu", &CreateStyleHook<CountingHook>);
  gNotifications.clear();
  TSysStyleManager::OnHookNotification = &RecordNotification;
  CountingHook::Alive = 0;

  auto* menu = new QMenu;
  menu->ensurePolished();
  TSysStyleHook* first = LiveHookOf(menu);
  ASSERT_NE(first, nullptr);
  TSysStyleManager::HookControl(menu, TSysStyleManager::MakeControlInfo(menu));
  EXPECT_EQ(CountingHook::Alive, 1);
  EXPECT_EQ(TSysStyleManager::LiveHooks().size(), 1u);

  // A recorded child goes with its parent too.
  auto* child = new QLabel;
  TSysControlInfo info = TSysStyleManager::MakeControlInfo(child);
  info.Parent = menu;
  TSysStyleManager::RecordChildControl(child, info);

  gNotifications.clear();
  delete menu;
  EXPECT_EQ(CountingHook::Alive, 0);
  EXPECT_TRUE(TSysStyleManager::LiveHooks().empty());
  EXPECT_TRUE(TSysStyleManager::ChildControls().empty());
  EXPECT_EQ(gNotifications, (std::vector<std::pair<int, QWidget*>>{{1, menu}}));
  delete child;
}

TEST_F(SysControlsTest, AMenuDestroyedWhileOpenLeavesNoHook) {
  ASSERT_TRUE(ApplyStyle("Default"));
  QPointer<QMenu> menu = new QMenu;
  menu->addAction("One");
  menu->addMenu("Sub")->addAction("Two");
  menu->popup(QPoint(20, 20));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
  ASSERT_NE(LiveHookOf(menu), nullptr);
  QWidget* address = menu;
  delete menu.data();
  EXPECT_EQ(TSysStyleManager::LiveHooks().count(address), 0u);
  EXPECT_TRUE(TSysStyleManager::LiveHooks().empty());
}

TEST_F(SysControlsTest, FindWinFromRootSearchesTheWholeTree) {
  QWidget root;
  auto* first = new QWidget(&root);
  auto* inner = new QWidget(first);
  auto* deep = new QLabel(inner);  // under the first child: the case a shallow walk misses
  auto* second = new QFrame(&root);
  auto* secondLabel = new QLabel(second);
  EXPECT_EQ(FindWinFromRoot(&root, "QLabel"), deep);
  EXPECT_EQ(FindWinFromRoot(&root, "QFrame"), second);
  EXPECT_EQ(FindWinFromRoot(second, "QLabel"), secondLabel);
  EXPECT_EQ(FindWinFromRoot(&root, "qlabel"), nullptr);  // exact class name
  EXPECT_EQ(FindWinFromRoot(&root, "QMenu"), nullptr);
  EXPECT_EQ(FindWinFromRoot(nullptr, "QLabel"), nullptr);
  EXPECT_EQ(GetWindowClassName(deep), "QLabel");
  EXPECT_EQ(GetWindowClassName(nullptr), "");
}

TEST(CenterRectVertically, MovesToTheLeftEdgeAndCentres) {
  struct Case {
    QRect R, Bounds, Expected;
  };
  const Case cases[] = {
      {{7, 9, 10, 6}, {5, 20, 100, 20}, {5, 27, 10, 6}},
      {{0, 0, 10, 6}, {5, 20, 100, 21}, {5, 27, 10, 6}},    // odd difference rounds down
      {{0, 0, 10, 31}, {5, 20, 100, 20}, {5, 15, 10, 31}},  // taller than Bounds: toward zero
      {{0, 0, 16, 16}, {2, 3, 200, 16}, {2, 3, 16, 16}},
  };
  for (const Case& c : cases) EXPECT_EQ(CenterRectVertically(c.R, c.Bounds), c.Expected) << c.Bounds.height();
}

}  // namespace
}  // namespace velkor
