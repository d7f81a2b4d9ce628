// The pure rules of the chat relay: which send modes are relayed and how an outbound answer is read.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chat/answer_walk.h"
#include "chat/broadcast.h"
#include "chat/chat_hook.h"
#include "chat/outbound_message.h"

namespace palaverlink {
namespace {

// A server's clock in 2023, and nothing shown before.
constexpr std::int64_t kNowMs = 1'700'000'000'000;

WalkedAnswer Walk(std::string_view text, std::int64_t cursor) {
  static const ShownMemory nothing_shown;
  return WalkOutboundAnswer(text, {cursor, kNowMs, nothing_shown});
}

TEST(RelayedChannel, FollowsTheSendModeTableAndTheThreeSwitches) {
  struct Case {
    int mode;
    bool global, tribe, alliance;
    std::optional<std::string_view> channel;
  };
  const std::vector<Case> table = {
      {0, true, false, false, "global"},     {0, false, true, true, std::nullopt},
      {1, false, true, false, "tribe"},      {1, true, false, true, std::nullopt},
      {3, false, false, true, "alliance"},   {3, true, true, false, std::nullopt},
      {2, true, true, true, std::nullopt},   {4, true, true, true, std::nullopt},
      {-1, true, true, true, std::nullopt},  {INT32_MIN, true, true, true, std::nullopt},
      {256, true, true, true, std::nullopt},
  };
  for (const auto& c : table) {
    SCOPED_TRACE(c.mode);
    PluginSettings settings;
    settings.RelayGlobalChat = c.global;
    settings.RelayTribeChat = c.tribe;
    settings.RelayAllianceChat = c.alliance;
    EXPECT_EQ(RelayedChannel(c.mode, settings), c.channel);
  }
}

TEST(OutboundAnswer, CreatedAtIsWholeMillisecondsOrMakesTheElementMalformed) {
  struct Case {
    const char* value;
    std::optional<std::int64_t> createdAt;
  };
  const std::vector<Case> table = {
      {"1700000000123", 1700000000123},
      {"-42", -42},
      {"12345678", 12345678},
      {"-123456789012345678", -123456789012345678},
      {"100000009", 100000009},
      {"1700000000123.999", 1700000000123},
      {"-1.5", -1},
      {"0.25", 0},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", std::nullopt},
      {"1e300", std::nullopt},
      {"-1e300", std::nullopt},
      {"true", std::nullopt},
      {"null", std::nullopt},
      {"\"1700000000123\"", std::nullopt},
      {"[1]", std::nullopt},
  };
  for (const auto& c : table) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(ReadCreatedAt(c.value), c.createdAt);
    // In an answer: a usable time is shown (or, at the least time, not after any cursor); an
    // unusable one makes the element malformed.
    const WalkedAnswer walked =
        Walk(std::string(R"({"messages":[{"message":"m","createdAt":)") + c.value + "}]}", INT64_MIN);
    EXPECT_EQ(walked.chosen.size() + walked.stale, c.createdAt ? 1u : 0u);
    EXPECT_EQ(walked.malformed, c.createdAt ? 0u : 1u);
  }
}

TEST(OutboundAnswer, ReadKeyOfAnotherTypeSkipsTheElementButKeepsItsTime) {
  const std::vector<std::string> malformed = {
      R"({"createdAt":9,"author":null})",         R"({"createdAt":9,"message":1})",
      R"({"createdAt":9,"kind":false})",          R"({"createdAt":9,"kind":"map","sourceMapName":[]})",
      R"({"createdAt":9,"author":{"name":"x"}})",
  };
  for (const auto& element : malformed) {
    SCOPED_TRACE(element);
    const std::string answer = R"({"messages":[)" + element + "]}";
    const WalkedAnswer walked = Walk(answer, 0);
    ASSERT_EQ(walked.chosen.size(), 1u);
    EXPECT_EQ(walked.chosen[0].createdAt, 9);
    EXPECT_FALSE(ReadOutboundMessage(walked.chosen[0].text));
  }
  // The source map is not read for lines from the outside platform.
  EXPECT_TRUE(ReadOutboundMessage(R"({"kind":"gabblen","sourceMapName":0})"));

  const WalkedAnswer not_objects = Walk(R"({"messages":[1,"x",null,[],true]})", 0);
  EXPECT_TRUE(not_objects.chosen.empty());
  EXPECT_EQ(not_objects.malformed, 5u);
}

TEST(OutboundAnswer, ShapeOfTheWholeAnswer) {
  struct Case {
    const char* text;
    AnswerShape shape;
  };
  const std::vector<Case> table = {
      {" \n{\"messages\":[]}\t ", AnswerShape::kMessages},
      {"null", AnswerShape::kMissingMessages},
      {"42", AnswerShape::kMissingMessages},
      {R"({"messages":"[]"})", AnswerShape::kMissingMessages},
      {R"({"Messages":[]})", AnswerShape::kMissingMessages},
      {"<html>", AnswerShape::kUnparsable},
      {R"({"messages":[]}})", AnswerShape::kUnparsable},
      {R"(/* c */ {"messages":[]})", AnswerShape::kUnparsable},
      // Text that is not UTF-8 costs its characters, not the answer; all else stays strict.
      {"{\"messages\":[{\"message\":\"\xff\"}]}", AnswerShape::kMessages},
      {R"({"messages":[{"message":"Nice catch \ud83d"}]})", AnswerShape::kMessages},
      {R"({"messages":[{"message":"\ude00\ud83d\u0041"}]})", AnswerShape::kMessages},
      {R"({"messages":[{"message":"\ud83d\u00ZZ"}]})", AnswerShape::kUnparsable},
      {"{\"messages\":[{\"message\":\"a\nb\"}]}", AnswerShape::kUnparsable},
      {"{\"messages\xff\":[]}", AnswerShape::kMissingMessages},
      {"\xff{\"messages\":[]}", AnswerShape::kUnparsable},
  };
  for (const auto& c : table) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Walk(c.text, 0).shape, c.shape);
  }
}

TEST(OutboundAnswer, ExcerptIsTheFirstTwoHundredBytesEvenInsideACharacter) {
  EXPECT_EQ(AnswerExcerpt("short"), "short");
  const std::string text = std::string(199, 'a') + "\xC3\xA9" + "tail";
  EXPECT_EQ(AnswerExcerpt(text), std::string(199, 'a') + "\xC3");
  EXPECT_EQ(AnswerExcerpt(std::string(200, 'b')).size(), 200u);
}

}  // namespace
}  // namespace palaverlink
