// The contest archive: TContestInfo::FileSave and FileLoad on libzip.
//
// Packing. libzip writes nothing until zip_close: zip_file_add only records
// where each entry's data will come from, and zip_close then reads the
// sources one by one, in entry order, and writes the archive. Every entry's
// data comes from a source of our own (EntrySourceCallback): the moment
// libzip opens it is the moment that entry is packed, so that is where the
// progress window moves on and where Esc is heard. The archive itself goes
// to a temporary file of ours beside the target (ArchiveOutputCallback),
// never to one libzip names: a crash then leaves only names we know and
// clear on the next save. The temporary is synced and renamed over the
// target only when it is complete, and the folder synced after the rename,
// so a failure, Esc or a power cut leaves the old archive as it was.
// Before anything is written, every name is checked to come back exactly
// as it is when the archive is opened again.
//
// Unpacking (SafeUnzip holds the rules): an archive holding a name that
// could leave the unpack folder, or a symbolic link, is refused as a whole
// before anything is written; so is one holding two files with one name,
// and one whose entries would not fit on the disk. Names are taken byte
// for byte as stored (libzip would otherwise recode names it takes for
// code page 437, and they would no longer match the folder lists). A
// failed unpack removes what it wrote. A file stored runnable comes back
// runnable.
#include "judging/ContestArchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
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

#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "core/NameCompare.h"
#include "core/SaveTemporaries.h"
#include "core/SystemInfo.h"
#include "core/Unicode.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/FolderLocks.h"
#include "judging/ProgressHooks.h"
#include "judging/SubmitU.h"
#include "judging/ZipErrors.h"
#include "platform/FileAttributes.h"
#include "platform/AccountFolders.h"
#include "platform/SystemErrors.h"
#include "platform/UniqueFd.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using platform::UniqueFd;

// The level "zip" uses by default. libzip's own default, 9, costs about
// twice the time for a percent or two of size.
constexpr int kDeflateLevel = 6;
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

std::string Quoted(const std::string& Text) { return "\"" + Text + "\""; }

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

// The error a callback source of ours reports to libzip.
struct TSourceError {
  zip_error_t Error{};

  TSourceError() { zip_error_init(&Error); }
  ~TSourceError() { zip_error_fini(&Error); }
  TSourceError(const TSourceError&) = delete;
  TSourceError& operator=(const TSourceError&) = delete;

  zip_int64_t Fail(int ZipError, int SystemError) {
    zip_error_set(&Error, ZipError, SystemError);
    return -1;
  }
};

// The data of one entry as libzip reads it while it writes the archive:
// a file on disk or bytes in memory.
struct TEntrySource : TSourceError {
  std::string DiskFile;  // read from here when not empty
  std::string Bytes;     // otherwise these
  time_t MTime = 0;
  // The permissions stored with the entry: whether it is a program that
  // runs by itself, and nothing more (see StoredMode).
  mode_t Mode = 0644;
  // Runs as libzip starts on the entry; False cancels the whole archive.
  std::function<bool()> OnOpen;
  // Runs once the entry's data has been read.
  std::function<void()> OnPacked;

  UniqueFd Fd;
  std::size_t Offset = 0;
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

// The permissions an archive keeps for the file at Path: runnable (a
// contestant's ready-made program, a test's own tool) or not. Owner, group
// and others alike, never a write bit beyond the owner's nor a special bit,
// whatever the file had.
mode_t StoredMode(const std::string& Path) {
  struct stat st {};
  return ::lstat(Path.c_str(), &st) == 0 && (st.st_mode & 0111) != 0 ? 0755 : 0644;
}

// Adds Source as the deflated entry Name.
void AddEntry(zip_t* Zip, const std::string& Name, std::unique_ptr<TEntrySource> Source) {
  const mode_t mode = Source->Mode;
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* src = zip_source_function_create(EntrySourceCallback, Source.get(), &error);
  if (src == nullptr) {
    const std::string text = ZipErrorText(error);
    zip_error_fini(&error);
    throw EArchiveError("Không thêm được " + Quoted(Name) + " vào file kỳ thi (" + text + ").");
  }
  zip_error_fini(&error);
  Source.release();  // freed by the source from now on
  // The name is stored as it stands, marked as UTF-8 when it is, and read
  // back raw: any bytes (Linux allows them) come back the same.
  const zip_int64_t index = zip_file_add(Zip, Name.c_str(), src, ZIP_FL_ENC_GUESS);
  if (index < 0) {
    zip_source_free(src);
    throw EArchiveError("Không thêm được " + Quoted(Name) + " vào file kỳ thi (" + ZipErrorText(Zip) + ").");
  }
  if (zip_set_file_compression(Zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, kDeflateLevel) != 0)
    throw EArchiveError("Không nén được " + Quoted(Name) + " (" + ZipErrorText(Zip) + ").");
  // A Unix mode in the high half of the external attributes, as unzip
  // tools read it: without it every file would come back without its
  // execute bit.
  const auto attributes = static_cast<zip_uint32_t>(S_IFREG | mode) << 16;
  if (zip_file_set_external_attributes(Zip, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX, attributes) != 0)
    throw EArchiveError("Không ghi được quyền của " + Quoted(Name) + " (" + ZipErrorText(Zip) + ").");
}

// Where zip_close writes the archive: a file we opened, so that the name
// of every temporary is ours, and synced before zip_close reports success.
// A new archive starts empty: the "existing" archive libzip reads first is
// an empty file.
struct TArchiveOutput : TSourceError {
  int Fd = -1;
};

zip_int64_t ArchiveOutputCallback(void* State, void* Data, zip_uint64_t Length, zip_source_cmd_t Cmd) {
  auto* o = static_cast<TArchiveOutput*>(State);
  switch (Cmd) {
    case ZIP_SOURCE_OPEN:
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_ROLLBACK_WRITE:  // the caller removes the temporary
    case ZIP_SOURCE_FREE:            // the state belongs to the caller
      return 0;
    case ZIP_SOURCE_READ:
    case ZIP_SOURCE_TELL:
      return 0;
    case ZIP_SOURCE_SEEK:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, Data, Length, &o->Error);
      if (st == nullptr) return -1;
      zip_stat_init(st);
      st->size = 0;
      st->valid |= ZIP_STAT_SIZE;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_BEGIN_WRITE:
      if (::ftruncate(o->Fd, 0) != 0 || ::lseek(o->Fd, 0, SEEK_SET) != 0) return o->Fail(ZIP_ER_WRITE, errno);
      return 0;
    case ZIP_SOURCE_WRITE: {
      const char* bytes = static_cast<const char*>(Data);
      for (zip_uint64_t done = 0; done < Length;) {
        const ssize_t n = ::write(o->Fd, bytes + done, Length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return o->Fail(ZIP_ER_WRITE, errno);
        done += static_cast<zip_uint64_t>(n);
      }
      return static_cast<zip_int64_t>(Length);
    }
    case ZIP_SOURCE_SEEK_WRITE: {
      auto* args = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, Data, Length, &o->Error);
      if (args == nullptr) return -1;
      if (::lseek(o->Fd, static_cast<off_t>(args->offset), args->whence) < 0) return o->Fail(ZIP_ER_SEEK, errno);
      return 0;
    }
    case ZIP_SOURCE_TELL_WRITE: {
      const off_t at = ::lseek(o->Fd, 0, SEEK_CUR);
      return at < 0 ? o->Fail(ZIP_ER_TELL, errno) : static_cast<zip_int64_t>(at);
    }
    case ZIP_SOURCE_COMMIT_WRITE:
      // What a delayed write-back would lose is reported here, before the
      // archive takes the old one's place.
      if (::fsync(o->Fd) != 0) return o->Fail(ZIP_ER_WRITE, errno);
      return 0;
    case ZIP_SOURCE_REMOVE:
      return 0;
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&o->Error, Data, Length);
    case ZIP_SOURCE_SUPPORTS:
      return ZIP_SOURCE_SUPPORTS_WRITABLE;
    default:
      return o->Fail(ZIP_ER_OPNOTSUPP, 0);
  }
}

// A new, empty archive that zip_close writes into Output.
TZipHandle CreateZip(TArchiveOutput& Output) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* src = zip_source_function_create(ArchiveOutputCallback, &Output, &error);
  zip_t* z = src ? zip_open_from_source(src, ZIP_CREATE | ZIP_TRUNCATE, &error) : nullptr;
  if (z == nullptr) {
    if (src) zip_source_free(src);
    const std::string text = ZipErrorText(error);
    zip_error_fini(&error);
    throw EArchiveError("Không tạo được file kỳ thi (" + text + ").");
  }
  zip_error_fini(&error);
  return TZipHandle(z);
}

// The temporary file a save writes the archive into, in the target's
// folder (a rename cannot cross file systems), locked while it is written
// so that no other save takes it for a crash's leftover. Removed unless
// Keep() was called after the rename.
class TArchiveTemporary {
 public:
  explicit TArchiveTemporary(const fs::path& Target) {
    const fs::path folder = Target.has_parent_path() ? Target.parent_path() : fs::path(".");
    path_ = (folder / SaveTemporaryTemplate(Target.filename().string())).string();
    fd_ = MakeHeldTemporary(path_);
    if (!fd_.Valid())
      throw EArchiveError("Không tạo được file tạm trong thư mục " + Quoted(folder.string()) + ": " +
                          ErrnoText(errno));
    // The new archive keeps the permissions of the one it replaces.
    struct stat existing {};
    const mode_t mode =
        ::stat(Target.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0666 & ~platform::CurrentUmask();
    ::fchmod(fd_.Get(), mode);
  }
  TArchiveTemporary(const TArchiveTemporary&) = delete;
  TArchiveTemporary& operator=(const TArchiveTemporary&) = delete;
  ~TArchiveTemporary() {
    // Unlinked while still held: nobody else takes or deletes it meanwhile.
    if (!kept_) ::unlink(path_.c_str());
    fd_.Reset();
  }
  int Fd() const { return fd_.Get(); }
  const std::string& Path() const { return path_; }
  void Close() { fd_.Reset(); }
  void Keep() { kept_ = true; }

 private:
  std::string path_;
  UniqueFd fd_;
  bool kept_ = false;
};

void SyncFolder(const fs::path& Folder) {
  const UniqueFd dir(::open(Folder.empty() ? "." : Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Valid()) ::fsync(dir.Get());
}

// True for a temporary that a save of an archive may have left: libzip's
// "<name>.contest.XXXXXX" from before we wrote our own, and our own
// ".<name>.contest.XXXXXX".
bool IsArchiveTemporary(std::string_view Name) {
  constexpr std::string_view kExtension = ".contest";
  constexpr std::size_t kSuffix = 7;  // ".XXXXXX"
  if (Name.size() <= kExtension.size() + kSuffix) return false;
  const std::string_view stem = Name.substr(0, Name.size() - kSuffix);
  return SameText(stem.substr(stem.size() - kExtension.size()), kExtension) && IsTemporaryOf(Name, stem);
}

// True for a temporary a save of Velkor may have left in a tree: never
// contest content, never packed.
bool IsLeftTemporary(std::string_view RelativePath) {
  const std::size_t slash = RelativePath.find_last_of('/');
  const std::string_view leaf = slash == std::string_view::npos ? RelativePath : RelativePath.substr(slash + 1);
  return IsSaveTemporaryOf(leaf, kExamSettingsFileName, false) || IsArchiveTemporary(leaf);
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
// devices, which hold no contents to pack; nor are the temporaries a
// crashed save left. Skip, when not empty, is a path relative to Dir left
// out (the archive being written, when it lies there).
std::vector<std::string> TreeEntries(const std::string& Dir, std::uint32_t Flags, const std::string& Skip = "") {
  std::vector<std::string> names;
  if (Dir.empty()) return names;
  for (const TFindData& f : ScanDirectory(Dir, Flags | sdRecursive, "*")) {
    if ((f.Attr & faSymLink) || f.Name == Skip) continue;
    if (!(f.Attr & faDirectory) && (!IsPlainFile(JoinPath(Dir, f.Name)) || IsLeftTemporary(f.Name))) continue;
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

// Relative paths here hold "/" only between components: a "\\" inside a
// name is refused before the save (NamesArchiveCannotKeep).
std::string EntryName(const char* TreeName, const std::string& RelativePath) {
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

std::string DamagedArchive(const std::string& FileName, const std::string& Detail) {
  return "File kỳ thi " + Quoted(FileName) + " bị hỏng: " + Detail;
}

// What the jury is told of a fault of an archive being opened: the whole
// archive is refused, whatever the fault.
[[noreturn]] void RaiseFault(const TUnzipFault& F, const std::string& FileName, const std::string& Folder) {
  const std::string name = Quoted(F.Name);
  switch (F.Kind) {
    case TUnzipFaultKind::ufOpenArchive:
      throw EArchiveError("Không mở được file kỳ thi " + Quoted(FileName) +
                          ": file bị hỏng hoặc không phải file kỳ thi (" + F.Detail + ").");
    case TUnzipFaultKind::ufListArchive:
      throw EArchiveError(DamagedArchive(FileName, "không đọc được danh sách mục."));
    case TUnzipFaultKind::ufDamagedEntry:
      throw EArchiveError(DamagedArchive(FileName, "không đọc được mục thứ " + std::to_string(F.Index + 1) + " (" +
                                                       F.Detail + ")."));
    case TUnzipFaultKind::ufUnsafeName:
      throw EArchiveError("File kỳ thi " + Quoted(FileName) + " có mục " + name +
                          " nằm ngoài thư mục giải nén; không giải nén file này.");
    case TUnzipFaultKind::ufSymbolicLink:
      throw EArchiveError("File kỳ thi " + Quoted(FileName) + " có mục " + name +
                          " là liên kết tượng trưng; không giải nén file này.");
    case TUnzipFaultKind::ufDuplicateName:
      throw EArchiveError(DamagedArchive(FileName, "có hai mục cùng tên " + name +
                                                       " (chỉ giữ được một); không giải nén file này."));
    case TUnzipFaultKind::ufOpenRoot:
      throw EArchiveError("Không mở được thư mục giải nén " + Quoted(Folder) + ": " + ErrnoText(F.Errno));
    case TUnzipFaultKind::ufMakeFolder:
      throw EArchiveError("Không tạo được thư mục " + Quoted(F.Folder) + ": " + ErrnoText(F.Errno));
    case TUnzipFaultKind::ufOpenFolder:
      throw EArchiveError("Không mở được thư mục " + Quoted(F.Folder) + ": " + ErrnoText(F.Errno));
    case TUnzipFaultKind::ufCreateFile:
      throw EArchiveError("Không tạo được file " + name + ": " + ErrnoText(F.Errno));
    case TUnzipFaultKind::ufReadEntry:
      throw EArchiveError("Không đọc được mục " + name + " của file kỳ thi (" + F.Detail + ").");
    case TUnzipFaultKind::ufWriteFile:
      throw EArchiveError("Không ghi được file " + name + ": " + ErrnoText(F.Errno));
    case TUnzipFaultKind::ufOversized:
      throw EArchiveError("Mục " + name + " của file kỳ thi bung ra nhiều hơn kích thước đã khai báo (" +
                          std::to_string(F.Size) + " byte): file kỳ thi bị hỏng, không giải nén.");
  }
  throw EArchiveError(DamagedArchive(FileName, "lỗi không rõ."));
}

// Bytes for the jury: megabytes from one up, rounded up so that a need is
// never understated.
std::string SizeText(std::uint64_t Bytes) {
  constexpr std::uint64_t kMB = 1 << 20;
  if (Bytes < kMB) return std::to_string(Bytes) + " byte";
  return std::to_string(Bytes / kMB + (Bytes % kMB != 0)) + " MB";
}

std::optional<std::uint64_t> StatvfsFreeSpace(const std::string& Folder) {
  struct statvfs fsInfo {};
  if (::statvfs(Folder.c_str(), &fsInfo) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(fsInfo.f_bavail) * fsInfo.f_frsize;
}

TFreeSpaceProbe& FreeSpaceProbe() {
  static TFreeSpaceProbe probe = StatvfsFreeSpace;
  return probe;
}

// Refuses the archive before anything is written when its entries, as
// declared, with the spare room, do not fit on the unpack folder's disk.
void CheckFreeSpace(std::uint64_t Declared, const std::string& FileName, const std::string& Folder) {
  const std::uint64_t need =
      Declared > UINT64_MAX - kUnpackSpareBytes ? UINT64_MAX : Declared + kUnpackSpareBytes;
  const std::optional<std::uint64_t> free = FreeSpaceProbe()(Folder);
  if (!free || *free >= need) return;
  throw EArchiveError("Không đủ chỗ trống để giải nén file kỳ thi " + Quoted(FileName) + ": cần " +
                      SizeText(need) + " (gồm " + SizeText(kUnpackSpareBytes) + " dự phòng), thư mục " +
                      Quoted(Folder) + " chỉ còn " + SizeText(*free) + " trống.");
}

// Unpacks every entry of FileName into Folder. False when the jury pressed
// Esc; the entries unpacked so far stay.
bool ExtractEntries(const std::string& FileName, const std::string& Folder) {
  TUnzipRules rules;
  rules.OnFault = [&](const TUnzipFault& F) { RaiseFault(F, FileName, Folder); };
  // Byte for byte, as the folder lists are: libzip would otherwise recode
  // names it takes for code page 437, and they would no longer match.
  rules.RawNames = true;
  rules.KeepTimes = true;
  rules.KeepRunnable = true;  // a ready-made program in a contestant's folder
  // Of two entries with one name only one could be kept, and which one the
  // contest then holds would be chance: a second, empty "Contest.result"
  // would empty the whole grid.
  rules.RefuseDuplicates = true;
  rules.BeforeWriting = [&](std::size_t Entries, std::uint64_t Declared) {
    CheckFreeSpace(Declared, FileName, Folder);
    ProgressSetValues(0, static_cast<int>(Entries), 0);
  };
  rules.BeforeEntry = [](const std::string& Name, std::size_t) {
    if (EscapePressedSinceLastCall()) return false;
    ProgressSetSubCaption(Name);
    return true;
  };
  rules.AfterEntry = [](std::size_t Done) { ProgressSetPos(static_cast<int>(Done)); };
  return SafeUnzip(FileName, Folder, rules);
}

// Removes everything inside Folder, never following a link out of it.
void EmptyFolder(const std::string& Folder) {
  std::error_code ec;
  for (fs::directory_iterator it(Folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ignored;
    fs::remove_all(it->path(), ignored);
  }
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
    if (!in) throw EArchiveError("Không đọc được file " + Quoted(ListFile) + ".");
    text = all.str();
  }
  TUnzipRules rules;
  rules.OnFault = [&](const TUnzipFault& F) { RaiseFault(F, ListFile, Folder); };
  for (const std::string& line : FolderListLines(text)) {
    const std::optional<std::string> path = SafeArchivePath(line);
    if (!path)
      throw EArchiveError("Danh sách thư mục " + Quoted(ListFile) + " có dòng " + Quoted(line) +
                          " nằm ngoài cây thư mục của nó; không mở kỳ thi này.");
    SafeMakeFolder(Folder, std::string(Tree) + "/" + *path, rules);
  }
}

// The contestant folders that the results document of an archive leaves
// out: the set shows only the contestants stored there, so these are not
// in the grid until the contestants folder is read again. Each is named.
TLoadProblems FoldersLeftOutOfResults(const TResultSet& Results) {
  TLoadProblems seenAtSetDir, leftOut;  // the folders' own problems were told when the set was pointed there
  for (const std::string& name : LoadableSubFolders(Results.Dir(), "thí sinh", seenAtSetDir, NonEmptyFolderWeight))
    if (Results.Obj(name) == nullptr)
      leftOut.push_back({"Thư mục thí sinh \"" + name + "\" không có trong file " + kContestResultEntry +
                         " (kết quả chấm) nên không hiện trong bảng; bài làm trong đó vẫn được giữ. Nhấn F5 "
                         "(cập nhật lại danh sách thí sinh) để đưa thí sinh này vào bảng."});
  return leftOut;
}

// The folder opened archives are unpacked under, ending with "/", held by
// this process: another Velkor deletes the unpack folders it finds there.
std::string UnpackBase() {
  const std::string base = UnpackFolderBase();
  HoldUnpackFolderBase(base);
  return base;
}

bool IsInside(const fs::path& Path, const std::string& Folder) {
  std::error_code ec;
  const fs::path folder = fs::weakly_canonical(Folder, ec);
  if (ec) return false;
  const fs::path rel = Path.lexically_relative(folder);
  return !rel.empty() && *rel.begin() != "..";
}

// ------------------------------------ unsaved changes of an unpacked contest

std::string UnsavedMark(const std::string& UnpackDir) { return UnpackDir + "/" + kUnsavedMarkName; }

// Whether UnpackDir holds the mark: a regular file of that name.
bool HasUnsavedMark(const std::string& UnpackDir) {
  struct stat st {};
  return ::lstat(UnsavedMark(UnpackDir).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The archive a marked unpack folder came from, as its mark names it; ""
// when it does not.
std::string MarkedArchive(const std::string& UnpackDir) {
  constexpr std::size_t kMaxMarkBytes = 1 << 16;
  std::ifstream in(UnsavedMark(UnpackDir), std::ios::binary);
  std::string text(kMaxMarkBytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  const std::vector<std::string> lines = FolderListLines(text);
  return lines.size() >= 2 ? lines[1] : "";
}

// Writes the mark for the archive Archive into UnpackDir, on disk before
// it returns: the change it guards comes right after.
void WriteUnsavedMark(const std::string& UnpackDir, const std::string& Archive) {
  const std::string mark = UnsavedMark(UnpackDir);
  const std::string text = std::string(kByteOrderMark) +
                           "Thư mục này là kỳ thi mở từ file kỳ thi dưới đây, có bài nộp trực tuyến chưa được "
                           "ghi vào file đó:\r\n" + Archive + "\r\n";
  UniqueFd fd(::open(mark.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd.Valid() || !platform::WriteAll(fd.Get(), text) || ::fsync(fd.Get()) != 0 || fd.Close() != 0)
    throw std::runtime_error("Không ghi được file " + Quoted(mark) + " (đánh dấu kỳ thi có thay đổi chưa ghi): " +
                             ErrnoText(errno));
  SyncFolder(UnpackDir);
}

// A free name under Base (the unpack base) for keeping an unpack folder:
// kKeptUnpackFolderName, the local date and time, and a number when that
// is taken.
std::string KeptFolderName(const std::string& Base) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "-%Y-%m-%d-%H%M%S", &local);
  const std::string name = Base + kKeptUnpackFolderName + stamp;
  std::string candidate = name;
  for (int n = 2; PathExists(candidate); ++n) candidate = name + "-" + std::to_string(n);
  return candidate;
}

// What the jury is told of the unpacked contest Folder kept at Kept.
std::string KeptUnsavedText(const std::string& Folder, const std::string& Kept, const std::string& Archive) {
  return "Thư mục giải nén " + Quoted(Folder) +
         " còn giữ thay đổi (bài nộp trực tuyến, cấu hình bài thi) chưa được ghi vào file kỳ thi" +
         (Archive.empty() ? std::string() : " " + Quoted(Archive)) +
         " (lần trước Velkor đã dừng khi chưa ghi kỳ thi). Thư mục đó không bị xóa mà được chuyển sang:\r\n" +
         Quoted(Kept) + "\r\nĐể giữ các thay đổi đó, hãy mở thư mục bài thi Tasks (F2) và thư mục thí sinh "
         "Contestants (F3) trong thư mục này, chấm các bài nộp mới rồi ghi kỳ thi.";
}

// A submission folder inside the unpack folder Folder, relative to it: a
// folder holding a submission folder's lock file, or a "$History" other
// than a contestant's own ("" for Folder itself). What was handed in there
// is in no archive, and the copies kept in its "$History" are its
// submitters' last ones. Nothing when there is none. Links are never
// followed.
std::optional<std::string> SubmissionFolderInside(const std::string& Folder) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(Folder, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::error_code entryError;
    const fs::file_type type = it->symlink_status(entryError).type();
    const fs::path rel = it->path().lexically_relative(Folder);
    const std::string name = rel.filename().string();
    const bool lock = name == kSubmissionFolderLockName && type == fs::file_type::regular;
    // A "$History" in the contest's own trees is the contest's (a
    // contestant's earlier sources, or a contestant or exam so named),
    // which the archive keeps too.
    const bool contestsOwn = *rel.begin() == kArchiveContestantsFolder || *rel.begin() == kArchiveTasksFolder;
    const bool history = name == kHistoryFolderName && type == fs::file_type::directory && !contestsOwn;
    if (lock || history) return rel.parent_path().string();
  }
  return std::nullopt;
}

// What the jury is told of the submission folder Submissions (relative to
// the unpack folder Folder) kept with it at Kept.
std::string KeptSubmissionsText(const std::string& Folder, const std::string& Kept, const std::string& Submissions) {
  const std::string where = Submissions.empty() ? Kept : Kept + "/" + Submissions;
  return "Thư mục giải nén " + Quoted(Folder) + " chứa thư mục nộp bài (có file khóa " +
         kSubmissionFolderLockName + " hoặc thư mục " + kHistoryFolderName +
         " lưu bài nộp), nơi có bài nộp không nằm trong file kỳ thi nào. Thư mục đó không bị xóa mà được chuyển "
         "sang:\r\n" + Quoted(Kept) + "\r\nThư mục nộp bài giờ nằm ở " + Quoted(where) +
         ". Hãy chọn thư mục nộp bài ở ngoài thư mục giải nén kỳ thi.";
}

// Makes way for a new unpack at Folder, an earlier unpacked contest: it is
// deleted, or, when it holds changes never saved into its archive or a
// submission folder, moved aside beside it (told in Kept). False when it is
// still there, also when another Velkor's place lies inside: that
// process's folders are never deleted or moved under it.
bool MakeWayForUnpack(const std::string& Folder, std::vector<std::string>& Kept) {
  if (!LockOfAnotherInside(Folder).empty()) return false;
  const bool unsaved = HasUnsavedMark(Folder);
  const std::optional<std::string> submissions = SubmissionFolderInside(Folder);
  if (!unsaved && !submissions) return DeleteWithRetry(Folder) && !PathExists(Folder);
  const std::string base = fs::path(Folder).parent_path().string() + "/";
  const std::string kept = KeptFolderName(base);
  if (::rename(Folder.c_str(), kept.c_str()) != 0) return false;
  std::string text = unsaved ? KeptUnsavedText(Folder, kept, MarkedArchive(kept)) : "";
  if (submissions) text += (text.empty() ? "" : "\r\n") + KeptSubmissionsText(Folder, kept, *submissions);
  Kept.push_back(std::move(text));
  return true;
}

// Empties the place for a new unpack folder and creates it: "VelkorContest"
// under the base, deleted first when it exists (moved aside when it holds
// unsaved changes, told in Kept); when it cannot be deleted, or holds the
// archive being opened, "VelkorContest1", "VelkorContest2" and so on.
std::string PrepareUnpackFolder(const std::string& ArchiveName, std::vector<std::string>& Kept) {
  const std::string base = UnpackBase();
  std::error_code ec;
  const fs::path archive = fs::weakly_canonical(fs::absolute(ArchiveName, ec), ec);
  std::string folder = base + kUnpackFolderName;
  for (int n = 1; PathExists(folder); ++n) {
    if (!IsInside(archive, folder) && MakeWayForUnpack(folder, Kept)) break;
    folder = base + kUnpackFolderName + std::to_string(n);
  }
  fs::create_directories(folder);
  return folder;
}

}  // namespace

TFreeSpaceProbe SetFreeSpaceProbe(TFreeSpaceProbe Probe) {
  TFreeSpaceProbe previous = std::move(FreeSpaceProbe());
  FreeSpaceProbe() = Probe ? std::move(Probe) : TFreeSpaceProbe(StatvfsFreeSpace);
  return previous;
}

bool ExtractArchive(const std::string& FileName, const std::string& Folder) {
  try {
    return ExtractEntries(FileName, Folder);
  } catch (...) {
    // A half-unpacked contest is of no use, and may be what filled the disk.
    EmptyFolder(Folder);
    throw;
  }
}

bool ArchiveKeepsFolder(const std::string& Folder) {
  // The folder list holds the path below the tree, read back line by line.
  const std::vector<std::string> lines = FolderListLines(FolderListText(std::span(&Folder, 1)));
  return lines.size() == 1 && SafeArchivePath(lines[0]) == Folder;
}

bool ArchiveKeepsFile(const char* Tree, const std::string& File) {
  const std::string name = EntryName(Tree, File);
  return SafeArchivePath(name) == name;
}

std::vector<std::string> NamesArchiveCannotKeep(const char* Tree, std::span<const std::string> Files,
                                                std::span<const std::string> Folders) {
  std::vector<std::string> refused;
  auto within = [&refused](const std::string& Name) {
    for (const std::string& r : refused)
      if (Name.size() > r.size() && Name.starts_with(r) && Name[r.size()] == '/') return true;
    return false;
  };
  // Folders first: a folder named is enough for everything inside it.
  for (const std::string& folder : Folders) {
    const std::string name = std::string(Tree) + "/" + folder;
    if (!within(name) && !ArchiveKeepsFolder(folder)) refused.push_back(name);
  }
  for (const std::string& file : Files) {
    const std::string name = EntryName(Tree, file);
    if (!within(name) && !ArchiveKeepsFile(Tree, file)) refused.push_back(name);
  }
  return refused;
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

namespace {

std::int64_t Nanoseconds(const timespec& Time) {
  return static_cast<std::int64_t>(Time.tv_sec) * 1000000000 + Time.tv_nsec;
}

TArchiveStamp StampOf(const std::string& Path, const struct stat& St) {
  return {Path, static_cast<std::uint64_t>(St.st_dev), static_cast<std::uint64_t>(St.st_ino),
          static_cast<std::int64_t>(St.st_size), Nanoseconds(St.st_mtim)};
}

// Where FileName leads: absolute, every link resolved.
std::string ArchivePlace(const std::string& FileName) {
  std::error_code ec;
  const fs::path place = fs::weakly_canonical(fs::absolute(FileName, ec), ec);
  return ec ? FileName : place.string();
}

// The archive at Place (ArchivePlace) as it is now; an empty stamp when no
// file is there.
TArchiveStamp StampAt(const std::string& Place) {
  struct stat st {};
  if (::stat(Place.c_str(), &st) != 0) return {};
  return StampOf(Place, st);
}

// Whether the jury lets a save replace the archive at Place, which changed
// since this contest read or wrote it (Seen). The answer nobody gives is
// no: a copy that cannot ask never overwrites another's save.
bool JuryReplacesChangedArchive(const std::string& FileName, const TArchiveStamp& Seen, const TArchiveStamp& Now) {
  if (Seen.Path.empty() || Seen.Path != Now.Path || Seen == Now) return true;
  return VQRMsgDlg("File kỳ thi " + Quoted(FileName) +
                       " đã bị thay đổi từ lúc kỳ thi này được mở hoặc được ghi lần trước (có thể một chương "
                       "trình Velkor khác cũng mở file này và đã ghi lại). Nếu ghi đè, những gì được ghi vào file "
                       "đó từ lúc ấy sẽ mất.\r\nNhấn \"Bỏ qua\" để vẫn ghi đè lên file. Nhấn \"Hủy bỏ\" để giữ "
                       "nguyên file đó; có thể ghi kỳ thi này dưới một tên khác (Ghi thành).",
                   mtWarning, {mbIgnore, mbCancel}) == mrIgnore;
}

}  // namespace

bool TContestInfo::FileSave(const std::string& FileName) {
  FErrorMsg.clear();
  std::error_code ec;
  // Replace what a link points to, not the link.
  fs::path target = FileName;
  if (fs::is_symlink(target, ec)) target = fs::weakly_canonical(target, ec);
  const fs::path folder = target.parent_path();
  if (!folder.empty()) fs::create_directories(folder, ec);  // a folder that cannot be made fails below

  bool cancelled = false;
  try {
    // Another copy that opened the same archive may have saved since: asked
    // before the progress window comes up.
    const std::string place = ArchivePlace(FileName);
    const TArchiveStamp before = StampAt(place);
    if (!JuryReplacesChangedArchive(FileName, FArchiveSeen, before)) return false;

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
    const std::vector<std::string> taskFolders = TreeEntries(tasksDir, sdFolders);
    const std::vector<std::string> contestantFolders = TreeEntries(contestantsDir, sdFolders);

    // An archive that cannot be opened again is worse than none: refuse
    // before the old one is touched.
    std::vector<std::string> refused = NamesArchiveCannotKeep(kArchiveTasksFolder, taskFiles, taskFolders);
    for (std::string& name : NamesArchiveCannotKeep(kArchiveContestantsFolder, contestantFiles, contestantFolders))
      refused.push_back(std::move(name));
    if (!refused.empty()) {
      std::string list;
      for (const std::string& name : refused) list += "\n    " + Quoted(name);
      FErrorMsg = "Không lưu kỳ thi vào file " + Quoted(FileName) +
                  ": các tên file và thư mục sau sẽ không được mở lại đúng như cũ (có " + kNamesArchiveCannotKeep +
                  "). Hãy đổi tên rồi lưu lại:" + list;
      return false;
    }

    const std::string leaf = target.filename().string();
    // What a killed save left goes now, however fresh: a save in progress
    // holds its temporary.
    RemoveUnheldTemporaries(folder.string(), [&leaf](std::string_view Name) {
      return IsSaveTemporaryOf(Name, leaf) || IsTemporaryOf(Name, leaf) || IsArchiveTemporary(Name);
    });
    TArchiveTemporary temporary(target);
    // Declared after the temporary, so that libzip is done with its file
    // before the temporary is removed.
    TArchiveOutput output;
    output.Fd = temporary.Fd();
    TZipHandle zip = CreateZip(output);
    const std::string comment = ArchiveComment();
    if (zip_set_archive_comment(zip.get(), comment.data(), static_cast<zip_uint16_t>(comment.size())) != 0)
      throw EArchiveError("Không ghi được lời chú thích của file kỳ thi (" + ZipErrorText(zip.get()) +
                          ").");

    ProgressSetSubCaption("Tiến trình");
    ProgressSetValues(0, static_cast<int>(taskFiles.size() + contestantFiles.size() + 1), 0);
    int counter = 0;
    auto addTree = [&](const char* Tree, const std::string& Dir, const std::vector<std::string>& Files) {
      for (const std::string& rel : Files) {
        const std::string name = EntryName(Tree, rel);
        auto source = std::make_unique<TEntrySource>();
        source->DiskFile = Dir + rel;
        source->Mode = StoredMode(source->DiskFile);
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
    AddEntry(zip.get(), kTaskDirectoriesEntry, BytesSource(FolderListText(taskFolders)));
    AddEntry(zip.get(), kContestantDirectoriesEntry, BytesSource(FolderListText(contestantFolders)));
    AddEntry(zip.get(), kContestResultEntry, BytesSource(results.str()));

    // Everything is read, compressed, written and synced here; a failure
    // or Esc leaves the old archive as it was, and the temporary goes.
    if (zip_close(zip.get()) != 0) {
      if (cancelled) return false;
      throw EArchiveError("Không ghi được file kỳ thi (" + ZipErrorText(zip.get()) + ").");
    }
    zip.release();  // closed
    // Whatever was written there while this save packed is not replaced
    // unseen.
    if (StampAt(place) != before)
      throw EArchiveError("File kỳ thi vừa được ghi lại trong lúc đang nén (có thể bởi một chương trình Velkor "
                          "khác); file đó được giữ nguyên. Hãy ghi lại kỳ thi.");
    struct stat written {};
    if (::fstat(temporary.Fd(), &written) != 0)
      throw EArchiveError("Không đọc được thông tin file kỳ thi mới: " + ErrnoText(errno));
    // Renamed while still held, or another save could take the finished
    // archive for a killed save's leftover and delete it.
    if (::rename(temporary.Path().c_str(), target.c_str()) != 0)
      throw EArchiveError("Không thay được file kỳ thi cũ bằng file mới: " + ErrnoText(errno));
    FArchiveSeen = StampOf(place, written);
    temporary.Keep();
    temporary.Close();
    // The rename lives in the folder: once the folder is synced, a power
    // cut brings back the new archive, never an empty one.
    SyncFolder(folder);
    ForgetUnsavedChanges();
    return true;
  } catch (const EArchiveError& e) {
    FErrorMsg = "Không lưu được kỳ thi vào file " + Quoted(FileName) + ". " + e.what();
    return false;
  } catch (const std::exception& e) {
    FErrorMsg = "Không lưu được kỳ thi vào file " + Quoted(FileName) + ". Chi tiết: " + e.what();
    return false;
  }
}

void TContestInfo::NoteUnsavedChange() { NoteUnsavedChangeIn(FResultSet->Dir()); }

void TContestInfo::NoteUnsavedExamChange() { NoteUnsavedChangeIn(FExamSet->Dir()); }

void TContestInfo::NoteUnsavedChangeIn(const std::string& Folder) {
  if (FUnsavedMarked || FUnpackDir.empty() || !Folder.starts_with(FUnpackDir + "/")) return;
  WriteUnsavedMark(FUnpackDir, FFileName);
  FUnsavedMarked = true;
}

void TContestInfo::ForgetUnsavedChanges() {
  if (FUnpackDir.empty()) return;
  ::unlink(UnsavedMark(FUnpackDir).c_str());
  FUnsavedMarked = false;
}

bool TContestInfo::FileLoad(const std::string& FileName) {
  FErrorMsg.clear();
  FKeptUnsaved.clear();
  if (!IsFile(FileName)) {
    FErrorMsg = "Không tìm thấy file \"" + FileName + "\".";
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
    // As it is read: a change after this is another's, to be asked about
    // before a save replaces it.
    FArchiveSeen = StampAt(ArchivePlace(FileName));
    const std::string folder = PrepareUnpackFolder(FileName, FKeptUnsaved);
    FUnpackDir = folder;
    const bool extracted = ExtractArchive(FileName, folder);
    // Only this process marks a folder: an archive holding a file of that
    // name would otherwise be kept aside at every open.
    ::unlink(UnsavedMark(folder).c_str());
    if (!extracted) return false;

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
      for (TLoadProblem& p : FoldersLeftOutOfResults(*FResultSet)) FResultSet->AddLoadProblem(std::move(p));
    }
    FLoadProblems.insert(FLoadProblems.end(), FResultSet->LoadProblems().begin(), FResultSet->LoadProblems().end());
    return true;
  } catch (const std::exception& e) {
    FErrorMsg = e.what();
    return false;
  }
}

}  // namespace velkor
