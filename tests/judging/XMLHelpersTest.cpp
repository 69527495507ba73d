// The en-us number text of the XML files, attribute reads with defaults,
// and the user's number pattern. Every number test runs under the C locale
// and again under a locale whose decimal separator is a comma: the XML text
// must not change.

#include "judging/XMLHelpers.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>

#include <gtest/gtest.h>

#include "core/NumberFormat.h"
#include "judging/NumberFormat.h"
#include "tests/judging/CommaLocale.h"

namespace velkor {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

enum class TLocaleKind { C, Comma };

class UnderLocale : public ::testing::TestWithParam<TLocaleKind> {
 protected:
  void SetUp() override {
    if (GetParam() == TLocaleKind::Comma) {
      comma_.emplace();
      if (!comma_->Active()) GTEST_SKIP() << "no locale with a decimal comma could be installed";
    }
  }
  std::optional<testing::ScopedCommaLocale> comma_;
};

INSTANTIATE_TEST_SUITE_P(Locales, UnderLocale, ::testing::Values(TLocaleKind::C, TLocaleKind::Comma),
                         [](const auto& info) { return info.param == TLocaleKind::C ? "C" : "DecimalComma"; });

TEST_P(UnderLocale, FloatTextIsTheGeneralFormatWithAPoint) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {1, "1"},
      {0.5, "0.5"},
      {0.1, "0.1"},
      {1024, "1024"},
      {-1, "-1"},
      {7.5, "7.5"},
      {1.0 / 3, "0.333333333333333"},  // 15 significant digits
      {2.0 / 3, "0.666666666666667"},  // rounded, not cut
      {0, "0"},
      {-0.0, "0"},
      {123456789012345.0, "123456789012345"},     // 15 integer digits: still fixed
      {1234567890123456.0, "1.23456789012346E15"},  // 16: exponent
      {1e20, "1E20"},
      {0.00001, "0.00001"},  // the smallest fixed magnitude
      {1.5e-6, "1.5E-6"},
      {-2.5e-7, "-2.5E-7"},
      {kNaN, "NAN"},
      {kInf, "INF"},
      {-kInf, "-INF"},
  };
  for (const Case& c : cases) EXPECT_EQ(FloatToStr(c.value, EnUsFormat), c.text) << c.value;
}

TEST_P(UnderLocale, FloatTextParsesOnlyTheEnUsForm) {
  struct Good {
    const char* text;
    double value;
  } good[] = {
      {"0.5", 0.5}, {" 1.5 ", 1.5}, {"+2", 2},   {"-1", -1},      {".5", 0.5},
      {"5.", 5},    {"1E3", 1000},  {"1e-2", 0.01}, {"1.5E-6", 1.5e-6}, {"-0", 0},
  };
  for (const Good& g : good) {
    double v = -99;
    EXPECT_TRUE(TryStrToFloat(g.text, v, EnUsFormat)) << g.text;
    EXPECT_DOUBLE_EQ(v, g.value) << g.text;
  }
  const char* bad[] = {"",  " ",    "abc", "0,5",  "1,000", "1.2.3", "inf", "NAN", "0x10",
                       "1e", "1e+", "--1", "1e400", "5 5",  "1.5x",  ".",   "E5"};
  for (const char* text : bad) {
    double v = 42;
    EXPECT_FALSE(TryStrToFloat(text, v, EnUsFormat)) << text;
    EXPECT_EQ(v, 42) << "a failed parse leaves the value alone: " << text;
  }
}

TEST_P(UnderLocale, FloatTextRoundTrips) {
  for (double v : {0.5, 0.1, 7.25, -3.75, 1e-7, 123.456, 1e300, 5e-300, 99999.99999})
    for (double s : {1.0, -1.0}) {
      double back = 0;
      ASSERT_TRUE(TryStrToFloat(FloatToStr(v * s, EnUsFormat), back, EnUsFormat)) << v * s;
      EXPECT_DOUBLE_EQ(back, v * s);
    }
}

TEST_P(UnderLocale, AttributesReadWithDefaults) {
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(
      R"(<E F="0.5" Comma="0,5" Bad="abc" T="TRUE" F0="0" F1="false" N="2" Y="yes" I="42" Neg="-7" Big="99999999999" S=" x y "/>)"));
  const pugi::xml_node e = doc.child("E");

  EXPECT_EQ(ReadXMLAttribute(e, "F", 2.5), 0.5);
  EXPECT_EQ(ReadXMLAttribute(e, "Missing", 2.5), 2.5);
  EXPECT_EQ(ReadXMLAttribute(e, "Bad", 2.5), 2.5) << "a float default absorbs bad text";
  EXPECT_EQ(ReadXMLAttribute(e, "Comma", 2.5), 2.5) << "the decimal comma is never read";

  EXPECT_TRUE(ReadXMLAttribute(e, "T", false));
  EXPECT_FALSE(ReadXMLAttribute(e, "F0", true));
  EXPECT_FALSE(ReadXMLAttribute(e, "F1", true));
  EXPECT_TRUE(ReadXMLAttribute(e, "N", false)) << "a non-zero number is True";
  EXPECT_TRUE(ReadXMLAttribute(e, "Missing", true));
  EXPECT_THROW(ReadXMLAttribute(e, "Y", false), EConvertError);

  EXPECT_EQ(ReadXMLAttribute(e, "I", 0), 42);
  EXPECT_EQ(ReadXMLAttribute(e, "Neg", 0), -7);
  EXPECT_EQ(ReadXMLAttribute(e, "Missing", 5), 5);
  EXPECT_THROW(ReadXMLAttribute(e, "Bad", 0), EConvertError);
  EXPECT_THROW(ReadXMLAttribute(e, "F", 0), EConvertError) << "integers are digits only";
  EXPECT_THROW(ReadXMLAttribute(e, "Big", 0), EConvertError);
  EXPECT_EQ(ReadXMLAttribute(e, "Big", std::int64_t{0}), 99999999999);

  EXPECT_EQ(ReadXMLAttribute(e, "S", ""), " x y ") << "strings as they stand";
  EXPECT_EQ(ReadXMLAttribute(e, "Missing", "default"), "default") << "a literal default reads a string";
  // The jury reads these: what is wrong first, then the attribute and its text.
  struct Case {
    std::function<void()> read;
    const char* message;
  } cases[] = {
      {[&] { ReadXMLAttribute(e, "Y", false); },
       R"(Giá trị của thuộc tính "Y" không hợp lệ: "yes" không phải là giá trị Boolean (true hoặc false))"},
      {[&] { ReadXMLAttribute(e, "Big", 0); },
       R"(Giá trị của thuộc tính "Big" không hợp lệ: "99999999999" vượt quá phạm vi số nguyên 32 bit)"},
  };
  for (const Case& c : cases) {
    try {
      c.read();
      ADD_FAILURE() << c.message;
    } catch (const EConvertError& error) {
      EXPECT_EQ(std::string(error.what()), c.message);
    }
  }
}

TEST_P(UnderLocale, AttributesWriteInOrderAndInEnUs) {
  pugi::xml_document doc;
  pugi::xml_node e = doc.append_child("E");
  WriteXMLAttribute(e, "A", 0.1);
  WriteXMLAttribute(e, "B", true);
  WriteXMLAttribute(e, "C", 3);
  WriteXMLAttribute(e, "D", "text");
  WriteXMLAttribute(e, "A", 1234.5);  // an existing attribute keeps its place
  std::string names;
  for (const pugi::xml_attribute a : e.attributes()) names += a.name();
  EXPECT_EQ(names, "ABCD");
  EXPECT_STREQ(e.attribute("A").value(), "1234.5");
  EXPECT_STREQ(e.attribute("B").value(), "true");
  EXPECT_STREQ(e.attribute("C").value(), "3");
}

TEST(AppendLine, KeepsOrderAndEmbeddedLineBreaks) {
  TStringList L;
  for (const char* line : {"first", "", "two\r\nlines", "last"}) AppendLine(L, line);
  EXPECT_EQ(L, (TStringList{"first", "", "two\r\nlines", "last"}));
}

// ---- the user's number pattern -----------------------------------------

TNumberLocale EnglishLike() {
  TNumberLocale L;
  L.DecimalPoint = ".";
  L.ThousandsSep = ",";
  L.Grouping = "\3";
  L.MonDecimalPoint = ".";
  L.MonThousandsSep = ",";
  L.MonGrouping = "\3";
  L.CurrencySymbol = "$";
  L.FracDigits = 2;
  L.CurrencyPrecedes = true;
  return L;
}

TNumberLocale GermanLike() {
  TNumberLocale L;
  L.DecimalPoint = ",";
  L.ThousandsSep = ".";
  L.Grouping = "\3\3";
  L.MonDecimalPoint = ",";
  L.MonThousandsSep = ".";
  L.MonGrouping = "\3\3";
  L.CurrencySymbol = "€";
  L.FracDigits = 2;
  L.CurrencySeparated = true;
  return L;
}

TEST(NumberParsers, TryStrToIntTakesOnlyThe32BitRange) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  } cases[] = {
      {"12", true, 12},          {" +7 ", true, 7},        {"-2147483648", true, INT32_MIN},
      {"2147483647", true, INT32_MAX}, {"2147483648", false, 0}, {"1e3", false, 0},
      {"", false, 0},            {"12x", false, 0},        {"0x10", false, 0},
      {"+-1", false, 0},         {" ", false, 0},
  };
  for (const Case& c : cases) {
    int v = -99;
    EXPECT_EQ(TryStrToInt(c.text, v), c.ok) << c.text;
    EXPECT_EQ(v, c.ok ? c.value : -99) << c.text;
  }
}

TEST(NumberFormat, FormatsOneFloatConversion) {
  struct Case {
    const char* pattern;
    double value;
    const char* english;
    const char* german;
  } cases[] = {
      {"%.2n", 1234567.891, "1,234,567.89", "1.234.567,89"},
      {"%.2n", -1234.5, "-1,234.50", "-1.234,50"},
      {"%.2n", 999.999, "1,000.00", "1.000,00"},
      {"%.2n", 12, "12.00", "12,00"},
      {"%.0n", 1234.6, "1,235", "1.235"},
      {"%n", 1234.5, "1,234.50", "1.234,50"},
      {"%.2N", 1234, "1,234.00", "1.234,00"},
      {"%.2f", 1234.5, "1234.50", "1234,50"},
      {"%8.2f", 3.14159, "    3.14", "    3,14"},
      {"%-8.2f|", 3.14159, "3.14    |", "3,14    |"},
      {"%08.2f", -3.14159, "-0003.14", "-0003,14"},
      {"%+.1f", 2, "+2.0", "+2,0"},
      {"% .1f", 2, " 2.0", " 2,0"},
      {"Điểm: %.1f đ", 7.26, "Điểm: 7.3 đ", "Điểm: 7,3 đ"},
      {"100%% = %.2n", 1, "100% = 1.00", "100% = 1,00"},
      {"%0:.2n", 1, "1.00", "1,00"},
      {"%.3e", 1234.5, "1.23E+003", "1,23E+003"},
      {"%e", -0.5, "-5.00000000000000E-001", "-5,00000000000000E-001"},
      {"%g", 0.5, "0.5", "0,5"},
      {"%g", 1e20, "1E20", "1E20"},
      {"%.3g", 1234.5, "1.23E3", "1,23E3"},
      {"%m", 1234.5, "$1,234.50", "1.234,50 €"},
      {"%.2n", -0.001, "0.00", "0,00"},  // no minus on a value that shows as zero
      {"%.2n", kNaN, "NAN", "NAN"},
      {"%8.2n", -kInf, "    -INF", "    -INF"},
      {"%.2n", 1e25, "10,000,000,000,000,000,905,969,664.00", "10.000.000.000.000.000.905.969.664,00"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(IsValidNumberFormat(c.pattern)) << c.pattern;
    EXPECT_EQ(FormatNumber(c.pattern, c.value, EnglishLike()), c.english) << c.pattern;
    EXPECT_EQ(FormatNumber(c.pattern, c.value, GermanLike()), c.german) << c.pattern;
  }
}

// A value exactly half way between two results rounds away from zero; a
// value merely written with a final 5 (2.675 is stored a little below it)
// rounds to the nearer result as always.
TEST(NumberFormat, ExactHalvesRoundAwayFromZero) {
  struct Case {
    const char* pattern;
    double value;
    const char* text;
  } cases[] = {
      {"%.2n", 0.125, "0.13"},         {"%.2n", -0.125, "-0.13"},    {"%.2n", 1234.125, "1,234.13"},
      {"%.2n", 0.375, "0.38"},         {"%.2m", 0.625, "$0.63"},     {"%.0f", 2.5, "3"},
      {"%.0f", 3.5, "4"},              {"%.0f", -0.5, "-1"},         {"%.1f", 0.25, "0.3"},
      {"%.2n", 2.675, "2.67"},         {"%.2n", 1.005, "1.00"},      {"%.2f", 0.0625, "0.06"},
      {"%.1e", 25, "3E+001"},          {"%.2e", -0.125, "-1.3E-001"}, {"%.2g", 0.125, "0.13"},
      {"%.2g", 125, "1.3E2"},          {"%.2g", 135, "1.4E2"},       {"%.2n", 0.115, "0.12"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatNumber(c.pattern, c.value, EnglishLike()), c.text) << c.pattern << " " << c.value;
  // The same rule for the numbers of the XML files.
  EXPECT_EQ(FloatToStr(1234567890123445.0, EnUsFormat), "1.23456789012345E15");
  EXPECT_EQ(FloatToStr(-1234567890123445.0, EnUsFormat), "-1.23456789012345E15");
}

TEST(NumberFormat, AnythingElseIsFormattedAsTheDefault) {
  const char* patterns[] = {"",      "abc",   "%d",    "%s",  "%.2n %.2n", "%*.2f", "%1:.2n", "%.2",
                            "%",     "%.n",   "%999.2f", "%.2x", "%n%",    "%p",    "%ls",    "%.2n%n"};
  for (const char* pattern : patterns) {
    EXPECT_FALSE(IsValidNumberFormat(pattern)) << pattern;
    EXPECT_EQ(FormatNumber(pattern, 1234.5, EnglishLike()), "1,234.50") << pattern;
  }
}

TEST(NumberFormat, LimitsWidthAndPrecision) {
  EXPECT_EQ(FormatNumber("%255.0f", 1, EnglishLike()).size(), 255u);
  EXPECT_FALSE(IsValidNumberFormat("%256.0f"));
  EXPECT_EQ(FormatNumber("%.99f", 0.5, EnglishLike()), "0.50000000000000000000") << "precision capped at 20";
}

TEST(NumberFormat, ScoresFollowTheBoundPatternInTheCurrentLocale) {
  struct Restore {
    ~Restore() { SetNumberFormatSource(nullptr); }
  } restore;
  EXPECT_EQ(FormatScore(8.5), "8.50") << "unbound: %.2n, and C has no grouping";
  SetNumberFormatSource([] { return std::string("%.1f"); });
  EXPECT_EQ(FormatScore(7.26), "7.3");
  SetNumberFormatSource([] { return std::string(); });
  EXPECT_EQ(FormatScore(1234.5), "1234.50") << "an empty pattern means the default";
  SetNumberFormatSource([] { return std::string("%s%s%n"); });
  EXPECT_EQ(FormatScore(1234.5), "1234.50") << "a hostile pattern never reaches printf";

  VELKOR_REQUIRE_COMMA_LOCALE(comma);
  SetNumberFormatSource(nullptr);
  EXPECT_EQ(FormatScore(1234567.891), "1.234.567,89");
  EXPECT_EQ(FormatNumber("%.2f", 0.5), "0,50");
}

}  // namespace
}  // namespace velkor
