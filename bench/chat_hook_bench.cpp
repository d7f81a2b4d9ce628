// A chat line through ChatHook: relayed (the plug-in's own work, the game's handling apart) against
// building and serialising the same six-member body; a command line ("/help") against the game's
// own handler alone.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <memory>
#include <string>

#include "bench_host.h"
#include "chat/chat_hook.h"

namespace palaverlink::bench {
namespace {

constexpr std::int64_t kLinesPerRestart = 20000;

void IgnoreLine(AShooterPlayerController* /*controller*/, GameString* /*message*/, int /*send_mode*/) {}

// Runs `line` through `handler` in global chat, the controller of the first player speaking.
template <typename Handler>
void SayRepeatedly(benchmark::State& state, std::u16string_view line, bool without_game_handling,
                   Handler handler) {
  BenchHost bench(1);
  ServerSendChatMessageFn game_handler = nullptr;
  AShooterPlayerController* controller = nullptr;
  std::unique_ptr<GameText> text;
  auto build = [&] {
    game_handler = GameChatHandler();
    if (without_game_handling) GameChatHandler() = &IgnoreLine;
    controller = bench.Controllers().front();
    text = std::make_unique<GameText>(bench.game(), line);
  };
  build();
  std::int64_t done = 0;
  for (auto _ : state) {
    handler(game_handler, controller, text->get());
    RestartWhenDue(state, bench, done, 1, kLinesPerRestart, [&] {
      text.reset();
      build();
    });
  }
  text.reset();
  GameChatHandler() = game_handler;
}

void BM_RelayedLine(benchmark::State& state) {
  SayRepeatedly(state, kChatText, /*without_game_handling=*/true,
                [](ServerSendChatMessageFn, AShooterPlayerController* controller, GameString* text) {
                  ChatHook(controller, text, 0);
                });
}
BENCHMARK(BM_RelayedLine);

void BM_RelayedLineFloor(benchmark::State& state) {
  const std::string map_id = kMapId;
  const std::string player = "Rexford the Bold 0";
  const std::string tribe = "Raptors of the North 0";
  const std::string message = kChatTextUtf8;
  const std::string channel = "global";
  const std::string platform_id = std::to_string(PlayerId(0));
  for (auto _ : state) {
    nlohmann::json body = nlohmann::json::object();
    body["mapId"] = map_id;
    body["playerName"] = player;
    body["tribeName"] = tribe;
    body["message"] = message;
    body["channel"] = channel;
    body["platformId"] = platform_id;
    std::string text = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_RelayedLineFloor);

void BM_SkippedLine(benchmark::State& state) {
  SayRepeatedly(state, u"/help", /*without_game_handling=*/false,
                [](ServerSendChatMessageFn, AShooterPlayerController* controller, GameString* text) {
                  ChatHook(controller, text, 0);
                });
}
BENCHMARK(BM_SkippedLine);

void BM_SkippedLineFloor(benchmark::State& state) {
  SayRepeatedly(state, u"/help", /*without_game_handling=*/false,
                [](ServerSendChatMessageFn game_handler, AShooterPlayerController* controller,
                   GameString* text) { game_handler(controller, text, 0); });
}
BENCHMARK(BM_SkippedLineFloor);

}  // namespace
}  // namespace palaverlink::bench
