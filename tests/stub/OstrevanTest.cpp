// Ostrevan, started as the jury's machine would start it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/ExecRoutines.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class OstrevanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "ostrevan-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }

  void Run(const std::string& args) {
    engine.SetCmd(std::string(VELKOR_OSTREVAN) + args);
    engine.FileOut = (dir / "out.txt").string();
    engine.FileErr = (dir / "err.txt").string();
    engine.Execute();
  }

  fs::path dir;
  TExecEngine engine;
};

TEST_F(OstrevanTest, PrintsNothingAndExitsZero) {
  for (const char* args : {"", " a \"\" b", " /CLEAN /LOAD x.contest"}) {
    Run(args);
    EXPECT_EQ(engine.ExitCode(), ExecOK) << args << ": " << engine.ExitCodeMsg();
    EXPECT_EQ(ReadFile(dir / "out.txt"), "") << args;
    EXPECT_EQ(ReadFile(dir / "err.txt"), "") << args;
  }
}

TEST_F(OstrevanTest, CreatesTheFallbackTemporaryFolder) {
  const char* oldHome = getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  const char* oldTmp = getenv("TMPDIR");
  const std::string savedTmp = oldTmp ? oldTmp : "";
  setenv("HOME", (dir / "h").c_str(), 1);
  setenv("TMPDIR", "", 1);
  Run("");
  setenv("HOME", savedHome.c_str(), 1);
  if (oldTmp) setenv("TMPDIR", savedTmp.c_str(), 1);
  else unsetenv("TMPDIR");

  EXPECT_EQ(engine.ExitCode(), ExecOK) << engine.ExitCodeMsg();
  EXPECT_TRUE(fs::is_directory(dir / "h" / "Documents" / "temp"));
}

}  // namespace
}  // namespace velkor
