// The judge engine's work on one submission and one test: the contestant's
// files into the waiting room, the compile, the compiled program between
// the waiting room and the contest room, the test's input files, the
// runner's command line and limits, and the verdict and score.
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/FileUtils.h"
#include "core/FileUtilsWrap.h"
#include "core/NameCompare.h"
#include "core/NumberFormat.h"
#include "core/SystemInfo.h"
#include "judging/EnvConfig.h"
#include "judging/JudgeEngines.h"
#include "judging/JudgeEngines_Internal.h"
#include "judging/SafeUnzip.h"
#include "judging/Security.h"
#include "platform/SystemErrors.h"
#include "platform/UniqueFd.h"

namespace velkor {
namespace {

// The first item of a "|"-separated list that is not empty once trimmed;
// "" when there is none.
std::string FirstListItem(const std::string& List) {
  const std::vector<std::string> items = FileListItems(List);
  return items.empty() ? std::string() : items.front();
}

// What an honest program may leave in its room after a test: its answer
// files twice over, and scratch files besides. A room holding more that
// the jury's disk cannot take fails that test; a smaller one stops the
// judging, the jury's disk being full.
std::uint64_t HonestRoomBytes(const TExamInfo& Exam, const TTestInfo& Test) {
  constexpr std::uint64_t kScratchFiles = std::uint64_t{64} << 20;
  std::uint64_t answers = 0;
  for (const std::string& name : FileListItems(Exam.OutputFile)) {
    const std::string found = FindNameIgnoreCase(Test.Dir(), name);
    struct stat st {};
    if (!found.empty() && ::stat((Test.Dir() + "/" + found).c_str(), &st) == 0 && S_ISREG(st.st_mode))
      answers += static_cast<std::uint64_t>(st.st_size);
  }
  return 2 * answers + kScratchFiles;
}

// A file name from the exam's settings, about to become a path inside the
// contest room: refused when it could point anywhere else.
const std::string& CheckedFileName(const std::string& Name) {
  if (!IsSafePathComponent(Name))
    throw std::runtime_error("Tên file \"" + Name + "\" trong cấu hình đề bài không hợp lệ");
  return Name;
}

// Copies a file Velkor hands to a run. A full disk stops the judging at
// once, with its own message: retrying would not make room, and the run
// must not go on without the file. Other failures are retried as always.
void CopyForRun(const std::string& Source, const std::string& DestDir, const std::string& NewName = "") {
  std::error_code ec;
  std::filesystem::create_directories(DestDir, ec);
  const int status = ShellCopyProc(Source, DestDir, NewName);
  if (status >= 0) return;
  int err = 0;
  for (const int e : {ENOSPC, EDQUOT})
    if (status == -static_cast<int>(platform::ErrorCodeFromErrno(e))) err = e;
  // The copy does not always say why it came out short (the standard
  // library calls a short copy an I/O error): a file larger than the room
  // left where it goes did not fit.
  struct stat st {};
  struct statvfs vfs {};
  if (err == 0 && ::stat(Source.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::statvfs(DestDir.c_str(), &vfs) == 0 &&
      static_cast<double>(vfs.f_bavail) * static_cast<double>(vfs.f_frsize) < static_cast<double>(st.st_size))
    err = ENOSPC;
  if (err != 0)
    throw EJuryDiskFull(DestDir, "Không thể chép \"" + Source + "\" vào \"" + DestDir + "\": " +
                                     platform::ErrnoMessage(err));
  CopyOrFail(Source, DestDir, NewName);
}

// Ends the impersonation however the block it guards ends.
struct TImpersonation {
  TImpersonation() { SetImpersonation(true); }
  ~TImpersonation() noexcept(false) {
    if (std::uncaught_exceptions() > 0) {
      try {
        SetImpersonation(false);
      } catch (...) {
      }
    } else {
      SetImpersonation(false);
    }
  }
};

}  // namespace

// ---- Unpacking a submitted ZIP file ------------------------------------------
// The archive comes from a contestant, so nothing in it is trusted (see
// SafeUnzip). An entry that cannot be unpacked is passed over, as a file the
// contestant did not submit, except for want of room on the jury's disk;
// limits on the unpacked bytes and on the number of entries keep a small
// archive from filling the disk or its table of files.

constexpr std::uint64_t kMaxUnpackedBytes = 256ull << 20;
constexpr std::uint64_t kMaxUnpackedEntries = 10000;

void UnpackSubmissionArchive(const std::string& ZipFile, const std::string& Folder) {
  TUnzipRules rules;
  rules.RawNames = false;
  rules.MaxEntries = kMaxUnpackedEntries;
  rules.MaxBytes = kMaxUnpackedBytes;
  rules.KeepRunnable = true;  // a submitted program stays runnable
  rules.OnFault = [&](const TUnzipFault& F) {
    // A part of the submission left out for want of room on the jury's
    // disk would be judged as the contestant's omission.
    if (F.Errno == ENOSPC || F.Errno == EDQUOT)
      throw EJuryDiskFull(Folder, "Không thể giải nén \"" + F.Path + "\" từ \"" + ZipFile + "\" vào \"" + Folder +
                                      "\": " + platform::ErrnoMessage(F.Errno));
  };
  SafeUnzip(ZipFile, Folder, rules);
}

// ---- Submission ----------------------------------------------------------------

void TJudgeEngine::CopySubmission(TResultE* RE) {
  TImpersonation asSecurityAccount;
  const std::string folder = RE->Owner->Dir();
  TQueue<TFindData> files = ScanDirectory(folder, sdFiles | sdAbsoluteNames, "*");  // name order
  // A folder that went since the run began lists nothing, which is not
  // "no source": the pair fails and keeps its earlier result.
  if (files.Empty() && judgeengine::FolderGone(folder))
    throw std::runtime_error("Không tìm thấy thư mục của thí sinh \"" + folder + "\"");
  std::vector<std::string> archives, plain;
  while (!files.Empty()) {
    const TFindData file = files.Pop();
    // A link could bring any file of the machine, the tests' answers
    // included, into the room where the program runs; a pipe or a device
    // would block or fail every copy. Only regular files are submissions.
    if (!IsPlainFile(file.Name)) continue;
    (SameText(ExtractFileExt(file.Name), ".ZIP") ? archives : plain).push_back(file.Name);
  }
  // Which of two files of one name is judged must not depend on the order
  // they are met in: every ZIP is unpacked first, then each file lying in
  // the contestant's folder takes the place of an entry of its name (in any
  // letter case, as the compile would find either).
  for (const std::string& archive : archives) UnpackSubmissionArchive(archive, WaitRoomDir);
  for (const std::string& file : plain) {
    const std::string name = std::filesystem::path(file).filename().string();
    for (std::string found; !(found = FindNameIgnoreCase(WaitRoomDir, name)).empty();)
      DeleteOrFail(WaitRoomDir + "/" + found);
    CopyForRun(file, WaitRoomDir);
  }
}

TCompilerEngine::TCompileResult TJudgeEngine::CompileSubmission(TResultE* RE) {
  TCompilerEngine compiler(*FCompiler);
  // A source can bring any readable file into the compile log or the
  // program (an #include of it): Velkor's settings are not among them, nor,
  // with the security mode, anything of the contest but the waiting room.
  SetProgramView(compiler, WaitRoomDir);
  const TCompilerEngine::TCompileResult r = compiler.Compile(WaitRoomDir, RE->Name());
  // A compile whose program or messages did not reach the jury's disk
  // says nothing about the source.
  if (!compiler.DiskFullFolder().empty()) throw EJuryDiskFull(compiler.DiskFullFolder(), compiler.DiskFullDetail());
  if (!FProtectedFolders.empty() && !compiler.ContainmentError().empty())
    throw std::runtime_error("Không thể dịch bài trong chế độ bảo mật: " + compiler.ContainmentError());
  RE->CompiledFile = compiler.CompiledFile();
  std::string text;
  for (const std::string& line : compiler.Log()) text += line + "\r\n";
  if (r == TCompilerEngine::crError)
    if (const std::string notice = HiddenProgramNotice(compiler); !notice.empty()) text += notice + "\r\n";
  RE->EvaluationText = std::move(text);
  switch (r) {
    case TCompilerEngine::crOK: RE->state = jsNotyetJudged; break;
    case TCompilerEngine::crNoSource: RE->state = jsNoSource; break;
    case TCompilerEngine::crError: RE->state = jsCompileError; break;
  }
  RE->Evaluation = 0;
  return r;
}

namespace {

// Copies a file of the program into the contest room as Velkor's own
// account, whose copy it can always read and run: with the security mode
// the rooms' access lists leave a waiting room's file nothing for its
// owner, the security account, in its permission bits, and a copy would
// keep them.
void CopyProgramFile(const std::string& Source, const std::string& DestDir, const std::string& NewName = "") {
  CopyForRun(Source, DestDir, NewName);
  const std::string copy = DestDir + "/" + (NewName.empty() ? std::filesystem::path(Source).filename().string() : NewName);
  struct stat st {};
  if (::stat(copy.c_str(), &st) != 0) return;
  const mode_t mode = st.st_mode & 0777;
  const mode_t owner = S_IRUSR | ((mode & 0111) != 0 ? S_IXUSR : 0);
  if ((mode & owner) != owner) ::chmod(copy.c_str(), mode | owner);
}

}  // namespace

void TJudgeEngine::MoveCompiledFiles(const std::string& FileName) {
  // Copied, never moved: a test may change or add to the files of its
  // program (a script appending to itself, a class left beside the
  // program's), and whatever it did goes with the contest room, so that
  // each test starts from the files the compiler made.
  const std::string source = WaitRoomDir + "/";
  // A program may be more than one file (a Java class and its inner classes).
  if (const std::string pattern = CompanionMask(FileName); !pattern.empty()) {
    TQueue<TFindData> inner = ScanDirectory(source, sdFiles | sdAbsoluteNames, pattern);
    while (!inner.Empty()) CopyProgramFile(inner.Pop().Name, ContestRoomDir);
  }
  // The program keeps the name it is started by, whatever letter case the
  // compiler gave the file. None: RunTest says so.
  if (const std::string found = FindNameIgnoreCase(source, FileName); !found.empty())
    CopyProgramFile(source + found, ContestRoomDir, FileName);
}

// ---- Test --------------------------------------------------------------------

namespace {

using platform::UniqueFd;

// Copies an input file into the contest room, which holds no such name yet:
// its content (a link is followed), its mode and its modification time, as
// the general copy gives them. False, with nothing left behind, when the
// general copy must do it (a name already there, no such file, not a
// regular file, a failed write): it also says why.
bool CopyInputDirect(const std::string& Source, const std::string& Room, const std::string& Name) {
  // Only a regular file is opened: opening a pipe would wait for a writer.
  struct stat from {};
  if (::stat(Source.c_str(), &from) != 0 || !S_ISREG(from.st_mode)) return false;
  const UniqueFd in(::open(Source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!in.Valid() || ::fstat(in.Get(), &from) != 0 || !S_ISREG(from.st_mode)) return false;
  const std::string target = Room + "/" + Name;
  UniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!out.Valid()) return false;
  bool copied = true;
  for (off_t done = 0; copied && done < from.st_size;) {
    ssize_t n = ::copy_file_range(in.Get(), nullptr, out.Get(), nullptr, static_cast<std::size_t>(from.st_size - done), 0);
    if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
      n = ::sendfile(out.Get(), in.Get(), nullptr, static_cast<std::size_t>(from.st_size - done));
    if (n < 0 && errno == EINTR) continue;
    copied = n > 0;
    done += n > 0 ? n : 0;
  }
  // Like the general copy: the last write time travels, access is "now".
  const timespec times[2] = {{0, UTIME_OMIT}, from.st_mtim};
  struct stat made {};
  copied = copied && ::fchmod(out.Get(), from.st_mode & 07777) == 0 && ::futimens(out.Get(), times) == 0 &&
           ::fstat(out.Get(), &made) == 0 && made.st_size == from.st_size && out.Close() == 0;
  if (!copied) ::unlink(target.c_str());
  return copied;
}

}  // namespace

std::string TJudgeEngine::InputFilesFault(const TExamInfo& Exam) {
  const auto known = FInputFaults.find(Exam.Name());
  if (known != FInputFaults.end()) return known->second;
  TImpersonation asSecurityAccount;  // who copies the inputs, so who must find them
  std::string fault;
  for (const TTestInfo* test : Exam) {
    for (const std::string& name : FileListItems(Exam.InputFile)) {
      if (!IsSafePathComponent(name)) {
        fault = "Tên file input \"" + name + "\" trong cấu hình đề bài không hợp lệ";
        break;
      }
      // Found as the copy finds it: in any letter case, a link followed.
      const std::string found = FindNameIgnoreCase(test->Dir(), name);
      std::error_code ec;
      if (found.empty() || !std::filesystem::is_regular_file(test->Dir() + "/" + found, ec)) {
        fault = "Test \"" + test->Name() + "\" không có file input \"" + name + "\"";
        break;
      }
    }
    if (!fault.empty()) break;
  }
  FInputFaults.emplace(Exam.Name(), fault);
  return fault;
}

void TJudgeEngine::CopyInputFiles(const TExamInfo& Exam, const TTestInfo& Test) {
  TImpersonation asSecurityAccount;
  const std::string folder = Test.Dir() + "/";
  for (const std::string& name : FileListItems(Exam.InputFile)) {
    CheckedFileName(name);
    // Straight into the room under the name the exam gives it; whatever
    // that cannot do goes the general way below.
    if (CopyInputDirect(folder + name, ContestRoomDir, name)) continue;
    // Found whatever its letter case, and handed to the program under the
    // name the exam gives it.
    const std::string found = FindNameIgnoreCase(folder, name);
    const std::string path = folder + (found.empty() ? name : found);
    // A linked input reaches the program as its content: the link itself
    // would point nowhere from the contest room.
    std::error_code ec;
    const std::string real = std::filesystem::canonical(path, ec).string();
    CopyForRun(ec ? path : real, ContestRoomDir, name);
  }
}

void TJudgeEngine::PrepareExec(const TExamInfo& Exam, const TTestInfo& Test, const std::string& FileName) {
  // Limits in the runner's units. The time limit keeps its low 32 bits (a
  // negative exam limit becomes a very long one); the memory limit is
  // clamped to what the runner takes.
  const double seconds = Test.TimeLimit >= 0 ? Test.TimeLimit : Exam.TimeLimit;
  const double ms = std::trunc(1000.0 * seconds);
  const auto msBits = std::isfinite(ms) && std::fabs(ms) < 9.2e18 ? static_cast<std::int64_t>(ms) : 0;
  ExecEngine->SetTimeLimit(static_cast<std::uint32_t>(msBits));
  const double mib = Test.MemoryLimit >= 0 ? Test.MemoryLimit : Exam.MemoryLimit;
  const double bytes = std::trunc(1048576.0 * mib);
  std::uint64_t memLimit = !(bytes > 0) ? 0 : bytes >= 4294967295.0 ? 0xFFFFFFFFull : static_cast<std::uint64_t>(bytes);

  const std::string cmd = RunCommandLine(FileName, Exam.Name(), FRuntimes, memLimit);
  ExecEngine->SetMemLimit(memLimit);

  ExecEngine->SetCmd(cmd);
  ExecEngine->WorkingDir = ContestRoomDir;
  ExecEngine->SetShowFlag(0);
  ExecEngine->InheritHandles = true;
  ExecEngine->SetOnNotify([this](TExecEngine& Sender, TExecEngineState state) { ExecNotify(Sender, state); });

  const std::string input = FirstListItem(Exam.InputFile);
  ExecEngine->FileInp = Exam.UseStdIn && !input.empty() ? ContestRoomDir + "/" + CheckedFileName(input) : "NUL";
  const std::string output = FirstListItem(Exam.OutputFile);
  ExecEngine->FileOut = Exam.UseStdOut && !output.empty() ? ContestRoomDir + "/" + CheckedFileName(output) : "NUL";
  ExecEngine->FileErr = "NUL";
  SetProgramView(*ExecEngine, ContestRoomDir);
  ExecEngine->HonestRoomBytes = HonestRoomBytes(Exam, Test);
}

void TJudgeEngine::ExecNotify(TExecEngine& /*Sender*/, TExecEngineState state) {
  switch (state) {
    case eesStart: DoStatus("Nạp bài làm"); break;
    case eesExecuting: DoStatus("Chạy bài làm"); break;
    case eesFinish: DoStatus("Kết thúc bài làm"); break;
  }
}

void TJudgeEngine::RunTest(TResultT* RT, const std::string& FileName) {
  const TExamInfo* Exam = FExamSet->Obj(RT->Owner->Name());
  const TTestInfo* Test = Exam != nullptr ? Exam->Obj(RT->Name()) : nullptr;
  if (Test == nullptr)
    throw std::runtime_error("Không có test \"" + RT->Name() + "\" của đề bài \"" + RT->Owner->Name() + "\"");

  // No program to run (the compiler said it made one, but did not) scores
  // 0 for this submission alone, with the reason.
  std::error_code gone;
  if (!std::filesystem::exists(FileName, gone)) {
    RT->Evaluation = 0;
    RT->EvaluationText =
        "Dịch xong nhưng không có file chương trình \"" + std::filesystem::path(FileName).filename().string() + "\"";
    return;
  }
  DoStatus("Chép input...");
  CopyInputFiles(*Exam, *Test);
  PrepareExec(*Exam, *Test, FileName);

  ProtectRooms(true);
  ExecEngine->Execute();  // never throws
  ProtectRooms(false);
  // The program's output did not reach the contest room whole: no verdict
  // can be given on it, and the next runs would fare no better.
  if (!ExecEngine->DiskFullFolder().empty())
    throw EJuryDiskFull(ExecEngine->DiskFullFolder(), ExecEngine->DiskFullDetail());
  // Never started: not the contestant's fault, and never run unprotected.
  if (!FProtectedFolders.empty() && !ExecEngine->ContainmentError().empty())
    throw std::runtime_error("Không thể chạy bài làm trong chế độ bảo mật: " + ExecEngine->ContainmentError());
  // The folders around the protected ones are the jury's account's, so the
  // program may have moved the contest away and left a tree of its own, with
  // answers of its choosing, where the checker would look.
  CheckProtectedFolders();

  const std::string timeText =
      "Thời gian ≈ " + FormatNumber("%.9f", static_cast<double>(ExecEngine->RunningTime), TNumberLocale::Current()) +
      " giây";
  if (ExecEngine->ExitCode() != ExecOK) {
    RT->Evaluation = 0;
    RT->EvaluationText =
        ExecEngine->ExitCode() == ExecTimeOut ? "Chạy quá thời gian" : "Chạy sinh lỗi\r\n" + ExecEngine->ExitCodeMsg();
    if (const std::string notice = HiddenProgramNotice(*ExecEngine); !notice.empty())
      RT->EvaluationText += "\r\n" + notice;
    return;
  }

  DoStatus("Chấm...");
  const TChecker* checker = FCheckerSet->Obj(Exam->EvaluatorName);
  if (checker == nullptr) {
    RT->Evaluation = 0;
    RT->EvaluationText = "Không tìm thấy trình chấm: " + Exam->EvaluatorName;
    return;
  }
  std::string judgeText;
  double fraction = 0;
  GrantCheckerAccess(true, *Exam, *Test);
  try {
    fraction = checker->Evaluate(ContestRoomDir, Test->Dir(), Exam->OutputFile, Exam->Name(), judgeText);
  } catch (...) {
    GrantCheckerAccess(false, *Exam, *Test);
    throw;
  }
  GrantCheckerAccess(false, *Exam, *Test);
  RT->EvaluationText = timeText + "\r\n" + judgeText;
  RT->Evaluation = Test->GetActualMark() * fraction;
}

}  // namespace velkor
