#include "toolkit/MainMenuBar.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QShortcut>
#include <QStyleOptionMenuItem>

namespace velkor {

TMainMenuBar::TMainMenuBar(QWidget* Parent) : QMenuBar(Parent) {
  // Setting it on the bar makes it a key of the bar's whole window.
  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
  f10->setContext(Qt::WindowShortcut);
  connect(f10, &QShortcut::activated, this, [this] { ToggleKeyboardMode(); });
}

void TMainMenuBar::ToggleKeyboardMode() {
  // The bar enters (or leaves) its keyboard mode on a lone Alt: one pressed
  // (which the bar notes when the press is checked for shortcuts, as every
  // key press sent to a widget is) and released with nothing in between.
  // F10 plays one to the widget with the focus.
  QWidget* target = QApplication::focusWidget();
  if (!target || target->window() != window()) target = window();
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
  QCoreApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &release);
}

bool TMainMenuBar::InKeyboardMode() const {
  const QAction* marked = activeAction();
  return marked && hasFocus() && !(marked->menu() && marked->menu()->isVisible());
}

void TMainMenuBar::paintEvent(QPaintEvent* Event) {
  QMenuBar::paintEvent(Event);
  if (!InKeyboardMode()) return;
  // The marked menu drawn as the style draws an open one.
  QAction* marked = activeAction();
  QStyleOptionMenuItem option;
  initStyleOption(&option, marked);
  option.rect = actionGeometry(marked);
  option.state |= QStyle::State_Selected | QStyle::State_Sunken;
  QPainter painter(this);
  style()->drawControl(QStyle::CE_MenuBarItem, &option, &painter, this);
}

}  // namespace velkor
