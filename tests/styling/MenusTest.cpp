#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QStyleOptionMenuItem>
#include <QTest>

#include "StylingFixture.h"

namespace velkor {
namespace {

using MenusTest = StylingTest;

// ---- the layout ----

const QRect kItem(2, 3, 200, 22);  // left 2, exclusive right 202
constexpr int kRight = 202;

TEST(MenuItemLayout, PlacesEveryPart) {
  struct Case {
    const char* Why;
    TMenuItemFacts Item;
    int TextLeft, TextRight;  // exclusive right
  };
  const Case cases[] = {
      {"program item without image keeps 16 px for it", {}, 2 + 24, kRight},
      {"Qt's own item without image", {.ToolkitItem = false}, 2 + 30, kRight},
      {"image of width 20", {.Glyph = {20, 20}}, 2 + 28, kRight},
      {"48-px action image", {.Glyph = {48, 48}}, 2 + 56, kRight},
      {"Qt's own item with image", {.ToolkitItem = false, .Glyph = {16, 16}}, 2 + 30, kRight},
      {"sub-menu leaves room for the arrow", {.Kind = mikSubMenu}, 2 + 24, kRight - 9 - 4},
      {"right to left", {.RightToLeft = true}, 2, kRight - 24},
      {"right to left, Qt's own item", {.ToolkitItem = false, .RightToLeft = true}, 2, kRight - 30},
      {"right to left with image", {.Glyph = {20, 20}, .RightToLeft = true}, 2, kRight - 28},
      {"right to left sub-menu", {.Kind = mikSubMenu, .RightToLeft = true}, 2 + 9 + 4, kRight - 24},
  };
  for (const Case& c : cases) {
    const TMenuItemLayout layout = LayoutMenuItem(c.Item, kItem);
    EXPECT_EQ(layout.TextRect.left(), c.TextLeft) << c.Why;
    EXPECT_EQ(layout.TextRect.left() + layout.TextRect.width(), c.TextRight) << c.Why;
    EXPECT_EQ(layout.TextRect.top(), kItem.top()) << c.Why;
    EXPECT_EQ(layout.TextRect.height(), kItem.height()) << c.Why;
    EXPECT_TRUE(layout.TextAlignment & (c.Item.RightToLeft ? Qt::AlignRight : Qt::AlignLeft)) << c.Why;
  }
}

TEST(MenuItemLayout, ShortcutEndsFourteenPixelsIn) {
  const TMenuItemLayout ltr = LayoutMenuItem({.ShortcutWidth = 40}, kItem);
  EXPECT_EQ(ltr.ShortcutRect, QRect(kRight - 14 - 40, 3, 40, 22));
  const TMenuItemLayout rtl = LayoutMenuItem({.RightToLeft = true, .ShortcutWidth = 40}, kItem);
  EXPECT_EQ(rtl.ShortcutRect, QRect(2 + 14, 3, 40, 22));
  EXPECT_TRUE(LayoutMenuItem({}, kItem).ShortcutRect.isEmpty());
}

TEST(MenuItemLayout, GlyphsChecksAndArrows) {
  // An image sits 4 px in, centred vertically, and replaces the check mark.
  const TMenuItemLayout image = LayoutMenuItem({.State = misChecked, .Glyph = {16, 16}}, kItem);
  EXPECT_EQ(image.GlyphRect, QRect(6, 6, 16, 16));
  EXPECT_TRUE(image.CheckRect.isEmpty());

  const TMenuItemLayout check = LayoutMenuItem({.State = misChecked}, kItem);
  EXPECT_TRUE(check.GlyphRect.isEmpty());  // no image drawn, only its room kept
  EXPECT_EQ(check.CheckElement, tmPopupCheckNormal);
  EXPECT_EQ(check.CheckRect, QRect(6, 6, 16, 16));

  const TMenuItemLayout bullet = LayoutMenuItem({.State = misChecked | misDisabled, .RadioCheck = true}, kItem);
  EXPECT_EQ(bullet.CheckElement, tmPopupBulletDisabled);
  const TMenuItemLayout rtlCheck = LayoutMenuItem({.State = misChecked, .RightToLeft = true}, kItem);
  EXPECT_EQ(rtlCheck.CheckRect, QRect(kRight - 16 - 4, 6, 16, 16));
  EXPECT_TRUE(LayoutMenuItem({}, kItem).CheckRect.isEmpty());

  const TMenuItemLayout arrow = LayoutMenuItem({.Kind = mikSubMenu}, kItem);
  EXPECT_EQ(arrow.ArrowRect, QRect(kRight - 4 - 9, 6, 9, 16));
  const TMenuItemLayout rtlArrow = LayoutMenuItem({.Kind = mikSubMenu, .State = misDisabled, .RightToLeft = true}, kItem);
  EXPECT_EQ(rtlArrow.ArrowRect, QRect(2 + 4, 6, 9, 16));
  EXPECT_EQ(rtlArrow.ArrowElement, tmPopupSubMenuDisabled);
  EXPECT_TRUE(LayoutMenuItem({}, kItem).ArrowRect.isEmpty());
}

TEST(MenuItemLayout, ElementsAndTextStates) {
  struct Case {
    const char* Why;
    TMenuItemFacts Item;
    TThemedMenu Element;
    bool Drawn;
    QRect ElementRect;
    TThemedMenu Text;
    bool Bold;
  };
  const Case cases[] = {
      {"normal", {}, tmPopupItemNormal, false, kItem, tmPopupItemNormal, false},
      {"hot", {.State = misHot}, tmPopupItemHot, true, kItem, tmPopupItemHot, false},
      {"disabled is never hot", {.State = misHot | misDisabled}, tmPopupItemDisabled, false, kItem,
       tmPopupItemDisabled, false},
      {"default is bold", {.State = misDefault}, tmPopupItemNormal, false, kItem, tmPopupItemNormal, true},
      {"separator from 25 px in", {.Kind = mikSeparator}, tmPopupSeparator, true, QRect(27, 3, 175, 22),
       tmPopupItemNormal, false},
      {"right-to-left separator", {.Kind = mikSeparator, .RightToLeft = true}, tmPopupSeparator, true,
       QRect(2, 3, 175, 22), tmPopupItemNormal, false},
  };
  for (const Case& c : cases) {
    const TMenuItemLayout layout = LayoutMenuItem(c.Item, kItem);
    EXPECT_EQ(layout.ItemElement, c.Element) << c.Why;
    EXPECT_EQ(layout.DrawItemElement, c.Drawn) << c.Why;
    EXPECT_EQ(layout.ElementRect, c.ElementRect) << c.Why;
    EXPECT_EQ(layout.TextElement, c.Text) << c.Why;
    EXPECT_EQ(layout.Bold, c.Bold) << c.Why;
  }
}

TEST(MenuItemText, TheFirstTabSplitsCaptionAndShortcut) {
  struct Case {
    QString Text, Caption, Shortcut;
  };
  const Case cases[] = {
      {"Open\tCtrl+O", "Open", "Ctrl+O"},
      {"Plain", "Plain", ""},
      {"\tBegins with a tab", "\tBegins with a tab", ""},
      {"A\tB\tC", "A", "B\tC"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    const TMenuItemText text = SplitMenuItemText(c.Text);
    EXPECT_EQ(text.Caption, c.Caption) << c.Text.toStdString();
    EXPECT_EQ(text.Shortcut, c.Shortcut) << c.Text.toStdString();
  }
}

// ---- real menus ----

QIcon DocumentIcon(int Size) {
  QPixmap pixmap(Size, Size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const double unit = Size / 16.0;
  painter.setPen(QPen(QColor(0x30, 0x50, 0x80), unit));
  painter.setBrush(QColor(0xF4, 0xF8, 0xFF));
  painter.drawRect(QRectF(3 * unit, 1.5 * unit, 10 * unit, 13 * unit));
  painter.setPen(QPen(QColor(0x2B, 0x8A, 0x3E), 1.5 * unit));
  painter.drawLine(QPointF(5 * unit, 6 * unit), QPointF(11 * unit, 6 * unit));
  painter.drawLine(QPointF(5 * unit, 9 * unit), QPointF(11 * unit, 9 * unit));
  return QIcon(pixmap);
}

// The menu every style is shown with: an image, a check mark, a bullet, a
// separator, a disabled item, the default item and a sub-menu.
struct SampleMenu {
  QMenu Menu;
  QAction* New;
  QAction* Open;
  QAction* Toolbar;
  QAction* Judge;
  QAction* Delete;
  QAction* Export;
  QMenu* Sub;

  SampleMenu() {
    New = Menu.addAction(DocumentIcon(16), "Kỳ thi mới\tCtrl+N");
    Open = Menu.addAction("Mở kỳ thi…\tCtrl+O");
    Toolbar = Menu.addAction("Hiện thanh công cụ");
    Toolbar->setCheckable(true);
    Toolbar->setChecked(true);
    auto* group = new QActionGroup(&Menu);
    for (const char* caption : {"Điểm", "Thời gian"}) {
      QAction* mode = Menu.addAction(caption);
      mode->setCheckable(true);
      group->addAction(mode);
    }
    group->actions().front()->setChecked(true);
    Menu.addSeparator();
    Judge = Menu.addAction("Chấm bài\tF9");
    Menu.setDefaultAction(Judge);
    Delete = Menu.addAction("Xóa điểm\tDel");
    Delete->setEnabled(false);
    Sub = Menu.addMenu("Xuất kết quả");
    Export = Sub->menuAction();
    Sub->addAction("Excel…\tF12");
    Sub->addAction("Văn bản…");
  }
};

QRect ItemRect(QMenu& Menu, QAction* Action) { return Menu.actionGeometry(Action); }

bool HasColour(const QImage& Image, const QRect& Area, const QColor& Colour) {
  for (int y = Area.top(); y <= Area.bottom(); ++y)
    for (int x = Area.left(); x <= Area.right(); ++x)
      if (Image.pixelColor(x, y) == Colour) return true;
  return false;
}

TEST_F(MenusTest, StartupRegistersTheMenuHook) {
  EXPECT_TRUE(QCoreApplication::testAttribute(Qt::AA_DontUseNativeMenuBar));
  ASSERT_EQ(TSysStyleManager::RegisteredHooks().count("qmenu"), 1u);
  MenusCleanup();
  EXPECT_EQ(TSysStyleManager::RegisteredHooks().count("qmenu"), 0u);
}

TEST_F(MenusTest, AHookedMenuGetsTheMenuStyleAndFontAndGivesThemBack) {
  ASSERT_TRUE(ApplyStyle("Default"));
  QFont menuFont("DejaVu Sans", 11);
  QApplication::setFont(menuFont, "QMenu");

  QMenu plain;
  QMenu ownFont;
  const QFont own("DejaVu Serif", 14);
  ownFont.setFont(own);
  plain.ensurePolished();
  ownFont.ensurePolished();
  for (QMenu* menu : {&plain, &ownFont}) {
    ASSERT_EQ(TSysStyleManager::LiveHooks().count(menu), 1u);
    EXPECT_EQ(menu->style(), MenuStyle().get());
    EXPECT_EQ(menu->font().family(), menuFont.family());
    EXPECT_EQ(menu->font().pointSize(), 11);
    EXPECT_FALSE(menu->testAttribute(Qt::WA_SetFont));  // so it follows a new menu font
  }

  TSysStyleManager::LiveHooks().clear();
  EXPECT_EQ(plain.style(), QApplication::style());
  EXPECT_FALSE(plain.testAttribute(Qt::WA_SetStyle));
  EXPECT_FALSE(plain.testAttribute(Qt::WA_SetFont));
  EXPECT_EQ(ownFont.font(), own);
  QApplication::setFont(QFont(), "QMenu");
}

TEST_F(MenusTest, PaintsInTheActiveStyleAndFollowsAStyleChange) {
  ASSERT_TRUE(ApplyStyle("Graphite"));
  SampleMenu sample;
  sample.Menu.popup(QPoint(40, 40));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&sample.Menu));
  sample.Menu.setActiveAction(sample.Open);

  QPalette palette = StyleServices().MenuPalette();
  QImage image = sample.Menu.grab().toImage();
  EXPECT_EQ(image.pixelColor(0, 0), palette.color(QPalette::Dark));  // the border
  const QRect open = ItemRect(sample.Menu, sample.Open);
  EXPECT_EQ(image.pixelColor(open.center()), palette.color(QPalette::Highlight));
  const QRect judge = ItemRect(sample.Menu, sample.Judge);
  EXPECT_EQ(image.pixelColor(judge.left() + 2, judge.center().y()), palette.color(QPalette::Window));
  // The separator's line starts 25 px into its item.
  const QAction* separator = sample.Menu.actions().at(5);
  ASSERT_TRUE(separator->isSeparator());
  const QRect line = ItemRect(sample.Menu, const_cast<QAction*>(separator));
  const int y = line.top() + line.height() / 2;
  EXPECT_EQ(image.pixelColor(line.left() + 24, y), palette.color(QPalette::Window));
  EXPECT_EQ(image.pixelColor(line.left() + 25, y), palette.color(QPalette::Mid));

  ASSERT_TRUE(ApplyStyle("Ocean"));
  palette = StyleServices().MenuPalette();
  image = sample.Menu.grab().toImage();
  EXPECT_EQ(image.pixelColor(judge.left() + 2, judge.center().y()), palette.color(QPalette::Window));
  sample.Menu.close();
}

TEST_F(MenusTest, ADisabledItemIsReachedByKeysButNeverHot) {
  ASSERT_TRUE(ApplyStyle("Default"));
  QMenu menu;
  QAction* first = menu.addAction("First");
  menu.addSeparator();
  QAction* disabled = menu.addAction("Disabled");
  disabled->setEnabled(false);
  QAction* last = menu.addAction("Last");
  menu.popup(QPoint(10, 10));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
  menu.setActiveAction(first);

  QTest::keyClick(&menu, Qt::Key_Down);  // over the separator
  EXPECT_EQ(menu.activeAction(), disabled);
  const QImage image = menu.grab().toImage();
  const QPalette palette = StyleServices().MenuPalette();
  EXPECT_FALSE(HasColour(image, ItemRect(menu, disabled), palette.color(QPalette::Highlight)));
  EXPECT_TRUE(HasColour(image, ItemRect(menu, disabled), palette.color(QPalette::Disabled, QPalette::WindowText)));

  QTest::keyClick(&menu, Qt::Key_Down);
  EXPECT_EQ(menu.activeAction(), last);
  QTest::keyClick(&menu, Qt::Key_Down);  // wraps
  EXPECT_EQ(menu.activeAction(), first);
  menu.close();
}

TEST_F(MenusTest, ItemsAreWideEnoughForTheirInsets) {
  ASSERT_TRUE(ApplyStyle("Default"));
  SampleMenu sample;
  sample.Menu.addAction(DocumentIcon(48), "Ảnh 48 điểm ảnh");
  sample.Menu.popup(QPoint(10, 10));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&sample.Menu));
  for (QAction* action : sample.Menu.actions()) {
    if (action->isSeparator()) continue;
    const QRect item = ItemRect(sample.Menu, action);
    const TMenuItemText text = SplitMenuItemText(action->text());
    QFont font = sample.Menu.font();
    font.setBold(action == sample.Judge);
    const QFontMetrics metrics(font);
    const int glyph = action->icon().isNull() ? 16 : action->icon().actualSize(QSize(48, 48)).width();
    int needed = glyph + 8 + metrics.horizontalAdvance(text.Caption);
    if (!text.Shortcut.isEmpty()) needed += 8 + metrics.horizontalAdvance(text.Shortcut) + 14;
    EXPECT_GE(item.width(), needed) << action->text().toStdString();
    if (!action->icon().isNull()) {
      EXPECT_GE(item.height(), action->icon().actualSize(QSize(48, 48)).height());
    }
  }
  sample.Menu.close();
}

TEST_F(MenusTest, OddMenusNeitherCrashNorLeaveHooks) {
  ASSERT_TRUE(ApplyStyle("Carbon"));
  {
    QMenu empty;
    empty.popup(QPoint(5, 5));
    EXPECT_FALSE(empty.grab().isNull());
    empty.close();
  }
  {
    QMenu large;
    for (int i = 0; i < 1000; ++i) large.addAction(QString("Mục %1").arg(i));
    large.addAction("\tbắt đầu bằng tab");
    large.popup(QPoint(5, 5));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&large));
    EXPECT_FALSE(large.grab().isNull());
    QTest::keyClick(&large, Qt::Key_Up);
    large.close();
  }
  EXPECT_TRUE(TSysStyleManager::LiveHooks().empty());
}

TEST_F(MenusTest, QtsOwnMenusKeepTheWiderInset) {
  ASSERT_TRUE(ApplyStyle("Default"));
  QLineEdit edit;
  QMenu* standard = edit.createStandardContextMenu();
  ASSERT_TRUE(standard->objectName().startsWith("qt_"));
  QMenu program;
  QStyleOptionMenuItem option;
  option.initFrom(standard);
  option.menuItemType = QStyleOptionMenuItem::Normal;
  option.text = "Copy";
  option.font = standard->font();
  option.fontMetrics = QFontMetrics(option.font);
  const QSize native = MenuStyle()->sizeFromContents(QStyle::CT_MenuItem, &option, QSize(), standard);
  const QSize toolkit = MenuStyle()->sizeFromContents(QStyle::CT_MenuItem, &option, QSize(), &program);
  EXPECT_EQ(native.width() - toolkit.width(), 30 - 24);
  delete standard;
}

// ---- pictures for a person to look at ----

QImage RenderSample(Qt::LayoutDirection Direction) {
  SampleMenu sample;
  sample.Menu.setLayoutDirection(Direction);
  sample.Menu.popup(QPoint(40, 40));
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&sample.Menu));
  sample.Menu.setActiveAction(sample.Open);
  const QImage menu = sample.Menu.grab().toImage();
  sample.Sub->setLayoutDirection(Direction);
  sample.Sub->popup(QPoint(300, 40));
  EXPECT_TRUE(QTest::qWaitForWindowExposed(sample.Sub));
  sample.Sub->setActiveAction(sample.Sub->actions().front());
  const QImage sub = sample.Sub->grab().toImage();
  sample.Sub->close();
  sample.Menu.close();

  QImage sheet(menu.width() + sub.width() + 36, std::max(menu.height(), sub.height()) + 24, QImage::Format_ARGB32);
  sheet.fill(QApplication::palette().color(QPalette::Window));
  QPainter painter(&sheet);
  const bool rtl = Direction == Qt::RightToLeft;
  painter.drawImage(rtl ? sub.width() + 24 : 12, 12, menu);
  painter.drawImage(rtl ? 12 : menu.width() + 24, 12, sub);
  return sheet;
}

TEST_F(MenusTest, RendersOneMenuPerStyle) {
  const QString folder = QStringLiteral(VELKOR_GUI_SHOTS_DIR "/styling");
  ASSERT_TRUE(QDir().mkpath(folder));
  for (const auto& name : StyleNames()) {
    ASSERT_TRUE(ApplyStyle(name));
    const QImage sheet = RenderSample(Qt::LeftToRight);
    const QString file = folder + "/menu-" + QString::fromStdString(name).replace(' ', '-').toLower() + ".png";
    ASSERT_TRUE(sheet.save(file)) << file.toStdString();
    // The menu's own background is in the picture.
    EXPECT_TRUE(HasColour(sheet, sheet.rect(), StyleServices().MenuPalette().color(QPalette::Window))) << name;
  }
  ASSERT_TRUE(ApplyStyle("Default"));
  ASSERT_TRUE(RenderSample(Qt::RightToLeft).save(folder + "/menu-default-rtl.png"));
}

}  // namespace
}  // namespace velkor
