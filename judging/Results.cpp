#include "judging/Results.h"

#include <cmath>
#include <vector>

#include "core/CompressedXML.h"
#include "judging/Exams.h"
#include "judging/NumberFormat.h"

namespace velkor {
namespace {

constexpr const char* kResultRoot = "ContestResult";
constexpr const char* kContestantElement = "ContestantResult";
constexpr const char* kExamElement = "ExamResult";
constexpr const char* kTestElement = "TestResult";

// Separates contestant, exam and test in report lines.
constexpr const char* kReportSeparator = "‣";

double FiniteOrZero(double v) { return std::isfinite(v) ? v : 0; }

}  // namespace

std::string JudgeStateText(TJudgeState State) {
  switch (State) {
    case jsNotyetJudged: return "Chưa chấm";
    case jsJudged: return "";
    case jsCompileError: return "ℱ Dịch lỗi";
    case jsNoSource: return "∄ Không có bài";
    case jsFailure: return "⚠ Lỗi nghiêm trọng";
    default: return "???";
  }
}

// ---- TResultT ----------------------------------------------------------

void TResultT::SetOwner(TModelObject* aOwner) { Owner = dynamic_cast<TResultE*>(aOwner); }

void TResultT::ReportText(TStringList& L) const {
  const std::string exam = Owner != nullptr ? Owner->Name() : "";
  const std::string contestant = Owner != nullptr && Owner->Owner != nullptr ? Owner->Owner->Name() : "";
  AppendLine(L, contestant + kReportSeparator + exam + kReportSeparator + FName + ": " + FormatScore(Evaluation));
  AppendLine(L, EvaluationText);
}

void TResultT::XMLLoad(pugi::xml_node Node) {
  Evaluation = ReadXMLAttribute(Node, "Evaluation", -1.0);
  if (Evaluation < 0) {
    Evaluation = 0;
    EvaluationText.clear();
  } else {
    EvaluationText = ReadXMLAttribute(Node, "EvaluationText", "");
  }
}

void TResultT::XMLSave(pugi::xml_node Node) const {
  WriteXMLAttribute(Node, "TestName", FName);
  WriteXMLAttribute(Node, "Evaluation", Evaluation);
  WriteXMLAttribute(Node, "EvaluationText", EvaluationText);
}

// ---- TResultE ----------------------------------------------------------

void TResultE::SetOwner(TModelObject* aOwner) { Owner = dynamic_cast<TResultC*>(aOwner); }

void TResultE::UpdateScore() {
  double sum = 0;
  for (const TResultT* t : *this) sum += FiniteOrZero(t->Evaluation);
  Evaluation = sum;
}

void TResultE::ReportText(TStringList& L) const {
  const std::string contestant = Owner != nullptr ? Owner->Name() : "";
  const std::string prefix = contestant + kReportSeparator + FName + ": ";
  AppendLine(L, prefix + (state == jsJudged ? FormatScore(Evaluation) : JudgeStateText(state)));
  if (!EvaluationText.empty()) AppendLine(L, EvaluationText);
  if (state == jsJudged)
    for (const TResultT* t : *this) t->ReportText(L);
}

void TResultE::XMLLoad(pugi::xml_node Node) {
  state = static_cast<TJudgeState>(ReadXMLAttribute(Node, "State", static_cast<int>(jsUnknown)));
  Clear();
  if (state != jsJudged) {
    Evaluation = 0;
    EvaluationText.clear();
    return;
  }
  Evaluation = ReadXMLAttribute(Node, "Evaluation", -1.0);
  EvaluationText = Evaluation < 0 ? "" : ReadXMLAttribute(Node, "EvaluationText", "");
  ForEachElement(Node, [this](pugi::xml_node child) {
    const std::string name = ReadXMLAttribute(child, "TestName", "");
    if (!name.empty()) ObjF(name)->XMLLoad(child);
  });
}

void TResultE::XMLSave(pugi::xml_node Node) const {
  WriteXMLAttribute(Node, "ExamName", FName);
  WriteXMLAttribute(Node, "State", static_cast<int>(state));
  RemoveChildNodes(Node);
  if (state != jsJudged) return;
  WriteXMLAttribute(Node, "Evaluation", Evaluation);
  WriteXMLAttribute(Node, "EvaluationText", EvaluationText);
  for (const TResultT* t : *this) t->XMLSave(Node.append_child(kTestElement));
}

// ---- TResultC ----------------------------------------------------------

void TResultC::SetOwner(TModelObject* aOwner) { Owner = dynamic_cast<TResultSet*>(aOwner); }

std::string TResultC::Dir() const { return JoinPath(Owner != nullptr ? Owner->Dir() : "", FName); }

void TResultC::UpdateScore() {
  double sum = 0;
  for (const TResultE* e : *this)
    if (e->state == jsJudged) sum += FiniteOrZero(e->Evaluation);
  Evaluation = sum;
}

void TResultC::XMLLoad(pugi::xml_node Node) {
  Evaluation = ReadXMLAttribute(Node, "Evaluation", 0.0);
  Clear();
  ForEachElement(Node, [this](pugi::xml_node child) {
    const std::string name = ReadXMLAttribute(child, "ExamName", "");
    if (name.empty()) return;
    // One damaged result costs only itself, not the rest of the document.
    try {
      ObjF(name)->XMLLoad(child);
    } catch (const std::exception& e) {
      Exclude(name);
      if (Owner != nullptr)
        Owner->AddLoadProblem({"Kết quả của thí sinh \"" + FName + "\" ở bài thi \"" + name +
                                   "\" bị hỏng nên bị bỏ qua. Chi tiết: " + e.what(),
                               true});
    }
  });
}

void TResultC::XMLSave(pugi::xml_node Node) const {
  WriteXMLAttribute(Node, "ContestantName", FName);
  WriteXMLAttribute(Node, "Evaluation", Evaluation);
  RemoveChildNodes(Node);
  for (const TResultE* e : *this) e->XMLSave(Node.append_child(kExamElement));
}

// ---- TResultSet --------------------------------------------------------

void TResultSet::SetDir(const std::string& Value) {
  FDir = ExistingFolderDir(Value);
  Load();
}

std::vector<std::string> TResultSet::ContestantFolderNames() {
  return LoadableSubFolders(FDir, "thí sinh", FLoadProblems, NonEmptyFolderWeight);
}

void TResultSet::Load() {
  if (OnBeforeLoad) OnBeforeLoad(this);
  Clear();
  FLoadProblems.clear();
  if (!FDir.empty())
    for (const std::string& name : ContestantFolderNames()) Include(CreateObj(name, true));
  if (OnLoaded) OnLoaded(this);
}

void TResultSet::Refresh() {
  if (OnBeforeLoad) OnBeforeLoad(this);
  FLoadProblems.clear();
  if (FDir.empty()) {
    Clear();
  } else {
    const std::vector<std::string> names = ContestantFolderNames();
    DoFilter(names);
    for (const std::string& name : names)
      if (Obj(name) == nullptr) Include(CreateObj(name, true));
  }
  if (OnLoaded) OnLoaded(this);
}

void TResultSet::CleanScore(const std::string& EName) {
  for (TResultC* c : *this) {
    const TResultE* e = c->Obj(EName);
    if (e == nullptr) continue;
    if (e->state == jsJudged) c->Evaluation -= e->Evaluation;
    c->Exclude(EName);
  }
}

void TResultSet::SyncE(const TExamSet& ESet) {
  const std::vector<std::string> names = ESet.KeyExport();
  SyncEA(names);
}

void TResultSet::SyncEA(std::span<const std::string> elist) {
  for (TResultC* c : *this) {
    c->DoFilter(elist);
    std::vector<std::string> notJudged;
    for (const TResultE* e : *c)
      if (e->state == jsNotyetJudged) notJudged.push_back(e->Name());
    for (const std::string& name : notJudged) c->Exclude(name);
  }
}

void TResultSet::FileLoad(const std::string& FileName) {
  TCompressedXML doc;
  doc.LoadFromFile(FileName);
  if (const pugi::xml_node root = doc.child(kResultRoot)) XMLLoad(root);
}

void TResultSet::FileSave(const std::string& FileName) const {
  TCompressedXML doc;
  XMLSave(doc.append_child(kResultRoot));
  doc.SaveToFile(FileName);
}

void TResultSet::StreamLoad(std::istream& Stream) {
  TCompressedXML doc;
  doc.LoadFromStream(Stream);
  if (const pugi::xml_node root = doc.child(kResultRoot)) XMLLoad(root);
}

void TResultSet::StreamSave(std::ostream& Stream) const {
  TCompressedXML doc;
  XMLSave(doc.append_child(kResultRoot));
  doc.SaveToStream(Stream);
}

void TResultSet::XMLLoad(pugi::xml_node Node) {
  Clear();
  ForEachElement(Node, [this](pugi::xml_node child) {
    const std::string name = ReadXMLAttribute(child, "ContestantName", "");
    // The name becomes the contestant's folder: one safe component only.
    if (!IsSafePathComponent(name)) return;
    // A contestant whose folder is refused for its name must not come back
    // through the results and be judged after all.
    if (!IsValidUtf8Name(name)) {
      AddLoadProblem({"Bỏ qua kết quả của thí sinh \"" + ShowableName(name) +
                          "\": tên thí sinh không phải UTF-8 nên không chấm được.",
                      true});
      return;
    }
    ObjF(name)->XMLLoad(child);
  });
}

void TResultSet::XMLSave(pugi::xml_node Node) const {
  RemoveChildNodes(Node);
  for (const TResultC* c : *this) c->XMLSave(Node.append_child(kContestantElement));
}

}  // namespace velkor
