// The repaint optimiser over micro-tiles; see Raster_MicroTiles.h.
#include <algorithm>
#include <memory>
#include <utility>

#include "graphics/Raster_MicroTiles.h"

namespace velkor::Raster_MicroTiles {

using Raster_Layers::TCustomLayer;
using Raster_Layers::TLayerCollection;
using Raster_Layers::TLayerListNotification;

namespace {

constexpr int kMinTimeDelta = 1000, kMaxTimeDelta = 5000;

int ClampTimeDelta(int Value) { return std::clamp(Value, kMinTimeDelta, kMaxTimeDelta); }

}  // namespace

// --- TMicroTilesMap ---------------------------------------------------------------------

PMicroTiles TMicroTilesMap::Add(void* Item) {
  if (PMicroTiles found = Find(Item)) return found;
  auto record = std::make_unique<TMicroTiles>();
  Raster_Containers::TPointerMap::Add(Item, record.get());
  return record.release();
}

PMicroTiles TMicroTilesMap::Find(const void* Item) {
  Raster_Containers::PPData slot;
  return Raster_Containers::TPointerMap::Find(Item, slot) ? static_cast<PMicroTiles>(*slot) : nullptr;
}

Raster_Containers::PData TMicroTilesMap::Delete(int BucketIndex, int ItemIndex) {
  delete static_cast<PMicroTiles>(Raster_Containers::TPointerMap::Delete(BucketIndex, ItemIndex));
  return nullptr;
}

// --- TMicroTilesRepaintOptimizer ----------------------------------------------------------

TMicroTilesRepaintOptimizer::TMicroTilesRepaintOptimizer(TBitmap32* Buffer, Raster_Containers::TRectList* InvalidRects)
    : TCustomRepaintOptimizer(Buffer, InvalidRects) {}

TMicroTilesRepaintOptimizer::~TMicroTilesRepaintOptimizer() {
  // The collections must not call into this object once its part is gone.
  while (!FLayerCollections.empty()) TCustomRepaintOptimizer::UnregisterLayerCollection(FLayerCollections.back());
}

void TMicroTilesRepaintOptimizer::SetTiming(TRepaintTiming Timing) { FTiming = std::move(Timing); }

void TMicroTilesRepaintOptimizer::InstallHandlers(TLayerCollection* Layers) {
  Layers->OnLayerUpdated = [this](TPersistent* Sender, TCustomLayer* Layer) { LayerUpdateHandler(Sender, Layer); };
  Layers->OnAreaUpdated = [this](TPersistent* Sender, const TRect& Area, std::uint32_t Info) {
    AreaUpdateHandler(Sender, Area, Info);
  };
  InstallListHandler(Layers);
}

void TMicroTilesRepaintOptimizer::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  if (Value) {
    for (TLayerCollection* c : FLayerCollections) InstallHandlers(c);
    BufferResizedHandler(FBuffer ? FBuffer->Width() : 0, FBuffer ? FBuffer->Height() : 0);
  } else {
    for (TLayerCollection* c : FLayerCollections) {
      c->OnLayerUpdated = nullptr;
      c->OnAreaUpdated = nullptr;
      c->OnListNotify = nullptr;
    }
    FTempTiles = {};
    FInvalidTiles = {};
    FForcedInvalidTiles = {};
    FWorkingTilesValid = false;
    FUseInvalidTiles = false;
    FOldInvalidTilesValid = false;
    FOldInvalidTilesMap.Clear();
    FInvalidLayers.clear();
  }
  FEnabled = Value;
}

bool TMicroTilesRepaintOptimizer::InRegisteredCollection(const void* Layer) const {
  for (const TLayerCollection* c : FLayerCollections) {
    for (int i = 0; i < c->Count(); ++i) {
      if (c->Items(i) == Layer) return true;
    }
  }
  return false;
}

void TMicroTilesRepaintOptimizer::ForgetInvalidLayer(TCustomLayer* Layer) {
  FInvalidLayers.erase(std::remove(FInvalidLayers.begin(), FInvalidLayers.end(), Layer), FInvalidLayers.end());
  if (FMeasuredLayers) std::replace(FMeasuredLayers->begin(), FMeasuredLayers->end(), Layer, static_cast<TCustomLayer*>(nullptr));
}

void TMicroTilesRepaintOptimizer::DropFootprint(TCustomLayer* Layer) {
  if (FOldInvalidTilesValid) {
    if (PMicroTiles footprint = FOldInvalidTilesMap.Find(Layer)) {
      PrepareWorkingTiles();
      MergeMicroTiles(FInvalidTiles, *footprint, false);
      FUseInvalidTiles = true;
    }
  }
  ForgetInvalidLayer(Layer);
  FOldInvalidTilesMap.Remove(Layer);
}

void TMicroTilesRepaintOptimizer::LayerListNotifyHandler(TLayerCollection*, TLayerListNotification Action,
                                                         TCustomLayer* Layer, int) {
  switch (Action) {
    case Raster_Layers::lnLayerAdded:
    case Raster_Layers::lnLayerInserted:
      if (Layer) {
        ResizeMicroTiles(*FOldInvalidTilesMap.Add(Layer), FBuffer ? FBuffer->BoundsRect() : FBufferBounds);
        FOldInvalidTilesValid = true;
      }
      break;
    case Raster_Layers::lnLayerDeleted:
      // A layer never announced (or deleted twice) has no footprint: nothing
      // to invalidate.
      DropFootprint(Layer);
      break;
    case Raster_Layers::lnCleared: {
      // The cleared collection's layers have gone through lnLayerDeleted
      // already; footprints of layers in other registered collections stay.
      std::vector<void*> stale;
      Raster_Containers::TPointerMapIterator it(FOldInvalidTilesMap);
      while (it.Next()) {
        if (!InRegisteredCollection(it.Item())) stale.push_back(it.Item());
      }
      if (FOldInvalidTilesValid) {
        PrepareWorkingTiles();
        for (void* item : stale) MergeMicroTiles(FInvalidTiles, *FOldInvalidTilesMap.Find(item), false);
        FUseInvalidTiles = true;
        RestartAdaption();
      }
      for (void* item : stale) FOldInvalidTilesMap.Remove(item);
      FOldInvalidTilesValid = true;
      break;
    }
  }
}

void TMicroTilesRepaintOptimizer::RegisterLayerCollection(TLayerCollection* Layers) {
  if (!Layers) return;
  const bool isNew = !IsRegistered(Layers);
  TCustomRepaintOptimizer::RegisterLayerCollection(Layers);
  if (!FEnabled) return;
  InstallHandlers(Layers);
  if (!isNew || !FOldInvalidTilesValid) return;
  // Its layers are on the screen from now on, as after a reset.
  PrepareWorkingTiles();
  for (int i = 0; i < Layers->Count(); ++i) {
    TCustomLayer* layer = Layers->Items(i);
    const std::weak_ptr<char> alive = layer->Alive();
    PMicroTiles footprint = FOldInvalidTilesMap.Add(layer);
    ResizeMicroTiles(*footprint, FBufferBounds);
    MeasureLayer(*footprint, layer);
    if (alive.expired()) continue;
    layer->SetInvalid(false);
    if ((footprint = FOldInvalidTilesMap.Find(layer))) MergeMicroTiles(FInvalidTiles, *footprint, false);
    FUseInvalidTiles = true;
  }
}

void TMicroTilesRepaintOptimizer::UnregisterLayerCollection(TLayerCollection* Layers) {
  if (Layers && FEnabled && IsRegistered(Layers)) {
    for (int i = 0; i < Layers->Count(); ++i) {
      TCustomLayer* layer = Layers->Items(i);
      DropFootprint(layer);
      layer->SetInvalid(false);
    }
  }
  TCustomRepaintOptimizer::UnregisterLayerCollection(Layers);
}

void TMicroTilesRepaintOptimizer::PrepareWorkingTiles() {
  if (FWorkingTilesValid) return;
  ResizeMicroTiles(FTempTiles, FBufferBounds);
  ResizeMicroTiles(FInvalidTiles, FBufferBounds);
  ResizeMicroTiles(FForcedInvalidTiles, FBufferBounds);
  FWorkingTilesValid = true;
}

void TMicroTilesRepaintOptimizer::RebuildLayerFootprints() {
  if (FOldInvalidTilesValid) return;
  PrepareWorkingTiles();
  const std::vector<TLayerCollection*> collections = FLayerCollections;
  for (TLayerCollection* c : collections) {
    if (!IsRegistered(c)) continue;  // unregistered by a layer's painting
    for (int i = 0; i < c->Count(); ++i) {
      TCustomLayer* layer = c->Items(i);
      const std::weak_ptr<char> alive = layer->Alive();
      PMicroTiles footprint = FOldInvalidTilesMap.Add(layer);
      ResizeMicroTiles(*footprint, FBufferBounds);
      MeasureLayer(*footprint, layer);
      if (!alive.expired()) layer->SetInvalid(false);
    }
  }
  FInvalidLayers.clear();
  FOldInvalidTilesValid = true;
  FUseInvalidTiles = false;
}

void TMicroTilesRepaintOptimizer::MeasureLayer(TMicroTiles& Tiles, TCustomLayer* Layer) {
  if (!FBuffer) return;
  TMicroTiles* const saved = FWorkMicroTiles;
  const bool outermost = !FMeasuring;
  FWorkMicroTiles = &Tiles;
  if (outermost) {
    FBuffer->BeginMeasuring([this](TPersistent*, const TRect& Area, std::uint32_t Info) {
      if (FWorkMicroTiles) AddMeasuredArea(*FWorkMicroTiles, Area, Info);
    });
    FMeasuring = true;
  }
  struct Restore {
    TMicroTilesRepaintOptimizer* self;
    TMicroTiles* saved;
    bool outermost;
    ~Restore() {
      if (outermost) {
        self->FBuffer->EndMeasuring();
        self->FMeasuring = false;
      }
      self->FWorkMicroTiles = saved;
    }
  } restore{this, saved, outermost};
  Layer->DrawLayer(FBuffer);
}

void TMicroTilesRepaintOptimizer::AddMeasuredArea(TMicroTiles& Tiles, const TRect& Area, std::uint32_t Info) {
  const bool wholeTiles = FPerformanceLevel > 0;
  if (Info & AREAINFO_LINE) {
    // Grown by the width here and again inside: a line's footprint is
    // generous on purpose.
    const int width = int(Info & 0x00FFFFFFu);
    TRect line = Area;
    ExpandArea(line, width, width);
    AddLineToMicroTiles(Tiles, line.Left, line.Top, line.Right, line.Bottom, width, wholeTiles);
  } else {
    AddRectToMicroTiles(Tiles, Area, wholeTiles);
  }
}

void TMicroTilesRepaintOptimizer::AreaUpdateHandler(TPersistent*, const TRect& Area, std::uint32_t Info) {
  PrepareWorkingTiles();
  AddMeasuredArea(FForcedInvalidTiles, Area, Info);
  FUseInvalidTiles = true;
}

void TMicroTilesRepaintOptimizer::LayerUpdateHandler(TPersistent*, TCustomLayer* Layer) {
  if (!FOldInvalidTilesValid || !Layer || Layer->Invalid()) return;
  FInvalidLayers.push_back(Layer);
  Layer->SetInvalid(true);
  FUseInvalidTiles = true;
}

void TMicroTilesRepaintOptimizer::BufferResizedHandler(int NewWidth, int NewHeight) {
  FBufferBounds = {0, 0, NewWidth, NewHeight};
  Reset();
}

void TMicroTilesRepaintOptimizer::Reset() {
  FWorkingTilesValid = false;
  FOldInvalidTilesValid = false;
  RebuildLayerFootprints();
  ClearMicroTiles(FForcedInvalidTiles, MicroTileFull);
  FForcedInvalidTiles.BoundsUsedTiles = {0, 0, FForcedInvalidTiles.Columns, FForcedInvalidTiles.Rows};
  FUseInvalidTiles = true;
}

bool TMicroTilesRepaintOptimizer::UpdatesAvailable() {
  RebuildLayerFootprints();
  return FUseInvalidTiles;
}

void TMicroTilesRepaintOptimizer::PerformOptimization() {
  if (FUseInvalidTiles) {
    PrepareWorkingTiles();
    const bool wholeTiles = FPerformanceLevel > 0;
    // Layers that report a change while these are measured wait in
    // FInvalidLayers for the next paint; one deleted meanwhile becomes nil
    // here (its deletion invalidated its footprint already).
    std::vector<TCustomLayer*> measured;
    measured.swap(FInvalidLayers);
    FMeasuredLayers = &measured;
    std::size_t next = 0;
    struct Restore {
      TMicroTilesRepaintOptimizer* self;
      std::vector<TCustomLayer*>& measured;
      std::size_t& next;
      ~Restore() {
        self->FMeasuredLayers = nullptr;
        // After an exception, the layers not done yet stay queued.
        for (std::size_t i = next; i < measured.size(); ++i) {
          if (measured[i]) self->FInvalidLayers.push_back(measured[i]);
        }
      }
    } restore{this, measured, next};

    for (; next < measured.size(); ++next) {
      TCustomLayer* layer = measured[next];
      if (!layer) continue;
      ClearUsedMicroTiles(FTempTiles);
      MeasureLayer(FTempTiles, layer);
      if (!measured[next]) continue;
      PMicroTiles footprint = FOldInvalidTilesMap.Find(layer);
      if (!footprint) {  // never announced: no old area
        footprint = FOldInvalidTilesMap.Add(layer);
        ResizeMicroTiles(*footprint, FBufferBounds);
      }
      MergeMicroTiles(FInvalidTiles, FTempTiles, wholeTiles);
      MergeMicroTiles(FInvalidTiles, *footprint, wholeTiles);
      CopyMicroTiles(*footprint, FTempTiles);
      layer->SetInvalid(false);
    }

    if (FInvalidRects) {
      MicroTilesToRects(FInvalidTiles, FInvalidRects, false, wholeTiles);
      MicroTilesToRects(FForcedInvalidTiles, FInvalidRects, false, wholeTiles);
    }
  }
  AdaptBeforeRepaint();
  ClearUsedMicroTiles(FInvalidTiles);
  ClearUsedMicroTiles(FForcedInvalidTiles);
}

void TMicroTilesRepaintOptimizer::BeginPaintBuffer() {
  if (!FAdaptiveMode) return;
  if (FTiming.StartTimer) {
    FTiming.StartTimer();
  } else {
    FPerfTimer.Start();
  }
}

void TMicroTilesRepaintOptimizer::EndPaintBuffer() {
  // Layers that changed while others were measured keep the next paint due.
  FUseInvalidTiles = !FInvalidLayers.empty();
  AdaptAfterRepaint();
}

// --- Adaptive mode ----------------------------------------------------------------------

void TMicroTilesRepaintOptimizer::SetAdaptiveMode(bool Value) {
  if (Value == FAdaptiveMode) return;
  FAdaptiveMode = Value;
  RestartAdaption();
}

void TMicroTilesRepaintOptimizer::RestartAdaption() {
  FTimeDelta = kMinTimeDelta;
  FAdaptionFailed = false;
  FPerformanceLevel = 0;
}

bool TMicroTilesRepaintOptimizer::CheckDue() {
  if (!FNextCheckScheduled) return true;
  const std::uint32_t tick = FTiming.TickCount ? FTiming.TickCount() : Raster_System::GetTickCount32();
  // By signed difference: a deadline across the counter's wrap still works.
  return static_cast<std::int32_t>(tick - FNextCheck) > 0;
}

void TMicroTilesRepaintOptimizer::ScheduleCheck(std::int64_t Delta) {
  const std::uint32_t tick = FTiming.TickCount ? FTiming.TickCount() : Raster_System::GetTickCount32();
  FNextCheck = tick + static_cast<std::uint32_t>(Delta);
  FNextCheckScheduled = true;
}

void TMicroTilesRepaintOptimizer::AdaptBeforeRepaint() {
  if (!FAdaptiveMode || FPerformanceLevel <= 0) return;
  const int rectCount = FInvalidRects ? FInvalidRects->Count() : 0;
  if (CheckDue()) {
    FPerformanceLevel = std::clamp(FPerformanceLevel - 1, 0, 2);
    FTimedCheck = true;
  } else if (!FAdaptionFailed && rectCount < FOldInvalidRectsCount - 10) {
    FPerformanceLevel = std::clamp(FPerformanceLevel - 1, 0, 2);
  } else if (FPerformanceLevel == 2 && FInvalidRects) {
    FInvalidRects->Clear();  // the owner repaints the whole scene
  }
}

void TMicroTilesRepaintOptimizer::AdaptAfterRepaint() {
  const std::int64_t elapsed = FTiming.ReadTimer ? FTiming.ReadTimer() : FPerfTimer.ReadValue();
  const int rectCount = FInvalidRects ? FInvalidRects->Count() : 0;
  if (rectCount == 0) {
    FElapsedTimeForFullSceneRepaint = elapsed;
  } else if (FAdaptiveMode) {
    if (elapsed > FElapsedTimeForFullSceneRepaint) {
      const int level = std::min(FPerformanceLevel + 1, 2);
      if (level != FPerformanceLevel) {
        FOldInvalidRectsCount = rectCount;
        FPerformanceLevel = level;
        if (FTimedCheck) {
          FTimeDelta = ClampTimeDelta(FTimeDelta + 250);
          ScheduleCheck(FTimeDelta);
          FElapsedTimeOnLastPenalty = elapsed;
          FTimedCheck = false;
        }
        FAdaptionFailed = true;
      }
    } else if (elapsed < FElapsedTimeForFullSceneRepaint) {
      if (FTimedCheck) {
        FTimeDelta = kMinTimeDelta;
        ScheduleCheck(kMinTimeDelta);
        FTimedCheck = false;
      } else if (FTimeDelta > kMinTimeDelta) {
        FTimeDelta = ClampTimeDelta(FTimeDelta - 1000);
        ScheduleCheck(FTimeDelta);
      }
      FAdaptionFailed = false;
    } else if (elapsed < FElapsedTimeOnLastPenalty && FTimedCheck) {
      FTimeDelta = ClampTimeDelta(FTimeDelta - 250);
      ScheduleCheck(FTimeDelta);
      FTimedCheck = false;
    }
  }
  FElapsedTimeForLastRepaint = elapsed;
}

}  // namespace velkor::Raster_MicroTiles
