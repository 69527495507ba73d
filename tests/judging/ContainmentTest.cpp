// Hostile submissions judged end to end: each is a small C program, compiled
// by the default compiler table and run by the judge engine like any other,
// that tries to reach something it must not (the jury's network, files,
// account, disk, the contest's answers, other contestants' sources, Velkor's
// own files) and prints what it observed on standard output. Each test
// compares that with what a contained run must observe, and looks at the
// machine afterwards for what the program may have changed or left behind.
//
// What the programs aim at (ports, socket names, planted files) is made per
// test process with random names and compiled into their sources as
// #defines. The security mode is off throughout: containment must hold
// without it. Each test judges one small contest once, so the cost is the
// same however the tests are started.
#include "judging/JudgeEngines.h"

#include <arpa/inet.h>
#include <linux/keyctl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/FileUtils.h"
#include "core/SystemInfo.h"
#include "judging/EnvConfig.h"
#include "platform/ControlGroups.h"
#include "platform/Desktops.h"
#include "tests/judging/ContestTree.h"
#include "tests/judging/SumPrograms.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::Exists;
using testing::ReadText;
using testing::TContestTree;
using testing::TempFolder;
using testing::WriteText;
using testing::kSumCpp;
using testing::kSumPas;
using testing::kSumPy;

// ---- Helpers -------------------------------------------------------------------

// A name no other test process (nor a second copy of this one) will choose.
std::string UniqueName() {
  std::random_device rd;
  char text[32];
  std::snprintf(text, sizeof text, "velkor-attack-%08x%08x", rd(), rd());
  return text;
}

// Text as a C string literal.
std::string CString(const std::string& Text) {
  std::string out = "\"";
  for (const char c : Text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// A C source: the #defines (name, replacement text), then the parts.
std::string CSource(const std::vector<std::pair<std::string, std::string>>& Defines,
                    std::initializer_list<const char*> Parts) {
  std::string text;
  for (const auto& [name, value] : Defines) text += "#define " + name + " " + value + "\n";
  for (const char* part : Parts) text += part;
  return text;
}

// Removes what a test planted or what a program may have left on the
// machine, however the test ends.
struct TRemoveOnExit {
  std::vector<std::string> Paths;
  ~TRemoveOnExit() {
    std::error_code ec;
    for (const std::string& p : Paths) fs::remove_all(p, ec);
  }
};

// Bytes of the regular files below Folder; links are not followed.
std::uint64_t BytesUnder(const std::string& Folder) {
  std::uint64_t total = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(Folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::error_code fec;
    if (it->is_regular_file(fec) && !it->is_symlink(fec)) total += it->file_size(fec);
  }
  return total;
}

// A socket listening for connections, closed with the object.
class TListener {
 public:
  // On 127.0.0.1, on a port the system chooses.
  static TListener Tcp() {
    TListener l(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    l.FListening = ::bind(l.FFd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(l.FFd, 8) == 0 &&
                   ::getsockname(l.FFd, reinterpret_cast<sockaddr*>(&a), &size) == 0;
    l.FPort = ntohs(a.sin_port);
    return l;
  }
  // On an abstract Unix socket address: no file, the name lives in the
  // network namespace.
  static TListener Abstract(const std::string& Name) {
    TListener l(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path + 1, Name.data(), Name.size());
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + Name.size());
    l.FListening = ::bind(l.FFd, reinterpret_cast<sockaddr*>(&a), size) == 0 && ::listen(l.FFd, 8) == 0;
    return l;
  }
  TListener(TListener&& Other) noexcept
      : FFd(std::exchange(Other.FFd, -1)), FPort(Other.FPort), FListening(Other.FListening) {}
  ~TListener() {
    if (FFd >= 0) ::close(FFd);
  }
  bool Listening() const { return FListening; }
  int Port() const { return FPort; }

 private:
  explicit TListener(int Fd) : FFd(Fd) {}
  int FFd;
  int FPort = 0;
  bool FListening = false;
};

// A TCP port on 127.0.0.1 that nobody listened on a moment ago.
int FreePort() {
  const TListener probe = TListener::Tcp();
  return probe.Listening() ? probe.Port() : 0;
}

// Whether a connection to 127.0.0.1:Port succeeds within Ms milliseconds,
// trying again while nothing listens there yet.
bool ConnectsWithin(int Port, int Ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
  do {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(Port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    if (connected) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the program may not be listening yet
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

// A key in the calling thread's session keyring, one of its own made for
// the test (the runs that thread makes would inherit it); invalidated with
// the object.
class TJurysKey {
 public:
  TJurysKey(const std::string& Description, const std::string& Secret) {
    if (syscall(SYS_keyctl, KEYCTL_JOIN_SESSION_KEYRING, Description.c_str()) < 0) return;
    FId = syscall(SYS_add_key, "user", Description.c_str(), Secret.data(), Secret.size(), KEY_SPEC_SESSION_KEYRING);
  }
  ~TJurysKey() {
    if (FId >= 0) syscall(SYS_keyctl, KEYCTL_INVALIDATE, FId);
  }
  long Id() const { return FId; }
  // Its secret as it is now; "(gone)" once it cannot be read.
  std::string Read() const {
    char text[256];
    const long n = syscall(SYS_keyctl, KEYCTL_READ, FId, text, sizeof text);
    return n < 0 ? "(gone)" : std::string(text, static_cast<std::size_t>(std::min<long>(n, sizeof text)));
  }

 private:
  long FId = -1;
};

// Sets a variable of the judging process for the object's lifetime.
class TPlantedVariable {
 public:
  TPlantedVariable(std::string Name, const std::string& Value) : FName(std::move(Name)) {
    if (const char* before = std::getenv(FName.c_str())) FBefore = before;
    ::setenv(FName.c_str(), Value.c_str(), 1);
  }
  ~TPlantedVariable() {
    if (FBefore) ::setenv(FName.c_str(), FBefore->c_str(), 1);
    else ::unsetenv(FName.c_str());
  }

 private:
  std::string FName;
  std::optional<std::string> FBefore;
};

// ---- Programs ------------------------------------------------------------------

// What the programs below mean by "hidden": the path is missing, or it is
// a folder with nothing in it; nothing of it can be seen either way. A
// folder it cannot list counts as visible.
constexpr const char* kLook = R"C(
#include <dirent.h>
#include <string.h>
#include <sys/stat.h>

static const char* Look(const char* path) {
  struct stat st;
  if (lstat(path, &st) != 0) return "hidden";
  if (!S_ISDIR(st.st_mode)) return "visible";
  DIR* dir = opendir(path);
  if (!dir) return "visible";
  int entries = 0;
  for (struct dirent* e; (e = readdir(dir)) != NULL;)
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) ++entries;
  closedir(dir);
  return entries == 0 ? "hidden" : "visible";
}
)C";

// Reaches for the jury's network: a TCP listener of the jury's on
// 127.0.0.1 (JURY_PORT), an abstract Unix socket of the jury's session
// (JURY_SOCKET), the interfaces it can see (a loopback that is down does
// not count), and a listener of its own (PROGRAM_PORT) that the jury tries
// to reach while the program waits up to two seconds for it.
constexpr const char* kNetworkProbe = R"C(
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

static const char* ReachTcp(int port) {
  struct sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  return fd >= 0 && connect(fd, (struct sockaddr*)&a, sizeof a) == 0 ? "reached" : "unreachable";
}

static const char* ReachAbstract(const char* name) {
  struct sockaddr_un a;
  memset(&a, 0, sizeof a);
  a.sun_family = AF_UNIX;
  memcpy(a.sun_path + 1, name, strlen(name));
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  socklen_t size = offsetof(struct sockaddr_un, sun_path) + 1 + strlen(name);
  return fd >= 0 && connect(fd, (struct sockaddr*)&a, size) == 0 ? "reached" : "unreachable";
}

static void ListInterfaces(void) {
  printf("interfaces:");
  struct if_nameindex* all = if_nameindex();
  int probe = socket(AF_INET, SOCK_DGRAM, 0);
  for (struct if_nameindex* i = all; i && i->if_index != 0; ++i) {
    struct ifreq r;
    memset(&r, 0, sizeof r);
    strncpy(r.ifr_name, i->if_name, IFNAMSIZ - 1);
    int up = probe < 0 || ioctl(probe, SIOCGIFFLAGS, &r) != 0 || (r.ifr_flags & IFF_UP);
    if (strcmp(i->if_name, "lo") == 0 && !up) continue;
    printf(" %s%s", i->if_name, up ? "" : "(down)");
  }
  printf("\n");
}

static const char* AwaitJury(int port) {
  struct sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  int fd = socket(AF_INET, SOCK_STREAM, 0), one = 1;
  if (fd < 0) return "no";
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(fd, (struct sockaddr*)&a, sizeof a) != 0 || listen(fd, 1) != 0) return "no";
  struct pollfd p = {fd, POLLIN, 0};
  return poll(&p, 1, 2000) == 1 && accept(fd, NULL, NULL) >= 0 ? "yes" : "no";
}

int main(void) {
  printf("tcp to the jury: %s\n", ReachTcp(JURY_PORT));
  printf("unix socket of the jury: %s\n", ReachAbstract(JURY_SOCKET));
  ListInterfaces();
  fflush(stdout);
  printf("the jury reached the program: %s\n", AwaitJury(PROGRAM_PORT));
  return 0;
}
)C";

// Looks for the jury's files on the machine, at run time and, through
// __has_include, while it is being compiled: files planted in the jury's
// home (HOME_FILE) and in the machine's /tmp (TMP_FILE), Velkor's own
// temporary folder (VELKOR_TEMP), and the usual places of other accounts'
// and sessions' data. Also reports the HOME and TMPDIR it was given.
constexpr const char* kLookAround = R"C(
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#if __has_include(HOME_FILE)
#define COMPILER_SAW_HOME_FILE "yes"
#else
#define COMPILER_SAW_HOME_FILE "no"
#endif
#if __has_include(TMP_FILE)
#define COMPILER_SAW_TMP_FILE "yes"
#else
#define COMPILER_SAW_TMP_FILE "no"
#endif

static void Show(const char* name) {
  const char* value = getenv(name);
  printf("%s=%s\n", name, value ? value : "(unset)");
}

int main(void) {
  printf("compiler saw the home file: %s\n", COMPILER_SAW_HOME_FILE);
  printf("compiler saw the tmp file: %s\n", COMPILER_SAW_TMP_FILE);
  printf("home file: %s\n", Look(HOME_FILE));
  printf("tmp file: %s\n", Look(TMP_FILE));
  printf("Velkor's temporary folder: %s\n", Look(VELKOR_TEMP));
  printf("/root: %s\n", Look("/root"));
  printf("/run/user: %s\n", Look("/run/user"));
  printf("/tmp/.X11-unix: %s\n", Look("/tmp/.X11-unix"));
  Show("HOME");
  Show("TMPDIR");
  return 0;
}
)C";

// Checks the account it runs as, tries to change a root-owned 0644 file
// (ROOT_FILE) and /etc/passwd, which it opens but never writes, and to read
// /etc/shadow, which only root and the shadow group may.
constexpr const char* kRootProbe = R"C(
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static const char* Write(const char* path, int flags, const char* text) {
  int fd = open(path, O_WRONLY | flags);
  int ok = fd >= 0 && write(fd, text, strlen(text)) == (ssize_t)strlen(text);
  if (fd >= 0) close(fd);
  return ok ? "allowed" : "denied";
}

int main(void) {
  printf("uid: %s\n", getuid() != 0 && geteuid() != 0 ? "not 0" : "0");
  printf("gid: %s\n", getgid() != 0 && getegid() != 0 ? "not 0" : "0");
  int groups = getgroups(0, NULL);
  if (groups == 0)
    printf("supplementary groups: none\n");
  else
    printf("supplementary groups: %d\n", groups);
  printf("write root's file: %s\n", Write(ROOT_FILE, 0, "changed\n"));
  printf("append to root's file: %s\n", Write(ROOT_FILE, O_APPEND, "appended\n"));
  int passwd = open("/etc/passwd", O_WRONLY | O_APPEND);
  printf("open /etc/passwd for writing: %s\n", passwd >= 0 ? "allowed" : "denied");
  if (passwd >= 0) close(passwd);
  int shadow = open("/etc/shadow", O_RDONLY);
  printf("read /etc/shadow: %s\n", shadow >= 0 ? "allowed" : "denied");
  return 0;
}
)C";

// Leaves a file named MARKER in /tmp, /var/tmp and /dev/shm, after saying
// whether an earlier run left one there, and whether it could write it.
constexpr const char* kLeaveMarkers = R"C(
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

static void Probe(const char* dir) {
  char path[4096];
  snprintf(path, sizeof path, "%s/%s", dir, MARKER);
  struct stat st;
  const char* before = lstat(path, &st) == 0 ? "left over" : "clean";
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const char* written = fd >= 0 && write(fd, "x\n", 2) == 2 ? "written" : "not written";
  if (fd >= 0) close(fd);
  printf("%s: %s, %s\n", dir, before, written);
}

int main(void) {
  Probe("/tmp");
  Probe("/var/tmp");
  Probe("/dev/shm");
  return 0;
}
)C";

// Fills the folder TARGET with files of 1 MiB until a write fails, and
// then exits with that failure's errno; exits with 0 after writing FILES of
// them without any failure. Its output could go nowhere once the disk is
// full: the exit code is its report.
constexpr const char* kFillDisk = R"C(
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static char block[1 << 20];

static int Failed(int e) { return e > 0 && e < 100 ? e : 99; }

int main(void) {
  memset(block, 'x', sizeof block);
  if (mkdir(TARGET, 0755) != 0 && errno != EEXIST) return Failed(errno);
  for (int i = 0; i < FILES; ++i) {
    char path[4096];
    snprintf(path, sizeof path, "%s/fill%04d", TARGET, i);
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return Failed(errno);
    for (size_t done = 0; done < sizeof block;) {
      ssize_t w = write(fd, block + done, sizeof block - done);
      if (w <= 0) {
        int e = w < 0 ? errno : ENOSPC;
        close(fd);
        return Failed(e);
      }
      done += (size_t)w;
    }
    if (close(fd) != 0) return Failed(errno);
  }
  puts("wrote everything");
  return 0;
}
)C";

// A contestant after the contest's data: the answer of its own test
// (ANSWER), another contestant's source (OTHER_SOURCE), the tasks and
// contestants folders; at compile time through __has_include, then at run
// time by reading, rewriting and appending.
constexpr const char* kSpy = R"C(
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#if __has_include(ANSWER)
#define COMPILER_SAW_ANSWER "yes"
#else
#define COMPILER_SAW_ANSWER "no"
#endif
#if __has_include(OTHER_SOURCE)
#define COMPILER_SAW_OTHER_SOURCE "yes"
#else
#define COMPILER_SAW_OTHER_SOURCE "no"
#endif

static const char* Read(const char* path) {
  char c;
  int fd = open(path, O_RDONLY);
  int ok = fd >= 0 && read(fd, &c, 1) == 1;
  if (fd >= 0) close(fd);
  return ok ? "allowed" : "denied";
}

static const char* Write(const char* path, int flags, const char* text) {
  int fd = open(path, O_WRONLY | flags);
  int ok = fd >= 0 && write(fd, text, strlen(text)) == (ssize_t)strlen(text);
  if (fd >= 0) close(fd);
  return ok ? "allowed" : "denied";
}

int main(void) {
  printf("compiler saw the answer: %s\n", COMPILER_SAW_ANSWER);
  printf("compiler saw another source: %s\n", COMPILER_SAW_OTHER_SOURCE);
  printf("tasks folder: %s\n", Look(TASKS));
  printf("contestants folder: %s\n", Look(CONTESTANTS));
  printf("read the answer: %s\n", Read(ANSWER));
  printf("rewrite the answer: %s\n", Write(ANSWER, O_TRUNC, "999\n"));
  printf("read another source: %s\n", Read(OTHER_SOURCE));
  printf("append to another source: %s\n", Write(OTHER_SOURCE, O_APPEND, "\n#error planted by another contestant\n"));
  return 0;
}
)C";

// Reaches for the kernel's key store: the jury's key (JURY_KEY, by its
// description in the session keyring it inherits and by its number
// JURY_KEY_ID), a key an earlier run left (LEFT_KEY) in the user keyrings
// of the account it runs as, which outlive a run, and then leaves one there
// itself. Each call is "done", "refused" (ENOSYS: the call is not there) or
// "failed" (the kernel said no).
constexpr const char* kKeysProbe = R"C(
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#define KEY_SPEC_SESSION_KEYRING -3
#define KEY_SPEC_USER_KEYRING -4
#define KEY_SPEC_USER_SESSION_KEYRING -5
#define KEYCTL_SEARCH 10
#define KEYCTL_READ 11
#define KEYCTL_INVALIDATE 21

static const char* Said(long r) { return r >= 0 ? "done" : errno == ENOSYS ? "refused" : "failed"; }

static long Search(long ring, const char* description) {
  return syscall(SYS_keyctl, KEYCTL_SEARCH, ring, "user", description, 0L);
}

static long Leave(long ring) {
  static const char text[] = "left by a contestant";
  return syscall(SYS_add_key, "user", LEFT_KEY, text, sizeof text - 1, ring);
}

// "yes" when the file holds the text, "no" when it does not, "unreadable".
static const char* Listed(const char* path, const char* text) {
  static char content[1 << 16];
  FILE* file = fopen(path, "r");
  if (!file) return "unreadable";
  size_t n = fread(content, 1, sizeof content - 1, file);
  fclose(file);
  content[n] = 0;
  return strstr(content, text) ? "yes" : "no";
}

int main(void) {
  long found = Search(KEY_SPEC_SESSION_KEYRING, JURY_KEY);
  printf("search the session keyring for the jury's key: %s\n", Said(found));
  char payload[256] = {0};
  long id = found >= 0 ? found : JURY_KEY_ID;
  long n = syscall(SYS_keyctl, KEYCTL_READ, id, payload, sizeof payload - 1);
  printf("read the jury's key: %s\n", n >= 0 ? payload : Said(n));
  printf("destroy the jury's key: %s\n", Said(syscall(SYS_keyctl, KEYCTL_INVALIDATE, id)));
  printf("find a key left before: %s, %s\n", Said(Search(KEY_SPEC_USER_KEYRING, LEFT_KEY)),
         Said(Search(KEY_SPEC_USER_SESSION_KEYRING, LEFT_KEY)));
  printf("leave a key: %s, %s\n", Said(Leave(KEY_SPEC_USER_KEYRING)), Said(Leave(KEY_SPEC_USER_SESSION_KEYRING)));
  printf("/proc/keys lists the jury's key: %s\n", Listed("/proc/keys", JURY_KEY));
  return 0;
}
)C";

// Prints its whole environment in name order, and whether its compiler took
// SOURCE_DATE_EPOCH, which the test plants in the judging process as 0.
constexpr const char* kEnvironmentProbe = R"C(
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern char** environ;

static int ByText(const void* a, const void* b) { return strcmp(*(char* const*)a, *(char* const*)b); }

int main(void) {
  size_t n = 0;
  while (environ[n]) ++n;
  qsort(environ, n, sizeof *environ, ByText);
  for (size_t i = 0; i < n; ++i) printf("%s\n", environ[i]);
  printf("compiled on the first day of 1970: %s\n", strcmp(__DATE__, "Jan  1 1970") == 0 ? "yes" : "no");
  return 0;
}
)C";

// Tries kernel interfaces that no judged program needs, and that widen
// what it can attack, then starts a thread and a child as every runtime
// does. Each call is "refused" (ENOSYS: the call is not there) or
// "answered" (the kernel looked at it, whatever it then said).
constexpr const char* kKernelProbe = R"C(
#define _GNU_SOURCE
#include <errno.h>
#include <linux/io_uring.h>
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

static const char* Said(long r) { return r < 0 && errno == ENOSYS ? "refused" : "answered"; }

static void* Thread(void* arg) { return arg; }

int main(void) {
  struct io_uring_params params;
  memset(&params, 0, sizeof params);
  printf("io_uring_setup: %s\n", Said(syscall(SYS_io_uring_setup, 4, &params)));
  printf("bpf: %s\n", Said(syscall(SYS_bpf, 0, NULL, 0)));
  printf("perf_event_open: %s\n", Said(syscall(SYS_perf_event_open, NULL, 0, -1, -1, 0)));
  printf("userfaultfd: %s\n", Said(syscall(SYS_userfaultfd, 0)));
  printf("unshare a user namespace: %s\n", Said(unshare(CLONE_NEWUSER)));
  pthread_t thread;
  printf("a thread: %s\n", pthread_create(&thread, NULL, Thread, NULL) == 0 && pthread_join(thread, NULL) == 0 ? "ran" : "failed");
  pid_t child = fork();
  if (child == 0) _exit(7);
  int status = 0;
  printf("a child: %s\n", child > 0 && waitpid(child, &status, 0) == child && WEXITSTATUS(status) == 7 ? "ran" : "failed");
  return 0;
}
)C";

// Looks for where the jury keeps its contest (HOUSE, and HOUSE_REAL with
// its links resolved) in what a program can learn of where it lies: its own
// name, working folder, file and standard streams, the command line and
// environment of its
// run's init (a copy of the judge), its mount table; then tries to rewrite
// and to delete its own file, which later tests run again.
constexpr const char* kWhereabouts = R"C(
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void Report(const char* what, const char* text) {
  const char* seen = !text ? "unreadable" : strstr(text, HOUSE) || strstr(text, HOUSE_REAL) ? "holds the house" : "clean";
  printf("%s: %s\n", what, seen);
}

// The whole file, NULs as spaces; NULL when it cannot be read.
static char* ReadAll(const char* path) {
  static char text[1 << 20];
  int fd = open(path, O_RDONLY);
  if (fd < 0) return NULL;
  size_t size = 0;
  ssize_t n;
  while (size < sizeof text - 1 && (n = read(fd, text + size, sizeof text - 1 - size)) > 0) size += (size_t)n;
  close(fd);
  if (n < 0) return NULL;
  for (size_t i = 0; i < size; ++i)
    if (text[i] == 0) text[i] = ' ';
  text[size] = 0;
  return text;
}

int main(int argc, char** argv) {
  (void)argc;
  char cwd[4096], exe[4096];
  Report("name", argv[0]);
  Report("working folder", getcwd(cwd, sizeof cwd));
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  exe[n > 0 ? n : 0] = 0;
  Report("own file", n > 0 ? exe : NULL);
  char in[4096], out[4096];
  ssize_t got = readlink("/proc/self/fd/0", in, sizeof in - 1);
  in[got > 0 ? got : 0] = 0;
  Report("standard input", got > 0 ? in : NULL);
  got = readlink("/proc/self/fd/1", out, sizeof out - 1);
  out[got > 0 ? got : 0] = 0;
  Report("standard output", got > 0 ? out : NULL);
  Report("init's command line", ReadAll("/proc/1/cmdline"));
  Report("init's environment", ReadAll("/proc/1/environ"));
  Report("mount table", ReadAll("/proc/self/mountinfo"));
  int own = open(exe, O_WRONLY);
  printf("rewrite own file: %s\n", own >= 0 ? "allowed" : "denied");
  printf("delete own file: %s\n", unlink(exe) == 0 ? "allowed" : "denied");
  return 0;
}
)C";

// Honest C and Java solutions of "SUM" (the others are shared): two numbers
// from standard input, their sum to standard output.
constexpr const char* kSumC =
    "#include <stdio.h>\nint main(void) { long long a, b; if (scanf(\"%lld %lld\", &a, &b) != 2) return 2;"
    " printf(\"%lld\\n\", a + b); return 0; }\n";
constexpr const char* kSumJava = R"(import java.util.Scanner;
public class SUM {
  public static void main(String[] args) {
    Scanner in = new Scanner(System.in);
    System.out.println(in.nextLong() + in.nextLong());
  }
}
)";

// ---- The contest -----------------------------------------------------------------

// Says whether an earlier test left LEFT.TXT in the room, leaves one, spoils
// its own input file, and maps and touches as many MiB of shared memory in
// a child as its input says (the child may be killed for it; the program
// exits 0 however the child ended).
constexpr const char* kLeaveAndTake = R"C(
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

int main(void) {
  char input[64] = {0};
  if (!fgets(input, sizeof input, stdin)) return 1;
  FILE* left = fopen("LEFT.TXT", "r");
  printf("left: %s\n", left ? "yes" : "no");
  if (left) fclose(left);
  if ((left = fopen("LEFT.TXT", "w"))) fclose(left);
  FILE* spoilt = fopen("TAKE.INP", "w");
  if (spoilt) fclose(spoilt);
  long mib = atol(input);
  pid_t child = fork();
  if (child == 0) {
    size_t size = (size_t)mib << 20;
    char* p = mmap(0, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) _exit(7);
    for (size_t i = 0; i < size; i += 4096) p[i] = 1;
    _exit(0);
  }
  waitpid(child, 0, 0);
  printf("input: %ld\n", mib);
  return 0;
}
)C";

// A contestant that sums its input correctly, and leaves in its room what
// should not come back as it is (chosen by a #define): a set-user-ID file
// anyone may write (SETUID), four sparse files of 1000 MiB (SPARSE), a
// 64 MiB file with 60 names (LINKS), REAL_MIB MiB of real data, or a chain
// of DEEP folders.
constexpr const char* kRoomLeftovers = R"C(
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static void Leave(void) {
#if defined(SETUID)
  int fd = open("SUID.bin", O_WRONLY | O_CREAT | O_TRUNC, 0755);
  if (fd >= 0 && write(fd, "#!/bin/sh\n", 10) == 10) close(fd);
  if (chmod("SUID.bin", 06777) != 0) puts("chmod failed");
#elif defined(SPARSE)
  for (int i = 0; i < 4; ++i) {
    char name[32];
    snprintf(name, sizeof name, "sparse%d", i);
    int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || pwrite(fd, "x", 1, ((off_t)1000 << 20) - 1) != 1) puts("sparse failed");
    close(fd);
  }
#elif defined(LINKS)
  static char block[1 << 20];
  memset(block, 'x', sizeof block);
  int fd = open("big", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  for (int i = 0; i < 64; ++i)
    if (write(fd, block, sizeof block) != (ssize_t)sizeof block) puts("write failed");
  close(fd);
  for (int i = 1; i < 60; ++i) {
    char name[32];
    snprintf(name, sizeof name, "link%02d", i);
    if (link("big", name) != 0) puts("link failed");
  }
#elif defined(REAL_MIB)
  static char block[1 << 20];
  memset(block, 'x', sizeof block);
  int fd = open("real", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  for (int i = 0; i < REAL_MIB; ++i)
    if (write(fd, block, sizeof block) != (ssize_t)sizeof block) puts("write failed");
  close(fd);
#elif defined(DEEP)
  for (int i = 0; i < DEEP; ++i)
    if (mkdir("d", 0755) != 0 || chdir("d") != 0) break;
#endif
}

int main(void) {
  long a, b;
  if (scanf("%ld %ld", &a, &b) != 2) return 1;
  Leave();
  printf("%ld\n", a + b);
  return 0;
}
)C";

class JudgeEnvironment {
 public:
  static void Start() {
    static bool started = false;
    if (started) return;
    started = true;
    static const char* argv[] = {"judging_containment_test"};
    SystemInfoInit(1, argv);
    FileUtilsInit();
    EnvConfig = std::make_unique<TEnvConfig>();
    CheckerSet = std::make_unique<TCheckerSet>();
    // Where Velkor finds them too: beside the program.
    LoadCheckers(*CheckerSet, MyDirD + "~Judgers");
    SetRetrySleep([](std::uint32_t) {});
  }
  static inline std::unique_ptr<TCheckerSet> CheckerSet;
};

struct TExamLimits {
  double TimeLimit = 5;       // seconds; room for the Java runtime's start
  double MemoryLimit = 1024;  // MiB
};

// One small contest per test: exams read standard input and write standard
// output, compared line by line with the test's answer; every program's
// output is kept as it was when its test ended.
class ContainedRuns : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { JudgeEnvironment::Start(); }

  void SetUp() override {
    ASSERT_NE(JudgeEnvironment::CheckerSet->Obj("LineByLine.dll"), nullptr) << "no standard checkers beside " << MyDir;
    EnvConfig->ContestHouse = house.Path();
    EnvConfig->ActiveSecurity = false;
  }

  // An exam whose tests are (input, answer) pairs, named "1", "2", ...
  void AddExam(const std::string& Exam, const std::vector<std::pair<std::string, std::string>>& Tests,
               TExamLimits Limits = {}) {
    tree.AddExam(Exam);
    for (std::size_t k = 0; k < Tests.size(); ++k)
      tree.AddTest(Exam, std::to_string(k + 1), {{Exam + ".INP", Tests[k].first}, {Exam + ".OUT", Tests[k].second}});
    limits[Exam] = Limits;
  }

  // Judges the pairs in this order, once.
  void Judge(const std::vector<std::pair<std::string, std::string>>& Pairs) {
    contest.LoadExams(tree.TasksDir());
    contest.LoadContestants(tree.ContestantsDir());
    for (TExamInfo* e : contest.ExamSet()) {
      e->UseStdIn = e->UseStdOut = true;
      e->InputFile = e->Name() + ".INP";
      e->OutputFile = e->Name() + ".OUT";
      e->EvaluatorName = "LineByLine.dll";
      e->TimeLimit = limits[e->Name()].TimeLimit;
      e->MemoryLimit = limits[e->Name()].MemoryLimit;
    }
    TJudgeEngine engine(contest, compilers, *JudgeEnvironment::CheckerSet);
    std::string c, e, t;
    engine.SetOnJudgeNotify([&](TJudgeEngine*, TJudgeAction a, const std::string& C, const std::string& E,
                                const std::string& T, bool&) {
      c = C, e = E, t = T;
      if (a != jaEndJudge || T.empty()) return;
      outputs[Key(C, E, T)] = ReadText(ContestRoom() + "/" + E + ".OUT");
      if (AfterRun) AfterRun(C, E, T);
    });
    engine.SetOnStatusNotify([&](TJudgeEngine*, const std::string& s) {
      statuses.push_back(s);
      if (s == "Chạy bài làm" && WhileRunning) WhileRunning(c, e, t);
    });
    TQueue<TJudgePair> queue;
    for (const auto& [contestant, exam] : Pairs) {
      TJudgePair p;
      MakeJudgePair(contestant, exam, p);
      queue.Push(p);
    }
    finished = engine.Run(queue);
    errorMsg = engine.ErrorMsg;
  }

  static std::string Key(const std::string& C, const std::string& E, const std::string& T) {
    return C + "‣" + E + "‣" + T;
  }
  std::string WorkDir() const { return house.Path() + "/" + kWorkFolderName; }
  std::string ContestRoom() const { return WorkDir() + "/" + kContestRoomName; }
  std::string TestDir(const std::string& Exam, const std::string& Test) const {
    return tree.TasksDir() + "/" + Exam + "/" + Test;
  }

  const TResultE* Result(const std::string& C, const std::string& E) const {
    const TResultC* rc = contest.ResultSet().Obj(C);
    return rc ? rc->Obj(E) : nullptr;
  }
  double Score(const std::string& C, const std::string& E) const {
    const TResultE* re = Result(C, E);
    return re ? re->Evaluation : -1;
  }
  // Every verdict of the pair, for failure messages.
  std::string Verdicts(const std::string& C, const std::string& E) const {
    const TResultE* re = Result(C, E);
    if (!re) return "no result for " + C + "‣" + E + (errorMsg.empty() ? "" : "; the run failed: " + errorMsg);
    std::string texts = "verdicts of " + C + "‣" + E + ":\n" + re->EvaluationText;
    for (const TResultT* rt : *re) texts += "\n" + rt->Name() + ": " + rt->EvaluationText;
    return texts;
  }

  // Each test of Exam's program printed Expected.
  void ExpectObserved(const std::string& C, const std::string& E, const std::string& Expected) const {
    const TExamInfo* exam = contest.ExamSet().Obj(E);
    ASSERT_NE(exam, nullptr);
    for (const TTestInfo* test : *exam) {
      const auto seen = outputs.find(Key(C, E, test->Name()));
      EXPECT_EQ(seen == outputs.end() ? "(the program did not run)" : seen->second, Expected)
          << C << "‣" << E << "‣" << test->Name() << "\n" << Verdicts(C, E);
    }
  }

  void ExpectAnswersAndSourcesOutOfReach();

  TContestTree tree;
  TempFolder house;
  TContestInfo contest;
  TCompilerConfig compilers;
  std::map<std::string, TExamLimits> limits;
  std::map<std::string, std::string> outputs;  // Key(C, E, T) -> standard output
  std::vector<std::string> statuses;           // every status the run gave, in order
  // Called while a program runs (contestant, exam, test), and when its test
  // has ended, before its room is emptied.
  std::function<void(const std::string&, const std::string&, const std::string&)> WhileRunning, AfterRun;
  bool finished = false;
  std::string errorMsg;
};

// ---- Tests -----------------------------------------------------------------------

TEST_F(ContainedRuns, TheJurysNetworkIsOutOfReach) {
  const TListener tcp = TListener::Tcp();
  const std::string socketName = UniqueName();
  const TListener session = TListener::Abstract(socketName);
  ASSERT_TRUE(tcp.Listening() && session.Listening());
  const int programPort = FreePort();
  ASSERT_GT(programPort, 0);

  const std::string safe =
      "tcp to the jury: unreachable\n"
      "unix socket of the jury: unreachable\n"
      "interfaces:\n"
      "the jury reached the program: no\n";
  AddExam("NET", {{"", safe}});
  tree.AddContestant("A", {{"NET.c", CSource({{"JURY_PORT", std::to_string(tcp.Port())},
                                               {"JURY_SOCKET", CString(socketName)},
                                               {"PROGRAM_PORT", std::to_string(programPort)}},
                                              {kNetworkProbe})}});
  bool juryReachedProgram = false;
  WhileRunning = [&](const std::string&, const std::string& E, const std::string&) {
    if (E == "NET") juryReachedProgram = ConnectsWithin(programPort, 2000);
  };
  Judge({{"A", "NET"}});

  ASSERT_TRUE(finished) << errorMsg;
  ExpectObserved("A", "NET", safe);
  EXPECT_FALSE(juryReachedProgram) << "the program's listener on port " << programPort << " was reachable";
  EXPECT_EQ(Score("A", "NET"), 1) << Verdicts("A", "NET");
}

TEST_F(ContainedRuns, TheJurysFilesAreOutOfSight) {
  const char* home = std::getenv("HOME");
  ASSERT_TRUE(home && *home);
  const std::string name = UniqueName();
  const std::string homeFile = std::string(home) + "/" + name + ".h";
  const std::string tmpFile = "/tmp/" + name + ".h";
  TRemoveOnExit planted{{homeFile, tmpFile}};
  WriteText(homeFile, "/* the jury's */\n");
  WriteText(tmpFile, "/* the jury's */\n");

  const std::string safe =
      "compiler saw the home file: no\n"
      "compiler saw the tmp file: no\n"
      "home file: hidden\n"
      "tmp file: hidden\n"
      "Velkor's temporary folder: hidden\n"
      "/root: hidden\n"
      "/run/user: hidden\n"
      "/tmp/.X11-unix: hidden\n"
      "HOME=/tmp\n"
      "TMPDIR=/tmp\n";
  AddExam("LOOK", {{"", safe}});
  tree.AddContestant("A", {{"LOOK.c", CSource({{"HOME_FILE", CString(homeFile)},
                                                {"TMP_FILE", CString(tmpFile)},
                                                {"VELKOR_TEMP", CString(TempDir)}},
                                               {kLook, kLookAround})}});
  Judge({{"A", "LOOK"}});

  ASSERT_TRUE(finished) << errorMsg;
  ExpectObserved("A", "LOOK", safe);
  EXPECT_EQ(Score("A", "LOOK"), 1) << Verdicts("A", "LOOK");
}

// The contest's house (the jury's home folder, by default) is nowhere in
// what a program can learn of where it lies, and it cannot change its own
// file for its later tests; an honest contestant judged after it scores.
TEST_F(ContainedRuns, WhereTheJuryKeepsItsContestIsOutOfSight) {
  const std::string safe =
      "name: clean\n"
      "working folder: clean\n"
      "own file: clean\n"
      "standard input: clean\n"
      "standard output: clean\n"
      "init's command line: unreadable\n"
      "init's environment: unreadable\n"
      "mount table: clean\n"
      "rewrite own file: denied\n"
      "delete own file: denied\n";
  AddExam("WHERE", {{"", safe}, {"", safe}});
  tree.AddContestant("A", {{"WHERE.c", CSource({{"HOUSE", CString(house.Path())},
                                                 {"HOUSE_REAL", CString(fs::canonical(house.Path()).string())}},
                                                {kWhereabouts})}});
  tree.AddContestant("Honest", {{"WHERE.py", "print(\"\"\"" + safe.substr(0, safe.size() - 1) + "\"\"\")\n"}});
  Judge({{"A", "WHERE"}, {"Honest", "WHERE"}});

  ASSERT_TRUE(finished) << errorMsg;
  ExpectObserved("A", "WHERE", safe);
  EXPECT_EQ(Score("A", "WHERE"), 2) << Verdicts("A", "WHERE");
  EXPECT_EQ(Score("Honest", "WHERE"), 2) << Verdicts("Honest", "WHERE");
}

TEST_F(ContainedRuns, ProgramsOfRootRunUnprivileged) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root's programs could run as root";
  TempFolder outside;
  const std::string rootFile = outside / "root-owned.txt";
  WriteText(rootFile, "root's\n");
  ASSERT_EQ(::chown(rootFile.c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod(rootFile.c_str(), 0644), 0);

  const std::string safe =
      "uid: not 0\n"
      "gid: not 0\n"
      "supplementary groups: none\n"
      "write root's file: denied\n"
      "append to root's file: denied\n"
      "open /etc/passwd for writing: denied\n"
      "read /etc/shadow: denied\n";
  AddExam("ROOT", {{"", safe}});
  tree.AddContestant("A", {{"ROOT.c", CSource({{"ROOT_FILE", CString(rootFile)}}, {kRootProbe})}});
  Judge({{"A", "ROOT"}});

  ASSERT_TRUE(finished) << errorMsg;
  ExpectObserved("A", "ROOT", safe);
  EXPECT_EQ(ReadText(rootFile), "root's\n");
}

TEST_F(ContainedRuns, NothingWrittenOutsideTheRoomOutlivesItsRun) {
  const std::string marker = UniqueName();
  const std::vector<std::string> onTheMachine = {"/tmp/" + marker, "/var/tmp/" + marker, "/dev/shm/" + marker};
  TRemoveOnExit left{onTheMachine};

  const std::string safe =
      "/tmp: clean, written\n"
      "/var/tmp: clean, written\n"
      "/dev/shm: clean, written\n";
  AddExam("KEEP", {{"", safe}, {"", safe}});
  const std::string source = CSource({{"MARKER", CString(marker)}}, {kLeaveMarkers});
  tree.AddContestant("A", {{"KEEP.c", source}});
  tree.AddContestant("B", {{"KEEP.c", source}});
  Judge({{"A", "KEEP"}, {"B", "KEEP"}});

  ASSERT_TRUE(finished) << errorMsg;
  // Neither A's second test nor B sees what A's first test left.
  ExpectObserved("A", "KEEP", safe);
  ExpectObserved("B", "KEEP", safe);
  for (const std::string& path : onTheMachine) EXPECT_FALSE(Exists(path)) << path << " is left on the machine";
}

// The tests of a submission follow one another in the same room: nothing of
// one test is the next one's, neither its files nor a kill for memory.
TEST_F(ContainedRuns, EachTestStartsAfresh) {
  const bool memoryGroup = platform::PrepareControlGroups().Memory;
  const std::string small = "left: no\ninput: 1\n";
  AddExam("TAKE", {{"256\n", "left: no\ninput: 256\n"}, {"1\n", small}, {"1\n", small}}, {5, 64});
  tree.AddContestant("A", {{"TAKE.c", kLeaveAndTake}});
  Judge({{"A", "TAKE"}});
  ASSERT_TRUE(finished) << errorMsg;
  const TResultE* re = Result("A", "TAKE");
  ASSERT_NE(re, nullptr);
  // The first test takes four times its limit: the run is killed for it
  // where a memory group counts the run as a whole.
  if (memoryGroup) {
    EXPECT_EQ(re->Obj("1")->Evaluation, 0) << Verdicts("A", "TAKE");
    EXPECT_TRUE(re->Obj("1")->EvaluationText.starts_with("Chạy sinh lỗi")) << Verdicts("A", "TAKE");
  }
  for (const char* test : {"2", "3"}) {
    EXPECT_EQ(outputs[Key("A", "TAKE", test)], small) << test << "\n" << Verdicts("A", "TAKE");
    EXPECT_EQ(re->Obj(test)->Evaluation, 1) << test << "\n" << Verdicts("A", "TAKE");
  }
}

TEST_F(ContainedRuns, WhatARunWritesIsBoundedInTotal) {
  constexpr std::uint64_t kMiB = 1 << 20;
  constexpr std::uint64_t kBound = 1024 * kMiB;  // the default for all a run writes
  constexpr std::uint64_t kSlack = 64 * kMiB;    // the program, its input and output
  constexpr int kFiles = 1024 + 96;              // enough to go past both
  const std::string tmpTarget = "/tmp/" + UniqueName() + ".fill";
  TRemoveOnExit left{{tmpTarget}};

  // A memory limit above the bound: the write bound, not the memory limit
  // (which may count a run's files in memory), is what stops the program.
  AddExam("FILL", {{"", ""}}, {30, 2048});
  for (const auto& [contestant, target] : {std::pair<std::string, std::string>{"Room", "."}, {"Tmp", tmpTarget}}) {
    const std::string source = CSource({{"TARGET", CString(target)}, {"FILES", std::to_string(kFiles)}}, {kFillDisk});
    tree.AddContestant(contestant, {{"FILL.c", source}});
  }
  std::map<std::string, std::uint64_t> roomBytes;
  bool tmpFilledAfterRun = false;
  AfterRun = [&](const std::string& C, const std::string&, const std::string&) {
    roomBytes[C] = BytesUnder(ContestRoom());
    if (C == "Tmp") tmpFilledAfterRun = Exists(tmpTarget);
  };
  Judge({{"Room", "FILL"}, {"Tmp", "FILL"}});

  ASSERT_TRUE(finished) << errorMsg;
  for (const char* c : {"Room", "Tmp"}) {
    SCOPED_TRACE(c);
    const TResultE* re = Result(c, "FILL");
    ASSERT_TRUE(re && re->Obj("1")) << Verdicts(c, "FILL");
    // The write failed with ENOSPC before the program was done: a failed
    // run, as one that wrote a file past the output cap (SIGXFSZ).
    const std::string& verdict = re->Obj("1")->EvaluationText;
    EXPECT_TRUE(verdict.starts_with("Chạy sinh lỗi\r\n") && verdict.ends_with("terminated with exit code: 153"))
        << Verdicts(c, "FILL");
    EXPECT_EQ(re->Evaluation, 0);
    EXPECT_LE(roomBytes[c], kBound + kSlack) << "bytes in the real room when the run had ended";
  }
  EXPECT_FALSE(tmpFilledAfterRun) << tmpTarget << " was on the machine when the run had ended";
  EXPECT_FALSE(Exists(tmpTarget)) << tmpTarget << " is left on the machine";
  EXPECT_FALSE(Exists(WorkDir()));
}

// A set-user-ID file made in the room comes back as a plain one, which no
// local account could run as Velkor's, nor change (nor reach: the work
// folder is closed, JudgeEngineTest).
TEST_F(ContainedRuns, FilesComeBackWithPermissionBitsOnly) {
  AddExam("SUM", {{"1 2\n", "3\n"}});
  tree.AddContestant("Setuid", {{"SUM.c", CSource({{"SETUID", "1"}}, {kRoomLeftovers})}});
  tree.AddContestant("Honest", {{"SUM.c", kSumC}});
  mode_t mode = 0;
  AfterRun = [&](const std::string& C, const std::string&, const std::string&) {
    struct stat st {};
    if (C == "Setuid" && ::lstat((ContestRoom() + "/SUID.bin").c_str(), &st) == 0) mode = st.st_mode;
  };
  Judge({{"Setuid", "SUM"}, {"Honest", "SUM"}});

  ASSERT_TRUE(finished) << errorMsg;
  ASSERT_TRUE(S_ISREG(mode)) << "SUID.bin did not come back";
  EXPECT_EQ(mode & 07777, 0755u) << std::oct << (mode & 07777);
  EXPECT_EQ(Score("Setuid", "SUM"), 1) << Verdicts("Setuid", "SUM");
  EXPECT_EQ(Score("Honest", "SUM"), 1) << Verdicts("Honest", "SUM");
}

// A house on a small memory file system of its own, as a jury's disk with
// little room left.
class SmallHouseRuns : public ContainedRuns {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    ContainedRuns::SetUp();
    smallHouse = house / "small";
    fs::create_directories(smallHouse);
    ASSERT_EQ(::mount("velkor-small-house", smallHouse.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256m,mode=0755"), 0)
        << std::strerror(errno);
    mounted = true;
    EnvConfig->ContestHouse = smallHouse;
  }
  void TearDown() override {
    if (mounted) ::umount2(smallHouse.c_str(), MNT_DETACH);
  }
  std::string smallHouse;
  bool mounted = false;
};

// What a room brings back is bounded by what its run could write: sparse
// files of 1000 MiB apiece or one file under 60 names would fill the
// jury's disk many times over, and 300 MiB of real data, within the run's
// own bound, more than this small house has free. Each fails its own test;
// the judging goes on, and what comes after it is judged as ever.
TEST_F(SmallHouseRuns, ARoomTooLargeToBringBackFailsOnlyItsTest) {
  AddExam("SUM", {{"1 2\n", "3\n"}}, {20, 1024});
  tree.AddContestant("Sparse", {{"SUM.c", CSource({{"SPARSE", "1"}}, {kRoomLeftovers})}});
  tree.AddContestant("Links", {{"SUM.c", CSource({{"LINKS", "1"}}, {kRoomLeftovers})}});
  tree.AddContestant("Real", {{"SUM.c", CSource({{"REAL_MIB", "300"}}, {kRoomLeftovers})}});
  tree.AddContestant("Honest", {{"SUM.c", kSumC}});
  Judge({{"Sparse", "SUM"}, {"Links", "SUM"}, {"Real", "SUM"}, {"Honest", "SUM"}});

  ASSERT_TRUE(finished) << errorMsg;
  const std::pair<const char*, const char*> refused[] = {
      {"Sparse", "quá giới hạn"}, {"Links", "liên kết cứng"}, {"Real", "còn trống"}};
  for (const auto& [contestant, why] : refused) {
    const TResultE* re = Result(contestant, "SUM");
    ASSERT_TRUE(re && re->Obj("1")) << Verdicts(contestant, "SUM");
    const std::string& verdict = re->Obj("1")->EvaluationText;
    EXPECT_TRUE(verdict.starts_with("Chạy sinh lỗi\r\n") && verdict.find(why) != std::string::npos)
        << Verdicts(contestant, "SUM");
    EXPECT_EQ(re->Evaluation, 0);
  }
  EXPECT_EQ(Score("Honest", "SUM"), 1) << Verdicts("Honest", "SUM");
}

// Runs Work on a thread of its own with a stack of Bytes.
void OnSmallStack(std::size_t Bytes, const std::function<void()>& Work) {
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, Bytes), 0);
  pthread_t thread;
  auto call = [](void* work) -> void* {
    (*static_cast<const std::function<void()>*>(work))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, call, const_cast<std::function<void()>*>(&Work)), 0);
  pthread_attr_destroy(&attr);
  pthread_join(thread, nullptr);
}

// A chain of 3,000 folders, which a run's files allow, is refused on its
// way back with a message, and costs Velkor no more stack than a flat room
// does: the judging thread here has 1 MiB.
TEST_F(ContainedRuns, FoldersTooDeepAreRefusedWithoutACrash) {
  AddExam("SUM", {{"1 2\n", "3\n"}});
  tree.AddContestant("Deep", {{"SUM.c", CSource({{"DEEP", "3000"}}, {kRoomLeftovers})}});
  tree.AddContestant("Honest", {{"SUM.c", kSumC}});
  OnSmallStack(std::size_t{1} << 20, [&] { Judge({{"Deep", "SUM"}, {"Honest", "SUM"}}); });

  ASSERT_TRUE(finished) << errorMsg;
  const TResultE* re = Result("Deep", "SUM");
  ASSERT_TRUE(re && re->Obj("1")) << Verdicts("Deep", "SUM");
  EXPECT_TRUE(re->Obj("1")->EvaluationText.starts_with("Chạy sinh lỗi\r\n") &&
              re->Obj("1")->EvaluationText.find("lồng quá 256 cấp") != std::string::npos)
      << Verdicts("Deep", "SUM");
  EXPECT_EQ(re->Evaluation, 0);
  EXPECT_EQ(Score("Honest", "SUM"), 1) << Verdicts("Honest", "SUM");
}

// A spy after the answers and another contestant's source, judged first so
// that what it could change the others would meet; an honest C and a
// Python contestant after it must score full, and nothing may have changed.
void ContainedRuns::ExpectAnswersAndSourcesOutOfReach() {
  AddExam("SUM", {{"1 2\n", "3\n"}, {"10 20\n", "30\n"}});
  const std::string answer = TestDir("SUM", "1") + "/SUM.OUT";
  const std::string otherSource = tree.ContestantsDir() + "/Honest/SUM.c";
  tree.AddContestant("Spy", {{"SUM.c", CSource({{"ANSWER", CString(answer)},
                                                 {"OTHER_SOURCE", CString(otherSource)},
                                                 {"TASKS", CString(tree.TasksDir())},
                                                 {"CONTESTANTS", CString(tree.ContestantsDir())}},
                                                {kLook, kSpy})}});
  tree.AddContestant("Honest", {{"SUM.c", kSumC}});
  tree.AddContestant("Later", {{"SUM.py", kSumPy}});
  Judge({{"Spy", "SUM"}, {"Honest", "SUM"}, {"Later", "SUM"}});

  ASSERT_TRUE(finished) << errorMsg;
  ExpectObserved("Spy", "SUM",
                 "compiler saw the answer: no\n"
                 "compiler saw another source: no\n"
                 "tasks folder: hidden\n"
                 "contestants folder: hidden\n"
                 "read the answer: denied\n"
                 "rewrite the answer: denied\n"
                 "read another source: denied\n"
                 "append to another source: denied\n");
  EXPECT_EQ(ReadText(answer), "3\n");
  EXPECT_EQ(ReadText(TestDir("SUM", "2") + "/SUM.OUT"), "30\n");
  EXPECT_EQ(ReadText(otherSource), kSumC);
  for (const char* c : {"Honest", "Later"}) EXPECT_EQ(Score(c, "SUM"), 2) << Verdicts(c, "SUM");
}

TEST_F(ContainedRuns, AnswersAndOtherSourcesAreOutOfReach) { ExpectAnswersAndSourcesOutOfReach(); }

// A compiler whose installation holds the contest (a jury's "bin" beside
// its tasks and contestants folders) still compiles from its own folder,
// but shows neither the contest to the compile nor to the program.
TEST_F(ContainedRuns, ACompilerInstalledAboveTheContestShowsNoneOfIt) {
  const std::string cc = tree.Path("bin/cc");
  WriteText(cc, "#!/bin/sh\nexec /usr/bin/gcc -o \"$2\" \"$1\"\n");
  fs::permissions(cc, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                          fs::perms::others_read | fs::perms::others_exec);
  compilers.Insert(0, new TCompilerNode(".c", "\"" + cc + "\" \"%NAME%%EXT%\" \"%NAME%.exe\"|@WorkDir=%PATH%"));
  ExpectAnswersAndSourcesOutOfReach();
}

TEST_F(ContainedRuns, VelkorsCaptureFilesCannotBeTurnedAgainstIt) {
  // Where the compile's output is captured, a link to a file of the jury's
  // and a folder wait.
  TempFolder outside;
  const std::string victim = outside / "the-jurys.txt";
  WriteText(victim, "the jury's own\n");
  const std::string out = TempDirD + kCompileOutputName, err = TempDirD + kCompileErrorName;
  TRemoveOnExit planted{{out, err}};
  // Whatever an earlier compile left there makes way for the plants.
  fs::remove_all(out);
  fs::remove_all(err);
  fs::create_symlink(victim, out);
  WriteText(err + "/inside", "x");

  AddExam("SUM", {{"1 2\n", "3\n"}});
  tree.AddContestant("Broken", {{"SUM.c", "int main( { return 0; }\n"}});
  tree.AddContestant("Good", {{"SUM.c", kSumC}});
  Judge({{"Broken", "SUM"}, {"Good", "SUM"}});

  EXPECT_TRUE(finished) << errorMsg;
  EXPECT_EQ(ReadText(victim), "the jury's own\n");
  const TResultE* broken = Result("Broken", "SUM");
  ASSERT_NE(broken, nullptr) << errorMsg;
  EXPECT_EQ(broken->state, jsCompileError) << Verdicts("Broken", "SUM");
  // The compiler's own complaint reached the log, and nothing of the file
  // the link points to.
  EXPECT_NE(broken->EvaluationText.find("error:"), std::string::npos) << Verdicts("Broken", "SUM");
  EXPECT_EQ(broken->EvaluationText.find("the jury's own"), std::string::npos) << Verdicts("Broken", "SUM");
  EXPECT_EQ(Score("Good", "SUM"), 1) << Verdicts("Good", "SUM");
}

// A compiler the jury installed outside the system's folders (under /opt
// or a home folder) is shown to its runs, its whole installation with it,
// and still compiles.
TEST_F(ContainedRuns, ACompilerInstalledElsewhereStillWorks) {
  TempFolder outside;
  const fs::path install = fs::path(outside.Path()) / "opt" / "mycc";
  WriteText((install / "lib/setup.sh").string(), "FLAGS=-O2\n");
  const std::string cc = (install / "bin/cc").string();
  WriteText(cc, "#!/bin/sh\n. \"$(dirname \"$0\")/../lib/setup.sh\" || exit 3\nexec /usr/bin/gcc $FLAGS -o \"$2\" \"$1\"\n");
  for (const fs::path& p : {install, install / "bin", install / "lib", fs::path(cc), install / "lib/setup.sh"})
    fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
  compilers.Insert(0, new TCompilerNode(".c", "\"" + cc + "\" \"%NAME%%EXT%\" \"%NAME%.exe\"|@WorkDir=%PATH%"));
  AddExam("SUM", {{"1 2\n", "3\n"}});
  tree.AddContestant("C", {{"SUM.c", kSumC}});
  Judge({{"C", "SUM"}});

  ASSERT_TRUE(finished) << errorMsg;
  EXPECT_EQ(Score("C", "SUM"), 1) << Verdicts("C", "SUM");
}

// What the machine cannot give the runs (as an unprivileged judge without a
// delegated control group, say) is the first thing a judging run says, in
// Vietnamese; where everything holds it says nothing of it.
TEST_F(ContainedRuns, TheRunFirstSaysWhatTheMachineCannotGive) {
  AddExam("SUM", {{"1 2\n", "3\n"}});
  tree.AddContestant("C", {{"SUM.c", kSumC}});
  Judge({{"C", "SUM"}});
  ASSERT_TRUE(finished) << errorMsg;
  ASSERT_FALSE(statuses.empty());
  const std::string notice = RunLimitationNotice();
  if (platform::RunLimitations().empty()) {
    EXPECT_EQ(notice, "");
    EXPECT_EQ(statuses.front(), "Chép bài...");
  } else {
    EXPECT_TRUE(notice.starts_with("Không bảo đảm được an toàn khi chấm: ")) << notice;
    EXPECT_EQ(statuses.front(), notice);
  }
  EXPECT_EQ(Score("C", "SUM"), 1) << Verdicts("C", "SUM");
}

// The judging process holds a key in its session keyring, as a jury's
// login session may. A program looks for it, reads it and destroys it by
// its number, looks for a key an earlier run left in its account's user
// keyrings, which outlive a run, and leaves one there itself: A, then B,
// then B again in a second judging run. An honest contestant follows.
TEST_F(ContainedRuns, NoKeyPassesIntoOrOutOfARun) {
  const std::string description = UniqueName(), secret = "the jury's secret " + UniqueName();
  const TJurysKey juryKey(description, secret);
  ASSERT_GE(juryKey.Id(), 0) << "cannot make the jury's key: " << std::strerror(errno);
  const std::string safe =
      "search the session keyring for the jury's key: refused\n"
      "read the jury's key: refused\n"
      "destroy the jury's key: refused\n"
      "find a key left before: refused, refused\n"
      "leave a key: refused, refused\n"
      "/proc/keys lists the jury's key: no\n";
  AddExam("KEYS", {{"", safe}});
  AddExam("SUM", {{"1 2\n", "3\n"}});
  const std::string probe = CSource(
      {{"JURY_KEY", CString(description)}, {"JURY_KEY_ID", std::to_string(juryKey.Id())}, {"LEFT_KEY", CString(UniqueName())}},
      {kKeysProbe});
  tree.AddContestant("A", {{"KEYS.c", probe}});
  tree.AddContestant("B", {{"KEYS.c", probe}});
  tree.AddContestant("Honest", {{"SUM.c", kSumC}});
  Judge({{"A", "KEYS"}, {"B", "KEYS"}, {"Honest", "SUM"}});
  ASSERT_TRUE(finished) << errorMsg;
  ExpectObserved("A", "KEYS", safe);
  ExpectObserved("B", "KEYS", safe);
  EXPECT_EQ(Score("Honest", "SUM"), 1) << Verdicts("Honest", "SUM");

  outputs.clear();
  Judge({{"B", "KEYS"}});
  ASSERT_TRUE(finished) << errorMsg;
  ExpectObserved("B", "KEYS", safe);
  EXPECT_EQ(juryKey.Read(), secret);
}

// The judging process's environment holds a variable of the jury's and one
// that changes what the compiler makes (SOURCE_DATE_EPOCH sets __DATE__):
// neither the compiler nor the program gets either.
TEST_F(ContainedRuns, TheJurysEnvironmentStaysOutside) {
  std::string name = "VELKOR_PLANTED_" + UniqueName();
  std::replace(name.begin(), name.end(), '-', '_');
  const TPlantedVariable planted(name, "the jury's");
  const TPlantedVariable epoch("SOURCE_DATE_EPOCH", "0");
  const std::string safe = std::string("HOME=/tmp\nLANG=C.UTF-8\nLC_ALL=C.UTF-8\nPATH=") + platform::kRunPath +
                           "\nTMPDIR=/tmp\ncompiled on the first day of 1970: no\n";
  AddExam("ENV", {{"", safe}});
  AddExam("SUM", {{"1 2\n", "3\n"}});
  tree.AddContestant("A", {{"ENV.c", kEnvironmentProbe}});
  tree.AddContestant("Honest", {{"SUM.py", kSumPy}});
  Judge({{"A", "ENV"}, {"Honest", "SUM"}});
  ASSERT_TRUE(finished) << errorMsg;
  ExpectObserved("A", "ENV", safe);
  EXPECT_EQ(Score("Honest", "SUM"), 1) << Verdicts("Honest", "SUM");
}

// Kernel interfaces no judged program needs are not there for it; threads
// and children still start as every runtime starts them.
TEST_F(ContainedRuns, RiskyKernelInterfacesAreRefused) {
  const std::string safe =
      "io_uring_setup: refused\n"
      "bpf: refused\n"
      "perf_event_open: refused\n"
      "userfaultfd: refused\n"
      "unshare a user namespace: refused\n"
      "a thread: ran\n"
      "a child: ran\n";
  AddExam("KERNEL", {{"", safe}});
  AddExam("SUM", {{"1 2\n", "3\n"}});
  tree.AddContestant("A", {{"KERNEL.c", kKernelProbe}});
  tree.AddContestant("Honest", {{"SUM.cpp", kSumCpp}});
  Judge({{"A", "KERNEL"}, {"Honest", "SUM"}});
  ASSERT_TRUE(finished) << errorMsg;
  ExpectObserved("A", "KERNEL", safe);
  EXPECT_EQ(Score("Honest", "SUM"), 1) << Verdicts("Honest", "SUM");
}

TEST_F(ContainedRuns, HonestProgramsInEveryLanguageScoreFull) {
  AddExam("SUM", {{"1 2\n", "3\n"}, {"-5 5\n", "0\n"}});
  struct Case {
    const char* contestant;
    const char* file;
    const char* text;
  };
  const Case cases[] = {{"C", "SUM.c", kSumC},
                        {"Cpp", "SUM.cpp", kSumCpp},
                        {"Pascal", "SUM.pas", kSumPas},
                        {"Java", "SUM.java", kSumJava},
                        {"Python", "SUM.py", kSumPy}};
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const Case& k : cases) {
    tree.AddContestant(k.contestant, {{k.file, k.text}});
    pairs.emplace_back(k.contestant, "SUM");
  }
  Judge(pairs);

  ASSERT_TRUE(finished) << errorMsg;
  for (const Case& k : cases) {
    const std::string c = k.contestant;
    const TResultE* re = Result(c, "SUM");
    ASSERT_NE(re, nullptr) << c;
    EXPECT_EQ(re->state, jsJudged) << Verdicts(c, "SUM");
    EXPECT_EQ(re->Evaluation, 2) << Verdicts(c, "SUM");
  }
}

// Attack: a program that a runtime runs (Python's script, Java's class: an
// argument of the run, not the file it starts) appends to its own file, and
// a Java one also leaves a class named like one of its inner classes. The
// submission's next test must start from the files the compiler made.
constexpr const char* kSelfRewritingPy = R"(import os
me = os.path.abspath(__file__)
marker = "# left by " + "an earlier test"
left = marker in open(me).read()
try:
    with open(me, "a") as f:
        f.write("\n" + marker + "\n")
except OSError:
    pass
print("left by an earlier test: " + ("yes" if left else "no"))
)";
constexpr const char* kSelfRewritingJava = R"(import java.io.*;
import java.nio.file.*;
public class SELF {
  public static void main(String[] args) throws IOException {
    File left = new File("SELF$Left.class");
    byte[] me = Files.readAllBytes(Paths.get("SELF.class"));
    boolean changed = new String(me, "ISO-8859-1").endsWith("LEFT");
    System.out.println("left by an earlier test: " + (left.exists() || changed ? "yes" : "no"));
    try (FileOutputStream o = new FileOutputStream(left)) { o.write(new byte[] {1, 2, 3}); } catch (IOException e) {}
    try (FileOutputStream o = new FileOutputStream("SELF.class", true)) { o.write("LEFT".getBytes("ISO-8859-1")); } catch (IOException e) {}
  }
}
)";

TEST_F(ContainedRuns, ProgramsARuntimeRunsCannotChangeThemselvesForLaterTests) {
  const std::string fresh = "left by an earlier test: no\n";
  AddExam("SELF", {{"", fresh}, {"", fresh}, {"", fresh}});
  AddExam("SUM", {{"1 2\n", "3\n"}});
  tree.AddContestant("Py", {{"SELF.py", kSelfRewritingPy}});
  tree.AddContestant("Java", {{"SELF.java", kSelfRewritingJava}});
  tree.AddContestant("Honest", {{"SUM.c", kSumC}});
  Judge({{"Py", "SELF"}, {"Java", "SELF"}, {"Honest", "SUM"}});
  ASSERT_TRUE(finished) << errorMsg;
  ExpectObserved("Py", "SELF", fresh);
  ExpectObserved("Java", "SELF", fresh);
  EXPECT_EQ(Score("Honest", "SUM"), 1) << Verdicts("Honest", "SUM");
}

// Attack: the program writes its input through /proc/self/fd/0 and makes
// its input and output set-user-ID and writable by anyone once its output
// is written (a write would clear the bit). Where the program runs as
// Velkor's own account (an unprivileged Velkor) files on the jury's disk
// handed to it would be its own; its streams must lead to its room's
// copies, whose files come back with permission bits only.
constexpr const char* kStreamsProbe = R"C(
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

int main(void) {
  int fd = open("/proc/self/fd/0", O_WRONLY | O_APPEND);
  if (fd >= 0) write(fd, "9", 1);
  printf("3\n");
  fflush(stdout);
  // Last: a write to a file takes its set-user-ID bit away.
  fchmod(0, 06777);
  fchmod(1, 06777);
  return 0;
}
)C";

TEST_F(ContainedRuns, TheFilesOfTheRedirectedStreamsStayTheJurys) {
  AddExam("STREAM", {{"1\n", "3\n"}});
  AddExam("SUM", {{"1 2\n", "3\n"}});
  tree.AddContestant("A", {{"STREAM.c", kStreamsProbe}});
  tree.AddContestant("Honest", {{"SUM.c", kSumC}});
  std::map<std::string, mode_t> modes;
  AfterRun = [&](const std::string& C, const std::string&, const std::string&) {
    if (C != "A") return;
    for (const char* name : {"STREAM.INP", "STREAM.OUT"}) {
      struct stat st {};
      modes[name] = ::stat((ContestRoom() + "/" + name).c_str(), &st) == 0 ? st.st_mode : 0;
    }
  };
  Judge({{"A", "STREAM"}, {"Honest", "SUM"}});
  ASSERT_TRUE(finished) << errorMsg;
  for (const auto& [name, mode] : modes) {
    EXPECT_NE(mode, 0u) << name << " did not come back";
    EXPECT_EQ(mode & 07022, 0u) << name << ": " << std::oct << mode;
  }
  EXPECT_EQ(ReadText(TestDir("STREAM", "1") + "/STREAM.INP"), "1\n");
  EXPECT_EQ(Score("A", "STREAM"), 1) << Verdicts("A", "STREAM");
  EXPECT_EQ(Score("Honest", "SUM"), 1) << Verdicts("Honest", "SUM");
}

}  // namespace
}  // namespace velkor
