// The judge engine end to end: contests in temporary folders, judged with
// the system's compilers, the process runner and the standard checkers.
//
// One whole contest (C++, C, Pascal, Java and Python; right, wrong, partly
// right, too slow, crashing, memory-hungry, non-compiling and missing
// submissions; standard and file input and output; per-test marks and
// limits; a ZIP submission) is judged once for the suite, and several tests
// read that run. The other tests use small shell-script programs submitted
// as ready "E.exe" files, which need no compiler.
#include "judging/FolderLocks.h"
#include "judging/JudgeEngines.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <regex>
#include <thread>

#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "core/SystemInfo.h"
#include "judging/EnvConfig.h"
#include "platform/ProcessJobs.h"
#include "tests/judging/ContestTree.h"
#include "tests/judging/SumPrograms.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::Exists;
using testing::ReadText;
using testing::TContestTree;
using testing::TempFolder;
using testing::WriteText;
using testing::kSumCpp;
using testing::kSumPas;
using testing::kSumPy;

// ---- Helpers -------------------------------------------------------------------

void WriteProgram(const std::string& Path, const std::string& Text) {
  WriteText(Path, Text);
  ::chmod(Path.c_str(), 0755);
}

// Every event of a run as one line each, and the progress values.
struct TEventLog {
  std::vector<std::string> Events;
  std::vector<double> Progress;
  std::vector<std::thread::id> Threads;
  // Called from the notify handler; may set Cancel.
  std::function<void(TJudgeAction, const std::string&, const std::string&, const std::string&, bool&)> OnNotify;
  std::function<void(const std::string&)> OnStatus;

  void Bind(TJudgeEngine& Engine) {
    Engine.SetOnInit([this](TJudgeEngine*) { Add("init"); });
    Engine.SetOnFinish([this](TJudgeEngine*) { Add("finish"); });
    Engine.SetOnJudgeNotify([this](TJudgeEngine*, TJudgeAction a, const std::string& c, const std::string& e,
                                   const std::string& t, bool& cancel) {
      Add(std::string(a == jaBeginJudge ? "begin" : "end") + "(" + c + "," + e + "," + t + ")");
      if (OnNotify) OnNotify(a, c, e, t, cancel);
    });
    Engine.SetOnProgressNotify([this](TJudgeEngine*, double p) {
      Add("progress");
      Progress.push_back(p);
    });
    Engine.SetOnStatusNotify([this](TJudgeEngine*, const std::string& s) {
      Add("status " + s);
      if (OnStatus) OnStatus(s);
    });
  }
  void Add(const std::string& e) {
    Events.push_back(e);
    Threads.push_back(std::this_thread::get_id());
  }
  std::size_t Count(const std::string& e) const { return std::count(Events.begin(), Events.end(), e); }
};

TQueue<TJudgePair> Pairs(std::initializer_list<std::pair<std::string, std::string>> Items) {
  TQueue<TJudgePair> q;
  for (const auto& [c, e] : Items) {
    TJudgePair p;
    MakeJudgePair(c, e, p);
    q.Push(p);
  }
  return q;
}

// Processes whose working folder or program lies under Folder.
std::vector<std::string> ProcessesUnder(const std::string& Folder) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string pid = entry.path().filename();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    for (const char* link : {"cwd", "exe"}) {
      std::error_code lec;
      const std::string target = fs::read_symlink(entry.path() / link, lec).string();
      if (!lec && target.rfind(Folder, 0) == 0) found.push_back(pid + " " + link + " " + target);
    }
  }
  return found;
}

std::vector<std::string> ListTree(const std::string& Folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(Folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    names.push_back(fs::relative(it->path(), Folder).string());
  std::sort(names.begin(), names.end());
  return names;
}

// A ZIP file from (entry name, content) pairs; an entry whose content
// starts with "->" is stored as a symbolic link to the rest.
void WriteZip(const std::string& Path, const std::vector<std::pair<std::string, std::string>>& Entries) {
  int err = 0;
  zip_t* z = zip_open(Path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  ASSERT_NE(z, nullptr);
  for (const auto& [name, text] : Entries) {
    const bool link = text.rfind("->", 0) == 0;
    const std::string data = link ? text.substr(2) : text;
    // libzip frees a buffer it was given only when the buffer holds
    // something: an empty entry gets none.
    char* copy = nullptr;
    if (!data.empty()) {
      copy = static_cast<char*>(std::malloc(data.size()));
      std::memcpy(copy, data.data(), data.size());
    }
    zip_source_t* src = zip_source_buffer(z, copy, data.size(), 1);
    const zip_int64_t index = zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_UTF_8);
    ASSERT_GE(index, 0) << name;
    const zip_uint32_t mode = link ? (S_IFLNK | 0777) : (S_IFREG | 0644);
    zip_file_set_external_attributes(z, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX, mode << 16);
  }
  ASSERT_EQ(zip_close(z), 0);
}

class JudgeEnvironment {
 public:
  static void Start() {
    static bool started = false;
    if (started) return;
    started = true;
    static const char* argv[] = {"judging_engine_test"};
    SystemInfoInit(1, argv);
    FileUtilsInit();
    EnvConfig = std::make_unique<TEnvConfig>();
    CheckerSet = std::make_unique<TCheckerSet>();
    LoadCheckers(*CheckerSet, VELKOR_JUDGERS_DIR);
    LoadCheckers(*CheckerSet, VELKOR_TEST_PLUGINS);
    // Failed copies and deletions are retried without waiting.
    SetRetrySleep([](std::uint32_t) {});
  }
  static inline std::unique_ptr<TCheckerSet> CheckerSet;
};

// ---- The whole contest, judged once ------------------------------------------------

constexpr const char* kSumJava = R"(import java.util.Scanner;
public class SUM {
  static class Adder { long add(long a, long b) { return a + b; } }
  public static void main(String[] args) {
    Scanner in = new Scanner(System.in);
    long a = in.nextLong(), b = in.nextLong();
    System.out.println(new Adder().add(a, b));
  }
}
)";
constexpr const char* kFilexC = R"(#include <stdio.h>
int main(void) {
  long long a, b;
  FILE* f = fopen("FILEX.INP", "r");
  if (!f || fscanf(f, "%lld %lld", &a, &b) != 2) return 2;
  fclose(f);
  f = fopen("FILEX.OUT", "w");
  fprintf(f, "%lld\n", a + b);
  fclose(f);
  return 0;
}
)";
constexpr const char* kFilexWrongPy = "open('FILEX.OUT', 'w').write('3\\n')\n";
constexpr const char* kFilexPy =
    "a, b = map(int, open('FILEX.INP').read().split())\nopen('FILEX.OUT', 'w').write(str(a + b) + '\\n')\n";
// Right, after 3 s: in time for a 6 s limit, not for 2.5 s. Limits are on
// wall time, so waiting is as slow as working and leaves the processor to
// the tests beside it; the other programs of the exam have 2.5 s to cover
// an interpreter's start on a loaded machine.
constexpr const char* kFilexSlowCpp = R"(#include <chrono>
#include <fstream>
#include <thread>
int main() {
  std::this_thread::sleep_for(std::chrono::milliseconds(3000));
  std::ifstream in("FILEX.INP");
  long long a, b;
  in >> a >> b;
  std::ofstream("FILEX.OUT") << a + b << "\n";
}
)";
constexpr const char* kFilexCrashCpp = "#include <cstdlib>\nint main() { std::abort(); }\n";
// Needs 128 MiB: exits with 3 when it cannot have them.
constexpr const char* kFilexHungryCpp = R"(#include <cstdlib>
#include <cstring>
#include <fstream>
int main() {
  const std::size_t n = std::size_t(128) << 20;
  char* p = static_cast<char*>(std::malloc(n));
  if (!p) return 3;
  std::memset(p, 1, n);
  std::ifstream in("FILEX.INP");
  long long a, b;
  in >> a >> b;
  std::ofstream("FILEX.OUT") << a + b + p[n - 1] - 1 << "\n";
}
)";

class WholeContest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    JudgeEnvironment::Start();
    tree = new TContestTree();
    house = new TempFolder();
    TContestTree& t = *tree;

    t.AddExam("SUM");
    t.AddTest("SUM", "1", {{"SUM.INP", "1 2\n"}, {"SUM.OUT", "3\n"}});
    t.AddTest("SUM", "2", {{"SUM.INP", "10 20\n"}, {"SUM.OUT", "30\n"}});
    t.AddTest("SUM", "3", {{"SUM.INP", "-5 5\n"}, {"SUM.OUT", "0\n"}});
    t.AddExam("FILEX");
    t.AddTest("FILEX", "1", {{"FILEX.INP", "1 2\n"}, {"FILEX.OUT", "3\n"}});
    // The input's letter case differs from the exam's settings.
    t.AddTest("FILEX", "2", {{"filex.inp", "5 7\n"}, {"FILEX.OUT", "12\n"}});

    t.AddContestant("A", {{"SUM.cpp", kSumCpp}, {"filex.C", kFilexC}});
    t.AddContestant("B", {{"SUM.pas", kSumPas}, {"FILEX.py", kFilexWrongPy}});
    t.AddContestant("C", {{"SUM.java", kSumJava}, {"FILEX.cpp", kFilexSlowCpp}});
    t.AddContestant("D", {{"SUM.cpp", "int main( { return 0; }\n"}, {"FILEX.cpp", kFilexCrashCpp}});
    t.AddContestant("E", {{"SUM.py", kSumPy}, {"FILEX.cpp", kFilexHungryCpp}});
    t.AddContestant("F", {{"notes.txt", "nothing here\n"}});
    const std::string g = t.AddContestant("G", {{"junk.ZIP", "not an archive at all"}});
    WriteZip(g + "/bai.zip", {{"SUM.py", kSumPy}, {"FILEX.py", kFilexPy}});

    contest = new TContestInfo();
    contest->LoadExams(t.TasksDir());
    contest->LoadContestants(t.ContestantsDir());
    TExamInfo* sum = contest->ExamSet().Obj("SUM");
    sum->UseStdIn = sum->UseStdOut = true;
    sum->InputFile = "SUM.INP";
    sum->OutputFile = "SUM.OUT";
    sum->EvaluatorName = "CompareTokens.dll";
    sum->TimeLimit = 20;  // room for the Java runtime's start on a loaded machine
    sum->Obj("1")->Mark = 2;
    sum->Obj("3")->Mark = 3;
    TExamInfo* filex = contest->ExamSet().Obj("FILEX");
    filex->InputFile = "FILEX.INP";
    filex->OutputFile = "FILEX.OUT";
    filex->EvaluatorName = "CompareTokens.dll";
    filex->Mark = 5;
    filex->TimeLimit = 6;
    filex->MemoryLimit = 64;
    filex->Obj("1")->MemoryLimit = 256;
    filex->Obj("2")->TimeLimit = 2.5;

    EnvConfig->ContestHouse = house->Path();
    TCompilerConfig compilers;
    TJudgeEngine engine(*contest, compilers, *JudgeEnvironment::CheckerSet);
    runLog = new TEventLog();
    runLog->Bind(engine);
    TQueue<TJudgePair> queue;
    for (const char* c : {"A", "B", "C", "D", "E", "F", "G"})
      for (const char* e : {"FILEX", "SUM"}) {
        TJudgePair p;
        MakeJudgePair(c, e, p);
        queue.Push(p);
      }
    result = engine.Run(queue);
    errorCode = engine.ErrorCode;
    errorMsg = engine.ErrorMsg;
    workDirAfterRun = Exists(house->Path() + "/VelkorWorkSpace/WaitRoom") ||
                      Exists(house->Path() + "/VelkorWorkSpace/ContestRoom");
    leftProcesses = ProcessesUnder(house->Path());
  }

  static void TearDownTestSuite() {
    delete runLog;
    delete contest;
    delete house;
    delete tree;
  }

  static const TResultE* Result(const std::string& c, const std::string& e) {
    const TResultC* rc = contest->ResultSet().Obj(c);
    return rc ? rc->Obj(e) : nullptr;
  }
  static std::string ContestRoom() { return house->Path() + "/VelkorWorkSpace/ContestRoom"; }

  static void CheckRunAndCleanUp();
  static void CheckStatesAndScores();
  static void CheckVerdictTexts();
  static void CheckEvents();

  static inline TContestTree* tree;
  static inline TempFolder* house;
  static inline TContestInfo* contest;
  static inline TEventLog* runLog;
  static inline bool result = false;
  static inline std::int64_t errorCode = -1;
  static inline std::string errorMsg;
  static inline bool workDirAfterRun = true;
  static inline std::vector<std::string> leftProcesses;
};

void WholeContest::CheckRunAndCleanUp() {
  EXPECT_TRUE(result);
  EXPECT_EQ(errorCode, 0);
  EXPECT_EQ(errorMsg, "");
  EXPECT_FALSE(workDirAfterRun);
  EXPECT_FALSE(Exists(house->Path() + "/VelkorWorkSpace"));
  EXPECT_TRUE(leftProcesses.empty()) << leftProcesses.front();
}

void WholeContest::CheckStatesAndScores() {
  struct Case {
    const char* c;
    const char* e;
    TJudgeState state;
    double score;
    const char* why;
  };
  const Case cases[] = {
      {"A", "SUM", jsJudged, 6, "C++, per-test marks 2 + 1 (the exam's) + 3"},
      {"A", "FILEX", jsJudged, 10, "C from a source whose extension has another letter case"},
      {"B", "SUM", jsJudged, 6, "Pascal"},
      {"B", "FILEX", jsJudged, 5, "Python, right on one test only"},
      {"C", "SUM", jsJudged, 6, "Java with an inner class"},
      {"C", "FILEX", jsJudged, 5, "in time for the exam's limit, too slow for the test's own"},
      {"D", "SUM", jsCompileError, 0, "does not compile"},
      {"D", "FILEX", jsJudged, 0, "crashes on every test"},
      {"E", "SUM", jsJudged, 6, "Python through standard input and output"},
      {"E", "FILEX", jsJudged, 5, "enough memory under the test's limit, not under the exam's"},
      {"F", "SUM", jsNoSource, 0, "no source"},
      {"F", "FILEX", jsNoSource, 0, "no source"},
      {"G", "SUM", jsJudged, 6, "unpacked from a ZIP file beside a damaged one"},
      {"G", "FILEX", jsJudged, 10, "unpacked from a ZIP file"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.c) + "‣" + k.e + ": " + k.why);
    const TResultE* re = Result(k.c, k.e);
    ASSERT_NE(re, nullptr);
    std::string texts = re->EvaluationText;
    for (const TResultT* rt : *re) texts += "\n" + rt->Name() + ": " + rt->EvaluationText;
    EXPECT_EQ(re->state, k.state) << texts;
    EXPECT_DOUBLE_EQ(re->Evaluation, k.score) << texts;
  }
  const std::map<std::string, double> totals = {{"A", 16}, {"B", 11}, {"C", 11}, {"D", 0},
                                                {"E", 11}, {"F", 0},  {"G", 16}};
  for (const auto& [c, total] : totals) EXPECT_DOUBLE_EQ(contest->ResultSet().Obj(c)->Evaluation, total) << c;
}

void WholeContest::CheckVerdictTexts() {
  const std::regex timed("^Thời gian ≈ \\d+\\.\\d{9} giây\r\n.*");
  for (const char* c : {"A", "B", "C", "E", "G"}) {
    const TResultE* re = Result(c, "SUM");
    ASSERT_EQ(re->Count(), 3) << c;
    for (const TResultT* rt : *re) {
      EXPECT_TRUE(std::regex_match(rt->EvaluationText, timed)) << c << "‣SUM‣" << rt->Name() << ": " << rt->EvaluationText;
      EXPECT_TRUE(rt->EvaluationText.ends_with("\r\nĐúng")) << rt->EvaluationText;
    }
  }
  EXPECT_EQ(Result("A", "SUM")->EvaluationText, "SUM.cpp\r\nDịch thành công\r\n");
  EXPECT_EQ(Result("E", "SUM")->EvaluationText, "SUM.py\r\n");
  EXPECT_EQ(Result("F", "SUM")->EvaluationText, "Không có bài\r\n");
  EXPECT_TRUE(Result("D", "SUM")->EvaluationText.starts_with("SUM.cpp\r\nCommand: ")) << Result("D", "SUM")->EvaluationText;
  EXPECT_EQ(Result("D", "SUM")->Count(), 0);

  EXPECT_EQ(Result("C", "FILEX")->Obj("2")->EvaluationText, "Chạy quá thời gian");
  EXPECT_EQ(Result("C", "FILEX")->Obj("2")->Evaluation, 0);
  EXPECT_TRUE(std::regex_match(Result("C", "FILEX")->Obj("1")->EvaluationText, timed));
  for (const char* t : {"1", "2"})
    EXPECT_EQ(Result("D", "FILEX")->Obj(t)->EvaluationText,
              "Chạy sinh lỗi\r\nCommand: \"" + ContestRoom() + "/FILEX.exe\" terminated with exit code: 134");
  EXPECT_EQ(Result("E", "FILEX")->Obj("2")->EvaluationText,
            "Chạy sinh lỗi\r\nCommand: \"" + ContestRoom() + "/FILEX.exe\" terminated with exit code: 3");
  EXPECT_TRUE(Result("B", "FILEX")->Obj("2")->EvaluationText.find("Sai ở từ thứ 1") != std::string::npos)
      << Result("B", "FILEX")->Obj("2")->EvaluationText;
}

void WholeContest::CheckEvents() {
  const TEventLog& log = *runLog;
  const std::vector<std::string>& ev = log.Events;
  ASSERT_GE(ev.size(), 4u);
  EXPECT_EQ(ev.front(), "init");
  EXPECT_EQ(ev[1], "begin(,,)");
  EXPECT_EQ(ev[ev.size() - 2], "end(,,)");
  EXPECT_EQ(ev.back(), "finish");
  // Every pair begins and ends; every test of a compiled pair begins and
  // ends; a pair without a program runs no test.
  for (const char* c : {"A", "B", "C", "D", "E", "F", "G"})
    for (const char* e : {"FILEX", "SUM"}) {
      const std::string pair = std::string(c) + "," + e;
      EXPECT_EQ(log.Count("begin(" + pair + ",)"), 1u) << pair;
      EXPECT_EQ(log.Count("end(" + pair + ",)"), 1u) << pair;
    }
  EXPECT_EQ(log.Count("begin(A,SUM,2)"), 1u);
  EXPECT_EQ(log.Count("end(A,SUM,2)"), 1u);
  EXPECT_EQ(log.Count("begin(D,SUM,1)"), 0u);
  EXPECT_EQ(log.Count("begin(F,FILEX,1)"), 0u);
  // 12 programs ran 2 or 3 tests: 5 × 3 on SUM, 6 × 2 on FILEX.
  EXPECT_EQ(log.Count("status Chép input..."), 27u);
  EXPECT_EQ(log.Count("status Nạp bài làm"), 27u);
  EXPECT_EQ(log.Count("status Kết thúc bài làm"), 27u);
  // Only programs that ended normally reach the checker: all but the two
  // crashes, the time-out and the failed allocation.
  EXPECT_EQ(log.Count("status Chấm..."), 23u);

  // The progress only grows, and the run ends at 1.
  ASSERT_FALSE(log.Progress.empty());
  EXPECT_EQ(log.Progress.front(), 0);
  EXPECT_TRUE(std::is_sorted(log.Progress.begin(), log.Progress.end()));
  EXPECT_DOUBLE_EQ(log.Progress.back(), 1.0);
}

// One test, so that the contest is compiled and judged once however the
// tests are started.
TEST_F(WholeContest, JudgesEveryLanguageAndOutcome) {
  {
    SCOPED_TRACE("the run and its clean-up");
    CheckRunAndCleanUp();
  }
  {
    SCOPED_TRACE("states and scores");
    CheckStatesAndScores();
  }
  {
    SCOPED_TRACE("verdict texts");
    CheckVerdictTexts();
  }
  {
    SCOPED_TRACE("events");
    CheckEvents();
  }
}

// ---- Small contests of ready programs ------------------------------------------------

// A contest of shell-script programs submitted as "E.exe": the compiler
// table's ".exe" row runs them as they are.
class SmallContest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { JudgeEnvironment::Start(); }

  void SetUp() override {
    EnvConfig->ContestHouse = house.Path();
    EnvConfig->ActiveSecurity = false;
    // Adds two numbers from E.INP into E.OUT.
    tree.AddExam("E", {"1", "2"});
    AddContestant("C1", kAddFiles);
  }

  void AddContestant(const std::string& Name, const std::string& Script, const std::string& Exam = "E") {
    const std::string dir = tree.AddContestant(Name);
    WriteProgram(dir + "/" + Exam + ".exe", Script);
  }

  // Loads the folders; exam "E" reads and writes files, CompareTokens.
  void Load() {
    contest.LoadExams(tree.TasksDir());
    contest.LoadContestants(tree.ContestantsDir());
    for (TExamInfo* e : contest.ExamSet()) {
      e->InputFile = e->Name() + ".INP";
      e->OutputFile = e->Name() + ".OUT";
      e->EvaluatorName = "CompareTokens.dll";
    }
  }
  TExamInfo& Exam(const std::string& Name = "E") { return *contest.ExamSet().Obj(Name); }
  const TResultE* Result(const std::string& c, const std::string& e = "E") {
    const TResultC* rc = contest.ResultSet().Obj(c);
    return rc ? rc->Obj(e) : nullptr;
  }
  std::string WorkDir() const { return house.Path() + "/VelkorWorkSpace"; }

  static constexpr const char* kAddFiles = "#!/bin/sh\nread a b < E.INP\necho $((a + b)) > E.OUT\n";
  static constexpr const char* kAddStd = "#!/bin/sh\nread a b\necho $((a + b))\n";

  TContestTree tree;
  TempFolder house;
  TContestInfo contest;
  TCompilerConfig compilers;
  TEventLog log;
};

TEST_F(SmallContest, EmptyQueueRaisesTheRunsEventsOnly) {
  Load();
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  log.Bind(engine);
  TQueue<TJudgePair> none;
  EXPECT_TRUE(engine.Run(none));
  EXPECT_EQ(log.Events, (std::vector<std::string>{"init", "begin(,,)", "progress", "end(,,)", "finish"}));
  EXPECT_EQ(log.Progress, std::vector<double>{0});
}

TEST_F(SmallContest, OnePairOneTestInTheDocumentedOrder) {
  tree.Remove("Tasks/E/2");
  Load();
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  log.Bind(engine);
  EXPECT_TRUE(engine.Run(Pairs({{"C1", "E"}})));
  const std::vector<std::string> expected = {
      "init",
      "begin(,,)", "progress",
      "begin(C1,E,)", "progress", "progress", "status Chép bài...", "status Dịch bài...",
      "begin(C1,E,1)", "status Chép input...", "status Nạp bài làm", "status Chạy bài làm",
      "status Kết thúc bài làm", "status Chấm...", "end(C1,E,1)", "progress",
      "end(C1,E,)",
      "end(,,)",
      "finish"};
  EXPECT_EQ(log.Events, expected);
  EXPECT_EQ(log.Progress, (std::vector<double>{0, 0, 0.5, 1}));
  EXPECT_EQ(Result("C1")->state, jsJudged);
  EXPECT_EQ(Result("C1")->Evaluation, 1);
}

TEST_F(SmallContest, StandardInputAndOutputNameTheFirstListedFile) {
  // "|E.INP": the empty first item is skipped. The second input file is
  // copied as well; the program reads it by name.
  tree.AddTest("E", "1", {{"extra.txt", "40\n"}, {"E.OUT", "43\n"}});
  tree.AddTest("E", "2", {{"EXTRA.TXT", "0\n"}, {"E.OUT", "3\n"}});
  AddContestant("C1", "#!/bin/sh\nread a b\nread c < extra.txt\necho $((a + b + c))\n");
  AddContestant("C2", "#!/bin/sh\nif read a; then echo has-input; else echo 5; fi\n");
  Load();
  Exam().InputFile = " |E.INP | extra.txt";
  Exam().OutputFile = "E.OUT";
  Exam().UseStdIn = Exam().UseStdOut = true;
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  EXPECT_TRUE(engine.Run(Pairs({{"C1", "E"}})));
  EXPECT_EQ(Result("C1")->Evaluation, 2) << Result("C1")->Obj("2")->EvaluationText;
  EXPECT_TRUE(Result("C1")->Obj("1")->EvaluationText.ends_with("Đúng"));

  // An empty input list: standard input is the null device, at its end at once.
  Exam().InputFile = "";
  tree.AddTest("E", "1", {{"E.OUT", "5\n"}});
  EXPECT_TRUE(engine.Run(Pairs({{"C2", "E"}})));
  EXPECT_TRUE(Result("C2")->Obj("1")->EvaluationText.ends_with("Đúng")) << Result("C2")->Obj("1")->EvaluationText;
}

TEST_F(SmallContest, MarksFractionsAndCheckers) {
  tree.Remove("Tasks/E/2");
  Load();
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  struct Case {
    const char* checker;
    double examMark, testMark;
    double score;
    std::string text;  // after the time line, or the whole text
  };
  const Case cases[] = {
      {"Half.dll", 10, -1, 5, "nửa số điểm"},          // the exam's mark, half of it
      {"Half.dll", 10, 4, 2, "nửa số điểm"},           // the test's own mark
      {"NullText.dll", 2, -1, 1.5, ""},                // no text from the checker
      {"NotFinite.dll", 1, -1, 0, "không xác định\r\nTrình chấm trả về kết quả không phải là số hữu hạn: tính 0 điểm"},
      {"Nope.dll", 1, -1, 0, "Không tìm thấy trình chấm: Nope.dll"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.checker);
    Exam().EvaluatorName = k.checker;
    Exam().Mark = k.examMark;
    Exam().Obj("1")->Mark = k.testMark;
    ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}})));
    const TResultT* rt = Result("C1")->Obj("1");
    EXPECT_DOUBLE_EQ(rt->Evaluation, k.score);
    EXPECT_DOUBLE_EQ(contest.ResultSet().Obj("C1")->Evaluation, k.score);
    if (std::string(k.checker) == "Nope.dll")
      EXPECT_EQ(rt->EvaluationText, k.text);
    else
      EXPECT_TRUE(std::regex_match(rt->EvaluationText, std::regex("^Thời gian ≈ \\d+\\.\\d{9} giây\r\n" + k.text + "$")))
          << rt->EvaluationText;
  }
}

TEST_F(SmallContest, ExitCodesAndTimeLimits) {
  AddContestant("Exit7", "#!/bin/sh\nexit 7\n");
  AddContestant("Killed", "#!/bin/sh\nkill -SEGV $$\n");
  AddContestant("Sleepy", "#!/bin/sh\nsleep 5\n");
  Load();
  Exam().TimeLimit = 0.3;
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  ASSERT_TRUE(engine.Run(Pairs({{"Exit7", "E"}, {"Killed", "E"}, {"Sleepy", "E"}})));
  const std::string cr = WorkDir() + "/ContestRoom/E.exe";
  EXPECT_EQ(Result("Exit7")->Obj("1")->EvaluationText,
            "Chạy sinh lỗi\r\nCommand: \"" + cr + "\" terminated with exit code: 7");
  EXPECT_EQ(Result("Killed")->Obj("2")->EvaluationText,
            "Chạy sinh lỗi\r\nCommand: \"" + cr + "\" terminated with exit code: 139");
  EXPECT_EQ(Result("Sleepy")->Obj("1")->EvaluationText, "Chạy quá thời gian");
  for (const char* c : {"Exit7", "Killed", "Sleepy"}) {
    EXPECT_EQ(Result(c)->state, jsJudged) << c;
    EXPECT_EQ(Result(c)->Evaluation, 0) << c;
  }
  EXPECT_TRUE(ProcessesUnder(house.Path()).empty());
}

// The Java and Python command lines, seen by stand-ins for the runtimes:
// each writes its arguments and its data-size limit (KiB) as its output.
TEST_F(SmallContest, RuntimeCommandLinesAndMemoryLimits) {
  TempFolder bin;
  const std::string report = "#!/bin/sh\necho \"$@\" $(ulimit -d) > E.OUT\n";
  WriteProgram(bin / "java", report);
  WriteProgram(bin / "python3", report);
  const std::string savedSystemDirD = SystemDirD;
  SystemDirD = bin.Path() + "/";
  tree.Remove("Tasks/E/2");
  tree.AddContestant("J", {{"E.class", "not really a class"}, {"E$Inner.class", "x"}, {"e$Other.CLASS", "y"}});
  tree.AddContestant("P", {{"E.py", "print(1)"}});
  Load();
  Exam().EvaluatorName = "Echo.dll";
  std::vector<std::string> roomAtCheck;
  std::string output;
  log.OnStatus = [&](const std::string& s) {
    if (s != "Chấm...") return;
    roomAtCheck = ListTree(WorkDir() + "/ContestRoom");
    output = ReadText(WorkDir() + "/ContestRoom/E.OUT");
  };
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  SystemDirD = savedSystemDirD;
  log.Bind(engine);

  struct Case {
    const char* contestant;
    double memoryMiB;
    std::string line;
  };
  const Case cases[] = {
      {"J", 256, "-Xmx268435456 -XX:-UsePerfData E 4194303"},  // the heap limit in bytes; the process limit lifted
      {"J", 2048, "-Xmx1024M -XX:-UsePerfData E 4194303"},
      {"J", 1024, "-Xmx1024M -XX:-UsePerfData E 4194303"},
      {"J", 100.5, "-Xmx105381888 -XX:-UsePerfData E 4194303"},
      {"J", 0, "-Xmx1024M -XX:-UsePerfData E 4194303"},  // no limit: a heap of 0 would stop the runtime
      {"P", 64, "E.py 65536"},  // the interpreter runs under the limit
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.contestant) + " " + std::to_string(k.memoryMiB));
    Exam().MemoryLimit = k.memoryMiB;
    output.clear();
    ASSERT_TRUE(engine.Run(Pairs({{k.contestant, "E"}})));
    EXPECT_EQ(output, k.line + "\n");
  }
  // A Java program moves with its inner classes, whatever their letter case,
  // and back again.
  Exam().MemoryLimit = 256;
  ASSERT_TRUE(engine.Run(Pairs({{"J", "E"}})));
  EXPECT_EQ(roomAtCheck, (std::vector<std::string>{"E$Inner.class", "E.INP", "E.OUT", "E.class", "e$Other.CLASS"}));
}

// Every run has its own process numbers, so Java programs judged side by
// side (two judges on one machine) run as the same number. A runtime that
// finds its statistics file in the shared "/tmp" locked by another one must
// still leave the program's output alone.
TEST_F(SmallContest, AJavaRuntimeBesideAnotherAnswersUndisturbed) {
  const std::string dir = tree.AddContestant("J");
  WriteText(dir + "/E.java",
            "public class E { public static void main(String[] a) {\n"
            "  java.util.Scanner s = new java.util.Scanner(System.in);\n"
            "  System.out.println(s.nextLong() + s.nextLong());\n"
            "} }\n");
  ASSERT_EQ(std::system(("javac -d '" + dir + "' '" + dir + "/E.java'").c_str()), 0);
  fs::remove(dir + "/E.java");
  Load();
  Exam().UseStdIn = Exam().UseStdOut = true;
  // A runtime's start-up takes what the machine gives it: the test is about
  // its answer, not its speed.
  Exam().TimeLimit = 60;

  // The locks other runtimes with the program's process number would hold.
  struct TStatsLocks {
    std::string Dir;
    bool MadeDir = false;
    std::vector<std::pair<std::string, int>> Files;  // file, descriptor holding its lock
    ~TStatsLocks() {
      for (const auto& [file, fd] : Files) {
        ::close(fd);
        ::unlink(file.c_str());
      }
      if (MadeDir) ::rmdir(Dir.c_str());
    }
  } locks;
  const passwd* user = ::getpwuid(::geteuid());
  ASSERT_NE(user, nullptr);
  locks.Dir = std::string("/tmp/hsperfdata_") + user->pw_name;
  locks.MadeDir = ::mkdir(locks.Dir.c_str(), 0755) == 0;
  for (int pid = 1; pid <= 4; ++pid) {
    const std::string file = locks.Dir + "/" + std::to_string(pid);
    if (Exists(file)) continue;  // a live runtime's, left alone
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0) << file;
    locks.Files.emplace_back(file, fd);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << file;
  }
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  const bool ran = engine.Run(Pairs({{"J", "E"}}));

  ASSERT_TRUE(ran) << engine.ErrorMsg;
  for (const TResultT* rt : *Result("J")) EXPECT_TRUE(rt->EvaluationText.ends_with("\r\nĐúng")) << rt->EvaluationText;
  EXPECT_EQ(Result("J")->Evaluation, 2);
}

TEST_F(SmallContest, StopInATestsEndEventKeepsEarlierResults) {
  AddContestant("C2", kAddFiles);
  AddContestant("C3", kAddFiles);
  Load();
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  log.Bind(engine);
  ASSERT_TRUE(engine.Run(Pairs({{"C2", "E"}})));
  ASSERT_EQ(Result("C2")->Evaluation, 2);
  const std::string earlierText = Result("C2")->Obj("1")->EvaluationText;

  // C1 has no result yet, C2 has a judged one; the stop comes in C2's first test.
  log.Events.clear();
  log.OnNotify = [](TJudgeAction a, const std::string& c, const std::string&, const std::string& t, bool& cancel) {
    if (a == jaEndJudge && c == "C2" && t == "1") cancel = true;
  };
  EXPECT_FALSE(engine.Run(Pairs({{"C1", "E"}, {"C2", "E"}, {"C3", "E"}})));
  EXPECT_EQ(engine.ErrorCode, 0);
  EXPECT_EQ(engine.ErrorMsg, "");
  EXPECT_EQ(Result("C1")->Evaluation, 2);
  ASSERT_NE(Result("C2"), nullptr);
  EXPECT_EQ(Result("C2")->state, jsJudged);
  EXPECT_EQ(Result("C2")->Obj("1")->EvaluationText, earlierText);
  EXPECT_EQ(contest.ResultSet().Obj("C2")->Evaluation, 2);
  EXPECT_EQ(Result("C3"), nullptr);
  EXPECT_EQ(log.Count("begin(C2,E,2)"), 0u);
  EXPECT_EQ(log.Count("end(C2,E,)"), 0u);  // a stop raises no end event for the pair
  EXPECT_EQ(log.Count("begin(C3,E,)"), 0u);
  EXPECT_EQ(log.Events[log.Events.size() - 2], "end(,,)");
  EXPECT_FALSE(Exists(WorkDir()));

  // A first-time pair stopped the same way is removed.
  log.OnNotify = [](TJudgeAction a, const std::string& c, const std::string&, const std::string&, bool& cancel) {
    if (a == jaBeginJudge && c == "C3") cancel = true;
  };
  EXPECT_FALSE(engine.Run(Pairs({{"C3", "E"}})));
  EXPECT_EQ(Result("C3"), nullptr);
}

TEST_F(SmallContest, StopInTheRunsBeginEventDoesNothing) {
  Load();
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  log.Bind(engine);
  log.OnNotify = [](TJudgeAction, const std::string&, const std::string&, const std::string&, bool& cancel) {
    cancel = true;
  };
  EXPECT_FALSE(engine.Run(Pairs({{"C1", "E"}})));
  EXPECT_EQ(engine.ErrorCode, 0);
  EXPECT_EQ(log.Events, (std::vector<std::string>{"init", "begin(,,)", "finish"}));
  EXPECT_EQ(Result("C1"), nullptr);
}

TEST_F(SmallContest, ErrorInsideASubmissionStopsTheRunAndTellsWhy) {
  AddContestant("C2", kAddFiles);
  Load();
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  log.Bind(engine);
  ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}})));
  ASSERT_EQ(Result("C1")->Evaluation, 2);

  // Test 2 loses its input file while the submission is judged (a test
  // that lacked it from the start would fail only its exam: see below).
  log.OnStatus = [&](const std::string& s) {
    if (s == "Chép input...") fs::remove(tree.TasksDir() + "/E/2/E.INP");
  };
  log.Events.clear();
  EXPECT_FALSE(engine.Run(Pairs({{"C1", "E"}, {"C2", "E"}})));
  EXPECT_EQ(engine.ErrorCode, 1);
  EXPECT_NE(engine.ErrorMsg.find("C1‣E"), std::string::npos) << engine.ErrorMsg;
  EXPECT_NE(engine.ErrorMsg.find(tree.TasksDir() + "/E/2/E.INP"), std::string::npos) << engine.ErrorMsg;
  // The earlier judged result is kept as it was; nothing after the error ran.
  EXPECT_EQ(Result("C1")->state, jsJudged);
  EXPECT_EQ(Result("C1")->Evaluation, 2);
  EXPECT_EQ(contest.ResultSet().Obj("C1")->Evaluation, 2);
  EXPECT_EQ(Result("C2"), nullptr);
  EXPECT_EQ(log.Count("end(C1,E,)"), 1u);  // the jury sees the pair end
  EXPECT_EQ(log.Count("end(C1,E,2)"), 0u);
  EXPECT_EQ(log.Count("begin(C2,E,)"), 0u);
  EXPECT_EQ(log.Events[log.Events.size() - 2], "end(,,)");
  EXPECT_FALSE(Exists(WorkDir()));

  // With the file back, the next run works.
  log.OnStatus = nullptr;
  WriteText(tree.TasksDir() + "/E/2/E.INP", "1 2\n");
  EXPECT_TRUE(engine.Run(Pairs({{"C1", "E"}, {"C2", "E"}})));
  EXPECT_EQ(engine.ErrorCode, 0);
  EXPECT_EQ(Result("C2")->Evaluation, 2);
}

TEST_F(SmallContest, BadExamSettingsAndPairs) {
  Load();
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  struct Case {
    std::string input, output;
    std::string pairExam;
    std::string message;
  };
  const Case cases[] = {
      {"E.INP", "../E.OUT", "E", "../E.OUT"},  // set through the model, not a file
      {"E.INP", "E.OUT", "Missing", "Không có đề bài \"Missing\""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.message);
    Exam().InputFile = k.input;
    Exam().OutputFile = k.output;
    Exam().UseStdOut = true;
    EXPECT_FALSE(engine.Run(Pairs({{"C1", k.pairExam}})));
    EXPECT_EQ(engine.ErrorCode, 1);
    EXPECT_NE(engine.ErrorMsg.find(k.message), std::string::npos) << engine.ErrorMsg;
    EXPECT_EQ(Result("C1", k.pairExam), nullptr);
  }
  EXPECT_FALSE(Exists(house.Path() + "/escape"));
  EXPECT_FALSE(Exists(WorkDir()));

}

// Test files the jury named otherwise than the exam's settings say fail
// that exam's pairs, with the reason, before anything is compiled; every
// other exam is still judged, and the run's end names what was left.
TEST_F(SmallContest, ATestWithoutItsInputFailsOnlyItsExam) {
  tree.AddExam("F", {"1", "2"});
  AddContestant("C2", kAddFiles);
  AddContestant("C2", "#!/bin/sh\nread a b < F.INP\necho $((a + b)) > F.OUT\n", "F");
  AddContestant("C1", "#!/bin/sh\nread a b < F.INP\necho $((a + b)) > F.OUT\n", "F");
  Load();
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}})));
  ASSERT_EQ(Result("C1")->Evaluation, 2);

  struct Case {
    std::string inputList;  // of exam E
    std::string why;
  };
  const Case cases[] = {
      {"E.INP", "Test \"2\" không có file input \"E.INP\" (bài E)"},          // the jury's own names
      {"E.INP|extra.txt", "Test \"1\" không có file input \"extra.txt\" (bài E)"},  // a second input
      {"../../../escape", "Tên file input \"../../../escape\" trong cấu hình đề bài không hợp lệ (bài E)"},
  };
  fs::rename(tree.TasksDir() + "/E/2/E.INP", tree.TasksDir() + "/E/2/input.txt");
  fs::rename(tree.TasksDir() + "/E/2/E.OUT", tree.TasksDir() + "/E/2/output.txt");
  for (const Case& k : cases) {
    SCOPED_TRACE(k.inputList);
    Exam().InputFile = k.inputList;
    log.Events.clear();
    log.Bind(engine);
    EXPECT_FALSE(engine.Run(Pairs({{"C1", "E"}, {"C1", "F"}, {"C2", "E"}, {"C2", "F"}}))) << "not all judged";
    EXPECT_EQ(engine.ErrorCode, 0) << engine.ErrorMsg;
    for (const char* c : {"C1", "C2"}) {
      ASSERT_NE(Result(c), nullptr) << c;
      EXPECT_EQ(Result(c)->state, jsFailure) << c;
      EXPECT_EQ(Result(c)->Evaluation, 0) << c;
      EXPECT_EQ(Result(c)->Count(), 0) << c << ": no test result of an earlier program stays";
      EXPECT_EQ(Result(c)->EvaluationText + " (bài E)", k.why) << c;
      ASSERT_NE(Result(c, "F"), nullptr) << c;
      EXPECT_EQ(Result(c, "F")->Evaluation, 2) << c;
      EXPECT_EQ(contest.ResultSet().Obj(c)->Evaluation, 2) << c;
    }
    // One line per pair, each naming its contestant.
    const auto line = [&k](const std::string& c) {
      return k.why.substr(0, k.why.size() - std::string("(bài E)").size()) + "(thí sinh \"" + c + "\", bài E)";
    };
    EXPECT_EQ(engine.SkippedPairs, (std::vector<std::string>{line("C1"), line("C2")}));
    EXPECT_EQ(engine.SkippedPairsMessage(), "Không chấm được 2 bài:\r\n" + line("C1") + "\r\n" + line("C2"));
    const auto last = std::find(log.Events.begin(), log.Events.end(), "end(,,)");
    ASSERT_NE(last, log.Events.begin());
    EXPECT_EQ(*(last - 1), "status Không chấm được 2 bài: \"C1\"‣E, \"C2\"‣E");
    EXPECT_EQ(log.Count("status Dịch bài..."), 2u) << "nothing of exam E was compiled";
    EXPECT_EQ(log.Count("end(C1,E,)"), 1u) << "the grid hears that the pair ended";
  }
  EXPECT_FALSE(Exists(house.Path() + "/escape"));
}

// Which of two files of one name is judged never depends on the order they
// came in or are listed in: a file lying in the contestant's folder wins
// over a ZIP entry of that name, whatever the letter case of either.
TEST_F(SmallContest, AContestantsFileWinsOverAZipEntryOfItsName) {
  tree.Remove("Tasks/E/2");
  struct Case {
    std::string zipName, fileName, entryName;
    bool zipFirst;
  };
  const Case cases[] = {
      {"A.zip", "E.exe", "E.exe", true}, {"A.zip", "E.exe", "E.exe", false},  // the ZIP listed first
      {"Z.zip", "E.exe", "E.exe", true}, {"Z.zip", "E.exe", "E.exe", false},  // and last
      // The entry has the name the compile looks for first.
      {"[C1][F].zip", "e.exe", "E.exe", true}, {"[C1][F].zip", "e.exe", "E.exe", false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.zipName + " " + k.fileName + (k.zipFirst ? " zip first" : " file first"));
    fs::remove_all(tree.ContestantsDir() + "/C1");
    const std::string dir = tree.AddContestant("C1");
    const auto addZip = [&] { WriteZip(dir + "/" + k.zipName, {{k.entryName, "#!/bin/sh\necho 0 > E.OUT\n"}}); };
    if (k.zipFirst) addZip();
    WriteProgram(dir + "/" + k.fileName, kAddFiles);
    if (!k.zipFirst) addZip();
    Load();
    TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
    ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}}))) << engine.ErrorMsg;
    EXPECT_EQ(Result("C1")->Evaluation, 1);
  }
}

// A name that cannot be a folder of the contest leaves its pair unjudged,
// never the others: the run judges everybody else and says at the end,
// readably, who was left out.
TEST_F(SmallContest, ABadContestantNameSkipsOnlyItsPair) {
  AddContestant("C2", kAddFiles);
  Load();
  const std::vector<std::string> bad = {"..", "a\\b", "x\ny", std::string("c\x01") + "d", ""};
  // Where the system allows the folder, it holds a right program too.
  for (const std::string& name : {bad[1], bad[2], bad[3]}) AddContestant(name, kAddFiles);
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  log.Bind(engine);
  TQueue<TJudgePair> queue;
  for (const std::string& c : {bad[0], std::string("C1"), bad[1], bad[2], bad[3], bad[4], std::string("C2")}) {
    TJudgePair p;
    MakeJudgePair(c, "E", p);
    queue.Push(p);
  }
  EXPECT_FALSE(engine.Run(queue)) << "not every pair was judged";
  EXPECT_EQ(engine.ErrorCode, 0) << engine.ErrorMsg;
  ASSERT_NE(Result("C1"), nullptr);
  ASSERT_NE(Result("C2"), nullptr);
  EXPECT_EQ(Result("C1")->Evaluation, 2);
  EXPECT_EQ(Result("C2")->Evaluation, 2);
  for (const std::string& name : bad) EXPECT_EQ(contest.ResultSet().Obj(name), nullptr);

  ASSERT_EQ(engine.SkippedPairs.size(), bad.size());
  const std::string message = engine.SkippedPairsMessage();
  for (const char* shown : {"\"..\"", "\"a\\b\"", "\"x\\ny\"", "\"c\\x01d\"", "\"\""})
    EXPECT_NE(message.find(shown), std::string::npos) << shown << "\n" << message;
  EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), static_cast<std::ptrdiff_t>(bad.size()))
      << "one line per pair, no raw line break of a name";
  EXPECT_EQ(message.find('\x01'), std::string::npos);
  // The last word of the run, before its end event, names them all on one
  // line; the gauge still ends full.
  const auto last = std::find(log.Events.begin(), log.Events.end(), "end(,,)");
  ASSERT_NE(last, log.Events.begin());
  EXPECT_EQ(*(last - 1), "status Không chấm được 5 bài: \"..\"‣E, \"a\\b\"‣E, \"x\\ny\"‣E, "
                         "\"c\\x01d\"‣E, \"\"‣E");
  EXPECT_EQ(log.Progress.back(), 1.0);
  EXPECT_FALSE(Exists(WorkDir()));

  // A run with good names only reports nothing left out.
  EXPECT_TRUE(engine.Run(Pairs({{"C1", "E"}})));
  EXPECT_TRUE(engine.SkippedPairs.empty());
  EXPECT_EQ(engine.SkippedPairsMessage(), "");
}

// The contest house on a 2 MB file system of its own: the jury's disk, the
// one Velkor prepares each test and collects the output on, nearly full.
class SmallHouse : public SmallContest {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    SmallContest::SetUp();
    ASSERT_EQ(::mount("velkor-small-house", house.Path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=2m,mode=0755"),
              0)
        << std::strerror(errno);
    mounted = true;
    // One test whose right answer is 3 MB: more than the house can take.
    tree.Remove("Tasks/E/2");
    std::string answer;
    for (int k = 0; k < 1500000; ++k) answer += "3\n";
    WriteText(tree.TasksDir() + "/E/1/E.OUT", answer);
  }
  void TearDown() override {
    if (mounted) ::umount2(house.Path().c_str(), MNT_DETACH);
  }
  // A judged result the next run must not lose.
  void GiveEarlierResult(const std::string& C) {
    TResultC* rc = contest.ResultSet().ObjF(C);
    TResultE* re = rc->ObjF("E");
    re->state = jsJudged;
    re->Evaluation = 1;
    re->EvaluationText = "earlier";
    re->ObjF("1")->Evaluation = 1;
    re->ObjF("1")->EvaluationText = "earlier test";
    rc->UpdateScore();
  }
  void ExpectEarlierResult(const std::string& C) {
    const TResultE* re = Result(C);
    ASSERT_NE(re, nullptr);
    EXPECT_EQ(re->state, jsJudged);
    EXPECT_EQ(re->Evaluation, 1);
    EXPECT_EQ(re->EvaluationText, "earlier");
    ASSERT_NE(re->Obj("1"), nullptr);
    EXPECT_EQ(re->Obj("1")->EvaluationText, "earlier test");
  }

  static constexpr const char* kBigStd = "#!/bin/sh\nread a b\nyes $((a + b)) | head -c 3000000\n";
  static constexpr const char* kBigFile = "#!/bin/sh\nread a b < E.INP\nyes $((a + b)) | head -c 3000000 > E.OUT\n";
  bool mounted = false;
};

// A right program whose output does not fit on the jury's disk gets no
// verdict: the run stops, saying which folder is full and how much room is
// left, and the pair keeps what it had; nobody after it is judged.
TEST_F(SmallHouse, AFullDiskStopsTheRunWithoutAVerdict) {
  struct Case {
    const char* Name;
    const char* Program;
    bool StdOut;
  };
  const Case cases[] = {{"standard output", kBigStd, true}, {"output file", kBigFile, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(tree.ContestantsDir());
    AddContestant("C1", c.Program);
    AddContestant("C2", c.Program);
    Load();
    Exam().UseStdIn = Exam().UseStdOut = c.StdOut;
    GiveEarlierResult("C1");
    TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
    EXPECT_FALSE(engine.Run(Pairs({{"C1", "E"}, {"C2", "E"}})));
    EXPECT_EQ(engine.ErrorCode, 1);
    const std::string& msg = engine.ErrorMsg;
    EXPECT_NE(msg.find("C1‣E"), std::string::npos) << msg;
    EXPECT_NE(msg.find("Đĩa chứa thư mục \"" + WorkDir() + "/ContestRoom\" đã đầy (còn trống "), std::string::npos)
        << msg;
    EXPECT_NE(msg.find("E.OUT"), std::string::npos) << "the technical detail follows: " << msg;
    ExpectEarlierResult("C1");
    EXPECT_EQ(contest.ResultSet().Obj("C1")->Evaluation, 1);
    EXPECT_EQ(Result("C2"), nullptr);
    EXPECT_FALSE(Exists(WorkDir()));
  }
}

// What the jury's disk can take is judged as always on the same small
// disk, and a program that breaks its own file limit keeps its verdict.
TEST_F(SmallHouse, WhatFitsIsJudgedAndTheProgramsOwnLimitStaysItsFault) {
  std::string answer;
  for (int k = 0; k < 100000; ++k) answer += "3\n";
  WriteText(tree.TasksDir() + "/E/1/E.OUT", answer);
  AddContestant("C1", "#!/bin/sh\nread a b\nyes $((a + b)) | head -c 200000\n");
  AddContestant("C2", "#!/bin/sh\nulimit -f 100\nyes 3 | head -c 3000000\n");
  Load();
  Exam().UseStdIn = Exam().UseStdOut = true;
  GiveEarlierResult("C2");
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  EXPECT_TRUE(engine.Run(Pairs({{"C1", "E"}, {"C2", "E"}}))) << engine.ErrorMsg;
  EXPECT_EQ(Result("C1")->Evaluation, 1) << Result("C1")->Obj("1")->EvaluationText;
  EXPECT_EQ(Result("C2")->state, jsJudged);
  EXPECT_EQ(Result("C2")->Evaluation, 0);
  EXPECT_NE(Result("C2")->Obj("1")->EvaluationText.find("Chạy sinh lỗi"), std::string::npos)
      << Result("C2")->Obj("1")->EvaluationText;
}

// A submission (plain or zipped), an input or a compiled program that does
// not reach the jury's disk whole is not the contestant's missing file or
// failed compile.
TEST_F(SmallHouse, WhatDoesNotFitBeforeTheProgramRunsStopsTheRun) {
  const std::string big(3000000, '#');
  // A compiler whose program does not fit where it is brought back.
  compilers.Insert(0, new TCompilerNode(".src", "\"/bin/sh\" -c \"head -c 3000000 /dev/zero > %NAME%.exe\"|@WorkDir=%PATH%"));
  enum { kPlain, kZipped, kInput, kCompiled };
  for (const int what : {kPlain, kZipped, kInput, kCompiled}) {
    SCOPED_TRACE(what);
    fs::remove_all(tree.ContestantsDir());
    const std::string dir = tree.AddContestant("C1");
    WriteText(tree.TasksDir() + "/E/1/E.INP", what == kInput ? "1 2\n" + big : "1 2\n");
    if (what == kZipped)
      WriteZip(dir + "/bai.zip", {{"E.exe", kAddFiles}, {"notes.txt", big}});
    else if (what == kCompiled)
      WriteText(dir + "/E.src", "anything");
    else
      WriteProgram(dir + "/E.exe", kAddFiles);
    if (what == kPlain) WriteText(dir + "/notes.txt", big);
    Load();
    GiveEarlierResult("C1");
    TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
    EXPECT_FALSE(engine.Run(Pairs({{"C1", "E"}})));
    EXPECT_EQ(engine.ErrorCode, 1);
    const std::string room = what == kInput ? "/ContestRoom" : "/WaitRoom";
    EXPECT_NE(engine.ErrorMsg.find("Đĩa chứa thư mục \"" + WorkDir() + room + "\" đã đầy"), std::string::npos)
        << engine.ErrorMsg;
    ExpectEarlierResult("C1");
  }
}

TEST_F(SmallContest, StaleTestResultsDoNotCount) {
  Load();
  TResultE* re = contest.ResultSet().ObjF("C1")->ObjF("E");
  re->ObjF("removed-test")->Evaluation = 100;
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}})));
  EXPECT_EQ(Result("C1")->Evaluation, 2);
  EXPECT_EQ(Result("C1")->Obj("removed-test"), nullptr);

  // After a failed compile, the earlier program's test results are gone too.
  fs::remove(tree.ContestantsDir() + "/C1/E.exe");
  WriteText(tree.ContestantsDir() + "/C1/E.c", "this is not C\n");
  ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}})));
  EXPECT_EQ(Result("C1")->state, jsCompileError);
  EXPECT_EQ(Result("C1")->Count(), 0);
  EXPECT_EQ(Result("C1")->Evaluation, 0);
  EXPECT_EQ(contest.ResultSet().Obj("C1")->Evaluation, 0);
}

TEST_F(SmallContest, WhatReachesTheWaitingRoom) {
  const std::string dir = tree.ContestantsDir() + "/C1";
  WriteText(dir + "/sub/E.py", "print(3)\n");                        // a sub-folder: not copied
  fs::create_symlink(tree.TasksDir() + "/E/1/E.OUT", dir + "/answer");  // a link: not followed
  WriteText(dir + "/junk.bin", std::string("\0\x01\xFF\xFE binary", 12));
  ASSERT_EQ(::mkfifo((dir + "/pipe").c_str(), 0644), 0);  // would block or fail every copy
  WriteZip(dir + "/bai.ZIP", {{"../escape.txt", "x"},
                              {"/abs.txt", "x"},
                              {"deep/../../escape2.txt", "x"},
                              {"link", "->/etc/passwd"},
                              {"inner/notes.txt", "kept"},
                              {"data.txt", "kept"}});
  Load();
  std::vector<std::string> room;
  log.OnStatus = [&](const std::string& s) {
    if (s == "Dịch bài...") room = ListTree(WorkDir() + "/WaitRoom");
  };
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  log.Bind(engine);
  ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}})));
  EXPECT_EQ(room, (std::vector<std::string>{"E.exe", "data.txt", "inner", "inner/notes.txt", "junk.bin"}));
  EXPECT_EQ(Result("C1")->Evaluation, 2);
  for (const std::string& p : {house.Path() + "/escape.txt", house.Path() + "/escape2.txt", dir + "/escape.txt",
                               tree.ContestantsDir() + "/escape.txt", std::string("/abs.txt")})
    EXPECT_FALSE(Exists(p)) << p;
}

TEST_F(SmallContest, ASubmittedArchiveUnpacksAtMostTenThousandEntries) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < 10050; ++i) entries.emplace_back("f" + std::to_string(i), "");
  WriteZip(tree.ContestantsDir() + "/C1/many.zip", entries);
  Load();
  std::size_t unpacked = 0;
  log.OnStatus = [&](const std::string& s) {
    if (s == "Dịch bài...") unpacked = ListTree(WorkDir() + "/WaitRoom").size();
  };
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  log.Bind(engine);
  ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}})));
  EXPECT_EQ(unpacked, 10000u + 1) << "the entries and E.exe";
  EXPECT_EQ(Result("C1")->Evaluation, 2);
}

TEST_F(SmallContest, LinkedInputReachesTheProgramAsItsContent) {
  // The jury shares one input between tests through a relative link.
  tree.Remove("Tasks/E/2");
  const std::string test = tree.TasksDir() + "/E/1";
  fs::rename(test + "/E.INP", tree.TasksDir() + "/E/shared.inp");
  fs::create_symlink("../shared.inp", test + "/E.INP");
  Load();
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}})));
  EXPECT_EQ(Result("C1")->Evaluation, 1) << Result("C1")->Obj("1")->EvaluationText;
}

// An input reaches the contest room with its content, its permissions and
// its modification time; one that is no regular file stops the run with the
// copy's message instead of blocking it.
TEST_F(SmallContest, InputsArriveAsTheJuryLeftThem) {
  tree.Remove("Tasks/E/2");
  const std::string input = tree.TasksDir() + "/E/1/E.INP";
  fs::permissions(input, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const timespec times[2] = {{1500000000, 0}, {1600000000, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, input.c_str(), times, 0), 0);
  Load();
  struct stat seen {};
  std::string content;
  log.OnStatus = [&](const std::string& s) {
    if (s != "Nạp bài làm") return;
    const std::string copy = WorkDir() + "/ContestRoom/E.INP";
    if (::stat(copy.c_str(), &seen) != 0) seen = {};
    content = ReadText(copy);
  };
  {
    TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
    log.Bind(engine);
    ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}}))) << engine.ErrorMsg;
  }
  EXPECT_EQ(content, ReadText(input));
  EXPECT_EQ(seen.st_mode & 07777, 0640u);
  EXPECT_EQ(seen.st_mtim.tv_sec, 1600000000);
  EXPECT_EQ(seen.st_mtim.tv_nsec, 123456789);
  EXPECT_EQ(Result("C1")->Evaluation, 1);

  // A pipe in its place once the test is under way (a test that has none
  // from the start fails only its exam) stops the run, never blocks it.
  log.OnStatus = [&](const std::string& s) {
    if (s != "Chép input...") return;
    fs::remove(input);
    ASSERT_EQ(::mkfifo(input.c_str(), 0644), 0);
  };
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  log.Bind(engine);
  EXPECT_FALSE(engine.Run(Pairs({{"C1", "E"}})));
  EXPECT_NE(engine.ErrorMsg.find("Không thể chép \"" + input + "\""), std::string::npos) << engine.ErrorMsg;
}

TEST_F(SmallContest, WorkFolderNamesAcrossRunsAndEngines) {
  Load();
  // The plain name is taken by a folder that cannot be deleted now.
  fs::create_directories(WorkDir() + "/held");
  TShellDeleteProc savedDelete = ShellDeleteProc;
  TSleepProc savedSleep = SetRetrySleep([](std::uint32_t) {});
  ShellDeleteProc = [](const std::string&) { return -1; };
  auto engine = std::make_unique<TJudgeEngine>(contest, compilers, *JudgeEnvironment::CheckerSet);
  ShellDeleteProc = savedDelete;
  std::vector<std::string> created;
  for (const auto& entry : fs::directory_iterator(house.Path()))
    if (entry.path().filename() != kWorkFolderLockName) created.push_back(entry.path().filename());
  ASSERT_EQ(created.size(), 2u);
  std::sort(created.begin(), created.end());
  EXPECT_EQ(created[0], "VelkorWorkSpace");
  EXPECT_TRUE(std::regex_match(created[1], std::regex("VelkorWorkSpace\\d+"))) << created[1];

  // Runs go back to the plain name, twice with one engine.
  std::vector<std::string> roomsSeen;
  log.OnStatus = [&](const std::string& s) {
    if (s == "Chép bài...") roomsSeen.push_back(Exists(WorkDir() + "/WaitRoom") ? "plain" : "other");
  };
  log.Bind(*engine);
  EXPECT_TRUE(engine->Run(Pairs({{"C1", "E"}})));
  EXPECT_TRUE(engine->Run(Pairs({{"C1", "E"}})));
  EXPECT_EQ(roomsSeen, (std::vector<std::string>{"plain", "plain"}));
  EXPECT_EQ(Result("C1")->Evaluation, 2);
  engine.reset();
  SetRetrySleep(savedSleep);
  // The folder the constructor chose is left behind.
  EXPECT_TRUE(Exists(house.Path() + "/" + created[1]));
  EXPECT_FALSE(Exists(WorkDir()));
}

// The work folder is deleted after every run: one that holds the contest's
// folders is refused, when the engine is made and when a run begins, and
// nothing of the contest is lost.
TEST_F(SmallContest, AWorkFolderHoldingTheContestIsRefused) {
  const std::string held = WorkDir() + "/Contestants";
  fs::create_directories(WorkDir());
  fs::rename(tree.ContestantsDir(), held);
  contest.LoadExams(tree.TasksDir());
  contest.LoadContestants(held);
  try {
    TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
    ADD_FAILURE() << "the engine was made";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("\"" + held + "\""), std::string::npos) << e.what();
  }
  EXPECT_TRUE(Exists(held + "/C1/E.exe"));

  // The same layout reached only once the engine exists.
  TempFolder otherHouse;
  EnvConfig->ContestHouse = otherHouse.Path();
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  EnvConfig->ContestHouse = house.Path();
  EXPECT_FALSE(engine.Run(Pairs({{"C1", "E"}})));
  EXPECT_EQ(engine.ErrorCode, 1);
  EXPECT_NE(engine.ErrorMsg.find("\"" + held + "\""), std::string::npos) << engine.ErrorMsg;
  EXPECT_TRUE(Exists(held + "/C1/E.exe"));
}

TEST_F(SmallContest, LeftoversOfOnePairAreNeverJudgedAsTheNext) {
  tree.AddContestant("C2");  // submits nothing
  Load();
  // The waiting room resists deletion at the end of C1's submission only.
  TShellDeleteProc savedDelete = ShellDeleteProc;
  TSleepProc savedSleep = SetRetrySleep([](std::uint32_t) {});
  bool resist = false;
  log.OnNotify = [&](TJudgeAction a, const std::string& c, const std::string&, const std::string& t, bool&) {
    if (c == "C1" && a == jaEndJudge) resist = !t.empty();  // after C1's last test, until its pair ends
  };
  ShellDeleteProc = [&](const std::string& Path) {
    return resist && Path.ends_with("/WaitRoom") ? -5 : savedDelete(Path);
  };
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  log.Bind(engine);
  const bool finished = engine.Run(Pairs({{"C1", "E"}, {"C2", "E"}}));
  ShellDeleteProc = savedDelete;
  SetRetrySleep(savedSleep);
  EXPECT_TRUE(finished) << engine.ErrorMsg;
  EXPECT_EQ(Result("C1")->state, jsFailure);
  ASSERT_NE(Result("C2"), nullptr);
  EXPECT_EQ(Result("C2")->state, jsNoSource) << "C1's program was judged as C2's";
  EXPECT_EQ(Result("C2")->Evaluation, 0);
}

// A stop or an error after which the waiting room cannot be deleted is
// reported to the jury, naming the first thing that went wrong, and the pair
// keeps the result it had.
TEST_F(SmallContest, AWaitingRoomLeftAfterAStopOrAnErrorIsReported) {
  Load();
  struct TRestore {
    TShellDeleteProc Saved = ShellDeleteProc;
    ~TRestore() { ShellDeleteProc = Saved; }
  } restore;
  bool resist = false;
  ShellDeleteProc = [&](const std::string& Path) {
    return resist && Path.ends_with("/WaitRoom") ? -5 : restore.Saved(Path);
  };
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  log.Bind(engine);
  ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}}))) << engine.ErrorMsg;
  ASSERT_EQ(Result("C1")->Evaluation, 2);

  struct Case {
    const char* name;
    bool stop;        // the jury stops after test 1; otherwise test 2 loses its input meanwhile
    const char* why;  // what the message names
  };
  const std::string input = tree.TasksDir() + "/E/2/E.INP";
  for (const Case& c : {Case{"stop", true, "/WaitRoom"}, Case{"error", false, "/E/2/E.INP"}}) {
    SCOPED_TRACE(c.name);
    log.OnStatus = [&](const std::string& s) {
      if (!c.stop && s == "Chép input...") fs::remove(input);
    };
    resist = false;
    log.Events.clear();
    log.OnNotify = [&](TJudgeAction a, const std::string&, const std::string&, const std::string& t, bool& cancel) {
      if (a == jaBeginJudge && t == "1") resist = true;
      if (a == jaEndJudge && t == "1" && c.stop) cancel = true;
    };
    EXPECT_FALSE(engine.Run(Pairs({{"C1", "E"}})));
    EXPECT_EQ(engine.ErrorCode, 1);
    EXPECT_TRUE(engine.ErrorMsg.starts_with("Lỗi khi chấm C1‣E:\r\n")) << engine.ErrorMsg;
    EXPECT_NE(engine.ErrorMsg.find(c.why), std::string::npos) << engine.ErrorMsg;
    if (!c.stop) {
      EXPECT_EQ(engine.ErrorMsg.find("/WaitRoom"), std::string::npos) << engine.ErrorMsg;
    }
    EXPECT_EQ(log.Count("end(C1,E,)"), 1u);
    EXPECT_EQ(Result("C1")->state, jsJudged);
    EXPECT_EQ(Result("C1")->Evaluation, 2);
    EXPECT_FALSE(Exists(WorkDir()));
  }
}

// A running program cannot delete its own file: the run sees its copy
// read-only, whichever account may run it where it lies on the machine; it
// keeps its score, and nobody else's changes.
TEST_F(SmallContest, AProgramThatDeletesItselfHarmsOnlyItsOwnScore) {
  AddContestant("C1", "#!/bin/sh\nrm -f \"$0\"\nread a b < E.INP\necho $((a + b)) > E.OUT\n");
  AddContestant("C2", kAddFiles);
  const std::string program = tree.ContestantsDir() + "/C1/E.exe";
  for (const bool othersMayRun : {true, false}) {
    if (!othersMayRun && geteuid() != 0) continue;  // runs as Velkor's own account: the same case
    ::chmod(program.c_str(), othersMayRun ? 0755 : 0700);
    Load();
    TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
    ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}, {"C2", "E"}}))) << engine.ErrorMsg;
    EXPECT_EQ(Result("C1")->Evaluation, 2) << Result("C1")->Obj("2")->EvaluationText;
    EXPECT_EQ(Result("C2")->Evaluation, 2);
    EXPECT_TRUE(fs::exists(program)) << "the contestant's own file is never touched";
  }
}

// A ready-made program is judged the same after its contest went through
// an archive: the archive keeps that it runs by itself.
TEST_F(SmallContest, AReadyMadeProgramScoresTheSameAfterSaveAndReopen) {
  Load();
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}}))) << engine.ErrorMsg;
  ASSERT_EQ(Result("C1")->Evaluation, 2);

  TempFolder archiveHome;
  struct TUnpackHere {
    std::string Previous = EnvConfig->DecompressDir;
    ~TUnpackHere() { EnvConfig->DecompressDir = Previous; }
  } unpackHere;
  EnvConfig->DecompressDir = archiveHome / "unpack";
  const std::string file = archiveHome / "c.contest";
  ASSERT_TRUE(contest.FileSave(file)) << contest.ErrorMsg();
  TContestInfo reopened;
  ASSERT_TRUE(reopened.FileLoad(file)) << reopened.ErrorMsg();
  reopened.ResultSet().Obj("C1")->Clear();
  TJudgeEngine again(reopened, compilers, *JudgeEnvironment::CheckerSet);
  ASSERT_TRUE(again.Run(Pairs({{"C1", "E"}}))) << again.ErrorMsg;
  const TResultE* result = reopened.ResultSet().Obj("C1")->Obj("E");
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->Evaluation, 2) << result->Obj("1")->EvaluationText;
}

// Nor can it change its file for the tests after: appending, replacing or
// widening its rights all fail, and its next test runs the program judged.
TEST_F(SmallContest, AProgramCannotRewriteItselfForItsNextTest) {
  AddContestant("C1",
                "#!/bin/sh\n"
                "echo 'echo 0 > E.OUT; exit' >> \"$0\"\n"
                "printf '#!/bin/sh\\necho 0 > E.OUT\\n' > cheat; chmod 755 cheat; mv -f cheat \"$0\"\n"
                "chmod 777 \"$0\"\n"
                "read a b < E.INP\necho $((a + b)) > E.OUT\n");
  Load();
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}}))) << engine.ErrorMsg;
  EXPECT_EQ(Result("C1")->Evaluation, 2) << Result("C1")->Obj("2")->EvaluationText;
}

TEST_F(SmallContest, ACompilerThatMakesNoProgramFailsOnlyItsSubmission) {
  tree.AddContestant("S", {{"E.src", "anything"}});
  AddContestant("C2", kAddFiles);
  Load();
  // Succeeds without writing E.exe, as javac does for a class named otherwise.
  compilers.Insert(0, new TCompilerNode(".src", "\"/bin/true\" \"%NAME%%EXT%\""));
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  ASSERT_TRUE(engine.Run(Pairs({{"S", "E"}, {"C2", "E"}}))) << engine.ErrorMsg;
  EXPECT_EQ(Result("S")->state, jsJudged);
  EXPECT_EQ(Result("S")->Evaluation, 0);
  for (const std::string test : {"1", "2"})
    EXPECT_EQ(Result("S")->Obj(test)->EvaluationText, "Dịch xong nhưng không có file chương trình \"E.exe\"");
  EXPECT_EQ(Result("C2")->Evaluation, 2);
}

TEST_F(SmallContest, ProgramsCannotReadVelkorsSettings) {
  WriteText(ConfigFileName(), "<the security account's password>");
  AddContestant("S", "#!/bin/sh\nread a b < E.INP\n"
                     "if [ -e \"$XDG_CONFIG_HOME/Velkor.cfg\" ]; then echo seen > E.OUT; else echo $((a + b)) > E.OUT; fi\n");
  Load();
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  ASSERT_TRUE(engine.Run(Pairs({{"S", "E"}}))) << engine.ErrorMsg;
  EXPECT_EQ(Result("S")->Evaluation, 2) << Result("S")->Obj("1")->EvaluationText;
  EXPECT_TRUE(std::getenv("XDG_CONFIG_HOME") && ConfigFileName().starts_with(std::getenv("XDG_CONFIG_HOME")));
}

TEST_F(SmallContest, CompilersCannotReadVelkorsSettingsEither) {
  WriteText(ConfigFileName(), "<the security account's password>");
  // A "compiler" that fails when it can see the settings, and otherwise
  // makes the program from its source.
  TempFolder tools;
  const std::string compiler = tools.Path() + "/cc";
  WriteProgram(compiler, "#!/bin/sh\n[ -e \"$XDG_CONFIG_HOME/Velkor.cfg\" ] && { echo seen; exit 1; }\n"
                         "cp \"$1\" \"$2\" && chmod +x \"$2\"\n");
  tree.AddContestant("S", {{"E.src", kAddFiles}});
  Load();
  compilers.Insert(0, new TCompilerNode(".src", "\"" + compiler + "\" \"%PATH%%NAME%%EXT%\" \"%PATH%%NAME%.exe\""));
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  ASSERT_TRUE(engine.Run(Pairs({{"S", "E"}}))) << engine.ErrorMsg;
  EXPECT_EQ(Result("S")->state, jsJudged) << Result("S")->EvaluationText;
  EXPECT_EQ(Result("S")->Evaluation, 2);
}

// A compiler lying in the contest house itself (or in the jury's home, or
// beside the tasks) would show every run that folder: it is not run, and
// the compile log says why, in place of a bare "file not found".
TEST_F(SmallContest, ACompilerInAFolderHoldingTheContestIsNotRun) {
  const std::string compiler = house.Path() + "/cc";
  WriteProgram(compiler, "#!/bin/sh\ncp \"$1\" \"$2\" && chmod +x \"$2\"\n");
  tree.AddContestant("S", {{"E.src", kAddFiles}});
  AddContestant("C", kAddFiles);
  Load();
  compilers.Insert(0, new TCompilerNode(".src", "\"" + compiler + "\" \"%PATH%%NAME%%EXT%\" \"%PATH%%NAME%.exe\""));
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  ASSERT_TRUE(engine.Run(Pairs({{"S", "E"}, {"C", "E"}}))) << engine.ErrorMsg;
  EXPECT_EQ(Result("S")->state, jsCompileError);
  EXPECT_NE(Result("S")->EvaluationText.find("Chương trình \"" + compiler + "\" nằm trong thư mục \"" + house.Path() +
                                             "\", nơi chứa dữ liệu kỳ thi"),
            std::string::npos)
      << Result("S")->EvaluationText;
  EXPECT_EQ(Result("C")->Evaluation, 2) << Result("C")->EvaluationText;
}

// The work folder is its owner's alone: no other account may even pass
// through it, but for a root Velkor's runs (by its group), which may need to
// on their way to the room.
TEST_F(SmallContest, WorkFolderIsNotOpenToOtherAccountsWithoutTheSecurityMode) {
  Load();
  std::vector<std::string> openToOthers;
  log.OnStatus = [&](const std::string& s) {
    if (s != "Chạy bài làm") return;
    struct stat st {};
    const mode_t runsPass = ::stat(WorkDir().c_str(), &st) == 0 && st.st_gid == platform::kRunAccountId ? S_IXGRP : 0;
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != runsPass) openToOthers.push_back(WorkDir() + " reachable");
    for (const std::string& p : {WorkDir() + "/WaitRoom", WorkDir() + "/ContestRoom"}) {
      if (::stat(p.c_str(), &st) == 0 && (st.st_mode & S_IWOTH)) openToOthers.push_back(p);
    }
  };
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  log.Bind(engine);
  // Also one found there, left open by an older Velkor it could not delete.
  ASSERT_EQ(::chmod(WorkDir().c_str(), 0777), 0);
  ASSERT_TRUE(engine.Run(Pairs({{"C1", "E"}})));
  EXPECT_TRUE(openToOthers.empty()) << openToOthers.front();
}

TEST_F(SmallContest, AnErrorLeavingAJudgingThreadReachesWhoWaits) {
  Load();
  TJudgeThread thread(contest, compilers, *JudgeEnvironment::CheckerSet);
  thread.Engine->SetOnInit([](TJudgeEngine*) { throw std::runtime_error("handler failed"); });
  TQueue<TJudgePair> pairs = Pairs({{"C1", "E"}});
  thread.List = &pairs;
  thread.Start();
  EXPECT_THROW(thread.WaitFor(), std::runtime_error);
}

TEST_F(SmallContest, FailingPreparationStillCleansUp) {
  Load();
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  log.Bind(engine);
  // The contest house turns into a file: no work folder can be made.
  fs::remove_all(house.Path());
  WriteText(house.Path(), "in the way");
  EXPECT_FALSE(engine.Run(Pairs({{"C1", "E"}})));
  EXPECT_EQ(engine.ErrorCode, 1);
  EXPECT_NE(engine.ErrorMsg.find(house.Path()), std::string::npos) << engine.ErrorMsg;
  EXPECT_EQ(log.Events, (std::vector<std::string>{"init", "begin(,,)", "end(,,)", "finish"}));
  fs::remove(house.Path());
  fs::create_directories(house.Path());
}

TEST_F(SmallContest, SecurityModeThatCannotLogOnIsSwitchedOff) {
  Load();
  auto dialog = std::make_shared<TScriptedMessageDialog>(std::initializer_list<int>{mrOk});
  auto saved = SetMessageDialog(dialog);
  EnvConfig->ActiveSecurity = true;
  EnvConfig->AdminUserName = "judge";
  EnvConfig->AdminDomain = "HOST";
  TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
  SetMessageDialog(saved);
  ASSERT_EQ(dialog->Requests().size(), 1u);
  EXPECT_EQ(dialog->Requests()[0].DlgType, mtError);
  EXPECT_TRUE(std::regex_match(dialog->Requests()[0].Msg,
                               std::regex("^Không thể đăng nhập với \"HOST\\\\judge\"\\.\r\n.+\r\nChế độ bảo mật sẽ tạm tắt$")))
      << dialog->Requests()[0].Msg;
  EXPECT_FALSE(EnvConfig->ActiveSecurity);
  // The run goes on unprotected.
  EXPECT_TRUE(engine.Run(Pairs({{"C1", "E"}})));
  EXPECT_EQ(Result("C1")->Evaluation, 2);
}

// A GUI thread stand-in: work handed to it runs when it pumps.
class TPumpedHandOff : public IMainThreadHandOff {
 public:
  bool IsMainThread() override { return std::this_thread::get_id() == FMain; }
  void RunBlocking(const std::function<void()>& work) override {
    std::unique_lock lock(FMutex);
    bool done = false;
    FQueue.push_back([&] {
      work();
      done = true;
    });
    FChanged.notify_all();
    FChanged.wait(lock, [&] { return done; });
  }
  // Runs handed-over work until Finished says so.
  void Pump(const std::function<bool()>& Finished) {
    std::unique_lock lock(FMutex);
    while (!Finished()) {
      FChanged.wait_for(lock, std::chrono::milliseconds(20), [&] { return !FQueue.empty(); });
      while (!FQueue.empty()) {
        auto work = std::move(FQueue.front());
        FQueue.pop_front();
        work();
        FChanged.notify_all();
      }
    }
  }

 private:
  std::thread::id FMain = std::this_thread::get_id();
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::deque<std::function<void()>> FQueue;
};

TEST_F(SmallContest, EventsReachTheMainThreadFromAJudgingThread) {
  Load();
  auto handOff = std::make_shared<TPumpedHandOff>();
  auto saved = SetMainThreadHandOff(handOff);
  {
    TJudgeThread thread(contest, compilers, *JudgeEnvironment::CheckerSet);
    log.Bind(*thread.Engine);
    const TQueue<TJudgePair> queue = Pairs({{"C1", "E"}});
    thread.List = &queue;
    std::atomic<bool> finished = false;
    thread.Engine->SetOnFinish([&](TJudgeEngine*) {
      log.Add("finish");
      finished = true;
    });
    thread.Start();
    handOff->Pump([&] { return finished.load(); });
    EXPECT_TRUE(thread.WaitFor());
    EXPECT_FALSE(thread.Engine->RunInMainThread);
  }
  SetMainThreadHandOff(saved);
  ASSERT_FALSE(log.Threads.empty());
  for (std::size_t i = 0; i < log.Threads.size(); ++i)
    EXPECT_EQ(log.Threads[i], std::this_thread::get_id()) << log.Events[i];
  EXPECT_EQ(Result("C1")->Evaluation, 2);
}

}  // namespace
}  // namespace velkor
