// The message dialog through which the system asks the jury questions and
// reports errors, callable from any thread.
//
// The core does not know the GUI. VQRMsgDlg packs its request into a closure
// and runs it through two replaceable parts:
// - the hand-off (IMainThreadHandOff) decides whether the calling thread is
//   the GUI thread and otherwise carries the closure over to it, blocking
//   the caller until it has run;
// - the dialog (IMessageDialog) shows the request on that thread and returns
//   the code of the button that closed it.
// The application installs Qt-backed parts at start-up. Until then, and in
// every program without a GUI, the headless parts answer: the dialog writes
// the message to stderr and returns its default answer, and the hand-off
// runs one request at a time on the caller's own thread. Tests install a
// TScriptedMessageDialog.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velkor {

// Dialog types, by the toolkit's ordinals (error 1, confirmation 3).
enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp, mbClose };

// A set of dialog buttons.
class TMsgDlgButtons {
 public:
  constexpr TMsgDlgButtons() = default;
  constexpr TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons) {
    for (TMsgDlgBtn b : buttons) bits_ |= 1u << b;
  }
  constexpr bool Contains(TMsgDlgBtn b) const { return (bits_ >> b) & 1u; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool operator==(const TMsgDlgButtons&) const = default;

 private:
  std::uint32_t bits_ = 0;
};

// Modal results: the code of the button that closed the dialog.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrClose = 8;
inline constexpr int mrHelp = 9;
inline constexpr int mrAll = 12;
inline constexpr int mrNoToAll = 13;
inline constexpr int mrYesToAll = 14;

// The modal result that button b gives.
int ModalResultOf(TMsgDlgBtn b);

struct TMsgDlgRequest {
  std::string Msg;
  TMsgDlgType DlgType = mtInformation;
  TMsgDlgButtons Buttons;
  std::int32_t HelpCtx = 0;
};

// Shows one dialog on the calling thread (the GUI thread) and returns its
// modal result.
class IMessageDialog {
 public:
  virtual ~IMessageDialog() = default;
  virtual int Show(const TMsgDlgRequest& request) = 0;
};

// Runs work on the GUI thread.
class IMainThreadHandOff {
 public:
  virtual ~IMainThreadHandOff() = default;
  virtual bool IsMainThread() = 0;
  // Runs work on the GUI thread and returns once it has run there.
  virtual void RunBlocking(const std::function<void()>& work) = 0;
};

// Shows Msg and returns the modal result. Safe from any thread: off the GUI
// thread the caller waits until the jury has answered.
int VQRMsgDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, std::int32_t HelpCtx = 0);

// Install an implementation and get the previous one back; nullptr restores
// the headless one.
std::shared_ptr<IMessageDialog> SetMessageDialog(std::shared_ptr<IMessageDialog> dialog);
std::shared_ptr<IMainThreadHandOff> SetMainThreadHandOff(std::shared_ptr<IMainThreadHandOff> handOff);
// The hand-off installed now (the headless one when none is): for other
// modules whose callbacks must reach the GUI thread the same way.
std::shared_ptr<IMainThreadHandOff> MainThreadHandOff();

// The answer a dialog gives when nobody is there to choose: the default
// button (OK, else Yes, else the first offered), but never Retry, which
// without a user would repeat the failure forever: Abort, Cancel or Ignore
// takes its place when offered.
int HeadlessAnswer(TMsgDlgButtons buttons);

// Answers from a script, in order, and keeps every request it was shown.
// A request beyond the script is a fault of the test and throws.
class TScriptedMessageDialog : public IMessageDialog {
 public:
  explicit TScriptedMessageDialog(std::initializer_list<int> answers = {}) : answers_(answers) {}
  void AddAnswer(int answer);
  int Show(const TMsgDlgRequest& request) override;
  std::vector<TMsgDlgRequest> Requests() const;
  std::size_t PendingAnswers() const;

 private:
  mutable std::mutex mutex_;
  std::deque<int> answers_;
  std::vector<TMsgDlgRequest> requests_;
};

}  // namespace velkor
