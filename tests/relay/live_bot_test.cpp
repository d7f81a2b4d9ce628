// Both ways over real HTTP: the plug-in on the development host with its real clock and transport,
// and a small bot on the loopback interface.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devhost/host.h"

namespace palaverlink::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::uint64_t kPlayers[] = {76561198000000001ULL, 76561198000000002ULL, 76561198000000003ULL};

// The bot: keeps what the map posts and hands out one queued message per poll answer.
class TinyBot {
 public:
  TinyBot() {
    server_.Post("/api/chat/inbound", [this](const httplib::Request& request, httplib::Response& response) {
      {
        std::lock_guard lock(mutex_);
        inbound_.push_back(request.body);
      }
      changed_.notify_all();
      response.set_content("{}", "application/json");
    });
    server_.Get("/api/chat/outbound", [this](const httplib::Request& request, httplib::Response& response) {
      nlohmann::json messages = nlohmann::json::array();
      std::lock_guard lock(mutex_);
      polled_map_ = request.get_param_value("mapId");
      if (!queued_.empty()) {
        const std::int64_t since = std::stoll(request.get_param_value("since"));
        messages.push_back(
            {{"createdAt", since + 1}, {"author", "Gus"}, {"message", queued_}, {"kind", "gabblen"}});
        queued_.clear();
      }
      response.set_content(nlohmann::json{{"messages", messages}}.dump(), "application/json");
    });
    server_.Get("/health", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("{\"ok\":true}", "application/json");
    });
    server_.Post(R"(/api/sessions/.*)", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("{}", "application/json");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    for (int wait = 0; wait < 500 && !server_.is_running(); ++wait) std::this_thread::sleep_for(10ms);
  }
  ~TinyBot() {
    server_.stop();
    thread_.join();
  }
  TinyBot(const TinyBot&) = delete;
  TinyBot& operator=(const TinyBot&) = delete;

  int port() const { return port_; }

  void Queue(const std::string& message) {
    std::lock_guard lock(mutex_);
    queued_ = message;
  }

  // The first inbound body, waiting up to `limit` for it.
  std::string AwaitInbound(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, limit, [this] { return !inbound_.empty(); });
    return inbound_.empty() ? std::string() : inbound_.front();
  }

  std::string PolledMap() {
    std::lock_guard lock(mutex_);
    return polled_map_;
  }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> inbound_;
  std::string queued_;
  std::string polled_map_;
};

class LiveBot : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() / ("palaverlink-live-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
    host_ = std::make_unique<devhost::Host>(root_, devhost::MakeRealEnvironment(5s), /*log_to_stderr=*/false);
    game_thread_ = std::thread([this] { host_->Run(); });
    // Until the loop has taken over, the host counts the constructing thread as the game thread.
    std::promise<void> running;
    host_->Post([&running] { running.set_value(); });
    running.get_future().wait();
  }

  void TearDown() override {
    OnGame([this] {
      if (host_->PluginLoaded()) host_->UnloadPlugin();
    });
    host_->Stop();
    game_thread_.join();
    const auto escaped = host_->EscapedExceptions();
    EXPECT_TRUE(escaped.empty()) << "exception reached the host: " << escaped.front();
    const auto problems = host_->game().Allocator().Problems();
    EXPECT_TRUE(problems.empty()) << "game allocator: " << problems.front();
    host_.reset();
    std::filesystem::remove_all(root_);
  }

  void OnGame(const std::function<void()>& work) { host_->RunOnGameThread(work); }

  // Checks `done` on the game thread every 20 ms until it holds or `limit` has passed.
  bool AwaitOnGame(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      bool met = false;
      OnGame([&] { met = done(); });
      if (met) return true;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(20ms);
    }
  }

  TinyBot bot_;
  std::filesystem::path root_;
  std::unique_ptr<devhost::Host> host_;
  std::thread game_thread_;
};

TEST_F(LiveBot, ChatLineReachesTheBotAndBotMessageReachesEveryPlayer) {
  host_->WriteConfig(R"({"BridgeUrl":"http://127.0.0.1:)" + std::to_string(bot_.port()) +
                     R"(/","MapId":"the-island","OutboundPollSeconds":1})");
  OnGame([this] {
    const auto loaded = host_->LoadPlugin(PALAVERLINK_PLUGIN_PATH);
    ASSERT_TRUE(loaded.loaded) << loaded.error;
    auto& game = host_->game();
    game.CreateWorld(u"TheIsland");
    const char16_t* names[] = {u"Rex", u"Ann", u"Bo"};
    for (int i = 0; i < 3; ++i) {
      devhost::PlayerSpec player;
      player.platform_id = kPlayers[i];
      player.character_name = names[i];
      player.account_name = u"account";
      player.tribe_name = u"Raptors";
      game.Join(player);
    }
    game.Chat(kPlayers[0], u"hello bot \u00E9", 0);
  });

  const std::string inbound = bot_.AwaitInbound(10s);
  ASSERT_FALSE(inbound.empty()) << "no chat line reached the bot";
  EXPECT_EQ(
      inbound,
      R"({"channel":"global","mapId":"the-island","message":"hello bot é","platformId":"76561198000000001",)"
      R"("playerName":"Rex","tribeName":"Raptors"})");

  bot_.Queue("hello from outside \U0001F600");
  const bool shown_to_all = AwaitOnGame([this] { return host_->game().Shown().size() >= 3; }, 10s);
  ASSERT_TRUE(shown_to_all) << "the bot's message did not reach every player";
  OnGame([this] {
    const auto& shown = host_->game().Shown();
    ASSERT_EQ(shown.size(), 3u);
    for (std::size_t i = 0; i < shown.size(); ++i) {
      EXPECT_EQ(shown[i].to, kPlayers[i]);
      EXPECT_EQ(shown[i].tag, u"[Gabblen]");
      EXPECT_EQ(shown[i].line, u"Gus: hello from outside \xD83D\xDE00");
    }
  });
  EXPECT_EQ(bot_.PolledMap(), "the-island");
}

}  // namespace
}  // namespace palaverlink::testing
