// EnsureMapId once the id is known, against reading the configured id through the settings.
#include <benchmark/benchmark.h>

#include "bench_host.h"
#include "core/settings.h"
#include "game/map_id.h"

namespace palaverlink::bench {
namespace {

void BM_EnsureMapId(benchmark::State& state) {
  BenchHost bench(1);
  if (!EnsureMapId()) state.SkipWithError("the map id is not known");
  for (auto _ : state) benchmark::DoNotOptimize(EnsureMapId());
}
BENCHMARK(BM_EnsureMapId);

void BM_EnsureMapIdFloor(benchmark::State& state) {
  BenchHost bench(1);
  for (auto _ : state) benchmark::DoNotOptimize(!Settings().MapId.empty());
}
BENCHMARK(BM_EnsureMapIdFloor);

}  // namespace
}  // namespace palaverlink::bench
