// The reply to a console or RCON command, sent back the way the command came in.
#pragma once

#include <string_view>

#include "core/host/host_api.h"

namespace palaverlink {

// `text` (UTF-8, lines separated by '\n') to the player who typed the command, alone, as a chat
// message from the server; or back on the RCON connection for the packet's id. The game's string
// for it comes from the game's allocator and goes back there after the call.
void SendCommandReply(const host::CommandOrigin& origin, std::string_view text);

}  // namespace palaverlink
