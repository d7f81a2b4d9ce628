// The bot's messages in the game: the poll request, the cursor, the answers of every shape, the
// link going down, and at most one poll out at a time.
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "chat/answer_walk.h"
#include "chat/outbound_batch.h"
#include "chat/outbound_message.h"
#include "chat/poll_pace.h"
#include "devhost/text.h"
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

  // The polls still waiting for an answer, oldest first.
  std::vector<devhost::HttpRequest> PendingPolls() {
    std::vector<devhost::HttpRequest> polls;
    for (const auto& request : env().Pending()) {
      if (request.url.find(kOutbound) != std::string::npos) polls.push_back(request);
    }
    return polls;
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

  // Answers polls as a bot whose store holds `backlog` (message i at time backlog[i]) until a
  // completion brings no poll at once; gives the number of messages each completion showed Rex.
  std::vector<std::size_t> DrainBacklog(const std::vector<std::int64_t>& backlog) {
    auto poll = NextPoll();
    std::vector<std::size_t> shown_per_completion;
    for (int round = 0; round < 20; ++round) {
      std::string answer = R"({"messages":[)";
      bool first = true;
      for (std::size_t i = 0; i < backlog.size(); ++i) {
        if (backlog[i] <= SinceOf(poll)) continue;
        answer += (first ? "" : ",") + std::string(R"({"createdAt":)") + std::to_string(backlog[i]) +
                  R"(,"message":"m)" + std::to_string(i) + R"("})";
        first = false;
      }
      const auto before = ShownTo(kRex).size();
      const auto polls_before = RequestsTo(kOutbound).size();
      host().Complete(poll.id, true, answer + "]}");
      shown_per_completion.push_back(ShownTo(kRex).size() - before);
      if (RequestsTo(kOutbound).size() == polls_before) break;  // nothing left: no poll at once
      poll = RequestsTo(kOutbound).back();
    }
    return shown_per_completion;
  }

  // The lines of DrainBacklog's messages, in order.
  static std::vector<std::u16string> BacklogLines(std::size_t count) {
    std::vector<std::u16string> lines;
    for (std::size_t i = 0; i < count; ++i)
      lines.push_back(u"[Gabblen] m" + devhost::ToUtf16(std::to_string(i)));
    return lines;
  }

  std::vector<std::u16string> LinesShownToRex() {
    std::vector<std::u16string> lines;
    for (const auto& shown : ShownTo(kRex)) lines.push_back(shown.tag + u" " + shown.line);
    return lines;
  }

  // The plug-in's lines after the first `mark` of them.
  std::vector<std::string> LinesAfter(std::size_t mark) {
    const auto lines = LinesAfterLoad();
    return {lines.begin() + static_cast<std::ptrdiff_t>(std::min(mark, lines.size())), lines.end()};
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

  // "old" lies before the cursor: not shown (a warning names it; see the test of a bot that ignores since).
  EXPECT_EQ(LinesShownToRex(),
            (std::vector<std::u16string>{u"[Gabblen] first", u"[Gabblen] second", u"[Gabblen] third",
                                         u"[Gabblen] no time", u"[Gabblen] fraction"}));
}

TEST_F(OutboundPoll, TagAndLineFollowKindSourceMapAndAuthor) {
  LoadOnMap();
  struct Shown {
    std::string element;
    std::u16string tag, line;
  };
  // Past the bounds a text is cut at a character boundary and ends in "…".
  const std::string long_name = std::string(98, 'n') + "\xC3\xA9";             // 100 bytes: kept
  const std::string longer_line = std::string(996, 'a') + "\xC3\xA9" + "bcd";  // 1001 bytes: cut before "é"
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
      {R"({"message":"x","kind":"map","sourceMapName":")" + long_name + R"("})",
       u"<" + std::u16string(98, u'n') + u"\u00E9>", u"x"},
      {R"({"message":"x","kind":"map","sourceMapName":")" + long_name + R"(z"})",
       u"<" + std::u16string(97, u'n') + u"\u2026>", u"x"},
      {R"({"author":"A","message":")" + std::string(997, 'm') + R"("})", u"[Gabblen]",
       u"A: " + std::u16string(997, u'm')},
      {R"({"message":")" + longer_line + R"("})", u"[Gabblen]", std::u16string(996, u'a') + u"\u2026"},
      // A long author is cut first: the message keeps its room.
      {R"({"author":")" + std::string(3000, 'A') + R"(","message":"keep me"})", u"[Gabblen]",
       std::u16string(97, u'A') + u"\u2026: keep me"},
      // Text that is not UTF-8 costs its characters: a JavaScript bot's half emoji, a Latin-1 byte.
      {R"({"author":"Ann","message":"Nice catch \ud83d"})", u"[Gabblen]", u"Ann: Nice catch \uFFFD"},
      {R"({"message":"\ude00\ud83d\u0041 \ud83d\ude00"})", u"[Gabblen]", u"\uFFFD\uFFFDA \xD83D\xDE00"},
      {"{\"author\":\"Jos\xE9\",\"message\":\"caf\xE9 \xC3\",\"kind\":\"map\",\"sourceMapName\":\"\xFF\"}",
       u"<\uFFFD>", u"Jos\uFFFD: caf\uFFFD \uFFFD"},
      // One line, as its sender wrote it: line breaks and tabs become blanks, other controls go.
      {R"({"author":"Bo","message":"hi\n[Gabblen] Admin: server wipes tonight"})", u"[Gabblen]",
       u"Bo: hi [Gabblen] Admin: server wipes tonight"},
      {R"({"message":"a\r\nb\tc\u000bd\u000ce\u0085f\u2028g\u2029h"})", u"[Gabblen]", u"a  b c d e f g h"},
      {R"({"author":"\u202eEve\u2066","message":"\u202a\u202b\u202c\u202dexe.txt\u2067\u2068\u2069\u0000\u001b[2J\u007f\u009b"})",
       u"[Gabblen]", u"Eve: exe.txt[2J"},
      {R"({"message":"x","kind":"map","sourceMapName":"The\nIsland\u202e"})", u"<The Island>", u"x"},
  };
  // Elements without createdAt: at most kUnorderedPerCompletion in one answer.
  for (std::size_t first = 0; first < table.size(); first += kUnorderedPerCompletion) {
    std::string answer = R"({"messages":[)";
    for (std::size_t i = first; i < std::min(table.size(), first + kUnorderedPerCompletion); ++i)
      answer += (i > first ? "," : "") + table[i].element;
    PollAndAnswer(answer + "]}");
  }

  const auto shown = ShownTo(kRex);
  ASSERT_EQ(shown.size(), table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    SCOPED_TRACE(table[i].element);
    EXPECT_EQ(shown[i].tag, table[i].tag);
    EXPECT_EQ(shown[i].line, table[i].line);
  }
}

TEST_F(OutboundPoll, AnswersOfTheWrongShapeWarnAndKeepTheCursor) {
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
    PollAndAnswer(R"({"messages":[]})");  // ends the run: the next fault warns again
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
      R"({"createdAt":)" + at(45) + R"(,"message":["list"]},{"createdAt":)" + at(46) + R"(,"kind":{}},)" +
      R"({"createdAt":)" + at(35) + R"(,"message":"three"}]})";

  EXPECT_EQ(PollAndAnswer(answer), start);
  EXPECT_EQ(SinceOf(NextPoll()), start + 46);

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
  const std::string answer =
      R"({"messages":[{"author":"Ann","message":"hi"},)"
      R"({"author":"Bo","message":"yo","kind":"map","sourceMapName":"Ragnarok"},)"
      R"({"author":"Eve\r","message":"x\n01/01/26 00:00 [Palaverlink][warning] forged\u0007"}]})";
  PollAndAnswer(answer);

  // A line break from the bot stays inside its log line, escaped; the players see one line.
  const std::string answer_start = answer.substr(0, kAnswerExcerptBytes);
  // (The first player list went as soon as the map was known.)
  EXPECT_EQ(
      LinesAfterLoad(),
      (std::vector<std::string>{
          "[info] Palaverlink: session sync - 1 player(s) on 'the-island'",
          "[info] Palaverlink: outbound delivered 3 message(s)",
          "[info] Palaverlink: outbound gabblen author='Ann' text='hi'",
          "[info] Palaverlink: outbound map author='Bo' text='yo'",
          R"([info] Palaverlink: outbound gabblen author='Eve\r' text='x\n01/01/26 00:00 [Palaverlink][warning] forged\x07')",
          "[warning] Palaverlink: outbound response had 1 message(s) with line breaks or other control "
          "characters, replaced before showing: " +
              answer_start,
          "[warning] Palaverlink: outbound response had 3 message(s) without a createdAt, shown once each "
          "(the "
          "last 2048 are remembered); every message should carry one: " +
              answer_start,
      }));
  EXPECT_EQ(LinesShownToRex(),
            (std::vector<std::u16string>{u"[Gabblen] Ann: hi", u"<Ragnarok> Bo: yo",
                                         u"[Gabblen] Eve : x 01/01/26 00:00 [Palaverlink][warning] forged"}));
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

TEST_F(OutboundPoll, BacklogComesInBoundedCompletionsEachFollowedAtOnceByTheNextPoll) {
  LoadOnMap();
  const std::int64_t start = PollAndAnswer(R"({"messages":[]})");
  // Single times up to just before the cut, a run of 5 equal ones across it, then more.
  constexpr int kBatch = static_cast<int>(kShownPerCompletion);
  static_assert(kBatch >= 6);
  std::vector<std::int64_t> backlog;
  for (int i = 1; i < kBatch; ++i) backlog.push_back(start + i);
  for (int i = 0; i < 5; ++i) backlog.push_back(start + kBatch);
  for (int i = 1; i <= kBatch + 1; ++i) backlog.push_back(start + kBatch + i);

  // The first cut moves before the run; the run then goes whole with the next batch.
  EXPECT_EQ(DrainBacklog(backlog),
            (std::vector<std::size_t>{kShownPerCompletion - 1, kShownPerCompletion, 6}));
  EXPECT_EQ(LinesShownToRex(), BacklogLines(backlog.size()));
  EXPECT_EQ(SinceOf(NextPoll()), backlog.back());
}

// With 70 players on the map a completion shows fewer messages, so that it costs about what 8
// cost with 40; a run of equal times still goes whole, as no later poll could bring its rest.
TEST_F(OutboundPoll, BacklogOnAFullMapComesInSmallerCompletionsAndRunsStayWhole) {
  LoadOnMap();
  for (std::uint64_t player = 1; player < 70; ++player) game().Join(Player(kRex + player, u"Dodo"));
  const std::int64_t start = PollAndAnswer(R"({"messages":[]})");
  std::vector<std::int64_t> backlog;
  for (int i = 1; i <= 5; ++i) backlog.push_back(start + i);
  for (int i = 0; i < 6; ++i) backlog.push_back(start + 6);
  backlog.push_back(start + 7);

  EXPECT_EQ(DrainBacklog(backlog), (std::vector<std::size_t>{4, 1, 6, 1}));
  EXPECT_EQ(LinesShownToRex(), BacklogLines(backlog.size()));
  EXPECT_EQ(ShownTo(kRex + 69).size(), backlog.size());
}

TEST_F(OutboundPoll, LongPollAsksTheBotToWaitAndPollsAgainAtOnceOnlyAfterNewsOrAHeldAnswer) {
  LoadOnMap(R"(,"OutboundWaitSeconds":1)");
  const auto first = NextPoll();
  EXPECT_NE(first.url.find("&since=" + std::to_string(SinceOf(first)) + "&waitSeconds=1"), std::string::npos)
      << first.url;
  const std::int64_t start = SinceOf(first);
  auto polls = [&] { return RequestsTo(kOutbound).size(); };

  struct Step {
    const char* what;
    std::string answer;
    int held_ms;
    bool at_once;
  };
  const std::vector<Step> steps = {
      {"empty at once", R"({"messages":[]})", 0, false},
      {"a new message",
       R"({"messages":[{"createdAt":)" + std::to_string(start + 5) + R"(,"message":"new"}]})", 0, true},
      {"only old messages",
       R"({"messages":[{"createdAt":)" + std::to_string(start + 5) + R"(,"message":"old"}]})", 0, false},
      {"empty after a hold of half the wait", R"({"messages":[]})", 600, true},
      {"unparsable at once", "<html>", 0, false},
  };
  auto poll = first;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const auto before = polls();
    if (step.held_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.held_ms));
    host().Complete(poll.id, true, step.answer);
    EXPECT_EQ(polls(), before + (step.at_once ? 1 : 0));
    poll = step.at_once ? RequestsTo(kOutbound).back() : NextPoll();
  }
}

// A bot that ignores waitSeconds and answers at once is polled at the timer's pace.
TEST_F(OutboundPoll, BotIgnoringTheWaitIsPolledAtTheTimersPace) {
  LoadOnMap(R"(,"OutboundWaitSeconds":5)");
  for (int tick = 0; tick < 20; ++tick) {
    Advance(seconds(3));
    for (const auto& poll : RequestsTo(kOutbound)) host().Complete(poll.id, true, R"({"messages":[]})");
  }
  EXPECT_EQ(RequestsTo(kOutbound).size(), 20u);
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
  const std::string at = std::to_string(SinceOf(lost) + 1);
  host().Complete(lost.id, true, R"({"messages":[{"createdAt":)" + at + R"(,"message":"late"}]})");
  host().Complete(polls[1].id, true, R"({"messages":[{"createdAt":)" + at + R"(,"message":"fresh"}]})");
  EXPECT_EQ(LinesShownToRex(), std::vector<std::u16string>{u"[Gabblen] fresh"});
  EXPECT_TRUE(LinesAfterLoad().empty());
  NextPoll();
}

TEST_F(OutboundPoll, BotIgnoringSinceHasNothingShownTwiceAndOneWarningPerRun) {
  LoadOnMap();
  const std::int64_t start = PollAndAnswer(R"({"messages":[]})");
  auto element = [](std::int64_t at, const char* text) {
    return R"({"createdAt":)" + std::to_string(at) + R"(,"message":")" + text + R"("})";
  };
  const std::string everything =
      R"({"messages":[)" + element(start + 10, "a") + "," + element(start + 20, "b") + "]}";
  const std::string everything_and_news = R"({"messages":[)" + element(start + 10, "a") + "," +
                                          element(start + 20, "b") + "," + element(start + 30, "news") + "]}";
  const std::string in_seconds = R"({"messages":[)" + element(start / 1000 + 60, "seconds") + "]}";

  PollAndAnswer(everything);
  PollAndAnswer(everything);
  PollAndAnswer(everything);
  PollAndAnswer(everything_and_news);
  PollAndAnswer(R"({"messages":[]})");
  EXPECT_EQ(PollAndAnswer(in_seconds), start + 30);
  EXPECT_EQ(SinceOf(NextPoll()), start + 30);

  EXPECT_EQ(LinesShownToRex(),
            (std::vector<std::u16string>{u"[Gabblen] a", u"[Gabblen] b", u"[Gabblen] news"}));
  const auto warning = [](std::size_t count, std::int64_t since, const std::string& answer) {
    return "[warning] Palaverlink: outbound response had " + std::to_string(count) +
           " message(s) with a createdAt not after since=" + std::to_string(since) +
           ", not shown: is the bot ignoring 'since', or sending createdAt in seconds instead of "
           "milliseconds? " +
           answer.substr(0, 200);
  };
  EXPECT_EQ(LinesAfterLoad(), (std::vector<std::string>{warning(2, start + 20, everything),
                                                        warning(1, start + 30, in_seconds)}));
}

TEST_F(OutboundPoll, WarningsAboutAnswersComeOncePerRunOfSuchAnswers) {
  LoadOnMap();
  struct Fault {
    std::string answer;
    std::string warning;
  };
  // Too long to read on the game thread: skipped unread.
  const std::string huge =
      R"({"messages":[{"message":")" + std::string(kLongestMessageElementBytes, 'x') + R"("}]})";
  const Fault faults[] = {
      {"<html>", "[warning] Palaverlink: could not parse outbound response: <html>"},
      {R"({"messages":null})",
       R"([warning] Palaverlink: outbound response missing 'messages': {"messages":null})"},
      {R"({"messages":[5,{"createdAt":null,"message":"no"}]})",
       R"([warning] Palaverlink: outbound response had 2 malformed message(s), skipped: {"messages":[5,{"createdAt":null,"message":"no"}]})"},
      {huge, "[warning] Palaverlink: outbound response had 1 message(s) of more than 4096 bytes, skipped: " +
                 huge.substr(0, kAnswerExcerptBytes)},
  };
  // The huge element has no createdAt either; not shown, it is taken again at every poll.
  const std::string huge_without_time =
      "[warning] Palaverlink: outbound response had 1 message(s) without a createdAt, shown once each (the "
      "last "
      "2048 are remembered); every message should carry one: " +
      huge.substr(0, kAnswerExcerptBytes);
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.answer);
    const auto mark = LinesAfterLoad().size();
    for (int answer = 0; answer < 3; ++answer) PollAndAnswer(fault.answer);
    PollAndAnswer(R"({"messages":[]})");
    PollAndAnswer(fault.answer);
    PollAndAnswer(R"({"messages":[]})");
    if (fault.answer == huge) {
      EXPECT_EQ(LinesAfter(mark), (std::vector<std::string>{fault.warning, huge_without_time, fault.warning,
                                                            huge_without_time}));
    } else {
      EXPECT_EQ(LinesAfter(mark), (std::vector<std::string>{fault.warning, fault.warning}));
    }
  }
}

TEST_F(OutboundPoll, ElementsThatCannotBeOrderedAreDroppedBeyondTheBoundWithOneWarningPerRun) {
  LoadOnMap();
  const std::int64_t start = PollAndAnswer(R"({"messages":[]})");
  auto repeated = [](std::size_t count, const std::string& element) {
    std::string elements;
    for (std::size_t i = 0; i < count; ++i) elements += (i ? "," : "") + element;
    return elements;
  };
  const std::string same_time = R"({"createdAt":)" + std::to_string(start + 5) + R"(,"message":"same"})";
  const std::size_t bound = kUnorderedPerCompletion;
  static_assert(kUnorderedPerCompletion == kShownPerCompletion);
  struct Case {
    const char* what;
    std::string answer;
    std::size_t shown;
    std::size_t dropped;
    std::int64_t cursor_after;
  };
  const std::vector<Case> table = {
      {"no createdAt", R"({"messages":[)" + repeated(bound + 12, R"({"message":"untimed"})") + "]}", bound,
       12, start},
      {"one createdAt shared", R"({"messages":[)" + repeated(bound + 4, same_time) + "]}", bound, 4,
       start + 5},
      {"not objects count too", R"({"messages":[)" + repeated(bound + 2, "7") + R"(,{"message":"late"}]})", 0,
       3, start + 5},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.what);
    const auto mark = LinesAfterLoad().size();
    const auto shown_before = ShownTo(kRex).size();
    PollAndAnswer(c.answer);
    EXPECT_EQ(ShownTo(kRex).size() - shown_before, c.shown);
    PollAndAnswer(c.answer);  // the same run: no second warning
    PollAndAnswer(R"({"messages":[]})");
    std::vector<std::string> dropped_warnings;
    for (const auto& line : LinesAfter(mark)) {
      if (line.find("could not be ordered") != std::string::npos) dropped_warnings.push_back(line);
    }
    EXPECT_EQ(
        dropped_warnings,
        std::vector<std::string>{"[warning] Palaverlink: outbound response had " + std::to_string(c.dropped) +
                                 " message(s) that could not be ordered, dropped (a poll takes at most 8 "
                                 "without a usable createdAt, and at most 8 sharing one): " +
                                 c.answer.substr(0, 200)});
    EXPECT_EQ(SinceOf(NextPoll()), c.cursor_after);
  }
}

// A bot that puts a freshly stamped notice into every answer, with long poll on, makes every answer
// look new: it is polled at most four times in any second, and still polled.
TEST_F(OutboundPoll, BotThatMakesEveryAnswerNewIsPolledAtMostFourTimesASecond) {
  LoadOnMap(R"(,"OutboundWaitSeconds":1)");
  NextPoll();
  std::vector<std::int64_t> sent_at;  // host time of each poll
  for (int step = 0; step < 100; ++step) {
    for (int answered = 0; answered < 50; ++answered) {
      const auto pending = env().Pending();
      const auto found =
          std::find_if(pending.begin(), pending.end(), [](const devhost::HttpRequest& request) {
            return request.url.find(kOutbound) != std::string::npos;
          });
      if (found == pending.end()) break;
      const auto poll = *found;
      host().Complete(
          poll.id, true,
          R"({"messages":[{"createdAt":)" + std::to_string(SinceOf(poll) + 1) + R"(,"message":"notice"}]})");
    }
    const auto polls = RequestsTo(kOutbound).size();
    while (sent_at.size() < polls) sent_at.push_back(env().NowMs());
    Advance(std::chrono::milliseconds(100));
  }
  std::size_t most_in_a_second = 0;
  for (std::size_t first = 0; first < sent_at.size(); ++first) {
    const auto in_second = std::count_if(sent_at.begin() + static_cast<std::ptrdiff_t>(first), sent_at.end(),
                                         [&](std::int64_t at) { return at < sent_at[first] + 1000; });
    most_in_a_second = std::max(most_in_a_second, static_cast<std::size_t>(in_second));
  }
  EXPECT_EQ(most_in_a_second, 4u) << "the bound that the guides promise, counted in host time";
  EXPECT_GE(sent_at.size(), 15u) << "ten seconds at four polls every other second";
  EXPECT_LE(sent_at.size(), 25u);
}

// A poll at once that the pace held back goes at the pace timer's next second, once: then the
// poll timer's pace holds again.
TEST_F(OutboundPoll, HeldBackPollGoesOnceAndThenTheTimersPaceHolds) {
  LoadOnMap(R"(,"OutboundPollSeconds":60,"OutboundWaitSeconds":1)");
  Advance(seconds(60));
  ASSERT_EQ(RequestsTo(kOutbound).size(), 1u);
  auto answer_pending = [&](bool with_news) {
    for (int answered = 0; answered < 10 && !PendingPolls().empty(); ++answered) {
      const auto poll = PendingPolls().front();
      host().Complete(poll.id, true,
                      with_news ? R"({"messages":[{"createdAt":)" + std::to_string(SinceOf(poll) + 1) +
                                      R"(,"message":"news"}]})"
                                : R"({"messages":[]})");
    }
  };
  answer_pending(true);  // four polls in this second, the fifth held back
  ASSERT_EQ(RequestsTo(kOutbound).size(), 4u);
  int waited = 0;
  while (RequestsTo(kOutbound).size() == 4u && waited++ < 3) Advance(seconds(1));
  ASSERT_EQ(RequestsTo(kOutbound).size(), 5u) << "the held-back poll went with the pace timer";

  // Empty answers from now on: the next poll waits for the poll timer, 60 s after the last tick.
  for (int second = 0; second < 50; ++second) {
    answer_pending(false);
    Advance(seconds(1));
  }
  EXPECT_EQ(RequestsTo(kOutbound).size(), 5u);
}

// A backlog is progress, not a loop: after each full completion of new messages the next poll
// goes at once, past the four-a-second bound, up to eighty in a second of the pace timer.
TEST_F(OutboundPoll, BacklogDrainsPastFourPollsASecondUpToEighty) {
  LoadOnMap(R"(,"OutboundPollSeconds":60)");
  Advance(seconds(60));
  ASSERT_EQ(RequestsTo(kOutbound).size(), 1u);
  const std::int64_t start = SinceOf(RequestsTo(kOutbound).front());
  // A bot whose store always holds one completion and one more message after `since`.
  auto answer_pending = [&] {
    for (int answered = 0; answered < 400 && !PendingPolls().empty(); ++answered) {
      const auto poll = PendingPolls().front();
      std::string answer = R"({"messages":[)";
      for (std::int64_t i = 1; i <= static_cast<std::int64_t>(kShownPerCompletion) + 1; ++i)
        answer += (i > 1 ? "," : "") + std::string(R"({"createdAt":)") + std::to_string(SinceOf(poll) + i) +
                  R"(,"message":"m"})";
      host().Complete(poll.id, true, answer + "]}");
    }
  };
  answer_pending();
  EXPECT_EQ(RequestsTo(kOutbound).size(), 81u) << "the tick's poll and eighty at once, in one second";
  Advance(seconds(1));
  answer_pending();
  EXPECT_EQ(RequestsTo(kOutbound).size(), 161u) << "eighty more in the pace timer's next second";
  // Each message shown once: every answer moved the cursor by one full completion.
  EXPECT_EQ(SinceOf(RequestsTo(kOutbound).back()),
            start + 160 * static_cast<std::int64_t>(kShownPerCompletion));
  EXPECT_EQ(ShownTo(kRex).size(), 161 * kShownPerCompletion);
}

// With a poll interval above the time-out, a poll sent at once after a completion is still held
// by the bot at the next tick: it is not lost, and no second poll goes out beside it.
TEST_F(OutboundPoll, PollHeldAcrossALongIntervalIsNotLostAtTheNextTick) {
  LoadOnMap(R"(,"OutboundPollSeconds":60,"OutboundWaitSeconds":5)");
  Advance(seconds(60));
  auto polls = RequestsTo(kOutbound);
  ASSERT_EQ(polls.size(), 1u);
  Advance(seconds(50));
  host().Complete(
      polls[0].id, true,
      R"({"messages":[{"createdAt":)" + std::to_string(SinceOf(polls[0]) + 1) + R"(,"message":"m"}]})");
  ASSERT_EQ(RequestsTo(kOutbound).size(), 2u) << "news: the next poll goes at once";

  Advance(seconds(10));
  EXPECT_EQ(RequestsTo(kOutbound).size(), 2u) << "held 10 s: not lost";
  Advance(seconds(60));
  EXPECT_EQ(RequestsTo(kOutbound).size(), 3u) << "held 70 s: lost";
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

TEST_F(OutboundPoll, RefusedPollWarnsOnceAMinuteForEachStatusAndPollingGoesOn) {
  LoadOnMap();
  host().Complete(NextPoll().id, false, "HTTP 404 Not Found");
  host().Complete(NextPoll().id, false, "HTTP 404 Not Found");
  const auto back = NextPoll();
  host().Complete(
      back.id, true,
      R"({"messages":[{"createdAt":)" + std::to_string(SinceOf(back) + 1) + R"(,"message":"back"}]})");
  host().Complete(NextPoll().id, false, "HTTP 400 Bad Request");
  NextPoll();

  EXPECT_EQ(
      LinesAfterLoad(),
      (std::vector<std::string>{
          "[warning] Palaverlink: the bot refused GET /api/chat/outbound (HTTP 404 Not Found). Dropped; the "
          "link stays up. Refused since the last such warning: 1.",
          "[warning] Palaverlink: the bot refused GET /api/chat/outbound (HTTP 400 Bad Request). Dropped; "
          "the link stays up. Refused since the last such warning: 1."}));
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
          "[warning] Palaverlink: session sync soon failed unexpectedly: simulated failure in "
          "UWorld.GetMapName",
          "[warning] Palaverlink: outbound poll failed unexpectedly: simulated failure in UWorld.GetMapName",
          "[warning] Palaverlink: session sync failed unexpectedly: simulated failure in "
          "UWorld.GetMapName"}));
  EXPECT_EQ(env().Requests().size(), RequestsTo("/health").size());
}

TEST_F(OutboundPoll, LastingFaultInTheCompletionWritesOneWarningPerRun) {
  LoadOnMap();
  Advance(seconds(1));  // the first player list, out of the way
  const std::string one_message = R"({"messages":[{"message":"hi"}]})";
  game().ThrowFrom("FWeakObjectPtr.Get", 3);
  for (int answer = 0; answer < 4; ++answer) PollAndAnswer(one_message);
  game().ThrowFrom("FWeakObjectPtr.Get", 1);
  PollAndAnswer(R"({"messages":[{"message":"again"}]})");  // "hi", shown, is not shown again

  const std::string warning =
      "[warning] Palaverlink: GET /api/chat/outbound completion failed unexpectedly: simulated failure in "
      "FWeakObjectPtr.Get";
  const std::string without_time =
      "[warning] Palaverlink: outbound response had 1 message(s) without a createdAt, shown once each (the "
      "last "
      "2048 are remembered); every message should carry one: " +
      one_message;
  EXPECT_EQ(LinesAfterLoad(), (std::vector<std::string>{warning, without_time, warning}));
  EXPECT_EQ(LinesShownToRex(), std::vector<std::u16string>{u"[Gabblen] hi"});
}

}  // namespace
}  // namespace palaverlink::testing

namespace palaverlink::testing {
namespace {

bool StartsWith(const std::string& line, const std::string& start) { return line.rfind(start, 0) == 0; }

TEST_F(OutboundPoll, StampsTheCursorCannotFollowAreShownOnceAndNamedOnce) {
  LoadOnMap();
  const std::int64_t start = PollAndAnswer(R"({"messages":[]})");
  const std::string in_microseconds =
      R"({"createdAt":)" + std::to_string(start * 1000) + R"(,"message":"micro"})";
  const std::string unstamped = R"({"message":"unstamped"})";
  auto at = [&](int offset, const char* text) {
    return R"({"createdAt":)" + std::to_string(start + offset) + R"(,"message":")" + text + R"("})";
  };
  // The bot sends the first two again at every poll: they are not before `since`.
  const std::string first =
      R"({"messages":[)" + in_microseconds + "," + unstamped + "," + at(10, "next") + "]}";
  EXPECT_EQ(PollAndAnswer(first), start);
  for (int poll = 0; poll < 3; ++poll)
    PollAndAnswer(R"({"messages":[)" + in_microseconds + "," + unstamped + "]}");
  PollAndAnswer(R"({"messages":[)" + in_microseconds + "," + unstamped + "," + at(20, "later") + "]}");
  EXPECT_EQ(SinceOf(NextPoll()), start + 20);

  EXPECT_EQ(LinesShownToRex(), (std::vector<std::u16string>{u"[Gabblen] micro", u"[Gabblen] unstamped",
                                                            u"[Gabblen] next", u"[Gabblen] later"}));
  const auto lines = LinesAfterLoad();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(
      lines[0],
      "[warning] Palaverlink: outbound response had 1 message(s) without a createdAt, shown once each (the "
      "last 2048 are remembered); every message should carry one: " +
          first.substr(0, kAnswerExcerptBytes));
  EXPECT_TRUE(StartsWith(lines[1],
                         "[warning] Palaverlink: outbound response had 1 message(s) stamped more than a "
                         "day ahead of this server's clock (createdAt " +
                             std::to_string(start * 1000) + " at "))
      << lines[1];
  EXPECT_NE(lines[1].find("shown once each without moving the cursor: is the bot sending createdAt in "
                          "microseconds instead of milliseconds?"),
            std::string::npos)
      << lines[1];
}

TEST_F(OutboundPoll, ClocksApartAreNamedAndABotBehindIsAskedFromItsOwnTime) {
  LoadOnMap();
  const std::int64_t start = PollAndAnswer(R"({"messages":[]})");
  // An hour behind and honouring since, it has nothing after the server's start time for an hour.
  constexpr std::int64_t kHour = 3'600'000;
  const std::int64_t bot_now = SystemNowMs() - kHour;
  PollAndAnswer(R"({"messages":[],"answeredAt":)" + std::to_string(bot_now) + "}");
  const std::int64_t on_bot_clock =
      PollAndAnswer(R"({"messages":[{"createdAt":)" + std::to_string(bot_now + 5) +
                    R"(,"message":"from behind"}],"answeredAt":)" + std::to_string(bot_now) + "}");
  EXPECT_LE(on_bot_clock, start - kHour);
  EXPECT_GT(on_bot_clock, start - kHour - 2000);
  // Moved once: later answers of the same bot no longer move it back.
  PollAndAnswer(R"({"messages":[],"answeredAt":)" + std::to_string(bot_now - kHour) + "}");
  EXPECT_EQ(SinceOf(NextPoll()), bot_now + 5);

  // A bot a minute ahead: its stamps are ahead of the server's clock when they arrive.
  const std::int64_t ahead = SystemNowMs() + 60'000;
  PollAndAnswer(R"({"messages":[{"createdAt":)" + std::to_string(ahead) + R"(,"message":"from ahead"}]})");
  EXPECT_EQ(SinceOf(NextPoll()), ahead);

  EXPECT_EQ(LinesShownToRex(),
            (std::vector<std::u16string>{u"[Gabblen] from behind", u"[Gabblen] from ahead"}));
  const auto lines = LinesAfterLoad();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(StartsWith(lines[0],
                         "[warning] Palaverlink: the bot's clock is 3600 s behind this server's "
                         "(answeredAt " +
                             std::to_string(bot_now) + " at "))
      << lines[0];
  EXPECT_NE(lines[0].find("); asking from " + std::to_string(on_bot_clock) + " on the bot's clock instead."),
            std::string::npos)
      << lines[0];
  EXPECT_TRUE(StartsWith(lines[1], "[warning] Palaverlink: the bot's clock is 59 s ahead of this server's") ||
              StartsWith(lines[1], "[warning] Palaverlink: the bot's clock is 60 s ahead of this server's"))
      << lines[1];
}

TEST_F(OutboundPoll, ReloadInTheSameProcessNeverMovesTheCursorBack) {
  LoadOnMap();
  const std::int64_t start = PollAndAnswer(R"({"messages":[]})");
  // A bot ten minutes ahead of the server's clock.
  const std::int64_t ahead = start + 600'000;
  PollAndAnswer(R"({"messages":[{"createdAt":)" + std::to_string(ahead) + R"(,"message":"once"}]})");
  host().UnloadPlugin();
  Load(R"({"MapId":"the-island"})");
  const std::int64_t after_reload =
      PollAndAnswer(R"({"messages":[{"createdAt":)" + std::to_string(ahead) + R"(,"message":"once"}]})");
  EXPECT_EQ(after_reload, ahead);
  EXPECT_EQ(LinesShownToRex(), std::vector<std::u16string>{u"[Gabblen] once"});
}

TEST_F(OutboundPoll, ElementOfExactlyTheByteBoundIsShownAndOneByteMoreIsSkipped) {
  LoadOnMap();
  const std::int64_t start = PollAndAnswer(R"({"messages":[]})");
  auto element_of = [&](std::size_t bytes, int offset) {
    const std::string head = R"({"createdAt":)" + std::to_string(start + offset) + R"(,"message":")";
    return head + std::string(bytes - head.size() - 2, 'x') + "\"}";
  };
  const std::string at_bound = element_of(kLongestMessageElementBytes, 1);
  const std::string beyond = element_of(kLongestMessageElementBytes + 1, 2);
  ASSERT_EQ(at_bound.size(), kLongestMessageElementBytes);
  PollAndAnswer(R"({"messages":[)" + at_bound + "," + beyond + "]}");
  const auto shown = ShownTo(kRex);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].line.substr(0, 3), u"xxx");
}

}  // namespace
}  // namespace palaverlink::testing
