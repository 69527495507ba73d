// The component suite runs with the raster library and its toolkit half
// started, the fill bound and the true-image tables filled, as the program
// starts them once its QApplication exists.
#pragma once

#include <QImage>

#include <filesystem>
#include <string>

#include "components/TrueImages.h"

namespace velkor::test {

// <build>/gui-shots/components, created on first use.
std::filesystem::path ShotsFolder();
// Saves Image there as Name + ".png" for a person to look at.
void SaveShot(const QImage& Image, const std::string& Name);

// A W x H image whose pixel (x, y) is $AARRGGBB with a = alpha(x, y),
// r = x * 10, g = y * 10, b = (x + y) * 5 (all modulo 256).
std::unique_ptr<TTrueImage> GradientImage(int W, int H, std::uint8_t Alpha = 255);

}  // namespace velkor::test
