// Joins at once: the bot's player list learns of a join within a second or two, with the join as
// the session's start, and a burst of joins costs one or two syncs, not one each.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "devbot_process.h"
#include "devserver_process.h"

namespace palaverlink::e2e {
namespace {

using namespace std::chrono_literals;

std::int64_t SystemNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string Player(int index) { return std::to_string(76561198000000001ULL + static_cast<unsigned>(index)); }

// The players of the-island in the bot's list.
Json IslandPlayers(const DevbotProcess& bot) {
  const Json sessions = bot.AdminGet("/admin/sessions");
  if (!sessions.is_object() || !sessions["maps"].contains("the-island")) return Json::array();
  return sessions["maps"]["the-island"]["players"];
}

class Joins : public ::testing::Test {
 protected:
  // The interval's sync stays a minute away: every list the bot gets comes from the map or a join.
  void SetUp() override {
    ASSERT_TRUE(bot_.started());
    Json config = BotConfig(bot_.port(), 1);
    config["SyncIntervalSeconds"] = 60;
    server_ = std::make_unique<DevserverProcess>(root_.path(), config);
    ASSERT_TRUE(server_->ready());
    server_->Send("world TheIsland");
    // The first list goes as soon as there is a map, not a minute later.
    ASSERT_TRUE(bot_.WaitForEvent("sync", 3s));
  }

  void TearDown() override {
    EXPECT_EQ(server_->Quit(), 0);
    EXPECT_EQ(bot_.Stop(), 0);
  }

  TempRoot root_{"joins"};
  DevbotProcess bot_{root_.path() / "devbot.stderr"};
  std::unique_ptr<DevserverProcess> server_;
};

TEST_F(Joins, AJoinReachesTheBotsListWithinThreeSecondsWithTheJoinAsItsStart) {
  const std::int64_t before = SystemNowMs();
  const auto asked = Clock::now();
  server_->Send("join " + Player(0) + " Ann");
  ASSERT_TRUE(
      server_->WaitForEvent([](const Json& event) { return event.value("event", "") == "joined"; }, 3s));
  const std::int64_t after = SystemNowMs();
  ASSERT_TRUE(WaitUntil([&] { return IslandPlayers(bot_).size() == 1; }, 3s));
  EXPECT_LT(Clock::now() - asked, 3s);
  const Json ann = IslandPlayers(bot_)[0];
  EXPECT_EQ(ann.value("platformId", ""), Player(0));
  const std::int64_t started = ann.value("sessionStartedAt", std::int64_t{0});
  EXPECT_GE(started, before);
  EXPECT_LE(started, after);
}

TEST_F(Joins, ABurstOfTwentyJoinsMakesOneOrTwoSyncs) {
  const std::size_t before = bot_.Events("sync").size();
  for (int i = 0; i < 20; ++i) server_->Send("join " + Player(i) + " Player" + std::to_string(i));
  ASSERT_TRUE(WaitUntil([&] { return IslandPlayers(bot_).size() == 20; }, 3s));
  // Time for a sync too many to arrive.
  std::this_thread::sleep_for(2s);
  const std::size_t syncs = bot_.Events("sync").size() - before;
  EXPECT_GE(syncs, 1u);
  EXPECT_LE(syncs, 2u);
}

}  // namespace
}  // namespace palaverlink::e2e
