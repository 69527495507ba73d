// The judging window around the real engine: a small contest judged with
// the system's compiler, stopped with Esc, failing on a pair whose exam is
// gone; the time text across a tick wrap; the error-reporting values.
#include "app/JudgeU.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/CoreHooks.h"
#include "app/TickClock.h"
#include "components/Btns.h"
#include "components/Labels.h"
#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "judging/Checkers.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/Globals.h"
#include "judging/Results.h"
#include "platform/CurrentProcess.h"
#include "platform/ErrorMode.h"
#include "platform/Registry.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

using testing::TContestTree;
using test::kRightCpp;

TEST(JudgeTime, ElapsedTimeAcrossTheTickWrap) {
  struct Case {
    std::int64_t Start, Now;
    const char* Expected;
  } cases[] = {
      {0, 0, "00:00:00"},
      {1000, 62'999, "00:01:01"},
      {0, 3'600'000 * 25LL, "01:00:00"},                // past a day, as a time of day
      {0xFFFFFC18, 2000, "00:00:03"},                     // 1 s before the wrap, 2 s after
      {0xFFFFFFFF, 0, "00:00:00"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatJudgeTime(c.Start, c.Now), c.Expected) << c.Start << " " << c.Now;
}

// The registry store lives under the test's private configuration folder.
class ErrorReporting : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* key : {kErrorReportingKey, kErrorReportingConsentKey}) {
      platform::Registry reg;
      if (!reg.OpenKey(key, false)) continue;
      for (const char* name : {"Disabled", "DontShowUI", "ForceQueue", "DefaultConsent"})
        for (const std::string suffix : {"", "Backup"}) reg.DeleteValue(name + suffix);
    }
  }
  static std::string Read(const char* Key, const std::string& Name) {
    platform::Registry reg;
    if (!reg.OpenKey(Key, false) || !reg.ValueExists(Name)) return "-";
    return std::to_string(reg.ReadInteger(Name));
  }
  static void Write(const char* Key, const std::string& Name, std::uint32_t Value) {
    platform::Registry reg;
    reg.OpenKey(Key, true);
    reg.WriteInteger(Name, Value);
  }
};

TEST_F(ErrorReporting, SetForTheRunAndPutBackAfterwards) {
  Write(kErrorReportingKey, "DontShowUI", 0);
  Write(kErrorReportingKey, "ForceQueue", 7);
  Write(kErrorReportingKey, "ForceQueueBackup", 5);  // an older backup wins
  TJudgeForm form;
  form.SuppressErrorReporting();
  EXPECT_EQ(Read(kErrorReportingKey, "DontShowUI"), "1");
  EXPECT_EQ(Read(kErrorReportingKey, "DontShowUIBackup"), "0");
  EXPECT_EQ(Read(kErrorReportingKey, "Disabled"), "1");
  EXPECT_EQ(Read(kErrorReportingKey, "DisabledBackup"), "-");
  EXPECT_EQ(Read(kErrorReportingKey, "ForceQueue"), "1");
  EXPECT_EQ(Read(kErrorReportingConsentKey, "DefaultConsent"), "1");

  form.RestoreErrorReporting();
  EXPECT_EQ(Read(kErrorReportingKey, "DontShowUI"), "0");
  EXPECT_EQ(Read(kErrorReportingKey, "DontShowUIBackup"), "-");
  EXPECT_EQ(Read(kErrorReportingKey, "ForceQueue"), "5");
  EXPECT_EQ(Read(kErrorReportingKey, "ForceQueueBackup"), "-");
  // Values the run created are gone again.
  EXPECT_EQ(Read(kErrorReportingKey, "Disabled"), "-");
  EXPECT_EQ(Read(kErrorReportingConsentKey, "DefaultConsent"), "-");
}

// A main-window link that lets a test act at each row refresh.
class TActingLink : public test::TRecordingLink {
 public:
  std::function<void(TResultC*)> OnRow;
  void UpdateMainTableC(TResultC* C, bool Focus) override {
    TRecordingLink::UpdateMainTableC(C, Focus);
    if (OnRow) OnRow(C);
  }
};

// Exam "A" (two tests, standard input and output) and contestants C1, C2
// with a right solution; the process-wide objects as the program has them.
class JudgeWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::StartProgramModel("app_judge_test");
    InitErrorModeAPI();
    // The program's hooks: the engine then knows it runs on the GUI thread
    // and the window handles pending events between judging steps.
    InstallCoreHooks();
  }
  static void TearDownTestSuite() {
    RemoveCoreHooks();
    DoneErrorModeAPI();
    FinalizeGlobals();
  }
  void SetUp() override {
    tree.AddExam("A");
    tree.AddTest("A", "1", {{"A.INP", "1 2\n"}, {"A.OUT", "3\n"}});
    tree.AddTest("A", "2", {{"A.INP", "20 22\n"}, {"A.OUT", "42\n"}});
    tree.AddContestant("C1", {{"A.cpp", kRightCpp}});
    tree.AddContestant("C2", {{"A.cpp", kRightCpp}});
    LoadContest();
    savedDialog = SetMessageDialog(dialog);
  }
  // The contest as the folders give it, nobody judged yet.
  void LoadContest() {
    ContestInfo->Reset();
    ContestInfo->LoadExams(tree.TasksDir());
    ContestInfo->LoadContestants(tree.ContestantsDir());
    TExamInfo* a = ContestInfo->ExamSet().Obj("A");
    a->UseStdIn = a->UseStdOut = true;
    a->TimeLimit = 5;
  }
  void TearDown() override {
    SetMessageDialog(savedDialog);
    ContestInfo->Reset();
  }
  static TQueue<TJudgePair> Pairs(std::initializer_list<TJudgePair> List) {
    TQueue<TJudgePair> queue;
    for (const TJudgePair& p : List) queue.Push(p);
    return queue;
  }
  static TResultE* Result(const std::string& C) {
    TResultC* rc = ContestInfo->ResultSet().Obj(C);
    return rc ? rc->Obj("A") : nullptr;
  }

  TContestTree tree;
  std::shared_ptr<TScriptedMessageDialog> dialog = std::make_shared<TScriptedMessageDialog>();
  std::shared_ptr<IMessageDialog> savedDialog;
  TActingLink link;
};

TEST_F(JudgeWindow, JudgesTheQueueShowsProgressAndRefreshesRows) {
  std::vector<std::string> names;
  bool checkedDuringRun = false;
  link.OnRow = [&](TResultC*) {
    ASSERT_NE(JudgeForm, nullptr);
    names.push_back(JudgeForm->labName1->text().toStdString());
    if (checkedDuringRun) return;
    checkedDuringRun = true;
    // The run lowers the scheduling class and turns core files off.
    EXPECT_EQ(platform::GetPriorityClass(), platform::BELOW_NORMAL_PRIORITY_CLASS);
    rlimit core{};
    getrlimit(RLIMIT_CORE, &core);
    EXPECT_EQ(core.rlim_cur, 0u);
    EXPECT_LT(JudgeForm->windowOpacity(), 1.0);
    EXPECT_TRUE(JudgeForm->labTime->text().startsWith(QString::fromUtf8("Thời gian chấm: 00:00:")));
    test::SaveShot(JudgeForm, "judge-window-running");
  };
  rlimit before{};
  getrlimit(RLIMIT_CORE, &before);
  auto queue = Pairs({{"C1", "A"}, {"C2", "A"}});
  RunJudge(queue);

  EXPECT_TRUE(checkedDuringRun);
  EXPECT_EQ(link.Calls, (std::vector<std::string>{"grid", "row+focus:C1", "row+focus:C2"}));
  // At a submission's end the label still names its last test.
  EXPECT_EQ(names, (std::vector<std::string>{"C1‣A‣2", "C2‣A‣2"}));
  ASSERT_NE(Result("C2"), nullptr);
  EXPECT_EQ(Result("C1")->Evaluation, 2);
  EXPECT_EQ(Result("C2")->Evaluation, 2);
  EXPECT_TRUE(dialog->Requests().empty());
  // Everything the run changed is back.
  EXPECT_EQ(platform::GetPriorityClass(), platform::NORMAL_PRIORITY_CLASS);
  EXPECT_EQ(platform::GetErrorMode(), 0u);
  rlimit after{};
  getrlimit(RLIMIT_CORE, &after);
  EXPECT_EQ(after.rlim_cur, before.rlim_cur);
  EXPECT_EQ(JudgeForm, nullptr);
}

TEST_F(JudgeWindow, JudgedProgramsRunInTheNormalSchedulingClass) {
  // Right only when it runs in the normal class, although the window lowers
  // its own for the run.
  tree.AddContestant("C3", {{"A.cpp", R"(#include <sched.h>
#include <iostream>
int main() { long long a, b; std::cin >> a >> b;
  std::cout << (sched_getscheduler(0) == SCHED_OTHER ? a + b : -1) << "\n"; })"}});
  ContestInfo->LoadContestants(tree.ContestantsDir());
  auto queue = Pairs({{"C3", "A"}});
  RunJudge(queue);
  ASSERT_NE(Result("C3"), nullptr);
  EXPECT_EQ(Result("C3")->Evaluation, 2) << Result("C3")->EvaluationText;
}

TEST_F(JudgeWindow, StopsAfterTheCurrentStepAndKeepsEarlierResults) {
  // Each request is queued like a real one: only the window's event
  // handling between judging steps can deliver it.
  const std::pair<const char*, std::function<void(TJudgeForm*)>> ways[] = {
      {"Esc",
       [](TJudgeForm* F) {
         QCoreApplication::postEvent(F, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
       }},
      {"Stop button", [](TJudgeForm* F) { QMetaObject::invokeMethod(F->btnStop, [F] { F->btnStop->click(); }, Qt::QueuedConnection); }},
      {"window manager's close", [](TJudgeForm* F) { QMetaObject::invokeMethod(F, [F] { F->close(); }, Qt::QueuedConnection); }},
  };
  for (const auto& [way, request] : ways) {
    SCOPED_TRACE(way);
    LoadContest();
    link.Calls.clear();
    link.OnRow = [&](TResultC* C) {
      if (C->Name() == "C1") request(JudgeForm);
    };
    auto queue = Pairs({{"C1", "A"}, {"C2", "A"}});
    RunJudge(queue);
    ASSERT_NE(Result("C1"), nullptr);
    EXPECT_EQ(Result("C1")->Evaluation, 2);
    EXPECT_TRUE(Result("C2") == nullptr || Result("C2")->state != jsJudged);
    EXPECT_EQ(link.Calls, (std::vector<std::string>{"grid", "row+focus:C1"}));
    EXPECT_TRUE(dialog->Requests().empty()) << "a stop is no error";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(platform::GetPriorityClass(), platform::NORMAL_PRIORITY_CLASS);
  }
}

TEST_F(JudgeWindow, EngineErrorIsShownAndTheWindowCloses) {
  dialog->AddAnswer(mrOk);
  auto queue = Pairs({{"C1", "A"}, {"C1", "Missing"}});
  RunJudge(queue);
  ASSERT_EQ(dialog->Requests().size(), 1u);
  EXPECT_EQ(dialog->Requests()[0].DlgType, mtError);
  EXPECT_NE(dialog->Requests()[0].Msg.find("Missing"), std::string::npos) << dialog->Requests()[0].Msg;
  EXPECT_EQ(Result("C1")->Evaluation, 2);
  EXPECT_EQ(platform::GetPriorityClass(), platform::NORMAL_PRIORITY_CLASS);
}

TEST_F(JudgeWindow, PairsLeftOutForTheirNamesAreNamedAtTheEnd) {
  // The program's own dialog, answered once it is really up.
  SetMessageDialog(std::make_shared<TQtMessageDialog>());
  std::vector<std::string> shown;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  std::string statusTip;
  bool statusClear = false;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    shown.push_back(box->text().toStdString());
    icon = box->icon();
    if (JudgeForm != nullptr) {
      // The long last status stops short of the time; all of it is its tip.
      statusTip = JudgeForm->labStatus->toolTip().toStdString();
      statusClear = JudgeForm->labStatus->geometry().right() < JudgeForm->labTime->geometry().left();
    }
    if (JudgeForm != nullptr) test::SaveShot(JudgeForm, "judge-window-names-left-out");
    test::SaveShot(box, "judge-window-names-left-out-dialog");
    box->button(QMessageBox::Ok)->click();
  });
  poll.start();
  auto queue = Pairs({{"C1", "A"}, {"a\\b", "A"}, {"x\ny", "A"}, {"C2", "A"}});
  RunJudge(queue);
  poll.stop();

  ASSERT_NE(Result("C2"), nullptr);
  EXPECT_EQ(Result("C1")->Evaluation, 2);
  EXPECT_EQ(Result("C2")->Evaluation, 2);
  EXPECT_EQ(link.Calls, (std::vector<std::string>{"grid", "row+focus:C1", "row+focus:C2"}));
  ASSERT_EQ(shown.size(), 1u) << "one warning, no error";
  EXPECT_EQ(icon, QMessageBox::Warning);
  EXPECT_NE(shown[0].find("Không chấm được 2 bài"), std::string::npos) << shown[0];
  EXPECT_NE(shown[0].find("\"a\\b\""), std::string::npos) << shown[0];
  EXPECT_NE(shown[0].find("\"x\\ny\""), std::string::npos) << shown[0];
  EXPECT_TRUE(statusClear) << "the status runs under the time";
  EXPECT_TRUE(statusTip.starts_with("Không chấm được 2 bài")) << statusTip;
  EXPECT_NE(statusTip.find("\"x\\ny\""), std::string::npos) << statusTip;
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// What the machine cannot give the runs stays in the window, in Vietnamese,
// for the whole run while the status goes on; where it gives everything,
// the window is as ever.
TEST_F(JudgeWindow, MissingGuaranteesStayInTheWindowForTheWholeRun) {
  {
    TJudgeForm form;
    EXPECT_EQ(form.labNotice->isVisibleTo(&form), !RunLimitationNotice().empty());
    if (RunLimitationNotice().empty()) {
      EXPECT_EQ(form.size(), QSize(384, 144));
    }
  }
  const std::string notice =
      "Không bảo đảm được an toàn khi chấm: giới hạn bộ nhớ chỉ áp cho từng tiến trình, không cho cả bài làm; số "
      "tiến trình của bài làm không bị giới hạn; bài làm có thể dùng mạng của máy.";
  TJudgeForm::RunNotice = [&] { return notice; };
  struct TSeen {
    std::string Notice, Status;
    bool Visible = false, Inside = false, ButtonBelow = false;
  };
  std::vector<TSeen> seen;
  link.OnRow = [&](TResultC*) {
    const TJudgeForm* f = JudgeForm;
    seen.push_back({f->labNotice->text().toStdString(), f->labStatus->text().toStdString(),
                    f->labNotice->isVisible(), f->rect().contains(f->labNotice->geometry()),
                    f->btnStop->geometry().top() > f->labNotice->geometry().bottom()});
    if (seen.size() == 1) test::SaveShot(JudgeForm, "judge-window-missing-guarantees");
  };
  auto queue = Pairs({{"C1", "A"}, {"C2", "A"}});
  RunJudge(queue);
  TJudgeForm::RunNotice = RunLimitationNotice;

  ASSERT_EQ(seen.size(), 2u);
  for (const TSeen& s : seen) {
    EXPECT_EQ(s.Notice, "⚠ " + notice);
    EXPECT_TRUE(s.Visible && s.Inside && s.ButtonBelow);
    EXPECT_NE(s.Status, notice) << "the status line goes on with the run";
  }
  EXPECT_EQ(Result("C2")->Evaluation, 2);
}

TEST_F(JudgeWindow, EmptyQueueOpensAndClosesAtOnce) {
  TQueue<TJudgePair> queue;
  RunJudge(queue);
  EXPECT_EQ(link.Calls, std::vector<std::string>{"grid"});
  EXPECT_TRUE(dialog->Requests().empty());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(JudgeWindow, TimeTextFollowsTheInjectedClockAcrossTheWrap) {
  std::uint32_t now = 0xFFFFF000;  // 4096 ms before the 32-bit tick wraps
  TTickClock saved = SetTickClock([&] { return now; });
  std::vector<std::string> times;
  link.OnRow = [&](TResultC*) {
    times.push_back(JudgeForm->labTime->text().toStdString());
    now += 65'000;  // wraps on the way
  };
  auto queue = Pairs({{"C1", "A"}, {"C2", "A"}});
  RunJudge(queue);
  SetTickClock(saved);
  EXPECT_EQ(times, (std::vector<std::string>{"Thời gian chấm: 00:00:00", "Thời gian chấm: 00:01:05"}));
}

}  // namespace
}  // namespace velkor
