#include "platform/ErrorMode.h"

#include <sys/resource.h>

#include <algorithm>
#include <mutex>

namespace velkor::platform {

namespace {

std::mutex gLock;
std::uint32_t gMode = 0;
// The core size limit the process had before the mode turned it off.
rlim_t gSavedCoreLimit = 0;

}  // namespace

std::uint32_t GetErrorMode() {
  std::lock_guard lock(gLock);
  return gMode;
}

std::uint32_t SetErrorMode(std::uint32_t Mode) {
  std::lock_guard lock(gLock);
  const std::uint32_t previous = gMode;
  const bool wasOff = (previous & SEM_NOGPFAULTERRORBOX) != 0;
  const bool turnOff = (Mode & SEM_NOGPFAULTERRORBOX) != 0;
  rlimit core{};
  if (turnOff != wasOff && getrlimit(RLIMIT_CORE, &core) == 0) {
    if (turnOff) {
      gSavedCoreLimit = core.rlim_cur;
      core.rlim_cur = 0;
    } else {
      // Never above the hard limit, which may have been lowered meanwhile.
      core.rlim_cur = core.rlim_max == RLIM_INFINITY ? gSavedCoreLimit : std::min(gSavedCoreLimit, core.rlim_max);
    }
    setrlimit(RLIMIT_CORE, &core);
  }
  gMode = Mode;
  return previous;
}

}  // namespace velkor::platform
