// The safe unpacking of ZIP archives from outside, on libzip.
//
// Every entry is checked before anything is written: its name must stay
// inside the folder (SafeArchivePath), and it must not be a symbolic link.
// Files are then written one by one, only as regular files, through folders
// opened one component at a time without following links, so that nothing
// can be created outside the folder even if a folder inside it is swapped
// for a link while we work. A file never grows beyond the size its entry
// declares: that is what a caller checked the free space against, and data
// beyond it is a damaged or hostile archive.
#include "judging/SafeUnzip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <memory>
#include <unordered_set>
#include <vector>

#include "judging/ZipErrors.h"
#include "platform/UniqueFd.h"

namespace velkor {
namespace {

using platform::UniqueFd;

constexpr std::size_t kCopyBufferSize = 1 << 16;

struct TZipDiscard {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct TZipFileClose {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// One entry, checked before anything is written.
struct TPlannedEntry {
  zip_uint64_t Index = 0;
  std::string Name;               // as read
  std::string Path;               // its safe path below the folder
  std::vector<std::string> Parts;  // the components of Path
  bool IsFolder = false;
  bool Runnable = false;
  std::uint64_t Size = 0;  // as declared
  time_t MTime = 0;
  bool HasMTime = false;
};

std::vector<std::string> SplitPath(const std::string& Path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= Path.size(); ++i)
    if (i == Path.size() || Path[i] == '/') {
      if (i > start) parts.push_back(Path.substr(start, i - start));
      start = i + 1;
    }
  return parts;
}

class TUnzipper {
 public:
  TUnzipper(const std::string& FileName, const std::string& Folder, const TUnzipRules& Rules)
      : fileName_(FileName), folder_(Folder), rules_(Rules), budget_(Rules.MaxBytes) {}

  // Opens the folder to unpack into; false after a fault.
  bool OpenRoot() {
    root_.Reset(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root_.Valid()) Fault(ArchiveFault(TUnzipFaultKind::ufOpenRoot, errno));
    return root_.Valid();
  }

  bool Run() {
    int code = 0;
    zip_.reset(zip_open(fileName_.c_str(), ZIP_RDONLY, &code));
    if (!zip_) return Fault(ArchiveFault(TUnzipFaultKind::ufOpenArchive, 0, ZipErrorText(code)));
    const zip_int64_t count = zip_get_num_entries(zip_.get(), 0);
    if (count < 0) return Fault(ArchiveFault(TUnzipFaultKind::ufListArchive, 0, ZipErrorText(zip_.get())));
    std::vector<TPlannedEntry> plan;
    std::uint64_t declared = 0;
    std::unordered_set<std::string> files;
    for (zip_uint64_t i = 0; i < std::min<std::uint64_t>(static_cast<std::uint64_t>(count), rules_.MaxEntries); ++i)
      if (std::optional<TPlannedEntry> e = Plan(i)) {
        if (rules_.RefuseDuplicates && !e->IsFolder && !files.insert(e->Path).second) {
          Fault(EntryFault(TUnzipFaultKind::ufDuplicateName, *e));
          continue;
        }
        declared = e->Size > UINT64_MAX - declared ? UINT64_MAX : declared + e->Size;
        plan.push_back(std::move(*e));
      }
    if (rules_.BeforeWriting) rules_.BeforeWriting(plan.size(), declared);

    if (!OpenRoot()) return true;
    for (std::size_t done = 0; done < plan.size(); ++done) {
      const TPlannedEntry& e = plan[done];
      if (rules_.BeforeEntry && !rules_.BeforeEntry(e.Name, done)) return false;
      if (e.IsFolder) {
        OpenFolder(e, e.Parts.size());
      } else if (!WriteFile(e)) {
        return true;  // the byte budget is spent
      }
      if (rules_.AfterEntry) rules_.AfterEntry(done + 1);
    }
    return true;
  }

  // Hands Fault to the policy; true, for a caller that has nothing more to
  // do, when the policy passes over it.
  bool Fault(const TUnzipFault& Fault) {
    if (rules_.OnFault) rules_.OnFault(Fault);
    return true;
  }
  static TUnzipFault ArchiveFault(TUnzipFaultKind Kind, int Errno, std::string Detail = "") {
    TUnzipFault f;
    f.Kind = Kind;
    f.Errno = Errno;
    f.Detail = std::move(Detail);
    return f;
  }
  static TUnzipFault EntryFault(TUnzipFaultKind Kind, const TPlannedEntry& Entry) {
    TUnzipFault f;
    f.Kind = Kind;
    f.Index = Entry.Index;
    f.Name = Entry.Name;
    f.Path = Entry.Path;
    return f;
  }

  std::optional<TPlannedEntry> Plan(zip_uint64_t Index) {
    const zip_flags_t encoding = rules_.RawNames ? ZIP_FL_ENC_RAW : ZIP_FL_ENC_GUESS;
    const char* name = zip_get_name(zip_.get(), Index, encoding);
    zip_stat_t st;
    if (name == nullptr || zip_stat_index(zip_.get(), Index, encoding, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
      TUnzipFault f = ArchiveFault(TUnzipFaultKind::ufDamagedEntry, 0, ZipErrorText(zip_.get()));
      f.Index = Index;
      f.Name = name ? name : "";
      Fault(f);
      return std::nullopt;
    }
    TPlannedEntry e;
    e.Index = Index;
    e.Name = name;
    const std::optional<std::string> path = SafeArchivePath(e.Name);
    if (!path) {
      Fault(EntryFault(TUnzipFaultKind::ufUnsafeName, e));
      return std::nullopt;
    }
    e.Path = *path;
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(zip_.get(), Index, 0, &opsys, &attributes) == 0 &&
        opsys == ZIP_OPSYS_UNIX) {
      const mode_t mode = (attributes >> 16) & 0xFFFF;
      if (S_ISLNK(mode)) {
        Fault(EntryFault(TUnzipFaultKind::ufSymbolicLink, e));
        return std::nullopt;
      }
      e.Runnable = (mode & 0111) != 0;
    }
    e.Parts = SplitPath(e.Path);
    e.IsFolder = e.Name.back() == '/' || e.Name.back() == '\\';
    e.Size = e.IsFolder ? 0 : st.size;
    e.HasMTime = (st.valid & ZIP_STAT_MTIME) != 0;
    e.MTime = st.mtime;
    return e;
  }

  void MakeFolder(const std::string& Path) {
    TPlannedEntry e;
    e.Name = e.Path = Path;
    e.Parts = SplitPath(Path);
    if (OpenRoot()) OpenFolder(e, e.Parts.size());
  }

 private:
  // The folder Entry.Parts[0..Count) below the root, each missing one
  // created, no link followed; invalid after a fault the policy passed over.
  UniqueFd OpenFolder(const TPlannedEntry& Entry, std::size_t Count) {
    UniqueFd current(::fcntl(root_.Get(), F_DUPFD_CLOEXEC, 0));
    if (!current.Valid()) {
      Fault(ArchiveFault(TUnzipFaultKind::ufOpenRoot, errno));
      return current;
    }
    for (std::size_t k = 0; k < Count; ++k) {
      const char* name = Entry.Parts[k].c_str();
      int fd = ::openat(current.Get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0 && errno == ENOENT) {
        if (::mkdirat(current.Get(), name, 0777) != 0 && errno != EEXIST) {
          TUnzipFault f = EntryFault(TUnzipFaultKind::ufMakeFolder, Entry);
          f.Folder = name;
          f.Errno = errno;
          Fault(f);
          return UniqueFd();
        }
        fd = ::openat(current.Get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      }
      if (fd < 0) {
        TUnzipFault f = EntryFault(TUnzipFaultKind::ufOpenFolder, Entry);
        f.Folder = name;
        f.Errno = errno;
        Fault(f);
        return UniqueFd();
      }
      current.Reset(fd);
    }
    return current;
  }

  // Writes one file; false when the byte budget is spent and nothing more
  // is to be unpacked.
  bool WriteFile(const TPlannedEntry& Entry) {
    // Entries come folder by folder, so the last folder opened serves most.
    const std::vector<std::string> parent(Entry.Parts.begin(), Entry.Parts.end() - 1);
    if (!parentFd_.Valid() || parent != parentParts_) {
      parentFd_ = OpenFolder(Entry, parent.size());
      parentParts_ = parent;
      if (!parentFd_.Valid()) return true;
    }
    const int folderFd = parentFd_.Get();
    const char* leaf = Entry.Parts.back().c_str();

    std::unique_ptr<zip_file_t, TZipFileClose> in(zip_fopen_index(zip_.get(), Entry.Index, 0));
    if (!in) {
      TUnzipFault f = EntryFault(TUnzipFaultKind::ufReadEntry, Entry);
      f.Detail = ZipErrorText(zip_.get());
      return Fault(f);
    }
    UniqueFd out(::openat(folderFd, leaf, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                          Entry.Runnable && rules_.KeepRunnable ? 0755 : 0666));
    if (!out.Valid()) {
      TUnzipFault f = EntryFault(TUnzipFaultKind::ufCreateFile, Entry);
      f.Errno = errno;
      return Fault(f);
    }
    // A file half written is of no use to anyone: it goes before the
    // policy hears of the fault.
    auto failed = [&](const TUnzipFault& f) {
      out.Reset();
      ::unlinkat(folderFd, leaf, 0);
      return Fault(f);
    };
    std::unique_ptr<char[]> buffer(new char[kCopyBufferSize]);
    std::uint64_t written = 0;
    for (;;) {
      const zip_int64_t n = zip_fread(in.get(), buffer.get(), kCopyBufferSize);
      if (n < 0) {
        TUnzipFault f = EntryFault(TUnzipFaultKind::ufReadEntry, Entry);
        f.Detail = ZipErrorText(in.get());
        return failed(f);
      }
      if (n == 0) break;
      const auto bytes = static_cast<std::uint64_t>(n);
      if (bytes > Entry.Size - written) {
        TUnzipFault f = EntryFault(TUnzipFaultKind::ufOversized, Entry);
        f.Size = Entry.Size;
        return failed(f);
      }
      if (bytes > budget_) {
        out.Reset();
        ::unlinkat(folderFd, leaf, 0);
        return budget_ != 0;
      }
      budget_ -= bytes;
      written += bytes;
      for (zip_int64_t done = 0; done < n;) {
        const ssize_t w = ::write(out.Get(), buffer.get() + done, static_cast<std::size_t>(n - done));
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) {
          TUnzipFault f = EntryFault(TUnzipFaultKind::ufWriteFile, Entry);
          f.Errno = errno;
          return failed(f);
        }
        done += w;
      }
    }
    if (rules_.KeepTimes && Entry.HasMTime) {
      const timespec times[2] = {{0, UTIME_OMIT}, {Entry.MTime, 0}};
      ::futimens(out.Get(), times);
    }
    // Some file systems report a failed write only when the file closes.
    if (const int err = out.Close(); err != 0) {
      TUnzipFault f = EntryFault(TUnzipFaultKind::ufWriteFile, Entry);
      f.Errno = err;
      return failed(f);
    }
    return true;
  }

  const std::string& fileName_;
  const std::string& folder_;
  const TUnzipRules& rules_;
  std::uint64_t budget_;
  std::unique_ptr<zip_t, TZipDiscard> zip_;
  UniqueFd root_;
  std::vector<std::string> parentParts_;
  UniqueFd parentFd_;
};

}  // namespace

std::optional<std::string> SafeArchivePath(std::string_view Name) {
  if (Name.empty() || Name[0] == '/' || Name[0] == '\\') return std::nullopt;
  if (Name.size() >= 2 && Name[1] == ':' && std::isalpha(static_cast<unsigned char>(Name[0])))
    return std::nullopt;
  std::string path;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= Name.size(); ++i) {
    if (i < Name.size() && Name[i] != '/' && Name[i] != '\\') {
      const auto c = static_cast<unsigned char>(Name[i]);
      if (c < 0x20 || c == 0x7F) return std::nullopt;
      continue;
    }
    const std::string_view part = Name.substr(start, i - start);
    start = i + 1;
    if (part.empty()) continue;
    if (part == "." || part == "..") return std::nullopt;
    if (!path.empty()) path += '/';
    path += part;
  }
  if (path.empty()) return std::nullopt;
  return path;
}

bool SafeUnzip(const std::string& FileName, const std::string& Folder, const TUnzipRules& Rules) {
  return TUnzipper(FileName, Folder, Rules).Run();
}

void SafeMakeFolder(const std::string& Folder, const std::string& Path, const TUnzipRules& Rules) {
  TUnzipper(std::string(), Folder, Rules).MakeFolder(Path);
}

}  // namespace velkor
