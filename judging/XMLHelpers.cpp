#include "judging/XMLHelpers.h"

#include <climits>

namespace velkor {
namespace {

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

// What is wrong first, then the attribute and the text that did not convert.
std::string BadAttribute(const char* Name) { return "Giá trị của thuộc tính " + Quoted(Name) + " không hợp lệ: "; }

[[noreturn]] void RethrowForAttribute(const char* Name, const EConvertError& e) {
  throw EConvertError(BadAttribute(Name) + e.what());
}

}  // namespace

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
    throw EConvertError(BadAttribute(Name) + Quoted(Node.attribute(Name).value()) +
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
