// Unloading while the bot is slow to answer: requests in flight and timers due when the plug-in
// goes. The host must drop them all (nothing may call into the unloaded library), the game goes on
// without the plug-in, and devserver's quit finds no leak, escaped exception or misuse.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "devbot_process.h"
#include "devserver_process.h"

namespace palaverlink::e2e {
namespace {

using namespace std::chrono_literals;
using ::testing::IsEmpty;

constexpr char kAnn[] = "76561198000000001";
constexpr char kBen[] = "76561198000000002";

// The host's line about the unload: how many timers and request completions it dropped.
std::optional<std::pair<int, int>> DroppedAtUnload(const DevserverProcess& server) {
  static const std::regex kUnloaded(
      R"(devhost: unloaded plug-in .* \(dropped (\d+) timer\(s\), (\d+) request completion\(s\)\))");
  for (const std::string& line : server.LogFile()) {
    std::smatch found;
    if (std::regex_search(line, found, kUnloaded)) return std::pair{std::stoi(found[1]), std::stoi(found[2])};
  }
  return std::nullopt;
}

class UnloadInFlight : public ::testing::Test {
 protected:
  // Starts the server against a bot that answers after `delay`, and leaves it with chat lines,
  // polls and session syncs under way.
  void StartBusy(int delay_ms) {
    ASSERT_TRUE(bot_.started());
    ASSERT_TRUE(bot_.SetFault("slow", delay_ms));
    server_ = std::make_unique<DevserverProcess>(root_.path(), BotConfig(bot_.port(), 1));
    ASSERT_TRUE(server_->ready());
    server_->Send("world TheIsland");
    server_->Send(std::string("join ") + kAnn + " Ann");
    server_->Send(std::string("join ") + kBen + " Ben");
    for (int i = 1; i <= 3; ++i)
      server_->Send(std::string("chat ") + kAnn + " global line " + std::to_string(i));
    ASSERT_TRUE(WaitUntil([&] { return bot_.Events("inbound").size() == 3; }, 5s));
    // Let the 1-second timers fire a few times, so polls and syncs wait for their answers too.
    std::this_thread::sleep_until(server_->loaded_at() + 2500ms);
  }

  void ExpectCleanExit(std::chrono::milliseconds within) {
    const Clock::time_point asked = Clock::now();
    EXPECT_EQ(server_->Quit(within), 0);
    EXPECT_LT(Clock::now() - asked, within);
    for (const char* fault : {"leak", "allocator-error", "exception", "misuse"}) {
      EXPECT_THAT(server_->Events(fault), IsEmpty()) << fault;
    }
  }

  void TearDown() override { EXPECT_EQ(bot_.Stop(), 0); }

  TempRoot root_{"unload"};
  DevbotProcess bot_{root_.path() / "devbot.stderr"};
  std::unique_ptr<DevserverProcess> server_;
};

TEST_F(UnloadInFlight, UnloadDropsTimersAndCompletionsAndTheGameGoesOnWithoutThePlugin) {
  StartBusy(3000);
  server_->Send("unload");
  ASSERT_TRUE(
      server_->WaitForEvent([](const Json& event) { return event.value("event", "") == "unloaded"; }, 5s));
  const auto dropped = DroppedAtUnload(*server_);
  ASSERT_TRUE(dropped);
  EXPECT_EQ(dropped->first, 3);   // the poll, the sync and the health probe
  EXPECT_GT(dropped->second, 3);  // at least the three chat lines, and polls and syncs

  // Requests that went out just before the unload may still arrive; after that, nothing more.
  std::this_thread::sleep_for(500ms);
  const std::size_t syncs = bot_.Events("sync").size();
  server_->Send(std::string("chat ") + kAnn + " global after the unload");
  ASSERT_TRUE(server_->WaitForEvent(
      [](const Json& event) {
        return event.value("event", "") == "chat" && event.value("text", "") == "after the unload";
      },
      5s));
  // The slow answers come back while the plug-in is gone.
  std::this_thread::sleep_for(3500ms);
  EXPECT_EQ(bot_.Events("sync").size(), syncs);
  EXPECT_EQ(bot_.Events("inbound").size(), 3u);
  ExpectCleanExit(5s);
}

TEST_F(UnloadInFlight, QuitWithRequestsInFlightEndsPromptlyAndClean) {
  StartBusy(8000);
  ExpectCleanExit(5s);
  const auto dropped = DroppedAtUnload(*server_);
  ASSERT_TRUE(dropped);
  EXPECT_EQ(dropped->first, 3);
  EXPECT_GT(dropped->second, 3);
}

}  // namespace
}  // namespace palaverlink::e2e
