// What the plug-in reads about players and tribes, and the walk over the connected players.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "game/game_types.h"

namespace palaverlink {

std::uint64_t GetPlatformId(AShooterPlayerController* controller);
std::string PlatformIdText(std::uint64_t platform_id);
std::string GetCharacterName(AShooterPlayerController* controller);
std::string GetAccountName(AShooterPlayerController* controller);
std::string GetTribeName(AShooterPlayerController* controller);
// The character name, or the account name when the character name is empty.
std::string GetSpeakerName(AShooterPlayerController* controller);

// Calls `visitor` for each connected player controller that still resolves, in list order.
void ForEachPlayerController(const std::function<void(AShooterPlayerController*)>& visitor);

// The entries of the player list, without resolving them: at least the players a line shown now
// goes to.
std::size_t PlayerControllerSlots();

}  // namespace palaverlink
