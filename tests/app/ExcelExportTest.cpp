// The spreadsheet export read back from the .xlsx file it writes: sheets and
// their order, cell types, number formats, column widths, the filter range,
// texts cut at a cell's limit, and the sheets of a contest without
// contestants.
#include "app/ExcelExportU.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "XlsxReader.h"
#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/Globals.h"
#include "judging/Results.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::TContestTree;

TEST(ExcelTexts, LineBreaksTrimmedAtBothEndsOnly) {
  struct Case {
    const char* In;
    const char* Out;
  } cases[] = {{"\r\nabc\r\n", "abc"}, {"a\r\nb", "a\r\nb"}, {"\x1A\nx \x1A", "x "}, {"", ""}, {"\r\n\r\n", ""},
               {" pad ", " pad "}};
  for (const Case& c : cases) EXPECT_EQ(TrimLineBreaks(c.In), c.Out);
}

TEST(ExcelTexts, LongTextsCutToTheCellLimitInCharacters) {
  const std::size_t limit = platform::kMaxCellText;
  std::string vietnamese;  // three bytes a character: far under the limit
  for (int i = 0; i < 20000; ++i) vietnamese += "ở";
  std::string emoji;  // four bytes and two units a character
  for (std::size_t i = 0; i < limit / 2 + 10; ++i) emoji += "😀";
  struct Case {
    std::string In;
    std::size_t OutBytes;
  } cases[] = {{std::string(limit, 'x'), limit},
               {std::string(40000, 'x'), limit},
               {vietnamese, vietnamese.size()},
               {"a" + emoji, 1 + 4 * ((limit - 1) / 2)},
               {emoji, 4 * (limit / 2)}};
  for (const Case& c : cases) {
    platform::TWorksheet sheet("s");
    sheet.SetValues(1, 1, {{c.In}});
    const auto& text = std::get<std::string>(sheet.Cell(1, 1)->Value);
    EXPECT_EQ(text.size(), c.OutBytes);
    EXPECT_EQ(text, c.In.substr(0, c.OutBytes));
  }
}

class ExcelExport : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::StartProgramModel("app_export_test");
  }
  static void TearDownTestSuite() { FinalizeGlobals(); }
  void SetUp() override {
    tree.AddExam("A", {"1", "2"});
    tree.AddExam("B", {"1"});
    ContestInfo->Reset();
    ContestInfo->LoadExams(tree.TasksDir());
    SetExportTarget(target);
    previous = SetMessageDialog(messages);
  }
  void TearDown() override {
    SetExportTarget("");
    SetMessageDialog(previous);
    ContestInfo->Reset();
  }

  TContestTree tree;
  std::string target = tree.Path("export.xlsx");
  std::shared_ptr<TScriptedMessageDialog> messages = std::make_shared<TScriptedMessageDialog>();
  std::shared_ptr<IMessageDialog> previous;
  test::TRecordingOpener opener;
};

TEST_F(ExcelExport, SheetsCellsFormatsWidthsAndFilter) {
  tree.AddContestant("007");
  tree.AddContestant("C2");
  ContestInfo->LoadContestants(tree.ContestantsDir());
  TResultE* a = ContestInfo->ResultSet().Obj("007")->ObjF("A");
  a->state = jsJudged;
  a->ObjF("1")->Evaluation = 1;
  a->ObjF("1")->EvaluationText = std::string(40000, 'x') + "\r\n";
  a->ObjF("2")->Evaluation = 0.25;
  a->ObjF("2")->EvaluationText = "\r\nSai ở dòng 3\r\n";
  a->UpdateScore();
  TResultE* b = ContestInfo->ResultSet().Obj("C2")->ObjF("B");
  b->state = jsCompileError;
  b->EvaluationText = "lỗi\r\n";
  // Totals are recomputed by the export itself.

  ExportToExcel();
  ASSERT_TRUE(messages->Requests().empty()) << messages->Requests()[0].Msg;
  EXPECT_EQ(opener.Opened, std::vector<std::string>{target});
  test::TXlsxReader x(target);
  EXPECT_EQ(x.SheetNames(), (std::vector<std::string>{"Tổng hợp điểm", "Chi tiết chấm"}));

  // Summary: names are always texts, scores numbers, states texts.
  EXPECT_EQ(x.Cell(1, "A1"), "s:Mã thí sinh");
  EXPECT_EQ(x.Cell(1, "B1"), "s:A");
  EXPECT_EQ(x.Cell(1, "D1"), "s:Tổng điểm");
  EXPECT_EQ(x.Cell(1, "A2"), "s:007");
  EXPECT_EQ(x.Cell(1, "B2"), "n:1.25");
  EXPECT_EQ(x.Cell(1, "C2"), "s:Chưa chấm");
  EXPECT_EQ(x.Cell(1, "D2"), "n:1.25");
  EXPECT_EQ(x.Cell(1, "C3"), "s:ℱ Dịch lỗi");
  EXPECT_EQ(x.Rows(1), 3);
  const auto widths = x.Widths(1);
  ASSERT_EQ(widths.count(2) + widths.count(3) + widths.count(4), 3u);
  EXPECT_EQ(widths.at(2), widths.at(3));
  EXPECT_EQ(widths.at(3), widths.at(4));

  // Details: header, per contestant its line, its exams and judged tests.
  EXPECT_EQ(x.Rows(2), 1 + (1 + 2 + 2) + (1 + 2));
  EXPECT_EQ(x.Cell(2, "E1"), "s:Ghi chú");
  EXPECT_EQ(x.Cell(2, "A2"), "s:007");
  EXPECT_EQ(x.Cell(2, "D2"), "n:1.25");
  EXPECT_EQ(x.Cell(2, "E3"), "s:✓ ");
  EXPECT_EQ(x.Cell(2, "C4"), "s:1");
  EXPECT_EQ(x.Cell(2, "E4").size(), 2 + platform::kMaxCellText) << "cut, not dropped";
  EXPECT_EQ(x.Cell(2, "E5"), "s:Sai ở dòng 3");
  EXPECT_EQ(x.Cell(2, "E6"), "s:Chưa chấm");
  EXPECT_EQ(x.Cell(2, "E9"), "s:ℱ Dịch lỗi: lỗi");
  EXPECT_EQ(std::string(x.Sheet(2).child("autoFilter").attribute("ref").value()), "A1:C9");
  // The file keeps a width in characters plus the cell's padding.
  EXPECT_NEAR(x.Widths(2).at(5), 255, 1);
  EXPECT_EQ(x.Widths(2).size(), 1u) << "the other detail columns keep the default width";
  // The score column shows two decimals.
  bool twoDecimals = false;
  for (pugi::xml_node f : x.Part("xl/styles.xml").child("styleSheet").child("numFmts").children("numFmt"))
    twoDecimals |= std::string(f.attribute("formatCode").value()) == "0.00";
  EXPECT_TRUE(twoDecimals);
}

TEST_F(ExcelExport, NoContestantsGivesHeaderOnlySheets) {
  ExportToExcel();
  test::TXlsxReader x(target);
  EXPECT_EQ(x.Rows(1), 1);
  EXPECT_EQ(x.Rows(2), 1);
  EXPECT_EQ(x.Cell(1, "C1"), "s:B");
  EXPECT_EQ(std::string(x.Sheet(2).child("autoFilter").attribute("ref").value()), "A1:C1");
}

TEST_F(ExcelExport, FailuresNameTheFile) {
  // A folder that does not exist: the file cannot be written.
  SetExportTarget(tree.Path("missing/export.xlsx"));
  messages->AddAnswer(mrOk);
  ExportToExcel();
  ASSERT_EQ(messages->Requests().size(), 1u);
  EXPECT_NE(messages->Requests()[0].Msg.find("missing/export.xlsx"), std::string::npos);
  EXPECT_TRUE(opener.Opened.empty());

  // No program for the file: said with its path.
  SetExportTarget(target);
  opener.Result = false;
  messages->AddAnswer(mrOk);
  ExportToExcel();
  ASSERT_EQ(messages->Requests().size(), 2u);
  EXPECT_NE(messages->Requests()[1].Msg.find(target), std::string::npos);
  EXPECT_TRUE(fs::exists(target));
}

}  // namespace
}  // namespace velkor
