#include "judging/Contests.h"

namespace velkor {

std::unique_ptr<TContestInfo> ContestInfo;

TContestInfo::TContestInfo()
    : FResultSet(std::make_unique<TResultSet>()), FExamSet(std::make_unique<TExamSet>()) {}

TContestInfo::~TContestInfo() {
  FResultSet.reset();
  FExamSet.reset();
}

void TContestInfo::Reset() {
  FExamSet->SetDir("");
  FResultSet->SetDir("");
  FFileName.clear();
  FLoadProblems.clear();
  FUnpackDir.clear();
  FUnsavedMarked = false;
  FArchiveSeen = {};
}

bool TContestInfo::LoadLostData() const {
  for (const TLoadProblem& p : FLoadProblems)
    if (p.Lost) return true;
  return false;
}

void TContestInfo::LoadExams(const std::string& Dir) {
  FExamSet->SetDir(Dir);
  for (TResultC* c : *FResultSet) {
    c->Clear();
    c->UpdateScore();  // a total without exam results is 0
  }
}

void TContestInfo::LoadContestants(const std::string& Dir) { FResultSet->SetDir(Dir); }

void TContestInfo::FindXMLNodes(pugi::xml_document& XML, pugi::xml_node& RootNode, pugi::xml_node& ContestantsNode,
                                pugi::xml_node& ExamsNode, pugi::xml_node& ResultsNode) {
  RootNode = XML.child("VelkorContest");
  if (!RootNode) {
    while (pugi::xml_node n = XML.first_child()) XML.remove_child(n);
    RootNode = XML.append_child("VelkorContest");
  }
  auto childOf = [&RootNode](const char* Name) {
    pugi::xml_node n = RootNode.child(Name);
    return n ? n : RootNode.append_child(Name);
  };
  ContestantsNode = childOf("Contestants");
  ExamsNode = childOf("Exams");
  ResultsNode = childOf("Results");
}

}  // namespace velkor
