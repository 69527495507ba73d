#include "TestFolders.h"

#include <stdlib.h>

#include <string>
#include <system_error>

namespace {

std::filesystem::path MakePrivateRoot() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velkor-test-XXXXXX";
  if (!mkdtemp(pattern.data())) return {};
  // Tests that drop to an unprivileged account in a child must still reach
  // their scratch folders.
  std::error_code ec;
  std::filesystem::permissions(pattern, std::filesystem::perms(0755), ec);
  return pattern;
}

void UseFolder(const char* variable, const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  setenv(variable, folder.c_str(), 1);
}

}  // namespace

TPrivateTestFolders::TPrivateTestFolders() : FRoot(MakePrivateRoot()) {
  if (FRoot.empty()) return;
  std::error_code ec;
  UseFolder("HOME", FRoot / "home");
  UseFolder("XDG_CONFIG_HOME", FRoot / "home/.config");
  UseFolder("XDG_DATA_HOME", FRoot / "home/.local/share");
  UseFolder("TMPDIR", FRoot / "tmp");
  // The account's runtime folder, as the session manager makes it.
  UseFolder("XDG_RUNTIME_DIR", FRoot / "run");
  std::filesystem::permissions(FRoot / "run", std::filesystem::perms::owner_all, ec);
  // The same fixed platform and locale for every test and every program it
  // starts, whatever the caller's shell has; a caller may still choose
  // another Qt platform (a real display, for a look at a window).
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (!platform || !*platform) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("LC_ALL", "C.UTF-8", 1);
}

TPrivateTestFolders::~TPrivateTestFolders() {
  std::error_code ec;
  if (!FRoot.empty()) std::filesystem::remove_all(FRoot, ec);
}
