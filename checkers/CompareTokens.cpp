// The default checker: the output and the answer must hold the same
// whitespace-separated tokens in the same order; how the tokens are spaced
// and broken into lines does not matter.
#include "checkers/CheckerSupport.h"
#include "checkers/VelkorChecker.h"

namespace velkor::checkers {
namespace {

TFileVerdict CompareTokens(TInputFile& Output, TInputFile& Answer) { return CompareTokenwise(Output, Answer, "từ"); }

}  // namespace
}  // namespace velkor::checkers

extern "C" double Judge(const char16_t* ContestantFolder, const char16_t* JuryFolder, const char16_t* OutputFileList,
                        const char16_t* /*ExamName*/, const char16_t** JudgeText) {
  return velkor::checkers::RunChecker(ContestantFolder, JuryFolder, OutputFileList, JudgeText,
                                      velkor::checkers::CompareTokens);
}
