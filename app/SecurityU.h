// The security window: the security mode and the account through which the
// judge does its own file work while the contest folders are closed to the
// contestants' programs. OK writes the values back as typed and saves the
// per-user configuration at once.
#pragma once

#include <QCheckBox>
#include <QLineEdit>

#include <functional>
#include <string>

#include "components/Btns.h"
#include "judging/Security.h"
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
  // Switching the mode on where it cannot work (Velkor runs as the
  // super-user) tells the jury at once and leaves the switch off: the logon
  // at the next judging run would only fail and switch it off then.
  void chkActiveSecurityClick();

  // Why the mode cannot work here (SecurityModeObstacle); replaceable so
  // that tests can play either kind of account.
  static inline std::function<std::string()> ModeObstacle = SecurityModeObstacle;

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
