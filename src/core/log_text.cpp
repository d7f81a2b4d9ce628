#include "core/log_text.h"

#include "core/control_characters.h"

namespace palaverlink {

std::string EscapeControlCharacters(std::string_view text) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size() + 8);
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (const LayoutCharacter layout = LayoutCharacterAt(text.substr(at)); layout.bytes > 0) {
      escaped += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4)
        escaped.push_back(kHex[(layout.codePoint >> shift) & 0x0F]);
      at += layout.bytes - 1;
    } else if (!IsControlCharacter(c)) {
      escaped.push_back(c);
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else {
      const auto byte = static_cast<unsigned char>(c);
      escaped += "\\x";
      escaped.push_back(kHex[byte >> 4]);
      escaped.push_back(kHex[byte & 0x0F]);
    }
  }
  return escaped;
}

}  // namespace palaverlink
