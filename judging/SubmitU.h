// Online submission intake.
//
// Contestants hand in a solution by dropping a file into the watched
// submission folder. Its base name ends with the contestant and the exam,
// each in square brackets, before the extension:
//
//   any text [contestant] [exam] .ext      e.g. "bai nop[An][Bai1].cpp"
//
// The main window's online loop lists the submissions oldest first
// (ScanSubmissionDir), refuses names a saved contest could not keep
// (RefusedSubmissionReason), and takes the new file into the contestant's
// folder under the exam's name, where the judge engine finds it, while the
// contestant's earlier files of that exam go into "$History" inside the
// contestant's folder under time-stamped names (TakeSubmissionIn; the two
// halves on their own are BackupSubmissionHistory and
// MoveSubmissionToContestant). It takes a file only once it is complete
// (TSubmissionWaits), and keeps a copy of everything it takes or refuses in
// the submission folder's own "$History".
//
// Both names become paths inside the contestants folder, so a file whose
// contestant or exam is not one safe path component ("..", ".", a name with
// "/" or a control character) is no submission: it is never listed and
// stays where it is, and the two move routines refuse such names.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/FileUtils.h"
#include "core/LinkedLists.h"

namespace velkor {

class TResultC;

// One parsed submission.
struct TSubmitRec {
  std::string Dir;       // the file's folder, with a trailing "/"
  std::string FileName;  // the file's name, without folder
  std::string Ext;       // from the last "." on, dot included; "" without one
  std::string Other;     // the text before the contestant's "["
  std::string CName;     // the contestant, between the first pair of brackets
  std::string EName;     // the exam, between the last pair of brackets
};

// The name of the folder that keeps a contestant's earlier submissions.
inline constexpr const char* kHistoryFolderName = "$History";

// Fills Rec from the path FullName. Names are taken as they stand, without
// trimming; a field the name does not give stays empty.
void ParseSubmitName(const std::string& FullName, TSubmitRec& Rec);

// The submissions directly inside Dir, oldest first by the later of each
// file's creation and last-write time (equal times in no fixed order).
// Log files (".log" in any case), files without both names, files naming an
// unsafe contestant or exam, and symbolic links are left out and left
// alone. A Dir that does not exist gives an empty queue.
TQueue<TSubmitRec> ScanSubmissionDir(const std::string& Dir);

// Moves every file of RC's folder named EName or EName + "." + anything
// (letter case aside) into RC's "$History" folder under its history name.
// Nothing to move: nothing happens, no "$History" is made. A failed move
// raises with the Vietnamese message of MoveOrFail.
void BackupSubmissionHistory(const TResultC& RC, const std::string& EName);

// Moves the submitted file into RC's folder (created when missing) as
// Rec.EName + Rec.Ext, replacing a file of that name. A failed move raises.
void MoveSubmissionToContestant(const TSubmitRec& Rec, const TResultC& RC);

// Why a contest could not keep Rec's file as the intake takes it in, in
// Vietnamese, to stand before ": bài nộp không được chấm": a contestant's
// name that is not UTF-8 (no contestants set takes one), or a contestant's
// folder or source whose name a saved contest cannot give back as it is
// (ArchiveKeepsFolder, ArchiveKeepsFile: every save would fail). "" when
// nothing stands against it.
std::string RefusedSubmissionReason(const TSubmitRec& Rec);

// Makes a contestant's folder at Path when missing, by one mkdir: the
// contestants folder above it is never made (one that went, renamed or
// moved by the jury, must not grow again at its old path as a second
// contest). Raises, in Vietnamese, unless a folder stands at Path.
void MakeContestantFolder(const std::string& Path);

// Takes the submitted file into RC's folder (made when missing, by
// MakeContestantFolder) as Rec.EName + Rec.Ext, and the contestant's
// earlier files of the exam into its "$History" under their history names,
// in an order that a failure or a kill at any step never leaves the
// contestant without a source nor the submission lost: the file is copied
// into the folder first, under a staging name no scan lists (the one step
// that needs room on the contestants' disk); the earlier files get their
// history names beside their own (a hard link, or a copy); the new file
// takes its name; the earlier files lose their own names; the submission
// leaves its folder last. A kill before that last step leaves it waiting
// to be taken again, and staging folders a killed intake left are cleared
// on the next one. When a step fails, everything is put back as it was
// and the error says why, in Vietnamese; so it is when the submission was
// rewritten while it was being copied.
void TakeSubmissionIn(const TSubmitRec& Rec, const TResultC& RC);

// The sub-folder of the submission folder that keeps, under the name
// "<stamp>_<file name>", a copy of every submission taken into the contest
// and every file that was refused. Whatever the contest does with its
// folders afterwards (an opened contest archive's unpack folder is deleted
// when the jury opens another contest without saving), what a contestant
// handed in survives here. Made readable by the jury's account only: the
// submission folder is often shared with the contestants.
std::string SubmissionHistoryFolder(const std::string& SubmitDir);

// Copies the submitted file into its submission folder's history; returns
// the copy's path. Raises when the copy fails or the history folder is not
// a real folder (a link is never written through).
std::string KeepSubmissionCopy(const TSubmitRec& Rec);
// Moves the submitted file there instead (a file that is refused); returns
// its new path. Raises like KeepSubmissionCopy.
std::string SetSubmissionAside(const TSubmitRec& Rec);

// Decides when a submitted file is complete and may be taken.
//
// A file is left where it is while a process has it open for writing
// (platform::FileWriteState), or while its size or times changed less than
// kQuietSeconds ago. "Changed" is read from the file's own change and
// modification times; a time in the future (another machine's clock, a
// touched file) is not trusted, and a change that we saw ourselves (size or
// times differ from the previous look) always counts from the moment we saw
// it. Times come from SubmitClockNow, so tests can move them on.
class TSubmissionWaits {
 public:
  static constexpr double kQuietSeconds = 1;
  static constexpr double kLongWaitSeconds = 60;

  enum TState {
    swReady,        // complete: take it
    swBusy,         // still being written: look again later
    swBusyTooLong,  // still being written kLongWaitSeconds after it was first
                    // seen: answered once per file, then swBusy again
  };
  TState Check(const std::string& Path);
  // Why Path was busy at its last Check, in Vietnamese for the jury, to
  // follow the file's name: "đang được mở để ghi bởi tiến trình 42 ...".
  std::string BusyReason(const std::string& Path) const;
  // Whether a copy of Path, as it stands since its last Check, was kept
  // already (a file whose move keeps failing is copied once, not on every
  // pass); MarkCopyKept records that it was.
  bool CopyKept(const std::string& Path) const;
  void MarkCopyKept(const std::string& Path);
  // Whether the submitter was told already why Path, as it stands since
  // its last Check, could not be taken in (told once, not on every pass);
  // MarkFailureTold records that it was.
  bool FailureTold(const std::string& Path) const;
  void MarkFailureTold(const std::string& Path);
  // Path was taken away; a file that comes under its name is a new one.
  void Forget(const std::string& Path);
  // Forgets every file that is not in Present.
  void KeepOnly(const std::vector<std::string>& Present);

 private:
  struct TLook {
    std::uint64_t Dev = 0, Ino = 0, Size = 0;
    long long MTimeNs = 0, CTimeNs = 0;
    bool operator==(const TLook&) const = default;
  };
  struct TFile {
    TLook Look;
    TDateTime FirstSeen = 0;
    TDateTime LookSince = 0;    // when the current look was first seen
    bool SeenChanging = false;  // a look differed from the one before it
    bool OpenForWriting = false;
    bool Reported = false;
    bool CopyKept = false;
    bool FailureTold = false;
  };
  std::map<std::string, TFile> FFiles;
};

// The history name of a file: the stamp "YYYYMMDDhhmmsszzz" of Now, "_",
// the file's time in milliseconds since 0001-01-01 (at least 15 digits),
// then "[" CName "]" "[" EName "]" Ext. Both times are local date-times.
std::string HistoryFileName(TDateTime Now, TDateTime FileTime, const std::string& CName,
                            const std::string& EName, const std::string& Ext);

// The clock of the intake: the current local date-time, for history
// stamps and for how long a file has been quiet. Installs
// Clock and returns the previous one; an empty one restores the system
// clock.
using TLocalClock = std::function<TDateTime()>;
TLocalClock SetSubmitClock(TLocalClock Clock);
// The current local date-time by that clock.
TDateTime SubmitClockNow();

// "YYYYMMDDhhmmsszzz" of a local date-time, its time of day rounded to the
// millisecond: the stamp of history names and of the logs' second names.
std::string DateTimeStamp(TDateTime Value);

}  // namespace velkor
