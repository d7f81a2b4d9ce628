#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "component_fixture.h"
#include "core/guard.h"
#include "link/link_state.h"
#include "link/post_json.h"

namespace palaverlink::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

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
  void Post(const std::string& path) { PostJson(path, nlohmann::json{{"mapId", "the-island"}}); }
  // Fails the link with a POST whose completion reports `failure`.
  void TakeDown(const std::string& failure = "HTTP 503 Service Unavailable") {
    Post("/api/sessions/sync");
    host().Complete(LastRequest().id, false, failure);
    ASSERT_TRUE(LinkState().bridgeDown);
  }
  std::size_t RequestCount() { return env().Requests().size(); }
};

TEST_F(Link, PostGoesToTheBridgeUrlWithCompactSortedBody) {
  Settings().BridgeUrl = "http://127.0.0.1:8765";
  nlohmann::json body;
  body["message"] = "Gr\xC3\xBC\xC3\x9F dich \"du\"";
  body["channel"] = "global";
  body["mapId"] = "the-island";
  body["platformId"] = "18446744073709551615";
  PostJson("/api/chat/inbound", body);

  ASSERT_EQ(env().Requests().size(), 1u);
  const devhost::HttpRequest& request = LastRequest();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.url, "http://127.0.0.1:8765/api/chat/inbound");
  EXPECT_EQ(request.content_type, "application/json");
  EXPECT_THAT(request.headers, IsEmpty());
  EXPECT_EQ(
      request.body,
      "{\"channel\":\"global\",\"mapId\":\"the-island\",\"message\":\"Gr\xC3\xBC\xC3\x9F dich \\\"du\\\"\","
      "\"platformId\":\"18446744073709551615\"}");
}

TEST_F(Link, EveryRequestCarriesTheKeyWhenOneIsSet) {
  EXPECT_THAT(BuildAuthHeaders(), IsEmpty());

  Settings().ApiKey = " s3cret key ";
  EXPECT_THAT(BuildAuthHeaders(), ElementsAre("Authorization: Bearer  s3cret key "));
  Post("/api/sessions/leave");
  EXPECT_THAT(LastRequest().headers, ElementsAre("Authorization: Bearer  s3cret key "));
  HealthCheck();
  EXPECT_THAT(LastRequest().headers, ElementsAre("Authorization: Bearer  s3cret key "));
}

TEST_F(Link, UrlIsPlainConcatenation) {
  Settings().BridgeUrl = "";
  Post("/api/sessions/sync");
  Settings().BridgeUrl = "http://bot:1/base";
  HealthCheck();
  ASSERT_EQ(env().Requests().size(), 2u);
  EXPECT_EQ(env().Requests()[0].url, "/api/sessions/sync");
  EXPECT_EQ(env().Requests()[1].url, "http://bot:1/base/health");
  EXPECT_EQ(env().Requests()[1].method, "GET");
}

TEST_F(Link, InvalidUtf8InTheBodyThrowsAndSendsNothing) {
  EXPECT_THROW(PostJson("/api/chat/inbound", nlohmann::json{{"message", "\xC3("}}),
               nlohmann::json::type_error);
  EXPECT_THAT(env().Requests(), IsEmpty());
  EXPECT_FALSE(LinkState().bridgeDown);
}

TEST_F(Link, SuccessWritesItsLineOnlyWithDebug) {
  Post("/api/chat/inbound");
  host().Complete(LastRequest().id, true, "{}");
  EXPECT_THAT(PluginLog(), IsEmpty());

  Settings().Debug = true;
  Post("/api/chat/inbound");
  host().Complete(LastRequest().id, true, "{}");
  EXPECT_THAT(PluginLog(), ElementsAre(Info("Palaverlink: POST /api/chat/inbound ok")));
  EXPECT_FALSE(LinkState().bridgeDown);
}

TEST_F(Link, TwoFailuresInARowWriteOneWarningNamedAfterTheFirstToComplete) {
  Post("/api/chat/inbound");
  const auto first = LastRequest().id;
  Post("/api/sessions/sync");
  const auto second = LastRequest().id;

  host().Complete(second, false, "HTTP 502 Bad Gateway");
  host().Complete(first, false, "Couldn't connect to server");

  EXPECT_TRUE(LinkState().bridgeDown);
  EXPECT_THAT(PluginLog(),
              ElementsAre(Warning(LostConnection("POST /api/sessions/sync", "HTTP 502 Bad Gateway"))));
}

TEST_F(Link, FailureTextDecidesBetweenTheTwoWarnings) {
  const std::pair<std::string, std::string> cases[] = {
      {"HTTP 401 Unauthorized", KeyWarning("POST /api/chat/inbound")},
      {"Failed to connect to 127.0.0.1 port 14015", KeyWarning("POST /api/chat/inbound")},
      {"HTTP 403 Forbidden", LostConnection("POST /api/chat/inbound", "HTTP 403 Forbidden")},
      {"40", LostConnection("POST /api/chat/inbound", "40")},
      {"", LostConnection("POST /api/chat/inbound", "")},
      {"{}", LostConnection("POST /api/chat/inbound", "{}")},
  };
  for (const auto& [failure, warning] : cases) {
    SCOPED_TRACE(failure);
    LinkState().bridgeDown = false;
    const std::size_t before = PluginLog().size();
    Post("/api/chat/inbound");
    host().Complete(LastRequest().id, false, failure);
    const auto lines = PluginLog();
    ASSERT_EQ(lines.size(), before + 1);
    EXPECT_EQ(lines.back(), Warning(warning));
  }
}

TEST_F(Link, WhileDownPostsAreDroppedQuietlyUnlessDebug) {
  TakeDown();
  const std::size_t requests = RequestCount();
  const std::size_t lines = PluginLog().size();

  Post("/api/chat/inbound");
  EXPECT_EQ(RequestCount(), requests);
  EXPECT_EQ(PluginLog().size(), lines);

  Settings().Debug = true;
  Post("/api/sessions/leave");
  EXPECT_EQ(RequestCount(), requests);
  EXPECT_EQ(PluginLog().back(), Info("Palaverlink: bridge down - dropped POST /api/sessions/leave"));
}

TEST_F(Link, CompletionsAfterTheLinkWentDownLeaveItDown) {
  Settings().Debug = true;
  Post("/api/chat/inbound");
  const auto late_success = LastRequest().id;
  Post("/api/chat/inbound");
  const auto late_failure = LastRequest().id;
  TakeDown();
  const std::size_t lines = PluginLog().size();

  host().Complete(late_failure, false, "HTTP 401 Unauthorized");
  EXPECT_EQ(PluginLog().size(), lines);
  host().Complete(late_success, true, "");
  EXPECT_TRUE(LinkState().bridgeDown);
  ASSERT_EQ(PluginLog().size(), lines + 1);
  EXPECT_EQ(PluginLog().back(), Info("Palaverlink: POST /api/chat/inbound ok"));
}

TEST_F(Link, HealthProbeOutcomeWhileUpChangesNothing) {
  HealthCheck();
  host().Complete(LastRequest().id, false, "HTTP 401 Unauthorized");
  HealthCheck();
  host().Complete(LastRequest().id, true, "ok");
  EXPECT_FALSE(LinkState().bridgeDown);
  EXPECT_THAT(PluginLog(), IsEmpty());
}

TEST_F(Link, HealthProbeBringsTheLinkBackOnItsFirstSuccess) {
  TakeDown();
  HealthCheck();
  EXPECT_EQ(LastRequest().url, "http://127.0.0.1:8765/health");
  host().Complete(LastRequest().id, false, "Couldn't connect to server");
  EXPECT_TRUE(LinkState().bridgeDown);

  HealthCheck();
  host().Complete(LastRequest().id, true, "not even JSON");
  EXPECT_FALSE(LinkState().bridgeDown);
  EXPECT_EQ(PluginLog().back(), Info("Palaverlink reconnected to bot."));

  Post("/api/chat/inbound");
  EXPECT_EQ(LastRequest().url, "http://127.0.0.1:8765/api/chat/inbound");
}

TEST_F(Link, RejectedKeyWarnsOncePerDownUpCycle) {
  for (int cycle = 0; cycle < 2; ++cycle) {
    Post("/api/chat/inbound");
    host().Complete(LastRequest().id, false, "HTTP 401 Unauthorized");
    Post("/api/chat/inbound");  // dropped
    HealthCheck();
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
  EXPECT_EQ(runs, 4);
  const PluginLine sync = Warning("Palaverlink: session sync failed unexpectedly: game function missing");
  EXPECT_THAT(
      PluginLog(),
      ElementsAre(sync, Warning("Palaverlink: outbound poll failed unexpectedly: game function missing"),
                  sync));
}

}  // namespace
}  // namespace palaverlink::testing
