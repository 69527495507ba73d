// The environment settings and the per-user configuration file.
//
// "Velkor.cfg" in the user's roaming configuration folder holds the
// compiler table and the environment settings (the security account's
// password among them, as plain text, so the file is readable by its owner
// only) as a compressed XML document:
//
//   <VelkorConfiguration>
//     <CompilerConfigurations Identifier="VELKORCompiler"> <Item ext cmd/>... </CompilerConfigurations>
//     <Environment Identifier="VELKOREnvironment" SubmitDir=... ToolBarVisible=.../>
//   </VelkorConfiguration>
//
// It is read once at start-up and written at clean-up and whenever a
// settings window closes with OK. A version marker in the registry says
// which release wrote it: a start under another release (or a missing
// marker) discards the file once, as does the switch "/CLEAN". A file that
// cannot be read is put aside and the defaults are used, without a word.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include <pugixml.hpp>

#include "judging/Compilers.h"

namespace velkor {

enum TReportOption { roCorrect, roWrong, roPartial };

// Which tests the report window lists.
class TReportOptionSet {
 public:
  constexpr TReportOptionSet() = default;
  constexpr TReportOptionSet(std::initializer_list<TReportOption> options) {
    for (TReportOption o : options) Include(o);
  }
  constexpr bool Contains(TReportOption o) const { return (FBits >> o) & 1u; }
  constexpr void Include(TReportOption o) { FBits |= 1u << o; }
  constexpr void Exclude(TReportOption o) { FBits &= ~(1u << o); }
  constexpr bool operator==(const TReportOptionSet&) const = default;

 private:
  std::uint8_t FBits = 0;
};

// What happens to existing scores when an exam's settings change.
enum TExamEditAction { eeaAsk, eeaClean, eeaKeep };

// The program's GUI font, which the font settings default to. The GUI
// installs its source at start-up, before the configuration is read;
// without one the font is "Arial Unicode MS" at 9 points.
struct TGuiFontInfo {
  std::string Name;
  int Size = 0;
};
using TGuiFontSource = std::function<TGuiFontInfo()>;
// Installs Source (an empty one restores the fallback) and returns the
// previous one.
TGuiFontSource SetGuiFontSource(TGuiFontSource Source);
TGuiFontInfo GuiFont();

class TEnvConfig {
 public:
  TEnvConfig() { BuildDefault(); }
  virtual ~TEnvConfig() = default;

  // Every setting to its default, except AdminToken2.
  void BuildDefault();
  // The "Environment" element: read when its "Identifier" is
  // "VELKOREnvironment", else left alone. An attribute that does not
  // convert raises EConvertError.
  void XMLLoad(pugi::xml_node Node);
  void XMLSave(pugi::xml_node Node) const;

  std::uintptr_t AdminToken = 0;   // logon of the security account
  std::uintptr_t AdminToken2 = 0;  // its second token; BuildDefault leaves it
  std::string SubmitDir;           // watched for online submissions; "" = none
  std::string DecompressDir;       // opened contest archives are unpacked under it
  std::string ContestHouse;        // the judge engine's work folder is made under it
  bool ActiveSecurity = false;
  std::string AdminUserName;
  std::string AdminPassword;  // plain text, as the file stores it
  std::string AdminDomain;
  std::string LastExamDir;
  std::string LastContestantDir;
  std::string StyleName;
  std::string NumberFormat;  // pattern for showing scores
  std::string GUIFontName;
  int GUIFontSize = 0;
  TReportOptionSet ReportOptions;  // never stored
  bool ToolBarVisible = true;
  TExamEditAction ExamEditAction = eeaAsk;
};

// The compiler table and the environment settings of the run. Created and
// freed by InitializeGlobals and FinalizeGlobals (judging/Globals.h).
extern std::unique_ptr<TCompilerConfig> CompilerConfig;
extern std::unique_ptr<TEnvConfig> EnvConfig;

// The text the registry marker holds: the program and its release.
inline constexpr const char* kVersionSignature = "Velkor 0.1.0";

// The configuration file: the roaming configuration folder (created when
// missing) and "Velkor.cfg". Computed on first use.
const std::string& ConfigFileName();
// The local help page beside the program as a file URL. Computed on first
// use.
const std::string& DocumentationURL();
// Forgets the two texts above, so the next use computes them again.
void ReleaseConfigurationTexts();

// True when the registry marker holds this release's text; otherwise writes
// it there and returns False. Registry failures raise.
bool CheckVersionSignature();
// Restores both defaults, then reads the configuration file unless it is
// missing, "/CLEAN" was given or the marker is not this release's (both of
// which delete the file).
void LoadConfiguration();
// Writes the configuration file (atomically, owner-only) and the marker.
// Raises when either cannot be written.
void SaveConfiguration();

}  // namespace velkor
