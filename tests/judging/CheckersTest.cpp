// Loading checker plug-ins from a folder and calling them across the
// plug-in ABI. The plug-ins are small test libraries built beside this test
// (VELKOR_TEST_PLUGINS); each test copies the ones it needs into a folder
// of its own under the names it wants.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/SystemInfo.h"
#include "judging/Checkers.h"
#include "tests/core/FileTestSupport.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::WriteText;

std::string TestPlugin(const std::string& Name) { return std::string(VELKOR_TEST_PLUGINS) + "/" + Name + ".dll"; }

void CopyPlugin(const std::string& Plugin, const std::string& Target) {
  fs::create_directories(fs::path(Target).parent_path());
  fs::copy_file(TestPlugin(Plugin), Target, fs::copy_options::overwrite_existing);
}

// Whether the library at Path is loaded in this process right now.
bool IsLoaded(const std::string& Path) {
  void* h = ::dlopen(Path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h) ::dlclose(h);
  return h != nullptr;
}

std::vector<std::string> NamesOf(TCheckerSet& Set) {
  std::vector<std::string> Names;
  for (int i = 0; i < Set.Count(); ++i) Names.push_back(Set.ObjI(i)->Name());
  return Names;
}

TEST(LoadCheckers, KeepsOnlyDllFilesExportingJudgeInNameOrder) {
  TempFolder Dir;
  CopyPlugin("Echo", Dir / "EXACT.DLL");
  CopyPlugin("Half", Dir / "Diff.dll");
  CopyPlugin("Half", Dir / "half.so");        // a plug-in, but not named *.dll
  CopyPlugin("NoJudge", Dir / "NoJudge.dll");  // only a mangled Judge and a "judge"
  WriteText(Dir / "x.dll", "not a shared object\n");
  WriteText(Dir / "notes.txt", "read me\n");
  fs::create_directories(Dir / "Folder.dll");
  CopyPlugin("Half", Dir / "Folder.dll/Inner.dll");  // not recursive

  {
    TCheckerSet Set;
    LoadCheckers(Set, Dir.Path());
    EXPECT_EQ(NamesOf(Set), (std::vector<std::string>{"Diff.dll", "EXACT.DLL"}));

    TChecker* Exact = Set.Obj("exact.dll");
    ASSERT_NE(Exact, nullptr);
    EXPECT_EQ(Exact->DLLName, "EXACT.DLL");
    EXPECT_NE(Exact->Hdll, nullptr);
    EXPECT_NE(Exact->Judge, nullptr);

    EXPECT_TRUE(IsLoaded(Dir / "EXACT.DLL"));
    EXPECT_TRUE(IsLoaded(Dir / "Diff.dll"));
    EXPECT_FALSE(IsLoaded(Dir / "NoJudge.dll")) << "a library that is left out is unloaded again";
    EXPECT_FALSE(IsLoaded(Dir / "half.so"));
  }
  EXPECT_FALSE(IsLoaded(Dir / "EXACT.DLL")) << "freeing the set unloads its plug-ins";
  EXPECT_FALSE(IsLoaded(Dir / "Diff.dll"));
}

TEST(LoadCheckers, MissingOrEmptyFolderGivesAnEmptySet) {
  TempFolder Dir;
  TCheckerSet Set;
  LoadCheckers(Set, Dir / "no-such-folder");
  EXPECT_EQ(Set.Count(), 0);
  LoadCheckers(Set, Dir.Path());
  EXPECT_EQ(Set.Count(), 0);
}

TEST(LoadCheckers, ProcessWideSetComesFromJudgersBesideTheProgram) {
  // The test runs from the build's program folder, where the standard
  // checkers are built into "~Judgers".
  SystemInfoInit(0, nullptr);
  Checkers = std::make_unique<TCheckerSet>();
  LoadCheckers();
  ASSERT_GE(Checkers->Count(), 3);
  EXPECT_EQ(Checkers->ObjI(0)->Name(), "CompareTokens.dll") << "the default for new exams comes first";
  EXPECT_NE(Checkers->Obj("linebyline.dll"), nullptr);
  EXPECT_NE(Checkers->Obj("RealNumbers.DLL"), nullptr);
  Checkers.reset();
}

TEST(Checker, SetNameLoadsOnlyFullPathsAndReleasesTheLibraryItHeld) {
  TempFolder Dir;
  CopyPlugin("Half", Dir / "A.dll");
  CopyPlugin("Echo", Dir / "B.dll");

  TChecker Checker;
  EXPECT_EQ(Checker.Hdll, nullptr);
  EXPECT_EQ(Checker.Judge, nullptr);
  EXPECT_EQ(Checker.Name(), "");

  Checker.SetName(Dir / "A.dll");
  EXPECT_EQ(Checker.Name(), "A.dll");
  EXPECT_NE(Checker.Judge, nullptr);
  EXPECT_TRUE(IsLoaded(Dir / "A.dll"));

  Checker.SetName(Dir / "B.dll");
  EXPECT_EQ(Checker.Name(), "B.dll");
  EXPECT_FALSE(IsLoaded(Dir / "A.dll")) << "a new name releases the old library";
  EXPECT_TRUE(IsLoaded(Dir / "B.dll"));

  // A bare name is only a name: nothing is looked up on the library path.
  Checker.SetName("libm.so.6");
  EXPECT_EQ(Checker.Name(), "libm.so.6");
  EXPECT_EQ(Checker.Hdll, nullptr);
  EXPECT_EQ(Checker.Judge, nullptr);
  EXPECT_FALSE(IsLoaded(Dir / "B.dll"));

  Checker.SetName("");
  EXPECT_EQ(Checker.Name(), "");
  EXPECT_EQ(Checker.Hdll, nullptr);

  std::string Text = "stale";
  EXPECT_EQ(Checker.Evaluate("/a", "/b", "x.out", "x", Text), 0.0) << "a checker without Judge earns nothing";
  EXPECT_NE(Text, "stale");
}

// The loaded test plug-ins, one per behaviour, under their own names.
class CheckerCall : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* Name : {"Echo", "Half", "NullText", "NotFinite"}) CopyPlugin(Name, Dir / (std::string(Name) + ".dll"));
    LoadCheckers(Set, Dir.Path());
    ASSERT_EQ(Set.Count(), 4);
  }
  double Call(const std::string& Plugin, const std::string& ExamName, std::string& Text) {
    TChecker* Checker = Set.Obj(Plugin + ".dll");
    EXPECT_NE(Checker, nullptr);
    return Checker ? Checker->Evaluate("/run", "/tests/01", "Bai1.OUT", ExamName, Text) : -1;
  }

  TempFolder Dir;
  TCheckerSet Set;
};

TEST_F(CheckerCall, ArgumentsCrossTheAbiAsUtf16AndComeBackIntact) {
  // Vietnamese letters and a character outside the BMP (a surrogate pair).
  const std::string Run = "/tmp/Thí sinh/Nguyễn Văn A", Test = "/đề/Bài1/\xF0\x9F\x98\x80 01";
  const std::string List = " Bài1.OUT | kết quả.txt", Exam = "Bài1";
  std::string Text;
  TChecker* Echo = Set.Obj("ECHO.DLL");
  ASSERT_NE(Echo, nullptr);
  EXPECT_EQ(Echo->Evaluate(Run, Test, List, Exam, Text), 1.0);
  EXPECT_EQ(Text, Run + "\n" + Test + "\n" + List + "\n" + Exam);
}

TEST_F(CheckerCall, ResultAndTextAsThePluginGivesThem) {
  std::string Text;
  EXPECT_EQ(Call("Half", "Bai1", Text), 0.5);
  EXPECT_EQ(Text, "nửa số điểm");

  Text = "stale";
  EXPECT_EQ(Call("NullText", "Bai1", Text), 0.75);
  EXPECT_EQ(Text, "") << "a null text is an empty verdict";
}

TEST_F(CheckerCall, ResultThatIsNotFiniteScoresZero) {
  for (const char* Exam : {"nan", "+inf", "-inf"}) {
    std::string Text;
    const double Fraction = Call("NotFinite", Exam, Text);
    EXPECT_EQ(Fraction, 0.0) << Exam;
    EXPECT_NE(Text.find("không xác định"), std::string::npos) << "the plug-in's own text is kept: " << Text;
    EXPECT_GT(Text.size(), std::string("không xác định").size()) << "and a note is added: " << Text;
  }
}

}  // namespace
}  // namespace velkor
