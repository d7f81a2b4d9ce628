// The conversions as Windows makes them at code page 65001 with flags 0, for systems without
// those functions. Malformed input never fails: it becomes U+FFFD.
#include "game/text_codec.h"

#include <cstdint>

#include "core/utf8_encoding.h"

namespace palaverlink {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

// Writes the code point at `out` as one unit or a surrogate pair and returns the end.
char16_t* PutUtf16(char16_t* out, char32_t code_point) {
  if (code_point < 0x10000) {
    *out++ = static_cast<char16_t>(code_point);
    return out;
  }
  const char32_t offset = code_point - 0x10000;
  *out++ = static_cast<char16_t>(0xD800 + (offset >> 10));
  *out++ = static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
  return out;
}

}  // namespace

// Both conversions write into room for the longest possible result and cut it to size at the end:
// a unit gives at most three bytes (a pair four bytes for two units), a byte at most one unit.
std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out(text.size() * 3, '\0');
  char* const begin = out.data();
  char* end = begin;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80) {
      *end++ = static_cast<char>(unit);
    } else if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      end = PutUtf8(end, CodePointOfPair(unit, text[i + 1]));
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      end = PutUtf8(end, kReplacement);
    } else {
      end = PutUtf8(end, unit);
    }
  }
  out.resize(static_cast<std::size_t>(end - begin));
  return out;
}

// A sequence that turns out invalid gives one U+FFFD for the bytes read into it; a byte that is
// not a continuation byte ends the sequence without being part of it and is read anew. A lead byte
// announcing more bytes than the text has left gives one U+FFFD for the rest of the text.
std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out(text.size(), u'\0');
  char16_t* const begin = out.data();
  char16_t* end = begin;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) {
      *end++ = lead;
      continue;
    }
    const int needed = ContinuationCount(lead);
    if (needed == 0) {
      *end++ = kReplacement;
      continue;
    }
    if (text.size() - i < static_cast<std::size_t>(needed)) {
      // A sequence cut short by the end of the text swallows whatever follows its lead byte.
      *end++ = kReplacement;
      break;
    }
    char32_t code_point = lead & (0x3Fu >> needed);
    bool valid = true;
    for (int read = 0; read < needed; ++read) {
      if (!IsContinuation(static_cast<unsigned char>(text[i]))) {
        valid = false;
        break;
      }
      const auto byte = static_cast<unsigned char>(text[i++]);
      code_point = (code_point << 6) | (byte & 0x3Fu);
      if (read == 0 && !SecondByteFits(lead, byte)) {
        valid = false;
        break;
      }
    }
    if (valid) {
      end = PutUtf16(end, code_point);
    } else {
      *end++ = kReplacement;
    }
  }
  out.resize(static_cast<std::size_t>(end - begin));
  return out;
}

}  // namespace palaverlink
