// The host's UTF-8 <-> UTF-16 conversion, malformed input included.
#include <gtest/gtest.h>

#include "devhost/text.h"

namespace devhost {
namespace {

struct Case {
  const char* name;
  std::string utf8;
  std::u16string utf16;
};

TEST(Text, WellFormedTextRoundTrips) {
  const Case cases[] = {
      {"empty", "", u""},
      {"ascii with zero", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"two bytes", "\xC3\xA9", u"\u00E9"},
      {"three bytes", "\xE2\x82\xAC", u"\u20AC"},
      {"surrogate pair", "\xF0\x9F\x90\xBA", u"\U0001F43A"},
      {"highest", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToUtf16(c.utf8), c.utf16) << c.name;
    EXPECT_EQ(ToUtf8(c.utf16), c.utf8) << c.name;
  }
}

TEST(Text, MalformedUtf8BecomesReplacementCharacters) {
  const Case cases[] = {
      {"lone continuation", "a\x80z", u"a\uFFFDz"},
      {"truncated sequence", "\xE2\x82", u"\uFFFD"},
      {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"bad continuation then ascii", "\xE2(x", u"\uFFFD(x"},
  };
  for (const Case& c : cases) EXPECT_EQ(ToUtf16(c.utf8), c.utf16) << c.name;
}

TEST(Text, LoneSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t{0xD83D})), "\xEF\xBF\xBD");
  EXPECT_EQ(ToUtf8(std::u16string{char16_t{0xDC00}, u'a'}),
            "\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(ToUtf8(std::u16string{char16_t{0xD800}, char16_t{0xD800}, char16_t{0xDC00}}),
            "\xEF\xBF\xBD\xF0\x90\x80\x80");
}

}  // namespace
}  // namespace devhost
