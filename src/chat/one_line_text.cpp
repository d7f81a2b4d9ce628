#include "chat/one_line_text.h"

#include <string_view>
#include <utility>

#include "core/control_characters.h"

namespace palaverlink {
namespace {

bool BreaksTheLine(char32_t code_point) {
  return code_point == '\n' || code_point == '\r' || code_point == '\v' || code_point == '\f' ||
         code_point == '\t' || code_point == 0x85 || code_point == 0x2028 || code_point == 0x2029;
}

}  // namespace

std::size_t MakeOneLine(std::string& text) {
  if (!HasLayoutControl(text)) return 0;
  std::string line;
  line.reserve(text.size());
  std::size_t replaced = 0;
  const std::string_view all(text);
  for (std::size_t at = 0; at < all.size(); ++at) {
    char32_t found = 0;
    if (const LayoutCharacter layout = LayoutCharacterAt(all.substr(at)); layout.bytes > 0) {
      found = layout.codePoint;
      at += layout.bytes - 1;
    } else if (IsControlCharacter(all[at])) {
      found = static_cast<unsigned char>(all[at]);
    } else {
      line.push_back(all[at]);
      continue;
    }
    ++replaced;
    if (BreaksTheLine(found)) line.push_back(' ');
  }
  text = std::move(line);
  return replaced;
}

}  // namespace palaverlink
