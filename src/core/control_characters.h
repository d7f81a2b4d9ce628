// Control characters: the bytes below 0x20 and DEL (0x7F). In a log line they would start a line
// of their own; in a header value, a second header line.
#pragma once

#include <algorithm>
#include <string_view>

namespace palaverlink {

constexpr bool IsControlCharacter(char c) noexcept {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

inline bool HasControlCharacter(std::string_view text) noexcept {
  return std::any_of(text.begin(), text.end(), IsControlCharacter);
}

}  // namespace palaverlink
