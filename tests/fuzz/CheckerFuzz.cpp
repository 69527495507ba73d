// A standard checker on an arbitrary answer and output, called through the
// plug-in's entry point "Judge" as Velkor calls it. The checker's source is
// linked in (see CMakeLists.txt). The first input byte says where the rest
// splits into the answer and the output.
#include "checkers/VelkorChecker.h"
#include "core/Unicode.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace velkor;
using namespace velkor::fuzz;

namespace {
std::string JuryDir, ContestantDir;
std::u16string Jury16, Contestant16;

double JudgeOnce(const char16_t** Text) {
  return Judge(Contestant16.c_str(), Jury16.c_str(), u"Bai1.OUT", u"Bai1", Text);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  JuryDir = ScratchDir() + "/Bai1/Test01";
  ContestantDir = ScratchDir() + "/ContestRoom";
  fs::create_directories(JuryDir);
  fs::create_directories(ContestantDir);
  Jury16 = Utf8ToUtf16(JuryDir);
  Contestant16 = Utf8ToUtf16(ContestantDir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(Data + 1), Size - 1);
  const std::size_t split = rest.size() * Data[0] / 256;
  const std::string_view answer = rest.substr(0, split), output = rest.substr(split);
  WriteFile(JuryDir + "/Bai1.OUT", answer);
  WriteFile(ContestantDir + "/bai1.out", output);  // found ignoring letter case

  const char16_t* text = nullptr;
  const double score = JudgeOnce(&text);
  FuzzAssert(score >= 0.0 && score <= 1.0);
  FuzzAssert(text != nullptr);
  Utf16ToUtf8(text);  // the verdict reads to its end

  // An output that is the answer itself earns full marks.
  WriteFile(ContestantDir + "/bai1.out", answer);
  FuzzAssert(JudgeOnce(&text) == 1.0);
  return 0;
}
