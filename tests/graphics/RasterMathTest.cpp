// Fixed-point math, word routines, wrap modes, and the colour and geometry
// helpers of the main unit.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <numbers>
#include <random>

#include "RasterTestSupport.h"
#include "graphics/Raster.h"
#include "graphics/Raster_LowLevel.h"
#include "graphics/Raster_Math.h"

namespace velkor {
namespace {

using namespace Raster_Math;
using namespace Raster_LowLevel;
using Raster_System::ciSSE2;

TEST(FixedPoint, RoundingConventions) {
  struct Case { TFixed a; int floor, ceil, round; };
  const Case cases[] = {
      {0x8000, 0, 1, 0},        // 0.5: an exact half rounds down
      {0x18000, 1, 2, 1},       // 1.5
      {-0x8000, -1, 0, -1},     // -0.5
      {1, 0, 1, 0},
      {-1, -1, 0, 0},
      {0x8001, 0, 1, 1},
      {INT32_MAX, 32767, 32768, 32768},  // no wrap at the top
      {INT32_MIN, -32768, -32768, -32768},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FixedToIntFloor(c.a), c.floor) << c.a;
    EXPECT_EQ(FixedToIntCeil(c.a), c.ceil) << c.a;
    EXPECT_EQ(FixedToIntRound(c.a), c.round) << c.a;
  }
}

TEST(FixedPoint, MultiplyAndDivide) {
  EXPECT_EQ(FixedMultiply(0x18000, 0x20000), 0x30000);
  EXPECT_EQ(FixedMultiply(-0x18000, 0x18000), -0x24000);  // -2.25
  EXPECT_EQ(FixedMultiply(-1, 1), -1) << "the shift is arithmetic: -2^-32 floors to -1";
  EXPECT_EQ(FixedMultiply(0x7FFF0000, 0x20000), TFixed(0xFFFE0000)) << "low 32 bits kept";

  EXPECT_EQ(FixedDivide(0x10000, 0x30000), 21845);
  EXPECT_EQ(FixedDivide(-0x10000, 0x30000), -21845) << "truncated toward zero";
  EXPECT_EQ(FixedDivide(-0x10000, 0x20000), -0x8000);
  EXPECT_THROW(FixedDivide(1, 0), EDivisionError);
  EXPECT_THROW(FixedDivide(0x7FFF0000, 1), EDivisionError) << "quotient beyond 32 bits";
  EXPECT_THROW(FixedDivide(INT32_MIN, -0x10000), EDivisionError);
}

TEST(FixedPoint, MulDivRounded) {
  struct Case { int a, b, d, expected; };
  const Case cases[] = {
      {7, 3, 2, 11},    // 10.5 rounds away from zero
      {-7, 3, 2, -11},
      {7, -3, -2, 11},
      {10, 10, 3, 33},
      {1, 1, 0, -1},    // zero divisor
      {0x40000000, 4, 2, -1},  // the quick overflow test
      {65536, 65535, 1, -1},   // passes the quick test, still beyond 31 bits
      {INT32_MIN, 1, 2, -1073741824},
      {INT32_MIN, 1, INT32_MIN, 1},
      {0, 12345, 7, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Raster_Math::MulDivRounded(c.a, c.b, c.d), c.expected) << c.a << " * " << c.b << " / " << c.d;
}

TEST(FixedPoint, DivideWithRemainder) {
  int r = 0;
  EXPECT_EQ(DivideWithRemainder(-7, 2, r), -3);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(DivideWithRemainder(7, -2, r), -3);
  EXPECT_EQ(r, 1);
  EXPECT_THROW(DivideWithRemainder(1, 0, r), EDivisionError);
  EXPECT_THROW(DivideWithRemainder(INT_MIN, -1, r), EDivisionError);
}

TEST(FixedPoint, TrigonometryAndDistance) {
  float s, c;
  SinCosSingle(0, s, c);
  EXPECT_EQ(s, 0.0f);
  EXPECT_EQ(c, 1.0f);
  SinCosScaled(std::numbers::pi_v<float> / 6, 2, s, c);
  EXPECT_NEAR(s, 1.0f, 1e-6);
  EXPECT_NEAR(c, std::sqrt(3.0f), 1e-6);
  EXPECT_EQ(HypotFloat(3, 4), 5.0f);
  EXPECT_EQ(HypotInt(3, 4), 5);
  EXPECT_EQ(HypotInt(1, 1), 1);
  EXPECT_EQ(HypotInt(-5, 12), 13);
}

TEST(FixedPoint, HypotIntSaturatesBeyondTheIntRange) {
  struct Case { int x, y, expected; };
  const Case cases[] = {
      {30000, -40000, 50000},
      {-1073741824, 0, 1073741824},
      {INT32_MAX, 0, INT32_MAX},  // as a float it is 2^31 already
      {INT32_MIN, 0, INT32_MAX},
      {0, INT32_MIN, INT32_MAX},
      {INT32_MAX, INT32_MAX, INT32_MAX},
      {INT32_MIN, INT32_MIN, INT32_MAX},
  };
  for (const Case& c : cases) EXPECT_EQ(HypotInt(c.x, c.y), c.expected) << c.x << ", " << c.y;
}

TEST(CumulativeSum, BothVariantsGiveRunningSums) {
  for (const auto features : {Raster_System::TCPUFeatures{}, Raster_System::TCPUFeatures{ciSSE2}}) {
    BindCumulativeSum(features);
    SCOPED_TRACE("features $" + std::to_string(features.Bits));
    std::vector<float> four = {1, 2, 3, 4};
    CumulativeSum(four.data(), 4);
    EXPECT_EQ(four, (std::vector<float>{1, 3, 6, 10}));
    std::vector<float> one = {42};
    CumulativeSum(one.data(), 1);
    EXPECT_EQ(one[0], 42);

    // Long runs at every start offset (the vector form aligns itself), with
    // blocks of zeros: small integers make every partial sum exact.
    for (int offset = 0; offset < 4; ++offset) {
      std::vector<float> buffer(offset + 100);
      float* values = buffer.data() + offset;
      for (int i = 0; i < 100; ++i) values[i] = (i / 8) % 3 == 1 ? 0.0f : float(i % 7 + 1);
      std::vector<float> expected(values, values + 100);
      for (int i = 1; i < 100; ++i) expected[i] += expected[i - 1];
      CumulativeSum(values, 100);
      EXPECT_EQ(std::vector<float>(values, values + 100), expected) << "offset " << offset;
    }
  }
  BindCumulativeSum(Raster_System::CPUFeatureMask());
}

TEST(CumulativeSum, VectorVariantStaysCloseOnFractions) {
  std::mt19937 gen(3);
  std::uniform_real_distribution<float> dist(-1, 1);
  std::vector<float> a(1000);
  for (float& v : a) v = dist(gen);
  std::vector<float> b = a;
  BindCumulativeSum({});
  CumulativeSum(a.data(), int(a.size()));
  BindCumulativeSum({ciSSE2});
  CumulativeSum(b.data(), int(b.size()));
  BindCumulativeSum(Raster_System::CPUFeatureMask());
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 1e-4) << i;
}

TEST(WordRoutines, EveryFillVariantFillsExactlyTheRun) {
  test::StartRaster();
  constexpr std::uint32_t kGuard = 0xDEADBEEF, kValue = 0x12345678;
  for (auto* variant : LowLevelRegistry->Variants(FID_FillLongwords)) {
    test::ForcedVariant forced(*LowLevelRegistry, FID_FillLongwords, variant);
    for (int offset = 0; offset < 4; ++offset)
      for (std::uint32_t count = 0; count <= 70; ++count) {
        alignas(16) std::uint32_t buffer[80];
        std::fill(std::begin(buffer), std::end(buffer), kGuard);
        FillLongwords(buffer + offset, count, kValue);
        for (int i = 0; i < 80; ++i) {
          const bool inside = i >= offset && i < offset + int(count);
          ASSERT_EQ(buffer[i], inside ? kValue : kGuard)
              << "features $" << int(variant->CPUFeatures.Bits) << " offset " << offset << " count " << count
              << " word " << i;
        }
      }
  }
}

TEST(WordRoutines, MoveCopiesInEitherDirection) {
  std::vector<std::uint32_t> v = {1, 2, 3, 4, 5, 6};
  MoveLongwords(v.data(), v.data() + 2, 3);
  EXPECT_EQ(v, (std::vector<std::uint32_t>{1, 2, 1, 2, 3, 6}));
  MoveLongwords(v.data() + 2, v.data(), 4);
  EXPECT_EQ(v, (std::vector<std::uint32_t>{1, 2, 3, 6, 3, 6}));
  MoveLongwords(v.data(), v.data() + 1, 0);
  MoveLongwords(v.data(), v.data() + 1, -3);
  MoveLongwords(v.data(), v.data(), 6);
  EXPECT_EQ(v, (std::vector<std::uint32_t>{1, 2, 3, 6, 3, 6}));
}

TEST(WordRoutines, ClipSpanAndClamp) {
  int lo = 5, hi = 2;
  EXPECT_TRUE(ClipSpan(lo, hi, 3, 4));
  EXPECT_EQ(lo, 3);
  EXPECT_EQ(hi, 3);
  lo = 10, hi = 20;
  EXPECT_FALSE(ClipSpan(lo, hi, 0, 5)) << "entirely beyond Max";
  EXPECT_EQ(ClampBetween(5, 10, 0), 5);
  EXPECT_EQ(ClampBetween(-3, 10, 0), 0);
  EXPECT_EQ(ClampBetween(11, 0, 10), 10);
  EXPECT_EQ(ShiftRight8(-1), -1);
  EXPECT_EQ(ShiftRight9(-512), -1);
}

TEST(WrapModes, KnownValues) {
  struct Case { TWrapProcEx proc; int value, min, max, expected; };
  const Case cases[] = {
      {ClampToRange, 5, 10, 0, 0},  // the Max test comes first
      {ClampToRange, -5, 0, 9, 0},
      {WrapToRange, -1, 0, 9, 9},   {WrapToRange, 10, 0, 9, 0},   {WrapToRange, -11, 0, 9, 9},
      {WrapToRange, 23, 5, 9, 8},
      {MirrorToRange, -1, 0, 9, 0}, {MirrorToRange, -2, 0, 9, 1}, {MirrorToRange, -10, 0, 9, 9},
      {MirrorToRange, -11, 0, 9, 9}, {MirrorToRange, 10, 0, 9, 9}, {MirrorToRange, 11, 0, 9, 8},
      {MirrorToRange, 19, 0, 9, 0}, {MirrorToRange, 20, 0, 9, 0},
      {WrapToRangePow2, -1, 0, 7, 7}, {MirrorToRangePow2, 8, 0, 7, 7}, {MirrorToRangePow2, -1, 0, 7, 0},
      // An empty range gives Min instead of dividing by zero.
      {WrapToRange, 3, 5, 4, 5},    {MirrorToRange, 3, 5, 4, 5},  {MirrorToRange, 3, 5, 0, 5},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.proc(c.value, c.min, c.max), c.expected) << c.value << " in [" << c.min << ", " << c.max << "]";
}

TEST(WrapModes, PowerOfTwoFormsMatchTheGeneralOnes) {
  for (const auto& [min, max] : {std::pair{0, 7}, std::pair{1, 256}, std::pair{16, 47}, std::pair{3, 3}})
    for (int v = min - 200; v <= max + 200; ++v) {
      ASSERT_EQ(WrapToRangePow2(v, min, max), WrapToRange(v, min, max)) << v << " in " << min << ".." << max;
      ASSERT_EQ(MirrorToRangePow2(v, min, max), MirrorToRange(v, min, max)) << v << " in " << min << ".." << max;
    }
}

TEST(WrapModes, FarCoordinatesAndWideRangesDoNotOverflow) {
  // Value - Max, Value - Min and the length itself leave the int range here.
  // Each case also goes through the routine SelectWrapProcEx picks, which is
  // the power-of-two form for [1, 8] and [0, INT_MAX].
  struct Case { int value, min, max, wrapped, mirrored; };
  const Case cases[] = {
      {INT32_MIN, 0, 9, 2, 7},
      {INT32_MAX, 0, 9, 7, 7},
      {INT32_MIN, -5, 9, 7, -3},
      {INT32_MAX, -5, 9, 7, 7},
      {INT32_MIN, 1, 8, 8, 1},
      {INT32_MAX, 1, 8, 7, 2},
      {INT32_MIN + 1, INT32_MAX - 9, INT32_MAX, INT32_MAX - 4, INT32_MAX - 5},
      {INT32_MAX, INT32_MIN, INT32_MIN + 9, INT32_MIN + 5, INT32_MIN + 4},
      {5, INT32_MIN, INT32_MAX, 5, 5},
      {-7, INT32_MIN, INT32_MAX, -7, -7},
      {INT32_MIN, 0, INT32_MAX, 0, INT32_MAX},
      {-1, 0, INT32_MAX, INT32_MAX, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.value) + " in [" + std::to_string(c.min) + ", " + std::to_string(c.max) + "]");
    EXPECT_EQ(WrapToRange(c.value, c.min, c.max), c.wrapped);
    EXPECT_EQ(MirrorToRange(c.value, c.min, c.max), c.mirrored);
    EXPECT_EQ(SelectWrapProcEx(wmRepeat, c.min, c.max)(c.value, c.min, c.max), c.wrapped);
    EXPECT_EQ(SelectWrapProcEx(wmMirror, c.min, c.max)(c.value, c.min, c.max), c.mirrored);
  }
  EXPECT_EQ(SelectWrapProcEx(wmRepeat, 0, INT32_MAX), WrapToRangePow2) << "length 2^31";
  EXPECT_EQ(SelectWrapProcEx(wmMirror, 0, INT32_MAX), MirrorToRangePow2);
  EXPECT_EQ(SelectWrapProcEx(wmRepeat, 1, INT32_MAX), WrapToRange) << "length 2^31 - 1";
}

TEST(WrapModes, Selection) {
  EXPECT_EQ(SelectWrapProc(wmClamp), ClampToRange);
  EXPECT_EQ(SelectWrapProc(wmRepeat), WrapToRange);
  EXPECT_EQ(SelectWrapProc(wmMirror), MirrorToRange);
  EXPECT_EQ(SelectWrapProcEx(wmRepeat, 0, 255), WrapToRangePow2);
  EXPECT_EQ(SelectWrapProcEx(wmRepeat, 1, 256), WrapToRangePow2);
  EXPECT_EQ(SelectWrapProcEx(wmMirror, 0, 63), MirrorToRangePow2);
  EXPECT_EQ(SelectWrapProcEx(wmRepeat, 0, 99), WrapToRange);
  EXPECT_EQ(SelectWrapProcEx(wmRepeat, -4, 3), WrapToRange) << "negative Min";
  EXPECT_EQ(SelectWrapProcEx(wmMirror, 5, 4), MirrorToRange) << "empty range";
  EXPECT_EQ(SelectWrapProcEx(wmClamp, 0, 255), ClampToRange);
}

// ---- colour and geometry helpers ----

std::uint32_t StripedSysColor(int index) { return 0x00010203u * std::uint32_t(index); }

TEST(ColorHelpers, WinColorToColor32) {
  EXPECT_EQ(WinColorToColor32(0x000080FF), 0xFFFF8000u);
  EXPECT_EQ(WinColorToColor32(0), 0xFF000000u);
  EXPECT_EQ(WinColorToColor32(0x1FFFFFFF), 0xFFFFFFFFu) << "a stray high byte never reaches alpha";
  SetSysColorProvider(StripedSysColor);
  EXPECT_EQ(WinColorToColor32(std::int32_t(0x80000005)), 0xFF0F0A05u);
  EXPECT_EQ(WinColorToColor32(std::int32_t(0x80000105)), 0xFF0F0A05u) << "only the low byte indexes";
  SetSysColorProvider(nullptr);
  EXPECT_EQ(WinColorToColor32(std::int32_t(0x80000005)), 0xFFFFFFFFu) << "default window colour";
}

TEST(FixedHelpers, Conversions) {
  EXPECT_EQ(FloatToFixed(0.5f), 32768);
  EXPECT_EQ(FloatToFixed(-1.25f), -81920);
  EXPECT_EQ(FloatToFixed(0.5f / 65536), 0) << "ties to even";
  EXPECT_EQ(FloatToFixed(1.5f / 65536), 2);
  EXPECT_EQ(FloatToFixed(1e10f), INT32_MAX);
  EXPECT_EQ(FloatToFixed(std::nanf("")), 0);
  EXPECT_EQ(IntToFixed(-1), TFixed(0xFFFF0000));
  EXPECT_EQ(IntToFixed(32768), INT32_MIN) << "wraps";
  EXPECT_EQ(TFixedPoint::Create(0.5f, -2.0f), (TFixedPoint{32768, -131072}));
  EXPECT_EQ(TFixedPoint::Create(1, 2), (TFixedPoint{0x10000, 0x20000}));
  EXPECT_EQ(TFixedPoint::CreateFixed(1, 2), (TFixedPoint{1, 2}));
  EXPECT_EQ(TFixedPoint::CreateFixed(INT32_MAX, 0) + TFixedPoint::CreateFixed(1, 0), (TFixedPoint{INT32_MIN, 0}));
  EXPECT_EQ(TFloatPoint::Create(1, 2) - TFloatPoint::Create(0.5f, 4.0f), (TFloatPoint{0.5f, -2.0f}));
  EXPECT_NE(TFloatPoint::Zero(), TFloatPoint::Create(0.0f, 1.0f));
}

TEST(RectHelpers, IntersectRects) {
  struct Case { TRect a, b; bool result; TRect dst; };
  const Case cases[] = {
      {{0, 0, 10, 10}, {10, 0, 20, 10}, true, {10, 0, 10, 10}},  // touching: true, empty
      {{0, 0, 10, 10}, {11, 0, 20, 10}, false, {0, 0, 0, 0}},
      {{0, 0, 10, 10}, {5, -5, 20, 5}, true, {5, 0, 10, 5}},
      {{0, 0, 10, 10}, {2, 2, 3, 3}, true, {2, 2, 3, 3}},
  };
  for (const Case& c : cases) {
    TRect dst{9, 9, 9, 9};
    EXPECT_EQ(IntersectRects(dst, c.a, c.b), c.result);
    EXPECT_EQ(dst, c.dst);
    TRect alias = c.a;
    IntersectRects(alias, alias, c.b);
    EXPECT_EQ(alias, c.dst) << "Dst may be R1";
  }
}

TEST(RectHelpers, RoundingToIntegerRectangles) {
  const TFloatRect thin{0.4f, 0.4f, 0.6f, 0.6f};
  EXPECT_EQ(FloatRectToRect(thin, rrNearest), (TRect{0, 0, 1, 1}));
  EXPECT_EQ(FloatRectToRect(thin, rrOutward), (TRect{0, 0, 1, 1}));
  EXPECT_EQ(FloatRectToRect(thin, rrInward), (TRect{1, 1, 1, 1})) << "never inverted";
  EXPECT_EQ(FloatRectToRect({0.5f, 1.5f, 2.5f, 3.5f}, rrNearest), (TRect{0, 2, 2, 4})) << "ties to even";
  EXPECT_EQ(FloatRectToRect({-1.5f, -0.2f, 2.2f, 3.7f}, rrOutward), (TRect{-2, -1, 3, 4}));
  EXPECT_EQ(FloatRectToRect({-1.5f, -0.2f, 2.2f, 3.7f}, rrInward), (TRect{-1, 0, 2, 3}));

  const TFixedRect fixedThin{0x6666, 0x6666, 0x9999, 0x9999};
  EXPECT_EQ(FixedRectToRect(fixedThin, rrNearest), (TRect{0, 0, 1, 1}));
  EXPECT_EQ(FixedRectToRect(fixedThin, rrOutward), (TRect{0, 0, 1, 1}));
  EXPECT_EQ(FixedRectToRect(fixedThin, rrInward), (TRect{1, 1, 1, 1}));
  EXPECT_EQ(FixedRectToRect({0x8000, 0x18000, -0x8000, 0x28000}, rrNearest), (TRect{0, 1, -1, 2}))
      << "fixed halves round down";
}

TEST(RectHelpers, SmallRoutines) {
  EXPECT_TRUE(IsRectEmpty32({5, 5, 5, 9}));
  EXPECT_TRUE(IsRectEmpty32({5, 5, 4, 9}));
  EXPECT_FALSE(IsRectEmpty32({5, 5, 6, 6}));
  EXPECT_TRUE(EqualRects({1, 2, 3, 4}, MakeRect(1, 2, 3, 4)));
  EXPECT_FALSE(EqualRects({1, 2, 3, 4}, {1, 2, 3, 5}));
  TRect r{1, 2, 3, 4};
  OffsetRectBy(r, -1, 10);
  EXPECT_EQ(r, (TRect{0, 12, 2, 14}));
  TFloatRect fr = RectToFloatRect(r);
  InflateFloatRect(fr, 0.5f, 1);
  EXPECT_EQ(fr, (TFloatRect{-0.5f, 11, 2.5f, 15}));
  EXPECT_EQ(fr.TopLeft(), (TFloatPoint{-0.5f, 11}));
  fr.SetBottomRight({7, 8});
  EXPECT_EQ(fr.Right, 7);
  EXPECT_EQ(fr.Bottom, 8);
}

TEST(GammaTable, KnownEntriesAndShape) {
  test::StartRaster();
  const std::pair<int, int> known[] = {{0, 0}, {5, 0}, {6, 1}, {64, 28}, {128, 85}, {192, 162}, {254, 253}, {255, 255}};
  for (const auto& [i, v] : known) EXPECT_EQ(GammaTable[i], v) << "entry " << i;
  for (float gamma : {0.3f, 1.0f, 2.2f, 4.0f}) {
    BuildGammaTable(gamma);
    EXPECT_EQ(GammaTable[0], 0);
    EXPECT_EQ(GammaTable[255], 255);
    for (int i = 1; i < 256; ++i) ASSERT_GE(GammaTable[i], GammaTable[i - 1]) << "gamma " << gamma << " at " << i;
    if (gamma == 1.0f) {
      for (int i = 0; i < 256; ++i) ASSERT_EQ(GammaTable[i], i);
    }
  }
  BuildGammaTable(1.6f);
}

}  // namespace
}  // namespace velkor
