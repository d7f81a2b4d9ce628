// Blocking HTTP requests as the plug-in's host makes them: the headers given and nothing else, no
// redirects followed, no proxy, one time-out for the whole exchange, and a connection kept for the
// next request, as the host's HTTP client keeps it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/host/host_reply.h"

namespace botcheck {

// The most of one answer's body that is read; the rest is left unread and the answer fails.
inline constexpr std::uint64_t kLargestBody = 16 * 1024 * 1024;

struct HttpAnswer {
  bool reached = false;     // an HTTP answer came back; false: `error` says why not
  std::string error;        // the transport's reason when not reached
  bool never_sent = false;  // not reached, and surely never sent (no connection could be made)
  long status = 0;          // HTTP status when reached
  std::string contentType;  // as the bot sent it, empty when absent
  std::string body;
  // The body went past kLargestBody; `announced` is its Content-Length, 0 when the bot gave none.
  bool too_large = false;
  std::uint64_t announced = 0;
  std::chrono::milliseconds elapsed{0};
  std::chrono::steady_clock::time_point finished{};

  // What the plug-in's host counts as success: an answer with a 2xx status.
  bool Succeeded() const { return reached && status >= 200 && status < 300; }
  // The reply the plug-in's host adapter would make of this answer, for the plug-in's own reading.
  palaverlink::host::Reply AsHostReply() const;
};

struct HttpRequest {
  std::string method;  // "GET" or "POST"
  std::string url;
  std::vector<std::string> headers;  // whole lines, "Name: value"
  std::string body;                  // POST only
  std::chrono::seconds timeout{10};
};

// One client: requests one after the other, reusing the connection when the bot keeps it open.
class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  HttpAnswer Send(const HttpRequest& request);

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

}  // namespace botcheck
