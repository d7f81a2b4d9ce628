// The game's objects, opaque to the plug-in: their functions and fields are reached by name.
#pragma once

struct UWorld;
struct UObject;
struct AController;
struct APlayerState;
struct AShooterPlayerController;
struct AShooterGameMode;
struct APlayerController;
struct UPrimalPlayerData;
struct AShooterCharacter;
struct RCONClientConnection;
struct RCONPacket;
