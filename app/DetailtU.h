// The judging report: how a list of contestants did in a list of exams,
// down to every test with its score and verdict, as formatted text. Three
// check boxes filter the tests by outcome for the rest of the run.
#pragma once

#include <QCheckBox>
#include <QTextEdit>

#include <string>

#include "core/LinkedLists.h"
#include "toolkit/Forms.h"

namespace velkor {

class TVQR_Panel;
class TSmartBtn;

// Shows the report for every contestant of CList and every exam of EList,
// in their order, and keeps the filter choice afterwards.
void ShowJudgeReport(TQueue<std::string>& CList, TQueue<std::string>& EList);

// How a test went: nothing earned, the test's whole mark, or some of it.
enum class TTestOutcome { Wrong, Correct, Partial };
TTestOutcome ClassifyTest(double Evaluation, double Mark);

class TReportForm : public TForm {
 public:
  explicit TReportForm(QWidget* Parent = nullptr);

  TQueue<std::string>* CList = nullptr;
  TQueue<std::string>* EList = nullptr;

  void Init();
  void BuildReport();
  // Text at the caret in Style (bold / italic), its paragraph's first line
  // indented by Indent points.
  // Fixed: in the fixed-width font, for compiler output, whose markers
  // line up under the characters of the line above.
  void AddText(const QString& Text, QFont::Weight Weight, bool Italic, int Indent, bool Fixed = false);
  void AddLine(const QString& Text, QFont::Weight Weight, bool Italic, int Indent);
  void WriteBackReportOptions();
  void CopyBtnClick();

  TVQR_Panel* VQR_Panel1;
  QTextEdit* Reporter;
  QCheckBox* cCorrect;
  QCheckBox* cWrong;
  QCheckBox* cPartial;
  TSmartBtn* btnOK;
  TSmartBtn* CopyBtn;

 protected:
  void keyPressEvent(QKeyEvent* Event) override;
  void keyReleaseEvent(QKeyEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void AttachBoxes(bool Attach);
  // Enter and Esc close the window when they come up; true when Event is
  // one of them (it is then taken).
  bool HandleCloseKey(QKeyEvent* Event);
  int FPressedKey = 0;
};

}  // namespace velkor
