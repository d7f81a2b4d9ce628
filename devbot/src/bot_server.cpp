#include "devbot/bot_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
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
  State(Bot& served, int most_held) : bot(served), most_held_polls(most_held) {}

  // Called by the bot under its lock; never calls back into the bot.
  void MessageQueued() {
    {
      std::lock_guard lock(mutex);
      ++queued;
    }
    wake.notify_all();
  }

  std::uint64_t QueuedSoFar() {
    std::lock_guard lock(mutex);
    return queued;
  }

  // Holds a poll that found nothing until a message is queued (for any map: the bot is asked again
  // and says whether it is for this one), the hold is over, or the server stops.
  Response Hold(Request request, Response response, std::uint64_t seen) {
    request.asked_again = true;
    if (held.fetch_add(1) >= most_held_polls) {
      --held;
      response.hold = {};
      return response;
    }
    const auto until = std::chrono::steady_clock::now() + response.hold;
    std::unique_lock lock(mutex);
    while (response.hold.count() > 0) {
      if (!wake.wait_until(lock, until, [&] { return stopping.load() || queued != seen; })) break;
      if (stopping) break;
      seen = queued;
      lock.unlock();
      response = bot.Handle(request);
      lock.lock();
    }
    --held;
    return response;
  }

  // Waits out a "slow" delay; false when the server is stopping.
  bool Delay(std::chrono::milliseconds delay) {
    std::unique_lock lock(mutex);
    return !wake.wait_for(lock, delay, [this] { return stopping.load(); });
  }

  void Serve(const httplib::Request& http, httplib::Response& answer) {
    const Request request = ToBotRequest(http);
    const std::uint64_t seen = QueuedSoFar();  // before asking, so that no message slips past
    Response response = bot.Handle(request);
    if (response.hold.count() > 0 && !stopping) response = Hold(request, std::move(response), seen);
    if (response.delay.count() > 0 && !Delay(response.delay)) {
      response.status = 503;
      response.content_type = "text/plain";
      response.body = "the bot is stopping\n";
    }
    answer.status = response.status;
    answer.set_content(response.body, response.content_type.c_str());
  }

  Bot& bot;
  const int most_held_polls;
  httplib::Server server;
  std::mutex mutex;
  std::condition_variable wake;  // stopping, or a message queued
  std::uint64_t queued = 0;      // messages queued so far, under the mutex
  std::atomic<int> held{0};
  std::atomic<bool> stopping{false};
  std::atomic<bool> in_run{false};
  int listening_socket = -1;  // the socket the library bound, seen as it was set up
};

BotServer::BotServer(Bot& bot, int most_held_polls) : state_(std::make_unique<State>(bot, most_held_polls)) {
  httplib::Server& server = state_->server;
  bot.OnQueued([state = state_.get()] { state->MessageQueued(); });
  // More threads than the library's default, so that held polls leave room for every other request.
  server.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
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
  server.set_socket_options([state = state_.get()](socket_t socket) {
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    state->listening_socket = socket;
  });
  // One request a connection: the library serves each open connection with a thread of its own
  // from a small pool, so connections that a client keeps for reuse (libcurl does) would leave new
  // ones waiting. It also means that stopping never waits for idle connections.
  server.set_keep_alive_max_count(1);
  // The library writes an answer's headers and body apart: without this, Nagle's algorithm would hold
  // the body back until the client's delayed ACK (some 40 ms on every woken long poll).
  server.set_tcp_nodelay(true);
  server.set_keep_alive_timeout(1);
}

BotServer::~BotServer() {
  Stop();
  state_->bot.OnQueued({});
}

int BotServer::Bind(const std::string& host, int port) {
  httplib::Server& server = state_->server;
  const int bound = port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
  // The library listens with a queue of 5 connections: a plug-in that sends a burst of requests
  // would see the rest of them wait for the system to retry the handshake, seconds later. Listening
  // again on the bound socket only makes the queue longer.
  if (bound > 0 && state_->listening_socket >= 0) ::listen(state_->listening_socket, SOMAXCONN);
  return bound;
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
  state_->wake.notify_all();
  // Run may be between its check of `stopping` and the start of listening: stop only what runs.
  while (state_->in_run && !state_->server.is_running()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  state_->server.stop();
}

}  // namespace devbot
