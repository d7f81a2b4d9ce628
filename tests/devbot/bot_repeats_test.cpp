// Posts sent again with the same Idempotency-Key: answered as the first time, stored once.
#include <gtest/gtest.h>

#include "bot_harness.h"
#include "devbot/taken_posts.h"

namespace devbot::testing {
namespace {

Headers Key(const std::string& key) { return {{"Idempotency-Key", "\"" + key + "\""}}; }

std::size_t Listed(BotHarness& harness, const char* admin_path, const char* member) {
  return BotHarness::Json(harness.Get(admin_path)).at(member).size();
}

TEST(Repeats, AChatLineOrLeaveSentAgainWithItsKeyIsAnsweredAsBeforeAndStoredOnce) {
  struct Case {
    const char* path;
    nlohmann::json body;
    const char* admin_path;
    const char* member;
  };
  for (const Case& post : {Case{"/api/chat/inbound", ChatBody("the-island", "hi"), "/admin/inbound", "lines"},
                           Case{"/api/sessions/leave",
                                {{"mapId", "the-island"}, {"platformId", "7"}},
                                "/admin/leaves",
                                "leaves"}}) {
    SCOPED_TRACE(post.path);
    BotHarness harness;
    harness.Poll("the-center", 0);  // a second map, for the relay
    const Response first = harness.Post(post.path, post.body, Key("9f2c4e01a7b3d865-1"));
    const Response again = harness.Post(post.path, post.body, Key("9f2c4e01a7b3d865-1"));
    EXPECT_EQ(first.status, 200);
    EXPECT_EQ(again.status, first.status);
    EXPECT_EQ(again.body, first.body);
    EXPECT_EQ(Listed(harness, post.admin_path, post.member), 1u);
    EXPECT_EQ(harness.EventsOf("repeat").size(), 1u);

    EXPECT_EQ(harness.Post(post.path, post.body, Key("9f2c4e01a7b3d865-2")).status, 200);
    EXPECT_EQ(Listed(harness, post.admin_path, post.member), 2u);
    // Without the header every post is taken, as a bot that ignores the key would.
    harness.Post(post.path, post.body);
    harness.Post(post.path, post.body);
    EXPECT_EQ(Listed(harness, post.admin_path, post.member), 4u);
  }
}

TEST(Repeats, ARelayedLineReachesTheOtherMapOnceAndARefusedPostIsNotRemembered) {
  BotHarness harness;
  harness.Poll("the-center", 0);
  nlohmann::json bad = ChatBody("the-island", "hi");
  bad.erase("channel");
  EXPECT_EQ(harness.Post("/api/chat/inbound", bad, Key("k-1")).status, 400);
  EXPECT_EQ(harness.Post("/api/chat/inbound", ChatBody("the-island", "hi"), Key("k-1")).status, 200);
  EXPECT_EQ(harness.Post("/api/chat/inbound", ChatBody("the-island", "hi"), Key("k-1")).status, 200);
  EXPECT_EQ(harness.Poll("the-center", 0).size(), 1u);
}

TEST(Repeats, KeysAreKeptTenMinutesAndTheNewestTenThousandWhicheverIsLonger) {
  const Response answer{200, "application/json", R"({"ok":true})", {}, {}};
  TakenPosts taken;
  std::int64_t now = kStartTime;
  for (std::size_t index = 0; index <= kKeptKeys; ++index) taken.Remember(std::to_string(index), answer, now);
  // 10,001 keys, all younger than ten minutes: every one is kept.
  EXPECT_TRUE(taken.AnswerTo("0", now + kKeptKeyMs - 1).has_value());
  // Ten minutes on, the oldest beyond the newest 10,000 goes, the rest stay.
  now += kKeptKeyMs;
  EXPECT_FALSE(taken.AnswerTo("0", now).has_value());
  EXPECT_TRUE(taken.AnswerTo("1", now).has_value());
  EXPECT_EQ(taken.size(), kKeptKeys);
  // Old keys within the newest 10,000 stay, however old.
  EXPECT_EQ(taken.AnswerTo("1", now + 100 * kKeptKeyMs)->body, answer.body);
}

}  // namespace
}  // namespace devbot::testing
