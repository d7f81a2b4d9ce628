#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "game/game_text.h"
#include "game/player.h"

namespace palaverlink::testing {
namespace {

TEST(PlatformIdText, WritesPlainDecimalDigits) {
  EXPECT_EQ(PlatformIdText(0), "0");
  EXPECT_EQ(PlatformIdText(7), "7");
  EXPECT_EQ(PlatformIdText(76561198000000001ull), "76561198000000001");
  EXPECT_EQ(PlatformIdText(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");
}

TEST(GameStringToUtf8, ConvertsUpToTheTerminator) {
  char16_t text[] = u"Andr\u00E9 \xD83D\xDE00";
  const auto units = static_cast<std::int32_t>(std::size(text));  // the terminator included

  struct Case {
    const char* what;
    GameString string;
    std::string expected;
  };
  const Case cases[] = {
      {"no buffer", GameString{nullptr, 0, 0}, ""},
      {"no buffer but a count", GameString{nullptr, 5, 5}, ""},
      {"count 0", GameString{text, 0, units}, ""},
      {"only the terminator", GameString{text, 1, units}, ""},
      {"first two units", GameString{text, 3, units}, "An"},
      {"whole text", GameString{text, units, units}, "Andr\xC3\xA9 \xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(GameStringToUtf8(c.string), c.expected) << c.what;
}

}  // namespace
}  // namespace palaverlink::testing
