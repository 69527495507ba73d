#include "graphics_toolkit/RasterToolkitStartup.h"

#include "graphics/Raster.h"
#include "graphics/Raster_Text_Toolkit.h"
#include "graphics_toolkit/Raster_Backends_Toolkit.h"
#include "graphics_toolkit/Raster_XPThemes.h"
#include "toolkit/ToolkitGraphics.h"

namespace velkor {

void RasterToolkitStartup() {
  ToolkitGraphicsStartup();
  Raster_XPThemes::Startup();
  Raster_Backends_Toolkit::Startup();
  Raster_Backends_Toolkit::StartupStockBitmap();
  TBitmap32::SetPlatformBackendClass(&TGDIBackend::StaticClass());
  Raster_BitmapInterop::InstallHooks();
  Raster_Text_Toolkit::Startup();
}

void RasterToolkitShutdown() {
  Raster_Text_Toolkit::Shutdown();
  Raster_BitmapInterop::RemoveHooks();
  TBitmap32::SetPlatformBackendClass(nullptr);
  Raster_Backends_Toolkit::Shutdown();
  Raster_XPThemes::Shutdown();
  ToolkitGraphicsShutdown();
}

}  // namespace velkor
