#include "graphics/Raster_Layers.h"

#include <algorithm>
#include <string>
#include <utility>

#include "graphics/Raster_RepaintOpt.h"

namespace velkor::Raster_Layers {

namespace {

TScreenCursorHook& ScreenCursorHook() {
  static TScreenCursorHook hook;
  return hook;
}

[[noreturn]] void IndexOutOfBounds(int Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

void FreeLayer(TCustomLayer* Layer) { TPlainInterfacedPersistent::Free(Layer); }

}  // namespace

void SetScreenCursorHook(TScreenCursorHook Hook) { ScreenCursorHook() = std::move(Hook); }

void SetScreenCursor(TCursor Cursor) {
  if (ScreenCursorHook()) ScreenCursorHook()(Cursor);
}

// --- TLayerCollection -------------------------------------------------------------------

TLayerCollection::TLayerCollection(TPersistent* AOwner) : FOwner(AOwner) {}

TLayerCollection::~TLayerCollection() {
  // No change events while the layers go; deletions and the clear are
  // still reported.
  FUpdateCount = 1;
  try {
    Clear();
  } catch (...) {
    // A handler failed and nothing may leave a destructor: the rest go
    // without reports.
    OnListNotify = nullptr;
    for (TCustomLayer* layer : std::vector<TCustomLayer*>(FItems)) {
      layer->FLayerCollection = nullptr;
      if (!layer->FDestroying) delete layer;
    }
    FItems.clear();
  }
  // After the layers, so that an optimiser heard of their deletion and
  // repaints where they were. It must not keep a pointer to a collection
  // that is gone.
  for (Raster_RepaintOpt::TCustomRepaintOptimizer* optimizer : std::exchange(FRepaintOptimizers, {})) {
    try {
      optimizer->UnregisterLayerCollection(this);
    } catch (...) {
      // Nothing may leave a destructor, and the next optimiser must still
      // be told.
    }
  }
}

const TClassInfo& TLayerCollection::StaticClass() {
  static const TClassInfo info{"TLayerCollection", &TPersistent::StaticClass(),
                               [] { return std::unique_ptr<TPersistent>(New<TLayerCollection>()); }, {}};
  return info;
}

TCustomLayer* TLayerCollection::Add(TLayerClass ItemClass) {
  if (!ItemClass || !ItemClass->InheritsFrom(&TCustomLayer::StaticClass())) {
    throw EConvertError("Cannot add a " + std::string(ItemClass ? ItemClass->Name : "nil") + " as a layer");
  }
  std::unique_ptr<TPersistent> made = ItemClass->Create();
  auto* layer = static_cast<TCustomLayer*>(made.release());
  const std::weak_ptr<char> alive = layer->Alive();
  layer->Create(this);  // joins: the first lnLayerAdded
  if (alive.expired() || layer->FLayerCollection != this) return alive.expired() ? nullptr : layer;
  layer->SetIndex(Count());
  if (alive.expired()) return nullptr;
  NotifyList(lnLayerAdded, layer, layer->Index());
  return alive.expired() ? nullptr : layer;
}

TCustomLayer* TLayerCollection::Insert(int Index, TLayerClass ItemClass) {
  BeginUpdate();
  TCustomLayer* layer = nullptr;
  try {
    layer = Add(ItemClass);
    if (layer) {
      const std::weak_ptr<char> alive = layer->Alive();
      layer->SetIndex(Index);
      if (alive.expired()) {
        layer = nullptr;
      } else {
        NotifyList(lnLayerInserted, layer, Index);
        if (alive.expired()) layer = nullptr;
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  return layer;
}

void TLayerCollection::Delete(int Index) {
  CheckIndex(Index);
  TCustomLayer* layer = FItems[std::size_t(Index)];
  if (!layer->FDestroying) FreeLayer(layer);
}

void TLayerCollection::FreeLayers() {
  for (;;) {
    auto it = std::find_if(FItems.rbegin(), FItems.rend(), [](TCustomLayer* l) { return !l->FDestroying; });
    if (it == FItems.rend()) return;
    FreeLayer(*it);
  }
}

void TLayerCollection::Clear() {
  BeginUpdate();
  try {
    FreeLayers();
    NotifyList(lnCleared, nullptr, 0);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TLayerCollection::Assign(const TPersistent* Source) {
  const auto* src = dynamic_cast<const TLayerCollection*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;  // freeing the own layers first would lose them
  BeginUpdate();
  try {
    FreeLayers();
    for (int i = 0; i < src->Count(); ++i) {
      const TCustomLayer* from = src->FItems[std::size_t(i)];
      TCustomLayer* layer = Add(&from->ClassType());
      if (layer) layer->Assign(from);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TLayerCollection::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) IndexOutOfBounds(Index);
}

TCustomLayer* TLayerCollection::GetItem(int Index) const {
  CheckIndex(Index);
  return FItems[std::size_t(Index)];
}

void TLayerCollection::SetItem(int Index, const TCustomLayer* Value) { GetItem(Index)->Assign(Value); }

TFloatPoint TLayerCollection::LocalToViewport(TFloatPoint APoint, bool AScaled) const {
  if (!AScaled) return APoint;
  float scaleX, scaleY, shiftX, shiftY;
  GetViewportScale(scaleX, scaleY);
  GetViewportShift(shiftX, shiftY);
  return {APoint.X * scaleX + shiftX, APoint.Y * scaleY + shiftY};
}

TFloatPoint TLayerCollection::ViewportToLocal(TFloatPoint APoint, bool AScaled) const {
  if (!AScaled) return APoint;
  float scaleX, scaleY, shiftX, shiftY;
  GetViewportScale(scaleX, scaleY);
  GetViewportShift(shiftX, shiftY);
  return {(APoint.X - shiftX) / scaleX, (APoint.Y - shiftY) / scaleY};
}

void TLayerCollection::GetViewportScale(float& ScaleX, float& ScaleY) const {
  ScaleX = ScaleY = 1;
  if (OnGetViewportScale) OnGetViewportScale(const_cast<TLayerCollection*>(this), ScaleX, ScaleY);
}

void TLayerCollection::GetViewportShift(float& ShiftX, float& ShiftY) const {
  ShiftX = ShiftY = 0;
  if (OnGetViewportShift) OnGetViewportShift(const_cast<TLayerCollection*>(this), ShiftX, ShiftY);
}

void TLayerCollection::SetMouseListener(TCustomLayer* Value) {
  if (Value == FMouseListener) return;
  if (FMouseListener) FMouseListener->FLayerStates = {};
  FMouseListener = Value;
}

void TLayerCollection::SetMouseEvents(bool Value) {
  FMouseEvents = Value;
  SetMouseListener(nullptr);
}

void TLayerCollection::BeginUpdate() {
  if (FUpdateCount == 0) Changing();
  ++FUpdateCount;
}

void TLayerCollection::EndUpdate() {
  if (FUpdateCount <= 0) return;  // unmatched: stay at 0
  if (--FUpdateCount == 0) Changed();
}

void TLayerCollection::Changed() {
  if (OnChange) OnChange(this);
}

void TLayerCollection::Changing() {
  if (OnChanging) OnChanging(this);
}

void TLayerCollection::NotifyGDIUpdate() {
  if (FUpdateCount == 0 && OnGDIUpdate) OnGDIUpdate(this);
}

void TLayerCollection::AttachLayer(TCustomLayer* Layer) {
  BeginUpdate();
  FItems.push_back(Layer);
  Layer->FLayerCollection = this;
  try {
    NotifyList(lnLayerAdded, Layer, Count() - 1);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TLayerCollection::DetachLayer(TCustomLayer* Layer) {
  BeginUpdate();
  try {
    auto it = std::find(FItems.begin(), FItems.end(), Layer);
    if (it != FItems.end()) {
      const int index = int(it - FItems.begin());
      FItems.erase(it);
      Layer->FLayerCollection = nullptr;
      NotifyList(lnLayerDeleted, Layer, index);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TLayerCollection::NotifyList(TLayerListNotification Action, TCustomLayer* Layer, int Index) {
  if (OnListNotify) OnListNotify(this, Action, Layer, Index);
}

void TLayerCollection::ReportAreaUpdate(const TRect& Area) {
  if (OnAreaUpdated) OnAreaUpdated(this, Area, AREAINFO_RECT);
  Changed();
}

void TLayerCollection::ReportLayerUpdate(TCustomLayer* Layer) {
  if (OnLayerUpdated) OnLayerUpdated(this, Layer);
  Changed();
}

// --- TCustomLayer -----------------------------------------------------------------------

const TClassInfo& TCustomLayer::StaticClass() {
  static const TClassInfo info{"TCustomLayer", &TNotifiablePersistent::StaticClass(),
                               [] { return std::unique_ptr<TPersistent>(New<TCustomLayer>()); }, {}};
  return info;
}

void TCustomLayer::Create(TLayerCollection* ALayerCollection) {
  const std::weak_ptr<char> alive = Alive();
  SetLayerCollection(ALayerCollection);
  if (!alive.expired()) SetLayerOptions(loVisible);
}

TCustomLayer::~TCustomLayer() {
  if (FFreeNotifies) {
    // A told layer may remove itself (or others) from the list, or empty it.
    for (int i = int(FFreeNotifies->size()) - 1; i >= 0 && FFreeNotifies; --i) {
      if (i >= int(FFreeNotifies->size())) i = int(FFreeNotifies->size()) - 1;
      if (i < 0) break;
      (*FFreeNotifies)[std::size_t(i)]->NotifyLayerFreed(this);
    }
    FFreeNotifies.reset();
  }
  // Leave without reaching overrides: the descendant part is gone.
  if (FLayerCollection) {
    TLayerCollection* collection = FLayerCollection;
    if (collection->FMouseListener == this) collection->SetMouseListener(nullptr);
    try {
      collection->DetachLayer(this);
    } catch (...) {
      // A handler's exception cannot leave a destructor; the layer is out of
      // the list already.
    }
    FLayerCollection = nullptr;
  }
}

void TCustomLayer::BeforeDestruction() {
  FDestroying = true;
  if (OnDestroy) OnDestroy(this);
  TNotifiablePersistent::BeforeDestruction();
}

void TCustomLayer::Changing() {
  if (FUpdateCount <= 0 && Visible() && FLayerCollection && !(FLayerOptions & loNoUpdate)) {
    FLayerCollection->Changing();
  }
}

void TCustomLayer::Changed() {
  if (FUpdateCount > 0 || !FLayerCollection || (FLayerOptions & loNoUpdate)) return;
  const std::weak_ptr<char> alive = Alive();
  Update();
  if (alive.expired() || !FLayerCollection) return;
  if (Visible()) {
    FLayerCollection->Changed();
  } else if (FLayerOptions & loGDIOverlay) {
    FLayerCollection->NotifyGDIUpdate();
  }
  if (!alive.expired()) TNotifiablePersistent::Changed();
}

void TCustomLayer::Changed(const TRect& Rect) {
  if (FUpdateCount > 0 || !FLayerCollection || (FLayerOptions & loNoUpdate)) return;
  const std::weak_ptr<char> alive = Alive();
  Update(Rect);
  if (alive.expired() || !FLayerCollection) return;
  if (Visible()) {
    FLayerCollection->Changed();
  } else if (FLayerOptions & loGDIOverlay) {
    FLayerCollection->NotifyGDIUpdate();
  }
  if (!alive.expired()) TNotifiablePersistent::Changed();
}

void TCustomLayer::Update() {
  if (FLayerCollection && (Visible() || (FLayerOptions & loForceUpdate))) FLayerCollection->ReportLayerUpdate(this);
}

void TCustomLayer::Update(const TRect& Rect) {
  if (FLayerCollection) FLayerCollection->ReportAreaUpdate(Rect);
}

bool TCustomLayer::HitTestShape(int, int) { return Visible(); }

bool TCustomLayer::HitTest(int X, int Y) {
  bool passed = HitTestShape(X, Y);
  if (OnHitTest) OnHitTest(this, X, Y, passed);
  return passed;
}

void TCustomLayer::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (Shift.Contains(ssDouble)) {
      const std::weak_ptr<char> alive = Alive();
      DblClick();
      if (alive.expired()) return;
    } else {
      FClicked = true;
    }
  }
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TCustomLayer::MouseMove(TShiftState Shift, int X, int Y) {
  SetScreenCursor(FCursor);
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TCustomLayer::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  SetScreenCursor(crDefault);
  if (Button == mbLeft && FClicked) {
    const std::weak_ptr<char> alive = Alive();
    Click();
    if (alive.expired()) return;
  }
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TCustomLayer::Click() {
  FClicked = false;
  if (OnClick) OnClick(this);
}

void TCustomLayer::DblClick() {
  FClicked = false;
  if (OnDblClick) OnDblClick(this);
}

void TCustomLayer::NotifyLayerFreed(TCustomLayer*) {}

void TCustomLayer::Paint(TBitmap32*) {}

void TCustomLayer::DrawLayer(TBitmap32* Buffer) {
  const std::weak_ptr<char> alive = Alive();
  Paint(Buffer);
  if (!alive.expired() && OnPaint) OnPaint(this, Buffer);
}

void TCustomLayer::BringToFront() {
  if (FLayerCollection) SetIndex(FLayerCollection->Count());
}

void TCustomLayer::SendToBack() { SetIndex(0); }

void TCustomLayer::SetAsMouseListener() {
  if (!FLayerCollection) return;
  FLayerCollection->SetMouseListener(this);
  SetScreenCursor(FCursor);
}

void TCustomLayer::AddNotification(TCustomLayer* ALayer) {
  if (!FFreeNotifies) FFreeNotifies = std::make_unique<std::vector<TCustomLayer*>>();
  if (std::find(FFreeNotifies->begin(), FFreeNotifies->end(), ALayer) == FFreeNotifies->end()) {
    FFreeNotifies->push_back(ALayer);
  }
}

void TCustomLayer::RemoveNotification(TCustomLayer* ALayer) {
  if (!FFreeNotifies) return;
  auto& list = *FFreeNotifies;
  list.erase(std::remove(list.begin(), list.end(), ALayer), list.end());
  if (list.empty()) FFreeNotifies.reset();
}

void TCustomLayer::SetCursor(TCursor Value) {
  if (Value == FCursor) return;
  FCursor = Value;
  if (FLayerCollection && FLayerCollection->MouseListener() == this) SetScreenCursor(Value);
}

int TCustomLayer::Index() const {
  if (!FLayerCollection) return -1;
  const auto& items = FLayerCollection->FItems;
  auto it = std::find(items.begin(), items.end(), this);
  return it == items.end() ? -1 : int(it - items.begin());
}

void TCustomLayer::SetIndex(int Value) {
  TLayerCollection* collection = FLayerCollection;
  const int current = Index();
  if (!collection || current < 0 || Value == current) return;
  Value = std::clamp(Value, 0, collection->Count() - 1);
  if (Value == current) return;

  const bool visible = Visible();
  const std::weak_ptr<char> alive = Alive();
  if (visible) collection->BeginUpdate();
  // OnChanging may have changed the list: look again.
  if (!alive.expired()) {
    auto& items = collection->FItems;
    auto it = std::find(items.begin(), items.end(), this);
    if (it != items.end()) {
      items.erase(it);
      Value = std::clamp(Value, 0, int(items.size()));
      items.insert(items.begin() + Value, this);
    }
  }
  if (visible) collection->EndUpdate();
}

void TCustomLayer::SetLayerCollection(TLayerCollection* Value) {
  if (Value == FLayerCollection) return;
  const std::weak_ptr<char> alive = Alive();
  if (TLayerCollection* old = FLayerCollection) {
    if (old->FMouseListener == this) old->SetMouseListener(nullptr);
    old->DetachLayer(this);
    if (alive.expired()) return;
    FLayerCollection = nullptr;
  }
  if (Value) Value->AttachLayer(this);
}

void TCustomLayer::SetLayerOptions(std::uint32_t Value) {
  const std::weak_ptr<char> alive = Alive();
  Changing();
  if (alive.expired()) return;
  FLayerOptions = Value;
  Changed();
}

void TCustomLayer::SetMouseEvents(bool Value) {
  SetLayerOptions(Value ? FLayerOptions | loMouseEvents : FLayerOptions & ~loMouseEvents);
}

void TCustomLayer::SetVisible(bool Value) {
  if (Value) {
    SetLayerOptions(FLayerOptions | loVisible);
    return;
  }
  FLayerOptions |= loForceUpdate;
  const std::weak_ptr<char> alive = Alive();
  SetLayerOptions(FLayerOptions & ~loVisible);
  if (!alive.expired()) FLayerOptions &= ~loForceUpdate;
}

void TCustomLayer::SetInvalid(bool Value) {
  if (Value) {
    FLayerOptions |= loInvalid;
  } else {
    FLayerOptions &= ~loInvalid;
  }
}

}  // namespace velkor::Raster_Layers
