// Unpacking a ZIP archive that comes from outside (a contest archive, a
// submitted ZIP file) so that nothing it holds is written outside the
// folder it is unpacked into. The rules every archive obeys live here; what
// each caller makes of a fault (refuse the whole archive, or pass over the
// entry) is its policy, given in TUnzipRules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velkor {

// A path read from an archive (an entry name or a line of a folder list) as
// a path relative to the folder it is unpacked into, components joined by
// "/"; "\" separates components too, as it does where such archives are
// often made. Nothing when the path could reach outside that folder or
// names nothing: empty, absolute, a drive prefix ("C:"), a "." or ".."
// component, a control character. Empty components ("a//b") are dropped;
// a trailing separator (a folder entry) is allowed and dropped.
std::optional<std::string> SafeArchivePath(std::string_view Name);

// What went wrong with an archive or one of its entries.
enum class TUnzipFaultKind {
  ufOpenArchive,   // the archive cannot be opened (Detail)
  ufListArchive,   // its list of entries cannot be read
  ufOpenRoot,      // the folder to unpack into cannot be opened (Errno)
  ufDamagedEntry,  // an entry's name or size cannot be read (Index, Detail)
  ufUnsafeName,    // a name SafeArchivePath refuses: it could leave the folder
  ufSymbolicLink,  // an entry stored as a symbolic link
  ufDuplicateName, // a second file entry with the same path (RefuseDuplicates)
  ufMakeFolder,    // a folder on an entry's way cannot be created (Folder, Errno)
  ufOpenFolder,    // ... or opened, e.g. it is a link (Folder, Errno)
  ufCreateFile,    // the entry's file cannot be created (Errno)
  ufReadEntry,     // the entry cannot be inflated (Detail)
  ufWriteFile,     // the entry's file cannot be written or closed (Errno)
  ufOversized,     // the entry inflates beyond the size it declares (Size)
};

struct TUnzipFault {
  TUnzipFaultKind Kind = TUnzipFaultKind::ufOpenArchive;
  std::size_t Index = 0;   // the entry's place in the archive, from 0
  std::string Name;        // the entry's name as read; "" for the whole archive
  std::string Path;        // its safe path below the folder, when it has one
  std::string Folder;      // ufMakeFolder, ufOpenFolder: the folder's own name
  std::uint64_t Size = 0;  // ufOversized: the declared size
  int Errno = 0;
  std::string Detail;      // libzip's reason, in Vietnamese (ZipErrors.h)
};

// The rules of one caller.
struct TUnzipRules {
  // The error policy, called with every fault: it throws to stop the whole
  // unpack, or returns (as an empty one does) to pass over the entry (after
  // a fault of the whole archive, ufOpenArchive or ufOpenRoot, nothing is
  // unpacked). Faults of the names (ufDamagedEntry, ufUnsafeName,
  // ufSymbolicLink, ufDuplicateName) come before anything is written. A
  // file left half written is removed first.
  std::function<void(const TUnzipFault&)> OnFault;
  // Names byte for byte as stored (true), or recoded to UTF-8 where libzip
  // takes them for code page 437.
  bool RawNames = true;
  // Only the first MaxEntries entries are looked at.
  std::uint64_t MaxEntries = UINT64_MAX;
  // What all files together may take once inflated: a file that would go
  // beyond it is removed, and when it is spent nothing more is unpacked.
  std::uint64_t MaxBytes = UINT64_MAX;
  // A file stored with an execute bit stays runnable (0755 before the
  // umask, 0666 otherwise). No other bit of the stored mode is taken: not
  // set-user-ID, set-group-ID or sticky, nor write for group and others.
  bool KeepRunnable = false;
  // Two file entries with one path are a fault (ufDuplicateName, for the
  // second): otherwise the later one silently replaces the earlier.
  bool RefuseDuplicates = false;
  // Files get the modification times stored with them.
  bool KeepTimes = false;
  // Once every entry is checked, before anything is written: the number of
  // entries to unpack and the bytes their files declare. May throw.
  std::function<void(std::size_t Entries, std::uint64_t DeclaredBytes)> BeforeWriting;
  // Before entry Done (from 0) of the checked ones: false stops the unpack
  // there (the entries unpacked so far stay). After each: Done + 1.
  std::function<bool(const std::string& Name, std::size_t Done)> BeforeEntry;
  std::function<void(std::size_t Done)> AfterEntry;
};

// Unpacks the archive FileName into the existing Folder under Rules. Entries
// are written only as regular files and folders, through folders opened one
// component at a time without following links, so nothing is created
// outside Folder even if a folder in it changed meanwhile; a file is never
// written beyond the size its entry declares. False when BeforeEntry stopped
// the unpack.
bool SafeUnzip(const std::string& FileName, const std::string& Folder, const TUnzipRules& Rules);

// Creates the folder Path (as SafeArchivePath gives it) below Folder the
// same way, for folders an archive names outside its entries; a fault
// (ufOpenRoot, ufMakeFolder, ufOpenFolder, with Path as the name) goes to
// Rules.OnFault.
void SafeMakeFolder(const std::string& Folder, const std::string& Path, const TUnzipRules& Rules);

}  // namespace velkor
