// The contest archive: TContestInfo::FileSave and FileLoad on libzip.
//
// Packing. libzip writes nothing until zip_close: zip_file_add only records
// where each entry's data will come from, and zip_close then reads the
// sources one by one, in entry order, compressing each into a temporary file
// beside the archive, which it renames over the archive when everything is
// written. Every entry's data therefore comes from a source of our own
// (EntrySourceCallback): the moment libzip opens it is the moment that
// entry is packed, so that is where the progress window moves on and where
// Esc is heard. Refusing to open a source makes zip_close fail; libzip then
// removes its temporary file, and an archive that was there before stays
// as it was. A save thus replaces the old archive only when the new one is
// complete.
//
// Unpacking. Every entry name is checked before anything is written
// (SafeArchivePath): an archive holding a name that could leave the unpack
// folder, or a symbolic link, is refused as a whole. Entries are written
// only as regular files, through folders opened one component at a time
// without following links, so nothing can be created outside the folder
// even if the folder itself changed while we worked.
#include "judging/ContestArchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "core/FileUtils.h"
#include "core/SystemInfo.h"
#include "core/Unicode.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/ProgressHooks.h"
#include "platform/SpecialFolders.h"
#include "platform/SystemErrors.h"
#include "platform/UniqueFd.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using platform::UniqueFd;

// The level "zip" uses by default. libzip's own default, 9, costs about
// twice the time for a percent or two of size.
constexpr int kDeflateLevel = 6;
constexpr std::size_t kCopyBufferSize = 1 << 16;
constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";

class EArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string ErrnoText(int err) { return platform::ErrnoMessage(err); }

struct TZipDiscard {
  void operator()(zip_t* z) const { zip_discard(z); }
};
using TZipHandle = std::unique_ptr<zip_t, TZipDiscard>;

struct TZipFileClose {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using TZipFileHandle = std::unique_ptr<zip_file_t, TZipFileClose>;

TZipHandle OpenZip(const std::string& FileName, int Flags) {
  int code = 0;
  zip_t* z = zip_open(FileName.c_str(), Flags, &code);
  if (z == nullptr) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw EArchiveError("Cannot open the archive \"" + FileName + "\": " + text);
  }
  return TZipHandle(z);
}

// Calls ProgressFree when the work ends, however it ends.
class TProgressScope {
 public:
  TProgressScope() = default;
  TProgressScope(const TProgressScope&) = delete;
  TProgressScope& operator=(const TProgressScope&) = delete;
  ~TProgressScope() {
    try {
      ProgressFree();
    } catch (...) {
      // The window is the GUI's; its failure to close must not hide the result.
    }
  }
};

// ---------------------------------------------------------------- packing

// The data of one entry as libzip reads it while it writes the archive:
// a file on disk or bytes in memory.
struct TEntrySource {
  std::string DiskFile;  // read from here when not empty
  std::string Bytes;     // otherwise these
  time_t MTime = 0;
  // Runs as libzip starts on the entry; False cancels the whole archive.
  std::function<bool()> OnOpen;
  // Runs once the entry's data has been read.
  std::function<void()> OnPacked;

  UniqueFd Fd;
  std::size_t Offset = 0;
  zip_error_t Error{};

  TEntrySource() { zip_error_init(&Error); }
  ~TEntrySource() { zip_error_fini(&Error); }
  TEntrySource(const TEntrySource&) = delete;
  TEntrySource& operator=(const TEntrySource&) = delete;

  zip_int64_t Fail(int ZipError, int SystemError) {
    zip_error_set(&Error, ZipError, SystemError);
    return -1;
  }
};

zip_int64_t EntrySourceCallback(void* State, void* Data, zip_uint64_t Length, zip_source_cmd_t Cmd) {
  auto* e = static_cast<TEntrySource*>(State);
  switch (Cmd) {
    case ZIP_SOURCE_OPEN: {
      try {
        // Exceptions must not cross libzip's C frames.
        if (e->OnOpen && !e->OnOpen()) return e->Fail(ZIP_ER_CANCELLED, 0);
      } catch (...) {
        return e->Fail(ZIP_ER_INTERNAL, 0);
      }
      e->Offset = 0;
      if (!e->DiskFile.empty()) {
        const int fd = ::open(e->DiskFile.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return e->Fail(ZIP_ER_OPEN, errno);
        e->Fd.Reset(fd);
      }
      return 0;
    }
    case ZIP_SOURCE_READ: {
      if (!e->DiskFile.empty()) {
        ssize_t n;
        do n = ::read(e->Fd.Get(), Data, Length);
        while (n < 0 && errno == EINTR);
        return n < 0 ? e->Fail(ZIP_ER_READ, errno) : n;
      }
      const std::size_t n = std::min<std::size_t>(Length, e->Bytes.size() - e->Offset);
      std::memcpy(Data, e->Bytes.data() + e->Offset, n);
      e->Offset += n;
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
      e->Fd.Reset();
      try {
        if (e->OnPacked) e->OnPacked();
      } catch (...) {
        return e->Fail(ZIP_ER_INTERNAL, 0);
      }
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, Data, Length, &e->Error);
      if (st == nullptr) return -1;
      zip_stat_init(st);
      if (!e->DiskFile.empty()) {
        struct stat info {};
        if (::lstat(e->DiskFile.c_str(), &info) != 0) return e->Fail(ZIP_ER_READ, errno);
        if (!S_ISREG(info.st_mode)) return e->Fail(ZIP_ER_OPEN, EINVAL);
        st->size = static_cast<zip_uint64_t>(info.st_size);
        st->mtime = info.st_mtime;
      } else {
        st->size = e->Bytes.size();
        st->mtime = e->MTime;
      }
      st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&e->Error, Data, Length);
    case ZIP_SOURCE_FREE:
      delete e;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
      return e->Fail(ZIP_ER_OPNOTSUPP, 0);
  }
}

// Adds Source as the deflated entry Name.
void AddEntry(zip_t* Zip, const std::string& Name, std::unique_ptr<TEntrySource> Source) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* src = zip_source_function_create(EntrySourceCallback, Source.get(), &error);
  if (src == nullptr) {
    const std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw EArchiveError("Cannot add \"" + Name + "\": " + text);
  }
  zip_error_fini(&error);
  Source.release();  // freed by the source from now on
  // Names that are valid UTF-8 are marked as such; any other name (Linux
  // allows any bytes) is stored as it stands rather than failing the save.
  const zip_int64_t index = zip_file_add(Zip, Name.c_str(), src, ZIP_FL_ENC_GUESS);
  if (index < 0) {
    zip_source_free(src);
    throw EArchiveError("Cannot add \"" + Name + "\": " + zip_strerror(Zip));
  }
  if (zip_set_file_compression(Zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, kDeflateLevel) != 0)
    throw EArchiveError("Cannot compress \"" + Name + "\": " + zip_strerror(Zip));
}

std::unique_ptr<TEntrySource> BytesSource(std::string Bytes) {
  auto source = std::make_unique<TEntrySource>();
  source->Bytes = std::move(Bytes);
  source->MTime = std::time(nullptr);
  return source;
}

// The entries of a tree that an archive holds: files (Flags sdFiles) or
// folders (sdFolders) at any depth, breadth first, as paths relative to
// Dir; none when there is no folder. Symbolic links are no part of the
// tree: what they point to lies elsewhere; nor are pipes, sockets and
// devices, which hold no contents to pack. Skip, when not empty, is a path
// relative to Dir left out (the archive being written, when it lies there).
std::vector<std::string> TreeEntries(const std::string& Dir, std::uint32_t Flags, const std::string& Skip = "") {
  std::vector<std::string> names;
  if (Dir.empty()) return names;
  for (const TFindData& f : ScanDirectory(Dir, Flags | sdRecursive, "*")) {
    if ((f.Attr & faSymLink) || f.Name == Skip) continue;
    if (!(f.Attr & faDirectory) && !IsPlainFile(JoinPath(Dir, f.Name))) continue;
    names.push_back(f.Name);
  }
  return names;
}

// FileName relative to the tree Dir when it lies inside it, else "".
std::string PathInsideTree(const std::string& FileName, const std::string& Dir) {
  if (Dir.empty()) return "";
  std::error_code ec;
  const fs::path file = fs::weakly_canonical(fs::absolute(FileName, ec), ec);
  const fs::path dir = fs::weakly_canonical(Dir, ec);
  if (ec) return "";
  const fs::path rel = file.lexically_relative(dir);
  if (rel.empty() || *rel.begin() == "..") return "";
  return rel.generic_string();
}

std::string EntryName(const char* TreeName, std::string RelativePath) {
  for (char& c : RelativePath)
    if (c == '\\') c = '/';
  return std::string(TreeName) + "/" + RelativePath;
}

// Text given as code points (what wchar_t holds here) in UTF-8.
std::string Utf8FromWide(std::wstring_view Wide) {
  std::string out;
  for (const wchar_t w : Wide)
    if (const auto cp = static_cast<std::uint32_t>(w); cp < 0x110000) AppendUtf8(out, cp);
  return out;
}

// Formatted wide, so the result is UTF-8 whatever character set the user's
// locale has: libzip refuses an archive comment that is not UTF-8, and a
// "Tháng" in a legacy 8-bit charset would fail every save.
std::string FormatLocalTime(const std::tm& Local, const wchar_t* Format) {
  wchar_t buf[128];
  const std::size_t n = std::wcsftime(buf, std::size(buf), Format, &Local);
  return Utf8FromWide(std::wstring_view(buf, n));
}

// "Contest created on " with the date written out in full, the day and
// month names in the language of the user's locale, and the time as that
// locale writes it (a 12-hour clock only where it has a morning and an
// afternoon mark).
std::string ArchiveComment() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return "Contest created on " + FormatLocalTime(local, L"%A, %B %-d, %Y") + "  " + FormatLocalTime(local, L"%X");
}

// -------------------------------------------------------------- unpacking

bool IsFile(const std::string& Path) {
  struct stat st {};
  return ::stat(Path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

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

// Opens the folder Components[0] / ... / Components[Count-1] below the
// folder RootFd, creating each missing one, and never following a link.
UniqueFd OpenFolderBelow(int RootFd, const std::vector<std::string>& Components, std::size_t Count) {
  UniqueFd current(::fcntl(RootFd, F_DUPFD_CLOEXEC, 0));
  if (!current.Valid()) throw EArchiveError("Cannot duplicate a folder handle: " + ErrnoText(errno));
  for (std::size_t k = 0; k < Count; ++k) {
    const char* name = Components[k].c_str();
    int fd = ::openat(current.Get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
      if (::mkdirat(current.Get(), name, 0777) != 0 && errno != EEXIST)
        throw EArchiveError("Cannot create the folder \"" + Components[k] + "\": " + ErrnoText(errno));
      fd = ::openat(current.Get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) throw EArchiveError("Cannot open the folder \"" + Components[k] + "\": " + ErrnoText(errno));
    current.Reset(fd);
  }
  return current;
}

// One entry of an archive being unpacked, checked before anything is written.
struct TPlannedEntry {
  std::string Name;  // as stored
  std::vector<std::string> Path;  // its safe path below the unpack folder
  bool IsFolder = false;
};

bool IsSymbolicLinkEntry(zip_t* Zip, zip_uint64_t Index) {
  zip_uint8_t opsys = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(Zip, Index, 0, &opsys, &attributes) != 0) return false;
  return opsys == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK;
}

std::vector<TPlannedEntry> PlanEntries(zip_t* Zip, const std::string& FileName) {
  const zip_int64_t count = zip_get_num_entries(Zip, 0);
  if (count < 0) throw EArchiveError("Cannot read the entries of \"" + FileName + "\"");
  std::vector<TPlannedEntry> plan(static_cast<std::size_t>(count));
  for (zip_uint64_t i = 0; i < plan.size(); ++i) {
    const char* name = zip_get_name(Zip, i, ZIP_FL_ENC_GUESS);
    if (name == nullptr) throw EArchiveError("Cannot read an entry name of \"" + FileName + "\"");
    const std::optional<std::string> path = SafeArchivePath(name);
    if (!path) throw EArchiveError("The archive entry \"" + std::string(name) + "\" leaves the unpack folder");
    if (IsSymbolicLinkEntry(Zip, i))
      throw EArchiveError("The archive entry \"" + std::string(name) + "\" is a symbolic link");
    TPlannedEntry& e = plan[i];
    e.Name = name;
    e.Path = SplitPath(*path);
    e.IsFolder = e.Name.back() == '/' || e.Name.back() == '\\';
  }
  return plan;
}

void ExtractFile(zip_t* Zip, zip_uint64_t Index, int FolderFd, const std::string& Leaf, const std::string& Name) {
  TZipFileHandle in(zip_fopen_index(Zip, Index, 0));
  if (!in) throw EArchiveError("Cannot read the archive entry \"" + Name + "\": " + zip_strerror(Zip));
  UniqueFd out(::openat(FolderFd, Leaf.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!out.Valid()) throw EArchiveError("Cannot create \"" + Name + "\": " + ErrnoText(errno));
  std::unique_ptr<char[]> buffer(new char[kCopyBufferSize]);
  for (;;) {
    const zip_int64_t n = zip_fread(in.get(), buffer.get(), kCopyBufferSize);
    if (n < 0) throw EArchiveError("Cannot read the archive entry \"" + Name + "\": " + zip_file_strerror(in.get()));
    if (n == 0) break;
    for (zip_int64_t done = 0; done < n;) {
      const ssize_t w = ::write(out.Get(), buffer.get() + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) throw EArchiveError("Cannot write \"" + Name + "\": " + ErrnoText(errno));
      done += w;
    }
  }
  zip_stat_t st;
  if (zip_stat_index(Zip, Index, 0, &st) == 0 && (st.valid & ZIP_STAT_MTIME)) {
    const timespec times[2] = {{0, UTIME_OMIT}, {st.mtime, 0}};
    ::futimens(out.Get(), times);
  }
}

// Unpacks every entry of FileName into Folder. False when the jury pressed
// Esc; the entries unpacked so far stay.
bool ExtractArchive(const std::string& FileName, const std::string& Folder) {
  TZipHandle zip = OpenZip(FileName, ZIP_RDONLY);
  const std::vector<TPlannedEntry> plan = PlanEntries(zip.get(), FileName);
  ProgressSetValues(0, static_cast<int>(plan.size()), 0);

  const UniqueFd root(::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!root.Valid()) throw EArchiveError("Cannot open the folder \"" + Folder + "\": " + ErrnoText(errno));
  // Entries come folder by folder, so the last folder opened serves most.
  std::vector<std::string> lastParent;
  UniqueFd lastParentFd;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    if (EscapePressedSinceLastCall()) return false;
    const TPlannedEntry& e = plan[i];
    ProgressSetSubCaption(e.Name);
    if (e.IsFolder) {
      OpenFolderBelow(root.Get(), e.Path, e.Path.size());
    } else {
      const std::vector<std::string> parent(e.Path.begin(), e.Path.end() - 1);
      if (!lastParentFd.Valid() || parent != lastParent) {
        lastParentFd = OpenFolderBelow(root.Get(), parent, parent.size());
        lastParent = parent;
      }
      ExtractFile(zip.get(), i, lastParentFd.Get(), e.Path.back(), e.Name);
    }
    ProgressSetPos(static_cast<int>(i + 1));
  }
  return true;
}

// Creates, below Folder, Tree and every folder named in the folder list
// ListFile (when there is one). A line that could leave the tree is refused.
void CreateListedFolders(const std::string& Folder, const std::string& ListFile, const char* Tree) {
  if (!IsFile(ListFile)) return;
  std::string text;
  {
    std::ifstream in(ListFile, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    if (!in) throw EArchiveError("Cannot read \"" + ListFile + "\"");
    text = all.str();
  }
  const UniqueFd root(::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!root.Valid()) throw EArchiveError("Cannot open the folder \"" + Folder + "\": " + ErrnoText(errno));
  for (const std::string& line : FolderListLines(text)) {
    const std::optional<std::string> path = SafeArchivePath(line);
    if (!path) throw EArchiveError("The folder list \"" + ListFile + "\" names \"" + line + "\", outside its tree");
    std::vector<std::string> parts = SplitPath(*path);
    parts.insert(parts.begin(), Tree);
    OpenFolderBelow(root.Get(), parts, parts.size());
  }
}

// The folder opened archives are unpacked under, ending with "/": the
// environment's, or, when that is not set, the shared application-data
// folder (and the temporary folder as the last resort), never the root.
std::string UnpackBase() {
  std::string base = EnvConfig ? EnvConfig->DecompressDir : "";
  if (base.empty()) base = GetFolderLocation(platform::kFolderCommonAppData);
  if (base.empty()) base = TempDir;
  if (base.empty() || base.back() != '/') base += '/';
  return base;
}

bool IsInside(const fs::path& Path, const std::string& Folder) {
  std::error_code ec;
  const fs::path folder = fs::weakly_canonical(Folder, ec);
  if (ec) return false;
  const fs::path rel = Path.lexically_relative(folder);
  return !rel.empty() && *rel.begin() != "..";
}

// Empties the place for a new unpack folder and creates it: "VelkorContest"
// under the base, deleted first when it exists; when it cannot be deleted,
// or holds the archive being opened, "VelkorContest1", "VelkorContest2" and
// so on.
std::string PrepareUnpackFolder(const std::string& ArchiveName) {
  const std::string base = UnpackBase();
  std::error_code ec;
  const fs::path archive = fs::weakly_canonical(fs::absolute(ArchiveName, ec), ec);
  std::string folder = base + kUnpackFolderName;
  for (int n = 1; PathExists(folder); ++n) {
    if (!IsInside(archive, folder) && DeleteWithRetry(folder) && !PathExists(folder)) break;
    folder = base + kUnpackFolderName + std::to_string(n);
  }
  fs::create_directories(folder);
  return folder;
}

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

std::string FolderListText(std::span<const std::string> Folders) {
  std::string text = kByteOrderMark;
  for (std::string folder : Folders) {
    for (char& c : folder)
      if (c == '/') c = '\\';
    text += folder;
    text += "\r\n";
  }
  return text;
}

std::vector<std::string> FolderListLines(std::string_view Text) {
  if (Text.starts_with(kByteOrderMark)) Text.remove_prefix(3);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= Text.size(); ++i) {
    if (i < Text.size() && Text[i] != '\r' && Text[i] != '\n') continue;
    std::string line = TrimControl(Text.substr(start, i - start));
    if (!line.empty()) lines.push_back(std::move(line));
    if (i + 1 < Text.size() && Text[i] == '\r' && Text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return lines;
}

bool TContestInfo::FileSave(const std::string& FileName) {
  FErrorMsg.clear();
  std::error_code ec;
  const fs::path folder = fs::path(FileName).parent_path();
  if (!folder.empty()) fs::create_directories(folder, ec);  // a folder that cannot be made fails below

  bool cancelled = false;
  try {
    TProgressScope progress;
    ProgressCreate();
    ProgressSetCaption("Nén kỳ thi...");
    ProgressShow(true);
    ProgressSetValues(0, 100, 0);
    EscapePressedSinceLastCall();  // forget earlier presses

    const std::string tasksDir = FExamSet->Dir(), contestantsDir = FResultSet->Dir();
    const std::vector<std::string> taskFiles =
        TreeEntries(tasksDir, sdFiles, PathInsideTree(FileName, tasksDir));
    const std::vector<std::string> contestantFiles =
        TreeEntries(contestantsDir, sdFiles, PathInsideTree(FileName, contestantsDir));

    TZipHandle zip = OpenZip(FileName, ZIP_CREATE | ZIP_TRUNCATE);
    const std::string comment = ArchiveComment();
    if (zip_set_archive_comment(zip.get(), comment.data(), static_cast<zip_uint16_t>(comment.size())) != 0)
      throw EArchiveError("Cannot set the archive comment: " + std::string(zip_strerror(zip.get())));

    ProgressSetSubCaption("Tiến trình");
    ProgressSetValues(0, static_cast<int>(taskFiles.size() + contestantFiles.size() + 1), 0);
    int counter = 0;
    auto addTree = [&](const char* Tree, const std::string& Dir, const std::vector<std::string>& Files) {
      for (const std::string& rel : Files) {
        const std::string name = EntryName(Tree, rel);
        auto source = std::make_unique<TEntrySource>();
        source->DiskFile = Dir + rel;
        source->OnOpen = [&cancelled, name] {
          if (EscapePressedSinceLastCall()) {
            cancelled = true;
            return false;
          }
          ProgressSetSubCaption(name);
          return true;
        };
        source->OnPacked = [&counter] { ProgressSetPos(++counter); };
        AddEntry(zip.get(), name, std::move(source));
      }
    };
    addTree(kArchiveTasksFolder, tasksDir, taskFiles);
    addTree(kArchiveContestantsFolder, contestantsDir, contestantFiles);

    std::ostringstream exams, results;
    FExamSet->StreamSave(exams);
    FResultSet->StreamSave(results);
    auto tasksConfig = BytesSource(exams.str());
    tasksConfig->OnOpen = [&counter] {
      ProgressSetSubCaption("Ghi kỳ thi...");
      ProgressSetPos(counter + 1);
      return true;
    };
    AddEntry(zip.get(), kTasksConfigEntry, std::move(tasksConfig));
    AddEntry(zip.get(), kTaskDirectoriesEntry, BytesSource(FolderListText(TreeEntries(tasksDir, sdFolders))));
    AddEntry(zip.get(), kContestantDirectoriesEntry,
             BytesSource(FolderListText(TreeEntries(contestantsDir, sdFolders))));
    AddEntry(zip.get(), kContestResultEntry, BytesSource(results.str()));

    // Everything is read, compressed and written here; a failure or Esc
    // leaves no new file and the old archive as it was.
    if (zip_close(zip.get()) != 0) {
      if (cancelled) return false;
      throw EArchiveError("Cannot write the archive \"" + FileName + "\": " + zip_strerror(zip.get()));
    }
    zip.release();  // closed
    return true;
  } catch (const std::exception& e) {
    FErrorMsg = e.what();
    return false;
  }
}

bool TContestInfo::FileLoad(const std::string& FileName) {
  FErrorMsg.clear();
  if (!IsFile(FileName)) {
    FErrorMsg = "Không tìm thấy tệp \"" + FileName + "\".";
    return false;
  }
  try {
    EscapePressedSinceLastCall();  // forget earlier presses
    TProgressScope progress;
    ProgressCreate();
    ProgressSetValues(0, 100, 0);
    ProgressSetCaption("Giải nén kỳ thi...");
    ProgressSetSubCaption("Tiến trình");
    ProgressShow(true);

    Reset();
    const std::string folder = PrepareUnpackFolder(FileName);
    if (!ExtractArchive(FileName, folder)) return false;

    ProgressSetSubCaption("Nạp kỳ thi...");
    CreateListedFolders(folder, folder + "/" + kContestantDirectoriesEntry, kArchiveContestantsFolder);
    CreateListedFolders(folder, folder + "/" + kTaskDirectoriesEntry, kArchiveTasksFolder);
    // Whatever part of the contest cannot be read, the rest opens, and the
    // jury is told what is missing: a contest the jury cannot open at all
    // is lost to them, while the sources and tests in it are usually whole.
    FExamSet->SetDir(folder + "/" + kArchiveTasksFolder);
    FResultSet->SetDir(folder + "/" + kArchiveContestantsFolder);
    if (IsFile(folder + "/" + kTasksConfigEntry)) {
      try {
        FExamSet->FileLoad(folder + "/" + kTasksConfigEntry);
      } catch (const std::exception& e) {
        FExamSet->AddLoadProblem({"Không đọc được file " + std::string(kTasksConfigEntry) +
                                      " (cấu hình các bài thi) trong kỳ thi; mỗi bài thi dùng cấu hình trong file "
                                      "Settings.cfg của nó. Chi tiết: " + e.what(),
                                  true});
      }
    }
    for (const TLoadProblem& p : FExamSet->LoadProblems()) {
      FLoadProblems.push_back(p);
      // An exam whose own settings file is damaged took its settings from
      // the exam list after all: nothing of it is missing.
      const TExamInfo* exam = p.Exam.empty() ? nullptr : FExamSet->Obj(p.Exam);
      if (exam != nullptr && !exam->SettingsMissing) {
        FLoadProblems.back().Text = DamagedSettingsText(p.Exam, p.Detail, "lấy từ file " +
                                                        std::string(kTasksConfigEntry) + " của kỳ thi");
        FLoadProblems.back().Lost = false;
      }
    }
    if (IsFile(folder + "/" + kContestResultEntry)) {
      try {
        FResultSet->FileLoad(folder + "/" + kContestResultEntry);
      } catch (const std::exception& e) {
        // Read up to the damage, or not at all: either way the contestants
        // are those of the folders, without results.
        FResultSet->SetDir(folder + "/" + kArchiveContestantsFolder);
        FResultSet->AddLoadProblem({"Không đọc được file " + std::string(kContestResultEntry) +
                                        " (kết quả chấm) trong kỳ thi; kỳ thi được mở không có kết quả chấm. "
                                        "Chi tiết: " + e.what(),
                                    true});
      }
    }
    FLoadProblems.insert(FLoadProblems.end(), FResultSet->LoadProblems().begin(), FResultSet->LoadProblems().end());
    return true;
  } catch (const std::exception& e) {
    FErrorMsg = e.what();
    return false;
  }
}

}  // namespace velkor
