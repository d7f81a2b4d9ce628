// The detour on the game's server-side chat handler: the game handles the line first, then the
// line goes to the bot when its channel is relayed, made one line (chat/one_line_text.h) in its
// text and in the player's and tribe's names, so that no bot has to clean it.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "core/settings.h"
#include "game/game_records.h"
#include "game/game_types.h"

namespace palaverlink {

// The game's own chat handler, as the hook slot receives it.
using ServerSendChatMessageFn = void (*)(AShooterPlayerController* controller, GameString* message,
                                         int send_mode);

// The game's own handler, written by the host when the hook is installed; null before.
ServerSendChatMessageFn& GameChatHandler();
// Back to null, with the pace of the warning about cleaned lines.
void ResetGameChatHandler();

// Chat lines handed on for the bot since the load.
std::size_t RelayedChatLines();
void ResetRelayedChatLines();

void ChatHook(AShooterPlayerController* controller, GameString* message, int send_mode);

// The "channel" of a relayed send mode ("global", "tribe", "alliance"); empty when lines of this
// mode are not relayed with these settings.
std::optional<std::string_view> RelayedChannel(int send_mode, const PluginSettings& settings);

}  // namespace palaverlink
