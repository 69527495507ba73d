// Shared by the raster tests: start-up of the library, forcing one variant
// of a bound routine, and a small random source of colours.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "graphics/RasterStartup.h"
#include "graphics/Raster_Bindings.h"
#include "graphics/Raster_Filters.h"

namespace velkor::test {

// Every raster module, including the late-starting filters. Repeated calls
// only move the modules' start-up counters.
inline void StartRaster() {
  RasterStartup();
  Raster_Filters::Startup();
}

// Binds exactly `variant` for `id` while alive; restores the processor's
// choice for every id of the registry afterwards.
class ForcedVariant {
 public:
  ForcedVariant(Raster_Bindings::TFunctionRegistry& registry, int id, Raster_Bindings::PFunctionInfo variant)
      : FRegistry(registry) {
    FRegistry.Rebind(id, Raster_Bindings::OnlyVariant(variant));
  }
  ~ForcedVariant() { FRegistry.RebindAll(); }
  ForcedVariant(const ForcedVariant&) = delete;
  ForcedVariant& operator=(const ForcedVariant&) = delete;

 private:
  Raster_Bindings::TFunctionRegistry& FRegistry;
};

inline std::string VariantName(int id, std::size_t index, Raster_Bindings::PFunctionInfo info) {
  return "id " + std::to_string(id) + ", variant #" + std::to_string(index) + " (features $" +
         std::to_string(info->CPUFeatures.Bits) + ")";
}

// Colours that matter (0, 255, halves) followed by seeded random ones.
inline std::vector<std::uint32_t> SampleColors(std::size_t randomCount, unsigned seed = 7) {
  std::vector<std::uint32_t> out = {0x00000000, 0xFFFFFFFF, 0xFF000000, 0x00FFFFFF, 0x80808080, 0x7F7F7F7F,
                                    0x01010101, 0xFEFEFEFE, 0xFF123456, 0x80FF0000, 0xFF0000FF, 0x40C0A020};
  std::mt19937 gen(seed);
  for (std::size_t i = 0; i < randomCount; ++i) out.push_back(gen());
  return out;
}

}  // namespace velkor::test
