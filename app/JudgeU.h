// The judging window: every judging run happens inside this small modal
// window. It runs the engine on the GUI thread, shows who and what is being
// judged, the progress, the time spent and the engine's status, lets the
// jury stop the run, and for the run's length lowers Velkor's scheduling
// class and keeps crashes from leaving core files.
#pragma once

#include <QPoint>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/LinkedLists.h"
#include "judging/JudgeEngines.h"
#include "toolkit/Forms.h"

class QLabel;

namespace velkor {

class TVQR_GroupBox;
class TVQR_FastGauge;
class TSmartLab;
class TSmartBtn;

// Judges Queue (contestant-major pairs) and returns once the window has
// closed. Results already judged stay when the run is stopped.
void RunJudge(TQueue<TJudgePair>& Queue);

// True once InitErrorModeAPI found the process error-mode routines; the run
// then sets the error mode instead of writing the error-reporting values.
extern bool ErrorModeAPI;
void InitErrorModeAPI();
void DoneErrorModeAPI();

// Where the error-reporting values live in the per-user registry store.
inline constexpr const char* kErrorReportingKey = "Software\\Microsoft\\Windows\\Windows Error Reporting";
inline constexpr const char* kErrorReportingConsentKey =
    "Software\\Microsoft\\Windows\\Windows Error Reporting\\Consent";

// "hh:mm:ss" of the time from StartTick to NowTick on the wrapping 32-bit
// millisecond tick; a tick that wrapped in between still gives the time
// passed. Hours past a day start again at 00, as a time of day does.
std::string FormatJudgeTime(std::int64_t StartTick, std::int64_t NowTick);

class TJudgeForm : public TForm {
 public:
  explicit TJudgeForm(QWidget* Parent = nullptr);
  ~TJudgeForm() override;

  // The work of this run; owned by the caller.
  TQueue<TJudgePair>* List = nullptr;

  // Engine events.
  void JudgeInit(TJudgeEngine* Sender);
  void JudgeNotify(TJudgeEngine* Sender, TJudgeAction Action, const std::string& CName, const std::string& EName,
                   const std::string& tname, bool& UserCancel);
  void ProgressNotify(TJudgeEngine* Sender, double prg);
  void StatusNotify(TJudgeEngine* Sender, const std::string& Status);
  void JudgeFinish(TJudgeEngine* Sender);

  // The values of the error-reporting keys a run sets to 1, each saved
  // under its name + "Backup" meanwhile. Used when the error-mode routines
  // are missing; values the run created are removed again afterwards.
  void SuppressErrorReporting();
  void RestoreErrorReporting();

  // What the machine cannot give the runs, on a line of its own under the
  // progress for the whole run (the window grows by it); none, no line.
  void SetRunNotice(const std::string& Notice);
  // Where the window reads it; RunLimitationNotice, replaceable by tests.
  static inline std::function<std::string()> RunNotice = RunLimitationNotice;

  void btnStopClick();
  // Esc and the window manager's close act as Stop while the engine runs.
  void reject() override;
  bool Running() const { return Engine != nullptr; }

  std::int64_t StartTime = 0;
  std::unique_ptr<TJudgeEngine> Engine;
  bool ManualCancel = false;
  bool MDown = false;
  QPoint LastCorner;
  QPoint LastP;
  unsigned BackupPr = 0;
  std::uint32_t BackupErrorMode = 0;

  TVQR_GroupBox* VQR_GroupBox1 = nullptr;
  TVQR_FastGauge* Gauge1 = nullptr;
  TSmartLab* labName1 = nullptr;
  TSmartLab* labTime = nullptr;
  TSmartLab* labStatus = nullptr;
  QLabel* labNotice = nullptr;
  TSmartBtn* btnStop = nullptr;

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  // Runs once the modal loop runs: the window's own start message.
  void WMStartJudging();
  void StartJudging();
  // Puts back what JudgeInit changed; safe to call when it changed nothing.
  void RestoreRunSettings();

  bool FStartPosted = false;
  bool FSettingsChanged = false;
  // Error-reporting values that did not exist before the run.
  std::vector<std::pair<std::string, std::string>> FCreatedValues;
};

// The judging window of the current run, or nullptr.
extern TJudgeForm* JudgeForm;

}  // namespace velkor
