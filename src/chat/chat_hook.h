// The detour on the game's server-side chat handler: the game handles the line first, then the
// line goes to the bot when its channel is relayed.
#pragma once

#include "game/game_records.h"
#include "game/game_types.h"

namespace palaverlink {

using ServerSendChatMessageFn = void (*)(AShooterPlayerController* controller, GameString* message, int send_mode);

// The game's own handler, written by the host when the hook is installed.
ServerSendChatMessageFn& GameChatHandler();

void ChatHook(AShooterPlayerController* controller, GameString* message, int send_mode);

}  // namespace palaverlink
