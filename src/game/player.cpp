#include "game/player.h"

#include "core/host/host_api.h"
#include "game/game_memory.h"
#include "game/game_names.h"
#include "game/game_text.h"

namespace palaverlink {
namespace {

using GetUniqueNetIdFn = std::uint64_t (*)(AShooterPlayerController* self);
using GetPlayerCharacterNameFn = GameString* (*)(AShooterPlayerController* self, GameString* result);
using WeakGetFn = UObject* (*)(const WeakObjectRef* self, bool even_if_pending_kill);

// The controller's player state, or null.
const APlayerState* PlayerStateOf(const AShooterPlayerController* controller) {
  if (controller == nullptr) return nullptr;
  auto* field = static_cast<APlayerState* const*>(host::FieldAddress(controller, game_names::kPlayerState));
  return field == nullptr ? nullptr : *field;
}

// The world's list of player controllers, or null before there is one.
const GameArray<WeakObjectRef>* PlayerControllerList() {
  UWorld* world = host::CurrentWorld();
  if (world == nullptr) return nullptr;
  const auto* list = static_cast<const GameArray<WeakObjectRef>*>(
      host::FieldAddress(world, game_names::kPlayerControllerList));
  if (list == nullptr || list->data == nullptr) return nullptr;
  return list;
}

}  // namespace

std::uint64_t GetPlatformId(AShooterPlayerController* controller) {
  return host::GameFunction<GetUniqueNetIdFn>(game_names::kGetUniqueNetId)(controller);
}

std::string PlatformIdText(std::uint64_t platform_id) { return std::to_string(platform_id); }

std::string GetCharacterName(AShooterPlayerController* controller) {
  OwnedGameString name;
  host::GameFunction<GetPlayerCharacterNameFn>(game_names::kGetPlayerCharacterName)(controller, name.out());
  return GameStringToUtf8(name.get());
}

std::string GetAccountName(AShooterPlayerController* controller) {
  const APlayerState* player_state = PlayerStateOf(controller);
  if (player_state == nullptr) return {};
  const auto* name =
      static_cast<const GameString*>(host::FieldAddress(player_state, game_names::kPlayerName));
  if (name == nullptr) return {};
  // The field stays the game's; the plug-in converts a copy of its own.
  const OwnedGameString copy = OwnedGameString::CopyOf(*name);
  return GameStringToUtf8(copy.get());
}

std::string GetTribeName(AShooterPlayerController* controller) {
  const APlayerState* player_state = PlayerStateOf(controller);
  if (player_state == nullptr) return {};
  const void* tribe = host::FieldAddress(player_state, game_names::kMyTribeData);
  if (tribe == nullptr) return {};
  const auto* name = static_cast<const GameString*>(host::FieldAddress(tribe, game_names::kTribeName));
  return name == nullptr ? std::string() : GameStringToUtf8(*name);
}

std::string GetSpeakerName(AShooterPlayerController* controller) {
  std::string name = GetCharacterName(controller);
  return name.empty() ? GetAccountName(controller) : name;
}

std::size_t PlayerControllerSlots() {
  const GameArray<WeakObjectRef>* list = PlayerControllerList();
  return list == nullptr || list->count < 0 ? 0 : static_cast<std::size_t>(list->count);
}

void ForEachPlayerController(const std::function<void(AShooterPlayerController*)>& visitor) {
  const GameArray<WeakObjectRef>* list = PlayerControllerList();
  if (list == nullptr) return;
  const WeakObjectRef* entries = list->data;
  const std::int32_t count = list->count;
  WeakGetFn weak_get = nullptr;  // resolved at the first entry, once for the whole list
  for (std::int32_t i = 0; i < count; ++i) {
    const WeakObjectRef entry = entries[i];
    if (weak_get == nullptr) weak_get = host::GameFunction<WeakGetFn>(game_names::kWeakGet);
    UObject* object = weak_get(&entry, false);
    if (object == nullptr) continue;
    visitor(reinterpret_cast<AShooterPlayerController*>(object));
  }
}

}  // namespace palaverlink
