// Exclusive locks that tell processes apart: an flock on a lock file (or on
// any open file), which the kernel drops when its holder dies, however it
// dies, so a crash never leaves a folder locked.
//
// An flock belongs to an open file description: two opens of one file
// conflict even within one process, and a child that inherits the
// descriptor shares the lock (every descriptor here is close-on-exec).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "platform/UniqueFd.h"

namespace velkor::platform {

// Tries to lock the open file Fd exclusively, without waiting. True when
// this open file description holds the lock now; false (errno set) when
// another holds it (EWOULDBLOCK) or locking failed.
bool TryLockExclusive(int Fd);

// A lock file held from Take until Release or destruction. While held, the
// file holds the holder's process id, so that a process refused can name
// the one that holds it.
class TFileLock {
 public:
  enum TResult {
    flAcquired,     // this object holds the lock now
    flHeldByOther,  // another open of the file holds it
    flFailed,       // the file could not be made, opened or locked (Error)
  };

  TFileLock() = default;
  TFileLock(TFileLock&&) = default;
  TFileLock& operator=(TFileLock&&) = default;

  // Opens Path (creating it, mode 0644 so that another account's process
  // can open it to learn that it is held; never through a symbolic link)
  // and locks it without waiting.
  TResult Take(const std::string& Path);
  bool Held() const { return FFd.Valid(); }
  void Release() { FFd.Reset(); }
  // The errno of the last flFailed.
  int Error() const { return FError; }
  // Whether Path still names the file this lock holds: a lock file that
  // somebody deleted or replaced guards nothing any more.
  bool StillAt(const std::string& Path) const;
  // Whether the open file Other is the file this lock holds.
  bool SameFileAs(const struct stat& Other) const;

 private:
  UniqueFd FFd;
  int FError = 0;
};

// Whether some open of the lock file Path (this process's own included)
// holds its lock now: tried without waiting and let go at once. Never
// creates the file nor opens it through a symbolic link. A file that is
// there but cannot be opened counts as held: whoever asks is about to
// delete it, and cannot tell that nobody uses it.
bool LockIsHeld(const std::string& Path);

// The process id written in the lock file Path by its holder; 0 when the
// file cannot be read or holds none.
pid_t LockHolder(const std::string& Path);

}  // namespace velkor::platform
