// The exam side of the contest model: the jury's tasks folder read into
// memory.
//
// The tasks folder holds one sub-folder per exam (problem), named after the
// exam, and each exam folder one sub-folder per test, named after the test,
// with the test's input and answer files. TExamSet is that tree: one
// TExamInfo per exam folder holding one TTestInfo per test folder. The
// exam's settings (file names, standard input and output, checker, mark
// and limits) and the per-test overrides live in the exam folder's
// "Settings.cfg"; the settings of all exams travel together as
// "Tasks.config" inside a contest archive. Both are compressed XML:
//
//   <ExamInformation Name InputFile UseStdIn OutputFile UseStdOut
//                    EvaluatorName Mark TimeLimit MemoryLimit>
//     <TestCase Name Mark TimeLimit MemoryLimit/>   one per test, name order
//   </ExamInformation>
//
//   <Tasks> <Exam ...the attributes and TestCase children above.../>... </Tasks>
//
// Reading matches elements by their "Name" attribute, never by element
// name, and never creates an exam or a test: those exist only as folders.
// A missing attribute keeps the current value; a number that does not
// parse keeps it too; a Boolean that does not convert raises.
//
// Input and output file names come from files that travel inside archives
// and later become paths inside the contest's folders, so a list holding a
// name that is not one safe path component ("..", "a/b") is refused on
// reading and the exam keeps its current list.
#pragma once

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "judging/NamedObjs.h"

namespace velkor {

class TExamInfo;
class TExamSet;

// The settings file in every exam folder.
inline constexpr std::string_view kExamSettingsFileName = "Settings.cfg";

// The largest limits the runner takes. It counts a run's time in 32-bit
// milliseconds (the top value meaning no limit) and its memory in bytes up
// to 4 GiB, so a larger limit read from a file would wrap around to a tiny
// one: such limits are lowered to these when read, and the jury is told.
inline constexpr double kMaxTimeLimit = 4294967;    // seconds
inline constexpr double kMaxMemoryLimit = 4096;     // MiB

// True when every item of a "|"-separated file list, blanks around it
// removed, is empty or one safe path component.
bool IsSafeFileList(std::string_view List);
// The names of a "|"-separated file list as a test run reads them: each
// item with the characters up to the blank trimmed off, empty ones left
// out, in order.
std::vector<std::string> FileListItems(std::string_view List);
// True when a "|"-separated file list names no file (FileListItems finds
// none).
bool IsEmptyFileList(std::string_view List);

// One test.
class TTestInfo : public INamedObj {
 public:
  TTestInfo() = default;
  virtual ~TTestInfo() = default;

  const std::string& Name() const override { return FName; }
  void SetName(const std::string& aName) override { FName = aName; }
  // Owner becomes aOwner when it is an exam, else none.
  void SetOwner(TModelObject* aOwner) override;

  // The test's own value when it is 0 or more, else the owning exam's (or,
  // without an owner, the value a new exam has).
  double GetActualMark() const;
  double GetActualTimeLimit() const;
  double GetActualMemoryLimit() const;

  // The test folder: the exam's folder, "/", the test name.
  std::string Dir() const;

  void XMLLoad(pugi::xml_node Node);
  void XMLSave(pugi::xml_node Node) const;

  double Mark = -1;         // negative: the exam's
  double TimeLimit = -1;    // seconds; negative: the exam's
  double MemoryLimit = -1;  // MiB; negative: the exam's
  TExamInfo* Owner = nullptr;

 private:
  std::string FName;
};

// One exam: the set of its tests, and its settings.
class TExamInfo : public TNamedObjSet<TTestInfo>, public INamedObj {
 public:
  // The defaults: enabled, no standard input or output, mark 1, 1 s,
  // 1024 MiB, and the first loaded checker (none when no checker is
  // loaded).
  TExamInfo();

  static constexpr double kDefaultMark = 1;
  static constexpr double kDefaultTimeLimit = 1;
  static constexpr double kDefaultMemoryLimit = 1024;

  const std::string& Name() const override { return FName; }
  void SetName(const std::string& aName) override { FName = aName; }
  // Owner becomes aOwner when it is an exam set, else none.
  void SetOwner(TModelObject* aOwner) override;

  // The exam folder: the owner's tasks folder and the exam name, joined
  // with one "/" (just "/" and the name without a tasks folder).
  std::string Dir() const;
  // The caption of the exam's column in the result grid: "✓ " or "◯ "
  // (enabled or not) and the name.
  std::string ColumnHeader() const;

  // Fills a new exam, named and owned, from its folder: one test per
  // sub-folder, the file names NAME.INP and NAME.OUT, then its
  // "Settings.cfg" when there is one.
  void Load();
  // The two halves of Load: the tests from the sub-folders, then the file
  // names NAME.INP and NAME.OUT and the "Settings.cfg" when there is one.
  void LoadTests();
  void LoadSettings();

  // The settings document from or to FileName; an empty FileName means
  // "Settings.cfg" in the exam folder (found ignoring letter case). Saving
  // replaces the file atomically. An empty FileName on an exam without a
  // tasks folder raises EXMLError.
  void FileLoad(const std::string& FileName = "");
  void FileSave(const std::string& FileName = "") const;
  void StreamLoad(std::istream& Stream);
  void StreamSave(std::ostream& Stream) const;

  // One exam element: ignored as a whole when its "Name" is not this exam's
  // name (ASCII letter case aside).
  void XMLLoad(pugi::xml_node Node);
  void XMLSave(pugi::xml_node Node) const;

  TExamSet* Owner = nullptr;
  bool Enabled = true;      // takes part in judging
  bool UseStdIn = false;    // the program reads standard input
  bool UseStdOut = false;   // the program writes standard output
  std::string InputFile;    // input file names, "|"-separated
  std::string OutputFile;   // output file names, "|"-separated
  std::string EvaluatorName;  // the checker's plug-in file name
  double Mark = kDefaultMark;                // mark of each test
  double TimeLimit = kDefaultTimeLimit;      // seconds per test run
  double MemoryLimit = kDefaultMemoryLimit;  // MiB per test run
  void* Tag = nullptr;      // the caller's; never read, saved or copied here
  // True while the exam runs on default settings because its own
  // "Settings.cfg" could not be read; reading an exam element of its name
  // (the contest's exam list) clears it. Never stored.
  bool SettingsMissing = false;

  // Copies every setting (Enabled included) and the overrides of the tests
  // both exams have to To; with AddTests, From's tests that To lacks are
  // added to it.
  static void CopySettings(const TExamInfo& From, TExamInfo& To, bool AddTests);

 private:
  std::string SettingsFileName() const;
  // Lowers the limits above the runner's to its largest and tells the set.
  void ClampLimits();

  std::string FName;
};

// All exams of a contest: the tasks folder.
class TExamSet : public TNamedObjSet<TExamInfo> {
 public:
  // The tasks folder, ending with "/", or empty.
  const std::string& Dir() const { return FDir; }
  // Takes Value (with a "/" ensured at its end) when it names an existing
  // folder, else no folder; then loads the set afresh, always.
  void SetDir(const std::string& Value);

  // Rescans the folder: exams whose folder is gone are freed, every other
  // exam is read afresh from its folder and "Settings.cfg", keeping only
  // the jury's Enabled, Mark, TimeLimit and MemoryLimit of an exam that was
  // there before.
  void Refresh();

  // The exam list document "Tasks.config".
  void FileLoad(const std::string& FileName);
  void FileSave(const std::string& FileName) const;
  void StreamLoad(std::istream& Stream);
  void StreamSave(std::ostream& Stream) const;
  void XMLLoad(pugi::xml_node Node);
  void XMLSave(pugi::xml_node Node) const;

  // Raised before and after every full load and every refresh (not after
  // one that failed); the sender is the set.
  TNotifyEvent OnLoaded;
  TNotifyEvent OnBeforeLoad;

  // What went wrong in the last SetDir or Refresh, and in the exam lists
  // read since. A single damaged exam never fails the load: it is kept
  // with its tests, on the settings it had before a refresh or else the
  // defaults, and named here. Only a tasks folder that cannot be read at
  // all still raises.
  const TLoadProblems& LoadProblems() const { return FLoadProblems; }
  void AddLoadProblem(TLoadProblem Problem) { FLoadProblems.push_back(std::move(Problem)); }

 private:
  void Load();
  // Old: the exam of that name before a refresh, whose settings stand in
  // when the folder's cannot be read.
  std::unique_ptr<TExamInfo> LoadExam(const std::string& Name, const TExamInfo* Old);
  std::vector<std::string> ExamFolderNames();
  // Names, as load problems, the input and answer files Exam's settings
  // name that some of its tests lack.
  void NameMissingTestFiles(const TExamInfo& Exam);

  std::string FDir;
  TLoadProblems FLoadProblems;
};

// The line that tells the jury an exam's "Settings.cfg" could not be read;
// Fallback says which settings the exam has instead.
std::string DamagedSettingsText(const std::string& Exam, const std::string& Detail, const std::string& Fallback);

}  // namespace velkor
