// The join hook's own work (the game's new-player function apart) against its floor: resolving and
// calling the game's platform-id function, one clock reading and one store in a hash map. And
// Palaverlink.Status over RCON, 70 players, against its floor: the same command path handing back
// a reply of the same length that was made beforehand.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "arkapi/framework.h"
#include "bench_host.h"
#include "devhost/game_records.h"
#include "devhost/text.h"
#include "sessions/join_hook.h"

namespace palaverlink::bench {
namespace {

bool IgnoreNewPlayer(AShooterGameMode*, AShooterPlayerController*, UPrimalPlayerData*, AShooterCharacter*,
                     bool) {
  return true;
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void BM_JoinHook(benchmark::State& state) {
  BenchHost bench(70);
  const HandleNewPlayerFn game_handler = GameNewPlayerHandler();
  GameNewPlayerHandler() = &IgnoreNewPlayer;
  const auto controllers = bench.Controllers();
  AShooterGameMode* game_mode = bench.game().GameMode();
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        JoinHook(game_mode, controllers[next++ % controllers.size()], nullptr, nullptr, true));
  }
  GameNewPlayerHandler() = game_handler;
}
BENCHMARK(BM_JoinHook);

void BM_JoinHookFloor(benchmark::State& state) {
  BenchHost bench(70);
  const auto controllers = bench.Controllers();
  const std::string get_id_name = "AShooterPlayerController.GetUniqueNetIdAsUINT64";
  std::unordered_map<std::uint64_t, std::int64_t> starts;
  std::size_t next = 0;
  for (auto _ : state) {
    const auto get_id = reinterpret_cast<devhost::GetUniqueNetIdAsUint64Fn>(GetAddress(get_id_name));
    starts.insert_or_assign(get_id(controllers[next++ % controllers.size()]), NowMs());
  }
  benchmark::DoNotOptimize(starts.size());
}
BENCHMARK(BM_JoinHookFloor);

void BM_StatusCommand(benchmark::State& state) {
  BenchHost bench(70);
  bench.game().KeepRecords(false);
  for (auto _ : state) {
    if (!bench.game().RunRconCommand(u"Palaverlink.Status")) {
      state.SkipWithError("the command is not registered");
      break;
    }
  }
}
BENCHMARK(BM_StatusCommand);

// What cannot be avoided: the framework's command path, a game string of the reply's length from
// the game's allocator, and the game's send on the connection.
void BM_StatusCommandFloor(benchmark::State& state) {
  BenchHost bench(70);
  bench.game().RunRconCommand(u"Palaverlink.Status");
  if (bench.game().RconReplies().empty()) {
    state.SkipWithError("no reply to copy");
    return;
  }
  const std::u16string reply = bench.game().RconReplies().back().text;
  bench.game().KeepRecords(false);
  ArkApi::GetCommands().AddRconCommand(
      "Bench.Reply", [&reply](RCONClientConnection* connection, RCONPacket* packet, UWorld*) {
        const auto malloc = reinterpret_cast<devhost::MallocFn>(GetAddress("FMemory.Malloc"));
        const auto free = reinterpret_cast<devhost::FreeFn>(GetAddress("FMemory.Free"));
        const auto send =
            reinterpret_cast<devhost::RconSendMessageFn>(GetAddress("RCONClientConnection.SendMessageW"));
        const auto units = static_cast<std::int32_t>(reply.size() + 1);
        auto* data = static_cast<char16_t*>(malloc(static_cast<std::size_t>(units) * sizeof(char16_t), 2));
        std::copy(reply.begin(), reply.end(), data);
        data[reply.size()] = u'\0';
        devhost::FString text{data, units, units};
        send(connection, packet->id, 0, &text);
        free(data);
      });
  for (auto _ : state) bench.game().RunRconCommand(u"Bench.Reply");
  ArkApi::GetCommands().RemoveRconCommand("Bench.Reply");
}
BENCHMARK(BM_StatusCommandFloor);

}  // namespace
}  // namespace palaverlink::bench
