#include "platform/ControlGroups.h"
#include "platform/SystemErrors.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

namespace velkor::platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPrefix = "velkor-";
constexpr const char* kLeaf = "task";
// The kernel refuses a limit below what the new groups already hold (their
// own bookkeeping); no program starts in less anyway, its per-process data
// limit still being the run's.
constexpr std::uint64_t kLeastGroupMemory = std::uint64_t{1} << 20;

// One hierarchy run groups are made in: Velkor's own group there.
struct Hierarchy {
  std::string Base;
  bool Unified = false;
  bool Memory = false;
  bool Tasks = false;
};

// The groups are Velkor's own: its file-system identity may be switched to
// the security account's while it runs a program, so the groups are made,
// written and removed under its own identity, on this thread only.
class OwnFileIdentity {
 public:
  OwnFileIdentity()
      : uid_(static_cast<uid_t>(setfsuid(geteuid()))), gid_(static_cast<gid_t>(setfsgid(getegid()))) {}
  ~OwnFileIdentity() {
    setfsgid(gid_);
    setfsuid(uid_);
  }
  OwnFileIdentity(const OwnFileIdentity&) = delete;
  OwnFileIdentity& operator=(const OwnFileIdentity&) = delete;

 private:
  uid_t uid_;
  gid_t gid_;
};

struct Mount {
  std::string Root, Point, Type, SuperOptions;
};

// 0, or the errno of the read.
int ReadTextAt(int folderFd, const std::string& path, std::string& text) {
  text.clear();
  UniqueFd fd(openat(folderFd, path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) return errno;
  char buf[4096];
  for (;;) {
    const ssize_t n = read(fd.Get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    text.append(buf, static_cast<std::size_t>(n));
  }
}

int ReadText(const std::string& path, std::string& text) { return ReadTextAt(AT_FDCWD, path, text); }

// Reads a control file kept open, afresh from its start: the kernel makes
// its text anew at every read from there. 0, or the errno.
int ReadAgain(int fd, std::string& text) {
  text.clear();
  char buf[4096];
  for (off_t at = 0;;) {
    const ssize_t n = pread(fd, buf, sizeof buf, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    text.append(buf, static_cast<std::size_t>(n));
    at += n;
  }
}

// 0, or the errno of the write (control files take one write each).
int WriteText(const std::string& path, const std::string& text) {
  UniqueFd fd(open(path.c_str(), O_WRONLY | O_CLOEXEC));
  if (!fd.Valid()) return errno;
  const ssize_t n = write(fd.Get(), text.data(), text.size());
  if (n < 0) return errno;
  return n == static_cast<ssize_t>(text.size()) ? 0 : EIO;
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.emplace_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// Whether token is an item of list; control files end with a new line.
bool HasToken(std::string_view list, std::string_view token, char separator) {
  while (!list.empty() && (list.back() == '\n' || list.back() == ' ')) list.remove_suffix(1);
  for (const std::string& item : Split(list, separator))
    if (item == token) return true;
  return false;
}

// mountinfo writes blanks and a few others as \ooo.
std::string Unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string octal = field.substr(i + 1, 3);
      if (octal.find_first_not_of("01234567") == std::string::npos) {
        out += static_cast<char>(std::stoi(octal, nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

std::vector<Mount> CgroupMounts(std::string_view mountinfo) {
  std::vector<Mount> mounts;
  for (const std::string& line : Split(mountinfo, '\n')) {
    const std::vector<std::string> f = Split(line, ' ');
    const auto dash = std::find(f.begin(), f.end(), "-");
    if (f.size() < 5 || dash == f.end() || f.end() - dash < 4) continue;
    Mount m{Unescape(f[3]), Unescape(f[4]), dash[1], dash[3]};
    if (m.Type == "cgroup" || m.Type == "cgroup2" || m.Type == "tmpfs") mounts.push_back(std::move(m));
  }
  return mounts;
}

// The folder of a group path in a mount of root; "" when the mount does not
// show it.
std::string FolderOf(const Mount& m, const std::string& path) {
  // A group outside the caller's cgroup namespace shows as "/..".
  if (!path.starts_with("/") || path.find("/..") != std::string::npos) return {};
  if (m.Root == "/") return m.Point + (path == "/" ? "" : path);
  if (path == m.Root) return m.Point;
  if (path.starts_with(m.Root + "/")) return m.Point + path.substr(m.Root.size());
  return {};
}

// Field 22 of /proc/<pid>/stat (ticks since boot): with the pid, it tells
// one process from a later one that got the same pid.
std::string StartTime(const std::string& pid) {
  std::string stat;
  if (ReadText("/proc/" + pid + "/stat", stat) != 0) return {};
  const auto close = stat.rfind(')');
  if (close == std::string::npos) return {};
  const std::vector<std::string> fields = Split(std::string_view(stat).substr(close + 2), ' ');
  return fields.size() > 19 ? fields[19] : std::string();
}

// "velkor-<pid>-<start>" of the calling process, recomputed after a fork.
std::string Owner() {
  static std::mutex lock;
  static pid_t pid = 0;
  static std::string owner;
  std::lock_guard guard(lock);
  if (pid != getpid()) {
    pid = getpid();
    owner = kPrefix + std::to_string(pid) + "-" + StartTime("self");
  }
  return owner;
}

// True when a group name says it belongs to a Velkor that no longer lives.
bool IsStale(const std::string& name) {
  if (!name.starts_with(kPrefix)) return false;
  const std::vector<std::string> parts = Split(std::string_view(name).substr(std::strlen(kPrefix)), '-');
  if (parts.size() < 3 || parts[0].empty() || parts[0].find_first_not_of("0123456789") != std::string::npos)
    return false;
  return StartTime(parts[0]) != parts[1];
}

// The groups directly below a group (cgroup file systems give entry types).
std::vector<std::string> SubGroups(const std::string& folder) {
  std::vector<std::string> found;
  DIR* d = opendir(folder.c_str());
  if (!d) return found;
  while (const dirent* e = readdir(d))
    if (e->d_type == DT_DIR && std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
      found.push_back(folder + "/" + e->d_name);
  closedir(d);
  return found;
}

// The same for the group folder kept open at fd, read afresh from its start.
std::vector<std::string> SubGroups(const std::string& folder, int fd) {
  std::vector<std::string> found;
  if (lseek(fd, 0, SEEK_SET) != 0) return SubGroups(folder);
  alignas(8) char buf[4096];
  for (;;) {
    const ssize_t n = getdents64(fd, buf, sizeof buf);
    if (n < 0) return SubGroups(folder);
    if (n == 0) return found;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const dirent64*>(buf + at);
      if (e->d_type == DT_DIR && std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
        found.push_back(folder + "/" + e->d_name);
      at += e->d_reclen;
    }
  }
}

// Kills the processes listed in the group open at groupFd.
void KillMembers(int groupFd) {
  std::string text;
  if (ReadTextAt(groupFd, "cgroup.procs", text) != 0) return;
  for (const std::string& pid : Split(text, '\n'))
    if (!pid.empty()) kill(static_cast<pid_t>(std::stol(pid)), SIGKILL);
}

// The name of a group directly below the group open at fd; "" when none.
std::string FirstSubGroup(int fd) {
  DIR* d = fdopendir(openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!d) return {};
  std::string found;
  while (const dirent* e = readdir(d))
    if (e->d_type == DT_DIR && std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      found = e->d_name;
      break;
    }
  closedir(d);
  return found;
}

// Removes the empty group name of the group open at parentFd (groupFd: the
// group itself), killing what is left in it. The run's processes are gone
// once its init has been reaped; the retries only cover the kernel's
// bookkeeping and what a killed Velkor left.
bool RemoveGroup(int parentFd, int groupFd, const std::string& name) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) return true;
    if (errno != EBUSY) return false;
    KillMembers(groupFd);
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// Removes a run's group with every group below it, deepest first. A
// program may have made groups of its own below its leaf, nested as deep
// as it liked: the walk goes by descriptors, one level at a time, so
// neither the length of their paths nor their depth stops it. False when
// a group stays.
bool RemoveRunTree(const std::string& folder) {
  const fs::path path(folder);
  UniqueFd parent(open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  std::vector<std::string> names{path.filename().string()};
  UniqueFd current(parent.Valid() ? openat(parent.Get(), names.back().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
  if (!current.Valid()) return errno == ENOENT;
  for (;;) {
    if (const std::string sub = FirstSubGroup(current.Get()); !sub.empty()) {
      UniqueFd next(openat(current.Get(), sub.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (!next.Valid()) {
        if (errno == ENOENT) continue;  // gone meanwhile
        return false;
      }
      parent = std::move(current);
      current = std::move(next);
      names.push_back(sub);
      continue;
    }
    if (!RemoveGroup(parent.Get(), current.Get(), names.back())) return false;
    names.pop_back();
    if (names.empty()) return true;
    current = std::move(parent);
    parent.Reset(openat(current.Get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.Valid()) return false;
  }
}

// A dead Velkor's run groups go with what is left in them; its own leaf
// only when empty: processes it started outside runs are not ours to kill.
void SweepStale(const std::string& base) {
  for (const std::string& group : SubGroups(base)) {
    const std::string name = group.substr(base.size() + 1);
    if (!IsStale(name)) continue;
    if (name.find("-run") != std::string::npos)
      RemoveRunTree(group);
    else
      rmdir(group.c_str());
  }
}

std::string Reason(int err) { return ErrnoMessage(err); }

// A version-1 hierarchy is usable when a group can be made in Velkor's.
std::string ProbeVersion1(const std::string& base) {
  const std::string probe = base + "/" + Owner() + "-probe";
  if (mkdir(probe.c_str(), 0755) != 0) return "không tạo được nhóm trong " + base + ": " + Reason(errno);
  rmdir(probe.c_str());
  return {};
}

// Under version 2 the controllers must come from the parent, and Velkor's
// group must have no process of its own once it hands them down (unless it
// is the root): Velkor moves itself into its leaf first, and back when they
// cannot be enabled. Returns the controllers enabled for the run groups;
// problem(controller) receives why one cannot be.
std::vector<std::string> PrepareVersion2(const std::string& base, const std::vector<std::string>& wanted,
                                         const std::function<void(const std::string&, const std::string&)>& problem) {
  auto fail = [&](const std::vector<std::string>& controllers, const std::string& why) {
    for (const std::string& c : controllers) problem(c, why);
    return std::vector<std::string>();
  };
  std::string available;
  if (const int err = ReadText(base + "/cgroup.controllers", available); err != 0)
    return fail(wanted, "không đọc được các bộ điều khiển của " + base + ": " + Reason(err));
  std::vector<std::string> usable;
  std::string request;
  for (const std::string& c : wanted) {
    if (!HasToken(available, c, ' ')) {
      problem(c, "bộ điều khiển " + c + " không được giao cho " + base);
      continue;
    }
    usable.push_back(c);
    request += (request.empty() ? "+" : " +") + c;
  }
  std::string enabled;
  ReadText(base + "/cgroup.subtree_control", enabled);
  if (usable.empty() || std::all_of(usable.begin(), usable.end(), [&](const std::string& c) {
        return HasToken(enabled, c, ' ');
      }))
    return usable;
  const std::string leaf = base + "/" + Owner() + "-main";
  if (mkdir(leaf.c_str(), 0755) != 0 && errno != EEXIST)
    return fail(usable, "không tạo được nhóm trong " + base + ": " + Reason(errno));
  if (const int err = WriteText(leaf + "/cgroup.procs", "0"); err != 0) {
    rmdir(leaf.c_str());
    return fail(usable, "không chuyển được Velkor vào " + leaf + ": " + Reason(err));
  }
  // One write: the kernel enables all of them or none.
  if (const int err = WriteText(base + "/cgroup.subtree_control", request); err != 0) {
    if (WriteText(base + "/cgroup.procs", "0") == 0) rmdir(leaf.c_str());
    return fail(usable, "không bật được các bộ điều khiển dưới " + base + ": " + Reason(err) +
                            (err == EBUSY ? " (có tiến trình khác cùng nhóm với Velkor)" : ""));
  }
  return usable;
}

struct State {
  ControlGroupSupport Support;
  std::vector<Hierarchy> Hierarchies;
  std::atomic<unsigned> NextRun{0};
};

State& TheState() {
  static State state;
  return state;
}

void Prepare(State& state) {
  std::string mountinfo, own;
  ReadText("/proc/self/mountinfo", mountinfo);
  ReadText("/proc/self/cgroup", own);
  const ControlGroupLayout layout = FindControlGroupLayout(mountinfo, own);
  ControlGroupSupport& support = state.Support;
  support.MemoryProblem = layout.Memory.Problem;
  support.TasksProblem = layout.Tasks.Problem;
  auto problem = [&](const std::string& controller, const std::string& why) {
    (controller == "memory" ? support.MemoryProblem : support.TasksProblem) = why;
  };
  auto use = [&](const std::string& base, bool unified, const std::string& controller) {
    auto same = std::find_if(state.Hierarchies.begin(), state.Hierarchies.end(),
                             [&](const Hierarchy& h) { return h.Base == base; });
    if (same == state.Hierarchies.end()) same = state.Hierarchies.insert(state.Hierarchies.end(), {base, unified});
    (controller == "memory" ? same->Memory : same->Tasks) = true;
  };

  std::vector<std::string> unifiedWanted;
  std::string unifiedBase;
  for (const auto& [place, controller] : {std::pair{&layout.Memory, "memory"}, std::pair{&layout.Tasks, "pids"}}) {
    if (place->Folder.empty()) continue;
    if (place->Unified) {
      unifiedWanted.push_back(controller);
      unifiedBase = place->Folder;
    } else if (std::string why = ProbeVersion1(place->Folder); !why.empty()) {
      problem(controller, why);
    } else {
      use(place->Folder, false, controller);
    }
  }
  if (!unifiedWanted.empty())
    for (const std::string& c : PrepareVersion2(unifiedBase, unifiedWanted, problem)) use(unifiedBase, true, c);
  for (const Hierarchy& h : state.Hierarchies) {
    support.Folders.push_back(h.Base);
    support.Memory = support.Memory || h.Memory;
    support.Tasks = support.Tasks || h.Tasks;
  }
}

// Where a group counts its kills for want of memory, and the count in the
// file's text.
const char* KillsFile(bool unified) { return unified ? "memory.events" : "memory.oom_control"; }

std::uint64_t KillsIn(const std::string& text) {
  for (const std::string& line : Split(text, '\n'))
    if (line.starts_with("oom_kill ")) return std::strtoull(line.c_str() + 9, nullptr, 10);
  return 0;
}

// Kills for want of memory counted in one group; 0 when it cannot be read.
std::uint64_t MemoryKills(const std::string& folder, bool unified) {
  std::string text;
  if (ReadText(folder + "/" + KillsFile(unified), text) != 0) return 0;
  return KillsIn(text);
}

// The same from the group's kill counter kept open.
std::uint64_t MemoryKills(int killsFd) {
  std::string text;
  if (killsFd < 0 || ReadAgain(killsFd, text) != 0) return 0;
  return KillsIn(text);
}

constexpr std::uint64_t kNoMemoryLimit = ~std::uint64_t{0};

std::string LimitText(std::uint64_t bytes, bool unified) {
  if (bytes >= (std::uint64_t{1} << 62)) return unified ? "max" : "-1";
  return std::to_string(bytes);
}

}  // namespace

ControlGroupLayout FindControlGroupLayout(std::string_view mountinfo, std::string_view cgroups) {
  ControlGroupLayout layout;
  const std::vector<Mount> mounts = CgroupMounts(mountinfo);
  struct Line {
    std::string Controllers, Path;
  };
  std::vector<Line> lines;
  for (const std::string& line : Split(cgroups, '\n')) {
    const auto first = line.find(':');
    const auto second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second != std::string::npos)
      lines.push_back({line.substr(first + 1, second - first - 1), line.substr(second + 1)});
  }
  const Mount* unified = nullptr;
  for (const Mount& m : mounts)
    if (m.Type == "cgroup2" && !unified) unified = &m;
  std::string unifiedPath;
  for (const Line& l : lines)
    if (l.Controllers.empty()) unifiedPath = l.Path;

  // A controller bound to a version-1 hierarchy is not in the unified one.
  for (const auto& entry : {std::pair{&layout.Memory, "memory"}, std::pair{&layout.Tasks, "pids"}}) {
    // Named copies, not structured bindings: clang 14 cannot capture those.
    const auto place = entry.first;
    const char* const controller = entry.second;
    const auto v1 = std::find_if(mounts.begin(), mounts.end(), [&](const Mount& m) {
      return m.Type == "cgroup" && HasToken(m.SuperOptions, controller, ',');
    });
    if (v1 != mounts.end()) {
      for (const Line& l : lines)
        if (HasToken(l.Controllers, controller, ',')) place->Folder = FolderOf(*v1, l.Path);
      if (place->Folder.empty()) place->Problem = std::string("không thấy nhóm ") + controller + " của chính Velkor";
    } else if (unified && !unifiedPath.empty()) {
      place->Folder = FolderOf(*unified, unifiedPath);
      place->Unified = true;
      if (place->Folder.empty()) place->Problem = "không thấy nhóm của chính Velkor";
    } else {
      place->Problem = std::string("không có bộ điều khiển ") + controller + " nào được gắn";
    }
  }

  return layout;
}

const ControlGroupSupport& PrepareControlGroups() {
  static std::once_flag once;
  State& state = TheState();
  std::call_once(once, [&] {
    OwnFileIdentity own;
    try {
      Prepare(state);
      for (const Hierarchy& h : state.Hierarchies) SweepStale(h.Base);
    } catch (const std::exception& e) {
      state.Support.MemoryProblem = state.Support.TasksProblem =
          std::string("không tìm được các nhóm điều khiển: ") + e.what();
    }
  });
  return state.Support;
}

void SweepStaleControlGroups() {
  PrepareControlGroups();
  OwnFileIdentity own;
  try {
    for (const Hierarchy& h : TheState().Hierarchies) SweepStale(h.Base);
  } catch (...) {
  }
}

struct RunControlGroup::Group {
  std::string Path;
  bool Unified = false, Memory = false, Tasks = false;
  UniqueFd Join;
  // Kept open for the checks after every run, which a series of runs makes
  // a thousand times: the leaf, both member lists, and with memory the
  // charge and both kill counters.
  UniqueFd Leaf, Members, LeafMembers, Charge, Kills, LeafKills;
  // What an earlier run left (reused groups): the memory still charged, and
  // the kills for memory already counted.
  std::uint64_t Leftover = 0, KillsBefore = 0;
  // The limits as last written; 0 = never written (no limit).
  std::uint64_t MemoryLimit = 0;
  std::uint32_t TaskLimit = 0;
};

RunControlGroup::RunControlGroup() {
  PrepareControlGroups();
  OwnFileIdentity own;
  State& state = TheState();
  const std::string name = Owner() + "-run" + std::to_string(state.NextRun++);
  for (const Hierarchy& h : state.Hierarchies) {
    Group group;
    group.Path = h.Base + "/" + name;
    group.Unified = h.Unified;
    group.Memory = h.Memory;
    group.Tasks = h.Tasks;
    const std::string leaf = group.Path + "/" + kLeaf;
    if (mkdir(group.Path.c_str(), 0755) != 0) {
      const int err = errno;
      Remove();
      throw std::system_error(err, std::generic_category(), "cannot make the control group " + group.Path);
    }
    groups_.push_back(std::move(group));
    if (mkdir(leaf.c_str(), 0755) != 0) {
      const int err = errno;
      Remove();
      throw std::system_error(err, std::generic_category(), "cannot make the control group " + leaf);
    }
    Group& made = groups_.back();
    auto keep = [&](UniqueFd& fd, const std::string& file, int flags) {
      fd.Reset(open(file.c_str(), flags | O_CLOEXEC));
      if (fd.Valid()) return;
      const int err = errno;
      Remove();
      throw std::system_error(err, std::generic_category(), "cannot open " + file);
    };
    keep(made.Join, leaf + "/cgroup.procs", O_WRONLY);
    keep(made.Leaf, leaf, O_RDONLY | O_DIRECTORY);
    keep(made.Members, made.Path + "/cgroup.procs", O_RDONLY);
    keep(made.LeafMembers, leaf + "/cgroup.procs", O_RDONLY);
    if (made.Memory) {
      keep(made.Charge, made.Path + (made.Unified ? "/memory.current" : "/memory.usage_in_bytes"), O_RDONLY);
      keep(made.Kills, made.Path + "/" + KillsFile(made.Unified), O_RDONLY);
      keep(made.LeafKills, leaf + "/" + KillsFile(made.Unified), O_RDONLY);
    }
  }
}

RunControlGroup::~RunControlGroup() { Remove(); }

void RunControlGroup::SetLimits(std::uint64_t memoryLimit, std::uint32_t taskLimit) {
  OwnFileIdentity own;
  auto set = [](const std::string& file, const std::string& value, bool optional) {
    const int err = WriteText(file, value);
    if (err != 0 && !(optional && err == ENOENT))
      throw std::system_error(err, std::generic_category(), "cannot write " + value + " to " + file);
  };
  for (Group& g : groups_) {
    // A reused group that had a limit gets none again when none is asked;
    // one that has the limit wanted already keeps it.
    const std::uint64_t wanted = memoryLimit == 0 ? kNoMemoryLimit : std::max(memoryLimit, kLeastGroupMemory) + g.Leftover;
    if (g.Memory && (memoryLimit != 0 || g.MemoryLimit != 0) && wanted != g.MemoryLimit) {
      const std::string limit = LimitText(wanted, g.Unified);
      if (g.Unified) {
        set(g.Path + "/memory.max", limit, false);
        set(g.Path + "/memory.swap.max", "0", true);  // no swap accounting: no swap file
      } else {
        // Memory and swap together may never be limited below memory alone:
        // raised first, lowered last.
        const bool raising = g.MemoryLimit != 0 && wanted > g.MemoryLimit;
        if (raising) set(g.Path + "/memory.memsw.limit_in_bytes", limit, true);
        set(g.Path + "/memory.limit_in_bytes", limit, false);
        if (!raising) set(g.Path + "/memory.memsw.limit_in_bytes", limit, true);
      }
      g.MemoryLimit = wanted;
    }
    if (g.Tasks && g.TaskLimit != taskLimit) {
      set(g.Path + "/pids.max", std::to_string(taskLimit), false);
      g.TaskLimit = taskLimit;
    }
  }
}

std::vector<int> RunControlGroup::JoinDescriptors() const {
  std::vector<int> fds;
  for (const Group& g : groups_) fds.push_back(g.Join.Get());
  return fds;
}

bool RunControlGroup::OutOfMemoryKill() const {
  // A kill is counted in its victim's group, and not always up the tree
  // (never under version 1; under version 2 not with "memory_localevents"):
  // every group of the run is read, the program's own below its leaf too.
  auto killsBelow = [](const auto& self, const std::string& folder, bool unified) -> std::uint64_t {
    std::uint64_t kills = MemoryKills(folder, unified);
    for (const std::string& sub : SubGroups(folder)) kills += self(self, sub, unified);
    return kills;
  };
  for (const Group& g : groups_) {
    if (!g.Memory) continue;
    std::uint64_t kills = MemoryKills(g.Kills.Get()) + MemoryKills(g.LeafKills.Get());
    for (const std::string& sub : SubGroups(g.Path + "/" + kLeaf, g.Leaf.Get()))
      kills += killsBelow(killsBelow, sub, g.Unified);
    if (kills > g.KillsBefore) return true;
  }
  return false;
}

void RunControlGroup::Remove() noexcept {
  if (groups_.empty()) return;
  OwnFileIdentity own;
  for (Group& g : groups_) {
    for (UniqueFd* kept : {&g.Join, &g.Leaf, &g.Members, &g.LeafMembers, &g.Charge, &g.Kills, &g.LeafKills})
      kept->Reset();
    try {
      RemoveRunTree(g.Path);
    } catch (...) {
    }
  }
  groups_.clear();
}

bool RunControlGroup::MakeReadyForNextRun() noexcept {
  OwnFileIdentity own;
  try {
    for (Group& g : groups_) {
      // The program may have made groups of its own below its leaf.
      if (!SubGroups(g.Path + "/" + kLeaf, g.Leaf.Get()).empty()) return false;
      std::string text;
      for (const UniqueFd& members : {std::cref(g.Members), std::cref(g.LeafMembers)})
        if (ReadAgain(members.Get(), text) != 0 || !text.empty()) return false;
      if (!g.Memory) continue;
      if (ReadAgain(g.Charge.Get(), text) != 0) return false;
      g.Leftover = std::stoull(text);
      if (g.Leftover > kMostLeftoverMemory) return false;
      g.KillsBefore = MemoryKills(g.Kills.Get()) + MemoryKills(g.LeafKills.Get());
    }
    return true;
  } catch (...) {
    return false;
  }
}

RunGroupPool::~RunGroupPool() {
  if (kept_) kept_->Remove();
}

std::unique_ptr<RunControlGroup> RunGroupPool::Take() {
  {
    const std::lock_guard lock(mutex_);
    if (kept_) return std::move(kept_);
  }
  return std::make_unique<RunControlGroup>();
}

void RunGroupPool::GiveBack(std::unique_ptr<RunControlGroup> groups) noexcept {
  if (!groups) return;
  if (groups->MakeReadyForNextRun()) {
    const std::lock_guard lock(mutex_);
    if (!kept_) {
      kept_ = std::move(groups);
      return;
    }
  }
  groups->Remove();
}

}  // namespace velkor::platform
