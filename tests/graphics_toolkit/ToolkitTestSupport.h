// Fixtures of the toolkit graphics tests: the offscreen Qt application with
// DejaVu Sans, the raster start-ups, and a few helpers over bitmaps.
#pragma once

#include <gtest/gtest.h>

#include <QImage>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "graphics/Raster.h"

namespace velkor::test {

// The face every text test uses (fonts-dejavu-core).
inline constexpr const char* kTestFace = "DejaVu Sans";

// A TBitmap32 of that size, filled with Fill, its font DejaVu Sans at Size
// points in Color.
std::unique_ptr<TBitmap32> MakeTextBitmap(int Width, int Height, TColor32 Fill, int Size = 10,
                                          std::int32_t Color = 0);

// The bounding box of the pixels that differ from Fill; empty when none do.
TRect InkBounds(const TCustomBitmap32& Bitmap, TColor32 Fill);
int CountDifferent(const TCustomBitmap32& Bitmap, TColor32 Fill);

// A copy of the pixels as a Qt image (straight alpha).
QImage ToImage(const TCustomBitmap32& Bitmap);
// Writes Image as <build>/gui-shots/graphics/<Name>.png for a person to
// look at.
void SaveShot(const QImage& Image, const std::string& Name);

// A scratch folder of this test process.
std::filesystem::path ScratchDir();

}  // namespace velkor::test
