#include "platform/SecurityAccounts.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <sys/fsuid.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include "platform/SystemErrors.h"
#include "platform/UniqueFd.h"

namespace velkor::platform {
namespace {

struct TIdentity {
  uid_t Uid = 0;
  gid_t Gid = 0;
  std::vector<gid_t> Groups;
};

std::mutex gTokensMutex;
std::map<TAccountToken, TIdentity> gTokens;
TAccountToken gNextToken = 1;

TAccountToken AddToken(TIdentity Identity) {
  std::lock_guard lock(gTokensMutex);
  const TAccountToken token = gNextToken++;
  gTokens.emplace(token, std::move(Identity));
  return token;
}

bool FindToken(TAccountToken Token, TIdentity& Identity) {
  std::lock_guard lock(gTokensMutex);
  const auto it = gTokens.find(Token);
  if (it == gTokens.end()) return false;
  Identity = it->second;
  return true;
}

// Makes CAP_SETUID and CAP_SETGID effective on the calling thread when the
// process holds them, as it does when the program file carries them only
// as permitted. Best effort: without them the switch itself reports EPERM.
void RaiseIdentityCapabilities() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (::syscall(SYS_capget, &header, data) != 0) return;
  const std::uint32_t wanted = (1u << CAP_SETUID) | (1u << CAP_SETGID);
  const std::uint32_t raise = data[0].permitted & wanted & ~data[0].effective;
  if (raise == 0) return;
  data[0].effective |= raise;
  ::syscall(SYS_capset, &header, data);
}

// ---- Identity of the calling thread -----------------------------------------

// What the thread was before it switched; restored by RevertFileIdentity.
struct TSavedIdentity {
  bool Switched = false;
  uid_t FsUid = 0;
  gid_t FsGid = 0;
  std::vector<gid_t> Groups;
};
thread_local TSavedIdentity tSaved;

// The glibc wrappers of setgroups change every thread of the process; the
// system call changes the calling thread only.
int SetThreadGroups(const std::vector<gid_t>& Groups) {
  return ::syscall(SYS_setgroups, Groups.size(), Groups.empty() ? nullptr : Groups.data()) == 0 ? 0 : errno;
}

std::vector<gid_t> ThreadGroups() {
  const int n = ::getgroups(0, nullptr);
  std::vector<gid_t> groups(n > 0 ? static_cast<std::size_t>(n) : 0);
  if (n > 0 && ::getgroups(n, groups.data()) != n) groups.clear();
  return groups;
}

// setfsuid and setfsgid report the previous id whether or not they changed
// it; asking with an invalid id tells the current one.
uid_t CurrentFsUid() { return static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1))); }
gid_t CurrentFsGid() { return static_cast<gid_t>(::setfsgid(static_cast<gid_t>(-1))); }

int SetThreadIdentity(uid_t Uid, gid_t Gid, const std::vector<gid_t>& Groups) {
  if (int err = SetThreadGroups(Groups)) return err;
  ::setfsgid(Gid);
  if (CurrentFsGid() != Gid) return EPERM;
  ::setfsuid(Uid);
  if (CurrentFsUid() != Uid) return EPERM;
  return 0;
}

// ---- PAM --------------------------------------------------------------------

std::string PamService() {
  std::error_code ec;
  for (const char* dir : {"/etc/pam.d/", "/usr/lib/pam.d/"})
    if (std::filesystem::exists(std::string(dir) + "velkor", ec)) return "velkor";
  return "login";
}

// Answers the password prompt with the password and any other prompt with
// the user name; messages need no answer.
int Converse(int Count, const pam_message** Messages, pam_response** Responses, void* Data) {
  const auto* answers = static_cast<const std::pair<std::string, std::string>*>(Data);
  auto* replies = static_cast<pam_response*>(std::calloc(static_cast<std::size_t>(Count), sizeof(pam_response)));
  if (replies == nullptr) return PAM_BUF_ERR;
  for (int i = 0; i < Count; ++i) {
    const int style = Messages[i]->msg_style;
    if (style == PAM_PROMPT_ECHO_OFF)
      replies[i].resp = ::strdup(answers->second.c_str());
    else if (style == PAM_PROMPT_ECHO_ON)
      replies[i].resp = ::strdup(answers->first.c_str());
  }
  *Responses = replies;
  return PAM_SUCCESS;
}

// The jury is answered at once: no pause after a wrong password.
void NoFailDelay(int, unsigned, void*) {}

// What the logon child reports.
struct TLogonReport {
  int Errno = 0;  // the switch to the super-user failed
  int PamCode = PAM_SUCCESS;
};

// Runs in the child: the whole PAM transaction, as the super-user.
TLogonReport AuthenticateAsSuperUser(const std::string& User, const std::string& Password) {
  TLogonReport report;
  RaiseIdentityCapabilities();
  if (::geteuid() != 0 && ::setresuid(0, 0, 0) != 0) {
    report.Errno = errno;
    return report;
  }
  const std::pair<std::string, std::string> answers(User, Password);
  const pam_conv conversation{Converse, const_cast<std::pair<std::string, std::string>*>(&answers)};
  pam_handle_t* pamh = nullptr;
  int r = ::pam_start(PamService().c_str(), User.c_str(), &conversation, &pamh);
  if (r == PAM_SUCCESS) {
    ::pam_set_item(pamh, PAM_FAIL_DELAY, reinterpret_cast<const void*>(&NoFailDelay));
    r = ::pam_authenticate(pamh, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    if (r == PAM_SUCCESS) r = ::pam_acct_mgmt(pamh, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
  }
  report.PamCode = r;
  if (pamh != nullptr) ::pam_end(pamh, r);
  return report;
}

// PAM's verdict as the jury reads it; PAM's own texts are English.
std::string PamFailureText(int PamCode) {
  switch (PamCode) {
    case PAM_AUTH_ERR: return "Sai tên tài khoản hoặc mật mã.";
    case PAM_USER_UNKNOWN: return "Máy không có tài khoản này.";
    case PAM_MAXTRIES: return "Đã thử quá số lần cho phép.";
    case PAM_ACCT_EXPIRED: return "Tài khoản đã hết hạn.";
    case PAM_NEW_AUTHTOK_REQD:
    case PAM_AUTHTOK_EXPIRED: return "Mật mã của tài khoản đã hết hạn, cần đặt mật mã mới.";
    case PAM_PERM_DENIED: return "Tài khoản không được phép đăng nhập.";
    case PAM_AUTHINFO_UNAVAIL: return "Không lấy được thông tin xác thực của tài khoản.";
    case PAM_CRED_INSUFFICIENT: return "Không đủ quyền để kiểm tra mật mã.";
    default: return "Hệ thống xác thực (PAM) báo lỗi, mã " + std::to_string(PamCode) + ".";
  }
}

// Whether Fd has something to read (or its end) within TimeoutMs.
bool WaitReadable(int Fd, int TimeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{Fd, POLLIN, 0};
    const int n = ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(0, left.count())));
    if (n > 0) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

// The child keeps the super-user's identity away from Velkor and lets the
// PAM modules do as they please with its state; only the report comes back.
bool Authenticate(const std::string& User, const std::string& Password, std::string& Failure) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    Failure = ErrnoMessage(errno);
    return false;
  }
  UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
  const pid_t pid = ::fork();
  if (pid < 0) {
    Failure = ErrnoMessage(errno);
    return false;
  }
  if (pid == 0) {
    // The check ends itself in time: once it is the super-user, Velkor
    // (without the privilege to signal it) could not stop it.
    ::alarm(static_cast<unsigned>(std::max(1, (LogonCheckTimeoutMs + 999) / 1000)));
    const TLogonReport report = AuthenticateAsSuperUser(User, Password);
    const ssize_t n = ::write(writeEnd.Get(), &report, sizeof report);
    ::_exit(n == static_cast<ssize_t>(sizeof report) ? 0 : 1);
  }
  writeEnd.Reset();
  const bool answered = WaitReadable(readEnd.Get(), LogonCheckTimeoutMs);
  if (!answered) ::kill(pid, SIGKILL);
  TLogonReport report;
  ssize_t n = -1;
  if (answered) {
    do n = ::read(readEnd.Get(), &report, sizeof report);
    while (n < 0 && errno == EINTR);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!answered) {
    Failure = ErrnoMessage(ETIMEDOUT);
    return false;
  }
  if (n != static_cast<ssize_t>(sizeof report)) {
    Failure = ErrnoMessage(EIO);
    return false;
  }
  if (report.Errno != 0) {
    Failure = ErrnoMessage(report.Errno);
    return false;
  }
  if (report.PamCode != PAM_SUCCESS) {
    Failure = PamFailureText(report.PamCode);
    return false;
  }
  return true;
}

bool LookUpIdentity(const std::string& User, TIdentity& Identity) {
  std::vector<char> buffer(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (::getpwnam_r(User.c_str(), &pw, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return false;
  Identity.Uid = found->pw_uid;
  Identity.Gid = found->pw_gid;
  int count = 32;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  while (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0)
    groups.resize(static_cast<std::size_t>(count));
  groups.resize(static_cast<std::size_t>(count));
  Identity.Groups = std::move(groups);
  return true;
}

}  // namespace

bool LogOnAccount(const std::string& User, const std::string& Password, TAccountToken& Token, std::string& Failure) {
  Token = 0;
  Failure.clear();
  if (!Authenticate(User, Password, Failure)) return false;
  TIdentity identity;
  if (!LookUpIdentity(User, identity)) {
    Failure = ErrnoMessage(ENOENT);
    return false;
  }
  // A logon that could not be worked with is no logon: try the switch now.
  const TAccountToken token = AddToken(identity);
  int err = SwitchFileIdentity(token);
  if (err == 0) err = RevertFileIdentity();
  if (err != 0) {
    CloseAccountToken(token);
    Failure = ErrnoMessage(err);
    return false;
  }
  Token = token;
  return true;
}

TAccountToken DuplicateAccountToken(TAccountToken Token) {
  TIdentity identity;
  return FindToken(Token, identity) ? AddToken(std::move(identity)) : 0;
}

void CloseAccountToken(TAccountToken Token) {
  std::lock_guard lock(gTokensMutex);
  gTokens.erase(Token);
}

namespace {

// The kernel makes a process non-dumpable whenever a thread changes its
// file-system identity, and the process runner needs a dumpable Velkor: it
// writes the user-namespace maps of its runs through /proc, and a new run
// briefly shares Velkor's state until its first exec. The process gets its
// former state back after each change; a dumpable Velkor is still out of
// reach of its account's other processes, none of which holds the
// capabilities that Velkor holds (ptrace and /proc/PID/mem require them).
class TKeepDumpable {
 public:
  TKeepDumpable() : FDumpable(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0)) {}
  ~TKeepDumpable() {
    if (FDumpable == 1 && ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 1) ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
  }
  TKeepDumpable(const TKeepDumpable&) = delete;
  TKeepDumpable& operator=(const TKeepDumpable&) = delete;

 private:
  int FDumpable;
};

}  // namespace

int SwitchFileIdentity(TAccountToken Token) {
  TIdentity identity;
  if (!FindToken(Token, identity)) return EBADF;
  TKeepDumpable keepDumpable;
  TSavedIdentity own = tSaved;
  if (!own.Switched) own = {true, CurrentFsUid(), CurrentFsGid(), ThreadGroups()};
  RaiseIdentityCapabilities();
  if (int err = SetThreadIdentity(identity.Uid, identity.Gid, identity.Groups)) {
    // Back to the thread's own identity, which needs no more than it had.
    if (SetThreadIdentity(own.FsUid, own.FsGid, own.Groups) == 0) tSaved = {};
    return err;
  }
  tSaved = std::move(own);
  return 0;
}

int RevertFileIdentity() {
  if (!tSaved.Switched) return 0;
  TKeepDumpable keepDumpable;
  RaiseIdentityCapabilities();
  ::setfsuid(tSaved.FsUid);
  ::setfsgid(tSaved.FsGid);
  int err = SetThreadGroups(tSaved.Groups);
  if (err == 0 && (CurrentFsUid() != tSaved.FsUid || CurrentFsGid() != tSaved.FsGid)) err = EPERM;
  if (err == 0) tSaved = {};
  return err;
}

}  // namespace velkor::platform
