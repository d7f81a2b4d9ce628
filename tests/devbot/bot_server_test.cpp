// The bot over real HTTP on 127.0.0.1, served in this process.
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "devbot/bot_server.h"

namespace devbot {
namespace {

// An empty poll answer, with the bot's clock: milliseconds since 1970, within a minute of ours.
void ExpectNothingToShow(const std::string& body) {
  const auto answer = nlohmann::json::parse(body);
  EXPECT_EQ(answer["messages"], nlohmann::json::array()) << body;
  const auto ours = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
  ASSERT_TRUE(answer["answeredAt"].is_number_integer()) << body;
  EXPECT_LT(std::abs(answer["answeredAt"].get<std::int64_t>() - ours), 60'000) << body;
}

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
  ExpectNothingToShow(polled->body);

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

// A plug-in whose game thread was busy sends its requests in a burst, each on a connection of its
// own: every one is answered at once, none waits for the system to retry a dropped handshake.
TEST_F(ServedBot, BurstOfConnectionsIsAnsweredAtOnce) {
  constexpr int kConnections = 64;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port_));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const std::string request = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";

  const Clock::time_point start = Clock::now();
  std::vector<pollfd> sockets;
  for (int i = 0; i < kConnections; ++i) {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(socket, 0);
    ASSERT_EQ(::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::send(socket, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    sockets.push_back({socket, POLLIN, 0});
  }
  int answered = 0;
  while (answered < kConnections && Clock::now() - start < std::chrono::seconds(5)) {
    ASSERT_GE(::poll(sockets.data(), sockets.size(), 100), 0);
    for (pollfd& entry : sockets) {
      if (entry.fd < 0 || (entry.revents & (POLLIN | POLLHUP)) == 0) continue;
      char buffer[512];
      if (::recv(entry.fd, buffer, sizeof buffer, 0) > 0) continue;  // the answer; the close follows
      ::close(entry.fd);
      entry.fd = -1;
      ++answered;
    }
  }
  const auto took = Clock::now() - start;
  for (const pollfd& entry : sockets) {
    if (entry.fd >= 0) ::close(entry.fd);
  }
  EXPECT_EQ(answered, kConnections);
  EXPECT_LT(took, std::chrono::milliseconds(900));
}

// Connections a client keeps open after its answer (as libcurl keeps them for reuse) must not hold
// the server's threads: a request on a new connection is still answered at once.
TEST_F(ServedBot, IdleConnectionsDoNotHoldUpOthers) {
  constexpr int kIdle = 24;
  std::vector<httplib::Client> idle;
  for (int i = 0; i < kIdle; ++i) {
    idle.push_back(Client());
    idle.back().set_keep_alive(true);
  }
  std::vector<std::thread> first_requests;
  for (auto& client : idle) first_requests.emplace_back([&client] { client.Get("/health"); });
  for (auto& request : first_requests) request.join();

  httplib::Client fresh = Client();
  const Clock::time_point start = Clock::now();
  auto health = fresh.Get("/health");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
}

// A held poll: answered as soon as a message for its map is queued, not by one for another map,
// empty when the wait is over, and at once when the server stops.
TEST_F(ServedBot, LongPollAnswersWhenAMessageForItsMapArrives) {
  auto poll = [this](const char* map_id, int wait_seconds, std::string& body) {
    httplib::Client client = Client();
    client.set_read_timeout(10);
    const auto started = Clock::now();
    auto answer = client.Get(std::string("/api/chat/outbound?mapId=") + map_id +
                                 "&since=0&waitSeconds=" + std::to_string(wait_seconds),
                             kKey);
    body = answer ? answer->body : "no answer";
    return Clock::now() - started;
  };
  auto say = [this](const char* map_id, const char* message) {
    httplib::Client client = Client();
    const std::string body =
        std::string(R"({"author":"Mod","message":")") + message + R"(","mapId":")" + map_id + R"("})";
    auto said = client.Post("/admin/say", body, "application/json");
    ASSERT_TRUE(said);
    ASSERT_EQ(said->status, 200);
  };

  std::string island, center;
  Clock::duration island_took{}, center_took{};
  std::thread island_poll([&] { island_took = poll("the-island", 5, island); });
  std::thread center_poll([&] { center_took = poll("the-center", 1, center); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  say("ragnarok", "elsewhere");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  say("the-island", "here");
  island_poll.join();
  center_poll.join();

  EXPECT_NE(island.find(R"("message":"here")"), std::string::npos) << island;
  EXPECT_GE(island_took, std::chrono::milliseconds(450));
  EXPECT_LT(island_took, std::chrono::milliseconds(1500));
  ExpectNothingToShow(center);
  EXPECT_GE(center_took, std::chrono::milliseconds(950));
  EXPECT_LT(center_took, std::chrono::milliseconds(2500));

  std::string stopped;
  Clock::duration stopped_took{};
  std::thread held([&] { stopped_took = poll("the-center", 30, stopped); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  server_.Stop();
  held.join();
  ExpectNothingToShow(stopped);
  EXPECT_LT(stopped_took, std::chrono::seconds(2));
}

// Held polls take at most their share of the server's threads: beyond it a poll is answered at
// once, and any other request is never kept waiting by them.
TEST(BotServer, HeldPollsLeaveRoomForEveryOtherRequest) {
  Bot bot("", SystemMilliseconds, {});
  BotServer server(bot, /*most_held_polls=*/2);
  const int port = server.Bind("127.0.0.1", 0);
  ASSERT_GT(port, 0);
  bool ran = false;
  std::thread serving([&] { ran = server.Run(); });

  std::vector<std::thread> held;
  for (int i = 0; i < 2; ++i) {
    held.emplace_back([port] {
      httplib::Client client("127.0.0.1", port);
      client.set_read_timeout(10);
      client.Get("/api/chat/outbound?mapId=the-island&since=0&waitSeconds=30");
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(5);
  const auto started = Clock::now();
  auto beyond = client.Get("/api/chat/outbound?mapId=the-island&since=0&waitSeconds=30");
  auto health = client.Get("/health");
  const auto took = Clock::now() - started;
  ASSERT_TRUE(beyond);
  ExpectNothingToShow(beyond->body);
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);
  EXPECT_LT(took, std::chrono::milliseconds(500));

  const auto stopping = Clock::now();
  server.Stop();
  for (auto& poll : held) poll.join();
  serving.join();
  EXPECT_LT(Clock::now() - stopping, std::chrono::seconds(2));
  EXPECT_TRUE(ran);
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
