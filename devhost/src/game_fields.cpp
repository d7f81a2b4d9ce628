// The game's fields as the framework hands them out by object and name.
#include <fmt/format.h>

#include "simulated_game.h"

namespace devhost {

void* SimulatedGame::FieldAddress(const void* object, const std::string& name) {
  auto unknown_object = [&]() -> void* {
    Misuse(fmt::format("field {} asked of {} object {}", name, object ? "an unknown" : "a null", object));
    return nullptr;
  };
  if (name == "AController.PlayerState") {
    if (auto found = controllers_.find(object); found != controllers_.end())
      return &found->second->player_state;
    return unknown_object();
  }
  if (name == "AShooterPlayerState.MyTribeData" || name == "APlayerState.PlayerName") {
    const auto found = states_.find(object);
    if (found == states_.end()) return unknown_object();
    return name == "APlayerState.PlayerName" ? static_cast<void*>(&found->second->player_name)
                                             : static_cast<void*>(&found->second->my_tribe_data);
  }
  if (name == "FTribeData.TribeName") {
    if (auto found = tribes_.find(object); found != tribes_.end()) return &found->second->tribe_name;
    return unknown_object();
  }
  if (name == "UWorld.PlayerControllerList") {
    if (IsWorld(object)) return &world_->player_controller_list;
    return unknown_object();
  }
  return nullptr;
}

}  // namespace devhost
