// The pure rules of the chat relay: which send modes are relayed and how an outbound answer is read.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chat/answer_skim.h"
#include "chat/chat_hook.h"
#include "chat/outbound_answer.h"

namespace palaverlink {
namespace {

// Every element of an answer read in full, as a completion reads those it shows.
std::vector<OutboundElement> ReadAllElements(const std::string& text) {
  std::vector<OutboundElement> elements;
  for (const SkimmedElement& element : SkimOutboundAnswer(text).elements)
    elements.push_back(ReadSkimmedElement(element));
  return elements;
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
    const auto elements =
        ReadAllElements(std::string(R"({"messages":[{"message":"m","createdAt":)") + c.value + "}]}");
    ASSERT_EQ(elements.size(), 1u);
    EXPECT_EQ(elements[0].createdAt, c.createdAt);
    EXPECT_EQ(elements[0].message.has_value(), c.createdAt.has_value());
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
    const auto elements = ReadAllElements(R"({"messages":[)" + element + "]}");
    ASSERT_EQ(elements.size(), 1u);
    EXPECT_EQ(elements[0].createdAt, 9);
    EXPECT_FALSE(elements[0].message);
  }
  // The source map is not read for lines from the outside platform.
  const auto gabblen = ReadAllElements(R"({"messages":[{"kind":"gabblen","sourceMapName":0}]})");
  ASSERT_EQ(gabblen.size(), 1u);
  EXPECT_TRUE(gabblen[0].message);

  const auto not_objects = ReadAllElements(R"({"messages":[1,"x",null,[],true]})");
  ASSERT_EQ(not_objects.size(), 5u);
  for (const auto& element : not_objects) {
    EXPECT_FALSE(element.createdAt);
    EXPECT_FALSE(element.message);
  }
}

TEST(OutboundAnswer, ShapeOfTheWholeAnswer) {
  struct Case {
    const char* text;
    SkimShape shape;
  };
  const std::vector<Case> table = {
      {" \n{\"messages\":[]}\t ", SkimShape::kMessages},
      {"null", SkimShape::kMissingMessages},
      {"42", SkimShape::kMissingMessages},
      {R"({"messages":"[]"})", SkimShape::kMissingMessages},
      {R"({"Messages":[]})", SkimShape::kMissingMessages},
      {"<html>", SkimShape::kUnparsable},
      {R"({"messages":[]}})", SkimShape::kUnparsable},
      {R"(/* c */ {"messages":[]})", SkimShape::kUnparsable},
      {"{\"messages\":[{\"message\":\"\xff\"}]}", SkimShape::kUnparsable},
  };
  for (const auto& c : table) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(SkimOutboundAnswer(c.text).shape, c.shape);
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
