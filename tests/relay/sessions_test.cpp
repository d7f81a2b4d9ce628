// The periodic player list and the logout notice.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "relay/relay_fixture.h"

namespace palaverlink::testing {
namespace {

using std::chrono::seconds;

constexpr char kSync[] = "/api/sessions/sync";
constexpr char kLeave[] = "/api/sessions/leave";

class Sessions : public RelayFixture {
 protected:
  // Polls are kept out of the way; the sync runs every 10 s.
  void LoadOnMap(const std::string& extra = "") {
    Load(R"({"MapId":"the-island","SyncIntervalSeconds":10,"OutboundPollSeconds":100000)" + extra + "}");
    game().CreateWorld(u"TheIsland");
  }

  // Runs the sync timer once; gives the body of the last list sent (null when none went out) and the
  // system times around the run.
  struct Run {
    nlohmann::json body;
    std::int64_t before = 0;
    std::int64_t after = 0;
  };
  Run SyncOnce() {
    Run run;
    const auto sent = RequestsTo(kSync).size();
    run.before = SystemNowMs();
    Advance(seconds(10));
    run.after = SystemNowMs();
    const auto syncs = RequestsTo(kSync);
    if (syncs.size() > sent) run.body = nlohmann::json::parse(syncs.back().body);
    return run;
  }

  // The bot takes every list out, so the next one may go.
  void AnswerSyncs() {
    for (const auto& pending : env().Pending()) {
      if (pending.url.ends_with(kSync)) host().Complete(pending.id, true, "{}");
    }
  }

  static nlohmann::json PlayerIn(const nlohmann::json& body, const std::string& platform_id) {
    for (const auto& player : body["players"]) {
      if (player["platformId"] == platform_id) return player;
    }
    return nullptr;
  }

  // Makes the next system-clock reading differ from every earlier one.
  static void LetTheClockMove() { std::this_thread::sleep_for(std::chrono::milliseconds(3)); }
};

TEST_F(Sessions, EmptyWorldSendsAnEmptyList) {
  LoadOnMap(R"(,"Debug":true)");
  SyncOnce();

  const auto syncs = RequestsTo(kSync);
  ASSERT_EQ(syncs.size(), 1u);
  EXPECT_EQ(syncs[0].method, "POST");
  EXPECT_EQ(syncs[0].url, "http://127.0.0.1:8765/api/sessions/sync");
  EXPECT_EQ(syncs[0].body, R"({"mapId":"the-island","players":[]})");
  EXPECT_EQ(LinesAfterLoad(),
            std::vector<std::string>{"[info] Palaverlink: session sync - 0 player(s) on 'the-island'"});
}

TEST_F(Sessions, PlayersAreListedAsTheGameHoldsThem) {
  LoadOnMap();
  auto no_state = Player(kBo, u"Bo", u"bo_account", u"Ignored");
  no_state.has_player_state = false;
  const std::int64_t before_joins = SystemNowMs();
  game().Join(Player(kRex, u"Rex", u"rex_account", u"Raptors"));
  game().Join(Player(0, u"Nobody"));
  game().Join(Player(kAnn, u"", u"ann_account", u""));
  game().Join(no_state);
  game().Join(Player(18446744073709551615ULL, u"Max", u"max_account", u"Zoë's"));
  game().Join(Player(7, u"Gone"));
  game().Vanish(7);
  const std::int64_t after_joins = SystemNowMs();

  const Run run = SyncOnce();

  const auto syncs = RequestsTo(kSync);
  ASSERT_EQ(syncs.size(), 1u);
  const auto& players = run.body["players"];
  ASSERT_EQ(players.size(), 4u);
  // platform id, character name, account name, tribe name
  const std::vector<std::vector<std::string>> expected = {
      {"76561198000000001", "Rex", "rex_account", "Raptors"},
      {"76561198000000002", "", "ann_account", ""},
      {"76561198000000003", "Bo", "", ""},
      {"18446744073709551615", "Max", "max_account", "Zoë's"},
  };
  std::string body = R"({"mapId":"the-island","players":[)";
  for (std::size_t i = 0; i < expected.size(); ++i) {
    // Each session starts at its join.
    const std::int64_t start = players[i]["sessionStartedAt"];
    EXPECT_GE(start, before_joins);
    EXPECT_LE(start, after_joins);
    body += (i ? "," : "") + std::string(R"({"platformId":")") + expected[i][0] + R"(","playerName":")" +
            expected[i][1] + R"(","sessionStartedAt":)" + std::to_string(start) + R"(,"steamName":")" +
            expected[i][2] + R"(","tribeName":")" + expected[i][3] + R"("})";
  }
  EXPECT_EQ(syncs[0].body, body + "]}");
  EXPECT_TRUE(LinesAfterLoad().empty());
}

// A logout, and a player the world dropped without one: either way the next visit is a new session.
struct WayToGo {
  const char* name;
  void (devhost::Game::*go)(std::uint64_t);
};

class SessionEnd : public Sessions, public ::testing::WithParamInterface<WayToGo> {};

TEST_P(SessionEnd, StartIsKeptWhilePlayingAndRenewedOnReturn) {
  LoadOnMap();
  game().Join(Player(kRex, u"Rex"));
  game().Join(Player(kAnn, u"Ann"));
  const Run first = SyncOnce();
  AnswerSyncs();
  LetTheClockMove();
  const Run second = SyncOnce();
  AnswerSyncs();
  const nlohmann::json rex_start = PlayerIn(first.body, "76561198000000001")["sessionStartedAt"];
  EXPECT_EQ(PlayerIn(second.body, "76561198000000001")["sessionStartedAt"], rex_start);
  EXPECT_EQ(PlayerIn(second.body, "76561198000000002")["sessionStartedAt"],
            PlayerIn(first.body, "76561198000000002")["sessionStartedAt"]);

  (game().*GetParam().go)(kRex);
  LetTheClockMove();
  const Run gone = SyncOnce();
  AnswerSyncs();
  EXPECT_TRUE(PlayerIn(gone.body, "76561198000000001").is_null());

  const std::int64_t joined_before = SystemNowMs();
  game().Join(Player(kRex, u"Rex"));
  const std::int64_t joined_after = SystemNowMs();
  LetTheClockMove();
  const Run back = SyncOnce();
  // The session starts at the join, not at the sync that first listed it.
  const std::int64_t new_start = PlayerIn(back.body, "76561198000000001")["sessionStartedAt"];
  EXPECT_GE(new_start, joined_before);
  EXPECT_LE(new_start, joined_after);
  EXPECT_GT(new_start, rex_start.get<std::int64_t>());
  EXPECT_EQ(PlayerIn(back.body, "76561198000000002")["sessionStartedAt"],
            PlayerIn(first.body, "76561198000000002")["sessionStartedAt"]);
}

INSTANTIATE_TEST_SUITE_P(Sessions, SessionEnd,
                         ::testing::Values(WayToGo{"Logout", &devhost::Game::Leave},
                                           WayToGo{"VanishedWithoutLogout", &devhost::Game::Vanish}),
                         [](const ::testing::TestParamInfo<WayToGo>& way) { return way.param.name; });

TEST_F(Sessions, StartsAreRecordedWhileTheLinkIsDown) {
  LoadOnMap();
  SyncOnce();
  host().Complete(RequestsTo(kSync)[0].id, false, "connection refused");
  ASSERT_EQ(RequestsTo(kSync).size(), 1u);

  const std::int64_t before_join = SystemNowMs();
  game().Join(Player(kRex, u"Rex"));
  const std::int64_t after_join = SystemNowMs();
  SyncOnce();
  EXPECT_EQ(RequestsTo(kSync).size(), 1u);

  Advance(seconds(10));  // the health probe's turn
  const auto probes = RequestsTo("/health");
  ASSERT_FALSE(probes.empty());
  host().Complete(probes.back().id, true, "ok");
  LetTheClockMove();
  const Run up = SyncOnce();
  ASSERT_FALSE(up.body.is_null());
  const std::int64_t start = PlayerIn(up.body, "76561198000000001")["sessionStartedAt"];
  EXPECT_GE(start, before_join);
  EXPECT_LE(start, after_join);
}

TEST_F(Sessions, ConfiguredMapIdStillWaitsForAWorld) {
  Load(R"({"MapId":"the-island","SyncIntervalSeconds":10,"OutboundPollSeconds":100000})");
  EXPECT_TRUE(SyncOnce().body.is_null());
  game().CreateWorld(u"");
  EXPECT_EQ(SyncOnce().body, nlohmann::json::parse(R"({"mapId":"the-island","players":[]})"));
}

TEST_F(Sessions, NothingIsSentBeforeTheMapIsKnown) {
  Load(R"({"SyncIntervalSeconds":10,"OutboundPollSeconds":100000})");
  SyncOnce();
  game().CreateWorld(u"");
  game().Join(Player(kRex, u"Rex"));
  SyncOnce();
  EXPECT_TRUE(RequestsTo(kSync).empty());
}

TEST_F(Sessions, LeaveNoticeNamesMapAndPlayer) {
  LoadOnMap(R"(,"Debug":true)");
  game().Join(Player(18446744073709551615ULL, u"Max"));
  RequestsAtGameHandling order(env(), kLeave);
  game().SetObserver(&order);

  game().Leave(18446744073709551615ULL);
  game().SetObserver(nullptr);
  // The notice goes out before the game's own logout runs.
  EXPECT_EQ(order.seen, std::vector<std::size_t>{1});

  const auto leaves = RequestsTo(kLeave);
  ASSERT_EQ(leaves.size(), 1u);
  EXPECT_EQ(leaves[0].method, "POST");
  EXPECT_EQ(leaves[0].url, "http://127.0.0.1:8765/api/sessions/leave");
  EXPECT_EQ(leaves[0].body, R"({"mapId":"the-island","platformId":"18446744073709551615"})");
  EXPECT_EQ(
      LinesAfterLoad(),
      std::vector<std::string>{"[info] Palaverlink: player 18446744073709551615 logged out - posting leave"});
  ASSERT_EQ(game().HandledLogouts().size(), 1u);
  EXPECT_EQ(game().HandledLogouts()[0].player, 18446744073709551615ULL);
}

TEST_F(Sessions, LogoutsThatSendNothingStillReachTheGame) {
  LoadOnMap();
  game().Join(Player(0, u"Nobody"));
  game().Join(Player(kRex, u"Rex"));
  game().Join(Player(kAnn, u"Ann"));

  game().LogoutWithNullController();
  game().Leave(0);
  game().ThrowFrom("AShooterPlayerController.GetUniqueNetIdAsUINT64");
  game().Leave(kRex);
  game().Leave(kAnn);

  EXPECT_EQ(BodiesTo(kLeave),
            std::vector<std::string>{R"({"mapId":"the-island","platformId":"76561198000000002"})"});
  EXPECT_EQ(game().CallCount("AShooterGameMode.Logout"), 4);
  ASSERT_EQ(game().HandledLogouts().size(), 4u);
  EXPECT_TRUE(game().HandledLogouts()[0].controller_was_null);
  EXPECT_EQ(game().HandledLogouts()[2].player, kRex);
  EXPECT_EQ(
      LinesAfterLoad(),
      std::vector<std::string>{"[warning] Palaverlink: logout hook failed unexpectedly: simulated failure in "
                               "AShooterPlayerController.GetUniqueNetIdAsUINT64"});
}

TEST_F(Sessions, LogoutWhileTheMapIsUnknownSendsNothingThenOrLater) {
  Load(R"({"SyncIntervalSeconds":10,"OutboundPollSeconds":100000,"Debug":true})");
  game().CreateWorld(u"");
  game().Join(Player(kRex, u"Rex"));

  game().Leave(kRex);
  EXPECT_EQ(game().HandledLogouts().size(), 1u);

  game().DestroyWorld();
  game().CreateWorld(u"TheIsland");
  SyncOnce();
  EXPECT_TRUE(RequestsTo(kLeave).empty());
  EXPECT_EQ(BodiesTo(kSync), std::vector<std::string>{R"({"mapId":"the-island","players":[]})"});
}

TEST_F(Sessions, LogoutWithTheLinkDownIsDroppedAndTheGameStillLogsOut) {
  LoadOnMap();
  game().Join(Player(kRex, u"Rex"));
  SyncOnce();
  host().Complete(RequestsTo(kSync)[0].id, false, "HTTP 502 Bad Gateway");

  game().Leave(kRex);

  EXPECT_TRUE(RequestsTo(kLeave).empty());
  EXPECT_EQ(game().HandledLogouts().size(), 1u);
}

}  // namespace
}  // namespace palaverlink::testing
