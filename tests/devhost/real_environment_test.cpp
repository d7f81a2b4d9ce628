// The production environment: the game loop on its own thread, libcurl over loopback to a small
// test server, completions handed back to the game thread.
#include <gmock/gmock.h>
#include <httplib.h>

#include <mutex>
#include <thread>

#include "host_fixture.h"
#include "test_plugin_paths.h"

namespace devhost::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return condition();
}

class RealEnvironmentTest : public ::testing::Test {
 protected:
  void StartHost(std::chrono::milliseconds timeout = 10s) {
    root_ = FreshRoot("real");
    host_ = std::make_unique<Host>(root_, MakeRealEnvironment(timeout), /*log_to_stderr=*/false);
    loop_ = std::thread([this] { host_->Run(); });
  }

  void StartServer() {
    port_ = server_.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port_, 0);
    server_thread_ = std::thread([this] { server_.listen_after_bind(); });
    ASSERT_TRUE(WaitFor([this] { return server_.is_running(); }));
  }

  void TearDown() override {
    if (host_) {
      host_->RunOnGameThread([this] { host_->UnloadPlugin(); });
      host_->Stop();
      loop_.join();
      EXPECT_THAT(host_->EscapedExceptions(), IsEmpty());
      EXPECT_THAT(host_->game().Allocator().Problems(), IsEmpty());
      host_.reset();
    }
    if (server_thread_.joinable()) {
      server_.stop();
      server_thread_.join();
    }
    std::filesystem::remove_all(root_);
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  bool LogHas(const std::string& text) {
    for (const LogLine& line : host_->LogLines()) {
      if (line.text == text) return true;
    }
    return false;
  }

  httplib::Server server_;
  int port_ = 0;
  std::filesystem::path root_;
  std::unique_ptr<Host> host_;
  std::thread loop_;

 private:
  std::thread server_thread_;
};

TEST_F(RealEnvironmentTest, TestPluginRunsItsHookTimerAndRequestOnTheGameThread) {
  std::mutex mutex;
  std::vector<std::string> arrived;
  server_.Post("/ping", [&](const httplib::Request& request, httplib::Response& response) {
    std::lock_guard lock(mutex);
    arrived.push_back(request.body + "|" + request.get_header_value("Content-Type") + "|" +
                      request.get_header_value("X-Test-Plugin"));
    response.set_content("pong", "text/plain");
  });
  StartServer();
  StartHost();
  ConfigureTestPlugin(root_, {"url=" + Url("/ping")});

  PluginLoadResult result;
  host_->RunOnGameThread([&] { result = host_->LoadPlugin(kTestPlugin); });
  ASSERT_TRUE(result.loaded) << result.error;

  ASSERT_TRUE(WaitFor([&] { return LogHas("[test-plugin] completion ok pong"); }));
  {
    std::lock_guard lock(mutex);
    EXPECT_THAT(arrived, ::testing::ElementsAre("ping|text/plain|1"));
  }
  host_->RunOnGameThread([&] {
    host_->game().CreateWorld(u"TheIsland");
    PlayerSpec ann;
    ann.platform_id = 1;
    host_->game().Join(ann);
    host_->game().Chat(1, u"hello", 0);
  });
  EXPECT_TRUE(LogHas("[test-plugin] chat hook mode 0"));
  EXPECT_TRUE(WaitFor([&] { return LogHas("[test-plugin] tick 1"); }, 5s)) << "the timer runs in real time";
}

TEST_F(RealEnvironmentTest, OutcomesNameTheStatusOrTheTransportError) {
  server_.Get("/ok", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(R"({"messages":[]})", "application/json");
  });
  server_.Get("/unauthorized",
              [](const httplib::Request&, httplib::Response& response) { response.status = 401; });
  // A failure's body follows its status line after a line break.
  server_.Post("/broken", [](const httplib::Request&, httplib::Response& response) {
    response.status = 500;
    response.set_content("<html>down</html>", "text/html");
  });
  StartServer();
  StartHost();

  std::mutex mutex;
  std::vector<std::string> outcomes;
  auto record = [&](const std::string& name) {
    return [&, name](bool success, std::string text) {
      std::lock_guard lock(mutex);
      outcomes.push_back(name + (success ? " ok: " : " failed: ") + text);
    };
  };
  host_->RunOnGameThread([&] {
    auto& requests = API::Requests::Get();
    requests.CreateGetRequest(Url("/ok"), record("ok"));
    requests.CreateGetRequest(Url("/unauthorized"), record("key"), {"Authorization: Bearer wrong"});
    requests.CreatePostRequest(Url("/broken"), record("broken"), "{}", "application/json");
    requests.CreateGetRequest("http://127.0.0.1:1/nobody", record("closed"));
  });
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard lock(mutex);
    return outcomes.size() == 4;
  }));
  std::lock_guard lock(mutex);
  EXPECT_THAT(outcomes,
              UnorderedElementsAre(R"(ok ok: {"messages":[]})", "key failed: HTTP 401 Unauthorized",
                                   "broken failed: HTTP 500 Internal Server Error\n<html>down</html>",
                                   "closed failed: Couldn't connect to server"));
}

TEST_F(RealEnvironmentTest, SlowAnswerEndsWithATimeOut) {
  server_.Get("/slow", [](const httplib::Request&, httplib::Response& response) {
    std::this_thread::sleep_for(1500ms);
    response.set_content("too late", "text/plain");
  });
  StartServer();
  StartHost(300ms);

  std::atomic<bool> done = false;
  std::string text;
  bool success = true;
  host_->RunOnGameThread([&] {
    API::Requests::Get().CreateGetRequest(Url("/slow"), [&](bool ok, std::string answer) {
      success = ok;
      text = std::move(answer);
      done = true;
    });
  });
  ASSERT_TRUE(WaitFor([&] { return done.load(); }, 5s));
  EXPECT_FALSE(success);
  EXPECT_EQ(text, "Timeout was reached");
}

}  // namespace
}  // namespace devhost::testing
