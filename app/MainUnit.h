// The main window: the result grid of the open contest (contestants by
// exams, with each contestant's total), the toolbar, the menus and every
// command of the program as an action.
//
// The grid stores no texts: TMainListModel reads the process-wide contest
// each time a cell is painted, so a refresh is a repaint or a model reset.
// ActiveC and ActiveE remember the contestant row and the exam column under
// the last mouse press on the grid (or the exam of a right-clicked column
// header); the commands that act on "the clicked cell" read them, and nil
// means "all".
//
// The toolbar does not wrap. Each of its 18 slots carries a priority; the
// largest priority threshold whose buttons fit the panel is found by a
// binary search, those buttons are laid out from the left with one 8-pixel
// gap between groups, the rest are hidden, and the help button always sits
// at the right edge.
//
// The grid lives in MainUnit_Grid.cpp, the contest commands in
// MainUnit_Contest.cpp, the toolbar fitting in MainUnit_Toolbar.cpp and the
// program's part in MainUnit_Program.cpp; MainUnit.cpp builds the window
// and binds them (menus, the enabling rule, window events, help).
#pragma once

#include <QAbstractTableModel>
#include <QImage>
#include <QBrush>
#include <QMainWindow>
#include <QSessionManager>
#include <QPixmap>
#include <QPointer>
#include <QTableView>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/MainFormLink.h"
#include "judging/Results.h"

class QAction;
class QLabel;
class QMenu;
class QTabWidget;
class QStyledItemDelegate;
class QTextBrowser;
class QTimer;
class QWidget;

namespace velkor {

class TExamInfo;
class TExamSet;
class TObject;
class TSmartToolBtn;
class TVQR_ImageList;
class TVQR_Panel;

// The text of an exam result's cell: "" not judged, "✓ " and the score,
// "ℱ", "∄", "⚠", and "?" for jsUnknown and any state outside the known
// ones. Scores use Pattern (an invalid pattern falls back to "%.2n").
std::string ResultCellText(const TResultE& E, std::string_view Pattern);

// The background and text colours of grid row Row from the base ones: an
// even row adds 8 to every channel, an odd row takes 8 off, clamped.
struct TRowColors {
  QColor Background, Text;
};
TRowColors RowColors(int Row, const QColor& Background, const QColor& Text);

// One step of the grid's auto-scroll over Count rows: Pos moves by Dir;
// leaving 0..Count-1 clamps it and reverses Dir (so the end row shows
// twice). Nothing for an empty grid.
void AutoScrollStep(int Count, int& Pos, int& Dir);

// The grid model: row r is the r-th contestant of the result set, column 0
// the contestant, column i + 1 the i-th exam, the last column the total.
// Reads the sets on demand; Reset() tells the view that counts changed.
class TMainListModel : public QAbstractTableModel {
 public:
  TMainListModel(TResultSet& Results, TExamSet& Exams, QObject* Parent = nullptr);

  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;

  // The state icons: index 0 not selected, 1 selected (24 x 24).
  void SetStateImages(const TVQR_ImageList* Images);
  // The base colours rows are shaded from (the grid's palette, resolved
  // through the active style).
  void SetBaseColors(const QColor& Background, const QColor& Text);

  // The grid keeps its own column and row counts, as a list view does:
  // they change only here, so the columns keep their widths across
  // refreshes. Both repaint every cell.
  void SetColumnCount(int Count);
  void SetRowCount(int Count);
  void RowChanged(int Row);
  void HeadersChanged();

 private:
  TResultSet& FResults;
  TExamSet& FExams;
  int FRowCount = 0, FColumnCount = 0;
  QPixmap FStateIcons[2];
  QColor FBackground, FText;
  QBrush FRowBrush[2], FTextBrush[2];
};

// One toolbar slot: a button and its priority, or a gap (nil, 0).
struct TToolRec {
  TSmartToolBtn* btn = nullptr;
  std::intptr_t priority = 0;
};

// The grid position under a client point of the grid.
struct TListHit {
  int Row = -1;          // -1 when below the last row or outside
  int Exam = -1;         // -1 for the contestant column, exam count for the total
  bool OnStateIcon = false;
};

class TMainForm;
class TSingleInstanceServer;
class TVQRShellChangeNotifier;

// The grid: a table view that hands its mouse, key, drop and hint events
// to the main window.
class TMainListView : public QTableView {
 public:
  explicit TMainListView(TMainForm* Form);
  // Where the style paints the state icon of Index (column 0).
  QRect StateIconRect(const QModelIndex& Index) const;

 protected:
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void contextMenuEvent(QContextMenuEvent* Event) override;
  void dragEnterEvent(QDragEnterEvent* Event) override;
  void dragMoveEvent(QDragMoveEvent* Event) override;
  void dropEvent(QDropEvent* Event) override;
  bool viewportEvent(QEvent* Event) override;

 private:
  TMainForm* FForm;
  QStyledItemDelegate* FDelegate;
  Qt::MouseButton FLastPressButton = Qt::NoButton;
  quint64 FLastPressTime = 0;
  QPoint FLastPressPos;
};

class TMainForm : public QMainWindow, public IMainFormLink {
 public:
  explicit TMainForm(QWidget* Parent = nullptr);
  ~TMainForm() override;

  // IMainFormLink
  QWidget* Window() override { return this; }
  void ShowHelp(const std::string& Topic) override;
  void UpdateMainTableC(TResultC* C, bool Focus) override;
  void ShowGridPage() override;

  // Refreshing the grid.
  void UpdateAllGUI();
  void UpdateColumnHeaders();
  void UpdateMenuItems();
  void UpdateItemList();
  void AlignColumns();
  void AlignAll();
  void UpdateTitle();

  // Column indices of the grid.
  static int GetExamCol(int ExamIndex) { return ExamIndex + 1; }
  static int GetContestantCol() { return 0; }
  int GetTotalCol() const;

  TListHit ListHitTest(const QPoint& ClientPoint) const;
  // The grid's popup at a screen point (the cursor for a click).
  void PopupListMenu(const QPoint& ScreenPoint);
  void PopupListMenu();

  // The OnLoaded handler of both sets: the enabling rule.
  void SetLoaded(TObject* Sender);

  // Contest commands that other paths reuse (drops, "/LOAD").
  void LoadContest(const std::string& FileName);
  void SetContestantsDir(const std::string& Folder);
  void SetExamsDir(const std::string& Folder);
  // The window's picture: the screen under it, or what it paints where
  // the screen cannot be read. ARGB32, every alpha 255.
  static QImage CaptureForm(QWidget* Form);

  // Every action by its name ("actJudge").
  QAction* Action(const std::string& Name) const;
  const std::vector<TToolRec>& Btns() const { return FBtns; }

  TResultC* ActiveC = nullptr;
  TExamInfo* ActiveE = nullptr;
  bool ContestChanged = false;
  bool UserAbort = false;
  // The contest lacks something its files hold because it failed to load
  // (told to the jury at the time); SourceFile is the contest file it was
  // last opened from or saved to. Saving over SourceFile then asks first.
  bool LoadLostData = false;
  std::string SourceFile;
  int ScrollIdleCount = 0;
  int ScrollPos = 0;

  // The window's parts, by their form names.
  TVQR_Panel* ControlPanel = nullptr;
  QTabWidget* WorkSpace = nullptr;
  QWidget* tabSummary = nullptr;
  QWidget* tabHelp = nullptr;
  TMainListView* MainList = nullptr;
  TMainListModel* MainListModel = nullptr;
  QTextBrowser* WebBrowser1 = nullptr;
  QLabel* StatusBar1 = nullptr;
  QMenu* miExamConfig = nullptr;
  QMenu* PopMainList = nullptr;
  QTimer* TimerScroll = nullptr;
  std::unique_ptr<TVQR_ImageList> MainImgList;

  // Grid input, called by the view (MainUnit_Grid.cpp).
  // SecondOfDouble: the press that completes a double click.
  void MainListMouseDown(Qt::MouseButton Button, const QPoint& ClientPoint, bool SecondOfDouble = false);
  void MainListDblClick(const QPoint& ClientPoint);
  void MainListColumnClick(int Column);
  void MainListColumnRightClick(int Column);
  // True when the key was the grid's command (Space, Ctrl+Alt+S).
  bool MainListKeyDown(int Key, Qt::KeyboardModifiers Modifiers);
  void MainListKeyPress(int Key);
  // The Menu key or Shift+F10: the popup for the focused cell, at it.
  void MainListContextKey();
  // Enter on the grid: what a double click on the focused cell does.
  void MainListEnterKey();
  // A drop of local paths at a client point of the grid.
  void MainListDrop(const std::vector<std::string>& Paths, const QPoint& ClientPoint);
  QString MainListHint(const QPoint& ClientPoint) const;
  void TimerScrollTimer();

  // The program's part (MainUnit_Program.cpp): parameters, the closing
  // path and online judging.
  // "/CLEAN" and "/LOAD <file>" of MyParams, acted on only while this
  // window is the active one.
  void ProcessParams();
  // A second copy handed its parameters over: read them and act on them.
  // While a dialog of ours is open they wait for it to close.
  void WMParamsHandOver();
  // What the local socket's message does: the window comes back as it was
  // before it was minimised (maximised stays maximised), to the front, and
  // takes the hand-over.
  void ParamsHandedOver();
  // Asks whether to save a changed contest; false keeps the window open.
  bool FormCloseQuery();
  void WMQueryEndSession(QSessionManager& Manager);
  // The session is ending: asks as FormCloseQuery; once the jury has
  // answered, the closes that follow ask nothing for the contest as it is.
  bool SessionEndQuery();
  void FormClose();
  // One online-judging pass over the submission folder.
  void ScanAndJudgeSubmissions();
  void Timer1Timer();
  void ntfSubmitChange(QObject* Sender);

  TVQRShellChangeNotifier* ntfSubmit = nullptr;
  QTimer* Timer1 = nullptr;

 protected:
  void resizeEvent(QResizeEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  // The actions; others reach them by name through Action().
  QAction *actNewContest, *actOpenContest, *actSaveContest, *actSaveAsContest, *actSettings, *actExit;
  QAction *actReloadExams, *actRefreshExams, *actSelectAllExams, *actDeselectAllExams, *actSelectInverseExams,
      *actExamConfig;
  QAction *actReloadContestants, *actRefreshContestants, *actSelectAll, *actDeselectAll, *actSelectinverse;
  QAction *actJudge, *actRejudge, *actOnlineJudge, *actDetails, *actExportToExcel, *actCompilerConfig,
      *actSecurity, *actDeleteMark;
  QAction *actHelp, *actAbout, *actSnapshot, *actSnapshotForm;

  bool GUILocked = false;
  std::intptr_t TimeCounter = 0;  // online-judging ticks
  int ScrollDir = 1;
  QMenu* MainMenuItems[5] = {};
  std::unique_ptr<TVQR_ImageList> StateImages1;

  void FormCreate();
  void InitializeForm();
  void CreateActions();
  void CreateMenus();
  void CreateWindowParts();
  QAction* MakeAction(const char* Name, const char* Category, const char* Caption, const QKeySequence& Shortcut,
                      int Image, void (TMainForm::*Execute)());

  // Toolbar fitting (MainUnit_Toolbar.cpp).
  void MakeToolBtn(QAction* Action, std::intptr_t Priority);
  int LayoutToolBtns(std::intptr_t T, bool Apply);
  void AlignToolBtns();

  // The snapshot keys in every other window of ours.
  void ActiveFormChange(QWidget* Form);
  void SnapshotKeys(bool Shift, bool Alt);

  // The contest commands (MainUnit_Contest.cpp).
  // Asks whether to save a changed contest; false when the command stops.
  bool SaveQuestion();
  void SetExamHeader(const TExamInfo* Exam);
  void RefreshBaseColors();
  void RunQueue(const std::vector<std::string>& CNames, const std::vector<std::string>& ENames);
  // Empty a set whose folder failed to load, and forget that folder.
  void DropContestantsDir();
  void DropExamsDir();
  // Tells the jury, in one message, what the last action could not load;
  // nothing when all loaded. Remembers whether the contest now lacks
  // something.
  void TellLoadProblems(const std::string& Heading, const TLoadProblems& Problems);
  // False when the jury would rather not save over the file the contest
  // came from after it lost something while loading.
  bool MayOverwriteSource(const std::string& File);
  void ToggleContestant(int Row);
  // ActiveC and ActiveE from the grid's current cell (nil where it has
  // none), as a press on that cell sets them; returns the cell.
  QModelIndex SetActiveFromCurrentCell();

  // Action handlers.
  void actNewContestExecute();
  void actOpenContestExecute();
  void actSaveContestExecute();
  void actSaveAsContestExecute();
  void actSettingsExecute();
  void actExitExecute();
  void actReloadExamsExecute();
  void actRefreshExamsExecute();
  void actSelectAllExamsExecute();
  void actDeselectAllExamsExecute();
  void actSelectInverseExamsExecute();
  void actExamConfigExecute();
  void actReloadContestantsExecute();
  void actRefreshContestantsExecute();
  void actSelectAllExecute();
  void actDeselectAllExecute();
  void actSelectinverseExecute();
  void actJudgeExecute();
  void actRejudgeExecute();
  void actOnlineJudgeExecute();
  void actDetailsExecute();
  void actExportToExcelExecute();
  void actCompilerConfigExecute();
  void actSecurityExecute();
  void actDeleteMarkExecute();
  void actHelpExecute();
  void actAboutExecute();
  void actSnapshotExecute();
  void actSnapshotFormExecute();

  // The program's part.
  void InitializeProgramPart();
  void TryPendingParams();
  void StopOnlineJudging();
  // actOnlineJudge's enabling rule, with the submission folder's watch
  // started or stopped to match.
  void UpdateOnlineJudging();
  // Whether this copy holds the submission folder; a refusal is told once
  // per folder and reason.
  bool SubmissionFolderTaken();

  std::unique_ptr<TSingleInstanceServer> FParamsServer;
  bool FParamsPending = false;
  bool FInPass = false;
  std::string FSubmitRefusalTold;
  // The state to come back to from a minimised window.
  Qt::WindowStates FStateBeforeMinimize = Qt::WindowMaximized;

  std::vector<TToolRec> FBtns;
  std::map<std::string, QAction*> FActions;
  QPointer<QWidget> FSnapshotForm;  // the window whose keys asked for a snapshot
  bool FCreated = false;
  // The column fit after start-up or a change of the window's state
  // (maximised, restored) waits for the size the window really gets.
  bool FFitColumnsOnFirstResize = false;
};

// The process's main window while it exists.
extern TMainForm* MainForm;

}  // namespace velkor
