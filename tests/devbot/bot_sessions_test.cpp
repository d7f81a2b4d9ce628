// The session list: the latest sync of each map minus the players that left since.
#include <gtest/gtest.h>

#include "bot_harness.h"

namespace devbot::testing {
namespace {

nlohmann::json Sessions(BotHarness& harness) {
  return BotHarness::Json(harness.Get("/admin/sessions")).at("maps");
}

std::vector<std::string> PlayerIds(const nlohmann::json& map) {
  std::vector<std::string> ids;
  for (const nlohmann::json& player : map.at("players")) ids.push_back(player.at("platformId"));
  return ids;
}

// An initializer list of one element would make a copy, not an array: take the players as a list.
void Sync(BotHarness& harness, const std::string& map_id, std::initializer_list<nlohmann::json> list) {
  nlohmann::json players = nlohmann::json::array();
  for (const nlohmann::json& player : list) players.push_back(player);
  ASSERT_EQ(harness.Post("/api/sessions/sync", {{"mapId", map_id}, {"players", players}}).status, 200);
}

void Leave(BotHarness& harness, const std::string& map_id, const std::string& platform_id) {
  ASSERT_EQ(harness.Post("/api/sessions/leave", {{"mapId", map_id}, {"platformId", platform_id}}).status,
            200);
}

using Ids = std::vector<std::string>;

TEST(Sessions, LatestSyncMinusLeavesPerMap) {
  BotHarness harness;
  Sync(harness, "the-island", {PlayerBody("1", "Ann"), PlayerBody("2", "Bob")});
  Sync(harness, "the-center", {PlayerBody("1", "Ann's twin")});
  Leave(harness, "the-island", "1");

  nlohmann::json maps = Sessions(harness);
  EXPECT_EQ(PlayerIds(maps.at("the-island")), Ids{"2"});
  EXPECT_EQ(PlayerIds(maps.at("the-center")), Ids{"1"}) << "a leave touches only its own map";
  EXPECT_EQ(maps.at("the-island").at("mapName"), "The Island");
  EXPECT_EQ(maps.at("the-island").at("players").at(0), PlayerBody("2", "Bob"));
  EXPECT_EQ(maps.at("the-island").at("syncedAt"), kStartTime);
}

TEST(Sessions, NewerSyncReplacesTheList) {
  BotHarness harness;
  Sync(harness, "the-island", {PlayerBody("1", "Ann"), PlayerBody("2", "Bob")});
  Leave(harness, "the-island", "2");
  harness.now += 60000;
  Sync(harness, "the-island", {PlayerBody("2", "Bob"), PlayerBody("3", "Cy")});
  nlohmann::json island = Sessions(harness).at("the-island");
  EXPECT_EQ(PlayerIds(island), (Ids{"2", "3"}));
  EXPECT_EQ(island.at("syncedAt"), kStartTime + 60000);

  Sync(harness, "the-island", {});
  EXPECT_TRUE(PlayerIds(Sessions(harness).at("the-island")).empty());
}

TEST(Sessions, EveryLeaveIsListedEvenOfPlayersNeverSynced) {
  BotHarness harness;
  Sync(harness, "the-island", {PlayerBody("1", "Ann")});
  Leave(harness, "the-island", "9");
  harness.now += 5;
  Leave(harness, "ragnarok", "1");
  harness.now += 5;
  Leave(harness, "the-island", "1");

  EXPECT_EQ(
      BotHarness::Json(harness.Get("/admin/leaves")).at("leaves"),
      (nlohmann::json{{{"mapId", "the-island"}, {"platformId", "9"}, {"receivedAt", kStartTime}},
                      {{"mapId", "ragnarok"}, {"platformId", "1"}, {"receivedAt", kStartTime + 5}},
                      {{"mapId", "the-island"}, {"platformId", "1"}, {"receivedAt", kStartTime + 10}}}));
  std::vector<nlohmann::json> leaves = harness.EventsOf("leave");
  ASSERT_EQ(leaves.size(), 3u);
  EXPECT_EQ(leaves[0].at("wasListed"), false);
  EXPECT_EQ(leaves[2].at("wasListed"), true);
  EXPECT_TRUE(PlayerIds(Sessions(harness).at("the-island")).empty());
}

TEST(Sessions, SyncEventCarriesThePlayers) {
  BotHarness harness;
  Sync(harness, "the-island", {PlayerBody("18446744073709551615", "Max")});
  std::vector<nlohmann::json> syncs = harness.EventsOf("sync");
  ASSERT_EQ(syncs.size(), 1u);
  EXPECT_EQ(syncs[0].at("mapId"), "the-island");
  EXPECT_EQ(syncs[0].at("players"), nlohmann::json::array({PlayerBody("18446744073709551615", "Max")}));
}

}  // namespace
}  // namespace devbot::testing
