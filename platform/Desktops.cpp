#include "platform/Desktops.h"

namespace velkor::platform {

std::vector<std::string> RunEnvironment() {
  return {std::string("PATH=") + kRunPath, "HOME=/tmp", "TMPDIR=/tmp", "LANG=C.UTF-8", "LC_ALL=C.UTF-8"};
}

}  // namespace velkor::platform
