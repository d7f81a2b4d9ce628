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
    for (Player& player : players_) {
      if (player.controller.get() == object) return &player.controller->player_state;
    }
    return unknown_object();
  }
  if (name == "AShooterPlayerState.MyTribeData" || name == "APlayerState.PlayerName") {
    for (Player& player : players_) {
      if (player.state && player.state.get() == object) {
        return name == "APlayerState.PlayerName" ? static_cast<void*>(&player.state->player_name)
                                                 : static_cast<void*>(&player.state->my_tribe_data);
      }
    }
    return unknown_object();
  }
  if (name == "FTribeData.TribeName") {
    for (Player& player : players_) {
      if (player.state && &player.state->my_tribe_data == object)
        return &player.state->my_tribe_data.tribe_name;
    }
    return unknown_object();
  }
  if (name == "UWorld.PlayerControllerList") {
    if (IsWorld(object)) return &world_->player_controller_list;
    return unknown_object();
  }
  return nullptr;
}

}  // namespace devhost
