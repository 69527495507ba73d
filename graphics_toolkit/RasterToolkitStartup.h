// Start-up and shut-down of the raster library's toolkit half. Fonts and
// the toolkit's graphics need the Qt application, so a program calls
// RasterToolkitStartup() once its QGuiApplication (or QApplication) exists,
// after RasterStartup(). Until then TBitmap32 lives on the memory backend:
// no font, no text, no canvas ("Interface not supported").
#pragma once

namespace velkor {

// In order: the toolkit's picture formats, theme access (order 9: the
// theme nexus), the stock system font (order 15), the shared 8 x 8
// measuring bitmap (order 16), the toolkit backend as TBitmap32's platform
// backend, the exchange with the toolkit's graphics, and the text outlines
// (Raster_Text_Toolkit). Each part runs at most once.
void RasterToolkitStartup();
// The reverse. Bitmaps made afterwards use the memory backend again.
void RasterToolkitShutdown();

namespace Raster_BitmapInterop {
// Installs and removes the bitmap's ToolkitGraphicsHooks.
void InstallHooks();
void RemoveHooks();
}  // namespace Raster_BitmapInterop

}  // namespace velkor
