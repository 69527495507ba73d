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
#include <vector>

#include "graphics/Raster.h"
#include "graphics/Raster_Bindings.h"
#include "graphics/Raster_Containers.h"

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

// Creates, fills and binds "Raster_MicroTiles bindings".
void RegisterMicroTilesBindings();

void Startup();
void Shutdown();

}  // namespace velkor::Raster_MicroTiles
