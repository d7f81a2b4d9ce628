// Chat lines and leave notices through the outbox: one at a time and in order, kept through an
// outage and sent again with their key, none lost while there is room.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "component_fixture.h"
#include "core/log_channel.h"
#include "link/health_probe.h"
#include "link/link_state.h"
#include "link/outbox.h"
#include "link/post_json.h"
#include "plugin_reset.h"

namespace palaverlink::testing {
namespace {

using ::testing::ElementsAre;

class OutageBuffer : public ComponentFixture {
 protected:
  void SetUp() override {
    ComponentFixture::SetUp();
    Settings().OutageBufferLines = 3;
  }

  void Chat(const std::string& text) {
    PostJson("/api/chat/inbound", {{"message", text}}, IfUndelivered::kResend);
  }
  void Leave(const std::string& id) {
    PostJson("/api/sessions/leave", {{"platformId", id}}, IfUndelivered::kResend);
  }
  void Sync() {
    PostJson("/api/sessions/sync", {{"players", nlohmann::json::array()}}, IfUndelivered::kDrop);
  }

  void Fail(const std::string& text = "Couldn't connect to server") {
    host().Complete(LastRequest().id, false, text);
  }
  void Succeed() { host().Complete(LastRequest().id, true, "{}"); }
  void Reconnect() {
    HealthCheck();
    host().Complete(LastRequest().id, true, "ok");
    ASSERT_FALSE(LinkState().bridgeDown);
  }

  // What each POST carried (the message or the platform id), in the order they went out.
  std::vector<std::string> Posted() {
    std::vector<std::string> posted;
    for (const auto& request : env().Requests()) {
      if (request.method != "POST") continue;
      const auto body = nlohmann::json::parse(request.body);
      posted.push_back(body.contains("message")      ? body["message"].get<std::string>()
                       : body.contains("platformId") ? "leave " + body["platformId"].get<std::string>()
                                                     : "sync");
    }
    return posted;
  }

  static std::string BufferLine(int delivered, int refused, int given_up, int dropped, int limit = 3) {
    return "Palaverlink: outage buffer: after the reconnection " + std::to_string(delivered) +
           " kept line(s) delivered, " + std::to_string(refused) + " refused, " + std::to_string(given_up) +
           " given up; " + std::to_string(dropped) + " dropped while full (OutageBufferLines " +
           std::to_string(limit) + ").";
  }

  static std::string KeyOf(const devhost::HttpRequest& request) {
    for (const std::string& header : request.headers) {
      if (header.starts_with("Idempotency-Key: ")) return header.substr(17);
    }
    return "";
  }
};

TEST_F(OutageBuffer, LinesGoOutOneAtATimeInOrderAndKeptOnesAfterTheReconnection) {
  Chat("a");
  Chat("b");  // waits for a: never two on their way
  EXPECT_THAT(Posted(), ElementsAre("a"));
  Fail();  // a stays first
  ASSERT_TRUE(LinkState().bridgeDown);
  Chat("c");
  Leave("7");  // full: the oldest, a, goes
  Sync();      // not kept
  EXPECT_THAT(Posted(), ElementsAre("a"));

  Reconnect();
  EXPECT_THAT(Posted(), ElementsAre("a", "b"));
  Chat("d");  // said while the kept ones go out: behind them
  Succeed();
  Succeed();
  Succeed();
  EXPECT_THAT(Posted(), ElementsAre("a", "b", "c", "leave 7", "d"));
  Succeed();
  EXPECT_EQ(PluginLog().back(), Info(BufferLine(4, 0, 0, 1)));

  Chat("e");  // nothing waits any more: straight out
  EXPECT_THAT(Posted(), ElementsAre("a", "b", "c", "leave 7", "d", "e"));
  Succeed();
  EXPECT_EQ(PluginLog().back(), Info(BufferLine(4, 0, 0, 1)));
}

// Every failure that is not the line's own fault keeps it for after the reconnection; a refusal
// drops it.
TEST_F(OutageBuffer, FailureTextDecidesWhetherTheLineIsSentAgain) {
  struct Case {
    const char* failure;
    bool sent_again;
  };
  const Case cases[] = {
      {"Couldn't connect to server", true},
      {"Couldn't resolve host name", true},
      {"HTTP 503 Service Unavailable", true},
      {"HTTP 401 Unauthorized", true},
      {"HTTP 429 Too Many Requests", true},
      // A host that hangs instead of refusing: the line may not have got there.
      {"Timeout was reached", true},
      {"Failure when receiving data from the peer", true},
      {"Server returned nothing (no headers, no data)", true},
      {"HTTP 500 Internal Server Error", true},
      {"HTTP 502 Bad Gateway", true},
      {"HTTP 413 Payload Too Large", false},
      {"HTTP 400 Bad Request", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failure);
    ResetPluginState();
    OpenLogChannel("Palaverlink");
    Settings().OutageBufferLines = 3;
    const auto before = Posted().size();
    Chat(c.failure);
    Chat("next");
    Fail(c.failure);
    if (LinkState().bridgeDown) Reconnect();
    std::vector<std::string> expected;
    if (c.sent_again) expected.push_back(c.failure);
    if (c.sent_again) Succeed();
    expected.push_back("next");
    const auto posted = Posted();
    EXPECT_EQ(
        std::vector<std::string>(posted.begin() + static_cast<std::ptrdiff_t>(before) + 1, posted.end()),
        expected);
  }
}

// A line answered 503 while the one said after it waits is resent before it, with its own key.
TEST_F(OutageBuffer, ResentLineKeepsItsKeyAndItsPlace) {
  Chat("a");
  const std::string key = KeyOf(LastRequest());
  Chat("b");
  Fail("HTTP 503 Service Unavailable");
  Reconnect();
  Fail("Timeout was reached");  // may have arrived: again, under the same key
  Reconnect();
  Succeed();
  Succeed();
  const auto& requests = env().Requests();
  ASSERT_THAT(Posted(), ElementsAre("a", "a", "a", "b"));
  EXPECT_EQ(KeyOf(requests[requests.size() - 2]), key);
  EXPECT_NE(KeyOf(requests.back()), key);
  EXPECT_EQ(PluginLog().back(), Info(BufferLine(2, 0, 0, 0)));
}

// The after-reconnection line counts each fate apart; a line the bot keeps failing, or one the
// host will not start, is given up with a warning naming it, and the lines after it go on.
TEST_F(OutageBuffer, CountsEachFateAndGivesUpAPoisonLine) {
  Settings().OutageBufferLines = 10;
  Chat("poison");
  const std::string key = KeyOf(LastRequest());
  Chat("too long");
  Chat("fine");
  for (int attempt = 1; attempt < 3; ++attempt) {
    Fail("HTTP 500 Internal Server Error");
    Reconnect();
  }
  Fail("HTTP 500 Internal Server Error");
  EXPECT_EQ(PluginLog().back(), Warning("Palaverlink: outage buffer: gave up on POST /api/chat/inbound "
                                        "(Idempotency-Key " +
                                        key +
                                        ", last failure: HTTP 500 Internal Server Error). Dropped; "
                                        "the lines after it go on."));
  Reconnect();
  Fail("HTTP 413 Payload Too Large");
  Chat("unstartable");
  env().RefuseRequests(true);
  Succeed();  // fine; then the host will not start the next one
  env().RefuseRequests(false);
  EXPECT_THAT(Posted(), ElementsAre("poison", "poison", "poison", "too long", "fine"));
  EXPECT_EQ(PluginLog().back(), Info(BufferLine(1, 1, 2, 0, 10)));
}

TEST_F(OutageBuffer, LinesStillKeptAtUnloadAreCountedInOneWarning) {
  Chat("a");
  Fail();
  Chat("b");
  ReportUnsentAtUnload();
  EXPECT_EQ(
      PluginLog().back(),
      Warning("Palaverlink: outage buffer: unloading with 2 kept line(s) not delivered; they are lost."));
}

TEST_F(OutageBuffer, OffByDefaultDropsWhileDownAsBefore) {
  Settings().OutageBufferLines = 0;
  Chat("a");
  Fail();
  Chat("b");
  Reconnect();
  Chat("c");
  EXPECT_THAT(Posted(), ElementsAre("a", "c"));
}

}  // namespace
}  // namespace palaverlink::testing
