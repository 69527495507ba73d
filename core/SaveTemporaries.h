// The temporary files a save writes beside the file it replaces, and the
// clean-up of those a crash or a power cut left behind.
//
// A save writes "." + the file's name + "." + six letters or digits (what
// mkstemp puts in place of "XXXXXX") in the target's folder, syncs it and
// renames it over the target. When the process dies in between, the
// temporary stays; the next save into that folder removes it once it is
// old enough that no save still in progress can be writing it (a save
// writes its temporary without pause, so its time of last change keeps up).
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

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

}  // namespace velkor
