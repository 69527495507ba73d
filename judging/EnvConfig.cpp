#include "judging/EnvConfig.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/CompressedXML.h"
#include "core/ConvertError.h"
#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "core/NameCompare.h"
#include "core/SystemInfo.h"
#include "judging/NumberFormat.h"
#include "judging/XMLHelpers.h"
#include "platform/Registry.h"
#include "platform/SpecialFolders.h"
#include "platform/SystemErrors.h"
#include "platform/UniqueFd.h"

namespace velkor {

std::unique_ptr<TCompilerConfig> CompilerConfig;
std::unique_ptr<TEnvConfig> EnvConfig;

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kIdentifier = "VELKOREnvironment";
constexpr const char* kDefaultStyle = "Default";
constexpr const char* kRootElement = "VelkorConfiguration";
constexpr const char* kCompilersElement = "CompilerConfigurations";
constexpr const char* kEnvironmentElement = "Environment";
constexpr const char* kSignatureKey = "SOFTWARE\\Velkor";
constexpr const char* kSignatureValue = "Signature";
// The password is in the file.
constexpr unsigned kConfigFilePermissions = 0600;

TGuiFontSource& GuiFontSource() {
  static TGuiFontSource source;
  return source;
}

std::optional<std::string>& CachedConfigFileName() {
  static std::optional<std::string> name;
  return name;
}

std::optional<std::string>& CachedDocumentationURL() {
  static std::optional<std::string> url;
  return url;
}

std::string WithDelimiter(const std::string& folder) {
  return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

// Bytes of a path that may stand in a URL as they are; the rest is
// percent-encoded, so a "#" or a blank in the program's folder cannot cut
// the address short.
bool UrlSafe(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view("-._~/!$&'()*+,;=:@").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string FileUrl(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    if (UrlSafe(c)) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

TExamEditAction ExamEditActionOf(int ordinal) {
  return ordinal >= eeaAsk && ordinal <= eeaKeep ? static_cast<TExamEditAction>(ordinal) : eeaAsk;
}

void RestoreDefaults() {
  CompilerConfig->BuildDefault();
  EnvConfig->BuildDefault();
}

std::string& PendingNotice() {
  static std::string notice;
  return notice;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The attribute Name, or Default when its text does not convert and Unread
// collects what could not be read; without Unread the error goes on.
template <class T>
T ReadSetting(pugi::xml_node Node, const char* Name, const T& Default, std::vector<std::string>* Unread) {
  try {
    return ReadXMLAttribute(Node, Name, Default);
  } catch (const EConvertError& e) {
    if (!Unread) throw;
    Unread->emplace_back(e.what());
    return Default;
  }
}

// The whole file, or false with the system's reason.
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error) {
  const platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) {
    error = "Không mở được file " + Quoted(path) + ": " + platform::ErrnoMessage(errno);
    return false;
  }
  char buf[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = "Không đọc được file " + Quoted(path) + ": " + platform::ErrnoMessage(errno);
      return false;
    }
    if (n == 0) return true;
    bytes.append(buf, static_cast<std::size_t>(n));
  }
}

// Parses what stands before the last complete tag of Text into Doc and
// returns that part. A tag cut in two would give its last attribute a cut
// value; ending at a ">" keeps every attribute whole.
std::string_view ParsePrefix(pugi::xml_document& doc, std::string_view text) {
  const std::size_t end = text.rfind('>');
  doc.reset();
  if (end == std::string_view::npos) return {};
  // The parse stops with an error at the cut; the tree before it stays.
  doc.load_buffer(text.data(), end + 1, pugi::parse_default, pugi::encoding_auto);
  return text.substr(0, end + 1);
}

// Whether the element was closed before the text broke off at the end of
// Prefix: something after it was parsed, or the last tag is its end tag (or
// its own start tag, self-closed).
bool ClosedBeforeTheCut(pugi::xml_node element, std::string_view prefix) {
  for (pugi::xml_node n = element; n; n = n.parent())
    if (n.next_sibling()) return true;
  while (!prefix.empty() && std::string_view(" \t\r\n").find(prefix.back()) != std::string_view::npos)
    prefix.remove_suffix(1);
  return prefix.ends_with("</" + std::string(element.name()) + ">") ||
         (!element.first_child() && prefix.ends_with("/>"));
}

// Keeps the configuration file as "<name>.bak", or "<name>.<n>.bak" when
// that is taken, and returns the name used ("" with Error set when it could
// not be kept). Move takes the file away; otherwise it stays as it is and a
// copy is made (only the readable file is copied). The copy is the owner's
// only: the file holds the security account's password.
std::string KeepAside(const std::string& fileName, bool move, const std::string& bytes, std::string& error) {
  for (int n = 0; n < 1000; ++n) {
    const std::string bak = fileName + (n == 0 ? "" : "." + std::to_string(n)) + ".bak";
    if (move) {
      if (::renameat2(AT_FDCWD, fileName.c_str(), AT_FDCWD, bak.c_str(), RENAME_NOREPLACE) == 0) {
        ::chmod(bak.c_str(), 0600);
        return bak;
      }
      if (errno == EEXIST) continue;
      if (errno != EINVAL && errno != ENOSYS) {
        error = platform::ErrnoMessage(errno);
        return {};
      }
      // A file system without the no-replace rename: a hard link takes a
      // free name only.
      if (::link(fileName.c_str(), bak.c_str()) == 0) {
        ::unlink(fileName.c_str());
        ::chmod(bak.c_str(), 0600);
        return bak;
      }
      if (errno == EEXIST) continue;
      error = platform::ErrnoMessage(errno);
      return {};
    }
    const platform::UniqueFd fd(::open(bak.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd.Valid()) {
      if (errno == EEXIST) continue;
      error = platform::ErrnoMessage(errno);
      return {};
    }
    std::string_view rest = bytes;
    while (!rest.empty()) {
      const ssize_t w = ::write(fd.Get(), rest.data(), rest.size());
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        error = platform::ErrnoMessage(errno);
        ::unlink(bak.c_str());
        return {};
      }
      rest.remove_prefix(static_cast<std::size_t>(w));
    }
    return bak;
  }
  error = "quá nhiều file .bak";
  return {};
}

// Sets the file aside and leaves one message for the jury: Headline says
// what happened, then where the old file went, then the Details.
void SetAside(const std::string& fileName, bool move, const std::string& bytes, const std::string& headline,
              const std::vector<std::string>& details) {
  std::string error;
  const std::string bak = KeepAside(fileName, move, bytes, error);
  std::string notice = headline + "\n";
  if (!bak.empty())
    notice += (move ? "File cấu hình cũ được giữ lại ở file " : "Bản gốc của file cấu hình được giữ lại ở file ") +
              Quoted(bak) + ".";
  else
    notice += "Không giữ lại được file cấu hình cũ " + Quoted(fileName) + ": " + error;
  // The details stand apart from what the jury must know.
  if (!details.empty()) notice += "\n";
  for (const std::string& d : details) notice += "\n" + d;
  PendingNotice() = notice;
}

void ReadConfigurationFile(const std::string& fileName) {
  std::string bytes, readError;
  if (!ReadFileBytes(fileName, bytes, readError)) {
    SetAside(fileName, true, {}, "Không đọc được file cấu hình; Velkor dùng cấu hình mặc định.",
             {"Chi tiết: " + readError});
    return;
  }
  TCompressedXML doc;
  std::string damage;  // why the document is not whole
  std::string text;    // what of it could be unpacked then
  std::string_view prefix;
  try {
    doc.LoadFromBytes(bytes, "file " + Quoted(fileName));
  } catch (const EXMLError& e) {
    damage = e.what();
    text = InflateReadablePart(bytes);
    prefix = ParsePrefix(doc, text);
  }
  const pugi::xml_node root = doc.child(kRootElement);
  if (!root) {
    // A whole document without the root holds nothing of ours.
    if (damage.empty()) return;
    SetAside(fileName, true, {},
             "File cấu hình bị hỏng, không đọc được gì; Velkor dùng cấu hình mặc định.", {"Chi tiết: " + damage});
    return;
  }

  std::vector<std::string> unread;
  if (const pugi::xml_node compilers = root.child(kCompilersElement)) {
    CompilerConfig->XMLLoad(compilers);
    if (!damage.empty() && !ClosedBeforeTheCut(compilers, prefix)) {
      // The rows after the cut are lost; a language without a row would
      // have its submissions counted as missing, so the default rows of
      // the extensions the table no longer has follow the rows read.
      const int rowsRead = CompilerConfig->Count();
      std::string added;
      const TCompilerConfig defaults;
      for (const TCompilerNode* row : defaults) {
        bool present = false;
        for (const TCompilerNode* kept : *CompilerConfig) present = present || SameText(kept->ext, row->ext);
        if (present) continue;
        CompilerConfig->Add(new TCompilerNode(row->ext, row->cmd));
        added += (added.empty() ? "" : " ") + row->ext;
      }
      std::string line = "Bảng trình dịch bị cắt cụt, chỉ đọc được " + std::to_string(rowsRead) + " dòng đầu";
      if (!added.empty()) line += "; các loại file " + added + " lấy lại dòng mặc định";
      unread.push_back(line + ".");
    }
  } else if (!damage.empty()) {
    unread.emplace_back("Bảng trình dịch (thẻ \"" + std::string(kCompilersElement) + "\"): đang dùng bảng mặc định.");
  }
  // Parsed at all, the element's tag is whole and so is every attribute.
  if (const pugi::xml_node environment = root.child(kEnvironmentElement))
    EnvConfig->XMLLoad(environment, &unread);
  else if (!damage.empty())
    unread.emplace_back("Các thiết lập chung (thẻ \"" + std::string(kEnvironmentElement) + "\").");

  if (damage.empty() && unread.empty()) return;
  std::vector<std::string> details;
  if (!unread.empty()) {
    details.emplace_back("Không đọc được (dùng giá trị mặc định):");
    for (const std::string& u : unread) details.push_back("- " + u);
  }
  if (!damage.empty()) details.push_back("Chi tiết: " + damage);
  SetAside(fileName, false, bytes,
           "File cấu hình bị hỏng: Velkor dùng mọi giá trị đọc được, phần còn lại lấy giá trị mặc định.", details);
}

}  // namespace

// ---- GUI font ----------------------------------------------------------------

TGuiFontSource SetGuiFontSource(TGuiFontSource Source) {
  return std::exchange(GuiFontSource(), std::move(Source));
}

TGuiFontInfo GuiFont() {
  if (const TGuiFontSource& source = GuiFontSource()) return source();
  return {"Arial Unicode MS", 9};
}

// ---- TEnvConfig ----------------------------------------------------------------

void TEnvConfig::BuildDefault() {
  AdminToken = 0;
  SubmitDir.clear();
  DecompressDir = WithDelimiter(GetFolderLocation(platform::kFolderCommonAppData));
  ContestHouse = DecompressDir;
  ActiveSecurity = false;
  AdminUserName.clear();
  AdminPassword.clear();
  AdminDomain = GetCurrentDomainName();
  LastExamDir.clear();
  LastContestantDir.clear();
  StyleName = kDefaultStyle;
  NumberFormat = kDefaultNumberFormat;
  const TGuiFontInfo font = GuiFont();
  GUIFontName = font.Name;
  GUIFontSize = font.Size;
  ReportOptions = {roCorrect, roWrong, roPartial};
  ToolBarVisible = true;
  ExamEditAction = eeaAsk;
}

void TEnvConfig::XMLLoad(pugi::xml_node Node, std::vector<std::string>* Unread) {
  if (!SameText(ReadXMLAttribute(Node, "Identifier", ""), kIdentifier)) return;
  // A file without a submission folder turns online judging off: the
  // unpack folder is shared with other programs' data, and the intake
  // deletes files there.
  SubmitDir = ReadXMLAttribute(Node, "SubmitDir", "");
  DecompressDir = ReadXMLAttribute(Node, "DecompressDir", DecompressDir);
  ContestHouse = ReadXMLAttribute(Node, "ContestHouse", ContestHouse);
  ActiveSecurity = ReadSetting(Node, "ActiveSecurity", ActiveSecurity, Unread);
  AdminUserName = ReadXMLAttribute(Node, "AdminUserName", AdminUserName);
  AdminPassword = ReadXMLAttribute(Node, "AdminPassword", AdminPassword);
  AdminDomain = ReadXMLAttribute(Node, "AdminDomain", AdminDomain);
  LastExamDir = ReadXMLAttribute(Node, "LastExamDir", "");
  LastContestantDir = ReadXMLAttribute(Node, "LastContestantDir", "");
  ExamEditAction = ExamEditActionOf(ReadSetting(Node, "ExamEditAction", static_cast<int>(ExamEditAction), Unread));
  StyleName = ReadXMLAttribute(Node, "StyleName", kDefaultStyle);
  NumberFormat = ReadXMLAttribute(Node, "NumberFormat", std::string(kDefaultNumberFormat));
  const TGuiFontInfo font = GuiFont();
  GUIFontName = ReadXMLAttribute(Node, "GUIFontName", font.Name);
  GUIFontSize = ReadSetting(Node, "GUIFontSize", font.Size, Unread);
  ToolBarVisible = ReadSetting(Node, "ToolBarVisible", ToolBarVisible, Unread);
}

void TEnvConfig::XMLSave(pugi::xml_node Node) const {
  WriteXMLAttribute(Node, "Identifier", std::string(kIdentifier));
  WriteXMLAttribute(Node, "SubmitDir", SubmitDir);
  WriteXMLAttribute(Node, "DecompressDir", DecompressDir);
  WriteXMLAttribute(Node, "ActiveSecurity", ActiveSecurity);
  WriteXMLAttribute(Node, "ContestHouse", ContestHouse);
  WriteXMLAttribute(Node, "AdminUserName", AdminUserName);
  WriteXMLAttribute(Node, "AdminPassword", AdminPassword);
  WriteXMLAttribute(Node, "AdminDomain", AdminDomain);
  WriteXMLAttribute(Node, "LastExamDir", LastExamDir);
  WriteXMLAttribute(Node, "LastContestantDir", LastContestantDir);
  WriteXMLAttribute(Node, "ExamEditAction", static_cast<int>(ExamEditAction));
  // Settings at their defaults are left out, so a later default applies.
  // An attribute a node already had is dropped with them, so the node
  // always says what these settings hold.
  const TGuiFontInfo font = GuiFont();
  auto writeIf = [&Node](bool differs, const char* name, auto value) {
    if (differs)
      WriteXMLAttribute(Node, name, value);
    else
      Node.remove_attribute(name);
  };
  writeIf(!SameText(StyleName, kDefaultStyle), "StyleName", StyleName);
  writeIf(NumberFormat != kDefaultNumberFormat, "NumberFormat", NumberFormat);
  writeIf(!SameText(GUIFontName, font.Name), "GUIFontName", GUIFontName);
  writeIf(GUIFontSize != font.Size, "GUIFontSize", GUIFontSize);
  WriteXMLAttribute(Node, "ToolBarVisible", ToolBarVisible);
}

// ---- The configuration file ------------------------------------------------------

const std::string& ConfigFileName() {
  std::optional<std::string>& name = CachedConfigFileName();
  if (!name)
    name = WithDelimiter(GetFolderLocation(platform::kFolderRoamingAppData | platform::kFolderFlagCreate)) +
           "Velkor.cfg";
  return *name;
}

const std::string& DocumentationURL() {
  std::optional<std::string>& url = CachedDocumentationURL();
  if (!url) url = FileUrl(MyDirD + "~Documentation/velkor.html");
  return *url;
}

void ReleaseConfigurationTexts() {
  CachedConfigFileName().reset();
  CachedDocumentationURL().reset();
}

bool CheckVersionSignature() {
  platform::Registry reg(platform::RegistryHive::CurrentUser);
  bool result = reg.KeyExists(kSignatureKey);
  reg.OpenKey(kSignatureKey, true);
  bool current = false;
  if (reg.ValueExists(kSignatureValue)) {
    // A marker that cannot be read (cut short, another type, garbage) says
    // nothing about the file: it counts as missing and is written anew,
    // rather than stopping every start until someone finds it.
    try {
      current = SameText(reg.ReadString(kSignatureValue), kVersionSignature);
    } catch (const platform::ERegistryError&) {
    }
  }
  if (!current) {
    result = false;
    reg.WriteString(kSignatureValue, kVersionSignature);
  }
  reg.CloseKey();
  return result;
}

void LoadConfiguration() {
  RestoreDefaults();
  PendingNotice().clear();
  const std::string& fileName = ConfigFileName();
  std::error_code ec;
  if (!fs::exists(fileName, ec)) return;
  if (IndexOfParam("/CLEAN", 0) >= 0) {
    DeleteWithRetry(fileName);
    return;
  }
  // A registry that cannot even be opened or written tells no more than a
  // missing marker, and must not stop the start either.
  bool current = false;
  std::string registryError;
  try {
    current = CheckVersionSignature();
  } catch (const std::exception& e) {
    registryError = e.what();
  } catch (...) {
    registryError = "lỗi không xác định";
  }
  if (!current) {
    // Another release's file, or one nobody can vouch for: not read, but
    // kept for the jury to compare.
    std::vector<std::string> details;
    if (!registryError.empty()) details.push_back("Chi tiết: " + registryError);
    SetAside(fileName, true, {},
             std::string("File cấu hình không mang dấu phiên bản của ") + kVersionSignature +
                 " (dấu bị thiếu, hỏng hoặc của phiên bản khác) nên không được đọc; Velkor dùng cấu hình mặc định.",
             details);
    return;
  }
  try {
    ReadConfigurationFile(fileName);
  } catch (const std::exception& e) {
    // Nothing of a half-read file is trusted after an unforeseen error.
    RestoreDefaults();
    SetAside(fileName, true, {}, "Không đọc được file cấu hình; Velkor dùng cấu hình mặc định.",
             {std::string("Chi tiết: ") + e.what()});
  } catch (...) {
    RestoreDefaults();
    SetAside(fileName, true, {}, "Không đọc được file cấu hình; Velkor dùng cấu hình mặc định.",
             {"Chi tiết: lỗi không xác định"});
  }
}

const std::string& ConfigurationNotice() { return PendingNotice(); }

void ShowConfigurationNotice() {
  const std::string notice = std::exchange(PendingNotice(), std::string());
  if (!notice.empty()) VQRMsgDlg(notice, mtWarning, {mbOK});
}

void SaveConfiguration() {
  TCompressedXML doc;
  pugi::xml_node root = doc.append_child(kRootElement);
  CompilerConfig->XMLSave(root.append_child(kCompilersElement));
  EnvConfig->XMLSave(root.append_child(kEnvironmentElement));
  doc.FilePermissions = kConfigFilePermissions;
  doc.SaveToFile(ConfigFileName());
  CheckVersionSignature();
}

}  // namespace velkor
