// The game's functions as the framework hands them out by name. Each reaches the active game;
// plain function pointers carry no context, and there is one game per process at a time.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "simulated_game.h"

namespace devhost {
namespace {

constexpr const char* kGetUniqueNetId = "AShooterPlayerController.GetUniqueNetIdAsUINT64";
constexpr const char* kGetCharacterName = "AShooterPlayerController.GetPlayerCharacterName";
constexpr const char* kClientChatMessage = "AShooterPlayerController.ClientChatMessage";
constexpr const char* kWeakGet = "FWeakObjectPtr.Get";
constexpr const char* kGetMapName = "UWorld.GetMapName";
constexpr const char* kMalloc = "FMemory.Malloc";
constexpr const char* kRealloc = "FMemory.Realloc";
constexpr const char* kFree = "FMemory.Free";
constexpr const char* kServerChatDirectMessage = "AShooterPlayerController.ClientServerChatDirectMessage";
constexpr const char* kRconSendMessage = "RCONClientConnection.SendMessageW";

void OwnServerSendChatMessage(AShooterPlayerController* self, FString* message, int send_mode) {
  SimulatedGame* game = SimulatedGame::Active();
  if (game == nullptr) return;
  game->EnterFunction(GameFunctionSlot::kChatHandler);
  HandledChat chat;
  chat.mode = send_mode;
  if (self != nullptr) {
    AShooterPlayerController* controller = game->LiveController(self, kChatHandlerName);
    chat.from = controller ? controller->platform_id : 0;
  }
  chat.text_was_null = message == nullptr;
  if (message != nullptr) chat.text = game->ReadString(*message, kChatHandlerName);
  game->RecordChat(std::move(chat));
}

void OwnLogout(AShooterGameMode* self, AController* exiting) {
  SimulatedGame* game = SimulatedGame::Active();
  if (game == nullptr) return;
  game->EnterFunction(GameFunctionSlot::kLogout);
  if (self != game->GameMode()) game->Misuse(std::string(kLogoutName) + " called on an unknown game mode");
  HandledLogout logout;
  logout.controller_was_null = exiting == nullptr;
  if (exiting != nullptr) {
    AShooterPlayerController* controller = game->LiveController(exiting, kLogoutName);
    logout.player = controller ? controller->platform_id : 0;
  }
  game->RecordLogout(logout);
}

bool OwnHandleNewPlayer(AShooterGameMode* self, AShooterPlayerController* new_player,
                        UPrimalPlayerData* /*player_data*/, AShooterCharacter* /*character*/,
                        bool /*is_from_login*/) {
  SimulatedGame* game = SimulatedGame::Active();
  if (game == nullptr) return false;
  game->EnterFunction(GameFunctionSlot::kNewPlayer);
  if (self != game->GameMode()) game->Misuse(std::string(kNewPlayerName) + " called on an unknown game mode");
  return game->LiveController(new_player, kNewPlayerName) != nullptr;
}

// The message stays the caller's: the game copies what it sends.
void ClientServerChatDirectMessage(AShooterPlayerController* self, FString* message, FLinearColor /*color*/,
                                   bool /*is_bold*/) {
  SimulatedGame* game = SimulatedGame::Active();
  if (game == nullptr) return;
  game->EnterFunction(GameFunctionSlot::kServerChatDirectMessage);
  AShooterPlayerController* controller = game->LiveController(self, kServerChatDirectMessage);
  if (message == nullptr) {
    game->Misuse(std::string(kServerChatDirectMessage) + " called without a message");
    return;
  }
  const std::u16string text = game->ReadString(*message, kServerChatDirectMessage);
  if (controller != nullptr) game->RecordServerMessage(ServerMessage{controller->platform_id, text});
}

// As above, the message stays the caller's.
void RconSendMessage(RCONClientConnection* self, std::int32_t id, std::int32_t type, FString* message) {
  SimulatedGame* game = SimulatedGame::Active();
  if (game == nullptr) return;
  game->EnterFunction(GameFunctionSlot::kRconSendMessage);
  if (message == nullptr) {
    game->Misuse(std::string(kRconSendMessage) + " called without a message");
    return;
  }
  game->RecordRconReply(self, RconReply{id, type, game->ReadString(*message, kRconSendMessage)});
}

std::uint64_t GetUniqueNetIdAsUint64(AShooterPlayerController* self) {
  SimulatedGame* game = SimulatedGame::Active();
  if (game == nullptr) return 0;
  game->EnterFunction(GameFunctionSlot::kGetUniqueNetId);
  AShooterPlayerController* controller = game->LiveController(self, kGetUniqueNetId);
  return controller ? controller->platform_id : 0;
}

FString* GetPlayerCharacterName(AShooterPlayerController* self, FString* result) {
  SimulatedGame* game = SimulatedGame::Active();
  if (game == nullptr || result == nullptr) return result;
  game->EnterFunction(GameFunctionSlot::kGetCharacterName);
  AShooterPlayerController* controller = game->LiveController(self, kGetCharacterName);
  game->FillString(result, controller ? controller->character_name : std::u16string());
  return result;
}

FString* GetMapName(UWorld* self, FString* result) {
  SimulatedGame* game = SimulatedGame::Active();
  if (game == nullptr || result == nullptr) return result;
  game->EnterFunction(GameFunctionSlot::kGetMapName);
  if (!game->IsWorld(self)) {
    game->Misuse(std::string(kGetMapName) + " called on an object that is not the world");
    game->FillString(result, {});
    return result;
  }
  game->FillString(result, self->map_name);
  return result;
}

UObject* WeakGet(const FWeakObjectPtr* self, bool /*even_if_pending_kill*/) {
  SimulatedGame* game = SimulatedGame::Active();
  if (game == nullptr) return nullptr;
  game->EnterFunction(GameFunctionSlot::kWeakGet);
  if (self == nullptr) {
    game->Misuse(std::string(kWeakGet) + " called on a null reference");
    return nullptr;
  }
  return game->Resolve(*self);
}

// Takes the record by value, as the game does; the game's copy goes when the call ends, and with
// it the record's string buffers.
void ClientChatMessage(AShooterPlayerController* self, FChatMessage message) {
  SimulatedGame* game = SimulatedGame::Active();
  if (game == nullptr) return;
  game->EnterFunction(GameFunctionSlot::kClientChatMessage);
  AShooterPlayerController* controller = game->LiveController(self, kClientChatMessage);
  const std::array<FString*, 6> strings{&message.sender_name,       &message.sender_steam_name,
                                        &message.sender_tribe_name, &message.message,
                                        &message.receiver,          &message.user_id};
  if (controller != nullptr) {
    ShownLine shown;
    shown.to = controller->platform_id;
    shown.tag = game->ReadString(message.sender_name, kClientChatMessage);
    shown.line = game->ReadString(message.message, kClientChatMessage);
    for (std::size_t i : {1u, 2u, 4u, 5u}) game->ReadString(*strings[i], kClientChatMessage);
    shown.record = message;
    game->RecordShown(std::move(shown));
  }
  for (FString* string : strings) game->Allocator().Free(string->data);
}

void* FMemoryMalloc(std::size_t count, std::uint32_t alignment) {
  SimulatedGame* game = SimulatedGame::Active();
  if (game == nullptr) return nullptr;
  game->EnterFunction(GameFunctionSlot::kMalloc);
  return game->Allocator().Malloc(count, alignment);
}

void* FMemoryRealloc(void* original, std::size_t count, std::uint32_t alignment) {
  SimulatedGame* game = SimulatedGame::Active();
  if (game == nullptr) return nullptr;
  game->EnterFunction(GameFunctionSlot::kRealloc);
  return game->Allocator().Realloc(original, count, alignment);
}

void FMemoryFree(void* original) {
  SimulatedGame* game = SimulatedGame::Active();
  if (game == nullptr) return;
  game->EnterFunction(GameFunctionSlot::kFree);
  game->Allocator().Free(original);
}

template <typename Function>
void* AddressOf(Function function) {
  return reinterpret_cast<void*>(function);
}

}  // namespace

std::vector<std::pair<std::string, void*>> SimulatedGame::HookedFunctions() {
  return {{kChatHandlerName, AddressOf(&OwnServerSendChatMessage)},
          {kLogoutName, AddressOf(&OwnLogout)},
          {kNewPlayerName, AddressOf(static_cast<HandleNewPlayerFn>(&OwnHandleNewPlayer))}};
}

namespace {

// In the order of GameFunctionSlot.
const std::array<std::pair<std::string_view, void*>, kGameFunctionSlots>& Functions() {
  static const std::array<std::pair<std::string_view, void*>, kGameFunctionSlots> functions{{
      {kChatHandlerName, AddressOf(&OwnServerSendChatMessage)},
      {kLogoutName, AddressOf(&OwnLogout)},
      {kNewPlayerName, AddressOf(static_cast<HandleNewPlayerFn>(&OwnHandleNewPlayer))},
      {kServerChatDirectMessage,
       AddressOf(static_cast<ClientServerChatDirectMessageFn>(&ClientServerChatDirectMessage))},
      {kRconSendMessage, AddressOf(static_cast<RconSendMessageFn>(&RconSendMessage))},
      {kGetUniqueNetId, AddressOf(static_cast<GetUniqueNetIdAsUint64Fn>(&GetUniqueNetIdAsUint64))},
      {kGetCharacterName, AddressOf(static_cast<GetPlayerCharacterNameFn>(&GetPlayerCharacterName))},
      {kGetMapName, AddressOf(static_cast<GetMapNameFn>(&GetMapName))},
      {kWeakGet, AddressOf(static_cast<WeakGetFn>(&WeakGet))},
      {kClientChatMessage, AddressOf(static_cast<ClientChatMessageFn>(&ClientChatMessage))},
      {kMalloc, AddressOf(static_cast<MallocFn>(&FMemoryMalloc))},
      {kRealloc, AddressOf(static_cast<ReallocFn>(&FMemoryRealloc))},
      {kFree, AddressOf(static_cast<FreeFn>(&FMemoryFree))},
  }};
  return functions;
}

}  // namespace

std::optional<GameFunctionSlot> GameFunctionSlotNamed(std::string_view name) {
  const auto& functions = Functions();
  for (std::size_t slot = 0; slot < functions.size(); ++slot) {
    if (functions[slot].first == name) return static_cast<GameFunctionSlot>(slot);
  }
  return std::nullopt;
}

std::string_view GameFunctionName(GameFunctionSlot slot) {
  return Functions()[static_cast<std::size_t>(slot)].first;
}

void* SimulatedGame::FunctionAddress(const std::string& name) {
  const std::optional<GameFunctionSlot> slot = GameFunctionSlotNamed(name);
  return slot ? Functions()[static_cast<std::size_t>(*slot)].second : nullptr;
}

}  // namespace devhost
