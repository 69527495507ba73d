#include "judging/Security.h"

#include <stdexcept>
#include <string>

#include "core/Dialogs.h"
#include "core/NameCompare.h"
#include "core/SystemInfo.h"
#include "judging/EnvConfig.h"
#include "platform/SecurityAccounts.h"
#include "platform/SystemErrors.h"

namespace velkor {

bool Impersonating = false;

namespace {

bool SecurityModeOn() { return EnvConfig && EnvConfig->ActiveSecurity; }

void CloseTokens() {
  platform::CloseAccountToken(EnvConfig->AdminToken);
  platform::CloseAccountToken(EnvConfig->AdminToken2);
  EnvConfig->AdminToken = 0;
  EnvConfig->AdminToken2 = 0;
}

// Logs the security account on; 0 and the reason in Failure when it cannot.
platform::TAccountToken LogOn(std::string& Failure) {
  if (SameText(GetCurrentUserName(), EnvConfig->AdminUserName)) {
    Failure = "Tài khoản bảo mật chính là tài khoản đang chạy Velkor.";
    return 0;
  }
  Failure = SecurityModeObstacle();
  if (!Failure.empty()) return 0;
  platform::TAccountToken token = 0;
  if (!platform::LogOnAccount(EnvConfig->AdminUserName, EnvConfig->AdminPassword, token, Failure)) return 0;
  return token;
}

}  // namespace

std::string SecurityModeObstacle() {
  if (IsUserAdmin())
    return "Velkor đang chạy với quyền root (siêu người dùng), quyền mà không danh sách quyền truy cập nào ràng "
           "buộc được.";
  return "";
}

void SetAdminLogon(bool LogOn) {
  if (!SecurityModeOn()) return;
  if (LogOn == (EnvConfig->AdminToken != 0)) return;
  SetImpersonation(false);
  CloseTokens();
  if (!LogOn) return;

  std::string failure;
  EnvConfig->AdminToken = velkor::LogOn(failure);
  if (EnvConfig->AdminToken == 0) {
    VQRMsgDlg("Không thể đăng nhập với \"" + EnvConfig->AdminDomain + "\\" + EnvConfig->AdminUserName + "\".\r\n" +
                  failure + "\r\nChế độ bảo mật sẽ tạm tắt",
              mtError, {mbOK});
    EnvConfig->ActiveSecurity = false;
    return;
  }
  EnvConfig->AdminToken2 = platform::DuplicateAccountToken(EnvConfig->AdminToken);
}

void SetImpersonation(bool On) {
  if (!SecurityModeOn() || EnvConfig->AdminToken == 0) return;
  if (On == Impersonating) return;
  const int err = On ? platform::SwitchFileIdentity(EnvConfig->AdminToken) : platform::RevertFileIdentity();
  // The flag follows what the thread is, not what was asked.
  if (err != 0) throw std::runtime_error(platform::ErrnoMessage(err));
  Impersonating = On;
}

}  // namespace velkor
