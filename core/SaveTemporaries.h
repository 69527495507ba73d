// The temporary files a save writes beside the file it replaces, and the
// clean-up of those a crash or a power cut left behind.
//
// A save writes "." + the file's name + "." + six letters or digits (what
// mkstemp puts in place of "XXXXXX") in the target's folder, syncs it and
// renames it over the target. When the process dies in between, the
// temporary stays. A save that holds a lock on its temporary while it
// writes it (MakeHeldTemporary) lets the next save remove every temporary
// nobody holds at once (RemoveUnheldTemporaries), however fresh; for the
// others the next save waits until they are old enough that no save still
// in progress can be writing them (a save writes its temporary without
// pause, so its time of last change keeps up).
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "platform/UniqueFd.h"

namespace velkor {

// A temporary older than this (by its time of last change) belongs to no
// save in progress.
inline constexpr std::chrono::seconds kStaleTemporaryAge{60 * 60};

// The mkstemp template of a save of the file named Name: ".<Name>.XXXXXX".
std::string SaveTemporaryTemplate(std::string_view Name);

// True when FileName is "<Stem>.XXXXXX" with XXXXXX six ASCII letters or
// digits, Stem compared exactly (ExactCase) or ignoring ASCII case.
bool IsTemporaryOf(std::string_view FileName, std::string_view Stem, bool ExactCase = true);

// True when FileName is the temporary of a save of Name: ".<Name>.XXXXXX".
bool IsSaveTemporaryOf(std::string_view FileName, std::string_view Name, bool ExactCase = true);

// Removes from Folder (not below it) every regular file (never a link or
// a folder) whose name Matches and whose last change is older than
// kStaleTemporaryAge. Failures are ignored: the clean-up must never stop
// the save that runs it.
void RemoveStaleTemporaries(const std::string& Folder, const std::function<bool(std::string_view)>& Matches);

// Makes a temporary from the mkstemp template Path (replaced by the name
// made) and locks it: the lock lasts while the returned descriptor stays
// open, and dies with the process. An invalid descriptor, errno set, when
// no file could be made.
platform::UniqueFd MakeHeldTemporary(std::string& Path);

// Removes from Folder (not below it) every regular file (never a link or a
// folder) whose name Matches and that no process holds a lock on. Failures
// are ignored, as for RemoveStaleTemporaries.
void RemoveUnheldTemporaries(const std::string& Folder, const std::function<bool(std::string_view)>& Matches);

}  // namespace velkor
