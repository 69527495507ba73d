// The exam settings dialog: the exam's input and output files, standard
// streams, checker, whether it is judged, and a grid of mark, time limit
// and memory limit for the exam and for each of its tests, where an empty
// field means "the exam's" (stored as -1).
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QScrollArea>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

#include "toolkit/Forms.h"

namespace velkor {

class TExamInfo;
class TVQR_ExtendedEdit;
class TVQR_GroupBox;
class TSmartCombobox;
class TSmartLab;
class TSmartBtn;

// The codes EditExamConfig answers.
enum TExamEditResult { erOK = 0, erCancel = 1, erNext = 2, erPrevious = 3 };

// Shows the dialog for Exam. On OK, Next and Previous the values are
// written back into the exam and its "Settings.cfg" is saved.
int EditExamConfig(TExamInfo* Exam);

// The modal result both Next and Previous close the dialog with.
inline constexpr int kMoveModalResult = 11;

// The multi-select file dialog of the browse buttons; tests install their
// own. Answers the chosen paths, empty when the jury gave up.
using TOpenFilesDialog = std::function<QStringList(QWidget* Parent, const QString& Title, const QString& Folder)>;
TOpenFilesDialog SetOpenFilesDialog(TOpenFilesDialog Dialog);

// The limit conventions of the grid: -1 is "not set" and shows empty.
// TextToLimit reads in the user's number format; empty, unreadable, not
// finite or negative text gives -1.
double TextToLimit(const QString& Text);
QString LimitToEditText(double Value);     // the shortest text
QString LimitToDisplayText(double Value);  // 15 significant digits

// One row of the grid.
struct TEdit3 {
  TSmartLab* labTest = nullptr;
  TVQR_ExtendedEdit* edtMark = nullptr;
  TVQR_ExtendedEdit* edtTime = nullptr;
  TVQR_ExtendedEdit* edtMemory = nullptr;
};

class TExamEditForm : public TForm {
 public:
  explicit TExamEditForm(QWidget* Parent = nullptr);

  void UpdateInfo(TExamInfo* Exam);
  void UpdateInfoBack(TExamInfo* Exam);

  // Which of Next and Previous closed the dialog.
  bool NextClicked() const { return FNextTag != 0; }

  TVQR_GroupBox* VQR_GroupBox1;
  TVQR_GroupBox* VQR_GroupBox2;
  QLineEdit* edtInputFiles;
  QLineEdit* edtOutputFiles;
  TSmartBtn* btnBrowseInput;
  TSmartBtn* btnBrowseOutput;
  QCheckBox* checkStdIn;
  QCheckBox* checkStdOut;
  TSmartCombobox* comboJudger;
  QCheckBox* checkValid;
  QScrollArea* scrollTestSet;
  TSmartBtn* btnHelp;
  TSmartBtn* btnPrev;
  TSmartBtn* btnOK;
  TSmartBtn* btnNext;
  TSmartBtn* btnCancel;

  TEdit3 gGeneral;
  std::vector<TEdit3> g;

 protected:
  // OK, Next and Previous close the dialog only when both file lists name
  // files inside the test folders, and name some file where the exam needs
  // one; otherwise the jury is told which.
  void done(int Result) override;
  // The wheel over the test set scrolls it by the wheel's own distance.
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  TEdit3 CreateRow();
  void SetRowTop(const TEdit3& Row, int Y);
  void SetRowRight(const TEdit3& Row, int X);
  void SetRowValues(const TEdit3& Row, double Mark, double Time, double Memory);
  void Browse(QLineEdit* Edit, const char* Title);
  // The message for a file list left empty that the exam needs, or nil.
  const char* MissingFileNames() const;

  QWidget* FRows;  // the scroll box's content
  QString FBrowseFolder;
  int FNextTag = 0;
};

}  // namespace velkor
