#include "judging/Security.h"

#include <cerrno>
#include <stdexcept>
#include <string>

#include "core/Dialogs.h"
#include "core/NameCompare.h"
#include "core/SystemInfo.h"
#include "judging/EnvConfig.h"
#include "platform/SystemErrors.h"

namespace velkor {

bool Impersonating = false;

namespace {

bool SecurityModeOn() { return EnvConfig && EnvConfig->ActiveSecurity; }

// Why the account could not log on, as the system would word it. The
// account that runs Velkor cannot be its own security account; any other
// account needs the logon of the security mode, which this build lacks.
std::string LogonFailureReason() {
  if (SameText(GetCurrentUserName(), EnvConfig->AdminUserName)) return platform::ErrnoMessage(EPERM);
  return platform::ErrnoMessage(ENOTSUP);
}

void CloseTokens() {
  EnvConfig->AdminToken = 0;
  EnvConfig->AdminToken2 = 0;
}

}  // namespace

void SetAdminLogon(bool LogOn) {
  if (!SecurityModeOn()) return;
  if (LogOn == (EnvConfig->AdminToken != 0)) return;
  SetImpersonation(false);
  CloseTokens();
  if (!LogOn) return;

  const std::string message = "Không thể đăng nhập với \"" + EnvConfig->AdminDomain + "\\" +
                              EnvConfig->AdminUserName + "\".\r\n" + LogonFailureReason() +
                              "\r\nChế độ bảo mật sẽ tạm tắt";
  VQRMsgDlg(message, mtError, {mbOK});
  CloseTokens();
  EnvConfig->ActiveSecurity = false;
}

void SetImpersonation(bool On) {
  if (!SecurityModeOn() || EnvConfig->AdminToken == 0) return;
  if (On == Impersonating) return;
  // No logon ever succeeds in this build, so no token can be here; should
  // one appear, working under the wrong identity would be worse than
  // stopping.
  throw std::logic_error("Không thể đổi sang tài khoản bảo mật: chức năng chưa có");
}

}  // namespace velkor
