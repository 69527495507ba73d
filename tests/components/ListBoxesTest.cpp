// The smart combo box in a real window: the drop-down width and the
// horizontal extent of its list.
#include "components/ListBoxes.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QListView>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include "ComponentsTestSupport.h"
#include "components/CursorRoutines.h"

namespace velkor {
namespace {

class ComboTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FForm.resize(300, 80);
    FCombo = new TSmartCombobox(&FForm);
    FCombo->setGeometry(10, 10, 120, 24);
    FCombo->addItems({"Standard checker", "Compare tokens ignoring white space and letter case",
                      "Real numbers with an absolute or relative error of 1E-6"});
    FForm.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&FForm));
  }
  void TearDown() override { FCombo->hidePopup(); }

  QWidget* Popup() const { return FCombo->view()->window(); }
  // Drops the list down and waits until it is on screen.
  bool DropDown() {
    FCombo->showPopup();
    return QTest::qWaitFor([this] { return Popup()->isVisible(); }, 2000);
  }

  QWidget FForm;
  TSmartCombobox* FCombo = nullptr;
};

TEST_F(ComboTest, TheDroppedWidthHoldsOnEveryDropDown) {
  ASSERT_TRUE(DropDown());
  const int natural = Popup()->width();
  FCombo->hidePopup();

  FCombo->SetDroppedWidth(400);
  EXPECT_EQ(FCombo->width(), 120);
  ASSERT_TRUE(DropDown());
  EXPECT_EQ(Popup()->width(), 400);
  FCombo->hidePopup();
  ASSERT_TRUE(DropDown());
  EXPECT_EQ(Popup()->width(), 400) << "shown again";
  FCombo->hidePopup();

  FCombo->setView(new QListView);  // the list is re-created
  ASSERT_TRUE(DropDown());
  EXPECT_EQ(Popup()->width(), 400) << "after a new view";
  FCombo->hidePopup();

  FCombo->SetDroppedWidth(0);  // back to Qt's choice
  ASSERT_TRUE(DropDown());
  EXPECT_EQ(Popup()->width(), natural);
}

TEST_F(ComboTest, TheHorizontalExtentScrollsTheList) {
  FCombo->SetDroppedWidth(200);
  FCombo->SetHorizontalExtent(600);
  ASSERT_TRUE(DropDown());
  QAbstractItemView* list = FCombo->view();
  EXPECT_GE(list->sizeHintForColumn(0), 600);
  EXPECT_EQ(list->textElideMode(), Qt::ElideNone);
  QTest::qWait(20);
  EXPECT_TRUE(list->horizontalScrollBar()->isVisible());
  EXPECT_GT(list->horizontalScrollBar()->maximum(), 0);

  // The open combo as the user sees it.
  QImage shot(FForm.width() + 120, FForm.height() + Popup()->height() + 10, QImage::Format_ARGB32);
  shot.fill(Qt::white);
  QPainter painter(&shot);
  painter.drawPixmap(0, 0, FForm.grab());
  painter.drawPixmap(FForm.mapFromGlobal(Popup()->pos()), Popup()->grab());
  painter.end();
  test::SaveShot(shot, "combo-open");

  // Without the extent, the list's items fit the popup again.
  FCombo->hidePopup();
  FCombo->SetHorizontalExtent(0);
  ASSERT_TRUE(DropDown());
  EXPECT_LT(list->sizeHintForColumn(0), 600);
}

TEST_F(ComboTest, ShowsTheHandCursor) {
  EXPECT_EQ(FCombo->cursor().shape(), CursorOf(crHandPoint).shape());
  EXPECT_EQ(FCombo->cursor().hotSpot(), CursorOf(crHandPoint).hotSpot());
}

}  // namespace
}  // namespace velkor
