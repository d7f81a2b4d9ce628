// The detour on the game's logout: forgets the player's session start and tells the bot, then
// always lets the game's own logout run.
#pragma once

#include "core/plugin_state.h"
#include "game/game_types.h"

namespace palaverlink {

// The game's own logout, written by the host when the hook is installed.
LogoutFn& GameLogoutHandler();

void LogoutHook(AShooterGameMode* game_mode, AController* exiting);

}  // namespace palaverlink
