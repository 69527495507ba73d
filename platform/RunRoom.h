// The room of a contained run: the one folder a program may write. The run
// works on a copy of it on its own size-limited scratch file system
// (ProcessJobs.h, "the run's view"): the keeper fills the copy before the
// program starts and, once every process of the run is gone, brings back
// what the run changed. Only folders and regular files cross in either
// direction; a link, a pipe or a device the program made never reaches the
// machine's folders, and nothing the program wrote can lead Velkor's own
// file work elsewhere. A copy keeps only a file's permission bits, never
// set-user-ID, set-group-ID or sticky, and nobody but its owner may write
// it. Holes in a file stay holes.
//
// Every walk goes one folder at a time, holding one descriptor per tree
// whatever its depth, and refuses a tree deeper than kMaxRoomDepth.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace velkor::platform {

// The deepest a folder may lie below the room, in levels.
inline constexpr int kMaxRoomDepth = 256;

// A room that is not carried across: deeper than kMaxRoomDepth, or, on its
// way back, larger than the run could have written or holding a file with
// several names. The text says why, for the jury; the room is left as it
// was.
class RoomRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct RoomUsage {
  std::uint64_t Bytes = 0;    // in whole pages, as a memory file system counts them
  std::uint64_t Entries = 0;  // files and folders
};

// What the room holds now (folders and regular files, links not followed).
// Throws std::system_error when it cannot be read, RoomRefused when it is
// too deep.
RoomUsage MeasureRoom(const std::string& room);

// What the copy held when the program started: each file by its path in the
// room, with what tells whether it was written since.
struct RoomSnapshot {
  struct Entry {
    ino_t Inode = 0;
    std::int64_t ChangeSec = 0, ChangeNsec = 0;
  };
  std::map<std::string, Entry> Files;
};

// Copies the room's folders and regular files into the scratch folder
// (descriptor), owned by uid and gid (-1 keeps the copier's). Throws
// std::system_error when a copy cannot be made, RoomRefused when the room is
// too deep.
RoomSnapshot FillRoom(const std::string& room, int scratch, int uid, int gid);

// Brings back into the room every file the run made or changed in the
// scratch folder, and removes those it deleted; what it left as it was is not
// touched. What comes back is bounded by what the run could write: the
// files' full sizes and the folders together, in whole pages, may not pass
// the size of the run's scratch file system, and a file with several names
// (hard links) is refused, since each name would be a copy. Nor may more
// than honestBytes come back when the room's own disk has not that much
// free: a run that left that much is at fault, not the jury's disk. Before
// anything is touched, throws RoomRefused when the scratch folder is too
// deep, too large or holds such a file; throws std::system_error when the
// room cannot be updated (ENOSPC when the jury's disk is full).
void ReturnRoom(int scratch, const std::string& room, const RoomSnapshot& before,
                std::uint64_t honestBytes = UINT64_MAX);

}  // namespace velkor::platform
