// The toolkit backend and the exchange with the toolkit's graphics: the
// surface, backend switches, device-context transfers, toolkit bitmaps,
// icons, metafiles, pictures and the clipboard, and the sampler bases.
#include <gtest/gtest.h>

#include <QPainter>

#include <cstdint>
#include <vector>

#include "ToolkitTestSupport.h"
#include "graphics/Raster_Backends.h"
#include "graphics/Raster_Backends_Generic.h"
#include "graphics_toolkit/RasterToolkitStartup.h"
#include "graphics_toolkit/Raster_Backends_Toolkit.h"
#include "toolkit/ToolkitGraphics.h"

namespace velkor::test {
namespace {

TEST(ToolkitBackend, ANewSurfaceIsZeroedTopDownAndAligned) {
  auto bmp = New<TBitmap32>();
  bmp->SetSize(10, 10);
  ASSERT_NE(dynamic_cast<TGDIBackend*>(bmp->Backend()), nullptr);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) ASSERT_EQ(bmp->GetPixel(x, y), 0u);
  }
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bmp->Bits()) % 64, 0u);
  const BITMAPINFO info = bmp->BitmapInfo();
  EXPECT_EQ(info.bmiHeader.biHeight, -10);
  EXPECT_EQ(info.bmiHeader.biSizeImage, 400u);
  EXPECT_NE(bmp->Handle(), nullptr);
  EXPECT_EQ(bmp->BitmapHandle()->Bits, bmp->Bits());

  auto memory = New<TCustomBitmap32>();
  memory->SetSize(10, 10);
  EXPECT_EQ(memory->GetPixel(9, 9), 0xFF000000u);
}

TEST(ToolkitBackend, ASizeBeyondMemoryRaisesAndLeavesNothing) {
  auto bmp = New<TBitmap32>();
  bmp->SetSize(4, 4);
  try {
    bmp->SetSize(100000, 100000);
    ADD_FAILURE() << "allocated";
  } catch (const EBitmapException& e) {
    EXPECT_STREQ(e.what(), "Can't allocate the DIB handle");
  }
  EXPECT_EQ(bmp->Width(), 0);
  EXPECT_EQ(bmp->Height(), 0);
  EXPECT_EQ(bmp->Bits(), nullptr);
  bmp->SetSize(3, 3);
  EXPECT_EQ(bmp->GetPixel(2, 2), 0u) << "usable again";
}

TEST(ToolkitBackend, ResizingDropsTheCanvasAndMovesTheHandle) {
  auto bmp = New<TBitmap32>();
  bmp->SetSize(4, 4);
  int handleChanges = 0;
  bmp->OnHandleChanged = [&](TObject*) { ++handleChanges; };
  TCanvas* canvas = bmp->Canvas();
  EXPECT_EQ(canvas->Handle(), bmp->Handle());
  EXPECT_TRUE(bmp->CanvasAllocated());
  bmp->SetSize(8, 8);
  EXPECT_FALSE(bmp->CanvasAllocated());
  EXPECT_GE(handleChanges, 1);
  EXPECT_EQ(bmp->Canvas()->Handle(), bmp->Handle());
  // A canvas drawing reports a change of the bitmap.
  int changes = 0;
  bmp->OnChange = [&](TObject*) { ++changes; };
  bmp->Canvas()->Brush().Color = clRed;
  bmp->Canvas()->FillRect({0, 0, 2, 2});
  EXPECT_EQ(bmp->GetPixel(1, 1), 0x00FF0000u) << "the platform writes alpha 0";
  EXPECT_GE(changes, 1);
}

TEST(ToolkitBackend, BeforeTheToolkitStartsThereIsNoTextButNoCrash) {
  RasterToolkitShutdown();
  auto bmp = New<TBitmap32>();
  bmp->SetSize(20, 20);
  EXPECT_NE(dynamic_cast<TMemoryBackend*>(bmp->Backend()), nullptr);
  EXPECT_EQ(bmp->GetPixel(0, 0), 0xFF000000u);
  for (auto call : std::vector<std::function<void()>>{[&] { bmp->Font(); }, [&] { bmp->Canvas(); },
                                                      [&] { bmp->Handle(); }, [&] { bmp->Textout(0, 0, "x"); },
                                                      [&] { bmp->RenderTextW(0, 0, "x", 2, 0xFF000000u); }}) {
    try {
      call();
      ADD_FAILURE() << "no error";
    } catch (const EIntfCastError& e) {
      EXPECT_STREQ(e.what(), "Interface not supported");
    }
  }
  RasterToolkitStartup();

  // The toolkit switch and its restore: pixels travel both ways.
  bmp->SetPixel(3, 3, 0x12345678u);
  TCustomBackend* released = nullptr;
  RequireBackendInterfaces(bmp.get(), {Supports<ITextSupport>, Supports<IDeviceContextSupport>}, 0, false,
                           released);
  ASSERT_NE(released, nullptr);
  ASSERT_NE(dynamic_cast<TGDIBackend*>(bmp->Backend()), nullptr);
  EXPECT_EQ(bmp->GetPixel(3, 3), 0x12345678u);
  bmp->Font()->SetName(kTestFace);
  bmp->Textout(0, 0, "W");
  const int drawn = CountDifferent(*bmp, 0xFF000000u);
  RestoreBackend(bmp.get(), released);
  EXPECT_NE(dynamic_cast<TMemoryBackend*>(bmp->Backend()), nullptr);
  EXPECT_EQ(CountDifferent(*bmp, 0xFF000000u), drawn);
  EXPECT_GT(drawn, 1);

  // A bitmap already on the toolkit backend is left alone.
  auto ready = New<TBitmap32>();
  ready->SetSize(2, 2);
  TCustomBackend* before = ready->Backend();
  RequireBackendInterfaces(ready.get(), {Supports<IDeviceContextSupport>}, 1, false, released);
  EXPECT_EQ(released, nullptr);
  EXPECT_EQ(ready->Backend(), before);
}

TEST(ToolkitBackend, ABackendThatOutlivesItsBitmapCallsNothing) {
  auto bmp = New<TBitmap32>();
  bmp->SetSize(4, 4);
  TCustomBackend* kept = bmp->ReleaseBackend();
  bmp->Canvas();
  bmp.reset();
  EXPECT_EQ(kept->Owner(), nullptr);
  // Under a memory checker a call into the freed bitmap would show here.
  auto* canvas = BackendInterface<ICanvasSupport>(kept);
  canvas->GetCanvas()->FillRect({0, 0, 1, 1});
  BackendInterface<IFontSupport>(kept)->GetFont()->SetSize(30);
  kept->Release();
}

TEST(DeviceContexts, BitmapContextsCopyPixelsPainterContextsIgnoreAlpha) {
  auto src = New<TBitmap32>();
  src->SetSize(2, 1);
  src->SetPixel(0, 0, 0x40FF0000u);
  src->SetPixel(1, 0, 0x800000FFu);

  // Into a toolkit bitmap's context: stretched by nearest, alpha kept.
  TBitmap dst;
  dst.SetSize(4, 2);
  src->DrawTo(dst.Canvas().Handle(), TRect{0, 0, 4, 2}, src->BoundsRect());
  EXPECT_EQ(dst.ScanLine(1)[1], 0x40FF0000u);
  EXPECT_EQ(dst.ScanLine(0)[2], 0x800000FFu);

  // Into a painter's context: the alpha byte does not count.
  QImage window(2, 1, QImage::Format_ARGB32);
  window.fill(Qt::black);
  {
    QPainter painter(&window);
    TDeviceContext dc(&painter);
    src->DrawTo(&dc, 0, 0);
  }
  EXPECT_EQ(window.pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(window.pixel(1, 0), 0xFF0000FFu);

  // From a context into the bitmap.
  auto back = New<TBitmap32>();
  back->SetSize(2, 1);
  back->Draw(TRect{0, 0, 2, 1}, TRect{0, 0, 2, 1}, dst.Canvas().Handle());
  EXPECT_EQ(back->GetPixel(0, 0), 0x40FF0000u);
}

TEST(DeviceContexts, ACanvasWithASolidBrushFillsBehindItsText) {
  TBitmap tb;
  tb.SetSize(60, 20);
  TCanvas& canvas = tb.Canvas();
  canvas.Font().SetName(kTestFace);
  canvas.Brush().Color = clRed;
  const TSize cell = canvas.TextExtent("-");
  canvas.TextOut(0, 0, "-");
  EXPECT_EQ(tb.ScanLine(0)[0], 0x00FF0000u) << "the cell's corner shows the brush";
  EXPECT_EQ(tb.ScanLine(0)[cell.cx], 0u) << "nothing beyond the cell";
  canvas.Brush().Style = bsClear;
  canvas.TextOut(30, 0, "-");
  EXPECT_EQ(tb.ScanLine(0)[30], 0u) << "a clear brush leaves the background";
}

TEST(DeviceContexts, TileToCoversTheDestinationAcrossTiles) {
  auto src = New<TBitmap32>();
  src->SetSize(2, 1);
  src->SetPixel(0, 0, 0xFFFF0000u);
  src->SetPixel(1, 0, 0xFF0000FFu);
  TBitmap dst;
  dst.SetSize(2100, 3);
  src->TileTo(dst.Canvas().Handle(), TRect{0, 0, 2100, 3}, src->BoundsRect());
  for (int x : {0, 1023, 1024, 1049}) EXPECT_EQ(dst.ScanLine(2)[x], 0xFFFF0000u) << x;
  for (int x : {1050, 2047, 2048, 2099}) EXPECT_EQ(dst.ScanLine(2)[x], 0xFF0000FFu) << x;
}

TEST(Interop, TheTransparentColourBecomesAlphaZero) {
  TBitmap tb;
  QImage image(3, 1, QImage::Format_RGB32);
  image.setPixel(0, 0, qRgb(255, 0, 255));
  image.setPixel(1, 0, qRgb(1, 2, 3));
  image.setPixel(2, 0, qRgb(255, 0, 255));
  tb.SetImage(image);
  tb.SetTransparent(true);
  tb.SetTransparentColor(0xFF00FF);
  auto bmp = New<TBitmap32>();
  bmp->Assign(&tb);
  EXPECT_EQ(bmp->GetPixel(0, 0), 0x00FF00FFu);
  EXPECT_EQ(bmp->GetPixel(1, 0), 0xFF010203u);
  EXPECT_EQ(bmp->GetPixel(2, 0), 0x00FF00FFu);

  tb.SetTransparent(false);
  bmp->Assign(&tb);
  EXPECT_EQ(bmp->GetPixel(0, 0), 0xFFFF00FFu) << "not 32-bit: opaque";
}

TEST(Interop, ThirtyTwoBitPixelsTravelByteForByte) {
  auto bmp = New<TBitmap32>();
  bmp->SetSize(3, 1);
  bmp->SetPixel(0, 0, 0x80102030u);
  bmp->SetPixel(1, 0, 0x01FFFFFFu);
  bmp->SetPixel(2, 0, 0x00ABCDEFu);
  TPicture picture;
  picture.Assign(bmp.get());
  ASSERT_NE(dynamic_cast<TBitmap*>(picture.Graphic()), nullptr);
  EXPECT_EQ(picture.Bitmap().PixelFormat(), pf32bit);
  EXPECT_EQ(picture.Bitmap().ScanLine(0)[0], 0x80102030u);
  auto back = New<TBitmap32>();
  back->Assign(&picture);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(back->GetPixel(x, 0), bmp->GetPixel(x, 0)) << x;

  Clipboard()->Assign(&picture.Bitmap());
  auto pasted = New<TBitmap32>();
  pasted->Assign(Clipboard());
  EXPECT_EQ(pasted->GetPixel(0, 0), 0x80102030u);
}

TEST(Interop, MetafilesAndIconsWithoutAlphaAreMasked) {
  TMetafile meta;
  meta.SetSize(20, 10);
  meta.Record([](QPainter& p) { p.fillRect(QRect(0, 0, 10, 10), QColor(0, 128, 0)); });
  auto bmp = New<TBitmap32>();
  bmp->Assign(&meta);
  ASSERT_EQ(bmp->Width(), 20);
  EXPECT_EQ(bmp->GetPixel(5, 5), 0xFF008000u) << "drawn: opaque";
  EXPECT_EQ(bmp->GetPixel(15, 5), 0x00FFFFFFu) << "background: alpha 0, colour kept";

  QImage noAlpha(2, 1, QImage::Format_ARGB32);
  noAlpha.fill(0x00336699u);
  TIcon icon;
  icon.SetImage(noAlpha);
  bmp->Assign(&icon);
  EXPECT_EQ(bmp->GetPixel(0, 0), 0xFF336699u) << "an icon without alpha is masked";

  QImage withAlpha(2, 1, QImage::Format_ARGB32);
  withAlpha.setPixel(0, 0, 0x80336699u);
  withAlpha.setPixel(1, 0, 0x00000000u);
  icon.SetImage(withAlpha);
  bmp->Assign(&icon);
  EXPECT_EQ(bmp->GetPixel(0, 0), 0x80336699u);
  EXPECT_EQ(bmp->GetPixel(1, 0), 0x00000000u);
}

TEST(Interop, AMemoryBitmapCannotTakeAGraphic) {
  TBitmap tb;
  tb.SetSize(2, 2);
  auto memory = New<TCustomBitmap32>();
  memory->SetSize(1, 1);
  try {
    memory->Assign(&tb);
    ADD_FAILURE() << "assigned";
  } catch (const EBitmapException& e) {
    EXPECT_STREQ(e.what(), "Inpropriate Backend");
  }
  EXPECT_NE(dynamic_cast<TMemoryBackend*>(memory->Backend()), nullptr) << "its backend is restored";
}

TEST(Interop, UnknownPictureFormatsNameTheFile) {
  TPicture picture;
  try {
    picture.LoadFromFile("/nowhere/picture.tga");
    ADD_FAILURE() << "loaded";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("/nowhere/picture.tga"), std::string::npos) << e.what();
  }
  RegisterFileFormat("TGA", "Targa", [] { return std::unique_ptr<TToolkitGraphic>(New<TBitmap>()); });
  EXPECT_THROW(picture.LoadFromFile("/nowhere/picture.tga"), EFOpenError) << "now a known format";
  UnregisterFileFormat("tga");
}

// --- sampler bases ---------------------------------------------------------------------------

class FixedOnlySampler : public TCustomSampler {
 public:
  std::vector<std::pair<TFixed, TFixed>> Asked;
  TColor32 GetSampleFixed(TFixed X, TFixed Y) override {
    Asked.emplace_back(X, Y);
    return 0xFF000000u;
  }
};

class FloatOnlySampler : public TCustomSampler {
 public:
  std::vector<std::pair<float, float>> Asked;
  TColor32 GetSampleFloat(float X, float Y) override {
    Asked.emplace_back(X, Y);
    return 0;
  }
};

class BoundsResampler : public TCustomResampler {
 public:
  using TCustomResampler::TCustomResampler;
  void Resample(TCustomBitmap32*, TRect, TRect, TCustomBitmap32*, TRect, TDrawMode, const TPixelCombineEvent&) override {}
};

TEST(Samplers, TheBaseFormsCallEachOther) {
  FixedOnlySampler fixed;
  fixed.GetSampleInt(1, 2);
  fixed.GetSampleFloat(0.5f, -1.25f);
  ASSERT_EQ(fixed.Asked.size(), 2u);
  EXPECT_EQ(fixed.Asked[0], (std::pair<TFixed, TFixed>{65536, 131072}));
  EXPECT_EQ(fixed.Asked[1], (std::pair<TFixed, TFixed>{32768, -81920}));
  FloatOnlySampler floats;
  floats.GetSampleInt(3, 4);
  ASSERT_EQ(floats.Asked.size(), 1u);
  EXPECT_EQ(floats.Asked[0], (std::pair<float, float>{3.0f, 4.0f}));
  EXPECT_FALSE(fixed.HasBounds());
}

TEST(Samplers, ResamplerBoundsFollowTheAccessMode) {
  auto bmp = New<TBitmap32>();
  bmp->SetSize(10, 8);
  bmp->SetClipRect({1, 2, 9, 7});
  auto* r = NewResampler<BoundsResampler>(*bmp);
  EXPECT_EQ(bmp->Resampler(), r);
  EXPECT_EQ(r->PixelAccessMode(), pamSafe);
  EXPECT_TRUE(r->HasBounds());
  EXPECT_EQ(r->GetSampleBounds(), (TFloatRect{1, 2, 9, 7}));
  int changes = 0;
  bmp->OnChange = [&](TObject*) { ++changes; };
  r->SetPixelAccessMode(pamTransparentEdge);
  EXPECT_EQ(changes, 1) << "a resampler change repaints its bitmap";
  EXPECT_EQ(r->GetSampleBounds(), (TFloatRect{0, 1, 10, 8}));
  r->SetPixelAccessMode(pamWrap);
  EXPECT_FALSE(r->HasBounds());
  auto other = New<BoundsResampler>();
  other->Assign(r);
  EXPECT_EQ(other->PixelAccessMode(), pamWrap);
}

}  // namespace
}  // namespace velkor::test
