// Scores as the jury sees them: the environment's number pattern (default
// "%.2n") applied to one floating-point value in the user's locale.
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
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace velkor {

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

// Where score texts take their pattern from: the environment settings bind
// their NumberFormat here at start-up; without a binding (or when it gives
// an empty text) scores use "%.2n". Returns the previous source.
using TNumberFormatSource = std::function<std::string()>;
TNumberFormatSource SetNumberFormatSource(TNumberFormatSource Source);

// Value formatted with the bound pattern in the current locale: the text
// of a score in reports and logs.
std::string FormatScore(double Value);

}  // namespace velkor
