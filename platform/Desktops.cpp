#include "platform/Desktops.h"

#include <string_view>
#include <unistd.h>

namespace velkor::platform {
namespace {

bool LeadsToDesktop(std::string_view entry) {
  constexpr std::string_view kNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET",
                                         "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS"};
  const std::string_view name = entry.substr(0, entry.find('='));
  for (std::string_view n : kNames)
    if (name == n) return true;
  return false;
}

}  // namespace

std::vector<std::string> EnvironmentWithoutDesktop() {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e)
    if (!LeadsToDesktop(*e)) env.emplace_back(*e);
  return env;
}

}  // namespace velkor::platform
