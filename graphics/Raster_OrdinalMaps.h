// Two-dimensional maps of ordinal values; the integer map holds the weight
// tables of the resampling kernels.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/RasterPersistents.h"

namespace velkor::Raster_OrdinalMaps {

// Width x Height signed 32-bit values, row by row. Value access does not
// test its coordinates: callers keep them inside the map.
class TIntegerMap : public TCustomMap {
 public:
  TIntegerMap() = default;
  TIntegerMap(int Width, int Height);

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // Another integer map gives its size and a copy of its values; any other
  // source goes to the inherited Assign. Changed is reported once at the
  // end, also when the copy fails.
  void Assign(const TPersistent* Source) override;
  // True when the map holds no values.
  bool Empty() const override;

  // Fills every value with FillValue through the bound word fill, then
  // reports the change.
  void Clear(std::int32_t FillValue);

  std::int32_t* Bits() { return FBits.data(); }
  const std::int32_t* Bits() const { return FBits.data(); }
  std::int32_t* GetScanline(int Y) { return GetValPtr(0, Y); }
  const std::int32_t* GetScanline(int Y) const { return GetValPtr(0, Y); }
  std::int32_t* GetValPtr(int X, int Y) { return FBits.data() + Offset(X, Y); }
  const std::int32_t* GetValPtr(int X, int Y) const { return FBits.data() + Offset(X, Y); }
  std::int32_t GetValue(int X, int Y) const { return FBits[Offset(X, Y)]; }
  void SetValue(int X, int Y, std::int32_t Value) { FBits[Offset(X, Y)] = Value; }

 protected:
  // Keeps the old values at their linear positions up to the smaller size;
  // new space reads 0.
  void ChangeSize(int& Width, int& Height, int NewWidth, int NewHeight) override;

 private:
  std::size_t Offset(int X, int Y) const {
    return static_cast<std::size_t>(std::ptrdiff_t(Y) * FWidth + X);
  }

  std::vector<std::int32_t> FBits;
};

}  // namespace velkor::Raster_OrdinalMaps
