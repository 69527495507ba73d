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
#include "platform/AccountFolders.h"
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

// Keeps the configuration file as "<name>.bak", or "<name>.<n>.bak" when
// that is taken, and returns the name used ("" with Error set when it could
// not be kept). Move takes the file away; otherwise it stays as it is and a
// copy is made (only the readable file is copied). The copy is the owner's
// only: the file holds the security account's password.
std::string KeepAside(const std::string& fileName, bool move, const std::string& bytes, std::string& error) {
  for (int n = 0; n < 1000; ++n) {
    const std::string bak = fileName + (n == 0 ? "" : "." + std::to_string(n)) + ".bak";
    if (move) {
      const int err = RenameNoReplace(fileName, bak);
      if (err == EEXIST) continue;
      if (err != 0) {
        error = platform::ErrnoMessage(err);
        return {};
      }
      ::chmod(bak.c_str(), 0600);
      return bak;
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
    notice += (move ? "File cấu hình " + Quoted(fileName) + " được cất riêng thành file "
                    : "Bản gốc của file cấu hình " + Quoted(fileName) + " được giữ lại ở file ") +
              Quoted(bak) + ".";
  else
    notice += "Không giữ lại được file cấu hình cũ " + Quoted(fileName) + ": " + error;
  // The details stand apart from what the jury must know.
  if (!details.empty()) notice += "\n";
  for (const std::string& d : details) notice += "\n" + d;
  PendingNotice() = notice;
}

// Whether Node is an element of ours: its "Identifier" is Identifier.
bool HasIdentifier(pugi::xml_node Node, std::string_view Identifier) {
  return SameText(ReadXMLAttribute(Node, "Identifier", ""), Identifier);
}

// The line of the notice for a part of the file that is not ours.
std::string ForeignPart(const char* What, const char* Element, std::string_view Identifier) {
  return std::string(What) + ": thẻ \"" + Element + "\" không mang định danh \"" + std::string(Identifier) +
         "\", đang dùng giá trị mặc định.";
}

void ReadConfigurationFile(const std::string& fileName) {
  std::string bytes, readError;
  if (!ReadFileBytes(fileName, bytes, readError)) {
    SetAside(fileName, true, {}, "Không đọc được file cấu hình; Velkor dùng cấu hình mặc định.",
             {"Chi tiết: " + readError});
    return;
  }
  TCompressedXML doc;
  try {
    doc.LoadFromBytes(bytes, "file " + Quoted(fileName));
  } catch (const EXMLError& e) {
    // A file that fails its check may hold anything up to the damage: one
    // flipped bit turns a compiler's command or the submission folder into
    // another that still reads well. Nothing of it is used.
    SetAside(fileName, true, {}, "File cấu hình bị hỏng; Velkor dùng cấu hình mặc định.", {std::string("Chi tiết: ") + e.what()});
    return;
  }
  const pugi::xml_node root = doc.child(kRootElement);
  if (!root) {
    SetAside(fileName, true, {},
             std::string("File cấu hình không có thẻ gốc \"") + kRootElement +
                 "\" nên không phải cấu hình của Velkor; Velkor dùng cấu hình mặc định.",
             {});
    return;
  }

  // A part that is not ours keeps its defaults; the other part is read.
  std::vector<std::string> unread;
  if (const pugi::xml_node compilers = root.child(kCompilersElement)) {
    if (HasIdentifier(compilers, TCompilerConfig::kIdentifier))
      CompilerConfig->XMLLoad(compilers);
    else
      unread.push_back(ForeignPart("Bảng trình dịch", kCompilersElement, TCompilerConfig::kIdentifier));
  }
  if (const pugi::xml_node environment = root.child(kEnvironmentElement)) {
    if (HasIdentifier(environment, kIdentifier))
      EnvConfig->XMLLoad(environment, &unread);
    else
      unread.push_back(ForeignPart("Các thiết lập chung", kEnvironmentElement, kIdentifier));
  }
  if (unread.empty()) return;
  std::vector<std::string> details{"Không đọc được (dùng giá trị mặc định):"};
  for (const std::string& u : unread) details.push_back("- " + u);
  SetAside(fileName, false, bytes,
           "File cấu hình bị hỏng: Velkor dùng mọi giá trị đọc được, phần còn lại lấy giá trị mặc định.",
           details);
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
