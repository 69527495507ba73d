#include "app/DetailtU.h"

#include <QFontDatabase>

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QVBoxLayout>

#include "app/FormParts.h"
#include "app/MainFormLink.h"
#include "components/Btns.h"
#include "components/Panels.h"
#include "core/Dialogs.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/Exams.h"
#include "judging/NumberFormat.h"
#include "judging/Results.h"

namespace velkor {
namespace {

constexpr int kClientWidth = 512;
constexpr int kClientHeight = 384;
constexpr double kTolerance = 1e-9;

// Verdicts and logs keep CR LF between lines; the editor wants LF alone.
QString Lines(const std::string& S) { return Q(S).replace("\r\n", "\n").replace('\r', '\n'); }

}  // namespace

TTestOutcome ClassifyTest(double Evaluation, double Mark) {
  if (Evaluation < kTolerance) return TTestOutcome::Wrong;
  if (Evaluation >= Mark - kTolerance) return TTestOutcome::Correct;
  return TTestOutcome::Partial;
}

void ShowJudgeReport(TQueue<std::string>& CList, TQueue<std::string>& EList) {
  TReportForm form(MainFormLink::Window());
  form.CList = &CList;
  form.EList = &EList;
  form.Init();
  form.exec();
  form.WriteBackReportOptions();
}

TReportForm::TReportForm(QWidget* Parent) : TForm(Parent) {
  setObjectName("ReportForm");
  setWindowTitle(QString::fromUtf8("Chi tiết chấm"));
  resize(kClientWidth, kClientHeight);

  VQR_Panel1 = new TVQR_Panel(this);
  Reporter = new QTextEdit(VQR_Panel1);
  Reporter->setReadOnly(true);
  Reporter->setLineWrapMode(QTextEdit::NoWrap);
  Reporter->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Reporter->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Reporter->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
  cCorrect = new QCheckBox(QString::fromUtf8("Hiện test đúng"), VQR_Panel1);
  cWrong = new QCheckBox(QString::fromUtf8("Hiện test sai"), VQR_Panel1);
  cPartial = new QCheckBox(QString::fromUtf8("Hiện test đúng một phần"), VQR_Panel1);
  auto* boxes = new QHBoxLayout;
  boxes->addWidget(cCorrect);
  boxes->addWidget(cWrong);
  boxes->addWidget(cPartial);
  boxes->addStretch(1);
  auto* panelBox = new QVBoxLayout(VQR_Panel1);
  panelBox->setContentsMargins(8, 8, 8, 8);
  panelBox->addWidget(Reporter, 1);
  panelBox->addLayout(boxes);

  btnOK = NewDialogButton("Đóng", this);
  btnOK->SetModalResult(mrOk);
  CopyBtn = NewDialogButton("Copy", this);
  connect(CopyBtn, &QPushButton::clicked, this, [this] { CopyBtnClick(); });
  QHBoxLayout* buttons = NewButtonRow(nullptr, {CopyBtn, btnOK});
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(8, 8, 8, 8);
  box->addWidget(VQR_Panel1, 1);
  box->addLayout(buttons);
  for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
}

void TReportForm::AttachBoxes(bool Attach) {
  for (QCheckBox* b : {cCorrect, cWrong, cPartial}) {
    if (Attach) connect(b, &QCheckBox::toggled, this, [this] { BuildReport(); });
    else disconnect(b, &QCheckBox::toggled, this, nullptr);
  }
}

void TReportForm::Init() {
  AttachBoxes(false);
  const TReportOptionSet options = EnvConfig->ReportOptions;
  cCorrect->setChecked(options.Contains(roCorrect));
  cWrong->setChecked(options.Contains(roWrong));
  cPartial->setChecked(options.Contains(roPartial));
  AttachBoxes(true);
  BuildReport();
}

void TReportForm::AddText(const QString& Text, QFont::Weight Weight, bool Italic, int Indent, bool Fixed) {
  QTextCursor caret = Reporter->textCursor();
  QTextBlockFormat block = caret.blockFormat();
  block.setTextIndent(Indent * logicalDpiX() / 72.0);
  caret.setBlockFormat(block);
  QTextCharFormat chars;
  if (Fixed) {
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setFamilies({fixed.family(), "DejaVu Sans Mono", "monospace"});
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    fixed.setPointSizeF(Reporter->font().pointSizeF());
    chars.setFont(fixed);
  } else {
    chars.setFont(Reporter->font());
  }
  chars.setFontWeight(Weight);
  chars.setFontItalic(Italic);
  caret.insertText(Text, chars);
  Reporter->setTextCursor(caret);
}

void TReportForm::AddLine(const QString& Text, QFont::Weight Weight, bool Italic, int Indent) {
  AddText(Text + "\n", Weight, Italic, Indent);
}

void TReportForm::BuildReport() {
  Reporter->clear();
  Reporter->setFont(font());
  if (!CList || !EList || !ContestInfo) return;
  const QFont::Weight regular = QFont::Normal;
  const bool totals = ContestInfo->ExamSet().Count() == static_cast<std::ptrdiff_t>(EList->Count());
  for (const std::string& cname : *CList) {
    const TResultC* C = ContestInfo->ResultSet().ObjX(cname);
    AddText(QString::fromUtf8("■ "), regular, false, 0);
    AddText(Q(C->Name()) + ": ", regular, false, 0);
    AddLine(totals ? Q(FormatScore(C->Evaluation)) : QString(), regular, false, 0);
    for (const std::string& ename : *EList) {
      const TResultE* E = C->ObjX(ename);
      AddText(QString::fromUtf8("● "), regular, false, 12);
      AddText(Q(E->Name()) + ": ", regular, false, 12);
      AddLine(Q(E->state == jsJudged ? FormatScore(E->Evaluation) : JudgeStateText(E->state)), regular, false, 12);
      if (!E->EvaluationText.empty()) {
        // A verdict without a final line break gets one, so the next line
        // does not run on.
        QString text = Lines(E->EvaluationText);
        if (!text.endsWith('\n')) text += '\n';
        // Compiler output points at columns with "^" under its lines.
        AddText(text, regular, false, 24, true);
      }
      if (E->state != jsJudged) continue;
      const TExamInfo* exam = ContestInfo->ExamSet().ObjX(E->Name());
      for (std::ptrdiff_t i = 0; i < E->Count(); ++i) {
        const TResultT* T = E->ObjI(i);
        const TTestInfo* test = exam ? exam->Obj(T->Name()) : nullptr;
        if (!test) continue;
        const TTestOutcome outcome = ClassifyTest(T->Evaluation, test->GetActualMark());
        const QCheckBox* box = outcome == TTestOutcome::Wrong     ? cWrong
                               : outcome == TTestOutcome::Correct ? cCorrect
                                                                  : cPartial;
        if (!box->isChecked()) continue;
        const QFont::Weight weight = outcome == TTestOutcome::Wrong ? QFont::Bold : regular;
        const bool italic = outcome == TTestOutcome::Partial;
        AddText(QString::fromUtf8("◆ "), weight, italic, 24);
        AddLine(Q(T->Name()) + ": " + Q(FormatScore(T->Evaluation)), weight, italic, 24);
        AddLine(Lines(T->EvaluationText), weight, italic, 36);
      }
    }
  }
  QTextCursor start = Reporter->textCursor();
  start.movePosition(QTextCursor::Start);
  Reporter->setTextCursor(start);
}

void TReportForm::CopyBtnClick() {
  const QTextCursor caret = Reporter->textCursor();
  Reporter->selectAll();
  Reporter->copy();
  Reporter->setTextCursor(caret);
}

namespace {

bool IsCloseKey(int Key) { return Key == Qt::Key_Return || Key == Qt::Key_Enter || Key == Qt::Key_Escape; }

}  // namespace

bool TReportForm::HandleCloseKey(QKeyEvent* Event) {
  if (!IsCloseKey(Event->key())) return false;
  if (Event->type() == QEvent::KeyPress) {
    FPressedKey = Event->key();
  } else if (!Event->isAutoRepeat() && FPressedKey == Event->key()) {
    // Only a key pressed in this window closes it: the release of the key
    // that opened the report (Enter in a menu) belongs to another window.
    FPressedKey = 0;
    done(Event->key() == Qt::Key_Escape ? mrCancel : mrOk);
  }
  Event->accept();
  return true;
}

bool TReportForm::eventFilter(QObject* Watched, QEvent* Event) {
  // The window sees Enter and Esc before any of its controls does.
  if ((Event->type() == QEvent::KeyPress || Event->type() == QEvent::KeyRelease) && Watched->isWidgetType() &&
      isAncestorOf(static_cast<QWidget*>(Watched)) && HandleCloseKey(static_cast<QKeyEvent*>(Event)))
    return true;
  return TForm::eventFilter(Watched, Event);
}

void TReportForm::keyPressEvent(QKeyEvent* Event) {
  if (!HandleCloseKey(Event)) TForm::keyPressEvent(Event);
}

void TReportForm::keyReleaseEvent(QKeyEvent* Event) {
  if (!HandleCloseKey(Event)) TForm::keyReleaseEvent(Event);
}

void TReportForm::WriteBackReportOptions() {
  TReportOptionSet options;
  if (cCorrect->isChecked()) options.Include(roCorrect);
  if (cWrong->isChecked()) options.Include(roWrong);
  if (cPartial->isChecked()) options.Include(roPartial);
  EnvConfig->ReportOptions = options;
}

}  // namespace velkor
