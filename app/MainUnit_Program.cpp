// The main window's part in the program's life: the parameters it acts on
// (its own at start-up and those a second copy hands over), the questions
// it asks before it closes, and online judging, which runs passes over the
// submission folder while files wait there.
#include "app/MainUnit.h"

#include <QCloseEvent>
#include <QShowEvent>
#include <QGuiApplication>
#include <QSessionManager>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <filesystem>

#include "app/JudgeU.h"
#include "app/MainFormLink.h"
#include "app/OnlineJudging.h"
#include "app/RunOnceUtils.h"
#include "components/Panels.h"
#include "components/ShellComponents.h"
#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "core/SystemInfo.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/Globals.h"
#include "judging/SubmitU.h"
#include "toolkit/SingleInstance.h"
#include "toolkit/VisualStyles.h"

namespace velkor {

namespace {

constexpr int kOnlineTickMs = 500;
constexpr std::uint32_t kSubmitNotifyIntervalMs = 5000;

bool IsFolder(const std::string& Path) {
  std::error_code ec;
  return !Path.empty() && std::filesystem::is_directory(Path, ec);
}

// What "/LOAD" may open: an existing file, not a folder.
bool IsLoadableFile(const std::string& Path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(Path, ec);
}

void ShowError(const std::exception& e) { VQRMsgDlg(e.what(), mtError, {mbOK}); }

}  // namespace

void TMainForm::InitializeProgramPart() {
  ntfSubmit = new TVQRShellChangeNotifier(this);
  ntfSubmit->SetNotifyFilters(TNotifyFilters{nfFileNameChange});
  ntfSubmit->SetWatchSubTree(false);
  ntfSubmit->SetInterval(kSubmitNotifyIntervalMs);
  ntfSubmit->SetOnChange([this](QObject* Sender) { ntfSubmitChange(Sender); });

  Timer1 = new QTimer(this);
  Timer1->setInterval(kOnlineTickMs);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

  FParamsServer = StartParamsServer(this, [this] { ParamsHandedOver(); });
  // A hand-over that came while a dialog of ours was open is acted on once
  // the window is the active one again.
  connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] {
    if (FParamsPending) QTimer::singleShot(0, this, [this] { TryPendingParams(); });
  });
  connect(qApp, &QGuiApplication::commitDataRequest, this,
          [this](QSessionManager& Manager) { WMQueryEndSession(Manager); });
  // The window's own parameters wait for its first activation (see
  // TryPendingParams).
  FParamsPending = true;
}

void TMainForm::ParamsHandedOver() {
  if (isMinimized()) {
    // showNormal() would bring a maximised window back at its never-used
    // normal size.
    setWindowState(FStateBeforeMinimize & ~Qt::WindowMinimized);
  }
  show();
  raise();
  activateWindow();
  WMParamsHandOver();
}

void TMainForm::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  // Some platforms never activate a window; the only visible window of
  // ours counts as active then (IsMainFormActive).
  QTimer::singleShot(0, this, [this] { TryPendingParams(); });
}

void TMainForm::TryPendingParams() {
  if (!FParamsPending || !IsMainFormActive()) return;
  FParamsPending = false;
  ProcessParams();
}

void TMainForm::ProcessParams() {
  if (!IsMainFormActive()) return;
  // Whatever MyParams holds now is acted on here, once: a hand-over that
  // came before the window's first activation has replaced the window's
  // own parameters, and the first activation must not act on it again.
  FParamsPending = false;
  bool acted = false;
  if (IndexOfParam("/CLEAN", 0) >= 0) {
    CompilerConfig->BuildDefault();
    EnvConfig->BuildDefault();
    ApplyStyle("Default");
    // The defaults have no submission folder: the old one is no longer
    // watched, and the toolbar shows again.
    UpdateOnlineJudging();
    ControlPanel->setVisible(EnvConfig->ToolBarVisible);
    acted = true;
  }
  const int load = IndexOfParam("/LOAD", 0);
  if (load >= 0 && static_cast<std::size_t>(load) + 1 < MyParams.size() && IsLoadableFile(MyParams[load + 1])) {
    std::error_code ec;
    LoadContest(std::filesystem::absolute(MyParams[load + 1], ec).lexically_normal().string());
    acted = true;
  }
  if (acted) {
    QCoreApplication::processEvents();
    UpdateAllGUI();
  }
}

void TMainForm::WMParamsHandOver() {
  const std::string file = ParamsHandOverFile();
  if (!PathExists(file)) return;
  std::vector<std::string> params;
  // A file that does not read leaves no parameters, and stays.
  if (ReadParamsHandOverFile(file, params)) DeleteWithRetry(file);
  MyParams = std::move(params);
  // Behind a dialog of ours the parameters wait until it has closed (and
  // a later hand-over replaces them).
  FParamsPending = !IsMainFormActive();
  ProcessParams();
}

bool TMainForm::FormCloseQuery() {
  if (!ContestChanged) return true;
  switch (VQRMsgDlg("Bạn có muốn ghi lại kỳ thi này không?", mtConfirmation, {mbYes, mbNo, mbCancel})) {
    case mrYes:
      actSaveContest->trigger();
      return !ContestChanged;
    case mrNo:
      ContestInfo->ForgetUnsavedChanges();  // given up: the next open may clear them away
      return true;
    default:
      return false;
  }
}

void TMainForm::WMQueryEndSession(QSessionManager& Manager) {
  // Without a chance to ask, the session ends as the jury left it.
  if (!ContestChanged || !Manager.allowsInteraction()) return;
  const bool allowed = SessionEndQuery();
  Manager.release();
  if (!allowed) Manager.cancel();
}

bool TMainForm::SessionEndQuery() {
  if (!FormCloseQuery()) return false;
  // The jury has answered for the contest as it stands: the close that
  // ends the session asks nothing again. Should the session end be called
  // off, a change made afterwards is asked about once more.
  ContestChanged = false;
  return true;
}

void TMainForm::closeEvent(QCloseEvent* Event) {
  if (!FormCloseQuery()) {
    Event->ignore();
    return;
  }
  FormClose();
  Event->accept();
}

void TMainForm::FormClose() {
  StopOnlineJudging();
  FParamsServer.reset();
  ContestInfo->ExamSet().OnLoaded = nullptr;
  ContestInfo->ResultSet().OnLoaded = nullptr;
}

void TMainForm::UpdateOnlineJudging() {
  const bool on = actJudge->isEnabled() && EnvConfig && !EnvConfig->SubmitDir.empty() && SubmissionFolderTaken();
  actOnlineJudge->setEnabled(on);
  if (!ntfSubmit) return;
  if (on) ntfSubmit->StartMonitor(EnvConfig->SubmitDir);
  else StopOnlineJudging();
}

bool TMainForm::SubmissionFolderTaken() {
  const std::string refusal = TakeSubmissionFolder(EnvConfig->SubmitDir);
  if (!refusal.empty() && refusal != FSubmitRefusalTold) {
    FSubmitRefusalTold = refusal;
    // Also for a jury that started the program from a terminal or a service.
    std::fprintf(stderr, "%s\n", refusal.c_str());
    VQRMsgDlg(refusal, mtWarning, {mbOK});
  }
  if (refusal.empty()) FSubmitRefusalTold.clear();
  return refusal.empty();
}

void TMainForm::StopOnlineJudging() {
  ntfSubmit->StopMonitor();
  Timer1->stop();
  TimeCounter = 0;
}

void TMainForm::ntfSubmitChange(QObject*) {
  if (Timer1->isActive()) return;
  TimeCounter = 0;
  Timer1->start();
}

void TMainForm::Timer1Timer() {
  if (!IsMainFormActive() || FInPass) return;
  // The watch is stopped while online judging is off (during New or a
  // load): a pass then would find no exams and delete every waiting file.
  if (!actOnlineJudge->isEnabled() || !IsFolder(EnvConfig->SubmitDir)) {
    TimeCounter = 0;
    Timer1->stop();
    return;
  }
  if (TimeCounter < 2) ++TimeCounter;
  if (TimeCounter < 2) return;
  TimeCounter = 0;
  bool waiting = false;
  try {
    ScanAndJudgeSubmissions();
    waiting = !ScanSubmissionDir(EnvConfig->SubmitDir).Empty();
  } catch (const std::exception& e) {
    // A pass that failed rests until the watch reports again, so a folder
    // that keeps failing (unreadable, a log that cannot be written) shows
    // its message once per report, not every second.
    Timer1->stop();
    ShowError(e);
    return;
  }
  if (!waiting) Timer1->stop();
}

void TMainForm::ScanAndJudgeSubmissions() {
  if (!IsMainFormActive() || EnvConfig->SubmitDir.empty() || !actOnlineJudge->isEnabled() || FInPass) return;
  // The folder made since the watch started, or a lock file someone
  // deleted and another copy made anew.
  if (!SubmissionFolderTaken()) {
    UpdateOnlineJudging();
    return;
  }
  FInPass = true;
  struct TPassEnd {
    bool& Flag;
    ~TPassEnd() { Flag = false; }
  } passEnd{FInPass};
  TOnlineJudgeHooks hooks;
  hooks.Judge = [](TQueue<TJudgePair>& Queue) { RunJudge(Queue); };
  hooks.ContestantAdded = [this] { UpdateItemList(); };
  hooks.ContestChanged = [this] { ContestChanged = true; };
  JudgeSubmissionPass(*ContestInfo, EnvConfig->SubmitDir, hooks);
}

}  // namespace velkor
