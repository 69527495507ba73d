// The compiler table dialog: one row per source-file extension with its
// compile command line, in the order the compile step tries them.
#pragma once

#include <QTableWidget>

#include <string>

#include "toolkit/Forms.h"

namespace velkor {

class TVQR_Panel;
class TSmartLab;
class TSmartBtn;

// Edits the process-wide compiler table; OK replaces it and saves the
// per-user configuration at once.
void EditCompilerConfig();

// How a cell reads once edited: a key trimmed and always beginning with
// "." (so an empty key is "."), a command trimmed of blanks and control
// characters at both ends.
std::string NormaliseCompilerKey(const std::string& Key);
std::string NormaliseCompilerCommand(const std::string& Command);

class TformCplCfg : public TForm {
 public:
  explicit TformCplCfg(QWidget* Parent = nullptr);

  // Fills the editor from the table, one row per table row.
  void DataLoad();
  // Replaces the table with the editor's rows; a row whose key and command
  // are both empty is no row.
  void DataSave();

  // Normalises the cell at (Row, Column) and writes it back only when that
  // changed it (a cell's editor opening, a cell committed).
  void NormaliseCell(int Row, int Column);

  QTableWidget* listExtCmd;
  TSmartLab* SmartLab1;
  TSmartBtn* btnHelp;
  TSmartBtn* btnOK;
  TSmartBtn* btnCancel;

 protected:
  void done(int Result) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void listExtCmdKeyDown(QKeyEvent* Event);
  // Commits the cell being edited, if any, and closes its editor.
  void CommitEdit();
  void SwapRows(int A, int B);
  void InsertRow(int Row);
};

}  // namespace velkor
