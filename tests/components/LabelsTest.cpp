// Control positions, the smart label and the focus call, in real windows.
#include "components/Labels.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "ComponentsTestSupport.h"
#include "components/AlignRoutines.h"

namespace velkor {
namespace {

TEST(AlignRoutines, AllSixteenPlaces) {
  const TRect ref{100, 50, 200, 71};  // 100 x 21
  struct {
    TControlPosition P;
    TControlPosition Mirror, Opposite;
    TRect Beside;  // a 30 x 13 rectangle, spacing 4
    TRect Inside;  // the same inside ref, margin 2
  } cases[] = {
      {atLeftofTop, atRightofTop, atLeftofBottom, {100, 33, 130, 46}, {100, 52, 130, 65}},
      {atCenterofTop, atCenterofTop, atCenterofBottom, {135, 33, 165, 46}, {135, 52, 165, 65}},
      {atRightofTop, atLeftofTop, atRightofBottom, {170, 33, 200, 46}, {170, 52, 200, 65}},
      {atAllofTop, atAllofTop, atAllofBottom, {100, 33, 200, 46}, {100, 52, 200, 65}},
      {atLeftofBottom, atRightofBottom, atLeftofTop, {100, 75, 130, 88}, {100, 56, 130, 69}},
      {atCenterofBottom, atCenterofBottom, atCenterofTop, {135, 75, 165, 88}, {135, 56, 165, 69}},
      {atRightofBottom, atLeftofBottom, atRightofTop, {170, 75, 200, 88}, {170, 56, 200, 69}},
      {atAllofBottom, atAllofBottom, atAllofTop, {100, 75, 200, 88}, {100, 56, 200, 69}},
      {atTopofLeft, atTopofRight, atTopofRight, {66, 50, 96, 63}, {102, 50, 132, 63}},
      {atMiddleofLeft, atMiddleofRight, atMiddleofRight, {66, 54, 96, 67}, {102, 54, 132, 67}},
      {atBottomofLeft, atBottomofRight, atBottomofRight, {66, 58, 96, 71}, {102, 58, 132, 71}},
      {atAllofLeft, atAllofRight, atAllofRight, {66, 50, 96, 71}, {102, 50, 132, 71}},
      {atTopofRight, atTopofLeft, atTopofLeft, {204, 50, 234, 63}, {168, 50, 198, 63}},
      {atMiddleofRight, atMiddleofLeft, atMiddleofLeft, {204, 54, 234, 67}, {168, 54, 198, 67}},
      {atBottomofRight, atBottomofLeft, atBottomofLeft, {204, 58, 234, 71}, {168, 58, 198, 71}},
      {atAllofRight, atAllofLeft, atAllofLeft, {204, 50, 234, 71}, {168, 50, 198, 71}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MirrorPosition(c.P, false), c.P);
    EXPECT_EQ(MirrorPosition(c.P, true), c.Mirror) << int(c.P);
    EXPECT_EQ(OppositePosition(c.P), c.Opposite) << int(c.P);
    TRect r{0, 0, 30, 13};
    PlaceRectBeside(r, ref, c.P, 4);
    EXPECT_EQ(r, c.Beside) << "beside, place " << int(c.P);
    r = {7, 9, 37, 22};
    AlignRectInside(r, ref, c.P, 2);
    EXPECT_EQ(r, c.Inside) << "inside, place " << int(c.P);
  }
}

TEST(AlignRoutines, CentreAndUnion) {
  TRect r{0, 0, 3, 3};
  CenterRectIn(r, {0, 0, 10, 10});
  EXPECT_EQ(r, (TRect{3, 3, 6, 6}));
  r = {0, 0, 5, 5};
  CenterRectIn(r, {-10, -10, -2, -2});  // (-12 - 5) / 2 truncates toward zero
  EXPECT_EQ(r, (TRect{-8, -8, -3, -3}));

  TRect u;
  UnionOfRects({}, u);
  EXPECT_EQ(u, (TRect{2147483647, 2147483647, -2147483647, -2147483647}));
  const TRect rects[] = {{5, 6, 7, 8}, {-1, 10, 3, 20}};
  UnionOfRects(rects, u);
  EXPECT_EQ(u, (TRect{-1, 6, 7, 20}));
}

class LabelForm : public ::testing::Test {
 protected:
  void SetUp() override {
    FForm.resize(400, 200);
    FEdit = new QLineEdit(&FForm);
    FEdit->setGeometry(100, 50, 100, 21);
    FLabel = new TSmartLab(&FForm);
    FLabel->SetAutoSize(false);
    FLabel->SetBounds(0, 0, 40, 13);
  }
  QRect Geometry() const { return FLabel->geometry(); }

  QWidget FForm;
  QLineEdit* FEdit = nullptr;
  TSmartLab* FLabel = nullptr;
};

TEST_F(LabelForm, DefaultsAndPlacingItself) {
  EXPECT_EQ(FLabel->LabelSpacing(), 4);
  EXPECT_EQ(FLabel->LabelPosition(), atLeftofTop);
  EXPECT_EQ(FLabel->AdjustMode(), amAdjustMyself);
  EXPECT_EQ(FLabel->GridSize(), 8);
  FLabel->SetFocusControl(FEdit);
  EXPECT_EQ(FLabel->buddy(), FEdit);
  EXPECT_EQ(Geometry(), QRect(100, 33, 40, 13));
  FLabel->SetLabelPosition(atMiddleofLeft);
  EXPECT_EQ(Geometry(), QRect(56, 54, 40, 13));
  FLabel->SetLabelSpacing(10);
  EXPECT_EQ(Geometry(), QRect(50, 54, 40, 13));
  FLabel->SetBounds(0, 0, 40, 13);
  EXPECT_EQ(Geometry(), QRect(50, 54, 40, 13)) << "SetBounds places again";
}

TEST_F(LabelForm, RightToLeftMirrors) {
  FEdit->setLayoutDirection(Qt::RightToLeft);
  FLabel->SetFocusControl(FEdit);
  EXPECT_EQ(Geometry(), QRect(160, 33, 40, 13)) << "right edges aligned";
  EXPECT_EQ(FLabel->layoutDirection(), Qt::RightToLeft);
}

TEST_F(LabelForm, FollowsTheControlsStateAgain) {
  FLabel->SetFocusControl(FEdit);
  FLabel->setEnabled(false);
  EXPECT_TRUE(FLabel->isEnabled()) << "the control's enabled state comes back";
  FEdit->setEnabled(false);
  FLabel->Adjust();
  EXPECT_FALSE(FLabel->isEnabled());
  FLabel->hide();
  EXPECT_FALSE(FLabel->isHidden()) << "the control's visibility comes back";
  FEdit->hide();
  FLabel->Adjust();
  EXPECT_TRUE(FLabel->isHidden());
}

TEST_F(LabelForm, AdjustingTheControlSnapsToTheGrid) {
  struct {
    int LabelTop, WantTop;
  } cases[] = {
      {20, 40},  // the control lands at 37: 4.625 units -> 5
      {19, 32},  // 36: 4.5 units -> 4 (halves to even)
  };
  for (const auto& c : cases) {
    FLabel->SetFocusControl(nullptr);
    FLabel->SetAdjustMode(amAdjustFocusControl);
    FLabel->SetBounds(13, c.LabelTop, 40, 13);
    FLabel->SetFocusControl(FEdit);
    EXPECT_EQ(FEdit->geometry(), QRect(16, c.WantTop, 100, 21)) << "label top " << c.LabelTop;
    EXPECT_EQ(Geometry(), QRect(16, c.WantTop - 17, 40, 13)) << "the label sits above it again";
  }
}

TEST_F(LabelForm, AutoSizeFollowsTheTextAndADeletedControlIsForgotten) {
  FLabel->SetFocusControl(FEdit);
  FLabel->SetAutoSize(true);
  FLabel->SetCaption("&Tên thí sinh:");
  EXPECT_GT(FLabel->width(), 40);
  EXPECT_EQ(FLabel->geometry().bottom() + 1 + 4, 50) << "placed above the control at its new size";
  delete FEdit;
  EXPECT_EQ(FLabel->FocusControl(), nullptr);
  FLabel->SetBounds(5, 5, 40, 13);
  EXPECT_EQ(Geometry(), QRect(5, 5, 40, 13));
  FLabel->SetGridSize(0);
  EXPECT_EQ(FLabel->GridSize(), 1);
}

TEST_F(LabelForm, AClickFocusesTheControlOnlyWhenItCan) {
  FLabel->SetFocusControl(FEdit);
  QTest::mouseClick(FLabel, Qt::LeftButton);  // the form is hidden
  EXPECT_FALSE(FEdit->hasFocus());
  SafeSetFocus(nullptr);

  FForm.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&FForm));
  FEdit->setEnabled(false);
  QTest::mouseClick(FLabel, Qt::LeftButton);
  EXPECT_FALSE(FEdit->hasFocus());
  FEdit->setEnabled(true);
  FLabel->Adjust();
  QTest::mouseClick(FLabel, Qt::LeftButton);
  EXPECT_TRUE(FEdit->hasFocus());
  FLabel->SetAutoSize(true);
  FLabel->SetCaption("&Thư mục bài làm:");
  test::SaveShot(FForm.grab().toImage(), "smart_label");
}

}  // namespace
}  // namespace velkor
