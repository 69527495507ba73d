#include "checkers/CheckerSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>

#include "core/NameCompare.h"

namespace velkor::checkers {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr std::size_t kExcerptBytes = 40;

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

struct TDirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

const char16_t* StoreVerdict(const std::string& Text) {
  static thread_local std::u16string Verdict;
  Verdict = Utf8ToUtf16(Text);
  return Verdict.c_str();
}

// One listed file checked against its answer.
TFileVerdict CheckOneFile(const std::string& ContestantFolder, const std::string& JuryFolder,
                          const std::string& Name, TCompareFunc Compare) {
  if (!IsPlainFileName(Name)) return {0, "Tên file output không hợp lệ: \"" + Name + "\""};
  const std::string AnswerPath = FindFileIgnoreCase(JuryFolder, Name);
  if (AnswerPath.empty()) return {0, "Không tìm thấy file đáp án " + Name + " trong thư mục test"};
  const std::string OutputPath = FindFileIgnoreCase(ContestantFolder, Name);
  if (OutputPath.empty()) return {0, "Không tìm thấy file output " + Name};
  TInputFile Answer, Output;
  if (!Answer.Open(AnswerPath, false)) return {0, "Không đọc được file đáp án " + Name};
  if (!Output.Open(OutputPath, true)) return {0, "Không đọc được file output " + Name};
  TFileVerdict Verdict = Compare(Output, Answer);
  if (Answer.Failed()) return {0, "Lỗi khi đọc file đáp án " + Name};
  if (Output.Failed()) return {0, "Lỗi khi đọc file output " + Name};
  return Verdict;
}

}  // namespace

std::vector<std::string> SplitFileList(std::string_view List) {
  std::vector<std::string> Items;
  while (true) {
    const std::size_t Bar = List.find('|');
    std::string_view Item = List.substr(0, Bar);
    while (!Item.empty() && IsBlankOrTab(Item.front())) Item.remove_prefix(1);
    while (!Item.empty() && IsBlankOrTab(Item.back())) Item.remove_suffix(1);
    if (!Item.empty()) Items.emplace_back(Item);
    if (Bar == std::string_view::npos) break;
    List.remove_prefix(Bar + 1);
  }
  return Items;
}

bool IsPlainFileName(std::string_view Name) {
  return !Name.empty() && Name != "." && Name != ".." && Name.find('/') == std::string_view::npos &&
         Name.find('\0') == std::string_view::npos;
}

std::string FindFileIgnoreCase(const std::string& Folder, const std::string& Name) {
  if (Folder.empty() || !IsPlainFileName(Name)) return {};
  const std::string Exact = Folder + "/" + Name;
  struct stat st {};
  if (::lstat(Exact.c_str(), &st) == 0) return Exact;
  std::unique_ptr<DIR, TDirCloser> Dir(::opendir(Folder.c_str()));
  if (!Dir) return {};
  std::string Best;
  while (const dirent* Entry = ::readdir(Dir.get())) {
    const std::string_view Candidate = Entry->d_name;
    if (SameText(Candidate, Name) && (Best.empty() || Candidate < Best)) Best = Candidate;
  }
  return Best.empty() ? std::string() : Folder + "/" + Best;
}

TInputFile::~TInputFile() {
  if (FFd >= 0) ::close(FFd);
}

bool TInputFile::Open(const std::string& Path, bool NoFollow) {
  // Non-blocking, so that a FIFO planted under the output's name cannot
  // stall the judge; regular files ignore the flag.
  int Flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  if (NoFollow) Flags |= O_NOFOLLOW;
  const int Fd = ::open(Path.c_str(), Flags);
  if (Fd < 0) return false;
  struct stat st {};
  if (::fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(Fd);
    return false;
  }
  if (FFd >= 0) ::close(FFd);
  FFd = Fd;
  FFailed = false;
  FFileOffset = 0;
  FPos = FEnd = 0;
  FBuf.resize(kBufferSize);
  // A UTF-8 byte-order mark, as editors on Windows write one, is no part
  // of the contents: an answer saved with it still matches output without.
  unsigned char head[3];
  if (ReadAt(0, head, 3) == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF &&
      ::lseek(FFd, 3, SEEK_SET) == 3)
    FFileOffset = 3;
  return true;
}

bool TInputFile::Fill() {
  if (FFd < 0 || FFailed) return false;
  ssize_t n;
  do {
    n = ::read(FFd, FBuf.data(), FBuf.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) FFailed = true;
  if (n <= 0) return false;
  FPos = 0;
  FEnd = static_cast<std::size_t>(n);
  FFileOffset += static_cast<std::uint64_t>(n);
  return true;
}

std::size_t TInputFile::ReadAt(std::uint64_t Offset, unsigned char* Buf, std::size_t Count) {
  if (FFd < 0) return 0;
  ssize_t n;
  do {
    n = ::pread(FFd, Buf, Count, static_cast<off_t>(Offset));
  } while (n < 0 && errno == EINTR);
  if (n < 0) FFailed = true;
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool ReadTokenPair(TInputFile& A, TInputFile& B, TTokenPair& Pair) {
  auto SkipSpace = [](TInputFile& F) {
    int c;
    do c = F.Get();
    while (c >= 0 && IsSpaceChar(c));
    return c;
  };
  int ca = SkipSpace(A), cb = SkipSpace(B);
  Pair.HasA = ca >= 0;
  Pair.HasB = cb >= 0;
  Pair.A.clear();
  Pair.B.clear();
  Pair.LengthA = Pair.LengthB = 0;
  bool Same = true;
  auto InToken = [](int c) { return c >= 0 && !IsSpaceChar(c); };
  auto Take = [](std::string& Kept, std::uint64_t& Length, int c) {
    if (Kept.size() < TTokenPair::kKeep) Kept += static_cast<char>(c);
    ++Length;
  };
  while (InToken(ca) && InToken(cb)) {
    Same = Same && ca == cb;
    Take(Pair.A, Pair.LengthA, ca);
    Take(Pair.B, Pair.LengthB, cb);
    ca = A.Get();
    cb = B.Get();
  }
  for (; InToken(ca); ca = A.Get()) Take(Pair.A, Pair.LengthA, ca);
  for (; InToken(cb); cb = B.Get()) Take(Pair.B, Pair.LengthB, cb);
  Pair.Equal = Pair.HasA && Pair.HasB && Same && Pair.LengthA == Pair.LengthB;
  return Pair.HasA || Pair.HasB;
}

TFileVerdict CompareTokenwise(TInputFile& Output, TInputFile& Answer, const char* Unit,
                              bool (*Match)(const TTokenPair& Pair)) {
  TTokenPair Pair;
  for (std::uint64_t Index = 1; ReadTokenPair(Output, Answer, Pair); ++Index) {
    if (Pair.Equal) continue;
    const std::string At = std::string(Unit) + " thứ " + std::to_string(Index);
    if (!Pair.HasA) return {0, "Output thiếu: hết dữ liệu ở " + At + ", cần " + Excerpt(Pair.B, !Pair.FitsB())};
    if (!Pair.HasB) return {0, "Output thừa: " + At + " là " + Excerpt(Pair.A, !Pair.FitsA())};
    if (Match != nullptr && Match(Pair)) continue;
    return {0, "Sai ở " + At + ": đọc được " + Excerpt(Pair.A, !Pair.FitsA()) + ", cần " +
                   Excerpt(Pair.B, !Pair.FitsB())};
  }
  return {1, "Đúng"};
}

std::string Excerpt(std::string_view Token, bool Cut) {
  std::string Out = "\"";
  std::size_t i = 0;
  while (i < Token.size()) {
    std::uint32_t cp = 0;
    std::size_t n = velkor::DecodeUtf8(Token, i, cp);
    if (i + (n ? n : 1) > kExcerptBytes) {
      Cut = true;
      break;
    }
    if (n == 0 || cp < 0x20 || cp == 0x7F) {
      Out += '?';
      n = n ? n : 1;
    } else {
      Out.append(Token.substr(i, n));
    }
    i += n;
  }
  if (Cut) Out += "...";
  Out += '"';
  return Out;
}

double RunChecker(const char16_t* ContestantFolder, const char16_t* JuryFolder, const char16_t* OutputFileList,
                  const char16_t** JudgeText, TCompareFunc Compare) noexcept {
  double Score = 0;
  const char16_t* Text = nullptr;
  try {
    const std::string Contestant = Utf16ToUtf8(ContestantFolder);
    const std::string Jury = Utf16ToUtf8(JuryFolder);
    const std::vector<std::string> Files = SplitFileList(Utf16ToUtf8(OutputFileList));
    std::string Report;
    if (Files.empty()) {
      Report = "Đề bài không khai báo file output";
    } else if (Files.size() == 1) {
      const TFileVerdict Verdict = CheckOneFile(Contestant, Jury, Files[0], Compare);
      Score = Verdict.Score;
      Report = Verdict.Text;
    } else {
      // Several outputs: each earns its share of the test's mark.
      double Sum = 0;
      for (const std::string& Name : Files) {
        const TFileVerdict Verdict = CheckOneFile(Contestant, Jury, Name, Compare);
        Sum += Verdict.Score;
        if (!Report.empty()) Report += "\r\n";
        Report += Name + ": " + Verdict.Text;
      }
      Score = Sum / static_cast<double>(Files.size());
    }
    Text = StoreVerdict(Report);
  } catch (const std::exception& E) {
    Score = 0;
    try {
      Text = StoreVerdict(std::string("Lỗi trình chấm: ") + E.what());
    } catch (...) {
      Text = nullptr;
    }
  } catch (...) {
    Score = 0;
    Text = nullptr;
  }
  if (JudgeText) *JudgeText = Text;
  return Score;
}

}  // namespace velkor::checkers
