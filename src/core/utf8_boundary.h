// Cutting UTF-8 text short without splitting a character: a cut inside a sequence would leave
// bytes that are not text on a player's screen, in the log or in a reply.
#pragma once

#include <cstddef>
#include <string_view>

namespace palaverlink {

constexpr bool IsUtf8ContinuationByte(char c) noexcept {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The longest start of `text` of at most `limit` bytes that ends between two characters.
constexpr std::size_t WholeCharactersWithin(std::string_view text, std::size_t limit) noexcept {
  if (limit >= text.size()) return text.size();
  while (limit > 0 && IsUtf8ContinuationByte(text[limit])) --limit;
  return limit;
}

}  // namespace palaverlink
