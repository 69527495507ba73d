// The protocol between a control that keeps its picture in an off-screen
// 32-bit buffer and a repaint optimiser, which collects every change that
// the buffer and the layers drawn into it report and turns them into a
// short list of invalid rectangles just before each paint.
//
// The owner drives it:
//   1. creates it over its buffer and its invalid-rectangle list, then sets
//      Enabled when it repaints optimised;
//   2. registers its layer collections (the optimiser installs its handlers
//      in them);
//   3. installs AreaUpdateHandler as the buffer's area-changed event;
//   4. calls BufferResizedHandler after resizing the buffer, Reset to force
//      a full repaint;
//   5. per paint: UpdatesAvailable, then BeginPaint, PerformOptimization
//      (fills the list), BeginPaintBuffer, redraws the invalid areas,
//      EndPaintBuffer, EndPaint; then empties the list itself.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/Raster.h"
#include "graphics/Raster_Containers.h"
#include "graphics/Raster_Layers.h"

namespace velkor::Raster_RepaintOpt {

class TCustomRepaintOptimizer {
 public:
  // Both are borrowed: the optimiser appends to InvalidRects.
  TCustomRepaintOptimizer(TBitmap32* Buffer, Raster_Containers::TRectList* InvalidRects);
  // Unregisters every collection still registered.
  virtual ~TCustomRepaintOptimizer();
  TCustomRepaintOptimizer(const TCustomRepaintOptimizer&) = delete;
  TCustomRepaintOptimizer& operator=(const TCustomRepaintOptimizer&) = delete;

  virtual bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value) { FEnabled = Value; }

  virtual void LayerListNotifyHandler(Raster_Layers::TLayerCollection* Sender,
                                      Raster_Layers::TLayerListNotification Action,
                                      Raster_Layers::TCustomLayer* Layer, int Index) = 0;

  // Adds Layers (once) and installs the list-notification handler in it.
  // A collection destroyed while registered unregisters itself, after its
  // layers have reported their deletion.
  virtual void RegisterLayerCollection(Raster_Layers::TLayerCollection* Layers);
  // Clears the collection's layer-update, area-update and list-notification
  // events and forgets it.
  virtual void UnregisterLayerCollection(Raster_Layers::TLayerCollection* Layers);

  // Brackets of the paint and of the buffer's redrawing; nothing here.
  virtual void BeginPaint() {}
  virtual void EndPaint() {}
  virtual void BeginPaintBuffer() {}
  virtual void EndPaintBuffer() {}

  virtual void Reset() = 0;
  virtual bool UpdatesAvailable() = 0;
  virtual void PerformOptimization() = 0;
  virtual void AreaUpdateHandler(TPersistent* Sender, const TRect& Area, std::uint32_t Info) = 0;
  virtual void LayerUpdateHandler(TPersistent* Sender, Raster_Layers::TCustomLayer* Layer) = 0;
  virtual void BufferResizedHandler(int NewWidth, int NewHeight) = 0;

  TBitmap32* Buffer() const { return FBuffer; }
  Raster_Containers::TRectList* InvalidRects() const { return FInvalidRects; }
  const std::vector<Raster_Layers::TLayerCollection*>& LayerCollections() const { return FLayerCollections; }

 protected:
  bool IsRegistered(const Raster_Layers::TLayerCollection* Layers) const;
  // Installs LayerListNotifyHandler as the collection's OnListNotify.
  void InstallListHandler(Raster_Layers::TLayerCollection* Layers);

  bool FEnabled = false;
  std::vector<Raster_Layers::TLayerCollection*> FLayerCollections;
  Raster_Containers::TRectList* FInvalidRects = nullptr;
  TBitmap32* FBuffer = nullptr;
};

}  // namespace velkor::Raster_RepaintOpt
