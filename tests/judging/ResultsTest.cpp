// Results and scoring: contestants from a hand-built folder, "Contest.result"
// round trips and bad input, totals, pruning and the report lines.

#include "judging/Results.h"

#include <cmath>
#include <limits>
#include <sstream>

#include <gtest/gtest.h>

#include "core/CompressedXML.h"
#include "judging/Checkers.h"
#include "judging/Exams.h"
#include "judging/NumberFormat.h"
#include "tests/judging/CommaLocale.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

using testing::TContestTree;

// Fills contestant C's result in exam E.
TResultE* AddResult(TResultSet& set, const std::string& C, const std::string& E, TJudgeState state,
                    double evaluation = 0, const std::string& text = "") {
  TResultE* e = set.ObjF(C)->ObjF(E);
  e->state = state;
  e->Evaluation = evaluation;
  e->EvaluationText = text;
  return e;
}

TResultT* AddTest(TResultE* e, const std::string& T, double evaluation, const std::string& text) {
  TResultT* t = e->ObjF(T);
  t->Evaluation = evaluation;
  t->EvaluationText = text;
  return t;
}

// The set read back from Xml (a "ContestResult" document as plain text).
void LoadFromText(TResultSet& set, const std::string& Xml) {
  TCompressedXML doc;
  doc.LoadXML(Xml, "test");
  std::stringstream stream;
  doc.SaveToStream(stream);
  set.StreamLoad(stream);
}

class ResultsTest : public ::testing::Test {
 protected:
  void SetUp() override { RandSeed(7); }
  TContestTree tree;
  TResultSet set;
};

TEST_F(ResultsTest, ContestantsComeFromFoldersWithoutResults) {
  tree.AddContestant("Binh");
  tree.AddContestant("an", {{"Bai1.cpp", "int main(){}"}});
  int before = 0, loaded = 0;
  set.OnBeforeLoad = [&](TObject* s) { before += s == &set; };
  set.OnLoaded = [&](TObject* s) { loaded += s == &set; };
  set.SetDir(tree.ContestantsDir());
  EXPECT_EQ(set.KeyExport(), (std::vector<std::string>{"an", "Binh"}));
  EXPECT_EQ(set.Obj("AN")->Dir(), tree.ContestantsDir() + "/an");
  EXPECT_EQ(set.Obj("an")->Count(), 0);
  EXPECT_TRUE(set.Obj("an")->Enabled);
  EXPECT_EQ(before, 1);
  EXPECT_EQ(loaded, 1);

  set.SetDir(tree.ContestantsDir() + "/missing");
  EXPECT_EQ(set.Count(), 0);
  EXPECT_EQ(loaded, 2);
}

TEST_F(ResultsTest, RefreshKeepsResultsOfContestantsThatRemain) {
  tree.AddContestant("An");
  tree.AddContestant("Binh");
  set.SetDir(tree.ContestantsDir());
  AddResult(set, "An", "Bai1", jsJudged, 5);
  set.Obj("An")->Evaluation = 5;
  set.Obj("An")->Enabled = false;
  AddResult(set, "Binh", "Bai1", jsJudged, 3);
  tree.Remove("Contestants/Binh");
  tree.AddContestant("Chi");
  set.Refresh();
  EXPECT_EQ(set.KeyExport(), (std::vector<std::string>{"An", "Chi"}));
  EXPECT_EQ(set.Obj("An")->Obj("Bai1")->Evaluation, 5);
  EXPECT_EQ(set.Obj("An")->Evaluation, 5);
  EXPECT_FALSE(set.Obj("An")->Enabled);
  EXPECT_EQ(set.Obj("Chi")->Owner, &set);
}

TEST_F(ResultsTest, ResultsRoundTripThroughTheFile) {
  set.ObjF("Binh")->Evaluation = 0;
  TResultE* e = AddResult(set, "An", "Bai1", jsJudged, 1.5, "Bai1.cpp\r\nbiên dịch xong\r\n");
  AddTest(e, "01", 1, "Đúng\r\n");
  AddTest(e, "02", 0.5, "");
  AddResult(set, "An", "Bai2", jsCompileError, 99, "lỗi dòng 3");
  AddResult(set, "An", "Bai3", jsNoSource);
  set.Obj("An")->Evaluation = 1.5;
  set.Obj("An")->Enabled = false;
  set.Obj("An")->Obj("Bai1")->CompiledFile = "Bai1.exe";
  const std::string file = tree.Path("Contest.result");
  set.FileSave(file);

  TResultSet back;
  back.ObjF("Stale");
  back.FileLoad(file);
  EXPECT_EQ(back.KeyExport(), (std::vector<std::string>{"An", "Binh"})) << "the set is cleared first";
  const TResultC* an = back.Obj("An");
  EXPECT_TRUE(an->Enabled);
  EXPECT_EQ(an->Evaluation, 1.5);
  EXPECT_EQ(an->KeyExport(), (std::vector<std::string>{"Bai1", "Bai2", "Bai3"}));
  const TResultE* b1 = an->Obj("Bai1");
  EXPECT_EQ(b1->state, jsJudged);
  EXPECT_EQ(b1->Evaluation, 1.5);
  EXPECT_EQ(b1->EvaluationText, "Bai1.cpp\r\nbiên dịch xong\r\n") << "CR LF survive the attribute";
  EXPECT_EQ(b1->CompiledFile, "");
  EXPECT_EQ(b1->Obj("01")->EvaluationText, "Đúng\r\n");
  EXPECT_EQ(b1->Obj("02")->Evaluation, 0.5);
  EXPECT_EQ(b1->Obj("01")->Owner, b1);
  const TResultE* b2 = an->Obj("Bai2");
  EXPECT_EQ(b2->state, jsCompileError);
  EXPECT_EQ(b2->Evaluation, 0) << "only judged results carry a score";
  EXPECT_EQ(b2->EvaluationText, "");
  EXPECT_EQ(an->Obj("Bai3")->state, jsNoSource);
  EXPECT_EQ(b2->Owner, an);
  EXPECT_EQ(an->Owner, &back);

  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(testing::ReadCompressedXML(file).c_str()));
  const pugi::xml_node bai2 = doc.child("ContestResult").find_child_by_attribute("ContestantName", "An")
                                  .find_child_by_attribute("ExamName", "Bai2");
  EXPECT_STREQ(bai2.attribute("State").value(), "2");
  EXPECT_FALSE(bai2.attribute("Evaluation"));
  EXPECT_FALSE(bai2.first_child());
}

TEST_F(ResultsTest, NumbersStayEnUsUnderADecimalComma) {
  VELKOR_REQUIRE_COMMA_LOCALE(comma);
  TResultE* e = AddResult(set, "An", "Bai1", jsJudged, 0.5);
  AddTest(e, "01", 0.5, "");
  set.Obj("An")->Evaluation = 1234.5;
  std::stringstream stream;
  set.StreamSave(stream);
  TCompressedXML doc;
  doc.LoadFromBytes(stream.str());
  const std::string text = doc.XML();
  EXPECT_NE(text.find("Evaluation=\"1234.5\""), std::string::npos) << text;
  EXPECT_NE(text.find("Evaluation=\"0.5\""), std::string::npos) << text;
  EXPECT_EQ(text.find("0,5"), std::string::npos) << text;
  TResultSet back;
  back.StreamLoad(stream);
  EXPECT_EQ(back.Obj("An")->Evaluation, 1234.5);
  EXPECT_EQ(back.Obj("An")->Obj("Bai1")->Obj("01")->Evaluation, 0.5);
}

TEST_F(ResultsTest, MissingAttributesTakeTheirDefaults) {
  LoadFromText(set, R"(<ContestResult>
    <ContestantResult ContestantName="An">
      <ExamResult ExamName="NoState" Evaluation="5" EvaluationText="x"><TestResult TestName="01" Evaluation="1"/></ExamResult>
      <ExamResult ExamName="NoScore" State="1" EvaluationText="dropped">
        <TestResult TestName="01"/>
        <TestResult TestName="02" Evaluation="abc" EvaluationText="dropped"/>
        <TestResult TestName="03" Evaluation="0.25" EvaluationText="kept"/>
        <TestResult Evaluation="1"/>
      </ExamResult>
      <ExamResult ExamName="Bad" State="1" Evaluation="7,5"/>
      <Other ExamName="AnyElementName" State="3"/>
      <ExamResult State="1"/>
    </ContestantResult>
    <ContestantResult ContestantName="Binh" Evaluation="oops"/>
  </ContestResult>)");
  const TResultC* an = set.Obj("An");
  EXPECT_EQ(an->Evaluation, 0);
  EXPECT_EQ(an->KeyExport(), (std::vector<std::string>{"AnyElementName", "Bad", "NoScore", "NoState"}));
  const TResultE* noState = an->Obj("NoState");
  EXPECT_EQ(noState->state, jsUnknown);
  EXPECT_EQ(noState->Evaluation, 0);
  EXPECT_EQ(noState->EvaluationText, "");
  EXPECT_EQ(noState->Count(), 0);
  const TResultE* noScore = an->Obj("NoScore");
  EXPECT_EQ(noScore->Evaluation, -1) << "a judged result without a score keeps -1";
  EXPECT_EQ(noScore->EvaluationText, "");
  EXPECT_EQ(noScore->KeyExport(), (std::vector<std::string>{"01", "02", "03"}));
  EXPECT_EQ(noScore->Obj("01")->Evaluation, 0);
  EXPECT_EQ(noScore->Obj("02")->EvaluationText, "");
  EXPECT_EQ(noScore->Obj("03")->EvaluationText, "kept");
  EXPECT_EQ(an->Obj("Bad")->Evaluation, -1);
  EXPECT_EQ(set.Obj("Binh")->Evaluation, 0);
}

TEST_F(ResultsTest, ContestantNamesAreCheckedAndMerged) {
  LoadFromText(set, R"(<ContestResult>
    <ContestantResult Evaluation="1"/>
    <ContestantResult ContestantName="" Evaluation="1"/>
    <ContestantResult ContestantName=".." Evaluation="1"/>
    <ContestantResult ContestantName="." Evaluation="1"/>
    <ContestantResult ContestantName="a/../../b" Evaluation="1"/>
    <ContestantResult ContestantName="/etc" Evaluation="1"/>
    <ContestantResult ContestantName="x\y" Evaluation="1"/>
    <ContestantResult ContestantName="tab&#9;name" Evaluation="1"/>
    <ContestantResult ContestantName="an" Evaluation="1"><ExamResult ExamName="Bai1" State="2"/></ContestantResult>
    <ContestantResult ContestantName="AN" Evaluation="2"><ExamResult ExamName="Bai2" State="3"/></ContestantResult>
  </ContestResult>)");
  EXPECT_EQ(set.KeyExport(), std::vector<std::string>{"an"}) << "unsafe names are skipped";
  EXPECT_EQ(set.Obj("an")->Evaluation, 2);
  EXPECT_EQ(set.Obj("an")->KeyExport(), std::vector<std::string>{"Bai2"}) << "the later element replaces";
}

// Contestant folders the system cannot judge or cannot tell apart are named
// at every load; which of two twins is used does not depend on the order
// the file system lists them.
TEST_F(ResultsTest, UnusableAndLetterCaseTwinFoldersAreNamed) {
  TContestTree t;
  t.AddContestant("Nguy\xEAn");
  t.AddContestant("AN");
  t.AddContestant("An", {{"Bai1.cpp", "int main(){}"}});
  t.AddContestant("Binh");
  set.SetDir(t.ContestantsDir());
  EXPECT_EQ(set.KeyExport(), (std::vector<std::string>{"An", "Binh"}));
  ASSERT_EQ(set.LoadProblems().size(), 2u);
  EXPECT_EQ(set.LoadProblems()[0].Text.rfind("Bỏ qua thư mục thí sinh \"Nguy\\xEAn\"", 0), 0u);
  EXPECT_NE(set.LoadProblems()[1].Text.find("Các thư mục thí sinh \"AN\", \"An\""), std::string::npos);
  EXPECT_NE(set.LoadProblems()[1].Text.find("dùng thư mục \"An\""), std::string::npos);
  // Nor does the refused one come back through the results.
  LoadFromText(set, "<ContestResult><ContestantResult ContestantName=\"Nguy\xEAn\" Evaluation=\"1\"/>"
                    "<ContestantResult ContestantName=\"An\"/></ContestResult>");
  EXPECT_EQ(set.KeyExport(), std::vector<std::string>{"An"});
  ASSERT_EQ(set.LoadProblems().size(), 3u);
  EXPECT_EQ(set.LoadProblems()[2].Text.rfind("Bỏ qua kết quả của thí sinh \"Nguy\\xEAn\"", 0), 0u);
  set.ObjF("An")->ObjF("Bai1")->state = jsJudged;
  set.Refresh();
  EXPECT_EQ(set.Obj("An")->Count(), 1) << "the twin used keeps its results";
  EXPECT_EQ(set.LoadProblems().size(), 2u);
}

TEST_F(ResultsTest, BadDocumentsRaiseOrReadNothing) {
  set.ObjF("Kept");
  LoadFromText(set, "<SomethingElse/>");
  EXPECT_EQ(set.KeyExport(), std::vector<std::string>{"Kept"}) << "no root, nothing read";

  // One damaged result costs only itself, and is named.
  LoadFromText(set, R"(<ContestResult><ContestantResult ContestantName="A">
      <ExamResult ExamName="E" State="judged"/><ExamResult ExamName="F" State="1" Evaluation="2"/>
      </ContestantResult><ContestantResult ContestantName="B" Evaluation="1"/></ContestResult>)");
  EXPECT_EQ(set.KeyExport(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(set.Obj("A")->KeyExport(), std::vector<std::string>{"F"});
  ASSERT_EQ(set.LoadProblems().size(), 1u);
  EXPECT_EQ(set.LoadProblems()[0].Text.rfind("Kết quả của thí sinh \"A\" ở bài thi \"E\" bị hỏng", 0), 0u);
  EXPECT_TRUE(set.LoadProblems()[0].Lost);

  const std::string file = tree.Path("Contest.result");
  testing::WriteText(file, "not a zlib stream");
  EXPECT_THROW(set.FileLoad(file), EXMLError);
  EXPECT_THROW(set.FileLoad(tree.Path("missing.result")), EXMLError);
}

TEST_F(ResultsTest, OutOfRangeStatesStayReadable) {
  LoadFromText(set, R"(<ContestResult><ContestantResult ContestantName="A">
      <ExamResult ExamName="E" State="9"/><ExamResult ExamName="F" State="-3"/></ContestantResult></ContestResult>)");
  TResultC* a = set.Obj("A");
  EXPECT_EQ(a->Obj("E")->state, 9);
  a->UpdateScore();
  EXPECT_EQ(a->Evaluation, 0);
  const std::vector<std::string> exams{"E", "F"};
  set.SyncEA(exams);
  EXPECT_EQ(a->Count(), 2) << "not pruned";
  TStringList L;
  a->Obj("E")->ReportText(L);
  a->Obj("F")->ReportText(L);
  EXPECT_EQ(L, (TStringList{"A‣E: ???", "A‣F: ???"}));
  std::stringstream stream;
  set.StreamSave(stream);
  TResultSet back;
  back.StreamLoad(stream);
  EXPECT_EQ(back.Obj("A")->Obj("E")->state, 9) << "stored unchanged";
}

TEST_F(ResultsTest, TotalsCountJudgedExamsOnly) {
  AddResult(set, "An", "Bai1", jsCompileError, 4);
  TResultE* judged = AddResult(set, "An", "Bai2", jsJudged);
  AddTest(judged, "01", 5, "");
  AddTest(judged, "02", 2.5, "");
  AddTest(judged, "03", std::numeric_limits<double>::quiet_NaN(), "");
  judged->UpdateScore();
  EXPECT_EQ(judged->Evaluation, 7.5) << "a score that is not a number counts 0";
  TResultC* an = set.Obj("An");
  an->UpdateScore();
  EXPECT_EQ(an->Evaluation, 7.5);

  set.CleanScore("Bai1");
  EXPECT_EQ(an->Evaluation, 7.5) << "a compile error took nothing from the total";
  EXPECT_EQ(an->Obj("Bai1"), nullptr);
  set.CleanScore("bai2");
  EXPECT_EQ(an->Evaluation, 0);
  EXPECT_EQ(an->Count(), 0);
  set.CleanScore("Bai9");
  EXPECT_EQ(an->Evaluation, 0);
}

TEST_F(ResultsTest, SyncDropsResultsOfGoneExamsAndUnjudgedOnes) {
  tree.AddExam("Bai1");
  tree.AddExam("Bai3");
  TExamSet exams;
  exams.SetDir(tree.TasksDir());
  AddResult(set, "An", "Bai1", jsJudged, 4);
  AddResult(set, "An", "Bai2", jsJudged, 3);
  AddResult(set, "An", "Bai3", jsNotyetJudged);
  AddResult(set, "Binh", "BAI1", jsNotyetJudged);
  AddResult(set, "Binh", "bai3", jsNoSource);
  set.Obj("An")->Evaluation = 7;
  set.SyncE(exams);
  EXPECT_EQ(set.Obj("An")->KeyExport(), std::vector<std::string>{"Bai1"});
  EXPECT_EQ(set.Obj("Binh")->KeyExport(), std::vector<std::string>{"bai3"});
  EXPECT_EQ(set.Obj("An")->Evaluation, 7) << "totals are left to the caller";
}

TEST_F(ResultsTest, ReportTextLines) {
  TResultE* e = AddResult(set, "An", "Bai1", jsJudged, 8.5, "Bai1.cpp: dịch xong");
  AddTest(e, "02", 0, "Sai");
  AddTest(e, "01", 8.5, "");
  TStringList L;
  e->ReportText(L);
  EXPECT_EQ(L, (TStringList{"An‣Bai1: 8.50", "Bai1.cpp: dịch xong", "An‣Bai1‣01: 8.50", "", "An‣Bai1‣02: 0.00",
                            "Sai"}));

  struct Case {
    TJudgeState state;
    const char* text;
    TStringList lines;
  } cases[] = {
      {jsCompileError, "lỗi\r\ndòng 2", {"An‣Bai2: ℱ Dịch lỗi", "lỗi\r\ndòng 2"}},
      {jsNotyetJudged, "", {"An‣Bai2: Chưa chấm"}},
      {jsNoSource, "", {"An‣Bai2: ∄ Không có bài"}},
      {jsFailure, "đĩa đầy", {"An‣Bai2: ⚠ Lỗi nghiêm trọng", "đĩa đầy"}},
      {jsUnknown, "", {"An‣Bai2: ???"}},
  };
  for (const Case& c : cases) {
    TResultE* other = AddResult(set, "An", "Bai2", c.state, 0, c.text);
    AddTest(other, "01", 1, "not reported unless judged");
    TStringList lines;
    other->ReportText(lines);
    EXPECT_EQ(lines, c.lines) << c.state;
  }

  struct Restore {
    ~Restore() { SetNumberFormatSource(nullptr); }
  } restore;
  SetNumberFormatSource([] { return std::string("%.1f điểm"); });
  TStringList formatted;
  e->Obj("01")->ReportText(formatted);
  EXPECT_EQ(formatted, (TStringList{"An‣Bai1‣01: 8.5 điểm", ""}));
}

TEST_F(ResultsTest, PlaceholdersWithoutOwnersNeverCrash) {
  TResultC* c = set.ObjX("Ghost");
  EXPECT_EQ(c->Dir(), "/Ghost");
  TResultE* e = c->ObjX("Bai1");
  EXPECT_EQ(e->state, jsNotyetJudged);
  EXPECT_EQ(e->Evaluation, 0);
  TStringList L;
  e->ReportText(L);
  e->ObjX("01")->ReportText(L);
  EXPECT_EQ(L, (TStringList{"‣Bai1: Chưa chấm", "‣‣01: 0.00", ""}));
  EXPECT_EQ(set.Count(), 0);
}

}  // namespace
}  // namespace velkor
