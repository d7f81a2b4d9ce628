#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <set>
#include <string>

#include "component_fixture.h"
#include "core/guard.h"
#include "core/log_channel.h"
#include "link/health_probe.h"
#include "link/link_state.h"
#include "link/post_json.h"
#include "link/request_form.h"
#include "link/request_outcome.h"
#include "plugin_reset.h"

namespace palaverlink::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

constexpr char kKeyWarningTail[] =
    ". 'ApiKey' in this plugin's config.json must match 'bridgeApiKey' in the bot's config exactly "
    "(bot/config/config.json, or the 'Bridge API key' box in the control panel). Leave BOTH blank to turn "
    "auth "
    "off. Going silent - will retry every 30s.";

std::string KeyWarning(const std::string& operation) {
  return "Palaverlink: the bot rejected our API key (401) on " + operation + kKeyWarningTail;
}

std::string LostConnection(const std::string& operation, const std::string& failure) {
  return "Palaverlink lost connection (" + operation + " failed: " + failure +
         "). Going silent - will retry every 30s.";
}

class Link : public ComponentFixture {
 protected:
  void Post(const std::string& path) {
    PostJson({HttpMethod::kPost, path}, nlohmann::json{{"mapId", "the-island"}}, IfUndelivered::kDrop);
  }
  // Fails the link with a POST whose completion reports `failure`.
  void TakeDown(const std::string& failure = "HTTP 503 Service Unavailable") {
    Post("/api/sessions/sync");
    host().Complete(LastRequest().id, false, failure);
    ASSERT_TRUE(LinkIsDown());
  }
  std::size_t RequestCount() { return env().Requests().size(); }
};

TEST_F(Link, PostGoesToTheBridgeUrlWithCompactSortedBody) {
  ApplyConfig({{"BridgeUrl", "http://127.0.0.1:8765"}});
  nlohmann::json body;
  body["message"] = "Gr\xC3\xBC\xC3\x9F dich \"du\"";
  body["channel"] = "global";
  body["mapId"] = "the-island";
  body["platformId"] = "18446744073709551615";
  PostJson(endpoints::kChatInbound, body, IfUndelivered::kResend);

  ASSERT_EQ(env().Requests().size(), 1u);
  const devhost::HttpRequest& request = LastRequest();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.url, "http://127.0.0.1:8765/api/chat/inbound");
  EXPECT_EQ(request.content_type, "application/json");
  EXPECT_THAT(request.headers, ElementsAre(StartsWith("Idempotency-Key: ")));
  EXPECT_EQ(
      request.body,
      "{\"channel\":\"global\",\"mapId\":\"the-island\",\"message\":\"Gr\xC3\xBC\xC3\x9F dich \\\"du\\\"\","
      "\"platformId\":\"18446744073709551615\"}");
}

TEST_F(Link, EveryRequestCarriesTheKeyWhenOneIsSet) {
  EXPECT_THAT(AuthHeaders(""), IsEmpty());
  EXPECT_THAT(AuthHeaders(" s3cret key "), ElementsAre("Authorization: Bearer  s3cret key "));

  ApplyConfig({{"ApiKey", " s3cret key "}});
  Post("/api/sessions/leave");
  EXPECT_THAT(LastRequest().headers,
              ElementsAre("Authorization: Bearer  s3cret key ", StartsWith("Idempotency-Key: ")));
  SendHealthProbe();
  EXPECT_THAT(LastRequest().headers, ElementsAre("Authorization: Bearer  s3cret key "));
}

// A bot drops repeats by this key: one per post, never the same twice, also across loads.
TEST_F(Link, EveryPostCarriesAKeyOfItsOwn) {
  std::set<std::string> keys;
  auto post_and_keep_key = [&](IfUndelivered if_undelivered) {
    PostJson(endpoints::kSessionsLeave, nlohmann::json{{"platformId", "1"}}, if_undelivered);
    const std::string& header = LastRequest().headers.back();
    // Idempotency-Key: "<16 hex digits>-<number>"
    ASSERT_TRUE(header.starts_with("Idempotency-Key: \"") && header.ends_with("\"")) << header;
    const std::string key = header.substr(18, header.size() - 19);
    ASSERT_GT(key.size(), 17u) << header;
    EXPECT_EQ(key.find_first_not_of("0123456789abcdef"), 16u) << header;
    EXPECT_EQ(key[16], '-') << header;
    EXPECT_EQ(key.find_first_not_of("0123456789", 17), std::string::npos) << header;
    keys.insert(header);
  };
  post_and_keep_key(IfUndelivered::kDrop);
  post_and_keep_key(IfUndelivered::kResend);
  ApplyConfig({{"OutageBufferLines", 5}});
  post_and_keep_key(IfUndelivered::kResend);
  host::BeginLoad();
  ResetPluginState();  // a new load numbers its posts from 1 again: the prefix keeps them apart
  post_and_keep_key(IfUndelivered::kDrop);
  EXPECT_EQ(keys.size(), 4u);
  SendHealthProbe();
  EXPECT_THAT(LastRequest().headers, IsEmpty());
}

TEST_F(Link, UrlIsPlainConcatenation) {
  ApplyConfig({{"BridgeUrl", ""}});
  Post("/api/sessions/sync");
  ApplyConfig({{"BridgeUrl", "http://bot:1/base"}});
  SendHealthProbe();
  ASSERT_EQ(env().Requests().size(), 2u);
  EXPECT_EQ(env().Requests()[0].url, "/api/sessions/sync");
  EXPECT_EQ(env().Requests()[1].url, "http://bot:1/base/health");
  EXPECT_EQ(env().Requests()[1].method, "GET");
}

TEST_F(Link, InvalidUtf8InTheBodyThrowsAndSendsNothing) {
  EXPECT_THROW(
      PostJson(endpoints::kChatInbound, nlohmann::json{{"message", "\xC3("}}, IfUndelivered::kResend),
      nlohmann::json::type_error);
  EXPECT_THAT(env().Requests(), IsEmpty());
  EXPECT_FALSE(LinkIsDown());
}

TEST_F(Link, SuccessWritesItsLineOnlyWithDebug) {
  Post("/api/chat/inbound");
  host().Complete(LastRequest().id, true, "{}");
  EXPECT_THAT(PluginLog(), IsEmpty());

  ApplyConfig({{"Debug", true}});
  Post("/api/chat/inbound");
  host().Complete(LastRequest().id, true, "{}");
  EXPECT_THAT(PluginLog(), ElementsAre(Info("Palaverlink: POST /api/chat/inbound ok")));
  EXPECT_FALSE(LinkIsDown());
}

TEST_F(Link, TwoFailuresInARowWriteOneWarningNamedAfterTheFirstToComplete) {
  Post("/api/chat/inbound");
  const auto first = LastRequest().id;
  Post("/api/sessions/sync");
  const auto second = LastRequest().id;

  host().Complete(second, false, "HTTP 502 Bad Gateway");
  host().Complete(first, false, "Couldn't connect to server");

  EXPECT_TRUE(LinkIsDown());
  EXPECT_THAT(PluginLog(),
              ElementsAre(Warning(LostConnection("POST /api/sessions/sync", "HTTP 502 Bad Gateway"))));
}

std::string Refused(const std::string& operation, const std::string& failure, int count = 1) {
  return "Palaverlink: the bot refused " + operation + " (" + failure +
         "). Dropped; the link stays up. Refused since the last such warning: " + std::to_string(count) + ".";
}

TEST_F(Link, FailureTextDecidesTheWarningAndWhetherTheLinkGoesDown) {
  const std::string inbound = "POST /api/chat/inbound";
  struct Case {
    std::string failure;
    std::string warning;
    bool down;
  };
  const Case cases[] = {
      {"HTTP 401 Unauthorized", KeyWarning(inbound), true},
      {"HTTP 401", KeyWarning(inbound), true},
      // The digits 401 inside another number or text name no status.
      {"Failed to connect to 127.0.0.1 port 14015",
       LostConnection(inbound, "Failed to connect to 127.0.0.1 port 14015"), true},
      {"HTTP 4010", LostConnection(inbound, "HTTP 4010"), true},
      {"Received HTTP code 401 from proxy", LostConnection(inbound, "Received HTTP code 401 from proxy"),
       true},
      // Any other 4xx is the bot refusing this one request.
      {"HTTP 403 Forbidden", Refused(inbound, "HTTP 403 Forbidden"), false},
      {"HTTP 413 Payload Too Large", Refused(inbound, "HTTP 413 Payload Too Large"), false},
      {"HTTP 400 Bad Request", Refused(inbound, "HTTP 400 Bad Request"), false},
      {"HTTP 499", Refused(inbound, "HTTP 499"), false},
      // A bot that is slow or overloaded, or broken, counts as lost.
      {"HTTP 408 Request Timeout", LostConnection(inbound, "HTTP 408 Request Timeout"), true},
      {"HTTP 429 Too Many Requests", LostConnection(inbound, "HTTP 429 Too Many Requests"), true},
      {"HTTP 500 Internal Server Error", LostConnection(inbound, "HTTP 500 Internal Server Error"), true},
      {"HTTP 302 Found", LostConnection(inbound, "HTTP 302 Found"), true},
      {"Timeout was reached", LostConnection(inbound, "Timeout was reached"), true},
      {"40", LostConnection(inbound, "40"), true},
      {"", LostConnection(inbound, ""), true},
      {"{}", LostConnection(inbound, "{}"), true},
      // The start of the answer is quoted, so that an HTML error page is told from a JSON refusal;
      // a line break in it is escaped by the log, and a long one is cut at a whole character.
      {"HTTP 500 Internal Server Error\n<html><body>Oops</body></html>\n",
       LostConnection(inbound,
                      "HTTP 500 Internal Server Error, answered \"<html><body>Oops</body></html>\\n\""),
       true},
      {"HTTP 422 Unprocessable Entity\n{\"error\":\"filtered word\"}",
       Refused(inbound, "HTTP 422 Unprocessable Entity, answered \"{\"error\":\"filtered word\"}\""), false},
      {"HTTP 413\n" + std::string(119, 'x') + "\xC3\xBC and more",
       Refused(inbound, "HTTP 413, answered \"" + std::string(119, 'x') + "...\""), false},
  };
  for (const auto& [failure, warning, down] : cases) {
    SCOPED_TRACE(failure);
    ResetPluginState();
    OpenLogChannel("Palaverlink");
    const std::size_t before = PluginLog().size();
    Post("/api/chat/inbound");
    host().Complete(LastRequest().id, false, failure);
    const auto lines = PluginLog();
    ASSERT_EQ(lines.size(), before + 1);
    EXPECT_EQ(lines.back(), Warning(warning));
    EXPECT_EQ(LinkIsDown(), down);
  }
}

TEST_F(Link, OutcomeSaysWhetherTheBotMayHaveActedOnTheRequest) {
  struct Case {
    bool success;
    std::string text;
    RequestVerdict result;
    Delivery delivery;
    int status;
  };
  const Case cases[] = {
      {true, "HTTP 500 in an answer", RequestVerdict::kSuccess, Delivery::kAccepted, 0},
      {false, "Couldn't connect to server", RequestVerdict::kLinkLost, Delivery::kNotTaken, 0},
      {false, "Couldn't resolve host name", RequestVerdict::kLinkLost, Delivery::kNotTaken, 0},
      {false, "URL using bad/illegal format or missing URL", RequestVerdict::kLinkLost, Delivery::kNotTaken,
       0},
      {false, "Timeout was reached", RequestVerdict::kLinkLost, Delivery::kUnknown, 0},
      {false, "Server returned nothing (no headers, no data)", RequestVerdict::kLinkLost, Delivery::kUnknown,
       0},
      {false, "HTTP 401 Unauthorized", RequestVerdict::kKeyRejected, Delivery::kNotTaken, 401},
      {false, "HTTP 413 Payload Too Large", RequestVerdict::kRefused, Delivery::kNotTaken, 413},
      {false, "HTTP 429 Too Many Requests", RequestVerdict::kLinkLost, Delivery::kNotTaken, 429},
      {false, "HTTP 502 Bad Gateway", RequestVerdict::kLinkLost, Delivery::kUnknown, 502},
      {false, "HTTP 500 Internal Server Error", RequestVerdict::kLinkLost, Delivery::kUnknown, 500},
      {false, "HTTP 503 Service Unavailable", RequestVerdict::kLinkLost, Delivery::kNotTaken, 503},
      {false, "HTTP 504 Gateway Timeout", RequestVerdict::kLinkLost, Delivery::kUnknown, 504},
      // The body after the status line changes nothing of the reading.
      {false, "HTTP 503 Service Unavailable\n<html>401</html>", RequestVerdict::kLinkLost,
       Delivery::kNotTaken, 503},
      {false, "HTTP 401\n{\"error\":\"HTTP 500\"}", RequestVerdict::kKeyRejected, Delivery::kNotTaken, 401},
      {false, "Failed initialization", RequestVerdict::kLinkLost, Delivery::kNotTaken, 0},
  };
  for (const auto& [success, text, result, delivery, status] : cases) {
    SCOPED_TRACE(text);
    const RequestOutcome outcome = ReadOutcome(host::ReadFrameworkReply(success, text));
    EXPECT_EQ(outcome.verdict, result);
    EXPECT_EQ(outcome.delivery, delivery);
    EXPECT_EQ(outcome.status, status);
  }
}

// A bot that refuses lines holding a filtered word: a player alternating clean and filtered lines
// writes one warning a minute, not one per alternation. Each request has a pace of its own.
TEST_F(Link, RefusalsWarnAtMostOnceAMinuteForEachRequestAndDropNothingElse) {
  const std::string inbound = "POST /api/chat/inbound";
  for (int i = 0; i < 5; ++i) {
    Post("/api/chat/inbound");
    host().Complete(LastRequest().id, false, "HTTP 422 Unprocessable Entity");
    Post("/api/chat/inbound");
    host().Complete(LastRequest().id, true, "");
  }
  Post("/api/sessions/leave");
  host().Complete(LastRequest().id, false, "HTTP 400 Bad Request");
  Post("/api/sessions/sync");
  EXPECT_EQ(LastRequest().url, "http://127.0.0.1:8765/api/sessions/sync");
  host().Complete(LastRequest().id, true, "");

  EXPECT_FALSE(LinkIsDown());
  EXPECT_THAT(PluginLog(), ElementsAre(Warning(Refused(inbound, "HTTP 422 Unprocessable Entity")),
                                       Warning(Refused("POST /api/sessions/leave", "HTTP 400 Bad Request"))));
}

TEST_F(Link, QueryValuesArePercentEncodedExceptUnreservedCharacters) {
  const std::pair<std::string, std::string> cases[] = {
      {"the-island", "the-island"},
      {"genesis-part-2", "genesis-part-2"},
      {"A-Za-z0-9._~", "A-Za-z0-9._~"},
      {"my map", "my%20map"},
      {"x#y&since=0", "x%23y%26since%3D0"},
      {"a+b", "a%2Bb"},
      {"%41", "%2541"},
      {"/?", "%2F%3F"},
      {"\xC3\xBC\n", "%C3%BC%0A"},
      {"", ""},
  };
  for (const auto& [value, encoded] : cases) {
    EXPECT_EQ(PercentEncode(value), encoded) << value;
    EXPECT_EQ(BotUrl("http://127.0.0.1:8765", "/api/chat/outbound", {{"mapId", value}, {"since", "-5"}}),
              "http://127.0.0.1:8765/api/chat/outbound?mapId=" + encoded + "&since=-5");
  }
}

TEST_F(Link, WhileDownPostsAreDroppedQuietlyUnlessDebug) {
  TakeDown();
  const std::size_t requests = RequestCount();
  const std::size_t lines = PluginLog().size();

  Post("/api/chat/inbound");
  EXPECT_EQ(RequestCount(), requests);
  EXPECT_EQ(PluginLog().size(), lines);

  ApplyConfig({{"Debug", true}});
  Post("/api/sessions/leave");
  EXPECT_EQ(RequestCount(), requests);
  EXPECT_EQ(PluginLog().back(), Info("Palaverlink: bridge down - dropped POST /api/sessions/leave"));
}

TEST_F(Link, CompletionsAfterTheLinkWentDownLeaveItDown) {
  ApplyConfig({{"Debug", true}});
  Post("/api/chat/inbound");
  const auto late_success = LastRequest().id;
  Post("/api/chat/inbound");
  const auto late_failure = LastRequest().id;
  TakeDown();
  const std::size_t lines = PluginLog().size();

  host().Complete(late_failure, false, "HTTP 401 Unauthorized");
  EXPECT_EQ(PluginLog().size(), lines);
  host().Complete(late_success, true, "");
  EXPECT_TRUE(LinkIsDown());
  ASSERT_EQ(PluginLog().size(), lines + 1);
  EXPECT_EQ(PluginLog().back(), Info("Palaverlink: POST /api/chat/inbound ok"));
}

TEST_F(Link, HealthProbeOutcomeWhileUpChangesNothing) {
  SendHealthProbe();
  host().Complete(LastRequest().id, false, "HTTP 401 Unauthorized");
  SendHealthProbe();
  host().Complete(LastRequest().id, true, "ok");
  EXPECT_FALSE(LinkIsDown());
  EXPECT_THAT(PluginLog(), IsEmpty());
}

TEST_F(Link, HealthProbeBringsTheLinkBackOnItsFirstSuccess) {
  TakeDown();
  SendHealthProbe();
  EXPECT_EQ(LastRequest().url, "http://127.0.0.1:8765/health");
  host().Complete(LastRequest().id, false, "Couldn't connect to server");
  EXPECT_TRUE(LinkIsDown());

  SendHealthProbe();
  host().Complete(LastRequest().id, true, "not even JSON");
  EXPECT_FALSE(LinkIsDown());
  EXPECT_EQ(PluginLog().back(), Info("Palaverlink reconnected to bot."));

  Post("/api/chat/inbound");
  EXPECT_EQ(LastRequest().url, "http://127.0.0.1:8765/api/chat/inbound");
}

TEST_F(Link, RejectedKeyWarnsOncePerDownUpCycle) {
  for (int cycle = 0; cycle < 2; ++cycle) {
    Post("/api/chat/inbound");
    host().Complete(LastRequest().id, false, "HTTP 401 Unauthorized");
    Post("/api/chat/inbound");  // dropped
    SendHealthProbe();
    host().Complete(LastRequest().id, true, "");
  }
  const PluginLine warning = Warning(KeyWarning("POST /api/chat/inbound"));
  const PluginLine back = Info("Palaverlink reconnected to bot.");
  EXPECT_THAT(PluginLog(), ElementsAre(warning, back, warning, back));
}

TEST_F(Link, GuardWritesOneWarningPerRunOfFailures) {
  int runs = 0;
  auto failing = [&runs] {
    ++runs;
    throw std::runtime_error("game function missing");
  };
  RunGuarded("session sync", failing);
  RunGuarded("session sync", failing);
  RunGuarded("session sync", [] { throw 42; });
  RunGuarded("outbound poll", failing);
  RunGuarded("session sync", [] {});
  RunGuarded("session sync", failing);
  // A guard inside another only runs its work: the outer one keeps the record, so a lasting fault
  // under nested guards still writes one line.
  for (int tick = 0; tick < 3; ++tick) {
    RunGuarded("health check", [&] { RunGuarded("health check", failing); });
  }
  // A guard of another name inside catches for itself and leaves the outer one's record alone.
  for (int tick = 0; tick < 2; ++tick) {
    RunGuarded("health check", [&] { RunGuarded("chat hook", failing); });
  }
  EXPECT_EQ(runs, 9);
  const PluginLine sync = Warning("Palaverlink: session sync failed unexpectedly: game function missing");
  EXPECT_THAT(
      PluginLog(),
      ElementsAre(sync, Warning("Palaverlink: outbound poll failed unexpectedly: game function missing"),
                  sync, Warning("Palaverlink: health check failed unexpectedly: game function missing"),
                  Warning("Palaverlink: chat hook failed unexpectedly: game function missing")));
}

}  // namespace
}  // namespace palaverlink::testing
