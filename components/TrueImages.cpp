#include "components/TrueImages.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <fstream>
#include <sstream>

#include "components/LowLevel.h"
#include "graphics/Raster_Blend.h"
#include "graphics/Raster_Resamplers.h"

namespace velkor {

TPremultiplyTable PremulTable;
TPremultiplyTable UnpremulTable;

namespace {

using LowLevel::MoveLongwords;
using LowLevel::MulDivRounded;
using Raster_Resamplers::TKernelResampler;
using Raster_Resamplers::TransferBlock;
using Raster_Resamplers::TransferStretched;
using Raster_Resamplers::TSinshKernel;

// By TResamplingMode ordinal.
constexpr const char* kKernelNames[] = {
    "TBoxKernel",     "TLinearKernel",  "TCosineKernel",   "TSplineKernel",   "TMitchellKernel",
    "TCubicKernel",   "THermiteKernel", "TLanczosKernel",  "TGaussianKernel", "TBlackmanKernel",
    "THannKernel",    "THammingKernel", "TSinshKernel",
};

// Loads that fell back to a picture, on this thread. A picture picks the
// class by extension, so a broken "*.argb" would come back here through it
// and fall back again, until the stack overflows; nested loads re-raise
// their first error instead.
thread_local int tIndirectLoads = 0;

// Sets the bitmap's master alpha for one paint and restores it afterwards,
// both without a notification.
struct TSilentMasterAlpha {
  TBitmap32& Bitmap;
  int& Silent;
  std::uint32_t Saved;
  TSilentMasterAlpha(TBitmap32& B, int& S, std::uint32_t Value) : Bitmap(B), Silent(S), Saved(B.MasterAlpha()) {
    ++Silent;
    Bitmap.SetMasterAlpha(Value);
    --Silent;
  }
  ~TSilentMasterAlpha() {
    ++Silent;
    Bitmap.SetMasterAlpha(Saved);
    --Silent;
  }
};

// Premultiplies straight pixels by their alpha scaled by MasterAlpha,
// through the tables (Qt's own premultiply rounds differently).
QImage PremultipliedImage(const TCustomBitmap32& B, std::uint32_t MasterAlpha) {
  QImage image(B.Width(), B.Height(), QImage::Format_ARGB32_Premultiplied);
  const auto& ma = PremulTable[std::min<std::uint32_t>(MasterAlpha, 255)];
  for (int y = 0; y < B.Height(); ++y) {
    const TColor32* s = B.ScanLine(y);
    auto* d = reinterpret_cast<TColor32*>(image.scanLine(y));
    for (int x = 0; x < B.Width(); ++x) {
      const TTrueColor c(s[x]);
      const std::uint8_t a = ma[c.a()];
      const auto& row = PremulTable[a];
      d[x] = TTrueColor::FromBGRA(row[c.b()], row[c.g()], row[c.r()], a);
    }
  }
  return image;
}

std::string NamedError(const std::exception& e, const std::string& FileName) {
  return std::string(e.what()) + ": \"" + FileName + "\"";
}

}  // namespace

const char* KernelClassNameOf(TResamplingMode Mode) {
  return Mode <= rmSinsh ? kKernelNames[Mode] : "TLinearKernel";
}

void InitPremultiplyTables() {
  for (int a = 0; a < 256; ++a) {
    for (int v = 0; v < 256; ++v) {
      PremulTable[a][v] = std::uint8_t(MulDivRounded(v, a, 255));
      UnpremulTable[a][v] = a == 0 ? 0 : std::uint8_t(std::min(MulDivRounded(v, 255, a), 255));
    }
  }
}

// --- construction ----------------------------------------------------------------

TTrueImage::TTrueImage() : FBmp32(New<TBitmap32>()) {
  FBmp32->SetDrawMode(dmBlend);
  FBmp32->SetCombineMode(cmBlend);
  FBmp32->SetResamplerClassName("TKernelResampler");
  FResampleMode = rmBox;  // anything else, so the default takes effect
  SetResampleMode(rmLinear);
  FBmp32->OnChange = [this](TObject*) { BitmapChanged(); };
  FLockChange = 0;
}

TTrueImage::~TTrueImage() { FBmp32->OnChange = nullptr; }

std::unique_ptr<TTrueImage> TTrueImage::CreateFrom(const TPersistent* Source) {
  auto image = New<TTrueImage>();
  image->Assign(Source);
  return image;
}

std::unique_ptr<TTrueImage> TTrueImage::CreateFromFile(const std::string& FileName) {
  auto image = New<TTrueImage>();
  image->LoadFromFileIndirect(FileName);
  return image;
}

std::unique_ptr<TTrueImage> TTrueImage::CreateSize(int W, int H) {
  auto image = New<TTrueImage>();
  image->SetSize(W, H);
  return image;
}

const TClassInfo& TTrueImage::StaticClass() {
  static const TClassInfo info{"TTrueImage", &TToolkitGraphic::StaticClass(), [] { return New<TTrueImage>(); }, {}};
  return info;
}

// --- notification --------------------------------------------------------------------

void TTrueImage::BitmapChanged() {
  if (FSilent == 0) Changed();
}

void TTrueImage::Changed() {
  if (FLockChange == 0) TToolkitGraphic::Changed();
}

void TTrueImage::BeginUpdate() { ++FLockChange; }

void TTrueImage::EndUpdate() {
  if (FLockChange > 0 && --FLockChange == 0) Changed();
}

// --- size and properties -------------------------------------------------------------

bool TTrueImage::Empty() const { return Width() == 0 || Height() == 0 || FBmp32->Empty(); }
int TTrueImage::Width() const { return FBmp32->Width(); }
int TTrueImage::Height() const { return FBmp32->Height(); }
void TTrueImage::SetWidth(int Value) { FBmp32->SetSize(Value, Height()); }
void TTrueImage::SetHeight(int Value) { FBmp32->SetSize(Width(), Value); }
void TTrueImage::SetSize(int W, int H) {
  SetWidth(W);
  SetHeight(H);
}

PTrueColor TTrueImage::ScanLine(int Line) const { return reinterpret_cast<PTrueColor>(FBmp32->ScanLine(Line)); }
PTrueColor TTrueImage::PixelPtr(int X, int Y) const { return reinterpret_cast<PTrueColor>(FBmp32->PixelPtr(X, Y)); }
PTrueColor TTrueImage::Bits() const { return reinterpret_cast<PTrueColor>(FBmp32->Bits()); }
int TTrueImage::nPixels() const { return Width() * Height(); }
std::uint8_t TTrueImage::MasterAlpha() const { return std::uint8_t(FBmp32->MasterAlpha()); }
void TTrueImage::SetMasterAlpha(std::uint8_t Value) { FBmp32->SetMasterAlpha(Value); }

void TTrueImage::SetResampleMode(TResamplingMode Value) {
  if (Value == FResampleMode) return;
  FResampleMode = Value;
  auto* resampler = dynamic_cast<TKernelResampler*>(FBmp32->Resampler());
  if (!resampler) return;
  resampler->SetKernelClassName(KernelClassNameOf(Value));
  if (Value == rmSinsh) {
    if (auto* kernel = dynamic_cast<TSinshKernel*>(resampler->Kernel())) kernel->SetCoeff(0.0001f);
  }
}

void TTrueImage::CopyPropertiesFrom(const TTrueImage& Source) {
  SetMasterAlpha(Source.MasterAlpha());
  SetResampleMode(Source.ResampleMode());
  Changed();
}

void TTrueImage::CopyPropertiesTo(TTrueImage& Dest) const { Dest.CopyPropertiesFrom(*this); }

// --- conversions -------------------------------------------------------------------------

void TTrueImage::Assign(const TPersistent* Source) {
  if (Source == this) return;
  BeginUpdate();
  struct TEnd {
    TTrueImage* Self;
    ~TEnd() { Self->EndUpdate(); }
  } end{this};
  if (!Source) {
    SetSize(0, 0);
    return;
  }
  SetMasterAlpha(255);
  if (auto* bitmap = dynamic_cast<const TCustomBitmap32*>(Source)) return AssignBitmap32(*bitmap);
  if (auto* graphic = dynamic_cast<const TToolkitGraphic*>(Source)) return AssignGraphic(*graphic);
  if (auto* picture = dynamic_cast<const TPicture*>(Source)) return AssignPicture(*picture);
  if (auto* clipboard = dynamic_cast<const TClipboard*>(Source)) {
    if (clipboard->HasFormat(CF_ARGB)) LoadFromClipboardFormat(CF_ARGB, clipboard->GetAsFormat(CF_ARGB));
  }
}

void TTrueImage::AssignBitmap32(const TCustomBitmap32& B) {
  SetSize(B.Width(), B.Height());
  MoveLongwords(B.Bits(), FBmp32->Bits(), nPixels());
  SetMasterAlpha(std::uint8_t(std::min<std::uint32_t>(B.MasterAlpha(), 255)));
  FBmp32->Changed();
}

void TTrueImage::AssignGraphic(const TToolkitGraphic& G) {
  if (auto* image = dynamic_cast<const TTrueImage*>(&G)) return AssignTrueImage(*image);
  if (auto* png = dynamic_cast<const TPngImage*>(&G)) {
    if (png->ColorType() == TPngImage::COLOR_RGBALPHA) return AssignPngImage(png->ToImage());
  }
  if (auto* bitmap = dynamic_cast<const TBitmap*>(&G)) {
    if (bitmap->HandleType() == bmDIB && bitmap->PixelFormat() == pf32bit) return AssignDIB32(bitmap->ToImage());
  }
  auto converted = New<TBitmap32>();
  converted->Assign(&G);
  AssignBitmap32(*converted);
}

void TTrueImage::AssignTrueImage(const TTrueImage& T) {
  SetSize(T.Width(), T.Height());
  MoveLongwords(T.FBmp32->Bits(), FBmp32->Bits(), nPixels());
  FBmp32->Changed();
  CopyPropertiesFrom(T);
}

void TTrueImage::AssignPngImage(const QImage& P) {
  const QImage argb = P.convertToFormat(QImage::Format_ARGB32);
  BeginUpdate();
  SetSize(argb.width(), argb.height());
  for (int y = 0; y < Height(); ++y) {
    const auto* s = reinterpret_cast<const TColor32*>(argb.constScanLine(y));
    TColor32* d = FBmp32->ScanLine(y);
    for (int x = 0; x < Width(); ++x) d[x] = (s[x] >> 24) == 0 ? 0 : s[x];
  }
  FBmp32->Changed();
  EndUpdate();
}

void TTrueImage::AssignDIB32(const QImage& B) {
  const QImage::Format format = B.format();
  const QImage source = format == QImage::Format_ARGB32 || format == QImage::Format_ARGB32_Premultiplied
                            ? B
                            : B.convertToFormat(QImage::Format_RGB32);
  BeginUpdate();
  SetSize(source.width(), source.height());
  for (int y = 0; y < Height(); ++y) {
    const auto* s = reinterpret_cast<const TColor32*>(source.constScanLine(y));
    TColor32* d = FBmp32->ScanLine(y);
    if (format == QImage::Format_ARGB32) {
      MoveLongwords(s, d, Width());
    } else if (format == QImage::Format_ARGB32_Premultiplied) {
      for (int x = 0; x < Width(); ++x) {
        const TTrueColor c(s[x]);
        const auto& row = UnpremulTable[c.a()];
        d[x] = TTrueColor::FromBGRA(row[c.b()], row[c.g()], row[c.r()], c.a());
      }
    } else {
      for (int x = 0; x < Width(); ++x) d[x] = s[x] | 0xFF000000u;
    }
  }
  FBmp32->Changed();
  EndUpdate();
}

void TTrueImage::AssignPicture(const TPicture& P) {
  if (!P.Graphic()) return SetSize(0, 0);
  AssignGraphic(*P.Graphic());
}

void TTrueImage::AssignFromHBitmap(const QImage& Bitmap, TRect R, bool PremulAlpha) {
  // The raw 32-bit words, as a DIB section copy would hold them.
  const QImage::Format format = Bitmap.format();
  const QImage source = format == QImage::Format_ARGB32 || format == QImage::Format_ARGB32_Premultiplied ||
                                format == QImage::Format_RGB32
                            ? Bitmap
                            : Bitmap.convertToFormat(QImage::Format_ARGB32);
  TRect clipped;
  if (!IntersectRects(clipped, R, TRect{0, 0, source.width(), source.height()})) clipped = {};
  BeginUpdate();
  if (IsRectEmpty32(clipped)) {
    SetSize(0, 0);
  } else {
    SetSize(clipped.Right - clipped.Left, clipped.Bottom - clipped.Top);
    for (int y = 0; y < Height(); ++y) {
      const auto* s = reinterpret_cast<const TColor32*>(source.constScanLine(clipped.Top + y)) + clipped.Left;
      TColor32* d = FBmp32->ScanLine(y);
      if (!PremulAlpha) {
        MoveLongwords(s, d, Width());
        continue;
      }
      for (int x = 0; x < Width(); ++x) {
        const TTrueColor c(s[x]);
        const auto& row = UnpremulTable[c.a()];
        d[x] = TTrueColor::FromBGRA(row[c.b()], row[c.g()], row[c.r()], c.a());
      }
    }
    FBmp32->Changed();
  }
  EndUpdate();
}

// --- drawing ---------------------------------------------------------------------------------

void TTrueImage::Draw(TCanvas& ACanvas, const TRect& Rect) const {
  PaintTo(ACanvas.Handle(), Rect, FBmp32->BoundsRect(), 255, false);
}

void TTrueImage::DrawTransparent(TCanvas& ACanvas, const TRect& Rect, std::uint8_t Opacity) const {
  PaintTo(ACanvas.Handle(), Rect, FBmp32->BoundsRect(), Opacity, false);
}

void TTrueImage::PaintTo(HDC DC, const TRect& DestRect, const TRect& SourceRect, std::uint8_t Opacity,
                         bool Opaque) const {
  const int w = DestRect.Right - DestRect.Left, h = DestRect.Bottom - DestRect.Top;
  const int sw = SourceRect.Right - SourceRect.Left, sh = SourceRect.Bottom - SourceRect.Top;
  if (!DC || w <= 0 || h <= 0 || sw <= 0 || sh <= 0 || Empty()) return;
  const bool sameSize = w == sw && h == sh;
  QPainter* painter = DC->Painter();

  if (Opaque && sameSize && !painter) {
    FBmp32->DrawTo(DC, DestRect, SourceRect);
    return;
  }
  if (!Opaque && sameSize && !painter && DC->Bitmap() && FBmp32->DrawMode() == dmBlend) {
    BlendIntoSurface(*DC->Bitmap(), DestRect, SourceRect, Opacity);
    return;
  }

  auto scratch = New<TBitmap32>();
  scratch->SetSize(w, h);
  const TRect all = scratch->BoundsRect();
  const std::uint32_t alpha = std::uint32_t(MulDivRounded(int(FBmp32->MasterAlpha()), Opacity, 255));
  // A painter cannot be read back: its picture is the image alone, copied
  // opaque and blended by the painter afterwards.
  const TDrawMode mode = Opaque || painter ? dmOpaque : FBmp32->DrawMode();
  {
    TSilentMasterAlpha local(*FBmp32, FSilent, alpha);
    if (mode != dmOpaque) scratch->Draw(all, DestRect, DC);
    if (sameSize)
      TransferBlock(scratch.get(), 0, 0, all, FBmp32.get(), SourceRect, mode);
    else
      TransferStretched(scratch.get(), all, all, FBmp32.get(), SourceRect, FBmp32->Resampler(), mode);
  }
  if (!painter) {
    scratch->DrawTo(DC, DestRect.Left, DestRect.Top);
    return;
  }
  painter->save();
  painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (Opaque) {
    // As a copy to the screen: the alpha bytes mean nothing.
    const QImage view(reinterpret_cast<const uchar*>(scratch->Bits()), w, h, w * 4, QImage::Format_RGB32);
    painter->drawImage(QPoint(DestRect.Left, DestRect.Top), view);
  } else {
    painter->drawImage(QPoint(DestRect.Left, DestRect.Top), PremultipliedImage(*scratch, alpha));
  }
  painter->restore();
}

// The same-size blend onto a memory context, straight into its surface:
// what copying the area out, blending onto the copy and copying it back
// gives, in one pass.
void TTrueImage::BlendIntoSurface(TDIBSection& Surface, const TRect& DestRect, const TRect& SourceRect,
                                  std::uint8_t Opacity) const {
  const int alpha = MulDivRounded(int(FBmp32->MasterAlpha()), Opacity, 255);
  if (alpha <= 0) return;
  const int dx = DestRect.Left - SourceRect.Left, dy = DestRect.Top - SourceRect.Top;
  TRect src;
  if (!IntersectRects(src, SourceRect, FBmp32->BoundsRect())) return;
  TRect dst{src.Left + dx, src.Top + dy, src.Right + dx, src.Bottom + dy};
  if (!IntersectRects(dst, dst, DestRect) || !IntersectRects(dst, dst, TRect{0, 0, Surface.Width, Surface.Height}))
    return;
  if (IsRectEmpty32(dst)) return;
  const int count = dst.Right - dst.Left;
  const TCombineMode mode = FBmp32->CombineMode();
  for (int y = dst.Top; y < dst.Bottom; ++y) {
    const TColor32* s = FBmp32->PixelPtr(dst.Left - dx, y - dy);
    TColor32* d = Surface.Bits + std::ptrdiff_t(y) * Surface.Width + dst.Left;
    if (alpha >= 255)
      (*Raster_Blend::BlendRowByMode[mode])(s, d, count);
    else
      (*Raster_Blend::BlendRowMaskedByMode[mode])(s, d, count, alpha);
  }
  Raster_Blend::ClearMMXState();
}

bool TTrueImage::Equals(const TToolkitGraphic* Graphic) const {
  auto* other = dynamic_cast<const TTrueImage*>(Graphic);
  if (!other || other->Width() != Width() || other->Height() != Height()) return false;
  if (nPixels() == 0) return true;
  return std::memcmp(FBmp32->Bits(), other->FBmp32->Bits(), std::size_t(nPixels()) * 4) == 0;
}

// --- exports -------------------------------------------------------------------------------------

void TTrueImage::ExportBitmap(TBitmap& Dest) const {
  Dest.SetHandleType(bmDIB);
  Dest.SetPixelFormat(pf32bit);
  Dest.SetAlphaFormat(afDefined);
  Dest.SetSize(Width(), Height());
  for (int y = 0; y < Height(); ++y) MoveLongwords(FBmp32->ScanLine(y), Dest.ScanLine(y), Width());
}

std::unique_ptr<TBitmap> TTrueImage::ExportBitmap() const {
  auto bitmap = New<TBitmap>();
  ExportBitmap(*bitmap);
  return bitmap;
}

std::unique_ptr<TBitmap> TTrueImage::ExportBitmapPremul() const {
  auto bitmap = New<TBitmap>();
  bitmap->SetHandleType(bmDIB);
  bitmap->SetPixelFormat(pf32bit);
  bitmap->SetAlphaFormat(afPremultiplied);
  bitmap->SetSize(Width(), Height());
  const QImage premul = PremultipliedImage(*FBmp32, FBmp32->MasterAlpha());
  for (int y = 0; y < Height(); ++y)
    MoveLongwords(reinterpret_cast<const TColor32*>(premul.constScanLine(y)), bitmap->ScanLine(y), Width());
  return bitmap;
}

QImage TTrueImage::ExportPNG() const {
  QImage image(Width(), Height(), QImage::Format_ARGB32);
  for (int y = 0; y < Height(); ++y)
    MoveLongwords(FBmp32->ScanLine(y), reinterpret_cast<TColor32*>(image.scanLine(y)), Width());
  return image;
}

std::unique_ptr<TTrueImage> TTrueImage::Extract(const TRect& R) const {
  auto image = New<TTrueImage>();
  ExtractTo(*image, R);
  return image;
}

void TTrueImage::ExtractTo(TTrueImage& Dest, const TRect& R) const {
  Dest.SetSize(R.Right - R.Left, R.Bottom - R.Top);
  CopyPropertiesTo(Dest);
  if (Dest.Empty()) return;
  TransferBlock(Dest.FBmp32.get(), 0, 0, Dest.FBmp32->BoundsRect(), FBmp32.get(), R, dmOpaque);
}

// --- pixel operations -------------------------------------------------------------------------------

void TTrueImage::Clear(TTrueColor cl) {
  if (nPixels() > 0) LowLevel::FillLongword(FBmp32->Bits(), std::uint32_t(nPixels()), cl.Value);
  FBmp32->Changed();
}

void TTrueImage::ChangeIntensity(const TIntensityMap& Map) {
  TColor32* p = FBmp32->Bits();
  for (int i = 0, n = nPixels(); i < n; ++i) {
    const TTrueColor c(p[i]);
    p[i] = TTrueColor::FromBGRA(Map[c.b()], Map[c.g()], Map[c.r()], c.a());
  }
  FBmp32->Changed();
}

void TTrueImage::GammaBrightnessContrast(float Gamma, float Brightness, float Contrast) {
  TIntensityMap map;
  for (int i = 0; i < 256; ++i) {
    float v = (std::pow(float(i) / 255.0f, Gamma) - 0.5f) * Contrast + 0.5f + Brightness;
    if (std::isnan(v)) v = 0;
    v = std::clamp(v, 0.0f, 1.0f) * 255.0f;
    map[i] = std::uint8_t(std::nearbyint(v));  // the default rounding: half to even
  }
  ChangeIntensity(map);
}

// --- streams, files and the clipboard ------------------------------------------------------------------

void TTrueImage::SaveToStream(std::ostream& Stream) const {
  WriteArgbImage(Stream, Width(), Height(), FBmp32->MasterAlpha(), FResampleMode, FBmp32->Bits());
}

void TTrueImage::LoadFromStream(std::istream& Stream) {
  const TArgbImage image = ReadArgbImage(Stream);
  BeginUpdate();
  struct TEnd {
    TTrueImage* Self;
    ~TEnd() { Self->EndUpdate(); }
  } end{this};
  SetSize(image.Width, image.Height);
  MoveLongwords(image.Pixels.get(), FBmp32->Bits(), nPixels());
  FBmp32->Changed();
  SetMasterAlpha(image.MasterAlpha);
  SetResampleMode(TResamplingMode(image.Mode));
}

void TTrueImage::LoadFromFile(const std::string& FileName) {
  std::exception_ptr first;
  try {
    std::ifstream in(FileName, std::ios::binary);
    if (!in) throw EFOpenError("Cannot open file \"" + FileName + "\". " + std::strerror(errno));
    try {
      LoadFromStream(in);
    } catch (const EInvalidImage& e) {
      throw EInvalidImage(NamedError(e, FileName));
    }
    return;
  } catch (...) {
    first = std::current_exception();
  }
  if (tIndirectLoads > 0) std::rethrow_exception(first);
  ++tIndirectLoads;
  struct TLeave {
    ~TLeave() { --tIndirectLoads; }
  } leave;
  LoadFromFileIndirect(FileName);
}

void TTrueImage::LoadFromFileIndirect(const std::string& FileName) {
  TPicture picture;
  picture.LoadFromFile(FileName);
  Assign(&picture);
}

void TTrueImage::LoadFromClipboardFormat(std::uint32_t AFormat, const std::string& AData) {
  if (AFormat != CF_ARGB) throw EInvalidGraphic("Invalid format");
  std::istringstream in(AData);
  LoadFromStream(in);
}

void TTrueImage::SaveToClipboardFormat(std::uint32_t& AFormat, std::string& AData) const {
  std::ostringstream out;
  SaveToStream(out);
  AFormat = CF_ARGB;
  AData = std::move(out).str();
}

void TTrueImage::CopyToClipboard() const {
  std::uint32_t format = 0;
  std::string data;
  SaveToClipboardFormat(format, data);
  Clipboard()->SetAsFormat(format, data);
}

// --- start-up ------------------------------------------------------------------------------------------

void TrueImagesStartup() {
  InitPremultiplyTables();
  const TGraphicFactory factory = [] { return std::unique_ptr<TToolkitGraphic>(New<TTrueImage>()); };
  RegisterFileFormat("argb", "ARGB True Image", factory);
  RegisterClipboardFormat(CF_ARGB, factory);
}

void TrueImagesShutdown() {
  UnregisterClipboardFormat(CF_ARGB);
  UnregisterFileFormat("argb");
}

}  // namespace velkor
