// Losing the bot and getting it back: one warning when the link goes, silence while it is down
// (even once the bot is back), and the first health probe after that brings the relay back. The
// probe runs every 30 s from the plug-in's start, so each of these tests takes about 35 s.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "devbot_process.h"
#include "devserver_process.h"
#include "link_lines.h"

namespace palaverlink::e2e {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::IsEmpty;

constexpr char kAnn[] = "76561198000000001";

// The first health probe runs this long after the plug-in's start; the tests check the silence up
// to a few seconds before it.
constexpr auto kFirstProbe = 30s;
constexpr auto kQuietUntil = 27s;

std::string LostConnectionLine(const DevserverProcess& server) {
  for (const PluginLogLine& line : server.PluginLog()) {
    if (line.text.starts_with(kLostConnection)) return line.level + " " + line.text;
  }
  return {};
}

// The bot is back but the plug-in has not probed yet: it sends the bot nothing at all.
void ExpectSilenceBeforeTheProbe(const DevserverProcess& server, const DevbotProcess& bot) {
  std::this_thread::sleep_until(server.loaded_at() + kQuietUntil);
  EXPECT_THAT(bot.Events("map"), IsEmpty()) << "a request named the map while the link was down";
  EXPECT_THAT(bot.Events("inbound"), IsEmpty());
  EXPECT_THAT(bot.Events("sync"), IsEmpty());
  EXPECT_THAT(LinkTransitions(server), ElementsAre("lost"));
}

// After the reconnection both directions work again.
void ExpectRelayResumes(DevserverProcess& server, DevbotProcess& bot) {
  ASSERT_TRUE(server.WaitForPluginLines(kReconnected, 1, kFirstProbe + 10s));
  server.Send(std::string("chat ") + kAnn + " global relaying again");
  std::optional<Json> inbound = bot.WaitForEvent("inbound", 10s);
  ASSERT_TRUE(inbound);
  EXPECT_EQ(inbound->value("message", ""), "relaying again");
  ASSERT_TRUE(bot.Say("Mod", "glad you are back", "the-island"));
  EXPECT_TRUE(server.WaitForShown(kAnn, "[Gabblen] Mod: glad you are back", 10s));
  EXPECT_THAT(LinkTransitions(server), ElementsAre("lost", "reconnected"));
}

TEST(LinkLoss, BotDownFromTheStartWarnsOnceStaysSilentAndReconnectsAtTheFirstProbe) {
  TempRoot root("bot-down");
  const int port = UnusedLoopbackPort();
  ASSERT_GT(port, 0);
  DevserverProcess server(root.path(), BotConfig(port, 1, "", /*debug=*/true));
  ASSERT_TRUE(server.ready());
  server.Send("world TheIsland");
  server.Send(std::string("join ") + kAnn + " Ann");

  ASSERT_TRUE(server.WaitForPluginLines(kLostConnection, 1, 10s));
  EXPECT_THAT(LostConnectionLine(server), EndsWith(kGoingSilent));
  EXPECT_THAT(LostConnectionLine(server), ::testing::StartsWith("warning "));
  // Chat while down is dropped, one Debug line each, and no second warning follows.
  server.Send(std::string("chat ") + kAnn + " global anyone there?");
  server.Send(std::string("chat ") + kAnn + " global hello?");
  ASSERT_TRUE(server.WaitForPluginLines(kDroppedChat, 2, 5s));

  DevbotProcess bot(root.path() / "devbot.stderr", port);
  ASSERT_TRUE(bot.started());
  ExpectSilenceBeforeTheProbe(server, bot);
  ExpectRelayResumes(server, bot);
  // What was said while the link was down is not sent later.
  EXPECT_EQ(bot.Events("inbound").size(), 1u);

  EXPECT_EQ(server.Quit(), 0);
  EXPECT_EQ(bot.Stop(), 0);
}

TEST(LinkLoss, BotDyingMidRunWarnsOnceAndTheRestartedBotGetsTheRelayBack) {
  TempRoot root("bot-dies");
  auto bot = std::make_unique<DevbotProcess>(root.path() / "devbot-first.stderr");
  ASSERT_TRUE(bot->started());
  const int port = bot->port();
  DevserverProcess server(root.path(), BotConfig(port, 1, "", /*debug=*/true));
  ASSERT_TRUE(server.ready());
  server.Send("world TheIsland");
  server.Send(std::string("join ") + kAnn + " Ann");
  ASSERT_TRUE(WaitUntil([&] { return bot->KnowsMaps({"the-island"}); }, 10s));
  ASSERT_TRUE(bot->Say("Mod", "before the fall", "the-island"));
  ASSERT_TRUE(server.WaitForShown(kAnn, "[Gabblen] Mod: before the fall", 10s));

  bot->Kill();
  ASSERT_TRUE(server.WaitForPluginLines(kLostConnection, 1, 10s));
  EXPECT_THAT(LostConnectionLine(server), EndsWith(kGoingSilent));
  server.Send(std::string("chat ") + kAnn + " global into the void");
  ASSERT_TRUE(server.WaitForPluginLines(kDroppedChat, 1, 5s));

  bot = std::make_unique<DevbotProcess>(root.path() / "devbot-second.stderr", port);
  ASSERT_TRUE(bot->started());
  ExpectSilenceBeforeTheProbe(server, *bot);
  ExpectRelayResumes(server, *bot);
  EXPECT_THAT(server.ShownTo(kAnn),
              ElementsAre("[Gabblen] Mod: before the fall", "[Gabblen] Mod: glad you are back"));

  EXPECT_EQ(server.Quit(), 0);
  EXPECT_EQ(bot->Stop(), 0);
}

}  // namespace
}  // namespace palaverlink::e2e
