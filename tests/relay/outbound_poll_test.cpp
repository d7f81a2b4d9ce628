// The bot's messages in the game: the poll request, the cursor, the answers of every shape, the
// link going down, and at most one poll out at a time.
#include <chrono>
#include <string>
#include <vector>

#include "relay/relay_fixture.h"

namespace palaverlink::testing {
namespace {

using std::chrono::seconds;

constexpr char kOutbound[] = "/api/chat/outbound";

class OutboundPoll : public RelayFixture {
 protected:
  void LoadOnMap(const std::string& extra = "") {
    before_load_ = SystemNowMs();
    Load(R"({"MapId":"the-island")" + extra + "}");
    after_load_ = SystemNowMs();
    game().CreateWorld(u"TheIsland");
    game().Join(Player(kRex, u"Rex"));
  }

  // Runs poll ticks until a new poll goes out; returns it.
  devhost::HttpRequest NextPoll() {
    const auto sent = RequestsTo(kOutbound).size();
    for (int tick = 0; tick < 12 && RequestsTo(kOutbound).size() == sent; ++tick) Advance(seconds(3));
    const auto polls = RequestsTo(kOutbound);
    EXPECT_EQ(polls.size(), sent + 1) << "no poll went out";
    return polls.empty() ? devhost::HttpRequest{} : polls.back();
  }

  static std::int64_t SinceOf(const devhost::HttpRequest& poll) {
    const auto at = poll.url.rfind("&since=");
    return std::stoll(poll.url.substr(at + 7));
  }

  // Sends a poll, answers it with `answer`, and gives the cursor it was sent with.
  std::int64_t PollAndAnswer(const std::string& answer) {
    const auto poll = NextPoll();
    host().Complete(poll.id, true, answer);
    return SinceOf(poll);
  }

  std::vector<std::u16string> LinesShownToRex() {
    std::vector<std::u16string> lines;
    for (const auto& shown : ShownTo(kRex)) lines.push_back(shown.tag + u" " + shown.line);
    return lines;
  }

  std::int64_t before_load_ = 0;
  std::int64_t after_load_ = 0;
};

TEST_F(OutboundPoll, FirstPollAsksFromStartUpForThisMap) {
  LoadOnMap();
  const auto poll = NextPoll();

  EXPECT_EQ(poll.method, "GET");
  EXPECT_EQ(poll.url.rfind("http://127.0.0.1:8765/api/chat/outbound?mapId=the-island&since=", 0), 0u)
      << poll.url;
  EXPECT_GE(SinceOf(poll), before_load_);
  EXPECT_LE(SinceOf(poll), after_load_);
  EXPECT_TRUE(poll.headers.empty());
}

TEST_F(OutboundPoll, PollCarriesTheKeyAndTheMapIdPercentEncoded) {
  before_load_ = SystemNowMs();
  Load(R"({"MapId":"My Map&since=0#+%41","ApiKey":"s3cret","BridgeUrl":"http://127.0.0.1:9/bot//"})");
  const auto poll = NextPoll();

  EXPECT_EQ(poll.url.rfind(
                "http://127.0.0.1:9/bot/api/chat/outbound?mapId=My%20Map%26since%3D0%23%2B%2541&since=", 0),
            0u)
      << poll.url;
  EXPECT_EQ(poll.headers, std::vector<std::string>{"Authorization: Bearer s3cret"});
}

TEST_F(OutboundPoll, CursorMovesToTheGreatestCreatedAtAndNeverBack) {
  LoadOnMap();
  const std::int64_t start = PollAndAnswer(R"({"messages":[]})");
  const std::string c = std::to_string(start);
  auto at = [&](int offset) { return std::to_string(start + offset); };

  EXPECT_EQ(PollAndAnswer(R"({"messages":[{"createdAt":)" + at(100) + R"(,"message":"first"},)" +
                          R"({"createdAt":)" + at(300) + R"(,"message":"second"},)" + R"({"createdAt":)" +
                          at(200) + R"(,"message":"third"}]})"),
            start);
  EXPECT_EQ(PollAndAnswer(R"({"messages":[{"message":"no time"},{"createdAt":)" + at(-5000) +
                          R"(,"message":"old"}],"other":1})"),
            start + 300);
  EXPECT_EQ(PollAndAnswer(R"({"messages":[{"createdAt":)" + at(400) + R"(.75,"message":"fraction"}]})"),
            start + 300);
  EXPECT_EQ(SinceOf(NextPoll()), start + 400);

  EXPECT_EQ(LinesShownToRex(),
            (std::vector<std::u16string>{u"[Gabblen] first", u"[Gabblen] second", u"[Gabblen] third",
                                         u"[Gabblen] no time", u"[Gabblen] old", u"[Gabblen] fraction"}));
}

TEST_F(OutboundPoll, TagAndLineFollowKindSourceMapAndAuthor) {
  LoadOnMap();
  struct Shown {
    const char* element;
    std::u16string tag, line;
  };
  const std::vector<Shown> table = {
      {R"({"author":"Ann","message":"hi","kind":"gabblen"})", u"[Gabblen]", u"Ann: hi"},
      {R"({"author":"Ann","message":"no kind"})", u"[Gabblen]", u"Ann: no kind"},
      {R"({"author":"","message":"no author"})", u"[Gabblen]", u"no author"},
      {R"({"message":"absent author"})", u"[Gabblen]", u"absent author"},
      {R"({"author":"Bo","message":"hi","kind":"map","sourceMapName":"Ragnarok"})", u"<Ragnarok>", u"Bo: hi"},
      {R"({"author":"Bo","message":"capital","kind":"Gabblen","sourceMapName":"The Center"})",
       u"<The Center>", u"Bo: capital"},
      {R"({"author":"Bo","message":"no source","kind":"Gabblen"})", u"<Map>", u"Bo: no source"},
      {R"({"message":"x","kind":"gabblen","sourceMapName":"Ignored"})", u"[Gabblen]", u"x"},
      {R"({"author":" A ","message":" spaced "})", u"[Gabblen]", u" A :  spaced "},
      {R"({"author":"Ann"})", u"[Gabblen]", u"Ann: "},
      {R"({"extra":true})", u"[Gabblen]", u""},
  };
  std::string answer = R"({"messages":[)";
  for (std::size_t i = 0; i < table.size(); ++i) answer += (i ? "," : "") + std::string(table[i].element);
  PollAndAnswer(answer + "]}");

  const auto shown = ShownTo(kRex);
  ASSERT_EQ(shown.size(), table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    SCOPED_TRACE(table[i].element);
    EXPECT_EQ(shown[i].tag, table[i].tag);
    EXPECT_EQ(shown[i].line, table[i].line);
  }
}

TEST_F(OutboundPoll, AnswersOfTheWrongShapeGiveOneWarningEachAndKeepTheCursor) {
  LoadOnMap();
  const std::string long_page = "<html>" + std::string(300, 'x') + "</html>";
  struct Answer {
    std::string text;
    std::string warning;
  };
  const std::vector<Answer> table = {
      {"{}", "Palaverlink: outbound response missing 'messages': {}"},
      {"[]", "Palaverlink: outbound response missing 'messages': []"},
      {R"({"messages": null})", R"(Palaverlink: outbound response missing 'messages': {"messages": null})"},
      {R"({"messages": {}})", R"(Palaverlink: outbound response missing 'messages': {"messages": {}})"},
      {R"("messages")", R"(Palaverlink: outbound response missing 'messages': "messages")"},
      {long_page, "Palaverlink: could not parse outbound response: " + long_page.substr(0, 200)},
      {"", "Palaverlink: could not parse outbound response: "},
      {R"({"messages":[]} trailing)",
       R"(Palaverlink: could not parse outbound response: {"messages":[]} trailing)"},
      {R"({"messages":[]} // note)",
       R"(Palaverlink: could not parse outbound response: {"messages":[]} // note)"},
  };
  const std::int64_t start = PollAndAnswer(R"({"messages":[]})");
  for (const auto& answer : table) {
    SCOPED_TRACE(answer.text);
    EXPECT_EQ(PollAndAnswer(answer.text), start);
  }
  EXPECT_EQ(SinceOf(NextPoll()), start);

  std::vector<std::string> expected;
  for (const auto& answer : table) expected.push_back("[warning] " + answer.warning);
  EXPECT_EQ(LinesAfterLoad(), expected);
  EXPECT_TRUE(game().Shown().empty());
}

TEST_F(OutboundPoll, MalformedElementsAreSkippedWithOneWarningAndTheRestStillShown) {
  LoadOnMap();
  const std::int64_t start = PollAndAnswer(R"({"messages":[]})");
  auto at = [&](int offset) { return std::to_string(start + offset); };
  const std::string answer =
      R"({"messages":[{"createdAt":)" + at(10) + R"(,"message":"one"},5,"text",null,)" + R"({"createdAt":)" +
      at(20) + R"(,"author":7,"message":"bad author"},)" +
      R"({"createdAt":"soon","message":"bad time"},{"createdAt":null},{"createdAt":true,"message":"bool"},)" +
      R"({"createdAt":)" + at(30) + R"(,"message":"bad source","kind":"map","sourceMapName":null},)" +
      R"({"createdAt":1e300,"message":"huge"},{"createdAt":99999999999999999999,"message":"huger"},)" +
      R"({"createdAt":)" + at(40) + R"(,"message":"two","kind":"gabblen","sourceMapName":9},)" +
      R"({"message":["list"]},{"kind":{}},)" + R"({"createdAt":)" + at(35) + R"(,"message":"three"}]})";

  EXPECT_EQ(PollAndAnswer(answer), start);
  EXPECT_EQ(SinceOf(NextPoll()), start + 40);

  EXPECT_EQ(LinesShownToRex(),
            (std::vector<std::u16string>{u"[Gabblen] one", u"[Gabblen] two", u"[Gabblen] three"}));
  EXPECT_EQ(LinesAfterLoad(),
            std::vector<std::string>{"[warning] Palaverlink: outbound response had 12 malformed message(s), "
                                     "skipped: " +
                                     answer.substr(0, 200)});
}

TEST_F(OutboundPoll, DebugLinesComeBeforeTheMessagesTheyDescribe) {
  LoadOnMap(R"(,"Debug":true)");
  PollAndAnswer(R"({"messages":[]})");
  PollAndAnswer(R"({"messages":[{"author":"Ann","message":"hi"},)"
                R"({"author":"Bo","message":"yo","kind":"map","sourceMapName":"Ragnarok"},)"
                R"({"author":"Eve\r","message":"x\n01/01/26 00:00 [Palaverlink][warning] forged\u0007"}]})");

  // A line break from the bot stays inside its log line, escaped; the players see the text as sent.
  EXPECT_EQ(
      LinesAfterLoad(),
      (std::vector<std::string>{
          "[info] Palaverlink: outbound delivered 3 message(s)",
          "[info] Palaverlink: outbound gabblen author='Ann' text='hi'",
          "[info] Palaverlink: outbound map author='Bo' text='yo'",
          R"([info] Palaverlink: outbound gabblen author='Eve\r' text='x\n01/01/26 00:00 [Palaverlink][warning] forged\x07')",
      }));
  EXPECT_EQ(LinesShownToRex(),
            (std::vector<std::u16string>{
                u"[Gabblen] Ann: hi", u"<Ragnarok> Bo: yo",
                u"[Gabblen] Eve\r: x\n01/01/26 00:00 [Palaverlink][warning] forged\u0007"}));
}

TEST_F(OutboundPoll, FailedPollTakesTheLinkDownUntilTheProbeSucceeds) {
  LoadOnMap();
  const auto first = NextPoll();
  host().Complete(first.id, false, "HTTP 500 Internal Server Error");

  EXPECT_EQ(
      LinesAfterLoad(),
      std::vector<std::string>{"[warning] Palaverlink lost connection (GET /api/chat/outbound failed: HTTP "
                               "500 Internal Server Error). Going silent - will retry every 30s."});
  // Silence on every tick until the health probe answers.
  Advance(seconds(30));
  EXPECT_EQ(RequestsTo(kOutbound).size(), 1u);
  const auto probes = RequestsTo("/health");
  ASSERT_FALSE(probes.empty());
  host().Complete(probes.back().id, true, "ok");

  const auto resumed = NextPoll();
  EXPECT_EQ(SinceOf(resumed), SinceOf(first));
  EXPECT_EQ(LinesAfterLoad().back(), "[info] Palaverlink reconnected to bot.");
}

TEST_F(OutboundPoll, RejectedKeyIsNamedWithThePathWithoutQuery) {
  LoadOnMap();
  host().Complete(NextPoll().id, false, "HTTP 401 Unauthorized");

  const auto lines = LinesAfterLoad();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind(
                "[warning] Palaverlink: the bot rejected our API key (401) on GET /api/chat/outbound. ", 0),
            0u)
      << lines[0];
}

TEST_F(OutboundPoll, NoPollBeforeTheMapIsKnown) {
  Load("{}");
  Advance(seconds(9));
  EXPECT_TRUE(RequestsTo(kOutbound).empty());

  game().CreateWorld(u"Ragnarok_P");
  const auto poll = NextPoll();
  EXPECT_NE(poll.url.find("?mapId=ragnarok&since="), std::string::npos) << poll.url;
}

TEST_F(OutboundPoll, SlowBotGetsNoSecondPollAndNothingIsShownTwice) {
  LoadOnMap();
  const std::int64_t start = PollAndAnswer(R"({"messages":[]})");
  const auto slow = NextPoll();
  Advance(seconds(9));
  EXPECT_EQ(RequestsTo(kOutbound).size(), 2u);

  host().Complete(slow.id, true,
                  R"({"messages":[{"createdAt":)" + std::to_string(start + 1) + R"(,"message":"once"}]})");
  const auto next = NextPoll();
  EXPECT_EQ(SinceOf(next), start + 1);
  EXPECT_EQ(LinesShownToRex(), std::vector<std::u16string>{u"[Gabblen] once"});
}

TEST_F(OutboundPoll, PollOutstandingLongerThanThirtySecondsCountsAsLost) {
  LoadOnMap();
  const auto lost = NextPoll();
  Advance(seconds(30));
  EXPECT_EQ(RequestsTo(kOutbound).size(), 1u);
  Advance(seconds(3));
  const auto polls = RequestsTo(kOutbound);
  ASSERT_EQ(polls.size(), 2u);
  EXPECT_EQ(SinceOf(polls[1]), SinceOf(lost));

  // The lost poll's late answer is not used; the new one's is.
  host().Complete(lost.id, true, R"({"messages":[{"message":"late"}]})");
  host().Complete(polls[1].id, true, R"({"messages":[{"message":"fresh"}]})");
  EXPECT_EQ(LinesShownToRex(), std::vector<std::u16string>{u"[Gabblen] fresh"});
  EXPECT_TRUE(LinesAfterLoad().empty());
  NextPoll();
}

TEST_F(OutboundPoll, PollTheHostRefusedToStartIsNotWaitedFor) {
  LoadOnMap();
  env().RefuseRequests(true);
  Advance(seconds(3));
  EXPECT_TRUE(RequestsTo(kOutbound).empty());
  env().RefuseRequests(false);
  Advance(seconds(3));
  EXPECT_EQ(RequestsTo(kOutbound).size(), 1u);
  EXPECT_TRUE(LinesAfterLoad().empty());
}

TEST_F(OutboundPoll, RefusedPollWarnsOncePerRunAndPollingGoesOn) {
  LoadOnMap();
  host().Complete(NextPoll().id, false, "HTTP 404 Not Found");
  host().Complete(NextPoll().id, false, "HTTP 404 Not Found");
  host().Complete(NextPoll().id, true, R"({"messages":[{"message":"back"}]})");
  host().Complete(NextPoll().id, false, "HTTP 400 Bad Request");
  NextPoll();

  EXPECT_EQ(
      LinesAfterLoad(),
      (std::vector<std::string>{
          "[warning] Palaverlink: the bot refused GET /api/chat/outbound (HTTP 404 Not Found). Dropped; the "
          "link stays up.",
          "[warning] Palaverlink: the bot refused GET /api/chat/outbound (HTTP 400 Bad Request). Dropped; "
          "the link stays up."}));
  EXPECT_EQ(LinesShownToRex(), std::vector<std::u16string>{u"[Gabblen] back"});
}

TEST_F(OutboundPoll, DigitsOf401InsideAnotherNumberAreALostLinkNotARejectedKey) {
  LoadOnMap();
  host().Complete(NextPoll().id, false, "Failed to connect to 127.0.0.1 port 14015");
  EXPECT_EQ(LinesAfterLoad(),
            std::vector<std::string>{"[warning] Palaverlink lost connection (GET "
                                     "/api/chat/outbound failed: Failed to connect to 127.0.0.1 "
                                     "port 14015). Going silent - will retry every 30s."});
}

TEST_F(OutboundPoll, LastingFaultInEachTimerWritesOneWarning) {
  // No configured id: every poll and every sync asks the game for the map name, which keeps failing.
  Load(R"({"SyncIntervalSeconds":10})");
  game().CreateWorld(u"TheIsland");
  game().ThrowFrom("UWorld.GetMapName", 1000);
  Advance(seconds(300));

  EXPECT_EQ(
      LinesAfterLoad(),
      (std::vector<std::string>{
          "[warning] Palaverlink: outbound poll failed unexpectedly: simulated failure in UWorld.GetMapName",
          "[warning] Palaverlink: session sync failed unexpectedly: simulated failure in "
          "UWorld.GetMapName"}));
  EXPECT_EQ(env().Requests().size(), RequestsTo("/health").size());
}

TEST_F(OutboundPoll, LastingFaultInTheCompletionWritesOneWarningPerRun) {
  LoadOnMap();
  const std::string one_message = R"({"messages":[{"message":"hi"}]})";
  game().ThrowFrom("FWeakObjectPtr.Get", 3);
  for (int answer = 0; answer < 4; ++answer) PollAndAnswer(one_message);
  game().ThrowFrom("FWeakObjectPtr.Get", 1);
  PollAndAnswer(one_message);

  const std::string warning =
      "[warning] Palaverlink: GET /api/chat/outbound completion failed unexpectedly: simulated failure in "
      "FWeakObjectPtr.Get";
  EXPECT_EQ(LinesAfterLoad(), (std::vector<std::string>{warning, warning}));
  EXPECT_EQ(LinesShownToRex(), std::vector<std::u16string>{u"[Gabblen] hi"});
}

}  // namespace
}  // namespace palaverlink::testing
