#include "platform/RunView.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>
#include <system_error>

namespace velkor::platform {
namespace {

namespace fs = std::filesystem;

std::system_error ViewError(int err, const std::string& what) {
  return std::system_error(err, std::generic_category(), what);
}

std::size_t Depth(const std::string& path) {
  return path == "/" ? 0 : static_cast<std::size_t>(std::count(path.begin(), path.end(), '/'));
}

// Whether path lies strictly below folder.
bool Below(const std::string& path, const std::string& folder) {
  if (folder == "/") return path.size() > 1 && path.front() == '/';
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

bool SameOrBelow(const std::string& path, const std::string& folder) { return path == folder || Below(path, folder); }

// Where the scratch file system is attached while its folders are shown in
// the view: over the machine's /dev in the run's namespace (every machine
// has it, and its device nodes are taken before), so that it goes with the
// machine's root when the root is switched, without an unmount of its own.
constexpr const char* kScratchPlace = "/dev";

// One file system (or copy of one) placed in the view.
struct Mount {
  enum Kind { Tree, Scratch, Devices, Shm, Proc, RoomFile } Kind;
  std::string Path;
  std::string ScratchFolder;  // Scratch: which of its folders; RoomFile: which of its files
  // Placed by each run itself: the run's own file systems, and whatever
  // lies on one of them.
  bool PerRun = false;
};

// Builds the steps of both parts; the copies of machine folders are
// collected in the order they are attached, and taken in that order before
// anything else of their part.
class Planner {
 public:
  explicit Planner(const RunViewRequest& request) : request_(request) {}

  PlannedView Plan() {
    std::vector<Mount> mounts = Mounts();
    std::sort(mounts.begin(), mounts.end(), [](const Mount& a, const Mount& b) {
      const std::size_t da = Depth(a.Path), db = Depth(b.Path);
      return da != db ? da < db : a.Path < b.Path;
    });
    Add(skeleton_, run::kViewRoot, "");
    run_.Body.push_back({run::kViewScratch, kScratchPlace, ""});
    for (const auto& [name, target] : request_.RootLinks) Add(skeleton_, run::kViewLink, "/" + name, target);
    for (Mount& m : mounts) Place(m);
    Add(skeleton_, run::kViewSeal, "");
    Add(run_, run::kViewPivot, "");

    if (skeleton_.Taken.size() + run_.Taken.size() > static_cast<std::size_t>(run::kMaxTakenTrees))
      throw ViewError(E2BIG, "too many folders shown to a run");
    return {skeleton_.Steps(), run_.Steps()};
  }

 private:
  struct Part {
    std::vector<PlannedViewStep> Body;
    std::vector<std::pair<run::ViewStepKind, std::string>> Taken;

    std::vector<PlannedViewStep> Steps() const {
      std::vector<PlannedViewStep> steps;
      for (const auto& [kind, path] : Taken) steps.push_back({kind, path, ""});
      steps.insert(steps.end(), Body.begin(), Body.end());
      return steps;
    }
  };

  std::vector<Mount> Mounts() const {
    const std::string& room = request_.Room;
    const std::vector<std::string> special = {"/proc", "/dev", "/dev/shm", "/tmp", "/var/tmp"};
    auto isSpecial = [&](const std::string& p) { return std::find(special.begin(), special.end(), p) != special.end(); };
    if (!room.empty() && (room == "/" || SameOrBelow(room, "/proc") || isSpecial(room)))
      throw ViewError(EINVAL, "a run's room cannot be " + room);
    std::vector<Mount> mounts = {{Mount::Proc, "/proc", ""},
                                 {Mount::Devices, "/dev", ""},
                                 {Mount::Shm, "/dev/shm", ""},
                                 {Mount::Scratch, "/tmp", kScratchTmp},
                                 {Mount::Scratch, "/var/tmp", kScratchVarTmp}};
    if (!room.empty()) mounts.push_back({Mount::Scratch, kRunRoom, kScratchRoom});
    for (const std::string& name : request_.RoomFiles) {
      if (room.empty() || !IsPlainName(name))
        throw ViewError(EINVAL, "a run's room does not hold " + name);
      mounts.push_back({Mount::RoomFile, std::string(kRunRoom) + "/" + name, std::string(kScratchRoom) + "/" + name});
    }
    std::vector<std::string> folders = request_.ReadOnly;
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const std::string& f : folders) {
      if (f == "/") throw ViewError(EINVAL, "a run cannot be shown the whole file system");
      if (SameOrBelow(f, "/proc")) throw ViewError(EINVAL, "a run cannot be shown " + f);
      // The run's own /tmp or /dev is in its place; the room shows what
      // lies inside it; an outer folder shows this one already.
      if (isSpecial(f) || (!room.empty() && SameOrBelow(f, room))) continue;
      if (SameOrBelow(f, kRunRoom)) throw ViewError(EINVAL, "a run cannot be shown " + f + ": its room is shown there");
      if (std::any_of(folders.begin(), folders.end(), [&](const std::string& o) { return Below(f, o); })) continue;
      mounts.push_back({Mount::Tree, f, ""});
    }
    return mounts;
  }

  void Place(Mount& m) {
    // The innermost file system placed above m decides whether its folder
    // must be made (on a file system of the run's) or is there already (in
    // a copy of the machine's, which is read-only), and in which part.
    const Mount* cover = nullptr;
    for (const Mount& p : placed_)
      if (Below(m.Path, p.Path) && (cover == nullptr || Depth(p.Path) > Depth(cover->Path))) cover = &p;
    if (cover != nullptr && cover->Kind == Mount::Proc) throw ViewError(EINVAL, "a run cannot be shown " + m.Path);
    const bool onRunsOwn = cover != nullptr && cover->PerRun;
    m.PerRun = onRunsOwn || m.Kind == Mount::Scratch || m.Kind == Mount::Shm || m.Kind == Mount::Proc ||
               m.Kind == Mount::RoomFile;
    // The device folder is one of the new root's own, made listable; a room
    // file goes over its copy.
    if (m.Kind != Mount::Devices && m.Kind != Mount::RoomFile && (cover == nullptr || cover->Kind != Mount::Tree))
      MakeFolders(onRunsOwn ? run_ : skeleton_, cover == nullptr ? "/" : cover->Path, m.Path);
    Part& part = m.PerRun ? run_ : skeleton_;
    switch (m.Kind) {
      case Mount::Tree:
        part.Taken.emplace_back(run::kViewTakeTree, m.Path);
        Add(part, run::kViewAttach, m.Path);
        break;
      case Mount::Scratch: Add(part, run::kViewBind, m.Path, std::string(kScratchPlace) + "/" + m.ScratchFolder); break;
      case Mount::Devices: PlaceDevices(part, m.Path); break;
      case Mount::Shm: Add(part, run::kViewShm, m.Path); break;
      case Mount::Proc: Add(part, run::kViewProc, m.Path); break;
      case Mount::RoomFile:
        part.Taken.emplace_back(run::kViewTakeRoomFile, m.ScratchFolder);
        Add(part, run::kViewAttach, m.Path);
        break;
    }
    placed_.push_back(m);
  }

  void PlaceDevices(Part& part, const std::string& dev) {
    Add(part, run::kViewDevices, dev);
    for (const std::string& node : request_.Devices) {
      const std::string name = node.substr(node.rfind('/') + 1);
      part.Taken.emplace_back(run::kViewTakeNode, node);
      Add(part, run::kViewFile, dev + "/" + name);
      Add(part, run::kViewAttach, dev + "/" + name);
    }
    Add(part, run::kViewLink, dev + "/fd", "/proc/self/fd");
    Add(part, run::kViewLink, dev + "/stdin", "/proc/self/fd/0");
    Add(part, run::kViewLink, dev + "/stdout", "/proc/self/fd/1");
    Add(part, run::kViewLink, dev + "/stderr", "/proc/self/fd/2");
  }

  // The folders from below `from` down to `to`, each made once.
  void MakeFolders(Part& part, const std::string& from, const std::string& to) {
    std::size_t slash = from == "/" ? 0 : from.size();
    do {
      slash = to.find('/', slash + 1);
      const std::string folder = to.substr(0, slash);
      if (made_.insert(folder).second) Add(part, run::kViewFolder, folder);
    } while (slash != std::string::npos);
  }

  // Paths in the view are written where the new root is being built.
  static void Add(Part& part, run::ViewStepKind kind, const std::string& path, const std::string& target = "") {
    part.Body.push_back({kind, std::string(kViewStaging) + path, target});
  }

  const RunViewRequest& request_;
  Part skeleton_, run_;
  std::vector<Mount> placed_;
  std::set<std::string> made_;
};

}  // namespace

bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

std::vector<std::string> SystemFolders() {
  return {"/usr", "/etc", "/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"};
}

std::vector<std::string> RunDevices() {
  return {"/dev/null", "/dev/zero", "/dev/full", "/dev/random", "/dev/urandom"};
}

std::vector<PlannedViewStep> PlannedView::Steps() const {
  std::vector<PlannedViewStep> steps = Skeleton;
  steps.insert(steps.end(), Run.begin(), Run.end());
  return steps;
}

PlannedView PlanRunView(const RunViewRequest& request) { return Planner(request).Plan(); }

namespace {

// The machine's part of every view, found once: system folders, their links
// and the devices do not move while Velkor runs.
const RunViewRequest& SystemView() {
  static const RunViewRequest system = [] {
    RunViewRequest request;
    for (const std::string& folder : SystemFolders()) {
      struct stat st {};
      if (lstat(folder.c_str(), &st) != 0) continue;
      if (S_ISDIR(st.st_mode)) {
        request.ReadOnly.push_back(folder);
      } else if (S_ISLNK(st.st_mode)) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(folder, ec);
        if (!ec) request.RootLinks.emplace_back(folder.substr(1), target.string());
      }
    }
    for (const std::string& node : RunDevices())
      if (access(node.c_str(), F_OK) == 0) request.Devices.push_back(node);
    return request;
  }();
  return system;
}

}  // namespace

std::string ResolvePath(const std::string& path, std::error_code& ec) {
  ec.clear();
  const int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
  if (fd < 0) {
    ec.assign(errno, std::generic_category());
    return "";
  }
  char buffer[PATH_MAX + 1];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = readlink(link.c_str(), buffer, PATH_MAX);
  close(fd);
  // Without a /proc (or for a name too long for it) the long way.
  if (n <= 0 || n >= PATH_MAX || buffer[0] != '/') return fs::canonical(path, ec).string();
  return std::string(buffer, static_cast<std::size_t>(n));
}

namespace {

// The folders as they lie now; one that is not there is left out.
std::vector<std::string> ResolvedFolders(const std::vector<std::string>& folders) {
  std::vector<std::string> resolved;
  for (const std::string& folder : folders) {
    std::error_code ec;
    if (std::string real = ResolvePath(folder, ec); !ec) resolved.push_back(std::move(real));
  }
  return resolved;
}

// Whether the resolved folder is, or holds, one of the resolved others.
bool HoldsAnyResolved(const std::string& folder, const std::vector<std::string>& others) {
  const std::string below = folder == "/" ? folder : folder + "/";
  return std::any_of(others.begin(), others.end(),
                     [&](const std::string& other) { return other == folder || other.starts_with(below); });
}

}  // namespace

bool HoldsAnyOf(const std::string& folder, const std::vector<std::string>& others) {
  std::error_code ec;
  const std::string real = ResolvePath(folder, ec);
  return !ec && HoldsAnyResolved(real, ResolvedFolders(others));
}

PlannedView ResolveRunView(const std::vector<std::string>& readOnly, const std::string& room,
                           const std::vector<std::string>& roomFiles, const std::vector<std::string>& hidden) {
  RunViewRequest request = SystemView();
  const std::vector<std::string> hiddenReal = ResolvedFolders(hidden);
  for (const std::string& folder : readOnly) {
    std::error_code ec;
    const std::string real = ResolvePath(folder, ec);
    if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory) continue;
    if (ec) throw ViewError(ec.value(), "cannot find the folder to show a run: " + folder);
    if (fs::is_directory(real, ec) && !HoldsAnyResolved(real, hiddenReal)) request.ReadOnly.push_back(real);
  }
  if (!room.empty()) {
    std::error_code ec;
    const std::string real = ResolvePath(room, ec);
    if (ec) throw ViewError(ec.value(), "cannot find the room of a run: " + room);
    if (!fs::is_directory(real, ec)) throw ViewError(ENOTDIR, "the room of a run is not a folder: " + room);
    request.Room = real;
    request.RoomFiles = roomFiles;
  }
  return PlanRunView(request);
}

}  // namespace velkor::platform
