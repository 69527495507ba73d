#include "app/AboutU.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "components/DefaultFonts.h"
#include "core/SystemInfo.h"
#include "graphics/Fonts.h"
#include "graphics/Raster.h"
#include "toolkit/DesktopCompositing.h"

namespace velkor {

TAboutForm* AboutForm = nullptr;

namespace {

constexpr int kTimerInterval = 100;  // ms
constexpr int kInputFromTick = 5;    // input is watched once this many ticks have passed
constexpr int kLastTick = 15;        // the splash closes after this many ticks

std::uint32_t gLastInput = 0;

// Time-stamps the application's own input while an about window exists.
class TInputWatch : public QObject {
 public:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    switch (Event->type()) {
      case QEvent::KeyPress:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
        gLastInput = GetTickCount();
        break;
      default:
        break;
    }
    return QObject::eventFilter(Watched, Event);
  }
};

TInputWatch* gInputWatch = nullptr;
// The about windows alive. A closed one is freed only once its events are
// done, so a new one may already exist: the watch goes with the last.
int gInputWatchUsers = 0;

// What shows when the logo cannot be read: a plain dark card with room for
// the text below it.
std::unique_ptr<TTrueImage> PlainLogo() {
  constexpr int W = 360, H = 200, CardBottom = 140;
  auto logo = TTrueImage::CreateSize(W, H);
  TBitmap32& b = logo->BMP32();
  b.Clear(0);
  for (int y = 0; y < CardBottom; ++y)
    for (int x = 0; x < W; ++x) b.SetPixel(x, y, 0xFF1C3460u);
  return logo;
}

// The bitmap's own copy (alpha included) of Src at (X, Y) of Dst.
void CopyOpaque(TBitmap32& Src, TBitmap32& Dst, int X, int Y) {
  Src.SetDrawMode(dmOpaque);
  Src.DrawTo(&Dst, X, Y);
}

}  // namespace

std::uint32_t LastInputTick() { return gLastInput; }

std::vector<std::string> AboutTextLines() {
  return {"Version: " + GetVersionInfoString(MyApp, "FileVersion"), "Bản quyền © 2026 nhóm phát triển Velkor",
          "Bảo lưu mọi quyền."};
}

std::unique_ptr<TTrueImage> LoadAboutLogo(const std::string& Path) {
  QFile file(QString::fromStdString(Path));
  try {
    if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error(file.errorString().toStdString());
    std::istringstream stream(file.readAll().toStdString());
    auto logo = TTrueImage::CreateSize(0, 0);
    logo->LoadFromStream(stream);
    if (logo->Empty()) throw std::runtime_error("empty picture");
    return logo;
  } catch (const std::exception& e) {
    qWarning("Velkor: cannot read the logo \"%s\": %s", Path.c_str(), e.what());
  }
  return PlainLogo();
}

QIcon ProgramIcon() {
  // The seal of the logo drawn by resources/make_logo.py: a circle of
  // radius 46 (and its ring) around (82, 74).
  constexpr int kSealX = 82, kSealY = 74, kHalf = 50;
  const QImage logo = LoadAboutLogo()->ExportBitmapPremul()->ToImage();
  const QRect seal(kSealX - kHalf, kSealY - kHalf, 2 * kHalf, 2 * kHalf);
  const QImage square = logo.rect().contains(seal) ? logo.copy(seal) : logo;
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 100})
    icon.addPixmap(QPixmap::fromImage(square.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  return icon;
}

void InstallProgramIcon() { QApplication::setWindowIcon(ProgramIcon()); }

void TextToAlpha(TBitmap32& Bitmap) {
  for (int y = 0; y < Bitmap.Height(); ++y) {
    PColor32 p = Bitmap.ScanLine(y);
    for (int x = 0; x < Bitmap.Width(); ++x) {
      const TColor32 c = p[x];
      const double r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
      const auto alpha = static_cast<TColor32>(std::lround(0.30 * r + 0.59 * g + 0.11 * b));
      p[x] = (std::min<TColor32>(alpha, 255) << 24) | kAboutTextColor;
    }
  }
}

void ComposeAboutPicture(TTrueImage& Logo, const std::vector<std::string>& Lines) {
  auto text = New<TBitmap32>();
  const QFont& gui = CurrentGuiFont().Font;
  text->Font()->SetName(gui.family().toStdString());
  text->Font()->SetSize(gui.pointSize() > 0 ? gui.pointSize() : 9);
  text->Font()->SetColor(clWhite);

  int width = 0, height = 0;
  std::vector<TSize> extents;
  for (const std::string& line : Lines) {
    extents.push_back(text->TextExtent(line));
    width = std::max(width, extents.back().cx);
    height += extents.back().cy;
  }
  text->SetSize(width, height);
  text->Clear(0);
  int y = 0;
  for (std::size_t i = 0; i < Lines.size(); ++i) {
    text->Textout(width - extents[i].cx, y, Lines[i]);
    y += extents[i].cy;
  }
  TextToAlpha(*text);

  TBitmap32& logo = Logo.BMP32();
  CopyOpaque(*text, logo, logo.Width() - width, logo.Height() - height);
  for (int py = 0; py < logo.Height(); ++py) {
    PColor32 p = logo.ScanLine(py);
    for (int px = 0; px < logo.Width(); ++px)
      if ((p[px] >> 24) == 0) p[px] = 0;
  }
  Logo.Changed();
}

void DropSoftShadow(TTrueImage& Logo) {
  TBitmap32& logo = Logo.BMP32();
  for (int y = 0; y < logo.Height(); ++y) {
    PColor32 p = logo.ScanLine(y);
    for (int x = 0; x < logo.Width(); ++x)
      if ((p[x] >> 24) < 0x80) p[x] = 0;
  }
  Logo.Changed();
}

QImage OpaqueLayer(const QImage& Picture, QColor Background) {
  Background.setAlpha(255);
  QImage opaque(Picture.size(), QImage::Format_ARGB32_Premultiplied);
  opaque.fill(Background);
  QPainter painter(&opaque);
  painter.drawImage(0, 0, Picture);
  return opaque;
}

QRegion VisibleRegion(const QImage& Image) {
  const QImage argb = Image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  // One rectangle per run of visible pixels in a row: runs of a row never
  // touch and every row is one band, as QRegion::setRects requires.
  std::vector<QRect> runs;
  for (int y = 0; y < argb.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < argb.width();) {
      if (qAlpha(row[x]) == 0) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < argb.width() && qAlpha(row[x]) != 0) ++x;
      runs.emplace_back(start, y, x - start, 1);
    }
  }
  QRegion region;
  region.setRects(runs.data(), int(runs.size()));
  return region;
}

TAboutForm::TAboutForm(QWidget* Parent) : QDialog(Parent) {
  setObjectName("AboutForm");
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_DeleteOnClose);
  setMouseTracking(true);

  imgLogo = new TVQR_Image(this);
  imgLogo->hide();
  Timer1 = new QTimer(this);
  Timer1->setInterval(kTimerInterval);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

  if (gInputWatchUsers++ == 0) {
    gInputWatch = new TInputWatch;
    qApp->installEventFilter(gInputWatch);
  }
  FormCreate();
}

TAboutForm::~TAboutForm() {
  if (AboutForm == this) AboutForm = nullptr;
  if (--gInputWatchUsers == 0) {
    qApp->removeEventFilter(gInputWatch);
    delete gInputWatch;
    gInputWatch = nullptr;
  }
}

void TAboutForm::FormCreate() {
  mDown = false;
  imgLogo->Picture().SetGraphic(LoadAboutLogo());
  FOpaque = !DesktopComposites();
  if (FOpaque) DropSoftShadow(*imgLogo->TrueImage());
  ComposeAboutPicture(*imgLogo->TrueImage(), AboutTextLines());
}

void TAboutForm::SetupWindowSize() {
  const TTrueImage* logo = imgLogo ? imgLogo->TrueImage() : nullptr;
  const QSize size = logo ? QSize(logo->Width(), logo->Height()) : FLayer.size();
  setFixedSize(size);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - QPoint(size.width() / 2, size.height() / 2));
}

void TAboutForm::SetupWindowLayer(bool Transparent) {
  if (testAttribute(Qt::WA_TransparentForMouseEvents) == Transparent) return;
  setAttribute(Qt::WA_TransparentForMouseEvents, Transparent);
  setWindowFlag(Qt::WindowTransparentForInput, Transparent);
}

void TAboutForm::PaintLayer() {
  if (!imgLogo) return;
  FLayer = imgLogo->TrueImage()->ExportBitmapPremul()->ToImage();
  if (FOpaque) {
    // The text lies on transparent pixels: over an opaque background it
    // reads, whatever is behind the window.
    FLayer = OpaqueLayer(FLayer, palette().color(QPalette::Window));
    clearMask();
  } else {
    setMask(VisibleRegion(FLayer));
  }
  delete imgLogo;
  imgLogo = nullptr;
  update();
}

void TAboutForm::Timer1Timer() {
  const int c = Counter++;
  if (c == kInputFromTick - 1) Tick = GetTickCount();
  if (Counter > kInputFromTick && LastInputTick() > Tick) {
    close();
    return;
  }
  if (Counter >= kLastTick) close();
}

void TAboutForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(0, 0, FLayer);
}

void TAboutForm::keyPressEvent(QKeyEvent*) { close(); }

void TAboutForm::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) {
    close();
    return;
  }
  mDown = true;
  OriginCorner = pos();
  Anchor = Event->globalPosition().toPoint();
}

void TAboutForm::mouseMoveEvent(QMouseEvent* Event) {
  if (mDown) move(OriginCorner + Event->globalPosition().toPoint() - Anchor);
}

void TAboutForm::mouseReleaseEvent(QMouseEvent*) { mDown = false; }

void TAboutForm::changeEvent(QEvent* Event) {
  QDialog::changeEvent(Event);
  if (Event->type() != QEvent::ActivationChange || isActiveWindow() || !isVisible()) return;
  // The splash stays in front until its time is up; the about box goes
  // when the user turns to another window.
  if (Timer1->isActive()) {
    raise();
    activateWindow();
  } else {
    close();
  }
}

void TAboutForm::closeEvent(QCloseEvent* Event) {
  // The window is freed once its events are done; from now on a new about
  // box or splash makes a new one.
  if (AboutForm == this) AboutForm = nullptr;
  Timer1->stop();
  QDialog::closeEvent(Event);
}

namespace {

TAboutForm* PreparedAboutForm() {
  auto* form = new TAboutForm(nullptr);
  form->SetupWindowSize();
  form->SetupWindowLayer(false);
  form->PaintLayer();
  AboutForm = form;
  return form;
}

}  // namespace

void ShowAboutBox() {
  TAboutForm* form = AboutForm ? AboutForm : PreparedAboutForm();
  form->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  form->show();
  form->raise();
}

void ShowSplash() {
  if (AboutForm) {
    // A window already shown is not made modal by showing it again.
    AboutForm->hide();
    AboutForm->exec();
    return;
  }
  TAboutForm* form = PreparedAboutForm();
  form->Counter = 0;
  form->Timer1->start();
  form->exec();
}

}  // namespace velkor
