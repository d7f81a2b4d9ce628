// One completion of the outbound poll for a 1 MiB answer of each shape a bot could send, 70 players
// connected: ordinary messages in time order, in reverse, all sharing one time, all without a
// time, all older than the cursor, tiny elements by the hundred thousand, one huge message, deep
// nesting, strings full of escapes. The figure a game tick feels is the worst single completion
// (the game thread's cpu time); the goal is 1 ms for every shape.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <time.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "bench_host.h"
#include "chat/outbound_answer.h"
#include "chat/outbound_message.h"
#include "chat/outbound_poll_state.h"

namespace palaverlink::bench {
namespace {

constexpr std::size_t kAnswerBytes = 1 << 20;
constexpr int kPlayers = 70;

double ThreadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// {"messages":[...]} with elements made by `element(i)` until the answer holds about 1 MiB.
template <typename Element>
std::string Answer(Element element) {
  std::string elements;
  for (int i = 0; elements.size() < kAnswerBytes - 32; ++i) {
    if (i > 0) elements += ',';
    elements += element(i);
  }
  return R"({"messages":[)" + elements + "]}";
}

std::string MessageAt(int index, std::int64_t created_at) {
  nlohmann::json message = BotMessage(index);
  message["createdAt"] = created_at;
  return message.dump();
}

struct Shape {
  const char* name;
  std::string answer;
};

std::vector<Shape> MakeShapes() {
  std::vector<Shape> shapes;
  shapes.push_back({"in time order", Answer([](int i) { return MessageAt(i, kFirstCreatedAt + i); })});
  shapes.push_back(
      {"reverse time order", Answer([](int i) { return MessageAt(i, kFirstCreatedAt + 100000 - i); })});
  shapes.push_back({"one shared time", Answer([](int i) { return MessageAt(i, kFirstCreatedAt); })});
  shapes.push_back({"no time", Answer([](int i) {
                      nlohmann::json message = BotMessage(i);
                      message.erase("createdAt");
                      return message.dump();
                    })});
  shapes.push_back(
      {"all older than the cursor", Answer([](int i) { return MessageAt(i, kFirstCreatedAt - 10 - i); })});
  shapes.push_back({"tiny numbers", Answer([](int) { return std::string("1"); })});
  shapes.push_back({"empty objects", Answer([](int) { return std::string("{}"); })});
  shapes.push_back({"tiny timed objects", Answer([](int i) {
                      return R"({"createdAt":)" + std::to_string(kFirstCreatedAt + i) + "}";
                    })});
  shapes.push_back({"one huge message", R"({"messages":[{"createdAt":)" + std::to_string(kFirstCreatedAt) +
                                            R"(,"message":")" + std::string(kAnswerBytes - 64, 'x') +
                                            R"("}]})"});
  // The most a completion shows: 8 timed and 8 untimed elements, each line as long as is shown.
  shapes.push_back({"lines at the length bound, half without a time", Answer([](int i) {
                      nlohmann::json message = BotMessage(i);
                      message["author"] = "";
                      message["message"] = std::string(kLongestChatLineBytes, 'w');
                      if (i % 2 == 0) {
                        message["createdAt"] = kFirstCreatedAt + i;
                      } else {
                        message.erase("createdAt");
                      }
                      return message.dump();
                    })});
  shapes.push_back({"elements at the size bound, half without a time", Answer([](int i) {
                      nlohmann::json message = BotMessage(i);
                      message["message"] = std::string(kLongestMessageElementBytes - 200, 'w');
                      if (i % 2 == 0) {
                        message["createdAt"] = kFirstCreatedAt + i;
                      } else {
                        message.erase("createdAt");
                      }
                      return message.dump();
                    })});
  shapes.push_back({"deep nesting", R"({"messages":[)" + std::string(kAnswerBytes / 2 - 16, '[') +
                                        std::string(kAnswerBytes / 2 - 16, ']') + "]}"});
  shapes.push_back({"escapes in every string", Answer([](int i) {
                      std::string text = R"({"createdAt":)" + std::to_string(kFirstCreatedAt + 100000 - i) +
                                         R"(,"author":"\u00e9\ud83d\ude00","message":")";
                      for (int k = 0; k < 20; ++k) text += R"(\u00e9\n\"\\)";
                      return text + R"("})";
                    })});
  // Three more that cost as much per element as any: one-digit numbers, empty arrays (neither is
  // a message), and small objects without a time, each different and so each looked up.
  shapes.push_back({"numbers 0 to 9", Answer([](int i) { return std::to_string(i % 10); })});
  shapes.push_back({"empty arrays", Answer([](int) { return std::string("[]"); })});
  shapes.push_back(
      {"small objects, each different", Answer([](int i) { return R"({"a":)" + std::to_string(i) + "}"; })});
  return shapes;
}

const std::vector<Shape>& Shapes() {
  static const std::vector<Shape> shapes = MakeShapes();
  return shapes;
}

void BM_OutboundAnswerOfOneMiB(benchmark::State& state) {
  const Shape& shape = Shapes()[static_cast<std::size_t>(state.range(0))];
  BenchHost bench(kPlayers);
  bench.game().KeepRecords(false);
  double worst_ns = 0;
  for (auto _ : state) {
    SetOutboundCursor(kFirstCreatedAt - 1);
    const double began = ThreadCpuNs();
    ShowOutboundAnswer(shape.answer);
    worst_ns = std::max(worst_ns, ThreadCpuNs() - began);
  }
  state.SetLabel(shape.name);
  state.counters["worst_completion_ns"] = worst_ns;
  state.counters["answer_bytes"] = static_cast<double>(shape.answer.size());
}
BENCHMARK(BM_OutboundAnswerOfOneMiB)->DenseRange(0, 15)->Unit(benchmark::kMicrosecond)->Iterations(50);

}  // namespace
}  // namespace palaverlink::bench
