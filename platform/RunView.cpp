#include "platform/RunView.h"

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

std::size_t Depth(const std::string& path) { return static_cast<std::size_t>(std::count(path.begin(), path.end(), '/')); }

// Whether path lies strictly below folder.
bool Below(const std::string& path, const std::string& folder) {
  if (folder == "/") return path.size() > 1 && path.front() == '/';
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

struct Wanted {
  std::string Path;
  bool Keep;
};

}  // namespace

std::vector<PlannedViewStep> PlanRunView(const std::vector<std::string>& hidden,
                                         const std::vector<std::string>& kept) {
  std::vector<Wanted> wanted;
  for (const std::string& h : hidden) {
    if (h == "/") throw ViewError(EINVAL, "the root folder cannot be hidden from a run");
    wanted.push_back({h, false});
  }
  for (const std::string& k : kept) {
    if (std::find(hidden.begin(), hidden.end(), k) != hidden.end())
      throw ViewError(EINVAL, "a folder cannot be both hidden from a run and kept for it: " + k);
    wanted.push_back({k, true});
  }
  // Outer folders first: a mount lies over whatever was mounted above it.
  std::sort(wanted.begin(), wanted.end(), [](const Wanted& a, const Wanted& b) {
    const std::size_t da = Depth(a.Path), db = Depth(b.Path);
    return da != db ? da < db : a.Path < b.Path;
  });
  wanted.erase(std::unique(wanted.begin(), wanted.end(), [](const Wanted& a, const Wanted& b) { return a.Path == b.Path; }),
               wanted.end());

  std::vector<Wanted> mounted;  // what the view is made of, outer first
  std::vector<PlannedViewStep> steps;
  std::set<std::string> made;
  int keptCount = 0;
  for (const Wanted& w : wanted) {
    // The innermost mount above w decides what w looks like so far.
    const Wanted* cover = nullptr;
    for (const Wanted& m : mounted)
      if (Below(w.Path, m.Path) && (cover == nullptr || Depth(m.Path) > Depth(cover->Path))) cover = &m;
    const bool hiddenNow = cover != nullptr && !cover->Keep;
    if (w.Keep != hiddenNow) continue;  // already as wanted
    if (w.Keep) {
      if (++keptCount > run::kMaxKeptFolders) throw ViewError(E2BIG, "too many folders kept for a run");
      // The way down to it on the hidden file system above it.
      std::size_t slash = cover->Path.size();
      do {
        slash = w.Path.find('/', slash + 1);
        const std::string folder = w.Path.substr(0, slash);
        if (made.insert(folder).second) steps.push_back({run::kViewMakeFolder, folder});
      } while (slash != std::string::npos);
    }
    steps.push_back({w.Keep ? run::kViewKeep : run::kViewHide, w.Path});
    mounted.push_back(w);
  }
  // A hidden folder with a kept one below lets the program pass, not look.
  for (PlannedViewStep& step : steps) {
    if (step.Kind != run::kViewHide) continue;
    for (const Wanted& m : mounted)
      if (m.Keep && Below(m.Path, step.Path)) step.Kind = run::kViewPassage;
  }
  for (const Wanted& m : mounted)
    if (!m.Keep) steps.push_back({run::kViewSeal, m.Path});
  return steps;
}

std::vector<PlannedViewStep> ResolveRunView(const std::vector<std::string>& hidden,
                                            const std::vector<std::string>& kept) {
  std::vector<std::string> hiddenPaths, keptPaths;
  for (const std::string& h : hidden) {
    std::error_code ec;
    const fs::path real = fs::canonical(h, ec);
    if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory) continue;
    if (ec) throw ViewError(ec.value(), "cannot find the folder to hide from a run: " + h);
    hiddenPaths.push_back(real.string());
  }
  for (const std::string& k : kept) {
    std::error_code ec;
    const fs::path real = fs::canonical(k, ec);
    if (ec) throw ViewError(ec.value(), "cannot find the folder to keep for a run: " + k);
    keptPaths.push_back(real.string());
  }
  return PlanRunView(hiddenPaths, keptPaths);
}

}  // namespace velkor::platform
