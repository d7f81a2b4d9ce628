// The command line of palaverlink-botcheck.
#include "botcheck/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace botcheck {
namespace {

struct OptionsRow {
  std::vector<std::string> arguments;
  std::string url;  // empty: an error is expected
  std::string api_key;
  std::string map_id;
  int timeout;
};

class OptionsTest : public testing::TestWithParam<OptionsRow> {};

TEST_P(OptionsTest, Parses) {
  const OptionsRow& row = GetParam();
  const ParsedOptions parsed = ParseOptions(row.arguments);
  if (row.url.empty()) {
    EXPECT_FALSE(parsed.options);
    EXPECT_FALSE(parsed.error.empty());
    return;
  }
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->url, row.url);
  EXPECT_EQ(parsed.options->api_key, row.api_key);
  EXPECT_EQ(parsed.options->map_id, row.map_id);
  EXPECT_EQ(parsed.options->timeout_seconds, row.timeout);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, OptionsTest,
    testing::Values(
        OptionsRow{{"http://127.0.0.1:8765"}, "http://127.0.0.1:8765", "", "palaverlink-botcheck", 10},
        OptionsRow{{"http://bot:8765//", "--api-key", "k", "--map-id=the-island", "--timeout", "3"},
                   "http://bot:8765",
                   "k",
                   "the-island",
                   3},
        OptionsRow{{"--api-key=", "https://bot"}, "https://bot", "", "palaverlink-botcheck", 10},
        OptionsRow{{}, "", "", "", 0}, OptionsRow{{"127.0.0.1:8765"}, "", "", "", 0},
        OptionsRow{{"http://a", "http://b"}, "", "", "", 0},
        OptionsRow{{"http://a", "--api-key"}, "", "", "", 0},
        // Any id goes (the query is percent-encoded), but none that would break a report line.
        OptionsRow{{"http://a", "--map-id", "the island"}, "http://a", "", "the island", 10},
        OptionsRow{{"http://a", "--map-id", "a&since=0"}, "http://a", "", "a&since=0", 10},
        OptionsRow{{"http://a", "--map-id", "a\nb"}, "", "", "", 0},
        OptionsRow{{"http://a", "--map-id", ""}, "", "", "", 0},
        OptionsRow{{"http://a", "--timeout", "0"}, "", "", "", 0},
        OptionsRow{{"http://a", "--timeout", "5s"}, "", "", "", 0},
        OptionsRow{{"http://a", "--verbose"}, "", "", "", 0}));

TEST(OptionsHelpTest, NeedsNoUrl) {
  const ParsedOptions parsed = ParseOptions({"--help"});
  ASSERT_TRUE(parsed.options);
  EXPECT_TRUE(parsed.options->help);
}

}  // namespace
}  // namespace botcheck
