// The compiler table as the configuration file holds it, and the command
// lines it makes for a submission: the input is the table's XML element.
#include "core/CompressedXML.h"
#include "judging/Compilers.h"
#include "platform/CommandLines.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace velkor;
using namespace velkor::fuzz;

namespace {
std::string SubmissionDir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A submission folder with one source of each kind the default table
  // knows, so any row may find its source.
  SubmissionDir = ScratchDir() + "/An";
  fs::create_directories(SubmissionDir);
  for (const char* ext : {".pas", ".cpp", ".c", ".java", ".exe", ".class", ".py", ".PY", ".x"})
    WriteFile(SubmissionDir + "/Bai1" + ext, "");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  TFormattedXML doc;
  try {
    doc.LoadXML(std::string_view(reinterpret_cast<const char*>(Data), Size), "fuzz");
  } catch (const std::exception&) {
    return 0;
  }
  TCompilerConfig table;
  table.XMLLoad(doc.document_element());
  std::string ext, cmd;
  if (table.GetCommandLine(SubmissionDir, "Bai1", ext, cmd)) {
    // The command line goes to the runner as the compile step gives it.
    TExecEngine run;
    run.SetCmd(cmd);
    platform::SplitCommandLine(cmd);
  } else {
    FuzzAssert(ext.empty() && cmd.empty());
  }
  TFormattedXML again;
  table.XMLSave(again.append_child("CompilerConfigurations"));
  TCompilerConfig back;
  back.XMLLoad(again.document_element());
  FuzzAssert(back.Count() == table.Count());
  return 0;
}
