#include "app/FormParts.h"

#include <QHBoxLayout>

#include "components/Btns.h"
#include "core/Dialogs.h"
#include "core/NumberFormat.h"
#include "toolkit/Forms.h"

namespace velkor {

std::string GridScoreText(std::string_view Pattern, double Value) {
  return FormatNumber(Pattern, Value, ProcessNumberLocale());
}

TSmartBtn* NewDialogButton(const char* Caption, QWidget* Parent) {
  auto* button = new TSmartBtn(Parent);
  button->SetCaption(QString::fromUtf8(Caption));
  button->setAutoDefault(false);
  return button;
}

TSmartBtn* NewOkButton(QWidget* Parent) {
  TSmartBtn* button = NewDialogButton("Ghi nhận", Parent);
  button->SetModalResult(mrOk);
  button->SetDefault(true);
  return button;
}

TSmartBtn* NewCancelButton(QWidget* Parent) {
  TSmartBtn* button = NewDialogButton("Hủy bỏ", Parent);
  button->SetModalResult(mrCancel);
  button->SetCancel(true);
  return button;
}

TSmartBtn* NewHelpButton(const char* Topic, QWidget* Parent) {
  TSmartBtn* button = NewDialogButton("Hướng dẫn", Parent);
  SetHelpKeyword(button, QString::fromUtf8(Topic));
  QObject::connect(button, &QPushButton::clicked, button, [button] { ShowHelpKeyword(HelpKeyword(button)); });
  return button;
}

QHBoxLayout* NewButtonRow(QWidget* Left, std::initializer_list<QWidget*> Right) {
  auto* row = new QHBoxLayout;
  if (Left) row->addWidget(Left);
  row->addStretch(1);
  for (QWidget* button : Right) row->addWidget(button);
  return row;
}

}  // namespace velkor
