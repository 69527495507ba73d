// Where the runner's control groups go, on the layouts machines have.
#include "platform/ControlGroups.h"

#include <gtest/gtest.h>

namespace velkor::platform {
namespace {

constexpr const char* kHybridMounts =
    "31 22 0:28 / /sys/fs/cgroup rw,relatime - tmpfs tmpfs rw,mode=755\n"
    "35 31 0:32 / /sys/fs/cgroup/memory rw,relatime - cgroup cgroup rw,memory\n"
    "39 31 0:36 / /sys/fs/cgroup/pids rw,relatime - cgroup cgroup rw,pids\n"
    "40 31 0:37 / /sys/fs/cgroup/systemd rw,relatime - cgroup cgroup rw,name=systemd\n"
    "41 31 0:38 / /sys/fs/cgroup/unified rw,relatime - cgroup2 cgroup2 rw\n"
    "50 22 0:40 / /dev/shm rw - tmpfs tmpfs rw\n";
constexpr const char* kUnifiedMount =
    "35 24 0:30 / /sys/fs/cgroup rw,nosuid shared:9 - cgroup2 cgroup2 rw,nsdelegate\n";

TEST(ControlGroupLayout, FollowsTheMachinesLayout) {
  struct Case {
    const char* what;
    const char* mountinfo;
    const char* cgroups;
    std::string memory, tasks;
    bool unified;
  } cases[] = {
      {"version 1 beside an empty unified hierarchy", kHybridMounts,
       "9:name=systemd:/\n8:pids:/\n4:memory:/jobs/abc\n0::/\n", "/sys/fs/cgroup/memory/jobs/abc",
       "/sys/fs/cgroup/pids", false},
      {"unified only", kUnifiedMount, "0::/user.slice/velkor.scope\n",
       "/sys/fs/cgroup/user.slice/velkor.scope", "/sys/fs/cgroup/user.slice/velkor.scope", true},
      {"unified, root of a cgroup namespace", kUnifiedMount, "0::/\n", "/sys/fs/cgroup", "/sys/fs/cgroup", true},
      {"outside the cgroup namespace", kUnifiedMount, "0::/../../other\n", "", "", true},
      {"version 1 mounted from a sub-group, blank in the path",
       "60 1 0:32 /docker/abc /mnt/c\\040g rw - cgroup cgroup rw,memory,pids\n", "5:memory,pids:/docker/abc/x\n",
       "/mnt/c g/x", "/mnt/c g/x", false},
      {"version 1 group outside the mount", "60 1 0:32 /docker/abc /mnt/cg rw - cgroup cgroup rw,memory,pids\n",
       "5:memory,pids:/elsewhere\n", "", "", false},
      {"no cgroup file system", "50 22 0:40 / /dev/shm rw - tmpfs tmpfs rw\n", "0::/\n", "", "", false},
  };
  for (const Case& c : cases) {
    const ControlGroupLayout layout = FindControlGroupLayout(c.mountinfo, c.cgroups);
    EXPECT_EQ(layout.Memory.Folder, c.memory) << c.what;
    EXPECT_EQ(layout.Tasks.Folder, c.tasks) << c.what;
    if (!c.memory.empty()) {
      EXPECT_EQ(layout.Memory.Unified, c.unified) << c.what;
    }
    // A missing place says why.
    EXPECT_EQ(layout.Memory.Problem.empty(), !c.memory.empty()) << c.what;
    EXPECT_EQ(layout.Tasks.Problem.empty(), !c.tasks.empty()) << c.what;
  }
}

}  // namespace
}  // namespace velkor::platform
