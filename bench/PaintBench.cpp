// The polygon renderer and the paint box beside references measured in the
// same run:
//   - TPolygonRenderer32VPR's non-zero fill of a circle of radius 200, a
//     five-pointed star and a paragraph of 16-pixel text outlines into an
//     800 x 500 bitmap, against an anti-aliased QPainter::drawPath with
//     Qt::WindingFill of the same polygons into a QImage
//     (ARGB32_Premultiplied) of the same size;
//   - the paint box repainting a 1920 x 1080 buffer after 20 small changes
//     in rmOptimizer (the optimiser's rectangles) against rmFull (one copy
//     of the whole buffer), both through repaint() on the offscreen screen.
// On a busy machine, --benchmark_repetitions=5 compares medians.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "graphics/RasterStartup.h"
#include "graphics/Raster_Polygons.h"
#include "graphics/Raster_Text_Toolkit.h"
#include "graphics/Raster_VectorUtils.h"
#include "graphics_toolkit/RasterToolkitStartup.h"
#include "graphics_toolkit/Raster_Image.h"
#include "RatioReporter.h"

namespace {

using namespace velkor;

constexpr int kWidth = 800, kHeight = 500;
constexpr TColor32 kColor = 0xFF2060C0u;

const char* const kParagraph =
    "Velkor judges the submissions of a contest: it compiles each program, runs it on every test "
    "with the limits of its exam, compares the output with the checker and keeps the results. "
    "A judged program runs contained, in a namespace of its own, and everything it started ends "
    "with it. The results are shown in a grid and exported as a workbook.";

struct TShapes {
  TArrayOfArrayOfFloatPoint Circle, Star, Paragraph;
};
TShapes* gShapes = nullptr;

void MakeShapes() {
  gShapes = new TShapes;
  gShapes->Circle = {Raster_VectorUtils::BuildCircle({400, 250}, 0, 200)};
  TArrayOfFloatPoint star;
  for (int k = 0; k < 5; ++k) {
    const double a = -std::numbers::pi / 2 + k * 4 * std::numbers::pi / 5;
    star.push_back({float(400 + 240 * std::cos(a)), float(260 + 240 * std::sin(a))});
  }
  gShapes->Star = {star};
  TLogFont font;
  font.Height = -16;
  font.FaceName = "DejaVu Sans";
  auto path = New<Raster_Paths::TFlattenedPath>();
  Raster_Text_Toolkit::TextToPathOnDC(font, path.get(), {10, 10, 790, 490}, DT_WORDBREAK, kParagraph);
  gShapes->Paragraph = path->Path();
}

void FillOurs(benchmark::State& State, const TArrayOfArrayOfFloatPoint& Polygons) {
  auto bitmap = New<TBitmap32>();
  bitmap->SetSize(kWidth, kHeight);
  bitmap->Clear(0xFFFFFFFFu);
  auto renderer = New<Raster_Polygons::TPolygonRenderer32VPR>(bitmap.get(), Raster_Polygons::frNonZero);
  renderer->SetColor(kColor);
  for (auto _ : State) renderer->PolyPolygonFS(Polygons);
  benchmark::DoNotOptimize(bitmap->GetPixel(400, 250));
}

void FillQt(benchmark::State& State, const TArrayOfArrayOfFloatPoint& Polygons) {
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainterPath path;
  path.setFillRule(Qt::WindingFill);
  for (const TArrayOfFloatPoint& polygon : Polygons) {
    if (polygon.empty()) continue;
    path.moveTo(polygon[0].X, polygon[0].Y);
    for (std::size_t i = 1; i < polygon.size(); ++i) path.lineTo(polygon[i].X, polygon[i].Y);
    path.closeSubpath();
  }
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor::fromRgba(kColor));
  for (auto _ : State) painter.drawPath(path);
  painter.end();
  benchmark::DoNotOptimize(image.pixel(400, 250));
}

void Circle_Ours(benchmark::State& S) { FillOurs(S, gShapes->Circle); }
void Circle_Qt(benchmark::State& S) { FillQt(S, gShapes->Circle); }
void Star_Ours(benchmark::State& S) { FillOurs(S, gShapes->Star); }
void Star_Qt(benchmark::State& S) { FillQt(S, gShapes->Star); }
void Paragraph_Ours(benchmark::State& S) { FillOurs(S, gShapes->Paragraph); }
void Paragraph_Qt(benchmark::State& S) { FillQt(S, gShapes->Paragraph); }

// A 1920 x 1080 paint box on the offscreen screen; each iteration draws 20
// small squares into its buffer and repaints it at once.
void Repaint(benchmark::State& State, Raster_Image::TRepaintMode Mode) {
  QWidget window;
  window.resize(1920, 1080);
  auto* box = new Raster_Image::TCustomPaintBox32(&window);
  box->SetBufferOversize(0);
  box->resize(1920, 1080);
  window.show();
  QApplication::processEvents();
  box->SetRepaintMode(Mode);
  box->Buffer()->Clear(0xFFFFFFFFu);
  box->Repaint();
  int step = 0;
  for (auto _ : State) {
    for (int i = 0; i < 20; ++i, ++step) {
      const int x = (step * 397) % 1900, y = (step * 211) % 1060;
      box->Buffer()->FillRectS(x, y, x + 16, y + 16, 0xFF000000u | std::uint32_t(step * 2654435761u >> 8));
    }
    box->Repaint();
  }
}

void Repaint20_Ours(benchmark::State& S) { Repaint(S, Raster_Image::rmOptimizer); }
void Repaint20_Full(benchmark::State& S) { Repaint(S, Raster_Image::rmFull); }

}  // namespace

#define PAINT_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMicrosecond)->UseRealTime()
PAINT_BENCH(Circle_Ours);
PAINT_BENCH(Circle_Qt);
PAINT_BENCH(Star_Ours);
PAINT_BENCH(Star_Qt);
PAINT_BENCH(Paragraph_Ours);
PAINT_BENCH(Paragraph_Qt);
PAINT_BENCH(Repaint20_Ours);
PAINT_BENCH(Repaint20_Full);

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  RasterStartup();
  RasterToolkitStartup();
  benchmark::Initialize(&argc, argv);
  MakeShapes();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const auto& t = reporter.perIteration;
  std::printf("\n%-12s %10s %12s %8s   (us per call; ratio = ours / reference)\n", "operation", "ours", "reference",
              "ratio");
  const std::pair<const char*, const char*> pairs[] = {
      {"Circle", "Qt"}, {"Star", "Qt"}, {"Paragraph", "Qt"}, {"Repaint20", "Full"}};
  for (const auto& [name, reference] : pairs) {
    const auto ours = t.find(std::string(name) + "_Ours");
    const auto theirs = t.find(std::string(name) + "_" + reference);
    if (ours == t.end() || theirs == t.end()) continue;
    std::printf("%-12s %10.2f %12.2f %8.2f   (vs %s)\n", name, ours->second, theirs->second,
                ours->second / theirs->second, reference);
  }
  delete gShapes;
  benchmark::Shutdown();
  RasterToolkitShutdown();
  RasterShutdown();
  return 0;
}
