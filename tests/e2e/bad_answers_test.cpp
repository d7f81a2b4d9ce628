// Answers that are garbage or slow: a run of garbage answers is reported once and changes nothing; answers
// slower than the poll interval hold the next poll back, so no message is shown twice; what the bot
// still holds is shown once the answers are good again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "devbot_process.h"
#include "devserver_process.h"
#include "link_lines.h"

namespace palaverlink::e2e {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr char kAnn[] = "76561198000000001";
constexpr char kBen[] = "76561198000000002";

class BadAnswers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bot_.started());
    server_ = std::make_unique<DevserverProcess>(root_.path(), BotConfig(bot_.port(), 1));
    ASSERT_TRUE(server_->ready());
    server_->Send("world TheIsland");
    server_->Send(std::string("join ") + kAnn + " Ann");
    server_->Send(std::string("join ") + kBen + " Ben");
    ASSERT_TRUE(WaitUntil([&] { return bot_.KnowsMaps({"the-island"}); }, 10s));
    Say("first");
    ASSERT_TRUE(server_->WaitForShown(kAnn, "[Gabblen] Mod: first", 10s));
  }

  void TearDown() override {
    if (server_) {
      EXPECT_EQ(server_->Quit(), 0);
    }
    EXPECT_EQ(bot_.Stop(), 0);
  }

  void Say(const std::string& text) { ASSERT_TRUE(bot_.Say("Mod", text, "the-island")); }

  // Waits until both players saw `text`, then a little longer for a second copy that should not come.
  void ExpectShownOnceToBoth(const std::vector<std::string>& texts) {
    for (const char* player : {kAnn, kBen}) {
      EXPECT_TRUE(server_->WaitForShown(player, "[Gabblen] Mod: " + texts.back(), 10s)) << player;
    }
    std::this_thread::sleep_for(2500ms);
    std::vector<std::string> expected{"[Gabblen] Mod: first"};
    for (const std::string& text : texts) expected.push_back("[Gabblen] Mod: " + text);
    EXPECT_EQ(server_->ShownTo(kAnn), expected);
    EXPECT_EQ(server_->ShownTo(kBen), expected);
  }

  TempRoot root_{"bad-answers"};
  DevbotProcess bot_{root_.path() / "devbot.stderr"};
  std::unique_ptr<DevserverProcess> server_;
};

TEST_F(BadAnswers, GarbageIsReportedOncePerRunAndWhatTheBotHoldsComesAfterwardsOnce) {
  ASSERT_TRUE(bot_.SetFault("garbage"));
  ASSERT_TRUE(server_->WaitForPluginLines(kUnparsable, 1, 5s));
  Say("held back 1");
  Say("held back 2");
  // Polled every second: some three more garbage answers, and no second warning.
  EXPECT_FALSE(server_->WaitForPluginLines(kUnparsable, 2, 3500ms));
  EXPECT_THAT(server_->ShownTo(kAnn), ElementsAre("[Gabblen] Mod: first"));

  ASSERT_TRUE(bot_.SetFault("none"));
  ExpectShownOnceToBoth({"held back 1", "held back 2"});
  for (const PluginLogLine& line : server_->PluginLog()) {
    if (!line.text.starts_with(kUnparsable)) continue;
    EXPECT_EQ(line.level, "warning");
    EXPECT_THAT(line.text, HasSubstr("<html><body><h1>502 Bad Gateway</h1></body></html>"));
  }
  // Garbage is not a lost link: the poll went on all the time.
  EXPECT_THAT(LinkTransitions(*server_), IsEmpty());
}

TEST_F(BadAnswers, AnswersSlowerThanThePollIntervalShowEveryMessageOnceAndChatStillArrives) {
  // Two and a half poll intervals per answer.
  ASSERT_TRUE(bot_.SetFault("slow", 2500));
  for (const char* text : {"slow 1", "slow 2", "slow 3"}) {
    Say(text);
    std::this_thread::sleep_for(400ms);
  }
  server_->Send(std::string("chat ") + kAnn + " global said while the bot is slow");
  ExpectShownOnceToBoth({"slow 1", "slow 2", "slow 3"});
  std::optional<Json> inbound = bot_.WaitForEvent("inbound", 5s);
  ASSERT_TRUE(inbound);
  EXPECT_EQ(inbound->value("message", ""), "said while the bot is slow");
  EXPECT_THAT(LinkTransitions(*server_), IsEmpty());
  for (const PluginLogLine& line : server_->PluginLog()) EXPECT_EQ(line.level, "info") << line.text;
  ASSERT_TRUE(bot_.SetFault("none"));
}

}  // namespace
}  // namespace palaverlink::e2e
