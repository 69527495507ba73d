#include "core/Unicode.h"

#include <gtest/gtest.h>

namespace velkor {
namespace {

TEST(UnicodeTest, MalformedInputBecomesReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"Đề bài \xF0\x9D\x84\x9E", u"Đề bài \U0001D11E"},  // round trip, a surrogate pair included
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong form
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},             // an encoded surrogate
      {"a\xF4\x90\x80\x80", u"a\uFFFD\uFFFD\uFFFD\uFFFD"}, // beyond U+10FFFF
      {"\xE1\x80", u"\uFFFD\uFFFD"},                       // cut short
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
  EXPECT_EQ(ValidUtf8("ok \xFF!"), "ok \xEF\xBF\xBD!");
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x\xDC00"), "\xEF\xBF\xBDx\xEF\xBF\xBD");  // lone surrogates
  EXPECT_EQ(Utf16ToUtf8(static_cast<const char16_t*>(nullptr)), "");
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("Đề bài \xF0\x9D\x84\x9E")), "Đề bài \xF0\x9D\x84\x9E");
}

}  // namespace
}  // namespace velkor
