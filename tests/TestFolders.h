// Private folders for one test process: ctest runs the cases of one program
// as separate processes side by side, and each gets its own HOME, XDG
// folders, TMPDIR and XDG_RUNTIME_DIR under the ones ctest gave it, so no
// two cases ever share a configuration file, a temporary file, a capture
// file or the program's single-instance lock.
#pragma once

#include <filesystem>

class TPrivateTestFolders {
 public:
  // Makes the folders and points the environment at them; sets the
  // offscreen Qt platform (unless one is chosen) and the C.UTF-8 locale.
  TPrivateTestFolders();
  // Removes them again.
  ~TPrivateTestFolders();
  TPrivateTestFolders(const TPrivateTestFolders&) = delete;
  TPrivateTestFolders& operator=(const TPrivateTestFolders&) = delete;

 private:
  std::filesystem::path FRoot;
};
