// The security window: the security mode and the account through which the
// judge does its own file work while the contest folders are closed to the
// contestants' programs. OK writes the values back as typed and saves the
// per-user configuration at once.
#pragma once

#include <QCheckBox>
#include <QLineEdit>

#include "components/Btns.h"
#include "toolkit/Forms.h"

namespace velkor {

// What the password edit shows in place of each character.
inline constexpr char32_t kPasswordCharacter = U'●';

class TSecurityForm : public TForm {
 public:
  explicit TSecurityForm(QWidget* Parent = nullptr);

  void LoadFromConfig();
  // Writes the controls back and saves the configuration; a save that fails
  // is reported naming the file.
  void SaveToConfig();

  void chkShowPasswordClick();

  QCheckBox* chkActiveSecurity;
  QLineEdit* edtUserName;
  QLineEdit* edtPassword;
  QCheckBox* chkShowPassword;
  QLineEdit* edtDomain;
  TSmartBtn* btnHelp;
  TSmartBtn* btnOK;
  TSmartBtn* btnCancel;

 private:
  void FormCreate();
};

void EditSecurity();

}  // namespace velkor
