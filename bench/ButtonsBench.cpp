// A toolbar of 25 smart tool buttons with 48-px glyphs against 25
// QToolButtons showing the same pictures as icons, offscreen, in one run:
// one repaint of the whole bar. The ratio ours / Qt is printed at the end.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QToolButton>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "components/Btns.h"
#include "components/LowLevel.h"
#include "graphics/RasterStartup.h"
#include "graphics_toolkit/RasterToolkitStartup.h"

namespace {

using namespace velkor;

constexpr int kButtons = 25;

// A 48 x 48 glyph with a gradient and soft alpha, different per button.
std::unique_ptr<TTrueImage> Glyph(int Seed) {
  auto Image = TTrueImage::CreateSize(48, 48);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 48; ++x)
      Image->BMP32().SetPixel(x, y, TColor32((std::uint32_t((x * 5 + y) & 255) << 24) |
                                             (std::uint32_t(x * 5 + Seed * 9) & 255) << 16 |
                                             (std::uint32_t(y * 5) & 255) << 8 | std::uint32_t(Seed * 10 & 255)));
  return Image;
}

QImage AsQImage(const TTrueImage& Image) {
  QImage Q(Image.Width(), Image.Height(), QImage::Format_ARGB32);
  for (int y = 0; y < Image.Height(); ++y)
    for (int x = 0; x < Image.Width(); ++x) Q.setPixel(x, y, Image.BMP32().GetPixel(x, y));
  return Q;
}

struct TBar {
  QWidget Form;
  TBar() {
    Form.resize(kButtons * 48, 48);
    new QHBoxLayout(&Form);
    Form.layout()->setContentsMargins(0, 0, 0, 0);
    Form.layout()->setSpacing(0);
  }
  void Show() {
    Form.show();
    QCoreApplication::processEvents();
    Form.repaint();
  }
};

void BM_SmartToolBtnBar(benchmark::State& State) {
  TBar Bar;
  for (int i = 0; i < kButtons; ++i) {
    auto* B = new TSmartToolBtn(&Bar.Form);
    auto Pic = New<TPicture>();
    Pic->Assign(Glyph(i).get());
    B->SetGlyph(Pic.get());
    B->setFixedSize(48, 48);
    Bar.Form.layout()->addWidget(B);
  }
  Bar.Show();
  for (auto _ : State) Bar.Form.repaint();
}
BENCHMARK(BM_SmartToolBtnBar)->Unit(benchmark::kMicrosecond);

void BM_QToolButtonBar(benchmark::State& State) {
  TBar Bar;
  for (int i = 0; i < kButtons; ++i) {
    auto* B = new QToolButton(&Bar.Form);
    B->setIcon(QIcon(QPixmap::fromImage(AsQImage(*Glyph(i)))));
    B->setIconSize(QSize(48, 48));
    B->setFixedSize(48, 48);
    Bar.Form.layout()->addWidget(B);
  }
  Bar.Show();
  for (auto _ : State) Bar.Form.repaint();
}
BENCHMARK(BM_QToolButtonBar)->Unit(benchmark::kMicrosecond);

// Keeps the console output and remembers each benchmark's time per run.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& R : Runs)
      if (R.run_type == Run::RT_Iteration) Times[R.run_name.function_name] = R.GetAdjustedRealTime();
  }
  std::map<std::string, double> Times;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  RasterStartup();
  RasterToolkitStartup();
  LowLevel::BindFillLongword();
  TrueImagesStartup();
  benchmark::Initialize(&argc, argv);
  TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  const auto Ours = Reporter.Times.find("BM_SmartToolBtnBar");
  const auto Qt = Reporter.Times.find("BM_QToolButtonBar");
  if (Ours != Reporter.Times.end() && Qt != Reporter.Times.end() && Qt->second > 0)
    std::printf("toolbar repaint, smart tool buttons / QToolButtons: %.2fx (target <= 2x)\n",
                Ours->second / Qt->second);
  benchmark::Shutdown();
  TrueImagesShutdown();
  RasterToolkitShutdown();
  RasterShutdown();
  return 0;
}
