// A program for the process-runner tests to start. The first argument picks
// what it does; see Usage below. Exit codes are part of each test's contract.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <grp.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <linux/keyctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Usage() {
  std::fputs(
      "usage: runner_probe exit N | echo | busy | sleep | segv | alloc MIB | grandchild FILE TOKEN\n"
      "       | forkloop TOKEN | escape OUTSIDE_PID... | fds | env | pwd | args ... | limits | proc\n"
      "       | powers | read FILE... | list FOLDER... | unhide FOLDER\n"
      "       | shared MIB | sharedchild MIB | shm MIB | forkcount | flood | cgescape MIB\n"
      "       | cgnest LEVELS [MIB] | sysvshm KEY MIB | look PATH... | scribble | fill FOLDER\n"
      "       | net PORT ABSTRACT_NAME | ids | remount FOLDER | keyring RING DESCRIPTION\n"
      "       | whereabouts ARG...\n",
      stderr);
  return 64;
}

// Copies standard input to standard output and says "err" on standard error.
int Echo() {
  char buf[4096];
  ssize_t n;
  while ((n = read(0, buf, sizeof buf)) > 0)
    if (write(1, buf, static_cast<size_t>(n)) != n) return 1;
  std::fputs("err", stderr);
  return 0;
}

// Allocates and touches MiB mebibytes: 0 when that worked, 7 when an
// allocation failed.
int Alloc(long mib) {
  for (long i = 0; i < mib; ++i) {
    auto* block = static_cast<char*>(std::malloc(1 << 20));
    if (!block) return 7;
    std::memset(block, 1, 1 << 20);
  }
  return 0;
}

// Maps MiB mebibytes of shared anonymous memory and touches them: 0 when
// that worked, 7 when the mapping was refused.
int Shared(long mib) {
  const std::size_t size = static_cast<std::size_t>(mib) << 20;
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return 7;
  for (std::size_t i = 0; i < size; i += 4096) static_cast<volatile char*>(p)[i] = 1;
  return 0;
}

// Does what "shared MIB" does in a child, and exits 0 however the child
// ended.
int SharedChild(long mib) {
  const pid_t child = fork();
  if (child < 0) return 2;
  if (child == 0) _exit(Shared(mib));
  waitpid(child, nullptr, 0);
  return 0;
}

// Writes MiB mebibytes into a POSIX shared-memory file: 0 when that
// worked, 7 when a write failed.
int Shm(long mib) {
  const std::string name = "/dev/shm/runner-probe-" + std::to_string(getpid());
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return 7;
  static char block[1 << 20];
  std::memset(block, 1, sizeof block);
  for (long i = 0; i < mib; ++i)
    if (write(fd, block, sizeof block) != static_cast<ssize_t>(sizeof block)) return 7;
  return 0;
}

// Forks children that wait until the run ends, until a fork fails; prints
// how many it got.
int ForkCount() {
  int children = 0;
  for (;;) {
    const pid_t child = fork();
    if (child < 0) break;
    if (child == 0)
      for (;;) pause();
    ++children;
  }
  std::printf("%d", children);
  return 0;
}

// Writes to standard output without end.
int Flood() {
  static char block[65536];
  std::memset(block, 'x', sizeof block);
  for (;;)
    if (write(1, block, sizeof block) < 0) return 8;
}

// Tries to leave the run's control groups or lift their limits by every
// way a program without capabilities has: the cgroup file systems it can
// see, and one it mounts in a user and cgroup namespace of its own. Then
// does what "shared MIB" does.
void TryToWrite(const std::string& path, const char* text) {
  const int fd = open(path.c_str(), O_WRONLY);
  if (fd < 0) return;
  (void)!write(fd, text, std::strlen(text));
  close(fd);
}

void TryToLeave(const std::string& folder, int depth) {
  TryToWrite(folder + "/cgroup.procs", "0");
  TryToWrite(folder + "/memory.max", "max");
  TryToWrite(folder + "/memory.limit_in_bytes", "-1");
  TryToWrite(folder + "/pids.max", "max");
  mkdir((folder + "/probe-own").c_str(), 0755);
  TryToWrite(folder + "/probe-own/cgroup.procs", "0");
  if (depth == 0) return;
  DIR* d = opendir(folder.c_str());
  if (!d) return;
  while (dirent* e = readdir(d))
    if (e->d_type == DT_DIR && e->d_name[0] != '.') TryToLeave(folder + "/" + e->d_name, depth - 1);
  closedir(d);
}

// Where no run group holds the probe, the groups it made would stay in the
// judge's: it leaves them and removes them, deepest first.
void RemoveOwnGroups(const std::string& root, const std::string& folder) {
  const std::string own = folder + "/probe-own";
  if (access(own.c_str(), F_OK) != 0) return;
  RemoveOwnGroups(root, own);
  TryToWrite(root + "/cgroup.procs", "0");
  rmdir(own.c_str());
}

int CgroupEscape(long mib) {
  TryToLeave("/sys/fs/cgroup", 3);
  RemoveOwnGroups("/sys/fs/cgroup", "/sys/fs/cgroup");
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWCGROUP) == 0) {
    TryToWrite("/proc/self/setgroups", "deny");
    TryToWrite("/proc/self/uid_map", ("0 " + std::to_string(uid) + " 1").c_str());
    TryToWrite("/proc/self/gid_map", ("0 " + std::to_string(gid) + " 1").c_str());
    char folder[] = "/tmp/probe-cgroup-XXXXXX";
    if (mkdtemp(folder)) {
      for (const char* options : {"memory", "pids"})
        if (mount("none", folder, "cgroup", 0, options) == 0) {
          TryToLeave(folder, 2);
          RemoveOwnGroups(folder, folder);
          umount2(folder, MNT_DETACH);
        }
      if (mount("none", folder, "cgroup2", 0, nullptr) == 0) {
        TryToLeave(folder, 2);
        RemoveOwnGroups(folder, folder);
        umount2(folder, MNT_DETACH);
      }
      rmdir(folder);
    }
  }
  return Shared(mib);
}

// Makes a System V shared-memory segment under key, touches MiB mebibytes
// of it and exits 0 without removing it (7 when it was refused).
int SysVShm(long key, long mib) {
  const std::size_t size = static_cast<std::size_t>(mib) << 20;
  const int id = shmget(static_cast<key_t>(key), size, IPC_CREAT | 0600);
  if (id < 0) return 7;
  void* p = shmat(id, nullptr, 0);
  if (p == reinterpret_cast<void*>(-1)) return 7;
  for (std::size_t i = 0; i < size; i += 4096) static_cast<volatile char*>(p)[i] = 1;
  return 0;
}

// Makes control groups of its own, one inside the other as deep as it can
// (names long enough that their whole path outgrows any path buffer), in
// a cgroup file system it mounts in a user and cgroup namespace of its own.
// Prints how deep it got in each hierarchy, then exits 0. With mib, a child
// moved into the deepest memory group does what "shared MIB" does there.
int CgroupNest(long levels, long mib) {
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWCGROUP) != 0) {
    std::printf("no namespace: %s\n", std::strerror(errno));
    return 0;
  }
  TryToWrite("/proc/self/setgroups", "deny");
  TryToWrite("/proc/self/uid_map", ("0 " + std::to_string(uid) + " 1").c_str());
  TryToWrite("/proc/self/gid_map", ("0 " + std::to_string(gid) + " 1").c_str());
  char folder[] = "/tmp/probe-nest-XXXXXX";
  if (!mkdtemp(folder)) return 0;
  const std::string name(200, 'n');
  const struct {
    const char* type;
    const char* options;
  } kinds[] = {{"cgroup", "memory"}, {"cgroup", "pids"}, {"cgroup2", nullptr}};
  for (const auto& kind : kinds) {
    if (mount("none", folder, kind.type, 0, kind.options) != 0) continue;
    const int top = open(folder, O_RDONLY | O_DIRECTORY);
    int at = dup(top), depth = 0;
    while (depth < levels && mkdirat(at, name.c_str(), 0755) == 0) {
      const int next = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY);
      close(at);
      at = next;
      ++depth;
    }
    if (mib > 0 && (!kind.options || std::strcmp(kind.options, "memory") == 0)) {
      const pid_t child = fork();
      if (child == 0) {
        const int procs = openat(at, "cgroup.procs", O_WRONLY);
        if (procs >= 0 && write(procs, "0", 1) == 1) _exit(Shared(mib));
        _exit(3);
      }
      if (child > 0) waitpid(child, nullptr, 0);
    }
    close(at);
    close(top);
    std::printf("%s%s%s: %d\n", kind.type, kind.options ? " " : "", kind.options ? kind.options : "", depth);
    umount2(folder, MNT_DETACH);
  }
  rmdir(folder);
  return 0;
}

// Leaves a grandchild in a session of its own that appends to FILE every
// few milliseconds, then exits 0 at once.
int Grandchild(const char* file) {
  pid_t child = fork();
  if (child < 0) return 2;
  if (child == 0) {
    setsid();
    if (fork() != 0) _exit(0);  // double fork: the writer has no parent left
    for (;;) {
      int fd = open(file, O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (fd >= 0) {
        (void)!write(fd, "x", 1);
        close(fd);
      }
      usleep(5000);
    }
  }
  waitpid(child, nullptr, 0);
  return 0;
}

// Starts a chain that never ends (each process forks its successor and
// exits) and waits for ever beside it.
int ForkLoop() {
  if (fork() != 0)
    for (;;) pause();
  for (;;) {
    pid_t next = fork();
    if (next > 0) _exit(0);
    usleep(1000);
  }
}

// Tries to reach processes outside its run: stops its parent, kills each
// pid given and its process group, and (only when it is pid 2, that is
// contained) kills every process it can see. Exit 0 when no kill of a given
// pid reached a process.
int Escape(int argc, char** argv) {
  kill(getppid(), SIGSTOP);
  int reached = 0;
  for (int i = 2; i < argc; ++i) {
    pid_t pid = static_cast<pid_t>(std::atol(argv[i]));
    if (kill(pid, SIGKILL) == 0) reached |= 2;
    if (kill(-pid, SIGKILL) == 0) reached |= 4;
  }
  if (getpid() == 2) kill(-1, SIGKILL);
  return reached;
}

// 0 when no descriptor above 2 is open.
int Fds() {
  for (int fd = 3; fd < 1024; ++fd)
    if (fcntl(fd, F_GETFD) != -1) return 9;
  return 0;
}

// 0 when nothing leads to the jury's display or session bus.
int Env() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS"})
    if (std::getenv(name)) return 5;
  return 0;
}

int Pwd() {
  char buf[4096];
  if (!getcwd(buf, sizeof buf)) return 1;
  std::printf("%s", buf);
  return 0;
}

int Args(int argc, char** argv) {
  for (int i = 2; i < argc; ++i) std::printf("%s\n", argv[i]);
  return 0;
}

// Prints what a program can learn of where it lies: its name, working
// folder, own file, standard input and output and arguments, its init's
// command line and environment,
// and its mount table ("missing" for a file it cannot read; NULs as
// spaces).
int Whereabouts(int argc, char** argv) {
  char cwd[4096] = "";
  if (!getcwd(cwd, sizeof cwd)) std::strcpy(cwd, "?");
  auto link = [](const char* path) {
    char target[4096];
    const ssize_t n = readlink(path, target, sizeof target);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string("?");
  };
  std::printf("argv0=%s\ncwd=%s\nexe=%s\nstdin=%s\nstdout=%s\n", argv[0], cwd, link("/proc/self/exe").c_str(),
              link("/proc/self/fd/0").c_str(), link("/proc/self/fd/1").c_str());
  for (int i = 2; i < argc; ++i) std::printf("arg=%s\n", argv[i]);
  for (const char* name : {"/proc/1/cmdline", "/proc/1/environ", "/proc/self/mountinfo"}) {
    const int fd = open(name, O_RDONLY | O_CLOEXEC);
    std::string text;
    char buf[4096];
    ssize_t got = 0;
    while (fd >= 0 && (got = read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(got));
    if (fd >= 0) close(fd);
    std::replace(text.begin(), text.end(), '\0', ' ');
    std::printf("%s: %s\n", name, fd < 0 || got < 0 ? "missing" : text.c_str());
  }
  return 0;
}

// Prints the core-file limit, the data limit and the hard stack limit in
// bytes ("inf" for none).
int Limits() {
  rlimit core{}, data{}, stack{};
  getrlimit(RLIMIT_CORE, &core);
  getrlimit(RLIMIT_DATA, &data);
  getrlimit(RLIMIT_STACK, &stack);
  auto show = [](rlim_t v) { return v == RLIM_INFINITY ? std::string("inf") : std::to_string(v); };
  std::printf("core=%s data=%s stack=%s", show(core.rlim_cur).c_str(), show(data.rlim_cur).c_str(),
              show(stack.rlim_max).c_str());
  return 0;
}

// Prints the capability sets the program holds (and could pass on) and which
// of root's powers
// worked: opening the run's init's memory, tracing it, unmounting the run's
// own /proc.
int Powers() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return 1;
  char line[256];
  while (std::fgets(line, sizeof line, status))
    if (std::strncmp(line, "Cap", 3) == 0 && std::strncmp(line, "CapBnd", 6) != 0) std::fputs(line, stdout);
  std::fclose(status);
  const int mem = open("/proc/1/mem", O_RDWR);
  std::printf("mem=%s\n", mem >= 0 ? "open" : "denied");
  std::printf("trace=%s\n", ptrace(PTRACE_ATTACH, 1, nullptr, nullptr) == 0 ? "attached" : "denied");
  std::printf("umount=%s\n", umount2("/proc", MNT_DETACH) == 0 ? "done" : "denied");
  return 0;
}

// Prints each file's contents, or "missing" where it cannot be read, and
// whether a file can be made beside it.
int Read(int argc, char** argv) {
  for (int i = 2; i < argc; ++i) {
    std::FILE* f = std::fopen(argv[i], "r");
    if (!f) {
      std::printf("missing\n");
    } else {
      char buf[256];
      const std::size_t n = std::fread(buf, 1, sizeof buf, f);
      std::fclose(f);
      std::printf("%.*s\n", static_cast<int>(n), buf);
    }
    const std::string beside = std::string(argv[i]) + ".new";
    std::FILE* w = std::fopen(beside.c_str(), "w");
    std::printf("%s\n", w ? "writable" : "read-only");
    if (w) std::fclose(w);
  }
  return 0;
}

// Prints how many entries each folder lists, or why it cannot be listed.
int List(int argc, char** argv) {
  for (int i = 2; i < argc; ++i) {
    DIR* d = opendir(argv[i]);
    if (!d) {
      std::printf("%s\n", errno == EACCES ? "denied" : errno == ENOENT ? "missing" : std::strerror(errno));
      continue;
    }
    int count = 0;
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++count;
    closedir(d);
    std::printf("%d entries\n", count);
  }
  return 0;
}

// Tries to take away what covers a folder from a user and mount namespace
// of its own, where it holds every capability, then lists the folder.
int Unhide(const char* folder) {
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
    std::printf("no namespace: %s\n", std::strerror(errno));
    return 0;
  }
  std::printf("%s\n", umount2(folder, MNT_DETACH) == 0 ? "unhidden" : "locked");
  char* argv[] = {nullptr, nullptr, const_cast<char*>(folder)};
  return List(3, argv);
}

// Prints how many processes /proc shows.
int Proc() {
  DIR* d = opendir("/proc");
  if (!d) return 1;
  int count = 0;
  while (dirent* e = readdir(d))
    if (e->d_name[0] >= '0' && e->d_name[0] <= '9') ++count;
  closedir(d);
  std::printf("%d", count);
  return 0;
}

// For each path: "missing", or "file"/"folder" and whether it can be
// written ("writable": a file opened for appending, a folder taking a new
// entry; both left as they were).
int Look(int argc, char** argv) {
  for (int i = 2; i < argc; ++i) {
    struct stat st {};
    if (stat(argv[i], &st) != 0) {
      std::printf("missing\n");
      continue;
    }
    bool writable;
    if (S_ISDIR(st.st_mode)) {
      const std::string probe = std::string(argv[i]) + "/.probe-write";
      writable = mkdir(probe.c_str(), 0700) == 0;
      if (writable) rmdir(probe.c_str());
    } else {
      const int fd = open(argv[i], O_WRONLY | O_APPEND);
      writable = fd >= 0;
      if (fd >= 0) close(fd);
    }
    std::printf("%s %s\n", S_ISDIR(st.st_mode) ? "folder" : "file", writable ? "writable" : "read-only");
  }
  return 0;
}

// Changes its working folder: "a.txt" rewritten, "b.txt" deleted,
// "new/n.txt" made, and a link, a pipe and a link to a folder left behind.
int Scribble() {
  FILE* a = std::fopen("a.txt", "w");
  if (!a) return 1;
  std::fputs("changed", a);
  std::fclose(a);
  if (unlink("b.txt") != 0 || mkdir("new", 0755) != 0) return 2;
  FILE* n = std::fopen("new/n.txt", "w");
  if (!n) return 3;
  std::fputs("new", n);
  std::fclose(n);
  if (symlink("/etc/passwd", "link") != 0 || mkfifo("pipe", 0644) != 0 || symlink("/", "root") != 0) return 4;
  return 0;
}

// Writes files of 1 MiB into FOLDER until writing fails; prints how many
// were written whole and why the next one failed, and exits with 0 anyway.
int Fill(const char* folder) {
  static char block[1 << 20];
  std::memset(block, 'x', sizeof block);
  int whole = 0;
  for (int i = 0; i < 100000; ++i) {
    const std::string name = std::string(folder) + "/fill" + std::to_string(i);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
      std::printf("%d %s\n", whole, std::strerror(errno));
      return 0;
    }
    const ssize_t n = write(fd, block, sizeof block);
    const int err = errno;
    close(fd);
    if (n != static_cast<ssize_t>(sizeof block)) {
      std::printf("%d %s\n", whole, n < 0 ? std::strerror(err) : "short write");
      return 0;
    }
    ++whole;
  }
  std::printf("%d never failed\n", whole);
  return 0;
}

// Tries the jury's network: a TCP connection to 127.0.0.1:PORT and one to
// the abstract socket NAME; prints "connected" or "unreachable" for each.
int Net(int port, const char* name) {
  const int tcp = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = htons(static_cast<uint16_t>(port));
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::printf("%s\n", tcp >= 0 && connect(tcp, reinterpret_cast<sockaddr*>(&in), sizeof in) == 0 ? "connected" : "unreachable");
  const int local = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  std::strncpy(un.sun_path + 1, name, sizeof un.sun_path - 2);
  const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + std::strlen(name));
  std::printf("%s\n", local >= 0 && connect(local, reinterpret_cast<sockaddr*>(&un), length) == 0 ? "connected" : "unreachable");
  return 0;
}

// Says whether its session keyring is the one numbered RING (the judge's)
// and whether a "user" key described DESCRIPTION can be found from it.
int Keyring(long ring, const char* description) {
  const long own = syscall(SYS_keyctl, KEYCTL_GET_KEYRING_ID, KEY_SPEC_SESSION_KEYRING, 0);
  std::printf("session keyring: %s\n", own == ring ? "the judge's" : own < 0 ? "none" : "its own");
  const long key = syscall(SYS_keyctl, KEYCTL_SEARCH, KEY_SPEC_SESSION_KEYRING, "user", description, 0);
  std::printf("the judge's key: %s\n", key >= 0 ? "found" : "not found");
  return 0;
}

// Prints the user id, the group id and the number of supplementary groups.
int Ids() {
  std::printf("%u %u %d\n", getuid(), getgid(), getgroups(0, nullptr));
  return 0;
}

// From a user and mount namespace of its own, where it holds every
// capability, tries to make a read-only folder writable and write in it.
int Remount(const char* folder) {
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
    std::printf("no namespace: %s\n", std::strerror(errno));
    return 0;
  }
  mount(nullptr, folder, nullptr, MS_REMOUNT | MS_BIND, nullptr);
  const std::string probe = std::string(folder) + "/.probe-write";
  const bool writable = mkdir(probe.c_str(), 0700) == 0;
  std::printf("%s\n", writable ? "writable" : "locked");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string mode = argv[1];
  if (mode == "exit" && argc > 2) return std::atoi(argv[2]);
  if (mode == "echo") return Echo();
  if (mode == "busy") {
    volatile unsigned long spins = 0;
    for (;;) spins = spins + 1;
  }
  if (mode == "sleep") for (;;) pause();
  if (mode == "segv") {
    raise(SIGSEGV);
    return 1;
  }
  if (mode == "alloc" && argc > 2) return Alloc(std::atol(argv[2]));
  if (mode == "grandchild" && argc > 2) return Grandchild(argv[2]);
  if (mode == "forkloop") return ForkLoop();
  if (mode == "escape") return Escape(argc, argv);
  if (mode == "fds") return Fds();
  if (mode == "env") return Env();
  if (mode == "pwd") return Pwd();
  if (mode == "args") return Args(argc, argv);
  if (mode == "whereabouts") return Whereabouts(argc, argv);
  if (mode == "limits") return Limits();
  if (mode == "proc") return Proc();
  if (mode == "powers") return Powers();
  if (mode == "read") return Read(argc, argv);
  if (mode == "list") return List(argc, argv);
  if (mode == "unhide" && argc > 2) return Unhide(argv[2]);
  if (mode == "shared" && argc > 2) return Shared(std::atol(argv[2]));
  if (mode == "sharedchild" && argc > 2) return SharedChild(std::atol(argv[2]));
  if (mode == "shm" && argc > 2) return Shm(std::atol(argv[2]));
  if (mode == "forkcount") return ForkCount();
  if (mode == "flood") return Flood();
  if (mode == "sysvshm" && argc > 3) return SysVShm(std::atol(argv[2]), std::atol(argv[3]));
  if (mode == "cgnest" && argc > 2) return CgroupNest(std::atol(argv[2]), argc > 3 ? std::atol(argv[3]) : 0);
  if (mode == "cgescape" && argc > 2) return CgroupEscape(std::atol(argv[2]));
  if (mode == "look") return Look(argc, argv);
  if (mode == "scribble") return Scribble();
  if (mode == "fill" && argc > 2) return Fill(argv[2]);
  if (mode == "net" && argc > 3) return Net(std::atoi(argv[2]), argv[3]);
  if (mode == "ids") return Ids();
  if (mode == "remount" && argc > 2) return Remount(argv[2]);
  if (mode == "keyring" && argc > 3) return Keyring(std::atol(argv[2]), argv[3]);
  return Usage();
}
