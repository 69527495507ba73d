// Opening a contest archive whose parts are damaged: whatever is intact
// opens, and every damaged part is named for the jury.
#include <zip.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/ProgressHooks.h"
#include "tests/core/FileTestSupport.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

using testing::TContestTree;
using testing::TempFolder;

// Replaces (or adds) the entry Name of the archive at Path with Bytes.
void PutEntry(const std::string& Path, const std::string& Name, const std::string& Bytes) {
  int code = 0;
  zip_t* z = zip_open(Path.c_str(), 0, &code);
  ASSERT_NE(z, nullptr);
  zip_source_t* src = zip_source_buffer(z, Bytes.data(), Bytes.size(), 0);
  ASSERT_GE(zip_file_add(z, Name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8), 0) << zip_strerror(z);
  ASSERT_EQ(zip_close(z), 0) << zip_strerror(z);
}

class ArchiveLoadTest : public ::testing::Test {
 protected:
  ArchiveLoadTest() {
    previousPoll_ = SetEscapePoll([] { return false; });
    previousEnv_ = std::move(EnvConfig);
    EnvConfig = std::make_unique<TEnvConfig>();
    EnvConfig->DecompressDir = work_ / "unpack";
  }
  ~ArchiveLoadTest() override {
    SetEscapePoll(previousPoll_);
    EnvConfig = std::move(previousEnv_);
  }

  // Three exams with their own settings, three contestants judged in each;
  // saved as an archive whose path is returned.
  std::string SaveJudgedContest() {
    for (const char* exam : {"Bai1", "Bai2", "Bai3"}) {
      for (const char* test : {"01", "02"})
        tree_.AddTest(exam, test, {{"in.txt", "1 2\n"}, {std::string(exam) + ".OUT", "3\n"}});
      tree_.WriteExamSettings(exam, std::string(R"(<ExamInformation Name=")") + exam +
                                        R"(" InputFile="in.txt" Mark="2" TimeLimit="3"/>)");
    }
    for (const char* name : {"An", "Binh", "Cuong"}) tree_.AddContestant(name);
    TContestInfo source;
    source.ExamSet().SetDir(tree_.TasksDir());
    source.ResultSet().SetDir(tree_.ContestantsDir());
    for (TResultC* c : source.ResultSet()) {
      for (const TExamInfo* e : source.ExamSet()) {
        TResultE* r = c->ObjF(e->Name());
        r->state = jsJudged;
        r->Evaluation = 1.5;
      }
      c->UpdateScore();
    }
    const std::string file = work_ / "k.contest";
    EXPECT_TRUE(source.FileSave(file)) << source.ErrorMsg();
    return file;
  }

  int JudgedResults() const {
    int n = 0;
    for (const TResultC* c : contest_.ResultSet())
      for (const TResultE* e : *c) n += e->state == jsJudged;
    return n;
  }
  std::string AllProblems() const {
    std::string all;
    for (const TLoadProblem& p : contest_.LoadProblems()) all += p.Text + "\n";
    return all;
  }

  TempFolder work_;
  TContestTree tree_;
  TContestInfo contest_;
  TEscapePoll previousPoll_;
  std::unique_ptr<TEnvConfig> previousEnv_;
};

TEST_F(ArchiveLoadTest, AnIntactArchiveOpensWithoutProblems) {
  const std::string file = SaveJudgedContest();
  ASSERT_TRUE(contest_.FileLoad(file)) << contest_.ErrorMsg();
  EXPECT_EQ(contest_.ExamSet().Count(), 3);
  EXPECT_EQ(JudgedResults(), 9);
  EXPECT_TRUE(contest_.LoadProblems().empty()) << AllProblems();
  EXPECT_FALSE(contest_.LoadLostData());
}

// Each damaged part opens with the rest; the exam list stands in for an
// exam's own damaged settings file.
TEST_F(ArchiveLoadTest, DamagedPartsOpenWithWhatIsIntact) {
  const std::string garbage = "not compressed XML at all";
  struct Case {
    const char* Why;
    std::vector<std::pair<std::string, std::string>> Damage;  // entry, bytes
    int JudgedResults;
    double Bai2Mark;  // from Tasks.config, or the default
    std::vector<std::string> Told;
    bool Lost;
  };
  const std::vector<Case> cases = {
      {"a settings file", {{"Tasks/Bai2/Settings.cfg", "40"}}, 9, 2,
       {"Bài thi \"Bai2\": không đọc được file Settings.cfg", "cấu hình lấy từ file Tasks.config của kỳ thi"}, false},
      {"the exam list", {{"Tasks.config", garbage}}, 9, 2,
       {"Không đọc được file Tasks.config (cấu hình các bài thi)"}, true},
      {"the results", {{"Contest.result", garbage}}, 0, 2,
       {"Không đọc được file Contest.result (kết quả chấm)"}, true},
      {"a settings file and the exam list", {{"Tasks/Bai2/Settings.cfg", "40"}, {"Tasks.config", garbage}}, 9, 1,
       {"Tasks.config", "Bài thi \"Bai2\"", "dùng giá trị mặc định"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Why);
    const std::string file = SaveJudgedContest();
    for (const auto& [entry, bytes] : c.Damage) {
      // A settings file cut short keeps the first bytes of the real one.
      std::string damaged = bytes;
      if (bytes == "40") damaged = testing::ReadText(tree_.TasksDir() + "/Bai2/Settings.cfg").substr(0, 40);
      PutEntry(file, entry, damaged);
    }
    ASSERT_TRUE(contest_.FileLoad(file)) << contest_.ErrorMsg();
    EXPECT_EQ(contest_.ExamSet().KeyExport(), (std::vector<std::string>{"Bai1", "Bai2", "Bai3"}));
    EXPECT_EQ(contest_.ExamSet().Obj("Bai2")->Count(), 2) << "the damaged exam keeps its tests";
    EXPECT_EQ(contest_.ExamSet().Obj("Bai1")->Mark, 2) << "intact exams keep their own settings";
    EXPECT_EQ(contest_.ExamSet().Obj("Bai2")->Mark, c.Bai2Mark);
    EXPECT_EQ(contest_.ResultSet().KeyExport(), (std::vector<std::string>{"An", "Binh", "Cuong"}));
    EXPECT_EQ(JudgedResults(), c.JudgedResults);
    const std::string told = AllProblems();
    for (const std::string& part : c.Told) EXPECT_NE(told.find(part), std::string::npos) << told;
    EXPECT_EQ(contest_.LoadLostData(), c.Lost) << told;
  }
}

// A contestant folder the results document leaves out is not in the grid
// until the folder is read again: it is named, and nothing of it is lost.
TEST_F(ArchiveLoadTest, FoldersMissingFromTheResultsAreNamed) {
  const std::string file = SaveJudgedContest();
  PutEntry(file, "Contestants/Dung/Bai1.cpp", "int main() {}\n");
  PutEntry(file, "ContestantDirectories.txt", "\xEF\xBB\xBF" "An\r\nBinh\r\nCuong\r\nDung\r\nEm\r\n");
  ASSERT_TRUE(contest_.FileLoad(file)) << contest_.ErrorMsg();
  EXPECT_EQ(contest_.ResultSet().KeyExport(), (std::vector<std::string>{"An", "Binh", "Cuong"}));
  ASSERT_EQ(contest_.LoadProblems().size(), 2u) << AllProblems();
  for (const char* name : {"Dung", "Em"}) {
    const std::string told = AllProblems();
    EXPECT_NE(told.find(std::string("Thư mục thí sinh \"") + name +
                        "\" không có trong file Contest.result (kết quả chấm) nên không hiện trong bảng"),
              std::string::npos)
        << told;
  }
  EXPECT_NE(AllProblems().find("Nhấn F5"), std::string::npos);
  EXPECT_FALSE(contest_.LoadLostData());
}

}  // namespace
}  // namespace velkor
