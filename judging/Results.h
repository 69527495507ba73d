// The contestant side of the contest model and its scores: the jury's
// contestants folder read into memory, with every result.
//
// TResultSet holds one TResultC per contestant folder; a contestant holds
// one TResultE per exam it has a result in, and an exam result one TResultT
// per judged test. The judge engine fills them, the windows show them, and
// a contest archive stores them as "Contest.result", compressed XML:
//
//   <ContestResult>
//     <ContestantResult ContestantName Evaluation>
//       <ExamResult ExamName State [Evaluation EvaluationText]>
//         <TestResult TestName Evaluation EvaluationText/>
//       </ExamResult>
//     </ContestantResult>
//   </ContestResult>
//
// Only a judged exam result (State 1) carries a score, a text and test
// results. Reading clears the set and matches elements by attribute, never
// by element name. A contestant name becomes the contestant's folder, so a
// name that is not one safe path component is skipped on reading.
//
// Scores are shown with the environment's number pattern (FormatScore).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>

#include <pugixml.hpp>

#include "judging/NamedObjs.h"
#include "judging/XMLHelpers.h"

namespace velkor {

class TExamSet;
class TResultE;
class TResultC;
class TResultSet;

// The state of one exam result, stored in files as its ordinal. A value
// read from a file outside these is kept as it is: not scored, not pruned,
// reported as "???".
enum TJudgeState : std::int32_t {
  jsNotyetJudged,  // not judged yet
  jsJudged,        // judged; Evaluation is the score
  jsCompileError,  // the source did not compile
  jsNoSource,      // no source file for the exam
  jsFailure,       // judging failed with an error
  jsUnknown,       // no state known (a stored result without one)
};

// The report text of a state (for jsJudged the caller shows the score).
std::string JudgeStateText(TJudgeState State);

// The result of one test.
class TResultT : public INamedObj {
 public:
  TResultT() = default;
  virtual ~TResultT() = default;

  const std::string& Name() const override { return FName; }
  void SetName(const std::string& aName) override { FName = aName; }
  // Owner becomes aOwner when it is an exam result, else none.
  void SetOwner(TModelObject* aOwner) override;

  // Appends "C‣E‣T: score" and the verdict text (also when empty).
  void ReportText(TStringList& L) const;

  void XMLLoad(pugi::xml_node Node);
  void XMLSave(pugi::xml_node Node) const;

  double Evaluation = 0;       // points earned on the test
  std::string EvaluationText;  // the verdict, lines separated by CR LF
  TResultE* Owner = nullptr;

 private:
  std::string FName;
};

// The result of one contestant in one exam: the set of its test results.
class TResultE : public TNamedObjSet<TResultT>, public INamedObj {
 public:
  TResultE() = default;

  const std::string& Name() const override { return FName; }
  void SetName(const std::string& aName) override { FName = aName; }
  // Owner becomes aOwner when it is a contestant, else none.
  void SetOwner(TModelObject* aOwner) override;

  // Evaluation := the sum of the test results' scores (a score that is not
  // a finite number counts 0).
  void UpdateScore();
  // Appends "C‣E: state or score", the text when there is one, and for a
  // judged result the lines of every test result in name order.
  void ReportText(TStringList& L) const;

  void XMLLoad(pugi::xml_node Node);
  void XMLSave(pugi::xml_node Node) const;

  double Evaluation = 0;       // the exam score
  std::string EvaluationText;  // compile log or error text
  TJudgeState state = jsNotyetJudged;
  TResultC* Owner = nullptr;
  std::string CompiledFile;  // the compiled program; set by the judge, never stored

 private:
  std::string FName;
};

// One contestant: the set of its exam results.
class TResultC : public TNamedObjSet<TResultE>, public INamedObj {
 public:
  TResultC() = default;

  const std::string& Name() const override { return FName; }
  void SetName(const std::string& aName) override { FName = aName; }
  // Owner becomes aOwner when it is a result set, else none.
  void SetOwner(TModelObject* aOwner) override;

  // The contestant folder: the owner's contestants folder and the name,
  // joined with one "/" (just "/" and the name without one).
  std::string Dir() const;
  // Evaluation := the sum over the judged exam results (a score that is not
  // a finite number counts 0).
  void UpdateScore();

  void XMLLoad(pugi::xml_node Node);
  void XMLSave(pugi::xml_node Node) const;

  TResultSet* Owner = nullptr;
  bool Enabled = true;   // takes part in judging; never stored
  double Evaluation = 0;  // the contestant's total
  void* Tag = nullptr;   // the caller's; never read or stored here

 private:
  std::string FName;
};

// All contestants: the contestants folder.
class TResultSet : public TNamedObjSet<TResultC> {
 public:
  // The contestants folder, ending with "/", or empty.
  const std::string& Dir() const { return FDir; }
  // Takes Value (with a "/" ensured at its end) when it names an existing
  // folder, else no folder; then loads the set afresh (one contestant per
  // sub-folder, no results), always.
  void SetDir(const std::string& Value);

  // Rescans the folder: contestants whose folder is gone are freed with
  // their results, new folders become contestants, and the others keep
  // their results, totals and Enabled flags.
  void Refresh();

  // Removes every contestant's result in exam EName, taking its score off
  // the contestant's total when it was judged.
  void CleanScore(const std::string& EName);
  // SyncEA with the names of ESet's exams.
  void SyncE(const TExamSet& ESet);
  // Frees every exam result of an exam not in elist (sorted ascending by
  // the name comparison) and every result not judged yet. Totals are left
  // as they are.
  void SyncEA(std::span<const std::string> elist);

  // The results document "Contest.result".
  void FileLoad(const std::string& FileName);
  void FileSave(const std::string& FileName) const;
  void StreamLoad(std::istream& Stream);
  void StreamSave(std::ostream& Stream) const;
  void XMLLoad(pugi::xml_node Node);
  void XMLSave(pugi::xml_node Node) const;

  // Raised before and after every full load and every refresh; the sender
  // is the set.
  TNotifyEvent OnBeforeLoad;
  TNotifyEvent OnLoaded;

  // What went wrong in the last SetDir or Refresh (contestant folders left
  // out) and in the results documents read since (results skipped). Only a
  // folder or a document that cannot be read at all still raises.
  const TLoadProblems& LoadProblems() const { return FLoadProblems; }
  void AddLoadProblem(TLoadProblem Problem) { FLoadProblems.push_back(std::move(Problem)); }

 private:
  void Load();
  std::vector<std::string> ContestantFolderNames();

  std::string FDir;
  TLoadProblems FLoadProblems;
};

}  // namespace velkor
