// The game's functions and fields, by the names the framework resolves. Each use (a call, a line
// shown to every player, a walk over the player list) resolves its name anew; the names are kept
// as strings only so that a lookup does not first have to build one.
#pragma once

#include <string>

namespace palaverlink::game_names {

inline const std::string kGetMapName = "UWorld.GetMapName";
inline const std::string kPlayerControllerList = "UWorld.PlayerControllerList";
inline const std::string kWeakGet = "FWeakObjectPtr.Get";
inline const std::string kGetUniqueNetId = "AShooterPlayerController.GetUniqueNetIdAsUINT64";
inline const std::string kGetPlayerCharacterName = "AShooterPlayerController.GetPlayerCharacterName";
inline const std::string kClientChatMessage = "AShooterPlayerController.ClientChatMessage";
inline const std::string kPlayerState = "AController.PlayerState";
inline const std::string kPlayerName = "APlayerState.PlayerName";
inline const std::string kMyTribeData = "AShooterPlayerState.MyTribeData";
inline const std::string kTribeName = "FTribeData.TribeName";
inline const std::string kMalloc = "FMemory.Malloc";
inline const std::string kFree = "FMemory.Free";
inline const std::string kServerChatDirectMessage = "AShooterPlayerController.ClientServerChatDirectMessage";
inline const std::string kRconSendMessage = "RCONClientConnection.SendMessageW";

}  // namespace palaverlink::game_names
