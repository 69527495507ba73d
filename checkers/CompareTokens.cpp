// The default checker: the output and the answer must hold the same
// whitespace-separated tokens in the same order; how the tokens are spaced
// and broken into lines does not matter.
#include "checkers/CheckerSupport.h"
#include "checkers/VelkorChecker.h"

namespace velkor::checkers {
namespace {

TFileVerdict CompareTokens(TInputFile& Output, TInputFile& Answer) {
  TTokenPair Pair;
  for (std::uint64_t Index = 1; ReadTokenPair(Output, Answer, Pair); ++Index) {
    if (Pair.Equal) continue;
    const std::string At = std::to_string(Index);
    if (!Pair.HasA) return {0, "Output thiếu: hết dữ liệu ở từ thứ " + At + ", cần " + Excerpt(Pair.B, !Pair.FitsB())};
    if (!Pair.HasB) return {0, "Output thừa từ thứ " + At + ": " + Excerpt(Pair.A, !Pair.FitsA())};
    return {0, "Sai ở từ thứ " + At + ": đọc được " + Excerpt(Pair.A, !Pair.FitsA()) + ", cần " +
                   Excerpt(Pair.B, !Pair.FitsB())};
  }
  return {1, "Đúng"};
}

}  // namespace
}  // namespace velkor::checkers

extern "C" double Judge(const char16_t* ContestantFolder, const char16_t* JuryFolder, const char16_t* OutputFileList,
                        const char16_t* /*ExamName*/, const char16_t** JudgeText) {
  return velkor::checkers::RunChecker(ContestantFolder, JuryFolder, OutputFileList, JudgeText,
                                      velkor::checkers::CompareTokens);
}
