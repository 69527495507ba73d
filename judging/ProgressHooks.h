// The progress window of long archive work, and the Esc key that cancels it.
//
// Packing and unpacking a contest archive show a small window with a
// caption, a sub-caption and a bar, and stop when the jury presses Esc. The
// window belongs to the GUI, which the judging core does not know, so the
// seven routines below call whatever IProgressWindow is installed and the
// key test calls whatever poll is installed. The application installs its
// own at start-up; until then (and in every program without a GUI) there is
// no window and Esc is never pressed. Tests install recording or scripted
// ones.
//
// All of this runs on the GUI thread; installing is not meant to race with
// use.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace velkor {

class IProgressWindow {
 public:
  virtual ~IProgressWindow() = default;
  virtual void Create() = 0;
  virtual void Free() = 0;
  virtual void SetValues(int Min, int Max, int Position) = 0;
  virtual void SetPos(int Position) = 0;
  virtual void SetCaption(const std::string& Text) = 0;
  virtual void SetSubCaption(const std::string& Text) = 0;
  virtual void Show(bool Visible) = 0;
};

// Installs Window and returns the previous one; nullptr restores the
// headless one (no window at all).
std::shared_ptr<IProgressWindow> SetProgressWindow(std::shared_ptr<IProgressWindow> Window);

void ProgressCreate();
void ProgressFree();
void ProgressSetValues(int Min, int Max, int Position);
void ProgressSetPos(int Position);
void ProgressSetCaption(const std::string& Text);
void ProgressSetSubCaption(const std::string& Text);
void ProgressShow(bool Visible);

// True when Esc was pressed since the previous call. The GUI's poll also
// lets the window repaint while the caller keeps the thread busy.
using TEscapePoll = std::function<bool()>;
// Installs Poll and returns the previous one; an empty one restores the
// headless poll, which always answers False.
TEscapePoll SetEscapePoll(TEscapePoll Poll);
bool EscapePressedSinceLastCall();

}  // namespace velkor
