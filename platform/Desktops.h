// The separate desktop of the contestants' programs.
//
// Programs that Velkor starts must not reach the jury's screen or session:
// they get the environment of Velkor without the variables that lead to the
// display server or the session bus. There is no window station to create;
// the desktop is this cleaned environment.
#pragma once

#include <string>
#include <vector>

namespace velkor::platform {

// Velkor's current environment ("NAME=value" entries) without DISPLAY,
// WAYLAND_DISPLAY, WAYLAND_SOCKET, XAUTHORITY and DBUS_SESSION_BUS_ADDRESS.
// Read at each call: the compile step changes PATH between runs.
std::vector<std::string> EnvironmentWithoutDesktop();

}  // namespace velkor::platform
