#include "simulated_game.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>

#include "devhost/text.h"

namespace devhost {
namespace {

SimulatedGame* active_game = nullptr;

// The slot of the game function ThrowFrom or CallCount is given; a name the game has none of is the
// caller's mistake.
std::size_t SlotIndexNamed(const std::string& function_name) {
  const std::optional<GameFunctionSlot> slot = GameFunctionSlotNamed(function_name);
  if (!slot) throw std::invalid_argument("the game has no function " + function_name);
  return static_cast<std::size_t>(*slot);
}

}  // namespace

SimulatedGame::SimulatedGame(GameServices& services)
    : services_(services), game_mode_(std::make_unique<AShooterGameMode>()) {
  game_mode_->object_index = Register(game_mode_.get());
  active_game = this;
}

SimulatedGame::~SimulatedGame() {
  DestroyWorld();
  if (active_game == this) active_game = nullptr;
}

SimulatedGame* SimulatedGame::Active() { return active_game; }

std::int32_t SimulatedGame::Register(UObject* object) {
  objects_.push_back(Slot{object, next_serial_++});
  return static_cast<std::int32_t>(objects_.size() - 1);
}

void SimulatedGame::Unregister(const UObject* object) {
  Slot& slot = objects_.at(static_cast<std::size_t>(object->object_index));
  slot.object = nullptr;
  slot.serial = next_serial_++;  // old references carry the old serial and stop resolving
}

UObject* SimulatedGame::Resolve(const FWeakObjectPtr& reference) const {
  if (reference.object_index <= 0 || static_cast<std::size_t>(reference.object_index) >= objects_.size()) {
    return nullptr;
  }
  const Slot& slot = objects_[static_cast<std::size_t>(reference.object_index)];
  return slot.serial == reference.serial_number ? slot.object : nullptr;
}

void SimulatedGame::CreateWorld(const std::u16string& map_name) {
  if (world_) throw std::logic_error("a world exists already");
  world_ = std::make_unique<UWorld>();
  world_->map_name = map_name;
  world_->object_index = Register(world_.get());
}

void SimulatedGame::DestroyWorld() {
  if (!world_) return;
  while (!players_.empty()) DestroyPlayer(players_.front().controller->platform_id);
  auto& list = world_->player_controller_list;
  allocator_.FreeHeld(list.data);
  list = {};
  Unregister(world_.get());
  world_.reset();
}

void SimulatedGame::Join(const PlayerSpec& spec) {
  if (!world_) throw std::logic_error("no world: create one first");
  Player player;
  player.controller = std::make_unique<AShooterPlayerController>();
  player.controller->platform_id = spec.platform_id;
  player.controller->character_name = spec.character_name;
  player.controller->object_index = Register(player.controller.get());
  if (spec.has_player_state) {
    player.state = std::make_unique<AShooterPlayerState>();
    player.state->object_index = Register(player.state.get());
    player.state->player_name = HeldString(spec.account_name);
    player.state->my_tribe_data.tribe_name = HeldString(spec.tribe_name);
    player.controller->player_state = player.state.get();
  }
  const FWeakObjectPtr reference{player.controller->object_index,
                                 objects_[static_cast<std::size_t>(player.controller->object_index)].serial};
  AddToPlayerList(reference);
  last_reference_[spec.platform_id] = reference;
  controllers_[player.controller.get()] = player.controller.get();
  if (player.state) {
    states_[player.state.get()] = player.state.get();
    tribes_[&player.state->my_tribe_data] = &player.state->my_tribe_data;
  }
  AShooterPlayerController* controller = player.controller.get();
  players_.push_back(std::move(player));
  DispatchNewPlayer(controller);
}

void SimulatedGame::Chat(std::uint64_t player, const std::u16string& text, int mode) {
  AShooterPlayerController* controller = RequirePlayer(player, "chat").controller.get();
  FString message = HeldString(text);
  char16_t* buffer = message.data;  // the game frees what it allocated, whatever a hook did
  DispatchChat(controller, &message, mode);
  allocator_.FreeHeld(buffer);
}

void SimulatedGame::ChatWithNullController(const std::u16string& text, int mode) {
  FString message = HeldString(text);
  char16_t* buffer = message.data;
  DispatchChat(nullptr, &message, mode);
  allocator_.FreeHeld(buffer);
}

void SimulatedGame::ChatWithNullText(std::uint64_t player, int mode) {
  DispatchChat(RequirePlayer(player, "chat").controller.get(), nullptr, mode);
}

void SimulatedGame::Leave(std::uint64_t player) {
  Player& leaving = RequirePlayer(player, "leave");
  const FWeakObjectPtr reference{leaving.controller->object_index,
                                 objects_[static_cast<std::size_t>(leaving.controller->object_index)].serial};
  DispatchLogout(leaving.controller.get());
  RemoveFromPlayerList(reference);
  DestroyPlayer(player);
}

void SimulatedGame::LogoutWithNullController() { DispatchLogout(nullptr); }

void SimulatedGame::Vanish(std::uint64_t player) {
  RequirePlayer(player, "vanish");
  DestroyPlayer(player);
}

std::vector<std::uint64_t> SimulatedGame::ConnectedPlayers() const {
  std::vector<std::uint64_t> ids;
  for (const Player& player : players_) ids.push_back(player.controller->platform_id);
  return ids;
}

bool SimulatedGame::RunConsoleCommand(std::uint64_t player, const std::u16string& text) {
  AShooterPlayerController* controller = RequirePlayer(player, "console").controller.get();
  FString game_text = HeldString(text);
  char16_t* buffer = game_text.data;
  // The framework hands the game's string over opaque.
  const bool ran =
      services_.RunConsoleCommand(ToUtf8(text), controller, reinterpret_cast<::FString*>(&game_text));
  allocator_.FreeHeld(buffer);
  return ran;
}

bool SimulatedGame::RunRconCommand(const std::u16string& text) {
  RCONPacket packet;
  packet.id = ++last_rcon_packet_id_;
  packet.type = 2;  // an RCON command
  packet.body = HeldString(text);
  packet.length = static_cast<std::int32_t>(10 + ToUtf8(text).size());
  char16_t* buffer = packet.body.data;
  const bool ran = services_.RunRconCommand(ToUtf8(text), &rcon_connection_, &packet, world_.get());
  allocator_.FreeHeld(buffer);
  return ran;
}

void SimulatedGame::ThrowFrom(const std::string& function_name, int times) {
  throw_from_[SlotIndexNamed(function_name)] = times;
}

int SimulatedGame::CallCount(const std::string& function_name) const {
  return call_counts_[SlotIndexNamed(function_name)];
}

AShooterPlayerController* SimulatedGame::Controller(std::uint64_t player) const {
  const Player* found = FindPlayer(player);
  return found ? found->controller.get() : nullptr;
}

std::optional<FWeakObjectPtr> SimulatedGame::WeakReferenceOf(std::uint64_t player) const {
  auto it = last_reference_.find(player);
  if (it == last_reference_.end()) return std::nullopt;
  return it->second;
}

void SimulatedGame::EnterFunction(GameFunctionSlot slot) {
  const auto index = static_cast<std::size_t>(slot);
  ++call_counts_[index];
  if (throw_from_[index] > 0) {
    --throw_from_[index];
    throw std::runtime_error("simulated failure in " + std::string(GameFunctionName(slot)));
  }
}

AShooterPlayerController* SimulatedGame::LiveController(const void* object, std::string_view function) {
  if (auto found = controllers_.find(object); found != controllers_.end()) return found->second;
  Misuse(fmt::format("{} called with {} controller {}", function, object ? "an unknown" : "a null", object));
  return nullptr;
}

void SimulatedGame::Misuse(const std::string& text) {
  misuses_.push_back(text);
  services_.Log("game: " + text);
}

void SimulatedGame::FillString(FString* result, const std::u16string& text) {
  *result = FString{};
  if (text.empty()) return;
  const auto units = text.size() + 1;
  auto* data = static_cast<char16_t*>(allocator_.Malloc(units * sizeof(char16_t), 0));
  std::copy(text.begin(), text.end(), data);
  data[text.size()] = u'\0';
  result->data = data;
  result->count = static_cast<std::int32_t>(units);
  result->capacity = static_cast<std::int32_t>(units);
}

std::u16string SimulatedGame::ReadString(const FString& string, std::string_view function) {
  if (string.data == nullptr) {
    if (string.count != 0)
      Misuse(fmt::format("{}: string without a buffer has count {}", function, string.count));
    return {};
  }
  std::size_t bytes = 0;
  if (!allocator_.Owns(string.data, &bytes)) {
    Misuse(fmt::format("{}: string buffer {} does not come from the game's allocator", function,
                       static_cast<const void*>(string.data)));
    return {};
  }
  if (string.count <= 0 || string.capacity < string.count ||
      static_cast<std::size_t>(string.count) * sizeof(char16_t) > bytes) {
    Misuse(fmt::format("{}: string count {} / capacity {} does not fit its buffer of {} bytes", function,
                       string.count, string.capacity, bytes));
    return {};
  }
  const auto length = static_cast<std::size_t>(string.count - 1);
  if (string.data[length] != u'\0')
    Misuse(fmt::format("{}: string is not terminated by a zero unit", function));
  return std::u16string(string.data, length);
}

void SimulatedGame::RecordChat(HandledChat chat) {
  if (observer_) observer_->OnChatHandled(chat);
  if (keep_records_) handled_chats_.push_back(std::move(chat));
}

void SimulatedGame::RecordLogout(HandledLogout logout) {
  if (observer_) observer_->OnLogoutHandled(logout);
  if (keep_records_) handled_logouts_.push_back(logout);
}

void SimulatedGame::RecordShown(ShownLine shown) {
  if (observer_) observer_->OnShown(shown);
  if (keep_records_) shown_.push_back(std::move(shown));
}

void SimulatedGame::RecordServerMessage(ServerMessage message) {
  if (observer_) observer_->OnServerMessage(message);
  if (keep_records_) server_messages_.push_back(std::move(message));
}

void SimulatedGame::RecordRconReply(const ::RCONClientConnection* connection, RconReply reply) {
  if (connection != &rcon_connection_) {
    Misuse(fmt::format("RCONClientConnection.SendMessageW called on {} connection {}",
                       connection ? "an unknown" : "a null", static_cast<const void*>(connection)));
    return;
  }
  if (reply.packet_id <= 0 || reply.packet_id > last_rcon_packet_id_) {
    Misuse(fmt::format("RCONClientConnection.SendMessageW answers packet {}, which the connection never sent",
                       reply.packet_id));
  }
  if (observer_) observer_->OnRconReply(reply);
  if (keep_records_) rcon_replies_.push_back(std::move(reply));
}

SimulatedGame::Player* SimulatedGame::FindPlayer(std::uint64_t id) {
  auto it = std::find_if(players_.begin(), players_.end(),
                         [id](const Player& player) { return player.controller->platform_id == id; });
  return it == players_.end() ? nullptr : &*it;
}

const SimulatedGame::Player* SimulatedGame::FindPlayer(std::uint64_t id) const {
  return const_cast<SimulatedGame*>(this)->FindPlayer(id);
}

SimulatedGame::Player& SimulatedGame::RequirePlayer(std::uint64_t id, const char* action) {
  Player* player = FindPlayer(id);
  if (player == nullptr)
    throw std::logic_error(fmt::format("{}: no connected player with id {}", action, id));
  return *player;
}

FString SimulatedGame::HeldString(const std::u16string& text) {
  FString string;
  if (text.empty()) return string;
  const auto units = text.size() + 1;
  auto* data = static_cast<char16_t*>(allocator_.MallocHeld(units * sizeof(char16_t)));
  std::copy(text.begin(), text.end(), data);
  data[text.size()] = u'\0';
  string.data = data;
  string.count = static_cast<std::int32_t>(units);
  string.capacity = static_cast<std::int32_t>(units);
  return string;
}

void SimulatedGame::ReleaseHeld(FString& string) {
  allocator_.FreeHeld(string.data);
  string = FString{};
}

void SimulatedGame::AddToPlayerList(FWeakObjectPtr reference) {
  auto& list = world_->player_controller_list;
  if (list.count == list.capacity) {
    const std::int32_t capacity = std::max(4, list.capacity * 2);
    list.data = static_cast<FWeakObjectPtr*>(
        allocator_.ReallocHeld(list.data, static_cast<std::size_t>(capacity) * sizeof(FWeakObjectPtr)));
    list.capacity = capacity;
  }
  list.data[list.count++] = reference;
}

void SimulatedGame::RemoveFromPlayerList(FWeakObjectPtr reference) {
  auto& list = world_->player_controller_list;
  auto* end = list.data + list.count;
  auto* found = std::find_if(list.data, end, [&](const FWeakObjectPtr& entry) {
    return entry.object_index == reference.object_index && entry.serial_number == reference.serial_number;
  });
  if (found == end) return;
  std::copy(found + 1, end, found);
  --list.count;
}

void SimulatedGame::DestroyPlayer(std::uint64_t id) {
  auto it = std::find_if(players_.begin(), players_.end(),
                         [id](const Player& player) { return player.controller->platform_id == id; });
  if (it == players_.end()) return;
  Unregister(it->controller.get());
  controllers_.erase(it->controller.get());
  if (it->state) {
    ReleaseHeld(it->state->player_name);
    ReleaseHeld(it->state->my_tribe_data.tribe_name);
    Unregister(it->state.get());
    states_.erase(it->state.get());
    tribes_.erase(&it->state->my_tribe_data);
  }
  players_.erase(it);
}

void SimulatedGame::DispatchChat(AShooterPlayerController* controller, FString* message, int mode) {
  services_.CallHooked(kChatHandlerName, [&](void* target) {
    reinterpret_cast<ServerSendChatMessageFn>(target)(controller, message, mode);
  });
}

void SimulatedGame::DispatchLogout(AController* exiting) {
  services_.CallHooked(kLogoutName,
                       [&](void* target) { reinterpret_cast<LogoutFn>(target)(game_mode_.get(), exiting); });
}

void SimulatedGame::DispatchNewPlayer(AShooterPlayerController* new_player) {
  services_.CallHooked(kNewPlayerName, [&](void* target) {
    reinterpret_cast<HandleNewPlayerFn>(target)(game_mode_.get(), new_player, nullptr, nullptr, true);
  });
}

}  // namespace devhost
