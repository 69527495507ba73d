// The languages, the compiler table and the compile step.
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
// program, a Java class, a Python script). What a language's compile leaves
// and how that is run comes from the languages' rows (Languages()).
//
// TCompilerEngine runs the chosen row through the process runner with its
// output captured in two files of the temporary folder, and leaves a log
// that the judge engine keeps as the exam result's text.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
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

  // Replaces the table by the default rows, made from the languages
  // (Languages()) in their order: each compiler working in the submission
  // folder, then the comment rows of the languages run as they stand, then
  // each compiler again naming every file by its full path.
  void BuildDefault();
  // The extension and the finished command line of the first row whose
  // source cdir/EName+ext exists (found ignoring ASCII letter case). False,
  // with both empty, when no row has its source there.
  bool GetCommandLine(const std::string& cdir, const std::string& EName, std::string& resext,
                      std::string& rescmd) const;
  // The "Identifier" of the table's element.
  static constexpr const char* kIdentifier = "VELKORCompiler";
  // Reads the rows from Node's children when its "Identifier" is
  // kIdentifier (letter case aside); otherwise the table stays as it is.
  void XMLLoad(pugi::xml_node Node);
  // Replaces Node's children by one "Item" per row.
  void XMLSave(pugi::xml_node Node) const;
};

// ---- Languages ----------------------------------------------------------------
// Everything Velkor knows of a language, one row per source extension: the
// default compiler table's rows for it, the file its compile leaves to run,
// and how that file is run in the contest room. The compile, the judge
// engine and the default table all ask these rows; a row of the jury's
// compiler table for an extension no language knows is taken to make
// "%NAME%.exe", a program that runs by itself.

// The file a compile leaves to run, and how it is run. The run finds it by
// that file's extension, so languages that leave the same kind of file
// share one of these.
struct TProgramKind {
  // The compiled file, %NAME% being the exam name ("%NAME%.class").
  std::string_view File{};
  // A mask of the files that travel with it between the rooms, %NAME% as
  // in File; "" when it is alone.
  std::string_view Companions{};
  // The program of the system folder that runs it, "" when it runs by
  // itself; and a copy of that program beside Velkor (relative to Velkor's
  // folder) for a system that has none, or "".
  std::string_view Runtime{};
  std::string_view RuntimeBeside{};
  // The command line that runs it in the contest room: %PROGRAM% is the
  // compiled file's full path, %NAME% the exam name, %RUNTIME% the
  // runtime's path and %HEAP% the memory limit as the runtime's own heap
  // limit (its bytes; "1024M" from 1 GiB up).
  std::string_view RunCmd{};
  // The runtime keeps to the memory limit itself (%HEAP%), so the process
  // has none: a process limit would only stop the runtime from starting.
  bool OwnHeapLimit = false;
};

struct TLanguage {
  // The source extension with its dot, as the compiler table keys it.
  std::string_view Ext{};
  // Its compiler, a program of the system folder, with its arguments in
  // the default row that compiles in the submission folder and in the one
  // that names every file by its full path; "" when the source is run as
  // it stands, and then Comment is its one default row.
  std::string_view Compiler{};
  std::string_view ArgsHere{};
  std::string_view ArgsFull{};
  std::string_view Comment{};
  TProgramKind Program;
};

// Every language, in the default compiler table's order.
std::span<const TLanguage> Languages();
// The language of a source extension, letter case ignored; nullptr when
// none has it.
const TLanguage* FindLanguage(std::string_view SourceExt);
// The file the compile of exam EName's source with extension SourceExt
// leaves to run ("Sum.class" for ".java").
std::string CompiledFileName(std::string_view SourceExt, std::string_view EName);
// How CompiledFile is run, found by its extension (letter case ignored).
const TProgramKind& ProgramKindOf(std::string_view CompiledFile);
// The mask of the files that travel with CompiledFile between the rooms;
// "" when it travels alone.
std::string CompanionMask(const std::string& CompiledFile);

// Where each runtime was found, by its name in the languages' rows.
using TRuntimePaths = std::map<std::string, std::string, std::less<>>;
// Looks every runtime up now: in the system folder, else the copy beside
// Velkor when its language names one.
TRuntimePaths FindRuntimes();
// The command line that runs Program (the full path of a compiled file of
// exam EName) with the runtimes found in Runtimes. MemLimit is the run's
// memory limit in bytes; it becomes 0xFFFFFFFF, no limit, when the runtime
// keeps to it itself.
std::string RunCommandLine(const std::string& Program, const std::string& EName, const TRuntimePaths& Runtimes,
                           std::uint64_t& MemLimit);

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
