#include "core/NumberFormat.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <optional>
#include <system_error>
#include <utility>

#include "core/ConvertError.h"
#include "core/NameCompare.h"

namespace velkor {
namespace {

constexpr int kSignificantDigits = 15;

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

constexpr int kMaxWidth = 255;
constexpr int kMaxPrecision = 20;
constexpr int kGeneralDigits = 15;

// One parsed pattern: the text around its single conversion and the
// conversion itself.
struct TConversion {
  std::string Prefix, Suffix;
  bool Left = false, Plus = false, Blank = false, Zero = false;
  int Width = 0;
  int Precision = -1;  // -1: the type's default
  char Type = 'n';     // lower case
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads up to three digits at p[i]; nullopt when there are none or more.
std::optional<int> ReadSmallNumber(std::string_view p, std::size_t& i) {
  const std::size_t start = i;
  int v = 0;
  while (i < p.size() && IsDigit(p[i])) {
    if (i - start == 3) return std::nullopt;
    v = v * 10 + (p[i++] - '0');
  }
  if (i == start) return std::nullopt;
  return v;
}

std::optional<TConversion> ParsePattern(std::string_view p) {
  TConversion c;
  bool seen = false;
  for (std::size_t i = 0; i < p.size();) {
    if (p[i] != '%') {
      (seen ? c.Suffix : c.Prefix) += p[i++];
      continue;
    }
    ++i;
    if (i < p.size() && p[i] == '%') {
      (seen ? c.Suffix : c.Prefix) += '%';
      ++i;
      continue;
    }
    if (seen) return std::nullopt;
    seen = true;
    // An argument index: digits followed by ':'; only argument 0 exists.
    std::size_t j = i;
    while (j < p.size() && IsDigit(p[j])) ++j;
    if (j < p.size() && p[j] == ':') {
      if (p.substr(i, j - i).find_first_not_of('0') != std::string_view::npos || j == i) return std::nullopt;
      i = j + 1;
    }
    for (; i < p.size(); ++i) {
      if (p[i] == '-') c.Left = true;
      else if (p[i] == '+') c.Plus = true;
      else if (p[i] == ' ') c.Blank = true;
      else if (p[i] == '0') c.Zero = true;
      else break;
    }
    if (i < p.size() && IsDigit(p[i])) {
      const auto w = ReadSmallNumber(p, i);
      if (!w || *w > kMaxWidth) return std::nullopt;
      c.Width = *w;
    }
    if (i < p.size() && p[i] == '.') {
      ++i;
      const auto prec = ReadSmallNumber(p, i);
      if (!prec) return std::nullopt;
      c.Precision = std::min(*prec, kMaxPrecision);
    }
    if (i >= p.size()) return std::nullopt;
    const char t = static_cast<char>(p[i] >= 'A' && p[i] <= 'Z' ? p[i] + 32 : p[i]);
    if (t != 'f' && t != 'n' && t != 'm' && t != 'e' && t != 'g') return std::nullopt;
    c.Type = t;
    ++i;
  }
  if (!seen) return std::nullopt;
  return c;
}

const TConversion& DefaultConversion() {
  static const TConversion c = *ParsePattern(kDefaultNumberFormat);
  return c;
}

std::string_view Chars(const char* first, std::to_chars_result r) {
  return {first, static_cast<std::size_t>(r.ptr - first)};
}

// The decimal exponent of the leading digit of Magnitude (> 0, finite).
// Seventeen digits tell every double apart, so their exponent never comes
// from rounding up to the next power of ten.
int DecimalExponent(double Magnitude) {
  char buf[64];
  const std::to_chars_result r =
      std::to_chars(buf, buf + sizeof buf, Magnitude, std::chars_format::scientific, 16);
  const char* e = std::find(buf, r.ptr, 'e');
  int exponent = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), r.ptr, exponent);
  return exponent;
}

// Magnitude (>= 0), moved to the next double up when it lies exactly half
// way between two multiples of 10^Place. to_chars rounds such a value to
// even; numbers here round half away from zero, the way the jury rounds a
// score by hand: 0.125 shows as 0.13 at two decimals, 2.5 as 3 at none.
// The step up only tips an exact half: any other value is left as it is,
// so its digits are the correctly rounded ones.
double HalvesAwayFromZero(double Magnitude, int Place) {
  if (!(Magnitude > 0) || !std::isfinite(Magnitude)) return Magnitude;
  // Magnitude = M * 2^(e - 53) with M an integer of at most 53 bits; its
  // exact decimal expansion has as many decimals as it has fractional bits.
  int e = 0;
  const double m = std::frexp(Magnitude, &e);
  const auto M = static_cast<std::uint64_t>(std::ldexp(m, 53));
  const int fractionalBits = std::max(0, 53 - e - std::countr_zero(M));
  bool half = false;
  if (Place <= 0) {
    // A half of 10^Place ends in a 5 at decimal Place - 1, the last one.
    half = fractionalBits == 1 - Place;
  } else if (fractionalBits == 0 && Place <= 22) {
    double halfUnit = 5;  // 5 * 10^(Place - 1), exact: powers of ten are up to 10^22
    for (int k = 1; k < Place; ++k) halfUnit *= 10;
    half = std::fmod(Magnitude, halfUnit) == 0 && std::fmod(Magnitude, 2 * halfUnit) != 0;
  }
  return half ? std::nextafter(Magnitude, INFINITY) : Magnitude;
}

// |Value| in fixed notation with Precision decimals, "." as separator.
std::string FixedDigits(double Value, int Precision) {
  char buf[400];  // 309 integer digits, a point and 20 decimals at most
  const double rounded = HalvesAwayFromZero(std::fabs(Value), -Precision);
  return std::string(
      Chars(buf, std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::fixed, Precision)));
}

// Inserts Sep into the integer digits Digits as Grouping says.
std::string Grouped(const std::string& Digits, const std::string& Grouping, const std::string& Sep) {
  if (Grouping.empty() || Sep.empty()) return Digits;
  std::string out;
  std::size_t end = Digits.size();
  std::size_t k = 0;
  int size = 0;
  while (end > 0) {
    if (k < Grouping.size()) size = static_cast<unsigned char>(Grouping[k++]);
    if (size <= 0 || size == CHAR_MAX || static_cast<std::size_t>(size) >= end) {
      out.insert(0, Digits, 0, end);
      break;
    }
    out.insert(0, Digits, end - static_cast<std::size_t>(size), static_cast<std::size_t>(size));
    out.insert(0, Sep);
    end -= static_cast<std::size_t>(size);
  }
  return out;
}

// Splits "123.45" into its integer digits and its decimals.
std::pair<std::string, std::string> SplitAtPoint(const std::string& s) {
  const std::size_t dot = s.find('.');
  if (dot == std::string::npos) return {s, ""};
  return {s.substr(0, dot), s.substr(dot + 1)};
}

std::string JoinNumber(const std::string& IntPart, const std::string& Decimals, const std::string& Point) {
  return Decimals.empty() ? IntPart : IntPart + Point + Decimals;
}

// |Value| in the scientific form of the formatter: Digits significant
// digits, "E", a sign and at least three exponent digits.
std::string ScientificDigits(double Value, int Digits, const std::string& Point) {
  char buf[64];
  const double magnitude = std::fabs(Value);
  const double rounded =
      magnitude > 0 ? HalvesAwayFromZero(magnitude, DecimalExponent(magnitude) - (Digits - 1)) : magnitude;
  const std::string s(
      Chars(buf, std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::scientific, Digits - 1)));
  const std::size_t e = s.find('e');
  auto [intPart, decimals] = SplitAtPoint(s.substr(0, e));
  const char sign = s[e + 1];
  std::string exponent = s.substr(e + 2);
  while (exponent.size() < 3) exponent.insert(0, "0");
  return JoinNumber(intPart, decimals, Point) + "E" + sign + exponent;
}

std::size_t CodePoints(std::string_view s) {
  std::size_t n = 0;
  for (char ch : s)
    if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) ++n;
  return n;
}

bool AllZero(std::string_view digits) { return digits.find_first_of("123456789") == std::string_view::npos; }

std::string Format(const TConversion& c, double Value, const TNumberLocale& L) {
  std::string body;
  bool finite = std::isfinite(Value);
  if (std::isnan(Value)) {
    body = "NAN";
  } else if (!finite) {
    body = "INF";
  } else {
    switch (c.Type) {
      case 'f':
      case 'n': {
        auto [intPart, decimals] = SplitAtPoint(FixedDigits(Value, c.Precision < 0 ? 2 : c.Precision));
        if (c.Type == 'n') intPart = Grouped(intPart, L.Grouping, L.ThousandsSep);
        body = JoinNumber(intPart, decimals, L.DecimalPoint);
        break;
      }
      case 'm': {
        auto [intPart, decimals] = SplitAtPoint(FixedDigits(Value, c.Precision < 0 ? L.FracDigits : c.Precision));
        body = JoinNumber(Grouped(intPart, L.MonGrouping, L.MonThousandsSep), decimals, L.MonDecimalPoint);
        break;
      }
      case 'e':
        body = ScientificDigits(Value, c.Precision < 1 ? (c.Precision < 0 ? kGeneralDigits : 1) : c.Precision,
                                L.DecimalPoint);
        break;
      default:
        body = FormatGeneral(std::fabs(Value), c.Precision < 1 ? (c.Precision < 0 ? kGeneralDigits : 1) : c.Precision,
                             L.DecimalPoint);
        break;
    }
  }
  // A value that rounds to zero shows no minus sign.
  const bool negative = std::signbit(Value) && !std::isnan(Value) &&
                        (!finite || !AllZero(body.substr(0, body.find('E'))));
  std::string sign = negative ? "-" : c.Plus ? "+" : c.Blank ? " " : "";
  if (c.Type == 'm' && finite && !L.CurrencySymbol.empty()) {
    const std::string gap = L.CurrencySeparated ? " " : "";
    body = L.CurrencyPrecedes ? L.CurrencySymbol + gap + body : body + gap + L.CurrencySymbol;
  }
  const std::size_t len = CodePoints(sign) + CodePoints(body);
  const std::size_t width = static_cast<std::size_t>(c.Width);
  std::string field;
  if (len >= width) {
    field = sign + body;
  } else if (c.Left) {
    field = sign + body + std::string(width - len, ' ');
  } else if (c.Zero && finite && c.Type != 'm') {
    field = sign + std::string(width - len, '0') + body;
  } else {
    field = std::string(width - len, ' ') + sign + body;
  }
  return c.Prefix + field + c.Suffix;
}

}  // namespace

std::string FormatGeneral(double Value, int Precision, std::string_view DecimalSeparator) {
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value < 0 ? "-INF" : "INF";
  if (Value == 0) return "0";
  Precision = std::clamp(Precision, 1, 17);
  char buf[64];
  const double magnitude = std::fabs(Value);
  const double rounded = HalvesAwayFromZero(magnitude, DecimalExponent(magnitude) - (Precision - 1));
  const std::string s(
      Chars(buf, std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::scientific, Precision - 1)));
  const std::size_t e = s.find('e');
  std::string digits;
  for (char ch : s.substr(0, e))
    if (IsDigit(ch)) digits += ch;
  int exponent = 0;
  std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = Value < 0 ? "-" : "";
  const int n = static_cast<int>(digits.size());
  if (exponent >= -5 && exponent < Precision) {
    if (exponent >= 0) {
      const int intDigits = exponent + 1;
      if (n <= intDigits) {
        out += digits;
        out.append(static_cast<std::size_t>(intDigits - n), '0');
      } else {
        out.append(digits, 0, static_cast<std::size_t>(intDigits));
        out += DecimalSeparator;
        out.append(digits, static_cast<std::size_t>(intDigits));
      }
    } else {
      out += '0';
      out += DecimalSeparator;
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += digits;
    }
    return out;
  }
  out += digits[0];
  if (n > 1) {
    out += DecimalSeparator;
    out.append(digits, 1);
  }
  return out + "E" + std::to_string(exponent);
}

namespace {

std::optional<TNumberLocale>& ProcessLocaleSlot() {
  static std::optional<TNumberLocale> Slot;
  return Slot;
}

}  // namespace

const TNumberLocale& ProcessNumberLocale() {
  auto& Slot = ProcessLocaleSlot();
  if (!Slot) Slot = TNumberLocale::Current();
  return *Slot;
}

void SetProcessNumberLocale(const TNumberLocale& Locale) { ProcessLocaleSlot() = Locale; }

TNumberLocale TNumberLocale::Current() {
  const std::lconv* lc = std::localeconv();
  TNumberLocale L;
  L.DecimalPoint = lc->decimal_point && *lc->decimal_point ? lc->decimal_point : ".";
  L.ThousandsSep = lc->thousands_sep ? lc->thousands_sep : "";
  L.Grouping = lc->grouping ? lc->grouping : "";
  L.MonDecimalPoint = lc->mon_decimal_point && *lc->mon_decimal_point ? lc->mon_decimal_point : L.DecimalPoint;
  L.MonThousandsSep = lc->mon_thousands_sep ? lc->mon_thousands_sep : "";
  L.MonGrouping = lc->mon_grouping ? lc->mon_grouping : "";
  L.CurrencySymbol = lc->currency_symbol ? lc->currency_symbol : "";
  L.FracDigits = lc->frac_digits == CHAR_MAX ? 2 : std::min<int>(lc->frac_digits, kMaxPrecision);
  L.CurrencyPrecedes = lc->p_cs_precedes == 1;
  L.CurrencySeparated = lc->p_sep_by_space == 1;
  return L;
}

bool IsValidNumberFormat(std::string_view Pattern) { return ParsePattern(Pattern).has_value(); }

std::string FormatNumber(std::string_view Pattern, double Value, const TNumberLocale& Locale) {
  const std::optional<TConversion> c = ParsePattern(Pattern);
  return Format(c ? *c : DefaultConversion(), Value, Locale);
}

std::string FormatNumber(std::string_view Pattern, double Value) {
  return FormatNumber(Pattern, Value, TNumberLocale::Current());
}

std::string FloatToStr(double Value, const TFormatSettings& Format) {
  return FormatGeneral(Value, kSignificantDigits, std::string_view(&Format.DecimalSeparator, 1));
}

bool TryStrToFloat(std::string_view Text, double& Value, const TFormatSettings& Format) {
  const std::string_view s = TrimBlanks(Text);
  // Rebuilt in the one form from_chars reads: "." as the separator and no
  // leading "+" (which from_chars refuses).
  std::string plain;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') plain += '-';
    ++i;
  }
  std::size_t digits = 0;
  for (; i < s.size() && IsDigit(s[i]); ++i, ++digits) plain += s[i];
  if (i < s.size() && s[i] == Format.DecimalSeparator) {
    plain += '.';
    for (++i; i < s.size() && IsDigit(s[i]); ++i, ++digits) plain += s[i];
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) plain += s[i++];
    std::size_t expDigits = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i, ++expDigits) plain += s[i];
    if (expDigits == 0) return false;
  }
  if (i != s.size()) return false;
  double v = 0;
  const auto r = std::from_chars(plain.data(), plain.data() + plain.size(), v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != plain.data() + plain.size() || !std::isfinite(v)) return false;
  Value = v;
  return true;
}

std::string BoolToStr(bool Value) { return Value ? "true" : "false"; }

bool StrToBool(std::string_view Text) {
  if (SameText(Text, "true")) return true;
  if (SameText(Text, "false")) return false;
  double number = 0;
  if (TryStrToFloat(Text, number, EnUsFormat)) return number != 0;
  throw EConvertError(Quoted(Text) + " không phải là giá trị Boolean (true hoặc false)");
}

std::int64_t StrToInt64(std::string_view Text) {
  std::string_view s = TrimBlanks(Text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  std::int64_t v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size())
    throw EConvertError(Quoted(Text) + " không phải là số nguyên hợp lệ");
  return v;
}

bool TryStrToInt(std::string_view Text, int& Value) {
  std::string_view s = TrimBlanks(Text);
  if (s.size() > 1 && s[0] == '+' && s[1] != '-') s.remove_prefix(1);  // from_chars refuses "+"
  int v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
  Value = v;
  return true;
}

}  // namespace velkor
