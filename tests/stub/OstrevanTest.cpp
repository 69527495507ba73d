// Ostrevan, started as the jury's machine would start it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Started outside the runner, whose runs get a home of their own.
TEST_F(OstrevanTest, CreatesTheFallbackTemporaryFolder) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("HOME", (dir / "h").c_str(), 1);
    setenv("TMPDIR", "", 1);
    execl(VELKOR_OSTREVAN, VELKOR_OSTREVAN, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(fs::is_directory(dir / "h" / "Documents" / "temp"));
}

}  // namespace
}  // namespace velkor
