// The system calls a run's programs may not make.
//
// Every program Velkor starts (compilers and judged programs alike) runs
// under one seccomp filter, made here with libseccomp once per process and
// installed by the run's own process just before its exec (RunInit.cpp,
// which calls no library function: it only hands the finished program to
// the kernel). What the filter refuses fails with ENOSYS, as on a kernel
// without the call, so that runtimes that probe for a call fall back
// instead of dying:
//   - the kernel's key store (add_key, keyctl, request_key): keys of the
//     jury's session and of the run account outlive a run and would pass
//     secrets between contestants;
//   - kernel interfaces no judged program needs and that widen what a
//     program can attack: io_uring, bpf, perf_event_open, userfaultfd,
//     loading modules or kernels;
//   - new namespaces (unshare, setns, clone with a CLONE_NEW* flag, and
//     clone3, whose flags a filter cannot read): in a user namespace of its
//     own a program would hold every capability again;
//   - what only a privileged process may do (mounting, the clock, swap,
//     rebooting, raw ports), refused outright rather than left to the
//     missing capabilities.
// Tracing stays: a leak checker built into a program traces its own
// threads, and a run's processes can reach no process but the run's own.
// The filter covers the x86-64, i386 and x32 calling conventions alike.
#pragma once

#include <linux/filter.h>

#include <string>

namespace velkor::platform {

struct RunSyscallFilter {
  // The filter to install; null when this machine cannot have it.
  const sock_fprog* Program = nullptr;
  // Why not, when Program is null.
  std::string Problem;
};

// Built on the first call; the program stays valid for the life of the
// process. Safe to call from several threads.
const RunSyscallFilter& PrepareRunSyscallFilter();

}  // namespace velkor::platform
