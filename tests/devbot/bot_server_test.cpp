// The bot over real HTTP on 127.0.0.1, served in this process.
#include <httplib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "devbot/bot_server.h"

namespace devbot {
namespace {

using Clock = std::chrono::steady_clock;

class ServedBot : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = server_.Bind("127.0.0.1", 0);
    ASSERT_GT(port_, 0);
    thread_ = std::thread([this] { ran_ = server_.Run(); });
  }

  void TearDown() override {
    server_.Stop();
    if (thread_.joinable()) thread_.join();
    EXPECT_TRUE(ran_);
  }

  httplib::Client Client() {
    httplib::Client client("127.0.0.1", port_);
    client.set_connection_timeout(2);
    client.set_read_timeout(5);
    return client;
  }

  Bot bot_{"k", SystemMilliseconds, {}};
  BotServer server_{bot_};
  int port_ = -1;
  bool ran_ = false;
  std::thread thread_;
};

const httplib::Headers kKey{{"Authorization", "Bearer k"}};

TEST_F(ServedBot, SpeaksTheBotInterface) {
  httplib::Client client = Client();
  auto health = client.Get("/health");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);

  const std::string chat =
      R"({"channel":"global","mapId":"the-island","message":"hi","platformId":"1","playerName":"Rex","tribeName":""})";
  auto refused = client.Post("/api/chat/inbound", chat, "application/json");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 401);

  auto polled = client.Get("/api/chat/outbound?mapId=the-center&since=0", kKey);
  ASSERT_TRUE(polled);
  EXPECT_EQ(polled->status, 200);
  EXPECT_EQ(polled->get_header_value("Content-Type"), "application/json");
  EXPECT_EQ(polled->body, R"({"messages":[]})");

  auto posted = client.Post("/api/chat/inbound", kKey, chat, "application/json");
  ASSERT_TRUE(posted);
  EXPECT_EQ(posted->status, 200);
  auto bad = client.Post("/api/chat/inbound", kKey, chat, "text/plain");
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->status, 400);

  auto relayed = client.Get("/api/chat/outbound?mapId=the-center&since=0", kKey);
  ASSERT_TRUE(relayed);
  nlohmann::json messages = nlohmann::json::parse(relayed->body).at("messages");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].at("sourceMapName"), "The Island");
  EXPECT_EQ(messages[0].at("author"), "Rex");

  auto inbound = client.Get("/admin/inbound");
  ASSERT_TRUE(inbound);
  EXPECT_EQ(nlohmann::json::parse(inbound->body).at("lines").size(), 1u);
}

TEST_F(ServedBot, SlowFaultDelaysTheAnswer) {
  httplib::Client client = Client();
  auto set = client.Post("/admin/fault", R"({"mode":"slow","ms":300})", "application/json");
  ASSERT_TRUE(set);
  ASSERT_EQ(set->status, 200);
  Clock::time_point start = Clock::now();
  auto health = client.Get("/health");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
}

TEST_F(ServedBot, StoppingCutsAPendingSlowAnswerShort) {
  httplib::Client client = Client();
  auto set = client.Post("/admin/fault", R"({"mode":"slow","ms":20000})", "application/json");
  ASSERT_TRUE(set);
  std::thread waiting([this] {
    httplib::Client slow_client = Client();
    slow_client.Get("/health");
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  Clock::time_point start = Clock::now();
  server_.Stop();
  thread_.join();
  waiting.join();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST(BotServer, StopBeforeRunEndsRunAtOnce) {
  Bot bot("", SystemMilliseconds, {});
  BotServer server(bot);
  ASSERT_GT(server.Bind("127.0.0.1", 0), 0);
  server.Stop();
  EXPECT_TRUE(server.Run());
}

TEST(BotServer, BusyPortIsReported) {
  Bot bot("", SystemMilliseconds, {});
  BotServer first(bot);
  int port = first.Bind("127.0.0.1", 0);
  ASSERT_GT(port, 0);
  BotServer second(bot);
  // A second bot on a taken port must fail rather than share the port.
  EXPECT_EQ(second.Bind("127.0.0.1", port), -1);
}

}  // namespace
}  // namespace devbot
