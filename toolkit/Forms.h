// The modal form: a dialog whose buttons end it with their modal result.
//
// QDialog answers Escape with reject() (result 0) and knows nothing of a
// button's modal result. Here Escape clicks the form's Cancel button, and
// a form closed any other way (its title bar, reject()) ends with mrCancel
// (2); Enter clicks the default button as QDialog does. A TModalButton
// with a modal result other than 0 ends its form with done(ModalResult)
// before its own click handlers run. Controls that use Enter or Escape
// themselves accept the key event, so the form never sees it.
//
// Help is kept as widget properties (HelpType, HelpContext, HelpKeyword)
// and shown through one replaceable callback that start-up installs; the
// default shows nothing. F1 in a form shows the focused control's help.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QString>

#include <functional>

namespace velkor {

enum THelpType { htKeyword, htContext };

void SetHelpType(QWidget* Control, THelpType Value);
THelpType HelpType(const QWidget* Control);  // htContext when never set
void SetHelpContext(QWidget* Control, int Value);
int HelpContext(const QWidget* Control);
void SetHelpKeyword(QWidget* Control, const QString& Value);
QString HelpKeyword(const QWidget* Control);

// Shows the help of a context (Keyword empty) or of a keyword (Context 0).
using THelpCallback = std::function<void(int Context, const QString& Keyword)>;
// Installs Callback (an empty one restores the default that shows nothing).
void SetHelpCallback(THelpCallback Callback);
void ShowHelpContext(int Context);
void ShowHelpKeyword(const QString& Keyword);

// The frame of a dialog whose size never changes: a title with a close
// button only (no maximise or minimise button, which a window manager
// would otherwise offer), and the size fixed, so that no resize grip or
// border is offered either.
inline constexpr Qt::WindowFlags kFixedDialogFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                     Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                                     Qt::MSWindowsFixedSizeDialogHint;
void SetFixedDialogSize(QDialog* Dialog, int Width, int Height);

// A push button carrying a modal result and the Default / Cancel roles.
class TModalButton : public QPushButton {
 public:
  explicit TModalButton(QWidget* Parent = nullptr);

  int ModalResult() const { return FModalResult; }
  void SetModalResult(int Value) { FModalResult = Value; }
  bool Default() const { return isDefault(); }
  void SetDefault(bool Value) { setDefault(Value); }
  bool Cancel() const { return FCancel; }
  void SetCancel(bool Value) { FCancel = Value; }

 private:
  int FModalResult = 0;
  bool FCancel = false;
};

class TForm : public QDialog {
 public:
  explicit TForm(QWidget* Parent = nullptr);

  // The first visible, enabled Cancel button among the form's children,
  // or nullptr.
  TModalButton* CancelButton() const;
  // Ends the form with mrCancel.
  void reject() override;
  // F1: the help of the focused control, else of the nearest of its parents
  // up to the form that has one. False when none has.
  bool ShowFocusedHelp();

 protected:
  void keyPressEvent(QKeyEvent* Event) override;
};

}  // namespace velkor
