#include "graphics/Raster_RepaintOpt.h"

#include <algorithm>

namespace velkor::Raster_RepaintOpt {

using Raster_Layers::TLayerCollection;

TCustomRepaintOptimizer::TCustomRepaintOptimizer(TBitmap32* Buffer, Raster_Containers::TRectList* InvalidRects)
    : FInvalidRects(InvalidRects), FBuffer(Buffer) {}

TCustomRepaintOptimizer::~TCustomRepaintOptimizer() {
  while (!FLayerCollections.empty()) TCustomRepaintOptimizer::UnregisterLayerCollection(FLayerCollections.back());
}

bool TCustomRepaintOptimizer::IsRegistered(const TLayerCollection* Layers) const {
  return std::find(FLayerCollections.begin(), FLayerCollections.end(), Layers) != FLayerCollections.end();
}

void TCustomRepaintOptimizer::InstallListHandler(TLayerCollection* Layers) {
  Layers->OnListNotify = [this](TLayerCollection* Sender, Raster_Layers::TLayerListNotification Action,
                                Raster_Layers::TCustomLayer* Layer, int Index) {
    LayerListNotifyHandler(Sender, Action, Layer, Index);
  };
}

void TCustomRepaintOptimizer::RegisterLayerCollection(TLayerCollection* Layers) {
  if (!Layers) return;
  if (!IsRegistered(Layers)) {
    FLayerCollections.push_back(Layers);
    Layers->FRepaintOptimizers.push_back(this);
  }
  InstallListHandler(Layers);
}

void TCustomRepaintOptimizer::UnregisterLayerCollection(TLayerCollection* Layers) {
  if (!Layers) return;
  Layers->OnLayerUpdated = nullptr;
  Layers->OnAreaUpdated = nullptr;
  Layers->OnListNotify = nullptr;
  FLayerCollections.erase(std::remove(FLayerCollections.begin(), FLayerCollections.end(), Layers),
                          FLayerCollections.end());
  std::erase(Layers->FRepaintOptimizers, this);
}

}  // namespace velkor::Raster_RepaintOpt
