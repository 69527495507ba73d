// The main window driven for real: the grid's texts and colours, the mouse,
// keys and drops on it, the enabling rule, the contest commands and the
// toolbar fitting, on small contests built in a temporary folder.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QStatusBar>
#include <QLineEdit>
#include <QToolTip>
#include <QWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QMessageBox>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <zip.h>

#include "AppTestSupport.h"
#include "app/DetailtU.h"
#include "app/ExamEditU.h"
#include "app/MainUnit.h"
#include "app/SettingsU.h"
#include "app/CoreHooks.h"
#include "components/Btns.h"
#include "components/Panels.h"
#include "core/Dialogs.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/FolderLocks.h"
#include "platform/FileLocks.h"
#include "core/FileUtils.h"
#include "core/NumberFormat.h"
#include "core/SystemInfo.h"
#include "toolkit/MainMenuBar.h"
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

TEST_F(MainWindow, CommandsMenusAndPopup) {
  struct TRow {
    const char* Name;
    const char* Category;
    const char* Caption;
    const char* Shortcut;
    int Image;
  };
  static const TRow kActions[] = {
      {"actNewContest", "ContestGroup", "Tạo kỳ thi mới", "Ctrl+N", 0},
      {"actOpenContest", "ContestGroup", "Mở kỳ thi cũ", "Ctrl+O", 1},
      {"actSaveContest", "ContestGroup", "Ghi kỳ thi", "Ctrl+S", 2},
      {"actSaveAsContest", "ContestGroup", "Ghi kỳ thi dưới một tên khác", "Ctrl+Shift+S", 2},
      {"actSettings", "ContestGroup", "Các thiết lập môi trường", "F11", 3},
      {"actExit", "ContestGroup", "Thoát", "Alt+F4", 4},
      {"actReloadExams", "ExamGroup", "Nạp danh sách bài thi", "F2", 5},
      {"actRefreshExams", "ExamGroup", "Cập nhật lại danh sách bài thi", "F4", 6},
      {"actSelectAllExams", "ExamGroup", "Chọn tất cả bài thi", "Ctrl+Shift+A", 7},
      {"actDeselectAllExams", "ExamGroup", "Bỏ chọn tất cả bài thi", "Ctrl+Shift+D", 8},
      {"actSelectInverseExams", "ExamGroup", "Chọn ↔ Bỏ chọn bài thi", "Ctrl+Shift+I", 9},
      {"actExamConfig", "ExamGroup", "Cấu hình bài thi", "", 10},
      {"actReloadContestants", "ContestantGroup", "Nạp danh sách thí sinh", "F3", 11},
      {"actRefreshContestants", "ContestantGroup", "Cập nhật lại danh sách thí sinh", "F5", 12},
      {"actSelectAll", "ContestantGroup", "Chọn tất cả thí sinh", "Ctrl+A", 13},
      {"actDeselectAll", "ContestantGroup", "Bỏ chọn tất cả thí sinh", "Ctrl+D", 14},
      {"actSelectinverse", "ContestantGroup", "Chọn ↔ Bỏ chọn thí sinh", "Ctrl+I", 15},
      {"actJudge", "JudgerGroup", "Chấm bài", "F9", 16},
      {"actRejudge", "JudgerGroup", "Chấm lại", "", 16},
      {"actOnlineJudge", "JudgerGroup", "Quét thư mục nộp bài trực tuyến", "Ctrl+F9", 17},
      {"actDetails", "JudgerGroup", "Chi tiết chấm", "", 18},
      {"actExportToExcel", "JudgerGroup", "Xuất kết quả ra Excel", "F12", 19},
      {"actCompilerConfig", "JudgerGroup", "Cấu hình bộ dịch", "F6", 20},
      {"actSecurity", "JudgerGroup", "Bảo mật", "F7", 21},
      {"actDeleteMark", "JudgerGroup", "Xóa điểm", "", 22},
      {"actHelp", "HelpGroup", "Hướng dẫn sử dụng", "F1", 23},
      {"actAbout", "HelpGroup", "Thông tin về sản phẩm", "", 24},
      {"actSnapshot", "HelpGroup", "Chụp hình giao diện", "Ctrl+Shift+Q", -1},
      {"actSnapshotForm", "HelpGroup", "Chụp hình cửa sổ", "Ctrl+Alt+Q", -1},
  };
  ASSERT_EQ(std::size(kActions), 29u);
  EXPECT_GE(Form->MainImgList->Count(), 25);
  for (const TRow& row : kActions) {
    QAction* a = Form->Action(row.Name);
    ASSERT_NE(a, nullptr) << row.Name;
    EXPECT_EQ(a->property("Category").toString(), row.Category) << row.Name;
    EXPECT_EQ(a->text(), QString::fromUtf8(row.Caption)) << row.Name;
    EXPECT_EQ(a->shortcut().toString(QKeySequence::PortableText), row.Shortcut) << row.Name;
    EXPECT_EQ(ActionImageIndex(a), row.Image) << row.Name;
  }
  // Off until both folders are chosen.
  for (const char* off : {"actRefreshExams", "actRefreshContestants", "actJudge", "actExportToExcel"})
    EXPECT_FALSE(Form->Action(off)->isEnabled()) << off;

  auto items = [](const QMenu* Menu) {
    std::vector<std::string> names;
    for (const QAction* a : Menu->actions())
      names.push_back(a->isSeparator() ? "-" : a->menu() ? a->menu()->objectName().toStdString()
                                                         : a->objectName().toStdString());
    return names;
  };
  using TNames = std::vector<std::string>;
  const QList<QAction*> menus = Form->menuBar()->actions();
  ASSERT_EQ(menus.size(), 5);
  const char* kTitles[] = {"Kỳ thi", "Bài thi", "Thí sinh", "Chấm bài", "Hướng dẫn"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(menus[i]->text(), QString::fromUtf8(kTitles[i]));
  EXPECT_EQ(items(menus[0]->menu()), (TNames{"actNewContest", "actOpenContest", "actSaveContest", "actSaveAsContest",
                                             "-", "actSettings", "-", "actExit"}));
  EXPECT_EQ(items(menus[1]->menu()), (TNames{"actReloadExams", "actRefreshExams", "-", "actSelectAllExams",
                                             "actDeselectAllExams", "actSelectInverseExams", "-", "miExamConfig"}));
  EXPECT_EQ(items(menus[2]->menu()), (TNames{"actReloadContestants", "actRefreshContestants", "-", "actSelectAll",
                                             "actDeselectAll", "actSelectinverse"}));
  EXPECT_EQ(items(menus[3]->menu()), (TNames{"actJudge", "actOnlineJudge", "actExportToExcel", "-",
                                             "actCompilerConfig", "actSecurity"}));
  EXPECT_EQ(items(menus[4]->menu()), (TNames{"actHelp", "-", "actAbout"}));
  EXPECT_EQ(items(Form->PopMainList), (TNames{"actExamConfig", "actDeleteMark", "actRejudge", "actDetails"}));

  // The selection keys reach their commands while the grid has the focus.
  LoadSmallContest();
  Form->activateWindow();
  QApplication::setActiveWindow(Form.get());
  Form->MainList->setFocus();
  QTest::keyClick(Form->MainList, Qt::Key_D, Qt::ControlModifier);
  for (const char* name : {"AN", "BINH", "CUONG"}) EXPECT_FALSE(C(name)->Enabled) << name;
  QTest::keyClick(Form->MainList, Qt::Key_I, Qt::ControlModifier);
  for (const char* name : {"AN", "BINH", "CUONG"}) EXPECT_TRUE(C(name)->Enabled) << name;
  QTest::keyClick(Form->MainList, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_FALSE(E("BAI1")->Enabled);
  EXPECT_EQ(Header(2), QString::fromUtf8("◯ BAI2"));
  QTest::keyClick(Form->MainList, Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(E("BAI2")->Enabled);
  E("BAI1")->Enabled = false;
  QTest::keyClick(Form->MainList, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(E("BAI1")->Enabled);
  EXPECT_EQ(Header(1), QString::fromUtf8("✓ BAI1"));
  for (const char* name : {"AN", "BINH", "CUONG"}) EXPECT_TRUE(C(name)->Enabled) << name;
}

TEST_F(MainWindow, StartsMaximisedWithColumnsFittedToTheRealSize) {
  Form.reset();
  Form = std::make_unique<TMainForm>();
  EXPECT_TRUE(Form->isMaximized());
  QApplication::processEvents();  // the maximised size arrives
  ASSERT_GT(Form->width(), 640);
  const int w0 = Form->MainList->columnWidth(0), w1 = Form->MainList->columnWidth(1);
  Form->AlignColumns();
  EXPECT_EQ(Form->MainList->columnWidth(0), w0);
  EXPECT_EQ(Form->MainList->columnWidth(1), w1);
  EXPECT_GT(w0 + w1, Form->MainList->viewport()->width() - 40);

  // Restored, the columns fit the normal size; a size the jury drags keeps
  // them as they are.
  Form->showNormal();
  QApplication::processEvents();
  const int normal0 = Form->MainList->columnWidth(0);
  EXPECT_LT(normal0, w0);
  Form->resize(1000, 600);
  QApplication::processEvents();
  EXPECT_EQ(Form->MainList->columnWidth(0), normal0);

  // The smallest window: 640 x 400 below the menu bar.
  Form->resize(100, 100);
  QApplication::processEvents();
  EXPECT_EQ(Form->width(), 640);
  EXPECT_EQ(Form->height() - Form->menuBar()->height(), 400);
  EXPECT_EQ(Form->centralWidget()->height() + Form->statusBar()->height(), 400);
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
  Tree.AddExam("P&Q", {"1"});
  Form->SetExamsDir(Tree.TasksDir());
  Form->SetContestantsDir(Tree.ContestantsDir());
  std::vector<std::string> shown;
  for (int r = 0; r < Form->MainListModel->rowCount(); ++r) shown.push_back(Cell(r, 0).toStdString());
  EXPECT_EQ(shown, (std::vector<std::string>{"%s%n", "100%", "<b>x", "A&B", "עברית"}));
  EXPECT_EQ(Header(1), QString::fromUtf8("✓ P&Q"));
  Form->UpdateMenuItems();
  ASSERT_EQ(Form->miExamConfig->actions().size(), 1);
  // The menu shows the name itself, not "PQ" with Q as an access key.
  EXPECT_EQ(Form->miExamConfig->actions()[0]->iconText(), "P&Q");

  // A contest file whose name holds Qt's title mark shows it too.
  ContestInfo->SetFileName(Tree.Path("a[*]b.contest"));
  Form->UpdateTitle();
  Form->show();
  ASSERT_NE(Form->windowHandle(), nullptr);
  EXPECT_TRUE(Form->windowHandle()->title().endsWith(QString::fromStdString(Tree.Path("a[*]b.contest"))))
      << Form->windowHandle()->title().toStdString();
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

  // A double click on a cell opens the report of that contestant and exam.
  std::vector<std::string> reported;
  test::WhenModal([&reported](QWidget* Dialog) {
    auto* report = dynamic_cast<TReportForm*>(Dialog);
    ASSERT_NE(report, nullptr);
    reported = {std::to_string(report->CList->Count()), report->CList->Get(), std::to_string(report->EList->Count()),
                report->EList->Get()};
    report->reject();
  });
  QTest::mouseClick(Viewport(), Qt::LeftButton, {}, CellPoint(2, 1));
  QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, CellPoint(2, 1));
  EXPECT_EQ(reported, (std::vector<std::string>{"1", "CUONG", "1", "BAI1"}));
  EXPECT_TRUE(C("CUONG")->Enabled);
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
  EXPECT_TRUE(Form->Action("actExamConfig")->isVisible());
  Form->PopMainList->hide();
  test::SaveShot(Form->PopMainList->grab().toImage(), "main-popup");

  // On the total column: no exam, and no exam-settings item.
  emit header->customContextMenuRequested(sectionPoint(3));
  EXPECT_EQ(Form->ActiveE, nullptr);
  EXPECT_FALSE(Form->Action("actExamConfig")->isVisible());
  Form->PopMainList->hide();

  // A right press on a cell.
  QTest::mousePress(Viewport(), Qt::RightButton, {}, CellPoint(1, 1));
  EXPECT_EQ(Form->ActiveC, C("BINH"));
  EXPECT_EQ(Form->ActiveE, E("BAI1"));
  EXPECT_TRUE(Form->PopMainList->isVisible());
  EXPECT_FALSE(Form->Action("actExamConfig")->isVisible());
  Form->PopMainList->hide();
}

// Without a mouse: F10 or a lone Alt puts the focus on the menu bar with
// its first menu marked (and drawn so), Down opens it, Escape goes back;
// the Menu key and Shift+F10 open the grid's popup for the focused cell.
// A new window gives its keys to the grid, so the Menu key works at once.
TEST_F(MainWindow, TheGridHasTheKeysWhenTheWindowComesUp) {
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  EXPECT_EQ(QApplication::focusWidget(), Form->MainList);
}

TEST_F(MainWindow, MenusAndThePopupByKeys) {
  LoadSmallContest();
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  Form->MainList->setFocus();
  auto* bar = dynamic_cast<TMainMenuBar*>(Form->menuBar());
  ASSERT_NE(bar, nullptr);
  QAction* first = bar->actions().value(0);
  const QImage plain = bar->grab().toImage();

  for (const bool f10 : {true, false}) {
    SCOPED_TRACE(f10 ? "F10" : "a lone Alt");
    if (f10) QTest::keyClick(Form->MainList, Qt::Key_F10);
    else QTest::keyClick(Form->MainList, Qt::Key_Alt, Qt::AltModifier);
    EXPECT_TRUE(bar->InKeyboardMode());
    EXPECT_EQ(bar->activeAction(), first);
    EXPECT_EQ(QApplication::focusWidget(), bar);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "marked, not opened";
    const QImage marked = bar->grab().toImage();
    EXPECT_NE(marked, plain) << "the marked menu is drawn as such";
    if (f10) test::SaveShot(marked, "main-menu-bar-by-keys");

    QTest::keyClick(bar, Qt::Key_Down);
    EXPECT_EQ(QApplication::activePopupWidget(), first->menu());
    if (QWidget* popup = QApplication::activePopupWidget()) {
      QTest::keyClick(popup, Qt::Key_Escape);
      EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    }
    EXPECT_TRUE(bar->InKeyboardMode()) << "Escape closes the menu, the bar keeps the focus";
    if (f10) QTest::keyClick(bar, Qt::Key_F10);
    else QTest::keyClick(bar, Qt::Key_Alt, Qt::AltModifier);
    EXPECT_FALSE(bar->InKeyboardMode());
    EXPECT_EQ(QApplication::focusWidget(), Form->MainList) << "the focus goes back where it was";
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  }

  // The Menu key and Shift+F10 on the focused cell: that cell's popup.
  const struct {
    Qt::Key Key;
    Qt::KeyboardModifiers Modifiers;
    int Row, Column;
    const char* Contestant;
    const char* Exam;
  } keys[] = {{Qt::Key_Menu, Qt::NoModifier, 1, 2, "BINH", "BAI2"},
              {Qt::Key_F10, Qt::ShiftModifier, 2, 0, "CUONG", nullptr}};
  for (const auto& k : keys) {
    const QModelIndex cell = Form->MainListModel->index(k.Row, k.Column);
    Form->MainList->setCurrentIndex(cell);
    QTest::keyClick(Form->MainList, k.Key, k.Modifiers);
    EXPECT_TRUE(Form->PopMainList->isVisible()) << k.Contestant;
    EXPECT_EQ(Form->ActiveC, C(k.Contestant));
    EXPECT_EQ(Form->ActiveE, k.Exam ? E(k.Exam) : nullptr);
    EXPECT_FALSE(Form->Action("actExamConfig")->isVisible());
    const QRect at = Form->MainList->visualRect(cell).translated(Viewport()->mapToGlobal(QPoint(0, 0)));
    EXPECT_TRUE(at.contains(Form->PopMainList->geometry().topLeft())) << "opened at the cell";
    // The platform's context-menu request for the same key opens no second one.
    QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(0, 0), Viewport()->mapToGlobal(QPoint(0, 0)));
    QCoreApplication::sendEvent(Form->MainList, &request);
    EXPECT_EQ(Form->ActiveC, C(k.Contestant));
    Form->PopMainList->hide();
  }
  // Alone, the platform's request opens it too; on an empty grid at its corner.
  QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(0, 0), Viewport()->mapToGlobal(QPoint(0, 0)));
  QCoreApplication::sendEvent(Form->MainList, &request);
  EXPECT_TRUE(Form->PopMainList->isVisible());
  Form->PopMainList->hide();
  FMessages->AddAnswer(mrNo);  // the save question of New
  Form->Action("actNewContest")->trigger();
  QTest::keyClick(Form->MainList, Qt::Key_Menu);
  EXPECT_TRUE(Form->PopMainList->isVisible());
  EXPECT_EQ(Form->ActiveC, nullptr);
  EXPECT_EQ(Form->ActiveE, nullptr);
  Form->PopMainList->hide();
}

TEST_F(MainWindow, ScoresStandRightAndTheSelectedRowSpansTheGrid) {
  LoadSmallContest();
  Score("AN", "BAI1", jsJudged, 7.5);
  Score("AN", "BAI2", jsCompileError);
  Form->UpdateAllGUI();
  auto align = [&](int Row, int Column) {
    const QVariant a = Form->MainListModel->data(Form->MainListModel->index(Row, Column), Qt::TextAlignmentRole);
    return Qt::Alignment(a.toInt()) & Qt::AlignHorizontal_Mask;
  };
  // Names read from the left; scores, states and totals line up on the right.
  EXPECT_TRUE(align(0, 0) == Qt::AlignLeft || align(0, 0) == Qt::Alignment());
  for (int column : {1, 2, 3}) EXPECT_EQ(align(0, column), Qt::AlignRight) << column;
  EXPECT_EQ(align(2, 3), Qt::AlignRight);

  // A row selected before an exam set with more exams is loaded stays
  // selected over every column, the new ones included.
  Form->MainList->selectRow(1);
  Tree.AddExam("BAI3", {"T1"});
  Tree.AddExam("BAI4", {"T1"});
  Form->SetExamsDir(Tree.TasksDir());
  ASSERT_EQ(Form->MainListModel->columnCount(), 6);
  QItemSelectionModel* selection = Form->MainList->selectionModel();
  for (int column = 0; column < 6; ++column)
    EXPECT_TRUE(selection->isSelected(Form->MainListModel->index(1, column))) << column;
  EXPECT_EQ(selection->selectedRows().size(), 1);
  Form->MainList->setFocus();
  QApplication::processEvents();
  test::SaveShot(Form.get(), "main-after-larger-exam-set");
  // A smaller set leaves the row whole as well.
  fs::remove_all(Tree.TasksDir() + "/BAI4");
  fs::remove_all(Tree.TasksDir() + "/BAI3");
  fs::remove_all(Tree.TasksDir() + "/BAI2");
  Form->SetExamsDir(Tree.TasksDir());
  ASSERT_EQ(Form->MainListModel->columnCount(), 3);
  EXPECT_EQ(selection->selectedRows().size(), 1);
  EXPECT_TRUE(selection->isRowSelected(1));
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

// Enter (and the keypad's) on the grid does what a double click on the
// focused cell does: the report of that contestant and exam, or of all the
// contestant's exams from the name column.
TEST_F(MainWindow, EnterOpensTheReportOfTheFocusedCell) {
  LoadSmallContest();
  Form->MainList->setFocus();
  const struct {
    Qt::KeyboardModifiers Modifiers;
    int Row, Column;
    std::vector<std::string> Reported;  // contestant count, first, exam count, first
  } keys[] = {{Qt::NoModifier, 1, 2, {"1", "BINH", "1", "BAI2"}},
              {Qt::KeypadModifier, 2, 0, {"1", "CUONG", "2", "BAI1"}}};
  for (const auto& k : keys) {
    SCOPED_TRACE(k.Reported[1]);
    Form->MainList->setCurrentIndex(Form->MainListModel->index(k.Row, k.Column));
    std::vector<std::string> reported;
    test::WhenModal([&reported](QWidget* Dialog) {
      auto* report = dynamic_cast<TReportForm*>(Dialog);
      ASSERT_NE(report, nullptr);
      reported = {std::to_string(report->CList->Count()), report->CList->Get(),
                  std::to_string(report->EList->Count()), report->EList->Get()};
      report->reject();
    });
    QTest::keyClick(Form->MainList, k.Modifiers == Qt::KeypadModifier ? Qt::Key_Enter : Qt::Key_Return, k.Modifiers);
    EXPECT_EQ(reported, k.Reported);
    EXPECT_EQ(Form->ActiveC, C(k.Reported[1]));
  }
}

// The row is highlighted whole, so the cell the arrows, Enter and the Menu
// key act on is framed while the grid has the focus, and only then: a line
// just inside the cell that stands out from the cell's own colour (the
// style's faint focus shading alone was found invisible).
TEST_F(MainWindow, TheFocusedCellIsFramedInsideItsRow) {
  LoadSmallContest();
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  Form->MainList->setFocus();
  auto cellImage = [this](int Row, int Column) {
    const QRect r = Form->MainList->visualRect(Form->MainListModel->index(Row, Column));
    return Viewport()->grab(r).toImage();
  };
  // How far the grey level two pixels inside the cell's left edge stands
  // from the cell's middle.
  auto frameContrast = [&](int Row, int Column) {
    const QImage cell = cellImage(Row, Column);
    const int y = cell.height() / 2;
    return std::abs(qGray(cell.pixel(2, y)) - qGray(cell.pixel(cell.width() / 2, y)));
  };
  constexpr int kVisible = 80;
  for (const bool selected : {true, false}) {
    SCOPED_TRACE(selected ? "selected row" : "row not selected");
    const int row = selected ? 1 : 2;
    Form->MainList->setCurrentIndex(Form->MainListModel->index(row, 2));
    if (!selected) Form->MainList->clearSelection();
    ASSERT_EQ(Form->MainList->selectionModel()->isRowSelected(row), selected);
    EXPECT_GE(frameContrast(row, 2), kVisible);
    EXPECT_LT(frameContrast(row, 1), kVisible);
    QTest::keyClick(Form->MainList, Qt::Key_Left);
    ASSERT_EQ(Form->MainList->currentIndex().column(), 1);
    EXPECT_GE(frameContrast(row, 1), kVisible) << "the frame follows the arrow keys";
    EXPECT_LT(frameContrast(row, 2), kVisible);
  }
  Form->MainList->setCurrentIndex(Form->MainListModel->index(1, 2));
  QApplication::processEvents();
  test::SaveShot(Form.get(), "main-focused-cell");
  Form->WorkSpace->tabBar()->setFocus();
  ASSERT_FALSE(Form->MainList->hasFocus());
  EXPECT_LT(frameContrast(1, 2), kVisible) << "no frame without the focus";
  EXPECT_EQ(cellImage(1, 2), cellImage(1, 1));
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

// --- toolbar fitting ------------------------------------------------------------------

// The toolbar's buttons in slot order with their actions' names.
std::vector<std::string> ToolActions(const TMainForm& Form) {
  std::vector<std::string> names;
  for (const TToolRec& slot : Form.Btns()) names.push_back(slot.btn ? slot.btn->Action()->objectName().toStdString() : "-");
  return names;
}

TEST_F(MainWindow, ToolbarSlotsAndPriorities) {
  EXPECT_EQ(ToolActions(*Form),
            (std::vector<std::string>{"actReloadExams", "actReloadContestants", "actRefreshExams",
                                      "actRefreshContestants", "-", "actNewContest", "actOpenContest",
                                      "actSaveContest", "-", "actJudge", "actOnlineJudge", "actExportToExcel", "-",
                                      "-", "actCompilerConfig", "actSecurity", "actSettings", "actHelp"}));
  std::vector<std::intptr_t> priorities;
  for (const TToolRec& slot : Form->Btns()) priorities.push_back(slot.priority);
  EXPECT_EQ(priorities, (std::vector<std::intptr_t>{1, 2, 13, 5, 0, 6, 7, 8, 0, 3, 12, 4, 0, 0, 9, 11, 10, 0}));
  // A button's hint is its action's caption.
  EXPECT_EQ(Form->Btns()[9].btn->toolTip(), QString::fromUtf8("Chấm bài"));
}

TEST_F(MainWindow, ToolbarFitsTheWidthByPriority) {
  TVQR_Panel* panel = Form->ControlPanel;
  const TRect inside0 = panel->GetInsideRect();
  const int frame = panel->width() - (inside0.Right - inside0.Left);  // both sides
  auto fit = [&](int W) {
    panel->resize(W + frame, panel->height());
    QApplication::processEvents();
  };
  auto visibleLefts = [&] {
    std::vector<int> lefts;
    for (const TToolRec& slot : Form->Btns())
      if (slot.btn) lefts.push_back(slot.btn->isHidden() ? -1 : slot.btn->x());
    return lefts;  // the 14 buttons in slot order, -1 when hidden
  };
  const int inset = inside0.Left;
  struct Case {
    int W;
    std::vector<int> Lefts;  // without the help button
  };
  const Case cases[] = {
      {900, {6, 62, 118, 174, 238, 294, 350, 414, 470, 526, 590, 646, 702}},
      {814, {6, 62, 118, 174, 238, 294, 350, 414, 470, 526, 590, 646, 702}},
      {813, {6, 62, -1, 118, 182, 238, 294, 358, 414, 470, 534, 590, 646}},
      {757, {6, 62, -1, 118, 182, 238, 294, 358, -1, 414, 478, 534, 590}},
      {400, {6, 62, -1, 118, -1, -1, -1, 182, -1, 238, -1, -1, -1}},  // threshold 5, help counted
      {126, {6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
      {125, {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},  // help alone from here down
      {62, {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
  };
  for (const Case& c : cases) {
    fit(c.W);
    std::vector<int> lefts = visibleLefts();
    const int help = lefts.back();
    lefts.pop_back();
    EXPECT_EQ(lefts, c.Lefts) << "W=" << c.W;
    EXPECT_EQ(help, inset + c.W - 56) << "W=" << c.W;
  }
  fit(61);
  EXPECT_TRUE(Form->Btns().back().btn->isHidden());

  // The hide order as the toolbar narrows: refresh exams first, help last.
  std::vector<std::string> order;
  std::vector<bool> was(18, true);
  for (int W = 900; W >= 40; --W) {
    fit(W);
    for (std::size_t i = 0; i < Form->Btns().size(); ++i) {
      TSmartToolBtn* btn = Form->Btns()[i].btn;
      if (!btn) continue;
      if (was[i] && btn->isHidden()) order.push_back(btn->Action()->objectName().toStdString());
      was[i] = !btn->isHidden();
    }
  }
  EXPECT_EQ(order, (std::vector<std::string>{"actRefreshExams", "actOnlineJudge", "actSecurity", "actSettings",
                                             "actCompilerConfig", "actSaveContest", "actOpenContest",
                                             "actNewContest", "actRefreshContestants", "actExportToExcel",
                                             "actJudge", "actReloadContestants", "actReloadExams", "actHelp"}));
}

TEST_F(MainWindow, HiddenToolbarIsLeftAloneAndRefittedWhenShown) {
  Form->resize(1200, 600);
  QApplication::processEvents();
  Form->ControlPanel->hide();
  Form->resize(700, 600);
  QApplication::processEvents();
  Form->ControlPanel->resize(500, 68);
  EXPECT_FALSE(Form->Btns()[2].btn->isHidden());  // laid out for 1200, untouched
  Form->ControlPanel->show();
  QApplication::processEvents();
  EXPECT_TRUE(Form->Btns()[2].btn->isHidden());
  const TRect inside = Form->ControlPanel->GetInsideRect();
  EXPECT_EQ(Form->Btns().back().btn->x(), inside.Right - 56);
  test::SaveShot(Form.get(), "main-narrow-toolbar");
}

// --- the enabling rule, title and help ---------------------------------------------------

TEST_F(MainWindow, CommandsFollowTheLoadedFolders) {
  auto enabled = [&](std::initializer_list<const char*> Names) {
    std::string states;
    for (const char* n : Names) states += Form->Action(n)->isEnabled() ? '1' : '0';
    return states;
  };
  const auto judging = {"actJudge", "actRejudge", "actDeleteMark", "actDetails", "actExportToExcel",
                        "actOnlineJudge", "actRefreshExams", "actRefreshContestants"};
  EXPECT_EQ(enabled(judging), "00000000");
  EXPECT_TRUE(Form->Action("actReloadExams")->isEnabled());
  EXPECT_TRUE(Form->Action("actExamConfig")->isEnabled());

  Tree.AddExam("BAI1", {"1"});
  Form->SetExamsDir(Tree.TasksDir());
  EXPECT_EQ(enabled(judging), "00000010");
  Tree.AddContestant("AN");
  Form->SetContestantsDir(Tree.ContestantsDir());
  EXPECT_EQ(enabled(judging), "11111011");

  EnvConfig->SubmitDir = Tree.Path("Submit");
  Form->SetContestantsDir(Tree.ContestantsDir());
  EXPECT_EQ(enabled(judging), "11111111");

  Form->SetExamsDir(Tree.Path("missing"));  // no folder: an empty exam set
  EXPECT_EQ(enabled(judging), "00000001");
  EXPECT_EQ(Form->MainListModel->columnCount(), 2);
  FMessages->AddAnswer(mrNo);  // the contest changed: not saved
  Form->Action("actNewContest")->trigger();
  EXPECT_EQ(enabled(judging), "00000000");
  EXPECT_EQ(Form->MainListModel->rowCount(), 0);
}

TEST_F(MainWindow, FoldersMarkTheContestChangedAndExamsDropScores) {
  LoadSmallContest();
  EXPECT_TRUE(Form->ContestChanged);
  EXPECT_EQ(EnvConfig->LastExamDir, Tree.TasksDir());
  EXPECT_EQ(EnvConfig->LastContestantDir, Tree.ContestantsDir());
  Score("AN", "BAI1", jsJudged, 2);
  Form->SetExamsDir(Tree.TasksDir());
  EXPECT_EQ(C("AN")->Count(), 0);
  EXPECT_EQ(C("AN")->Evaluation, 0);

  // Selection commands change no saved state.
  Form->ContestChanged = false;
  Form->Action("actDeselectAll")->trigger();
  Form->Action("actSelectInverseExams")->trigger();
  EXPECT_FALSE(C("AN")->Enabled);
  EXPECT_FALSE(E("BAI1")->Enabled);
  EXPECT_EQ(Header(1), QString::fromUtf8("◯ BAI1"));
  EXPECT_FALSE(Form->ContestChanged);

  // A refresh keeps the known contestants and finds new ones.
  Tree.AddContestant("DUNG");
  Form->Action("actRefreshContestants")->trigger();
  EXPECT_EQ(Form->MainListModel->rowCount(), 4);
  EXPECT_FALSE(C("AN")->Enabled);
  EXPECT_TRUE(Form->ContestChanged);
}

TEST_F(MainWindow, ExamRefreshDropsVanishedResultsAndTheirTotals) {
  LoadSmallContest();
  Score("AN", "BAI1", jsJudged, 2);
  Score("AN", "BAI2", jsJudged, 3);
  fs::remove_all(Tree.TasksDir() + "/BAI2");
  Form->Action("actRefreshExams")->trigger();
  EXPECT_EQ(Form->MainListModel->columnCount(), 3);
  EXPECT_EQ(Cell(0, 2), "2.00");
  EXPECT_EQ(C("AN")->Evaluation, 2);
}

// A damaged exam no longer takes the exams folder with it: the folder, the
// commands and the submission watch stay, and the jury is told. A tasks
// folder gone as a whole (an unpacked contest cleaned away) changes nothing
// on a refresh.
TEST_F(MainWindow, ARefreshThatMeetsDamageKeepsTheFolderAndJudging) {
  auto enabled = [&] {
    std::string states;
    for (const char* n : {"actJudge", "actOnlineJudge", "actRefreshExams", "actRefreshContestants"})
      states += Form->Action(n)->isEnabled() ? '1' : '0';
    return states;
  };
  EnvConfig->SubmitDir = Tree.Path("Submit");
  fs::create_directories(EnvConfig->SubmitDir);
  LoadSmallContest();
  ASSERT_EQ(enabled(), "1111");
  Score("AN", "BAI2", jsJudged, 4);

  std::ofstream(Tree.TasksDir() + "/BAI2/Settings.cfg") << "not compressed XML";
  FMessages->AddAnswer(mrOk);
  Form->Action("actRefreshExams")->trigger();
  EXPECT_EQ(ContestInfo->ExamSet().KeyExport(), (std::vector<std::string>{"BAI1", "BAI2"}));
  EXPECT_EQ(C("AN")->Evaluation, 4);
  EXPECT_EQ(enabled(), "1111");
  ASSERT_EQ(FMessages->Requests().size(), 1u);
  EXPECT_EQ(FMessages->Requests()[0].DlgType, mtWarning);
  EXPECT_NE(FMessages->Requests()[0].Msg.find("Bài thi \"BAI2\": không đọc được file Settings.cfg"),
            std::string::npos);

  // Choosing that folder again loads both exams and says so once more.
  FMessages->AddAnswer(mrOk);
  Form->SetExamsDir(Tree.TasksDir());
  EXPECT_EQ(ContestInfo->ExamSet().Count(), 2);
  EXPECT_EQ(EnvConfig->LastExamDir, Tree.TasksDir());
  EXPECT_EQ(FMessages->Requests().size(), 2u);
  EXPECT_EQ(enabled(), "1111");

  // Mended, the folder loads without a word.
  fs::remove(Tree.TasksDir() + "/BAI2/Settings.cfg");
  Form->SetExamsDir(Tree.TasksDir());
  EXPECT_EQ(FMessages->Requests().size(), 2u);

  // A contestant folder whose name cannot be judged, on F5.
  Tree.AddContestant("Nguy\xEAn");
  FMessages->AddAnswer(mrOk);
  Form->Action("actRefreshContestants")->trigger();
  EXPECT_EQ(Form->MainListModel->rowCount(), 3);
  ASSERT_EQ(FMessages->Requests().size(), 3u);
  EXPECT_NE(FMessages->Requests()[2].Msg.find("Bỏ qua thư mục thí sinh \"Nguy\\xEAn\""), std::string::npos);

  // The whole tasks folder gone: the exams and every result stay.
  Score("AN", "BAI1", jsJudged, 2);
  fs::rename(Tree.TasksDir(), Tree.Path("away"));
  FMessages->AddAnswer(mrOk);
  Form->Action("actRefreshExams")->trigger();
  EXPECT_EQ(ContestInfo->ExamSet().Count(), 2);
  EXPECT_EQ(C("AN")->Evaluation, 2);
  ASSERT_EQ(FMessages->Requests().size(), 4u);
  EXPECT_EQ(FMessages->Requests()[3].Msg.rfind("Cập nhật lại danh sách bài thi", 0), 0u);
  EXPECT_NE(FMessages->Requests()[3].Msg.find("giữ như trước"), std::string::npos);
}

TEST_F(MainWindow, HelpOpensAtTheTopicBesideTheProgram) {
  const fs::path page = fs::path(MyDirD) / "~Documentation" / "velkor.html";
  ASSERT_TRUE(fs::exists(page)) << page;
  std::ifstream in(page);
  const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const char* anchor : {"TaskConfig", "CompilerConfig", "Security", "MakeContest", "Online", "Guarantees"})
    EXPECT_NE(html.find(std::string("name=\"") + anchor + "\""), std::string::npos) << anchor;

  MainFormLink::ShowHelp("CompilerConfig");
  EXPECT_EQ(Form->WorkSpace->currentWidget(), Form->tabHelp);
  EXPECT_EQ(Form->WebBrowser1->source().fragment(), "CompilerConfig");
  EXPECT_EQ(Form->WebBrowser1->source().toLocalFile().toStdString(), page.string());
  EXPECT_TRUE(Form->WebBrowser1->toPlainText().contains(QString::fromUtf8("Cấu hình bộ dịch")));
  test::SaveShot(Form.get(), "main-help");
  for (const char* topic : {"MakeContest", "Online", "Guarantees"}) {
    MainFormLink::ShowHelp(topic);
    test::SaveShot(Form.get(), std::string("main-help-") + topic);
  }

  MainFormLink::ShowGridPage();
  EXPECT_EQ(Form->WorkSpace->currentWidget(), Form->tabSummary);
  Form->Action("actHelp")->trigger();
  EXPECT_EQ(Form->WorkSpace->currentWidget(), Form->tabHelp);
}

// --- hints and drops ------------------------------------------------------------------------

TEST_F(MainWindow, HintsNameWhatADropOnTheColumnDoes) {
  LoadSmallContest();
  const int w0 = Form->MainList->columnWidth(0);
  EXPECT_EQ(Form->MainListHint({1, 5}).toStdString(),
            "Nạp nhanh danh sách thí sinh:\r\nKéo thư mục chứa các bài làm của thí sinh thả vào cột này");
  EXPECT_EQ(Form->MainListHint({w0 - 1, 300}), Form->MainListHint({1, 5}));
  EXPECT_EQ(Form->MainListHint({w0 + 1, 5}).toStdString(),
            "Nạp nhanh danh sách bài thi\r\nKéo thư mục chứa các bài thi thả vào cột này");

  // A toolbar button's tip shows below the button.
  TSmartToolBtn* judge = Form->Btns()[9].btn;
  QHelpEvent help(QEvent::ToolTip, QPoint(10, 10), judge->mapToGlobal(QPoint(10, 10)));
  QApplication::sendEvent(judge, &help);
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(), QString::fromUtf8("Chấm bài"));
  QToolTip::hideText();
}

class MainWindowDrops : public MainWindow {
 protected:
  void Drop(const std::string& Path, int X) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(Path))});
    // A drop reaches the widget that took the drag's entry.
    QDragEnterEvent enter(QPoint(X, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Viewport(), &enter);
    QDropEvent drop(QPointF(X, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    // The drop is acted on after the drag has finished, never inside it.
    EXPECT_EQ(FMessages->Requests().size(), FAsked) << "a question inside the drop";
    QApplication::processEvents();
    FAsked = FMessages->Requests().size();
  }
  std::size_t FAsked = 0;
  void WriteFile(const std::string& Path, const std::string& Text, fs::perms Perms = fs::perms::owner_read |
                                                                                 fs::perms::owner_write) {
    std::ofstream(Path) << Text;
    fs::permissions(Path, Perms);
  }
  test::TRecordingOpener Opener;
};

TEST_F(MainWindowDrops, FoldersByColumnAndFilesByKind) {
  Tree.AddExam("BAI1", {"1"});
  Tree.AddContestant("AN");
  Drop(Tree.ContestantsDir(), 3);
  EXPECT_EQ(ContestInfo->ResultSet().Dir(), Tree.ContestantsDir() + "/");
  EXPECT_EQ(ContestInfo->ExamSet().Dir(), "");
  // The contestants' names widened the first column.
  const int w0 = Form->MainList->columnWidth(0);
  Drop(Tree.TasksDir(), w0 + 3);  // the total column of an exam-less grid
  EXPECT_EQ(ContestInfo->ExamSet().Dir(), Tree.TasksDir() + "/");

  const std::string text = Tree.Path("notes.txt"), program = Tree.Path("a.out"), zip = Tree.Path("OLD.ZIP");
  WriteFile(text, "hello");
  WriteFile(program, "#!/bin/sh\n", fs::perms::owner_all);
  WriteFile(zip, "not an archive");
  Drop(text, 3);
  Drop(program, 3);  // never started from a drop
  EXPECT_EQ(Opener.Opened, std::vector<std::string>{text});

  // "X.ZIP" is read as a contest: this one is not, so it is reported and
  // the contest is empty.
  Form->ContestChanged = false;
  FMessages->AddAnswer(mrOk);
  Drop(zip, w0 + 3);
  ASSERT_EQ(FMessages->Requests().size(), 1u);
  EXPECT_EQ(FMessages->Requests()[0].Msg.rfind("Không mở được kỳ thi: " + zip, 0), 0u);
  EXPECT_EQ(ContestInfo->ExamSet().Dir(), "");
  EXPECT_EQ(Form->windowTitle(), QString::fromUtf8("Βέλκο - Chương trình chấm bài tự động"));

  // Nothing for what is gone or is neither a file nor a folder.
  Drop(Tree.Path("gone"), 3);
  const std::string fifo = Tree.Path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Drop(fifo, 3);
  EXPECT_EQ(Opener.Opened.size(), 1u);
  EXPECT_EQ(FMessages->Requests().size(), 1u);
  EXPECT_EQ(ContestInfo->ResultSet().Dir(), "");
}

// --- other commands ---------------------------------------------------------------------------

TEST_F(MainWindow, DeleteMarksAsksBeforeClearingMoreThanOne) {
  LoadSmallContest();
  for (const char* c : {"AN", "BINH"})
    for (const char* e : {"BAI1", "BAI2"}) Score(c, e, jsJudged, 1);
  Form->UpdateItemList();

  // One cell: no question.
  Form->ActiveC = C("AN");
  Form->ActiveE = E("BAI1");
  Form->ContestChanged = false;
  Form->Action("actDeleteMark")->trigger();
  EXPECT_EQ(C("AN")->Count(), 1);
  EXPECT_EQ(C("AN")->Evaluation, 1);
  EXPECT_EQ(Cell(0, 3), "1.00");
  EXPECT_TRUE(Form->ContestChanged);
  EXPECT_TRUE(FMessages->Requests().empty());

  // A whole column: asked; No keeps everything.
  Form->ActiveC = nullptr;
  Form->ActiveE = E("BAI2");
  Form->ContestChanged = false;
  FMessages->AddAnswer(mrNo);
  Form->Action("actDeleteMark")->trigger();
  ASSERT_EQ(FMessages->Requests().size(), 1u);
  EXPECT_EQ(FMessages->Requests()[0].Msg, "Bạn có chắc chắn muốn xóa điểm không?");
  EXPECT_EQ(FMessages->Requests()[0].Buttons, (TMsgDlgButtons{mbYes, mbNo}));
  EXPECT_EQ(C("BINH")->Count(), 2);
  EXPECT_FALSE(Form->ContestChanged);
  FMessages->AddAnswer(mrYes);
  Form->Action("actDeleteMark")->trigger();
  EXPECT_EQ(C("AN")->Count(), 0);
  EXPECT_EQ(C("BINH")->Count(), 1);
  EXPECT_EQ(C("BINH")->Evaluation, 1);

  // A row: every result of that contestant.
  Score("BINH", "BAI2", jsJudged, 1);
  Form->ActiveC = C("BINH");
  Form->ActiveE = nullptr;
  FMessages->AddAnswer(mrYes);
  Form->Action("actDeleteMark")->trigger();
  EXPECT_EQ(C("BINH")->Count(), 0);
  EXPECT_EQ(Cell(1, 3), "0.00");
  EXPECT_EQ(Form->MainList->selectionModel()->selectedRows().value(0).row(), 1);
}

TEST_F(MainWindow, ExamSettingsStepThroughTheExamsAndWrapAround) {
  LoadSmallContest();
  for (const char* c : {"AN", "BINH"})
    for (const char* e : {"BAI1", "BAI2"}) Score(c, e, jsJudged, 1);
  EnvConfig->ExamEditAction = eeaAsk;
  Form->ContestChanged = false;

  // The dialogs in turn: the button pressed in each. The next dialog is
  // awaited before this one closes.
  const std::vector<std::string> buttons = {"next", "prev", "next", "ok"};
  auto answer = std::make_shared<std::function<void(std::size_t)>>();
  *answer = [this, &buttons, answer](std::size_t I) {
    test::WhenModal([this, &buttons, answer, I](QWidget* Dialog) {
      auto* form = dynamic_cast<TExamEditForm*>(Dialog);
      ASSERT_NE(form, nullptr);
      if (I + 1 < buttons.size()) (*answer)(I + 1);
      if (buttons[I] == "next") form->btnNext->click();
      else if (buttons[I] == "prev") form->btnPrev->click();
      else {
        Score("AN", "BAI1", jsJudged, 1);  // cleared without a question now
        form->btnOK->click();
      }
    });
  };
  (*answer)(0);
  FMessages->AddAnswer(mrNo);        // BAI2: kept
  FMessages->AddAnswer(mrYes);       // BAI1: cleared
  FMessages->AddAnswer(mrYesToAll);  // BAI2: cleared, and from now on without asking
  Form->ActiveC = nullptr;
  Form->ActiveE = E("BAI2");  // the last exam: "next" wraps to the first
  Form->Action("actExamConfig")->trigger();
  *answer = nullptr;

  std::vector<std::string> asked;
  for (const auto& request : FMessages->Requests()) {
    asked.push_back(request.Msg);
    EXPECT_EQ(request.Buttons, (TMsgDlgButtons{mbYes, mbNo, mbNoToAll, mbYesToAll}));
  }
  auto question = [](const std::string& Exam) {
    return "Cấu hình bài thi " + Exam + " vừa được cập nhật.\r\nBạn có muốn xóa kết quả đã chấm với bài này?";
  };
  EXPECT_EQ(asked, (std::vector<std::string>{question("BAI2"), question("BAI1"), question("BAI2")}));
  EXPECT_EQ(EnvConfig->ExamEditAction, eeaClean);
  for (const char* c : {"AN", "BINH"}) {
    EXPECT_EQ(C(c)->Count(), 0) << c;
    EXPECT_EQ(C(c)->Evaluation, 0) << c;
  }
  EXPECT_EQ(Cell(0, 3), "0.00");
  EXPECT_TRUE(Form->ContestChanged);

  // Cancel changes nothing and asks nothing.
  Score("AN", "BAI1", jsJudged, 1);
  Form->ContestChanged = false;
  Form->ActiveE = E("BAI1");
  test::WhenModal([](QWidget* Dialog) {
    auto* form = dynamic_cast<TExamEditForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    form->btnCancel->click();
  });
  Form->Action("actExamConfig")->trigger();
  EXPECT_EQ(C("AN")->Evaluation, 1);
  EXPECT_FALSE(Form->ContestChanged);
  EXPECT_EQ(FMessages->Requests().size(), 3u);
}

TEST_F(MainWindow, JudgingNothingStillShowsTheGridAndMarksTheContest) {
  LoadSmallContest();
  Form->Action("actDeselectAllExams")->trigger();
  Form->ContestChanged = false;
  Form->WorkSpace->setCurrentWidget(Form->tabHelp);
  Form->TimerScroll->start();
  Form->ScrollIdleCount = 1;
  Form->Action("actJudge")->trigger();  // an empty queue: the judging window opens and closes
  EXPECT_EQ(Form->WorkSpace->currentWidget(), Form->tabSummary);
  EXPECT_TRUE(Form->ContestChanged);
  EXPECT_TRUE(Form->TimerScroll->isActive());
  EXPECT_EQ(Form->ScrollIdleCount, 0);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  for (const char* name : {"AN", "BINH", "CUONG"}) EXPECT_EQ(C(name)->Count(), 0) << name;
  Form->TimerScroll->stop();
}

TEST_F(MainWindow, SettingsTurnOnlineJudgingAndTheToolbarOnAndOff) {
  LoadSmallContest();
  Score("AN", "BAI1", jsJudged, 2);
  ASSERT_FALSE(Form->Action("actOnlineJudge")->isEnabled());
  ASSERT_TRUE(Form->ControlPanel->isVisible());
  const std::string submit = Tree.Path("Submit");
  fs::create_directories(submit);
  Form->ContestChanged = false;

  auto settings = [&](const std::string& Submit, const char* Format, bool ToolBar) {
    test::WhenModal([&](QWidget* Dialog) {
      auto* form = dynamic_cast<TSettingsForm*>(Dialog);
      ASSERT_NE(form, nullptr);
      form->edtSubmitFolder->SetValue(QString::fromStdString(Submit));
      form->edtNumberFormat->setText(QString::fromUtf8(Format));
      if (form->checkToolBar->isChecked() != ToolBar) form->checkToolBar->click();
      form->btnOK->click();
    });
    Form->Action("actSettings")->trigger();
  };
  settings(submit, "%.1f", false);
  EXPECT_TRUE(Form->Action("actOnlineJudge")->isEnabled());
  EXPECT_FALSE(Form->ControlPanel->isVisible());
  EXPECT_EQ(Cell(0, 1), QString::fromUtf8("✓ 2.0"));
  EXPECT_FALSE(Form->ContestChanged);

  settings("", "%.2f", true);
  EXPECT_FALSE(Form->Action("actOnlineJudge")->isEnabled());
  EXPECT_TRUE(Form->ControlPanel->isVisible());
  EXPECT_EQ(Cell(0, 1), QString::fromUtf8("✓ 2.00"));
  EXPECT_TRUE(FMessages->Requests().empty());
}

// A submission folder that is not there: the settings ask about it, and
// Ctrl+F9 says why it scans nothing until the folder exists.
TEST_F(MainWindow, ScanningAMissingSubmissionFolderIsTold) {
  LoadSmallContest();
  const std::string submit = Tree.Path("Submit");
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TSettingsForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    form->edtSubmitFolder->SetValue(QString::fromStdString(submit));
    form->btnOK->click();
  });
  FMessages->AddAnswer(mrYes);  // keep it
  Form->Action("actSettings")->trigger();
  ASSERT_EQ(FMessages->Requests().size(), 1u);
  EXPECT_EQ(FMessages->Requests()[0].DlgType, mtConfirmation);
  ASSERT_EQ(EnvConfig->SubmitDir, submit);
  ASSERT_TRUE(Form->Action("actOnlineJudge")->isEnabled());

  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  FMessages->AddAnswer(mrOk);
  QTest::keyClick(Form->MainList, Qt::Key_F9, Qt::ControlModifier);
  ASSERT_EQ(FMessages->Requests().size(), 2u);
  const TMsgDlgRequest told = FMessages->Requests()[1];
  EXPECT_EQ(told.DlgType, mtError);
  EXPECT_EQ(told.Msg, "Không tìm thấy thư mục nộp bài trực tuyến \"" + submit +
                          "\". Hãy tạo thư mục này, hoặc chọn thư mục khác trong \"Thiết lập môi trường\" (F11).");

  // Once it exists, a scan of an empty folder has nothing to say.
  fs::create_directories(submit);
  QTest::keyClick(Form->MainList, Qt::Key_F9, Qt::ControlModifier);
  EXPECT_EQ(FMessages->Requests().size(), 2u);
}

// Folders another Velkor holds, chosen in the settings: the jury hears of
// each at once, the submission folder once only, and this window neither
// watches nor judges that folder until it is free.
TEST_F(MainWindow, FoldersAnotherCopyHoldsAreToldWhenChosen) {
  LoadSmallContest();
  const std::string submit = Tree.Path("Submit"), house = Tree.Path("House");
  fs::create_directories(submit);
  fs::create_directories(house);
  platform::TFileLock otherSubmit, otherHouse;
  ASSERT_EQ(otherSubmit.Take(submit + "/" + kSubmissionFolderLockName), platform::TFileLock::flAcquired);
  ASSERT_EQ(otherHouse.Take(house + "/" + kWorkFolderLockName), platform::TFileLock::flAcquired);
  const std::string previousHouse = EnvConfig->ContestHouse;

  auto settings = [&] {
    test::WhenModal([&](QWidget* Dialog) {
      auto* form = dynamic_cast<TSettingsForm*>(Dialog);
      ASSERT_NE(form, nullptr);
      form->edtSubmitFolder->SetValue(QString::fromStdString(submit));
      form->edtContestHouse->SetValue(QString::fromStdString(house));
      form->btnOK->click();
    });
    Form->Action("actSettings")->trigger();
  };
  FMessages->AddAnswer(mrOk);
  FMessages->AddAnswer(mrOk);
  settings();
  EXPECT_FALSE(Form->Action("actOnlineJudge")->isEnabled());
  std::vector<TMsgDlgRequest> told = FMessages->Requests();
  ASSERT_EQ(told.size(), 2u);
  EXPECT_NE(told[0].Msg.find("thư mục làm việc trong thư mục \"" + house + "\""), std::string::npos) << told[0].Msg;
  EXPECT_NE(told[1].Msg.find("thư mục nộp bài \"" + submit + "\""), std::string::npos) << told[1].Msg;

  otherHouse.Release();
  settings();  // the same folders again: the submission folder is not told twice
  EXPECT_FALSE(Form->Action("actOnlineJudge")->isEnabled());
  EXPECT_EQ(FMessages->Requests().size(), 2u);

  otherSubmit.Release();
  settings();
  EXPECT_TRUE(Form->Action("actOnlineJudge")->isEnabled());
  EXPECT_EQ(FMessages->Requests().size(), 2u);
  EnvConfig->SubmitDir.clear();
  EnvConfig->ContestHouse = previousHouse;
}

TEST_F(MainWindow, NewAsksToSaveAndAFailedSaveKeepsTheContest) {
  LoadSmallContest();
  ASSERT_TRUE(Form->ContestChanged);

  // Yes, then the save dialog cancelled: the contest stays.
  FMessages->AddAnswer(mrYes);
  test::WhenModal([](QWidget* Dialog) {
    auto* dialog = qobject_cast<QFileDialog*>(Dialog);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->objectName(), "sdContest");
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Ghi kỳ thi"));
    EXPECT_EQ(dialog->defaultSuffix(), "contest");
    EXPECT_EQ(dialog->nameFilters(), (QStringList{QString::fromUtf8("Kỳ thi (*.contest)"),
                                                  QString::fromUtf8("Tất cả (*)")}));
    dialog->reject();
  });
  Form->Action("actNewContest")->trigger();
  ASSERT_EQ(FMessages->Requests().size(), 1u);
  EXPECT_EQ(FMessages->Requests()[0].Msg, "Bạn có muốn ghi lại kỳ thi hiện tại không?");
  EXPECT_EQ(FMessages->Requests()[0].Buttons, (TMsgDlgButtons{mbYes, mbNo}));
  EXPECT_TRUE(Form->UserAbort);
  EXPECT_TRUE(Form->ContestChanged);
  EXPECT_EQ(Form->MainListModel->rowCount(), 3);

  // A file that cannot be written is reported, and the contest stays
  // changed under its file name.
  const std::string blocker = Tree.Path("blocker");
  std::ofstream(blocker) << "a file where a folder should be";
  const std::string file = blocker + "/thi.contest";
  ContestInfo->SetFileName(file);
  FMessages->AddAnswer(mrOk);
  Form->Action("actSaveContest")->trigger();
  ASSERT_EQ(FMessages->Requests().size(), 2u);
  EXPECT_EQ(FMessages->Requests()[1].Msg.rfind("Không ghi được kỳ thi: " + file, 0), 0u);
  EXPECT_EQ(FMessages->Requests()[1].DlgType, mtError);
  EXPECT_TRUE(Form->UserAbort);
  EXPECT_TRUE(Form->ContestChanged);
  EXPECT_EQ(ContestInfo->FileName(), file);

  // Save As offers the current file's name, in its folder.
  const std::string current = Tree.Path("Thi thử.contest");
  ContestInfo->SetFileName(current);
  QString offered;
  test::WhenModal([&](QWidget* Dialog) {
    auto* dialog = qobject_cast<QFileDialog*>(Dialog);
    ASSERT_NE(dialog, nullptr);
    offered = dialog->selectedFiles().value(0);
    dialog->reject();
  });
  Form->Action("actSaveAsContest")->trigger();
  EXPECT_EQ(fs::path(offered.toStdString()), fs::path(current));
  EXPECT_EQ(ContestInfo->FileName(), current);

  // No: a new contest, still marked changed so that closing asks again.
  FMessages->AddAnswer(mrNo);
  Form->Action("actNewContest")->trigger();
  EXPECT_EQ(Form->MainListModel->rowCount(), 0);
  EXPECT_TRUE(Form->ContestChanged);
  EXPECT_EQ(Form->windowTitle(), QString::fromUtf8("Βέλκο - Chương trình chấm bài tự động"));
}

// The tester's contest: twenty contestants judged in three exams, saved.
// Returns the archive.
std::string SaveJudgedContest(TContestTree& Tree, TMainForm& Form) {
  for (const char* exam : {"BAI1", "BAI2", "BAI3"}) {
    for (const char* test : {"T1", "T2"})
      Tree.AddTest(exam, test, {{"in.txt", "1 2\n"}, {std::string(exam) + ".OUT", "3\n"}});
    Tree.WriteExamSettings(exam, std::string(R"(<ExamInformation Name=")") + exam +
                                     R"(" InputFile="in.txt" Mark="2" TimeLimit="3"/>)");
  }
  for (int i = 1; i <= 20; ++i) Tree.AddContestant("TS" + std::to_string(100 + i));
  Form.SetExamsDir(Tree.TasksDir());
  Form.SetContestantsDir(Tree.ContestantsDir());
  for (TResultC* c : ContestInfo->ResultSet()) {
    for (const TExamInfo* e : ContestInfo->ExamSet()) {
      TResultE* r = c->ObjF(e->Name());
      r->state = jsJudged;
      r->Evaluation = 1.5;
    }
    c->UpdateScore();
  }
  const std::string file = Tree.Path("thi.contest");
  EXPECT_TRUE(ContestInfo->FileSave(file)) << ContestInfo->ErrorMsg();
  return file;
}

// A shortcut reaches the window only while it is active; a modal dialog
// just closed may have left another one active.
void PressKey(TMainForm& Form, Qt::Key Key, Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
  Form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
  QTest::keyClick(Form.MainList, Key, Modifiers);
}

int JudgedResults() {
  int n = 0;
  for (const TResultC* c : ContestInfo->ResultSet())
    for (const TResultE* e : *c) n += e->state == jsJudged;
  return n;
}

// One settings file cut short inside an opened contest, then F4 and Ctrl+S:
// every exam and every result survives, the jury is told once, by name,
// and the file saved holds the whole contest again.
TEST_F(MainWindow, ADamagedSettingsFileThenRefreshAndSaveLosesNothing) {
  const std::string file = SaveJudgedContest(Tree, *Form);
  Form->ContestChanged = false;
  Form->LoadContest(file);
  ASSERT_EQ(JudgedResults(), 60);
  ASSERT_TRUE(FMessages->Requests().empty());

  const std::string settings = ContestInfo->ExamSet().Dir() + "BAI2/Settings.cfg";
  const std::string bytes = testing::ReadText(settings);
  testing::WriteText(settings, bytes.substr(0, 40));
  FMessages->AddAnswer(mrOk);
  PressKey(*Form, Qt::Key_F4);
  ASSERT_EQ(FMessages->Requests().size(), 1u);
  const std::string told = FMessages->Requests()[0].Msg;
  EXPECT_EQ(told.rfind("Cập nhật lại danh sách bài thi: có phần không nạp được:\r\n- Bài thi \"BAI2\": không đọc "
                       "được file Settings.cfg",
                       0),
            0u)
      << told;
  EXPECT_NE(told.find("Chi tiết: "), std::string::npos);
  EXPECT_EQ(ContestInfo->ExamSet().KeyExport(), (std::vector<std::string>{"BAI1", "BAI2", "BAI3"}));
  EXPECT_EQ(E("BAI2")->InputFile, "in.txt") << "the settings it had";
  EXPECT_EQ(E("BAI2")->Count(), 2);
  EXPECT_EQ(JudgedResults(), 60);
  EXPECT_EQ(Form->MainListModel->columnCount(), 5);
  EXPECT_EQ(Cell(0, 2), QString::fromUtf8("✓ 1.50"));
  EXPECT_EQ(Cell(0, 4), "4.50");
  test::SaveShot(Form.get(), "main-refresh-damaged-exam");
  // The message as the jury sees it.
  test::WhenModal([](QWidget* Dialog) {
    test::SaveShot(Dialog, "main-load-problems");
    QTest::keyClick(Dialog, Qt::Key_Return);
  });
  TQtMessageDialog().Show(FMessages->Requests()[0]);

  // Nothing was lost, so Ctrl+S saves over the file without a question.
  ASSERT_TRUE(Form->ContestChanged);
  PressKey(*Form, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(FMessages->Requests().size(), 1u);
  EXPECT_FALSE(Form->ContestChanged) << "saved";
  FMessages->AddAnswer(mrOk);
  Form->LoadContest(file);
  EXPECT_EQ(JudgedResults(), 60);
  EXPECT_EQ(E("BAI2")->InputFile, "in.txt");
  ASSERT_EQ(FMessages->Requests().size(), 2u) << "the saved damaged file is named again, once";
  EXPECT_NE(FMessages->Requests()[1].Msg.find("lấy từ file Tasks.config"), std::string::npos);
}

// A contest opened without its results: the rest opens and the jury is
// told; saving over its file asks first, and "No" leaves the file as it
// was, byte for byte. Another name needs no question.
TEST_F(MainWindow, AContestThatLostItsResultsAsksBeforeOverwritingItsFile) {
  const std::string file = SaveJudgedContest(Tree, *Form);
  int code = 0;
  zip_t* zip = zip_open(file.c_str(), 0, &code);
  ASSERT_NE(zip, nullptr);
  static const char kGarbage[] = "not compressed XML";
  zip_source_t* source = zip_source_buffer(zip, kGarbage, sizeof kGarbage - 1, 0);
  ASSERT_GE(zip_file_add(zip, "Contest.result", source, ZIP_FL_OVERWRITE), 0);
  ASSERT_EQ(zip_close(zip), 0);
  const std::string before = testing::ReadText(file);

  Form->ContestChanged = false;
  FMessages->AddAnswer(mrOk);
  Form->LoadContest(file);
  ASSERT_EQ(FMessages->Requests().size(), 1u);
  EXPECT_EQ(FMessages->Requests()[0].DlgType, mtWarning);
  EXPECT_EQ(FMessages->Requests()[0].Msg.rfind("Đã mở kỳ thi " + file + " nhưng có phần không nạp được:", 0), 0u);
  EXPECT_NE(FMessages->Requests()[0].Msg.find("Không đọc được file Contest.result (kết quả chấm)"),
            std::string::npos);
  EXPECT_EQ(ContestInfo->FileName(), file);
  EXPECT_EQ(Form->MainListModel->rowCount(), 20);
  EXPECT_EQ(Form->MainListModel->columnCount(), 5);
  EXPECT_EQ(E("BAI1")->InputFile, "in.txt");
  EXPECT_TRUE(Form->Action("actJudge")->isEnabled());

  FMessages->AddAnswer(mrNo);
  PressKey(*Form, Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(FMessages->Requests().size(), 2u);
  const TMsgDlgRequest asked = FMessages->Requests()[1];
  EXPECT_NE(asked.Msg.find("Bạn vẫn muốn ghi đè lên file này?"), std::string::npos) << asked.Msg;
  EXPECT_NE(asked.Msg.find(file), std::string::npos);
  EXPECT_EQ(asked.Buttons, (TMsgDlgButtons{mbYes, mbNo}));
  EXPECT_TRUE(Form->UserAbort);
  EXPECT_EQ(testing::ReadText(file), before);
  bool escapeAnswered = true;
  test::WhenModal([&](QWidget* Dialog) {
    test::SaveShot(Dialog, "main-overwrite-question");
    QTest::keyClick(Dialog, Qt::Key_Escape);  // a question without Cancel needs a button
    escapeAnswered = !Dialog->isVisible();
    if (auto* box = qobject_cast<QMessageBox*>(Dialog); box && box->isVisible()) box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(TQtMessageDialog().Show(asked), mrNo);
  EXPECT_FALSE(escapeAnswered);

  // Another name: no question; that file holds the contest as it stands.
  const std::string other = Tree.Path("ban-sao.contest");
  test::WhenModal([&](QWidget* Dialog) {
    auto* dialog = qobject_cast<QFileDialog*>(Dialog);
    ASSERT_NE(dialog, nullptr);
    dialog->selectFile(QString::fromStdString(other));
    static_cast<QDialog*>(dialog)->accept();
  });
  Form->Action("actSaveAsContest")->trigger();
  EXPECT_EQ(FMessages->Requests().size(), 2u);
  EXPECT_FALSE(Form->UserAbort);
  EXPECT_TRUE(testing::Exists(other));
  EXPECT_EQ(testing::ReadText(file), before);

  // Saved once, the contest has nothing more to lose: Ctrl+S just saves.
  Form->ContestChanged = true;
  PressKey(*Form, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(FMessages->Requests().size(), 2u);
  EXPECT_FALSE(Form->ContestChanged);

  // Opened again, "Yes" overwrites.
  FMessages->AddAnswer(mrOk);
  Form->LoadContest(file);
  FMessages->AddAnswer(mrYes);
  PressKey(*Form, Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(FMessages->Requests().size(), 4u) << FMessages->Requests().back().Msg;
  EXPECT_FALSE(Form->UserAbort);
  EXPECT_NE(testing::ReadText(file), before);
}

// Submissions accepted online into a contest opened from an archive, and
// Velkor gone before the save: opening the archive again keeps them aside
// and tells the jury where, before anything else. Changes the jury chose
// not to save are cleared away as before.
TEST_F(MainWindow, UnsavedSubmissionsOfAnArchiveContestAreKeptAndTold) {
  const std::string file = SaveJudgedContest(Tree, *Form);
  EnvConfig->DecompressDir = Tree.Path("unpack");
  Form->ContestChanged = false;
  Form->LoadContest(file);
  ASSERT_TRUE(FMessages->Requests().empty());
  ContestInfo->NoteUnsavedChange();  // as online judging does before it moves a submission in
  testing::WriteText(ContestInfo->ResultSet().Dir() + "TS101/BAI1.cpp", "accepted online");

  Form->ContestChanged = false;  // a new Velkor: nothing to ask
  FMessages->AddAnswer(mrOk);
  Form->LoadContest(file);
  ASSERT_EQ(FMessages->Requests().size(), 1u);
  const TMsgDlgRequest told = FMessages->Requests()[0];
  EXPECT_EQ(told.DlgType, mtWarning);
  EXPECT_EQ(told.Msg.rfind("Thư mục giải nén \"" + Tree.Path("unpack/VelkorContest") +
                               "\" còn giữ thay đổi (bài nộp trực tuyến, cấu hình bài thi) chưa được ghi vào file kỳ thi \"" + file + "\"",
                           0),
            0u)
      << told.Msg;
  const std::size_t at = told.Msg.find("được chuyển sang:\r\n\"") + std::string("được chuyển sang:\r\n\"").size();
  const std::string kept = told.Msg.substr(at, told.Msg.find('"', at) - at);
  EXPECT_EQ(testing::ReadText(kept + "/Contestants/TS101/BAI1.cpp"), "accepted online");
  EXPECT_EQ(ContestInfo->FileName(), file);
  EXPECT_EQ(JudgedResults(), 60);
  test::WhenModal([](QWidget* Dialog) {
    test::SaveShot(Dialog, "main-unsaved-kept");
    QTest::keyClick(Dialog, Qt::Key_Return);
  });
  TQtMessageDialog().Show(told);

  // "No" to saving gives the changes up: the next open keeps nothing.
  ContestInfo->NoteUnsavedChange();
  Form->ContestChanged = true;
  FMessages->AddAnswer(mrNo);
  Form->LoadContest(file);
  ASSERT_EQ(FMessages->Requests().size(), 2u);
  EXPECT_EQ(FMessages->Requests()[1].Msg, "Bạn có muốn ghi lại kỳ thi hiện tại không?");
}

// An exam's settings changed in a contest opened from an archive live only
// in its unpack folder until the contest is saved: a crash keeps them too.
TEST_F(MainWindow, ExamSettingsOfAnArchiveContestOutliveACrash) {
  const std::string file = SaveJudgedContest(Tree, *Form);
  EnvConfig->DecompressDir = Tree.Path("unpack");
  Form->ContestChanged = false;
  Form->LoadContest(file);
  ASSERT_TRUE(FMessages->Requests().empty());
  test::WhenModal([](QWidget* Dialog) {
    auto* form = dynamic_cast<TExamEditForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    form->gGeneral.edtMark->setText("9");
    form->btnOK->click();
  });
  ASSERT_EQ(EditExamConfig(ContestInfo->ExamSet().Obj("BAI1")), erOK);

  Form->ContestChanged = false;  // killed: the next Velkor has nothing to ask
  FMessages->AddAnswer(mrOk);
  Form->LoadContest(file);
  ASSERT_EQ(FMessages->Requests().size(), 1u);
  const std::string told = FMessages->Requests()[0].Msg;
  const std::size_t at = told.find("được chuyển sang:\r\n\"") + std::string("được chuyển sang:\r\n\"").size();
  const std::string kept = told.substr(at, told.find('"', at) - at);
  TExamSet exams;
  exams.SetDir(kept + "/Tasks");
  ASSERT_NE(exams.Obj("BAI1"), nullptr) << told;
  EXPECT_EQ(exams.Obj("BAI1")->Mark, 9);
}

TEST_F(MainWindow, RowRefreshFromOtherWindows) {
  LoadSmallContest();
  Score("CUONG", "BAI1", jsJudged, 4);
  MainFormLink::UpdateMainTableC(C("CUONG"), true);
  EXPECT_EQ(Form->MainList->selectionModel()->selectedRows().value(0).row(), 2);
  EXPECT_EQ(Cell(2, 1), QString::fromUtf8("✓ 4.00"));
  TResultC stranger;
  stranger.SetName("NOBODY");
  MainFormLink::UpdateMainTableC(&stranger, true);  // not in the grid: nothing
  EXPECT_EQ(Form->MainList->selectionModel()->selectedRows().value(0).row(), 2);
}

TEST_F(MainWindow, SnapshotsGoToTheClipboardOpaque) {
  Form->Action("actSnapshot")->trigger();
  QImage shot = QApplication::clipboard()->image();
  EXPECT_EQ(shot.size(), Form->size());
  EXPECT_EQ(qAlpha(shot.pixel(0, 0)), 255);

  // In another window of ours, Ctrl+Alt+Q takes that window and swallows the key.
  QDialog other;
  auto* edit = new QLineEdit(&other);
  other.resize(300, 120);
  other.show();
  QApplication::setActiveWindow(&other);
  edit->setFocus();
  QApplication::clipboard()->clear();
  QTest::keyClick(edit, Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier);
  shot = QApplication::clipboard()->image();
  EXPECT_EQ(shot.size(), QSize(300, 120));
  EXPECT_EQ(edit->text(), "");
  // Ctrl+Shift+Q there takes the main window.
  QTest::keyClick(edit, Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(QApplication::clipboard()->image().size(), Form->size());
}

}  // namespace
}  // namespace velkor
