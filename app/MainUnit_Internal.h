// What the main window's source files share: the process-wide sets the
// window shows, and the texts and timings more than one of them uses.
#pragma once

#include "judging/Contests.h"
#include "judging/Exams.h"

namespace velkor::mainunit {

inline constexpr const char* kCaption = "Βέλκο - Chương trình chấm bài tự động";
inline constexpr int kHintHideMs = 2000;

inline TExamSet& Exams() { return ContestInfo->ExamSet(); }
inline TResultSet& Results() { return ContestInfo->ResultSet(); }

}  // namespace velkor::mainunit
