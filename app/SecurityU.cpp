#include "app/SecurityU.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/FormParts.h"
#include "app/MainFormLink.h"
#include "app/SettingsU.h"
#include "core/Dialogs.h"
#include "judging/EnvConfig.h"

namespace velkor {
namespace {

constexpr int kClientWidth = 384;
constexpr int kClientHeight = 228;
constexpr int kMargin = 12;
constexpr const char* kHelpTopic = "Security";

}  // namespace

TSecurityForm::TSecurityForm(QWidget* Parent) : TForm(Parent) {
  setObjectName("SecurityForm");
  setWindowTitle(QString::fromUtf8("Bảo mật"));
  SetHelpKeyword(this, kHelpTopic);

  chkActiveSecurity =
      new QCheckBox(QString::fromUtf8("Kích hoạt chế độ bảo mật (Xin đọc kỹ hướng dẫn sử dụng)"), this);
  edtUserName = new QLineEdit(this);
  edtPassword = new QLineEdit(this);
  edtPassword->setEchoMode(QLineEdit::Password);
  edtPassword->setStyleSheet(QString("lineedit-password-character: %1").arg(int(kPasswordCharacter)));
  chkShowPassword = new QCheckBox(QString::fromUtf8("Hiện mật mã"), this);
  edtDomain = new QLineEdit(this);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(6);
  auto row = [&](int Row, const char* Label, QWidget* Edit) {
    auto* label = new QLabel(QString::fromUtf8(Label), this);
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    label->setBuddy(Edit);
    grid->addWidget(label, Row, 0);
    grid->addWidget(Edit, Row, 1, Qt::AlignTop);
  };
  row(0, "Quyền bảo mật:\n(UserName)", edtUserName);
  auto* passwordLine = new QWidget(this);
  auto* passwordBox = new QHBoxLayout(passwordLine);
  passwordBox->setContentsMargins(0, 0, 0, 0);
  passwordBox->addWidget(edtPassword, 1);
  passwordBox->addWidget(chkShowPassword);
  row(1, "Mật mã:\n(Password)", passwordLine);
  row(2, "Tên miền:\n(Domain)", edtDomain);
  grid->setColumnStretch(1, 1);

  btnHelp = NewHelpButton(kHelpTopic, this);
  btnOK = NewOkButton(this);
  btnCancel = NewCancelButton(this);

  QHBoxLayout* buttons = NewButtonRow(btnHelp, {btnOK, btnCancel});

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(kMargin, kMargin, kMargin, 10);
  outer->addWidget(chkActiveSecurity);
  outer->addSpacing(4);
  outer->addLayout(grid);
  outer->addStretch(1);
  outer->addLayout(buttons);

  connect(chkShowPassword, &QCheckBox::toggled, this, [this] { chkShowPasswordClick(); });
  connect(chkActiveSecurity, &QCheckBox::clicked, this, [this] { chkActiveSecurityClick(); });
  FormCreate();
}

void TSecurityForm::FormCreate() {
  SetFixedDialogSize(this, kClientWidth, kClientHeight);
  // The switch's caption is long: when the GUI font makes it wider than the
  // window, its remark goes onto a second line rather than being cut off.
  const QString caption = chkActiveSecurity->text();
  const int room = kClientWidth - 2 * kMargin - 24;
  if (chkActiveSecurity->fontMetrics().horizontalAdvance(caption) > room)
    chkActiveSecurity->setText(QString(caption).replace(" (", "\n("));
}

void TSecurityForm::LoadFromConfig() {
  chkActiveSecurity->setChecked(EnvConfig->ActiveSecurity);
  edtUserName->setText(Q(EnvConfig->AdminUserName));
  edtPassword->setText(Q(EnvConfig->AdminPassword));
  edtDomain->setText(Q(EnvConfig->AdminDomain));
}

void TSecurityForm::SaveToConfig() {
  // As typed: the account's names are the system's business, blanks and all.
  EnvConfig->ActiveSecurity = chkActiveSecurity->isChecked();
  EnvConfig->AdminUserName = edtUserName->text().toStdString();
  EnvConfig->AdminPassword = edtPassword->text().toStdString();
  EnvConfig->AdminDomain = edtDomain->text().toStdString();
  SaveConfigurationReporting();
}

void TSecurityForm::chkShowPasswordClick() {
  edtPassword->setEchoMode(chkShowPassword->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void TSecurityForm::chkActiveSecurityClick() {
  if (!chkActiveSecurity->isChecked()) return;
  const std::string obstacle = ModeObstacle();
  if (obstacle.empty()) return;
  chkActiveSecurity->setChecked(false);
  VQRMsgDlg("Không bật được chế độ bảo mật.\r\n" + obstacle +
                "\r\nHãy chạy Velkor bằng một tài khoản thường để dùng chế độ bảo mật (xem Hướng dẫn).",
            mtWarning, {mbOK});
}

void EditSecurity() {
  TSecurityForm form(MainFormLink::Window());
  form.LoadFromConfig();
  if (QWidget* main = MainFormLink::Window()) form.move(main->geometry().center() - form.rect().center());
  if (form.exec() == mrOk) form.SaveToConfig();
}

}  // namespace velkor
