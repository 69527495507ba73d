// Kernels, the class registries, the resamplers' single-sample reads and
// the bound block average and interpolator.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BitmapTestSupport.h"
#include "graphics/Raster_Blend.h"
#include "graphics/Raster_Resamplers.h"

namespace velkor::test {
namespace {

using namespace Raster_Resamplers;

class ResamplersTest : public BitmapTest {};

template <class K>
std::unique_ptr<TCustomKernel> Make() {
  return New<K>();
}

// --- Kernels ------------------------------------------------------------------

struct FilterCase {
  const char* Kernel;
  std::unique_ptr<TCustomKernel> (*Create)();
  float X;
  double Expected;
};

TEST_F(ResamplersTest, KernelValuesAtTheirKeyPoints) {
  const FilterCase cases[] = {
      {"box, edge included", Make<TBoxKernel>, 0.5f, 1},
      {"box, just past the edge", Make<TBoxKernel>, 0.5001f, 0},
      {"box, left edge", Make<TBoxKernel>, -0.5f, 1},
      {"linear at -1", Make<TLinearKernel>, -1, 0},
      {"linear", Make<TLinearKernel>, 0.25f, 0.75},
      {"linear, left side", Make<TLinearKernel>, -0.25f, 0.75},
      {"linear at 1", Make<TLinearKernel>, 1, 0},
      {"cosine at 0", Make<TCosineKernel>, 0, 1},
      {"cosine at 0.5", Make<TCosineKernel>, 0.5f, 0.5},
      {"cosine at 1", Make<TCosineKernel>, 1, 0},
      {"spline at 0", Make<TSplineKernel>, 0, 2.0 / 3},
      {"spline at 1", Make<TSplineKernel>, 1, 1.0 / 6},
      {"spline at 2", Make<TSplineKernel>, 2, 0},
      {"Mitchell at 0", Make<TMitchellKernel>, 0, 16.0 / 18},
      {"Mitchell at 1", Make<TMitchellKernel>, 1, 1.0 / 18},
      {"Mitchell at -1.5", Make<TMitchellKernel>, -1.5f, (-7 * 3.375 + 36 * 2.25 - 60 * 1.5 + 32) / 18},
      {"cubic at 0", Make<TCubicKernel>, 0, 1},
      {"cubic at 1", Make<TCubicKernel>, 1, 0},
      {"cubic at 0.5", Make<TCubicKernel>, 0.5f, 0.5625},
      {"cubic negative lobe", Make<TCubicKernel>, 1.5f, -0.0625},
      {"Hermite at 0", Make<THermiteKernel>, 0, 1},
      {"Hermite at 0.5", Make<THermiteKernel>, 0.5f, 0.5625},
      {"Hermite at -0.5", Make<THermiteKernel>, -0.5f, 0.5625},
      {"Hermite at 2", Make<THermiteKernel>, 2, 0},
      {"Lanczos at 0", Make<TLanczosKernel>, 0, 1},
      {"Lanczos at 0.5", Make<TLanczosKernel>, 0.5f, 0.607927},
      {"Lanczos at its width", Make<TLanczosKernel>, 3, 0},
      {"Lanczos at an integer", Make<TLanczosKernel>, 1, 0},
      {"Gaussian at 0", Make<TGaussianKernel>, 0, 1},
      {"Blackman at 0", Make<TBlackmanKernel>, 0, 1},
      {"Hann at 0", Make<THannKernel>, 0, 1},
      {"Hamming at 0", Make<THammingKernel>, 0, 1},
      {"Hann at half its width", Make<THannKernel>, 1.5f, std::sin(1.5 * M_PI) / (1.5 * M_PI) * 0.5},
      {"sinsh at 0", Make<TSinshKernel>, 0, 1},
      {"sinsh at 1", Make<TSinshKernel>, 1, 0},
      {"sinsh, no cut-off at its width", Make<TSinshKernel>, 3.5f,
       0.5 * std::sin(3.5 * M_PI) / std::sinh(M_PI * 0.5 * 3.5)},
  };
  for (const FilterCase& c : cases) {
    const auto kernel = c.Create();
    EXPECT_NEAR(kernel->Filter(c.X), c.Expected, 1e-6) << c.Kernel;
  }
}

TEST_F(ResamplersTest, GaussianWindowHalvesAtSigma) {
  const auto k = New<TGaussianKernel>();
  // 2^(-x^2 / Sigma): at x^2 = Sigma the window is 0.5.
  EXPECT_NEAR(k->WindowAt(std::sqrt(1.33f)), 0.5, 1e-6);
  k->SetSigma(0);  // refused
  EXPECT_FLOAT_EQ(k->Sigma(), 1.33f);
  k->SetSigma(2);
  EXPECT_NEAR(k->WindowAt(std::sqrt(2.0f)), 0.5, 1e-6);
}

TEST_F(ResamplersTest, AlbrechtWindowSumsItsRowAtZero) {
  const auto k = New<TAlbrechtKernel>();
  EXPECT_EQ(k->Terms(), 7);
  for (int terms = 2; terms <= 11; ++terms) {
    k->SetTerms(terms);
    EXPECT_NEAR(k->WindowAt(0), 1.0, 2e-6) << terms << " terms";
    EXPECT_NEAR(k->Filter(0), 1.0, 2e-6) << terms << " terms";
  }
  k->SetTerms(1);
  EXPECT_EQ(k->Terms(), 2);
  k->SetTerms(12);
  EXPECT_EQ(k->Terms(), 11);
}

TEST_F(ResamplersTest, WideKernelWidthsStayWithinSixteen) {
  const auto lanczos = New<TLanczosKernel>();
  lanczos->SetWidth(20);
  EXPECT_EQ(lanczos->GetWidth(), 16);
  lanczos->SetWidth(NAN);
  EXPECT_EQ(lanczos->GetWidth(), 16);
  lanczos->SetWidth(0);  // would divide by zero: refused
  lanczos->SetWidth(-2);
  EXPECT_EQ(lanczos->GetWidth(), 16);
  lanczos->SetWidth(2);
  EXPECT_EQ(lanczos->GetWidth(), 2);
  EXPECT_EQ(lanczos->Filter(2.5f), 0);

  const auto sinsh = New<TSinshKernel>();
  sinsh->SetWidth(40);
  EXPECT_EQ(sinsh->GetWidth(), 16);
  sinsh->SetWidth(-1);
  EXPECT_EQ(sinsh->GetWidth(), 16);
  sinsh->SetCoeff(0);
  EXPECT_EQ(sinsh->Coeff(), 0.5f);
}

TEST_F(ResamplersTest, KernelSettersReportOnlyRealChanges) {
  const auto cubic = New<TCubicKernel>();
  const auto observer = New<TNotifiablePersistent>();
  int changes = 0;
  observer->OnChange = [&](TObject*) { ++changes; };
  cubic->SetObserver(observer.get());
  cubic->SetCoeff(-0.5f);
  EXPECT_EQ(changes, 0);
  cubic->SetCoeff(-1);
  EXPECT_EQ(changes, 1);
}

TEST_F(ResamplersTest, KernelAssignCopiesPublishedProperties) {
  const auto a = New<THermiteKernel>();
  a->SetBias(0.25f);
  a->SetTension(-0.5f);
  const auto b = New<THermiteKernel>();
  b->Assign(a.get());
  EXPECT_EQ(b->Bias(), 0.25f);
  EXPECT_EQ(b->Tension(), -0.5f);
  EXPECT_EQ(b->Filter(0.3f), a->Filter(0.3f));
}

// --- Registries -----------------------------------------------------------------

TEST_F(ResamplersTest, RegistriesListTheClassesInStartUpOrder) {
  ASSERT_NE(ResamplerClassList, nullptr);
  ASSERT_NE(KernelClassList, nullptr);
  std::vector<std::string> resamplers, kernels;
  ResamplerClassList->GetClassNames(resamplers);
  KernelClassList->GetClassNames(kernels);
  EXPECT_EQ(resamplers,
            (std::vector<std::string>{"TNearestResampler", "TLinearResampler", "TDraftResampler", "TKernelResampler"}));
  EXPECT_EQ(kernels, (std::vector<std::string>{"TBoxKernel", "TLinearKernel", "TCosineKernel", "TSplineKernel",
                                               "TCubicKernel", "TMitchellKernel", "TAlbrechtKernel", "TLanczosKernel",
                                               "TGaussianKernel", "TBlackmanKernel", "THannKernel", "THammingKernel",
                                               "TSinshKernel", "THermiteKernel"}));
  // Every registered class can be made by name.
  for (const auto& name : kernels) {
    const auto made = KernelClassList->Find(name)->Create();
    ASSERT_NE(dynamic_cast<TCustomKernel*>(made.get()), nullptr) << name;
    EXPECT_EQ(made->ClassName(), name);
  }
}

TEST_F(ResamplersTest, KernelClassNameReplacesTheKernelOnlyForAnExactRegisteredName) {
  auto bitmap = MakeBitmap(4, 4);
  auto* r = NewResampler<TKernelResampler>(*bitmap);
  ASSERT_EQ(bitmap->Resampler(), r);
  EXPECT_EQ(r->KernelClassName(), "TBoxKernel");
  int changes = 0;
  bitmap->OnChange = [&](TObject*) { ++changes; };

  const TCustomKernel* box = r->Kernel();
  r->SetKernelClassName("tlanczoskernel");
  r->SetKernelClassName("TNoSuchKernel");
  r->SetKernelClassName("");
  r->SetKernelClassName("TBoxKernel");
  EXPECT_EQ(r->Kernel(), box);
  EXPECT_EQ(changes, 0);

  r->SetKernelClassName("TLanczosKernel");
  EXPECT_EQ(r->KernelClassName(), "TLanczosKernel");
  EXPECT_EQ(r->GetWidth(), 3);
  EXPECT_EQ(changes, 1) << "the resampler's change repaints its bitmap";
}

TEST_F(ResamplersTest, ResamplerSettersClampAndReport) {
  auto bitmap = MakeBitmap(2, 2);
  auto* r = NewResampler<TKernelResampler>(*bitmap);
  int changes = 0;
  bitmap->OnChange = [&](TObject*) { ++changes; };
  r->SetTableSize(1);
  EXPECT_EQ(r->TableSize(), 2);
  r->SetTableSize(2);
  r->SetKernelMode(kmDynamic);
  r->SetKernel(nullptr);
  r->SetKernel(r->Kernel());
  EXPECT_EQ(changes, 1);
  r->SetKernelMode(kmTableLinear);
  r->SetKernel(New<TCubicKernel>().release());
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(r->KernelClassName(), "TCubicKernel");
}

TEST_F(ResamplersTest, ResamplerAssignCopiesKernelClassAndSettings) {
  auto a = MakeBitmap(2, 2), b = MakeBitmap(2, 2);
  auto* ra = NewResampler<TKernelResampler>(*a);
  ra->SetKernelClassName("TCubicKernel");
  static_cast<TCubicKernel*>(ra->Kernel())->SetCoeff(-1);
  ra->SetKernelMode(kmTableNearest);
  ra->SetTableSize(64);
  ra->SetPixelAccessMode(pamWrap);
  auto* rb = NewResampler<TKernelResampler>(*b);
  rb->Assign(ra);
  EXPECT_EQ(rb->KernelClassName(), "TCubicKernel");
  EXPECT_EQ(static_cast<TCubicKernel*>(rb->Kernel())->Coeff(), -1);
  EXPECT_EQ(rb->KernelMode(), kmTableNearest);
  EXPECT_EQ(rb->TableSize(), 64);
  EXPECT_EQ(rb->PixelAccessMode(), pamWrap);
}

// --- Weight tables ------------------------------------------------------------------

TEST_F(ResamplersTest, WeightTableRowsSumTo256) {
  auto bitmap = MakeBitmap(8, 8);
  auto* r = NewResampler<TKernelResampler>(*bitmap);
  for (const char* kernel : {"TBoxKernel", "TLinearKernel", "TCubicKernel", "TLanczosKernel", "TMitchellKernel",
                             "TAlbrechtKernel", "TSinshKernel"}) {
    for (TKernelMode mode : {kmTableNearest, kmTableLinear}) {
      r->SetKernelClassName(kernel);
      r->SetKernelMode(mode);
      r->SetTableSize(7);
      r->PrepareSampling();
      const auto& table = r->WeightTable();
      const int W = int(std::ceil(r->GetWidth()));
      ASSERT_EQ(table.Width(), 2 * W + 1) << kernel;
      ASSERT_EQ(table.Height(), 8) << kernel;
      for (int row = 0; row < table.Height(); ++row) {
        int sum = 0;
        for (int i = 0; i < table.Width(); ++i) sum += table.GetValue(i, row);
        EXPECT_EQ(sum, 256) << kernel << ", row " << row;
      }
      r->FinalizeSampling();
      EXPECT_TRUE(r->WeightTable().Empty());
    }
  }
}

// --- Single samples -------------------------------------------------------------------

std::unique_ptr<TCustomBitmap32> RandomOpaqueBitmap(int W, int H, unsigned Seed) {
  auto b = MakeBitmap(W, H);
  std::mt19937 gen(Seed);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) b->SetPixel(x, y, gen() | 0xFF000000u);
  return b;
}

TEST_F(ResamplersTest, LinearKernelBetweenBlackAndWhiteRoundsTo127) {
  auto bitmap = MakeBitmapFromRows({{0xFF000000u, 0xFFFFFFFFu}});
  auto* r = NewResampler<TKernelResampler>(*bitmap);
  r->SetKernelClassName("TLinearKernel");
  r->PrepareSampling();
  EXPECT_EQ(Hex(r->GetSampleFloat(0.5f, 0)), Hex(0xFF7F7F7Fu));
  r->FinalizeSampling();
}

TEST_F(ResamplersTest, BoxKernelAtWholePositionsReturnsThePixel) {
  auto bitmap = RandomOpaqueBitmap(5, 4, 3);
  auto* r = NewResampler<TKernelResampler>(*bitmap);
  for (TKernelMode mode : {kmDynamic, kmTableNearest, kmTableLinear}) {
    r->SetKernelMode(mode);
    r->PrepareSampling();
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x)
        EXPECT_EQ(Hex(r->GetSampleFloat(float(x), float(y))), Hex(bitmap->GetPixel(x, y)))
            << "(" << x << ", " << y << ") mode " << mode;
    r->FinalizeSampling();
  }
}

TEST_F(ResamplersTest, TableModesMatchComputedWeightsOnTheirRows) {
  auto bitmap = RandomOpaqueBitmap(12, 12, 5);
  auto* r = NewResampler<TKernelResampler>(*bitmap);
  r->SetKernelClassName("TLanczosKernel");
  r->SetTableSize(5);  // rows at offsets 0, 1/4, 1/2, 3/4, 1
  r->PrepareSampling();
  const TColor32 dynamic = r->GetSampleFloat(5.25f, 6.5f);
  for (TKernelMode mode : {kmTableNearest, kmTableLinear}) {
    r->SetKernelMode(mode);
    r->PrepareSampling();
    EXPECT_EQ(Hex(r->GetSampleFloat(5.25f, 6.5f)), Hex(dynamic)) << mode;
    r->FinalizeSampling();
  }
}

TEST_F(ResamplersTest, OutsideTheClipRectangleByAccessMode) {
  auto bitmap = RandomOpaqueBitmap(6, 6, 7);
  bitmap->SetOuterColor(0xFF204060u);
  auto* r = NewResampler<TKernelResampler>(*bitmap);
  r->SetKernelClassName("TLinearKernel");
  r->PrepareSampling();
  EXPECT_EQ(Hex(r->GetSampleFloat(-3, 2)), Hex(0xFF204060u));
  EXPECT_EQ(Hex(r->GetSampleFloat(2, 9.5f)), Hex(0xFF204060u));
  r->SetPixelAccessMode(pamTransparentEdge);
  r->PrepareSampling();
  EXPECT_EQ(r->GetSampleFloat(-3, 2), 0u);
  EXPECT_EQ(r->GetSampleFloat(NAN, 2), 0u);
}

// At a cut window pamSafe fills the missing taps with the outer colour;
// without an opaque outer colour the edge keeps its colour and loses alpha.
TEST_F(ResamplersTest, CutWindowIsFilledWithTheOuterColour) {
  auto bitmap = MakeBitmap(1, 1, 0xFFFFFFFFu);
  auto* r = NewResampler<TKernelResampler>(*bitmap);
  r->SetKernelClassName("TLinearKernel");
  bitmap->SetOuterColor(0xFF000000u);
  r->PrepareSampling();
  EXPECT_EQ(Hex(r->GetSampleFloat(0.5f, 0)), Hex(0xFF7F7F7Fu));
  bitmap->SetOuterColor(0);
  r->PrepareSampling();
  EXPECT_EQ(Hex(r->GetSampleFloat(0.5f, 0)), Hex(0x7FFFFFFFu));
}

TEST_F(ResamplersTest, TransparentPixelsAddNoColour) {
  auto clear = MakeBitmap(5, 5, 0x00FF0000u);
  auto* r = NewResampler<TKernelResampler>(*clear);
  r->SetKernelClassName("TCubicKernel");
  r->PrepareSampling();
  EXPECT_EQ(r->GetSampleFloat(2.3f, 2.6f), 0u);

  // One transparent red pixel beside opaque blue: the mix stays blue.
  auto mixed = MakeBitmapFromRows({{0x00FF0000u, 0xFF0000FFu}});
  auto* m = NewResampler<TKernelResampler>(*mixed);
  m->SetKernelClassName("TLinearKernel");
  m->PrepareSampling();
  const TColor32 c = m->GetSampleFloat(0.5f, 0);
  EXPECT_EQ(c & 0x00FFFFFFu, 0x0000FFu) << Hex(c);
  EXPECT_EQ(c >> 24, 127u);
}

// A kernel wider than the 33 taps a sample holds is cut at radius 16.
class TWideFlatKernel : public TCustomKernel {
 public:
  float Filter(float Value) const override { return std::fabs(Value) <= 40 ? 1.0f : 0.0f; }
  float GetWidth() const override { return 40; }
};

TEST_F(ResamplersTest, KernelsWiderThanSixteenAreCutNotOverrun) {
  auto bitmap = MakeBitmap(50, 50, 0xFF336699u);
  auto* r = NewResampler<TKernelResampler>(*bitmap);
  r->SetKernel(new TWideFlatKernel);
  for (TKernelMode mode : {kmDynamic, kmTableNearest, kmTableLinear}) {
    r->SetKernelMode(mode);
    r->PrepareSampling();
    EXPECT_EQ(Hex(r->GetSampleFloat(25.5f, 24.25f)), Hex(0xFF336699u)) << mode;
    r->FinalizeSampling();
  }
}

TEST_F(ResamplersTest, WrapModeSamplesAcrossTheEdge) {
  auto bitmap = RandomOpaqueBitmap(8, 4, 9);
  bitmap->SetWrapMode(wmRepeat);
  auto* r = NewResampler<TKernelResampler>(*bitmap);
  r->SetPixelAccessMode(pamWrap);
  r->PrepareSampling();
  EXPECT_EQ(r->GetSampleFloat(-1, 1), bitmap->GetPixel(7, 1));
  EXPECT_EQ(r->GetSampleFloat(9, 5), bitmap->GetPixel(1, 1));

  // An empty clip rectangle leaves nothing to wrap into.
  bitmap->SetClipRect({20, 20, 30, 30});
  bitmap->SetOuterColor(0xFF010203u);
  r->PrepareSampling();
  EXPECT_EQ(r->GetSampleFloat(1, 1), 0xFF010203u);
}

TEST_F(ResamplersTest, NearestRoundsFloatsToEvenAndFixedHalvesDown) {
  auto bitmap = MakeBitmapFromRows({{0xFF000000u, 0xFF111111u, 0xFF222222u, 0xFF333333u}});
  auto* r = NewResampler<TNearestResampler>(*bitmap);
  r->PrepareSampling();
  EXPECT_EQ(r->GetSampleFloat(1.5f, 0), 0xFF222222u);
  EXPECT_EQ(r->GetSampleFloat(2.5f, 0), 0xFF222222u);
  EXPECT_EQ(r->GetSampleFixed(0x18000, 0), 0xFF111111u);
  EXPECT_EQ(r->GetSampleInt(3, 0), 0xFF333333u);
  EXPECT_EQ(r->GetSampleInt(4, 0), bitmap->OuterColor());
}

TEST_F(ResamplersTest, NearestTransparentEdgeClampsAndClearsAlpha) {
  auto bitmap = MakeBitmapFromRows({{0xFF102030u, 0xFF405060u}, {0xFF708090u, 0xFFA0B0C0u}});
  auto* r = NewResampler<TNearestResampler>(*bitmap);
  r->SetPixelAccessMode(pamTransparentEdge);
  r->PrepareSampling();
  EXPECT_EQ(r->GetSampleInt(1, 1), 0xFFA0B0C0u);
  EXPECT_EQ(r->GetSampleInt(-5, 0), 0x00102030u);
  EXPECT_EQ(r->GetSampleInt(9, 9), 0x00A0B0C0u);
}

TEST_F(ResamplersTest, LinearTransparentEdgeFadesOutWithinOnePixel) {
  auto bitmap = MakeBitmap(4, 4, 0xFF808080u);
  auto* r = NewResampler<TLinearResampler>(*bitmap);
  r->SetPixelAccessMode(pamTransparentEdge);
  r->PrepareSampling();
  // Inside: the bitmap's own bilinear read.
  EXPECT_EQ(r->GetSampleFixed(0x18000, 0x14000), bitmap->GetPixelInterpolated(0x180, 0x140));
  // Two pixels out: nothing.
  EXPECT_EQ(r->GetSampleFixed(-0x20000, 0x10000), 0u);
  EXPECT_EQ(r->GetSampleFixed(0x10000, 0x60000), 0u);
  // Half a pixel left of the clip rectangle: the colour kept, alpha fading.
  const TColor32 edge = r->GetSampleFixed(-0x8000, 0x10000);
  EXPECT_EQ(edge & 0x00FFFFFFu, 0x808080u) << Hex(edge);
  EXPECT_GT(edge >> 24, 0u);
  EXPECT_LT(edge >> 24, 255u);
  // The float form goes through 16.16.
  EXPECT_EQ(r->GetSampleFloat(-0.5f, 1), edge);
}

// --- Bound routines ---------------------------------------------------------------------

// The specified average: Scale = $1000000 div n, (sum * Scale) shr 24.
TColor32 AverageFormula(const std::vector<TColor32>& Pixels) {
  std::uint64_t sums[4] = {};
  for (TColor32 c : Pixels)
    for (int k = 0; k < 4; ++k) sums[k] += (c >> (8 * k)) & 255;
  const std::uint64_t scale = 0x1000000u / Pixels.size();
  TColor32 out = 0;
  for (int k = 0; k < 4; ++k) out |= TColor32((sums[k] * scale) >> 24) << (8 * k);
  return out;
}

TEST_F(ResamplersTest, EveryAverageBlockVariantFollowsTheFormula) {
  ASSERT_NE(ResamplersRegistry, nullptr);
  const auto variants = ResamplersRegistry->Variants(FID_AverageBlock);
  ASSERT_GE(variants.size(), 2u);
  std::mt19937 gen(11);
  constexpr int kStride = 1100;
  std::vector<TColor32> image(std::size_t(kStride) * 9);
  for (TColor32& c : image) c = gen();
  for (std::size_t v = 0; v < variants.size(); ++v) {
    const auto average = reinterpret_cast<TAverageBlock>(variants[v]->Proc);
    for (int dlx : {1, 2, 3, 4, 5, 7, 8, 255, 256, 257, 258, 513, 1000, 1099})
      for (int dly : {1, 2, 3, 9}) {
        std::vector<TColor32> block;
        for (int y = 0; y < dly; ++y)
          for (int x = 0; x < dlx; ++x) block.push_back(image[std::size_t(y) * kStride + x]);
        EXPECT_EQ(Hex(average(dlx, dly, image.data(), kStride * 4)), Hex(AverageFormula(block)))
            << VariantName(FID_AverageBlock, v, variants[v]) << ", " << dlx << " x " << dly;
      }
    // The truncating average: three 255s give 254.
    const TColor32 white[3] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    EXPECT_EQ(Hex(average(3, 1, white, 12)), Hex(0xFEFEFEFEu));
  }
}

// Beyond 2^24 pixels the reciprocal would be 0 (a black, transparent
// average); the quotient is taken instead. A row step of 0 repeats one row.
TEST_F(ResamplersTest, AverageBlockStaysExactForHugeBlocks) {
  const std::vector<TColor32> row(4097, 0xFFFFFFFFu);
  const auto variants = ResamplersRegistry->Variants(FID_AverageBlock);
  for (std::size_t v = 0; v < variants.size(); ++v) {
    const auto average = reinterpret_cast<TAverageBlock>(variants[v]->Proc);
    EXPECT_EQ(Hex(average(4096, 4096, row.data(), 0)), Hex(0xFFFFFFFFu)) << "2^24 pixels, variant " << v;
    EXPECT_EQ(Hex(average(4097, 4097, row.data(), 0)), Hex(0xFFFFFFFFu)) << "above 2^24, variant " << v;
  }
}

// The vector interpolator: per channel (a * 256 + (b - a) * w) shr 8, first
// along the rows (b the left pixel), then between them (b the upper row).
std::uint32_t Mix(std::uint32_t a, std::uint32_t b, std::uint32_t w) {
  return std::uint32_t((int(a) * 256 + (int(b) - int(a)) * int(w)) >> 8);
}
TColor32 InterpolateFormula(std::uint32_t WX, std::uint32_t WY, const TColor32* C11, const TColor32* C21) {
  TColor32 out = 0;
  for (int k = 0; k < 4; ++k) {
    auto ch = [k](TColor32 c) { return (c >> (8 * k)) & 255; };
    const std::uint32_t upper = Mix(ch(C11[1]), ch(C11[0]), WX), lower = Mix(ch(C21[1]), ch(C21[0]), WX);
    out |= Mix(lower, upper, WY) << (8 * k);
  }
  return out;
}

TEST_F(ResamplersTest, Interpolate2x2VariantsFollowTheirFormulas) {
  const auto variants = ResamplersRegistry->Variants(FID_Interpolate2x2);
  ASSERT_GE(variants.size(), 2u);
  const auto portable = reinterpret_cast<TInterpolate2x2>(variants.front()->Proc);
  const auto colours = SampleColors(40);
  std::mt19937 gen(13);
  for (int n = 0; n < 400; ++n) {
    const TColor32 c11[2] = {colours[gen() % colours.size()], colours[gen() % colours.size()]};
    const TColor32 c21[2] = {colours[gen() % colours.size()], colours[gen() % colours.size()]};
    for (std::uint32_t wx : {0u, 1u, 127u, 128u, 255u, 256u})
      for (std::uint32_t wy : {0u, 64u, 200u, 256u}) {
        const std::uint32_t cx = std::min(wx, 255u), cy = std::min(wy, 255u);
        const TColor32 expected = Raster_Blend::CombineColor(Raster_Blend::CombineColor(c11[0], c11[1], int(cx)),
                                                             Raster_Blend::CombineColor(c21[0], c21[1], int(cx)),
                                                             int(cy));
        ASSERT_EQ(Hex(portable(wx, wy, c11, c21)), Hex(expected)) << wx << ", " << wy;
        for (std::size_t v = 1; v < variants.size(); ++v) {
          const auto vector = reinterpret_cast<TInterpolate2x2>(variants[v]->Proc);
          ASSERT_EQ(Hex(vector(wx, wy, c11, c21)), Hex(InterpolateFormula(wx, wy, c11, c21)))
              << VariantName(FID_Interpolate2x2, v, variants[v]) << ", " << wx << ", " << wy;
        }
      }
  }
  // Weight 256 selects one side exactly in the vector forms.
  const TColor32 c11[2] = {0x80FF4020u, 0x01020304u}, c21[2] = {0x11223344u, 0x55667788u};
  EXPECT_EQ(Interpolate2x2(256, 256, c11, c21), 0x80FF4020u);
  EXPECT_EQ(Interpolate2x2(0, 0, c11, c21), 0x55667788u);
}

// Enlarging 2 x 2 pixels to 4 x 4: source centres at -0.25, 0.25, 0.75
// and 1.25 give left-pixel weights 256, 192, 64 and (after the last column
// steps back inside the source) 0. Each pixel is the bound interpolator's
// result for those weights, also in an odd-width clip.
TEST_F(ResamplersTest, BilinearEnlargingUsesTheInterpolatorsWeights) {
  const TColor32 A = 0xFF102030u, B = 0xC0F0E0D0u, C = 0x80406080u, D = 0xFF00FF00u;
  auto src = MakeBitmapFromRows({{A, B}, {C, D}});
  const TColor32 upper[2] = {A, B}, lower[2] = {C, D};
  const std::uint32_t weights[4] = {256, 192, 64, 0};
  for (const TRect& clip : {TRect{0, 0, 4, 4}, TRect{1, 0, 4, 3}}) {
    auto dst = MakeBitmap(4, 4, 0);
    ScaleBilinear(dst.get(), dst->BoundsRect(), clip, src.get(), src->BoundsRect(), dmOpaque, {});
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) {
        const bool inside = x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom;
        const TColor32 expected = inside ? Interpolate2x2(weights[x], weights[y], upper, lower) : 0;
        EXPECT_EQ(Hex(dst->GetPixel(x, y)), Hex(expected)) << x << ", " << y << " in " << clip;
      }
  }
}

TEST_F(ResamplersTest, SSE2VariantsAreBoundOnThisProcessor) {
  const auto mask = Raster_System::CPUFeatureMask();
  if (!mask.Contains(Raster_System::ciSSE2)) GTEST_SKIP() << "no SSE2";
  for (int id : {FID_AverageBlock, FID_Interpolate2x2}) {
    const auto variants = ResamplersRegistry->Variants(id);
    EXPECT_EQ(ResamplersRegistry->FindFunction(id), variants.back()->Proc) << id;
    EXPECT_TRUE(variants.back()->CPUFeatures.Contains(Raster_System::ciSSE2));
    EXPECT_EQ(ResamplersRegistry->FindFunction(id, Raster_Bindings::MaskPriority({})), variants.front()->Proc);
  }
  EXPECT_EQ(reinterpret_cast<Raster_Bindings::TRoutine>(AverageBlock),
            ResamplersRegistry->FindFunction(FID_AverageBlock));
}

}  // namespace
}  // namespace velkor::test
