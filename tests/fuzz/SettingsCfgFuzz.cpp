// An exam's "Settings.cfg", read as the exam set reads it when it loads a
// tasks folder: one exam with two tests, its settings file the input.
#include <sstream>

#include "judging/Checkers.h"
#include "judging/Exams.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace velkor;
using namespace velkor::fuzz;

namespace {
std::string TasksDir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A new exam takes the first checker's name; names are all the model reads.
  Checkers = std::make_unique<TCheckerSet>();
  Checkers->Include(Checkers->CreateObj("CompareTokens.dll", true));
  TasksDir = ScratchDir() + "/Tasks";
  fs::create_directories(TasksDir + "/Bai1/Test01");
  fs::create_directories(TasksDir + "/Bai1/Test02");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  WriteFile(TasksDir + "/Bai1/Settings.cfg", StoredDocument(Data, Size));
  TExamSet set;
  try {
    set.SetDir(TasksDir);
  } catch (const std::exception&) {
    return 0;  // a damaged file is an error the caller reports
  }
  for (const TExamInfo* exam : set) {
    // The file names become paths inside the contestant's folder.
    FuzzAssert(IsSafeFileList(exam->InputFile));
    FuzzAssert(IsSafeFileList(exam->OutputFile));
    FuzzAssert(Checkers->Obj(exam->EvaluatorName) != nullptr);
    // What was read survives a save and a second reading unchanged.
    std::ostringstream first, second;
    exam->StreamSave(first);
    TExamInfo again;
    again.SetName(exam->Name());
    for (const TTestInfo* test : *exam) again.Include(again.CreateObj(test->Name(), true));
    std::istringstream in(first.str());
    again.StreamLoad(in);
    again.StreamSave(second);
    FuzzAssert(first.str() == second.str());
  }
  return 0;
}
