// One pass of online judging, and the submitters' log files.
//
// The main window watches the submission folder and, while files wait
// there, runs a pass every second (MainUnit). A pass takes the waiting
// submissions oldest first; for each:
//
//   - a file that is still being written (open for writing, or changed
//     within the last second; TSubmissionWaits) stays where it is for a
//     later pass; when it is still busy a minute after it was first seen,
//     its log says so, once;
//   - a file naming an exam the contest lacks, or names a saved contest
//     could not keep (RefusedSubmissionReason), is moved into the
//     submission folder's "$History" and its log says why;
//   - an earlier log of the same submission is set aside under the stamp
//     of its own time (never deleted), or, when it cannot be, the new log
//     gets a time-stamped name;
//   - a new contestant and its folder are made when needed, but never the
//     exams or contestants folder: while either is missing (renamed or
//     moved while judging), every submission waits;
//   - a copy of the file goes into the submission folder's "$History", so
//     that it outlives the contest's folders; the file comes into the
//     contestant's folder as the exam's source and the contestant's
//     earlier files of the exam go to its history (TakeSubmissionIn), and
//     that one pair is judged at once;
//   - the exam result's report becomes "Logs/<file name>.log" beside the
//     submissions: UTF-8 with a byte order mark, lines ended by CR LF,
//     written under a ".tmp" name first and then moved into place.
//
// A submission that fails before it is judged (a full disk, a folder that
// cannot be made, a contest folder gone) stays where it is for the next pass, the contestant keeps
// its earlier source, and the file's log says why, once; a failure while
// judging or writing a log ends the pass and reaches the caller.
//
// The pass knows nothing of windows: the caller gives it the contest and
// hooks for what the window does (judging through the judging window,
// refreshing the grid, marking the contest changed).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/FileUtils.h"
#include "core/LinkedLists.h"
#include "judging/JudgeEngines.h"

namespace velkor {

class TContestInfo;

// The sub-folder of the submission folder that receives the logs.
inline constexpr const char* kLogsFolderName = "Logs";

// The 17 digits "YYYYMMDDhhmmsszzz" of a local date-time.
std::string FormatTimeStamp(TDateTime Time);

// The name to write the log of submission file F under, in the folder Logs
// (ending with "/"): F + ".log" when no such file exists or the earlier one
// could be set aside as F + "." + the stamp of its last write + ".log" (the
// first such name free from that millisecond on); otherwise F + "." + the
// current time stamp + ".log", the first such name that is free, waiting
// 100 ms between tries. No log is ever deleted or overwritten.
std::string GetLogFileName(const std::string& Logs, const std::string& F);

// Writes Lines to Path as a log: byte order mark, every line ended by
// CR LF, through Path + ".tmp" moved onto Path. Raises when the text cannot
// be written; never writes through a symbolic link.
void WriteSubmissionLog(const std::string& Path, const std::vector<std::string>& Lines);

struct TOnlineJudgeHooks {
  // Judges the queue (one pair) and returns when it is done.
  std::function<void(TQueue<TJudgePair>& Queue)> Judge;
  // A contestant was added to the result set (rebuild the grid's rows).
  std::function<void()> ContestantAdded;
  // A submission moved into the contest.
  std::function<void()> ContestChanged;
};

// Takes the submission folder Dir for this process (judging/FolderLocks.h),
// so that no other Velkor takes its files away. "" when this process holds
// it, or Dir is no folder yet (nothing to take from); otherwise the
// Vietnamese text that tells the jury why online judging stays off there:
// another process holds it, or it lies in a folder this process deletes
// and makes again (ReplacedFolderHolding).
std::string TakeSubmissionFolder(const std::string& Dir);

// "" when Dir is an existing folder; otherwise the Vietnamese sentence that
// tells the jury the submission folder is missing, so nothing is judged
// online until it exists.
std::string MissingSubmissionFolder(const std::string& Dir);

// One pass over SubmitDir for Contest, as above. Does nothing unless both
// of the contest's folders are set; raises EFolderHeld, touching nothing,
// when another process holds the folder. Returns how many submissions were
// judged.
int JudgeSubmissionPass(TContestInfo& Contest, const std::string& SubmitDir, const TOnlineJudgeHooks& Hooks);

}  // namespace velkor
