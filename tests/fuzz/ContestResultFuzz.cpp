// The results document "Contest.result", read as opening a contest reads it.
#include <sstream>

#include "judging/NamedObjs.h"
#include "judging/Results.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace velkor;
using namespace velkor::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string file = ScratchDir() + "/Contest.result";
  WriteFile(file, StoredDocument(Data, Size));
  TResultSet set;
  try {
    set.FileLoad(file);
  } catch (const std::exception&) {
    return 0;  // a damaged file is an error the caller reports
  }
  // Contestant names become folder names inside the contestants folder.
  for (const TResultC* c : set) FuzzAssert(IsSafePathComponent(c->Name()));
  // What was read survives a save and a second reading unchanged.
  std::ostringstream first, second;
  set.StreamSave(first);
  TResultSet again;
  std::istringstream in(first.str());
  again.StreamLoad(in);
  again.StreamSave(second);
  FuzzAssert(first.str() == second.str());
  return 0;
}
