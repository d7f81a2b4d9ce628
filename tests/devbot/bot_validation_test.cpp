// Bodies and queries that a plug-in must not send are answered 400 with a reason, and leave no trace.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bot_harness.h"
#include "devbot/bot_requests.h"

namespace devbot::testing {
namespace {

using namespace std::chrono_literals;

using ::testing::HasSubstr;

struct BadBody {
  const char* name;
  const char* path;
  std::string body;
  const char* reason_part;
  std::string idempotency_key = {};  // the header's value; none when empty
};

void PrintTo(const BadBody& bad, std::ostream* out) { *out << bad.name; }

std::string WithMember(const char* path, const char* member, const nlohmann::json& value) {
  nlohmann::json body = std::string(path) == "/api/chat/inbound" ? ChatBody("the-island", "hi")
                        : std::string(path) == "/api/sessions/leave"
                            ? nlohmann::json{{"mapId", "the-island"}, {"platformId", "1"}}
                            : nlohmann::json{{"mapId", "the-island"}, {"players", nlohmann::json::array()}};
  if (value.is_discarded()) {
    body.erase(member);
  } else {
    body[member] = value;
  }
  return body.dump();
}

const nlohmann::json kDrop = nlohmann::json::value_t::discarded;

std::vector<BadBody> BadBodies() {
  const char* inbound = "/api/chat/inbound";
  const char* sync = "/api/sessions/sync";
  const char* leave = "/api/sessions/leave";
  nlohmann::json good_player = PlayerBody("7", "Ann");
  auto sync_with = [&](const nlohmann::json& player) {
    return nlohmann::json{{"mapId", "the-island"}, {"players", {good_player, player}}}.dump();
  };
  auto player_with = [&](const char* member, const nlohmann::json& value) {
    nlohmann::json player = good_player;
    if (value.is_discarded()) {
      player.erase(member);
    } else {
      player[member] = value;
    }
    return player;
  };
  return {
      {"InboundNotJson", inbound, "{\"channel\":", "not valid JSON"},
      {"InboundEmptyBody", inbound, "", "not valid JSON"},
      {"InboundNotUtf8", inbound, "{\"message\":\"\xff\"}", "not valid JSON"},
      {"SyncStartOverflowsADouble", sync, R"({"mapId":"m","players":[{"sessionStartedAt":1e718}]})",
       "number too large to read"},
      {"InboundArray", inbound, "[]", "must be a JSON object"},
      {"InboundMissingChannel", inbound, WithMember(inbound, "channel", kDrop), "\"channel\""},
      {"InboundNumberMapId", inbound, WithMember(inbound, "mapId", 5), "body.mapId must be a string"},
      {"InboundNullMessage", inbound, WithMember(inbound, "message", nullptr),
       "body.message must be a string"},
      {"InboundEmptyMapId", inbound, WithMember(inbound, "mapId", ""), "must not be empty"},
      {"InboundNumericPlatformId", inbound, WithMember(inbound, "platformId", 76561198000000001ULL),
       "body.platformId must be a string"},
      {"InboundLetterInPlatformId", inbound, WithMember(inbound, "platformId", "12a"), "decimal digits"},
      {"InboundNegativePlatformId", inbound, WithMember(inbound, "platformId", "-1"), "decimal digits"},
      {"InboundLeadingZero", inbound, WithMember(inbound, "platformId", "007"), "decimal digits"},
      {"InboundPlatformIdBeyond64Bits", inbound, WithMember(inbound, "platformId", "18446744073709551616"),
       "decimal digits"},
      {"SyncPlayersNotArray", sync, WithMember(sync, "players", nlohmann::json::object()),
       "body.players must be an array"},
      {"SyncMissingPlayers", sync, WithMember(sync, "players", kDrop), "\"players\""},
      {"SyncPlayerNotObject", sync, sync_with("Ann"), "body.players[1] must be a JSON object"},
      {"SyncStartAsText", sync, sync_with(player_with("sessionStartedAt", "1700000000000")),
       "body.players[1].sessionStartedAt must be an integer"},
      {"SyncStartWithFraction", sync, sync_with(player_with("sessionStartedAt", 1.5)), "must be an integer"},
      {"SyncStartBeyond64Bits", sync, sync_with(player_with("sessionStartedAt", 18446744073709551615ULL)),
       "too large"},
      {"SyncMissingSteamName", sync, sync_with(player_with("steamName", kDrop)), "\"steamName\""},
      {"SyncNumericPlatformId", sync, sync_with(player_with("platformId", 7)),
       "body.players[1].platformId must be a string"},
      {"LeaveMissingPlatformId", leave, WithMember(leave, "platformId", kDrop), "\"platformId\""},
      {"LeaveNumericPlatformId", leave, WithMember(leave, "platformId", 1), "must be a string"},
      {"LeaveEmptyMapId", leave, WithMember(leave, "mapId", ""), "must not be empty"},
      {"KeyNotQuoted", inbound, WithMember(inbound, "tribeName", ""), "quoted string", "9f2c4e01a7b3d865-1"},
      {"KeyEmpty", inbound, WithMember(inbound, "tribeName", ""), "quoted string", "\"\""},
      {"KeyLongerThan64", leave, WithMember(leave, "mapId", "m"), "quoted string",
       "\"" + std::string(65, 'k') + "\""},
      {"KeyWithBackslash", sync, WithMember(sync, "mapId", "m"), "quoted string", R"("a\"b")"},
      {"KeyWithControlCharacter", leave, WithMember(leave, "mapId", "m"), "quoted string", "\"a\tb\""},
  };
}

class BadBodyTest : public ::testing::TestWithParam<BadBody> {};

TEST_P(BadBodyTest, IsAnswered400WithReasonAndLeavesNoTrace) {
  BotHarness harness;
  Headers headers{{"Content-Type", "application/json"}};
  if (!GetParam().idempotency_key.empty()) headers.emplace("Idempotency-Key", GetParam().idempotency_key);
  Response response = harness.Send("POST", GetParam().path, {}, headers, GetParam().body);
  EXPECT_EQ(response.status, 400);
  EXPECT_EQ(response.content_type, "application/json");
  EXPECT_THAT(BotHarness::Json(response).at("error").get<std::string>(), HasSubstr(GetParam().reason_part));

  EXPECT_EQ(BotHarness::Json(harness.Get("/admin/maps")).at("maps").size(), 0u);
  EXPECT_EQ(BotHarness::Json(harness.Get("/admin/inbound")).at("lines").size(), 0u);
  EXPECT_EQ(BotHarness::Json(harness.Get("/admin/sessions")).at("maps").size(), 0u);
  EXPECT_EQ(BotHarness::Json(harness.Get("/admin/leaves")).at("leaves").size(), 0u);
  ASSERT_EQ(harness.EventsOf("rejected").size(), 1u);
  EXPECT_EQ(harness.EventsOf("rejected")[0].at("status"), 400);
}

INSTANTIATE_TEST_SUITE_P(PluginBodies, BadBodyTest, ::testing::ValuesIn(BadBodies()),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(BodyValidation, WellFormedBodiesAreAccepted) {
  BotHarness harness;
  nlohmann::json chat = ChatBody("the-island", "héllo \"quoted\"");
  chat["platformId"] = "0";
  EXPECT_EQ(harness.Post("/api/chat/inbound", chat).status, 200);
  chat["platformId"] = "18446744073709551615";
  chat["tribeName"] = "";
  EXPECT_EQ(harness.Post("/api/chat/inbound", chat).status, 200);
  chat["colour"] = "red";  // a member of a later plug-in is let be
  EXPECT_EQ(harness.Post("/api/chat/inbound", chat).status, 200);
  EXPECT_EQ(
      harness.Post("/api/sessions/sync", {{"mapId", "the-island"}, {"players", nlohmann::json::array()}})
          .status,
      200);
  EXPECT_EQ(harness.Post("/api/sessions/leave", {{"mapId", "the-island"}, {"platformId", "42"}}).status, 200);
}

TEST(BodyValidation, PostsWithoutJsonContentTypeAreAnswered400) {
  BotHarness harness;
  const std::string body = ChatBody("the-island", "hi").dump();
  for (const char* content_type : {"text/plain", "application/x-www-form-urlencoded", "application/jsonp"}) {
    Response response = harness.Send("POST", "/api/chat/inbound", {}, {{"Content-Type", content_type}}, body);
    EXPECT_EQ(response.status, 400) << content_type;
    EXPECT_THAT(BotHarness::Json(response).at("error").get<std::string>(), HasSubstr("application/json"));
  }
  EXPECT_EQ(harness.Send("POST", "/api/chat/inbound", {}, {}, body).status, 400);
  EXPECT_EQ(
      harness
          .Send("POST", "/api/chat/inbound", {}, {{"content-type", "Application/JSON; charset=utf-8"}}, body)
          .status,
      200);
}

TEST(BodyValidation, OutboundQueryNeedsMapIdAndWholeSinceAndWait) {
  BotHarness harness;
  struct Case {
    QueryParams query;
    int status;
    std::chrono::milliseconds hold{0};
  };
  for (const Case& c :
       std::vector<Case>{{{{"since", "5"}}, 400},
                         {{{"mapId", ""}, {"since", "5"}}, 400},
                         {{{"mapId", "the-island"}, {"since", "abc"}}, 400},
                         {{{"mapId", "the-island"}, {"since", "12x"}}, 400},
                         {{{"mapId", "the-island"}, {"since", ""}}, 400},
                         {{{"mapId", "the-island"}, {"since", "99999999999999999999"}}, 400},
                         {{{"mapId", "the-island"}, {"since", "-5"}}, 400},
                         {{{"mapId", "the-island"}}, 200},
                         {{{"mapId", "the-island"}, {"waitSeconds", "0"}}, 200},
                         {{{"mapId", "the-island"}, {"waitSeconds", "5"}}, 200, 5s},
                         {{{"mapId", "the-island"}, {"waitSeconds", "31"}}, 200, 30s},
                         {{{"mapId", "the-island"}, {"waitSeconds", "99999999999"}}, 200, 30s},
                         {{{"mapId", "the-island"}, {"waitSeconds", "-1"}}, 400},
                         {{{"mapId", "the-island"}, {"waitSeconds", "1.5"}}, 400},
                         {{{"mapId", "the-island"}, {"waitSeconds", ""}}, 400}}) {
    Response response = harness.Get("/api/chat/outbound", c.query);
    EXPECT_EQ(response.status, c.status) << nlohmann::json(c.query).dump();
    EXPECT_EQ(response.hold, c.hold) << nlohmann::json(c.query).dump();
    EXPECT_NO_THROW(BotHarness::Json(response));
  }
}

TEST(BodyValidation, MapIdThatIsNotUtf8StillGetsAJsonAnswer) {
  BotHarness harness;
  Response response = harness.Get("/api/chat/outbound", {{"mapId", "bad\xff"}, {"since", "0"}});
  EXPECT_EQ(response.status, 200);
  EXPECT_NO_THROW(BotHarness::Json(response));
  EXPECT_NO_THROW(BotHarness::Json(harness.Get("/admin/maps")));
}

TEST(BodyValidation, AdminCommandsCheckTheirBodies) {
  BotHarness harness;
  struct Case {
    const char* path;
    nlohmann::json body;
    const char* reason_part;
  };
  for (const Case& c : std::vector<Case>{
           {"/admin/say", {{"author", "Mod"}}, "\"message\""},
           {"/admin/say", {{"message", 5}}, "must be a string"},
           {"/admin/say", {{"message", "hi"}, {"mapId", ""}}, "must not be empty"},
           {"/admin/fault", {{"mode", "explode"}}, "none, down, 401, garbage, slow"},
           {"/admin/fault", {{"mode", 401}}, "must be a string"},
           {"/admin/fault", {{"mode", "slow"}, {"ms", -1}}, "between 0 and 60000"},
           {"/admin/fault", {{"mode", "slow"}, {"ms", 60001}}, "between 0 and 60000"},
           {"/admin/fault", {{"mode", "slow"}, {"ms", "100"}}, "must be an integer"},
       }) {
    Response response = harness.Post(c.path, c.body);
    EXPECT_EQ(response.status, 400) << c.body.dump();
    EXPECT_THAT(BotHarness::Json(response).at("error").get<std::string>(), HasSubstr(c.reason_part));
  }
  EXPECT_EQ(BotHarness::Json(harness.Get("/admin/fault")).at("mode"), "none");
}

TEST(BodyValidation, PlatformIdTextIsUnsigned64BitDecimal) {
  for (const char* good : {"0", "1", "76561198000000001", "18446744073709551615"}) {
    EXPECT_TRUE(IsPlatformIdText(good)) << good;
  }
  for (const char* bad : {"", "00", "01", "+1", "-1", " 1", "1 ", "1e3", "18446744073709551616", "0x10"}) {
    EXPECT_FALSE(IsPlatformIdText(bad)) << bad;
  }
}

TEST(Routing, UnknownPathsAndWrongMethodsAreRefused) {
  BotHarness harness;
  EXPECT_EQ(harness.Get("/api/chat/nowhere").status, 404);
  EXPECT_EQ(harness.Get("/elsewhere").status, 404);
  EXPECT_EQ(harness.Get("/admin/nothing").status, 404);
  EXPECT_EQ(harness.Get("/api/chat/inbound").status, 405);
  EXPECT_EQ(harness.Post("/api/chat/outbound", nlohmann::json::object()).status, 405);
  EXPECT_EQ(harness.Send("DELETE", "/health").status, 405);
}

}  // namespace
}  // namespace devbot::testing
