#include "judging/ProgressHooks.h"

#include <utility>

namespace velkor {
namespace {

class THeadlessProgressWindow : public IProgressWindow {
 public:
  void Create() override {}
  void Free() override {}
  void SetValues(int, int, int) override {}
  void SetPos(int) override {}
  void SetCaption(const std::string&) override {}
  void SetSubCaption(const std::string&) override {}
  void Show(bool) override {}
};

std::shared_ptr<IProgressWindow>& Window() {
  static std::shared_ptr<IProgressWindow> window = std::make_shared<THeadlessProgressWindow>();
  return window;
}

TEscapePoll& Poll() {
  static TEscapePoll poll;
  return poll;
}

}  // namespace

std::shared_ptr<IProgressWindow> SetProgressWindow(std::shared_ptr<IProgressWindow> Window_) {
  if (!Window_) Window_ = std::make_shared<THeadlessProgressWindow>();
  return std::exchange(Window(), std::move(Window_));
}

void ProgressCreate() { Window()->Create(); }
void ProgressFree() { Window()->Free(); }
void ProgressSetValues(int Min, int Max, int Position) { Window()->SetValues(Min, Max, Position); }
void ProgressSetPos(int Position) { Window()->SetPos(Position); }
void ProgressSetCaption(const std::string& Text) { Window()->SetCaption(Text); }
void ProgressSetSubCaption(const std::string& Text) { Window()->SetSubCaption(Text); }
void ProgressShow(bool Visible) { Window()->Show(Visible); }

TEscapePoll SetEscapePoll(TEscapePoll Poll_) { return std::exchange(Poll(), std::move(Poll_)); }

bool EscapePressedSinceLastCall() { return Poll() ? Poll()() : false; }

}  // namespace velkor
