#include "core/Dialogs.h"

#include <iostream>
#include <stdexcept>
#include <utility>

namespace velkor {
namespace {

const char* TypeCaption(TMsgDlgType type) {
  switch (type) {
    case mtWarning: return "Warning";
    case mtError: return "Error";
    case mtInformation: return "Information";
    case mtConfirmation: return "Confirm";
    default: return "Message";
  }
}

class THeadlessMessageDialog : public IMessageDialog {
 public:
  int Show(const TMsgDlgRequest& request) override {
    const int answer = HeadlessAnswer(request.Buttons);
    std::cerr << "[" << TypeCaption(request.DlgType) << "] " << request.Msg << " (answered " << answer << ")"
              << std::endl;
    return answer;
  }
};

// Without an event loop there is no GUI thread to hand over to; the caller
// shows the dialog itself, one at a time, as a single GUI thread would. The
// lock is recursive so that a dialog may itself ask a question.
class THeadlessHandOff : public IMainThreadHandOff {
 public:
  bool IsMainThread() override { return false; }
  void RunBlocking(const std::function<void()>& work) override {
    std::lock_guard lock(mutex_);
    work();
  }

 private:
  std::recursive_mutex mutex_;
};

struct Installed {
  std::mutex Mutex;
  std::shared_ptr<IMessageDialog> Dialog;
  std::shared_ptr<IMainThreadHandOff> HandOff;
};

Installed& Current() {
  static Installed installed;
  return installed;
}

template <class T, class Headless>
std::shared_ptr<T> Swap(std::shared_ptr<T>& slot, std::shared_ptr<T> next) {
  std::lock_guard lock(Current().Mutex);
  if (!next) next = std::make_shared<Headless>();
  std::swap(slot, next);
  return next;
}

template <class T, class Headless>
std::shared_ptr<T> Get(std::shared_ptr<T>& slot) {
  std::lock_guard lock(Current().Mutex);
  if (!slot) slot = std::make_shared<Headless>();
  return slot;
}

}  // namespace

int ModalResultOf(TMsgDlgBtn b) {
  switch (b) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
    case mbNoToAll: return mrNoToAll;
    case mbYesToAll: return mrYesToAll;
    case mbHelp: return mrHelp;
    case mbClose: return mrClose;
  }
  return mrNone;
}

int HeadlessAnswer(TMsgDlgButtons buttons) {
  for (TMsgDlgBtn b : {mbOK, mbYes})
    if (buttons.Contains(b)) return ModalResultOf(b);
  if (buttons.Contains(mbRetry))
    for (TMsgDlgBtn b : {mbAbort, mbCancel, mbIgnore})
      if (buttons.Contains(b)) return ModalResultOf(b);
  for (int b = mbYes; b <= mbClose; ++b)
    if (buttons.Contains(static_cast<TMsgDlgBtn>(b)) && b != mbRetry) return ModalResultOf(static_cast<TMsgDlgBtn>(b));
  return buttons.Contains(mbRetry) ? mrCancel : mrNone;  // Retry alone: the dialog is closed
}

int VQRMsgDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, std::int32_t HelpCtx) {
  // The request and its result slot live on this stack frame, which the
  // blocking hand-off keeps alive until the GUI thread is done with them.
  const TMsgDlgRequest request{Msg, DlgType, Buttons, HelpCtx};
  int result = mrNone;
  std::shared_ptr<IMessageDialog> dialog = Get<IMessageDialog, THeadlessMessageDialog>(Current().Dialog);
  auto show = [&] { result = dialog->Show(request); };
  std::shared_ptr<IMainThreadHandOff> handOff = Get<IMainThreadHandOff, THeadlessHandOff>(Current().HandOff);
  if (handOff->IsMainThread())
    show();
  else
    handOff->RunBlocking(show);
  return result;
}

std::shared_ptr<IMessageDialog> SetMessageDialog(std::shared_ptr<IMessageDialog> dialog) {
  return Swap<IMessageDialog, THeadlessMessageDialog>(Current().Dialog, std::move(dialog));
}

std::shared_ptr<IMainThreadHandOff> SetMainThreadHandOff(std::shared_ptr<IMainThreadHandOff> handOff) {
  return Swap<IMainThreadHandOff, THeadlessHandOff>(Current().HandOff, std::move(handOff));
}

std::shared_ptr<IMainThreadHandOff> MainThreadHandOff() {
  return Get<IMainThreadHandOff, THeadlessHandOff>(Current().HandOff);
}

void TScriptedMessageDialog::AddAnswer(int answer) {
  std::lock_guard lock(mutex_);
  answers_.push_back(answer);
}

int TScriptedMessageDialog::Show(const TMsgDlgRequest& request) {
  std::lock_guard lock(mutex_);
  requests_.push_back(request);
  if (answers_.empty()) throw std::logic_error("unexpected dialog: " + request.Msg);
  const int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

std::vector<TMsgDlgRequest> TScriptedMessageDialog::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t TScriptedMessageDialog::PendingAnswers() const {
  std::lock_guard lock(mutex_);
  return answers_.size();
}

}  // namespace velkor
