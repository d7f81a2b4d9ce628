// A player's line reaches the other map as the one line its sender wrote: a line break cannot forge
// a second line there, nor a bidirectional override turn the line around.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "devbot_process.h"
#include "devserver_process.h"

namespace palaverlink::e2e {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

constexpr char kKey[] = "one-line-key";
constexpr char kAnn[] = "76561198000000001";   // on The Island
constexpr char kCleo[] = "76561198000000003";  // on The Center

TEST(OneLine, LineBreakAndBidiOverrideFromOneMapShowOnTheOtherAsOneLineWithoutThem) {
  TempRoot island_root("one-line-island");
  TempRoot center_root("one-line-center");
  DevbotProcess bot(island_root.path() / "devbot.stderr", 0, kKey);
  ASSERT_TRUE(bot.started());
  DevserverProcess island(island_root.path(), BotConfig(bot.port(), 1, kKey));
  DevserverProcess center(center_root.path(), BotConfig(bot.port(), 1, kKey));
  ASSERT_TRUE(island.ready());
  ASSERT_TRUE(center.ready());
  island.Send("world TheIsland");
  island.Send(std::string("join ") + kAnn + " \"Ann Lee\" account=ann");
  center.Send("world TheCenter");
  center.Send(std::string("join ") + kCleo + " Cleo account=cleo");
  ASSERT_TRUE(WaitUntil([&] { return bot.KnowsMaps({"the-island", "the-center"}); }, 10s));

  island.Send(std::string("chat ") + kAnn +
              R"( global "gg\n[Gabblen] Admin: server wipes tonight \u202Egnp.exe")");
  ASSERT_TRUE(center.WaitForShown(
      kCleo, "<The Island> Ann Lee: gg [Gabblen] Admin: server wipes tonight gnp.exe", 10s));
  EXPECT_THAT(center.ShownTo(kCleo),
              ElementsAre("<The Island> Ann Lee: gg [Gabblen] Admin: server wipes tonight gnp.exe"));
  // The bot got it clean, and the island's log says what was replaced.
  const Json lines = bot.AdminGet("/admin/inbound").value("lines", Json::array());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].value("message", ""), "gg [Gabblen] Admin: server wipes tonight gnp.exe");
  EXPECT_EQ(
      island.CountPluginLines("Palaverlink: 1 chat line(s) held line breaks or other control characters, "
                              "replaced before relaying (the latest from 'Ann Lee')."),
      1u);
}

}  // namespace
}  // namespace palaverlink::e2e
