// The main menu bar reached from the keyboard as on the desktops Velkor
// runs on: a lone Alt or F10 puts the focus on the bar with its first menu
// marked, Down (or Enter) opens that menu, Left and Right move along the
// bar, and Alt, F10 or Escape give the focus back.
//
// Qt offers this keyboard mode itself, but only for a lone Alt, and its
// Fusion style draws the marked menu exactly like an unmarked one, so the
// bar looks untouched while it holds the focus. TMainMenuBar draws the
// marked menu as highlighted and adds F10.
#pragma once

#include <QMenuBar>

namespace velkor {

class TMainMenuBar : public QMenuBar {
 public:
  explicit TMainMenuBar(QWidget* Parent = nullptr);

  // Enters the keyboard mode, or leaves it when the bar is in it (F10).
  void ToggleKeyboardMode();
  // The bar holds the focus with a menu marked and none open.
  bool InKeyboardMode() const;

 protected:
  void paintEvent(QPaintEvent* Event) override;
};

}  // namespace velkor
