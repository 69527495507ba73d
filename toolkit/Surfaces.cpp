#include "toolkit/Surfaces.h"

#include <QFontMetrics>
#include <QGuiApplication>

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

namespace velkor {

namespace {

constexpr int kDefaultPixelSize = 12;
// Surfaces are limited to what a Qt image can address.
constexpr std::size_t kMaxSurfaceBytes = std::size_t(std::numeric_limits<std::int32_t>::max());

QString ToQString(std::string_view Text) { return QString::fromUtf8(Text.data(), qsizetype(Text.size())); }

// $00BBGGRR (system colours resolved) as a Qt colour.
QColor ColorRefToQColor(std::uint32_t C) { return QColor(int(C & 0xFF), int((C >> 8) & 0xFF), int((C >> 16) & 0xFF)); }

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

}  // namespace

bool HaveGuiApplication() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

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

void FillSolidRect(HDC DC, const TRect& Rect, std::uint32_t ColorRef) {
  if (!DC) return;
  if (QPainter* p = DC->Painter()) {
    p->fillRect(ToQRect(Rect), ColorRefToQColor(ColorRef));
  } else if (TDIBSection* s = DC->Bitmap()) {
    FillSurface(*s, ToQRect(Rect), ColorRef);
  }
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

}  // namespace velkor
