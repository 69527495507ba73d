// Repaint bookkeeping, measured in the same run against references:
//   - 1000 random small rectangles on a 1920 x 1080 frame collected in
//     micro-tiles (AddRectToMicroTiles) and extracted (MicroTilesToRects),
//     against a pixman region built with pixman_region32_union_rect and
//     read with pixman_region32_rectangles (and, for scale, the region
//     built in one call with pixman_region32_init_rects);
//   - PerformOptimization over 100 layers of which 5 changed, against
//     measuring all 100 layers (a reset's footprint rebuild and paint).
// The micro-tiles give a coarser answer (one rectangle per tile and joins)
// than the exact region; the pair compares the cost of the bookkeeping.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "graphics/Raster.h"
#include "graphics/RasterStartup.h"
#include "graphics/Raster_MicroTiles.h"
#include "RatioReporter.h"

namespace {

using namespace velkor;
using namespace velkor::Raster_MicroTiles;
using namespace velkor::Raster_Layers;
using Raster_Containers::TRectList;

constexpr int kWidth = 1920, kHeight = 1080;

std::vector<TRect> RandomRects(int count, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<TRect> out;
  for (int i = 0; i < count; ++i) {
    const int x = int(gen() % kWidth), y = int(gen() % kHeight);
    out.push_back({x, y, x + 1 + int(gen() % 40), y + 1 + int(gen() % 40)});
  }
  return out;
}

void Rects_MicroTiles(benchmark::State& state) {
  const std::vector<TRect> rects = RandomRects(1000, 1);
  TMicroTiles tiles;
  ResizeMicroTiles(tiles, {0, 0, kWidth, kHeight});
  TRectList out;
  for (auto _ : state) {
    ClearUsedMicroTiles(tiles);
    for (const TRect& r : rects) AddRectToMicroTiles(tiles, r, false);
    out.SetCount(0);
    benchmark::DoNotOptimize(MicroTilesToRects(tiles, &out));
  }
}

void Rects_Pixman(benchmark::State& state) {
  const std::vector<TRect> rects = RandomRects(1000, 1);
  for (auto _ : state) {
    pixman_region32_t region;
    pixman_region32_init(&region);
    for (const TRect& r : rects) {
      pixman_region32_union_rect(&region, &region, r.Left, r.Top, unsigned(r.Right - r.Left),
                                 unsigned(r.Bottom - r.Top));
    }
    int n = 0;
    benchmark::DoNotOptimize(pixman_region32_rectangles(&region, &n));
    benchmark::DoNotOptimize(n);
    pixman_region32_fini(&region);
  }
}

// The same region built in one call from all rectangles: pixman's fastest
// way, for scale.
void Rects_PixmanBatch(benchmark::State& state) {
  const std::vector<TRect> rects = RandomRects(1000, 1);
  std::vector<pixman_box32_t> boxes;
  for (const TRect& r : rects) boxes.push_back({r.Left, r.Top, r.Right, r.Bottom});
  for (auto _ : state) {
    pixman_region32_t region;
    pixman_region32_init_rects(&region, boxes.data(), int(boxes.size()));
    int n = 0;
    benchmark::DoNotOptimize(pixman_region32_rectangles(&region, &n));
    benchmark::DoNotOptimize(n);
    pixman_region32_fini(&region);
  }
}

// A layer that draws a few primitives; measuring mode only reports them.
class TShapesLayer : public TCustomLayer {
 public:
  static const TClassInfo& StaticClass() {
    static const TClassInfo info{"TShapesLayer", &TCustomLayer::StaticClass(),
                                 [] { return std::unique_ptr<TPersistent>(New<TShapesLayer>()); }, {}};
    return info;
  }
  const TClassInfo& ClassType() const override { return StaticClass(); }
  void Paint(TBitmap32* B) override {
    B->FillRectS(Rect, 0xFF204080);
    B->FrameRectS(Rect, 0xFFFFFFFF);
    B->LineS(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom, 0xFF000000);
    B->LineS(Rect.Right, Rect.Top, Rect.Left, Rect.Bottom, 0xFF000000);
  }
  TRect Rect;
};

struct Scene {
  std::unique_ptr<TBitmap32> buffer = New<TBitmap32>();
  TRectList rects;
  TLayerCollection layers;
  std::unique_ptr<TMicroTilesRepaintOptimizer> opt;
  std::vector<TShapesLayer*> all;

  Scene() {
    buffer->SetSize(kWidth, kHeight);
    opt = std::make_unique<TMicroTilesRepaintOptimizer>(buffer.get(), &rects);
    opt->SetAdaptiveMode(false);
    opt->RegisterLayerCollection(&layers);
    const std::vector<TRect> places = RandomRects(100, 2);
    for (const TRect& r : places) {
      auto* layer = layers.Add<TShapesLayer>();
      layer->Rect = {r.Left, r.Top, r.Left + 60 + (r.Right - r.Left) * 3, r.Top + 40 + (r.Bottom - r.Top) * 3};
      all.push_back(layer);
    }
    opt->SetEnabled(true);
    opt->PerformOptimization();
    rects.Clear();
  }
};

void Optimize_FiveChanged(benchmark::State& state) {
  Scene s;
  int shift = 1;
  for (auto _ : state) {
    for (int i = 0; i < 100; i += 20) {
      s.all[std::size_t(i)]->Rect.Left += shift;
      s.all[std::size_t(i)]->Changed();
    }
    shift = -shift;
    s.opt->PerformOptimization();
    benchmark::DoNotOptimize(s.rects.Count());
    s.rects.SetCount(0);
  }
}

void Optimize_MeasureAll(benchmark::State& state) {
  Scene s;
  for (auto _ : state) {
    s.opt->Reset();  // measures every layer's footprint again
    s.opt->PerformOptimization();
    benchmark::DoNotOptimize(s.rects.Count());
    s.rects.SetCount(0);
  }
}

}  // namespace

BENCHMARK(Rects_MicroTiles)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(Rects_Pixman)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(Rects_PixmanBatch)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(Optimize_FiveChanged)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(Optimize_MeasureAll)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char** argv) {
  RasterStartup();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const auto& t = reporter.perIteration;
  std::printf("\n%-34s %10s %10s %8s %8s   (us per run; ratio = ours / reference)\n", "operation", "ours",
              "reference", "ratio", "target");
  const struct {
    const char *label, *ours, *reference;
    double target;
  } pairs[] = {
      {"1000 rects: micro-tiles / region", "Rects_MicroTiles", "Rects_Pixman", 1.0},
      {"  (region built in one call)", "Rects_MicroTiles", "Rects_PixmanBatch", 1.0},
      {"100 layers, 5 changed / all", "Optimize_FiveChanged", "Optimize_MeasureAll", 1.0},
  };
  for (const auto& p : pairs) {
    const auto ours = t.find(p.ours);
    const auto theirs = t.find(p.reference);
    if (ours == t.end() || theirs == t.end()) continue;
    const double ratio = ours->second / theirs->second;
    std::printf("%-34s %10.2f %10.2f %8.3f %8.1f%s\n", p.label, ours->second, theirs->second, ratio, p.target,
                ratio <= p.target ? "" : "   (above target)");
  }
  benchmark::Shutdown();
  RasterShutdown();
  return 0;
}
