// SyncSessions for 0, 70 and 500 players, each run with its answer, against serialising an equal
// body alone.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <string>

#include "bench_host.h"
#include "devhost/text.h"
#include "sessions/session_sync.h"

namespace palaverlink::bench {
namespace {

// Each run's body stays recorded with the host (about 150 bytes a player).
constexpr std::int64_t kPlayersListedPerRestart = 200000;

void PlayerCounts(benchmark::internal::Benchmark* benchmark) {
  for (int players : {0, 70, 500}) benchmark->Arg(players);
  benchmark->ArgName("players");
}

void BM_SyncSessions(benchmark::State& state) {
  const int players = static_cast<int>(state.range(0));
  BenchHost bench(players);
  std::int64_t done = 0;
  for (auto _ : state) {
    // One run and the bot's answer: the next list goes only once the one out is answered.
    const std::size_t requests = bench.env().Requests().size();
    SyncSessions();
    if (bench.env().Requests().size() != requests + 1) {
      state.SkipWithError("no player list went out");
      break;
    }
    bench.host().Complete(bench.env().Requests().back().id, true, "{}");
    RestartWhenDue(state, bench, done, players + 1, kPlayersListedPerRestart, [] {});
  }
  state.counters["players"] = players;
}
BENCHMARK(BM_SyncSessions)->Apply(PlayerCounts);

void BM_SyncSessionsFloor(benchmark::State& state) {
  const int players = static_cast<int>(state.range(0));
  nlohmann::json list = nlohmann::json::array();
  for (int i = 0; i < players; ++i) {
    list.push_back({{"platformId", std::to_string(PlayerId(i))},
                    {"playerName", devhost::ToUtf8(CharacterName(i))},
                    {"steamName", devhost::ToUtf8(AccountName(i))},
                    {"tribeName", devhost::ToUtf8(TribeName(i))},
                    {"sessionStartedAt", std::int64_t{1718000000000} + i}});
  }
  const nlohmann::json body = {{"mapId", kMapId}, {"players", list}};
  for (auto _ : state) {
    std::string text = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["players"] = players;
}
BENCHMARK(BM_SyncSessionsFloor)->Apply(PlayerCounts);

}  // namespace
}  // namespace palaverlink::bench
