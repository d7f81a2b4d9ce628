#include "devbot/bot_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace devbot {
namespace {

// Bodies of the bot interface are small; anything larger is not from a plug-in.
constexpr std::size_t kLargestBody = 1 << 20;

Request ToBotRequest(const httplib::Request& http) {
  Request request;
  request.method = http.method;
  request.path = http.path;
  for (const auto& [name, value] : http.params) request.query.emplace(name, value);
  for (const auto& [name, value] : http.headers) request.headers.emplace(name, value);
  request.body = http.body;
  request.remote_address = http.remote_addr;
  return request;
}

}  // namespace

struct BotServer::State {
  explicit State(Bot& served) : bot(served) {}

  // Waits out a "slow" delay; false when the server is stopping.
  bool Delay(std::chrono::milliseconds delay) {
    std::unique_lock lock(mutex);
    return !stopped.wait_for(lock, delay, [this] { return stopping.load(); });
  }

  void Serve(const httplib::Request& http, httplib::Response& answer) {
    Response response = bot.Handle(ToBotRequest(http));
    if (response.delay.count() > 0 && !Delay(response.delay)) {
      response.status = 503;
      response.content_type = "text/plain";
      response.body = "the bot is stopping\n";
    }
    answer.status = response.status;
    answer.set_content(response.body, response.content_type.c_str());
  }

  Bot& bot;
  httplib::Server server;
  std::mutex mutex;
  std::condition_variable stopped;
  std::atomic<bool> stopping{false};
  std::atomic<bool> in_run{false};
};

BotServer::BotServer(Bot& bot) : state_(std::make_unique<State>(bot)) {
  httplib::Server& server = state_->server;
  auto serve = [state = state_.get()](const httplib::Request& request, httplib::Response& response) {
    state->Serve(request, response);
  };
  const std::string every_path = ".*";
  server.Get(every_path, serve);
  server.Post(every_path, serve);
  server.Put(every_path, serve);
  server.Patch(every_path, serve);
  server.Delete(every_path, serve);
  server.Options(every_path, serve);
  server.set_payload_max_length(kLargestBody);
  // Address reuse only: the library's default of port sharing would let a second bot on the same
  // port take half of the requests instead of failing to start.
  server.set_socket_options([](socket_t socket) {
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  });
  // Short keep-alive, so that stopping does not wait long for idle connections.
  server.set_keep_alive_timeout(1);
}

BotServer::~BotServer() { Stop(); }

int BotServer::Bind(const std::string& host, int port) {
  httplib::Server& server = state_->server;
  if (port == 0) return server.bind_to_any_port(host);
  return server.bind_to_port(host, port) ? port : -1;
}

bool BotServer::Run() {
  state_->in_run = true;
  bool ran = !state_->stopping && state_->server.listen_after_bind();
  state_->in_run = false;
  return ran || state_->stopping;
}

void BotServer::Stop() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->stopped.notify_all();
  // Run may be between its check of `stopping` and the start of listening: stop only what runs.
  while (state_->in_run && !state_->server.is_running()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  state_->server.stop();
}

}  // namespace devbot
