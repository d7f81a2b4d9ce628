// Conversions between UTF-8 and UTF-16 as the system converts at code page 65001 with flags 0.
// Both back ends of the text layer run against this one table: the portable one on every build,
// the Windows one (MultiByteToWideChar / WideCharToMultiByte) in the Windows build under Wine 8.
// The malformed cases record what those functions give under Wine. Windows itself may differ where
// a case says so: it may replace every byte of an invalid sequence on its own (one U+FFFD per
// maximal subpart, as Unicode recommends) and convert what follows a sequence cut at the end.
#pragma once

#include <string_view>
#include <vector>

namespace palaverlink::testing {

using namespace std::string_view_literals;

enum class Direction {
  kBoth,         // valid text: each side converts to the other
  kUtf8ToUtf16,  // malformed UTF-8
  kUtf16ToUtf8,  // malformed UTF-16
};

struct TextVector {
  std::string_view name;
  std::string_view utf8;
  std::u16string_view utf16;
  Direction direction;
};

inline const std::vector<TextVector>& TextVectors() {
  static const std::vector<TextVector> vectors = {
      {"empty", ""sv, u""sv, Direction::kBoth},
      {"ascii", "Hello, world"sv, u"Hello, world"sv, Direction::kBoth},
      {"embedded zeros", "a\0b\0"sv, u"a\0b\0"sv, Direction::kBoth},
      {"two-byte letter", "\xC3\xA9t\xC3\xA9"sv, u"\u00E9t\u00E9"sv, Direction::kBoth},
      {"smallest two-byte", "\xC2\x80"sv, u"\u0080"sv, Direction::kBoth},
      {"largest two-byte", "\xDF\xBF"sv, u"\u07FF"sv, Direction::kBoth},
      {"smallest three-byte", "\xE0\xA0\x80"sv, u"\u0800"sv, Direction::kBoth},
      {"euro sign", "\xE2\x82\xAC"sv, u"\u20AC"sv, Direction::kBoth},
      {"below the surrogates", "\xED\x9F\xBF"sv, u"\uD7FF"sv, Direction::kBoth},
      {"above the surrogates", "\xEE\x80\x80"sv, u"\uE000"sv, Direction::kBoth},
      {"replacement character itself", "\xEF\xBF\xBD"sv, u"\uFFFD"sv, Direction::kBoth},
      {"largest BMP unit", "\xEF\xBF\xBF"sv, u"\uFFFF"sv, Direction::kBoth},
      {"smallest pair", "\xF0\x90\x80\x80"sv, u"\xD800\xDC00"sv, Direction::kBoth},
      {"emoji as a surrogate pair", "\xF0\x9F\x98\x80"sv, u"\xD83D\xDE00"sv, Direction::kBoth},
      {"largest code point", "\xF4\x8F\xBF\xBF"sv, u"\xDBFF\xDFFF"sv, Direction::kBoth},
      {"byte order mark", "\xEF\xBB\xBF"sv, u"\uFEFF"sv, Direction::kBoth},
      {"noncharacter U+FFFE", "\xEF\xBF\xBE"sv, u"\uFFFE"sv, Direction::kBoth},

      {"lone high surrogate", "\xEF\xBF\xBD"sv, u"\xD800"sv, Direction::kUtf16ToUtf8},
      {"lone low surrogate", "\xEF\xBF\xBD"sv, u"\xDC00"sv, Direction::kUtf16ToUtf8},
      {"high surrogate at the end", "a\xEF\xBF\xBD"sv, u"a\xD83D"sv, Direction::kUtf16ToUtf8},
      {"pair in reverse order", "\xEF\xBF\xBD\xEF\xBF\xBD"sv, u"\xDE00\xD83D"sv, Direction::kUtf16ToUtf8},
      {"high surrogate before a letter",
       "\xEF\xBF\xBD"
       "A"sv,
       u"\xD83D"
       u"A"sv,
       Direction::kUtf16ToUtf8},
      {"two highs then a low", "\xEF\xBF\xBD\xF0\x9F\x98\x80"sv, u"\xD83D\xD83D\xDE00"sv,
       Direction::kUtf16ToUtf8},

      {"lead byte before a letter", "\xC3("sv, u"\uFFFD("sv, Direction::kUtf8ToUtf16},
      {"three-byte sequence cut at the end", "\xE2\x82"sv, u"\uFFFD"sv, Direction::kUtf8ToUtf16},
      {"two-byte lead at the end", "a\xC3"sv, u"a\uFFFD"sv, Direction::kUtf8ToUtf16},
      {"four-byte sequence cut after a pair", "\xF0\x9F\x98\x80\xF0\x9F"sv, u"\xD83D\xDE00\uFFFD"sv,
       Direction::kUtf8ToUtf16},
      // Windows may give a U+FFFD A here.
      {"short sequence swallows the rest",
       "a\xE2"
       "A"sv,
       u"a\uFFFD"sv, Direction::kUtf8ToUtf16},
      // Windows may give U+FFFD U+00E9 here.
      {"four-byte lead with three bytes left", "\xF0\xC3\xA9"sv, u"\uFFFD"sv, Direction::kUtf8ToUtf16},
      {"interrupted sequence with room left",
       "\xE2\x82"
       "AB"sv,
       u"\uFFFD"
       u"AB"sv,
       Direction::kUtf8ToUtf16},
      {"five-byte form", "\xF8\x88\x80\x80\x80"sv, u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"sv,
       Direction::kUtf8ToUtf16},
      {"overlong two-byte slash", "\xC0\xAF"sv, u"\uFFFD\uFFFD"sv, Direction::kUtf8ToUtf16},
      {"overlong C1", "\xC1\xBF"sv, u"\uFFFD\uFFFD"sv, Direction::kUtf8ToUtf16},
      // Windows may give three U+FFFD for each of the next five.
      {"encoded surrogate", "\xED\xA0\x80"sv, u"\uFFFD\uFFFD"sv, Direction::kUtf8ToUtf16},
      {"overlong three-byte", "\xE0\x80\xAF"sv, u"\uFFFD\uFFFD"sv, Direction::kUtf8ToUtf16},
      {"overlong four-byte", "\xF0\x80\x80\x80"sv, u"\uFFFD\uFFFD\uFFFD"sv, Direction::kUtf8ToUtf16},
      {"above U+10FFFF", "\xF4\x90\x80\x80"sv, u"\uFFFD\uFFFD\uFFFD"sv, Direction::kUtf8ToUtf16},
      {"overlong three-byte at the boundary", "\xE0\x9F\xBF"sv, u"\uFFFD\uFFFD"sv, Direction::kUtf8ToUtf16},
      {"overlong four-byte at the boundary", "\xF0\x8F\xBF\xBF"sv, u"\uFFFD\uFFFD\uFFFD"sv,
       Direction::kUtf8ToUtf16},
      {"lead byte F5", "\xF5\x80\x80\x80"sv, u"\uFFFD\uFFFD\uFFFD\uFFFD"sv, Direction::kUtf8ToUtf16},
      {"lone continuation byte", "\x80"sv, u"\uFFFD"sv, Direction::kUtf8ToUtf16},
      {"stray continuation between letters",
       "a\xBF"
       "b"sv,
       u"a\uFFFD"
       u"b"sv,
       Direction::kUtf8ToUtf16},
      {"bytes FE FF", "\xFE\xFF"sv, u"\uFFFD\uFFFD"sv, Direction::kUtf8ToUtf16},
      {"sequence broken by a zero byte",
       "\xE2\x00"
       "A"sv,
       u"\uFFFD\0A"sv, Direction::kUtf8ToUtf16},
      {"sequence broken by a new lead", "\xE2\xE2\x82\xAC"sv, u"\uFFFD\u20AC"sv, Direction::kUtf8ToUtf16},
      {"two-byte lead before a whole letter", "\xC2\xC3\xA9"sv, u"\uFFFD\u00E9"sv, Direction::kUtf8ToUtf16},
      {"three-byte sequence broken by C0", "\xE1\x80\xC0\x80"sv, u"\uFFFD\uFFFD\uFFFD"sv,
       Direction::kUtf8ToUtf16},
      {"cut four-byte sequence before a whole one", "\xF1\x80\x80\xE1\x80\x80"sv, u"\uFFFD\u1000"sv,
       Direction::kUtf8ToUtf16},
  };
  return vectors;
}

}  // namespace palaverlink::testing
