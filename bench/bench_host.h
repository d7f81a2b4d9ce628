// The plug-in started through its entry points on a development host with the manual environment,
// a world and connected players: what the benchmarks measure against. Requests are recorded and
// never answered, so the transport does no work of its own.
#pragma once

#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "devhost/host.h"
#include "game/game_records.h"

namespace palaverlink::bench {

inline constexpr char kMapId[] = "the-island";

// What the benchmarks say and show: ordinary chat of ordinary length.
inline constexpr char16_t kChatText[] = u"anyone up for the swamp cave run tonight?";
inline constexpr char kChatTextUtf8[] = "anyone up for the swamp cave run tonight?";
inline constexpr char kSenderTag[] = "[Gabblen]";
inline constexpr char kBotLine[] = "Mod: server restart in ten minutes, log off safely";

// Message i of a bot's answer: lines from the outside platform ("Mod") and from another map ("Rexford
// the Bold 7" on "The Center") in turn, created one millisecond apart from kFirstCreatedAt on.
inline constexpr std::int64_t kFirstCreatedAt = 1718000000000;
nlohmann::json BotMessage(int index);
bool BotMessageIsFromMap(int index);

// Player i of a scene: ids, names and tribes of ordinary length.
std::uint64_t PlayerId(int index);
std::u16string CharacterName(int index);
std::u16string AccountName(int index);
std::u16string TribeName(int index);

class BenchHost {
 public:
  explicit BenchHost(int players);
  ~BenchHost();
  BenchHost(const BenchHost&) = delete;
  BenchHost& operator=(const BenchHost&) = delete;

  // Starts over with a fresh host and plug-in: the host keeps every request and every shown line,
  // so long runs restart now and then to keep memory flat. Pointers taken before are invalid.
  void Restart();

  devhost::Host& host() { return *host_; }
  devhost::Game& game() { return host_->game(); }
  devhost::ManualEnvironment& env() { return *env_; }
  // The connected players' controllers, in list order.
  std::vector<::AShooterPlayerController*> Controllers() const;

 private:
  void Start();
  void Stop();

  int players_;
  std::filesystem::path root_;
  devhost::ManualEnvironment* env_ = nullptr;
  std::unique_ptr<devhost::Host> host_;
};

// A game string whose buffer comes from the game's allocator, as the game hands the chat handler.
class GameText {
 public:
  GameText(devhost::Game& game, std::u16string_view text);
  ~GameText();
  GameText(const GameText&) = delete;
  GameText& operator=(const GameText&) = delete;
  GameString* get() { return &string_; }

 private:
  devhost::Game& game_;
  GameString string_{};
};

// Restarts the host (outside the timed region) once `limit` units of work have been done since the
// last restart; `rebuild` then makes the scene's objects anew.
template <typename Rebuild>
void RestartWhenDue(benchmark::State& state, BenchHost& bench, std::int64_t& done, std::int64_t units,
                    std::int64_t limit, Rebuild&& rebuild) {
  done += units;
  if (done < limit) return;
  state.PauseTiming();
  done = 0;
  bench.Restart();
  rebuild();
  state.ResumeTiming();
}

}  // namespace palaverlink::bench
