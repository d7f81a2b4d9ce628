// Unloading while the bot is slow to answer: requests in flight and timers due when the plug-in
// goes. As on a real server the host keeps them and calls them; the plug-in's library stays in
// memory and what it left behind does nothing: no request, no line, no crash, and devserver's quit
// finds no leak, escaped exception or misuse. Loading again starts afresh, once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
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

// The host's line about the unload: how many timers and request completions stay with it, and
// whether the library stays in memory.
struct LeftAtUnload {
  int timers = 0;
  int completions = 0;
  bool library_stays = false;
};

std::optional<LeftAtUnload> LeftBehind(const DevserverProcess& server) {
  static const std::regex kUnloaded(
      R"(devhost: unloaded plug-in .* \((\d+) timer\(s\) and (\d+) request completion\(s\) stay with the host; )"
      R"(the library (stays in memory|is gone from memory)\))");
  for (const std::string& line : server.LogFile()) {
    std::smatch found;
    if (std::regex_search(line, found, kUnloaded))
      return LeftAtUnload{std::stoi(found[1]), std::stoi(found[2]), found[3] == "stays in memory"};
  }
  return std::nullopt;
}

std::size_t LinesContaining(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.find(text) != std::string::npos;
  }));
}

bool IsEvent(const Json& event, const std::string& kind) { return event.value("event", "") == kind; }

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

TEST_F(UnloadInFlight, WhatTheHostKeepsAfterUnloadDoesNothingForTenSeconds) {
  StartBusy(3000);
  server_->Send("unload");
  ASSERT_TRUE(server_->WaitForEvent([](const Json& event) { return IsEvent(event, "unloaded"); }, 5s));
  const auto left = LeftBehind(*server_);
  ASSERT_TRUE(left);
  EXPECT_EQ(left->timers, 5);       // the poll, its pace, the sync, its second and the health probe
  EXPECT_GT(left->completions, 3);  // at least the three chat lines, and polls and syncs
  EXPECT_TRUE(left->library_stays);

  // Requests that went out just before the unload may still arrive; after that, nothing more.
  std::this_thread::sleep_for(500ms);
  const std::size_t syncs = bot_.Events("sync").size();
  const std::size_t plugin_lines = server_->PluginLog().size();
  server_->Send(std::string("chat ") + kAnn + " global after the unload");
  ASSERT_TRUE(server_->WaitForEvent(
      [](const Json& event) {
        return IsEvent(event, "chat") && event.value("text", "") == "after the unload";
      },
      5s));
  // The slow answers come back and the timers keep firing while the plug-in is gone.
  std::this_thread::sleep_for(10s);
  EXPECT_EQ(bot_.Events("sync").size(), syncs);
  EXPECT_EQ(bot_.Events("inbound").size(), 3u);
  EXPECT_EQ(server_->PluginLog().size(), plugin_lines);
  ExpectCleanExit(5s);
}

TEST_F(UnloadInFlight, QuitWithRequestsInFlightEndsPromptlyAndClean) {
  StartBusy(8000);
  ExpectCleanExit(5s);
  const auto left = LeftBehind(*server_);
  ASSERT_TRUE(left);
  EXPECT_EQ(left->timers, 5);
  EXPECT_GT(left->completions, 3);
}

TEST_F(UnloadInFlight, LoadAfterUnloadRunsTheEditedIntervalOnce) {
  ASSERT_TRUE(bot_.started());
  server_ = std::make_unique<DevserverProcess>(root_.path(), BotConfig(bot_.port(), 1));
  ASSERT_TRUE(server_->ready());
  server_->Send("world TheIsland");
  server_->Send(std::string("join ") + kAnn + " Ann");
  ASSERT_TRUE(WaitUntil([&] { return bot_.Events("sync").size() >= 2; }, 5s));
  server_->Send("unload");
  ASSERT_TRUE(server_->WaitForEvent([](const Json& event) { return IsEvent(event, "unloaded"); }, 5s));

  Json config = BotConfig(bot_.port(), 2);
  config["SyncIntervalSeconds"] = 3;
  std::ofstream(root_.path() / "ArkApi" / "Plugins" / "Palaverlink" / "config.json", std::ios::trunc)
      << config.dump();
  std::this_thread::sleep_for(300ms);
  const std::size_t syncs = bot_.Events("sync").size();
  server_->Send("load");
  ASSERT_TRUE(WaitUntil([&] { return server_->Events("loaded").size() == 2; }, 5s));
  const Clock::time_point loaded = Clock::now();

  // Syncs at 1 s (the world is there), 3 and 6 s; the earlier load's one-second timers do nothing. (The bot
  // reports a poll only when it has messages for it; the poll interval is checked on the manual clock.)
  std::this_thread::sleep_until(loaded + 7000ms);
  EXPECT_EQ(bot_.Events("sync").size() - syncs, 3u);
  EXPECT_EQ(server_->CountPluginLines("Palaverlink loaded."), 2u);  // one per load
  EXPECT_EQ(LinesContaining(server_->LogFile(), "Loaded plugin Palaverlink V1.0"), 2u);
  ExpectCleanExit(5s);
}

TEST_F(UnloadInFlight, ReloadFindsTheLibraryHeldAndTheUpdateWaitsForTheNextStart) {
  ASSERT_TRUE(bot_.started());
  server_ = std::make_unique<DevserverProcess>(root_.path(), BotConfig(bot_.port(), 1));
  ASSERT_TRUE(server_->ready());
  server_->Send("world TheIsland");
  ASSERT_TRUE(WaitUntil([&] { return bot_.Events("sync").size() >= 1; }, 5s));
  server_->Send("reload");
  ASSERT_TRUE(WaitUntil([&] { return server_->Events("loaded").size() == 2; }, 5s));
  EXPECT_EQ(server_->Events("unloaded").size(), 1u);
  EXPECT_EQ(LinesContaining(server_->LogFile(), "the process still holds it; the update"), 1u);
  EXPECT_TRUE(
      std::filesystem::exists(root_.path() / "ArkApi" / "Plugins" / "Palaverlink" / "Palaverlink.so.ArkApi"))
      << "the update waits beside the library";
  const std::size_t syncs = bot_.Events("sync").size();
  std::this_thread::sleep_for(2500ms);
  EXPECT_LE(bot_.Events("sync").size() - syncs, 3u) << "one sync timer running, not two";
  EXPECT_GE(bot_.Events("sync").size() - syncs, 2u);
  ExpectCleanExit(5s);

  // The next start installs the waiting update before it loads the plug-in.
  server_ = std::make_unique<DevserverProcess>(root_.path(), BotConfig(bot_.port(), 1));
  ASSERT_TRUE(server_->ready());
  EXPECT_EQ(LinesContaining(server_->LogFile(), "devhost: installed the update"), 1u);
  ExpectCleanExit(5s);
}

}  // namespace
}  // namespace palaverlink::e2e
