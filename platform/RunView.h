// The folders a contained run sees hidden and those that stay visible inside
// them, planned as the steps its init takes (ProcessJobs.h, "the run's
// view", tells how the view is made).
#pragma once

#include <string>
#include <vector>

#include "platform/RunProtocol.h"

namespace velkor::platform {

struct PlannedViewStep {
  run::ViewStepKind Kind;
  std::string Path;

  friend bool operator==(const PlannedViewStep&, const PlannedViewStep&) = default;
};

// The steps for folders given as absolute paths without "." or ".." or
// links (as ResolveRunView gives them). Throws std::system_error: EINVAL for
// a folder both hidden and kept, or for the root hidden; E2BIG for more kept
// folders than a run takes.
std::vector<PlannedViewStep> PlanRunView(const std::vector<std::string>& hidden,
                                         const std::vector<std::string>& kept);

// Resolves the folders as they are now (links followed), then plans. A
// hidden folder that does not exist is left out; a kept one must exist.
// Throws std::system_error when a folder cannot be resolved.
std::vector<PlannedViewStep> ResolveRunView(const std::vector<std::string>& hidden,
                                            const std::vector<std::string>& kept);

}  // namespace velkor::platform
