// The contest archive (".contest"), opened as the program opens one: the
// input is the archive file, unpacked under the unpack folder and loaded.
#include "judging/Checkers.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace velkor;
using namespace velkor::fuzz;

namespace {
std::string Base, UnpackDir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Checkers = std::make_unique<TCheckerSet>();
  Checkers->Include(Checkers->CreateObj("CompareTokens.dll", true));
  EnvConfig = std::make_unique<TEnvConfig>();
  Base = ScratchDir() + "/archive";
  UnpackDir = Base + "/unpack";
  fs::create_directories(UnpackDir);
  EnvConfig->DecompressDir = UnpackDir;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string file = Base + "/fuzz.contest";
  WriteFile(file, std::string_view(reinterpret_cast<const char*>(Data), Size));
  {
    TContestInfo contest;
    contest.FileLoad(file);  // false on a damaged archive; never raises
    for (const TExamInfo* exam : contest.ExamSet()) {
      FuzzAssert(IsSafeFileList(exam->InputFile));
      FuzzAssert(IsSafeFileList(exam->OutputFile));
    }
  }
  // Nothing of the archive lands outside the unpack folder (beside which
  // lies only the lock that keeps it this process's).
  FuzzAssert(HoldsOnly(Base, {"unpack", "fuzz.contest"}));
  FuzzAssert(HoldsOnly(UnpackDir, {"VelkorContest", "VelkorContest.lock"}));
  return 0;
}
