// The spreadsheet export read back from the .xlsx file it writes: sheets and
// their order, cell types, number formats, column widths, the filter range,
// texts cut at a cell's limit, and the sheets of a contest without
// contestants.
#include "app/ExcelExportU.h"
#include "app/FormParts.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <QFileDialog>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>
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

TEST_F(ExcelExport, NotesWrapAndRowsAreAsTallAsTheirLines) {
  tree.AddContestant("007");
  ContestInfo->LoadContestants(tree.ContestantsDir());
  TResultE* a = ContestInfo->ResultSet().Obj("007")->ObjF("A");
  a->state = jsJudged;
  a->ObjF("1")->EvaluationText = "Sai ở dòng 3\r\nĐọc được: 5\r\nĐúng ra: 7\r\n";
  a->ObjF("2")->Evaluation = 1;
  TResultE* b = ContestInfo->ResultSet().Obj("007")->ObjF("B");
  b->state = jsCompileError;
  b->EvaluationText = "b.cpp:1:1: error: x\n    1 | x\n      | ^\n";
  // A single line wider than the notes column wraps as well.
  std::string wide;
  for (int i = 0; i < 60; ++i) wide += "chữ dài ";
  a->ObjF("2")->EvaluationText = wide;
  ExportToExcel();
  ASSERT_TRUE(messages->Requests().empty()) << messages->Requests()[0].Msg;
  test::TXlsxReader x(target);
  // Rows: header, 007, 007/A, test 1, test 2, 007/B.
  ASSERT_EQ(x.Cell(2, "E4"), "s:Sai ở dòng 3\nĐọc được: 5\nĐúng ra: 7");
  ASSERT_EQ(x.Cell(2, "E6"), "s:ℱ Dịch lỗi: b.cpp:1:1: error: x\n    1 | x\n      | ^");
  for (const char* ref : {"E1", "E2", "E4", "E5", "E6"})
    EXPECT_TRUE(x.Alignment(2, ref).attribute("wrapText").as_bool()) << ref;
  // Every row gets its height: its lines and a little room around them.
  const double one = x.RowHeight(2, 3);
  ASSERT_GT(one, 3);
  EXPECT_EQ(x.RowHeight(2, 1), one);
  EXPECT_EQ(x.RowHeight(2, 2), one);
  EXPECT_NEAR(x.RowHeight(2, 4) - 3, 3 * (one - 3), 1.5) << "three lines";
  EXPECT_EQ(x.RowHeight(2, 6), x.RowHeight(2, 4)) << "the compiler's three lines";
  EXPECT_NEAR(x.RowHeight(2, 5) - 3, 2 * (one - 3), 1.5) << "a note wider than its column breaks in two";
  // A summary cell does not wrap.
  EXPECT_FALSE(x.Alignment(1, "B2").attribute("wrapText").as_bool());
}

TEST_F(ExcelExport, WriteFailuresSayWhatFailedAndLeaveNoFile) {
  // A folder that does not exist.
  SetExportTarget(tree.Path("missing/export.xlsx"));
  messages->AddAnswer(mrOk);
  ExportToExcel();
  ASSERT_EQ(messages->Requests().size(), 1u);
  EXPECT_EQ(messages->Requests()[0].Msg, "Không xuất được bảng điểm ra file bảng tính.\nKhông ghi được file \"" +
                                             tree.Path("missing/export.xlsx") +
                                             "\": thư mục không tồn tại (Hệ thống không tìm thấy file được chỉ định).");
  EXPECT_TRUE(opener.Opened.empty());

  // No room for the file: the system refuses the writes past a size.
  tree.AddContestant("007");
  ContestInfo->LoadContestants(tree.ContestantsDir());
  const fs::path folder = tree.Path("full");
  fs::create_directories(folder);
  SetExportTarget((folder / "export.xlsx").string());
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 2000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  messages->AddAnswer(mrOk);
  ExportToExcel();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldSignal);
  ASSERT_EQ(messages->Requests().size(), 2u);
  const std::string msg = messages->Requests()[1].Msg;
  EXPECT_EQ(msg.rfind("Không xuất được bảng điểm ra file bảng tính.\nKhông ghi được file \"" +
                          (folder / "export.xlsx").string() + "\": file vượt quá cỡ lớn nhất được phép ghi (File quá lớn).",
                      0),
            0u)
      << msg;
  EXPECT_TRUE(fs::is_empty(folder)) << "a partial workbook was left";
  EXPECT_TRUE(opener.Opened.empty());
}

TEST_F(ExcelExport, AWorkbookNoProgramOpensIsOfferedForSaving) {
  tree.AddContestant("007");
  ContestInfo->LoadContestants(tree.ContestantsDir());
  opener.Result = false;

  // Declined: the workbook stays where the message says.
  messages->AddAnswer(mrNo);
  ExportToExcel();
  ASSERT_EQ(messages->Requests().size(), 1u);
  const TMsgDlgRequest asked = messages->Requests()[0];
  EXPECT_EQ(asked.Msg, "Không mở được bảng điểm bằng chương trình bảng tính của máy.\nBảng điểm đã được ghi vào file \"" +
                           target + "\".\nBạn có muốn ghi bảng điểm vào chỗ khác không?");
  EXPECT_EQ(asked.Buttons, (TMsgDlgButtons{mbYes, mbNo}));
  EXPECT_TRUE(fs::exists(target));

  // Accepted: saved where the jury chooses, offered under the contest's
  // name rather than the temporary file's.
  fs::create_directories(tree.Path("Lưu"));
  ContestInfo->SetFileName(tree.Path("Lưu/Thi HSG 2026.contest"));
  const fs::path chosenFolder = tree.Path("Kết quả");
  fs::create_directories(chosenFolder);
  const std::string chosen = (chosenFolder / "Bảng điểm.xlsx").string();
  messages->AddAnswer(mrYes);
  test::WhenModal([&](QWidget* Dialog) {
    auto* dialog = qobject_cast<QFileDialog*>(Dialog);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->objectName(), "sdExcel");
    ASSERT_EQ(dialog->selectedFiles().size(), 1);
    EXPECT_EQ(fs::path(dialog->selectedFiles()[0].toStdString()).filename(), "Thi HSG 2026.xlsx");
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Ghi bảng điểm"));
    // It starts beside the contest, as the contest's own dialogs do.
    EXPECT_EQ(dialog->directory().absolutePath().toStdString(), ContestFolder());
    EXPECT_TRUE(dialog->directory().absolutePath().startsWith(QString::fromStdString(tree.Path(""))))
        << dialog->directory().absolutePath().toStdString();
    test::SaveShot(dialog, "export-save-as");
    dialog->selectFile(QString::fromStdString(chosen));
    static_cast<QDialog*>(dialog)->accept();  // as the Save button does
  });
  ExportToExcel();
  ASSERT_EQ(messages->Requests().size(), 2u);
  EXPECT_EQ(messages->Requests()[1].Buttons, (TMsgDlgButtons{mbYes, mbNo}));
  EXPECT_EQ(LastExportFile(), chosen);
  test::TXlsxReader x(chosen);
  EXPECT_EQ(x.Cell(1, "A2"), "s:007");
  EXPECT_EQ(opener.Opened, (std::vector<std::string>{target, target}));
  EXPECT_FALSE(fs::exists(target)) << "the temporary copy is not left behind";
  EXPECT_EQ(std::distance(fs::directory_iterator(chosenFolder), fs::directory_iterator()), 1);

  // A contest never saved has no name of its own: a fixed one is offered.
  ContestInfo->SetFileName("");
  std::string offered;
  messages->AddAnswer(mrYes);
  test::WhenModal([&](QWidget* Dialog) {
    auto* dialog = qobject_cast<QFileDialog*>(Dialog);
    ASSERT_NE(dialog, nullptr);
    if (!dialog->selectedFiles().isEmpty())
      offered = fs::path(dialog->selectedFiles()[0].toStdString()).filename().string();
    dialog->reject();
  });
  ExportToExcel();
  EXPECT_EQ(offered, "Bảng điểm.xlsx");
}

}  // namespace
}  // namespace velkor
