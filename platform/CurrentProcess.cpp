#include "platform/CurrentProcess.h"

#include <sched.h>

#include <limits.h>
#include <pwd.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include <fstream>
#include <vector>

namespace velkor::platform {

std::string ExecutablePath() {
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return std::string(buf.data(), static_cast<size_t>(n));
}

bool DebuggerAttached() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("TracerPid:", 0) == 0) return std::stol(line.substr(10)) != 0;
  return false;
}

bool CurrentUserAndHost(std::string& user, std::string& host) {
  user.clear();
  host.clear();
  // setfsuid with an invalid id changes nothing and returns the current one.
  const uid_t fsuid = static_cast<uid_t>(setfsuid(static_cast<uid_t>(-1)));
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(fsuid, &pw, buf.data(), buf.size(), &found) != 0 || !found) return false;
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return false;
  std::string h(name);
  if (auto dot = h.find('.'); dot != std::string::npos) h.resize(dot);
  user = found->pw_name;
  host = h;
  return true;
}

bool IsPrivileged() { return geteuid() == 0; }

unsigned GetPriorityClass() {
  return sched_getscheduler(0) == SCHED_BATCH ? BELOW_NORMAL_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS;
}

bool SetPriorityClass(unsigned PriorityClass) {
  const sched_param param{};
  const int policy = PriorityClass == BELOW_NORMAL_PRIORITY_CLASS ? SCHED_BATCH : SCHED_OTHER;
  return sched_setscheduler(0, policy, &param) == 0;
}

}  // namespace velkor::platform
