// The separate desktop of the contestants' programs.
//
// Programs that Velkor starts must not reach the jury's screen or session,
// nor learn anything else from the jury's environment: they get a small,
// fixed environment of their own, whatever Velkor was started with. There
// is no window station to create; the desktop is this environment.
#pragma once

#include <string>
#include <vector>

namespace velkor::platform {

// The search path of every program Velkor starts.
inline constexpr const char* kRunPath = "/usr/local/bin:/usr/bin:/bin";

// The environment ("NAME=value" entries) of every program Velkor starts,
// compilers included: PATH (kRunPath), HOME and TMPDIR (/tmp, the run's
// own), LANG and LC_ALL (C.UTF-8, which the C library always has). That is
// all the compilers and runtimes of the default table need (g++, gcc and
// fpc find their assembler and linker on PATH, javac, java and python3
// nothing more); nothing of the jury's own environment reaches a run: no
// display or session bus, and no variable that changes what a compiler or
// runtime does (CPATH, LD_PRELOAD, PYTHONPATH, JAVA_TOOL_OPTIONS, ...).
std::vector<std::string> RunEnvironment();

}  // namespace velkor::platform
