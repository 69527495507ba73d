// The judging report over results set through the data model: its texts,
// the classes of tests and their styles, the filters, Copy and the keys.
#include "app/DetailtU.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QClipboard>
#include <QTest>
#include <QTextBlock>
#include <gtest/gtest.h>

#include <string>

#include "AppTestSupport.h"
#include "components/Btns.h"
#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/Exams.h"
#include "judging/Globals.h"
#include "judging/Results.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

using testing::TContestTree;

TEST(ReportClasses, WrongCorrectOrPartial) {
  struct Case {
    double E, M;
    TTestOutcome Outcome;
  } cases[] = {{0, 1, TTestOutcome::Wrong},         {0.0000000005, 1, TTestOutcome::Wrong},
               {1 - 0.0000000005, 1, TTestOutcome::Correct}, {2, 1, TTestOutcome::Correct},
               {0.5, 1, TTestOutcome::Partial},     {0, 0, TTestOutcome::Wrong}};
  for (const Case& c : cases) EXPECT_EQ(ClassifyTest(c.E, c.M), c.Outcome) << c.E << " of " << c.M;
}

// Exams A (tests 1..3, mark 1 each) and B; C1 judged in A (right, wrong,
// half) and failed to compile B; C2 never judged.
class Report : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::StartProgramModel("app_report_test");
  }
  static void TearDownTestSuite() { FinalizeGlobals(); }
  void SetUp() override {
    tree.AddExam("A", {"1", "2", "3"});
    tree.AddExam("B", {"1"});
    tree.AddContestant("C1");
    tree.AddContestant("C2");
    ContestInfo->Reset();
    ContestInfo->LoadExams(tree.TasksDir());
    ContestInfo->LoadContestants(tree.ContestantsDir());
    EnvConfig->NumberFormat = "%.2f";
    EnvConfig->ReportOptions = {roCorrect, roWrong, roPartial};
    TResultC* c1 = ContestInfo->ResultSet().Obj("C1");
    TResultE* a = c1->ObjF("A");
    a->state = jsJudged;
    const double scores[] = {1, 0, 0.5};
    const char* verdicts[] = {"Đúng", "Sai\r\ndòng 2", "Một nửa"};
    for (int i = 0; i < 3; ++i) {
      TResultT* t = a->ObjF(std::to_string(i + 1));
      t->Evaluation = scores[i];
      t->EvaluationText = verdicts[i];
    }
    a->ObjF("gone")->EvaluationText = "cũ";  // its test folder no longer exists
    a->UpdateScore();
    TResultE* b = c1->ObjF("B");
    b->state = jsCompileError;
    b->EvaluationText = "lỗi dịch\r\ndòng cuối";  // no final line break
    c1->UpdateScore();
  }
  void TearDown() override { ContestInfo->Reset(); }

  static TQueue<std::string> Names(std::initializer_list<std::string> List) {
    TQueue<std::string> q;
    for (const std::string& s : List) q.Push(s);
    return q;
  }
  // Every paragraph, with "*" before bold and "/" before italic ones.
  static std::vector<std::string> Paragraphs(QTextEdit* Edit) {
    std::vector<std::string> out;
    for (QTextBlock b = Edit->document()->begin(); b.isValid(); b = b.next()) {
      if (b.text().isEmpty()) continue;
      const QTextCharFormat f = b.begin() != b.end() ? b.begin().fragment().charFormat() : b.charFormat();
      std::string mark = f.fontWeight() == QFont::Bold ? "*" : f.fontItalic() ? "/" : "";
      out.push_back(mark + b.text().toStdString());
    }
    return out;
  }

  static std::vector<int> Indents(TReportForm* Form) {
    std::vector<int> out;
    for (QTextBlock b = Form->Reporter->document()->begin(); b.isValid(); b = b.next())
      if (!b.text().isEmpty()) out.push_back(qRound(b.blockFormat().textIndent() * 72.0 / Form->logicalDpiX()));
    return out;
  }

  TContestTree tree;
};

TEST_F(Report, TextsClassesAndFilters) {
  auto C = Names({"C1", "C2"});
  auto E = Names({"A", "B"});
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TReportForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), "Chi tiết chấm");
    const std::vector<std::string> all{
        "■ C1: 1.50", "● A: 1.50", "◆ 1: 1.00", "Đúng", "*◆ 2: 0.00", "*Sai", "*dòng 2", "/◆ 3: 0.50", "/Một nửa",
        "● B: ℱ Dịch lỗi", "lỗi dịch", "dòng cuối", "■ C2: 0.00", "● A: Chưa chấm", "● B: Chưa chấm"};
    EXPECT_EQ(Paragraphs(form->Reporter), all);
    // First-line indents in points: contestants, exams, verdicts and tests,
    // test verdicts.
    EXPECT_EQ(Indents(form), (std::vector<int>{0, 12, 24, 36, 24, 36, 36, 24, 36, 12, 24, 24, 0, 12, 12}));
    // An exam's verdict (the compiler's output) is in a fixed-width font,
    // so its "^" markers stand under the characters they point at; the
    // rest of the report is not.
    for (QTextBlock b = form->Reporter->document()->begin(); b.isValid(); b = b.next()) {
      if (b.text().isEmpty()) continue;
      const QFontMetricsF metrics(b.begin().fragment().charFormat().font());
      const bool fixed = b.text() == QString::fromUtf8("lỗi dịch") || b.text() == QString::fromUtf8("dòng cuối");
      EXPECT_EQ(metrics.horizontalAdvance("iiii") == metrics.horizontalAdvance("WWWW"), fixed) << b.text().toStdString();
    }
    test::SaveShot(form, "report-window");

    form->cWrong->click();
    form->cCorrect->click();
    const std::vector<std::string> partialOnly{"■ C1: 1.50", "● A: 1.50", "/◆ 3: 0.50", "/Một nửa", "● B: ℱ Dịch lỗi",
                                               "lỗi dịch",   "dòng cuối", "■ C2: 0.00", "● A: Chưa chấm", "● B: Chưa chấm"};
    EXPECT_EQ(Paragraphs(form->Reporter), partialOnly);

    // Copy takes everything and leaves the caret where it was.
    QTextCursor caret = form->Reporter->textCursor();
    caret.setPosition(5);
    form->Reporter->setTextCursor(caret);
    form->CopyBtn->click();
    EXPECT_EQ(form->Reporter->textCursor().position(), 5);
    EXPECT_FALSE(form->Reporter->textCursor().hasSelection());
    EXPECT_TRUE(QApplication::clipboard()->text().contains(QString::fromUtf8("◆ 3: 0.50")));

    // Esc acts when the key comes up.
    QTest::keyPress(form, Qt::Key_Escape);
    EXPECT_TRUE(form->isVisible());
    QTest::keyRelease(form, Qt::Key_Escape);
  });
  ShowJudgeReport(C, E);
  EXPECT_EQ(EnvConfig->ReportOptions, TReportOptionSet{roPartial});
}

TEST_F(Report, OneExamColumnHasNoTotal) {
  EnvConfig->ReportOptions = {};
  auto C = Names({"C1"});
  auto E = Names({"A"});
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TReportForm*>(Dialog);
    EXPECT_EQ(Paragraphs(form->Reporter), (std::vector<std::string>{"■ C1: ", "● A: 1.50"}));
    EXPECT_FALSE(form->cCorrect->isChecked());
    // The release of the Enter that chose the report in a menu is not
    // this window's key.
    QTest::keyRelease(form->Reporter, Qt::Key_Return);
    EXPECT_TRUE(form->isVisible());
    // Enter closes from whichever control has the focus.
    for (QWidget* w : std::initializer_list<QWidget*>{form->Reporter, form->cWrong, form->CopyBtn}) {
      QTest::keyPress(w, Qt::Key_Return);
      EXPECT_TRUE(form->isVisible());
    }
    QTest::keyRelease(form->CopyBtn, Qt::Key_Return);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), mrOk);
  });
  ShowJudgeReport(C, E);
  EXPECT_EQ(EnvConfig->ReportOptions, TReportOptionSet{});
}

}  // namespace
}  // namespace velkor
