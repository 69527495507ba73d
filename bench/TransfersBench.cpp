// Block and stretch transfers against pixman, measured in the same run over
// the same pixels: the opaque block copy (PIXMAN_OP_SRC), the block blend at
// master alpha 128 (OVER through a solid mask), nearest and bilinear
// enlarging by 2 (PIXMAN_FILTER_NEAREST / BILINEAR), and shrinking to a
// third with the Lanczos kernel and with the draft block average (separable
// convolution with LANCZOS3 / BOX). The frame is 1920 x 1080.
//
// pixman works on premultiplied pixels and samples with its own rules, so
// the blend and scaling pairs compare speed only; the copies are
// bit-identical. --benchmark_repetitions=5 compares medians on a busy
// machine.
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
#include "graphics/Raster_Resamplers.h"
#include "RatioReporter.h"

namespace {

using namespace velkor;
using namespace velkor::Raster_Resamplers;

constexpr int kWidth = 1920, kHeight = 1080;

// A bitmap of random pixels with a pixman view of the same memory.
struct Image {
  std::unique_ptr<TCustomBitmap32> bitmap;
  pixman_image_t* pix = nullptr;

  Image(int w, int h, std::uint32_t seed, bool opaque) : bitmap(New<TCustomBitmap32>()) {
    bitmap->SetSize(w, h);
    std::mt19937 gen(seed);
    TColor32* bits = bitmap->Bits();
    for (int i = 0; i < w * h; ++i) bits[i] = opaque ? gen() | 0xFF000000u : gen();
    pix = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, reinterpret_cast<std::uint32_t*>(bits), w * 4);
    pixman_image_set_repeat(pix, PIXMAN_REPEAT_PAD);
  }
  ~Image() { pixman_image_unref(pix); }
};

struct Images {
  Image src{kWidth, kHeight, 1, false};
  Image opaque{kWidth, kHeight, 2, true};
  Image half{kWidth / 2, kHeight / 2, 3, true};
  Image dst{kWidth, kHeight, 4, true};
  Image third{kWidth / 3, kHeight / 3, 5, true};
};
Images* gImages = nullptr;

void SetPixels(benchmark::State& state, int w, int h) {
  state.SetItemsProcessed(std::int64_t(state.iterations()) * w * h);
}

// ---- opaque block copy ----
void CopyBlock_Ours(benchmark::State& state) {
  TCustomBitmap32* dst = gImages->dst.bitmap.get();
  TCustomBitmap32* src = gImages->opaque.bitmap.get();
  for (auto _ : state) {
    TransferBlock(dst, 0, 0, dst->BoundsRect(), src, src->BoundsRect(), dmOpaque);
    benchmark::ClobberMemory();
  }
  SetPixels(state, kWidth, kHeight);
}
void CopyBlock_Pixman(benchmark::State& state) {
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, gImages->opaque.pix, nullptr, gImages->dst.pix, 0, 0, 0, 0, 0, 0, kWidth,
                             kHeight);
    benchmark::ClobberMemory();
  }
  SetPixels(state, kWidth, kHeight);
}

// ---- block blend at master alpha 128 ----
void BlendBlock_Ours(benchmark::State& state) {
  TCustomBitmap32* dst = gImages->dst.bitmap.get();
  TCustomBitmap32* src = gImages->src.bitmap.get();
  src->SetMasterAlpha(128);
  for (auto _ : state) {
    TransferBlock(dst, 0, 0, dst->BoundsRect(), src, src->BoundsRect(), dmBlend);
    benchmark::ClobberMemory();
  }
  src->SetMasterAlpha(255);
  SetPixels(state, kWidth, kHeight);
}
void BlendBlock_Pixman(benchmark::State& state) {
  const pixman_color_t half{0, 0, 0, 0x8080};
  pixman_image_t* mask = pixman_image_create_solid_fill(&half);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, gImages->src.pix, mask, gImages->dst.pix, 0, 0, 0, 0, 0, 0, kWidth,
                             kHeight);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(mask);
  SetPixels(state, kWidth, kHeight);
}

// ---- scaling: ours through TransferStretched with a resampler ----
void StretchOurs(benchmark::State& state, Image& from, Image& to, TCustomResampler* resampler) {
  TCustomBitmap32* dst = to.bitmap.get();
  TCustomBitmap32* src = from.bitmap.get();
  for (auto _ : state) {
    TransferStretched(dst, dst->BoundsRect(), dst->BoundsRect(), src, src->BoundsRect(), resampler, dmOpaque);
    benchmark::ClobberMemory();
  }
  SetPixels(state, dst->Width(), dst->Height());
}

// pixman samples the source through the inverse transform: a scale of
// (source size / destination size).
void StretchPixman(benchmark::State& state, Image& from, Image& to, pixman_filter_t filter,
                   const pixman_fixed_t* params = nullptr, int nParams = 0) {
  const int w = to.bitmap->Width(), h = to.bitmap->Height();
  pixman_transform_t t;
  pixman_transform_init_scale(&t, pixman_double_to_fixed(double(from.bitmap->Width()) / w),
                              pixman_double_to_fixed(double(from.bitmap->Height()) / h));
  pixman_image_set_transform(from.pix, &t);
  pixman_image_set_filter(from.pix, filter, params, nParams);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, from.pix, nullptr, to.pix, 0, 0, 0, 0, 0, 0, w, h);
    benchmark::ClobberMemory();
  }
  pixman_image_set_transform(from.pix, nullptr);
  pixman_image_set_filter(from.pix, PIXMAN_FILTER_NEAREST, nullptr, 0);
  SetPixels(state, w, h);
}

void StretchPixmanConvolution(benchmark::State& state, Image& from, Image& to, pixman_kernel_t kernel) {
  const double scale = double(from.bitmap->Width()) / to.bitmap->Width();
  int n = 0;
  pixman_fixed_t* params = pixman_filter_create_separable_convolution(
      &n, pixman_double_to_fixed(scale), pixman_double_to_fixed(scale), PIXMAN_KERNEL_IMPULSE, PIXMAN_KERNEL_IMPULSE,
      kernel, kernel, 4, 4);
  StretchPixman(state, from, to, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
  free(params);
}

template <class R>
std::unique_ptr<R> MakeResampler() {
  return New<R>();
}

void Nearest2x_Ours(benchmark::State& state) {
  auto r = MakeResampler<TNearestResampler>();
  StretchOurs(state, gImages->half, gImages->dst, r.get());
}
void Nearest2x_Pixman(benchmark::State& state) {
  StretchPixman(state, gImages->half, gImages->dst, PIXMAN_FILTER_NEAREST);
}
void Linear2x_Ours(benchmark::State& state) {
  auto r = MakeResampler<TLinearResampler>();
  StretchOurs(state, gImages->half, gImages->dst, r.get());
}
void Linear2x_Pixman(benchmark::State& state) {
  StretchPixman(state, gImages->half, gImages->dst, PIXMAN_FILTER_BILINEAR);
}
void LanczosThird_Ours(benchmark::State& state) {
  auto r = MakeResampler<TKernelResampler>();
  r->SetKernel(New<TLanczosKernel>().release());
  StretchOurs(state, gImages->opaque, gImages->third, r.get());
}
void LanczosThird_Pixman(benchmark::State& state) {
  StretchPixmanConvolution(state, gImages->opaque, gImages->third, PIXMAN_KERNEL_LANCZOS3);
}
void DraftThird_Ours(benchmark::State& state) {
  auto r = MakeResampler<TDraftResampler>();
  StretchOurs(state, gImages->opaque, gImages->third, r.get());
}
void DraftThird_Pixman(benchmark::State& state) {
  StretchPixmanConvolution(state, gImages->opaque, gImages->third, PIXMAN_KERNEL_BOX);
}

}  // namespace

#define TRANSFER_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMillisecond)->UseRealTime()
TRANSFER_BENCH(CopyBlock_Ours);
TRANSFER_BENCH(CopyBlock_Pixman);
TRANSFER_BENCH(BlendBlock_Ours);
TRANSFER_BENCH(BlendBlock_Pixman);
TRANSFER_BENCH(Nearest2x_Ours);
TRANSFER_BENCH(Nearest2x_Pixman);
TRANSFER_BENCH(Linear2x_Ours);
TRANSFER_BENCH(Linear2x_Pixman);
TRANSFER_BENCH(LanczosThird_Ours);
TRANSFER_BENCH(LanczosThird_Pixman);
TRANSFER_BENCH(DraftThird_Ours);
TRANSFER_BENCH(DraftThird_Pixman);

int main(int argc, char** argv) {
  RasterStartup();
  benchmark::Initialize(&argc, argv);
  gImages = new Images;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const auto& t = reporter.perIteration;
  std::printf("\n%-14s %10s %10s %8s %8s   (ms per frame; ratio = ours / pixman)\n", "operation", "ours", "pixman",
              "ratio", "target");
  const std::pair<const char*, double> pairs[] = {
      {"CopyBlock", 1.1}, {"BlendBlock", 1.5},   {"Nearest2x", 1.5},
      {"Linear2x", 1.5},  {"LanczosThird", 2.0}, {"DraftThird", 2.0},
  };
  for (const auto& [name, target] : pairs) {
    const auto ours = t.find(std::string(name) + "_Ours");
    const auto theirs = t.find(std::string(name) + "_Pixman");
    if (ours == t.end() || theirs == t.end()) continue;
    const double ratio = ours->second / theirs->second;
    std::printf("%-14s %10.3f %10.3f %8.2f %8.1f%s\n", name, ours->second, theirs->second, ratio, target,
                ratio <= target ? "" : "   (above target)");
  }
  delete gImages;
  benchmark::Shutdown();
  RasterShutdown();
  return 0;
}
