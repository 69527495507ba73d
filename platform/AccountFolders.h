// The account's well-known folders (documents, settings, data), its runtime
// folder and the temporary folder, from the XDG conventions.
//
//   documents (5)             XDG_DOCUMENTS_DIR of user-dirs.dirs, else ~/Documents
//   roaming app data (26)     $XDG_CONFIG_HOME, else ~/.config
//   local app data (28)       $XDG_DATA_HOME, else ~/.local/share
//   common app data (35)      $XDG_DATA_HOME, else ~/.local/share: per user on
//                             purpose, so two accounts never share a work folder
//
// The flag 0x8000 asks for the folder to be created when missing.
#pragma once

#include <string>

namespace velkor::platform {

inline constexpr int kFolderDocuments = 5;
inline constexpr int kFolderRoamingAppData = 26;
inline constexpr int kFolderLocalAppData = 28;
inline constexpr int kFolderCommonAppData = 35;
inline constexpr int kFolderFlagCreate = 0x8000;

// The path of a well-known folder without a trailing "/", or "" when the value
// is unknown or the path cannot be resolved.
std::string SpecialFolderPath(int csidl);

// The per-user temporary folder: "velkor-<uid>" under $TMPDIR (else /tmp),
// created with mode 0700 and accepted only when it is a real folder owned by
// this user with no access for others. "" when TMPDIR is set but empty, or
// when no such folder can be had (someone else's folder or a link in its
// place); the caller then uses its fallback.
std::string TemporaryFolder();

// The per-account folder of what one running Velkor shares with a later
// copy (the single-instance lock, its socket, the hand-over file): "velkor"
// under $XDG_RUNTIME_DIR when that is a folder of this user's with no
// access for others (as the session manager makes it, one per account),
// else under the session manager's folder for the account
// (SessionRuntimeFolder, when it is such a folder), else "velkor-<uid>"
// under /tmp. Never under $TMPDIR: two copies of one account with different
// temporary folders must still find each other. Created and checked as
// TemporaryFolder is; "" when no such folder can be had.
std::string RuntimeFolder();
// Where the session manager keeps the account's runtime folder:
// "/run/user/<uid>".
std::string SessionRuntimeFolder();

// The home folder: $HOME, else the account database's entry.
std::string HomeFolder();

}  // namespace velkor::platform
