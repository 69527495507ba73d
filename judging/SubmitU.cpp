#include "judging/SubmitU.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/FileUtilsWrap.h"
#include "core/NameCompare.h"
#include "judging/ContestArchive.h"
#include "judging/NamedObjs.h"
#include "judging/Results.h"
#include "platform/FolderChanges.h"
#include "platform/ShellFileOps.h"
#include "platform/SystemErrors.h"

namespace velkor {
namespace {

// TDateTime day 0 is 1899-12-30; day 693594 counted back from it is
// 0001-01-01, the origin of the milliseconds in history names.
constexpr double kDaysFromYearOne = 693594;
constexpr double kMsPerDay = 86400000;

TLocalClock& Clock() {
  static TLocalClock clock;
  return clock;
}

TDateTime SystemLocalNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return FileTimeToLocalDateTime(now);
}

// Value in decimal with at least Width digits (a sign comes before them).
std::string ZeroPadded(long long Value, int Width) {
  char buf[32];
  const bool negative = Value < 0;
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, negative ? -Value : Value);
  std::string digits(buf, end);
  if (static_cast<int>(digits.size()) < Width) digits.insert(0, Width - digits.size(), '0');
  return negative ? "-" + digits : digits;
}

TDateTime ArrivalTime(const TFindData& f) { return std::max(f.CreationTime, f.LastWriteTime); }

// A file "EName" or "EName.anything", letter case aside: what the mask
// EName + ".*" finds on Windows, without treating "*" or "?" in an exam
// name (which Linux folder names may hold) as wildcards.
bool IsFileOfExam(const std::string& FileName, const std::string& EName) {
  if (FileName.size() == EName.size()) return SameText(FileName, EName);
  return FileName.size() > EName.size() && FileName[EName.size()] == '.' &&
         SameText(std::string_view(FileName).substr(0, EName.size()), EName);
}

// RC's folder, refusing a contestant whose folder would not be one folder
// directly inside the contestants folder.
std::string ContestantFolder(const TResultC& RC) {
  if (!IsSafePathComponent(RC.Name()))
    throw std::runtime_error("Tên thí sinh không hợp lệ: \"" + RC.Name() + "\"");
  if (RC.Owner == nullptr || RC.Owner->Dir().empty())
    throw std::runtime_error("Thí sinh \"" + RC.Name() + "\" không thuộc thư mục thí sinh nào");
  return RC.Dir();
}

void RequireSafeExamName(const std::string& EName) {
  if (!IsSafePathComponent(EName)) throw std::runtime_error("Tên bài không hợp lệ: \"" + EName + "\"");
}

// The files of Folder that are files of the exam EName, in name order.
std::vector<TFindData> FilesOfExam(const std::string& Folder, const std::string& EName) {
  std::vector<TFindData> files;
  for (const TFindData& f : ScanDirectory(Folder, sdFiles, "*"))
    if (IsFileOfExam(f.Name, EName)) files.push_back(f);
  return files;
}

}  // namespace

void ParseSubmitName(const std::string& FullName, TSubmitRec& Rec) {
  const std::size_t slash = FullName.rfind('/');
  Rec.Dir = slash == std::string::npos ? "" : FullName.substr(0, slash + 1);
  Rec.FileName = slash == std::string::npos ? FullName : FullName.substr(slash + 1);
  Rec.Ext = ExtractFileExt(FullName);
  Rec.Other.clear();
  Rec.CName.clear();
  Rec.EName.clear();

  const std::string& s = Rec.FileName;
  const std::size_t stop = s.size() - Rec.Ext.size();  // characters before the extension
  if (stop == 0) return;
  const std::size_t examClose = s.rfind(']', stop - 1);
  if (examClose == std::string::npos || examClose == 0) return;
  const std::size_t examOpen = s.rfind('[', examClose - 1);
  if (examOpen == std::string::npos) return;
  Rec.EName = s.substr(examOpen + 1, examClose - examOpen - 1);

  if (examOpen == 0) return;
  const std::size_t nameClose = s.rfind(']', examOpen - 1);
  if (nameClose == std::string::npos || nameClose == 0) return;
  const std::size_t nameOpen = s.rfind('[', nameClose - 1);
  if (nameOpen == std::string::npos) return;
  Rec.CName = s.substr(nameOpen + 1, nameClose - nameOpen - 1);
  Rec.Other = s.substr(0, nameOpen);
}

// A contestant's or an exam's name in a submitted file's name: one safe
// name, not blank, and not ending in a blank or a dot, which Windows drops
// from folder names ("C1 " would be a second contestant sharing C1's folder).
namespace {
bool IsSubmittedName(const std::string& Name) {
  return IsSafePathComponent(Name) && Name.find_first_not_of(' ') != std::string::npos && Name.back() != ' ' &&
         Name.back() != '.';
}
}  // namespace

TQueue<TSubmitRec> ScanSubmissionDir(const std::string& Dir) {
  TQueue<TFindData> files = ScanDirectory(Dir, sdFiles | sdAbsoluteNames, "*");
  files.Sort([](const TFindData& a, const TFindData& b) {
    const TDateTime ta = ArrivalTime(a), tb = ArrivalTime(b);
    return ta < tb ? -1 : (ta > tb ? 1 : 0);
  });
  TQueue<TSubmitRec> result;
  for (const TFindData& f : files) {
    // A link, a pipe or a device is left where it lies: moved into a
    // contestant's folder it would break the judging and every save.
    if (!IsPlainFile(f.Name)) continue;
    TSubmitRec rec;
    ParseSubmitName(f.Name, rec);
    if (SameText(rec.Ext, ".LOG") || rec.CName.empty() || rec.EName.empty()) continue;
    if (!IsSubmittedName(rec.CName) || !IsSubmittedName(rec.EName)) continue;
    result.Push(rec);
  }
  return result;
}

void BackupSubmissionHistory(const TResultC& RC, const std::string& EName) {
  const std::string folder = ContestantFolder(RC);
  RequireSafeExamName(EName);
  const std::vector<TFindData> earlier = FilesOfExam(folder, EName);
  if (earlier.empty()) return;

  const std::string history = folder + "/" + kHistoryFolderName;
  std::error_code ec;
  std::filesystem::create_directories(history, ec);  // MoveOrFail reports what still fails
  for (const TFindData& f : earlier) {
    const std::string name =
        HistoryFileName(SubmitClockNow(), ArrivalTime(f), RC.Name(), EName, ExtractFileExt(f.Name));
    MoveOrFail(folder + "/" + f.Name, history, name);
  }
}

void MoveSubmissionToContestant(const TSubmitRec& Rec, const TResultC& RC) {
  const std::string folder = ContestantFolder(RC);
  RequireSafeExamName(Rec.EName);
  const std::string target = Rec.EName + Rec.Ext;
  if (!IsSafePathComponent(target)) throw std::runtime_error("Tên file không hợp lệ: \"" + target + "\"");
  std::string source = Rec.Dir;
  if (!source.empty() && source.back() != '/') source += '/';
  source += Rec.FileName;
  MoveOrFail(source, folder, target);
}

namespace {

std::string JoinedPath(const TSubmitRec& Rec) {
  std::string path = Rec.Dir;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + Rec.FileName;
}

// The history folder of Rec's submission folder, made when missing; never
// a link or a file standing under that name.
std::string RequireSubmissionHistory(const TSubmitRec& Rec) {
  std::string dir = Rec.Dir.empty() ? "." : Rec.Dir;
  const std::string folder = SubmissionHistoryFolder(dir);
  ::mkdir(folder.c_str(), 0700);  // an existing one is checked below
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw std::runtime_error("Không dùng được thư mục lưu bài nộp \"" + folder + "\"");
  return folder;
}

// A name in Folder for Rec's file that nothing stands under yet.
std::string FreeHistoryName(const std::string& Folder, const TSubmitRec& Rec) {
  const std::string stamp = DateTimeStamp(SubmitClockNow());
  std::string name = stamp + "_" + Rec.FileName;
  for (int n = 1; PathExists(Folder + "/" + name); ++n) name = stamp + "-" + std::to_string(n) + "_" + Rec.FileName;
  return name;
}

long long Nanoseconds(const timespec& t) { return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec; }

constexpr double kSecondsPerDay = 86400;

}  // namespace

std::string SubmissionHistoryFolder(const std::string& SubmitDir) {
  std::string folder = SubmitDir;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + kHistoryFolderName;
}

std::string KeepSubmissionCopy(const TSubmitRec& Rec) {
  const std::string folder = RequireSubmissionHistory(Rec);
  const std::string name = FreeHistoryName(folder, Rec);
  CopyOrFail(JoinedPath(Rec), folder, name);
  return folder + "/" + name;
}

std::string SetSubmissionAside(const TSubmitRec& Rec) {
  const std::string folder = RequireSubmissionHistory(Rec);
  const std::string name = FreeHistoryName(folder, Rec);
  MoveOrFail(JoinedPath(Rec), folder, name);
  return folder + "/" + name;
}

namespace {

bool DiskIsFull(int Status) {
  return Status == -static_cast<int>(platform::ErrorCodeFromErrno(ENOSPC)) ||
         Status == -static_cast<int>(platform::ErrorCodeFromErrno(EDQUOT));
}

// ShellCopyProc, retried as the guarded copies are, except on a full disk,
// which waiting does not empty. The status of the last attempt.
int CopyRetried(const std::string& Source, const std::string& DestDir, const std::string& NewName) {
  int status = 0;
  for (int attempt = 0; attempt < kRetryAttempts; ++attempt) {
    status = ShellCopyProc(Source, DestDir, NewName);
    if (status >= 0 || DiskIsFull(status)) break;
    RetrySleep(kRetryPauseMs);
  }
  return status;
}

void RenameOrFail(const std::string& From, const std::string& To) {
  if (::rename(From.c_str(), To.c_str()) == 0) return;
  const int err = errno;
  throw std::runtime_error("Không chuyển được \"" + From + "\" thành \"" + To + "\": " + platform::ErrnoMessage(err));
}

void UnlinkOrFail(const std::string& Path) {
  if (::unlink(Path.c_str()) == 0) return;
  const int err = errno;
  throw std::runtime_error("Không xóa được \"" + Path + "\": " + platform::ErrnoMessage(err));
}

// Makes the folder Path: true when it was made now, false when it stood
// there already. Raises when it cannot be had.
bool MakeFolderOrFail(const std::string& Path) {
  if (::mkdir(Path.c_str(), 0777) == 0) return true;
  const int err = errno;
  if (err == EEXIST) return false;
  throw std::runtime_error("Không tạo được thư mục \"" + Path + "\": " + platform::ErrnoMessage(err));
}

bool SameFile(const struct stat& A, const struct stat& B) { return A.st_dev == B.st_dev && A.st_ino == B.st_ino; }

// Whether the file at Path is still the one Before describes, unwritten.
bool Unchanged(const std::string& Path, const struct stat& Before) {
  struct stat now {};
  return ::lstat(Path.c_str(), &now) == 0 && SameFile(now, Before) && now.st_size == Before.st_size &&
         Nanoseconds(now.st_mtim) == Nanoseconds(Before.st_mtim) &&
         Nanoseconds(now.st_ctim) == Nanoseconds(Before.st_ctim);
}

// A second name for the file From at To, on the same disk when it can be
// (a hard link needs no room), a copy otherwise. The file at From stays.
void KeepUnderSecondName(const std::string& From, const std::string& ToDir, const std::string& ToName) {
  const std::string to = ToDir + "/" + ToName;
  if (::link(From.c_str(), to.c_str()) == 0) return;
  const int err = errno;
  if (err == EPERM || err == EXDEV || err == EMLINK || err == EOPNOTSUPP) {
    if (ShellCopyProc(From, ToDir, ToName) >= 0) return;
  }
  throw std::runtime_error("Không lưu được \"" + From + "\" vào \"" + to + "\": " + platform::ErrnoMessage(err));
}

// A staging folder in a contestant's folder, removed with whatever it
// still holds.
class TStagingFolder {
 public:
  explicit TStagingFolder(const std::string& Folder) : FPath(platform::MakeStagingFolder(Folder)) {
    const int err = errno;
    if (FPath.empty())
      throw std::runtime_error("Không tạo được thư mục tạm trong \"" + Folder + "\": " + platform::ErrnoMessage(err));
  }
  ~TStagingFolder() { ShellDeleteProc(FPath); }
  TStagingFolder(const TStagingFolder&) = delete;
  TStagingFolder& operator=(const TStagingFolder&) = delete;
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

// Staging folders an intake that was killed left in Folder. They hold
// copies only (the submission leaves its folder last), so nothing is lost
// with them; left, they would stay hidden from every scan for good.
void ClearLeftStagingFolders(const std::string& Folder) {
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(Folder, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec))
    if (platform::IsStagingFolderName(it->path().filename().string())) ShellDeleteProc(it->path().string());
}

// The contestant's files of one exam while a submission takes their place:
// each gets a second name in the history first, so that at every moment
// the contestant has a source; Restore puts everything back as it was.
class THistoryKeeping {
 public:
  THistoryKeeping(std::string Folder, std::string History) : FFolder(std::move(Folder)), FHistory(std::move(History)) {}
  void Keep(const std::string& Name, const std::string& HistoryName) {
    if (FKept.empty()) FMadeHistory = MakeFolderOrFail(FHistory);
    KeepUnderSecondName(FFolder + "/" + Name, FHistory, HistoryName);
    FKept.push_back({Name, FHistory + "/" + HistoryName});
  }
  // The kept files under their own names, except Placed, which the new
  // source now stands under: they are in the history.
  void RemoveOriginals(const std::string& Placed) {
    for (const TKept& k : FKept)
      if (k.Name != Placed) UnlinkOrFail(FFolder + "/" + k.Name);
  }
  // Every kept file back under its own name (over the new source when it
  // took one of them), its history name gone; a source under a name none
  // of them had, Placed, goes.
  void Restore(const std::string& Placed) noexcept {
    for (auto it = FKept.rbegin(); it != FKept.rend(); ++it) {
      const std::string original = FFolder + "/" + it->Name;
      struct stat a {}, b {};
      if (::lstat(original.c_str(), &a) == 0 && ::lstat(it->Kept.c_str(), &b) == 0 && SameFile(a, b))
        ::unlink(it->Kept.c_str());
      else
        ::rename(it->Kept.c_str(), original.c_str());
    }
    if (!Placed.empty() && std::none_of(FKept.begin(), FKept.end(), [&](const TKept& k) { return k.Name == Placed; }))
      ::unlink((FFolder + "/" + Placed).c_str());
    if (FMadeHistory) ::rmdir(FHistory.c_str());
  }

 private:
  struct TKept {
    std::string Name;  // in the contestant's folder
    std::string Kept;  // its path in the history
  };
  std::string FFolder, FHistory;
  std::vector<TKept> FKept;
  bool FMadeHistory = false;
};

}  // namespace

void MakeContestantFolder(const std::string& Path) {
  MakeFolderOrFail(Path);
  std::error_code ec;
  if (!std::filesystem::is_directory(Path, ec))
    throw std::runtime_error("Không tạo được thư mục \"" + Path + "\": một file khác đã mang tên đó");
}

std::string RefusedSubmissionReason(const TSubmitRec& Rec) {
  if (!IsValidUtf8Name(Rec.CName)) return "Tên thí sinh \"" + ShowableName(Rec.CName) + "\" không phải UTF-8";
  const std::string source = Rec.CName + "/" + Rec.EName + Rec.Ext;
  if (!ArchiveKeepsFolder(Rec.CName) || !ArchiveKeepsFile(kArchiveContestantsFolder, source))
    return "Tên \"" + ShowableName(source) + "\" không lưu được vào file kỳ thi (có " + kNamesArchiveCannotKeep + ")";
  return "";
}

// A kill at any step leaves the submission waiting in its folder (the next
// pass takes it again) or wholly in place, and the contestant always with
// a source: the submission is copied in, never moved, and leaves its
// folder only once everything else is done.
void TakeSubmissionIn(const TSubmitRec& Rec, const TResultC& RC) {
  const std::string folder = ContestantFolder(RC);
  RequireSafeExamName(Rec.EName);
  const std::string target = Rec.EName + Rec.Ext;
  if (!IsSafePathComponent(target)) throw std::runtime_error("Tên file không hợp lệ: \"" + target + "\"");
  MakeContestantFolder(folder);
  ClearLeftStagingFolders(folder);
  const std::vector<TFindData> earlier = FilesOfExam(folder, Rec.EName);

  // The one step that needs room: until it is done, nothing has changed.
  const std::string source = JoinedPath(Rec);
  struct stat submitted {};
  if (::lstat(source.c_str(), &submitted) != 0) {
    const int err = errno;
    throw std::runtime_error("Không đọc được bài nộp \"" + source + "\": " + platform::ErrnoMessage(err));
  }
  TStagingFolder staging(folder);
  if (const int status = CopyRetried(source, staging.Path(), target); status < 0)
    throw std::runtime_error("Không chuyển được bài nộp \"" + source + "\" vào thư mục thí sinh \"" + folder +
                             "\": " + platform::SystemErrorMessage(static_cast<std::uint32_t>(-status)));

  THistoryKeeping history(folder, folder + "/" + kHistoryFolderName);
  std::string placed;
  try {
    for (const TFindData& f : earlier)
      history.Keep(f.Name, HistoryFileName(SubmitClockNow(), ArrivalTime(f), RC.Name(), Rec.EName,
                                           ExtractFileExt(f.Name)));
    RenameOrFail(staging.Path() + "/" + target, folder + "/" + target);
    placed = target;
    history.RemoveOriginals(target);
    // Rewritten while it was copied: the copy may be neither version.
    if (!Unchanged(source, submitted))
      throw std::runtime_error("Bài nộp \"" + source + "\" thay đổi trong khi được nhận vào thư mục thí sinh");
    UnlinkOrFail(source);
  } catch (...) {
    history.Restore(placed);
    throw;
  }
}

TSubmissionWaits::TState TSubmissionWaits::Check(const std::string& Path) {
  struct stat st {};
  if (::lstat(Path.c_str(), &st) != 0) return swBusy;  // gone meanwhile: nothing to take
  const TDateTime now = SubmitClockNow();
  const TLook look{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                   static_cast<std::uint64_t>(st.st_size), Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
  auto [it, fresh] = FFiles.try_emplace(Path);
  TFile& file = it->second;
  if (fresh) {
    file.Look = look;
    file.FirstSeen = file.LookSince = now;
  } else if (!(file.Look == look)) {
    file.Look = look;
    file.LookSince = now;
    file.SeenChanging = true;
    file.CopyKept = false;
    file.FailureTold = false;
  }
  // A clock set back: what we saw "later" counts from now.
  file.LookSince = std::min(file.LookSince, now);
  file.FirstSeen = std::min(file.FirstSeen, now);

  const TDateTime quiet = kQuietSeconds / kSecondsPerDay;
  const TDateTime changed = std::max(FileTimeToLocalDateTime(st.st_mtim), FileTimeToLocalDateTime(st.st_ctim));
  const bool trusted = changed <= now;
  const bool recent = (trusted && now - changed < quiet) || ((file.SeenChanging || !trusted) && now - file.LookSince < quiet);
  file.OpenForWriting = platform::FileWriteState(Path) == platform::TWriteState::wsWriting;
  if (!recent && !file.OpenForWriting) return swReady;
  if (!file.Reported && now - file.FirstSeen >= kLongWaitSeconds / kSecondsPerDay) {
    file.Reported = true;
    return swBusyTooLong;
  }
  return swBusy;
}

std::string TSubmissionWaits::BusyReason(const std::string& Path) const {
  const auto it = FFiles.find(Path);
  if (it == FFiles.end() || !it->second.OpenForWriting) return "vẫn đang thay đổi (kích thước hoặc thời gian ghi)";
  std::string who;
  for (const platform::TFileWriter& w : platform::FileWriters(Path)) {
    who += who.empty() ? " bởi " : ", ";
    who += "tiến trình " + std::to_string(w.Pid);
    if (!w.Command.empty()) who += " \"" + w.Command + "\"";
  }
  return "đang được mở để ghi" + (who.empty() ? std::string(" bởi một chương trình khác") : who);
}

bool TSubmissionWaits::CopyKept(const std::string& Path) const {
  const auto it = FFiles.find(Path);
  return it != FFiles.end() && it->second.CopyKept;
}

void TSubmissionWaits::MarkCopyKept(const std::string& Path) {
  if (const auto it = FFiles.find(Path); it != FFiles.end()) it->second.CopyKept = true;
}

bool TSubmissionWaits::FailureTold(const std::string& Path) const {
  const auto it = FFiles.find(Path);
  return it != FFiles.end() && it->second.FailureTold;
}

void TSubmissionWaits::MarkFailureTold(const std::string& Path) {
  if (const auto it = FFiles.find(Path); it != FFiles.end()) it->second.FailureTold = true;
}

void TSubmissionWaits::Forget(const std::string& Path) { FFiles.erase(Path); }

void TSubmissionWaits::KeepOnly(const std::vector<std::string>& Present) {
  std::erase_if(FFiles, [&](const auto& entry) {
    return std::find(Present.begin(), Present.end(), entry.first) == Present.end();
  });
}

std::string HistoryFileName(TDateTime Now, TDateTime FileTime, const std::string& CName,
                            const std::string& EName, const std::string& Ext) {
  const long long ms = std::llround((FileTime + kDaysFromYearOne) * kMsPerDay);
  return DateTimeStamp(Now) + "_" + ZeroPadded(ms, 15) + "[" + CName + "][" + EName + "]" + Ext;
}

TDateTime SubmitClockNow() { return Clock() ? Clock()() : SystemLocalNow(); }

std::string DateTimeStamp(TDateTime Value) {
  namespace chr = std::chrono;
  long long day = static_cast<long long>(std::floor(Value));
  long long ms = std::llround((Value - static_cast<double>(day)) * kMsPerDay);
  if (ms >= static_cast<long long>(kMsPerDay)) {
    ++day;
    ms -= static_cast<long long>(kMsPerDay);
  }
  const chr::year_month_day date{chr::sys_days{chr::year{1899} / 12 / 30} + chr::days{day}};
  std::string s = ZeroPadded(static_cast<int>(date.year()), 4);
  s += ZeroPadded(static_cast<unsigned>(date.month()), 2);
  s += ZeroPadded(static_cast<unsigned>(date.day()), 2);
  s += ZeroPadded(ms / 3600000, 2);
  s += ZeroPadded(ms / 60000 % 60, 2);
  s += ZeroPadded(ms / 1000 % 60, 2);
  s += ZeroPadded(ms % 1000, 3);
  return s;
}

TLocalClock SetSubmitClock(TLocalClock Clock_) { return std::exchange(Clock(), std::move(Clock_)); }

}  // namespace velkor
