// UTF-8 and UTF-16 conversions. Velkor keeps text as UTF-8; UTF-16 appears
// only at the edges (the checker plug-in interface, files other programs
// wrote). Malformed input never fails a conversion: each bad byte, or each
// lone surrogate, becomes U+FFFD.
//
// Header-only, so the checker plug-ins can use it without linking the core.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velkor {

inline constexpr std::uint32_t kReplacementChar = 0xFFFD;

// The length of the valid UTF-8 sequence at s[i] (i < s.size()), with its
// code point in cp; 0 when the bytes there are not valid UTF-8 (overlong
// forms, encoded surrogates and values above U+10FFFF included).
inline std::size_t DecodeUtf8(std::string_view s, std::size_t i, std::uint32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  auto cont = [&](std::size_t k) {
    return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
  };
  auto bits = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(s[i + k]) & 0x3F); };
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  if (b0 >= 0xC2 && b0 < 0xE0 && cont(1)) {
    cp = ((b0 & 0x1Fu) << 6) | bits(1);
    return 2;
  }
  if (b0 >= 0xE0 && b0 < 0xF0 && cont(1) && cont(2)) {
    const std::uint32_t v = ((b0 & 0x0Fu) << 12) | (bits(1) << 6) | bits(2);
    if (v >= 0x800 && (v < 0xD800 || v > 0xDFFF)) {
      cp = v;
      return 3;
    }
  }
  if (b0 >= 0xF0 && b0 < 0xF5 && cont(1) && cont(2) && cont(3)) {
    const std::uint32_t v = ((b0 & 0x07u) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3);
    if (v >= 0x10000 && v <= 0x10FFFF) {
      cp = v;
      return 4;
    }
  }
  return 0;
}

inline void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

inline std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    std::uint32_t cp = kReplacementChar;
    const std::size_t n = DecodeUtf8(s, i, cp);
    if (n == 0) cp = kReplacementChar;
    i += n == 0 ? 1 : n;
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

inline std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00u);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacementChar;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

// A null pointer is the empty text.
inline std::string Utf16ToUtf8(const char16_t* s) {
  return s ? Utf16ToUtf8(std::u16string_view(s)) : std::string();
}

// bytes as valid UTF-8: each byte that starts no valid sequence becomes U+FFFD.
inline std::string ValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    std::uint32_t cp = 0;
    if (const std::size_t n = DecodeUtf8(bytes, i, cp)) {
      out.append(bytes.substr(i, n));
      i += n;
    } else {
      AppendUtf8(out, kReplacementChar);
      ++i;
    }
  }
  return out;
}

}  // namespace velkor
