// The environment settings window: folders, the score pattern, the visual
// style, the toolbar switch and the GUI font. OK writes the settings back
// and saves the per-user configuration at once; any other end writes
// nothing.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include "components/Btns.h"
#include "components/Panels.h"
#include "components/ValueEdits.h"
#include "toolkit/Forms.h"

namespace velkor {

class TSettingsForm : public TForm {
 public:
  explicit TSettingsForm(QWidget* Parent = nullptr);

  // Fills the controls from EnvConfig.
  void LoadFromConfig();
  // Writes the controls back into EnvConfig (applying a changed style and
  // the font) and saves the configuration; a save that fails is reported
  // naming the file, and the settings stay in effect.
  void SaveToConfig();

  void btnBrowse1Click() { Browse(edtSubmitFolder, "Chọn thư mục nộp bài trực tuyến"); }
  void btnBrowse2Click() { Browse(edtDecompresedFolder, "Chọn thư mục giải nén"); }
  void btnBrowse3Click() { Browse(edtContestHouse, "Chọn thư mục chứa phòng thi"); }
  void btnOpen1Click() { OpenFolder(edtSubmitFolder); }
  void btnOpen2Click() { OpenFolder(edtDecompresedFolder); }
  void btnOpen3Click() { OpenFolder(edtContestHouse); }
  void edtNumberFormatChange();

  TVQR_Panel* VQR_Panel1;
  TVQR_FileNameEdit* edtSubmitFolder;
  TVQR_FileNameEdit* edtDecompresedFolder;
  TVQR_FileNameEdit* edtContestHouse;
  TSmartBtn* btnBrowse1;
  TSmartBtn* btnBrowse2;
  TSmartBtn* btnBrowse3;
  TSmartBtn* btnOpen1;
  TSmartBtn* btnOpen2;
  TSmartBtn* btnOpen3;
  QLineEdit* edtNumberFormat;
  QLabel* labFormat;
  QComboBox* comboThemes;
  QCheckBox* checkToolBar;
  QComboBox* comboFontNames;
  TVQR_IntegerEdit* edtFontSize;
  TSmartBtn* btnOK;
  TSmartBtn* btnCancel;

 protected:
  void done(int Result) override;

 private:
  void FormCreate();
  void Browse(TVQR_FileNameEdit* Edit, const char* Title);
  void OpenFolder(TVQR_FileNameEdit* Edit);
  // True unless the submission folder is missing and the jury, asked,
  // would rather correct it.
  bool ConfirmSubmitFolder();
};

// Shows the settings window modally over the main window.
void EditSettings();

// SaveConfiguration for the settings windows: a save that fails is
// reported naming the file; the settings stay in effect (and are written
// again at clean-up). True when the file was written.
bool SaveConfigurationReporting();

}  // namespace velkor
