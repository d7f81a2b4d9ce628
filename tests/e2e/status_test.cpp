// Palaverlink.Status through devserver's console and RCON: the same lines both ways in, to the player
// who typed it alone; the link line follows the bot going down; after the unload the command is gone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "devbot_process.h"
#include "devserver_process.h"
#include "link_lines.h"

namespace palaverlink::e2e {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

constexpr char kAnn[] = "76561198000000001";
constexpr char kBen[] = "76561198000000002";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool IsEvent(const Json& event, const std::string& kind) { return event.value("event", "") == kind; }

// Runs the command both ways in; the two replies' lines (empty when none came).
struct Replies {
  std::vector<std::string> console;
  std::vector<std::string> rcon;
};

Replies AskStatus(DevserverProcess& server) {
  const std::size_t consoles = server.Events("console-reply").size();
  const std::size_t rcons = server.Events("rcon-reply").size();
  server.Send(std::string("console ") + kAnn + " Palaverlink.Status");
  server.Send("rcon palaverlink.status");
  Replies replies;
  if (!WaitUntil([&] { return server.Events("rcon-reply").size() > rcons; }, 5s)) return replies;
  const auto console = server.Events("console-reply");
  const auto rcon = server.Events("rcon-reply");
  if (console.size() > consoles) {
    EXPECT_EQ(console.back().value("to", ""), kAnn);
    replies.console = Lines(console.back().value("text", ""));
  }
  replies.rcon = Lines(rcon.back().value("text", ""));
  return replies;
}

TEST(StatusCommand, ConsoleAndRconTellTheLinkBeforeAndAfterTheBotGoesAndNothingAfterTheUnload) {
  TempRoot root("status");
  DevbotProcess bot(root.path() / "devbot.stderr");
  ASSERT_TRUE(bot.started());
  DevserverProcess server(root.path(), BotConfig(bot.port(), 1));
  ASSERT_TRUE(server.ready());
  server.Send("world TheIsland");
  server.Send(std::string("join ") + kAnn + " Ann");
  server.Send(std::string("join ") + kBen + " Ben");
  server.Send(std::string("chat ") + kAnn + " global hello");
  ASSERT_TRUE(bot.WaitForEvent("inbound", 5s));
  ASSERT_TRUE(bot.WaitForEvent("sync", 5s));

  const Replies up = AskStatus(server);
  ASSERT_EQ(up.rcon.size(), 6u);
  // The same lines both ways in (the ages may tick over between the two).
  ASSERT_EQ(up.console.size(), up.rcon.size());
  for (std::size_t line : {0u, 1u, 4u, 5u}) EXPECT_EQ(up.console[line], up.rcon[line]);
  EXPECT_EQ(up.rcon[0], "Palaverlink 1.0 on map the-island");
  EXPECT_THAT(up.rcon[1], StartsWith("link: up since "));
  EXPECT_THAT(up.rcon[2],
              MatchesRegex("last success: chat [0-9] s ago, leave never, sync .*, poll [0-9] s ago"));
  EXPECT_THAT(up.rcon[3], HasSubstr("lines 1 relayed, 0 refused, 0 given up, 0 dropped"));
  EXPECT_EQ(up.rcon[4], "outbox: off");
  EXPECT_THAT(up.rcon[5],
              HasSubstr("MapId=the-island SyncIntervalSeconds=1 OutboundPollSeconds=1 Relay=global"));
  const auto to_ben = server.Events("console-reply");
  EXPECT_TRUE(std::none_of(to_ben.begin(), to_ben.end(), [](const Json& reply) {
    return reply.value("to", "") == kBen;
  })) << "the reply goes to the player who typed it alone";

  ASSERT_TRUE(bot.SetFault("down"));
  ASSERT_TRUE(server.WaitForPluginLines(kLostConnection, 1, 5s));
  const Replies down = AskStatus(server);
  ASSERT_EQ(down.rcon.size(), 6u);
  EXPECT_EQ(down.console[1], down.rcon[1]);
  EXPECT_THAT(down.rcon[1], StartsWith("link: down since "));
  EXPECT_THAT(down.rcon[1], HasSubstr("failed: HTTP 503"));
  EXPECT_THAT(down.rcon[1], HasSubstr("; next probe in "));

  server.Send("unload");
  ASSERT_TRUE(server.WaitForEvent([](const Json& event) { return IsEvent(event, "unloaded"); }, 5s));
  const std::size_t replies = server.Events("console-reply").size() + server.Events("rcon-reply").size();
  server.Send(std::string("console ") + kAnn + " Palaverlink.Status");
  server.Send("rcon Palaverlink.Status");
  ASSERT_TRUE(WaitUntil([&] { return server.Events("unknown-command").size() == 2; }, 5s));
  EXPECT_EQ(server.Events("console-reply").size() + server.Events("rcon-reply").size(), replies);
  EXPECT_EQ(server.Quit(), 0);
  for (const char* fault : {"leak", "allocator-error", "exception", "misuse"}) {
    EXPECT_THAT(server.Events(fault), IsEmpty()) << fault;
  }
  EXPECT_EQ(bot.Stop(), 0);
}

}  // namespace
}  // namespace palaverlink::e2e
