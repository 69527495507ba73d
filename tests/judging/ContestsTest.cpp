// The contest: resetting it, pointing it at folders, and its XML skeleton.

#include "judging/Contests.h"

#include <gtest/gtest.h>

#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

using testing::TContestTree;

class ContestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.AddExam("Bai1", {"01"});
    tree.AddContestant("An");
    contest.LoadExams(tree.TasksDir());
    contest.LoadContestants(tree.ContestantsDir());
    contest.SetFileName("/somewhere/k.contest");
    TResultE* e = contest.ResultSet().Obj("An")->ObjF("Bai1");
    e->state = jsJudged;
    e->Evaluation = 3;
    contest.ResultSet().Obj("An")->UpdateScore();
  }
  TContestTree tree;
  TContestInfo contest;
};

TEST_F(ContestTest, ResetEmptiesBothSetsAndTellsTheWindows) {
  int examsLoaded = 0, resultsLoaded = 0;
  contest.ExamSet().OnLoaded = [&](TObject*) { ++examsLoaded; };
  contest.ResultSet().OnLoaded = [&](TObject*) { ++resultsLoaded; };
  contest.Reset();
  EXPECT_EQ(contest.ExamSet().Count(), 0);
  EXPECT_EQ(contest.ResultSet().Count(), 0);
  EXPECT_EQ(contest.ExamSet().Dir(), "");
  EXPECT_EQ(contest.ResultSet().Dir(), "");
  EXPECT_EQ(contest.FileName(), "");
  EXPECT_EQ(examsLoaded, 1);
  EXPECT_EQ(resultsLoaded, 1);
}

TEST_F(ContestTest, LoadingExamsClearsEveryResultAndTotal) {
  ASSERT_EQ(contest.ResultSet().Obj("An")->Evaluation, 3);
  tree.AddExam("Bai2");
  contest.LoadExams(tree.TasksDir());
  EXPECT_EQ(contest.ExamSet().KeyExport(), (std::vector<std::string>{"Bai1", "Bai2"}));
  const TResultC* an = contest.ResultSet().Obj("An");
  EXPECT_EQ(an->Count(), 0);
  EXPECT_EQ(an->Evaluation, 0);
}

TEST(ContestXML, FindsOrBuildsTheSkeleton) {
  pugi::xml_document doc;
  doc.load_string("<Other/><!-- note -->");
  pugi::xml_node root, contestants, exams, results;
  TContestInfo::FindXMLNodes(doc, root, contestants, exams, results);
  EXPECT_STREQ(doc.first_child().name(), "VelkorContest");
  EXPECT_EQ(doc.first_child(), doc.last_child()) << "a foreign document is replaced";
  EXPECT_EQ(contestants.parent(), root);
  EXPECT_STREQ(exams.name(), "Exams");
  EXPECT_STREQ(results.name(), "Results");

  exams.append_child("Exam");
  root.remove_child(results);
  pugi::xml_node root2, contestants2, exams2, results2;
  TContestInfo::FindXMLNodes(doc, root2, contestants2, exams2, results2);
  EXPECT_EQ(root2, root);
  EXPECT_EQ(exams2, exams) << "existing elements are found, with their content";
  EXPECT_TRUE(exams2.child("Exam"));
  EXPECT_STREQ(results2.name(), "Results");
  EXPECT_EQ(std::distance(root.children().begin(), root.children().end()), 3);
}

}  // namespace
}  // namespace velkor
