// Not figures of their own: what a busy server's tick also pays for, used with the figures to
// work out the plug-in's share of a tick. One poll round with an empty answer (the request, then
// its completion), and one health probe sent.
#include <benchmark/benchmark.h>

#include "bench_host.h"
#include "chat/outbound_poll.h"
#include "chat/outbound_poll_state.h"
#include "link/health_probe.h"
#include "link/link_state.h"

namespace palaverlink::bench {
namespace {

constexpr std::int64_t kRequestsPerRestart = 20000;

void BM_PollRoundEmpty(benchmark::State& state) {
  BenchHost bench(70);
  std::int64_t done = 0;
  for (auto _ : state) {
    // One round is one poll and its answer: a fresh pace, which would hold back every fifth poll
    // until its one-second timer ticks.
    ResetOutboundPoll();
    const std::size_t requests = bench.env().Requests().size();
    PollOutbound();
    if (bench.env().Requests().size() != requests + 1) {
      state.SkipWithError("no poll went out");
      break;
    }
    const std::uint64_t poll = bench.env().Requests().back().id;
    bench.host().Complete(poll, true, R"({"messages":[]})");
    RestartWhenDue(state, bench, done, 1, kRequestsPerRestart, [] {});
  }
}
BENCHMARK(BM_PollRoundEmpty);

void BM_HealthProbe(benchmark::State& state) {
  BenchHost bench(70);
  std::int64_t done = 0;
  for (auto _ : state) {
    SendHealthProbe();
    RestartWhenDue(state, bench, done, 1, kRequestsPerRestart, [] {});
  }
}
BENCHMARK(BM_HealthProbe);

}  // namespace
}  // namespace palaverlink::bench
