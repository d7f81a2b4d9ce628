// The demo scene, checked from both ends: two maps and the outside platform joined through the bot.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "devbot_process.h"
#include "devserver_process.h"

namespace palaverlink::e2e {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kKey[] = "scene-key";
constexpr char kAnn[] = "76561198000000001";   // on The Island
constexpr char kBen[] = "76561198000000002";   // on The Island
constexpr char kCleo[] = "76561198000000003";  // on The Center

// The players listed for a map in the bot's session board, by platform id.
std::vector<std::string> SessionIds(const Json& sessions, const std::string& map_id) {
  std::vector<std::string> ids;
  const Json& maps = sessions.value("maps", Json::object());
  if (!maps.contains(map_id)) return ids;
  for (const Json& player : maps.at(map_id).value("players", Json::array())) {
    ids.push_back(player.value("platformId", ""));
  }
  return ids;
}

// One chat line as the bot received it: map, player, tribe, channel and text.
std::string Received(const Json& line) {
  return line.value("mapId", "") + " | " + line.value("platformId", "") + " " + line.value("playerName", "") +
         " (" + line.value("tribeName", "") + ") " + line.value("channel", "") + ": " +
         line.value("message", "");
}

TEST(DemoScene, ChatCrossesBothMapsAndTheOutsidePlatformWhileCommandsAndTribeTalkStayInGame) {
  TempRoot island_root("scene-island");
  TempRoot center_root("scene-center");
  DevbotProcess bot(island_root.path() / "devbot.stderr", 0, kKey);
  ASSERT_TRUE(bot.started());
  DevserverProcess island(island_root.path(), BotConfig(bot.port(), 1, kKey));
  DevserverProcess center(center_root.path(), BotConfig(bot.port(), 1, kKey));
  ASSERT_TRUE(island.ready());
  ASSERT_TRUE(center.ready());

  island.Send("world TheIsland");
  island.Send(std::string("join ") + kAnn + " \"Ann Lee\" account=ann tribe=\"Wolves of the North\"");
  island.Send(std::string("join ") + kBen + " Ben account=ben");
  center.Send("world TheCenter");
  center.Send(std::string("join ") + kCleo + " Cleo account=cleo tribe=Ravens");
  ASSERT_TRUE(WaitUntil([&] { return bot.KnowsMaps({"the-island", "the-center"}); }, 10s));
  ASSERT_TRUE(WaitUntil(
      [&] {
        const Json sessions = bot.AdminGet("/admin/sessions");
        return SessionIds(sessions, "the-island").size() == 2 &&
               SessionIds(sessions, "the-center").size() == 1;
      },
      10s));

  // Global chat reaches the other map under the map's name, in both directions.
  island.Send(std::string("chat ") + kAnn + " global Hello from the island!");
  ASSERT_TRUE(center.WaitForShown(kCleo, "<The Island> Ann Lee: Hello from the island!", 10s));
  center.Send(std::string("chat ") + kCleo + " global Grüße aus dem Zentrum ☀");
  ASSERT_TRUE(island.WaitForShown(kAnn, "<The Center> Cleo: Grüße aus dem Zentrum ☀", 10s));
  ASSERT_TRUE(island.WaitForShown(kBen, "<The Center> Cleo: Grüße aus dem Zentrum ☀", 10s));

  // A command and a tribe line stay in the game; the next global line shows they were passed over.
  island.Send(std::string("chat ") + kBen + " global /help");
  island.Send(std::string("chat ") + kAnn + " tribe meet at the base");
  island.Send(std::string("chat ") + kAnn + " global See you later");
  ASSERT_TRUE(center.WaitForShown(kCleo, "<The Island> Ann Lee: See you later", 10s));

  // The outside platform speaks to every map.
  ASSERT_TRUE(bot.Say("Mod", "Welcome to both maps!"));
  for (const char* player : {kAnn, kBen}) {
    EXPECT_TRUE(island.WaitForShown(player, "[Gabblen] Mod: Welcome to both maps!", 10s)) << player;
  }
  EXPECT_TRUE(center.WaitForShown(kCleo, "[Gabblen] Mod: Welcome to both maps!", 10s));

  // A player leaves: the notice arrives at once and the session board drops the player.
  island.Send(std::string("leave ") + kBen);
  ASSERT_TRUE(bot.WaitForEvent("leave", 10s));
  ASSERT_TRUE(
      WaitUntil([&] { return SessionIds(bot.AdminGet("/admin/sessions"), "the-island").size() == 1; }, 5s));

  // The game's end: what each player was shown, and what the game itself handled.
  EXPECT_THAT(island.ShownTo(kAnn), ElementsAre("<The Center> Cleo: Grüße aus dem Zentrum ☀",
                                                "[Gabblen] Mod: Welcome to both maps!"));
  EXPECT_THAT(island.ShownTo(kBen), ElementsAre("<The Center> Cleo: Grüße aus dem Zentrum ☀",
                                                "[Gabblen] Mod: Welcome to both maps!"));
  EXPECT_THAT(center.ShownTo(kCleo),
              ElementsAre("<The Island> Ann Lee: Hello from the island!",
                          "<The Island> Ann Lee: See you later", "[Gabblen] Mod: Welcome to both maps!"));
  std::vector<std::string> handled;
  for (const Json& chat : island.Events("chat")) {
    handled.push_back(chat.value("from", "") + " " + std::to_string(chat.value("mode", -1)) + " " +
                      chat.value("text", ""));
  }
  EXPECT_THAT(handled,
              ElementsAre(std::string(kAnn) + " 0 Hello from the island!", std::string(kBen) + " 0 /help",
                          std::string(kAnn) + " 1 meet at the base", std::string(kAnn) + " 0 See you later"));

  // The bot's end: exactly the global lines, with who said them; the leave; the sessions.
  std::vector<std::string> received;
  for (const Json& line : bot.AdminGet("/admin/inbound").value("lines", Json::array())) {
    received.push_back(Received(line));
  }
  EXPECT_THAT(received, ElementsAre(std::string("the-island | ") + kAnn +
                                        " Ann Lee (Wolves of the North) global: Hello from the island!",
                                    std::string("the-center | ") + kCleo +
                                        " Cleo (Ravens) global: Grüße aus dem Zentrum ☀",
                                    std::string("the-island | ") + kAnn +
                                        " Ann Lee (Wolves of the North) global: See you later"));
  const Json leaves = bot.AdminGet("/admin/leaves").value("leaves", Json::array());
  ASSERT_EQ(leaves.size(), 1u);
  EXPECT_EQ(leaves[0].value("mapId", ""), "the-island");
  EXPECT_EQ(leaves[0].value("platformId", ""), kBen);
  const Json sessions = bot.AdminGet("/admin/sessions");
  EXPECT_THAT(SessionIds(sessions, "the-island"), ElementsAre(kAnn));
  EXPECT_THAT(SessionIds(sessions, "the-center"), ElementsAre(kCleo));
  const Json ann = sessions["maps"]["the-island"]["players"][0];
  EXPECT_EQ(ann.value("playerName", ""), "Ann Lee");
  EXPECT_EQ(ann.value("steamName", ""), "ann");
  EXPECT_EQ(ann.value("tribeName", ""), "Wolves of the North");
  EXPECT_THAT(bot.Events("rejected"), IsEmpty());

  // Each map was detected, and neither plug-in had anything to warn about.
  EXPECT_EQ(island.CountPluginLines("Palaverlink detected map 'TheIsland' -> MapId 'the-island'."), 1u);
  EXPECT_EQ(center.CountPluginLines("Palaverlink detected map 'TheCenter' -> MapId 'the-center'."), 1u);
  for (DevserverProcess* server : {&island, &center}) {
    for (const PluginLogLine& line : server->PluginLog()) EXPECT_EQ(line.level, "info") << line.text;
  }

  EXPECT_EQ(island.Quit(), 0);
  EXPECT_EQ(center.Quit(), 0);
  EXPECT_THAT(island.Events("leak"), IsEmpty());
  EXPECT_THAT(center.Events("leak"), IsEmpty());
  EXPECT_EQ(bot.Stop(), 0);
}

}  // namespace
}  // namespace palaverlink::e2e
