// The general number routines of the system: the user's number pattern,
// the general float format, and the locale-free text of numbers in files
// with its parsers. Nothing here depends on the judging core, so the GUI
// components use the same routines as the contest files.
//
// The pattern is text the user typed, so it is never handed to printf. It is
// read by our own small formatter, which accepts literal text, "%%", and
// exactly one conversion:
//
//   "%" [index "0:"] [flags "-", "+", " ", "0"] [width] ["." precision] type
//
//   f  fixed notation, precision digits after the separator (default 2)
//   n  as f, with the locale's digit grouping
//   m  money: as n with the locale's monetary separators, grouping,
//      currency symbol and number of decimals (the default precision)
//   e  scientific, precision significant digits (default 15),
//      "E", a sign and at least three exponent digits
//   g  the general format, precision significant digits (default 15)
//
// Every conversion rounds a value lying exactly half way between two
// results away from zero (0.125 at two decimals gives "0.13").
// Type letters may be upper case. "-" left-aligns within the width, "+"
// and " " put a sign or a blank before positive values, "0" pads with
// zeros after the sign. Width is at most 255 and precision is capped at 20.
// Any other pattern (no conversion, two conversions, another type letter,
// "*", a bad index) is formatted as "%.2n".
//
// The file side (FloatToStr in EnUsFormat, TryStrToFloat, StrToInt64)
// never depends on the process locale: values are written and parsed with
// std::to_chars/std::from_chars, which ignore it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velkor {

// The pattern the formatter falls back to.
inline constexpr std::string_view kDefaultNumberFormat = "%.2n";

// The separators of a locale as the formatter uses them. Empty grouping
// means no grouping; otherwise the bytes follow localeconv(): sizes from
// the right, the last one repeating, CHAR_MAX ending the grouping.
struct TNumberLocale {
  std::string DecimalPoint = ".";
  std::string ThousandsSep;
  std::string Grouping;
  std::string MonDecimalPoint = ".";
  std::string MonThousandsSep;
  std::string MonGrouping;
  std::string CurrencySymbol;
  int FracDigits = 2;              // decimals of a money value
  bool CurrencyPrecedes = false;   // symbol before the number
  bool CurrencySeparated = false;  // a blank between symbol and number

  // The conventions of the process's current LC_NUMERIC and LC_MONETARY
  // (the user's, once the program has called setlocale(LC_ALL, "")).
  static TNumberLocale Current();
};

// The one process-wide setting of the separators the GUI shows numbers
// with: the user's locale (TNumberLocale::Current()) when first asked,
// until SetProcessNumberLocale replaces it. GUI thread only.
const TNumberLocale& ProcessNumberLocale();
void SetProcessNumberLocale(const TNumberLocale& Locale);

// Value in the general format with Precision significant digits (1 to 17):
// fixed notation while it has at most Precision integer digits and its
// magnitude is at least 0.00001, else a mantissa, "E" and the exponent
// without "+" or leading zeros; exact halves rounded away from zero,
// trailing zeros dropped. Not-a-number and the infinities give "NAN",
// "INF" and "-INF".
std::string FormatGeneral(double Value, int Precision, std::string_view DecimalSeparator);

// True when Pattern is one the formatter accepts as it stands.
bool IsValidNumberFormat(std::string_view Pattern);

// Value formatted with Pattern (or "%.2n" when Pattern is not valid).
std::string FormatNumber(std::string_view Pattern, double Value, const TNumberLocale& Locale);
std::string FormatNumber(std::string_view Pattern, double Value);  // in TNumberLocale::Current()

// The number conventions of one locale, as far as FloatToStr writes and
// TryStrToFloat parses numbers with them.
struct TFormatSettings {
  char DecimalSeparator;
  char ThousandSeparator;  // never written by FloatToStr, never accepted by TryStrToFloat
};

// The "en-us" format of every floating-point value in the XML files. It is
// a constant, so it exists before the first number is written or parsed.
inline constexpr TFormatSettings EnUsFormat{'.', ','};

// Value in the general format: fixed notation while it has at most 15
// integer digits and its magnitude is at least 0.00001, else a mantissa,
// "E" and the exponent without "+" or leading zeros; 15 significant digits,
// trailing zeros dropped. Not-a-number and the infinities give "NAN",
// "INF" and "-INF".
std::string FloatToStr(double Value, const TFormatSettings& Format);

// Parses a decimal number: optional blanks, an optional sign, digits with
// at most one decimal separator (at least one digit in all), an optional
// exponent "E" or "e" with an optional sign and digits, optional blanks.
// False, with Value unchanged, for anything else: thousands separators,
// "INF", "NAN", hexadecimal, or a value outside the range of double.
bool TryStrToFloat(std::string_view Text, double& Value, const TFormatSettings& Format);

// The text of a Boolean, and the reverse conversion: "true" or "false" in
// any letter case, or a number in the en-us format (0 is False, any other
// number True). Raises EConvertError (core/ConvertError.h) for anything
// else.
std::string BoolToStr(bool Value);
bool StrToBool(std::string_view Text);
// Decimal digits with an optional sign and surrounding blanks; raises
// EConvertError otherwise or when the value does not fit.
std::int64_t StrToInt64(std::string_view Text);
// The same for a signed 32-bit value, without raising: false, with Value
// unchanged, when Text does not convert or the value does not fit.
bool TryStrToInt(std::string_view Text, int& Value);

}  // namespace velkor
