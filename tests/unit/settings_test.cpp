#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>

#include "core/settings.h"

namespace palaverlink::testing {
namespace {

// Parses `text` as the configuration file and reads it into fresh defaults. `error` receives the
// message of whatever was thrown.
PluginSettings Read(const std::string& text, std::optional<std::string>* error = nullptr) {
  PluginSettings settings;
  try {
    std::istringstream in(text);
    ReadSettings(ParseConfig(in), settings);
  } catch (const std::exception& e) {
    if (error == nullptr)
      ADD_FAILURE() << "unexpected failure: " << e.what();
    else
      *error = e.what();
  }
  return settings;
}

std::string FailureOf(const std::string& text) {
  std::optional<std::string> error;
  Read(text, &error);
  return error.value_or("(no failure)");
}

TEST(ReadSettings, EmptyObjectKeepsEveryDefault) {
  const PluginSettings read = Read("{}");
  EXPECT_EQ(read.BridgeUrl, "http://127.0.0.1:8765");
  EXPECT_EQ(read.ApiKey, "");
  EXPECT_EQ(read.MapId, "");
  EXPECT_EQ(read.SyncIntervalSeconds, 60);
  EXPECT_EQ(read.OutboundPollSeconds, 3);
  EXPECT_TRUE(read.RelayGlobalChat);
  EXPECT_FALSE(read.RelayTribeChat);
  EXPECT_FALSE(read.RelayAllianceChat);
  EXPECT_FALSE(read.Debug);
}

TEST(ReadSettings, TakesEveryKeyFromTheFile) {
  const PluginSettings read = Read(R"({"BridgeUrl":"http://bot:9/","ApiKey":" k\u00e9y ","MapId":"TheIsland",
      "SyncIntervalSeconds":15,"OutboundPollSeconds":4,"RelayGlobalChat":false,"RelayTribeChat":true,
      "RelayAllianceChat":true,"Debug":true,"Unrelated":[1,2]})");
  EXPECT_EQ(read.BridgeUrl, "http://bot:9");
  EXPECT_EQ(read.ApiKey, " k\xC3\xA9y ");
  EXPECT_EQ(read.MapId, "TheIsland");
  EXPECT_EQ(read.SyncIntervalSeconds, 15);
  EXPECT_EQ(read.OutboundPollSeconds, 4);
  EXPECT_FALSE(read.RelayGlobalChat);
  EXPECT_TRUE(read.RelayTribeChat);
  EXPECT_TRUE(read.RelayAllianceChat);
  EXPECT_TRUE(read.Debug);
}

TEST(ReadSettings, IntegerKeysConvertNumbersAndBooleans) {
  const std::pair<const char*, int> cases[] = {
      {"true", 1},
      {"2.9", 2},
      {"1.5", 1},
      {"7e1", 70},
      {"2147483647", 2147483647},
      {"2147483647.9", 2147483647},
  };
  for (const auto& [json, expected] : cases) {
    EXPECT_EQ(Read(std::string(R"({"SyncIntervalSeconds":)") + json + "}").SyncIntervalSeconds, expected)
        << json;
    EXPECT_EQ(Read(std::string(R"({"OutboundPollSeconds":)") + json + "}").OutboundPollSeconds, expected)
        << json;
  }
}

TEST(ReadSettings, RefusesIntervalsBelowOneAndNumbersOutsideThe32BitRange) {
  // An interval is converted first (false counts as 0, 0.5 as 0, -2.9 as -2), then checked.
  const std::pair<const char*, const char*> cases[] = {
      {R"({"SyncIntervalSeconds":0})", "[config] SyncIntervalSeconds: 0 is not a positive number of seconds"},
      {R"({"OutboundPollSeconds":-1})",
       "[config] OutboundPollSeconds: -1 is not a positive number of seconds"},
      {R"({"OutboundPollSeconds":false})",
       "[config] OutboundPollSeconds: 0 is not a positive number of seconds"},
      {R"({"SyncIntervalSeconds":0.5})",
       "[config] SyncIntervalSeconds: 0 is not a positive number of seconds"},
      {R"({"SyncIntervalSeconds":-2.9})",
       "[config] SyncIntervalSeconds: -2 is not a positive number of seconds"},
      {R"({"OutboundPollSeconds":-2147483648})",
       "[config] OutboundPollSeconds: -2147483648 is not a positive number of seconds"},
      {R"({"OutboundPollSeconds":-2147483648.9})",
       "[config] OutboundPollSeconds: -2147483648 is not a positive number of seconds"},
      {R"({"SyncIntervalSeconds":1e10})",
       "[config] SyncIntervalSeconds: 1e+10 is outside the 32-bit integer range"},
      {R"({"OutboundPollSeconds":2147483648.0})",
       "[config] OutboundPollSeconds: 2147483648 is outside the 32-bit integer range"},
      {R"({"OutboundPollSeconds":-2147483649.0})",
       "[config] OutboundPollSeconds: -2147483649 is outside the 32-bit integer range"},
      {R"({"SyncIntervalSeconds":4294967356})",
       "[config] SyncIntervalSeconds: 4294967356 is outside the 32-bit integer range"},
      {R"({"OutboundPollSeconds":2147483648})",
       "[config] OutboundPollSeconds: 2147483648 is outside the 32-bit integer range"},
      {R"({"OutboundPollSeconds":-2147483649})",
       "[config] OutboundPollSeconds: -2147483649 is outside the 32-bit integer range"},
      {R"({"SyncIntervalSeconds":18446744073709551615})",
       "[config] SyncIntervalSeconds: 18446744073709551615 is outside the 32-bit integer range"},
  };
  for (const auto& [json, message] : cases) EXPECT_EQ(FailureOf(json), message) << json;
}

TEST(ReadSettings, RefusesAnApiKeyThatNoHeaderCanCarryWithoutQuotingIt) {
  for (const char* key :
       {R"(s3cret\r\nX-Admin: 1)", R"(s3cret\n)", R"(\u0000s3cret)", R"(s3\tcret)", R"(s3\u007fcret)"}) {
    EXPECT_EQ(FailureOf(std::string(R"({"ApiKey":")") + key + "\"}"),
              "[config] ApiKey holds a control character, which no HTTP header can carry")
        << key;
  }
  EXPECT_EQ(Read(R"({"ApiKey":"s3cret key \u00e9~!"})").ApiKey, "s3cret key \xC3\xA9~!");
}

TEST(ReadSettings, LongPollAndOutageBufferAreOffByDefaultBoundedAndWhole) {
  const PluginSettings defaults = Read("{}");
  EXPECT_EQ(defaults.OutboundWaitSeconds, 0);
  EXPECT_EQ(defaults.OutageBufferLines, 0);
  struct Case {
    const char* json;
    int wait;
    int buffer;
    const char* failure;
  };
  const Case cases[] = {
      {R"({"OutboundWaitSeconds":5,"OutageBufferLines":10000})", 5, 10000, nullptr},
      {R"({"OutboundWaitSeconds":true,"OutageBufferLines":2.0})", 1, 2, nullptr},
      {R"({"OutboundWaitSeconds":4e0,"OutageBufferLines":1e3})", 4, 1000, nullptr},
      {R"({"OutboundWaitSeconds":0,"OutageBufferLines":0})", 0, 0, nullptr},
      {R"({"OutboundWaitSeconds":6})", 0, 0, "[config] OutboundWaitSeconds: 6 is outside 0 to 5"},
      {R"({"OutboundWaitSeconds":-1})", 0, 0, "[config] OutboundWaitSeconds: -1 is outside 0 to 5"},
      {R"({"OutageBufferLines":10001})", 0, 0, "[config] OutageBufferLines: 10001 is outside 0 to 10000"},
      {R"({"OutageBufferLines":-3})", 0, 0, "[config] OutageBufferLines: -3 is outside 0 to 10000"},
      {R"({"OutageBufferLines":5.99})", 0, 0, "[config] OutageBufferLines: 5.99 is not a whole number"},
      {R"({"OutboundWaitSeconds":-0.5})", 0, 0, "[config] OutboundWaitSeconds: -0.5 is not a whole number"},
      {R"({"OutageBufferLines":10000.5})", 0, 0, "[config] OutageBufferLines: 10000.5 is not a whole number"},
      {R"({"OutageBufferLines":"5"})", 0, 0,
       "[json.exception.type_error.302] type must be number, but is string"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    if (c.failure != nullptr) {
      EXPECT_EQ(FailureOf(c.json), c.failure);
      continue;
    }
    const PluginSettings read = Read(c.json);
    EXPECT_EQ(read.OutboundWaitSeconds, c.wait);
    EXPECT_EQ(read.OutageBufferLines, c.buffer);
  }
}

TEST(ReadSettings, WrongTypesFailWithTheLibraryMessage) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"ApiKey":null})", "[json.exception.type_error.302] type must be string, but is null"},
      {R"({"BridgeUrl":8765})", "[json.exception.type_error.302] type must be string, but is number"},
      {R"({"MapId":["a"]})", "[json.exception.type_error.302] type must be string, but is array"},
      {R"({"OutboundPollSeconds":"5"})",
       "[json.exception.type_error.302] type must be number, but is string"},
      {R"({"SyncIntervalSeconds":null})", "[json.exception.type_error.302] type must be number, but is null"},
      {R"({"SyncIntervalSeconds":{}})", "[json.exception.type_error.302] type must be number, but is object"},
      {R"({"Debug":1})", "[json.exception.type_error.302] type must be boolean, but is number"},
      {R"({"RelayTribeChat":null})", "[json.exception.type_error.302] type must be boolean, but is null"},
      {R"({"RelayGlobalChat":"true"})",
       "[json.exception.type_error.302] type must be boolean, but is string"},
      {"[]", "[json.exception.type_error.306] cannot use value() with array"},
      {R"("text")", "[json.exception.type_error.306] cannot use value() with string"},
      {"null", "[json.exception.type_error.306] cannot use value() with null"},
      {"12", "[json.exception.type_error.306] cannot use value() with number"},
  };
  for (const auto& [json, message] : cases) EXPECT_EQ(FailureOf(json), message) << json;
}

TEST(ReadSettings, FailingKeyLeavesEarlierKeysReadAndLaterOnesDefault) {
  std::optional<std::string> error;
  const PluginSettings read = Read(R"({"Debug":true,"RelayTribeChat":true,"OutboundPollSeconds":"5",
      "SyncIntervalSeconds":9,"MapId":"m","ApiKey":"k","BridgeUrl":"http://b//"})",
                                   &error);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(read.BridgeUrl, "http://b//");  // the slashes go only after all keys are read
  EXPECT_EQ(read.ApiKey, "k");
  EXPECT_EQ(read.MapId, "m");
  EXPECT_EQ(read.SyncIntervalSeconds, 9);
  EXPECT_EQ(read.OutboundPollSeconds, 3);
  EXPECT_FALSE(read.RelayTribeChat);
  EXPECT_FALSE(read.Debug);

  const PluginSettings debug_as_number = Read(R"({"RelayAllianceChat":true,"Debug":1})", &error);
  EXPECT_TRUE(debug_as_number.RelayAllianceChat);
  EXPECT_FALSE(debug_as_number.Debug);
}

TEST(ReadSettings, KeysMatchWithTheirCaseAndTheLastOccurrenceCounts) {
  const PluginSettings read = Read(R"({"debug":true,"bridgeurl":"x","MapId":"first","MapId":"second"})");
  EXPECT_FALSE(read.Debug);
  EXPECT_EQ(read.BridgeUrl, "http://127.0.0.1:8765");
  EXPECT_EQ(read.MapId, "second");
}

TEST(ReadSettings, StripsEveryTrailingSlashOfTheBridgeUrl) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://127.0.0.1:8765///", "http://127.0.0.1:8765"},
      {"http://h/base/", "http://h/base"},
      {"///", ""},
      {"", ""},
      {"http://h/ ", "http://h/ "},
  };
  for (const auto& [given, held] : cases) {
    EXPECT_EQ(Read(std::string(R"({"BridgeUrl":")") + given + "\"}").BridgeUrl, held) << given;
  }
}

}  // namespace
}  // namespace palaverlink::testing
