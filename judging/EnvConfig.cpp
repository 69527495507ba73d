#include "judging/EnvConfig.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/CompressedXML.h"
#include "core/FileUtils.h"
#include "core/NameCompare.h"
#include "core/SystemInfo.h"
#include "judging/NumberFormat.h"
#include "judging/XMLHelpers.h"
#include "platform/Registry.h"
#include "platform/SpecialFolders.h"

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

void ReadConfigurationFile(const std::string& fileName) {
  TCompressedXML doc;
  doc.LoadFromFile(fileName);
  const pugi::xml_node root = doc.child(kRootElement);
  if (!root) return;
  if (const pugi::xml_node compilers = root.child(kCompilersElement)) CompilerConfig->XMLLoad(compilers);
  if (const pugi::xml_node environment = root.child(kEnvironmentElement)) EnvConfig->XMLLoad(environment);
}

void RestoreDefaults() {
  CompilerConfig->BuildDefault();
  EnvConfig->BuildDefault();
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

void TEnvConfig::XMLLoad(pugi::xml_node Node) {
  if (!SameText(ReadXMLAttribute(Node, "Identifier", ""), kIdentifier)) return;
  // A file without a submission folder turns online judging off: the
  // unpack folder is shared with other programs' data, and the intake
  // deletes files there.
  SubmitDir = ReadXMLAttribute(Node, "SubmitDir", "");
  DecompressDir = ReadXMLAttribute(Node, "DecompressDir", DecompressDir);
  ContestHouse = ReadXMLAttribute(Node, "ContestHouse", ContestHouse);
  ActiveSecurity = ReadXMLAttribute(Node, "ActiveSecurity", ActiveSecurity);
  AdminUserName = ReadXMLAttribute(Node, "AdminUserName", AdminUserName);
  AdminPassword = ReadXMLAttribute(Node, "AdminPassword", AdminPassword);
  AdminDomain = ReadXMLAttribute(Node, "AdminDomain", AdminDomain);
  LastExamDir = ReadXMLAttribute(Node, "LastExamDir", "");
  LastContestantDir = ReadXMLAttribute(Node, "LastContestantDir", "");
  ExamEditAction = ExamEditActionOf(ReadXMLAttribute(Node, "ExamEditAction", static_cast<int>(ExamEditAction)));
  StyleName = ReadXMLAttribute(Node, "StyleName", kDefaultStyle);
  NumberFormat = ReadXMLAttribute(Node, "NumberFormat", std::string(kDefaultNumberFormat));
  const TGuiFontInfo font = GuiFont();
  GUIFontName = ReadXMLAttribute(Node, "GUIFontName", font.Name);
  GUIFontSize = ReadXMLAttribute(Node, "GUIFontSize", font.Size);
  ToolBarVisible = ReadXMLAttribute(Node, "ToolBarVisible", ToolBarVisible);
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
  if (!reg.ValueExists(kSignatureValue) || !SameText(reg.ReadString(kSignatureValue), kVersionSignature)) {
    result = false;
    reg.WriteString(kSignatureValue, kVersionSignature);
  }
  reg.CloseKey();
  return result;
}

void LoadConfiguration() {
  RestoreDefaults();
  const std::string& fileName = ConfigFileName();
  std::error_code ec;
  if (!fs::exists(fileName, ec)) return;
  if (IndexOfParam("/CLEAN", 0) >= 0 || !CheckVersionSignature()) {
    DeleteWithRetry(fileName);
    return;
  }
  try {
    ReadConfigurationFile(fileName);
  } catch (...) {
    RestoreDefaults();
    // The next save would overwrite the file with the defaults; keep what
    // could not be read for the jury to mend.
    fs::rename(fileName, fileName + ".bak", ec);
  }
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
