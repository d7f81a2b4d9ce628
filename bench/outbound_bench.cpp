// The outbound poll's completion for answers of 1, 4 and 8 messages (up to what one completion
// shows), one player connected, against parsing the same answer and showing each message with the
// delivery floor. Every round starts from a cursor before the messages, so that all are new.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "bench_host.h"
#include "chat/outbound_answer.h"
#include "chat/outbound_poll_state.h"
#include "delivery_floor.h"

namespace palaverlink::bench {
namespace {

constexpr std::int64_t kShownPerRestart = 100000;

struct Answer {
  std::string text;
  std::vector<std::u16string> tags;
  std::vector<std::u16string> lines;
};

// As the bot sends them: lines from the outside platform and from another map, in turn.
Answer MakeAnswer(int messages) {
  Answer answer;
  nlohmann::json elements = nlohmann::json::array();
  for (int i = 0; i < messages; ++i) {
    const bool from_map = BotMessageIsFromMap(i);
    elements.push_back(BotMessage(i));
    answer.tags.push_back(from_map ? u"<The Center>" : u"[Gabblen]");
    answer.lines.push_back(std::u16string(from_map ? u"Rexford the Bold 7" : u"Mod") +
                           u": server restart in ten minutes, log off safely");
  }
  answer.text = nlohmann::json{{"messages", elements}}.dump();
  return answer;
}

void MessageCounts(benchmark::internal::Benchmark* benchmark) {
  for (int messages : {1, 4, 8}) benchmark->Arg(messages);
  benchmark->ArgName("messages");
}

void BM_OutboundCompletion(benchmark::State& state) {
  const int messages = static_cast<int>(state.range(0));
  const Answer answer = MakeAnswer(messages);
  BenchHost bench(1);
  std::int64_t done = 0;
  for (auto _ : state) {
    SetOutboundCursor(kFirstCreatedAt - 1);
    ShowOutboundAnswer(answer.text);
    RestartWhenDue(state, bench, done, messages, kShownPerRestart, [] {});
  }
  state.counters["messages"] = messages;
}
BENCHMARK(BM_OutboundCompletion)->Apply(MessageCounts);

void BM_OutboundCompletionFloor(benchmark::State& state) {
  const int messages = static_cast<int>(state.range(0));
  const Answer answer = MakeAnswer(messages);
  BenchHost bench(1);
  DeliveryFloor floor;
  auto controllers = bench.Controllers();
  std::int64_t done = 0;
  for (auto _ : state) {
    const nlohmann::json parsed = nlohmann::json::parse(answer.text);
    benchmark::DoNotOptimize(&parsed);
    for (std::size_t i = 0; i < answer.lines.size(); ++i)
      floor.Show(controllers, answer.tags[i], answer.lines[i]);
    RestartWhenDue(state, bench, done, messages, kShownPerRestart,
                   [&] { controllers = bench.Controllers(); });
  }
  state.counters["messages"] = messages;
}
BENCHMARK(BM_OutboundCompletionFloor)->Apply(MessageCounts);

}  // namespace
}  // namespace palaverlink::bench
