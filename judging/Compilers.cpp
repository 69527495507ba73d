#include "judging/Compilers.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "core/FileUtils.h"
#include "core/NameCompare.h"
#include "core/SystemInfo.h"
#include "core/Unicode.h"
#include "judging/XMLHelpers.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kIdentifier = "VELKORCompiler";
constexpr std::string_view kWorkDirMarker = "|@WorkDir=";
constexpr const char* kNoSource = "Không có bài";
constexpr const char* kCompiled = "Dịch thành công";
// A compiler can print without end (a source that includes a device, an
// error cascade); the log keeps its beginning, which says what went wrong.
constexpr std::size_t kMaxCaptureBytes = 64 * 1024;

std::string WithDelimiter(const std::string& folder) {
  return !folder.empty() && folder.back() == '/' ? folder : folder + "/";
}

char UpAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

std::string UpperAscii(std::string s) {
  for (char& c : s) c = UpAscii(c);
  return s;
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
  auto compiler = [](const char* name) { return "\"" + SystemDirD + name + "\""; };
  const std::string fpc = compiler("fpc"), gpp = compiler("g++"), gcc = compiler("gcc"), javac = compiler("javac");

  const std::string pasHere = R"( -o"%NAME%.exe" -O2 -XS -Sg "%NAME%%EXT%"|@WorkDir=%PATH%)";
  Add(new TCompilerNode(".pas", fpc + pasHere));
  Add(new TCompilerNode(".pp", fpc + pasHere));
  // gcc applies "-x" to the inputs after it only: placed behind the source
  // it does nothing but open every compile report with a warning.
  Add(new TCompilerNode(".cpp", gpp + R"( -o"%NAME%.exe" -x c++ "%NAME%%EXT%" -O2 -s -static -lm|@WorkDir=%PATH%)"));
  Add(new TCompilerNode(".c", gcc + R"( -o"%NAME%.exe" -x c "%NAME%%EXT%" -O2 -s -static -lm|@WorkDir=%PATH%)"));
  Add(new TCompilerNode(".java", javac + R"( "%NAME%%EXT%"|@WorkDir=%PATH%)"));

  Add(new TCompilerNode(".exe", ";Nếu không muốn dịch lại khi đã có file .exe, chuyển loại file này lên đầu"));
  Add(new TCompilerNode(".class", ";Nếu không muốn dịch lại khi đã có file .class, chuyển loại file này lên đầu"));
  Add(new TCompilerNode(".py", ";Mã nguồn Python được thông dịch!"));

  const std::string pasFull = R"( -o"%PATH%%NAME%.exe" -O2 -XS -Sg "%PATH%%NAME%%EXT%")";
  Add(new TCompilerNode(".pas", fpc + pasFull));
  Add(new TCompilerNode(".pp", fpc + pasFull));
  Add(new TCompilerNode(".cpp", gpp + R"( -o"%PATH%%NAME%.exe" -x c++ "%PATH%%NAME%%EXT%" -O2 -s -static -lm)"));
  Add(new TCompilerNode(".c", gcc + R"( -o"%PATH%%NAME%.exe" -x c "%PATH%%NAME%%EXT%" -O2 -s -static -lm)"));
  Add(new TCompilerNode(".java", javac + R"( "%PATH%%NAME%%EXT%")"));
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
                               "\": " + ec.message());
  }

  FLog.push_back(expected);
  FSourceFile = expected;
  const std::string upper = UpperAscii(ext);
  if (upper == ".JAVA" || upper == ".CLASS")
    FCompiledFile = EName + ".class";
  else if (upper == ".PY")
    FCompiledFile = EName + ".py";
  else
    FCompiledFile = EName + ".exe";

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
