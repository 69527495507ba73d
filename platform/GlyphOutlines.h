// Glyph outlines and font metrics for a logical font: the stand-in for a
// screen device context with a font selected, asked for text metrics and
// for glyph outlines in the platform's native outline layout.
//
// fontconfig picks the font file for the logical font (its substitute when
// the family is unknown); FreeType sizes the face (a negative height is an
// em size, a positive one the cell height), loads the glyph with or without
// hinting, applies the caller's 2 x 2 matrix and walks the outline. The
// outline is then written in the native layout, so that callers decode one
// byte format whatever produced it:
//
//   polygon header (16 bytes): cb (bytes of the whole polygon, header
//     included), dwType = TT_POLYGON_TYPE (24), pfxStart (a point);
//   then records up to cb: wType (16 bits: 1 line, 2 quadratic spline,
//     3 cubic spline), cpfx (16 bits: point count), cpfx points;
//     4 + 8 x cpfx bytes each.
//   A point is two 16.16 fixed values (x, y), little-endian. A quadratic
//   record p0..pn-1 holds control points whose midpoints are the implied
//   on-curve points, the last point being on the curve; a cubic record
//   holds (control, control, end) triples.
//
// Metrics are in whole pixels: ascent and descent rounded outward, height
// their sum; a glyph's cell advance is rounded to the nearest pixel after
// the matrix (so a matrix that stretches X by 16 gives advances in 1/16
// pixel).
//
// This module is the only one that links FreeType and fontconfig; the
// judging core never does.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/LogFonts.h"

namespace velkor::GlyphOutlines {

// A font file that cannot be read or is not a font; the message names it.
class EGlyphOutlineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// 16.16 fixed point, as the outline buffer stores it.
using FIXED = std::int32_t;
constexpr FIXED FixedFromInt(int V) { return static_cast<FIXED>(static_cast<std::uint32_t>(V) << 16); }

struct POINTFX {
  FIXED x = 0, y = 0;
};

// The matrix applied to every outline and advance: (x, y) -> (eM11 x +
// eM21 y, eM12 x + eM22 y), each entry 16.16.
struct MAT2 {
  FIXED eM11 = FixedFromInt(1), eM12 = 0, eM21 = 0, eM22 = FixedFromInt(1);
};

struct GLYPHMETRICS {
  std::uint32_t gmBlackBoxX = 0, gmBlackBoxY = 0;
  std::int32_t gmptGlyphOriginX = 0, gmptGlyphOriginY = 0;
  std::int16_t gmCellIncX = 0, gmCellIncY = 0;
};

struct TEXTMETRIC {
  std::int32_t tmHeight = 0;  // ascent + descent
  std::int32_t tmAscent = 0;
  std::int32_t tmDescent = 0;
};

// Outline formats: the native layout, and without hinting.
inline constexpr std::uint32_t GGO_METRICS = 0;
inline constexpr std::uint32_t GGO_NATIVE = 2;
inline constexpr std::uint32_t GGO_UNHINTED = 0x100;
inline constexpr std::uint32_t GDI_ERROR = 0xFFFFFFFF;

inline constexpr std::uint32_t TT_POLYGON_TYPE = 24;
inline constexpr std::uint16_t TT_PRIM_LINE = 1;
inline constexpr std::uint16_t TT_PRIM_QSPLINE = 2;
inline constexpr std::uint16_t TT_PRIM_CSPLINE = 3;
inline constexpr std::size_t kPolygonHeaderSize = 16;
inline constexpr std::size_t kCurveHeaderSize = 4;
inline constexpr std::size_t kPointSize = 8;

// A font selected for outline queries. Faces are shared between contexts
// and kept until DoneGlyphOutlines.
class TGlyphContext {
 public:
  // The file fontconfig matches to Font.
  explicit TGlyphContext(const TLogFont& Font);
  // A given font file, sized as Font says. Raises EGlyphOutlineError naming
  // the file when it cannot be read as a font.
  TGlyphContext(const std::string& FontFile, const TLogFont& Font);
  ~TGlyphContext();
  TGlyphContext(const TGlyphContext&) = delete;
  TGlyphContext& operator=(const TGlyphContext&) = delete;

  const std::string& FontFile() const;

  bool GetTextMetrics(TEXTMETRIC& Metrics) const;

  // With BufferSize 0 or no buffer: the outline's size in bytes; otherwise
  // the outline is written to Buffer when it fits and its size returned.
  // GDI_ERROR when the glyph cannot be loaded or the buffer is too small.
  // Metrics receives the glyph's metrics whenever the glyph loads (a glyph
  // without contours, such as a space, has size 0). A code point the font
  // lacks gives the font's missing-glyph symbol.
  std::uint32_t GetGlyphOutline(char32_t Glyph, std::uint32_t Format, GLYPHMETRICS& Metrics,
                                std::uint32_t BufferSize, void* Buffer, const MAT2& Matrix);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// Initialises FreeType and fontconfig once per process; later calls do
// nothing. The contexts call it themselves when needed.
void InitGlyphOutlines();
// Frees the cached faces and both libraries. Contexts still alive keep
// their face until they end.
void DoneGlyphOutlines();

// Makes a font file known to fontconfig for this process (the program's
// own font). False when fontconfig refuses it.
bool AddApplicationFont(const std::string& FontFile);

}  // namespace velkor::GlyphOutlines
