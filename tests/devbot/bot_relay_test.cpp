// Message times, the poll's since filter, relay between maps and lines from the outside platform.
#include <gtest/gtest.h>

#include "bot_harness.h"
#include "devbot/map_names.h"
#include "devbot/timestamps.h"

namespace devbot::testing {
namespace {

std::vector<std::int64_t> Times(const nlohmann::json& messages) {
  std::vector<std::int64_t> times;
  for (const nlohmann::json& message : messages) times.push_back(message.at("createdAt").get<std::int64_t>());
  return times;
}

void Say(BotHarness& harness, const std::string& message, const std::string& map_id = "") {
  nlohmann::json body{{"author", "Mod"}, {"message", message}};
  if (!map_id.empty()) body["mapId"] = map_id;
  ASSERT_EQ(harness.Post("/admin/say", body).status, 200);
}

TEST(MessageTimes, StrictlyIncreaseWithinOneMillisecondAndWhenTheClockGoesBack) {
  std::int64_t now = 1000;
  TimestampSource stamps([&now] { return now; });
  EXPECT_EQ(stamps.Next(), 1000);
  EXPECT_EQ(stamps.Next(), 1001);
  EXPECT_EQ(stamps.Next(), 1002);
  now = 900;
  EXPECT_EQ(stamps.Next(), 1003);
  now = 5000;
  EXPECT_EQ(stamps.Next(), 5000);
}

TEST(MessageTimes, MessagesOfOneMillisecondGetDistinctTimesInOrder) {
  BotHarness harness;
  Say(harness, "one", "the-island");
  Say(harness, "two", "the-island");
  harness.now -= 50;  // the system clock was set back
  Say(harness, "three", "the-island");
  EXPECT_EQ(Times(harness.Poll("the-island", 0)),
            (std::vector<std::int64_t>{kStartTime, kStartTime + 1, kStartTime + 2}));
}

TEST(OutboundPoll, AnswersOnlyTheMapsMessagesCreatedAfterSince) {
  BotHarness harness;
  Say(harness, "early", "the-island");
  harness.now += 10;
  Say(harness, "middle", "the-island");
  Say(harness, "elsewhere", "the-center");
  harness.now += 10;
  Say(harness, "late", "the-island");

  nlohmann::json all = harness.Poll("the-island", kStartTime - 1);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].at("message"), "early");
  EXPECT_EQ(all[2].at("message"), "late");

  std::int64_t middle = all[1].at("createdAt").get<std::int64_t>();
  nlohmann::json after_middle = harness.Poll("the-island", middle);
  ASSERT_EQ(after_middle.size(), 1u);
  EXPECT_EQ(after_middle[0].at("message"), "late");
  EXPECT_EQ(harness.Poll("the-island", all[2].at("createdAt").get<std::int64_t>()).size(), 0u);
  EXPECT_EQ(harness.Poll("the-island", middle - 1).size(), 2u);
  EXPECT_EQ(harness.Poll("ragnarok", 0).size(), 0u);
}

TEST(OutboundPoll, LinesFromTheOutsidePlatformAreKindGabblenWithoutSourceMapName) {
  BotHarness harness;
  Say(harness, "welcome", "the-island");
  nlohmann::json message = harness.Poll("the-island", 0).at(0);
  EXPECT_EQ(message,
            (nlohmann::json{
                {"createdAt", kStartTime}, {"author", "Mod"}, {"message", "welcome"}, {"kind", "gabblen"}}));
}

TEST(OutboundPoll, PrintsPollEventsOnlyWhenMessagesGoOut) {
  BotHarness harness;
  harness.Poll("the-island", 0);
  EXPECT_TRUE(harness.EventsOf("poll").empty());
  Say(harness, "hi", "the-island");
  harness.Poll("the-island", 0);
  ASSERT_EQ(harness.EventsOf("poll").size(), 1u);
  EXPECT_EQ(harness.EventsOf("poll")[0].at("mapId"), "the-island");
  EXPECT_EQ(harness.EventsOf("poll")[0].at("messages").size(), 1u);
}

TEST(Relay, ChatLineGoesToEveryOtherKnownMapAndToTheOutsidePlatform) {
  BotHarness harness;
  // Each kind of request makes its map known.
  harness.Poll("the-center", 0);
  ASSERT_EQ(
      harness.Post("/api/sessions/sync", {{"mapId", "scorched-earth"}, {"players", nlohmann::json::array()}})
          .status,
      200);
  ASSERT_EQ(harness.Post("/api/sessions/leave", {{"mapId", "genesis-part-2"}, {"platformId", "5"}}).status,
            200);

  Response response = harness.Post("/api/chat/inbound", ChatBody("the-island", "hello all", "Rex"));
  ASSERT_EQ(response.status, 200);
  EXPECT_EQ(BotHarness::Json(response).at("relayedTo"),
            (nlohmann::json{"genesis-part-2", "scorched-earth", "the-center"}));

  for (const char* map_id : {"the-center", "scorched-earth", "genesis-part-2"}) {
    nlohmann::json messages = harness.Poll(map_id, 0);
    ASSERT_EQ(messages.size(), 1u) << map_id;
    EXPECT_EQ(messages[0].at("kind"), "map");
    EXPECT_EQ(messages[0].at("sourceMapName"), "The Island");
    EXPECT_EQ(messages[0].at("author"), "Rex");
    EXPECT_EQ(messages[0].at("message"), "hello all");
  }
  EXPECT_EQ(harness.Poll("the-island", 0).size(), 0u) << "a map does not hear its own chat back";

  nlohmann::json lines = BotHarness::Json(harness.Get("/admin/inbound")).at("lines");
  ASSERT_EQ(lines.size(), 1u);
  nlohmann::json expected = ChatBody("the-island", "hello all", "Rex");
  expected["receivedAt"] = lines[0].at("receivedAt");
  EXPECT_EQ(lines[0], expected);
  ASSERT_EQ(harness.EventsOf("inbound").size(), 1u);
  EXPECT_EQ(harness.EventsOf("inbound")[0].at("message"), "hello all");
}

TEST(Relay, MapsThatBecomeKnownLaterDoNotGetEarlierLines) {
  BotHarness harness;
  harness.Poll("the-center", 0);
  ASSERT_EQ(harness.Post("/api/chat/inbound", ChatBody("the-island", "first")).status, 200);
  harness.Poll("ragnarok", 0);
  ASSERT_EQ(harness.Post("/api/chat/inbound", ChatBody("the-island", "second")).status, 200);

  EXPECT_EQ(harness.Poll("the-center", 0).size(), 2u);
  nlohmann::json ragnarok = harness.Poll("ragnarok", 0);
  ASSERT_EQ(ragnarok.size(), 1u);
  EXPECT_EQ(ragnarok[0].at("message"), "second");
}

TEST(Relay, LinesOfBothMapsCrossEachOther) {
  BotHarness harness;
  ASSERT_EQ(harness.Post("/api/chat/inbound", ChatBody("the-island", "from island", "Ann")).status, 200);
  ASSERT_EQ(harness.Post("/api/chat/inbound", ChatBody("the-center", "from center", "Bob")).status, 200);
  ASSERT_EQ(harness.Post("/api/chat/inbound", ChatBody("the-island", "again", "Ann")).status, 200);

  nlohmann::json island = harness.Poll("the-island", 0);
  ASSERT_EQ(island.size(), 1u);
  EXPECT_EQ(island[0].at("sourceMapName"), "The Center");
  EXPECT_EQ(island[0].at("author"), "Bob");
  nlohmann::json center = harness.Poll("the-center", 0);
  ASSERT_EQ(center.size(), 1u);
  EXPECT_EQ(center[0].at("message"), "again");
  EXPECT_EQ(BotHarness::Json(harness.Get("/admin/inbound", {{"mapId", "the-island"}})).at("lines").size(),
            2u);
}

TEST(AdminSay, GoesToOneMapOrToEveryKnownMap) {
  BotHarness harness;
  Response nobody = harness.Post("/admin/say", {{"author", "Mod"}, {"message", "anyone?"}});
  EXPECT_EQ(BotHarness::Json(nobody).at("queued"), 0);

  harness.Poll("the-island", 0);
  harness.Poll("the-center", 0);
  Say(harness, "to the island", "the-island");
  Say(harness, "to ragnarok", "ragnarok");  // naming a map makes it known
  Say(harness, "to all");

  nlohmann::json island = harness.Poll("the-island", 0);
  ASSERT_EQ(island.size(), 2u);
  EXPECT_EQ(island[0].at("message"), "to the island");
  EXPECT_EQ(island[1].at("message"), "to all");
  nlohmann::json center = harness.Poll("the-center", 0);
  ASSERT_EQ(center.size(), 1u);
  EXPECT_EQ(center[0].at("message"), "to all");
  EXPECT_EQ(harness.Poll("ragnarok", 0).size(), 2u);

  std::vector<nlohmann::json> says = harness.EventsOf("say");
  ASSERT_EQ(says.size(), 4u);
  EXPECT_EQ(says[3].at("maps"), (nlohmann::json{"ragnarok", "the-center", "the-island"}));
}

TEST(AdminSay, AuthorMayBeLeftOut) {
  BotHarness harness;
  ASSERT_EQ(harness.Post("/admin/say", {{"message", "server restarts soon"}, {"mapId", "the-island"}}).status,
            200);
  EXPECT_EQ(harness.Poll("the-island", 0).at(0).at("author"), "");
}

TEST(AdminMessages, ListsEveryMessageOfAMap) {
  BotHarness harness;
  Say(harness, "one", "the-island");
  Say(harness, "two", "the-island");
  nlohmann::json listing = BotHarness::Json(harness.Get("/admin/messages", {{"mapId", "the-island"}}));
  EXPECT_EQ(listing.at("messages").size(), 2u);
  EXPECT_EQ(harness.Get("/admin/messages").status, 400);
  nlohmann::json maps = BotHarness::Json(harness.Get("/admin/maps")).at("maps");
  EXPECT_EQ(maps, (nlohmann::json{{{"mapId", "the-island"}, {"mapName", "The Island"}}}));
}

TEST(MapNames, WordsOfTheIdCapitalised) {
  struct Case {
    const char* id;
    const char* name;
  };
  for (const Case& c : std::vector<Case>{{"the-island", "The Island"},
                                         {"the-center", "The Center"},
                                         {"scorched-earth", "Scorched Earth"},
                                         {"genesis-part-2", "Genesis Part 2"},
                                         {"ragnarok", "Ragnarok"},
                                         {"crystal_isles", "Crystal Isles"},
                                         {"mycustommap", "Mycustommap"},
                                         {"MyMap", "MyMap"},
                                         {"--a--b-", "A B"},
                                         {"", ""},
                                         {"émile-x", "émile X"}}) {
    EXPECT_EQ(DisplayMapName(c.id), c.name) << c.id;
  }
}

// A long poll is held only while there is nothing to answer: a message waiting, an error or a
// poll without waitSeconds is answered at once.
TEST(LongPoll, HeldOnlyWhenNothingIsWaiting) {
  BotHarness harness;
  const QueryParams wait{{"mapId", "the-island"}, {"since", "0"}, {"waitSeconds", "8"}};
  EXPECT_EQ(harness.Get("/api/chat/outbound", wait).hold, std::chrono::seconds(8));
  Say(harness, "hello", "the-island");
  const Response found = harness.Get("/api/chat/outbound", wait);
  EXPECT_EQ(found.hold.count(), 0);
  EXPECT_EQ(BotHarness::Json(found).at("messages").size(), 1u);

  const QueryParams other_map{{"mapId", "ragnarok"}, {"since", "0"}, {"waitSeconds", "8"}};
  EXPECT_EQ(harness.Get("/api/chat/outbound", other_map).hold, std::chrono::seconds(8));
  ASSERT_EQ(harness.Post("/admin/fault", {{"mode", "garbage"}}).status, 200);
  EXPECT_EQ(harness.Get("/api/chat/outbound", other_map).hold.count(), 0);

  // A held poll asking again is not a request of its own.
  Request again{"GET", "/api/chat/outbound", other_map, {}, "", "127.0.0.1", true};
  harness.Get("/health");
  ASSERT_EQ(harness.Handle(again).status, 200);
  const nlohmann::json counted = BotHarness::Json(harness.Get("/admin/requests")).at("requests");
  EXPECT_EQ(counted, (nlohmann::json{{"GET /api/chat/outbound", 4}, {"GET /health", 1}}));
}

}  // namespace
}  // namespace devbot::testing
