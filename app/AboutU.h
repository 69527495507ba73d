// The about box and the start-up splash: one borderless window showing the
// program's logo with its per-pixel transparency, the version and a short
// copyright notice drawn into the logo's lower right corner.
//
// As the about box it is non-modal and stays on top until a key, a click
// other than the left button, or losing activation closes it. As the splash
// it is modal and closes itself after 15 ticks of 100 ms, or at the first
// tick after the user's first input once the fifth tick has passed.
#pragma once

#include <QColor>
#include <QDialog>
#include <QIcon>
#include <QImage>
#include <QPoint>
#include <QRegion>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/TickClock.h"
#include "components/Images.h"
#include "components/TrueImages.h"

namespace velkor {

class TBitmap32;

// The clock's time of the last key press, mouse press, mouse move or wheel
// turn the application received while an about window existed (0: none).
// Other programs' input cannot be seen, so only our own windows count.
std::uint32_t LastInputTick();

// Where the logo is kept among the application's resources.
inline constexpr const char* kAboutLogoResource = ":/velkor/app/LOGO.argb";
// The colour of the drawn text lines.
inline constexpr std::uint32_t kAboutTextColor = 0x00C060;  // RGB

// The three lines drawn into the logo: "Version: " + the program's file
// version, then the copyright notice.
std::vector<std::string> AboutTextLines();

// Reads the logo from Path (an ARGB true image). A logo that is missing or
// unreadable gives a plain dark card of the same use instead, so the window
// still shows the version; the reason goes to the warning log.
std::unique_ptr<TTrueImage> LoadAboutLogo(const std::string& Path = kAboutLogoResource);

// The program's icon: the logo's seal with its check mark, square.
QIcon ProgramIcon();
// Makes it the icon of every window of the application.
void InstallProgramIcon();

// Turns white-on-transparent text into the text colour whose opacity is the
// pixel's luminance: alpha = round(0.30 R + 0.59 G + 0.11 B).
void TextToAlpha(TBitmap32& Bitmap);

// Draws Lines right-aligned, one below the other, in the GUI font, converts
// them with TextToAlpha and copies the block (alpha included, no blending)
// into Logo's lower right corner; then every pixel without alpha is cleared
// to 0.
void ComposeAboutPicture(TTrueImage& Logo, const std::vector<std::string>& Lines);

// Clears the logo's pixels below half opacity: its soft shadow and the
// faintest rim of its edges. A desktop without a compositing manager
// would show them as a dark halo.
void DropSoftShadow(TTrueImage& Logo);

// Picture (premultiplied) drawn over an opaque Background: what a window
// shows where the desktop does not composite.
QImage OpaqueLayer(const QImage& Picture, QColor Background);

// The pixels of Image with any opacity. The window is cut to them: a
// desktop without a compositing manager cannot show translucent windows and
// would paint every transparent pixel black.
QRegion VisibleRegion(const QImage& Image);

class TAboutForm : public QDialog {
 public:
  explicit TAboutForm(QWidget* Parent = nullptr);
  ~TAboutForm() override;

  // The window takes the logo's size; keys reach the form first.
  void SetupWindowSize();
  // Without Transparent the window receives the mouse; with it, clicks fall
  // through to what lies below.
  void SetupWindowLayer(bool Transparent);
  // Hands the composed picture to the window (premultiplied), cuts the
  // window to its visible pixels and frees the logo control. Where the
  // desktop does not composite, the window is opaque: the picture over the
  // window colour, uncut.
  void PaintLayer();

  void Timer1Timer();

  // The picture the window paints (premultiplied ARGB).
  const QImage& Layer() const { return FLayer; }

  TVQR_Image* imgLogo;
  QTimer* Timer1;

  bool mDown = false;
  QPoint OriginCorner;
  QPoint Anchor;
  int Counter = 0;
  std::uint32_t Tick = 0;

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  void FormCreate();

  QImage FLayer;
  bool FOpaque = false;  // the desktop does not composite
};

// The one about window, nullptr when none exists.
extern TAboutForm* AboutForm;

void ShowAboutBox();
void ShowSplash();

}  // namespace velkor
