#include "toolkit/CanvasGraphics.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <istream>
#include <iterator>
#include <ostream>

#include "toolkit/Colors.h"

namespace velkor {

std::uint32_t ColorToRGB(TColor C) {
  std::uint32_t c = static_cast<std::uint32_t>(C);
  if (C < 0) c = GetSysColor(int(c & 0xFF));
  return c & 0x00FFFFFFu;
}

namespace {

QByteArray ReadRest(std::istream& Stream) {
  std::string bytes((std::istreambuf_iterator<char>(Stream)), std::istreambuf_iterator<char>());
  return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

void WriteBytes(std::ostream& Stream, const QByteArray& Bytes) {
  Stream.write(Bytes.constData(), std::streamsize(Bytes.size()));
}

QImage ReadImage(const QByteArray& Bytes, const char* Format = nullptr) {
  QBuffer buffer;
  buffer.setData(Bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, Format);
  // The reader refuses images larger than its allocation limit, so a file
  // that lies about its size cannot make it allocate gigabytes.
  return reader.read();
}

}  // namespace

// --- canvas ---------------------------------------------------------------------

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() = default;

const TClassInfo& TCanvas::StaticClass() {
  static const TClassInfo info{"TCanvas", &TPersistent::StaticClass(), [] { return New<TCanvas>(); }, {}};
  return info;
}

void TCanvas::SetHandle(HDC Value) {
  if (Value == FHandle) return;
  Changing();
  FHandle = Value;
  Changed();
}

void TCanvas::Lock() {
  FLock.lock();
  ++FLockCount;
}

void TCanvas::Unlock() {
  --FLockCount;
  FLock.unlock();
}

bool TCanvas::TryLock() {
  if (!FLock.try_lock()) return false;
  ++FLockCount;
  return true;
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

void TCanvas::SelectFontIntoHandle() {
  if (!FHandle) return;
  FHandle->SelectFont(FFont.Handle());
  FHandle->SetTextColor(ColorToRGB(FFont.Color()));
  FHandle->SetBkMode(FBrush.Style == bsClear ? TRANSPARENT : OPAQUE);
  FHandle->SetBkColor(ColorToRGB(FBrush.Color));
}

void TCanvas::TextOut(int X, int Y, std::string_view Text) {
  if (!FHandle) return;
  Changing();
  SelectFontIntoHandle();
  ExtTextOutW(FHandle, X, Y, 0, nullptr, Text);
  Changed();
}

void TCanvas::TextRect(const TRect& Rect, int X, int Y, std::string_view Text) {
  if (!FHandle) return;
  Changing();
  SelectFontIntoHandle();
  ExtTextOutW(FHandle, X, Y, ETO_CLIPPED, &Rect, Text);
  Changed();
}

TSize TCanvas::TextExtent(std::string_view Text) {
  TSize size;
  if (!FHandle) return size;
  SelectFontIntoHandle();
  GetTextExtentPoint32W(FHandle, Text, size);
  return size;
}

void TCanvas::FillRect(const TRect& Rect) {
  if (!FHandle || FBrush.Style == bsClear) return;
  Changing();
  FillSolidRect(FHandle, Rect, ColorToRGB(FBrush.Color));
  Changed();
}

void TCanvas::Draw(int X, int Y, const TToolkitGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  StretchDraw({X, Y, X + Graphic->Width(), Y + Graphic->Height()}, Graphic);
}

void TCanvas::StretchDraw(const TRect& Rect, const TToolkitGraphic* Graphic) {
  if (!Graphic || !FHandle) return;
  Changing();
  Graphic->Draw(*this, Rect);
  Changed();
}

// --- graphics ---------------------------------------------------------------------

const TClassInfo& TToolkitGraphic::StaticClass() {
  static const TClassInfo info{"TToolkitGraphic", &TGraphic::StaticClass(), {}, {}};
  return info;
}

void TToolkitGraphic::LoadFromFile(const std::string& FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw EFOpenError("Cannot open file \"" + FileName + "\". " + std::strerror(errno));
  try {
    LoadFromStream(in);
  } catch (const EInvalidGraphic& e) {
    throw EInvalidGraphic(std::string(e.what()) + ": \"" + FileName + "\"");
  }
}

void TToolkitGraphic::SaveToFile(const std::string& FileName) const {
  std::ofstream out(FileName, std::ios::binary | std::ios::trunc);
  if (!out) throw EFOpenError("Cannot create file \"" + FileName + "\". " + std::strerror(errno));
  SaveToStream(out);
  out.flush();
  if (!out) throw EFOpenError("Cannot write file \"" + FileName + "\"");
}

void TToolkitGraphic::LoadFromClipboardFormat(std::uint32_t, const std::string&) {
  throw EInvalidGraphic("Unsupported clipboard format");
}

void TToolkitGraphic::SaveToClipboardFormat(std::uint32_t&, std::string&) const {
  throw EInvalidGraphic("Unsupported clipboard format");
}

void TToolkitGraphic::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  Changed();
}

void TToolkitGraphic::Changed() {
  if (OnChange) OnChange(this);
}

// TBitmap

TBitmap::TBitmap() : FDC(CreateCompatibleDC(nullptr)) {}

TBitmap::~TBitmap() {
  FCanvas.reset();
  DeleteDC(FDC);
  DeleteObject(FSection);
}

const TClassInfo& TBitmap::StaticClass() {
  static const TClassInfo info{"TBitmap", &TToolkitGraphic::StaticClass(), [] { return New<TBitmap>(); }, {}};
  return info;
}

void TBitmap::Assign(const TPersistent* Source) {
  if (auto* src = dynamic_cast<const TBitmap*>(Source)) {
    if (src == this) return;
    SetSize(src->Width(), src->Height());
    if (FSection) std::memcpy(FSection->Bits, src->FSection->Bits, std::size_t(Width()) * Height() * 4);
    FPixelFormat = src->FPixelFormat;
    FHandleType = src->FHandleType;
    FAlphaFormat = src->FAlphaFormat;
    FTransparent = src->FTransparent;
    FTransparentColor = src->FTransparentColor;
    Changed();
    return;
  }
  if (auto* icon = dynamic_cast<const TIcon*>(Source)) {
    SetImage(icon->Image());
    return;
  }
  if (!Source) {
    SetSize(0, 0);
    return;
  }
  TToolkitGraphic::Assign(Source);
}

void TBitmap::SetSize(int NewWidth, int NewHeight) {
  NewWidth = std::max(NewWidth, 0);
  NewHeight = std::max(NewHeight, 0);
  if (NewWidth == Width() && NewHeight == Height()) return;
  HBITMAP section = nullptr;
  if (NewWidth > 0 && NewHeight > 0) {
    section = CreateDIBSection(NewWidth, NewHeight);
    if (!section) {
      throw EInvalidGraphic("Out of system resources: a " + std::to_string(NewWidth) + " x " +
                            std::to_string(NewHeight) + " bitmap");
    }
  }
  FDC->SelectBitmap(section);
  DeleteObject(FSection);
  FSection = section;
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == FPixelFormat) return;
  FPixelFormat = Value;
  Changed();
}

void TBitmap::SetAlphaFormat(TAlphaFormat Value) {
  if (Value == FAlphaFormat) return;
  FAlphaFormat = Value;
  Changed();
}

TColor TBitmap::TransparentColor() const {
  if (FTransparentColor != clDefault) return FTransparentColor;
  if (!FSection) return clBlack;
  const TColor32 px = FSection->Bits[std::ptrdiff_t(Height() - 1) * Width()];
  return TColor(((px & 0xFF) << 16) | (px & 0xFF00) | ((px >> 16) & 0xFF));
}

void TBitmap::SetTransparentColor(TColor Value) {
  if (Value == FTransparentColor) return;
  FTransparentColor = Value;
  Changed();
}

TCanvas& TBitmap::Canvas() {
  if (!FCanvas) {
    FCanvas = std::make_unique<TCanvas>();
    FCanvas->SetHandle(FDC);
  }
  return *FCanvas;
}

QImage TBitmap::ToImage() const {
  if (!FSection) return {};
  const QImage view(reinterpret_cast<const uchar*>(FSection->Bits), Width(), Height(), Width() * 4,
                    FPixelFormat != pf32bit              ? QImage::Format_RGB32
                    : FAlphaFormat == afPremultiplied ? QImage::Format_ARGB32_Premultiplied
                                                      : QImage::Format_ARGB32);
  return view.copy();
}

void TBitmap::SetImage(const QImage& Image) {
  const QImage argb = Image.convertToFormat(QImage::Format_ARGB32);
  SetSize(argb.width(), argb.height());
  for (int y = 0; y < Height(); ++y) std::memcpy(ScanLine(y), argb.constScanLine(y), std::size_t(Width()) * 4);
  FPixelFormat = Image.hasAlphaChannel() ? pf32bit : pf24bit;
  FAlphaFormat = afDefined;  // stored straight, whatever the image held
  Changed();
}

void TBitmap::Draw(TCanvas& ACanvas, const TRect& Rect) const {
  if (!FSection) return;
  // All pixels, the transparent colour too: whoever asked for transparency
  // applies it to the copy.
  StretchBlt(ACanvas.Handle(), Rect.Left, Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top, FDC, 0, 0,
             Width(), Height(), SRCCOPY);
}

void TBitmap::LoadFromStream(std::istream& Stream) {
  const QImage image = ReadImage(ReadRest(Stream));
  if (image.isNull()) throw EInvalidGraphic("Bitmap image is not valid");
  SetImage(image);
}

void TBitmap::SaveToStream(std::ostream& Stream) const {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  ToImage().save(&buffer, "BMP");
  WriteBytes(Stream, bytes);
}

void TBitmap::LoadFromResourceName(const std::string& ResName) {
  const std::string path = ResName.starts_with(":") ? ResName : ":/" + ResName;
  QImageReader reader(QString::fromStdString(path));
  const QImage image = reader.read();
  if (image.isNull()) throw EInvalidGraphic("Resource " + ResName + " not found or not an image");
  SetImage(image);
}

// TPngImage

const TClassInfo& TPngImage::StaticClass() {
  static const TClassInfo info{"TPngImage", &TBitmap::StaticClass(), [] { return New<TPngImage>(); }, {}};
  return info;
}

void TPngImage::SaveToStream(std::ostream& Stream) const {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  ToImage().save(&buffer, "PNG");
  WriteBytes(Stream, bytes);
}

// TIcon

const TClassInfo& TIcon::StaticClass() {
  static const TClassInfo info{"TIcon", &TToolkitGraphic::StaticClass(), [] { return New<TIcon>(); }, {}};
  return info;
}

void TIcon::Assign(const TPersistent* Source) {
  if (auto* src = dynamic_cast<const TIcon*>(Source)) {
    SetImage(src->FImage);
    return;
  }
  if (!Source) {
    SetImage({});
    return;
  }
  TToolkitGraphic::Assign(Source);
}

void TIcon::SetImage(const QImage& Image) {
  FImage = Image.isNull() ? QImage() : Image.convertToFormat(QImage::Format_ARGB32);
  Changed();
}

void TIcon::Draw(TCanvas& ACanvas, const TRect& Rect) const { DrawImageTo(ACanvas.Handle(), Rect, FImage, true); }

void TIcon::LoadFromStream(std::istream& Stream) {
  const QImage image = ReadImage(ReadRest(Stream), "ICO");
  if (image.isNull()) throw EInvalidGraphic("Icon image is not valid");
  SetImage(image);
}

void TIcon::SaveToStream(std::ostream& Stream) const {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!FImage.save(&buffer, "ICO")) throw EInvalidGraphic("Icon image cannot be written");
  WriteBytes(Stream, bytes);
}

// TMetafile

const TClassInfo& TMetafile::StaticClass() {
  static const TClassInfo info{"TMetafile", &TToolkitGraphic::StaticClass(), [] { return New<TMetafile>(); }, {}};
  return info;
}

void TMetafile::Assign(const TPersistent* Source) {
  if (auto* src = dynamic_cast<const TMetafile*>(Source)) {
    FWidth = src->FWidth;
    FHeight = src->FHeight;
    FPaint = src->FPaint;
    Changed();
    return;
  }
  TToolkitGraphic::Assign(Source);
}

void TMetafile::SetSize(int NewWidth, int NewHeight) {
  FWidth = std::max(NewWidth, 0);
  FHeight = std::max(NewHeight, 0);
  Changed();
}

void TMetafile::Record(const std::function<void(QPainter&)>& Paint) {
  FPaint = Paint;
  Changed();
}

void TMetafile::Draw(TCanvas& ACanvas, const TRect& Rect) const {
  HDC dc = ACanvas.Handle();
  if (!dc || !FPaint || Empty()) return;
  auto play = [&](QPainter& p) {
    p.translate(Rect.Left, Rect.Top);
    p.scale(double(Rect.Right - Rect.Left) / FWidth, double(Rect.Bottom - Rect.Top) / FHeight);
    FPaint(p);
  };
  if (QPainter* p = dc->Painter()) {
    p->save();
    play(*p);
    p->restore();
    return;
  }
  QImage surface = dc->SurfaceImage();
  if (surface.isNull()) return;
  QPainter p(&surface);
  play(p);
}

void TMetafile::LoadFromStream(std::istream&) {
  throw EInvalidGraphic("Metafiles cannot be read on this platform");
}

void TMetafile::SaveToStream(std::ostream&) const {
  throw EInvalidGraphic("Metafiles cannot be written on this platform");
}

}  // namespace velkor
