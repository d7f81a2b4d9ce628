// The bearer key guards the bot interface; /health and the admin interface stay open.
#include <gtest/gtest.h>

#include "bot_harness.h"
#include "devbot/request_checks.h"

namespace devbot::testing {
namespace {

const char* const kKey = "s3cret";

// One request of each of the four keyed kinds, valid in every other respect.
std::vector<Response> SendEveryKeyedRequest(BotHarness& harness, const Headers& headers) {
  return {
      harness.Post("/api/chat/inbound", ChatBody("the-island", "hi"), headers),
      harness.Get("/api/chat/outbound", {{"mapId", "the-island"}, {"since", "0"}}, headers),
      harness.Post("/api/sessions/sync", {{"mapId", "the-island"}, {"players", nlohmann::json::array()}},
                   headers),
      harness.Post("/api/sessions/leave", {{"mapId", "the-island"}, {"platformId", "1"}}, headers),
  };
}

struct KeyCase {
  const char* name;
  Headers headers;
  int status;
};

void PrintTo(const KeyCase& key_case, std::ostream* out) { *out << key_case.name; }

class KeyCheckTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyCheckTest, KeyedRequestsNeedExactlyTheBearerKey) {
  BotHarness harness(kKey);
  for (const Response& response : SendEveryKeyedRequest(harness, GetParam().headers)) {
    EXPECT_EQ(response.status, GetParam().status) << response.body;
  }
  EXPECT_EQ(harness.Get("/health", {}, GetParam().headers).status, 200);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, KeyCheckTest,
    ::testing::Values(
        KeyCase{"Exact", {{"Authorization", "Bearer s3cret"}}, 200},
        KeyCase{"HeaderNameInLowerCase", {{"authorization", "Bearer s3cret"}}, 200},
        KeyCase{"NoHeader", {}, 401}, KeyCase{"WrongKey", {{"Authorization", "Bearer s3cre"}}, 401},
        KeyCase{"KeyWithTrailingBlank", {{"Authorization", "Bearer s3cret "}}, 401},
        KeyCase{"SchemeInLowerCase", {{"Authorization", "bearer s3cret"}}, 401},
        KeyCase{"KeyWithoutScheme", {{"Authorization", "s3cret"}}, 401},
        KeyCase{"EmptyBearer", {{"Authorization", "Bearer "}}, 401},
        KeyCase{"TwoHeaders", {{"Authorization", "Bearer s3cret"}, {"Authorization", "Bearer x"}}, 401}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(KeyCheck, WithoutKeyEveryRequestPassesWhateverItCarries) {
  BotHarness harness;
  for (const Headers& headers : {Headers{}, Headers{{"Authorization", "Bearer anything"}}}) {
    for (const Response& response : SendEveryKeyedRequest(harness, headers)) EXPECT_EQ(response.status, 200);
  }
}

TEST(KeyCheck, RejectedKeyComesBeforeTheBodyCheckAndKeepsNothing) {
  BotHarness harness(kKey);
  Response response = harness.Send("POST", "/api/chat/inbound", {}, {{"Content-Type", "text/plain"}}, "junk");
  EXPECT_EQ(response.status, 401);
  EXPECT_TRUE(BotHarness::Json(response).contains("error"));
  EXPECT_EQ(BotHarness::Json(harness.Get("/admin/maps")).at("maps").size(), 0u);
}

TEST(KeyCheck, AdminInterfaceNeedsNoKeyButLoopback) {
  BotHarness harness(kKey);
  EXPECT_EQ(harness.Post("/admin/say", {{"author", "Mod"}, {"message", "hi"}}).status, 200);
  EXPECT_EQ(harness.Get("/admin/inbound").status, 200);

  Bot bot("", SystemMilliseconds, {});
  Request remote{"GET", "/admin/inbound", {}, {}, "", "192.0.2.7"};
  EXPECT_EQ(bot.Handle(remote).status, 403);
  remote.path = "/health";
  EXPECT_EQ(bot.Handle(remote).status, 200);
}

TEST(RequestChecks, LoopbackAddresses) {
  for (const char* address : {"127.0.0.1", "127.1.2.3", "::1", "::ffff:127.0.0.1", "::FFFF:127.0.0.1"}) {
    EXPECT_TRUE(IsLoopbackAddress(address)) << address;
  }
  for (const char* address :
       {"", "10.0.0.1", "192.0.2.7", "::2", "::ffff:10.0.0.1", "128.0.0.1", "1127.0.0.1"}) {
    EXPECT_FALSE(IsLoopbackAddress(address)) << address;
  }
}

TEST(RequestChecks, JsonContentTypes) {
  for (const char* type : {"application/json", "application/json; charset=utf-8", "APPLICATION/JSON",
                           " application/json ;charset=UTF-8"}) {
    EXPECT_TRUE(IsJsonContentType({{"Content-Type", type}})) << type;
  }
  for (const char* type : {"", "text/json", "application/jsonp", "application/problem+json", "text/plain"}) {
    EXPECT_FALSE(IsJsonContentType({{"Content-Type", type}})) << type;
  }
  EXPECT_FALSE(IsJsonContentType({}));
}

}  // namespace
}  // namespace devbot::testing
