#include "core/SystemInfo.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "core/NameCompare.h"
#include "platform/AccountFolders.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

// Runs the start-up against a scratch HOME and restores the environment.
class SystemInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kSaved) {
      const char* v = std::getenv(name);
      saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
    }
    std::string pattern = (fs::temp_directory_path() / "sysinfo-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    home = pattern;
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
    fs::create_directory(home / "tmp");
    setenv("TMPDIR", (home / "tmp").c_str(), 1);
  }
  void TearDown() override {
    for (auto& [name, value] : saved_) {
      if (value) setenv(name, value->c_str(), 1);
      else unsetenv(name);
    }
    SystemInfoFinalize();
    fs::remove_all(home);
  }

  void Init(std::vector<const char*> params = {}, const TSystemInfoOptions& options = {}) {
    std::vector<const char*> argv{"velkor"};
    argv.insert(argv.end(), params.begin(), params.end());
    SystemInfoInit(static_cast<int>(argv.size()), argv.data(), options);
  }

  fs::path home;

 private:
  static constexpr const char* kSaved[] = {"HOME", "TMPDIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"};
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(SystemInfoTest, ParametersAreTrimmedAndEmptyOnesDropped) {
  Init({" /LOAD", "   ", "/x/c.contest ", "\t/CLEAN\n"});
  EXPECT_EQ(MyParams, (std::vector<std::string>{"/LOAD", "/x/c.contest", "/CLEAN"}));

  struct Case {
    const char* s;
    std::uint8_t mode;
    int index;
  } cases[] = {
      {"/load", 0, 0}, {"/load", 1, -1}, {"/LOAD", 1, 0}, {"/LOAD", 2, -1},
      {"/clean", 0, 2}, {"/GUIFONT", 0, -1}, {"", 0, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(IndexOfParam(c.s, c.mode), c.index) << c.s << " " << +c.mode;

  SystemInfoFinalize();
  EXPECT_TRUE(MyParams.empty());
}

TEST(OSVersionTest, ComparesMajorThenMinor) {
  const char* argv[] = {"velkor"};
  SystemInfoInit(1, argv);
  const TOSVersion seven{6, 1}, server2003{5, 2};
  EXPECT_TRUE(seven >= wvVista);
  EXPECT_FALSE(seven < wvVista);
  EXPECT_TRUE(server2003 < wvVista);
  EXPECT_FALSE(server2003 >= wvVista);
  EXPECT_TRUE(wvSeven == wvServer2008);
  EXPECT_TRUE(wvNT == wv95);
  EXPECT_TRUE(wvME > wv98);
  EXPECT_TRUE(OSVersion >= wvVista) << "every newer-platform path must be taken";
  SystemInfoFinalize();
}

TEST_F(SystemInfoTest, FoldersComeWithAndWithoutTheirDelimiter) {
  Init();
  EXPECT_EQ(MyApp, fs::read_symlink("/proc/self/exe").string());
  EXPECT_EQ(MyDir, fs::path(MyApp).parent_path().string());
  EXPECT_EQ(MyDirD, MyDir + "/");
  EXPECT_EQ(SystemDirD, SystemDir + "/");
  EXPECT_EQ(WinDirD, WinDir + "/");

  EXPECT_EQ(TempDir, (home / "tmp" / ("velkor-" + std::to_string(geteuid()))).string());
  EXPECT_EQ(TempDirD, TempDir + "/");
  struct stat st{};
  ASSERT_EQ(stat(TempDir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u) << "the temporary folder is private to its user";
}

TEST_F(SystemInfoTest, TemporaryFolderFallsBackToDocuments) {
  // An empty TMPDIR is the "no temporary path" case.
  setenv("TMPDIR", "", 1);
  Init();
  EXPECT_EQ(TempDir, (home / "Documents" / "temp").string());
  EXPECT_TRUE(fs::is_directory(TempDir));
  SystemInfoFinalize();

  // Someone else's link in place of our folder is never used.
  setenv("TMPDIR", (home / "tmp").c_str(), 1);
  fs::create_directory(home / "elsewhere");
  fs::create_directory_symlink(home / "elsewhere",
                               home / "tmp" / ("velkor-" + std::to_string(geteuid())));
  fs::create_directories(home / ".config");
  std::ofstream(home / ".config" / "user-dirs.dirs")
      << "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desk\"\nXDG_DOCUMENTS_DIR=\"$HOME/Giấy tờ\"\n";
  Init();
  EXPECT_EQ(TempDir, (home / "Giấy tờ" / "temp").string());
  EXPECT_TRUE(fs::is_directory(TempDir));
}

// The folder two copies of one account meet in: the session's runtime
// folder whatever TMPDIR says, and a fixed one under /tmp when there is no
// such folder, or only one that is not private to the account.
TEST_F(SystemInfoTest, RuntimeFolderIsTheAccountsWhateverTmpdirSays) {
  const fs::path runtime = home / "run";
  fs::create_directory(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  const std::string folder = platform::RuntimeFolder();
  EXPECT_EQ(folder, (runtime / "velkor").string());
  setenv("TMPDIR", (home / "elsewhere").c_str(), 1);
  EXPECT_EQ(platform::RuntimeFolder(), folder);
  struct stat st{};
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // Without a usable variable, the session manager's folder of the account
  // when this machine has one, else /tmp: the same for every session.
  struct stat session{};
  const std::string sessionFolder = platform::SessionRuntimeFolder();
  const bool hasSession = lstat(sessionFolder.c_str(), &session) == 0 && S_ISDIR(session.st_mode) &&
                          session.st_uid == geteuid() && (session.st_mode & 077) == 0;
  const std::string fixed = hasSession ? sessionFolder + "/velkor" : "/tmp/velkor-" + std::to_string(geteuid());
  fs::permissions(runtime, fs::perms::all);
  EXPECT_EQ(platform::RuntimeFolder(), fixed) << "a runtime folder open to others";
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(platform::RuntimeFolder(), fixed);
  // Made here where the test may (as root, with /run/user): a session that
  // starts later is found by a terminal without the variable.
  if (!hasSession && ::mkdir(sessionFolder.c_str(), 0700) == 0) {
    EXPECT_EQ(platform::RuntimeFolder(), sessionFolder + "/velkor") << "a session's folder made meanwhile";
    fs::remove_all(sessionFolder);
  }
}

TEST_F(SystemInfoTest, AccountFoldersFollowTheXdgVariables) {
  EXPECT_EQ(GetFolderLocation(26), (home / ".config").string());
  EXPECT_EQ(GetFolderLocation(35), (home / ".local/share").string());
  EXPECT_FALSE(fs::exists(home / ".config"));
  EXPECT_EQ(GetFolderLocation(26 | 0x8000), (home / ".config").string());
  EXPECT_TRUE(fs::is_directory(home / ".config")) << "the create flag makes the folder";

  setenv("XDG_CONFIG_HOME", (home / "cfg/").c_str(), 1);
  setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
  EXPECT_EQ(GetFolderLocation(26), (home / "cfg").string());
  EXPECT_EQ(GetFolderLocation(35), (home / "data").string());
  EXPECT_EQ(GetFolderLocation(7), "") << "an unknown folder";
}

TEST(ProcessorTest, ExtensionsMatchTheCompilersView) {
  __builtin_cpu_init();
  EXPECT_EQ(HasCPUExt(ceMMX), bool(__builtin_cpu_supports("mmx")));
  EXPECT_EQ(HasCPUExt(ceSSE), bool(__builtin_cpu_supports("sse")));
  EXPECT_EQ(HasCPUExt(ceSSE2), bool(__builtin_cpu_supports("sse2")));
  if (HasCPUExt(ceSSE)) {
    EXPECT_TRUE(HasCPUExt(ceEMMX)) << "SSE implies the extended MMX set";
  }
  EXPECT_EQ((GetCPUFeatures() & 0x04000000) != 0, HasCPUExt(ceSSE2));
}

TEST(EnvironmentTest, SetAndGetProcessVariables) {
  EXPECT_EQ(SetEnvVar("VELKOR_TEST_VAR", "a b"), 0);
  EXPECT_EQ(GetEnvVar("VELKOR_TEST_VAR"), "a b");
  EXPECT_EQ(GetEnvVar("VELKOR_TEST_UNSET_VAR"), "");
  EXPECT_EQ(SetEnvVar("", "x"), 87);
  EXPECT_EQ(SetEnvVar("A=B", "x"), 87);
  unsetenv("VELKOR_TEST_VAR");
}

TEST(AccountTest, UserAndDomainAreTheAccountAndHost) {
  std::string domain = "stale", user = "stale";
  ASSERT_TRUE(GetCurrentUserAndDomain(domain, user));
  EXPECT_EQ(user, getpwuid(geteuid())->pw_name);
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  EXPECT_EQ(domain, std::string(host).substr(0, std::string(host).find('.')));
  EXPECT_EQ(GetCurrentUserName(), user);
  EXPECT_EQ(GetCurrentDomainName(), domain);
  EXPECT_EQ(IsUserAdmin(), geteuid() == 0);
}

TEST_F(SystemInfoTest, OnlyTheProgramItselfHasAVersionResource) {
  const TVersionResource resource{{"FileVersion", " 1.2.3 "}, {"ProductName", "Velkor"}};
  TSystemInfoOptions options;
  options.VersionResource = &resource;
  Init({}, options);
  EXPECT_EQ(GetVersionInfoString(MyApp, "FileVersion"), "1.2.3");
  EXPECT_EQ(GetVersionInfoString(MyApp, "CompanyName"), "");
  EXPECT_EQ(GetVersionInfoString("/bin/sh", "FileVersion"), "");
  EXPECT_EQ(GetVersionInfoString("/no/such/file", "FileVersion"), "");
  SystemInfoFinalize();
  Init();
  EXPECT_EQ(GetVersionInfoString(MyApp, "FileVersion"), "") << "a program without a resource";
}

TEST(RandomTest, UniformInRangeAndReproducibleFromASeed) {
  EXPECT_EQ(Random(0), 0u);
  EXPECT_EQ(Random(1), 0u);
  std::vector<int> counts(10);
  RandSeed(7);
  std::vector<std::uint32_t> first;
  for (int i = 0; i < 10000; ++i) {
    const std::uint32_t r = Random(10);
    ASSERT_LT(r, 10u);
    ++counts[r];
    if (i < 20) first.push_back(r);
  }
  for (int c : counts) EXPECT_GT(c, 800) << "far from uniform";
  RandSeed(7);
  for (std::uint32_t r : first) EXPECT_EQ(Random(10), r);
}

TEST(NameCompareTest, Utf16OrderWithOnlyAsciiLettersFolded) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"bai1", "BAI1", 0},
      {"a", "b", -1},
      {"ab", "abc", -1},
      {"_", "a", 1},            // 'a' folds to 'A' (0x41), below '_' (0x5F)
      {"Z", "a", 1},
      {"đ", "Đ", 1},            // letters beyond ASCII are not folded
      {"é", "z", 1},
      {"\U00010000", "\uE000", -1},  // a surrogate pair sorts below U+E000
      {"\uD7FF", "\U00010000", -1},
      {"", "", 0},
  };
  for (const Case& c : cases) {
    const int r = CompareText(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    EXPECT_EQ(-((r > 0) - (r < 0)), [&] {
      int s = CompareText(c.b, c.a);
      return (s > 0) - (s < 0);
    }()) << "antisymmetric";
  }
  EXPECT_TRUE(SameText("Bai1.Cpp", "BAI1.CPP"));
  EXPECT_FALSE(SameText("Đề", "đề"));
}

}  // namespace
}  // namespace velkor
