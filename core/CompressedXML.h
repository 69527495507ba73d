// XML documents as the system stores them: plain text in files named
// "*.xml", a single zlib stream in every other file and in every stream.
//
// The documents are pugixml documents with the system's formatting: one tab
// per nesting level and the declaration <?xml version="1.0" encoding="UTF-8"?>.
// Saving a file is atomic: the text goes to a temporary file in the same
// folder, which then replaces the target, so a failed save leaves the old
// file whole. Every failure raises EXMLError with a message for the jury:
// what failed, in Vietnamese, then the file (or "luồng dữ liệu XML") and the
// technical reason (the system's, zlib's or the parser's, put in Vietnamese
// words, and the offset).
#pragma once

#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <cstddef>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace velkor {

class EXMLError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The most a compressed document may unpack to. A few bytes of deflated
// data can stand for gigabytes; a document of a foreign archive must not
// take all the memory. Real contests stay far below it.
inline std::size_t MaxUnpackedXMLBytes = std::size_t{512} << 20;

// True when FileName's extension (from the last dot of its last component)
// is ".xml" in any letter case.
bool IsPlainXMLFileName(std::string_view FileName);

class TFormattedXML : public pugi::xml_document {
 public:
  TFormattedXML() = default;
  virtual ~TFormattedXML() = default;

  // The child element Name of Parent, created when it is missing, so that a
  // setting never written before reads as an empty node.
  static pugi::xml_node ChildNode(pugi::xml_node Parent, const std::string& Name);
  // The value of attribute Name, or nothing when the attribute is missing.
  static std::optional<std::string> AttributeValue(pugi::xml_node Node, const std::string& Name);

  // The document as UTF-8 text with the declaration and tab indentation.
  std::string XML();
  // Replaces the document by Text, whose encoding is detected from a byte
  // order mark or the declaration. Origin names the source in errors.
  void LoadXML(std::string_view Text, const std::string& Origin);

  virtual void LoadFromFile(const std::string& FileName);  // plain XML
  virtual void SaveToFile(const std::string& FileName);    // plain XML

  // The permission bits a saved file gets. Unset, a file that exists keeps
  // its own and a new one gets 0666 less the umask.
  std::optional<unsigned> FilePermissions;

 protected:
  // Writes Bytes to FileName through a temporary file in the same folder.
  void ReplaceFile(const std::string& FileName, std::string_view Bytes) const;
};

class TCompressedXML : public TFormattedXML {
 public:
  // "*.xml" plain, anything else compressed.
  void LoadFromFile(const std::string& FileName) override;
  void SaveToFile(const std::string& FileName) override;

  // One zlib stream holding the document's text, and nothing else.
  void LoadFromStream(std::istream& Stream);
  void SaveToStream(std::ostream& Stream);

  // The same on a byte buffer (archive entries).
  // Origin names the source in errors ("file \"...\"", an entry's name).
  void LoadFromBytes(std::string_view Bytes, const std::string& Origin = "dữ liệu XML");
  std::string SaveToBytes();
};

// A zlib return code as the jury reads it ("dữ liệu nén bị hỏng").
std::string ZlibErrorText(int Code);

}  // namespace velkor
