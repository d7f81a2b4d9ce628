// A key that the bot refuses while its health endpoint answers: the key warning once per down-up
// cycle, with the reconnection between, and nothing sent while the link is down.
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
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr char kAnn[] = "76561198000000001";

TEST(RejectedKey, KeyWarningOncePerDownUpCycleWithTheReconnectionBetween) {
  TempRoot root("rejected-key");
  DevbotProcess bot(root.path() / "devbot.stderr", 0, "the-right-key");
  ASSERT_TRUE(bot.started());
  DevserverProcess server(root.path(), BotConfig(bot.port(), 1, "a-wrong-key"));
  ASSERT_TRUE(server.ready());
  server.Send("world TheIsland");
  server.Send(std::string("join ") + kAnn + " Ann");

  ASSERT_TRUE(server.WaitForPluginLines(kKeyRejected, 1, 10s));
  // Lines said while the link is down never reach the bot, not even to be refused. (Requests that
  // were under way when the first refusal came back may still arrive: count after them.)
  std::this_thread::sleep_for(1s);
  const std::size_t refused = bot.Events("rejected").size();
  server.Send(std::string("chat ") + kAnn + " global let me in");
  std::this_thread::sleep_until(server.loaded_at() + 27s);
  EXPECT_EQ(bot.Events("rejected").size(), refused);
  EXPECT_THAT(LinkTransitions(server), ElementsAre("key"));

  // The probe is not refused, so the link comes back, and the next refusal warns again.
  ASSERT_TRUE(server.WaitForPluginLines(kKeyRejected, 2, 15s));
  EXPECT_THAT(LinkTransitions(server), ElementsAre("key", "reconnected", "key"));

  for (const PluginLogLine& line : server.PluginLog()) {
    if (!line.text.starts_with(kKeyRejected)) continue;
    EXPECT_EQ(line.level, "warning");
    EXPECT_THAT(line.text, HasSubstr("'ApiKey' in this plugin's config.json must match 'bridgeApiKey'"));
    EXPECT_THAT(line.text, EndsWith(kGoingSilent));
  }
  EXPECT_THAT(bot.Events("inbound"), IsEmpty());
  for (const Json& rejection : bot.Events("rejected")) EXPECT_EQ(rejection.value("status", 0), 401);

  EXPECT_EQ(server.Quit(), 0);
  EXPECT_EQ(bot.Stop(), 0);
}

}  // namespace
}  // namespace palaverlink::e2e
