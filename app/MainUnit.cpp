#include "app/MainUnit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

#include "app/AboutU.h"
#include "app/CompilerConfigU.h"
#include "app/DetailtU.h"
#include "app/ExamEditU.h"
#include "app/ExcelExportU.h"
#include "app/FormParts.h"
#include "app/JudgeU.h"
#include "app/MainImages.h"
#include "app/SecurityU.h"
#include "app/SettingsU.h"
#include "components/ShellComponents.h"
#include "toolkit/SingleInstance.h"
#include "components/Btns.h"
#include "components/DefaultFonts.h"
#include "components/ImageLists.h"
#include "components/Panels.h"
#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "core/NameCompare.h"
#include "core/NumberFormat.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/Exams.h"
#include "judging/JudgeEngines.h"
#include "toolkit/DesktopOpen.h"
#include "toolkit/VisualStyles.h"

namespace velkor {

TMainForm* MainForm = nullptr;

namespace {

const char* const kCaption = "Βέλκο - Chương trình chấm bài tự động";
const char* const kStatusText = "Velkor: ✓: Đã chấm; ∄: Không nộp bài; ℱ: Dịch bị lỗi; ⚠: Lỗi nghiêm trọng.";
const char* const kContestantColumn = "Thí sinh";
const char* const kTotalColumn = "Tổng điểm";
const char* const kContestantsHint =
    "Nạp nhanh danh sách thí sinh:\r\nKéo thư mục chứa các bài làm của thí sinh thả vào cột này";
const char* const kExamsHint = "Nạp nhanh danh sách bài thi\r\nKéo thư mục chứa các bài thi thả vào cột này";
const char* const kContestFilter = "Kỳ thi (*.contest);;Tất cả (*)";

// More lines than this in one load message would hide its buttons.
constexpr std::size_t kMaxProblemLines = 20;

constexpr int kPanelHeight = 68;
constexpr int kToolBtnLeft = 6, kToolBtnTop = 6, kToolBtnSize = 56;
constexpr int kToolGap = 8;
constexpr int kHintHideMs = 2000;

TExamSet& Exams() { return ContestInfo->ExamSet(); }
TResultSet& Results() { return ContestInfo->ResultSet(); }

std::string NumberPattern() { return EnvConfig ? EnvConfig->NumberFormat : std::string(kDefaultNumberFormat); }

int Channel(int V) { return std::clamp(V, 0, 255); }

QColor Shade(const QColor& C, int Delta) {
  return QColor(Channel(C.red() + Delta), Channel(C.green() + Delta), Channel(C.blue() + Delta));
}

// The extension test of a dropped contest file ignores ASCII letter case.
bool IsContestFileName(const std::string& Path) {
  const std::string ext = std::filesystem::path(Path).extension().string();
  return SameText(ext, ".contest") || SameText(ext, ".zip");
}

bool IsExecutableFile(const std::string& Path) {
  struct stat st {};
  return ::stat(Path.c_str(), &st) == 0 && (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

// Where the contest's file and folder dialogs start: the archive's folder,
// else the folder holding the tasks or the contestants, else the last ones
// chosen, else the home folder (never the program's working folder).
std::string ContestFolder() {
  namespace fs = std::filesystem;
  std::error_code ec;
  auto parentOf = [](const std::string& Path) {
    return fs::path(Path).lexically_normal().parent_path().string();
  };
  std::vector<std::string> candidates;
  if (!ContestInfo->FileName().empty()) candidates.push_back(parentOf(ContestInfo->FileName()));
  for (const std::string& dir : {ContestInfo->ExamSet().Dir(), ContestInfo->ResultSet().Dir()})
    if (!dir.empty()) candidates.push_back(parentOf(fs::path(dir).lexically_normal().string()));
  if (EnvConfig)
    for (const std::string& dir : {EnvConfig->LastExamDir, EnvConfig->LastContestantDir})
      if (!dir.empty()) candidates.push_back(parentOf(fs::path(dir).lexically_normal().string()));
  for (const std::string& dir : candidates)
    if (!dir.empty() && fs::is_directory(dir, ec)) return dir;
  return QDir::homePath().toStdString();
}

// Where a folder picker for one of the two sets starts: that set's folder,
// else the last one chosen, else the contest's folder.
std::string SetFolder(const std::string& Current, const std::string& Last) {
  std::error_code ec;
  for (const std::string& dir : {Current, Last})
    if (!dir.empty() && std::filesystem::is_directory(dir, ec)) return dir;
  return ContestFolder();
}

}  // namespace

// --- cell texts, colours, auto-scroll -------------------------------------

std::string ResultCellText(const TResultE& E, std::string_view Pattern) {
  switch (E.state) {
    case jsNotyetJudged: return {};
    case jsJudged: return "✓ " + GridScoreText(Pattern, E.Evaluation);
    case jsCompileError: return "ℱ";
    case jsNoSource: return "∄";
    case jsFailure: return "⚠";
    default: return "?";
  }
}

TRowColors RowColors(int Row, const QColor& Background, const QColor& Text) {
  const int delta = Row % 2 == 0 ? 8 : -8;
  return {Shade(Background, delta), Shade(Text, delta)};
}

void AutoScrollStep(int Count, int& Pos, int& Dir) {
  if (Count <= 0) return;
  Pos += Dir;
  if (Pos < 0 || Pos > Count - 1) {
    Pos = std::clamp(Pos, 0, Count - 1);
    Dir = -Dir;
  }
}

// --- the grid model ---------------------------------------------------------

TMainListModel::TMainListModel(TResultSet& aResults, TExamSet& aExams, QObject* Parent)
    : QAbstractTableModel(Parent), FResults(aResults), FExams(aExams) {}

int TMainListModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : FRowCount;
}

int TMainListModel::columnCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : FColumnCount;
}

void TMainListModel::SetBaseColors(const QColor& Background, const QColor& Text) {
  FBackground = Background;
  FText = Text;
  for (int i = 0; i < 2; ++i) {
    const TRowColors c = RowColors(i, FBackground, FText);
    FRowBrush[i] = c.Background;
    FTextBrush[i] = c.Text;
  }
}

void TMainListModel::SetStateImages(const TVQR_ImageList* Images) {
  for (int i = 0; i < 2; ++i) {
    const TTrueImage* image = Images ? Images->Image(i) : nullptr;
    FStateIcons[i] = image ? QPixmap::fromImage(image->ExportPNG()) : QPixmap();
  }
}

QVariant TMainListModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid()) return {};
  const int row = Index.row(), col = Index.column();
  switch (Role) {
    case Qt::DisplayRole: {
      const TResultC* C = FResults.ObjI(row);
      if (!C) return {};
      if (col == 0) return Q(C->Name());
      const std::ptrdiff_t exams = FExams.Count();
      if (col - 1 < exams) {
        const TExamInfo* E = FExams.ObjI(col - 1);
        if (!E) return {};
        const TResultE* R = C->Obj(E->Name());  // an absent result reads as not judged
        return R ? Q(ResultCellText(*R, NumberPattern())) : QString();
      }
      if (col - 1 == exams) return Q(GridScoreText(NumberPattern(), C->Evaluation));
      return {};
    }
    case Qt::DecorationRole: {
      if (col != 0) return {};
      const TResultC* C = FResults.ObjI(row);
      if (!C) return {};
      return FStateIcons[C->Enabled ? 1 : 0];
    }
    case Qt::TextAlignmentRole:
      // Names read from the left; scores and totals line up on the right.
      return QVariant::fromValue(Qt::Alignment(Qt::AlignVCenter | (col == 0 ? Qt::AlignLeft : Qt::AlignRight)));
    case Qt::BackgroundRole:
      return FBackground.isValid() ? QVariant(FRowBrush[row % 2]) : QVariant();
    case Qt::ForegroundRole:
      return FText.isValid() ? QVariant(FTextBrush[row % 2]) : QVariant();
    default:
      return {};
  }
}

QVariant TMainListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole) return {};
  if (Section == 0) return QString::fromUtf8(kContestantColumn);
  if (Section == FColumnCount - 1) return QString::fromUtf8(kTotalColumn);
  const TExamInfo* E = FExams.ObjI(Section - 1);
  return E ? Q(E->ColumnHeader()) : QVariant();
}

void TMainListModel::SetColumnCount(int Count) {
  if (Count < FColumnCount) {
    beginRemoveColumns({}, Count, FColumnCount - 1);
    FColumnCount = Count;
    endRemoveColumns();
  } else if (Count > FColumnCount) {
    beginInsertColumns({}, FColumnCount, Count - 1);
    FColumnCount = Count;
    endInsertColumns();
  }
  HeadersChanged();
}

void TMainListModel::SetRowCount(int Count) {
  if (Count < FRowCount) {
    beginRemoveRows({}, Count, FRowCount - 1);
    FRowCount = Count;
    endRemoveRows();
  } else if (Count > FRowCount) {
    beginInsertRows({}, FRowCount, Count - 1);
    FRowCount = Count;
    endInsertRows();
  }
  if (FRowCount > 0 && FColumnCount > 0) emit dataChanged(index(0, 0), index(FRowCount - 1, FColumnCount - 1));
}

void TMainListModel::RowChanged(int Row) {
  if (Row >= 0 && Row < FRowCount && FColumnCount > 0)
    emit dataChanged(index(Row, 0), index(Row, FColumnCount - 1));
}

void TMainListModel::HeadersChanged() {
  if (FColumnCount > 0) emit headerDataChanged(Qt::Horizontal, 0, FColumnCount - 1);
}

// --- the grid view ----------------------------------------------------------

namespace {

// Exposes the option a cell is painted with, so that the hit test finds
// the state icon where the style puts it.
class TMainListDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QRect DecorationRect(const QStyleOptionViewItem& ViewOption, const QModelIndex& Index, const QWidget* View) const {
    QStyleOptionViewItem opt = ViewOption;
    initStyleOption(&opt, Index);
    QStyle* style = View ? View->style() : QApplication::style();
    return style->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, View);
  }
};

// A toolbar button shows its action's image only: at 56 pixels the caption
// has no room, so it is the button's hint instead.
class TMainToolBtn : public TSmartToolBtn {
 public:
  using TSmartToolBtn::TSmartToolBtn;
  void SetCaption(const QString&) override {}
};

}  // namespace

TMainListView::TMainListView(TMainForm* Form) : QTableView(Form), FForm(Form) {
  FDelegate = new TMainListDelegate(this);
  setItemDelegate(FDelegate);
  setSelectionBehavior(SelectRows);
  setSelectionMode(SingleSelection);
  setEditTriggers(NoEditTriggers);
  setShowGrid(true);
  setWordWrap(false);
  setTabKeyNavigation(false);
  setIconSize(QSize(24, 24));
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(DropOnly);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(26);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setSectionsClickable(true);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
}

QRect TMainListView::StateIconRect(const QModelIndex& Index) const {
  QStyleOptionViewItem opt;
  initViewItemOption(&opt);
  opt.rect = visualRect(Index);
  return static_cast<const TMainListDelegate*>(FDelegate)->DecorationRect(opt, Index, this);
}

// A double click toggles a state icon once: the press that completes a
// double click (some platforms deliver it before the double-click event,
// some instead of it) only sets the clicked cell.
void TMainListView::mousePressEvent(QMouseEvent* Event) {
  QTableView::mousePressEvent(Event);
  const QPoint p = Event->position().toPoint();
  const bool second = Event->button() == FLastPressButton &&
                      Event->timestamp() - FLastPressTime < static_cast<quint64>(QApplication::doubleClickInterval()) &&
                      (p - FLastPressPos).manhattanLength() <= QApplication::startDragDistance();
  FLastPressButton = second ? Qt::NoButton : Event->button();
  FLastPressTime = Event->timestamp();
  FLastPressPos = p;
  FForm->MainListMouseDown(Event->button(), p, second);
}

void TMainListView::mouseDoubleClickEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton) FForm->MainListDblClick(Event->position().toPoint());
}

void TMainListView::keyPressEvent(QKeyEvent* Event) {
  if (FForm->MainListKeyDown(Event->key(), Event->modifiers())) return;
  if (Event->key() == Qt::Key_Space && (Event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    FForm->MainListKeyPress(Event->key());
    return;
  }
  // Select-all belongs to the contestants' action, never to the view.
  if (Event->matches(QKeySequence::SelectAll)) {
    Event->ignore();
    return;
  }
  QTableView::keyPressEvent(Event);
}

void TMainListView::dragEnterEvent(QDragEnterEvent* Event) {
  if (Event->mimeData()->hasUrls()) Event->acceptProposedAction();
  else Event->ignore();
}

void TMainListView::dragMoveEvent(QDragMoveEvent* Event) {
  if (Event->mimeData()->hasUrls()) Event->acceptProposedAction();
  else Event->ignore();
}

void TMainListView::dropEvent(QDropEvent* Event) {
  std::vector<std::string> paths;
  for (const QUrl& url : Event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  Event->acceptProposedAction();
  // Acted on once the drag is over: loading may ask questions, and a modal
  // window inside the drop would keep the dragging program waiting.
  const QPoint at = Event->position().toPoint();
  QMetaObject::invokeMethod(
      FForm, [form = FForm, paths = std::move(paths), at] { form->MainListDrop(paths, at); }, Qt::QueuedConnection);
}

bool TMainListView::viewportEvent(QEvent* Event) {
  if (Event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(Event);
    QToolTip::showText(help->globalPos(), FForm->MainListHint(help->pos()), viewport(), {}, kHintHideMs);
    return true;
  }
  return QTableView::viewportEvent(Event);
}

// --- creation -----------------------------------------------------------------

TMainForm::TMainForm(QWidget* Parent) : QMainWindow(Parent) {
  setObjectName("MainForm");
  MainForm = this;
  MainFormLink::Install(this);
  FormCreate();
}

TMainForm::~TMainForm() {
  qApp->removeEventFilter(this);
  if (ContestInfo) {
    Exams().OnLoaded = nullptr;
    Exams().OnBeforeLoad = nullptr;
    Results().OnLoaded = nullptr;
    Results().OnBeforeLoad = nullptr;
  }
  MainFormLink::Remove(this);
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::FormCreate() {
  GUILocked = false;
  InitializeProgramPart();
  InitializeForm();
  // The parameters of the command line are acted on here by the start-up.
  TimeCounter = 0;
  ScrollDir = 1;
  ScrollIdleCount = 0;
  ScrollPos = 0;
  FCreated = true;
}

void TMainForm::CreateWindowParts() {
  StateImages1 = std::make_unique<TVQR_ImageList>(24, 24);
  MainImgList = std::make_unique<TVQR_ImageList>(48, 48);
  LoadMainImages(*MainImgList, *StateImages1);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  ControlPanel = new TVQR_Panel(central);
  ControlPanel->setObjectName("ControlPanel");
  ControlPanel->SetFrameWidth(0);
  ControlPanel->setFixedHeight(kPanelHeight);
  ControlPanel->installEventFilter(this);
  layout->addWidget(ControlPanel);

  WorkSpace = new QTabWidget(central);
  WorkSpace->setObjectName("WorkSpace");
  tabSummary = new QWidget;
  tabSummary->setObjectName("tabSummary");
  tabHelp = new QWidget;
  tabHelp->setObjectName("tabHelp");
  WorkSpace->addTab(tabSummary, QString::fromUtf8("Bảng điểm"));
  WorkSpace->addTab(tabHelp, QString::fromUtf8("Hướng dẫn"));
  layout->addWidget(WorkSpace, 1);

  MainList = new TMainListView(this);
  MainList->setObjectName("MainList");
  MainList->setParent(tabSummary);
  MainListModel = new TMainListModel(Results(), Exams(), this);
  MainListModel->SetStateImages(StateImages1.get());
  MainList->setModel(MainListModel);
  auto* summaryLayout = new QVBoxLayout(tabSummary);
  summaryLayout->setContentsMargins(0, 0, 0, 0);
  summaryLayout->addWidget(MainList);
  connect(MainList->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int Column) { MainListColumnClick(Column); });
  connect(MainList->horizontalHeader(), &QWidget::customContextMenuRequested, this,
          [this](const QPoint& P) { MainListColumnRightClick(MainList->horizontalHeader()->logicalIndexAt(P)); });

  WebBrowser1 = new QTextBrowser(tabHelp);
  WebBrowser1->setObjectName("WebBrowser1");
  WebBrowser1->setOpenExternalLinks(true);
  auto* helpLayout = new QVBoxLayout(tabHelp);
  helpLayout->setContentsMargins(0, 0, 0, 0);
  helpLayout->addWidget(WebBrowser1);

  setCentralWidget(central);

  StatusBar1 = new QLabel(QString::fromUtf8(kStatusText));
  StatusBar1->setObjectName("StatusBar1");
  statusBar()->addWidget(StatusBar1, 1);
  statusBar()->setFixedHeight(24);
  statusBar()->setSizeGripEnabled(false);

  TimerScroll = new QTimer(this);
  TimerScroll->setInterval(1000);
  connect(TimerScroll, &QTimer::timeout, this, [this] { TimerScrollTimer(); });
}

QAction* TMainForm::MakeAction(const char* Name, const char* Category, const char* Caption,
                               const QKeySequence& Shortcut, int Image, void (TMainForm::*Execute)()) {
  auto* action = new QAction(QString::fromUtf8(Caption), this);
  action->setObjectName(Name);
  action->setProperty("Category", QString::fromLatin1(Category));
  if (!Shortcut.isEmpty()) action->setShortcut(Shortcut);
  action->setShortcutContext(Qt::WindowShortcut);
  if (Image >= 0) {
    SetActionImage(action, MainImgList.get(), Image);
    action->setIcon(MainImgList->Icon(Image));
  }
  connect(action, &QAction::triggered, this, [this, Execute] { (this->*Execute)(); });
  addAction(action);  // shortcuts work while the menus are closed
  FActions[Name] = action;
  return action;
}

void TMainForm::CreateActions() {
  using K = QKeySequence;
  const auto ctrl = Qt::CTRL, shift = Qt::SHIFT, alt = Qt::ALT;
  actNewContest = MakeAction("actNewContest", "ContestGroup", "Tạo kỳ thi mới", K(ctrl | Qt::Key_N), 0,
                             &TMainForm::actNewContestExecute);
  actOpenContest = MakeAction("actOpenContest", "ContestGroup", "Mở kỳ thi cũ", K(ctrl | Qt::Key_O), 1,
                              &TMainForm::actOpenContestExecute);
  actSaveContest = MakeAction("actSaveContest", "ContestGroup", "Ghi kỳ thi", K(ctrl | Qt::Key_S), 2,
                              &TMainForm::actSaveContestExecute);
  actSaveAsContest = MakeAction("actSaveAsContest", "ContestGroup", "Ghi kỳ thi dưới một tên khác",
                                K(ctrl | shift | Qt::Key_S), 2, &TMainForm::actSaveAsContestExecute);
  actSettings = MakeAction("actSettings", "ContestGroup", "Các thiết lập môi trường", K(Qt::Key_F11), 3,
                           &TMainForm::actSettingsExecute);
  actExit = MakeAction("actExit", "ContestGroup", "Thoát", K(alt | Qt::Key_F4), 4, &TMainForm::actExitExecute);

  actReloadExams = MakeAction("actReloadExams", "ExamGroup", "Nạp danh sách bài thi", K(Qt::Key_F2), 5,
                              &TMainForm::actReloadExamsExecute);
  actRefreshExams = MakeAction("actRefreshExams", "ExamGroup", "Cập nhật lại danh sách bài thi", K(Qt::Key_F4), 6,
                               &TMainForm::actRefreshExamsExecute);
  actSelectAllExams = MakeAction("actSelectAllExams", "ExamGroup", "Chọn tất cả bài thi",
                                 K(ctrl | shift | Qt::Key_A), 7, &TMainForm::actSelectAllExamsExecute);
  actDeselectAllExams = MakeAction("actDeselectAllExams", "ExamGroup", "Bỏ chọn tất cả bài thi",
                                   K(ctrl | shift | Qt::Key_D), 8, &TMainForm::actDeselectAllExamsExecute);
  actSelectInverseExams = MakeAction("actSelectInverseExams", "ExamGroup", "Chọn ↔ Bỏ chọn bài thi",
                                     K(ctrl | shift | Qt::Key_I), 9, &TMainForm::actSelectInverseExamsExecute);
  actExamConfig = MakeAction("actExamConfig", "ExamGroup", "Cấu hình bài thi", K(), 10,
                             &TMainForm::actExamConfigExecute);

  actReloadContestants = MakeAction("actReloadContestants", "ContestantGroup", "Nạp danh sách thí sinh",
                                    K(Qt::Key_F3), 11, &TMainForm::actReloadContestantsExecute);
  actRefreshContestants = MakeAction("actRefreshContestants", "ContestantGroup", "Cập nhật lại danh sách thí sinh",
                                     K(Qt::Key_F5), 12, &TMainForm::actRefreshContestantsExecute);
  actSelectAll = MakeAction("actSelectAll", "ContestantGroup", "Chọn tất cả thí sinh", K(ctrl | Qt::Key_A), 13,
                            &TMainForm::actSelectAllExecute);
  actDeselectAll = MakeAction("actDeselectAll", "ContestantGroup", "Bỏ chọn tất cả thí sinh", K(ctrl | Qt::Key_D),
                              14, &TMainForm::actDeselectAllExecute);
  actSelectinverse = MakeAction("actSelectinverse", "ContestantGroup", "Chọn ↔ Bỏ chọn thí sinh",
                                K(ctrl | Qt::Key_I), 15, &TMainForm::actSelectinverseExecute);

  actJudge = MakeAction("actJudge", "JudgerGroup", "Chấm bài", K(Qt::Key_F9), 16, &TMainForm::actJudgeExecute);
  actRejudge = MakeAction("actRejudge", "JudgerGroup", "Chấm lại", K(), 16, &TMainForm::actRejudgeExecute);
  actOnlineJudge = MakeAction("actOnlineJudge", "JudgerGroup", "Quét thư mục nộp bài trực tuyến",
                              K(ctrl | Qt::Key_F9), 17, &TMainForm::actOnlineJudgeExecute);
  actDetails = MakeAction("actDetails", "JudgerGroup", "Chi tiết chấm", K(), 18, &TMainForm::actDetailsExecute);
  actExportToExcel = MakeAction("actExportToExcel", "JudgerGroup", "Xuất kết quả ra Excel", K(Qt::Key_F12), 19,
                                &TMainForm::actExportToExcelExecute);
  actCompilerConfig = MakeAction("actCompilerConfig", "JudgerGroup", "Cấu hình bộ dịch", K(Qt::Key_F6), 20,
                                 &TMainForm::actCompilerConfigExecute);
  actSecurity = MakeAction("actSecurity", "JudgerGroup", "Bảo mật", K(Qt::Key_F7), 21,
                           &TMainForm::actSecurityExecute);
  actDeleteMark = MakeAction("actDeleteMark", "JudgerGroup", "Xóa điểm", K(), 22,
                             &TMainForm::actDeleteMarkExecute);

  actHelp = MakeAction("actHelp", "HelpGroup", "Hướng dẫn sử dụng", K(Qt::Key_F1), 23, &TMainForm::actHelpExecute);
  actAbout = MakeAction("actAbout", "HelpGroup", "Thông tin về sản phẩm", K(), 24, &TMainForm::actAboutExecute);
  actSnapshot = MakeAction("actSnapshot", "HelpGroup", "Chụp hình giao diện", K(ctrl | shift | Qt::Key_Q), -1,
                           &TMainForm::actSnapshotExecute);
  actSnapshotForm = MakeAction("actSnapshotForm", "HelpGroup", "Chụp hình cửa sổ", K(ctrl | alt | Qt::Key_Q), -1,
                               &TMainForm::actSnapshotFormExecute);

  // Disabled until the first load decides.
  for (QAction* a : {actJudge, actExportToExcel, actRefreshExams, actRefreshContestants}) a->setEnabled(false);
}

void TMainForm::CreateMenus() {
  auto add = [this](const char* Title, std::initializer_list<QAction*> Items) {
    QMenu* menu = menuBar()->addMenu(QString::fromUtf8(Title));
    for (QAction* a : Items) {
      if (a) menu->addAction(a);
      else menu->addSeparator();
    }
    return menu;
  };
  MainMenuItems[0] = add("Kỳ thi", {actNewContest, actOpenContest, actSaveContest, actSaveAsContest, nullptr,
                                    actSettings, nullptr, actExit});
  MainMenuItems[1] = add("Bài thi", {actReloadExams, actRefreshExams, nullptr, actSelectAllExams,
                                     actDeselectAllExams, actSelectInverseExams, nullptr});
  miExamConfig = MainMenuItems[1]->addMenu(MainImgList->Icon(10), QString::fromUtf8("Cấu hình bài thi"));
  miExamConfig->setObjectName("miExamConfig");
  miExamConfig->menuAction()->setVisible(false);
  MainMenuItems[2] = add("Thí sinh", {actReloadContestants, actRefreshContestants, nullptr, actSelectAll,
                                      actDeselectAll, actSelectinverse});
  MainMenuItems[3] = add("Chấm bài", {actJudge, actOnlineJudge, actExportToExcel, nullptr, actCompilerConfig,
                                      actSecurity});
  MainMenuItems[4] = add("Hướng dẫn", {actHelp, nullptr, actAbout});

  PopMainList = new QMenu(this);
  PopMainList->setObjectName("PopMainList");
  for (QAction* a : {actExamConfig, actDeleteMark, actRejudge, actDetails}) PopMainList->addAction(a);
}

void TMainForm::InitializeForm() {
  CreateWindowParts();
  CreateActions();
  CreateMenus();

  // 1. The toolbar slots.
  FBtns.clear();
  MakeToolBtn(actReloadExams, 1);
  MakeToolBtn(actReloadContestants, 2);
  MakeToolBtn(actRefreshExams, 13);
  MakeToolBtn(actRefreshContestants, 5);
  MakeToolBtn(nullptr, 0);
  MakeToolBtn(actNewContest, 6);
  MakeToolBtn(actOpenContest, 7);
  MakeToolBtn(actSaveContest, 8);
  MakeToolBtn(nullptr, 0);
  MakeToolBtn(actJudge, 3);
  MakeToolBtn(actOnlineJudge, 12);
  MakeToolBtn(actExportToExcel, 4);
  MakeToolBtn(nullptr, 0);
  MakeToolBtn(nullptr, 0);
  MakeToolBtn(actCompilerConfig, 9);
  MakeToolBtn(actSecurity, 11);
  MakeToolBtn(actSettings, 10);
  MakeToolBtn(actHelp, 0);

  // 2. Status text and caption.
  setWindowTitle(QString::fromUtf8(kCaption));
  ContestChanged = false;

  // 3. Both sets report their loads here; a set about to reload takes the
  // clicked row or column with it.
  Exams().OnLoaded = [this](TObject* Sender) { SetLoaded(Sender); };
  Results().OnLoaded = [this](TObject* Sender) { SetLoaded(Sender); };
  Exams().OnBeforeLoad = [this](TObject*) { ActiveE = nullptr; };
  Results().OnBeforeLoad = [this](TObject*) { ActiveC = nullptr; };

  // 4. The help page; drops are accepted by the grid itself.
  WebBrowser1->setSource(QUrl(Q(DocumentationURL())));

  // 5. The visual style.
  if (EnvConfig) {
    const auto& names = StyleNames();
    const bool known = std::any_of(names.begin(), names.end(),
                                   [](const std::string& N) { return SameText(N, EnvConfig->StyleName); });
    if (!known) EnvConfig->StyleName = "Default";
    ApplyStyle(EnvConfig->StyleName);

    // 6. The GUI font of the settings.
    const QFont& gui = CurrentGuiFont().Font;
    if (!FontFamilyAvailable(EnvConfig->GUIFontName)) {
      EnvConfig->GUIFontName = gui.family().toStdString();
      EnvConfig->GUIFontSize = gui.pointSize();
    }
    if (!SameText(EnvConfig->GUIFontName, gui.family().toStdString()) || EnvConfig->GUIFontSize != gui.pointSize()) {
      QFont font(Q(EnvConfig->GUIFontName), std::max(1, EnvConfig->GUIFontSize));
      ApplyDefaultFont(&font);
    }
  }
  RefreshBaseColors();

  // 7. Fit the toolbar; snapshot keys in the other windows.
  AlignAll();
  qApp->installEventFilter(this);

  // 9. The smallest size: 640 x 400 for the toolbar, the pages and the
  // status bar together; the menu bar comes on top of that.
  const int menuHeight = menuBar()->sizeHint().height();
  resize(640, 400 + menuHeight);
  setMinimumSize(640, 400 + menuHeight);

  // 10. An empty contest.
  actNewContestExecute();
  showMaximized();

  // 11. Toolbar visibility, column widths. The maximised size mostly comes
  // from the window system after the window is shown: the columns are
  // fitted once more to the first size the window really gets.
  ControlPanel->setVisible(!EnvConfig || EnvConfig->ToolBarVisible);
  AlignColumns();
  FFitColumnsOnFirstResize = true;
}

QAction* TMainForm::Action(const std::string& Name) const {
  const auto it = FActions.find(Name);
  return it == FActions.end() ? nullptr : it->second;
}

// --- refreshing -----------------------------------------------------------------

int TMainForm::GetTotalCol() const { return static_cast<int>(Exams().Count()) + 1; }

void TMainForm::UpdateAllGUI() {
  if (GUILocked) return;
  MainList->setUpdatesEnabled(false);
  UpdateColumnHeaders();
  UpdateMenuItems();
  UpdateItemList();
  MainList->setUpdatesEnabled(true);
}

void TMainForm::UpdateColumnHeaders() {
  const int before = MainListModel->columnCount();
  MainListModel->SetColumnCount(static_cast<int>(Exams().Count()) + 2);
  if (MainListModel->columnCount() <= before) return;
  // A selection covers the columns it was made over: a row selected before
  // more exams came would be highlighted only over its first columns.
  QItemSelectionModel* selection = MainList->selectionModel();
  if (!selection || !selection->hasSelection()) return;
  QItemSelection rows;
  for (const QItemSelectionRange& range : selection->selection())
    rows.select(MainListModel->index(range.top(), 0), MainListModel->index(range.bottom(), 0));
  selection->select(rows, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TMainForm::UpdateMenuItems() {
  miExamConfig->clear();
  const QIcon icon = MainImgList->Icon(10);
  for (std::ptrdiff_t i = 0; i < Exams().Count(); ++i) {
    // A menu reads "&" as the mark of an access key; the name shows whole.
    QAction* item = miExamConfig->addAction(icon, Q(Exams().ObjI(i)->Name()).replace('&', "&&"));
    item->setData(static_cast<int>(i));
    connect(item, &QAction::triggered, this, [this, i] {
      ActiveE = Exams().ObjI(i);
      actExamConfigExecute();
    });
  }
  miExamConfig->menuAction()->setVisible(!miExamConfig->isEmpty());
}

void TMainForm::UpdateItemList() {
  MainListModel->SetRowCount(static_cast<int>(Results().Count()));
  MainList->viewport()->update();
}

void TMainForm::UpdateMainTableC(TResultC* C, bool Focus) {
  if (!C) return;
  const std::ptrdiff_t row = Results().IndexOf(C->Name());
  if (row < 0 || row >= MainListModel->rowCount()) return;
  MainListModel->RowChanged(static_cast<int>(row));
  if (Focus) {
    const QModelIndex index = MainListModel->index(static_cast<int>(row), 0);
    MainList->scrollTo(index, QAbstractItemView::EnsureVisible);
    MainList->selectRow(static_cast<int>(row));
  }
}

void TMainForm::ShowGridPage() {
  WorkSpace->setCurrentWidget(tabSummary);
  MainList->setFocus();
}

void TMainForm::AlignColumns() {
  const int count = MainListModel->columnCount();
  if (count == 0) return;
  const int client = MainList->width() - 2 * MainList->frameWidth();
  const int w = (client - MainList->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, MainList)) / count;
  const QFontMetrics metrics(font());
  for (int i = 0; i < count; ++i) {
    const QString caption = MainListModel->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
    MainList->setColumnWidth(i, std::max(metrics.horizontalAdvance(caption) + StateImages1->Width(), w));
  }
}

void TMainForm::AlignAll() { AlignToolBtns(); }

void TMainForm::UpdateTitle() {
  const std::string& file = ContestInfo->FileName();
  // "[*]" in a title is Qt's mark for unsaved changes; doubled it shows as is.
  setWindowTitle(file.empty() ? QString::fromUtf8(kCaption)
                              : QString::fromUtf8(kCaption) + " ✓" + Q(file).replace("[*]", "[*][*]"));
}

void TMainForm::RefreshBaseColors() {
  QColor background = MainList->palette().color(QPalette::Base);
  QColor text = MainList->palette().color(QPalette::Text);
  if (IsCustomStyleActive()) {
    background = TColorToQColor(GetSystemColor(clWindow));
    text = TColorToQColor(GetSystemColor(clWindowText));
  }
  MainListModel->SetBaseColors(background, text);
}

void TMainForm::SetExamHeader(const TExamInfo* Exam) {
  if (!Exam) return;
  const std::ptrdiff_t i = Exams().IndexOf(Exam->Name());
  if (i >= 0) MainListModel->headerDataChanged(Qt::Horizontal, GetExamCol(int(i)), GetExamCol(int(i)));
}

// --- the enabling rule ---------------------------------------------------------

void TMainForm::SetLoaded(TObject* Sender) {
  if (Sender == static_cast<TObject*>(&Exams())) {
    actRefreshExams->setEnabled(!Exams().Dir().empty());
    actExamConfig->setEnabled(actReloadExams->isEnabled());
  }
  if (Sender == static_cast<TObject*>(&Results())) actRefreshContestants->setEnabled(!Results().Dir().empty());
  const bool judge = !Exams().Dir().empty() && !Results().Dir().empty();
  for (QAction* a : {actJudge, actRejudge, actDeleteMark, actDetails, actExportToExcel}) a->setEnabled(judge);
  UpdateOnlineJudging();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  UpdateAllGUI();
}

// --- hit test, popup ---------------------------------------------------------------

TListHit TMainForm::ListHitTest(const QPoint& P) const {
  TListHit hit;
  const int row = MainList->rowAt(P.y());
  const int col = MainList->columnAt(P.x());
  if (row < 0 || col < 0) return hit;
  hit.Row = row;
  hit.Exam = col - 1;
  if (col == 0) hit.OnStateIcon = MainList->StateIconRect(MainListModel->index(row, 0)).contains(P);
  return hit;
}

void TMainForm::PopupListMenu() {
  actExamConfig->setVisible(ActiveC == nullptr && ActiveE != nullptr);
  PopMainList->popup(QCursor::pos());
}

// --- grid input ---------------------------------------------------------------------

void TMainForm::ToggleContestant(int Row) {
  TResultC* C = Results().ObjI(Row);
  if (!C) return;
  C->Enabled = !C->Enabled;
  MainListModel->RowChanged(Row);
}

void TMainForm::MainListMouseDown(Qt::MouseButton Button, const QPoint& P, bool SecondOfDouble) {
  const TListHit hit = ListHitTest(P);
  ActiveC = hit.Row >= 0 && hit.Row < Results().Count() ? Results().ObjI(hit.Row) : nullptr;
  ActiveE = ActiveC && hit.Exam >= 0 && hit.Exam < Exams().Count() ? Exams().ObjI(hit.Exam) : nullptr;
  if (Button == Qt::LeftButton && ActiveC && hit.OnStateIcon && !SecondOfDouble) ToggleContestant(hit.Row);
  if (Button == Qt::RightButton) PopupListMenu();
}

void TMainForm::MainListDblClick(const QPoint& P) {
  if (ListHitTest(P).OnStateIcon) return;
  if (actDetails->isEnabled()) actDetailsExecute();
}

void TMainForm::MainListColumnClick(int Column) {
  TExamInfo* E = Exams().ObjI(Column - 1);
  if (!E || Column == 0) return;
  E->Enabled = !E->Enabled;
  SetExamHeader(E);
}

void TMainForm::MainListColumnRightClick(int Column) {
  ActiveE = Column > 0 ? Exams().ObjI(Column - 1) : nullptr;
  ActiveC = nullptr;
  PopupListMenu();
}

bool TMainForm::MainListKeyDown(int Key, Qt::KeyboardModifiers Modifiers) {
  const Qt::KeyboardModifiers mods = Modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
  if (Key != Qt::Key_S || mods != (Qt::ControlModifier | Qt::AltModifier)) return false;
  if (TimerScroll->isActive()) TimerScroll->stop();
  else if (VQRMsgDlg("Bật chế độ cuộn tự động?", mtConfirmation, {mbYes, mbNo}) == mrYes) TimerScroll->start();
  return true;
}

void TMainForm::MainListKeyPress(int Key) {
  if (Key != Qt::Key_Space) return;
  const QModelIndexList rows = MainList->selectionModel() ? MainList->selectionModel()->selectedRows() : QModelIndexList();
  if (rows.isEmpty()) return;
  ToggleContestant(rows.first().row());
}

void TMainForm::MainListDrop(const std::vector<std::string>& Paths, const QPoint& P) {
  if (Paths.empty()) return;
  const std::string& path = Paths.front();
  std::error_code ec;
  const std::filesystem::file_status st = std::filesystem::status(path, ec);
  if (std::filesystem::is_regular_file(st)) {
    if (IsContestFileName(path)) LoadContest(path);
    else if (!IsExecutableFile(path)) DesktopOpen(path);  // a contestant's program never runs from a drop
    return;
  }
  if (!std::filesystem::is_directory(st)) return;  // gone, a socket, a device
  const int column0 = MainList->columnWidth(0) - MainList->horizontalHeader()->offset();
  const int x = P.x();
  if (x >= 0 && x < column0) SetContestantsDir(path);
  else if (x >= column0 && x < MainList->width()) SetExamsDir(path);
}

QString TMainForm::MainListHint(const QPoint& P) const {
  const int column0 = MainList->columnWidth(0) - MainList->horizontalHeader()->offset();
  return QString::fromUtf8(P.x() >= 0 && P.x() < column0 ? kContestantsHint : kExamsHint);
}

void TMainForm::TimerScrollTimer() {
  const int count = MainListModel->rowCount();
  if (count == 0 || !IsMainFormActive()) return;
  if (++ScrollIdleCount < 2) return;
  ScrollIdleCount = 0;
  AutoScrollStep(count, ScrollPos, ScrollDir);
  MainList->scrollTo(MainListModel->index(ScrollPos, 0), QAbstractItemView::EnsureVisible);
}

// --- window events ---------------------------------------------------------------------

void TMainForm::resizeEvent(QResizeEvent* Event) {
  QMainWindow::resizeEvent(Event);
  setUpdatesEnabled(false);
  AlignAll();
  // A size the jury drags keeps the widths the columns have; the first size
  // after start-up or after maximising or restoring the window fits them.
  if (FFitColumnsOnFirstResize && isVisible() && !isMinimized()) {
    FFitColumnsOnFirstResize = false;
    AlignColumns();
  }
  setUpdatesEnabled(true);
}

void TMainForm::changeEvent(QEvent* Event) {
  QMainWindow::changeEvent(Event);
  if (Event->type() == QEvent::ActivationChange) TryPendingParams();
  if (Event->type() == QEvent::WindowStateChange) {
    const Qt::WindowStates old = static_cast<QWindowStateChangeEvent*>(Event)->oldState();
    if (isMinimized()) {
      if (!(old & Qt::WindowMinimized)) FStateBeforeMinimize = old;
    } else if (MainListModel) {
      // The window system may have sized the window already or may do so
      // later: fit now and again at the size it gets.
      AlignColumns();
      FFitColumnsOnFirstResize = true;
    }
  }
  if ((Event->type() == QEvent::StyleChange || Event->type() == QEvent::PaletteChange) && MainListModel) {
    RefreshBaseColors();
    MainList->viewport()->update();
  }
}

bool TMainForm::eventFilter(QObject* Watched, QEvent* Event) {
  switch (Event->type()) {
    case QEvent::Show:
    case QEvent::Resize:
      if (Watched == ControlPanel) AlignToolBtns();
      break;
    case QEvent::ToolTip:
      if (auto* btn = qobject_cast<QWidget*>(Watched); btn && btn->parentWidget() == ControlPanel) {
        QToolTip::showText(btn->mapToGlobal(QPoint(0, btn->height() + 4)), btn->toolTip(), btn, {}, kHintHideMs);
        return true;
      }
      break;
    case QEvent::KeyPress:
      if (auto* w = qobject_cast<QWidget*>(Watched)) {
        QWidget* form = w->window();
        if (form != this && !dynamic_cast<TAboutForm*>(form)) {
          auto* key = static_cast<QKeyEvent*>(Event);
          const Qt::KeyboardModifiers mods = key->modifiers();
          if (key->key() == Qt::Key_Q && (mods & Qt::ControlModifier) &&
              (mods & (Qt::ShiftModifier | Qt::AltModifier))) {
            ActiveFormChange(form);
            SnapshotKeys(mods & Qt::ShiftModifier, mods & Qt::AltModifier);
            return true;
          }
        }
      }
      break;
    default:
      break;
  }
  return QMainWindow::eventFilter(Watched, Event);
}

void TMainForm::ActiveFormChange(QWidget* Form) { FSnapshotForm = Form; }

void TMainForm::SnapshotKeys(bool Shift, bool Alt) {
  if (Shift) actSnapshotExecute();
  if (Alt) actSnapshotFormExecute();
}

// --- toolbar fitting ------------------------------------------------------------------

void TMainForm::MakeToolBtn(QAction* Action, std::intptr_t Priority) {
  if (!Action) {
    FBtns.push_back({nullptr, 0});
    return;
  }
  auto* btn = new TMainToolBtn(ControlPanel);
  btn->setObjectName("btn" + Action->objectName().mid(3));
  btn->setGeometry(kToolBtnLeft, kToolBtnTop, kToolBtnSize, kToolBtnSize);
  Action->setToolTip(Action->text());
  btn->SetAction(Action);
  btn->installEventFilter(this);
  FBtns.push_back({btn, Priority});
}

int TMainForm::LayoutToolBtns(std::intptr_t T, bool Apply) {
  int x = kToolBtnLeft;
  bool lastWasGap = true;
  for (const TToolRec& slot : FBtns) {
    if (T >= slot.priority) {
      if (slot.btn) {
        if (Apply) {
          slot.btn->move(x, slot.btn->y());
          slot.btn->setVisible(true);
        }
        lastWasGap = false;
        x += slot.btn->width();
      } else {
        if (!lastWasGap) x += kToolGap;
        lastWasGap = true;
      }
    } else if (Apply && slot.btn) {
      slot.btn->setVisible(false);
    }
  }
  return x;
}

void TMainForm::AlignToolBtns() {
  if (!ControlPanel || ControlPanel->isHidden() || FBtns.empty()) return;
  const TRect inside = ControlPanel->GetInsideRect();
  const int W = inside.Right - inside.Left;
  std::intptr_t lo = 0, hi = static_cast<std::intptr_t>(FBtns.size());
  while (lo <= hi) {
    const std::intptr_t mid = (lo + hi) / 2;
    if (LayoutToolBtns(mid, false) > W) hi = mid - 1;
    else lo = mid + 1;
  }
  LayoutToolBtns(hi, true);
  if (TSmartToolBtn* help = FBtns.back().btn) help->move(inside.Right - help->width(), help->y());
}

// --- contest commands ------------------------------------------------------------------

bool TMainForm::SaveQuestion() {
  if (!ContestChanged) return true;
  if (VQRMsgDlg("Bạn có muốn ghi lại kỳ thi hiện tại không?", mtConfirmation, {mbYes, mbNo}) != mrYes) return true;
  UserAbort = false;
  actSaveContestExecute();
  return !UserAbort;
}

void TMainForm::TellLoadProblems(const std::string& Heading, const TLoadProblems& Problems) {
  if (Problems.empty()) return;
  std::string msg = Heading;
  std::size_t shown = 0;
  for (const TLoadProblem& p : Problems) {
    if (p.Lost) LoadLostData = true;
    if (shown++ < kMaxProblemLines) msg += "\r\n- " + p.Text;
  }
  if (shown > kMaxProblemLines)
    msg += "\r\n... và " + std::to_string(shown - kMaxProblemLines) + " lỗi khác.";
  VQRMsgDlg(msg, mtWarning, {mbOK});
}

bool TMainForm::MayOverwriteSource(const std::string& File) {
  if (!LoadLostData || SourceFile.empty()) return true;
  std::error_code ec1, ec2;
  const auto a = std::filesystem::weakly_canonical(File, ec1);
  const auto b = std::filesystem::weakly_canonical(SourceFile, ec2);
  if (ec1 || ec2 ? File != SourceFile : a != b) return true;
  return VQRMsgDlg("Kỳ thi đang mở thiếu phần không nạp được (đã báo khi nạp). Nếu ghi đè lên file \"" + File +
                       "\", phần đó sẽ mất hẳn khỏi file.\r\nBạn vẫn muốn ghi đè lên file này? "
                       "Nếu không, file cũ được giữ nguyên; có thể ghi kỳ thi dưới một tên khác.",
                   mtWarning, {mbYes, mbNo}) == mrYes;
}

void TMainForm::actNewContestExecute() {
  if (!SaveQuestion()) return;
  LoadLostData = false;
  SourceFile.clear();
  ContestInfo->Reset();
  UpdateAllGUI();
  AlignColumns();
  setWindowTitle(QString::fromUtf8(kCaption));
}

void TMainForm::actOpenContestExecute() {
  QFileDialog dialog(this, QString::fromUtf8("Mở kỳ thi"), Q(ContestFolder()), QString::fromUtf8(kContestFilter));
  dialog.setObjectName("odContest");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix("contest");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  LoadContest(dialog.selectedFiles().first().toStdString());
  AlignColumns();
}

void TMainForm::LoadContest(const std::string& FileName) {
  if (!SaveQuestion()) return;
  const bool locked = GUILocked;
  GUILocked = true;
  bool loaded = false;
  std::string error;
  try {
    ContestInfo->Reset();
    loaded = ContestInfo->FileLoad(FileName);
    error = ContestInfo->ErrorMsg();
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (loaded) {
    ContestInfo->SetFileName(FileName);
    UpdateTitle();
  } else {
    // Whatever the archive gave before it failed (folders without their
    // settings or results) would judge with defaults: start empty instead.
    ContestInfo->Reset();
    setWindowTitle(QString::fromUtf8(kCaption));
  }
  GUILocked = locked;
  UpdateAllGUI();
  AlignColumns();
  ContestChanged = false;
  LoadLostData = false;
  SourceFile = loaded ? FileName : std::string();
  if (!loaded && !error.empty())
    VQRMsgDlg("Không mở được kỳ thi: " + FileName + "\r\n" + error, mtError, {mbOK});
  if (loaded)
    TellLoadProblems("Đã mở kỳ thi " + FileName + " nhưng có phần không nạp được:", ContestInfo->LoadProblems());
}

void TMainForm::actSaveContestExecute() {
  const std::string file = ContestInfo->FileName();
  if (file.empty()) {
    actSaveAsContestExecute();
  } else {
    if (!MayOverwriteSource(file)) {
      UserAbort = true;
      return;
    }
    bool saved = false;
    std::string error;
    try {
      saved = ContestInfo->FileSave(file);
      error = ContestInfo->ErrorMsg();
    } catch (const std::exception& e) {
      error = e.what();
    }
    UserAbort = !saved;
    if (!saved && !error.empty()) VQRMsgDlg("Không ghi được kỳ thi: " + file + "\r\n" + error, mtError, {mbOK});
    if (saved) {
      // The file now holds the contest as it stands.
      LoadLostData = false;
      SourceFile = file;
    }
  }
  if (!UserAbort) ContestChanged = false;
}

void TMainForm::actSaveAsContestExecute() {
  QFileDialog dialog(this, QString::fromUtf8("Ghi kỳ thi"), Q(ContestFolder()), QString::fromUtf8(kContestFilter));
  dialog.setObjectName("sdContest");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("contest");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    UserAbort = true;
    return;
  }
  const std::string old = ContestInfo->FileName();
  ContestInfo->SetFileName(dialog.selectedFiles().first().toStdString());
  UserAbort = false;
  actSaveContestExecute();
  if (UserAbort) ContestInfo->SetFileName(old);
  else UpdateTitle();
}

// A folder whose set failed to load is dropped with its set, not kept
// beside an empty one: judging and the submission watch follow the folders,
// and a watch over a folder without exams would delete every waiting file.
void TMainForm::DropContestantsDir() { Results().SetDir(""); }
void TMainForm::DropExamsDir() { Exams().SetDir(""); }

void TMainForm::SetContestantsDir(const std::string& Folder) {
  TLoadProblems problems;
  try {
    Results().SetDir(Folder);
    if (EnvConfig) EnvConfig->LastContestantDir = Folder;
    problems = Results().LoadProblems();
  } catch (const std::exception& e) {
    DropContestantsDir();
    problems.push_back({"Không đọc được thư mục thí sinh " + Folder + ", danh sách thí sinh để trống. Chi tiết: " +
                            e.what(),
                        true});
  }
  if (Exams().Dir().empty()) AlignColumns();
  ContestChanged = true;
  TellLoadProblems("Nạp danh sách thí sinh: có phần không nạp được:", problems);
}

void TMainForm::SetExamsDir(const std::string& Folder) {
  TLoadProblems problems;
  try {
    Exams().SetDir(Folder);
    if (EnvConfig) EnvConfig->LastExamDir = Folder;
    problems = Exams().LoadProblems();
  } catch (const std::exception& e) {
    DropExamsDir();
    problems.push_back(
        {"Không đọc được thư mục bài thi " + Folder + ", danh sách bài thi để trống. Chi tiết: " + e.what(), true});
  }
  for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) {
    TResultC* C = Results().ObjI(i);
    C->Clear();
    C->UpdateScore();
  }
  UpdateAllGUI();
  AlignColumns();
  ContestChanged = true;
  TellLoadProblems("Nạp danh sách bài thi: có phần không nạp được:", problems);
}

void TMainForm::actReloadContestantsExecute() {
  TSelectDirectory dialog(this);
  dialog.SetTitle("Chọn thư mục chứa bài làm");
  dialog.SetDirectory(SetFolder(Results().Dir(), EnvConfig ? EnvConfig->LastContestantDir : std::string()));
  if (dialog.Execute()) SetContestantsDir(dialog.Directory());
}

void TMainForm::actReloadExamsExecute() {
  TSelectDirectory dialog(this);
  dialog.SetTitle("Chọn thư mục chứa bài thi");
  dialog.SetDirectory(SetFolder(Exams().Dir(), EnvConfig ? EnvConfig->LastExamDir : std::string()));
  if (dialog.Execute()) SetExamsDir(dialog.Directory());
  AlignColumns();
}

// A rescan whose folder cannot be read at all, or is gone as a whole (an
// unpacked contest cleaned away), changes nothing: the sets are left as
// they were, so no exam, contestant or result is dropped for a folder that
// may only be unreachable for a moment. (A failing scan raises before the
// set removes anything.)
namespace {
void RequireFolder(const std::string& Dir) {
  std::error_code ec;
  if (!Dir.empty() && !std::filesystem::is_directory(Dir, ec)) throw EFileError("không tìm thấy thư mục " + Dir);
}
}  // namespace

void TMainForm::actRefreshContestantsExecute() {
  TLoadProblems problems;
  try {
    RequireFolder(Results().Dir());
    Results().Refresh();
    problems = Results().LoadProblems();
  } catch (const std::exception& e) {
    problems.push_back({"Không đọc được thư mục thí sinh " + Results().Dir() +
                        ", danh sách thí sinh giữ như trước. Chi tiết: " + e.what()});
  }
  UpdateAllGUI();
  ContestChanged = true;
  TellLoadProblems("Cập nhật lại danh sách thí sinh: có phần không nạp được:", problems);
}

void TMainForm::actRefreshExamsExecute() {
  TLoadProblems problems;
  try {
    RequireFolder(Exams().Dir());
    Exams().Refresh();
    problems = Exams().LoadProblems();
    // Results of vanished exams are gone; the totals follow. A damaged
    // exam is still in the set, so its results stay.
    Results().SyncE(Exams());
    for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) Results().ObjI(i)->UpdateScore();
  } catch (const std::exception& e) {
    problems.push_back({"Không đọc được thư mục bài thi " + Exams().Dir() +
                        ", danh sách bài thi và kết quả giữ như trước. Chi tiết: " + e.what()});
  }
  UpdateAllGUI();
  AlignColumns();
  ContestChanged = true;
  TellLoadProblems("Cập nhật lại danh sách bài thi: có phần không nạp được:", problems);
}

void TMainForm::actSelectAllExecute() {
  for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) Results().ObjI(i)->Enabled = true;
  UpdateItemList();
}

void TMainForm::actDeselectAllExecute() {
  for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) Results().ObjI(i)->Enabled = false;
  UpdateItemList();
}

void TMainForm::actSelectinverseExecute() {
  for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) {
    TResultC* C = Results().ObjI(i);
    C->Enabled = !C->Enabled;
  }
  UpdateItemList();
}

void TMainForm::actSelectAllExamsExecute() {
  for (std::ptrdiff_t i = 0; i < Exams().Count(); ++i) Exams().ObjI(i)->Enabled = true;
  MainListModel->HeadersChanged();
}

void TMainForm::actDeselectAllExamsExecute() {
  for (std::ptrdiff_t i = 0; i < Exams().Count(); ++i) Exams().ObjI(i)->Enabled = false;
  MainListModel->HeadersChanged();
}

void TMainForm::actSelectInverseExamsExecute() {
  for (std::ptrdiff_t i = 0; i < Exams().Count(); ++i) {
    TExamInfo* E = Exams().ObjI(i);
    E->Enabled = !E->Enabled;
  }
  MainListModel->HeadersChanged();
}

void TMainForm::RunQueue(const std::vector<std::string>& CNames, const std::vector<std::string>& ENames) {
  TQueue<TJudgePair> queue;
  for (const std::string& c : CNames)
    for (const std::string& e : ENames) {
      TJudgePair pair;
      MakeJudgePair(c, e, pair);
      queue.Push(pair);
    }
  const bool scrolling = TimerScroll->isActive();
  TimerScroll->stop();
  try {
    RunJudge(queue);
  } catch (...) {
    if (scrolling) TimerScroll->start();
    ScrollIdleCount = 0;
    ContestChanged = true;
    throw;
  }
  ContestChanged = true;
  if (scrolling) TimerScroll->start();
  ScrollIdleCount = 0;
}

void TMainForm::actJudgeExecute() {
  ShowGridPage();
  std::vector<std::string> contestants, exams;
  for (std::ptrdiff_t i = 0; i < Results().Count(); ++i)
    if (Results().ObjI(i)->Enabled) contestants.push_back(Results().ObjI(i)->Name());
  for (std::ptrdiff_t i = 0; i < Exams().Count(); ++i)
    if (Exams().ObjI(i)->Enabled) exams.push_back(Exams().ObjI(i)->Name());
  RunQueue(contestants, exams);
}

void TMainForm::actRejudgeExecute() {
  std::vector<std::string> contestants, exams;
  if (ActiveC) contestants.push_back(ActiveC->Name());
  else
    for (std::ptrdiff_t i = 0; i < Results().Count(); ++i)
      if (Results().ObjI(i)->Enabled) contestants.push_back(Results().ObjI(i)->Name());
  if (ActiveE) exams.push_back(ActiveE->Name());
  else
    for (std::ptrdiff_t i = 0; i < Exams().Count(); ++i)
      if (Exams().ObjI(i)->Enabled) exams.push_back(Exams().ObjI(i)->Name());
  RunQueue(contestants, exams);
}

void TMainForm::actOnlineJudgeExecute() {
  ShowGridPage();
  const bool scrolling = TimerScroll->isActive();
  TimerScroll->stop();
  try {
    ScanAndJudgeSubmissions();
  } catch (const std::exception& e) {
    VQRMsgDlg(e.what(), mtError, {mbOK});
  }
  if (scrolling) TimerScroll->start();
  ScrollIdleCount = 0;
}

void TMainForm::actDetailsExecute() {
  TQueue<std::string> contestants, exams;
  if (ActiveC) contestants.Push(ActiveC->Name());
  else
    for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) contestants.Push(Results().ObjI(i)->Name());
  if (ActiveE) exams.Push(ActiveE->Name());
  else
    for (std::ptrdiff_t i = 0; i < Exams().Count(); ++i) exams.Push(Exams().ObjI(i)->Name());
  ShowJudgeReport(contestants, exams);
}

void TMainForm::actDeleteMarkExecute() {
  // Everything a click on empty space would clear is asked about first.
  std::ptrdiff_t going = 0;
  auto countOf = [this](const TResultC* C) -> std::ptrdiff_t {
    return ActiveE ? (C->Obj(ActiveE->Name()) ? 1 : 0) : C->Count();
  };
  if (ActiveC) going = countOf(ActiveC);
  else
    for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) going += countOf(Results().ObjI(i));
  if (going > 1 &&
      VQRMsgDlg("Bạn có chắc chắn muốn xóa điểm không?", mtConfirmation, {mbYes, mbNo}) != mrYes)
    return;
  ContestChanged = true;
  auto clean = [this](TResultC* C) {
    if (ActiveE) C->Remove(ActiveE->Name());
    else C->Clear();
    C->UpdateScore();
  };
  if (ActiveC) {
    clean(ActiveC);
    UpdateMainTableC(ActiveC, true);
  } else {
    for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) clean(Results().ObjI(i));
    UpdateItemList();
  }
}

void TMainForm::actExamConfigExecute() {
  while (ActiveE) {
    const int r = EditExamConfig(ActiveE);
    if (r == 1) return;
    SetExamHeader(ActiveE);
    bool clean = false;
    const TExamEditAction mode = EnvConfig ? EnvConfig->ExamEditAction : eeaAsk;
    if (mode == eeaClean) {
      clean = true;
    } else if (mode == eeaAsk) {
      const int answer = VQRMsgDlg("Cấu hình bài thi " + ActiveE->Name() +
                                       " vừa được cập nhật.\r\nBạn có muốn xóa kết quả đã chấm với bài này?",
                                   mtConfirmation, {mbYes, mbNo, mbNoToAll, mbYesToAll});
      if (answer == mrNoToAll && EnvConfig) EnvConfig->ExamEditAction = eeaKeep;
      if (answer == mrYesToAll && EnvConfig) EnvConfig->ExamEditAction = eeaClean;
      clean = answer == mrYes || answer == mrYesToAll;
    }
    if (clean) {
      Results().CleanScore(ActiveE->Name());
      UpdateItemList();
    }
    ContestChanged = true;
    if (r != 2 && r != 3) return;
    const std::ptrdiff_t count = Exams().Count();
    if (count == 0) return;
    std::ptrdiff_t i = Exams().IndexOf(ActiveE->Name());
    i = r == 2 ? (i + 1) % count : (i - 1 + count) % count;
    ActiveE = Exams().ObjI(i);
  }
}

void TMainForm::actSettingsExecute() {
  const std::string style = EnvConfig ? EnvConfig->StyleName : std::string();
  const std::string pattern = EnvConfig ? EnvConfig->NumberFormat : std::string();
  EditSettings();
  UpdateOnlineJudging();
  ControlPanel->setVisible(!EnvConfig || EnvConfig->ToolBarVisible);
  if (EnvConfig && (EnvConfig->StyleName != style || EnvConfig->NumberFormat != pattern)) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    RefreshBaseColors();
    UpdateAllGUI();
  }
}

void TMainForm::actExitExecute() { close(); }
void TMainForm::actCompilerConfigExecute() { EditCompilerConfig(); }
void TMainForm::actSecurityExecute() { EditSecurity(); }
void TMainForm::actExportToExcelExecute() { ExportToExcel(); }
void TMainForm::actAboutExecute() { ShowAboutBox(); }
void TMainForm::actHelpExecute() { ShowHelp(""); }

void TMainForm::ShowHelp(const std::string& Topic) {
  const QUrl page(Q(DocumentationURL() + "#" + Topic));
  WebBrowser1->setSource(page);
  WorkSpace->setCurrentWidget(tabHelp);
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal || modal == this) {
    raise();
    activateWindow();
    return;
  }
  // A dialog of ours that asks for help blocks this window: the page opens
  // in a window of the dialog's own, in front of it and usable.
  auto* help = modal->findChild<QDialog*>("HelpWindow", Qt::FindDirectChildrenOnly);
  if (!help) {
    help = new QDialog(modal, Qt::Window);
    help->setObjectName("HelpWindow");
    help->setWindowTitle(QString::fromUtf8("Hướng dẫn"));
    auto* browser = new QTextBrowser(help);
    browser->setObjectName("HelpBrowser");
    browser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(help);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser);
    help->resize(720, 540);
    // It goes with the dialog, so it never stands between the jury and
    // this window.
    if (auto* dialog = qobject_cast<QDialog*>(modal)) connect(dialog, &QDialog::finished, help, &QWidget::close);
  }
  help->findChild<QTextBrowser*>("HelpBrowser")->setSource(page);
  help->show();
  help->raise();
  help->activateWindow();
}

QImage TMainForm::CaptureForm(QWidget* Form) {
  QImage image;
  if (!Form) return image;
  const QRect frame = Form->frameGeometry();
  QScreen* screen = Form->screen();
  if (screen && QGuiApplication::platformName() != "offscreen")
    image = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).toImage();
  if (image.isNull()) image = Form->grab().toImage();  // screens that cannot be read
  image = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) line[x] |= 0xFF000000u;
  }
  return image;
}

void TMainForm::actSnapshotExecute() { QGuiApplication::clipboard()->setImage(CaptureForm(this)); }

void TMainForm::actSnapshotFormExecute() {
  QWidget* form = FSnapshotForm ? FSnapshotForm.data() : QApplication::activeWindow();
  FSnapshotForm = nullptr;
  QGuiApplication::clipboard()->setImage(CaptureForm(form ? form : this));
}

}  // namespace velkor
