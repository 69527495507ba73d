#include "graphics/Raster_OrdinalMaps.h"

#include <algorithm>

#include "graphics/Raster_LowLevel.h"

namespace velkor::Raster_OrdinalMaps {

const TClassInfo& TIntegerMap::StaticClass() {
  static const TClassInfo info{"TIntegerMap", &TCustomMap::StaticClass(),
                               [] { return New<TIntegerMap>(); }, {}};
  return info;
}

TIntegerMap::TIntegerMap(int Width, int Height) { SetSize(Width, Height); }

void TIntegerMap::ChangeSize(int& Width, int& Height, int NewWidth, int NewHeight) {
  std::size_t count = std::size_t(NewWidth) * std::size_t(NewHeight);
  if (count == 0) {
    std::vector<std::int32_t>().swap(FBits);
  } else {
    FBits.resize(count);
    FBits.shrink_to_fit();
  }
  TCustomMap::ChangeSize(Width, Height, NewWidth, NewHeight);
}

bool TIntegerMap::Empty() const { return FBits.empty(); }

void TIntegerMap::Clear(std::int32_t FillValue) {
  Raster_LowLevel::FillLongwords(reinterpret_cast<std::uint32_t*>(FBits.data()),
                                 static_cast<std::uint32_t>(FBits.size()),
                                 static_cast<std::uint32_t>(FillValue));
  Changed();
}

void TIntegerMap::Assign(const TPersistent* Source) {
  BeginUpdate();
  try {
    if (auto* src = dynamic_cast<const TIntegerMap*>(Source)) {
      if (src != this) {
        SetSize(src->Width(), src->Height());
        std::copy(src->FBits.begin(), src->FBits.end(), FBits.begin());
      }
    } else {
      TCustomMap::Assign(Source);
    }
  } catch (...) {
    EndUpdate();
    Changed();
    throw;
  }
  EndUpdate();
  Changed();
}

}  // namespace velkor::Raster_OrdinalMaps
