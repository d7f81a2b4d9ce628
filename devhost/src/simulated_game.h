// The simulated game behind the framework: one world, its players, a game mode, and the state the
// game's functions (reached by name) work on.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "devhost/game.h"
#include "game_objects.h"

namespace devhost {

// What the game needs from the host.
class GameServices {
 public:
  virtual ~GameServices() = default;
  // Calls the current target of a hooked game function; `call` receives the address to call.
  virtual void CallHooked(const std::string& name, const std::function<void(void*)>& call) = 0;
  // Runs the console or RCON command that `text` names; false when none is registered.
  virtual bool RunConsoleCommand(const std::string& text, ::APlayerController* player,
                                 ::FString* game_text) = 0;
  virtual bool RunRconCommand(const std::string& text, ::RCONClientConnection* connection,
                              ::RCONPacket* packet, ::UWorld* world) = 0;
  // A line in the host's log.
  virtual void Log(const std::string& text) = 0;
};

inline constexpr const char* kChatHandlerName =
    "AShooterPlayerController.ServerSendChatMessage_Implementation";
inline constexpr const char* kLogoutName = "AShooterGameMode.Logout";
inline constexpr const char* kNewPlayerName = "AShooterGameMode.HandleNewPlayer_Implementation";

// The game's functions, each with a slot of its own for counting its calls: a game function that
// looked its name up on every call would cost more than the game's work in some of them.
enum class GameFunctionSlot : std::size_t {
  kChatHandler,
  kLogout,
  kNewPlayer,
  kServerChatDirectMessage,
  kRconSendMessage,
  kGetUniqueNetId,
  kGetCharacterName,
  kGetMapName,
  kWeakGet,
  kClientChatMessage,
  kMalloc,
  kRealloc,
  kFree,
};
inline constexpr std::size_t kGameFunctionSlots = static_cast<std::size_t>(GameFunctionSlot::kFree) + 1;

// The slot of the game function of that name, if there is one; and the name of a slot's function.
std::optional<GameFunctionSlot> GameFunctionSlotNamed(std::string_view name);
std::string_view GameFunctionName(GameFunctionSlot slot);

class SimulatedGame final : public Game {
 public:
  explicit SimulatedGame(GameServices& services);
  ~SimulatedGame() override;

  // The game the functions reached by name work on; null when none exists.
  static SimulatedGame* Active();

  // The game's own implementations of the hooked functions, by name.
  static std::vector<std::pair<std::string, void*>> HookedFunctions();
  // A game function by name (hooked ones give the game's own); null for an unknown name.
  static void* FunctionAddress(const std::string& name);
  // A field of a game object by name; null for an unknown name or an object the game does not know.
  void* FieldAddress(const void* object, const std::string& name);

  // Game
  void CreateWorld(const std::u16string& map_name) override;
  void DestroyWorld() override;
  void Join(const PlayerSpec& player) override;
  void Chat(std::uint64_t player, const std::u16string& text, int mode) override;
  void ChatWithNullController(const std::u16string& text, int mode) override;
  void ChatWithNullText(std::uint64_t player, int mode) override;
  void Leave(std::uint64_t player) override;
  void LogoutWithNullController() override;
  void Vanish(std::uint64_t player) override;
  std::vector<std::uint64_t> ConnectedPlayers() const override;
  bool RunConsoleCommand(std::uint64_t player, const std::u16string& text) override;
  bool RunRconCommand(const std::u16string& text) override;
  void ThrowFrom(const std::string& function_name, int times = 1) override;
  const std::vector<ShownLine>& Shown() const override { return shown_; }
  const std::vector<HandledChat>& HandledChats() const override { return handled_chats_; }
  const std::vector<HandledLogout>& HandledLogouts() const override { return handled_logouts_; }
  const std::vector<ServerMessage>& ServerMessages() const override { return server_messages_; }
  const std::vector<RconReply>& RconReplies() const override { return rcon_replies_; }
  int CallCount(const std::string& function_name) const override;
  TrackingAllocator& Allocator() override { return allocator_; }
  std::vector<std::string> Misuses() const override { return misuses_; }
  ::UWorld* World() const override { return world_.get(); }
  ::AShooterGameMode* GameMode() const override { return game_mode_.get(); }
  ::AShooterPlayerController* Controller(std::uint64_t player) const override;
  std::optional<FWeakObjectPtr> WeakReferenceOf(std::uint64_t player) const override;
  void SetObserver(GameObserver* observer) override { observer_ = observer; }
  void KeepRecords(bool keep) override { keep_records_ = keep; }

  // For the game's functions: counts the call and throws when ThrowFrom asked for it.
  void EnterFunction(GameFunctionSlot slot);
  // The controller when `object` is a connected player's controller; otherwise records a misuse
  // naming `function` and returns null.
  AShooterPlayerController* LiveController(const void* object, std::string_view function);
  bool IsWorld(const void* object) const { return object != nullptr && object == world_.get(); }
  UObject* Resolve(const FWeakObjectPtr& reference) const;
  void Misuse(const std::string& text);
  // Fills `result` with a fresh buffer of `text` that the caller frees (no buffer when empty).
  void FillString(FString* result, const std::u16string& text);
  // The text of a string record handed to the game; records a misuse when the record is malformed.
  std::u16string ReadString(const FString& string, std::string_view function);

  void RecordChat(HandledChat chat);
  void RecordLogout(HandledLogout logout);
  void RecordShown(ShownLine shown);
  void RecordServerMessage(ServerMessage message);
  // A reply on `connection`; a misuse unless it is the game's connection and answers a packet it got.
  void RecordRconReply(const ::RCONClientConnection* connection, RconReply reply);

 private:
  struct Player {
    std::unique_ptr<AShooterPlayerController> controller;
    std::unique_ptr<AShooterPlayerState> state;
  };
  struct Slot {
    UObject* object = nullptr;
    std::int32_t serial = 0;
  };

  std::int32_t Register(UObject* object);
  void Unregister(const UObject* object);
  Player* FindPlayer(std::uint64_t id);
  const Player* FindPlayer(std::uint64_t id) const;
  Player& RequirePlayer(std::uint64_t id, const char* action);
  FString HeldString(const std::u16string& text);
  void ReleaseHeld(FString& string);
  void AddToPlayerList(FWeakObjectPtr reference);
  void RemoveFromPlayerList(FWeakObjectPtr reference);
  // The player goes: its weak reference stops resolving and the game frees its strings.
  void DestroyPlayer(std::uint64_t id);
  void DispatchChat(AShooterPlayerController* controller, FString* message, int mode);
  void DispatchLogout(AController* exiting);
  void DispatchNewPlayer(AShooterPlayerController* new_player);

  GameServices& services_;
  TrackingAllocator allocator_;
  std::vector<Slot> objects_{Slot{}};  // index 0 never resolves
  std::int32_t next_serial_ = 1;
  std::unique_ptr<UWorld> world_;
  std::unique_ptr<AShooterGameMode> game_mode_;
  std::vector<Player> players_;  // connected, in join order
  // The connected players' objects by address: the game reaches a field at a fixed offset, so
  // finding one here must not cost more with every player that joins.
  std::unordered_map<const void*, AShooterPlayerController*> controllers_;
  std::unordered_map<const void*, AShooterPlayerState*> states_;
  std::unordered_map<const void*, FTribeData*> tribes_;
  std::map<std::uint64_t, FWeakObjectPtr> last_reference_;
  std::array<int, kGameFunctionSlots> call_counts_{};
  std::array<int, kGameFunctionSlots> throw_from_{};
  std::vector<ShownLine> shown_;
  std::vector<HandledChat> handled_chats_;
  std::vector<HandledLogout> handled_logouts_;
  std::vector<ServerMessage> server_messages_;
  std::vector<RconReply> rcon_replies_;
  RCONClientConnection rcon_connection_{1};
  std::int32_t last_rcon_packet_id_ = 0;  // packets 1 to this one came in on the connection
  std::vector<std::string> misuses_;
  GameObserver* observer_ = nullptr;
  bool keep_records_ = true;
};

}  // namespace devhost
