// Shared by the bitmap tests: bitmaps with known pixels, a recorder of the
// change reports, and comparisons that name the first differing pixel.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "RasterTestSupport.h"
#include "graphics/Raster.h"
#include "graphics/Raster_Backends_Generic.h"

// Printers for gtest, found by argument-dependent lookup.
namespace velkor {
inline std::ostream& operator<<(std::ostream& os, const TRect& R) {
  return os << "(" << R.Left << ", " << R.Top << ", " << R.Right << ", " << R.Bottom << ")";
}
inline std::ostream& operator<<(std::ostream& os, const TPoint& P) { return os << "(" << P.X << ", " << P.Y << ")"; }

}  // namespace velkor

namespace velkor::test {

// A memory bitmap of W x H pixels, every pixel Fill.
inline std::unique_ptr<TCustomBitmap32> MakeBitmap(int W, int H, TColor32 Fill = 0xFF000000u) {
  auto b = New<TCustomBitmap32>();
  b->SetSize(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) b->SetPixel(x, y, Fill);
  return b;
}

// A colour unique to each position (opaque; x in the low 12 bits, y above).
constexpr TColor32 PatternPixel(int X, int Y) {
  return 0xFF000000u | (std::uint32_t(Y & 0xFFF) << 12) | std::uint32_t(X & 0xFFF);
}

inline std::unique_ptr<TCustomBitmap32> MakePatternBitmap(int W, int H) {
  auto b = MakeBitmap(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) b->SetPixel(x, y, PatternPixel(x, y));
  return b;
}

// A bitmap from rows of pixels, top row first.
inline std::unique_ptr<TCustomBitmap32> MakeBitmapFromRows(const std::vector<std::vector<TColor32>>& Rows) {
  const int h = int(Rows.size()), w = h ? int(Rows[0].size()) : 0;
  auto b = MakeBitmap(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->SetPixel(x, y, Rows[y][x]);
  return b;
}

inline std::vector<std::vector<TColor32>> RowsOf(const TCustomBitmap32& B) {
  std::vector<std::vector<TColor32>> rows(B.Height(), std::vector<TColor32>(B.Width()));
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x) rows[y][x] = B.GetPixel(x, y);
  return rows;
}

// The positions whose pixel differs from Background, row by row.
inline std::vector<TPoint> ChangedPixels(const TCustomBitmap32& B, TColor32 Background) {
  std::vector<TPoint> out;
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x)
      if (B.GetPixel(x, y) != Background) out.push_back({x, y});
  return out;
}

inline std::string Hex(TColor32 C) {
  std::ostringstream s;
  s << "$" << std::hex << std::uppercase << C;
  return s.str();
}

using TPixelSet = std::set<std::pair<int, int>>;

inline TPixelSet SetOf(const std::vector<TPoint>& Points) {
  TPixelSet s;
  for (const TPoint& p : Points) s.insert({p.X, p.Y});
  return s;
}

// Compares two bitmaps pixel by pixel within Area (offset by Dx, Dy in B).
inline ::testing::AssertionResult SamePixels(const TCustomBitmap32& A, const TCustomBitmap32& B, const TRect& Area,
                                             int Dx = 0, int Dy = 0) {
  for (int y = Area.Top; y < Area.Bottom; ++y)
    for (int x = Area.Left; x < Area.Right; ++x)
      if (A.GetPixel(x, y) != B.GetPixel(x + Dx, y + Dy))
        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << "): " << Hex(A.GetPixel(x, y))
                                             << " vs " << Hex(B.GetPixel(x + Dx, y + Dy));
  return ::testing::AssertionSuccess();
}

// What a bitmap reported: its area reports in order and its OnChange calls.
struct TReports {
  std::vector<std::pair<TRect, std::uint32_t>> Areas;
  int Changes = 0;

  void Attach(TCustomBitmap32& B) {
    B.OnAreaChanged = [this](TPersistent*, const TRect& Area, std::uint32_t Info) { Areas.push_back({Area, Info}); };
    B.OnChange = [this](TObject*) { ++Changes; };
  }
  void Clear() {
    Areas.clear();
    Changes = 0;
  }
};

// Starts the library once per test program.
class BitmapTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartRaster(); }
};

}  // namespace velkor::test
