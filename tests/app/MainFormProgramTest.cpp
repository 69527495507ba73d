// The main window's part in the program's life, in process: the parameters
// it acts on (its own and those a second copy hands over) and the timer
// that drives online judging. Real second copies of the program are
// started in ProgramTest.cpp; the pass itself is tested in
// OnlineJudgingTest.cpp.
#include <QApplication>
#include <QDialog>
#include <QStyle>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/MainUnit.h"
#include "app/RunOnceUtils.h"
#include "components/ShellComponents.h"
#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "judging/ContestArchive.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/Globals.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::TContestTree;
using testing::WriteText;

class MainWindowProgram : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::StartProgramModel("app_mainform_program_test");
  }
  static void TearDownTestSuite() { FinalizeGlobals(); }

  void SetUp() override {
    previous = SetMessageDialog(messages);
    EnvConfig->SubmitDir.clear();
    ContestInfo->Reset();
    ContestInfo->SetFileName("");
    MyParams.clear();
    Form = std::make_unique<TMainForm>();
    Form->show();
    QApplication::processEvents();
  }
  void TearDown() override {
    Form->ContestChanged = false;
    Form.reset();
    SetMessageDialog(previous);
    ContestInfo->Reset();
    ContestInfo->SetFileName("");
    EnvConfig->SubmitDir.clear();
    MyParams.clear();
  }

  // One exam and one contestant chosen in the window, with a submission
  // folder and an unpack folder for the archives a test saves from them;
  // returns the submission folder.
  std::string PrepareArchiveWithSubmitFolder() {
    Tree.AddExam("A", {"1"});
    Tree.AddContestant("OLD");
    const std::string submit = Tree.Path("Submit");
    fs::create_directories(submit);
    EnvConfig->SubmitDir = submit;
    EnvConfig->DecompressDir = Tree.Path("unpack");
    Form->SetExamsDir(Tree.TasksDir());
    Form->SetContestantsDir(Tree.ContestantsDir());
    return submit;
  }

  TContestTree Tree;
  std::unique_ptr<TMainForm> Form;
  std::shared_ptr<TScriptedMessageDialog> messages = std::make_shared<TScriptedMessageDialog>();
  std::shared_ptr<IMessageDialog> previous;
};

TEST_F(MainWindowProgram, LoadActsOnAnExistingFileOnly) {
  ASSERT_TRUE(fs::exists(VELKOR_SAMPLE_CONTEST));
  const std::string sample = VELKOR_SAMPLE_CONTEST;
  struct Case {
    std::vector<std::string> Params;
    bool Loads;
    const char* Why;
  } cases[] = {
      {{"/load", sample}, true, "any letter case"},
      {{"/GUIFONT", "DejaVu Sans", "/Load", sample}, true, "after other parameters"},
      {{sample, "/LOAD"}, false, "the last parameter"},
      {{"/LOAD", Tree.TasksDir()}, false, "a folder"},
      {{"/LOAD", Tree.Path("missing.contest")}, false, "a missing file"},
  };
  for (const Case& c : cases) {
    ContestInfo->Reset();
    ContestInfo->SetFileName("");
    MyParams = c.Params;
    Form->ProcessParams();
    EXPECT_EQ(ContestInfo->FileName() == sample, c.Loads) << c.Why;
    EXPECT_TRUE(messages->Requests().empty()) << c.Why;
  }
  MyParams = {"/LOAD", sample};
  Form->ProcessParams();
  test::SaveShot(Form.get(), "main-loaded-by-parameter");
}

TEST_F(MainWindowProgram, HandOverReplacesTheParametersAndActsOnlyWhileTheWindowIsActive) {
  const std::string file = ParamsHandOverFile();

  // A dialog of ours is open: the list is replaced and the file deleted,
  // but nothing is reset.
  ASSERT_TRUE(WriteParamsHandOverFile(file, {"/clean"}));
  EnvConfig->SubmitDir = Tree.Path("Submit");
  {
    QDialog other(Form.get());
    other.setModal(true);
    other.show();
    Form->WMParamsHandOver();
    QApplication::processEvents();
    EXPECT_EQ(MyParams, std::vector<std::string>{"/clean"});
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(EnvConfig->SubmitDir, Tree.Path("Submit"));
  }
  // Once the dialog has gone they are acted on.
  QApplication::processEvents();
  QApplication::processEvents();
  EXPECT_TRUE(EnvConfig->SubmitDir.empty());
  EnvConfig->SubmitDir = Tree.Path("Submit");

  // A truncated file: no parameters, nothing done, the file stays.
  std::ofstream(file, std::ios::binary) << std::string("\1\0\0\0\6\0\0\0/\0C\0", 12);
  Form->WMParamsHandOver();
  EXPECT_TRUE(MyParams.empty());
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(EnvConfig->SubmitDir, Tree.Path("Submit"));

  // With the window active the settings go back to their defaults, and the
  // submission folder they no longer name is no longer watched.
  fs::create_directories(Tree.Path("Submit"));
  Tree.AddExam("A", {"1"});
  Form->SetExamsDir(Tree.TasksDir());
  Form->SetContestantsDir(Tree.ContestantsDir());
  ASSERT_TRUE(Form->Action("actOnlineJudge")->isEnabled());
  ASSERT_TRUE(Form->ntfSubmit->Monitoring());
  ASSERT_TRUE(WriteParamsHandOverFile(file, {"/CLEAN"}));
  Form->WMParamsHandOver();
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(EnvConfig->SubmitDir.empty());
  EXPECT_FALSE(Form->Action("actOnlineJudge")->isEnabled());
  EXPECT_FALSE(Form->ntfSubmit->Monitoring());

  // No file: nothing changes, not even the list.
  Form->WMParamsHandOver();
  EXPECT_EQ(MyParams, std::vector<std::string>{"/CLEAN"});
}

TEST_F(MainWindowProgram, HandOverDuringAModalDialogIsActedOnWhenItCloses) {
  const std::string sample = VELKOR_SAMPLE_CONTEST;
  bool loadedDuringDialog = true;
  test::WhenModal([&](QWidget* Dialog) {
    ASSERT_TRUE(WriteParamsHandOverFile(ParamsHandOverFile(), {"/LOAD", sample}));
    Form->ParamsHandedOver();
    QApplication::processEvents();
    loadedDuringDialog = ContestInfo->FileName() == sample;
    static_cast<QDialog*>(Dialog)->reject();
  });
  QDialog dialog(Form.get());
  dialog.exec();
  EXPECT_FALSE(loadedDuringDialog);
  for (int i = 0; i < 5 && ContestInfo->FileName() != sample; ++i) QApplication::processEvents();
  EXPECT_EQ(ContestInfo->FileName(), sample);
  EXPECT_TRUE(messages->Requests().empty());
}

TEST_F(MainWindowProgram, HandOverToAMinimisedMaximisedWindowRestoresItMaximisedWithFittedColumns) {
  const std::string sample = VELKOR_SAMPLE_CONTEST;
  Form->showMaximized();
  QApplication::processEvents();
  const QSize maximised = Form->size();
  Form->showMinimized();
  QApplication::processEvents();
  ASSERT_TRUE(Form->isMinimized());

  // The expected width of a column whose caption is narrower than its share.
  auto share = [this] {
    const int count = Form->MainListModel->columnCount();
    const int client = Form->MainList->width() - 2 * Form->MainList->frameWidth();
    return (client - Form->MainList->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, Form->MainList)) /
           count;
  };
  ASSERT_TRUE(WriteParamsHandOverFile(ParamsHandOverFile(), {"/LOAD", sample}));
  Form->ParamsHandedOver();
  QApplication::processEvents();
  ASSERT_EQ(ContestInfo->FileName(), sample);
  EXPECT_FALSE(Form->isMinimized());
  EXPECT_TRUE(Form->isMaximized());
  EXPECT_EQ(Form->size(), maximised);
  ASSERT_EQ(Form->MainListModel->columnCount(), 5);  // three exams
  EXPECT_GT(share(), 100);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Form->MainList->columnWidth(i), share()) << "column " << i;
  test::SaveShot(Form.get(), "main-handed-over-after-minimised");

  // Restored to its normal size and maximised again, the columns follow.
  Form->showNormal();
  QApplication::processEvents();
  EXPECT_EQ(Form->MainList->columnWidth(1), share());
  Form->showMaximized();
  QApplication::processEvents();
  EXPECT_EQ(Form->size(), maximised);
  EXPECT_EQ(Form->MainList->columnWidth(1), share());
}

TEST_F(MainWindowProgram, HandOverBeforeTheFirstActivationActsOnce) {
  const std::string sample = VELKOR_SAMPLE_CONTEST;
  // The window starts while a dialog of ours is open: its own parameters
  // wait for its first activation.
  Form.reset();
  MyParams = {"/GUIFONT", "DejaVu Sans"};
  auto other = std::make_unique<QDialog>();
  other->setModal(true);
  other->show();
  Form = std::make_unique<TMainForm>();
  Form->show();
  QApplication::processEvents();
  other.reset();

  // A hand-over arrives before that activation and is acted on at once.
  ASSERT_TRUE(WriteParamsHandOverFile(ParamsHandOverFile(), {"/LOAD", sample}));
  Form->WMParamsHandOver();
  ASSERT_EQ(ContestInfo->FileName(), sample);

  // The activation that follows does not load it a second time.
  ContestInfo->Reset();
  ContestInfo->SetFileName("");
  QEvent activation(QEvent::ActivationChange);
  QApplication::sendEvent(Form.get(), &activation);
  QApplication::processEvents();
  EXPECT_EQ(ContestInfo->FileName(), "");
  EXPECT_TRUE(messages->Requests().empty());
}

TEST_F(MainWindowProgram, SessionEndAnswerHoldsForTheContestAsItStood) {
  Form->ContestChanged = true;
  messages->AddAnswer(mrCancel);
  EXPECT_FALSE(Form->SessionEndQuery());
  messages->AddAnswer(mrNo);
  EXPECT_TRUE(Form->SessionEndQuery());
  ASSERT_EQ(messages->Requests().size(), 2u);
  EXPECT_EQ(messages->Requests()[1].Msg, "Bạn có muốn ghi lại kỳ thi này không?");

  // The close that ends the session asks nothing again.
  EXPECT_TRUE(Form->close());
  EXPECT_EQ(messages->Requests().size(), 2u);

  // The session end was called off and the jury changed the contest again:
  // closing asks once more.
  Form->show();
  Form->ContestChanged = true;
  messages->AddAnswer(mrCancel);
  EXPECT_FALSE(Form->close());
  EXPECT_EQ(messages->Requests().size(), 3u);
  EXPECT_TRUE(Form->isVisible());
}

TEST_F(MainWindowProgram, TimerRunsAPassEverySecondTickUntilTheFolderEmptiesOrGoes) {
  test::TShiftedSubmitClock clock;  // files written here count as complete
  Tree.AddExam("A", {"1"});
  const std::string submit = Tree.Path("Submit");
  fs::create_directories(submit);
  EnvConfig->SubmitDir = submit;
  Form->SetExamsDir(Tree.TasksDir());
  Form->SetContestantsDir(Tree.ContestantsDir());
  ASSERT_TRUE(Form->Action("actOnlineJudge")->isEnabled());

  // A file naming an exam the contest lacks: a pass takes it away (into
  // the submission folder's history).
  const std::string stray = submit + "/q[C9][NOPE].cpp";
  WriteText(stray, "int main() {}");
  Form->ntfSubmitChange(nullptr);
  ASSERT_TRUE(Form->Timer1->isActive());
  {
    QDialog other(Form.get());  // while a dialog is open the ticks do not count
    other.setModal(true);
    other.show();
    Form->Timer1Timer();
    Form->Timer1Timer();
    EXPECT_TRUE(fs::exists(stray));
  }
  Form->Timer1Timer();
  EXPECT_TRUE(fs::exists(stray));
  Form->Timer1Timer();
  EXPECT_FALSE(fs::exists(stray));
  EXPECT_EQ(std::distance(fs::directory_iterator(submit + "/$History"), fs::directory_iterator()), 1);
  EXPECT_FALSE(Form->Timer1->isActive());  // nothing waits any more

  // The folder goes while a file waits: the next tick stops the timer.
  WriteText(stray, "int main() {}");
  Form->ntfSubmitChange(nullptr);
  fs::remove_all(submit);
  Form->Timer1Timer();
  EXPECT_FALSE(Form->Timer1->isActive());
  EXPECT_TRUE(messages->Requests().empty());

  // A pass that fails (its log cannot be written: "Logs" leads elsewhere)
  // says why once and rests until the watch reports again, though a file
  // still waits.
  const std::string elsewhere = Tree.Path("elsewhere");
  fs::create_directories(elsewhere);
  fs::create_directories(submit);
  fs::create_directory_symlink(elsewhere, submit + "/Logs");
  WriteText(submit + "/a[C9][A].cpp", "not a program");
  WriteText(submit + "/b[C9][A].cpp", "not a program");
  messages->AddAnswer(mrOk);
  Form->ntfSubmitChange(nullptr);
  Form->Timer1Timer();
  Form->Timer1Timer();
  ASSERT_EQ(messages->Requests().size(), 1u);
  EXPECT_NE(messages->Requests()[0].Msg.find(submit + "/Logs"), std::string::npos) << messages->Requests()[0].Msg;
  EXPECT_FALSE(Form->Timer1->isActive());
  EXPECT_EQ(fs::exists(submit + "/a[C9][A].cpp") + fs::exists(submit + "/b[C9][A].cpp"), 1);
  EXPECT_TRUE(fs::is_empty(elsewhere));
}

// A contest opened from an archive works in the archive's unpack folder,
// which goes when the jury opens another contest without saving. What a
// contestant submitted meanwhile must outlive it.
TEST_F(MainWindowProgram, ASubmissionOutlivesTheUnpackFolderOfAnUnsavedArchive) {
  test::TShiftedSubmitClock clock;  // files written here count as complete
  const std::string submit = PrepareArchiveWithSubmitFolder();
  const std::string first = Tree.Path("first.contest"), second = Tree.Path("second.contest");
  ASSERT_TRUE(ContestInfo->FileSave(first));
  ASSERT_TRUE(ContestInfo->FileSave(second));

  messages->AddAnswer(mrNo);  // the folders chosen above are not saved again
  Form->LoadContest(first);
  ASSERT_EQ(ContestInfo->FileName(), first);
  const fs::path contestants = ContestInfo->ResultSet().Dir();
  ASSERT_EQ(contestants.string().rfind(Tree.Path("unpack"), 0), 0u) << contestants;
  ASSERT_TRUE(Form->Action("actOnlineJudge")->isEnabled());

  const std::string source = "int main() { return 0; }\n";
  WriteText(submit + "/bai[C9][A].cpp", source);
  Form->ScanAndJudgeSubmissions();
  ASSERT_EQ(ReadText((contestants / "C9" / "A.cpp").string()), source);
  ASSERT_TRUE(Form->ContestChanged);

  messages->AddAnswer(mrNo);
  Form->LoadContest(second);
  ASSERT_EQ(messages->Requests().size(), 2u);
  EXPECT_EQ(messages->Requests()[1].Msg, "Bạn có muốn ghi lại kỳ thi hiện tại không?");
  EXPECT_EQ(ContestInfo->FileName(), second);
  EXPECT_FALSE(fs::exists(contestants / "C9"));  // the unpack folder was emptied for the second archive

  std::vector<fs::path> kept;
  for (const auto& e : fs::directory_iterator(submit + "/$History")) kept.push_back(e.path());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(kept[0].filename().string().ends_with("_bai[C9][A].cpp")) << kept[0];
  EXPECT_EQ(ReadText(kept[0].string()), source);
}

// Closing answers for the submissions accepted since the last save as
// well: "Cancel" keeps them marked as unsaved, "No" gives them up, so that
// the next open clears the folder away instead of keeping it.
TEST_F(MainWindowProgram, ClosingWithoutSavingGivesUnsavedSubmissionsUp) {
  test::TShiftedSubmitClock clock;  // files written here count as complete
  const std::string submit = PrepareArchiveWithSubmitFolder();
  const std::string archive = Tree.Path("thi.contest");
  ASSERT_TRUE(ContestInfo->FileSave(archive));
  messages->AddAnswer(mrNo);  // the folders chosen above are not saved again
  Form->LoadContest(archive);
  WriteText(submit + "/bai[C9][A].cpp", "int main() { return 0; }\n");
  Form->ScanAndJudgeSubmissions();
  const std::string mark = Tree.Path("unpack/VelkorContest/") + kUnsavedMarkName;
  ASSERT_TRUE(fs::exists(mark));

  messages->AddAnswer(mrCancel);
  EXPECT_FALSE(Form->close());
  EXPECT_TRUE(fs::exists(mark));
  messages->AddAnswer(mrNo);
  EXPECT_TRUE(Form->close());
  EXPECT_FALSE(fs::exists(mark));
  TContestInfo next;
  ASSERT_TRUE(next.FileLoad(archive)) << next.ErrorMsg();
  EXPECT_TRUE(next.KeptUnsaved().empty());
}

}  // namespace
}  // namespace velkor
