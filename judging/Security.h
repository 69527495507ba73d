// The security account: the logon and the impersonation that the security
// mode wraps around the judge engine's file work.
//
// With the security mode on, the contestants' programs still run under
// Velkor's own account, and that account is denied the tests, the other
// contestants' work and the waiting room for the length of a run; Velkor
// does its own file work there as a second account, the security account
// (EnvConfig: AdminUserName, AdminPassword, AdminDomain), whose logon
// leaves a token in EnvConfig->AdminToken.
//
// This build has no way to log that account on yet: with the mode on, every
// logon fails with the jury's message and switches the mode off (also in the
// saved settings), so a run goes on unprotected and says so, rather than
// pretending to protect anything. With the mode off every routine here does
// nothing.
#pragma once

namespace velkor {

// True while the calling thread works as the security account.
extern bool Impersonating;

// Logs the security account on (LogOn) or off. Nothing happens with the
// security mode off or when the state already matches. A failed logon shows
// the jury an error and switches the security mode off.
void SetAdminLogon(bool LogOn);

// Starts or ends working as the logged-on security account on the calling
// thread. Calls do not nest: a second start does nothing and one end ends
// it. Nothing happens unless the mode is on and the account is logged on.
void SetImpersonation(bool On);

}  // namespace velkor
