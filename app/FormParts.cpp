#include "app/FormParts.h"

#include <QDir>
#include <QHBoxLayout>

#include <filesystem>
#include <vector>

#include "components/Btns.h"
#include "core/Dialogs.h"
#include "core/NumberFormat.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "toolkit/Forms.h"

namespace velkor {

std::string ContestFolder() {
  namespace fs = std::filesystem;
  std::error_code ec;
  auto parentOf = [](const std::string& Path) {
    return fs::path(Path).lexically_normal().parent_path().string();
  };
  std::vector<std::string> candidates;
  if (!ContestInfo->FileName().empty()) candidates.push_back(parentOf(ContestInfo->FileName()));
  for (const std::string& dir : {ContestInfo->ExamSet().Dir(), ContestInfo->ResultSet().Dir()})
    if (!dir.empty()) candidates.push_back(parentOf(fs::path(dir).lexically_normal().string()));
  if (EnvConfig)
    for (const std::string& dir : {EnvConfig->LastExamDir, EnvConfig->LastContestantDir})
      if (!dir.empty()) candidates.push_back(parentOf(fs::path(dir).lexically_normal().string()));
  for (const std::string& dir : candidates)
    if (!dir.empty() && fs::is_directory(dir, ec)) return dir;
  return QDir::homePath().toStdString();
}


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
