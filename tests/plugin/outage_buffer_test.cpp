// Chat lines and leave notices kept while the bot is away and sent after the reconnection: in
// order, each once, never one that may already have reached the bot.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "component_fixture.h"
#include "core/log_channel.h"
#include "link/link_state.h"
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

  void Chat(const std::string& text) { PostJson("/api/chat/inbound", {{"message", text}}); }
  void Leave(const std::string& id) { PostJson("/api/sessions/leave", {{"platformId", id}}); }
  void Sync() { PostJson("/api/sessions/sync", {{"players", nlohmann::json::array()}}); }

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

  std::string BufferLine(int sent, int dropped) {
    return "Palaverlink: outage buffer: sent " + std::to_string(sent) +
           " kept line(s) after the reconnection, dropped " + std::to_string(dropped) +
           " (OutageBufferLines 3).";
  }
};

TEST_F(OutageBuffer, KeptLinesGoOutAfterTheReconnectionOneAtATimeOldestFirst) {
  Chat("a");
  const auto a = LastRequest().id;
  Chat("b");
  // b fails first; a, made earlier, still goes before it.
  Fail();
  host().Complete(a, false, "Couldn't connect to server");
  ASSERT_TRUE(LinkState().bridgeDown);
  Chat("c");
  Leave("7");  // full: a goes
  Sync();      // not kept
  EXPECT_THAT(Posted(), ElementsAre("a", "b"));

  Reconnect();
  EXPECT_THAT(Posted(), ElementsAre("a", "b", "b"));
  Chat("d");  // said while the kept ones go out: behind them
  EXPECT_THAT(Posted(), ElementsAre("a", "b", "b"));
  Succeed();
  Succeed();
  Succeed();
  EXPECT_THAT(Posted(), ElementsAre("a", "b", "b", "c", "leave 7", "d"));
  Succeed();
  EXPECT_EQ(PluginLog().back(), Info(BufferLine(4, 1)));

  Chat("e");  // nothing kept any more: straight out
  EXPECT_THAT(Posted(), ElementsAre("a", "b", "b", "c", "leave 7", "d", "e"));
  Succeed();
  EXPECT_EQ(PluginLog().back(), Info(BufferLine(4, 1)));
}

// Only a request that surely never reached the bot is sent again.
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
      {"Timeout was reached", false},
      {"Failure when receiving data from the peer", false},
      {"Server returned nothing (no headers, no data)", false},
      {"HTTP 500 Internal Server Error", false},
      {"HTTP 502 Bad Gateway", false},
      {"HTTP 413 Payload Too Large", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failure);
    ResetPluginState();
    OpenLogChannel("Palaverlink");
    Settings().OutageBufferLines = 3;
    const auto before = Posted().size();
    Chat(c.failure);
    Fail(c.failure);
    if (LinkState().bridgeDown) Reconnect();
    Chat("next");
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

TEST_F(OutageBuffer, KeptLineThatFailsAgainStaysFirstAndOneThatMayHaveArrivedIsNotResent) {
  Chat("a");
  Fail();
  Chat("b");
  Chat("c");
  Reconnect();
  Fail("HTTP 503 Service Unavailable");  // a, again not taken: first once more
  ASSERT_TRUE(LinkState().bridgeDown);
  Reconnect();
  Succeed();                    // a
  Fail("Timeout was reached");  // b may have arrived: not again
  ASSERT_TRUE(LinkState().bridgeDown);
  EXPECT_THAT(Posted(), ElementsAre("a", "a", "a", "b"));
  Reconnect();
  Succeed();  // c
  EXPECT_THAT(Posted(), ElementsAre("a", "a", "a", "b", "c"));
  EXPECT_EQ(PluginLog().back(), Info(BufferLine(3, 0)));
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
