// File attributes, find records and exclusive opening: the Windows file
// model that the judge's file routines are written against, on a POSIX file
// system.
//
// Attributes are synthesised from the file's mode: a folder carries
// faDirectory, a file faArchive, a symbolic link also faSymLink, and a file
// that its owner cannot write faReadOnly. Setting attributes only ever
// changes write permission: hidden and system have no POSIX counterpart and
// are ignored, and the read-only bit is ignored on folders, because Windows
// does not let it protect a folder's contents either, while on Linux a
// write-protected folder would make everything in it undeletable.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>

namespace velkor::platform {

inline constexpr std::uint32_t faReadOnly = 0x01;
inline constexpr std::uint32_t faHidden = 0x02;
inline constexpr std::uint32_t faSysFile = 0x04;
inline constexpr std::uint32_t faDirectory = 0x10;
inline constexpr std::uint32_t faArchive = 0x20;
inline constexpr std::uint32_t faNormal = 0x80;
inline constexpr std::uint32_t faSymLink = 0x400;  // a reparse point on Windows

// What a folder listing learns about one entry.
struct FileRecord {
  std::uint32_t Attr = 0;
  timespec CreationTime{};  // birth time where the file system keeps it, else the change time
  timespec LastAccessTime{};
  timespec LastWriteTime{};
  std::uint64_t Size = 0;  // 0 for folders
};

// Describes the entry at path itself (a symbolic link is not followed, but a
// link to a folder is marked as a folder). 0 or an errno value.
int ReadFileRecord(const std::string& path, FileRecord& record);

// The attributes of path, following nothing. 0 or an errno value.
int GetFileAttributes(const std::string& path, std::uint32_t& attr);

// Applies attr to path as described above. A symbolic link is left alone
// (changing it would change its target, which may lie anywhere). 0 or an
// errno value.
int SetFileAttributes(const std::string& path, std::uint32_t attr);

// A time stamp as a local date-time: days since 1899-12-30 with the time of
// day as the fraction, milliseconds included.
double FileTimeToLocalDateTime(const timespec& time);

// Makes SIGIO harmless to this process, once: a lease we hold is broken
// by another process opening the file, and the kernel then sends SIGIO,
// whose default action would end us. Called before taking any lease.
void SurviveLeaseBreaks();

// Whether path could be opened for reading and writing with nobody else
// holding it open. 0 when it could, EBUSY when another descriptor holds it,
// else the errno of the failed open.
int TryOpenExclusively(const std::string& path);

// The process's file-creation mask, read without changing it.
mode_t CurrentUmask();

}  // namespace velkor::platform
