// Reads back a workbook written by the export: its parts as XML documents
// and the cells of a sheet as "s:<text>", "n:<number>" or "" when empty.
#pragma once

#include <pugixml.hpp>
#include <zip.h>

#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace velkor::test {

class TXlsxReader {
 public:
  explicit TXlsxReader(const std::string& Path) {
    int code = 0;
    zip_t* z = zip_open(Path.c_str(), ZIP_RDONLY, &code);
    if (!z) throw std::runtime_error("cannot open " + Path);
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
      zip_stat_t st;
      zip_stat_index(z, i, 0, &st);
      std::string data(st.size, '\0');
      zip_file_t* f = zip_fopen_index(z, i, 0);
      zip_fread(f, data.data(), st.size);
      zip_fclose(f);
      FParts[st.name].load_string(data.c_str());
    }
    zip_close(z);
    for (pugi::xml_node si : Part("xl/sharedStrings.xml").child("sst").children("si"))
      FStrings.push_back(si.child("t").text().get());
  }
  pugi::xml_document& Part(const std::string& Name) { return FParts.at(Name); }
  std::vector<std::string> SheetNames() {
    std::vector<std::string> names;
    for (pugi::xml_node s : Part("xl/workbook.xml").child("workbook").child("sheets").children("sheet"))
      names.push_back(s.attribute("name").value());
    return names;
  }
  pugi::xml_node Sheet(int N) { return Part("xl/worksheets/sheet" + std::to_string(N) + ".xml").child("worksheet"); }
  std::string Cell(int N, const std::string& Ref) {
    for (pugi::xml_node row : Sheet(N).child("sheetData").children("row"))
      for (pugi::xml_node c : row.children("c"))
        if (Ref == c.attribute("r").value()) {
          if (std::string(c.attribute("t").value()) == "s") return "s:" + FStrings.at(c.child("v").text().as_int());
          return c.child("v") ? std::string("n:") + c.child("v").text().get() : "";
        }
    return "";
  }
  int Rows(int N) {
    const auto rows = Sheet(N).child("sheetData").children("row");
    return int(std::distance(rows.begin(), rows.end()));
  }
  // The height of row Row (from 1) in points, 0 when it has none of its own.
  double RowHeight(int N, int Row) {
    for (pugi::xml_node row : Sheet(N).child("sheetData").children("row"))
      if (row.attribute("r").as_int() == Row) return row.attribute("customHeight").as_bool() ? row.attribute("ht").as_double() : 0;
    return 0;
  }
  // The alignment element of the cell's style (empty when it has none).
  pugi::xml_node Alignment(int N, const std::string& Ref) {
    int style = -1;
    for (pugi::xml_node row : Sheet(N).child("sheetData").children("row"))
      for (pugi::xml_node c : row.children("c"))
        if (Ref == c.attribute("r").value()) style = c.attribute("s").as_int();
    int i = 0;
    for (pugi::xml_node xf : Part("xl/styles.xml").child("styleSheet").child("cellXfs").children("xf"))
      if (i++ == style) return xf.child("alignment");
    return {};
  }
  // Column widths by column number, for the columns given one.
  std::map<int, double> Widths(int N) {
    std::map<int, double> widths;
    for (pugi::xml_node col : Sheet(N).child("cols").children("col"))
      for (int k = col.attribute("min").as_int(); k <= col.attribute("max").as_int(); ++k)
        widths[k] = col.attribute("width").as_double();
    return widths;
  }

 private:
  std::map<std::string, pugi::xml_document> FParts;
  std::vector<std::string> FStrings;
};

}  // namespace velkor::test
