// Block and stretch transfers, the scaling algorithms and their mapping
// tables. Also leaves every resampler's 4x and 1/3 results as PNG files
// under <build>/gui-shots/graphics/ for a person to look at.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "BitmapTestSupport.h"
#include "PngWriter.h"
#include "graphics/Raster_Resamplers.h"

namespace velkor::test {
namespace {

using namespace Raster_Resamplers;

class TransfersTest : public BitmapTest {};

std::unique_ptr<TCustomBitmap32> RandomBitmap(int W, int H, unsigned Seed, bool Opaque = true) {
  auto b = MakeBitmap(W, H);
  std::mt19937 gen(Seed);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) b->SetPixel(x, y, Opaque ? gen() | 0xFF000000u : gen());
  return b;
}

std::unique_ptr<TCustomBitmap32> Copy(const TCustomBitmap32& B) {
  auto c = MakeBitmap(B.Width(), B.Height());
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x) c->SetPixel(x, y, B.GetPixel(x, y));
  return c;
}

void ExpectMessage(const std::function<void()>& Call, const std::string& Message) {
  try {
    Call();
    ADD_FAILURE() << "no exception, expected \"" << Message << "\"";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), Message);
  }
}

// --- Block transfers -------------------------------------------------------------

TEST_F(TransfersTest, BlockTransferCopiesOnlyWhatLandsInside) {
  auto src = MakePatternBitmap(20, 10);
  auto dst = MakeBitmap(20, 10);
  TReports reports;
  reports.Attach(*dst);
  TransferBlock(dst.get(), -10, 0, dst->BoundsRect(), src.get(), src->BoundsRect(), dmOpaque);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x)
      ASSERT_EQ(dst->GetPixel(x, y), x < 10 ? PatternPixel(x + 10, y) : 0xFF000000u) << x << ", " << y;
  ASSERT_EQ(reports.Areas.size(), 1u);
  EXPECT_EQ(reports.Areas[0].first, (TRect{0, 0, 10, 10}));
  EXPECT_EQ(reports.Areas[0].second, AREAINFO_RECT);
}

TEST_F(TransfersTest, NilBitmapsRaiseNamedErrors) {
  auto b = MakeBitmap(4, 4);
  ExpectMessage([&] { TransferBlock(nullptr, 0, 0, b->BoundsRect(), b.get(), b->BoundsRect(), dmOpaque); },
                "Destination bitmap is nil");
  ExpectMessage([&] { TransferBlock(b.get(), 0, 0, b->BoundsRect(), nullptr, b->BoundsRect(), dmOpaque); },
                "Source bitmap is nil");
  ExpectMessage(
      [&] { TransferStretched(nullptr, {0, 0, 8, 8}, b->BoundsRect(), b.get(), b->BoundsRect(), nullptr, dmOpaque); },
      "Destination bitmap is nil");
  ExpectMessage(
      [&] { TransferStretched(b.get(), {0, 0, 8, 8}, b->BoundsRect(), nullptr, b->BoundsRect(), nullptr, dmOpaque); },
      "Source bitmap is nil");
  EXPECT_THROW(TransferBlock(nullptr, 0, 0, {}, b.get(), {}, dmOpaque), EBitmapException);
}

TEST_F(TransfersTest, NothingHappensForEmptyOrInvisibleTransfers) {
  auto src = RandomBitmap(8, 8, 1);
  auto dst = MakeBitmap(8, 8);
  auto empty = MakeBitmap(0, 0);
  TReports reports;
  reports.Attach(*dst);
  src->SetMasterAlpha(0);
  TransferBlock(dst.get(), 0, 0, dst->BoundsRect(), src.get(), src->BoundsRect(), dmBlend);
  TransferStretched(dst.get(), {0, 0, 4, 4}, dst->BoundsRect(), src.get(), src->BoundsRect(), nullptr, dmBlend);
  src->SetMasterAlpha(255);
  TransferBlock(dst.get(), 0, 0, dst->BoundsRect(), empty.get(), {0, 0, 5, 5}, dmOpaque);
  TransferBlock(dst.get(), 20, 0, dst->BoundsRect(), src.get(), src->BoundsRect(), dmOpaque);  // disjoint
  TransferBlock(dst.get(), 0, 0, {2, 2, 2, 6}, src.get(), src->BoundsRect(), dmOpaque);        // empty clip
  // A zero-width SrcRect reaching outside the source: nothing to scale by.
  TransferStretched(dst.get(), {0, 0, 8, 8}, dst->BoundsRect(), src.get(), {-5, 0, -5, 8}, nullptr, dmOpaque);
  TransferStretched(dst.get(), {0, 0, 8, 8}, dst->BoundsRect(), src.get(), {-20, -20, -10, -10}, nullptr, dmOpaque);
  EXPECT_TRUE(reports.Areas.empty());
  EXPECT_TRUE(ChangedPixels(*dst, 0xFF000000u).empty());
}

TEST_F(TransfersTest, DrawModesCombineEachPixel) {
  auto src = MakeBitmapFromRows({{0xFF112233u, 0x80FFFFFFu, 0xFF00FF00u}});
  src->SetOuterColor(0xFF00FF00u);
  const TRect all = src->BoundsRect();
  auto run = [&](TDrawMode mode, const TPixelCombineEvent& callBack = {}) {
    auto dst = MakeBitmap(3, 1, 0xFF000000u);
    TransferBlock(dst.get(), 0, 0, dst->BoundsRect(), src.get(), all, mode, callBack);
    return RowsOf(*dst)[0];
  };
  EXPECT_EQ(run(dmOpaque), (std::vector<TColor32>{0xFF112233u, 0x80FFFFFFu, 0xFF00FF00u}));
  // The source's outer colour is left out.
  EXPECT_EQ(run(dmTransparent), (std::vector<TColor32>{0xFF112233u, 0x80FFFFFFu, 0xFF000000u}));
  // Without a callback dmCustom copies.
  EXPECT_EQ(run(dmCustom), run(dmOpaque));
  src->SetMasterAlpha(77);
  std::vector<TColor32> masters;
  const auto custom = run(dmCustom, [&](TColor32 F, TColor32& B, TColor32 M) {
    B = F ^ 0x00FFFFFFu;
    masters.push_back(M);
  });
  EXPECT_EQ(custom, (std::vector<TColor32>{0xFFEEDDCCu, 0x80000000u, 0xFFFF00FFu}));
  EXPECT_EQ(masters, (std::vector<TColor32>{77, 77, 77}));
  // Blending at master alpha 77 moves each pixel toward the source, the
  // half-transparent one less.
  const auto blended = run(dmBlend);
  EXPECT_GT(blended[0] & 0xFF, 0u);
  EXPECT_LT(blended[0] & 0xFF, 0x33u);
  EXPECT_LT(blended[1] & 0xFF, blended[2] >> 8 & 0xFF);
}

// Copies within one bitmap read the source as it was, in every direction.
TEST_F(TransfersTest, OverlappingCopiesWithinOneBitmap) {
  struct Case {
    const char* Name;
    int DstX, DstY;
    TRect SrcRect;
  };
  const Case cases[] = {
      {"down and right", 2, 3, {0, 0, 12, 12}},
      {"up and left", 1, 0, {3, 2, 15, 14}},
      {"one row down", 0, 1, {0, 0, 16, 15}},
      {"one column right", 1, 0, {0, 0, 15, 16}},
      {"one column left", 0, 0, {1, 0, 16, 16}},
  };
  for (TDrawMode mode : {dmOpaque, dmBlend, dmTransparent}) {
    for (const Case& c : cases) {
      auto bitmap = RandomBitmap(16, 16, 21, mode == dmOpaque);
      bitmap->SetMasterAlpha(200);
      bitmap->SetOuterColor(bitmap->GetPixel(5, 5));
      auto snapshot = Copy(*bitmap);
      snapshot->SetMasterAlpha(200);
      snapshot->SetOuterColor(bitmap->OuterColor());
      auto expected = Copy(*bitmap);
      TransferBlock(expected.get(), c.DstX, c.DstY, expected->BoundsRect(), snapshot.get(), c.SrcRect, mode);
      TransferBlock(bitmap.get(), c.DstX, c.DstY, bitmap->BoundsRect(), bitmap.get(), c.SrcRect, mode);
      EXPECT_TRUE(SamePixels(*bitmap, *expected, bitmap->BoundsRect())) << c.Name << ", mode " << mode;
    }
  }
}

TEST_F(TransfersTest, MeasuringModeReportsWithoutDrawing) {
  auto src = RandomBitmap(8, 8, 2);
  auto dst = MakeBitmap(8, 8);
  std::vector<TRect> measured;
  dst->BeginMeasuring([&](TPersistent*, const TRect& Area, std::uint32_t) { measured.push_back(Area); });
  TransferBlock(dst.get(), 4, 4, dst->BoundsRect(), src.get(), src->BoundsRect(), dmOpaque);
  TransferStretched(dst.get(), {-2, 0, 30, 5}, dst->BoundsRect(), src.get(), src->BoundsRect(), nullptr, dmOpaque);
  dst->EndMeasuring();
  EXPECT_EQ(measured, (std::vector<TRect>{{4, 4, 8, 8}, {-2, 0, 30, 5}}));
  EXPECT_TRUE(ChangedPixels(*dst, 0xFF000000u).empty());
}

// --- Stretch transfers ---------------------------------------------------------------

TEST_F(TransfersTest, SourceOverhangMovesTheDestinationEdges) {
  auto src = MakePatternBitmap(100, 4);
  auto dst = MakeBitmap(200, 8);
  TReports reports;
  reports.Attach(*dst);
  // 100 source columns starting at -10 into 200: the left edge moves by
  // Ceil(10 * 2) and source column 0 lands at 20.
  TransferStretched(dst.get(), {0, 0, 200, 8}, dst->BoundsRect(), src.get(), {-10, 0, 90, 4},
                    src->Resampler(), dmOpaque);
  ASSERT_EQ(reports.Areas.size(), 1u);
  EXPECT_EQ(reports.Areas[0].first, (TRect{20, 0, 200, 8}));
  EXPECT_EQ(dst->GetPixel(19, 0), 0xFF000000u);
  EXPECT_EQ(dst->GetPixel(20, 0), PatternPixel(0, 0));
  EXPECT_EQ(dst->GetPixel(199, 7), PatternPixel(89, 3));

  // Overhang on the right and bottom moves those edges by the floor.
  reports.Clear();
  TransferStretched(dst.get(), {0, 0, 30, 6}, dst->BoundsRect(), src.get(), {95, 2, 105, 6}, src->Resampler(),
                    dmOpaque);
  ASSERT_EQ(reports.Areas.size(), 1u);
  EXPECT_EQ(reports.Areas[0].first, (TRect{0, 0, 15, 3}));
}

TEST_F(TransfersTest, EqualSizesCopyWhateverTheResampler) {
  const TRect srcRects[] = {{1, 1, 11, 8}, {-2, -2, 8, 8}, {5, 0, 16, 3}};
  for (const char* name : {"TNearestResampler", "TLinearResampler", "TDraftResampler", "TKernelResampler"}) {
    for (const TRect& srcRect : srcRects) {
      auto src = RandomBitmap(16, 12, 3, false);
      src->SetResamplerClassName(name);
      if (auto* k = dynamic_cast<TKernelResampler*>(src->Resampler())) k->SetKernelClassName("TLanczosKernel");
      auto stretched = MakeBitmap(14, 10), block = MakeBitmap(14, 10);
      const int w = srcRect.Right - srcRect.Left, h = srcRect.Bottom - srcRect.Top;
      const TRect clip{0, 1, 12, 10};
      TransferStretched(stretched.get(), {3, 2, 3 + w, 2 + h}, clip, src.get(), srcRect, src->Resampler(), dmBlend);
      TransferBlock(block.get(), 3, 2, clip, src.get(), srcRect, dmBlend);
      EXPECT_TRUE(SamePixels(*stretched, *block, stretched->BoundsRect())) << name << ", " << srcRect;
    }
  }
}

TEST_F(TransfersTest, HalvingTwoPixelsByResampler) {
  struct Case {
    const char* Resampler;
    TColor32 Expected;
  };
  const Case cases[] = {
      {"TKernelResampler", 0xFF7F7F7Fu},  // box kernel: 128 and 128
      {"TLinearResampler", 0xFF7F7F7Fu},
      {"TDraftResampler", 0xFF7F7F7Fu},
      {"TNearestResampler", 0xFF000000u},  // column (0 + 2 - 1) div 2
  };
  for (const Case& c : cases) {
    auto src = MakeBitmapFromRows({{0xFF000000u, 0xFFFFFFFFu}});
    src->SetResamplerClassName(c.Resampler);
    auto dst = MakeBitmap(1, 1, 0xFF123456u);
    TransferStretched(dst.get(), {0, 0, 1, 1}, dst->BoundsRect(), src.get(), src->BoundsRect(), src->Resampler(),
                      dmOpaque);
    EXPECT_EQ(Hex(dst->GetPixel(0, 0)), Hex(c.Expected)) << c.Resampler;
  }
}

TEST_F(TransfersTest, BlockAveragesFollowTheStepTable) {
  // Ten grey levels 0, 20, ..., 180 into four columns: blocks of 2, 3, 2
  // and 3 columns, each a truncating average (three 255s give 254).
  std::vector<TColor32> row;
  for (int x = 0; x < 10; ++x) row.push_back(0xFF000000u | 0x010101u * std::uint32_t(20 * x));
  auto src = MakeBitmapFromRows({row});
  src->SetResamplerClassName("TDraftResampler");
  auto dst = MakeBitmap(4, 1);
  TransferStretched(dst.get(), {0, 0, 4, 1}, dst->BoundsRect(), src.get(), src->BoundsRect(), src->Resampler(),
                    dmOpaque);
  EXPECT_EQ(RowsOf(*dst)[0], (std::vector<TColor32>{0xFF0A0A0Au, 0xFE3B3B3Bu, 0xFF6E6E6Eu, 0xFE9F9F9Fu}));
}

TEST_F(TransfersTest, ScalersRefuseASourceRectangleOutsideTheSource) {
  auto src = MakeBitmap(5, 5), dst = MakeBitmap(10, 10);
  const auto box = New<TBoxKernel>();
  for (const TRect& bad : {TRect{-1, 0, 5, 5}, TRect{0, 0, 6, 5}, TRect{0, 2, 5, 9}}) {
    ExpectMessage([&] { ScaleNearest(dst.get(), {0, 0, 10, 10}, dst->BoundsRect(), src.get(), bad, dmOpaque, {}); },
                  "Invalid SrcRect");
    EXPECT_THROW(ScaleBilinear(dst.get(), {0, 0, 10, 10}, dst->BoundsRect(), src.get(), bad, dmOpaque, {}),
                 std::runtime_error);
    EXPECT_THROW(
        ResampleWithKernel(dst.get(), {0, 0, 10, 10}, dst->BoundsRect(), src.get(), bad, dmOpaque, {}, box.get()),
        std::runtime_error);
  }
}

// Stretching part of a bitmap over itself reads the source as it was.
TEST_F(TransfersTest, StretchWithinOneBitmap) {
  for (const char* name : {"TNearestResampler", "TLinearResampler", "TDraftResampler", "TKernelResampler"}) {
    for (const TRect& dstRect : {TRect{2, 2, 14, 14}, TRect{0, 0, 4, 4}}) {
      auto bitmap = RandomBitmap(16, 16, 4);
      bitmap->SetResamplerClassName(name);
      auto snapshot = Copy(*bitmap);
      snapshot->SetResamplerClassName(name);
      auto expected = Copy(*bitmap);
      const TRect srcRect{0, 0, 8, 8};
      TransferStretched(expected.get(), dstRect, expected->BoundsRect(), snapshot.get(), srcRect,
                        snapshot->Resampler(), dmOpaque);
      TransferStretched(bitmap.get(), dstRect, bitmap->BoundsRect(), bitmap.get(), srcRect, bitmap->Resampler(),
                        dmOpaque);
      EXPECT_TRUE(SamePixels(*bitmap, *expected, bitmap->BoundsRect())) << name << ", " << dstRect;
    }
  }
}

TEST_F(TransfersTest, ClippedStretchEqualsTheSameRegionOfTheFullOne) {
  for (const char* name : {"TNearestResampler", "TLinearResampler", "TKernelResampler"}) {
    auto src = RandomBitmap(9, 7, 5);
    src->SetResamplerClassName(name);
    if (auto* k = dynamic_cast<TKernelResampler*>(src->Resampler())) k->SetKernelClassName("TMitchellKernel");
    auto full = MakeBitmap(30, 20), clipped = MakeBitmap(30, 20);
    const TRect dstRect{1, 2, 28, 19}, clip{5, 4, 17, 11};
    TransferStretched(full.get(), dstRect, full->BoundsRect(), src.get(), src->BoundsRect(), src->Resampler(),
                      dmOpaque);
    TransferStretched(clipped.get(), dstRect, clip, src.get(), src->BoundsRect(), src->Resampler(), dmOpaque);
    EXPECT_TRUE(SamePixels(*clipped, *full, clip)) << name;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 30; ++x) {
        if (x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom) continue;
        ASSERT_EQ(clipped->GetPixel(x, y), 0xFF000000u) << name << " wrote (" << x << ", " << y << ")";
      }
  }
}

// --- Mapping tables ---------------------------------------------------------------------

TEST_F(TransfersTest, MappingTables) {
  const auto box = New<TBoxKernel>();
  const auto linear = New<TLinearKernel>();
  // Halving with a box: pairs of columns at 128 each.
  const TMappingTable halves = MakeMappingTable(0, 4, 0, 4, 0, 8, *box);
  ASSERT_EQ(halves.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(halves[i], (TCluster{{2 * i, 128}, {2 * i + 1, 128}})) << i;
  // A one-column source: one tap of 256 everywhere.
  for (const TCluster& c : MakeMappingTable(0, 5, 0, 5, 3, 4, *linear)) EXPECT_EQ(c, (TCluster{{3, 256}}));
  // Three taps of 85 sum to 255: the tap at (last index div 2) takes the
  // difference ...
  EXPECT_EQ(MakeMappingTable(0, 1, 0, 1, 0, 3, *box)[0], (TCluster{{0, 85}, {1, 86}, {2, 85}}));
  // ... which for six taps of 43 is the third one, not the fourth.
  EXPECT_EQ(MakeMappingTable(0, 1, 0, 1, 0, 6, *box)[0],
            (TCluster{{0, 43}, {1, 43}, {2, 41}, {3, 43}, {4, 43}, {5, 43}}));
  // Shrinking clamps taps into the source range (here twice at each end).
  EXPECT_EQ(MakeMappingTable(0, 2, 0, 2, 0, 3, *linear)[0], (TCluster{{0, 28}, {0, 143}, {1, 85}}));
  // A clipped range gives those clusters of the full table.
  const TMappingTable full = MakeMappingTable(10, 40, 10, 40, 0, 7, *linear);
  const TMappingTable part = MakeMappingTable(10, 40, 17, 25, 0, 7, *linear);
  ASSERT_EQ(part.size(), 8u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(part[i], full[7 + i]) << i;
  // Nothing to map.
  EXPECT_TRUE(MakeMappingTable(0, 4, 0, 4, 2, 2, *box).empty());
  EXPECT_TRUE(MakeMappingTable(0, 4, 3, 3, 0, 8, *box).empty());
}

// --- Pictures for a person to look at ---------------------------------------------------

// A test card: a zone plate (aliasing shows as false rings), colour bars,
// thin lines and a translucent disc.
std::unique_ptr<TCustomBitmap32> TestCard(int Size) {
  auto b = MakeBitmap(Size, Size);
  const double s = Size;
  for (int y = 0; y < Size; ++y)
    for (int x = 0; x < Size; ++x) {
      const double u = x / s, v = y / s;
      TColor32 c;
      if (v < 0.5) {
        const double dx = u - 0.5, dy = v - 0.25;
        const int g = int(127.5 + 127.5 * std::cos(0.9 * Size * (dx * dx + dy * dy)));
        c = 0xFF000000u | 0x010101u * std::uint32_t(g);
      } else if (u < 0.5) {
        static const TColor32 bars[] = {0xFFFFFFFF, 0xFFFFFF00, 0xFF00FFFF, 0xFF00FF00,
                                        0xFFFF00FF, 0xFFFF0000, 0xFF0000FF, 0xFF000000};
        c = bars[std::min(7, int(u * 16))];
      } else {
        c = (x % 4 == 0 || y % 6 == 0) ? 0xFFFFFFFFu : 0xFF202040u;
        const double dx = u - 0.75, dy = v - 0.75;
        if (dx * dx + dy * dy < 0.02) c = 0xFFE08020u;
      }
      b->SetPixel(x, y, c);
    }
  return b;
}

std::filesystem::path ShotsFolder() { return std::filesystem::path(VELKOR_GUI_SHOTS_DIR); }

void Shoot(const TCustomBitmap32& B, const std::string& Name) {
  WritePng(ShotsFolder() / (Name + ".png"), B.Width(), B.Height(), B.Bits());
}

TEST_F(TransfersTest, EveryResamplerAtFourTimesAndOneThird) {
  auto small = TestCard(64), large = TestCard(192);
  Shoot(*small, "resample-source-64");
  Shoot(*large, "resample-source-192");
  std::vector<std::pair<std::string, std::string>> setups = {
      {"nearest", "TNearestResampler"}, {"linear", "TLinearResampler"}, {"draft", "TDraftResampler"}};
  std::vector<std::string> kernels;
  KernelClassList->GetClassNames(kernels);
  for (const auto& k : kernels) setups.push_back({"kernel-" + k.substr(1), k});

  for (const auto& [label, cls] : setups) {
    for (TCustomBitmap32* src : {small.get(), large.get()}) {
      if (cls.ends_with("Resampler")) {
        src->SetResamplerClassName(cls);
      } else {
        src->SetResamplerClassName("TKernelResampler");
        static_cast<TKernelResampler*>(src->Resampler())->SetKernelClassName(cls);
      }
    }
    auto up = MakeBitmap(256, 256), down = MakeBitmap(64, 64);
    TransferStretched(up.get(), up->BoundsRect(), up->BoundsRect(), small.get(), small->BoundsRect(),
                      small->Resampler(), dmOpaque);
    TransferStretched(down.get(), down->BoundsRect(), down->BoundsRect(), large.get(), large->BoundsRect(),
                      large->Resampler(), dmOpaque);
    // Scaling a test card keeps its broad layout: the colour bars stay
    // where they were (a sanity check; the pictures are for the eye).
    auto nearWhite = [](TColor32 c) { return (c & 0xE0E0E0u) == 0xE0E0E0u; };
    EXPECT_TRUE(nearWhite(up->GetPixel(8, 200))) << label << ": " << Hex(up->GetPixel(8, 200));
    EXPECT_TRUE(nearWhite(down->GetPixel(2, 50))) << label << ": " << Hex(down->GetPixel(2, 50));
    Shoot(*up, "resample-" + label + "-4x");
    Shoot(*down, "resample-" + label + "-third");
  }
  EXPECT_TRUE(std::filesystem::exists(ShotsFolder() / "resample-kernel-LanczosKernel-4x.png"));
}

}  // namespace
}  // namespace velkor::test
