// One contest: its exam set (the tasks folder), its result set (the
// contestants folder with every result) and the name of the archive it was
// opened from or saved to.
//
// The process-wide contest ContestInfo is created at start-up and lives for
// the whole run; the main window's contest commands reset it and set its
// folders, and the judge engine reads its two sets.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "judging/Exams.h"
#include "judging/Results.h"

namespace velkor {

// A contest archive as a contest last read or wrote it: where it is (made
// absolute, links resolved) and which file stood there, as it was.
struct TArchiveStamp {
  std::string Path;  // "" when no file stood there
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::int64_t Size = 0;
  std::int64_t ModifiedNs = 0;
  bool operator==(const TArchiveStamp&) const = default;
};

class TContestInfo {
 public:
  // An empty exam set and an empty result set, no file name.
  TContestInfo();
  // Frees the result set, then the exam set.
  ~TContestInfo();
  TContestInfo(const TContestInfo&) = delete;
  TContestInfo& operator=(const TContestInfo&) = delete;

  TExamSet& ExamSet() const { return *FExamSet; }
  TResultSet& ResultSet() const { return *FResultSet; }
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& Value) { FFileName = Value; }

  // Empties both sets through SetDir("") (each raising its events) and
  // forgets the file name, the archive as it was read and the unpack folder
  // (a mark of unsaved changes in it stays: see NoteUnsavedChange).
  void Reset();

  // The contest archive (judging/ContestArchive.cpp). FileSave packs both
  // folders, the exam settings and the results into FileName; FileLoad
  // unpacks FileName and loads the contest from there, leaving the file name
  // to the caller. Each is True only when it completed. FileLoad completes
  // also when a part inside is damaged (an exam's settings, the exam list,
  // the results): the rest opens and LoadProblems names what did not.
  // Both remember the archive as it was read or written; a later FileSave
  // to the same path that finds it changed since (another Velkor opened the
  // same archive and saved) asks the jury before replacing it, and without
  // a yes (also where nobody can answer) leaves it as it is and returns
  // False with no message.
  bool FileSave(const std::string& FileName);
  bool FileLoad(const std::string& FileName);
  // Why the last FileSave or FileLoad failed; empty after a success and
  // after the jury cancelled with Esc, which needs no message.
  const std::string& ErrorMsg() const { return FErrorMsg; }
  // What the last FileLoad could not load while the rest of the contest
  // opened: damaged exams, results or exam lists, folders left out. Empty
  // after Reset.
  const TLoadProblems& LoadProblems() const { return FLoadProblems; }
  // True when one of them left out something the archive holds.
  bool LoadLostData() const;

  // A contest opened from an archive lives in its unpack folder, and what
  // online judging accepts there lives nowhere else until the contest is
  // saved. NoteUnsavedChange, called before such a change is made, marks
  // the unpack folder (once; raising a Vietnamese message when the mark
  // cannot be written, so that the change is not made unmarked); a later
  // FileLoad then moves a marked folder aside under a dated name instead
  // of deleting it, and names it in KeptUnsaved. The mark goes with a
  // successful FileSave, or with ForgetUnsavedChanges when the jury chose
  // not to save. Both do nothing for a contest not opened from an
  // archive, and NoteUnsavedChange nothing for a contestants folder
  // chosen outside the unpack folder. NoteUnsavedExamChange does the same
  // before a change written into the exams' folder (an exam's settings).
  void NoteUnsavedChange();
  void NoteUnsavedExamChange();
  void ForgetUnsavedChanges();
  // What the last FileLoad set aside, whether it succeeded or not: one
  // Vietnamese text per folder, telling where it is now and what it holds.
  const std::vector<std::string>& KeptUnsaved() const { return FKeptUnsaved; }

  // Points the exam set at Dir, then removes every contestant's exam
  // results (and so their totals).
  void LoadExams(const std::string& Dir);
  // Points the result set at Dir.
  void LoadContestants(const std::string& Dir);

  // Finds in XML the top-level element "VelkorContest" (when there is none,
  // every top-level node is removed and the element added) and below it the
  // elements "Contestants", "Exams" and "Results" (each added when missing).
  static void FindXMLNodes(pugi::xml_document& XML, pugi::xml_node& RootNode, pugi::xml_node& ContestantsNode,
                           pugi::xml_node& ExamsNode, pugi::xml_node& ResultsNode);

 private:
  // Marks the unpack folder when Folder lies inside it.
  void NoteUnsavedChangeIn(const std::string& Folder);

  std::unique_ptr<TResultSet> FResultSet;
  std::unique_ptr<TExamSet> FExamSet;
  std::string FFileName;  // empty for a contest built from folders
  std::string FErrorMsg;
  TLoadProblems FLoadProblems;
  std::string FUnpackDir;  // the folder FileLoad unpacked into; empty after Reset
  bool FUnsavedMarked = false;
  std::vector<std::string> FKeptUnsaved;
  TArchiveStamp FArchiveSeen;  // the archive as FileLoad read it or FileSave wrote it
};

// The open contest of the process; null before start-up creates it and
// after clean-up frees it.
extern std::unique_ptr<TContestInfo> ContestInfo;

}  // namespace velkor
