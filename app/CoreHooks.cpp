#include "app/CoreHooks.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <map>
#include <optional>

#include "app/MainFormLink.h"
#include "app/RunOnceUtils.h"
#include "components/DefaultFonts.h"
#include "components/SimpleProgressRoutines.h"
#include "core/FileUtils.h"
#include "judging/EnvConfig.h"
#include "judging/ProgressHooks.h"
#include "toolkit/Forms.h"

namespace velkor {

namespace {

QWidget* DialogOwner() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* active = QApplication::activeWindow()) return active;
  return MainFormLink::Window();
}

QMessageBox::Icon IconOf(TMsgDlgType Type) {
  switch (Type) {
    case mtWarning: return QMessageBox::Warning;
    case mtError: return QMessageBox::Critical;
    case mtInformation: return QMessageBox::Information;
    case mtConfirmation: return QMessageBox::Question;
    default: return QMessageBox::NoIcon;
  }
}

struct TButtonKind {
  TMsgDlgBtn Button;
  QMessageBox::StandardButton Standard;  // NoButton: a button of our own
  const char* Text;
  QMessageBox::ButtonRole Role;
};

// In the order the buttons are offered.
constexpr TButtonKind kButtons[] = {
    {mbYes, QMessageBox::Yes, nullptr, QMessageBox::YesRole},
    {mbNo, QMessageBox::No, nullptr, QMessageBox::NoRole},
    {mbOK, QMessageBox::Ok, nullptr, QMessageBox::AcceptRole},
    {mbCancel, QMessageBox::Cancel, nullptr, QMessageBox::RejectRole},
    {mbAbort, QMessageBox::Abort, nullptr, QMessageBox::RejectRole},
    {mbRetry, QMessageBox::Retry, nullptr, QMessageBox::AcceptRole},
    {mbIgnore, QMessageBox::Ignore, nullptr, QMessageBox::AcceptRole},
    {mbAll, QMessageBox::NoButton, "Tất cả", QMessageBox::AcceptRole},
    {mbNoToAll, QMessageBox::NoToAll, nullptr, QMessageBox::NoRole},
    {mbYesToAll, QMessageBox::YesToAll, nullptr, QMessageBox::YesRole},
    {mbHelp, QMessageBox::Help, nullptr, QMessageBox::HelpRole},
    {mbClose, QMessageBox::Close, nullptr, QMessageBox::RejectRole},
};

// The button Esc and the window's close button stand for: Cancel, else the
// only button. A question without Cancel (Yes and No, Abort and Retry) has
// none: the jury answers it with a button, so that a reflexive Esc never
// says "No" to saving a contest.
std::optional<TMsgDlgBtn> EscapeButton(TMsgDlgButtons Buttons) {
  if (Buttons.Contains(mbCancel)) return mbCancel;
  std::optional<TMsgDlgBtn> only;
  for (const TButtonKind& kind : kButtons) {
    if (!Buttons.Contains(kind.Button)) continue;
    if (only) return std::nullopt;
    only = kind.Button;
  }
  return only;
}

// A message box that, without an escape button, ignores Esc and refuses to
// be closed from its frame. (QMessageBox would pick the No button itself.)
class TMessageBox : public QMessageBox {
 public:
  TMessageBox(Icon Kind, const QString& Title, const QString& Text, QWidget* Owner, bool Escapable)
      : QMessageBox(Kind, Title, Text, NoButton, Owner), FEscapable(Escapable) {
    // A message box keeps the size of its text: no maximise button; and no
    // close button where closing is no answer.
    setWindowFlags(Escapable ? kFixedDialogFlags : kFixedDialogFlags & ~Qt::WindowCloseButtonHint);
  }

 protected:
  void keyPressEvent(QKeyEvent* Event) override {
    if (!FEscapable && Event->matches(QKeySequence::Cancel)) {
      Event->accept();
      return;
    }
    QMessageBox::keyPressEvent(Event);
  }
  void closeEvent(QCloseEvent* Event) override {
    if (!FEscapable) {
      Event->ignore();
      return;
    }
    QMessageBox::closeEvent(Event);
  }

 private:
  bool FEscapable;
};

// Swallows keys and clicks during the Esc poll and notes Esc.
class TEscapeFilter : public QObject {
 public:
  bool Pressed = false;

 protected:
  bool eventFilter(QObject*, QEvent* Event) override {
    switch (Event->type()) {
      case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Escape) Pressed = true;
        return true;
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::TouchBegin:
      case QEvent::Close:
        return true;
      default:
        return false;
    }
  }
};

class TProgressAdapter : public IProgressWindow {
 public:
  void Create() override { SimpleProgress::ProgressCreate(); }
  void Free() override { SimpleProgress::ProgressFree(); }
  void SetValues(int Min, int Max, int Position) override { SimpleProgress::ProgressSetValues(Min, Max, Position); }
  void SetPos(int Position) override { SimpleProgress::ProgressSetPos(Position); }
  void SetCaption(const std::string& Text) override { SimpleProgress::ProgressSetCaption(Text); }
  void SetSubCaption(const std::string& Text) override { SimpleProgress::ProgressSetSubCaption(Text); }
  void Show(bool Visible) override { SimpleProgress::ProgressShow(Visible); }
};

bool PickFolder(void* Owner, const std::string& Title, std::string& Directory) {
  // Without a folder to start from, the home folder, not the program's
  // working folder.
  const QString start = Directory.empty() ? QDir::homePath() : QString::fromStdString(Directory);
  const QString chosen = QFileDialog::getExistingDirectory(
      Owner ? static_cast<QWidget*>(Owner) : DialogOwner(), QString::fromStdString(Title), start);
  if (chosen.isEmpty()) return false;
  Directory = chosen.toStdString();
  return true;
}

TGuiFontInfo ProgramGuiFont() {
  const QFont& font = CurrentGuiFont().Font;
  return {font.family().toStdString(), font.pointSize() > 0 ? font.pointSize() : 9};
}

}  // namespace

int TQtMessageDialog::Show(const TMsgDlgRequest& Request) {
  const TMsgDlgButtons buttons = Request.Buttons.Empty() ? TMsgDlgButtons{mbOK} : Request.Buttons;
  const std::optional<TMsgDlgBtn> escape = EscapeButton(buttons);
  TMessageBox box(IconOf(Request.DlgType), QString::fromUtf8(kApplicationTitle), QString::fromStdString(Request.Msg),
                  DialogOwner(), escape.has_value());
  std::map<QAbstractButton*, TMsgDlgBtn> codes;
  const int defaultResult = HeadlessAnswer(buttons);
  for (const TButtonKind& kind : kButtons) {
    if (!buttons.Contains(kind.Button)) continue;
    QAbstractButton* button = kind.Standard != QMessageBox::NoButton
                                  ? static_cast<QAbstractButton*>(box.addButton(kind.Standard))
                                  : box.addButton(QString::fromUtf8(kind.Text), kind.Role);
    codes[button] = kind.Button;
    if (ModalResultOf(kind.Button) == defaultResult) box.setDefaultButton(static_cast<QPushButton*>(button));
    if (kind.Button == escape) box.setEscapeButton(button);
  }
  box.exec();
  const auto found = codes.find(box.clickedButton());
  if (found != codes.end()) return ModalResultOf(found->second);
  // Ended without a button (the application closing its windows): what
  // the escape button would have said, else the result of a closed dialog,
  // which no caller takes for Yes or Retry.
  return escape ? ModalResultOf(*escape) : mrCancel;
}

bool TQtMainThreadHandOff::IsMainThread() {
  return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

void TQtMainThreadHandOff::RunBlocking(const std::function<void()>& Work) {
  if (IsMainThread() || !QCoreApplication::instance()) {
    Work();
    return;
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), [&Work] { Work(); }, Qt::BlockingQueuedConnection);
}

bool PollEscapeKey() {
  if (!QCoreApplication::instance()) return false;
  TEscapeFilter filter;
  QCoreApplication::instance()->installEventFilter(&filter);
  QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers);
  QCoreApplication::instance()->removeEventFilter(&filter);
  return filter.Pressed;
}

void InstallCoreHooks() {
  SetMainThreadHandOff(std::make_shared<TQtMainThreadHandOff>());
  SetMessageDialog(std::make_shared<TQtMessageDialog>());
  SetProgressWindow(std::make_shared<TProgressAdapter>());
  SetEscapePoll(&PollEscapeKey);
  SetFolderPicker(&PickFolder);
  SetGuiFontSource(&ProgramGuiFont);
}

void RemoveCoreHooks() {
  SetGuiFontSource(nullptr);
  SetFolderPicker(nullptr);
  SetEscapePoll(nullptr);
  SetProgressWindow(nullptr);
  SetMessageDialog(nullptr);
  SetMainThreadHandOff(nullptr);
}

}  // namespace velkor
