// The results as a workbook: a summary sheet (one row per contestant, one
// column per exam and the total) and a details sheet (contestants, their
// exams and every judged test with its verdict), written as an .xlsx file
// in the per-user temporary folder and opened with the desktop's
// spreadsheet program.
#pragma once

#include <string>

#include "platform/Spreadsheet.h"

namespace velkor {

// Writes and opens the workbook of the open contest. Failures are shown to
// the jury, naming the file; when the desktop cannot open the workbook the
// jury may save it elsewhere.
void ExportToExcel();

// Where the next exports are written: empty (the default) for a new file in
// the per-user temporary folder. For tests.
void SetExportTarget(const std::string& Path);

// The file the last export wrote ("" before the first).
const std::string& LastExportFile();

// Always true: the workbook is kept in memory and needs no program started.
bool CreateExcel();
void ReleaseExcel();

// The two arrays the sheets are filled from; row and column counts out.
platform::TCellArray BuildSummaryArray(int& R, int& C);
platform::TCellArray BuildDetailsArray(int& R, int& C);

// Text without LF, CR and SUB at either end.
std::string TrimLineBreaks(const std::string& Text);

}  // namespace velkor
