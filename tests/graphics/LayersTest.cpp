// Layers and their collection: the events in their exact order, mouse
// handling, coordinates and the errors.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <utility>
#include <string>
#include <vector>

#include "BitmapTestSupport.h"
#include "graphics/Raster_Layers.h"

namespace velkor {
namespace {

using namespace Raster_Layers;
using Log = std::vector<std::string>;

const char* ActionName(TLayerListNotification a) {
  switch (a) {
    case lnLayerAdded: return "added";
    case lnLayerInserted: return "inserted";
    case lnLayerDeleted: return "deleted";
    case lnCleared: return "cleared";
  }
  return "?";
}

// Records every event of a collection as one line each.
struct Recorder {
  Log log;
  void Attach(TLayerCollection& c) {
    c.OnChanging = [this](TObject*) { log.push_back("changing"); };
    c.OnChange = [this](TObject*) { log.push_back("change"); };
    c.OnGDIUpdate = [this](TObject*) { log.push_back("gdi"); };
    c.OnListNotify = [this](TLayerCollection*, TLayerListNotification a, TCustomLayer* l, int i) {
      log.push_back(std::string(ActionName(a)) + " " + std::to_string(i) + (l ? "" : " nil"));
    };
    c.OnLayerUpdated = [this](TPersistent*, TCustomLayer*) { log.push_back("layer"); };
    c.OnAreaUpdated = [this](TPersistent*, const TRect& r, std::uint32_t info) {
      log.push_back("area " + std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) +
                    "," + std::to_string(r.Bottom) + (info == AREAINFO_RECT ? "" : " ?"));
    };
  }
  Log Take() { return std::exchange(log, {}); }
};

TEST(LayersTest, AddInsertDeleteAndClearReportInOrder) {
  // Made first so that it outlives the collection, whose destructor still
  // reports the clear.
  Recorder rec;
  TLayerCollection c;
  rec.Attach(c);

  TCustomLayer* first = c.Add<TCustomLayer>();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Index(), 0);
  EXPECT_EQ(first->LayerOptions(), loVisible);
  EXPECT_EQ(rec.Take(), (Log{"changing", "added 0", "change", "layer", "change", "change", "added 0"}));

  TCustomLayer* second = c.Add<TCustomLayer>();
  rec.Take();
  TCustomLayer* inserted = c.Insert<TCustomLayer>(0);
  EXPECT_EQ(c.Items(0), inserted);
  EXPECT_EQ(c.Items(1), first);
  EXPECT_EQ(c.Items(2), second);
  EXPECT_EQ(rec.Take(), (Log{"changing", "added 2", "layer", "change", "change", "added 2", "inserted 0", "change"}));

  second->BringToFront();  // already last
  EXPECT_TRUE(rec.Take().empty());
  second->SendToBack();  // a move: a change bracket, no list notification
  EXPECT_EQ(second->Index(), 0);
  EXPECT_EQ(rec.Take(), (Log{"changing", "change"}));
  second->SetIndex(99);
  EXPECT_EQ(second->Index(), 2) << "clamped";
  rec.Take();

  c.Delete(1);
  EXPECT_EQ(rec.Take(), (Log{"changing", "deleted 1", "change"}));
  EXPECT_EQ(c.Count(), 2);

  c.Add<TCustomLayer>();
  rec.Take();
  c.Clear();
  EXPECT_EQ(rec.Take(), (Log{"changing", "deleted 2", "deleted 1", "deleted 0", "cleared 0 nil", "change"}));
  EXPECT_EQ(c.Count(), 0);
}

TEST(LayersTest, DestroyingTheCollectionReportsNoChanges) {
  Recorder rec;
  {
    TLayerCollection c;
    c.Add<TCustomLayer>();
    c.Add<TCustomLayer>();
    rec.Attach(c);
  }
  EXPECT_EQ(rec.Take(), (Log{"deleted 1", "deleted 0", "cleared 0 nil"}));
}

TEST(LayersTest, HidingShowingAndHiddenChanges) {
  // The handlers' targets outlive the collection, which reports as it goes.
  Recorder rec;
  int ownChanges = 0;
  TLayerCollection c;
  TCustomLayer* layer = c.Add<TCustomLayer>();
  layer->OnChange = [&](TObject*) { ++ownChanges; };
  rec.Attach(c);

  layer->SetVisible(false);
  EXPECT_EQ(rec.Take(), (Log{"changing", "layer", "change"})) << "hiding is still a layer update";
  EXPECT_EQ(layer->LayerOptions(), 0u) << "loForceUpdate is gone again";
  layer->SetVisible(true);
  EXPECT_EQ(rec.Take(), (Log{"layer", "change", "change"}));
  EXPECT_EQ(ownChanges, 2);

  struct Case {
    const char* why;
    std::uint32_t options;
    bool inBracket;
    Log expected;
  } cases[] = {
      {"hidden", 0, false, {}},
      {"hidden, forced", loForceUpdate, false, {"layer", "change"}},
      {"hidden overlay", loGDIOverlay, false, {"gdi"}},
      {"hidden overlay inside a bracket", loGDIOverlay, true, {}},
      {"no update", loVisible | loNoUpdate, false, {}},
  };
  for (const Case& k : cases) {
    layer->SetLayerOptions(k.options);
    if (k.inBracket) c.BeginUpdate();
    rec.Take();
    layer->Changed();
    EXPECT_EQ(rec.Take(), k.expected) << k.why;
    if (k.inBracket) c.EndUpdate();
  }

  layer->SetLayerOptions(loVisible);
  rec.Take();
  layer->Changed({1, 2, 3, 4});
  EXPECT_EQ(rec.Take(), (Log{"area 1,2,3,4", "change", "change"}));
  layer->BeginUpdate();
  layer->Changed();
  EXPECT_TRUE(rec.Take().empty()) << "the layer's own bracket holds reports back";
  layer->EndUpdate();
}

TEST(LayersTest, ClicksDoubleClicksAndCursor) {
  TLayerCollection c;
  TCustomLayer* layer = c.Add<TCustomLayer>();
  Log log;
  std::vector<TCursor> cursors;
  SetScreenCursorHook([&](TCursor k) { cursors.push_back(k); });
  layer->OnClick = [&](TObject*) { log.push_back("click"); };
  layer->OnDblClick = [&](TObject*) { log.push_back("dblclick"); };
  layer->OnMouseDown = [&](TPersistent*, TMouseButton b, TShiftState, int x, int y) {
    log.push_back("down " + std::to_string(b) + " " + std::to_string(x) + "," + std::to_string(y));
  };
  layer->OnMouseUp = [&](TPersistent*, TMouseButton b, TShiftState, int, int) { log.push_back("up " + std::to_string(b)); };

  layer->MouseDown(mbLeft, {ssLeft}, 3, 4);
  layer->MouseUp(mbLeft, {}, 3, 4);
  layer->MouseDown(mbLeft, {ssLeft, ssDouble}, 3, 4);
  layer->MouseUp(mbLeft, {}, 3, 4);
  layer->MouseDown(mbRight, {}, 1, 1);
  layer->MouseUp(mbRight, {}, 1, 1);
  EXPECT_EQ(log, (Log{"down 0 3,4", "click", "up 0", "dblclick", "down 0 3,4", "up 0", "down 1 1,1", "up 1"}));

  layer->SetCursor(crHandPoint);
  EXPECT_TRUE(cursors == (std::vector<TCursor>{crDefault, crDefault, crDefault})) << "not the listener yet";
  layer->SetAsMouseListener();
  layer->MouseMove({}, 0, 0);
  layer->SetCursor(crCross);
  EXPECT_EQ(cursors.size(), 6u);
  EXPECT_EQ(cursors[3], crHandPoint);
  EXPECT_EQ(cursors[4], crHandPoint);
  EXPECT_EQ(cursors[5], crCross);

  layer->SetLayerStates({lsMouseLeft, lsMouseMiddle});
  c.SetMouseListener(nullptr);
  EXPECT_EQ(layer->LayerStates(), TLayerStates{}) << "a former listener loses its button states";

  // A layer freed by its own click handler: the rest of MouseUp is skipped.
  layer->OnClick = [&](TObject*) { c.Delete(0); };
  layer->MouseDown(mbLeft, {}, 0, 0);
  log.clear();
  layer->MouseUp(mbLeft, {}, 0, 0);
  EXPECT_EQ(c.Count(), 0);
  EXPECT_TRUE(log.empty());
  SetScreenCursorHook(nullptr);
}

TEST(LayersTest, ViewportAndHitTest) {
  TLayerCollection c;
  EXPECT_EQ(c.LocalToViewport({3, 4}, true), (TFloatPoint{3, 4}));
  c.OnGetViewportScale = [](TPersistent*, float& x, float& y) { x = y = 2; };
  c.OnGetViewportShift = [](TPersistent*, float& x, float& y) { x = y = 10; };
  EXPECT_EQ(c.LocalToViewport({3, 4}, true), (TFloatPoint{16, 18}));
  EXPECT_EQ(c.LocalToViewport({3, 4}, false), (TFloatPoint{3, 4}));
  EXPECT_EQ(c.ViewportToLocal({16, 18}, true), (TFloatPoint{3, 4}));

  TCustomLayer* layer = c.Add<TCustomLayer>();
  EXPECT_TRUE(layer->HitTest(1, 1));
  layer->SetVisible(false);
  EXPECT_FALSE(layer->HitTest(1, 1));
  layer->OnHitTest = [](TPersistent*, int x, int, bool& passed) { passed = x > 5; };
  EXPECT_TRUE(layer->HitTest(6, 0));
}

TEST(LayersTest, ErrorsAndAwkwardFrees) {
  TLayerCollection c;
  c.Add<TCustomLayer>();
  try {
    c.GetItem(1);
    FAIL() << "no error";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (1)");
  }
  EXPECT_THROW(c.Delete(-1), EListError);
  EXPECT_THROW(c.SetItem(0, c.Items(0)), EConvertError) << "the base layer cannot be assigned";
  TLayerCollection other;
  EXPECT_THROW(other.Assign(&c), EConvertError);
  EXPECT_THROW(c.Add(&TLayerCollection::StaticClass()), EConvertError);
  c.Assign(&c);
  EXPECT_EQ(c.Count(), 1) << "self-assignment keeps the layers";

  // Deleted again from its own OnDestroy, and a Clear from there: freed once.
  TCustomLayer* layer = c.Items(0);
  int destroyed = 0;
  layer->OnDestroy = [&](TObject*) {
    ++destroyed;
    c.Delete(0);
    c.Clear();
  };
  c.Delete(0);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(c.Count(), 0);

  // A layer that removes itself when it joins.
  c.OnListNotify = [&](TLayerCollection*, TLayerListNotification a, TCustomLayer*, int i) {
    if (a == lnLayerAdded) c.Delete(i);
  };
  EXPECT_EQ(c.Add<TCustomLayer>(), nullptr);
  EXPECT_EQ(c.Count(), 0);
  c.OnListNotify = nullptr;

  // Handlers that throw while a collection is destroyed do not escape.
  {
    auto doomed = std::make_unique<TLayerCollection>();
    doomed->Add<TCustomLayer>();
    doomed->Add<TCustomLayer>();
    doomed->OnListNotify = [](TLayerCollection*, TLayerListNotification, TCustomLayer*, int) {
      throw std::runtime_error("handler");
    };
    EXPECT_NO_THROW(doomed.reset());
  }

  // Free notifications, last registered first.
  TCustomLayer* a = c.Add<TCustomLayer>();
  struct Watcher : TCustomLayer {
    std::vector<TCustomLayer*>* seen = nullptr;
    void NotifyLayerFreed(TCustomLayer* l) override { seen->push_back(l); }
  };
  std::vector<TCustomLayer*> seen;
  Watcher w1, w2;
  w1.seen = w2.seen = &seen;
  a->AddNotification(&w1);
  a->AddNotification(&w2);
  c.Delete(0);
  EXPECT_EQ(seen, (std::vector<TCustomLayer*>{a, a}));
}

}  // namespace
}  // namespace velkor
