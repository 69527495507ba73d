// Plug-ins for the checker loader tests, one behaviour per build
// (PLUGIN_ECHO, PLUGIN_HALF, PLUGIN_NULL_TEXT, PLUGIN_NOT_FINITE,
// PLUGIN_NO_JUDGE).
#include <cmath>
#include <string>

#include "checkers/VelkorChecker.h"

namespace {
thread_local std::u16string Text;
}

#if defined(PLUGIN_NO_JUDGE)
// Exports a "Judge" only under a C++-mangled name and a "judge" in the
// wrong case: neither is the plug-in function.
namespace plugin {
__attribute__((visibility("default"))) double Judge(const char16_t*, const char16_t*, const char16_t*,
                                                    const char16_t*, const char16_t** JudgeText) {
  *JudgeText = nullptr;
  return 1;
}
}  // namespace plugin
extern "C" __attribute__((visibility("default"))) double judge() { return 1; }
#else
extern "C" double Judge(const char16_t* ContestantFolder, const char16_t* JuryFolder, const char16_t* OutputFileList,
                        const char16_t* ExamName, const char16_t** JudgeText) {
#if defined(PLUGIN_ECHO)
  // Hands its arguments back, so the caller's conversions can be checked.
  Text = std::u16string(ContestantFolder) + u"\n" + JuryFolder + u"\n" + OutputFileList + u"\n" + ExamName;
  *JudgeText = Text.c_str();
  return 1;
#elif defined(PLUGIN_HALF)
  (void)ContestantFolder, (void)JuryFolder, (void)OutputFileList, (void)ExamName;
  Text = u"nửa số điểm";
  *JudgeText = Text.c_str();
  return 0.5;
#elif defined(PLUGIN_NULL_TEXT)
  (void)ContestantFolder, (void)JuryFolder, (void)OutputFileList, (void)ExamName;
  *JudgeText = nullptr;
  return 0.75;
#elif defined(PLUGIN_NOT_FINITE)
  // NaN, or an infinity when the exam is named "+inf" or "-inf".
  (void)ContestantFolder, (void)JuryFolder, (void)OutputFileList;
  Text = u"không xác định";
  *JudgeText = Text.c_str();
  const std::u16string Exam = ExamName;
  if (Exam == u"+inf") return HUGE_VAL;
  if (Exam == u"-inf") return -HUGE_VAL;
  return std::nan("");
#else
#error "no plug-in behaviour chosen"
#endif
}
#endif
