#include "platform/SyscallFilter.h"

#include <linux/seccomp.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/UniqueFd.h"
#include "platform/SystemErrors.h"

namespace velkor::platform {
namespace {

// What a refused call answers.
constexpr int kRefusal = ENOSYS;

// Refused with any arguments. Names libseccomp does not know for an
// architecture are left out there (kexec_file_load has no i386 number).
constexpr std::string_view kRefused[] = {
    // the kernel's key store
    "add_key", "keyctl", "request_key",
    // kernel interfaces a judged program never needs
    "io_uring_setup", "io_uring_enter", "io_uring_register", "bpf", "perf_event_open", "userfaultfd",
    "kexec_load", "kexec_file_load", "init_module", "finit_module", "delete_module",
    // new namespaces; clone3's flags lie in memory a filter cannot read, and
    // the C library falls back to clone when it is missing
    "unshare", "setns", "clone3",
    // what only a privileged process may do
    "mount", "umount2", "pivot_root", "chroot", "open_tree", "move_mount", "fsopen", "fsconfig", "fsmount",
    "fspick", "mount_setattr", "open_by_handle_at", "swapon", "swapoff", "reboot", "acct", "settimeofday",
    "clock_settime", "clock_adjtime", "adjtimex", "syslog", "quotactl", "iopl", "ioperm", "vhangup",
    "lookup_dcookie", "fanotify_init", "nfsservctl", "uselib",
};

// clone() is refused only with one of these flags.
constexpr std::uint64_t kNamespaceFlags[] = {CLONE_NEWNS,  CLONE_NEWCGROUP, CLONE_NEWUTS, CLONE_NEWIPC,
                                             CLONE_NEWUSER, CLONE_NEWPID,   CLONE_NEWNET};

struct ContextDeleter {
  void operator()(void* ctx) const { seccomp_release(ctx); }
};
using Context = std::unique_ptr<void, ContextDeleter>;

// The architectures a program may call the kernel with on this machine.
constexpr std::uint32_t kOtherArchitectures[] = {SCMP_ARCH_X86, SCMP_ARCH_X32};

// The filter's rules; "" or what could not be done.
std::string AddRules(scmp_filter_ctx ctx) {
  for (const std::uint32_t arch : kOtherArchitectures)
    if (const int r = seccomp_arch_add(ctx, arch); r != 0 && r != -EEXIST)
      return "không thêm được một kiến trúc: " + ErrnoMessage(-r);
  for (const std::string_view name : kRefused) {
    const int nr = seccomp_syscall_resolve_name(std::string(name).c_str());
    if (nr == __NR_SCMP_ERROR) return "không biết lời gọi hệ thống " + std::string(name);
    if (const int r = seccomp_rule_add(ctx, SCMP_ACT_ERRNO(kRefusal), nr, 0); r != 0)
      return "không chặn được " + std::string(name) + ": " + ErrnoMessage(-r);
  }
  for (const std::uint64_t flag : kNamespaceFlags)
    if (const int r =
            seccomp_rule_add(ctx, SCMP_ACT_ERRNO(kRefusal), SCMP_SYS(clone), 1, SCMP_A0(SCMP_CMP_MASKED_EQ, flag, flag));
        r != 0)
      return "không chặn được clone với không gian tên mới: " + ErrnoMessage(-r);
  return "";
}

// The filter as the kernel reads it, through a memory file: this libseccomp
// writes its program only to a descriptor. "" or what could not be done.
std::string Export(scmp_filter_ctx ctx, std::vector<sock_filter>& program) {
  const UniqueFd memory(static_cast<int>(memfd_create("velkor-run-filter", MFD_CLOEXEC)));
  if (!memory.Valid()) return "không tạo được file trong bộ nhớ: " + ErrnoMessage(errno);
  if (const int r = seccomp_export_bpf(ctx, memory.Get()); r != 0)
    return "không xuất được bộ lọc: " + ErrnoMessage(-r);
  struct stat st {};
  if (fstat(memory.Get(), &st) != 0 || st.st_size <= 0 || st.st_size % sizeof(sock_filter) != 0)
    return "bộ lọc xuất ra không gồm trọn các lệnh";
  program.resize(static_cast<std::size_t>(st.st_size) / sizeof(sock_filter));
  if (pread(memory.Get(), program.data(), static_cast<std::size_t>(st.st_size), 0) != st.st_size)
    return "không đọc lại được bộ lọc đã xuất";
  return "";
}

// "" when the kernel runs filters that make a call fail with an errno.
std::string KernelSupport() {
  std::uint32_t action = SECCOMP_RET_ERRNO;
  if (syscall(SYS_seccomp, SECCOMP_GET_ACTION_AVAIL, 0, &action) == 0) return "";
  return "nhân hệ điều hành không có bộ lọc lời gọi hệ thống: " + ErrnoMessage(errno);
}

RunSyscallFilter Build() {
  RunSyscallFilter out;
  if ((out.Problem = KernelSupport()) != "") return out;
  const Context ctx(seccomp_init(SCMP_ACT_ALLOW));
  if (!ctx) {
    out.Problem = "libseccomp cannot make a filter";
    return out;
  }
  // The run sets "no new privileges" itself, before the filter.
  seccomp_attr_set(ctx.get(), SCMP_FLTATR_CTL_NNP, 0);
  // Calls sorted into a tree rather than tried in a row: when a run
  // installs the filter the kernel tries it on every call number once (to
  // let through what is always allowed without running it again), which
  // takes a quarter as long on the tree. Only speed depends on it.
  seccomp_attr_set(ctx.get(), SCMP_FLTATR_CTL_OPTIMIZE, 2);
  static std::vector<sock_filter> program;  // read by every run's process
  if ((out.Problem = AddRules(ctx.get())) != "" || (out.Problem = Export(ctx.get(), program)) != "") return out;
  static sock_fprog fprog;
  fprog.len = static_cast<unsigned short>(program.size());
  fprog.filter = program.data();
  out.Program = &fprog;
  return out;
}

}  // namespace

const RunSyscallFilter& PrepareRunSyscallFilter() {
  static const RunSyscallFilter filter = Build();
  return filter;
}

}  // namespace velkor::platform
