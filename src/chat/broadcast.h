// Showing one tagged line to every connected player through the game's client chat function.
#pragma once

#include <string>

namespace palaverlink {

// Both texts UTF-8; each is cut at its first zero character.
void BroadcastChatLine(const std::string& sender_tag, const std::string& chat_line);

}  // namespace palaverlink
