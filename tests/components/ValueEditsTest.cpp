// The modal form and the value edits, in real forms: keys, focus and drops.
#include "components/ValueEdits.h"

#include <gtest/gtest.h>

#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <stdexcept>
#include <utility>
#include <vector>

#include "ComponentsTestSupport.h"
#include "core/Dialogs.h"
#include "core/NumberFormat.h"
#include "toolkit/Forms.h"

namespace velkor {
namespace {

TNumberLocale EnUs() {
  TNumberLocale L;
  L.DecimalPoint = ".";
  L.ThousandsSep = ",";
  L.Grouping = "\3";
  return L;
}

// A form with an OK (default, result 1) and a Cancel button, an integer
// edit and a plain line edit to move the focus to.
class EditForm : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProcessNumberLocale(EnUs());
    FForm.resize(320, 140);
    FOk = new TModalButton(&FForm);
    FOk->setText("OK");
    FOk->SetModalResult(mrOk);
    FOk->SetDefault(true);
    FOk->setGeometry(10, 100, 80, 28);
    FCancel = new TModalButton(&FForm);
    FCancel->setText("Cancel");
    FCancel->SetModalResult(mrCancel);
    FCancel->SetCancel(true);
    FCancel->setGeometry(100, 100, 80, 28);
    FEdit = new TVQR_IntegerEdit(&FForm);
    FEdit->setGeometry(10, 10, 150, 24);
    FOther = new QLineEdit(&FForm);
    FOther->setGeometry(10, 50, 150, 24);
  }
  void TearDown() override { SetProcessNumberLocale(TNumberLocale::Current()); }

  void Show() {
    FForm.show();
    FForm.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&FForm));
  }
  // Runs the form modally; Action runs once it is up.
  int ExecWith(std::function<void()> Action) {
    QTimer::singleShot(0, &FForm, [&] {
      FForm.activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(&FForm));
      Action();
    });
    return FForm.exec();
  }

  TForm FForm;
  TModalButton* FOk;
  TModalButton* FCancel;
  TVQR_IntegerEdit* FEdit;
  QLineEdit* FOther;
};

TEST_F(EditForm, EscapeAndEnterEndTheFormWithTheButtonsResults) {
  EXPECT_EQ(ExecWith([&] { FOther->setFocus(); QTest::keyClick(FOther, Qt::Key_Escape); }), mrCancel);
  EXPECT_EQ(ExecWith([&] { FOther->setFocus(); QTest::keyClick(FOther, Qt::Key_Return); }), mrOk);
  // Without a Cancel button Escape still ends the form as cancelled, not 0.
  FCancel->SetCancel(false);
  EXPECT_EQ(ExecWith([&] { FOther->setFocus(); QTest::keyClick(FOther, Qt::Key_Escape); }), mrCancel);
}

// Enter commits and Escape takes typed text back without the form
// reacting; Escape with nothing to take back is the form's Cancel.
TEST_F(EditForm, KeysGoToAFocusedValueEditNotToTheForm) {
  FEdit->SetValue(7);
  bool standing = false;
  QString reverted;
  const int Result = ExecWith([&] {
    FEdit->setFocus();
    QTest::keyClicks(FEdit, "12");
    QTest::keyClick(FEdit, Qt::Key_Escape);
    reverted = FEdit->text();
    QTest::keyClicks(FEdit, "3");
    QTest::keyClick(FEdit, Qt::Key_Return);
    standing = FForm.isVisible();
    QTest::keyClick(FEdit, Qt::Key_Escape);
    if (FForm.isVisible()) FForm.done(42);  // Escape did not reach the form
  });
  EXPECT_EQ(reverted, "7");
  EXPECT_TRUE(standing) << "the form reacted to a key the edit took";
  EXPECT_EQ(FEdit->Value(), 73);
  EXPECT_EQ(Result, mrCancel);
}

TEST_F(EditForm, HelpGoesThroughTheInstalledCallback) {
  int Context = -1;
  QString Keyword;
  SetHelpCallback([&](int C, const QString& K) { Context = C; Keyword = K; });
  ShowHelpKeyword("judging");
  EXPECT_EQ(Context, 0);
  EXPECT_EQ(Keyword, "judging");
  ShowHelpContext(17);
  EXPECT_EQ(Context, 17);
  SetHelpCallback({});
  ShowHelpContext(3);  // the default shows nothing
  EXPECT_EQ(Context, 17);
  SetHelpType(FEdit, htKeyword);
  SetHelpKeyword(FEdit, "edit");
  EXPECT_EQ(HelpType(FEdit), htKeyword);
  EXPECT_EQ(HelpKeyword(FEdit), "edit");
  EXPECT_EQ(HelpType(FOther), htContext);
  EXPECT_EQ(HelpContext(FOther), 0);
}

TEST_F(EditForm, F1ShowsTheHelpOfTheFocusedControlOrItsNearestParent) {
  std::vector<std::pair<int, QString>> Shown;
  SetHelpCallback([&](int C, const QString& K) { Shown.emplace_back(C, K); });
  SetHelpContext(FEdit, 5);
  const int Result = ExecWith([&] {
    FOther->setFocus();
    QTest::keyClick(FOther, Qt::Key_F1);  // nothing has help yet
    SetHelpKeyword(&FForm, "TaskConfig");
    QTest::keyClick(FOther, Qt::Key_F1);  // the form's, through the edit's parents
    FEdit->setFocus();
    QTest::keyClick(FEdit, Qt::Key_F1);   // the edit's own context
    QTest::keyClick(FEdit, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_TRUE(FForm.isVisible());
    FForm.done(42);
  });
  SetHelpCallback({});
  EXPECT_EQ(Result, 42);
  EXPECT_EQ(Shown, (std::vector<std::pair<int, QString>>{{0, "TaskConfig"}, {5, QString()}}));
}

TEST_F(EditForm, IntegerShowsDisplayAndEditingForms) {
  Show();
  int Changes = 0;
  FEdit->OnEditValueChange = [&](QObject* Sender) { EXPECT_EQ(Sender, FEdit); ++Changes; };
  FEdit->SetValue(1234);
  FEdit->SetValue(1234);
  EXPECT_EQ(Changes, 2) << "every assignment fires";
  EXPECT_EQ(FEdit->text(), "1,234");
  EXPECT_TRUE(FEdit->alignment() & Qt::AlignRight);

  FEdit->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(FEdit->text(), "1234");
  FEdit->clear();
  QTest::keyClicks(FEdit, "12x");
  QTest::keyClick(FEdit, Qt::Key_Return);
  EXPECT_EQ(FEdit->Value(), 1234);
  EXPECT_EQ(FEdit->text(), "12x") << "a bad text stays until the focus leaves";
  QTest::keyClick(FEdit, Qt::Key_Escape);
  EXPECT_EQ(FEdit->text(), "1234");

  FEdit->setText("-77");
  QTest::keyClick(FEdit, Qt::Key_Enter);
  EXPECT_EQ(FEdit->Value(), -77);
  FEdit->setText("5000");
  FOther->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(FEdit->Value(), 5000) << "leaving commits";
  EXPECT_EQ(FEdit->text(), "5,000");
  FEdit->setFocus(Qt::TabFocusReason);
  FEdit->setText("oops");
  FOther->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(FEdit->Value(), 5000);
  EXPECT_EQ(FEdit->text(), "5,000") << "leaving with a bad text restores the display form";
}

TEST_F(EditForm, BadNumbersKeepTheOldValue) {
  Show();
  TVQR_ExtendedEdit Float(&FForm);
  Float.setGeometry(170, 10, 140, 24);
  Float.show();
  Float.SetValue(2.5L);
  FEdit->SetValue(7);
  struct {
    const char* Text;
    bool IntOk, FloatOk;
  } Cases[] = {
      {"", false, false},          {"abc", false, false},      {"NaN", false, false},
      {"INF", false, false},       {"1e999", false, false},    {"2147483648", false, true},
      {"-2147483648", true, true}, {"1,000", false, false},    {" 12 ", true, true},
  };
  for (const auto& C : Cases) {
    FEdit->SetValue(7);
    FEdit->setText(C.Text);
    FEdit->UpdateValueByText();
    EXPECT_EQ(FEdit->Value() != 7, C.IntOk) << C.Text;
    Float.SetValue(2.5L);
    Float.setText(C.Text);
    Float.UpdateValueByText();
    EXPECT_EQ(Float.Value() != 2.5L, C.FloatOk) << C.Text;
  }
  Float.SetValue(1234.5L);
  EXPECT_EQ(Float.text(), "1234.5");
  Float.setFocus();
  Float.setText("0.125");
  QTest::keyClick(&Float, Qt::Key_Return);
  EXPECT_EQ(Float.Value(), 0.125L);
  EXPECT_EQ(Float.text(), "0.125");
}

TEST_F(EditForm, TheTextEventAloneDecides) {
  Show();
  FEdit->OnTextToValue = [](QObject*, const QString& Text) -> std::int64_t {
    if (Text == "boom") throw std::runtime_error("boom");
    return Text.size();
  };
  FEdit->OnValueToText2 = [](QObject*, const std::int64_t& V) { return QString("<%1>").arg(V); };
  FEdit->SetValue(9);
  EXPECT_EQ(FEdit->text(), "<9>");
  FEdit->setText("12x");
  FEdit->UpdateValueByText();
  EXPECT_EQ(FEdit->Value(), 3);
  FEdit->setText("boom");
  FEdit->UpdateValueByText();
  EXPECT_EQ(FEdit->Value(), 3);
  EXPECT_EQ(FEdit->text(), "boom");
  FEdit->OnValueToText2 = [](QObject*, const std::int64_t&) -> QString { throw std::runtime_error("no"); };
  FEdit->UpdateTextByValue();
  EXPECT_EQ(FEdit->text(), "boom") << "a failing display conversion leaves the text";
}

// Qt delivers drop events only during a drag of its own, so the test hands
// the event to the edit's handler as the drag would.
struct DropTarget : TVQR_FileNameEdit {
  using TVQR_FileNameEdit::TVQR_FileNameEdit;
  using TVQR_FileNameEdit::dropEvent;
};

TEST_F(EditForm, FileNameTakesTheFirstLocalDropAndShortens) {
  Show();
  DropTarget Name(&FForm);
  Name.setGeometry(165, 10, 150, 24);
  Name.show();
  EXPECT_TRUE(Name.alignment() & Qt::AlignLeft);
  auto Drop = [&](const QList<QUrl>& Urls) {
    QMimeData Data;
    Data.setUrls(Urls);
    QDropEvent Event(QPointF(20, 10), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
    Name.dropEvent(&Event);
  };
  Name.SetValue("/keep");
  Drop({QUrl("https://example.org/a.txt"), QUrl::fromLocalFile("/tmp/b.txt")});
  EXPECT_EQ(Name.Value(), "/keep") << "a non-local first file";
  Drop({});
  EXPECT_EQ(Name.Value(), "/keep") << "an empty drop";
  const QString Long = "/home/jury/contests/spring-round/problems/alpha/tests/input-001.txt";
  Drop({QUrl::fromLocalFile(Long), QUrl::fromLocalFile("/tmp/2"), QUrl::fromLocalFile("/tmp/3")});
  EXPECT_EQ(Name.Value(), Long);
  EXPECT_TRUE(Name.text().startsWith("/.../")) << Name.text().toStdString();
  EXPECT_TRUE(Name.text().endsWith("input-001.txt"));
  EXPECT_LE(Name.fontMetrics().horizontalAdvance(Name.text()), Name.contentsRect().width());
  Name.setFocus();
  EXPECT_EQ(Name.text(), Long) << "the full path while editing";

  TVQR_ExtendedEdit Float(&FForm);
  Float.setGeometry(165, 50, 150, 24);
  Float.SetValue(3.25L);
  Float.show();
  FEdit->SetValue(1234567);
  FEdit->setFocus();
  FOther->setFocus();
  test::SaveShot(FForm.grab().toImage(), "value_edits");
}

}  // namespace
}  // namespace velkor
