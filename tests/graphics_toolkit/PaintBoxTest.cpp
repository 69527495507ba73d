// The paint box as a real widget on the offscreen screen: its buffer's
// sizes, what each repaint mode copies, flushing, keys, focus, the mouse
// entering and leaving, and a picture of a polygon scene.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "WidgetTestSupport.h"
#include "graphics/Fonts.h"
#include "graphics/Raster_Backends.h"
#include "graphics/Raster_Layers.h"
#include "graphics/Raster_Paths.h"
#include "graphics/Raster_Polygons.h"
#include "graphics/Raster_VectorUtils.h"
#include "graphics_toolkit/Raster_Image.h"

namespace velkor {
inline std::ostream& operator<<(std::ostream& os, const TRect& R) {
  return os << "(" << R.Left << ", " << R.Top << ", " << R.Right << ", " << R.Bottom << ")";
}
}  // namespace velkor

namespace velkor {
namespace {

using namespace Raster_Image;

// Records what each paint copies: the invalid list at the start of the
// paint (after the buffer was validated) and the buffer size changes.
class TRecordingPaintBox : public TCustomPaintBox32 {
 public:
  using TCustomPaintBox32::TCustomPaintBox32;

  int Paints = 0;
  std::vector<std::vector<TRect>> Copied;  // per paint; empty = whole viewport
  std::vector<std::pair<int, int>> SizeChanges;

 protected:
  void Paint() override {
    ++Paints;
    TCustomPaintBox32::Paint();
  }
  // The list as the copy saw it: validation runs inside Paint, and the
  // overlay follows the copy.
  void PaintOverlay() override {
    std::vector<TRect> rects;
    for (int i = 0; i < InvalidRects().Count(); ++i) rects.push_back(*InvalidRects().Get(i));
    Copied.push_back(rects);
    TCustomPaintBox32::PaintOverlay();
  }
  void BufferSizeChanged(int OldWidth, int OldHeight) override {
    SizeChanges.push_back({OldWidth, OldHeight});
    TCustomPaintBox32::BufferSizeChanged(OldWidth, OldHeight);
  }
};

// A top-level window holding one paint box at (0, 0).
struct TWindow {
  QWidget Window;
  TRecordingPaintBox* Box = new TRecordingPaintBox(&Window);

  TWindow() { Window.resize(300, 300); }
  void Show() { test::ShowAndActivate(Window); }
  void WaitForPaints(int Count) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return Box->Paints >= Count; }, 2000)) << "paints: " << Box->Paints;
  }
};

QRgb Screen(const QImage& Image, int X, int Y) { return Image.pixel(X, Y) & 0xFFFFFFu; }

// Opaque colours blended by the bitmap may be off by one or two.
::testing::AssertionResult Near(QRgb Actual, QRgb Expected) {
  if (std::abs(qRed(Actual) - qRed(Expected)) <= 2 && std::abs(qGreen(Actual) - qGreen(Expected)) <= 2 &&
      std::abs(qBlue(Actual) - qBlue(Expected)) <= 2)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << std::hex << (Actual & 0xFFFFFF) << " is not near " << Expected;
}

TEST(PaintBox, StartsAt192WithTheBufferGrownOnTheFirstResize) {
  TWindow w;
  EXPECT_EQ(w.Box->width(), 192);
  EXPECT_EQ(w.Box->Buffer()->Width(), 0) << "no buffer before the first resize";
  EXPECT_EQ(w.Box->RepaintMode(), rmFull);
  EXPECT_EQ(w.Box->BufferOversize(), 40);
  w.Show();
  EXPECT_EQ(w.Box->Buffer()->Width(), 232);
  EXPECT_EQ(w.Box->Buffer()->Height(), 232);
}

TEST(PaintBox, BufferFollowsTheViewportWithHysteresis) {
  TWindow w;
  w.Show();
  struct Step {
    int Width, Height;
    int BufferWidth, BufferHeight;
    const char* Why;
  } steps[] = {
      {100, 100, 100, 100, "far below buffer - oversize: shrinks to the viewport"},
      {120, 100, 160, 100, "wider than the buffer: viewport + oversize"},
      {130, 100, 160, 100, "within the oversize: kept"},
      {120, 100, 160, 100, "exactly buffer - oversize: kept"},
      {119, 100, 119, 100, "one below: shrinks"},
      {119, 101, 119, 141, "the height the same way"},
      {0, 0, 1, 1, "an empty viewport keeps a 1 x 1 buffer"},
  };
  for (const Step& s : steps) {
    const std::size_t before = w.Box->SizeChanges.size();
    const bool changes = w.Box->Buffer()->Width() != s.BufferWidth || w.Box->Buffer()->Height() != s.BufferHeight;
    w.Box->resize(s.Width, s.Height);
    SCOPED_TRACE(s.Why);
    EXPECT_EQ(w.Box->Buffer()->Width(), s.BufferWidth);
    EXPECT_EQ(w.Box->Buffer()->Height(), s.BufferHeight);
    EXPECT_EQ(w.Box->SizeChanges.size(), before + (changes ? 1 : 0)) << "BufferSizeChanged only on a change";
  }

  // Rapid resizes end where the last one says.
  for (int i = 0; i < 200; ++i) w.Box->resize(1 + (i * 37) % 400, 1 + (i * 53) % 300);
  w.Box->resize(250, 50);
  EXPECT_GE(w.Box->Buffer()->Width(), 250);
  EXPECT_LE(w.Box->Buffer()->Width(), 290);
}

TEST(PaintBox, OversizeIsNeverNegativeAndResizesAtOnce) {
  TWindow w;
  w.Show();
  w.Box->SetBufferOversize(-5);
  EXPECT_EQ(w.Box->BufferOversize(), 0);
  EXPECT_EQ(w.Box->Buffer()->Width(), 192) << "oversize 0: the buffer is the viewport";
  w.Box->SetBufferOversize(10);
  EXPECT_EQ(w.Box->Buffer()->Width(), 192) << "within the new oversize: kept";
}

TEST(PaintBox, FirstPaintAndForcedPaintsCopyTheWholeViewport) {
  TWindow w;
  w.Show();
  w.WaitForPaints(1);
  ASSERT_FALSE(w.Box->Copied.empty());
  EXPECT_TRUE(w.Box->Copied.front().empty()) << "first paint: the whole viewport";

  w.Box->Buffer()->Clear(0xFF00C000u);
  const int paints = w.Box->Paints;
  w.Box->ForceFullInvalidate();
  w.WaitForPaints(paints + 1);
  EXPECT_TRUE(w.Box->Copied.back().empty());
  const QImage screen = test::ScreenImage(*w.Box);
  EXPECT_EQ(Screen(screen, 0, 0), 0x00C000u);
  EXPECT_EQ(Screen(screen, 191, 191), 0x00C000u);
}

TEST(PaintBox, DirectModeCopiesEachReportedAreaAtOnce) {
  TWindow w;
  w.Show();
  w.Box->Buffer()->Clear(0xFFFFFFFFu);
  w.Box->ForceFullInvalidate();
  w.WaitForPaints(2);
  w.Box->SetRepaintMode(rmDirect);
  QApplication::processEvents();
  w.Box->Copied.clear();
  const int paints = w.Box->Paints;

  // A pixel changed without a report is not copied...
  w.Box->Buffer()->SetPixel(50, 50, 0xFF0000FFu);
  // ...a reported fill is, at once, once per report (FillRectS reports its
  // area twice).
  w.Box->Buffer()->FillRectS(10, 10, 20, 20, 0xFFFF0000u);
  EXPECT_EQ(w.Box->Paints, paints + 2) << "repainted synchronously";
  const std::vector<TRect> one = {TRect{10, 10, 20, 20}};
  EXPECT_EQ(w.Box->Copied, (std::vector<std::vector<TRect>>{one, one}));
  EXPECT_EQ(w.Box->InvalidRects().Count(), 0) << "emptied by the paint";

  QImage screen = test::ScreenImage(*w.Box);
  EXPECT_EQ(Screen(screen, 15, 15), 0xFF0000u);
  EXPECT_EQ(Screen(screen, 50, 50), 0xFFFFFFu) << "unreported pixel copied";

  // Areas are appended exactly as reported, even beyond the buffer.
  w.Box->Copied.clear();
  w.Box->Buffer()->Changed(TRect{-5, 3, 1000, 4});
  ASSERT_EQ(w.Box->Copied.size(), 1u);
  EXPECT_EQ(w.Box->Copied[0], (std::vector<TRect>{TRect{-5, 3, 1000, 4}}));

  // Back to rmFull: reports no longer reach the paint box.
  w.Box->SetRepaintMode(rmFull);
  QApplication::processEvents();
  const int before = w.Box->Paints;
  w.Box->Buffer()->FillRectS(0, 0, 5, 5, 0xFF00FF00u);
  EXPECT_EQ(w.Box->Paints, before);
  EXPECT_FALSE(w.Box->Buffer()->OnAreaChanged);
}

TEST(PaintBox, FlushCopiesOnlyTheFlushedRectangle) {
  TWindow w;
  w.Show();
  w.Box->Buffer()->Clear(0xFFFFFFFFu);
  w.Box->ForceFullInvalidate();
  w.WaitForPaints(2);
  const int paints = w.Box->Paints;
  w.Box->Buffer()->FillRect(0, 0, 100, 100, 0xFF000080u);  // no report reaches the box (rmFull)
  w.Box->Flush(TRect{10, 10, 30, 20});
  const QImage screen = test::ScreenImage(*w.Box);
  EXPECT_EQ(Screen(screen, 10, 10), 0x000080u);
  EXPECT_EQ(Screen(screen, 29, 19), 0x000080u);
  EXPECT_EQ(Screen(screen, 30, 10), 0xFFFFFFu);
  EXPECT_EQ(Screen(screen, 5, 5), 0xFFFFFFu);
  EXPECT_EQ(w.Box->Paints, paints) << "a flush is no paint of the box";
}

TEST(PaintBox, OptimizerModeAndBackToFull) {
  TWindow w;
  w.Show();
  auto* optimizer = w.Box->RepaintOptimizer();
  ASSERT_NE(optimizer, nullptr);
  EXPECT_FALSE(optimizer->Enabled());
  w.Box->SetRepaintMode(rmOptimizer);
  EXPECT_TRUE(optimizer->Enabled());
  EXPECT_TRUE(w.Box->Buffer()->OnAreaChanged);
  w.Box->SetRepaintMode(rmFull);
  EXPECT_FALSE(optimizer->Enabled());
  EXPECT_FALSE(w.Box->Buffer()->OnAreaChanged);
}

// A filled rectangle as a layer.
class TRectLayer : public Raster_Layers::TCustomLayer {
 public:
  TRect Location;
  TColor32 Color = 0;

  void Paint(TBitmap32* Buffer) override { Buffer->FillRectS(Location, Color); }
  void MoveTo(const TRect& R) {
    Changing();
    Location = R;
    Changed();
  }
};

// A descendant composing its buffer from layers over a white background,
// redrawing only what the optimiser found invalid.
class TLayerPaintBox : public TRecordingPaintBox {
 public:
  Raster_Layers::TLayerCollection Layers;
  int RedrawnRects = 0;

  explicit TLayerPaintBox(QWidget* Parent) : TRecordingPaintBox(Parent) {
    RepaintOptimizer()->RegisterLayerCollection(&Layers);
    Layers.OnChange = [this](TObject*) { Invalidate(); };
  }
  ~TLayerPaintBox() override { RepaintOptimizer()->UnregisterLayerCollection(&Layers); }

 protected:
  void ValidateBuffer() override {
    TRecordingPaintBox::ValidateBuffer();
    TBitmap32& buffer = *Buffer();
    RepaintOptimizer()->BeginPaintBuffer();
    buffer.BeginUpdate();
    if (InvalidRects().Count() == 0) {
      Redraw(buffer.BoundsRect());
    } else {
      for (int i = 0; i < InvalidRects().Count(); ++i) Redraw(*InvalidRects().Get(i));
    }
    buffer.EndUpdate();
    RepaintOptimizer()->EndPaintBuffer();
  }

 private:
  void Redraw(const TRect& Area) {
    ++RedrawnRects;
    TBitmap32& buffer = *Buffer();
    buffer.SetClipRect(Area);
    buffer.FillRectS(buffer.ClipRect(), 0xFFFFFFFFu);
    for (int i = 0; i < Layers.Count(); ++i) Layers.Items(i)->DrawLayer(&buffer);
    buffer.ResetClipRect();
  }
};

bool Contains(const TRect& Outer, const TRect& Inner) {
  return Outer.Left <= Inner.Left && Outer.Top <= Inner.Top && Inner.Right <= Outer.Right &&
         Inner.Bottom <= Outer.Bottom;
}
bool Overlap(const TRect& A, const TRect& B) {
  return A.Left < B.Right && B.Left < A.Right && A.Top < B.Bottom && B.Top < A.Bottom;
}

TEST(PaintBox, MovingALayerCopiesOnlyItsOldAndNewAreas) {
  QWidget window;
  window.resize(300, 300);
  auto* box = new TLayerPaintBox(&window);
  box->resize(256, 256);
  auto* moving = Raster_Layers::NewLayer<TRectLayer>(&box->Layers);
  moving->Location = {10, 10, 40, 40};
  moving->Color = 0xFFFF0000u;
  auto* still = Raster_Layers::NewLayer<TRectLayer>(&box->Layers);
  still->Location = {100, 150, 130, 180};
  still->Color = 0xFF0000FFu;
  box->SetRepaintMode(rmOptimizer);
  test::ShowAndActivate(window);
  ASSERT_TRUE(QTest::qWaitFor([&] { return box->Paints >= 1; }, 2000));
  QApplication::processEvents();
  EXPECT_TRUE(box->Copied.front().empty()) << "the first paint copies everything";
  // The reset that forced it also left the optimiser's forced tiles full;
  // one more paint settles them (it copies everything once more).
  const int shown = box->Paints;
  box->Invalidate();
  ASSERT_TRUE(QTest::qWaitFor([&] { return box->Paints > shown; }, 2000));

  // A buffer pixel changed behind the optimiser's back shows only if its
  // area is copied.
  box->Buffer()->SetPixel(110, 160, 0xFF00FF00u);
  box->Copied.clear();
  const int paints = box->Paints;
  moving->MoveTo({200, 10, 230, 40});
  ASSERT_TRUE(QTest::qWaitFor([&] { return box->Paints > paints; }, 2000));

  ASSERT_EQ(box->Copied.size(), 1u);
  const std::vector<TRect>& copied = box->Copied[0];
  const TRect oldArea{10, 10, 40, 40}, newArea{200, 10, 230, 40};
  ASSERT_EQ(copied.size(), 2u) << "one rectangle for each area";
  for (const TRect& r : copied) {
    EXPECT_TRUE(Overlap(r, oldArea) || Overlap(r, newArea)) << r;
    EXPECT_FALSE(Overlap(r, still->Location)) << r;
  }
  EXPECT_TRUE(Contains(copied[0], oldArea) || Contains(copied[1], oldArea));
  EXPECT_TRUE(Contains(copied[0], newArea) || Contains(copied[1], newArea));

  const QImage screen = test::ScreenImage(*box);
  EXPECT_EQ(Screen(screen, 20, 20), 0xFFFFFFu) << "old area cleared";
  EXPECT_TRUE(Near(screen.pixel(210, 20), 0xFF0000u)) << "new area drawn";
  EXPECT_TRUE(Near(screen.pixel(110, 160), 0x0000FFu)) << "the still layer's area was copied";
}

// Counts the keys that reach it.
class TKeyParent : public QWidget {
 public:
  std::vector<int> Keys;

 protected:
  void keyPressEvent(QKeyEvent* Event) override { Keys.push_back(Event->key()); }
};

TEST(PaintBox, ArrowKeysOnlyWithWantArrowKeys) {
  TKeyParent parent;
  parent.resize(300, 300);
  auto* box = new TCustomPaintBox32(&parent);
  std::vector<int> boxKeys;
  box->OnKeyDown = [&](TCustomPaintBox32*, int Key) { boxKeys.push_back(Key); };
  test::ShowAndActivate(parent);
  box->setFocus();
  ASSERT_TRUE(box->hasFocus());

  QTest::keyClick(box, Qt::Key_Left);
  QTest::keyClick(box, Qt::Key_A);
  EXPECT_EQ(parent.Keys, std::vector<int>{Qt::Key_Left}) << "an arrow goes on to the parent";
  EXPECT_EQ(boxKeys, std::vector<int>{Qt::Key_A});

  box->SetOptions(pboWantArrowKeys);
  parent.Keys.clear();
  boxKeys.clear();
  for (int key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down}) QTest::keyClick(box, Qt::Key(key));
  EXPECT_TRUE(parent.Keys.empty());
  EXPECT_EQ(boxKeys, (std::vector<int>{Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down}));
}

TEST(PaintBox, AutoFocusTakesTheFocusOnAPress) {
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* edit = new QLineEdit(&window);
  auto* box = new TCustomPaintBox32(&window);
  layout->addWidget(edit);
  layout->addWidget(box);
  test::ShowAndActivate(window);
  edit->setFocus();
  ASSERT_TRUE(edit->hasFocus());

  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(edit->hasFocus()) << "without pboAutoFocus a click leaves the focus";

  box->SetOptions(pboAutoFocus);
  box->setFocusPolicy(Qt::NoFocus);
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(edit->hasFocus()) << "the focus policy forbids it";

  box->setFocusPolicy(Qt::TabFocus);
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(box->hasFocus());
}

TEST(PaintBox, MouseEnterAndLeave) {
  TWindow w;
  w.Show();
  std::vector<std::string> events;
  w.Box->OnMouseEnter = [&](TCustomPaintBox32* Sender) {
    events.push_back(std::string("enter ") + (Sender->MouseInControl() ? "in" : "out"));
  };
  w.Box->OnMouseLeave = [&](TCustomPaintBox32* Sender) {
    events.push_back(std::string("leave ") + (Sender->MouseInControl() ? "in" : "out"));
  };
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(w.Box, &enter);
  EXPECT_TRUE(w.Box->MouseInControl());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(w.Box, &leave);
  EXPECT_FALSE(w.Box->MouseInControl());
  EXPECT_EQ(events, (std::vector<std::string>{"enter in", "leave out"}));
}

TEST(PaintBox, AssignToCopiesBufferAndSettings) {
  TWindow a, b;
  a.Show();
  a.Box->SetOptions(pboAutoFocus);
  a.Box->SetBufferOversize(7);
  a.Box->Buffer()->Clear(0xFF123456u);
  a.Box->SetRepaintMode(rmDirect);
  a.Box->AssignTo(b.Box);
  EXPECT_EQ(b.Box->Buffer()->Width(), a.Box->Buffer()->Width());
  EXPECT_EQ(b.Box->Buffer()->GetPixel(3, 3), 0xFF123456u);
  EXPECT_EQ(b.Box->Options(), pboAutoFocus);
  EXPECT_EQ(b.Box->BufferOversize(), 7);
  EXPECT_EQ(b.Box->RepaintMode(), rmDirect);
}

TEST(PaintBox, PaintBeforeShowAndOfAnEmptyBufferDrawNothingOutside) {
  // A box whose buffer was never sized: grabbing it paints from a 0 x 0
  // buffer.
  TCustomPaintBox32 box;
  EXPECT_EQ(box.Buffer()->Width(), 0);
  const QPixmap shot = box.grab();
  EXPECT_EQ(shot.width(), 192);
  box.Flush();  // no device context yet: nothing
  box.Repaint();
}

// --- a scene for a person to look at -------------------------------------------------------

TArrayOfFloatPoint Star(float Cx, float Cy, float R) {
  TArrayOfFloatPoint p;
  for (int i = 0; i < 5; ++i) {
    const double a = -std::numbers::pi / 2 + i * 4 * std::numbers::pi / 5;
    p.push_back({float(Cx + R * std::cos(a)), float(Cy + R * std::sin(a))});
  }
  return p;
}

TArrayOfArrayOfFloatPoint TextOutlines(TBitmap32& Buffer, float X, float Y, const char* Text) {
  auto* outlines = BackendInterface<ITextToPathSupport>(Buffer.Backend());
  Raster_Paths::TFlattenedPath path;
  if (outlines) outlines->TextToPath(&path, X, Y, Text);
  return path.Path();
}

TEST(PaintBox, ShotOfAPolygonScene) {
  using namespace Raster_Polygons;
  QWidget window;
  window.resize(420, 300);
  auto* box = new TCustomPaintBox32(&window);
  box->resize(420, 300);
  test::ShowAndActivate(window);
  TBitmap32& buffer = *box->Buffer();
  buffer.Clear(0xFFFFFFFFu);

  auto vpr = New<TPolygonRenderer32VPR>(&buffer, frNonZero);
  vpr->SetColor(0xFF2060C0u);
  vpr->PolygonFS(Star(80, 80, 70));
  vpr->SetFillMode(frEvenOdd);
  vpr->SetColor(0xFFC03020u);
  vpr->PolygonFS(Star(240, 80, 70));
  vpr->SetColor(0x8000A000u);
  vpr->PolygonFS(Raster_VectorUtils::BuildCircle({350, 80}, 0, 55));

  buffer.Font()->SetName("DejaVu Sans");
  buffer.Font()->SetSize(16);
  auto lcd = New<TPolygonRenderer32LCD>(&buffer);
  lcd->SetColor(0xFF000000u);
  lcd->PolyPolygonFS(TextOutlines(buffer, 10, 170, "LCD: sub-pixel text outlines"));
  auto lcd2 = New<TPolygonRenderer32LCD2>(&buffer);
  lcd2->SetColor(0xFF000000u);
  lcd2->PolyPolygonFS(TextOutlines(buffer, 10, 210, "LCD2: softer colour fringes"));
  vpr->SetFillMode(frNonZero);
  vpr->SetColor(0xFF000000u);
  vpr->PolyPolygonFS(TextOutlines(buffer, 10, 250, "VPR: grey-scale outlines"));

  box->ForceFullInvalidate();
  const QImage shot = box->grab().toImage();
  // The even-odd star's centre is empty, the non-zero one's is filled.
  EXPECT_TRUE(Near(shot.pixel(80, 85), 0x2060C0u));
  EXPECT_TRUE(Near(shot.pixel(240, 85), 0xFFFFFFu));
  test::SaveShot(shot, "paint-box-polygons");
  // The start of the three text lines four times enlarged: colour fringes
  // (LCD, softer with LCD2) against grey edges (VPR).
  test::SaveShot(shot.copy(0, 165, 120, 110).scaled(480, 440, Qt::IgnoreAspectRatio, Qt::FastTransformation),
                 "paint-box-text-4x");
}

}  // namespace
}  // namespace velkor
