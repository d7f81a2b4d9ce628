// Showing one tagged line to every connected player through the game's client chat function.
#pragma once

#include <string>
#include <string_view>

namespace palaverlink {

// UTF-8 to UTF-16 as the system converts it; should the system fail, each byte is widened alone.
std::u16string Utf8ToWide(std::string_view text);

void BroadcastChatLine(const std::string& sender_tag, const std::string& chat_line);

}  // namespace palaverlink
