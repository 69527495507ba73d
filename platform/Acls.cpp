#include "platform/Acls.h"

#include <acl/libacl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

#include "platform/FileAttributes.h"

namespace velkor::platform {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kR = 4, kW = 2, kX = 1, kRWX = 7;

struct AclDeleter {
  void operator()(void* p) const { acl_free(p); }
};
using AclPtr = std::unique_ptr<std::remove_pointer_t<acl_t>, AclDeleter>;

// One ACL class: the tag and, for named entries, the uid or gid.
using ClassKey = std::pair<acl_tag_t, id_t>;
using ClassMap = std::map<ClassKey, unsigned>;

enum class TrusteeKind { Everyone, System, User, Group };
struct Trustee {
  TrusteeKind Kind = TrusteeKind::Everyone;
  id_t Id = 0;
};

// "DOMAIN\name" names a local account; the domain is the host itself.
std::optional<Trustee> ResolveTrustee(const std::string& name) {
  if (name == "Everyone") return Trustee{TrusteeKind::Everyone, 0};
  if (name == "System") return Trustee{TrusteeKind::System, 0};
  const std::string account = name.substr(name.find_last_of('\\') + 1);
  if (account.empty()) return std::nullopt;
  if (const passwd* pw = ::getpwnam(account.c_str())) return Trustee{TrusteeKind::User, pw->pw_uid};
  if (const group* gr = ::getgrnam(account.c_str())) return Trustee{TrusteeKind::Group, gr->gr_gid};
  return std::nullopt;
}

std::string UserName(id_t uid) {
  const passwd* pw = ::getpwuid(uid);
  return pw ? pw->pw_name : std::to_string(uid);
}

std::string GroupName(id_t gid) {
  const group* gr = ::getgrgid(gid);
  return gr ? gr->gr_name : std::to_string(gid);
}

unsigned RightsToPerms(std::uint32_t rights, bool folder) {
  if (rights & GENERIC_ALL) return kRWX;
  unsigned perms = 0;
  if (rights & GENERIC_READ) perms |= folder ? kR | kX : kR;  // listing a folder means entering it
  if (rights & GENERIC_WRITE) perms |= kW;
  if (rights & GENERIC_EXECUTE) perms |= kX;
  return perms;
}

std::uint32_t PermsToRights(unsigned perms, bool folder) {
  if (perms == kRWX) return GENERIC_ALL;
  std::uint32_t rights = 0;
  if (perms & kR) rights |= GENERIC_READ;
  if (perms & kW) rights |= GENERIC_WRITE;
  if ((perms & kX) && !(folder && (perms & kR))) rights |= GENERIC_EXECUTE;
  return rights;
}

struct Rule {
  Trustee Who;
  unsigned Perms = 0;
  bool Allow = true;
  bool Inherit = false;
};

int RulesFromEntries(const std::vector<TExplicitAccess>& entries, bool folder, std::vector<Rule>& rules) {
  for (const TExplicitAccess& e : entries) {
    if (e.AccessMode != GRANT_ACCESS && e.AccessMode != SET_ACCESS && e.AccessMode != DENY_ACCESS)
      continue;  // revoking from a list built from nothing leaves nothing to do
    std::optional<Trustee> who = ResolveTrustee(e.TrusteeName);
    if (!who) return EINVAL;
    if (who->Kind == TrusteeKind::System) continue;
    rules.push_back({*who, RightsToPerms(e.AccessPermissions, folder), e.AccessMode != DENY_ACCESS,
                     (e.Inheritance & SUB_CONTAINERS_AND_OBJECTS_INHERIT) != 0});
  }
  return 0;
}

ClassMap ClassesOf(acl_t acl) {
  ClassMap classes;
  acl_entry_t entry;
  for (int r = acl_get_entry(acl, ACL_FIRST_ENTRY, &entry); r == 1; r = acl_get_entry(acl, ACL_NEXT_ENTRY, &entry)) {
    acl_tag_t tag;
    acl_permset_t ps;
    if (acl_get_tag_type(entry, &tag) != 0 || acl_get_permset(entry, &ps) != 0) continue;
    id_t id = 0;
    if (tag == ACL_USER || tag == ACL_GROUP) {
      void* q = acl_get_qualifier(entry);
      if (!q) continue;
      id = *static_cast<id_t*>(q);
      acl_free(q);
    }
    classes[{tag, id}] = (acl_get_perm(ps, ACL_READ) == 1 ? kR : 0) | (acl_get_perm(ps, ACL_WRITE) == 1 ? kW : 0) |
                         (acl_get_perm(ps, ACL_EXECUTE) == 1 ? kX : 0);
  }
  return classes;
}

AclPtr ReadAcl(const std::string& path, acl_type_t type) { return AclPtr(acl_get_file(path.c_str(), type)); }

ClassMap ClassesFromMode(mode_t mode) {
  return {{{ACL_USER_OBJ, 0}, (mode >> 6) & kRWX}, {{ACL_GROUP_OBJ, 0}, (mode >> 3) & kRWX}, {{ACL_OTHER, 0}, mode & kRWX}};
}

// What a new item in the parent folder would be given: the parent's default
// ACL, or the umask's share of the usual creation mode.
ClassMap InheritedClasses(const fs::path& path, const struct stat& st) {
  const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (AclPtr def = ReadAcl(parent.string(), ACL_TYPE_DEFAULT)) {
    ClassMap classes = ClassesOf(def.get());
    if (!classes.empty()) return classes;
  }
  mode_t mode = S_ISDIR(st.st_mode) ? 0777 : 0666;
  if (!S_ISDIR(st.st_mode) && (st.st_mode & 0111)) mode |= 0111;  // programs stay runnable
  return ClassesFromMode(mode & ~CurrentUmask());
}

// Applies the rules to one class map. For the access list owner and group
// are the item's; for a default list they are unknown (nullopt) and every
// account or group keeps a named entry.
ClassMap ApplyRules(ClassMap classes, const std::vector<Rule>& rules, std::optional<uid_t> owner,
                    std::optional<gid_t> group, bool inheritableOnly) {
  for (ClassKey base : {ClassKey{ACL_USER_OBJ, 0}, ClassKey{ACL_GROUP_OBJ, 0}, ClassKey{ACL_OTHER, 0}})
    classes.emplace(base, 0);
  classes.erase({ACL_MASK, 0});
  auto classOf = [&](const Trustee& who) -> std::optional<ClassKey> {
    if (who.Kind == TrusteeKind::User) return owner == who.Id ? ClassKey{ACL_USER_OBJ, 0} : ClassKey{ACL_USER, who.Id};
    if (who.Kind == TrusteeKind::Group) return group == who.Id ? ClassKey{ACL_GROUP_OBJ, 0} : ClassKey{ACL_GROUP, who.Id};
    return std::nullopt;
  };
  // A trustee that gets its own entry leaves the "other" class it fell in.
  for (const Rule& r : rules)
    if (auto key = classOf(r.Who); key && (!inheritableOnly || r.Inherit))
      classes.emplace(*key, classes[{ACL_OTHER, 0}]);
  ClassMap allowed, denied;
  for (const Rule& r : rules) {
    if (inheritableOnly && !r.Inherit) continue;
    ClassMap& target = r.Allow ? allowed : denied;
    if (r.Who.Kind == TrusteeKind::Everyone) {
      for (auto& [key, perms] : classes) target[key] |= r.Perms;
    } else if (auto key = classOf(r.Who)) {
      target[*key] |= r.Perms;
    }
  }
  for (auto& [key, perms] : classes) perms = (perms | allowed[key]) & ~denied[key];
  return classes;
}

int WriteAcl(const std::string& path, acl_type_t type, const ClassMap& classes, bool withMask) {
  AclPtr acl(acl_init(static_cast<int>(classes.size()) + 1));
  if (!acl) return errno;
  unsigned mask = 0;
  bool named = false;
  auto add = [&](acl_tag_t tag, id_t id, unsigned perms) {
    acl_t raw = acl.release();
    acl_entry_t entry;
    const bool ok = acl_create_entry(&raw, &entry) == 0;
    acl.reset(raw);
    if (!ok) return false;
    acl_permset_t ps;
    if (acl_set_tag_type(entry, tag) != 0 || acl_get_permset(entry, &ps) != 0) return false;
    if ((tag == ACL_USER || tag == ACL_GROUP) && acl_set_qualifier(entry, &id) != 0) return false;
    acl_clear_perms(ps);
    if (perms & kR) acl_add_perm(ps, ACL_READ);
    if (perms & kW) acl_add_perm(ps, ACL_WRITE);
    if (perms & kX) acl_add_perm(ps, ACL_EXECUTE);
    return acl_set_permset(entry, ps) == 0;
  };
  for (const auto& [key, perms] : classes) {
    if (!add(key.first, key.second, perms)) return errno ? errno : EINVAL;
    if (key.first == ACL_USER || key.first == ACL_GROUP) named = true;
    if (key.first != ACL_USER_OBJ && key.first != ACL_OTHER) mask |= perms;
  }
  if ((withMask || named) && !add(ACL_MASK, 0, mask)) return errno ? errno : EINVAL;
  if (acl_valid(acl.get()) != 0) return EINVAL;
  return acl_set_file(path.c_str(), type, acl.get()) == 0 ? 0 : errno;
}

void AppendEntries(std::vector<TExplicitAccess>& out, const std::string& name, unsigned perms, unsigned everyone,
                   bool folder, std::uint32_t inheritance) {
  if (unsigned extra = perms & ~everyone)
    out.push_back(BuildExplicitAccessWithName(name, PermsToRights(extra, folder), SET_ACCESS, inheritance));
}

// "dir/" would make the folder its own parent and would reach through a
// link; work on the entry itself.
std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

TExplicitAccess BuildExplicitAccessWithName(const std::string& trusteeName, std::uint32_t permissions,
                                            TAccessMode mode, std::uint32_t inheritance) {
  return TExplicitAccess{permissions, mode, inheritance, trusteeName};
}

bool FileSystemKeepsAcls(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) return false;
  while (!fs::exists(fs::symlink_status(p, ec)) && p.has_relative_path()) p = p.parent_path();
  // No ACL yet reads as "no data"; a file system without ACLs says so.
  if (::getxattr(p.c_str(), "system.posix_acl_access", nullptr, 0) >= 0) return true;
  return errno == ENODATA;
}

int SetExplicitAccess(const std::string& givenPath, const std::vector<TExplicitAccess>& entries,
                      AclProtection protection) {
  const std::string path = WithoutTrailingSlashes(givenPath);
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno;
  if (S_ISLNK(st.st_mode)) return EOPNOTSUPP;
  const bool folder = S_ISDIR(st.st_mode);
  std::vector<Rule> rules;
  if (int err = RulesFromEntries(entries, folder, rules)) return err;

  const bool unprotected = protection == AclProtection::Unprotected;
  const ClassMap base = unprotected ? InheritedClasses(path, st) : ClassMap{};
  const ClassMap access = ApplyRules(base, rules, st.st_uid, st.st_gid, false);
  if (int err = WriteAcl(path, ACL_TYPE_ACCESS, access, !rules.empty())) return err;
  if (!folder) return 0;

  bool inheritable = false;
  for (const Rule& r : rules) inheritable |= r.Inherit;
  ClassMap defaultBase;
  if (unprotected) {
    const fs::path p(path);
    if (AclPtr def = ReadAcl(p.has_parent_path() ? p.parent_path().string() : ".", ACL_TYPE_DEFAULT))
      defaultBase = ClassesOf(def.get());
  }
  if (!inheritable && defaultBase.empty())
    return acl_delete_def_file(path.c_str()) == 0 ? 0 : errno;
  return WriteAcl(path, ACL_TYPE_DEFAULT, ApplyRules(defaultBase, rules, std::nullopt, std::nullopt, true), true);
}

int GetExplicitAccess(const std::string& givenPath, std::vector<TExplicitAccess>& entries) {
  const std::string path = WithoutTrailingSlashes(givenPath);
  entries.clear();
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno;
  if (S_ISLNK(st.st_mode)) return EOPNOTSUPP;
  const bool folder = S_ISDIR(st.st_mode);
  AclPtr access = ReadAcl(path, ACL_TYPE_ACCESS);
  if (!access) return errno;
  ClassMap classes = ClassesOf(access.get());
  bool inherits = false;
  if (folder) {
    AclPtr def = ReadAcl(path, ACL_TYPE_DEFAULT);
    inherits = def && !ClassesOf(def.get()).empty();
  }
  const auto mask = classes.find({ACL_MASK, 0});
  if (mask == classes.end() && !inherits) return 0;  // only mode bits: nothing explicit

  const unsigned maskPerms = mask == classes.end() ? kRWX : mask->second;
  const std::uint32_t inheritance = inherits ? SUB_CONTAINERS_AND_OBJECTS_INHERIT : NO_INHERITANCE;
  const unsigned everyone = classes[{ACL_OTHER, 0}];
  if (everyone) entries.push_back(BuildExplicitAccessWithName("Everyone", PermsToRights(everyone, folder), SET_ACCESS, inheritance));

  struct Named {
    std::string Name;
    unsigned Perms;
  };
  std::vector<Named> named;
  for (const auto& [key, perms] : classes) {
    switch (key.first) {
      case ACL_USER_OBJ: named.push_back({UserName(st.st_uid), perms}); break;
      case ACL_GROUP_OBJ: named.push_back({GroupName(st.st_gid), perms & maskPerms}); break;
      case ACL_USER: named.push_back({UserName(key.second), perms & maskPerms}); break;
      case ACL_GROUP: named.push_back({GroupName(key.second), perms & maskPerms}); break;
      default: break;
    }
  }
  for (const Named& n : named) AppendEntries(entries, n.Name, n.Perms, everyone, folder, inheritance);
  for (const Named& n : named)
    if (unsigned missing = everyone & ~n.Perms)
      entries.push_back(BuildExplicitAccessWithName(n.Name, PermsToRights(missing, folder), DENY_ACCESS, inheritance));
  return 0;
}

namespace {

int ExternalForm(acl_t acl, std::string& out) {
  const ssize_t size = acl_size(acl);
  if (size < 0) return errno;
  out.assign(static_cast<std::size_t>(size), '\0');
  return acl_copy_ext(out.data(), acl, size) < 0 ? errno : 0;
}

AclPtr FromExternalForm(const std::string& in) {
  return AclPtr(acl_copy_int(in.data()));
}

}  // namespace

int CopyAccessLists(const std::string& givenPath, TAccessListCopy& copy) {
  const std::string path = WithoutTrailingSlashes(givenPath);
  copy = {};
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno;
  if (S_ISLNK(st.st_mode)) return EOPNOTSUPP;
  AclPtr access = ReadAcl(path, ACL_TYPE_ACCESS);
  if (!access) return errno;
  if (int err = ExternalForm(access.get(), copy.Access)) return err;
  if (!S_ISDIR(st.st_mode)) return 0;
  AclPtr def = ReadAcl(path, ACL_TYPE_DEFAULT);
  if (!def) return errno;
  if (acl_entries(def.get()) <= 0) return 0;
  return ExternalForm(def.get(), copy.Default);
}

int RestoreAccessLists(const std::string& givenPath, const TAccessListCopy& copy) {
  const std::string path = WithoutTrailingSlashes(givenPath);
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno;
  if (S_ISLNK(st.st_mode)) return EOPNOTSUPP;
  AclPtr access = FromExternalForm(copy.Access);
  if (!access) return errno ? errno : EINVAL;
  if (acl_set_file(path.c_str(), ACL_TYPE_ACCESS, access.get()) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return 0;
  if (copy.Default.empty()) return acl_delete_def_file(path.c_str()) == 0 ? 0 : errno;
  AclPtr def = FromExternalForm(copy.Default);
  if (!def) return errno ? errno : EINVAL;
  return acl_set_file(path.c_str(), ACL_TYPE_DEFAULT, def.get()) == 0 ? 0 : errno;
}

int AllowPassingThrough(const std::string& givenFolder, const std::string& account) {
  const std::string folder = WithoutTrailingSlashes(givenFolder);
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  const std::optional<Trustee> who = ResolveTrustee(account);
  if (!who || who->Kind != TrusteeKind::User) return EINVAL;
  AclPtr access = ReadAcl(folder, ACL_TYPE_ACCESS);
  if (!access) return errno;
  ClassMap classes = ClassesOf(access.get());
  // WriteAcl makes the mask the union of the group-class entries; clamping
  // them to the present mask first keeps every other right as it is.
  if (const auto mask = classes.find({ACL_MASK, 0}); mask != classes.end()) {
    const unsigned limit = mask->second;
    classes.erase(mask);
    for (auto& [key, perms] : classes)
      if (key.first == ACL_GROUP_OBJ || key.first == ACL_USER || key.first == ACL_GROUP) perms &= limit;
  }
  if (who->Id == st.st_uid) {
    classes[{ACL_USER_OBJ, 0}] |= kX;
  } else {
    classes.emplace(ClassKey{ACL_USER, who->Id}, 0);
    classes[{ACL_USER, who->Id}] |= kX;
  }
  return WriteAcl(folder, ACL_TYPE_ACCESS, classes, true);
}

}  // namespace velkor::platform
