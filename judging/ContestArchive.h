// The parts of the contest archive that stand on their own: which names an
// archive may hold, and the two folder lists. TContestInfo::FileSave and
// FileLoad (ContestArchive.cpp) are built on them.
//
// A ".contest" archive is a ZIP file, every entry deflated, "/" between the
// components of entry names, no folder entries, in this order:
//
//   Tasks/<path>                  every file of the tasks tree, breadth first
//   Contestants/<path>            every file of the contestants tree
//   Tasks.config                  the exam list document (compressed XML)
//   TaskDirectories.txt           every folder of the tasks tree
//   ContestantDirectories.txt     every folder of the contestants tree
//   Contest.result                the results document (compressed XML)
//
// The folder lists bring back folders that hold no file (an exam without
// tests, a contestant without sources): UTF-8 with a byte order mark, one
// path per line relative to the tree, "\" between components, every line
// ended by CR LF.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

inline constexpr const char* kArchiveTasksFolder = "Tasks";
inline constexpr const char* kArchiveContestantsFolder = "Contestants";
inline constexpr const char* kTasksConfigEntry = "Tasks.config";
inline constexpr const char* kTaskDirectoriesEntry = "TaskDirectories.txt";
inline constexpr const char* kContestantDirectoriesEntry = "ContestantDirectories.txt";
inline constexpr const char* kContestResultEntry = "Contest.result";
// The folder an archive is unpacked into, under the unpack folder of the
// environment; "VelkorContest1", "VelkorContest2" ... when it is in use.
inline constexpr const char* kUnpackFolderName = "VelkorContest";

// A path read from an archive (an entry name or a line of a folder list) as
// a path relative to the folder it is unpacked into, components joined by
// "/"; "\" separates components too, as it does where such archives are
// often made. Nothing when the path could reach outside that folder or
// names nothing: empty, absolute, a drive prefix ("C:"), a "." or ".."
// component, a control character. Empty components ("a//b") are dropped;
// a trailing separator (a folder entry) is allowed and dropped.
std::optional<std::string> SafeArchivePath(std::string_view Name);

// The text of a folder list for Folders (paths relative to the tree, "/"
// between components).
std::string FolderListText(std::span<const std::string> Folders);
// The lines of a folder list as they are read back: the byte order mark
// skipped, lines ended by CR LF, LF or CR, each trimmed of blanks and
// control characters at both ends, empty lines left out.
std::vector<std::string> FolderListLines(std::string_view Text);

}  // namespace velkor
