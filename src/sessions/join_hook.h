// The detour on the game's handling of a new player: the game's own function first, then the
// player's session starts now and the player list goes to the bot at the next second.
#pragma once

#include "game/game_types.h"

namespace palaverlink {

// The game's own new-player function, as the hook slot receives it.
using HandleNewPlayerFn = bool (*)(AShooterGameMode* game_mode, AShooterPlayerController* new_player,
                                   UPrimalPlayerData* player_data, AShooterCharacter* character,
                                   bool is_from_login);

// The game's own function, written by the host when the hook is installed; null before.
HandleNewPlayerFn& GameNewPlayerHandler();
// Back to null.
void ResetGameNewPlayerHandler();

bool JoinHook(AShooterGameMode* game_mode, AShooterPlayerController* new_player,
              UPrimalPlayerData* player_data, AShooterCharacter* character, bool is_from_login);

}  // namespace palaverlink
