// pid 1 of one contained run, and the program's process until it execs
// (see ProcessJobs.h and RunProtocol.h).
//
// Both run in Velkor's memory while Velkor's threads go on, with the thread
// storage of the thread that made the run. So this file calls no C library
// function: a library call could write that thread's errno, take a lock a
// Velkor thread holds, or resolve a symbol lazily. Every system call is
// made directly, errors come back as negative numbers, and the file is
// compiled without stack protector or builtins (platform/CMakeLists.txt);
// a test checks that its object needs no outside symbol.
#include <asm/unistd.h>
#include <linux/capability.h>
#include <linux/close_range.h>
#include <linux/fcntl.h>
#include <linux/keyctl.h>
#include <linux/mount.h>
#include <linux/prctl.h>
#include <linux/resource.h>
#include <linux/seccomp.h>
#include <linux/securebits.h>
#include <linux/sched.h>
#include <linux/signal.h>
#include <linux/stat.h>
#include <linux/wait.h>
#include <asm/stat.h>

#include "platform/RunProtocol.h"

namespace velkor::platform::run {
namespace {

constexpr long kDetach = 2;  // MNT_DETACH, which no kernel header here defines

#if !defined(__x86_64__)
#error "the run's init makes its system calls for x86-64"
#endif

inline long Sys(long n, long a1 = 0, long a2 = 0, long a3 = 0, long a4 = 0, long a5 = 0) {
  long ret;
  register long r10 asm("r10") = a4;
  register long r8 asm("r8") = a5;
  asm volatile("syscall"
               : "=a"(ret)
               : "a"(n), "D"(a1), "S"(a2), "d"(a3), "r"(r10), "r"(r8)
               : "rcx", "r11", "memory");
  return ret;
}

template <typename T>
inline long P(T* p) {
  return reinterpret_cast<long>(p);
}

// clone() onto a stack of its own; the new process runs Fn(Arg) and exits
// with its result without ever returning here. Returns the new pid or a
// negative errno.
long CloneCall(unsigned long flags, char* stackTop, int (*fn)(void*), void* arg) {
  long ret;
  register long r10 asm("r10") = 0;  // child tid
  register long r8 asm("r8") = 0;    // tls
  register long r12 asm("r12") = P(fn);
  register long r13 asm("r13") = P(arg);
  asm volatile(
      "syscall\n\t"
      "test %%rax, %%rax\n\t"
      "jnz 1f\n\t"
      "xor %%ebp, %%ebp\n\t"
      "mov %%r13, %%rdi\n\t"
      "call *%%r12\n\t"
      "mov %%eax, %%edi\n\t"
      "mov %[exit], %%eax\n\t"
      "syscall\n\t"
      "hlt\n\t"
      "1:\n\t"
      : "=a"(ret)
      : "a"(__NR_clone), "D"(flags), "S"(stackTop), "d"(0L), "r"(r10), "r"(r8), "r"(r12), "r"(r13),
        [exit] "i"(__NR_exit)
      : "rcx", "r11", "memory");
  return ret;
}

unsigned long Length(const char* s) {
  unsigned long n = 0;
  while (s[n]) ++n;
  return n;
}

// Reads or writes a whole record, retried after a signal; false on end of
// file or error.
bool Transfer(long nr, int fd, void* buf, unsigned long size) {
  char* p = static_cast<char*>(buf);
  while (size > 0) {
    const long n = Sys(nr, fd, P(p), static_cast<long>(size));
    if (n == -EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<unsigned long>(n);
  }
  return true;
}

[[noreturn]] void Exit(int code) {
  for (;;) Sys(__NR_exit_group, code);
}

[[noreturn]] void FailStart(StartStage stage, long negErrno) {
  StartReport report{stage, static_cast<std::int32_t>(-negErrno)};
  Transfer(__NR_write, kErrorsFd, &report, sizeof report);
  Exit(127);
}

// 0, or a negative errno.
long WriteFile(const char* path, const char* content) {
  const long fd = Sys(__NR_openat, AT_FDCWD, P(path), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return fd;
  const long size = static_cast<long>(Length(content));
  const long written = Sys(__NR_write, fd, P(content), size);
  Sys(__NR_close, fd);
  return written == size ? 0 : written < 0 ? written : -EIO;
}

// A process may map its own identity into its new user namespace; doing it
// from the inside needs no access to the child from Velkor's side, which
// the kernel refuses while Velkor is not dumpable (started with file
// capabilities, or after an identity switch).
long MapOwnIdentity(const InitPlan& plan) {
  if (!*plan.UidMap) return 0;
  // The files of a process that is not dumpable belong to root, its own
  // map files included. The flag belongs to the memory: only an init with
  // a memory of its own may change it.
  if (plan.OwnMemory) Sys(__NR_prctl, PR_SET_DUMPABLE, 1);
  long r = WriteFile("/proc/self/setgroups", "deny");
  if (r == 0) r = WriteFile("/proc/self/uid_map", plan.UidMap);
  if (r == 0) r = WriteFile("/proc/self/gid_map", plan.GidMap);
  return r;
}

// The new root's own file system: folders, links and the files device
// nodes go over, nothing more.
constexpr const char* kRootOptions = "mode=0755,size=1m,nr_inodes=4096";

// 0, or a negative errno.
long ConfigureScratch(long fsfd, const char* options) {
  // "key=value,key=value": each pair is handed over on its own.
  char pair[128];
  const char* p = options;
  while (*p) {
    unsigned long n = 0;
    while (*p && *p != ',') {
      if (n + 1 >= sizeof pair) return -EINVAL;
      pair[n++] = *p++;
    }
    if (*p == ',') ++p;
    pair[n] = '\0';
    char* value = pair;
    while (*value && *value != '=') ++value;
    if (!*value) return -EINVAL;
    *value++ = '\0';
    if (const long r = Sys(__NR_fsconfig, fsfd, FSCONFIG_SET_STRING, P(pair), P(value), 0); r != 0) return r;
  }
  return Sys(__NR_fsconfig, fsfd, FSCONFIG_CMD_CREATE, 0, 0, 0);
}

// Moves fd to the fixed descriptor target. 0, or a negative errno.
long PlaceAt(long fd, int target) {
  if (fd < 0) return fd;
  if (fd == target) return 0;
  const long r = Sys(__NR_dup3, fd, target, O_CLOEXEC);
  Sys(__NR_close, fd);
  return r < 0 ? r : 0;
}

// The run's scratch file system, made before "go" so that the keeper can
// fill the room: one size-limited file system for everything the run may
// write (its room, /tmp and /var/tmp), gone with the last descriptor of it.
// The room belongs to the account the program runs as. Leaves the room at
// kRoomFd and the file system at kScratchFd. 0, or a negative errno.
long MakeScratch(const InitPlan& plan) {
  const long fsfd = Sys(__NR_fsopen, P("tmpfs"), FSOPEN_CLOEXEC);
  if (fsfd < 0) return fsfd;
  long r = ConfigureScratch(fsfd, plan.ScratchOptions);
  const long mnt = r != 0 ? r : Sys(__NR_fsmount, fsfd, FSMOUNT_CLOEXEC, MOUNT_ATTR_NOSUID | MOUNT_ATTR_NODEV);
  Sys(__NR_close, fsfd);
  if (mnt < 0) return mnt;
  if ((r = PlaceAt(mnt, kScratchFd)) != 0) return r;
  const char* const shared[] = {"tmp", "vartmp"};
  for (const char* folder : shared) {
    if ((r = Sys(__NR_mkdirat, kScratchFd, P(folder), 0)) != 0) return r;
    if ((r = Sys(__NR_fchmodat, kScratchFd, P(folder), 01777)) != 0) return r;
  }
  if ((r = Sys(__NR_mkdirat, kScratchFd, P("room"), 0)) != 0) return r;
  if ((r = Sys(__NR_fchmodat, kScratchFd, P("room"), 0755)) != 0) return r;
  if (plan.RunUid >= 0 && (r = Sys(__NR_fchownat, kScratchFd, P("room"), plan.RunUid, plan.RunGid, 0)) != 0) return r;
  return PlaceAt(Sys(__NR_openat, kScratchFd, P("room"), O_RDONLY | O_DIRECTORY | O_CLOEXEC), kRoomFd);
}

// A copy of the machine's folder (with what is mounted below it) or device
// node, or of a regular file of the run's scratch file system, made
// read-only, nosuid and nodev unless it is a device node. The descriptor,
// or a negative errno.
long TakeTree(const char* path, ViewStepKind kind) {
  const bool folder = kind == kViewTakeTree;
  const bool roomFile = kind == kViewTakeRoomFile;
  // A room file is the copy the keeper made, never a link put in its place;
  // taken from the scratch, its mount shows no path of the machine.
  const long tree = Sys(__NR_open_tree, roomFile ? kScratchFd : AT_FDCWD, P(path),
                        OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC | (folder ? AT_RECURSIVE : 0) |
                            (roomFile ? AT_SYMLINK_NOFOLLOW : 0));
  if (tree < 0 || kind == kViewTakeNode) return tree;
  mount_attr attr{};
  attr.attr_set = MOUNT_ATTR_RDONLY | MOUNT_ATTR_NOSUID | MOUNT_ATTR_NODEV;
  const long r = Sys(__NR_mount_setattr, tree, P(""), AT_EMPTY_PATH | AT_RECURSIVE, P(&attr), sizeof attr);
  if (r != 0) {
    Sys(__NR_close, tree);
    return r;
  }
  return tree;
}

// Makes the new root its own: the machine's goes, and nothing of it can be
// reached again from inside. 0, or a negative errno.
long PivotInto(const char* root) {
  long r = Sys(__NR_chdir, P(root));
  if (r == 0) r = Sys(__NR_pivot_root, P("."), P("."));
  if (r == 0) r = Sys(__NR_umount2, P("."), kDetach);
  if (r == 0) r = Sys(__NR_chdir, P("/"));
  return r;
}

// The kernel's lists of keys and key quotas show every key the reader's
// account may view, the jury's included when the run keeps the jury's
// account: the run's null device (its /dev lies beside its /proc) is shown
// in their place. 0, or a negative errno.
long HideKeyLists(const char* proc) {
  const long folder = Sys(__NR_openat, AT_FDCWD, P(proc), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return folder;
  const char* const lists[] = {"keys", "key-users"};
  long r = 0;
  for (const char* name : lists) {
    const long null = Sys(__NR_open_tree, folder, P("../dev/null"), OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC);
    if (null < 0) {
      r = null;
      break;
    }
    r = Sys(__NR_move_mount, null, P(""), folder, P(name), MOVE_MOUNT_F_EMPTY_PATH);
    Sys(__NR_close, null);
    if (r == -ENOENT) r = 0;  // a kernel without keys lists none
    if (r != 0) break;
  }
  Sys(__NR_close, folder);
  return r;
}

// The run's own /proc, best effort: a machine whose own /proc is partly
// covered refuses a new one to a user namespace; the run then sees an empty
// folder. It lists only the processes the program may trace: its own, not
// the init, which is a copy of Velkor and so shows Velkor's command line
// (the contest's paths) and environment as its own; nor the kernel's key
// lists. 0, or a negative errno.
long MountRunProc(const char* path) {
  if (Sys(__NR_mount, P("proc"), P(path), P("proc"), MS_NOSUID | MS_NODEV | MS_NOEXEC, P("hidepid=invisible")) != 0)
    return 0;
  return HideKeyLists(path);
}

long ViewStepDone(const ViewStep& step, const GoMessage& go, long* trees, int& attached) {
  switch (step.Kind) {
    case kViewTakeTree:
    case kViewTakeNode:
    case kViewTakeRoomFile:
    case kViewEnd: return 0;  // taken before
    case kViewRoot: return Sys(__NR_mount, P("none"), P(step.Path), P("tmpfs"), MS_NOSUID | MS_NODEV, P(kRootOptions));
    case kViewFolder: {
      // Passed through on the way to what is shown, never listed; the mode
      // set as it stands, whatever Velkor's file-creation mask.
      const long r = Sys(__NR_mkdirat, AT_FDCWD, P(step.Path), 0111);
      if (r == -EEXIST) return 0;
      return r != 0 ? r : Sys(__NR_fchmodat, AT_FDCWD, P(step.Path), 0111);
    }
    case kViewFile: {
      const long fd = Sys(__NR_openat, AT_FDCWD, P(step.Path), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      return fd < 0 ? fd : Sys(__NR_close, fd);
    }
    case kViewLink: return Sys(__NR_symlinkat, P(step.Target), AT_FDCWD, P(step.Path));
    case kViewAttach: {
      const long tree = trees[attached++];
      const long r = Sys(__NR_move_mount, tree, P(""), AT_FDCWD, P(step.Path), MOVE_MOUNT_F_EMPTY_PATH);
      Sys(__NR_close, tree);
      trees[attached - 1] = -1;
      return r;
    }
    case kViewScratch: return Sys(__NR_move_mount, kScratchFd, P(""), AT_FDCWD, P(step.Path), MOVE_MOUNT_F_EMPTY_PATH);
    case kViewBind: return Sys(__NR_mount, P(step.Target), P(step.Path), 0, MS_BIND, 0);
    case kViewDevices: {
      const long r = Sys(__NR_mkdirat, AT_FDCWD, P(step.Path), 0755);
      return r != 0 ? r : Sys(__NR_fchmodat, AT_FDCWD, P(step.Path), 0755);
    }
    case kViewProc:
      return MountRunProc(step.Path);
    case kViewShm: return Sys(__NR_mount, P("none"), P(step.Path), P("tmpfs"), MS_NOSUID | MS_NODEV, P(go.ShmOptions));
    case kViewSeal: return Sys(__NR_mount, 0, P(step.Path), 0, MS_REMOUNT | MS_BIND | MS_RDONLY | MS_NOSUID | MS_NODEV, 0);
    case kViewPivot: return PivotInto(step.Path);
    case kViewSkeleton: {
      const long tree = Sys(__NR_open_tree, kSkeletonFd, P(""),
                            OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC | AT_RECURSIVE | AT_EMPTY_PATH);
      if (tree < 0) return tree;
      const long r = Sys(__NR_move_mount, tree, P(""), AT_FDCWD, P(step.Path), MOVE_MOUNT_F_EMPTY_PATH);
      Sys(__NR_close, tree);
      return r;
    }
  }
  return -EINVAL;
}

// Carries out planned steps: the copies of the machine's folders first,
// taken while everything is in place, then the rest in order. 0, or a
// negative errno.
long BuildView(const ViewStep* view, const GoMessage& go) {
  long trees[kMaxTakenTrees];
  int taken = 0;
  long done = 0;
  for (const ViewStep* step = view; step->Kind != kViewEnd && done == 0; ++step) {
    if (step->Kind != kViewTakeTree && step->Kind != kViewTakeNode && step->Kind != kViewTakeRoomFile) continue;
    if (taken == kMaxTakenTrees) done = -E2BIG;
    else if ((trees[taken] = TakeTree(step->Path, step->Kind)) < 0) done = trees[taken];
    else ++taken;
  }
  int attached = 0;
  for (const ViewStep* step = view; step->Kind != kViewEnd && done == 0; ++step)
    done = ViewStepDone(*step, go, trees, attached);
  for (int i = attached; i < taken; ++i) Sys(__NR_close, trees[i]);
  return done;
}

// Opens the regular file on descriptor fd again through a copy of its
// folder that lies in no namespace: Velkor opened it in its own, where the
// kernel names it by its path on the machine (the program's
// /proc/self/fd/1 would lead into the contest house); through the copy it
// is named by its own name alone. Same file, access and offset; a stream
// that cannot be opened so is kept as it is.
void RenameStream(int fd) {
  struct stat before {};
  if (Sys(__NR_fstat, fd, P(&before)) != 0 || !S_ISREG(before.st_mode)) return;
  char link[] = "/proc/self/fd/0";
  link[sizeof link - 2] = static_cast<char>('0' + fd);
  char path[4096];
  const long n = Sys(__NR_readlink, P(link), P(path), sizeof path - 1);
  if (n < 2 || n >= static_cast<long>(sizeof path) - 1 || path[0] != '/') return;
  path[n] = '\0';
  long slash = n - 1;
  while (path[slash] != '/') --slash;
  char root[] = "/";
  const char* folder = slash == 0 ? root : path;
  path[slash] = '\0';
  const long tree = Sys(__NR_open_tree, AT_FDCWD, P(folder), OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC);
  if (tree < 0) return;
  const long access = Sys(__NR_fcntl, fd, F_GETFL) & (O_ACCMODE | O_APPEND);
  const long again = Sys(__NR_openat, tree, P(path + slash + 1), access | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  Sys(__NR_close, tree);
  if (again < 0) return;
  struct stat after {};
  const long offset = Sys(__NR_lseek, fd, 0, SEEK_CUR);
  if (Sys(__NR_fstat, again, P(&after)) == 0 && after.st_dev == before.st_dev && after.st_ino == before.st_ino &&
      offset >= 0 && Sys(__NR_lseek, again, offset, SEEK_SET) == offset)
    Sys(__NR_dup3, again, fd, 0);
  Sys(__NR_close, again);
}

// Nothing mounted in the calling process's mount namespace from here on
// shows outside it. 0, or a negative errno.
long MakeMountsPrivate() { return Sys(__NR_mount, 0, P("/"), 0, MS_REC | MS_PRIVATE, 0); }

// The run's own view of the file system, in its own mount namespace: made
// private first, so nothing mounted here ever shows outside the run. With no
// plan the run keeps the machine's folders and only gets a /proc of its own
// (best effort); otherwise the keeper's plan builds a new root (ProcessJobs.h,
// "the run's view"). 0, or a negative errno when the view could not be made
// as planned.
long MountRunView(const InitPlan& plan, const GoMessage& go) {
  const bool planned = plan.View[0].Kind != kViewEnd;
  if (const long r = MakeMountsPrivate(); r != 0) return planned ? r : 0;
  for (int fd = 0; fd < 3; ++fd) RenameStream(fd);
  if (!planned) {
    MountRunProc("/proc");
    return 0;
  }
  return BuildView(plan.View, go);
}

// Handlers still point into Velkor: all are reset while every signal is
// blocked (the keeper blocked them around clone()). Ignored signals would
// survive the program's exec, so they are reset too.
void ResetSignals() {
  struct {
    unsigned long Handler, Flags, Restorer, Mask;
  } dfl{};  // SIG_DFL
  for (int sig = 1; sig <= 64; ++sig) Sys(__NR_rt_sigaction, sig, P(&dfl), 0, sizeof(unsigned long));
}

void UnblockSignals() {
  const unsigned long none = 0;
  Sys(__NR_rt_sigprocmask, SIG_SETMASK, P(&none), 0, sizeof none);
}

// The plan's descriptors become 0..8 and every other one is closed: the
// init started with a copy of all of Velkor's. 0, or a negative errno.
long ArrangeDescriptors(const InitPlan& plan) {
  long lifted[kSourceFds];
  // Lifted above the targets first, so none is overwritten before use.
  for (int i = 0; i < kSourceFds; ++i) {
    lifted[i] = plan.Sources[i] < 0 ? -1 : Sys(__NR_fcntl, plan.Sources[i], F_DUPFD_CLOEXEC, kInitFds);
    if (plan.Sources[i] >= 0 && lifted[i] < 0) return lifted[i];
  }
  for (int i = 0; i < kSourceFds; ++i) {
    if (lifted[i] < 0) {
      Sys(__NR_close, i);
      continue;
    }
    if (const long r = Sys(__NR_dup2, lifted[i], i); r < 0) return r;
  }
  return Sys(__NR_close_range, kSourceFds, ~0u, 0);
}

// The program gets no capability, whatever account Velkor runs under:
// root's powers (mounting, tracing, raw devices) reach past any namespace,
// and the run's init, which shares Velkor's memory, must not be traceable
// from inside the run. Nothing gives them back: root gains none by exec
// (the locked "no root" bit; the bounding set is emptied where that bit is
// refused), ambient ones cannot be raised, and NO_NEW_PRIVS disables
// set-user-ID programs and file capabilities.
// 0, or a negative errno when the program could still gain capabilities.
long DropCapabilities() {
  constexpr long kNoRoot = SECBIT_NOROOT | SECBIT_NOROOT_LOCKED | SECBIT_NO_CAP_AMBIENT_RAISE |
                           SECBIT_NO_CAP_AMBIENT_RAISE_LOCKED;
  if (const long r = Sys(__NR_prctl, PR_SET_SECUREBITS, kNoRoot); r != 0) {
    long dropped = 0;
    for (long cap = 0; cap <= 63 && dropped == 0; ++cap) dropped = Sys(__NR_prctl, PR_CAPBSET_DROP, cap);
    // Past the last capability the kernel answers EINVAL; anything else
    // means root would get its powers back at exec.
    if (dropped != -EINVAL && (Sys(__NR_getuid) == 0 || Sys(__NR_geteuid) == 0)) return r;
  }
  Sys(__NR_prctl, PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3]{};
  return Sys(__NR_capset, P(&header), P(none));
}

// A private /dev/shm for a run that keeps the machine's folders (only to
// measure what the view costs). 0, or a negative errno.
long MountPrivateShm(const GoMessage& go) {
  const long r = Sys(__NR_mount, P("none"), P("/dev/shm"), P("tmpfs"), MS_NOSUID | MS_NODEV, P(go.ShmOptions));
  return r == -ENOENT ? 0 : r;
}

// Joins the run's control groups: everything the program starts is
// counted from here on. 0, or a negative errno.
long JoinControlGroups() {
  for (int fd = kFirstJoinFd; fd < kNetworkFd; ++fd) {
    const long r = Sys(__NR_write, fd, P("0"), 1);
    if (r == -EBADF) continue;
    if (r != 1) return r < 0 ? r : -EIO;
  }
  return 0;
}

// Applies one limit to both values, never raising the hard one.
void LimitTo(unsigned resource, unsigned long bytes) {
  rlimit current{};
  if (Sys(__NR_getrlimit, resource, P(&current)) != 0) return;
  rlimit next{bytes, bytes};
  if (current.rlim_max < next.rlim_max) next.rlim_max = current.rlim_max;
  if (current.rlim_cur < next.rlim_max) next.rlim_cur = current.rlim_cur;
  else next.rlim_cur = next.rlim_max;
  Sys(__NR_setrlimit, resource, P(&next));
}

// The session keyring of the thread that made the run holds the jury's
// keys, and its account's user keyrings outlive every run: the program gets
// an empty session keyring of its own, made for the account it runs as,
// which goes when its last process does. (The filter then refuses every
// call that reaches a keyring.) 0, or a negative errno; a kernel without
// keys has nothing to hide.
long JoinOwnKeyring() {
  const long r = Sys(__NR_keyctl, KEYCTL_JOIN_SESSION_KEYRING, 0);
  return r >= 0 || r == -ENOSYS ? 0 : r;
}

// The streams the plan names files for, opened in the run's view: the
// run's own copies of its room's files, so that what the program does
// through them (writing its input, changing a file's mode) stays in the run
// and comes back only as the room's files do. 0, or a negative errno.
long OpenStreamFiles(const InitPlan& plan) {
  for (int stream = 0; stream < 3; ++stream) {
    const char* file = plan.StreamFiles[stream];
    if (file == nullptr) continue;
    const long flags = stream == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW;
    const long fd = Sys(__NR_openat, AT_FDCWD, P(file), flags | O_CLOEXEC, 0644);
    if (fd < 0) return fd;
    if (fd == stream) {  // the stream was closed: the file took its place
      if (const long r = Sys(__NR_fcntl, fd, F_SETFD, 0); r < 0) return r;
      continue;
    }
    const long r = Sys(__NR_dup3, fd, stream, 0);
    Sys(__NR_close, fd);
    if (r < 0) return r;
  }
  return 0;
}

struct ProgramStart {
  const InitPlan* Plan;
  GoMessage Go;
};

// The program's process until it execs: the limits, the working folder,
// then the program. It shares the init's memory while the init waits.
int StartProgram(void* arg) {
  const auto& start = *static_cast<const ProgramStart*>(arg);
  const InitPlan& plan = *start.Plan;
  if (const long r = JoinControlGroups(); r != 0) FailStart(kStageInit, r);
  Sys(__NR_prctl, PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
  const rlimit noCore{0, 0};
  Sys(__NR_setrlimit, RLIMIT_CORE, P(&noCore));
  // Writing past it ends the program with SIGXFSZ.
  if (start.Go.FileSizeLimit != 0) LimitTo(RLIMIT_FSIZE, start.Go.FileSizeLimit);
  if (start.Go.AddressSpaceLimit != 0) LimitTo(RLIMIT_AS, start.Go.AddressSpaceLimit);
  // Counted per user and user namespace, and never for root.
  if (start.Go.TaskLimit != 0) LimitTo(RLIMIT_NPROC, start.Go.TaskLimit);
  if (const unsigned long limit = start.Go.ProcessMemoryLimit; limit != 0) {
    const rlimit data{limit, limit};
    Sys(__NR_setrlimit, RLIMIT_DATA, P(&data));
    // The stack is not data: without a hard limit of its own a program
    // could raise its stack limit and recurse past the memory limit.
    LimitTo(RLIMIT_STACK, limit);
  }
  // The judging window lowers the scheduling class of the thread that starts
  // runs; a judged program always starts in the normal class.
  {
    const struct {
      int sched_priority;
    } normal{0};
    Sys(__NR_sched_setscheduler, 0, SCHED_NORMAL, P(&normal));
  }
  if (plan.NiceIncrement != 0) {
    // The system call answers 20 - nice, never an error value for itself.
    const long current = 20 - Sys(__NR_getpriority, PRIO_PROCESS, 0);
    Sys(__NR_setpriority, PRIO_PROCESS, 0, current + plan.NiceIncrement);
  }
  // A missing program is named as such, not as a bad working folder.
  if (const long r = Sys(__NR_faccessat, AT_FDCWD, P(plan.Program), 0 /* F_OK */); r != 0)
    FailStart(kStageExec, r);
  // A root Velkor's programs run as an account of their own, which owns
  // nothing on the machine but the run's room.
  if (plan.RunUid >= 0) {
    long r = Sys(__NR_setgroups, 0, 0);
    if (r == 0) r = Sys(__NR_setresgid, plan.RunGid, plan.RunGid, plan.RunGid);
    if (r == 0) r = Sys(__NR_setresuid, plan.RunUid, plan.RunUid, plan.RunUid);
    if (r != 0) FailStart(kStageInit, r);
  }
  if (plan.OwnKeyring)
    if (const long r = JoinOwnKeyring(); r != 0) FailStart(kStageInit, r);
  if (*plan.WorkingDir)
    if (const long r = Sys(__NR_chdir, P(plan.WorkingDir)); r != 0) FailStart(kStageChdir, r);
  if (const long r = OpenStreamFiles(plan); r != 0) FailStart(kStageExec, r);
  if (const long r = DropCapabilities(); r != 0) FailStart(kStageExec, r);
  // Last: from here on the process may make none of the refused calls.
  if (plan.SyscallFilter)
    if (const long r = Sys(__NR_seccomp, SECCOMP_SET_MODE_FILTER, 0, P(plan.SyscallFilter)); r != 0)
      FailStart(kStageInit, r);
  // The program inherits only its three standard streams: the init holds
  // no descriptor above its own.
  for (int fd = kGoFd; fd < kInitFds; ++fd)
    if (const long r = Sys(__NR_fcntl, fd, F_SETFD, FD_CLOEXEC); r != 0 && r != -EBADF) FailStart(kStageExec, r);
  const long r = Sys(__NR_execve, P(plan.Program), P(plan.Argv), P(plan.Envp));
  FailStart(kStageExec, r);
}

}  // namespace

long MakeViewSkeleton(const ViewStep* steps) {
  // The root is made in no namespace at all, so that a run in any
  // namespace may copy it; everything else is made inside it.
  const long fsfd = Sys(__NR_fsopen, P("tmpfs"), FSOPEN_CLOEXEC);
  if (fsfd < 0) return fsfd;
  long r = ConfigureScratch(fsfd, kRootOptions);
  const long root = r != 0 ? r : Sys(__NR_fsmount, fsfd, FSMOUNT_CLOEXEC, MOUNT_ATTR_NOSUID | MOUNT_ATTR_NODEV);
  Sys(__NR_close, fsfd);
  if (root < 0) return root;
  // A skeleton holds no /dev/shm: the message's options are never read.
  static const GoMessage kNoMessage{};
  r = Sys(__NR_fchdir, root);
  if (r == 0) r = BuildView(steps, kNoMessage);
  if (r == 0) {
    mount_attr attr{};
    attr.attr_set = MOUNT_ATTR_RDONLY | MOUNT_ATTR_NOSUID | MOUNT_ATTR_NODEV;
    r = Sys(__NR_mount_setattr, root, P(""), AT_EMPTY_PATH, P(&attr), sizeof attr);
  }
  if (r == 0) {
    // The copies were taken in the machine's namespace, where they may
    // share what is mounted with the machine's own folders: no mount event
    // may pass between a run and the machine.
    mount_attr attr{};
    attr.propagation = MS_PRIVATE;
    r = Sys(__NR_mount_setattr, root, P(""), AT_EMPTY_PATH | AT_RECURSIVE, P(&attr), sizeof attr);
  }
  if (r != 0) {
    Sys(__NR_close, root);
    return r;
  }
  return root;
}

int RunInit(void* arg) {
  const InitPlan& plan = *static_cast<const InitPlan*>(arg);
  ResetSignals();
  // If the thread that made the run ends, the run ends with it. Should it
  // have ended already, "go" never comes and the init gives up below.
  Sys(__NR_prctl, PR_SET_PDEATHSIG, SIGKILL);
  // No controlling terminal: the jury's terminal is not the program's.
  Sys(__NR_setsid);
  // Failures are reported where the keeper made the channel until the
  // descriptors are arranged.
  int errorsFd = plan.Sources[kErrorsFd];
  long r = MapOwnIdentity(plan);
  if (r == 0 && (r = ArrangeDescriptors(plan)) == 0) errorsFd = kErrorsFd;
  if (r == 0 && *plan.ScratchOptions) r = MakeScratch(plan);
  if (r != 0) {
    StartReport report{kStageInit, static_cast<std::int32_t>(-r)};
    Transfer(__NR_write, errorsFd, &report, sizeof report);
    Exit(127);
  }
  UnblockSignals();

  // The room is ready to be filled; "go" says it has been.
  if (*plan.ScratchOptions) {
    const char ready = 1;
    if (!Transfer(__NR_write, kGoFd, const_cast<char*>(&ready), 1)) Exit(1);
  }
  ProgramStart start{&plan, {}};
  if (!Transfer(__NR_read, kGoFd, &start.Go, sizeof start.Go)) Exit(1);  // the keeper gave up
  Sys(__NR_close, kGoFd);
  Sys(__NR_close, kRoomFd);
  // No route anywhere: an empty network namespace, the keeper's or one of
  // the run's own (made with the run).
  if (plan.Sources[kNetworkFd] >= 0) {
    if (const long r = Sys(__NR_setns, kNetworkFd, CLONE_NEWNET); r != 0) FailStart(kStageInit, r);
    Sys(__NR_close, kNetworkFd);
  }
  if (const long r = MountRunView(plan, start.Go); r != 0) FailStart(kStageInit, r);
  Sys(__NR_close, kScratchFd);
  Sys(__NR_close, kSkeletonFd);
  if (plan.View[0].Kind == kViewEnd)
    if (const long r = MountPrivateShm(start.Go); r != 0) FailStart(kStageInit, r);

  // Like vfork: the init waits until the program has exec'ed or failed.
  const long program =
      CloneCall(CLONE_VM | CLONE_VFORK | SIGCHLD, plan.ProgramStackTop, StartProgram, &start);
  if (program < 0) FailStart(kStageFork, program);
  Sys(__NR_close, kErrorsFd);
  Sys(__NR_close_range, kFirstJoinFd, kInitFds - 1, 0);

  for (;;) {
    int status = 0;
    const long done = Sys(__NR_wait4, -1, P(&status), __WALL, 0);
    if (done == program) {
      Transfer(__NR_write, kStatusFd, &status, sizeof status);
      Exit(0);
    }
    if (done < 0 && done != -EINTR) Exit(2);
  }
}

}  // namespace velkor::platform::run
