#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "log_lines.h"
#include "support/plugin_fixture.h"

namespace palaverlink::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

constexpr char kChatHandler[] = "AShooterPlayerController.ServerSendChatMessage_Implementation";
constexpr char kLogout[] = "AShooterGameMode.Logout";
constexpr char kNewPlayer[] = "AShooterGameMode.HandleNewPlayer_Implementation";

class Startup : public PluginFixture {
 protected:
  std::vector<PluginLine> Lines() { return SplitPluginLines(PluginLog()); }
  std::string ConfigPath() { return host().Root().string() + "/ArkApi/Plugins/Palaverlink/config.json"; }
};

TEST_F(Startup, WithoutAConfigFileStaysInert) {
  LoadWithoutConfig();
  EXPECT_THAT(Lines(), ElementsAre(Error("Config error: Could not open " + ConfigPath())));
  EXPECT_THAT(host().InstalledHooks(), IsEmpty());
  EXPECT_THAT(host().TimerIntervals(), IsEmpty());
  Advance(std::chrono::minutes(5));
  EXPECT_THAT(env().Requests(), IsEmpty());
}

TEST_F(Startup, EmptyObjectRunsWithTheDefaults) {
  Load("{}");
  EXPECT_THAT(
      Lines(),
      ElementsAre(Info("Palaverlink loaded. Bridge=http://127.0.0.1:8765 Map=<auto-detect> Debug=off")));
  EXPECT_THAT(host().InstalledHooks(), UnorderedElementsAre(kChatHandler, kLogout, kNewPlayer));
  EXPECT_THAT(host().TimerIntervals(), ElementsAre(3, 1, 60, 1, 30));
}

TEST_F(Startup, LoadedLineShowsTheSettingsAsHeld) {
  Load(R"({"BridgeUrl":"http://10.0.0.5:9000///","Debug":true,"MapId":"TheIsland","OutboundPollSeconds":7,
           "SyncIntervalSeconds":120})");
  EXPECT_THAT(Lines(),
              ElementsAre(Info("Palaverlink loaded. Bridge=http://10.0.0.5:9000 Map=TheIsland Debug=on")));
  EXPECT_THAT(host().TimerIntervals(), ElementsAre(7, 1, 120, 1, 30));
}

struct ConfigCase {
  std::string name;
  std::string config;
  std::string loaded_or_error;  // the one plug-in line of the start-up
  std::vector<int> intervals;   // poll, its pace, sync, the sync's second, probe; empty: inert
};

class ConfigFile : public Startup, public ::testing::WithParamInterface<ConfigCase> {};

TEST_P(ConfigFile, GivesTheExpectedStartUp) {
  const ConfigCase& c = GetParam();
  Load(c.config);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  if (c.intervals.empty()) {
    EXPECT_EQ(lines[0], Error("Config error: " + c.loaded_or_error));
    EXPECT_THAT(host().InstalledHooks(), IsEmpty());
    EXPECT_THAT(host().TimerIntervals(), IsEmpty());
  } else {
    EXPECT_EQ(lines[0], Info("Palaverlink loaded. " + c.loaded_or_error));
    EXPECT_EQ(host().TimerIntervals(), c.intervals);
  }
}

std::string CaseName(const ::testing::TestParamInfo<ConfigCase>& param_info) { return param_info.param.name; }

const std::string kDefaultsLoaded = "Bridge=http://127.0.0.1:8765 Map=<auto-detect> Debug=off";

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigFile,
    ::testing::Values(
        ConfigCase{"quoted_number",
                   R"({"BridgeUrl":"http://b:1/","ApiKey":"k","MapId":"m","SyncIntervalSeconds":5,
                      "OutboundPollSeconds":"5","Debug":true})",
                   "[json.exception.type_error.302] type must be number, but is string",
                   {}},
        ConfigCase{"debug_as_number",
                   R"({"Debug":1})",
                   "[json.exception.type_error.302] type must be boolean, but is number",
                   {}},
        ConfigCase{"api_key_null",
                   R"({"ApiKey":null})",
                   "[json.exception.type_error.302] type must be string, but is null",
                   {}},
        ConfigCase{"array_document",
                   R"(["BridgeUrl"])",
                   "[json.exception.type_error.306] cannot use value() with array",
                   {}},
        ConfigCase{
            "trailing_comma",
            "{\"Debug\":true,\n}",
            "[json.exception.parse_error.101] parse error at line 2, column 1: syntax error while parsing "
            "object key - unexpected '}'; expected string literal",
            {}},
        ConfigCase{
            "unclosed_comment",
            "{} /* note",
            "[json.exception.parse_error.101] parse error at line 1, column 11: syntax error while parsing "
            "value - invalid comment; missing closing '*/'; last read: '{} /* note'; expected end of input",
            {}},
        ConfigCase{
            "empty_file",
            "",
            "[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while parsing "
            "value - unexpected end of input; expected '[', '{', or a literal",
            {}},
        ConfigCase{"float_beyond_32_bits",
                   R"({"SyncIntervalSeconds":1e10})",
                   "[config] SyncIntervalSeconds: 1e+10 is outside the 32-bit integer range",
                   {}},
        ConfigCase{"integer_beyond_32_bits",
                   R"({"SyncIntervalSeconds":4294967356})",
                   "[config] SyncIntervalSeconds: 4294967356 is outside the 32-bit integer range",
                   {}},
        ConfigCase{"interval_just_beyond_32_bits",
                   R"({"OutboundPollSeconds":2147483648})",
                   "[config] OutboundPollSeconds: 2147483648 is outside the 32-bit integer range",
                   {}},
        ConfigCase{"api_key_with_line_break",
                   R"({"ApiKey":"s3cret\r\nX-Forged: 1"})",
                   "[config] ApiKey holds a control character, which no HTTP header can carry",
                   {}},
        ConfigCase{"map_id_with_line_break",
                   R"({"MapId":"a\nb\u0001"})",
                   "Bridge=http://127.0.0.1:8765 Map=a\\nb\\x01 Debug=off",
                   {3, 1, 60, 1, 30}},
        ConfigCase{"map_id_with_carriage_return",
                   R"({"MapId":"a\rb"})",
                   "Bridge=http://127.0.0.1:8765 Map=a\\rb Debug=off",
                   {3, 1, 60, 1, 30}},
        ConfigCase{"map_id_with_terminal_escape",
                   R"({"MapId":"\u001b[2Jgone"})",
                   "Bridge=http://127.0.0.1:8765 Map=\\x1B[2Jgone Debug=off",
                   {3, 1, 60, 1, 30}},
        ConfigCase{"map_id_with_next_line_and_c1_controls",
                   R"({"MapId":"a\u0085b\u009B2Jc\u0080"})",
                   "Bridge=http://127.0.0.1:8765 Map=a\\u0085b\\u009B2Jc\\u0080 Debug=off",
                   {3, 1, 60, 1, 30}},
        ConfigCase{"map_id_with_line_and_paragraph_separators",
                   R"({"MapId":"a\u2028b\u2029c"})",
                   "Bridge=http://127.0.0.1:8765 Map=a\\u2028b\\u2029c Debug=off",
                   {3, 1, 60, 1, 30}},
        ConfigCase{"map_id_with_bidi_controls",
                   R"({"MapId":"\u202Agnp\u202B\u202C\u202D\u202E.exe\u2066\u2067\u2068\u2069\u2027\u206A"})",
                   "Bridge=http://127.0.0.1:8765 Map=\\u202Agnp\\u202B\\u202C\\u202D\\u202E.exe\\u2066\\u2067"
                   "\\u2068\\u2069\u2027\u206A Debug=off",
                   {3, 1, 60, 1, 30}},
        ConfigCase{"interval_true", R"({"SyncIntervalSeconds":true})", kDefaultsLoaded, {3, 1, 1, 1, 30}},
        ConfigCase{"interval_cut",
                   R"({"SyncIntervalSeconds":2.9,"OutboundPollSeconds":1.5})",
                   kDefaultsLoaded,
                   {1, 1, 2, 1, 30}},
        ConfigCase{"interval_zero",
                   R"({"OutboundPollSeconds":0})",
                   "[config] OutboundPollSeconds: 0 is not a positive number of seconds",
                   {}},
        ConfigCase{"interval_cut_below_zero",
                   R"({"SyncIntervalSeconds":-2.9})",
                   "[config] SyncIntervalSeconds: -2 is not a positive number of seconds",
                   {}},
        ConfigCase{"fraction_of_a_line",
                   R"({"OutageBufferLines":5.99})",
                   "[config] OutageBufferLines: 5.99 is not a whole number",
                   {}},
        ConfigCase{"long_poll_and_outage_buffer_on",
                   R"({"OutboundWaitSeconds":5,"OutageBufferLines":200})",
                   kDefaultsLoaded + " OutboundWaitSeconds=5 OutageBufferLines=200",
                   {3, 1, 60, 1, 30}},
        ConfigCase{"only_outage_buffer_on",
                   R"({"OutboundWaitSeconds":0,"OutageBufferLines":1})",
                   kDefaultsLoaded + " OutageBufferLines=1",
                   {3, 1, 60, 1, 30}},
        ConfigCase{"comments_and_bom",
                   "\xEF\xBB\xBF// Palaverlink\n{\"MapId\":\"ragnarok\"} /* done */\n",
                   "Bridge=http://127.0.0.1:8765 Map=ragnarok Debug=off",
                   {3, 1, 60, 1, 30}},
        ConfigCase{"other_letter_case",
                   R"({"debug":true,"MAPID":"x","bridgeurl":"http://x"})",
                   kDefaultsLoaded,
                   {3, 1, 60, 1, 30}},
        ConfigCase{"key_twice",
                   R"({"MapId":"first","MapId":"second"})",
                   "Bridge=http://127.0.0.1:8765 Map=second Debug=off",
                   {3, 1, 60, 1, 30}},
        ConfigCase{"only_slashes",
                   R"({"BridgeUrl":"///"})",
                   "Bridge= Map=<auto-detect> Debug=off",
                   {3, 1, 60, 1, 30}},
        ConfigCase{"braces_in_values",
                   R"({"MapId":"{}","BridgeUrl":"http://h/{0}"})",
                   "Bridge=http://h/{0} Map={} Debug=off",
                   {3, 1, 60, 1, 30}}),
    CaseName);

TEST_F(Startup, InertPluginNeverTalksToTheBot) {
  game().CreateWorld(u"TheIsland");
  game().Join({5, u"Player", u"acct", u"tribe", true});
  Load(R"({"Debug":1})");
  game().Chat(5, u"hello", 0);
  Advance(std::chrono::minutes(3));
  game().Leave(5);
  EXPECT_THAT(env().Requests(), IsEmpty());
  ASSERT_EQ(game().HandledChats().size(), 1u);
  EXPECT_EQ(game().HandledLogouts().size(), 1u);
  EXPECT_EQ(Lines().size(), 1u);
}

}  // namespace
}  // namespace palaverlink::testing
