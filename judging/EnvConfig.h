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
// marker, or one that cannot be read) sets the file aside once, as a
// ".bak" beside it; the switch "/CLEAN" deletes it. A file that fails its
// check (damaged or cut short) or that is not ours (another root element)
// is not used at all: everything keeps its default and the file is set
// aside as a ".bak". In a whole file of ours, a part whose "Identifier" is
// not ours and a setting that does not convert keep their defaults; the
// rest is read and a copy of the original is kept as a ".bak". A ".bak" is
// never overwritten: the next free name "Velkor.cfg.<n>.bak" is taken.
// Whenever something was not read, the jury is told once, after the main
// window is up (ShowConfigurationNotice), which file was kept where.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

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
  // convert raises EConvertError; with Unread given, it takes its default
  // instead, the error's text is added to Unread and the rest is read.
  void XMLLoad(pugi::xml_node Node, std::vector<std::string>* Unread = nullptr);
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
// it there and returns False. A marker that cannot be read (empty, of
// another type, garbage) counts as missing and is written anew; failures to
// open the registry or write the marker raise ERegistryError.
bool CheckVersionSignature();
// Restores both defaults, then reads the configuration file unless it is
// missing, "/CLEAN" was given (which deletes it) or the marker is not this
// release's (which sets it aside as a ".bak"). Never raises: whatever goes
// wrong leaves defaults in place and a notice for the jury.
void LoadConfiguration();
// What the last LoadConfiguration has to tell the jury (a file set aside,
// settings not read), in Vietnamese; empty when there is nothing.
const std::string& ConfigurationNotice();
// Shows that notice through the message dialog, once. The program calls it
// when its main window is shown, so the message has a window to stand on.
void ShowConfigurationNotice();
// Writes the configuration file (atomically, owner-only) and the marker.
// Raises when either cannot be written.
void SaveConfiguration();

}  // namespace velkor
