// velkor-run-init: pid 1 of one contained run (see ProcessJobs.h).
//
// Waits for "go", starts the program with
// its limits, reaps every process of the namespace, and reports the
// program's wait status when it ends. Exiting then ends the whole run: the
// kernel kills whatever is left in the namespace.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <linux/close_range.h>

#include "platform/RunProtocol.h"

using namespace velkor::platform::run;

namespace {

[[noreturn]] void FailStart(StartStage stage, int err) {
  StartReport report{stage, err};
  WriteFull(kErrorsFd, &report, sizeof report);
  _exit(127);
}

// Marks every descriptor above 2 close-on-exec: the program inherits only
// its three standard streams.
void CloseOnExecFrom3() {
  if (syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) == 0) return;
  for (int fd = 3; fd < 65536; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// Runs in the vfork child: shares init's memory until the exec.
[[noreturn]] void StartProgram(char** argv, char** envp, const GoMessage& go) {
  prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
  struct rlimit noCore {0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  if (go.ProcessMemoryLimit != 0) {
    struct rlimit data {go.ProcessMemoryLimit, go.ProcessMemoryLimit};
    setrlimit(RLIMIT_DATA, &data);
  }
  if (const int nice = std::atoi(argv[kArgNice]); nice != 0) {
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, 0);
    if (errno == 0) setpriority(PRIO_PROCESS, 0, current + nice);
  }
  const char* program = argv[kArgProgram];
  // A missing program is named as such, not as a bad working folder.
  if (access(program, F_OK) != 0) FailStart(kStageExec, errno);
  const char* workingDir = argv[kArgWorkingDir];
  if (*workingDir && chdir(workingDir) != 0) FailStart(kStageChdir, errno);
  CloseOnExecFrom3();
  execve(program, argv + kArgProgramArgv, envp);
  FailStart(kStageExec, errno);
}

}  // namespace

int main(int argc, char** argv, char** envp) {
  if (argc <= kArgProgramArgv) return 64;
  // The keeper set the parent-death signal before the exec: if Velkor dies,
  // the run dies with it.
  GoMessage go{};
  if (!ReadFull(kGoFd, &go, sizeof go)) return 1;  // the keeper gave up
  close(kGoFd);

  const pid_t program = vfork();
  if (program == 0) StartProgram(argv, envp, go);
  if (program < 0) FailStart(kStageFork, errno);
  close(kErrorsFd);

  for (;;) {
    int status = 0;
    const pid_t done = waitpid(-1, &status, 0);
    if (done == program) {
      WriteFull(kStatusFd, &status, sizeof status);
      return 0;
    }
    if (done < 0 && errno != EINTR) return 2;
  }
}
