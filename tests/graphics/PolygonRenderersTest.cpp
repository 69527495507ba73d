// The polygon renderers: coverage to weights and colours, the fill rules on
// real fills, fillers, sub-pixel (LCD) spans, change reports, measuring
// mode and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "BitmapTestSupport.h"
#include "graphics/Raster_Blend.h"
#include "graphics/Raster_Polygons.h"

namespace velkor {
namespace {

using namespace Raster_Polygons;
using test::Hex;

constexpr TColor32 kWhite = 0xFFFFFFFFu;

class PolygonRenderersTest : public test::BitmapTest {
 protected:
  static std::unique_ptr<TBitmap32> Bitmap(int W, int H, TColor32 Fill = kWhite) {
    auto b = New<TBitmap32>();
    b->SetSize(W, H);
    b->Clear(Fill);
    return b;
  }
};

TArrayOfFloatPoint Rect(float L, float T, float R, float B) { return {{L, T}, {R, T}, {R, B}, {L, B}}; }

std::uint8_t Alpha(TColor32 C) { return C >> 24; }

// F over B as the renderer blends a run of pixels.
TColor32 Blended(TColor32 F, TColor32 B) {
  Raster_Blend::BlendColorOverRun(F, &B, 1);
  return B;
}

TEST_F(PolygonRenderersTest, SixteenBitWeightsFollowTheFillRule) {
  struct Case {
    float Coverage;
    std::uint32_t NonZero, EvenOdd;
  } cases[] = {
      {0.0f, 0, 0},           {0.5f, 32768, 32768},   {1.0f, 65536, 65535}, {1.5f, 65536, 32767},
      {2.0f, 65536, 0},       {3.0f, 65536, 65535},   {-1.0f, 65536, 65535}, {-0.5f, 32768, 32768},
      {-2.0f, 65536, 0},      {0.25f, 16384, 16384},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("coverage " + std::to_string(c.Coverage));
    EXPECT_EQ(NonZeroWeight(c.Coverage), c.NonZero);
    EXPECT_EQ(EvenOddWeight(c.Coverage), c.EvenOdd);
  }
}

TEST_F(PolygonRenderersTest, ColoursTakeGammaOfTheWeightedAlpha) {
  // Alpha index (A * 257 * f) shr 24: 0.5 at A = 255 -> 127, 0.25 -> 63.
  float coverage[] = {1.0f, 2.0f, 0.5f, 0.5f, 0.25f, 0.0f};
  TColor32 out[6];
  MakeColorsNonZero(coverage, out, 6, 0xFF123456u);
  const int expected[] = {255, 255, 127, 127, 63, 0};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(out[i], (TColor32(GammaTable[expected[i]]) << 24) | 0x123456u) << "value " << i;
  }
  EXPECT_EQ(GammaTable[127], 84);  // the value the edge of a half-covered pixel gets

  MakeColorsEvenOdd(coverage, out, 6, 0xFF123456u);
  EXPECT_EQ(Alpha(out[0]), GammaTable[255]);  // weight 65535 still gives index 255
  EXPECT_EQ(Alpha(out[1]), 0);

  // Alpha 0 gives alpha 0 whatever the coverage.
  MakeColorsNonZero(coverage, out, 6, 0x00FF0000u);
  for (TColor32 c : out) EXPECT_EQ(Alpha(c), 0);
}

TEST_F(PolygonRenderersTest, AlphaValuesForFillers) {
  float coverage[] = {0.5f, 1.0f, 1.5f, 2.0f, -0.75f};
  TColor32 nz[5], eo[5];
  MakeAlphaNonZero(coverage, nz, 5, 0);
  MakeAlphaEvenOdd(coverage, eo, 5, 0);
  const int nzIndex[] = {128, 255, 255, 255, 192};
  const int eoIndex[] = {128, 255, 127, 0, 192};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(nz[i], GammaTable[nzIndex[i]]) << "non-zero " << i;
    EXPECT_EQ(eo[i], GammaTable[eoIndex[i]]) << "even-odd " << i;
  }
  EXPECT_EQ(FillProcs[0][frNonZero], MakeColorsNonZero);
  EXPECT_EQ(FillProcs[1][frEvenOdd], MakeAlphaEvenOdd);
  EXPECT_EQ(FillProcs[3][frNonZero], MakeLCD2WeightsNonZero);
}

TEST_F(PolygonRenderersTest, LCDWeightsAreBoxFilteredThirds) {
  // Three covered sub-pixels at A = 255: b = (255 * 86 * 65536) shr 24 = 85.
  float coverage[] = {1.0f, 1.0f, 1.0f};
  TColor32 words[4] = {0xAAAAAAAA, 0xAAAAAAAA, 0xAAAAAAAA, 0xAAAAAAAA};
  auto* o = reinterpret_cast<std::uint8_t*>(words);
  MakeLCDWeightsNonZero(coverage, words, 3, 0xFF000000u);
  const std::vector<int> lcd = {GammaTable[85], GammaTable[170], GammaTable[255], 170, 85, 0, 0};
  EXPECT_EQ(std::vector<int>(o, o + 7), lcd);
  EXPECT_EQ(o[7], 0xAA) << "wrote past Count + 3";

  MakeLCD2WeightsNonZero(coverage, words, 3, 0xFF000000u);
  std::vector<int> lcd2(7);
  for (int k = 0; k < 7; ++k) lcd2[k] = (lcd[k] + (k > 0 ? lcd[k - 1] : 0) + (k > 1 ? lcd[k - 2] : 0)) / 3;
  EXPECT_EQ(std::vector<int>(o, o + 7), lcd2);
}

TEST_F(PolygonRenderersTest, BlendLCDLineWeightsRedGreenBlueByBytes012) {
  TColor32 px[3] = {kWhite, kWhite, 0xFF808080u};
  const std::uint8_t weights[] = {255, 0, 0, /**/ 0, 128, 255, /**/ 255, 255, 255, 255};
  BlendLCDLine(weights, px, 0xFF000000u, 3);
  EXPECT_EQ(px[0], 0xFF00FFFFu) << Hex(px[0]);                   // red only
  EXPECT_EQ(px[1], 0xFFFF7F00u) << Hex(px[1]);                   // 255 - 255 * 128 div 255 = 127
  EXPECT_EQ(px[2], 0xFF000000u) << "all four bytes 255: the colour itself";
}

TEST_F(PolygonRenderersTest, OverlappingSquaresPerFillRule) {
  const TArrayOfArrayOfFloatPoint squares = {Rect(1, 1, 7, 7), Rect(4, 4, 10, 10)};
  const TColor32 blue = 0xFF0000FFu;
  const TColor32 opaqueBlue = Blended(blue, kWhite);
  for (TPolyFillRule rule : {frNonZero, frEvenOdd}) {
    auto b = Bitmap(12, 12);
    auto r = New<TPolygonRenderer32VPR>(b.get(), rule);
    r->SetColor(blue);
    r->PolyPolygonFS(squares);
    SCOPED_TRACE(rule == frNonZero ? "non-zero" : "even-odd");
    EXPECT_EQ(b->GetPixel(2, 2), opaqueBlue) << Hex(b->GetPixel(2, 2));
    EXPECT_EQ(b->GetPixel(8, 8), opaqueBlue);
    EXPECT_EQ(b->GetPixel(5, 5), rule == frNonZero ? opaqueBlue : kWhite) << Hex(b->GetPixel(5, 5));
    EXPECT_EQ(b->GetPixel(0, 0), kWhite);
    EXPECT_EQ(b->GetPixel(11, 11), kWhite);
  }
}

TEST_F(PolygonRenderersTest, HalfCoveredEdgeBlendsWithGamma127) {
  auto b = Bitmap(4, 1, 0xFF000000u);
  auto r = New<TPolygonRenderer32VPR>(b.get());
  r->SetColor(kWhite);
  r->PolygonFS(Rect(0.5f, 0, 2, 1));
  EXPECT_EQ(b->GetPixel(0, 0), Blended((TColor32(GammaTable[127]) << 24) | 0xFFFFFF, 0xFF000000u));
  EXPECT_EQ(b->GetPixel(1, 0), Blended(kWhite, 0xFF000000u));
  EXPECT_EQ(b->GetPixel(2, 0), 0xFF000000u);
}

TEST_F(PolygonRenderersTest, ColourWithAlphaZeroChangesNoPixelButReports) {
  auto b = test::MakePatternBitmap(10, 10);
  auto b32 = New<TBitmap32>();
  b32->Assign(b.get());
  test::TReports reports;
  reports.Attach(*b32);
  auto r = New<TPolygonRenderer32VPR>(b32.get());
  r->SetColor(0x00FF0000u);
  r->PolygonFS(Rect(1, 1, 9, 9));
  EXPECT_TRUE(test::SamePixels(*b, *b32, b->BoundsRect()));
  EXPECT_EQ(reports.Areas.size(), 1u);
}

// Records what a filler is asked to do.
class TRecordingFiller : public TCustomPolygonFiller {
 public:
  struct TLine {
    PColor32 Dst;
    int X, Y;
    std::vector<TColor32> Alpha;
  };
  std::vector<std::string> Calls;
  std::vector<TLine> Lines;

  TFillLineEvent GetFillLine() override {
    return [this](PColor32 Dst, int X, int Y, int Length, PColor32 Alpha) {
      Calls.push_back("FillLine");
      Lines.push_back({Dst, X, Y, std::vector<TColor32>(Alpha, Alpha + Length)});
    };
  }
  void BeginRendering() override { Calls.push_back("Begin"); }
  void EndRendering() override { Calls.push_back("End"); }
};

TEST_F(PolygonRenderersTest, FillerGetsAlphaValuesFromTheSpanStart) {
  auto b = Bitmap(10, 4);
  TRecordingFiller filler;
  auto r = New<TPolygonRenderer32VPR>(b.get(), frNonZero);
  r->SetFiller(&filler);
  r->PolygonFS(Rect(2.5f, 1, 5, 3));
  ASSERT_EQ(filler.Calls, (std::vector<std::string>{"Begin", "FillLine", "FillLine", "End"}));
  for (int row = 0; row < 2; ++row) {
    const auto& line = filler.Lines[row];
    EXPECT_EQ(line.Y, row + 1);
    EXPECT_EQ(line.X, 2);
    EXPECT_EQ(line.Dst, b->PixelPtr(2, row + 1));
    ASSERT_GE(line.Alpha.size(), 3u);
    EXPECT_EQ(line.Alpha[0], GammaTable[128]);
    EXPECT_EQ(line.Alpha[1], GammaTable[255]);
    EXPECT_EQ(line.Alpha[2], GammaTable[255]);
  }
  EXPECT_EQ(b->GetPixel(3, 1), kWhite) << "a filler draws itself; the renderer does not";

  // Without the filler the same renderer blends its colour again.
  r->SetFiller(nullptr);
  r->SetColor(0xFF000000u);
  r->PolygonFS(Rect(2.5f, 1, 5, 3));
  EXPECT_NE(b->GetPixel(3, 1), kWhite);
}

TEST_F(PolygonRenderersTest, LCDSpanAtSubPixelOneReadsZerosInFront) {
  // Sub-pixels 1 and 2 of pixel 0 covered: coverage 1, 1 then 0, 0.
  auto b = Bitmap(4, 1);
  auto r = New<TPolygonRenderer32LCD>(b.get());
  r->SetColor(0xFF000000u);
  r->PolygonFS(Rect(1.0f / 3, 0, 1, 1));
  // Weights from byte 4: 0, G85, G170 | G170, G85, 0 (a box lagging one
  // sub-pixel); black over white leaves 255 - weight per channel.
  const int g85 = GammaTable[85], g170 = GammaTable[170];
  auto rgb = [](int R, int G, int B) { return 0xFF000000u | TColor32(R) << 16 | TColor32(G) << 8 | TColor32(B); };
  EXPECT_EQ(b->GetPixel(0, 0), rgb(255, 255 - g85, 255 - g170)) << Hex(b->GetPixel(0, 0));
  EXPECT_EQ(b->GetPixel(1, 0), rgb(255 - g170, 255 - g85, 255)) << Hex(b->GetPixel(1, 0));
  EXPECT_EQ(b->GetPixel(2, 0), kWhite);

  // LCD2: the weights once more filtered, one sub-pixel further behind.
  auto b2 = Bitmap(4, 1);
  auto r2 = New<TPolygonRenderer32LCD2>(b2.get());
  r2->SetColor(0xFF000000u);
  r2->PolygonFS(Rect(1.0f / 3, 0, 1, 1));
  // LCD weights o = G85, G170, G170, G85, 0, 0, ... from sub-pixel 1; the
  // second box gives o' = G85/3, (G85+G170)/3, (G85+2*G170)/3, ... and the
  // blend starts one byte later than LCD's, so pixel 0 reads o'[0..2].
  const int o0 = g85 / 3, o1 = (g85 + g170) / 3, o2 = (g85 + 2 * g170) / 3, o3 = (2 * g170 + g85) / 3,
            o4 = (g170 + g85) / 3, o5 = g85 / 3;
  EXPECT_EQ(b2->GetPixel(0, 0), rgb(255 - o0, 255 - o1, 255 - o2)) << Hex(b2->GetPixel(0, 0));
  EXPECT_EQ(b2->GetPixel(1, 0), rgb(255 - o3, 255 - o4, 255 - o5)) << Hex(b2->GetPixel(1, 0));
  EXPECT_EQ(b2->GetPixel(2, 0), kWhite);
}

TEST_F(PolygonRenderersTest, LCDFillReachingTheRightEdgeStaysInside) {
  // A row whose last pixel is covered up to the edge: the blend of the last
  // pixel reads one weight byte beyond it, which must come from the padding.
  auto b = Bitmap(3, 2);
  std::unique_ptr<TPolygonRenderer32> renderers[] = {New<TPolygonRenderer32LCD>(b.get()),
                                                     New<TPolygonRenderer32LCD2>(b.get())};
  for (auto& r : renderers) {
    r->SetColor(0xFF000000u);
    r->PolygonFS(Rect(-5, 0, 50, 1));
    EXPECT_NE(b->GetPixel(2, 0), kWhite) << r->ClassName();
    EXPECT_EQ(b->GetPixel(2, 1), kWhite) << r->ClassName();
  }
}

TEST_F(PolygonRenderersTest, OneChangeReportPerPolygonWithRoundedBounds) {
  auto b = Bitmap(30, 30);
  test::TReports reports;
  reports.Attach(*b);
  auto r = New<TPolygonRenderer32VPR>(b.get());
  r->SetColor(0xFF00FF00u);
  const TArrayOfArrayOfFloatPoint polys = {Rect(0.4f, 0.6f, 10.5f, 20.5f), {}, Rect(-10, -10, -5, -5)};
  r->PolyPolygonFS(polys);
  ASSERT_EQ(reports.Areas.size(), 2u);
  EXPECT_EQ(reports.Areas[0].first, (TRect{0, 1, 10, 20}));  // halves to even
  EXPECT_EQ(reports.Areas[0].second, AREAINFO_RECT);
  EXPECT_EQ(reports.Areas[1].first, (TRect{-10, -10, -5, -5})) << "outside: still reported, unclipped";

  reports.Clear();
  b->BeginUpdate();
  r->PolyPolygonFS(polys);
  b->EndUpdate();
  EXPECT_TRUE(reports.Areas.empty());

  // The LCD renderer reports the unscaled bounds.
  reports.Clear();
  auto lcd = New<TPolygonRenderer32LCD>(b.get());
  lcd->SetColor(0xFF000000u);
  lcd->PolygonFS(Rect(2, 3, 8, 9));
  ASSERT_EQ(reports.Areas.size(), 1u);
  EXPECT_EQ(reports.Areas[0].first, (TRect{2, 3, 8, 9}));
}

TEST_F(PolygonRenderersTest, MeasuringModeDrawsNothingAndReportsBounds) {
  auto b = Bitmap(20, 20);
  std::vector<TRect> measured;
  b->BeginUpdate();  // the optimiser measures inside an update bracket too
  b->BeginMeasuring([&](TPersistent*, const TRect& Area, std::uint32_t) { measured.push_back(Area); });
  TRecordingFiller filler;
  std::unique_ptr<TPolygonRenderer32> renderers[] = {New<TPolygonRenderer32VPR>(b.get()),
                                                     New<TPolygonRenderer32LCD>(b.get())};
  for (auto& r : renderers) {
    r->SetColor(0xFF000000u);
    r->PolygonFS(Rect(2, 2, 12, 12));
    r->SetFiller(&filler);
    r->PolygonFS(Rect(2, 2, 12, 12));
  }
  b->EndMeasuring();
  b->EndUpdate();
  EXPECT_EQ(measured, std::vector<TRect>(4, TRect{2, 2, 12, 12}));
  EXPECT_TRUE(test::ChangedPixels(*b, kWhite).empty());
  EXPECT_TRUE(filler.Calls.empty());
}

TEST_F(PolygonRenderersTest, ClipRectIsLimitedToTheBitmap) {
  auto b = Bitmap(8, 6);
  auto r = New<TPolygonRenderer32VPR>(b.get());
  r->SetColor(0xFF000000u);
  const TColor32 black = Blended(0xFF000000u, kWhite);
  // A clip far larger than the bitmap: every pixel filled, none beyond.
  r->PolygonFS(Rect(-100, -100, 100, 100), TFloatRect{-50, -50, 500, 500});
  EXPECT_EQ(test::ChangedPixels(*b, black).size(), 0u);

  // The default clip is the bitmap's clip rectangle.
  b->Clear(kWhite);
  b->SetClipRect({2, 1, 5, 4});
  r->PolygonFS(Rect(-100, -100, 100, 100));
  EXPECT_EQ(test::ChangedPixels(*b, kWhite).size(), 9u);

  // A clip wholly outside, or with NaN, fills nothing.
  b->Clear(kWhite);
  r->PolygonFS(Rect(-100, -100, 100, 100), TFloatRect{20, 20, 30, 30});
  r->PolygonFS(Rect(-100, -100, 100, 100), TFloatRect{std::nanf(""), 0, 5, 5});
  EXPECT_TRUE(test::ChangedPixels(*b, kWhite).empty());
}

TEST_F(PolygonRenderersTest, BadInputNeitherCrashesNorDraws) {
  auto none = New<TPolygonRenderer32VPR>();
  EXPECT_THROW(none->PolygonFS(Rect(0, 0, 1, 1)), EPolygonRendererError);
  EXPECT_THROW(none->PolygonFS(Rect(0, 0, 1, 1), TFloatRect{0, 0, 1, 1}), EPolygonRendererError);

  auto b = Bitmap(10, 10);
  auto r = New<TPolygonRenderer32VPR>(b.get());
  r->SetColor(0xFF000000u);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  r->PolygonFS({{nan, 0}, {5, 0}, {5, 5}});
  r->PolygonFS({{0, 0}, {inf, 0}, {5, 5}});
  r->PolyPolygonFS(TArrayOfArrayOfFloatPoint{});
  r->PolyPolygonFS(TArrayOfArrayOfFloatPoint{{}, {{1, 1}}});
  EXPECT_TRUE(test::ChangedPixels(*b, kWhite).empty());
  r->PolygonFS({{-1e30f, -1e30f}, {1e30f, -1e30f}, {1e30f, 1e30f}, {-1e30f, 1e30f}});  // must not crash

  // An empty bitmap has nothing to fill.
  auto empty = New<TBitmap32>();
  auto lcd = New<TPolygonRenderer32LCD2>(empty.get());
  lcd->SetColor(0xFF000000u);
  lcd->PolygonFS(Rect(0, 0, 5, 5));
  EXPECT_EQ(empty->Width(), 0);
}

TEST_F(PolygonRenderersTest, RegistryListsTheThreeRenderers) {
  auto* list = PolygonRendererList();
  ASSERT_NE(list, nullptr);
  std::vector<std::string> names;
  list->GetClassNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"TPolygonRenderer32VPR", "TPolygonRenderer32LCD",
                                             "TPolygonRenderer32LCD2"}));
  // The class references make renderers.
  auto made = list->Items(2)->Create();
  EXPECT_NE(dynamic_cast<TPolygonRenderer32LCD2*>(made.get()), nullptr);
}

TEST_F(PolygonRenderersTest, SettersReportOnlyRealChanges) {
  auto b = Bitmap(2, 2);
  auto r = New<TPolygonRenderer32VPR>(b.get());
  int changes = 0;
  r->OnChange = [&](TObject*) { ++changes; };
  r->SetColor(0);
  r->SetBitmap(b.get());
  r->SetFillMode(frNonZero);
  EXPECT_EQ(changes, 0);
  r->SetColor(1);
  r->SetFillMode(frEvenOdd);
  r->SetBitmap(nullptr);
  EXPECT_EQ(changes, 3);
}

}  // namespace
}  // namespace velkor
