// A workbook kept in memory and written as an .xlsx file: named sheets of
// text and number cells, each cell with a number format, alignment and
// thin borders; column widths (fitted to the texts on request), one
// filtered range per sheet, one font for the whole book. It stands for the
// spreadsheet program the results used to be handed to, with only what the
// export asks of it. Rows and columns count from 1.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace velkor::platform {

class ESpreadsheetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A cell holds nothing, a text or a number.
using TCellValue = std::variant<std::monostate, std::string, double>;
using TCellArray = std::vector<std::vector<TCellValue>>;

enum class THorzAlign : std::uint8_t { General, Left, Right };
enum class TVertAlign : std::uint8_t { Bottom, Top };

// The longest text a cell holds, in characters as the spreadsheet counts
// them (UTF-16 units); longer texts are cut to it.
inline constexpr std::size_t kMaxCellText = 32767;
// Column widths are in widths of the digit "0" of the book's font.
inline constexpr double kMaxColumnWidth = 255;

// The width of Text in widths of the digit "0" of the book's font.
using TTextMeasure = std::function<double(const std::string& Text)>;

struct TRange {
  int Row1, Col1, Row2, Col2;
};

class TWorksheet {
 public:
  explicit TWorksheet(std::string aName) : Name(std::move(aName)) {}

  std::string Name;

  // Values[0][0] goes to (Row, Col); the texts are moved out of Values.
  void SetValues(int Row, int Col, TCellArray&& Values);
  void SetNumberFormat(const TRange& R, const std::string& Format);
  void SetHorizontalAlignment(const TRange& R, THorzAlign Align);
  void SetVerticalAlignment(const TRange& R, TVertAlign Align);
  void SetThinBorders(const TRange& R);
  // Texts in R wrap: at their line breaks and where a line is wider than
  // its column.
  void SetWrapText(const TRange& R);
  void SetAutoFilter(const TRange& R) { FAutoFilter = R; FHasAutoFilter = true; }

  // The last row and column that hold a value or a format (0 when none).
  int UsedRows() const;
  int UsedColumns() const;
  // The width of column Col (the default 8.43 until set or fitted).
  double ColumnWidth(int Col) const;
  void SetColumnWidth(int Col, double Width);
  // Each used column as wide as its widest cell as shown, at most 255.
  void AutoFitColumns(const TTextMeasure& Measure);
  // Row heights in points; rows never given one keep the default height.
  double RowHeight(int Row) const;
  void SetRowHeight(int Row, double Height);
  // Each used row as tall as its tallest cell: LineHeight points a line,
  // counting the lines a wrapping cell breaks into at its column's width.
  // The file format leaves the fitting to whoever opens it, and not every
  // program does it.
  void AutoFitRows(const TTextMeasure& Measure, double LineHeight);

  struct TCell {
    bool Used = false;  // given a value or a format
    TCellValue Value;
    std::uint16_t NumberFormat = 0;  // index into NumberFormats(); 0 is general
    THorzAlign Horz = THorzAlign::General;
    TVertAlign Vert = TVertAlign::Bottom;
    bool Border = false;
    bool Wrap = false;
  };
  // The number formats the cells use, each once; the first is "" (general).
  const std::vector<std::string>& NumberFormats() const { return FNumberFormats; }
  // The cell at (Row, Col), nullptr when it was never touched.
  const TCell* Cell(int Row, int Col) const;
  bool HasAutoFilter() const { return FHasAutoFilter; }
  const TRange& AutoFilter() const { return FAutoFilter; }
  const std::map<int, double>& ColumnWidths() const { return FWidths; }
  const std::map<int, double>& RowHeights() const { return FHeights; }
  // Visit(Row, Col, Cell) for every used cell, row by row.
  template <class F>
  void ForEachCell(F&& Visit) const {
    for (std::size_t r = 0; r < FRows.size(); ++r)
      for (std::size_t c = 0; c < FRows[r].size(); ++c)
        if (FRows[r][c].Used) Visit(int(r) + 1, int(c) + 1, FRows[r][c]);
  }

 private:
  TCell& At(int Row, int Col);
  template <class F>
  void ForRange(const TRange& R, F&& Apply);

  // Row by row from row 1, each as long as its last touched column: the
  // export fills whole blocks, which a tree of cells would spread over
  // hundreds of thousands of small allocations.
  std::vector<std::vector<TCell>> FRows;
  std::vector<std::string> FNumberFormats{""};
  std::map<int, double> FWidths;
  std::map<int, double> FHeights;
  TRange FAutoFilter{};
  bool FHasAutoFilter = false;
};

class TWorkbook {
 public:
  std::string FontName = "Calibri";
  double FontSize = 11;

  TWorksheet& AddSheet(const std::string& Name);
  std::size_t SheetCount() const { return FSheets.size(); }
  TWorksheet& Sheet(std::size_t Index) { return *FSheets.at(Index); }

  // Writes the book to Path, replacing it only once the whole book is
  // written. Raises ESpreadsheetError naming the file and the cause, in
  // Vietnamese, when it cannot be written; no partial file is left then.
  void SaveAs(const std::string& Path) const;

 private:
  std::vector<std::unique_ptr<TWorksheet>> FSheets;
};

// How a number shows under Format ("0.00", "@" or anything else: general).
std::string FormatCellNumber(double Value, const std::string& Format);

}  // namespace velkor::platform
