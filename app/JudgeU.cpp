#include "app/JudgeU.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <exception>

#include "app/MainFormLink.h"
#include "app/TickClock.h"
#include "components/AlignRoutines.h"
#include "components/Btns.h"
#include "components/FastGauges.h"
#include "components/Labels.h"
#include "components/Panels.h"
#include "core/Dialogs.h"
#include "judging/Checkers.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/Results.h"
#include "platform/CurrentProcess.h"
#include "platform/ErrorMode.h"
#include "platform/Registry.h"

namespace velkor {

bool ErrorModeAPI = false;
TJudgeForm* JudgeForm = nullptr;

namespace {

constexpr int kClientWidth = 384;
constexpr int kClientHeight = 144;
constexpr int kGroupBoxHeight = 100;
constexpr int kButtonTop = 106;
constexpr int kButtonWidth = 120;
constexpr int kButtonHeight = 32;
constexpr int kNoticeMargin = 8;
constexpr int kGaugeMax = 65536;
constexpr double kOpacity = 204.0 / 255.0;
// Fail critical errors, no fault error box, no alignment fault exception,
// no open-file error box.
constexpr std::uint32_t kRunErrorMode = platform::SEM_FAILCRITICALERRORS | platform::SEM_NOGPFAULTERRORBOX |
                                        platform::SEM_NOALIGNMENTFAULTEXCEPT | platform::SEM_NOOPENFILEERRORBOX;
constexpr const char* kSeparator = "‣";

const char* const kReportingNames[] = {"Disabled", "DontShowUI", "ForceQueue"};
const char* const kConsentNames[] = {"DefaultConsent"};

struct TReportingKey {
  const char* Key;
  const char* const* Names;
  std::size_t Count;
};
const TReportingKey kReportingKeys[] = {
    {kErrorReportingKey, kReportingNames, std::size(kReportingNames)},
    {kErrorReportingConsentKey, kConsentNames, std::size(kConsentNames)},
};

void RenameValue(platform::Registry& Reg, const std::string& From, const std::string& To) {
  Reg.WriteInteger(To, Reg.ReadInteger(From));
  Reg.DeleteValue(From);
}

}  // namespace

void InitErrorModeAPI() {
  // The error mode is always there; the system-wide setting older systems
  // needed has no counterpart.
  ErrorModeAPI = true;
}

void DoneErrorModeAPI() { ErrorModeAPI = false; }

std::string FormatJudgeTime(std::int64_t StartTick, std::int64_t NowTick) {
  std::int64_t elapsed = NowTick - StartTick;
  if (elapsed < 0) elapsed += std::int64_t{1} << 32;
  const std::int64_t seconds = elapsed / 1000;
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(seconds / 3600 % 24),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return text;
}

void RunJudge(TQueue<TJudgePair>& Queue) {
  MainFormLink::ShowGridPage();
  auto form = std::make_unique<TJudgeForm>(MainFormLink::Window());
  form->List = &Queue;
  form->exec();
}

TJudgeForm::TJudgeForm(QWidget* Parent) : TForm(Parent) {
  setObjectName("JudgeForm");
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(kClientWidth, kClientHeight);

  VQR_GroupBox1 = new TVQR_GroupBox(this);
  VQR_GroupBox1->SetCaption("Chấm bài");
  VQR_GroupBox1->SetHeaderHeight(24);
  VQR_GroupBox1->SetInsideBevelWidth(2);
  VQR_GroupBox1->setGeometry(0, 0, kClientWidth, kGroupBoxHeight);
  VQR_GroupBox1->installEventFilter(this);

  Gauge1 = new TVQR_FastGauge(VQR_GroupBox1);
  Gauge1->setGeometry(8, 48, 368, 20);
  Gauge1->Set3(0, kGaugeMax, 0);

  auto label = [this](TControlPosition Position) {
    auto* l = new TSmartLab(VQR_GroupBox1);
    l->SetFocusControl(Gauge1);
    l->SetLabelPosition(Position);
    l->SetCaption("");
    return l;
  };
  labName1 = label(atLeftofTop);
  labTime = label(atRightofBottom);
  labStatus = label(atLeftofBottom);

  btnStop = new TSmartBtn(this);
  btnStop->SetCaption(QString::fromUtf8("Ngừng chấm"));
  btnStop->SetCancel(true);
  btnStop->setGeometry((kClientWidth - kButtonWidth) / 2, kButtonTop, kButtonWidth, kButtonHeight);
  // The button ends nothing by itself: a stop takes effect when the engine
  // reaches its next step, and the window closes once the engine returned.
  connect(btnStop, &QPushButton::clicked, this, [this] { btnStopClick(); });

  labNotice = new QLabel(this);
  labNotice->setObjectName("labNotice");
  labNotice->setWordWrap(true);
  labNotice->setTextFormat(Qt::PlainText);
  SetRunNotice(RunNotice());

  if (Parent) {
    move(Parent->frameGeometry().center() - rect().center());
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TJudgeForm::SetRunNotice(const std::string& Notice) {
  int noticeHeight = 0;
  if (!Notice.empty()) {
    labNotice->setText(QString::fromUtf8("⚠ ") + QString::fromStdString(Notice));
    const int width = kClientWidth - 2 * kNoticeMargin;
    noticeHeight = labNotice->heightForWidth(width);
    labNotice->setGeometry(kNoticeMargin, kButtonTop, width, noticeHeight);
    noticeHeight += kButtonTop - kGroupBoxHeight;
  }
  labNotice->setVisible(!Notice.empty());
  btnStop->move(btnStop->x(), kButtonTop + noticeHeight);
  setFixedSize(kClientWidth, kClientHeight + noticeHeight);
}

TJudgeForm::~TJudgeForm() {
  if (JudgeForm == this) JudgeForm = nullptr;
}

void TJudgeForm::showEvent(QShowEvent* Event) {
  TForm::showEvent(Event);
  if (FStartPosted) return;
  FStartPosted = true;
  QMetaObject::invokeMethod(this, [this] { WMStartJudging(); }, Qt::QueuedConnection);
}

void TJudgeForm::WMStartJudging() {
  StartJudging();
  // Whatever happened, the results are in and the window goes.
  done(mrOk);
}

void TJudgeForm::StartJudging() {
  JudgeForm = this;
  try {
    Engine = std::make_unique<TJudgeEngine>(*ContestInfo, *CompilerConfig, *Checkers);
    Engine->SetOnJudgeNotify([this](TJudgeEngine* Sender, TJudgeAction Action, const std::string& CName,
                                    const std::string& EName, const std::string& tname,
                                    bool& UserCancel) { JudgeNotify(Sender, Action, CName, EName, tname, UserCancel); });
    Engine->SetOnProgressNotify([this](TJudgeEngine* Sender, double prg) { ProgressNotify(Sender, prg); });
    Engine->SetOnStatusNotify([this](TJudgeEngine* Sender, const std::string& S) { StatusNotify(Sender, S); });
    Engine->SetOnInit([this](TJudgeEngine* Sender) { JudgeInit(Sender); });
    Engine->SetOnFinish([this](TJudgeEngine* Sender) { JudgeFinish(Sender); });
    static const TQueue<TJudgePair> kNothing;
    Engine->Run(List ? *List : kNothing);
  } catch (const std::exception& e) {
    RestoreRunSettings();
    VQRMsgDlg(e.what(), mtError, {mbOK});
  }
  // A run that raised never reached its finish event.
  RestoreRunSettings();
  Engine.reset();
  if (JudgeForm == this) JudgeForm = nullptr;
}

void TJudgeForm::JudgeInit(TJudgeEngine*) {
  BackupErrorMode = 0;
  FCreatedValues.clear();
  if (ErrorModeAPI) {
    BackupErrorMode = platform::GetErrorMode();
    platform::SetErrorMode(kRunErrorMode);
  } else {
    SuppressErrorReporting();
  }
  BackupPr = platform::GetPriorityClass();
  platform::SetPriorityClass(platform::BELOW_NORMAL_PRIORITY_CLASS);
  FSettingsChanged = true;
  setWindowOpacity(kOpacity);
  Gauge1->Set3(0, kGaugeMax, 0);
  StartTime = GetTickCount();
}

void TJudgeForm::JudgeNotify(TJudgeEngine* Sender, TJudgeAction Action, const std::string& CName,
                             const std::string& EName, const std::string& tname, bool& UserCancel) {
  if (Sender && Sender->RunInMainThread) QCoreApplication::processEvents();
  if (ManualCancel) UserCancel = true;
  if (Action == jaBeginJudge) {
    std::string text = CName + kSeparator + EName;
    if (!tname.empty()) text += kSeparator + tname;
    labName1->SetCaption(text);
  } else if (Action == jaEndJudge && tname.empty() && !CName.empty()) {
    if (TResultC* C = ContestInfo->ResultSet().Obj(CName)) MainFormLink::UpdateMainTableC(C, true);
  }
}

void TJudgeForm::ProgressNotify(TJudgeEngine*, double prg) {
  Gauge1->SetRealPos(prg);
  labTime->SetCaption("Thời gian chấm: " + FormatJudgeTime(StartTime, GetTickCount()));
}

void TJudgeForm::StatusNotify(TJudgeEngine*, const std::string& Status) {
  // A long status (the pairs a run left out, what the machine cannot give a
  // run) stops short of the time at its right; the whole text is its tip.
  const QString full = QString::fromStdString(Status);
  const int timeWidth = labTime->fontMetrics().horizontalAdvance(QString::fromUtf8("Thời gian chấm: 00:00:00"));
  const int room = std::max(0, Gauge1->width() - timeWidth - 2 * labStatus->fontMetrics().averageCharWidth());
  const QString shown = labStatus->fontMetrics().elidedText(full, Qt::ElideRight, room);
  labStatus->SetCaption(shown.toStdString());
  labStatus->setToolTip(shown == full ? QString() : full);
  labStatus->repaint();
}

void TJudgeForm::JudgeFinish(TJudgeEngine* Sender) {
  RestoreRunSettings();
  // The engine's bindings are cleared once Run has returned: clearing them
  // here would free the handler that is running.
  if (Sender && Sender->ErrorCode != 0) VQRMsgDlg(Sender->ErrorMsg, mtError, {mbOK});
  // The window closes with the run: who was left out must be said where
  // the jury cannot miss it.
  if (Sender && !Sender->SkippedPairs.empty()) VQRMsgDlg(Sender->SkippedPairsMessage(), mtWarning, {mbOK});
}

void TJudgeForm::RestoreRunSettings() {
  if (!FSettingsChanged) return;
  FSettingsChanged = false;
  platform::SetPriorityClass(BackupPr);
  if (ErrorModeAPI) {
    platform::SetErrorMode(BackupErrorMode);
  } else {
    try {
      RestoreErrorReporting();
    } catch (const platform::ERegistryError& e) {
      VQRMsgDlg(e.what(), mtError, {mbOK});
    }
  }
  setWindowOpacity(1.0);
}

void TJudgeForm::SuppressErrorReporting() {
  for (const TReportingKey& key : kReportingKeys) {
    platform::Registry reg;
    reg.OpenKey(key.Key, true);
    for (std::size_t i = 0; i < key.Count; ++i) {
      const std::string name = key.Names[i];
      const std::string backup = name + "Backup";
      if (!reg.ValueExists(name)) {
        FCreatedValues.emplace_back(key.Key, name);
      } else if (!reg.ValueExists(backup)) {
        RenameValue(reg, name, backup);
      }
      reg.WriteInteger(name, 1);
    }
  }
}

void TJudgeForm::RestoreErrorReporting() {
  for (const TReportingKey& key : kReportingKeys) {
    platform::Registry reg;
    if (!reg.OpenKey(key.Key, false)) continue;
    for (std::size_t i = 0; i < key.Count; ++i) {
      const std::string name = key.Names[i];
      const std::string backup = name + "Backup";
      if (reg.ValueExists(backup)) {
        reg.DeleteValue(name);
        RenameValue(reg, backup, name);
      } else if (std::find(FCreatedValues.begin(), FCreatedValues.end(), std::pair<std::string, std::string>(
                               key.Key, name)) != FCreatedValues.end()) {
        reg.DeleteValue(name);
      }
    }
  }
  FCreatedValues.clear();
}

void TJudgeForm::btnStopClick() {
  // The engine sees the stop at its next step; the window closes when the
  // engine has returned.
  ManualCancel = true;
}

void TJudgeForm::reject() {
  if (Running()) {
    ManualCancel = true;
    return;
  }
  TForm::reject();
}

void TJudgeForm::closeEvent(QCloseEvent* Event) {
  // A close request during a run is a stop; the window stays until the
  // engine returns.
  if (Running()) {
    ManualCancel = true;
    Event->ignore();
    return;
  }
  TForm::closeEvent(Event);
}

bool TJudgeForm::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == VQR_GroupBox1) {
    switch (Event->type()) {
      case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(Event);
        if (e->button() == Qt::LeftButton) {
          MDown = true;
          LastP = e->globalPosition().toPoint();
          LastCorner = pos();
        }
        break;
      }
      case QEvent::MouseMove:
        if (MDown) move(LastCorner + (static_cast<QMouseEvent*>(Event)->globalPosition().toPoint() - LastP));
        break;
      case QEvent::MouseButtonRelease:
        MDown = false;
        break;
      default:
        break;
    }
  }
  return TForm::eventFilter(Watched, Event);
}

}  // namespace velkor
