// The output must match the answer line by line. Blanks (spaces, tabs,
// carriage returns) at the end of a line do not count, nor do empty lines
// at the end of the file, so "CR LF" and "LF" endings and a missing final
// newline are all accepted; everything else, leading blanks and blanks
// between words included, must be the same.
#include "checkers/CheckerSupport.h"
#include "checkers/VelkorChecker.h"

namespace velkor::checkers {
namespace {

// Yields a file's bytes with the ignored blanks and end lines removed.
// A run of blanks, or of line ends, is only known to be trailing once the
// next visible byte or the end of the file arrives, so it is counted while
// it is read and, when a visible byte follows, read again from the file:
// the memory used stays the same however long the run.
class TLineNormalizer {
 public:
  explicit TLineNormalizer(TInputFile& File) : FFile(File) {}

  // The next byte of the normalised text; -1 at its end.
  int Next() {
    while (true) {
      if (FNewlinesToEmit > 0) {
        --FNewlinesToEmit;
        return '\n';
      }
      if (FReplayLeft > 0) return NextReplayed();
      if (FHeld >= 0) {
        const int c = FHeld;
        FHeld = -1;
        return c;
      }
      const int c = FFile.Get();
      if (c < 0) return -1;  // what is still pending was trailing
      if (c == '\n') {
        FBlankLength = 0;
        ++FPendingNewlines;
      } else if (IsBlankChar(c)) {
        if (FBlankLength == 0) FBlankStart = FFile.Offset() - 1;
        ++FBlankLength;
      } else {
        FNewlinesToEmit = FPendingNewlines;
        FPendingNewlines = 0;
        FReplayOffset = FBlankStart;
        FReplayLeft = FBlankLength;
        FBlankLength = 0;
        FReplayPos = FReplayEnd = 0;
        FHeld = c;
      }
    }
  }

 private:
  int NextReplayed() {
    if (FReplayPos == FReplayEnd) {
      const std::size_t Want = FReplayLeft < sizeof FReplay ? static_cast<std::size_t>(FReplayLeft) : sizeof FReplay;
      FReplayEnd = FFile.ReadAt(FReplayOffset, FReplay, Want);
      FReplayPos = 0;
      if (FReplayEnd == 0) {  // the file shrank or failed under us
        FReplayLeft = 0;
        return ' ';
      }
      FReplayOffset += FReplayEnd;
    }
    --FReplayLeft;
    return FReplay[FReplayPos++];
  }

  TInputFile& FFile;
  std::uint64_t FPendingNewlines = 0, FNewlinesToEmit = 0;
  std::uint64_t FBlankStart = 0, FBlankLength = 0;
  std::uint64_t FReplayOffset = 0, FReplayLeft = 0;
  unsigned char FReplay[4096];
  std::size_t FReplayPos = 0, FReplayEnd = 0;
  int FHeld = -1;
};

TFileVerdict CompareLines(TInputFile& Output, TInputFile& Answer) {
  TLineNormalizer Got(Output), Want(Answer);
  std::uint64_t Line = 1, Column = 1;
  while (true) {
    const int g = Got.Next(), w = Want.Next();
    if (g != w) {
      const std::string At = std::to_string(Line);
      if (g < 0) return {0, "Output thiếu: hết dữ liệu ở dòng " + At};
      if (w < 0) return {0, "Output thừa dữ liệu từ dòng " + At};
      return {0, "Sai ở dòng " + At + ", cột " + std::to_string(Column)};
    }
    if (g < 0) return {1, "Đúng"};
    if (g == '\n') {
      ++Line;
      Column = 1;
    } else {
      ++Column;
    }
  }
}

}  // namespace
}  // namespace velkor::checkers

extern "C" double Judge(const char16_t* ContestantFolder, const char16_t* JuryFolder, const char16_t* OutputFileList,
                        const char16_t* /*ExamName*/, const char16_t** JudgeText) {
  return velkor::checkers::RunChecker(ContestantFolder, JuryFolder, OutputFileList, JudgeText,
                                      velkor::checkers::CompareLines);
}
