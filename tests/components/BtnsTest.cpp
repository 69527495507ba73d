// The smart buttons: kinds, layout, drawing, clicks in real forms, and
// pictures of every state and layout.
#include "components/Btns.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "ComponentsTestSupport.h"
#include "components/FaceRoutines.h"
#include "core/Dialogs.h"
#include "toolkit/Colors.h"

namespace velkor {
namespace {

std::unique_ptr<TPicture> PictureOf(const TTrueImage& Image) {
  auto P = New<TPicture>();
  P->Assign(&Image);
  return P;
}

std::unique_ptr<TPicture> SolidPicture(int W, int H, TColor32 C) {
  auto Image = TTrueImage::CreateSize(W, H);
  Image->BMP32().Clear(C);
  return PictureOf(*Image);
}

TEST(SmartBtn, KindsSetCaptionRolesAndResult) {
  struct {
    TSmartBtnKind Kind;
    const char* Caption;
    int Result;
    bool Default, Cancel;
  } Cases[] = {
      {sbkOK, "OK", mrOk, true, false},          {sbkCancel, "Cancel", mrCancel, false, true},
      {sbkHelp, "&Help", 0, false, false},       {sbkYes, "&Yes", mrYes, true, false},
      {sbkNo, "&No", mrNo, false, true},         {sbkClose, "&Close", 0, false, false},
      {sbkAbort, "Abort", mrAbort, false, false}, {sbkRetry, "&Retry", mrRetry, false, false},
      {sbkIgnore, "&Ignore", mrIgnore, false, false}, {sbkAll, "&All", mrAll, false, false},
  };
  for (const auto& C : Cases) {
    TSmartBtn B;
    B.SetModalResult(99);
    B.SetKind(C.Kind);
    EXPECT_EQ(B.Caption(), C.Caption);
    EXPECT_EQ(B.ModalResult(), C.Result) << C.Caption;
    EXPECT_EQ(B.Default(), C.Default) << C.Caption;
    EXPECT_EQ(B.Cancel(), C.Cancel) << C.Caption;
    QString Text = "x";
    SmartBtnKindCaption(C.Kind, Text);
    EXPECT_EQ(Text, C.Caption);
  }
  TSmartBtn B;
  EXPECT_EQ(B.size(), QSize(80, 32));
  EXPECT_EQ(B.sizeHint(), QSize(80, 32));
  EXPECT_EQ(B.Layout(), atMiddleofLeft);
  EXPECT_EQ(B.Margin(), -1);
  EXPECT_EQ(B.Spacing(), 4);
  B.SetKind(sbkCancel);
  B.SetKind(sbkCustom);
  EXPECT_EQ(B.Caption(), "Cancel") << "sbkCustom changes nothing";
  EXPECT_EQ(B.ModalResult(), mrCancel);
}

TEST(SmartBtn, CalcLayoutTable) {
  const QSize Text(30, 13);
  struct {
    const char* Why;
    TBtnLayoutInput In;
    TRect Glyph, TextR;
  } Cases[] = {
      {"All layout scales the glyph to the area less spacing",
       {78, 80, atAllofTop, -1, 4, 32, 16, true}, {5, 14, 73, 48}, {24, 52, 54, 65}},
      {"an action image is never scaled",
       {78, 80, atAllofTop, -1, 4, 16, 16, false}, {31, 23, 47, 39}, {24, 43, 54, 56}},
      {"no glyph, margin counts for the area and the side",
       {80, 32, atLeftofTop, 5, 4, 0, 0, true}, {0, 0, 0, 0}, {6, 11, 36, 24}},
      {"default: text 4 right of the glyph, centred on it, union centred",
       {80, 32, atMiddleofLeft, -1, 4, 16, 16, true}, {15, 8, 31, 24}, {35, 9, 65, 22}},
      {"margin 0 without a glyph aligns",
       {80, 32, atMiddleofLeft, 0, 4, 0, 0, true}, {0, 0, 0, 0}, {1, 10, 31, 23}},
      {"margin > 0 puts the glyph at its side",
       {80, 32, atMiddleofLeft, 3, 4, 16, 16, true}, {4, 8, 20, 24}, {24, 9, 54, 22}},
  };
  for (const auto& C : Cases) {
    TRect G, T;
    CalcLayout(C.In, [&](int) { return Text; }, G, T);
    EXPECT_EQ(G, C.Glyph) << C.Why;
    EXPECT_EQ(T, C.TextR) << C.Why;
  }
  // A glyph wider than the button leaves a text limit of 0, never less.
  int Limit = -1;
  TRect G, T;
  CalcLayout({80, 32, atMiddleofLeft, -1, 4, 120, 16, true}, [&](int L) { Limit = L; return QSize(); }, G, T);
  EXPECT_EQ(Limit, 0);
  // Zero-size buttons and huge glyphs stay finite.
  CalcLayout({0, 0, atAllofLeft, -1, 4, 100000, 100000, true}, [&](int L) { Limit = L; return Text; }, G, T);
  EXPECT_GE(Limit, 0);
}

TEST(SmartBtn, GlyphKeepsTrueImagesAndFallsBackToTheAction) {
  TSmartBtn B;
  int Changes = 0;
  B.BtnGlyph().OnChange = [&] { ++Changes; };
  EXPECT_TRUE(B.BtnGlyph().EmptyPic());
  EXPECT_TRUE(B.BtnGlyph().Empty());
  QImage Q(12, 10, QImage::Format_ARGB32);
  Q.fill(qRgba(10, 20, 30, 255));
  B.BtnGlyph().AssignFromHBitmap(Q, {0, 0, 12, 10}, false);
  ASSERT_NE(B.BtnGlyph().TrueImage(), nullptr);
  EXPECT_EQ(B.BtnGlyph().Width(), 12);
  EXPECT_EQ(B.BtnGlyph().Height(), 10);
  EXPECT_GE(Changes, 1);
  B.SetGlyph(nullptr);
  EXPECT_TRUE(B.BtnGlyph().EmptyPic());

  TVQR_ImageList List(24, 24);
  List.Add(*TTrueImage::CreateSize(24, 24));
  QAction Action;
  B.SetAction(&Action);
  for (int Index : {-1, 1, 7}) {
    SetActionImage(&Action, &List, Index);
    EXPECT_TRUE(B.BtnGlyph().Empty()) << "bad index " << Index;
    EXPECT_EQ(B.BtnGlyph().Width(), 0);
    (void)B.grab();  // drawn or skipped, no crash
  }
  SetActionImage(&Action, &List, 0);
  Action.setText("&Judge");
  Action.setEnabled(false);
  EXPECT_EQ(B.Caption(), "&Judge");
  EXPECT_FALSE(B.isEnabled());
  EXPECT_FALSE(B.BtnGlyph().Empty());
  EXPECT_EQ(B.BtnGlyph().Width(), 24);
  EXPECT_EQ(B.BtnGlyph().ActImageList(), &List);
}

// Counts its paints.
struct CountingBtn : TSmartBtn {
  int Paints = 0;
  void paintEvent(QPaintEvent* E) override {
    ++Paints;
    TSmartBtn::paintEvent(E);
  }
};

TEST(SmartBtn, DisabledGlyphAtAQuarterAlphaWithoutRepaintLoop) {
  SetClassicButtonFrames(true);
  QWidget Form;
  Form.resize(100, 50);
  auto* B = new CountingBtn;
  B->setParent(&Form);
  B->SetGlyph(SolidPicture(16, 16, 0xFF000000).get());
  B->setEnabled(false);
  Form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  EXPECT_LT(B->Paints, 5) << "the glyph's change repainted the button from its paint";
  EXPECT_EQ(B->BtnGlyph().TrueImage()->MasterAlpha(), 255);
  TRect G, T;
  B->CalcLayout(G, T);
  const QImage Shot = B->grab().toImage();
  const QColor Face = QColor::fromRgba(ResolveColor(clBtnFace));
  const QColor Pixel = Shot.pixelColor((G.Left + G.Right) / 2, (G.Top + G.Bottom) / 2);
  // Black at 63 / 255 over the face.
  EXPECT_NEAR(Pixel.red(), Face.red() * (255 - 63) / 255, 2);
  EXPECT_NEAR(Pixel.green(), Face.green() * (255 - 63) / 255, 2);
  B->setEnabled(true);
  EXPECT_EQ(B->grab().toImage().pixelColor((G.Left + G.Right) / 2, (G.Top + G.Bottom) / 2), QColor(Qt::black));
  SetClassicButtonFrames(false);
}

class BtnForm : public ::testing::Test {
 protected:
  void SetUp() override {
    FForm.resize(260, 60);
    FOk = new TSmartBtn(&FForm);
    FOk->SetKind(sbkOK);
    FOk->move(10, 10);
    FCancel = new TSmartBtn(&FForm);
    FCancel->SetKind(sbkCancel);
    FCancel->move(95, 10);
    FHelp = new TSmartBtn(&FForm);
    FHelp->SetKind(sbkHelp);
    FHelp->move(180, 10);
  }
  int ExecWith(std::function<void()> Action) {
    QTimer::singleShot(0, &FForm, [&] {
      FForm.activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(&FForm));
      Action();
    });
    return FForm.exec();
  }
  TForm FForm;
  TSmartBtn* FOk;
  TSmartBtn* FCancel;
  TSmartBtn* FHelp;
};

TEST_F(BtnForm, KeysAndClicksEndTheFormWithTheKindsResults) {
  EXPECT_EQ(ExecWith([&] { QTest::keyClick(&FForm, Qt::Key_Escape); }), mrCancel);
  EXPECT_EQ(ExecWith([&] { QTest::keyClick(&FForm, Qt::Key_Return); }), mrOk);
  EXPECT_EQ(ExecWith([&] { QTest::mouseClick(FCancel, Qt::LeftButton); }), mrCancel);
  QSignalSpy Clicked(FOk, &QPushButton::clicked);
  EXPECT_EQ(ExecWith([&] { QTest::mouseClick(FOk, Qt::LeftButton); }), mrOk);
  EXPECT_EQ(Clicked.count(), 1);
}

TEST_F(BtnForm, HelpKindShowsTheNearestHelpInsteadOfClicking) {
  FForm.show();
  FForm.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&FForm));
  QString Shown;
  SetHelpCallback([&](int, const QString& K) { Shown = K; });
  QSignalSpy Clicked(FHelp, &QPushButton::clicked);
  QTest::mouseClick(FHelp, Qt::LeftButton);
  EXPECT_EQ(Clicked.count(), 1) << "no help anywhere: a normal click";
  SetHelpType(&FForm, htKeyword);
  SetHelpKeyword(&FForm, "judging");
  QTest::mouseClick(FHelp, Qt::LeftButton);
  EXPECT_EQ(Shown, "judging");
  EXPECT_EQ(Clicked.count(), 1);
  EXPECT_TRUE(FHelp->hasFocus());
  SetHelpCallback({});

  auto* Close = new TSmartBtn(&FForm);
  Close->SetKind(sbkClose);
  Close->show();
  QTest::mouseClick(Close, Qt::LeftButton);
  EXPECT_FALSE(FForm.isVisible());
}

TEST(SmartBtn, BadInputIsDrawnOrSkipped) {
  auto Huge = SolidPicture(2000, 2000, 0xFF0000FF);
  for (QSize Size : {QSize(0, 0), QSize(1, 1), QSize(80, 32)}) {
    for (TControlPosition L : {atMiddleofLeft, atAllofTop, atAllofRight}) {
      TSmartBtn B;
      B.resize(Size);
      B.SetLayout(L);
      B.SetCaption("&&&");
      B.SetGlyph(Huge.get());
      const QImage Shot = B.grab().toImage();
      if (Size == QSize(80, 32) && L == atMiddleofLeft) {
        EXPECT_EQ(Shot.pixelColor(40, 16), QColor(Qt::blue)) << "the visible part of a huge glyph";
      }
    }
  }
  TSmartBtn Empty;
  Empty.SetGlyph(SolidPicture(0, 0, 0).get());
  EXPECT_TRUE(Empty.BtnGlyph().EmptyPic());
  (void)Empty.grab();
}

TEST(SmartToolBtn, CaptionIsDrawnButNeverQtText) {
  TSmartToolBtn B;
  B.SetCaption("&Judge");
  EXPECT_TRUE(B.text().isEmpty());
  EXPECT_EQ(B.Caption(), "&Judge");
  EXPECT_EQ(B.size(), QSize(48, 48));
  EXPECT_EQ(B.Spacing(), 0);
  EXPECT_EQ(B.focusPolicy(), Qt::NoFocus);
}

// Every layout with a glyph, and the states, in both frames.
TEST(SmartBtn, Pictures) {
  auto Glyph = test::GradientImage(16, 16);
  auto Pic = PictureOf(*Glyph);
  for (bool Classic : {false, true}) {
    SetClassicButtonFrames(Classic);
    QWidget Sheet;
    Sheet.resize(4 * 110 + 10, 5 * 58 + 10);
    Sheet.setAutoFillBackground(true);
    for (int L = 0; L < 16; ++L) {
      auto* B = new TSmartBtn(&Sheet);
      B->setGeometry(10 + (L % 4) * 110, 10 + (L / 4) * 58, 100, 50);
      B->SetCaption(QString("L%1 &Caption").arg(L));
      B->SetLayout(TControlPosition(L));
      B->SetGlyph(Pic.get());
    }
    const char* States[] = {"Normal", "Default", "Pressed", "Disabled"};
    for (int S = 0; S < 4; ++S) {
      auto* B = new TSmartBtn(&Sheet);
      B->setGeometry(10 + S * 110, 10 + 4 * 58, 100, 40);
      B->SetCaption(States[S]);
      B->SetGlyph(Pic.get());
      if (S == 1) B->SetDefault(true);
      if (S == 2) B->setDown(true);
      if (S == 3) B->setEnabled(false);
    }
    test::SaveShot(Sheet.grab().toImage(), Classic ? "smart_buttons_classic" : "smart_buttons_themed");
  }
  SetClassicButtonFrames(false);

  auto Big = test::GradientImage(48, 48);
  auto BigPic = PictureOf(*Big);
  TSmartToolBtn Tool;
  Tool.SetGlyph(BigPic.get());
  Tool.SetCaption("&Stray & amp");
  test::SaveShot(Tool.grab().toImage(), "smart_tool_button");
}

}  // namespace
}  // namespace velkor
