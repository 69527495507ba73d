// The compiler table as the configuration file holds it, and the command
// lines it makes for a submission. The input is the table's element as
// plain text, so that every mutation reaches the table (velkor_cfg reads it
// through the compressed file).
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
  // Every row survives a save unchanged.
  FuzzAssert(back.Count() == table.Count());
  for (std::ptrdiff_t i = 0; i < table.Count(); ++i) {
    FuzzAssert(back[i]->ext == table[i]->ext);
    FuzzAssert(back[i]->cmd == table[i]->cmd);
  }
  return 0;
}
