// The Qt side of the judging core's hooks: the message box, the hand-off
// onto the GUI thread, the Esc poll, and the application's catch-all.
#include "app/CoreHooks.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "AppTestSupport.h"
#include "app/RunOnceUtils.h"
#include "core/CompressedXML.h"
#include "judging/EnvConfig.h"

namespace velkor {
namespace {

// Restores the headless dialog and hand-off after each test.
class CoreHooksTest : public ::testing::Test {
 protected:
  void TearDown() override { RemoveCoreHooks(); }
};

TEST_F(CoreHooksTest, MessageBoxOffersTheButtonsAndAnswersTheirCodes) {
  InstallCoreHooks();
  struct Case {
    const char* Why;
    TMsgDlgButtons Buttons;
    std::function<void(QMessageBox*)> Act;
    int Expected;
  } cases[] = {
      {"Esc is Cancel", {mbYes, mbNo, mbCancel}, [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }, mrCancel},
      {"Enter is Yes when there is no OK", {mbYes, mbNo, mbCancel},
       [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Return); }, mrYes},
      {"a click on No", {mbYes, mbNo, mbCancel}, [](QMessageBox* b) { b->button(QMessageBox::No)->click(); }, mrNo},
      {"Esc with OK alone is OK", {mbOK}, [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }, mrOk},
      {"All is a button of its own", {mbAll, mbCancel},
       [](QMessageBox* b) {
         for (QAbstractButton* button : b->buttons())
           if (button->text() == QString::fromUtf8("Tất cả")) button->click();
       },
       mrAll},
  };
  for (const Case& c : cases) {
    QString title, text;
    int buttons = 0;
    test::WhenModal([&](QWidget* dialog) {
      auto* box = qobject_cast<QMessageBox*>(dialog);
      ASSERT_NE(box, nullptr);
      title = box->windowTitle();
      text = box->text();
      buttons = static_cast<int>(box->buttons().size());
      if (std::string(c.Why) == "Esc is Cancel") test::SaveShot(box, "program-message-box");
      c.Act(box);
    });
    EXPECT_EQ(VQRMsgDlg("Bạn có muốn ghi lại kỳ thi này không?", mtConfirmation, c.Buttons), c.Expected) << c.Why;
    EXPECT_EQ(title.toStdString(), kApplicationTitle) << c.Why;
    EXPECT_EQ(text.toStdString(), "Bạn có muốn ghi lại kỳ thi này không?");
    EXPECT_EQ(buttons, c.Buttons.Contains(mbCancel) + c.Buttons.Contains(mbYes) + c.Buttons.Contains(mbNo) +
                           c.Buttons.Contains(mbAll) + c.Buttons.Contains(mbOK))
        << c.Why;
  }
}

// A question without Cancel is answered with one of its buttons: Esc, the
// frame's close and Alt+F4 leave it standing (and it offers no close
// button), so a reflexive Esc never says "No" to saving a contest.
TEST_F(CoreHooksTest, QuestionsWithoutCancelIgnoreEscapeAndClosing) {
  InstallCoreHooks();
  const struct {
    TMsgDlgButtons Buttons;
    QMessageBox::StandardButton Answer;
    int Expected;
  } questions[] = {{{mbYes, mbNo}, QMessageBox::No, mrNo},
                   {{mbYes, mbNo, mbNoToAll, mbYesToAll}, QMessageBox::YesToAll, mrYesToAll},
                   {{mbAbort, mbRetry}, QMessageBox::Retry, mrRetry}};
  for (const auto& q : questions) {
    bool standing = false, closeOffered = true;
    test::WhenModal([&](QWidget* dialog) {
      auto* box = qobject_cast<QMessageBox*>(dialog);
      ASSERT_NE(box, nullptr);
      QTest::keyClick(box, Qt::Key_Escape);
      QTest::keyClick(box, Qt::Key_F4, Qt::AltModifier);
      box->close();
      QCoreApplication::processEvents();
      standing = box->isVisible();
      closeOffered = box->windowFlags().testFlag(Qt::WindowCloseButtonHint);
      if (q.Answer == QMessageBox::No) test::SaveShot(box, "program-message-box-question");
      box->button(q.Answer)->click();
    });
    EXPECT_EQ(VQRMsgDlg("Bạn có muốn ghi lại kỳ thi hiện tại không?", mtConfirmation, q.Buttons), q.Expected);
    EXPECT_TRUE(standing) << q.Expected;
    EXPECT_FALSE(closeOffered) << q.Expected;
  }
}

TEST_F(CoreHooksTest, DialogsFromOtherThreadsRunOnTheGuiThread) {
  InstallCoreHooks();
  auto scripted = std::make_shared<TScriptedMessageDialog>(std::initializer_list<int>{mrNo});
  SetMessageDialog(scripted);
  std::atomic<int> answer{-1};
  std::thread worker([&] { answer = VQRMsgDlg("từ luồng khác", mtWarning, {mbYes, mbNo}); });
  QTRY_VERIFY_WITH_TIMEOUT(answer.load() != -1, 5000);  // the GUI thread runs the request meanwhile
  worker.join();
  EXPECT_EQ(answer.load(), mrNo);
  ASSERT_EQ(scripted->Requests().size(), 1u);
  EXPECT_EQ(scripted->Requests()[0].Msg, "từ luồng khác");
}

TEST_F(CoreHooksTest, EscapePollSeesEscOnlyAndRunsNoTimer) {
  QLineEdit edit;
  edit.show();
  int ticks = 0;
  QTimer timer;
  timer.setInterval(0);
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start();
  QCoreApplication::postEvent(&edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
  QCoreApplication::postEvent(&edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
  EXPECT_TRUE(PollEscapeKey());
  EXPECT_EQ(ticks, 0);
  EXPECT_TRUE(edit.text().isEmpty());  // the key went nowhere
  EXPECT_FALSE(PollEscapeKey());
  QTRY_VERIFY(ticks > 0);  // the timer itself still runs afterwards
}

class TThrowingWidget : public QWidget {
 protected:
  bool event(QEvent* Event) override {
    if (Event->type() == QEvent::User) throw std::runtime_error("Không đọc được file kỳ thi");
    return QWidget::event(Event);
  }
};

TEST_F(CoreHooksTest, ExceptionFromAnEventHandlerIsShownAndTheProgramGoesOn) {
  auto scripted = std::make_shared<TScriptedMessageDialog>(std::initializer_list<int>{mrOk});
  const auto previous = SetMessageDialog(scripted);
  TThrowingWidget widget;
  QEvent event(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&widget, &event));
  ASSERT_EQ(scripted->Requests().size(), 1u);
  EXPECT_EQ(scripted->Requests()[0].Msg, "Không đọc được file kỳ thi");
  EXPECT_EQ(scripted->Requests()[0].DlgType, mtError);
  SetMessageDialog(previous);
}

// What start-up could not read of the jury's configuration, told in the
// program's own message box over its window.
TEST_F(CoreHooksTest, ConfigurationNoticeStandsOverTheProgramsWindow) {
  InstallCoreHooks();
  CompilerConfig = std::make_unique<TCompilerConfig>();
  EnvConfig = std::make_unique<TEnvConfig>();
  {
    TCompressedXML doc;
    doc.LoadXML(R"(<VelkorConfiguration><Environment Identifier="VELKOREnvironment" StyleName="Dark" )"
                R"(ToolBarVisible="maybe"/></VelkorConfiguration>)",
                "test");
    doc.SaveToFile(ConfigFileName());
  }
  CheckVersionSignature();
  LoadConfiguration();
  EXPECT_EQ(EnvConfig->StyleName, "Dark");

  QWidget window;
  window.resize(400, 300);
  window.show();
  test::TRecordingLink link(&window);
  QWidget* owner = nullptr;
  QString text;
  test::WhenModal([&](QWidget* dialog) {
    auto* box = qobject_cast<QMessageBox*>(dialog);
    ASSERT_NE(box, nullptr);
    owner = box->parentWidget();
    text = box->text();
    test::SaveShot(box, "configuration-notice");
    box->button(QMessageBox::Ok)->click();
  });
  ShowConfigurationNotice();
  EXPECT_EQ(owner, &window);
  EXPECT_TRUE(text.startsWith(QString::fromUtf8("File cấu hình bị hỏng"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QString::fromStdString(ConfigFileName() + ".bak"))) << text.toStdString();
  EXPECT_TRUE(text.contains("\"ToolBarVisible\"")) << text.toStdString();

  // Once only.
  auto scripted = std::make_shared<TScriptedMessageDialog>();
  SetMessageDialog(scripted);
  ShowConfigurationNotice();
  EXPECT_TRUE(scripted->Requests().empty());

  std::filesystem::remove(ConfigFileName());
  std::filesystem::remove(ConfigFileName() + ".bak");
  EnvConfig.reset();
  CompilerConfig.reset();
}

}  // namespace
}  // namespace velkor
