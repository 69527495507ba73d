// Token by token like the default checker, except that two tokens that are
// both numbers match when they differ by at most 1e-6, absolutely or
// relative to the answer's value, whichever is larger. Numbers are read the
// same way whatever the process locale ("1.5", "-2", "3e-7"; a leading "+"
// is allowed); tokens that are not finite numbers must match exactly.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "checkers/CheckerSupport.h"
#include "checkers/VelkorChecker.h"

namespace velkor::checkers {
namespace {

constexpr double kTolerance = 1e-6;

std::optional<double> ParseNumber(std::string_view Token) {
  if (Token.size() > 1 && Token.front() == '+' && Token[1] != '-' && Token[1] != '+') Token.remove_prefix(1);
  double Value = 0;
  const auto [End, Error] = std::from_chars(Token.data(), Token.data() + Token.size(), Value);
  if (Error != std::errc() || End != Token.data() + Token.size() || !std::isfinite(Value)) return std::nullopt;
  return Value;
}

bool CloseEnough(double Got, double Want) {
  return std::fabs(Got - Want) <= kTolerance * std::max(1.0, std::fabs(Want));
}

// Two tokens read in full that are both numbers close enough.
bool SameNumber(const TTokenPair& Pair) {
  if (!Pair.FitsA() || !Pair.FitsB()) return false;
  const auto Got = ParseNumber(Pair.A), Want = ParseNumber(Pair.B);
  return Got && Want && CloseEnough(*Got, *Want);
}

TFileVerdict CompareNumbers(TInputFile& Output, TInputFile& Answer) {
  return CompareTokenwise(Output, Answer, "giá trị", SameNumber);
}

}  // namespace
}  // namespace velkor::checkers

extern "C" double Judge(const char16_t* ContestantFolder, const char16_t* JuryFolder, const char16_t* OutputFileList,
                        const char16_t* /*ExamName*/, const char16_t** JudgeText) {
  return velkor::checkers::RunChecker(ContestantFolder, JuryFolder, OutputFileList, JudgeText,
                                      velkor::checkers::CompareNumbers);
}
