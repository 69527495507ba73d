// The bound raster routines over a 1920 x 1080 ARGB image, beside the same
// operation in pixman measured in the same run: fill, copy, the blend and
// combine rows, a colour blended over every pixel, and the logical filters
// (pixman has no bitwise filter; its copy serves as the memory-speed
// reference for them). pixman works on premultiplied pixels, so the blend
// comparisons measure speed only.
// On a busy machine, --benchmark_repetitions=5 compares medians.
//
// PIXMAN_DISABLE="mmx sse2 ssse3" in the environment gives pixman's scalar
// baseline instead of its vector paths (its copy then refuses to run and
// reports no time).
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "graphics/RasterStartup.h"
#include "graphics/Raster_Blend.h"
#include "graphics/Raster_Filters.h"
#include "graphics/Raster_LowLevel.h"
#include "RatioReporter.h"

namespace {

using velkor::TColor32;

constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kStrideBytes = kWidth * 4;

// One image's pixels, 64-byte aligned, with a pixman view of them.
struct Image {
  TColor32* bits = nullptr;
  pixman_image_t* pix = nullptr;

  explicit Image(std::uint32_t seed, bool opaque = false) {
    bits = static_cast<TColor32*>(std::aligned_alloc(64, std::size_t(kStrideBytes) * kHeight));
    std::mt19937 gen(seed);
    for (int i = 0; i < kWidth * kHeight; ++i) bits[i] = opaque ? gen() | 0xFF000000u : gen();
    pix = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, reinterpret_cast<std::uint32_t*>(bits),
                                   kStrideBytes);
  }
  ~Image() {
    pixman_image_unref(pix);
    std::free(bits);
  }
  TColor32* Row(int y) const { return bits + std::size_t(y) * kWidth; }
};

// Images shared by all benchmarks: a source with random alpha, an opaque
// source, and a destination.
struct Images {
  Image src{1}, opaqueSrc{2, true}, dst{3};
};
Images* gImages = nullptr;

void SetBytes(benchmark::State& state) {
  state.SetBytesProcessed(std::int64_t(state.iterations()) * kWidth * kHeight * 4);
}

// ---- fill ----
void Fill_Ours(benchmark::State& state) {
  for (auto _ : state) {
    velkor::Raster_LowLevel::FillLongwords(gImages->dst.bits, kWidth * kHeight, 0xFF336699);
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}
void Fill_Pixman(benchmark::State& state) {
  for (auto _ : state) {
    pixman_fill(reinterpret_cast<std::uint32_t*>(gImages->dst.bits), kWidth, 32, 0, 0, kWidth, kHeight, 0xFF336699);
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}

// ---- copy ----
void Copy_Ours(benchmark::State& state) {
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) velkor::Raster_LowLevel::MoveLongwords(gImages->src.Row(y), gImages->dst.Row(y), kWidth);
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}
void Copy_Pixman(benchmark::State& state) {
  for (auto _ : state) {
    pixman_blt(reinterpret_cast<std::uint32_t*>(gImages->src.bits), reinterpret_cast<std::uint32_t*>(gImages->dst.bits),
               kWidth, kWidth, 32, 32, 0, 0, 0, 0, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}

// ---- blend row: source over destination by the source's alpha ----
void BlendRow_Ours(benchmark::State& state) {
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) velkor::Raster_Blend::BlendRow(gImages->src.Row(y), gImages->dst.Row(y), kWidth);
    velkor::Raster_Blend::ClearMMXState();
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}
void BlendRow_Pixman(benchmark::State& state) {
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, gImages->src.pix, nullptr, gImages->dst.pix, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}

// ---- masked blend row: master alpha 128 ----
pixman_image_t* SolidMask(std::uint16_t alpha16) {
  const pixman_color_t c{0, 0, 0, alpha16};
  return pixman_image_create_solid_fill(&c);
}
void BlendRowMasked_Ours(benchmark::State& state) {
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y)
      velkor::Raster_Blend::BlendRowMasked(gImages->src.Row(y), gImages->dst.Row(y), kWidth, 128);
    velkor::Raster_Blend::ClearMMXState();
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}
void BlendRowMasked_Pixman(benchmark::State& state) {
  pixman_image_t* mask = SolidMask(0x8080);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, gImages->src.pix, mask, gImages->dst.pix, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(mask);
  SetBytes(state);
}

// ---- combine row: opaque source and destination mixed with weight 128
// (pixman: opaque source OVER through a solid mask of the same weight) ----
void CombineRow_Ours(benchmark::State& state) {
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y)
      velkor::Raster_Blend::CombineRow(gImages->opaqueSrc.Row(y), gImages->dst.Row(y), kWidth, 128);
    velkor::Raster_Blend::ClearMMXState();
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}
void CombineRow_Pixman(benchmark::State& state) {
  pixman_image_t* mask = SolidMask(0x8080);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, gImages->opaqueSrc.pix, mask, gImages->dst.pix, 0, 0, 0, 0, 0, 0, kWidth,
                             kHeight);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(mask);
  SetBytes(state);
}

// ---- one translucent colour over every pixel ----
void BlendColorOverRun_Ours(benchmark::State& state) {
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) velkor::Raster_Blend::BlendColorOverRun(0x80336699, gImages->dst.Row(y), kWidth);
    velkor::Raster_Blend::ClearMMXState();
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}
void BlendColorOverRun_Pixman(benchmark::State& state) {
  const pixman_color_t colour{0x3333, 0x6666, 0x9999, 0x8080};
  const pixman_rectangle16_t all{0, 0, kWidth, kHeight};
  for (auto _ : state) {
    pixman_image_fill_rectangles(PIXMAN_OP_OVER, gImages->dst.pix, &colour, 1, &all);
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}

// ---- logical filters (reference: pixman's copy of the same image) ----
void XorWordsTo_Ours(benchmark::State& state) {
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y)
      velkor::Raster_Filters::XorWordsTo(gImages->src.Row(y), gImages->dst.Row(y), kWidth, 0x00FFFFFF);
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}
void XorWords_Ours(benchmark::State& state) {
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) velkor::Raster_Filters::XorWords(gImages->dst.Row(y), 0x00FFFFFF, kWidth);
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}

}  // namespace

#define RASTER_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMillisecond)->UseRealTime()
RASTER_BENCH(Fill_Ours);
RASTER_BENCH(Fill_Pixman);
RASTER_BENCH(Copy_Ours);
RASTER_BENCH(Copy_Pixman);
RASTER_BENCH(BlendRow_Ours);
RASTER_BENCH(BlendRow_Pixman);
RASTER_BENCH(BlendRowMasked_Ours);
RASTER_BENCH(BlendRowMasked_Pixman);
RASTER_BENCH(CombineRow_Ours);
RASTER_BENCH(CombineRow_Pixman);
RASTER_BENCH(BlendColorOverRun_Ours);
RASTER_BENCH(BlendColorOverRun_Pixman);
RASTER_BENCH(XorWordsTo_Ours);
RASTER_BENCH(XorWords_Ours);

int main(int argc, char** argv) {
  velkor::RasterStartup();
  velkor::Raster_Filters::Startup();
  benchmark::Initialize(&argc, argv);
  gImages = new Images;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const auto& t = reporter.perIteration;
  std::printf("\n%-22s %10s %10s %8s   (1920x1080, ms per frame; ratio = ours / pixman)\n", "operation", "ours",
              "pixman", "ratio");
  const std::pair<const char*, const char*> pairs[] = {
      {"Fill", "Fill_Pixman"},         {"Copy", "Copy_Pixman"},
      {"BlendRow", "BlendRow_Pixman"}, {"BlendRowMasked", "BlendRowMasked_Pixman"},
      {"CombineRow", "CombineRow_Pixman"}, {"BlendColorOverRun", "BlendColorOverRun_Pixman"},
      {"XorWordsTo", "Copy_Pixman"},   {"XorWords", "Copy_Pixman"},
  };
  for (const auto& [name, reference] : pairs) {
    const auto ours = t.find(std::string(name) + "_Ours");
    const auto theirs = t.find(reference);
    if (ours == t.end() || theirs == t.end()) continue;
    std::printf("%-22s %10.3f %10.3f %8.2f%s\n", name, ours->second, theirs->second, ours->second / theirs->second,
                std::string(reference) == "Copy_Pixman" && std::string(name) != "Copy" ? "   (vs pixman copy)" : "");
  }
  delete gImages;
  benchmark::Shutdown();
  velkor::RasterShutdown();
  return 0;
}
