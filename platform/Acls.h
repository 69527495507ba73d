// Folder and file access lists: explicit access entries, as the security
// mode writes them, kept in POSIX ACLs.
//
// An entry names a trustee ("Everyone", "System", an account "user" or
// "DOMAIN\user", or a group), rights, allow or deny, and whether new items
// below a folder take it over. POSIX ACLs have no entries of their own for
// "Everyone" or for denial, and no inheritance that follows the parent, so
// the entries are turned into one permission set per ACL class:
//
// - Each class gets what the entries that reach it allow, minus what the
//   entries that reach it deny (a deny wins, whatever the order). "Everyone"
//   reaches every class; an account reaches the owner class when it owns the
//   item and a named-user class otherwise; a group likewise the owning-group
//   class or a named-group class.
// - "System" is the super-user, whom permissions do not bind on Linux; its
//   entries need no place in the list and are dropped.
// - Entries that new items take over also form the folder's default ACL,
//   where the owner class follows "Everyone" only (the future owner is
//   unknown) and every account keeps a named entry.
// - A list set from entries always carries a mask entry. That marks it as
//   explicit: an item whose list is only its mode bits has no explicit
//   entries, as an item on Windows that merely inherits.
// - "Unprotected" starts from what the item would inherit: the parent's
//   default ACL, or, without one, the mode a new item gets under the umask;
//   the entries then apply on top. "Protected" starts from nothing. POSIX
//   keeps no protection state, so "unchanged" acts like "protected".
//
// Reading entries back reverses the mapping: "Everyone" gets the other
// class's rights, and every other class that differs from it becomes a grant
// of the extra rights and a deny of the missing ones. Rights read back as
// GENERIC_ALL for rwx and otherwise as the GENERIC_* bits that map to them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkor::platform {

inline constexpr std::uint32_t GENERIC_ALL = 0x10000000;
inline constexpr std::uint32_t GENERIC_EXECUTE = 0x20000000;
inline constexpr std::uint32_t GENERIC_WRITE = 0x40000000;
inline constexpr std::uint32_t GENERIC_READ = 0x80000000;

enum TAccessMode { NOT_USED_ACCESS, GRANT_ACCESS, SET_ACCESS, DENY_ACCESS, REVOKE_ACCESS };

inline constexpr std::uint32_t NO_INHERITANCE = 0;
inline constexpr std::uint32_t OBJECT_INHERIT_ACE = 1;
inline constexpr std::uint32_t CONTAINER_INHERIT_ACE = 2;
inline constexpr std::uint32_t SUB_CONTAINERS_AND_OBJECTS_INHERIT = 3;

struct TExplicitAccess {
  std::uint32_t AccessPermissions = 0;
  TAccessMode AccessMode = NOT_USED_ACCESS;
  std::uint32_t Inheritance = NO_INHERITANCE;
  std::string TrusteeName;

  friend bool operator==(const TExplicitAccess&, const TExplicitAccess&) = default;
};

TExplicitAccess BuildExplicitAccessWithName(const std::string& trusteeName, std::uint32_t permissions,
                                            TAccessMode mode, std::uint32_t inheritance);

enum class AclProtection { Protected, Unprotected, Unchanged };

// Whether the file system holding path (or, when path does not exist yet,
// its nearest existing folder) keeps POSIX ACLs.
bool FileSystemKeepsAcls(const std::string& path);

// Replaces the access list of path (and, for a folder, its default list)
// by one built from entries. 0 or an errno value; EINVAL when a trustee is
// unknown, EOPNOTSUPP for a symbolic link, whose target may lie anywhere.
int SetExplicitAccess(const std::string& path, const std::vector<TExplicitAccess>& entries,
                      AclProtection protection);

// The explicit entries of path's access list; none when it holds only the
// mode bits. 0 or an errno value.
int GetExplicitAccess(const std::string& path, std::vector<TExplicitAccess>& entries);

// An item's access list (with its mode bits) and, for a folder, its default
// list, exactly as they are: what the security mode puts back once a run
// no longer needs its own entries there.
struct TAccessListCopy {
  std::string Access;   // the lists in libacl's external form
  std::string Default;  // empty when the folder has none
};

// 0 or an errno value; EOPNOTSUPP for a symbolic link.
int CopyAccessLists(const std::string& path, TAccessListCopy& copy);
int RestoreAccessLists(const std::string& path, const TAccessListCopy& copy);

// Windows lets every account pass through a folder whose list denies it
// (the "bypass traverse checking" right everybody holds); POSIX needs the
// search right for that. Gives account that right on folder, nothing more,
// on top of the list the folder has. 0 or an errno value.
int AllowPassingThrough(const std::string& folder, const std::string& account);

}  // namespace velkor::platform
