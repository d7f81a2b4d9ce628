// The quick reading of an outbound answer against the full one, and the choice of the messages one
// completion shows.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "chat/answer_walk.h"
#include "chat/outbound_batch.h"
#include "chat/poll_pace.h"
#include "chat/shown_memory.h"
#include "support/mended_json.h"

namespace palaverlink {
namespace {

// The nlohmann reading of createdAt, as the walk must agree with: absent, usable, or unusable.
enum class TimeKind { kAbsent, kUsable, kUnusable };
std::pair<TimeKind, std::int64_t> FullReadingOfCreatedAt(const nlohmann::json& element) {
  const auto found = element.find("createdAt");
  if (found == element.end()) return {TimeKind::kAbsent, 0};
  if (found->is_number_unsigned()) {
    const auto value = found->get<std::uint64_t>();
    if (value > static_cast<std::uint64_t>(INT64_MAX)) return {TimeKind::kUnusable, 0};
    return {TimeKind::kUsable, static_cast<std::int64_t>(value)};
  }
  if (found->is_number_integer()) return {TimeKind::kUsable, found->get<std::int64_t>()};
  if (found->is_number_float()) {
    const double value = std::trunc(found->get<double>());
    if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0)) return {TimeKind::kUnusable, 0};
    return {TimeKind::kUsable, static_cast<std::int64_t>(value)};
  }
  return {TimeKind::kUnusable, 0};
}

// The walk must accept exactly what the full reading accepts, and take the same elements with the
// same times; the one exception is a zero byte after the value, where the full reading stops as if
// the text ended. No text here has more elements than one completion takes.
TEST(AnswerWalk, AgreesWithTheFullReadingOnEveryText) {
  std::vector<std::string> texts = {
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
      // Plain runs read eight bytes at a time, and what ends them at every place in a word.
      "{\"messages\":[{\"message\":\"abcdefghijklmnop\x01qrs\"}]}",
      "{\"messages\":[{\"message\":\"abcdefghijk\xC3\xA9lmnopqrstuvwxyz\"}]}",
      "{\"messages\":[{\"message\":\"abcdefghij\xFFklmnopqrstuvwxyz\"}]}",
      "{\"messages\":[{\"message\":\"abcdefghijklm\\\"nopqrstuvwxyz\\u0041\\n\"}]}",
      "{\"messages\":[{\"message\":\"abcdefghijklmno\x7F\x1F\"}]}",
      // Whole numbers read inline, and the forms that leave that path.
      R"({"messages":[123.5,12e3,7E-2,10,{"createdAt":1234567890123456789},{"createdAt":-12}]})",
      R"({"messages":[123.]})",
      R"({"messages":[1x]})",
      R"({"messages":[12)",
      "12345",
      R"({"messages":[{"createdAt":5},{"cre\u0061tedAt":"x"},{"\u00e9\ud83d\ude00\n":1,"createdAt":6}]})",
      R"({"messages":[{"createdAt":-9223372036854775809},{"createdAt":18446744073709551615},{"createdAt":-0.0}]})",
      // The small values taken at a glance, and their neighbours that need the full reading.
      R"({"messages":[0,-0,0.5,0e1,{},[],{ },[ ]]})",
      "{\"messages\":[\"\",\"a\",\"a\\\"b\",\"\xC3\xA9\",null,true,false]}",
      R"({"messages":[01]})",
      R"({"messages":[00]})",
      R"({"messages":[nullx]})",
      R"({"messages":[truefalse]})",
      R"({"messages":[fals]})",
      R"({"messages":[0)",
      "0",
      // Plain strings as elements, read at once whatever their length.
      "{\"messages\":[\"" + std::string(30, 'x') + "\",\"" + std::string(31, 'x') + "\",\"" +
          std::string(40, 'x') + "\"]}",
      R"({"messages":[1 ,2, 3 , 4]})",
      R"({"messages":[1 2]})",
      R"({"messages":[,1]})",
      R"({"messages":[1,,2]})",
      R"({"messages":[{"createdAt":12345678},{"createdAt":123456789},{"createdAt":1234567812345678}]})",
      R"({"messages":[{"createdAt":-123456789012345678},{"createdAt":1234567.8},{"createdAt":123456789e0}]})",
      R"({"messages":[{"a":0,"createdAt":7,"b":[],"c":{},"d":"x"},{"createdAt":12345678x}]})",
      // The bytes next to the digits, inside the eight a step reads.
      R"({"messages":[{"createdAt":1234:5678}]})",
      R"({"messages":[{"createdAt":1234/5678}]})",
  };
  // Keys and string values whose plain start ends at every place in a word (a value's is read a word
  // at a time) and on both sides of a key's 32 bytes read at a glance: at the closing quote, at an
  // escape, at a character of two bytes, at a control character, and at the end of the text.
  for (std::size_t plain = 0; plain <= 33; ++plain) {
    const std::string run(plain, 'k');
    for (const char* const stop : {"\"", "\\u0041\"", "\xC3\xA9\"", "\x01\""}) {
      texts.push_back("{\"messages\":[{\"" + run + stop + ":1,\"createdAt\":5,\"m\":\"" + run + stop + "}]}");
    }
    texts.push_back("{\"messages\":[{\"" + run);
    texts.push_back("{\"messages\":[{\"m\":\"" + run);
  }
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 120));
    const ShownMemory nothing_shown;
    // Every time in these texts is after the cursor, and none is more than a day ahead of now.
    const WalkedAnswer walked = WalkOutboundAnswer(text, {INT64_MIN, INT64_MAX / 2, nothing_shown});
    const bool zero_byte = text.find('\0') != std::string::npos;
    const nlohmann::json full =
        zero_byte ? nlohmann::json(nlohmann::json::value_t::discarded)
                  : nlohmann::json::parse(testing::MendedForFullParse(text), nullptr, false);
    ASSERT_EQ(walked.shape == AnswerShape::kUnparsable, full.is_discarded());
    if (full.is_discarded()) continue;
    const bool has_messages = full.is_object() && full.contains("messages") && full["messages"].is_array();
    ASSERT_EQ(walked.shape == AnswerShape::kMessages, has_messages);
    if (!has_messages) continue;
    std::vector<nlohmann::json> taken;
    std::vector<std::optional<std::int64_t>> times;
    std::size_t malformed = 0;
    for (const nlohmann::json& element : full["messages"]) {
      const auto [kind, time] = FullReadingOfCreatedAt(element);
      if (!element.is_object() || kind == TimeKind::kUnusable) {
        ++malformed;
      } else if (kind == TimeKind::kUsable && time == INT64_MIN) {
        continue;  // not after the cursor
      } else {
        taken.push_back(element);
        times.push_back(kind == TimeKind::kUsable ? std::optional<std::int64_t>(time) : std::nullopt);
      }
    }
    EXPECT_EQ(walked.malformed, malformed);
    ASSERT_EQ(walked.chosen.size(), taken.size());
    for (std::size_t i = 0; i < taken.size(); ++i) {
      EXPECT_EQ(nlohmann::json::parse(testing::MendedForFullParse(walked.chosen[i].text)), taken[i]) << i;
      EXPECT_EQ(walked.chosen[i].createdAt, times[i]) << i;
    }
  }
}

// Feeds the times (all after the cursor) to the chooser in the answer's order.
OutboundBatch Choose(const std::vector<std::int64_t>& times, std::size_t limit, std::size_t room = SIZE_MAX) {
  OutboundBatchChooser chooser(limit);
  for (std::size_t index = 0; index < times.size(); ++index) chooser.Offer({times[index], index, {}});
  return chooser.Choose(room);
}

std::vector<std::size_t> Indexes(const OutboundBatch& batch) {
  std::vector<std::size_t> indexes;
  for (const TimedElement& element : batch.now) indexes.push_back(element.index);
  return indexes;
}

TEST(OutboundBatch, TakesTheEarliestWithoutSplittingEqualTimes) {
  struct Case {
    const char* what;
    std::vector<std::int64_t> times;
    std::size_t limit;
    std::vector<std::size_t> now;
    std::size_t dropped;
    bool more;
    std::size_t room = SIZE_MAX;  // the limit
  };
  const std::vector<Case> table = {
      {"fits: all, answer order", {103, 101, 102}, 3, {0, 1, 2}, 0, false},
      {"empty", {}, 3, {}, 0, false},
      {"plain cut", {101, 102, 103, 104, 105}, 2, {0, 1}, 0, true},
      {"cut by time, not by place", {105, 101, 104, 102, 103}, 2, {1, 3}, 0, true},
      {"the earliest come last", {105, 104, 103, 102, 101}, 2, {3, 4}, 0, true},
      {"equal times straddle the cut: cut before them", {101, 102, 102, 102, 103}, 2, {0}, 0, true},
      {"equal run longer than the limit: its first ones, the rest dropped",
       {102, 102, 102, 102, 103},
       2,
       {0, 1},
       2,
       true},
      {"equal run longer than the limit, found late", {103, 101, 104, 101, 101}, 2, {1, 3}, 1, true},
      {"equal run to the end", {101, 102, 102, 102}, 2, {0}, 0, true},
      {"one equal run, nothing else", {102, 102, 102}, 2, {0, 1}, 1, false},
      {"limit 0 still moves on", {101, 102}, 0, {0}, 0, true},
      {"less room than the limit: cut at the room", {101, 102, 103, 104}, 4, {0, 1}, 0, true, 2},
      {"a first run longer than the room goes whole up to the limit",
       {102, 102, 102, 103},
       4,
       {0, 1, 2},
       0,
       true,
       2},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.what);
    const OutboundBatch batch = Choose(c.times, c.limit, c.room);
    EXPECT_EQ(Indexes(batch), c.now);
    EXPECT_EQ(batch.dropped, c.dropped);
    EXPECT_EQ(batch.more, c.more);
  }
}

// Polls of a bot that answers everything after `since`, until nothing is left: every message is
// shown once, in time order, each completion shows at most the limit, and of a run of equal times
// longer than the limit only its first ones are shown.
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
    std::vector<std::int64_t> expected;
    for (std::size_t i = 0; i < backlog.size(); ++i) {
      std::size_t run_start = i;
      while (run_start > 0 && backlog[run_start - 1] == backlog[i]) --run_start;
      if (i - run_start < limit) expected.push_back(backlog[i]);
    }
    std::int64_t cursor = 999;
    std::vector<std::int64_t> shown;
    for (int poll = 0; poll < 400; ++poll) {
      std::vector<std::int64_t> answer;
      for (std::int64_t at : backlog) {
        if (at > cursor) answer.push_back(at);
      }
      const OutboundBatch batch = Choose(answer, limit);
      ASSERT_LE(batch.now.size(), limit);
      for (const TimedElement& element : batch.now) {
        shown.push_back(element.createdAt);
        cursor = std::max(cursor, element.createdAt);
      }
      if (!batch.more) break;
      ASSERT_FALSE(batch.now.empty());
    }
    EXPECT_EQ(shown, expected);
  }
}

TEST(PollPace, AtOnceOnlyWhenSomethingMovedOrTheBotHeldThePoll) {
  struct Case {
    const char* what;
    bool cursor_moved, more;
    std::int64_t held_ms;
    int wait_seconds;
    NextPoll next;
  };
  const Case table[] = {
      {"backlog, long poll off: drains", true, true, 0, 0, NextPoll::kDraining},
      {"backlog, long poll on: drains", true, true, 0, 4, NextPoll::kDraining},
      {"answer longer than a batch, nothing new (bot ignores since)", false, true, 0, 0,
       NextPoll::kAtTheTick},
      {"the same, held and long poll on", false, true, 3000, 4, NextPoll::kAtTheTick},
      {"news, long poll off", true, false, 0, 0, NextPoll::kAtTheTick},
      {"news, long poll on (a restamped notice too): paced", true, false, 0, 4, NextPoll::kAtOnce},
      {"empty, held half the wait", false, false, 2000, 4, NextPoll::kAtOnce},
      {"empty, held just under half", false, false, 1999, 4, NextPoll::kAtTheTick},
      {"empty, held long but long poll off", false, false, 9000, 0, NextPoll::kAtTheTick},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(NextPollAfter({c.cursor_moved, c.more}, c.held_ms, c.wait_seconds), c.next);
  }
}

// One bound for everything a completion shows: a backlog's timed messages fill it first, and the
// messages without createdAt get the room they leave.
TEST(AnswerWalk, TimedAndUntimedShareOneBoundTimedFirst) {
  struct Case {
    const char* what;
    std::size_t timed, untimed;
    std::size_t chosen_timed, chosen_untimed, dropped;
  };
  const std::size_t bound = kShownPerCompletion;
  const Case table[] = {
      {"few of each", 3, 2, 3, 2, 0},
      {"untimed fill the room left", bound - 2, 5, bound - 2, 2, 3},
      {"a backlog leaves no room", bound + 5, 3, bound, 0, 3},
      {"untimed alone, up to their own bound", 0, kUnorderedPerCompletion + 2, 0, kUnorderedPerCompletion, 2},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.what);
    // Untimed and timed in turn, so that neither comes first in the answer.
    std::string text = R"({"messages":[)";
    for (std::size_t i = 0, timed = 0, untimed = 0; timed + untimed < c.timed + c.untimed; ++i) {
      text += i > 0 ? "," : "";
      if (untimed < c.untimed && (i % 2 == 1 || timed == c.timed)) {
        text += R"({"message":"u"})";
        ++untimed;
      } else {
        text += R"({"createdAt":)" + std::to_string(100 + i) + "}";
        ++timed;
      }
    }
    const ShownMemory nothing_shown;
    const WalkedAnswer walked = WalkOutboundAnswer(text + "]}", {0, INT64_MAX / 2, nothing_shown});
    const auto timed = static_cast<std::size_t>(
        std::count_if(walked.chosen.begin(), walked.chosen.end(),
                      [](const ChosenElement& e) { return e.createdAt.has_value(); }));
    EXPECT_EQ(timed, c.chosen_timed);
    EXPECT_EQ(walked.chosen.size() - timed, c.chosen_untimed);
    EXPECT_EQ(walked.dropped, c.dropped);
  }
}

// What was shown before is told by all its bytes, however often and next to what it comes again:
// texts of each length the comparison treats its own way.
TEST(AnswerWalk, TakesNoElementShownBeforeAndEveryOtherOne) {
  struct Case {
    std::string shown;
    std::vector<std::string> others;  // each differs from it, and comes after a repeat of it
  };
  const Case table[] = {
      {R"({"message":"a"})", {R"({"message":"b"})", R"({"messagf":"a"})"}},
      {R"({"a":1})", {R"({"a":2})", R"({"b":1})", R"({"a": 1})"}},
      {"{}", {"{ }"}},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.shown);
    ShownMemory shown;
    shown.Remember(c.shown);
    std::string text = R"({"messages":[)" + c.shown;
    for (const std::string& other : c.others) text += "," + c.shown + "," + other;
    const std::string answer = text + "]}";  // the chosen elements are views into it
    const WalkedAnswer walked = WalkOutboundAnswer(answer, {0, INT64_MAX / 2, shown});
    EXPECT_EQ(walked.repeated, c.others.size() + 1);
    std::vector<std::string> chosen;
    for (const ChosenElement& element : walked.chosen) chosen.emplace_back(element.text);
    EXPECT_EQ(chosen, c.others);
  }
  // Two remembered texts in turn, each breaking the other's run.
  const std::string a = R"({"message":"a"})";
  const std::string b = R"({"message":"b"})";
  ShownMemory shown;
  shown.Remember(a);
  shown.Remember("{}");
  const std::string text = R"({"messages":[)" + a + ",{}," + a + "," + b + ",{}," + a + ",{ }]}";
  const WalkedAnswer walked = WalkOutboundAnswer(text, {0, INT64_MAX / 2, shown});
  EXPECT_EQ(walked.repeated, 5u);
  ASSERT_EQ(walked.chosen.size(), 2u);
  EXPECT_EQ(walked.chosen[0].text, b);
  EXPECT_EQ(walked.chosen[1].text, "{ }");
}

// The memory forgets the oldest past its bound and nothing else, however the texts' fingerprints
// fall in its table: lengths from 1 byte (the shortest text) across the eight-byte steps.
TEST(ShownMemory, ForgetsOnlyTheOldestPastItsBound) {
  const auto text = [](std::size_t i) { return std::to_string(i) + std::string(i % 23, 'x'); };
  constexpr std::size_t kMore = 300;
  ShownMemory memory;
  for (std::size_t i = 0; i < kRememberedMessages + kMore; ++i) memory.Remember(text(i));
  memory.Remember(text(kRememberedMessages + kMore - 1));  // once more: not a second entry
  for (std::size_t i = 0; i < kRememberedMessages + kMore; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(memory.Contains(text(i)), i >= kMore) << text(i);
  }
  EXPECT_FALSE(memory.Contains(text(kRememberedMessages + kMore)));
  EXPECT_FALSE(memory.Contains(text(kRememberedMessages + kMore - 1) + " "));
}

}  // namespace
}  // namespace palaverlink
