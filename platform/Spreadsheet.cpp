#include "platform/Spreadsheet.h"
#include "platform/SystemErrors.h"

#include <xlsxwriter.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unordered_map>

namespace velkor::platform {

namespace {

constexpr double kDefaultWidth = 8.43;
// Room a fitted column keeps beside its widest text, in digit widths.
constexpr double kFitPadding = 0.75;

std::string Shown(const TWorksheet& Sheet, const TWorksheet::TCell& Cell) {
  if (const auto* text = std::get_if<std::string>(&Cell.Value)) return *text;
  if (const auto* number = std::get_if<double>(&Cell.Value))
    return FormatCellNumber(*number, Sheet.NumberFormats()[Cell.NumberFormat]);
  return {};
}

// Where a text has to end to fit a cell: after kMaxCellText characters as
// the spreadsheet counts them (UTF-16 units), never inside a character.
std::size_t CellTextEnd(const std::string& Text) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < Text.size();) {
    const auto lead = static_cast<unsigned char>(Text[i]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    length = std::min(length, Text.size() - i);
    const std::size_t width = length == 4 ? 2 : 1;
    if (units + width > kMaxCellText) return i;
    units += width;
    i += length;
  }
  return Text.size();
}

// What a failed write of the book means to the jury: the reason in its
// words, then the system's text, or the library's code when the system
// gave none.
std::string WriteFailure(const std::string& Path, int Errno, int LibraryCode) {
  std::string reason;
  switch (Errno) {
    case ENOSPC: reason = "ổ đĩa đã đầy"; break;
    case EDQUOT: reason = "đã hết dung lượng được phép dùng trên ổ đĩa"; break;
    case EFBIG: reason = "file vượt quá cỡ lớn nhất được phép ghi"; break;
    case EACCES:
    case EPERM: reason = "không có quyền ghi vào thư mục này"; break;
    case ENOENT:
    case ENOTDIR: reason = "thư mục không tồn tại"; break;
    case EROFS: reason = "ổ đĩa chỉ cho đọc"; break;
    case EIO: reason = "lỗi đọc ghi ổ đĩa"; break;
    default: reason = "lỗi khi ghi"; break;
  }
  std::string detail;
  if (Errno != 0) {
    detail = ErrnoMessage(Errno);
    if (detail.ends_with('.')) detail.pop_back();
  } else if (LibraryCode != 0) {
    detail = "thư viện ghi bảng tính báo lỗi " + std::to_string(LibraryCode);
  }
  return "Không ghi được file \"" + Path + "\": " + reason + (detail.empty() ? "" : " (" + detail + ")") + ".";
}

// The lines of Text, without their CR.
template <class F>
void ForEachLine(const std::string& Text, F&& Visit) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = Text.find('\n', start);
    std::size_t stop = end == std::string::npos ? Text.size() : end;
    if (stop > start && Text[stop - 1] == '\r') --stop;
    Visit(Text.substr(start, stop - start));
    if (end == std::string::npos) return;
    start = end + 1;
  }
}

}  // namespace

std::string FormatCellNumber(double Value, const std::string& Format) {
  char text[64];
  if (Format == "0.00") std::snprintf(text, sizeof text, "%.2f", Value);
  else std::snprintf(text, sizeof text, "%.10g", Value);
  return text;
}

TWorksheet::TCell& TWorksheet::At(int Row, int Col) {
  if (Row < 1 || Col < 1) throw ESpreadsheetError("Ô nằm ngoài trang tính");
  if (FRows.size() < std::size_t(Row)) FRows.resize(Row);
  std::vector<TCell>& row = FRows[Row - 1];
  if (row.size() < std::size_t(Col)) row.resize(Col);
  TCell& cell = row[Col - 1];
  cell.Used = true;
  return cell;
}

template <class F>
void TWorksheet::ForRange(const TRange& R, F&& Apply) {
  for (int row = R.Row1; row <= R.Row2; ++row)
    for (int col = R.Col1; col <= R.Col2; ++col) Apply(At(row, col));
}

void TWorksheet::SetValues(int Row, int Col, TCellArray&& Values) {
  for (std::size_t r = 0; r < Values.size(); ++r)
    for (std::size_t c = 0; c < Values[r].size(); ++c) {
      TCellValue& value = Values[r][c];
      if (auto* text = std::get_if<std::string>(&value); text && text->size() > kMaxCellText)
        text->resize(CellTextEnd(*text));
      At(Row + static_cast<int>(r), Col + static_cast<int>(c)).Value = std::move(value);
    }
}

void TWorksheet::SetNumberFormat(const TRange& R, const std::string& Format) {
  auto it = std::find(FNumberFormats.begin(), FNumberFormats.end(), Format);
  if (it == FNumberFormats.end()) it = FNumberFormats.insert(FNumberFormats.end(), Format);
  const auto index = static_cast<std::uint16_t>(it - FNumberFormats.begin());
  ForRange(R, [&](TCell& c) { c.NumberFormat = index; });
}
void TWorksheet::SetHorizontalAlignment(const TRange& R, THorzAlign Align) {
  ForRange(R, [&](TCell& c) { c.Horz = Align; });
}
void TWorksheet::SetVerticalAlignment(const TRange& R, TVertAlign Align) {
  ForRange(R, [&](TCell& c) { c.Vert = Align; });
}
void TWorksheet::SetThinBorders(const TRange& R) {
  ForRange(R, [](TCell& c) { c.Border = true; });
}
void TWorksheet::SetWrapText(const TRange& R) {
  ForRange(R, [](TCell& c) { c.Wrap = true; });
}

int TWorksheet::UsedRows() const { return int(FRows.size()); }

int TWorksheet::UsedColumns() const {
  std::size_t cols = 0;
  for (const auto& row : FRows) cols = std::max(cols, row.size());
  return int(cols);
}

const TWorksheet::TCell* TWorksheet::Cell(int Row, int Col) const {
  if (Row < 1 || Col < 1 || FRows.size() < std::size_t(Row) || FRows[Row - 1].size() < std::size_t(Col)) return nullptr;
  const TCell& cell = FRows[Row - 1][Col - 1];
  return cell.Used ? &cell : nullptr;
}

double TWorksheet::ColumnWidth(int Col) const {
  const auto it = FWidths.find(Col);
  return it == FWidths.end() ? kDefaultWidth : it->second;
}

void TWorksheet::SetColumnWidth(int Col, double Width) { FWidths[Col] = std::clamp(Width, 0.0, kMaxColumnWidth); }

void TWorksheet::AutoFitColumns(const TTextMeasure& Measure) {
  std::map<int, double> widest;
  // Names and verdicts repeat down a column: each text is measured once.
  std::unordered_map<std::string, double> measured;
  ForEachCell([&](int, int Col, const TCell& Cell) {
    // Only the first line of a text counts.
    std::string text = Shown(*this, Cell);
    text.resize(std::min(text.size(), text.find_first_of("\r\n")));
    if (text.empty()) return;
    auto [it, added] = measured.try_emplace(std::move(text), 0.0);
    if (added) it->second = Measure(it->first);
    widest[Col] = std::max(widest[Col], it->second);
  });
  for (const auto& [col, width] : widest) SetColumnWidth(col, width > 0 ? width + kFitPadding : kDefaultWidth);
}

double TWorksheet::RowHeight(int Row) const {
  const auto it = FHeights.find(Row);
  return it == FHeights.end() ? 0 : it->second;
}

// The file format keeps heights up to 409 points.
void TWorksheet::SetRowHeight(int Row, double Height) { FHeights[Row] = std::clamp(Height, 0.0, 409.0); }

void TWorksheet::AutoFitRows(const TTextMeasure& Measure, double LineHeight) {
  std::map<int, int> lines;
  ForEachCell([&](int Row, int Col, const TCell& Cell) {
    int n = 1;
    if (Cell.Wrap) {
      const std::string text = Shown(*this, Cell);
      const double room = std::max(1.0, ColumnWidth(Col) - kFitPadding);
      n = 0;
      ForEachLine(text, [&](const std::string& Line) {
        // No character is wider than two digits: a short line needs no
        // measuring.
        const double width = Line.size() * 2 <= room ? 0 : Measure(Line);
        n += std::max(1, static_cast<int>(std::ceil(width / room)));
      });
    }
    int& most = lines[Row];
    most = std::max(most, n);
  });
  // Heights go by whole pixels at 96 dpi (0.75 point), plus a little room
  // above and below the text.
  for (const auto& [row, n] : lines) SetRowHeight(row, std::ceil((n * LineHeight + 3) / 0.75) * 0.75);
}

TWorksheet& TWorkbook::AddSheet(const std::string& Name) {
  FSheets.push_back(std::make_unique<TWorksheet>(Name));
  return *FSheets.back();
}

void TWorkbook::SaveAs(const std::string& Path) const {
  namespace fs = std::filesystem;
  // The book goes to a new file beside Path, which replaces Path only once
  // it is whole: a full disk leaves neither a partial book nor a damaged
  // old one.
  const fs::path target(Path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw ESpreadsheetError(WriteFailure(Path, errno, 0));
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  auto fail = [&](int Errno, int LibraryCode) {
    ::unlink(temp.c_str());
    throw ESpreadsheetError(WriteFailure(Path, Errno, LibraryCode));
  };

  lxw_workbook_options options{};
  options.constant_memory = LXW_FALSE;
  // The library's own scratch files stay in the same folder.
  std::string scratch = folder.string();
  options.tmpdir = scratch.data();
  errno = 0;
  lxw_workbook* book = workbook_new_opt(temp.c_str(), &options);
  if (!book) fail(errno, 0);
  // One format per distinct look; the key packs what a cell's look is made of.
  std::unordered_map<std::string, lxw_format*> formats;
  auto format = [&](const TWorksheet& Sheet, const TWorksheet::TCell& c) {
    const std::string& numberFormat = Sheet.NumberFormats()[c.NumberFormat];
    std::string key = numberFormat;
    key += static_cast<char>('0' + static_cast<int>(c.Horz));
    key += static_cast<char>('0' + static_cast<int>(c.Vert));
    key += c.Border ? 'b' : '-';
    key += c.Wrap ? 'w' : '-';
    lxw_format*& f = formats[key];
    if (!f) {
      f = workbook_add_format(book);
      format_set_font_name(f, FontName.c_str());
      format_set_font_size(f, FontSize);
      if (!numberFormat.empty()) format_set_num_format(f, numberFormat.c_str());
      if (c.Horz == THorzAlign::Left) format_set_align(f, LXW_ALIGN_LEFT);
      if (c.Horz == THorzAlign::Right) format_set_align(f, LXW_ALIGN_RIGHT);
      if (c.Vert == TVertAlign::Top) format_set_align(f, LXW_ALIGN_VERTICAL_TOP);
      if (c.Border) format_set_border(f, LXW_BORDER_THIN);
      if (c.Wrap) format_set_text_wrap(f);
    }
    return f;
  };
  for (const auto& sheet : FSheets) {
    lxw_worksheet* ws = workbook_add_worksheet(book, sheet->Name.c_str());
    if (!ws) {
      workbook_close(book);
      ::unlink(temp.c_str());
      throw ESpreadsheetError("Tên trang tính không hợp lệ: \"" + sheet->Name + "\"");
    }
    for (const auto& [col, width] : sheet->ColumnWidths())
      worksheet_set_column(ws, static_cast<lxw_col_t>(col - 1), static_cast<lxw_col_t>(col - 1), width, nullptr);
    for (const auto& [row, height] : sheet->RowHeights())
      worksheet_set_row(ws, static_cast<lxw_row_t>(row - 1), height, nullptr);
    sheet->ForEachCell([&](int Row, int Col, const TWorksheet::TCell& cell) {
      const auto row = static_cast<lxw_row_t>(Row - 1);
      const auto col = static_cast<lxw_col_t>(Col - 1);
      lxw_format* f = format(*sheet, cell);
      if (const auto* text = std::get_if<std::string>(&cell.Value)) {
        if (text->empty()) worksheet_write_blank(ws, row, col, f);
        else worksheet_write_string(ws, row, col, text->c_str(), f);
      } else if (const auto* number = std::get_if<double>(&cell.Value)) {
        worksheet_write_number(ws, row, col, std::isfinite(*number) ? *number : 0, f);
      } else {
        worksheet_write_blank(ws, row, col, f);
      }
    });
    if (sheet->HasAutoFilter()) {
      const TRange& r = sheet->AutoFilter();
      worksheet_autofilter(ws, static_cast<lxw_row_t>(r.Row1 - 1), static_cast<lxw_col_t>(r.Col1 - 1),
                           static_cast<lxw_row_t>(r.Row2 - 1), static_cast<lxw_col_t>(r.Col2 - 1));
    }
  }
  errno = 0;
  const lxw_error error = workbook_close(book);
  const int closeErrno = errno;
  if (error != LXW_NO_ERROR) fail(closeErrno, static_cast<int>(error));
  if (::rename(temp.c_str(), Path.c_str()) != 0) fail(errno, 0);
}

}  // namespace velkor::platform
