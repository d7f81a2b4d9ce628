// UTF-8 <-> UTF-16 for the host's own use (commands, output, the game's strings). Malformed input
// becomes U+FFFD; nothing fails.
#pragma once

#include <string>
#include <string_view>

namespace devhost {

std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

}  // namespace devhost
