#include "app/ExamEditU.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>
#include <exception>
#include <utility>

#include "app/FormParts.h"
#include "app/MainFormLink.h"
#include "components/Btns.h"
#include "components/ListBoxes.h"
#include "components/Labels.h"
#include "components/Panels.h"
#include "components/ValueEdits.h"
#include "core/Dialogs.h"
#include "core/NumberFormat.h"
#include "judging/Checkers.h"
#include "judging/Contests.h"
#include "judging/Exams.h"

namespace velkor {
namespace {

constexpr int kClientWidth = 600;
constexpr int kClientHeight = 328;
// Narrower than a classic 88 so that "Thiết lập chung" fits left of the row in
// the GUI font.
constexpr int kEditWidth = 80;
constexpr int kRowGap = 2;
constexpr int kFirstRowTop = 40;
constexpr double kSmallestTitlePoints = 6;
constexpr const char* kHelpTopic = "TaskConfig";
constexpr const char* kNoInputFiles =
    "Chưa có tên file dữ liệu. Bài thi không dùng luồng vào chuẩn nên chương trình của thí sinh đọc dữ liệu "
    "từ file: hãy nhập tên file đó (nhiều file thì cách nhau bởi \"|\").";
constexpr const char* kNoOutputFiles =
    "Chưa có tên file kết quả. Kết quả của chương trình (kể cả khi ghi ra luồng ra chuẩn) được chấm qua file "
    "có tên này: hãy nhập tên file đó (nhiều file thì cách nhau bởi \"|\").";

TOpenFilesDialog& OpenFilesDialog() {
  static TOpenFilesDialog dialog = [](QWidget* Parent, const QString& Title, const QString& Folder) {
    return QFileDialog::getOpenFileNames(Parent, Title, Folder);
  };
  return dialog;
}

TFormatSettings UserFormat() {
  const std::string& point = ProcessNumberLocale().DecimalPoint;
  return TFormatSettings{point.size() == 1 ? point[0] : '.', '\0'};
}

bool SameIgnoringAsciiCase(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i) {
    char a = A[i], b = B[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

// A value as the row shows it: the edit's text committed first, since
// Enter does not leave an edit.
double CommittedValue(TVQR_ExtendedEdit* Edit) {
  Edit->UpdateValueByText();
  return static_cast<double>(Edit->Value());
}

// A file list from its first name on; the whole list in the tip when the
// edit is too narrow for it.
void ShowFileList(QLineEdit* Edit, const QString& Files) {
  Edit->setText(Files);
  Edit->setCursorPosition(0);
  Edit->setToolTip(Files);
}

}  // namespace

TOpenFilesDialog SetOpenFilesDialog(TOpenFilesDialog Dialog) {
  TOpenFilesDialog previous = OpenFilesDialog();
  if (Dialog) OpenFilesDialog() = std::move(Dialog);
  return previous;
}

double TextToLimit(const QString& Text) {
  const std::string text = Text.trimmed().toStdString();
  if (text.empty()) return -1;
  double value = 0;
  if (!TryStrToFloat(text, value, UserFormat()) || !std::isfinite(value) || value < 0) return -1;
  return value;
}

QString LimitToEditText(double Value) { return Value >= 0 ? Q(FloatToStr(Value, UserFormat())) : QString(); }

QString LimitToDisplayText(double Value) {
  return Value >= 0 ? Q(FormatGeneral(Value, 15, std::string(1, UserFormat().DecimalSeparator))) : QString();
}

int EditExamConfig(TExamInfo* Exam) {
  TExamEditForm form(MainFormLink::Window());
  form.UpdateInfo(Exam);
  const int result = form.exec();
  int code = erCancel;
  if (result == mrOk) code = erOK;
  else if (result == kMoveModalResult) code = form.NextClicked() ? erNext : erPrevious;
  if (code == erCancel) return code;
  form.UpdateInfoBack(Exam);
  try {
    // In a contest opened from an archive the settings live only in its
    // unpack folder until the contest is saved: a crash must not lose them.
    if (ContestInfo) ContestInfo->NoteUnsavedExamChange();
    Exam->FileSave();
  } catch (const std::exception& e) {
    // The values stay in memory; the jury learns the file was not written.
    VQRMsgDlg("Không ghi được cấu hình bài thi \"" + Exam->Name() + "\": " + e.what(), mtError, {mbOK});
  }
  return code;
}

TExamEditForm::TExamEditForm(QWidget* Parent) : TForm(Parent) {
  setObjectName("ExamEditForm");
  SetHelpKeyword(this, kHelpTopic);
  // The controls are placed, not laid out: the window keeps its size.
  SetFixedDialogSize(this, kClientWidth, kClientHeight);

  VQR_GroupBox1 = new TVQR_GroupBox(this);
  VQR_GroupBox1->SetCaption("Cấu hình bài thi");
  VQR_GroupBox1->setGeometry(8, 8, 196, 272);
  auto* left = new QVBoxLayout(VQR_GroupBox1);
  left->setContentsMargins(10, 32, 10, 10);
  left->setSpacing(4);
  auto fileRow = [&](const char* Label, QLineEdit*& Edit, TSmartBtn*& Browse, QCheckBox*& Check, const char* CheckText) {
    left->addWidget(new QLabel(QString::fromUtf8(Label), VQR_GroupBox1));
    auto* line = new QHBoxLayout;
    Edit = new QLineEdit(VQR_GroupBox1);
    Browse = NewDialogButton("...", VQR_GroupBox1);
    Browse->setFixedSize(28, Edit->sizeHint().height());
    line->addWidget(Edit, 1);
    line->addWidget(Browse);
    left->addLayout(line);
    Check = new QCheckBox(QString::fromUtf8(CheckText), VQR_GroupBox1);
    left->addWidget(Check);
  };
  fileRow("Tên (các) file dữ liệu:", edtInputFiles, btnBrowseInput, checkStdIn, "Dùng luồng vào chuẩn");
  fileRow("Tên (các) file kết quả:", edtOutputFiles, btnBrowseOutput, checkStdOut, "Dùng luồng ra chuẩn");
  left->addWidget(new QLabel(QString::fromUtf8("Trình chấm:"), VQR_GroupBox1));
  comboJudger = new TSmartCombobox(VQR_GroupBox1);
  left->addWidget(comboJudger);
  checkValid = new QCheckBox(QString::fromUtf8("Có chấm bài này"), VQR_GroupBox1);
  left->addWidget(checkValid);
  left->addStretch(1);
  for (int i = 0; Checkers && i < Checkers->Count(); ++i) comboJudger->addItem(Q(Checkers->ObjI(i)->Name()));

  VQR_GroupBox2 = new TVQR_GroupBox(this);
  VQR_GroupBox2->SetCaption("Bộ test");
  VQR_GroupBox2->setGeometry(212, 8, kClientWidth - 212 - 8, 272);
  scrollTestSet = new QScrollArea(VQR_GroupBox2);
  scrollTestSet->setGeometry(6, 30, VQR_GroupBox2->width() - 12, VQR_GroupBox2->height() - 36);
  scrollTestSet->setFrameShape(QFrame::NoFrame);
  scrollTestSet->setFocusPolicy(Qt::NoFocus);  // the edits in it are the stops
  scrollTestSet->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scrollTestSet->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  FRows = new QWidget;
  scrollTestSet->setWidget(FRows);
  scrollTestSet->setWidgetResizable(false);
  scrollTestSet->viewport()->installEventFilter(this);

  btnHelp = NewHelpButton(kHelpTopic, this);
  btnPrev = NewDialogButton("◀", this);
  btnPrev->setToolTip(QString::fromUtf8("Ghi nhận và chuyển bài trước"));
  btnPrev->SetModalResult(kMoveModalResult);
  connect(btnPrev, &QPushButton::clicked, this, [this] { FNextTag = 0; });
  btnOK = NewOkButton(this);
  btnNext = NewDialogButton("▶", this);
  btnNext->setToolTip(QString::fromUtf8("Ghi nhận và chuyển bài sau"));
  btnNext->SetModalResult(kMoveModalResult);
  connect(btnNext, &QPushButton::clicked, this, [this] { FNextTag = 1; });
  btnCancel = NewCancelButton(this);
  const int buttonTop = kClientHeight - 8 - 32;
  btnHelp->setGeometry(8, buttonTop, 96, 32);
  btnCancel->setGeometry(kClientWidth - 8 - 96, buttonTop, 96, 32);
  btnNext->setGeometry(btnCancel->x() - 8 - 40, buttonTop, 40, 32);
  btnOK->setGeometry(btnNext->x() - 4 - 96, buttonTop, 96, 32);
  btnPrev->setGeometry(btnOK->x() - 4 - 40, buttonTop, 40, 32);

  connect(btnBrowseInput, &QPushButton::clicked, this, [this] { Browse(edtInputFiles, "Chọn các file dữ liệu"); });
  connect(btnBrowseOutput, &QPushButton::clicked, this, [this] { Browse(edtOutputFiles, "Chọn các file kết quả"); });
}

TEdit3 TExamEditForm::CreateRow() {
  TEdit3 row;
  auto edit = [this] {
    auto* e = new TVQR_ExtendedEdit(FRows);
    e->setFixedWidth(kEditWidth);
    e->OnTextToValue = [](QObject*, const QString& Text) { return static_cast<long double>(TextToLimit(Text)); };
    e->OnValueToText1 = [](QObject*, const long double& V) { return LimitToEditText(static_cast<double>(V)); };
    e->OnValueToText2 = [](QObject*, const long double& V) { return LimitToDisplayText(static_cast<double>(V)); };
    return e;
  };
  row.edtMark = edit();
  row.edtTime = edit();
  row.edtMemory = edit();
  row.labTest = new TSmartLab(FRows);
  row.labTest->SetLabelPosition(atMiddleofLeft);
  row.labTest->SetFocusControl(row.edtMark);
  return row;
}

void TExamEditForm::SetRowTop(const TEdit3& Row, int Y) {
  for (QWidget* e : {static_cast<QWidget*>(Row.edtMark), static_cast<QWidget*>(Row.edtTime),
                     static_cast<QWidget*>(Row.edtMemory)})
    e->move(e->x(), Y);
  Row.labTest->Adjust();
}

void TExamEditForm::SetRowRight(const TEdit3& Row, int X) {
  Row.edtMemory->move(X - kRowGap - Row.edtMemory->width(), Row.edtMemory->y());
  Row.edtTime->move(Row.edtMemory->x() - kRowGap - Row.edtTime->width(), Row.edtTime->y());
  Row.edtMark->move(Row.edtTime->x() - kRowGap - Row.edtMark->width(), Row.edtMark->y());
  Row.labTest->Adjust();
}

void TExamEditForm::SetRowValues(const TEdit3& Row, double Mark, double Time, double Memory) {
  Row.edtMark->SetValue(Mark);
  Row.edtTime->SetValue(Time);
  Row.edtMemory->SetValue(Memory);
}

void TExamEditForm::UpdateInfo(TExamInfo* Exam) {
  setWindowTitle(QString::fromUtf8("Cấu hình bài thi: %1").arg(Q(Exam->Name())));
  const int testCount = static_cast<int>(Exam->Count());
  // The rows' right edge: the scroll box less its scroll bar and frame.
  const int x = scrollTestSet->width() - scrollTestSet->verticalScrollBar()->sizeHint().width() -
                2 * scrollTestSet->frameWidth() - 8;
  int y = kFirstRowTop;

  gGeneral = CreateRow();
  SetRowTop(gGeneral, y);
  SetRowRight(gGeneral, x);
  gGeneral.labTest->SetCaption("Thiết lập chung");
  SetRowValues(gGeneral, Exam->Mark, Exam->TimeLimit, Exam->MemoryLimit);
  y += gGeneral.edtMark->height() + kRowGap;

  g.clear();
  for (int i = 0; i < testCount; ++i) {
    const TTestInfo* test = Exam->ObjI(i);
    TEdit3 row = CreateRow();
    SetRowTop(row, y);
    SetRowRight(row, x);
    row.labTest->SetCaption(test->Name());
    SetRowValues(row, test->Mark, test->TimeLimit, test->MemoryLimit);
    y += row.edtMark->height() + kRowGap;
    g.push_back(row);
  }
  FRows->resize(x + 8, y + 4);

  auto title = [this](const char* Text, QWidget* Over) {
    auto* l = new TSmartLab(FRows);
    l->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    l->SetLabelPosition(atCenterofTop);
    l->SetLabelSpacing(2);
    l->SetCaption(QString::fromUtf8(Text).replace("\r\n", "\n").toStdString());
    l->SetFocusControl(Over);
    return l;
  };
  TSmartLab* titles[] = {title("Điểm\r\ncủa test", gGeneral.edtMark),
                         title("Giới hạn\r\nthời gian (giây)", gGeneral.edtTime),
                         title("Giới hạn\r\nbộ nhớ (MiB)", gGeneral.edtMemory)};
  // In most GUI fonts the titles are wider than the edits they stand over: a
  // smaller font keeps neighbouring titles from running into each other.
  auto overlapping = [&titles] {
    return titles[0]->geometry().intersects(titles[1]->geometry()) ||
           titles[1]->geometry().intersects(titles[2]->geometry());
  };
  for (QFont font = titles[0]->font(); overlapping() && font.pointSizeF() > kSmallestTitlePoints;) {
    font.setPointSizeF(font.pointSizeF() - 0.5);
    for (TSmartLab* t : titles) {
      t->setFont(font);
      t->adjustSize();
      t->Adjust();
    }
  }
  auto* count = new TSmartLab(FRows);
  count->SetCaption(QString::fromUtf8("Tên %1 test▼").arg(testCount).toStdString());
  count->move(gGeneral.edtMark->x() - count->LabelSpacing() - count->width(),
              gGeneral.edtMark->y() - count->LabelSpacing() - count->height());
  for (QWidget* w : FRows->findChildren<QWidget*>()) w->show();
  // Tab goes from the exam's controls into the grid, row by row, and on to
  // the buttons (the rows are made after the buttons).
  QWidget* previous = checkValid;
  auto chain = [&previous](const TEdit3& Row) {
    for (QWidget* e : {static_cast<QWidget*>(Row.edtMark), static_cast<QWidget*>(Row.edtTime),
                       static_cast<QWidget*>(Row.edtMemory)}) {
      setTabOrder(previous, e);
      previous = e;
    }
  };
  chain(gGeneral);
  for (const TEdit3& row : g) chain(row);

  ShowFileList(edtInputFiles, Q(Exam->InputFile));
  checkStdIn->setChecked(Exam->UseStdIn);
  ShowFileList(edtOutputFiles, Q(Exam->OutputFile));
  checkStdOut->setChecked(Exam->UseStdOut);
  int judger = -1;
  for (int i = 0; i < comboJudger->count(); ++i)
    if (SameIgnoringAsciiCase(comboJudger->itemText(i).toStdString(), Exam->EvaluatorName)) {
      judger = i;
      break;
    }
  if (judger < 0 && comboJudger->count() > 0) judger = 0;
  comboJudger->setCurrentIndex(judger);
  checkValid->setChecked(Exam->Enabled);
  FBrowseFolder = Q(testCount < 2 ? Exam->Dir() : Exam->ObjI(0)->Dir());
}

void TExamEditForm::UpdateInfoBack(TExamInfo* Exam) {
  Exam->InputFile = edtInputFiles->text().toStdString();
  Exam->UseStdIn = checkStdIn->isChecked();
  Exam->OutputFile = edtOutputFiles->text().toStdString();
  Exam->UseStdOut = checkStdOut->isChecked();
  Exam->EvaluatorName = comboJudger->currentIndex() >= 0 ? comboJudger->currentText().toStdString() : "";
  // An exam's own limits have nothing to inherit from: an empty or bad
  // field keeps the value the exam had.
  auto own = [](TVQR_ExtendedEdit* Edit, double& Field) {
    const double v = CommittedValue(Edit);
    if (v >= 0) Field = v;
  };
  own(gGeneral.edtMark, Exam->Mark);
  own(gGeneral.edtTime, Exam->TimeLimit);
  own(gGeneral.edtMemory, Exam->MemoryLimit);
  Exam->Enabled = checkValid->isChecked();
  const int count = std::min(static_cast<int>(g.size()), static_cast<int>(Exam->Count()));
  for (int i = 0; i < count; ++i) {
    TTestInfo* test = Exam->ObjI(i);
    test->Mark = CommittedValue(g[i].edtMark);
    test->TimeLimit = CommittedValue(g[i].edtTime);
    test->MemoryLimit = CommittedValue(g[i].edtMemory);
  }
}

void TExamEditForm::done(int Result) {
  if (Result == mrOk || Result == kMoveModalResult) {
    // A name with a folder in it would reach outside the test's folder; the
    // test run refuses it, and the next load of "Settings.cfg" drops it.
    for (auto [edit, what] : {std::pair{edtInputFiles, "dữ liệu"}, std::pair{edtOutputFiles, "kết quả"}}) {
      const std::string list = edit->text().toStdString();
      if (IsSafeFileList(list)) continue;
      VQRMsgDlg(std::string("Tên (các) file ") + what + " \"" + list +
                    "\" không dùng được: mỗi tên là một file trong thư mục test, không chứa \"/\", \"\\\" "
                    "và không được là \".\" hay \"..\".",
                mtError, {mbOK});
      edit->setFocus();
      edit->selectAll();
      return;
    }
    if (const char* missing = MissingFileNames()) {
      VQRMsgDlg(missing, mtError, {mbOK});
      QLineEdit* edit = missing == kNoInputFiles ? edtInputFiles : edtOutputFiles;
      edit->setFocus();
      edit->selectAll();
      return;
    }
  }
  TForm::done(Result);
}

// A program that reads a file gets it under the name the exam gives it, so
// an empty name leaves it without input; only a program reading standard
// input may have none (its input is then empty). The output is always
// read back by name, standard output included: it is written into the file
// named first, and the checker compares the files the list names.
const char* TExamEditForm::MissingFileNames() const {
  if (!checkStdIn->isChecked() && IsEmptyFileList(edtInputFiles->text().toStdString())) return kNoInputFiles;
  if (IsEmptyFileList(edtOutputFiles->text().toStdString())) return kNoOutputFiles;
  return nullptr;
}

bool TExamEditForm::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == scrollTestSet->viewport() && Event->type() == QEvent::Wheel) {
    QScrollBar* bar = scrollTestSet->verticalScrollBar();
    bar->setValue(bar->value() - static_cast<QWheelEvent*>(Event)->angleDelta().y());
    Event->accept();
    return true;
  }
  return TForm::eventFilter(Watched, Event);
}

void TExamEditForm::Browse(QLineEdit* Edit, const char* Title) {
  const QStringList files = OpenFilesDialog()(this, QString::fromUtf8(Title), FBrowseFolder);
  if (files.isEmpty()) return;
  QStringList names;
  for (const QString& file : files) {
    const QString name = QFileInfo(file).fileName();
    // The names are joined with "|" and the test run splits them there.
    if (name.contains('|')) {
      VQRMsgDlg("Tên file \"" + name.toStdString() + "\" chứa ký tự \"|\", không dùng được.", mtError, {mbOK});
      return;
    }
    names << name;
  }
  ShowFileList(Edit, names.join('|'));
}

}  // namespace velkor
