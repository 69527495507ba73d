// The cached controls against plain Qt widgets, offscreen, in one run:
// a million position updates of a 368-px fast gauge against
// QProgressBar::setValue (each followed by one event pass), and an unchanged
// repaint of an 800 x 600 group box against a Fusion QGroupBox.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QGroupBox>
#include <QProgressBar>
#include <QStyle>
#include <QStyleFactory>

#include <memory>

#include "components/FastGauges.h"
#include "components/LowLevel.h"
#include "components/Panels.h"
#include "graphics/RasterStartup.h"
#include "graphics_toolkit/RasterToolkitStartup.h"

namespace {

using namespace velkor;

constexpr int kUpdates = 1000000;

class TCountingGauge : public TVQR_FastGauge {
 public:
  void RenderCache(TTrueImage& Image) override {
    ++Renders;
    TVQR_FastGauge::RenderCache(Image);
  }
  int Renders = 0;
};

// A shown top-level window holding one child at (0, 0).
template <class T>
struct TShown {
  explicit TShown(int W, int H) {
    Form.resize(W, H);
    Child = new T;
    Child->setParent(&Form);
    Child->setGeometry(0, 0, W, H);
    Form.show();
    QCoreApplication::processEvents();
  }
  QWidget Form;
  T* Child;
};

void BM_FastGaugeUpdates(benchmark::State& State) {
  TShown<TCountingGauge> shown(368, 16);
  shown.Child->Set3(0, kUpdates, 0);
  QCoreApplication::processEvents();
  shown.Child->Renders = 0;
  for (auto _ : State) {
    for (int i = 0; i <= kUpdates; ++i) shown.Child->SetVPos(i);
    QCoreApplication::processEvents();
    shown.Child->SetVPos(0);
  }
  State.counters["renders"] = benchmark::Counter(shown.Child->Renders, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FastGaugeUpdates)->Unit(benchmark::kMillisecond);

void BM_QProgressBarUpdates(benchmark::State& State) {
  TShown<QProgressBar> shown(368, 16);
  shown.Child->setRange(0, kUpdates);
  shown.Child->setTextVisible(false);
  for (auto _ : State) {
    for (int i = 0; i <= kUpdates; ++i) shown.Child->setValue(i);
    QCoreApplication::processEvents();
    shown.Child->setValue(0);
  }
}
BENCHMARK(BM_QProgressBarUpdates)->Unit(benchmark::kMillisecond);

void BM_GroupBoxRepaint(benchmark::State& State) {
  TShown<TVQR_GroupBox> shown(800, 600);
  shown.Child->SetCaption("Progress");
  shown.Child->repaint();
  for (auto _ : State) shown.Child->repaint();
}
BENCHMARK(BM_GroupBoxRepaint)->Unit(benchmark::kMicrosecond);

void BM_QGroupBoxFusionRepaint(benchmark::State& State) {
  std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
  TShown<QGroupBox> shown(800, 600);
  shown.Child->setStyle(fusion.get());
  shown.Child->setTitle("Progress");
  shown.Child->repaint();
  for (auto _ : State) shown.Child->repaint();
}
BENCHMARK(BM_QGroupBoxFusionRepaint)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  RasterStartup();
  RasterToolkitStartup();
  LowLevel::BindFillLongword();
  TrueImagesStartup();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  TrueImagesShutdown();
  RasterToolkitShutdown();
  RasterShutdown();
  return 0;
}
