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
// Each file entry keeps whether the file is runnable, as a Unix mode in its
// external attributes (0755 or 0644); archives without modes open with
// every file not runnable.
//
// The folder lists bring back folders that hold no file (an exam without
// tests, a contestant without sources): UTF-8 with a byte order mark, one
// path per line relative to the tree, "\" between components, every line
// ended by CR LF.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "judging/SafeUnzip.h"

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
// The mark, in an unpack folder beside its two trees (so never packed), of
// changes not saved into the archive (TContestInfo::NoteUnsavedChange).
// It names the archive on its second line.
inline constexpr const char* kUnsavedMarkName = "Chưa ghi vào file kỳ thi.txt";
// An unpack folder holding the mark is moved aside, beside it, to this
// name followed by the date and time ("-2026-12-11-145603"; "-2", "-3" ...
// added when that is taken).
inline constexpr const char* kKeptUnpackFolderName = "VelkorContest-chưa-ghi";

// The names an archive gives back exactly as they are. A folder's line of
// the folder list and a file's entry name (below the tree Tree, "Tasks" or
// "Contestants") must come back unchanged through SafeArchivePath: no
// "C:drive" as the first component, no control character, no "\" inside a
// name, no blanks at either end of a folder name. Paths are relative to
// their tree, "/" between components. The save and the online intake both
// hold names to these rules.
bool ArchiveKeepsFolder(const std::string& Folder);
bool ArchiveKeepsFile(const char* Tree, const std::string& File);
// What such names are, for the jury: to follow "... có ..." in a message.
inline constexpr const char* kNamesArchiveCannotKeep =
    "ký tự điều khiển, dấu \\, khoảng trắng ở đầu hoặc cuối, hay bắt đầu bằng tên ổ đĩa như \"C:\"";

// The paths among Files and Folders that an archive cannot give back
// exactly as they are (the rules above). Each is named as Tree + "/" + its
// path; a path inside a folder already named is left out.
std::vector<std::string> NamesArchiveCannotKeep(const char* Tree, std::span<const std::string> Files,
                                                std::span<const std::string> Folders);

// The free space of the file system holding Folder, in bytes; nothing when
// it cannot be told. Replaceable, so that tests can tell a small disk.
using TFreeSpaceProbe = std::function<std::optional<std::uint64_t>(const std::string& Folder)>;
// Installs Probe (the statvfs one when empty) and returns the previous one.
TFreeSpaceProbe SetFreeSpaceProbe(TFreeSpaceProbe Probe);
// What an unpack leaves free beyond the sizes its entries declare: the
// folder lists, the results saved later, and the rest of the system.
inline constexpr std::uint64_t kUnpackSpareBytes = std::uint64_t{64} << 20;

// Unpacks every entry of the archive FileName into Folder, an empty folder
// made for it. Refuses, before writing anything, an archive holding a name
// that SafeArchivePath refuses, a symbolic link, two files with one name,
// or entries whose declared sizes with kUnpackSpareBytes exceed the free
// space of Folder's file system; stops an entry that inflates beyond its
// declared size. Entry names are taken byte for byte as stored, as the
// folder lists are; a file stored runnable is made runnable (0755 before
// the umask), no other stored permission is taken. False
// when the jury pressed Esc (the entries unpacked so far stay); raises a
// Vietnamese message on any error, after removing everything it wrote.
bool ExtractArchive(const std::string& FileName, const std::string& Folder);

// The text of a folder list for Folders (paths relative to the tree, "/"
// between components).
std::string FolderListText(std::span<const std::string> Folders);
// The lines of a folder list as they are read back: the byte order mark
// skipped, lines ended by CR LF, LF or CR, each trimmed of blanks and
// control characters at both ends, empty lines left out.
std::vector<std::string> FolderListLines(std::string_view Text);

}  // namespace velkor
