// The about box and the splash: the composed picture, the one window they
// share, the splash's timing on an injected clock, and the input that
// closes or moves them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTest>

#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/AboutU.h"
#include "app/ProgramVersion.h"
#include "components/DefaultFonts.h"
#include "core/SystemInfo.h"
#include "graphics/Raster.h"
#include "toolkit/DesktopCompositing.h"

namespace velkor {
namespace {

class AboutWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    static const char* const argv[] = {"/opt/velkor/velkor"};
    TSystemInfoOptions options;
    options.VersionResource = &ProgramVersionResource();
    SystemInfoInit(1, argv, options);
    CreateGuiFont("DejaVu Sans", 9);
    FPreviousClock = SetTickClock([this] { return FNow; });
    FPreviousCompositing = SetCompositingQuery([] { return true; });
  }
  void TearDown() override {
    SetTickClock(FPreviousClock);
    SetCompositingQuery(FPreviousCompositing);
    if (AboutForm) delete AboutForm;
    SystemInfoFinalize();
  }

  // One mouse event delivered through the application, as the user's own.
  static void Send(QWidget* W, QEvent::Type Type, QPoint Global, Qt::MouseButton Button) {
    const QPoint local = W->mapFromGlobal(Global);
    QMouseEvent e(Type, local, Global, Button, Type == QEvent::MouseMove ? Qt::NoButton : Button, Qt::NoModifier);
    QApplication::sendEvent(W, &e);
  }

  // Runs the splash, ticking its timer by hand; Input(tick) may act before
  // each tick. Gives the number of ticks the window saw before it closed.
  int RunSplash(const std::function<void(TAboutForm*, int)>& Input) {
    int ticks = 0;
    test::WhenModal([&](QWidget* Dialog) {
      QPointer<TAboutForm> form = dynamic_cast<TAboutForm*>(Dialog);
      ASSERT_TRUE(form);
      EXPECT_TRUE(form->Timer1->isActive());
      form->Timer1->setInterval(3600 * 1000);  // the test ticks it
      while (form && form->isVisible() && ticks < 30) {
        Input(form, ticks);
        if (!form || !form->isVisible()) break;
        FNow += 100;
        form->Timer1Timer();
        ++ticks;
      }
    });
    ShowSplash();
    EXPECT_EQ(AboutForm, nullptr);
    return ticks;
  }

  std::uint32_t FNow = 50000;
  TTickClock FPreviousClock;
  TCompositingQuery FPreviousCompositing;
};

TEST_F(AboutWindow, TextBecomesTheTextColourWithItsLuminanceAsOpacity) {
  auto b = New<TBitmap32>();
  b->SetSize(6, 1);
  const struct {
    TColor32 In, Out;
  } cases[] = {{0x00FFFFFFu, 0xFF00C060u}, {0x00000000u, 0x0000C060u}, {0x00808080u, 0x8000C060u},
               {0x0000FF00u, 0x9600C060u}, {0x000000FFu, 0x1C00C060u}, {0xFF404040u, 0x4000C060u}};
  for (int i = 0; i < 6; ++i) b->SetPixel(i, 0, cases[i].In);
  TextToAlpha(*b);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(b->GetPixel(i, 0), cases[i].Out) << std::hex << cases[i].In;
}

TEST_F(AboutWindow, TheTextBlockIsCopiedIntoTheLowerRightCornerAndClearsWhatItCovers) {
  auto logo = TTrueImage::CreateSize(200, 80);
  TBitmap32& b = logo->BMP32();
  b.Clear(0xFF102030u);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) b.SetPixel(x, y, 0x00FFFFFFu);  // see-through, with a colour
  ComposeAboutPicture(*logo, {"Version: 1.2.3.4", "ABC"});

  int text = 0, holes = 0, textLeft = 200, textTop = 80;
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 200; ++x) {
      const TColor32 p = b.GetPixel(x, y);
      if (x < 10 && y < 10) {
        EXPECT_EQ(p, 0u) << "a see-through pixel is cleared entirely";
      } else if ((p & 0xFFFFFFu) == 0x00C060u) {
        ++text;
        textLeft = std::min(textLeft, x);
        textTop = std::min(textTop, y);
      } else if (p == 0) {
        ++holes;
      } else {
        EXPECT_EQ(p, 0xFF102030u) << x << "," << y;
      }
    }
  }
  EXPECT_GT(text, 30);
  EXPECT_GT(holes, 100) << "the block's empty pixels replace the logo beneath";
  EXPECT_GT(textLeft, 60);
  EXPECT_GT(textTop, 40);
  EXPECT_EQ(b.GetPixel(199, 79) & 0xFFFFFFu, 0u) << "nothing but text or clear pixels in the corner";
}

TEST_F(AboutWindow, TheVersionLineComesFromTheProjectVersion) {
  const std::vector<std::string> lines = AboutTextLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Version: " + ProgramVersionResource().at("FileVersion"));
  EXPECT_EQ(ProgramVersionResource().at("FileVersion").rfind(VELKOR_TEST_PROJECT_VERSION, 0), 0u);
}

TEST_F(AboutWindow, AMissingLogoStillGivesAPictureWithTheVersion) {
  auto logo = LoadAboutLogo("/no/such/LOGO.argb");
  ASSERT_FALSE(logo->Empty());
  auto real = LoadAboutLogo();
  EXPECT_EQ(real->Width(), logo->Width());
  EXPECT_EQ(real->Height(), logo->Height());
  EXPECT_EQ(real->PixelPtr(0, 0)->Value >> 24, 0u) << "the logo has see-through corners";
}

TEST_F(AboutWindow, TheAboutBoxIsOneTopmostWindowShownAgain) {
  ShowAboutBox();
  QPointer<TAboutForm> first = AboutForm;
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->isVisible());
  EXPECT_FALSE(first->isModal());
  EXPECT_TRUE(first->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(first->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(first->imgLogo, nullptr) << "the logo control is freed once the layer is painted";
  EXPECT_EQ(first->size(), first->Layer().size());
  EXPECT_EQ(first->Layer().format(), QImage::Format_ARGB32_Premultiplied);

  QImage onGrey(first->Layer().size(), QImage::Format_ARGB32_Premultiplied);
  onGrey.fill(QColor(128, 128, 128));
  QPainter(&onGrey).drawImage(0, 0, first->Layer());
  test::SaveShot(first->Layer(), "about-picture");
  test::SaveShot(onGrey, "about-picture-on-grey");
  const QImage corner = onGrey.copy(onGrey.width() - 250, onGrey.height() - 50, 250, 50);
  test::SaveShot(corner.scaled(corner.size() * 3), "about-picture-text-zoomed");
  test::SaveShot(first.data(), "about-window");

  // The window is cut to the picture's visible pixels, so a desktop that
  // cannot show translucency shows no black box around the logo.
  const QRegion shape = first->mask();
  int outside = 0, inside = 0, transparent = 0;
  for (int y = 0; y < first->Layer().height(); ++y)
    for (int x = 0; x < first->Layer().width(); ++x) {
      const bool visible = qAlpha(first->Layer().pixel(x, y)) != 0;
      transparent += !visible;
      inside += visible && shape.contains(QPoint(x, y));
      outside += !visible && shape.contains(QPoint(x, y));
    }
  EXPECT_GT(transparent, 0);
  EXPECT_EQ(outside, 0);
  EXPECT_EQ(inside + transparent, first->Layer().width() * first->Layer().height());

  ShowAboutBox();
  EXPECT_EQ(AboutForm, first.data());
  EXPECT_TRUE(first->isVisible());

  // A left drag moves the window by the cursor's way; a right click closes.
  const QPoint start = first->pos();
  const QPoint grip = first->mapToGlobal(QPoint(40, 40));
  Send(first, QEvent::MouseButtonPress, grip, Qt::LeftButton);
  Send(first, QEvent::MouseMove, grip + QPoint(25, -7), Qt::NoButton);
  Send(first, QEvent::MouseButtonRelease, grip + QPoint(25, -7), Qt::LeftButton);
  EXPECT_EQ(first->pos(), start + QPoint(25, -7));
  Send(first, QEvent::MouseMove, grip + QPoint(90, 90), Qt::NoButton);
  EXPECT_EQ(first->pos(), start + QPoint(25, -7)) << "no drag after the button is up";

  Send(first, QEvent::MouseButtonPress, first->mapToGlobal(QPoint(5, 5)), Qt::RightButton);
  EXPECT_EQ(AboutForm, nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); })) << "a closed about box is freed";

  ShowAboutBox();
  ASSERT_NE(AboutForm, nullptr);
  QPointer<TAboutForm> second = AboutForm;
  QTest::keyClick(second, Qt::Key_Space);
  EXPECT_EQ(AboutForm, nullptr) << "any key closes it";
}

TEST_F(AboutWindow, WithoutACompositorTheWindowIsOpaqueWithoutShadow) {
  // Below the card's bottom edge (y 140): its soft shadow in the picture.
  const QPoint shadow(180, 144);
  for (const bool composites : {true, false}) {
    SetCompositingQuery([composites] { return composites; });
    ShowAboutBox();
    QPointer<TAboutForm> form = AboutForm;
    ASSERT_TRUE(form);
    const QImage shown = form->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(shown.size(), form->size());
    const QColor background = form->palette().color(QPalette::Window);
    int translucent = 0, text = 0;
    for (int y = 0; y < shown.height(); ++y)
      for (int x = 0; x < shown.width(); ++x) translucent += qAlpha(shown.pixel(x, y)) != 255;
    // The text's corner: the pixels that differ from what lies under them.
    const int textTop = shown.height() - 45;
    for (int y = textTop; y < shown.height(); ++y)
      for (int x = shown.width() - 200; x < shown.width(); ++x) {
        const QRgb p = shown.pixel(x, y);
        text += qGreen(p) > qRed(p) + 40 && qAlpha(p) == 255;
      }
    if (composites) {
      EXPECT_GT(translucent, 0);
      EXPECT_GT(qAlpha(shown.pixel(shadow)), 0);
      EXPECT_LT(qAlpha(shown.pixel(shadow)), 255);
      EXPECT_FALSE(form->mask().isEmpty());
    } else {
      test::SaveShot(form.data(), "about-window-no-compositor");
      EXPECT_EQ(translucent, 0) << "every pixel opaque";
      EXPECT_TRUE(form->mask().isEmpty()) << "the window is not cut";
      EXPECT_EQ(QColor(shown.pixel(shadow)), background) << "no shadow";
      EXPECT_EQ(QColor(shown.pixel(shown.width() - 1, textTop)), background);
      EXPECT_GT(text, 100) << "the green text stands on the background";
    }
    form->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.isNull(); }));
  }
}

TEST_F(AboutWindow, SplashClosesAfterFifteenTicksOrAtInputAfterTheFifth) {
  EXPECT_EQ(RunSplash([](TAboutForm*, int) {}), 15) << "no input";

  // Input before the fifth tick does not count; a move after it closes the
  // splash at the next tick.
  EXPECT_EQ(RunSplash([this](TAboutForm* Form, int Tick) {
              if (Tick == 2 || Tick == 7) Send(Form, QEvent::MouseMove, Form->mapToGlobal(QPoint(9, 9)), Qt::NoButton);
              (void)this;
            }),
            8);
  // Input in the same millisecond as the fifth tick is not later than it.
  EXPECT_EQ(RunSplash([this](TAboutForm* Form, int Tick) {
              if (Tick == 5) {
                FNow -= 100;  // the move happens at the fifth tick's time
                Send(Form, QEvent::MouseMove, Form->mapToGlobal(QPoint(9, 9)), Qt::NoButton);
                FNow += 100;
              }
            }),
            15);
  // A key closes it at once.
  EXPECT_EQ(RunSplash([](TAboutForm* Form, int Tick) {
              if (Tick == 1) QTest::keyClick(Form, Qt::Key_Escape);
            }),
            1);
  // An about box closed just before, and freed while the splash runs, takes
  // nothing of the splash's with it: input still closes the splash.
  ShowAboutBox();
  QPointer<TAboutForm> closed = AboutForm;
  QTest::keyClick(closed, Qt::Key_Space);
  ASSERT_TRUE(closed) << "freed only once its events are done";
  EXPECT_EQ(RunSplash([&](TAboutForm* Form, int Tick) {
              // Freed as its pending deletion would free it, mid-splash.
              if (Tick == 6) delete closed.data();
              if (Tick == 7) {
                EXPECT_TRUE(closed.isNull());
                Send(Form, QEvent::MouseMove, Form->mapToGlobal(QPoint(9, 9)), Qt::NoButton);
              }
            }),
            8);
}

TEST_F(AboutWindow, TurningToAnotherWindowClosesTheAboutBoxButNotTheSplash) {
  QWidget other;
  other.resize(100, 100);
  other.show();

  ShowAboutBox();
  QPointer<TAboutForm> box = AboutForm;
  box->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(box));
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  EXPECT_EQ(AboutForm, nullptr) << "the about box goes when it loses activation";

  bool stayed = false;
  test::WhenModal([&](QWidget* Dialog) {
    QPointer<TAboutForm> splash = dynamic_cast<TAboutForm*>(Dialog);
    splash->Timer1->setInterval(3600 * 1000);
    splash->activateWindow();
    if (QTest::qWaitForWindowActive(splash)) {
      other.activateWindow();
      QTest::qWait(20);
      stayed = splash && splash->isVisible();
    }
    if (splash) splash->close();
  });
  ShowSplash();
  EXPECT_TRUE(stayed) << "the splash stays until its time is up";
}

TEST_F(AboutWindow, ASplashOverAnOpenAboutBoxShowsThatWindowWithoutTimer) {
  ShowAboutBox();
  QPointer<TAboutForm> box = AboutForm;
  test::WhenModal([&](QWidget* Dialog) {
    EXPECT_EQ(Dialog, box.data());
    EXPECT_FALSE(box->Timer1->isActive());
    QTest::keyClick(Dialog, Qt::Key_Return);
  });
  ShowSplash();
  EXPECT_EQ(AboutForm, nullptr);
}

}  // namespace
}  // namespace velkor
