#include "components/Panels.h"

#include <QFontInfo>

#include <algorithm>
#include <cmath>

#include "components/FaceRoutines.h"
#include "components/LowLevel.h"
#include "toolkit/VisualStyles.h"

namespace velkor {

namespace {

TRect Shrink(TRect R, std::int64_t By) {
  const int d = int(std::min<std::int64_t>(By, 1 << 30));
  return {R.Left + d, R.Top + d, R.Right - d, R.Bottom - d};
}

struct TBevelColors {
  TColor32 First, Second, Mid;
};

TBevelColors BevelColors(TColor Base, TBevelType Type) {
  const TColor32 base = ResolveColor(Base);
  TColor32 first = ShiftColor(base, 48), second = ShiftColor(base, -48);
  if (Type == btSunken) std::swap(first, second);
  return {first, second, MixColor(first, second, 128, 255)};
}

// The frame, the outside bevel and the border, from the control's edge in;
// R ends inside them.
void DrawOuterRings(TCustomBitmap32& B, TRect& R, TColor FrameColor, int FrameWidth, int OutsideBevelWidth,
                    int BorderWidth, const TBevelColors& C) {
  const TColor32 frame = ResolveColor(FrameColor);
  for (int i = 1; i <= FrameWidth; ++i) {
    const TColor32 alpha = TColor32(LowLevel::MulDivRounded(i, 128, FrameWidth)) & 0xFF;
    const TColor32 f = (frame & 0x00FFFFFFu) | alpha << 24;
    DrawRing(B, R, f, f);
  }
  for (int k = 0; k < OutsideBevelWidth; ++k)
    DrawRing(B, R, MixColor(C.First, C.Mid, k, OutsideBevelWidth), MixColor(C.Second, C.Mid, k, OutsideBevelWidth));
  for (int i = 0; i < BorderWidth; ++i) DrawRing(B, R, C.Mid, C.Mid);
}

void DrawInsideBevel(TCustomBitmap32& B, TRect& R, int InsideBevelWidth, const TBevelColors& C) {
  for (int j = 1; j <= InsideBevelWidth; ++j)
    DrawRing(B, R, MixColor(C.Mid, C.Second, j, InsideBevelWidth), MixColor(C.Mid, C.First, j, InsideBevelWidth));
}

// The widget's font on the bitmap, sized at the fixed 96 dpi.
void SelectFont(TBitmap32& B, const QFont& Font, TColor Color) {
  TFont* f = B.Font();
  f->SetName(QFontInfo(Font).family().toStdString());
  const int px = Font.pixelSize() > 0 ? Font.pixelSize()
                                      : int(std::lround(Font.pointSizeF() * TFont::PixelsPerInch / 72.0));
  f->SetHeight(-std::max(px, 1));
  TFontStyles style;
  if (Font.bold()) style.Bits |= 1u << fsBold;
  if (Font.italic()) style.Bits |= 1u << fsItalic;
  if (Font.underline()) style.Bits |= 1u << fsUnderline;
  if (Font.strikeOut()) style.Bits |= 1u << fsStrikeOut;
  f->SetStyle(style);
  f->SetColor(Color);
}

// Keeps a width non-negative, as the property's type does.
TPosInt PosInt(TPosInt V) { return std::max<TPosInt>(V, 0); }

}  // namespace

TVQR_ParentControl::TVQR_ParentControl(QWidget* Parent) : TVQR_CustomControl(Parent) {
  setGeometry(0, 0, 80, 80);
}

// --- panel ---------------------------------------------------------------

TVQR_Panel::TVQR_Panel(QWidget* Parent) : TVQR_ParentControl(Parent) { Realign(); }

void TVQR_Panel::RenderNow() {
  RenderCache(*FCache);
  NeedCache = false;
  update();
}

void TVQR_Panel::SetWidthField(TPosInt& Field, TPosInt Value) {
  Value = PosInt(Value);
  if (Value == Field) return;
  Field = Value;
  RenderNow();
  Realign();
}

void TVQR_Panel::SetBorderWidth(TPosInt Value) { SetWidthField(FBorderWidth, Value); }
void TVQR_Panel::SetOutsideBevelWidth(TPosInt Value) { SetWidthField(FOutsideBevelWidth, Value); }
void TVQR_Panel::SetInsideBevelWidth(TPosInt Value) { SetWidthField(FInsideBevelWidth, Value); }
void TVQR_Panel::SetFrameWidth(TPosInt Value) { SetWidthField(FFrameWidth, Value); }

void TVQR_Panel::SetBevelType(TBevelType Value) {
  if (Value == FBevelType) return;
  FBevelType = Value;
  RenderNow();
}

void TVQR_Panel::SetFrameColor(TColor Value) {
  if (Value == FFrameColor) return;
  FFrameColor = Value;
  RenderNow();
}

TRect TVQR_Panel::GetInsideRect() const {
  return Shrink({0, 0, width(), height()},
                std::int64_t(FFrameWidth) + FOutsideBevelWidth + FBorderWidth + FInsideBevelWidth);
}

void TVQR_Panel::RenderCache(TTrueImage& Image) {
  TVQR_ParentControl::RenderCache(Image);
  TBitmap32& b = Image.BMP32();
  const TBevelColors c = BevelColors(Color(), FBevelType);
  TRect r{0, 0, width(), height()};
  DrawOuterRings(b, r, FFrameColor, FFrameWidth, FOutsideBevelWidth, FBorderWidth, c);
  DrawInsideBevel(b, r, FInsideBevelWidth, c);
  b.FillRectS(r, c.Mid);
}

// --- group box -----------------------------------------------------------

TVQR_GroupBox::TVQR_GroupBox(QWidget* Parent) : TVQR_ParentControl(Parent) { Realign(); }

void TVQR_GroupBox::RenderNow() {
  RenderCache(*FCache);
  NeedCache = false;
  update();
}

void TVQR_GroupBox::SetWidthField(TPosInt& Field, TPosInt Value) {
  Value = PosInt(Value);
  if (Value == Field) return;
  Field = Value;
  RenderNow();
  Realign();
}

void TVQR_GroupBox::SetHeaderHeight(TPosInt Value) { SetWidthField(FHeaderHeight, Value); }
void TVQR_GroupBox::SetOutsideBevelWidth(TPosInt Value) { SetWidthField(FOutsideBevelWidth, Value); }
void TVQR_GroupBox::SetInsideBevelWidth(TPosInt Value) { SetWidthField(FInsideBevelWidth, Value); }
void TVQR_GroupBox::SetFrameWidth(TPosInt Value) { SetWidthField(FFrameWidth, Value); }
void TVQR_GroupBox::SetBorderWidth(TPosInt Value) { SetWidthField(FBorderWidth, Value); }

void TVQR_GroupBox::SetFrameColor(TColor Value) {
  if (Value == FFrameColor) return;
  FFrameColor = Value;
  RenderNow();
}

void TVQR_GroupBox::SetAlignment(TAlignment Value) {
  if (Value == FAlignment) return;
  FAlignment = Value;
  RenderNow();
}

TRect TVQR_GroupBox::GetInsideRect() const {
  TRect r = Shrink({0, 0, width(), height()}, std::int64_t(FFrameWidth) + FOutsideBevelWidth + FBorderWidth);
  r.Top = int(std::min<std::int64_t>(std::int64_t(r.Top) + FHeaderHeight + FInsideBevelWidth, 1 << 30));
  return r;
}

void TVQR_GroupBox::RenderCache(TTrueImage& Image) {
  TVQR_ParentControl::RenderCache(Image);
  TBitmap32& b = Image.BMP32();
  const TBevelColors c = BevelColors(Color(), btRaised);
  TRect r{0, 0, width(), height()};
  DrawOuterRings(b, r, FFrameColor, FFrameWidth, FOutsideBevelWidth, FBorderWidth, c);

  const int headerBottom = int(std::min<std::int64_t>(std::int64_t(r.Top) + FHeaderHeight, 1 << 30));
  TRect header{r.Left, r.Top, r.Right, headerBottom};
  const TRect body{r.Left, headerBottom, r.Right, r.Bottom};
  DrawInsideBevel(b, header, FInsideBevelWidth, c);

  if (header.Left < header.Right) {
    const TColor32 cc = ResolveColor(FCaptionColor);
    const int rows = header.Bottom - header.Top;
    for (int y = header.Top; y < header.Bottom; ++y) {
      const int shift = y == header.Top ? -12 : LowLevel::MulDivRounded(24, y - header.Top, rows - 1) - 12;
      b.HorzLineS(header.Left, y, header.Right - 1, ShiftColor(cc, shift));
    }
  }
  b.FillRectS(body, c.Mid);

  if (header.Left < header.Right && header.Top < header.Bottom && !Caption().empty()) {
    SelectFont(b, font(), GetSystemColor(FCaptionTextColor));
    const int tw = b.TextWidth(Caption()), th = b.TextHeight(Caption());
    const int y = (header.Top + header.Bottom - th) / 2;
    const bool rtl = layoutDirection() == Qt::RightToLeft;
    int x = (header.Left + header.Right - tw) / 2;
    if (FAlignment == taLeftJustify) x = rtl ? header.Right - tw : header.Left;
    if (FAlignment == taRightJustify) x = rtl ? header.Left : header.Right - tw;
    b.Textout(x, y, header, Caption());
  }
  // Text output leaves the alpha of the pixels it touched at 0.
  for (int y = std::max(header.Top, 0); y < std::min(header.Bottom, b.Height()); ++y)
    for (int x = std::max(header.Left, 0); x < std::min(header.Right, b.Width()); ++x)
      b.SetPixel(x, y, b.GetPixel(x, y) | 0xFF000000u);
}

}  // namespace velkor
