// The per-user configuration "Velkor.cfg" (settings and compiler table), read
// by the start-up's LoadConfiguration from the configuration folder.
#include <cstdlib>

#include "core/CompressedXML.h"
#include "judging/Compilers.h"
#include "judging/EnvConfig.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace velkor;
using namespace velkor::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The configuration folder and the registry store live under the
  // scratch folder, never in the real home.
  const std::string home = ScratchDir() + "/home";
  fs::create_directories(home + "/.config");
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
  CompilerConfig = std::make_unique<TCompilerConfig>();
  EnvConfig = std::make_unique<TEnvConfig>();
  CheckVersionSignature();  // this release's marker: the file is read, not deleted
  return 0;
}

namespace {
// The configuration file as the program saves it, as plain text.
std::string SavedConfiguration() {
  SaveConfiguration();
  TCompressedXML doc;
  doc.LoadFromFile(ConfigFileName());
  return doc.XML();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string& file = ConfigFileName();
  WriteFile(file, StoredDocument(Data, Size));
  LoadConfiguration();  // never raises: an unreadable file is kept aside
  std::error_code ec;
  fs::remove(file + ".bak", ec);
  // What was read survives a save and a second reading unchanged.
  const std::string saved = SavedConfiguration();
  LoadConfiguration();
  FuzzAssert(SavedConfiguration() == saved);
  fs::remove(file, ec);
  return 0;
}
