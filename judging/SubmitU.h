// Online submission intake.
//
// Contestants hand in a solution by dropping a file into the watched
// submission folder. Its base name ends with the contestant and the exam,
// each in square brackets, before the extension:
//
//   any text [contestant] [exam] .ext      e.g. "bai nop[An][Bai1].cpp"
//
// The main window's online loop lists the submissions oldest first
// (ScanSubmissionDir), moves the contestant's earlier files of that exam
// into "$History" inside the contestant's folder under time-stamped names
// (BackupSubmissionHistory), and moves the new file into the contestant's
// folder under the exam's name (MoveSubmissionToContestant), where the
// judge engine finds it.
//
// Both names become paths inside the contestants folder, so a file whose
// contestant or exam is not one safe path component ("..", ".", a name with
// "/" or a control character) is no submission: it is never listed and
// stays where it is, and the two move routines refuse such names.
#pragma once

#include <functional>
#include <string>

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

// The history name of a file: the stamp "YYYYMMDDhhmmsszzz" of Now, "_",
// the file's time in milliseconds since 0001-01-01 (at least 15 digits),
// then "[" CName "]" "[" EName "]" Ext. Both times are local date-times.
std::string HistoryFileName(TDateTime Now, TDateTime FileTime, const std::string& CName,
                            const std::string& EName, const std::string& Ext);

// The clock of the history stamps: the current local date-time. Installs
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
