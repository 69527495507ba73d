#include "judging/Checkers.h"

#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/FileUtils.h"
#include "core/SystemInfo.h"
#include "core/Unicode.h"

namespace velkor {

std::unique_ptr<TCheckerSet> Checkers;

namespace {

constexpr char kJudgersFolder[] = "~Judgers";
constexpr char kPluginMask[] = "*.dll";
constexpr char kJudgeExport[] = "Judge";

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
  const std::u16string contestant = Utf8ToUtf16(ContestantFolder), jury = Utf8ToUtf16(JuryFolder),
                       outputs = Utf8ToUtf16(OutputFileList), exam = Utf8ToUtf16(ExamName);
  const char16_t* text = nullptr;
  const double fraction = Judge(contestant.c_str(), jury.c_str(), outputs.c_str(), exam.c_str(), &text);
  // The text belongs to the plug-in and may be reused by its next call.
  JudgeText = Utf16ToUtf8(text);
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
