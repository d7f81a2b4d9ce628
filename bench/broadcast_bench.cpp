// BroadcastChatLine for 1, 10, 70 and 200 players, against one record copy with its two string
// buffers and one call of the game per player.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_host.h"
#include "chat/broadcast.h"
#include "delivery_floor.h"

namespace palaverlink::bench {
namespace {

// The game keeps every line it showed; a restart after this many keeps memory flat.
constexpr std::int64_t kShownPerRestart = 100000;

void PlayerCounts(benchmark::internal::Benchmark* benchmark) {
  for (int players : {1, 10, 70, 200}) benchmark->Arg(players);
  benchmark->ArgName("players");
}

void BM_Broadcast(benchmark::State& state) {
  const int players = static_cast<int>(state.range(0));
  BenchHost bench(players);
  const std::string tag = kSenderTag;
  const std::string line = kBotLine;
  std::int64_t done = 0;
  for (auto _ : state) {
    BroadcastChatLine(tag, line);
    RestartWhenDue(state, bench, done, players, kShownPerRestart, [] {});
  }
  state.counters["players"] = players;
}
BENCHMARK(BM_Broadcast)->Apply(PlayerCounts);

void BM_BroadcastFloor(benchmark::State& state) {
  const int players = static_cast<int>(state.range(0));
  BenchHost bench(players);
  const std::u16string tag = u"[Gabblen]";
  const std::u16string line = u"Mod: server restart in ten minutes, log off safely";
  DeliveryFloor floor;
  auto controllers = bench.Controllers();
  std::int64_t done = 0;
  for (auto _ : state) {
    floor.Show(controllers, tag, line);
    RestartWhenDue(state, bench, done, players, kShownPerRestart, [&] { controllers = bench.Controllers(); });
  }
  state.counters["players"] = players;
}
BENCHMARK(BM_BroadcastFloor)->Apply(PlayerCounts);

}  // namespace
}  // namespace palaverlink::bench
