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
};

class Game {
 public:
  virtual ~Game() = default;

  // The world; before CreateWorld there is none. An empty name gives a world with an empty map name.
  virtual void CreateWorld(const std::u16string& map_name) = 0;
  virtual void DestroyWorld() = 0;

  // Connects a player; players are identified by their platform id in these calls (ids need not be
  // unique in the game: the first connected player with the id is meant).
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

  // The named game function throws std::runtime_error on its next `times` calls.
  virtual void ThrowFrom(const std::string& function_name, int times = 1) = 0;

  // What the game did.
  virtual const std::vector<ShownLine>& Shown() const = 0;
  virtual const std::vector<HandledChat>& HandledChats() const = 0;
  virtual const std::vector<HandledLogout>& HandledLogouts() const = 0;
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
};

}  // namespace devhost
