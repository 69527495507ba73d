// The sample contest that scripts/run opens, judged headless by the real
// engine: every outcome it is meant to show (right, wrong, partly right,
// too slow, crashing, not compiling, not submitted) comes out as intended,
// whether the jury opens the archive or the two folders built beside it.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "AppTestSupport.h"
#include "core/FileUtils.h"
#include "judging/Checkers.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/Globals.h"
#include "judging/JudgeEngines.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

enum class TSampleForm { Archive, Folders };

class SampleContest : public ::testing::TestWithParam<TSampleForm> {};

TEST_P(SampleContest, JudgesToTheOutcomesItShows) {
  test::StartProgramModel("app_program_test");
  if (GetParam() == TSampleForm::Archive) {
    ASSERT_TRUE(ContestInfo->FileLoad(VELKOR_SAMPLE_CONTEST));
  } else {
    // Judged in a copy: judging writes into the contestants' folders.
    const fs::path copy = fs::temp_directory_path() / "sample-folders";
    fs::remove_all(copy);
    fs::copy(VELKOR_SAMPLE_FOLDERS, copy, fs::copy_options::recursive);
    ContestInfo->LoadExams((copy / "Tasks").string());
    ContestInfo->LoadContestants((copy / "Contestants").string());
    ASSERT_EQ(ContestInfo->ExamSet().Count(), 3);
    ASSERT_EQ(ContestInfo->ResultSet().Count(), 4);
  }
  TQueue<TJudgePair> queue;
  for (const char* c : {"An", "Binh", "Chi", "Dung"})
    for (const char* e : {"DEM", "MAX", "TONG"}) {
      TJudgePair pair;
      MakeJudgePair(c, e, pair);
      queue.Push(pair);
    }
  {
    TJudgeEngine engine(*ContestInfo, *CompilerConfig, *Checkers);
    EXPECT_TRUE(engine.Run(queue)) << engine.ErrorMsg;
  }
  struct Case {
    const char* C;
    const char* E;
    TJudgeState State;
    double Score;
    const char* Why;
  } cases[] = {
      {"An", "TONG", jsJudged, 10, "C++, right"},
      {"An", "MAX", jsJudged, 6, "C, right, file input and output by default"},
      {"An", "DEM", jsJudged, 10, "C++, right and fast"},
      {"Binh", "TONG", jsJudged, 10, "Pascal, right"},
      {"Binh", "MAX", jsJudged, 6, "Python, right"},
      {"Binh", "DEM", jsJudged, 4, "Python, too slow on the two large tests"},
      {"Chi", "TONG", jsJudged, 7.5, "C, overflows on one test"},
      {"Chi", "MAX", jsCompileError, 0, "C++, does not compile"},
      {"Chi", "DEM", jsJudged, 0, "C, crashes"},
      {"Dung", "TONG", jsJudged, 0, "Python, wrong"},
      {"Dung", "MAX", jsJudged, 6, "Pascal, right"},
      {"Dung", "DEM", jsNoSource, 0, "nothing submitted"},
  };
  for (const Case& c : cases) {
    TResultE* r = ContestInfo->ResultSet().Obj(c.C)->Obj(c.E);
    ASSERT_NE(r, nullptr) << c.Why;
    EXPECT_EQ(r->state, c.State) << c.Why << ": " << r->EvaluationText;
    if (c.State == jsJudged) {
      EXPECT_NEAR(r->Evaluation, c.Score, 1e-9) << c.Why;
    }
  }
  const TResultE* slow = ContestInfo->ResultSet().Obj("Binh")->Obj("DEM");
  EXPECT_NE(slow->Obj("5")->EvaluationText.find("Chạy quá thời gian"), std::string::npos)
      << slow->Obj("5")->EvaluationText;
  const struct {
    const char* C;
    double Total;
  } totals[] = {{"An", 26}, {"Binh", 20}, {"Chi", 7.5}, {"Dung", 6}};
  for (const auto& t : totals) EXPECT_NEAR(ContestInfo->ResultSet().Obj(t.C)->Evaluation, t.Total, 1e-9) << t.C;
  FinalizeGlobals();
}

INSTANTIATE_TEST_SUITE_P(AsArchiveAndAsFolders, SampleContest,
                         ::testing::Values(TSampleForm::Archive, TSampleForm::Folders),
                         [](const ::testing::TestParamInfo<TSampleForm>& I) {
                           return std::string(I.param == TSampleForm::Archive ? "Archive" : "Folders");
                         });

}  // namespace
}  // namespace velkor
