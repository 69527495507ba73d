// Checker plug-ins: the shared objects in "~Judgers" beside the program that
// decide how much of a test's mark a program's output earns.
//
// Each plug-in is named by its file name (".dll", as contests store it)
// and exports the C function "Judge" of checkers/VelkorChecker.h, which
// speaks UTF-16. TChecker holds one loaded plug-in; Evaluate is Velkor's
// side of that interface: it converts the UTF-8 texts of the model to
// UTF-16 and back, and turns a result that is not a finite number into 0.
//
// The process-wide set `Checkers` is created and filled first at start-up
// (a new exam takes its first checker as the default) and freed at
// clean-up, which unloads every plug-in.
#pragma once

#include <memory>
#include <string>

#include "judging/NamedObjs.h"

namespace velkor {

// The exported "Judge": the run folder with the program's output, the
// test's folder with the answer (both without a trailing "/"), the exam's
// output file list as stored ("|"-separated), the exam's name, and an out
// pointer that receives the plug-in's verdict text or null. The result is
// the fraction of the test's mark earned.
using TJudgeFunc = double (*)(const char16_t* ContestantFolder, const char16_t* JuryFolder,
                              const char16_t* OutputFileList, const char16_t* ExamName, const char16_t** JudgeText);

// One loaded plug-in. Naming it loads it; freeing it unloads it.
class TChecker : public INamedObj {
 public:
  TChecker() = default;
  virtual ~TChecker();
  TChecker(const TChecker&) = delete;
  TChecker& operator=(const TChecker&) = delete;

  // DLLName.
  const std::string& Name() const override { return DLLName; }
  // aName is the full path of a plug-in: releases the library held so far,
  // loads this one and looks up "Judge" (null when the file does not load
  // or lacks the export), and takes the file name as DLLName. A name
  // without a "/" (a placeholder's bare checker name) and the empty name
  // load nothing: a bare name would be searched for on the system's
  // library path.
  void SetName(const std::string& aName) override;
  void SetOwner(TModelObject* aOwner) override { Owner = aOwner; }

  // Calls Judge and returns the fraction it gives, with its verdict text
  // in JudgeText (empty when the plug-in gives none). A result that is not
  // a finite number gives 0, and a note is added to the text. Without a
  // Judge function the result is 0 with a text that says so. Whatever the
  // plug-in raises passes through.
  double Evaluate(const std::string& ContestantFolder, const std::string& JuryFolder,
                  const std::string& OutputFileList, const std::string& ExamName, std::string& JudgeText) const;

  void* Hdll = nullptr;       // the loaded library, null when none
  std::string DLLName;        // file name with extension, without folder
  TJudgeFunc Judge = nullptr;  // the exported "Judge", null when missing
  TModelObject* Owner = nullptr;

 private:
  void Unload();
};

using TCheckerSet = TNamedObjSet<TChecker>;

// The loaded checker plug-ins of the process; null before start-up creates
// the set and after clean-up frees it.
extern std::unique_ptr<TCheckerSet> Checkers;

// Fills Set with the plug-ins of Folder: every file (not sub-folder, not
// recursively) matching "*.dll" with ASCII letters in either case is
// loaded, and kept, under its file name, only when it exports "Judge";
// anything else is unloaded again without a message. A missing folder
// adds nothing.
void LoadCheckers(TCheckerSet& Set, const std::string& Folder);
// The same for Checkers and the folder "~Judgers" beside the program.
void LoadCheckers();

}  // namespace velkor
