// Layers: a picture composed of independent layers drawn in order onto one
// 32-bit buffer. A TLayerCollection owns its layers and turns every layer
// change into events for its owner (change, area update, layer update, list
// notification); the repaint optimiser listens to them to learn which parts
// of the buffer a layer covered before and after a change.
//
// The events and their order are a contract the optimiser and hosts rely
// on, down to the repetitions: joining a collection through Add reports
// lnLayerAdded twice, and a visible layer's change reaches the collection's
// OnChange twice (once through the layer-update report, once directly).
// Moving a layer's Index sends no list notification.
//
// Construction has two phases: the C++ constructor only sets fields, the
// virtual Create(collection) joins the collection and makes the layer
// visible, so that a descendant's overrides take part. Make layers with
// TLayerCollection::Add / Insert or NewLayer<L>(collection).
//
// A handler may free the layer whose event it handles (a click that
// deletes its layer, a paint that removes it): the layer notices and does
// nothing more after the handler returns.
//
// There is no concrete layer and no host control here: a host creates the
// collection, forwards mouse input to the layer under the mouse, keeps the
// layers' LayerStates and paints the layers with DrawLayer in index order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "graphics/Raster.h"

namespace velkor::Raster_RepaintOpt {
class TCustomRepaintOptimizer;
}

namespace velkor::Raster_Layers {

// --- Mouse and cursor types, the library's own ---------------------------------------

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftStateItem : std::uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
struct TShiftState {
  std::uint8_t Bits = 0;
  constexpr TShiftState() = default;
  constexpr TShiftState(std::initializer_list<TShiftStateItem> items) {
    for (TShiftStateItem i : items) Bits |= std::uint8_t(1u << i);
  }
  constexpr bool Contains(TShiftStateItem i) const { return (Bits >> i) & 1u; }
  friend constexpr bool operator==(TShiftState, TShiftState) = default;
};

// Cursor identifiers; the GUI layer maps them to its own cursors.
enum TCursor : int {
  crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSizeNESW = -6, crSizeNS = -7,
  crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10, crHourGlass = -11, crDrag = -12, crNo = -18,
  crHandPoint = -21, crSizeAll = -22
};

// Sets the screen's cursor. The GUI layer installs the hook; without one
// (headless) nothing happens. An empty hook removes it.
using TScreenCursorHook = std::function<void(TCursor Cursor)>;
void SetScreenCursorHook(TScreenCursorHook Hook);
void SetScreenCursor(TCursor Cursor);

// --- Layer types ---------------------------------------------------------------------

enum TLayerListNotification { lnLayerAdded, lnLayerInserted, lnLayerDeleted, lnCleared };

enum TLayerState : std::uint8_t { lsMouseLeft, lsMouseRight, lsMouseMiddle };
struct TLayerStates {
  std::uint8_t Bits = 0;
  constexpr TLayerStates() = default;
  constexpr TLayerStates(std::initializer_list<TLayerState> states) {
    for (TLayerState s : states) Bits |= std::uint8_t(1u << s);
  }
  constexpr bool Contains(TLayerState s) const { return (Bits >> s) & 1u; }
  friend constexpr bool operator==(TLayerStates, TLayerStates) = default;
};

// LayerOptions bits; the others are free for descendants.
inline constexpr std::uint32_t loVisible = 0x80000000u;
inline constexpr std::uint32_t loGDIOverlay = 0x40000000u;   // a hidden layer's change fires OnGDIUpdate
inline constexpr std::uint32_t loMouseEvents = 0x20000000u;
inline constexpr std::uint32_t loNoUpdate = 0x10000000u;     // changes are not reported
inline constexpr std::uint32_t loInvalid = 0x04000000u;      // owned by the repaint optimiser
inline constexpr std::uint32_t loForceUpdate = 0x02000000u;  // report even while hidden

class TCustomLayer;
class TLayerCollection;

// A layer class: a class reference whose factory makes a layer outside any
// collection (Create has not run yet).
using TLayerClass = TClass;

using TLayerUpdateEvent = std::function<void(TPersistent* Sender, TCustomLayer* Layer)>;
using TLayerListNotifyEvent =
    std::function<void(TLayerCollection* Sender, TLayerListNotification Action, TCustomLayer* Layer, int Index)>;
using TGetScaleEvent = std::function<void(TPersistent* Sender, float& ScaleX, float& ScaleY)>;
using TGetShiftEvent = std::function<void(TPersistent* Sender, float& ShiftX, float& ShiftY)>;
using TPaintLayerEvent = std::function<void(TPersistent* Sender, TBitmap32* Buffer)>;
using THitTestEvent = std::function<void(TPersistent* Sender, int X, int Y, bool& Passed)>;
using TMouseEvent = std::function<void(TPersistent* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TPersistent* Sender, TShiftState Shift, int X, int Y)>;

// --- Collection ----------------------------------------------------------------------

class TLayerCollection : public TPersistent {
 public:
  explicit TLayerCollection(TPersistent* AOwner = nullptr);
  // Frees the layers (each reports lnLayerDeleted, then lnCleared) with
  // change events suppressed, then unregisters itself from every repaint
  // optimiser it is still registered with.
  ~TLayerCollection() override;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // A new layer of ItemClass, last; nullptr when a handler freed it while
  // it joined. A class that is no layer raises EConvertError.
  TCustomLayer* Add(TLayerClass ItemClass);
  template <class L>
  L* Add() {
    return static_cast<L*>(Add(&L::StaticClass()));
  }
  // A new layer moved to Index, reported with lnLayerInserted.
  TCustomLayer* Insert(int Index, TLayerClass ItemClass);
  template <class L>
  L* Insert(int Index) {
    return static_cast<L*>(Insert(Index, &L::StaticClass()));
  }
  // Frees the layer at Index.
  void Delete(int Index);
  // Frees every layer, the last first, then reports lnCleared (nil, 0).
  void Clear();
  // From another collection: the own layers are freed, then a layer of each
  // source layer's class is added and assigned from it.
  void Assign(const TPersistent* Source) override;

  // Indices outside 0 .. Count - 1 raise EListError "List index out of
  // bounds (<index>)".
  TCustomLayer* GetItem(int Index) const;
  TCustomLayer* Items(int Index) const { return GetItem(Index); }
  // The layer at Index takes Value's state through its Assign.
  void SetItem(int Index, const TCustomLayer* Value);

  TFloatPoint LocalToViewport(TFloatPoint APoint, bool AScaled) const;
  TFloatPoint ViewportToLocal(TFloatPoint APoint, bool AScaled) const;
  // The events' values, else scale 1 and shift 0.
  virtual void GetViewportScale(float& ScaleX, float& ScaleY) const;
  virtual void GetViewportShift(float& ShiftX, float& ShiftY) const;

  int Count() const { return static_cast<int>(FItems.size()); }
  TPersistent* Owner() const { return FOwner; }
  TCustomLayer* MouseListener() const { return FMouseListener; }
  // The old listener loses its mouse-button states.
  void SetMouseListener(TCustomLayer* Value);
  bool MouseEvents() const { return FMouseEvents; }
  // Also clears the mouse listener.
  void SetMouseEvents(bool Value);

  // The update bracket: OnChanging on entering the outermost, OnChange on
  // leaving it.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  TNotifyEvent OnChanging;
  TNotifyEvent OnChange;
  TNotifyEvent OnGDIUpdate;
  TLayerListNotifyEvent OnListNotify;
  TLayerUpdateEvent OnLayerUpdated;
  TAreaChangedEvent OnAreaUpdated;
  TGetScaleEvent OnGetViewportScale;
  TGetShiftEvent OnGetViewportShift;

 protected:
  // Used by the layers.
  void Changed();
  void Changing();
  void NotifyGDIUpdate();
  void AttachLayer(TCustomLayer* Layer);
  void DetachLayer(TCustomLayer* Layer);
  void NotifyList(TLayerListNotification Action, TCustomLayer* Layer, int Index);
  void ReportAreaUpdate(const TRect& Area);
  void ReportLayerUpdate(TCustomLayer* Layer);

 private:
  void CheckIndex(int Index) const;
  // Frees layers from the last until only those already being freed remain.
  void FreeLayers();

  std::vector<TCustomLayer*> FItems;
  bool FMouseEvents = true;
  TCustomLayer* FMouseListener = nullptr;
  int FUpdateCount = 0;
  TPersistent* FOwner = nullptr;
  // The optimisers that keep a pointer to this collection; they add and
  // remove themselves as they register and unregister it.
  std::vector<Raster_RepaintOpt::TCustomRepaintOptimizer*> FRepaintOptimizers;

  friend class TCustomLayer;
  friend class Raster_RepaintOpt::TCustomRepaintOptimizer;
};

// --- Layer ---------------------------------------------------------------------------

class TCustomLayer : public TNotifiablePersistent {
 public:
  TCustomLayer() = default;
  // Notifies the layers that asked to know, then leaves the collection
  // (lnLayerDeleted).
  ~TCustomLayer() override;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // The second construction phase: joins ALayerCollection (may be nil),
  // then LayerOptions := loVisible. Overrides call this one first.
  virtual void Create(TLayerCollection* ALayerCollection);
  // Fires OnDestroy, then the inherited check.
  void BeforeDestruction() override;

  // Reports a change: the layer update (or Rect as an area update), the
  // collection's change or GDI overlay, then the layer's own OnChange.
  void Changed() override;
  virtual void Changed(const TRect& Rect);
  void Changing();
  void Update();
  void Update(const TRect& Rect);

  virtual bool HitTestShape(int X, int Y);
  bool HitTest(int X, int Y);
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  void Click();
  void DblClick();
  // Told when a layer this one registered with AddNotification is freed.
  virtual void NotifyLayerFreed(TCustomLayer* ALayer);
  virtual void Paint(TBitmap32* Buffer);
  // Paint, then OnPaint.
  void DrawLayer(TBitmap32* Buffer);

  void BringToFront();
  void SendToBack();
  void SetAsMouseListener();
  // ALayer is told (NotifyLayerFreed) when this layer is freed.
  void AddNotification(TCustomLayer* ALayer);
  void RemoveNotification(TCustomLayer* ALayer);

  TCursor Cursor() const { return FCursor; }
  virtual void SetCursor(TCursor Value);
  // The position in the collection, -1 without one.
  int Index() const;
  // Clamped into 0 .. Count - 1; no list notification.
  virtual void SetIndex(int Value);
  TLayerCollection* LayerCollection() const { return FLayerCollection; }
  virtual void SetLayerCollection(TLayerCollection* Value);
  std::uint32_t LayerOptions() const { return FLayerOptions; }
  // Changing, store, Changed (also when the value is the same).
  virtual void SetLayerOptions(std::uint32_t Value);
  TLayerStates LayerStates() const { return FLayerStates; }
  // The host control keeps these.
  void SetLayerStates(TLayerStates Value) { FLayerStates = Value; }
  bool MouseEvents() const { return (FLayerOptions & loMouseEvents) != 0; }
  void SetMouseEvents(bool Value);
  int Tag() const { return FTag; }
  void SetTag(int Value) { FTag = Value; }
  bool Visible() const { return (FLayerOptions & loVisible) != 0; }
  // Hiding is still reported as a layer update (through loForceUpdate).
  void SetVisible(bool Value);
  // The repaint optimiser's mark (loInvalid), changed without any report.
  bool Invalid() const { return (FLayerOptions & loInvalid) != 0; }
  void SetInvalid(bool Value);

  TNotifyEvent OnDestroy;
  THitTestEvent OnHitTest;
  TPaintLayerEvent OnPaint;
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

  // Expires when the layer is destroyed: taken before a handler runs, it
  // tells whether the layer survived it.
  std::weak_ptr<char> Alive() const { return FAlive; }

 protected:
  TCursor FCursor = crDefault;
  std::unique_ptr<std::vector<TCustomLayer*>> FFreeNotifies;
  TLayerCollection* FLayerCollection = nullptr;
  TLayerStates FLayerStates;
  std::uint32_t FLayerOptions = 0;
  int FTag = 0;
  bool FClicked = false;

 private:
  std::shared_ptr<char> FAlive = std::make_shared<char>();
  bool FDestroying = false;

  friend class TLayerCollection;
};

// Makes a layer of class L and runs Create with ALayerCollection, which
// then owns it; without a collection the caller frees it
// (TPlainInterfacedPersistent::Free).
template <class L, class... Args>
L* NewLayer(TLayerCollection* ALayerCollection, Args&&... args) {
  L* layer = New<L>(std::forward<Args>(args)...).release();
  layer->Create(ALayerCollection);
  return layer;
}

}  // namespace velkor::Raster_Layers
