// The detour on the game's logout: forgets the player's session start and tells the bot, then
// always lets the game's own logout run.
#pragma once

#include "game/game_types.h"

namespace palaverlink {

// The game's own logout, as the hook slot receives it.
using LogoutFn = void (*)(AShooterGameMode* game_mode, AController* exiting);

// The game's own logout, written by the host when the hook is installed; null before.
LogoutFn& GameLogoutHandler();
// Back to null.
void ResetGameLogoutHandler();

void LogoutHook(AShooterGameMode* game_mode, AController* exiting);

}  // namespace palaverlink
