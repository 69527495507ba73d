// The compiler table and the compile step.
//
// A submission is a source file named after its exam; its extension tells
// the language. The compiler table holds, per extension, the command line
// that turns such a source into something the judge can run, and its order
// is its priority: the first row whose source exists wins. A command line
// may use three placeholders, replaced in this order, every occurrence,
// ignoring letter case:
//
//   %PATH%   the submission folder with a trailing "/"
//   %NAME%   the exam name
//   %EXT%    the row's extension as the table stores it
//
// and may end in "|@WorkDir=<folder>": the compiler then runs in that folder
// with its own folder put in front of PATH for that run; without the marker
// it runs in its own folder. A command that begins with ";" is a comment:
// the row compiles nothing and the source is run as it stands (a submitted
// program, a Java class, a Python script).
//
// TCompilerEngine runs the chosen row through the process runner with its
// output captured in two files of the temporary folder, and leaves a log
// that the judge engine keeps as the exam result's text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "core/ExecRoutines.h"
#include "core/Treaps.h"

namespace velkor {

// One row of the compiler table.
class TCompilerNode {
 public:
  TCompilerNode(std::string aExt, std::string aCmd) : ext(std::move(aExt)), cmd(std::move(aCmd)) {}
  virtual ~TCompilerNode() = default;

  std::string ext;  // the source extension with its dot (".pas")
  std::string cmd;  // the command-line template, or a comment beginning with ";"
};

// The compiler table: owns its rows.
class TCompilerConfig : public TObjList<TCompilerNode> {
 public:
  // Starts with the default table.
  TCompilerConfig();

  // Replaces the table by the default rows: Pascal, C++, C and Java with
  // the system's compilers in a working folder, the three comment rows for
  // ".exe", ".class" and ".py", then the same compilers with full paths.
  void BuildDefault();
  // The extension and the finished command line of the first row whose
  // source cdir/EName+ext exists (found ignoring ASCII letter case). False,
  // with both empty, when no row has its source there.
  bool GetCommandLine(const std::string& cdir, const std::string& EName, std::string& resext,
                      std::string& rescmd) const;
  // Reads the rows from Node's children when its "Identifier" is
  // "VELKORCompiler"; otherwise the table stays as it is.
  void XMLLoad(pugi::xml_node Node);
  // Replaces Node's children by one "Item" per row.
  void XMLSave(pugi::xml_node Node) const;
};

// The longest a compile may run before it is stopped and reported as a
// compile error: a compiler that never ends would otherwise hold the judge
// for good. Generous, as compiles of large templates take their time.
inline constexpr std::uint32_t kCompileTimeLimitMs = 60000;

// The position of the "|@WorkDir=" marker in a command line: the last one
// followed by at least two characters; npos when there is none.
std::size_t FindWorkDirMarker(std::string_view cmd);

// The name of the capture files in the temporary folder.
inline constexpr const char* kCompileOutputName = "CompileResult$.out";
inline constexpr const char* kCompileErrorName = "CompileResult$.err";

// Compiles one submission with the first row of a compiler table whose
// source exists. Lives for one submission.
class TCompilerEngine : public TExecEngine {
 public:
  enum TCompileResult { crOK, crNoSource, crError };

  // The table is borrowed and must outlive the engine.
  explicit TCompilerEngine(TCompilerConfig& cplconfig);

  // Compiles the source of exam EName in the folder cdir. Raises only when
  // the source cannot be given the name the row expects or a capture file
  // cannot be read; the judge engine then treats the submission as failed.
  TCompileResult Compile(const std::string& cdir, const std::string& EName);

  const std::vector<std::string>& Log() const { return FLog; }
  // The source found: the exam name and the row's extension.
  const std::string& SourceFile() const { return FSourceFile; }
  // The file to run, relative to the submission folder; "" when nothing
  // can be run.
  const std::string& CompiledFile() const { return FCompiledFile; }

 private:
  void RunCompiler(const std::string& cmd);
  void AppendCaptureFile(const std::string& FileName);

  TCompilerConfig* Fcplconfig;
  std::vector<std::string> FLog;
  std::string FSourceFile;
  std::string FCompiledFile;
};

}  // namespace velkor
