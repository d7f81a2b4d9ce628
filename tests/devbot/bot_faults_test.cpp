// The faults that the admin interface switches on, and that switching them off restores the bot.
#include <gtest/gtest.h>

#include "bot_harness.h"

namespace devbot::testing {
namespace {

const Headers kKey{{"Authorization", "Bearer k"}};

void SetFault(BotHarness& harness, const nlohmann::json& command) {
  ASSERT_EQ(harness.Post("/admin/fault", command).status, 200) << command.dump();
}

std::vector<int> KeyedStatuses(BotHarness& harness) {
  return {
      harness.Post("/api/chat/inbound", ChatBody("the-island", "hi"), kKey).status,
      harness.Get("/api/chat/outbound", {{"mapId", "the-island"}, {"since", "0"}}, kKey).status,
      harness
          .Post("/api/sessions/sync", {{"mapId", "the-island"}, {"players", nlohmann::json::array()}}, kKey)
          .status,
      harness.Post("/api/sessions/leave", {{"mapId", "the-island"}, {"platformId", "1"}}, kKey).status,
  };
}

const std::vector<int> kAllOk{200, 200, 200, 200};

TEST(Faults, DownMakesTheBotLookDeadHealthIncludedButAdminStaysUp) {
  BotHarness harness("k");
  SetFault(harness, {{"mode", "down"}});
  EXPECT_EQ(KeyedStatuses(harness), (std::vector<int>{503, 503, 503, 503}));
  EXPECT_EQ(harness.Get("/health").status, 503);
  EXPECT_EQ(harness.Get("/admin/inbound").status, 200);
  EXPECT_EQ(BotHarness::Json(harness.Get("/admin/inbound")).at("lines").size(), 0u)
      << "nothing kept while down";

  SetFault(harness, {{"mode", "none"}});
  EXPECT_EQ(KeyedStatuses(harness), kAllOk);
  EXPECT_EQ(harness.Get("/health").status, 200);
}

TEST(Faults, RejectKeyAnswers401ToKeyedRequestsOnly) {
  BotHarness harness("k");
  SetFault(harness, {{"mode", "401"}});
  EXPECT_EQ(KeyedStatuses(harness), (std::vector<int>{401, 401, 401, 401}));
  EXPECT_EQ(harness.Get("/health", {}, kKey).status, 200);
  EXPECT_EQ(harness.Get("/health").status, 200);

  BotHarness keyless;
  SetFault(keyless, {{"mode", "401"}});
  EXPECT_EQ(keyless.Get("/api/chat/outbound", {{"mapId", "x"}}).status, 401);
  EXPECT_EQ(keyless.Get("/health").status, 200);

  SetFault(harness, {{"mode", "none"}});
  EXPECT_EQ(KeyedStatuses(harness), kAllOk);
}

TEST(Faults, GarbageSpoilsOnlyTheOutboundAnswerAndLosesNothing) {
  BotHarness harness;
  ASSERT_EQ(harness.Post("/admin/say", {{"message", "kept"}, {"mapId", "the-island"}}).status, 200);
  SetFault(harness, {{"mode", "garbage"}});
  Response poll = harness.Get("/api/chat/outbound", {{"mapId", "the-island"}, {"since", "0"}});
  EXPECT_EQ(poll.status, 200);
  EXPECT_TRUE(nlohmann::json::parse(poll.body, nullptr, false).is_discarded()) << poll.body;
  EXPECT_EQ(harness.Post("/api/chat/inbound", ChatBody("the-center", "still relayed")).status, 200);

  SetFault(harness, {{"mode", "none"}});
  nlohmann::json messages = harness.Poll("the-island", 0);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].at("message"), "kept");
  EXPECT_EQ(messages[1].at("message"), "still relayed");
}

TEST(Faults, SlowDelaysEveryAnswerButAdmin) {
  BotHarness harness;
  SetFault(harness, {{"mode", "slow"}, {"ms", 250}});
  EXPECT_EQ(harness.Get("/health").delay.count(), 250);
  Response poll = harness.Get("/api/chat/outbound", {{"mapId", "the-island"}});
  EXPECT_EQ(poll.status, 200);
  EXPECT_EQ(poll.delay.count(), 250);
  EXPECT_EQ(harness.Post("/api/chat/inbound", ChatBody("the-island", "x")).delay.count(), 250);
  EXPECT_EQ(harness.Get("/admin/inbound").delay.count(), 0);
  EXPECT_EQ(BotHarness::Json(harness.Get("/admin/fault")), (nlohmann::json{{"mode", "slow"}, {"ms", 250}}));

  SetFault(harness, {{"mode", "slow"}});
  EXPECT_EQ(harness.Get("/health").delay.count(), 1000) << "the default delay";
  SetFault(harness, {{"mode", "none"}, {"ms", 500}});
  EXPECT_EQ(harness.Get("/health").delay.count(), 0);
  EXPECT_EQ(BotHarness::Json(harness.Get("/admin/fault")), (nlohmann::json{{"mode", "none"}, {"ms", 0}}));
}

TEST(Faults, EachSwitchIsPrinted) {
  BotHarness harness;
  SetFault(harness, {{"mode", "garbage"}});
  SetFault(harness, {{"mode", "slow"}, {"ms", 10}});
  std::vector<nlohmann::json> faults = harness.EventsOf("fault");
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_EQ(faults[0].at("mode"), "garbage");
  EXPECT_EQ(faults[1].at("ms"), 10);
}

}  // namespace
}  // namespace devbot::testing
