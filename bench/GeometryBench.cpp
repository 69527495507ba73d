// The vector geometry beside references measured in the same run:
// RasterizePolyPolygon with a callback that counts the pixels it is given
// against FreeType's anti-aliasing rasteriser (direct spans, the same
// polygons, a callback that counts too) on a circle of radius 100, a
// self-intersecting star and a line of 48-pixel text outlines; and
// TextToPathOnDC of a paragraph against QPainterPath::addText followed by
// toSubpathPolygons (the same font file, the same size).
// On a busy machine, --benchmark_repetitions=5 compares medians.
#include <benchmark/benchmark.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <QFont>
#include <QGuiApplication>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "graphics/RasterStartup.h"
#include "graphics/Raster_Text_Toolkit.h"
#include "graphics/Raster_VPR.h"
#include "graphics/Raster_VectorUtils.h"
#include "RatioReporter.h"

namespace {

using namespace velkor;

const char* const kParagraph =
    "Velkor judges the submissions of a contest: it compiles each program, runs it on every test "
    "with the limits of its exam, compares the output with the checker and keeps the results. "
    "A judged program runs contained, in a namespace of its own, and everything it started ends "
    "with it. The results are shown in a grid and exported as a workbook.";

struct TShapes {
  TArrayOfArrayOfFloatPoint Circle, Star, TextLine;
  TFloatRect Clip{0, 0, 2000, 400};
};
TShapes* gShapes = nullptr;

void MakeShapes() {
  gShapes = new TShapes;
  gShapes->Circle = {Raster_VectorUtils::BuildCircle({150, 150}, 0, 100)};
  TArrayOfFloatPoint Star;
  for (int k = 0; k < 5; ++k) {
    const double a = -std::numbers::pi / 2 + k * 4 * std::numbers::pi / 5;
    Star.push_back({float(150 + 100 * std::cos(a)), float(150 + 100 * std::sin(a))});
  }
  gShapes->Star = {Star};
  TLogFont Font;
  Font.Height = -48;
  Font.FaceName = "DejaVu Sans";
  auto Path = New<Raster_Paths::TFlattenedPath>();
  Raster_Text_Toolkit::TextToPathOnDC(Font, Path.get(), {10, 10, 10, 10}, DT_SINGLELINE,
                                      "The quick brown fox jumps over the lazy dog");
  gShapes->TextLine = Path->Path();
}

// ----- Ours -------------------------------------------------------------------

void RasterizeOurs(benchmark::State& State, const TArrayOfArrayOfFloatPoint& Polygons) {
  std::int64_t Pixels = 0;
  for (auto _ : State) {
    Raster_VPR::RasterizePolyPolygon(Polygons, gShapes->Clip, [&](const Raster_VPR::TValueSpan& Span, int) {
      Pixels += Span.X2 - Span.X1 + 1;
    });
  }
  benchmark::DoNotOptimize(Pixels);
}

void Circle_Ours(benchmark::State& S) { RasterizeOurs(S, gShapes->Circle); }
void Star_Ours(benchmark::State& S) { RasterizeOurs(S, gShapes->Star); }
void TextLine_Ours(benchmark::State& S) { RasterizeOurs(S, gShapes->TextLine); }

// ----- FreeType ---------------------------------------------------------------

struct TFreeTypeOutline {
  std::vector<FT_Vector> Points;
  std::vector<char> Tags;
  std::vector<short> Contours;
  FT_Outline Outline{};

  explicit TFreeTypeOutline(const TArrayOfArrayOfFloatPoint& Polygons) {
    for (const auto& Polygon : Polygons) {
      for (const TFloatPoint& P : Polygon) {
        Points.push_back({FT_Pos(std::lround(P.X * 64)), FT_Pos(std::lround(-P.Y * 64))});
        Tags.push_back(FT_CURVE_TAG_ON);
      }
      Contours.push_back(short(Points.size() - 1));
    }
    Outline.n_points = short(Points.size());
    Outline.n_contours = short(Contours.size());
    Outline.points = Points.data();
    Outline.tags = Tags.data();
    Outline.contours = Contours.data();
  }
};

void RasterizeFreeType(benchmark::State& State, const TArrayOfArrayOfFloatPoint& Polygons) {
  FT_Library Library;
  FT_Init_FreeType(&Library);
  TFreeTypeOutline O(Polygons);
  std::int64_t Pixels = 0;
  FT_Raster_Params Params{};
  Params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
  Params.clip_box = {0, -400, 2000, 0};
  Params.user = &Pixels;
  Params.gray_spans = [](int, int Count, const FT_Span* Spans, void* User) {
    for (int i = 0; i < Count; ++i) *static_cast<std::int64_t*>(User) += Spans[i].len;
  };
  for (auto _ : State) FT_Outline_Render(Library, &O.Outline, &Params);
  benchmark::DoNotOptimize(Pixels);
  FT_Done_FreeType(Library);
}

void Circle_FreeType(benchmark::State& S) { RasterizeFreeType(S, gShapes->Circle); }
void Star_FreeType(benchmark::State& S) { RasterizeFreeType(S, gShapes->Star); }
void TextLine_FreeType(benchmark::State& S) { RasterizeFreeType(S, gShapes->TextLine); }

// ----- Text outlines --------------------------------------------------------------

void TextToPath_Ours(benchmark::State& State) {
  TLogFont Font;
  Font.Height = -32;
  Font.FaceName = "DejaVu Sans";
  auto Path = New<Raster_Paths::TFlattenedPath>();
  std::size_t Points = 0;
  for (auto _ : State) {
    Raster_Text_Toolkit::TextToPathOnDC(Font, Path.get(), {0, 0, 800, 600}, DT_WORDBREAK, kParagraph);
    for (const auto& P : Path->Path()) Points += P.size();
  }
  benchmark::DoNotOptimize(Points);
}

void TextToPath_Qt(benchmark::State& State) {
  QFont Font(QStringLiteral("DejaVu Sans"));
  Font.setPixelSize(32);
  Font.setHintingPreference(QFont::PreferNoHinting);
  const QString Text = QString::fromUtf8(kParagraph);
  std::size_t Points = 0;
  for (auto _ : State) {
    QPainterPath Path;
    Path.addText(0, 0, Font, Text);
    for (const QPolygonF& P : Path.toSubpathPolygons()) Points += P.size();
  }
  benchmark::DoNotOptimize(Points);
}

}  // namespace

#define GEOMETRY_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMicrosecond)->UseRealTime()
GEOMETRY_BENCH(Circle_Ours);
GEOMETRY_BENCH(Circle_FreeType);
GEOMETRY_BENCH(Star_Ours);
GEOMETRY_BENCH(Star_FreeType);
GEOMETRY_BENCH(TextLine_Ours);
GEOMETRY_BENCH(TextLine_FreeType);
GEOMETRY_BENCH(TextToPath_Ours);
GEOMETRY_BENCH(TextToPath_Qt);

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication App(argc, argv);  // Qt's fonts need it
  RasterStartup();
  Raster_Text_Toolkit::Startup();
  benchmark::Initialize(&argc, argv);
  MakeShapes();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const auto& t = reporter.perIteration;
  std::printf("\n%-12s %10s %12s %8s   (us per call; ratio = ours / reference)\n", "operation", "ours", "reference",
              "ratio");
  const std::pair<const char*, const char*> pairs[] = {
      {"Circle", "FreeType"}, {"Star", "FreeType"}, {"TextLine", "FreeType"}, {"TextToPath", "Qt"}};
  for (const auto& [name, reference] : pairs) {
    const auto ours = t.find(std::string(name) + "_Ours");
    const auto theirs = t.find(std::string(name) + "_" + reference);
    if (ours == t.end() || theirs == t.end()) continue;
    std::printf("%-12s %10.2f %12.2f %8.2f   (vs %s)\n", name, ours->second, theirs->second,
                ours->second / theirs->second, reference);
  }
  delete gShapes;
  benchmark::Shutdown();
  Raster_Text_Toolkit::Shutdown();
  RasterShutdown();
  return 0;
}
