// What every XML reader and every report of the judging core shares: one
// attribute read with a default, the "en-us" number text of the XML files
// (its routines are core/NumberFormat.h), and the line list the report
// texts grow.
//
// Numbers in the XML files never depend on the process locale, so a judge
// started under a locale with a decimal comma reads and writes exactly the
// bytes any other judge does.
//
// Value text in the judging core's XML files:
//   strings      as they stand
//   Booleans     "true" or "false"
//   integers     decimal digits (enumerations by their ordinal)
//   floats       the general format, at most 15 significant digits, "." as
//                the decimal separator, no grouping: "1", "0.5", "1024",
//                "-1", "1E20", "1.5E-6"
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "core/ConvertError.h"
#include "core/NumberFormat.h"

namespace velkor {

// ReadXMLAttribute(Node, Name, Default): the value of attribute Name of
// element Node, or Default when the element has no such attribute.
//  - A floating-point Default: the text is parsed in EnUsFormat; text that
//    does not parse gives Default.
//  - A Boolean or integer Default: the text is converted (StrToBool,
//    StrToInt64); text that does not convert raises EConvertError, naming
//    the attribute and its text.
//  - A string Default: the text as it stands.
double ReadXMLAttribute(pugi::xml_node Node, const char* Name, double Default);
bool ReadXMLAttribute(pugi::xml_node Node, const char* Name, bool Default);
int ReadXMLAttribute(pugi::xml_node Node, const char* Name, int Default);
std::int64_t ReadXMLAttribute(pugi::xml_node Node, const char* Name, std::int64_t Default);
std::string ReadXMLAttribute(pugi::xml_node Node, const char* Name, const std::string& Default);
// A string literal as the default reads a string, never a Boolean.
std::string ReadXMLAttribute(pugi::xml_node Node, const char* Name, const char* Default);

// The writing side: sets attribute Name of Node to the value text, adding
// the attribute at the end when Node has none yet (so a fresh element gets
// its attributes in the order they are written).
void WriteXMLAttribute(pugi::xml_node Node, const char* Name, const std::string& Value);
void WriteXMLAttribute(pugi::xml_node Node, const char* Name, const char* Value);
void WriteXMLAttribute(pugi::xml_node Node, const char* Name, double Value);  // FloatToStr in EnUsFormat
void WriteXMLAttribute(pugi::xml_node Node, const char* Name, bool Value);
void WriteXMLAttribute(pugi::xml_node Node, const char* Name, int Value);
void WriteXMLAttribute(pugi::xml_node Node, const char* Name, std::int64_t Value);

// Removes every child node of Node (elements, text, comments).
void RemoveChildNodes(pugi::xml_node Node);

// Calls Visit with each child element of Node, in order; text and comments
// between them are passed over.
template <class Visitor>
void ForEachElement(pugi::xml_node Node, Visitor&& Visit) {
  for (pugi::xml_node child = Node.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element) Visit(child);
}

// A list of text lines; a line may itself hold line breaks.
using TStringList = std::vector<std::string>;

// Appends Text to L. When the list is full its capacity first grows to
// twice the capacity plus one, so a report grows in few steps.
void AppendLine(TStringList& L, std::string_view Text);

}  // namespace velkor
