#include "judging/XMLHelpers.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <system_error>

#include "core/NameCompare.h"
#include "judging/NumberFormat.h"

namespace velkor {
namespace {

constexpr int kSignificantDigits = 15;

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

[[noreturn]] void RethrowForAttribute(const char* Name, const EConvertError& e) {
  throw EConvertError("Thuộc tính " + Quoted(Name) + ": " + e.what());
}

}  // namespace

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

double ReadXMLAttribute(pugi::xml_node Node, const char* Name, double Default) {
  const pugi::xml_attribute a = Node.attribute(Name);
  if (!a) return Default;
  double v = Default;
  return TryStrToFloat(a.value(), v, EnUsFormat) ? v : Default;
}

bool ReadXMLAttribute(pugi::xml_node Node, const char* Name, bool Default) {
  const pugi::xml_attribute a = Node.attribute(Name);
  if (!a) return Default;
  try {
    return StrToBool(a.value());
  } catch (const EConvertError& e) {
    RethrowForAttribute(Name, e);
  }
}

std::int64_t ReadXMLAttribute(pugi::xml_node Node, const char* Name, std::int64_t Default) {
  const pugi::xml_attribute a = Node.attribute(Name);
  if (!a) return Default;
  try {
    return StrToInt64(a.value());
  } catch (const EConvertError& e) {
    RethrowForAttribute(Name, e);
  }
}

int ReadXMLAttribute(pugi::xml_node Node, const char* Name, int Default) {
  const std::int64_t v = ReadXMLAttribute(Node, Name, static_cast<std::int64_t>(Default));
  if (v < INT_MIN || v > INT_MAX)
    throw EConvertError("Thuộc tính " + Quoted(Name) + ": " + Quoted(Node.attribute(Name).value()) +
                        " vượt quá phạm vi số nguyên 32 bit");
  return static_cast<int>(v);
}

std::string ReadXMLAttribute(pugi::xml_node Node, const char* Name, const std::string& Default) {
  const pugi::xml_attribute a = Node.attribute(Name);
  return a ? std::string(a.value()) : Default;
}

std::string ReadXMLAttribute(pugi::xml_node Node, const char* Name, const char* Default) {
  return ReadXMLAttribute(Node, Name, std::string(Default));
}

void WriteXMLAttribute(pugi::xml_node Node, const char* Name, const std::string& Value) {
  pugi::xml_attribute a = Node.attribute(Name);
  if (!a) a = Node.append_attribute(Name);
  a.set_value(Value.c_str());
}

void WriteXMLAttribute(pugi::xml_node Node, const char* Name, const char* Value) {
  WriteXMLAttribute(Node, Name, std::string(Value));
}

void WriteXMLAttribute(pugi::xml_node Node, const char* Name, double Value) {
  WriteXMLAttribute(Node, Name, FloatToStr(Value, EnUsFormat));
}

void WriteXMLAttribute(pugi::xml_node Node, const char* Name, bool Value) {
  WriteXMLAttribute(Node, Name, BoolToStr(Value));
}

void WriteXMLAttribute(pugi::xml_node Node, const char* Name, int Value) {
  WriteXMLAttribute(Node, Name, std::to_string(Value));
}

void WriteXMLAttribute(pugi::xml_node Node, const char* Name, std::int64_t Value) {
  WriteXMLAttribute(Node, Name, std::to_string(Value));
}

void RemoveChildNodes(pugi::xml_node Node) {
  while (pugi::xml_node c = Node.first_child()) Node.remove_child(c);
}

void AppendLine(TStringList& L, std::string_view Text) {
  if (L.capacity() == L.size()) L.reserve(2 * L.capacity() + 1);
  L.emplace_back(Text);
}

}  // namespace velkor
