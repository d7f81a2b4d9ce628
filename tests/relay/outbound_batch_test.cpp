// The quick reading of an outbound answer against the full one, and the choice of the messages one
// completion shows.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chat/answer_skim.h"
#include "chat/outbound_answer.h"
#include "chat/outbound_batch.h"
#include "chat/poll_pace.h"

namespace palaverlink {
namespace {

// The skim must accept exactly what the full reading accepts, and find the same elements; the one
// exception is a zero byte after the value, where the full reading stops as if the text ended.
TEST(AnswerSkim, AgreesWithTheFullReadingOnEveryText) {
  const std::vector<std::string> texts = {
      R"({"messages":[]})",
      " \t\r\n{ \"messages\" : [ 1 , \"x\" , null , true , false , [ ] , { } ] } ",
      R"({"messages":[{"createdAt":5,"a":{"b":[1,{"c":[[]]}]}}],"other":{"messages":[9]}})",
      R"({"messages":[1],"messages":"no"})",
      R"({"messages":"no","messages":[{"createdAt":1},{"createdAt":2,"createdAt":3}]})",
      R"({"mess\u0061ges":[{"cre\u0061tedAt":7}]})",
      "\xEF\xBB\xBF{\"messages\":[]}",
      "\xEF\xBB{\"messages\":[]}",
      R"({"messages":[{"message":"\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00"}]})",
      R"({"messages":[{"message":"\ud83d"}]})",
      R"({"messages":[{"message":"\ude00"}]})",
      R"({"messages":[{"message":"\ud83d\u0041"}]})",
      R"({"messages":[{"message":"\u12G4"}]})",
      R"({"messages":[{"message":"\x"}]})",
      "{\"messages\":[{\"message\":\"tab\there\"}]}",
      "{\"messages\":[{\"message\":\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"}]}",
      "{\"messages\":[{\"message\":\"\xC0\xAF\"}]}",
      "{\"messages\":[{\"message\":\"\xED\xA0\x80\"}]}",
      "{\"messages\":[{\"message\":\"\xF4\x90\x80\x80\"}]}",
      "{\"messages\":[{\"message\":\"\xE2\x82\"}]}",
      std::string("{\"messages\":[{\"message\":\"a\0b\"}]}", 29),
      R"({"messages":[{"createdAt":-0},{"createdAt":0.5e1},{"createdAt":1E+2},{"createdAt":12e-1}]})",
      R"({"messages":[{"createdAt":01}]})",
      R"({"messages":[{"createdAt":1.}]})",
      R"({"messages":[{"createdAt":.5}]})",
      R"({"messages":[{"createdAt":+1}]})",
      R"({"messages":[{"createdAt":-}]})",
      R"({"messages":[{"createdAt":1e}]})",
      R"({"messages":[{"createdAt":1e309}]})",
      R"({"messages":[{"createdAt":-1e309}]})",
      R"({"messages":[{"createdAt":1e-400}]})",
      R"({"messages":[{"createdAt":0.0000001e314}]})",
      R"({"messages":[{"createdAt":1.7976931348623157e308}]})",
      R"({"messages":[{"createdAt":1.8e308}]})",
      "{\"messages\":[{\"createdAt\":" + std::string(320, '9') + "}]}",
      "{\"messages\":[{\"createdAt\":0." + std::string(400, '0') + "1}]}",
      R"({"messages":[{"createdAt":99999999999999999999}]})",
      R"({"messages":[tru]})",
      R"({"messages":[nul]})",
      R"({"messages":[1,]})",
      R"({"messages":[{"a":1,}]})",
      R"({"messages":[{"a" 1}]})",
      R"({"messages":[{1:1}]})",
      R"({"messages":[]]})",
      R"({"messages":[]})"
      "x",
      R"({"messages":[]} // note)",
      std::string("{\"messages\":[1,{\"message\":\"four\"}]}\0\x0B", 37),
      std::string("{\"messages\":[]}\0", 16),
      std::string("\0{\"messages\":[]}", 16),
      R"({"messages":[{"message":"open})",
      "",
      "   ",
      "[]",
      R"("messages")",
      "null",
      std::string(5000, '[') + std::string(5000, ']'),
      R"({"messages":[)" + std::string(5000, '[') + std::string(5000, ']') + "]}",
      R"({"messages":[)" + std::string(5000, '[') + std::string(4999, ']') + "]}",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 120));
    const SkimmedAnswer skimmed = SkimOutboundAnswer(text);
    const bool zero_byte = text.find('\0') != std::string::npos;
    const nlohmann::json full = zero_byte ? nlohmann::json(nlohmann::json::value_t::discarded)
                                          : nlohmann::json::parse(text, nullptr, false);
    ASSERT_EQ(skimmed.shape == SkimShape::kUnparsable, full.is_discarded());
    if (full.is_discarded()) continue;
    const bool has_messages = full.is_object() && full.contains("messages") && full["messages"].is_array();
    ASSERT_EQ(skimmed.shape == SkimShape::kMessages, has_messages);
    if (!has_messages) continue;
    const auto& elements = full["messages"];
    ASSERT_EQ(skimmed.elements.size(), elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
      EXPECT_EQ(nlohmann::json::parse(skimmed.elements[i].text), elements[i]) << i;
      EXPECT_EQ(skimmed.elements[i].createdAt, outbound_detail::ReadElement(elements[i]).createdAt) << i;
    }
  }
}

using Times = std::vector<std::optional<std::int64_t>>;

TEST(OutboundBatch, TakesTheEarliestWithoutSplittingEqualTimes) {
  constexpr std::int64_t kCursor = 100;
  struct Case {
    const char* what;
    Times times;
    std::size_t limit;
    std::vector<std::size_t> now;
    bool more;
  };
  const std::optional<std::int64_t> unusable;
  const std::vector<Case> table = {
      {"fits: all, answer order", {103, 101, 102}, 3, {0, 1, 2}, false},
      {"empty", {}, 3, {}, false},
      {"plain cut", {101, 102, 103, 104, 105}, 2, {0, 1}, true},
      {"cut by time, not by place", {105, 101, 104, 102, 103}, 2, {1, 3}, true},
      {"equal times straddle the cut: cut before them", {101, 102, 102, 102, 103}, 2, {0}, true},
      {"equal run longer than the limit: all of it", {102, 102, 102, 102, 103}, 2, {0, 1, 2, 3}, true},
      {"equal run to the end", {101, 102, 102, 102}, 2, {0}, true},
      {"one equal run, nothing else", {102, 102, 102}, 2, {0, 1, 2}, false},
      {"old times would be lost: all of them", {90, 95, 99, 100}, 2, {0, 1, 2, 3}, false},
      {"old times first, then new", {90, 95, 101, 102, 103}, 3, {0, 1, 2}, true},
      {"old and a new one equal to the cursor", {90, 100, 101, 102}, 1, {0, 1}, true},
      {"absent time (0) is old", {0, 0, 0, 101}, 2, {0, 1, 2}, true},
      {"unusable times always taken", {unusable, 101, 102, unusable, 103}, 2, {0, 1, 2, 3}, true},
      {"unusable times do not count", {unusable, unusable, unusable, 101}, 1, {0, 1, 2, 3}, false},
      {"limit 0 still moves on", {101, 102}, 0, {0}, true},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.what);
    const OutboundBatch batch = ChooseOutboundBatch(c.times, kCursor, c.limit);
    EXPECT_EQ(batch.now, c.now);
    EXPECT_EQ(batch.more, c.more);
  }
}

// Polls of a bot that answers everything after `since`, until nothing is left: every message is
// shown once, in time order, and each completion shows at most the limit unless one run of equal
// times is longer.
TEST(OutboundBatch, BacklogDrainsOnceInOrderWhateverTheRuns) {
  for (int seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    std::vector<std::int64_t> backlog;
    std::int64_t time = 1000;
    unsigned state = static_cast<unsigned>(seed) * 2654435761u;
    for (int i = 0; i < 300; ++i) {
      state = state * 1103515245u + 12345u;
      if ((state >> 16) % 3 == 0) ++time;  // runs of equal times, some long
      backlog.push_back(time);
    }
    const std::size_t limit = 1 + static_cast<std::size_t>(seed % 7);
    std::int64_t cursor = 999;
    std::vector<std::int64_t> shown;
    for (int poll = 0; poll < 400; ++poll) {
      Times answer;
      for (std::int64_t at : backlog) {
        if (at > cursor) answer.push_back(at);
      }
      const OutboundBatch batch = ChooseOutboundBatch(answer, cursor, limit);
      for (std::size_t index : batch.now) {
        shown.push_back(*answer[index]);
        cursor = std::max(cursor, *answer[index]);
      }
      if (!batch.more) break;
      ASSERT_FALSE(batch.now.empty());
    }
    EXPECT_EQ(shown, backlog);
  }
}

TEST(PollPace, AtOnceOnlyWhenSomethingMovedOrTheBotHeldThePoll) {
  struct Case {
    const char* what;
    bool cursor_moved, more;
    std::int64_t held_ms;
    int wait_seconds;
    bool at_once;
  };
  const Case table[] = {
      {"backlog, long poll off", true, true, 0, 0, true},
      {"answer longer than a batch, nothing new (bot ignores since)", false, true, 0, 0, false},
      {"news, long poll off", true, false, 0, 0, false},
      {"news, long poll on", true, false, 0, 4, true},
      {"empty, held half the wait", false, false, 2000, 4, true},
      {"empty, held just under half", false, false, 1999, 4, false},
      {"empty, held long but long poll off", false, false, 9000, 0, false},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(PollAgainAtOnce({c.cursor_moved, c.more}, c.held_ms, c.wait_seconds), c.at_once);
  }
}

}  // namespace
}  // namespace palaverlink
