// The simulated game: a world with a map name, player controllers with their player states and
// tribe records, a game mode, and the game's functions and fields reachable by name.
//
// The game's own calls of its hooked functions (the chat handler and the logout) go through the
// framework's hook table, so installed hooks really see them. Texts are UTF-16 as in the game.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devhost/game_records.h"
#include "devhost/tracking_allocator.h"

namespace devhost {

struct PlayerSpec {
  std::uint64_t platform_id = 0;
  std::u16string character_name;
  std::u16string account_name;
  std::u16string tribe_name;
  bool has_player_state = true;
};

// A line the game's client chat function showed a player.
struct ShownLine {
  std::uint64_t to = 0;  // the player's platform id
  std::u16string tag;    // the record's sender name
  std::u16string line;   // the record's message
  FChatMessage record;   // the record as received; its string pointers are no longer valid
};

// A chat line that the game's own chat handler handled.
struct HandledChat {
  std::uint64_t from = 0;  // 0 when the controller was null
  std::u16string text;
  bool text_was_null = false;
  int mode = 0;
};

// A line the game sent one player as a chat message from the server
// (AShooterPlayerController.ClientServerChatDirectMessage): how a console command answers.
struct ServerMessage {
  std::uint64_t to = 0;  // the player's platform id
  std::u16string text;
};

// A reply that went back on the game's RCON connection (RCONClientConnection.SendMessageW).
struct RconReply {
  std::int32_t packet_id = 0;  // the id of the packet it answers
  std::int32_t type = 0;
  std::u16string text;
};

// A logout that the game's own logout handled.
struct HandledLogout {
  std::uint64_t player = 0;  // 0 when the controller was null
  bool controller_was_null = false;
};

// Told of what the game does as it happens (on the game thread).
class GameObserver {
 public:
  virtual ~GameObserver() = default;
  virtual void OnShown(const ShownLine& /*shown*/) {}
  virtual void OnChatHandled(const HandledChat& /*chat*/) {}
  virtual void OnLogoutHandled(const HandledLogout& /*logout*/) {}
  virtual void OnServerMessage(const ServerMessage& /*message*/) {}
  virtual void OnRconReply(const RconReply& /*reply*/) {}
};

class Game {
 public:
  virtual ~Game() = default;

  // The world; before CreateWorld there is none. An empty name gives a world with an empty map name.
  virtual void CreateWorld(const std::u16string& map_name) = 0;
  virtual void DestroyWorld() = 0;

  // Connects a player, then the game hands the new player to its (hooked) new-player function;
  // players are identified by their platform id in these calls (ids need not be unique in the
  // game: the first connected player with the id is meant).
  virtual void Join(const PlayerSpec& player) = 0;
  // The player says `text` in send mode `mode`, through the game's (hooked) chat handler.
  virtual void Chat(std::uint64_t player, const std::u16string& text, int mode) = 0;
  // The chat handler called with a null controller or a null text.
  virtual void ChatWithNullController(const std::u16string& text, int mode) = 0;
  virtual void ChatWithNullText(std::uint64_t player, int mode) = 0;
  // The player logs out through the game's (hooked) logout; then the controller goes.
  virtual void Leave(std::uint64_t player) = 0;
  virtual void LogoutWithNullController() = 0;
  // The controller goes without a logout: its weak reference stops resolving.
  virtual void Vanish(std::uint64_t player) = 0;
  virtual std::vector<std::uint64_t> ConnectedPlayers() const = 0;

  // A player with the console's rights types `text` in the game's console; an RCON client sends
  // `text` in a packet of its own id (1, 2, ... on the game's one RCON connection). The command
  // registered under its first word runs; false when there is none (nothing runs).
  virtual bool RunConsoleCommand(std::uint64_t player, const std::u16string& text) = 0;
  virtual bool RunRconCommand(const std::u16string& text) = 0;

  // The named game function throws std::runtime_error on its next `times` calls.
  virtual void ThrowFrom(const std::string& function_name, int times = 1) = 0;

  // What the game did.
  virtual const std::vector<ShownLine>& Shown() const = 0;
  virtual const std::vector<HandledChat>& HandledChats() const = 0;
  virtual const std::vector<HandledLogout>& HandledLogouts() const = 0;
  virtual const std::vector<ServerMessage>& ServerMessages() const = 0;
  virtual const std::vector<RconReply>& RconReplies() const = 0;
  // How often the named game function was called (functions reached through GetAddress and the
  // game's own hooked functions).
  virtual int CallCount(const std::string& function_name) const = 0;

  virtual TrackingAllocator& Allocator() = 0;

  // Calls of game functions with objects the game does not know (a null, stale or foreign
  // controller, a string record whose count does not fit its buffer, ...), one text each.
  virtual std::vector<std::string> Misuses() const = 0;

  // The game's objects, for tests that call game functions themselves; null when absent.
  virtual ::UWorld* World() const = 0;
  virtual ::AShooterGameMode* GameMode() const = 0;
  virtual ::AShooterPlayerController* Controller(std::uint64_t player) const = 0;
  // The weak reference the world's player list holds for the player (also after Vanish).
  virtual std::optional<FWeakObjectPtr> WeakReferenceOf(std::uint64_t player) const = 0;

  // At most one observer; null removes it.
  virtual void SetObserver(GameObserver* observer) = 0;
  // Whether Shown, HandledChats, HandledLogouts, ServerMessages and RconReplies keep what happened (they do
  // by default). A long-running server that only tells its observer turns this off, so that its memory stays
  // flat.
  virtual void KeepRecords(bool keep) = 0;
};

}  // namespace devhost
