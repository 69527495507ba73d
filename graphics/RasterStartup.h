// Start-up and shut-down of the raster library, in the one order its
// modules depend on. Nothing of the library works in static initialisers:
// a program calls RasterStartup() from main() before it draws, and
// Raster_Filters::Startup() later, after the toolkit modules (the logical
// filters start last). Each module's start-up runs its work at most once,
// however often it is called (see TUnitInitCounter).
#pragma once

namespace velkor {

// In order: Raster_System (processor features, shared timer),
// Raster_Bindings, Raster_Math (cumulative sum), Raster_LowLevel (word
// fill), Raster_Blend (blend routines and tables), Raster_Transforms,
// Raster_Resamplers (block average, interpolator, resampler and kernel
// classes), Raster_Backends_Generic (the temporary folder), and the
// value-type part of Raster (gamma table).
void RasterStartup();
// The reverse, the logical filters first. Bound routine pointers keep their
// values, but nothing may call through them afterwards.
void RasterShutdown();

}  // namespace velkor
