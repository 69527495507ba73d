// The security mode on real accounts: the logon through PAM, the switch of
// the file-system identity, and whole protected runs of the judge engine.
//
// The tests need root, to create two throw-away accounts for the suite:
//   "runner"    a plain account that plays Velkor's own account, and
//   "security"  the security account, with a known password.
// Each case runs in a child process that switches to "runner" and keeps
// only CAP_SETUID and CAP_SETGID (what a deployed Velkor needs), or nothing
// at all, and reports what it saw as "key=value" lines; the parent checks
// them. The contest folders belong to "runner", as they would to Velkor.
#include <grp.h>
#include <linux/audit.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "core/SystemInfo.h"
#include "judging/Checkers.h"
#include "judging/EnvConfig.h"
#include "judging/JudgeEngines.h"
#include "judging/Security.h"
#include "platform/SecurityAccounts.h"
#include "platform/SystemErrors.h"
#include "tests/core/FileTestSupport.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::WriteText;

constexpr const char* kPassword = "Vk-sec-7319";

// ---- Accounts and children ------------------------------------------------------

struct TAccount {
  std::string Name;
  uid_t Uid = 0;
  gid_t Gid = 0;
};

int Shell(const std::string& Command) { return std::system((Command + " >/dev/null 2>&1").c_str()); }

std::optional<TAccount> CreateAccount(const std::string& Name) {
  // Test processes running side by side contend for the account files'
  // lock; useradd then fails at once and is tried again.
  bool created = false;
  for (int attempt = 0; attempt < 50 && !created; ++attempt) {
    created = Shell("useradd -M -s /usr/sbin/nologin " + Name) == 0;
    if (!created) ::usleep(100000);
  }
  if (!created) return std::nullopt;
  const passwd* pw = ::getpwnam(Name.c_str());
  if (pw == nullptr) return std::nullopt;
  return TAccount{Name, pw->pw_uid, pw->pw_gid};
}

// Forced: a run's last processes may still be on their way out.
void DeleteAccount(const std::string& Name) {
  for (int attempt = 0; attempt < 50 && ::getpwnam(Name.c_str()) != nullptr; ++attempt)
    if (Shell("userdel -f " + Name) != 0) ::usleep(100000);
}

enum class TPrivilege { SwitchIdentity, None, SuperUser };

bool KeepOnlyIdentityCapabilities(bool Keep) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  const std::uint32_t caps = Keep ? (1u << CAP_SETUID) | (1u << CAP_SETGID) : 0;
  data[0].permitted = data[0].effective = caps;
  return ::syscall(SYS_capset, &header, data) == 0;
}

// Runs Work in a child as Account (or as root for SuperUser) and returns
// what it wrote; AsRoot runs first, still as root. "child failed: ..." when
// the child could not even start its work.
std::string RunAs(const TAccount& Account, TPrivilege Privilege, const std::function<std::string()>& Work,
                  const std::function<void()>& AsRoot = {}) {
  int fds[2];
  if (::pipe(fds) != 0) return "child failed: pipe";
  const pid_t pid = ::fork();
  if (pid < 0) return "child failed: fork";
  if (pid == 0) {
    ::close(fds[0]);
    std::string out;
    try {
      if (AsRoot) AsRoot();
      if (Privilege != TPrivilege::SuperUser) {
        ::prctl(PR_SET_KEEPCAPS, 1, 0, 0, 0);
        if (::initgroups(Account.Name.c_str(), Account.Gid) != 0 ||
            ::setresgid(Account.Gid, Account.Gid, Account.Gid) != 0 || ::setresuid(Account.Uid, Account.Uid, Account.Uid) != 0 ||
            !KeepOnlyIdentityCapabilities(Privilege == TPrivilege::SwitchIdentity))
          throw std::runtime_error("cannot become " + Account.Name);
        ::prctl(PR_SET_KEEPCAPS, 0, 0, 0, 0);
        // Changing accounts made the process non-dumpable, which would keep
        // the process runner from mapping its runs' user namespaces; a
        // Velkor started by the runner's own account is dumpable.
        ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
        // The temporary folder is per account (the compile's capture files
        // go there): the one made for root is closed to this one.
        TempDir = "/tmp/velkor-security-test-" + std::to_string(::getpid());
        TempDirD = TempDir + "/";
        if (::mkdir(TempDir.c_str(), 0700) != 0) throw std::runtime_error("cannot make " + TempDir);
      }
      out = Work();
    } catch (const std::exception& e) {
      out = std::string("child failed: ") + e.what();
    }
    if (Privilege != TPrivilege::SuperUser) {
      std::error_code ec;
      fs::remove_all(TempDir, ec);
    }
    const ssize_t n = ::write(fds[1], out.data(), out.size());
    ::_exit(n == static_cast<ssize_t>(out.size()) ? 0 : 1);
  }
  ::close(fds[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return out;
}

// "key=value" lines into a map; a key given twice keeps its last value.
std::map<std::string, std::string> Parse(const std::string& Report) {
  std::map<std::string, std::string> values;
  std::istringstream in(Report);
  for (std::string line; std::getline(in, line);)
    if (const auto eq = line.find('='); eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  return values;
}

std::string OneLine(std::string Text) {
  for (char& c : Text)
    if (c == '\r' || c == '\n') c = '|';
  return Text;
}

// The security mode set up for the security account, with a dialog that
// records what the jury is told.
std::shared_ptr<TScriptedMessageDialog> SecurityModeFor(const std::string& User, const std::string& Password) {
  EnvConfig->ActiveSecurity = true;
  EnvConfig->AdminUserName = User;
  EnvConfig->AdminPassword = Password;
  EnvConfig->AdminDomain = "HOST";
  auto dialog = std::make_shared<TScriptedMessageDialog>(std::initializer_list<int>{mrOk, mrOk, mrOk});
  SetMessageDialog(dialog);
  return dialog;
}

std::string DialogReport(const TScriptedMessageDialog& Dialog) {
  std::string out = "dialogs=" + std::to_string(Dialog.Requests().size()) + "\n";
  for (const TMsgDlgRequest& r : Dialog.Requests())
    out += "message=" + OneLine(r.Msg) + "\ntype=" + std::to_string(r.DlgType) + "\n";
  return out;
}

class SecurityAccounts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static const char* argv[] = {"judging_security_test"};
    SystemInfoInit(1, argv);
    FileUtilsInit();
    EnvConfig = std::make_unique<TEnvConfig>();
    Checkers = std::make_unique<TCheckerSet>();
    LoadCheckers(*Checkers, VELKOR_JUDGERS_DIR);
    SetRetrySleep([](std::uint32_t) {});
    if (::geteuid() != 0) {
      Skip = "the tests create accounts, which needs root";
      return;
    }
    const std::string suffix = std::to_string(::getpid());
    Runner = CreateAccount("vkrun" + suffix);
    Security = CreateAccount("vksec" + suffix);
    if (!Runner || !Security) {
      Skip = "useradd cannot create the test accounts on this machine";
      return;
    }
    if (Shell("echo '" + Security->Name + ":" + kPassword + "' | chpasswd") != 0) {
      Skip = "chpasswd cannot set the security account's password";
      return;
    }
    // PAM must accept the right password from a privileged caller, or
    // nothing here can log on.
    const std::string probe = RunAs(*Runner, TPrivilege::SwitchIdentity, [] {
      auto dialog = SecurityModeFor(Security->Name, kPassword);
      SetAdminLogon(true);
      return std::string(EnvConfig->AdminToken != 0 ? "ok" : "refused: " + DialogReport(*dialog));
    });
    if (probe != "ok") Skip = "PAM does not log the test account on here (" + OneLine(probe) + ")";
  }

  static void TearDownTestSuite() {
    if (Runner) DeleteAccount(Runner->Name);
    if (Security) DeleteAccount(Security->Name);
    Checkers.reset();
  }

  void SetUp() override {
    if (!Skip.empty()) GTEST_SKIP() << Skip;
  }

  static inline std::optional<TAccount> Runner, Security;
  static inline std::unique_ptr<TCheckerSet> Checkers;
  static inline std::string Skip;
};

// ---- Logon and impersonation ----------------------------------------------------

// The message with its line breaks shown as "||" (OneLine).
const std::regex kLogonFailure("^Không thể đăng nhập với \"HOST\\\\[^\"]+\"\\.\\|\\|(.+)\\|\\|Chế độ bảo mật sẽ tạm tắt$");

// A password check that does not answer in time is a failed logon, and its
// process does not linger. (No check answers within no time at all.)
TEST(LogonCheck, ACheckThatTakesTooLongFailsAndLeavesNothingBehind) {
  const int saved = platform::LogonCheckTimeoutMs;
  platform::LogonCheckTimeoutMs = 0;
  platform::TAccountToken token = 7;
  std::string failure;
  const bool loggedOn = platform::LogOnAccount("root", "not-the-password", token, failure);
  platform::LogonCheckTimeoutMs = saved;
  EXPECT_FALSE(loggedOn);
  EXPECT_EQ(token, 0u);
  EXPECT_EQ(failure, platform::ErrnoMessage(ETIMEDOUT));
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD) << "the check's process is left behind";
}

TEST_F(SecurityAccounts, LogonOutcomes) {
  struct TCase {
    const char* What;
    TPrivilege Privilege;
    std::function<std::string()> User;
    std::string Password;
    bool LogsOn;
    std::string Reason;  // the message's middle line; "" for any
  };
  const std::string security = Security->Name;
  std::string runnerUpper = Runner->Name;
  for (char& c : runnerUpper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const TCase cases[] = {
      {"right password", TPrivilege::SwitchIdentity, [&] { return security; }, kPassword, true, ""},
      {"wrong password", TPrivilege::SwitchIdentity, [&] { return security; }, "not-the-password", false,
       "Sai tên tài khoản hoặc mật mã."},
      {"unknown account", TPrivilege::SwitchIdentity, [] { return std::string("no-such-velkor-user"); }, kPassword,
       false, ""},
      // The account that runs Velkor, in another letter case.
      {"own account", TPrivilege::SwitchIdentity, [&] { return runnerUpper; }, kPassword, false,
       "Tài khoản bảo mật chính là tài khoản đang chạy Velkor."},
      {"no privilege to switch", TPrivilege::None, [&] { return security; }, kPassword, false, ""},
      {"super-user", TPrivilege::SuperUser, [&] { return security; }, kPassword, false,
       "Velkor đang chạy với quyền root (siêu người dùng), quyền mà không danh sách quyền truy cập nào ràng buộc "
       "được."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    const auto report = Parse(RunAs(*Runner, c.Privilege, [&] {
      auto dialog = SecurityModeFor(c.User(), c.Password);
      SetAdminLogon(true);
      std::string out = DialogReport(*dialog);
      out += "active=" + std::to_string(EnvConfig->ActiveSecurity) + "\n";
      out += "tokens=" + std::to_string(EnvConfig->AdminToken != 0) + std::to_string(EnvConfig->AdminToken2 != 0) +
             std::to_string(EnvConfig->AdminToken != EnvConfig->AdminToken2) + "\n";
      SetAdminLogon(false);
      out += "after-logoff=" + std::to_string(EnvConfig->AdminToken) + std::to_string(EnvConfig->AdminToken2) + "\n";
      return out;
    }));
    if (c.LogsOn) {
      EXPECT_EQ(report.at("dialogs"), "0") << report.at("message");
      EXPECT_EQ(report.at("active"), "1");
      EXPECT_EQ(report.at("tokens"), "111");
      EXPECT_EQ(report.at("after-logoff"), "00");
    } else {
      ASSERT_EQ(report.at("dialogs"), "1");
      EXPECT_EQ(report.at("type"), std::to_string(mtError));
      std::smatch m;
      ASSERT_TRUE(std::regex_match(report.at("message"), m, kLogonFailure)) << report.at("message");
      if (!c.Reason.empty()) {
        EXPECT_EQ(m[1].str(), c.Reason);
      }
      EXPECT_EQ(report.at("active"), "0");  // switched off, as the saved settings will be
      EXPECT_EQ(report.at("tokens"), "000");
    }
  }
}

TEST_F(SecurityAccounts, ImpersonationSwitchesTheFileIdentityWithoutNesting) {
  testing::TempFolder tmp;
  ::chmod(tmp.Path().c_str(), 0777);
  const auto report = Parse(RunAs(*Runner, TPrivilege::SwitchIdentity, [&] {
    SecurityModeFor(Security->Name, kPassword);
    SetAdminLogon(true);
    auto ownerOf = [](const std::string& path) {
      WriteText(path, "x");
      struct stat st {};
      ::stat(path.c_str(), &st);
      const passwd* pw = ::getpwuid(st.st_uid);
      return std::string(pw ? pw->pw_name : "?");
    };
    std::string out;
    SetImpersonation(true);
    SetImpersonation(true);
    out += "as=" + GetCurrentUserName() + "\nflag=" + std::to_string(Impersonating) + "\n";
    out += "owner=" + ownerOf(tmp / "by-security") + "\n";
    out += "uid=" + std::to_string(::getuid()) + "\n";  // the process itself stays the runner
    SetImpersonation(false);
    out += "back=" + GetCurrentUserName() + "\nflag-back=" + std::to_string(Impersonating) + "\n";
    out += "owner-back=" + ownerOf(tmp / "by-runner") + "\n";
    // Logging off ends an impersonation that is still on.
    SetImpersonation(true);
    SetAdminLogon(false);
    out += "after-logoff=" + GetCurrentUserName() + std::to_string(Impersonating) + "\n";
    // A switch that fails leaves the flag as it was.
    SetAdminLogon(true);
    KeepOnlyIdentityCapabilities(false);
    try {
      SetImpersonation(true);
      out += "without-privilege=switched\n";
    } catch (const std::exception& e) {
      out += "without-privilege=" + std::string(e.what()) + "\n";
    }
    out += "flag-without-privilege=" + GetCurrentUserName() + std::to_string(Impersonating) + "\n";
    return out;
  }));
  EXPECT_EQ(report.at("as"), Security->Name);
  EXPECT_EQ(report.at("flag"), "1");
  EXPECT_EQ(report.at("owner"), Security->Name);
  EXPECT_EQ(report.at("uid"), std::to_string(Runner->Uid));
  EXPECT_EQ(report.at("back"), Runner->Name);  // one end after two starts
  EXPECT_EQ(report.at("flag-back"), "0");
  EXPECT_EQ(report.at("owner-back"), Runner->Name);
  EXPECT_EQ(report.at("after-logoff"), Runner->Name + "0");
  EXPECT_NE(report.at("without-privilege"), "switched");
  EXPECT_FALSE(report.at("without-privilege").empty());
  EXPECT_EQ(report.at("flag-without-privilege"), Runner->Name + "0");
}

// Makes one system call fail with err for this process and all it starts.
bool RefuseSystemCall(int Number, int Err) {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(Number), 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<std::uint32_t>(Err) & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// ---- Protected runs -------------------------------------------------------------

// Every item's mode and raw access lists, to compare before and after.
using TAccessSnapshot = std::map<std::string, std::string>;

std::string Xattr(const std::string& Path, const char* Name) {
  char buffer[4096];
  const ssize_t n = ::lgetxattr(Path.c_str(), Name, buffer, sizeof buffer);
  return n < 0 ? "-" : std::string(buffer, static_cast<std::size_t>(n));
}

TAccessSnapshot Snapshot(const std::string& Root) {
  TAccessSnapshot snapshot;
  for (const auto& entry : fs::recursive_directory_iterator(Root)) {
    const std::string path = entry.path();
    struct stat st {};
    ::lstat(path.c_str(), &st);
    snapshot[path] = std::to_string(st.st_mode) + "/" + std::to_string(st.st_uid) + "/" +
                     Xattr(path, "system.posix_acl_access") + "/" + Xattr(path, "system.posix_acl_default");
  }
  return snapshot;
}

// The same keyed by the path below Root, to compare a folder with itself
// after a move.
std::string RelativeSnapshot(const std::string& Root) {
  std::string out;
  for (const auto& [path, access] : Snapshot(Root)) out += path.substr(Root.size()) + " " + access + "\n";
  return out;
}

// A contest owned by the runner: exam "E" with two tests of different
// inputs, and contestants with shell scripts or C sources the engine
// compiles.
//   Good           adds the two numbers (a script).
//   Wrong          always answers 0.
//   Cheat          looks for the test whose input it got and copies its answer.
//   Probe          adds the numbers too, and first tries every place it must
//                  not reach, writing what happened into its report.
//   HonestC        adds the numbers, in C.
//   ChmodAnswer    opens the tasks folder, the test folders and their files
//                  by their modes, as their owner may, to copy the answer.
//   AclChange      the same by rewriting their access lists.
//   ChmodOthers    the same on another contestant's folder and on the
//                  waiting room, reading and writing there.
//   IncludeAnswer  compiles the answer of test 1 into the program.
// The attackers answer right only when their attack got through, and write
// what each step did into a report in their room (the one place they may
// write), which the test collects into the report folder after each test.
class ProtectedRun : public SecurityAccounts {
 protected:
  void SetUp() override {
    SecurityAccounts::SetUp();
    if (IsSkipped()) return;
    root = tmp.Path() + "/contest";
    contestDir = root;
    house = root + "/house";
    fs::create_directories(root);
  }

  // Who is judged, in this order.
  std::vector<std::string> contestants = {"Good",      "Wrong",       "Cheat",       "Probe",        "HonestC",
                                          "ChmodAnswer", "AclChange", "ChmodOthers", "IncludeAnswer"};

  // Attack 0 is honest; 1 opens by modes, 2 by access lists, 3 opens the
  // other contestant's folder and the waiting room.
  std::string AttackSource(const std::string& Name, int Attack) const {
    std::string source = R"(#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#define ATTACK @ATTACK@
#define TASKS "@T@"
#define CONTESTANTS "@K@"
static FILE* report;
/* Opens path to everybody, as its owner may. */
static void Open(const char* path) {
#if ATTACK == 2
  struct {
    unsigned int version;
    struct { unsigned short tag, perm; unsigned int id; } entry[3];
  } __attribute__((packed)) all = {2, {{0x01, 7, 0xFFFFFFFFu}, {0x04, 7, 0xFFFFFFFFu}, {0x20, 7, 0xFFFFFFFFu}}};
  int r = setxattr(path, "system.posix_acl_access", &all, sizeof all, 0);
#else
  int r = chmod(path, 0777);
#endif
  fprintf(report, "open %s=%s\n", path, r == 0 ? "done" : strerror(errno));
}
static int Read(const char* path, char* text, size_t size) {
  FILE* f = fopen(path, "r");
  fprintf(report, "read %s=%s\n", path, f ? "done" : strerror(errno));
  if (!f) return 0;
  size_t n = fread(text, 1, size - 1, f);
  text[n] = 0;
  fclose(f);
  return 1;
}
static int Write(const char* path) {
  FILE* f = fopen(path, "w");
  fprintf(report, "write %s=%s\n", path, f ? "done" : strerror(errno));
  if (f) fclose(f);
  return f != NULL;
}
int main(void) {
  char input[256], text[256];
  long a = 0, b = 0;
  report = fopen("@R@/@NAME@.txt", "a");
  FILE* in = fopen("E.INP", "r");
  if (!report || !in || fscanf(in, "%ld %ld", &a, &b) != 2) return 1;
  fclose(in);
  Read("E.INP", input, sizeof input);
  int stolen = 0;
  FILE* out = fopen("E.OUT", "w");
#if ATTACK == 0
  stolen = 1;
#elif ATTACK == 1 || ATTACK == 2
  for (int t = 1; t <= 2 && !stolen; ++t) {
    char test[4096], inp[4200], ans[4200];
    snprintf(test, sizeof test, TASKS "/E/%d", t);
    snprintf(inp, sizeof inp, "%s/E.INP", test);
    snprintf(ans, sizeof ans, "%s/E.OUT", test);
    Open(TASKS), Open(TASKS "/E"), Open(test), Open(inp), Open(ans);
    if (Read(inp, text, sizeof text) && strcmp(text, input) == 0 && Read(ans, text, sizeof text)) {
      fputs(text, out);
      fprintf(report, "stolen=1\n");
      return 0;
    }
  }
#else
  Open(CONTESTANTS), Open(CONTESTANTS "/Good"), Open(CONTESTANTS "/Good/E.exe");
  stolen |= Read(CONTESTANTS "/Good/E.exe", text, sizeof text);
  stolen |= Write(CONTESTANTS "/Good/planted.txt");
  Open(".."), Open("../WaitRoom"), Open("../WaitRoom/E.c");
  stolen |= Read("../WaitRoom/E.c", text, sizeof text);
  stolen |= Write("../WaitRoom/planted.c");
#endif
  fprintf(out, "%ld\n", stolen ? a + b : 0);
  fprintf(report, "stolen=%d\n", stolen);
  return 0;
}
)";
    const std::pair<std::string, std::string> values[] = {{"@ATTACK@", std::to_string(Attack)},
                                                          {"@T@", root + "/Tasks"},
                                                          {"@K@", root + "/Contestants"},
                                                          {"@R@", "."},
                                                          {"@NAME@", Name}};
    for (const auto& [key, value] : values)
      for (std::size_t at; (at = source.find(key)) != std::string::npos;) source.replace(at, key.size(), value);
    return source;
  }

  // OwnLists: give a few items lists of their own first (where the file
  // system keeps lists).
  void BuildContest(bool OwnLists = true) {
    const std::string T = root + "/Tasks", K = root + "/Contestants";
    WriteText(T + "/E/1/E.INP", "1 2\n");
    WriteText(T + "/E/1/E.OUT", "3\n");
    WriteText(T + "/E/2/E.INP", "5 7\n");
    WriteText(T + "/E/2/E.OUT", "12\n");
    Program(K + "/Good/E.exe", "read a b < E.INP\necho $((a + b)) > E.OUT\n");
    Program(K + "/Wrong/E.exe", "echo 0 > E.OUT\n");
    Program(K + "/Cheat/E.exe",
            "for t in 1 2; do\n"
            "  if cmp -s E.INP '" + T + "'/E/$t/E.INP; then cat '" + T + "'/E/$t/E.OUT > E.OUT; exit 0; fi\n"
            "done\n"
            "echo 0 > E.OUT\n");
    const std::string R = root + "/report";
    Program(K + "/Probe/E.exe",
            "R=.\n"
            "probe() {\n"
            "  name=$1; shift\n"
            "  if \"$@\" > /dev/null 2> \"$R/err\"; then echo \"$name=ok\"\n"
            "  elif [ ! -s \"$R/err\" ] || grep -q -e 'Permission denied' -e 'No such file' \"$R/err\"; then\n"
            "    echo \"$name=refused\"\n"
            "  else echo \"$name=failed $(tr '\\n' ' ' < \"$R/err\")\"; fi >> \"$R/probe.txt\"\n"
            "}\n"
            "listed() { [ -n \"$(ls -A \"$1\")\" ]; }\n"
            "probe answer cat '" + T + "/E/1/E.OUT'\n"
            "probe answer-size stat '" + T + "/E/2/E.OUT'\n"
            "probe test-input cat '" + T + "/E/1/E.INP'\n"
            "probe tasks-listing listed '" + T + "'\n"
            "probe other-contestant cat '" + K + "/Good/E.exe'\n"
            "probe contestants-listing listed '" + K + "'\n"
            "probe waiting-room cat '" + house + "/VelkorWorkSpace/WaitRoom/notes.txt'\n"
            "probe work-folder-listing listed '" + house + "/VelkorWorkSpace'\n"
            "probe input cat E.INP\n"
            "read a b < E.INP\n"
            "probe output sh -c \"echo $((a + b)) > E.OUT\"\n");
    WriteText(K + "/Probe/notes.txt", "the probe's other file\n");
    const std::pair<const char*, int> attackers[] = {
        {"HonestC", 0}, {"ChmodAnswer", 1}, {"AclChange", 2}, {"ChmodOthers", 3}};
    for (const auto& [name, attack] : attackers) WriteText(K + "/" + name + "/E.c", AttackSource(name, attack));
    WriteText(K + "/IncludeAnswer/E.c",
              "#include <stdio.h>\nstatic const long answer =\n#include \"" + T + "/E/1/E.OUT\"\n;\n"
              "int main(void) { FILE* f = fopen(\"E.OUT\", \"w\"); fprintf(f, \"%ld\\n\", answer); fclose(f); return 0; }\n");
    fs::create_directories(R);
    fs::create_directories(root + "/house");
    Shell("chown -R " + Runner->Name + ": '" + root + "'");
    ::chmod(R.c_str(), 0777);
    if (OwnLists) {
      ASSERT_TRUE(GiveOwnLists());
    }
  }

  // Lists of their own on a few items, which a run must give back as they
  // were: a named entry on an answer, a default list on a folder; the rest
  // as the owner made them.
  bool GiveOwnLists() const {
    const std::string T = root + "/Tasks", K = root + "/Contestants";
    bool ok = true;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      const std::string path = entry.path();
      if (path.starts_with(root + "/report")) continue;
      ::removexattr(path.c_str(), "system.posix_acl_access");
      ::chmod(path.c_str(), entry.is_directory() || path.ends_with(".exe") ? 0755 : 0644);
    }
    const TExplicitAccess daemonRead = BuildExplicitAccessWithName("daemon", GENERIC_READ, SET_ACCESS, NO_INHERITANCE);
    ok = ok && SetExplicitACL(T + "/E/1/E.OUT", {&daemonRead, 1}, 1);
    const TExplicitAccess inherited =
        BuildExplicitAccessWithName("daemon", GENERIC_READ, SET_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
    ok = ok && SetExplicitACL(K + "/Good", {&inherited, 1}, 1);
    return ok;
  }

  // The reports a program left in the contest room, added to the report
  // folder before the next test clears the room.
  void CollectReports(const std::string& Contestant) const {
    const std::string contestRoom = house + "/VelkorWorkSpace/ContestRoom/";
    for (const std::string& name : {Contestant + ".txt", std::string("probe.txt")}) {
      std::error_code ec;
      if (!fs::is_regular_file(contestRoom + name, ec)) continue;
      std::ofstream(root + "/report/" + name, std::ios::app) << testing::ReadText(contestRoom + name);
    }
  }

  static void Program(const std::string& Path, const std::string& Body) {
    WriteText(Path, "#!/bin/sh\n" + Body);
    ::chmod(Path.c_str(), 0755);
  }

  // One run over every contestant, in the child; its scores, the programs'
  // reports and what the jury was told, as report lines with Prefix. The
  // contest is opened through contestDir, the work folder made in house.
  std::string JudgeAll(const std::string& Prefix, const std::function<void(TJudgeEngine&)>& Prepare = {}) {
    TContestInfo contest;
    contest.LoadExams(contestDir + "/Tasks");
    contest.LoadContestants(contestDir + "/Contestants");
    for (TExamInfo* e : contest.ExamSet()) {
      e->InputFile = "E.INP";
      e->OutputFile = "E.OUT";
      e->EvaluatorName = "CompareTokens.dll";
    }
    EnvConfig->ContestHouse = house;
    TCompilerConfig compilers;
    TQueue<TJudgePair> pairs;
    for (const std::string& c : contestants) {
      TJudgePair p;
      MakeJudgePair(c, "E", p);
      pairs.Push(p);
    }
    for (const auto& entry : fs::directory_iterator(root + "/report")) fs::remove(entry.path());
    std::string out;
    {
      TJudgeEngine engine(contest, compilers, *Checkers);
      // Whether other accounts may reach the work folder while a test runs.
      std::string workDirOthers = "unseen";
      engine.SetOnJudgeNotify([&](TJudgeEngine*, TJudgeAction a, const std::string& c, const std::string&,
                                  const std::string& t, bool&) {
        if (a == jaEndJudge && !t.empty()) CollectReports(c);
        struct stat st {};
        if (a == jaBeginJudge && !t.empty() && workDirOthers == "unseen")
          workDirOthers = ::stat((house + "/VelkorWorkSpace").c_str(), &st) == 0
                              ? ((st.st_mode & S_IRWXO) ? "reach" : "closed")
                              : "missing";
      });
      if (Prepare) Prepare(engine);
      const bool ok = engine.Run(pairs);
      out += Prefix + "run=" + std::to_string(ok) + " " + OneLine(engine.ErrorMsg) + "\n";
      out += Prefix + "work-folder-others=" + workDirOthers + "\n";
    }
    for (const std::string& c : contestants) {
      const TResultE* re = contest.ResultSet().Obj(c)->Obj("E");
      out += Prefix + "score." + c + "=" + (re ? std::to_string(re->Evaluation) : "none") + "\n";
      if (re) {
        out += Prefix + "state." + c + "=" + std::to_string(re->state) + "\n";
        out += Prefix + "log." + c + "=" + OneLine(re->EvaluationText) + "\n";
        for (const TResultT* t : *re) out += Prefix + "text." + c + "." + t->Name() + "=" + OneLine(t->EvaluationText) + "\n";
      }
    }
    for (const auto& entry : fs::directory_iterator(root + "/report")) {
      if (entry.path().extension() != ".txt") continue;
      const std::string name = entry.path().stem();
      for (const auto& [key, value] : Parse(testing::ReadText(entry.path())))
        out += Prefix + (name == "probe" ? "probe." : "report." + name + ".") + key + "=" + value + "\n";
    }
    out += Prefix + "active=" + std::to_string(EnvConfig->ActiveSecurity) + "\n";
    out += Prefix + "logged-on=" + std::to_string(EnvConfig->AdminToken != 0) + "\n";
    out += Prefix + "impersonating=" + std::to_string(Impersonating) + "\n";
    return out;
  }

  // The modes, owners and access lists of the whole contest, as lines.
  std::string TreeAccess() const {
    std::string out;
    for (const char* part : {"/Tasks", "/Contestants", "/house"})
      for (const auto& [path, access] : Snapshot(root + part)) out += path + " " + access + "\n";
    return out;
  }

  // Unprotected, then protected, in one child as the runner; the whole
  // tree's lists before and after the protected run.
  std::map<std::string, std::string> JudgeBothWays() {
    return Parse(RunAs(*Runner, TPrivilege::SwitchIdentity, [&] {
      EnvConfig->ActiveSecurity = false;
      std::string out = JudgeAll("off.");
      auto dialog = SecurityModeFor(Security->Name, kPassword);
      // The unprotected attacks opened the tree: it gets its lists back.
      GiveOwnLists();
      const std::string before = TreeAccess();
      out += JudgeAll("on.");
      out += "on.tree-unchanged=" + std::string(TreeAccess() == before ? "yes" : "no: " + OneLine(TreeAccess())) + "\n";
      out += DialogReport(*dialog);
      // Velkor's own account reads its tests and submissions again.
      out += "after.answer=" + testing::ReadText(root + "/Tasks/E/2/E.OUT");
      out += "after.submission=" + std::to_string(!testing::ReadText(root + "/Contestants/Good/E.exe").empty()) + "\n";
      return out;
    }));
  }

  testing::TempFolder tmp;
  std::string root, contestDir, house;
};

// The jury opens the contest through a link; the programs go for the real
// folders, by reading them and by opening them as their owner may.
TEST_F(ProtectedRun, ProgramsReachOnlyTheContestRoomAndScoresStayTheSame) {
  if (!VolumeHasACLs(tmp.Path())) GTEST_SKIP() << "the test folder's file system keeps no ACLs";
  BuildContest();
  contestDir = tmp.Path() + "/contest-link";
  fs::create_directory_symlink(root, contestDir);
  const auto r = JudgeBothWays();
  std::string all;
  for (const auto& [k, v] : r) all += k + "=" + v + "\n";
  ASSERT_EQ(r.count("on.run"), 1u) << all;
  SCOPED_TRACE(all);

  EXPECT_EQ(r.at("off.run"), "1 ");
  EXPECT_EQ(r.at("on.run"), "1 ");
  EXPECT_EQ(r.at("dialogs"), "0") << r.at("message");
  EXPECT_EQ(r.at("on.active"), "1");
  EXPECT_EQ(r.at("on.logged-on"), "0");
  EXPECT_EQ(r.at("on.impersonating"), "0");
  EXPECT_EQ(r.at("off.work-folder-others"), "closed");
  // The security account works there by a named entry: no other account may.
  EXPECT_EQ(r.at("on.work-folder-others"), "closed");

  // With the mode on or off, the probe reaches nothing but its room.
  const char* forbidden[] = {"answer",           "answer-size",          "test-input",   "tasks-listing",
                             "other-contestant", "contestants-listing", "waiting-room", "work-folder-listing"};
  for (const char* what : forbidden) {
    EXPECT_EQ(r.at(std::string("off.probe.") + what), "refused") << what;
    EXPECT_EQ(r.at(std::string("on.probe.") + what), "refused") << what;
  }
  for (const char* mode : {"off", "on"}) {
    EXPECT_EQ(r.at(std::string(mode) + ".probe.input"), "ok") << mode;
    EXPECT_EQ(r.at(std::string(mode) + ".probe.output"), "ok") << mode;
  }

  // Honest programs score the same; no attack gets through in either mode,
  // not one of its steps.
  for (const char* c : {"Good", "Wrong", "Probe", "HonestC"})
    EXPECT_EQ(r.at(std::string("on.score.") + c), r.at(std::string("off.score.") + c)) << c;
  EXPECT_EQ(std::stod(r.at("on.score.Good")), 2);
  EXPECT_EQ(std::stod(r.at("on.score.Probe")), 2);
  EXPECT_EQ(std::stod(r.at("on.score.HonestC")), 2);
  for (const char* mode : {"off", "on"}) {
    for (const char* c : {"Cheat", "ChmodAnswer", "AclChange", "ChmodOthers"})
      EXPECT_EQ(std::stod(r.at(std::string(mode) + ".score." + c)), 0) << mode << " " << c;
    for (const char* c : {"ChmodAnswer", "AclChange", "ChmodOthers"}) {
      const std::string prefix = std::string(mode) + ".report." + c + ".";
      EXPECT_EQ(r.at(prefix + "stolen"), "0") << prefix;
      int steps = 0;
      for (const auto& [key, value] : r) {
        // ".." is the way down to the room in the run's own view; with the
        // test's folders in /tmp it lies in the run's private /tmp, where the
        // program may change it without touching anything outside the run.
        if (!key.starts_with(prefix) || key.ends_with(".stolen") || key.ends_with(".read E.INP") ||
            key.ends_with(".open .."))
          continue;
        ++steps;
        EXPECT_NE(value, "done") << key;
      }
      EXPECT_GE(steps, 5) << prefix;
    }
    // The answer is not there for the compiler to find.
    EXPECT_EQ(std::stod(r.at(std::string(mode) + ".score.IncludeAnswer")), 0) << mode;
    EXPECT_EQ(r.at(std::string(mode) + ".state.IncludeAnswer"), std::to_string(jsCompileError)) << mode;
    EXPECT_NE(r.at(std::string(mode) + ".log.IncludeAnswer").find("No such file"), std::string::npos)
        << r.at(std::string(mode) + ".log.IncludeAnswer");
  }

  EXPECT_EQ(r.at("after.answer"), "12");
  EXPECT_EQ(r.at("after.submission"), "1");
  EXPECT_EQ(r.at("on.tree-unchanged"), "yes");
}

// Where nothing could be protected the jury is told, the mode goes off and
// the run judges as it would unprotected.
TEST_F(ProtectedRun, CannotProtectSaysSoAndJudgesUnprotected) {
  struct TCase {
    const char* What;
    std::function<void()> AsRoot;
    const char* Said;
    // No run can get its view either: no program is started at all.
    bool NoRuns = false;
  };
  const TCase cases[] = {
      {"folders without ACLs",
       [&] {
         // A file system without ACLs, in a mount namespace of the child's own.
         if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
             ::mount("none", root.c_str(), "ramfs", 0, nullptr) != 0)
           throw std::runtime_error("cannot mount");
         BuildContest(false);
       },
       "không có danh sách quyền truy cập (ACL)"},
      {"folders the security account cannot reach",
       [&] {
         BuildContest(false);
         ::chmod(root.c_str(), 0700);
       },
       "Tài khoản bảo mật không truy cập được thư mục"},
      // Layouts that would leave something in the programs' sight.
      {"the work folder inside the tasks folder",
       [&] {
         BuildContest(false);
         house = root + "/Tasks/house";
       },
       "thư mục làm việc"},
      {"a link out of the tasks folder",
       [&] {
         BuildContest(false);
         WriteText(root + "/elsewhere/answers.txt", "3\n12\n");
         fs::create_symlink(root + "/elsewhere/answers.txt", root + "/Tasks/E/1/all-answers.txt");
       },
       "liên kết"},
      {"an answer with a second name outside",
       [&] {
         BuildContest(false);
         fs::create_hard_link(root + "/Tasks/E/2/E.OUT", root + "/answer-copy.txt");
       },
       "còn có tên khác"},
      // A kernel without the calls that keep a room visible in a hidden
      // folder, as before Linux 5.2.
      {"no way to hide the contest",
       [&] {
         if (!RefuseSystemCall(__NR_open_tree, ENOSYS)) throw std::runtime_error("cannot filter");
         BuildContest(false);
       },
       "không thể che dữ liệu kỳ thi khỏi chương trình của thí sinh: ", true},
  };
  contestants = {"Good", "Probe", "HonestC"};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    fs::remove_all(root);
    fs::create_directories(root);
    const std::string out = RunAs(
        *Runner, TPrivilege::SwitchIdentity,
        [&] {
          auto dialog = SecurityModeFor(Security->Name, kPassword);
          std::string report = JudgeAll("on.");
          return report + DialogReport(*dialog);
        },
        c.AsRoot);
    if (out == "child failed: cannot mount" || out == "child failed: cannot filter") {
      std::cerr << "not possible here: case skipped\n";
      continue;
    }
    const auto r = Parse(out);
    ASSERT_EQ(r.count("dialogs"), 1u) << out;
    ASSERT_EQ(r.at("dialogs"), "1") << out;
    EXPECT_NE(r.at("message").find(c.Said), std::string::npos) << r.at("message");
    EXPECT_NE(r.at("message").find("Chế độ bảo mật sẽ tạm tắt"), std::string::npos) << r.at("message");
    EXPECT_EQ(r.at("on.active"), "0");
    EXPECT_EQ(r.at("on.logged-on"), "0");
    EXPECT_EQ(r.at("on.run"), "1 ");
    if (c.NoRuns) {
      // A program is never started without its view of the machine.
      EXPECT_EQ(std::stod(r.at("on.score.Good")), 0);
      EXPECT_EQ(r.count("on.probe.answer"), 0u);
    } else {
      EXPECT_EQ(std::stod(r.at("on.score.Good")), 2);
      EXPECT_EQ(std::stod(r.at("on.score.HonestC")), 2);
      EXPECT_EQ(r.at("on.probe.answer"), "refused");  // hidden from every run all the same
    }
    // Opened for a mode that then switched off, the work folder is closed
    // to other accounts again.
    EXPECT_EQ(r.at("on.work-folder-others"), "closed");
  }
}

// The jury moves the tasks folder away while a test runs and puts another
// in its place: the next program would have the moved one in sight, so it
// is not started; the run stops naming the folder, and the moved folder
// gets its lists back where it is now.
TEST_F(ProtectedRun, AFolderMovedWhileJudgingStopsTheRun) {
  if (!VolumeHasACLs(tmp.Path())) GTEST_SKIP() << "the test folder's file system keeps no ACLs";
  BuildContest();
  contestants = {"Good", "Probe"};
  const std::string moved = root + "/Tasks-moved";
  const auto r = Parse(RunAs(*Runner, TPrivilege::SwitchIdentity, [&] {
    auto dialog = SecurityModeFor(Security->Name, kPassword);
    const std::string before = RelativeSnapshot(root + "/Tasks");
    std::string out = JudgeAll("on.", [&](TJudgeEngine& engine) {
      engine.SetOnJudgeNotify([&](TJudgeEngine*, TJudgeAction a, const std::string&, const std::string&,
                                  const std::string& t, bool&) {
        if (a != jaEndJudge || t != "1" || fs::exists(moved)) return;
        // Another folder takes its place, with what the next test needs.
        fs::rename(root + "/Tasks", moved);
        WriteText(root + "/Tasks/E/2/E.INP", "5 7\n");
      });
    });
    out += "moved-unchanged=" + std::string(RelativeSnapshot(moved) == before ? "yes" : "no") + "\n";
    out += "moved-answer=" + testing::ReadText(moved + "/E/2/E.OUT");
    return out + DialogReport(*dialog);
  }));
  std::string all;
  for (const auto& [k, v] : r) all += k + "=" + v + "\n";
  ASSERT_EQ(r.count("on.run"), 1u) << all;
  SCOPED_TRACE(all);
  EXPECT_EQ(r.at("dialogs"), "0");
  EXPECT_TRUE(r.at("on.run").starts_with("0 Lỗi khi chấm Good‣E:||Thư mục \"" + root + "/Tasks\" đã bị đổi tên"))
      << r.at("on.run");
  EXPECT_EQ(r.at("on.score.Good"), "none");  // not judged by a run that did not finish it
  EXPECT_EQ(r.at("on.score.Probe"), "none");
  EXPECT_EQ(r.count("on.probe.answer"), 0u);  // the probe never ran
  EXPECT_EQ(r.at("moved-unchanged"), "yes");
  EXPECT_EQ(r.at("moved-answer"), "12");
}

// The contest lies in a folder of the jury's account (its home, say), where
// the account's own programs could move the whole contest away and put a
// tree of their own in its place. A run does not see it at all: Swap's
// attempt fails, the contest stays where it is, and the run goes on.
TEST_F(ProtectedRun, AProgramCannotMoveTheContestAway) {
  if (!VolumeHasACLs(tmp.Path())) GTEST_SKIP() << "the test folder's file system keeps no ACLs";
  const std::string home = tmp.Path() + "/home";
  root = contestDir = home + "/contest";
  house = root + "/house";
  fs::create_directories(root);
  BuildContest();
  Program(root + "/Contestants/Swap/E.exe",
          "if grep -q '^5 7' E.INP; then\n"
          "  mv '" + root + "' '" + home + "/away'\n"
          "  mkdir -p '" + root + "/Tasks/E/2'\n"
          "  echo 0 > '" + root + "/Tasks/E/2/E.OUT'\n"
          "fi\n"
          "echo 0 > E.OUT\n");
  Shell("chown -R " + Runner->Name + ": '" + home + "'");
  contestants = {"Good", "Swap"};
  const auto r = Parse(RunAs(*Runner, TPrivilege::SwitchIdentity, [&] {
    auto dialog = SecurityModeFor(Security->Name, kPassword);
    return JudgeAll("on.") + DialogReport(*dialog);
  }));
  std::string all;
  for (const auto& [k, v] : r) all += k + "=" + v + "\n";
  ASSERT_EQ(r.count("on.run"), 1u) << all;
  SCOPED_TRACE(all);
  EXPECT_FALSE(fs::exists(home + "/away")) << "the program moved the contest";
  EXPECT_EQ(testing::ReadText(root + "/Tasks/E/2/E.OUT"), "12\n");
  EXPECT_EQ(r.at("dialogs"), "0");
  EXPECT_EQ(r.at("on.run"), "1 ");
  EXPECT_EQ(std::stod(r.at("on.score.Good")), 2);
  EXPECT_EQ(std::stod(r.at("on.score.Swap")), 0);
}

}  // namespace
}  // namespace velkor
