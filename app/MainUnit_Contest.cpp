// The main window's contest commands: new, open, save, the two sets'
// folders and their reloads and rescans, selecting, judging, the results'
// details and marks, and the settings dialogs.
#include "app/MainUnit.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>

#include <filesystem>

#include "app/CompilerConfigU.h"
#include "app/DetailtU.h"
#include "app/ExamEditU.h"
#include "app/ExcelExportU.h"
#include "app/JudgeU.h"
#include "app/OnlineJudging.h"
#include "app/FormParts.h"
#include "app/MainUnit_Internal.h"
#include "app/SecurityU.h"
#include "app/SettingsU.h"
#include "components/Panels.h"
#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "judging/EnvConfig.h"
#include "judging/FolderLocks.h"
#include "judging/JudgeEngines.h"

namespace velkor {

using namespace mainunit;

namespace {

const char* const kContestFilter = "Kỳ thi (*.contest);;Tất cả (*)";

// More lines than this in one load message would hide its buttons.
constexpr std::size_t kMaxProblemLines = 20;

// Where a folder picker for one of the two sets starts: that set's folder,
// else the last one chosen, else the contest's folder.
std::string SetFolder(const std::string& Current, const std::string& Last) {
  std::error_code ec;
  for (const std::string& dir : {Current, Last})
    if (!dir.empty() && std::filesystem::is_directory(dir, ec)) return dir;
  return ContestFolder();
}

}  // namespace

// --- contest commands ------------------------------------------------------------------

bool TMainForm::SaveQuestion() {
  if (!ContestChanged) return true;
  if (VQRMsgDlg("Bạn có muốn ghi lại kỳ thi hiện tại không?", mtConfirmation, {mbYes, mbNo}) != mrYes) {
    // The jury gives the changes up: the next open may clear them away.
    ContestInfo->ForgetUnsavedChanges();
    return true;
  }
  UserAbort = false;
  actSaveContestExecute();
  return !UserAbort;
}

void TMainForm::TellLoadProblems(const std::string& Heading, const TLoadProblems& Problems) {
  if (Problems.empty()) return;
  std::string msg = Heading;
  std::size_t shown = 0;
  for (const TLoadProblem& p : Problems) {
    if (p.Lost) LoadLostData = true;
    if (shown++ < kMaxProblemLines) msg += "\r\n- " + p.Text;
  }
  if (shown > kMaxProblemLines)
    msg += "\r\n... và " + std::to_string(shown - kMaxProblemLines) + " lỗi khác.";
  VQRMsgDlg(msg, mtWarning, {mbOK});
}

bool TMainForm::MayOverwriteSource(const std::string& File) {
  if (!LoadLostData || SourceFile.empty()) return true;
  std::error_code ec1, ec2;
  const auto a = std::filesystem::weakly_canonical(File, ec1);
  const auto b = std::filesystem::weakly_canonical(SourceFile, ec2);
  if (ec1 || ec2 ? File != SourceFile : a != b) return true;
  return VQRMsgDlg("Kỳ thi đang mở thiếu phần không nạp được (đã báo khi nạp). Nếu ghi đè lên file \"" + File +
                       "\", phần đó sẽ mất hẳn khỏi file.\r\nBạn vẫn muốn ghi đè lên file này? "
                       "Nếu không, file cũ được giữ nguyên; có thể ghi kỳ thi dưới một tên khác.",
                   mtWarning, {mbYes, mbNo}) == mrYes;
}

void TMainForm::actNewContestExecute() {
  if (!SaveQuestion()) return;
  LoadLostData = false;
  SourceFile.clear();
  ContestInfo->Reset();
  UpdateAllGUI();
  AlignColumns();
  setWindowTitle(QString::fromUtf8(kCaption));
}

void TMainForm::actOpenContestExecute() {
  QFileDialog dialog(this, QString::fromUtf8("Mở kỳ thi"), Q(ContestFolder()), QString::fromUtf8(kContestFilter));
  dialog.setObjectName("odContest");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix("contest");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  LoadContest(dialog.selectedFiles().first().toStdString());
  AlignColumns();
}

void TMainForm::LoadContest(const std::string& FileName) {
  if (!SaveQuestion()) return;
  const bool locked = GUILocked;
  GUILocked = true;
  bool loaded = false;
  std::string error;
  try {
    ContestInfo->Reset();
    loaded = ContestInfo->FileLoad(FileName);
    error = ContestInfo->ErrorMsg();
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (loaded) {
    ContestInfo->SetFileName(FileName);
    UpdateTitle();
  } else {
    // Whatever the archive gave before it failed (folders without their
    // settings or results) would judge with defaults: start empty instead.
    ContestInfo->Reset();
    setWindowTitle(QString::fromUtf8(kCaption));
  }
  GUILocked = locked;
  UpdateAllGUI();
  AlignColumns();
  ContestChanged = false;
  LoadLostData = false;
  SourceFile = loaded ? FileName : std::string();
  // Told first, and whatever became of the archive: it is where submissions
  // of an earlier session are.
  for (const std::string& kept : ContestInfo->KeptUnsaved()) VQRMsgDlg(kept, mtWarning, {mbOK});
  if (!loaded && !error.empty())
    VQRMsgDlg("Không mở được kỳ thi: " + FileName + "\r\n" + error, mtError, {mbOK});
  if (loaded)
    TellLoadProblems("Đã mở kỳ thi " + FileName + " nhưng có phần không nạp được:", ContestInfo->LoadProblems());
}

void TMainForm::actSaveContestExecute() {
  const std::string file = ContestInfo->FileName();
  if (file.empty()) {
    actSaveAsContestExecute();
  } else {
    if (!MayOverwriteSource(file)) {
      UserAbort = true;
      return;
    }
    bool saved = false;
    std::string error;
    try {
      saved = ContestInfo->FileSave(file);
      error = ContestInfo->ErrorMsg();
    } catch (const std::exception& e) {
      error = e.what();
    }
    UserAbort = !saved;
    if (!saved && !error.empty()) VQRMsgDlg("Không ghi được kỳ thi: " + file + "\r\n" + error, mtError, {mbOK});
    if (saved) {
      // The file now holds the contest as it stands.
      LoadLostData = false;
      SourceFile = file;
    }
  }
  if (!UserAbort) ContestChanged = false;
}

void TMainForm::actSaveAsContestExecute() {
  QFileDialog dialog(this, QString::fromUtf8("Ghi kỳ thi"), Q(ContestFolder()), QString::fromUtf8(kContestFilter));
  dialog.setObjectName("sdContest");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("contest");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // The current file's name, in the folder the dialog starts in (its own
  // folder while that exists).
  if (!ContestInfo->FileName().empty())
    dialog.selectFile(Q(std::filesystem::path(ContestInfo->FileName()).filename().string()));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    UserAbort = true;
    return;
  }
  const std::string old = ContestInfo->FileName();
  ContestInfo->SetFileName(dialog.selectedFiles().first().toStdString());
  UserAbort = false;
  actSaveContestExecute();
  if (UserAbort) ContestInfo->SetFileName(old);
  else UpdateTitle();
}

// A folder whose set failed to load is dropped with its set, not kept
// beside an empty one: judging and the submission watch follow the folders,
// and a watch over a folder without exams would delete every waiting file.
void TMainForm::DropContestantsDir() { Results().SetDir(""); }
void TMainForm::DropExamsDir() { Exams().SetDir(""); }

void TMainForm::SetContestantsDir(const std::string& Folder) {
  TLoadProblems problems;
  try {
    Results().SetDir(Folder);
    if (EnvConfig) EnvConfig->LastContestantDir = Folder;
    problems = Results().LoadProblems();
  } catch (const std::exception& e) {
    DropContestantsDir();
    problems.push_back({"Không đọc được thư mục thí sinh " + Folder + ", danh sách thí sinh để trống. Chi tiết: " +
                            e.what(),
                        true});
  }
  if (Exams().Dir().empty()) AlignColumns();
  ContestChanged = true;
  TellLoadProblems("Nạp danh sách thí sinh: có phần không nạp được:", problems);
}

void TMainForm::SetExamsDir(const std::string& Folder) {
  TLoadProblems problems;
  try {
    Exams().SetDir(Folder);
    if (EnvConfig) EnvConfig->LastExamDir = Folder;
    problems = Exams().LoadProblems();
  } catch (const std::exception& e) {
    DropExamsDir();
    problems.push_back(
        {"Không đọc được thư mục bài thi " + Folder + ", danh sách bài thi để trống. Chi tiết: " + e.what(), true});
  }
  for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) {
    TResultC* C = Results().ObjI(i);
    C->Clear();
    C->UpdateScore();
  }
  UpdateAllGUI();
  AlignColumns();
  ContestChanged = true;
  TellLoadProblems("Nạp danh sách bài thi: có phần không nạp được:", problems);
}

void TMainForm::actReloadContestantsExecute() {
  TSelectDirectory dialog(this);
  dialog.SetTitle("Chọn thư mục chứa bài làm");
  dialog.SetDirectory(SetFolder(Results().Dir(), EnvConfig ? EnvConfig->LastContestantDir : std::string()));
  if (dialog.Execute()) SetContestantsDir(dialog.Directory());
}

void TMainForm::actReloadExamsExecute() {
  TSelectDirectory dialog(this);
  dialog.SetTitle("Chọn thư mục chứa bài thi");
  dialog.SetDirectory(SetFolder(Exams().Dir(), EnvConfig ? EnvConfig->LastExamDir : std::string()));
  if (dialog.Execute()) SetExamsDir(dialog.Directory());
  AlignColumns();
}

// A rescan whose folder cannot be read at all, or is gone as a whole (an
// unpacked contest cleaned away), changes nothing: the sets are left as
// they were, so no exam, contestant or result is dropped for a folder that
// may only be unreachable for a moment. (A failing scan raises before the
// set removes anything.)
namespace {
void RequireFolder(const std::string& Dir) {
  std::error_code ec;
  if (!Dir.empty() && !std::filesystem::is_directory(Dir, ec)) throw EFileError("không tìm thấy thư mục " + Dir);
}
}  // namespace

void TMainForm::actRefreshContestantsExecute() {
  TLoadProblems problems;
  try {
    RequireFolder(Results().Dir());
    Results().Refresh();
    problems = Results().LoadProblems();
  } catch (const std::exception& e) {
    problems.push_back({"Không đọc được thư mục thí sinh " + Results().Dir() +
                        ", danh sách thí sinh giữ như trước. Chi tiết: " + e.what()});
  }
  UpdateAllGUI();
  ContestChanged = true;
  TellLoadProblems("Cập nhật lại danh sách thí sinh: có phần không nạp được:", problems);
}

void TMainForm::actRefreshExamsExecute() {
  TLoadProblems problems;
  try {
    RequireFolder(Exams().Dir());
    Exams().Refresh();
    problems = Exams().LoadProblems();
    // Results of vanished exams are gone; the totals follow. A damaged
    // exam is still in the set, so its results stay.
    Results().SyncE(Exams());
    for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) Results().ObjI(i)->UpdateScore();
  } catch (const std::exception& e) {
    problems.push_back({"Không đọc được thư mục bài thi " + Exams().Dir() +
                        ", danh sách bài thi và kết quả giữ như trước. Chi tiết: " + e.what()});
  }
  UpdateAllGUI();
  AlignColumns();
  ContestChanged = true;
  TellLoadProblems("Cập nhật lại danh sách bài thi: có phần không nạp được:", problems);
}

void TMainForm::actSelectAllExecute() {
  for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) Results().ObjI(i)->Enabled = true;
  UpdateItemList();
}

void TMainForm::actDeselectAllExecute() {
  for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) Results().ObjI(i)->Enabled = false;
  UpdateItemList();
}

void TMainForm::actSelectinverseExecute() {
  for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) {
    TResultC* C = Results().ObjI(i);
    C->Enabled = !C->Enabled;
  }
  UpdateItemList();
}

void TMainForm::actSelectAllExamsExecute() {
  for (std::ptrdiff_t i = 0; i < Exams().Count(); ++i) Exams().ObjI(i)->Enabled = true;
  MainListModel->HeadersChanged();
}

void TMainForm::actDeselectAllExamsExecute() {
  for (std::ptrdiff_t i = 0; i < Exams().Count(); ++i) Exams().ObjI(i)->Enabled = false;
  MainListModel->HeadersChanged();
}

void TMainForm::actSelectInverseExamsExecute() {
  for (std::ptrdiff_t i = 0; i < Exams().Count(); ++i) {
    TExamInfo* E = Exams().ObjI(i);
    E->Enabled = !E->Enabled;
  }
  MainListModel->HeadersChanged();
}

void TMainForm::RunQueue(const std::vector<std::string>& CNames, const std::vector<std::string>& ENames) {
  TQueue<TJudgePair> queue;
  for (const std::string& c : CNames)
    for (const std::string& e : ENames) {
      TJudgePair pair;
      MakeJudgePair(c, e, pair);
      queue.Push(pair);
    }
  const bool scrolling = TimerScroll->isActive();
  TimerScroll->stop();
  try {
    RunJudge(queue);
  } catch (...) {
    if (scrolling) TimerScroll->start();
    ScrollIdleCount = 0;
    ContestChanged = true;
    throw;
  }
  ContestChanged = true;
  if (scrolling) TimerScroll->start();
  ScrollIdleCount = 0;
}

void TMainForm::actJudgeExecute() {
  ShowGridPage();
  std::vector<std::string> contestants, exams;
  for (std::ptrdiff_t i = 0; i < Results().Count(); ++i)
    if (Results().ObjI(i)->Enabled) contestants.push_back(Results().ObjI(i)->Name());
  for (std::ptrdiff_t i = 0; i < Exams().Count(); ++i)
    if (Exams().ObjI(i)->Enabled) exams.push_back(Exams().ObjI(i)->Name());
  RunQueue(contestants, exams);
}

void TMainForm::actRejudgeExecute() {
  std::vector<std::string> contestants, exams;
  if (ActiveC) contestants.push_back(ActiveC->Name());
  else
    for (std::ptrdiff_t i = 0; i < Results().Count(); ++i)
      if (Results().ObjI(i)->Enabled) contestants.push_back(Results().ObjI(i)->Name());
  if (ActiveE) exams.push_back(ActiveE->Name());
  else
    for (std::ptrdiff_t i = 0; i < Exams().Count(); ++i)
      if (Exams().ObjI(i)->Enabled) exams.push_back(Exams().ObjI(i)->Name());
  RunQueue(contestants, exams);
}

void TMainForm::actOnlineJudgeExecute() {
  ShowGridPage();
  // The watch waits quietly for a folder that is not there yet; a scan the
  // jury asked for says why it found nothing.
  if (const std::string missing = MissingSubmissionFolder(EnvConfig->SubmitDir); !missing.empty()) {
    VQRMsgDlg(missing + " Hãy tạo thư mục này, hoặc chọn thư mục khác trong \"Thiết lập môi trường\" (F11).",
              mtError, {mbOK});
    return;
  }
  const bool scrolling = TimerScroll->isActive();
  TimerScroll->stop();
  try {
    ScanAndJudgeSubmissions();
  } catch (const std::exception& e) {
    VQRMsgDlg(e.what(), mtError, {mbOK});
  }
  if (scrolling) TimerScroll->start();
  ScrollIdleCount = 0;
}

void TMainForm::actDetailsExecute() {
  TQueue<std::string> contestants, exams;
  if (ActiveC) contestants.Push(ActiveC->Name());
  else
    for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) contestants.Push(Results().ObjI(i)->Name());
  if (ActiveE) exams.Push(ActiveE->Name());
  else
    for (std::ptrdiff_t i = 0; i < Exams().Count(); ++i) exams.Push(Exams().ObjI(i)->Name());
  ShowJudgeReport(contestants, exams);
}

void TMainForm::actDeleteMarkExecute() {
  // Everything a click on empty space would clear is asked about first.
  std::ptrdiff_t going = 0;
  auto countOf = [this](const TResultC* C) -> std::ptrdiff_t {
    return ActiveE ? (C->Obj(ActiveE->Name()) ? 1 : 0) : C->Count();
  };
  if (ActiveC) going = countOf(ActiveC);
  else
    for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) going += countOf(Results().ObjI(i));
  if (going > 1 &&
      VQRMsgDlg("Bạn có chắc chắn muốn xóa điểm không?", mtConfirmation, {mbYes, mbNo}) != mrYes)
    return;
  ContestChanged = true;
  auto clean = [this](TResultC* C) {
    if (ActiveE) C->Remove(ActiveE->Name());
    else C->Clear();
    C->UpdateScore();
  };
  if (ActiveC) {
    clean(ActiveC);
    UpdateMainTableC(ActiveC, true);
  } else {
    for (std::ptrdiff_t i = 0; i < Results().Count(); ++i) clean(Results().ObjI(i));
    UpdateItemList();
  }
}

void TMainForm::actExamConfigExecute() {
  while (ActiveE) {
    const int r = EditExamConfig(ActiveE);
    if (r == 1) return;
    SetExamHeader(ActiveE);
    bool clean = false;
    const TExamEditAction mode = EnvConfig ? EnvConfig->ExamEditAction : eeaAsk;
    if (mode == eeaClean) {
      clean = true;
    } else if (mode == eeaAsk) {
      const int answer = VQRMsgDlg("Cấu hình bài thi " + ActiveE->Name() +
                                       " vừa được cập nhật.\r\nBạn có muốn xóa kết quả đã chấm với bài này?",
                                   mtConfirmation, {mbYes, mbNo, mbNoToAll, mbYesToAll});
      if (answer == mrNoToAll && EnvConfig) EnvConfig->ExamEditAction = eeaKeep;
      if (answer == mrYesToAll && EnvConfig) EnvConfig->ExamEditAction = eeaClean;
      clean = answer == mrYes || answer == mrYesToAll;
    }
    if (clean) {
      Results().CleanScore(ActiveE->Name());
      UpdateItemList();
    }
    ContestChanged = true;
    if (r != 2 && r != 3) return;
    const std::ptrdiff_t count = Exams().Count();
    if (count == 0) return;
    std::ptrdiff_t i = Exams().IndexOf(ActiveE->Name());
    i = r == 2 ? (i + 1) % count : (i - 1 + count) % count;
    ActiveE = Exams().ObjI(i);
  }
}

void TMainForm::actSettingsExecute() {
  const std::string style = EnvConfig ? EnvConfig->StyleName : std::string();
  const std::string pattern = EnvConfig ? EnvConfig->NumberFormat : std::string();
  EditSettings();
  // A work or unpack place another Velkor holds is told now, not when the
  // next judging run or archive fails on it.
  if (const std::string refused = HoldWorkFolders(); !refused.empty()) VQRMsgDlg(refused, mtWarning, {mbOK});
  UpdateOnlineJudging();
  ControlPanel->setVisible(!EnvConfig || EnvConfig->ToolBarVisible);
  if (EnvConfig && (EnvConfig->StyleName != style || EnvConfig->NumberFormat != pattern)) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    RefreshBaseColors();
    UpdateAllGUI();
  }
}

void TMainForm::actCompilerConfigExecute() { EditCompilerConfig(); }
void TMainForm::actSecurityExecute() { EditSecurity(); }
void TMainForm::actExportToExcelExecute() { ExportToExcel(); }

}  // namespace velkor
