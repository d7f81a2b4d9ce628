// Game chat to the bot: which lines go out, what their bodies hold, and that the game's own
// handling is never disturbed.
#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "relay/relay_fixture.h"

namespace palaverlink::testing {
namespace {

constexpr char kInbound[] = "/api/chat/inbound";

struct RelayCase {
  const char* name;
  std::string switches;  // extra configuration members
  std::u16string text;
  int mode;
  std::string channel;  // empty: the line must not reach the bot
  std::string message;
};

void PrintTo(const RelayCase& c, std::ostream* out) { *out << c.name; }

class ChatRelayRules : public RelayFixture, public ::testing::WithParamInterface<RelayCase> {};

TEST_P(ChatRelayRules, GameHandlesTheLineAndTheBotGetsOnlyRelayedOnes) {
  const RelayCase& c = GetParam();
  Load(R"({"MapId":"the-island")" + c.switches + "}");
  game().CreateWorld(u"TheIsland");
  game().Join(Player(kRex, u"Rex"));

  game().Chat(kRex, c.text, c.mode);

  ASSERT_EQ(game().HandledChats().size(), 1u);
  EXPECT_EQ(game().HandledChats()[0].text, c.text);
  EXPECT_EQ(game().HandledChats()[0].mode, c.mode);
  const auto bodies = BodiesTo(kInbound);
  if (c.channel.empty()) {
    EXPECT_TRUE(bodies.empty());
  } else {
    ASSERT_EQ(bodies.size(), 1u);
    const auto body = nlohmann::json::parse(bodies[0]);
    EXPECT_EQ(body["channel"], c.channel);
    EXPECT_EQ(body["message"], c.message);
  }
  EXPECT_TRUE(LinesAfterLoad().empty());
}

const std::string kAllSwitches = R"(,"RelayGlobalChat":true,"RelayTribeChat":true,"RelayAllianceChat":true)";

INSTANTIATE_TEST_SUITE_P(
    Lines, ChatRelayRules,
    ::testing::Values(
        RelayCase{"Slash", "", u"/help", 0, "", ""}, RelayCase{"ExclamationMark", "", u"!vote", 0, "", ""},
        RelayCase{"BlankBeforeSlash", "", u" /help", 0, "global", " /help"},
        RelayCase{"SlashLaterInLine", "", u"a/b!", 0, "global", "a/b!"},
        RelayCase{"EmptyLine", kAllSwitches, u"", 0, "", ""},
        RelayCase{"GlobalByDefault", "", u"hello", 0, "global", "hello"},
        RelayCase{"TribeOffByDefault", "", u"hello", 1, "", ""},
        RelayCase{"AllianceOffByDefault", "", u"hello", 3, "", ""},
        RelayCase{"GlobalSwitchedOff", R"(,"RelayGlobalChat":false)", u"hello", 0, "", ""},
        RelayCase{"TribeSwitchedOn", R"(,"RelayTribeChat":true)", u"hello", 1, "tribe", "hello"},
        RelayCase{"AllianceSwitchedOn", R"(,"RelayAllianceChat":true)", u"hello", 3, "alliance", "hello"},
        RelayCase{"ModeTwoNever", kAllSwitches, u"hello", 2, "", ""},
        RelayCase{"ModeFourNever", kAllSwitches, u"hello", 4, "", ""},
        RelayCase{"NegativeModeNever", kAllSwitches, u"hello", -1, "", ""},
        RelayCase{"TextUntrimmed", "", u"  two  blanks  ", 0, "global", "  two  blanks  "}),
    [](const ::testing::TestParamInfo<RelayCase>& param) { return std::string(param.param.name); });

class ChatRelay : public RelayFixture {
 protected:
  void SetUp() override {
    RelayFixture::SetUp();
    Load(R"({"MapId":"the-island"})");
    game().CreateWorld(u"TheIsland");
  }
};

TEST_F(ChatRelay, BodyCarriesSixMembersInKeyOrderToTheInboundPath) {
  game().Join(Player(kRex, u"Rex", u"rex_account", u"Raptors"));
  RequestsAtGameHandling order(env(), kInbound);
  game().SetObserver(&order);
  game().Chat(kRex, u"hello", 0);
  game().SetObserver(nullptr);
  // The game handles the line before it goes to the bot.
  EXPECT_EQ(order.seen, std::vector<std::size_t>{0});

  const auto requests = RequestsTo(kInbound);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].url, "http://127.0.0.1:8765/api/chat/inbound");
  EXPECT_EQ(requests[0].content_type, "application/json");
  EXPECT_EQ(requests[0].body,
            R"({"channel":"global","mapId":"the-island","message":"hello","platformId":"76561198000000001",)"
            R"("playerName":"Rex","tribeName":"Raptors"})");
}

TEST_F(ChatRelay, SpeakerIsReadAsTheGameHoldsIt) {
  struct Speaker {
    devhost::PlayerSpec spec;
    std::u16string text;
    std::string playerName, tribeName, platformId, message;
  };
  auto no_state = Player(kBo, u"Bo", u"bo_account", u"Ignored");
  no_state.has_player_state = false;
  const std::vector<Speaker> speakers = {
      {Player(kRex, u"", u"rex_account", u"Raptors"), u"no character name", "rex_account", "Raptors",
       "76561198000000001", "no character name"},
      {Player(kAnn, u"Ann", u"ann_account", u""), u"no tribe", "Ann", "", "76561198000000002", "no tribe"},
      {no_state, u"no player state", "Bo", "", "76561198000000003", "no player state"},
      {Player(0, u"Zed"), u"no id", "Zed", "Raptors", "0", "no id"},
      {Player(18446744073709551615ULL, u"Max"), u"largest id", "Max", "Raptors", "18446744073709551615",
       "largest id"},
      {Player(42, u"Zoë", u"acct", u"Ærø"), u"héllo wörld \U0001F600", "Zoë", "Ærø", "42",
       "héllo wörld \U0001F600"},
  };
  for (const auto& speaker : speakers) game().Join(speaker.spec);
  for (const auto& speaker : speakers) game().Chat(speaker.spec.platform_id, speaker.text, 0);

  const auto bodies = BodiesTo(kInbound);
  ASSERT_EQ(bodies.size(), speakers.size());
  for (std::size_t i = 0; i < speakers.size(); ++i) {
    SCOPED_TRACE(speakers[i].message);
    const auto body = nlohmann::json::parse(bodies[i]);
    EXPECT_EQ(body.size(), 6u);
    EXPECT_EQ(body["playerName"], speakers[i].playerName);
    EXPECT_EQ(body["tribeName"], speakers[i].tribeName);
    EXPECT_EQ(body["platformId"], speakers[i].platformId);
    EXPECT_EQ(body["message"], speakers[i].message);
    EXPECT_EQ(body["mapId"], "the-island");
  }
  // Raw UTF-8 on the wire, not escapes.
  EXPECT_NE(bodies.back().find("\"message\":\"héllo wörld \U0001F600\""), std::string::npos);
}

TEST_F(ChatRelay, NothingBreaksTheGamesHandling) {
  game().Join(Player(kRex, u"Rex"));

  game().ChatWithNullController(u"from nobody", 0);
  game().ChatWithNullText(kRex, 0);
  game().ThrowFrom("AShooterPlayerController.GetUniqueNetIdAsUINT64");
  game().Chat(kRex, u"lookup fails", 0);
  EXPECT_TRUE(RequestsTo(kInbound).empty());

  // A failing lookup costs only that line.
  game().Chat(kRex, u"next line", 0);
  ASSERT_EQ(RequestsTo(kInbound).size(), 1u);
  EXPECT_EQ(nlohmann::json::parse(RequestsTo(kInbound)[0].body)["message"], "next line");

  // With the link down the line ends in the transport, the game still handles it.
  host().Complete(RequestsTo(kInbound)[0].id, false, "HTTP 503 Service Unavailable");
  game().Chat(kRex, u"while down", 0);
  EXPECT_EQ(RequestsTo(kInbound).size(), 1u);

  EXPECT_EQ(game().HandledChats().size(), 5u);
  EXPECT_EQ(game().CallCount("AShooterPlayerController.ServerSendChatMessage_Implementation"), 5);
}

TEST_F(ChatRelay, ALineTheBotRefusesCostsOnlyThatLine) {
  game().Join(Player(kRex, u"Rex"));
  for (int attempt = 0; attempt < 2; ++attempt) {
    game().Chat(kRex, std::u16string(600000, u'x'), 0);
    host().Complete(RequestsTo(kInbound).back().id, false, "HTTP 413 Payload Too Large");
  }
  game().Chat(kRex, u"short line", 0);
  Advance(std::chrono::seconds(60));

  EXPECT_EQ(nlohmann::json::parse(RequestsTo(kInbound).back().body)["message"], "short line");
  EXPECT_FALSE(RequestsTo("/api/chat/outbound").empty());
  EXPECT_FALSE(RequestsTo("/api/sessions/sync").empty());
  EXPECT_EQ(
      LinesAfterLoad(),
      std::vector<std::string>{"[warning] Palaverlink: the bot refused POST /api/chat/inbound (HTTP 413 "
                               "Payload Too Large). Dropped; the link stays up. Refused since the last such "
                               "warning: 1."});
}

class ChatRelayWithoutMap : public RelayFixture {};

TEST_F(ChatRelayWithoutMap, LinesBeforeTheMapIsKnownReachOnlyThePlayers) {
  Load("{}");
  game().CreateWorld(u"");
  game().Join(Player(kRex, u"Rex"));

  game().Chat(kRex, u"too early", 0);

  EXPECT_EQ(game().HandledChats().size(), 1u);
  EXPECT_TRUE(env().Requests().empty());
  EXPECT_TRUE(LinesAfterLoad().empty());
}

class ChatRelayDebug : public RelayFixture {};

TEST_F(ChatRelayDebug, OneInfoLinePerRelayedLineAndNoneForSkippedOnes) {
  Load(R"({"MapId":"the-island","Debug":true})");
  game().CreateWorld(u"TheIsland");
  game().Join(Player(kRex, u"Rex"));
  game().Join(Player(kAnn, u"", u"ann_account"));

  game().Chat(kRex, u"hello", 0);
  game().Chat(kRex, u"/help", 0);
  game().Chat(kRex, u"tribe talk", 1);
  game().Chat(kRex, u"", 0);
  game().Chat(kAnn, u"{} stays literal", 0);
  game().Join(Player(kBo, u"Bo\n01/01/26 00:00 [Palaverlink][warning] forged", u"acct", u"Rap\u202Etors\n2"));
  game().Chat(kBo, u"two\nlines\r\u0001", 0);
  game().Chat(kBo, u"\u202Eevil\u2028x\u0085y\tz\u2066", 0);

  // What a player sends reaches the bot, and the log, as one line: line breaks and tabs become
  // blanks, other control characters and bidirectional controls go. One warning a minute says so.
  EXPECT_EQ(
      LinesAfterLoad(),
      (std::vector<std::string>{
          "[info] Palaverlink: relaying global chat from 'Rex': hello",
          "[info] Palaverlink: relaying global chat from 'ann_account': {} stays literal",
          "[warning] Palaverlink: 1 chat line(s) held line breaks or other control characters, replaced "
          "before relaying (the latest from 'Bo 01/01/26 00:00 [Palaverlink][warning] forged').",
          "[info] Palaverlink: relaying global chat from 'Bo 01/01/26 00:00 [Palaverlink][warning] forged': "
          "two lines ",
          "[info] Palaverlink: relaying global chat from 'Bo 01/01/26 00:00 [Palaverlink][warning] forged': "
          "evil x y z",
      }));
  const auto bodies = BodiesTo(kInbound);
  ASSERT_EQ(bodies.size(), 4u);
  const auto sent = nlohmann::json::parse(bodies[2]);
  EXPECT_EQ(sent["message"], "two lines ");
  EXPECT_EQ(sent["playerName"], "Bo 01/01/26 00:00 [Palaverlink][warning] forged");
  EXPECT_EQ(sent["tribeName"], "Raptors 2");
  EXPECT_EQ(nlohmann::json::parse(bodies[3])["message"], "evil x y z");
}

}  // namespace
}  // namespace palaverlink::testing
