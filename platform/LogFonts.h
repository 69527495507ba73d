// A logical font: the description a program gives of the font it wants,
// which the platform then matches to a font file. It stands in for a font
// handle wherever one is passed around; nothing here touches a font library,
// so any layer may hold one.
#pragma once

#include <cstdint>
#include <string>

namespace velkor {

// Weights on the usual 100..900 scale.
inline constexpr std::int32_t FW_DONTCARE = 0;
inline constexpr std::int32_t FW_NORMAL = 400;
inline constexpr std::int32_t FW_BOLD = 700;

// Character sets and qualities keep their numeric values. The glyph-outline
// stand-in reads the name, height, weight and italic flag; the rest travels
// for the toolkit's own text.
inline constexpr std::uint8_t ANSI_CHARSET = 0;
inline constexpr std::uint8_t DEFAULT_CHARSET = 1;
inline constexpr std::uint8_t DEFAULT_QUALITY = 0;
inline constexpr std::uint8_t ANTIALIASED_QUALITY = 4;

struct TLogFont {
  // In pixels. Negative: the em size is -Height (a point size converted at
  // 96 dpi gives this). Positive: the cell height (ascent + descent) is
  // Height. Zero: a default size.
  std::int32_t Height = 0;
  // Average character width in pixels; 0 keeps the face's own proportions.
  std::int32_t Width = 0;
  std::int32_t Escapement = 0;   // tenths of a degree
  std::int32_t Orientation = 0;  // tenths of a degree
  std::int32_t Weight = FW_NORMAL;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  std::uint8_t CharSet = DEFAULT_CHARSET;
  std::uint8_t OutPrecision = 0;
  std::uint8_t ClipPrecision = 0;
  std::uint8_t Quality = DEFAULT_QUALITY;
  std::uint8_t PitchAndFamily = 0;
  std::string FaceName;  // UTF-8 family name; empty for the default face

  friend bool operator==(const TLogFont&, const TLogFont&) = default;
};

}  // namespace velkor
