// The main window end to end on a temporary contest, with the real engine
// and the system's compiler: judging, re-judging and deleting marks from
// the grid, saving and reopening the contest, exporting; the question asked
// before the window closes; online judging from the window.
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "AppTestSupport.h"
#include "XlsxReader.h"
#include "app/ExcelExportU.h"
#include "app/JudgeU.h"
#include "app/MainUnit.h"
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

namespace fs = std::filesystem;
using testing::TContestTree;
using testing::WriteText;
using test::kRightCpp;
using test::kWrongCpp;


class MainWindowEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::StartProgramModel("app_mainform_e2e_test");
    InitErrorModeAPI();
  }
  static void TearDownTestSuite() {
    DoneErrorModeAPI();
    FinalizeGlobals();
  }
  void SetUp() override {
    previous = SetMessageDialog(messages);
    EnvConfig->SubmitDir.clear();
    EnvConfig->NumberFormat = "%.2f";
    Tree.AddExam("A");
    Tree.AddTest("A", "1", {{"A.INP", "1 2\n"}, {"A.OUT", "3\n"}});
    Tree.AddTest("A", "2", {{"A.INP", "20 22\n"}, {"A.OUT", "42\n"}});
    Tree.AddContestant("AN", {{"A.cpp", kRightCpp}});
    Tree.AddContestant("BINH", {{"A.cpp", kWrongCpp}});
    Tree.AddContestant("CUONG");
    ContestInfo->Reset();
    Form = std::make_unique<TMainForm>();
    Form->showNormal();
    Form->resize(900, 500);
    QApplication::processEvents();
  }
  void TearDown() override {
    if (Form) Form->ContestChanged = false;
    Form.reset();
    SetMessageDialog(previous);
    ContestInfo->Reset();
  }
  QString Cell(int Row, int Column) const {
    return Form->MainListModel->data(Form->MainListModel->index(Row, Column), Qt::DisplayRole).toString();
  }
  std::vector<std::string> Row(int R) const {
    std::vector<std::string> cells;
    for (int c = 0; c < Form->MainListModel->columnCount(); ++c) cells.push_back(Cell(R, c).toStdString());
    return cells;
  }
  void LoadFolders() {
    Form->SetExamsDir(Tree.TasksDir());
    TExamInfo* a = ContestInfo->ExamSet().Obj("A");
    a->UseStdIn = a->UseStdOut = true;
    a->TimeLimit = 5;
    Form->SetContestantsDir(Tree.ContestantsDir());
  }
  // Answers the next save dialog with File, or cancels it when File is empty.
  static void WhenSaveDialog(const std::string& File) {
    test::WhenModal([File](QWidget* Dialog) {
      auto* dialog = qobject_cast<QFileDialog*>(Dialog);
      ASSERT_NE(dialog, nullptr);
      if (File.empty()) {
        dialog->reject();
        return;
      }
      dialog->selectFile(QString::fromStdString(File));
      static_cast<QDialog*>(dialog)->accept();
    });
  }

  // Opens File through the open dialog.
  static void WhenOpenDialog(const std::string& File) {
    test::WhenModal([File](QWidget* Dialog) {
      auto* dialog = qobject_cast<QFileDialog*>(Dialog);
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->objectName(), "odContest");
      EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Mở kỳ thi"));
      EXPECT_EQ(dialog->defaultSuffix(), "contest");
      EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
      dialog->selectFile(QString::fromStdString(File));
      static_cast<QDialog*>(dialog)->accept();
    });
  }
  // A right press on cell (Row, Column) of the grid, away from the icon;
  // the popup it opens is closed again.
  void RightPress(int Row, int Column) {
    const QRect r = Form->MainList->visualRect(Form->MainListModel->index(Row, Column));
    QTest::mousePress(Form->MainList->viewport(), Qt::RightButton, {}, QPoint(r.right() - 4, r.center().y()));
    Form->PopMainList->hide();
  }

  TContestTree Tree;
  std::unique_ptr<TMainForm> Form;
  std::shared_ptr<TScriptedMessageDialog> messages = std::make_shared<TScriptedMessageDialog>();
  std::shared_ptr<IMessageDialog> previous;
};

TEST_F(MainWindowEndToEnd, JudgeRejudgeDeleteSaveReopenAndExport) {
  LoadFolders();
  Form->Action("actJudge")->trigger();
  ASSERT_TRUE(messages->Requests().empty()) << messages->Requests()[0].Msg;
  EXPECT_EQ(Row(0), (std::vector<std::string>{"AN", "✓ 2.00", "2.00"}));
  EXPECT_EQ(Row(1), (std::vector<std::string>{"BINH", "✓ 0.00", "0.00"}));
  EXPECT_EQ(Row(2), (std::vector<std::string>{"CUONG", "∄", "0.00"}));
  test::SaveShot(Form.get(), "main-judged");

  // BINH fixes the program; re-judging the cell takes it up.
  WriteText(Tree.ContestantsDir() + "/BINH/A.cpp", kRightCpp);
  Form->ActiveC = ContestInfo->ResultSet().Obj("BINH");
  Form->ActiveE = ContestInfo->ExamSet().Obj("A");
  Form->Action("actRejudge")->trigger();
  EXPECT_EQ(Row(1), (std::vector<std::string>{"BINH", "✓ 2.00", "2.00"}));

  // Deleting one mark asks nothing.
  Form->ActiveC = ContestInfo->ResultSet().Obj("AN");
  Form->Action("actDeleteMark")->trigger();
  EXPECT_EQ(Row(0)[1], "");
  EXPECT_TRUE(messages->Requests().empty());

  // Save, then reopen into a new contest.
  const std::string file = Tree.Path("thi.contest");
  WhenSaveDialog(file);
  Form->Action("actSaveAsContest")->trigger();
  ASSERT_TRUE(fs::exists(file));
  EXPECT_FALSE(Form->ContestChanged);
  EXPECT_TRUE(Form->windowTitle().endsWith(QString::fromStdString(" ✓" + file)));
  Form->Action("actNewContest")->trigger();
  EXPECT_EQ(Form->MainListModel->rowCount(), 0);
  WhenOpenDialog(file);
  Form->Action("actOpenContest")->trigger();
  ASSERT_EQ(Form->MainListModel->rowCount(), 3);
  EXPECT_FALSE(Form->ContestChanged);
  EXPECT_EQ(Row(1), (std::vector<std::string>{"BINH", "✓ 2.00", "2.00"}));

  // Export: a workbook is written and handed to the desktop.
  test::TRecordingOpener opener;
  SetExportTarget(Tree.Path("ketqua.xlsx"));
  Form->Action("actExportToExcel")->trigger();
  SetExportTarget("");
  EXPECT_EQ(opener.Opened, std::vector<std::string>{Tree.Path("ketqua.xlsx")});
  ASSERT_TRUE(messages->Requests().empty()) << messages->Requests()[0].Msg;
  test::TXlsxReader book(Tree.Path("ketqua.xlsx"));
  EXPECT_EQ(book.Cell(1, "B1"), "s:A");
  EXPECT_EQ(book.Cell(1, "A2"), "s:AN");
  EXPECT_EQ(book.Cell(1, "A3"), "s:BINH");
  EXPECT_EQ(book.Cell(1, "B3"), "n:2");
  EXPECT_EQ(book.Cell(1, "C3"), "n:2");
  EXPECT_EQ(book.Cell(1, "A4"), "s:CUONG");
  EXPECT_EQ(book.Cell(1, "C4"), "n:0");
}

TEST_F(MainWindowEndToEnd, ClickedHeadersRowsAndCellsAreJudgedEvenWhenLeftOut) {
  Tree.AddExam("B", {"1"});  // nobody sent B: judged without compiling
  LoadFolders();
  ContestInfo->ExamSet().Obj("A")->Enabled = false;
  ContestInfo->ResultSet().Obj("CUONG")->Enabled = false;
  Form->UpdateAllGUI();
  using Cells = std::vector<std::string>;

  // B's header: B for every contestant taking part.
  QHeaderView* header = Form->MainList->horizontalHeader();
  emit header->customContextMenuRequested(
      QPoint(header->sectionViewportPosition(2) + header->sectionSize(2) / 2, header->height() / 2));
  Form->PopMainList->hide();
  Form->ContestChanged = false;
  Form->Action("actRejudge")->trigger();
  EXPECT_TRUE(Form->ContestChanged);
  EXPECT_EQ(Row(0), (Cells{"AN", "", "∄", "0.00"}));
  EXPECT_EQ(Row(1), (Cells{"BINH", "", "∄", "0.00"}));
  EXPECT_EQ(Row(2), (Cells{"CUONG", "", "", "0.00"}));

  // CUONG's row, though left out: every exam taking part.
  RightPress(2, 0);
  ASSERT_EQ(Form->ActiveC, ContestInfo->ResultSet().Obj("CUONG"));
  ASSERT_EQ(Form->ActiveE, nullptr);
  Form->Action("actRejudge")->trigger();
  EXPECT_EQ(Row(2), (Cells{"CUONG", "", "∄", "0.00"}));

  // AN's cell of A, though A is left out.
  RightPress(0, 1);
  ASSERT_EQ(Form->ActiveE, ContestInfo->ExamSet().Obj("A"));
  Form->Action("actRejudge")->trigger();
  EXPECT_EQ(Row(0), (Cells{"AN", "✓ 2.00", "∄", "2.00"}));

  // Judging everything takes neither A nor CUONG.
  for (const char* name : {"AN", "BINH", "CUONG"}) {
    TResultC* c = ContestInfo->ResultSet().Obj(name);
    c->Clear();
    c->UpdateScore();
  }
  Form->UpdateItemList();
  Form->Action("actJudge")->trigger();
  EXPECT_EQ(Row(0), (Cells{"AN", "", "∄", "0.00"}));
  EXPECT_EQ(Row(1), (Cells{"BINH", "", "∄", "0.00"}));
  EXPECT_EQ(Row(2), (Cells{"CUONG", "", "", "0.00"}));
  EXPECT_TRUE(messages->Requests().empty());
}

TEST_F(MainWindowEndToEnd, CloseAsksAboutAChangedContest) {
  const std::string file = Tree.Path("dong.contest");
  struct Case {
    int Answer;
    const char* SaveAs;  // nullptr: no save dialog expected
    bool Closes;
  } cases[] = {
      {mrCancel, nullptr, false},
      {mrYes, "", false},  // the save dialog cancelled: the window stays
      {mrYes, "dong.contest", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Answer);
    LoadFolders();
    ASSERT_TRUE(Form->ContestChanged);
    messages->AddAnswer(c.Answer);
    if (c.SaveAs) WhenSaveDialog(*c.SaveAs ? Tree.Path(c.SaveAs) : "");
    EXPECT_EQ(Form->close(), c.Closes);
    EXPECT_EQ(Form->isVisible(), !c.Closes);
    EXPECT_EQ(messages->Requests().back().Msg, "Bạn có muốn ghi lại kỳ thi này không?");
  }
  EXPECT_TRUE(fs::exists(file));

  // No closes without saving; an unchanged contest asks nothing.
  Form->showNormal();
  LoadFolders();
  messages->AddAnswer(mrNo);
  EXPECT_TRUE(Form->close());
  const std::size_t asked = messages->Requests().size();
  Form->showNormal();
  Form->ContestChanged = false;
  EXPECT_TRUE(Form->close());
  EXPECT_EQ(messages->Requests().size(), asked);
}

TEST_F(MainWindowEndToEnd, OnlineJudgingRunsOnlyWhileTheWindowCanJudge) {
  test::TShiftedSubmitClock clock;  // files written here count as complete
  const std::string submit = Tree.Path("Submit");
  fs::create_directories(submit);
  EnvConfig->SubmitDir = submit;
  LoadFolders();
  ASSERT_TRUE(Form->Action("actOnlineJudge")->isEnabled());

  // While a dialog of ours is open, nothing is judged.
  WriteText(submit + "/x[C9][A].cpp", kRightCpp);
  {
    QDialog other(Form.get());
    other.setModal(true);
    other.show();
    Form->ScanAndJudgeSubmissions();
    EXPECT_TRUE(fs::exists(submit + "/x[C9][A].cpp"));
  }
  QApplication::processEvents();
  Form->ScanAndJudgeSubmissions();
  EXPECT_FALSE(fs::exists(submit + "/x[C9][A].cpp"));
  ASSERT_NE(ContestInfo->ResultSet().Obj("C9"), nullptr);
  EXPECT_EQ(Form->MainListModel->rowCount(), 4);
  EXPECT_TRUE(fs::exists(submit + "/Logs/x[C9][A].cpp.log"));

  // After New there are no exams: a pass must not run (it would delete
  // every waiting file).
  messages->AddAnswer(mrNo);
  Form->Action("actNewContest")->trigger();
  EXPECT_FALSE(Form->Action("actOnlineJudge")->isEnabled());
  WriteText(submit + "/y[C9][A].cpp", kRightCpp);
  Form->ScanAndJudgeSubmissions();
  Form->Timer1Timer();
  EXPECT_TRUE(fs::exists(submit + "/y[C9][A].cpp"));
  EXPECT_FALSE(Form->Timer1->isActive());
  EnvConfig->SubmitDir.clear();
}

TEST_F(MainWindowEndToEnd, TheSampleContestJudgedFromTheWindow) {
  EnvConfig->NumberFormat = "%.2n";
  Form->LoadContest(VELKOR_SAMPLE_CONTEST);
  ASSERT_EQ(Form->MainListModel->rowCount(), 4);
  Form->Action("actJudge")->trigger();
  ASSERT_TRUE(messages->Requests().empty()) << messages->Requests()[0].Msg;
  // Columns: contestant, DEM, MAX, TONG, total.
  EXPECT_EQ(Row(0), (std::vector<std::string>{"An", "✓ 10.00", "✓ 6.00", "✓ 10.00", "26.00"}));
  EXPECT_EQ(Row(2), (std::vector<std::string>{"Chi", "✓ 0.00", "ℱ", "✓ 7.50", "7.50"}));
  EXPECT_EQ(Row(3)[1], "∄");
  Form->resize(1000, 420);
  QApplication::processEvents();
  test::SaveShot(Form.get(), "main-sample-judged");
}

}  // namespace
}  // namespace velkor
