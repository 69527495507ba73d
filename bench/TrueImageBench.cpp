// The true image against its references, measured in the same run over
// 1920 x 1080 frames: the bound FillLongword against pixman_fill, PaintTo at
// opacity 200 onto a memory context against QPainter::drawImage at that
// opacity onto an ARGB32_Premultiplied image, a 2x linear stretch (PaintTo
// opaque through the image's kernel resampler) against Qt's smooth
// transform, and the ARGB load and save of a 1024 x 1024 image against PNG
// through QImage.
//
// The pairs compare speed only: Qt works on premultiplied pixels and
// samples by its own rules. Ours runs on one thread, so Qt's image work is
// held to one thread too (its global thread pool splits large blends and
// scales otherwise); --qt-threads keeps Qt's pool as it is. --benchmark_repetitions=5 compares medians on a
// busy machine.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QThreadPool>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "components/LowLevel.h"
#include "components/TrueImages.h"
#include "graphics/RasterStartup.h"
#include "graphics_toolkit/RasterToolkitStartup.h"

namespace {

using namespace velkor;

constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kCodecSide = 1024;

// A picture-like image: smooth gradients with a little noise, so that both
// codecs meet what they meet in practice.
std::unique_ptr<TTrueImage> PictureImage(int W, int H, bool Opaque) {
  auto image = TTrueImage::CreateSize(W, H);
  std::mt19937 gen(7);
  std::uniform_int_distribution<int> noise(0, 3);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const auto a = Opaque ? std::uint8_t(255) : std::uint8_t((x * 255) / W);
      *image->PixelPtr(x, y) = TTrueColor::FromBGRA(std::uint8_t((x + y) / 8 + noise(gen)), std::uint8_t(y / 5),
                                                    std::uint8_t(x / 8), a);
    }
  }
  return image;
}

struct Fixture {
  std::vector<std::uint32_t> frame = std::vector<std::uint32_t>(std::size_t(kWidth) * kHeight);
  std::unique_ptr<TTrueImage> blendSource = PictureImage(kWidth, kHeight, false);
  std::unique_ptr<TTrueImage> half = PictureImage(kWidth / 2, kHeight / 2, true);
  std::unique_ptr<TTrueImage> codec = PictureImage(kCodecSide, kCodecSide, false);
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP surface = CreateDIBSection(kWidth, kHeight);
  QImage qtTarget = QImage(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  QImage qtBlendSource = blendSource->ExportPNG();
  QImage qtHalf = half->ExportPNG();
  std::string argbBytes;
  QByteArray pngBytes;

  Fixture() {
    dc->SelectBitmap(surface);
    half->SetResampleMode(rmLinear);
    std::ostringstream out;
    codec->SaveToStream(out);
    argbBytes = out.str();
    QBuffer buffer(&pngBytes);
    buffer.open(QIODevice::WriteOnly);
    codec->ExportPNG().save(&buffer, "PNG");
  }
  ~Fixture() {
    dc->SelectBitmap(nullptr);
    DeleteDC(dc);
    DeleteObject(surface);
  }
};
Fixture* gFixture = nullptr;

void FillTarget(std::uint32_t* Bits, std::uint32_t Value) {
  std::fill_n(Bits, std::size_t(kWidth) * kHeight, Value);
}

void Fill_Ours(benchmark::State& state) {
  for (auto _ : state) {
    LowLevel::FillLongword(gFixture->frame.data(), std::uint32_t(gFixture->frame.size()), 0xFF102030u);
    benchmark::ClobberMemory();
  }
}
void Fill_Pixman(benchmark::State& state) {
  for (auto _ : state) {
    pixman_fill(gFixture->frame.data(), kWidth, 32, 0, 0, kWidth, kHeight, 0xFF102030u);
    benchmark::ClobberMemory();
  }
}

void Blend_Ours(benchmark::State& state) {
  const TRect all{0, 0, kWidth, kHeight};
  for (auto _ : state) {
    state.PauseTiming();
    FillTarget(gFixture->surface->Bits, 0xFF336699u);
    state.ResumeTiming();
    gFixture->blendSource->PaintTo(gFixture->dc, all, all, 200, false);
  }
}
void Blend_Qt(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    gFixture->qtTarget.fill(0xFF336699u);
    state.ResumeTiming();
    QPainter p(&gFixture->qtTarget);
    p.setOpacity(200 / 255.0);
    p.drawImage(0, 0, gFixture->qtBlendSource);
  }
}

void Stretch2x_Ours(benchmark::State& state) {
  const TRect dst{0, 0, kWidth, kHeight}, src{0, 0, kWidth / 2, kHeight / 2};
  for (auto _ : state) gFixture->half->PaintTo(gFixture->dc, dst, src, 255, true);
}
void Stretch2x_Qt(benchmark::State& state) {
  for (auto _ : state) {
    QImage scaled = gFixture->qtHalf.scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    benchmark::DoNotOptimize(scaled.constBits());
  }
}

void Load_Ours(benchmark::State& state) {
  auto image = New<TTrueImage>();
  for (auto _ : state) {
    std::istringstream in(gFixture->argbBytes);
    image->LoadFromStream(in);
  }
  state.counters["bytes"] = double(gFixture->argbBytes.size());
}
void Load_Png(benchmark::State& state) {
  for (auto _ : state) {
    QImage image = QImage::fromData(gFixture->pngBytes, "PNG");
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["bytes"] = double(gFixture->pngBytes.size());
}
void Save_Ours(benchmark::State& state) {
  for (auto _ : state) {
    std::ostringstream out;
    gFixture->codec->SaveToStream(out);
    benchmark::DoNotOptimize(out.tellp());
  }
}
void Save_Png(benchmark::State& state) {
  const QImage png = gFixture->codec->ExportPNG();
  for (auto _ : state) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    png.save(&buffer, "PNG");
    benchmark::DoNotOptimize(bytes.size());
  }
}

}  // namespace

#define TRUE_IMAGE_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMillisecond)->UseRealTime()
TRUE_IMAGE_BENCH(Fill_Ours);
TRUE_IMAGE_BENCH(Fill_Pixman);
TRUE_IMAGE_BENCH(Blend_Ours);
TRUE_IMAGE_BENCH(Blend_Qt);
TRUE_IMAGE_BENCH(Stretch2x_Ours);
TRUE_IMAGE_BENCH(Stretch2x_Qt);
TRUE_IMAGE_BENCH(Load_Ours);
TRUE_IMAGE_BENCH(Load_Png);
TRUE_IMAGE_BENCH(Save_Ours);
TRUE_IMAGE_BENCH(Save_Png);

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  bool qtThreads = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--qt-threads") {
      qtThreads = true;
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      break;
    }
  }
  if (!qtThreads) QThreadPool::globalInstance()->setMaxThreadCount(1);
  RasterStartup();
  RasterToolkitStartup();
  LowLevel::BindFillLongword();
  TrueImagesStartup();
  benchmark::Initialize(&argc, argv);
  gFixture = new Fixture;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const auto& t = reporter.perIteration;
  std::printf("\n%-10s %10s %10s %8s %8s   (ms per operation; ratio = ours / reference)\n", "operation", "ours",
              "reference", "ratio", "target");
  const std::tuple<const char*, const char*, double> pairs[] = {
      {"Fill", "Pixman", 1.1}, {"Blend", "Qt", 1.5}, {"Stretch2x", "Qt", 3.0},
      {"Load", "Png", 1.0},    {"Save", "Png", 0.0},
  };
  for (const auto& [name, reference, target] : pairs) {
    const auto ours = t.find(std::string(name) + "_Ours");
    const auto theirs = t.find(std::string(name) + "_" + reference);
    if (ours == t.end() || theirs == t.end()) continue;
    const double ratio = ours->second / theirs->second;
    if (target > 0)
      std::printf("%-10s %10.3f %10.3f %8.2f %8.1f%s\n", name, ours->second, theirs->second, ratio, target,
                  ratio <= target ? "" : "   (above target)");
    else
      std::printf("%-10s %10.3f %10.3f %8.2f %8s\n", name, ours->second, theirs->second, ratio, "-");
  }
  delete gFixture;
  benchmark::Shutdown();
  TrueImagesShutdown();
  RasterToolkitShutdown();
  RasterShutdown();
  return 0;
}
