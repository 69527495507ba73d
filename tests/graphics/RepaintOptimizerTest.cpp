// The micro-tiles repaint optimiser, headless on a bitmap with small test
// layers that fill one rectangle each; clocks are injected.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BitmapTestSupport.h"
#include "graphics/Raster_MicroTiles.h"

namespace velkor {
namespace {

using namespace Raster_MicroTiles;
using namespace Raster_Layers;
using Raster_Containers::TRectList;
using Rects = std::vector<TRect>;

// Fills Rect; a change of Rect is reported as a layer change.
class TRectLayer : public TCustomLayer {
 public:
  static const TClassInfo& StaticClass() {
    static const TClassInfo info{"TRectLayer", &TCustomLayer::StaticClass(),
                                 [] { return std::unique_ptr<TPersistent>(New<TRectLayer>()); }, {}};
    return info;
  }
  const TClassInfo& ClassType() const override { return StaticClass(); }

  void SetRect(const TRect& R) {
    Rect = R;
    Changed();
  }
  void Paint(TBitmap32* Buffer) override {
    ++paints;
    Buffer->FillRectS(Rect, 0xFF00FF00);
  }

  TRect Rect;
  int paints = 0;
};

class RepaintOptimizerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::StartRaster();
    buffer = New<TBitmap32>();
    buffer->SetSize(200, 100);
    opt = std::make_unique<TMicroTilesRepaintOptimizer>(buffer.get(), &rects);
    opt->SetTiming({[] {}, [this] { return elapsed; }, [this] { return tick; }});
    buffer->OnAreaChanged = [this](TPersistent* s, const TRect& a, std::uint32_t i) { opt->AreaUpdateHandler(s, a, i); };
  }

  TRectLayer* AddLayer(TLayerCollection& c, const TRect& r) {
    auto* layer = c.Add<TRectLayer>();
    layer->SetRect(r);
    return layer;
  }

  // One paint as the owner runs it; the rectangles it was told to redraw.
  Rects Paint() {
    Rects out;
    if (!opt->UpdatesAvailable()) return out;
    opt->BeginPaint();
    opt->PerformOptimization();
    for (int i = 0; i < rects.Count(); ++i) out.push_back(*rects.Get(i));
    opt->BeginPaintBuffer();
    opt->EndPaintBuffer();
    opt->EndPaint();
    rects.Clear();
    return out;
  }

  std::unique_ptr<TBitmap32> buffer;
  TRectList rects;
  std::unique_ptr<TMicroTilesRepaintOptimizer> opt;
  std::int64_t elapsed = 0;
  std::uint32_t tick = 0;
};

TEST_F(RepaintOptimizerTest, EnablingRepaintsTheWholeBufferOnce) {
  buffer->SetSize(100, 50);
  opt->SetEnabled(true);
  EXPECT_EQ(Paint(), (Rects{{0, 0, 100, 50}}));
  EXPECT_EQ(Paint(), Rects{}) << "nothing changed since";

  opt->SetEnabled(false);
  opt->SetEnabled(true);
  EXPECT_EQ(Paint(), (Rects{{0, 0, 100, 50}})) << "off and on resets";

  buffer->FillRectS({5, 6, 7, 8}, 0);
  EXPECT_EQ(Paint(), (Rects{{5, 6, 7, 8}})) << "direct drawing into the buffer";

  for (int size : {0, -5}) {
    opt->BufferResizedHandler(size, size);
    opt->AreaUpdateHandler(buffer.get(), {-10, -10, 300, 300}, AREAINFO_RECT);
    for (const TRect& r : Paint()) EXPECT_EQ(r, (TRect{0, 0, 0, 0})) << "size " << size;
  }
}

TEST_F(RepaintOptimizerTest, LayersInvalidateOldAndNewFootprints) {
  TLayerCollection layers;
  opt->RegisterLayerCollection(&layers);
  TRectLayer* layer = AddLayer(layers, {10, 10, 20, 20});
  opt->SetEnabled(true);
  EXPECT_EQ(Paint(), (Rects{{0, 0, 200, 100}}));

  layer->SetRect({100, 50, 110, 60});
  EXPECT_TRUE(layer->Invalid());
  layer->SetRect({100, 50, 110, 61});  // queued once
  EXPECT_EQ(Paint(), (Rects{{10, 10, 20, 20}, {100, 50, 110, 61}}));
  EXPECT_FALSE(layer->Invalid());

  TRectLayer* added = AddLayer(layers, {150, 70, 160, 75});
  EXPECT_EQ(Paint(), (Rects{{150, 70, 160, 75}}));

  layers.Delete(added->Index());
  EXPECT_EQ(Paint(), (Rects{{150, 70, 160, 75}})) << "a deleted layer's footprint";

  layer->SetVisible(false);
  EXPECT_EQ(Paint(), (Rects{{100, 50, 110, 61}})) << "hiding is reported";

  layers.Clear();
  EXPECT_EQ(Paint(), (Rects{{100, 50, 110, 61}}));
  opt->UnregisterLayerCollection(&layers);
}

TEST_F(RepaintOptimizerTest, StaleUpdatesAreIgnoredAndOddNotificationsAreHarmless) {
  TLayerCollection layers;
  opt->RegisterLayerCollection(&layers);
  TRectLayer* layer = AddLayer(layers, {10, 10, 20, 20});
  opt->SetEnabled(true);
  Paint();
  opt->SetEnabled(false);  // footprints stale
  opt->LayerUpdateHandler(&layers, layer);
  EXPECT_FALSE(layer->Invalid());

  opt->SetEnabled(true);
  Paint();
  TRectLayer stranger;  // never announced
  EXPECT_NO_THROW(opt->LayerListNotifyHandler(&layers, lnLayerDeleted, &stranger, 0));
  EXPECT_NO_THROW(opt->LayerListNotifyHandler(&layers, lnLayerDeleted, layer, 0));
  EXPECT_NO_THROW(opt->LayerListNotifyHandler(&layers, lnLayerDeleted, layer, 0)) << "twice";
  EXPECT_EQ(Paint(), (Rects{{10, 10, 20, 20}}));
  stranger.Rect = {30, 30, 40, 40};
  opt->LayerUpdateHandler(&layers, &stranger);
  EXPECT_EQ(Paint(), (Rects{{30, 30, 40, 40}})) << "measured without a footprint: only its new area";

  TMicroTilesMap map;
  try {
    map.GetData(&stranger);
    FAIL() << "no error";
  } catch (const EListError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Item not found ($0", 0), 0u) << e.what();
  }
}

TEST_F(RepaintOptimizerTest, CollectionsRegisteredOrUnregisteredWhileEnabled) {
  opt->SetEnabled(true);
  Paint();
  TLayerCollection layers;
  AddLayer(layers, {50, 50, 60, 60});
  opt->RegisterLayerCollection(&layers);
  opt->RegisterLayerCollection(&layers);  // twice: once
  EXPECT_EQ(opt->LayerCollections().size(), 1u);
  EXPECT_EQ(Paint(), (Rects{{50, 50, 60, 60}}));

  TLayerCollection other;
  opt->RegisterLayerCollection(&other);
  AddLayer(other, {0, 0, 5, 5});
  Paint();
  other.Clear();  // the first collection's footprints survive
  Paint();
  layers.Items(0)->Changed();
  EXPECT_EQ(Paint(), (Rects{{50, 50, 60, 60}}));

  opt->UnregisterLayerCollection(&layers);
  EXPECT_EQ(Paint(), (Rects{{50, 50, 60, 60}})) << "its layers leave the picture";
  EXPECT_FALSE(layers.OnListNotify);
  opt->UnregisterLayerCollection(&other);
}

TEST_F(RepaintOptimizerTest, ALayerFreedWhileItIsMeasured) {
  TLayerCollection layers;
  opt->RegisterLayerCollection(&layers);
  TRectLayer* doomed = AddLayer(layers, {10, 10, 20, 20});
  TRectLayer* next = AddLayer(layers, {40, 10, 50, 20});
  opt->SetEnabled(true);
  Paint();
  doomed->SetRect({10, 10, 25, 20});
  next->SetRect({40, 10, 55, 20});
  doomed->OnPaint = [&](TPersistent*, TBitmap32*) { layers.Delete(0); };
  EXPECT_EQ(Paint(), (Rects{{10, 10, 20, 20}, {40, 10, 55, 20}}));
  EXPECT_EQ(layers.Count(), 1);
}

// A collection destroyed while registered leaves no pointer behind in any
// optimiser it was registered with, and its layers still leave the picture.
TEST_F(RepaintOptimizerTest, ACollectionFreedWhileRegisteredUnregistersItself) {
  opt->SetEnabled(true);
  Paint();
  TRectList otherRects;
  TMicroTilesRepaintOptimizer other(buffer.get(), &otherRects);
  {
    TLayerCollection layers;
    opt->RegisterLayerCollection(&layers);
    other.RegisterLayerCollection(&layers);
    opt->RegisterLayerCollection(&layers);  // the list handler is opt's again
    AddLayer(layers, {10, 10, 20, 20});
    Paint();
    ASSERT_EQ(opt->LayerCollections().size(), 1u);
    ASSERT_EQ(other.LayerCollections().size(), 1u);
  }
  EXPECT_TRUE(opt->LayerCollections().empty());
  EXPECT_TRUE(other.LayerCollections().empty());
  EXPECT_EQ(Paint(), (Rects{{10, 10, 20, 20}})) << "its layer's footprint";

  // An optimiser that goes first unregisters the collection, which then
  // has nobody to tell as it goes.
  {
    TLayerCollection survivor;
    AddLayer(survivor, {30, 30, 40, 40});
    {
      TMicroTilesRepaintOptimizer brief(buffer.get(), &otherRects);
      brief.SetEnabled(true);
      brief.RegisterLayerCollection(&survivor);
    }
    EXPECT_FALSE(survivor.OnListNotify);
    EXPECT_FALSE(survivor.OnLayerUpdated);
  }
  EXPECT_EQ(Paint(), Rects{}) << "never registered with opt";
}

TEST_F(RepaintOptimizerTest, LinesAreGrownTwice) {
  opt->SetEnabled(true);
  Paint();
  opt->AreaUpdateHandler(buffer.get(), {0, 5, 100, 5}, AREAINFO_LINE | 1);

  TMicroTiles expected;
  ResizeMicroTiles(expected, {0, 0, 200, 100});
  AddLineToMicroTiles(expected, -1, 4, 101, 6, 1, false);
  TRectList expectedRects;
  MicroTilesToRects(expected, &expectedRects);
  Rects want;
  for (int i = 0; i < expectedRects.Count(); ++i) want.push_back(*expectedRects.Get(i));
  ASSERT_FALSE(want.empty());
  EXPECT_EQ(Paint(), want);
}

// The adaptive levels under an injected clock. Ticks start just before
// the counter wraps, so the timed check is due only after the wrap.
TEST_F(RepaintOptimizerTest, AdaptiveLevelsFollowTheTimings) {
  opt->SetEnabled(true);
  struct Step {
    const char* why;
    std::uint32_t tick;
    std::int64_t elapsed;
    int level, timeDelta;
    bool emptied;
  } steps[] = {
      {"slower than a full scene (never timed): whole tiles", 0xFFFFFD00u, 100, 1, 0, false},
      {"first check due at once: back, then up again, next check after the wrap", 0xFFFFFE00u, 100, 1, 1000, false},
      {"check not due yet: full scene level", 0xFFFFFE80u, 100, 2, 1000, false},
      {"level 2 after a failed adaption: the list is emptied", 0xFFFFFF00u, 100, 2, 1000, true},
      {"check due after the wrap, faster than the full scene", 600, 50, 1, 1000, false},
      {"nothing due, still faster", 700, 50, 1, 1000, false},
  };
  for (const Step& s : steps) {
    tick = s.tick;
    elapsed = s.elapsed;
    opt->AreaUpdateHandler(buffer.get(), {0, 0, 10, 10}, AREAINFO_RECT);
    const Rects painted = Paint();
    EXPECT_EQ(opt->PerformanceLevel(), s.level) << s.why;
    EXPECT_EQ(opt->TimeDelta(), s.timeDelta) << s.why;
    EXPECT_EQ(painted.empty(), s.emptied) << s.why;
  }
  opt->SetAdaptiveMode(false);
  EXPECT_EQ(opt->PerformanceLevel(), 0);
}

}  // namespace
}  // namespace velkor
