#include "graphics/RasterStartup.h"

#include "graphics/Raster.h"
#include "graphics/Raster_Backends_Generic.h"
#include "graphics/Raster_Bindings.h"
#include "graphics/Raster_Blend.h"
#include "graphics/Raster_Filters.h"
#include "graphics/Raster_LowLevel.h"
#include "graphics/Raster_Math.h"
#include "graphics/Raster_Resamplers.h"
#include "graphics/Raster_System.h"
#include "graphics/Raster_Transforms.h"

namespace velkor {

void RasterStartup() {
  Raster_System::Startup();
  Raster_Bindings::Startup();
  Raster_Math::Startup();
  Raster_LowLevel::Startup();
  Raster_Blend::Startup();
  Raster_Transforms::Startup();
  Raster_Resamplers::Startup();
  Raster_Backends_Generic::Startup();
  Raster::Startup();
}

void RasterShutdown() {
  Raster_Filters::Shutdown();
  Raster::Shutdown();
  Raster_Backends_Generic::Shutdown();
  Raster_Resamplers::Shutdown();
  Raster_Transforms::Shutdown();
  Raster_Blend::Shutdown();
  Raster_LowLevel::Shutdown();
  Raster_Math::Shutdown();
  Raster_Bindings::Shutdown();
  Raster_System::Shutdown();
}

}  // namespace velkor
