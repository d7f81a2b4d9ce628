#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "component_fixture.h"
#include "game/player.h"

namespace palaverlink::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Seen {
  std::string id;
  std::string character;
  std::string account;
  std::string tribe;
  std::string speaker;
  bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& seen, std::ostream* out) {
  *out << "{" << seen.id << ", '" << seen.character << "', '" << seen.account << "', '" << seen.tribe
       << "', '" << seen.speaker << "'}";
}

class Players : public ComponentFixture {
 protected:
  std::vector<Seen> Walk() {
    std::vector<Seen> seen;
    ForEachPlayerController([&seen](AShooterPlayerController* controller) {
      seen.push_back({PlatformIdText(GetPlatformId(controller)), GetCharacterName(controller),
                      GetAccountName(controller), GetTribeName(controller), GetSpeakerName(controller)});
    });
    return seen;
  }
};

TEST_F(Players, NoWorldOrNoPlayersVisitsNothing) {
  EXPECT_THAT(Walk(), IsEmpty());
  game().CreateWorld(u"TheIsland");
  EXPECT_THAT(Walk(), IsEmpty());
}

TEST_F(Players, ReadsIdsNamesAndTribesOfEveryConnectedPlayer) {
  game().CreateWorld(u"TheIsland");
  game().Join({76561198000000001ull, u"Andr\u00E9", u"andre_acct", u"Les \u00C9claireurs", true});
  game().Join({0, u"", u"NoCharacterYet", u"", true});
  game().Join({std::numeric_limits<std::uint64_t>::max(), u"Stateless", u"ignored", u"ignored", false});
  game().Join({42, u"\xD83D\xDE00 Smiley", u"s", u"T", true});

  EXPECT_THAT(Walk(),
              ElementsAre(Seen{"76561198000000001", "Andr\xC3\xA9", "andre_acct",
                               "Les \xC3\x89"
                               "claireurs",
                               "Andr\xC3\xA9"},
                          Seen{"0", "", "NoCharacterYet", "", "NoCharacterYet"},
                          Seen{"18446744073709551615", "Stateless", "", "", "Stateless"},
                          Seen{"42", "\xF0\x9F\x98\x80 Smiley", "s", "T", "\xF0\x9F\x98\x80 Smiley"}));
}

TEST_F(Players, SkipsControllersThatNoLongerResolve) {
  game().CreateWorld(u"TheIsland");
  game().Join({1, u"One", u"", u"", true});
  game().Join({2, u"Two", u"", u"", true});
  game().Join({3, u"Three", u"", u"", true});
  game().Vanish(2);
  std::vector<std::string> ids;
  ForEachPlayerController(
      [&ids](AShooterPlayerController* c) { ids.push_back(PlatformIdText(GetPlatformId(c))); });
  EXPECT_THAT(ids, ElementsAre("1", "3"));
}

TEST_F(Players, ReturnsEveryBufferItTakesToTheGame) {
  game().CreateWorld(u"TheIsland");
  game().Join({7, u"Character", u"Account", u"Tribe", true});
  const std::size_t live = game().Allocator().LiveCount();
  for (int i = 0; i < 3; ++i) Walk();
  EXPECT_EQ(game().Allocator().LiveCount(), live);
  EXPECT_GE(game().CallCount("FMemory.Free"), 6);  // the character names and the account-name copies
  EXPECT_THAT(game().Allocator().Errors(), IsEmpty());
}

}  // namespace
}  // namespace palaverlink::testing
