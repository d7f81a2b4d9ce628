// A bot message shown to every connected player: one record, a copy with buffers of its own per
// player, the game's allocator clean afterwards.
#include <chrono>
#include <string>
#include <vector>

#include "relay/relay_fixture.h"

namespace palaverlink::testing {
namespace {

class Delivery : public RelayFixture {
 protected:
  void SetUp() override {
    RelayFixture::SetUp();
    Load(R"({"MapId":"the-island"})");
    game().CreateWorld(u"TheIsland");
  }

  // One poll answered with the given "messages" elements.
  void Deliver(const std::string& elements) {
    const auto sent = RequestsTo("/api/chat/outbound").size();
    for (int tick = 0; tick < 3 && RequestsTo("/api/chat/outbound").size() == sent; ++tick) {
      Advance(std::chrono::seconds(3));
    }
    const auto polls = RequestsTo("/api/chat/outbound");
    ASSERT_EQ(polls.size(), sent + 1);
    host().Complete(polls.back().id, true, R"({"messages":[)" + elements + "]}");
  }

  static void ExpectOwnString(const devhost::FString& string, const std::u16string& text) {
    EXPECT_EQ(string.count, static_cast<std::int32_t>(text.size() + 1));
    EXPECT_EQ(string.capacity, string.count);
    EXPECT_NE(string.data, nullptr);
  }
  static void ExpectEmptyString(const devhost::FString& string) {
    EXPECT_EQ(string.data, nullptr);
    EXPECT_EQ(string.count, 0);
    EXPECT_EQ(string.capacity, 0);
  }
};

TEST_F(Delivery, EveryPlayerGetsTheSameRecordOnceInListOrder) {
  game().Join(Player(kRex, u"Rex"));
  game().Join(Player(kAnn, u"Ann"));
  game().Join(Player(kBo, u"Bo"));

  Deliver(R"({"author":"Gus","message":"hello all"})");

  const auto& shown = game().Shown();
  ASSERT_EQ(shown.size(), 3u);
  const std::vector<std::uint64_t> order = {kRex, kAnn, kBo};
  for (std::size_t i = 0; i < shown.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(shown[i].to, order[i]);
    EXPECT_EQ(shown[i].tag, u"[Gabblen]");
    EXPECT_EQ(shown[i].line, u"Gus: hello all");
    const devhost::FChatMessage& record = shown[i].record;
    ExpectOwnString(record.sender_name, u"[Gabblen]");
    ExpectOwnString(record.message, u"Gus: hello all");
    ExpectEmptyString(record.sender_steam_name);
    ExpectEmptyString(record.sender_tribe_name);
    ExpectEmptyString(record.receiver);
    ExpectEmptyString(record.user_id);
    EXPECT_EQ(record.sender_id, 0u);
    EXPECT_EQ(record.sender_team_index, 0);
    EXPECT_EQ(record.received_time, -1.0);
    EXPECT_EQ(record.send_mode, 0u);
    EXPECT_EQ(record.radio_frequency, 0u);
    EXPECT_EQ(record.chat_type, 0u);
    EXPECT_EQ(record.sender_icon, nullptr);
  }
  // Each copy's buffers are the game's to free: a shared buffer would show as a double free.
  EXPECT_TRUE(game().Allocator().Errors().empty());
  EXPECT_EQ(game().Allocator().LiveCount(), 0u);
  EXPECT_EQ(game().CallCount("AShooterPlayerController.ClientChatMessage"), 3);
}

TEST_F(Delivery, EntriesThatNoLongerResolveAreSkipped) {
  game().Join(Player(kRex, u"Rex"));
  game().Join(Player(kAnn, u"Ann"));
  game().Join(Player(kBo, u"Bo"));
  game().Vanish(kAnn);

  Deliver(R"({"message":"still here?"})");

  ASSERT_EQ(game().Shown().size(), 2u);
  EXPECT_EQ(game().Shown()[0].to, kRex);
  EXPECT_EQ(game().Shown()[1].to, kBo);
}

TEST_F(Delivery, NobodyConnectedMeansNoGameCall) {
  Deliver(R"({"message":"anyone?"})");
  EXPECT_TRUE(game().Shown().empty());
  EXPECT_EQ(game().CallCount("AShooterPlayerController.ClientChatMessage"), 0);
}

TEST_F(Delivery, TextArrivesAsTheGamesUtf16WithoutZeroCharacters) {
  game().Join(Player(kRex, u"Rex"));
  struct Case {
    const char* element;
    std::u16string tag, line;
  };
  const std::vector<Case> table = {
      {R"({"author":"Zoë","message":"héllo"})", u"[Gabblen]", u"Zo\u00EB: h\u00E9llo"},
      {R"({"message":"smile \ud83d\ude00 and 😀"})", u"[Gabblen]", u"smile \xD83D\xDE00 and \xD83D\xDE00"},
      // A zero character is a control character: removed, it cuts nothing.
      {R"({"message":"abc\u0000def"})", u"[Gabblen]", u"abcdef"},
      {R"({"message":"\u0000hidden"})", u"[Gabblen]", u"hidden"},
      {R"({"message":"x","kind":"map","sourceMapName":"Ærø\u0000tail"})", u"<\u00C6r\u00F8tail>", u"x"},
      {R"({"author":"","message":""})", u"[Gabblen]", u""},
  };
  std::string elements;
  for (std::size_t i = 0; i < table.size(); ++i) elements += (i ? "," : "") + std::string(table[i].element);
  Deliver(elements);

  const auto& shown = game().Shown();
  ASSERT_EQ(shown.size(), table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    SCOPED_TRACE(table[i].element);
    EXPECT_EQ(shown[i].tag, table[i].tag);
    EXPECT_EQ(shown[i].line, table[i].line);
    if (table[i].line.empty()) {
      ExpectEmptyString(shown[i].record.message);
    } else {
      ExpectOwnString(shown[i].record.message, table[i].line);
    }
    ExpectOwnString(shown[i].record.sender_name, table[i].tag);
  }
}

}  // namespace
}  // namespace palaverlink::testing
