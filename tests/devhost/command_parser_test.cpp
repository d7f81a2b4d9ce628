// devserver's command language: arguments, quotes, escapes, UTF-8 text, and clear rejections.
#include <gmock/gmock.h>

#include "command_parser.h"

namespace devserver {
namespace {

using ::testing::HasSubstr;

template <typename Kind>
Kind Parsed(const std::string& line) {
  ParsedLine parsed = ParseCommand(line);
  EXPECT_TRUE(parsed.error.empty()) << line << ": " << parsed.error;
  EXPECT_TRUE(parsed.command.has_value()) << line;
  if (!parsed.command || !std::holds_alternative<Kind>(*parsed.command)) {
    ADD_FAILURE() << line << " parsed as another command";
    return Kind{};
  }
  return std::get<Kind>(*parsed.command);
}

TEST(CommandParser, WorldTakesOneArgumentQuotedOrNot) {
  EXPECT_EQ(Parsed<WorldCommand>("world TheIsland").map_name, u"TheIsland");
  EXPECT_EQ(Parsed<WorldCommand>("  world\t\"The Center\"  ").map_name, u"The Center");
  EXPECT_EQ(Parsed<WorldCommand>("world \"\"").map_name, u"");
  EXPECT_EQ(Parsed<WorldCommand>("world Ragnarök\r").map_name, u"Ragnarök");
}

TEST(CommandParser, JoinWithOptions) {
  auto join =
      Parsed<JoinCommand>(R"(join 18446744073709551615 "Ann Lee" account="ann \"the\" \\ one" tribe=Wolves)");
  EXPECT_EQ(join.id, 18446744073709551615u);
  EXPECT_EQ(join.character_name, u"Ann Lee");
  EXPECT_EQ(join.account_name, u"ann \"the\" \\ one");
  EXPECT_EQ(join.tribe_name, u"Wolves");
  EXPECT_TRUE(join.has_player_state);

  auto bare = Parsed<JoinCommand>("join 0 Ben nostate");
  EXPECT_EQ(bare.id, 0u);
  EXPECT_EQ(bare.character_name, u"Ben");
  EXPECT_TRUE(bare.account_name.empty());
  EXPECT_FALSE(bare.has_player_state);

  EXPECT_EQ(Parsed<JoinCommand>(R"(join 1 "")").character_name, u"");
}

TEST(CommandParser, EscapesInQuotedArguments) {
  const struct {
    const char* line;
    std::u16string expected;
  } cases[] = {
      {R"(world "a\nb")", u"a\nb"},
      {R"(world "\u00e9\u20AC")", u"é€"},
      {R"(world "\ud83d\udc3a")", u"🐺"},
      {R"(world "\ud83d")", std::u16string(1, char16_t{0xD83D})},
      {R"(world "caf\u00e9 ☕")", u"café ☕"},
      {R"(world pre"mid dle"post)", u"premid dlepost"},
      {R"(world back\slash)", u"back\\slash"},
  };
  for (const auto& c : cases) EXPECT_EQ(Parsed<WorldCommand>(c.line).map_name, c.expected) << c.line;
}

TEST(CommandParser, ChatTextIsTheRestOfTheLineUnlessItIsOneQuotedArgument) {
  const struct {
    const char* line;
    int mode;
    std::u16string text;
  } cases[] = {
      {"chat 5 global hello   there ", 0, u"hello   there "},
      {"chat 5 tribe \"quoted\" and not", 1, u"\"quoted\" and not"},
      {R"(chat 5 local "one \"argument\"\n")", 2, u"one \"argument\"\n"},
      {"chat 5 alliance \"\"", 3, u""},
      {"chat 5 7 /command", 7, u"/command"},
      {"chat 5 -1 ünïcödé 🐺", -1, u"ünïcödé 🐺"},
      {R"(chat 5 0 "unterminated)", 0, u"\"unterminated"},
      {R"(chat 5 0 back\nslash)", 0, u"back\\nslash"},
  };
  for (const auto& c : cases) {
    auto chat = Parsed<ChatCommand>(c.line);
    EXPECT_EQ(chat.id, 5u) << c.line;
    EXPECT_EQ(chat.mode, c.mode) << c.line;
    EXPECT_EQ(chat.text, c.text) << c.line;
  }
}

TEST(CommandParser, OtherCommands) {
  EXPECT_EQ(Parsed<LeaveCommand>("leave 42").id, 42u);
  EXPECT_EQ(Parsed<VanishCommand>("vanish 43").id, 43u);
  EXPECT_EQ(Parsed<SleepCommand>("sleep 1500").duration, std::chrono::milliseconds(1500));
  Parsed<UnloadCommand>("unload");
  Parsed<LoadCommand>("load");
  EXPECT_EQ(Parsed<ReloadCommand>("reload").library, "");
  EXPECT_EQ(Parsed<ReloadCommand>(R"(reload "/srv/new build/Palaverlink.so")").library,
            "/srv/new build/Palaverlink.so");
  Parsed<QuitCommand>("quit");
  // The text of a command as typed, its arguments with it.
  const auto console = Parsed<ConsoleCommand>("console 44 Palaverlink.Status  now");
  EXPECT_EQ(console.id, 44u);
  EXPECT_EQ(console.text, u"Palaverlink.Status  now");
  EXPECT_EQ(Parsed<RconCommand>(R"(rcon "Palaverlink.Status")").text, u"Palaverlink.Status");
}

TEST(CommandParser, BlankLinesAndCommentsAreNothing) {
  for (const char* line : {"", "   ", "\t\r", "# a comment", "   # indented comment"}) {
    ParsedLine parsed = ParseCommand(line);
    EXPECT_FALSE(parsed.command.has_value()) << line;
    EXPECT_TRUE(parsed.error.empty()) << line;
  }
}

TEST(CommandParser, BadLinesAreRejectedWithAReason) {
  const struct {
    const char* line;
    const char* reason;
  } cases[] = {
      {"dance", "unknown command 'dance'"},
      {"World X", "unknown command 'World'"},
      {"world", "world NAME"},
      {"world a b", "world NAME"},
      {R"(world "open)", "unterminated quoted argument"},
      {R"(world "bad \q")", "unknown escape \\q"},
      {R"(world "\u12")", "four hexadecimal digits"},
      {R"(world "\u12G4")", "four hexadecimal digits"},
      {"join 1", "join ID CHARNAME"},
      {"join x Ann", "ID must be an unsigned 64-bit decimal number, not 'x'"},
      {"join -1 Ann", "ID must be"},
      {"join 18446744073709551616 Ann", "ID must be"},
      {"join 1 Ann clan=Wolves", "unknown option 'clan=Wolves'"},
      {"chat 1 global", "TEXT is missing"},
      {"console 1", "console: TEXT is missing"},
      {"console x Palaverlink.Status", "console: ID must be"},
      {"rcon", "expected: rcon TEXT"},
      {"chat 1", "chat ID MODE TEXT"},
      {"chat 1 shout hi", "MODE must be a number or global, tribe, local, alliance, not 'shout'"},
      {"chat 1 99999999999 hi", "MODE must be"},
      {"leave", "leave ID"},
      {"leave 1 2", "leave ID"},
      {"vanish me", "ID must be"},
      {"sleep", "sleep MS"},
      {"sleep -5", "MS must be"},
      {"sleep 1.5", "MS must be"},
      {"sleep 86400001", "MS must be"},
      {"unload now", "unload"},
      {"load it", "load"},
      {"reload a b", "reload [FILE]"},
      {"quit 0", "quit"},
  };
  for (const auto& c : cases) {
    ParsedLine parsed = ParseCommand(c.line);
    EXPECT_FALSE(parsed.command.has_value()) << c.line;
    EXPECT_THAT(parsed.error, HasSubstr(c.reason)) << c.line;
  }
}

}  // namespace
}  // namespace devserver
