// The name of a file dropped into the submission folder: parsed as a path,
// then as a real file the folder scan lists.
#include "judging/NamedObjs.h"
#include "judging/SubmitU.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace velkor;
using namespace velkor::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string name(reinterpret_cast<const char*>(Data), Size);
  TSubmitRec parsed;
  ParseSubmitName(name, parsed);
  // Whatever the fields hold, the intake's name rules only answer.
  (void)RefusedSubmissionReason(parsed);

  // As a file in the submission folder, when the file system takes the name.
  if (name.empty() || name.size() > 255 || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos || name == "." || name == "..")
    return 0;
  const std::string dir = ScratchDir() + "/submit";
  fs::create_directories(dir);
  WriteFile(dir + "/" + name, "x");
  TQueue<TSubmitRec> queue = ScanSubmissionDir(dir);
  while (!queue.Empty()) {
    const TSubmitRec rec = queue.Pop();
    // Both names become paths inside the contestants folder.
    FuzzAssert(IsSafePathComponent(rec.CName));
    FuzzAssert(IsSafePathComponent(rec.EName));
    FuzzAssert(rec.FileName == name);
  }
  fs::remove_all(dir);
  return 0;
}
