#include "app/MainUnit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

#include "app/AboutU.h"
#include "app/FormParts.h"
#include "app/MainImages.h"
#include "app/MainUnit_Internal.h"
#include "components/ShellComponents.h"
#include "toolkit/MainMenuBar.h"
#include "toolkit/SingleInstance.h"
#include "components/Btns.h"
#include "components/DefaultFonts.h"
#include "components/ImageLists.h"
#include "components/Panels.h"
#include "core/Dialogs.h"
#include "core/NameCompare.h"
#include "judging/EnvConfig.h"
#include "toolkit/VisualStyles.h"

namespace velkor {

TMainForm* MainForm = nullptr;

using namespace mainunit;

namespace {

const char* const kStatusText = "Velkor: ✓: Đã chấm; ∄: Không nộp bài; ℱ: Dịch bị lỗi; ⚠: Lỗi nghiêm trọng.";
constexpr int kPanelHeight = 68;

}  // namespace

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
  // The grid is what the jury works in: it has the keys (the Menu key, the
  // space bar) when the window first comes up, not the page tabs.
  MainList->setFocus();

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
  setMenuBar(new TMainMenuBar(this));
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

void TMainForm::UpdateAllGUI() {
  if (GUILocked) return;
  MainList->setUpdatesEnabled(false);
  UpdateColumnHeaders();
  UpdateMenuItems();
  UpdateItemList();
  MainList->setUpdatesEnabled(true);
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

void TMainForm::AlignAll() { AlignToolBtns(); }

void TMainForm::UpdateTitle() {
  const std::string& file = ContestInfo->FileName();
  // "[*]" in a title is Qt's mark for unsaved changes; doubled it shows as is.
  setWindowTitle(file.empty() ? QString::fromUtf8(kCaption)
                              : QString::fromUtf8(kCaption) + " ✓" + Q(file).replace("[*]", "[*][*]"));
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

void TMainForm::actExitExecute() { close(); }
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
