#include "toolkit/Forms.h"

#include <QKeyEvent>

#include "core/Dialogs.h"

namespace velkor {

namespace {

THelpCallback& HelpCallback() {
  static THelpCallback Callback;
  return Callback;
}

}  // namespace

void SetHelpType(QWidget* Control, THelpType Value) { Control->setProperty("HelpType", int(Value)); }

THelpType HelpType(const QWidget* Control) {
  const QVariant V = Control->property("HelpType");
  return V.isValid() && V.toInt() == htKeyword ? htKeyword : htContext;
}

void SetHelpContext(QWidget* Control, int Value) { Control->setProperty("HelpContext", Value); }

int HelpContext(const QWidget* Control) { return Control->property("HelpContext").toInt(); }

void SetHelpKeyword(QWidget* Control, const QString& Value) { Control->setProperty("HelpKeyword", Value); }

QString HelpKeyword(const QWidget* Control) { return Control->property("HelpKeyword").toString(); }

void SetHelpCallback(THelpCallback Callback) { HelpCallback() = std::move(Callback); }

void ShowHelpContext(int Context) {
  if (HelpCallback()) HelpCallback()(Context, QString());
}

void ShowHelpKeyword(const QString& Keyword) {
  if (HelpCallback()) HelpCallback()(0, Keyword);
}

TModalButton::TModalButton(QWidget* Parent) : QPushButton(Parent) {
  // Connected first, so the form's result is set before OnClick runs.
  connect(this, &QPushButton::clicked, this, [this] {
    if (FModalResult == 0) return;
    if (auto* Form = qobject_cast<QDialog*>(window())) Form->done(FModalResult);
  });
}

TForm::TForm(QWidget* Parent) : QDialog(Parent) {}

void SetFixedDialogSize(QDialog* Dialog, int Width, int Height) {
  Dialog->setWindowFlags(kFixedDialogFlags);
  Dialog->setFixedSize(Width, Height);
  Dialog->setSizeGripEnabled(false);
}

TModalButton* TForm::CancelButton() const {
  for (auto* B : findChildren<TModalButton*>())
    if (B->Cancel() && B->isVisibleTo(this) && B->isEnabled() && B->window() == this) return B;
  return nullptr;
}

void TForm::reject() { done(mrCancel); }

bool TForm::ShowFocusedHelp() {
  for (QWidget* W = focusWidget() ? focusWidget() : this; W; W = W == this ? nullptr : W->parentWidget()) {
    const QString Keyword = HelpKeyword(W);
    const int Context = HelpContext(W);
    // A keyword given without a context counts, as the help buttons use.
    if (!Keyword.isEmpty() && (HelpType(W) == htKeyword || Context == 0)) {
      ShowHelpKeyword(Keyword);
      return true;
    }
    if (HelpType(W) == htContext && Context != 0) {
      ShowHelpContext(Context);
      return true;
    }
  }
  return false;
}

void TForm::keyPressEvent(QKeyEvent* Event) {
  if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
    if (auto* B = CancelButton()) B->click();
    else reject();
    return;
  }
  if (Event->key() == Qt::Key_F1 && Event->modifiers() == Qt::NoModifier && ShowFocusedHelp()) return;
  QDialog::keyPressEvent(Event);
}

}  // namespace velkor
