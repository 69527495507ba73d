// The progress window and its routines, and the window driven by the
// contest archive through the judging core's progress hooks.
#include "components/SimpleProgress.h"

#include <gtest/gtest.h>

#include <QTest>

#include "ComponentsTestSupport.h"

namespace velkor {
namespace {

namespace SP = SimpleProgress;

class ProgressTest : public ::testing::Test {
 protected:
  void TearDown() override { SP::ProgressFree(); }
  TProgressDlg* Dlg() const { return SP::ProgressDlg(); }
  int Repaints() const { return Dlg()->RepaintCount(); }
};

TEST_F(ProgressTest, OneWindowAtATime) {
  SP::ProgressFree();  // nothing to free
  EXPECT_EQ(Dlg(), nullptr);
  // Without a window every routine does nothing.
  SP::ProgressSetValues(0, 10, 5);
  SP::ProgressSetPos(3);
  SP::ProgressSetCaption("x");
  SP::ProgressSetSubCaption("y");
  SP::ProgressShow(true);

  SP::ProgressCreate();
  TProgressDlg* first = Dlg();
  ASSERT_NE(first, nullptr);
  SP::ProgressCreate();
  EXPECT_EQ(Dlg(), first);
  EXPECT_FALSE(first->isVisible()) << "created hidden";
  EXPECT_EQ(first->size(), QSize(400, 88));
  EXPECT_TRUE(first->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(first->windowFlags() & Qt::Tool);
  EXPECT_EQ(first->parentWidget(), nullptr);
  EXPECT_TRUE(first->Group()->isHidden());
  EXPECT_EQ(first->Gauge()->geometry(), QRect(16, 52, 368, 16));
  EXPECT_EQ(first->Label()->FocusControl(), first->Gauge());
  SP::ProgressSetCaption("Other");
  SP::ProgressFree();
  EXPECT_EQ(Dlg(), nullptr);
  SP::ProgressCreate();
  EXPECT_EQ(Dlg()->Group()->Caption(), "Progress") << "a fresh window";
}

TEST_F(ProgressTest, RepaintsOnlyWhatChanged) {
  SP::ProgressCreate();
  struct {
    const char* What;
    std::function<void()> Call;
    int Repaints;
  } steps[] = {
      {"values of a new window", [] { SP::ProgressSetValues(0, 100, 0); }, 0},
      {"position 1: the bar becomes 4 px", [] { SP::ProgressSetPos(1); }, 1},
      {"position 150 is ignored", [] { SP::ProgressSetPos(150); }, 0},
      {"an ignored range with the same bar", [] { SP::ProgressSetValues(0, 200, 300); }, 0},
      {"position 2: the bar becomes 7 px", [] { SP::ProgressSetPos(2); }, 1},
      {"caption", [] { SP::ProgressSetCaption("Nén kỳ thi..."); }, 1},
      {"the same caption", [] { SP::ProgressSetCaption("Nén kỳ thi..."); }, 0},
      {"sub-caption", [] { SP::ProgressSetSubCaption("Bai1.cpp"); }, 1},
      {"the same sub-caption", [] { SP::ProgressSetSubCaption("Bai1.cpp"); }, 0},
      {"show", [] { SP::ProgressShow(true); }, 1},
      {"hide", [] { SP::ProgressShow(false); }, 0},
  };
  for (const auto& s : steps) {
    const int before = Repaints();
    s.Call();
    EXPECT_EQ(Repaints() - before, s.Repaints) << s.What;
  }
  int mn, mx, pos;
  Dlg()->Gauge()->Get3(mn, mx, pos);
  EXPECT_EQ(std::tuple(mn, mx, pos), std::tuple(0, 100, 2));
  EXPECT_FALSE(Dlg()->isVisible());
}

TEST_F(ProgressTest, TheBufferShowsTheGroupWithItsChildren) {
  SP::ProgressCreate();
  SP::ProgressSetCaption("Giải nén kỳ thi...");
  SP::ProgressSetSubCaption("Tasks/Bai1/01/Bai1.INP");
  SP::ProgressSetValues(0, 10, 4);
  SP::ProgressShow(true);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Dlg()));
  const QImage buffer = Dlg()->Buffer();
  // The bar's dark bottom row (clHighlight, classic navy) at the gauge.
  const QRgb bar = buffer.pixel(16 + 10, 52 + 13);
  EXPECT_LT(qRed(bar), 60);
  EXPECT_GT(qBlue(bar), qRed(bar));
  // The window shows the buffer, also when painted again later.
  Dlg()->update();
  QTest::qWait(10);
  const QImage seen = Dlg()->grab().toImage();
  EXPECT_EQ(seen.pixel(26, 65), buffer.pixel(26, 65));
  EXPECT_EQ(seen.pixel(200, 10), buffer.pixel(200, 10));
  test::SaveShot(seen, "progress_window");
}

}  // namespace
}  // namespace velkor
