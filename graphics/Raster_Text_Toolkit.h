// Text to vector outlines: every glyph's outline becomes path commands, and
// the glyphs are laid out in a rectangle with line feeds, word wrapping,
// horizontal alignment (left, centre, right, justify) and vertical
// centring or bottom alignment, under DrawText-style flags.
//
// Layout runs in "stretched" units: X is multiplied by S (16 in hinting
// mode 1, else 1) so that outlines hinted at 16 times the horizontal
// resolution keep their fractional advances; every X is divided by S at the
// end. Lines advance by the font's height; a line's baseline lies ascent
// below its top. Centred and right-aligned lines are shifted by
// Round((S x Right - X - 1) / 2) and Round(S x Right - X - 1), X being the
// pen at the line's end; a justified line spreads S x Right - X - 1 over its
// spaces. The last line of a paragraph (ended by a line feed or by the text)
// is never justified.
//
// This module and the glyph-outline stand-in form a target of their own
// (velkor_graphics_text) on FreeType and fontconfig; the Qt-free raster
// library does not link it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "graphics/Raster.h"
#include "graphics/Raster_Paths.h"
#include "platform/DeviceContexts.h"
#include "platform/GlyphOutlines.h"
#include "platform/LogFonts.h"

namespace velkor::Raster_Text_Toolkit {

// Flags are the DrawText values of platform/DeviceContexts.h: bits 0-1
// the horizontal alignment (0 left, DT_CENTER, DT_RIGHT, or both for
// justification), DT_VCENTER, DT_BOTTOM, DT_WORDBREAK, DT_SINGLELINE.
inline constexpr std::uint32_t DT_JUSTIFY = DT_CENTER | DT_RIGHT;

using GlyphOutlines::GLYPHMETRICS;
using GlyphOutlines::TGlyphContext;

// 0: unhinted outlines (the start-up default); 1: hinted at 16 times the
// horizontal resolution and scaled back; 2: hinted at normal size. Other
// values count as 0. Process-wide and unsynchronised.
void SelectGlyphHinting(int Mode);
int GlyphHintingMode();

// Start-up of the text target: initialises FreeType and fontconfig once
// and selects hinting mode 0. Shut-down frees the cached faces. Both run
// their work once however often they are called in pairs.
void InitTextToolkit();
void Startup();
void Shutdown();

// Walks an outline buffer in the native layout, adding each polygon to
// Path with (X, Y) added to every point: MoveTo the start, LineTo for line
// records, ConicTo for quadratic ones (through the midpoints of their
// control points), CurveTo per (control, control, end) triple of cubic
// ones, ClosePath at the polygon's end. A polygon or record that does not
// fit the buffer ends the walk.
void WalkGlyphOutline(Raster_Paths::TCustomPath& Path, std::span<const std::uint8_t> Buffer, float X, float Y);

// True when the glyph's cell advance plus X does not exceed MaxX; then,
// with a path, its outline is added at (X, Y). A glyph whose outline cannot
// be had adds nothing but still reports its advance in Metrics.
bool GlyphOutlineToPath(TGlyphContext& DC, Raster_Paths::TCustomPath* Path, char32_t Glyph, float X, float MaxX,
                        float Y, GLYPHMETRICS& Metrics);

// The layout engine. Text is UTF-8 (a character is a code point; bytes
// that are not UTF-8 read as U+FFFD). Path may be null (layout only).
void BuildTextPath(TGlyphContext& DC, Raster_Paths::TCustomPath* Path, const TFloatRect& ARect, std::string_view Text,
                   std::uint32_t Flags);
// ARect with each value rounded to the nearest integer (the layout runs
// without output).
TFloatRect MeasureTextPath(TGlyphContext& DC, const TFloatRect& ARect, std::string_view Text, std::uint32_t Flags);

// The same on a context for Font. Raises GlyphOutlines::EGlyphOutlineError
// when the font cannot be read.
void TextToPathOnDC(const TLogFont& Font, Raster_Paths::TCustomPath* Path, const TFloatRect& ARect,
                    std::uint32_t Flags, std::string_view Text);
TFloatRect MeasureTextOnDC(const TLogFont& Font, const TFloatRect& ARect, std::uint32_t Flags, std::string_view Text);

}  // namespace velkor::Raster_Text_Toolkit
