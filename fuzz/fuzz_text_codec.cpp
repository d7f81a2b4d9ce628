// Both text conversions on any bytes, read once as UTF-8 and once as UTF-16 units: valid text
// survives a round trip unchanged and agrees with the development host's own converter; malformed
// text comes out as valid text with replacement characters, never as a failure.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "devhost/text.h"
#include "fuzz_check.h"
#include "game/text_codec.h"

namespace {

using palaverlink::Utf16ToUtf8;
using palaverlink::Utf8ToUtf16;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t minimum = 0;
    char32_t code_point = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, minimum = 0x80, code_point = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, minimum = 0x800, code_point = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, minimum = 0x10000, code_point = lead & 0x07u;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto byte = static_cast<unsigned char>(text[i + k]);
      if (!IsContinuation(byte)) return false;
      code_point = (code_point << 6) | (byte & 0x3Fu);
    }
    if (code_point < minimum || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

bool IsHigh(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The text with every unpaired surrogate replaced by U+FFFD.
std::u16string PairedOnly(std::u16string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1])) {
      out.push_back(text[i]);
      out.push_back(text[++i]);
    } else if (IsHigh(text[i]) || IsLow(text[i])) {
      out.push_back(u'\uFFFD');
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

void CheckAsUtf8(std::string_view bytes) {
  const std::u16string wide = Utf8ToUtf16(bytes);
  FUZZ_CHECK(PairedOnly(wide) == wide, "UTF-16 output with an unpaired surrogate");
  FUZZ_CHECK(wide.size() <= bytes.size(), "more units (%zu) than bytes (%zu)", wide.size(), bytes.size());
  FUZZ_CHECK(bytes.empty() == wide.empty(), "non-empty text converted to nothing, or the reverse");
  const std::string back = Utf16ToUtf8(wide);
  FUZZ_CHECK(IsValidUtf8(back), "UTF-8 output is not valid UTF-8");
  if (IsValidUtf8(bytes)) {
    FUZZ_CHECK(back == bytes, "valid UTF-8 did not survive the round trip");
    FUZZ_CHECK(devhost::ToUtf16(bytes) == wide, "disagrees with the host's converter on valid UTF-8");
  } else {
    FUZZ_CHECK(wide.find(u'\uFFFD') != std::u16string::npos,
               "malformed UTF-8 without a replacement character");
  }
}

void CheckAsUtf16(std::string_view bytes) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  const std::string narrow = Utf16ToUtf8(units);
  FUZZ_CHECK(IsValidUtf8(narrow), "UTF-8 output is not valid UTF-8");
  FUZZ_CHECK(Utf8ToUtf16(narrow) == PairedOnly(units), "UTF-16 did not survive the round trip");
  if (PairedOnly(units) == units) {
    FUZZ_CHECK(devhost::ToUtf8(units) == narrow, "disagrees with the host's converter on valid UTF-16");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckAsUtf8(bytes);
  CheckAsUtf16(bytes);
  return 0;
}
