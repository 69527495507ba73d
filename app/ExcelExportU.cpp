#include "app/ExcelExportU.h"

#include <QApplication>
#include <QFileDialog>
#include <QFont>
#include <QFontMetricsF>

#include <chrono>
#include <exception>
#include <filesystem>
#include <iterator>
#include <memory>
#include <variant>

#include "app/FormParts.h"
#include "core/Dialogs.h"
#include "core/SystemInfo.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/Exams.h"
#include "judging/Results.h"
#include "toolkit/DesktopOpen.h"
#include "platform/SystemErrors.h"

namespace velkor {
namespace {

using platform::TCellArray;
using platform::TCellValue;
using platform::THorzAlign;
using platform::TRange;
using platform::TVertAlign;

// The workbook of the export under way; kept only while it is built.
std::unique_ptr<platform::TWorkbook> gExcel;
std::string gTarget;
std::string gLastFile;

const char* const kHeaderContestant = "Mã thí sinh";

std::string SummaryText(TJudgeState State) {
  switch (State) {
    case jsNotyetJudged: return "Chưa chấm";
    case jsCompileError: return "ℱ Dịch lỗi";
    case jsNoSource: return "∄ Không nộp";
    case jsFailure: return "⚠ Lỗi nghiêm trọng";
    default: return "?";
  }
}

std::string DetailNote(const TResultE& E) {
  switch (E.state) {
    case jsNotyetJudged: return "Chưa chấm";
    case jsJudged: return "✓ " + TrimLineBreaks(E.EvaluationText);
    case jsCompileError: return "ℱ Dịch lỗi: " + TrimLineBreaks(E.EvaluationText);
    case jsNoSource: return "∄ Không nộp";
    case jsFailure: return "⚠ Lỗi nghiêm trọng";
    default: return "?";
  }
}

// One row of the details sheet: a contestant's total (Exam and Test
// null), an exam's score (Test null), or a test's.
struct TDetailRow {
  const TResultC* Contestant;
  const TResultE* Exam;
  const TResultT* Test;
};

// One column of the details sheet, all there is to it: adding a column is
// adding a line to kDetailColumns.
struct TDetailColumn {
  const char* Title;
  const char* Format;  // the number format below the title (always text); nullptr: general
  THorzAlign Align;
  bool Filtered;  // one of the columns the auto filter sorts and picks by
  double Width;   // 0: the default width
  bool Wraps;     // holds line breaks: wraps, and the rows grow to show every line
  TCellValue (*Value)(const TDetailRow& Row);
};

const TDetailColumn kDetailColumns[] = {
    {kHeaderContestant, "@", THorzAlign::Left, true, 0, false,
     [](const TDetailRow& r) -> TCellValue { return r.Contestant->Name(); }},
    {"Bài thi", "@", THorzAlign::Left, true, 0, false,
     [](const TDetailRow& r) -> TCellValue { return r.Exam ? TCellValue(r.Exam->Name()) : TCellValue(); }},
    {"Test", "@", THorzAlign::Left, true, 0, false,
     [](const TDetailRow& r) -> TCellValue { return r.Test ? TCellValue(r.Test->Name()) : TCellValue(); }},
    {"Điểm", "0.00", THorzAlign::Right, false, 0, false,
     [](const TDetailRow& r) -> TCellValue {
       return r.Test ? r.Test->Evaluation : r.Exam ? r.Exam->Evaluation : r.Contestant->Evaluation;
     }},
    {"Ghi chú", nullptr, THorzAlign::Left, false, platform::kMaxColumnWidth, true,
     [](const TDetailRow& r) -> TCellValue {
       if (r.Test) return TrimLineBreaks(r.Test->EvaluationText);
       return r.Exam ? TCellValue(DetailNote(*r.Exam)) : TCellValue();
     }},
};

// A new file in the per-user temporary folder, never one that exists.
std::string NewExportFile() {
  namespace fs = std::filesystem;
  const auto stamp = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
  const fs::path folder = TempDirD.empty() ? fs::temp_directory_path() : fs::path(TempDirD);
  for (int n = 0;; ++n) {
    const fs::path file = folder / ("Velkor-" + std::to_string(stamp) + (n ? "-" + std::to_string(n) : "") + ".xlsx");
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(file, ec))) return file.string();
  }
}

// Widths in widths of the digit "0" of the book's font.
platform::TTextMeasure FontMeasure(const std::string& Name, int Size) {
  QFont font(QString::fromStdString(Name));
  font.setPointSizeF(Size > 0 ? Size : 11);
  auto metrics = std::make_shared<QFontMetricsF>(font);
  const double digit = std::max(1.0, metrics->horizontalAdvance('0'));
  return [metrics, digit](const std::string& Text) {
    return metrics->horizontalAdvance(QString::fromStdString(Text)) / digit;
  };
}

// The height of a line of the book's font, in points.
double LineHeight(const std::string& Name, int Size) {
  QFont font(QString::fromStdString(Name));
  font.setPointSizeF(Size > 0 ? Size : 11);
  // Font metrics are in pixels at 96 dpi.
  return QFontMetricsF(font).lineSpacing() * 72.0 / 96.0;
}

// The name the save dialog offers for the workbook: the contest's file
// name with ".xlsx", or a fixed one for a contest never saved; never the
// temporary file's.
std::string OfferedWorkbookName() {
  const std::string stem = std::filesystem::path(ContestInfo->FileName()).stem().string();
  return (stem.empty() ? std::string("Bảng điểm") : stem) + ".xlsx";
}

// Offers to save the workbook at File somewhere the jury chooses, after the
// desktop could not open it. True when it was saved there.
bool OfferSaveAs(const std::string& File) {
  namespace fs = std::filesystem;
  QFileDialog dialog(QApplication::activeWindow(), QString::fromUtf8("Ghi bảng điểm"), Q(ContestFolder()),
                     QString::fromUtf8("Bảng tính (*.xlsx);;Tất cả (*)"));
  dialog.setObjectName("sdExcel");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("xlsx");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.selectFile(Q(OfferedWorkbookName()));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  const std::string chosen = dialog.selectedFiles().first().toStdString();
  // Copied beside the chosen name first, so a failed copy leaves whatever
  // the jury had there intact.
  const fs::path target(chosen);
  const fs::path temp = target.parent_path() / ("." + target.filename().string() + ".part");
  std::error_code error;
  fs::copy_file(File, temp, fs::copy_options::overwrite_existing, error);
  if (!error) fs::rename(temp, target, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    VQRMsgDlg("Không ghi được bảng điểm vào file \"" + chosen + "\" (" + platform::ErrnoMessage(error.value()) +
                  "). Bảng điểm vẫn còn trong file \"" + File + "\".",
              mtError, {mbOK});
    return false;
  }
  std::error_code ignored;
  fs::remove(File, ignored);
  gLastFile = chosen;
  return true;
}

}  // namespace

void SetExportTarget(const std::string& Path) { gTarget = Path; }
const std::string& LastExportFile() { return gLastFile; }

bool CreateExcel() {
  gExcel = std::make_unique<platform::TWorkbook>();
  return true;
}

void ReleaseExcel() { gExcel.reset(); }

std::string TrimLineBreaks(const std::string& Text) {
  auto isBreak = [](char c) { return c == '\n' || c == '\r' || c == '\x1A'; };
  std::size_t b = 0, e = Text.size();
  while (b < e && isBreak(Text[b])) ++b;
  while (e > b && isBreak(Text[e - 1])) --e;
  return Text.substr(b, e - b);
}

TCellArray BuildSummaryArray(int& R, int& C) {
  const TExamSet& exams = ContestInfo->ExamSet();
  const TResultSet& results = ContestInfo->ResultSet();
  R = static_cast<int>(results.Count()) + 1;
  C = static_cast<int>(exams.Count()) + 2;
  TCellArray a(R, std::vector<TCellValue>(C));
  a[0][0] = std::string(kHeaderContestant);
  for (int j = 1; j < C - 1; ++j) a[0][j] = exams.ObjI(j - 1)->Name();
  a[0][C - 1] = std::string("Tổng điểm");
  for (int i = 1; i < R; ++i) {
    const TResultC* rc = results.ObjI(i - 1);
    a[i][0] = rc->Name();
    for (int j = 1; j < C - 1; ++j) {
      const TResultE* re = rc->Obj(exams.ObjI(j - 1)->Name());
      const TJudgeState state = re ? re->state : jsNotyetJudged;
      if (state == jsJudged) a[i][j] = re->Evaluation;
      else a[i][j] = SummaryText(state);
    }
    a[i][C - 1] = rc->Evaluation;
  }
  return a;
}

TCellArray BuildDetailsArray(int& R, int& C) {
  const TExamSet& exams = ContestInfo->ExamSet();
  const TResultSet& results = ContestInfo->ResultSet();
  C = static_cast<int>(std::size(kDetailColumns));
  R = 1;
  for (std::ptrdiff_t i = 0; i < results.Count(); ++i) {
    const TResultC* rc = results.ObjI(i);
    R += 1 + static_cast<int>(exams.Count());
    for (std::ptrdiff_t j = 0; j < rc->Count(); ++j)
      if (rc->ObjI(j)->state == jsJudged) R += static_cast<int>(rc->ObjI(j)->Count());
  }
  TCellArray a(R, std::vector<TCellValue>(C));
  for (int k = 0; k < C; ++k) a[0][k] = std::string(kDetailColumns[k].Title);
  int row = 1;
  auto fill = [&](const TDetailRow& Row) {
    for (int k = 0; k < C; ++k) a[row][k] = kDetailColumns[k].Value(Row);
    ++row;
  };
  for (std::ptrdiff_t i = 0; i < results.Count(); ++i) {
    const TResultC* rc = results.ObjI(i);
    fill({rc, nullptr, nullptr});
    for (std::ptrdiff_t j = 0; j < exams.Count(); ++j) {
      const TResultE* re = rc->ObjX(exams.ObjI(j)->Name());
      fill({rc, re, nullptr});
      if (re->state != jsJudged) continue;
      for (std::ptrdiff_t t = 0; t < re->Count(); ++t) fill({rc, re, re->ObjI(t)});
    }
  }
  return a;
}

void ExportToExcel() {
  if (!CreateExcel()) {
    VQRMsgDlg("Không khởi động được Excel", mtError, {mbOK});
    return;
  }
  ContestInfo->ResultSet().SyncE(ContestInfo->ExamSet());
  // The sums follow the synchronised exams.
  for (std::ptrdiff_t i = 0; i < ContestInfo->ResultSet().Count(); ++i) ContestInfo->ResultSet().ObjI(i)->UpdateScore();

  platform::TWorkbook& book = *gExcel;
  book.FontName = EnvConfig->GUIFontName.empty() ? QApplication::font().family().toStdString() : EnvConfig->GUIFontName;
  book.FontSize = EnvConfig->GUIFontSize > 0 ? EnvConfig->GUIFontSize : 11;
  const platform::TTextMeasure measure = FontMeasure(book.FontName, static_cast<int>(book.FontSize));
  const double lineHeight = LineHeight(book.FontName, static_cast<int>(book.FontSize));

  platform::TWorksheet& s1 = book.AddSheet("Tổng hợp điểm");
  platform::TWorksheet& s2 = book.AddSheet("Chi tiết chấm");

  int R = 0, C = 0;
  TCellArray summary = BuildSummaryArray(R, C);
  s1.SetNumberFormat({1, 1, 1, C}, "@");
  if (R > 1) {
    s1.SetNumberFormat({2, 1, R, 1}, "@");
    s1.SetNumberFormat({2, 2, R, C}, "0.00");
  }
  s1.SetHorizontalAlignment({1, 1, R, 1}, THorzAlign::Left);
  s1.SetHorizontalAlignment({1, 2, R, C}, THorzAlign::Right);
  s1.SetValues(1, 1, std::move(summary));
  summary.clear();
  s1.SetThinBorders({1, 1, R, C});
  s1.AutoFitColumns(measure);
  double widest = 0;
  for (int k = 2; k <= C; ++k) widest = std::max(widest, s1.ColumnWidth(k));
  for (int k = 2; k <= C; ++k) s1.SetColumnWidth(k, widest);

  TCellArray details = BuildDetailsArray(R, C);
  // Inside a cell a line ends with LF alone: a CR would be kept as a
  // character of its own, which spreadsheet programs show as "_x000D_" or a
  // box.
  for (auto& row : details)
    for (int k = 0; k < C; ++k)
      if (auto* text = std::get_if<std::string>(&row[k]); text && kDetailColumns[k].Wraps) {
        std::string::size_type at = 0;
        while ((at = text->find("\r\n", at)) != std::string::npos) text->erase(at, 1);
      }
  int filterFirst = 0, filterLast = 0;
  for (int k = 1; k <= C; ++k) {
    const TDetailColumn& column = kDetailColumns[k - 1];
    s2.SetNumberFormat({1, k, 1, k}, "@");
    if (R > 1 && column.Format != nullptr) s2.SetNumberFormat({2, k, R, k}, column.Format);
    s2.SetHorizontalAlignment({1, k, R, k}, column.Align);
    if (column.Filtered) {
      if (filterFirst == 0) filterFirst = k;
      filterLast = k;
    }
  }
  s2.SetVerticalAlignment({1, 1, R, C}, TVertAlign::Top);
  s2.SetValues(1, 1, std::move(details));
  details.clear();
  s2.SetThinBorders({1, 1, R, C});
  if (filterFirst != 0) s2.SetAutoFilter({1, filterFirst, R, filterLast});
  for (int k = 1; k <= C; ++k) {
    const TDetailColumn& column = kDetailColumns[k - 1];
    if (column.Width > 0) s2.SetColumnWidth(k, column.Width);
    // Text with line breaks wraps, and each row is as tall as its lines, or
    // a note's second line is drawn over the next row.
    if (column.Wraps) s2.SetWrapText({1, k, R, k});
  }
  s2.AutoFitRows(measure, lineHeight);

  const std::string file = gTarget.empty() ? NewExportFile() : gTarget;
  try {
    book.SaveAs(file);
  } catch (const std::exception& e) {
    ReleaseExcel();
    VQRMsgDlg(std::string("Không xuất được bảng điểm ra file bảng tính.\n") + e.what(), mtError, {mbOK});
    return;
  }
  ReleaseExcel();
  gLastFile = file;
  if (DesktopOpen(file)) return;
  // The workbook exists only in the temporary folder: never leave the jury
  // without it, or without knowing where it is.
  const std::string why = DesktopOpenError();
  const int answer =
      VQRMsgDlg("Không mở được bảng điểm bằng chương trình bảng tính của máy" + (why.empty() ? "" : ": " + why) +
                    ".\nBảng điểm đã được ghi vào file \"" + file +
                    "\".\nBạn có muốn ghi bảng điểm vào chỗ khác không?",
                mtWarning, {mbYes, mbNo});
  if (answer == mrYes) OfferSaveAs(file);
}

}  // namespace velkor
