// The standard checkers, as built into "~Judgers" (VELKOR_JUDGERS_DIR),
// loaded and called the way the judge engine does: a run folder with the
// program's output and a test folder with the answer.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "judging/Checkers.h"
#include "tests/core/FileTestSupport.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::WriteText;

struct TCase {
  const char* Output;  // nullptr: the program wrote no output file
  const char* Answer;
  double Fraction;
  const char* TextPart;  // a piece the verdict must contain
};

class StandardCheckers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Set = new TCheckerSet;
    LoadCheckers(*Set, VELKOR_JUDGERS_DIR);
  }
  static void TearDownTestSuite() {
    delete Set;
    Set = nullptr;
  }

  std::string Run() const { return Dir / "run"; }
  std::string Test() const { return Dir / "test"; }

  double Judge(const std::string& Checker, const std::string& List, std::string& Text) {
    TChecker* C = Set->Obj(Checker);
    EXPECT_NE(C, nullptr) << Checker;
    return C ? C->Evaluate(Run(), Test(), List, "Bai1", Text) : -1;
  }

  void Check(const std::string& Checker, const TCase& Case) {
    TempFolder Fresh;
    fs::create_directories(Fresh / "run");
    fs::create_directories(Fresh / "test");
    if (Case.Output) WriteText(Fresh / "run/Bai1.OUT", Case.Output);
    WriteText(Fresh / "test/Bai1.OUT", Case.Answer);
    std::string Text;
    const double Fraction = Set->Obj(Checker)->Evaluate(Fresh / "run", Fresh / "test", "Bai1.OUT", "Bai1", Text);
    const std::string Shown = Case.Output ? "\"" + std::string(Case.Output) + "\"" : "(no output)";
    EXPECT_EQ(Fraction, Case.Fraction) << Checker << " " << Shown << " vs \"" << Case.Answer << "\": " << Text;
    EXPECT_NE(Text.find(Case.TextPart), std::string::npos) << Checker << " " << Shown << ": " << Text;
  }

  static TCheckerSet* Set;
  TempFolder Dir;
};

TCheckerSet* StandardCheckers::Set = nullptr;

TEST_F(StandardCheckers, TheTokenCheckerIsTheDefault) {
  ASSERT_EQ(Set->Count(), 3);
  EXPECT_EQ(Set->ObjI(0)->Name(), "CompareTokens.dll");
  EXPECT_EQ(Set->ObjI(1)->Name(), "LineByLine.dll");
  EXPECT_EQ(Set->ObjI(2)->Name(), "RealNumbers.dll");
}

TEST_F(StandardCheckers, CompareTokens) {
  const std::string Long(100000, 'a');
  const std::string LongB = Long + "b", LongC = Long + "c";
  const TCase Cases[] = {
      {"1 2 3\n", "1 2 3\n", 1, "Đúng"},
      {"  1\t\t2\r\n\n3", "1 2 3\n", 1, "Đúng"},  // spacing and line breaks do not matter
      {"", "", 1, "Đúng"},
      {"\n \n", "", 1, "Đúng"},
      {"1 2 4\n", "1 2 3\n", 0, "từ thứ 3"},
      {"1 2 4\n", "1 2 3\n", 0, "\"4\""},
      {"1 2 3", "1 2 3 4", 0, "thiếu"},
      {"1 2 3 4", "1 2 3", 0, "thừa"},
      {"", "7", 0, "thiếu"},
      {"12", "123", 0, "Sai"},  // a token that is a prefix of the other
      {"123", "12", 0, "Sai"},
      {"Yes", "YES", 0, "Sai"},
      {nullptr, "1", 0, "Không tìm thấy file output"},
      // A token longer than anything kept: compared in full, shown cut.
      {LongB.c_str(), LongC.c_str(), 0, "...\""},
      {LongB.c_str(), LongB.c_str(), 1, "Đúng"},
  };
  for (const TCase& Case : Cases) Check("CompareTokens.dll", Case);
}

TEST_F(StandardCheckers, LineByLine) {
  const std::string Blanks(10000, ' ');
  const std::string Spaced = "x" + Blanks + "y";  // inner blanks longer than any buffer
  const std::string SpacedTrailing = Spaced + Blanks + "\n", SpacedLine = Spaced + "\n";
  const std::string FewerBlanks = "x" + Blanks.substr(1) + "y", OtherBlanks = "x" + Blanks + "\ty";
  const TCase Cases[] = {
      {"a b\nc\n", "a b\nc\n", 1, "Đúng"},
      {"a b  \t\r\nc", "a b\nc\n\n", 1, "Đúng"},  // trailing blanks, CR LF, final line ends
      {"a\n\n  \n\n", "a", 1, "Đúng"},
      {"", "", 1, "Đúng"},
      {"a  b", "a b", 0, "dòng 1, cột 3"},  // blanks inside a line count
      {" a", "a", 0, "dòng 1"},              // and so do leading ones
      {"a\n\nb", "a\nb", 0, "dòng 2"},       // and empty lines that are not at the end
      {"a\nb\n", "a\nc\n", 0, "dòng 2"},
      {"a\n", "a\nb\n", 0, "thiếu"},
      {"a\nb\n", "a\n", 0, "thừa"},
      {nullptr, "a", 0, "Không tìm thấy file output"},
      {SpacedTrailing.c_str(), Spaced.c_str(), 1, "Đúng"},
      {SpacedLine.c_str(), FewerBlanks.c_str(), 0, "dòng 1"},
      {SpacedLine.c_str(), OtherBlanks.c_str(), 0, "dòng 1"},
  };
  for (const TCase& Case : Cases) Check("LineByLine.dll", Case);
}

TEST_F(StandardCheckers, RealNumbers) {
  const TCase Cases[] = {
      {"1.0000001 2", "1 2", 1, "Đúng"},
      {"3.14159\n", "3.141592653", 1, "Đúng"},
      {"1000000000.5", "1000000000", 1, "Đúng"},  // relative to a large answer
      {"+1.5 -0", "1.5 0", 1, "Đúng"},
      {"1e-7", "0", 1, "Đúng"},
      {"1.001", "1", 0, "giá trị thứ 1"},
      {"0.00001", "0", 0, "Sai"},
      {"1,5", "1.5", 0, "Sai"},  // the decimal point is "." whatever the locale
      {"abc 2", "abc 2.0000000001", 1, "Đúng"},  // words must match exactly
      {"abd", "abc", 0, "Sai"},
      {"nan", "1", 0, "Sai"},
      {"inf", "inf", 1, "Đúng"},
      {"1 2", "1 2 3", 0, "thiếu"},
      {"1 2 3", "1 2", 0, "thừa"},
  };
  for (const TCase& Case : Cases) Check("RealNumbers.dll", Case);
}

// Editors on Windows start a saved file with a byte-order mark; it is no
// part of the answer or of the output. Anywhere else it is content.
TEST_F(StandardCheckers, AByteOrderMarkAtTheStartIsNoContent) {
  const TCase Cases[] = {
      {"1 2\n", "\xEF\xBB\xBF" "1 2\n", 1, "Đúng"},
      {"\xEF\xBB\xBF" "1 2\n", "1 2\n", 1, "Đúng"},
      {"\xEF\xBB\xBF", "", 1, "Đúng"},
      {"1 \xEF\xBB\xBF" "2\n", "1 2\n", 0, "Sai"},
  };
  for (const char* Checker : {"CompareTokens.dll", "LineByLine.dll", "RealNumbers.dll"})
    for (const TCase& Case : Cases) Check(Checker, Case);
}

TEST_F(StandardCheckers, FindsFilesIgnoringAsciiCase) {
  WriteText(Run() + "/bai1.out", "5\n");
  WriteText(Test() + "/BAI1.OUT", "5\n");
  for (const char* Checker : {"CompareTokens.dll", "LineByLine.dll", "RealNumbers.dll"}) {
    std::string Text;
    EXPECT_EQ(Judge(Checker, "Bai1.Out", Text), 1.0) << Checker << ": " << Text;
  }
}

TEST_F(StandardCheckers, EveryListedOutputEarnsItsShare) {
  WriteText(Run() + "/A.OUT", "1\n");
  WriteText(Test() + "/A.OUT", "1\n");
  WriteText(Run() + "/B.OUT", "2\n");
  WriteText(Test() + "/B.OUT", "3\n");
  std::string Text;
  EXPECT_EQ(Judge("CompareTokens.dll", " | A.OUT | B.OUT |", Text), 0.5);
  EXPECT_NE(Text.find("A.OUT: Đúng"), std::string::npos) << Text;
  EXPECT_NE(Text.find("\r\nB.OUT: Sai"), std::string::npos) << Text;

  EXPECT_EQ(Judge("CompareTokens.dll", "A.OUT", Text), 1.0) << Text;
  EXPECT_EQ(Judge("CompareTokens.dll", " | ", Text), 0.0) << "no output named";
  EXPECT_FALSE(Text.empty());
}

TEST_F(StandardCheckers, MissingAnswerIsTheJurysFault) {
  WriteText(Run() + "/Bai1.OUT", "1\n");
  fs::create_directories(Test());
  std::string Text;
  EXPECT_EQ(Judge("CompareTokens.dll", "Bai1.OUT", Text), 0.0);
  EXPECT_NE(Text.find("đáp án"), std::string::npos) << Text;

  Text.clear();
  EXPECT_EQ(Set->Obj("CompareTokens.dll")->Evaluate(Dir / "none", Dir / "none", "Bai1.OUT", "Bai1", Text), 0.0);
  EXPECT_FALSE(Text.empty());
}

TEST_F(StandardCheckers, OutputThatIsNoPlainFileOfTheRunScoresZero) {
  WriteText(Test() + "/Bai1.OUT", "42\n");
  WriteText(Dir / "secret.txt", "42\n");
  fs::create_directories(Run());
  std::string Text;

  // A name that would leave the run folder.
  EXPECT_EQ(Judge("CompareTokens.dll", "../secret.txt", Text), 0.0) << Text;

  // A link planted in place of the output, pointing at the answer.
  fs::create_symlink(Test() + "/Bai1.OUT", Run() + "/Bai1.OUT");
  EXPECT_EQ(Judge("CompareTokens.dll", "Bai1.OUT", Text), 0.0) << Text;
  fs::remove(Run() + "/Bai1.OUT");

  // A FIFO is refused at once, not waited on.
  ASSERT_EQ(::mkfifo((Run() + "/Bai1.OUT").c_str(), 0600), 0);
  EXPECT_EQ(Judge("LineByLine.dll", "Bai1.OUT", Text), 0.0) << Text;
  fs::remove(Run() + "/Bai1.OUT");

  // So is a folder.
  fs::create_directories(Run() + "/Bai1.OUT");
  EXPECT_EQ(Judge("RealNumbers.dll", "Bai1.OUT", Text), 0.0) << Text;
}

TEST_F(StandardCheckers, UnreadableOutputScoresZero) {
  WriteText(Run() + "/Bai1.OUT", "1\n");
  WriteText(Test() + "/Bai1.OUT", "1\n");
  fs::permissions(Run() + "/Bai1.OUT", fs::perms::none);
  // Root reads every file: judge as an account without privileges.
  const auto Text = testing::RunUnprivileged([&] {
    std::string Verdict;
    const double Fraction = Set->Obj("CompareTokens.dll")->Evaluate(Run(), Test(), "Bai1.OUT", "Bai1", Verdict);
    return std::to_string(Fraction) + " " + Verdict;
  });
  if (!Text) GTEST_SKIP() << "no unprivileged account to judge as";
  EXPECT_EQ(Text->rfind("0.000000 Không đọc được file output", 0), 0u) << *Text;
}

// Output and answer far larger than the memory the checker may use: the
// checkers read them as streams. Each runs in a child whose address space
// has room for the process as it is and 64 MiB more, so a checker that
// loaded a whole file would fail there; equal files must still pass.
TEST_F(StandardCheckers, HugeFilesAreStreamed) {
  constexpr off_t kSize = off_t(96) << 20;
  fs::create_directories(Run());
  fs::create_directories(Test());
  for (const std::string& Path : {Run() + "/Bai1.OUT", Test() + "/Bai1.OUT"}) {
    WriteText(Path, "");
    ASSERT_EQ(::truncate(Path.c_str(), kSize), 0);  // sparse: costs no disk
  }
  long Pages = 0;
  std::ifstream("/proc/self/statm") >> Pages;
  ASSERT_GT(Pages, 0);
  const rlim_t Limit = static_cast<rlim_t>(Pages) * ::sysconf(_SC_PAGESIZE) + (rlim_t(64) << 20);

  for (const char* Checker : {"CompareTokens.dll", "LineByLine.dll", "RealNumbers.dll"}) {
    const pid_t Child = ::fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
      const rlimit Cap{Limit, Limit};
      ::setrlimit(RLIMIT_AS, &Cap);
      std::string Text;
      const double Fraction = Set->Obj(Checker)->Evaluate(Run(), Test(), "Bai1.OUT", "Bai1", Text);
      ::_exit(Fraction == 1.0 && Text == "Đúng" ? 0 : 1);
    }
    int Status = 0;
    ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Checker << " status " << Status;
  }
}

}  // namespace
}  // namespace velkor
