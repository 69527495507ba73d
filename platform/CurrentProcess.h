// Facts about the running process and its account.
#pragma once

#include <string>

namespace velkor::platform {

// Absolute path of the running executable ("" when it cannot be read).
std::string ExecutablePath();

// True when a debugger or tracer is attached.
bool DebuggerAttached();

// The account whose identity the calling thread uses for file access (this
// follows impersonation) and the short host name, which stands in for the
// domain of a local account. False, with both emptied, when either is unknown.
bool CurrentUserAndHost(std::string& user, std::string& host);

// True when the process runs with the super-user's effective identity.
bool IsPrivileged();

// The calling thread's priority class. Only the two classes the judging
// window uses exist: below normal is the batch scheduling class, which an
// unprivileged process can leave again (a raised nice value could not be
// lowered back). Programs started by the runner always begin in the normal
// class, whatever the starting thread's class is.
inline constexpr unsigned NORMAL_PRIORITY_CLASS = 0x0020;
inline constexpr unsigned BELOW_NORMAL_PRIORITY_CLASS = 0x4000;
unsigned GetPriorityClass();
// False when the system refused the change.
bool SetPriorityClass(unsigned PriorityClass);

}  // namespace velkor::platform
