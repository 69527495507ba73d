#include "toolkit/ToolkitGraphics.h"

#include <QBuffer>
#include <QByteArray>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeData>

#include <emmintrin.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <istream>
#include <iterator>
#include <limits>
#include <ostream>

namespace velkor {

namespace {

// The em size in pixels of a logical font of height 0.
constexpr int kDefaultPixelSize = 12;
// Surfaces are limited to what a Qt image can address.
constexpr std::size_t kMaxSurfaceBytes = std::size_t(std::numeric_limits<std::int32_t>::max());

bool HaveGuiApplication() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

QString ToQString(std::string_view Text) { return QString::fromUtf8(Text.data(), qsizetype(Text.size())); }

// $00BBGGRR (system colours resolved) as a Qt colour.
QColor ColorRefToQColor(std::uint32_t C) { return QColor(int(C & 0xFF), int((C >> 8) & 0xFF), int((C >> 16) & 0xFF)); }

std::uint32_t ColorToRGB(TColor C) {
  std::uint32_t c = static_cast<std::uint32_t>(C);
  if (C < 0) c = GetSysColor(int(c & 0xFF));
  return c & 0x00FFFFFFu;
}

QFont ToQFont(const TLogFont& lf) {
  QFont f;
  if (!lf.FaceName.empty()) f.setFamily(QString::fromStdString(lf.FaceName));
  if (lf.Height < 0) {
    f.setPixelSize(-lf.Height);
  } else if (lf.Height == 0) {
    f.setPixelSize(kDefaultPixelSize);
  } else {
    // A positive height is the whole cell: scale the em so that ascent plus
    // descent come to it.
    f.setPixelSize(lf.Height);
    const int cell = QFontMetrics(f).height();
    if (cell > 0 && cell != lf.Height) {
      f.setPixelSize(std::max(1, int(std::lround(double(lf.Height) * lf.Height / cell))));
    }
  }
  if (lf.Weight > 0) f.setWeight(QFont::Weight(std::clamp(lf.Weight, 1, 1000)));
  f.setItalic(lf.Italic);
  f.setUnderline(lf.Underline);
  f.setStrikeOut(lf.StrikeOut);
  if ((lf.PitchAndFamily & 3) == FIXED_PITCH) f.setFixedPitch(true);
  f.setStyleStrategy(lf.Quality == NONANTIALIASED_QUALITY
                         ? QFont::NoAntialias
                         : QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
  // The platform's text output places glyphs at their own advances.
  f.setKerning(false);
  return f;
}

QRect ToQRect(const TRect& R) { return QRect(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top); }

// A pixel moved toward Full by coverage C (0..255): each colour channel
// becomes (pixel x (255 - C) + colour x C) / 255, rounded; alpha becomes 0
// unless C is 0, which leaves the pixel as it was.
inline TColor32 MixOne(TColor32 Px, std::uint32_t C, TColor32 Full) {
  if (!C) return Px;
  std::uint32_t rb = (Px & 0x00FF00FFu) * (255 - C) + (Full & 0x00FF00FFu) * C + 0x00800080u;
  rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
  std::uint32_t g = (Px & 0x0000FF00u) * (255 - C) + (Full & 0x0000FF00u) * C + 0x00008000u;
  g = ((g + ((g >> 8) & 0x0000FF00u)) >> 8) & 0x0000FF00u;
  return rb | g;
}

// MixOne for four pixels, in 16-bit lanes; the coverage is the green byte
// of each mask pixel. Four empty mask pixels leave the pixels untouched.
inline void MixFour(TColor32* D, const QRgb* M, TColor32 Full) {
  const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(M));
  const __m128i g = _mm_and_si128(_mm_srli_epi32(m, 8), _mm_set1_epi32(0xFF));
  const __m128i empty = _mm_cmpeq_epi32(g, _mm_setzero_si128());
  if (_mm_movemask_epi8(empty) == 0xFFFF) return;
  const __m128i c = _mm_or_si128(g, _mm_or_si128(_mm_slli_epi32(g, 8), _mm_slli_epi32(g, 16)));
  const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(D));
  const __m128i zero = _mm_setzero_si128(), k255 = _mm_set1_epi16(255), k128 = _mm_set1_epi16(128);
  const __m128i f = _mm_unpacklo_epi8(_mm_set1_epi32(int(Full)), zero);
  auto mix = [&](__m128i p16, __m128i c16) {
    __m128i t = _mm_add_epi16(_mm_mullo_epi16(p16, _mm_sub_epi16(k255, c16)), _mm_mullo_epi16(f, c16));
    t = _mm_add_epi16(t, k128);
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
  };
  const __m128i lo = mix(_mm_unpacklo_epi8(px, zero), _mm_unpacklo_epi8(c, zero));
  const __m128i hi = mix(_mm_unpackhi_epi8(px, zero), _mm_unpackhi_epi8(c, zero));
  const __m128i rgb = _mm_and_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(0x00FFFFFF));
  // Untouched pixels keep their alpha (their colour came back unchanged).
  const __m128i alpha = _mm_and_si128(_mm_and_si128(px, empty), _mm_set1_epi32(int(0xFF000000u)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(D), _mm_or_si128(rgb, alpha));
}

// Runs Paint into a coverage mask over Area of the context's surface (Area
// lies inside it) and mixes the mask in: each touched pixel moves toward
// Color by its coverage and gets alpha 0. The mask is white drawn on black
// in an RGB32 image (Qt's fastest text path); with grey anti-aliasing every
// channel holds the coverage.
void MixCoverage(TDIBSection& Surface, const QRect& Area, std::uint32_t ColorRef,
                 const std::function<void(QPainter&)>& Paint) {
  const int w = Area.width(), h = Area.height();
  // One mask per thread, grown as needed: text is drawn often and small.
  thread_local QImage mask;
  if (mask.width() < w || mask.height() < h) {
    mask = QImage(std::max(w, mask.width()), std::max(h, mask.height()), QImage::Format_RGB32);
  }
  // Zero bytes: black, and only the colour channels are read back.
  for (int y = 0; y < h; ++y) std::memset(mask.scanLine(y), 0, std::size_t(w) * 4);
  {
    QPainter p(&mask);
    p.setClipRect(0, 0, w, h);
    p.translate(-Area.left(), -Area.top());
    p.setPen(QColor(255, 255, 255));
    Paint(p);
  }
  const TColor32 full = ((ColorRef & 0xFF) << 16) | (ColorRef & 0xFF00) | ((ColorRef >> 16) & 0xFF);
  for (int y = 0; y < h; ++y) {
    const auto* m = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
    TColor32* d = Surface.Bits + std::ptrdiff_t(Area.top() + y) * Surface.Width + Area.left();
    int x = 0;
    for (; x + 4 <= w; x += 4) MixFour(d + x, m + x, full);
    for (; x < w; ++x) d[x] = MixOne(d[x], (m[x] >> 8) & 0xFF, full);
  }
}

QRect SurfaceRect(const TDIBSection& S) { return QRect(0, 0, S.Width, S.Height); }

// A read-only view of 32-bit pixels: Stride in pixels, negative for
// bottom-up storage.
struct TPixelView {
  const TColor32* Bits = nullptr;
  int Width = 0, Height = 0;
  std::ptrdiff_t Stride = 0;
  const TColor32* Row(int Y) const { return Bits + Y * Stride; }
};

TPixelView ViewOf(const TDIBSection& S) { return {S.Bits, S.Width, S.Height, S.Width}; }

// The source position of destination offset I when N destination pixels
// show SrcN source pixels: the pixel under the destination pixel's centre.
inline int MapNearest(int I, int N, int SrcN) {
  return int((2 * std::int64_t(I) + 1) * SrcN / (2 * std::int64_t(N)));
}

void StretchIntoSurface(TDIBSection& Dst, const QRect& DstRect, const TPixelView& Src, const QRect& SrcRect) {
  const QRect area = DstRect.intersected(SurfaceRect(Dst));
  if (area.isEmpty()) return;
  const int W = DstRect.width(), H = DstRect.height(), SW = SrcRect.width(), SH = SrcRect.height();
  // The source may be the destination itself: read from a copy then.
  std::vector<TColor32> copy;
  TPixelView src = Src;
  if (Src.Bits == Dst.Bits) {
    copy.assign(Dst.Bits, Dst.Bits + std::size_t(Dst.Width) * Dst.Height);
    src.Bits = copy.data();
  }
  for (int y = area.top(); y <= area.bottom(); ++y) {
    const int sy = SrcRect.top() + MapNearest(y - DstRect.top(), H, SH);
    if (sy < 0 || sy >= src.Height) continue;
    const TColor32* srow = src.Row(sy);
    TColor32* drow = Dst.Bits + std::ptrdiff_t(y) * Dst.Width;
    if (W == SW) {
      const int shift = SrcRect.left() - DstRect.left();
      int x0 = std::max(area.left(), -shift), x1 = std::min(area.right(), src.Width - 1 - shift);
      if (x0 <= x1) std::memcpy(drow + x0, srow + x0 + shift, std::size_t(x1 - x0 + 1) * 4);
      continue;
    }
    for (int x = area.left(); x <= area.right(); ++x) {
      const int sx = SrcRect.left() + MapNearest(x - DstRect.left(), W, SW);
      if (sx >= 0 && sx < src.Width) drow[x] = srow[sx];
    }
  }
}

// A copy of the source rectangle as an image, alpha ignored or kept.
QImage ImageOfView(const TPixelView& Src, const QRect& SrcRect, bool KeepAlpha) {
  const QRect r = SrcRect.intersected(QRect(0, 0, Src.Width, Src.Height));
  QImage img(std::max(r.width(), 0), std::max(r.height(), 0), KeepAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  for (int y = 0; y < img.height(); ++y) {
    auto* out = reinterpret_cast<TColor32*>(img.scanLine(y));
    std::memcpy(out, Src.Row(r.top() + y) + r.left(), std::size_t(img.width()) * 4);
    // An RGB32 image must hold $FF in its alpha bytes.
    if (!KeepAlpha) {
      for (int x = 0; x < img.width(); ++x) out[x] |= 0xFF000000u;
    }
  }
  return img;
}

bool StretchView(HDC Dst, const QRect& DstRect, const TPixelView& Src, const QRect& SrcRect) {
  if (!Dst || !Src.Bits || DstRect.width() <= 0 || DstRect.height() <= 0 || SrcRect.width() <= 0 ||
      SrcRect.height() <= 0) {
    return false;
  }
  if (QPainter* p = Dst->Painter()) {
    // A window ignores the alpha byte; draw only the part of the source
    // that exists, at its mapped place.
    const QRect avail = SrcRect.intersected(QRect(0, 0, Src.Width, Src.Height));
    if (avail.isEmpty()) return true;
    const double sx = double(DstRect.width()) / SrcRect.width(), sy = double(DstRect.height()) / SrcRect.height();
    const QRectF target(DstRect.left() + (avail.left() - SrcRect.left()) * sx,
                        DstRect.top() + (avail.top() - SrcRect.top()) * sy, avail.width() * sx, avail.height() * sy);
    p->save();
    p->setRenderHint(QPainter::SmoothPixmapTransform, false);
    p->setCompositionMode(QPainter::CompositionMode_Source);
    p->drawImage(target, ImageOfView(Src, avail, false));
    p->restore();
    return true;
  }
  if (!Dst->Bitmap()) return false;
  StretchIntoSurface(*Dst->Bitmap(), DstRect, Src, SrcRect);
  return true;
}

// The rectangle text drawn at (X, Y) may touch: its cell and its ink.
// Rect of the surface in a colour ($00BBGGRR) with alpha 0, as the
// platform fills.
void FillSurface(TDIBSection& Surface, const QRect& Rect, std::uint32_t ColorRef) {
  const QRect area = Rect.intersected(SurfaceRect(Surface));
  const TColor32 px = ((ColorRef & 0xFF) << 16) | (ColorRef & 0xFF00) | ((ColorRef >> 16) & 0xFF);
  for (int y = area.top(); y <= area.bottom(); ++y) {
    std::fill_n(Surface.Bits + std::ptrdiff_t(y) * Surface.Width + area.left(), area.width(), px);
  }
}

// The rectangle text of that advance drawn at (X, Y) may touch: its cell,
// grown for overhangs (italics, accents above the ascent) and the
// anti-aliased fringe.
QRect TextBounds(const QFontMetrics& fm, int Advance, int X, int Y) {
  const int mx = fm.height() / 3 + 2, my = fm.height() / 6 + 2;
  return QRect(X - mx, Y - my, Advance + 2 * mx, fm.height() + 2 * my);
}

// Qt's layout flags for the platform's DrawText format.
int ToQtTextFlags(std::uint32_t Format) {
  int flags = 0;
  if (Format & DT_RIGHT) flags |= Qt::AlignRight;
  else if (Format & DT_CENTER) flags |= Qt::AlignHCenter;
  else flags |= Qt::AlignLeft;
  // Vertical placement applies to a single line only, as on the platform.
  if ((Format & DT_SINGLELINE) && (Format & DT_BOTTOM)) flags |= Qt::AlignBottom;
  else if ((Format & DT_SINGLELINE) && (Format & DT_VCENTER)) flags |= Qt::AlignVCenter;
  else flags |= Qt::AlignTop;
  if (Format & DT_SINGLELINE) flags |= Qt::TextSingleLine;
  else if (Format & DT_WORDBREAK) flags |= Qt::TextWordWrap;
  if (Format & DT_EXPANDTABS) flags |= Qt::TextExpandTabs;
  if (!(Format & DT_NOPREFIX)) flags |= Qt::TextShowMnemonic;
  return flags;
}

// The text with its lines shortened by an ellipsis to fit Width, where
// lines are not wrapped.
QString ElideLines(const QFontMetrics& fm, const QString& s, int Width, int Flags) {
  QStringList lines = (Flags & Qt::TextSingleLine) ? QStringList{QString(s).replace(QLatin1Char('\n'), QLatin1Char(' '))}
                                                   : s.split(QLatin1Char('\n'));
  for (QString& line : lines) {
    line = fm.elidedText(line, Qt::ElideRight, std::max(Width, 0), Flags & Qt::TextShowMnemonic);
  }
  return lines.join(QLatin1Char('\n'));
}

HFONT& StockFont() {
  static HFONT font;
  return font;
}

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string ExtensionOf(const std::string& FileName) {
  const auto slash = FileName.find_last_of('/');
  const auto dot = FileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return LowerAscii(FileName.substr(dot + 1));
}

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

// One registered file format.
struct TFileFormat {
  std::string Extension;
  std::string Description;
  TGraphicFactory Factory;
};
std::vector<TFileFormat>& FileFormats() {
  static std::vector<TFileFormat> formats;
  return formats;
}

std::vector<std::pair<std::uint32_t, TGraphicFactory>>& ClipboardFormats() {
  static std::vector<std::pair<std::uint32_t, TGraphicFactory>> formats;
  return formats;
}

QString MimeOfFormat(std::uint32_t Format) {
  return QStringLiteral("application/x-velkor-clipboard-%1").arg(Format);
}

}  // namespace

// --- surfaces and device contexts ----------------------------------------------

TDIBSection::~TDIBSection() { std::free(Bits); }

HBITMAP CreateDIBSection(int Width, int Height) {
  if (Width <= 0 || Height <= 0) return nullptr;
  const std::size_t pixels = std::size_t(Width) * std::size_t(Height);
  if (pixels > kMaxSurfaceBytes / 4) return nullptr;
  const std::size_t bytes = (pixels * 4 + 63) / 64 * 64;
  void* bits = std::aligned_alloc(64, bytes);
  if (!bits) return nullptr;
  std::memset(bits, 0, bytes);
  auto* section = new TDIBSection;
  section->Width = Width;
  section->Height = Height;
  section->Bits = static_cast<TColor32*>(bits);
  return section;
}

BITMAPINFO MakeBitmapInfo(int Width, int Height) {
  BITMAPINFO info;
  info.bmiHeader.biWidth = Width;
  info.bmiHeader.biHeight = -Height;
  info.bmiHeader.biSizeImage = std::uint32_t(std::size_t(Width) * std::size_t(Height) * 4);
  return info;
}

TDeviceContext::TDeviceContext() = default;
TDeviceContext::TDeviceContext(QPainter* Painter) : FPainter(Painter) {}
TDeviceContext::~TDeviceContext() = default;

HBITMAP TDeviceContext::SelectBitmap(HBITMAP Value) { return std::exchange(FBitmap, Value); }

HFONT TDeviceContext::SelectFont(HFONT Value) { return std::exchange(FFont, std::move(Value)); }

std::uint32_t TDeviceContext::SetTextColor(std::uint32_t Value) { return std::exchange(FTextColor, Value); }

int TDeviceContext::SetBkMode(int Value) { return std::exchange(FBkMode, Value); }

std::uint32_t TDeviceContext::SetBkColor(std::uint32_t Value) { return std::exchange(FBkColor, Value); }

const QFont* TDeviceContext::ResolvedFont() {
  if (!HaveGuiApplication()) return nullptr;
  const HFONT font = FFont ? FFont : GetStockSystemFont();
  if (FResolvedFrom != font || !FQFont) {
    FQFont = ToQFont(*font);
    FMetrics.emplace(*FQFont);
    FResolvedFrom = font;
  }
  return &*FQFont;
}

const QFontMetrics* TDeviceContext::Metrics() { return ResolvedFont() ? &*FMetrics : nullptr; }

int TDeviceContext::TextAdvance(std::string_view Text) {
  if (!ResolvedFont()) return 0;
  if (FAdvanceFont != FResolvedFrom || FAdvanceText != Text) {
    FAdvance = FMetrics->horizontalAdvance(ToQString(Text));
    FAdvanceFont = FResolvedFrom;
    FAdvanceText.assign(Text);
  }
  return FAdvance;
}

QImage TDeviceContext::SurfaceImage() const {
  if (!FBitmap) return {};
  return QImage(reinterpret_cast<uchar*>(FBitmap->Bits), FBitmap->Width, FBitmap->Height, FBitmap->Width * 4,
                QImage::Format_ARGB32);
}

HDC CreateCompatibleDC(HDC) { return new TDeviceContext; }

bool DeleteDC(HDC DC) {
  if (!DC) return false;
  delete DC;
  return true;
}

bool DeleteObject(HBITMAP Bitmap) {
  if (!Bitmap) return false;
  delete Bitmap;
  return true;
}

HFONT GetStockSystemFont() {
  HFONT& font = StockFont();
  if (!font) font = TFont().Handle();
  return font;
}

void SetStockSystemFont(HFONT Font) { StockFont() = std::move(Font); }

bool GetTextExtentPoint32W(HDC DC, std::string_view Text, TSize& Size) {
  Size = {};
  const QFontMetrics* fm = DC ? DC->Metrics() : nullptr;
  if (!fm) return false;
  Size.cx = DC->TextAdvance(Text);
  Size.cy = fm->height();
  return true;
}

bool GetTextMetricsW(HDC DC, TTextMetric& Metric) {
  Metric = {};
  const QFontMetrics* fm = DC ? DC->Metrics() : nullptr;
  if (!fm) return false;
  Metric.tmHeight = fm->height();
  Metric.tmAscent = fm->ascent();
  Metric.tmDescent = fm->descent();
  Metric.tmAveCharWidth = fm->averageCharWidth();
  Metric.tmMaxCharWidth = fm->maxWidth();
  Metric.tmExternalLeading = fm->leading();
  return true;
}

bool ExtTextOutW(HDC DC, int X, int Y, std::uint32_t Options, const TRect* Rect, std::string_view Text) {
  if (!DC) return false;
  const QFont* font = DC->ResolvedFont();
  if (!font) return false;
  const QFontMetrics& fm = *DC->Metrics();
  const QString s = ToQString(Text);
  const bool clipped = (Options & ETO_CLIPPED) && Rect;
  const int ascent = fm.ascent();
  const int escapement = DC->Font() ? DC->Font()->Escapement : 0;
  auto paint = [&](QPainter& p) {
    p.setFont(*font);
    if (escapement != 0) {
      // Rotated about the cell's top-left corner, counter-clockwise.
      p.translate(X, Y);
      p.rotate(-escapement / 10.0);
      p.drawText(QPoint(0, ascent), s);
    } else {
      p.drawText(QPoint(X, Y + ascent), s);
    }
  };
  // The background behind the text, if any.
  QRect background;
  if ((Options & ETO_OPAQUE) && Rect) {
    background = ToQRect(*Rect);
  } else if (DC->BkMode() == OPAQUE && escapement == 0) {
    background = QRect(X, Y, DC->TextAdvance(Text), fm.height());
  }
  if (clipped) background = background.intersected(ToQRect(*Rect));
  if (QPainter* p = DC->Painter()) {
    p->save();
    if (!background.isEmpty()) p->fillRect(background, ColorRefToQColor(DC->BkColor()));
    p->setPen(ColorRefToQColor(DC->TextColor()));
    if (clipped) p->setClipRect(ToQRect(*Rect), Qt::IntersectClip);
    paint(*p);
    p->restore();
    return true;
  }
  TDIBSection* surface = DC->Bitmap();
  if (!surface) return false;
  if (!background.isEmpty()) FillSurface(*surface, background, DC->BkColor());
  QRect area = SurfaceRect(*surface);
  if (clipped) area = area.intersected(ToQRect(*Rect));
  if (escapement == 0) area = area.intersected(TextBounds(fm, DC->TextAdvance(Text), X, Y));
  if (area.isEmpty()) return true;
  MixCoverage(*surface, area, DC->TextColor(), paint);
  return true;
}

int DrawTextW(HDC DC, std::string_view Text, TRect& Rect, std::uint32_t Format) {
  if (!DC) return 0;
  const QFont* font = DC->ResolvedFont();
  if (!font) return 0;
  const QFontMetrics& fm = *DC->Metrics();
  const int flags = ToQtTextFlags(Format);
  QString s = ToQString(Text);
  const QRect rect = ToQRect(Rect);
  if ((Format & DT_END_ELLIPSIS) && !(flags & Qt::TextWordWrap)) s = ElideLines(fm, s, rect.width(), flags);

  // The text's own extent, placed at the rectangle's top-left corner; a
  // wrapped text breaks at the rectangle's width.
  const int layoutWidth = (flags & Qt::TextWordWrap) ? std::max(rect.width(), 1) : 0x3FFFFFFF;
  const int measureFlags = (flags & ~(Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask)) | Qt::AlignLeft | Qt::AlignTop;
  QRect extent = fm.boundingRect(QRect(rect.left(), rect.top(), layoutWidth, 0x3FFFFFFF), measureFlags, s);
  if (s.isEmpty()) extent = QRect(rect.left(), rect.top(), 0, (Format & DT_SINGLELINE) ? fm.height() : 0);
  // The platform's text is as high as its lines times the font's cell
  // height; Qt's rectangle also holds leading and rounding.
  const int lines = extent.height() > 0 ? std::max(1, int(std::lround(double(extent.height()) / fm.lineSpacing()))) : 0;
  const int height = lines * fm.height();
  if (Format & DT_CALCRECT) {
    Rect.Right = Rect.Left + extent.width();
    Rect.Bottom = Rect.Top + height;
    return height;
  }
  const bool clip = !(Format & DT_NOCLIP);
  auto paint = [&](QPainter& p) {
    p.setFont(*font);
    p.drawText(rect, flags | (clip ? 0 : int(Qt::TextDontClip)), s);
  };
  if (QPainter* p = DC->Painter()) {
    p->save();
    p->setPen(ColorRefToQColor(DC->TextColor()));
    if (clip) p->setClipRect(rect, Qt::IntersectClip);
    paint(*p);
    p->restore();
    return height;
  }
  TDIBSection* surface = DC->Bitmap();
  if (!surface) return height;
  QRect area = SurfaceRect(*surface);
  if (clip) {
    area = area.intersected(rect);
  } else {
    // Where the unclipped text may reach: its extent, aligned as drawn.
    QRect drawn = fm.boundingRect(rect, flags | Qt::TextDontClip, s).adjusted(-2, -2, 2, 2);
    area = area.intersected(drawn.united(extent.adjusted(-2, -2, 2, 2)));
  }
  if (!area.isEmpty()) MixCoverage(*surface, area, DC->TextColor(), paint);
  return height;
}

bool StretchBlt(HDC Dst, int X, int Y, int W, int H, HDC Src, int SrcX, int SrcY, int SrcW, int SrcH,
                std::uint32_t) {
  if (!Src || !Src->Bitmap()) return false;
  return StretchView(Dst, QRect(X, Y, W, H), ViewOf(*Src->Bitmap()), QRect(SrcX, SrcY, SrcW, SrcH));
}

bool BitBlt(HDC Dst, int X, int Y, int W, int H, HDC Src, int SrcX, int SrcY, std::uint32_t Rop) {
  return StretchBlt(Dst, X, Y, W, H, Src, SrcX, SrcY, W, H, Rop);
}

int StretchDIBits(HDC Dst, int X, int Y, int W, int H, int SrcX, int SrcY, int SrcW, int SrcH,
                  const void* Bits, const BITMAPINFO& Info, std::uint32_t) {
  const BITMAPINFOHEADER& hdr = Info.bmiHeader;
  if (!Bits || hdr.biBitCount != 32 || hdr.biCompression != BI_RGB || hdr.biWidth <= 0 || hdr.biHeight == 0) return 0;
  TPixelView view;
  view.Width = hdr.biWidth;
  view.Height = hdr.biHeight < 0 ? -hdr.biHeight : hdr.biHeight;
  const auto* first = static_cast<const TColor32*>(Bits);
  if (hdr.biHeight < 0) {
    view.Bits = first;
    view.Stride = view.Width;
  } else {
    // Bottom-up: row 0 is the last one in memory.
    view.Bits = first + std::ptrdiff_t(view.Height - 1) * view.Width;
    view.Stride = -std::ptrdiff_t(view.Width);
  }
  if (!StretchView(Dst, QRect(X, Y, W, H), view, QRect(SrcX, SrcY, SrcW, SrcH))) return 0;
  return std::min(SrcH, view.Height);
}

void DrawImageTo(HDC DC, const TRect& DstRect, const QImage& Image, bool KeepAlpha) {
  if (!DC || Image.isNull()) return;
  const QRect dst = ToQRect(DstRect);
  if (QPainter* p = DC->Painter()) {
    p->save();
    p->setRenderHint(QPainter::SmoothPixmapTransform, false);
    QImage image = Image.convertToFormat(QImage::Format_ARGB32);
    if (!KeepAlpha) {
      image = ImageOfView({reinterpret_cast<const TColor32*>(image.constBits()), image.width(), image.height(),
                           std::ptrdiff_t(image.bytesPerLine() / 4)},
                          image.rect(), false);
    }
    p->drawImage(dst, image);
    p->restore();
    return;
  }
  if (!DC->Bitmap()) return;
  const QImage argb = Image.convertToFormat(QImage::Format_ARGB32);
  TPixelView view{reinterpret_cast<const TColor32*>(argb.constBits()), argb.width(), argb.height(),
                  std::ptrdiff_t(argb.bytesPerLine() / 4)};
  StretchIntoSurface(*DC->Bitmap(), dst, view, argb.rect());
}

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
  const std::uint32_t c = ColorToRGB(FBrush.Color);
  if (QPainter* p = FHandle->Painter()) {
    p->fillRect(ToQRect(Rect), ColorRefToQColor(c));
  } else if (TDIBSection* s = FHandle->Bitmap()) {
    FillSurface(*s, ToQRect(Rect), c);
  }
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

// --- pictures ---------------------------------------------------------------------

void RegisterFileFormat(const std::string& Extension, const std::string& Description, TGraphicFactory Factory) {
  const std::string ext = LowerAscii(Extension);
  auto& formats = FileFormats();
  for (TFileFormat& f : formats) {
    if (f.Extension == ext) {
      f.Description = Description;
      f.Factory = std::move(Factory);
      return;
    }
  }
  formats.push_back({ext, Description, std::move(Factory)});
}

void UnregisterFileFormat(const std::string& Extension) {
  const std::string ext = LowerAscii(Extension);
  std::erase_if(FileFormats(), [&](const TFileFormat& f) { return f.Extension == ext; });
}

std::vector<std::string> RegisteredFileFormats() {
  std::vector<std::string> result;
  for (const TFileFormat& f : FileFormats()) result.push_back(f.Extension);
  return result;
}

void RegisterClipboardFormat(std::uint32_t Format, TGraphicFactory Factory) {
  auto& formats = ClipboardFormats();
  for (auto& [format, factory] : formats) {
    if (format == Format) {
      factory = std::move(Factory);
      return;
    }
  }
  formats.emplace_back(Format, std::move(Factory));
}

void UnregisterClipboardFormat(std::uint32_t Format) {
  std::erase_if(ClipboardFormats(), [&](const auto& f) { return f.first == Format; });
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

const TClassInfo& TPicture::StaticClass() {
  static const TClassInfo info{"TPicture", &TPersistent::StaticClass(), [] { return New<TPicture>(); }, {}};
  return info;
}

void TPicture::Assign(const TPersistent* Source) {
  if (!Source) {
    SetGraphic(nullptr);
    return;
  }
  if (auto* src = dynamic_cast<const TPicture*>(Source)) {
    if (src == this) return;
    Assign(src->Graphic());
    return;
  }
  if (auto* graphic = dynamic_cast<const TToolkitGraphic*>(Source)) {
    std::unique_ptr<TPersistent> copy = graphic->ClassType().Create();
    auto* g = dynamic_cast<TToolkitGraphic*>(copy.get());
    if (!g) TPersistent::Assign(Source);
    g->Assign(graphic);
    copy.release();
    SetGraphic(std::unique_ptr<TToolkitGraphic>(g));
    return;
  }
  if (auto* clip = dynamic_cast<const TClipboard*>(Source)) {
    for (const auto& [format, factory] : ClipboardFormats()) {
      if (!clip->HasFormat(format)) continue;
      std::unique_ptr<TToolkitGraphic> graphic = factory();
      graphic->LoadFromClipboardFormat(format, clip->GetAsFormat(format));
      SetGraphic(std::move(graphic));
      return;
    }
    if (!clip->HasImage()) throw EInvalidGraphic("Unsupported clipboard format");
    auto bitmap = New<TBitmap>();
    bitmap->SetImage(clip->Image());
    SetGraphic(std::move(bitmap));
    return;
  }
  TPersistent::Assign(Source);
}

void TPicture::SetGraphic(std::unique_ptr<TToolkitGraphic> Value) {
  FGraphic = std::move(Value);
  if (OnChange) OnChange(this);
}

TBitmap& TPicture::Bitmap() {
  if (!dynamic_cast<TBitmap*>(FGraphic.get())) SetGraphic(New<TBitmap>());
  return static_cast<TBitmap&>(*FGraphic);
}

void TPicture::LoadFromFile(const std::string& FileName) {
  const std::string ext = ExtensionOf(FileName);
  for (const TFileFormat& f : FileFormats()) {
    if (f.Extension != ext) continue;
    std::unique_ptr<TToolkitGraphic> graphic = f.Factory();
    graphic->LoadFromFile(FileName);
    SetGraphic(std::move(graphic));
    return;
  }
  throw EInvalidGraphic("Unknown picture file extension (." + ext + "): \"" + FileName + "\"");
}

void TPicture::SaveToFile(const std::string& FileName) const {
  if (FGraphic) FGraphic->SaveToFile(FileName);
}

// --- clipboard ----------------------------------------------------------------------

const TClassInfo& TClipboard::StaticClass() {
  static const TClassInfo info{"TClipboard", &TPersistent::StaticClass(), {}, {}};
  return info;
}

void TClipboard::Assign(const TPersistent* Source) {
  if (auto* bitmap = dynamic_cast<const TBitmap*>(Source)) {
    SetImage(bitmap->ToImage());
    return;
  }
  const TToolkitGraphic* graphic = dynamic_cast<const TToolkitGraphic*>(Source);
  if (auto* picture = dynamic_cast<const TPicture*>(Source)) {
    if (auto* bitmap = dynamic_cast<const TBitmap*>(picture->Graphic())) return SetImage(bitmap->ToImage());
    if (auto* icon = dynamic_cast<const TIcon*>(picture->Graphic())) return SetImage(icon->Image());
    graphic = picture->Graphic();
  }
  // A graphic with a private clipboard format of its own; the others raise
  // the "cannot assign" below.
  if (graphic) {
    std::uint32_t format = 0;
    std::string data;
    try {
      graphic->SaveToClipboardFormat(format, data);
    } catch (const EInvalidGraphic&) {
      TPersistent::Assign(Source);
    }
    return SetAsFormat(format, data);
  }
  TPersistent::Assign(Source);
}

bool TClipboard::HasImage() const {
  const QMimeData* data = HaveGuiApplication() ? QGuiApplication::clipboard()->mimeData() : nullptr;
  return data && data->hasImage();
}

QImage TClipboard::Image() const {
  return HaveGuiApplication() ? QGuiApplication::clipboard()->image() : QImage();
}

void TClipboard::SetImage(const QImage& Image) {
  if (HaveGuiApplication()) QGuiApplication::clipboard()->setImage(Image);
}

bool TClipboard::HasFormat(std::uint32_t Format) const {
  const QMimeData* data = HaveGuiApplication() ? QGuiApplication::clipboard()->mimeData() : nullptr;
  return data && data->hasFormat(MimeOfFormat(Format));
}

std::string TClipboard::GetAsFormat(std::uint32_t Format) const {
  const QMimeData* data = HaveGuiApplication() ? QGuiApplication::clipboard()->mimeData() : nullptr;
  if (!data) return {};
  const QByteArray bytes = data->data(MimeOfFormat(Format));
  return std::string(bytes.constData(), std::size_t(bytes.size()));
}

void TClipboard::SetAsFormat(std::uint32_t Format, std::string_view Data) {
  if (!HaveGuiApplication()) return;
  auto* data = new QMimeData;
  data->setData(MimeOfFormat(Format), QByteArray(Data.data(), qsizetype(Data.size())));
  QGuiApplication::clipboard()->setMimeData(data);
}

TClipboard* Clipboard() {
  static TClipboard clipboard;
  return &clipboard;
}

void ToolkitGraphicsStartup() {
  auto bitmap = [] { return std::unique_ptr<TToolkitGraphic>(New<TBitmap>()); };
  RegisterFileFormat("bmp", "Bitmaps", bitmap);
  RegisterFileFormat("png", "Portable Network Graphics",
                     [] { return std::unique_ptr<TToolkitGraphic>(New<TPngImage>()); });
  RegisterFileFormat("jpg", "JPEG Image File", bitmap);
  RegisterFileFormat("jpeg", "JPEG Image File", bitmap);
  RegisterFileFormat("gif", "GIF Image", bitmap);
  RegisterFileFormat("ico", "Icons", [] { return std::unique_ptr<TToolkitGraphic>(New<TIcon>()); });
}

void ToolkitGraphicsShutdown() {
  FileFormats().clear();
  ClipboardFormats().clear();
  SetStockSystemFont(nullptr);
}

}  // namespace velkor
