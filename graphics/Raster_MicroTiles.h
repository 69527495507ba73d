// Micro-tiles: a grid of 32 x 32 pixel cells, each remembering one bounding
// rectangle of what changed inside it, and the routines that fill grids
// with rectangles and thick lines, merge grids and turn a grid back into a
// short list of rectangles.
//
// How a grid works
// ----------------
// A tile is one 32-bit value: left, top, right and bottom of its changed
// area relative to the tile's corner, in bytes 3 to 0, each 0..32 with
// right and bottom exclusive. 0 means unchanged, $00002020 the whole tile.
// A union never stores a degenerate value (left = right or top = bottom).
//
// The grid has Columns = (width shr 5) + 1 columns and Rows likewise, one
// more than needed when the size is a multiple of 32, and allocates
// (Columns + 1) x (Rows + 1) entries with a row stride of Columns: the
// spare entries let a used block reach index Columns or Rows (a rectangle
// clamped to the grid's far edge, or a reset of every tile) without leaving
// the array. BoundsUsedTiles is an inclusive block of tile indices outside
// of which every tile is 0; every routine here keeps it so, which lets the
// clearing, copying, merging and extraction touch the used block only.
// Nothing used is the inverted block (Columns, Rows, 0, 0).
//
// Coordinates are relative to the grid's own origin: BoundsRect places the
// grid but rectangles are added and extracted as if it started at (0, 0).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "graphics/Raster.h"
#include "graphics/Raster_Bindings.h"
#include "graphics/Raster_Containers.h"
#include "graphics/Raster_Layers.h"
#include "graphics/Raster_RepaintOpt.h"

namespace velkor::Raster_MicroTiles {

inline constexpr int MicroTileShift = 5;
inline constexpr int MicroTileSize = 1 << MicroTileShift;

using TMicroTile = std::uint32_t;
using PMicroTile = TMicroTile*;
using PMicroTileArray = TMicroTile*;
using TMicroTileArray = std::vector<TMicroTile>;

inline constexpr TMicroTile MicroTileEmpty = 0;
inline constexpr TMicroTile MicroTileFull = 0x00002020u;

constexpr TMicroTile MakeMicroTile(int Left, int Top, int Right, int Bottom) {
  return (std::uint32_t(Left & 0xFF) << 24) | (std::uint32_t(Top & 0xFF) << 16) | (std::uint32_t(Right & 0xFF) << 8) |
         std::uint32_t(Bottom & 0xFF);
}
constexpr int MicroTileLeft(TMicroTile T) { return int(T >> 24); }
constexpr int MicroTileTop(TMicroTile T) { return int((T >> 16) & 0xFF); }
constexpr int MicroTileRight(TMicroTile T) { return int((T >> 8) & 0xFF); }
constexpr int MicroTileBottom(TMicroTile T) { return int(T & 0xFF); }

struct TMicroTiles {
  TRect BoundsRect;
  int Columns = 0, Rows = 0;
  TRect BoundsUsedTiles;
  // (Columns + 1) x (Rows + 1) entries once sized, row-major with stride
  // Columns; empty before.
  TMicroTileArray Tiles;

  int Count() const { return static_cast<int>(Tiles.size()); }
  TMicroTile& Tile(int Column, int Row) { return Tiles[std::size_t(Row) * Columns + Column]; }
  const TMicroTile& Tile(int Column, int Row) const { return Tiles[std::size_t(Row) * Columns + Column]; }
};
using PMicroTiles = TMicroTiles*;
using PPMicroTiles = PMicroTiles*;

// Sizes the grid to Bounds (a negative extent counts as 0) and clears every
// entry. A grid too large to allocate raises std::bad_alloc and is left as
// it was.
void ResizeMicroTiles(TMicroTiles& Tiles, const TRect& Bounds);
// Every entry := Value; used block := nothing used.
void ClearMicroTiles(TMicroTiles& Tiles, TMicroTile Value = MicroTileEmpty);
// The used block := Value (callers pass 0); then nothing used.
void ClearUsedMicroTiles(TMicroTiles& Tiles, TMicroTile Value = MicroTileEmpty);
// Dst takes Src's geometry and used block; only the used block is copied.
void CopyMicroTiles(TMicroTiles& Dst, const TMicroTiles& Src);

// The bound union of one tile into another, and of Src's used block into
// Dst (positions outside Dst's array are skipped). Bound at start-up through
// "Raster_MicroTiles bindings", ids 0 and 1; both variants give identical
// results.
using TUniteMicroTileProc = void (*)(TMicroTile& Dst, TMicroTile Src);
using TUniteMicroTileSetsProc = void (*)(TMicroTiles& Dst, const TMicroTiles& Src);
extern TUniteMicroTileProc UniteMicroTile;
extern TUniteMicroTileSetsProc UniteMicroTileSets;
inline constexpr int FID_UNITEMICROTILE = 0;
inline constexpr int FID_UNITEMICROTILESETS = 1;
// The module's registry while the module runs, else nullptr.
extern Raster_Bindings::TFunctionRegistry* MicroTilesRegistry;

// Src into Dst: with WholeTiles every changed tile of Src's used block makes
// Dst's tile full, otherwise the bound set union. Dst's used block grows to
// include Src's.
void MergeMicroTiles(TMicroTiles& Dst, const TMicroTiles& Src, bool WholeTiles);

// Rect (either orientation) clamped to the grid. WholeTiles marks every
// touched tile full, a zero-width or zero-height rectangle included.
void AddRectToMicroTiles(TMicroTiles& Tiles, const TRect& Rect, bool WholeTiles);
// A line of LineWidth, added as the rectangles of 32-pixel segments along
// its major axis, each grown by twice the width. Any end points are
// accepted: the arithmetic is 64-bit and only segments that can reach the
// grid are visited.
void AddLineToMicroTiles(TMicroTiles& Tiles, int X1, int Y1, int X2, int Y2, int LineWidth, bool WholeTiles);

// The changed areas as rectangles joined along rows and down columns,
// clamped to Clip (the short form: to BoundsRect), appended to DstRects
// unless CountOnly; the result is their number.
int MicroTilesToRects(const TMicroTiles& Tiles, Raster_Containers::TRectList* DstRects, const TRect& Clip,
                      bool CountOnly = false, bool WholeTiles = false);
int MicroTilesToRects(const TMicroTiles& Tiles, Raster_Containers::TRectList* DstRects, bool CountOnly = false,
                      bool WholeTiles = false);

// Grows Area by Dx and Dy on every side; a reversed side grows outward too
// (Dx is negated when Left > Right, Dy when Top > Bottom). Results beyond
// the 32-bit range saturate.
void ExpandArea(TRect& Area, int Dx, int Dy);

// --- The repaint optimiser over micro-tiles ------------------------------------------
//
// For each layer the optimiser keeps its footprint: the tiles it covered
// when it was last painted, measured by running the layer's own painting
// in the buffer's measuring mode (nothing is drawn; every primitive reports
// its area). A layer that reports a change is marked loInvalid and queued;
// before the next paint it is measured again, and both its old and its new
// footprint become invalid. Direct drawing into the buffer and resets go
// into a second, "forced" set. Footprints are stale after a reset or while
// disabled; an update that arrives then is ignored, because the next
// UpdatesAvailable measures every layer anyway.
//
// Adaptive mode times each redrawing of the buffer (BeginPaintBuffer to
// EndPaintBuffer) and moves between three levels when precision does not
// pay: 0 exact rectangles, 1 whole tiles, 2 whole tiles with the list
// emptied so that the owner repaints the whole scene. A timed check every
// 1 to 5 seconds tries the finer level again.

// Maps a layer (any pointer) to a footprint record it owns.
class TMicroTilesMap : public Raster_Containers::TPointerMap {
 public:
  ~TMicroTilesMap() override { Clear(); }

  // Item's record; a new item gets an empty one (no tile array).
  PMicroTiles Add(void* Item);
  // Item's record; an absent item raises EListError "Item not found ($0<hex>)".
  PMicroTiles GetData(const void* Item) const {
    return static_cast<PMicroTiles>(Raster_Containers::TPointerMap::GetData(Item));
  }
  void SetData(const void* Item, PMicroTiles Data) { Raster_Containers::TPointerMap::SetData(Item, Data); }
  // Item's record, or nullptr when absent.
  PMicroTiles Find(const void* Item);
  // Frees the record.
  Raster_Containers::PData Delete(int BucketIndex, int ItemIndex) override;
};

// The optimiser's clocks: a microsecond interval timer and a millisecond
// tick counter. Tests install their own; empty members use TPerfTimer and
// GetTickCount32.
struct TRepaintTiming {
  std::function<void()> StartTimer;
  std::function<std::int64_t()> ReadTimer;
  std::function<std::uint32_t()> TickCount;
};

class TMicroTilesRepaintOptimizer : public Raster_RepaintOpt::TCustomRepaintOptimizer {
 public:
  TMicroTilesRepaintOptimizer(TBitmap32* Buffer, Raster_Containers::TRectList* InvalidRects);
  ~TMicroTilesRepaintOptimizer() override;

  // On: installs the three handlers in every registered collection and
  // resets to the buffer's size. Off: removes them and drops all tiles.
  void SetEnabled(bool Value) override;

  void LayerListNotifyHandler(Raster_Layers::TLayerCollection* Sender, Raster_Layers::TLayerListNotification Action,
                              Raster_Layers::TCustomLayer* Layer, int Index) override;
  // While enabled, a newly registered collection's layers are measured and
  // their areas made invalid; an unregistered one's footprints become
  // invalid and are forgotten.
  void RegisterLayerCollection(Raster_Layers::TLayerCollection* Layers) override;
  void UnregisterLayerCollection(Raster_Layers::TLayerCollection* Layers) override;

  void BeginPaintBuffer() override;
  void EndPaintBuffer() override;

  void Reset() override;
  bool UpdatesAvailable() override;
  void PerformOptimization() override;
  void AreaUpdateHandler(TPersistent* Sender, const TRect& Area, std::uint32_t Info) override;
  void LayerUpdateHandler(TPersistent* Sender, Raster_Layers::TCustomLayer* Layer) override;
  void BufferResizedHandler(int NewWidth, int NewHeight) override;

  bool AdaptiveMode() const { return FAdaptiveMode; }
  // A change restarts the adaption at level 0.
  void SetAdaptiveMode(bool Value);
  void SetTiming(TRepaintTiming Timing);

  // Diagnostics: the adaptive level (0..2) and the timed-check interval.
  int PerformanceLevel() const { return FPerformanceLevel; }
  int TimeDelta() const { return FTimeDelta; }

 protected:
  void PrepareWorkingTiles();
  void RebuildLayerFootprints();
  void MeasureLayer(TMicroTiles& Tiles, Raster_Layers::TCustomLayer* Layer);
  void AddMeasuredArea(TMicroTiles& Tiles, const TRect& Area, std::uint32_t Info);
  void RestartAdaption();
  void AdaptBeforeRepaint();
  void AdaptAfterRepaint();

 private:
  void InstallHandlers(Raster_Layers::TLayerCollection* Layers);
  // Merges Layer's footprint into the invalid tiles and forgets it.
  void DropFootprint(Raster_Layers::TCustomLayer* Layer);
  void ForgetInvalidLayer(Raster_Layers::TCustomLayer* Layer);
  bool InRegisteredCollection(const void* Layer) const;
  bool CheckDue();
  void ScheduleCheck(std::int64_t Delta);

  TRect FBufferBounds;
  TMicroTiles* FWorkMicroTiles = nullptr;
  TMicroTiles FTempTiles, FInvalidTiles, FForcedInvalidTiles;
  std::vector<Raster_Layers::TCustomLayer*> FInvalidLayers;
  // The layers PerformOptimization is measuring; a deleted one becomes nil.
  std::vector<Raster_Layers::TCustomLayer*>* FMeasuredLayers = nullptr;
  TMicroTilesMap FOldInvalidTilesMap;
  bool FWorkingTilesValid = false;
  bool FOldInvalidTilesValid = false;
  bool FUseInvalidTiles = false;
  bool FAdaptiveMode = true;
  bool FMeasuring = false;

  Raster_System::TPerfTimer FPerfTimer;
  TRepaintTiming FTiming;
  int FPerformanceLevel = 0;
  std::int64_t FElapsedTimeForLastRepaint = 0;
  std::int64_t FElapsedTimeForFullSceneRepaint = 0;
  bool FAdaptionFailed = false;
  bool FTimedCheck = false;
  int FTimeDelta = 0;
  std::uint32_t FNextCheck = 0;
  bool FNextCheckScheduled = false;  // until the first schedule a check is due at once
  std::int64_t FElapsedTimeOnLastPenalty = 0;
  int FOldInvalidRectsCount = 0;
};

// Creates, fills and binds "Raster_MicroTiles bindings".
void RegisterMicroTilesBindings();

void Startup();
void Shutdown();

}  // namespace velkor::Raster_MicroTiles
