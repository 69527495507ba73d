// The main window driven for real: the grid's texts and colours, the mouse,
// keys and drops on it, the enabling rule, the contest commands and the
// toolbar fitting, on small contests built in a temporary folder.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/MainUnit.h"
#include "components/Btns.h"
#include "components/Panels.h"
#include "core/Dialogs.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "core/FileUtils.h"
#include "core/NumberFormat.h"
#include "core/SystemInfo.h"
#include "toolkit/VisualStyles.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::TContestTree;

// --- what the grid shows, without a window -------------------------------------

TEST(MainGrid, CellTextsByState) {
  struct Case {
    int State;
    double Score;
    std::string Pattern;
    std::string Text;
  };
  const Case cases[] = {
      {jsNotyetJudged, 3, "%.2n", ""},
      {jsJudged, 7.5, "%.2n", "✓ 7.50"},
      {jsJudged, 7.5, "%.1f", "✓ 7.5"},
      {jsJudged, 1234.5, "%.0n", "✓ 1,235"},
      {jsJudged, 7.5, "%d", "✓ 7.50"},       // a pattern that does not parse
      {jsJudged, 7.5, "%s%s%n", "✓ 7.50"},   // nor one that would be unsafe for printf
      {jsCompileError, 0, "%.2n", "ℱ"},
      {jsNoSource, 0, "%.2n", "∄"},
      {jsFailure, 0, "%.2n", "⚠"},
      {jsUnknown, 0, "%.2n", "?"},
      {9, 0, "%.2n", "?"},  // a state read from a file outside the known ones
      {-1, 0, "%.2n", "?"},
  };
  TNumberLocale locale;
  locale.ThousandsSep = ",";
  locale.Grouping = "\3";
  const TNumberLocale kept = ProcessNumberLocale();
  SetProcessNumberLocale(locale);
  for (const Case& c : cases) {
    TResultE e;
    e.state = static_cast<TJudgeState>(c.State);
    e.Evaluation = c.Score;
    EXPECT_EQ(ResultCellText(e, c.Pattern), c.Text) << c.State << " " << c.Pattern;
  }
  SetProcessNumberLocale(kept);
}

TEST(MainGrid, RowColoursMoveEightStepsAndClamp) {
  struct Case {
    QColor Base, Text;
    int Row;
    QColor WantBase, WantText;
  };
  const Case cases[] = {
      {Qt::white, Qt::black, 0, QColor(255, 255, 255), QColor(8, 8, 8)},
      {Qt::white, Qt::black, 1, QColor(247, 247, 247), QColor(0, 0, 0)},
      {Qt::white, Qt::black, 2, QColor(255, 255, 255), QColor(8, 8, 8)},
      {QColor(30, 100, 250), QColor(4, 128, 252), 0, QColor(38, 108, 255), QColor(12, 136, 255)},
      {QColor(30, 100, 250), QColor(4, 128, 252), 3, QColor(22, 92, 242), QColor(0, 120, 244)},
  };
  for (const Case& c : cases) {
    const TRowColors got = RowColors(c.Row, c.Base, c.Text);
    EXPECT_EQ(got.Background, c.WantBase) << c.Row;
    EXPECT_EQ(got.Text, c.WantText) << c.Row;
  }
}

TEST(MainGrid, AutoScrollTurnsAtBothEnds) {
  int pos = 0, dir = 1;
  std::vector<int> visited;
  for (int i = 0; i < 7; ++i) {
    AutoScrollStep(3, pos, dir);
    visited.push_back(pos);
  }
  EXPECT_EQ(visited, (std::vector<int>{1, 2, 2, 1, 0, 0, 1}));

  pos = 0, dir = 1;
  AutoScrollStep(1, pos, dir);
  EXPECT_EQ(pos, 0);
  AutoScrollStep(0, pos, dir);  // an empty grid
  EXPECT_EQ(pos, 0);
}

// --- the window -------------------------------------------------------------------

class MainWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static const char* argv[] = {VELKOR_TEST_PROGRAM};
    SystemInfoInit(1, argv);
    FileUtilsInit();
  }

  void SetUp() override {
    ContestInfo = std::make_unique<TContestInfo>();
    CompilerConfig = std::make_unique<TCompilerConfig>();
    EnvConfig = std::make_unique<TEnvConfig>();
    FPreviousDialog = SetMessageDialog(FMessages);
    Form = std::make_unique<TMainForm>();
    Form->showNormal();
    Form->resize(1000, 600);
    QApplication::processEvents();
  }
  void TearDown() override {
    Form.reset();
    SetMessageDialog(FPreviousDialog);
    EnvConfig.reset();
    CompilerConfig.reset();
    ContestInfo.reset();
  }

  QString Cell(int Row, int Column) const {
    return Form->MainListModel->data(Form->MainListModel->index(Row, Column), Qt::DisplayRole).toString();
  }
  QString Header(int Column) const {
    return Form->MainListModel->headerData(Column, Qt::Horizontal, Qt::DisplayRole).toString();
  }
  TResultC* C(const std::string& Name) const { return ContestInfo->ResultSet().Obj(Name); }
  TExamInfo* E(const std::string& Name) const { return ContestInfo->ExamSet().Obj(Name); }

  // Exams BAI1, BAI2 with one test each; contestants AN, BINH, CUONG; both
  // folders set through the window.
  void LoadSmallContest() {
    Tree.AddExam("BAI1", {"T1"});
    Tree.AddExam("BAI2", {"T1"});
    for (const char* name : {"AN", "BINH", "CUONG"}) Tree.AddContestant(name);
    Form->SetExamsDir(Tree.TasksDir());
    Form->SetContestantsDir(Tree.ContestantsDir());
  }
  void Score(const std::string& Contestant, const std::string& Exam, TJudgeState State, double Value = 0) {
    TResultE* r = C(Contestant)->ObjF(Exam);
    r->state = State;
    r->Evaluation = Value;
    C(Contestant)->UpdateScore();
  }

  // A client point of the grid inside cell (Row, Column), away from the icon.
  QPoint CellPoint(int Row, int Column) const {
    const QRect r = Form->MainList->visualRect(Form->MainListModel->index(Row, Column));
    return {r.right() - 4, r.center().y()};
  }
  QPoint IconPoint(int Row) const {
    return Form->MainList->StateIconRect(Form->MainListModel->index(Row, 0)).center();
  }
  QWidget* Viewport() const { return Form->MainList->viewport(); }

  TContestTree Tree;
  std::shared_ptr<TScriptedMessageDialog> FMessages = std::make_shared<TScriptedMessageDialog>();
  std::shared_ptr<IMessageDialog> FPreviousDialog;
  std::unique_ptr<TMainForm> Form;
};

TEST_F(MainWindow, EmptyContestShowsTwoColumnsAndThePlainCaption) {
  EXPECT_EQ(MainForm, Form.get());
  EXPECT_EQ(MainFormLink::Window(), Form.get());
  EXPECT_EQ(Form->MainListModel->columnCount(), 2);
  EXPECT_EQ(Form->MainListModel->rowCount(), 0);
  EXPECT_EQ(Header(0), QString::fromUtf8("Thí sinh"));
  EXPECT_EQ(Header(1), QString::fromUtf8("Tổng điểm"));
  EXPECT_EQ(Form->windowTitle(), QString::fromUtf8("Βέλκο - Chương trình chấm bài tự động"));
  EXPECT_EQ(Form->windowTitle().size(), 37);
  EXPECT_EQ(Form->StatusBar1->text(),
            QString::fromUtf8("Velkor: ✓: Đã chấm; ∄: Không nộp bài; ℱ: Dịch bị lỗi; ⚠: Lỗi nghiêm trọng."));
  EXPECT_EQ(Form->WorkSpace->tabText(0), QString::fromUtf8("Bảng điểm"));
  EXPECT_EQ(Form->WorkSpace->tabText(1), QString::fromUtf8("Hướng dẫn"));
  test::SaveShot(Form.get(), "main-empty");
}

TEST_F(MainWindow, GridReadsTheContestOnDemand) {
  LoadSmallContest();
  EnvConfig->NumberFormat = "%.2n";
  Score("AN", "BAI1", jsJudged, 7.5);
  Score("AN", "BAI2", jsCompileError);
  Score("BINH", "BAI1", jsNoSource);
  Score("BINH", "BAI2", jsFailure);
  Score("CUONG", "BAI2", static_cast<TJudgeState>(7));
  Form->UpdateItemList();

  ASSERT_EQ(Form->MainListModel->columnCount(), 4);
  ASSERT_EQ(Form->MainListModel->rowCount(), 3);
  EXPECT_EQ(Header(1), QString::fromUtf8("✓ BAI1"));
  EXPECT_EQ(Header(3), QString::fromUtf8("Tổng điểm"));
  const std::vector<std::vector<std::string>> want = {
      {"AN", "✓ 7.50", "ℱ", "7.50"},
      {"BINH", "∄", "⚠", "0.00"},
      {"CUONG", "", "?", "0.00"},
  };
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(Cell(r, c).toStdString(), want[r][c]) << r << "," << c;
  // Reading a cell without a result never creates one.
  EXPECT_EQ(C("CUONG")->Count(), 1);

  // A new pattern shows at the next paint; one that does not parse falls back.
  EnvConfig->NumberFormat = "%.1f";
  EXPECT_EQ(Cell(0, 1), QString::fromUtf8("✓ 7.5"));
  EnvConfig->NumberFormat = "%q";
  EXPECT_EQ(Cell(0, 3), "7.50");

  // The state icon follows Enabled.
  const QVariant on = Form->MainListModel->data(Form->MainListModel->index(0, 0), Qt::DecorationRole);
  C("AN")->Enabled = false;
  const QVariant off = Form->MainListModel->data(Form->MainListModel->index(0, 0), Qt::DecorationRole);
  EXPECT_NE(on.value<QPixmap>().toImage(), off.value<QPixmap>().toImage());
}

TEST_F(MainWindow, UnusualNamesShowAsTheyAre) {
  for (const char* name : {"100%", "A&B", "<b>x", "עברית", "%s%n"}) Tree.AddContestant(name);
  Tree.AddExam("P&Q");
  Form->SetExamsDir(Tree.TasksDir());
  Form->SetContestantsDir(Tree.ContestantsDir());
  std::vector<std::string> shown;
  for (int r = 0; r < Form->MainListModel->rowCount(); ++r) shown.push_back(Cell(r, 0).toStdString());
  EXPECT_EQ(shown, (std::vector<std::string>{"%s%n", "100%", "<b>x", "A&B", "עברית"}));
  EXPECT_EQ(Header(1), QString::fromUtf8("✓ P&Q"));
  Form->UpdateMenuItems();
  ASSERT_EQ(Form->miExamConfig->actions().size(), 1);
  EXPECT_EQ(Form->miExamConfig->actions()[0]->text(), "P&Q");
}

TEST_F(MainWindow, RowsAreShadedFromTheGridColours) {
  LoadSmallContest();
  QPalette palette = Form->MainList->palette();
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Text, Qt::black);
  Form->MainList->setPalette(palette);
  QApplication::sendEvent(Form.get(), new QEvent(QEvent::PaletteChange));
  auto colourOf = [&](int Row, int Role) {
    return Form->MainListModel->data(Form->MainListModel->index(Row, 1), Role).value<QBrush>().color();
  };
  if (!IsCustomStyleActive()) {
    EXPECT_EQ(colourOf(0, Qt::BackgroundRole), QColor(255, 255, 255));
    EXPECT_EQ(colourOf(1, Qt::BackgroundRole), QColor(247, 247, 247));
    EXPECT_EQ(colourOf(0, Qt::ForegroundRole), QColor(8, 8, 8));
    EXPECT_EQ(colourOf(1, Qt::ForegroundRole), QColor(0, 0, 0));
  }
  // Under a custom style the colours are the style's window colours.
  const QColor window = TColorToQColor(GetSystemColor(clWindow));
  EXPECT_EQ(colourOf(1, Qt::BackgroundRole), RowColors(1, window, Qt::black).Background);
}

TEST_F(MainWindow, PressesSetTheClickedCellAndTheIconToggles) {
  LoadSmallContest();
  QApplication::processEvents();
  QTest::mouseClick(Viewport(), Qt::LeftButton, {}, CellPoint(1, 2));
  EXPECT_EQ(Form->ActiveC, C("BINH"));
  EXPECT_EQ(Form->ActiveE, E("BAI2"));
  EXPECT_TRUE(C("BINH")->Enabled);

  QTest::mouseClick(Viewport(), Qt::LeftButton, {}, CellPoint(2, 3));  // the total column
  EXPECT_EQ(Form->ActiveC, C("CUONG"));
  EXPECT_EQ(Form->ActiveE, nullptr);

  QTest::mouseClick(Viewport(), Qt::LeftButton, {}, QPoint(5, Viewport()->height() - 5));  // below the rows
  EXPECT_EQ(Form->ActiveC, nullptr);
  EXPECT_EQ(Form->ActiveE, nullptr);

  QTest::mouseClick(Viewport(), Qt::LeftButton, {}, IconPoint(0));
  EXPECT_FALSE(C("AN")->Enabled);
  QTest::mouseClick(Viewport(), Qt::LeftButton, {}, IconPoint(0));
  EXPECT_TRUE(C("AN")->Enabled);

  // A double click on the icon (a press, then the double click) toggles
  // once and opens no report.
  QTest::mouseClick(Viewport(), Qt::LeftButton, {}, IconPoint(1));
  QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, IconPoint(1));
  EXPECT_FALSE(C("BINH")->Enabled);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindow, HeaderClicksToggleExamsAndRightClicksOpenThePopup) {
  LoadSmallContest();
  QHeaderView* header = Form->MainList->horizontalHeader();
  auto sectionPoint = [&](int Column) {
    return QPoint(header->sectionViewportPosition(Column) + header->sectionSize(Column) / 2, header->height() / 2);
  };
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sectionPoint(2));
  EXPECT_FALSE(E("BAI2")->Enabled);
  EXPECT_EQ(Header(2), QString::fromUtf8("◯ BAI2"));
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sectionPoint(0));
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sectionPoint(3));
  EXPECT_TRUE(E("BAI1")->Enabled);
  EXPECT_FALSE(E("BAI2")->Enabled);

  // Right click on an exam's header: that exam for every contestant.
  Form->ActiveC = C("AN");
  emit header->customContextMenuRequested(sectionPoint(1));
  EXPECT_EQ(Form->ActiveC, nullptr);
  EXPECT_EQ(Form->ActiveE, E("BAI1"));
  EXPECT_TRUE(Form->PopMainList->isVisible());
  EXPECT_TRUE(Form->actExamConfig->isVisible());
  Form->PopMainList->hide();
  test::SaveShot(Form->PopMainList->grab().toImage(), "main-popup");

  // On the total column: no exam, and no exam-settings item.
  emit header->customContextMenuRequested(sectionPoint(3));
  EXPECT_EQ(Form->ActiveE, nullptr);
  EXPECT_FALSE(Form->actExamConfig->isVisible());
  Form->PopMainList->hide();

  // A right press on a cell.
  QTest::mousePress(Viewport(), Qt::RightButton, {}, CellPoint(1, 1));
  EXPECT_EQ(Form->ActiveC, C("BINH"));
  EXPECT_EQ(Form->ActiveE, E("BAI1"));
  EXPECT_TRUE(Form->PopMainList->isVisible());
  EXPECT_FALSE(Form->actExamConfig->isVisible());
  Form->PopMainList->hide();
}

TEST_F(MainWindow, KeysOnTheGrid) {
  LoadSmallContest();
  Form->MainList->setFocus();
  // Space with nothing selected does nothing.
  Form->MainList->clearSelection();
  QTest::keyClick(Form->MainList, Qt::Key_Space);
  for (const char* name : {"AN", "BINH", "CUONG"}) EXPECT_TRUE(C(name)->Enabled) << name;

  Form->MainList->selectRow(1);
  QTest::keyClick(Form->MainList, Qt::Key_Space);
  EXPECT_FALSE(C("BINH")->Enabled);
  EXPECT_EQ(Form->MainList->selectionModel()->selectedRows().size(), 1);

  // Ctrl+A is the contestants' select-all, not the view's.
  C("AN")->Enabled = false;
  Form->activateWindow();
  QApplication::setActiveWindow(Form.get());
  QTest::keyClick(Form->MainList, Qt::Key_A, Qt::ControlModifier);
  for (const char* name : {"AN", "BINH", "CUONG"}) EXPECT_TRUE(C(name)->Enabled) << name;
  EXPECT_EQ(Form->MainList->selectionModel()->selectedRows().size(), 1);

  // Ctrl+Alt+S asks before scrolling on its own, and stops without asking.
  FMessages->AddAnswer(mrNo);
  QTest::keyClick(Form->MainList, Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_FALSE(Form->TimerScroll->isActive());
  FMessages->AddAnswer(mrYes);
  QTest::keyClick(Form->MainList, Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_TRUE(Form->TimerScroll->isActive());
  QTest::keyClick(Form->MainList, Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_FALSE(Form->TimerScroll->isActive());
  const auto requests = FMessages->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Msg, "Bật chế độ cuộn tự động?");
  EXPECT_EQ(requests[0].Buttons, (TMsgDlgButtons{mbYes, mbNo}));
}

TEST_F(MainWindow, AutoScrollMovesEverySecondTick) {
  LoadSmallContest();
  std::vector<int> shown;
  for (int i = 0; i < 14; ++i) {
    const int before = Form->ScrollPos;
    Form->TimerScrollTimer();
    if (i % 2 == 1) shown.push_back(Form->ScrollPos);
    else EXPECT_EQ(Form->ScrollPos, before);
  }
  EXPECT_EQ(shown, (std::vector<int>{1, 2, 2, 1, 0, 0, 1}));

  // Not while another window of ours is up.
  QWidget other;
  other.show();
  QApplication::setActiveWindow(&other);
  const int pos = Form->ScrollPos;
  for (int i = 0; i < 4; ++i) Form->TimerScrollTimer();
  EXPECT_EQ(Form->ScrollPos, pos);
}

}  // namespace
}  // namespace velkor
