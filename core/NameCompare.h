// The one comparison of names used everywhere in Velkor: exams, tests,
// contestants, checkers, parameters.
//
// Names are ordered by their UTF-16 code units with only the ASCII letters
// a to z folded to upper case, without locale. Names are stored as UTF-8,
// so each code point is mapped to a key that sorts the way its first UTF-16
// code unit would: the BMP below the surrogates, then every supplementary
// code point (surrogate pairs D800..DFFF), then the BMP from E000 up. Bytes
// that are not valid UTF-8 compare by their own value.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/Unicode.h"

namespace velkor {

namespace detail {

// The code point at s[i], advancing i; bytes that are not valid UTF-8
// decode as themselves, one at a time.
inline std::uint32_t NextCodePoint(std::string_view s, std::size_t& i) {
  std::uint32_t cp = 0;
  const std::size_t n = DecodeUtf8(s, i, cp);
  if (n == 0) cp = static_cast<unsigned char>(s[i]);
  i += n == 0 ? 1 : n;
  return cp;
}

inline std::uint32_t Utf16OrderKey(std::uint32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 32;
  if (cp >= 0x10000) return 0xD800 + (cp - 0x10000);
  if (cp >= 0xE000) return cp + 0x100000;
  return cp;
}

}  // namespace detail

// Negative, zero or positive as a sorts before, with or after b.
inline int CompareText(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const std::uint32_t ka = detail::Utf16OrderKey(detail::NextCodePoint(a, i));
    const std::uint32_t kb = detail::Utf16OrderKey(detail::NextCodePoint(b, j));
    if (ka != kb) return ka < kb ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

inline bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    char x = a[k], y = b[k];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace velkor
