// The security account: the logon and the impersonation that the security
// mode wraps around the judge engine's file work.
//
// Theory of operation
// -------------------
// Two local accounts take part:
//
//   A, Velkor's own account   runs Velkor, the compilers, the checkers and
//                             every contestant's program;
//   B, the security account   named by the jury (EnvConfig: AdminUserName,
//                             AdminPassword; AdminDomain is only shown), a
//                             separate Unix user.
//
// SetAdminLogon checks B's password through PAM and keeps a token for it
// (EnvConfig->AdminToken, plus the copy in AdminToken2). SetImpersonation
// switches the calling thread's file-system identity to B and back: Velkor
// copies the submission, moves the compiled program and copies the input
// files as B, while A's real identity, and so every program started, stay
// A. Both need the privilege to switch identity (CAP_SETUID and CAP_SETGID,
// given to Velkor as ambient capabilities by whatever starts it, e.g.
// systemd's AmbientCapabilities= or "setpriv --ambient-caps"; file
// capabilities would make the process non-dumpable, which the process
// runner cannot work with); without it the logon fails. The logon also fails when B is A, and when A is the super-user,
// whom no access list binds: then nothing could be kept from the programs.
// A failed logon tells the jury "Không thể đăng nhập với ..." and switches
// the mode off (also in the saved settings); judging goes on unprotected.
//
// Two walls keep A's programs from the contest. The first holds with the
// mode off as well: every program and compile of a run sees only the
// system's folders and its own room, the contest room for a program, the
// waiting room for a compile, in a root of its own (platform/ProcessJobs.h,
// "the run's view"); the tasks, the contestants, the work folder and
// Velkor's settings are not there at all. Lists alone could not do this: A
// owns the contest folders, and on Linux an owner may always change an
// item's mode and list, whatever the list denies, so a program could open
// the answers for itself; a folder outside its view it cannot even name.
// Before any list changes, the engine makes sure the layout can be
// protected (the work folder outside the contest's folders, no link or
// second file name leading out of them, a run that can be given its view
// at all); where it cannot, the jury is told and the mode switches off as
// for a failed logon. It notes where each folder is, and a folder moved or
// replaced while judging stops the run rather than let a checker judge
// what was put in its place.
//
// The second wall: during a run the judge engine gives the tasks and
// contestants trees, and while a program runs also the work folder and the
// waiting room, the list "everybody may do everything, A nothing" (POSIX
// ACLs, platform/Acls.h): B reaches them through the "everybody" entries,
// A's programs do not.
// POSIX lets only an item's owner change its list, so the engine changes
// them as A, who owns the contest folders, never as B; it works bottom-up
// when denying (A must still reach an item to change it) and keeps a copy
// of every list it changes, which it puts back, top-down, when the run
// ends (where the folder is then, should the jury have moved it). The work folder keeps one right for A, passing through, which
// Windows gives every account regardless of lists and without which no
// program could reach the contest room beneath it. For the checker, which
// runs inside Velkor as A, the engine opens the test folder and its files
// and lets A pass through the folders above it, only for the call.
//
// With the mode off every routine here, and every ACL step of the engine,
// does nothing.
#pragma once

#include <string>

namespace velkor {

// True while the calling thread works as the security account.
extern bool Impersonating;

// Logs the security account on (LogOn) or off. Nothing happens with the
// security mode off or when the state already matches. A failed logon shows
// the jury an error and switches the security mode off.
void SetAdminLogon(bool LogOn);

// Why the security mode cannot work whatever account the jury names (Velkor
// runs as the super-user), in Vietnamese; "" when nothing stands in its way
// before a logon is tried. The security window says it as soon as the mode
// is switched on, rather than at the next judging run.
std::string SecurityModeObstacle();

// Starts or ends working as the logged-on security account on the calling
// thread. Calls do not nest: a second start does nothing and one end ends
// it. Nothing happens unless the mode is on and the account is logged on.
// A switch that fails raises an error with the system's message and leaves
// Impersonating as it was.
void SetImpersonation(bool On);

}  // namespace velkor
