// A ZIP file a contestant submitted, unpacked into the waiting room as the
// judge engine does before compiling.
#include "judging/JudgeEngines.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace velkor;
using namespace velkor::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string base = ScratchDir() + "/zip";
  const std::string room = base + "/WaitRoom";
  fs::create_directories(room);
  const std::string file = base + "/bai.zip";
  WriteFile(file, std::string_view(reinterpret_cast<const char*>(Data), Size));
  UnpackSubmissionArchive(file, room);
  // Nothing lands beside the waiting room, and nothing in it is a link.
  FuzzAssert(HoldsOnly(base, {"WaitRoom", "bai.zip"}));
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(room))
    FuzzAssert(!entry.is_symlink());
  fs::remove_all(base);
  return 0;
}
