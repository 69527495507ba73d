#include "core/Dialogs.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace velkor {
namespace {

// Restores the installed dialog and hand-off after each test.
class Dialogs : public ::testing::Test {
 protected:
  void TearDown() override {
    SetMessageDialog(nullptr);
    SetMainThreadHandOff(nullptr);
  }
};

TEST_F(Dialogs, ButtonsGiveTheToolkitsResultCodes) {
  const std::pair<TMsgDlgBtn, int> codes[] = {
      {mbOK, 1},   {mbCancel, 2}, {mbAbort, 3},  {mbRetry, 4},    {mbIgnore, 5},    {mbYes, 6},
      {mbNo, 7},   {mbClose, 8},  {mbHelp, 9},   {mbAll, 12},     {mbNoToAll, 13},  {mbYesToAll, 14},
  };
  for (auto [button, code] : codes) EXPECT_EQ(ModalResultOf(button), code) << button;
  EXPECT_EQ(static_cast<int>(mtError), 1);
  EXPECT_EQ(static_cast<int>(mtConfirmation), 3);
}

TEST_F(Dialogs, HeadlessAnswersTheDefaultButNeverRetry) {
  struct Case {
    TMsgDlgButtons buttons;
    int answer;
  };
  const Case cases[] = {
      {{mbOK}, mrOk},
      {{mbYes, mbNo}, mrYes},
      {{mbYes, mbNo, mbCancel}, mrYes},
      {{mbYes, mbNo, mbNoToAll, mbYesToAll}, mrYes},
      {{mbAbort, mbRetry}, mrAbort},
      {{mbRetry, mbCancel}, mrCancel},
      {{mbNo, mbCancel}, mrNo},
      {{mbRetry}, mrCancel},
  };
  for (const Case& c : cases) EXPECT_EQ(HeadlessAnswer(c.buttons), c.answer);

  ::testing::internal::CaptureStderr();
  const int answer = VQRMsgDlg("Không thể đăng nhập\r\nChế độ bảo mật sẽ tạm tắt", mtError, {mbOK});
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, mrOk);
  EXPECT_NE(err.find("Không thể đăng nhập\r\nChế độ bảo mật sẽ tạm tắt"), std::string::npos) << err;
}

TEST_F(Dialogs, ScriptedDialogAnswersInOrderAndKeepsTheRequests) {
  auto script = std::make_shared<TScriptedMessageDialog>(std::initializer_list<int>{mrNo, mrYesToAll});
  SetMessageDialog(script);
  EXPECT_EQ(VQRMsgDlg("Lưu kỳ thi?", mtConfirmation, {mbYes, mbNo, mbCancel}, 7), mrNo);
  EXPECT_EQ(VQRMsgDlg("Ghi đè?", mtConfirmation, {mbYes, mbNo, mbNoToAll, mbYesToAll}), mrYesToAll);
  EXPECT_THROW(VQRMsgDlg("one too many", mtError, {mbOK}), std::logic_error);
  const std::vector<TMsgDlgRequest> asked = script->Requests();
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[0].Msg, "Lưu kỳ thi?");
  EXPECT_EQ(asked[0].DlgType, mtConfirmation);
  EXPECT_EQ(asked[0].Buttons, (TMsgDlgButtons{mbYes, mbNo, mbCancel}));
  EXPECT_EQ(asked[0].HelpCtx, 7);
  EXPECT_FALSE(asked[1].Buttons.Contains(mbCancel));
}

// A stand-in for the GUI thread's event loop: a thread that runs handed-over
// work in order.
class TEventLoopHandOff : public IMainThreadHandOff {
 public:
  TEventLoopHandOff() : thread_([this] { Loop(); }) {}
  ~TEventLoopHandOff() override {
    Post(nullptr);
    thread_.join();
  }
  bool IsMainThread() override { return std::this_thread::get_id() == thread_.get_id(); }
  void RunBlocking(const std::function<void()>& work) override {
    ++handOffs;
    std::mutex doneMutex;
    std::condition_variable doneCv;
    bool done = false;
    Post([&] {
      work();
      std::lock_guard lock(doneMutex);
      done = true;
      doneCv.notify_one();
    });
    std::unique_lock lock(doneMutex);
    doneCv.wait(lock, [&] { return done; });
  }
  // Runs work on the loop's thread and waits for it.
  void RunOnLoop(const std::function<void()>& work) { RunBlocking(work); }
  std::thread::id Id() const { return thread_.get_id(); }
  std::atomic<int> handOffs{0};

 private:
  void Post(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
    cv_.notify_one();
  }
  void Loop() {
    for (;;) {
      std::function<void()> work;
      {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return !queue_.empty(); });
        work = std::move(queue_.front());
        queue_.pop_front();
      }
      if (!work) return;
      work();
    }
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
  std::thread thread_;
};

// Records on which thread it was shown and the order of events.
class TRecordingDialog : public IMessageDialog {
 public:
  explicit TRecordingDialog(std::vector<std::string>& events) : events_(events) {}
  int Show(const TMsgDlgRequest& request) override {
    shownOn = std::this_thread::get_id();
    events_.push_back("shown " + request.Msg);
    events_.push_back("closed");
    return mrRetry;
  }
  std::thread::id shownOn;

 private:
  std::vector<std::string>& events_;
};

TEST_F(Dialogs, WorkerCallsAreShownOnTheGuiThreadAndWaitForTheAnswer) {
  std::vector<std::string> events;  // written by one thread at a time
  auto dialog = std::make_shared<TRecordingDialog>(events);
  auto loop = std::make_shared<TEventLoopHandOff>();
  SetMessageDialog(dialog);
  SetMainThreadHandOff(loop);

  int answer = 0;
  std::thread worker([&] {
    answer = VQRMsgDlg("from worker", mtError, {mbAbort, mbRetry});
    events.push_back("worker resumed");
  });
  worker.join();
  EXPECT_EQ(answer, mrRetry);
  EXPECT_EQ(dialog->shownOn, loop->Id());
  EXPECT_EQ(events, (std::vector<std::string>{"shown from worker", "closed", "worker resumed"}));
  EXPECT_EQ(loop->handOffs, 1);

  // On the GUI thread itself the dialog is shown directly, without a hand-off
  // (which would wait on its own queue forever).
  int direct = 0;
  loop->RunOnLoop([&] { direct = VQRMsgDlg("on the GUI thread", mtError, {mbOK}); });
  EXPECT_EQ(direct, mrRetry);
  EXPECT_EQ(loop->handOffs, 2);  // only the test's own RunOnLoop
  SetMainThreadHandOff(nullptr);
}

}  // namespace
}  // namespace velkor
