// The compiler table and the compile step, with real compilers in
// temporary folders.
#include "judging/Compilers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/NameCompare.h"
#include "core/SystemInfo.h"
#include "platform/Desktops.h"
#include "tests/core/FileTestSupport.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::Exists;
using testing::ReadText;
using testing::TempFolder;
using testing::WriteText;
using Lines = std::vector<std::string>;

// Runs the file a compile left in Folder as its language says, with "3 4"
// as its input and Folder as its room, and gives what it wrote.
std::string RunAsItsLanguageSays(const std::string& Folder, const std::string& Compiled) {
  WriteText(Folder + "/in.txt", "3 4\n");
  std::uint64_t memLimit = 256ull << 20;
  TExecEngine run;
  run.SetCmd(RunCommandLine(Folder + "/" + Compiled, "Sum", FindRuntimes(), memLimit));
  run.SetMemLimit(memLimit);
  run.WorkingDir = Folder;
  run.Room = Folder;
  run.FileInp = Folder + "/in.txt";
  run.FileOut = Folder + "/out.txt";
  run.Execute();
  EXPECT_EQ(run.ExitCode(), 0) << run.Cmd() << "\n" << run.ExitCodeMsg();
  return ReadText(Folder + "/out.txt");
}

class CompilerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static const char* argv[] = {"compilers_test"};
    SystemInfoInit(1, argv);
  }

  // A table of the given rows only.
  static void UseRows(TCompilerConfig& table, const std::vector<std::pair<std::string, std::string>>& rows) {
    table.Clear();
    for (const auto& [ext, cmd] : rows) table.Add(new TCompilerNode(ext, cmd));
  }

  static std::string CaptureOut() { return TempDirD + kCompileOutputName; }
  static std::string CaptureErr() { return TempDirD + kCompileErrorName; }

  TempFolder dir;
  TCompilerConfig table;
};

TEST_F(CompilerTest, DefaultTableHasTheRowsInPriorityOrder) {
  const std::string gpp = "\"/usr/bin/g++\"", fpc = "\"/usr/bin/fpc\"", gcc = "\"/usr/bin/gcc\"",
                    javac = "\"/usr/bin/javac\"";
  const std::vector<std::pair<std::string, std::string>> expected = {
      {".pas", fpc + R"( -o"%NAME%.exe" -O2 -XS -Sg "%NAME%%EXT%"|@WorkDir=%PATH%)"},
      {".pp", fpc + R"( -o"%NAME%.exe" -O2 -XS -Sg "%NAME%%EXT%"|@WorkDir=%PATH%)"},
      {".cpp", gpp + R"( -o"%NAME%.exe" -x c++ "%NAME%%EXT%" -O2 -s -static -lm|@WorkDir=%PATH%)"},
      {".c", gcc + R"( -o"%NAME%.exe" -x c "%NAME%%EXT%" -O2 -s -static -lm|@WorkDir=%PATH%)"},
      {".java", javac + R"( "%NAME%%EXT%"|@WorkDir=%PATH%)"},
      {".exe", ";Nếu không muốn dịch lại khi đã có file .exe, chuyển loại file này lên đầu"},
      {".class", ";Nếu không muốn dịch lại khi đã có file .class, chuyển loại file này lên đầu"},
      {".py", ";Mã nguồn Python được thông dịch!"},
      {".pas", fpc + R"( -o"%PATH%%NAME%.exe" -O2 -XS -Sg "%PATH%%NAME%%EXT%")"},
      {".pp", fpc + R"( -o"%PATH%%NAME%.exe" -O2 -XS -Sg "%PATH%%NAME%%EXT%")"},
      {".cpp", gpp + R"( -o"%PATH%%NAME%.exe" -x c++ "%PATH%%NAME%%EXT%" -O2 -s -static -lm)"},
      {".c", gcc + R"( -o"%PATH%%NAME%.exe" -x c "%PATH%%NAME%%EXT%" -O2 -s -static -lm)"},
      {".java", javac + R"( "%PATH%%NAME%%EXT%")"},
  };
  // BuildDefault replaces whatever the table held.
  table.Add(new TCompilerNode(".x", "y"));
  table.BuildDefault();
  ASSERT_EQ(table.Count(), static_cast<std::ptrdiff_t>(expected.size()));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i + 1));
    EXPECT_EQ(table[static_cast<std::ptrdiff_t>(i)]->ext, expected[i].first);
    EXPECT_EQ(table[static_cast<std::ptrdiff_t>(i)]->cmd, expected[i].second);
  }
}

TEST_F(CompilerTest, CommandLineOfTheFirstRowWhoseSourceExists) {
  UseRows(table, {{".pas", "pas %Path%|%NAME%|%ext%"},
                  {".cpp", "cpp %PATH%%NAME%%EXT% %name%%Ext%"},
                  {".zip", "never"}});
  std::string ext, cmd;
  // Nothing there: no row, both results empty.
  ext = cmd = "stale";
  EXPECT_FALSE(table.GetCommandLine(dir.Path(), "Bai", ext, cmd));
  EXPECT_EQ(ext, "");
  EXPECT_EQ(cmd, "");

  // A folder named like a source is no source.
  fs::create_directory(dir / "Bai.zip");
  WriteText(dir / "Bai.cpp", "");
  ASSERT_TRUE(table.GetCommandLine(dir.Path(), "Bai", ext, cmd));
  EXPECT_EQ(ext, ".cpp");
  EXPECT_EQ(cmd, "cpp " + dir.Path() + "/Bai.cpp Bai.cpp");

  // The source's letter case on disk does not matter, "%EXT%" is the
  // table's spelling, and the earlier row wins.
  WriteText(dir / "bai.PAS", "");
  ASSERT_TRUE(table.GetCommandLine(dir.Path() + "/", "Bai", ext, cmd));
  EXPECT_EQ(ext, ".pas");
  EXPECT_EQ(cmd, "pas " + dir.Path() + "/|Bai|.pas");
}

TEST_F(CompilerTest, CompileWithoutSourceRunsNothing) {
  TCompilerEngine engine(table);
  EXPECT_EQ(engine.Compile(dir.Path(), "Bai"), TCompilerEngine::crNoSource);
  EXPECT_EQ(engine.Log(), Lines{"Không có bài"});
  EXPECT_EQ(engine.CompiledFile(), "");
}

TEST_F(CompilerTest, CommentRowsRunTheSourceAsItIs) {
  struct Case {
    const char* file;
    const char* source;
    const char* compiled;
  } cases[] = {
      {"Bai.py", "Bai.py", "Bai.py"},
      {"Bai.exe", "Bai.exe", "Bai.exe"},
      {"bai.CLASS", "Bai.class", "Bai.class"},  // renamed as the row spells it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TempFolder sub;
    WriteText(sub / c.file, "x");
    fs::remove(CaptureOut());
    fs::remove(CaptureErr());
    TCompilerEngine engine(table);
    EXPECT_EQ(engine.Compile(sub.Path(), "Bai"), TCompilerEngine::crOK);
    EXPECT_EQ(engine.Log(), Lines{c.source});
    EXPECT_EQ(engine.SourceFile(), c.source);
    EXPECT_EQ(engine.CompiledFile(), c.compiled);
    EXPECT_TRUE(Exists(sub / c.source));
    // Nothing ran: the runner would have created the capture files.
    EXPECT_FALSE(Exists(CaptureOut()));
  }
}

// A source the table does not compile runs through its language's runtime,
// or by itself.
TEST_F(CompilerTest, SourcesRunAsTheyStandRunAsTheirLanguageSays) {
  struct Case {
    const char* file;
    const char* text;
  } cases[] = {
      {"Sum.py", "a, b = map(int, input().split())\nprint(a + b)\n"},
      {"Sum.exe", "#!/bin/sh\nread a b\necho $((a + b))\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TempFolder sub;
    WriteText(sub / c.file, c.text);
    fs::permissions(sub / c.file, fs::perms::owner_exec, fs::perm_options::add);
    TCompilerEngine engine(table);
    ASSERT_EQ(engine.Compile(sub.Path(), "Sum"), TCompilerEngine::crOK);
    EXPECT_EQ(RunAsItsLanguageSays(sub.Path(), engine.CompiledFile()), "7\n");
  }
}

// The run finds a program's language by the compiled file alone: languages
// that leave the same kind of file must run it alike. A source no language
// knows is taken to make a program that runs by itself.
TEST_F(CompilerTest, LanguagesThatLeaveTheSameFileRunItTheSameWay) {
  std::vector<std::string> exts;
  for (const TLanguage& language : Languages()) {
    SCOPED_TRACE(std::string(language.Ext));
    for (const std::string& ext : exts) EXPECT_FALSE(SameText(ext, language.Ext)) << "two rows for one extension";
    exts.emplace_back(language.Ext);
    EXPECT_EQ(FindLanguage(language.Ext), &language);
    const std::string compiled = CompiledFileName(language.Ext, "Sum");
    EXPECT_TRUE(compiled.starts_with("Sum.")) << compiled;
    const TProgramKind& kind = ProgramKindOf(compiled);
    EXPECT_EQ(kind.File, language.Program.File);
    EXPECT_EQ(kind.Companions, language.Program.Companions);
    EXPECT_EQ(kind.Runtime, language.Program.Runtime);
    EXPECT_EQ(kind.RuntimeBeside, language.Program.RuntimeBeside);
    EXPECT_EQ(kind.RunCmd, language.Program.RunCmd);
    EXPECT_EQ(kind.OwnHeapLimit, language.Program.OwnHeapLimit);
    // Either the table compiles it or it runs as it stands.
    EXPECT_NE(language.Compiler.empty(), language.Comment.empty());
  }
  EXPECT_EQ(FindLanguage(".src"), nullptr);
  EXPECT_EQ(CompiledFileName(".src", "Sum"), "Sum.exe");
  EXPECT_TRUE(ProgramKindOf("Sum.exe").Runtime.empty());
}

TEST_F(CompilerTest, FailingCompilerLeavesItsMessageAndOutputInTheLog) {
  const std::string cmd = R"("/bin/sh" -c "echo out; echo err 1>&2; exit 3")";
  UseRows(table, {{".cpp", cmd}});
  WriteText(dir / "Bai.cpp", "");
  TCompilerEngine engine(table);
  EXPECT_EQ(engine.Compile(dir.Path(), "Bai"), TCompilerEngine::crError);
  EXPECT_EQ(engine.Log(),
            (Lines{"Bai.cpp", "Command: " + cmd + " terminated with exit code: 3", "out", "err"}));
  EXPECT_EQ(engine.SourceFile(), "Bai.cpp");
  EXPECT_EQ(engine.CompiledFile(), "");
  EXPECT_FALSE(Exists(CaptureOut()));
  EXPECT_FALSE(Exists(CaptureErr()));
}

TEST_F(CompilerTest, EndlessCompilerOutputKeepsOnlyItsBeginningInTheLog) {
  // 200000 lines of "x": far more than the log keeps.
  const std::string cmd = R"("/bin/sh" -c "yes x | head -n 200000; exit 1")";
  UseRows(table, {{".cpp", cmd}});
  WriteText(dir / "Bai.cpp", "");
  TCompilerEngine engine(table);
  EXPECT_EQ(engine.Compile(dir.Path(), "Bai"), TCompilerEngine::crError);
  const Lines& log = engine.Log();
  ASSERT_GT(log.size(), 3u);
  EXPECT_EQ(log[2], "x");
  EXPECT_EQ(log.back(), "...");
  EXPECT_LT(log.size(), 200000u);
  EXPECT_FALSE(Exists(CaptureOut()));
}

TEST_F(CompilerTest, CompilerThatCannotStartIsACompileError) {
  UseRows(table, {{".c", R"("/nonexistent/cc" "%NAME%%EXT%")"}});
  WriteText(dir / "Bai.c", "");
  TCompilerEngine engine(table);
  EXPECT_EQ(engine.Compile(dir.Path(), "Bai"), TCompilerEngine::crError);
  ASSERT_GE(engine.Log().size(), 2u);
  EXPECT_EQ(engine.Log()[0], "Bai.c");
  EXPECT_EQ(engine.Log()[1], engine.ExitCodeMsg());
  EXPECT_NE(engine.Log()[1].find("Cannot execute command:\r\n\"/nonexistent/cc\" \"Bai.c\""), std::string::npos);
  EXPECT_EQ(engine.CompiledFile(), "");
}

TEST_F(CompilerTest, CompileThatRunsTooLongIsStopped) {
  UseRows(table, {{".cpp", R"("/bin/sleep" 30)"}});
  WriteText(dir / "Bai.cpp", "");
  TCompilerEngine engine(table);
  EXPECT_EQ(engine.TimeLimit(), kCompileTimeLimitMs);
  engine.SetTimeLimit(200);
  EXPECT_EQ(engine.Compile(dir.Path(), "Bai"), TCompilerEngine::crError);
  EXPECT_EQ(engine.Log(), (Lines{"Bai.cpp", "Time Limit Exceeded"}));
  EXPECT_EQ(engine.CompiledFile(), "");
}

// The working-folder marker: found in any letter case, the last one wins,
// and one followed by a single character is left in the command line.
TEST_F(CompilerTest, WorkDirMarkerSetsTheFolderAndPath) {
  const std::string shell = R"("/bin/sh" -c "echo $0; pwd; echo $PATH; exit 1" )";
  // The submission folder is the compile's room, which the run has at /room.
  const std::string folder = "/room";
  const std::string shellDir = fs::canonical("/bin").string();
  struct Case {
    std::string tail;
    std::string arg0, cwd;
    bool pathPrefixed;
  } cases[] = {
      {"a|@workdir=%PATH%", "a", folder, true},
      {"a|@WorkDir=/nowhere|@WORKDIR=%PATH%", "a|@WorkDir=/nowhere", folder, true},
      {"a|@WorkDir=x", "a|@WorkDir=x", shellDir, false},
  };
  const std::string pathBefore = std::getenv("PATH") ? std::getenv("PATH") : "";
  WriteText(dir / "Bai.cpp", "");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tail);
    UseRows(table, {{".cpp", shell + c.tail}});
    TCompilerEngine engine(table);
    // Only the compiler's PATH changes: other threads read Velkor's meanwhile.
    std::string pathWhileRunning = "(not seen)";
    engine.SetOnNotify([&](TExecEngine&, TExecEngineState state) {
      if (state == eesExecuting) pathWhileRunning = std::getenv("PATH") ? std::getenv("PATH") : "";
    });
    ASSERT_EQ(engine.Compile(dir.Path(), "Bai"), TCompilerEngine::crError);
    EXPECT_EQ(pathWhileRunning, pathBefore);
    ASSERT_EQ(engine.Log().size(), 5u);
    EXPECT_EQ(engine.Log()[2], c.arg0);
    const std::string cwd = engine.Log()[3];
    EXPECT_EQ(cwd == folder ? cwd : fs::canonical(cwd).string(), c.cwd);
    // The run's own search path, never the jury's.
    const std::string runPath = platform::kRunPath;
    EXPECT_EQ(engine.Log()[4], c.pathPrefixed ? "/bin/:" + runPath : runPath);
    EXPECT_EQ(std::getenv("PATH") ? std::getenv("PATH") : "", pathBefore);
  }
}

TEST_F(CompilerTest, CapturedOutputBecomesUtf8Lines) {
  struct Case {
    const char* printf;
    Lines output;
  } cases[] = {
      {R"(a\r\nb\rc\n\nd\n)", {"a", "b", "c", "", "d"}},
      {R"(caf\351\n)", {"caf\xEF\xBF\xBD"}},
      {R"(\357\273\277bom\n)", {"bom"}},
      {R"(\377\376h\000\001\001\n\000)", {"h\xC4\x81"}},
  };
  WriteText(dir / "Bai.cpp", "");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printf);
    // Only a failing compile logs its output.
    UseRows(table, {{".cpp", std::string(R"("/bin/sh" -c "printf ')") + c.printf + R"('; exit 1")"}});
    TCompilerEngine engine(table);
    ASSERT_EQ(engine.Compile(dir.Path(), "Bai"), TCompilerEngine::crError);
    Lines expected{"Bai.cpp", engine.ExitCodeMsg()};
    expected.insert(expected.end(), c.output.begin(), c.output.end());
    EXPECT_EQ(engine.Log(), expected);
  }
}

TEST_F(CompilerTest, XmlRoundTripAndIdentifier) {
  pugi::xml_document doc;
  pugi::xml_node node = doc.append_child("CompilerConfigurations");
  node.append_child("Stale");
  UseRows(table, {{".pas", R"("fpc" "%NAME%%EXT%")"}, {".py", ";comment"}});
  table.XMLSave(node);
  EXPECT_STREQ(node.attribute("Identifier").value(), "VELKORCompiler");
  EXPECT_FALSE(node.child("Stale"));
  EXPECT_STREQ(node.first_child().name(), "Item");
  EXPECT_STREQ(node.first_child().first_attribute().name(), "ext");

  TCompilerConfig loaded;
  loaded.XMLLoad(node);
  ASSERT_EQ(loaded.Count(), 2);
  EXPECT_EQ(loaded[0]->ext, ".pas");
  EXPECT_EQ(loaded[0]->cmd, R"("fpc" "%NAME%%EXT%")");
  EXPECT_EQ(loaded[1]->cmd, ";comment");

  // Another identifier changes nothing.
  node.attribute("Identifier").set_value("Other");
  TCompilerConfig untouched;
  untouched.XMLLoad(node);
  EXPECT_EQ(untouched.Count(), 13);

  // Any letter case of the identifier; every element child is a row
  // whatever its name, missing attributes are empty; none empties the table.
  pugi::xml_node other = doc.append_child("X");
  other.append_attribute("Identifier").set_value("velkorcompiler");
  other.append_child("Row").append_attribute("cmd").set_value("c");
  loaded.XMLLoad(other);
  ASSERT_EQ(loaded.Count(), 1);
  EXPECT_EQ(loaded[0]->ext, "");
  EXPECT_EQ(loaded[0]->cmd, "c");
  other.remove_child("Row");
  loaded.XMLLoad(other);
  EXPECT_EQ(loaded.Count(), 0);
}

// Each compiling row of the default table with the system's compilers: a
// correct program compiles into something that runs, a broken one gives
// the compiler's exit code and its diagnostics.
struct LanguageCase {
  const char* name;
  const char* file;  // as submitted
  const char* good;
  const char* bad;
  const char* source;    // as the row spells it
  const char* compiled;
};

void PrintTo(const LanguageCase& c, std::ostream* os) { *os << c.name; }

class DefaultRowTest : public CompilerTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(DefaultRowTest, CompilesACorrectProgramAndRejectsABrokenOne) {
  const LanguageCase& c = GetParam();
  WriteText(dir / c.file, c.good);
  TCompilerEngine engine(table);
  ASSERT_EQ(engine.Compile(dir.Path(), "Sum"), TCompilerEngine::crOK)
      << ::testing::PrintToString(engine.Log());
  EXPECT_EQ(engine.Log(), (Lines{c.source, "Dịch thành công"}));
  EXPECT_EQ(engine.CompiledFile(), c.compiled);
  ASSERT_TRUE(Exists(dir / c.compiled));
  if (std::string(c.compiled) == "Sum.exe") {
    WriteText(dir / "in.txt", "3 4\n");
    TExecEngine run;
    run.SetCmd("\"" + dir / "Sum.exe\"");
    run.FileInp = dir / "in.txt";
    run.FileOut = dir / "out.txt";
    run.Execute();
    EXPECT_EQ(run.ExitCode(), 0) << run.ExitCodeMsg();
    EXPECT_EQ(ReadText(dir / "out.txt"), "7\n");
  }

  TempFolder broken;
  WriteText(broken / c.file, c.bad);
  TCompilerEngine failing(table);
  EXPECT_EQ(failing.Compile(broken.Path(), "Sum"), TCompilerEngine::crError);
  EXPECT_EQ(failing.CompiledFile(), "");
  ASSERT_GE(failing.Log().size(), 3u) << "the compiler's diagnostics are missing";
  EXPECT_EQ(failing.Log()[0], c.source);
  EXPECT_EQ(failing.Log()[1].rfind("Command: \"/usr/bin/", 0), 0u) << failing.Log()[1];
  EXPECT_NE(failing.Log()[1].find(" terminated with exit code: "), std::string::npos);
}

// The rows further down name every file by its full path and run the
// compiler in its own folder; they stand ready for the jury to move up.
TEST_P(DefaultRowTest, FullPathRowCompilesACorrectProgram) {
  const LanguageCase& c = GetParam();
  for (int i = 0; i < 8; ++i) table.Delete(0);
  ASSERT_EQ(table.Count(), 5);
  ASSERT_EQ(table[0]->cmd.find("|@WorkDir="), std::string::npos);
  WriteText(dir / c.file, c.good);
  TCompilerEngine engine(table);
  ASSERT_EQ(engine.Compile(dir.Path(), "Sum"), TCompilerEngine::crOK)
      << ::testing::PrintToString(engine.Log());
  EXPECT_EQ(engine.CompiledFile(), c.compiled);
  EXPECT_TRUE(Exists(dir / c.compiled));
}

// What a default row compiles runs as its language says.
TEST_P(DefaultRowTest, TheCompiledProgramRunsAsItsLanguageSays) {
  const LanguageCase& c = GetParam();
  WriteText(dir / c.file, c.good);
  TCompilerEngine engine(table);
  ASSERT_EQ(engine.Compile(dir.Path(), "Sum"), TCompilerEngine::crOK) << ::testing::PrintToString(engine.Log());
  EXPECT_EQ(RunAsItsLanguageSays(dir.Path(), engine.CompiledFile()), "7\n");
}

// gcc takes "-x" for the inputs after it only; behind the source it adds a
// warning at the head of every compile report. A correct C or C++ program
// leaves both capture files empty, with the working-folder rows and with
// the full-path rows, and a broken one's report holds only its own errors.
TEST_F(CompilerTest, DefaultCAndCppCompilesReportOnlyTheProgramsOwnDiagnostics) {
  struct Case {
    const char* file;
    const char* good;
  } cases[] = {
      {"Sum.cpp", "#include <cstdio>\nint main(){std::puts(\"7\");}\n"},
      {"Sum.c", "#include <stdio.h>\nint main(void){puts(\"7\");return 0;}\n"},
  };
  for (const bool fullPathRows : {false, true}) {
    TCompilerConfig rows;
    if (fullPathRows)
      for (int i = 0; i < 8; ++i) rows.Delete(0);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.file) + (fullPathRows ? " (full-path row)" : ""));
      TempFolder good, bad;
      WriteText(good / c.file, c.good);
      TCompilerEngine engine(rows);
      ASSERT_EQ(engine.Compile(good.Path(), "Sum"), TCompilerEngine::crOK) << ::testing::PrintToString(engine.Log());
      EXPECT_EQ(ReadText(CaptureErr()), "");
      EXPECT_EQ(ReadText(CaptureOut()), "");

      WriteText(bad / c.file, "int main(void) { return undeclared; }\n");
      TCompilerEngine failing(rows);
      ASSERT_EQ(failing.Compile(bad.Path(), "Sum"), TCompilerEngine::crError);
      ASSERT_GE(failing.Log().size(), 3u);
      for (std::size_t i = 2; i < failing.Log().size(); ++i)
        EXPECT_EQ(failing.Log()[i].find("warning"), std::string::npos) << failing.Log()[i];
      EXPECT_NE(::testing::PrintToString(failing.Log()).find("undeclared"), std::string::npos);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Languages, DefaultRowTest,
    ::testing::Values(
        LanguageCase{"Cpp", "Sum.cpp",
                     "#include <iostream>\nint main(){int a,b;std::cin>>a>>b;std::cout<<a+b<<'\\n';}\n",
                     "int main() { return undeclared; }\n", "Sum.cpp", "Sum.exe"},
        LanguageCase{"C", "Sum.c",
                     "#include <stdio.h>\nint main(void){int a,b;if(scanf(\"%d %d\",&a,&b)!=2)return 1;"
                     "printf(\"%d\\n\",a+b);return 0;}\n",
                     "int main(void) { return undeclared; }\n", "Sum.c", "Sum.exe"},
        // Submitted with its extension in capitals: found, and renamed.
        LanguageCase{"Pascal", "sum.PAS",
                     "program Sum;\nvar a, b: longint;\nbegin\n  readln(a, b);\n  writeln(a + b);\nend.\n",
                     "program Sum;\nbegin\n  undeclared := 1;\nend.\n", "Sum.pas", "Sum.exe"},
        LanguageCase{"Java", "Sum.java",
                     "public class Sum { public static void main(String[] a) {"
                     " java.util.Scanner s = new java.util.Scanner(System.in);"
                     " System.out.println(s.nextInt() + s.nextInt()); } }\n",
                     "public class Sum { public static void main(String[] a) { undeclared(); } }\n", "Sum.java",
                     "Sum.class"}),
    [](const ::testing::TestParamInfo<LanguageCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velkor
