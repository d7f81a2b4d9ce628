#include "core/log_text.h"

#include "core/control_characters.h"

namespace palaverlink {

std::string EscapeControlCharacters(std::string_view text) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size() + 8);
  for (const char c : text) {
    if (!IsControlCharacter(c)) {
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
