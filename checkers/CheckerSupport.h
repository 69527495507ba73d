// What the standard checkers share: the UTF-16 arguments, the output list,
// finding a listed file regardless of ASCII letter case, reading files in a
// streaming way, and the verdict text that outlives the call.
//
// A standard checker supplies one comparison of an output file with its
// answer file; RunChecker does the rest: it checks every file of the exam's
// output list, each against the answer of the same name in the test folder,
// and returns the share of files that passed.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Unicode.h"

namespace velkor::checkers {

// The UTF-16 arguments and verdicts are converted by core/Unicode.h.
using velkor::Utf16ToUtf8;
using velkor::Utf8ToUtf16;

// The items of a "|"-separated list, trimmed of blanks, empty ones left out.
std::vector<std::string> SplitFileList(std::string_view List);

// A name that stays inside the folder it is joined to: not empty, no "/",
// no NUL, not "." or "..".
bool IsPlainFileName(std::string_view Name);

// Folder + "/" + the entry of Folder that equals Name ignoring the case of
// ASCII letters (Name itself when it exists as written, otherwise the first
// match in byte order); "" when there is none or the folder cannot be read.
std::string FindFileIgnoreCase(const std::string& Folder, const std::string& Name);

// A regular file read sequentially through a buffer, with random-access
// reads on the side. Opening never blocks (a FIFO is refused, not waited
// on). Get returns the next byte, or -1 at the end or after a read error.
class TInputFile {
 public:
  TInputFile() = default;
  ~TInputFile();
  TInputFile(const TInputFile&) = delete;
  TInputFile& operator=(const TInputFile&) = delete;

  // False when Path cannot be opened or is not a regular file. With
  // NoFollow, a symbolic link is refused too: a contestant's program must
  // not pass off someone else's file as its output.
  bool Open(const std::string& Path, bool NoFollow);

  int Get() {
    if (FPos == FEnd && !Fill()) return -1;
    return FBuf[FPos++];
  }
  // The offset of the byte that the next Get returns.
  std::uint64_t Offset() const { return FFileOffset - (FEnd - FPos); }
  // Reads up to Count bytes at Offset without moving the sequential
  // position; the number read, 0 at the end or on error.
  std::size_t ReadAt(std::uint64_t Offset, unsigned char* Buf, std::size_t Count);
  bool Failed() const { return FFailed; }

 private:
  bool Fill();

  int FFd = -1;
  bool FFailed = false;
  std::uint64_t FFileOffset = 0;  // offset just after the buffered bytes
  std::size_t FPos = 0, FEnd = 0;
  std::vector<unsigned char> FBuf;
};

inline bool IsBlankChar(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
inline bool IsSpaceChar(int c) { return c == '\n' || IsBlankChar(c); }

// The next whitespace-separated token of each of two files, read in
// lockstep so that neither is ever held whole.
struct TTokenPair {
  static constexpr std::size_t kKeep = 256;  // bytes of each token kept
  bool HasA = false, HasB = false;           // a token was found
  std::string A, B;                          // their first kKeep bytes
  std::uint64_t LengthA = 0, LengthB = 0;
  bool Equal = false;  // both found and byte for byte the same
  bool FitsA() const { return LengthA <= kKeep; }
  bool FitsB() const { return LengthB <= kKeep; }
};
// False when neither file has another token.
bool ReadTokenPair(TInputFile& A, TInputFile& B, TTokenPair& Pair);

// A token shown in a verdict: at most a few dozen bytes, cut at a character
// boundary, control characters replaced, in quotes.
std::string Excerpt(std::string_view Token, bool Cut);

// The outcome of comparing one output file with its answer.
struct TFileVerdict {
  double Score = 0;  // 0 to 1
  std::string Text;  // Vietnamese, UTF-8
};
using TCompareFunc = TFileVerdict (*)(TInputFile& Output, TInputFile& Answer);

// Compares the two files token by token, in lockstep. Tokens that differ as
// text may still match when Match (if any) says so. Unit names a token in
// the verdict texts ("từ", "giá trị").
TFileVerdict CompareTokenwise(TInputFile& Output, TInputFile& Answer, const char* Unit,
                              bool (*Match)(const TTokenPair& Pair) = nullptr);

// The whole of a standard checker's Judge: never raises, always stores a
// verdict text (thread-local, valid until the thread's next call).
double RunChecker(const char16_t* ContestantFolder, const char16_t* JuryFolder, const char16_t* OutputFileList,
                  const char16_t** JudgeText, TCompareFunc Compare) noexcept;

}  // namespace velkor::checkers
