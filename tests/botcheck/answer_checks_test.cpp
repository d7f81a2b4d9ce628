// What botcheck finds in an answer to the outbound poll, rule by rule, on answer texts alone.
#include "botcheck/answer_checks.h"
#include "botcheck/http_client.h"
#include "botcheck/plugin_requests.h"

#include <gtest/gtest.h>

#include "link/request_outcome.h"

#include <string>
#include <vector>

namespace botcheck {
namespace {

struct ReadingRow {
  const char* answer;
  OutboundShape shape;
  std::size_t count;
  std::vector<std::int64_t> created;
  const char* problem;  // the start of the first problem, "" for none
};

class ReadOutboundTest : public testing::TestWithParam<ReadingRow> {};

TEST_P(ReadOutboundTest, ReadsAsThePluginDoes) {
  const ReadingRow& row = GetParam();
  const OutboundReading reading = ReadOutbound(row.answer);
  EXPECT_EQ(reading.shape, row.shape);
  EXPECT_EQ(reading.count, row.count);
  EXPECT_EQ(reading.createdAt, row.created);
  if (std::string(row.problem).empty()) {
    EXPECT_TRUE(reading.problems.empty()) << reading.problems.front();
  } else {
    ASSERT_FALSE(reading.problems.empty());
    EXPECT_TRUE(reading.problems.front().starts_with(row.problem)) << reading.problems.front();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ReadOutboundTest,
    testing::Values(
        ReadingRow{R"({"messages":[]})", OutboundShape::kMessages, 0, {}, ""},
        ReadingRow{"<html>502</html>", OutboundShape::kUnparsable, 0, {}, ""},
        ReadingRow{"", OutboundShape::kUnparsable, 0, {}, ""},
        ReadingRow{R"([{"messages":[]}])", OutboundShape::kMissingMessages, 0, {}, ""},
        ReadingRow{R"({"items":[]})", OutboundShape::kMissingMessages, 0, {}, ""},
        ReadingRow{R"({"messages":{}})", OutboundShape::kMissingMessages, 0, {}, ""},
        ReadingRow{
            R"({"messages":[{"author":"Mod","createdAt":1718000000000,"kind":"gabblen","message":"hi"}]})",
            OutboundShape::kMessages,
            1,
            {1718000000000},
            ""},
        ReadingRow{
            R"({"messages":[{"author":"A","createdAt":"1718000000000","kind":"gabblen","message":"m"}]})",
            OutboundShape::kMessages,
            1,
            {},
            "messages[0] createdAt is string"},
        ReadingRow{
            R"({"messages":[{"author":"A","createdAt":1718000000000.5,"kind":"gabblen","message":"m"}]})",
            OutboundShape::kMessages,
            1,
            {},
            "messages[0] createdAt 1718000000000.5 is not a whole"},
        ReadingRow{R"({"messages":[{"author":"A","kind":"gabblen","message":"m"}]})",
                   OutboundShape::kMessages,
                   1,
                   {},
                   "messages[0] has no createdAt"},
        ReadingRow{R"({"messages":[{"author":"A","createdAt":5,"kind":"map","message":"m"}]})",
                   OutboundShape::kMessages,
                   1,
                   {5},
                   "messages[0] is of kind \"map\" but has no sourceMapName"},
        ReadingRow{
            R"({"messages":[{"author":"A","createdAt":5,"kind":"map","message":"m","sourceMapName":"X"},)"
            R"({"author":null,"createdAt":6,"kind":"gabblen","message":"m"}]})",
            OutboundShape::kMessages,
            2,
            {5, 6},
            "messages[1] author is null"},
        ReadingRow{R"({"messages":[{"author":"A","createdAt":7,"message":"m"}]})",
                   OutboundShape::kMessages,
                   1,
                   {7},
                   "messages[0] has no kind"},
        ReadingRow{R"({"messages":[3]})", OutboundShape::kMessages, 1, {}, "messages[0] is number"}));

TEST(CreatedAtRulesTest, MillisecondsFromNowOn) {
  constexpr std::int64_t now = 1718000000000;
  EXPECT_FALSE(CreatedAtUnitProblem({now - 86'400'000, now, now + 60'000}, now));
  EXPECT_NE(CreatedAtUnitProblem({now, now / 1000}, now)->find("seconds"), std::string::npos);
  EXPECT_NE(CreatedAtUnitProblem({now * 1000}, now)->find("future"), std::string::npos);
  EXPECT_NE(CreatedAtUnitProblem({now * 1000}, now)->find("looks like microseconds"), std::string::npos);
  // A day since boot in microseconds: neither seconds nor any unit since 1970.
  EXPECT_NE(
      CreatedAtUnitProblem({86'400'000'000}, now)->find("perhaps a time since the bot's machine started"),
      std::string::npos);
}

TEST(CreatedAtRulesTest, StampOfARelayedLineWithinFiveSecondsOfOurClock) {
  constexpr std::int64_t sent = 1718000000000;
  constexpr std::int64_t answered = sent + 40;
  struct Row {
    std::int64_t createdAt;
    const char* problem;  // empty: none
  };
  for (const Row& row :
       {Row{sent + 20, ""}, Row{sent - 5'000, ""}, Row{answered + 5'000, ""},
        Row{sent - 3'600'000,
            "a line sent at 1718000000000 by this machine's clock got createdAt 1717996400000: "
            "the bot's clock is about 3600 s behind"},
        Row{sent - 3'599'999,
            "a line sent at 1718000000000 by this machine's clock got createdAt 1717996400001: "
            "the bot's clock is about 3600 s behind"},
        Row{answered + 61'000,
            "a line sent at 1718000000000 by this machine's clock got createdAt 1718000061040: "
            "the bot's clock is about 61 s ahead"},
        Row{sent * 1000, nullptr}}) {
    SCOPED_TRACE(row.createdAt);
    const auto problem = ClockSkewProblem(sent, answered, row.createdAt);
    if (row.problem == nullptr) {
      ASSERT_TRUE(problem);
      EXPECT_NE(problem->find("s ahead"), std::string::npos);
    } else if (*row.problem == '\0') {
      EXPECT_FALSE(problem) << *problem;
    } else {
      EXPECT_EQ(problem, std::optional<std::string>(row.problem));
    }
  }
}

TEST(CreatedAtRulesTest, TwinsAndSince) {
  EXPECT_FALSE(DuplicateCreatedAtProblem({3, 1, 2}));
  EXPECT_EQ(*DuplicateCreatedAtProblem({3, 1, 3}), "two messages share createdAt 3");
  EXPECT_FALSE(SinceProblem(10, {11, 12}));
  EXPECT_EQ(*SinceProblem(10, {11, 10}), "asked with since=10, answered a message with createdAt 10");
}

// What the plug-in makes of an answer, status by status: botcheck hands the plug-in's own reading
// the reply its host adapter would make.
TEST(FailureReadingTest, RefusalKeyOrLostLink) {
  using palaverlink::RequestVerdict;
  struct Row {
    bool reached;
    long status;
    RequestVerdict reading;
    const char* error = "";
  };
  for (const Row& row :
       {Row{true, 200, RequestVerdict::kSuccess}, Row{true, 204, RequestVerdict::kSuccess},
        Row{true, 400, RequestVerdict::kRefused}, Row{true, 403, RequestVerdict::kRefused},
        Row{true, 404, RequestVerdict::kRefused}, Row{true, 413, RequestVerdict::kRefused},
        Row{true, 499, RequestVerdict::kRefused}, Row{true, 401, RequestVerdict::kKeyRejected},
        Row{true, 408, RequestVerdict::kLinkLost}, Row{true, 429, RequestVerdict::kLinkLost},
        Row{true, 301, RequestVerdict::kLinkLost}, Row{true, 500, RequestVerdict::kLinkLost},
        Row{true, 503, RequestVerdict::kLinkLost},
        Row{false, 0, RequestVerdict::kLinkLost, "Timeout was reached"},
        Row{false, 404, RequestVerdict::kLinkLost, "Couldn't connect to server"}}) {
    HttpAnswer answer;
    answer.reached = row.reached;
    answer.status = row.status;
    answer.error = row.error;
    EXPECT_EQ(palaverlink::ReadOutcome(answer.AsHostReply()).verdict, row.reading) << row.status;
  }
}

// Text from the bot reaches the report with control characters escaped, so that it cannot rewrite the
// terminal (a carriage return over a FAIL line), and an empty body says so.
TEST(PrintableTest, EscapesControlCharactersCutsLongTextsAndNamesAnEmptyBody) {
  EXPECT_EQ(Printable(""), "(empty body)");
  EXPECT_EQ(Printable("\x1B[2K\rok: all\n\tfine\x7F"), "\\x1B[2K\\rok: all\\n\\x09fine\\x7F");
  EXPECT_EQ(Printable("Grüße"), "Grüße");
  EXPECT_EQ(Printable("abcdef", 4), "abcd...");
}

// The poll's query as the plug-in writes it: values percent-encoded, waitSeconds only for a long poll.
TEST(OutboundUrlTest, EncodesTheMapIdAndAddsTheWait) {
  EXPECT_EQ(OutboundUrl("http://bot:1", "the-island_2.~", 5),
            "http://bot:1/api/chat/outbound?mapId=the-island_2.~&since=5");
  EXPECT_EQ(OutboundUrl("http://bot:1", "Ragnarök 2+", 5),
            "http://bot:1/api/chat/outbound?mapId=Ragnar%C3%B6k%202%2B&since=5");
  EXPECT_EQ(OutboundUrl("http://bot:1", "a&since=0#%41", 7, 2),
            "http://bot:1/api/chat/outbound?mapId=a%26since%3D0%23%2541&since=7&waitSeconds=2");
}

TEST(MediaTypeTest, IgnoresParametersAndCase) {
  EXPECT_EQ(MediaType("Application/JSON; charset=utf-8"), "application/json");
  EXPECT_EQ(MediaType("text/html"), "text/html");
  EXPECT_EQ(MediaType(""), "");
}

}  // namespace
}  // namespace botcheck
