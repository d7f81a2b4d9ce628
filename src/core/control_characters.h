// Control characters: the bytes below 0x20 and DEL (0x7F). In a log line they would start a line
// of their own; in a header value, a second header line. Beyond them, the characters of several
// bytes that change how a line is laid out: the C1 controls (U+0085 breaks a line), the line and
// paragraph separators, and the bidirectional controls, which let a line read as another.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace palaverlink {

constexpr bool IsControlCharacter(char c) noexcept {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

inline bool HasControlCharacter(std::string_view text) noexcept {
  return std::any_of(text.begin(), text.end(), IsControlCharacter);
}

// A layout character of several bytes in UTF-8 at the start of `text`: its code point and length.
struct LayoutCharacter {
  char32_t codePoint = 0;
  std::size_t bytes = 0;  // 0: none starts here
};

// U+0080-U+009F (C2 80-9F), U+2028-U+202E (E2 80 A8-AE) and U+2066-U+2069 (E2 81 A6-A9).
constexpr LayoutCharacter LayoutCharacterAt(std::string_view text) noexcept {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  if (text.size() >= 2 && byte(0) == 0xC2 && byte(1) >= 0x80 && byte(1) <= 0x9F) return {byte(1), 2};
  if (text.size() >= 3 && byte(0) == 0xE2) {
    if (byte(1) == 0x80 && byte(2) >= 0xA8 && byte(2) <= 0xAE) return {0x2000u + (byte(2) - 0x80u), 3};
    if (byte(1) == 0x81 && byte(2) >= 0xA6 && byte(2) <= 0xA9) return {0x2040u + (byte(2) - 0x80u), 3};
  }
  return {};
}

// True when the text holds a control character or a layout character.
inline bool HasLayoutControl(std::string_view text) noexcept {
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (IsControlCharacter(text[at])) return true;
    if ((byte == 0xC2 || byte == 0xE2) && LayoutCharacterAt(text.substr(at)).bytes > 0) return true;
  }
  return false;
}

}  // namespace palaverlink
