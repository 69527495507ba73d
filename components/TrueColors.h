// The 32-bit pixel of every true image: blue, green, red and alpha bytes in
// this memory order (the raster library's $AARRGGBB on a little-endian
// machine), alpha straight, never premultiplied.
//
// The record holds one word; the byte views are accessors over it, so no
// union is read through a member it was not written through. The same bits
// convert to and from TColor32 freely. The toolkit's TColor ($00BBGGRR, or a
// system-colour reference) converts through named functions: C++ cannot
// tell a TColor from a TColor32 literal, and mixing the two up would swap
// red and blue silently.
#pragma once

#include <bit>
#include <cstdint>

#include "graphics/Raster.h"
#include "toolkit/Colors.h"

namespace velkor {

static_assert(std::endian::native == std::endian::little, "TTrueColor assumes little-endian words");

// Three bytes blue, green, red: the colour part of a pixel.
struct TRGBPixel {
  std::uint8_t Blue = 0, Green = 0, Red = 0;
  friend constexpr bool operator==(const TRGBPixel&, const TRGBPixel&) = default;
};

struct TTrueColor {
  std::uint32_t Value = 0;

  constexpr TTrueColor() = default;
  constexpr explicit TTrueColor(TColor32 C) : Value(C) {}
  static constexpr TTrueColor FromBGRA(std::uint8_t B, std::uint8_t G, std::uint8_t R, std::uint8_t A) {
    return TTrueColor(TColor32(B) | TColor32(G) << 8 | TColor32(R) << 16 | TColor32(A) << 24);
  }

  // The same 32 bits as the raster library's pixel.
  constexpr operator TColor32() const { return Value; }

  constexpr std::uint8_t b() const { return std::uint8_t(Value); }
  constexpr std::uint8_t g() const { return std::uint8_t(Value >> 8); }
  constexpr std::uint8_t r() const { return std::uint8_t(Value >> 16); }
  constexpr std::uint8_t a() const { return std::uint8_t(Value >> 24); }
  constexpr void set_b(std::uint8_t V) { Value = (Value & 0xFFFFFF00u) | V; }
  constexpr void set_g(std::uint8_t V) { Value = (Value & 0xFFFF00FFu) | TColor32(V) << 8; }
  constexpr void set_r(std::uint8_t V) { Value = (Value & 0xFF00FFFFu) | TColor32(V) << 16; }
  constexpr void set_a(std::uint8_t V) { Value = (Value & 0x00FFFFFFu) | TColor32(V) << 24; }

  constexpr TRGBPixel Color() const { return {b(), g(), r()}; }
  constexpr void SetColor(TRGBPixel P) { Value = (Value & 0xFF000000u) | P.Blue | TColor32(P.Green) << 8 | TColor32(P.Red) << 16; }
  constexpr std::uint8_t Alpha() const { return a(); }
  constexpr void SetAlpha(std::uint8_t V) { set_a(V); }

  constexpr TColor32 Color32() const { return Value; }
  constexpr std::int32_t CodeI() const { return std::bit_cast<std::int32_t>(Value); }
  constexpr std::uint32_t CodeC() const { return Value; }

  // Compares the words.
  friend constexpr bool operator==(TTrueColor L, TTrueColor R) { return L.Value == R.Value; }
};

using PTrueColor = TTrueColor*;
static_assert(sizeof(TTrueColor) == 4);

// A toolkit colour as a pixel: under a custom visual style a system colour
// becomes the style's colour for it first; then red and blue change places
// (a remaining system-colour reference resolves through the classic system
// colours) and alpha is 255.
TTrueColor ColorToTrueColor(TColor C);
// r in the low byte, g, then b; alpha dropped.
constexpr TColor TrueColorToColor(TTrueColor C) { return TColor(C.r()) | TColor(C.g()) << 8 | TColor(C.b()) << 16; }

}  // namespace velkor
