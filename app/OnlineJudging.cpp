#include "app/OnlineJudging.h"

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/FileUtils.h"
#include "judging/Contests.h"
#include "judging/FolderLocks.h"
#include "judging/SubmitU.h"
#include "platform/UniqueFd.h"

namespace velkor {

namespace {

constexpr std::uint32_t kLogNameRetryMs = 100;
// Stamps tried, a millisecond apart, for an earlier log set aside.
constexpr int kLogAsideTries = 1000;

// What the passes know of the files that wait, from one pass to the next.
// Keyed by path, so a folder of one contest and of the next never mix.
TSubmissionWaits& Waits() {
  static TSubmissionWaits waits;
  return waits;
}

std::string WithDelimiter(std::string Dir) {
  if (!Dir.empty() && Dir.back() != '/') Dir += '/';
  return Dir;
}

// The logs folder of the submission folder Dir (ending with "/"), made
// when missing; false when a "Logs" stands there that is not a real folder
// (a link a submitter planted, a file), which is never written through.
bool PrepareLogsFolder(const std::string& Dir, std::string& Logs) {
  const std::string logs = Dir + kLogsFolderName;
  std::error_code ec;
  std::filesystem::create_directories(logs, ec);  // failure shows when the log is written
  Logs = logs + "/";
  struct stat st{};
  return !(::lstat(logs.c_str(), &st) == 0 && !S_ISDIR(st.st_mode));
}

// The same, raising when the log cannot go there.
std::string RequireLogsFolder(const std::string& Dir) {
  std::string logs;
  if (!PrepareLogsFolder(Dir, logs))
    throw std::runtime_error("Thư mục nhật ký không hợp lệ: \"" + Dir + kLogsFolderName + "\"");
  return logs;
}

// Moves the log F + ".log" of Logs (ending with "/") to F + "." + the
// stamp of its own last write + ".log", the first such name that is free
// from that time on. A later log never deletes an earlier one: a writer
// that paused is judged twice, and the report on its first part is still
// the submitter's. False when it cannot be moved.
bool SetLogAside(const std::string& Logs, const std::string& F) {
  const std::string plain = Logs + F + ".log";
  struct stat st {};
  if (::lstat(plain.c_str(), &st) != 0) return errno == ENOENT;
  const TDateTime written = FileTimeToLocalDateTime(st.st_mtim);
  constexpr double kMsPerDay = 86400000;
  for (int ms = 0; ms < kLogAsideTries; ++ms) {
    const int err = RenameNoReplace(plain, Logs + F + "." + FormatTimeStamp(written + ms / kMsPerDay) + ".log");
    if (err != EEXIST) return err == 0;
  }
  return false;
}

// The contest's exams and contestants folders, as the contest was opened
// with them. One that went while judging online (renamed or moved by the
// jury, its disk unplugged) is never made again at its old path: a second,
// near-empty contest would grow there, be judged as this one and be saved
// as its contestants. The submission waits until the folder is back.
void RequireContestFolders(TContestInfo& Contest) {
  const std::pair<std::string, const char*> folders[] = {{Contest.ExamSet().Dir(), "thư mục đề bài"},
                                                         {Contest.ResultSet().Dir(), "thư mục bài làm"}};
  for (auto [dir, what] : folders) {
    if (std::error_code ec; std::filesystem::is_directory(dir, ec)) continue;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    throw std::runtime_error(std::string("Không tìm thấy ") + what + " \"" + dir +
                             "\" của kỳ thi (thư mục có thể đã bị đổi tên, chuyển đi hoặc xóa).");
  }
}

}  // namespace

std::string FormatTimeStamp(TDateTime Time) { return DateTimeStamp(Time); }

std::string GetLogFileName(const std::string& Logs, const std::string& F) {
  const std::string plain = F + ".log";
  if (!PathExists(Logs + plain) || SetLogAside(Logs, F)) return plain;
  for (;;) {
    const std::string stamped = F + "." + FormatTimeStamp(SubmitClockNow()) + ".log";
    if (!PathExists(Logs + stamped)) return stamped;
    RetrySleep(kLogNameRetryMs);
  }
}

void WriteSubmissionLog(const std::string& Path, const std::vector<std::string>& Lines) {
  std::string text = "\xEF\xBB\xBF";
  for (const std::string& line : Lines) text += line + "\r\n";
  const std::string temp = Path + ".tmp";
  ::unlink(temp.c_str());  // whatever stood there, a link included, goes first
  {
    platform::UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.Valid() || !platform::WriteAll(fd.Get(), text)) {
      ::unlink(temp.c_str());
      throw std::runtime_error("Không ghi được file \"" + temp + "\"");
    }
  }
  const std::filesystem::path target(Path);
  if (ShellMoveProc(temp, target.parent_path().string(), target.filename().string()) < 0) ::unlink(temp.c_str());
}

std::string TakeSubmissionFolder(const std::string& Dir) {
  std::error_code ec;
  if (Dir.empty() || !std::filesystem::is_directory(Dir, ec)) return "";
  // Opening an archive or judging deletes that folder with everything in
  // it, the submissions and their only copies included.
  if (const std::string replaced = ReplacedFolderHolding(Dir); !replaced.empty())
    return "Thư mục nộp bài \"" + Dir + "\" nằm trong thư mục \"" + replaced +
           "\", thư mục mà Velkor xóa đi rồi tạo lại khi mở kỳ thi hoặc khi chấm bài; bài nộp trong đó sẽ bị "
           "xóa theo. Hãy chọn thư mục nộp bài ở nơi khác. Chương trình này không chấm trực tuyến thư mục đó.";
  try {
    HoldSubmissionFolder(Dir);
    return "";
  } catch (const std::exception& e) {
    return std::string(e.what()) + " Chương trình này không chấm trực tuyến thư mục đó.";
  }
}

std::string MissingSubmissionFolder(const std::string& Dir) {
  std::error_code ec;
  if (std::filesystem::is_directory(Dir, ec)) return "";
  return "Không tìm thấy thư mục nộp bài trực tuyến \"" + Dir + "\".";
}

int JudgeSubmissionPass(TContestInfo& Contest, const std::string& SubmitDir, const TOnlineJudgeHooks& Hooks) {
  if (SubmitDir.empty() || Contest.ExamSet().Dir().empty() || Contest.ResultSet().Dir().empty()) return 0;
  if (std::error_code ec; std::filesystem::is_directory(SubmitDir, ec)) HoldSubmissionFolder(SubmitDir);
  int judged = 0;
  std::vector<std::string> present;
  for (const TSubmitRec& S : ScanSubmissionDir(SubmitDir)) {
    const std::string dir = WithDelimiter(S.Dir);
    const std::string path = dir + S.FileName;
    present.push_back(path);
    // A file still being written is left for a later pass (the folder's
    // watch and the passes every second come back to it): moved now, it
    // would be judged half-written while the writer finished it where
    // nobody judges it again. One that stays busy for long is told to the
    // jury in its log, once, and still waits.
    switch (Waits().Check(path)) {
      case TSubmissionWaits::swReady:
        break;
      case TSubmissionWaits::swBusyTooLong: {
        const std::string logs = RequireLogsFolder(dir);
        WriteSubmissionLog(logs + GetLogFileName(logs, S.FileName),
                           {"Bài nộp chưa được chấm: sau " +
                            std::to_string(static_cast<int>(TSubmissionWaits::kLongWaitSeconds)) +
                            " giây file vẫn chưa ghi xong; bài sẽ được chấm khi file ghi xong. Chi tiết: file \"" +
                            S.FileName + "\" " + Waits().BusyReason(path) + "."});
        continue;
      }
      default:
        continue;
    }
    // A file the contest cannot take: no such exam, or names that no
    // save could keep. The submitter's only copy is kept where the jury
    // finds it, and the log says why it was not judged.
    const std::string refusal = Contest.ExamSet().Obj(S.EName)
                                    ? RefusedSubmissionReason(S)
                                    : "Không có bài thi nào tên \"" + S.EName + "\" trong kỳ thi";
    if (!refusal.empty()) {
      std::string keptAt;
      try {
        keptAt = SetSubmissionAside(S);
      } catch (const std::exception&) {
        continue;  // stays in the folder for the next pass
      }
      Waits().Forget(path);
      const std::string logs = RequireLogsFolder(dir);
      WriteSubmissionLog(logs + GetLogFileName(logs, S.FileName),
                         {refusal + ": bài nộp không được chấm, file được giữ lại tại \"" + keptAt + "\"."});
      continue;
    }
    try {
      RequireContestFolders(Contest);
      // The contestant's folder may be deleted with the contest (the
      // unpack folder of an archive the jury does not save): the copy
      // outside it is what keeps the submission. Made first, so that a
      // copy that fails changes nothing; once, however often the move
      // below fails.
      if (!Waits().CopyKept(path)) {
        KeepSubmissionCopy(S);
        Waits().MarkCopyKept(path);
      }
      // The contest's folders change from here: an unpacked archive's
      // folder is marked first, so that opening the archive again after a
      // crash keeps it rather than delete the only copy in the contest.
      Contest.NoteUnsavedChange();
      TResultSet& results = Contest.ResultSet();
      TResultC* contestant = results.Obj(S.CName);
      if (!contestant) {
        // The folder first: a contestant without one would not survive the
        // next refresh of the set. One the set does not know yet may stand
        // there in another letter case: the contestant takes its name, and
        // no second folder is made beside it.
        const std::string onDisk = FindNameIgnoreCase(results.Dir(), S.CName);
        const std::string name = onDisk.empty() ? S.CName : onDisk;
        MakeContestantFolder(results.Dir() + name);
        contestant = results.ObjF(name);
        if (Hooks.ContestantAdded) Hooks.ContestantAdded();
      }
      TakeSubmissionIn(S, *contestant);
      Waits().Forget(path);
      // An earlier log of this file is set aside now, so that none stands
      // under the plain name while the submission is judged. A logs folder
      // that cannot be used does not keep it from being judged: the jury
      // hears of it when the log is written.
      if (std::string logs; PrepareLogsFolder(dir, logs)) GetLogFileName(logs, S.FileName);
      if (Hooks.ContestChanged) Hooks.ContestChanged();
    } catch (const std::exception& e) {
      // It stays in the folder for the next pass, and the contestant's
      // earlier source stays the one judged. The submitter hears why, once
      // for the file as it stands.
      if (!Waits().FailureTold(path)) {
        Waits().MarkFailureTold(path);
        const std::string logs = RequireLogsFolder(dir);
        WriteSubmissionLog(logs + GetLogFileName(logs, S.FileName),
                           {"Bài nộp chưa được nhận vào kỳ thi; bài nộp trước đó của thí sinh (nếu có) được giữ "
                            "nguyên. Velkor sẽ thử nhận lại bài ở các lần quét sau.",
                            std::string("Chi tiết: ") + e.what()});
      }
      continue;
    }

    TQueue<TJudgePair> queue;
    TJudgePair pair;
    MakeJudgePair(S.CName, S.EName, pair);
    queue.Push(pair);
    if (Hooks.Judge) Hooks.Judge(queue);
    ++judged;

    TStringList lines;
    Contest.ResultSet().ObjF(S.CName)->ObjF(S.EName)->ReportText(lines);
    const std::string logs = RequireLogsFolder(dir);
    WriteSubmissionLog(logs + GetLogFileName(logs, S.FileName), lines);
  }
  Waits().KeepOnly(present);
  return judged;
}

}  // namespace velkor
