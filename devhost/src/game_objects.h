// The simulated game's objects. The framework header declares them opaque; the host defines them.
// Single inheritance without virtual functions keeps every base at the object's own address, as
// the plug-in's casts between them expect.
#pragma once

#include <cstdint>
#include <string>

#include "devhost/game_records.h"

struct UObject {
  std::int32_t object_index = 0;
};

struct APlayerState : UObject {
  devhost::FString player_name;  // APlayerState.PlayerName, held by the game
};

struct FTribeData {
  devhost::FString tribe_name;  // FTribeData.TribeName, held by the game
  std::int32_t tribe_id = 0;
};

struct AShooterPlayerState : APlayerState {
  FTribeData my_tribe_data;  // AShooterPlayerState.MyTribeData
};

struct AController : UObject {
  APlayerState* player_state = nullptr;  // AController.PlayerState
};

struct APlayerController : AController {};

struct AShooterPlayerController : APlayerController {
  std::uint64_t platform_id = 0;
  std::u16string character_name;
};

struct UWorld : UObject {
  std::u16string map_name;
  devhost::TArray<devhost::FWeakObjectPtr> player_controller_list;  // UWorld.PlayerControllerList
};

struct AShooterGameMode : UObject {};

// The game's end of one RCON client's connection.
struct RCONClientConnection {
  std::int32_t number = 0;
};
