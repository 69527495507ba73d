// The only way the other windows reach the main window. The dialogs and the
// judging window are built before the main window and are tested without
// one, so they never name it: the main window installs itself here when it
// is created and removes itself when destroyed. With nothing installed every
// call does nothing.
#pragma once

#include <string>

class QWidget;

namespace velkor {

class TResultC;

class IMainFormLink {
 public:
  virtual ~IMainFormLink() = default;
  // The window itself, for centring dialogs and deciding which window is active.
  virtual QWidget* Window() = 0;
  // Opens the help page at Topic (empty: its top).
  virtual void ShowHelp(const std::string& Topic) = 0;
  // Repaints C's row; with Focus, also scrolls it into view and selects it.
  virtual void UpdateMainTableC(TResultC* C, bool Focus) = 0;
  // Shows the grid page and gives the grid the focus.
  virtual void ShowGridPage() = 0;
};

namespace MainFormLink {

// Install replaces whatever was installed; Remove clears only when Link is
// the one installed, so a late destructor cannot remove its successor.
void Install(IMainFormLink* Link);
void Remove(IMainFormLink* Link);
IMainFormLink* Installed();

QWidget* Window();
void ShowHelp(const std::string& Topic);
void UpdateMainTableC(TResultC* C, bool Focus);
void ShowGridPage();

// Routes the forms' help requests (F1, a Help button) to ShowHelp with the
// control's help keyword as the topic.
void InstallHelpRoute();

}  // namespace MainFormLink

// True when the main window is the active window, or when it is the only
// visible top-level window of ours (menus, tooltips and other popups do not
// count). Window activation is asynchronous under some window systems and
// absent under the offscreen platform; the second rule makes both agree.
bool IsMainFormActive();

}  // namespace velkor
