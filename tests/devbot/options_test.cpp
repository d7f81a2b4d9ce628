#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "devbot/options.h"

namespace devbot {
namespace {

using Arguments = std::vector<std::string>;

TEST(Options, DefaultsAndAcceptedForms) {
  struct Case {
    Arguments arguments;
    std::string host;
    int port;
    std::string key;
  };
  for (const Case& c : std::vector<Case>{
           {{}, "127.0.0.1", 8765, ""},
           {{"--listen", "127.0.0.1:0"}, "127.0.0.1", 0, ""},
           {{"--listen=0.0.0.0:9000", "--api-key", "k"}, "0.0.0.0", 9000, "k"},
           {{"--api-key=a=b", "--listen", "[::1]:65535"}, "::1", 65535, "a=b"},
           {{"--listen", "localhost:1", "--listen", "127.0.0.2:2"}, "127.0.0.2", 2, ""},
       }) {
    Parsed<Options> parsed = ParseOptions(c.arguments);
    ASSERT_TRUE(parsed.value) << parsed.error;
    EXPECT_EQ(parsed.value->host, c.host);
    EXPECT_EQ(parsed.value->port, c.port);
    EXPECT_EQ(parsed.value->api_key, c.key);
    EXPECT_FALSE(parsed.value->help);
  }
  EXPECT_TRUE(ParseOptions({"--help"}).value->help);
}

TEST(Options, MistakesAreNamed) {
  struct Case {
    Arguments arguments;
    const char* error_part;
  };
  for (const Case& c : std::vector<Case>{{{"--port", "1"}, "unknown option --port"},
                                         {{"--listen"}, "--listen needs a value"},
                                         {{"--api-key"}, "--api-key needs a value"},
                                         {{"--listen", "8765"}, "HOST:PORT"},
                                         {{"--listen", ":8765"}, "HOST:PORT"},
                                         {{"--listen", "127.0.0.1:"}, "HOST:PORT"},
                                         {{"--listen", "127.0.0.1:65536"}, "HOST:PORT"},
                                         {{"--listen", "127.0.0.1:-1"}, "HOST:PORT"},
                                         {{"--listen", "127.0.0.1:80x"}, "HOST:PORT"}}) {
    Parsed<Options> parsed = ParseOptions(c.arguments);
    EXPECT_FALSE(parsed.value);
    EXPECT_THAT(parsed.error, ::testing::HasSubstr(c.error_part));
  }
}

}  // namespace
}  // namespace devbot
