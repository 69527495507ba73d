// Pixel blending: the lookup tables, every variant of every routine forced
// through the registry and checked against its own rule, the agreement
// between variants, and the mended corner cases (opaque merge, per-channel
// weight byte order, one master-alpha formula for pixel and row forms).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>

#include "RasterTestSupport.h"
#include "graphics/Raster_Blend.h"

namespace velkor {
namespace {

using namespace Raster_Blend;
using Raster_Bindings::PFunctionInfo;

std::uint32_t Ch(TColor32 c, int n) { return (c >> (8 * n)) & 0xFF; }
TColor32 FromChannels(const std::uint32_t (&c)[4]) { return c[0] | c[1] << 8 | c[2] << 16 | c[3] << 24; }

// The arithmetic of the three kinds of variant, written out per channel.
std::uint32_t S(std::uint32_t c, std::uint32_t w) { return (c * w + 128) >> 8; }
std::uint32_t V(std::uint32_t f, std::uint32_t b, std::uint32_t w) { return (f * w + b * (256 - w) + 128) >> 8; }
std::uint32_t TableMul(std::uint32_t j, std::uint32_t i) { return std::uint32_t(std::nearbyint(i * j / 255.0)); }

enum Kind { kTable, kInteger, kVector };

// Colour channels from `colour(c)`, alpha from `alpha`.
template <typename F>
TColor32 ColourChannels(F colour, std::uint32_t alpha) {
  std::uint32_t c[4] = {colour(0), colour(1), colour(2), alpha};
  return FromChannels(c);
}
template <typename F>
TColor32 AllChannels(F channel) {
  std::uint32_t c[4] = {channel(0), channel(1), channel(2), channel(3)};
  return FromChannels(c);
}

TColor32 RefLerp(Kind kind, TColor32 X, TColor32 Y, std::uint32_t w, std::uint32_t tableAlpha) {
  switch (kind) {
    case kTable:
      return ColourChannels([&](int n) { return TableMul(w, Ch(X, n)) + TableMul(255 - w, Ch(Y, n)); }, tableAlpha);
    case kInteger: return AllChannels([&](int n) { return S(Ch(X, n), w) + S(Ch(Y, n), 255 - w); });
    default: return AllChannels([&](int n) { return V(Ch(X, n), Ch(Y, n), w); });
  }
}

// The rules of each routine in each kind of variant.
TColor32 RefCombine(Kind kind, bool into, TColor32 X, TColor32 Y, std::uint32_t W) {
  const bool shortcuts = kind != kVector || into;
  if (shortcuts && W == 0) return Y;
  if (shortcuts && W == 255) return X;
  return RefLerp(kind, X, Y, W, Ch(X, 3));
}

TColor32 RefBlend(Kind kind, bool into, TColor32 F, TColor32 B) {
  const std::uint32_t fa = Ch(F, 3);
  const bool shortcuts = kind != kVector || into;
  if (shortcuts && fa == 0) return B;
  if (shortcuts && fa == 255) return F;
  return RefLerp(kind, F, B, fa, Ch(B, 3));
}

TColor32 RefBlendMasked(Kind kind, TColor32 F, TColor32 B, std::uint32_t M) {
  const std::uint32_t fa = Ch(F, 3);
  if (kind == kTable) {
    const std::uint32_t c = TableMul(M, fa);
    if (c == 0) return B;
    if (c == 255) return F;
    return RefLerp(kTable, F, B, c, Ch(B, 3));
  }
  const std::uint32_t w = ((M + 1) * fa) >> 8;
  if (fa == 0 || w == 0) return B;
  // The integer masked forms leave alpha 0.
  return kind == kInteger ? RefLerp(kInteger, F, B, w, 0) & 0x00FFFFFF : RefLerp(kVector, F, B, w, 0);
}

// The registration order fixes which kind of variant each index is.
Kind KindOf(int id, std::size_t index) {
  if (index == 0) return kTable;
  const bool hasInteger = id == FID_CombineColor || id == FID_CombineColorInto || id == FID_BlendColor ||
                          id == FID_BlendColorInto || id == FID_BlendColorMasked || id == FID_BlendColorIntoMasked;
  return hasInteger && index == 1 ? kInteger : kVector;
}

// Runs `check` once per variant of `id`, with that variant bound.
void ForEachVariant(int id, const std::function<void(std::size_t, PFunctionInfo)>& check) {
  const auto variants = BlendRegistry->Variants(id);
  ASSERT_FALSE(variants.empty());
  for (std::size_t i = 0; i < variants.size(); ++i) {
    test::ForcedVariant forced(*BlendRegistry, id, variants[i]);
    SCOPED_TRACE(test::VariantName(id, i, variants[i]));
    check(i, variants[i]);
  }
}

class BlendTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::StartRaster(); }
  // A colour with the given alpha and random colour channels.
  static TColor32 WithAlpha(TColor32 c, std::uint32_t a) { return (c & 0x00FFFFFF) | (a << 24); }
  const std::vector<std::uint32_t> colors = test::SampleColors(52);
};

TEST_F(BlendTest, TablesHoldRoundedProductsAndQuotients) {
  for (std::uint32_t j = 0; j < 256; ++j)
    for (std::uint32_t i = 0; i < 256; ++i) {
      // Independent reference: double division, nearbyint (ties to even).
      const std::uint32_t mul = j == 0 ? 0 : std::uint32_t(std::nearbyint(i * j / 255.0));
      const std::uint32_t div = j == 0 ? 0 : std::uint32_t(std::nearbyint(i * 255.0 / j)) & 0xFF;
      ASSERT_EQ(ProductTable[j][i], mul) << j << "," << i;
      ASSERT_EQ(QuotientTable[j][i], div) << j << "," << i;
      ASSERT_EQ(ProductTable[j][i], ProductTable[i][j]);
    }
  EXPECT_EQ(ProductTable[128][128], 64);
  EXPECT_EQ(QuotientTable[192][128], 170);
  EXPECT_EQ(QuotientTable[6][1], 42) << "42.5 rounds to even";
  EXPECT_EQ(QuotientTable[10][3], 76) << "76.5 rounds to even";
  for (int i = 0; i < 256; ++i)
    for (int k = 0; k < 8; ++k) ASSERT_EQ(AlphaWordTable[i][k], i);
  ASSERT_NE(RoundingBias, nullptr);
  EXPECT_EQ(RoundingBias[0], 128);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(AlphaWordTable) % 16, 0u);
  EXPECT_EQ(HasMMX, Raster_System::CPUFeatureMask().Contains(Raster_System::ciMMX));
}

TEST_F(BlendTest, KnownValuesPerKindOfVariant) {
  ForEachVariant(FID_BlendColorInto, [](std::size_t i, PFunctionInfo) {
    TColor32 b = 0xFF0000FF;
    BlendColorInto(0x80FF0000, b);
    // Table: B's alpha kept; integer: S on alpha too; vector: V on alpha too.
    const TColor32 expected[] = {0xFF80007F, 0xBF80007F, 0xC0800080};
    EXPECT_EQ(b, expected[KindOf(FID_BlendColorInto, i)]);
    TColor32 black = 0;
    BlendColorInto(0xFFFFFFFF, black);
    EXPECT_EQ(black, 0xFFFFFFFFu) << "opaque stores F in every form";
  });
  ForEachVariant(FID_BlendColor, [](std::size_t i, PFunctionInfo) {
    if (KindOf(FID_BlendColor, i) == kVector) {
      EXPECT_EQ(BlendColor(0xFFFFFFFF, 0), 0xFEFEFEFEu) << "w = 255 does not reproduce f";
    } else {
      EXPECT_EQ(BlendColor(0x00FFFFFF, 0x12345678), 0x12345678u);
      EXPECT_EQ(BlendColor(0xFF123456, 0x9ABCDEF0), 0xFF123456u);
    }
  });
  ForEachVariant(FID_CombineColor, [](std::size_t i, PFunctionInfo) {
    if (KindOf(FID_CombineColor, i) == kVector) {
      EXPECT_EQ(CombineColor(0xFFFFFFFF, 0, 255), 0xFEFEFEFEu);
    } else {
      EXPECT_EQ(CombineColor(0x11223344, 0x55667788, 0), 0x55667788u);
      EXPECT_EQ(CombineColor(0x11223344, 0x55667788, 255), 0x11223344u);
    }
  });
}

TEST_F(BlendTest, EveryBlendAndCombineVariantFollowsItsRule) {
  struct Routine {
    int id;
    std::function<TColor32(TColor32, TColor32, std::uint32_t)> call;  // (X or F, Y or B, weight)
    std::function<TColor32(Kind, TColor32, TColor32, std::uint32_t)> ref;
    bool weightIsAlpha;  // the weight is F's alpha rather than an argument
    // Colour distance to the table variant. The masked forms derive their
    // weight differently (Mul[M][Fa] against ((M + 1) * Fa) >> 8), which
    // adds one step to the +-2 of the arithmetic schemes.
    int tolerance = 2;
  };
  const Routine routines[] = {
      {FID_CombineColor, [](TColor32 x, TColor32 y, std::uint32_t w) { return CombineColor(x, y, int(w)); },
       [](Kind k, TColor32 x, TColor32 y, std::uint32_t w) { return RefCombine(k, false, x, y, w); }, false},
      {FID_CombineColorInto, [](TColor32 x, TColor32 y, std::uint32_t w) { CombineColorInto(x, y, int(w)); return y; },
       [](Kind k, TColor32 x, TColor32 y, std::uint32_t w) { return RefCombine(k, true, x, y, w); }, false},
      {FID_BlendColor, [](TColor32 f, TColor32 b, std::uint32_t) { return BlendColor(f, b); },
       [](Kind k, TColor32 f, TColor32 b, std::uint32_t) { return RefBlend(k, false, f, b); }, true},
      {FID_BlendColorInto, [](TColor32 f, TColor32 b, std::uint32_t) { BlendColorInto(f, b); return b; },
       [](Kind k, TColor32 f, TColor32 b, std::uint32_t) { return RefBlend(k, true, f, b); }, true},
      {FID_BlendColorMasked, [](TColor32 f, TColor32 b, std::uint32_t m) { return BlendColorMasked(f, b, int(m)); },
       [](Kind k, TColor32 f, TColor32 b, std::uint32_t m) { return RefBlendMasked(k, f, b, m); }, false, 3},
      {FID_BlendColorIntoMasked,
       [](TColor32 f, TColor32 b, std::uint32_t m) { BlendColorIntoMasked(f, b, int(m)); return b; },
       [](Kind k, TColor32 f, TColor32 b, std::uint32_t m) { return RefBlendMasked(k, f, b, m); }, false, 3},
  };
  for (const Routine& r : routines) {
    // Each variant exactly by its own rule, and near the table variant.
    ForEachVariant(r.id, [&](std::size_t index, PFunctionInfo) {
      const Kind kind = KindOf(r.id, index);
      for (std::uint32_t w = 0; w < 256; ++w)
        for (std::size_t k = 0; k + 1 < colors.size(); k += 3) {
          const TColor32 x = r.weightIsAlpha ? WithAlpha(colors[k], w) : colors[k];
          const TColor32 y = colors[k + 1];
          const TColor32 got = r.call(x, y, w);
          ASSERT_EQ(got, r.ref(kind, x, y, w)) << std::hex << "x " << x << " y " << y << " w " << std::dec << w;
          const TColor32 table = r.ref(kTable, x, y, w);
          for (int n = 0; n < 3; ++n)
            ASSERT_LE(std::abs(int(Ch(got, n)) - int(Ch(table, n))), r.tolerance) << "channel " << n << " w " << w;
        }
    });
  }
}

TEST_F(BlendTest, WeightsOutsideTheByteRangeAreClamped) {
  for (int id : {FID_CombineColor, FID_CombineColorInto}) {
    ForEachVariant(id, [&](std::size_t, PFunctionInfo) {
      for (TColor32 x : colors) {
        const TColor32 y = ~x;
        TColor32 hi = y, top = y, lo = y, zero = y;
        if (id == FID_CombineColor) {
          hi = CombineColor(x, y, 300), top = CombineColor(x, y, 255);
          lo = CombineColor(x, y, -7), zero = CombineColor(x, y, 0);
        } else {
          CombineColorInto(x, hi, 300), CombineColorInto(x, top, 255);
          CombineColorInto(x, lo, -7), CombineColorInto(x, zero, 0);
        }
        ASSERT_EQ(hi, top);
        ASSERT_EQ(lo, zero);
      }
    });
  }
  ForEachVariant(FID_BlendColorMasked, [&](std::size_t, PFunctionInfo) {
    for (TColor32 f : colors) ASSERT_EQ(BlendColorMasked(f, 0x12345678, 999), BlendColorMasked(f, 0x12345678, 255));
  });
}

// ---- rows ----

using RowCall = std::function<void(const TColor32*, TColor32*, int)>;
using PixelRule = std::function<TColor32(TColor32 src, TColor32 dst)>;

// Sources with whole blocks of transparent and of opaque pixels, so the
// block shortcuts of the vector forms are reached, then mixed alphas.
std::vector<TColor32> RowSource(const std::vector<std::uint32_t>& colors) {
  std::vector<TColor32> src;
  for (int i = 0; i < 8; ++i) src.push_back(colors[i + 12] & 0x00FFFFFF);
  for (int i = 0; i < 8; ++i) src.push_back(colors[i + 20] | 0xFF000000);
  for (std::size_t i = 0; i < 24; ++i) src.push_back(colors[28 + i]);
  return src;
}

// The row routine over every length 0..len at two alignments, guarded on
// both sides, against `rule` applied pixel by pixel.
void ExpectRowFollowsRule(const RowCall& row, const PixelRule& rule, const std::vector<std::uint32_t>& colors) {
  constexpr TColor32 kGuard = 0xDEADBEEF;
  const std::vector<TColor32> source = RowSource(colors);
  const int len = int(source.size());
  for (int offset = 0; offset < 2; ++offset)
    for (int count = -1; count <= len; ++count) {
      std::vector<TColor32> dst(len + 4, kGuard);
      for (int i = 0; i < len; ++i) dst[offset + 1 + i] = colors[(i * 7) % colors.size()];
      std::vector<TColor32> expected = dst;
      for (int i = 0; i < count; ++i) expected[offset + 1 + i] = rule(source[i], expected[offset + 1 + i]);
      row(source.data(), dst.data() + offset + 1, count);
      ASSERT_EQ(dst, expected) << "offset " << offset << " count " << count;
    }
}

TEST_F(BlendTest, RowVariantsApplyTheirPixelRule) {
  // The pixel routines the rows must agree with, as bound on this processor.
  const TBlendMem boundInto = BlendColorInto;
  const TBlendMemEx boundIntoMasked = BlendColorIntoMasked;
  const TCombineMem boundCombineInto = CombineColorInto;
  const auto via = [](TBlendMem f) { return [f](TColor32 s, TColor32 d) { f(s, d); return d; }; };

  for (int w : {0, 1, 77, 128, 254, 255})
    ForEachVariant(FID_CombineRow, [&](std::size_t, PFunctionInfo) {
      SCOPED_TRACE("w " + std::to_string(w));
      ExpectRowFollowsRule([w](const TColor32* s, TColor32* d, int n) { CombineRow(s, d, n, w); },
                           [&](TColor32 s, TColor32 d) { boundCombineInto(s, d, w); return d; }, colors);
    });

  ForEachVariant(FID_BlendRow, [&](std::size_t index, PFunctionInfo info) {
    PixelRule rule = via(boundInto);
    if (index == 1) rule = [](TColor32 s, TColor32 d) { return RefBlend(kInteger, true, s, d); };
    if (info->CPUFeatures.Contains(Raster_System::ciSSE2))
      // Its own formula: S(f, Fa) + b - S(b, Fa); alpha Fa + Ba - S(Ba, Fa), saturated.
      rule = [](TColor32 s, TColor32 d) {
        const std::uint32_t a = Ch(s, 3);
        return ColourChannels([&](int n) { return S(Ch(s, n), a) + Ch(d, n) - S(Ch(d, n), a); },
                              std::min(255u, a + Ch(d, 3) - S(Ch(d, 3), a)));
      };
    ExpectRowFollowsRule(BlendRow, rule, colors);
  });

  for (TColor32 f : {0x00123456u, 0xFF123456u, 0x80FF8000u, 0x01FFFFFFu})
    ForEachVariant(FID_BlendColorOverRun, [&](std::size_t index, PFunctionInfo) {
      PixelRule rule = [&](TColor32, TColor32 d) { boundInto(f, d); return d; };
      if (index == 1) rule = [f](TColor32, TColor32 d) { return RefBlend(kInteger, true, f, d); };
      ExpectRowFollowsRule([f](const TColor32*, TColor32* d, int n) { BlendColorOverRun(f, d, n); }, rule, colors);
    });

  // Every masked row uses the pixel form's weight ((M + 1) * Fa) >> 8.
  for (int m : {0, 1, 100, 128, 200, 254, 255})
    ForEachVariant(FID_BlendRowMasked, [&](std::size_t, PFunctionInfo) {
      SCOPED_TRACE("M " + std::to_string(m));
      ExpectRowFollowsRule([m](const TColor32* s, TColor32* d, int n) { BlendRowMasked(s, d, n, m); },
                           [&](TColor32 s, TColor32 d) { boundIntoMasked(s, d, m); return d; }, colors);
    });

  ExpectRowFollowsRule(MergeRow, [](TColor32 s, TColor32 d) { return MergeColor(s, d); }, colors);
  ExpectRowFollowsRule([](const TColor32* s, TColor32* d, int n) { MergeRowMasked(s, d, n, 90); },
                       [](TColor32 s, TColor32 d) { return MergeColorMasked(s, d, 90); }, colors);
}

TEST_F(BlendTest, SSE2RowBlendStaysWithinOneOfTheVectorRule) {
  const auto variants = BlendRegistry->Variants(FID_BlendRow);
  test::ForcedVariant forced(*BlendRegistry, FID_BlendRow, variants.back());
  for (std::uint32_t a = 0; a < 256; ++a)
    for (TColor32 b : colors) {
      const TColor32 f = WithAlpha(colors[a % colors.size()], a);
      TColor32 d = b;
      BlendRow(&f, &d, 1);
      for (int n = 0; n < 3; ++n)
        ASSERT_LE(std::abs(int(Ch(d, n)) - int(V(Ch(f, n), Ch(b, n), a))), 1) << "alpha " << a;
    }
}

// ---- merge ----

TEST_F(BlendTest, MergeKnownValuesInEveryVariant) {
  ForEachVariant(FID_MergeColor, [](std::size_t, PFunctionInfo) {
    EXPECT_EQ(MergeColor(0x80FFFFFF, 0x80000000), 0xC0AAAAAAu);
    EXPECT_EQ(MergeColor(0x80123456, 0x00ABCDEF), 0x80123456u) << "over transparent: F";
    EXPECT_EQ(MergeColor(0x00123456, 0x80ABCDEF), 0x80ABCDEFu) << "transparent F: B";
    EXPECT_EQ(MergeColor(0x40123456, 0xFFABCDEF) >> 24, 0xFFu) << "over opaque: opaque";
  });
}

TEST_F(BlendTest, OpaqueMergeIsExactEvenThroughTheVectorBlend) {
  // The bound vector BlendColor turns 255 into 254 ...
  ASSERT_EQ(BlendColor(0xFFFFFFFF, 0xFF000000), 0xFFFEFEFEu);
  // ... but an opaque foreground merged over an opaque background is itself.
  ForEachVariant(FID_MergeColor, [](std::size_t, PFunctionInfo) {
    EXPECT_EQ(MergeColor(0xFFFFFFFF, 0xFF000000), 0xFFFFFFFFu);
    EXPECT_EQ(MergeColor(0xFF123456, 0xFFABCDEF), 0xFF123456u);
  });
  for (TCombineMode mode : {cmBlend, cmMerge}) {
    TColor32 b = 0xFF000000;
    (*BlendIntoByMode[mode])(0xFFFFFFFF, b);
    EXPECT_EQ(b, 0xFFFFFFFFu) << "mode " << mode;
  }
}

TEST_F(BlendTest, MergeVariantsStayCloseToExactCompositing) {
  // Straight-alpha "over": Ra = Fa + Ba - Fa*Ba/255, colour
  // (Fa*F + (255 - Fa)*Ba*B/255) / Ra. Both variants round through 8-bit
  // tables; the integer one premultiplies the background to 8 bits first,
  // which costs precision at low alphas, so the check starts at alpha 64.
  ForEachVariant(FID_MergeColor, [&](std::size_t, PFunctionInfo) {
    for (std::uint32_t fa = 64; fa < 255; fa += 7)
      for (std::uint32_t ba = 64; ba < 255; ba += 7)
        for (std::size_t k = 0; k + 1 < colors.size(); k += 2) {
          const TColor32 f = WithAlpha(colors[k], fa), b = WithAlpha(colors[k + 1], ba);
          const TColor32 got = MergeColor(f, b);
          const double ra = fa + ba - fa * ba / 255.0;
          ASSERT_LE(std::abs(double(Ch(got, 3)) - ra), 1.0) << std::hex << f << " over " << b;
          for (int n = 0; n < 3; ++n) {
            const double exact = (fa * Ch(f, n) + (255 - fa) * ba * Ch(b, n) / 255.0) / ra;
            ASSERT_LE(std::abs(double(Ch(got, n)) - exact), 3.0) << std::hex << f << " over " << b << " channel " << n;
          }
        }
  });
}

TEST_F(BlendTest, MaskedMergeScalesTheForegroundAlpha) {
  for (TColor32 f : colors) {
    EXPECT_EQ(MergeColorMasked(f, 0x80402010, 255), MergeColor(f, 0x80402010));
    EXPECT_EQ(MergeColorMasked(f, 0x80402010, 0), 0x80402010u);
    TColor32 b = 0x80402010;
    MergeColorIntoMasked(f, b, 128);
    EXPECT_EQ(b, MergeColor(WithAlpha(f, ProductTable[128][f >> 24]), 0x80402010));
  }
}

// ---- colour arithmetic ----

TEST_F(BlendTest, ArithmeticKnownValues) {
  for (int id = FID_MaxColors; id <= FID_LightenColor; ++id)
    ForEachVariant(id, [](std::size_t, PFunctionInfo) {
      EXPECT_EQ(AverageColors(0xFF000001, 0x01000002), 0x80000001u);
      EXPECT_EQ(ExcludeColors(0xFFFFFFFF, 0xFFFFFFFF), 0x02020202u);
      EXPECT_EQ(ModulateColors(0xFFFFFFFF, 0x80808080), 0x7F7F7F7Fu);
      EXPECT_EQ(DivideColors(0, 0x12345678), 0xFFFFFFFFu);
      EXPECT_EQ(DivideColors(0x80808080, 0x40FF4000), 0x80FF8000u);
      EXPECT_EQ(LightenColor(0x80102030, 240), 0x80FFFFFFu);
      EXPECT_EQ(LightenColor(0x80102030, -32), 0x80000010u);
      EXPECT_EQ(AddColors(0x80FF0102, 0x80020304), 0xFFFF0406u);
      EXPECT_EQ(SubtractColors(0x80020304, 0x81010101), 0x00010203u);
      EXPECT_EQ(DifferenceColors(0x10F00080, 0xF0108000), 0xE0E08080u);
      EXPECT_EQ(MaxColors(0x10F00080, 0xF0108000), 0xF0F08080u);
      EXPECT_EQ(MinColors(0x10F00080, 0xF0108000), 0x10100000u);
      EXPECT_EQ(ScaleColor(0xFF804020, 128), 0x7F402010u);
    });
}

TEST_F(BlendTest, ArithmeticVariantsAreBitIdenticalToThePortableOne) {
  const std::vector<std::uint32_t> many = test::SampleColors(400, 11);
  for (int id : {FID_MaxColors, FID_MinColors, FID_AddColors, FID_SubtractColors, FID_ModulateColors,
                 FID_DifferenceColors, FID_ExcludeColors}) {
    const auto variants = BlendRegistry->Variants(id);
    const auto portable = reinterpret_cast<TColorArith>(variants[0]->Proc);
    for (std::size_t v = 1; v < variants.size(); ++v) {
      const auto variant = reinterpret_cast<TColorArith>(variants[v]->Proc);
      for (std::size_t i = 0; i + 1 < many.size(); ++i)
        ASSERT_EQ(variant(many[i], many[i + 1]), portable(many[i], many[i + 1]))
            << test::VariantName(id, v, variants[v]) << std::hex << " " << many[i] << " " << many[i + 1];
    }
  }
  const auto scale = BlendRegistry->Variants(FID_ScaleColor);
  for (std::size_t v = 1; v < scale.size(); ++v)
    for (int w = -5; w <= 300; ++w)
      for (TColor32 c : colors)
        ASSERT_EQ(reinterpret_cast<TScaleReg>(scale[v]->Proc)(c, w), reinterpret_cast<TScaleReg>(scale[0]->Proc)(c, w))
            << "w " << w;
  const auto lighten = BlendRegistry->Variants(FID_LightenColor);
  for (std::size_t v = 1; v < lighten.size(); ++v)
    for (int a = -300; a <= 300; ++a)
      for (TColor32 c : colors)
        ASSERT_EQ(reinterpret_cast<TLightenReg>(lighten[v]->Proc)(c, a),
                  reinterpret_cast<TLightenReg>(lighten[0]->Proc)(c, a))
            << "amount " << a;
}

TEST_F(BlendTest, LightenSaturatesForAnyAmountInEveryVariant) {
  struct Case { int amount; TColor32 expected; };
  const Case cases[] = {
      {255, 0x80FFFFFF}, {256, 0x80FFFFFF}, {INT32_MAX - 100, 0x80FFFFFF}, {INT32_MAX, 0x80FFFFFF},
      {-255, 0x80000000}, {-256, 0x80000000}, {INT32_MIN + 1, 0x80000000}, {INT32_MIN, 0x80000000},
  };
  ForEachVariant(FID_LightenColor, [&](std::size_t, PFunctionInfo) {
    for (const Case& c : cases) EXPECT_EQ(LightenColor(0x80102030, c.amount), c.expected) << "amount " << c.amount;
  });
}

// ---- per-channel weights ----

TEST_F(BlendTest, PerChannelWeightsUseOneByteOrderInEveryVariant) {
  ForEachVariant(FID_BlendColorPerChannel, [](std::size_t, PFunctionInfo) {
    // Red is weighted by byte 0, green by byte 1, blue by byte 2; alpha is B's.
    EXPECT_EQ(BlendColorPerChannel(0xFFFFFFFF, 0x80000000, 0x00000080), 0x80800000u);
    EXPECT_EQ(BlendColorPerChannel(0xFFFFFFFF, 0x80000000, 0x00008000), 0x80008000u);
    EXPECT_EQ(BlendColorPerChannel(0xFFFFFFFF, 0x80000000, 0x00800000), 0x80000080u);
    EXPECT_EQ(BlendColorPerChannel(0xFFFFFFFF, 0x80000000, 0xFF000000), 0x80000000u) << "byte 3 is unused";
    // Truncation toward zero: 100 - 12800 / 255 = 100 - 50.2 -> 50.
    EXPECT_EQ(BlendColorPerChannel(0x00000000, 0x00646464, 0x00808080), 0x00323232u);
  });
  const auto variants = BlendRegistry->Variants(FID_BlendColorPerChannel);
  const auto into = BlendRegistry->Variants(FID_BlendColorPerChannelInto);
  const auto portable = reinterpret_cast<TBlendPerChannelReg>(variants[0]->Proc);
  for (std::size_t v = 1; v < variants.size(); ++v)
    for (std::uint32_t w = 0; w < 256; ++w)
      for (std::size_t k = 0; k + 1 < colors.size(); k += 2) {
        const TColor32 weights = w | ((255 - w) << 8) | (((w * 7) & 0xFF) << 16) | 0x5A000000;
        const TColor32 f = colors[k], b = colors[k + 1];
        const TColor32 expected = portable(f, b, weights);
        ASSERT_EQ(reinterpret_cast<TBlendPerChannelReg>(variants[v]->Proc)(f, b, weights), expected) << "w " << w;
        TColor32 d = b;
        reinterpret_cast<TBlendPerChannelMem>(into[v]->Proc)(f, d, weights);
        ASSERT_EQ(d, expected) << "w " << w;
      }
}

TEST_F(BlendTest, PerModeTablesFollowARebind) {
  EXPECT_EQ(BlendIntoByMode[cmBlend], &BlendColorInto);
  EXPECT_EQ(BlendIntoByMode[cmMerge], &MergeColorInto);
  EXPECT_EQ(BlendRowMaskedByMode[cmMerge], &MergeRowMasked);
  const auto variants = BlendRegistry->Variants(FID_BlendColorInto);
  test::ForcedVariant forced(*BlendRegistry, FID_BlendColorInto, variants[0]);
  EXPECT_EQ(reinterpret_cast<Raster_Bindings::TRoutine>(*BlendIntoByMode[cmBlend]), variants[0]->Proc);
}

TEST_F(BlendTest, ClearStateIsCallableInEveryVariant) {
  ForEachVariant(FID_ClearMMXState, [](std::size_t, PFunctionInfo) {
    ClearMMXState();
    TColor32 b = 0xFF000000;
    BlendColorInto(0x80FFFFFF, b);  // blending still works afterwards
    EXPECT_NEAR(double(Ch(b, 2)), 128.0, 1.0);
  });
}

}  // namespace
}  // namespace velkor
