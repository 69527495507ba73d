#include "app/MainFormLink.h"

#include "toolkit/Forms.h"

#include <QApplication>
#include <QWidget>

namespace velkor {

namespace {
IMainFormLink* gLink = nullptr;
}

namespace MainFormLink {

void Install(IMainFormLink* Link) { gLink = Link; }

void Remove(IMainFormLink* Link) {
  if (gLink == Link) gLink = nullptr;
}

IMainFormLink* Installed() { return gLink; }

QWidget* Window() { return gLink ? gLink->Window() : nullptr; }

void ShowHelp(const std::string& Topic) {
  if (gLink) gLink->ShowHelp(Topic);
}

void UpdateMainTableC(TResultC* C, bool Focus) {
  if (gLink) gLink->UpdateMainTableC(C, Focus);
}

void ShowGridPage() {
  if (gLink) gLink->ShowGridPage();
}

void InstallHelpRoute() {
  SetHelpCallback([](int, const QString& Keyword) { ShowHelp(Keyword.toStdString()); });
}

}  // namespace MainFormLink

bool IsMainFormActive() {
  QWidget* main = MainFormLink::Window();
  if (!main || !main->isVisible()) return false;
  // A modal window of ours (a dialog, the judging window) always comes
  // first, also while the system still reports the main window active.
  if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != main) return false;
  if (QApplication::activeWindow() == main) return true;
  // Another window of ours that is active or merely shown (a dialog, the
  // judging window, the about box) means the main window is not.
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w == main || !w->isVisible()) continue;
    const Qt::WindowType type = w->windowType();
    if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::SplashScreen) continue;
    return false;
  }
  return QApplication::activePopupWidget() == nullptr;
}

}  // namespace velkor
