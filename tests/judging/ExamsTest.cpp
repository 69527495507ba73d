// Exams and tests read from a hand-built tasks folder: defaults, settings
// files, refresh, the exam list document and the faults of bad input.

#include "judging/Exams.h"

#include <sstream>

#include <gtest/gtest.h>

#include "core/CompressedXML.h"
#include "judging/Checkers.h"
#include "judging/XMLHelpers.h"
#include "tests/judging/CommaLocale.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

using testing::ReadCompressedXML;
using testing::TContestTree;

// A checker set with two plug-ins named but not loaded: enough for the
// model, which only looks at checker names.
void InstallCheckers(std::initializer_list<const char*> names) {
  Checkers = std::make_unique<TCheckerSet>();
  for (const char* n : names) Checkers->Include(Checkers->CreateObj(n, true));
}

class ExamsTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallCheckers({"Exact.dll", "Diff.dll"}); }
  void TearDown() override { Checkers.reset(); }

  // Loads the tasks folder, counting the load events.
  void Load() {
    set.OnBeforeLoad = [this](TObject* sender) {
      EXPECT_EQ(sender, &set);
      ++before;
    };
    set.OnLoaded = [this](TObject* sender) {
      EXPECT_EQ(sender, &set);
      ++loaded;
    };
    set.SetDir(tree.TasksDir());
  }

  static std::vector<std::string> TestNames(const TExamInfo& e) { return e.KeyExport(); }

  TContestTree tree;
  TExamSet set;
  int before = 0, loaded = 0;
};

TEST_F(ExamsTest, ExamsAndTestsComeFromFoldersInNameOrder) {
  tree.AddExam("BAI3", {"1"});
  tree.AddExam("bai2");
  tree.AddExam("Bai1", {"02", "01", "10"});
  testing::WriteText(tree.TasksDir() + "/notes.txt", "a file is no exam");
  Load();
  EXPECT_EQ(set.KeyExport(), (std::vector<std::string>{"Bai1", "bai2", "BAI3"}));
  EXPECT_EQ(set.Dir(), tree.TasksDir() + "/");
  const TExamInfo* bai1 = set.Obj("BAI1");
  ASSERT_NE(bai1, nullptr);
  EXPECT_EQ(bai1->Owner, &set);
  EXPECT_EQ(TestNames(*bai1), (std::vector<std::string>{"01", "02", "10"}));
  EXPECT_EQ(bai1->Dir(), tree.TasksDir() + "/Bai1");
  EXPECT_EQ(bai1->Obj("01")->Dir(), tree.TasksDir() + "/Bai1/01");
  EXPECT_EQ(bai1->Obj("01")->Owner, bai1);
  EXPECT_EQ(before, 1);
  EXPECT_EQ(loaded, 1);
}

TEST_F(ExamsTest, AnExamWithoutSettingsHasTheDefaults) {
  tree.AddExam("Bai1", {"01"});
  Load();
  const TExamInfo& e = *set.Obj("Bai1");
  EXPECT_EQ(e.InputFile, "Bai1.INP");
  EXPECT_EQ(e.OutputFile, "Bai1.OUT");
  EXPECT_TRUE(e.Enabled);
  EXPECT_FALSE(e.UseStdIn);
  EXPECT_FALSE(e.UseStdOut);
  EXPECT_EQ(e.Mark, 1);
  EXPECT_EQ(e.TimeLimit, 1);
  EXPECT_EQ(e.MemoryLimit, 1024);
  EXPECT_EQ(e.EvaluatorName, "Diff.dll") << "the first checker in name order";
  const TTestInfo& t = *e.Obj("01");
  EXPECT_EQ(t.Mark, -1);
  EXPECT_EQ(t.TimeLimit, -1);
  EXPECT_EQ(t.MemoryLimit, -1);
  EXPECT_EQ(t.GetActualMark(), 1);
  EXPECT_EQ(t.GetActualTimeLimit(), 1);
  EXPECT_EQ(t.GetActualMemoryLimit(), 1024);
  EXPECT_EQ(e.ColumnHeader(), "✓ Bai1");

  Checkers.reset();
  EXPECT_EQ(TExamInfo().EvaluatorName, "") << "no checker loaded, no default";
}

TEST_F(ExamsTest, SettingsFileOverridesDefaultsAndTests) {
  tree.AddExam("Bai1", {"01", "02", "03"});
  // Element names of the tests do not matter; their "Name" does. "Gone"
  // names no test folder and creates none.
  tree.WriteExamSettings("Bai1", R"(<?xml version="1.0"?>
<ExamInformation Name="BAI1" InputFile="in.txt|extra.txt" UseStdIn="TRUE" OutputFile="out.txt" UseStdOut="1"
    EvaluatorName="exact.dll" Mark="2.5" TimeLimit="0.5" MemoryLimit="256">
  <TestCase Name="01" Mark="4" TimeLimit="2" MemoryLimit="-1"/>
  <Whatever Name="02" Mark="0"/>
  <TestCase Name="Gone" Mark="9"/>
</ExamInformation>)");
  Load();
  const TExamInfo& e = *set.Obj("Bai1");
  EXPECT_EQ(e.InputFile, "in.txt|extra.txt");
  EXPECT_TRUE(e.UseStdIn);
  EXPECT_EQ(e.OutputFile, "out.txt");
  EXPECT_TRUE(e.UseStdOut);
  EXPECT_EQ(e.EvaluatorName, "exact.dll") << "a checker found ignoring case stays as read";
  EXPECT_EQ(e.Mark, 2.5);
  EXPECT_EQ(e.TimeLimit, 0.5);
  EXPECT_EQ(e.MemoryLimit, 256);
  EXPECT_EQ(TestNames(e), (std::vector<std::string>{"01", "02", "03"}));
  EXPECT_EQ(e.Obj("01")->Mark, 4);
  EXPECT_EQ(e.Obj("01")->GetActualTimeLimit(), 2);
  EXPECT_EQ(e.Obj("01")->GetActualMemoryLimit(), 256);
  EXPECT_EQ(e.Obj("02")->GetActualMark(), 0) << "a zero mark is the test's own";
  EXPECT_EQ(e.Obj("02")->TimeLimit, -1);
  EXPECT_EQ(e.Obj("03")->GetActualMark(), 2.5);
}

TEST_F(ExamsTest, SettingsAreReadSafely) {
  struct Case {
    const char* what;
    const char* attributes;  // of the ExamInformation element of exam "Bai1"
    std::string input, output, checker;
    double mark;
  } cases[] = {
      {"another exam's settings are ignored", R"(Name="Bai2" InputFile="x" Mark="5")", "Bai1.INP", "Bai1.OUT",
       "Diff.dll", 1},
      {"no name is another exam's name", R"(InputFile="x")", "Bai1.INP", "Bai1.OUT", "Diff.dll", 1},
      {"an unknown checker becomes the first", R"(Name="Bai1" EvaluatorName="Nope.dll")", "Bai1.INP", "Bai1.OUT",
       "Diff.dll", 1},
      {"a bad number keeps the default", R"(Name="Bai1" Mark="lots" TimeLimit="1,5")", "Bai1.INP", "Bai1.OUT",
       "Diff.dll", 1},
      {"a file list leaving the folder is refused", R"(Name="Bai1" InputFile="../../etc/passwd" OutputFile="a|/tmp/x")",
       "Bai1.INP", "Bai1.OUT", "Diff.dll", 1},
      {"blanks and empty items in a list are no escape", R"(Name="Bai1" InputFile=" a.inp | b.inp " OutputFile="")",
       " a.inp | b.inp ", "", "Diff.dll", 1},
  };
  tree.AddExam("Bai1", {"01"});
  for (const Case& c : cases) {
    tree.WriteExamSettings("Bai1", std::string("<ExamInformation ") + c.attributes + "/>");
    Load();
    const TExamInfo& e = *set.Obj("Bai1");
    EXPECT_EQ(e.InputFile, c.input) << c.what;
    EXPECT_EQ(e.OutputFile, c.output) << c.what;
    EXPECT_EQ(e.EvaluatorName, c.checker) << c.what;
    EXPECT_EQ(e.Mark, c.mark) << c.what;
  }

  Checkers->Clear();
  tree.WriteExamSettings("Bai1", R"(<ExamInformation Name="Bai1" EvaluatorName="Nope.dll"/>)");
  Load();
  EXPECT_EQ(set.Obj("Bai1")->EvaluatorName, "Nope.dll") << "with no checker loaded the name stays as read";
}

TEST_F(ExamsTest, SettingsFileIsFoundIgnoringLetterCase) {
  tree.AddExam("Bai1");
  tree.WriteExamSettings("Bai1", R"(<ExamInformation Name="Bai1" Mark="3"/>)", "settings.CFG");
  Load();
  EXPECT_EQ(set.Obj("Bai1")->Mark, 3);
  set.Obj("Bai1")->Mark = 4;
  set.Obj("Bai1")->FileSave();
  EXPECT_FALSE(testing::Exists(tree.TasksDir() + "/Bai1/Settings.cfg")) << "the existing file is replaced";
  Load();
  EXPECT_EQ(set.Obj("Bai1")->Mark, 4);
}

// A damaged settings file spoils only its own exam: the exam stays with
// its tests (so that nothing prunes its results) and the jury is told which
// one and why. On a refresh the exam keeps the settings it had.
TEST_F(ExamsTest, BrokenSettingsKeepTheExamAndAreNamed) {
  tree.AddExam("A", {"1"});
  tree.AddExam("B", {"01", "02"});
  tree.AddExam("C", {"1"});
  tree.WriteExamSettings("A", R"(<ExamInformation Name="A" Mark="7"/>)");
  const std::string settings = tree.TasksDir() + "/B/Settings.cfg";
  struct Case {
    const char* what;
    std::string bytes;  // written as they stand
  } cases[] = {
      {"a Boolean that is not one", ""},
      {"not compressed", "<ExamInformation Name=\"B\"/>"},
      {"truncated", ""},
  };
  tree.WriteExamSettings("B", R"(<ExamInformation Name="B" InputFile="half.in" UseStdIn="yes"/>)");
  cases[0].bytes = testing::ReadText(settings);
  tree.WriteExamSettings("B", R"(<ExamInformation Name="B" Mark="2"><TestCase Name="01"/></ExamInformation>)");
  cases[2].bytes = testing::ReadText(settings).substr(0, 12);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::WriteText(settings, c.bytes);
    before = loaded = 0;
    EXPECT_NO_THROW(Load());
    EXPECT_EQ(set.KeyExport(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(set.Obj("A")->Mark, 7) << "the intact exams load whole";
    const TExamInfo& b = *set.Obj("B");
    EXPECT_EQ(TestNames(b), (std::vector<std::string>{"01", "02"}));
    EXPECT_EQ(b.InputFile, "B.INP") << "nothing half-read stays";
    EXPECT_FALSE(b.UseStdIn);
    EXPECT_TRUE(b.SettingsMissing);
    ASSERT_EQ(set.LoadProblems().size(), 1u);
    const TLoadProblem& p = set.LoadProblems()[0];
    EXPECT_NE(p.Text.find("Bài thi \"B\": không đọc được file Settings.cfg"), std::string::npos) << p.Text;
    EXPECT_NE(p.Text.find("dùng giá trị mặc định"), std::string::npos) << p.Text;
    EXPECT_NE(p.Text.find("Chi tiết: "), std::string::npos) << p.Text;
    EXPECT_TRUE(p.Lost) << "defaults stand in for settings the folder holds";
  }

  // A refresh keeps what the jury had for the damaged exam.
  for (const char* test : {"01", "02"}) tree.AddTest("B", test, {{"b.in", "1 2\n"}});
  tree.WriteExamSettings("B", R"(<ExamInformation Name="B" InputFile="b.in" Mark="2" TimeLimit="3">
      <TestCase Name="01" Mark="5"/></ExamInformation>)");
  Load();
  ASSERT_TRUE(set.LoadProblems().empty());
  testing::WriteText(settings, testing::ReadText(settings).substr(0, 40));
  set.Refresh();
  const TExamInfo& b = *set.Obj("B");
  EXPECT_EQ(b.InputFile, "b.in");
  EXPECT_EQ(b.TimeLimit, 3);
  EXPECT_EQ(b.Obj("01")->Mark, 5);
  ASSERT_EQ(set.LoadProblems().size(), 1u);
  EXPECT_NE(set.LoadProblems()[0].Text.find("giữ như trước khi cập nhật"), std::string::npos);
  EXPECT_FALSE(set.LoadProblems()[0].Lost);
  set.Refresh();  // each refresh tells its own problems, not the ones before
  EXPECT_EQ(set.LoadProblems().size(), 1u);
}

// Limits beyond what the runner takes would wrap to tiny ones there.
TEST_F(ExamsTest, AbsurdLimitsAreLoweredToTheRunnersLargest) {
  tree.AddExam("Bai1", {"01", "02"});
  tree.WriteExamSettings("Bai1", R"(<ExamInformation Name="Bai1" TimeLimit="1e308" MemoryLimit="4096">
      <TestCase Name="01" MemoryLimit="1e20"/><TestCase Name="02" TimeLimit="4294967"/></ExamInformation>)");
  Load();
  const TExamInfo& e = *set.Obj("Bai1");
  EXPECT_EQ(e.TimeLimit, kMaxTimeLimit);
  EXPECT_EQ(e.MemoryLimit, 4096) << "the largest itself is no problem";
  EXPECT_EQ(e.Obj("01")->MemoryLimit, kMaxMemoryLimit);
  EXPECT_EQ(e.Obj("02")->TimeLimit, 4294967);
  ASSERT_EQ(set.LoadProblems().size(), 2u);
  EXPECT_EQ(set.LoadProblems()[0].Text,
            "Bài thi \"Bai1\": giới hạn thời gian 1E308 giây lớn hơn mức chương trình chấm thực hiện được, "
            "dùng mức lớn nhất 4294967 giây.");
  EXPECT_NE(set.LoadProblems()[1].Text.find("Bài thi \"Bai1\", test \"01\": giới hạn bộ nhớ 1E20 MB"),
            std::string::npos);
  EXPECT_FALSE(set.LoadProblems()[0].Lost);
  // The same from the contest's exam list.
  std::stringstream list;
  list << R"(<Tasks><Exam Name="Bai1" TimeLimit="5e6"/></Tasks>)";
  TCompressedXML doc;
  doc.LoadXML(list.str(), "Tasks.config");
  std::stringstream packed;
  doc.SaveToStream(packed);
  set.StreamLoad(packed);
  EXPECT_EQ(set.Obj("Bai1")->TimeLimit, kMaxTimeLimit);
  EXPECT_EQ(set.LoadProblems().size(), 3u);
}

// A damaged exam element of the exam list spoils only its own exam.
TEST_F(ExamsTest, ADamagedExamInTheListKeepsItsSettings) {
  tree.AddExam("A", {"1"});
  tree.AddExam("B", {"1"});
  Load();
  TCompressedXML doc;
  doc.LoadXML(R"(<Tasks><Exam Name="A" InputFile="x.in" UseStdIn="maybe"/><Exam Name="B" Mark="9"/></Tasks>)",
              "Tasks.config");
  std::stringstream packed;
  doc.SaveToStream(packed);
  EXPECT_NO_THROW(set.StreamLoad(packed));
  EXPECT_EQ(set.Obj("A")->InputFile, "A.INP");
  EXPECT_EQ(set.Obj("B")->Mark, 9);
  ASSERT_EQ(set.LoadProblems().size(), 1u);
  EXPECT_NE(set.LoadProblems()[0].Text.find("Bài thi \"A\""), std::string::npos);
}

// An exam folder without a test folder would judge every program to 0
// without a word: loading names it, whether or not it holds files.
TEST_F(ExamsTest, AnExamWithoutTestsIsNamed) {
  tree.AddExam("A", {"1"});
  tree.AddExam("Files");
  testing::WriteText(tree.TasksDir() + "/Files/Files.INP", "1 2\n");  // the test's files, one level too high
  testing::WriteText(tree.TasksDir() + "/Files/Files.OUT", "3\n");
  tree.AddExam("Empty");
  Load();
  EXPECT_EQ(set.KeyExport(), (std::vector<std::string>{"A", "Empty", "Files"})) << "kept, for their results' sake";
  std::vector<std::string> texts;
  for (const TLoadProblem& p : set.LoadProblems()) texts.push_back(p.Text);
  const std::string tail = "\" không có test nào: mỗi test là một thư mục con của thư mục bài thi, chứa file input và "
                           "file kết quả của test";
  EXPECT_EQ(texts, (std::vector<std::string>{"Bài thi \"Empty" + tail, "Bài thi \"Files" + tail}));
}

// Test files named otherwise than the exam's settings say (input.txt and
// output.txt where SUM.INP and SUM.OUT are expected): every program would
// be judged without its input or against no answer. Each missing name is
// told once per exam, with how many tests lack it and the first of them;
// a file found in another letter case counts, as the run finds it so.
TEST_F(ExamsTest, TestFilesTheSettingsDoNotFindAreNamed) {
  tree.AddExam("GOOD", {"1", "2"});
  tree.AddTest("GOOD", "3", {{"good.inp", "1 2\n"}, {"Good.Out", "3\n"}});
  for (const char* test : {"1", "2", "3"}) tree.AddTest("SUM", test, {{"input.txt", "1 2\n"}, {"output.txt", "3\n"}});
  tree.AddTest("SUM", "4", {{"SUM.INP", "1 2\n"}, {"output.txt", "3\n"}});
  tree.AddTest("TWO", "1", {{"a.in", "1\n"}, {"TWO.OUT", "1\n"}});
  tree.WriteExamSettings("TWO", R"(<ExamInformation Name="TWO" InputFile="a.in|b.in"/>)");
  Load();
  std::vector<std::string> texts;
  for (const TLoadProblem& p : set.LoadProblems()) {
    texts.push_back(p.Text);
    EXPECT_FALSE(p.Lost) << p.Text;
  }
  const std::string tail = "); tên các file của test phải như cấu hình bài thi ghi";
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "Bài thi \"SUM\": 3 trong 4 test không có file input \"SUM.INP\" (thứ nhất là test \"1\"" + tail,
                       "Bài thi \"SUM\": 4 trong 4 test không có file kết quả \"SUM.OUT\" (thứ nhất là test \"1\"" + tail,
                       "Bài thi \"TWO\": 1 trong 1 test không có file input \"b.in\" (thứ nhất là test \"1\"" + tail,
                   }));
}

// Folder names the system cannot judge or cannot tell apart.
TEST_F(ExamsTest, UnusableAndLetterCaseTwinFoldersAreNamed) {
  tree.AddExam("Good", {"01", "b\xE0i"});
  tree.AddExam("b\xE0i1", {"01"});
  tree.AddExam("bai1", {"01"});
  tree.AddExam("BAI1", {"01", "02"});
  tree.WriteExamSettings("bai1", R"(<ExamInformation Name="bai1" Mark="3"/>)");
  tree.AddExam("Z");
  tree.AddExam("z", {"01"});  // the one holding something wins
  Load();
  EXPECT_EQ(set.KeyExport(), (std::vector<std::string>{"bai1", "Good", "z"}));
  EXPECT_EQ(set.Obj("BAI1")->Mark, 3) << "the folder with its settings is the one used";
  EXPECT_EQ(set.Obj("BAI1")->Count(), 1);
  EXPECT_EQ(TestNames(*set.Obj("Good")), std::vector<std::string>{"01"});
  std::vector<std::string> texts;
  for (const TLoadProblem& p : set.LoadProblems()) {
    texts.push_back(p.Text);
    EXPECT_TRUE(p.Lost);
  }
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0].rfind("Bỏ qua thư mục bài thi \"b\\xE0i1\": tên thư mục không phải UTF-8", 0), 0u) << texts[0];
  EXPECT_EQ(texts[1].rfind("Các thư mục bài thi \"BAI1\", \"bai1\" chỉ khác nhau ở chữ hoa, chữ thường "
                           "nên chỉ dùng được một: dùng thư mục \"bai1\", bỏ qua \"BAI1\".", 0),
            0u)
      << texts[1];
  EXPECT_NE(texts[2].find("dùng thư mục \"z\", bỏ qua \"Z\""), std::string::npos) << texts[2];
  EXPECT_EQ(texts[3].rfind("Bỏ qua thư mục test của bài thi \"Good\" \"b\\xE0i\"", 0), 0u) << texts[3];
}

TEST_F(ExamsTest, WrongRootElementReadsNothing) {
  tree.AddExam("Bai1");
  tree.WriteExamSettings("Bai1", R"(<examinformation Name="Bai1" Mark="3"/>)");
  Load();
  EXPECT_EQ(set.Obj("Bai1")->Mark, 1);
}

TEST_F(ExamsTest, SavedSettingsLoadBackWithTheDocumentedLayout) {
  tree.AddExam("Bai1", {"01", "02"});
  Load();
  TExamInfo& e = *set.Obj("Bai1");
  e.InputFile = "a.inp|b.inp";
  e.UseStdOut = true;
  e.EvaluatorName = "Exact.dll";
  e.Mark = 0.1;
  e.TimeLimit = 2.5;
  e.MemoryLimit = 64;
  e.Obj("02")->Mark = 3;
  e.Obj("02")->TimeLimit = 0.25;
  e.FileSave();

  const std::string file = tree.TasksDir() + "/Bai1/Settings.cfg";
  EXPECT_EQ(testing::ReadText(file).substr(0, 1), "\x78") << "a zlib stream";
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(ReadCompressedXML(file).c_str()));
  const pugi::xml_node root = doc.child("ExamInformation");
  std::string attributes;
  for (const pugi::xml_attribute a : root.attributes()) attributes += std::string(a.name()) + "=" + a.value() + " ";
  EXPECT_EQ(attributes,
            "Name=Bai1 InputFile=a.inp|b.inp UseStdIn=false OutputFile=Bai1.OUT UseStdOut=true "
            "EvaluatorName=Exact.dll Mark=0.1 TimeLimit=2.5 MemoryLimit=64 ");
  std::string tests;
  for (const pugi::xml_node t : root.children()) {
    tests += std::string(t.name()) + ":";
    for (const pugi::xml_attribute a : t.attributes()) tests += std::string(a.value()) + ",";
  }
  EXPECT_EQ(tests, "TestCase:01,-1,-1,-1,TestCase:02,3,0.25,-1,");

  TExamSet again;
  again.SetDir(tree.TasksDir());
  const TExamInfo& r = *again.Obj("Bai1");
  EXPECT_EQ(r.InputFile, e.InputFile);
  EXPECT_EQ(r.UseStdOut, true);
  EXPECT_EQ(r.EvaluatorName, "Exact.dll");
  EXPECT_EQ(r.Mark, 0.1);
  EXPECT_EQ(r.TimeLimit, 2.5);
  EXPECT_EQ(r.MemoryLimit, 64);
  EXPECT_EQ(r.Obj("02")->Mark, 3);
  EXPECT_EQ(r.Obj("02")->TimeLimit, 0.25);
  EXPECT_EQ(r.Obj("01")->Mark, -1);
}

TEST_F(ExamsTest, SettingsNumbersStayEnUsUnderADecimalComma) {
  VELKOR_REQUIRE_COMMA_LOCALE(comma);
  tree.AddExam("Bai1", {"01"});
  Load();
  set.Obj("Bai1")->TimeLimit = 0.5;
  set.Obj("Bai1")->Obj("01")->Mark = 1234.5;
  set.Obj("Bai1")->FileSave();
  const std::string text = ReadCompressedXML(tree.TasksDir() + "/Bai1/Settings.cfg");
  EXPECT_NE(text.find("TimeLimit=\"0.5\""), std::string::npos) << text;
  EXPECT_NE(text.find("Mark=\"1234.5\""), std::string::npos) << text;
  Load();
  EXPECT_EQ(set.Obj("Bai1")->TimeLimit, 0.5);
  EXPECT_EQ(set.Obj("Bai1")->Obj("01")->Mark, 1234.5);
}

TEST_F(ExamsTest, RefreshKeepsTheJurysChoicesAndRereadsTheRest) {
  tree.AddExam("Bai1", {"01"});
  tree.AddExam("Bai2");
  tree.WriteExamSettings("Bai1", R"(<ExamInformation Name="Bai1" InputFile="disk.inp" Mark="2"/>)");
  Load();
  TExamInfo* e = set.Obj("Bai1");
  e->Enabled = false;
  e->Mark = 5;
  e->TimeLimit = 3;
  e->MemoryLimit = 128;
  e->InputFile = "memory.inp";
  e->UseStdIn = true;
  e->Obj("01")->Mark = 9;
  tree.Remove("Tasks/Bai2");
  tree.AddExam("Bai3", {"01"});
  tree.AddTest("Bai1", "02");

  before = loaded = 0;
  set.Refresh();
  EXPECT_EQ(before, 1);
  EXPECT_EQ(loaded, 1);
  EXPECT_EQ(set.KeyExport(), (std::vector<std::string>{"Bai1", "Bai3"}));
  e = set.Obj("Bai1");
  EXPECT_FALSE(e->Enabled);
  EXPECT_EQ(e->Mark, 5);
  EXPECT_EQ(e->TimeLimit, 3);
  EXPECT_EQ(e->MemoryLimit, 128);
  EXPECT_EQ(e->InputFile, "disk.inp");
  EXPECT_FALSE(e->UseStdIn);
  EXPECT_EQ(TestNames(*e), (std::vector<std::string>{"01", "02"}));
  EXPECT_EQ(e->Obj("01")->Mark, -1) << "test overrides come from the folder again";
  EXPECT_TRUE(set.Obj("Bai3")->Enabled);
  EXPECT_EQ(e->Owner, &set);
}

TEST_F(ExamsTest, AMissingFolderEmptiesTheSetAndStillRaisesTheEvents) {
  tree.AddExam("Bai1");
  Load();
  before = loaded = 0;
  for (const std::string& dir : {tree.TasksDir() + "/nonexistent", std::string()}) {
    set.SetDir(dir);
    EXPECT_EQ(set.Count(), 0);
    EXPECT_EQ(set.Dir(), "");
  }
  EXPECT_EQ(before, 2);
  EXPECT_EQ(loaded, 2);
  set.Refresh();
  EXPECT_EQ(loaded, 3);
}

TEST_F(ExamsTest, TheExamListDocumentCarriesEveryExam) {
  tree.AddExam("Bai1", {"01"});
  tree.AddExam("Bai2");
  Load();
  set.Obj("Bai1")->Mark = 7;
  set.Obj("Bai1")->Obj("01")->MemoryLimit = 32;
  set.Obj("Bai2")->OutputFile = "res.txt";
  const std::string file = tree.Path("Tasks.config");
  set.FileSave(file);
  std::stringstream stream;
  set.StreamSave(stream);

  TExamSet other;
  tree.AddExam("Bai0");
  other.SetDir(tree.TasksDir());
  other.FileLoad(file);
  EXPECT_EQ(other.Count(), 3) << "a document creates no exam";
  EXPECT_EQ(other.Obj("Bai1")->Mark, 7);
  EXPECT_EQ(other.Obj("Bai1")->Obj("01")->MemoryLimit, 32);
  EXPECT_EQ(other.Obj("Bai2")->OutputFile, "res.txt");
  EXPECT_EQ(other.Obj("Bai0")->Mark, 1);

  TExamSet fromStream;
  fromStream.SetDir(tree.TasksDir());
  fromStream.StreamLoad(stream);
  EXPECT_EQ(fromStream.Obj("Bai2")->OutputFile, "res.txt");

  testing::WriteText(file, "garbage");
  EXPECT_THROW(other.FileLoad(file), EXMLError);
}

TEST_F(ExamsTest, PlaceholdersAndLooseExamsNeverCrash) {
  TExamSet fresh;  // made after the checkers, as start-up orders it
  TExamInfo* q = fresh.ObjX("Q");
  EXPECT_EQ(q->Owner, nullptr);
  EXPECT_EQ(q->Dir(), "/Q");
  EXPECT_EQ(q->EvaluatorName, "Diff.dll");
  EXPECT_THROW(q->FileSave(), EXMLError) << "no tasks folder, no settings file";
  TTestInfo* t = q->ObjX("01");
  EXPECT_EQ(t->Owner, nullptr);
  EXPECT_EQ(t->GetActualMark(), 1);
  EXPECT_EQ(t->GetActualMemoryLimit(), 1024);
  EXPECT_EQ(t->Dir(), "/01");
  q->Enabled = false;
  EXPECT_EQ(q->ColumnHeader(), "◯ Q");
}

TEST(SafeFileLists, EveryItemMustBeOneComponent) {
  EXPECT_TRUE(IsSafeFileList(""));
  EXPECT_TRUE(IsSafeFileList("a.inp"));
  EXPECT_TRUE(IsSafeFileList("a.inp| b.inp |"));
  EXPECT_FALSE(IsSafeFileList("a.inp|.."));
  EXPECT_FALSE(IsSafeFileList("sub/a.inp"));
  EXPECT_FALSE(IsSafeFileList(" .. "));
  EXPECT_FALSE(IsSafeFileList("a\\b"));
}

}  // namespace
}  // namespace velkor
