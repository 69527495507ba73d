// Fixtures of the raster library's widget tests: one offscreen QApplication
// with DejaVu Sans and the raster start-ups, what the screen shows, and
// pictures for a person.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include <string>

namespace velkor::test {

// What the (offscreen) screen shows of Widget, in its own coordinates.
QImage ScreenImage(QWidget& Widget);
// Shows Window and waits until it is exposed and active.
void ShowAndActivate(QWidget& Window);
// Writes Image as <build>/gui-shots/graphics/<Name>.png.
void SaveShot(const QImage& Image, const std::string& Name);

}  // namespace velkor::test
