// The environment settings, the configuration file and its version marker,
// each test in a configuration folder of its own.
#include "judging/EnvConfig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <zlib.h>

#include "core/CompressedXML.h"
#include "core/Dialogs.h"
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

  // A configuration file cut short after the first Length characters of
  // Xml: its zlib stream breaks off there, as after a disk ran full.
  static void WriteCutShortConfig(const std::string& xml, std::size_t length) {
    z_stream zs{};
    deflateInit(&zs, Z_DEFAULT_COMPRESSION);
    std::string out(compressBound(static_cast<uLong>(xml.size())) + 64, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(xml.data()));
    zs.avail_in = static_cast<uInt>(length);
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_SYNC_FLUSH);
    out.resize(out.size() - zs.avail_out);
    deflateEnd(&zs);
    fs::create_directories(fs::path(ConfigFileName()).parent_path());
    WriteText(ConfigFileName(), out);
    SetMarker(kVersionSignature);
  }

  // Xml stored without compression, so that its text stands in the file
  // as it is, with Bit flipped in character At: the stream still unpacks
  // whole and only its checksum tells.
  static void WriteFlippedConfig(const std::string& xml, std::size_t at, unsigned char bit) {
    std::string out(compressBound(static_cast<uLong>(xml.size())), '\0');
    uLongf size = static_cast<uLongf>(out.size());
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(xml.data()),
                        static_cast<uLong>(xml.size()), Z_NO_COMPRESSION),
              Z_OK);
    out.resize(size);
    const std::size_t inFile = out.find(xml.substr(at, 16));
    ASSERT_NE(inFile, std::string::npos);
    out[inFile] = static_cast<char>(out[inFile] ^ bit);
    fs::create_directories(fs::path(ConfigFileName()).parent_path());
    WriteText(ConfigFileName(), out);
    SetMarker(kVersionSignature);
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

// A jury's configuration, as SaveConfiguration writes it, with one row of
// its own ahead of the defaults.
constexpr const char* kJuryConfig =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    "\n<VelkorConfiguration>"
    R"(<CompilerConfigurations Identifier="VELKORCompiler">)"
    R"(<Item ext=".kt" cmd="kotlinc &quot;%NAME%%EXT%&quot;"/>)"
    R"(<Item ext=".cpp" cmd="g++ -std=c++20 &quot;%NAME%%EXT%&quot;"/>)"
    "</CompilerConfigurations>"
    R"(<Environment Identifier="VELKOREnvironment" SubmitDir="/srv/in" StyleName="Dark" GUIFontSize="12" )"
    R"(ExamEditAction="2" ToolBarVisible="false"/>)"
    "</VelkorConfiguration>\n";

// The notice that LoadConfiguration left, as the jury sees it: one
// warning, only when the program asks for it, and once.
std::string ShownNotice() {
  auto dialog = std::make_shared<TScriptedMessageDialog>(std::initializer_list<int>{mrOk});
  SetMessageDialog(dialog);
  EXPECT_TRUE(dialog->Requests().empty());
  ShowConfigurationNotice();
  ShowConfigurationNotice();
  SetMessageDialog(nullptr);
  if (dialog->Requests().size() != 1u) {
    ADD_FAILURE() << dialog->Requests().size() << " messages";
    return {};
  }
  EXPECT_EQ(dialog->Requests()[0].DlgType, mtWarning);
  return dialog->Requests()[0].Msg;
}

// A file that fails its check may hold any value: nothing of it is used.
// One bit flipped in the C++ row used to reach the compiler table ("f++"
// for "g++": every C++ program a compile error).
TEST_F(ConfigTest, FileThatFailsItsCheckOrIsNotOursGivesTheDefaults) {
  const std::string xml = kJuryConfig;
  struct Case {
    const char* what;
    std::function<void()> write;
    std::vector<std::string> mentions;  // what the message names besides the files
  } cases[] = {
      {"a flipped bit in the C++ row", [&] { WriteFlippedConfig(xml, xml.find("g++ -std"), 0x01); },
       {"bị hỏng", "mã kiểm tra dữ liệu không khớp"}},
      {"cut inside the settings", [&] { WriteCutShortConfig(xml, xml.find("SubmitDir=\"/srv/in\"") + 12); },
       {"bị hỏng", "dữ liệu nén bị cắt cụt"}},
      {"cut before the closing tag", [&] { WriteCutShortConfig(xml, xml.find("</VelkorConfiguration>")); },
       {"bị hỏng"}},
      {"not compressed at all",
       [&] {
         fs::create_directories(home / "config");
         WriteText(ConfigFileName(), "not a compressed document");
         SetMarker(kVersionSignature);
       },
       {"bị hỏng", "phần đầu không đúng"}},
      {"another root element",
       [&] {
         std::string other = xml;
         for (std::size_t at; (at = other.find("VelkorConfiguration")) != std::string::npos;)
           other.replace(at, 19, "OtherConfiguration");
         WriteConfig(other);
       },
       {"\"VelkorConfiguration\""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& e : fs::directory_iterator(fs::path(ConfigFileName()).parent_path())) fs::remove_all(e.path());
    c.write();
    const std::string bytes = ReadText(ConfigFileName());
    EXPECT_NO_THROW(LoadConfiguration());

    EXPECT_TRUE(HasDefaults());
    const TCompilerConfig table;
    EXPECT_EQ(CompilerConfig->Items(2)->cmd, table.Items(2)->cmd);  // the default ".cpp" row
    EXPECT_EQ(EnvConfig->StyleName, "Default");
    EXPECT_EQ(EnvConfig->ExamEditAction, eeaAsk);

    // The file is set aside whole, owner-only, and stays so after the
    // save at exit.
    const std::string bak = ConfigFileName() + ".bak";
    EXPECT_FALSE(Exists(ConfigFileName()));
    EXPECT_EQ(ReadText(bak), bytes);
    EXPECT_EQ(ModeOf(bak), 0600u);
    const std::string msg = ShownNotice();
    EXPECT_EQ(msg.rfind("File cấu hình", 0), 0u) << msg;
    for (const std::string& m : c.mentions) EXPECT_NE(msg.find(m), std::string::npos) << m << " in\n" << msg;
    EXPECT_NE(msg.find("\"" + ConfigFileName() + "\""), std::string::npos) << msg;
    EXPECT_NE(msg.find("\"" + bak + "\""), std::string::npos) << msg;
    EXPECT_NE(msg.find("Velkor dùng cấu hình mặc định"), std::string::npos) << msg;
    SaveConfiguration();
    EXPECT_EQ(ReadText(bak), bytes);
  }
}

// A whole file of ours: what reads is used, a part that is not ours and a
// value that does not convert keep their defaults, and a copy of the
// original stays beside the file.
TEST_F(ConfigTest, WholeFileKeepsWhatReadsAndTellsTheJury) {
  const std::string xml = kJuryConfig;
  const auto replaced = [&xml](const char* what, const char* with) {
    return std::string(xml).replace(xml.find(what), std::string(what).size(), with);
  };
  struct Case {
    const char* what;
    std::string file;
    bool tableRead, settingsRead;
    std::vector<std::string> mentions;
  } cases[] = {
      {"one attribute that does not convert", replaced("\"false\"", "\"maybe\""), true, true,
       {"\"ToolBarVisible\"", "\"maybe\""}},
      {"two of them", std::string(replaced("\"false\"", "\"maybe\"")).replace(xml.find("\"12\""), 4, "\"1 2\""),
       true, true, {"\"ToolBarVisible\"", "\"GUIFontSize\"", "\"1 2\""}},
      {"another table identifier", replaced("\"VELKORCompiler\"", "\"Other\""), false, true,
       {"\"CompilerConfigurations\"", "\"VELKORCompiler\""}},
      {"another settings identifier", replaced("\"VELKOREnvironment\"", "\"Other\""), true, false,
       {"\"Environment\"", "\"VELKOREnvironment\""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& e : fs::directory_iterator(fs::path(ConfigFileName()).parent_path())) fs::remove_all(e.path());
    WriteConfig(c.file);
    const std::string bytes = ReadText(ConfigFileName());
    LoadConfiguration();

    const TEnvConfig defaults;
    EXPECT_EQ(CompilerConfig->Count(), c.tableRead ? 2 : TCompilerConfig().Count());
    EXPECT_EQ(CompilerConfig->Items(0)->ext, c.tableRead ? ".kt" : TCompilerConfig().Items(0)->ext);
    EXPECT_EQ(EnvConfig->SubmitDir, c.settingsRead ? "/srv/in" : "");
    EXPECT_EQ(EnvConfig->StyleName, c.settingsRead ? "Dark" : "Default");
    const auto mentioned = [&c](const char* m) {
      return std::find(c.mentions.begin(), c.mentions.end(), m) != c.mentions.end();
    };
    EXPECT_EQ(EnvConfig->ToolBarVisible, !c.settingsRead || mentioned("\"ToolBarVisible\""));
    EXPECT_EQ(EnvConfig->GUIFontSize,
              c.settingsRead && !mentioned("\"GUIFontSize\"") ? 12 : defaults.GUIFontSize);

    const std::string bak = ConfigFileName() + ".bak";
    EXPECT_EQ(ReadText(ConfigFileName()), bytes);
    EXPECT_EQ(ReadText(bak), bytes);
    EXPECT_EQ(ModeOf(bak), 0600u);
    const std::string msg = ShownNotice();
    EXPECT_EQ(msg.rfind("File cấu hình", 0), 0u) << msg;
    EXPECT_NE(msg.find("\"" + bak + "\""), std::string::npos) << msg;
    for (const std::string& m : c.mentions) EXPECT_NE(msg.find(m), std::string::npos) << m << " in\n" << msg;
  }

  // A whole file says nothing, and a second damaged start takes the next
  // free name: an earlier copy is never overwritten.
  WriteConfig(xml);
  LoadConfiguration();
  EXPECT_EQ(ConfigurationNotice(), "");
  WriteText(ConfigFileName() + ".bak", "first");
  WriteText(ConfigFileName() + ".1.bak", "second");
  WriteConfig(replaced("\"false\"", "\"maybe\""));
  LoadConfiguration();
  EXPECT_EQ(ReadText(ConfigFileName() + ".bak"), "first");
  EXPECT_EQ(ReadText(ConfigFileName() + ".1.bak"), "second");
  EXPECT_EQ(ReadText(ConfigFileName() + ".2.bak"), ReadText(ConfigFileName()));
  EXPECT_NE(ConfigurationNotice().find("Velkor.cfg.2.bak"), std::string::npos) << ConfigurationNotice();
  // A damaged file set aside takes a free name the same way.
  const std::string copied = ReadText(ConfigFileName() + ".2.bak");
  WriteFlippedConfig(xml, xml.find("g++ -std"), 0x01);
  const std::string damaged = ReadText(ConfigFileName());
  LoadConfiguration();
  EXPECT_EQ(ReadText(ConfigFileName() + ".bak"), "first");
  EXPECT_EQ(ReadText(ConfigFileName() + ".2.bak"), copied);
  EXPECT_EQ(ReadText(ConfigFileName() + ".3.bak"), damaged);
}

TEST_F(ConfigTest, CleanSwitchDeletesTheFileAndAnotherMarkerSetsItAside) {
  struct Case {
    const char* what;
    std::vector<std::string> params;
    std::optional<std::string> markerBefore, markerAfter;
    bool keptAside;
  } cases[] = {
      {"/CLEAN in any case", {"/load", "/clean"}, "Velkor 0.0.9", "Velkor 0.0.9", false},
      {"another release", {}, "Velkor 0.0.9", kVersionSignature, true},
      {"no marker", {}, std::nullopt, kVersionSignature, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& e : fs::directory_iterator(fs::path(ConfigFileName()).parent_path())) fs::remove_all(e.path());
    SaveChangedConfiguration();
    const std::string bytes = ReadText(ConfigFileName());
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
    EXPECT_EQ(Exists(ConfigFileName() + ".bak"), c.keptAside);
    if (c.keptAside) {
      EXPECT_EQ(ReadText(ConfigFileName() + ".bak"), bytes);
      EXPECT_NE(ConfigurationNotice().find(ConfigFileName() + ".bak"), std::string::npos) << ConfigurationNotice();
    } else {
      EXPECT_EQ(ConfigurationNotice(), "");
    }
  }
}

// A marker nobody can read used to stop every start with an uncaught
// registry error; it now counts as missing and is written anew.
TEST_F(ConfigTest, DamagedMarkerCountsAsMissing) {
  const fs::path key = home / "config/velkor-registry/HKEY_CURRENT_USER/SOFTWARE/Velkor";
  struct Case {
    const char* what;
    std::string valueFile;  // the value's file as found on disk
  } cases[] = {
      {"empty", ""},
      {"another type", "dword\n7"},
      {"type line only", "sz"},
      {"garbage", std::string("\x00\xff\x13garbage", 10)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::create_directories(key);
    WriteText(key / "Signature", c.valueFile);
    EXPECT_NO_THROW(EXPECT_FALSE(CheckVersionSignature()));
    EXPECT_EQ(Marker(), kVersionSignature);
    EXPECT_TRUE(CheckVersionSignature());
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
