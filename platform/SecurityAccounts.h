// The security account: a second local account that Velkor logs on with its
// password and whose identity the calling thread takes for file access.
//
// Logon goes through PAM, service "velkor" when the machine has a PAM
// configuration of that name (/etc/pam.d/velkor or /usr/lib/pam.d/velkor),
// otherwise "login". Checking another account's password needs the
// super-user's identity (pam_unix reads the shadow file itself only then),
// so the conversation runs in a short-lived child that switches to it,
// which takes the same privilege as switching identities below
// (CAP_SETUID and CAP_SETGID). The domain has no meaning for a local
// account and is not used.
//
// A token stands for the logged-on account: its user id, group id and
// supplementary groups. Tokens are small non-zero handles into a table of
// this module; closing one forgets it.
//
// Working as the account switches only the calling thread's file-system
// identity (fsuid, fsgid and supplementary groups, each set with the raw
// system call, which touches the calling thread alone): new files belong
// to the account and access checks use its rights, while the process's
// real and effective identity, and so every program it starts, stay its
// own.
#pragma once

#include <cstdint>
#include <string>

namespace velkor::platform {

using TAccountToken = std::uintptr_t;

// How long the password check may take before the logon counts as failed:
// a PAM or directory module that hangs must not freeze the judge.
inline int LogonCheckTimeoutMs = 30000;

// Logs the local account User on with Password. True and a token on
// success; False and the reason in Failure otherwise, in Vietnamese (PAM's
// verdict for a refused password, the system's text when the privilege is
// missing).
bool LogOnAccount(const std::string& User, const std::string& Password, TAccountToken& Token, std::string& Failure);

// A second token for the same account; 0 when Token is unknown.
TAccountToken DuplicateAccountToken(TAccountToken Token);

// Forgets Token; unknown tokens and 0 are ignored.
void CloseAccountToken(TAccountToken Token);

// The calling thread works as Token's account for file access until
// RevertFileIdentity. 0 or an errno value (EPERM without the privilege,
// EBADF for an unknown token); on failure the identity is unchanged.
int SwitchFileIdentity(TAccountToken Token);

// The calling thread works as the process's own account again; nothing to
// do when it never switched. 0 or an errno value.
int RevertFileIdentity();

}  // namespace velkor::platform
