// The conversions as Windows makes them at code page 65001 with flags 0, for systems without
// those functions. Malformed input never fails: it becomes U+FFFD.
#include "game/text_codec.h"

#include <cstdint>

namespace palaverlink {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsContinuation(unsigned char byte) { return byte >= 0x80 && byte <= 0xBF; }

void AppendUtf8(std::string& out, char32_t code_point) {
  auto put = [&out](std::uint32_t byte) {
    out.push_back(static_cast<char>(static_cast<unsigned char>(byte)));
  };
  const auto cp = static_cast<std::uint32_t>(code_point);
  if (cp < 0x80) {
    put(cp);
  } else if (cp < 0x800) {
    put(0xC0 | (cp >> 6));
    put(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    put(0xE0 | (cp >> 12));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  } else {
    put(0xF0 | (cp >> 18));
    put(0x80 | ((cp >> 12) & 0x3F));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t code_point) {
  if (code_point < 0x10000) {
    out.push_back(static_cast<char16_t>(code_point));
    return;
  }
  const char32_t offset = code_point - 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

// How many continuation bytes a lead byte announces; 0 for a byte that cannot start a sequence.
int ContinuationCount(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return 0;
}

// Whether the first continuation byte keeps the sequence valid: it rules out overlong forms,
// encoded surrogates and values above U+10FFFF.
bool SecondByteFits(unsigned char lead, unsigned char second) {
  switch (lead) {
    case 0xE0:
      return second >= 0xA0;
    case 0xED:
      return second <= 0x9F;
    case 0xF0:
      return second >= 0x90;
    case 0xF4:
      return second <= 0x8F;
    default:
      return true;
  }
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      const char32_t high = unit - 0xD800u;
      const char32_t low = text[i + 1] - 0xDC00u;
      AppendUtf8(out, 0x10000 + (high << 10) + low);
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

// A sequence that turns out invalid gives one U+FFFD for the bytes read into it; a byte that is
// not a continuation byte ends the sequence without being part of it and is read anew. A lead byte
// announcing more bytes than the text has left gives one U+FFFD for the rest of the text.
std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) {
      out.push_back(lead);
      continue;
    }
    const int needed = ContinuationCount(lead);
    if (needed == 0) {
      out.push_back(kReplacement);
      continue;
    }
    if (text.size() - i < static_cast<std::size_t>(needed)) {
      // A sequence cut short by the end of the text swallows whatever follows its lead byte.
      out.push_back(kReplacement);
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
      AppendUtf16(out, code_point);
    } else {
      out.push_back(kReplacement);
    }
  }
  return out;
}

}  // namespace palaverlink
