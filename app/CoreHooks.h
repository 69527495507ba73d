// What the program plugs into the judging core at start-up, so that the
// core, which knows no GUI, reaches the jury through Qt:
//
//   the message dialog        a QMessageBox captioned with the application's
//                             title, on the GUI thread
//   the main-thread hand-off  a blocking queued call onto the GUI thread
//   the progress window       the components' progress window
//   the Esc poll              a restricted pass over the pending events
//   the folder picker         QFileDialog's folder dialog
//   the GUI font source       the program's GUI font
//
// The Esc poll runs while the caller keeps the GUI thread busy (packing or
// unpacking a contest). It repaints and looks at the keyboard, and nothing
// else runs meanwhile: no timer, no socket notifier, no key or click but
// Esc reaches a window. So the online judging timer, a parameter hand-over
// or a click on a toolbar button cannot start a second piece of work in
// the middle of a save.
#pragma once

#include <memory>

#include "core/Dialogs.h"

namespace velkor {

// The dialog the program installs, usable on its own (tests show one).
class TQtMessageDialog : public IMessageDialog {
 public:
  int Show(const TMsgDlgRequest& Request) override;
};

class TQtMainThreadHandOff : public IMainThreadHandOff {
 public:
  bool IsMainThread() override;
  void RunBlocking(const std::function<void()>& Work) override;
};

// The Esc poll: processes pending events once, without timers and socket
// notifiers, swallowing every key and mouse event; true when Esc was
// pressed among them.
bool PollEscapeKey();

// Installs all of the above; RemoveCoreHooks puts the headless ones back.
void InstallCoreHooks();
void RemoveCoreHooks();

}  // namespace velkor
