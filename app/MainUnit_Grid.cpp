// The main window's result grid: the texts and colours of its cells, the
// model that reads the open contest, the view, and what the jury's clicks,
// keys and drops on it do.
#include "app/MainUnit.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

#include "app/FormParts.h"
#include "app/MainUnit_Internal.h"
#include "components/ImageLists.h"
#include "core/Dialogs.h"
#include "core/NameCompare.h"
#include "core/NumberFormat.h"
#include "judging/EnvConfig.h"
#include "toolkit/DesktopOpen.h"
#include "toolkit/VisualStyles.h"

namespace velkor {

using namespace mainunit;

namespace {

const char* const kContestantColumn = "Thí sinh";
const char* const kTotalColumn = "Tổng điểm";
const char* const kContestantsHint =
    "Nạp nhanh danh sách thí sinh:\r\nKéo thư mục chứa các bài làm của thí sinh thả vào cột này";
const char* const kExamsHint = "Nạp nhanh danh sách bài thi\r\nKéo thư mục chứa các bài thi thả vào cột này";

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
// the state icon where the style puts it. Marks the current cell while the
// grid has the focus: the whole row is highlighted, yet the arrow keys, Enter
// and the Menu key act on one cell of it.
class TMainListDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    QStyledItemDelegate::paint(Painter, Option, Index);
    if (Option.state & QStyle::State_HasFocus) PaintCurrentCellMark(Painter, Option);
  }
  // A frame in the colour of the cell's text, inside the grid lines.
  static void PaintCurrentCellMark(QPainter* Painter, const QStyleOptionViewItem& Option) {
    const bool selected = Option.state & QStyle::State_Selected;
    const QColor colour = Option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    Painter->save();
    Painter->setRenderHint(QPainter::Antialiasing, false);
    Painter->setPen(QPen(colour, kCurrentCellFrame, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    Painter->setBrush(Qt::NoBrush);
    const int inset = kCurrentCellFrame / 2 + 1;
    Painter->drawRect(Option.rect.adjusted(inset, inset, -inset - 1, -inset - 1));
    Painter->restore();
  }
  static constexpr int kCurrentCellFrame = 2;
  QRect DecorationRect(const QStyleOptionViewItem& ViewOption, const QModelIndex& Index, const QWidget* View) const {
    QStyleOptionViewItem opt = ViewOption;
    initStyleOption(&opt, Index);
    QStyle* style = View ? View->style() : QApplication::style();
    return style->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, View);
  }
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
  const Qt::KeyboardModifiers mods = Event->modifiers() & ~Qt::KeypadModifier;
  if ((Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) && mods == Qt::NoModifier) {
    FForm->MainListEnterKey();
    return;
  }
  if ((Event->key() == Qt::Key_Menu && mods == Qt::NoModifier) ||
      (Event->key() == Qt::Key_F10 && mods == Qt::ShiftModifier)) {
    FForm->MainListContextKey();
    return;
  }
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

void TMainListView::contextMenuEvent(QContextMenuEvent* Event) {
  // Clicks open the popup on their press; this is the keyboard's request.
  if (Event->reason() == QContextMenuEvent::Keyboard) FForm->MainListContextKey();
  Event->accept();
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

// --- refreshing -----------------------------------------------------------------

int TMainForm::GetTotalCol() const { return static_cast<int>(Exams().Count()) + 1; }

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

void TMainForm::PopupListMenu(const QPoint& ScreenPoint) {
  actExamConfig->setVisible(ActiveC == nullptr && ActiveE != nullptr);
  PopMainList->popup(ScreenPoint);
}

void TMainForm::PopupListMenu() { PopupListMenu(QCursor::pos()); }

QModelIndex TMainForm::SetActiveFromCurrentCell() {
  const QModelIndex cell = MainList->currentIndex();
  ActiveC = cell.isValid() && cell.row() < Results().Count() ? Results().ObjI(cell.row()) : nullptr;
  const int exam = cell.column() - 1;
  ActiveE = ActiveC && exam >= 0 && exam < Exams().Count() ? Exams().ObjI(exam) : nullptr;
  return cell;
}

void TMainForm::MainListContextKey() {
  // The platform may report the Menu key both as a key and as a context
  // menu request: one popup.
  if (PopMainList->isVisible()) return;
  const QModelIndex cell = SetActiveFromCurrentCell();
  QPoint at;  // the grid's corner when no cell has the focus
  if (cell.isValid()) {
    MainList->scrollTo(cell);
    at = MainList->visualRect(cell).center();
  }
  PopupListMenu(MainList->viewport()->mapToGlobal(at));
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

void TMainForm::MainListEnterKey() {
  SetActiveFromCurrentCell();
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

}  // namespace velkor
