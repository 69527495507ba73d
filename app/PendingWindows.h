// TEMPORARY: the entry points of the windows being built beside the main
// window, declared here until their own headers land. Removed before merge.
#pragma once

#include <string>

#include "core/LinkedLists.h"
#include "judging/Exams.h"
#include "judging/JudgeEngines.h"

namespace velkor {

int EditExamConfig(TExamInfo* Exam);
void EditCompilerConfig();
void RunJudge(TQueue<TJudgePair>& Queue);
void ShowJudgeReport(TQueue<std::string>& CList, TQueue<std::string>& EList);
void ExportToExcel();

}  // namespace velkor
