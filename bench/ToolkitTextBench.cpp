// The raster bitmap's anti-aliased lines and its text output beside Qt's
// anti-aliased QPainter on a QImage in ARGB32_Premultiplied, measured in
// the same run: 1000 LineAS lines against QPainter::drawLine with
// antialiasing, and a paragraph of Textout lines against
// QPainter::drawText with the same font (DejaVu Sans, 10 points).
// On a busy machine, --benchmark_repetitions=5 compares medians.
#include <benchmark/benchmark.h>

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "graphics/Fonts.h"
#include "graphics/Raster.h"
#include "graphics/RasterStartup.h"
#include "graphics_toolkit/RasterToolkitStartup.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;

struct Line {
  int x1, y1, x2, y2;
};

const std::vector<Line>& Lines() {
  static const std::vector<Line> lines = [] {
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> x(0, kWidth - 1), y(0, kHeight - 1);
    std::vector<Line> v;
    for (int i = 0; i < 1000; ++i) v.push_back({x(gen), y(gen), x(gen), y(gen)});
    return v;
  }();
  return lines;
}

const std::vector<std::string>& Paragraph() {
  static const std::vector<std::string> lines = {
      "The judge compiles each submission, runs it on every test of the exam",
      "with the limits the exam sets, compares its output with the answer",
      "through the exam's checker and writes the score into the results table.",
      "A program that runs too long, uses too much memory or ends with an error",
      "gets no points for that test; the reason is kept beside the score so",
      "that the jury can look at it later. Scores are summed per contestant",
      "and the table is sorted by the total, ties broken by name. Bảng điểm.",
      "Everything the judge does is logged, and the log can be exported.",
  };
  return lines;
}

constexpr int kLineStep = 16;

void LineAS_Ours(benchmark::State& state) {
  auto bmp = velkor::New<velkor::TBitmap32>();
  bmp->SetSize(kWidth, kHeight);
  bmp->Clear(0xFFFFFFFFu);
  for (auto _ : state) {
    for (const Line& l : Lines()) bmp->LineAS(l.x1, l.y1, l.x2, l.y2, 0xFF203040u);
    benchmark::ClobberMemory();
  }
}

void LineAS_QPainter(benchmark::State& state) {
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(QPen(QColor(0x20, 0x30, 0x40), 1));
  for (auto _ : state) {
    for (const Line& l : Lines()) painter.drawLine(l.x1, l.y1, l.x2, l.y2);
    benchmark::ClobberMemory();
  }
}

void Textout_Ours(benchmark::State& state) {
  auto bmp = velkor::New<velkor::TBitmap32>();
  bmp->SetSize(kWidth, kHeight);
  bmp->Clear(0xFFFFFFFFu);
  bmp->Font()->SetName("DejaVu Sans");
  bmp->Font()->SetSize(10);
  bmp->Font()->SetColor(velkor::clBlack);
  for (auto _ : state) {
    int y = 4;
    for (const std::string& line : Paragraph()) {
      bmp->Textout(4, y, line);
      y += kLineStep;
    }
    benchmark::ClobberMemory();
  }
}

void Textout_QPainter(benchmark::State& state) {
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  QFont font("DejaVu Sans");
  font.setPixelSize(13);  // 10 points at 96 dpi
  font.setKerning(false);
  painter.setFont(font);
  painter.setPen(Qt::black);
  const int ascent = QFontMetrics(font).ascent();
  std::vector<QString> lines;
  for (const std::string& line : Paragraph()) lines.push_back(QString::fromStdString(line));
  for (auto _ : state) {
    int y = 4;
    for (const QString& line : lines) {
      painter.drawText(QPoint(4, y + ascent), line);
      y += kLineStep;
    }
    benchmark::ClobberMemory();
  }
}

}  // namespace

#define TEXT_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMicrosecond)->UseRealTime()
TEXT_BENCH(LineAS_Ours);
TEXT_BENCH(LineAS_QPainter);
TEXT_BENCH(Textout_Ours);
TEXT_BENCH(Textout_QPainter);

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  velkor::RasterStartup();
  velkor::RasterToolkitStartup();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const auto& t = reporter.perIteration;
  std::printf("\n%-10s %12s %12s %8s   (us per frame; ratio = ours / QPainter, target <= 2)\n", "operation", "ours",
              "QPainter", "ratio");
  for (const char* name : {"LineAS", "Textout"}) {
    const auto ours = t.find(std::string(name) + "_Ours");
    const auto theirs = t.find(std::string(name) + "_QPainter");
    if (ours == t.end() || theirs == t.end()) continue;
    std::printf("%-10s %12.1f %12.1f %8.2f\n", name, ours->second, theirs->second, ours->second / theirs->second);
  }
  benchmark::Shutdown();
  velkor::RasterToolkitShutdown();
  velkor::RasterShutdown();
  return 0;
}
