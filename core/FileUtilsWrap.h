// Guarded file operations: copy, move and delete that either succeed or
// raise std::runtime_error with a Vietnamese message naming the paths, for
// the judge engine, the submission intake and the contest archive.
//
// They retry through the routines of FileUtils.h and wait through its
// RetrySleep, so a persistent failure costs time: about 10 s for a copy or
// move, about 36 s for DeleteOrFail, before the error.
#pragma once

#include <string>

namespace velkor {

// Copies the file or folder Source into DestDir (created with its parents
// when missing), under NewName when that is not empty.
void CopyOrFail(const std::string& Source, const std::string& DestDir, const std::string& NewName = "");
// Moves it the same way.
void MoveOrFail(const std::string& Source, const std::string& DestDir, const std::string& NewName = "");
// Deletes the file or folder Path: a series of attempts, then another after
// 1 s and another after 5 s while Path remains, then the error.
void DeleteOrFail(const std::string& Path);
// Deletes everything in the folder Path as DeleteOrFail deletes it, and
// keeps the folder: cheaper than deleting and making it again.
void EmptyOrFail(const std::string& Path);
// Deletes Path like DeleteOrFail (waiting 1 s and 10 s), but instead of
// failing asks the user whether to retry or abort; Abort raises
// "Người sử dụng hủy lệnh". A Path that does not exist returns at once.
void DeleteOrAskUser(const std::string& Path);

// The message of a deletion that did not succeed.
std::string DeleteFailedMessage(const std::string& Path);

}  // namespace velkor
