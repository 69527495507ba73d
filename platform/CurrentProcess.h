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

}  // namespace velkor::platform
