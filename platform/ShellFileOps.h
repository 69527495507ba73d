// Copy, move and delete of whole files and folders, silently and without
// questions, as the judge's file routines expect of the desktop shell.
//
// Each routine returns a status: 0 on success, otherwise the negated error
// code (platform/SystemErrors.h) of the first step that failed, so a status
// is negative exactly when the operation failed.
//
// Behaviour the callers rely on:
// - Deletion is permanent and recursive. Read-only files go as well, and so
//   do write-protected folders that the caller owns (their owner permissions
//   are opened first). Deleting a path that does not exist succeeds.
// - Copy and move take Source (file, folder or symbolic link) into DestDir
//   under NewName, or under Source's own name when NewName is empty,
//   creating DestDir and its parents when missing. An existing target of
//   that name is replaced, but only once the new copy is complete: the new
//   item is built under a temporary name beside the target and renamed into
//   place, so a failure leaves the old target as it was.
// - A target that is Source itself is left intact (a copy does nothing, a
//   move has nothing to do); copying or moving a folder into itself fails.
// - Copies keep permissions and modification times. Symbolic links are
//   copied as links and never followed.
// - Moves rename within a file system; across file systems they copy, then
//   delete the source.
#pragma once

#include <string>
#include <string_view>

namespace velkor::platform {

// Copies and moves build the new item in a private folder beside the target,
// ".velkor-" and six characters; one may be left behind when the process
// dies mid-copy. Such a folder is no part of anything a scan lists.
inline bool IsStagingFolderName(std::string_view name) {
  constexpr std::string_view kPrefix = ".velkor-";
  return name.size() == kPrefix.size() + 6 && name.starts_with(kPrefix);
}

// Makes a new staging folder in folder, for work of the same kind elsewhere:
// its path, or "" with errno set.
std::string MakeStagingFolder(const std::string& folder);

int ShellDelete(const std::string& path);
int ShellCopy(const std::string& source, const std::string& destDir, const std::string& newName);
int ShellMove(const std::string& source, const std::string& destDir, const std::string& newName);

}  // namespace velkor::platform
