// The host's environment: where time and HTTP come from. A production back end (real clock,
// libcurl on its own thread) and a deterministic one for tests (manual clock, recording transport).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace devhost {

struct HttpRequest {
  std::uint64_t id = 0;  // 1, 2, 3, ... in the order the requests were made
  std::string method;    // "GET" or "POST"
  std::string url;
  std::vector<std::string> headers;  // whole lines, "Name: value"
  std::string content_type;          // POST only
  std::string body;                  // POST only
};

// Called once per request with the outcome; the host hands it to the game thread.
using HttpCompletion = std::function<void(bool success, std::string text)>;

class Environment {
 public:
  virtual ~Environment() = default;

  // Monotonic milliseconds for the host's timers.
  virtual std::int64_t NowMs() const = 0;

  // Starts a request. A production transport calls `done` exactly once, from any thread, time-outs
  // included; the recording transport calls it when the test completes the request.
  virtual void Send(HttpRequest request, HttpCompletion done) = 0;

  // True for the deterministic back end, whose clock only moves when the test advances it.
  virtual bool IsManual() const = 0;

  // True while the host refuses to start requests: the framework's request calls answer false and
  // no completion ever comes, as the real framework does when it cannot start one.
  virtual bool RefusesRequests() const { return false; }
};

// Deterministic back end: time moves only through Advance; requests wait for Complete.
class ManualEnvironment final : public Environment {
 public:
  std::int64_t NowMs() const override;
  void Send(HttpRequest request, HttpCompletion done) override;
  bool IsManual() const override { return true; }
  bool RefusesRequests() const override { return refusing_; }

  void AdvanceClock(std::chrono::milliseconds duration);
  // From now on the host refuses (true) or starts (false) new requests.
  void RefuseRequests(bool refuse) { refusing_ = refuse; }

  // Every request made so far, in order, completed or not.
  const std::vector<HttpRequest>& Requests() const;
  // The requests not completed yet.
  std::vector<HttpRequest> Pending() const;
  // Runs the request's completion at once; false when there is no such pending request.
  bool Complete(std::uint64_t request_id, bool success, const std::string& text);
  // Forgets every pending completion without running it.
  void DropPending();

 private:
  std::int64_t now_ms_ = 0;
  bool refusing_ = false;
  std::uint64_t next_id_ = 1;
  std::vector<HttpRequest> requests_;
  std::vector<std::pair<std::uint64_t, HttpCompletion>> pending_;
};

// Production back end: the steady clock and libcurl on a thread of its own. Every request ends
// with a completion within `timeout`; a failure names the HTTP status ("HTTP 401 Unauthorized",
// then a line break and the body when the answer had one) or the transport's error.
std::unique_ptr<Environment> MakeRealEnvironment(
    std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace devhost
