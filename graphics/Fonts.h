// The toolkit's font object as the Qt-free layers see it: a name, a size, a
// colour and a style that notify their owner when they change, and the
// logical font (TLogFont) they describe, which stands in for a font handle.
//
// Sizes convert between points and pixels at a fixed 96 dpi, so that text
// measures the same on every screen: Height = -MulDiv(Size, 96, 72) and
// Size = -MulDiv(Height, 72, 96). A negative height is the em size in
// pixels, a positive one the cell height (see TLogFont).
//
// The handle is made from the properties when it is first asked for and
// kept until a property changes. A handle set from outside (SetHandle) is
// kept as given and the properties follow it, so settings a TFont has no
// property for (quality, output precision) survive until the next change.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "graphics/Persistent.h"
#include "platform/LogFonts.h"

namespace velkor {

class TThreadPersistent;

// The toolkit colour: $00BBGGRR, or, with the high bit set, a reference to
// a system colour whose index is the low byte.
using TColor = std::int32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clBtnText = static_cast<TColor>(0xFF000012u);
inline constexpr TColor clWindowText = static_cast<TColor>(0xFF000008u);
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// A font handle: the logical font a TFont describes. Shared, immutable once
// made; a new description is a new handle.
using HFONT = std::shared_ptr<const TLogFont>;

// Pitch and quality values of a logical font.
inline constexpr std::uint8_t FIXED_PITCH = 1;
inline constexpr std::uint8_t VARIABLE_PITCH = 2;
inline constexpr std::uint8_t NONANTIALIASED_QUALITY = 3;
inline constexpr std::uint8_t OUT_TT_ONLY_PRECIS = 7;

// Ordinals are a contract: bit n of TFontStyles stands for ordinal n.
enum TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
struct TFontStyles {
  std::uint8_t Bits = 0;

  constexpr TFontStyles() = default;
  constexpr TFontStyles(std::initializer_list<TFontStyle> styles) {
    for (TFontStyle s : styles) Bits |= static_cast<std::uint8_t>(1u << s);
  }
  constexpr bool Contains(TFontStyle s) const { return (Bits >> s) & 1u; }
  friend constexpr bool operator==(TFontStyles, TFontStyles) = default;
};

enum TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };

class TFont : public TPersistent {
 public:
  // The pixels per inch every size conversion uses.
  static constexpr int PixelsPerInch = 96;

  TFont();

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // Takes name, height, colour, style, pitch, character set, orientation
  // and the handle of another TFont; then one change report.
  void Assign(const TPersistent* Source) override;

  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value);
  // Points; rounded from the height.
  int Size() const;
  void SetSize(int Value);
  int Height() const { return FHeight; }
  void SetHeight(int Value);
  TColor Color() const { return FColor; }
  // The colour is no part of the handle: changing it keeps the handle.
  void SetColor(TColor Value);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles Value);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch Value);
  std::uint8_t Charset() const { return FCharset; }
  void SetCharset(std::uint8_t Value);
  // Tenths of a degree, counter-clockwise.
  int Orientation() const { return FOrientation; }
  void SetOrientation(int Value);

  // The logical font of the current settings (made on first request).
  HFONT Handle() const;
  // Adopts a logical font: the properties take its values and the handle is
  // kept as given. A null handle drops the current one.
  void SetHandle(HFONT Value);

  // While set, every change runs under this object's lock (the backend
  // that owns the font), so changes from several threads are serialised.
  void SetOwnerLock(TThreadPersistent* Lock) { FOwnerLock = Lock; }

  // Fired after every change, the handle already dropped.
  TNotifyEvent OnChange;

 protected:
  virtual void Changed();

 private:
  template <class F>
  void Change(F&& apply);

  std::string FName;
  int FHeight;
  TColor FColor = clWindowText;
  TFontStyles FStyle;
  TFontPitch FPitch = fpDefault;
  std::uint8_t FCharset = DEFAULT_CHARSET;
  int FOrientation = 0;
  mutable HFONT FHandle;
  TThreadPersistent* FOwnerLock = nullptr;
};

// The logical font of a TFont's settings with the given quality, as the
// bitmap's anti-aliased text needs it.
TLogFont MakeLogFont(const TFont& Font, std::uint8_t Quality);

}  // namespace velkor
