#include "sessions/join_hook.h"

#include "core/guard.h"
#include "core/host/host_api.h"
#include "game/player.h"
#include "sessions/session_sync.h"

namespace palaverlink {

HandleNewPlayerFn& GameNewPlayerHandler() {
  static HandleNewPlayerFn handler = nullptr;
  return handler;
}

void ResetGameNewPlayerHandler() { GameNewPlayerHandler() = nullptr; }

bool JoinHook(AShooterGameMode* game_mode, AShooterPlayerController* new_player,
              UPrimalPlayerData* player_data, AShooterCharacter* character, bool is_from_login) {
  // The game's handling comes first and is never changed; its own exceptions are the game's.
  bool handled = false;
  if (const auto handler = GameNewPlayerHandler())
    handled = handler(game_mode, new_player, player_data, character, is_from_login);
  if (new_player == nullptr) return handled;
  // Only noted here: the list goes at the next second's tick, a burst of joins in one list.
  RunGuarded("join hook", [new_player] { NoteJoin(GetPlatformId(new_player), host::SystemTimeMs()); });
  return handled;
}

}  // namespace palaverlink
