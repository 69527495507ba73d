// The main of every test program. ctest runs the cases of one program as
// separate processes side by side; each process gets folders of its own
// (HOME, the XDG folders and TMPDIR) under the ones ctest gave it, so no two
// cases ever share a configuration file, a temporary file or a capture file.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
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

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const std::filesystem::path root = MakePrivateRoot();
  if (!root.empty()) {
    UseFolder("HOME", root / "home");
    UseFolder("XDG_CONFIG_HOME", root / "home/.config");
    UseFolder("XDG_DATA_HOME", root / "home/.local/share");
    UseFolder("TMPDIR", root / "tmp");
  }
  const int result = RUN_ALL_TESTS();
  std::error_code ec;
  if (!root.empty()) std::filesystem::remove_all(root, ec);
  return result;
}
