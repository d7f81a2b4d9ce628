// Showing one tagged line to every connected player through the game's client chat function.
#pragma once

#include <string>
#include <string_view>

namespace palaverlink {

// UTF-8 to UTF-16 as the system converts it; should the system fail, each byte is widened alone.
std::u16string Utf8ToWide(std::string_view text);

// The fallback of Utf8ToWide: every byte, taken as a signed 8-bit number, becomes one unit
// (0..127 keep their value, 128..255 become 0xFF80..0xFFFF).
std::u16string WidenEachByte(std::string_view text);

// Both texts UTF-8; each is cut at its first zero character.
void BroadcastChatLine(const std::string& sender_tag, const std::string& chat_line);

}  // namespace palaverlink
