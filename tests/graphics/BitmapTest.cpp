// The bitmap's storage, backends, clip rectangles, notification and pixel
// accessors.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "BitmapTestSupport.h"
#include "graphics/Raster_Backends.h"
#include "graphics/Raster_Blend.h"
#include "graphics/Raster_Resamplers.h"

namespace velkor::test {
namespace {

using Raster_Blend::CombineColor;

// --- storage and backends ---------------------------------------------------------

TEST_F(BitmapTest, NewBitmapIsEmptyAndAMemorySurfaceStartsOpaqueBlack) {
  auto b = New<TCustomBitmap32>();
  EXPECT_TRUE(b->Empty());
  EXPECT_EQ(b->Bits(), nullptr);
  EXPECT_EQ(b->ClipRect(), TRect{});
  EXPECT_EQ(b->Backend()->ClassName(), "TMemoryBackend");
  EXPECT_EQ(b->ResamplerClassName(), "TNearestResampler");
  EXPECT_EQ(b->MasterAlpha(), 255u);
  EXPECT_EQ(b->PenColor(), 0xFFFFFFFFu);

  b->SetSize(10, 10);
  EXPECT_EQ(ChangedPixels(*b, 0xFF000000u).size(), 0u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b->Bits()) % 64, 0u);
}

TEST_F(BitmapTest, SizesThatCannotBeHadLeaveAnEmptyBitmap) {
  struct Case {
    int w, h, expectW, expectH;
    bool raises;
    const char* why;
  } cases[] = {
      {-5, 3, 0, 3, false, "a negative size counts as 0"},
      {0, 7, 0, 7, false, "one side 0: nothing allocated, the size kept"},
      {INT_MAX, INT_MAX, 0, 0, true, "beyond any memory"},
      {200000, 200000, 0, 0, true, "160 GB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    auto b = MakeBitmap(4, 4);
    if (c.raises) {
      EXPECT_THROW(b->SetSize(c.w, c.h), EBitmapException);
    } else {
      b->SetSize(c.w, c.h);
    }
    EXPECT_EQ(b->Width(), c.expectW);
    EXPECT_EQ(b->Height(), c.expectH);
    EXPECT_TRUE(b->Empty());
    EXPECT_EQ(b->Bits(), nullptr);
    EXPECT_EQ(b->ClipRect(), b->BoundsRect());
    b->SetSize(3, 2);  // usable again
    EXPECT_EQ(b->GetPixel(2, 1), 0xFF000000u);
  }
}

// A backend class of the test's own that offers one capability.
class TPaintingBackend : public TMemoryBackend, public IPaintSupport {
 public:
  using TMemoryBackend::TMemoryBackend;
  static const TClassInfo& StaticClass() {
    static const TClassInfo info{"TPaintingBackend", &TMemoryBackend::StaticClass(),
                                 [] { return New<TPaintingBackend>(); }, {}};
    return info;
  }
  const TClassInfo& ClassType() const override { return StaticClass(); }
  void ImageNeeded() override {}
  void CheckPixmap() override {}
  void DoPaint(TBitmap32*, Raster_Containers::TRectList*, TCanvas*, IPaintBoxViewport*) override {}
};

// A bitmap whose platform backend is TPaintingBackend; counts its
// BackendChanged override, which must run from construction on.
class TProbeBitmap : public TCustomBitmap32 {
 public:
  int BackendChanges = 0;
  TCustomBackendClass GetPlatformBackendClass() const override { return &TPaintingBackend::StaticClass(); }

 protected:
  void BackendChanged() override {
    TCustomBitmap32::BackendChanged();
    ++BackendChanges;
  }
};

// A bitmap declared as a plain object skips AfterConstruction and has no
// backend: sizing it must refuse, not leave a size over a null pixel store.
TEST_F(BitmapTest, ABitmapNotMadeWithNewRefusesASize) {
  TBitmap32 plain;
  EXPECT_THROW(plain.SetSize(4, 4), EBitmapException);
  EXPECT_EQ(plain.Width(), 0);
  EXPECT_EQ(plain.Height(), 0);
  EXPECT_TRUE(plain.Empty());
}

TEST_F(BitmapTest, ConstructionReachesTheDescendantsOverrides) {
  auto b = New<TProbeBitmap>();
  EXPECT_EQ(b->Backend()->ClassName(), "TPaintingBackend");
  EXPECT_GE(b->BackendChanges, 1);
  auto explicitClass = New<TProbeBitmap>();
  auto memory = New<TCustomBitmap32>(&TMemoryBackend::StaticClass());
  EXPECT_EQ(memory->Backend()->ClassName(), "TMemoryBackend");
}

TEST_F(BitmapTest, RequireBackendInterfacesSwitchesOnlyWhenNeededAndRestores) {
  auto b = MakePatternBitmap(5, 4);
  TCustomBackend* original = b->Backend();
  TCustomBackend* released = nullptr;

  // The memory backend offers nothing: a switch to a fresh platform backend
  // that takes the pixels over.
  RequireBackendInterfaces(b.get(), {&Supports<IDeviceContextSupport>}, 1, false, released);
  ASSERT_EQ(released, original);
  EXPECT_NE(b->Backend(), original);
  EXPECT_EQ(b->Width(), 5);
  EXPECT_EQ(b->GetPixel(4, 3), PatternPixel(4, 3));
  b->SetPixel(0, 0, 0x12345678u);
  RestoreBackend(b.get(), released);
  EXPECT_EQ(b->Backend(), original);
  EXPECT_EQ(b->GetPixel(0, 0), 0x12345678u) << "pixels drawn meanwhile come back with the backend";
  EXPECT_EQ(b->GetPixel(4, 3), PatternPixel(4, 3));
  EXPECT_EQ(original->RefCount(), 1);

  // An empty list never suffices; the destructive switch drops the pixels.
  RequireBackendInterfaces(b.get(), std::span<const TBackendInterface>{}, 0, true, released);
  ASSERT_NE(released, nullptr);
  EXPECT_TRUE(b->Empty());
  RestoreBackend(b.get(), released);
  EXPECT_EQ(b->Backend(), original);
  EXPECT_TRUE(b->Empty());

  // A backend that offers one of the capabilities: mode 1 keeps it, mode 0
  // with another one switches.
  auto p = New<TProbeBitmap>();
  p->SetSize(2, 2);
  TCustomBackend* own = p->Backend();
  RequireBackendInterfaces(p.get(), {&Supports<ITextSupport>, &Supports<IPaintSupport>}, 1, false, released);
  EXPECT_EQ(released, nullptr);
  EXPECT_EQ(p->Backend(), own);
  RequireBackendInterfaces(p.get(), {&Supports<ITextSupport>, &Supports<IPaintSupport>}, 0, false, released);
  EXPECT_EQ(released, own);
  RestoreBackend(p.get(), released);
  EXPECT_EQ(p->Backend(), own);

  RestoreBackend(p.get(), nullptr);  // nothing to give back
  RequireBackendInterfaces(nullptr, {&Supports<ITextSupport>}, 0, false, released);
  EXPECT_EQ(released, nullptr);
}

TEST_F(BitmapTest, AssignCopiesPixelsAndSettingsOrEmptiesOrRefuses) {
  auto src = MakePatternBitmap(3, 2);
  src->SetDrawMode(dmBlend);
  src->SetCombineMode(cmMerge);
  src->SetWrapMode(wmMirror);
  src->SetMasterAlpha(77);
  src->SetOuterColor(0x11223344u);
  auto dst = MakeBitmap(1, 1);
  TReports r;
  r.Attach(*dst);
  dst->Assign(src.get());
  EXPECT_EQ(RowsOf(*dst), RowsOf(*src));
  EXPECT_EQ(dst->DrawMode(), dmBlend);
  EXPECT_EQ(dst->CombineMode(), cmMerge);
  EXPECT_EQ(dst->WrapMode(), wmMirror);
  EXPECT_EQ(dst->MasterAlpha(), 77u);
  EXPECT_EQ(dst->OuterColor(), 0x11223344u);
  EXPECT_EQ(r.Changes, 1) << "one report after the update bracket";

  dst->Assign(dst.get());  // itself: unchanged
  EXPECT_EQ(RowsOf(*dst), RowsOf(*src));

  dst->Assign(nullptr);
  EXPECT_TRUE(dst->Empty());

  r.Clear();
  TCustomBackend* notABitmap = NewBackend<TCustomBackend>(nullptr);
  EXPECT_THROW(dst->Assign(notABitmap), EConvertError);
  EXPECT_EQ(r.Changes, 1) << "Changed runs also when the assignment fails";
  notABitmap->Release();
}

// --- settings and notification ----------------------------------------------------

TEST_F(BitmapTest, SettersReportOnlyRealChanges) {
  auto b = MakeBitmap(2, 2);
  TReports r;
  r.Attach(*b);
  b->SetCombineMode(cmMerge);
  b->SetCombineMode(cmMerge);
  EXPECT_EQ(r.Changes, 1);
  b->SetOuterColor(5);
  b->SetPenColor(6);
  EXPECT_EQ(r.Changes, 1) << "plain fields do not notify";

  TCustomResampler* before = b->Resampler();
  b->SetResamplerClassName("Nope");
  b->SetResamplerClassName("");
  b->SetResamplerClassName("TNearestResampler");
  EXPECT_EQ(b->Resampler(), before) << "unknown, empty or current names create nothing";
  b->SetResamplerClassName("TLinearResampler");
  EXPECT_EQ(b->ResamplerClassName(), "TLinearResampler");
  EXPECT_EQ(b->Resampler()->Bitmap(), b.get());
}

TEST_F(BitmapTest, ClipRectStaysInsideTheBitmap) {
  auto b = MakeBitmap(10, 10);
  struct Case {
    TRect set, expect;
    bool clipping;
  } cases[] = {
      {{0, 0, 10, 10}, {0, 0, 10, 10}, false},
      {{-5, -5, 5, 5}, {0, 0, 5, 5}, true},
      {{20, 20, 30, 30}, {0, 0, 0, 0}, true},
      {{3, 4, 3, 9}, {3, 4, 3, 9}, true},
      {{-100, -100, 100, 100}, {0, 0, 10, 10}, false},
  };
  for (const Case& c : cases) {
    b->SetClipRect(c.set);
    EXPECT_EQ(b->ClipRect(), c.expect) << c.set;
    EXPECT_EQ(b->Clipping(), c.clipping) << c.set;
    const TFixedRect fixed = b->FixedClipRect();
    EXPECT_EQ(fixed.Right, c.expect.Right * 65536);
  }
  b->SetSize(12, 8);
  EXPECT_EQ(b->ClipRect(), (TRect{0, 0, 12, 8})) << "a size change resets the clip rectangle";
  EXPECT_FALSE(b->Clipping());
}

TEST_F(BitmapTest, ClearFillsTheClipRectangleAndReportsOnlyWithPixels) {
  auto empty = New<TCustomBitmap32>();
  TReports r;
  r.Attach(*empty);
  empty->Clear(0xFFFFFFFFu);
  EXPECT_EQ(r.Changes, 0);
  EXPECT_TRUE(r.Areas.empty());

  auto b = MakeBitmap(4, 3, 0u);
  b->SetClipRect({1, 1, 3, 2});
  b->Clear(0xFFAABBCCu);
  EXPECT_EQ(RowsOf(*b), (std::vector<std::vector<TColor32>>{
                            {0, 0, 0, 0}, {0, 0xFFAABBCCu, 0xFFAABBCCu, 0}, {0, 0, 0, 0}}));
  b->ResetClipRect();
  b->Clear();
  EXPECT_TRUE(ChangedPixels(*b, 0xFF000000u).empty());
  b->SetPixel(1, 1, 0x80123456u);
  b->ResetAlpha(0x40);
  EXPECT_EQ(b->GetPixel(1, 1), 0x40123456u);
  EXPECT_EQ(b->GetPixel(0, 0), 0x40000000u);
}

TEST_F(BitmapTest, MeasuringModeReportsEvenWhenUpdatingAndChangesNoPixel) {
  auto b = MakePatternBitmap(6, 4);
  TReports own, measured;
  own.Attach(*b);
  b->BeginUpdate();
  b->BeginMeasuring([&](TPersistent*, const TRect& Area, std::uint32_t Info) {
    measured.Areas.push_back({Area, Info});
  });
  EXPECT_TRUE(b->MeasuringMode());
  b->Clear(0xFFFFFFFFu);
  b->ResetAlpha(0);
  b->FillRectS(1, 1, 3, 3, 0xFFFFFFFFu);
  b->HorzLineS(0, 2, 5, 0xFFFFFFFFu);
  b->LineS(0, 0, 5, 3, 0xFFFFFFFFu);
  b->FillRect(0, 0, 1, 1, 0xFFFFFFFFu);  // not an S form: draws
  b->EndMeasuring();
  b->EndUpdate();

  EXPECT_EQ(b->GetPixel(0, 0), 0xFFFFFFFFu);
  b->SetPixel(0, 0, PatternPixel(0, 0));
  EXPECT_TRUE(SamePixels(*b, *MakePatternBitmap(6, 4), b->BoundsRect()));
  const std::vector<std::pair<TRect, std::uint32_t>> expected = {
      {{0, 0, 6, 4}, AREAINFO_RECT}, {{0, 0, 6, 4}, AREAINFO_RECT}, {{1, 1, 3, 3}, AREAINFO_RECT},
      {{0, 2, 5, 3}, AREAINFO_RECT}, {{0, 0, 5, 3}, AREAINFO_LINE + 2}, {{0, 0, 1, 1}, AREAINFO_RECT}};
  EXPECT_EQ(measured.Areas, expected);
  EXPECT_TRUE(own.Areas.empty());
  EXPECT_EQ(own.Changes, 0);

  // The bitmap's own handler is back.
  b->Changed();
  EXPECT_EQ(own.Areas.size(), 1u);
  EXPECT_EQ(own.Changes, 1);
}

// --- pixel access ------------------------------------------------------------------

TEST_F(BitmapTest, ClippedAccessTestsTheClipRectangle) {
  auto b = MakePatternBitmap(10, 10);
  b->SetOuterColor(0x00ABCDEFu);
  EXPECT_EQ(b->GetPixelS(-1, 0), 0x00ABCDEFu);
  EXPECT_EQ(b->GetPixelS(9, 9), PatternPixel(9, 9));
  b->SetPixelS(10, 0, 0u);
  b->SetPixelS(0, -1, 0u);
  EXPECT_TRUE(SamePixels(*b, *MakePatternBitmap(10, 10), b->BoundsRect()));
  b->SetClipRect({2, 2, 5, 5});
  EXPECT_EQ(b->GetPixelS(5, 3), 0x00ABCDEFu);
  b->SetPixelTS(1, 3, 0xFFFFFFFFu);
  EXPECT_EQ(b->GetPixel(1, 3), PatternPixel(1, 3));
}

TEST_F(BitmapTest, WrappedAccessMapsIntoTheClipRectangle) {
  auto b = MakePatternBitmap(8, 4);
  b->SetClipRect({2, 1, 6, 3});  // columns 2..5, rows 1..2
  struct Case {
    TWrapMode mode;
    int x, y, expectX, expectY;
  } cases[] = {
      {wmClamp, -7, 9, 2, 2},  {wmClamp, 4, 1, 4, 1},  {wmRepeat, 6, 3, 2, 1},
      {wmRepeat, 1, 0, 5, 2},  {wmMirror, 6, 3, 5, 2}, {wmMirror, 9, 1, 2, 1},
  };
  for (const Case& c : cases) {
    b->SetWrapMode(c.mode);
    EXPECT_EQ(b->GetPixelW(c.x, c.y), PatternPixel(c.expectX, c.expectY)) << c.mode << " " << c.x << "," << c.y;
  }
  b->SetClipRect({20, 20, 30, 30});  // empty: nothing to wrap into
  b->SetOuterColor(7);
  EXPECT_EQ(b->GetPixelW(3, 3), 7u);
  EXPECT_EQ(b->GetPixelXW(3 << 16, 3 << 16), 7u);
  b->SetPixelW(3, 3, 0u);
  b->SetPixelXW(3 << 16, 3 << 16, 0xFFFFFFFFu);
  EXPECT_TRUE(SamePixels(*b, *MakePatternBitmap(8, 4), b->BoundsRect()));
}

TEST_F(BitmapTest, SubPixelWriteSpreadsOverTwoByTwoWithGammaWeights) {
  ASSERT_EQ(GammaTable[127], 84);
  ASSERT_EQ(GammaTable[128], 85);
  auto b = MakeBitmap(20, 4);
  // 10.5 in 16.16 is 24.8 position 2688 (fraction 128): 127 is added, not 128.
  b->SetPixelX(10 * 65536 + 32768, 0, 0xFFFFFFFFu);
  EXPECT_EQ(b->GetPixel(10, 0), CombineColor(0xFFFFFFFFu, 0xFF000000u, 83));
  EXPECT_EQ(b->GetPixel(11, 0), CombineColor(0xFFFFFFFFu, 0xFF000000u, 84));
  EXPECT_EQ(ChangedPixels(*b, 0xFF000000u).size(), 2u) << "row 1 gets the weight G[0] = 0";
}

TEST_F(BitmapTest, ClippedSubPixelWritesStayInsideTheClipRectangle) {
  // The clip rectangle leaves column 5 and row 3 of the store outside: a
  // write whose 2 x 2 footprint reaches them must not touch them.
  struct Case {
    TFixed x, y;
    const char* why;
  } cases[] = {
      {4 * 65536 + 40000, 2 * 65536 + 40000, "footprint over the right and bottom edges"},
      {-30000, -30000, "footprint over the left and top edges"},
      {5 * 65536 + 200, 1 * 65536, "past the right edge"},
      {INT_MAX, INT_MAX, "far outside"},
      {INT_MIN, 2 * 65536, "far outside, negative"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    for (TWrapMode mode : {wmClamp, wmRepeat, wmMirror}) {
      auto b = MakeBitmap(6, 4, 0xFF000000u);
      b->SetClipRect({0, 0, 5, 3});
      b->SetWrapMode(mode);
      b->SetPixelXS(c.x, c.y, 0xFFFFFFFFu);
      b->SetPixelXW(c.x, c.y, 0xFFFFFFFFu);
      b->SetPixelFS(float(c.x) / 65536, float(c.y) / 65536, 0xFFFFFFFFu);
      for (const TPoint& p : ChangedPixels(*b, 0xFF000000u)) {
        EXPECT_TRUE(p.X < 5 && p.Y < 3) << "touched " << p << " in mode " << mode;
      }
    }
  }
}

TEST_F(BitmapTest, InterpolatedReadsAtTheEdgesOfTheClipRectangle) {
  auto b = MakeBitmapFromRows({{0xFF000000u, 0xFFFFFFFFu}, {0xFF000000u, 0xFFFFFFFFu}});
  b->SetOuterColor(0x00000001u);
  const TFixed lastColumn = 1 * 65536;
  EXPECT_EQ(b->GetPixelXS(lastColumn, 0), 0xFFFFFFFFu) << "the last column is read unblended";
  EXPECT_EQ(b->GetPixelXS(lastColumn + 256, 0), 0x00000001u) << "one 24.8 step further is outside";
  EXPECT_EQ(b->GetPixelXS(-256, 0), 0x00000001u);
  EXPECT_EQ(b->GetPixelXS(0, 0), 0xFF000000u);
  // Midway between the columns both pixels mix; the wrapped read agrees.
  const TColor32 mid = b->GetPixelXS(32768, 0);
  EXPECT_GT(mid & 0xFF, 0x40u);
  EXPECT_LT(mid & 0xFF, 0xC0u);
  EXPECT_EQ(b->GetPixelXW(32768 + 65536 * 2, 0) & 0xFF000000u, 0xFF000000u);
}

}  // namespace
}  // namespace velkor::test
