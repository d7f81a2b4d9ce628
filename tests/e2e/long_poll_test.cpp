// Long poll and the outage buffer against the development bot over loopback: a bot message reaches
// the players well inside the poll interval, an idle bot is not polled in a loop, and the chat said
// while the bot was down, hung or lost its answers reaches it once, in order, after the reconnection.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>

#include "devbot_process.h"
#include "devserver_process.h"
#include "link_lines.h"

namespace palaverlink::e2e {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

constexpr char kAnn[] = "76561198000000001";

std::int64_t OutboundPolls(const DevbotProcess& bot) {
  return bot.AdminGet("/admin/requests")["requests"].value("GET /api/chat/outbound", std::int64_t{0});
}

// Ann on The Island, a server polling the development bot with `setting` on; the bot knows the map.
// Members in the order they are needed: the server stops before the bot, the root goes last.
struct IslandScene {
  IslandScene(const char* name, int poll_seconds, const char* setting, int value)
      : root(name), bot(root.path() / "devbot.stderr") {
    if (!bot.started()) return;
    Json config = BotConfig(bot.port(), poll_seconds);
    config["MapId"] = "the-island";
    config[setting] = value;
    server.emplace(root.path(), config);
    if (!server->ready()) return;
    server->Send("world TheIsland");
    server->Send(std::string("join ") + kAnn + " Ann");
    ready = WaitUntil([&] { return bot.KnowsMaps({"the-island"}); }, 10s);
  }

  TempRoot root;
  DevbotProcess bot;
  std::optional<DevserverProcess> server;
  bool ready = false;
};

TEST(LongPoll, BotMessagesArriveWellInsideThePollIntervalAndAnIdleBotIsNotPolledInALoop) {
  IslandScene scene("long-poll", 5, "OutboundWaitSeconds", 5);
  ASSERT_TRUE(scene.ready);
  DevbotProcess& bot = scene.bot;
  DevserverProcess& server = *scene.server;

  // From the first poll on, one is always held. With polls every 5 s, three messages in a row each
  // shown within 1.2 s would be luck (one chance in seventy); the bound leaves room for a sanitizer
  // build on a busy machine.
  ASSERT_TRUE(WaitUntil([&] { return OutboundPolls(bot) >= 1; }, 10s));
  for (const char* text : {"one", "two", "three"}) {
    std::this_thread::sleep_for(1300ms);
    const auto said = std::chrono::steady_clock::now();
    ASSERT_TRUE(bot.Say("Mod", text, "the-island"));
    ASSERT_TRUE(server.WaitForShown(kAnn, std::string("[Gabblen] Mod: ") + text, 5s));
    EXPECT_LT(std::chrono::steady_clock::now() - said, 1200ms) << text;
  }

  // Idle: each poll is held about 5 s, so some 2 polls in 10 s, never a loop.
  const std::int64_t before = OutboundPolls(bot);
  std::this_thread::sleep_for(10s);
  const std::int64_t polls = OutboundPolls(bot) - before;
  EXPECT_GE(polls, 1);
  EXPECT_LE(polls, 4);
  EXPECT_EQ(server.Quit(), 0);
  EXPECT_EQ(bot.Stop(), 0);
}

TEST(OutageBuffer, ChatSaidWhileTheBotWasDownReachesItOnceInOrderAfterTheReconnection) {
  IslandScene scene("outage-buffer", 1, "OutageBufferLines", 10);
  ASSERT_TRUE(scene.ready);
  DevbotProcess& bot = scene.bot;
  DevserverProcess& server = *scene.server;

  ASSERT_TRUE(bot.SetFault("down"));
  for (const char* text : {"down 1", "down 2", "down 3"}) {
    server.Send(std::string("chat ") + kAnn + " global " + text);
    std::this_thread::sleep_for(200ms);
  }
  ASSERT_TRUE(server.WaitForPluginLines(kLostConnection, 1, 5s));
  ASSERT_TRUE(bot.SetFault("none"));
  // The health probe runs every 30 s.
  ASSERT_TRUE(server.WaitForPluginLines(kReconnected, 1, 40s));
  // A line said while the kept ones still go out would join them (and their count): wait for the
  // count first, so that it holds on a slow machine too.
  ASSERT_TRUE(
      server.WaitForPluginLines("Palaverlink: outage buffer: caught up - 3 line(s) delivered", 1, 5s));
  server.Send(std::string("chat ") + kAnn + " global after");
  ASSERT_TRUE(WaitUntil([&] { return bot.Events("inbound").size() >= 4; }, 10s));
  std::this_thread::sleep_for(500ms);

  std::vector<std::string> received;
  for (const Json& line : bot.Events("inbound")) received.push_back(line.value("message", ""));
  EXPECT_THAT(received, ElementsAre("down 1", "down 2", "down 3", "after"));
  EXPECT_EQ(server.Quit(), 0);
  EXPECT_EQ(bot.Stop(), 0);
}

// The bot takes a line but its answer never comes back; then it hangs without reading the next
// one. Both time out on the host (10 s): the first is sent again under its key, which the bot
// recognises, and the second for the first time.
TEST(OutageBuffer, LinesSaidWhileTheBotHangsReachItOnceInOrder) {
  IslandScene scene("outage-hang", 1, "OutageBufferLines", 10);
  ASSERT_TRUE(scene.ready);
  DevbotProcess& bot = scene.bot;
  DevserverProcess& server = *scene.server;

  ASSERT_TRUE(bot.SetFault("slow", 11000));
  server.Send(std::string("chat ") + kAnn + " global taken");
  ASSERT_TRUE(WaitUntil([&] { return bot.Events("inbound").size() == 1; }, 5s));
  ASSERT_TRUE(bot.SetFault("hang", 11000));
  server.Send(std::string("chat ") + kAnn + " global hung");
  ASSERT_TRUE(server.WaitForPluginLines(kLostConnection, 1, 15s));
  ASSERT_TRUE(bot.SetFault("none"));
  ASSERT_TRUE(server.WaitForPluginLines(kReconnected, 1, 45s));
  ASSERT_TRUE(
      server.WaitForPluginLines("Palaverlink: outage buffer: caught up - 2 line(s) delivered", 1, 15s));

  std::vector<std::string> received;
  for (const Json& line : bot.Events("inbound")) received.push_back(line.value("message", ""));
  EXPECT_THAT(received, ElementsAre("taken", "hung"));
  EXPECT_EQ(server.Quit(), 0);
  EXPECT_EQ(bot.Stop(), 0);
}

// A bot slower than the chat with the link up: the first line dropped is said at once, while lines
// still wait, and the count once all are sent is what the bot received.
TEST(OutageBuffer, ABotSlowerThanTheChatIsNamedAtOnceAndTheCountIsWhatItReceived) {
  IslandScene scene("outage-slow", 1, "OutageBufferLines", 2);
  ASSERT_TRUE(scene.ready);
  DevbotProcess& bot = scene.bot;
  DevserverProcess& server = *scene.server;
  constexpr char kFull[] = "Palaverlink: outage buffer full with the link up: dropped ";
  constexpr char kCaughtUp[] = "Palaverlink: outage buffer: caught up - ";

  ASSERT_TRUE(bot.SetFault("slow", 1500));
  constexpr int kSaid = 6;
  for (int line = 1; line <= kSaid; ++line) {
    server.Send(std::string("chat ") + kAnn + " global slow " + std::to_string(line));
  }
  ASSERT_TRUE(server.WaitForPluginLines(kFull, 1, 5s));
  EXPECT_EQ(server.CountPluginLines(kCaughtUp), 0u);
  // Player lists come every second through the same outbox: with the bot fast again it empties.
  ASSERT_TRUE(bot.SetFault("none"));
  ASSERT_TRUE(server.WaitForPluginLines(kCaughtUp, 1, 20s));

  int delivered = -1;
  int dropped = -1;
  for (const PluginLogLine& line : server.PluginLog()) {
    if (!line.text.starts_with(kCaughtUp)) continue;
    ASSERT_EQ(std::sscanf(line.text.c_str() + std::strlen(kCaughtUp),
                          "%d line(s) delivered, 0 refused, 0 given up, %d dropped", &delivered, &dropped),
              2)
        << line.text;
  }
  EXPECT_EQ(static_cast<std::size_t>(delivered), bot.Events("inbound").size());
  EXPECT_EQ(delivered + dropped, kSaid);
  EXPECT_GE(dropped, 1);
  EXPECT_EQ(server.Quit(), 0);
  EXPECT_EQ(bot.Stop(), 0);
}

}  // namespace
}  // namespace palaverlink::e2e
