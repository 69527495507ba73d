#include "graphics/Raster_MicroTiles.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <utility>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace velkor::Raster_MicroTiles {

TUniteMicroTileProc UniteMicroTile = nullptr;
TUniteMicroTileSetsProc UniteMicroTileSets = nullptr;
Raster_Bindings::TFunctionRegistry* MicroTilesRegistry = nullptr;

namespace {

Raster_System::TUnitInitCounter gUnitCounter;

using std::int64_t;

constexpr bool IsDegenerate(TMicroTile T) {
  return MicroTileLeft(T) == MicroTileRight(T) || MicroTileTop(T) == MicroTileBottom(T);
}

std::int32_t Saturate(int64_t V) {
  return static_cast<std::int32_t>(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX));
}

// Floor and ceiling of a quotient whose divisor is positive.
int64_t FloorDiv(int64_t A, int64_t B) { return A >= 0 ? A / B : -((-A + B - 1) / B); }
int64_t CeilDiv(int64_t A, int64_t B) { return -FloorDiv(-A, B); }

// The used block limited to the grid's tile indices 0..Columns, 0..Rows;
// False when nothing is used or the grid has no array.
bool UsedBlock(const TMicroTiles& T, int& L, int& Tp, int& R, int& B) {
  L = std::max(0, T.BoundsUsedTiles.Left);
  Tp = std::max(0, T.BoundsUsedTiles.Top);
  R = std::min(T.Columns, T.BoundsUsedTiles.Right);
  B = std::min(T.Rows, T.BoundsUsedTiles.Bottom);
  return T.Count() > 0 && L <= R && Tp <= B;
}

// The positions of Src's used block that also lie in Dst's grid.
bool SharedBlock(const TMicroTiles& Dst, const TMicroTiles& Src, int& L, int& Tp, int& R, int& B) {
  if (Dst.Count() == 0 || !UsedBlock(Src, L, Tp, R, B)) return false;
  R = std::min(R, Dst.Columns);
  B = std::min(B, Dst.Rows);
  return L <= R && Tp <= B;
}

void GrowUsedBlock(TMicroTiles& T, int L, int Tp, int R, int B) {
  TRect& used = T.BoundsUsedTiles;
  used.Left = std::min(used.Left, L);
  used.Top = std::min(used.Top, Tp);
  used.Right = std::max(used.Right, R);
  used.Bottom = std::max(used.Bottom, B);
}

// --- The two variants of the unions ---------------------------------------------------

void UniteMicroTilePortable(TMicroTile& Dst, TMicroTile Src) {
  if (Dst == MicroTileFull || Src == MicroTileEmpty || IsDegenerate(Src)) return;
  if (Dst == MicroTileEmpty || Src == MicroTileFull) {
    Dst = Src;
    return;
  }
  Dst = MakeMicroTile(std::min(MicroTileLeft(Dst), MicroTileLeft(Src)), std::min(MicroTileTop(Dst), MicroTileTop(Src)),
                      std::max(MicroTileRight(Dst), MicroTileRight(Src)),
                      std::max(MicroTileBottom(Dst), MicroTileBottom(Src)));
}

void UniteMicroTileSetsPortable(TMicroTiles& Dst, const TMicroTiles& Src) {
  int L, T, R, B;
  if (!SharedBlock(Dst, Src, L, T, R, B)) return;
  for (int row = T; row <= B; ++row) {
    TMicroTile* d = &Dst.Tile(L, row);
    const TMicroTile* s = &Src.Tile(L, row);
    for (int i = 0; i <= R - L; ++i) UniteMicroTilePortable(d[i], s[i]);
  }
}

#if defined(__x86_64__)
// Left and top (bytes 3 and 2) take the byte minimum, right and bottom
// (bytes 1 and 0) the maximum; the special cases of the single-tile rule
// become lane masks.
[[gnu::always_inline]] inline __m128i Select(__m128i Mask, __m128i A, __m128i B) {
  return _mm_or_si128(_mm_and_si128(Mask, A), _mm_andnot_si128(Mask, B));
}

[[gnu::always_inline]] inline __m128i UniteLanes(__m128i D, __m128i S) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i full = _mm_set1_epi32(int(MicroTileFull));
  const __m128i low16 = _mm_set1_epi32(0x0000FFFF);
  // Byte 0 compares top with bottom, byte 1 left with right.
  const __m128i sameEdges = _mm_and_si128(_mm_cmpeq_epi8(_mm_srli_epi32(S, 16), S), low16);
  const __m128i degenerate = _mm_xor_si128(_mm_cmpeq_epi32(sameEdges, zero), _mm_set1_epi32(-1));
  const __m128i keep = _mm_or_si128(_mm_cmpeq_epi32(D, full), degenerate);
  const __m128i take = _mm_or_si128(_mm_cmpeq_epi32(D, zero), _mm_cmpeq_epi32(S, full));
  const __m128i united = Select(_mm_set1_epi32(int(0xFFFF0000u)), _mm_min_epu8(D, S), _mm_max_epu8(D, S));
  return Select(keep, D, Select(take, S, united));
}

void UniteMicroTileSSE2(TMicroTile& Dst, TMicroTile Src) {
  Dst = TMicroTile(_mm_cvtsi128_si32(UniteLanes(_mm_cvtsi32_si128(int(Dst)), _mm_cvtsi32_si128(int(Src)))));
}

void UniteMicroTileSetsSSE2(TMicroTiles& Dst, const TMicroTiles& Src) {
  int L, T, R, B;
  if (!SharedBlock(Dst, Src, L, T, R, B)) return;
  const int n = R - L + 1;
  for (int row = T; row <= B; ++row) {
    TMicroTile* d = &Dst.Tile(L, row);
    const TMicroTile* s = &Src.Tile(L, row);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
      const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
      const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), UniteLanes(dv, sv));
    }
    for (; i < n; ++i) UniteMicroTileSSE2(d[i], s[i]);
  }
}
#endif

// --- Rectangles in 64 bits ------------------------------------------------------------

struct TRect64 {
  int64_t Left, Top, Right, Bottom;
};

TRect64 Expand64(TRect64 A, int64_t Dx, int64_t Dy) {
  if (A.Left > A.Right) Dx = -Dx;
  if (A.Top > A.Bottom) Dy = -Dy;
  return {A.Left - Dx, A.Top - Dy, A.Right + Dx, A.Bottom + Dy};
}

// Normalised and clamped to the grid; False when nothing of it is left.
bool ClampToGrid(const TMicroTiles& Tiles, TRect64& R) {
  if (R.Left > R.Right) std::swap(R.Left, R.Right);
  if (R.Top > R.Bottom) std::swap(R.Top, R.Bottom);
  R.Left = std::max<int64_t>(R.Left, 0);
  R.Top = std::max<int64_t>(R.Top, 0);
  R.Right = std::min<int64_t>(R.Right, int64_t(Tiles.Columns) * MicroTileSize);
  R.Bottom = std::min<int64_t>(R.Bottom, int64_t(Tiles.Rows) * MicroTileSize);
  return R.Right >= R.Left && R.Bottom >= R.Top;
}

// Unites Value into the tiles of one row, columns C1..C2 (first, middle and
// last entries as given; a middle entry exists only for three or more).
void UniteRow(TMicroTiles& Tiles, int Row, int C1, int C2, TMicroTile First, TMicroTile Middle, TMicroTile Last,
              bool MiddleFull) {
  TMicroTile* row = &Tiles.Tile(0, Row);
  UniteMicroTile(row[C1], First);
  for (int c = C1 + 1; c < C2; ++c) {
    if (MiddleFull) {
      row[c] = MicroTileFull;
    } else {
      UniteMicroTile(row[c], Middle);
    }
  }
  UniteMicroTile(row[C2], Last);
}

// The clamped rectangle (inside 0..Columns x 32, 0..Rows x 32).
void AddClampedRect(TMicroTiles& Tiles, const TRect64& R, bool WholeTiles) {
  const int left = int(R.Left), top = int(R.Top), right = int(R.Right), bottom = int(R.Bottom);
  const int startCol = left >> MicroTileShift, startRow = top >> MicroTileShift;
  const int endCol = right >> MicroTileShift, endRow = bottom >> MicroTileShift;

  if (WholeTiles) {
    // Column index Columns (or row index Rows) lies beyond the grid: with
    // the row stride it would be the next row's first tile.
    const int lastCol = std::min(endCol, Tiles.Columns - 1), lastRow = std::min(endRow, Tiles.Rows - 1);
    for (int row = startRow; row <= lastRow; ++row) {
      for (int col = startCol; col <= lastCol; ++col) Tiles.Tile(col, row) = MicroTileFull;
    }
  } else {
    const int tl = left & 31, tt = top & 31, tr = right & 31, tb = bottom & 31;
    const int colSpan = endCol - startCol + 1, rowSpan = endRow - startRow + 1;
    if (colSpan == 1 && rowSpan == 1) {
      UniteMicroTile(Tiles.Tile(startCol, startRow), MakeMicroTile(tl, tt, tr, tb));
    } else if (colSpan == 1) {
      UniteMicroTile(Tiles.Tile(startCol, startRow), MakeMicroTile(tl, tt, tr, 32));
      for (int row = startRow + 1; row < endRow; ++row) {
        UniteMicroTile(Tiles.Tile(startCol, row), MakeMicroTile(tl, 0, tr, 32));
      }
      UniteMicroTile(Tiles.Tile(startCol, endRow), MakeMicroTile(tl, 0, tr, tb));
    } else if (rowSpan == 1) {
      UniteRow(Tiles, startRow, startCol, endCol, MakeMicroTile(tl, tt, 32, tb), MakeMicroTile(0, tt, 32, tb),
               MakeMicroTile(0, tt, tr, tb), false);
    } else {
      UniteRow(Tiles, startRow, startCol, endCol, MakeMicroTile(tl, tt, 32, 32), MakeMicroTile(0, tt, 32, 32),
               MakeMicroTile(0, tt, tr, 32), false);
      for (int row = startRow + 1; row < endRow; ++row) {
        UniteRow(Tiles, row, startCol, endCol, MakeMicroTile(tl, 0, 32, 32), MicroTileFull, MakeMicroTile(0, 0, tr, 32),
                 true);
      }
      UniteRow(Tiles, endRow, startCol, endCol, MakeMicroTile(tl, 0, 32, tb), MakeMicroTile(0, 0, 32, tb),
               MakeMicroTile(0, 0, tr, tb), false);
    }
  }
  GrowUsedBlock(Tiles, startCol, startRow, endCol, endRow);
}

// Adds R; True when, clamped, it covered the whole grid (nothing added
// later can change the tiles then).
bool AddRect64(TMicroTiles& Tiles, TRect64 R, bool WholeTiles) {
  if (Tiles.Count() == 0 || !ClampToGrid(Tiles, R)) return false;
  AddClampedRect(Tiles, R, WholeTiles);
  return R.Left == 0 && R.Top == 0 && R.Right == int64_t(Tiles.Columns) * MicroTileSize &&
         R.Bottom == int64_t(Tiles.Rows) * MicroTileSize;
}

// 16.16 to the nearest integer, an exact half rounding down.
int64_t FixedRound64(int64_t V) { return (V + 0x7FFF) >> 16; }

// The segment indices 0..N-1 whose position P0 + i x Step (16.16) lies
// within Lo..Hi (16.16); Lo > Hi afterwards when none does.
void SegmentRange(int64_t P0, int64_t Step, int64_t Lo, int64_t Hi, int64_t& First, int64_t& Last) {
  if (Step == 0) {
    if (P0 < Lo || P0 > Hi) First = 1, Last = 0;
    return;
  }
  int64_t a, b;
  if (Step > 0) {
    a = CeilDiv(Lo - P0, Step);
    b = FloorDiv(Hi - P0, Step);
  } else {
    a = CeilDiv(P0 - Hi, -Step);
    b = FloorDiv(P0 - Lo, -Step);
  }
  First = std::max(First, a);
  Last = std::min(Last, b);
}

}  // namespace

// --- Grids ----------------------------------------------------------------------------

void ResizeMicroTiles(TMicroTiles& Tiles, const TRect& Bounds) {
  const int64_t width = std::max<int64_t>(0, int64_t(Bounds.Right) - Bounds.Left);
  const int64_t height = std::max<int64_t>(0, int64_t(Bounds.Bottom) - Bounds.Top);
  const int64_t columns = (width >> MicroTileShift) + 1, rows = (height >> MicroTileShift) + 1;
  const int64_t count = (columns + 1) * (rows + 1);
  if (count > INT32_MAX) throw std::bad_alloc();
  // Allocated first, so that a failure leaves the grid as it was.
  Tiles.Tiles.assign(std::size_t(count), MicroTileEmpty);
  Tiles.BoundsRect = Bounds;
  Tiles.Columns = int(columns);
  Tiles.Rows = int(rows);
  ClearMicroTiles(Tiles, MicroTileEmpty);
}

void ClearMicroTiles(TMicroTiles& Tiles, TMicroTile Value) {
  Tiles.BoundsUsedTiles = {Tiles.Columns, Tiles.Rows, 0, 0};
  std::fill(Tiles.Tiles.begin(), Tiles.Tiles.end(), Value);
}

void ClearUsedMicroTiles(TMicroTiles& Tiles, TMicroTile Value) {
  int L, T, R, B;
  if (UsedBlock(Tiles, L, T, R, B)) {
    for (int row = T; row <= B; ++row) std::fill_n(&Tiles.Tile(L, row), R - L + 1, Value);
  }
  Tiles.BoundsUsedTiles = {Tiles.Columns, Tiles.Rows, 0, 0};
}

void CopyMicroTiles(TMicroTiles& Dst, const TMicroTiles& Src) {
  if (&Dst == &Src) return;
  if (Dst.Count() > 0) ClearUsedMicroTiles(Dst, MicroTileEmpty);
  // Every entry of Dst is 0 now; growing adds zeros.
  Dst.Tiles.resize(Src.Tiles.size(), MicroTileEmpty);
  Dst.BoundsRect = Src.BoundsRect;
  Dst.Columns = Src.Columns;
  Dst.Rows = Src.Rows;
  Dst.BoundsUsedTiles = Src.BoundsUsedTiles;
  int L, T, R, B;
  if (!UsedBlock(Src, L, T, R, B)) return;
  for (int row = T; row <= B; ++row) std::copy_n(&Src.Tile(L, row), R - L + 1, &Dst.Tile(L, row));
}

void MergeMicroTiles(TMicroTiles& Dst, const TMicroTiles& Src, bool WholeTiles) {
  if (Src.Count() == 0 || Dst.Count() == 0) return;
  if (WholeTiles) {
    int L, T, R, B;
    if (SharedBlock(Dst, Src, L, T, R, B)) {
      for (int row = T; row <= B; ++row) {
        for (int col = L; col <= R; ++col) {
          const TMicroTile s = Src.Tile(col, row);
          if (s != MicroTileEmpty && !IsDegenerate(s)) Dst.Tile(col, row) = MicroTileFull;
        }
      }
    }
  } else {
    UniteMicroTileSets(Dst, Src);
  }
  const TRect& used = Src.BoundsUsedTiles;
  GrowUsedBlock(Dst, used.Left, used.Top, used.Right, used.Bottom);
}

void AddRectToMicroTiles(TMicroTiles& Tiles, const TRect& Rect, bool WholeTiles) {
  AddRect64(Tiles, {Rect.Left, Rect.Top, Rect.Right, Rect.Bottom}, WholeTiles);
}

void AddLineToMicroTiles(TMicroTiles& Tiles, int X1, int Y1, int X2, int Y2, int LineWidth, bool WholeTiles) {
  if (Tiles.Count() == 0) return;
  const int64_t width = int64_t(LineWidth) * 2;
  const int64_t dx = int64_t(X2) - X1, dy = int64_t(Y2) - Y1;
  if (dx == 0 || dy == 0) {
    AddRect64(Tiles, Expand64({X1, Y1, X2, Y2}, width, width), WholeTiles);
    return;
  }

  // 16.16 fixed point in 64 bits: ends beyond +-32767 neither wrap nor
  // overflow the divide.
  const int64_t adx = (dx < 0 ? -dx : dx) << 16, ady = (dy < 0 ? -dy : dy) << 16;
  const bool xMajor = !(adx < ady);
  const int64_t major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
  const int64_t steps = major >> 5;  // the number of 32-pixel steps, 16.16
  const int64_t majorStep = int64_t(32) << 16;
  const int64_t minorStep = static_cast<int64_t>((static_cast<__int128>(minor) << 16) / steps);
  const int64_t stepX = (dx < 0 ? -1 : 1) * (xMajor ? majorStep : minorStep);
  const int64_t stepY = (dy < 0 ? -1 : 1) * (xMajor ? minorStep : majorStep);
  const int64_t x0 = int64_t(X1) << 16, y0 = int64_t(Y1) << 16;
  const int64_t n = (steps + 0xFFFF) >> 16;

  // Only segments that can reach the grid are visited: a segment spans at
  // most 33 pixels on either axis and grows by the width on each side, so
  // one whose start lies further than that from the grid adds nothing.
  const int64_t margin = ((width < 0 ? -width : width) + 2 * MicroTileSize) << 16;
  int64_t first = 0, last = n - 1;
  SegmentRange(x0, stepX, -margin, (int64_t(Tiles.Columns) * MicroTileSize << 16) + margin, first, last);
  SegmentRange(y0, stepY, -margin, (int64_t(Tiles.Rows) * MicroTileSize << 16) + margin, first, last);

  for (int64_t i = first; i <= last; ++i) {
    const int64_t cx = x0 + i * stepX, cy = y0 + i * stepY;
    const TRect64 segment{FixedRound64(cx), FixedRound64(cy), FixedRound64(cx + stepX), FixedRound64(cy + stepY)};
    if (AddRect64(Tiles, Expand64(segment, width, width), WholeTiles)) break;
  }
}

int MicroTilesToRects(const TMicroTiles& Tiles, Raster_Containers::TRectList* DstRects, const TRect& Clip,
                      bool CountOnly, bool WholeTiles) {
  int usedL, usedT, usedR, usedB;
  if (!UsedBlock(Tiles, usedL, usedT, usedR, usedB)) return 0;
  // Tiles outside the used block are 0, so scanning the used block finds
  // every run the whole grid holds, in the same order.
  usedR = std::min(usedR, Tiles.Columns - 1);
  usedB = std::min(usedB, Tiles.Rows - 1);

  const auto clampX = [&](int64_t v) { return int(std::clamp<int64_t>(v, Clip.Left, std::max(Clip.Left, Clip.Right))); };
  const auto clampY = [&](int64_t v) { return int(std::clamp<int64_t>(v, Clip.Top, std::max(Clip.Top, Clip.Bottom))); };

  std::vector<TRect> rects;
  // For each column, the rectangle that ends exactly above this row's tile
  // (the row above wrote it), and the same for the next row.
  std::vector<int> above(std::size_t(Tiles.Columns), -1), below(std::size_t(Tiles.Columns), -1);

  for (int row = usedT; row <= usedB; ++row) {
    std::fill(below.begin(), below.end(), -1);
    const TMicroTile* tiles = &Tiles.Tile(0, row);
    const int64_t rowTop = int64_t(row) * MicroTileSize;
    for (int col = usedL; col <= usedR; ++col) {
      const TMicroTile first = tiles[col];
      if (first == MicroTileEmpty) continue;
      const int startCol = col;
      TRect r;
      if (WholeTiles) {
        while (col + 1 <= usedR && tiles[col + 1] != MicroTileEmpty) ++col;
        r = {clampX(int64_t(startCol) * MicroTileSize), clampY(rowTop), clampX(int64_t(col + 1) * MicroTileSize),
             clampY(rowTop + MicroTileSize)};
      } else {
        TMicroTile lastTile = first;
        if (MicroTileRight(first) == MicroTileSize) {
          while (col + 1 <= usedR) {
            const TMicroTile next = tiles[col + 1];
            if (MicroTileTop(next) != MicroTileTop(first) || MicroTileBottom(next) != MicroTileBottom(first) ||
                MicroTileLeft(next) != 0) {
              break;
            }
            lastTile = next;
            ++col;
          }
        }
        r = {clampX(int64_t(startCol) * MicroTileSize + MicroTileLeft(first)), clampY(rowTop + MicroTileTop(first)),
             clampX(int64_t(col) * MicroTileSize + MicroTileRight(lastTile)), clampY(rowTop + MicroTileBottom(first))};
      }

      int index = above[std::size_t(startCol)];
      if (index >= 0 && rects[std::size_t(index)].Left == r.Left && rects[std::size_t(index)].Right == r.Right &&
          rects[std::size_t(index)].Bottom == r.Top) {
        rects[std::size_t(index)].Bottom = r.Bottom;
      } else {
        rects.push_back(r);
        index = int(rects.size()) - 1;
      }
      below[std::size_t(startCol)] = index;
    }
    std::swap(above, below);
  }

  if (!CountOnly && DstRects) {
    for (const TRect& r : rects) DstRects->Add(r);
  }
  return int(rects.size());
}

int MicroTilesToRects(const TMicroTiles& Tiles, Raster_Containers::TRectList* DstRects, bool CountOnly,
                      bool WholeTiles) {
  return MicroTilesToRects(Tiles, DstRects, Tiles.BoundsRect, CountOnly, WholeTiles);
}

void ExpandArea(TRect& Area, int Dx, int Dy) {
  const TRect64 r = Expand64({Area.Left, Area.Top, Area.Right, Area.Bottom}, Dx, Dy);
  Area = {Saturate(r.Left), Saturate(r.Top), Saturate(r.Right), Saturate(r.Bottom)};
}

// --- Module start-up --------------------------------------------------------------------

void RegisterMicroTilesBindings() {
  MicroTilesRegistry = Raster_Bindings::CreateFunctionRegistry("Raster_MicroTiles bindings");
  MicroTilesRegistry->RegisterBinding(FID_UNITEMICROTILE, &UniteMicroTile);
  MicroTilesRegistry->RegisterBinding(FID_UNITEMICROTILESETS, &UniteMicroTileSets);

  MicroTilesRegistry->Add(FID_UNITEMICROTILE, &UniteMicroTilePortable);
  MicroTilesRegistry->Add(FID_UNITEMICROTILESETS, &UniteMicroTileSetsPortable);
#if defined(__x86_64__)
  // Byte minimum and maximum arrived with the extended MMX set; SSE2 is how
  // x86-64 spells them.
  MicroTilesRegistry->Add(FID_UNITEMICROTILE, &UniteMicroTileSSE2, {Raster_System::ciEMMX});
  MicroTilesRegistry->Add(FID_UNITEMICROTILESETS, &UniteMicroTileSetsSSE2, {Raster_System::ciEMMX});
#endif
  MicroTilesRegistry->RebindAll();
}

void Startup() {
  if (gUnitCounter.Enter()) RegisterMicroTilesBindings();
}

void Shutdown() {
  // The registry itself belongs to Raster_Bindings, which frees it later.
  if (gUnitCounter.Leave()) MicroTilesRegistry = nullptr;
}

}  // namespace velkor::Raster_MicroTiles
