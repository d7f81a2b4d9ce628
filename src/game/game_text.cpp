#include "game/game_text.h"

#include <cstddef>
#include <string_view>

#include "game/text_codec.h"

namespace palaverlink {

std::string GameStringToUtf8(const GameString& text) {
  if (text.data == nullptr) return {};
  const std::size_t units = text.count > 0 ? static_cast<std::size_t>(text.count) - 1 : 0;
  return Utf16ToUtf8(std::u16string_view(text.data, units));
}

}  // namespace palaverlink
