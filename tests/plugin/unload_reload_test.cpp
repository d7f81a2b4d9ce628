// Unloading and loading again as the framework does it: the host keeps the plug-in's timers and
// request completions after Plugin_Unload and goes on calling them, and the console's load after
// an unload starts the same (pinned) library once more.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "log_lines.h"
#include "support/plugin_fixture.h"

namespace palaverlink::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using namespace std::chrono_literals;

constexpr std::uint64_t kAnn = 76561198000000001ULL;
// A message created just after the poll's since, so that every answer has one to show.
std::string PollAnswer(const std::string& url) {
  const auto since = std::stoll(url.substr(url.rfind("&since=") + 7));
  return R"({"messages":[{"createdAt":)" + std::to_string(since + 1) +
         R"(,"author":"Gus","message":"late","kind":"gabblen"}]})";
}

class UnloadReload : public PluginFixture {
 protected:
  void StartWorld() {
    game().CreateWorld(u"TheIsland");
    game().Join({kAnn, u"Ann", u"ann", u"Wolves", true});
  }

  std::size_t RequestsTo(const std::string& path, std::size_t from = 0) {
    const auto& requests = env().Requests();
    return static_cast<std::size_t>(std::count_if(
        requests.begin() + static_cast<std::ptrdiff_t>(from), requests.end(),
        [&](const devhost::HttpRequest& request) { return request.url.find(path) != std::string::npos; }));
  }

  // Answers every request not answered yet: polls with a message, everything else with `success`.
  void AnswerOutstanding(bool success) {
    for (const auto& request : env().Requests()) {
      if (answered_.count(request.id)) continue;
      answered_.insert(request.id);
      const bool poll = request.url.find("/api/chat/outbound") != std::string::npos;
      host().Complete(request.id, poll || success,
                      poll ? PollAnswer(request.url) : "HTTP 500 Internal Server Error");
    }
  }

  std::size_t CountPluginLines(const std::string& start) {
    const auto lines = SplitPluginLines(PluginLog());
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const PluginLine& line) { return line.text.rfind(start, 0) == 0; }));
  }

  std::set<std::uint64_t> answered_;
};

TEST_F(UnloadReload, AfterUnloadTimersDueAndRequestsInFlightDoNothing) {
  Load(R"({"MapId":"island","OutboundPollSeconds":1,"SyncIntervalSeconds":2,"Debug":true})");
  StartWorld();
  game().Chat(kAnn, u"on its way", 0);
  Advance(2900ms);  // a poll and a sync out, all three timers due within the next 100 ms
  ASSERT_GE(RequestsTo("/api/chat/outbound"), 1u);
  ASSERT_GE(RequestsTo("/api/sessions/sync"), 1u);
  host().UnloadPlugin();
  const std::size_t sent = env().Requests().size();
  const std::size_t logged = PluginLog().size();
  EXPECT_EQ(host().TimerIntervals().size(), 5u) << "the host keeps the timers of an unloaded plug-in";

  // Answers come back (a message to show, failures that would take the link down), the timers
  // keep firing, players keep chatting and leaving.
  AnswerOutstanding(false);
  Advance(10s);
  game().Chat(kAnn, u"after the unload", 0);
  game().Leave(kAnn);
  Advance(10s);

  EXPECT_EQ(env().Requests().size(), sent);
  EXPECT_EQ(PluginLog().size(), logged);
  EXPECT_THAT(game().Shown(), IsEmpty());
  EXPECT_EQ(game().Allocator().LiveCount(), 0u);
}

TEST_F(UnloadReload, LoadAfterUnloadStartsAfreshWithTheEditedConfiguration) {
  // The first load leaves a poll unanswered and the link down: neither may follow into the next.
  Load(R"({"MapId":"island","OutboundPollSeconds":3,"SyncIntervalSeconds":60,"Debug":true})");
  StartWorld();
  game().Chat(kAnn, u"fails", 0);
  Advance(3s);
  host().Complete(env().Requests().front().id, false, "Couldn't connect to server");
  ASSERT_EQ(CountPluginLines("Palaverlink lost connection"), 1u);
  host().UnloadPlugin();
  for (const auto& request : env().Requests()) answered_.insert(request.id);  // stay unanswered

  host().WriteConfig(R"({"MapId":"island","OutboundPollSeconds":5,"SyncIntervalSeconds":7})");
  LoadWithoutConfig();
  EXPECT_EQ(CountPluginLines("Palaverlink loaded."), 2u);
  EXPECT_THAT(SplitPluginLines(PluginLog()).back().text,
              HasSubstr("Palaverlink loaded. Bridge=http://127.0.0.1:8765 Map=island Debug=off"));
  EXPECT_EQ(host().InstalledHooks().size(), 3u);

  const std::size_t from = env().Requests().size();
  for (int second = 0; second < 35; ++second) {
    Advance(1s);
    AnswerOutstanding(true);
  }
  EXPECT_EQ(RequestsTo("/api/chat/outbound", from), 7u);  // at 5, 10, ... 35 s and no more
  EXPECT_EQ(RequestsTo("/api/sessions/sync", from), 6u);  // at 1 s (the world is there), 7, 14, ... 35 s
  EXPECT_EQ(RequestsTo("/health", from), 1u);
  // Every answer showed its message once: the earlier load's poll timer did not poll too.
  EXPECT_EQ(game().Shown().size(), 7u);

  game().Chat(kAnn, u"once", 0);
  EXPECT_EQ(RequestsTo("/api/chat/inbound", from), 1u) << "one chat hook, not two";
  EXPECT_EQ(game().HandledChats().size(), 2u);
}

TEST_F(UnloadReload, InertStartIsMendedByLoadingAgainWithAGoodFile) {
  LoadWithoutConfig();
  ASSERT_EQ(CountPluginLines("Config error: Could not open "), 1u);
  EXPECT_THAT(host().TimerIntervals(), IsEmpty());
  host().UnloadPlugin();

  Load(R"({"MapId":"island","OutboundPollSeconds":4})");
  EXPECT_EQ(CountPluginLines("Palaverlink loaded."), 1u);
  EXPECT_EQ(host().TimerIntervals().size(), 5u);
  Advance(4s);
  EXPECT_EQ(RequestsTo("/api/chat/outbound?mapId=island&since="), 1u);
}

TEST_F(UnloadReload, FrameworkLineNamesThePluginFromItsPluginInfo) {
  Load("{}");
  host().UnloadPlugin();
  Load("{}");
  std::size_t framework_lines = 0;
  for (const auto& line : host().LogLines()) {
    if (line.text.find("Loaded plugin Palaverlink V1.0 (") != std::string::npos) ++framework_lines;
  }
  EXPECT_EQ(framework_lines, 2u);
  EXPECT_EQ(CountPluginLines("Palaverlink loaded."), 2u);
  EXPECT_THAT(SplitPluginLines(PluginLog()), Contains(Info("Palaverlink loaded. Bridge=http://127.0.0.1:8765 "
                                                           "Map=<auto-detect> Debug=off")));
}

}  // namespace
}  // namespace palaverlink::testing
