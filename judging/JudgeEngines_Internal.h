// What the judge engine's source files share: the path and access-list
// helpers that both the run's folders and the security mode's steps use.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/Acls.h"

namespace velkor::judgeengine {

// Keeps Path's lists in Saved, to be put back later; False (and nothing
// kept) when they cannot be read, and then Path must not be changed.
bool KeepAccessLists(const std::string& Path, std::vector<std::pair<std::string, platform::TAccessListCopy>>& Saved);

std::string WithoutTrailingDelimiter(std::string Path);

// A path with its links followed; "" when it cannot be resolved.
std::string RealPath(const std::string& Path);

// Whether the folder Path is gone: nothing, or no folder, is there. A
// folder Velkor's account may not look into (the security mode's lists)
// is not gone.
bool FolderGone(const std::string& Path);

// Whether Path is Folder or lies below it; both real paths.
bool InsideOrSame(const std::string& Path, const std::string& Folder);

}  // namespace velkor::judgeengine
