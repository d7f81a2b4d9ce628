// A backlog of 5,000 messages (the bot's store after an outage) shown to 70 players: each
// completion answers with everything after the cursor, as the bot does, until nothing is left.
// Reports the worst single completion (the game thread's cpu time, and the wall clock beside it),
// the one figure a game tick feels, and the completions taken.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "bench_host.h"
#include "chat/outbound_answer.h"
#include "chat/outbound_poll_state.h"

namespace palaverlink::bench {
namespace {

constexpr int kBacklog = 5000;
constexpr int kPlayers = 70;

// The backlog's elements as one text, and where each element starts in it.
struct Backlog {
  std::string elements;
  std::vector<std::size_t> starts;
};

Backlog MakeBacklog() {
  Backlog backlog;
  for (int i = 0; i < kBacklog; ++i) {
    if (i > 0) backlog.elements += ',';
    backlog.starts.push_back(backlog.elements.size());
    backlog.elements += BotMessage(i).dump();
  }
  return backlog;
}

// The game thread's own cpu time: on a shared machine the wall clock also counts the time the
// thread waited for a processor.
double ThreadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// Everything created after `since`, as the bot answers a poll.
std::string AnswerAfter(const Backlog& backlog, std::int64_t since) {
  const std::int64_t first = std::clamp<std::int64_t>(since - kFirstCreatedAt + 1, 0, kBacklog);
  std::string answer = R"({"messages":[)";
  if (first < kBacklog) answer += backlog.elements.substr(backlog.starts[static_cast<std::size_t>(first)]);
  return answer + "]}";
}

void BM_OutboundBacklog(benchmark::State& state) {
  const Backlog backlog = MakeBacklog();
  BenchHost bench(kPlayers);
  double worst_ns = 0;
  double worst_wall_ns = 0;
  double completions = 0;
  for (auto _ : state) {
    state.PauseTiming();
    bench.Restart();
    // The simulated game's list of every line shown would grow to 350,000 entries here, and its
    // reallocations are no cost of the plug-in's (a real game keeps no such list).
    bench.game().KeepRecords(false);
    SetOutboundCursor(kFirstCreatedAt - 1);
    int rounds = 0;
    for (;;) {
      const std::int64_t since = OutboundCursor();
      if (since >= kFirstCreatedAt + kBacklog - 1) break;
      const std::string answer = AnswerAfter(backlog, since);
      state.ResumeTiming();
      const double began_cpu = ThreadCpuNs();
      const auto began = std::chrono::steady_clock::now();
      ShowOutboundAnswer(answer);
      const auto took = std::chrono::steady_clock::now() - began;
      const double took_cpu = ThreadCpuNs() - began_cpu;
      state.PauseTiming();
      worst_ns = std::max(worst_ns, took_cpu);
      worst_wall_ns = std::max(worst_wall_ns, static_cast<double>(std::chrono::nanoseconds(took).count()));
      ++rounds;
    }
    completions = rounds;
    state.ResumeTiming();
  }
  state.counters["worst_completion_ns"] = worst_ns;
  state.counters["worst_completion_wall_ns"] = worst_wall_ns;
  state.counters["completions"] = completions;
}
BENCHMARK(BM_OutboundBacklog)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace palaverlink::bench
