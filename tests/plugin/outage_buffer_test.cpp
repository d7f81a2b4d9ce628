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
#include "link/outage_buffer.h"
#include "link/post_json.h"
#include "plugin_reset.h"

namespace palaverlink::testing {
namespace {

using ::testing::ElementsAre;

class OutageBuffer : public ComponentFixture {
 protected:
  void SetUp() override {
    ComponentFixture::SetUp();
    ApplyConfig({{"OutageBufferLines", 3}});
  }

  void Chat(const std::string& text) {
    PostJson(endpoints::kChatInbound, {{"message", text}}, IfUndelivered::kResend);
  }
  void Leave(const std::string& id) {
    PostJson(endpoints::kSessionsLeave, {{"platformId", id}}, IfUndelivered::kResend);
  }
  // A player list of `players` players.
  void Sync(int players = 0) {
    PostJson(endpoints::kSessionsSync, {{"players", nlohmann::json::array()}, {"count", players}},
             IfUndelivered::kDrop);
  }

  void Fail(const std::string& text = "Couldn't connect to server") {
    host().Complete(LastRequest().id, false, text);
  }
  void Succeed() { host().Complete(LastRequest().id, true, "{}"); }
  void Reconnect() {
    SendHealthProbe();
    host().Complete(LastRequest().id, true, "ok");
    ASSERT_FALSE(LinkIsDown());
  }

  // What each POST carried (the message or the platform id), in the order they went out.
  std::vector<std::string> Posted() {
    std::vector<std::string> posted;
    for (const auto& request : env().Requests()) {
      if (request.method != "POST") continue;
      const auto body = nlohmann::json::parse(request.body);
      posted.push_back(body.contains("message")      ? body["message"].get<std::string>()
                       : body.contains("platformId") ? "leave " + body["platformId"].get<std::string>()
                                                     : "sync " + std::to_string(body["count"].get<int>()));
    }
    return posted;
  }

  static std::string BufferLine(int delivered, int refused, int given_up, int dropped, int limit = 3) {
    return "Palaverlink: outage buffer: caught up - " + std::to_string(delivered) + " line(s) delivered, " +
           std::to_string(refused) + " refused, " + std::to_string(given_up) + " given up, " +
           std::to_string(dropped) + " dropped while full since it last stood empty (OutageBufferLines " +
           std::to_string(limit) + ").";
  }

  static std::string LostConnection(const std::string& failure) {
    return "Palaverlink lost connection (POST /api/chat/inbound failed: " + failure +
           "). Going silent - will retry every 30s.";
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
  ASSERT_TRUE(LinkIsDown());
  Chat("c");
  Leave("7");  // full: the oldest, a, goes
  Sync();      // kept in order, not counted as a line
  EXPECT_THAT(Posted(), ElementsAre("a"));

  Reconnect();
  EXPECT_THAT(Posted(), ElementsAre("a", "b"));
  Chat("d");  // said while the kept ones go out: behind them
  Succeed();
  Succeed();
  Succeed();
  Succeed();
  EXPECT_THAT(Posted(), ElementsAre("a", "b", "c", "leave 7", "sync 0", "d"));
  Succeed();
  EXPECT_EQ(PluginLog().back(), Info(BufferLine(4, 0, 0, 1)));

  Chat("e");  // nothing waits any more: straight out
  EXPECT_THAT(Posted(), ElementsAre("a", "b", "c", "leave 7", "sync 0", "d", "e"));
  Succeed();
  EXPECT_EQ(PluginLog().back(), Info(BufferLine(4, 0, 0, 1)));
}

// Every failure that is not the line's own fault keeps it for after the reconnection; one that the
// bot surely did not take (no connection, 401, 429, 503) is sent until it goes through, one it may
// have taken three times at most; a refusal drops it.
TEST_F(OutageBuffer, FailureTextDecidesWhetherTheLineIsSentAgain) {
  enum class Fate { kUntilTaken, kThreeTimes, kDropped };
  struct Case {
    const char* failure;
    Fate fate;
  };
  const Case cases[] = {
      {"Couldn't connect to server", Fate::kUntilTaken},
      {"Couldn't resolve host name", Fate::kUntilTaken},
      {"HTTP 503 Service Unavailable", Fate::kUntilTaken},
      {"HTTP 401 Unauthorized", Fate::kUntilTaken},
      {"HTTP 429 Too Many Requests", Fate::kUntilTaken},
      // A host that hangs instead of refusing: the line may have got there.
      {"Timeout was reached", Fate::kThreeTimes},
      {"Failure when receiving data from the peer", Fate::kThreeTimes},
      {"Server returned nothing (no headers, no data)", Fate::kThreeTimes},
      {"HTTP 500 Internal Server Error", Fate::kThreeTimes},
      {"HTTP 502 Bad Gateway", Fate::kThreeTimes},
      {"HTTP 413 Payload Too Large", Fate::kDropped},
      {"HTTP 400 Bad Request", Fate::kDropped},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failure);
    ResetPluginState();
    OpenLogChannel("Palaverlink");
    ApplyConfig({{"OutageBufferLines", 3}});
    const auto before = Posted().size();
    Chat(c.failure);
    Chat("next");
    for (int attempt = 0; attempt < 3 && Posted().back() == c.failure; ++attempt) {
      Fail(c.failure);
      if (LinkIsDown()) Reconnect();
    }
    for (int answer = 0; answer < 3 && !env().Pending().empty(); ++answer) Succeed();
    const int attempts = c.fate == Fate::kUntilTaken ? 4 : c.fate == Fate::kThreeTimes ? 3 : 1;
    std::vector<std::string> expected(static_cast<std::size_t>(attempts), c.failure);
    expected.push_back("next");
    const auto posted = Posted();
    EXPECT_EQ(std::vector<std::string>(posted.begin() + static_cast<std::ptrdiff_t>(before), posted.end()),
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
  ApplyConfig({{"OutageBufferLines", 10}});
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

// A bot slower than the chat, the link up: the first line dropped is said at once (then at most
// once a minute), and the line once all are sent counts every line the bot received, those that
// went before the first drop too.
TEST_F(OutageBuffer, FullWithTheLinkUpWarnsAtOnceAndCountsWhatTheBotReceived) {
  Chat("a");
  Chat("b");
  Succeed();  // a, before anything went wrong
  for (const char* text : {"c", "d", "e"}) Chat(text);
  EXPECT_THAT(PluginLog(), ::testing::IsEmpty());
  Chat("f");  // b on its way, c d e f waiting: c goes
  const PluginLine full = Warning(
      "Palaverlink: outage buffer full with the link up: dropped 1 waiting line(s), oldest first, since the "
      "last such warning (OutageBufferLines 3, at most 4096 KiB of lines): the bot takes lines more slowly "
      "than they are said.");
  EXPECT_THAT(PluginLog(), ElementsAre(full));
  Chat("g");  // d goes, within the minute: counted, not written
  for (int answer = 0; answer < 5; ++answer) Succeed();
  EXPECT_THAT(Posted(), ElementsAre("a", "b", "e", "f", "g"));
  EXPECT_THAT(PluginLog(), ElementsAre(full, Info(BufferLine(5, 0, 0, 2))));
}

// The line counts what happened since the outbox last stood empty: neither the lines of a quiet
// time before nor those of an earlier outage.
TEST_F(OutageBuffer, EachOutageIsCountedOnItsOwn) {
  Chat("quiet");
  Succeed();
  for (const char* text : {"first outage", "second outage"}) {
    Chat(text);
    Fail();
    Reconnect();
    Succeed();
    EXPECT_EQ(PluginLog().back(), Info(BufferLine(1, 0, 0, 0))) << text;
  }
}

// The oldest line waiting longer than the bound with the link up is said at once; the wait of a
// line kept through an outage counts from the reconnection.
TEST_F(OutageBuffer, ALineWaitingPastTheBoundWithTheLinkUpIsSaidAtOnce) {
  Chat("kept");
  Fail();
  BackdateOldestWait(kLongestWaitMs + 1000);
  Reconnect();
  Chat("after the outage");
  EXPECT_EQ(PluginLog().back(), Info("Palaverlink reconnected to bot."));

  BackdateOldestWait(kLongestWaitMs + 1000);
  Chat("behind a slow one");
  EXPECT_EQ(PluginLog().back(),
            Warning("Palaverlink: outage buffer: 1 line(s) waited more than 30s for the bot with the link up "
                    "since the last such warning (the oldest 31s, 3 line(s) waiting): the bot takes lines "
                    "more slowly than they are said."));
  const std::size_t lines = PluginLog().size();
  Chat("again");  // the same line: not counted twice
  Succeed();
  BackdateOldestWait(kLongestWaitMs + 1000);
  Chat("within the minute");  // counted, not written
  EXPECT_EQ(PluginLog().size(), lines);
}

// The bodies held are bounded too: the oldest waiting lines go first, counted.
TEST_F(OutageBuffer, TheBytesHeldAreBoundedOldestFirst) {
  ApplyConfig({{"OutageBufferLines", 10000}});
  const std::string long_text(900 * 1024, 'x');
  Chat("a" + long_text);
  Fail();
  for (const char* first : {"b", "c", "d", "e"}) Chat(first + long_text);  // a goes
  Reconnect();
  for (int answer = 0; answer < 4; ++answer) Succeed();
  std::vector<std::string> firsts;
  for (const std::string& text : Posted()) firsts.push_back(text.substr(0, 1));
  EXPECT_THAT(firsts, ElementsAre("a", "b", "c", "d", "e"));
  EXPECT_EQ(PluginLog().back(), Info(BufferLine(4, 0, 0, 1, 10000)));
}

// The host refusing to start requests gives every kept line up in one pass, with one warning.
TEST_F(OutageBuffer, LinesTheHostWillNotStartAreGivenUpInOneWarning) {
  Chat("a");
  const std::string key = KeyOf(LastRequest());
  Fail();
  Chat("b");
  Chat("c");
  SendHealthProbe();
  env().RefuseRequests(true);
  host().Complete(LastRequest().id, true, "ok");
  env().RefuseRequests(false);
  EXPECT_THAT(PluginLog(),
              ElementsAre(Warning(LostConnection("Couldn't connect to server")),
                          Info("Palaverlink reconnected to bot."),
                          Warning("Palaverlink: outage buffer: gave up on 3 kept line(s) at once, the first "
                                  "with Idempotency-Key " +
                                  key +
                                  " (could not start the request). Dropped; the lines said "
                                  "after them go on."),
                          Info(BufferLine(0, 0, 3, 0))));
}

// The answer to a line sent before the outbox was reset is not the answer to the line first now.
TEST_F(OutageBuffer, AnAnswerFromBeforeAResetIsNotTakenForTheFirstLine) {
  Chat("before");
  const auto stale = LastRequest().id;
  ResetOutageBuffer();
  Chat("after");
  host().Complete(stale, true, "{}");
  Chat("behind");
  EXPECT_THAT(Posted(), ElementsAre("before", "after"));
  Succeed();
  EXPECT_THAT(Posted(), ElementsAre("before", "after", "behind"));
}

// Player lists take their place in the order: never one older than a leave notice the bot gets
// after it. A newer one replaces one still waiting, and one that failed is not sent again.
TEST_F(OutageBuffer, PlayerListsGoInOrderAndOnlyTheNewestWaits) {
  Leave("1");
  Sync(1);  // waits behind the leave notice
  Leave("2");
  Sync(2);  // replaces the list of one, behind the second leave notice
  for (int answer = 0; answer < 3; ++answer) Succeed();
  EXPECT_THAT(Posted(), ElementsAre("leave 1", "leave 2", "sync 2"));

  Sync(3);
  Leave("3");
  Fail("HTTP 500 Internal Server Error");  // the list
  Reconnect();
  Succeed();
  EXPECT_THAT(Posted(), ElementsAre("leave 1", "leave 2", "sync 2", "sync 3", "leave 3"));
  EXPECT_EQ(PluginLog().back(), Info(BufferLine(1, 0, 0, 0)));
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
  ApplyConfig({{"OutageBufferLines", 0}});
  Chat("a");
  Fail();
  Chat("b");
  Reconnect();
  Chat("c");
  EXPECT_THAT(Posted(), ElementsAre("a", "c"));
}

}  // namespace
}  // namespace palaverlink::testing
