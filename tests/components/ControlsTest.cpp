// The cached custom control, the panel, the group box and the fast gauge in
// real windows; pixels read through ExportCache with explicit colours (no
// custom style is active in this program).
#include "components/Controls.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

#include "ComponentsTestSupport.h"
#include "components/FaceRoutines.h"
#include "components/FastGauges.h"
#include "components/Panels.h"
#include "toolkit/VisualStyles.h"

namespace velkor {
namespace {

// Counts renders and paint events of any cached control.
template <class TBase>
class TCounting : public TBase {
 public:
  using TBase::TBase;
  void RenderCache(TTrueImage& Image) override {
    ++Renders;
    TBase::RenderCache(Image);
  }
  int Renders = 0;
  int Paints = 0;

 protected:
  void paintEvent(QPaintEvent* Event) override {
    ++Paints;
    TBase::paintEvent(Event);
  }
};

TColor32 Pixel(const TTrueImage& Image, int X, int Y) { return *Image.PixelPtr(X, Y); }

// A form holding one control, shown and exposed.
class ShownForm {
 public:
  explicit ShownForm(int W = 300, int H = 200) { FForm.resize(W, H); }
  bool Show() {
    FForm.show();
    return QTest::qWaitForWindowExposed(&FForm);
  }
  QWidget* Form() { return &FForm; }

 private:
  QWidget FForm;
};

// Renders what lies under the control as the user sees it.
void Shot(QWidget* W, const std::string& Name) { test::SaveShot(W->grab().toImage(), Name); }

TEST(CustomControl, ACacheOfNoSizePaintsWithoutError) {
  TCounting<TVQR_CustomControl> c;
  EXPECT_EQ(c.width(), 0);
  EXPECT_EQ(c.height(), 0);
  EXPECT_EQ(c.cursor().shape(), Qt::ArrowCursor);
  (void)c.grab();
  EXPECT_EQ(c.ExportCache()->Width(), 0);
  EXPECT_EQ(c.ExportCache()->Height(), 0);
}

TEST(CustomControl, EachChangeRendersOnceAtTheNextPaint) {
  ShownForm f;
  auto* c = new TCounting<TVQR_CustomControl>(f.Form());
  c->setGeometry(10, 10, 50, 30);
  ASSERT_TRUE(f.Show());
  QTest::qWait(10);
  ASSERT_GE(c->Renders, 1);
  EXPECT_EQ(c->ExportCache()->Width(), 50);

  auto rendersAfter = [&](const std::function<void()>& Change) {
    const int before = c->Renders;
    Change();
    c->repaint();
    c->repaint();
    QCoreApplication::processEvents();
    c->repaint();
    return c->Renders - before;
  };
  EXPECT_EQ(rendersAfter([] {}), 0) << "a paint after no change";
  EXPECT_EQ(rendersAfter([&] { c->move(20, 20); }), 0) << "a move";
  EXPECT_EQ(rendersAfter([&] { c->resize(60, 30); }), 1) << "a resize";
  EXPECT_EQ(c->ExportCache()->Width(), 60);
  EXPECT_EQ(rendersAfter([&] { c->setFont(QFont("DejaVu Sans", 15)); }), 1) << "font";
  EXPECT_EQ(rendersAfter([&] { c->SetColor(0x123456); }), 1) << "colour";
  EXPECT_EQ(rendersAfter([&] { c->SetColor(0x123456); }), 0) << "the same colour";
  EXPECT_EQ(rendersAfter([&] { c->setEnabled(false); }), 1) << "enabled";
  EXPECT_EQ(rendersAfter([&] { c->SetCaption("Judge"); }), 1) << "caption";
  EXPECT_EQ(rendersAfter([&] { NotifyStyleChanged(); }), 1) << "style";
  EXPECT_EQ(rendersAfter([&] {
              QPalette p = c->palette();
              p.setColor(QPalette::Window, Qt::red);
              c->setPalette(p);
            }),
            1)
      << "palette";
  EXPECT_EQ(rendersAfter([&] { c->SetOpacity(100); }), 0) << "opacity repaints only";
  EXPECT_EQ(c->Opacity(), 100);
}

TEST(CustomControl, ExportCacheIsACopy) {
  TVQR_Panel p;
  p.resize(10, 10);
  (void)p.grab();
  auto copy = p.ExportCache();
  copy->Clear(TTrueColor(0xFF00FF00u));
  EXPECT_NE(Pixel(*p.ExportCache(), 5, 5), 0xFF00FF00u);
}

TEST(CustomControl, ThePaintCopiesTheCacheIgnoringAlpha) {
  ShownForm f(40, 40);
  f.Form()->setStyleSheet("background: white");
  auto* p = new TVQR_Panel(f.Form());
  p->setGeometry(0, 0, 20, 20);
  p->SetColor(0x646464);
  p->SetFrameColor(0);
  ASSERT_TRUE(f.Show());
  const QImage seen = f.Form()->grab().toImage();
  // The frame ring is stored with alpha 128; on screen it is plain black.
  EXPECT_EQ(seen.pixel(0, 0) & 0xFFFFFF, 0u);
}

// --- colour helpers and the ring -------------------------------------------

TEST(FaceRoutines, ColourArithmetic) {
  EXPECT_EQ(ShiftColor(0x80F0100Au, 20), 0x80FF241Eu) << "clamped, alpha kept";
  EXPECT_EQ(ShiftColor(0xFF0A0A0Au, -20), 0xFF000000u);
  EXPECT_EQ(MixColor(0xFF940000u, 0x00340000u, 128, 255), 0x7F630000u) << "integer division, alpha too";
  EXPECT_EQ(MixColor(0xFFADADADu, 0xFFC6C6C6u, 0, 0), 0xFFB9B9B9u) << "d = 0 is the midpoint";
  EXPECT_EQ(WeightColor(0xFF000000u, 0xFFC0C0C0u, 0.4f), 0xFF4D4D4Du);
  // 0.5 * 1 + 0.5 * 0 = 0.5 rounds to 0; 0.5 * 3 = 1.5 rounds to 2.
  EXPECT_EQ(WeightColor(0x00000001u, 0x00000000u, 0.5f), 0x00000000u);
  EXPECT_EQ(WeightColor(0x00000003u, 0x00000000u, 0.5f), 0x00000002u);
  EXPECT_EQ(ResolveColor(0x0000FF), 0xFFFF0000u) << "red and blue swap";
}

TEST(FaceRoutines, DrawRingOnFourByFour) {
  auto image = TTrueImage::CreateSize(4, 4);
  TBitmap32& b = image->BMP32();
  b.Clear(0);
  const TColor32 c1 = 0xFFFF0000u, c2 = 0xFF0000FFu;
  const TColor32 g = WeightColor(c1, c2, 0.5f - float(std::sqrt(2.0) / 4));
  const TColor32 h = WeightColor(c1, c2, 0.5f + float(std::sqrt(2.0) / 4));
  const TColor32 m = WeightColor(c1, c2, 0.5f);
  auto M = [](TColor32 X, TColor32 Y) { return MixColor(X, Y, 128, 255); };
  TRect r{0, 0, 4, 4};
  DrawRing(b, r, c1, c2);
  EXPECT_EQ(r, (TRect{1, 1, 3, 3}));
  // On 4 x 4 every edge pixel is a corner pixel; the later ones win.
  EXPECT_EQ(b.GetPixel(0, 0), c1);
  EXPECT_EQ(b.GetPixel(1, 0), M(c1, g));
  EXPECT_EQ(b.GetPixel(2, 0), M(g, m));
  EXPECT_EQ(b.GetPixel(3, 0), m);
  EXPECT_EQ(b.GetPixel(0, 1), M(c1, g));
  EXPECT_EQ(b.GetPixel(3, 1), M(h, m));
  EXPECT_EQ(b.GetPixel(0, 2), M(g, m));
  EXPECT_EQ(b.GetPixel(3, 2), M(c2, h));
  EXPECT_EQ(b.GetPixel(0, 3), m);
  EXPECT_EQ(b.GetPixel(1, 3), M(h, m));
  EXPECT_EQ(b.GetPixel(2, 3), M(c2, h));
  EXPECT_EQ(b.GetPixel(3, 3), c2);
  EXPECT_EQ(b.GetPixel(1, 1), 0u) << "the inside is untouched";
  EXPECT_EQ(b.GetPixel(2, 2), 0u);
}


// --- panel and group box ----------------------------------------------------

// A panel of explicit colours with the given widths, rendered.
std::unique_ptr<TTrueImage> PanelFace(int W, int H, TBevelType Type, int Frame, int Outside, int Border, int Inside) {
  TVQR_Panel p;
  p.resize(W, H);
  p.SetColor(0x646464);
  p.SetFrameColor(0);
  p.SetBevelType(Type);
  p.SetFrameWidth(Frame);
  p.SetOutsideBevelWidth(Outside);
  p.SetBorderWidth(Border);
  p.SetInsideBevelWidth(Inside);
  (void)p.grab();
  return p.ExportCache();
}

TEST(Panel, Defaults) {
  TVQR_Panel p;
  EXPECT_EQ(p.width(), 80);
  EXPECT_EQ(p.height(), 80);
  EXPECT_EQ(p.BorderWidth(), 1);
  EXPECT_EQ(p.BevelType(), btRaised);
  EXPECT_EQ(p.FrameColor(), clWindowFrame);
  EXPECT_EQ(p.OutsideBevelWidth(), 4);
  EXPECT_EQ(p.InsideBevelWidth(), 1);
  EXPECT_EQ(p.FrameWidth(), 1);
  EXPECT_EQ(p.Color(), clBtnFace);
  EXPECT_EQ(p.GetInsideRect(), (TRect{7, 7, 73, 73}));
  p.SetBorderWidth(-5);
  EXPECT_EQ(p.BorderWidth(), 0) << "widths are never negative";
}

TEST(Panel, FrameAndFace) {
  // mid = (148 * 127 + 52 * 128) div 255 = 99.
  struct {
    int Frame;
    int X, Y;
    TColor32 Want;
  } cases[] = {
      {1, 0, 0, 0x80000000u}, {1, 9, 9, 0x80000000u}, {1, 5, 0, 0x80000000u}, {1, 1, 1, 0xFF636363u},
      {1, 8, 8, 0xFF636363u}, {0, 0, 0, 0xFF636363u}, {0, 9, 4, 0xFF636363u}, {2, 0, 5, 0x40000000u},
      {2, 1, 5, 0x80000000u}, {2, 2, 5, 0xFF636363u},
  };
  for (const auto& c : cases) {
    auto face = PanelFace(10, 10, btRaised, c.Frame, 0, 0, 0);
    EXPECT_EQ(Pixel(*face, c.X, c.Y), c.Want) << "frame " << c.Frame << " at " << c.X << "," << c.Y;
  }
}

TEST(Panel, BevelsRunFromLightAndDarkTowardsMid) {
  // first = 148, second = 52, mid = 99; one outside ring (k = 0) is pure
  // first/second, the inside ring (j = n) pure second/first.
  auto raised = PanelFace(20, 20, btRaised, 0, 1, 0, 1);
  EXPECT_EQ(Pixel(*raised, 0, 10), 0xFF868686u) << "g between light and dark, left";
  EXPECT_GT(Pixel(*raised, 10, 0) & 0xFF, Pixel(*raised, 10, 19) & 0xFF) << "light on top";
  EXPECT_LT(Pixel(*raised, 10, 1) & 0xFF, Pixel(*raised, 10, 18) & 0xFF) << "dark top inside";
  auto sunken = PanelFace(20, 20, btSunken, 0, 1, 0, 1);
  EXPECT_LT(Pixel(*sunken, 10, 0) & 0xFF, Pixel(*sunken, 10, 19) & 0xFF) << "sunken swaps";
  // The mix of dark into light at 128/255 is not symmetric: 100, not 99.
  EXPECT_EQ(Pixel(*sunken, 10, 10), 0xFF646464u);
}

TEST(GroupBox, DefaultsAndInsideRect) {
  TVQR_GroupBox g;
  EXPECT_EQ(g.HeaderHeight(), 20);
  EXPECT_EQ(g.Alignment(), taCenter);
  EXPECT_EQ(g.OutsideBevelWidth(), 2);
  EXPECT_EQ(g.CaptionTextColor(), clCaptionText);
  EXPECT_EQ(g.CaptionColor(), clActiveCaption);
  g.resize(200, 100);
  EXPECT_EQ(g.GetInsideRect(), (TRect{4, 25, 196, 96}));
}

TEST(GroupBox, HeaderGradientRows) {
  TVQR_GroupBox g;
  g.resize(60, 60);
  g.SetColor(0x646464);
  g.SetCaptionColor(0x808080);
  (void)g.grab();
  auto face = g.ExportCache();
  EXPECT_EQ(Pixel(*face, 6, 5), 0xFF747474u) << "12 darker at the top";
  EXPECT_EQ(Pixel(*face, 6, 22), 0xFF8C8C8Cu) << "12 lighter at the bottom";
  EXPECT_EQ(Pixel(*face, 6, 40), 0xFF636363u) << "the body is mid";

  g.SetCaptionColor(0x000000);
  (void)g.grab();
  EXPECT_EQ(Pixel(*g.ExportCache(), 6, 5), 0xFF747474u) << "the caption colour only shows at the next render";
  g.SetFrameColor(0x0000FF);
  EXPECT_EQ(Pixel(*g.ExportCache(), 6, 5), 0xFF000000u) << "a frame colour renders at once";

  g.SetCaptionColor(0x808080);
  g.SetHeaderHeight(3);  // one row inside the bevel
  EXPECT_EQ(Pixel(*g.ExportCache(), 6, 5), 0xFF747474u) << "one row gets only the -12 row";
  EXPECT_EQ(Pixel(*g.ExportCache(), 6, 7), 0xFF636363u);
  g.SetHeaderHeight(0);
  g.SetCaption("Caption");
  (void)g.grab();
  for (int y = 6; y < 30; ++y)
    for (int x = 6; x < 54; ++x) ASSERT_EQ(Pixel(*g.ExportCache(), x, y), 0xFF636363u) << "no header at " << x << "," << y;
}

TEST(GroupBox, CaptionIsDrawnInTheHeaderAndCut) {
  TVQR_GroupBox g;
  g.resize(120, 60);
  g.SetColor(0x646464);
  g.SetCaptionColor(0x808080);
  g.SetCaptionTextColor(0xFFFFFF);
  g.SetCaption("Đang nén bài");
  (void)g.grab();
  auto face = g.ExportCache();
  int inked = 0;
  for (int y = 5; y < 23; ++y)
    for (int x = 5; x < 115; ++x) {
      const TColor32 p = Pixel(*face, x, y);
      EXPECT_EQ(p >> 24, 0xFFu) << "header alpha";
      if ((p & 0xFF) > 0x90) ++inked;
    }
  EXPECT_GT(inked, 20) << "white text in the header";

  g.setFixedWidth(40);  // the caption is wider than the header
  g.SetAlignment(taLeftJustify);
  (void)g.grab();
  face = g.ExportCache();
  for (int y = 0; y < 40; ++y) EXPECT_EQ(Pixel(*face, 0, y) & 0xFF000000u, 0x80000000u) << "frame kept at " << y;
}

TEST(GroupBox, AFillingChildSitsInside) {
  ShownForm f;
  auto* g = new TVQR_GroupBox(f.Form());
  g->setGeometry(10, 10, 200, 120);
  auto* layout = new QVBoxLayout(g);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* child = new QWidget;
  layout->addWidget(child);
  ASSERT_TRUE(f.Show());
  QTest::qWait(10);
  EXPECT_EQ(child->geometry(), QRect(4, 25, 192, 91));
  g->SetHeaderHeight(30);
  QTest::qWait(10);
  EXPECT_EQ(child->geometry(), QRect(4, 35, 192, 81)) << "a width setter re-aligns";
}

TEST(Panel, ShotsOfPanelsAndGroupBoxes) {
  ShownForm f(420, 200);
  f.Form()->setStyleSheet("background: #d4d0c8");
  auto* raised = new TVQR_Panel(f.Form());
  raised->setGeometry(10, 10, 120, 80);
  auto* sunken = new TVQR_Panel(f.Form());
  sunken->setGeometry(140, 10, 120, 80);
  sunken->SetBevelType(btSunken);
  auto* group = new TVQR_GroupBox(f.Form());
  group->setGeometry(10, 100, 250, 90);
  group->SetCaption("Progress");
  auto* left = new TVQR_GroupBox(f.Form());
  left->setGeometry(270, 10, 140, 180);
  left->SetCaption("Thí sinh");
  left->SetAlignment(taLeftJustify);
  ASSERT_TRUE(f.Show());
  Shot(f.Form(), "panels_and_group_boxes");
}

// --- fast gauge -------------------------------------------------------------

TEST(FastGauge, BarSizes) {
  struct {
    int Min, Max, Pos, Width, Want;
  } cases[] = {
      {0, 100, 50, 124, 60},
      {0, 100, 1, 368, 4},
      {0, 100, 100, 124, 120},
      {0, 100, 150, 124, 120},  // kept in the range
      {0, 100, 50, 3, 0},       // too narrow
      {0, 100, 50, 4, 0},
      {5, 5, 5, 124, 0},  // empty range
      {-2147483647 - 1, 2147483647, 0, 1004, 500},  // a range beyond 32 bits
      {-2147483647 - 1, 2147483647, 2147483647, 1004, 1000},
  };
  for (const auto& c : cases)
    EXPECT_EQ(GetBarSize(c.Min, c.Max, c.Pos, c.Width), c.Want) << c.Min << ".." << c.Max << " @" << c.Pos << " w" << c.Width;
}

TEST(FastGauge, DefaultsAndSetters) {
  TVQR_FastGauge g;
  EXPECT_EQ(g.width(), 120);
  EXPECT_EQ(g.height(), 24);
  EXPECT_EQ(g.focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(g.ColorProgress(), clHighlight);
  EXPECT_EQ(g.ColorFrame(), clActiveBorder);
  EXPECT_EQ(g.Color(), clBtnFace);
  EXPECT_TRUE(g.testAttribute(Qt::WA_OpaquePaintEvent));
  int mn, mx, pos;
  g.Get3(mn, mx, pos);
  EXPECT_EQ(std::tuple(mn, mx, pos), std::tuple(0, 100, 0));

  g.Set3(0, 100, 50);
  g.Set3(-10, 10, 150);  // ignored wholly
  g.Get3(mn, mx, pos);
  EXPECT_EQ(std::tuple(mn, mx, pos), std::tuple(0, 100, 50));
  g.SetVPos(500);
  EXPECT_EQ(g.VPos(), 100) << "VPos is kept in the range";
  g.SetVMax(-20);
  EXPECT_EQ(std::tuple(g.VMin(), g.VMax(), g.VPos()), std::tuple(0, 0, 0)) << "VMax below VMin empties";
  EXPECT_EQ(g.RealPos(), 0.0);
  g.SetVMax(10);
  g.SetVMin(40);
  EXPECT_EQ(std::tuple(g.VMin(), g.VMax()), std::tuple(10, 10));

  g.Set3(0, 10, 0);
  struct {
    double X;
    int Want;
  } real[] = {{0.25, 2}, {0.35, 4}, {0.45, 4}, {1.7, 10}, {-3, 0}, {std::numeric_limits<double>::quiet_NaN(), 0}};
  for (const auto& r : real) {
    g.SetRealPos(r.X);
    EXPECT_EQ(g.VPos(), r.Want) << r.X << " (halves to even)";
  }
  g.SetVPos(5);
  EXPECT_DOUBLE_EQ(g.RealPos(), 0.5);
}

TEST(FastGauge, OnlyAChangedBarWidthRepaints) {
  ShownForm f;
  auto* g = new TCounting<TVQR_FastGauge>(f.Form());
  g->setGeometry(10, 10, 24, 24);
  ASSERT_TRUE(f.Show());
  QTest::qWait(10);
  g->Set3(0, 100, 10);
  QTest::qWait(10);
  const int renders = g->Renders, paints = g->Paints;
  g->SetVPos(11);  // the bar stays 2 px
  QTest::qWait(10);
  EXPECT_EQ(g->VPos(), 11);
  EXPECT_EQ(g->Paints, paints) << "no update";
  EXPECT_EQ(g->Renders, renders);
  g->SetVPos(60);
  QTest::qWait(10);
  EXPECT_EQ(g->Renders, renders + 1);
  EXPECT_GE(g->Paints, paints + 1);
}

TEST(FastGauge, FacePixels) {
  TVQR_FastGauge g;
  g.resize(124, 24);
  g.SetColorFrame(0);
  g.SetColor(0xC0C0C0);
  g.SetColorProgress(0x0000FF);
  g.SetVPos(50);
  (void)g.grab();
  auto face = g.ExportCache();
  EXPECT_EQ(Pixel(*face, 0, 0), 0xFF4D4D4Du);
  EXPECT_EQ(Pixel(*face, 1, 1), 0xFF737373u);
  EXPECT_EQ(Pixel(*face, 2, 2), 0xFFFF6666u);
  EXPECT_EQ(Pixel(*face, 61, 21), 0xFF990000u);
  EXPECT_EQ(Pixel(*face, 62, 2), 0xFFADADADu);
  EXPECT_EQ(Pixel(*face, 121, 21), 0xFFC6C6C6u);

  g.resize(124, 5);
  (void)g.grab();
  EXPECT_EQ(Pixel(*g.ExportCache(), 100, 2), 0xFFB9B9B9u) << "a one-row trough";
  g.resize(124, 4);
  (void)g.grab();
  EXPECT_EQ(Pixel(*g.ExportCache(), 0, 0), 0u) << "nothing under 5 px";
}

TEST(FastGauge, ShotOfGauges) {
  ShownForm f(400, 100);
  f.Form()->setStyleSheet("background: #d4d0c8");
  const int positions[] = {0, 37, 100};
  for (int i = 0; i < 3; ++i) {
    auto* g = new TVQR_FastGauge(f.Form());
    g->setGeometry(16, 10 + 30 * i, 368, 16 + 4 * i);
    g->SetVPos(positions[i]);
  }
  ASSERT_TRUE(f.Show());
  Shot(f.Form(), "fast_gauges");
}

}  // namespace
}  // namespace velkor
