#include "graphics/Fonts.h"

#include <cstdlib>

#include "graphics/RasterPersistents.h"

namespace velkor {

namespace {

// A * B / C rounded half away from zero, the rounding of the toolkit's
// point and pixel conversions.
int MulDiv(int A, int B, int C) {
  long long p = static_cast<long long>(A) * B;
  long long q = (std::llabs(p) + C / 2) / C;
  return static_cast<int>(p < 0 ? -q : q);
}

bool SameTextAscii(const std::string& A, const char* B) {
  std::size_t i = 0;
  for (; i < A.size() && B[i]; ++i) {
    char a = A[i], b = B[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return i == A.size() && !B[i];
}

}  // namespace

TFont::TFont() : FName("Tahoma"), FHeight(-MulDiv(8, PixelsPerInch, 72)) {}

const TClassInfo& TFont::StaticClass() {
  static const TClassInfo info{"TFont", &TPersistent::StaticClass(), [] { return New<TFont>(); }, {}};
  return info;
}

template <class F>
void TFont::Change(F&& apply) {
  if (FOwnerLock) FOwnerLock->Lock();
  try {
    apply();
    Changed();
  } catch (...) {
    if (FOwnerLock) FOwnerLock->Unlock();
    throw;
  }
  if (FOwnerLock) FOwnerLock->Unlock();
}

void TFont::Changed() {
  if (OnChange) OnChange(this);
}

void TFont::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TFont*>(Source);
  if (!src) return TPersistent::Assign(Source);
  if (src == this) return;
  Change([&] {
    FName = src->FName;
    FHeight = src->FHeight;
    FColor = src->FColor;
    FStyle = src->FStyle;
    FPitch = src->FPitch;
    FCharset = src->FCharset;
    FOrientation = src->FOrientation;
    FHandle = src->FHandle;
  });
}

void TFont::SetName(const std::string& Value) {
  if (Value.empty() || Value == FName) return;
  Change([&] { FName = Value, FHandle.reset(); });
}

int TFont::Size() const { return -MulDiv(FHeight, 72, PixelsPerInch); }

void TFont::SetSize(int Value) { SetHeight(-MulDiv(Value, PixelsPerInch, 72)); }

void TFont::SetHeight(int Value) {
  if (Value == FHeight) return;
  Change([&] { FHeight = Value, FHandle.reset(); });
}

void TFont::SetColor(TColor Value) {
  if (Value == FColor) return;
  Change([&] { FColor = Value; });
}

void TFont::SetStyle(TFontStyles Value) {
  if (Value == FStyle) return;
  Change([&] { FStyle = Value, FHandle.reset(); });
}

void TFont::SetPitch(TFontPitch Value) {
  if (Value == FPitch) return;
  Change([&] { FPitch = Value, FHandle.reset(); });
}

void TFont::SetCharset(std::uint8_t Value) {
  if (Value == FCharset) return;
  Change([&] { FCharset = Value, FHandle.reset(); });
}

void TFont::SetOrientation(int Value) {
  if (Value == FOrientation) return;
  Change([&] { FOrientation = Value, FHandle.reset(); });
}

HFONT TFont::Handle() const {
  if (!FHandle) FHandle = std::make_shared<const TLogFont>(MakeLogFont(*this, DEFAULT_QUALITY));
  return FHandle;
}

void TFont::SetHandle(HFONT Value) {
  if (Value == FHandle) return;
  Change([&] {
    FHandle = Value;
    if (!Value) return;
    const TLogFont& lf = *Value;
    FHeight = lf.Height;
    FOrientation = lf.Escapement;
    std::uint8_t style = 0;
    if (lf.Weight >= FW_BOLD) style |= 1u << fsBold;
    if (lf.Italic) style |= 1u << fsItalic;
    if (lf.Underline) style |= 1u << fsUnderline;
    if (lf.StrikeOut) style |= 1u << fsStrikeOut;
    FStyle.Bits = style;
    FCharset = lf.CharSet;
    if (!lf.FaceName.empty()) FName = lf.FaceName;
    switch (lf.PitchAndFamily & 3) {
      case FIXED_PITCH: FPitch = fpFixed; break;
      case VARIABLE_PITCH: FPitch = fpVariable; break;
      default: FPitch = fpDefault; break;
    }
  });
}

TLogFont MakeLogFont(const TFont& Font, std::uint8_t Quality) {
  TLogFont lf;
  lf.Height = Font.Height();
  lf.Width = 0;
  lf.Escapement = Font.Orientation();
  lf.Orientation = Font.Orientation();
  lf.Weight = Font.Style().Contains(fsBold) ? FW_BOLD : FW_NORMAL;
  lf.Italic = Font.Style().Contains(fsItalic);
  lf.Underline = Font.Style().Contains(fsUnderline);
  lf.StrikeOut = Font.Style().Contains(fsStrikeOut);
  lf.CharSet = Font.Charset();
  // "Default" names the toolkit's default face, which the logical font
  // spells out.
  lf.FaceName = SameTextAscii(Font.Name(), "Default") ? "MS Sans Serif" : Font.Name();
  lf.Quality = Quality;
  lf.OutPrecision = Font.Orientation() != 0 ? OUT_TT_ONLY_PRECIS : 0;
  lf.ClipPrecision = 0;
  switch (Font.Pitch()) {
    case fpVariable: lf.PitchAndFamily = VARIABLE_PITCH; break;
    case fpFixed: lf.PitchAndFamily = FIXED_PITCH; break;
    default: lf.PitchAndFamily = 0; break;
  }
  return lf;
}

}  // namespace velkor
