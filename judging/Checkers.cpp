#include "judging/Checkers.h"

#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/FileUtils.h"
#include "core/SystemInfo.h"

namespace velkor {

std::unique_ptr<TCheckerSet> Checkers;

namespace {

constexpr char kJudgersFolder[] = "~Judgers";
constexpr char kPluginMask[] = "*.dll";
constexpr char kJudgeExport[] = "Judge";

// The plug-in interface speaks UTF-16; the model keeps UTF-8. Malformed
// input on either side becomes U+FFFD rather than failing the call.
std::u16string ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    auto cont = [&](std::size_t k) {
      return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    };
    auto bits = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(s[i + k]) & 0x3F); };
    std::uint32_t cp = 0xFFFD;
    std::size_t n = 1;
    if (b0 < 0x80) {
      cp = b0;
    } else if (b0 >= 0xC2 && b0 < 0xE0 && cont(1)) {
      cp = ((b0 & 0x1Fu) << 6) | bits(1);
      n = 2;
    } else if (b0 >= 0xE0 && b0 < 0xF0 && cont(1) && cont(2)) {
      const std::uint32_t v = ((b0 & 0x0Fu) << 12) | (bits(1) << 6) | bits(2);
      if (v >= 0x800 && (v < 0xD800 || v > 0xDFFF)) {
        cp = v;
        n = 3;
      }
    } else if (b0 >= 0xF0 && b0 < 0xF5 && cont(1) && cont(2) && cont(3)) {
      const std::uint32_t v = ((b0 & 0x07u) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3);
      if (v >= 0x10000 && v <= 0x10FFFF) {
        cp = v;
        n = 4;
      }
    }
    i += n;
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string ToUtf8(const char16_t* s) {
  std::string out;
  if (s == nullptr) return out;
  for (const char16_t* p = s; *p != 0; ++p) {
    std::uint32_t cp = *p;
    if (cp >= 0xD800 && cp <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (p[1] - 0xDC00u);
      ++p;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

}  // namespace

TChecker::~TChecker() { Unload(); }

void TChecker::Unload() {
  Judge = nullptr;
  if (Hdll != nullptr) {
    ::dlclose(Hdll);
    Hdll = nullptr;
  }
}

void TChecker::SetName(const std::string& aName) {
  Unload();
  const std::size_t slash = aName.rfind('/');
  if (slash != std::string::npos) {
    // RTLD_LOCAL: plug-ins may well define the same helper symbols, and
    // must not bind to each other's.
    Hdll = ::dlopen(aName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (Hdll != nullptr) Judge = reinterpret_cast<TJudgeFunc>(::dlsym(Hdll, kJudgeExport));
  }
  DLLName = slash == std::string::npos ? aName : aName.substr(slash + 1);
}

double TChecker::Evaluate(const std::string& ContestantFolder, const std::string& JuryFolder,
                          const std::string& OutputFileList, const std::string& ExamName,
                          std::string& JudgeText) const {
  JudgeText.clear();
  if (Judge == nullptr) {
    JudgeText = "Trình chấm " + DLLName + " không có hàm Judge";
    return 0;
  }
  const std::u16string contestant = ToUtf16(ContestantFolder), jury = ToUtf16(JuryFolder),
                       outputs = ToUtf16(OutputFileList), exam = ToUtf16(ExamName);
  const char16_t* text = nullptr;
  const double fraction = Judge(contestant.c_str(), jury.c_str(), outputs.c_str(), exam.c_str(), &text);
  // The text belongs to the plug-in and may be reused by its next call.
  JudgeText = ToUtf8(text);
  if (!std::isfinite(fraction)) {
    // NaN or an infinity would poison every total it is added to.
    if (!JudgeText.empty()) JudgeText += "\r\n";
    JudgeText += "Trình chấm trả về kết quả không phải là số hữu hạn: tính 0 điểm";
    return 0;
  }
  return fraction;
}

void LoadCheckers(TCheckerSet& Set, const std::string& Folder) {
  std::vector<std::string> unreadable;  // a folder that cannot be read holds no plug-in
  TQueue<TFindData> files = ScanDirectory(Folder, sdFiles | sdAbsoluteNames, kPluginMask, &unreadable);
  while (!files.Empty()) {
    std::unique_ptr<TChecker> checker = Set.CreateObj(files.Pop().Name, true);
    if (checker->Judge != nullptr) Set.Include(std::move(checker));
    // otherwise it is freed here, which unloads the library
  }
}

void LoadCheckers() { LoadCheckers(*Checkers, MyDirD + kJudgersFolder); }

}  // namespace velkor
