// The environment settings, the configuration file and its version marker,
// each test in a configuration folder of its own.
#include "judging/EnvConfig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/CompressedXML.h"
#include "core/SystemInfo.h"
#include "judging/XMLHelpers.h"
#include "platform/Registry.h"
#include "tests/core/FileTestSupport.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::Exists;
using testing::ModeOf;
using testing::ReadText;
using testing::TempFolder;
using testing::WriteText;

constexpr const char* kMarkerKey = "SOFTWARE\\Velkor";

class ConfigTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static const char* argv[] = {"envconfig_test"};
    SystemInfoInit(1, argv);
  }

  void SetUp() override {
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
      const char* v = std::getenv(name);
      savedEnv_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
    }
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    fs::create_directories(home / "data");
    savedParams_ = MyParams;
    MyParams.clear();
    ReleaseConfigurationTexts();
    CompilerConfig = std::make_unique<TCompilerConfig>();
    EnvConfig = std::make_unique<TEnvConfig>();
  }

  void TearDown() override {
    EnvConfig.reset();
    CompilerConfig.reset();
    SetGuiFontSource(nullptr);
    ReleaseConfigurationTexts();
    MyParams = savedParams_;
    for (const auto& [name, value] : savedEnv_) {
      if (value)
        ::setenv(name, value->c_str(), 1);
      else
        ::unsetenv(name);
    }
  }

  // The marker's text, or nothing when the key or the value is missing.
  static std::optional<std::string> Marker() {
    platform::Registry reg;
    if (!reg.OpenKey(kMarkerKey, false) || !reg.ValueExists("Signature")) return std::nullopt;
    return reg.ReadString("Signature");
  }
  static void SetMarker(const std::string& text) {
    platform::Registry reg;
    reg.OpenKey(kMarkerKey, true);
    reg.WriteString("Signature", text);
  }

  // A configuration file written by hand, and the marker of this release.
  static void WriteConfig(const std::string& xml) {
    TCompressedXML doc;
    doc.LoadXML(xml, "test");
    doc.SaveToFile(ConfigFileName());
    SetMarker(kVersionSignature);
  }

  // A configuration with settings away from their defaults, saved.
  static void SaveChangedConfiguration() {
    EnvConfig->SubmitDir = "/srv/submit";
    EnvConfig->StyleName = "Dark";
    CompilerConfig->Clear();
    CompilerConfig->Add(new TCompilerNode(".kt", "kotlinc"));
    SaveConfiguration();
  }

  static bool HasDefaults() {
    const TEnvConfig defaults;
    const TCompilerConfig table;
    return EnvConfig->SubmitDir == defaults.SubmitDir && EnvConfig->StyleName == defaults.StyleName &&
           CompilerConfig->Count() == table.Count() && CompilerConfig->Items(0)->cmd == table.Items(0)->cmd;
  }

  static std::vector<std::string> AttributeNames(pugi::xml_node node) {
    std::vector<std::string> names;
    for (pugi::xml_attribute a : node.attributes()) names.emplace_back(a.name());
    return names;
  }

  TempFolder home;

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> savedEnv_;
  std::vector<std::string> savedParams_;
};

TEST_F(ConfigTest, DefaultsComeFromTheFoldersTheAccountAndTheGuiFont) {
  TEnvConfig env;
  EXPECT_EQ(env.SubmitDir, "");
  EXPECT_EQ(env.DecompressDir, home / "data/");
  EXPECT_EQ(env.ContestHouse, home / "data/");
  EXPECT_FALSE(env.ActiveSecurity);
  EXPECT_EQ(env.AdminDomain, GetCurrentDomainName());
  EXPECT_EQ(env.StyleName, "Default");
  EXPECT_EQ(env.NumberFormat, "%.2n");
  EXPECT_EQ(env.GUIFontName, "Arial Unicode MS");
  EXPECT_EQ(env.GUIFontSize, 9);
  EXPECT_EQ(env.ReportOptions, (TReportOptionSet{roCorrect, roWrong, roPartial}));
  EXPECT_TRUE(env.ToolBarVisible);
  EXPECT_EQ(env.ExamEditAction, eeaAsk);

  // The GUI's font, once installed; BuildDefault keeps the second token.
  SetGuiFontSource([] { return TGuiFontInfo{"DejaVu Sans", 11}; });
  env.AdminToken = 5;
  env.AdminToken2 = 7;
  env.ReportOptions.Exclude(roWrong);
  env.BuildDefault();
  EXPECT_EQ(env.GUIFontName, "DejaVu Sans");
  EXPECT_EQ(env.GUIFontSize, 11);
  EXPECT_EQ(env.AdminToken, 0u);
  EXPECT_EQ(env.AdminToken2, 7u);
  EXPECT_TRUE(env.ReportOptions.Contains(roWrong));
}

TEST_F(ConfigTest, FirstStartUsesDefaultsAndTheSecondReadsWhatTheFirstSaved) {
  LoadConfiguration();
  EXPECT_TRUE(HasDefaults());
  EXPECT_FALSE(Marker());
  EXPECT_EQ(ConfigFileName(), home / "config/Velkor.cfg");

  EnvConfig->SubmitDir = "/srv/submit";
  EnvConfig->ActiveSecurity = true;
  EnvConfig->AdminUserName = "judge";
  EnvConfig->AdminPassword = "s3cret & <x>";
  EnvConfig->LastExamDir = "/contest/tasks";
  EnvConfig->NumberFormat = "%.3f";
  EnvConfig->GUIFontSize = 12;
  EnvConfig->ToolBarVisible = false;
  EnvConfig->ExamEditAction = eeaKeep;
  EnvConfig->ReportOptions = {roCorrect};
  CompilerConfig->Delete(0);
  SaveConfiguration();

  // Compressed, readable by its owner only, and the marker is set.
  EXPECT_EQ(ReadText(ConfigFileName()).substr(0, 1), "\x78");
  EXPECT_EQ(ModeOf(ConfigFileName()), 0600u);
  EXPECT_EQ(Marker(), kVersionSignature);

  EnvConfig = std::make_unique<TEnvConfig>();
  CompilerConfig = std::make_unique<TCompilerConfig>();
  LoadConfiguration();
  EXPECT_EQ(EnvConfig->SubmitDir, "/srv/submit");
  EXPECT_TRUE(EnvConfig->ActiveSecurity);
  EXPECT_EQ(EnvConfig->AdminUserName, "judge");
  EXPECT_EQ(EnvConfig->AdminPassword, "s3cret & <x>");
  EXPECT_EQ(EnvConfig->LastExamDir, "/contest/tasks");
  EXPECT_EQ(EnvConfig->NumberFormat, "%.3f");
  EXPECT_EQ(EnvConfig->GUIFontSize, 12);
  EXPECT_FALSE(EnvConfig->ToolBarVisible);
  EXPECT_EQ(EnvConfig->ExamEditAction, eeaKeep);
  EXPECT_EQ(EnvConfig->ReportOptions, (TReportOptionSet{roCorrect, roWrong, roPartial}));
  EXPECT_EQ(CompilerConfig->Count(), 12);
  EXPECT_EQ(CompilerConfig->Items(0)->ext, ".pp");
}

TEST_F(ConfigTest, SavedFileIsOwnerOnlyEvenWhenItWasNot) {
  fs::create_directories(home / "config");
  WriteText(home / "config/Velkor.cfg", "old");
  fs::permissions(home / "config/Velkor.cfg", fs::perms(0644));
  EnvConfig->AdminPassword = "pw";
  SaveConfiguration();
  EXPECT_EQ(ModeOf(ConfigFileName()), 0600u);
}

TEST_F(ConfigTest, SettingsAtTheirDefaultsAreNotWritten) {
  struct Case {
    const char* what;
    void (*change)(TEnvConfig&);
    const char* attribute;
    bool written;
  } cases[] = {
      {"style in other case", [](TEnvConfig& e) { e.StyleName = "default"; }, "StyleName", false},
      {"other style", [](TEnvConfig& e) { e.StyleName = "Dark"; }, "StyleName", true},
      {"default pattern", [](TEnvConfig& e) { e.NumberFormat = "%.2n"; }, "NumberFormat", false},
      {"pattern in other case", [](TEnvConfig& e) { e.NumberFormat = "%.2N"; }, "NumberFormat", true},
      {"font in other case", [](TEnvConfig& e) { e.GUIFontName = "ARIAL unicode ms"; }, "GUIFontName", false},
      {"other font", [](TEnvConfig& e) { e.GUIFontName = "DejaVu Sans"; }, "GUIFontName", true},
      {"other size", [](TEnvConfig& e) { e.GUIFontSize = 10; }, "GUIFontSize", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TEnvConfig env;
    c.change(env);
    pugi::xml_document doc;
    pugi::xml_node node = doc.append_child("Environment");
    env.XMLSave(node);
    EXPECT_EQ(static_cast<bool>(node.attribute(c.attribute)), c.written);
    // Saved again at the default, the node loses the attribute.
    env.BuildDefault();
    env.XMLSave(node);
    EXPECT_FALSE(node.attribute(c.attribute));
  }

  // The order of the attributes, and the value texts.
  TEnvConfig env;
  env.StyleName = "Dark";
  env.NumberFormat = "%.1f";
  env.GUIFontName = "DejaVu Sans";
  env.GUIFontSize = 10;
  env.ExamEditAction = eeaClean;
  pugi::xml_document doc;
  pugi::xml_node node = doc.append_child("Environment");
  env.XMLSave(node);
  EXPECT_EQ(AttributeNames(node),
            (std::vector<std::string>{"Identifier", "SubmitDir", "DecompressDir", "ActiveSecurity", "ContestHouse",
                                      "AdminUserName", "AdminPassword", "AdminDomain", "LastExamDir",
                                      "LastContestantDir", "ExamEditAction", "StyleName", "NumberFormat",
                                      "GUIFontName", "GUIFontSize", "ToolBarVisible"}));
  EXPECT_STREQ(node.attribute("Identifier").value(), "VELKOREnvironment");
  EXPECT_STREQ(node.attribute("ActiveSecurity").value(), "false");
  EXPECT_STREQ(node.attribute("ExamEditAction").value(), "1");
  EXPECT_STREQ(node.attribute("GUIFontSize").value(), "10");
  EXPECT_STREQ(node.attribute("ToolBarVisible").value(), "true");
}

TEST_F(ConfigTest, MissingAttributesTakeTheirOwnDefaults) {
  TEnvConfig env;
  env.SubmitDir = "/s";
  env.DecompressDir = "/d/";
  env.ContestHouse = "/h/";
  env.ActiveSecurity = true;
  env.AdminUserName = "u";
  env.AdminPassword = "p";
  env.AdminDomain = "dom";
  env.LastExamDir = "/e";
  env.LastContestantDir = "/c";
  env.StyleName = "Dark";
  env.NumberFormat = "%.1f";
  env.GUIFontName = "X";
  env.GUIFontSize = 20;
  env.ToolBarVisible = false;
  env.ExamEditAction = eeaKeep;

  pugi::xml_document doc;
  pugi::xml_node node = doc.append_child("Environment");
  node.append_attribute("Identifier").set_value("velkorenvironment");
  env.XMLLoad(node);
  // Kept: the folders, the security account, the toolbar and the edit action.
  EXPECT_EQ(env.DecompressDir, "/d/");
  EXPECT_EQ(env.ContestHouse, "/h/");
  EXPECT_TRUE(env.ActiveSecurity);
  EXPECT_EQ(env.AdminUserName, "u");
  EXPECT_EQ(env.AdminPassword, "p");
  EXPECT_EQ(env.AdminDomain, "dom");
  EXPECT_FALSE(env.ToolBarVisible);
  EXPECT_EQ(env.ExamEditAction, eeaKeep);
  // Back to their defaults: no online judging, the last folders, the look.
  EXPECT_EQ(env.SubmitDir, "");
  EXPECT_EQ(env.LastExamDir, "");
  EXPECT_EQ(env.LastContestantDir, "");
  EXPECT_EQ(env.StyleName, "Default");
  EXPECT_EQ(env.NumberFormat, "%.2n");
  EXPECT_EQ(env.GUIFontName, "Arial Unicode MS");
  EXPECT_EQ(env.GUIFontSize, 9);

  // An edit action out of range asks; another identifier reads nothing.
  node.append_attribute("ExamEditAction").set_value("7");
  node.append_attribute("SubmitDir").set_value("/from-file");
  env.XMLLoad(node);
  EXPECT_EQ(env.ExamEditAction, eeaAsk);
  EXPECT_EQ(env.SubmitDir, "/from-file");
  node.attribute("Identifier").set_value("VELKORCompiler");
  node.attribute("SubmitDir").set_value("/ignored");
  env.XMLLoad(node);
  EXPECT_EQ(env.SubmitDir, "/from-file");
}

TEST_F(ConfigTest, AWrongIdentifierLeavesOnlyItsOwnPartAtTheDefaults) {
  struct Case {
    const char* compilers;
    const char* environment;
    bool rowsRead, environmentRead;
  } cases[] = {
      {"VELKORCompiler", "Other", true, false},
      {"Other", "VELKOREnvironment", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.compilers) + "/" + c.environment);
    WriteConfig(std::string(R"(<VelkorConfiguration><CompilerConfigurations Identifier=")") + c.compilers +
                R"("><Item ext=".kt" cmd="kotlinc"/></CompilerConfigurations><Environment Identifier=")" +
                c.environment + R"(" SubmitDir="/srv/in"/></VelkorConfiguration>)");
    LoadConfiguration();
    EXPECT_EQ(CompilerConfig->Count(), c.rowsRead ? 1 : 13);
    EXPECT_EQ(EnvConfig->SubmitDir, c.environmentRead ? "/srv/in" : "");
  }
}

TEST_F(ConfigTest, UnreadableFileFallsBackToDefaultsAndIsKeptAside) {
  const std::string cases[] = {
      "not a compressed document",
      // Valid up to one attribute that does not convert: the rows read
      // before it are dropped too.
      R"(<VelkorConfiguration><CompilerConfigurations Identifier="VELKORCompiler"><Item ext=".kt" cmd="k"/>)"
      R"(</CompilerConfigurations><Environment Identifier="VELKOREnvironment" StyleName="Dark" GUIFontSize="abc"/>)"
      R"(</VelkorConfiguration>)",
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    if (text.front() == '<') {
      WriteConfig(text);
    } else {
      fs::create_directories(home / "config");
      WriteText(ConfigFileName(), text);
      SetMarker(kVersionSignature);
    }
    const std::string bytes = ReadText(ConfigFileName());
    EXPECT_NO_THROW(LoadConfiguration());
    EXPECT_TRUE(HasDefaults());
    EXPECT_FALSE(Exists(ConfigFileName()));
    EXPECT_EQ(ReadText(ConfigFileName() + ".bak"), bytes);
  }
}

TEST_F(ConfigTest, CleanSwitchOrAnotherMarkerDiscardsTheFile) {
  struct Case {
    const char* what;
    std::vector<std::string> params;
    std::optional<std::string> markerBefore, markerAfter;
  } cases[] = {
      {"/CLEAN in any case", {"/load", "/clean"}, "Velkor 0.0.9", "Velkor 0.0.9"},
      {"another release", {}, "Velkor 0.0.9", kVersionSignature},
      {"no marker", {}, std::nullopt, kVersionSignature},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SaveChangedConfiguration();
    {
      platform::Registry reg;
      reg.OpenKey(kMarkerKey, true);
      reg.DeleteValue("Signature");
    }
    if (c.markerBefore) SetMarker(*c.markerBefore);
    MyParams = c.params;
    LoadConfiguration();
    EXPECT_TRUE(HasDefaults());
    EXPECT_FALSE(Exists(ConfigFileName()));
    EXPECT_EQ(Marker(), c.markerAfter);
  }
}

TEST_F(ConfigTest, VersionMarkerIsSetOnceAndComparedIgnoringCase) {
  EXPECT_FALSE(CheckVersionSignature());  // no key yet
  EXPECT_EQ(Marker(), kVersionSignature);
  EXPECT_TRUE(CheckVersionSignature());
  SetMarker("VELKOR 0.1.0");
  EXPECT_TRUE(CheckVersionSignature());
  SetMarker("Velkor 2.0");
  EXPECT_FALSE(CheckVersionSignature());
  EXPECT_EQ(Marker(), kVersionSignature);

  // A save always leaves this release's marker.
  SetMarker("Velkor 2.0");
  SaveConfiguration();
  EXPECT_EQ(Marker(), kVersionSignature);
}

TEST_F(ConfigTest, FileNameAndDocumentationAddressAreComputedOnce) {
  EXPECT_EQ(ConfigFileName(), home / "config/Velkor.cfg");
  EXPECT_TRUE(fs::is_directory(home / "config"));
  ::setenv("XDG_CONFIG_HOME", (home / "elsewhere").c_str(), 1);
  EXPECT_EQ(ConfigFileName(), home / "config/Velkor.cfg");
  ReleaseConfigurationTexts();
  EXPECT_EQ(ConfigFileName(), home / "elsewhere/Velkor.cfg");

  const std::string myDirD = MyDirD;
  MyDirD = "/opt/a b#c/";
  EXPECT_EQ(DocumentationURL(), "file:///opt/a%20b%23c/~Documentation/velkor.html");
  MyDirD = myDirD;
}

}  // namespace
}  // namespace velkor
