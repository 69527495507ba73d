#include "judging/Globals.h"

#include <exception>
#include <memory>
#include <string>

#include "core/Dialogs.h"
#include "core/ExecRoutines.h"
#include "judging/Checkers.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/NumberFormat.h"
#include "judging/Security.h"

namespace velkor {

void InitializeGlobals() {
  PrepareExecRunner();
  Checkers = std::make_unique<TCheckerSet>();
  LoadCheckers();
  ContestInfo = std::make_unique<TContestInfo>();
  CompilerConfig = std::make_unique<TCompilerConfig>();
  EnvConfig = std::make_unique<TEnvConfig>();
  LoadConfiguration();
  // Numbers in the XML files use the fixed en-us format (EnUsFormat), a
  // constant; what remains to bind is the jury's pattern for scores.
  SetNumberFormatSource([] { return EnvConfig ? EnvConfig->NumberFormat : std::string(); });
}

void FinalizeGlobals(TConfigurationAtExit AtExit) {
  // The configuration is saved under Velkor's own identity, never the
  // security account's.
  try {
    SetImpersonation(false);
    SetAdminLogon(false);
  } catch (const std::exception& e) {
    VQRMsgDlg(std::string("Không thể đăng xuất khỏi tài khoản bảo mật: ") + e.what(), mtError, {mbOK});
  }
  if (CompilerConfig && EnvConfig && AtExit == TConfigurationAtExit::Save) {
    try {
      SaveConfiguration();
    } catch (const std::exception& e) {
      VQRMsgDlg(std::string("Không thể lưu cấu hình: ") + e.what(), mtError, {mbOK});
    } catch (...) {
      VQRMsgDlg("Không thể lưu cấu hình: lỗi không xác định", mtError, {mbOK});
    }
  }
  EnvConfig.reset();
  CompilerConfig.reset();
  Checkers.reset();
  ContestInfo.reset();
  ReleaseConfigurationTexts();
  SetNumberFormatSource(nullptr);
}

}  // namespace velkor
