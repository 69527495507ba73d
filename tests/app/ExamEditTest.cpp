// The exam settings dialog, driven for real: the limit conversions, the
// four ways out and what "Settings.cfg" holds after each, the checker
// choice, the browse buttons and the help topic.
#include "app/ExamEditU.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <memory>
#include <string>

#include "AppTestSupport.h"
#include "components/Btns.h"
#include "components/Labels.h"
#include "components/ListBoxes.h"
#include "components/ValueEdits.h"
#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "core/NumberFormat.h"
#include "judging/Checkers.h"
#include "judging/Contests.h"
#include "judging/Exams.h"
#include "judging/Globals.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::TContestTree;

TEST(ExamLimits, TextAndValuesConvertBothWays) {
  const TNumberLocale saved = ProcessNumberLocale();
  TNumberLocale dot;
  SetProcessNumberLocale(dot);
  struct Case {
    const char* Text;
    double Value;
  } reads[] = {{"", -1}, {"  ", -1}, {"abc", -1}, {"-5", -1}, {"1e999", -1}, {"2.5", 2.5}, {" 3 ", 3}, {"0", 0},
               {"1,5", -1}, {"-0", 0}, {"+2", 2}, {".5", 0.5}, {"5.", 5}, {"1E-3", 0.001}, {"1e308", 1e308},
               {"nan", -1}, {"NAN", -1}, {"inf", -1}, {"-INF", -1}, {"1e-400", -1}, {"0x10", -1}, {"1.5.2", -1},
               {"1 000", -1}, {"2,5", -1}};
  for (const Case& c : reads) EXPECT_EQ(TextToLimit(c.Text), c.Value) << c.Text;
  // Huge and tiny limits, and a zero typed with a sign, show as numbers.
  struct Shown {
    double Value;
    const char* Edit;
    const char* Display;
  } shown[] = {{1e20, "1E20", "1E20"},
               {1e-7, "1E-7", "1E-7"},
               {123456789012345678.0, "1.23456789012346E17", "1.23456789012346E17"},
               {0.1 + 0.2, "0.3", "0.3"},
               {TextToLimit("-0"), "0", "0"}};
  for (const Shown& c : shown) {
    EXPECT_EQ(LimitToEditText(c.Value).toStdString(), c.Edit) << c.Value;
    EXPECT_EQ(LimitToDisplayText(c.Value).toStdString(), c.Display) << c.Value;
  }
  EXPECT_EQ(LimitToEditText(-1), "");
  EXPECT_EQ(LimitToEditText(0.1), "0.1");
  EXPECT_EQ(LimitToDisplayText(-1), "");
  EXPECT_EQ(LimitToDisplayText(1024), "1024");
  EXPECT_EQ(LimitToDisplayText(1.0 / 3), "0.333333333333333");
  // The user's decimal comma reads and writes both ways.
  TNumberLocale comma;
  comma.DecimalPoint = ",";
  SetProcessNumberLocale(comma);
  EXPECT_EQ(TextToLimit("1,5"), 1.5);
  EXPECT_EQ(TextToLimit("1,5e3"), 1500);
  EXPECT_EQ(TextToLimit("1.5"), -1);
  EXPECT_EQ(LimitToEditText(2.5e-7), "2,5E-7");
  EXPECT_EQ(LimitToEditText(1.5), "1,5");
  EXPECT_EQ(LimitToDisplayText(0.25), "0,25");
  SetProcessNumberLocale(saved);
}

// Exam "A" with tests 1..3 and a settings file; the process-wide objects
// as the program has them.
class ExamDialog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::StartProgramModel("app_dialogs_exam_test");
  }
  static void TearDownTestSuite() { FinalizeGlobals(); }
  void SetUp() override {
    tree.AddExam("A", {"1", "2", "3"});
    ContestInfo->Reset();
    ContestInfo->LoadExams(tree.TasksDir());
    exam = ContestInfo->ExamSet().Obj("A");
    exam->ObjI(1)->TimeLimit = 2.5;
    exam->EvaluatorName = "no-such-checker.dll";
    previous = SetMessageDialog(messages);
    previousFiles = SetOpenFilesDialog([this](QWidget*, const QString& Title, const QString& Folder) {
      fileDialogs.push_back(Title.toStdString() + "@" + Folder.toStdString());
      return chosen;
    });
    link = std::make_unique<test::TRecordingLink>();
    MainFormLink::InstallHelpRoute();
  }
  void TearDown() override {
    SetMessageDialog(previous);
    SetOpenFilesDialog(previousFiles);
    ContestInfo->Reset();
  }
  // The exam as its folder and "Settings.cfg" give it now.
  TExamInfo* Reloaded() {
    ContestInfo->LoadExams(tree.TasksDir());
    return ContestInfo->ExamSet().Obj("A");
  }
  static void Type(TVQR_ExtendedEdit* Edit, const QString& Text) {
    Edit->setFocus();
    Edit->selectAll();
    QTest::keyClicks(Edit, Text);
  }

  TContestTree tree;
  TExamInfo* exam = nullptr;
  std::shared_ptr<TScriptedMessageDialog> messages = std::make_shared<TScriptedMessageDialog>();
  std::shared_ptr<IMessageDialog> previous;
  TOpenFilesDialog previousFiles;
  QStringList chosen;
  std::vector<std::string> fileDialogs;
  std::unique_ptr<test::TRecordingLink> link;
};

TEST_F(ExamDialog, ShowsTheExamAndOkWritesBackAndSaves) {
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TExamEditForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), "Cấu hình bài thi: A");
    ASSERT_EQ(form->g.size(), 3u);
    EXPECT_EQ(form->gGeneral.labTest->text().toStdString(), "Thiết lập chung");
    EXPECT_EQ(form->g[1].labTest->text().toStdString(), "2");
    EXPECT_EQ(form->g[1].edtTime->text().toStdString(), "2.5");
    EXPECT_EQ(form->g[0].edtTime->text().toStdString(), "");  // inherits
    EXPECT_EQ(form->gGeneral.edtMemory->text().toStdString(), "1024");
    // Tab runs from the exam's controls through the grid to the buttons.
    std::vector<QWidget*> tabs{form->checkValid};
    for (QWidget* w = form->checkValid->nextInFocusChain(); tabs.size() < 14; w = w->nextInFocusChain())
      if (w->focusPolicy() & Qt::TabFocus) tabs.push_back(w);
    const std::vector<QWidget*> expected{form->checkValid,       form->gGeneral.edtMark, form->gGeneral.edtTime,
                                         form->gGeneral.edtMemory, form->g[0].edtMark,     form->g[0].edtTime,
                                         form->g[0].edtMemory,     form->g[1].edtMark,     form->g[1].edtTime,
                                         form->g[1].edtMemory,     form->g[2].edtMark,     form->g[2].edtTime,
                                         form->g[2].edtMemory,     form->btnHelp};
    EXPECT_EQ(tabs, expected);
    // A checker no longer loaded: the first one is chosen.
    EXPECT_EQ(form->comboJudger->currentIndex(), 0);
    test::SaveShot(form, "exam-dialog");

    form->btnHelp->click();
    Type(form->g[0].edtMark, "2");
    Type(form->g[1].edtTime, "abc");        // unreadable: inherits
    Type(form->g[2].edtMemory, "-5");       // negative: inherits
    Type(form->gGeneral.edtTime, "");       // the exam keeps its own value
    Type(form->gGeneral.edtMark, "1e999");  // not finite: kept as well
    Type(form->gGeneral.edtMemory, "256");  // still being edited at OK
    form->checkStdIn->setChecked(true);
    chosen = {"/x/a.inp", "/x/b.dat"};
    form->btnBrowseInput->click();
    EXPECT_EQ(form->edtInputFiles->text().toStdString(), "a.inp|b.dat");
    chosen = {"/x/bad|name.out"};
    messages->AddAnswer(mrOk);
    form->btnBrowseOutput->click();
    EXPECT_EQ(form->edtOutputFiles->text().toStdString(), "A.OUT");
    form->btnOK->click();
  });
  EXPECT_EQ(EditExamConfig(exam), erOK);
  EXPECT_EQ(link->Calls, std::vector<std::string>{"help:TaskConfig"});
  ASSERT_EQ(messages->Requests().size(), 1u);
  EXPECT_NE(messages->Requests()[0].Msg.find("bad|name.out"), std::string::npos);
  const std::string folder = tree.TasksDir() + "/A/1";
  EXPECT_EQ(fileDialogs, (std::vector<std::string>{"Chọn các file dữ liệu@" + folder, "Chọn các file kết quả@" + folder}));

  auto check = [](const TExamInfo* e) {
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ObjI(0)->Mark, 2);
    EXPECT_EQ(e->ObjI(1)->TimeLimit, -1);
    EXPECT_EQ(e->ObjI(2)->MemoryLimit, -1);
    EXPECT_EQ(e->Mark, 1);
    EXPECT_EQ(e->TimeLimit, 1);
    EXPECT_EQ(e->MemoryLimit, 256);
    EXPECT_TRUE(e->UseStdIn);
    EXPECT_EQ(e->InputFile, "a.inp|b.dat");
    EXPECT_EQ(e->EvaluatorName, Checkers->ObjI(0)->Name());
  };
  check(exam);
  check(Reloaded());
}

TEST_F(ExamDialog, NextPreviousAndCancelCodes) {
  struct Case {
    const char* Button;
    int Code;
    bool Saved;
  } cases[] = {{"next", erNext, true}, {"prev", erPrevious, true}, {"cancel", erCancel, false}, {"esc", erCancel, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Button);
    fs::remove(tree.TasksDir() + "/A/Settings.cfg");
    exam->ObjI(0)->Mark = -1;
    test::WhenModal([&](QWidget* Dialog) {
      auto* form = dynamic_cast<TExamEditForm*>(Dialog);
      Type(form->g[0].edtMark, "7");
      const std::string b = c.Button;
      if (b == "next") form->btnNext->click();
      else if (b == "prev") form->btnPrev->click();
      else if (b == "cancel") form->btnCancel->click();
      else QTest::keyClick(form, Qt::Key_Escape);
    });
    EXPECT_EQ(EditExamConfig(exam), c.Code);
    EXPECT_EQ(fs::exists(tree.TasksDir() + "/A/Settings.cfg"), c.Saved);
    EXPECT_EQ(exam->ObjI(0)->Mark, c.Saved ? 7 : -1);
  }
}

TEST_F(ExamDialog, FileListsReachingOutsideTheTestFolderAreRefused) {
  const std::string before = exam->InputFile;
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TExamEditForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    struct Case {
      const char* Input;
      const char* Output;
      TSmartBtn* Button;
    } refused[] = {{"../a.inp", "A.OUT", form->btnOK},
                   {"a.inp", "sub/a.out", form->btnNext},
                   {"a.inp| .. ", "A.OUT", form->btnPrev},
                   {"a\\b.inp", "A.OUT", form->btnOK}};
    for (const Case& c : refused) {
      SCOPED_TRACE(c.Input + std::string(" / ") + c.Output);
      form->edtInputFiles->setText(QString::fromUtf8(c.Input));
      form->edtOutputFiles->setText(QString::fromUtf8(c.Output));
      messages->AddAnswer(mrOk);
      const std::size_t told = messages->Requests().size();
      c.Button->click();
      EXPECT_TRUE(form->isVisible()) << "the dialog stays open";
      ASSERT_EQ(messages->Requests().size(), told + 1);
      EXPECT_EQ(messages->Requests().back().DlgType, mtError);
      const bool inputBad = std::string(c.Input) != "a.inp";
      EXPECT_NE(messages->Requests().back().Msg.find(inputBad ? c.Input : c.Output), std::string::npos)
          << messages->Requests().back().Msg;
    }
    // Blanks around names and empty items are harmless; the dialog closes.
    form->edtInputFiles->setText(" a.inp | b.inp |");
    form->edtOutputFiles->setText("a.out");
    form->btnNext->click();
  });
  EXPECT_EQ(EditExamConfig(exam), erNext);
  EXPECT_EQ(messages->Requests().size(), 4u);
  EXPECT_NE(exam->InputFile, before);
  const TExamInfo* stored = Reloaded();
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->InputFile, " a.inp | b.inp |");
  EXPECT_EQ(stored->OutputFile, "a.out");
}

// An empty file list where the exam needs one keeps the dialog open with
// the field to fill focused; only a program on standard input may have no
// input file. Driven as a jury would: clear the field, press Enter.
TEST_F(ExamDialog, EmptyFileListsTheExamNeedsAreRefused) {
  struct Case {
    const char* Input;
    bool StdIn;
    const char* Output;
    bool StdOut;
    const char* Refused;  // "input", "output" or nil when OK closes
  } cases[] = {{"", false, "A.OUT", false, "input"},
               {" | ", false, "A.OUT", true, "input"},
               {"A.INP", false, "", false, "output"},
               {"A.INP", true, "|", true, "output"},
               {"", true, "A.OUT", true, nullptr}};
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TExamEditForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.Input) + " / " + c.Output);
      form->checkStdIn->setChecked(c.StdIn);
      form->checkStdOut->setChecked(c.StdOut);
      form->edtOutputFiles->setText(QString::fromUtf8(c.Output));
      form->edtInputFiles->setFocus();
      QTest::keyClick(form->edtInputFiles, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClick(form->edtInputFiles, Qt::Key_Backspace);
      QTest::keyClicks(form->edtInputFiles, QString::fromUtf8(c.Input));
      const std::size_t told = messages->Requests().size();
      if (c.Refused) messages->AddAnswer(mrOk);
      QTest::keyClick(form->edtInputFiles, Qt::Key_Return);
      if (!c.Refused) break;  // closed
      EXPECT_TRUE(form->isVisible()) << "the dialog stays open";
      ASSERT_EQ(messages->Requests().size(), told + 1);
      const TMsgDlgRequest r = messages->Requests().back();
      EXPECT_EQ(r.DlgType, mtError);
      const bool input = std::string(c.Refused) == "input";
      EXPECT_NE(r.Msg.find(input ? "Chưa có tên file dữ liệu" : "Chưa có tên file kết quả"), std::string::npos)
          << r.Msg;
      EXPECT_EQ(QApplication::focusWidget(), input ? form->edtInputFiles : form->edtOutputFiles);
      test::SaveShot(form, std::string("exam-dialog-refused-") + c.Refused);
    }
  });
  EXPECT_EQ(EditExamConfig(exam), erOK);
  EXPECT_EQ(messages->Requests().size(), 4u);
  const TExamInfo* stored = Reloaded();
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->InputFile, "");
  EXPECT_TRUE(stored->UseStdIn);
  EXPECT_EQ(stored->OutputFile, "A.OUT");
}

TEST_F(ExamDialog, AFailedSaveIsShownAndTheValuesStay) {
  fs::create_directories(tree.TasksDir() + "/A/Settings.cfg");  // in the way of the file
  messages->AddAnswer(mrOk);
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TExamEditForm*>(Dialog);
    Type(form->g[0].edtMark, "3");
    form->btnOK->click();
  });
  EXPECT_EQ(EditExamConfig(exam), erOK);
  ASSERT_EQ(messages->Requests().size(), 1u);
  EXPECT_EQ(messages->Requests()[0].DlgType, mtError);
  EXPECT_NE(messages->Requests()[0].Msg.find("\"A\""), std::string::npos) << messages->Requests()[0].Msg;
  EXPECT_NE(messages->Requests()[0].Msg.find(tree.TasksDir() + "/A/Settings.cfg"), std::string::npos)
      << "names the file";
  EXPECT_EQ(exam->ObjI(0)->Mark, 3);
}

TEST_F(ExamDialog, LongNamesAndTitlesStayReadable) {
  tree.AddExam("BaiThiCoTenRatDai", {"test01", "test02", "test03", "test04", "test05", "test06", "test07", "test08"});
  ContestInfo->LoadExams(tree.TasksDir());
  TExamInfo* longExam = ContestInfo->ExamSet().Obj("BaiThiCoTenRatDai");
  ASSERT_NE(longExam, nullptr);
  longExam->InputFile = "du_lieu_vao_cua_bai_thi_rat_dai.inp|du_lieu_phu.inp";
  longExam->OutputFile = "ket_qua_cua_bai_thi_rat_dai.out";
  longExam->ObjI(3)->TimeLimit = 0.1234567;
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TExamEditForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    // A long list shows from its first name, the whole of it in the tip.
    EXPECT_EQ(form->edtInputFiles->cursorPosition(), 0);
    EXPECT_EQ(form->edtInputFiles->toolTip().toStdString(), longExam->InputFile);
    // Fifteen significant digits, not six.
    EXPECT_EQ(form->g[3].edtTime->text().toStdString(), "0.1234567");
    QWidget* rows = form->scrollTestSet->widget();
    std::vector<TSmartLab*> titles;
    for (TSmartLab* l : rows->findChildren<TSmartLab*>())
      if (l->text().startsWith(QString::fromUtf8("Giới hạn")) || l->text().startsWith(QString::fromUtf8("Điểm")))
        titles.push_back(l);
    ASSERT_EQ(titles.size(), 3u);
    for (std::size_t i = 0; i < titles.size(); ++i)
      for (std::size_t j = i + 1; j < titles.size(); ++j)
        EXPECT_FALSE(titles[i]->geometry().intersects(titles[j]->geometry()))
            << titles[i]->text().toStdString() << " / " << titles[j]->text().toStdString();
    std::vector<const TEdit3*> all{&form->gGeneral};
    for (const TEdit3& row : form->g) all.push_back(&row);
    for (const TEdit3* row : all) {
      SCOPED_TRACE(row->labTest->text().toStdString());
      EXPECT_GE(row->labTest->x(), 0);
      EXPECT_LE(row->labTest->geometry().right(), row->edtMark->x());
      EXPECT_LE(row->edtMemory->geometry().right(), form->scrollTestSet->viewport()->width());
    }
    // More tests than the box shows: the rows scroll.
    EXPECT_GT(rows->height(), form->scrollTestSet->viewport()->height());
    test::SaveShot(form, "exam-dialog-long-names");
    form->scrollTestSet->verticalScrollBar()->setValue(form->scrollTestSet->verticalScrollBar()->maximum());
    test::SaveShot(form, "exam-dialog-scrolled");
    // The wheel scrolls the test set by its own distance: a third of a notch
    // is 40 pixels. (Over a row's edit the wheel reaches the box the same
    // way, passed on by the edit, which takes no wheel.)
    QScrollBar* bar = form->scrollTestSet->verticalScrollBar();
    QWidget* box = form->scrollTestSet->viewport();
    auto wheel = [box](int Delta) {
      const QPointF at(box->width() / 2.0, box->height() / 2.0);
      QWheelEvent event(at, box->mapToGlobal(at), QPoint(), QPoint(0, Delta), Qt::NoButton, Qt::NoModifier,
                        Qt::NoScrollPhase, false);
      QApplication::sendEvent(box, &event);
      return event.isAccepted();
    };
    bar->setValue(0);
    EXPECT_TRUE(wheel(-40));
    EXPECT_EQ(bar->value(), 40);
    EXPECT_TRUE(wheel(20));
    EXPECT_EQ(bar->value(), 20);
    wheel(-1200);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(form->size(), QSize(600, 328));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()) << "a dialog border";
    form->btnCancel->click();
  });
  EXPECT_EQ(EditExamConfig(longExam), erCancel);
}

TEST_F(ExamDialog, AnExamWithoutTestsShowsTheGeneralRowOnly) {
  tree.AddExam("Empty");
  ContestInfo->LoadExams(tree.TasksDir());
  TExamInfo* empty = ContestInfo->ExamSet().Obj("Empty");
  ASSERT_NE(empty, nullptr);
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TExamEditForm*>(Dialog);
    EXPECT_TRUE(form->g.empty());
    bool countShown = false;
    for (TSmartLab* l : form->scrollTestSet->widget()->findChildren<TSmartLab*>())
      countShown |= l->text() == QString::fromUtf8("Tên 0 test▼");
    EXPECT_TRUE(countShown);
    form->btnNext->click();
  });
  EXPECT_EQ(EditExamConfig(empty), erNext);
}

}  // namespace
}  // namespace velkor
