#include "judging/Compilers.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/FileUtils.h"
#include "core/NameCompare.h"
#include "core/SystemInfo.h"
#include "core/Unicode.h"
#include "judging/XMLHelpers.h"
#include "platform/SystemErrors.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kWorkDirMarker = "|@WorkDir=";
constexpr const char* kNoSource = "Không có bài";
constexpr const char* kCompiled = "Dịch thành công";
// A compiler can print without end (a source that includes a device, an
// error cascade); the log keeps its beginning, which says what went wrong.
constexpr std::size_t kMaxCaptureBytes = 64 * 1024;

std::string WithDelimiter(const std::string& folder) {
  return !folder.empty() && folder.back() == '/' ? folder : folder + "/";
}

bool SameAsciiAt(std::string_view text, std::size_t pos, std::string_view word) {
  if (pos + word.size() > text.size()) return false;
  return SameText(text.substr(pos, word.size()), word);
}

// Every occurrence of From replaced by To, letter case of From ignored.
std::string ReplaceIgnoreCase(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (SameAsciiAt(text, i, from)) {
      out += to;
      i += from.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

// Text with each of the placeholders replaced by its value, letter case
// ignored, in one pass: a value is never searched for placeholders itself.
std::string Expand(std::string_view text, std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    bool replaced = false;
    for (const auto& [name, value] : values) {
      if (!SameAsciiAt(text, i, name)) continue;
      out += value;
      i += name.size();
      replaced = true;
      break;
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

// The name under which Folder holds the file Name, letter case ignored; ""
// when there is none (a folder of that name does not count).
std::string FindSourceName(const std::string& folder, const std::string& name) {
  const std::string found = FindNameIgnoreCase(folder, name);
  if (found.empty()) return {};
  std::error_code ec;
  if (!fs::exists(fs::path(folder) / found, ec) || fs::is_directory(fs::path(folder) / found, ec)) return {};
  return found;
}


// UTF-16 text from a capture file's bytes (an odd last byte is dropped).
std::string Utf16BytesToUtf8(std::string_view bytes, bool bigEndian) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(bytes[i]), b1 = static_cast<unsigned char>(bytes[i + 1]);
    units += static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
  }
  return Utf16ToUtf8(units);
}

// The text of a capture file: UTF-8 unless a byte-order mark says UTF-16.
// Bytes that are not UTF-8 become U+FFFD one at a time (ValidUtf8):
// compilers echo the contestant's source lines, which may be written in any
// code page, and the log ends up in the contest's XML files.
std::string DecodeCapture(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return ValidUtf8(bytes.substr(3));
  if (bytes.starts_with("\xFF\xFE")) return Utf16BytesToUtf8(bytes.substr(2), false);
  if (bytes.starts_with("\xFE\xFF")) return Utf16BytesToUtf8(bytes.substr(2), true);
  return ValidUtf8(bytes);
}

// Lines end at CR LF, CR or LF; a break at the very end opens no new line.
void AppendLines(std::vector<std::string>& log, std::string_view text) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    log.emplace_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
}

}  // namespace

// ---- Languages ------------------------------------------------------------

namespace {

// A program that runs by itself, as a native compiler makes it; also what
// the compile of a source no language knows is taken to make.
constexpr TProgramKind kRunsByItself{.File = "%NAME%.exe", .RunCmd = "\"%PROGRAM%\""};

// A Java class, with its inner classes beside it. Without its statistics
// file ("/tmp/hsperfdata_<user>/<pid>") two runs with the same process
// number in their own namespaces cannot collide there, which makes the
// runtime print a warning into the program's standard output.
constexpr TProgramKind kJavaClass{.File = "%NAME%.class",
                                  .Companions = "%NAME%$*.class",
                                  .Runtime = "java",
                                  .RuntimeBeside = "JDK/bin/java",
                                  .RunCmd = "\"%RUNTIME%\" -Xmx%HEAP% -XX:-UsePerfData \"%NAME%\"",
                                  .OwnHeapLimit = true};

constexpr TProgramKind kPythonScript{
    .File = "%NAME%.py", .Runtime = "python3", .RunCmd = "\"%RUNTIME%\" \"%NAME%.py\""};

constexpr std::string_view kPascalHere = R"( -o"%NAME%.exe" -O2 -XS -Sg "%NAME%%EXT%"|@WorkDir=%PATH%)";
constexpr std::string_view kPascalFull = R"( -o"%PATH%%NAME%.exe" -O2 -XS -Sg "%PATH%%NAME%%EXT%")";

constexpr TLanguage kLanguages[] = {
    {.Ext = ".pas", .Compiler = "fpc", .ArgsHere = kPascalHere, .ArgsFull = kPascalFull, .Program = kRunsByItself},
    {.Ext = ".pp", .Compiler = "fpc", .ArgsHere = kPascalHere, .ArgsFull = kPascalFull, .Program = kRunsByItself},
    // gcc applies "-x" to the inputs after it only: placed behind the source
    // it does nothing but open every compile report with a warning.
    {.Ext = ".cpp",
     .Compiler = "g++",
     .ArgsHere = R"( -o"%NAME%.exe" -x c++ "%NAME%%EXT%" -O2 -s -static -lm|@WorkDir=%PATH%)",
     .ArgsFull = R"( -o"%PATH%%NAME%.exe" -x c++ "%PATH%%NAME%%EXT%" -O2 -s -static -lm)",
     .Program = kRunsByItself},
    {.Ext = ".c",
     .Compiler = "gcc",
     .ArgsHere = R"( -o"%NAME%.exe" -x c "%NAME%%EXT%" -O2 -s -static -lm|@WorkDir=%PATH%)",
     .ArgsFull = R"( -o"%PATH%%NAME%.exe" -x c "%PATH%%NAME%%EXT%" -O2 -s -static -lm)",
     .Program = kRunsByItself},
    {.Ext = ".java",
     .Compiler = "javac",
     .ArgsHere = R"( "%NAME%%EXT%"|@WorkDir=%PATH%)",
     .ArgsFull = R"( "%PATH%%NAME%%EXT%")",
     .Program = kJavaClass},
    {.Ext = ".exe",
     .Comment = ";Nếu không muốn dịch lại khi đã có file .exe, chuyển loại file này lên đầu",
     .Program = kRunsByItself},
    {.Ext = ".class",
     .Comment = ";Nếu không muốn dịch lại khi đã có file .class, chuyển loại file này lên đầu",
     .Program = kJavaClass},
    {.Ext = ".py", .Comment = ";Mã nguồn Python được thông dịch!", .Program = kPythonScript},
};

// A compiled file's name without its extension.
std::string_view WithoutExt(std::string_view File) {
  const std::string ext = ExtractFileExt(std::string(File));
  return File.substr(0, File.size() - ext.size());
}

}  // namespace

std::span<const TLanguage> Languages() { return kLanguages; }

const TLanguage* FindLanguage(std::string_view SourceExt) {
  for (const TLanguage& language : kLanguages)
    if (SameText(language.Ext, SourceExt)) return &language;
  return nullptr;
}

std::string CompiledFileName(std::string_view SourceExt, std::string_view EName) {
  const TLanguage* language = FindLanguage(SourceExt);
  return Expand((language != nullptr ? language->Program : kRunsByItself).File, {{"%NAME%", EName}});
}

const TProgramKind& ProgramKindOf(std::string_view CompiledFile) {
  const std::string ext = ExtractFileExt(std::string(CompiledFile));
  for (const TLanguage& language : kLanguages)
    if (SameText(ExtractFileExt(std::string(language.Program.File)), ext)) return language.Program;
  return kRunsByItself;
}

std::string CompanionMask(const std::string& CompiledFile) {
  const TProgramKind& kind = ProgramKindOf(CompiledFile);
  if (kind.Companions.empty()) return "";
  return Expand(kind.Companions, {{"%NAME%", WithoutExt(CompiledFile)}});
}

TRuntimePaths FindRuntimes() {
  TRuntimePaths found;
  for (const TLanguage& language : kLanguages) {
    const TProgramKind& kind = language.Program;
    if (kind.Runtime.empty() || found.contains(kind.Runtime)) continue;
    std::string path = SystemDirD + std::string(kind.Runtime);
    if (!kind.RuntimeBeside.empty() && !PathExists(path)) path = MyDirD + std::string(kind.RuntimeBeside);
    found.emplace(kind.Runtime, std::move(path));
  }
  return found;
}

std::string RunCommandLine(const std::string& Program, const std::string& EName, const TRuntimePaths& Runtimes,
                           std::uint64_t& MemLimit) {
  const TProgramKind& kind = ProgramKindOf(Program);
  std::string runtime;
  if (!kind.Runtime.empty()) {
    const auto it = Runtimes.find(kind.Runtime);
    runtime = it != Runtimes.end() ? it->second : SystemDirD + std::string(kind.Runtime);
  }
  std::string heap;
  if (kind.OwnHeapLimit) {
    // No limit (0) gets the largest heap too: the runtime refuses a heap of 0.
    heap = MemLimit == 0 || MemLimit >= 0x40000000ull ? "1024M" : std::to_string(MemLimit);
    MemLimit = 0xFFFFFFFFull;
  }
  return Expand(kind.RunCmd, {{"%PROGRAM%", Program}, {"%NAME%", EName}, {"%RUNTIME%", runtime}, {"%HEAP%", heap}});
}

std::size_t FindWorkDirMarker(std::string_view cmd) {
  constexpr std::size_t kTail = 2;
  if (cmd.size() < kWorkDirMarker.size() + kTail) return std::string_view::npos;
  for (std::size_t p = cmd.size() - kWorkDirMarker.size() - kTail + 1; p-- > 0;)
    if (SameAsciiAt(cmd, p, kWorkDirMarker)) return p;
  return std::string_view::npos;
}

// ---- TCompilerConfig -------------------------------------------------------

TCompilerConfig::TCompilerConfig() { BuildDefault(); }

void TCompilerConfig::BuildDefault() {
  Clear();
  auto row = [this](const TLanguage& language, std::string_view args) {
    Add(new TCompilerNode(std::string(language.Ext), "\"" + SystemDirD + std::string(language.Compiler) + "\"" +
                                                         std::string(args)));
  };
  for (const TLanguage& language : kLanguages)
    if (!language.Compiler.empty()) row(language, language.ArgsHere);
  for (const TLanguage& language : kLanguages)
    if (language.Compiler.empty()) Add(new TCompilerNode(std::string(language.Ext), std::string(language.Comment)));
  for (const TLanguage& language : kLanguages)
    if (!language.Compiler.empty()) row(language, language.ArgsFull);
}

bool TCompilerConfig::GetCommandLine(const std::string& cdir, const std::string& EName, std::string& resext,
                                     std::string& rescmd) const {
  resext.clear();
  rescmd.clear();
  const std::string folder = WithDelimiter(cdir);
  for (const TCompilerNode* row : *this) {
    if (FindSourceName(folder, EName + row->ext).empty()) continue;
    resext = row->ext;
    std::string cmd = ReplaceIgnoreCase(row->cmd, "%PATH%", folder);
    cmd = ReplaceIgnoreCase(cmd, "%NAME%", EName);
    rescmd = ReplaceIgnoreCase(cmd, "%EXT%", resext);
    return true;
  }
  return false;
}

void TCompilerConfig::XMLLoad(pugi::xml_node Node) {
  if (!SameText(ReadXMLAttribute(Node, "Identifier", ""), kIdentifier)) return;
  Clear();
  ForEachElement(Node, [this](pugi::xml_node item) {
    Add(new TCompilerNode(ReadXMLAttribute(item, "ext", ""), ReadXMLAttribute(item, "cmd", "")));
  });
}

void TCompilerConfig::XMLSave(pugi::xml_node Node) const {
  RemoveChildNodes(Node);
  WriteXMLAttribute(Node, "Identifier", std::string(kIdentifier));
  for (const TCompilerNode* row : *this) {
    pugi::xml_node item = Node.append_child("Item");
    WriteXMLAttribute(item, "ext", row->ext);
    WriteXMLAttribute(item, "cmd", row->cmd);
  }
}

// ---- TCompilerEngine -------------------------------------------------------

TCompilerEngine::TCompilerEngine(TCompilerConfig& cplconfig) : Fcplconfig(&cplconfig) {
  FileInp = "NUL";
  FileOut = TempDirD + kCompileOutputName;
  FileErr = TempDirD + kCompileErrorName;
  InheritHandles = true;
  SetShowFlag(0);
  // A memory limit this high only asks for the run's containment.
  SetMemLimit(0xFFFFFFFFu);
  SetTimeLimit(kCompileTimeLimitMs);
}

TCompilerEngine::TCompileResult TCompilerEngine::Compile(const std::string& cdir, const std::string& EName) {
  FLog.clear();
  FSourceFile.clear();
  std::string ext, cmd;
  if (!Fcplconfig->GetCommandLine(cdir, EName, ext, cmd)) {
    FLog.emplace_back(kNoSource);
    FCompiledFile.clear();
    return crNoSource;
  }

  // The compiler is handed the name the row spells; the file system is not
  // as forgiving about letter case as the table's authors assumed.
  const std::string folder = WithDelimiter(cdir);
  const std::string expected = EName + ext;
  const std::string onDisk = FindSourceName(folder, expected);
  if (!onDisk.empty() && onDisk != expected) {
    std::error_code ec;
    fs::rename(folder + onDisk, folder + expected, ec);
    if (ec)
      throw std::runtime_error("Không thể đổi tên \"" + folder + onDisk + "\" thành \"" + expected +
                               "\": " + platform::ErrnoMessage(ec.value()));
  }

  FLog.push_back(expected);
  FSourceFile = expected;
  FCompiledFile = CompiledFileName(ext, EName);

  cmd = TrimControl(cmd);
  if (cmd.empty() || cmd.front() == ';') return crOK;

  // The submission folder is the one the compiler may write.
  Room = cdir;
  RunCompiler(cmd);
  if (ExitCode() == 0) {
    FLog.emplace_back(kCompiled);
    return crOK;
  }
  FCompiledFile.clear();
  FLog.push_back(ExitCodeMsg());
  AppendCaptureFile(FileOut);
  AppendCaptureFile(FileErr);
  return crError;
}

void TCompilerEngine::RunCompiler(const std::string& cmd) {
  const std::size_t marker = FindWorkDirMarker(cmd);
  PathPrefix.clear();
  if (marker == std::string::npos) {
    SetCmd(cmd);
    Execute();
    return;
  }
  // The compiler's own folder comes first on its PATH, for the helper
  // programs it starts; the run then works in the named folder.
  SetCmd(cmd.substr(0, marker));
  PathPrefix = WorkingDir;
  WorkingDir = cmd.substr(marker + kWorkDirMarker.size());
  Execute();
}

void TCompilerEngine::AppendCaptureFile(const std::string& FileName) {
  std::error_code ec;
  if (!fs::exists(FileName, ec)) return;
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw std::runtime_error("Không thể đọc file \"" + FileName + "\"");
  std::string bytes(kMaxCaptureBytes, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) throw std::runtime_error("Không thể đọc file \"" + FileName + "\"");
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  const bool cut = in.peek() != std::char_traits<char>::eof();
  in.close();
  AppendLines(FLog, DecodeCapture(bytes));
  if (cut) FLog.emplace_back("...");
  DeleteWithRetry(FileName);
}

}  // namespace velkor
